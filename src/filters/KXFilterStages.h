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
//   not, in the tiles a block of rows at a time; MergeRows does it with a
//   KXBlend operator, pixel by pixel.

#include "KXBlend.h"
#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "KXImage.h"
#include "KXParallel.h"
#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"
#include "filters/KXPassSchedules.h"

#include <QPoint>
#include <QRect>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace KXFilterStages {

using Image = KXImageRGBA32i;

// The widest kernel radius a filter runs on `image`: twice the picture's
// larger side, and never below 1024 (so that a small picture keeps every
// ordinary value). A kernel reaching further adds work that grows with the
// parameter and not with the picture.
inline double MaxRadiusFor(int64_t width, int64_t height)
{
    return std::max(1024.0, 2.0 * double(std::max(width, height)));
}
inline double MaxRadiusFor(const Image& image)
{
    return MaxRadiusFor(image.Width(), image.Height());
}

// A radius the box passes take and within the picture of `width` x
// `height`; anything else is logged to `logFile`.
inline bool AcceptsBoxRadius(int radius, int64_t width, int64_t height, const char* logFile)
{
    if (!KXBoxPassAcceptsRadius(radius))
        return false;
    if (radius <= MaxRadiusFor(width, height))
        return true;
    KX_LOG_REPORT(logFile, QStringLiteral("Box radius %1 refused: it must lie in 0 ... %2")
                               .arg(radius)
                               .arg(MaxRadiusFor(width, height)));
    return false;
}

// `v` held to the int range (a coordinate beyond it lies outside every
// image).
inline int HeldToInt(int64_t v)
{
    return int(std::min<int64_t>(std::max<int64_t>(v, std::numeric_limits<int>::min()),
                                 std::numeric_limits<int>::max()));
}

// Whether `radius` lies in 0 ... MaxRadiusFor(image) (NaN does not).
inline bool WithinPicture(double radius, const Image& image)
{
    return radius >= 0.0 && radius <= MaxRadiusFor(image);
}

// A sigma above 0 whose Gaussian weights are finite numbers and whose
// kernel the Gaussian kernels build, of a radius within the picture;
// anything else is logged as `what`'s.
inline bool AcceptsSigma(double sigma, const Image& image, const char* logFile, const char* what)
{
    const double pi = 3.14159265358979323846;
    if (sigma > 0.0 && std::isnormal(2.0 * pi * sigma * sigma) &&
        std::trunc(sigma * 3.0) <= KXGaussianKernelBase::kMaxRadius && WithinPicture(std::trunc(sigma * 3.0), image))
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

// True when `image` holds every pixel of `rect` and all are opaque (alpha
// 255): weighting by those pixels' alpha changes nothing.
inline bool OpaqueOver(const Image& image, const QRect& rect)
{
    if (rect.isEmpty() || !image.Rect().contains(rect))
        return false;
    int64_t seen = 0;
    uint32_t all = 0xFFFFFFFFu;
    KXTileWalker::ReadArea(image, rect, KXTileWalker::Run::Serial,
                           [&](const KXRGBA32i* pixels, const QRect& part, unsigned int, unsigned int) {
                               seen += int64_t(part.width()) * part.height();
                               for (int y = part.top(); y <= part.bottom(); ++y) {
                                   const KXRGBA32i* line = pixels + y * Image::kTileWidth;
                                   for (int x = part.left(); x <= part.right(); ++x)
                                       all &= line[x].value;
                               }
                           });
    return seen == int64_t(rect.width()) * rect.height() && (all >> 24) == 0xFFu;
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
// y) - selectionAt (null without a selection). The row functions work on
// the pixels where they lie: a row is handed over in segments that lie in
// one tile of each image (pixel by pixel functions only), the target's
// tiles changed in place (a shared one copied first), the source's and the
// selection's read without copies; a block of rows at a time through the
// runner (one step a row). The source and the selection are not the target
// (they may share its tiles). False when cancelled. BlendBlock does the
// rows of one block (inside `rows`) without the runner.
template <bool BySelection, class BlendRow>
void BlendBlock(const Image& source, const QPoint& sourceAt, Image& target, const Image* selection,
                const QPoint& selectionAt, const QRect& block, KXTileWalker::Run run, const BlendRow& blendRow)
{
    constexpr int W = Image::kTileWidth, H = Image::kTileHeight;
    // fn(pixels, piece) for every piece of `rect` (target coordinates) that
    // lies in one tile of `image` placed at `at`: pixels is the image's
    // pixel at piece.topLeft(), the piece's rows W pixels apart.
    const auto pieces = [](const Image& image, const QPoint& at, const QRect& rect, const auto& fn) {
        KXTileWalker::ReadArea(image, rect.translated(-at), KXTileWalker::Run::Serial,
                               [&](const KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
                                   fn(pixels + part.top() * W + part.left(),
                                      part.translated(QPoint(int(column) * W, int(row) * H) + at));
                               });
    };
    const auto blendTile = [&](KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
        const QPoint origin(int(column) * W, int(row) * H);
        const auto blend = [&](const KXRGBA32i* s, const KXRGBA32i* m, const QRect& piece) {
            KXRGBA32i* d = pixels + (piece.top() - origin.y()) * W + (piece.left() - origin.x());
            for (int y = 0; y < piece.height(); ++y)
                blendRow(s + y * W, d + y * W, m ? m + y * W : nullptr, piece.width());
        };
        pieces(source, sourceAt, part.translated(origin), [&](const KXRGBA32i* s, const QRect& piece) {
            if constexpr (BySelection) {
                pieces(*selection, selectionAt, piece, [&](const KXRGBA32i* m, const QRect& inner) {
                    blend(s + (inner.top() - piece.top()) * W + (inner.left() - piece.left()), m, inner);
                });
            } else {
                blend(s, nullptr, piece);
            }
        });
    };
    KXTileWalker::WriteArea(target, block, run, blendTile);
}

template <bool BySelection, class BlendRow>
bool BlendRows(KXLineRunner& runner, const Image& source, const QPoint& sourceAt, Image& target,
               const Image* selection, const QPoint& selectionAt, const QRect& rows, const BlendRow& blendRow)
{
    if (rows.isEmpty())
        return runner.RunRows(0, [](int) {});
    return runner.RunRowBlocks(rows, &target, [&](const QRect& block, KXTileWalker::Run run) {
        BlendBlock<BySelection>(source, sourceAt, target, selection, selectionAt, block, run, blendRow);
    });
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
