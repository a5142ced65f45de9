#ifndef KXIMAGE_H
#define KXIMAGE_H
/// \file
/// The tiled, copy-on-write image. Every tile is one 65,536-byte block of the
/// tile manager; copying an image shares its tiles, and a tile is duplicated
/// the first time one of its sharers writes to it.

#include "KXLog.h"
#include "KXPixel.h"
#include "VQCMSProfile.h"
#include "VQEXIFElement.h"
#include "VQTileManager64.h"

#include <QExplicitlySharedDataPointer>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSharedData>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

/// memcpy kept out of line: compilers expand an inlined memcpy of a few
/// hundred bytes into `rep movs`, several times slower than the C library's
/// vectorised copy that this always reaches.
KXCORE_EXPORT void KXCopyMemory(void* to, const void* from, size_t bytes);

/// The largest number of tiles one image may have.
constexpr uint64_t kMaxImageTiles = 1000000;

/// One shared tile: a block of the tile manager and its reference count.
/// The block goes back to the manager when the last reference goes.
class KXImageTile : public QSharedData {
public:
    explicit KXImageTile(void* tileBlock) : block(tileBlock) {} ///< Takes over a held block.
    ~KXImageTile()
    {
        if (block)
            VQTileManager64::Require()->CleanUpTile(block);
    }
    KXImageTile(const KXImageTile&) = delete;
    KXImageTile& operator=(const KXImageTile&) = delete;

    /// A record holding a fresh block (its contents are whatever it last held).
    static KXImageTile* Create()
    {
        void* fresh = VQTileManager64::Require()->MakeTile();
        try {
            return new KXImageTile(fresh);
        } catch (...) {
            VQTileManager64::Require()->CleanUpTile(fresh);
            throw;
        }
    }

    void* block; ///< The tile manager's handle of the block.
};

using KXTilePointer = QExplicitlySharedDataPointer<KXImageTile>; ///< A counted reference to a tile.

/// One access to a block's memory: GetMemory on construction, FreeMemory on
/// destruction. T is const for read access.
template <class T>
class KXTileAccess {
public:
    /// Opens `block` for reading or, with `forWriting`, for writing.
    KXTileAccess(void* block, bool forWriting)
        : m_block(block),
          m_data(static_cast<T*>(VQTileManager64::Require()->GetMemory(block, forWriting)))
    {
    }
    ~KXTileAccess() { VQTileManager64::Require()->FreeMemory(m_block); }
    KXTileAccess(const KXTileAccess&) = delete;
    KXTileAccess& operator=(const KXTileAccess&) = delete;
    /// Takes over the other's access, which then holds none.
    KXTileAccess(KXTileAccess&& other) noexcept : m_block(other.m_block), m_data(other.m_data)
    {
        other.m_block = nullptr;
        other.m_data = nullptr;
    }

    T* Data() const { return m_data; }                          ///< The first pixel of the tile.
    T& operator[](size_t index) const { return m_data[index]; } ///< Pixel `index` of the tile, row by row.

private:
    void* m_block;
    T* m_data;
};

template <class T, unsigned int TileWidth, unsigned int TileHeight>
class KXImage;

template <class T, unsigned int TileWidth, unsigned int TileHeight>
void CopyTiles(KXImage<T, TileWidth, TileHeight>& destination,
               const KXImage<T, TileWidth, TileHeight>& source, const QRect& sourceTiles,
               const QPoint& destinationTile);

/// The tiled, copy-on-write image of T pixels in tiles of TileWidth ×
/// TileHeight pixels, one tile-manager block each (see KXImageRGBA32i).
template <class T, unsigned int TileWidth, unsigned int TileHeight>
class KXImage {
    std::vector<KXTilePointer> m_tiles; // row-major over the tile grid
    uint32_t m_columns = 0;
    uint32_t m_rows = 0;
    uint32_t m_width = 0;
    uint32_t m_height = 0;

public:
    using Pixel = T;                                                     ///< The pixel type.
    static constexpr unsigned int kTileWidth = TileWidth;                ///< Tile width in pixels.
    static constexpr unsigned int kTileHeight = TileHeight;              ///< Tile height in pixels.
    static constexpr unsigned int kTilePixels = TileWidth * TileHeight;  ///< Pixels in one tile.
    static constexpr unsigned int kTileRowBytes = TileWidth * sizeof(T); ///< Bytes in one tile row.
    static_assert(kTilePixels * sizeof(T) == VQTileManager64::kBlockSize,
                  "a tile is exactly one tile-manager block");
    static_assert((TileWidth & (TileWidth - 1)) == 0 && (TileHeight & (TileHeight - 1)) == 0,
                  "tile sizes are powers of two");

