// The resampling transforms: nearest, bilinear and bicubic samplers over
// the mapped area, with a box pre-filter of a shared copy when shrinking.

#include "KXTransformImage.h"

#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "core/KXLogMacros.h"
#include "filters/KXLineRunner.h"
#include "geometry/KXInverseMap.h"
#include "geometry/KXResample.h"
#include "geometry/KXSampleRules.h"


#include <cmath>

namespace {

const char kLogFile[] = "src/KXImageTransformation";

using KXGeometry::Quality;

// Runs `rule` over `target` of the destination, sampling `source`.
template <class Rule>
void Sample(const KXImageRGBA32i& source, const QTransform& inverse, KXImageRGBA32i& destination,
            const QRect& target, Rule rule)
{
    const KXImageRGBA32i shared = source; // the destination may be the source itself
    const KXGeometry::SourceTiles<KXImageRGBA32i> tiles(shared);
    const KXGeometry::InverseMap map(inverse, destination.Width());
    KXGeometry::WalkImage(destination, target, map,
                          [&](double sx, double sy, KXRGBA32i& out) { rule(tiles, sx, sy, out); });
}

// The same with a span sampler, row segment by row segment.
void SampleSpans(KXGeometry::SpanSampler span, const KXImageRGBA32i& source, const QTransform& inverse,
                 KXImageRGBA32i& destination, const QRect& target)
{
    const KXImageRGBA32i shared = source;
    const KXGeometry::SourceTiles<KXImageRGBA32i> tiles(shared);
    const KXGeometry::InverseMap map(inverse, destination.Width());
    constexpr int w = KXImageRGBA32i::kTileWidth, h = KXImageRGBA32i::kTileHeight;
    KXTileWalker::WriteArea(destination, target, KXTileWalker::Run::Parallel,
                            [&](KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
                                const int left = static_cast<int>(column) * w;
                                KXGeometry::SpanState state;
                                for (int y = part.top(); y <= part.bottom(); ++y)
                                    span(tiles, KXGeometry::InverseMap::Row(map, static_cast<int>(row) * h + y),
                                         left + part.left(), left + part.right(), pixels + y * w + part.left(),
                                         state);
                            });
}

void SampleWith(Quality quality, const KXImageRGBA32i& source, const QTransform& inverse,
                KXImageRGBA32i& destination, const QRect& target)
{
    if (const KXGeometry::SpanSampler span = KXGeometry::FastSpan(quality))
        return SampleSpans(span, source, inverse, destination, target);
    switch (quality) {
    case Quality::Nearest:
        return Sample(source, inverse, destination, target, KXGeometry::NearestRule<KXImageRGBA32i>());
    case Quality::Bilinear:
        return Sample(source, inverse, destination, target, KXGeometry::BilinearRule<>());
    case Quality::Bicubic:
        return Sample(source, inverse, destination, target, KXGeometry::BicubicRule<>());
    }
}

// trunc(0.5 / scale + 0.5), or -1 when it would not fit a box pass.
int Radius(double scale)
{
    const double r = std::trunc(0.5 / scale + 0.5);
    return r <= KXBoxPassMaxRadius ? static_cast<int>(r) : -1;
}

// Blurs the whole image along one direction with a box of radius r that
// averages all four channels plainly, edge pixels repeating.
void BoxPass(KXImageRGBA32i& image, int radius, KXPassDirection direction)
{
    KXLineRunner runner;
    KXBoxPass<KXRGBABlurAccumulator> pass(image, QRect(), KXRGBABlurAccumulator(radius), direction);
    runner.Run(pass);
}

bool Resample(Quality quality, const KXImageRGBA32i& source, const QTransform& transform,
              KXImageRGBA32i& destination, const QRect& sourceRect)
{
    if (source.Width() == 0 || source.Height() == 0)
        return true;
    bool invertible = false;
    const QTransform inverse = transform.inverted(&invertible);
    if (!invertible)
        return false;
    const QRect area = sourceRect.isValid() ? sourceRect : source.Rect();
    const QRect target = transform.mapRect(area) & destination.Rect();
    if (target.isEmpty())
        return true;
    if (quality == Quality::Nearest) {
        SampleWith(quality, source, inverse, destination, target);
        return true;
    }
    const QRectF mapped = transform.mapRect(QRectF(0, 0, source.Width(), source.Height()));
    const double scaleX = mapped.width() / source.Width();
    const double scaleY = mapped.height() / source.Height();
    if (scaleX > 0.5 && scaleY > 0.5) {
        SampleWith(quality, source, inverse, destination, target);
        return true;
    }
    const int radiusX = scaleX < 1 ? Radius(scaleX) : 0;
    const int radiusY = scaleY < 1 ? Radius(scaleY) : 0;
    if (radiusX < 0 || radiusY < 0) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("Transform: the image would shrink to nothing"));
        return false;
    }
    if (scaleX < 1 && scaleY < 1 && radiusX <= KXGeometry::BoxNearestRule::kMaxRadius &&
        radiusY <= KXGeometry::BoxNearestRule::kMaxRadius) {
        // Only the sampled pixels of the blurred copy are needed: they are
        // worked out where they are sampled, with the same bytes.
        if (!KXGeometry::SampleBoxRows(source, inverse, destination, target, radiusX, radiusY))
            Sample(source, inverse, destination, target, KXGeometry::BoxNearestRule(radiusX, radiusY));
        return true;
    }
    KXGeometry::SampleBlurred(quality, source, inverse, destination, target, radiusX, radiusY,
                              scaleX < 1 && scaleY < 1);
    return true;
}

} // namespace

// The blurred copy made whole: both radii along rows and columns (0: not
// blurred that way), then the nearest sampler when shrinking both ways, the
// given one otherwise.
void KXGeometry::SampleBlurred(Quality quality, const KXImageRGBA32i& source, const QTransform& inverse,
                               KXImageRGBA32i& destination, const QRect& target, int radiusX, int radiusY,
                               bool nearest)
{
    KXImageRGBA32i blurred = source;
    if (radiusX != 0)
        BoxPass(blurred, radiusX, KXPassDirection::Horizontal);
    if (radiusY != 0)
        BoxPass(blurred, radiusY, KXPassDirection::Vertical);
    SampleWith(nearest ? Quality::Nearest : quality, blurred, inverse, destination, target);
}

namespace {

bool Guarded(Quality quality, const KXImageRGBA32i& source, const QTransform& transform,
             KXImageRGBA32i& destination, const QRect& sourceRect)
{
    return KXLog::GuardStd(KX_SITE(kLogFile),
                           [&] { return Resample(quality, source, transform, destination, sourceRect); }, false);
}

} // namespace

bool NearestNeighbourTransformImage(const KXImageRGBA32i& source, const QTransform& transform,
                                    KXImageRGBA32i& destination, const QRect& sourceRect)
{
    return Guarded(Quality::Nearest, source, transform, destination, sourceRect);
}

bool BilinearTransformImage(const KXImageRGBA32i& source, const QTransform& transform,
                            KXImageRGBA32i& destination, const QRect& sourceRect)
{
    return Guarded(Quality::Bilinear, source, transform, destination, sourceRect);
}

bool BicubicTransformImage(const KXImageRGBA32i& source, const QTransform& transform,
                           KXImageRGBA32i& destination, const QRect& sourceRect)
{
    return Guarded(Quality::Bicubic, source, transform, destination, sourceRect);
}
