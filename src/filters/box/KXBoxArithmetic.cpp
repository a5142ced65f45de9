// The alpha-weighted box line, with the accumulator's arithmetic done
// faster and bit for bit the same:
//
// - Terms. Each window pixel's terms (b a / 255, g a / 255, r a / 255, a)
//   are worked out once, packed into a word (every term is a byte), four
//   (with AVX2 eight, with AVX-512 sixteen) pixels at a time. x / 255 for x = c a <= 65025
//   is (x * 0x8081) >> 23 (KXArithmetic::DivideBy255).
// - Sums. The window slides with integer additions of the unpacked terms
//   (in the band form the sums of sixteen lines side by side), a block of
//   positions at a time, into a small buffer of sums.
// - Averages. A = S / d and each colour ((S / d) 255) / A are finished
//   several pixels at a time with single-precision multiplications by a
//   reciprocal and one correction step instead of divisions. Every value
//   involved is an integer below 2^24 (S <= 255 d with d < 65536; the
//   colour numerators N <= 255 A because each colour term is at most its
//   alpha; quotient estimates q0 <= 256), so the products q0 v and the
//   remainders x - q0 v are exact floats. The estimate q0 = trunc(x y), y
//   a reciprocal of the divisor v, lies within 1 of floor(x / v): y =
//   RN(1 / d) and the rounded product are each off by less than 2^-24
//   relatively, so x y is within 255 * 2^-22 of S / d; y = rcp(A), the
//   processor's estimate with a relative error of at most 1.5 * 2^-12
//   (2^-14 for the AVX-512 estimate), puts x y within 255 * 1.5 * 2^-12 <
//   0.1 of N / A (x y >= 0, so truncating and rounding towards zero agree).
//   Hence the remainder lies in [-v, 2v), and adding 1 where it is >= v and
//   subtracting 1 where it is < 0 gives floor(x / v).
// - With AVX2, for counts up to 257 (sums below 2^16), sixteen averages at
//   a time as 16-bit multiplications (S m) >> shift, exact for every sum
//   (KXBoxArithmetic::CountDivisorOf16); a group of sixteen opaque
//   windows is then finished, the others go on as below.
// - For d < 2^14 the average needs no correction: A = trunc((S + 1/2) y).
//   S + 1/2 is exact (S < 2^22), and (S + 1/2) / d = floor(S / d) + (f +
//   1/2) / d with f = S mod d in 0 … d - 1, so it lies at least 1 / (2d) >
//   2^-15 from either integer around it; the two roundings (y and the
//   product) put (S + 1/2) y within (S + 1/2) / d * 2^-23 (1 + 2^-25) <
//   256 * 2^-23 = 2^-15 of it, so the truncation is floor(S / d).
// - Where A < 1 the pixel is the zero pixel, as the accumulator writes.
// - Where A = 255 (an opaque window) each colour is ((S / d) 255) / 255 =
//   S / d, the average itself: groups of opaque pixels skip the second
//   division.
//
// The plain accumulator line stays for radii whose sums could reach 2^24.

#include "KXBoxArithmetic.h"
#include "KXBoxLineWidth.h"

#include "core/KXArithmetic.h"
#include "core/KXIsa.h"

#include <array>

#if defined(__SSE2__)

namespace {

using KXIsa::Level;
using namespace KXBoxArithmetic;

constexpr int kHalfStepCount = 1 << 14; // counts whose average needs no correction

void TermsSse2(const uint32_t* in, int n, uint32_t* out)
{
    int q = 0;
    for (; q + 4 <= n; q += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + q),
                         Terms4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + q))));
    for (; q < n; ++q)
        out[q] = Term(in[q]);
}

