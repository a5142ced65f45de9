#include "KXImageConversion.h"
#include "KXTestSupport.h"
#include "colour/VQWBToneSearch.h"
#include "VQWBTransformation.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Function = VQWBTransformation::BalanceFunction;

KXRGBA32i Apply(const VQWBTransformation& wb, KXRGBA32i p)
{
    wb(p);
    return p;
}

// Left half colour a, right half colour b.
KXImageRGBA32i TwoColours(int width, int height, uint32_t a, uint32_t b)
{
    KXImageRGBA32i image(width, height);
    image.Fill(KXRGBA32i(a));
    std::vector<KXRGBA32i> right(width / 2, KXRGBA32i(b));
    for (int y = 0; y < height; ++y)
        image.SetLine(y, width / 2, right.data(), static_cast<unsigned int>(right.size() * 4));
    return image;
}

QImage RandomQImage(int width, int height, unsigned int seed)
{
    std::mt19937 random(seed);
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        uint32_t* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            // A colour cast towards red plus some near-grey pixels.
            const uint32_t v = random();
            const uint32_t grey = (v >> 8) & 0x7F;
            line[x] = (x + y) % 7 == 0 ? 0xFF000000u | (grey + 20) << 16 | grey << 8 | grey : v | 0xFF800000u;
        }
    }
    return image;
}

// Every field of the record, to compare two records at once.
std::vector<double> Numbers(const VQWBTransformation::Statistics& s)
{
    std::vector<double> all = {s.meanY, s.meanR, s.meanG,   s.meanB,    s.meanCb,  s.meanCr, s.sdR,          s.sdG, s.sdB,
                               s.gainR, s.gainG, s.gainB,   s.offsetR,  s.gainGrey, s.offsetB, s.mix, s.toneParameter};
    for (int v : {s.minR, s.minG, s.minB, s.maxR, s.maxG, s.maxB, s.lowAll, s.highAll, int(s.pixelCount), s.rect.x(),
                  s.rect.y(), s.rect.width(), s.rect.height(), s.tonePercent})
        all.push_back(v);
    all.insert(all.end(), s.toneTable.begin(), s.toneTable.end());
    return all;
}

} // namespace

TEST(VQWBTransformation, ExposureCurves)
{
    const KXImageRGBA32i image = TwoColours(8, 2, 0xFF102030u, 0xFF405060u);
    struct Case {
        Function function;
        int strength;
        int in, out;
    };
    // Over: min(c² / 255, 255); under: min(255 − ((255 − c)² >> 8), 255);
    // then (t × w + (255000 − w) × c) / 255000 with w = strength × 2550.
    const Case cases[] = {
        {Function::OverExposure, 100, 128, 64},   {Function::OverExposure, 100, 255, 255},
        {Function::OverExposure, 100, 0, 0},      {Function::OverExposure, 50, 128, 96},
        {Function::UnderExposure, 100, 128, 192}, {Function::UnderExposure, 100, 0, 1},
        {Function::UnderExposure, 100, 255, 255}, {Function::UnderExposure, 50, 0, 0}, // 0.5 truncated
    };
    for (const Case& c : cases) {
        const VQWBTransformation wb(image, c.function, c.strength);
        EXPECT_EQ(Apply(wb, KXRGBA32i(0x11000000u | c.in << 16 | c.in << 8 | c.in)).value,
                  0x11000000u | c.out << 16 | c.out << 8 | c.out);
        // Each channel on its own.
        EXPECT_EQ(Apply(wb, KXRGBA32i(0x11000000u | c.in << 8)).g, c.out);
    }
    for (Function f : {Function::OverExposure, Function::UnderExposure}) {
        const VQWBTransformation none(image, f, 0);
        for (uint32_t v = 0; v < 256; ++v)
            EXPECT_EQ(Apply(none, KXRGBA32i(v * 0x01010101u)).value, v * 0x01010101u);
    }
    const VQWBTransformation unknown(image, static_cast<Function>(7), 100);
    EXPECT_EQ(Apply(unknown, KXRGBA32i(0x12345678u)).value, 0x12345678u);
}

