#ifndef KXGAUSSIANCERTIFIED_H
#define KXGAUSSIANCERTIFIED_H

// Opaque blocks of the alpha-weighted Gaussian span summed in float and
// certified against the exact double sum, with the exact per-pixel kernel
// as the fallback. Included by the spans and the bands of sixteen lines
// (KXGaussianBandSums.h); the vector code is inlined into their AVX2 and
// AVX-512 forms. Private to the library.
//
// Where every source pixel a destination reads is opaque, the exact path
// gives each colour byte as RoundedByte(Y) with Y = RN(RN(RN(C 255) / 255)
// + 0.5), C the in-order double sum of the 2r + 1 terms
// RN(RN(RN(c w) 255) / 255), and alpha 255 (RoundedByte of Σ w 255, checked
// at setup). Let S = Σ c_k w_k, the real sum, and u = 2^-53:
//  - each term is c w (1 + d1)(1 + d2)(1 + d3), |d| <= u, and the sum of
//    n = 2r + 1 non-negative terms below 256 adds at most (n - 1) u 256, so
//    |C - S| <= (n + 3) u 256;
//  - the two roundings of the division and that of + 0.5 add 3 u 256;
//  so |Y - (S + 0.5)| <= (n + 6) 2^-45, below 2^-30 for any radius these
//  spans take (r <= 128).
// The float estimate F: weights f_m = RN_f(w_m); the two taps at distance m
// added as exact integers p_m = c_-m + c_m <= 510; F the chain of fused
// multiply-adds from m = r down to m = 0 (p_0 = c_0 <= 255). Then
//  - Σ f_m p_m differs from S by at most Σ |f_m - w_m| 510 (255 for m = 0);
//  - each fused step rounds once, by at most 2^-24 times the magnitude of
//    its result, itself at most B + (the error so far), B the partial sum of
//    f_m 510 (f_0 255) up to that step;
//  - y = RN_f(F + 0.5) < 256 rounds by at most 2^-17.
// E is the sum of these, enlarged (x 1.001 + 2^-30) for the double side
// and the rounding of the bound's own arithmetic. If y - floor(y) lies
// strictly between E and 1 - E, no integer lies between y and Y: floor(y)
// is the exact path's byte before clamping, and clamping integers to
// 0 … 255 agrees with RoundedByte. Other lanes take the exact kernel
// (measured on a photo: 0.03, 0.05 and 0.16 % of the pixels at sigma 2, 5
// and 20, about 6 E: E is 5.3e-5, 8.8e-5 and 2.7e-4 there).
//
// Blocks with translucent pixels are summed the same way, weighted: the
// alpha sum A = Σ RN(w a) is estimated from the pairs a_-m + a_m <= 510
// exactly as a colour of an opaque block (fewer roundings on the double
// side), so the same E certifies alpha = RoundedByte(A). A colour's exact
// byte is RoundedByte(RN(RN(C 255) / alpha)), C the in-order sum of
// RN(RN(RN(c w) a) / 255), which lies within (n + 6) u Q of
// S' / alpha + 0.5, S' = Σ w c a, Q a bound on S' / alpha: S' <= 255 A,
// and A < alpha + 0.5 unless alpha is clamped to 255, so
// Q = max(382.5, 255 Σ w) (enlarged by 1e-9); (n + 6) u Q is below 2^-30.
// The float estimate takes the pairs P_m = c_-m a_-m + c_m a_m (exact
// integers below 2^24), F the same chain of fused multiply-adds:
//  - Σ f_m P_m differs from S' by at most rho S', rho the largest relative
//    error |f_m - w_m| / w_m of the float weights (all terms >= 0);
//  - the r + 1 fused steps round each by at most 2^-24 times a partial
//    sum, at most (r + 1) 2^-24 (1 + rho) S' together (x 1.001 for the
//    growth of the partial sums);
//  - q = RN_f(F / alpha) and y = RN_f(q + 0.5) add 2^-24 (1.01 Q) and
//    2^-24 (1.01 Q + 0.5).
// Ec, their sum enlarged as E is, certifies a colour as E does: if
// y - floor(y) lies in (Ec, 1 - Ec), floor(y) clamped to 255 is the exact
// byte. Where alpha is 0 the pixel is 0 whatever the colours; a block
// whose pixels all have alpha 0 is 0 throughout, and no sums are taken.

#include "core/KXIsa.h"
#include "KXGaussianSpans.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(KX_ISA_X86)
#include <immintrin.h>
#endif

// The vector helpers are always inlined into the spans of each width, so
// the calling convention of wide vectors never matters.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace KXGaussianCertified {

// A margin added to E (tests: one just below 0.5 sends nearly every lane to
// the fallback; from 0.5 on the float sums are not used at all).
inline std::atomic<double>& ExtraMargin()
{
    static std::atomic<double> margin{0.0};
    return margin;
}

