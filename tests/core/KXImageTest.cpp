#include "KXImage.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

namespace {

using Image = KXImage<KXRGBA32i, 128, 128>;

long long Available()
{
    return VQTileManager64::Instance()->GetAvailableCount();
}

// Distinct tile records an image refers to.
template <class I>
size_t DistinctTiles(const I& image)
{
    std::set<const KXImageTile*> records;
    for (unsigned int row = 0; row < image.TileRows(); ++row)
        for (unsigned int column = 0; column < image.TileColumns(); ++column)
            records.insert(image.Tile(column, row)->data());
    return records.size();
}

// The text of the E that f throws, or "nothing".
template <class E, class F>
std::string Thrown(F f)
{
    try {
        f();
    } catch (const E& e) {
        return e.what();
    }
    return "nothing";
}

} // namespace

// ---- What holds for all five forms: 128 x 128 tiles of 4-byte pixels, 128 x 64
// tiles of the 8-byte ones.

template <class I>
class KXImageForms : public testing::Test {
protected:
    using Pixel = typename I::Pixel;
    static constexpr unsigned int W = I::kTileWidth, H = I::kTileHeight;
    // A different non-zero pixel for every seed.
    static Pixel Value(unsigned int seed)
    {
        Pixel p;
        p.value = static_cast<decltype(p.value)>((seed + 1ull) * 0x9E3779B97F4A7C15ull);
        return p;
    }
    // A different pixel for every position (seeds below 2^24).
    static Pixel At(unsigned int x, unsigned int y) { return Value(y * 4096 + x); }
    static I Pattern(unsigned int width, unsigned int height)
    {
        I image(width, height);
        std::vector<Pixel> row(width);
        for (unsigned int y = 0; y < height; ++y) {
            for (unsigned int x = 0; x < width; ++x)
                row[x] = At(x, y);
            EXPECT_TRUE(image.SetLine(y, row.data(), width * sizeof(Pixel)));
        }
        return image;
    }
};
using Forms = testing::Types<KXImageRGBA32i, KXImageRGBA64i, KXImageRGBA64f, KXImageHSLA, KXImageCMYKA>;
TYPED_TEST_SUITE(KXImageForms, Forms);

TYPED_TEST(KXImageForms, GridOfSizesThatAreNotTileMultiples)
{
    constexpr unsigned int W = TestFixture::W, H = TestFixture::H;
    const struct {
        unsigned int width, height, columns, rows;
    } cases[] = {{1, 1, 1, 1}, {W, H, 1, 1}, {W + 1, H + 1, 2, 2}, {3 * W - 84, 2 * H, 3, 2}, {0, 50, 0, 1}, {W + 1, 0, 2, 0}};
    for (const auto& c : cases) {
        TypeParam image(c.width, c.height);
        EXPECT_EQ(image.TileColumns(), c.columns) << c.width;
        EXPECT_EQ(image.TileRows(), c.rows) << c.height;
    }
    TypeParam empty(0, 10);
    EXPECT_EQ(empty.Tile(0, 0), nullptr);
    empty.Fill(TestFixture::Value(1)); // nothing to do
}

// However large, a new or filled image holds one block for its interior
// tiles and one each for the right edge, bottom edge and corner; the margins
// of edge tiles stay 0.
TYPED_TEST(KXImageForms, FillHoldsAtMostFourBlocksAndKeepsMarginsZero)
{
    constexpr unsigned int W = TestFixture::W, H = TestFixture::H;
    const long long before = Available();
    {
        TypeParam image(2 * W + 44, H + 72 % H); // 3 x 2 tiles, both edges ragged
        EXPECT_EQ(Available(), before - 4);
        EXPECT_EQ(DistinctTiles(image), 4u);

        const auto v = TestFixture::Value(3);
        image.Fill(v);
        EXPECT_EQ(Available(), before - 4);
        const unsigned int inX = (image.Width() - 1) % W, inY = (image.Height() - 1) % H;
        for (const QPoint& tile : {QPoint(2, 0), QPoint(0, 1), QPoint(2, 1)}) {
            const auto t = image.ReadTile(tile.x(), tile.y());
            const bool right = tile.x() == 2, bottom = tile.y() == 1;
            EXPECT_EQ(t[inY * W + inX].value, v.value);
            EXPECT_EQ(t[inY * W + inX + 1].value, right ? 0u : v.value) << tile.x() << "," << tile.y();
            EXPECT_EQ(t[(inY + 1) * W + inX].value, bottom ? 0u : v.value) << tile.x() << "," << tile.y();
            EXPECT_EQ(t[W * H - 1].value, 0u);
        }
    }
    EXPECT_EQ(Available(), before);
    TypeParam aligned(2 * W, 3 * H);
    EXPECT_EQ(Available(), before - 1);
}

