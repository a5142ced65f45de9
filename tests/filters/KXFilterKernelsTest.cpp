#include "KXFilterKernels.h"
#include "filters/KXGaussianSpanWidth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <random>

namespace {

// Runs `kernel` over a whole line (destination as long as the source,
// offset 0) pixel by pixel.
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

std::vector<int> Alphas(const KXPixelLine& line)
{
    std::vector<int> alphas;
    for (const KXRGBA32i& p : line)
        alphas.push_back(p.a);
    return alphas;
}

KXPixelLine RandomLine(std::mt19937& random, int length)
{
    KXPixelLine line(static_cast<size_t>(length));
    for (KXRGBA32i& p : line) {
        p = KXRGBA32i(random());
        // Many fully transparent and fully opaque pixels, as in real layers.
        const unsigned int kind = random() % 4;
        if (kind == 0)
            p.a = 0;
        else if (kind == 1)
            p.a = 255;
    }
    return line;
}

} // namespace

TEST(KXGaussianKernel, RadiusAndWeights)
{
    // r = max(1, trunc(3 sigma)).
    const struct {
        double sigma;
        int radius;
    } cases[] = {{0.2, 1}, {0.5, 1}, {2.0 / 3.0 - 1e-9, 1}, {1.0, 3}, {2.0, 6}, {5.0, 15}, {-4.0, 1}};
    for (const auto& c : cases) {
        const KXGaussian1D kernel(c.sigma);
        EXPECT_EQ(kernel.Radius(), c.radius) << c.sigma;
        ASSERT_EQ(kernel.Weights().size(), size_t(2 * c.radius + 1));
        EXPECT_EQ(kernel.Left(), c.radius);
        EXPECT_EQ(kernel.Right(), c.radius);
    }
    // sigma 0.5: w(1) / w(0) = exp(-2); normalised w(0) = 1 / (1 + 2 e^-2).
    const KXGaussian1D half(0.5);
    const double e2 = std::exp(-2.0);
    EXPECT_NEAR(half.Weights()[1], 1.0 / (1.0 + 2.0 * e2), 1e-15);
    EXPECT_NEAR(half.Weights()[0], e2 / (1.0 + 2.0 * e2), 1e-15);
    EXPECT_EQ(half.Weights()[0], half.Weights()[2]);
}

TEST(KXGaussianKernel, HandWorkedPixels)
{
    // sigma 0.5: w(0) = 0.786986, w(±1) = 0.106507.
    // Plain, one channel line 0, 255, 0: the centre 255 w(0) = 200.68 -> 201,
    // each side 255 w(1) = 27.16 -> 27 (the end pixels repeat 0).
    const KXPixelLine line = {KXRGBA32i(0), KXRGBA32i(0xFFFFFFFFu), KXRGBA32i(0)};
    const KXPixelLine plain = Apply(KXGaussian1D(0.5), line);
    EXPECT_EQ(plain[0].value, 0x1B1B1B1Bu);
    EXPECT_EQ(plain[1].value, 0xC9C9C9C9u);
    EXPECT_EQ(plain[2].value, 0x1B1B1B1Bu);

    // Weighted by alpha: transparent white beside opaque blue. Pixel 0:
    // alpha 255 w(1) = 27.16 -> 27; blue C = 255 w(1) 255 / 255 = 27.16,
    // C 255 / 27 = 256.5 -> 255; red and green take nothing from the white.
    const KXPixelLine mixed = {KXRGBA32i(0x00FFFFFFu), KXRGBA32i(0xFF0000FFu), KXRGBA32i(0x00FFFFFFu)};
    const KXPixelLine premul = Apply(KXGaussian1DPremul(0.5), mixed);
    EXPECT_EQ(premul[0].value, 0x1B0000FFu);
    EXPECT_EQ(premul[1].value, 0xC90000FFu);
    // A fully transparent neighbourhood gives the zero pixel, not a coloured one.
    const KXPixelLine clear(5, KXRGBA32i(0x00FF8040u));
    for (const KXRGBA32i& p : Apply(KXGaussian1DPremul(2.0), clear))
        EXPECT_EQ(p.value, 0u);

    // Alpha only: the colour is the pixel's own.
    const KXPixelLine alpha = Apply(KXGaussianAlpha1D(0.5), mixed);
    EXPECT_EQ(alpha[0].value, 0x1BFFFFFFu);
    EXPECT_EQ(alpha[1].value, 0xC90000FFu);
}

