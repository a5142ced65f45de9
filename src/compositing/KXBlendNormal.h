#ifndef KXBLENDNORMAL_H
#define KXBLENDNORMAL_H

// The normal mode (mode 0, B = s) over blocks of pixels (KXBlendRows.h).
// It gives exactly the bits of Separable<TermNormal, Lock> pixel by pixel:
//
// - as = 255 everywhere: the source colours, alpha 255 (or d's alpha when it
//   is locked);
// - every destination alpha is 255: (s*as + d*(255-as)) / 255, two channels
//   per 32-bit lane in 16-bit halves;
// - every source, mask and destination alpha of the block the same: the
//   weights are the block's, and the quotients come in 16-bit lanes. With
//   t = wD = d.a*(255-as) <= 65025, k = t / 255, r = t - 255*k <= 254 and
//   A = as + k: n = s*255*as + d*t = 255*(as*s + k*d) + r*d, so
//   n / (255*A) = m / A with m = n / 255 = as*s + k*d + (r*d) / 255
//   (truncating divisions of non-negative integers nest).
//   m <= 255*(as + k) + 254 = 255*A + 254 <= 65279: m and its partial sums
//   fit a 16-bit lane.
//   (r*d) / 255 is the high half of d*c, c = ceil(65536*r / 255) <= 65280:
//   d*c / 65536 exceeds r*d / 255 by less than d / 65536 < 1/255, and
//   r*d / 255 lies at most 254/255 past an integer, so the floor is kept.
//   m / A: where A has an exact multiplier (below), the high half of m*M
//   shifted right by p. Otherwise q0, the high half of m*R with
//   R = min(65535, 65536 / A) in
//   [65536/A - 1, 65536/A], has m*R / 65536 at most m/A and more than
//   m/A - 1 (m < 65536), so q0 is m / A or one less; m - q0*A (below
//   2*A <= 510) reaching A tells which. A = 0 (as = d.a = 0) has m = 0 and
//   divides by 1: the pixel becomes 0. The alpha lanes are computed alike
//   and replaced; the pack saturates quotients above 255 (the rule's min).
// - otherwise floor(n / D), D = 255*A, in single precision: n = s*255*as +
//   d*wD never exceeds 255*65025 < 2^24, so n, D and the products are exact
//   floats. One reciprocal per pixel serves its three channels: each width's
//   ReciprocalAbove gives r above 1/D by less than 2^-10 relative, so n*r
//   (rounded) is at least n/D (an integer n/D stays one) and, as n/D < 510,
//   below n/D + 1/2, and its truncation q is floor(n / D) or one more;
//   q*D > n (exact: below 2^24) tells which, or, where the width has a
//   fused multiply-add, the sign of n - q*D (exact: its magnitude is below D).

#include "KXBlendRows.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi" // wide vectors live only inside the flattened AVX2 and AVX-512 row functions

namespace KXBlendKernels {

// The 16-bit reciprocals R of the uniform blocks (see above), by A; and,
// for the divisors that have one, a multiplier M < 2^16 and shift p with
// m / A = (m*M) >> (16 + p) for every m <= 65279, which needs no check.
// With M = ceil(2^K / A), K = 16 + p, and e = M*A - 2^K < A:
// m*M / 2^K = m/A + m*e / (A * 2^K), so the floor is kept exactly when
// (m mod A) + m*e / 2^K < A for every m, that is when the largest m of each
// residue j satisfies m*e < (A - j) * 2^K; the constructor tries p = 0 .. 8.
struct UniformReciprocals {
    static constexpr uint32_t kLargestM = 65279;
    uint16_t of[256];
    uint16_t multiplier[256]; // 0: none
    uint8_t shift[256];
    static constexpr bool Exact(uint32_t a, uint32_t k, uint64_t e)
    {
        for (uint32_t j = 0; j < a && j <= kLargestM; ++j) {
            const uint64_t largest = kLargestM - (kLargestM - j) % a;
            if (largest * e >= uint64_t(a - j) << k)
                return false;
        }
        return true;
    }
    constexpr UniformReciprocals() : of{}, multiplier{}, shift{}
    {
        of[0] = of[1] = 65535;
        for (uint32_t a = 2; a < 256; ++a)
            of[a] = static_cast<uint16_t>(65536 / a);
        for (uint32_t a = 2; a < 256; ++a) {
            for (uint32_t p = 0; p <= 8 && multiplier[a] == 0; ++p) {
                const uint64_t m = ((uint64_t(1) << (16 + p)) + a - 1) / a;
                if (m < 65536 && Exact(a, 16 + p, m * a - (uint64_t(1) << (16 + p)))) {
                    multiplier[a] = static_cast<uint16_t>(m);
                    shift[a] = static_cast<uint8_t>(p);
                }
            }
        }
    }
};
inline constexpr UniformReciprocals kUniformReciprocals{};

template <bool Lock, class Alpha>
struct NormalKernel : SeparablePlain<TermNormal, Lock, Alpha> {
#if defined(KX_BLEND_VECTOR)
    // Whether the N pixels from p all have the alpha byte of `like`.
    template <int N, class Ops>
    static KX_BLEND_INLINE bool SameAlpha(const Pixel* p, uint32_t like, const Ops& ops)
    {
        typename Lanes<N>::U v;
        std::memcpy(&v, p, sizeof v);
        return ops.NoAlphaBits(v ^ like);
    }

