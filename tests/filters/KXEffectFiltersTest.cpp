// Vignette, add noise, diffuse glow and the point-to-ellipse distance:
// values worked by hand, the vignette's ellipse by its own equation, the
// noise by a plain loop over the tiles, the caches, the glow's range.

#include "KXEffectFilters.h"
#include "KXFilterRunSupport.h"
#include "KXFilterTestImages.h"
#include "filters/KXEffectFilterRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using KXFilterTest::Pixels;
using KXFilterTest::Progress;
using KXFilterTest::RandomImage;
using KXFilterTest::Uniform;

namespace {

KXImageRGBA32i Vignette(const KXImageRGBA32i& image, int curve, int reach, const QColor& colour)
{
    QReadWriteLock lock;
    bool cancel = false;
    KXVignetteProcessing::VignetteData data;
    data.image = image;
    data.curve = curve;
    data.reach = reach;
    data.colour = colour;
    return KXVignetteProcessing(lock, cancel).run(data);
}

} // namespace

TEST(KXEffectFilters, VignetteAgainstTheEllipseEquation)
{
    // Pixels inside the inscribed ellipse keep their value; with reach 1 and
    // amount 100 those more than a pixel outside it take the colour (alpha
    // kept); the centre's row and column among them. The distance along the ray is |P - C| (1 - 1/ρ), ρ² = (dx/a)² +
    // (dy/b)².
    const KXImageRGBA32i input = RandomImage(700, 500, 3); // 6 x 4 tiles, some with corners just outside
    const std::vector<KXRGBA32i> in = Pixels(input);
    for (int curve : {0, 1}) {
        const std::vector<KXRGBA32i> out = Pixels(Vignette(input, curve, 1, Qt::black));
        for (int y = 0; y < 500; ++y)
            for (int x = 0; x < 700; ++x) {
                const double dx = x - 350.0, dy = y - 250.0;
                const double rho = std::sqrt(dx * dx / (350.0 * 350.0) + dy * dy / (250.0 * 250.0));
                const double d = std::hypot(dx, dy) * (1 - 1 / rho);
                const KXRGBA32i p = in[size_t(y) * 700 + size_t(x)];
                const KXRGBA32i q = out[size_t(y) * 700 + size_t(x)];
                if (rho < 1 - 1e-9) {
                    ASSERT_EQ(q, p) << x << "," << y;
                } else if (d > 1 + 1e-9) {
                    ASSERT_EQ(q, KXRGBA32i(p.value & 0xFF000000u)) << x << "," << y;
                }
            }
    }
    // Corner (0, 0) of 20 x 10 lies d = √125 - √62.5 = 3.27465 outside:
    // linear reach 10: t = 0.67254, red 255 (1 - t) + 100 t + 0.5 = 151,
    // green 0 gives 84; parabolic: t = 1 - d²/100 = 0.89277, 117 and 27.
    const KXImageRGBA32i small = Uniform(20, 10, 0xFF640000);
    EXPECT_EQ(Vignette(small, 0, 10, Qt::white).GetColor(0, 0), KXRGBA32i(0xFF975454));
    EXPECT_EQ(Vignette(small, 1, 10, Qt::white).GetColor(0, 0), KXRGBA32i(0xFF751B1B));

    // A tile wholly inside the ellipse is left shared with the input.
    const KXImageRGBA32i large = Uniform(1024, 1024, 0xFF336699);
    const KXImageRGBA32i tinted = Vignette(large, 1, 50, Qt::black);
    EXPECT_EQ(tinted.Tile(3, 3)->constData(), large.Tile(3, 3)->constData());
    EXPECT_NE(tinted.Tile(0, 0)->constData(), large.Tile(0, 0)->constData());
}

