#include "KXColorAdjustments.h"
#include "KXTestSupport.h"

#include <QColor>
#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

KXRGBA32i Pixel(int r, int g, int b, int a = 255)
{
    return KXRGBA32i(static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(r) << 16 |
                     static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b));
}

template <class Adjustment>
KXRGBA32i Apply(const Adjustment& adjustment, KXRGBA32i p)
{
    adjustment(p);
    return p;
}

std::vector<KXRGBA32i> RandomPixels(int count, unsigned int seed)
{
    std::mt19937 random(seed);
    std::vector<KXRGBA32i> pixels;
    for (int i = 0; i < count; ++i)
        pixels.push_back(KXRGBA32i(random()));
    for (uint32_t edge : {0x00000000u, 0xFFFFFFFFu, 0x80FF0000u, 0x7F00FF00u, 0x010000FFu, 0xFF808080u})
        pixels.push_back(KXRGBA32i(edge));
    return pixels;
}

} // namespace

// Worked by hand through 16-bit HSL as QColor keeps it (a byte b is b * 257;
// bytes come back rounded): the expected pixels are not computed with the
// QColor calls the adjustment makes.
TEST(KXColorAdjustments, HueSaturationWorkedByHand)
{
    const struct Case {
        const char* what;
        KXHueSaturationTransformation adjustment;
        KXRGBA32i in, out;
    } cases[] = {
        // l = 128: 2l - 1 = 1 / 255, so not even pure red survives the round trip.
        {"neutral", KXHueSaturationTransformation(), Pixel(255, 0, 0, 9), Pixel(255, 1, 1, 9)},
        {"hue + 120", KXHueSaturationTransformation(120, 0, 0, false), Pixel(255, 0, 0, 9), Pixel(1, 255, 1, 9)},
        // Grey has no hue: lightness 100 + 20 * 255 / 100 = 151.
        {"lightness + 20", KXHueSaturationTransformation(0, 0, 20, false), Pixel(100, 100, 100, 7),
         Pixel(151, 151, 151, 7)},
        // l = (200 + 50) / 2 = 125; s - 255 clamps to 0: grey 125.
        {"saturation - 100", KXHueSaturationTransformation(0, -100, 0, false), Pixel(200, 100, 50),
         Pixel(125, 125, 125)},
        // s = 100 / (510 - 300) = 0.476 -> 121, + 50 * 255 / 100 = 127 -> 248;
        // l = 150: q = l + s - l s = 0.9886 -> 252, p = 2l - q = 0.1878 -> 48.
        {"saturation + 50", KXHueSaturationTransformation(0, 50, 0, false), Pixel(200, 100, 100),
         Pixel(252, 48, 48)},
        // Grey 128 coloured at hue 0, s = 127 / 255: q = 0.75 -> 191,
        // p = 0.2539 -> 65.
        {"colourize", KXHueSaturationTransformation(0, 50, 0, true), Pixel(128, 128, 128, 77), Pixel(191, 65, 65, 77)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Apply(c.adjustment, c.in), c.out) << c.what;
}

TEST(KXColorAdjustments, ColourBalanceTables)
{
    const int zero[3] = {0, 0, 0};
    const KXColorBalanceTransformation identity(zero, zero, zero);
    for (int v = 0; v < 256; ++v)
        EXPECT_EQ(Apply(identity, Pixel(v, v, v, 3)), Pixel(v, v, v, 3));

    // Red midtones +100 at 128: 128 + 100 × 0.74 × e^(−0.0004 × 0.25) =
    // 201.99 → 201. Green shadows +100 at 128: 128 + 43 × e^(−0.00055 × 48²)
    // = 140.11 → 140; the other two bands add 100 × 0.43 × e^(−1.2672) = 12.1
    // at 128 for highlights too (176 − 128 = 48): blue highlights +100 → 140.
    const int red[3] = {0, 100, 0}, green[3] = {100, 0, 0}, blue[3] = {0, 0, 100};
    const KXColorBalanceTransformation shifted(red, green, blue);
    EXPECT_EQ(Apply(shifted, Pixel(128, 128, 128)), Pixel(201, 140, 140));
    const int big[3] = {1000, 1000, 1000};
    const KXColorBalanceTransformation extreme(big, big, big);
    EXPECT_EQ(Apply(extreme, Pixel(0, 255, 128)), Pixel(0, 255, 255)) << "0 and 255 never move";
}

TEST(KXColorAdjustments, ColorizeAndPlainColorize)
{
    const KXRGBA32i red = Pixel(255, 0, 0);
    // Red reads as hue 0, saturation 255: the embedded saturation is
    // (255 × 100 / 255) × 255 / 100 = 255. A grey 100 becomes HSL (0, 255, 100): (200, 0, 0).
    EXPECT_EQ(Apply(KXColorizeTransformation(red, 100), Pixel(100, 100, 100, 44)), Pixel(200, 0, 0, 44));
    // Lightness (max + min) / 2 = (150 + 50) / 2 = 100 as well.
    EXPECT_EQ(Apply(KXColorizeTransformation(red, 100), Pixel(50, 150, 90, 44)), Pixel(200, 0, 0, 44));
    // Amount 50: w = 127; (128 × 100 + 127 × 200) / 255 = 149, 128 × 100 / 255 = 50.
    EXPECT_EQ(Apply(KXColorizeTransformation(red, 50), Pixel(100, 100, 100, 44)), Pixel(149, 50, 50, 44));
    for (const KXRGBA32i p : RandomPixels(500, 5))
        EXPECT_EQ(Apply(KXColorizeTransformation(red, 0), p), p);

    EXPECT_EQ(Apply(KXColorize<KXRGBA32i>(Pixel(1, 2, 3, 4)), Pixel(9, 9, 9, 200)), Pixel(1, 2, 3, 200));
}

TEST(KXColorAdjustments, LevelsBasedFilters)
{
    const KXRGBA32i red = Pixel(255, 0, 0);
    for (const KXRGBA32i p : RandomPixels(500, 6)) {
        EXPECT_EQ(Apply(KXPhotoFilterTransformation(Pixel(40, 90, 200), 0), p), p);
        EXPECT_EQ(Apply(KXTintRGB32(Pixel(40, 90, 200), Pixel(10, 20, 30), 0), p), p);
        EXPECT_EQ(Apply(KXColorEnhancerTransformation(), p), p);
        // Density 100 with red keeps red and clears green and blue.
        EXPECT_EQ(Apply(KXPhotoFilterTransformation(red, 100), p), Pixel(p.r, 0, 0, p.a));
    }
    // Density 50: w = 127; green 200 → (128 × 200) / 255 = 100, blue 30 → 15.
    EXPECT_EQ(Apply(KXPhotoFilterTransformation(red, 50), Pixel(10, 200, 30, 77)), Pixel(10, 100, 15, 77));

    // Tint 50 with shadow (100, 0, 0) and highlight (255, 155, 255): red
    // output 50 … 255, green 0 … 205 (−100 × 50 / 100 + 255), blue 0 … 255.
    const KXTintRGB32 tint(Pixel(100, 0, 0), Pixel(255, 155, 255), 50);
    EXPECT_EQ(Apply(tint, Pixel(0, 255, 77, 1)), Pixel(50, 205, 77, 1));
    EXPECT_EQ(Apply(tint, Pixel(100, 100, 255, 1)), Pixel(130, 80, 255, 1)); // 100 × 205 / 255 + 50 = 130

    int input[4][2] = {{50, 200}, {0, 255}, {0, 255}, {0, 255}};
    int output[4][2] = {{0, 255}, {0, 255}, {0, 255}, {0, 255}};
    double gamma[4] = {1, 1, 1, 1};
    KXColorEnhancerTransformation enhancer;
    enhancer.SetLevels(KXLevelsTransformation(input, output, gamma, 100));
    EXPECT_EQ(Apply(enhancer, Pixel(125, 0, 255)), Pixel(125, 0, 255)) << "amount 0";
    enhancer.SetAmountData(50);
    // Levels give 127 at 125: (50 × 125 + 50 × 127) / 100 = 126; 0 → 0; 255 → 255.
    EXPECT_EQ(Apply(enhancer, Pixel(125, 0, 255)), Pixel(126, 0, 255));
    enhancer.SetAmountData(100);
    EXPECT_EQ(Apply(enhancer, Pixel(125, 40, 210)), Pixel(127, 0, 255));
}

TEST(KXColorAdjustments, ReplaceBlackAndWhiteDesaturateFill)
{
    const KXReplaceColorTransformation exact(KXRGBA32i(0x80102030u), KXRGBA32i(0xFF000001u), 0);
    const KXReplaceColorTransformation near(KXRGBA32i(0x80102030u), KXRGBA32i(0xFF000001u), 10);
    EXPECT_EQ(Apply(exact, KXRGBA32i(0x80102030u)).value, 0xFF000001u);
    EXPECT_EQ(Apply(exact, KXRGBA32i(0x81102030u)).value, 0x81102030u) << "alpha counts";
    EXPECT_EQ(Apply(exact, KXRGBA32i(0x80102031u)).value, 0x80102031u);
    EXPECT_EQ(Apply(near, KXRGBA32i(0x8A1A2A3Au)).value, 0xFF000001u);
    EXPECT_EQ(Apply(near, KXRGBA32i(0x76061626u)).value, 0xFF000001u);
    EXPECT_EQ(Apply(near, KXRGBA32i(0x8B1A2A3Au)).value, 0x8B1A2A3Au);
    const KXBlackAndWhiteTransformation redOnly(false, 1.0f, 0.0f, 0.0f);
    for (const KXRGBA32i p : RandomPixels(300, 8))
        EXPECT_EQ(Apply(redOnly, p), Pixel(p.r, p.r, p.r, p.a));
    // (0.5, 0.5, 0): trunc(5.5) + trunc(100.5) = 105; sums above 255 clamp.
    EXPECT_EQ(Apply(KXBlackAndWhiteTransformation(false, 0.5f, 0.5f, 0.0f), Pixel(11, 201, 30)), Pixel(105, 105, 105));
    EXPECT_EQ(Apply(KXBlackAndWhiteTransformation(false, 1, 1, 1), Pixel(200, 200, 30)), Pixel(255, 255, 255));
    // Lightness curve, red weight 1: 1 → 903.3 / 255 × 2.55 = 9.03 → 9;
    // 128 → (116 × (128 / 255)^(1/3) − 16) × 2.55 = 194.28 → 194.
    const KXBlackAndWhiteTransformation lightness(true, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(Apply(lightness, Pixel(1, 7, 7)), Pixel(9, 9, 9));
    EXPECT_EQ(Apply(lightness, Pixel(128, 7, 7)), Pixel(194, 194, 194));
    EXPECT_EQ(Apply(lightness, Pixel(0, 255, 255)), Pixel(0, 0, 0));

    EXPECT_EQ(Apply(KXDesaturateTransformation(), Pixel(10, 201, 30, 5)), Pixel(105, 105, 105, 5)); // (201 + 10) / 2

    VQFillTransformation fill;
    EXPECT_EQ(Apply(fill, KXRGBA32i(0x12345678u)).value, 0u);
    fill.SetData(KXRGBA32i(0x7F010203u));
    EXPECT_EQ(Apply(fill, KXRGBA32i(0x12345678u)).value, 0x7F010203u);
}

TEST(KXColorAdjustments, TemperatureColour)
{
    struct Case {
        int kelvin;
        KXRGBA32i colour;
    };
    // t = K / 100. 1000: green 99.4708 ln 10 − 161.1196 = 67.92, blue 0 (t ≤ 19).
    // 2000: green 136.87, blue 138.5177 ln 10 − 305.0448 = 13.90.
    // 10000: red 329.6987 × 40^−0.1332 = 201.70, green 288.1222 × 40^−0.0755 = 218.07.
    // 40000: red 151.67, green 185.53.
    const Case cases[] = {{6500, Pixel(255, 255, 255)}, {1000, Pixel(255, 67, 0)},    {500, Pixel(255, 67, 0)},
                          {2000, Pixel(255, 136, 13)},  {4000, Pixel(255, 205, 166)}, {10000, Pixel(201, 218, 255)},
                          {40000, Pixel(151, 185, 255)}, {90000, Pixel(151, 185, 255)}};
    for (const Case& c : cases)
        EXPECT_EQ(KXTemperatureCorrection::GetTemperatureColor(c.kelvin), c.colour) << c.kelvin;
}

TEST(KXColorAdjustments, TemperatureCorrection)
{
    // Each result keeps the pixel's lightness (max + min + 1) / 2 through
    // QColor's 16-bit HSL; worked by hand.
    // Strength 0: (200, 100, 50) is h 20, s 153, l 125 and comes back as it was.
    EXPECT_EQ(Apply(KXTemperatureCorrection(3000, 0, 0), Pixel(200, 100, 50, 31)), Pixel(200, 100, 50, 31));
    // Strength 100 (w = 127500, half way) towards 1000 K (255, 67, 0) on
    // grey 100: R = (127500 × 255 + 127500 × 100) / 255000 = 177, G = 83,
    // B = 50, which is h 15, s 143; at l 100: q = 0.6117 -> 156, p = 0.1726
    // -> 44, green 72.
    EXPECT_EQ(Apply(KXTemperatureCorrection(1000, 100, 0), Pixel(100, 100, 100, 31)), Pixel(156, 72, 44, 31));
    // Tint 100 on grey 100 (strength 0): G = 100 + 100 × 155 / 100 = 255,
    // hue 120 s 255 at l 100: (0, 200, 0). Tint −50: G = 100 − 50 × 100 / 100
    // = 50, hue 300 s 85 at l 100: (133, 67, 133).
    EXPECT_EQ(Apply(KXTemperatureCorrection(6500, 0, 100), Pixel(100, 100, 100)), Pixel(0, 200, 0));
    EXPECT_EQ(Apply(KXTemperatureCorrection(6500, 0, -50), Pixel(100, 100, 100)), Pixel(133, 67, 133));

    // SetData replaces every setting of a default correction.
    KXTemperatureCorrection correction;
    correction.SetData(1000, 100, 0);
    EXPECT_EQ(Apply(correction, Pixel(100, 100, 100, 31)), Pixel(156, 72, 44, 31));
}

TEST(KXColorAdjustments, BurnAndDodgeTables)
{
    EXPECT_EQ(Apply(VQBurnCorrection(), Pixel(51, 51, 51)), Pixel(51, 51, 51)) << "default: exposure 0";
    EXPECT_EQ(Apply(VQDodgeCorrection(), Pixel(51, 51, 51)), Pixel(51, 51, 51));
    struct Case {
        bool burn;
        int range;
        double exposure;
        int in, out;
    };
    // x = i / 255, value trunc(v × 255 + 0.5):
    const Case cases[] = {
        {true, 0, 1.0, 0, 0},      // (1 − e) + 0 < 0: lower bound
        {true, 0, 1.0, 200, 139},  // 1 − e^0.2157 + 0.7843 = 0.5436
        {true, 0, 1.0, 255, 255},  // (1 − 1) + 1
        {true, 0, 0.5, 128, 46},   // −0.6455 × 0.5 + 0.5020 = 0.1792
        {true, 1, 1.0, 128, 64},   // 0.50196 − sin(0.50196 π) / 4 = 0.25197
        {true, 2, 1.0, 255, 64},   // 0.25 × 255 = 63.75
        {false, 0, 1.0, 0, 128},   // k = 0.5: 0.5 × 255 + 0.5
        {false, 1, 1.0, 128, 192}, // 0.25 + 0.50196 = 0.75195
        {false, 2, 1.0, 64, 137},  // e^0.25098 − 1 + 0.25098 = 0.53625
        {false, 2, 1.0, 128, 255}, // above 1: upper bound
        {false, 2, 0.5, 100, 161}, // 0.48014 × 0.5 + 0.39216 = 0.63223
    };
    for (const Case& c : cases) {
        const KXRGBA32i in = Pixel(c.in, c.in, c.in, 9);
        const KXRGBA32i out = c.burn ? Apply(VQBurnCorrection(c.exposure, static_cast<VQBurnCorrection::RangeType>(c.range)), in)
                                     : Apply(VQDodgeCorrection(c.exposure, static_cast<VQDodgeCorrection::RangeType>(c.range)), in);
        EXPECT_EQ(out, Pixel(c.out, c.out, c.out, 9)) << (c.burn ? "burn " : "dodge ") << c.range << " " << c.in;
    }
}

namespace {

// ApplyRun against `reference` on every colour (one 4096 x 4096 image,
// varied alpha), run in place; with `pixelsToo` the per-pixel rule as well.
template <class Adjustment, class Reference>
void ExpectMatchesOnEveryColour(const Adjustment& adjustment, const Reference& reference, bool pixelsToo)
{
    std::vector<KXRGBA32i> run(size_t(1) << 24);
    for (uint32_t i = 0; i < run.size(); ++i)
        run[i] = KXRGBA32i(i | (i * 2654435761u) << 24);
    const std::vector<KXRGBA32i> in = run;
    adjustment.ApplyRun(run.data(), run.data(), static_cast<unsigned int>(run.size()) - 5);
    adjustment.ApplyRun(run.data() + run.size() - 5, in.data() + run.size() - 5, 5);
    for (size_t i = 0; i < in.size(); ++i) {
        const KXRGBA32i expected = reference(in[i]);
        ASSERT_EQ(run[i].value, expected.value) << std::hex << in[i].value;
        if (pixelsToo) {
            ASSERT_EQ(Apply(adjustment, in[i]).value, expected.value) << "pixel rule " << std::hex << in[i].value;
        }
    }
}

// ApplyRun against the per-pixel rule.
template <class Adjustment>
void ExpectRunMatchesPixels(const Adjustment& adjustment)
{
    ExpectMatchesOnEveryColour(adjustment, [&](KXRGBA32i p) { return Apply(adjustment, p); }, false);
}

// QColor's own round trip: getHsl, the change (settings in percent stored
// x 255 / 100, a hue past 359 brought back by 360), setHsl.
struct QColorHueSaturation {
    int hue, saturation, lightness;
    bool colorize;
    KXRGBA32i operator()(KXRGBA32i p) const
    {
        QColor color(p.r, p.g, p.b, p.a);
        int h, s, l;
        color.getHsl(&h, &s, &l);
        const int shifted = colorize ? hue : h + hue;
        color.setHsl(shifted < -1 ? shifted + 360 : shifted % 360, qBound(0, s + saturation * 255 / 100, 255),
                     qBound(0, l + lightness * 255 / 100, 255), p.a);
        return KXRGBA32i(color.rgba());
    }
};

} // namespace

TEST(KXColorAdjustments, HueSaturationPixelAndRunRulesGiveQColorsBitsOnEveryColour)
{
    // Saturations and lightnesses that land on the clamps and in between
    // (where the half-way channels are), hues that wrap either way.
    const QColorHueSaturation settings[] = {{25, 20, -5, false}, {359, 100, -100, false}, {-1, -100, 100, true},
                                            {200, 40, 30, true}, {181, -37, 13, false},   {0, 0, 0, false}};
    for (const QColorHueSaturation& s : settings) {
        SCOPED_TRACE(testing::Message() << s.hue << " " << s.saturation << " " << s.lightness << " " << s.colorize);
        ExpectMatchesOnEveryColour(KXHueSaturationTransformation(s.hue, s.saturation, s.lightness, s.colorize), s,
                                   true);
    }
}

TEST(KXColorAdjustments, TemperatureRunsMatchThePixelRuleOnEveryColour)
{
    ExpectRunMatchesPixels(KXTemperatureCorrection(4500, 60, 10));
    ExpectRunMatchesPixels(KXTemperatureCorrection(1000, 100, -100));
    ExpectRunMatchesPixels(KXTemperatureCorrection(40000, 0, 100));
}
