#ifndef KXGAUSSIANTILES_H
#define KXGAUSSIANTILES_H

// Both passes of the alpha-weighted Gaussian over a whole image, a tile at
// a time: the rows a tile's columns need (its own and r more above and
// below) are summed along the rows into float planes that stay in the
// cache, and the columns are summed from those planes straight into the
// tile. No intermediate image is written or read again, and neither pass
// turns or converts its pixels between bytes and floats more than once.
// Both sums are certified as the spans' are (KXGaussianCertified.h), the
// row pass's values before they are used, so every byte is the one the row
// pass and then the column pass give. Tiles with translucent pixels within
// reach are weighted by alpha as the passes weigh them (and their row
// pass's pixels go between the passes as words). With AVX2 or AVX-512
// (KXIsa); tiles that read a tile without a block by the passes (Both).
// Private to the library.

#include "KXFilterKernels.h"
#include "KXImage.h"
#include "core/KXTileWalker.h"

#include <QRect>

#include <vector>

namespace KXGaussianTiles {

// The largest radius done here: the row sums of the r rows above and below
// a tile are made again for the tiles next to it, 2r/128 more row work.
constexpr int kMaxRadius = 8;

// Tests: with `only` set, tiles with a translucent pixel in reach are left
// to the caller, as tiles without a block are.
void OpaqueOnly(bool only);

// Whether Rows does the tiles of `kernel` at the level in use.
bool Usable(const KXGaussian1DPremul& kernel);

// Image rows first … last (whole tile rows, up to the last row) of both
// passes of `kernel` over all of `source` into `out` (a copy of it, the same
// size): each tile is written whose pixels within r of it all lie in tiles
// that hold a block; the tile rectangles (in pixels, inside first … last)
// of the others are returned, their pixels undefined. `run`: the tiles on the
// calling thread or spread over the pool.
std::vector<QRect> Rows(const KXImageRGBA32i& source, KXImageRGBA32i& out, const KXGaussian1DPremul& kernel, int first,
                        int last, KXTileWalker::Run run);

// Rows first … last of both passes into `out` as Rows writes them, and the
// tiles Rows leaves by the passes themselves, over a copy of the source:
// the row pass over those tiles' columns and the r rows above and below
// them, the column pass over the tiles, whose tiles `out` then shares.
void Both(const KXImageRGBA32i& source, KXImageRGBA32i& out, const KXGaussian1DPremul& kernel, int first, int last,
          KXTileWalker::Run run);

} // namespace KXGaussianTiles

#endif // KXGAUSSIANTILES_H
