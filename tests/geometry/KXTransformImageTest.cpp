// The geometric transforms against plain per-pixel loops over QTransform::map,
// hand-worked samples and closed forms of the interpolation steps.

#include "KXImageConversion.h"
#include "KXTransformImage.h"
#include "KXIsaLevels.h"
#include "KXTestSupport.h"
#include "../filters/KXFilterTestImages.h"
#include "geometry/KXResample.h"
#include "geometry/KXSampleRules.h"

#include <gtest/gtest.h>

#include <QTransform>

#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>

namespace {

KXImageRGBA32i RandomImage(int w, int h, unsigned seed)
{
    return KXFilterTest::RandomImage(w, h, seed, false);
}

// One row of pixels given as (blue, green, red, alpha) channel lists.
KXImageRGBA32i Row(const std::vector<uint32_t>& pixels)
{
    KXImageRGBA32i image(static_cast<unsigned>(pixels.size()), 1);
    for (size_t x = 0; x < pixels.size(); ++x)
        image.SetColor(static_cast<int>(x), 0, KXRGBA32i(pixels[x]));
    return image;
}

uint32_t Blue(const KXImageRGBA32i& image, int x, int y) { return image.GetColor(x, y).b; }

using Sampler = bool (*)(const KXImageRGBA32i&, const QTransform&, KXImageRGBA32i&, const QRect&);
const Sampler kSamplers[] = {NearestNeighbourTransformImage, BilinearTransformImage, BicubicTransformImage};
const uint32_t kMark = 0x12345678;

// All four TransformImage forms against a plain loop: the nearest pixel of
// inverse.map(centre), -1 below -1e-10, kept when the area holds it.
TEST(TransformImage, EveryFormMatchesAPlainLoopOverQTransformMap)
{
    const KXImageRGBA32i source = RandomImage(300, 260, 1);
    const KXImageCMYKA cmyk = ConvertImage<KXImageRGBA32i, KXImageCMYKA>(source);
    const QImage cmykAsRgb = ConvertImage<KXImageCMYKA, QImage>(cmyk);
    const QRect area(7, 120, 250, 139); // reaches the bottom row, crosses tile borders
    const QTransform transforms[] = {QTransform().translate(40, -5).rotate(30).scale(1.3, 0.9),
                                     QTransform(0.9, 0.05, 0.0004, -0.1, 1.1, 0.0002, 30, 20, 1)};
    for (const QTransform& t : transforms) {
        const QTransform inverse = t.inverted();
        // The source pixel destination (x, y) shows, or false.
        const auto sampled = [&](int x, int y, QPoint& at) {
            const QPointF s = inverse.map(QPointF(x + 0.5, y + 0.5));
            at = QPoint(s.x() < -1e-10 ? -1 : int(s.x()), s.y() < -1e-10 ? -1 : int(s.y()));
            return area.contains(at);
        };
        KXImageRGBA32i image(290, 300);
        image.Fill(kMark);
        KXImageCMYKA cmykImage(290, 300);
        QImage q(290, 300, QImage::Format_ARGB32), qc(290, 300, QImage::Format_ARGB32);
        q.fill(kMark);
        qc.fill(kMark);
        ASSERT_TRUE(TransformImage(source, t, image, area));
        ASSERT_TRUE(TransformImage(source, t, q, area));
        ASSERT_TRUE(TransformImage(cmyk, t, cmykImage, area));
        ASSERT_TRUE(TransformImage(cmyk, t, qc, area));
        int written = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 290; ++x) {
                QPoint at;
                const bool hit = sampled(x, y, at);
                written += hit;
                const uint32_t rgb = hit ? source.GetColor(at.x(), at.y()).value : kMark;
                ASSERT_EQ(image.GetColor(x, y).value, rgb) << x << "," << y;
                ASSERT_EQ(q.pixel(x, y), rgb) << x << "," << y;
                ASSERT_EQ(qc.pixel(x, y), hit ? cmykAsRgb.pixel(at) : kMark) << x << "," << y;
                ASSERT_EQ(cmykImage.GetColor(x, y).value, hit ? cmyk.GetColor(at.x(), at.y()).value : 0u);
            }
        EXPECT_GT(written, 20000);
    }
}

