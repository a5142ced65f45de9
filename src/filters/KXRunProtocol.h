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
#include "compositing/KXBox.h"
#include "filters/KXLineRunner.h"
#include "filters/KXPassSchedules.h"

#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

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

using KXGeometry::Box;

// The merge stage: for every row of `rows` (inside both images and the
// moved selection), row segment y of `image` moves toward the same segment
// of `filtered` by the alpha of the selection's pixels at (x, y) - offset.
// One step per row.
void MergeBySelection(KXLineRunner& runner, const KXImageRGBA32i& filtered, KXImageRGBA32i& image,
                      const KXImageRGBA32i& selection, const QRect& rows, const QPoint& offset);

// The whole-image case of a family whose schedule does both passes a tile
// at a time (KXPassSchedule.h): the row pass's steps fill a copy of the
// layer, a batch of whole tile rows each, and the column pass's are
// counted. The pixels, steps and progress are those of the passes. A
// cancel at step k gives the layer the passes leave after k steps (rows 0
// … k - 1 by the row pass, or the columns not counted by the row pass and
// the others from the copy), worked out afterwards from the layer as it
// was: unlike the runner's own stages, a cancel then costs up to one more
// row pass (over the rows, or the columns, not yet counted), in the blocks
// the copy gives back.
template <class Schedule, class Rows, class Columns, class MakeRows>
KXImageRGBA32i WholeTiles(KXLineRunner& runner, Rows& rows, Columns& columns, MakeRows&& makeRows,
                          KXImageRGBA32i& image)
{
    const int before = runner.Done();
    const KXImageRGBA32i source = image;
    KXImageRGBA32i done = image;
    runner.RunRowBlocks(image.Rect(), nullptr, [&](const QRect& block, KXTileWalker::Run run) {
        Schedule::Tiles(rows, columns, source, done, block.top(), block.bottom(), run);
    });
    runner.RunDeferred(columns.Lines());
    if (!runner.Cancelled())
        return done;
    const int steps = runner.Done() - before;
    KXLineRunner plain; // nobody cancels the rest
    if (steps <= rows.Lines()) {
        // The copy's blocks go back before the pass takes new ones.
        done = KXImageRGBA32i(0, 0);
        auto some = makeRows(image, QRect(0, 0, int(image.Width()), steps));
        plain.Run(some);
        return image;
    }
    // Columns 0 … counted - 1 keep the copy's pixels; the others take the
    // row pass, done on the copy itself so that no new blocks are needed:
    // its tile columns from the one the pass first reads onwards go back
    // to the layer's tiles, and the copy's pixels left of `counted` in them
    // are put back afterwards.
    const int counted = steps - rows.Lines();
    const int width = int(image.Width()), height = int(image.Height());
    if (counted >= width)
        return done;
    auto rest = makeRows(done, QRect(counted, 0, width - counted, height));
    constexpr int kTile = int(KXImageRGBA32i::kTileWidth);
    const int from = std::max(0, std::min(rest.Geometry().sourceStart, counted)) / kTile * kTile;
    const unsigned int bytes = static_cast<unsigned int>(counted - from) * sizeof(KXRGBA32i);
    std::vector<KXRGBA32i> kept(static_cast<size_t>(counted - from) * static_cast<size_t>(height));
    for (int y = 0; y < height && bytes; ++y)
        done.GetLine(unsigned(y), unsigned(from), kept.data() + size_t(y) * size_t(counted - from), bytes);
    const QRect shared(from / kTile, 0, int(done.TileColumns()) - from / kTile, int(done.TileRows()));
    CopyTiles(done, source, shared, shared.topLeft());
    plain.Run(rest);
    for (int y = 0; y < height && bytes; ++y)
        done.SetLine(unsigned(y), unsigned(from), kept.data() + size_t(y) * size_t(counted - from), bytes);
    return done;
}

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
        using Schedule = KXPassSchedule<std::decay_t<decltype(rows)>>;
        if constexpr (Schedule::kWholeTiles) {
            if (scheme == Scheme::ConcurrentLines && Schedule::WholeTiles(rows))
                return WholeTiles<Schedule>(run.Runner(), rows, columns, makeRows, image);
        }
        run.Runner().Run(rows);
        run.Runner().Run(columns);
        return image;
    }

    const Box area = Box::Of(data.selectionRect).Moved(data.offset);
    const Box selection = Box::Of(data.selection.Rect()).Moved(data.offset);
    const Box grown = area.Grown(margin) & bounds;
    KXImageRGBA32i filtered = image;
    if ((area & bounds).IsEmpty()) {
        // The area misses the layer: nothing changes, but the rows of the
        // grown area that reach the layer are still the horizontal stage's
        // steps (nothing would see their pixels).
        const int steps = grown.IsEmpty() ? 0 : makeRows(filtered, grown.ToRect()).Lines();
        Run run(filter, cancelLock, cancelFlag, steps, scheme);
        run.Runner().RunDeferred(steps);
        return image;
    }
    auto rows = makeRows(filtered, grown.ToRect());
    auto columns = makeColumns(filtered, (area & bounds).ToRect());
    const Box merged = area & bounds & selection;
    Run run(filter, cancelLock, cancelFlag, rows.Lines() + columns.Lines() + int(merged.Height()), scheme);
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
