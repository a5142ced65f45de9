#ifndef KXSCANLINEFILL_H
#define KXSCANLINEFILL_H

// The column-wise scan-line flood fill behind KXFloodFillHelper, its match
// rules and the pixel stores it runs on. Private to the library.
//
// The fill walks one column at a time: from a point it climbs to the top of
// the matching run, then fills down the run and looks at the pixels to its
// left and right, pushing one point for every stretch of matching
// neighbours (the span flags). The work list is a std::deque on the heap,
// so depth never reaches the call stack; every push names a matching pixel
// that a neighbouring column's run reaches, so a pixel is pushed at most
// twice and the list stays below two entries a pixel.
//
// The runs are walked in pieces that stay inside one tile (or, for a
// QImage, the whole column), through raw pointers that step one row at a
// time, which is what makes the fill fast on tiled images: a pixel costs a
// few loads and stores, no tile lookup.

#include "KXImage.h"
#include "VQTileManager64.h"

#include <QImage>
#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <vector>

namespace KXScanLineFill {

// p matches when it equals the target.
struct ExactMatch {
    uint32_t target;
    bool operator()(uint32_t p) const { return p == target; }
};

// The tolerance rule: a transparent target matches every pixel of alpha 0;
// any other target matches pixels whose four channels lie within the
// tolerance of its own (bounds included).
class ToleranceMatch {
public:
    ToleranceMatch(uint32_t target, uint32_t tolerance) : m_target(target), m_transparent((target >> 24) == 0)
    {
        // Per channel: c in [t - tol, t + tol] <=> (c - low) mod 256 <= width,
        // with the range first clipped to 0 ... 255.
        for (int k = 0; k < 4; ++k) {
            const int t = int(target >> (8 * k)) & 255, tol = int(tolerance >> (8 * k)) & 255;
            const int low = std::max(0, t - tol), high = std::min(255, t + tol);
            m_low[k] = uint8_t(low);
            m_span[k] = uint8_t(high - low);
        }
    }
    bool operator()(uint32_t p) const
    {
        // The target itself first: the common case inside a flat region.
        if (p == m_target)
            return true;
        if (m_transparent)
            return (p >> 24) == 0;
        return uint8_t(uint8_t(p) - m_low[0]) <= m_span[0] && uint8_t(uint8_t(p >> 8) - m_low[1]) <= m_span[1] &&
               uint8_t(uint8_t(p >> 16) - m_low[2]) <= m_span[2] &&
               uint8_t(uint8_t(p >> 24) - m_low[3]) <= m_span[3];
    }

private:
    uint32_t m_target;
    bool m_transparent;
    uint8_t m_low[4];
    uint8_t m_span[4];
};

// A colour the tolerance rule can never match; false when every colour
// matches (the fill then covers the whole image). Channels are tried blue,
// green, red, alpha. When only the alpha range's lower end
// t.alpha - tol.alpha = 1 is left, transparent black lies below it and is
// the marker. The fills keep their written pixels in a VisitedMap, so only
// whether a marker exists matters to them.
inline bool ChooseMarker(uint32_t target, uint32_t tolerance, uint32_t* marker)
{
    static const uint32_t kAbove[3] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u};
    for (int k = 0; k < 3; ++k) {
        const int t = int(target >> (8 * k)) & 255, tol = int(tolerance >> (8 * k)) & 255;
        if (t - tol > 0) {
            *marker = 0xFF000000u;
            return true;
        }
        if (t + tol < 255) {
            *marker = kAbove[k];
            return true;
        }
    }
    const int ta = int(target >> 24), tola = int(tolerance >> 24);
    if (ta - tola > 1)
        *marker = 0x01000000u;
    else if (ta + tola < 255)
        *marker = 0xFF000000u;
    else if (ta - tola == 1)
        *marker = 0x00000000u;
    else
        return false;
    return true;
}

// The pixels of a tiled image for the fill. Tiles are opened when first
// read and detached when first written, and stay open until the end.
class TiledPixels {
public:
    explicit TiledPixels(KXImageRGBA32i& image)
        : m_image(image),
          m_columns(image.TileColumns()),
          m_width(image.Width()),
          m_height(image.Height()),
          m_handles(image.TileCount(), nullptr),
          m_pixels(image.TileCount(), nullptr),
          m_own(image.TileCount(), 0)
    {
    }
    ~TiledPixels()
    {
        for (void* handle : m_handles)
            if (handle)
                VQTileManager64::Require()->FreeMemory(handle);
    }
    TiledPixels(const TiledPixels&) = delete;
    TiledPixels& operator=(const TiledPixels&) = delete;

    static constexpr ptrdiff_t Stride() { return 128; }
    // The first row, and the row after the last, that share row y's tile
    // row and lie in the image.
    static int PieceTop(int y) { return y & ~127; }
    int PieceEnd(int y) const { return std::min<int>(int(m_height), (y | 127) + 1); }

