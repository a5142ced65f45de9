#ifndef KXEFFECTFILTERRUN_H
#define KXEFFECTFILTERRUN_H

// The add noise run with its seed given by the caller: the filter seeds
// with the time, the tests with a number of their own. Private to the
// library.

#include "KXEffectFilters.h"

#include <cstdint>

namespace KXEffectFilterRun {

// What an add noise run shares with its caller: the cancel lock and flag
// and the cache.
struct NoiseShared {
    QReadWriteLock& cancelLock;
    const bool& cancelFlag;
    QReadWriteLock& cacheLock;
    KXImageRGBA32i& uniformNoise;
    KXImageRGBA32i& gaussianNoise;
};

// KXAddNoiseProcessing::run of `filter`, drawing new noise from a
// std::mt19937 seeded with `seed`.
KXImageRGBA32i AddNoise(KXAdjustmentProcessing& filter, const NoiseShared& shared,
                        const KXAddNoiseProcessing::AddNoiseData& data, uint32_t seed);

} // namespace KXEffectFilterRun

#endif // KXEFFECTFILTERRUN_H
