#ifndef KXSAMPLERULES_H
#define KXSAMPLERULES_H

// The per-pixel sampling rules of the resampling transforms: given the
// source position (sx, sy) of a destination pixel's centre, each either
// writes the destination pixel or leaves it. Every channel (blue, green,
// red, alpha) is worked alike; colours are not premultiplied. Private to
// the library.

#include "KXPixel.h"
#include "geometry/KXInverseMap.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstdint>

namespace KXGeometry {

constexpr double kEpsilon = 2.220446049250313e-16; // the double's machine epsilon

// The byte of channel k (0 blue … 3 alpha) of a pixel word.
inline int Channel(uint32_t p, int k)
{
    return static_cast<int>((p >> (8 * k)) & 0xFF);
}

// trunc(v) clamped to 0 … 255; v is a channel value rounded up by half.
inline uint32_t ToByte(double v)
{
    if (!(v < 256.0))
        return 255;
    if (!(v > 0.0))
        return 0;
    return static_cast<uint32_t>(v); // in 0 … 255 now, truncation is the same as trunc
}

// Linear step: trunc((p1 - p0) t + p0 + 0.5 + eps), clamped, per channel.
inline uint32_t Linear(uint32_t p0, uint32_t p1, double t)
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const int c0 = Channel(p0, k), c1 = Channel(p1, k);
        out |= ToByte((c1 - c0) * t + c0 + 0.5 + kEpsilon) << (8 * k);
    }
    return out;
}

// Powers of a cubic step's fraction, worked out once per position.
struct Cubic {
    double t, t2, t3;
    explicit Cubic(double f) : t(f), t2(f * f), t3(f * f * f) {}
};

// Cubic step: a0 = p3 - p2 - p0 + p1, a1 = p0 - p1 - a0, a2 = p2 - p0,
// trunc(a0 t^3 + a1 t^2 + a2 t + p1 + 0.5 + eps), clamped, per channel.
inline uint32_t CubicStep(const uint32_t p[4], const Cubic& c)
{
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const int q0 = Channel(p[0], k), q1 = Channel(p[1], k), q2 = Channel(p[2], k), q3 = Channel(p[3], k);
        const int a0 = q3 - q2 - q0 + q1;
        const int a1 = q0 - q1 - a0;
        const int a2 = q2 - q0;
        out |= ToByte(a0 * c.t3 + a1 * c.t2 + a2 * c.t + q1 + 0.5 + kEpsilon) << (8 * k);
    }
    return out;
}

#if defined(__SSE2__)
// The same steps on all four channels at once, two doubles a register. Each
// lane does the scalar step's operations in the same order on the same
// doubles (int to double is exact), truncation is cvttpd's, and the clamp
// to 0 … 255 is the saturation of packs (int32 to int16; the values are far
// inside int16) and packus (to 0 … 255), so the bytes are the scalar ones.
constexpr bool kHasSimdSteps = true;

inline __m128i Widen(__m128i bytes) // four bytes to four int32 lanes
{
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
}
inline __m128i Lanes(uint32_t p)
{
    return Widen(_mm_cvtsi32_si128(static_cast<int>(p)));
}
inline __m128d Low(__m128i v) { return _mm_cvtepi32_pd(v); }
inline __m128d High(__m128i v) { return _mm_cvtepi32_pd(_mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2))); }
// trunc(v + 0.5 + eps) of both halves as four int32 lanes, not clamped.
inline __m128i Round(__m128d low, __m128d high)
{
    const __m128d half = _mm_set1_pd(0.5), eps = _mm_set1_pd(kEpsilon);
    low = _mm_add_pd(_mm_add_pd(low, half), eps);
    high = _mm_add_pd(_mm_add_pd(high, half), eps);
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(low), _mm_cvttpd_epi32(high));
}
// The lanes clamped to 0 … 255, as bytes (a pixel word) or as lanes again.
inline uint32_t Word(__m128i lanes)
{
    const __m128i shorts = _mm_packs_epi32(lanes, lanes);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(shorts, shorts)));
}
inline __m128i Clamp(__m128i lanes)
{
    const __m128i shorts = _mm_packs_epi32(lanes, lanes);
    return Widen(_mm_packus_epi16(shorts, shorts));
}
// Linear on lanes: (p1 - p0) t + p0, rounded; inside 0 … 255 already when
// 0 <= t <= 1, which lies between two bytes.
inline __m128i LinearLanes(__m128i p0, __m128i p1, __m128d t)
{
    const __m128i d = _mm_sub_epi32(p1, p0);
    return Round(_mm_add_pd(_mm_mul_pd(Low(d), t), Low(p0)), _mm_add_pd(_mm_mul_pd(High(d), t), High(p0)));
}
// CubicStep on lanes, rounded, not clamped.
inline __m128i CubicLanes(const __m128i p[4], const Cubic& c)
{
    const __m128i a0 = _mm_add_epi32(_mm_sub_epi32(_mm_sub_epi32(p[3], p[2]), p[0]), p[1]);
    const __m128i a1 = _mm_sub_epi32(_mm_sub_epi32(p[0], p[1]), a0);
    const __m128i a2 = _mm_sub_epi32(p[2], p[0]);
    const __m128d t = _mm_set1_pd(c.t), t2 = _mm_set1_pd(c.t2), t3 = _mm_set1_pd(c.t3);
    const auto half = [&](__m128d (*part)(__m128i)) {
        return _mm_add_pd(
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(part(a0), t3), _mm_mul_pd(part(a1), t2)), _mm_mul_pd(part(a2), t)),
            part(p[1]));
    };
    return Round(half(Low), half(High));
}
#else
constexpr bool kHasSimdSteps = false;
#endif

