// QColor's HSL in integers, eight pixels at a time: the row kernels of
// QColorRGBToHSL and QColorHSLToRGB, and the two with a change of the HSL
// between them (hue/saturation, colour temperature).
//
// To HSL: s and l depend on the largest and smallest channel alone and come
// from a table of the plain rule's results. The hue is exactly
// H = 6000 n / delta + 100 base hundredths (n the difference of the other two
// channels, base 0, 120 or 240 degrees by the largest, 360 for a negative n
// on red); the whole degrees floor(qRound(H) / 100) are
// base + floor((12000 n + delta) / (200 delta)), a quotient never whole
// (12000 n = (200 k - 1) delta would take a delta divisible by 32 and by
// 125) and so at least 1 / (200 delta) from one, far beyond the double's
// error in H.
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

#include "core/KXColorModelLanes.h"

#include <algorithm>

namespace KXColorModelKernels {

namespace {


// s | l << 8 of QColor's HSL for [max << 8 | min].
const uint16_t* QColorSaturationLightness()
{
    return SaturationLightness<QColorRGBToHSL>();
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
                v[c] = QColorFromByte(c);
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
    if (__builtin_expect(AnyLane(tie[0] | tie[1] | tie[2]), 0)) {
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

#define KX_QCOLOR_ROW_KERNELS(Suffix, Attributes)                                                                 \
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
KX_QCOLOR_ROW_KERNELS(Sse2, __attribute__((flatten)))
KX_QCOLOR_ROW_KERNELS(Avx2, __attribute__((flatten, target("avx2"))))
KX_QCOLOR_ROW_KERNELS(Avx512, __attribute__((flatten, target("avx512f,avx512vl,avx512dq"))))
#endif

} // namespace

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

} // namespace KXColorModelKernels
