#ifndef KXBLENDROWS_H
#define KXBLENDROWS_H

// Runs of pixels for the blend kernels that work on several pixels at a time.
// A kernel (KXBlendNormal.h, KXBlendSeparable.h, KXBlendLuminosity.h)
// composes one block of N pixels given the block's kind, which the driver
// here finds from the alpha bytes (for kernels with kByAlpha), and its Plain
// form composes pixel by pixel (the tail of a run, and the reference the
// tests compare the blocks with). The kinds for the separable kernel:
//
// - as = 0 everywhere: d is kept, or zeroed where d.a = 0 (wS = wB = 0,
//   A = d.a: the colours are d's own);
// - as = 255 everywhere (opacity 1, opaque source and mask): A = 255;
// - every destination alpha is 255: A = 255;
// - otherwise the general kernel.
// With A = 255 the colour n / 65025 equals (a 16-bit value) / 255, which
// KXArithmetic::DivideBy255 gives in 16-bit lanes.
//
// The block code is written once over GCC vector types of N lanes and
// compiled for SSE2 (4 lanes, the x86-64 baseline) and, where the processor
// has them, AVX2 (8 lanes) and AVX-512 (16 lanes); a few operations per width (alpha tests, division
// of 16-bit halves by 255, byte shuffles and packs) come from a small Ops
// struct per width.

#include "KXBlendKernels.h"
#include "core/KXIsa.h"

#include <cstring>
#include <type_traits>

#if defined(KX_ISA_X86)
#include <immintrin.h>
#define KX_BLEND_VECTOR 1
#elif defined(__GNUC__)
#define KX_BLEND_VECTOR 1
#endif

// The 8-lane types only ever live inside the flattened AVX2 row functions;
// GCC's note about their calling convention does not apply.
#if defined(KX_BLEND_VECTOR)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace KXBlendKernels {

// Alpha rules with their lane-wise forms.
struct RowSourceAlpha {
    static constexpr bool kMasked = false;
    using Scalar = SourceAlpha;
};
struct RowNestedAlpha {
    static constexpr bool kMasked = true;
    using Scalar = MaskedNestedAlpha;
};
struct RowProductAlpha {
    static constexpr bool kMasked = true;
    using Scalar = MaskedProductAlpha;
};

// A run function: s, d, m (null unless masked), n pixels, op.
using RowFunction = void (*)(const Pixel*, Pixel*, const Pixel*, int, uint32_t);

// The separable kernel pixel by pixel.
template <class Term, bool Lock, class Alpha>
inline void PlainRow(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op)
{
    const Separable<Term, Lock> core{};
    const typename Alpha::Scalar alpha{op};
    for (int i = 0; i < n; ++i) {
        if constexpr (Alpha::kMasked)
            core(s[i], d[i], alpha(s[i], m[i]));
        else
            core(s[i], d[i], alpha(s[i]));
    }
}

// The pixel-by-pixel side of a block kernel of the separable family (Normal
// is the term B = s); the kernel adds Block.
template <class Term, bool Lock, class Alpha>
struct SeparablePlain {
    using AlphaRule = Alpha;
    static constexpr bool kByAlpha = true;

    static void Plain(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op)
    {
        PlainRow<Term, Lock, Alpha>(s, d, m, n, op);
    }
};

#if defined(KX_BLEND_VECTOR)

#define KX_BLEND_INLINE inline __attribute__((always_inline))

template <int N>
struct Lanes {
    typedef uint32_t U __attribute__((vector_size(4 * N)));
    typedef int32_t I __attribute__((vector_size(4 * N)));
    typedef uint16_t H __attribute__((vector_size(4 * N))); // 16-bit halves
    typedef int16_t S16 __attribute__((vector_size(4 * N)));
    typedef float F __attribute__((vector_size(4 * N)));
};

// What a block of pixels needs, from its alpha bytes.
enum BlockKind {
    kUnchanged,         // as = 0 everywhere, no destination alpha 0
    kClearTransparent,  // as = 0 everywhere: destination pixels of alpha 0 become 0
    kOpaqueSource,      // as = 255 everywhere
    kOpaqueDestination, // every destination alpha is 255
    kGeneral,
};

