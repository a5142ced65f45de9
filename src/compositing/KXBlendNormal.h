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
//   m / A is the high half of (m + e)*M shifted right by p, with M, p
//   and e (0 or 1) from the table below, exact for every such m. A = 0
//   (as = d.a = 0) has m = 0 and divides by 1: the pixel becomes 0. The
//   alpha lanes get weights that give the result's alpha (see
//   UniformWeights); the pack saturates quotients above 255 (the rule's
//   min).
// - otherwise floor(n / D), D = 255*A, in single precision: n = s*255*as +
//   d*wD never exceeds 255*65025 < 2^24, so n, D and the products are exact
//   floats. One reciprocal per pixel serves its three channels: each width's
//   ReciprocalAbove gives r above 1/D by less than 2^-10 relative, so n*r
//   (rounded) is at least n/D (an integer n/D stays one) and, as n/D < 510,
//   below n/D + 1/2, and its truncation q is floor(n / D) or one more;
//   q*D > n (exact: below 2^24) tells which, or, where the width has a
//   fused multiply-add, the sign of n - q*D (exact: its magnitude is below D).

#include "KXBlendRows.h"

#include <algorithm>

namespace KXBlendKernels {

// The 16-bit divisions of the uniform blocks (see above): for every A a
// multiplier M < 2^16, a shift p and an increment e with
// m / A = ((m + e)*M) >> (16 + p) for every m <= 65279 (A = 0 divides by 1).
// With K = 16 + p, either (e = 0) M = ceil(2^K / A), err = M*A - 2^K < A:
// m*M / 2^K = m/A + m*err / (A * 2^K), so the floor is kept exactly when
// (m mod A) + m*err / 2^K < A for every m, that is when the largest m of each
// residue j satisfies m*err < (A - j) * 2^K; or (e = 1) M = floor(2^K / A)
// (65535 for A = 1), err = 2^K - M*A > 0: (m + 1)*M / 2^K =
// m/A + ((j + 1) - (m + 1)*err / 2^K) / A with j = m mod A, whose floor is
// m / A when 0 <= (j + 1) - (m + 1)*err / 2^K < A; the upper bound holds as
// err > 0, the lower one when (m + 1)*err <= (j + 1) * 2^K for the largest m
// of each residue. (m + e <= 65280 fits a 16-bit lane.) The constructor
// tries p = 0 .. 8, rounding up first; every A has one of the two (checked
// at compile time below).
struct UniformReciprocals {
    static constexpr uint32_t kLargestM = 65279;
    uint16_t multiplier[256];
    uint8_t shift[256];
    uint8_t increment[256];
    static constexpr uint64_t Largest(uint32_t a, uint32_t j) { return kLargestM - (kLargestM - j) % a; }
    static constexpr bool ExactUp(uint32_t a, uint32_t k, uint64_t err)
    {
        for (uint32_t j = 0; j < a; ++j)
            if (Largest(a, j) * err >= uint64_t(a - j) << k)
                return false;
        return true;
    }
    static constexpr bool ExactIncremented(uint32_t a, uint32_t k, uint64_t err)
    {
        if (err == 0)
            return false;
        for (uint32_t j = 0; j < a; ++j)
            if ((Largest(a, j) + 1) * err > uint64_t(j + 1) << k)
                return false;
        return true;
    }
    constexpr UniformReciprocals() : multiplier{}, shift{}, increment{}
    {
        multiplier[0] = 65535; // m = 0
        increment[0] = 1;
        for (uint32_t a = 1; a < 256; ++a) {
            for (uint32_t p = 0; p <= 8 && multiplier[a] == 0; ++p) {
                const uint64_t two = uint64_t(1) << (16 + p);
                const uint64_t up = (two + a - 1) / a, down = std::min<uint64_t>(two / a, 65535);
                if (up < 65536 && ExactUp(a, 16 + p, up * a - two)) {
                    multiplier[a] = static_cast<uint16_t>(up);
                    shift[a] = static_cast<uint8_t>(p);
                } else if (ExactIncremented(a, 16 + p, two - down * a)) {
                    multiplier[a] = static_cast<uint16_t>(down);
                    shift[a] = static_cast<uint8_t>(p);
                    increment[a] = 1;
                }
            }
        }
    }
    constexpr bool Complete() const
    {
        for (uint32_t a = 0; a < 256; ++a)
            if (multiplier[a] == 0)
                return false;
        return true;
    }
};
inline constexpr UniformReciprocals kUniformReciprocals{};
static_assert(kUniformReciprocals.Complete(), "a divisor without an exact 16-bit multiplier");

template <bool Lock, class Alpha>
struct NormalKernel : SeparablePlain<TermNormal, Lock, Alpha> {
#if defined(KX_BLEND_VECTOR)
    // Blocks of one source, mask and destination alpha (see above): the
    // weights in 16-bit lanes, set up once for a run of such blocks.
    template <int N>
    struct UniformWeights {
        using U = typename Lanes<N>::U;
        using H = typename Lanes<N>::H;
        H as, k, c, increment, multiplier;
        int shift;
        bool remainder; // r > 0

