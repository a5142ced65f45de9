#ifndef KXPIXELROWS_H
#define KXPIXELROWS_H

// Two pixel operations of the compositing operators, for one pixel and for
// rows of pixels. Private to the library.
//
// Mix: every byte of d moved toward t by a weight k / 255, ((255 - k) d +
// k t) / 255 truncated (KXArithmetic::Mix); a row is weighted by the alpha
// of a mask row. k = 0 gives 255 d / 255 = d and k = 255 gives 255 t / 255
// = t, so runs of fully selected pixels are copies and unselected ones are
// left alone. Between, four pixels at a time in 16-bit lanes: the
// numerator is at most 255 · 255 = 65025, where KXArithmetic::DivideBy255
// gives x / 255 in 16-bit lanes, so the lanes give the plain bytes.
//
// Subtract: every colour clamp(a - b + offset, 0, 255), the alpha kept.
// With |a - b| <= 255, an offset beyond -255 … 510 gives the same bytes as
// the nearest end of that range, so the row form takes the offset there and
// works in signed 16-bit lanes, the saturating pack being the clamp.

#include "KXPixel.h"
#include "core/KXArithmetic.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace KXPixelRows {

// All four bytes of d moved toward t by k / 255.
inline void MixPixel(const KXRGBA32i& t, KXRGBA32i& d, uint32_t k)
{
    const int weight = static_cast<int>(k);
    d.b = static_cast<uint8_t>(KXArithmetic::Mix(d.b, t.b, weight));
    d.g = static_cast<uint8_t>(KXArithmetic::Mix(d.g, t.g, weight));
    d.r = static_cast<uint8_t>(KXArithmetic::Mix(d.r, t.r, weight));
    d.a = static_cast<uint8_t>(KXArithmetic::Mix(d.a, t.a, weight));
}

// MixPixel(t[i], d[i], m[i].a) for i = 0 … n - 1, pixel by pixel.
inline void MixRowPlain(const KXRGBA32i* t, KXRGBA32i* d, const KXRGBA32i* m, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint32_t k = m[i].a;
        if (k == 255)
            d[i] = t[i];
        else if (k != 0)
            MixPixel(t[i], d[i], k);
    }
}

// The same pixels as MixRowPlain, four at a time where the processor has
// 16-bit lanes.
inline void MixRow(const KXRGBA32i* t, KXRGBA32i* d, const KXRGBA32i* m, int n)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255), divide = _mm_set1_epi16(short(0x8081));
    const auto half = [&](__m128i from, __m128i to, __m128i w) {
        const __m128i x = _mm_add_epi16(_mm_mullo_epi16(from, _mm_sub_epi16(full, w)), _mm_mullo_epi16(to, w));
        return _mm_srli_epi16(_mm_mulhi_epu16(x, divide), 7);
    };
    for (; i + 4 <= n; i += 4) {
        const __m128i alpha = _mm_srli_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m + i)), 24);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(255))) == 0xFFFF) {
            std::memcpy(d + i, t + i, 4 * sizeof(KXRGBA32i));
            continue;
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero)) == 0xFFFF)
            continue;
        // Every byte of a pixel's lane its weight k.
        const __m128i twice = _mm_or_si128(alpha, _mm_slli_epi32(alpha, 8));
        const __m128i k = _mm_or_si128(twice, _mm_slli_epi32(twice, 16));
        const __m128i to = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
        const __m128i from = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i low =
            half(_mm_unpacklo_epi8(from, zero), _mm_unpacklo_epi8(to, zero), _mm_unpacklo_epi8(k, zero));
        const __m128i high =
            half(_mm_unpackhi_epi8(from, zero), _mm_unpackhi_epi8(to, zero), _mm_unpackhi_epi8(k, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(low, high));
    }
#endif
    MixRowPlain(t + i, d + i, m + i, n - i);
}

// Each colour of d := clamp(a - b + offset, 0, 255), d's alpha kept.
inline void SubtractPixel(const KXRGBA32i& a, const KXRGBA32i& b, int offset, KXRGBA32i& d)
{
    const uint8_t blue = static_cast<uint8_t>(KXArithmetic::ClampByte(int(a.b) - int(b.b) + offset));
    const uint8_t green = static_cast<uint8_t>(KXArithmetic::ClampByte(int(a.g) - int(b.g) + offset));
    const uint8_t red = static_cast<uint8_t>(KXArithmetic::ClampByte(int(a.r) - int(b.r) + offset));
    d.b = blue;
    d.g = green;
    d.r = red;
}

// SubtractPixel(s[i], d[i], offset, d[i]) for i = 0 … n - 1 (the source
// minus the destination, into the destination).
inline void SubtractRow(const KXRGBA32i* s, KXRGBA32i* d, int offset, int n)
{
    offset = std::min(510, std::max(-255, offset));
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), add = _mm_set1_epi16(static_cast<short>(offset));
    const __m128i alphas = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 4 <= n; i += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i low = _mm_add_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)), add);
        const __m128i high =
            _mm_add_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)), add);
        const __m128i colours = _mm_andnot_si128(alphas, _mm_packus_epi16(low, high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_or_si128(colours, _mm_and_si128(alphas, b)));
    }
#endif
    for (; i < n; ++i)
        SubtractPixel(s[i], d[i], offset, d[i]);
}

} // namespace KXPixelRows

#endif // KXPIXELROWS_H
