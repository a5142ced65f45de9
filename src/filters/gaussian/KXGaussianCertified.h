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
// and the rounding of the bound's own arithmetic. The sums take no y: with
// q the integer nearest F and d = F - q (exact: |d| <= 1/2 and F, q share
// the scale), F + 0.5 = q + (d + 0.5) exactly, and if |d| < 1/2 - E then
// Y, within E of F + 0.5 (the bound above counts the rounding of y, which
// is not even made), lies strictly between q and q + 1: q is the exact
// path's byte before clamping, and clamping integers to 0 … 255 agrees
// with RoundedByte. Other lanes take the exact kernel
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
//    2^-24 (1.01 Q + 0.5) (y is not made: a bound to spare).
// Ec, their sum enlarged as E is, certifies a colour as E does, q in the
// place of F: if q is within 1/2 - Ec of an integer, that integer clamped
// to 255 is the exact byte. Where alpha is 0 the pixel is 0 whatever the colours; a block
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
#pragma GCC diagnostic push
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
    float near = 0.0f;       // accept a sum within `near` of an integer
    bool usable = false;     // alpha of an opaque block is 255 and near > 0
    float cnear = 0.0f;      // translucent colours: the same for F / alpha
    bool translucent = false; // usable, and cnear > 0
    bool below256 = false;    // every opaque float sum F is below 255.5, so its nearest integer is at most 255
};