// floor(x / 255) for x <= 65279 in 32-bit lanes, with adds and shifts only
// (KXArithmetic::DivideBy255 would need a 32-bit multiply per lane).
// Why: write x = 255 q + r with r <= 254, so q <= 255 here. x >> 8 =
// floor(q - (q - r) / 256), and |q - r| < 256, so it is q when r >= q and
// q - 1 when r < q. Then x + 1 + (x >> 8) is 256 q + r + 1 (r + 1 <= 255) or
// 256 q + r, and either shifted right by 8 is q.
template <class U>
KX_BLEND_INLINE U Div255(const U& x)
{
    return (x + 1 + (x >> 8)) >> 8;
}

template <int N, class Alpha>
KX_BLEND_INLINE typename Lanes<N>::U EffectiveAlpha(const typename Lanes<N>::U& S, const Pixel* m, uint32_t op)
{
    using U = typename Lanes<N>::U;
    using H = typename Lanes<N>::H;
    // (s.a * op) >> 8, at most 255; the product fits the low 16-bit half.
    const U opacity = op == 256 ? S >> 24 : (U)((H)(S >> 24) * (H)(U{} + op)) >> 8;
    if constexpr (!Alpha::kMasked) {
        return opacity;
    } else {
        U M;
        std::memcpy(&M, m, sizeof M);
        const U ma = M >> 24;
        if constexpr (std::is_same<Alpha, RowNestedAlpha>::value)
            return Div255(ma * opacity);
        else // (s.a * m.a * op) / 65280 = ((s.a * m.a * op) >> 8) / 255
            return Div255(((S >> 24) * ma * op) >> 8);
    }
}

// A block's kind from its alpha bytes.
template <class Alpha, class Ops>
KX_BLEND_INLINE BlockKind Classify(const Pixel* s, const Pixel* d, const Pixel* m, uint32_t op, const Ops& ops)
{
    if (ops.AllZero(s) || (Alpha::kMasked && ops.AllZero(m)))
        return ops.AnyZero(d) ? kClearTransparent : kUnchanged;
    if (op == 256 && ops.AllFull(s) && (!Alpha::kMasked || ops.AllFull(m)))
        return kOpaqueSource;
    return ops.AllFull(d) ? kOpaqueDestination : kGeneral;
}

// Whether a kernel takes runs of blocks (Run, returning the pixels it did,
// a multiple of N) rather than one block at a time.
template <class Kernel, class = void>
constexpr bool kTakesRuns = false;
template <class Kernel>
constexpr bool kTakesRuns<Kernel, std::void_t<decltype(Kernel::kTakesRuns)>> = Kernel::kTakesRuns;

// The row function of each width is flattened, so that the operations of
// its Ops struct, compiled for that width's instruction set, are inlined.
template <int N, class Kernel, class Ops>
KX_BLEND_INLINE void RowLanes(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op, const Ops& ops)
{
    using Alpha = typename Kernel::AlphaRule;
    int i = 0;
    while (i + N <= n) {
        const Pixel* mi = Alpha::kMasked ? m + i : nullptr;
        const BlockKind kind = Kernel::kByAlpha ? Classify<Alpha>(s + i, d + i, mi, op, ops) : kGeneral;
        if constexpr (kTakesRuns<Kernel>) {
            i += Kernel::template Run<N>(s + i, d + i, mi, n - i, op, kind, ops);
        } else {
            if (kind != kUnchanged)
                Kernel::template Block<N>(s + i, d + i, mi, op, kind, ops);
            i += N;
        }
    }
    Kernel::Plain(s + i, d + i, Alpha::kMasked ? m + i : nullptr, n - i, op);
}

#if defined(KX_ISA_X86)

// The widths without a fused multiply-add.
struct Unfused {
    static constexpr bool kFused = false;
};

