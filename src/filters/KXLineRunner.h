#ifndef KXLINERUNNER_H
#define KXLINERUNNER_H

// The one door to separable passes over rows and columns: runs the steps of
// a filter's stages (the lines of a KXKernelPass or KXBoxPass, or the rows of
// a per-row stage such as the merge) with the caller's cancel protocol and
// progress. Private to the library.
//
//     KXLineRunner runner(cancelLock, cancelFlag, [&](int done) { SetProgressValue(done); });
//     runner.Run(horizontalPass);           // false once cancelled
//     runner.Run(verticalPass);             // does nothing after a cancel
//     runner.RunRows(rows, mergeRow, target, area);
//     runner.RunDeferred(lines);            // steps a later stage does the work of
//
// Before each step the cancel flag is read under a read lock of the cancel
// lock (never held while a step runs); once a check has seen it set, that
// stage ends and every later Run or RunRows does nothing (Cancelled() stays
// true). After every step progress(done) is called on the calling thread,
// `done` counting the steps of all stages so far (Done()), so a flag set
// from the progress call of step k leaves exactly k steps done.
//
// Schemes:
// - OneLineAtATime: Step() per line (a kernel pass maps the pixels of the
//   line on the global pool; a box pass slides on this thread), the plain
//   form of the filters' passes.
// - ConcurrentLines (the default): lines are done in batches (BatchLines(),
//   whole tile rows, one chunk a pool thread at least), and within a batch
//   the destination tiles of the batch's
//   lines are made private first (through the tile walker), so that no
//   thread detaches a tile while others write it, and the batch's lines are
//   spread over the global pool in chunks of kChunkLines (aligned to
//   multiples of kChunkLines, so chunks of columns share no cache line),
//   each chunk with its own buffers and kernel (by default Pass::Worker,
//   which reads and writes columns in bands of 16; a kernel family may
//   declare its own row waves, tile waves or chunk lines through
//   KXPassSchedule, see KXPassSchedule.h). Lines of one pass are
//   independent, so the pixels equal the plain scheme's bit for bit. The
//   pixels a batch writes are kept
//   before it runs; once it is done its lines are counted one by one, the
//   flag read before each as before a step, and a flag seen part way puts
//   the kept pixels of the lines not yet counted back: the steps and
//   progress values are those of the plain scheme, in the same order, from
//   the calling thread, and a cancel costs at most the batch in hand.

#include "KXFilterPasses.h"
#include "KXImage.h"
#include "KXParallel.h"
#include "core/KXTileWalker.h"
#include "filters/KXPassSchedule.h"

#include <QReadLocker>
#include <QReadWriteLock>
#include <QRect>
#include <QThreadPool>

#include <algorithm>
#include <functional>
#include <vector>

class KXLineRunner {
public:
    enum class Scheme { OneLineAtATime, ConcurrentLines };
    // Whether anyone sees a stage's image once the run is cancelled (the
    // result, or a copy that only a later merge brings into it): lines done
    // past a cancel are put back only where it is Seen.
    enum class Image { Seen, Unseen };

    static constexpr int kChunkLines = 4 * KXPassGeometry::kBandLines; // lines of one task

    // Lines a batch holds: whole tile rows (128 lines), one chunk for every
    // thread of the pool at least; batches start at multiples of it.
    static int BatchLines()
    {
        constexpr int tile = KXImageRGBA32i::kTileHeight;
        const int chunks = kChunkLines * std::max(1, QThreadPool::globalInstance()->maxThreadCount());
        return (chunks + tile - 1) / tile * tile;
    }

    // progress may be empty.
    KXLineRunner(QReadWriteLock& cancelLock, const bool& cancelFlag, std::function<void(int)> progress,
                 Scheme scheme = Scheme::ConcurrentLines)
        : m_lock(&cancelLock), m_flag(&cancelFlag), m_progress(std::move(progress)), m_scheme(scheme)
    {
    }
    // A run that nobody cancels or watches: no flag to read, nothing kept.
    explicit KXLineRunner(Scheme scheme = Scheme::ConcurrentLines) : m_scheme(scheme) {}
    KXLineRunner(const KXLineRunner&) = delete;
    KXLineRunner& operator=(const KXLineRunner&) = delete;

    // Every line of a KXKernelPass or KXBoxPass; false when cancelled.
    template <class Pass>
    bool Run(Pass& pass, Image seen = Image::Seen)
    {
        if (m_scheme == Scheme::OneLineAtATime) {
            while (!pass.Finished()) {
                if (!Admit())
                    return false;
                pass.Step();
                Report(1);
            }
            return !m_cancelled;
        }
        const KXPassGeometry& g = pass.Geometry();
        const auto area = [&g](int first, int last) { return g.Area(first, last); };
        KXImageRGBA32i* kept = seen == Image::Seen ? &pass.Image() : nullptr;
        using Schedule = KXPassSchedule<Pass>;
        if constexpr (Schedule::kTileWaves) {
            return Batches(
                g.firstLine, g.lastLine, kept, area,
                [&pass](int first, int last) { Schedule::TileWave(pass, first, last); }, true);
        } else {
            if constexpr (Schedule::kRowWaves) {
                if (g.horizontal)
                    return Batches(g.firstLine, g.lastLine, kept, area,
                                   [&pass](int first, int last) { Schedule::RowWave(pass, first, last); });
            }
            return Batches(g.firstLine, g.lastLine, kept, area, [&](int first, int last) {
                Chunks(first, last, pass.Image(), g.Area(first, last),
                       [&pass](int from, int to) { Schedule::Lines(pass, from, to); });
            });
        }
    }