// The float bound for a bound e on the error of F + 0.5: at most
// 1/2 - e - 2^-40 (rounded down), 0 where that is not positive.
inline float AcceptWithin(double e)
{
    const double bound = 0.5 - e - 0x1p-40;
    float near = static_cast<float>(bound);
    if (double(near) > bound)
        near = std::nextafter(near, 0.0f);
    return near > 0.0f ? near : 0.0f;
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
    cache.near = AcceptWithin(e);
    cache.usable = KXGaussianSpans::RoundedByte(alphaSum) == 255 && cache.near > 0.0f;
    const double q = std::max(382.5, 255.0 * weightSum) * (1.0 + 1e-9);
    const double fused = (r + 1) * 0x1p-24 * (1.0 + rho) * 1.001;
    const double ec = ((rho + fused) * q + 0x1p-24 * (2.02 * q + 0.5)) * 1.001 + 0x1p-30 + margin;
    cache.cnear = AcceptWithin(ec);
    cache.translucent = cache.usable && rho < 0.001 && cache.cnear > 0.0f;
    // F is within fusedError of Σ f_m p_m, at most `bound`.
    cache.below256 = bound + fusedError < 255.5;
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

// The sums of all taps but the centre of Groups vectors of Lanes
// destinations, Channels planes: acc[c][i] for vector i, whose centre taps
// lie at plane[c] + at + Group i, a tap m places away Step m floats
// farther; the chain of fused multiply-adds from m = r down to m = 1 on
// the exact pairs of taps (see the file comment). R > 0: r is R, and the
// chain is unrolled (the same operations in the same order).
template <class Ops, int Lanes, int Groups, int Step, int Group, int Channels, int R = 0>
inline __attribute__((always_inline)) void TapSums(const float* const* plane, int at, int r, const Weights& cw,
                                                  typename Vec<Lanes>::F (&acc)[Channels][Groups])
{
    typedef typename Vec<Lanes>::F F;
    for (int c = 0; c < Channels; ++c)
        for (int i = 0; i < Groups; ++i)
            acc[c][i] = F{};
    const auto tap = [&](int m) __attribute__((always_inline)) {
        const F f = cw.f[size_t(m)] - F{};
        for (int c = 0; c < Channels; ++c) {
            const float* p = plane[c] + at;
            for (int i = 0; i < Groups; ++i)
#if defined(__clang__)
                Ops::Fma(f, LoadV<F>(p + Group * i - Step * m) + LoadV<F>(p + Group * i + Step * m), acc[c][i]);
#else
                acc[c][i] = Ops::Fma(f, LoadV<F>(p + Group * i - Step * m) + LoadV<F>(p + Group * i + Step * m),
                                     acc[c][i]);
#endif
        }
    };
    if constexpr (R > 0) {
#pragma GCC unroll 16
        for (int m = R; m >= 1; --m)
            tap(m);
    } else {
        for (int m = r; m >= 1; --m)
            tap(m);
    }
}

// y = acc + f0 c, c the centre taps at `centre`: the last fused
// multiply-add of the chain.
template <class Ops, int Lanes>
inline __attribute__((always_inline)) void WithCentre(const typename Vec<Lanes>::F& acc,
                                                     const typename Vec<Lanes>::F& f0, const float* centre,
                                                     typename Vec<Lanes>::F& y)
{
    typedef typename Vec<Lanes>::F F;
#if defined(__clang__)
    y = acc;
    Ops::Fma(f0, LoadV<F>(centre), y);
#else
    y = Ops::Fma(f0, LoadV<F>(centre), acc);
#endif
}

// Groups vectors of Lanes destinations: vector i's centre taps at
// plane[c] + at + Group i, a tap m places away Step m floats farther (along
// a line: Step 1, Group Lanes; across the columns of a band: Step = Group =
// Lanes); their pixels into out[], and bit j of bad[i] set where lane j's
// bytes are not all certified. Opaque (not Weighted): planes b, g, r of
// opaque pixels; Weighted: the planes of FillFloatPlanes<Lanes, true>. Ops:
// the fused multiply-add Fma(a, b, c); Nearest(x, q), the integers nearest
// x (as floats); Within(x, h, m), the lanes with |x| < h, as a Mask (All(),
// the mask of every lane, and &), Bits(mask) its lanes as bits;
// AtMost255(x), x = min(x, 255) in integers; Pixels(b, g, r, a, out), the
// four integers of each lane clamped to 0 … 255 into one word (b in its low
// byte).
template <class Ops, int Lanes, int Groups, int Step = 1, int Group = Lanes, bool Weighted = false, int R = 0>
inline __attribute__((always_inline)) void CertifiedGroups(const float* const* plane, int at, int r,
                                                          const Weights& cw, typename Vec<Lanes>::U* out,
                                                          unsigned* bad)
{
    typedef typename Vec<Lanes>::F F;
    typedef typename Vec<Lanes>::I I;
    typedef typename Vec<Lanes>::U U;
    constexpr int kChannels = Weighted ? 4 : 3;
    F acc[kChannels][Groups];
    TapSums<Ops, Lanes, Groups, Step, Group, kChannels, R>(plane, at, r, cw, acc);
    const F f0 = cw.f[0] - F{};
    const F near = cw.near - F{}, cnear = cw.cnear - F{};
    for (int i = 0; i < Groups; ++i) {
        typename Ops::Mask certified = Ops::All();
        I bytes[4];
        bytes[3] = I{} + 255;
        U alpha = U{} + 255u;
        F divisor = F{};
        F farthest = F{}; // opaque: the largest |F - q| of the three channels
        // Channel 3 (alpha, Weighted only) first, then the colours: the
        // centre tap added, the nearest integer q (F >= 0, so q >= 0),
        // lanes not within the bound of q cleared from `certified`.
        for (int t = 0; t < kChannels; ++t) {
            const int c = Weighted ? (t + 3) % 4 : t;
            F y;
            WithCentre<Ops, Lanes>(acc[c][i], f0, plane[c] + at + Group * i, y);
            if (Weighted && c < 3)
                y /= divisor;
            F q;
            Ops::Nearest(y, q);
            if (Weighted) {
                typename Ops::Mask within;
                Ops::Within(y - q, c < 3 ? cnear : near, within);
                certified = certified & within;
            } else { // one bound for the three: their largest distance
                Ops::Farthest(y - q, c == 0, farthest);
            }
            bytes[c] = __builtin_convertvector(q, I); // exact: q is a whole number
            if (c == 3) {
                Ops::AtMost255(bytes[3]);
                alpha = U(bytes[3]);
                divisor = __builtin_convertvector(I(alpha == U{} ? U{} + 1u : alpha), F);
            }
        }
        if (!Weighted)
            Ops::Below(farthest, near, certified);
        U pixel;
        Ops::Pixels(bytes[0], bytes[1], bytes[2], bytes[3], pixel);
        out[i] = Weighted ? (alpha == U{} ? U{} : pixel) : pixel;
        bad[i] = ~Ops::Bits(certified) & ((1u << Lanes) - 1);
    }
}

// The opaque sums of CertifiedGroups as the values of their bytes, in
// float: lane j of vector i into dest[c] + destAt + Group i + j for the
// channels b, g, r, bad[i] as there. A certified value is the nearest
// integer q to F, which is the exact path's byte before clamping; q >= 0
// (F >= 0), and q <= 255 where cw.below256 holds (the caller's to check),
// so the values are the bytes CertifiedGroups would give, for a second pass
// to read as FillFloatPlanes would give them.
template <class Ops, int Lanes, int Groups, int Step, int Group, int R = 0>
inline __attribute__((always_inline)) void CertifiedValues(const float* const* plane, int at, int r,
                                                          const Weights& cw, float* const* dest, int destAt,
                                                          unsigned* bad)
{
    typedef typename Vec<Lanes>::F F;
    F acc[3][Groups];
    TapSums<Ops, Lanes, Groups, Step, Group, 3, R>(plane, at, r, cw, acc);
    const F f0 = cw.f[0] - F{};
    const F near = cw.near - F{};
    for (int i = 0; i < Groups; ++i) {
        F farthest; // the largest |F - q| of the three channels
        for (int c = 0; c < 3; ++c) {
            F y, q;
            WithCentre<Ops, Lanes>(acc[c][i], f0, plane[c] + at + Group * i, y);
            Ops::Nearest(y, q);
            Ops::Farthest(y - q, c == 0, farthest);
            std::memcpy(dest[c] + destAt + Group * i, &q, sizeof q);
        }
        typename Ops::Mask certified;
        Ops::Below(farthest, near, certified);
        bad[i] = ~Ops::Bits(certified) & ((1u << Lanes) - 1);
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
// Clang refuses wide vectors passed or returned by value between functions
// built for different instruction sets, so the operations take them by
// reference and write their results to their last argument; only Fma keeps
// GCC's by-value form there, which holds the sums in registers.

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
    typedef Vec<kLanes>::I Mask; // all ones in a lane that holds
    static Mask All() { return Mask{} - 1; }
    static __attribute__((target("avx2"))) inline void Nearest(const F& x, F& q)
    {
        q = F(_mm256_round_ps(__m256(x), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
    }
    static __attribute__((target("avx2"))) inline void Within(const F& x, const F& h, Mask& m)
    {
        const __m256 size = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), __m256(x));
        m = Mask(_mm256_castps_si256(_mm256_cmp_ps(size, __m256(h), _CMP_LT_OQ)));
    }
    static __attribute__((target("avx2"))) inline unsigned Bits(const Mask& m)
    {
        return unsigned(_mm256_movemask_ps(_mm256_castsi256_ps(__m256i(m))));
    }
    static __attribute__((target("avx2"))) inline void AtMost255(Vec<kLanes>::I& x)
    {
        x = Vec<kLanes>::I(_mm256_min_epi32(__m256i(x), _mm256_set1_epi32(255)));
    }
    static __attribute__((target("avx2"))) inline void Farthest(const F& x, bool first, F& m)
    {
        const __m256 size = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), __m256(x));
        m = first ? F(size) : F(_mm256_max_ps(__m256(m), size));
    }
    static __attribute__((target("avx2"))) inline void Below(const F& x, const F& h, Mask& m)
    {
        m = Mask(_mm256_castps_si256(_mm256_cmp_ps(__m256(x), __m256(h), _CMP_LT_OQ)));
    }
    // Two saturating packs give, in each 128-bit half, the bytes b0 … b3,
    // g0 … g3, r0 … r3, a0 … a3 of its four lanes (the inputs are whole
    // numbers from 0 to below 2^15, so saturation is the clamp to 255); one
    // shuffle puts them pixel by pixel.
    static __attribute__((target("avx2"))) inline void Pixels(const Vec<kLanes>::I& b, const Vec<kLanes>::I& g,
                                                              const Vec<kLanes>::I& r, const Vec<kLanes>::I& a,
                                                              Vec<kLanes>::U& out)
    {
        const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(__m256i(b), __m256i(g)),
                                                  _mm256_packus_epi32(__m256i(r), __m256i(a)));
        const __m256i order = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, //
                                               0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
        out = Vec<kLanes>::U(_mm256_shuffle_epi8(bytes, order));
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
    typedef unsigned Mask; // bit j: lane j holds
    static Mask All() { return 0xFFFFu; }
    static __attribute__((target("avx512f"))) inline void Nearest(const F& x, F& q)
    {
        // (Masked for the reason AtMost255 gives.)
        q = F(_mm512_mask_roundscale_ps(__m512(x), 0xFFFF, __m512(x), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
    }
    static __attribute__((target("avx512f"))) inline void Within(const F& x, const F& h, Mask& m)
    {
        m = _mm512_cmp_ps_mask(_mm512_abs_ps(__m512(x)), __m512(h), _CMP_LT_OQ);
    }
    static unsigned Bits(Mask m) { return m; }
    static __attribute__((target("avx512f"))) inline void AtMost255(Vec<kLanes>::I& x)
    {
        // (The masked form: the plain one makes GCC 12 warn of its undefined source.)
        x = Vec<kLanes>::I(_mm512_mask_min_epi32(__m512i(x), 0xFFFF, __m512i(x), _mm512_set1_epi32(255)));
    }
    static __attribute__((target("avx512f"))) inline void Farthest(const F& x, bool first, F& m)
    {
        const __m512 size = _mm512_abs_ps(__m512(x));
        m = first ? F(size) : F(_mm512_mask_max_ps(__m512(m), 0xFFFF, __m512(m), size));
    }
    static __attribute__((target("avx512f"))) inline void Below(const F& x, const F& h, Mask& m)
    {
        m = _mm512_cmp_ps_mask(__m512(x), __m512(h), _CMP_LT_OQ);
    }
    static __attribute__((target("avx512f"))) inline void Pixels(const Vec<kLanes>::I& b0, const Vec<kLanes>::I& g0,
                                                                 const Vec<kLanes>::I& r0, const Vec<kLanes>::I& a0,
                                                                 Vec<kLanes>::U& out)
    {
        Vec<kLanes>::I b = b0, g = g0, r = r0, a = a0;
        AtMost255(b), AtMost255(g), AtMost255(r), AtMost255(a);
        out = Vec<kLanes>::U(b | g << 8 | r << 16 | a << 24);
    }
};

#endif

} // namespace KXGaussianCertified

#pragma GCC diagnostic pop

#endif // KXGAUSSIANCERTIFIED_H
