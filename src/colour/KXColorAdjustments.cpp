#include "KXColorAdjustments.h"

#include "core/KXArithmetic.h"
#include "core/KXColorModelKernels.h"

#include <QColor>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

using KXArithmetic::ClampByte;
using KXArithmetic::Mix;

namespace Kernels = KXColorModelKernels;

// out[i] = rule(in[i]) for i < count, one pixel at a time (out may be in).
template <class Rule>
void EachPixel(const Rule& rule, KXRGBA32i* out, const KXRGBA32i* in, unsigned int count)
{
    for (unsigned int i = 0; i < count; ++i) {
        KXRGBA32i p = in[i];
        rule(p);
        out[i] = p;
    }
}

// clamp(trunc(x), 0, 255); NaN gives 0.
template <class Real>
inline int ClampTrunc(Real x)
{
    if (!(x > Real(0)))
        return 0;
    return x >= Real(255) ? 255 : static_cast<int>(x);
}

// A levels object with every input range 0 … 255, gammas 1, amount 100, the
// master output 0 … 255 and channel X's output low[X] … high[X].
KXRGBTables OutputLevels(const int low[3], const int high[3])
{
    int input[4][2] = {{0, 255}, {0, 255}, {0, 255}, {0, 255}};
    int output[4][2] = {{0, 255}, {low[0], high[0]}, {low[1], high[1]}, {low[2], high[2]}};
    double gamma[4] = {1.0, 1.0, 1.0, 1.0};
    return KXLevelsTransformation(input, output, gamma, 100).GetTables();
}

// A hue setting as an angle: −1 (grey) … 359 as given, any other value
// taken modulo 360, as the HSL setter would take it, before it can overflow
// being added to a pixel's hue.
inline int BoundedHue(int hue)
{
    return hue >= -1 && hue <= 359 ? hue : (hue % 360 + 360) % 360;
}

// A percentage setting within 0 … 100.
inline int Percent(int value)
{
    return qBound(0, value, 100);
}

} // namespace

// ---- Hue and saturation ------------------------------------------------------

KXHueSaturationTransformation::KXHueSaturationTransformation(int hue, int saturation, int lightness,
                                                             bool colorize)
    : m_hue(BoundedHue(hue)), m_saturation(qBound(-100, saturation, 100) * 255 / 100),
      m_lightness(qBound(-100, lightness, 100) * 255 / 100), m_colorize(colorize)
{
}

// QColor's getHsl, the change, then setHsl (a result below −1 or above 359
// brought back by 360), in integers: the same bits as QColor's round trip.
void KXHueSaturationTransformation::operator()(KXRGBA32i& pixel) const
{
    pixel = Kernels::QColorHSLShiftPixel(pixel, {m_hue, m_colorize, m_saturation, m_lightness});
}

void KXHueSaturationTransformation::ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const
{
    Kernels::QColorHSLShiftRow(in, out, count, {m_hue, m_colorize, m_saturation, m_lightness}, KXIsa::Current());
}

// ---- Colour balance ----------------------------------------------------------

KXColorBalanceTransformation::KXColorBalanceTransformation(const int* red, const int* green, const int* blue)
{
    // Shadows, midtones, highlights: amplitude, spread, centre.
    static const float amplitude[3] = {0.43f, 0.74f, 0.43f};
    static const float spread[3] = {-0.00055f, -0.0004f, -0.00055f};
    static const float centre[3] = {80.0f, 127.5f, 176.0f};
    static const int none[3] = {0, 0, 0};
    const int* bands[3] = {red ? red : none, green ? green : none, blue ? blue : none};
    KXByteTable tables[3];
    for (int channel = 0; channel < 3; ++channel) {
        KXByteTable& table = tables[channel];
        table[0] = 0;
        table[255] = 255;
        for (int i = 1; i < 255; ++i) {
            float v = static_cast<float>(i);
            for (int k = 0; k < 3; ++k) {
                const float d = static_cast<float>(i) - centre[k];
                v += static_cast<float>(bands[channel][k]) * amplitude[k] * std::exp(spread[k] * (d * d));
            }
            table[i] = static_cast<uint8_t>(ClampTrunc(v));
        }
    }
    m_tables = KXRGBTables(tables[0], tables[1], tables[2]);
}

// ---- Colorize ----------------------------------------------------------------

namespace {
KXHueSaturationTransformation ColorizeOf(const KXRGBA32i& color)
{
    int h, s, l;
    QColor(color.r, color.g, color.b).getHsl(&h, &s, &l);
    return KXHueSaturationTransformation(h, s * 100 / 255, 0, true);
}
} // namespace

KXColorizeTransformation::KXColorizeTransformation(const KXRGBA32i& color, int amount)
    : m_hueSaturation(ColorizeOf(color)), m_weight(Percent(amount) * 255 / 100)
{
    for (unsigned int l = 0; l < 256; ++l) {
        KXRGBA32i grey(0xFF000000u | l * 0x010101u);
        m_hueSaturation(grey);
        m_colorizedGrey[l] = grey;
    }
}

