// HSL and CMYK conversions of the working pixel: the plain rules and their
// eight-lane row kernels. The plain HSL rules come in two models, the working
// image's and QColor's, which differ only in the channel quotients, the way a
// rounded 16-bit word becomes 8 bits and the unit of the hue; QColor's has
// integer kernels of its own (see below).
//
// Why the working image's row kernels give the same bits:
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
// - sum / 2.0 becomes sum * 0.5 (halving is exact either way), and the hue
//   of a pixel whose red is largest gets an offset 0.0 added like the others
//   (it only turns -0.0 into 0.0, which rounds to the same 0);
// - qRound(d) is int(d + 0.5) for d >= 0, a truncating conversion; a block
//   with any value to round below 0 (or NaN) goes to the plain rule instead.
// The tests compare every colour through both paths.

#include "core/KXColorModelKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#pragma GCC diagnostic ignored "-Wpsabi" // the eight-lane helpers are always inlined

namespace KXColorModelKernels {

// ---- Plain rules ------------------------------------------------------------

namespace {

// The working image's HSL: channels c * 256 / 65535, a rounded 16-bit word
// to 8 bits by its high byte, the hue in hundredths of a degree (0 for a
// grey).
struct WorkingModel {
    static double Channel(unsigned int c) { return FromByte(c); }
    static uint8_t Byte(int word) { return static_cast<uint8_t>(static_cast<uint16_t>(word) >> 8); }
    static constexpr bool kWholeDegrees = false;
    static constexpr uint16_t kGreyHue = 0;
};

// QColor's: channels c * 0x101 / 65535 (= c / 255), a rounded 16-bit word
// to 8 bits as QColor reads it back, w / 257 rounded (with v = w + 0x80,
// (v - (v >> 8)) >> 8), the hue in whole degrees (the rounded hundredths
// truncated), 0xFFFF (-1) for a grey.
struct QColorModel {
    static double Channel(unsigned int c) { return static_cast<double>(c * 0x101) / 65535.0; }
    static uint8_t Byte(int word) { return static_cast<uint8_t>((word + 0x80 - ((word + 0x80) >> 8)) >> 8); }
    static constexpr bool kWholeDegrees = true;
    static constexpr uint16_t kGreyHue = 0xFFFF;
};

template <class M>
KXHSLA RGBToHSLOf(KXRGBA32i p)
{
    const double r = M::Channel(p.r), g = M::Channel(p.g), b = M::Channel(p.b);
    const double max = std::max(r, std::max(g, b));
    const double min = std::min(r, std::min(g, b));
    const double delta = max - min;
    const double sum = max + min;
    const double l = sum / 2.0;
    KXHSLA out;
    out.l = M::Byte(qRound(l * 65535.0));
    out.a = p.a;
    out.h = M::kGreyHue;
    if (std::fabs(delta) <= 1e-12)
        return out; // grey: s is 0
    out.s = M::Byte(qRound((l < 0.5 ? delta / sum : delta / (2.0 - sum)) * 65535.0));
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
    const int hundredths = qRound(h * 100.0);
    out.h = static_cast<uint16_t>(M::kWholeDegrees ? hundredths / 100 : hundredths);
    return out;
}

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

template <class M>
KXRGBA32i HSLToRGBOf(KXHSLA p)
{
    KXRGBA32i out;
    out.a = p.a;
    if (p.s == 0 || p.h == 65535) {
        out.r = out.g = out.b = p.l;
        return out;
    }
    if (p.l == 0)
        return out; // black
    const unsigned int word = M::kWholeDegrees ? p.h * 100u : p.h;
    const double hue = word == 36000 ? 0.0 : word / 36000.0;
    const double s = M::Channel(p.s);
    const double l = M::Channel(p.l);
    const double q = l < 0.5 ? (1.0 + s) * l : l + s - l * s;
    const double pp = 2.0 * l - q;
    out.r = M::Byte(qRound(Channel(pp, q, hue + 1.0 / 3.0) * 65535.0));
    out.g = M::Byte(qRound(Channel(pp, q, hue) * 65535.0));
    out.b = M::Byte(qRound(Channel(pp, q, hue - 1.0 / 3.0) * 65535.0));
    return out;
}

} // namespace

KXHSLA RGBToHSL(KXRGBA32i p)
{
    return RGBToHSLOf<WorkingModel>(p);
}

KXRGBA32i HSLToRGB(KXHSLA p)
{
    return HSLToRGBOf<WorkingModel>(p);
}

KXHSLA QColorRGBToHSL(KXRGBA32i p)
{
    return RGBToHSLOf<QColorModel>(p);
}

KXRGBA32i QColorHSLToRGB(KXHSLA p)
{
    return HSLToRGBOf<QColorModel>(p);
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

// ---- Eight-pixel kernels ------------------------------------------------------
//
// Integer work on the bytes runs in eight 32-bit lanes; the double work runs
// in registers of N lanes (2 for the baseline, 4 for AVX2), a block of eight
// pixels in 8 / N steps.

#define KX_LANES_INLINE inline __attribute__((always_inline))

typedef int32_t I8 __attribute__((vector_size(32)));

template <int N>
struct Lanes {
    typedef double D __attribute__((vector_size(8 * N)));
    typedef int64_t L __attribute__((vector_size(8 * N)));
    typedef int32_t I __attribute__((vector_size(4 * N)));
};

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

template <int N>
KX_LANES_INLINE typename Lanes<N>::D Look(const double* table, typename Lanes<N>::I index)
{
    typename Lanes<N>::D v;
    for (int k = 0; k < N; ++k)
        v[k] = table[index[k]];
    return v;
}

template <int N>
KX_LANES_INLINE typename Lanes<N>::D ToDouble(typename Lanes<N>::I v)
{
    return __builtin_convertvector(v, typename Lanes<N>::D);
}

// qRound(d) for d >= 0, its low 16 bits.
template <int N>
KX_LANES_INLINE typename Lanes<N>::I Round16(typename Lanes<N>::D d)
{
    return __builtin_convertvector(d + 0.5, typename Lanes<N>::I) & 0xFFFF;
}

// Whether a lane is below 0 or NaN, which qRound's int(d + 0.5) misses.
template <int N>
KX_LANES_INLINE typename Lanes<N>::L BelowZero(typename Lanes<N>::D d)
{
    return (d >= 0.0) == 0;
}

template <int N>
KX_LANES_INLINE bool Any(typename Lanes<N>::L m)
{
    int64_t folded = 0;
    for (int k = 0; k < N; ++k)
        folded |= m[k];
    return folded != 0;
}

// Lanes K * N .. K * N + N - 1 of eight.
template <int N, int K>
KX_LANES_INLINE typename Lanes<N>::I Slice(I8 v)
{
    if constexpr (N == 8)
        return v;
    else if constexpr (N == 4)
        return __builtin_shufflevector(v, v, 4 * K, 4 * K + 1, 4 * K + 2, 4 * K + 3);
    else
        return __builtin_shufflevector(v, v, 2 * K, 2 * K + 1);
}

// Eight lanes from 8 / N slices.
template <int N>
KX_LANES_INLINE I8 Join(const typename Lanes<N>::I* part)
{
    if constexpr (N == 8) {
        return part[0];
    } else if constexpr (N == 4) {
        return __builtin_shufflevector(part[0], part[1], 0, 1, 2, 3, 4, 5, 6, 7);
    } else {
        typedef int32_t I4 __attribute__((vector_size(16)));
        const I4 low = __builtin_shufflevector(part[0], part[1], 0, 1, 2, 3);
        const I4 high = __builtin_shufflevector(part[2], part[3], 0, 1, 2, 3);
        return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
    }
}

// fn(std::integral_constant<int, K>) for K = 0 .. 8 / N - 1.
template <int N, class Fn, int... K>
KX_LANES_INLINE void EachSlice(Fn&& fn, std::integer_sequence<int, K...>)
{
    (fn(std::integral_constant<int, K>()), ...);
}

template <int N, class Fn>
KX_LANES_INLINE void EachSlice(Fn&& fn)
{
    EachSlice<N>(fn, std::make_integer_sequence<int, 8 / N>());
}

// Eight pixels; false (nothing written) when a lane needs the plain rule.
template <int N>
KX_LANES_INLINE bool RGBToHSLBlock(const KXRGBA32i* in, KXHSLA* out, const double* f)
{
    using D = typename Lanes<N>::D;
    using I = typename Lanes<N>::I;
    using L = typename Lanes<N>::L;
    I8 v;
    std::memcpy(&v, in, sizeof v);
    const I8 b = v & 255, g = v >> 8 & 255, r = v >> 16 & 255, a = v >> 24 & 255;
    const I8 gb = g > b ? g : b, gbMin = g < b ? g : b;
    // The hue's numerator x' - y' and offset, by the first channel (r, g, b)
    // that is the largest.
    const I8 max = r > gb ? r : gb, min = r < gbMin ? r : gbMin;
    const I8 rMax = r == max, gMax = (g == max) & ~rMax;
    const I8 x = rMax ? g : gMax ? b : r, y = rMax ? b : gMax ? r : g;
    const I8 offset = rMax ? I8{} : gMax ? I8{} + 2 : I8{} + 4;

    I l16[8 / N], s16[8 / N], h[8 / N];
    L bad{};
    EachSlice<N>([&](auto K) {
        const D fMax = Look<N>(f, Slice<N, K>(max)), fMin = Look<N>(f, Slice<N, K>(min));
        const D delta = fMax - fMin;
        const D sum = fMax + fMin;
        const D l = sum * 0.5; // the same as sum / 2.0, exactly
        const L grey = delta == 0.0;
        const D one = D{} + 1.0;
        const D sDivisor = l < 0.5 ? sum : 2.0 - sum;
        const D s = delta / (grey ? one : sDivisor);
        D hue = (Look<N>(f, Slice<N, K>(x)) - Look<N>(f, Slice<N, K>(y))) / (grey ? one : delta) +
                ToDouble<N>(Slice<N, K>(offset));
        hue = hue * 60.0;
        hue = hue < 0.0 ? hue + 360.0 : hue;
        const D hue100 = hue * 100.0;
        bad |= BelowZero<N>(l) | BelowZero<N>(s) | BelowZero<N>(hue100);
        l16[K] = Round16<N>(l * 65535.0);
        s16[K] = Round16<N>(s * 65535.0);
        h[K] = Round16<N>(hue100);
    });
    if (Any<N>(bad))
        return false;
    const I8 colour = ~(max == min); // a grey has h = s = 0
    const I8 low = (Join<N>(h) & colour) | (Join<N>(s16) >> 8 & colour) << 16 | Join<N>(l16) >> 8 << 24;
    const I8 words0 = __builtin_shufflevector(low, a, 0, 8, 1, 9, 2, 10, 3, 11);
    const I8 words1 = __builtin_shufflevector(low, a, 4, 12, 5, 13, 6, 14, 7, 15);
    std::memcpy(static_cast<void*>(out), &words0, sizeof words0);
    std::memcpy(static_cast<void*>(out + 4), &words1, sizeof words1);
    return true;
}

template <int N>
KX_LANES_INLINE typename Lanes<N>::D ChannelLanes(typename Lanes<N>::D p, typename Lanes<N>::D q,
                                                  typename Lanes<N>::D t)
{
    using D = typename Lanes<N>::D;
    t = t < 0.0 ? t + 1.0 : t > 1.0 ? t - 1.0 : t;
    const D sixT = t * 6.0;
    const D rising = p + (q - p) * sixT;
    const D falling = p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return sixT < 1.0 ? rising : t * 2.0 < 1.0 ? q : t * 3.0 < 2.0 ? falling : p;
}

template <int N>
KX_LANES_INLINE bool HSLToRGBBlock(const KXHSLA* in, KXRGBA32i* out, const double* f)
{
    using D = typename Lanes<N>::D;
    using I = typename Lanes<N>::I;
    using L = typename Lanes<N>::L;
    I8 w0, w1;
    std::memcpy(&w0, in, sizeof w0);
    std::memcpy(&w1, in + 4, sizeof w1);
    const I8 low = __builtin_shufflevector(w0, w1, 0, 2, 4, 6, 8, 10, 12, 14);
    const I8 high = __builtin_shufflevector(w0, w1, 1, 3, 5, 7, 9, 11, 13, 15);
    const I8 h = low & 0xFFFF, sI = low >> 16 & 255, lI = low >> 24 & 255, a = high & 255;

    I rgb[3][8 / N];
    L bad{};
    EachSlice<N>([&](auto K) {
        const D hWord = ToDouble<N>(Slice<N, K>(h));
        const D hue = hWord == 36000.0 ? D{} : hWord / 36000.0;
        const D s = Look<N>(f, Slice<N, K>(sI)), l = Look<N>(f, Slice<N, K>(lI));
        const D q = l < 0.5 ? (1.0 + s) * l : l + s - l * s;
        const D p = 2.0 * l - q;
        const D r = ChannelLanes<N>(p, q, hue + 1.0 / 3.0);
        const D g = ChannelLanes<N>(p, q, hue);
        const D b = ChannelLanes<N>(p, q, hue - 1.0 / 3.0);
        bad |= BelowZero<N>(r) | BelowZero<N>(g) | BelowZero<N>(b);
        rgb[0][K] = Round16<N>(r * 65535.0);
        rgb[1][K] = Round16<N>(g * 65535.0);
        rgb[2][K] = Round16<N>(b * 65535.0);
    });
    if (Any<N>(bad))
        return false;
    // s = 0 or hue 65535: l in every channel; otherwise l = 0: black.
    const I8 grey = (sI == 0) | (h == 65535);
    const I8 colour = ~grey & (lI != 0);
    const I8 greyL = lI & grey;
    const I8 r = (Join<N>(rgb[0]) >> 8 & colour) | greyL;
    const I8 g = (Join<N>(rgb[1]) >> 8 & colour) | greyL;
    const I8 b = (Join<N>(rgb[2]) >> 8 & colour) | greyL;
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

// ---- QColor's HSL in integers ------------------------------------------------
//
// To HSL: s and l depend on the largest and smallest channel alone and come
// from a table of the plain rule's results. The hue is exactly
// H = 6000 n / delta + 100 base hundredths (n the difference of the other two
// channels, base 0, 120 or 240 degrees by the largest, 360 for a negative n
// on red), never within 1 / (2 delta) of a half-integer (12000 n would have
// to be delta times an odd number, which takes a delta divisible by 4000),
// so the double's qRound is exact and the whole degrees are
// base + floor((12000 n + delta) / (200 delta)).
//
// Back to RGB: with s and l as bytes, q = Q / 65025 and p = P / 65025 for the
// integers Q = l (255 + s) (l < 128) or 255 (l + s) - l s and P = 510 l - Q,
// and each channel is p + (q - p) W / 60 with W in 0 .. 60 decided by the
// hue: u = the channel's hue (h + 120, h, h + 240 for red, green, blue)
// modulo 360, W = u below 60, 60 below 180, 240 - u below 240, else 0. The
// 16-bit word rounds N * 257 / 15300, N = 60 P + (Q - P) W, which is at least
// 2 / 30600 from a half-integer unless exactly on one, far beyond the
// double's error; and reading the word back as 8 bits folds into
// (N + 7650) / 15300 (floor((floor(x) + c) / m) = floor((x + c) / m)). Exactly
// half-way (N an odd multiple of 7650) the double's rounding decides: those
// lanes are worked again in doubles as the plain rule works them.
//
// Both divisions run in single precision: the forward quotient's floor and
// (N + 7650.5) * (1 / 15300) truncated are exact for every numerator that
// can occur (the float error stays below the distance to the next integer,
// 1 / (200 delta) and 0.5 / 15300). The tests compare both directions with
// QColor on every input.

typedef float F8 __attribute__((vector_size(32)));

// floor of a quotient (exact or of floats), by truncating and stepping down
// for a negative fraction.
KX_LANES_INLINE I8 Floor(F8 quotient)
{
    const I8 q = __builtin_convertvector(quotient, I8);
    return q + (__builtin_convertvector(q, F8) > quotient); // a true lane is -1
}

// s | l << 8 of QColor's HSL for [max << 8 | min].
const uint16_t* QColorSaturationLightness()
{
    struct Table {
        uint16_t sl[256 * 256] = {};
        Table()
        {
            for (unsigned int max = 0; max < 256; ++max)
                for (unsigned int min = 0; min <= max; ++min) {
                    const KXHSLA hsl = RGBToHSLOf<QColorModel>(KXRGBA32i(max << 16 | min << 8 | min));
                    sl[max << 8 | min] = static_cast<uint16_t>(hsl.s | hsl.l << 8);
                }
        }
    };
    static const Table table;
    return table.sl;
}

// QColor's HSL of eight pixels in lanes: the hue in whole degrees (-1 for
// a grey), saturation, lightness and alpha as 0 .. 255.
struct HSLLanes {
    I8 h, s, l, a;
};

// The lanes of eight pixels v.
KX_LANES_INLINE HSLLanes QColorHSLOf(I8 v, const uint16_t* table)
{
    const I8 b = v & 255, g = v >> 8 & 255, r = v >> 16 & 255, a = v >> 24 & 255;
    const I8 gb = g > b ? g : b, gbMin = g < b ? g : b;
    const I8 max = r > gb ? r : gb, min = r < gbMin ? r : gbMin;
    const I8 rMax = r == max, gMax = (g == max) & ~rMax;
    const I8 n = rMax ? g - b : gMax ? b - r : r - g;
    const I8 base = rMax ? (n < 0) & 360 : gMax ? I8{} + 120 : I8{} + 240;
    const I8 delta = max - min, colour = delta != 0;
    const I8 y = 200 * (delta | (~colour & 1));
    const I8 degrees = base + Floor(__builtin_convertvector(12000 * n + delta, F8) / __builtin_convertvector(y, F8));
    const I8 index = max << 8 | min;
    I8 sl;
    for (int k = 0; k < 8; ++k)
        sl[k] = table[index[k]];
    return HSLLanes{(degrees & colour) | ~colour, sl & 255, sl >> 8, a};
}

// Eight pixels to QColor's HSL.
KX_LANES_INLINE void QColorRGBToHSLBlock(const KXRGBA32i* in, KXHSLA* out, const uint16_t* table)
{
    I8 v;
    std::memcpy(&v, in, sizeof v);
    const HSLLanes hsl = QColorHSLOf(v, table);
    const I8 low = (hsl.h & 0xFFFF) | hsl.s << 16 | hsl.l << 24;
    const I8 words0 = __builtin_shufflevector(low, hsl.a, 0, 8, 1, 9, 2, 10, 3, 11);
    const I8 words1 = __builtin_shufflevector(low, hsl.a, 4, 12, 5, 13, 6, 14, 7, 15);
    std::memcpy(static_cast<void*>(out), &words0, sizeof words0);
    std::memcpy(static_cast<void*>(out + 4), &words1, sizeof words1);
}

// QColor's channel quotients c * 0x101 / 65535 for every byte.
const double* QColorQuotients()
{
    struct Table {
        double v[256];
        Table()
        {
            for (unsigned int c = 0; c < 256; ++c)
                v[c] = QColorModel::Channel(c);
        }
    };
    static const Table table;
    return table.v;
}

// The plain rule's bytes, worked in double precision four lanes at a time
// with the same operations in the same order, for one channel per lane: red
// where `red`, blue where `blue`, green elsewhere (hue + 0.0 is the hue, and
// hue + -(1 / 3) is hue - 1 / 3, exactly). Only lanes exactly half-way take
// these bytes; their channel value is at least 0.5 / 65535, so qRound is
// int(d + 0.5) there.
KX_LANES_INLINE I8 QColorHalfWayBytes(I8 h, I8 s, I8 l, I8 red, I8 blue)
{
    using D = Lanes<4>::D;
    using I = Lanes<4>::I;
    using L = Lanes<4>::L;
    const double* f = QColorQuotients();
    I bytes[2];
    EachSlice<4>([&](auto K) {
        const D hue = ToDouble<4>(Slice<4, K>(h * 100)) / 36000.0;
        const D sD = Look<4>(f, Slice<4, K>(s)), lD = Look<4>(f, Slice<4, K>(l));
        const D q = lD < 0.5 ? (1.0 + sD) * lD : lD + sD - lD * sD;
        const D p = 2.0 * lD - q;
        const L isRed = __builtin_convertvector(Slice<4, K>(red), L);
        const L isBlue = __builtin_convertvector(Slice<4, K>(blue), L);
        const D offset = isRed ? D{} + 1.0 / 3.0 : isBlue ? D{} - 1.0 / 3.0 : D{};
        const I word = Round16<4>(ChannelLanes<4>(p, q, hue + offset) * 65535.0);
        bytes[K] = (word + 0x80 - ((word + 0x80) >> 8)) >> 8;
    });
    return Join<4>(bytes);
}

// Eight pixels from lanes h (0 .. 359 or 0xFFFF), s, l, a back to RGB.
// Exactly half-way words (N an odd multiple of 7650) come from the double
// arithmetic above. Only a channel on a slope (W strictly between 0 and 60)
// can be half-way: 60 P or 60 Q would need P or Q = 127.5 modulo 255. The
// three channels' hues are 120 degrees apart, so at most one of them is on
// a slope.
KX_LANES_INLINE I8 QColorRGBOf(I8 h, I8 s, I8 l, I8 a)
{
    const I8 q = l < 128 ? l * (255 + s) : 255 * (l + s) - l * s;
    const I8 p = 510 * l - q;
    const I8 grey = (s == 0) | (h == 0xFFFF);
    // N + 7650.5 and (q - p) as floats: integers and halves below 2^22, so
    // every sum and product is exact.
    const F8 start = __builtin_convertvector(60 * p, F8) + 7650.5f;
    const F8 slope = __builtin_convertvector(q - p, F8);
    I8 tie[3];
    I8 v = a << 24;
    for (int channel = 0; channel < 3; ++channel) {
        I8 u = h + (channel == 0 ? 120 : channel == 1 ? 0 : 240);
        u = u >= 360 ? u - 360 : u;
        const I8 w = u < 60 ? u : u < 180 ? I8{} + 60 : u < 240 ? 240 - u : I8{};
        const F8 n = start + slope * __builtin_convertvector(w, F8);
        const I8 byte = __builtin_convertvector(n * (1.0f / 15300.0f), I8);
        tie[channel] = (__builtin_convertvector(byte, F8) * 15300.0f + 0.5f == n) & ~grey;
        v |= ((byte & ~grey) | (l & grey)) << (16 - 8 * channel);
    }
    const I8 any = tie[0] | tie[1] | tie[2];
    I8 folded = any | __builtin_shufflevector(any, any, 4, 5, 6, 7, 0, 1, 2, 3);
    folded |= __builtin_shufflevector(folded, folded, 2, 3, 0, 1, 6, 7, 4, 5);
    folded |= __builtin_shufflevector(folded, folded, 1, 0, 3, 2, 5, 4, 7, 6);
    if (__builtin_expect(folded[0] != 0, 0)) {
        const I8 bytes = QColorHalfWayBytes(h, s, l, tie[0], tie[2]);
        for (int channel = 0; channel < 3; ++channel) {
            const int shift = 16 - 8 * channel;
            v = (v & ~(tie[channel] & (255 << shift))) | (bytes << shift & tie[channel]);
        }
    }
    return v;
}

// Eight pixels back to RGB.
KX_LANES_INLINE void QColorHSLToRGBBlock(const KXHSLA* in, KXRGBA32i* out)
{
    I8 w0, w1;
    std::memcpy(&w0, in, sizeof w0);
    std::memcpy(&w1, in + 4, sizeof w1);
    const I8 low = __builtin_shufflevector(w0, w1, 0, 2, 4, 6, 8, 10, 12, 14);
    const I8 high = __builtin_shufflevector(w0, w1, 1, 3, 5, 7, 9, 11, 13, 15);
    const I8 v = QColorRGBOf(low & 0xFFFF, low >> 16 & 255, low >> 24 & 255, high & 255);
    std::memcpy(static_cast<void*>(out), &v, sizeof v);
}

KX_LANES_INLINE void QColorRGBToHSLRows(const KXRGBA32i* in, KXHSLA* out, size_t n)
{
    const uint16_t* table = QColorSaturationLightness();
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        QColorRGBToHSLBlock(in + i, out + i, table);
    for (; i < n; ++i)
        out[i] = QColorRGBToHSL(in[i]);
}

KX_LANES_INLINE void QColorHSLToRGBRows(const KXHSLA* in, KXRGBA32i* out, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        QColorHSLToRGBBlock(in + i, out + i);
    for (; i < n; ++i)
        out[i] = QColorHSLToRGB(in[i]);
}

// ---- QColor's HSL changed on the way: eight pixels in registers ------------

KX_LANES_INLINE I8 ClampByteLanes(I8 x)
{
    x = x < 0 ? I8{} : x;
    return x > 255 ? I8{} + 255 : x;
}

// RGB of lanes h (-1 for a grey, 0 .. 359), s, l, a stored to out.
KX_LANES_INLINE void StoreQColorRGB(I8 h, I8 s, I8 l, I8 a, KXRGBA32i* out)
{
    const I8 v = QColorRGBOf(h & 0xFFFF, s, l, a);
    std::memcpy(static_cast<void*>(out), &v, sizeof v);
}

KX_LANES_INLINE void QColorHSLShiftBlock(const KXRGBA32i* in, KXRGBA32i* out, const uint16_t* table,
                                         const QColorHSLShift& shift)
{
    I8 v;
    std::memcpy(&v, in, sizeof v);
    const HSLLanes hsl = QColorHSLOf(v, table);
    I8 h = shift.colorize ? I8{} + shift.hue : hsl.h + shift.hue; // -2 .. 718
    h = h < -1 ? h + 360 : h >= 360 ? h - 360 : h;
    StoreQColorRGB(h, ClampByteLanes(hsl.s + shift.saturation), ClampByteLanes(hsl.l + shift.lightness), hsl.a, out);
}

KX_LANES_INLINE void QColorHSLRelightBlock(const KXRGBA32i* hueFrom, const KXRGBA32i* in, KXRGBA32i* out,
                                           const uint16_t* table)
{
    I8 v, original;
    std::memcpy(&v, hueFrom, sizeof v);
    std::memcpy(&original, in, sizeof original);
    const HSLLanes hsl = QColorHSLOf(v, table);
    const I8 b = original & 255, g = original >> 8 & 255, r = original >> 16 & 255;
    const I8 gb = g > b ? g : b, gbMin = g < b ? g : b;
    const I8 max = r > gb ? r : gb, min = r < gbMin ? r : gbMin;
    StoreQColorRGB(hsl.h, hsl.s, (max + min + 1) >> 1, original >> 24 & 255, out);
}

// Whole blocks of eight, then the rest through one padded block.
template <class Block>
KX_LANES_INLINE void FusedRows(const KXRGBA32i* first, const KXRGBA32i* second, KXRGBA32i* out, size_t n,
                               const Block& block)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        block(first + i, second + i, out + i);
    if (i < n) {
        KXRGBA32i a[8], b[8], o[8];
        std::memcpy(static_cast<void*>(a), first + i, (n - i) * sizeof *a);
        std::memcpy(static_cast<void*>(b), second + i, (n - i) * sizeof *b);
        block(a, b, o);
        std::memcpy(static_cast<void*>(out + i), o, (n - i) * sizeof *o);
    }
}

KX_LANES_INLINE void QColorHSLShiftRows(const KXRGBA32i* in, KXRGBA32i* out, size_t n, const QColorHSLShift& shift)
{
    const uint16_t* table = QColorSaturationLightness();
    const QColorHSLShift local = shift;
    FusedRows(in, in, out, n, [table, local](const KXRGBA32i* a, const KXRGBA32i*, KXRGBA32i* o) {
        QColorHSLShiftBlock(a, o, table, local);
    });
}

KX_LANES_INLINE void QColorHSLRelightRows(const KXRGBA32i* hueFrom, const KXRGBA32i* in, KXRGBA32i* out, size_t n)
{
    const uint16_t* table = QColorSaturationLightness();
    FusedRows(hueFrom, in, out, n, [&](const KXRGBA32i* a, const KXRGBA32i* b, KXRGBA32i* o) {
        QColorHSLRelightBlock(a, b, o, table);
    });
}

#define KX_ROW_KERNELS(Suffix, N, Attributes)                                                                     \
    Attributes void RGBToHSL##Suffix(const KXRGBA32i* in, KXHSLA* out, size_t n)                                  \
    {                                                                                                             \
        RowByBlocks(in, out, n, RGBToHSLBlock<N>, RGBToHSL);                                                      \
    }                                                                                                             \
    Attributes void HSLToRGB##Suffix(const KXHSLA* in, KXRGBA32i* out, size_t n)                                  \
    {                                                                                                             \
        RowByBlocks(in, out, n, HSLToRGBBlock<N>, HSLToRGB);                                                      \
    }                                                                                                             \
    Attributes void QColorRGBToHSL##Suffix(const KXRGBA32i* in, KXHSLA* out, size_t n)                            \
    {                                                                                                             \
        QColorRGBToHSLRows(in, out, n);                                                                           \
    }                                                                                                             \
    Attributes void QColorHSLToRGB##Suffix(const KXHSLA* in, KXRGBA32i* out, size_t n)                            \
    {                                                                                                             \
        QColorHSLToRGBRows(in, out, n);                                                                           \
    }                                                                                                             \
    Attributes void QColorHSLShift##Suffix(const KXRGBA32i* in, KXRGBA32i* out, size_t n,                         \
                                           const QColorHSLShift& shift)                                           \
    {                                                                                                             \
        QColorHSLShiftRows(in, out, n, shift);                                                                    \
    }                                                                                                             \
    Attributes void QColorHSLRelight##Suffix(const KXRGBA32i* hueFrom, const KXRGBA32i* in, KXRGBA32i* out,       \
                                             size_t n)                                                            \
    {                                                                                                             \
        QColorHSLRelightRows(hueFrom, in, out, n);                                                                \
    }