TEST(KXEffectFilters, NoiseIsDrawnTileAfterTile)
{
    // A plain loop over the tiles of a 200 x 150 noise image (2 x 2 tiles,
    // margins drawn too), channels in the order red, green, blue, alpha.
    for (int distribution : {0, 1}) {
        std::mt19937 engine(7);
        std::vector<std::uniform_int_distribution<int>> u(4, std::uniform_int_distribution<int>(0, 255));
        std::vector<std::normal_distribution<double>> n(4, std::normal_distribution<double>(255, 255));
        std::vector<KXRGBA32i> expected(200 * 150);
        for (int tile = 0; tile < 4; ++tile)
            for (int i = 0; i < 128 * 128; ++i) {
                uint32_t v = 0;
                for (int c = 0; c < 4; ++c) {
                    const int draw = distribution == 0 ? u[size_t(c)](engine)
                                                       : int(std::min(255.0, std::max(0.0, std::trunc(n[size_t(c)](engine)))));
                    v |= uint32_t(draw) << (c < 3 ? 16 - 8 * c : 24);
                }
                const int x = tile % 2 * 128 + i % 128, y = tile / 2 * 128 + i / 128;
                if (x < 200 && y < 150)
                    expected[size_t(y) * 200 + size_t(x)] = KXRGBA32i(v);
            }

        QReadWriteLock lock, cacheLock;
        bool cancel = false;
        KXImageRGBA32i uniform, gaussian;
        KXAddNoiseProcessing filter(lock, cancel, cacheLock, uniform, gaussian);
        KXAddNoiseProcessing::AddNoiseData data;
        data.image = RandomImage(200, 150, 1);
        data.distribution = distribution;
        KXEffectFilterRun::AddNoise(filter, {lock, cancel, cacheLock, uniform, gaussian}, data, 7);
        EXPECT_EQ(Pixels(distribution == 0 ? uniform : gaussian), expected) << distribution;
    }
}

TEST(KXEffectFilters, NoiseCacheKeyedOnSize)
{
    // A cache of the right size is laid over as it is (an opaque source at
    // amount 100 over an opaque layer: the cache's pixels) and the range is
    // the merge alone; another size is drawn anew (a tile more).
    QReadWriteLock lock, cacheLock;
    bool cancel = false;
    KXImageRGBA32i uniform(30, 20), gaussian;
    KXAddNoiseProcessing::AddNoiseData data;
    data.image = Uniform(200, 150, 0xFF102030);
    data.amount = 100;
    KXAddNoiseProcessing filter(lock, cancel, cacheLock, uniform, gaussian);
    const Progress progress(filter);
    // Through a selection at (50, 60) whose left half is opaque: the cache
    // lands on the area's corner.
    for (unsigned int y = 0; y < 20; ++y)
        for (unsigned int x = 0; x < 30; ++x)
            uniform.SetColor(int(x), int(y), KXRGBA32i(0xFF000000u | x << 8 | y));
    data.selection = KXImageRGBA32i(30, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 15; ++x)
            data.selection.SetColor(x, y, KXRGBA32i(0xFF000000u));
    data.selectionRect = data.selection.Rect();
    data.offset = QPoint(50, 60);
    const KXImageRGBA32i out = filter.run(data);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x) {
            const bool noised = x >= 50 && x < 65 && y >= 60 && y < 80;
            ASSERT_EQ(out.GetColor(x, y), noised ? uniform.GetColor(x - 50, y - 60) : KXRGBA32i(0xFF102030));
        }

    data.selectionRect = QRect(0, 0, 31, 20);
    filter.run(data);
    EXPECT_EQ(uniform.Width(), 31u);
    EXPECT_EQ(progress.ranges, (std::vector<std::pair<int, int>>{{0, 20}, {0, 20 + 1}}));
}

TEST(KXEffectFilters, GlowThresholdsByHand)
{
    // Red 100, green 200, blue 50: luma (200·59 + 100·30 + 50·11) / 100 = 153.
    using Glow = KXDiffuseGlowProcessing;
    KXRGBA32i p(0x7F64C832), q = p, a = p, b(0x8064C832);
    Glow::KXColorizeThreshold(153, KXRGBA32i(0x40FF0000))(p);
    Glow::KXColorizeThreshold(154, KXRGBA32i(0x40FF0000))(q);
    Glow::KXAlphaThreshold(128)(a);
    Glow::KXAlphaThreshold(128)(b);
    EXPECT_EQ((std::vector<uint32_t>{p, q, a, b}), (std::vector<uint32_t>{0xFFFF0000, 0x00FF0000, 0x0064C832, 0xFF64C832}));
}

