#ifndef KXGAUSSIANSPANWIDTH_H
#define KXGAUSSIANSPANWIDTH_H

// Which instruction set the Gaussian kernels' spans use: the widest the
// processor has, unless a test forces one to compare it with the per-pixel
// kernels. Private to the library.

#include "KXFilterKernels.h"

#include <vector>

namespace KXGaussianSpanWidth {

enum class Width { Best, Plain, Avx2, Avx512 };

// Built in and supported by this processor.
bool Available(Width width);
// The width spans use now (never Best).
Width Current();
// Spans use `width` from now on (Best: the run-time choice again). Not for
// use while spans run on other threads.
void Force(Width width);

// Opaque blocks of the alpha-weighted spans (AVX2, AVX-512) sum in float
// and take the exact kernel for a colour whose estimate plus 0.5 lies
// within a bound E of an integer; tests widen E by `margin` (0: as built;
// just below 0.5: nearly every pixel goes to the exact kernel). Not for use
// while spans run on other threads.
void WidenCertifiedMargin(double margin);

// x / 255 as the fused-multiply-add spans compute it (needs Avx2 available).
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