#if defined(__x86_64__) || defined(__i386__)
#define KX_COLOUR_MODEL_X86 1
KX_ROW_KERNELS(Sse2, 2, __attribute__((flatten)))
KX_ROW_KERNELS(Avx2, 4, __attribute__((flatten, target("avx2"))))
KX_ROW_KERNELS(Avx512, 8, __attribute__((flatten, target("avx512f,avx512vl,avx512dq"))))
#endif

} // namespace

bool Supported(Width width)
{
#if defined(KX_COLOUR_MODEL_X86)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                               __builtin_cpu_supports("avx512dq");
    return width == Width::Avx512 ? avx512 : width == Width::Avx2 ? avx2 : true;
#else
    return width == Width::Plain;
#endif
}

Width Best()
{
    return Supported(Width::Avx512) ? Width::Avx512 : Supported(Width::Avx2) ? Width::Avx2 : Supported(Width::Sse2) ? Width::Sse2 : Width::Plain;
}

void RGBToHSLRow(const KXRGBA32i* in, KXHSLA* out, size_t n, Width width)
{
#if defined(KX_COLOUR_MODEL_X86)
    if (width == Width::Avx512 && Supported(width))
        return RGBToHSLAvx512(in, out, n);
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
    if (width == Width::Avx512 && Supported(width))
        return HSLToRGBAvx512(in, out, n);
    if (width == Width::Avx2 && Supported(width))
        return HSLToRGBAvx2(in, out, n);
    if (width == Width::Sse2)
        return HSLToRGBSse2(in, out, n);
#endif
    for (size_t i = 0; i < n; ++i)
        out[i] = HSLToRGB(in[i]);
}