// floor(x / v) from the estimate x * y (see above); all lanes hold integers.
inline __m128 Quotient(__m128 x, __m128 v, __m128 y)
{
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 q = _mm_cvtepi32_ps(_mm_cvttps_epi32(_mm_mul_ps(x, y)));
    const __m128 rest = _mm_sub_ps(x, _mm_mul_ps(q, v));
    return _mm_sub_ps(_mm_add_ps(q, _mm_and_ps(_mm_cmpge_ps(rest, v), one)),
                      _mm_and_ps(_mm_cmplt_ps(rest, _mm_setzero_ps()), one));
}

// floor(s / d) for sums s, y = RN(1 / d): without correction below
// kHalfStepCount (halfStep), else with it.
inline __m128 Average(__m128 s, __m128 count, __m128 reciprocal, bool halfStep)
{
    if (halfStep)
        return _mm_cvtepi32_ps(_mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(s, _mm_set1_ps(0.5f)), reciprocal)));
    return Quotient(s, count, reciprocal);
}

// One pixel from its four sums (b, g, r, a).
inline uint32_t Finish1(__m128i sums, __m128 count, __m128 reciprocal, bool halfStep)
{
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 average = Average(_mm_cvtepi32_ps(sums), count, reciprocal, halfStep);
    const __m128 alpha = _mm_shuffle_ps(average, average, 0xFF);
    if (_mm_movemask_ps(_mm_cmpeq_ps(alpha, _mm_set1_ps(255.0f))) == 0xF) {
        __m128i v = _mm_cvttps_epi32(average);
        v = _mm_packs_epi32(v, v);
        return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    }
    const __m128 divisor = _mm_max_ps(alpha, one);
    const __m128 colour = Quotient(_mm_mul_ps(average, _mm_set1_ps(255.0f)), divisor, _mm_rcp_ps(divisor));
    const __m128 alphaLane = _mm_castsi128_ps(_mm_setr_epi32(0, 0, 0, -1));
    __m128 result = _mm_or_ps(_mm_andnot_ps(alphaLane, colour), _mm_and_ps(alphaLane, average));
    result = _mm_andnot_ps(_mm_cmplt_ps(alpha, one), result);
    __m128i v = _mm_cvttps_epi32(result);
    v = _mm_packs_epi32(v, v);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
}

void FinishSse2(const int32_t* sums, int n, int d, uint32_t* out)
{
    const __m128 count = _mm_set1_ps(float(d)), reciprocal = _mm_set1_ps(1.0f / float(d));
    const bool halfStep = d < kHalfStepCount;
    for (int j = 0; j < n; ++j)
        out[j] = Finish1(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * j)), count, reciprocal, halfStep);
}

#if defined(KX_ISA_X86)
// Terms4 eight pixels a vector: the same 16-bit lane arithmetic on the same
// words (unpacking, packing and the alpha blend work within each 128-bit
// half, so the pixels keep their order), the alpha word of each pixel
// spread over its four by a byte shuffle instead of shufflelo/hi; the last
// few pixels go through Terms4. Eight opaque pixels are their own terms
// ((c 255) / 255 = c), copied (or, in place, left) as they are.
__attribute__((target("avx2"))) void TermsAvx2(const uint32_t* in, int n, uint32_t* out)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i magic = _mm256_set1_epi16(short(0x8081));
    const long long lo = 0x0706070607060706LL, hi = 0x0F0E0F0E0F0E0F0ELL; // bytes 6, 7 and 14, 15 of each lane
    const __m256i spread = _mm256_set_epi64x(hi, lo, hi, lo);
    const __m256i alphaBytes = _mm256_set1_epi32(int(0xFF000000u));
    const bool inPlace = in == out;
    int q = 0;
    for (; q + 8 <= n; q += 8) {
        const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + q));
        if (_mm256_testc_si256(pixels, alphaBytes)) {
            if (!inPlace)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + q), pixels);
            continue;
        }
        __m256i words[2] = {_mm256_unpacklo_epi8(pixels, zero), _mm256_unpackhi_epi8(pixels, zero)};
        for (__m256i& v : words) {
            const __m256i a = _mm256_shuffle_epi8(v, spread);
            const __m256i t = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(v, a), magic), 7);
            v = _mm256_blend_epi16(t, v, 0x88); // words 3 and 7 of each half: alpha kept
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + q), _mm256_packus_epi16(words[0], words[1]));
    }
    if (q < n)
        TermsSse2(in + q, n - q, out + q);
}