// SSE2, 4 pixels.
struct Ops4 : Unfused {
    using U = Lanes<4>::U;
    static __m128i Alphas(const Pixel* p)
    {
        return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi32(int(0xFF000000u)));
    }
    bool AllZero(const Pixel* p) const
    {
        return _mm_movemask_epi8(_mm_cmpeq_epi32(Alphas(p), _mm_setzero_si128())) == 0xFFFF;
    }
    bool AllFull(const Pixel* p) const
    {
        return _mm_movemask_epi8(_mm_cmpeq_epi32(Alphas(p), _mm_set1_epi32(int(0xFF000000u)))) == 0xFFFF;
    }
    bool AnyZero(const Pixel* p) const
    {
        return _mm_movemask_epi8(_mm_cmpeq_epi32(Alphas(p), _mm_setzero_si128())) != 0;
    }
    bool SameAlpha(const Pixel* p, uint32_t like) const
    {
        const __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi32(int(like)));
        return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(x, _mm_set1_epi32(int(0xFF000000u))), _mm_setzero_si128())) == 0xFFFF;
    }
    bool AllSet(U mask) const { return _mm_movemask_epi8(__m128i(mask)) == 0xFFFF; }
    U Div255Halves(U x) const
    {
        return U(_mm_srli_epi16(_mm_mulhi_epu16(__m128i(x), _mm_set1_epi16(short(kDivideBy255Multiplier))), 7));
    }
    U MulHiHalves(U a, U b) const { return U(_mm_mulhi_epu16(__m128i(a), __m128i(b))); }
    void Unpack(U v, U* lo, U* hi) const
    {
        *lo = U(_mm_unpacklo_epi8(__m128i(v), _mm_setzero_si128()));
        *hi = U(_mm_unpackhi_epi8(__m128i(v), _mm_setzero_si128()));
    }
    U PackHalves(U lo, U hi) const { return U(_mm_packus_epi16(__m128i(lo), __m128i(hi))); }
    // Above 1 / x by less than 2^-22 relative: the rounded quotient one
    // float step up.
    Lanes<4>::F ReciprocalAbove(Lanes<4>::F x) const
    {
        return (Lanes<4>::F)((Lanes<4>::I)(1.0f / x) + 1);
    }
    // Byte `channel` of each lane.
    U Channel(U v, int channel) const { return v >> (8 * channel) & 255; }
    // Pixels from blue, green, red and alpha lanes (signed, within 16 bits),
    // saturated to 0 .. 255 by the packs.
    U Pack(U b, U g, U r, U a) const
    {
        const __m128i bg = _mm_packs_epi32(__m128i(b), __m128i(g)); // b0-3 g0-3, 16 bits
        const __m128i ra = _mm_packs_epi32(__m128i(r), __m128i(a));
        const __m128i bgPairs = _mm_unpacklo_epi16(bg, _mm_srli_si128(bg, 8)); // b0 g0 b1 g1 ...
        const __m128i raPairs = _mm_unpacklo_epi16(ra, _mm_srli_si128(ra, 8));
        const __m128i bytes = _mm_packus_epi16(bgPairs, raPairs); // b0 g0 b1 g1 .. r0 a0 r1 a1 ..
        return U(_mm_unpacklo_epi16(bytes, _mm_srli_si128(bytes, 8)));
    }
};

template <class Kernel>
__attribute__((flatten)) void Row4(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op)
{
    RowLanes<4, Kernel>(s, d, m, n, op, Ops4());
}

// AVX2 with FMA (the AVX2 level has both), 8 pixels. Every function that
// runs AVX2 instructions carries that target itself (GCC and clang alike);
// everything else is built for the baseline, and Row8 is only reached
// through the run-time test below. Its MulAdd is fused, as at AVX-512.
#define KX_BLEND_AVX2 __attribute__((target("avx2,fma")))