// The source pixel whose area holds (sx, sy) after nudging by eps: false
// (skip) when it lies outside the source. NaN positions fall outside.
inline bool Cell(double sx, double sy, double width, double height, double& ex, double& ey)
{
    if (sx < -kEpsilon || sy < -kEpsilon)
        return false;
    ex = sx + kEpsilon;
    ey = sy + kEpsilon;
    return ex < width && ey < height; // trunc(ex) < width exactly when ex < width, ex >= 0
}

// Nearest: source pixel (trunc(sx + eps), trunc(sy + eps)).
template <class Image>
struct NearestRule {
    static constexpr int kReach = 0;
    bool operator()(const SourceTiles<Image>& source, double sx, double sy, typename Image::Pixel& out) const
    {
        double ex, ey;
        if (!Cell(sx, sy, source.WidthF(), source.HeightF(), ex, ey))
            return false;
        out = *source.Pixel(static_cast<int>(ex), static_cast<int>(ey));
        return true;
    }
};

// The base of a neighbourhood: x0 = trunc(sx + eps - 0.5) (0 in the first
// half pixel) and the fraction fx = sx - x0 - 0.5, likewise for y.
struct Base {
    int x0, y0;
    double fx, fy;
    Base(double sx, double sy, double ex, double ey)
        : x0(static_cast<int>(ex - 0.5)), y0(static_cast<int>(ey - 0.5)),
          fx(sx - x0 - 0.5), fy(sy - y0 - 0.5)
    {
    }
};

// Bilinear: the 2 x 2 pixels from (x0, y0), edges repeating; each row
// interpolated with fx, then the two results with fy. Simd: the steps on
// all channels at once (the same bytes).
template <bool Simd = kHasSimdSteps>
struct BilinearRule {
    using Image = KXImageRGBA32i;
    bool operator()(const SourceTiles<Image>& source, double sx, double sy, KXRGBA32i& out) const
    {
        double ex, ey;
        if (!Cell(sx, sy, source.WidthF(), source.HeightF(), ex, ey))
            return false;
        const Base b(sx, sy, ex, ey);
        const int x1 = std::min(b.x0 + 1, source.Width() - 1);
        const int y1 = std::min(b.y0 + 1, source.Height() - 1);
        const KXRGBA32i* r0 = source.Pixel(b.x0, b.y0);
        // Row y1 is y0 (the last row repeating), the next row of y0's tile, or the next tile's first.
        const KXRGBA32i* r1 = y1 == b.y0 ? r0 : (y1 & 127) ? r0 + 128 : source.Pixel(b.x0, y1);
        const bool sameTile = ((b.x0 ^ x1) >> 7) == 0; // x1 is x0 or x0 + 1 in x0's tile
        const uint32_t p00 = r0->value, p10 = r1->value;
        const uint32_t p01 = sameTile ? r0[x1 - b.x0].value : source.Pixel(x1, b.y0)->value;
        const uint32_t p11 = sameTile ? r1[x1 - b.x0].value : source.Pixel(x1, y1)->value;
#if defined(__SSE2__)
        if (Simd) {
            const __m128d fx = _mm_set1_pd(b.fx);
            __m128i top = LinearLanes(Lanes(p00), Lanes(p01), fx);
            __m128i bottom = LinearLanes(Lanes(p10), Lanes(p11), fx);
            if (b.fx < 0) { // extrapolating in the first half pixel
                top = Clamp(top);
                bottom = Clamp(bottom);
            }
            out.value = Word(LinearLanes(top, bottom, _mm_set1_pd(b.fy)));
            return true;
        }
#endif
        out.value = Linear(Linear(p00, p01, b.fx), Linear(p10, p11, b.fx), b.fy);
        return true;
    }
};