    // v in every 16-bit lane.
    template <int N>
    static typename Lanes<N>::H Lanes16(uint32_t v)
    {
        return (typename Lanes<N>::H)(typename Lanes<N>::U{} + (v | v << 16));
    }

    // A = as + d.a*(255 - as) / 255 of a uniform block (see above), and
    // whether A has an exact multiplier.
    static uint32_t UniformAlpha(uint32_t sourceAlpha, uint32_t destinationAlpha)
    {
        return sourceAlpha + DivideBy255(destinationAlpha * (255 - sourceAlpha));
    }
    static bool HasExactMultiplier(uint32_t a) { return kUniformReciprocals.multiplier[a] != 0; }

    // Blocks of one source, mask and destination alpha (see above): the
    // weights in 16-bit lanes, set up once for a run of such blocks. Exact:
    // A has an exact multiplier (HasExactMultiplier).
    template <int N, bool Exact>
    struct UniformWeights {
        using U = typename Lanes<N>::U;
        using H = typename Lanes<N>::H;
        using S16 = typename Lanes<N>::S16;
        H as, k, c, reciprocal, divisor;
        U alphaBits;
        int shift; // of the exact multiplier in reciprocal (used when Exact)

        // v in the colours' 16-bit lanes, 0 in alpha's: after Unpack every
        // odd 32-bit lane holds red and alpha, alpha in its high half.
        static H ColourLanes16(uint32_t v)
        {
            U lanes = U{} + (v | v << 16);
            for (int i = 1; i < N; i += 2)
                lanes[i] = v;
            return (H)lanes;
        }
        // With no weight on alpha's lanes their numerator is 0, and so is
        // their quotient (exact or not: 0 - q0 * divisor = 0 is below any
        // divisor), which leaves the alpha byte to alphaBits alone.
        UniformWeights(uint32_t sourceAlpha, uint32_t destinationAlpha)
        {
            const uint32_t a = UniformAlpha(sourceAlpha, destinationAlpha), quotient = a - sourceAlpha;
            const uint32_t t = destinationAlpha * (255 - sourceAlpha);
            as = ColourLanes16(sourceAlpha);
            k = ColourLanes16(quotient);
            c = ColourLanes16((65536 * (t - 255 * quotient) + 254) / 255);
            reciprocal = Lanes16<N>(Exact ? kUniformReciprocals.multiplier[a] : kUniformReciprocals.of[a]);
            shift = kUniformReciprocals.shift[a];
            divisor = Lanes16<N>(a > 0 ? a : 1);
            alphaBits = Lock ? U{} + (destinationAlpha << 24) : U{} + (a << 24);
        }
        template <class Ops>
        KX_BLEND_INLINE U Blend(const U& S, const U& D, const Ops& ops) const
        {
            U s16[2], d16[2], q[2];
            ops.Unpack(S, &s16[0], &s16[1]);
            ops.Unpack(D, &d16[0], &d16[1]);
            for (int half = 0; half < 2; ++half) {
                const H dh = (H)d16[half];
                const H m = (H)s16[half] * as + dh * k + (H)ops.MulHiHalves((U)dh, (U)c);
                const H q0 = (H)ops.MulHiHalves((U)m, (U)reciprocal);
                if constexpr (Exact)
                    q[half] = (U)(q0 >> shift);
                else
                    q[half] = (U)(q0 - (H)((S16)(m - q0 * divisor) >= (S16)divisor)); // true is -1
            }
            return ops.PackHalves(q[0], q[1]) | alphaBits;
        }
    };