TEST(KXEffectFilters, GlowOverAndBehindWithItsRange)
{
    // A white square on black: its middle glows red over the layer, the far
    // corner stays; behind an opaque layer the glow shows nowhere. Range
    // 300 x 200: 2 · 6 tiles + 2 (200 + 300) + 200 = 1212; over a 100 x 50
    // area: 2 · 1 + 2 (50 + 100) + 50 = 352.
    KXImageRGBA32i layer = Uniform(300, 200, 0xFF000000);
    for (int y = 80; y < 120; ++y)
        for (int x = 130; x < 170; ++x)
            layer.SetColor(x, y, KXRGBA32i(0xFFFFFFFF));
    QReadWriteLock lock;
    bool cancel = false;
    KXDiffuseGlowProcessing filter(lock, cancel);
    Progress progress(filter);
    KXDiffuseGlowProcessing::DiffuseGlowData data;
    data.image = layer;
    data.sigma = 3;
    data.colour = Qt::red;
    const KXImageRGBA32i over = filter.run(data);
    EXPECT_EQ(over.GetColor(150, 100), KXRGBA32i(0xFFFF0000));
    EXPECT_EQ(over.GetColor(0, 0), KXRGBA32i(0xFF000000));
    data.placement = 1;
    EXPECT_EQ(Pixels(filter.run(data)), Pixels(layer));
    data.selection = Uniform(100, 50, 0xFFFFFFFF);
    data.selectionRect = data.selection.Rect();
    data.offset = QPoint(10, 10);
    filter.run(data);
    EXPECT_EQ(progress.ranges, (std::vector<std::pair<int, int>>{{0, 1212}, {0, 352}}));
}

TEST(KXEffectFilters, DistancePointEllipse)
{
    // By hand (semi-axes 2, 1): (0, 3) is 2 from (0, 1); (1, 0) lies inside
    // the evolute: nearest (4/3, ±√5/3), distance √6/3; mirrored into
    // another quadrant and with the long axis upright.
    const double r5 = std::sqrt(5.0) / 3, r6 = std::sqrt(6.0) / 3;
    const std::vector<double> cases[] = {{2, 1, 0, 3, 2, 0, 1}, {2, 1, -1, 0, r6, -4.0 / 3, r5}, {1, 2, 0, -1, r6, r5, -4.0 / 3}};
    for (const std::vector<double>& c : cases) {
        const std::vector<double> r = KXVignetteProcessing::DistancePointEllipse(c[0], c[1], c[2], c[3]);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(r.at(i), c[4 + i], 1e-12) << c[2] << "," << c[3];
    }
    // Anywhere else (the bisection): the nearest point is on the ellipse,
    // and no point of it sampled every 0.009° is nearer.
    std::mt19937 random(5);
    std::uniform_real_distribution<double> coordinate(-8, 8);
    for (int i = 0; i < 100; ++i) {
        const double x = coordinate(random), y = coordinate(random);
        const std::vector<double> r = KXVignetteProcessing::DistancePointEllipse(5, 3, x, y);
        EXPECT_NEAR(r[1] * r[1] / 25 + r[2] * r[2] / 9, 1.0, 1e-9);
        double nearest = std::hypot(r[1] - x, r[2] - y);
        EXPECT_NEAR(r[0], nearest, 1e-9);
        for (int k = 0; k < 40000; ++k)
            nearest = std::min(nearest, std::hypot(5 * std::cos(k * M_PI / 20000) - x, 3 * std::sin(k * M_PI / 20000) - y));
        EXPECT_GE(r[0], nearest - 1e-9);
    }
}
