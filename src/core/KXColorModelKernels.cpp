// HSL and CMYK conversions of the working pixel: the plain rules and their
// eight-lane row kernels.
//
// Why the row kernels give the same bits:
// - every double operation of the plain rule appears once per lane, in the
//   same order and precision (no fused multiply-add: -ffp-contract=off), and
//   IEEE arithmetic rounds each lane as it rounds the scalar;
// - the channels c * 256 / 65535 come from a table of the 256 quotients;
//   the largest and smallest channel are picked on the bytes, which is the
//   same as picking them on the quotients (c -> c * 256 / 65535 is
//   increasing);
// - a grey pixel (delta = 0; distinct channels differ by at least 1/256, so
//   the plain rule's |delta| <= 1e-12 means delta = 0) and qFuzzyCompare on
//   channels of that spacing (true exactly when equal) become exact
//   comparisons of bytes;
// - qRound(d) is int(d + 0.5) for d >= 0, a truncating conversion; a block
//   with any value to round below 0 (or NaN) goes to the plain rule instead.
// The tests compare every colour through both paths.

#include "core/KXColorModelKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#pragma GCC diagnostic ignored "-Wpsabi" // the eight-lane helpers are always inlined

namespace KXColorModelKernels {

// ---- Plain rules ------------------------------------------------------------

KXHSLA RGBToHSL(KXRGBA32i p)
{
    const double r = FromByte(p.r), g = FromByte(p.g), b = FromByte(p.b);
    const double max = std::max(r, std::max(g, b));
    const double min = std::min(r, std::min(g, b));
    const double delta = max - min;
    const double sum = max + min;
    const double l = sum / 2.0;
    KXHSLA out;
    out.l = To8(l);
    out.a = p.a;
    if (std::fabs(delta) <= 1e-12)
        return out; // grey: h and s are 0
    out.s = To8(l < 0.5 ? delta / sum : delta / (2.0 - sum));
    double h;
    if (qFuzzyCompare(r, max))
        h = (g - b) / delta;
    else if (qFuzzyCompare(g, max))
        h = (b - r) / delta + 2.0;
    else if (qFuzzyCompare(b, max))
        h = (r - g) / delta + 4.0;
    else
        h = 0.0;
    h *= 60.0;
    if (h < 0.0)
        h += 360.0;
    out.h = static_cast<uint16_t>(qRound(h * 100.0));
    return out;
}

namespace {

double Channel(double p, double q, double t)
{
    if (t < 0.0)
        t += 1.0;
    else if (t > 1.0)
        t -= 1.0;
    const double sixT = t * 6.0;
    if (sixT < 1.0)
        return p + (q - p) * sixT;
    if (t * 2.0 < 1.0)
        return q;
    if (t * 3.0 < 2.0)
        return p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return p;
}

} // namespace

KXRGBA32i HSLToRGB(KXHSLA p)
{
    KXRGBA32i out;
    out.a = p.a;
    const unsigned int s16 = p.s * 256u, l16 = p.l * 256u;
    if (s16 == 0 || p.h == 65535) {
        out.r = out.g = out.b = p.l;
        return out;
    }
    if (l16 == 0)
        return out; // black
    const double hue = p.h == 36000 ? 0.0 : p.h / 36000.0;
    const double s = s16 / 65535.0;
    const double l = l16 / 65535.0;
    const double q = l < 0.5 ? (1.0 + s) * l : l + s - l * s;
    const double pp = 2.0 * l - q;
    out.r = To8(Channel(pp, q, hue + 1.0 / 3.0));
    out.g = To8(Channel(pp, q, hue));
    out.b = To8(Channel(pp, q, hue - 1.0 / 3.0));
    return out;
}

KXCMYKA RGBToCMYK(KXRGBA32i p)
{
    double c = 1.0 - FromByte(p.r);
    double m = 1.0 - FromByte(p.g);
    double y = 1.0 - FromByte(p.b);
    const double k = std::min(c, std::min(m, y));
    if (std::fabs(k - 1.0) > 1e-12) {
        c = (c - k) / (1.0 - k);
        m = (m - k) / (1.0 - k);
        y = (y - k) / (1.0 - k);
    }
    KXCMYKA out;
    out.c = To8(c);
    out.m = To8(m);
    out.y = To8(y);
    out.k = To8(k);
    out.a = p.a;
    return out;
}

namespace {

// ---- CMYK table ---------------------------------------------------------------

// k = min(1 - r', 1 - g', 1 - b') is 1 - (largest channel)', and each ink
// (c - k) / (1 - k) depends on its channel and that largest one: ink[max][c],
// worked out exactly as the plain rule does, with k in ink[max][256].
struct CMYKTable {
    uint8_t ink[256][257];
    CMYKTable()
    {
        for (unsigned int max = 0; max < 256; ++max) {
            const double k = 1.0 - FromByte(max);
            for (unsigned int c = 0; c <= max; ++c) {
                double x = 1.0 - FromByte(c);
                if (std::fabs(k - 1.0) > 1e-12)
                    x = (x - k) / (1.0 - k);
                ink[max][c] = To8(x);
            }
            ink[max][256] = To8(k);
        }
    }
};

const CMYKTable& TheCMYKTable()
{
    static const CMYKTable table;
    return table;
}

// ---- Eight-lane kernels --------------------------------------------------------

#define KX_LANES_INLINE inline __attribute__((always_inline))

typedef int32_t I8 __attribute__((vector_size(32)));
typedef int64_t L8 __attribute__((vector_size(64)));
typedef double D8 __attribute__((vector_size(64)));

struct ByteQuotients { // FromByte(c) for every byte
    double v[256];
    ByteQuotients()
    {
        for (unsigned int c = 0; c < 256; ++c)
            v[c] = FromByte(c);
    }
};

const double* Quotients()
{
    static const ByteQuotients table;
    return table.v;
}

KX_LANES_INLINE D8 Look(const double* table, I8 index)
{
    D8 v;
    for (int k = 0; k < 8; ++k)
        v[k] = table[index[k]];
    return v;
}

KX_LANES_INLINE I8 Narrow(L8 v)
{
    return __builtin_convertvector(v, I8);
}

KX_LANES_INLINE L8 Wide(I8 v)
{
    return __builtin_convertvector(v, L8);
}

KX_LANES_INLINE D8 ToDouble(I8 v)
{
    return __builtin_convertvector(v, D8);
}

// qRound(d) for d >= 0.
KX_LANES_INLINE I8 RoundNonNegative(D8 d)
{
    return __builtin_convertvector(d + 0.5, I8);
}

// Lanes selected by `use` where d is negative or NaN, which RoundNonNegative
// does not cover.
KX_LANES_INLINE bool AnyBelowZero(D8 d, L8 use)
{
    const L8 bad = ((d >= 0.0) == 0) & use;
    int64_t folded = 0;
    for (int k = 0; k < 8; ++k)
        folded |= bad[k];
    return folded != 0;
}

KX_LANES_INLINE I8 To8Lanes(D8 x)
{
    return (RoundNonNegative(x * 65535.0) & 0xFFFF) >> 8;
}

// Eight pixels; false (nothing written) when a lane needs the plain rule.
KX_LANES_INLINE bool RGBToHSLBlock(const KXRGBA32i* in, KXHSLA* out, const double* f)
{
    I8 v;
    std::memcpy(&v, in, sizeof v);
    const I8 b = v & 255, g = v >> 8 & 255, r = v >> 16 & 255, a = v >> 24 & 255;
    const I8 gb = g > b ? g : b, gbMin = g < b ? g : b;
    const I8 max = r > gb ? r : gb, min = r < gbMin ? r : gbMin;
    // The hue's numerator x' - y' and offset, by the first channel (r, g, b)
    // that is the largest.
    const I8 rMax = r == max, gMax = (g == max) & ~rMax;
    const I8 x = rMax ? g : gMax ? b : r;
    const I8 y = rMax ? b : gMax ? r : g;
    const I8 offset = rMax ? I8{} : gMax ? I8{} + 2 : I8{} + 4;

    const D8 fMax = Look(f, max), fMin = Look(f, min);
    const D8 delta = fMax - fMin;
    const D8 sum = fMax + fMin;
    const D8 l = sum / 2.0;
    const I8 greyI = max == min;
    const L8 grey = Wide(greyI), colour = ~grey;
    const D8 one = D8{} + 1.0;
    const D8 sDivisor = l < 0.5 ? sum : 2.0 - sum;
    const D8 s = delta / (grey ? one : sDivisor);
    D8 h = (Look(f, x) - Look(f, y)) / (grey ? one : delta) + ToDouble(offset);
    h = h * 60.0;
    h = h < 0.0 ? h + 360.0 : h;
    const D8 h100 = h * 100.0;
    if (AnyBelowZero(l, L8{} - 1) || AnyBelowZero(s, colour) || AnyBelowZero(h100, colour))
        return false;

    const I8 L = To8Lanes(l);
    const I8 S = To8Lanes(s) & ~greyI;
    const I8 H = RoundNonNegative(h100) & 0xFFFF & ~greyI;
    const L8 w = Wide(H) | Wide(S) << 16 | Wide(L) << 24 | Wide(a) << 32;
    std::memcpy(static_cast<void*>(out), &w, sizeof w);
    return true;
}

KX_LANES_INLINE D8 ChannelLanes(D8 p, D8 q, D8 t)
{
    t = t < 0.0 ? t + 1.0 : t > 1.0 ? t - 1.0 : t;
    const D8 sixT = t * 6.0;
    const D8 rising = p + (q - p) * sixT;
    const D8 falling = p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return sixT < 1.0 ? rising : t * 2.0 < 1.0 ? q : t * 3.0 < 2.0 ? falling : p;
}

KX_LANES_INLINE bool HSLToRGBBlock(const KXHSLA* in, KXRGBA32i* out, const double* f)
{
    L8 w;
    std::memcpy(&w, in, sizeof w);
    const I8 h = Narrow(w & 0xFFFF), sI = Narrow(w >> 16 & 255), lI = Narrow(w >> 24 & 255);
    const I8 a = Narrow(w >> 32 & 255);
    const I8 greyI = (sI == 0) | (h == 65535);
    const I8 blackI = (lI == 0) & ~greyI;
    const L8 colour = Wide(~(greyI | blackI));

    const D8 hue = Wide(h == 36000) ? D8{} : ToDouble(h) / 36000.0;
    const D8 s = Look(f, sI), l = Look(f, lI);
    const D8 q = l < 0.5 ? (1.0 + s) * l : l + s - l * s;
    const D8 p = 2.0 * l - q;
    const D8 rD = ChannelLanes(p, q, hue + 1.0 / 3.0);
    const D8 gD = ChannelLanes(p, q, hue);
    const D8 bD = ChannelLanes(p, q, hue - 1.0 / 3.0);
    if (AnyBelowZero(rD, colour) || AnyBelowZero(gD, colour) || AnyBelowZero(bD, colour))
        return false;

    const I8 colourI = Narrow(colour);
    const I8 r = (To8Lanes(rD) & colourI) | (lI & greyI);
    const I8 g = (To8Lanes(gD) & colourI) | (lI & greyI);
    const I8 b = (To8Lanes(bD) & colourI) | (lI & greyI);
    const I8 v = a << 24 | r << 16 | g << 8 | b;
    std::memcpy(static_cast<void*>(out), &v, sizeof v);
    return true;
}

template <class In, class Out, class Block, class Plain>
KX_LANES_INLINE void RowByBlocks(const In* in, Out* out, size_t n, Block block, Plain plain)
{
    const double* f = Quotients();
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        if (!block(in + i, out + i, f))
            for (size_t j = i; j < i + 8; ++j)
                out[j] = plain(in[j]);
    for (; i < n; ++i)
        out[i] = plain(in[i]);
}

#define KX_ROW_KERNELS(Suffix, Attributes)                                                                        \
    Attributes void RGBToHSL##Suffix(const KXRGBA32i* in, KXHSLA* out, size_t n)                                  \
    {                                                                                                             \
        RowByBlocks(in, out, n, RGBToHSLBlock, RGBToHSL);                                                         \
    }                                                                                                             \
    Attributes void HSLToRGB##Suffix(const KXHSLA* in, KXRGBA32i* out, size_t n)                                  \
    {                                                                                                             \
        RowByBlocks(in, out, n, HSLToRGBBlock, HSLToRGB);                                                         \
    }

#if defined(__x86_64__) || defined(__i386__)
#define KX_COLOUR_MODEL_X86 1
KX_ROW_KERNELS(Sse2, __attribute__((flatten)))
KX_ROW_KERNELS(Avx2, __attribute__((flatten, target("avx2"))))
#endif

} // namespace

bool Supported(Width width)
{
#if defined(KX_COLOUR_MODEL_X86)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return width != Width::Avx2 || avx2;
#else
    return width == Width::Plain;
#endif
}

Width Best()
{
    return Supported(Width::Avx2) ? Width::Avx2 : Supported(Width::Sse2) ? Width::Sse2 : Width::Plain;
}

void RGBToHSLRow(const KXRGBA32i* in, KXHSLA* out, size_t n, Width width)
{
#if defined(KX_COLOUR_MODEL_X86)
    if (width == Width::Avx2 && Supported(width))
        return RGBToHSLAvx2(in, out, n);
    if (width == Width::Sse2)
        return RGBToHSLSse2(in, out, n);
#endif
    for (size_t i = 0; i < n; ++i)
        out[i] = RGBToHSL(in[i]);
}

void HSLToRGBRow(const KXHSLA* in, KXRGBA32i* out, size_t n, Width width)
{
#if defined(KX_COLOUR_MODEL_X86)
    if (width == Width::Avx2 && Supported(width))
        return HSLToRGBAvx2(in, out, n);
    if (width == Width::Sse2)
        return HSLToRGBSse2(in, out, n);
#endif
    for (size_t i = 0; i < n; ++i)
        out[i] = HSLToRGB(in[i]);
}

void RGBToCMYKRow(const KXRGBA32i* in, KXCMYKA* out, size_t n)
{
    const CMYKTable& table = TheCMYKTable();
    for (size_t i = 0; i < n; ++i) {
        const KXRGBA32i p = in[i];
        const uint8_t* ink = table.ink[std::max(p.r, std::max(p.g, p.b))];
        const uint64_t w = uint64_t(ink[p.r]) | uint64_t(ink[p.g]) << 8 | uint64_t(ink[p.b]) << 16
                           | uint64_t(ink[256]) << 24 | uint64_t(p.a) << 32;
        std::memcpy(static_cast<void*>(out + i), &w, sizeof w);
    }
}

} // namespace KXColorModelKernels
