#ifndef KXTILEWALKER_H
#define KXTILEWALKER_H

// The one door to an image's tiles: where tiles are visited, apart from
// what is done to them. Private to the library.
//
// ForEach visits grid positions, serially (rows top to bottom, left to
// right) or on Qt's global pool when the work on one tile depends on no
// other; a task touches only its own tile. Write builds on it: it takes
// every fresh block a rectangle needs before the first pixel changes (so
// when the tile manager runs out the image keeps all its old pixels), gives
// a tile shared with another image a private copy in the same pass that
// changes it (copy on write), and never changes a shared tile. Read never
// detaches anything.

#include "KXImage.h"
#include "KXParallel.h"

#include <QRect>
#include <QThreadPool>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace KXTileWalker {

enum class Run { Serial, Parallel };

// The tile grid of an image, in tile coordinates.
template <class Image>
QRect Grid(const Image& image)
{
    return QRect(0, 0, static_cast<int>(image.TileColumns()), static_cast<int>(image.TileRows()));
}

// rect ∩ bounds, the same rectangle QRect's operator& gives (one given with
// its corners swapped counts between them), but worked out in 64 bits: a
// caller's rectangle may reach across the whole int range, where QRect's
// own arithmetic would overflow.
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

// Calls fn(column, row) once for every position of `tiles` (tile
// coordinates, already inside the grid).
template <class Fn>
void ForEach(const QRect& tiles, Run run, Fn&& fn)
{
    if (tiles.isEmpty())
        return;
    const int width = tiles.width();
    const int count = width * tiles.height();
    // One tile, or a pool of one thread: on the calling thread, which a
    // dispatch would only leave waiting.
    if (run == Run::Serial || count == 1 || QThreadPool::globalInstance()->maxThreadCount() <= 1) {
        for (int row = tiles.top(); row <= tiles.bottom(); ++row)
            for (int column = tiles.left(); column <= tiles.right(); ++column)
                fn(static_cast<unsigned int>(column), static_cast<unsigned int>(row));
        return;
    }
    std::vector<int> indices = KXParallel::Indices(count);
    auto task = [&](int index) {
        fn(static_cast<unsigned int>(tiles.left() + index % width), static_cast<unsigned int>(tiles.top() + index / width));
    };
    KXParallel::BlockingMap(indices, task);
}

// Calls fn(const T* pixels, column, row) for every tile of `tiles` ∩ the
// grid that holds a block; nothing is detached.
template <class Image, class Fn>
void Read(const Image& image, const QRect& tiles, Run run, Fn&& fn)
{
    using T = typename Image::Pixel;
    ForEach(Clip(tiles, Grid(image)), run, [&](unsigned int column, unsigned int row) {
        const KXTilePointer* slot = image.Tile(column, row);
        if (!slot || !slot->data())
            return;
        const KXTileAccess<const T> pixels((*slot)->block, false);
        fn(pixels.Data(), column, row);
    });
}

// Calls fn(T* out, const T* in, column, row) once for every tile of `tiles`
// ∩ the grid. `in` holds the tile's pixels (margins included). For a tile
// this image alone holds, `out` is the same block; for a shared tile `out`
// is a fresh block (contents undefined) that replaces the tile in this
// image once fn returns. fn must fill every pixel of `out` it wants kept.
template <class Image, class Fn>
void Write(Image& image, const QRect& tiles, Run run, Fn&& fn)
{
    using T = typename Image::Pixel;
    const QRect grid = Clip(tiles, Grid(image));
    if (grid.isEmpty())
        return;
    // Every block is taken first; on exhaustion the ones taken go back. Each
    // shared tile is told which of them is its copy.
    std::vector<int> copyOf(static_cast<size_t>(grid.width()) * grid.height(), -1);
    int sharedTiles = 0;
    for (size_t i = 0; i < copyOf.size(); ++i) {
        const KXTilePointer* slot = image.Tile(grid.left() + static_cast<int>(i % grid.width()),
                                               grid.top() + static_cast<int>(i / grid.width()));
        if (slot->data() && slot->constData()->ref.loadRelaxed() != 1)
            copyOf[i] = sharedTiles++;
    }
    std::vector<KXTilePointer> fresh;
    fresh.reserve(static_cast<size_t>(sharedTiles));
    for (int i = 0; i < sharedTiles; ++i)
        fresh.emplace_back(KXImageTile::Create());

    ForEach(grid, run, [&](unsigned int column, unsigned int row) {
        KXTilePointer* slot = image.Tile(column, row);
        if (!slot->data())
            return;
        const int copy = copyOf[(row - grid.top()) * grid.width() + (column - grid.left())];
        if (copy < 0) {
            if (slot->constData()->ref.loadRelaxed() != 1) // shared since counted: copy the usual way
                image.Detach(column, row);
            const KXTileAccess<T> pixels((*slot)->block, true);
            fn(pixels.Data(), static_cast<const T*>(pixels.Data()), column, row);
            return;
        }
        KXTilePointer& target = fresh[static_cast<size_t>(copy)];
        {
            const KXTileAccess<const T> in((*slot)->block, false);
            const KXTileAccess<T> out(target->block, true);
            fn(out.Data(), in.Data(), column, row);
        }
        slot->swap(target);
        target.reset(); // this image's reference to the old tile
    });
}

