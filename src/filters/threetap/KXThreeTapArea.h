#ifndef KXTHREETAPAREA_H
#define KXTHREETAPAREA_H

// The area case of a 3-tap kernel's separable run, its three stages done
// tile by tile in one go: for every tile of the merged rows, the row pass's
// pixels are worked out three source rows at a time (the rows of the tile
// part and one above and below it), the column pass's pixels of a row from
// those three, and the row is mixed into the tile through the selection at
// once. No filtered copy of the layer, no second pass over it, no merge
// copy: the tiles are read once and written once.
//
// The pixels are those of the stages one after another: the row pass reads
// the layer as it was (the nearest edge pixel beyond the image, the pixel
// itself beyond the area), the column pass reads the row pass's pixels one
// row above and below (the nearest edge row beyond the image; the row pass
// covers the area grown by one, so every row it reads is filtered), the
// merge mixes with the layer's pixel. Rows are always read from `source`,
// the layer as the run got it, so a tile that a wave before already mixed
// is no source. Private to the library.

#include "KXImage.h"
#include "compositing/KXPixelRows.h"
#include "core/KXTileWalker.h"
#include "filters/KXLineRunner.h"
#include "filters/KXPassSchedule.h"
#include "KXThreeTapSpans.h"
#include "KXThreeTapTiles.h"

#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace KXThreeTapArea {

// N pixels of scratch, left as they are (the pixel's constructor would
// clear them).
template <int N>
union alignas(64) Scratch {
    Scratch() {}
    KXRGBA32i at[N];
};

// Which tiles of a selection are opaque over their share of `rect` (inside
// the selection), found once a block of rows: a tile's share is scanned in
// place, and again only when its tile (a block that tiles may share, as a
// filled image's do) or its share differs from the tile before.
class OpaqueTiles {
public:
    OpaqueTiles(const KXImageRGBA32i& selection, const QRect& rect)
        : m_tiles(KXTileWalker::TilesOf<KXImageRGBA32i>(rect)),
          m_opaque(size_t(m_tiles.width()) * size_t(m_tiles.height()), false)
    {
        constexpr int W = KXImageRGBA32i::kTileWidth;
        const void* lastTile = nullptr;
        QRect lastPart;
        bool lastOpaque = false;
        KXTileWalker::ReadArea(
            selection, rect, KXTileWalker::Run::Serial,
            [&](const KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
                const void* tile = selection.Tile(column, row)->data();
                if (tile != lastTile || part != lastPart) {
                    uint32_t all = 0xFFFFFFFFu;
                    for (int y = part.top(); y <= part.bottom() && (all >> 24) == 255; ++y)
                        for (int x = part.left(); x <= part.right(); ++x)
                            all &= pixels[y * W + x].value;
                    lastTile = tile;
                    lastPart = part;
                    lastOpaque = (all >> 24) == 255;
                }
                m_opaque[Index(column, row)] = lastOpaque;
            });
    }

    // Whether every pixel of `rect` (inside the one given) is opaque.
    bool All(const QRect& rect) const
    {
        bool all = true;
        KXTileWalker::ForEach(KXTileWalker::TilesOf<KXImageRGBA32i>(rect), KXTileWalker::Run::Serial,
                              [&](unsigned int column, unsigned int row) { all = all && m_opaque[Index(column, row)]; });
        return all;
    }

private:
    size_t Index(unsigned int column, unsigned int row) const
    {
        return size_t(int(row) - m_tiles.top()) * size_t(m_tiles.width()) + size_t(int(column) - m_tiles.left());
    }

    QRect m_tiles;
    std::vector<bool> m_opaque;
};