// The float weights and acceptance bounds of w[0] … w[r].
struct Weights {
    std::vector<double> key; // w[0] … w[r], then the margin
    std::vector<float> f;    // RN_f(w[m])
    float lo = 1.0f, hi = 0.0f; // accept y - floor(y) in (lo, hi)
    bool usable = false;     // alpha of an opaque block is 255 and lo < hi
    float clo = 1.0f, chi = 0.0f; // translucent colours: accept y - floor(y) in (clo, chi)
    bool translucent = false;     // usable, and clo < chi
};

// The float bound (lo, hi) for a bound e on the error of y: lo >= e and
// hi <= 1 - e - 2^-40, both as floats.
inline void AcceptBetween(double e, float& lo, float& hi)
{
    lo = static_cast<float>(e);
    if (double(lo) < e)
        lo = std::nextafter(lo, 1.0f);
    hi = static_cast<float>(1.0 - e - 0x1p-40);
    if (double(hi) > 1.0 - e - 0x1p-40)
        hi = std::nextafter(hi, 0.0f);
}

// Those of `w` (w[m] the weight at distance m, r <= 128); kept per thread
// while the weights stay.
inline const Weights& WeightsFor(const double* w, int r)
{
    thread_local Weights cache;
    const double margin = ExtraMargin().load(std::memory_order_relaxed);
    const size_t count = static_cast<size_t>(r) + 1;
    if (cache.key.size() == count + 1 && std::equal(w, w + count, cache.key.begin()) && cache.key[count] == margin)
        return cache;
    cache.key.assign(w, w + count);
    cache.key.push_back(margin);
    cache.f.resize(count);
    double alphaSum = 0.0; // as the exact path sums it
    for (int k = -r; k <= r; ++k)
        alphaSum += w[k < 0 ? -k : k] * 255.0;
    double weightError = 0.0, bound = 0.0, fusedError = 0.0;
    double rho = 0.0, weightSum = 0.0; // the largest relative error of a float weight; Σ w
    for (int m = r; m >= 0; --m) {
        const float f = static_cast<float>(w[m]);
        cache.f[size_t(m)] = f;
        const double pairMax = m == 0 ? 255.0 : 510.0;
        weightError += std::fabs(double(f) - w[m]) * pairMax;
        bound += double(f) * pairMax;
        fusedError += 0x1p-24 * (bound + fusedError);
        rho = w[m] > 0.0 ? std::max(rho, std::fabs(double(f) - w[m]) / w[m]) : 1.0;
        weightSum += m == 0 ? w[m] : 2.0 * w[m];
    }
    const double e = (weightError + fusedError + 0x1p-17) * 1.001 + 0x1p-30 + margin;
    AcceptBetween(e, cache.lo, cache.hi);
    cache.usable = KXGaussianSpans::RoundedByte(alphaSum) == 255 && cache.lo < cache.hi;
    const double q = std::max(382.5, 255.0 * weightSum) * (1.0 + 1e-9);
    const double fused = (r + 1) * 0x1p-24 * (1.0 + rho) * 1.001;
    const double ec = ((rho + fused) * q + 0x1p-24 * (2.02 * q + 0.5)) * 1.001 + 0x1p-30 + margin;
    AcceptBetween(ec, cache.clo, cache.chi);
    cache.translucent = cache.usable && rho < 0.001 && cache.clo < cache.chi;
    return cache;
}

// Lanes: 16 (AVX-512) or 8 (AVX2) floats a vector.
template <int Lanes>
struct Vec {
    typedef float F __attribute__((vector_size(4 * Lanes)));
    typedef int I __attribute__((vector_size(4 * Lanes)));
    typedef unsigned U __attribute__((vector_size(4 * Lanes)));
};