        // 16-bit lanes in the order the unpacks give them (blue, green, red,
        // alpha, per pixel): `colour` in the colour lanes, `alpha` in the
        // alpha lanes.
        static H Weight(uint64_t colour, uint64_t alpha)
        {
            typedef uint64_t Q __attribute__((vector_size(4 * N)));
            return (H)(Q{} + (colour * 0x100010001u | alpha << 48));
        }
        // The alpha lanes give the result's alpha v (A, or d.a when locked)
        // with the colours' shift p: weights 0, so m = e = v*2^p + 1 (at
        // most 65281), and the high half of m*65535 is m - 1 (as
        // 1 <= m <= 65536), which shifted right by p is v.
        UniformWeights(uint32_t sourceAlpha, uint32_t destinationAlpha)
        {
            const uint32_t t = destinationAlpha * (255 - sourceAlpha), quotient = DivideBy255(t);
            const uint32_t a = sourceAlpha + quotient, r = t - 255 * quotient;
            shift = kUniformReciprocals.shift[a];
            as = Weight(sourceAlpha, 0);
            k = Weight(quotient, 0);
            c = Weight((65536 * r + 254) / 255, 0);
            remainder = r > 0;
            increment = Weight(kUniformReciprocals.increment[a], ((Lock ? destinationAlpha : a) << shift) + 1);
            multiplier = Weight(kUniformReciprocals.multiplier[a], 65535);
        }
        template <bool Remainder, class Ops>
        KX_BLEND_INLINE U Blend(const U& S, const U& D, const Ops& ops) const
        {
            U s16[2], d16[2], q[2];
            ops.Unpack(S, &s16[0], &s16[1]);
            ops.Unpack(D, &d16[0], &d16[1]);
            for (int half = 0; half < 2; ++half) {
                const H dh = (H)d16[half];
                H m = (H)s16[half] * as + dh * k + increment;
                if constexpr (Remainder)
                    m += (H)ops.MulHiHalves((U)dh, (U)c);
                q[half] = (U)((H)ops.MulHiHalves((U)m, (U)multiplier) >> shift);
            }
            return ops.PackHalves(q[0], q[1]);
        }
    };

    static constexpr bool kTakesRuns = true;

    // A general or opaque-destination block whose source, mask and
    // destination alphas are each one value starts a run of such blocks with
    // those alphas; any other block goes alone.
    // Returns the pixels done, a multiple of N.
    template <int N, class Ops>
    static KX_BLEND_INLINE int Run(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op, BlockKind kind,
                                   const Ops& ops)
    {
        const uint32_t s0 = s[0].value, d0 = d[0].value, m0 = Alpha::kMasked ? m[0].value : 0;
        if ((kind != kGeneral && kind != kOpaqueDestination) || !ops.SameAlpha(s, s0) || !ops.SameAlpha(d, d0) ||
            (Alpha::kMasked && !ops.SameAlpha(m, m0))) {
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
        const UniformWeights<N> weights(as, d0 >> 24);
        if (weights.remainder)
            return RunUniform<true, N>(weights, s, d, m, n, s0, d0, m0, ops);
        return RunUniform<false, N>(weights, s, d, m, n, s0, d0, m0, ops);
    }

    // The blocks of a run from its first on, with the run's weights.
    template <bool Remainder, int N, class Ops>
    static KX_BLEND_INLINE int RunUniform(const UniformWeights<N>& weights, const Pixel* s, Pixel* d, const Pixel* m,
                                          int n, uint32_t s0, uint32_t d0, uint32_t m0, const Ops& ops)
    {
        using U = typename Lanes<N>::U;
        // The run goes on while the alphas of the blocks it loads match: the
        // alpha bytes of (S ^ s0) | (D ^ d0) zero in every lane; two blocks
        // an iteration (one test for both) while two remain, then one.
        const U sourceLike = U{} + s0, destinationLike = U{} + d0;
        const auto load = [&](int at, U* S, U* D) {
            std::memcpy(S, s + at, sizeof *S);
            std::memcpy(D, d + at, sizeof *D);
            return (*S ^ sourceLike) | (*D ^ destinationLike);
        };
        const auto blend = [&](int at, const U& S, const U& D) {
            const U R = weights.template Blend<Remainder>(S, D, ops);
            std::memcpy(static_cast<void*>(d + at), &R, sizeof R);
        };
        U S[2], D[2];
        load(0, &S[0], &D[0]);
        blend(0, S[0], D[0]);
        int i = N;
        while (i + 2 * N <= n) {
            if (!ops.NoAlpha(load(i, &S[0], &D[0]) | load(i + N, &S[1], &D[1])) ||
                (Alpha::kMasked && !(ops.SameAlpha(m + i, m0) && ops.SameAlpha(m + i + N, m0))))
                break;
            blend(i, S[0], D[0]);
            blend(i + N, S[1], D[1]);
            i += 2 * N;
        }
        while (i + N <= n) {
            if (!ops.NoAlpha(load(i, &S[0], &D[0])) || (Alpha::kMasked && !ops.SameAlpha(m + i, m0)))
                break;
            blend(i, S[0], D[0]);
            i += N;
        }
        return i;
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
            // Blue and red, then green and alpha: s*as + d*(255-as) in 16-bit halves.
            const U as = EffectiveAlpha<N, Alpha>(S, m, op);
            const H a = (H)(as | as << 16), keep = (H)(0x00FF00FFu - (as | as << 16));
            const U br = ops.Div255Halves((U)((H)(S & 0x00FF00FFu) * a + (H)(D & 0x00FF00FFu) * keep));
            const U ga = ops.Div255Halves((U)((H)(S >> 8 & 0x00FF00FFu) * a + (H)(D >> 8 & 0x00FF00FFu) * keep));
            R = br | ga << 8 | 0xFF000000u;
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

#endif // KXBLENDNORMAL_H
