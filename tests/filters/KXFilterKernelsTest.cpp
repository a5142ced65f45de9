#include "KXFilterKernels.h"
#include "KXIsaLevels.h"
#include "filters/KXGaussianSpanWidth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

namespace {

// Runs `kernel` pixel by pixel over a whole line (offset 0).
template <class Kernel>
KXPixelLine Apply(Kernel kernel, const KXPixelLine& source)
{
    KXPixelLine out(source.size());
    kernel.SetSource(&source);
    kernel.SetDestination(&out);
    kernel.SetSourceOffset(0);
    for (int i = 0; i < int(source.size()); ++i)
        kernel(i);
    return out;
}

KXPixelLine Line(std::initializer_list<uint32_t> values)
{
    KXPixelLine line;
    for (uint32_t v : values)
        line.push_back(KXRGBA32i(v));
    return line;
}

} // namespace

TEST(KXGaussianKernel, Radius)
{
    // r = max(1, trunc(3 sigma)).
    const std::pair<double, int> cases[] = {{0.2, 1}, {2.0 / 3.0 - 1e-9, 1}, {1.0, 3}, {5.0, 15}, {-4.0, 1}};
    for (const auto& c : cases) {
        const KXGaussian1D kernel(c.first);
        EXPECT_EQ(kernel.Radius(), c.second) << c.first;
    }
}

TEST(KXGaussianKernel, HandWorkedPixels)
{
    // sigma 0.5: w(0) = 0.786986, w(±1) = 0.106507. Plain on 0, 255, 0:
    // 255 w(0) = 200.68 -> 201, 255 w(1) = 27.16 -> 27 (the ends repeat 0).
    EXPECT_EQ(Apply(KXGaussian1D(0.5), Line({0, 0xFFFFFFFFu, 0})), Line({0x1B1B1B1Bu, 0xC9C9C9C9u, 0x1B1B1B1Bu}));
    // Weighted by alpha, transparent white beside opaque blue: alpha 27;
    // blue 255 w(1) = 27.16, 27.16 * 255 / 27 = 256.5 -> 255; no red, green.
    const KXPixelLine mixed = Line({0x00FFFFFFu, 0xFF0000FFu, 0x00FFFFFFu});
    EXPECT_EQ(Apply(KXGaussian1DPremul(0.5), mixed), Line({0x1B0000FFu, 0xC90000FFu, 0x1B0000FFu}));
    // A transparent neighbourhood gives the zero pixel.
    EXPECT_EQ(Apply(KXGaussian1DPremul(2.0), KXPixelLine(5, KXRGBA32i(0x00FF8040u))), KXPixelLine(5, KXRGBA32i(0)));
    // Alpha only: the colour is the pixel's own.
    EXPECT_EQ(Apply(KXGaussianAlpha1D(0.5), mixed), Line({0x1BFFFFFFu, 0xC90000FFu, 0x1BFFFFFFu}));
}

namespace {

// Span computes many pixels at once (fused multiply-adds at the levels that
// have them); it must give the bits of operator().
template <class Kernel>
void ExpectSpanMatchesPixelByPixel()
{
    std::mt19937 random(7);
    for (double sigma : {0.3, 1.7, 5.0, 20.0}) {
        for (int length : {1, 127, 129, 2500}) {
            KXPixelLine source(static_cast<size_t>(length + 40));
            for (KXRGBA32i& p : source) {
                p = KXRGBA32i(random());
                if (random() % 2)
                    p.a = random() % 2 ? 0 : 255;
            }
            for (int offset : {0, 20, 40}) { // clamps at the start, inside, at the end
                Kernel kernel(sigma);
                kernel.SetSource(&source);
                kernel.SetSourceOffset(offset);
                KXPixelLine one(static_cast<size_t>(length)), many(one.size());
                kernel.SetDestination(&one);
                for (int i = 0; i < length; ++i)
                    kernel(i);
                kernel.SetDestination(&many);
                kernel.Span(0, length / 3); // two spans that meet inside a block
                kernel.Span(length / 3, length);
                ASSERT_EQ(many, one) << "sigma " << sigma << " length " << length << " offset " << offset;
            }
        }
    }
}

} // namespace

using KXGaussianSpanAtLevel = KXIsaLevelTest;

TEST_P(KXGaussianSpanAtLevel, MatchesPixelByPixel)
{
    ExpectSpanMatchesPixelByPixel<KXGaussian1D>();
    ExpectSpanMatchesPixelByPixel<KXGaussian1DPremul>();
    ExpectSpanMatchesPixelByPixel<KXGaussianAlpha1D>();
}