    /// A transparent black image; holds at most four blocks however large.
    /// Throws KXBadAlloc when the image would need more than kMaxImageTiles.
    explicit KXImage(unsigned int width = 0, unsigned int height = 0)
    {
        const uint64_t columns = (static_cast<uint64_t>(width) + TileWidth - 1) / TileWidth;
        const uint64_t rows = (static_cast<uint64_t>(height) + TileHeight - 1) / TileHeight;
        if (columns * rows > kMaxImageTiles)
            throw KXBadAlloc();
        m_columns = static_cast<uint32_t>(columns);
        m_rows = static_cast<uint32_t>(rows);
        m_width = width;
        m_height = height;
        if (columns * rows != 0) {
            m_tiles.resize(static_cast<size_t>(columns * rows));
            Fill(T());
        }
    }
    /// Shares every tile and copies the metadata.
    KXImage(const KXImage& other)
        : m_tiles(other.m_tiles),
          m_columns(other.m_columns),
          m_rows(other.m_rows),
          m_width(other.m_width),
          m_height(other.m_height),
          profile(other.profile),
          extra1(other.extra1),
          extra2(other.extra2),
          exif(other.exif)
    {
    }

    KXImage(KXImage&& other) noexcept : KXImage(0, 0) { Swap(other); } ///< Leaves `other` empty.
    /// Shares every tile of `other` and copies its metadata.
    KXImage& operator=(const KXImage& other)
    {
        if (this != &other) {
            m_tiles = other.m_tiles;
            m_width = other.m_width;
            m_height = other.m_height;
            m_columns = other.m_columns;
            m_rows = other.m_rows;
            extra1 = other.extra1;
            extra2 = other.extra2;
            profile = other.profile;
            exif = other.exif;
        }
        return *this;
    }
    /// Takes `other`'s tiles and metadata; `other` is left empty.
    KXImage& operator=(KXImage&& other) noexcept
    {
        if (this != &other) {
            KXImage gone(std::move(other));
            Swap(gone);
        }
        return *this;
    }
    /// Exchanges tiles and metadata with `other`; nothing is copied.
    void Swap(KXImage& other) noexcept
    {
        m_tiles.swap(other.m_tiles);
        std::swap(m_columns, other.m_columns);
        std::swap(m_rows, other.m_rows);
        std::swap(m_width, other.m_width);
        std::swap(m_height, other.m_height);
        std::swap(profile, other.profile);
        std::swap(extra1, other.extra1);
        std::swap(extra2, other.extra2);
        exif.swap(other.exif);
    }

    unsigned int Width() const { return m_width; }        ///< Width in pixels.
    unsigned int Height() const { return m_height; }      ///< Height in pixels.
    unsigned int TileColumns() const { return m_columns; } ///< Columns of the tile grid.
    unsigned int TileRows() const { return m_rows; }      ///< Rows of the tile grid.
    unsigned int TileCount() const { return static_cast<unsigned int>(m_tiles.size()); } ///< Tiles in the grid.
    QRect Rect() const { return QRect(0, 0, static_cast<int>(m_width), static_cast<int>(m_height)); } ///< From (0, 0).

    /// The tile slot at a grid position, or null outside the grid.
    KXTilePointer* Tile(unsigned int column, unsigned int row)
    {
        return (row < m_rows && column < m_columns) ? &m_tiles[row * m_columns + column] : nullptr;
    }
    /// The tile slot at a grid position, or null outside the grid.
    const KXTilePointer* Tile(unsigned int column, unsigned int row) const
    {
        return (row < m_rows && column < m_columns) ? &m_tiles[row * m_columns + column] : nullptr;
    }

    /// Makes the tile at a grid position exclusive to this image (copy on
    /// write); does nothing when it already is. On exhaustion the tile
    /// manager's KXBadAlloc passes through and the image is unchanged.
    void Detach(unsigned int column, unsigned int row) { DetachIndex(row * m_columns + column); }