// A copy costs no block; a write detaches exactly the tile it touches, once;
// reading never detaches.
TYPED_TEST(KXImageForms, CopyOnWriteDetachesExactlyOneTile)
{
    constexpr unsigned int W = TestFixture::W, H = TestFixture::H;
    TypeParam original(3 * W - 5, 2 * H - 5);
    original.SetColor(5, 5, TestFixture::Value(5)); // detaches tile (0, 0)
    const long long before = Available();

    TypeParam copy(original);
    EXPECT_EQ(Available(), before);
    const int x = W + 3, y = H + 2; // in tile (1, 1)
    copy.SetColor(x, y, TestFixture::Value(7));
    EXPECT_EQ(Available(), before - 1);
    EXPECT_EQ(original.GetColor(x, y).value, 0u);
    EXPECT_EQ(copy.GetColor(5, 5).value, TestFixture::Value(5).value) << "the copy's tile kept its pixels";

    copy.SetColor(x + 1, y, TestFixture::Value(9)); // the tile is its own now
    (void)original.GetColor(x, y);
    (void)copy.ReadTile(2, 1);
    EXPECT_EQ(Available(), before - 1);

    // Assignment and moves release what they replace.
    TypeParam other(10, 10);
    other = copy;
    EXPECT_EQ(Available(), before - 1);
    TypeParam moved(std::move(other));
    EXPECT_EQ(moved.GetColor(x, y).value, TestFixture::Value(7).value);
    other = original;
    const TypeParam& same = other;
    other = same; // assignment to itself keeps the tiles
    EXPECT_EQ(other.GetColor(5, 5).value, TestFixture::Value(5).value);
}

