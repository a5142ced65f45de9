// The 3-tap spans' byte loops, built for each instruction-set level and
// taken at the level in use (KXIsa): the same
// integer and single-precision arithmetic in every build, only more bytes a
// vector; the 16-bit rules for the strengths they cover (callers pass
// n > 0).

#include "filters/KXThreeTapSpans.h"

#include "core/KXIsa.h"

#include <cstring>
#include <type_traits>

#if defined(KX_ISA_X86)
#include <immintrin.h>
#endif

namespace {

using KXIsa::Level;

// The AND of the pixel values of count pixels of l, m and r.
inline __attribute__((always_inline)) uint32_t AndOf(const uint8_t* l, const uint8_t* m, const uint8_t* r,
                                                     int count)
{
    uint32_t all = 0xFFFFFFFFu;
    for (int j = 0; j < count; ++j) {
        uint32_t a, b, c;
        std::memcpy(&a, l + 4 * j, 4);
        std::memcpy(&b, m + 4 * j, 4);
        std::memcpy(&c, r + 4 * j, 4);
        all &= a & b & c;
    }
    return all;
}

// The rule's bytes; the AND of the taps' values where the rule checks
// alpha, else all ones.
template <class Rule>
inline __attribute__((always_inline)) uint32_t Loop(const uint8_t* l, const uint8_t* m, const uint8_t* r,
                                                    uint8_t* __restrict out, int count, Rule rule)
{
    for (int j = 0; j < 4 * count; ++j)
        out[j] = static_cast<uint8_t>(rule(l[j], m[j], r[j]));
    if constexpr (Rule::kChecksAlpha)
        return AndOf(l, m, r, count);
    else
        return 0xFFFFFFFFu;
}

using KXThreeTapSpans::BytesFunction;

template <class Rule>
__attribute__((flatten)) uint32_t Plain(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out,
                                        int count, int n)
{
    return Loop(l, m, r, out, count, Rule(n));
}

#if defined(KX_ISA_X86)
template <class Rule>
__attribute__((flatten, target("avx2"))) uint32_t Avx2(const uint8_t* l, const uint8_t* m, const uint8_t* r,
                                                       uint8_t* out, int count, int n)
{
    return Loop(l, m, r, out, count, Rule(n));
}

template <class Rule>
__attribute__((flatten, target("avx512f,avx512bw"))) uint32_t Avx512(const uint8_t* l, const uint8_t* m,
                                                                     const uint8_t* r, uint8_t* out, int count,
                                                                     int n)
{
    return Loop(l, m, r, out, count, Rule(n));
}

// The 16-bit rules on AVX-512 vectors written out: 64 bytes of each tap
// unpacked against zero (within 128-bit lanes) into two vectors of 16-bit
// halves, the rule's wrapping 16-bit arithmetic and high halves of products
// lane by lane, and the halves packed back with unsigned saturation, which
// restores the byte order; for sharpen the saturation is the rule's clamp,
// smoothen's results are bytes already. (The compiler's own vectors of the
// plain loop widen and narrow across lanes, a third more instructions.)
#define KX_AVX512 __attribute__((always_inline, target("avx512f,avx512bw"))) inline

// Steps<Reciprocal>(product) + add, lane by lane.
KX_AVX512 __m512i Steps16(__m512i product, short reciprocal, short add)
{
    const __m512i w = _mm512_add_epi16(product, _mm512_set1_epi16(short(32895)));
    const __m512i q = _mm512_srli_epi16(_mm512_mulhi_epu16(w, _mm512_set1_epi16(short(0x8081))), 7);
    return _mm512_add_epi16(_mm512_mulhi_epu16(q, _mm512_set1_epi16(reciprocal)), _mm512_set1_epi16(add));
}

// SharpenRule16 before its clamp: c + Steps<9363>(n (2c - l - r)) - 18.
struct SharpenLanes {
    using Rule = KXThreeTapSpans::SharpenRule16;
    KX_AVX512 static __m512i Of(__m512i l, __m512i c, __m512i r, int n)
    {
        const __m512i d = _mm512_sub_epi16(_mm512_sub_epi16(_mm512_add_epi16(c, c), l), r);
        return _mm512_add_epi16(c, Steps16(_mm512_mullo_epi16(d, _mm512_set1_epi16(short(n))), 9363, -18));
    }
};

// SmoothenRule16: c + Steps<10923>(2n (l + r - 2c)) - 21.
struct SmoothenLanes {
    using Rule = KXThreeTapSpans::SmoothenRule16;
    KX_AVX512 static __m512i Of(__m512i l, __m512i c, __m512i r, int n)
    {
        const __m512i e = _mm512_sub_epi16(_mm512_add_epi16(l, r), _mm512_add_epi16(c, c));
        return _mm512_add_epi16(c, Steps16(_mm512_mullo_epi16(e, _mm512_set1_epi16(short(2 * n))), 10923, -21));
    }
};

// The rule on 64 bytes of the taps, or on the first of them that `bytes`
// selects (the others read as all ones, which leaves the AND alone, and not
// written); returns `all` ANDed with the taps.
template <class Lanes>
KX_AVX512 __m512i LanesOf(__m512i lv, __m512i mv, __m512i rv, uint8_t* out, int n, __mmask64 bytes, __m512i all)
{
    const __m512i zero = _mm512_setzero_si512();
    const __m512i low = Lanes::Of(_mm512_unpacklo_epi8(lv, zero), _mm512_unpacklo_epi8(mv, zero),
                                  _mm512_unpacklo_epi8(rv, zero), n);
    const __m512i high = Lanes::Of(_mm512_unpackhi_epi8(lv, zero), _mm512_unpackhi_epi8(mv, zero),
                                   _mm512_unpackhi_epi8(rv, zero), n);
    _mm512_mask_storeu_epi8(out, bytes, _mm512_packus_epi16(low, high));
    if constexpr (Lanes::Rule::kChecksAlpha)
        return _mm512_and_si512(all, _mm512_and_si512(lv, _mm512_and_si512(mv, rv)));
    else
        return all;
}

template <class Lanes>
KX_AVX512 __m512i LanesVector(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int n,
                              __mmask64 bytes, __m512i all)
{
    const __m512i ones = _mm512_set1_epi32(-1);
    return LanesOf<Lanes>(_mm512_mask_loadu_epi8(ones, bytes, l), _mm512_mask_loadu_epi8(ones, bytes, m),
                          _mm512_mask_loadu_epi8(ones, bytes, r), out, n, bytes, all);
}

// The AND of the sixteen words of `all`.
KX_AVX512 uint32_t Every(__m512i all)
{
    uint32_t words[16];
    _mm512_storeu_si512(words, all);
    uint32_t every = 0xFFFFFFFFu;
    for (uint32_t word : words)
        every &= word;
    return every;
}

template <class Lanes>
__attribute__((flatten, target("avx512f,avx512bw"))) uint32_t Avx512Lanes(const uint8_t* l, const uint8_t* m,
                                                                          const uint8_t* r, uint8_t* out,
                                                                          int count, int n)
{
    __m512i all = _mm512_set1_epi32(-1);
    int j = 0;
    for (; j + 64 <= 4 * count; j += 64)
        all = LanesVector<Lanes>(l + j, m + j, r + j, out + j, n, ~__mmask64(0), all);
    if (j < 4 * count) // the tail in one masked vector
        all = LanesVector<Lanes>(l + j, m + j, r + j, out + j, n, (__mmask64(1) << (4 * count - j)) - 1, all);
    if constexpr (Lanes::Rule::kChecksAlpha)
        return Every(all);
    else
        return 0xFFFFFFFFu;
}

// The row form: the middle taps are the row's pixels, the outer ones the
// same vectors of pixels one before and one after, loaded with the lane
// beyond the row masked off and `before` (`after`) put there instead (a
// masked load does not touch the memory of its masked lanes). Lanes beyond
// the row read as all ones and are not written, as in Avx512Lanes.
template <class Lanes>
__attribute__((flatten, target("avx512f,avx512bw"))) uint32_t Avx512Row(const uint8_t* m, uint32_t before,
                                                                        uint32_t after, uint8_t* out, int count,
                                                                        int n)
{
    const __m512i ones = _mm512_set1_epi32(-1);
    __m512i all = ones;
    // The last vector's pixels, 1 … 16, and where it starts.
    const int k = (count - 1) % 16 + 1, j = count - k;
    if (j > 0) { // the first vector: its outer tap before the row put in
        const __m512i l = _mm512_mask_loadu_epi32(_mm512_mask_set1_epi32(ones, 1, int(before)), 0xFFFE, m - 4);
        all = LanesOf<Lanes>(l, _mm512_loadu_si512(m), _mm512_loadu_si512(m + 4), out, n, ~__mmask64(0), all);
    }
    for (int at = 64; at < 4 * j; at += 64) // the inner vectors
        all = LanesOf<Lanes>(_mm512_loadu_si512(m + at - 4), _mm512_loadu_si512(m + at),
                             _mm512_loadu_si512(m + at + 4), out + at, n, ~__mmask64(0), all);
    // The last vector (the first too when j = 0): k pixels, its outer tap
    // after the row put in.
    const __mmask16 pixels = __mmask16((1u << k) - 1), end = __mmask16(1u << (k - 1));
    const __mmask16 left = j > 0 ? pixels : __mmask16(pixels & ~1u);
    const __m512i l = _mm512_mask_loadu_epi32(j > 0 ? ones : _mm512_mask_set1_epi32(ones, 1, int(before)), left,
                                              m + 4 * j - 4);
    const __m512i r = _mm512_mask_loadu_epi32(_mm512_mask_set1_epi32(ones, end, int(after)),
                                              __mmask16(pixels & ~end), m + 4 * j + 4);
    all = LanesOf<Lanes>(l, _mm512_mask_loadu_epi32(ones, pixels, m + 4 * j), r, out + 4 * j, n,
                         k == 16 ? ~__mmask64(0) : (__mmask64(1) << (4 * k)) - 1, all);
    if constexpr (Lanes::Rule::kChecksAlpha)
        return Every(all);
    else
        return 0xFFFFFFFFu;
}
#undef KX_AVX512

// The AVX-512 byte loop of a rule: written out for the 16-bit rules.
template <class Rule>
BytesFunction Avx512For()
{
    if constexpr (std::is_same_v<Rule, KXThreeTapSpans::SharpenRule16>)
        return Avx512Lanes<SharpenLanes>;
    else if constexpr (std::is_same_v<Rule, KXThreeTapSpans::SmoothenRule16>)
        return Avx512Lanes<SmoothenLanes>;
    else
        return Avx512<Rule>;
}
#endif

template <class Rule>
BytesFunction Choose()
{
#if defined(KX_ISA_X86)
    switch (KXIsa::Current()) {
    case Level::Avx512:
        return Avx512For<Rule>();
    case Level::Avx2:
        return Avx2<Rule>;
    default:
        break;
    }
#endif
    return Plain<Rule>;
}

// The row form of a 16-bit rule where the AVX-512 lanes are in use, else
// none.
template <class Rule>
KXThreeTapSpans::RowFunction ChooseRow()
{
#if defined(KX_ISA_X86)
    if (KXIsa::Allows(Level::Avx512)) {
        if constexpr (std::is_same_v<Rule, KXThreeTapSpans::SharpenRule16>)
            return Avx512Row<SharpenLanes>;
        else
            return Avx512Row<SmoothenLanes>;
    }
#endif
    return nullptr;
}

} // namespace

KXThreeTapSpans::RowFunction KXThreeTapSpans::SharpenRowFor(int n)
{
    return n <= kMaxSharpen16 ? ChooseRow<SharpenRule16>() : nullptr;
}

KXThreeTapSpans::RowFunction KXThreeTapSpans::SmoothenRowFor(int n)
{
    return n <= kMaxSmoothen16 ? ChooseRow<SmoothenRule16>() : nullptr;
}

KXThreeTapSpans::BytesFunction KXThreeTapSpans::SharpenBytesFor(int n)
{
    return n <= kMaxSharpen16 ? Choose<SharpenRule16>() : Choose<SharpenRule>();
}

KXThreeTapSpans::BytesFunction KXThreeTapSpans::SmoothenBytesFor(int n)
{
    return n <= kMaxSmoothen16 ? Choose<SmoothenRule16>() : Choose<SmoothenRule>();
}

void KXThreeTapSpans::SharpenBytes(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int count,
                                   int n)
{
    SharpenBytesFor(n)(l, m, r, out, count, n);
}

void KXThreeTapSpans::SmoothenBytes(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int count,
                                    int n)
{
    SmoothenBytesFor(n)(l, m, r, out, count, n);
}