    // A per-row stage of `count` steps on the calling thread: step(i) for
    // i = 0 … count - 1; false when cancelled.
    bool RunRows(int count, const std::function<void(int row)>& step)
    {
        for (int i = 0; i < count; ++i) {
            if (!Admit())
                return false;
            step(i);
            Report(1);
        }
        return !m_cancelled;
    }

    // The same for steps that may run at once: step(i) writes `target` only
    // in row area.top() + i, columns area.left() … area.right(), reads
    // nothing that another step writes and does not map on the pool itself.
    // The plain scheme runs them on the calling thread.
    bool RunRows(int count, const std::function<void(int row)>& step, KXImageRGBA32i& target, const QRect& area)
    {
        if (m_scheme == Scheme::OneLineAtATime)
            return RunRows(count, step);
        const int top = area.top();
        const auto rows = [&area, top](int first, int last) {
            return QRect(QPoint(area.left(), top + first), QPoint(area.right(), top + last));
        };
        return Batches(0, count - 1, &target, rows, [&](int first, int last) {
            Chunks(first, last, target, rows(first, last), [&step](int from, int to) {
                for (int i = from; i <= to; ++i)
                    step(i);
            });
        });
    }

    // A per-row stage done a block of rows at a time: rows(block, run) does
    // the rows of `block` (row area.top() + i of `area` is step i), touching
    // nothing outside them, and with run Parallel may spread its own work
    // over the pool. The plain scheme calls it for one row a step on the
    // calling thread (Serial); the concurrent one for a batch of rows.
    // `target` is the image whose pixels in `area` the steps change and a
    // cancel must see as they were after the last step counted; null when
    // nobody sees what the steps wrote once the run is cancelled. False
    // when cancelled.
    template <class Rows>
    bool RunRowBlocks(const QRect& area, KXImageRGBA32i* target, const Rows& rows)
    {
        const auto block = [&area](int first, int last) {
            return QRect(QPoint(area.left(), area.top() + first), QPoint(area.right(), area.top() + last));
        };
        if (m_scheme == Scheme::OneLineAtATime)
            return RunRows(area.height(), [&](int i) { rows(block(i, i), KXTileWalker::Run::Serial); });
        return Batches(0, area.height() - 1, target, block,
                       [&](int first, int last) { rows(block(first, last), KXTileWalker::Run::Parallel); });
    }

    // `count` steps whose work a later stage does (nothing sees what they
    // would write before it): each checked and counted as a step, nothing
    // done. False when cancelled.
    bool RunDeferred(int count) { return RunRows(count, [](int) {}); }

    bool Cancelled() const { return m_cancelled; } // a check saw the flag
    int Done() const { return m_done; }             // steps done over all stages

private:
    // The flag check before a step: false once cancelled.
    bool Admit()
    {
        if (m_cancelled)
            return false;
        if (!m_flag)
            return true;
        QReadLocker locker(m_lock);
        m_cancelled = *m_flag;
        return !m_cancelled;
    }
    void Report(int steps)
    {
        for (int i = 0; i < steps; ++i) {
            ++m_done;
            if (m_progress)
                m_progress(m_done);
        }
    }

    // The pixels of an area of an image, kept so that lines done past a
    // cancel can be put back. A tile that another image shares is kept by
    // holding it (its writer gets a fresh block anyway, so this costs no
    // copy), every tile with `hold` (for writers that compute a held tile
    // from its old block into a fresh one); the pixels of the others are
    // copied.
    class Kept {
    public:
        void Take(const KXImageRGBA32i& image, const QRect& area, bool hold)
        {
            m_area = KXTileWalker::Clip(area, image.Rect());
            m_tiles = KXTileWalker::TilesOf<KXImageRGBA32i>(m_area);
            m_held.assign(m_tiles.isEmpty() ? 0 : static_cast<size_t>(m_tiles.width() * m_tiles.height()),
                          KXTilePointer());
            m_pixels.resize(static_cast<size_t>(m_area.width()) * static_cast<size_t>(m_area.height()));
            for (int r = m_tiles.top(); r <= m_tiles.bottom(); ++r)
                for (int c = m_tiles.left(); c <= m_tiles.right(); ++c) {
                    const KXTilePointer& tile = *image.Tile(unsigned(c), unsigned(r));
                    if (tile && (hold || tile->ref.loadRelaxed() != 1))
                        Held(unsigned(c), unsigned(r)) = tile;
                }
            KXTileWalker::ReadArea(image, m_area, KXTileWalker::Run::Parallel,
                                   [&](const KXRGBA32i* tile, const QRect& inTile, unsigned int c, unsigned int r) {
                                       if (!Held(c, r))
                                           Copy(const_cast<KXRGBA32i*>(tile), inTile, c, r, false);
                                   });
        }
        // The kept pixels of `part` (inside the kept area) back into
        // `image`; the tiles held are let go.
        void Restore(KXImageRGBA32i& image, const QRect& part)
        {
            KXTileWalker::WriteArea(image, part & m_area, KXTileWalker::Run::Serial,
                                    [&](KXRGBA32i* tile, const QRect& inTile, unsigned int c, unsigned int r) {
                                        const KXTilePointer& held = Held(c, r);
                                        if (!held) {
                                            Copy(tile, inTile, c, r, true);
                                            return;
                                        }
                                        const KXTileAccess<const KXRGBA32i> old(held->block, false);
                                        for (int y = inTile.top(); y <= inTile.bottom(); ++y) {
                                            const KXRGBA32i* from = old.Data() + y * KXImageRGBA32i::kTileWidth;
                                            std::copy(from + inTile.left(), from + inTile.right() + 1,
                                                      tile + y * KXImageRGBA32i::kTileWidth + inTile.left());
                                        }
                                    });
            m_held.clear();
        }

