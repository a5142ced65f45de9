#ifndef KXBOXARITHMETIC_H
#define KXBOXARITHMETIC_H

// The arithmetic of the alpha-weighted box line and its band form
// (KXSlideBox, KXSlideBoxBand): the terms of the window's pixels and the
// finishing of a pixel from its sums, at the instruction-set level in use,
// bit for bit the accumulator's. The reasons for their exactness are in
// KXBoxArithmetic.cpp. Private to the library.

#include <cstdint>

#if defined(__SSE2__)
#include <immintrin.h>

namespace KXBoxArithmetic {

constexpr int kMaxRadius = 32766; // d = 2r + 1 < 65536: sums below 2^24

// Terms of four packed pixels: colours (c a) / 255, alpha a.
inline __m128i Terms4(__m128i pixels)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i magic = _mm_set1_epi16(short(0x8081));
    const __m128i alphaLanes = _mm_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1);
    const auto half = [&](__m128i v) {
        const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
        const __m128i t = _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(v, a), magic), 7);
        return _mm_or_si128(_mm_andnot_si128(alphaLanes, t), _mm_and_si128(alphaLanes, v));
    };
    return _mm_packus_epi16(half(_mm_unpacklo_epi8(pixels, zero)), half(_mm_unpackhi_epi8(pixels, zero)));
}

inline uint32_t Term(uint32_t pixel)
{
    return uint32_t(_mm_cvtsi128_si32(Terms4(_mm_cvtsi32_si128(int(pixel)))));
}

// A packed word of terms as four 32-bit lanes.
inline __m128i Widen(uint32_t packed)
{
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(packed)), zero), zero);
}

// floor(S / d) for every S in 0 … 255 d as (S factor) >> shift with a
// factor below 2^16 and shift >= 16, for the counts d that have one (none
// above 257; the reasons in KXBoxArithmetic.cpp).
struct CountDivisor16 {
    int factor = 0;
    int shift = 0;
};
bool CountDivisorOf16(int d, CountDivisor16& divisor);

// The terms of pixels in[0 … n - 1] into out[0 … n - 1]; out may be in.
using TermsFunction = void (*)(const uint32_t* in, int n, uint32_t* out);
// Pixels out[0 … n - 1] from their sums sums[4 j …] (b, g, r, a) over a
// window of d pixels.
using FinishFunction = void (*)(const int32_t* sums, int n, int d, uint32_t* out);

// The forms of the instruction-set level in use (KXIsa::Current()).
TermsFunction ChooseTerms();
FinishFunction ChooseFinish();

} // namespace KXBoxArithmetic

#endif // __SSE2__

#endif // KXBOXARITHMETIC_H
