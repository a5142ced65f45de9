#ifndef KXBLENDKERNELS_H
#define KXBLENDKERNELS_H

// Per-pixel rules of the layer blend modes (private to the library; the tests
// include it to compare fast paths with the plain ones).
//
// A rule is a small value: operator()(s, d) for an unmasked blend,
// operator()(s, d, m) for a masked one, and Row(...) over a run of pixels.
// Most rules are a core, which composes one pixel given the effective
// source alpha `as`, paired with an alpha rule that computes `as` from the
// source alpha, the integer opacity op (256 = full) and the mask alpha.
//
// Arithmetic is unsigned 32-bit, divisions truncate, op never exceeds 256.

#include "KXPixel.h"
#include "core/KXArithmetic.h"

#include <cstdint>
#include <cstdlib>

namespace KXBlendKernels {

using Pixel = KXRGBA32i;

using KXArithmetic::ClampByte;
using KXArithmetic::DivideBy255;
using KXArithmetic::kDivideBy255Multiplier;
using KXArithmetic::LumaOf;
using KXArithmetic::Min255;

// floor(n / (255 * a)) for 1 <= a <= 255 and n < 2^26, as a multiplication
// by ceil(2^42 / (255 * a)): the multiplier exceeds 2^42 / (255 * a) by less
// than 2^16 / (255 * a), too little to reach the next integer for any n below
// 2^26.
struct ReciprocalsOf255A {
    uint64_t multiplier[256];
    constexpr ReciprocalsOf255A() : multiplier{}
    {
        for (uint64_t a = 1; a < 256; ++a)
            multiplier[a] = ((uint64_t(1) << 42) + 255 * a - 1) / (255 * a);
    }
};
inline constexpr ReciprocalsOf255A kReciprocalsOf255A{};

inline uint32_t DivideBy255A(uint32_t n, uint32_t a)
{
    return static_cast<uint32_t>((uint64_t(n) * kReciprocalsOf255A.multiplier[a]) >> 42);
}

// ---- Blend terms B(s, d) of the separable modes ---------------------------

struct TermNormal {
    uint32_t operator()(uint32_t s, uint32_t) const { return s; }
};
struct TermPlus { // up to 510; clamped only after weighting
    uint32_t operator()(uint32_t s, uint32_t d) const { return s + d; }
};
struct TermMultiply {
    uint32_t operator()(uint32_t s, uint32_t d) const { return s * d / 255; }
};
struct TermScreen { // a shift by 8, not a division by 255
    uint32_t operator()(uint32_t s, uint32_t d) const { return 255 - (((255 - s) * (255 - d)) >> 8); }
};
struct TermHardLight {
    uint32_t operator()(uint32_t s, uint32_t d) const
    {
        return s < 128 ? 2 * s * d / 255 : 255 - 2 * (255 - s) * (255 - d) / 255;
    }
};
struct TermOverlay { // hard light with the roles swapped
    uint32_t operator()(uint32_t s, uint32_t d) const { return TermHardLight()(d, s); }
};
struct TermDarken {
    uint32_t operator()(uint32_t s, uint32_t d) const { return s < d ? s : d; }
};
struct TermLighten {
    uint32_t operator()(uint32_t s, uint32_t d) const { return s > d ? s : d; }
};
struct TermColorDodge {
    uint32_t operator()(uint32_t s, uint32_t d) const { return s < 255 ? Min255(d * 255 / (255 - s)) : 255; }
};
struct TermColorBurn { // signed, the quotient truncated toward zero
    uint32_t operator()(uint32_t s, uint32_t d) const
    {
        if (s == 0)
            return 0;
        const int b = 255 + (static_cast<int>(d) - 255) * 256 / static_cast<int>(s);
        return b > 0 ? static_cast<uint32_t>(b) : 0;
    }
};
// Single precision: the term depends on two bytes only, so it is tabulated
// once with exactly the float operations that define it.
struct TermSoftLight {
    static uint8_t Compute(uint32_t s, uint32_t d)
    {
        const int g = static_cast<int>(s >> 1) + 64;
        float b;
        if (d < 128)
            b = static_cast<float>(2 * g) * (static_cast<float>(d) / 255.0f);
        else
            b = 255.0f - static_cast<float>(2 * (255 - g)) * static_cast<float>(255 - d) / 255.0f;
        return static_cast<uint8_t>(static_cast<int>(b));
    }
    static const uint8_t* Table()
    {
        static const struct Values {
            uint8_t v[256 * 256];
            Values()
            {
                for (uint32_t s = 0; s < 256; ++s)
                    for (uint32_t d = 0; d < 256; ++d)
                        v[s * 256 + d] = Compute(s, d);
            }
        } values;
        return values.v;
    }
    const uint8_t* table = Table();
    uint32_t operator()(uint32_t s, uint32_t d) const { return table[s * 256 + d]; }
};
struct TermDifference {
    uint32_t operator()(uint32_t s, uint32_t d) const { return s > d ? s - d : d - s; }
};
struct TermExclusion {
    uint32_t operator()(uint32_t s, uint32_t d) const { return s + d - 2 * s * d / 255; }
};

// ---- Alpha rules: the effective source alpha ------------------------------

// Unmasked: (s.a * op) >> 8.
struct SourceAlpha {
    uint32_t op;
    uint32_t operator()(const Pixel& s) const { return (s.a * op) >> 8; }
    uint32_t operator()(const Pixel& s, const Pixel&) const { return (*this)(s); }
};
// Masked, the mask applied after the opacity: (m.a * ((s.a * op) >> 8)) / 255.
struct MaskedNestedAlpha {
    uint32_t op;
    uint32_t operator()(const Pixel& s, const Pixel& m) const { return m.a * ((s.a * op) >> 8) / 255; }
};
// Masked, one product: (s.a * m.a * op) / 65280.
struct MaskedProductAlpha {
    uint32_t op;
    uint32_t operator()(const Pixel& s, const Pixel& m) const { return s.a * m.a * op / 65280; }
};
// The source alpha itself, without opacity.
struct RawAlpha {
    uint32_t op;
    uint32_t operator()(const Pixel& s) const { return s.a; }
};

// ---- Cores: compose one pixel given as -------------------------------------

// The generic separable kernel; Lock leaves d's alpha byte alone.
template <class Term, bool Lock>
struct Separable {
    Term term;
    void operator()(const Pixel& s, Pixel& d, uint32_t as) const
    {
        const uint32_t da = d.a;
        const uint32_t wS = as * (255 - da), wD = da * (255 - as), wB = as * da;
        const uint32_t alpha = Min255((255 * as + wD) / 255);
        if (alpha == 0) {
            d.value = 0;
            return;
        }
        d.b = static_cast<uint8_t>(Min255(DivideBy255A(s.b * wS + d.b * wD + term(s.b, d.b) * wB, alpha)));
        d.g = static_cast<uint8_t>(Min255(DivideBy255A(s.g * wS + d.g * wD + term(s.g, d.g) * wB, alpha)));
        d.r = static_cast<uint8_t>(Min255(DivideBy255A(s.r * wS + d.r * wD + term(s.r, d.r) * wB, alpha)));
        if (!Lock)
            d.a = static_cast<uint8_t>(alpha);
    }
};

struct ClearCore { // as != 0 exactly when s.a * op > 255
    void operator()(const Pixel&, Pixel& d, uint32_t as) const
    {
        if (as != 0)
            d.a = 0;
    }
};
struct SourceCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t as) const
    {
        d = s;
        d.a = static_cast<uint8_t>(as);
    }
};
struct SourceColoursCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t) const
    {
        d.value = (s.value & 0x00FFFFFFu) | (d.value & 0xFF000000u);
    }
};
struct DestinationInCore {
    void operator()(const Pixel&, Pixel& d, uint32_t as) const { d.a = static_cast<uint8_t>(as * d.a / 255); }
};
struct DestinationOutCore {
    void operator()(const Pixel&, Pixel& d, uint32_t as) const { d.a = static_cast<uint8_t>((255 - as) * d.a / 255); }
};

