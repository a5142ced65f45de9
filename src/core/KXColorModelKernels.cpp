// HSL and CMYK conversions of the working pixel: the plain rules and their
// eight-lane row kernels. The plain HSL rules come in two models, the working
// image's and QColor's, which differ only in the channel quotients, the way a
// rounded 16-bit word becomes 8 bits and the unit of the hue; QColor's row
// kernels are in KXColorModelQColorKernels.cpp.
//
// The working image's row kernels work in integers (see below); the few
// blocks they leave (a half-way hue, a hue word above 36000) go through
// double kernels that repeat the plain rule lane by lane. Why those give the
// same bits:
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

#include "core/KXColorModelLanes.h"

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
    static double Channel(unsigned int c) { return QColorFromByte(c); }
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

// ---- The working image's HSL in integers -----------------------------------
//
// To HSL: s and l depend on the largest and smallest channel alone and come
// from a table of the plain rule's results. The hue in hundredths is exactly
// H = 6000 n / delta + 100 base (n the difference of the other two channels,
// base 0, 120 or 240 degrees by the largest, 360 for a negative n on red);
// qRound gives base * 100 + floor((12000 n + delta) / (2 delta)) unless that
// quotient is a whole number (H half-way, which takes a delta divisible by
// 32), where the double's rounding decides: those blocks go through the
// double kernel above. Otherwise H is at least 1 / (2 delta) from a
// half-integer, far beyond the double's error, and the float quotient
// (numerator below 2^24, quotient below 6001, error below 2^-12) floors
// exactly.
//
// Back to RGB: with the bytes S, L and K = 65535, the plain rule's q and p
// are 256 Q / K^2 and 256 P / K^2 for the integers Q = L (K + 256 S)
// (L < 128) or K (L + S) - 256 L S, and P = 2 K L - Q; each channel is
// p + (q - p) W / 6000, W in 0 .. 6000 from the channel's hue u in
// hundredths (h + 12000, h, h + 24000 for red, green, blue, modulo 36000):
// u below 6000, 6000 below 18000, 24000 - u below 24000, else 0. The byte is
// the high byte of qRound(channel * K), which folds into
// floor(P / K + 1 / 512 + (Q - P) W / (6000 K)) =
// floor((512 (6000 P + (Q - P) W) + 6000 K) / (3072000 K)). Its numerator
// has exactly four factors 2 and the denominator thirteen, so the quotient
// is never whole and stays at least 1 / (192000 K) = 7.9e-11 from one: the
// plain rule's double error (below 1e-12 here) and the few roundings of
// a + b W in doubles (below 1e-12) cannot change the floor. Hue words above
// 36000 (not a hue the conversion makes) go through the double kernel.

// Eight pixels to HSL; false (nothing written) for a half-way hue.
KX_LANES_INLINE bool WorkingRGBToHSLBlock(const KXRGBA32i* in, KXHSLA* out, const uint16_t* table)
{
    I8 v;
    std::memcpy(&v, in, sizeof v);
    const I8 b = v & 255, g = v >> 8 & 255, r = v >> 16 & 255, a = v >> 24 & 255;
    const I8 gb = g > b ? g : b, gbMin = g < b ? g : b;
    const I8 max = r > gb ? r : gb, min = r < gbMin ? r : gbMin;
    const I8 rMax = r == max, gMax = (g == max) & ~rMax;
    const I8 n = rMax ? g - b : gMax ? b - r : r - g;
    const I8 base = rMax ? (n < 0) & 36000 : gMax ? I8{} + 12000 : I8{} + 24000;
    const I8 delta = max - min, colour = delta != 0;
    const I8 x = 12000 * n + delta, y = 2 * (delta | (~colour & 1));
    const I8 quotient = Floor(__builtin_convertvector(x, F8) / __builtin_convertvector(y, F8));
    if (__builtin_expect(AnyLane((quotient * y == x) & colour), 0))
        return false;
    const I8 index = max << 8 | min;
    I8 sl;
    for (int k = 0; k < 8; ++k)
        sl[k] = table[index[k]];
    const I8 low = ((base + quotient) & colour) | sl << 16;
    const I8 words0 = __builtin_shufflevector(low, a, 0, 8, 1, 9, 2, 10, 3, 11);
    const I8 words1 = __builtin_shufflevector(low, a, 4, 12, 5, 13, 6, 14, 7, 15);
    std::memcpy(static_cast<void*>(out), &words0, sizeof words0);
    std::memcpy(static_cast<void*>(out + 4), &words1, sizeof words1);
    return true;
}