// Row and column segments cross tile borders up to the image edge; longer
// requests end with the last tile's margin; writes detach only the tiles
// they touch, margins included.
TYPED_TEST(KXImageForms, RowAndColumnSegments)
{
    using Pixel = typename TestFixture::Pixel;
    constexpr unsigned int W = TestFixture::W, H = TestFixture::H, S = sizeof(Pixel);
    const unsigned int width = 2 * W + 44, height = 2 * H + 44;
    const TypeParam image = TestFixture::Pattern(width, height);
    const struct {
        bool column;
        unsigned int x, y, pixels;
    } cases[] = {
        {false, 0, H, width}, {false, W - 28, 3, 28}, {false, W - 28, 3, 29}, {false, W - 1, 2 * H + 1, 2},
        {false, width - 50, H - 1, 50}, {true, W, 0, height}, {true, width - 1, H - 8, 8},
        {true, width - 1, H - 8, 9}, {true, W - 1, H - 1, H + 1}, {true, 3, height - 50, 50},
    };
    for (const auto& c : cases) {
        std::vector<Pixel> got(c.pixels);
        ASSERT_TRUE(c.column ? image.GetColumn(c.x, c.y, got.data(), c.pixels * S)
                             : image.GetLine(c.y, c.x, got.data(), c.pixels * S));
        for (unsigned int i = 0; i < c.pixels; ++i)
            ASSERT_EQ(got[i].value, (c.column ? TestFixture::At(c.x, c.y + i) : TestFixture::At(c.x + i, c.y)).value)
                << c.column << " " << c.x << "," << c.y << " + " << i;
    }
    const Pixel mark = TestFixture::Value(1u << 30), v = TestFixture::Value(1u << 29);
    std::vector<Pixel> row(3 * W + 16, mark), column(H + 50, mark);
    ASSERT_TRUE(image.GetLine(5, row.data(), row.size() * S));
    ASSERT_TRUE(image.GetColumn(3, height - 50, column.data(), column.size() * S));
    EXPECT_EQ(row[width - 1].value, TestFixture::At(width - 1, 5).value);
    EXPECT_EQ(column[49].value, TestFixture::At(3, height - 1).value);
    for (const Pixel& p : {row[width], row[3 * W - 1], column[50], column[H + 5]})
        EXPECT_EQ(p.value, 0u) << "margin";
    EXPECT_EQ(row[3 * W].value, mark.value);
    EXPECT_EQ(column[H + 6].value, mark.value);
    EXPECT_TRUE(image.GetLine(0, 3 * W, row.data(), S)); // beyond the last tile column: nothing copied
    EXPECT_EQ(row[0].value, TestFixture::At(0, 5).value);
    EXPECT_FALSE(image.GetLine(height, 0, row.data(), S));
    EXPECT_FALSE(image.GetColumn(width, 0, row.data(), S));
    EXPECT_FALSE(image.GetColumn(0, height, row.data(), S));

    TypeParam copy(image);
    const long long before = Available();
    std::vector<Pixel> values(W, v);
    ASSERT_TRUE(copy.SetLine(11, W - 8, values.data(), 20 * S)); // tiles (0, 0) and (1, 0)
    EXPECT_EQ(Available(), before - 2);
    ASSERT_TRUE(copy.SetColumn(W + 1, H - 50, values.data(), 100 * S)); // tiles (1, 0) and (1, 1)
    EXPECT_EQ(Available(), before - 3);
    ASSERT_TRUE(copy.SetLine(3, 2 * W + 5, values.data(), (W - 5) * S)); // to the margin's end
    EXPECT_EQ(Available(), before - 4);
    EXPECT_EQ(copy.GetColor(W + 11, 11).value, v.value);
    EXPECT_EQ(copy.GetColor(W + 1, H + 49).value, v.value);
    EXPECT_EQ(copy.GetColor(W + 1, H + 50).value, TestFixture::At(W + 1, H + 50).value);
    EXPECT_EQ(copy.ReadTile(2, 0)[3 * W + W - 1].value, v.value);
    EXPECT_EQ(image.GetColor(W + 1, H).value, TestFixture::At(W + 1, H).value);
    EXPECT_FALSE(copy.SetLine(3, width, values.data(), S));
    EXPECT_FALSE(copy.SetColumn(width, 0, values.data(), S));
    EXPECT_FALSE(copy.SetColumn(0, height, values.data(), S));
}

TEST(KXImage, TileLimit)
{
    EXPECT_EQ(DistinctTiles(Image(128000, 128000)), 1u); // exactly 1,000,000 tiles
    EXPECT_EQ(Thrown<std::bad_alloc>([] { Image(128001, 128000); }), "bad allocation");
    EXPECT_THROW((KXImage<KXRGBA64i, 128, 64>(128000, 64001)), std::bad_alloc);
}

TEST(KXImage, PixelAccessOutOfRange)
{
    Image image(300, 200);
    for (const QPoint p : {QPoint(-1, 0), QPoint(0, -1), QPoint(300, 0), QPoint(0, 200), QPoint(-1000000, 5)}) {
        EXPECT_EQ(Thrown<std::out_of_range>([&] { (void)image.GetColor(p.x(), p.y()); }), "KXImage::GetColor")
            << p.x() << "," << p.y();
        EXPECT_EQ(Thrown<std::out_of_range>([&] { image.SetColor(p.x(), p.y(), KXRGBA32i(1u)); }), "KXImage::SetColor")
            << p.x() << "," << p.y();
    }
    EXPECT_EQ(DistinctTiles(image), 4u) << "a refused write detaches nothing";
}

