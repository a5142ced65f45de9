// Sharpen, smoothen and high pass: pixels worked by hand, the identities,
// the area case, the high pass cache and progress, and a cancel before the
// run for every detail and effect filter.

#include "KXDetailFilters.h"
#include "KXEffectFilters.h"
#include "KXFilterRunSupport.h"
#include "KXFilterTestImages.h"
#include "filters/KXDetailFilterRun.h"
#include "KXIsaLevels.h"
#include "filters/KXThreeTapSpans.h"

#include <gtest/gtest.h>

#include <type_traits>


using KXFilterTest::Pixels;
using KXFilterTest::Progress;
using KXFilterTest::RandomImage;
using KXFilterTest::Uniform;
using Scheme = KXLineRunner::Scheme;

namespace {

KXImageRGBA32i Row(const std::vector<uint32_t>& values)
{
    KXImageRGBA32i image(static_cast<unsigned int>(values.size()), 1);
    for (size_t x = 0; x < values.size(); ++x)
        image.SetColor(int(x), 0, KXRGBA32i(values[x]));
    return image;
}

// Sharpen (smoothen) of `common` with `strength`, the filters' own scheme
// (fast spans) or one line at a time (the plain kernel per pixel).
KXImageRGBA32i ThreeTap(bool sharpen, int strength, const KXFilterData& common,
                        Scheme scheme = Scheme::ConcurrentLines)
{
    QReadWriteLock lock;
    bool cancel = false;
    KXSharpenProcessing filter(lock, cancel);
    KXSharpenProcessing::SharpenData s;
    KXSmoothenProcessing::SmoothenData m;
    static_cast<KXFilterData&>(s) = static_cast<KXFilterData&>(m) = common;
    s.strength = m.strength = strength;
    return sharpen ? KXDetailFilterRun::Sharpen(filter, lock, cancel, s, scheme)
                   : KXDetailFilterRun::Smoothen(filter, lock, cancel, m, scheme);
}

KXFilterData Whole(const KXImageRGBA32i& image)
{
    KXFilterData data;
    data.image = image;
    return data;
}

} // namespace

TEST(KXDetailFilters, ThreeTapKernelsByHand)
{
    // One row, so the column pass gives back what it gets: three equal
    // taps sum to 1785 c + 765 (sharpen), 765 c a / 255 (smoothen).
    // Sharpen n = 100, green 200 50 200: middle (765 - 2·100·200 +
    // 1985·50) / 255 / 7 = 60015 / 255 / 7 = 33, edges (765 - 100·200 +
    // 1985·200 - 100·50) / 255 / 7 = 208; red 0 100 0: middle 199265 / 255
    // / 7 = 111, edges -9235 / 255 / 7 < 0, so 0.
    // Smoothen n = 255 (a plain average, opaque), red 0 90 30 with the edges
    // repeated: (0 + 0 + 90) / 3 = 30, (0 + 90 + 30) / 3 = 40,
    // (90 + 30 + 30) / 3 = 50.
    const struct {
        bool sharpen;
        int strength;
        std::vector<uint32_t> in, out;
    } cases[] = {
        {true, 100, {0xFF00C800, 0xFF643200, 0xFF00C800}, {0xFF00D000, 0xFF6F2100, 0xFF00D000}},
        {false, 255, {0xFF000000, 0xFF5A0000, 0xFF1E0000}, {0xFF1E0000, 0xFF280000, 0xFF320000}},
    };
    for (const auto& c : cases) {
        const std::vector<KXRGBA32i> out = Pixels(ThreeTap(c.sharpen, c.strength, Whole(Row(c.in))));
        EXPECT_EQ(out, std::vector<KXRGBA32i>(c.out.begin(), c.out.end())) << c.sharpen;
    }
}