    const uint32_t* Read(int x, int y)
    {
        const unsigned int index = Index(x, y);
        if (!m_pixels[index])
            Open(index, false);
        return m_pixels[index] + Offset(x, y);
    }
    // Throws std::out_of_range ("KXImage::SetColor") outside the image,
    // as writing that pixel would.
    uint32_t* Write(int x, int y)
    {
        if (unsigned(x) >= m_width || unsigned(y) >= m_height)
            throw std::out_of_range("KXImage::SetColor");
        const unsigned int index = Index(x, y);
        if (!m_own[index])
            Open(index, true);
        return m_pixels[index] + Offset(x, y);
    }

private:
    unsigned int Index(int x, int y) const { return unsigned(y >> 7) * m_columns + unsigned(x >> 7); }
    static unsigned int Offset(int x, int y) { return unsigned((y & 127) << 7 | (x & 127)); }
    void Open(unsigned int index, bool forWriting)
    {
        VQTileManager64* manager = VQTileManager64::Require();
        if (m_handles[index])
            manager->FreeMemory(m_handles[index]);
        m_handles[index] = nullptr;
        if (forWriting) {
            m_image.Detach(index % m_columns, index / m_columns);
            m_own[index] = 1;
        }
        void* handle = (*m_image.Tile(index % m_columns, index / m_columns))->block;
        m_pixels[index] = static_cast<uint32_t*>(manager->GetMemory(handle, forWriting));
        m_handles[index] = handle;
    }

    KXImageRGBA32i& m_image;
    unsigned int m_columns, m_width, m_height;
    std::vector<void*> m_handles;     // the open block of every tile, or null
    std::vector<uint32_t*> m_pixels;  // its pixels
    std::vector<uint8_t> m_own;       // 1 once the tile is this image's alone
};

// The pixels of a 32-bit QImage, detached from any other sharer at once.
class QImagePixels {
public:
    explicit QImagePixels(QImage& image)
        : m_pixels(reinterpret_cast<uint32_t*>(image.bits())),
          m_stride(image.bytesPerLine() / 4),
          m_height(image.height())
    {
    }
    ptrdiff_t Stride() const { return m_stride; }
    static int PieceTop(int) { return 0; }
    int PieceEnd(int) const { return m_height; }
    const uint32_t* Read(int x, int y) const { return m_pixels + y * m_stride + x; }
    uint32_t* Write(int x, int y) { return m_pixels + y * m_stride + x; }

private:
    uint32_t* m_pixels;
    ptrdiff_t m_stride;
    int m_height;
};

// The bounding rectangle of the pixels written, started at the seed.
struct Extent {
    int minX, minY, maxX, maxY;
    explicit Extent(const QPoint& seed) : minX(seed.x()), minY(seed.y()), maxX(seed.x()), maxY(seed.y()) {}
    void AddColumn(int x, int top, int bottom)
    {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, top);
        maxY = std::max(maxY, bottom);
    }
    QRect Rect() const
    {
        QRect r;
        r.setCoords(minX, minY, maxX, maxY);
        return r;
    }
};

// Which pixels a tolerance fill has written, one bit a pixel, the bits of
// a column next to each other (a fill walks columns). A written pixel no
// longer matches, whatever its colour, so the fill can test against the
// pixels it writes, or against the unchanged source, without a marked copy.
class VisitedMap {
public:
    // The bits of one column.
    class Column {
    public:
        explicit Column(uint64_t* words) : m_words(words) {}
        bool Has(int y) const { return (m_words[y >> 6] >> (y & 63)) & 1u; }
        void Set(int y) { m_words[y >> 6] |= uint64_t(1) << (y & 63); }

    private:
        uint64_t* m_words;
    };

    VisitedMap(int width, int height)
        : m_words((size_t(std::max(height, 0)) + 63) / 64), m_bits(size_t(std::max(width, 0)) * m_words, 0)
    {
    }
    Column At(int x) { return Column(m_bits.data() + size_t(x) * m_words); }

private:
    size_t m_words;
    std::vector<uint64_t> m_bits;
};

// No map: for fills whose fill colour fails the match, so that a written
// pixel ends the match by itself.
struct NoVisitedMap {
    struct Column {
        static bool Has(int) { return false; }
        static void Set(int) {}
    };
    static Column At(int) { return Column(); }
};

// What a fill did besides writing: its rectangle, the work list's largest
// size and the bytes one of its points takes.
struct Outcome {
    QRect bounds;
    size_t peakPoints = 0;
    size_t pointBytes = 0;
};