// The same, two pixels a vector.
__attribute__((target("avx2"), always_inline)) inline __m256 Quotient8(__m256 x, __m256 v, __m256 y)
{
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 q = _mm256_round_ps(_mm256_mul_ps(x, y), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256 rest = _mm256_sub_ps(x, _mm256_mul_ps(q, v));
    return _mm256_sub_ps(_mm256_add_ps(q, _mm256_and_ps(_mm256_cmp_ps(rest, v, _CMP_GE_OQ), one)),
                         _mm256_and_ps(_mm256_cmp_ps(rest, _mm256_setzero_ps(), _CMP_LT_OQ), one));
}

// Two pixels a vector, two vectors a step. As with AVX-512 below, the
// averages come out as integers first (with a half step, trunc of the
// product is the truncated float the plain form converts) and the floats
// are made only for groups that are not opaque; the four pixels are packed
// (saturation changes nothing: every value is 0 … 255) and put back in
// order.
template <bool kHalfStep>
__attribute__((target("avx2"), always_inline)) inline __m256i FinishPairAvx2(const int32_t* at, __m256 count,
                                                                             __m256 reciprocal)
{
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256i alphaLanes = _mm256_setr_epi32(0, 0, 0, -1, 0, 0, 0, -1);
    const __m256 s = _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)));
    __m256 average = s;
    __m256i v;
    if (kHalfStep) {
        v = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(s, _mm256_set1_ps(0.5f)), reciprocal));
    } else {
        average = Quotient8(s, count, reciprocal);
        v = _mm256_cvttps_epi32(average);
    }
    if (!_mm256_testc_si256(_mm256_cmpeq_epi32(v, _mm256_set1_epi32(255)), alphaLanes)) {
        if (kHalfStep)
            average = _mm256_cvtepi32_ps(v);
        const __m256 alpha = _mm256_shuffle_ps(average, average, 0xFF);
        const __m256 divisor = _mm256_max_ps(alpha, one);
        const __m256 colour =
            Quotient8(_mm256_mul_ps(average, _mm256_set1_ps(255.0f)), divisor, _mm256_rcp_ps(divisor));
        __m256 result = _mm256_blendv_ps(colour, average, _mm256_castsi256_ps(alphaLanes));
        result = _mm256_andnot_ps(_mm256_cmp_ps(alpha, one, _CMP_LT_OQ), result);
        v = _mm256_cvttps_epi32(result);
    }
    return v;
}

// Four pixels from their sums at `at` into out[0 … 3].
template <bool kHalfStep>
__attribute__((target("avx2"), always_inline)) inline void Finish4Avx2(const int32_t* at, __m256 count,
                                                                       __m256 reciprocal, uint32_t* out)
{
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 4, 1, 5); // pixels 0, 1, 2, 3 after the packs
    const __m256i first = FinishPairAvx2<kHalfStep>(at, count, reciprocal);
    const __m256i second = FinishPairAvx2<kHalfStep>(at + 8, count, reciprocal);
    const __m256i words = _mm256_packs_epi32(first, second);
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words, words), order);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
}

