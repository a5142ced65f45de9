#include "KXImage.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
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

template <class I>
const void* TileRecord(const I& image, unsigned int column, unsigned int row)
{
    return image.Tile(column, row)->data();
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
        EXPECT_EQ(image.TileCount(), c.columns * c.rows);
        EXPECT_EQ(image.Rect(), QRect(0, 0, c.width, c.height));
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
        EXPECT_EQ(TileRecord(image, 0, 0), TileRecord(image, 1, 0));
        EXPECT_NE(TileRecord(image, 0, 0), TileRecord(image, 2, 0));
        EXPECT_NE(TileRecord(image, 0, 1), TileRecord(image, 2, 1));
        EXPECT_NE(TileRecord(image, 0, 1), TileRecord(image, 0, 0));

        const auto v = TestFixture::Value(3);
        image.Fill(v);
        EXPECT_EQ(Available(), before - 4);
        const unsigned int lastX = image.Width() - 1, lastY = image.Height() - 1;
        EXPECT_EQ(image.GetColor(0, 0).value, v.value);
        EXPECT_EQ(image.GetColor(lastX, 0).value, v.value);
        EXPECT_EQ(image.GetColor(0, lastY).value, v.value);
        EXPECT_EQ(image.GetColor(lastX, lastY).value, v.value);
        const unsigned int inX = lastX % W, inY = lastY % H;
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
    original.extra1 = 7;
    const long long before = Available();

    TypeParam copy(original);
    EXPECT_EQ(Available(), before);
    EXPECT_EQ(copy.extra1, 7);
    for (unsigned int row = 0; row < 2; ++row)
        for (unsigned int column = 0; column < 3; ++column)
            EXPECT_EQ(TileRecord(copy, column, row), TileRecord(original, column, row));

    const int x = W + 3, y = H + 2; // in tile (1, 1)
    copy.SetColor(x, y, TestFixture::Value(7));
    EXPECT_EQ(Available(), before - 1);
    EXPECT_EQ(original.GetColor(x, y).value, 0u);
    EXPECT_EQ(copy.GetColor(x, y).value, TestFixture::Value(7).value);
    EXPECT_EQ(copy.GetColor(5, 5).value, TestFixture::Value(5).value) << "the copy's tile kept its pixels";
    EXPECT_NE(TileRecord(copy, 1, 1), TileRecord(original, 1, 1));
    EXPECT_EQ(TileRecord(copy, 0, 1), TileRecord(original, 0, 1));

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
    EXPECT_EQ(other.TileCount(), 0u);
    other = original;
    other = other;
    EXPECT_EQ(other.GetColor(5, 5).value, TestFixture::Value(5).value);
}

// Rows and columns written across tile borders read back whole; a row
// written into the margin detaches only the tiles it touches.
TYPED_TEST(KXImageForms, LinesCrossTileBordersAndMargins)
{
    using Pixel = typename TestFixture::Pixel;
    constexpr unsigned int W = TestFixture::W, H = TestFixture::H;
    TypeParam image(2 * W + 10, 2 * H + 10);
    std::vector<Pixel> row(image.Width()), column(image.Height());
    for (unsigned int i = 0; i < row.size(); ++i)
        row[i] = TestFixture::Value(i + 1);
    for (unsigned int i = 0; i < column.size(); ++i)
        column[i] = TestFixture::Value(1000 + i);
    ASSERT_TRUE(image.SetLine(H, row.data(), image.Width() * sizeof(Pixel)));
    ASSERT_TRUE(image.SetColumn(W, 0, column.data(), image.Height() * sizeof(Pixel)));
    for (unsigned int x : {0u, W - 1, W + 1, 2 * W + 9})
        EXPECT_EQ(image.GetColor(x, H).value, row[x].value) << x;
    for (unsigned int y : {0u, H - 1, H, H + 1, 2 * H + 9})
        EXPECT_EQ(image.GetColor(W, y).value, column[y].value) << y;
    std::vector<Pixel> back(column.size());
    ASSERT_TRUE(image.GetColumn(W, 0, back.data(), image.Height() * sizeof(Pixel)));
    for (unsigned int y = 0; y < back.size(); ++y)
        ASSERT_EQ(back[y].value, column[y].value) << y;

    TypeParam copy(image);
    const long long before = Available();
    std::vector<Pixel> tail(W, TestFixture::Value(77));
    ASSERT_TRUE(copy.SetLine(3, 2 * W + 5, tail.data(), (W - 5) * sizeof(Pixel))); // to the margin's end
    EXPECT_EQ(Available(), before - 1);
    EXPECT_EQ(copy.GetColor(2 * W + 9, 3).value, TestFixture::Value(77).value);
    EXPECT_EQ(image.GetColor(2 * W + 9, 3).value, 0u);
    EXPECT_FALSE(copy.SetLine(3, 3 * W, tail.data(), sizeof(Pixel)));
    EXPECT_FALSE(copy.SetLine(image.Height(), 0, tail.data(), sizeof(Pixel)));
}

