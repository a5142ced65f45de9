#ifndef KXQCOLORREFERENCE_H
#define KXQCOLORREFERENCE_H

// The HSL and CMYK conversions as Qt's QColor computes them, an independent
// reference for the library's own: QColor works on the same 16-bit values
// (an 8-bit channel c is c * 256), and its results are taken as the high byte.

#include "KXPixel.h"

#include <QColor>
#include <QRgba64>

namespace KXQColorReference {

inline uint8_t High(int value16)
{
    return static_cast<uint8_t>(value16 >> 8);
}

inline int To16(double fraction)
{
    return qRound(fraction * 65535.0);
}

inline QColor Rgb16(KXRGBA32i p)
{
    QColor c;
    c.setRgba64(QRgba64::fromRgba64(p.r * 256, p.g * 256, p.b * 256, p.a * 256));
    return c;
}

inline KXRGBA32i FromRgba64(QRgba64 rgb, uint8_t alpha)
{
    KXRGBA32i out;
    out.r = High(rgb.red());
    out.g = High(rgb.green());
    out.b = High(rgb.blue());
    out.a = alpha;
    return out;
}

inline KXHSLA Hsl(KXRGBA32i p)
{
    const QColor hsl = Rgb16(p).toHsl();
    KXHSLA out;
    const double hue = hsl.hslHueF();
    out.h = hue < 0 ? 0 : static_cast<uint16_t>(qRound(hue * 36000.0));
    out.s = High(To16(hsl.hslSaturationF()));
    out.l = High(To16(hsl.lightnessF()));
    out.a = p.a;
    return out;
}

inline KXRGBA32i RgbFromHsl(KXHSLA p)
{
    return FromRgba64(QColor::fromHslF(p.h / 36000.0, (p.s * 256) / 65535.0, (p.l * 256) / 65535.0).rgba64(),
                      p.a);
}

inline KXCMYKA Cmyk(KXRGBA32i p)
{
    const QColor cmyk = Rgb16(p).toCmyk();
    KXCMYKA out;
    out.c = High(To16(cmyk.cyanF()));
    out.m = High(To16(cmyk.magentaF()));
    out.y = High(To16(cmyk.yellowF()));
    out.k = High(To16(cmyk.blackF()));
    out.a = p.a;
    return out;
}

inline KXRGBA32i RgbFromCmyk(KXCMYKA p)
{
    return FromRgba64(QColor::fromCmykF((p.c * 256) / 65535.0, (p.m * 256) / 65535.0, (p.y * 256) / 65535.0,
                                        (p.k * 256) / 65535.0)
                          .rgba64(),
                      p.a);
}

} // namespace KXQColorReference

#endif // KXQCOLORREFERENCE_H
