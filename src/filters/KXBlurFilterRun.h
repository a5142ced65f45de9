#ifndef KXBLURFILTERRUN_H
#define KXBLURFILTERRUN_H

// The blur filters' runs with the line runner's scheme chosen by the caller:
// the filters use the concurrent one, the tests compare it with the plain
// one. Private to the library.

#include "KXBlurFilters.h"
#include "filters/KXPassSchedules.h"

namespace KXBlurFilterRun {

// KXBoxBlurProcessing::run of `filter`.
KXImageRGBA32i Box(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                   const KXBoxBlurProcessing::BlurData& data, KXLineRunner::Scheme scheme);
// KXGaussianBlurProcessing::run of `filter`.
KXImageRGBA32i Gaussian(KXAdjustmentProcessing& filter, QReadWriteLock& cancelLock, const bool& cancelFlag,
                        const KXGaussianBlurProcessing::BlurData& data, KXLineRunner::Scheme scheme);

} // namespace KXBlurFilterRun

#endif // KXBLURFILTERRUN_H