// Bicubic: the 4 x 4 pixels at columns x0 - 1 … x0 + 2 and rows
// y0 - 1 … y0 + 2, edges repeating; each row with fx, then the four
// results with fy. Simd as for bilinear.
template <bool Simd = kHasSimdSteps>
struct BicubicRule {
    using Image = KXImageRGBA32i;
    bool operator()(const SourceTiles<Image>& source, double sx, double sy, KXRGBA32i& out) const
    {
        double ex, ey;
        if (!Cell(sx, sy, source.WidthF(), source.HeightF(), ex, ey))
            return false;
        const Base b(sx, sy, ex, ey);
        const int maxX = source.Width() - 1, maxY = source.Height() - 1;
        int xs[4];
        for (int i = 0; i < 4; ++i)
            xs[i] = std::min(std::max(b.x0 - 1 + i, 0), maxX);
        // Inside one tile the four columns are consecutive offsets of one row pointer.
        const bool oneTile = xs[0] == b.x0 - 1 && xs[3] == b.x0 + 2 && ((xs[0] ^ xs[3]) >> 7) == 0;
        const Cubic cx(b.fx), cy(b.fy);
#if defined(__SSE2__)
        if (Simd) {
            __m128i column[4];
            // All 16 pixels in one tile and none repeated: rows 128 pixels apart.
            const bool block = oneTile && b.y0 >= 1 && b.y0 + 2 <= maxY && (((b.y0 - 1) ^ (b.y0 + 2)) >> 7) == 0;
            const KXRGBA32i* first = block ? source.Pixel(xs[0], b.y0 - 1) : nullptr;
            for (int j = 0; j < 4; ++j) {
                __m128i row[4];
                if (block) {
                    for (int i = 0; i < 4; ++i)
                        row[i] = Lanes(first[128 * j + i].value);
                } else {
                    const int y = std::min(std::max(b.y0 - 1 + j, 0), maxY);
                    const KXRGBA32i* p = oneTile ? source.Pixel(xs[0], y) : nullptr;
                    for (int i = 0; i < 4; ++i)
                        row[i] = Lanes(oneTile ? p[i].value : source.Pixel(xs[i], y)->value);
                }
                column[j] = Clamp(CubicLanes(row, cx));
            }
            out.value = Word(CubicLanes(column, cy));
            return true;
        }
#endif
        uint32_t column[4];
        for (int j = 0; j < 4; ++j) {
            const int y = std::min(std::max(b.y0 - 1 + j, 0), maxY);
            uint32_t row[4];
            if (oneTile) {
                const KXRGBA32i* p = source.Pixel(xs[0], y);
                for (int i = 0; i < 4; ++i)
                    row[i] = p[i].value;
            } else {
                for (int i = 0; i < 4; ++i)
                    row[i] = source.Pixel(xs[i], y)->value;
            }
            column[j] = CubicStep(row, cx);
        }
        out.value = CubicStep(column, cy);
        return true;
    }
};

// The nearest pixel of the source as box blurred along rows with radius rx
// and then along columns with radius ry (edges repeating, each average of
// the 2r + 1 pixels truncated), worked out only where it is sampled instead
// of blurring every pixel: pixel (ix, iy) of the blurred image is the
// average over rows iy - ry … iy + ry of the row averages over columns
// ix - rx … ix + rx. The four channels are summed together in 16-bit lanes
// of a 64-bit word, and each average, sum / n, is (sum m) >> 32 with
// m = 2^32 / n + 1 (truncated), which is exact while 255 n^2 < 2^32.
class BoxNearestRule {
public:
    static constexpr int kMaxRadius = 128; // 255 (2r + 1) fits a 16-bit lane

