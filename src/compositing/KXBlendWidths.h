#ifndef KXBLENDWIDTHS_H
#define KXBLENDWIDTHS_H

// The vector widths of the blend blocks (KXBlendRows.h): GCC vector types of
// N lanes, and per width the few operations the block code cannot write
// over them portably (alpha tests, division of 16-bit halves by 255, byte
// shuffles and packs, reciprocals, fused multiply-adds): SSE2 (4 pixels,
// the x86-64 baseline), AVX2 (8) and AVX-512 (16), or lane by lane on
// another processor.

#include "KXBlendKernels.h"
#include "core/KXIsa.h"

#if defined(KX_ISA_X86)
#include <immintrin.h>
#define KX_BLEND_VECTOR 1
#elif defined(__GNUC__)
#define KX_BLEND_VECTOR 1
#endif

#if defined(KX_BLEND_VECTOR)

// The 8- and 16-lane types only ever live inside the flattened AVX2 and
// AVX-512 row functions; GCC's note about their calling convention does
// not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

namespace KXBlendKernels {

#define KX_BLEND_INLINE inline __attribute__((always_inline))

template <int N>
struct Lanes {
    typedef uint32_t U __attribute__((vector_size(4 * N)));
    typedef int32_t I __attribute__((vector_size(4 * N)));
    typedef uint16_t H __attribute__((vector_size(4 * N))); // 16-bit halves
    typedef int16_t S16 __attribute__((vector_size(4 * N)));
    typedef float F __attribute__((vector_size(4 * N)));
};

// The widths without a fused multiply-add.
struct Unfused {
    static constexpr bool kFused = false;
};

#if defined(KX_ISA_X86)

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
    // No bit of v set in any alpha byte.
    bool NoAlphaBits(U v) const
    {
        const __m128i alphas = _mm_and_si128(__m128i(v), _mm_set1_epi32(int(0xFF000000u)));
        return _mm_movemask_epi8(_mm_cmpeq_epi32(alphas, _mm_setzero_si128())) == 0xFFFF;
    }
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

// AVX2 with FMA (the AVX2 level has both), 8 pixels. Every function that
// runs AVX2 instructions carries that target itself (GCC and clang alike);
// everything else is built for the baseline, and Row8 is only reached
// through the run-time choice of KXBlendRows.h.
#define KX_BLEND_AVX2 __attribute__((target("avx2,fma")))

// The AVX2 instructions: alpha tests on pixels, and the operations on
// vectors, which take and give them through memory (see WideOps).
struct Avx2Instructions {
    using U = Lanes<8>::U;
    using F = Lanes<8>::F;
    // The processor's reciprocal estimate lies within 1.5 * 2^-12 of 1 / x;
    // times 1 + 2^-11 (rounded) it lies between (1 + 2^-13 - 2^-22) / x and
    // (1 + 2^-10) / x.
    static constexpr float kReciprocalScale = 1.0f + 0x1p-11f;

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

    KX_BLEND_AVX2 static bool NoAlphaBitsAt(const U* v)
    {
        return _mm256_testz_si256(__m256i(*v), _mm256_set1_epi32(int(0xFF000000u)));
    }
    KX_BLEND_AVX2 static void MulAddAt(F* r, const F* a, const F* b, const F* c)
    {
        *r = F(_mm256_fmadd_ps(__m256(*a), __m256(*b), __m256(*c)));
    }
    KX_BLEND_AVX2 static void ReciprocalAt(F* r, const F* x) { *r = F(_mm256_rcp_ps(__m256(*x))); }
    KX_BLEND_AVX2 static void Div255HalvesAt(U* q, const U* x)
    {
        *q = U(_mm256_srli_epi16(_mm256_mulhi_epu16(__m256i(*x), _mm256_set1_epi16(short(kDivideBy255Multiplier))), 7));
    }
    KX_BLEND_AVX2 static void MulHiHalvesAt(U* q, const U* a, const U* b)
    {
        *q = U(_mm256_mulhi_epu16(__m256i(*a), __m256i(*b)));
    }
    KX_BLEND_AVX2 static void UnpackAt(U* lo, U* hi, const U* v)
    {
        *lo = U(_mm256_unpacklo_epi8(__m256i(*v), _mm256_setzero_si256()));
        *hi = U(_mm256_unpackhi_epi8(__m256i(*v), _mm256_setzero_si256()));
    }
    KX_BLEND_AVX2 static void PackHalvesAt(U* p, const U* lo, const U* hi)
    {
        *p = U(_mm256_packus_epi16(__m256i(*lo), __m256i(*hi)));
    }
    // Byte `channel` of each lane.
    KX_BLEND_AVX2 static void ChannelAt(U* c, const U* v, int channel)
    {
        const __m256i select = _mm256_setr_epi8(0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1, 0, -1,
                                                -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1);
        *c = U(_mm256_shuffle_epi8(__m256i(*v), _mm256_add_epi8(select, _mm256_set1_epi32(channel))));
    }
    KX_BLEND_AVX2 static void PackAt(U* p, const U* b, const U* g, const U* r, const U* a)
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

// AVX-512 (F and BW; VL so that the narrower steps GCC picks may use all 32
// registers), 16 pixels, in the same style as the AVX2 width.
#define KX_BLEND_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,fma")))

struct Avx512Instructions {
    using U = Lanes<16>::U;
    using F = Lanes<16>::F;
    // The processor's estimate lies within 2^-14 of 1 / x; times 1 + 2^-13
    // (rounded) it lies above 1 / x by less than 2^-12 relative.
    static constexpr float kReciprocalScale = 1.0f + 0x1p-13f;

