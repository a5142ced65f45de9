#ifndef KXBLENDLUMINOSITY_H
#define KXBLENDLUMINOSITY_H

// Mode 90 unmasked with the alpha composed (LuminosityCore) over blocks of
// pixels (KXBlendRows.h). Every block is computed: the colour differences
// are scaled by d's alpha even where the source is transparent. All values
// stay within 16 bits: L = ((255-as)*Ld + grey(s)*as) / 255 with a
// numerator of at most 65025, and (d.c - Ld) * d.a / 255 toward zero as the
// quotient of its magnitude with the sign put back; the packs clamp the
// sums to 0 .. 255.

#include "KXBlendRows.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi" // wide vectors live only inside the flattened AVX2 and AVX-512 row functions

namespace KXBlendKernels {

struct LuminosityKernel {
    using AlphaRule = RowSourceAlpha;
    static constexpr bool kByAlpha = false;

    static void Plain(const Pixel* s, Pixel* d, const Pixel*, int n, uint32_t op)
    {
        const LuminosityCore core;
        const SourceAlpha alpha{op};
        for (int i = 0; i < n; ++i)
            core(s[i], d[i], alpha(s[i]));
    }

#if defined(KX_BLEND_VECTOR)
    template <int N, class Ops>
    static KX_BLEND_INLINE typename Lanes<N>::U Grey(const typename Lanes<N>::U& p, const Ops& ops)
    {
        return KXArithmetic::Luma(ops.Channel(p, 2), ops.Channel(p, 1), ops.Channel(p, 0));
    }

    template <int N, class Ops>
    static KX_BLEND_INLINE void Block(const Pixel* s, Pixel* d, const Pixel* m, uint32_t op, BlockKind,
                                      const Ops& ops)
    {
        using U = typename Lanes<N>::U;
        using I = typename Lanes<N>::I;
        U S, D;
        std::memcpy(&S, s, sizeof S);
        std::memcpy(&D, d, sizeof D);
        const U as = EffectiveAlpha<N, RowSourceAlpha>(S, m, op);
        const U ld = Grey<N>(D, ops);
        const I l = (I)Div255((255 - as) * ld + Grey<N>(S, ops) * as);
        const I da = (I)(D >> 24);
        I c[3];
        for (int k = 0; k < 3; ++k) {
            const I scaled = ((I)ops.Channel(D, k) - (I)ld) * da;
            const I magnitude = (I)Div255((U)(scaled < 0 ? -scaled : scaled));
            c[k] = l + (scaled < 0 ? -magnitude : magnitude);
        }
        const U R = ops.Pack((U)c[0], (U)c[1], (U)c[2], (U)da);
        std::memcpy(static_cast<void*>(d), &R, sizeof R);
    }
#endif
};

using LuminosityRule = RowRule<LuminosityKernel>;

} // namespace KXBlendKernels

#pragma GCC diagnostic pop

#endif // KXBLENDLUMINOSITY_H
