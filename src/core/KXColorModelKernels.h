#ifndef KXCOLORMODELKERNELS_H
#define KXCOLORMODELKERNELS_H

// The working pixel to HSL and back, and to CMYK: the plain per-pixel rules
// and row kernels that give the same bits many pixels at a time (private to
// the library; the tests include it to compare the row kernels with the
// plain rules).
//
// The HSL rules work in double precision on channels c * 256 / 65535 and
// round to 8 bits like qRound; the row kernels reach the same bits eight
// pixels at a time, mostly in integers (the reasoning is beside them in
// KXColorModelKernels.cpp and KXColorModelQColorKernels.cpp).

#include "KXPixel.h"
#include "core/KXIsa.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace KXColorModelKernels {

// A real number in 0..1 to 8 bits: rounded half up to 16 bits like qRound,
// then the high byte.
inline uint8_t To8(double x)
{
    return static_cast<uint8_t>(static_cast<uint16_t>(qRound(x * 65535.0)) >> 8);
}

// An 8-bit channel as a real number: (c * 256) / 65535, so 255 is 0.99611.
inline double FromByte(unsigned int c)
{
    return static_cast<double>(c * 256) / 65535.0;
}

// An 8-bit channel as QColor sees it: (c * 0x101) / 65535, which is c / 255.
inline double QColorFromByte(unsigned int c)
{
    return static_cast<double>(c * 0x101) / 65535.0;
}

// The row kernels' forms by instruction-set level: Plain one pixel at a
// time, Sse2 eight pixels a step on the baseline instruction set, Avx2 and
// Avx512 the same code compiled for those sets. Callers pass
// KXIsa::Current(); a level above KXIsa::Probed() takes the plain rule.
using KXIsa::Level;

KXHSLA RGBToHSL(KXRGBA32i p);
KXRGBA32i HSLToRGB(KXHSLA p);
KXCMYKA RGBToCMYK(KXRGBA32i p);

void RGBToHSLRow(const KXRGBA32i* in, KXHSLA* out, size_t n, Level level);
void HSLToRGBRow(const KXHSLA* in, KXRGBA32i* out, size_t n, Level level);

// The same rules in QColor's terms, the bits of QColor(r, g, b).getHsl(&h,
// &s, &l) and QColor::fromHsl(h, s, l).rgb(): channels c * 0x101 / 65535,
// 16-bit words read back as w / 257 rounded, and the hue in whole
// degrees, h = 0 .. 359 or 0xFFFF (-1) for a grey. Alpha is carried along.
KXHSLA QColorRGBToHSL(KXRGBA32i p);
KXRGBA32i QColorHSLToRGB(KXHSLA p);
void QColorRGBToHSLRow(const KXRGBA32i* in, KXHSLA* out, size_t n, Level level);
void QColorHSLToRGBRow(const KXHSLA* in, KXRGBA32i* out, size_t n, Level level);

// QColor's HSL changed and converted back in one pass (a short run at a
// time through a small buffer), the bits of the two row kernels above with
// the change between them. out may be in (or hueFrom).

/// A change of QColor's HSL: the hue (-1 .. 359) added to the pixel's (-1
/// for a grey) or, to colorize, put in its place, a result below -1 taken
/// +360 and one above 359 -360 (-1 stays a grey); saturation and lightness
/// added and clamped to 0 .. 255.
struct QColorHSLShift {
    int hue = 0;
    bool colorize = false;
    int saturation = 0;
    int lightness = 0;
};
void QColorHSLShiftRow(const KXRGBA32i* in, KXRGBA32i* out, size_t n, const QColorHSLShift& shift, Level level);
/// The same change of one pixel, in integers: the bits of the plain rule at
/// a small part of its cost, for callers that see one pixel at a time.
KXRGBA32i QColorHSLShiftPixel(KXRGBA32i pixel, const QColorHSLShift& shift);
/// The hue and saturation of hueFrom[i] with the lightness (max + min + 1) / 2
/// and the alpha of in[i].
void QColorHSLRelightRow(const KXRGBA32i* hueFrom, const KXRGBA32i* in, KXRGBA32i* out, size_t n, Level level);
/// Tabulated: each ink depends on its own channel and the largest one only.
void RGBToCMYKRow(const KXRGBA32i* in, KXCMYKA* out, size_t n);

} // namespace KXColorModelKernels

#endif // KXCOLORMODELKERNELS_H