void QColorRGBToHSLRow(const KXRGBA32i* in, KXHSLA* out, size_t n, Width width)
{
#if defined(KX_COLOUR_MODEL_X86)
    if (width == Width::Avx512 && Supported(width))
        return QColorRGBToHSLAvx512(in, out, n);
    if (width == Width::Avx2 && Supported(width))
        return QColorRGBToHSLAvx2(in, out, n);
    if (width == Width::Sse2)
        return QColorRGBToHSLSse2(in, out, n);
#endif
    for (size_t i = 0; i < n; ++i)
        out[i] = QColorRGBToHSL(in[i]);
}

void QColorHSLToRGBRow(const KXHSLA* in, KXRGBA32i* out, size_t n, Width width)
{
#if defined(KX_COLOUR_MODEL_X86)
    if (width == Width::Avx512 && Supported(width))
        return QColorHSLToRGBAvx512(in, out, n);
    if (width == Width::Avx2 && Supported(width))
        return QColorHSLToRGBAvx2(in, out, n);
    if (width == Width::Sse2)
        return QColorHSLToRGBSse2(in, out, n);
#endif
    for (size_t i = 0; i < n; ++i)
        out[i] = QColorHSLToRGB(in[i]);
}

void QColorHSLShiftRow(const KXRGBA32i* in, KXRGBA32i* out, size_t n, const QColorHSLShift& shift, Width width)
{
#if defined(KX_COLOUR_MODEL_X86)
    if (width == Width::Avx512 && Supported(width))
        return QColorHSLShiftAvx512(in, out, n, shift);
    if (width == Width::Avx2 && Supported(width))
        return QColorHSLShiftAvx2(in, out, n, shift);
    if (width == Width::Sse2)
        return QColorHSLShiftSse2(in, out, n, shift);
#endif
    for (size_t i = 0; i < n; ++i) {
        KXHSLA p = QColorRGBToHSL(in[i]);
        int h = shift.colorize ? shift.hue : (p.h == 0xFFFF ? -1 : p.h) + shift.hue;
        h = h < -1 ? h + 360 : h >= 360 ? h - 360 : h;
        p.h = static_cast<uint16_t>(h);
        p.s = static_cast<uint8_t>(std::min(std::max(p.s + shift.saturation, 0), 255));
        p.l = static_cast<uint8_t>(std::min(std::max(p.l + shift.lightness, 0), 255));
        out[i] = QColorHSLToRGB(p);
    }
}

void QColorHSLRelightRow(const KXRGBA32i* hueFrom, const KXRGBA32i* in, KXRGBA32i* out, size_t n, Width width)
{
#if defined(KX_COLOUR_MODEL_X86)
    if (width == Width::Avx512 && Supported(width))
        return QColorHSLRelightAvx512(hueFrom, in, out, n);
    if (width == Width::Avx2 && Supported(width))
        return QColorHSLRelightAvx2(hueFrom, in, out, n);
    if (width == Width::Sse2)
        return QColorHSLRelightSse2(hueFrom, in, out, n);
#endif
    for (size_t i = 0; i < n; ++i) {
        const KXRGBA32i original = in[i];
        KXHSLA p = QColorRGBToHSL(hueFrom[i]);
        p.l = static_cast<uint8_t>((std::max({original.r, original.g, original.b}) +
                                    std::min({original.r, original.g, original.b}) + 1) / 2);
        p.a = original.a;
        out[i] = QColorHSLToRGB(p);
    }
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
