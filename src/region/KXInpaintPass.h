#ifndef KXINPAINTPASS_H
#define KXINPAINTPASS_H

// The rules shared by both inpainting forms, apart from where their pixels
// live: the nine patterns, the average, the front value of one pixel and
// what one pass does at one front pixel. Private to the library.

#include <QRect>

#include <cmath>
#include <cstdint>
#include <vector>

namespace KXInpaintPass {

struct Offset {
    int dx, dy;
};

// The nine patterns in the order they are tried: the eight pixels, relative
// to the hole pixel, that must all be known and are averaged.
constexpr Offset kPatterns[9][8] = {
    // all neighbours
    {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}},
    // above: rows y - 1 and y - 2, and the two side neighbours
    {{-1, -1}, {0, -1}, {1, -1}, {-1, -2}, {0, -2}, {1, -2}, {-1, 0}, {1, 0}},
    // below
    {{-1, 1}, {0, 1}, {1, 1}, {-1, 2}, {0, 2}, {1, 2}, {-1, 0}, {1, 0}},
    // left: columns x - 1 and x - 2, and the neighbours above and below
    {{-1, -1}, {-1, 0}, {-1, 1}, {-2, -1}, {-2, 0}, {-2, 1}, {0, -1}, {0, 1}},
    // right
    {{1, -1}, {1, 0}, {1, 1}, {2, -1}, {2, 0}, {2, 1}, {0, -1}, {0, 1}},
    // upper left: the 3 x 3 block ending at the pixel
    {{-2, -2}, {-1, -2}, {0, -2}, {-2, -1}, {-1, -1}, {0, -1}, {-2, 0}, {-1, 0}},
    // upper right
    {{0, -2}, {1, -2}, {2, -2}, {0, -1}, {1, -1}, {2, -1}, {1, 0}, {2, 0}},
    // lower right
    {{1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}, {2, 2}},
    // lower left
    {{-2, 0}, {-1, 0}, {-2, 1}, {-1, 1}, {0, 1}, {-2, 2}, {-1, 2}, {0, 2}},
};

constexpr uint32_t kFrontMark = 0xFF000000u; // a pixel put on the front by a filled neighbour

// (sum + 4) / 8 in each of the four bytes of eight 0xAARRGGBB words.
inline uint32_t Average(const uint32_t (&samples)[8])
{
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = 4;
        for (uint32_t s : samples)
            sum += (s >> shift) & 0xFFu;
        result |= (sum / 8) << shift;
    }
    return result;
}

// Mask alpha of a rectangle with a one-pixel border round it, filled by the
// caller (clamped copies of the edge, or 0).
struct AlphaGrid {
    int width = 0, height = 0; // of the rectangle, without the border
    std::vector<uint8_t> alpha;

    AlphaGrid(int w, int h) : width(w), height(h), alpha(static_cast<size_t>(w + 2) * (h + 2), 0) {}
    uint8_t& At(int x, int y) { return alpha[static_cast<size_t>(y + 1) * (width + 2) + (x + 1)]; }
    uint8_t At(int x, int y) const { return alpha[static_cast<size_t>(y + 1) * (width + 2) + (x + 1)]; }
    // Copies the edge values into the border (coordinates clamped to the edges).
    void ClampBorder()
    {
        for (int y = 0; y < height; ++y) {
            At(-1, y) = At(0, y);
            At(width, y) = At(width - 1, y);
        }
        for (int x = -1; x <= width; ++x) {
            At(x, -1) = At(x, 0);
            At(x, height) = At(x, height - 1);
        }
    }
};

// The front pixel at (x, y): (magnitude << 24) | 0x0000FF00, the magnitude
// being the Sobel gradient of the alpha, truncated and clamped to 255, and
// 255 for a pixel whose neighbourhood holds both known and unknown pixels
// (the plain Sobel sum misses a lone hole pixel or a one-pixel line, whose
// neighbourhood is symmetric).
inline uint32_t FrontValue(const AlphaGrid& grid, int x, int y)
{
    int a[3][3];
    bool mixed = false;
    const bool unknown = grid.At(x, y) == 255;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            a[j][i] = grid.At(x + i - 1, y + j - 1);
            mixed |= (a[j][i] == 255) != unknown;
        }
    const int gx = (a[0][2] + 2 * a[1][2] + a[2][2]) - (a[0][0] + 2 * a[1][0] + a[2][0]);
    const int gy = (a[2][0] + 2 * a[2][1] + a[2][2]) - (a[0][0] + 2 * a[0][1] + a[0][2]);
    int magnitude = static_cast<int>(std::sqrt(static_cast<double>(gx * gx + gy * gy)));
    if (magnitude > 255 || mixed)
        magnitude = 255;
    return (static_cast<uint32_t>(magnitude) << 24) | 0x0000FF00u;
}

enum class Outcome { None, Cleared, Filled };

// One front pixel in one pass. Access gives:
//   KnownAtStart(x, y)  known when the pass began (false outside the mask),
//   Read(x, y), Write(x, y, v)  the image pixel as 0xAARRGGBB,
//   MarkKnown(x, y)  known from the next pass on,
//   ClearFront(x, y), AddFront(x, y)  the latter only for a pixel inside the
//   mask that is still unknown.
// Everything read comes before anything is written, so an access that
// throws leaves this pixel as it was.
template <class Access>
Outcome Visit(Access& access, int x, int y)
{
    if (access.KnownAtStart(x, y)) {
        access.ClearFront(x, y);
        return Outcome::Cleared;
    }
    for (const auto& pattern : kPatterns) {
        bool complete = true;
        for (const Offset& o : pattern)
            if (!access.KnownAtStart(x + o.dx, y + o.dy)) {
                complete = false;
                break;
            }
        if (!complete)
            continue;
        uint32_t samples[8];
        for (int i = 0; i < 8; ++i)
            samples[i] = access.Read(x + pattern[i].dx, y + pattern[i].dy);
        access.Write(x, y, Average(samples));
        access.MarkKnown(x, y);
        access.ClearFront(x, y);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (dx || dy)
                    access.AddFront(x + dx, y + dy);
        return Outcome::Filled;
    }
    return Outcome::None;
}

// Bounding rectangle of the pixels handled in a pass, from the sentinels
// 2147483647 and -2147483648; null when nothing was handled.
struct Bounds {
    int left = 2147483647, top = 2147483647, right = -2147483647 - 1, bottom = -2147483647 - 1;

    void Add(int x, int y)
    {
        left = x < left ? x : left;
        right = x > right ? x : right;
        top = y < top ? y : top;
        bottom = y > bottom ? y : bottom;
    }
    QRect Rect() const { return left <= right ? QRect(QPoint(left, top), QPoint(right, bottom)) : QRect(); }
};

} // namespace KXInpaintPass

#endif // KXINPAINTPASS_H
