#include "KXFilterPasses.h"
#include "KXPassWorkers.h"
#include "KXIsaLevels.h"
#include "KXBoxLineWidth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

// The exact multiplications that replace divisions in the alpha-weighted box
// line, checked over their whole domains (or every divisor up to a bound and
// the largest ones), and the line itself against the accumulator's line.

TEST(KXBoxLineArithmetic, TermDivisionBy255IsExactForEveryProduct)
{
    for (unsigned int x = 0; x <= 255u * 255u; ++x)
        ASSERT_EQ(KXBoxLineWidth::DivideBy255(x), x / 255) << x;
}

using KXBoxLineAtLevel = KXIsaLevelTest;

// Each level's reciprocal estimate (SSE2's below AVX-512, AVX-512's own).
TEST_P(KXBoxLineAtLevel, ColourDivisionByAlphaIsExactForEveryNumerator)
{
    for (int a = 1; a <= 255; ++a)
        for (int n = 0; n <= 255 * a; ++n)
            ASSERT_EQ(KXBoxLineWidth::DivideByAlpha(n, a), n / a) << n << " / " << a;
}

TEST(KXBoxLineArithmetic, AverageDivisionByCountIsExactForEverySum)
{
    std::vector<int> counts;
    for (int r = 0; r <= 200; ++r)
        counts.push_back(2 * r + 1);
    // 8191 and 8192 either side of the last count averaged without a
    // correction step (2^14 - 1).
    for (int r : {4095, 4096, 8191, 8192, 16383, 16384, 32765, 32766})
        counts.push_back(2 * r + 1);
    for (int d : counts)
        for (int s = 0; s <= 255 * d; ++s)
            ASSERT_EQ(KXBoxLineWidth::DivideByCount(s, d), s / d) << s << " / " << d;
}

// The AVX2 line's 16-bit averages of opaque groups: exact wherever a
// count has them, and every count up to radius 100 has them.
TEST(KXBoxLineArithmetic, SixteenBitAverageIsExactForEverySum)
{
    if (KXBoxLineWidth::DivideByCount16(0, 3) < 0)
        GTEST_SKIP() << "no 16-bit averages in this build";
    for (int r = 1; r <= 100; ++r)
        ASSERT_GE(KXBoxLineWidth::DivideByCount16(0, 2 * r + 1), 0) << "radius " << r;
    EXPECT_LT(KXBoxLineWidth::DivideByCount16(0, 259), 0); // sums past 16 bits
    for (int d = 1; d <= 259; ++d) {
        if (KXBoxLineWidth::DivideByCount16(0, d) < 0)
            continue;
        for (int s = 0; s <= 255 * d; ++s)
            ASSERT_EQ(KXBoxLineWidth::DivideByCount16(s, d), s / d) << s << " / " << d;
    }
}

namespace {

// A line of runs: transparent, opaque and random alpha, random colours.
KXPixelLine RunsLine(int length, std::mt19937& random)
{
    KXPixelLine line(static_cast<size_t>(length));
    int left = 0, kind = 0;
    for (KXRGBA32i& p : line) {
        if (left-- == 0) {
            left = int(random() % 40);
            kind = int(random() % 4);
        }
        p = KXRGBA32i(random());
        if (kind == 0)
            p.a = 0;
        else if (kind == 1)
            p.a = 255;
        else if (kind == 2)
            p.a = uint8_t(random() % 3); // 0, 1, 2: averages near 1
    }
    return line;
}

// An opaque line of random colours with a translucent or transparent pixel
// here and there: long opaque stretches, and groups with one window that
// is not opaque.
KXPixelLine MostlyOpaqueLine(int length, std::mt19937& random)
{
    KXPixelLine line(static_cast<size_t>(length));
    for (KXRGBA32i& p : line) {
        p = KXRGBA32i(random());
        p.a = random() % 150 == 0 ? uint8_t(random() % 255) : uint8_t(255);
    }
    return line;
}

} // namespace

