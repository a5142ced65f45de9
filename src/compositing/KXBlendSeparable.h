#ifndef KXBLENDSEPARABLE_H
#define KXBLENDSEPARABLE_H

// The separable modes with a blend term of at most 255 (13 to 23) over
// blocks of pixels (KXBlendRows.h). Each term is computed lane by lane on
// one colour channel with the integer and float operations that define it:
// x / 255 as (x + 1 + (x >> 8)) >> 8 below 65535, 2y / 255 as twice y / 255
// plus the rounded-down half of the remainder, and the divisions of the
// dodge and burn terms in single precision (both operands below 2^17, the
// quotient at least 1/65280 of itself away from the next integer, so the
// correctly rounded float quotient truncates to the integer one). The
// kernel then gives exactly the bits of Separable<Term, Lock>:
//
// - as = 255 everywhere: A = 255, colour (s*(255-d.a) + B*d.a) / 255;
// - every destination alpha is 255: A = 255, colour (d*(255-as) + B*as) / 255;
// - otherwise n = s*wS + d*wD + B*wB, at most 255*65025 < 2^24 and so exact
//   in single precision with its products, divided by 255*A as in the
//   normal mode.
// Plus (mode 12) reaches B = 510, beyond those bounds: it stays pixel by pixel.

#include "KXBlendRows.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi" // wide vectors live only inside the flattened AVX2 and AVX-512 row functions

namespace KXBlendKernels {

#if defined(KX_BLEND_VECTOR)

// floor(2y / 255) for y <= 65025: 2 (y / 255) + (2 (y % 255)) / 255.
template <class U>
KX_BLEND_INLINE U Div255Twice(const U& y)
{
    const U q = Div255(y);
    const U r = y - 255 * q;
    return 2 * q + ((2 * r + 1) >> 8);
}

// B(s, d) for every lane; s and d hold one channel (0 .. 255) per lane.
template <int N>
struct VectorTerms {
    using U = typename Lanes<N>::U;
    using I = typename Lanes<N>::I;
    using F = typename Lanes<N>::F;

    static KX_BLEND_INLINE F Float(const U& v) { return __builtin_convertvector((I)v, F); }
    static KX_BLEND_INLINE U Truncate(const F& v) { return (U)__builtin_convertvector(v, I); }

    static KX_BLEND_INLINE U B(TermMultiply, const U& s, const U& d) { return Div255(s * d); }
    static KX_BLEND_INLINE U B(TermScreen, const U& s, const U& d) { return 255 - ((255 - s) * (255 - d) >> 8); }
    static KX_BLEND_INLINE U B(TermHardLight, const U& s, const U& d)
    {
        return (U)(s < 128 ? Div255Twice(s * d) : 255 - Div255Twice((255 - s) * (255 - d)));
    }
    static KX_BLEND_INLINE U B(TermOverlay, const U& s, const U& d) { return B(TermHardLight(), d, s); }
    static KX_BLEND_INLINE U B(TermDarken, const U& s, const U& d) { return (U)(s < d ? s : d); }
    static KX_BLEND_INLINE U B(TermLighten, const U& s, const U& d) { return (U)(s > d ? s : d); }
    static KX_BLEND_INLINE U B(TermColorDodge, const U& s, const U& d)
    {
        const U divisor = (U)(s < 255 ? 255 - s : U{} + 1);
        const U q = Truncate(Float(d * 255) / Float(divisor));
        return (U)(s < 255 ? (U)(q > 255 ? U{} + 255 : q) : U{} + 255);
    }
    static KX_BLEND_INLINE U B(TermColorBurn, const U& s, const U& d)
    {
        // 255 + ((d - 255) * 256) / s toward zero = 255 - ((255 - d) * 256) / s.
        const U divisor = (U)(s == 0 ? U{} + 1 : s);
        const I b = 255 - (I)Truncate(Float((255 - d) * 256) / Float(divisor));
        return (U)(((s == 0) | (b < 0)) ? U{} : (U)b);
    }
    static KX_BLEND_INLINE U B(TermSoftLight, const U& s, const U& d)
    {
        const U g = (s >> 1) + 64;
        const F low = Float(2 * g) * (Float(d) / 255.0f);
        const F high = 255.0f - Float(2 * (255 - g)) * Float(255 - d) / 255.0f;
        return Truncate((I)(d < 128) ? low : high);
    }
    static KX_BLEND_INLINE U B(TermDifference, const U& s, const U& d) { return (U)(s > d ? s - d : d - s); }
    static KX_BLEND_INLINE U B(TermExclusion, const U& s, const U& d) { return s + d - Div255Twice(s * d); }
};

#endif // KX_BLEND_VECTOR

template <class Term, bool Lock, class Alpha>
struct SeparableKernel : SeparablePlain<Term, Lock, Alpha> {
#if defined(KX_BLEND_VECTOR)
    template <int N, class Ops>
    static KX_BLEND_INLINE void Block(const Pixel* s, Pixel* d, const Pixel* m, uint32_t op, BlockKind kind,
                                      const Ops& ops)
    {
        using U = typename Lanes<N>::U;
        using F = typename Lanes<N>::F;
        using T = VectorTerms<N>;
        U S, D;
        std::memcpy(&S, s, sizeof S);
        std::memcpy(&D, d, sizeof D);
        const U da = D >> 24;
        U R;
        if (kind == kClearTransparent) {
            R = (U)(da == 0 ? U{} : D);
        } else {
            const U as = EffectiveAlpha<N, Alpha>(S, m, op);
            U sc[3], dc[3], b[3], q[3];
            for (int c = 0; c < 3; ++c) {
                sc[c] = ops.Channel(S, c);
                dc[c] = ops.Channel(D, c);
                b[c] = T::B(Term(), sc[c], dc[c]);
            }
            U alpha;
            if (kind == kOpaqueSource || kind == kOpaqueDestination) {
                // One of the two colours has weight 0; the other and B share 255.
                const bool source = kind == kOpaqueSource;
                const U weight = source ? da : as;
                for (int c = 0; c < 3; ++c)
                    q[c] = ops.Div255Halves((source ? sc[c] : dc[c]) * (255 - weight) + b[c] * weight);
                alpha = U{} + 255;
            } else {
                const U wS = as * (255 - da), wD = da * (255 - as), wB = as * da;
                alpha = as + ops.Div255Halves(wD);
                const F divisor = T::Float(255 * alpha);
                const F safe = divisor > 1.0f ? divisor : F{} + 1.0f; // A = 0: every n is 0
                const F fs = T::Float(wS), fd = T::Float(wD), fb = T::Float(wB);
                for (int c = 0; c < 3; ++c)
                    q[c] = T::Truncate((T::Float(sc[c]) * fs + T::Float(dc[c]) * fd + T::Float(b[c]) * fb) / safe);
            }
            R = ops.Pack(q[0], q[1], q[2], Lock ? da : alpha);
        }
        std::memcpy(static_cast<void*>(d), &R, sizeof R);
    }
#endif
};

template <class Term, bool Lock, class Alpha>
using SeparableRule = RowRule<SeparableKernel<Term, Lock, Alpha>>;

} // namespace KXBlendKernels

#pragma GCC diagnostic pop

#endif // KXBLENDSEPARABLE_H
