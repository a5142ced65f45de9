#ifndef KXDETAILFILTERRUN_H
#define KXDETAILFILTERRUN_H

// The detail filters' runs with the line runner's scheme chosen by the
// caller: the filters use the concurrent one, the tests compare it with the
// plain one. Private to the library.

#include "KXDetailFilters.h"
#include "filters/KXPassSchedules.h"

namespace KXDetailFilterRun {

// What a high pass run shares with its caller: the cancel lock and flag and
// the cache.
struct HighPassShared {
    QReadWriteLock& cancelLock;
    const bool& cancelFlag;
    QReadWriteLock& cacheLock;
    double& cachedSigma;
    KXImageRGBA32i& cachedImage;
};

// KXSharpenProcessing::run of `filter`.
KXImageRGBA32i Sharpen(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                       const KXSharpenProcessing::SharpenData& data, KXLineRunner::Scheme scheme);
// KXSmoothenProcessing::run of `filter`.
KXImageRGBA32i Smoothen(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                        const KXSmoothenProcessing::SmoothenData& data, KXLineRunner::Scheme scheme);
// KXHighPassProcessing::run of `filter`.
KXImageRGBA32i HighPass(KXAdjustmentProcessing& filter, const HighPassShared& shared,
                        const KXHighPassProcessing::HighPassData& data, KXLineRunner::Scheme scheme);

} // namespace KXDetailFilterRun

#endif // KXDETAILFILTERRUN_H
