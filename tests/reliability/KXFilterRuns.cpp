#include "KXFilterRuns.h"

#include "../filters/KXFilterTestImages.h"

#include "KXBlurFilters.h"
#include "KXDetailFilters.h"
#include "KXEffectFilters.h"
#include "KXImageConversion.h"
#include "KXRefineSelection.h"
#include "KXShadowFilters.h"

namespace KXReliability {

Inputs Inputs::Make()
{
    Inputs in;
    in.layer = KXFilterTest::RandomImage(300, 200, 1);
    in.selection = KXFilterTest::RandomImage(120, 90, 2);
    in.mask = KXFilterTest::RandomImage(300, 200, 3);
    in.holes = KXImageRGBA32i(300, 200);
    const std::vector<KXRGBA32i> hole(24, KXRGBA32i(0xFF000000));
    for (unsigned int y = 120; y < 136; ++y)
        in.holes.SetLine(y, 116, hole.data(), 24 * 4);
    in.wide = ConvertImage<KXImageRGBA32i, KXImageRGBA64i>(in.layer);
    in.hsl = ConvertImage<KXImageRGBA32i, KXImageHSLA>(in.layer);
    in.picture = ConvertImage<KXImageRGBA32i, QImage>(in.layer);
    QReadWriteLock cancelLock, cacheLock;
    bool cancel = false;
    KXHighPassProcessing::HighPassData data;
    data.image = in.layer;
    data.selection = in.selection;
    data.selectionRect = in.selection.Rect();
    data.offset = kOffset;
    data.sigma = 2.0;
    KXHighPassProcessing(cancelLock, cancel, cacheLock, in.highPassSigma, in.highPass).run(data);
    return in;
}

bool Whole(const KXImageRGBA32i& image)
{
    const unsigned int columns = (image.Width() + 127) / 128, rows = (image.Height() + 127) / 128;
    if (image.TileColumns() != columns || image.TileRows() != rows || image.TileCount() != columns * rows)
        return false;
    for (unsigned int r = 0; r < rows; ++r)
        for (unsigned int c = 0; c < columns; ++c)
            if (!image.Tile(c, r)->data())
                return false;
    std::vector<KXRGBA32i> line(image.Width());
    for (unsigned int y = 0; y < image.Height(); ++y)
        if (!image.GetLine(y, line.data(), image.Width() * 4))
            return false;
    return true;
}

namespace {

// The common fields: the area case (the selection at kOffset) or the whole
// layer.
template <class Data>
Data Fields(const Inputs& in, bool area)
{
    Data data;
    data.image = in.layer;
    if (area) {
        data.selection = in.selection;
        data.selectionRect = in.selection.Rect();
        data.offset = kOffset;
    }
    return data;
}

// Builds Filter around the caller's lock and flag (and `extra` references),
// lets the caller watch it and runs it on `data`.
template <class Filter, class Data, class... Extra>
auto Run(FilterCaller& caller, const Data& data, Extra&... extra)
{
    Filter filter(caller.lock, caller.cancel, extra...);
    if (caller.watch)
        caller.watch(filter);
    return filter.run(data);
}

} // namespace

const std::vector<FilterRun>& FilterRuns()
{
    using Box = KXBoxBlurProcessing;
    using Gauss = KXGaussianBlurProcessing;
    static const std::vector<FilterRun> runs = {
        {"box blur, area", [](FilterCaller& c) {
             auto d = Fields<Box::BlurData>(c.inputs, true);
             d.radius = 3;
             return Run<Box>(c, d);
         }, true},
        {"box blur, growing", [](FilterCaller& c) {
             Box::BlurDataEx d;
             static_cast<Box::BlurData&>(d) = Fields<Box::BlurData>(c.inputs, false);
             d.radius = 4;
             d.growthBounds = QRect(-30, -30, 360, 260);
             Box filter(c.lock, c.cancel);
             if (c.watch)
                 c.watch(filter);
             return filter.runEx(d).image;
         }, true},
        {"Gaussian blur, whole", [](FilterCaller& c) {
             auto d = Fields<Gauss::BlurData>(c.inputs, false);
             d.sigma = 2.0;
             return Run<Gauss>(c, d);
         }, true},
        {"Gaussian blur, growing", [](FilterCaller& c) {
             Gauss::BlurDataEx d;
             static_cast<Gauss::BlurData&>(d) = Fields<Gauss::BlurData>(c.inputs, false);
             d.sigma = 2.0;
             d.growthBounds = QRect(-40, -40, 380, 280);
             Gauss filter(c.lock, c.cancel);
             if (c.watch)
                 c.watch(filter);
             return filter.runEx(d).image;
         }, true},
        {"sharpen, area", [](FilterCaller& c) {
             return Run<KXSharpenProcessing>(c, Fields<KXSharpenProcessing::SharpenData>(c.inputs, true));
         }, true},
        {"smoothen, whole", [](FilterCaller& c) {
             return Run<KXSmoothenProcessing>(c, Fields<KXSmoothenProcessing::SmoothenData>(c.inputs, false));
         }, true},
        {"high pass, area", [](FilterCaller& c) {
             auto d = Fields<KXHighPassProcessing::HighPassData>(c.inputs, true);
             d.sigma = 2.0;
             QReadWriteLock cacheLock;
             double sigma = 0.0;
             KXImageRGBA32i cached;
             return Run<KXHighPassProcessing>(c, d, cacheLock, sigma, cached);
         }, true},
        {"high pass, area, from the cache", [](FilterCaller& c) {
             auto d = Fields<KXHighPassProcessing::HighPassData>(c.inputs, true);
             d.sigma = 2.0;
             QReadWriteLock cacheLock;
             double sigma = c.inputs.highPassSigma;
             KXImageRGBA32i cached = c.inputs.highPass;
             return Run<KXHighPassProcessing>(c, d, cacheLock, sigma, cached);
         }, true},
        {"add noise, whole", [](FilterCaller& c) {
             QReadWriteLock cacheLock;
             KXImageRGBA32i uniform, gaussian;
             return Run<KXAddNoiseProcessing>(c, Fields<KXAddNoiseProcessing::AddNoiseData>(c.inputs, false),
                                              cacheLock, uniform, gaussian);
         }, false},
        {"add noise, area", [](FilterCaller& c) {
             QReadWriteLock cacheLock;
             KXImageRGBA32i uniform, gaussian;
             return Run<KXAddNoiseProcessing>(c, Fields<KXAddNoiseProcessing::AddNoiseData>(c.inputs, true),
                                              cacheLock, uniform, gaussian);
         }, false},
        {"diffuse glow, area", [](FilterCaller& c) {
             auto d = Fields<KXDiffuseGlowProcessing::DiffuseGlowData>(c.inputs, true);
             d.sigma = 2;
             return Run<KXDiffuseGlowProcessing>(c, d);
         }, true},
        {"vignette, whole", [](FilterCaller& c) {
             auto d = Fields<KXVignetteProcessing::VignetteData>(c.inputs, false);
             d.reach = 40;
             return Run<KXVignetteProcessing>(c, d);
         }, true},
        {"vignette, area", [](FilterCaller& c) {
             auto d = Fields<KXVignetteProcessing::VignetteData>(c.inputs, true);
             d.reach = 40;
             return Run<KXVignetteProcessing>(c, d);
         }, true},
        {"drop shadow, masked", [](FilterCaller& c) {
             auto d = Fields<KXDropShadowProcessing::DropShadowData>(c.inputs, false);
             d.layerMask = c.inputs.mask;
             d.maskPosition = QPoint(30, -20);
             d.size = 4;
             return Run<KXDropShadowProcessing>(c, d).shadow;
         }, true},
        {"drop shadow, size 0", [](FilterCaller& c) {
             auto d = Fields<KXDropShadowProcessing::DropShadowData>(c.inputs, false);
             d.size = 0;
             return Run<KXDropShadowProcessing>(c, d).shadow;
         }, true},
        {"inner shadow, size 0", [](FilterCaller& c) {
             auto d = Fields<KXInnerShadowProcessing::InnerShadowData>(c.inputs, false);
             d.size = 0;
             return Run<KXInnerShadowProcessing>(c, d).shadow;
         }, true},
        {"inner shadow", [](FilterCaller& c) {
             auto d = Fields<KXInnerShadowProcessing::InnerShadowData>(c.inputs, false);
             d.size = 4;
             return Run<KXInnerShadowProcessing>(c, d).shadow;
         }, true},
        {"refine selection, feather and grow", [](FilterCaller& c) {
             auto d = Fields<VQRefineSelectionProcessing::RefineSelectionData>(c.inputs, false);
             d.image = c.inputs.selection;
             d.selectionRect = c.inputs.selection.Rect();
             d.offset = kOffset;
             d.radius = 2.0;
             d.shift = 3;
             return Run<VQRefineSelectionProcessing>(c, d).image;
         }, true},
        {"refine selection, erode", [](FilterCaller& c) {
             auto d = Fields<VQRefineSelectionProcessing::RefineSelectionData>(c.inputs, false);
             d.image = c.inputs.selection;
             d.selectionRect = c.inputs.selection.Rect();
             d.shift = -2;
             return Run<VQRefineSelectionProcessing>(c, d).image;
         }, true},
    };
    return runs;
}

} // namespace KXReliability