void KXColorizeTransformation::operator()(KXRGBA32i& pixel) const
{
    KXRGBA32i grey = pixel;
    KXDesaturateTransformation()(grey);
    const KXRGBA32i d = m_colorizedGrey[grey.r];
    pixel.r = static_cast<uint8_t>(ClampByte(Mix(pixel.r, d.r, m_weight)));
    pixel.g = static_cast<uint8_t>(ClampByte(Mix(pixel.g, d.g, m_weight)));
    pixel.b = static_cast<uint8_t>(ClampByte(Mix(pixel.b, d.b, m_weight)));
}

void KXColorizeTransformation::ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const
{
    EachPixel(*this, out, in, count);
}

// ---- Photo filter, tint, colour enhancer -------------------------------------

KXPhotoFilterTransformation::KXPhotoFilterTransformation(const KXRGBA32i& color, int density)
    : m_weight(Percent(density) * 255 / 100)
{
    const int low[3] = {0, 0, 0};
    const int high[3] = {color.r, color.g, color.b};
    m_levels = OutputLevels(low, high);
    KXByteTable tables[3];
    for (int channel = 0; channel < 3; ++channel)
        for (int i = 0; i < 256; ++i)
            tables[channel][i] = static_cast<uint8_t>(ClampByte(Mix(i, m_levels[channel][i], m_weight)));
    m_tables = KXRGBTables(tables[0], tables[1], tables[2]);
}

KXTintRGB32::KXTintRGB32(const KXRGBA32i& shadowColor, const KXRGBA32i& highlightColor, int amount)
{
    const int shadow[3] = {shadowColor.r, shadowColor.g, shadowColor.b};
    const int highlight[3] = {highlightColor.r, highlightColor.g, highlightColor.b};
    amount = Percent(amount);
    int low[3], high[3];
    for (int channel = 0; channel < 3; ++channel) {
        low[channel] = shadow[channel] * amount / 100;
        high[channel] = (highlight[channel] - 255) * amount / 100 + 255;
    }
    m_tables = OutputLevels(low, high);
}

KXColorEnhancerTransformation::KXColorEnhancerTransformation() : m_amount(0) {}

void KXColorEnhancerTransformation::SetLevels(const KXLevelsTransformation& levels)
{
    m_levels = levels.GetTables();
    Update();
}

void KXColorEnhancerTransformation::SetAmountData(int amount)
{
    m_amount = Percent(amount);
    Update();
}

void KXColorEnhancerTransformation::Update()
{
    KXByteTable tables[3];
    for (int channel = 0; channel < 3; ++channel)
        for (int i = 0; i < 256; ++i)
            tables[channel][i] = static_cast<uint8_t>(ClampByte(Mix<100>(i, m_levels[channel][i], m_amount)));
    m_tables = KXRGBTables(tables[0], tables[1], tables[2]);
}

// ---- Black and white ---------------------------------------------------------

KXBlackAndWhiteTransformation::KXBlackAndWhiteTransformation(bool lightnessCurve, float redWeight,
                                                             float greenWeight, float blueWeight)
{
    for (int i = 0; i < 256; ++i) {
        float level = static_cast<float>(i);
        if (lightnessCurve) {
            const float v = static_cast<float>(i) / 255.0f;
            float l = v > 0.008856f ? 116.0f * std::pow(v, 1.0f / 3.0f) - 16.0f : 903.3f * v;
            level = l * 2.55f;
        }
        m_red[i] = ClampTrunc(level * redWeight);
        m_green[i] = ClampTrunc(level * greenWeight);
        m_blue[i] = ClampTrunc(level * blueWeight);
    }
}

void KXBlackAndWhiteTransformation::operator()(KXRGBA32i& pixel) const
{
    pixel.r = pixel.g = pixel.b = static_cast<uint8_t>(ClampByte(m_red[pixel.r] + m_green[pixel.g] + m_blue[pixel.b]));
}

void KXBlackAndWhiteTransformation::ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const
{
    EachPixel(*this, out, in, count);
}

// ---- Colour temperature ------------------------------------------------------

KXRGBA32i KXTemperatureCorrection::GetTemperatureColor(int kelvin)
{
    if (kelvin == 6500)
        return KXRGBA32i(0xFFFFFFFFu);
    const float t = static_cast<float>(std::min(std::max(kelvin, 1000), 40000)) / 100.0f;
    const int red = t <= 66.0f ? 255 : ClampTrunc(329.698727446f * std::pow(t - 60.0f, -0.1332047592f));
    const int green = t <= 66.0f ? ClampTrunc(99.4708025861f * std::log(t) - 161.1195681661f)
                                 : ClampTrunc(288.1221695283f * std::pow(t - 60.0f, -0.0755148492f));
    const int blue = t >= 66.0f   ? 255
                     : t <= 19.0f ? 0
                                  : ClampTrunc(138.5177312231f * std::log(t - 10.0f) - 305.0447927307f);
    return KXRGBA32i(0xFF000000u | static_cast<unsigned int>(red) << 16 | static_cast<unsigned int>(green) << 8 |
                     static_cast<unsigned int>(blue));
}

