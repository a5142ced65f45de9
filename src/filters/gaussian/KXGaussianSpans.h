#ifndef KXGAUSSIANSPANS_H
#define KXGAUSSIANSPANS_H

// What the Gaussian kernels' per-pixel path (KXFilterKernels.cpp) and their
// spans (KXGaussianSpans.cpp) share: which channels a kernel sums and how a
// pixel is finished from its four sums. Private to the library.

#include "KXPixel.h"

#include <cstdint>

namespace KXGaussianSpans {

// (x + 0.5) truncated, as a byte.
inline uint8_t RoundedByte(double x)
{
    const double y = x + 0.5;
    return static_cast<uint8_t>(y <= 0.0 ? 0 : y >= 255.0 ? 255 : static_cast<int>(y));
}

enum class GaussMode { AllChannels, Premul, AlphaOnly };

// Finishes pixel i from its four sums, as the per-pixel kernels do.
template <GaussMode Mode>
inline KXRGBA32i Finish(const KXRGBA32i& centre, double b, double g, double r, double a)
{
    KXRGBA32i out;
    if (Mode == GaussMode::AllChannels) {
        out.b = RoundedByte(b);
        out.g = RoundedByte(g);
        out.r = RoundedByte(r);
        out.a = RoundedByte(a);
    } else if (Mode == GaussMode::AlphaOnly) {
        out = centre;
        out.a = RoundedByte(a);
    } else {
        const uint8_t alpha = RoundedByte(a);
        if (alpha == 0)
            return KXRGBA32i(0);
        out.a = alpha;
        out.b = RoundedByte(b * 255 / alpha);
        out.g = RoundedByte(g * 255 / alpha);
        out.r = RoundedByte(r * 255 / alpha);
    }
    return out;
}

} // namespace KXGaussianSpans

#endif // KXGAUSSIANSPANS_H
