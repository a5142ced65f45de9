#include "KXFilterKernels.h"
#include "KXIsaLevels.h"
#include "KXGaussianSpanWidth.h"
#include "KXPassRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// Opaque neighbourhoods (2r + 1 pixels, one after the other) whose centre's
// colour sums Σ w c lie next to a half-integer (within about 1e-9), the
// float estimate's error deciding their bytes: the pair sums p1, p2 at
// distances 1 and 2 are met with 2000 random pairs p3, p4 at distances 3
// and 4 (fractions of p1 w1 + p2 w2 sorted, the one completing to .5
// looked up); the other taps random.
KXPixelLine NearHalves(const std::vector<double>& w, int count, std::mt19937& random)
{
    const int r = int(w.size() / 2), far = r >= 4 ? 2000 : 1;
    const auto fraction = [](double x) { return x - std::floor(x); };
    std::vector<std::pair<double, int>> near;
    for (int a = 0; a < 511 * 511; ++a)
        near.emplace_back(fraction(a / 511 * w[size_t(r + 1)] + a % 511 * w[size_t(r + 2)]), a);
    std::sort(near.begin(), near.end());
    KXPixelLine line(size_t(count * (2 * r + 1)));
    for (int t = 0; t < count; ++t) {
        KXRGBA32i* centre = &line[size_t(t * (2 * r + 1) + r)];
        for (int k = -r; k <= r; ++k)
            centre[k].value = 0xFF000000u | random();
        for (int c = 0; c < 3; ++c) {
            double rest = 0.0, best = 1.0;
            for (int k = -r; k <= r; ++k)
                rest += std::abs(k) <= (far > 1 ? 4 : 2) && k ? 0.0 : ((centre[k].value >> (8 * c)) & 255u) * w[size_t(k + r)];
            int pairs[5] = {};
            for (int i = 0; i < far; ++i) {
                const int p3 = far > 1 ? int(random() % 511) : 0, p4 = far > 1 ? int(random() % 511) : 0;
                const double want = fraction(0.5 - rest - (far > 1 ? p3 * w[size_t(r + 3)] + p4 * w[size_t(r + 4)] : 0.0));
                const auto at = std::lower_bound(near.begin(), near.end(), std::make_pair(want, 0));
                for (auto it : {at == near.end() ? near.begin() : at, at == near.begin() ? near.end() - 1 : at - 1})
                    if (const double d = std::abs(fraction(want - it->first + 0.5) - 0.5); d < best)
                        best = d, pairs[1] = it->second / 511, pairs[2] = it->second % 511, pairs[3] = p3, pairs[4] = p4;
            }
            for (int m = 1; m <= (far > 1 ? 4 : 2); ++m)
                for (int k : {-m, m}) {
                    const int value = k < 0 ? std::min(pairs[m], 255) : pairs[m] - std::min(pairs[m], 255);
                    centre[k].value = (centre[k].value & ~(255u << (8 * c))) | uint32_t(value) << (8 * c);
                }
        }
    }
    return line;
}

} // namespace

// The certified float sums of opaque blocks give the bytes of the per-pixel
// kernel: sums next to half-integers, random opaque pixels, a few pixels of
// alpha 254 or 0 among them (those blocks are not opaque), each as built and
// with the acceptance shrunk so that nearly every pixel takes the fallback.
// The line filtered a pixel at a time into `one` and as one span into
// `many`, the certified acceptance widened by `margin`.
static void PixelsAndSpan(KXGaussian1DPremul& kernel, KXPixelLine& source, double margin, KXPixelLine& one,
                          KXPixelLine& many)
{
    KXGaussianSpanWidth::WidenCertifiedMargin(margin);
    kernel.SetSource(&source);
    kernel.SetDestination(&one);
    for (int i = 0; i < int(source.size()); ++i)
        kernel(i);
    kernel.SetDestination(&many);
    kernel.Span(0, int(source.size()));
}

using KXGaussianCertifiedAtLevel = KXIsaLevelTest;

TEST_P(KXGaussianCertifiedAtLevel, MatchesPixelByPixel)
{
    for (double sigma : {0.7, 2.0, 5.0, 20.0}) {
        std::mt19937 random(int(sigma * 10));
        KXGaussian1DPremul kernel(sigma);
        KXPixelLine source = NearHalves(kernel.Weights(), 40, random);
        for (int i = 0; i < 3000; ++i)
            source.push_back(KXRGBA32i(0xFF000000u | random()));
        for (int i = 0; i < 10; ++i)
            source[random() % source.size()].a = random() % 2 ? 254 : 0;
        for (double margin : {0.0, 0.4999}) {
            KXPixelLine one(source.size()), many(source.size());
            PixelsAndSpan(kernel, source, margin, one, many);
            ASSERT_EQ(many, one) << "sigma " << sigma << " margin " << margin;
        }
    }
    KXGaussianSpanWidth::WidenCertifiedMargin(0.0);
}