// Each sampler at a shift of half a pixel: nearest takes pixel (x + 1,
// y + 1); bilinear has both fractions 0.5, so each step is the average
// rounded half up, (a + b + 1) / 2; bicubic at 0.5 reduces to the midpoint
// (-p0 + 5 p1 + 5 p2 - p3) / 8 rounded half up (a0 / 8 + a1 / 4 + a2 / 2 +
// p1 worked out), with columns and rows clamped at the edges. The last row
// and column fall outside the source and stay as they were.
TEST(Samplers, HalfPixelShiftFollowsTheClosedFormsAcrossTileBorders)
{
    const int w = 300, h = 270;
    const KXImageRGBA32i source = RandomImage(w, h, 2);
    const auto channel = [&](int x, int y, int k) {
        x = std::min(std::max(x, 0), w - 1);
        y = std::min(std::max(y, 0), h - 1);
        return int((source.GetColor(x, y).value >> (8 * k)) & 0xFF);
    };
    const auto average = [](int a, int b) { return (a + b + 1) / 2; };
    const auto mid = [](int p0, int p1, int p2, int p3) {
        const int v = -p0 + 5 * p1 + 5 * p2 - p3 + 4;
        return std::min(std::max(v >= 0 ? v / 8 : -((-v + 7) / 8), 0), 255);
    };
    const std::function<int(int, int, int)> expected[] = {
        [&](int x, int y, int k) { return channel(x + 1, y + 1, k); },
        [&](int x, int y, int k) {
            return average(average(channel(x, y, k), channel(x + 1, y, k)),
                           average(channel(x, y + 1, k), channel(x + 1, y + 1, k)));
        },
        [&](int x, int y, int k) {
            int column[4];
            for (int j = 0; j < 4; ++j)
                column[j] = mid(channel(x - 1, y - 1 + j, k), channel(x, y - 1 + j, k), channel(x + 1, y - 1 + j, k),
                                channel(x + 2, y - 1 + j, k));
            return mid(column[0], column[1], column[2], column[3]);
        }};
    for (int s = 0; s < 3; ++s) {
        KXImageRGBA32i destination(w, h);
        destination.Fill(kMark);
        ASSERT_TRUE(kSamplers[s](source, QTransform::fromTranslate(-0.5, -0.5), destination, QRect()));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t want = kMark;
                if (x < w - 1 && y < h - 1) {
                    want = 0;
                    for (int k = 0; k < 4; ++k)
                        want |= uint32_t(expected[s](x, y, k)) << (8 * k);
                }
                ASSERT_EQ(destination.GetColor(x, y).value, want) << "sampler " << s << " at " << x << "," << y;
            }
    }
}