TEST(KXDetailFilters, IdentitiesAndTheAreaCase)
{
    // Strength 0 copies; a uniform layer stays. In the area case the pixels
    // of the area equal the whole-layer result (the row pass reaches one
    // row beyond the area), the others stay.
    const KXImageRGBA32i random = RandomImage(300, 260, 5);
    const KXImageRGBA32i uniform = Uniform(300, 260, 0x80336699);
    const QRect area(100, 120, 60, 30); // across the tile border at x = 128
    for (bool sharpen : {true, false}) {
        SCOPED_TRACE(sharpen);
        EXPECT_EQ(Pixels(ThreeTap(sharpen, 0, Whole(random))), Pixels(random));
        EXPECT_EQ(Pixels(ThreeTap(sharpen, 40, Whole(uniform))), Pixels(uniform));

        const std::vector<KXRGBA32i> whole = Pixels(ThreeTap(sharpen, 60, Whole(random)));
        KXFilterData data = Whole(random);
        data.selection = Uniform(60, 30, 0xFFFFFFFF);
        data.selectionRect = data.selection.Rect();
        data.offset = area.topLeft();
        const std::vector<KXRGBA32i> out = Pixels(ThreeTap(sharpen, 60, data)), in = Pixels(random);
        for (int y = 0; y < 260; ++y)
            for (int x = 0; x < 300; ++x) {
                const size_t i = size_t(y) * 300 + size_t(x);
                ASSERT_EQ(out[i], area.contains(x, y) ? whole[i] : in[i]) << x << "," << y;
            }
    }
}