// The column pass across bands of sixteen columns, and the row pass across
// bands of sixteen rows, give the plain pass's pixels at every level: the
// lines are the near-half line turned by 7 places a line, one band holds a
// pixel of alpha 254 half-way along (it turns out not to be opaque after
// its first blocks), one band straddles the tile border at line 128 and the
// lines cross several tile borders, the area cuts the first and last band
// short.
TEST_P(KXGaussianCertifiedAtLevel, BandsMatchThePlainPass)
{
    constexpr int kLines = 150;
    for (KXPassDirection direction : {KXPassDirection::Vertical, KXPassDirection::Horizontal})
        for (double sigma : {2.0, 20.0}) {
            const bool rows = direction == KXPassDirection::Horizontal;
            std::mt19937 random(static_cast<unsigned>(sigma));
            const KXPixelLine line = NearHalves(KXGaussian1DPremul(sigma).Weights(), 30, random);
            const int length = int(line.size());
            const int width = rows ? length : kLines, height = rows ? kLines : length;
            KXImageRGBA32i image(static_cast<unsigned>(width), static_cast<unsigned>(height));
            for (int x = 0; x < width; ++x)
                for (int y = 0; y < height; ++y)
                    image.SetColor(x, y, line[size_t(rows ? (x + 7 * y) % length : (y + 7 * x) % length)]);
            image.SetColor(rows ? length / 2 : 40, rows ? 40 : length / 2, KXRGBA32i(0xFE808080u));
            const QRect area = rows ? QRect(5, 3, length - 9, 140) : QRect(3, 5, 140, length - 9);
            for (double margin : {0.0, 0.4999}) {
                KXGaussianSpanWidth::WidenCertifiedMargin(margin);
                KXImageRGBA32i out[2] = {image, image};
                for (int plain : {0, 1})
                    ASSERT_TRUE(
                        KXFilterTest::RunPass(out[plain], area, KXGaussian1DPremul(sigma), direction, plain));
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        ASSERT_EQ(out[0].GetColor(x, y), out[1].GetColor(x, y))
                            << rows << " " << sigma << " " << margin << " " << x << "," << y;
            }
        }
    KXGaussianSpanWidth::WidenCertifiedMargin(0.0);
}

// Blocks with translucent pixels take the alpha-weighted float sums: the
// near-half neighbourhoods under one alpha a0 (the weights sum to 1, so
// alpha comes out a0 and the colour quotient lies as near a half-integer as
// the opaque sum did), alpha ramps, a run of alpha 0 longer than a block,
// and random pixels of every alpha; as built, with the colours' acceptance
// narrowed to a few per cent, and with the float sums refused.
TEST_P(KXGaussianCertifiedAtLevel, TranslucentMatchesPixelByPixel)
{
    for (double sigma : {0.7, 2.0, 5.0, 20.0}) {
        std::mt19937 random(int(sigma * 10) + 1);
        KXGaussian1DPremul kernel(sigma);
        KXPixelLine source;
        for (int a0 : {1, 2, 3, 100, 128, 254}) {
            for (KXRGBA32i p : NearHalves(kernel.Weights(), 20, random)) {
                p.a = uint8_t(a0);
                source.push_back(p);
            }
        }
        for (int x = 0; x < 1500; ++x)
            source.push_back(KXRGBA32i(uint32_t(std::clamp(x - 300, 0, 255)) << 24 | (random() & 0xFFFFFFu)));
        for (int x = 0; x < 700; ++x)
            source.push_back(KXRGBA32i(random() & 0xFFFFFFu));
        for (int x = 0; x < 4000; ++x) {
            const int kind = int(random() % 4);
            const uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : kind == 2 ? 1 + random() % 4 : random() % 256;
            source.push_back(KXRGBA32i(a << 24 | (random() & 0xFFFFFFu)));
        }
        for (double margin : {0.0, 0.49, 0.4999}) {
            KXPixelLine one(source.size()), many(source.size());
            PixelsAndSpan(kernel, source, margin, one, many);
            for (size_t i = 0; i < source.size(); ++i)
                ASSERT_EQ(many[i].value, one[i].value) << "sigma " << sigma << " margin " << margin << " at " << i;
        }
    }
    KXGaussianSpanWidth::WidenCertifiedMargin(0.0);
}

// A constant opaque layer keeps its bytes (the weights sum to 1): each
// channel at its own value, 0 and 255 among them, so that a byte put in
// the wrong place of the pixel or a sum just above 255 not clamped shows;
// along a span and through the column and row bands.
TEST_P(KXGaussianCertifiedAtLevel, ConstantsKeepTheirBytes)
{
    for (double sigma : {2.0, 20.0})
        for (uint32_t colour : {0xFFFFFFFFu, 0xFF000000u, 0xFF00FF00u, 0xFFFF0080u, 0xFF01FE7Fu, 0xFF7F80FEu}) {
            KXGaussian1DPremul kernel(sigma);
            KXPixelLine source(300, KXRGBA32i(colour)), many(300);
            kernel.SetSource(&source);
            kernel.SetDestination(&many);
            kernel.Span(0, 300);
            for (const KXRGBA32i& p : many)
                ASSERT_EQ(p.value, colour) << sigma;
            for (KXPassDirection direction : {KXPassDirection::Vertical, KXPassDirection::Horizontal}) {
                const bool rows = direction == KXPassDirection::Horizontal;
                const int width = rows ? 300 : 150, height = rows ? 150 : 300;
                KXImageRGBA32i image(static_cast<unsigned>(width), static_cast<unsigned>(height));
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        image.SetColor(x, y, KXRGBA32i(colour));
                ASSERT_TRUE(KXFilterTest::RunPass(image, QRect(0, 0, width, height), kernel, direction, false));
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        ASSERT_EQ(image.GetColor(x, y).value, colour) << rows << " " << sigma << " " << x << "," << y;
            }
        }
}

KX_INSTANTIATE_ISA_LEVELS(KXGaussianCertifiedAtLevel);
