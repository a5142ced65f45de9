#ifndef KXRUNPROTOCOL_H
#define KXRUNPROTOCOL_H

// The run protocol that every filter follows, and the separable scheme of
// the blur, sharpen and smoothen filters. Private to the library.
//
// A run announces its steps once (SetRange(0, total)), then its stages go
// through one KXLineRunner, which reads the caller's cancel flag under the
// caller's lock before every step and reports the steps done after each on
// the calling thread. Once a check has seen the flag, the remaining stages
// do nothing.

#include "KXAdjustmentProcessing.h"
#include "KXFilterPasses.h"
#include "filters/KXLineRunner.h"
#include "filters/KXPassSchedules.h"

#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace KXRunProtocol {

using Scheme = KXLineRunner::Scheme;

// The line runner of one run, reporting to `filter`; the range is set here.
class Run {
public:
    Run(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag, int total,
        Scheme scheme)
        : m_runner(cancelLock, cancelFlag, [&filter](int done) { filter.SetProgressValue(done); }, scheme)
    {
        filter.SetRange(0, total);
    }
    KXLineRunner& Runner() { return m_runner; }

private:
    KXLineRunner m_runner;
};

// A rectangle in 64-bit coordinates, so that moving and growing a caller's
// rectangle cannot overflow.
struct Box {
    int64_t left, top, right, bottom;

    static Box Of(const QRect& r) { return {r.left(), r.top(), r.right(), r.bottom()}; }
    Box Moved(const QPoint& by) const { return {left + by.x(), top + by.y(), right + by.x(), bottom + by.y()}; }
    Box Grown(int64_t by) const { return {left - by, top - by, right + by, bottom + by}; }
    Box operator&(const Box& o) const
    {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    }
    bool IsEmpty() const { return left > right || top > bottom; }
    int Height() const { return IsEmpty() ? 0 : int(bottom - top + 1); }
    // The rectangle; an empty box gives a pixel outside every image, since a
    // pass takes the null QRect() for the whole image. Only for boxes inside
    // an image.
    QRect ToRect() const
    {
        if (IsEmpty())
            return QRect(-2, -2, 1, 1);
        return QRect(QPoint(int(left), int(top)), QPoint(int(right), int(bottom)));
    }
};

// The merge stage: for every row of `rows` (inside both images and the
// moved selection), row segment y of `image` moves toward the same segment
// of `filtered` by the alpha of the selection's pixels at (x, y) - offset.
// One step per row.
void MergeBySelection(KXLineRunner& runner, const KXImageRGBA32i& filtered, KXImageRGBA32i& image,
                      const KXImageRGBA32i& selection, const QRect& rows, const QPoint& offset);

// The separable scheme: `makeRows(image, rect)` and `makeColumns(image,
// rect)` build the horizontal and the vertical pass; `margin` is how far the
// horizontal pass reaches beyond the area. Whole-image case (invalid
// selection rectangle): both passes over the layer itself. Area case: both
// passes over a copy, rows over the area grown by the margin, columns over
// the area, then the merge through the selection. A family whose schedule
// declares an area merge (KXPassSchedule.h) gives the same pixels, steps and
// progress in the concurrent scheme's area case, but does the work of all
// three stages in the merge's steps: a cancel before the merge leaves the
// layer as it was, as before.
template <class MakeRows, class MakeColumns>
KXImageRGBA32i RunSeparable(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                            const KXFilterData& data, int margin, MakeRows&& makeRows, MakeColumns&& makeColumns,
                            Scheme scheme)
{
    KXImageRGBA32i image = data.image;
    const Box bounds = Box::Of(image.Rect());
    if (!data.selectionRect.isValid()) {
        const QRect whole = bounds.ToRect();
        auto rows = makeRows(image, whole);
        auto columns = makeColumns(image, whole);
        Run run(filter, cancelLock, cancelFlag, rows.Lines() + columns.Lines(), scheme);
        run.Runner().Run(rows);
        run.Runner().Run(columns);
        return image;
    }

    const Box area = Box::Of(data.selectionRect).Moved(data.offset);
    const Box selection = Box::Of(data.selection.Rect()).Moved(data.offset);
    KXImageRGBA32i filtered = image;
    auto rows = makeRows(filtered, (area.Grown(margin) & bounds).ToRect());
    auto columns = makeColumns(filtered, (area & bounds).ToRect());
    const Box merged = area & bounds & selection;
    Run run(filter, cancelLock, cancelFlag, rows.Lines() + columns.Lines() + merged.Height(), scheme);
    using Schedule = KXPassSchedule<std::decay_t<decltype(rows)>>;
    if constexpr (Schedule::kAreaMerge) {
        if (scheme == Scheme::ConcurrentLines) {
            // The merge's steps do all three stages; the passes only take
            // their steps.
            run.Runner().RunDeferred(rows.Lines());
            run.Runner().RunDeferred(columns.Lines());
            if (!merged.IsEmpty())
                Schedule::Merge(run.Runner(), rows, data.image, image, data.selection, merged.ToRect(), data.offset);
            return image;
        }
    }
    // The filtered copy is seen only through the merge.
    run.Runner().Run(rows, KXLineRunner::Image::Unseen);
    run.Runner().Run(columns, KXLineRunner::Image::Unseen);
    if (!merged.IsEmpty())
        MergeBySelection(run.Runner(), filtered, image, data.selection, merged.ToRect(), data.offset);
    return image;
}

} // namespace KXRunProtocol

#endif // KXRUNPROTOCOL_H