struct BitOr {
    uint32_t operator()(uint32_t d, uint32_t s) const { return d | s; }
};
struct BitAnd {
    uint32_t operator()(uint32_t d, uint32_t s) const { return d & s; }
};
struct BitAndNot {
    uint32_t operator()(uint32_t d, uint32_t s) const { return d & ~s; }
};
template <class Op, bool Lock>
struct BitwiseCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t as) const
    {
        const Op op;
        d.b = static_cast<uint8_t>(op(d.b, s.b));
        d.g = static_cast<uint8_t>(op(d.g, s.g));
        d.r = static_cast<uint8_t>(op(d.r, s.r));
        if (!Lock)
            d.a = static_cast<uint8_t>(op(d.a, as));
    }
};

struct AlphaFromLuminanceCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t as) const
    {
        // (x * 255) / 65025 = x / 255: d's alpha mixed toward the luma.
        d.a = static_cast<uint8_t>(KXArithmetic::Mix(d.a, static_cast<int>(LumaOf(s)), static_cast<int>(as)));
    }
};

template <bool Lock>
struct GreyFromAlphaCore {
    void operator()(const Pixel&, Pixel& d, uint32_t as) const
    {
        d.b = d.g = d.r = static_cast<uint8_t>(as);
        if (!Lock)
            d.a = 255;
    }
};

template <bool Lock>
struct GreyFromLuminanceCore { // no opacity
    void operator()(const Pixel& s, Pixel& d, uint32_t) const
    {
        const uint8_t grey = s.a != 0 ? static_cast<uint8_t>(LumaOf(s)) : 255;
        d.b = d.g = d.r = grey;
        if (!Lock)
            d.a = 255;
    }
};