    BoxNearestRule(int rx, int ry)
        : m_rx(rx), m_ry(ry), m_mx(Reciprocal(2 * rx + 1)), m_my(Reciprocal(2 * ry + 1)),
          m_mx16((65536 + 2 * rx) / (2 * rx + 1)), m_my16((65536 + 2 * ry) / (2 * ry + 1)),
          m_short(kHasSimdSteps && rx >= 1 && ry >= 1 && 2 * rx + 1 <= 16 && 2 * ry + 1 <= 16)
    {
    }

    bool operator()(const SourceTiles<KXImageRGBA32i>& source, double sx, double sy, KXRGBA32i& out) const
    {
        double ex, ey;
        if (!Cell(sx, sy, source.WidthF(), source.HeightF(), ex, ey))
            return false;
        const int ix = static_cast<int>(ex), iy = static_cast<int>(ey);
        const int maxX = source.Width() - 1, maxY = source.Height() - 1;
        const int left = ix - m_rx, right = ix + m_rx;
        const bool oneSpan = left >= 0 && right <= maxX && (left >> 7) == (right >> 7);
#if defined(__SSE2__)
        if (m_short) {
            // All four channels in 16-bit lanes of one register; sum / n is
            // the high half of sum (2^16 / n rounded up), exact while
            // 255 n^2 < 2^16, so for windows of up to 16 pixels.
            const __m128i zero = _mm_setzero_si128();
            const __m128i mx = _mm_set1_epi16(static_cast<short>(m_mx16)), my = _mm_set1_epi16(static_cast<short>(m_my16));
            __m128i columnSum = zero;
            for (int j = -m_ry; j <= m_ry; ++j) {
                const int y = std::min(std::max(iy + j, 0), maxY);
                __m128i rowSum = zero;
                if (oneSpan) {
                    const KXRGBA32i* p = source.Pixel(left, y);
                    for (int i = 0; i <= 2 * m_rx; ++i)
                        rowSum = _mm_add_epi16(rowSum, _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(p[i].value)), zero));
                } else {
                    for (int x = left; x <= right; ++x) {
                        const uint32_t v = source.Pixel(std::min(std::max(x, 0), maxX), y)->value;
                        rowSum = _mm_add_epi16(rowSum, _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), zero));
                    }
                }
                columnSum = _mm_add_epi16(columnSum, _mm_mulhi_epu16(rowSum, mx));
            }
            const __m128i average = _mm_mulhi_epu16(columnSum, my);
            out.value = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(average, average)));
            return true;
        }
#endif
        uint64_t columnSum = 0;
        for (int j = -m_ry; j <= m_ry; ++j) {
            const int y = std::min(std::max(iy + j, 0), maxY);
            uint64_t rowSum = 0;
            if (oneSpan) {
                const KXRGBA32i* p = source.Pixel(left, y);
                for (int i = 0; i <= 2 * m_rx; ++i)
                    rowSum += Expand(p[i].value);
            } else {
                for (int x = left; x <= right; ++x)
                    rowSum += Expand(source.Pixel(std::min(std::max(x, 0), maxX), y)->value);
            }
            columnSum += Divide(rowSum, m_mx);
        }
        const uint64_t v = Divide(columnSum, m_my);
        out.value = static_cast<uint32_t>((v & 0xFF) | (v >> 8 & 0xFF00) | (v >> 16 & 0xFF0000) | (v >> 24 & 0xFF000000));
        return true;
    }

private:
    static uint64_t Reciprocal(uint32_t n) { return (uint64_t(1) << 32) / n + 1; }
    // Bytes b0 … b3 to 16-bit lanes 0 … 3.
    static uint64_t Expand(uint32_t p)
    {
        uint64_t v = p;
        v = (v | v << 16) & 0x0000FFFF0000FFFFull;
        return (v | v << 8) & 0x00FF00FF00FF00FFull;
    }
    // Each lane divided by n (m its reciprocal).
    static uint64_t Divide(uint64_t sums, uint64_t m)
    {
        uint64_t out = 0;
        for (int k = 0; k < 4; ++k)
            out |= ((sums >> (16 * k) & 0xFFFF) * m >> 32) << (16 * k);
        return out;
    }

    int m_rx, m_ry;
    uint64_t m_mx, m_my;
    uint32_t m_mx16, m_my16; // 2^16 / n rounded up
    bool m_short;            // both windows 3 … 15 pixels: the 16-bit form
};

} // namespace KXGeometry

#endif // KXSAMPLERULES_H