// Worked by hand (see the comment of each row): a 2x enlargement of one
// row, blue 10 20 60 100 and green 0 255 255 0; positions (x + 0.5) / 2,
// x0 = trunc(sx - 0.5), fractions -0.25, 0.25, 0.75, 0.25, … Green shows the
// clamping of bicubic overshoot (303 at x = 3) and of extrapolation below 0.
// Shrinking: one blue 43 at x = 8 of a 16 x 4 image shrunk 4x is box
// blurred with radius 2 (43 / 5 = 8 at x = 6 … 10, truncated) and then
// sampled at the nearest pixel, sx = 2, 6, 10, 14. Shrinking to 0.6 in x
// alone samples directly: x = 3 maps to 5.83, between 100 and 0 at 1/3: 67.
TEST(Samplers, HandWorkedEnlargementsAndReductions)
{
    const KXImageRGBA32i row = Row({0xFF07000A, 0xFF07FF14, 0xFF07FF3C, 0xFF070064});
    KXImageRGBA32i spike(16, 4);
    for (int y = 0; y < 4; ++y)
        spike.SetColor(8, y, KXRGBA32i(43));
    KXImageRGBA32i single(10, 1);
    single.SetColor(5, 0, KXRGBA32i(100));
    struct Case {
        Sampler sampler;
        const KXImageRGBA32i* source;
        QTransform transform;
        int width;
        std::vector<uint32_t> blue, green;
    } cases[] = {
        // bilinear blue: -2.5 + 10.5 = 8; 2.5 + 10.5 = 13; … 0.75 * 40 + 20.5 = 50
        {BilinearTransformImage, &row, QTransform::fromScale(2, 2), 8, {8, 13, 18, 30, 50, 70, 90, 100},
         {0, 64, 191, 255, 255, 191, 64, 0}},
        // bicubic x = 3: a0 = 50, a1 = -60, a2 = 50: 0.78125 - 3.75 + 12.5 + 20.5 = 30.03
        {BicubicTransformImage, &row, QTransform::fromScale(2, 2), 8, {4, 11, 12, 30, 45, 76, 92, 106},
         {0, 64, 191, 255, 255, 191, 64, 0}},
        {BilinearTransformImage, &spike, QTransform::fromScale(0.25, 0.25), 4, {0, 8, 8, 0}, {0, 0, 0, 0}},
        {BicubicTransformImage, &spike, QTransform::fromScale(0.25, 0.25), 4, {0, 8, 8, 0}, {0, 0, 0, 0}},
        {BilinearTransformImage, &single, QTransform::fromScale(0.6, 1), 6, {0, 0, 0, 67, 0, 0}, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        KXImageRGBA32i destination(c.width, 1);
        ASSERT_TRUE(c.sampler(*c.source, c.transform, destination, QRect()));
        for (int x = 0; x < c.width; ++x) {
            EXPECT_EQ(Blue(destination, x, 0), c.blue[size_t(x)]) << "case " << (&c - cases) << " x " << x;
            EXPECT_EQ(destination.GetColor(x, 0).g, c.green[size_t(x)]) << "case " << (&c - cases) << " x " << x;
        }
    }
}

// A translation by 10 leaves columns 0 … 9 and the tiles it does not reach
// as they were (still shared); the rest is the source, exactly (fractions 0).
TEST(Samplers, TranslationWritesOnlyTheMappedAreaAndCopiesExactly)
{
    const KXImageRGBA32i source = RandomImage(100, 100, 3);
    const std::function<bool(KXImageRGBA32i&)> calls[] = {
        [&](KXImageRGBA32i& d) { return NearestNeighbourTransformImage(source, QTransform::fromTranslate(10, 0), d, QRect()); },
        [&](KXImageRGBA32i& d) { return BilinearTransformImage(source, QTransform::fromTranslate(10, 0), d, QRect()); },
        [&](KXImageRGBA32i& d) { return BicubicTransformImage(source, QTransform::fromTranslate(10, 0), d, QRect()); },
        [&](KXImageRGBA32i& d) { return TransformImage(source, QTransform::fromTranslate(10, 0), d, QRect()); }};
    for (const auto& call : calls) {
        KXImageRGBA32i destination(600, 300);
        destination.Fill(kMark);
        const KXImageRGBA32i before = destination;
        ASSERT_TRUE(call(destination));
        for (int y = 0; y < 101; ++y)
            for (int x = 0; x < 111; ++x) {
                const bool inside = x >= 10 && x < 110 && y < 100;
                ASSERT_EQ(destination.GetColor(x, y), inside ? source.GetColor(x - 10, y) : KXRGBA32i(kMark))
                    << "call " << (&call - calls) << " at " << x << "," << y;
            }
        EXPECT_EQ(destination.Tile(0, 0)->data() == before.Tile(0, 0)->data(), false);
        for (int column = 1; column < 5; ++column)
            EXPECT_EQ(destination.Tile(column, 1)->data(), before.Tile(column, 1)->data()) << column;
    }
}

// The all-channel steps against the per-channel ones at random positions
// (first half pixels, edges, tile borders, exact halves) of an image whose
// channels jump between 0 and 255, so that bicubic overshoots both ways.
TEST(Samplers, AllChannelStepsGiveThePlainBytes)
{
    if (!KXGeometry::kHasSimdSteps)
        GTEST_SKIP() << "this build has no all-channel steps";
    KXImageRGBA32i image = RandomImage(260, 140, 5);
    for (int y = 0; y < 140; y += 3)
        for (int x = 0; x < 260; x += 2)
            image.SetColor(x, y, KXRGBA32i((x + y) % 4 ? 0xFF00FF00u : 0x00FF00FFu));
    const KXGeometry::SourceTiles<KXImageRGBA32i> tiles(image);
    std::mt19937 random(6);
    std::uniform_real_distribution<double> along(-0.6, 261), down(-0.6, 141);
    for (int i = 0; i < 200000; ++i) {
        const double sx = i % 4 == 0 ? std::floor(along(random)) * 0.5 : along(random);
        const double sy = i % 8 == 1 ? std::floor(down(random)) * 0.5 : down(random);
        KXRGBA32i plain(kMark), fast(kMark);
        ASSERT_EQ(KXGeometry::BilinearRule<false>()(tiles, sx, sy, plain),
                  KXGeometry::BilinearRule<true>()(tiles, sx, sy, fast));
        ASSERT_EQ(plain, fast) << "bilinear at " << sx << "," << sy;
        ASSERT_EQ(KXGeometry::BicubicRule<false>()(tiles, sx, sy, plain),
                  KXGeometry::BicubicRule<true>()(tiles, sx, sy, fast));
        ASSERT_EQ(plain, fast) << "bicubic at " << sx << "," << sy;
    }
}

// The samplers built for a wider vector unit against the plain rules walked
// pixel by pixel, on an image whose channels jump between 0 and 255.
using SamplersAtLevel = KXIsaLevelTest;

TEST_P(SamplersAtLevel, WideSpansGiveThePlainRulesBytes)
{
    KXImageRGBA32i source = RandomImage(300, 260, 8);
    for (int y = 0; y < 260; y += 3)
        for (int x = 0; x < 300; x += 2)
            source.SetColor(x, y, KXRGBA32i((x + y) % 4 ? 0xFF00FF00u : 0x00FF00FFu));
    const KXGeometry::SourceTiles<KXImageRGBA32i> tiles(source);
    const QTransform transforms[] = {QTransform().translate(150, -40).rotate(30).scale(1.2, 1.1),
                                     QTransform::fromTranslate(-0.5, 0.25),
                                     QTransform(0.9, 0.05, 0.0004, -0.1, 1.1, 0.0002, 30, 20, 1)};
    for (const QTransform& t : transforms)
        for (int cubic = 0; cubic < 2; ++cubic) {
            KXImageRGBA32i fast(320, 300), plain(320, 300);
            fast.Fill(kMark);
            plain.Fill(kMark);
            ASSERT_TRUE((cubic ? BicubicTransformImage : BilinearTransformImage)(source, t, fast, QRect()));
            const KXGeometry::InverseMap map(t.inverted(), 320);
            KXGeometry::WalkImage(plain, t.mapRect(source.Rect()) & plain.Rect(), map,
                                  [&](double sx, double sy, KXRGBA32i& out) {
                                      if (cubic)
                                          KXGeometry::BicubicRule<false>()(tiles, sx, sy, out);
                                      else
                                          KXGeometry::BilinearRule<false>()(tiles, sx, sy, out);
                                  });
            for (int y = 0; y < 300; ++y)
                for (int x = 0; x < 320; ++x)
                    ASSERT_EQ(fast.GetColor(x, y), plain.GetColor(x, y)) << cubic << " at " << x << "," << y;
        }
}

// The integer bilinear steps of each vector width against the plain rule,
// row by row: a turn and a projection (tile seams, image edges, first half
// pixels), exact fractions, shifts by t = (2n + 1) / 2d plus u 2^-21 / d or
// u 2^-15 / d, which put d t + 0.5 within u 2^-21 (2^-15) of a whole number
// for the channel differences d: inside the margins the 32-bit steps or the
// doubles decide, outside the 16-bit (or 32-bit) quotient is trusted; and
// fractions a step of 2^-16 from 0 and from 1 (and just below 0 in the first
// half pixel). Every fourth row jumps
// between 0 and 255.
TEST_P(SamplersAtLevel, IntegerBilinearStepsGiveThePlainBytes)
{
    const KXGeometry::SpanSampler span = KXGeometry::FastSpan(KXGeometry::Quality::Bilinear);
    if (!span)
        GTEST_SKIP() << "no bilinear span sampler at this level: the plain rule is used";
    KXImageRGBA32i source = RandomImage(300, 260, 9);
    for (int y = 0; y < 260; y += 4)
        for (int x = 0; x < 300; ++x)
            source.SetColor(x, y, KXRGBA32i(x % 2 ? 0xFF00FF00u : 0x00FF00FFu));
    const KXGeometry::SourceTiles<KXImageRGBA32i> tiles(source);
    std::vector<QTransform> transforms = {QTransform().translate(150, -40).rotate(30).scale(1.2, 1.1),
                                          QTransform::fromTranslate(-0.5, -0.25),
                                          QTransform(0.9, 0.05, 0.0004, -0.1, 1.1, 0.0002, 30, 20, 1)};
    const int dn[][2] = {{1, 0}, {3, 0}, {5, 1}, {51, 12}, {255, 7}, {255, 63}, {255, 100}, {255, 177}, {255, 230}};
    for (const int bits : {21, 15})
        for (const auto& p : dn)
            for (const double u : {-200., -129., -127., -100., -64., -10., -3., 0., 3., 10., 64., 100., 127., 129., 200.}) {
                const double t = (2 * p[1] + 1) / (2. * p[0]) + u / (1 << bits) / p[0];
                transforms.push_back(QTransform::fromTranslate(-t, -t));
            }
    for (const double t : {1 / 65536., 1 - 1 / 65536., 1 - 1 / 32768., 1 - 3 / 65536.})
        transforms.push_back(QTransform::fromTranslate(-t, t - 1));
    // Enlargements by 2.5 whose first column and row sample a step d before
    // the first pixel's centre: fractions -d, 0.4 - d, 0.8 - d, 0.2 - d, with
    // words that round to 0 (d = 2^-17, 2^-16) or to -1 (3 2^-17).
    for (const double d : {1 / 131072., 1 / 65536., 3 / 131072.})
        transforms.push_back(QTransform(2.5, 0, 0, 2.5, -2.5 * (0.3 - d), -2.5 * (0.3 - d)));
    for (const QTransform& transform : transforms) {
        const KXGeometry::InverseMap map(transform.inverted(), 320);
        for (int y = 0; y < 270; y += 2) {
            std::vector<KXRGBA32i> fast(320, KXRGBA32i(kMark)), plain(320, KXRGBA32i(kMark));
            const KXGeometry::InverseMap::Row row(map, y);
            KXGeometry::SpanState state;
            span(tiles, row, 0, 319, fast.data(), state);
            for (int x = 0; x < 320; ++x) {
                double sx, sy;
                row.At(x, sx, sy);
                KXGeometry::BilinearRule<false>()(tiles, sx, sy, plain[static_cast<size_t>(x)]);
            }
            ASSERT_EQ(fast, plain) << "row " << y << ", dx " << transform.dx();
        }
    }
}

KX_INSTANTIATE_ISA_LEVELS(SamplersAtLevel);

// Shrinking both ways blurs only the pixels it samples; the bytes are those
// of blurring the whole copy and sampling it (the plain form).
TEST(Samplers, ShrinkingMatchesBlurringTheWholeCopy)
{
    const KXImageRGBA32i source = RandomImage(300, 260, 7);
    const QTransform transforms[] = {QTransform::fromScale(0.5, 0.5), QTransform::fromScale(0.25, 0.4),
                                     QTransform::fromScale(0.09, 0.3), QTransform::fromScale(0.03, 0.6),
                                     QTransform().rotate(20).scale(0.35, 0.45) * QTransform::fromTranslate(60, 0),
                                     QTransform(-0.5, 0, 0, 0.3, 170, -20), QTransform(0.4, 0, 0, 0.5, 13.7, 5.2)};
    for (const QTransform& t : transforms) {
        const QRectF m = t.mapRect(QRectF(0, 0, 300, 260));
        const int rx = int(0.5 / (m.width() / 300) + 0.5), ry = int(0.5 / (m.height() / 260) + 0.5);
        KXImageRGBA32i fast(200, 150), plain(200, 150);
        fast.Fill(kMark);
        plain.Fill(kMark);
        ASSERT_TRUE(BicubicTransformImage(source, t, fast, QRect()));
        KXGeometry::SampleBlurred(KXGeometry::Quality::Bicubic, source, t.inverted(), plain,
                                  t.mapRect(source.Rect()) & plain.Rect(), rx, ry, true);
        for (int y = 0; y < 150; ++y)
            for (int x = 0; x < 200; ++x)
                ASSERT_EQ(fast.GetColor(x, y), plain.GetColor(x, y)) << rx << "," << ry << " at " << x << "," << y;
    }
}

// Refused calls change nothing: a singular transform (false, silently), a
// QImage that is not Format_ARGB32 and a source area outside the source
// (false, one log line each).
TEST(TransformImage, RefusedCallsChangeNothing)
{
    const KXImageRGBA32i source = RandomImage(40, 30, 4);
    const QTransform singular(1, 2, 2, 4, 0, 0);
    KXImageRGBA32i destination(50, 50);
    destination.Fill(kMark);
    const KXImageRGBA32i before = destination;
    KXImageCMYKA cmyk(50, 50);
    QImage q(50, 50, QImage::Format_ARGB32);
    q.fill(kMark);
    KXTest::LogCapture log;
    for (Sampler sampler : kSamplers)
        EXPECT_FALSE(sampler(source, singular, destination, QRect()));
    EXPECT_FALSE(TransformImage(source, singular, destination, QRect()));
    EXPECT_FALSE(TransformImage(source, singular, q, QRect()));
    EXPECT_FALSE(TransformImage(KXImageCMYKA(40, 30), singular, cmyk, QRect()));
    EXPECT_FALSE(TransformImage(KXImageCMYKA(40, 30), singular, q, QRect()));
    EXPECT_TRUE(log.Lines().isEmpty());

    QImage premultiplied(50, 50, QImage::Format_ARGB32_Premultiplied);
    premultiplied.fill(kMark);
    EXPECT_FALSE(TransformImage(source, QTransform(), premultiplied, QRect()));
    EXPECT_FALSE(TransformImage(source, QTransform(), destination, QRect(30, 0, 20, 10)));
    ASSERT_EQ(log.Messages().size(), 2);
    EXPECT_TRUE(log.Messages()[0].endsWith("file=\"src/KXImage\". TransformImage: the QImage is not in "
                                           "QImage::Format_ARGB32")) << log.Messages()[0].toStdString();
    EXPECT_TRUE(log.Messages()[1].endsWith("TransformImage: the source area reaches outside the source"));
    EXPECT_EQ(premultiplied.pixel(3, 3), kMark);
    EXPECT_EQ(q.pixel(3, 3), kMark);
    for (int row = 0; row < 1; ++row)
        EXPECT_EQ(destination.Tile(0, row)->data(), before.Tile(0, row)->data());
}

// A source area wider or taller than INT_MAX (its QRect width wraps) is
// refused as reaching outside the source.
TEST(Samplers, SourceAreasPastIntMaxAreRefused)
{
    const KXImageRGBA32i source = RandomImage(40, 30, 9);
    for (const QRect& area : {QRect(QPoint(-1, 0), QPoint(INT_MAX, 5)), QRect(QPoint(0, INT_MIN), QPoint(5, 10)),
                              QRect(QPoint(INT_MIN, INT_MIN), QPoint(INT_MAX, INT_MAX))}) {
        KXImageRGBA32i destination(60, 50);
        destination.Fill(kMark);
        KXTest::LogCapture log;
        QImage picture(60, 50, QImage::Format_ARGB32);
        EXPECT_FALSE(TransformImage(source, QTransform::fromScale(0.5, 0.5), destination, area));
        EXPECT_FALSE(TransformImage(source, QTransform::fromScale(0.5, 0.5), picture, area));
        EXPECT_EQ(destination.GetColor(0, 0), KXRGBA32i(kMark));
        ASSERT_EQ(log.Messages().size(), 2);
        EXPECT_TRUE(log.Messages()[0].endsWith(QStringLiteral("the source area reaches outside the source")));
    }
}

} // namespace
