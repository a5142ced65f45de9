#ifndef KXBLENDNORMAL_H
#define KXBLENDNORMAL_H

// The normal mode (mode 0, B = s) over blocks of pixels (KXBlendRows.h).
// It gives exactly the bits of Separable<TermNormal, Lock> pixel by pixel:
//
// - as = 255 everywhere: the source colours, alpha 255 (or d's alpha when it
//   is locked);
// - every destination alpha is 255: (s*as + d*(255-as)) / 255, two channels
//   per 32-bit lane in 16-bit halves;
// - otherwise floor(n / D), D = 255*A, in single precision: n = s*255*as +
//   d*wD never exceeds 255*65025 < 2^24, so n, D and the products are exact
//   floats. One reciprocal per pixel serves its three channels: r = 1/D
//   rounded, then one float step up, is above 1/D by less than 2^-22
//   relative, so n*r (rounded) is at least n/D (an integer n/D stays one)
//   and less than n/D + 1 (for quotients below 256), and its truncation q
//   is floor(n / D) or one more; q*D > n (exact: below 2^24) tells which,
//   or, where the width has a fused multiply-add, the sign of n - q*D
//   (exact: its magnitude is below D).
//   The AVX-512 width takes the processor's reciprocal estimate, within
//   2^-14 of 1/D, times 1 + 2^-13 (rounded): that is above 1/D and below
//   (1 + 2^-12)/D, and as n/D < 510, n*r is still below floor(n/D) + 1.

#include "KXBlendRows.h"

namespace KXBlendKernels {

template <bool Lock, class Alpha>
struct NormalKernel : SeparablePlain<TermNormal, Lock, Alpha> {
#if defined(KX_BLEND_VECTOR)
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
            F up;
            if constexpr (Ops::kFused) // and the reciprocal estimate: see above
                up = ops.Reciprocal14(safe) * (1.0f + 0x1p-13f);
            else
                up = (F)((I)(1.0f / safe) + 1);
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