// The tiles that the pixel rectangle `area` (inside the image) touches, in
// tile coordinates.
template <class Image>
QRect TilesOf(const QRect& area)
{
    if (area.isEmpty())
        return QRect();
    constexpr int w = Image::kTileWidth, h = Image::kTileHeight;
    return QRect(QPoint(area.left() / w, area.top() / h), QPoint(area.right() / w, area.bottom() / h));
}

// The part of tile (column, row) that lies in `area`, in the tile's own
// coordinates.
template <class Image>
QRect PartOfTile(const QRect& area, unsigned int column, unsigned int row)
{
    constexpr int w = Image::kTileWidth, h = Image::kTileHeight;
    const QRect tile(static_cast<int>(column) * w, static_cast<int>(row) * h, w, h);
    return (area & tile).translated(-tile.topLeft());
}

// Read over the pixels of `rect` ∩ the image: fn(const T* pixels, part,
// column, row) for every tile holding a block that the area touches, `part`
// the area's share of the tile in tile coordinates.
template <class Image, class Fn>
void ReadArea(const Image& image, const QRect& rect, Run run, Fn&& fn)
{
    using T = typename Image::Pixel;
    const QRect area = Clip(rect, image.Rect());
    Read(image, TilesOf<Image>(area), run, [&](const T* pixels, unsigned int column, unsigned int row) {
        fn(pixels, PartOfTile<Image>(area, column, row), column, row);
    });
}

// Write over the pixels of `rect` ∩ the image: fn(T* pixels, part, column,
// row) changes the tile in place, inside `part` only; a fresh copy of a
// shared tile holds the old pixels before fn sees it.
template <class Image, class Fn>
void WriteArea(Image& image, const QRect& rect, Run run, Fn&& fn)
{
    using T = typename Image::Pixel;
    const QRect area = Clip(rect, image.Rect());
    Write(image, TilesOf<Image>(area), run, [&](T* out, const T* in, unsigned int column, unsigned int row) {
        if (out != in)
            KXCopyMemory(out, in, Image::kTilePixels * sizeof(T));
        fn(out, PartOfTile<Image>(area, column, row), column, row);
    });
}

// Write over the pixels of `rect` ∩ the image where fn(T* pixels, part,
// column, row) sets every pixel of `part`: as WriteArea, but a shared tile
// that the area covers whole gets a fresh block without the copy first.
template <class Image, class Fn>
void OverwriteArea(Image& image, const QRect& rect, Run run, Fn&& fn)
{
    using T = typename Image::Pixel;
    const QRect area = Clip(rect, image.Rect());
    const QRect whole(0, 0, Image::kTileWidth, Image::kTileHeight);
    Write(image, TilesOf<Image>(area), run, [&](T* out, const T* in, unsigned int column, unsigned int row) {
        const QRect part = PartOfTile<Image>(area, column, row);
        if (out != in && part != whole)
            KXCopyMemory(out, in, Image::kTilePixels * sizeof(T));
        fn(out, part, column, row);
    });
}

// Calls fn(T* out, column, row) for every tile of a new image; fn fills the
// whole tile (margins included), so the blank block the tile shared is not
// copied first.
template <class Image, class Fn>
void Fill(Image& image, Run run, Fn&& fn)
{
    using T = typename Image::Pixel;
    ForEach(Grid(image), run, [&](unsigned int column, unsigned int row) {
        const KXTileAccess<T> out = image.OverwriteTile(column, row);
        fn(out.Data(), column, row);
    });
}

} // namespace KXTileWalker

#endif // KXTILEWALKER_H
