#ifndef KXTHREETAPTILES_H
#define KXTHREETAPTILES_H

// A wave of lines of a 3-tap kernel pass done in the tiles themselves, for
// the line runner: the pixels each tile part needs from beyond it (the
// column before and after it for rows, the row above and below it for
// columns) are read first, then every tile the lines write is done on its
// own through the tile walker's write, on the global pool, by the kernel's
// Triples from three source lines that lie side by side in memory (for
// rows: a copy of the tile row segment widened by a pixel each side; for
// columns: the row above, a copy of the row itself and the row below). A
// tile shared with another image is computed from its old block into its
// fresh one, so it is copied and filtered in one go; no line buffers, no
// row or column copies through the image's accessors.
//
// The taps are those of the line pass: a source pixel beyond the image is
// the nearest edge pixel, one beyond the area but inside the image is read
// as it is. Private to the library.

#include "KXFilterPasses.h"
#include "KXImage.h"
#include "core/KXTileWalker.h"
#include "KXThreeTapSpans.h"

#include <QRect>

#include <algorithm>
#include <type_traits>
#include <vector>

namespace KXThreeTapTiles {

// Copies what a fresh block `out` keeps of `in`: everything but `part`.
inline void KeepOutside(KXRGBA32i* out, const KXRGBA32i* in, const QRect& part)
{
    constexpr int W = KXImageRGBA32i::kTileWidth;
    std::copy(in, in + part.top() * W, out);
    for (int y = part.top(); y <= part.bottom(); ++y) {
        std::copy(in + y * W, in + y * W + part.left(), out + y * W);
        std::copy(in + y * W + part.right() + 1, in + (y + 1) * W, out + y * W + part.right() + 1);
    }
    std::copy(in + (part.bottom() + 1) * W, in + KXImageRGBA32i::kTilePixels, out + (part.bottom() + 1) * W);
}

// Lines first … last of `pass`.
template <class Pass>
void Wave(const Pass& pass, int first, int last)
{
    using Kernel = typename Pass::KernelType;
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    const KXPassGeometry& g = pass.Geometry();
    KXImageRGBA32i& image = pass.Image();
    const Kernel& kernel = pass.LineKernel();
    const QRect area = g.Area(first, last);
    if (area.isEmpty())
        return;
    const QRect tiles = KXTileWalker::TilesOf<KXImageRGBA32i>(area);
    // Along a line: the area's pixels ds … de; tile parts t0 … t1 of the
    // tile size S (columns for rows, rows for columns).
    const int ds = g.destinationStart, de = ds + g.destinationLength - 1;
    const int S = g.horizontal ? W : H;
    const int t0 = ds / S, t1 = de / S;
    // Across the lines: the wave's `count` lines.
    const size_t count = static_cast<size_t>(area.height() * g.horizontal + area.width() * !g.horizontal);
    const unsigned int bytes = static_cast<unsigned int>(count * sizeof(KXRGBA32i));
    std::vector<KXRGBA32i> before(static_cast<size_t>(t1 - t0 + 1) * count), after(before.size());
    for (int t = t0; t <= t1; ++t) {
        const int from = std::max(ds, t * S), to = std::min(de, t * S + S - 1);
        const int b = std::max(from - 1, 0), a = std::min(to + 1, g.extent - 1);
        KXRGBA32i* beforeT = before.data() + static_cast<size_t>(t - t0) * count;
        KXRGBA32i* afterT = after.data() + static_cast<size_t>(t - t0) * count;
        if (g.horizontal) {
            image.GetColumn(unsigned(b), unsigned(first), beforeT, bytes);
            image.GetColumn(unsigned(a), unsigned(first), afterT, bytes);
        } else {
            image.GetLine(unsigned(b), unsigned(first), beforeT, bytes);
            image.GetLine(unsigned(a), unsigned(first), afterT, bytes);
        }
    }
    const auto loop = kernel.TripleBytes(); // chosen once for the wave
    KXTileWalker::Write(image, tiles, KXTileWalker::Run::Parallel,
                        [&](KXRGBA32i* out, const KXRGBA32i* in, unsigned int column, unsigned int row) {
                            const QRect part = KXTileWalker::PartOfTile<KXImageRGBA32i>(area, column, row);
                            if (out != in)
                                KeepOutside(out, in, part);
                            KXTapPixel<Kernel> plain(kernel);
                            const int t = int(g.horizontal ? column : row) - t0;
                            const KXRGBA32i* beforeT = before.data() + static_cast<size_t>(t) * count;
                            const KXRGBA32i* afterT = after.data() + static_cast<size_t>(t) * count;
                            const int n = part.width();
                            KXRGBA32i line[W + 2];
                            if (g.horizontal) {
                                for (int y = part.top(); y <= part.bottom(); ++y) {
                                    const size_t k = static_cast<size_t>(int(row) * H + y - first);
                                    const KXRGBA32i* p = in + y * W + part.left();
                                    line[0] = beforeT[k];
                                    std::copy(p, p + n, line + 1);
                                    line[n + 1] = afterT[k];
                                    kernel.Triples(line, line + 1, line + 2, out + y * W + part.left(), n, plain, loop);
                                }
                                return;
                            }
                            // Columns: `up` the source row above, `here` a copy of the row.
                            const size_t x = static_cast<size_t>(int(column) * W + part.left() - first);
                            KXRGBA32i other[W];
                            KXRGBA32i* up = line;
                            KXRGBA32i* here = other;
                            std::copy(beforeT + x, beforeT + x + n, up);
                            for (int y = part.top(); y <= part.bottom(); ++y) {
                                const KXRGBA32i* p = in + y * W + part.left();
                                std::copy(p, p + n, here);
                                kernel.Triples(up, here, y < part.bottom() ? p + W : afterT + x,
                                               out + y * W + part.left(), n, plain, loop);
                                std::swap(up, here);
                            }
                        });
}

} // namespace KXThreeTapTiles

#endif // KXTHREETAPTILES_H
