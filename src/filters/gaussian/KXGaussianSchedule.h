#ifndef KXGAUSSIANSCHEDULE_H
#define KXGAUSSIANSCHEDULE_H

// The alpha-weighted Gaussian's schedule in the line runner: row waves that
// make no tile private first (KXGaussianRows.h), column lines in opaque
// bands of sixteen (KXGaussianBands.h), and, over a whole layer with a
// small radius, both passes a tile at a time (KXGaussianTiles.h). Private
// to the library.

#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "KXGaussianBands.h"
#include "KXGaussianRows.h"
#include "KXGaussianTiles.h"
#include "filters/KXPassSchedule.h"

template <>
struct KXPassSchedule<KXKernelPass<KXGaussian1DPremul>> : KXPassScheduleDefaults<KXKernelPass<KXGaussian1DPremul>> {
    using Pass = KXKernelPass<KXGaussian1DPremul>;
    static constexpr bool kRowWaves = true;
    static void RowWave(const Pass& pass, int first, int last) { KXGaussianRows::Wave(pass, first, last); }
    static void Lines(const Pass& pass, int first, int last) { KXGaussianBands::Lines(pass, first, last); }
    static constexpr bool kWholeTiles = true;
    static bool WholeTiles(const Pass& rows) { return KXGaussianTiles::Usable(rows.LineKernel()); }
    static void Tiles(const Pass& rows, const Pass&, const KXImageRGBA32i& source, KXImageRGBA32i& out, int first,
                      int last, KXTileWalker::Run run)
    {
        KXGaussianTiles::Both(source, out, rows.LineKernel(), first, last, run);
    }
};

#endif // KXGAUSSIANSCHEDULE_H
