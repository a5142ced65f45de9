#include "KXBlurFilters.h"

#include "KXBlendModes.h"
#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "core/KXLogMacros.h"
#include "filters/KXBlurFilterRun.h"
#include "filters/KXFilterStages.h"
#include "filters/KXRunProtocol.h"

#include <cmath>

namespace {

constexpr const char* kLogFile = "src/KXFilterProcessing";

bool AcceptsSigma(double sigma, const KXImageRGBA32i& image)
{
    return KXFilterStages::AcceptsSigma(sigma, image, kLogFile, "Gaussian blur");
}

bool AcceptsBoxRadius(int radius, const KXImageRGBA32i& image)
{
    return KXFilterStages::AcceptsBoxRadius(radius, image.Width(), image.Height(), kLogFile);
}

// max(1, trunc(3 sigma)), the Gaussian kernel's radius (sigma accepted).
int GaussianMargin(double sigma)
{
    const double r = std::trunc(sigma * 3.0);
    return r < 1.0 ? 1 : static_cast<int>(r);
}

// runEx: the layer grown by up to `margin` on each side within the growth
// bounds (with a selection, within the area too), then `run`.
template <class DataEx, class Result, class Run>
Result RunEx(DataEx data, int margin, Run&& run)
{
    Result result;
    result.origin = data.layerOrigin;
    const QRect layer = data.image.Rect();
    if (data.growthBounds != layer) {
        QRect bounds = data.growthBounds;
        if (data.selectionRect.isValid()) {
            const KXGeometry::Box area =
                KXGeometry::Box::Of(data.selectionRect).Moved(data.offset) & KXGeometry::Box::Of(bounds);
            bounds = area.IsEmpty() ? QRect() : area.ToRect();
        }
        const QRect grown = layer.adjusted(-margin, -margin, margin, margin) & (bounds | layer);
        if (grown != layer && !grown.isEmpty()) {
            KXImageRGBA32i enlarged(static_cast<unsigned int>(grown.width()),
                                    static_cast<unsigned int>(grown.height()));
            BlendOn(data.image, layer, KXBlendMode::Source, enlarged, layer.translated(-grown.topLeft()), 1.0,
                    false);
            data.image = enlarged;
            data.offset -= grown.topLeft();
            data.maskPosition -= grown.topLeft();
            result.origin = data.layerOrigin + grown.topLeft();
        }
    }
    result.image = run(data);
    return result;
}

} // namespace

namespace KXBlurFilterRun {

KXImageRGBA32i Box(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                   const KXBoxBlurProcessing::BlurData& data, KXLineRunner::Scheme scheme)
{
    if (!AcceptsBoxRadius(data.radius, data.image))
        return data.image;
    const KXRGBABlurAccumulatorPremul accumulator(data.radius);
    return KXRunProtocol::RunSeparable(
        filter, cancelLock, cancelFlag, data, data.radius,
        [&](KXImageRGBA32i& image, const QRect& rect) {
            return KXBoxPass<KXRGBABlurAccumulatorPremul>(image, rect, accumulator, KXPassDirection::Horizontal);
        },
        [&](KXImageRGBA32i& image, const QRect& rect) {
            return KXBoxPass<KXRGBABlurAccumulatorPremul>(image, rect, accumulator, KXPassDirection::Vertical);
        },
        scheme);
}

KXImageRGBA32i Gaussian(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                        const KXGaussianBlurProcessing::BlurData& data, KXLineRunner::Scheme scheme)
{
    if (!AcceptsSigma(data.sigma, data.image))
        return data.image;
    const KXGaussian1DPremul kernel(data.sigma);
    return KXRunProtocol::RunSeparable(
        filter, cancelLock, cancelFlag, data, kernel.Radius(),
        [&](KXImageRGBA32i& image, const QRect& rect) {
            return KXKernelPass<KXGaussian1DPremul>(image, rect, kernel, KXPassDirection::Horizontal);
        },
        [&](KXImageRGBA32i& image, const QRect& rect) {
            return KXKernelPass<KXGaussian1DPremul>(image, rect, kernel, KXPassDirection::Vertical);
        },
        scheme);
}

} // namespace KXBlurFilterRun

KXBoxBlurProcessing::KXBoxBlurProcessing(QReadWriteLock& cancelLock, bool& cancelFlag)
    : m_cancelLock(cancelLock), m_cancelFlag(cancelFlag)
{
}

KXBoxBlurProcessing::~KXBoxBlurProcessing() = default;

KXImageRGBA32i KXBoxBlurProcessing::run(BlurData data)
{
    return KXBlurFilterRun::Box(*this, m_cancelLock, m_cancelFlag, data, KXLineRunner::Scheme::ConcurrentLines);
}

KXBoxBlurProcessing::ResultEx KXBoxBlurProcessing::runEx(BlurDataEx data)
{
    if (!AcceptsBoxRadius(data.radius, data.image))
        return {data.image, data.layerOrigin};
    return RunEx<BlurDataEx, ResultEx>(data, data.radius, [this](const BlurData& d) { return run(d); });
}

KXGaussianBlurProcessing::KXGaussianBlurProcessing(QReadWriteLock& cancelLock, bool& cancelFlag)
    : m_cancelLock(cancelLock), m_cancelFlag(cancelFlag)
{
}

KXGaussianBlurProcessing::~KXGaussianBlurProcessing() = default;

KXImageRGBA32i KXGaussianBlurProcessing::run(BlurData data)
{
    return KXBlurFilterRun::Gaussian(*this, m_cancelLock, m_cancelFlag, data, KXLineRunner::Scheme::ConcurrentLines);
}

KXGaussianBlurProcessing::ResultEx KXGaussianBlurProcessing::runEx(BlurDataEx data)
{
    if (!AcceptsSigma(data.sigma, data.image))
        return {data.image, data.layerOrigin};
    return RunEx<BlurDataEx, ResultEx>(data, GaussianMargin(data.sigma), [this](const BlurData& d) { return run(d); });
}