// The source's luminance with the destination's colour differences, which
// are scaled by d's alpha; d's alpha is kept.
struct LuminosityCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t as) const
    {
        const int ld = static_cast<int>(LumaOf(d));
        const int l = KXArithmetic::Mix(ld, static_cast<int>(LumaOf(s)), static_cast<int>(as));
        const int da = d.a;
        d.b = ClampByte(l + (int(d.b) - ld) * da / 255);
        d.g = ClampByte(l + (int(d.g) - ld) * da / 255);
        d.r = ClampByte(l + (int(d.r) - ld) * da / 255);
    }
};
// Locked form (as = s.a): a transparent source turns the colours white.
struct LuminosityLockedCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t as) const
    {
        if (s.a == 0)
            d.value |= 0x00FFFFFFu;
        else
            LuminosityCore()(s, d, as);
    }
};
// Masked form: d becomes opaque first.
struct MaskedLuminosityCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t as) const
    {
        d.a = 255;
        LuminosityCore()(s, d, as);
    }
};

template <bool Lock>
struct CopyCoveredCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t as) const
    {
        if (s.a == 0)
            return;
        if (Lock) {
            SourceColoursCore()(s, d, as);
        } else {
            d = s;
            d.a = static_cast<uint8_t>(as);
        }
    }
};

struct AlphaAddCore { // no opacity
    void operator()(const Pixel& s, Pixel& d, uint32_t) const { d.a = static_cast<uint8_t>(Min255(d.a + s.a)); }
};
struct AlphaMinimumCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t) const { d.a = s.a < d.a ? s.a : d.a; }
};
struct AlphaSubtractCore {
    void operator()(const Pixel& s, Pixel& d, uint32_t) const { d.a = d.a > s.a ? d.a - s.a : 0; }
};

// ---- Rules -----------------------------------------------------------------

// Row loops over single pixels; a rule with a faster row replaces them.
template <class Rule>
struct PixelRows {
    void Row(const Pixel* s, Pixel* d, int n) const
    {
        const Rule& rule = static_cast<const Rule&>(*this);
        for (int i = 0; i < n; ++i)
            rule(s[i], d[i]);
    }
    void Row(const Pixel* s, Pixel* d, const Pixel* m, int n) const
    {
        const Rule& rule = static_cast<const Rule&>(*this);
        for (int i = 0; i < n; ++i)
            rule(s[i], d[i], m[i]);
    }
};

// A core paired with an alpha rule.
template <class Core, class Alpha>
struct CoreRule : PixelRows<CoreRule<Core, Alpha>> {
    Core core;
    Alpha alpha;
    explicit CoreRule(uint32_t op, Core c = Core()) : core(c), alpha{op} {}
    void operator()(const Pixel& s, Pixel& d) const { core(s, d, alpha(s)); }
    void operator()(const Pixel& s, Pixel& d, const Pixel& m) const { core(s, d, alpha(s, m)); }
};

// Mode 92: where the source has any alpha, d's alpha is scaled by the
// opacity; elsewhere it becomes 0.
struct AlphaKeepRule : PixelRows<AlphaKeepRule> {
    uint32_t op;
    explicit AlphaKeepRule(uint32_t opacity) : op(opacity) {}
    void operator()(const Pixel& s, Pixel& d) const
    {
        d.a = static_cast<uint8_t>(s.a != 0 ? ((op * 255) >> 8) * d.a / 255 : 0);
    }
};

// Masked mode 88: grey from the source alpha (opacity, no mask), alpha from
// the mask.
template <bool Lock>
struct MaskedGreyFromAlphaRule : PixelRows<MaskedGreyFromAlphaRule<Lock>> {
    uint32_t op;
    explicit MaskedGreyFromAlphaRule(uint32_t opacity) : op(opacity) {}
    void operator()(const Pixel& s, Pixel& d, const Pixel& m) const
    {
        d.b = d.g = d.r = static_cast<uint8_t>((s.a * op) >> 8);
        if (!Lock)
            d.a = m.a;
    }
};

// Mode 0 of a QImage source: the source pixel is copied whole (its own
// alpha) where it is opaque at this opacity or the destination is
// transparent.
struct QImageNormalRule : PixelRows<QImageNormalRule> {
    Separable<TermNormal, false> core;
    SourceAlpha alpha;
    explicit QImageNormalRule(uint32_t op) : core(), alpha{op} {}
    void operator()(const Pixel& s, Pixel& d) const
    {
        const uint32_t as = alpha(s);
        if (as == 255 || d.a == 0)
            d = s;
        else
            core(s, d, as);
    }
};

} // namespace KXBlendKernels

#endif // KXBLENDKERNELS_H
