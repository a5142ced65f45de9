#include "KXTonalAdjustments.h"
#include "KXIsaLevels.h"
#include "KXTestSupport.h"
#include "KXTransformImageColors.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>
#include <type_traits>
#include <vector>

namespace {

// The value a channel level v becomes (in red, green and blue alike when
// `channel` is -1; otherwise in that channel: 0 red, 1 green, 2 blue).
template <class Adjustment>
int Level(const Adjustment& adjustment, int v, int channel = 0)
{
    KXRGBA32i p(0x5A000000u | static_cast<uint32_t>(v) * 0x010101u);
    adjustment(p);
    EXPECT_EQ(p.a, 0x5A) << "alpha must not move";
    return channel == 0 ? p.r : channel == 1 ? p.g : p.b;
}

template <class Adjustment>
bool IsIdentity(const Adjustment& adjustment)
{
    for (int v = 0; v < 256; ++v)
        for (int channel = 0; channel < 3; ++channel)
            if (Level(adjustment, v, channel) != v)
                return false;
    return true;
}

KXLevelsTransformation Levels(std::vector<std::array<int, 2>> in, std::vector<std::array<int, 2>> out,
                              std::vector<double> gamma, int amount)
{
    int input[4][2], output[4][2];
    for (int k = 0; k < 8; ++k) {
        input[k / 2][k % 2] = in[k / 2][k % 2];
        output[k / 2][k % 2] = out[k / 2][k % 2];
    }
    return KXLevelsTransformation(input, output, gamma.data(), amount);
}

const std::vector<std::array<int, 2>> kFull = {{{0, 255}}, {{0, 255}}, {{0, 255}}, {{0, 255}}};
const std::vector<double> kGammaOne = {1.0, 1.0, 1.0, 1.0};

// Curve points at the ends of the int range: the distance from a point is
// worked in double, so the line from (INT_MIN, 0) to (255, 255) still
// passes through its end and its middle.
TEST(KXTonalAdjustments, SplineWithExtremePoints)
{
    QVector<double> a, b, c;
    const QVector<QPoint> points = {{INT_MIN, 0}, {255, 255}};
    KXCurvesTransformation::BuildSplineParts(points, a, b, c);
    EXPECT_EQ(KXCurvesTransformation::SplineValue(255, points, a, b, c), 255);
    EXPECT_EQ(KXCurvesTransformation::SplineValue(0, points, a, b, c), 255);
    const QVector<QPoint> far = {{0, 0}, {INT_MAX, 255}};
    KXCurvesTransformation::BuildSplineParts(far, a, b, c);
    EXPECT_EQ(KXCurvesTransformation::SplineValue(255, far, a, b, c), 0);
}

} // namespace

TEST(KXTonalAdjustments, BrightnessAndContrast)
{
    EXPECT_TRUE(IsIdentity(KXBrightnessContrastTransformation(0, 0)));
    struct Case {
        int brightness, contrast, in, out;
    };
    // Stored b = brightness × 100 / 127 (127 → 100, 10 → 7); with contrast 0
    // a value moves by 2b. Contrast 127 → c = 100, c' = 255,
    // f = 510 × 259 / (4 × 255) = 129.5: 128 stays, 129 → 257.5 → 255,
    // 127 → −1.5 → 0. Contrast −127: c' = −255, f = 0, everything → 128 + b.
    const Case cases[] = {
        {127, 0, 0, 200},    {127, 0, 55, 255},  {127, 0, 56, 255},   {10, 0, 100, 114}, {-127, 0, 200, 0},
        {-127, 0, 255, 55},  {0, 127, 128, 128}, {0, 127, 129, 255},  {0, 127, 127, 0},  {0, -127, 0, 128},
        {0, -127, 255, 128}, {-10, 0, 10, 0},    {-10, 0, 100, 86},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Level(KXBrightnessContrastTransformation(c.brightness, c.contrast), c.in), c.out)
            << c.brightness << " " << c.contrast << " " << c.in;
    // Contrast 50 → c = 39 (5000 / 127), c' = 99.45,
    // f = 354.45 × 259 / (159.55 × 255) = 2.25641: 140 → 12 f + 128 = 155.08.
    EXPECT_EQ(Level(KXBrightnessContrastTransformation(0, 50), 140), 155);
}