struct Ops8 {
    using U = Lanes<8>::U;
    using F = Lanes<8>::F;
    static constexpr bool kFused = true;
    KX_BLEND_AVX2 static __m256i Load(const Pixel* p)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    KX_BLEND_AVX2 bool AllZero(const Pixel* p) const
    {
        return _mm256_testz_si256(Load(p), _mm256_set1_epi32(int(0xFF000000u)));
    }
    KX_BLEND_AVX2 bool AllFull(const Pixel* p) const
    {
        return _mm256_testc_si256(Load(p), _mm256_set1_epi32(int(0xFF000000u)));
    }
    KX_BLEND_AVX2 bool AnyZero(const Pixel* p) const
    {
        const __m256i alphas = _mm256_and_si256(Load(p), _mm256_set1_epi32(int(0xFF000000u)));
        return _mm256_movemask_epi8(_mm256_cmpeq_epi32(alphas, _mm256_setzero_si256())) != 0;
    }
    KX_BLEND_AVX2 bool SameAlpha(const Pixel* p, uint32_t like) const
    {
        return _mm256_testz_si256(_mm256_xor_si256(Load(p), _mm256_set1_epi32(int(like))),
                                  _mm256_set1_epi32(int(0xFF000000u)));
    }

    // The operations on vectors hand them to their AVX2 forms through
    // memory: a 256-bit vector passed by value between a function built for
    // AVX2 and one that is not would change the calling convention. Row8
    // inlines all of it, and the trips through memory vanish.
    bool AllSet(U mask) const { return AllSet8(&mask); }
    F MulAdd(F a, F b, F c) const
    {
        F r;
        MulAdd8(&r, &a, &b, &c);
        return r;
    }
    // Above 1 / x by less than 2^-10 relative: the processor's estimate,
    // within 1.5 * 2^-12 of 1 / x, times 1 + 2^-11 (rounded) lies between
    // (1 + 2^-13 - 2^-22) / x and (1 + 2^-10) / x.
    F ReciprocalAbove(F x) const
    {
        F r;
        Reciprocal8(&r, &x);
        return r * (1.0f + 0x1p-11f);
    }
    U Div255Halves(U x) const
    {
        U q;
        Div255Halves8(&q, &x);
        return q;
    }
    U MulHiHalves(U a, U b) const
    {
        U q;
        MulHiHalves8(&q, &a, &b);
        return q;
    }
    void Unpack(U v, U* lo, U* hi) const { Unpack8(lo, hi, &v); }
    U PackHalves(U lo, U hi) const
    {
        U p;
        PackHalves8(&p, &lo, &hi);
        return p;
    }
    U Channel(U v, int channel) const
    {
        U c;
        Channel8(&c, &v, channel);
        return c;
    }
    U Pack(U b, U g, U r, U a) const
    {
        U p;
        Pack8(&p, &b, &g, &r, &a);
        return p;
    }

private:
    KX_BLEND_AVX2 static bool AllSet8(const U* mask)
    {
        return _mm256_testc_si256(__m256i(*mask), _mm256_set1_epi32(-1));
    }
    KX_BLEND_AVX2 static void MulAdd8(F* r, const F* a, const F* b, const F* c)
    {
        *r = F(_mm256_fmadd_ps(__m256(*a), __m256(*b), __m256(*c)));
    }
    KX_BLEND_AVX2 static void Reciprocal8(F* r, const F* x) { *r = F(_mm256_rcp_ps(__m256(*x))); }
    KX_BLEND_AVX2 static void Div255Halves8(U* q, const U* x)
    {
        *q = U(_mm256_srli_epi16(_mm256_mulhi_epu16(__m256i(*x), _mm256_set1_epi16(short(kDivideBy255Multiplier))), 7));
    }
    KX_BLEND_AVX2 static void MulHiHalves8(U* q, const U* a, const U* b)
    {
        *q = U(_mm256_mulhi_epu16(__m256i(*a), __m256i(*b)));
    }
    KX_BLEND_AVX2 static void Unpack8(U* lo, U* hi, const U* v)
    {
        *lo = U(_mm256_unpacklo_epi8(__m256i(*v), _mm256_setzero_si256()));
        *hi = U(_mm256_unpackhi_epi8(__m256i(*v), _mm256_setzero_si256()));
    }
    KX_BLEND_AVX2 static void PackHalves8(U* p, const U* lo, const U* hi)
    {
        *p = U(_mm256_packus_epi16(__m256i(*lo), __m256i(*hi)));
    }
    // Byte `channel` of each lane.
    KX_BLEND_AVX2 static void Channel8(U* c, const U* v, int channel)
    {
        const __m256i select = _mm256_setr_epi8(0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1, 0, -1,
                                                -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1);
        *c = U(_mm256_shuffle_epi8(__m256i(*v), _mm256_add_epi8(select, _mm256_set1_epi32(channel))));
    }
    KX_BLEND_AVX2 static void Pack8(U* p, const U* b, const U* g, const U* r, const U* a)
    {
        // Per 128-bit half: b g r a bytes of four pixels (saturated to 255 by
        // the packs), then interleaved.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(__m256i(*b), __m256i(*g)),
                                                  _mm256_packus_epi32(__m256i(*r), __m256i(*a)));
        const __m256i order = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12, 1,
                                               5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
        *p = U(_mm256_shuffle_epi8(bytes, order));
    }
};

