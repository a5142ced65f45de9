#include "KXShadowFilters.h"

#include "KXBlendModes.h"
#include "KXColorAdjustments.h"
#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "KXTonalAdjustments.h"
#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"
#include "KXAlphaBoxRun.h"
#include "filters/KXFilterStages.h"
#include "filters/KXRunProtocol.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr const char* kLogFile = "src/KXFilterProcessing";
constexpr int kTile = int(KXImageRGBA32i::kTileWidth); // square tiles

// The layer weighted by its mask: a copy with flag 1 and an empty mask,
// else the layer copied (mode Source) through the mask onto a transparent
// image of its size, pixels outside the mask showing when the flag is set.
KXImageRGBA32i MaskedLayer(const KXFilterData& data)
{
    const KXImageRGBA32i& layer = data.image;
    const bool noMask = data.layerMask.Width() == 0 || data.layerMask.Height() == 0;
    if (data.maskFlag == 1 && noMask)
        return layer;
    KXImageRGBA32i masked(layer.Width(), layer.Height());
    const QRect rect = layer.Rect();
    // The layer in the mask's coordinates. A position beyond 2^30 either way
    // leaves the layer as far off any mask as it is, and -position of the
    // most negative int would overflow: it is held to that.
    const auto back = [](int at) { return int(-std::clamp<int64_t>(at, -(int64_t(1) << 30), int64_t(1) << 30)); };
    BlendMaskOn(layer, rect, KXBlendMode::Source, masked, masked.Rect(), 1.0, data.layerMask,
                rect.translated(back(data.maskPosition.x()), back(data.maskPosition.y())), data.maskFlag != 0, false);
    return masked;
}

// a / 128 rounded towards minus infinity.
int64_t TileFloor(int64_t a)
{
    return a >= 0 ? a / kTile : -((-a + kTile - 1) / kTile);
}

// The whole-tile canvas around a layer grown by `size`, with the layer's
// tiles shared into it; refused (logged) when it would hold too many tiles.
struct Canvas {
    KXImageRGBA32i image;
    QPoint origin;
    bool ok = false;

    Canvas(const KXImageRGBA32i& layer, int size)
    {
        const int64_t left = TileFloor(-int64_t(size)), top = left;
        const int64_t right = TileFloor(int64_t(layer.Width()) - 1 + size);
        const int64_t bottom = TileFloor(int64_t(layer.Height()) - 1 + size);
        const int64_t columns = right - left + 1, rows = bottom - top + 1;
        if (columns * rows > int64_t(kMaxImageTiles)) {
            KX_LOG_REPORT(kLogFile, QStringLiteral("Shadow canvas of %1 x %2 tiles refused.").arg(columns).arg(rows));
            return;
        }
        image = KXImageRGBA32i(static_cast<unsigned int>(columns * kTile), static_cast<unsigned int>(rows * kTile));
        CopyTiles(image, layer, QRect(0, 0, static_cast<int>(layer.TileColumns()), static_cast<int>(layer.TileRows())),
                  QPoint(static_cast<int>(-left), static_cast<int>(-top)));
        origin = QPoint(static_cast<int>(left * kTile), static_cast<int>(top * kTile));
        ok = true;
    }
};

// A per-pixel stage over the pixels of `image`, one step per tile (rows of
// tiles top to bottom, left to right); each tile is made private as it is
// reached.
template <class Op>
void TileStage(KXLineRunner& runner, KXImageRGBA32i& image, const Op& op)
{
    const QRect area = image.Rect();
    const int columns = static_cast<int>(image.TileColumns());
    runner.RunRows(static_cast<int>(image.TileCount()), [&](int step) {
        const QRect tile((step % columns) * kTile, (step / columns) * kTile, kTile, kTile);
        KXTileWalker::WriteArea(image, tile & area, KXTileWalker::Run::Serial,
                                [&op](KXRGBA32i* pixels, const QRect& part, unsigned int, unsigned int) {
                                    for (int y = part.top(); y <= part.bottom(); ++y) {
                                        KXRGBA32i* row = pixels + y * kTile;
                                        for (int x = part.left(); x <= part.right(); ++x)
                                            op(row[x]);
                                    }
                                });
    });
}

// A size the canvas and the box passes take and within the picture;
// anything else is logged.
bool AcceptsSize(int size, const KXImageRGBA32i& image)
{
    if (size >= 0 && size <= KXBoxPassMaxRadius && KXFilterStages::WithinPicture(size, image))
        return true;
    KX_LOG_REPORT(kLogFile, QStringLiteral("Shadow size %1 refused.").arg(size));
    return false;
}