TEST(KXTonalAdjustments, LevelsTables)
{
    EXPECT_TRUE(IsIdentity(KXLevelsTransformation()));
    EXPECT_TRUE(IsIdentity(Levels(kFull, kFull, kGammaOne, 37)));
    EXPECT_TRUE(IsIdentity(
        Levels({{{30, 90}}, {{5, 250}}, {{0, 255}}, {{0, 255}}}, {{{20, 30}}, {{0, 9}}, {{0, 255}}, {{0, 255}}},
               {3.0, 0.2, 1.0, 1.0}, 0)))
        << "amount 0 is always the identity";

    // Master input 50 … 200: (125 − 50) × 255 / 150 = 127 (127.5
    // truncated); with amount 50, A = 127500: (127 A + 125 A) / 255000 = 126.
    const auto stretch = Levels({{{50, 200}}, {{0, 255}}, {{0, 255}}, {{0, 255}}}, kFull, kGammaOne, 100);
    const auto half = Levels({{{50, 200}}, {{0, 255}}, {{0, 255}}, {{0, 255}}}, kFull, kGammaOne, 50);
    struct Case {
        const KXLevelsTransformation* levels;
        int in, channel, out;
    };
    const auto redGamma = Levels(kFull, kFull, {1.0, 2.0, 1.0, 1.0}, 100);
    const auto invert = Levels(kFull, {{{0, 255}}, {{0, 255}}, {{255, 0}}, {{0, 255}}}, kGammaOne, 100);
    const auto blueOut = Levels(kFull, {{{0, 255}}, {{0, 255}}, {{0, 255}}, {{100, 200}}}, kGammaOne, 100);
    const Case cases[] = {
        {&stretch, 49, 0, 0},    {&stretch, 50, 1, 0},     {&stretch, 125, 2, 127}, {&stretch, 200, 0, 255},
        {&stretch, 201, 1, 255}, {&half, 125, 0, 126},     {&half, 0, 0, 0},        {&half, 255, 2, 255},
        // red gamma 2: trunc((64 / 255)^0.5 × 255) = trunc(127.75) = 127
        {&redGamma, 64, 0, 127}, {&redGamma, 64, 1, 64},   {&redGamma, 255, 0, 255},
        // green output 255 … 0: 255 − v
        {&invert, 10, 1, 245},   {&invert, 10, 0, 10},     {&invert, 255, 1, 0},
        // blue output 100 … 200: v × 100 / 255 + 100
        {&blueOut, 0, 2, 100},   {&blueOut, 128, 2, 150},  {&blueOut, 255, 2, 200},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Level(*c.levels, c.in, c.channel), c.out) << c.in << " channel " << c.channel;
}

TEST(KXTonalAdjustments, SplineHelpers)
{
    QVector<double> a, b, c;
    // Three points: M1 = 6 (191/127 − 64/128) / (2 × 255) = 0.0118110;
    // segment 0 at x = 64: a = M1 / 768 = 1.5379e-5, c = 0.5 − 128 M1 / 6
    // = 0.248031: a × 64³ + c × 64 = 4.0315 + 15.874 = 19.906 → 20.
    const QVector<QPoint> points = {{0, 0}, {128, 64}, {255, 255}};
    KXCurvesTransformation::BuildSplineParts(points, a, b, c);
    ASSERT_EQ(a.size(), 2);
    EXPECT_DOUBLE_EQ(b[0], 0.0) << "natural end";
    EXPECT_EQ(KXCurvesTransformation::SplineValue(0, points, a, b, c), 0);
    EXPECT_EQ(KXCurvesTransformation::SplineValue(128, points, a, b, c), 64);
    EXPECT_EQ(KXCurvesTransformation::SplineValue(255, points, a, b, c), 255);
    EXPECT_EQ(KXCurvesTransformation::SplineValue(64, points, a, b, c), 20);

    // Collinear points: the spline is the line, and it goes on beyond the ends.
    const QVector<QPoint> line = {{10, 20}, {50, 60}, {90, 100}, {200, 210}};
    KXCurvesTransformation::BuildSplineParts(line, a, b, c);
    ASSERT_EQ(a.size(), 3);
    for (int x : {-9, 10, 33, 50, 120, 200, 300})
        EXPECT_EQ(KXCurvesTransformation::SplineValue(x, line, a, b, c), x + 10) << x;
    // The rounding truncates value + 0.5: −20 + 0.5 → −19.
    EXPECT_EQ(KXCurvesTransformation::SplineValue(-30, line, a, b, c), -19);

    KXCurvesTransformation::BuildSplineParts(QVector<QPoint>{{5, 5}}, a, b, c);
    EXPECT_TRUE(a.isEmpty());
    EXPECT_EQ(KXCurvesTransformation::SplineValue(5, QVector<QPoint>{{5, 5}}, a, b, c), 0);
}