namespace Detail {

// A point of the work list packed into one word: x above the bits of y.
template <class Word>
class PackedPoint {
public:
    explicit PackedPoint(int height) : m_shift(0)
    {
        while (m_shift < 63 && (uint64_t(1) << m_shift) < uint64_t(height))
            ++m_shift;
    }
    Word Pack(int x, int y) const { return Word(Word(x) << m_shift | Word(y)); }
    int X(Word p) const { return int(p >> m_shift); }
    int Y(Word p) const { return int(p & ((Word(1) << m_shift) - 1)); }

private:
    int m_shift;
};

template <class Word, class Marks, class Work, class Out, class Match>
Outcome Run(Marks& marks, Work& work, Out& out, int width, int height, const QPoint& seed, const Match& match,
            uint32_t fill)
{
    const PackedPoint<Word> pack(height);
    Extent extent(seed);
    std::deque<Word> points;
    points.push_back(pack.Pack(seed.x(), seed.y()));
    size_t peak = 1;
    while (!points.empty()) {
        const Word point = points.back();
        points.pop_back();
        const int x = pack.X(point);
        int y = pack.Y(point);
        auto mine = marks.At(x);
        const auto leftMarks = marks.At(x > 0 ? x - 1 : x), rightMarks = marks.At(x < width - 1 ? x + 1 : x);
        // Climb while the pixel matches; y ends on the topmost match (or
        // below the point when the point itself no longer matches).
        for (bool climbing = true; climbing && y >= 0;) {
            const int pieceTop = work.PieceTop(y);
            const uint32_t* p = work.Read(x, y);
            for (;;) {
                if (mine.Has(y) || !match(*p)) {
                    climbing = false;
                    break;
                }
                if (--y < pieceTop)
                    break;
                p -= work.Stride();
            }
        }
        ++y;
        const int top = y;
        bool spanLeft = false, spanRight = false;
        while (y < height) {
            if (mine.Has(y) || !match(*work.Read(x, y)))
                break;
            // Open the piece: the write access first, so that the reads
            // below see the block written when work and out are one store.
            uint32_t* o = out.Write(x, y);
            const uint32_t* c = work.Read(x, y);
            const uint32_t* left = x > 0 ? work.Read(x - 1, y) : nullptr;
            const uint32_t* right = x < width - 1 ? work.Read(x + 1, y) : nullptr;
            const int end = std::min(work.PieceEnd(y), out.PieceEnd(y));
            const ptrdiff_t ws = work.Stride(), os = out.Stride();
            ptrdiff_t wi = 0, oi = 0;
            bool stopped = false;
            for (; y < end; ++y, wi += ws, oi += os) {
                if (mine.Has(y) || !match(c[wi])) {
                    stopped = true;
                    break;
                }
                o[oi] = fill;
                mine.Set(y);
                if (left) {
                    if (!leftMarks.Has(y) && match(left[wi])) {
                        if (!spanLeft) {
                            points.push_back(pack.Pack(x - 1, y));
                            spanLeft = true;
                        }
                    } else {
                        spanLeft = false;
                    }
                }
                if (right) {
                    if (!rightMarks.Has(y) && match(right[wi])) {
                        if (!spanRight) {
                            points.push_back(pack.Pack(x + 1, y));
                            spanRight = true;
                        }
                    } else {
                        spanRight = false;
                    }
                }
            }
            peak = std::max(peak, points.size());
            if (stopped)
                break;
        }
        if (y > top)
            extent.AddColumn(x, top, y - 1);
    }
    return Outcome{extent.Rect(), peak, sizeof(Word)};
}

template <class Marks, class Work, class Out, class Match>
Outcome Dispatch(Marks& marks, Work& work, Out& out, int width, int height, const QPoint& seed,
                 const Match& match, uint32_t fill)
{
    // Four bytes a point whenever x and y fit into 32 bits together.
    const PackedPoint<uint64_t> pack(height);
    if (pack.Pack(std::max(width - 1, 0), 0) <= uint64_t(UINT32_MAX))
        return Run<uint32_t>(marks, work, out, width, height, seed, match, fill);
    return Run<uint64_t>(marks, work, out, width, height, seed, match, fill);
}

} // namespace Detail

// The fill from `seed` over a width x height area: pixels of `work` that
// match and that `marks` has not seen receive `fill` in `out` (at the same
// coordinates) and their bit in `marks`. `work` may be `out`; it is tested
// before the pixel is written. The points are visited in the same order
// whatever the map, so both overloads write the same pixels in the same
// order as a fill that marks a copy of `work` with a colour that fails the
// match.
template <class Work, class Out, class Match>
Outcome Fill(VisitedMap& marks, Work& work, Out& out, int width, int height, const QPoint& seed,
             const Match& match, uint32_t fill)
{
    return Detail::Dispatch(marks, work, out, width, height, seed, match, fill);
}

// The fill in place without a map, for a fill colour that fails the match
// (the exact fill, and the tolerance fill of most colours): the pixels
// written end the match themselves.
template <class Pixels, class Match>
Outcome Fill(Pixels& pixels, int width, int height, const QPoint& seed, const Match& match, uint32_t fill)
{
    NoVisitedMap none;
    return Detail::Dispatch(none, pixels, pixels, width, height, seed, match, fill);
}

} // namespace KXScanLineFill

#endif // KXSCANLINEFILL_H