TEST(VQWBTransformation, StatisticsOfTwoColours)
{
    // 100 pixels (200, 100, 50) and 100 pixels (0, 100, 150).
    const KXImageRGBA32i image = TwoColours(20, 10, 0xFFC86432u, 0xFF006496u);
    const long long blocks = VQTileManager64::Instance()->GetAvailableCount();
    const VQWBTransformation wb(image, Function::Auto, 100);
    EXPECT_EQ(VQTileManager64::Instance()->GetAvailableCount(), blocks) << "the analysis only reads";
    const VQWBTransformation::Statistics& s = wb.GetStatistics();
    EXPECT_EQ(s.pixelCount, 200);
    EXPECT_EQ(s.rect, QRect(0, 0, 20, 10));
    // Means 100, deviations 100, 0, 50; the gains stay 0 while sdG is 0.
    EXPECT_EQ(std::vector<double>({s.meanR, s.meanG, s.meanB, s.sdR, s.sdG, s.sdB, s.gainR, s.gainG}),
              std::vector<double>({100, 100, 100, 100, 0, 50, 0, 0}));
    EXPECT_EQ(std::vector<int>({s.minR, s.maxR, s.minG, s.maxG, s.minB, s.maxB, s.lowAll, s.highAll}),
              std::vector<int>({0, 200, 100, 100, 50, 150, 0, 200}));
    // Y: 16 + 65.481 r + 128.553 g + 24.966 b = 122.666 and 81.099;
    // Cb = 91.217 and 164.783, Cr = 175.493 and 80.507: both average 128,
    // so mix = (100 − 0 + 0) / 200.
    EXPECT_NEAR(s.meanY, 101.8826, 1e-3);
    EXPECT_NEAR(s.meanCb, 128.0, 1e-9);
    EXPECT_NEAR(s.meanCr, 128.0, 1e-9);
    EXPECT_NEAR(s.mix, 0.5, 1e-9);
    EXPECT_EQ(s.gainGrey, 0.0) << "gainG clamped to 0 … 1";
}

// The tone curve is chosen from the luminance histogram, (11 R + 59 G +
// 30 B) / 100 per pixel, alone: a picture and the grey picture of its
// luminances get the same curve. Red at 255 with a little green lies near
// 28 here; weights that took red for blue would put it near 76.
TEST(VQWBTransformation, ToneCurveFollowsTheLuminanceOnly)
{
    KXImageRGBA32i colour(64, 64), grey(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int r = 255, g = y, b = 0;
            const int l = (11 * r + 59 * g + 30 * b) / 100;
            colour.SetColor(x, y, KXRGBA32i(0xFF000000u | r << 16 | g << 8 | b));
            grey.SetColor(x, y, KXRGBA32i(0xFF000000u | l * 0x010101u));
        }
    const VQWBTransformation a(colour, Function::Auto, 100), b(grey, Function::Auto, 100);
    EXPECT_EQ(a.GetStatistics().toneParameter, b.GetStatistics().toneParameter);
    EXPECT_EQ(a.GetStatistics().toneTable, b.GetStatistics().toneTable);
}

// Near grey is (|U| + |V|) / Y below 0.75: (190, 100, 90) has Y = 125.77,
// U = -17.59, V = 56.35, a ratio of 0.588, and sets the grey point alone,
// so the red offset moves from its start (0: one colour has no spread).
// Pure red, (37.5 + 156.8) / 76.2 = 2.55, is no grey: nothing moves.
TEST(VQWBTransformation, GreyPointFromNearGreyPixelsOnly)
{
    const VQWBTransformation nearGrey(TwoColours(8, 8, 0xFFBE645Au, 0xFFBE645Au), Function::Auto, 100);
    EXPECT_NE(nearGrey.GetStatistics().offsetR, 0.0);
    const VQWBTransformation red(TwoColours(8, 8, 0xFFFF0000u, 0xFFFF0000u), Function::Auto, 100);
    EXPECT_EQ(red.GetStatistics().offsetR, 0.0);
    EXPECT_EQ(red.GetStatistics().offsetB, 0.0);
}

TEST(VQWBTransformation, EmptyImage)
{
    const VQWBTransformation wb(KXImageRGBA32i(0, 0), Function::Auto, 100);
    VQWBTransformation::Statistics none; // a fresh record's numbers; the curve's shape is ToneTables' matter
    none.toneTable = wb.GetStatistics().toneTable;
    EXPECT_EQ(Numbers(wb.GetStatistics()), Numbers(none));
    EXPECT_EQ(Numbers(VQWBTransformation(QImage(), Function::Auto, 100).GetStatistics()), Numbers(none));
}

TEST(VQWBTransformation, QImageAndTiledImageAgree)
{
    for (const QSize size : {QSize(300, 200), QSize(129, 3), QSize(1, 1)}) {
        const QImage qimage = RandomQImage(size.width(), size.height(), 3);
        const KXImageRGBA32i tiled = ConvertImage<QImage, KXImageRGBA32i>(qimage);
        const VQWBTransformation a(qimage, Function::Auto, 80), b(tiled, Function::Auto, 80);
        EXPECT_EQ(Numbers(a.GetStatistics()), Numbers(b.GetStatistics()));
        for (int y = 0; y < size.height(); y += 7)
            for (int x = 0; x < size.width(); x += 5) {
                const KXRGBA32i p(qimage.pixel(x, y));
                ASSERT_EQ(Apply(a, p), Apply(b, p));
            }
    }
    // Another format: converted to ARGB32 first, as ConvertImage does.
    const QImage rgb888 = RandomQImage(129, 3, 4).convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(Numbers(VQWBTransformation(rgb888, Function::Auto, 50).GetStatistics()),
              Numbers(VQWBTransformation(ConvertImage<QImage, KXImageRGBA32i>(rgb888), Function::Auto, 50)
                          .GetStatistics()));
}

