#include "KXDetailFilters.h"

#include "KXBlend.h"
#include "KXBlendModes.h"
#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "compositing/KXPixelRows.h"
#include "core/KXArithmetic.h"
#include "filters/KXDetailFilterRun.h"
#include "filters/KXFilterStages.h"
#include "filters/KXRunProtocol.h"
#include "KXThreeTapSpans.h"
#include "core/KXLogMacros.h"

#include <QReadLocker>
#include <QWriteLocker>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

namespace {

constexpr const char* kLogFile = "src/KXFilterProcessing";

// The separable run of a 3-tap kernel (both reach one pixel).
template <class Kernel>
KXImageRGBA32i RunThreeTap(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                           const KXFilterData& data, int strength, KXLineRunner::Scheme scheme)
{
    const Kernel kernel(strength);
    return KXRunProtocol::RunSeparable(
        filter, cancelLock, cancelFlag, data, 1,
        [&](KXImageRGBA32i& image, const QRect& rect) {
            return KXKernelPass<Kernel>(image, rect, kernel, KXPassDirection::Horizontal);
        },
        [&](KXImageRGBA32i& image, const QRect& rect) {
            return KXKernelPass<Kernel>(image, rect, kernel, KXPassDirection::Vertical);
        },
        scheme);
}

// The high pass's cut of a row through the selection, equal to BlendMaskOn
// in Source mode at full opacity: the pixel taken, its alpha weighted by the
// selection's, s.a * m.a * 256 / 65280 = s.a * m.a / 255 truncated
// (KXArithmetic::DivideBy255); on whole words so that the loop runs in
// vector lanes.
void Cut(const KXRGBA32i* s, KXRGBA32i* d, const KXRGBA32i* m, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint32_t alpha = KXArithmetic::DivideBy255((s[i].value >> 24) * (m[i].value >> 24));
        d[i].value = (s[i].value & 0x00FFFFFFu) | (alpha << 24);
    }
}

bool Cancelled(QReadWriteLock& lock, const bool& flag)
{
    QReadLocker locker(&lock);
    return flag;
}

// Whether every pixel corner of `box` (not empty) is an int.
bool InIntRange(const KXGeometry::Box& box)
{
    const auto fits = [](int64_t v) {
        return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
    };
    return fits(box.left) && fits(box.top) && fits(box.right - 1) && fits(box.bottom - 1);
}

} // namespace