TEST(KXDetailFilters, IndexToMode)
{
    const std::pair<int, unsigned int> cases[] = {{-1, 0}, {0, 0}, {1, 15}, {2, 21}, {3, 20}, {4, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(KXHighPassProcessing::IndexToMode(c.first), c.second) << c.first;
}

TEST(KXDetailFilters, HighPassCacheAndProgress)
{
    // The high pass of a uniform opaque layer is mid grey. 300 x 200: 200
    // rows + 300 columns + 200 subtracted rows = 700 steps, weight 7; the
    // value reaches 703 once the cache is stored, 707 after the blend.
    QReadWriteLock lock, cacheLock;
    bool cancel = false;
    double cachedSigma = -1.0;
    KXImageRGBA32i cached;
    KXHighPassProcessing filter(lock, cancel, cacheLock, cachedSigma, cached);
    const auto run = [&](double sigma, const KXFilterData& common) {
        KXHighPassProcessing::HighPassData data;
        static_cast<KXFilterData&>(data) = common;
        data.sigma = sigma;
        data.modeIndex = 0; // Normal at full opacity: the layer becomes H
        return Pixels(filter.run(data));
    };
    const KXImageRGBA32i layer = Uniform(300, 200, 0xFF40C020);
    const Progress first(filter);
    EXPECT_EQ(run(2.0, Whole(layer)), Pixels(Uniform(300, 200, 0xFF808080)));
    EXPECT_EQ(Pixels(cached), Pixels(Uniform(300, 200, 0xFF808080)));
    EXPECT_EQ(cachedSigma, 2.0);
    EXPECT_EQ(first.ranges, (std::vector<std::pair<int, int>>{{0, 707}}));
    ASSERT_EQ(first.values.size(), 702u);
    EXPECT_EQ(std::vector<int>(first.values.begin() + 699, first.values.end()), (std::vector<int>{700, 703, 707}));

    // The same sigma takes the cached image as it is (made red here): range 2.
    cached = Uniform(300, 200, 0xFFFF0000);
    const Progress second(filter);
    EXPECT_EQ(run(2.0, Whole(layer)), Pixels(cached));
    EXPECT_EQ(second.ranges, (std::vector<std::pair<int, int>>{{0, 2}}));
    EXPECT_EQ(second.values, (std::vector<int>{1, 2}));

    // Another sigma recomputes; the area case cuts H to the area's size.
    KXFilterData data = Whole(layer);
    data.selection = Uniform(50, 40, 0xFFFFFFFF);
    data.selectionRect = data.selection.Rect();
    data.offset = QPoint(20, 30);
    const std::vector<KXRGBA32i> out = run(3.0, data);
    EXPECT_EQ(cachedSigma, 3.0);
    EXPECT_EQ(Pixels(cached), Pixels(Uniform(50, 40, 0xFF808080)));
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(out[size_t(y) * 300 + size_t(x)],
                      KXRGBA32i(QRect(20, 30, 50, 40).contains(x, y) ? 0xFF808080 : 0xFF40C020));
}

TEST(KXDetailFilters, SpanQuotientByReciprocalIsExact)
{
    // The quotient by reciprocal for every numerator the spans give it.
    for (int x = 0; x < 256 * 1785; ++x)
        ASSERT_EQ(KXThreeTapSpans::Quotient<1785>(x), x / 1785) << x;
    for (int x = 0; x < 256 * 1530; ++x)
        ASSERT_EQ(KXThreeTapSpans::Quotient<1530>(x), x / 1530) << x;
}

using KXDetailFiltersAtLevel = KXIsaLevelTest;

TEST_P(KXDetailFiltersAtLevel, FastSpansEqualThePlainKernels)
{
    // The filters' own scheme (fast spans in the tiles, at the level under
    // test) against one line at a time (the plain kernel per pixel), whole
    // layer, an area at the layer's edge and one across a tile corner, over
    // strengths inside and outside the fast ranges, on a layer opaque but
    // for every 19th pixel (runs of opaque taps, broken now and then).
    KXImageRGBA32i layer = RandomImage(261, 140, 21);
    for (int y = 0; y < 140; ++y)
        for (int x = 0; x < 261; ++x)
            if ((y * 261 + x) % 19 != 0)
                layer.SetColor(x, y, KXRGBA32i(layer.GetColor(x, y).value | 0xFF000000u));
    for (int strength : {1, 10, 33, 64, 255, 382, 383, 70000}) {
        for (const QRect& area : {QRect(), QRect(200, 0, 80, 60), QRect(100, 100, 60, 30)}) {
            KXFilterData data = Whole(layer);
            if (area.isValid()) {
                data.selection = Uniform(area.width(), area.height(), 0xFFFFFFFF);
                data.selectionRect = data.selection.Rect();
                data.offset = area.topLeft();
            }
            for (bool sharpen : {true, false})
                EXPECT_EQ(Pixels(ThreeTap(sharpen, strength, data)),
                          Pixels(ThreeTap(sharpen, strength, data, Scheme::OneLineAtATime)))
                    << strength << " " << area.x() << " " << sharpen;
        }
    }
}

TEST_P(KXDetailFiltersAtLevel, SmoothenTriplesFindEveryTranslucentTap)
{
    // Three opaque rows (vectors and a tail) but for one translucent pixel,
    // in each row at every place: Triples at the level under test against
    // the plain kernel, for a 16-bit and a 32-bit strength.
    const int count = 83;
    std::vector<KXRGBA32i> taps[3], out(count);
    for (int t = 0; t < 3; ++t)
        for (int j = 0; j < count; ++j)
            taps[t].push_back(KXRGBA32i(0xFF000000u | (uint32_t(t * count + j) * 2654435761u >> 8)));
    for (int strength : {10, 100}) {
        const KXFastBoxKernel1D kernel(strength);
        KXTapPixel<KXFastBoxKernel1D> plain(kernel);
        for (auto& row : taps)
            for (size_t at = 0; at < size_t(count); row[at++].a = 255) {
                row[at].a = 128;
                kernel.Triples(taps[0].data(), taps[1].data(), taps[2].data(), out.data(), count, plain,
                               kernel.TripleBytes());
                for (size_t j = 0; j < size_t(count); ++j)
                    ASSERT_EQ(out[j].value, plain(taps[0][j], taps[1][j], taps[2][j]).value) << at << " " << j;
            }
    }
}

template <class Kernel>
void ExpectRowFormEqualsTriples(int strength)
{
    // The row form at every length around the vectors against Triples on a
    // line with the two outer pixels beside it (given apart to the row
    // form); a translucent tap in the last case only (smoothen's row form
    // then declines).
    const Kernel kernel(strength);
    KXTapPixel<Kernel> plain(kernel);
    for (int count : {1, 2, 15, 16, 17, 33, 128}) {
        std::vector<KXRGBA32i> line(size_t(count) + 2), row(line.size() - 2), triples(row.size());
        for (size_t j = 0; j < line.size(); ++j)
            line[j] = KXRGBA32i(0xFF000000u | uint32_t(j * 7 + count) * 2654435761u >> 8);
        line.back().a = count == 128 ? 128 : 255;
        kernel.Triples(line.data(), line.data() + 1, line.data() + 2, triples.data(), count, plain,
                       kernel.TripleBytes());
        const std::vector<KXRGBA32i> middle(line.begin() + 1, line.end() - 1); // the outer taps apart
        const bool done = kernel.Row(middle.data(), line[0], line.back(), row.data(), count, kernel.RowBytes());
        EXPECT_EQ(done, (std::is_same_v<Kernel, KXFastSharpenKernel1D> || count != 128)) << count;
        EXPECT_EQ(done ? row : triples, triples) << strength << " " << count;
    }
}

TEST_P(KXDetailFiltersAtLevel, RowFormEqualsTriples)
{
    if (!KXFastSharpenKernel1D(10).RowBytes())
        GTEST_SKIP() << "no 3-tap row form at this level";
    for (int strength : {2, 40, 64}) {
        ExpectRowFormEqualsTriples<KXFastSharpenKernel1D>(strength);
        ExpectRowFormEqualsTriples<KXFastBoxKernel1D>(strength / 2);
    }
}

TEST(KXDetailFilters, AreaSelectionOpaqueButForOnePixel)
{
    // An opaque selection over tiles that share a block, but for one pixel
    // in one tile: the tiles found opaque filtered straight, the rest mixed,
    // as one line at a time does it.
    const KXImageRGBA32i layer = RandomImage(300, 290, 5, false);
    for (const QPoint& hole : {QPoint(130, 140), QPoint(259, 3)}) {
        KXFilterData data = Whole(layer);
        data.selection = Uniform(260, 270, 0xFFFFFFFF);
        data.selection.SetColor(hole.x(), hole.y(), KXRGBA32i(0x80FFFFFFu));
        data.selectionRect = data.selection.Rect();
        data.offset = QPoint(30, 10);
        for (bool sharpen : {true, false})
            EXPECT_EQ(Pixels(ThreeTap(sharpen, 30, data)), Pixels(ThreeTap(sharpen, 30, data, Scheme::OneLineAtATime)))
                << hole.x() << " " << sharpen;
    }
}

TEST(KXDetailFilters, SixteenBitRulesEqualThePlainKernels)
{
    // Every strength the 16-bit rules take, every centre byte and every sum
    // of the outer bytes (the rules see only the sum), against the plain
    // kernels on a line of three opaque grey pixels.
    using namespace KXThreeTapSpans;
    KXPixelLine line(3), out(1);
    const auto grey = [](int v) { return KXRGBA32i(0xFF000000u | uint32_t(v) * 0x010101u); };
    for (int n = 1; n <= kMaxSharpen16; ++n) {
        KXSimpleSharpenKernel1D sharpen(n);
        KXSimpleBoxKernel1D smoothen(n);
        sharpen.SetSource(&line);
        sharpen.SetDestination(&out);
        sharpen.SetSourceOffset(1);
        smoothen.SetSource(&line);
        smoothen.SetDestination(&out);
        smoothen.SetSourceOffset(1);
        for (int sum = 0; sum <= 510; ++sum)
            for (int c = 0; c < 256; ++c) {
                const int l = std::min(sum, 255), r = sum - l;
                line[0] = grey(l);
                line[1] = grey(c);
                line[2] = grey(r);
                sharpen(0);
                ASSERT_EQ(SharpenRule16(n)(l, c, r), out[0].b) << "sharpen " << n << " " << sum << " " << c;
                if (n > kMaxSmoothen16)
                    continue;
                smoothen(0);
                ASSERT_EQ(SmoothenRule16(n)(l, c, r), out[0].b) << "smoothen " << n << " " << sum << " " << c;
            }
    }
}

TEST(KXDetailFilters, TilePassesKeepSharedTilesAndTheirOutside)
{
    // One pass of each direction over a rectangle that cuts tiles, on a copy
    // sharing every tile with the original: the concurrent scheme (tile by
    // tile, shared tiles filtered into their copies) against the plain one
    // over the whole image, pixels outside the rectangle included, the
    // progress values alike, and the original unchanged.
    const KXImageRGBA32i original = RandomImage(300, 270, 8);
    const std::vector<KXRGBA32i> before = Pixels(original);
    for (KXPassDirection direction : {KXPassDirection::Horizontal, KXPassDirection::Vertical}) {
        std::vector<std::vector<int>> progress(2);
        std::vector<std::vector<KXRGBA32i>> out(2);
        for (int plain : {0, 1}) {
            KXImageRGBA32i image = original;
            QReadWriteLock lock;
            const bool cancel = false;
            KXLineRunner runner(lock, cancel, [&](int done) { progress[size_t(plain)].push_back(done); },
                                plain ? Scheme::OneLineAtATime : Scheme::ConcurrentLines);
            KXKernelPass<KXFastSharpenKernel1D> pass(image, QRect(50, 100, 200, 150), KXFastSharpenKernel1D(30),
                                                     direction);
            EXPECT_TRUE(runner.Run(pass));
            out[size_t(plain)] = Pixels(image);
        }
        EXPECT_EQ(out[0], out[1]);
        EXPECT_EQ(progress[0], progress[1]);
        EXPECT_EQ(Pixels(original), before);
    }
}

KX_INSTANTIATE_ISA_LEVELS(KXDetailFiltersAtLevel);
