#ifndef KXGAUSSIANSCHEDULE_H
#define KXGAUSSIANSCHEDULE_H

// The alpha-weighted Gaussian's schedule in the line runner: row waves that
// make no tile private first (KXGaussianRows.h) and column lines in opaque
// bands of sixteen (KXGaussianBands.h). Private to the library.

#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "KXGaussianBands.h"
#include "KXGaussianRows.h"
#include "filters/KXPassSchedule.h"

template <>
struct KXPassSchedule<KXKernelPass<KXGaussian1DPremul>> : KXPassScheduleDefaults<KXKernelPass<KXGaussian1DPremul>> {
    using Pass = KXKernelPass<KXGaussian1DPremul>;
    static constexpr bool kRowWaves = true;
    static void RowWave(const Pass& pass, int first, int last) { KXGaussianRows::Wave(pass, first, last); }
    static void Lines(const Pass& pass, int first, int last) { KXGaussianBands::Lines(pass, first, last); }
};

#endif // KXGAUSSIANSCHEDULE_H