    // Blocks over an opaque destination with one source (and mask) alpha:
    // as and 255 - as in 16-bit lanes, set up once for a run of such blocks.
    template <int N>
    struct OpaqueWeights {
        using U = typename Lanes<N>::U;
        using H = typename Lanes<N>::H;
        H a, keep;

        explicit OpaqueWeights(uint32_t as) : a(Lanes16<N>(as)), keep(Lanes16<N>(255 - as)) {}
        template <class Ops>
        KX_BLEND_INLINE U Blend(const U& S, const U& D, const Ops& ops) const
        {
            return OverOpaque<N>(S, D, a, keep, ops);
        }
    };

    // Blends the blocks from s, d (and m) with `weights` on while their
    // alphas stay those of s0, d0 (and m0); the first block is already known
    // to. Returns the pixels done, a multiple of N, at least N.
    template <int N, class Weights, class Ops>
    static KX_BLEND_INLINE int Blocks(const Weights& weights, const Pixel* s, Pixel* d, const Pixel* m, int n,
                                      uint32_t s0, uint32_t d0, uint32_t m0, const Ops& ops)
    {
        using U = typename Lanes<N>::U;
        // The run goes on while the blocks' alpha bytes equal s0's and
        // d0's: (S ^ s0) | (D ^ d0) has no bit in any alpha byte.
        const U sourceLike = U{} + s0, destinationLike = U{} + d0;
        U S, D;
        std::memcpy(&S, s, sizeof S);
        std::memcpy(&D, d, sizeof D);
        int i = 0;
        for (;;) {
            const U R = weights.Blend(S, D, ops);
            std::memcpy(static_cast<void*>(d + i), &R, sizeof R);
            i += N;
            if (i + N > n)
                return i;
            std::memcpy(&S, s + i, sizeof S);
            std::memcpy(&D, d + i, sizeof D);
            if (!ops.NoAlphaBits((S ^ sourceLike) | (D ^ destinationLike)) ||
                (Alpha::kMasked && !SameAlpha<N>(m + i, m0, ops)))
                return i;
        }
    }

    static constexpr bool kTakesRuns = true;

    // A general block, or one over an opaque destination, whose source,
    // mask and destination alphas are each one value starts a run of such
    // blocks with those alphas; any other block goes alone. Returns the
    // pixels done, a multiple of N.
    template <int N, class Ops>
    static KX_BLEND_INLINE int Run(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op, BlockKind kind,
                                   const Ops& ops)
    {
        const uint32_t s0 = s[0].value, d0 = d[0].value, m0 = Alpha::kMasked ? m[0].value : 0;
        const bool opaque = kind == kOpaqueDestination; // every destination alpha is 255 already
        if ((kind != kGeneral && !opaque) || !SameAlpha<N>(s, s0, ops) || (!opaque && !SameAlpha<N>(d, d0, ops)) ||
            (Alpha::kMasked && !SameAlpha<N>(m, m0, ops))) {
            if (kind != kUnchanged)
                Block<N>(s, d, m, op, kind, ops);
            return N;
        }
        const typename Alpha::Scalar rule{op};
        uint32_t as;
        if constexpr (Alpha::kMasked)
            as = rule(s[0], m[0]);
        else
            as = rule(s[0]);
        if (opaque)
            return Blocks<N>(OpaqueWeights<N>(as), s, d, m, n, s0, d0, m0, ops);
        const uint32_t da = d0 >> 24;
        return HasExactMultiplier(UniformAlpha(as, da))
                   ? Blocks<N>(UniformWeights<N, true>(as, da), s, d, m, n, s0, d0, m0, ops)
                   : Blocks<N>(UniformWeights<N, false>(as, da), s, d, m, n, s0, d0, m0, ops);
    }

    // n = s*255*as + d*wD of one colour channel, exact in single precision
    // (so a fused multiply-add gives the same bits).
    template <int N, class Ops>
    static KX_BLEND_INLINE typename Lanes<N>::F Numerator(const typename Lanes<N>::U& S,
                                                          const typename Lanes<N>::U& D, int channel,
                                                          const typename Lanes<N>::F& ws,
                                                          const typename Lanes<N>::F& wd, const Ops& ops)
    {
        using I = typename Lanes<N>::I;
        using F = typename Lanes<N>::F;
        const F s = __builtin_convertvector((I)ops.Channel(S, channel), F);
        const F d = __builtin_convertvector((I)ops.Channel(D, channel), F);
        if constexpr (Ops::kFused)
            return ops.MulAdd(s, ws, d * wd);
        else
            return s * ws + d * wd;
    }

