#include "KXRefineSelection.h"

#include "KXBlend.h"
#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "core/KXLogMacros.h"
#include "KXAlphaBoxRun.h"
#include "filters/KXFilterStages.h"
#include "filters/KXRunProtocol.h"
#include "filters/KXShiftEdgeRun.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr const char* kLogFile = "src/KXFilterProcessing";

using KXGeometry::Box;

// A radius the box passes take and within the picture; anything else is
// logged.
bool AcceptsRadius(double radius, const KXImageRGBA32i& mask)
{
    if (radius >= 0.0 && std::trunc(radius) <= KXBoxPassMaxRadius &&
        KXFilterStages::WithinPicture(std::trunc(radius), mask))
        return true;
    KX_LOG_REPORT(kLogFile, QStringLiteral("Refine selection radius %1 refused.").arg(radius));
    return false;
}

// The canvas in the offset's coordinates: the mask's rectangle, grown by a
// positive shift as far as the bound rectangle at (0, 0) (or the mask
// itself, where it lies beyond the bound) reaches.
Box CanvasBox(const VQRefineSelectionProcessing::RefineSelectionData& data)
{
    const Box mask = Box::Of(data.image.Rect()).Moved(data.offset);
    if (data.shift <= 0)
        return mask;
    const Box grown = mask.Grown(data.shift);
    if (data.boundSize.width() < 0 || data.boundSize.height() < 0)
        return grown;
    const Box bound{0, 0, int64_t(data.boundSize.width()), int64_t(data.boundSize.height())};
    if (bound.IsEmpty())
        return mask;
    const Box limit{std::min(bound.left, mask.left), std::min(bound.top, mask.top),
                    std::max(bound.right, mask.right), std::max(bound.bottom, mask.bottom)};
    return grown & limit;
}

// An image of `box`'s size, or false (logged) when it would need too many
// tiles.
bool MakeCanvas(const Box& box, KXImageRGBA32i& canvas)
{
    const int64_t width = box.Width(), height = box.Height();
    constexpr int64_t W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    const int64_t tiles = ((width + W - 1) / W) * ((height + H - 1) / H);
    if (tiles > int64_t(kMaxImageTiles)) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("Refine selection canvas of %1 x %2 refused.").arg(width).arg(height));
        return false;
    }
    canvas = KXImageRGBA32i(static_cast<unsigned int>(width), static_cast<unsigned int>(height));
    return true;
}

// The copy stage: every row of `mask` into `canvas` at `at`, one step per
// row, each pixel through KXSource<0>.
void CopyRows(KXLineRunner& runner, const KXImageRGBA32i& mask, KXImageRGBA32i& canvas, const QPoint& at)
{
    const int width = static_cast<int>(mask.Width());
    const unsigned int bytes = static_cast<unsigned int>(width) * sizeof(KXRGBA32i);
    runner.RunRows(static_cast<int>(mask.Height()), [&](int row) {
        std::vector<KXRGBA32i> source(static_cast<size_t>(width)), target(source.size());
        mask.GetLine(static_cast<unsigned int>(row), source.data(), bytes);
        const KXBlend::KXBlender<KXRGBA32i, KXBlend::KXSource<0>> blender(source, target, KXBlend::KXSource<0>());
        for (int i = 0; i < width; ++i)
            blender(i);
        canvas.SetLine(static_cast<unsigned int>(at.y() + row), static_cast<unsigned int>(at.x()), target.data(), bytes);
    }, canvas, QRect(at.x(), at.y(), width, static_cast<int>(mask.Height())));
}

} // namespace

namespace {

// The edge shift over the whole of `image`: rows, then columns (the
// kernel's whole lines in O(1) per pixel).
void ShiftEdge(KXLineRunner& runner, KXImageRGBA32i& image, int shift)
{
    const KXShiftEdgeRun kernel(shift);
    KXKernelPass<KXShiftEdgeRun> rows(image, QRect(), kernel, KXPassDirection::Horizontal);
    KXKernelPass<KXShiftEdgeRun> columns(image, QRect(), kernel, KXPassDirection::Vertical);
    runner.Run(rows);
    runner.Run(columns);
}

} // namespace

VQRefineSelectionProcessing::VQRefineSelectionProcessing(QReadWriteLock& cancelLock, bool& cancelFlag)
    : m_cancelLock(cancelLock), m_cancelFlag(cancelFlag)
{
}

VQRefineSelectionProcessing::~VQRefineSelectionProcessing() = default;

VQRefineSelectionProcessing::VQRefineSelectionResult VQRefineSelectionProcessing::run(RefineSelectionData data)
{
    VQRefineSelectionResult result;
    if (!data.selectionRect.isValid() || !AcceptsRadius(data.radius, data.image))
        return result;
    const int shiftSteps = data.shift != 0 ? 1 : 0; // times rows + columns

    if (data.radius == 0.0 && data.shift <= 0) {
        KXImageRGBA32i mask = data.image;
        KXRunProtocol::Run run(*this, m_cancelLock, m_cancelFlag,
                               shiftSteps * static_cast<int>(mask.Width() + mask.Height()),
                               KXRunProtocol::Scheme::ConcurrentLines);
        if (data.shift != 0)
            ShiftEdge(run.Runner(), mask, data.shift);
        result.image = mask;
        result.position = data.offset;
        return result;
    }

    const Box box = CanvasBox(data);
    KXImageRGBA32i canvas;
    if (!MakeCanvas(box, canvas))
        return result;
    const int radius = static_cast<int>(std::trunc(data.radius));
    const int featherRounds = data.radius != 0.0 ? 3 : 0;
    const int lines = static_cast<int>(canvas.Width() + canvas.Height());
    KXRunProtocol::Run run(*this, m_cancelLock, m_cancelFlag,
                           static_cast<int>(data.image.Height()) + (featherRounds + shiftSteps) * lines,
                           KXRunProtocol::Scheme::ConcurrentLines);
    KXLineRunner& runner = run.Runner();
    const QPoint at(static_cast<int>(data.offset.x() - box.left), static_cast<int>(data.offset.y() - box.top));
    CopyRows(runner, data.image, canvas, at);
    using Feather = KXAlphaBoxRun<KXAlphaBlurAccumulator>;
    const Feather feather(radius);
    for (int round = 0; round < featherRounds; ++round) {
        KXBoxPass<Feather> rows(canvas, QRect(), feather, KXPassDirection::Horizontal);
        KXBoxPass<Feather> columns(canvas, QRect(), feather, KXPassDirection::Vertical);
        runner.Run(rows);
        runner.Run(columns);
    }
    if (data.shift != 0)
        ShiftEdge(runner, canvas, data.shift);
    result.image = canvas;
    result.position = QPoint(static_cast<int>(box.left), static_cast<int>(box.top));
    return result;
}