template <class V>
inline __attribute__((always_inline)) V LoadV(const void* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Source pixels base … base + count - 1 (clamped into 0 … last) into three
// float planes (b, g, r), or, Weighted, four: each colour times the pixel's
// alpha (an exact integer in float) and alpha. Returns the AND of their
// alpha bytes in bits 0 … 7 and their OR in bits 8 … 15.
template <int Lanes, bool Weighted = false>
inline __attribute__((always_inline)) unsigned FillFloatPlanes(const KXRGBA32i* source, int last, int64_t base,
                                                              int count, float* const* plane)
{
    typedef typename Vec<Lanes>::U U;
    typedef typename Vec<Lanes>::I I;
    typedef typename Vec<Lanes>::F F;
    unsigned alpha = 255, anyAlpha = 0;
    int q = 0;
    const auto one = [&](int at) {
        const int64_t i = base + at;
        const KXRGBA32i& p = source[i < 0 ? 0 : i > last ? last : i];
        const float a = Weighted ? p.a : 1.0f;
        plane[0][at] = p.b * a;
        plane[1][at] = p.g * a;
        plane[2][at] = p.r * a;
        if (Weighted)
            plane[3][at] = a;
        alpha &= p.a;
        anyAlpha |= p.a;
    };
    for (; q < count && base + q < 0; ++q)
        one(q);
    const int inside = static_cast<int>(std::min<int64_t>(count, int64_t(last) + 1 - base));
    U all = ~U{}, any = U{};
    const auto vector = [&](int at) {
        const U pixels = LoadV<U>(source + base + at);
        all &= pixels;
        any |= pixels;
        const F a = __builtin_convertvector(I(pixels >> 24), F);
        for (int c = 0; c < 3; ++c) {
            F v = __builtin_convertvector(I((pixels >> (8 * c)) & 255u), F);
            if (Weighted)
                v *= a;
            std::memcpy(plane[c] + at, &v, sizeof v);
        }
        if (Weighted)
            std::memcpy(plane[3] + at, &a, sizeof a);
    };
    const int from = q;
    for (; q + Lanes <= inside; q += Lanes)
        vector(q);
    if (q < inside && inside - from >= Lanes) { // the rest inside, overlapping the last vector
        vector(inside - Lanes);
        q = inside;
    }
    for (int lane = 0; lane < Lanes; ++lane) {
        alpha &= all[lane] >> 24;
        anyAlpha |= any[lane] >> 24;
    }
    for (; q < count; ++q)
        one(q);
    return alpha | anyAlpha << 8;
}

// Groups vectors of Lanes destinations: vector i's centre taps at
// plane[c] + at + Group i, a tap m places away Step m floats farther (along
// a line: Step 1, Group Lanes; across the columns of a band: Step = Group =
// Lanes); their pixels into out[], and bit j of bad[i] set where lane j's
// bytes are not all certified. Opaque (not Weighted): planes b, g, r of
// opaque pixels; Weighted: the planes of FillFloatPlanes<Lanes, true>. Ops:
// the fused multiply-add Fma(a, b, c), InRange(x, lo, hi), the bits of
// the lanes with lo < x < hi, and AtMost255(x), x = min(x, 255) in integers.
template <class Ops, int Lanes, int Groups, int Step = 1, int Group = Lanes, bool Weighted = false>
inline __attribute__((always_inline)) void CertifiedGroups(const float* const* plane, int at, int r,
                                                          const Weights& cw, typename Vec<Lanes>::U* out,
                                                          unsigned* bad)
{
    typedef typename Vec<Lanes>::F F;
    typedef typename Vec<Lanes>::I I;
    typedef typename Vec<Lanes>::U U;
    constexpr int kChannels = Weighted ? 4 : 3;
    F acc[kChannels][Groups];
    for (int c = 0; c < kChannels; ++c)
        for (int i = 0; i < Groups; ++i)
            acc[c][i] = F{};
    for (int m = r; m >= 1; --m) {
        const F f = cw.f[size_t(m)] - F{};
        for (int c = 0; c < kChannels; ++c) {
            const float* p = plane[c] + at;
            for (int i = 0; i < Groups; ++i)
#if defined(__clang__)
                Ops::Fma(f, LoadV<F>(p + Group * i - Step * m) + LoadV<F>(p + Group * i + Step * m), acc[c][i]);
#else
                acc[c][i] = Ops::Fma(f, LoadV<F>(p + Group * i - Step * m) + LoadV<F>(p + Group * i + Step * m),
                                     acc[c][i]);
#endif
        }
    }
    const F f0 = cw.f[0] - F{};
    const F lo = cw.lo - F{}, hi = cw.hi - F{};
    const F clo = cw.clo - F{}, chi = cw.chi - F{};
    for (int i = 0; i < Groups; ++i) {
        unsigned certified = (1u << Lanes) - 1;
        U pixel = U{} + 0xFF000000u, alpha = U{} + 255u;
        F divisor = F{};
        // Channel 3 (alpha, Weighted only) first, then the colours: the
        // centre tap added, floor(y) clamped to 255 (y >= 0), lanes within
        // the bound of an integer cleared from `certified`.
        for (int t = 0; t < kChannels; ++t) {
            const int c = Weighted ? (t + 3) % 4 : t;
#if defined(__clang__)
            F y = acc[c][i];
            Ops::Fma(f0, LoadV<F>(plane[c] + at + Group * i), y);
#else
            F y = Ops::Fma(f0, LoadV<F>(plane[c] + at + Group * i), acc[c][i]);
#endif
            if (Weighted && c < 3)
                y /= divisor;
            y += 0.5f;
            const I whole = __builtin_convertvector(y, I); // y >= 0: its floor
            certified &= c < 3 && Weighted ? Ops::InRange(y - __builtin_convertvector(whole, F), clo, chi)
                                           : Ops::InRange(y - __builtin_convertvector(whole, F), lo, hi);
            I clamped = whole;
            Ops::AtMost255(clamped);
            const U value = U(clamped);
            if (c == 3) {
                alpha = value;
                divisor = __builtin_convertvector(I(alpha == U{} ? U{} + 1u : alpha), F);
                pixel = alpha << 24;
            } else {
                pixel |= value << (8 * c);
            }
        }
        out[i] = alpha == U{} ? U{} : pixel;
        bad[i] = ~certified & ((1u << Lanes) - 1);
    }
}

// The pixel the per-pixel kernel gives for centre `centre` of the source
// pixels line[0], line[stride], … line[last stride] (clamped), weights
// w[0] … w[2r].
inline KXRGBA32i ExactPixel(const KXRGBA32i* line, std::ptrdiff_t stride, int last, int64_t centre, const double* w,
                            int r)
{
    double b = 0.0, g = 0.0, red = 0.0, a = 0.0;
    for (int k = -r; k <= r; ++k) {
        const double wk = w[k + r];
        const int64_t at = centre + k;
        const KXRGBA32i& p = line[(at < 0 ? 0 : at > last ? last : at) * stride];
        a += wk * p.a;
        b += p.b * wk * p.a / 255.0;
        g += p.g * wk * p.a / 255.0;
        red += p.r * wk * p.a / 255.0;
    }
    return KXGaussianSpans::Finish<KXGaussianSpans::GaussMode::Premul>(KXRGBA32i(), b, g, red, a);
}

#if defined(KX_ISA_X86)
// GCC takes the vectors by value, which keeps the sums in registers; clang
// refuses wide vectors passed by value between functions built for
// different instruction sets, so there they go by reference (Fma then
// updates its last argument).
#if defined(__clang__)
#define KX_VECTOR_IN const F&
#else
#define KX_VECTOR_IN F
#endif

// The operations of CertifiedGroups on AVX2: eight floats a vector, two groups.
struct OpsAvx2 {
    static constexpr int kLanes = 8, kGroups = 2;
    typedef Vec<kLanes>::F F;
#if defined(__clang__)
    static __attribute__((target("avx2,fma"))) inline void Fma(const F& a, const F& b, F& c)
    {
        c = F(_mm256_fmadd_ps(__m256(a), __m256(b), __m256(c)));
    }
#else
    static __attribute__((target("avx2,fma"))) inline F Fma(F a, F b, F c)
    {
        return F(_mm256_fmadd_ps(__m256(a), __m256(b), __m256(c)));
    }
#endif
    static __attribute__((target("avx2"))) inline unsigned InRange(KX_VECTOR_IN x, KX_VECTOR_IN lo, KX_VECTOR_IN hi)
    {
        return unsigned(_mm256_movemask_ps(_mm256_and_ps(_mm256_cmp_ps(__m256(x), __m256(lo), _CMP_GT_OQ),
                                                         _mm256_cmp_ps(__m256(x), __m256(hi), _CMP_LT_OQ))));
    }
    static __attribute__((target("avx2"))) inline void AtMost255(Vec<kLanes>::I& x)
    {
        x = Vec<kLanes>::I(_mm256_min_epi32(__m256i(x), _mm256_set1_epi32(255)));
    }
};

// On AVX-512: sixteen floats a vector, four groups.
struct OpsAvx512 {
    static constexpr int kLanes = 16, kGroups = 4;
    typedef Vec<kLanes>::F F;
#if defined(__clang__)
    static __attribute__((target("avx512f"))) inline void Fma(const F& a, const F& b, F& c)
    {
        c = F(_mm512_fmadd_ps(__m512(a), __m512(b), __m512(c)));
    }
#else
    static __attribute__((target("avx512f"))) inline F Fma(F a, F b, F c)
    {
        return F(_mm512_fmadd_ps(__m512(a), __m512(b), __m512(c)));
    }
#endif
    static __attribute__((target("avx512f"))) inline unsigned InRange(KX_VECTOR_IN x, KX_VECTOR_IN lo, KX_VECTOR_IN hi)
    {
        return _mm512_cmp_ps_mask(__m512(x), __m512(lo), _CMP_GT_OQ) & _mm512_cmp_ps_mask(__m512(x), __m512(hi), _CMP_LT_OQ);
    }
    static __attribute__((target("avx512f"))) inline void AtMost255(Vec<kLanes>::I& x)
    {
        // (The masked form: the plain one makes GCC 12 warn of its undefined source.)
        x = Vec<kLanes>::I(_mm512_mask_min_epi32(__m512i(x), 0xFFFF, __m512i(x), _mm512_set1_epi32(255)));
    }
};

#undef KX_VECTOR_IN
#endif

} // namespace KXGaussianCertified

#endif // KXGAUSSIANCERTIFIED_H
