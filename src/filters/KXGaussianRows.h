#ifndef KXGAUSSIANROWS_H
#define KXGAUSSIANROWS_H

// The row pass of the alpha-weighted Gaussian a wave at a time, without
// making the wave's tiles private first: every row is read from the tiles
// as they are (a tile shared with another image is only read), summed into
// a row of the wave's buffer, and the buffer then goes into the tiles in
// one walk, a shared tile getting a fresh block that is filled, not first
// copied and then overwritten (only a tile the rows cover in part keeps its
// other pixels through a copy). The same line kernel on the same source
// lines: the pixels are those of the pass's worker. Private to the library.

#include "KXFilterKernels.h"
#include "KXFilterPasses.h"

#include <type_traits>

namespace KXGaussianRows {

// Passes whose horizontal waves go through Wave.
template <class Pass>
struct Handles : std::false_type {
};
template <>
struct Handles<KXKernelPass<KXGaussian1DPremul>> : std::true_type {
};

// Rows first … last of the horizontal pass `pass`, spread over the global
// pool, as its workers do them.
void Wave(const KXKernelPass<KXGaussian1DPremul>& pass, int first, int last);

} // namespace KXGaussianRows

#endif // KXGAUSSIANROWS_H
