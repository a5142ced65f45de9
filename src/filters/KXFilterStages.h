#ifndef KXFILTERSTAGES_H
#define KXFILTERSTAGES_H

// Stages shared by the detail and effect filters, run through a filter's
// KXLineRunner (one cancel check and one progress count a step). Private to
// the library.
//
// - RunTiles: one step per tile that an area touches (tile rows top to
//   bottom, left to right); the step changes the area's pixels of its tile
//   through the tile walker, the rows of the tile spread over the pool.
// - BlendRows: one step per row; a row of a source image is blended into
//   the same row of the target by a row function, through a selection or
//   not; MergeRows does it with a KXBlend operator, pixel by pixel.

#include "KXBlend.h"
#include "KXFilterKernels.h"
#include "KXImage.h"
#include "KXParallel.h"
#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"
#include "filters/KXLineRunner.h"

#include <QPoint>
#include <QRect>
#include <QString>

#include <cmath>
#include <vector>

namespace KXFilterStages {

using Image = KXImageRGBA32i;

// A sigma whose Gaussian weights are finite numbers and whose kernel the
// Gaussian kernels build; anything else is logged as `what`'s.
inline bool AcceptsSigma(double sigma, const char* logFile, const char* what)
{
    const double pi = 3.14159265358979323846;
    if (std::isnormal(2.0 * pi * sigma * sigma) && std::trunc(sigma * 3.0) <= KXGaussianKernelBase::kMaxRadius)
        return true;
    KX_LOG_REPORT(logFile, QStringLiteral("%1 sigma %2 refused.").arg(QLatin1String(what)).arg(sigma));
    return false;
}

// The tiles that `area` ∩ the image touches, in tile coordinates.
inline QRect TilesOfArea(const Image& image, const QRect& area)
{
    return KXTileWalker::TilesOf<Image>(KXTileWalker::Clip(area, image.Rect()));
}

inline int TileCount(const Image& image, const QRect& area)
{
    const QRect tiles = TilesOfArea(image, area);
    return tiles.isEmpty() ? 0 : tiles.width() * tiles.height();
}

// The tile stage: rule(x, y, pixel) for every pixel of `area` ∩ the image
// (image coordinates), a tile a step. needed(part) (the tile's share of the
// area in image coordinates) may say that a tile has nothing to change: its
// step then leaves the tile alone (and shared). False when cancelled.
template <class Rule, class Needed>
bool RunTiles(KXLineRunner& runner, Image& image, const QRect& area, const Rule& rule, const Needed& needed)
{
    const QRect clipped = KXTileWalker::Clip(area, image.Rect());
    const QRect tiles = KXTileWalker::TilesOf<Image>(clipped);
    if (tiles.isEmpty())
        return runner.RunRows(0, [](int) {});
    return runner.RunRows(tiles.width() * tiles.height(), [&](int step) {
        const int column = tiles.left() + step % tiles.width(), row = tiles.top() + step / tiles.width();
        const QPoint origin(column * Image::kTileWidth, row * Image::kTileHeight);
        const QRect part = clipped & QRect(origin, QSize(Image::kTileWidth, Image::kTileHeight));
        if (!needed(part))
            return;
        KXTileWalker::WriteArea(image, part, KXTileWalker::Run::Serial,
                                [&](KXRGBA32i* pixels, const QRect& inTile, unsigned int, unsigned int) {
                                    std::vector<int> rows = KXParallel::Indices(inTile.height());
                                    KXParallel::BlockingMap(rows, [&](int r) {
                                        const int y = inTile.top() + r;
                                        KXRGBA32i* line = pixels + y * Image::kTileWidth;
                                        for (int x = inTile.left(); x <= inTile.right(); ++x)
                                            rule(origin.x() + x, origin.y() + y, line[x]);
                                    });
                                });
    });
}

template <class Rule>
bool RunTiles(KXLineRunner& runner, Image& image, const QRect& area, const Rule& rule)
{
    return RunTiles(runner, image, area, rule, [](const QRect&) { return true; });
}

// The row stage: for every row y of `rows` (inside the target, inside the
// source moved by `sourceAt` and, with a selection, inside the selection
// moved by `selectionAt`, read when BySelection), the row segment of
// `target` is blended by blendRow(s, d, m, width): s the source pixels from
// (x, y) - sourceAt, d the target's from (x, y), m the selection's from (x,
// y) - selectionAt (null without a selection). Rows run at once (each
// writes only its own row). False when cancelled.
template <bool BySelection, class BlendRow>
bool BlendRows(KXLineRunner& runner, const Image& source, const QPoint& sourceAt, Image& target,
               const Image* selection, const QPoint& selectionAt, const QRect& rows, const BlendRow& blendRow)
{
    if (rows.isEmpty())
        return runner.RunRows(0, [](int) {});
    const int width = rows.width();
    const unsigned int bytes = static_cast<unsigned int>(width) * sizeof(KXRGBA32i);
    const unsigned int x = static_cast<unsigned int>(rows.left());
    return runner.RunRows(rows.height(), [&](int row) {
        const int y = rows.top() + row;
        std::vector<KXRGBA32i> s(static_cast<size_t>(width)), d(s.size()), m(BySelection ? s.size() : 0);
        source.GetLine(static_cast<unsigned int>(y - sourceAt.y()), x - static_cast<unsigned int>(sourceAt.x()),
                       s.data(), bytes);
        target.GetLine(static_cast<unsigned int>(y), x, d.data(), bytes);
        if constexpr (BySelection)
            selection->GetLine(static_cast<unsigned int>(y - selectionAt.y()),
                               x - static_cast<unsigned int>(selectionAt.x()), m.data(), bytes);
        blendRow(s.data(), d.data(), BySelection ? m.data() : nullptr, width);
        target.SetLine(static_cast<unsigned int>(y), x, d.data(), bytes);
    }, target, rows);
}

// BlendRows with a KXBlend operator `mode`, pixel by pixel: the source pixel
// over the target pixel, weighted by the selection pixel when BySelection
// (KXBlend::KXSelectionBlender, else KXBlend::KXBlender).
template <bool BySelection, class Mode>
bool MergeRows(KXLineRunner& runner, const Image& source, const QPoint& sourceAt, Image& target,
               const Image* selection, const QPoint& selectionAt, const QRect& rows, const Mode& mode)
{
    return BlendRows<BySelection>(runner, source, sourceAt, target, selection, selectionAt, rows,
                                  [&mode](const KXRGBA32i* s, KXRGBA32i* d, const KXRGBA32i* m, int width) {
                                      for (int i = 0; i < width; ++i) {
                                          if constexpr (BySelection)
                                              mode(s[i], d[i], m[i]);
                                          else
                                              mode(s[i], d[i]);
                                      }
                                  });
}

} // namespace KXFilterStages

#endif // KXFILTERSTAGES_H
