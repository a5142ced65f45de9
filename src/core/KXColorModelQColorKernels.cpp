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
// half-way (N an odd multiple of 7650) the double's rounding decides: a
// table made by the plain rule says which way (see QColorRGBOf).
//
// Both divisions run in single precision: the forward quotient's floor and
// (N + 7650.5) * (1 / 15300) truncated are exact for every numerator that
// can occur (the float error stays below the distance to the next integer,
// 1 / (200 delta) and 0.5 / 15300). The tests compare both directions with
// QColor on every input.

#include "core/KXColorModelLanes.h"

#include <algorithm>

#pragma GCC diagnostic ignored "-Wpsabi" // the eight-lane helpers are always inlined

namespace KXColorModelKernels {

namespace {

// s | l << 8 of QColor's HSL for [max << 8 | min].
const uint16_t* QColorSaturationLightness()
{
    return SaturationLightness<QColorRGBToHSL>();
}

// The bitwise or of eight lanes.
KX_LANES_INLINE int OrOfLanes(I8 m)
{
    I8 folded = m | __builtin_shufflevector(m, m, 4, 5, 6, 7, 0, 1, 2, 3);
    folded |= __builtin_shufflevector(folded, folded, 2, 3, 0, 1, 6, 7, 4, 5);
    folded |= __builtin_shufflevector(folded, folded, 1, 0, 3, 2, 5, 4, 7, 6);
    return folded[0];
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

// Half-way sloped channels: the kernel's quotient gives the upper byte
// there, and this table says where the plain rule's doubles round down
// instead. Half-way takes N = 60 P + (Q - P) W an odd multiple of 7650 for
// a W in 1 .. 59, which 4364 (s, l, W) do; for each, a bit per sector k
// (hue 60 k + W rising, 60 k + 60 - W falling), found by the plain rule and
// kept in an open hash table.
class HalfWayTable {
public:
    HalfWayTable()
    {
        for (int s = 1; s < 256; ++s)
            for (int l = 1; l < 255; ++l) {
                const int q = l < 128 ? l * (255 + s) : 255 * (l + s) - l * s, p = 510 * l - q;
                // N modulo 15300 stepped along W without a division.
                const int step = (q - p) % 15300;
                int remainder = 60 * p % 15300;
                for (int w = 1; w < 60; ++w) {
                    remainder += step;
                    remainder -= remainder >= 15300 ? 15300 : 0;
                    if (remainder != 7650)
                        continue;
                    const int n = 60 * p + (q - p) * w;
                    uint32_t down = 0;
                    for (int sector = 0; sector < 6; ++sector) {
                        KXHSLA pixel;
                        pixel.h = static_cast<uint16_t>(60 * sector + (sector & 1 ? 60 - w : w));
                        pixel.s = static_cast<uint8_t>(s);
                        pixel.l = static_cast<uint8_t>(l);
                        const uint32_t rgb = QColorHSLToRGB(pixel).value;
                        const int shift = sector == 1 || sector == 4 ? 16 : sector == 0 || sector == 3 ? 8 : 0;
                        down |= static_cast<uint32_t>((rgb >> shift & 255) == static_cast<uint32_t>(n / 15300)) << sector;
                    }
                    const uint32_t key = Key(s, l, w);
                    unsigned int i = Slot(key);
                    while (m_slots[i] != 0)
                        i = (i + 1) & (kSlots - 1);
                    m_slots[i] = key << 7 | 64 | down;
                }
            }
    }

    // Whether the plain rule rounds the half-way channel of (s, l, W) in
    // `sector` down.
    bool RoundsDown(int s, int l, int w, int sector) const
    {
        const uint32_t key = Key(s, l, w);
        for (unsigned int i = Slot(key); m_slots[i] != 0; i = (i + 1) & (kSlots - 1))
            if (m_slots[i] >> 7 == key)
                return (m_slots[i] >> sector & 1) != 0;
        return false;
    }

private:
    static constexpr unsigned int kSlots = 8192;
    static uint32_t Key(int s, int l, int w) { return static_cast<uint32_t>(s << 14 | l << 6 | w); }
    static unsigned int Slot(uint32_t key) { return key * 2654435761u >> 19; }
    uint32_t m_slots[kSlots] = {};
};

const HalfWayTable& TheHalfWayTable()
{
    static const HalfWayTable table;
    return table;
}

// Lane i of the result is table[index[i] mod 8]: GCC's one-vector
// __builtin_shuffle; clang has no variable shuffle builtin, so lane by lane.
KX_LANES_INLINE I8 PickLanes(I8 table, I8 index)
{
#if defined(__clang__)
    I8 picked;
    for (int i = 0; i < 8; ++i)
        picked[i] = table[index[i] & 7];
    return picked;
#else
    return __builtin_shuffle(table, index);
#endif
}

// Eight pixels from lanes h (0 .. 359 or 0xFFFF), s, l, a back to RGB.
//
// The hue's sector k = h / 60 puts one channel on the rising (k even,
// W = h - 60 k) or falling (k odd, W = 60 (k + 1) - h) slope and the other
// two on W = 60 (the largest) and W = 0 (the smallest): k = 0 .. 5 has red,
// green, green, blue, blue, red largest and blue, blue, red, red, green,
// green smallest. The largest is floor((60 Q + 7650) / 15300) =
// floor((Q + 127) / 255) and the smallest floor((P + 127) / 255), never
// half-way (60 P or 60 Q would need P or Q = 127.5 modulo 255), in integers.
// The sloped channel takes the float quotient; where it is exactly half-way
// (N an odd multiple of 7650, a few pixels in a hundred) the table above
// says whether to step it down, and hues above 359 other than 0xFFFF take
// the plain rule: both are flagged in `rare` for FixRarePixels.
KX_LANES_INLINE I8 QColorRGBOf(I8 h, I8 s, I8 l, I8 a, unsigned int& rare)
{
    // A grey (s = 0, or the hue -1) makes Q = P = 255 l and so every channel l.
    const I8 colour = (s != 0) & (h != 0xFFFF);
    const I8 q = l < 128 ? l * (255 + (s & colour)) : 255 * (l + (s & colour)) - l * (s & colour);
    const I8 p = 510 * l - q;
    // floor(y / 255) for y in 0 .. 65535.
    const auto divideBy255 = [](I8 y) { return (y + 1 + (y >> 8)) >> 8; };
    const I8 largest = divideBy255(q + 127), smallest = divideBy255(p + 127);
    const I8 sector = (h * 1093) >> 16; // h / 60 for h in 0 .. 359
    const I8 odd = (sector & 1) != 0;
    const I8 f = h - 60 * sector;
    const I8 w = odd ? 60 - f : f;
    // N + 7650.5 as a float: an integer plus a half below 2^22, exact.
    const F8 n = __builtin_convertvector(60 * p + (q - p) * w, F8) + 7650.5f;
    const I8 sloped = __builtin_convertvector(n * (1.0f / 15300.0f), I8);
    const I8 invalid = (h > 359) & (h != 0xFFFF);
    const I8 tie = (__builtin_convertvector(sloped, F8) * 15300.0f + 0.5f == n) & colour & ~invalid;
    // Each role's bit position by sector (red 16, green 8, blue 0).
    const I8 toLargest = PickLanes(I8{16, 8, 8, 0, 0, 16, 0, 0}, sector);
    const I8 toSloped = PickLanes(I8{8, 16, 0, 8, 16, 0, 0, 0}, sector);
    const I8 toSmallest = PickLanes(I8{0, 0, 16, 16, 8, 8, 0, 0}, sector);
    I8 v = a << 24 | largest << toLargest | sloped << toSloped | smallest << toSmallest;
    const I8 lane = I8{1, 2, 4, 8, 16, 32, 64, 128};
    rare = static_cast<unsigned int>(OrOfLanes((tie & lane) | (invalid & lane << 8)));
    return v;
}

// The pixels QColorRGBOf leaves to a second look, one at a time: bit k of
// `rare` a half-way sloped channel in out[k], bit 8 + k a hue above 359;
// pixel(k) gives pixel k's HSL.
template <class Pixel>
void FixRarePixels(unsigned int rare, KXRGBA32i* out, const HalfWayTable& halfWay, const Pixel& pixel)
{
    for (unsigned int m = rare & 255; m != 0; m &= m - 1) {
        const int k = __builtin_ctz(m);
        const KXHSLA p = pixel(k);
        const int sector = p.h / 60, f = p.h % 60;
        if (halfWay.RoundsDown(p.s, p.l, sector & 1 ? 60 - f : f, sector))
            out[k].value -= 1u << (sector == 1 || sector == 4 ? 16 : sector == 0 || sector == 3 ? 8 : 0);
    }
    for (unsigned int m = rare >> 8; m != 0; m &= m - 1) {
        const int k = __builtin_ctz(m);
        out[k] = QColorHSLToRGB(pixel(k));
    }
}

// Eight pixels back to RGB.
KX_LANES_INLINE void QColorHSLToRGBBlock(const KXHSLA* in, KXRGBA32i* out, const HalfWayTable& halfWay)
{
    I8 w0, w1;
    std::memcpy(&w0, in, sizeof w0);
    std::memcpy(&w1, in + 4, sizeof w1);
    const I8 low = __builtin_shufflevector(w0, w1, 0, 2, 4, 6, 8, 10, 12, 14);
    const I8 high = __builtin_shufflevector(w0, w1, 1, 3, 5, 7, 9, 11, 13, 15);
    unsigned int rare;
    const I8 v = QColorRGBOf(low & 0xFFFF, low >> 16 & 255, low >> 24 & 255, high & 255, rare);
    std::memcpy(static_cast<void*>(out), &v, sizeof v);
    if (__builtin_expect(rare != 0, 0))
        FixRarePixels(rare, out, halfWay, [in](int k) { return in[k]; });
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
    const HalfWayTable& halfWay = TheHalfWayTable();
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
        QColorHSLToRGBBlock(in + i, out + i, halfWay);
    for (; i < n; ++i)
        out[i] = QColorHSLToRGB(in[i]);
}

// ---- QColor's HSL changed on the way ----------------------------------------
//
// A run of blocks to HSL lanes in a small buffer, then the run back to RGB:
// two short loops whose blocks overlap in the processor, where one loop
// doing both halves of a block is held up by its long chain (a table load,
// a division, then the way back).

KX_LANES_INLINE I8 ClampByteLanes(I8 x)
{
    x = x < 0 ? I8{} : x;
    return x > 255 ? I8{} + 255 : x;
}

KX_LANES_INLINE HSLLanes QColorHSLShifted(const KXRGBA32i* in, const uint16_t* table, const QColorHSLShift& shift)
{
    I8 v;
    std::memcpy(&v, in, sizeof v);
    const HSLLanes hsl = QColorHSLOf(v, table);
    I8 h = shift.colorize ? I8{} + shift.hue : hsl.h + shift.hue; // -2 .. 718
    h = h < -1 ? h + 360 : h >= 360 ? h - 360 : h;
    return HSLLanes{h, ClampByteLanes(hsl.s + shift.saturation), ClampByteLanes(hsl.l + shift.lightness), hsl.a};
}

KX_LANES_INLINE HSLLanes QColorHSLRelit(const KXRGBA32i* hueFrom, const KXRGBA32i* in, const uint16_t* table)
{
    I8 v, original;
    std::memcpy(&v, hueFrom, sizeof v);
    std::memcpy(&original, in, sizeof original);
    const HSLLanes hsl = QColorHSLOf(v, table);
    const I8 b = original & 255, g = original >> 8 & 255, r = original >> 16 & 255;
    const I8 gb = g > b ? g : b, gbMin = g < b ? g : b;
    const I8 max = r > gb ? r : gb, min = r < gbMin ? r : gbMin;
    return HSLLanes{hsl.h, hsl.s, (max + min + 1) >> 1, original >> 24 & 255};
}

// Runs of whole blocks, then the rest through one padded block; toHSL(first
// + i, second + i) gives block i's lanes (h -1 for a grey).
template <class ToHSL>
KX_LANES_INLINE void FusedRows(const KXRGBA32i* first, const KXRGBA32i* second, KXRGBA32i* out, size_t n,
                               const ToHSL& toHSL)
{
    constexpr size_t kRun = 256;
    const HalfWayTable& halfWay = TheHalfWayTable();
    HSLLanes lanes[kRun / 8];
    // Block j's RGB to o; the blocks with pixels for a second look listed.
    unsigned int rare[kRun / 8];
    size_t listed[kRun / 8], count = 0;
    const auto store = [&](size_t j, KXRGBA32i* o) __attribute__((always_inline)) {
        const HSLLanes& hsl = lanes[j];
        const I8 v = QColorRGBOf(hsl.h & 0xFFFF, hsl.s, hsl.l, hsl.a, rare[j]);
        std::memcpy(static_cast<void*>(o), &v, sizeof v);
        listed[count] = j;
        count += rare[j] != 0;
    };
    const auto fix = [&](size_t j, KXRGBA32i* o) {
        FixRarePixels(rare[j], o, halfWay, [&lanes, j](int k) {
            KXHSLA p;
            p.h = static_cast<uint16_t>(lanes[j].h[k]);
            p.s = static_cast<uint8_t>(lanes[j].s[k]);
            p.l = static_cast<uint8_t>(lanes[j].l[k]);
            p.a = static_cast<uint8_t>(lanes[j].a[k]);
            return p;
        });
    };
    size_t i = 0;
    while (i + 8 <= n) {
        const size_t blocks = std::min(kRun, n - i) / 8;
        for (size_t j = 0; j < blocks; ++j)
            lanes[j] = toHSL(first + i + 8 * j, second + i + 8 * j);
        count = 0;
        for (size_t j = 0; j < blocks; ++j)
            store(j, out + i + 8 * j);
        for (size_t t = 0; t < count; ++t)
            fix(listed[t], out + i + 8 * listed[t]);
        i += 8 * blocks;
    }
    if (i < n) {
        KXRGBA32i a[8], b[8], o[8];
        std::memcpy(static_cast<void*>(a), first + i, (n - i) * sizeof *a);
        std::memcpy(static_cast<void*>(b), second + i, (n - i) * sizeof *b);
        lanes[0] = toHSL(a, b);
        store(0, o);
        fix(0, o);
        std::memcpy(static_cast<void*>(out + i), o, (n - i) * sizeof *o);
    }
}

KX_LANES_INLINE void QColorHSLShiftRows(const KXRGBA32i* in, KXRGBA32i* out, size_t n, const QColorHSLShift& shift)
{
    const uint16_t* table = QColorSaturationLightness();
    const QColorHSLShift local = shift;
    FusedRows(in, in, out, n, [table, local](const KXRGBA32i* a, const KXRGBA32i*) __attribute__((always_inline)) {
        return QColorHSLShifted(a, table, local);
    });
}

KX_LANES_INLINE void QColorHSLRelightRows(const KXRGBA32i* hueFrom, const KXRGBA32i* in, KXRGBA32i* out, size_t n)
{
    const uint16_t* table = QColorSaturationLightness();
    FusedRows(hueFrom, in, out, n, [table](const KXRGBA32i* a, const KXRGBA32i* b) __attribute__((always_inline)) {
        return QColorHSLRelit(a, b, table);
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

#if defined(KX_ISA_X86)
KX_QCOLOR_ROW_KERNELS(Sse2, __attribute__((flatten)))
KX_QCOLOR_ROW_KERNELS(Avx2, __attribute__((flatten, target("avx2"))))
KX_QCOLOR_ROW_KERNELS(Avx512, __attribute__((flatten, target("avx512f,avx512vl,avx512dq"))))
#endif

} // namespace

void QColorRGBToHSLRow(const KXRGBA32i* in, KXHSLA* out, size_t n, Level level)
{
#if defined(KX_ISA_X86)
    if (const auto kernel = KX_ROW_KERNEL_FOR(QColorRGBToHSL, level))
        return kernel(in, out, n);
#endif
    for (size_t i = 0; i < n; ++i)
        out[i] = QColorRGBToHSL(in[i]);
}

void QColorHSLToRGBRow(const KXHSLA* in, KXRGBA32i* out, size_t n, Level level)
{
#if defined(KX_ISA_X86)
    if (const auto kernel = KX_ROW_KERNEL_FOR(QColorHSLToRGB, level))
        return kernel(in, out, n);
#endif
    for (size_t i = 0; i < n; ++i)
        out[i] = QColorHSLToRGB(in[i]);
}

void QColorHSLShiftRow(const KXRGBA32i* in, KXRGBA32i* out, size_t n, const QColorHSLShift& shift, Level level)
{
#if defined(KX_ISA_X86)
    if (const auto kernel = KX_ROW_KERNEL_FOR(QColorHSLShift, level))
        return kernel(in, out, n, shift);
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

KXRGBA32i QColorHSLShiftPixel(KXRGBA32i pixel, const QColorHSLShift& shift)
{
    // The lanes' arithmetic on one pixel, the divisions done exactly in
    // integers (floor for the hue's negative numerators).
    const int r = pixel.r, g = pixel.g, b = pixel.b;
    const int max = std::max({r, g, b}), min = std::min({r, g, b}), delta = max - min;
    const unsigned int sl = QColorSaturationLightness()[max << 8 | min];
    int hue = -1;
    if (delta != 0) {
        const bool rMax = r == max, gMax = !rMax && g == max;
        const int n = rMax ? g - b : gMax ? b - r : r - g;
        const int base = rMax ? (n < 0 ? 360 : 0) : gMax ? 120 : 240;
        const int numerator = 12000 * n + delta, divisor = 200 * delta;
        hue = base + (numerator >= 0 ? numerator / divisor : -((divisor - 1 - numerator) / divisor));
    }
    hue = shift.colorize ? shift.hue : hue + shift.hue;
    hue = hue < -1 ? hue + 360 : hue >= 360 ? hue - 360 : hue;
    const int s = std::min(std::max(static_cast<int>(sl & 255) + shift.saturation, 0), 255);
    const int l = std::min(std::max(static_cast<int>(sl >> 8) + shift.lightness, 0), 255);
    const uint32_t alpha = static_cast<uint32_t>(pixel.a) << 24;
    if (s == 0 || hue == -1)
        return KXRGBA32i(alpha | static_cast<uint32_t>(l) * 0x010101u);
    const int q = l < 128 ? l * (255 + s) : 255 * (l + s) - l * s, p = 510 * l - q;
    const int sector = hue / 60, f = hue - 60 * sector, w = sector & 1 ? 60 - f : f;
    const int numerator = 60 * p + (q - p) * w + 7650;
    int sloped = numerator / 15300;
    if (numerator % 15300 == 0 && TheHalfWayTable().RoundsDown(s, l, w, sector))
        --sloped;
    // Each role's bit position by sector (red 16, green 8, blue 0).
    static constexpr uint8_t toLargest[6] = {16, 8, 8, 0, 0, 16};
    static constexpr uint8_t toSloped[6] = {8, 16, 0, 8, 16, 0};
    static constexpr uint8_t toSmallest[6] = {0, 0, 16, 16, 8, 8};
    return KXRGBA32i(alpha | static_cast<uint32_t>((q + 127) / 255) << toLargest[sector] |
                     static_cast<uint32_t>(sloped) << toSloped[sector] |
                     static_cast<uint32_t>((p + 127) / 255) << toSmallest[sector]);
}

void QColorHSLRelightRow(const KXRGBA32i* hueFrom, const KXRGBA32i* in, KXRGBA32i* out, size_t n, Level level)
{
#if defined(KX_ISA_X86)
    if (const auto kernel = KX_ROW_KERNEL_FOR(QColorHSLRelight, level))
        return kernel(hueFrom, in, out, n);
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