// Sixteen pixels a step where the averages fit 16-bit lanes (S <= 255 d <
// 2^16, see CountDivisorOf16): the 32-bit sums packed to words (no
// saturation: every sum is 0 … 65535), each divided by the multiplication
// (S m) >> shift, exact for every such S, and packed to bytes (every
// average is 0 … 255) in pixel order. Where all sixteen alphas are 255
// those averages are the finished pixels (see the opaque case above);
// otherwise the group is finished four pixels at a time as below.
template <bool kHalfStep>
__attribute__((target("avx2"), always_inline)) inline int FinishOpaque16Avx2(const int32_t* sums, int n, int d,
                                                                             __m256 count, __m256 reciprocal,
                                                                             uint32_t* out)
{
    CountDivisor16 divisor;
    if (!CountDivisorOf16(d, divisor))
        return 0;
    const __m256i factor = _mm256_set1_epi16(short(divisor.factor));
    const __m128i shift = _mm_cvtsi32_si128(divisor.shift - 16);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7); // p0 p2 p4 p6 p1 p3 p5 p7 after the packs
    const __m256i alphaBytes = _mm256_set1_epi32(int(0xFF000000u));
    int j = 0;
    for (; j + 16 <= n; j += 16) {
        __m256i bytes[2];
        for (int h = 0; h < 2; ++h) {
            const int32_t* at = sums + 4 * j + 32 * h;
            __m256i words[2];
            for (int k = 0; k < 2; ++k) {
                const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 16 * k));
                const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 16 * k + 8));
                words[k] = _mm256_srl_epi16(_mm256_mulhi_epu16(_mm256_packus_epi32(a, b), factor), shift);
            }
            bytes[h] = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words[0], words[1]), order);
        }
        if (_mm256_testc_si256(_mm256_and_si256(bytes[0], bytes[1]), alphaBytes)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), bytes[0]);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j + 8), bytes[1]);
            continue;
        }
        for (int q = j; q < j + 16; q += 4)
            Finish4Avx2<kHalfStep>(sums + 4 * q, count, reciprocal, out + q);
    }
    return j;
}

template <bool kHalfStep>
__attribute__((target("avx2"), always_inline)) inline void FinishAvx2Of(const int32_t* sums, int n, int d,
                                                                        uint32_t* out)
{
    const __m256 count = _mm256_set1_ps(float(d)), reciprocal = _mm256_set1_ps(1.0f / float(d));
    int j = FinishOpaque16Avx2<kHalfStep>(sums, n, d, count, reciprocal, out);
    for (; j + 4 <= n; j += 4)
        Finish4Avx2<kHalfStep>(sums + 4 * j, count, reciprocal, out + j);
    if (j < n)
        FinishSse2(sums + 4 * j, n - j, d, out + j);
}

__attribute__((target("avx2"))) void FinishAvx2(const int32_t* sums, int n, int d, uint32_t* out)
{
    if (d < kHalfStepCount)
        FinishAvx2Of<true>(sums, n, d, out);
    else
        FinishAvx2Of<false>(sums, n, d, out);
}
#endif

// The same, four pixels a vector, the corrections as masked additions.
// (GCC 12's AVX-512 headers warn about their own undefined operands.)
#if !defined(__clang__) // a warning of GCC only
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((target("avx512f"), always_inline)) inline __m512 Quotient16(__m512 x, __m512 v, __m512 y)
{
    const __m512 one = _mm512_set1_ps(1.0f);
    __m512 q = _mm512_roundscale_ps(_mm512_mul_ps(x, y), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m512 rest = _mm512_sub_ps(x, _mm512_mul_ps(q, v));
    q = _mm512_mask_add_ps(q, _mm512_cmp_ps_mask(rest, v, _CMP_GE_OQ), q, one);
    return _mm512_mask_sub_ps(q, _mm512_cmp_ps_mask(rest, _mm512_setzero_ps(), _CMP_LT_OQ), q, one);
}

// The averages come out as integers (the finished pixel of an opaque
// group); the floats of the average are made only for the other groups.
template <bool kHalfStep>
__attribute__((target("avx512f"), always_inline)) inline void FinishAvx512Of(const int32_t* sums, int n, int d,
                                                                             uint32_t* out)
{
    const __m512 count = _mm512_set1_ps(float(d)), reciprocal = _mm512_set1_ps(1.0f / float(d));
    const __m512 one = _mm512_set1_ps(1.0f), scale = _mm512_set1_ps(255.0f), half = _mm512_set1_ps(0.5f);
    const __m512i opaque = _mm512_set1_epi32(255);
    const __mmask16 alphaLanes = 0x8888;
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m512 s = _mm512_cvtepi32_ps(_mm512_loadu_si512(sums + 4 * j));
        __m512 average = s;
        __m512i v;
        if (kHalfStep) {
            v = _mm512_cvttps_epi32(_mm512_mul_ps(_mm512_add_ps(s, half), reciprocal));
        } else {
            average = Quotient16(s, count, reciprocal);
            v = _mm512_cvttps_epi32(average);
        }
        if (_mm512_mask_cmpneq_epi32_mask(alphaLanes, v, opaque) != 0) {
            if (kHalfStep)
                average = _mm512_cvtepi32_ps(v);
            const __m512 alpha = _mm512_permute_ps(average, 0xFF);
            const __m512 divisor = _mm512_max_ps(alpha, one);
            const __m512 colour = Quotient16(_mm512_mul_ps(average, scale), divisor, _mm512_rcp14_ps(divisor));
            const __m512 result = _mm512_mask_mov_ps(colour, alphaLanes, average);
            const __mmask16 visible = _mm512_cmp_ps_mask(alpha, one, _CMP_GE_OQ);
            v = _mm512_maskz_cvttps_epi32(visible, result);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm512_cvtepi32_epi8(v));
    }
    if (j < n)
        FinishSse2(sums + 4 * j, n - j, d, out + j);
}

