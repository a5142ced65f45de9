#ifndef KXPASSSCHEDULE_H
#define KXPASSSCHEDULE_H

// How the line runner's concurrent scheme does the lines of a pass, as the
// pass's kernel family declares it: a family with its own schedule
// specialises KXPassSchedule for its pass type in its own header (derived
// from KXPassScheduleDefaults, changing what it does differently), and
// KXPassSchedules.h gathers those headers for the runner's callers. Every
// schedule gives the pixels of Pass::Worker bit for bit. Private to the
// library.
//
// - Lines(pass, first, last): the lines of one chunk (the runner has made
//   the batch's tiles private first); by default a Pass::Worker.
// - Row waves (kRowWaves): a horizontal batch goes to RowWave(pass, first,
//   last) instead, which makes no tile private first and spreads its own
//   work over the pool.
// - Tile waves (kTileWaves): every batch goes to TileWave(pass, first,
//   last) instead, which writes each tile it covers into a fresh block
//   computed from the held old one (the runner holds the tiles it keeps).
// - Area merge (kAreaMerge): in the area case of the separable scheme
//   (KXRunProtocol.h) the passes only take their steps and
//   Merge(runner, pass, source, image, selection, rows, offset) does the
//   work of both passes and the merge in the merge's steps.
// - Whole tiles (kWholeTiles): in the whole-image case of the separable
//   scheme, where WholeTiles(rows) says so, the row pass's steps do the work
//   of both passes a batch of whole tile rows at a time: Tiles(rows,
//   columns, source, out, first, last, run) writes rows first … last of
//   both passes over all of `source` into `out` (a copy of it), spread over
//   the pool with `run` Parallel. The column pass's steps are only counted.

#include "filters/KXPassWorkers.h"

#include <type_traits>

template <class Pass>
struct KXPassScheduleDefaults {
    static constexpr bool kRowWaves = false;
    static constexpr bool kTileWaves = false;
    static constexpr bool kAreaMerge = false;
    static constexpr bool kWholeTiles = false;

    static void Lines(const Pass& pass, int first, int last)
    {
        typename Pass::Worker worker(pass);
        worker.Lines(first, last);
    }
};

template <class Pass, class = void>
struct KXPassSchedule : KXPassScheduleDefaults<Pass> {
};

#endif // KXPASSSCHEDULE_H