namespace KXDetailFilterRun {

KXImageRGBA32i Sharpen(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                       const KXSharpenProcessing::SharpenData& data, KXLineRunner::Scheme scheme)
{
    return RunThreeTap<KXFastSharpenKernel1D>(filter, cancelLock, cancelFlag, data, data.strength, scheme);
}

KXImageRGBA32i Smoothen(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                        const KXSmoothenProcessing::SmoothenData& data, KXLineRunner::Scheme scheme)
{
    return RunThreeTap<KXFastBoxKernel1D>(filter, cancelLock, cancelFlag, data, data.strength, scheme);
}

KXImageRGBA32i HighPass(KXAdjustmentProcessing& filter, const HighPassShared& shared,
                        const KXHighPassProcessing::HighPassData& data, KXLineRunner::Scheme scheme)
{
    using KXGeometry::Box;
    KXImageRGBA32i image = data.image;
    if (!KXFilterStages::AcceptsSigma(data.sigma, image, kLogFile, "High pass"))
        return image;
    const unsigned int mode = KXHighPassProcessing::IndexToMode(data.modeIndex);
    const double opacity = data.amount / 100.0;
    const bool area = data.selectionRect.isValid();
    // The area in layer coordinates, in 64 bits (the offset may move it
    // beyond the int range; then it misses the layer and H is not used).
    const Box moved = Box::Of(data.selectionRect).Moved(data.offset);

    KXImageRGBA32i h, blended;
    bool cached = false;
    {
        QReadLocker locker(&shared.cacheLock);
        if (shared.cachedSigma == data.sigma) {
            h = shared.cachedImage;
            cached = true;
        }
    }
    int total = 2;
    if (cached) {
        filter.SetRange(0, 2);
        filter.SetProgressValue(1);
    } else {
        const Box bounds = Box::Of(image.Rect());
        const Box target = area ? moved & bounds : bounds;
        const Box grown = area ? moved.Grown(int64_t(data.sigma)) & bounds : bounds;
        KXImageRGBA32i c = image;
        const KXGaussian1DPremul kernel(data.sigma);
        // No pass over a box that misses the layer (an area beyond it): a
        // pass takes the null rectangle for the whole image.
        using Pass = KXKernelPass<KXGaussian1DPremul>;
        std::optional<Pass> rows, columns;
        if (!grown.IsEmpty())
            rows.emplace(c, grown.ToRect(), kernel, KXPassDirection::Horizontal);
        if (!target.IsEmpty())
            columns.emplace(c, target.ToRect(), kernel, KXPassDirection::Vertical);
        const auto lines = [](const std::optional<Pass>& pass) { return pass ? pass->Lines() : 0; };
        const int steps = lines(rows) + lines(columns) + int(target.Height());
        const int weight = steps / 100 == 0 ? 2 : steps / 100;
        total = steps + weight;
        KXRunProtocol::Run run(filter, shared.cancelLock, shared.cancelFlag, total, scheme);
        // C is seen only through the merge, which a cancel throws away.
        if (rows)
            run.Runner().Run(*rows, KXLineRunner::Image::Unseen);
        if (columns)
            run.Runner().Run(*columns, KXLineRunner::Image::Unseen);
        const auto subtract = [](const KXRGBA32i* s, KXRGBA32i* d, const KXRGBA32i*, int width) {
            // KXBlend::KXSubtractRGBSrcByDst(128), a row at a time.
            KXPixelRows::SubtractRow(s, d, 128, width);
        };
        if (area) {
            // H, the area's size, is made before the stage so that each
            // block of rows is subtracted, cut into H through the selection
            // and blended back into a copy of the layer while it is still
            // in the processor's caches (the copy kept unless cancelled).
            // Without the memory for H the rows are counted, nothing done.
            blended = image;
            bool made = true;
            try {
                // H's size from the corners: QRect's width wraps past INT_MAX.
                const int64_t width = moved.Width(), height = moved.Height();
                if (width > std::numeric_limits<int>::max() || height > std::numeric_limits<int>::max())
                    throw std::bad_alloc();
                h = KXImageRGBA32i(static_cast<unsigned int>(width), static_cast<unsigned int>(height));
            } catch (const std::bad_alloc&) {
                made = false;
            }
            if (!made || target.IsEmpty()) {
                run.Runner().RunDeferred(int(target.Height()));
            } else {
                const QPoint fromH(KXFilterStages::HeldToInt(moved.left), KXFilterStages::HeldToInt(moved.top));
                const QPoint toSelection = data.selectionRect.topLeft();
                // Where the selection is opaque over a block, its weight
                // changes nothing: the cut copies, and the blend goes
                // without the mask (the masked alpha s.a * 255 * op / 65280
                // is the unmasked (s.a * op) >> 8 in these modes) from the
                // same pixels in C, whose tiles lie like the layer's (H's
                // seams would cut every row into short runs).
                const auto copy = [](const KXRGBA32i* s, KXRGBA32i* d, const KXRGBA32i*, int n) {
                    std::memcpy(d, s, size_t(n) * sizeof(KXRGBA32i));
                };
                run.Runner().RunRowBlocks(target.ToRect(), nullptr, [&](const QRect& block, KXTileWalker::Run walk) {
                    const QRect inH = block.translated(-fromH), inSelection = inH.translated(toSelection);
                    KXFilterStages::BlendBlock<false>(image, QPoint(), c, nullptr, QPoint(), block, walk, subtract);
                    if (KXFilterStages::OpaqueOver(data.selection, inSelection)) {
                        KXFilterStages::BlendBlock<false>(c, -fromH, h, nullptr, QPoint(), inH, walk, copy);
                        BlendOn(c, block, mode, blended, block, opacity, false);
                    } else {
                        KXFilterStages::BlendBlock<true>(c, -fromH, h, &data.selection, -toSelection, inH, walk,
                                                         Cut);
                        BlendMaskOn(h, inH, mode, blended, block, opacity, data.selection, inSelection, false,
                                    false);
                    }
                });
            }
            if (!run.Runner().Cancelled() && !made) {
                KX_LOG_REPORT(kLogFile, QStringLiteral("High pass area %1 x %2 refused.")
                                            .arg(moved.Width())
                                            .arg(moved.Height()));
                return image;
            }
        } else {
            // Over the whole layer each block of rows is blended back into a
            // copy of the layer while the block is still in the processor's
            // caches; the copy is kept unless cancelled.
            blended = image;
            run.Runner().RunRowBlocks(target.ToRect(), nullptr, [&](const QRect& block, KXTileWalker::Run walk) {
                KXFilterStages::BlendBlock<false>(image, QPoint(), c, nullptr, QPoint(), block, walk, subtract);
                BlendOn(c, block, mode, blended, block, opacity, false);
            });
            h = c;
        }
        // Keeping H in the cache is a step of its own: the flag is read first.
        if (run.Runner().Cancelled() || Cancelled(shared.cancelLock, shared.cancelFlag))
            return image;
        if (h.Width() > 0 && h.Height() > 0) {
            {
                QWriteLocker locker(&shared.cacheLock);
                shared.cachedSigma = data.sigma;
                shared.cachedImage = h;
            }
            filter.SetProgressValue(steps + weight / 2);
        }
    }
    if (Cancelled(shared.cancelLock, shared.cancelFlag))
        return image;
    if (!cached)
        image = blended;
    else if (area && !(moved & Box::Of(image.Rect())).IsEmpty() && InIntRange(moved))
        BlendMaskOn(h, h.Rect(), mode, image,
                    QRect(QPoint(int(moved.left), int(moved.top)), QPoint(int(moved.right - 1), int(moved.bottom - 1))),
                    opacity, data.selection, data.selectionRect, false, false);
    else
        BlendOn(h, h.Rect(), mode, image, image.Rect(), opacity, false);
    filter.SetProgressValue(total);
    return image;
}

} // namespace KXDetailFilterRun