namespace {
// (t × a + (255000 − t) × b) / 255000.
inline int TemperatureMix(int a, int b, int t)
{
    return Mix<255000>(b, a, t);
}
} // namespace

KXTemperatureCorrection::KXTemperatureCorrection()
    : m_weight(50), m_tint(0), m_red(255), m_green(255), m_blue(255)
{
    Update();
}

KXTemperatureCorrection::KXTemperatureCorrection(int kelvin, int strength, int tint)
{
    SetData(kelvin, strength, tint);
}

void KXTemperatureCorrection::SetData(int kelvin, int strength, int tint)
{
    m_weight = Percent(strength) * 2550 / 2;
    InitializeRGBfromKelvin(kelvin, qBound(-100, tint, 100));
    Update();
}

void KXTemperatureCorrection::InitializeRGBfromKelvin(int kelvin, int tint)
{
    const KXRGBA32i color = GetTemperatureColor(kelvin);
    m_red = color.r;
    m_green = color.g;
    m_blue = color.b;
    m_tint = tint;
}

void KXTemperatureCorrection::Update()
{
    KXByteTable red, green, blue;
    for (int i = 0; i < 256; ++i) {
        red[i] = static_cast<uint8_t>(ClampByte(TemperatureMix(m_red, i, m_weight)));
        blue[i] = static_cast<uint8_t>(ClampByte(TemperatureMix(m_blue, i, m_weight)));
        const int g = TemperatureMix(m_green, i, m_weight);
        green[i] = static_cast<uint8_t>(ClampByte(g + m_tint * (m_tint < 1 ? g : 255 - g) / 100));
    }
    m_blended = KXRGBTables(red, green, blue);
}

void KXTemperatureCorrection::operator()(KXRGBA32i& pixel) const
{
    const int lightness = (std::max({pixel.r, pixel.g, pixel.b}) + std::min({pixel.r, pixel.g, pixel.b}) + 1) / 2;
    KXRGBA32i blended = pixel;
    m_blended(blended);
    QColor color(blended.r, blended.g, blended.b);
    int h, s, l;
    color.getHsl(&h, &s, &l);
    color.setHsl(h, s, lightness, 255);
    // One conversion back for all three components (each of red(), green()
    // and blue() would convert again); the same values.
    const QRgb rgb = color.rgb();
    pixel.r = static_cast<uint8_t>(qRed(rgb));
    pixel.g = static_cast<uint8_t>(qGreen(rgb));
    pixel.b = static_cast<uint8_t>(qBlue(rgb));
}

void KXTemperatureCorrection::ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const
{
    // The hue and saturation of the blended colour, the lightness and alpha
    // of the original; the blended colours a short block at a time (in L1).
    constexpr unsigned int kBlock = 256;
    const Kernels::Level level = KXIsa::Current();
    KXRGBA32i blended[kBlock];
    for (unsigned int start = 0; start < count; start += kBlock) {
        const unsigned int n = std::min(kBlock, count - start);
        m_blended.ApplyRun(blended, in + start, n);
        Kernels::QColorHSLRelightRow(blended, in + start, out + start, n, level);
    }
}

// ---- Burn and dodge ----------------------------------------------------------

namespace {

// trunc(v × 255 + 0.5) for x = i / 255. The bound the formula can reach is
// the one that matters; the other is never reached for exposures in 0 … 1
// and only keeps a wrong setting from wrapping around.
template <class Curve>
KXRGBTables ToneCurve(Curve curve)
{
    KXByteTable table;
    for (int i = 0; i < 256; ++i) {
        const double x = i / 255.0;
        table[i] = static_cast<uint8_t>(ClampTrunc(curve(x) * 255.0 + 0.5));
    }
    return KXRGBTables(table);
}

} // namespace

KXRGBTables VQToneCurve(VQToneDirection direction, double e, int range)
{
    const bool dodge = direction == VQToneDirection::Dodge;
    switch (range) {
    case 0: { // shadows
        const double k = 1.0 - 0.5 * e;
        return dodge ? ToneCurve([k](double x) { return x * k + (1.0 - k); })
                     : ToneCurve([e](double x) { return (1.0 - std::exp(1.0 - x)) * e + x; });
    }
    case 1: // midtones
        return dodge ? ToneCurve([e](double x) { return std::sin(kPi * x) * e / 4.0 + x; })
                     : ToneCurve([e](double x) { return x - std::sin(kPi * x) * e / 4.0; });
    default: // highlights
        return dodge ? ToneCurve([e](double x) { return (std::exp(x) - 1.0) * e + x; })
                     : ToneCurve([e](double x) { return x * (1.0 - 0.75 * e); });
    }
}