TEST(KXTonalAdjustments, CurvesTables)
{
    const QVector<QPoint> diagonal = {{0, 0}, {255, 255}};
    QVector<QPoint> identity[4] = {diagonal, diagonal, diagonal, diagonal};
    EXPECT_TRUE(IsIdentity(KXCurvesTransformation(identity, 100)));

    // Two points (0, 255), (255, 0) get the middle point (128, 128) (127.5
    // rounded away from zero), and the spline through the three is nearly
    // the line 255 − x.
    const QVector<QPoint> falling = {{0, 255}, {255, 0}};
    QVector<QPoint> masterInverts[4] = {falling, diagonal, diagonal, diagonal};
    const KXCurvesTransformation inverted(masterInverts, 100);
    EXPECT_EQ(Level(inverted, 0, 0), 255);
    EXPECT_EQ(Level(inverted, 128, 1), 128);
    EXPECT_EQ(Level(inverted, 255, 2), 0);
    EXPECT_TRUE(IsIdentity(KXCurvesTransformation(masterInverts, 0)));

    // The colour curve runs first, the master curve on its result: red
    // curve constant 200 (three points on y = 200), master inverted → 55.
    const QVector<QPoint> flat = {{0, 200}, {100, 200}, {255, 200}};
    QVector<QPoint> both[4] = {falling, flat, diagonal, QVector<QPoint>()};
    const KXCurvesTransformation composed(both, 100);
    EXPECT_EQ(Level(composed, 17, 0), Level(inverted, 200, 0));
    EXPECT_EQ(Level(composed, 17, 1), Level(inverted, 17, 1));
    EXPECT_EQ(Level(composed, 17, 2), Level(inverted, 17, 2)) << "an empty curve leaves its channel to the master";
    // Amount 50 with the master only: (T × 127500 + i × 127500) / 255000.
    const KXCurvesTransformation halfway(masterInverts, 50);
    EXPECT_EQ(Level(halfway, 0, 0), 127); // (255 + 0) / 2
}