KXSharpenProcessing::KXSharpenProcessing(QReadWriteLock& cancelLock, bool& cancelFlag)
    : m_cancelLock(cancelLock), m_cancelFlag(cancelFlag)
{
}

KXSharpenProcessing::~KXSharpenProcessing() = default;

KXImageRGBA32i KXSharpenProcessing::run(SharpenData data)
{
    return KXDetailFilterRun::Sharpen(*this, m_cancelLock, m_cancelFlag, data, KXLineRunner::Scheme::ConcurrentLines);
}

KXSmoothenProcessing::KXSmoothenProcessing(QReadWriteLock& cancelLock, bool& cancelFlag)
    : m_cancelLock(cancelLock), m_cancelFlag(cancelFlag)
{
}

KXSmoothenProcessing::~KXSmoothenProcessing() = default;

KXImageRGBA32i KXSmoothenProcessing::run(SmoothenData data)
{
    return KXDetailFilterRun::Smoothen(*this, m_cancelLock, m_cancelFlag, data,
                                       KXLineRunner::Scheme::ConcurrentLines);
}

KXHighPassProcessing::KXHighPassProcessing(QReadWriteLock& cancelLock, bool& cancelFlag, QReadWriteLock& cacheLock,
                                           double& cachedSigma, KXImageRGBA32i& cachedImage)
    : m_cancelLock(cancelLock),
      m_cancelFlag(cancelFlag),
      m_cacheLock(cacheLock),
      m_cachedSigma(cachedSigma),
      m_cachedImage(cachedImage)
{
}

KXHighPassProcessing::~KXHighPassProcessing() = default;

KXImageRGBA32i KXHighPassProcessing::run(HighPassData data)
{
    const KXDetailFilterRun::HighPassShared shared{m_cancelLock, m_cancelFlag, m_cacheLock, m_cachedSigma,
                                                   m_cachedImage};
    return KXDetailFilterRun::HighPass(*this, shared, data, KXLineRunner::Scheme::ConcurrentLines);
}

unsigned int KXHighPassProcessing::IndexToMode(int index)
{
    switch (index) {
    case 1:
        return KXBlendMode::Overlay;
    case 2:
        return KXBlendMode::SoftLight;
    case 3:
        return KXBlendMode::HardLight;
    default:
        return KXBlendMode::Normal;
    }
}
