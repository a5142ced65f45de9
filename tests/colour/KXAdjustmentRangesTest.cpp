// Settings far outside their ranges: each adjustment must act exactly as
// with the nearest end of the range (a hue as its angle modulo 360), with
// no signed overflow on the way (the sanitizer build aborts on one).

#include "KXColorAdjustments.h"
#include "KXTestSupport.h"
#include "KXTonalAdjustments.h"
#include "VQWBTransformation.h"

#include <QImage>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace {

// 256 pixels in which every value occurs in every channel, alpha included.
std::vector<KXRGBA32i> Samples()
{
    std::vector<KXRGBA32i> pixels;
    for (uint32_t i = 0; i < 256; ++i)
        pixels.push_back(KXRGBA32i(((i * 7) & 255) << 24 | i << 16 | (255 - i) << 8 | ((i * 37) & 255)));
    return pixels;
}

template <class Adjustment>
std::vector<uint32_t> Applied(const Adjustment& adjustment)
{
    std::vector<uint32_t> out;
    for (KXRGBA32i p : Samples()) {
        adjustment(p);
        out.push_back(p.value);
    }
    return out;
}

using Result = std::function<std::vector<uint32_t>()>;

std::vector<uint32_t> Levels(int inLow, int inHigh, int outLow, int outHigh, double gamma, int amount)
{
    int input[4][2] = {{inLow, inHigh}, {0, 255}, {inLow, 200}, {0, inHigh}};
    int output[4][2] = {{outLow, outHigh}, {outLow, 255}, {0, 255}, {30, outHigh}};
    double gammas[4] = {gamma, 1.0, gamma, 2.0};
    return Applied(KXLevelsTransformation(input, output, gammas, amount));
}

std::vector<uint32_t> Curves(const QPoint& first, const QPoint& last, int amount)
{
    QVector<QPoint> curves[4] = {{first, QPoint(128, 100), last}, {QPoint(10, 0), last}, {}, {first, QPoint(40, 90)}};
    return Applied(KXCurvesTransformation(curves, amount));
}

std::vector<uint32_t> Enhancer(int amount)
{
    int output[4][2] = {{20, 230}, {0, 255}, {0, 200}, {60, 255}};
    KXColorEnhancerTransformation enhancer;
    enhancer.SetLevels(KXLevelsTransformation(nullptr, output, nullptr, 100));
    enhancer.SetAmountData(amount);
    return Applied(enhancer);
}

std::vector<uint32_t> WhiteBalance(VQWBTransformation::BalanceFunction function, int strength)
{
    QImage image(4, 4, QImage::Format_ARGB32);
    for (int i = 0; i < 16; ++i)
        image.setPixel(i % 4, i / 4, qRgb(40 + 13 * i, 90 + 5 * i, 200 - 9 * i));
    return Applied(VQWBTransformation(image, function, strength));
}

} // namespace

TEST(KXAdjustmentRanges, SettingsOutsideActAsTheNearestEnd)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const KXRGBA32i orange(0xFFFF8020u), dark(0xFF102040u);
    using WB = VQWBTransformation::BalanceFunction;
    struct Case {
        const char* name;
        Result outside, end;
    } cases[] = {
        {"brightness, contrast high", [] { return Applied(KXBrightnessContrastTransformation(INT_MAX, INT_MAX)); },
         [] { return Applied(KXBrightnessContrastTransformation(127, 127)); }},
        {"brightness, contrast low", [] { return Applied(KXBrightnessContrastTransformation(INT_MIN, INT_MIN)); },
         [] { return Applied(KXBrightnessContrastTransformation(-127, -127)); }},
        {"levels ranges, gamma +inf", [&] { return Levels(INT_MIN, INT_MAX, INT_MAX, INT_MIN, inf, INT_MAX); },
         [] { return Levels(0, 255, 255, 0, 9.99, 100); }},
        {"levels gamma -inf", [&] { return Levels(INT_MAX, INT_MIN, -1, 256, -inf, 50); },
         [] { return Levels(255, 0, 0, 255, 0.01, 50); }},
        {"levels gamma NaN", [&] { return Levels(10, 240, 5, 250, nan, 60); },
         [] { return Levels(10, 240, 5, 250, 1.0, 60); }},
        {"curves", [] { return Curves(QPoint(INT_MIN, INT_MAX), QPoint(INT_MAX, INT_MIN), INT_MAX); },
         [] { return Curves(QPoint(0, 255), QPoint(255, 0), 100); }},
        {"hue, saturation, lightness", [] { return Applied(KXHueSaturationTransformation(INT_MAX, INT_MAX, INT_MIN)); },
         [] { return Applied(KXHueSaturationTransformation(INT_MAX % 360, 100, -100)); }},
        {"colorized hue", [] { return Applied(KXHueSaturationTransformation(INT_MIN, INT_MIN, INT_MAX, true)); },
         [] { return Applied(KXHueSaturationTransformation(INT_MIN % 360 + 360, -100, 100, true)); }},
        // 101 % used to carry into alpha.
        {"colorize 101", [=] { return Applied(KXColorizeTransformation(orange, 101)); },
         [=] { return Applied(KXColorizeTransformation(orange, 100)); }},
        {"colorize", [=] { return Applied(KXColorizeTransformation(dark, INT_MAX)); },
         [=] { return Applied(KXColorizeTransformation(dark, 100)); }},
        {"photo filter high", [=] { return Applied(KXPhotoFilterTransformation(orange, INT_MAX)); },
         [=] { return Applied(KXPhotoFilterTransformation(orange, 100)); }},
        {"photo filter low", [=] { return Applied(KXPhotoFilterTransformation(orange, INT_MIN)); },
         [=] { return Applied(KXPhotoFilterTransformation(orange, 0)); }},
        {"tint high", [=] { return Applied(KXTintRGB32(dark, orange, INT_MAX)); },
         [=] { return Applied(KXTintRGB32(dark, orange, 100)); }},
        {"tint low", [=] { return Applied(KXTintRGB32(dark, orange, INT_MIN)); },
         [=] { return Applied(KXTintRGB32(dark, orange, 0)); }},
        {"enhancer high", [] { return Enhancer(INT_MAX); }, [] { return Enhancer(100); }},
        {"enhancer low", [] { return Enhancer(INT_MIN); }, [] { return Enhancer(0); }},
        {"temperature high", [] { return Applied(KXTemperatureCorrection(INT_MAX, INT_MAX, INT_MAX)); },
         [] { return Applied(KXTemperatureCorrection(40000, 100, 100)); }},
        {"temperature low", [] { return Applied(KXTemperatureCorrection(INT_MIN, INT_MIN, INT_MIN)); },
         [] { return Applied(KXTemperatureCorrection(1000, 0, -100)); }},
        {"white balance high", [] { return WhiteBalance(WB::OverExposure, INT_MAX); },
         [] { return WhiteBalance(WB::OverExposure, 100); }},
        {"white balance low", [] { return WhiteBalance(WB::Auto, INT_MIN + 1); },
         [] { return WhiteBalance(WB::Auto, 0); }},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.outside(), c.end()) << c.name;
}