TEST(KXImage, TileLimit)
{
    {
        Image largest(128000, 128000); // exactly 1,000,000 tiles
        EXPECT_EQ(largest.TileCount(), 1000000u);
        EXPECT_EQ(DistinctTiles(largest), 1u);
    }
    try {
        Image tooLarge(128001, 128000);
        ADD_FAILURE() << "no exception";
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "bad allocation");
    }
    EXPECT_THROW((KXImage<KXRGBA64i, 128, 64>(128000, 64001)), std::bad_alloc);
}

TEST(KXImage, CopiesCarryProfileAndExif)
{
    Image original(3, 3);
    original.exif << VQEXIFElement(VQEXIFElement::Type(1), 300);
    original.extra2 = 9;
    const Image copy(original);
    EXPECT_EQ(copy.exif.size(), 1);
    EXPECT_EQ(copy.extra2, 9);
}

TEST(KXImage, PixelAccessOutOfRange)
{
    Image image(300, 200);
    const struct {
        int x, y;
    } outside[] = {{-1, 0}, {0, -1}, {300, 0}, {0, 200}, {-1000000, 5}};
    for (const auto& p : outside) {
        try {
            (void)image.GetColor(p.x, p.y);
            ADD_FAILURE() << "GetColor(" << p.x << ", " << p.y << ")";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "KXImage::GetColor");
        }
        try {
            image.SetColor(p.x, p.y, KXRGBA32i(1u));
            ADD_FAILURE() << "SetColor(" << p.x << ", " << p.y << ")";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "KXImage::SetColor");
        }
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
    EXPECT_EQ(copy.GetColor(0, 0), KXRGBA32i());
    EXPECT_EQ(TileRecord(copy, 0, 0), TileRecord(image, 0, 0));
    EXPECT_EQ(DistinctTiles(copy), 4u);
}

TEST(KXImage, CopyTilesSharesRectangles)
{
    // Source 4 x 3 tiles, each tile marked with its own value.
    Image source(512, 384);
    for (unsigned int row = 0; row < 3; ++row)
        for (unsigned int column = 0; column < 4; ++column)
            source.SetColor(column * 128, row * 128, KXRGBA32i(0xFF000000u | (row << 4) | column));
    auto mark = [](const Image& image, unsigned int column, unsigned int row) {
        return image.GetColor(column * 128, row * 128).value;
    };

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
            EXPECT_EQ(mark(destination, e.first.x(), e.first.y()), e.second)
                << "rect " << c.tiles.x() << "," << c.tiles.y() << " tile " << e.first.x() << "," << e.first.y();
    }
    // Sharing means the records are the same, and writing detaches again.
    Image destination(384, 256);
    CopyTiles(destination, source, QRect(0, 0, 1, 1), QPoint(2, 1));
    EXPECT_EQ(TileRecord(destination, 2, 1), TileRecord(source, 0, 0));
    destination.SetColor(300, 200, KXRGBA32i(9u));
    EXPECT_EQ(source.GetColor(44, 72), KXRGBA32i());
}