TEST_P(KXBoxLineAtLevel, MatchesTheAccumulatorLine)
{
    std::mt19937 random(7);
    KXBoxLineScratch scratch; // reused by every line, as a pass worker does
    for (int radius : {0, 1, 2, 5, 50, 100, 101, 128, 300, 32766, 32767}) {
        for (int length : {1, 2, 3, 5, 8, 17, 63, 1000, 3000}) {
            for (auto makeLine : {RunsLine, MostlyOpaqueLine}) {
                const KXPixelLine line = makeLine(length, random);
                const QRect image(0, 0, length, 1);
                for (const QRect& area : {image, QRect(length / 3, 0, length / 2 + 1, 1), QRect(length - 1, 0, 1, 1)}) {
                    const KXPassGeometry g
                        = KXPassGeometry::Make(image, area, radius + 1, radius, KXPassDirection::Horizontal);
                    const KXPixelLine segment(
                        line.begin() + g.sourceStart, line.begin() + g.sourceStart + g.sourceLength);
                    KXPixelLine fast(static_cast<size_t>(g.destinationLength)), plain(fast.size());
                    KXRGBABlurAccumulatorPremul a(radius), b(radius);
                    KXSlideBox(g, segment, fast, a, scratch);
                    KXSlideBox<KXRGBABlurAccumulatorPremul>(g, segment, plain, b);
                    for (size_t i = 0; i < fast.size(); ++i)
                        ASSERT_EQ(fast[i].value, plain[i].value)
                            << "radius " << radius << " length " << length << " area "
                            << area.left() << " at " << i;
                }
            }
        }
    }
}

namespace {

// An image of lines made by `makeLine`, row by row.
KXImageRGBA32i LinesImage(KXPixelLine (*makeLine)(int, std::mt19937&), int width, int height, std::mt19937& random)
{
    KXImageRGBA32i image(static_cast<unsigned int>(width), static_cast<unsigned int>(height));
    for (int y = 0; y < height; ++y) {
        const KXPixelLine row = makeLine(width, random);
        image.SetLine(unsigned(y), row.data(), unsigned(width) * 4);
    }
    return image;
}

} // namespace

// Lines done a band at a time by a pass worker against the pass's own
// steps, one line at a time through the accumulator's line.
TEST_P(KXBoxLineAtLevel, BandsMatchTheLines)
{
    std::mt19937 random(9);
    // Bands of 16 and a part either way, and tiles side by side and one
    // above the other: an area from column 120 puts a band across the
    // tile border at 128.
    // Mostly opaque images give bands whose groups of positions are opaque.
    for (auto makeLine : {RunsLine, MostlyOpaqueLine}) {
        const KXImageRGBA32i original = LinesImage(makeLine, 150, 150, random);
        for (KXPassDirection direction : {KXPassDirection::Horizontal, KXPassDirection::Vertical}) {
            for (int radius : {0, 1, 7, 200, 32766}) {
                for (const QRect& area :
                     {QRect(), QRect(3, 20, 30, 100), QRect(120, 5, 25, 140), QRect(149, 149, 1, 1)}) {
                    KXImageRGBA32i banded = original, plain = original; // tiles shared until written
                    KXBoxPass<KXRGBABlurAccumulatorPremul> fast(banded, area, KXRGBABlurAccumulatorPremul(radius),
                                                                direction);
                    KXBoxPass<KXRGBABlurAccumulatorPremul> slow(plain, area, KXRGBABlurAccumulatorPremul(radius),
                                                                direction);
                    KXBoxPass<KXRGBABlurAccumulatorPremul>::Worker worker(fast);
                    worker.Lines(fast.Geometry().firstLine, fast.Geometry().lastLine);
                    while (!slow.Step()) { }
                    for (int y = 0; y < 150; ++y)
                        for (int x = 0; x < 150; ++x)
                            ASSERT_EQ(banded.GetColor(x, y).value, plain.GetColor(x, y).value)
                                << "direction " << int(direction) << " radius " << radius
                                << " area " << area.left() << " at " << x << ", " << y;
                }
            }
        }
    }
}

KX_INSTANTIATE_ISA_LEVELS(KXBoxLineAtLevel);