    KX_BLEND_AVX512 static __m512i AlphaMask() { return _mm512_set1_epi32(int(0xFF000000u)); }
    KX_BLEND_AVX512 static __m512i Load(const Pixel* p) { return _mm512_loadu_si512(p); }
    KX_BLEND_AVX512 bool AllZero(const Pixel* p) const { return _mm512_test_epi32_mask(Load(p), AlphaMask()) == 0; }
    KX_BLEND_AVX512 bool AllFull(const Pixel* p) const
    {
        return _mm512_cmpeq_epi32_mask(_mm512_and_si512(Load(p), AlphaMask()), AlphaMask()) == 0xFFFF;
    }
    KX_BLEND_AVX512 bool AnyZero(const Pixel* p) const { return _mm512_testn_epi32_mask(Load(p), AlphaMask()) != 0; }

    KX_BLEND_AVX512 static bool NoAlphaBitsAt(const U* v) { return _mm512_test_epi32_mask(__m512i(*v), AlphaMask()) == 0; }
    KX_BLEND_AVX512 static void MulAddAt(F* r, const F* a, const F* b, const F* c)
    {
        *r = F(_mm512_fmadd_ps(__m512(*a), __m512(*b), __m512(*c)));
    }
    KX_BLEND_AVX512 static void ReciprocalAt(F* r, const F* x) { *r = F(_mm512_maskz_rcp14_ps(0xFFFF, __m512(*x))); }
    KX_BLEND_AVX512 static void Div255HalvesAt(U* q, const U* x)
    {
        *q = U(_mm512_srli_epi16(_mm512_mulhi_epu16(__m512i(*x), _mm512_set1_epi16(short(kDivideBy255Multiplier))), 7));
    }
    KX_BLEND_AVX512 static void MulHiHalvesAt(U* q, const U* a, const U* b)
    {
        *q = U(_mm512_mulhi_epu16(__m512i(*a), __m512i(*b)));
    }
    KX_BLEND_AVX512 static void UnpackAt(U* lo, U* hi, const U* v)
    {
        *lo = U(_mm512_unpacklo_epi8(__m512i(*v), _mm512_setzero_si512()));
        *hi = U(_mm512_unpackhi_epi8(__m512i(*v), _mm512_setzero_si512()));
    }
    KX_BLEND_AVX512 static void PackHalvesAt(U* p, const U* lo, const U* hi)
    {
        *p = U(_mm512_packus_epi16(__m512i(*lo), __m512i(*hi)));
    }
    // Byte `channel` of each lane.
    KX_BLEND_AVX512 static void ChannelAt(U* c, const U* v, int channel)
    {
        // Per 128-bit quarter, bytes 0, 4, 8, 12 into the low bytes of the lanes.
        const __m512i select = _mm512_set4_epi32(int(0xFFFFFF0Cu), int(0xFFFFFF08u), int(0xFFFFFF04u), int(0xFFFFFF00u));
        *c = U(_mm512_shuffle_epi8(__m512i(*v), _mm512_add_epi8(select, _mm512_set1_epi32(channel))));
    }
    KX_BLEND_AVX512 static void PackAt(U* p, const U* b, const U* g, const U* r, const U* a)
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

// The operations of a wide width over its instructions. A vector passed by
// value between a function built for AVX2 or AVX-512 and one built for the
// baseline would change the calling convention, so these (baseline, inline)
// hand their vectors to the instructions through memory; the flattened row
// function of the width inlines all of it, and the trips through memory
// vanish. Both wide widths have a fused multiply-add: callers use MulAdd
// only where a*b + c is exact in single precision.
template <class Instructions>
struct WideOps : Instructions {
    using U = typename Instructions::U;
    using F = typename Instructions::F;
    static constexpr bool kFused = true;

    // No bit of v set in any alpha byte.
    KX_BLEND_INLINE bool NoAlphaBits(U v) const { return Instructions::NoAlphaBitsAt(&v); }
    KX_BLEND_INLINE F MulAdd(F a, F b, F c) const
    {
        F r;
        Instructions::MulAddAt(&r, &a, &b, &c);
        return r;
    }
    // Above 1 / x by less than 2^-10 relative (see kReciprocalScale).
    KX_BLEND_INLINE F ReciprocalAbove(F x) const
    {
        F r;
        Instructions::ReciprocalAt(&r, &x);
        return r * Instructions::kReciprocalScale;
    }
    KX_BLEND_INLINE U Div255Halves(U x) const
    {
        U q;
        Instructions::Div255HalvesAt(&q, &x);
        return q;
    }
    KX_BLEND_INLINE U MulHiHalves(U a, U b) const
    {
        U q;
        Instructions::MulHiHalvesAt(&q, &a, &b);
        return q;
    }
    KX_BLEND_INLINE void Unpack(U v, U* lo, U* hi) const { Instructions::UnpackAt(lo, hi, &v); }
    KX_BLEND_INLINE U PackHalves(U lo, U hi) const
    {
        U p;
        Instructions::PackHalvesAt(&p, &lo, &hi);
        return p;
    }
    KX_BLEND_INLINE U Channel(U v, int channel) const
    {
        U c;
        Instructions::ChannelAt(&c, &v, channel);
        return c;
    }
    KX_BLEND_INLINE U Pack(U b, U g, U r, U a) const
    {
        U p;
        Instructions::PackAt(&p, &b, &g, &r, &a);
        return p;
    }
};

using Ops8 = WideOps<Avx2Instructions>;
using Ops16 = WideOps<Avx512Instructions>;

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
    bool NoAlphaBits(U v) const { return !((v[0] | v[1] | v[2] | v[3]) & 0xFF000000u); }
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

#endif // KX_ISA_X86

} // namespace KXBlendKernels

#pragma GCC diagnostic pop

#endif // KX_BLEND_VECTOR

#endif // KXBLENDWIDTHS_H