__attribute__((target("avx512f"))) void FinishAvx512(const int32_t* sums, int n, int d, uint32_t* out)
{
    if (d < kHalfStepCount)
        FinishAvx512Of<true>(sums, n, d, out);
    else
        FinishAvx512Of<false>(sums, n, d, out);
}

// Terms4 sixteen pixels a vector: the same 16-bit lane arithmetic, the
// alpha word of each pixel spread over its four by a byte shuffle; the
// last group is masked.
__attribute__((target("avx512f,avx512bw"))) void TermsAvx512(const uint32_t* in, int n, uint32_t* out)
{
    const __m512i zero = _mm512_setzero_si512();
    const __m512i magic = _mm512_set1_epi16(short(0x8081));
    const long long lo = 0x0706070607060706LL, hi = 0x0F0E0F0E0F0E0F0ELL; // bytes 6, 7 and 14, 15 of each lane
    const __m512i spread = _mm512_set_epi64(hi, lo, hi, lo, hi, lo, hi, lo);
    const __mmask32 alphaWords = 0x88888888u;
    for (int q = 0; q < n; q += 16) {
        const __mmask16 lanes = n - q >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (n - q)) - 1);
        const __m512i pixels = _mm512_maskz_loadu_epi32(lanes, in + q);
        __m512i words[2] = {_mm512_unpacklo_epi8(pixels, zero), _mm512_unpackhi_epi8(pixels, zero)};
        for (__m512i& v : words) {
            const __m512i a = _mm512_shuffle_epi8(v, spread);
            const __m512i t = _mm512_srli_epi16(_mm512_mulhi_epu16(_mm512_mullo_epi16(v, a), magic), 7);
            v = _mm512_mask_blend_epi16(alphaWords, t, v);
        }
        _mm512_mask_storeu_epi32(out + q, lanes, _mm512_packus_epi16(words[0], words[1]));
    }
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

} // namespace

namespace {

// The divisor of count d (0 in factor: none); see CountDivisorOf16.
KXBoxArithmetic::CountDivisor16 SearchDivisor16(int d)
{
    // For m = ceil(2^shift / d) = (2^shift + e) / d with 0 <= e < d, S m /
    // 2^shift = S / d + S e / (d 2^shift). Write S = q d + f with f <= d - 1:
    // the floor is q as long as f + S e / 2^shift < d, which S e < 2^shift
    // ensures, for every S <= 255 d once 255 d e < 2^shift. The largest
    // shift whose m stays below 2^16 (a 16-bit lane) and meets that is
    // taken, looked for from 15 + L down (2^(L-1) <= d < 2^L, so that
    // 2^(16+L) / d > 2^16); counts above 257 (sums past 16 bits) and a few
    // below have none.
    for (int shift = 47 - __builtin_clz(unsigned(d)); shift >= 16; --shift) {
        const uint64_t power = uint64_t(1) << shift;
        const uint64_t m = (power + uint64_t(d) - 1) / uint64_t(d);
        if (m < 65536 && 255 * uint64_t(d) * (m * uint64_t(d) - power) < power)
            return {int(m), shift};
    }
    return {0, 0};
}

} // namespace