KXRGBA32i ShadowColour(const KXShadowParamsFields& params)
{
    return KXRGBA32i(static_cast<uint32_t>(params.colour.rgba()));
}

// The blurred canvas of both filters: rows with a plain alpha box, then
// columns with `finish`'s accumulator.
template <class Finish>
void BlurCanvas(KXLineRunner& runner, KXImageRGBA32i& canvas, int size, const Finish& finish)
{
    KXBoxPass<KXAlphaBoxRun<KXAlphaBlurAccumulator>> rows(canvas, QRect(), KXAlphaBoxRun<KXAlphaBlurAccumulator>(size),
                                                         KXPassDirection::Horizontal);
    KXBoxPass<Finish> columns(canvas, QRect(), finish, KXPassDirection::Vertical);
    runner.Run(rows);
    runner.Run(columns);
}

} // namespace

KXDropShadowProcessing::KXDropShadowProcessing(QReadWriteLock& cancelLock, bool& cancelFlag)
    : m_cancelLock(cancelLock), m_cancelFlag(cancelFlag)
{
}

KXDropShadowProcessing::~KXDropShadowProcessing() = default;

KXDropShadowProcessing::DropShadowResult KXDropShadowProcessing::run(DropShadowData data)
{
    DropShadowResult result;
    if (!AcceptsSize(data.size, data.image) || data.image.Width() == 0 || data.image.Height() == 0)
        return result;
    const KXRGBA32i colour = ShadowColour(data);
    KXImageRGBA32i masked = MaskedLayer(data);
    if (data.size == 0) {
        KXRunProtocol::Run run(*this, m_cancelLock, m_cancelFlag, static_cast<int>(masked.TileCount()),
                               KXRunProtocol::Scheme::ConcurrentLines);
        TileStage(run.Runner(), masked, KXColorize<KXRGBA32i>(colour));
        result.shadow = masked;
        return result;
    }
    Canvas canvas(masked, data.size);
    if (!canvas.ok)
        return result;
    masked = KXImageRGBA32i();
    const KXImageRGBA32i& image = canvas.image;
    KXRunProtocol::Run run(*this, m_cancelLock, m_cancelFlag, static_cast<int>(image.Width() + image.Height()),
                           KXRunProtocol::Scheme::ConcurrentLines);
    BlurCanvas(run.Runner(), canvas.image, data.size, KXAlphaBoxRun<KXAlphaBlurAccumulatorWithRGBColorize>(data.size, colour));
    result.shadow = canvas.image;
    result.origin = canvas.origin;
    return result;
}

KXInnerShadowProcessing::KXInnerShadowProcessing(QReadWriteLock& cancelLock, bool& cancelFlag)
    : m_cancelLock(cancelLock), m_cancelFlag(cancelFlag)
{
}

KXInnerShadowProcessing::~KXInnerShadowProcessing() = default;

KXInnerShadowProcessing::InnerShadowResult KXInnerShadowProcessing::run(InnerShadowData data)
{
    InnerShadowResult result;
    if (!AcceptsSize(data.size, data.image) || data.image.Width() == 0 || data.image.Height() == 0)
        return result;
    const KXColorize<KXRGBA32i> colorize(ShadowColour(data));
    const KXImageRGBA32i masked = MaskedLayer(data);
    if (data.size == 0) {
        KXImageRGBA32i shadow = masked;
        KXRunProtocol::Run run(*this, m_cancelLock, m_cancelFlag, 2 * static_cast<int>(shadow.TileCount()),
                               KXRunProtocol::Scheme::ConcurrentLines);
        TileStage(run.Runner(), shadow, KXInvertAlphaTransformation());
        TileStage(run.Runner(), shadow, colorize);
        result.shadow = shadow;
        result.layer = masked;
        return result;
    }
    Canvas canvas(masked, data.size);
    if (!canvas.ok)
        return result;
    result.layer = canvas.image;
    result.origin = canvas.origin;
    KXImageRGBA32i& shadow = canvas.image;
    KXRunProtocol::Run run(*this, m_cancelLock, m_cancelFlag,
                           static_cast<int>(shadow.Width() + shadow.Height() + shadow.TileCount()),
                           KXRunProtocol::Scheme::ConcurrentLines);
    BlurCanvas(run.Runner(), shadow, data.size, KXAlphaBoxRun<KXAlphaBlurAccumulatorWithInvert>(data.size));
    TileStage(run.Runner(), shadow, colorize);
    result.shadow = shadow;
    return result;
}
