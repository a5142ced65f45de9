#ifndef KXBOXLINEWIDTH_H
#define KXBOXLINEWIDTH_H

// The alpha-weighted box line's divisions one value at a time, as its
// vector forms compute them at the instruction-set level in use (KXIsa), so
// that tests can check them against the exact quotients. Private to the
// library.

namespace KXBoxLineWidth {

// (x * 0x8081) >> 23, the division by 255 the box line uses for its terms.
unsigned int DivideBy255(unsigned int x);
// floor(n / a) for a in 1 … 255 and n <= 255 a, as the box line computes it
// at the width in use (single-precision reciprocal estimate and one
// correction step).
int DivideByAlpha(int n, int a);
// floor(s / d) for d = 2r + 1 < 65536 and s <= 255 d, as the box line
// computes it (single-precision reciprocal and one correction step).
int DivideByCount(int s, int d);
// floor(s / d) as the AVX2 box line computes the averages of opaque
// groups with 16-bit lanes, or -1 for a count it does not do so.
int DivideByCount16(int s, int d);

} // namespace KXBoxLineWidth

#endif // KXBOXLINEWIDTH_H