TEST(KXTonalAdjustments, ExposureGammaPosterizeTables)
{
    EXPECT_TRUE(IsIdentity(KXExposureTransformation(0.0, 0.0)));
    EXPECT_TRUE(IsIdentity(KXGammaCorrectionTransformation(1.0)));
    struct Case {
        std::function<int(int)> level;
        int in, out;
        const char* what;
    };
    const KXExposureTransformation doubled(20.0001, 0.0); // k = 2: hi = 127.5
    const KXExposureTransformation raised(0.0, 0.1);      // o = 25.5
    const KXExposureTransformation lowered(0.0, -0.5);    // o = −127.5: lo = 127.5
    const KXExposureTransformation flat(-20.0001, 0.0);   // k = 0: lo 0, hi 255
    const KXGammaCorrectionTransformation two(2.0), ten(10.0), five(5.0);
    const KXPosterizeTransformation p2(2), p4(4);
    auto of = [](const auto& adjustment) { return [&adjustment](int v) { return Level(adjustment, v); }; };
    const Case cases[] = {
        {of(doubled), 100, 200, "2 × 100"},     {of(doubled), 127, 254, "below hi"},
        {of(doubled), 128, 255, "from hi on"},  {of(raised), 0, 25, "trunc 25.5"},
        {of(raised), 240, 255, "clamped"},      {of(lowered), 127, 0, "below lo"},
        {of(lowered), 128, 0, "trunc 0.5"},     {of(lowered), 200, 72, "200 − 127.5"},
        {of(flat), 254, 0, "k 0"},              {of(flat), 255, 255, "k 0, top"},
        {of(two), 64, 127, "sqrt(64 × 255)"},
        {of(ten), 3, Level(five, 3), "gamma 10 acts as 5"},
        {of(p2), 127, 0, "2 levels"},           {of(p2), 128, 255, "2 levels"},
        {of(p4), 63, 0, "i / 63.75 < 1"},       {of(p4), 64, 85, "4 levels"},
        {of(p4), 192, 255, "4 levels"},         {of(p4), 255, 255, "last index"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.level(c.in), c.out) << c.what;
}

// The pixel-typed names are the same classes.
static_assert(std::is_base_of_v<KXInvertTransformation, KXInvertColor<KXRGBA32i>> &&
              std::is_base_of_v<KXInvertAlphaTransformation, KXInvertColorAlpha<KXRGBA32i>>);

TEST(KXTonalAdjustments, InversionsAndAlpha)
{
    KXRGBA32i colours(0x80123456u), alpha = colours;
    KXInvertTransformation()(colours);
    KXInvertAlphaTransformation()(alpha);
    EXPECT_EQ(std::vector<uint32_t>({colours.value, alpha.value}), std::vector<uint32_t>({0x80EDCBA9u, 0x7F123456u}));
}

using KXRGBTablesAtLevel = KXIsaLevelTest;

TEST_P(KXRGBTablesAtLevel, RunFastPathEqualsThePlainPath)
{
    // Random tables and pixels, a count that is not a multiple of 16, in
    // place and into another buffer; every byte value in every channel.
    std::mt19937 random(99);
    for (int round = 0; round < 20; ++round) {
        KXByteTable red, green, blue;
        for (int i = 0; i < 256; ++i) {
            red[i] = static_cast<uint8_t>(random());
            green[i] = static_cast<uint8_t>(random());
            blue[i] = static_cast<uint8_t>(random());
        }
        const KXRGBTables tables(red, green, blue);
        std::vector<KXRGBA32i> in(4099 + round);
        for (KXRGBA32i& p : in)
            p = KXRGBA32i(random());
        for (uint32_t v = 0; v < 256; ++v)
            in[v] = KXRGBA32i(v * 0x01010101u ^ (round << 24));
        std::vector<KXRGBA32i> fast(in.size()), plain(in.size()), inPlace = in;
        tables.ApplyRun(fast.data(), in.data(), static_cast<unsigned int>(in.size()));
        tables.ApplyRunPlain(plain.data(), in.data(), static_cast<unsigned int>(in.size()));
        tables.ApplyRun(inPlace.data(), inPlace.data(), static_cast<unsigned int>(inPlace.size()));
        ASSERT_EQ(fast, plain) << round;
        ASSERT_EQ(inPlace, plain) << round;
        for (size_t i = 0; i < in.size(); i += 97)
            ASSERT_EQ(plain[i].value, (in[i].value & 0xFF000000u) | uint32_t(red[in[i].r]) << 16 |
                                          uint32_t(green[in[i].g]) << 8 | blue[in[i].b]);
    }
    // Through the image walker: the same as the per-pixel operator.
    int input[4][2] = {{10, 240}, {0, 200}, {30, 255}, {0, 255}};
    int output[4][2] = {{5, 250}, {0, 255}, {20, 230}, {255, 0}};
    double gamma[4] = {1.2, 0.8, 1.0, 2.5};
    const KXLevelsTransformation levels(input, output, gamma, 80);
    KXImageRGBA32i image(130, 3);
    std::vector<KXRGBA32i> row(130);
    for (KXRGBA32i& p : row)
        p = KXRGBA32i(random());
    for (unsigned int y = 0; y < 3; ++y)
        image.SetLine(y, row.data(), 130 * 4);
    TransformPixels(image, levels);
    for (int x = 0; x < 130; ++x) {
        KXRGBA32i p = row[x];
        levels(p);
        ASSERT_EQ(image.GetColor(x, 2), p);
    }
}

KX_INSTANTIATE_ISA_VECTOR_LEVELS(KXRGBTablesAtLevel);