TEST(VQWBTransformation, ToneTables)
{
    KXByteTable identity;
    for (int i = 0; i < 256; ++i)
        identity[i] = static_cast<uint8_t>(i);
    // t = 0 puts the middle point on the diagonal at 127.5: all five points
    // lie on y = x.
    EXPECT_EQ(VQWBDetail::ToneTable(0.0), identity);
    std::vector<double> parameters = {-1.0, 1.0, -0.2, 0.7};
    for (int k = 0; k < 40; ++k)
        parameters.push_back(VQWBDetail::CandidateParameter(k));
    for (double t : parameters) {
        const KXByteTable table = VQWBDetail::ToneTable(t);
        for (int i = 1; i < 256; ++i)
            ASSERT_LE(table[i - 1], table[i]) << "t " << t << " at " << i;
        EXPECT_EQ(table[0], 0) << t;
        EXPECT_EQ(table[255], 255) << t;
    }
    EXPECT_LT(VQWBDetail::ToneTable(0.5)[128], 128) << "t > 0 darkens the middle";
    EXPECT_GT(VQWBDetail::ToneTable(-0.5)[128], 128) << "t < 0 brightens it";
}

TEST(VQWBTransformation, HistogramDistance)
{
    using Bins = VQWBDetail::Bins;
    // a = (1, 0 … 0), b = (0 … 0, 1): norm 1; i = 0: (16 × 0.5 + 1) × 5 × 1 = 45;
    // i = 7: (9 × 0.5 + 1) × 4 × 1 = 22, squared as b_7 > 0.03: 484. √529 = 23.
    EXPECT_DOUBLE_EQ(VQWBDetail::HistogramDistance(Bins{1, 0, 0, 0, 0, 0, 0, 0}, Bins{0, 0, 0, 0, 0, 0, 0, 1}), 23.0);
    // Swapped, b_0 = 1 squares the first term instead: √(2025 + 22).
    EXPECT_DOUBLE_EQ(VQWBDetail::HistogramDistance(Bins{0, 0, 0, 0, 0, 0, 0, 1}, Bins{1, 0, 0, 0, 0, 0, 0, 0}),
                     std::sqrt(2047.0));
    // a = (0, 0, 0, 0, 4, 0, 0, 0), b = (0, 0, 0, 0, 1, 0, 0, 0): norm 2, 1 × 1 × 9 / 2.
    EXPECT_DOUBLE_EQ(VQWBDetail::HistogramDistance(Bins{0, 0, 0, 0, 4, 0, 0, 0}, Bins{0, 0, 0, 0, 1, 0, 0, 0}),
                     std::sqrt(4.5));
    const Bins some{3, 1, 4, 1, 5, 9, 2, 6};
    EXPECT_EQ(VQWBDetail::HistogramDistance(some, some), 0.0);
    EXPECT_EQ(VQWBDetail::HistogramDistance(Bins{}, some), 0.0) << "no norm";
}

TEST(VQWBTransformation, StretchedReferenceEqualsThePasses)
{
    using Histogram = VQWBDetail::Histogram;
    // first 0, last 128: scale 0.5, level i takes from bin 2i (255 from 128 on).
    // Bin 0 (25) goes to level 0, bin 64 (31) to level 32, bin 128 (5) to 64.
    Histogram small{};
    small[0] = 25;
    small[64] = 31;
    small[128] = 5;
    Histogram expected{};
    expected[0] = 25;
    expected[32] = 31;
    expected[64] = 5;
    EXPECT_EQ(VQWBDetail::StretchedReferenceByPasses(small), expected);
    EXPECT_EQ(VQWBDetail::StretchedReference(small), expected);
    EXPECT_EQ(VQWBDetail::StretchedReference(Histogram{}), Histogram{});

    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        Histogram h{};
        const int first = static_cast<int>(random() % 200), last = first + static_cast<int>(random() % (256 - first));
        for (int i = first; i <= last; ++i)
            h[i] = (random() % 3 == 0) ? 0.0 : static_cast<double>(random() % (round % 2 ? 2000 : 25));
        h[first] = 1 + random() % 40;
        h[last] = 1 + random() % 40;
        ASSERT_EQ(VQWBDetail::StretchedReference(h), VQWBDetail::StretchedReferenceByPasses(h)) << round;
    }
}
