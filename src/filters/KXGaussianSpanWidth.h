#ifndef KXGAUSSIANSPANWIDTH_H
#define KXGAUSSIANSPANWIDTH_H

// Hooks into the Gaussian kernels' spans for tests, which compare them with
// the per-pixel kernels at each instruction-set level (KXIsa). Private to
// the library.

#include "KXFilterKernels.h"

#include <vector>

namespace KXGaussianSpanWidth {

// Opaque blocks of the alpha-weighted spans (AVX2, AVX-512) sum in float
// and take the exact kernel for a colour whose estimate plus 0.5 lies
// within a bound E of an integer; tests widen E by `margin` (0: as built;
// just below 0.5: nearly every pixel goes to the exact kernel). Not for use
// while spans run on other threads.
void WidenCertifiedMargin(double margin);

// x / 255 as the fused-multiply-add spans compute it (needs the Avx2 level).
double FusedDivideBy255(double x);

// The alpha-weighted span's four sums (b, g, r, a) of destinations
// 0 … count - 1 into sums[4 i + c], for the weights of a Gaussian kernel
// over `source` aligned at `offset`.
void PremulSums(const std::vector<double>& weights, const KXPixelLine& source, int offset, int count,
                double* sums);

// The pixel (0xAARRGGBB) the alpha-weighted spans finish from the sums
// b, g, r, a (the plain build's vectors).
uint32_t FinishAlphaWeighted(double b, double g, double r, double a);

} // namespace KXGaussianSpanWidth

#endif // KXGAUSSIANSPANWIDTH_H
