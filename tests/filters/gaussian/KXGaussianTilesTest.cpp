#include "KXFilterTestImages.h"
#include "KXPassRun.h"
#include "KXGaussianSpanWidth.h"
#include "KXGaussianTiles.h"
#include "KXIsaLevels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

// Both Gaussian passes a tile at a time give the bytes of the plain row
// pass followed by the plain column pass, on opaque layers whose sizes end
// inside a tile, are narrower or lower than a tile or than the kernel, at
// radii 1, 6 and 8 (the largest the tiles take) and 15 (left to the
// caller: every tile named), with the certified
// margin as it is and widened so that every lane of both passes takes the
// exact sum; and on layers with translucent pixels. At levels without the
// float sums nothing is done and every tile is named.
using KXGaussianTilesAtLevel = KXIsaLevelTest;

namespace {

KXImageRGBA32i Opaque(int width, int height, unsigned int seed)
{
    KXImageRGBA32i image = KXFilterTest::RandomImage(width, height, seed, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetColor(x, y, KXRGBA32i(image.GetColor(x, y).value | 0xFF000000u));
    return image;
}

// The plain passes, one line at a time: rows, then columns.
KXImageRGBA32i PlainPasses(KXImageRGBA32i image, double sigma)
{
    const KXGaussian1DPremul kernel(sigma);
    EXPECT_TRUE(KXFilterTest::RunPass(image, QRect(), kernel, KXPassDirection::Horizontal, true));
    EXPECT_TRUE(KXFilterTest::RunPass(image, QRect(), kernel, KXPassDirection::Vertical, true));
    return image;
}

// Every tile rectangle of `image` that meets rows first … last.
std::vector<QRect> TilesOf(const KXImageRGBA32i& image, int first, int last)
{
    std::vector<QRect> tiles;
    for (int y = first / 128 * 128; y <= last; y += 128)
        for (int x = 0; x < int(image.Width()); x += 128)
            tiles.push_back(QRect(x, y, 128, 128) & image.Rect());
    return tiles;
}

bool Before(const QRect& a, const QRect& b)
{
    return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
}

} // namespace

TEST_P(KXGaussianTilesAtLevel, BothPassesMatchThePlainPasses)
{
    struct Size {
        int width, height;
    };
    for (const Size size : {Size{300, 290}, Size{129, 257}, Size{40, 30}, Size{260, 3}, Size{5, 140}})
        for (const double sigma : {0.5, 2.0, 2.7, 5.0})
            for (const double margin : {0.0, 0.45}) { // 0.45: most lanes to the exact sums
                SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height) + ", sigma " +
                             std::to_string(sigma) + ", margin " + std::to_string(margin));
                KXGaussianSpanWidth::WidenCertifiedMargin(margin);
                const KXGaussian1DPremul kernel(sigma);
                const KXImageRGBA32i source = Opaque(size.width, size.height, 7u + unsigned(size.width));
                const std::vector<KXRGBA32i> before = KXFilterTest::Pixels(source);
                KXImageRGBA32i out = source;
                const std::vector<QRect> left =
                    KXGaussianTiles::Rows(source, out, kernel, 0, size.height - 1, KXTileWalker::Run::Parallel);
                EXPECT_EQ(KXFilterTest::Pixels(source), before) << "the source kept its pixels";
                if (!KXGaussianTiles::Usable(kernel)) {
                    EXPECT_EQ(left.size(), TilesOf(source, 0, size.height - 1).size());
                    continue;
                }
                ASSERT_TRUE(left.empty());
                const KXImageRGBA32i want = PlainPasses(source, sigma);
                for (int y = 0; y < size.height; ++y)
                    for (int x = 0; x < size.width; ++x)
                        ASSERT_EQ(out.GetColor(x, y), want.GetColor(x, y)) << x << "," << y;
            }
    KXGaussianSpanWidth::WidenCertifiedMargin(0.0);
}