template <class Kernel>
__attribute__((flatten)) KX_BLEND_AVX2 void Row8(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op)
{
    RowLanes<8, Kernel>(s, d, m, n, op, Ops8());
}

// AVX-512 (F and BW; VL so that the narrower steps GCC picks may use all 32
// registers), 16 pixels, in the same style as the AVX2 width. Its MulAdd is
// fused: callers use it only where a*b + c is exact in single precision.
#define KX_BLEND_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,fma")))

struct Ops16 {
    using U = Lanes<16>::U;
    KX_BLEND_AVX512 static __m512i AlphaMask() { return _mm512_set1_epi32(int(0xFF000000u)); }
    KX_BLEND_AVX512 static __m512i Load(const Pixel* p) { return _mm512_loadu_si512(p); }
    KX_BLEND_AVX512 bool AllZero(const Pixel* p) const { return _mm512_test_epi32_mask(Load(p), AlphaMask()) == 0; }
    KX_BLEND_AVX512 bool AllFull(const Pixel* p) const
    {
        return _mm512_cmpeq_epi32_mask(_mm512_and_si512(Load(p), AlphaMask()), AlphaMask()) == 0xFFFF;
    }
    KX_BLEND_AVX512 bool AnyZero(const Pixel* p) const { return _mm512_testn_epi32_mask(Load(p), AlphaMask()) != 0; }
    KX_BLEND_AVX512 bool SameAlpha(const Pixel* p, uint32_t like) const
    {
        return _mm512_test_epi32_mask(_mm512_xor_si512(Load(p), _mm512_set1_epi32(int(like))), AlphaMask()) == 0;
    }

