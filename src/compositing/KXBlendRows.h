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
// compiled for each width of KXBlendWidths.h, whose Ops struct gives the
// few operations that differ between instruction sets.

#include "KXBlendWidths.h"

#include <cstring>
#include <type_traits>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi" // wide vectors live only inside the flattened AVX2 and AVX-512 row functions

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
using BaselineOps = Ops4;
#else
using BaselineOps = OpsGeneric4;
#endif

template <class Kernel>
__attribute__((flatten)) void Row4(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op)
{
    RowLanes<4, Kernel>(s, d, m, n, op, BaselineOps());
}

#if defined(KX_ISA_X86)
template <class Kernel>
__attribute__((flatten)) KX_BLEND_AVX2 void Row8(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op)
{
    RowLanes<8, Kernel>(s, d, m, n, op, Ops8());
}

template <class Kernel>
__attribute__((flatten)) KX_BLEND_AVX512 void Row16(const Pixel* s, Pixel* d, const Pixel* m, int n, uint32_t op)
{
    RowLanes<16, Kernel>(s, d, m, n, op, Ops16());
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

#pragma GCC diagnostic pop

#endif // KXBLENDROWS_H