TEST_P(KXGaussianTilesAtLevel, TranslucentLayersMatchThePlainPasses)
{
    for (const double sigma : {2.0, 2.7})
        for (const double margin : {0.0, 0.45}) { // 0.45: most lanes to the exact sums
            SCOPED_TRACE("sigma " + std::to_string(sigma) + ", margin " + std::to_string(margin));
            const KXGaussian1DPremul kernel(sigma);
            KXGaussianSpanWidth::WidenCertifiedMargin(margin);
            if (!KXGaussianTiles::Usable(kernel)) {
                KXGaussianSpanWidth::WidenCertifiedMargin(0.0);
                GTEST_SKIP() << "no float sums at this level";
            }
            // A third of the pixels transparent or opaque, the rest any alpha.
            const KXImageRGBA32i source = KXFilterTest::RandomImage(300, 150, 13u);
            KXImageRGBA32i out = source;
            ASSERT_TRUE(KXGaussianTiles::Rows(source, out, kernel, 0, 149, KXTileWalker::Run::Parallel).empty());
            const KXImageRGBA32i want = PlainPasses(source, sigma);
            for (int y = 0; y < 150; ++y)
                for (int x = 0; x < 300; ++x)
                    ASSERT_EQ(out.GetColor(x, y), want.GetColor(x, y)) << x << "," << y;
        }
    KXGaussianSpanWidth::WidenCertifiedMargin(0.0);
}

// Tiles the tile kernel leaves (here: those near a translucent pixel, with
// the weighted tiles switched off) are named, and Both does them by the
// passes: every row asked for matches, the others keep their pixels.
TEST_P(KXGaussianTilesAtLevel, TilesLeftAreDoneByThePasses)
{
    const double sigma = 2.0; // radius 6
    const KXGaussian1DPremul kernel(sigma);
    if (!KXGaussianTiles::Usable(kernel))
        GTEST_SKIP() << "no float sums at this level";
    KXImageRGBA32i source = Opaque(400, 300, 11u);
    // Within 6 of the tile (128, 128) from the tile left of it, and inside
    // the last tile of the first row, which is not asked for.
    source.SetColor(122, 200, KXRGBA32i(0x80402010u));
    source.SetColor(390, 5, KXRGBA32i(0xFE402010u));
    const KXImageRGBA32i want = PlainPasses(source, sigma);
    KXGaussianTiles::OpaqueOnly(true);
    KXImageRGBA32i out = source;
    std::vector<QRect> left = KXGaussianTiles::Rows(source, out, kernel, 128, 299, KXTileWalker::Run::Parallel);
    std::sort(left.begin(), left.end(), Before);
    const std::vector<QRect> expected = {QRect(0, 128, 128, 128), QRect(128, 128, 128, 128)};
    EXPECT_EQ(left, expected);
    KXImageRGBA32i both = source;
    KXGaussianTiles::Both(source, both, kernel, 128, 299, KXTileWalker::Run::Parallel);
    KXGaussianTiles::OpaqueOnly(false);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            if (y >= 128 && !(y < 256 && x < 256)) {
                ASSERT_EQ(out.GetColor(x, y), want.GetColor(x, y)) << x << "," << y;
            }
            ASSERT_EQ(both.GetColor(x, y), (y >= 128 ? want : source).GetColor(x, y)) << x << "," << y;
        }

    // A translucent pixel at the first or last column a tile reads from its
    // left neighbour (x = 122, 127), or at the last from its right (261), is
    // seen by that tile as well as by its own; with the weighted tiles on,
    // the whole layer matches the plain passes.
    source = Opaque(400, 300, 17u);
    source.SetColor(122, 60, KXRGBA32i(0x80402010u));
    source.SetColor(127, 70, KXRGBA32i(0xFE402010u));
    source.SetColor(261, 200, KXRGBA32i(0x01402010u));
    KXGaussianTiles::OpaqueOnly(true);
    out = source;
    left = KXGaussianTiles::Rows(source, out, kernel, 0, 299, KXTileWalker::Run::Serial);
    KXGaussianTiles::OpaqueOnly(false);
    std::sort(left.begin(), left.end(), Before);
    const std::vector<QRect> seen = {QRect(0, 0, 128, 128), QRect(128, 0, 128, 128), QRect(128, 128, 128, 128),
                                     QRect(256, 128, 128, 128)};
    EXPECT_EQ(left, seen);
    out = source;
    ASSERT_TRUE(KXGaussianTiles::Rows(source, out, kernel, 0, 299, KXTileWalker::Run::Serial).empty());
    const KXImageRGBA32i plain = PlainPasses(source, sigma);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            ASSERT_EQ(out.GetColor(x, y), plain.GetColor(x, y)) << x << "," << y;
}

KX_INSTANTIATE_ISA_LEVELS(KXGaussianTilesAtLevel);
