#ifndef KXTRANSFORMIMAGECOLORS_H
#define KXTRANSFORMIMAGECOLORS_H

// Colour transforms over whole images: where pixels are visited, apart from
// what is done to one pixel.
//
// Writers (WriteTiles, TransformPixels) change an image in place. They take
// every fresh block they need before the first pixel changes, so when the
// tile manager runs out the image keeps all its old pixels; a tile shared
// with another image is never changed, the writer gives this image a
// private copy (copy on write), made in the same pass that transforms it.
//
// Readers (VisitPixels, VisitPixelsWithCoordinates) run a functor over the
// pixels of a rectangle without detaching anything; they log any exception
// and return false.

#include "KXImage.h"
#include "KXLog.h"
#include "KXPixel.h"

#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

namespace KXTileWalk {

// rect ∩ bounds, the same rectangle QRect's operator& gives (one given with
// its corners swapped counts between them), but worked out in 64 bits: a
// caller's rectangle may reach across the whole int range, where QRect's
// own arithmetic would overflow. `bounds` is an image's Rect() or tile grid.
inline QRect Clip(const QRect& rect, const QRect& bounds)
{
    // The first and last column (or row) a pair of edges covers.
    const auto span = [](int first, int last, int64_t& low, int64_t& high) {
        low = high = first;
        if (int64_t(last) - first + 1 < 0)
            low = last;
        else
            high = last;
    };
    const auto isNull = [](const QRect& r) {
        return int64_t(r.right()) == int64_t(r.left()) - 1 && int64_t(r.bottom()) == int64_t(r.top()) - 1;
    };
    if (isNull(rect) || isNull(bounds))
        return QRect();
    int64_t l1, r1, t1, b1, l2, r2, t2, b2;
    span(rect.left(), rect.right(), l1, r1);
    span(bounds.left(), bounds.right(), l2, r2);
    span(rect.top(), rect.bottom(), t1, b1);
    span(bounds.top(), bounds.bottom(), t2, b2);
    if (l1 > r2 || l2 > r1 || t1 > b2 || t2 > b1)
        return QRect();
    return QRect(QPoint(int(std::max(l1, l2)), int(std::max(t1, t2))),
                 QPoint(int(std::min(r1, r2)), int(std::min(b1, b2))));
}

// Calls fn(KXRGBA32i* out, const KXRGBA32i* in, unsigned column, unsigned row)
// once for every tile whose grid position lies in `tiles` (tile coordinates),
// tile rows top to bottom, left to right within a row. `in` holds the tile's
// pixels (margins included). For a tile this image alone holds, `out` is the
// same block; for a shared tile `out` is a fresh block (contents undefined)
// that replaces the tile in this image once fn returns. fn must fill every
// pixel of `out` it wants kept.
template <class Fn>
void WriteTiles(KXImage<KXRGBA32i, 128, 128>& image, const QRect& tiles, Fn&& fn)
{
    const QRect grid = Clip(tiles, QRect(0, 0, static_cast<int>(image.TileColumns()),
                                         static_cast<int>(image.TileRows())));
    if (grid.isEmpty())
        return;
    // Every block is taken first; on exhaustion the ones taken go back.
    size_t sharedTiles = 0;
    for (int row = grid.top(); row <= grid.bottom(); ++row)
        for (int column = grid.left(); column <= grid.right(); ++column) {
            const KXTilePointer* slot = image.Tile(column, row);
            sharedTiles += slot->data() && slot->constData()->ref.loadRelaxed() != 1;
        }
    std::vector<KXTilePointer> fresh;
    fresh.reserve(sharedTiles);
    for (size_t i = 0; i < sharedTiles; ++i)
        fresh.emplace_back(KXImageTile::Create());
    size_t next = 0;
    for (int row = grid.top(); row <= grid.bottom(); ++row)
        for (int column = grid.left(); column <= grid.right(); ++column) {
            KXTilePointer* slot = image.Tile(column, row);
            if (!slot->data())
                continue;
            const bool shared = slot->constData()->ref.loadRelaxed() != 1;
            if (!shared || next == fresh.size()) {
                if (shared) // more sharing than counted: copy the usual way
                    image.Detach(static_cast<unsigned int>(column), static_cast<unsigned int>(row));
                const KXTileAccess<KXRGBA32i> pixels((*slot)->block, true);
                fn(pixels.Data(), static_cast<const KXRGBA32i*>(pixels.Data()), column, row);
            } else {
                KXTilePointer& copy = fresh[next++];
                {
                    const KXTileAccess<const KXRGBA32i> in((*slot)->block, false);
                    const KXTileAccess<KXRGBA32i> out(copy->block, true);
                    fn(out.Data(), in.Data(), column, row);
                }
                slot->swap(copy);
                copy.reset(); // this image's reference to the old tile
            }
        }
}

// Every tile of the image.
template <class Fn>
void WriteTiles(KXImage<KXRGBA32i, 128, 128>& image, Fn&& fn)
{
    WriteTiles(image, QRect(0, 0, static_cast<int>(image.TileColumns()), static_cast<int>(image.TileRows())),
               std::forward<Fn>(fn));
}

// The tiles a pixel rectangle touches, in tile coordinates.
inline QRect TilesOf(const QRect& pixels)
{
    if (pixels.isEmpty())
        return QRect();
    return QRect(QPoint(pixels.left() / 128, pixels.top() / 128),
                 QPoint(pixels.right() / 128, pixels.bottom() / 128));
}

// The part of tile (column, row) that lies in `pixels`, in the tile's own
// coordinates (0 … 127).
inline QRect PartOfTile(const QRect& pixels, unsigned int column, unsigned int row)
{
    const QRect tile(static_cast<int>(column) * 128, static_cast<int>(row) * 128, 128, 128);
    return (pixels & tile).translated(-tile.topLeft());
}

// Whether a rule also offers ApplyRun(out, in, count): the same result for
// a whole run of pixels, computed faster (the table adjustments do).
template <class F, class = void>
struct HasApplyRun : std::false_type {};
template <class F>
struct HasApplyRun<F, std::void_t<decltype(std::declval<const F&>().ApplyRun(
                          static_cast<KXRGBA32i*>(nullptr), static_cast<const KXRGBA32i*>(nullptr), 0u))>>
    : std::true_type {};

// The pixel rule applied to a run of pixels, out[i] = rule(in[i]); `out` may
// be `in`.
template <class F>
inline void ApplyToRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count, const F& f)
{
    if constexpr (HasApplyRun<F>::value) {
        f.ApplyRun(out, in, count);
    } else {
        for (unsigned int i = 0; i < count; ++i) {
            KXRGBA32i p = in[i];
            f(p);
            out[i] = p;
        }
    }
}

} // namespace KXTileWalk