    // Over an opaque destination, with a = as and keep = 255 - as in both
    // 16-bit halves of each lane: (s*as + d*(255-as)) / 255, blue and red,
    // then green and alpha; alpha 255.
    template <int N, class Ops>
    static KX_BLEND_INLINE typename Lanes<N>::U OverOpaque(const typename Lanes<N>::U& S,
                                                          const typename Lanes<N>::U& D,
                                                          const typename Lanes<N>::H& a,
                                                          const typename Lanes<N>::H& keep, const Ops& ops)
    {
        using U = typename Lanes<N>::U;
        using H = typename Lanes<N>::H;
        const U br = ops.Div255Halves((U)((H)(S & 0x00FF00FFu) * a + (H)(D & 0x00FF00FFu) * keep));
        const U ga = ops.Div255Halves((U)((H)(S >> 8 & 0x00FF00FFu) * a + (H)(D >> 8 & 0x00FF00FFu) * keep));
        return br | ga << 8 | 0xFF000000u;
    }

    template <int N, class Ops>
    static KX_BLEND_INLINE void Block(const Pixel* s, Pixel* d, const Pixel* m, uint32_t op, BlockKind kind,
                                      const Ops& ops)
    {
        using U = typename Lanes<N>::U;
        using I = typename Lanes<N>::I;
        using H = typename Lanes<N>::H;
        using F = typename Lanes<N>::F;
        U S, D;
        std::memcpy(&S, s, sizeof S);
        std::memcpy(&D, d, sizeof D);
        const U alphaBits = D & 0xFF000000u;
        U R;
        if (kind == kClearTransparent) {
            R = (U)((D >> 24) == 0 ? U{} : D);
        } else if (kind == kOpaqueSource) {
            R = (S & 0x00FFFFFFu) | (Lock ? alphaBits : U{} + 0xFF000000u);
        } else if (kind == kOpaqueDestination) {
            const U as = EffectiveAlpha<N, Alpha>(S, m, op);
            R = OverOpaque<N>(S, D, (H)(as | as << 16), (H)(0x00FF00FFu - (as | as << 16)), ops);
        } else {
            // A = (255*as + wD) / 255 = as + wD / 255. A pixel with A = 0 has
            // as = d.a = 0, so its numerators are 0, and so is the quotient by
            // the divisor 1 it gets instead of 0: the pixel becomes 0.
            // wD < 2^16 is the product of the low 16-bit halves.
            const U as = EffectiveAlpha<N, Alpha>(S, m, op);
            const U wD = (U)((H)(D >> 24) * (H)(255 - as));
            const U alpha = as + ops.Div255Halves(wD);
            const F ws = __builtin_convertvector((I)as, F) * 255.0f;
            const F wd = __builtin_convertvector((I)wD, F);
            const U divisor = 255 * alpha;
            const F safe = __builtin_convertvector((I)(divisor > 1 ? divisor : U{} + 1), F);
            const F up = ops.ReciprocalAbove(safe);
            U q[3];
            for (int c = 0; c < 3; ++c) {
                const F n = Numerator<N>(S, D, c, ws, wd, ops);
                const I truncated = __builtin_convertvector(n * up, I);
                const F product = __builtin_convertvector(truncated, F);
                if constexpr (Ops::kFused) // n - q*D, exact: its sign bit says q is one too many
                    q[c] = (U)(truncated + ((I)ops.MulAdd(-product, safe, n) >> 31));
                else
                    q[c] = (U)(truncated + (I)(product * safe > n)); // true is -1
            }
            R = ops.Pack(q[0], q[1], q[2], Lock ? D >> 24 : alpha);
        }
        std::memcpy(static_cast<void*>(d), &R, sizeof R);
    }
#endif
};

template <bool Lock, class Alpha>
using NormalRule = RowRule<NormalKernel<Lock, Alpha>>;

} // namespace KXBlendKernels

#pragma GCC diagnostic pop

#endif // KXBLENDNORMAL_H