// Span computes many pixels at once (with fused multiply-adds for the
// division by 255 where the processor has them); it must give the bits of
// operator().
template <class Kernel>
class KXGaussianSpan : public testing::Test {
};
using GaussianKernels = testing::Types<KXGaussian1D, KXGaussian1DPremul, KXGaussianAlpha1D>;
TYPED_TEST_SUITE(KXGaussianSpan, GaussianKernels);

TYPED_TEST(KXGaussianSpan, MatchesPixelByPixel)
{
    using KXGaussianSpanWidth::Width;
    std::string missing;
    for (Width width : {Width::Plain, Width::Avx2, Width::Avx512}) {
        if (!KXGaussianSpanWidth::Available(width)) {
            missing += width == Width::Avx2 ? " AVX2" : " AVX-512";
            continue;
        }
        KXGaussianSpanWidth::Force(width);
        std::mt19937 random(7);
        for (double sigma : {0.3, 1.7, 3.3, 5.0, 11.1, 20.0}) {
            for (int length : {1, 3, 127, 128, 129, 300, 2500}) {
                const KXPixelLine source = RandomLine(random, length + 40);
                for (int offset : {0, 20, 40}) { // clamps at the start, inside, at the end
                    TypeParam kernel(sigma);
                    KXPixelLine one(static_cast<size_t>(length)), many(static_cast<size_t>(length));
                    kernel.SetSource(&source);
                    kernel.SetSourceOffset(offset);
                    kernel.SetDestination(&one);
                    for (int i = 0; i < length; ++i)
                        kernel(i);
                    kernel.SetDestination(&many);
                    const int split = length / 3; // two spans that meet inside a block
                    kernel.Span(0, split);
                    kernel.Span(split, length);
                    for (int i = 0; i < length; ++i)
                        ASSERT_EQ(many[size_t(i)].value, one[size_t(i)].value)
                            << "width " << int(width) << " sigma " << sigma << " length " << length << " offset "
                            << offset << " pixel " << i;
                }
            }
        }
    }
    KXGaussianSpanWidth::Force(Width::Best);
    if (!missing.empty())
        GTEST_SKIP() << "not compared with the per-pixel kernel (no such instructions here):" << missing;
}

// The fused division of the weighted colour terms (c w) a by 255 is the
// correctly rounded quotient; a plain multiplication by 1/255 is not, which
// a single byte of the spans rarely shows.
TEST(KXGaussianSpan, FusedDivisionIsTheDivision)
{
    if (!KXGaussianSpanWidth::Available(KXGaussianSpanWidth::Width::Avx2))
        GTEST_SKIP() << "no fused multiply-add here: the division was not compared";
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int reciprocalMisses = 0;
    for (int i = 0; i < 2000000; ++i) {
        const double w = unit(random) * std::ldexp(1.0, -int(random() % 20));
        const double cw = double(random() % 256) * w;
        const double x = cw * double(random() % 256);
        ASSERT_EQ(KXGaussianSpanWidth::FusedDivideBy255(x), x / 255.0) << x;
        reciprocalMisses += x * (1.0 / 255.0) != x / 255.0;
    }
    EXPECT_GT(reciprocalMisses, 0);
}

TEST(KXThreeTapKernels, SmoothingHandWorked)
{
    // Strength 255 averages: alphas 255, 255, 0 -> 170 (510 / 3); the
    // colour weights by alpha: (30 + 60) 255 / 255 / (3 * 170) * 255 ... =
    // (30 * 255 + 60 * 255) / 510 = 45.
    const KXPixelLine line = {KXRGBA32i(0xFF1E1E1Eu), KXRGBA32i(0xFF3C3C3Cu), KXRGBA32i(0x00FFFFFFu)};
    KXPixelLine out(1);
    KXSimpleBoxKernel1D average(255);
    average.SetSource(&line);
    average.SetDestination(&out);
    average.SetSourceOffset(1);
    average(0);
    EXPECT_EQ(out[0].value, 0xAA2D2D2Du);

    // Strength 10 on alphas 255, 255, 0: (10 * 255 + 745 * 255) / 255 / 3 =
    // 251.67 -> 252.
    KXSimpleBoxKernel1D weak(10);
    weak.SetSource(&line);
    weak.SetDestination(&out);
    weak.SetSourceOffset(1);
    weak(0);
    EXPECT_EQ(out[0].a, 252);

    // Strength 0 copies, transparent neighbourhoods give the zero pixel.
    EXPECT_EQ(Apply(KXSimpleBoxKernel1D(0), line)[2].value, 0x00FFFFFFu);
    const KXPixelLine clear(3, KXRGBA32i(0x00FFFFFFu));
    EXPECT_EQ(Apply(KXSimpleBoxKernel1D(100), clear)[1].value, 0u);
}