// The alpha-weighted span's sums, bit for bit, against the sums written
// out plainly: opaque stretches take a shortcut there (c w for
// ((c w) 255) / 255 but for a few listed c per distance, which a byte
// rarely shows). Lines opaque throughout, but for one pixel, or mixed.
TEST_P(KXGaussianSpanAtLevel, AlphaWeightedSumsAreThePlainSums)
{
    std::mt19937 random(11);
    for (double sigma : {0.4, 2.0, 5.0, 11.3, 20.0, 45.0}) {
        const std::vector<double> w = KXGaussian1DPremul(sigma).Weights();
        const int r = int(w.size() / 2), count = 690, offset = 5;
        for (int hole : {-1, 0, 300, 641, 700}) {
            KXPixelLine source(700);
            for (KXRGBA32i& p : source)
                p = KXRGBA32i(hole == 700 ? random() : 0xFF000000u | random());
            if (hole >= 0 && hole < 700)
                source[size_t(hole)].a = 200;
            std::vector<double> sums(4 * count);
            KXGaussianSpanWidth::PremulSums(w, source, offset, count, sums.data());
            for (int i = 0; i < count; ++i) {
                double b = 0.0, g = 0.0, red = 0.0, a = 0.0;
                for (int k = -r; k <= r; ++k) {
                    const KXRGBA32i& s = source[size_t(std::clamp(offset + i + k, 0, 699))];
                    a += w[size_t(k + r)] * s.a;
                    b += s.b * w[size_t(k + r)] * s.a / 255.0;
                    g += s.g * w[size_t(k + r)] * s.a / 255.0;
                    red += s.r * w[size_t(k + r)] * s.a / 255.0;
                }
                const double expected[4] = {b, g, red, a};
                for (int c = 0; c < 4; ++c)
                    ASSERT_EQ(sums[size_t(4 * i + c)], expected[c])
                        << "sigma " << sigma << " hole " << hole << " pixel " << i;
            }
        }
    }
}

KX_INSTANTIATE_ISA_LEVELS(KXGaussianSpanAtLevel);

// The spans finish a colour from an estimate of (C 255) / alpha and divide
// only where the estimate could truncate otherwise: sums whose quotient
// lies on or next to a half, where it does.
TEST(KXGaussianSpan, FinishingEqualsTheDivision)
{
    int estimateMisses = 0;
    for (int alpha = 1; alpha < 256; ++alpha) {
        for (int half = 0; half < 2 * 255; half += 1 + half / 8) {
            double c = (half + 0.5) * alpha / 255.0;
            for (int step = 0; step < 5; ++step, c = std::nextafter(c, 1e9)) {
                const double a = alpha;
                const double sums[3] = {std::nextafter(c, 0.0), c, std::nextafter(c, 1e9)};
                uint32_t expected = uint32_t(alpha) << 24;
                for (int k = 0; k < 3; ++k) {
                    const double y = sums[k] * 255 / alpha + 0.5;
                    expected |= uint32_t(y >= 255.0 ? 255 : int(y)) << (8 * k);
                    const double estimate = sums[k] * 255 * (1.0 / alpha) + 0.5;
                    estimateMisses += int(std::min(estimate, 255.0)) != int(std::min(y, 255.0));
                }
                ASSERT_EQ(KXGaussianSpanWidth::FinishAlphaWeighted(sums[0], sums[1], sums[2], a), expected)
                    << alpha << " " << c;
            }
        }
    }
    EXPECT_GT(estimateMisses, 0); // the cases reach the division
}

// The fused division of (c w) a by 255 is the correctly rounded quotient; a
// multiplication by 1/255 is not, which a single byte rarely shows.
TEST(KXGaussianSpan, FusedDivisionIsTheDivision)
{
    if (!KXIsa::Allows(KXIsa::Level::Avx2))
        GTEST_SKIP() << "no fused multiply-add at this run's level: the division was not compared";
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int reciprocalMisses = 0;
    for (int i = 0; i < 2000000; ++i) {
        const double w = unit(random) * std::ldexp(1.0, -int(random() % 20));
        const double x = double(random() % 256) * w * double(random() % 256);
        ASSERT_EQ(KXGaussianSpanWidth::FusedDivideBy255(x), x / 255.0) << x;
        reciprocalMisses += x * (1.0 / 255.0) != x / 255.0;
    }
    EXPECT_GT(reciprocalMisses, 0);
}