// Part `part` (tile coordinates) of tile (column, row) of the image, whose
// pixels `in` are written into `out` (the same block for a tile the image
// alone holds): mixed toward the kernel's rows and columns of `source`
// through `selection` at (x, y) - offset; out keeps in's pixels elsewhere.
// `layer` is the source's tile (column, row); `bytes` and `rowForm` what
// kernel.TripleBytes() and kernel.RowBytes() gave; `selected` whether the
// selection is opaque over the whole part.
template <class Kernel>
void TilePart(const Kernel& kernel, KXThreeTapSpans::BytesFunction bytes, KXThreeTapSpans::RowFunction rowForm,
              const KXImageRGBA32i& source, const KXRGBA32i* layer, KXRGBA32i* out, const KXRGBA32i* in,
              const QRect& part, unsigned int column, unsigned int row, const KXImageRGBA32i& selection,
              const QPoint& offset, bool selected)
{
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    if (out != in)
        KXThreeTapTiles::KeepOutside(out, in, part);
    const QPoint origin(int(column) * W, int(row) * H);
    const int n = part.width();
    const int x0 = origin.x() + part.left(), x1 = x0 + n - 1;
    const int y0 = origin.y() + part.top(), y1 = origin.y() + part.bottom();
    const int width = int(source.Width()), height = int(source.Height());
    // The row pass's rows first … last, and its taps beyond the part's ends.
    const int first = std::max(y0 - 1, 0), last = std::min(y1 + 1, height - 1);
    Scratch<H + 2> beforeColumn, afterColumn;
    KXRGBA32i* before = beforeColumn.at;
    KXRGBA32i* after = afterColumn.at;
    const unsigned int ends = unsigned(last - first + 1) * sizeof(KXRGBA32i);
    source.GetColumn(unsigned(std::max(x0 - 1, 0)), unsigned(first), before, ends);
    source.GetColumn(unsigned(std::min(x1 + 1, width - 1)), unsigned(first), after, ends);

    KXTapPixel<Kernel> plain(kernel);
    Scratch<W> rowScratch[3], filteredRow, maskRow;
    Scratch<W + 2> lineRow;
    KXRGBA32i* const rows[3] = {rowScratch[0].at, rowScratch[1].at, rowScratch[2].at};
    KXRGBA32i* filtered = filteredRow.at;
    KXRGBA32i* mask = maskRow.at;
    KXRGBA32i* line = lineRow.at;
    // The row pass's row y into rows[y % 3]: a row of the tile where it
    // lies (by the row form, or the inner pixels' taps its own and the
    // ends' put beside them), others through a copy.
    const auto rowPass = [&](int y) {
        KXRGBA32i* to = rows[y % 3];
        const KXRGBA32i b = before[y - first], a = after[y - first];
        if (y >= origin.y() && y < origin.y() + H) {
            const KXRGBA32i* p = layer + (y - origin.y()) * W + part.left();
            if (rowForm && kernel.Row(p, b, a, to, n, rowForm))
                return;
            if (n >= 2) {
                const KXRGBA32i head[3] = {b, p[0], p[1]}, tail[3] = {p[n - 2], p[n - 1], a};
                kernel.Triples(head, head + 1, head + 2, to, 1, plain, bytes);
                kernel.Triples(p, p + 1, p + 2, to + 1, n - 2, plain, bytes);
                kernel.Triples(tail, tail + 1, tail + 2, to + n - 1, 1, plain, bytes);
                return;
            }
        }
        line[0] = b;
        source.GetLine(unsigned(y), unsigned(x0), line + 1, unsigned(n) * sizeof(KXRGBA32i));
        line[n + 1] = a;
        kernel.Triples(line, line + 1, line + 2, to, n, plain, bytes);
    };
    for (int y = first; y < y0; ++y)
        rowPass(y);
    rowPass(y0);
    const unsigned int rowBytes = unsigned(n) * sizeof(KXRGBA32i);
    for (int y = y0; y <= y1; ++y) {
        if (y + 1 <= last)
            rowPass(y + 1);
        const KXRGBA32i* up = rows[std::max(y - 1, 0) % 3];
        const KXRGBA32i* down = rows[std::min(y + 1, height - 1) % 3];
        KXRGBA32i* d = out + (y - origin.y()) * W + part.left();
        if (selected) { // the columns straight into the tile
            kernel.Triples(up, rows[y % 3], down, d, n, plain, bytes);
            continue;
        }
        selection.GetLine(unsigned(y - offset.y()), unsigned(x0 - offset.x()), mask, rowBytes);
        uint32_t all = 0xFFFFFFFFu;
        for (int j = 0; j < n; ++j)
            all &= mask[j].value;
        if ((all >> 24) == 255) { // fully selected: the columns straight into the tile
            kernel.Triples(up, rows[y % 3], down, d, n, plain, bytes);
            continue;
        }
        if (out != in)
            std::copy(in + (d - out), in + (d - out) + n, d);
        kernel.Triples(up, rows[y % 3], down, filtered, n, plain, bytes);
        KXPixelRows::MixRow(filtered, d, mask, n);
    }
}

// The merge stage of the area run over `rows` (inside the image, the area
// and the selection moved by `offset`): one step per row, each block of rows
// done tile by tile as described above.
template <class Kernel>
void Merge(KXLineRunner& runner, const Kernel& kernel, const KXImageRGBA32i& source, KXImageRGBA32i& image,
           const KXImageRGBA32i& selection, const QRect& rows, const QPoint& offset)
{
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    const auto bytes = kernel.TripleBytes(); // chosen once for the run
    const auto rowForm = kernel.RowBytes();
    runner.RunRowBlocks(rows, &image, [&](const QRect& block, KXTileWalker::Run run) {
        const QRect area = KXTileWalker::Clip(block, image.Rect());
        const OpaqueTiles opaque(selection, area.translated(-offset));
        KXTileWalker::Write(
            image, KXTileWalker::TilesOf<KXImageRGBA32i>(area), run,
            [&](KXRGBA32i* out, const KXRGBA32i* in, unsigned int column, unsigned int row) {
                const QRect part = KXTileWalker::PartOfTile<KXImageRGBA32i>(area, column, row);
                const QPoint origin(int(column) * W, int(row) * H);
                bool done = false;
                KXTileWalker::ReadArea(source, part.translated(origin), KXTileWalker::Run::Serial,
                                       [&](const KXRGBA32i* layer, const QRect&, unsigned int, unsigned int) {
                                           TilePart(kernel, bytes, rowForm, source, layer, out, in, part,
                                                    column, row, selection, offset,
                                                    opaque.All(part.translated(origin - offset)));
                                           done = true;
                                       });
                if (!done && out != in) // no source block: the tile keeps its pixels
                    KXCopyMemory(out, in, KXImageRGBA32i::kTilePixels * sizeof(KXRGBA32i));
            });
    });
}

} // namespace KXThreeTapArea

// The schedule of a pass whose kernel has Triples: batches tile by tile
// (KXThreeTapTiles.h), and the area case in the merge's steps (above).
template <class Pass>
struct KXPassSchedule<Pass, std::enable_if_t<Pass::KernelType::kTapTriples>> : KXPassScheduleDefaults<Pass> {
    static constexpr bool kTileWaves = true;
    static constexpr bool kAreaMerge = true;
    static void TileWave(const Pass& pass, int first, int last) { KXThreeTapTiles::Wave(pass, first, last); }
    static void Merge(KXLineRunner& runner, const Pass& rows, const KXImageRGBA32i& source, KXImageRGBA32i& image,
                      const KXImageRGBA32i& selection, const QRect& area, const QPoint& offset)
    {
        KXThreeTapArea::Merge(runner, rows.LineKernel(), source, image, selection, area, offset);
    }
};

#endif // KXTHREETAPAREA_H