    // Vectors go to the AVX-512 forms through memory, as for Ops8.
    using F = Lanes<16>::F;
    static constexpr bool kFused = true;
    F MulAdd(F a, F b, F c) const
    {
        F r;
        MulAdd16(&r, &a, &b, &c);
        return r;
    }
    // Above 1 / x by less than 2^-12 relative: the processor's estimate,
    // within 2^-14 of 1 / x, times 1 + 2^-13 (rounded).
    F ReciprocalAbove(F x) const
    {
        F r;
        Reciprocal16(&r, &x);
        return r * (1.0f + 0x1p-13f);
    }
    bool AllSet(U mask) const { return AllSet16(&mask); }
    U Div255Halves(U x) const
    {
        U q;
        Div255Halves16(&q, &x);
        return q;
    }
    U MulHiHalves(U a, U b) const
    {
        U q;
        MulHiHalves16(&q, &a, &b);
        return q;
    }
    void Unpack(U v, U* lo, U* hi) const { Unpack16(lo, hi, &v); }
    U PackHalves(U lo, U hi) const
    {
        U p;
        PackHalves16(&p, &lo, &hi);
        return p;
    }
    U Channel(U v, int channel) const
    {
        U c;
        Channel16(&c, &v, channel);
        return c;
    }
    U Pack(U b, U g, U r, U a) const
    {
        U p;
        Pack16(&p, &b, &g, &r, &a);
        return p;
    }

private:
    KX_BLEND_AVX512 static void MulAdd16(F* r, const F* a, const F* b, const F* c)
    {
        *r = F(_mm512_fmadd_ps(__m512(*a), __m512(*b), __m512(*c)));
    }
    KX_BLEND_AVX512 static void Reciprocal16(F* r, const F* x) { *r = F(_mm512_maskz_rcp14_ps(0xFFFF, __m512(*x))); }
    KX_BLEND_AVX512 static bool AllSet16(const U* mask)
    {
        return _mm512_cmpeq_epi32_mask(__m512i(*mask), _mm512_set1_epi32(-1)) == 0xFFFF;
    }
    KX_BLEND_AVX512 static void Div255Halves16(U* q, const U* x)
    {
        *q = U(_mm512_srli_epi16(_mm512_mulhi_epu16(__m512i(*x), _mm512_set1_epi16(short(kDivideBy255Multiplier))), 7));
    }
    KX_BLEND_AVX512 static void MulHiHalves16(U* q, const U* a, const U* b)
    {
        *q = U(_mm512_mulhi_epu16(__m512i(*a), __m512i(*b)));
    }
    KX_BLEND_AVX512 static void Unpack16(U* lo, U* hi, const U* v)
    {
        *lo = U(_mm512_unpacklo_epi8(__m512i(*v), _mm512_setzero_si512()));
        *hi = U(_mm512_unpackhi_epi8(__m512i(*v), _mm512_setzero_si512()));
    }
    KX_BLEND_AVX512 static void PackHalves16(U* p, const U* lo, const U* hi)
    {
        *p = U(_mm512_packus_epi16(__m512i(*lo), __m512i(*hi)));
    }
    // Byte `channel` of each lane.
    KX_BLEND_AVX512 static void Channel16(U* c, const U* v, int channel)
    {
        // Per 128-bit quarter, bytes 0, 4, 8, 12 into the low bytes of the lanes.
        const __m512i select = _mm512_set4_epi32(int(0xFFFFFF0Cu), int(0xFFFFFF08u), int(0xFFFFFF04u), int(0xFFFFFF00u));
        *c = U(_mm512_shuffle_epi8(__m512i(*v), _mm512_add_epi8(select, _mm512_set1_epi32(channel))));
    }
    KX_BLEND_AVX512 static void Pack16(U* p, const U* b, const U* g, const U* r, const U* a)
    {
        // Per 128-bit quarter: b g r a bytes of four pixels (saturated to 255
        // by the packs), then interleaved.
        const __m512i bytes = _mm512_packus_epi16(_mm512_packus_epi32(__m512i(*b), __m512i(*g)),
                                                  _mm512_packus_epi32(__m512i(*r), __m512i(*a)));
        // Per quarter, bytes 0, 4, 8, 12, then 1, 5, 9, 13, and so on.
        const __m512i order = _mm512_set4_epi32(0x0F0B0703, 0x0E0A0602, 0x0D090501, 0x0C080400);
        *p = U(_mm512_shuffle_epi8(bytes, order));
    }
};

template <class Kernel>
__attribute__((flatten)) KX_BLEND_AVX512 void Row16(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op)
{
    RowLanes<16, Kernel>(s, d, m, n, op, Ops16());
}

#else // another processor: the same blocks with lane-by-lane operations

