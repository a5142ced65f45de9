#ifndef KXGAUSSIANSPANWIDTH_H
#define KXGAUSSIANSPANWIDTH_H

// Which instruction set the Gaussian kernels' spans use: the widest the
// processor has, unless a test forces one to compare it with the per-pixel
// kernels. Private to the library.

namespace KXGaussianSpanWidth {

enum class Width { Best, Plain, Avx2, Avx512 };

// Built in and supported by this processor.
bool Available(Width width);
// Spans use `width` from now on (Best: the run-time choice again). Not for
// use while spans run on other threads.
void Force(Width width);

// x / 255 as the fused-multiply-add spans compute it (needs Avx2 available).
double FusedDivideBy255(double x);

} // namespace KXGaussianSpanWidth

#endif // KXGAUSSIANSPANWIDTH_H