TEST(KXThreeTapKernels, Sharpening)
{
    // n = 10 on 100, 200, 100: (765 - 1000 + 1805 * 200 - 1000) = 359765;
    // / 255 = 1410, / 7 = 201. n = 255 on 255, 0, 255 goes negative -> 0.
    const KXPixelLine line = {KXRGBA32i(0x64646464u), KXRGBA32i(0xC8C8C8C8u), KXRGBA32i(0x64646464u)};
    EXPECT_EQ(Apply(KXSimpleSharpenKernel1D(10), line)[1].value, 0xC9C9C9C9u);
    const KXPixelLine dip = {KXRGBA32i(0xFFFFFFFFu), KXRGBA32i(0u), KXRGBA32i(0xFFFFFFFFu)};
    EXPECT_EQ(Apply(KXSimpleSharpenKernel1D(255), dip)[1].value, 0u);
    // A uniform line stays as it is for every strength (weights sum to 1785).
    for (int strength : {0, 1, 10, 100, 255})
        for (unsigned int value : {0x00000000u, 0x01020304u, 0x80FF7F01u, 0xFFFFFFFFu}) {
            const KXPixelLine uniform(4, KXRGBA32i(value));
            for (const KXRGBA32i& p : Apply(KXSimpleSharpenKernel1D(strength), uniform))
                ASSERT_EQ(p.value, value) << strength;
        }
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
        {0, dot, {0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0}},
        {-1, dot, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Opaque up to the line's ends: shrinking clears |s| pixels at each
        // end, growing changes nothing.
        {-2, KXPixelLine(8, KXRGBA32i(0xFF000000u)), {0, 0, 255, 255, 255, 255, 0, 0}},
        {3, KXPixelLine(8, KXRGBA32i(0x80000000u)), {128, 128, 128, 128, 128, 128, 128, 128}},
        {-100, KXPixelLine(3, KXRGBA32i(0xFF000000u)), {0, 0, 0}},
    };
    for (const auto& c : cases) {
        const KXPixelLine out = Apply(KXShiftEdge1D(c.shift), c.line);
        EXPECT_EQ(Alphas(out), c.alphas) << c.shift;
        for (size_t i = 0; i < out.size(); ++i) // colour is the pixel's own
            EXPECT_EQ(out[i].value & 0xFFFFFFu, c.line[i].value & 0xFFFFFFu);
    }
}

TEST(KXBlurAccumulators, Finalize)
{
    // Radius 1, count 3, over three pixels.
    const KXRGBA32i p1(0xFFFF0000u), p2(0x00FF0000u), p3(0xFF0000FFu);
    const KXRGBA32i target(0x11223344u);
    const auto run = [&](auto accumulator) {
        for (const KXRGBA32i& p : {p1, p2, p3, KXRGBA32i(0x12345678u)})
            accumulator.Add(p);
        accumulator.Subtract(KXRGBA32i(0x12345678u));
        KXRGBA32i out = target;
        accumulator.Finalize(out);
        return out.value;
    };
    // Alpha 510 / 3 = 170; the other bytes stay, are inverted or coloured.
    EXPECT_EQ(run(KXAlphaBlurAccumulator(1)), 0xAA223344u);
    EXPECT_EQ(run(KXAlphaBlurAccumulatorWithInvert(1)), 0x55223344u);
    EXPECT_EQ(run(KXAlphaBlurAccumulatorWithRGBColorize(1, KXRGBA32i(0x01ABCDEFu))), 0xAAABCDEFu);
    // Plain: red 510 / 3 = 170, blue 255 / 3 = 85.
    EXPECT_EQ(run(KXRGBABlurAccumulator(1)), 0xAAAA0055u);
    // Weighted: red sum 255 (the transparent red adds nothing), 255 / 3 =
    // 85, * 255 / 170 = 127; blue likewise 127.
    EXPECT_EQ(run(KXRGBABlurAccumulatorPremul(1)), 0xAA7F007Fu);

    // Alpha below one count gives the zero pixel; Reset clears the sums.
    KXRGBABlurAccumulatorPremul weak(1);
    weak.Add(KXRGBA32i(0x02FFFFFFu));
    KXRGBA32i out = target;
    weak.Finalize(out);
    EXPECT_EQ(out.value, 0u);
    KXRGBABlurAccumulator reset(0);
    reset.Add(KXRGBA32i(0xFFFFFFFFu));
    reset.Reset();
    reset.Add(KXRGBA32i(0x01020304u));
    reset.Finalize(out);
    EXPECT_EQ(out.value, 0x01020304u);
}