TEST(KXThreeTapKernels, HandWorked)
{
    const KXPixelLine line = Line({0xFF1E1E1Eu, 0xFF3C3C3Cu, 0x00FFFFFFu});
    // Strength 255 averages: alpha 510 / 3 = 170, colour by alpha
    // (30 + 60) 255 / 510 = 45; strength 10: (10 + 745) 255 / 255 / 3 =
    // 251.67 -> 252; strength 0 copies.
    EXPECT_EQ(Apply(KXSimpleBoxKernel1D(255), line)[1].value, 0xAA2D2D2Du);
    EXPECT_EQ(Apply(KXSimpleBoxKernel1D(10), line)[1].a, 252);
    EXPECT_EQ(Apply(KXSimpleBoxKernel1D(0), line), line);
    EXPECT_EQ(Apply(KXSimpleBoxKernel1D(100), KXPixelLine(3, KXRGBA32i(0x00FFFFFFu)))[1].value, 0u);
    // Sharpen n = 1 on 200, 100, 200: (765 - 200 + 1787 * 100 - 200) / 255 =
    // 702, / 7 = 100 (99 without the 765); n = 255 on 255, 0, 255 -> 0.
    EXPECT_EQ(Apply(KXSimpleSharpenKernel1D(1), Line({0xC8C8C8C8u, 0x64646464u, 0xC8C8C8C8u}))[1].value,
              0x64646464u);
    EXPECT_EQ(Apply(KXSimpleSharpenKernel1D(255), Line({0xFFFFFFFFu, 0, 0xFFFFFFFFu}))[1].value, 0u);
}

TEST(KXShiftEdgeKernel, GrowsAndShrinksAlpha)
{
    KXPixelLine dot(11, KXRGBA32i(0x00102030u));
    dot[5] = KXRGBA32i(0xFF405060u);
    const struct {
        int shift;
        KXPixelLine line;
        std::vector<int> alphas;
    } cases[] = {
        {2, dot, {0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0}},
        {-1, dot, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Opaque up to the ends: shrinking clears |s| pixels at each end
        // (outside is transparent), growing changes nothing.
        {-2, KXPixelLine(8, KXRGBA32i(0xFF000000u)), {0, 0, 255, 255, 255, 255, 0, 0}},
        {3, KXPixelLine(8, KXRGBA32i(0x80000000u)), {128, 128, 128, 128, 128, 128, 128, 128}},
        {-100, KXPixelLine(3, KXRGBA32i(0xFF000000u)), {0, 0, 0}},
    };
    for (const auto& c : cases) {
        const KXPixelLine out = Apply(KXShiftEdge1D(c.shift), c.line);
        for (size_t i = 0; i < out.size(); ++i) // the colour is the pixel's own
            EXPECT_EQ(out[i].value, (c.line[i].value & 0xFFFFFFu) | uint32_t(c.alphas[i]) << 24) << c.shift;
    }
}

TEST(KXBlurAccumulators, Finalize)
{
    // Radius 1, count 3, over three pixels (a fourth added and taken away).
    const auto run = [](auto accumulator) {
        for (uint32_t p : {0xFFFF0000u, 0x00FF0000u, 0xFF0000FFu, 0x12345678u})
            accumulator.Add(KXRGBA32i(p));
        accumulator.Subtract(KXRGBA32i(0x12345678u));
        KXRGBA32i out(0x11223344u);
        accumulator.Finalize(out);
        return out.value;
    };
    // Alpha 510 / 3 = 170; the other bytes stay, are inverted or coloured.
    EXPECT_EQ(run(KXAlphaBlurAccumulator(1)), 0xAA223344u);
    EXPECT_EQ(run(KXAlphaBlurAccumulatorWithInvert(1)), 0x55223344u);
    EXPECT_EQ(run(KXAlphaBlurAccumulatorWithRGBColorize(1, KXRGBA32i(0x01ABCDEFu))), 0xAAABCDEFu);
    // Plain: red 510 / 3 = 170, blue 255 / 3 = 85. Weighted: the transparent
    // red adds nothing, 255 / 3 = 85, * 255 / 170 = 127 for red and blue.
    EXPECT_EQ(run(KXRGBABlurAccumulator(1)), 0xAAAA0055u);
    EXPECT_EQ(run(KXRGBABlurAccumulatorPremul(1)), 0xAA7F007Fu);
    // Alpha below one count gives the zero pixel.
    KXRGBABlurAccumulatorPremul weak(1);
    weak.Add(KXRGBA32i(0x02FFFFFFu));
    KXRGBA32i out(0x11223344u);
    weak.Finalize(out);
    EXPECT_EQ(out.value, 0u);
}