bool KXBoxArithmetic::CountDivisorOf16(int d, CountDivisor16& divisor)
{
    // Searched once for every count, not once a line.
    static const std::array<CountDivisor16, 258> table = [] {
        std::array<CountDivisor16, 258> divisors{};
        for (int count = 2; count < 258; ++count)
            divisors[size_t(count)] = SearchDivisor16(count);
        return divisors;
    }();
    if (d < 2 || d > 257 || table[size_t(d)].factor == 0)
        return false;
    divisor = table[size_t(d)];
    return true;
}

int KXBoxLineWidth::DivideByCount16(int s, int d)
{
    KXBoxArithmetic::CountDivisor16 divisor;
    if (!KXBoxArithmetic::CountDivisorOf16(d, divisor))
        return -1;
    return int((uint32_t(s) * uint32_t(divisor.factor)) >> divisor.shift);
}

KXBoxArithmetic::TermsFunction KXBoxArithmetic::ChooseTerms()
{
#if defined(KX_ISA_X86)
    return KXIsa::ByLevel<TermsFunction>(TermsSse2, TermsAvx2, TermsAvx512);
#else
    return TermsSse2;
#endif
}

KXBoxArithmetic::FinishFunction KXBoxArithmetic::ChooseFinish()
{
#if defined(KX_ISA_X86)
    return KXIsa::ByLevel<FinishFunction>(FinishSse2, FinishAvx2, FinishAvx512);
#else
    return FinishSse2;
#endif
}

unsigned int KXBoxLineWidth::DivideBy255(unsigned int x)
{
    // The 16-bit lane arithmetic of Terms4, on one lane.
    const __m128i v = _mm_cvtsi32_si128(int(x));
    return unsigned(_mm_cvtsi128_si32(_mm_srli_epi16(_mm_mulhi_epu16(v, _mm_set1_epi16(short(0x8081))), 7))) & 0xFFFFu;
}

namespace {
#if defined(KX_ISA_X86)
__attribute__((target("avx512f"))) int DivideByAlpha14(int n, int a)
{
    const __m128 v = _mm_set1_ps(float(a));
    return _mm_cvtss_si32(Quotient(_mm_set1_ps(float(n)), v, _mm_rcp14_ss(v, v)));
}
#endif
} // namespace

int KXBoxLineWidth::DivideByAlpha(int n, int a)
{
#if defined(KX_ISA_X86)
    if (KXBoxArithmetic::ChooseFinish() == FinishAvx512) // its own reciprocal estimate
        return DivideByAlpha14(n, a);
#endif
    const __m128 v = _mm_set1_ps(float(a));
    return _mm_cvtss_si32(Quotient(_mm_set1_ps(float(n)), v, _mm_rcp_ps(v)));
}

int KXBoxLineWidth::DivideByCount(int s, int d)
{
    return _mm_cvtss_si32(
        Average(_mm_set1_ps(float(s)), _mm_set1_ps(float(d)), _mm_set1_ps(1.0f / float(d)), d < kHalfStepCount));
}

#else // no SSE2: the accumulator's own line

unsigned int KXBoxLineWidth::DivideBy255(unsigned int x)
{
    return KXArithmetic::DivideBy255(x);
}

int KXBoxLineWidth::DivideByAlpha(int n, int a)
{
    return n / a;
}

int KXBoxLineWidth::DivideByCount(int s, int d)
{
    return s / d;
}

int KXBoxLineWidth::DivideByCount16(int, int)
{
    return -1;
}

#endif
