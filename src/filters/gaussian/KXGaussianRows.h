#ifndef KXGAUSSIANROWS_H
#define KXGAUSSIANROWS_H

// The row pass of the alpha-weighted Gaussian a wave at a time, without
// making the wave's tiles private first: a tile shared with another image
// is only read, and the tile the wave writes gets a fresh block that is
// filled, not first copied and then overwritten (only a tile the rows cover
// in part keeps its other pixels through a copy). With AVX2 or AVX-512
// (TileWave) each tile is filled sixteen rows at once from the old pixels;
// elsewhere (Wave) every row is summed into a row of the wave's buffer,
// which then goes into the tiles in one walk. The same line kernel on the same source
// lines: the pixels are those of the pass's worker. Private to the library.

#include "KXFilterKernels.h"
#include "KXFilterPasses.h"

#include <type_traits>

namespace KXGaussianRows {

// Rows first … last of the horizontal pass `pass`, spread over the global
// pool, as its workers do them.
void Wave(const KXKernelPass<KXGaussian1DPremul>& pass, int first, int last);

// The same a tile at a time (KXGaussianRowBands.cpp): each tile the rows
// cover gets a fresh block, filled sixteen rows at once from the old
// pixels, opaque bands summed as the column bands are. False (nothing
// done) where the kernel's float sums are not used (below AVX2).
bool TileWave(const KXKernelPass<KXGaussian1DPremul>& pass, int first, int last);

} // namespace KXGaussianRows

#endif // KXGAUSSIANROWS_H
