#ifndef KXBOXLINEWIDTH_H
#define KXBOXLINEWIDTH_H

// Which instruction set the alpha-weighted box line finishes its pixels
// with (and the 3-tap spans do their bytes with): the widest the processor
// has, unless a test forces one to compare it with the plain form. Private
// to the library.

namespace KXBoxLineWidth {

enum class Width { Best, Sse2, Avx2, Avx512 };

// Built in and supported by this processor.
bool Available(Width width);
// Box lines use `width` from now on (Best: the run-time choice again). Not
// for use while box lines run on other threads.
void Force(Width width);
// The width in use (never Best): Sse2 without a vector unit to choose.
Width InUse();

// (x * 0x8081) >> 23, the division by 255 the box line uses for its terms.
unsigned int DivideBy255(unsigned int x);
// floor(n / a) for a in 1 … 255 and n <= 255 a, as the box line computes it
// at the width in use (single-precision reciprocal estimate and one
// correction step).
int DivideByAlpha(int n, int a);
// floor(s / d) for d = 2r + 1 < 65536 and s <= 255 d, as the box line
// computes it (single-precision reciprocal and one correction step).
int DivideByCount(int s, int d);

} // namespace KXBoxLineWidth

#endif // KXBOXLINEWIDTH_H