    /// Read access to a tile's pixels; the tile is not detached.
    KXTileAccess<const T> ReadTile(unsigned int column, unsigned int row) const
    {
        return KXTileAccess<const T>(m_tiles[row * m_columns + column]->block, false);
    }
    /// Write access to a tile's pixels; the tile is detached first.
    KXTileAccess<T> WriteTile(unsigned int column, unsigned int row)
    {
        const unsigned int index = row * m_columns + column;
        DetachIndex(index);
        return KXTileAccess<T>(m_tiles[index]->block, true);
    }

    /// Write access to a tile whose every pixel the caller is about to
    /// replace: a shared tile gets a fresh block without its old contents
    /// being copied (they are undefined until written).
    KXTileAccess<T> OverwriteTile(unsigned int column, unsigned int row)
    {
        KXTilePointer& slot = m_tiles[row * m_columns + column];
        if (slot->ref.loadRelaxed() != 1) {
            KXTilePointer fresh(KXImageTile::Create());
            slot.swap(fresh);
        }
        return KXTileAccess<T>(slot->block, true);
    }
    /// The pixel at (x, y); throws std::out_of_range outside the image.
    T GetColor(int x, int y) const
    {
        if (x < 0 || y < 0 || static_cast<unsigned int>(x) >= m_width ||
            static_cast<unsigned int>(y) >= m_height)
            throw std::out_of_range("KXImage::GetColor");
        const unsigned int ux = static_cast<unsigned int>(x), uy = static_cast<unsigned int>(y);
        KXTileAccess<const T> tile(m_tiles[(uy / TileHeight) * m_columns + ux / TileWidth]->block, false);
        return tile[(uy % TileHeight) * TileWidth + ux % TileWidth];
    }
    /// Sets the pixel at (x, y), detaching its tile; throws std::out_of_range outside the image.
    void SetColor(int x, int y, const T& color)
    {
        if (x < 0 || y < 0 || static_cast<unsigned int>(x) >= m_width ||
            static_cast<unsigned int>(y) >= m_height)
            throw std::out_of_range("KXImage::SetColor");
        const unsigned int ux = static_cast<unsigned int>(x), uy = static_cast<unsigned int>(y);
        const unsigned int index = (uy / TileHeight) * m_columns + ux / TileWidth;
        DetachIndex(index);
        KXTileAccess<T> tile(m_tiles[index]->block, true);
        tile[(uy % TileHeight) * TileWidth + ux % TileWidth] = color;
    }

    /// Row y into `buffer`, at most one tile row per tile column, until `bytes`
    /// bytes are copied or the columns run out (the last tile's margin counts).
    bool GetLine(unsigned int y, void* buffer, unsigned int bytes) const
    {
        if (y >= m_height)
            return false;
        CopyRow<false>(y, 0, static_cast<char*>(buffer), bytes);
        return true;
    }
    /// Row y from `buffer`, the reverse of GetLine; false when y is outside the image.
    bool SetLine(unsigned int y, const void* buffer, unsigned int bytes)
    {
        if (y >= m_height)
            return false;
        CopyRow<true>(y, 0, const_cast<char*>(static_cast<const char*>(buffer)), bytes);
        return true;
    }

    /// Row segment from column x: first the rest of x's tile row, then whole
    /// tile rows of the following columns.
    bool GetLine(unsigned int y, unsigned int x, void* buffer, unsigned int bytes) const
    {
        if (y >= m_height)
            return false;
        if (x / TileWidth >= m_columns)
            return true;
        CopyRow<false>(y, x, static_cast<char*>(buffer), bytes);
        return true;
    }
    /// Row segment from column x, from `buffer`; false when (x, y) is outside the image.
    bool SetLine(unsigned int y, unsigned int x, const void* buffer, unsigned int bytes)
    {
        if (y >= m_height || x >= m_width)
            return false;
        CopyRow<true>(y, x, const_cast<char*>(static_cast<const char*>(buffer)), bytes);
        return true;
    }

    /// Column segment from (x, y) downwards, bytes / sizeof(T) pixels at most.
    bool GetColumn(unsigned int x, unsigned int y, void* buffer, unsigned int bytes) const
    {
        if (x >= m_width || y >= m_height)
            return false;
        CopyColumn<false>(x, y, static_cast<T*>(buffer), bytes / sizeof(T));
        return true;
    }
    /// Column segment from (x, y) downwards, from `buffer`; false when (x, y) is outside the image.
    bool SetColumn(unsigned int x, unsigned int y, const void* buffer, unsigned int bytes)
    {
        if (x >= m_width || y >= m_height)
            return false;
        CopyColumn<true>(x, y, const_cast<T*>(static_cast<const T*>(buffer)), bytes / sizeof(T));
        return true;
    }

