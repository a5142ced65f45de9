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
// Before each step is started the cancel flag is read under a read lock of
// the cancel lock; once a check has seen it set, that stage ends and every
// later Run or RunRows does nothing (Cancelled() stays true). After every
// step progress(done) is called on the calling thread, `done` counting the
// steps of all stages so far (Done()).
//
// Schemes:
// - OneLineAtATime: Step() per line (a kernel pass maps the pixels of the
//   line on the global pool; a box pass slides on this thread), the plain
//   form of the filters' passes.
// - ConcurrentLines (the default): lines are admitted in waves (kWaveLines,
//   or two chunks for every thread of the pool if that is more), one flag
//   check per line; the destination tiles of the wave's
//   lines are made private first (through the tile walker), so that no
//   thread detaches a tile while others write it, and the wave's lines are
//   spread over the global pool in chunks of kChunkLines (aligned to
//   multiples of kChunkLines, so chunks of columns share no cache line),
//   each chunk with its own buffers and kernel (Pass::Worker, which reads
//   and writes columns in bands of 16; a 3-tap kernel with Triples does a
//   wave tile by tile instead, see KXThreeTapTiles.h, and the alpha-weighted
//   Gaussian sums opaque column bands across, see KXGaussianBands.h). Lines
//   of one pass are independent, so the pixels equal the plain scheme's bit for
//   bit, and the progress values are the same, in the same order, from the
//   calling thread, reported for each wave once its lines are done (the
//   alpha-weighted Gaussian's rows skip the private copies: the wave's
//   rows are summed into a buffer, then written into the tiles in one walk,
//   see KXGaussianRows.h). A
//   cancel takes effect at the next wave: the lines already admitted are
//   finished and counted.

#include "KXFilterPasses.h"
#include "KXImage.h"
#include "KXParallel.h"
#include "core/KXTileWalker.h"
#include "filters/KXGaussianBands.h"
#include "filters/KXGaussianRows.h"
#include "filters/KXThreeTapTiles.h"

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

    static constexpr int kWaveLines = 256; // lines admitted at once, at least
    static constexpr int kChunkLines = 4 * KXPassGeometry::kBandLines; // lines of one task

    // progress may be empty.
    KXLineRunner(QReadWriteLock& cancelLock, const bool& cancelFlag, std::function<void(int)> progress,
                 Scheme scheme = Scheme::ConcurrentLines)
        : m_lock(cancelLock), m_flag(cancelFlag), m_progress(std::move(progress)), m_scheme(scheme)
    {
    }
    KXLineRunner(const KXLineRunner&) = delete;
    KXLineRunner& operator=(const KXLineRunner&) = delete;

    // Every line of a KXKernelPass or KXBoxPass; false when cancelled.
    template <class Pass>
    bool Run(Pass& pass)
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
        if constexpr (KXThreeTapTiles::Handles<Pass>::value) {
            return Waves(g.firstLine, g.lastLine,
                         [&pass](int first, int last) { KXThreeTapTiles::Wave(pass, first, last); });
        } else {
            if constexpr (KXGaussianRows::Handles<Pass>::value) {
                if (g.horizontal)
                    return Waves(g.firstLine, g.lastLine,
                                 [&pass](int first, int last) { KXGaussianRows::Wave(pass, first, last); });
            }
            return Waves(g.firstLine, g.lastLine, [&](int first, int last) {
                Chunks(first, last, pass.Image(), g.Area(first, last), [&pass](int from, int to) {
                    if constexpr (KXGaussianBands::Handles<Pass>::value) {
                        KXGaussianBands::Lines(pass, from, to);
                    } else {
                        typename Pass::Worker worker(pass);
                        worker.Lines(from, to);
                    }
                });
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
        return Waves(0, count - 1, [&](int first, int last) {
            Chunks(first, last, target, QRect(QPoint(area.left(), top + first), QPoint(area.right(), top + last)),
                   [&step](int from, int to) {
                       for (int i = from; i <= to; ++i)
                           step(i);
                   });
        });
    }

    // A per-row stage done a block of rows at a time: rows(block, run) does
    // the rows of `block` (row area.top() + i of `area` is step i), touching
    // nothing outside them, and with run Parallel may spread its own work
    // over the pool. The plain scheme calls it for one row a step on the
    // calling thread (Serial); the concurrent one for a wave of rows.
    // False when cancelled.
    template <class Rows>
    bool RunRowBlocks(const QRect& area, const Rows& rows)
    {
        const auto block = [&area](int first, int last) {
            return QRect(QPoint(area.left(), area.top() + first), QPoint(area.right(), area.top() + last));
        };
        if (m_scheme == Scheme::OneLineAtATime)
            return RunRows(area.height(), [&](int i) { rows(block(i, i), KXTileWalker::Run::Serial); });
        return Waves(0, area.height() - 1,
                     [&](int first, int last) { rows(block(first, last), KXTileWalker::Run::Parallel); });
    }

    // `count` steps whose work a later stage does (nothing sees what they
    // would write before it): admitted and reported as Run admits and
    // reports lines, nothing done. False when cancelled.
    bool RunDeferred(int count)
    {
        if (m_scheme == Scheme::OneLineAtATime)
            return RunRows(count, [](int) {});
        return Waves(0, count - 1, [](int, int) {});
    }

    bool Cancelled() const { return m_cancelled; } // a check saw the flag
    int Done() const { return m_done; }             // steps done over all stages

private:
    // The flag check before a step: false once cancelled.
    bool Admit()
    {
        if (m_cancelled)
            return false;
        QReadLocker locker(&m_lock);
        m_cancelled = m_flag;
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

    // Lines first … last in waves: the lines of a wave are admitted, then
    // wave(a, b) does lines a … b.
    template <class Wave>
    bool Waves(int first, int last, const Wave& wave)
    {
        // Two chunks a pool thread in a wave, at least kWaveLines.
        const int waveLines = std::max(kWaveLines, 2 * kChunkLines * QThreadPool::globalInstance()->maxThreadCount());
        for (int line = first; line <= last;) {
            const int size = std::min(waveLines, last - line + 1);
            int admitted = 0;
            while (admitted < size && Admit())
                ++admitted;
            if (admitted == 0)
                return false;
            const int end = line + admitted - 1;
            wave(line, end);
            Report(admitted);
            line = end + 1;
            if (admitted < size)
                return false;
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

    QReadWriteLock& m_lock;
    const bool& m_flag;
    std::function<void(int)> m_progress;
    Scheme m_scheme;
    bool m_cancelled = false;
    int m_done = 0;
};

#endif // KXLINERUNNER_H