TEST(KXImage, ExhaustionWhileWritingKeepsTheImage)
{
    Image image(300, 200);
    Image copy(image);
    VQTileManager64* tm = VQTileManager64::Instance();
    QList<void*> all = tm->MakeTiles(static_cast<unsigned int>(tm->GetAvailableCount() - 1));
    all.append(tm->MakeTile());
    EXPECT_THROW(copy.SetColor(0, 0, KXRGBA32i(5u)), std::bad_alloc);
    EXPECT_THROW(copy.Fill(KXRGBA32i(5u)), std::bad_alloc);
    EXPECT_THROW(Image(10, 10), std::bad_alloc);
    tm->CleanUpTiles(all);
    EXPECT_EQ(copy.Tile(0, 0)->data(), image.Tile(0, 0)->data());
    EXPECT_EQ(DistinctTiles(copy), 4u);
}

TEST(KXImage, CopyTilesSharesRectangles)
{
    // Source 4 x 3 tiles, each tile marked with its own value.
    Image source(512, 384);
    for (unsigned int row = 0; row < 3; ++row)
        for (unsigned int column = 0; column < 4; ++column)
            source.SetColor(column * 128, row * 128, KXRGBA32i(0xFF000000u | (row << 4) | column));

    struct Case {
        QRect tiles;
        QPoint at;
        // Destination tile -> expected source tile marks (0 = untouched).
        std::vector<std::pair<QPoint, unsigned int>> expected;
    } cases[] = {
        // Plain 2 x 1 rectangle.
        {QRect(1, 1, 2, 1), QPoint(0, 0), {{{0, 0}, 0xFF000011u}, {{1, 0}, 0xFF000012u}, {{2, 0}, 0}}},
        // Negative top-left: the destination moves along.
        {QRect(-1, -1, 3, 3), QPoint(0, 0), {{{1, 1}, 0xFF000000u}, {{2, 1}, 0xFF000001u}, {{0, 0}, 0}}},
        // Negative destination: the part before 0 is skipped.
        {QRect(0, 0, 2, 2), QPoint(-1, -1), {{{0, 0}, 0xFF000011u}, {{1, 0}, 0}}},
        // Larger than both grids: clipped to the source and the destination.
        {QRect(0, 0, 10, 10), QPoint(1, 0), {{{1, 0}, 0xFF000000u}, {{2, 1}, 0xFF000011u}, {{0, 0}, 0}}},
        // Offsets beyond the int range: source column 3 (row 2) would land
        // 2^32 tiles on, far outside, not on column (row) 0.
        {QRect(QPoint(INT_MIN + 2, 0), QPoint(3, 0)), QPoint(INT_MAX, 0), {{{0, 0}, 0}}},
        {QRect(QPoint(0, INT_MIN + 1), QPoint(0, 2)), QPoint(0, INT_MAX), {{{0, 0}, 0}}},
        // The whole int range on both sides: the grids overlap tile for tile.
        {QRect(QPoint(INT_MIN, INT_MIN), QPoint(INT_MAX, INT_MAX)), QPoint(INT_MIN, INT_MIN),
         {{{0, 0}, 0xFF000000u}, {{2, 1}, 0xFF000012u}}},
    };
    for (const Case& c : cases) {
        Image destination(384, 256);
        const long long before = Available();
        CopyTiles(destination, source, c.tiles, c.at);
        EXPECT_GE(Available(), before) << "no block is made";
        for (const auto& e : c.expected)
            EXPECT_EQ(destination.GetColor(e.first.x() * 128, e.first.y() * 128).value, e.second)
                << "rect " << c.tiles.x() << "," << c.tiles.y() << " tile " << e.first.x() << "," << e.first.y();
    }
    // Sharing means the records are the same, and writing detaches again.
    Image destination(384, 256);
    CopyTiles(destination, source, QRect(0, 0, 1, 1), QPoint(2, 1));
    EXPECT_EQ(destination.Tile(2, 1)->data(), source.Tile(0, 0)->data());
    destination.SetColor(300, 200, KXRGBA32i(9u));
    EXPECT_EQ(source.GetColor(44, 72), KXRGBA32i());
}