    /// Every pixel of the image becomes `value` and every margin pixel 0; the
    /// image then holds at most four blocks. All new tiles are made before any
    /// slot changes, so on exhaustion the image keeps what it had.
    void Fill(const T& value)
    {
        if (m_tiles.empty())
            return;
        const unsigned int restX = m_width % TileWidth;
        const unsigned int restY = m_height % TileHeight;
        const KXTilePointer whole = MakeFilledTile(value, TileWidth, TileHeight);
        const KXTilePointer right = restX ? MakeFilledTile(value, restX, TileHeight) : KXTilePointer();
        const KXTilePointer bottom = restY ? MakeFilledTile(value, TileWidth, restY) : KXTilePointer();
        const KXTilePointer corner = (restX && restY) ? MakeFilledTile(value, restX, restY) : KXTilePointer();

        std::fill(m_tiles.begin(), m_tiles.end(), whole);
        if (right)
            for (unsigned int row = 0; row < m_rows; ++row)
                m_tiles[row * m_columns + m_columns - 1] = right;
        if (bottom)
            std::fill(m_tiles.end() - m_columns, m_tiles.end(), bottom);
        if (corner)
            m_tiles.back() = corner;
    }

    VQCMSProfile profile;      ///< The image's colour profile; empty by default.
    int extra1 = 0;            ///< A free attribute for the host; the library only copies it.
    int extra2 = 0;            ///< A free attribute for the host; the library only copies it.
    QList<VQEXIFElement> exif; ///< The image's EXIF elements.

private:
    friend void CopyTiles<T, TileWidth, TileHeight>(KXImage&, const KXImage&, const QRect&,
                                                    const QPoint&);
    void DetachIndex(unsigned int index)
    {
        KXTilePointer& slot = m_tiles[index];
        if (slot->ref.loadRelaxed() == 1)
            return;
        KXTilePointer fresh(KXImageTile::Create());
        {
            KXTileAccess<const char> from(slot->block, false);
            KXTileAccess<char> to(fresh->block, true);
            KXCopyMemory(to.Data(), from.Data(), VQTileManager64::kBlockSize);
        }
        slot.swap(fresh);
    }
    static KXTilePointer MakeFilledTile(const T& value, unsigned int validWidth, unsigned int validHeight)
    {
        KXTilePointer tile(KXImageTile::Create());
        KXTileAccess<T> pixels(tile->block, true);
        T* row = pixels.Data();
        std::fill(row, row + validWidth, value);
        std::fill(row + validWidth, row + TileWidth, T());
        for (unsigned int y = 1; y < validHeight; ++y)
            std::memcpy(row + y * TileWidth, row, kTileRowBytes);
        std::memset(static_cast<void*>(row + validHeight * TileWidth), 0,
                    (TileHeight - validHeight) * kTileRowBytes);
        return tile;
    }
    static void CopyBytes(char* to, const char* from, unsigned int bytes)
    {
        KXCopyMemory(to, from, bytes);
    }
    // Copies row y from column x between the image and `buffer` (Write: into
    // the image), detaching each tile written.
    template <bool Write>
    void CopyRow(unsigned int y, unsigned int x, char* buffer, unsigned int bytes)
    {
        const unsigned int rowOffset = (y % TileHeight) * kTileRowBytes;
        unsigned int index = (y / TileHeight) * m_columns + x / TileWidth;
        const unsigned int end = (y / TileHeight + 1) * m_columns;
        unsigned int offset = (x % TileWidth) * sizeof(T);
        while (bytes && index < end) {
            const unsigned int chunk = std::min(kTileRowBytes - offset, bytes);
            if (Write) {
                DetachIndex(index);
                KXTileAccess<char> tile(m_tiles[index]->block, true);
                CopyBytes(tile.Data() + rowOffset + offset, buffer, chunk);
            } else {
                KXTileAccess<const char> tile(m_tiles[index]->block, false);
                CopyBytes(buffer, tile.Data() + rowOffset + offset, chunk);
            }
            buffer += chunk;
            bytes -= chunk;
            offset = 0;
            ++index;
        }
    }
    template <bool Write>
    void CopyRow(unsigned int y, unsigned int x, char* buffer, unsigned int bytes) const
    {
        static_assert(!Write, "writing needs a non-const image");
        const_cast<KXImage*>(this)->template CopyRow<false>(y, x, buffer, bytes);
    }