// Eight pixels back to RGB; false (nothing written) for a hue word above
// 36000 that is not 65535.
template <int N>
KX_LANES_INLINE bool WorkingHSLToRGBBlock(const KXHSLA* in, KXRGBA32i* out)
{
    using D = typename Lanes<N>::D;
    using I = typename Lanes<N>::I;
    I8 w0, w1;
    std::memcpy(&w0, in, sizeof w0);
    std::memcpy(&w1, in + 4, sizeof w1);
    const I8 low = __builtin_shufflevector(w0, w1, 0, 2, 4, 6, 8, 10, 12, 14);
    const I8 high = __builtin_shufflevector(w0, w1, 1, 3, 5, 7, 9, 11, 13, 15);
    const I8 h = low & 0xFFFF, s = low >> 16 & 255, l = low >> 24 & 255, a = high & 255;
    const I8 grey = (s == 0) | (h == 65535); // l in every channel
    if (__builtin_expect(AnyLane((h > 36000) & ~grey), 0))
        return false;
    const I8 hue = h & (h != 36000);
    const I8 q = l < 128 ? l * (65535 + 256 * s) : 65535 * (l + s) - 256 * l * s; // below 2^25
    const I8 p = 131070 * l - q;
    I8 w[3];
    for (int channel = 0; channel < 3; ++channel) {
        I8 u = hue + (channel == 0 ? 12000 : channel == 1 ? 0 : 24000);
        u = u >= 36000 ? u - 36000 : u;
        w[channel] = u < 6000 ? u : u < 18000 ? I8{} + 6000 : u < 24000 ? 24000 - u : I8{};
    }
    I bytes[3][8 / N];
    EachSlice<N>([&](auto K) {
        const D start = ToDouble<N>(Slice<N, K>(p)) * (1.0 / 65535.0) + 1.0 / 512.0;
        const D slope = ToDouble<N>(Slice<N, K>(q - p)) * (1.0 / (6000.0 * 65535.0));
        for (int channel = 0; channel < 3; ++channel)
            bytes[channel][K] = __builtin_convertvector(start + slope * ToDouble<N>(Slice<N, K>(w[channel])), I);
    });
    const I8 greyL = l & grey;
    const I8 v = a << 24 | ((Join<N>(bytes[0]) & ~grey) | greyL) << 16 | ((Join<N>(bytes[1]) & ~grey) | greyL) << 8 |
                 (Join<N>(bytes[2]) & ~grey) | greyL;
    std::memcpy(static_cast<void*>(out), &v, sizeof v);
    return true;
}

#define KX_ROW_KERNELS(Suffix, N, Attributes)                                                                     \
    Attributes void RGBToHSL##Suffix(const KXRGBA32i* in, KXHSLA* out, size_t n)                                  \
    {                                                                                                             \
        const uint16_t* table = SaturationLightness<RGBToHSL>();                                                  \
        RowByBlocks(in, out, n, [table](const KXRGBA32i* i, KXHSLA* o, const double* f) {                         \
            return WorkingRGBToHSLBlock(i, o, table) || RGBToHSLBlock<N>(i, o, f);                                \
        }, RGBToHSL);                                                                                             \
    }                                                                                                             \
    Attributes void HSLToRGB##Suffix(const KXHSLA* in, KXRGBA32i* out, size_t n)                                  \
    {                                                                                                             \
        RowByBlocks(in, out, n, [](const KXHSLA* i, KXRGBA32i* o, const double* f) {                              \
            return WorkingHSLToRGBBlock<N>(i, o) || HSLToRGBBlock<N>(i, o, f);                                    \
        }, HSLToRGB);                                                                                             \
    }

#if defined(KX_ISA_X86)
KX_ROW_KERNELS(Sse2, 2, __attribute__((flatten)))
KX_ROW_KERNELS(Avx2, 4, __attribute__((flatten, target("avx2"))))
KX_ROW_KERNELS(Avx512, 8, __attribute__((flatten, target("avx512f,avx512vl,avx512dq"))))
#endif

} // namespace

void RGBToHSLRow(const KXRGBA32i* in, KXHSLA* out, size_t n, Level level)
{
#if defined(KX_ISA_X86)
    if (const auto kernel = KX_ROW_KERNEL_FOR(RGBToHSL, level))
        return kernel(in, out, n);
#endif
    for (size_t i = 0; i < n; ++i)
        out[i] = RGBToHSL(in[i]);
}

void HSLToRGBRow(const KXHSLA* in, KXRGBA32i* out, size_t n, Level level)
{
#if defined(KX_ISA_X86)
    if (const auto kernel = KX_ROW_KERNEL_FOR(HSLToRGB, level))
        return kernel(in, out, n);
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