struct OpsGeneric4 : Unfused {
    using U = Lanes<4>::U;
    static uint32_t Or(const Pixel* p) { return p[0].value | p[1].value | p[2].value | p[3].value; }
    bool AllZero(const Pixel* p) const { return !(Or(p) & 0xFF000000u); }
    bool AllFull(const Pixel* p) const
    {
        return (p[0].value & p[1].value & p[2].value & p[3].value & 0xFF000000u) == 0xFF000000u;
    }
    bool AnyZero(const Pixel* p) const { return !(p[0].a && p[1].a && p[2].a && p[3].a); }
    bool SameAlpha(const Pixel* p, uint32_t like) const
    {
        return !((p[0].value ^ like) & 0xFF000000u) && !((p[1].value ^ like) & 0xFF000000u) &&
               !((p[2].value ^ like) & 0xFF000000u) && !((p[3].value ^ like) & 0xFF000000u);
    }
    bool AllSet(U mask) const { return (mask[0] & mask[1] & mask[2] & mask[3]) == ~0u; }
    U Div255Halves(U x) const { return DivideBy255(x & 0xFFFFu) | DivideBy255(x >> 16) << 16; }
    U MulHiHalves(U a, U b) const { return ((a & 0xFFFFu) * (b & 0xFFFFu)) >> 16 | (((a >> 16) * (b >> 16)) & 0xFFFF0000u); }
    // Bytes to 16-bit halves: pixels 0 and 1 to lo, 2 and 3 to hi, as the
    // x86 unpacks order them; PackHalves saturates them back.
    void Unpack(U v, U* lo, U* hi) const
    {
        const U spread = (v & 0x000000FFu) | (v & 0x0000FF00u) << 8, upper = (v >> 16 & 0xFFu) | (v >> 24) << 16;
        *lo = U{spread[0], upper[0], spread[1], upper[1]};
        *hi = U{spread[2], upper[2], spread[3], upper[3]};
    }
    U PackHalves(U lo, U hi) const
    {
        const auto bytes = [](U h) {
            const U low = h & 0xFFFFu, high = h >> 16;
            return (U)(low > 255 ? U{} + 255 : low) | (U)(high > 255 ? U{} + 255 : high) << 8;
        };
        const U l = bytes(lo), h = bytes(hi);
        return U{l[0] | l[1] << 16, l[2] | l[3] << 16, h[0] | h[1] << 16, h[2] | h[3] << 16};
    }
    Lanes<4>::F ReciprocalAbove(Lanes<4>::F x) const
    {
        return (Lanes<4>::F)((Lanes<4>::I)(1.0f / x) + 1);
    }
    U Channel(U v, int channel) const { return v >> (8 * channel) & 255; }
    U Pack(U b, U g, U r, U a) const
    {
        const auto sat = [](U v) {
            const Lanes<4>::I i = (Lanes<4>::I)v;
            return (U)(i < 0 ? U{} : (U)(i > 255 ? U{} + 255 : v));
        };
        return sat(b) | sat(g) << 8 | sat(r) << 16 | sat(a) << 24;
    }
};

template <class Kernel>
__attribute__((flatten)) void Row4(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op)
{
    RowLanes<4, Kernel>(s, d, m, n, op, OpsGeneric4());
}

#endif // KX_ISA_X86

#endif // KX_BLEND_VECTOR

// The fastest run function of a kernel at the instruction-set level in use.
template <class Kernel>
RowFunction FastestRow()
{
#if defined(KX_ISA_X86)
    const KXIsa::Level level = KXIsa::Current();
    if (level == KXIsa::Level::Avx512)
        return &Row16<Kernel>;
    if (level == KXIsa::Level::Avx2)
        return &Row8<Kernel>;
    if (level == KXIsa::Level::Plain)
        return &Kernel::Plain;
#endif
#if defined(KX_BLEND_VECTOR)
    return &Row4<Kernel>;
#else
    return &Kernel::Plain;
#endif
}

// A kernel as a blend-mode rule: each run goes to its fastest run function.
template <class Kernel>
struct RowRule {
    uint32_t op;
    RowFunction row;
    explicit RowRule(uint32_t opacity) : op(opacity), row(FastestRow<Kernel>()) {}
    void Row(const Pixel* s, Pixel* d, int n) const { row(s, d, nullptr, n, op); }
    void Row(const Pixel* s, Pixel* d, const Pixel* m, int n) const { row(s, d, m, n, op); }
};

} // namespace KXBlendKernels

#endif // KXBLENDROWS_H