    template <bool Write>
    void CopyColumn(unsigned int x, unsigned int y, T* buffer, unsigned int count)
    {
        const unsigned int column = x / TileWidth;
        const unsigned int inTileX = x % TileWidth;
        unsigned int row = y / TileHeight;
        unsigned int inTileY = y % TileHeight;
        while (count && row < m_rows) {
            const unsigned int chunk = std::min(TileHeight - inTileY, count);
            const unsigned int index = row * m_columns + column;
            if (Write) {
                DetachIndex(index);
                KXTileAccess<T> tile(m_tiles[index]->block, true);
                T* p = tile.Data() + inTileY * TileWidth + inTileX;
                for (unsigned int i = 0; i < chunk; ++i, p += TileWidth)
                    *p = buffer[i];
            } else {
                KXTileAccess<const T> tile(m_tiles[index]->block, false);
                const T* p = tile.Data() + inTileY * TileWidth + inTileX;
                for (unsigned int i = 0; i < chunk; ++i, p += TileWidth)
                    buffer[i] = *p;
            }
            buffer += chunk;
            count -= chunk;
            inTileY = 0;
            ++row;
        }
    }
    template <bool Write>
    void CopyColumn(unsigned int x, unsigned int y, T* buffer, unsigned int count) const
    {
        static_assert(!Write, "writing needs a non-const image");
        const_cast<KXImage*>(this)->template CopyColumn<false>(x, y, buffer, count);
    }
};

/// Makes the source tiles of `sourceTiles` (tile coordinates) appear in the
/// destination from `destinationTile` on, by sharing them; no pixel is copied.
/// Parts falling outside either grid are skipped. The rectangle and the
/// position may lie anywhere in the int range: source tile (column, row)
/// goes to (column, row) + destinationTile - sourceTiles.topLeft(), worked
/// out in 64 bits.
template <class T, unsigned int TileWidth, unsigned int TileHeight>
void CopyTiles(KXImage<T, TileWidth, TileHeight>& destination,
               const KXImage<T, TileWidth, TileHeight>& source, const QRect& sourceTiles,
               const QPoint& destinationTile)
{
    KXLog::GuardStd(KXLog::Site{__DATE__, __TIME__, __LINE__, "include/KXImage"}, [&] {
        const int64_t dx = int64_t(destinationTile.x()) - sourceTiles.left();
        const int64_t dy = int64_t(destinationTile.y()) - sourceTiles.top();
        // The source tiles that are in sourceTiles, in the source grid and,
        // moved, in the destination grid.
        const int64_t left = std::max<int64_t>({sourceTiles.left(), 0, -dx});
        const int64_t top = std::max<int64_t>({sourceTiles.top(), 0, -dy});
        const int64_t right = std::min<int64_t>({sourceTiles.right(), int64_t(source.m_columns) - 1,
                                                 int64_t(destination.m_columns) - 1 - dx});
        const int64_t bottom = std::min<int64_t>({sourceTiles.bottom(), int64_t(source.m_rows) - 1,
                                                  int64_t(destination.m_rows) - 1 - dy});
        for (int64_t row = top; row <= bottom; ++row)
            for (int64_t column = left; column <= right; ++column) {
                const KXTilePointer& from = source.m_tiles[size_t(row * source.m_columns + column)];
                KXTilePointer& to =
                    destination.m_tiles[size_t((row + dy) * destination.m_columns + column + dx)];
                if (to != from)
                    to = from;
            }
    });
}

// The five forms the library uses.
using KXImageRGBA32i = KXImage<KXRGBA32i, 128, 128>; ///< The working image (128 × 128 tiles).
using KXImageRGBA64i = KXImage<KXRGBA64i, 128, 64>;  ///< 16-bit integer channels, for conversion.
using KXImageRGBA64f = KXImage<KXRGBA64f, 128, 64>;  ///< Half-float channels, for conversion.
using KXImageHSLA = KXImage<KXHSLA, 128, 64>;        ///< Hue, saturation, lightness, for conversion.
using KXImageCMYKA = KXImage<KXCMYKA, 128, 64>;      ///< Ink amounts, for conversion.

#endif // KXIMAGE_H