// Applies the per-pixel rule f(KXRGBA32i&) to every pixel of every tile,
// margins included (they carry no meaning).
template <class F>
void TransformPixels(KXImage<KXRGBA32i, 128, 128>& image, const F& f)
{
    KXTileWalk::WriteTiles(image, [&f](KXRGBA32i* out, const KXRGBA32i* in, unsigned int, unsigned int) {
        KXTileWalk::ApplyToRun(out, in, 128 * 128, f);
    });
}

// Applies f only to the pixels of `rect` ∩ the image; only the tiles it
// touches are written.
template <class F>
void TransformPixels(KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, const F& f)
{
    const QRect area = KXTileWalk::Clip(rect, image.Rect());
    KXTileWalk::WriteTiles(image, KXTileWalk::TilesOf(area),
                           [&](KXRGBA32i* out, const KXRGBA32i* in, unsigned int column, unsigned int row) {
                               if (out != in)
                                   KXCopyMemory(out, in, 128 * 128 * sizeof(KXRGBA32i));
                               const QRect part = KXTileWalk::PartOfTile(area, column, row);
                               for (int y = part.top(); y <= part.bottom(); ++y) {
                                   KXRGBA32i* line = out + y * 128 + part.left();
                                   KXTileWalk::ApplyToRun(line, line, static_cast<unsigned int>(part.width()), f);
                               }
                           });
}

// Applies f to every pixel of a QImage; an image that is not
// QImage::Format_ARGB32 is converted to it first (Qt::NoOpaqueDetection).
template <class F>
void TransformPixels(QImage& image, const F& f)
{
    if (image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_ARGB32, Qt::NoOpaqueDetection);
    const unsigned int width = static_cast<unsigned int>(image.width());
    for (int y = 0; y < image.height(); ++y) {
        KXRGBA32i* line = reinterpret_cast<KXRGBA32i*>(image.scanLine(y));
        KXTileWalk::ApplyToRun(line, line, width, f);
    }
}

namespace KXTileWalk {

// The read-only walk behind the two visitors: for every tile that `rect`
// (clipped to the image) touches, f(tilePixels, part, x0, y0) with `part` in
// tile coordinates and (x0, y0) the tile's origin in the image.
template <class Fn>
void ReadTiles(const KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, Fn&& fn)
{
    const QRect area = Clip(rect, image.Rect());
    if (area.isEmpty())
        return;
    for (int row = area.top() / 128; row <= area.bottom() / 128; ++row)
        for (int column = area.left() / 128; column <= area.right() / 128; ++column) {
            const KXTilePointer* slot = image.Tile(static_cast<unsigned int>(column), static_cast<unsigned int>(row));
            if (!slot || !slot->data())
                continue;
            const KXTileAccess<const KXRGBA32i> pixels((*slot)->block, false);
            fn(pixels.Data(), PartOfTile(area, static_cast<unsigned int>(column), static_cast<unsigned int>(row)),
               column * 128, row * 128);
        }
}

} // namespace KXTileWalk

// Calls f(const KXRGBA32i&) for every pixel of `rect` ∩ the image, tile by
// tile (tile rows top to bottom, then tile columns), row by row within a
// tile. Returns false, after one log line, if anything throws.
template <class F>
bool VisitPixels(const KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, F& f)
{
    return KXLog::GuardAll(
        KXLog::Site{__DATE__, __TIME__, 851, "include/KXTransformImageColors"},
        [&] {
            KXTileWalk::ReadTiles(image, rect, [&f](const KXRGBA32i* pixels, const QRect& part, int, int) {
                for (int y = part.top(); y <= part.bottom(); ++y) {
                    const KXRGBA32i* line = pixels + y * 128;
                    for (int x = part.left(); x <= part.right(); ++x)
                        f(line[x]);
                }
            });
            return true;
        },
        false);
}

// The same, calling f(int x, int y, const KXRGBA32i*) with the pixel's image
// coordinates.
template <class F>
bool VisitPixelsWithCoordinates(const KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, F& f)
{
    return KXLog::GuardAll(
        KXLog::Site{__DATE__, __TIME__, 930, "include/KXTransformImageColors"},
        [&] {
            KXTileWalk::ReadTiles(image, rect, [&f](const KXRGBA32i* pixels, const QRect& part, int x0, int y0) {
                for (int y = part.top(); y <= part.bottom(); ++y) {
                    const KXRGBA32i* line = pixels + y * 128;
                    for (int x = part.left(); x <= part.right(); ++x)
                        f(x0 + x, y0 + y, line + x);
                }
            });
            return true;
        },
        false);
}

#endif // KXTRANSFORMIMAGECOLORS_H