        void Release() { m_held.clear(); } // lets the tiles held go

    private:
        KXTilePointer& Held(unsigned int c, unsigned int r)
        {
            return m_held[static_cast<size_t>((int(r) - m_tiles.top()) * m_tiles.width() + int(c) - m_tiles.left())];
        }
        // The rows of `inTile` of tile (c, r) to the copy, or back.
        void Copy(KXRGBA32i* tile, const QRect& inTile, unsigned int c, unsigned int r, bool back)
        {
            constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
            const int x = int(c) * W + inTile.left() - m_area.left();
            for (int y = inTile.top(); y <= inTile.bottom(); ++y) {
                KXRGBA32i* kept = m_pixels.data() +
                                  static_cast<size_t>(int(r) * H + y - m_area.top()) * static_cast<size_t>(m_area.width()) +
                                  x;
                KXRGBA32i* pixels = tile + y * W + inTile.left();
                if (back)
                    std::copy(kept, kept + inTile.width(), pixels);
                else
                    std::copy(pixels, pixels + inTile.width(), kept);
            }
        }
        QRect m_area, m_tiles;
        std::vector<KXTilePointer> m_held; // the shared tiles, by position in m_tiles
        std::vector<KXRGBA32i> m_pixels;
    };

    // Lines first … last in batches: the flag is read before a batch;
    // batch(a, b) does lines a … b, which write area(a, b) of `image`
    // (kept first, see Kept for `hold`; null: nothing to put back); then
    // its lines are counted, the flag read before each but the first, and a
    // flag seen puts the lines not counted back.
    template <class Area, class Batch>
    bool Batches(int first, int last, KXImageRGBA32i* image, const Area& area, const Batch& batch,
                 bool hold = false)
    {
        const int lines = BatchLines();
        for (int line = first; line <= last;) {
            if (!Admit())
                return false;
            const int end = std::min(last, (line / lines + 1) * lines - 1);
            if (image && m_flag)
                m_kept.Take(*image, area(line, end), hold);
            batch(line, end);
            for (int at = line; at <= end; ++at) {
                if (at > line && !Admit()) {
                    if (image && m_flag)
                        m_kept.Restore(*image, area(at, end));
                    return false;
                }
                Report(1);
            }
            if (image && m_flag)
                m_kept.Release();
            line = end + 1;
        }
        return !m_cancelled;
    }

    // Lines first … last, which write `written` of `image`: those tiles made
    // private, then lines(a, b) over chunks of the lines on the pool.
    template <class Lines>
    static void Chunks(int first, int last, KXImageRGBA32i& image, const QRect& written, const Lines& lines)
    {
        KXTileWalker::WriteArea(image, written, KXTileWalker::Run::Parallel,
                                [](KXRGBA32i*, const QRect&, unsigned int, unsigned int) {});
        // Chunks end at multiples of kChunkLines.
        std::vector<int> starts;
        for (int at = first; at <= last; at = (at / kChunkLines + 1) * kChunkLines)
            starts.push_back(at);
        std::vector<int> chunks = KXParallel::Indices(static_cast<int>(starts.size()));
        const auto task = [&](int chunk) {
            const int from = starts[static_cast<size_t>(chunk)];
            const size_t next = static_cast<size_t>(chunk) + 1;
            const int to = next < starts.size() ? starts[next] - 1 : last;
            lines(from, to);
        };
        KXParallel::BlockingMap(chunks, task);
    }

    QReadWriteLock* m_lock = nullptr; // null with m_flag: nobody cancels
    const bool* m_flag = nullptr;
    std::function<void(int)> m_progress;
    Scheme m_scheme;
    bool m_cancelled = false;
    int m_done = 0;
    Kept m_kept; // the batch in hand's pixels, its buffer kept for the next

};

#endif // KXLINERUNNER_H
