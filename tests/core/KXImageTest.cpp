#include "KXImage.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>

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

TEST(KXImage, GridOfTheFiveForms)
{
    struct Case {
        unsigned int width, height, columns, rows;
    };
    const Case wide[] = {{300, 200, 3, 2}, {128, 128, 1, 1}, {1, 1, 1, 1}, {0, 50, 0, 1}, {129, 0, 2, 0}};
    for (const Case& c : wide) {
        Image image(c.width, c.height);
        EXPECT_EQ(image.TileColumns(), c.columns);
        EXPECT_EQ(image.TileRows(), c.rows);
        EXPECT_EQ(image.TileCount(), c.columns * c.rows);
        EXPECT_EQ(image.Rect(), QRect(0, 0, c.width, c.height));
    }
    KXImage<KXCMYKA, 128, 64> cmyk(128, 65);
    EXPECT_EQ(cmyk.TileColumns(), 1u);
    EXPECT_EQ(cmyk.TileRows(), 2u);
    KXImage<KXRGBA64i, 128, 64> wide16(300, 200);
    EXPECT_EQ(wide16.TileRows(), 4u);
    KXImage<KXRGBA64f, 128, 64> half(1, 1);
    EXPECT_EQ(half.TileCount(), 1u);
    KXImage<KXHSLA, 128, 64> hsl(256, 128);
    EXPECT_EQ(DistinctTiles(hsl), 1u);

    Image empty(0, 10);
    EXPECT_EQ(empty.Tile(0, 0), nullptr);
    empty.Fill(KXRGBA32i(0xFFFFFFFFu)); // nothing to do
    EXPECT_EQ(empty.TileCount(), 0u);
}

TEST(KXImage, NewImageHoldsAtMostFourBlocksWithZeroMargins)
{
    const long long before = Available();
    {
        Image image(300, 200);
        EXPECT_EQ(Available(), before - 4);
        EXPECT_EQ(DistinctTiles(image), 4u);
        // Interior, right edge, bottom edge and corner records.
        EXPECT_EQ(TileRecord(image, 0, 0), TileRecord(image, 1, 0));
        EXPECT_NE(TileRecord(image, 0, 0), TileRecord(image, 2, 0));
        EXPECT_NE(TileRecord(image, 0, 1), TileRecord(image, 2, 1));

        image.Fill(KXRGBA32i(0xFF102030u));
        EXPECT_EQ(Available(), before - 4);
        EXPECT_EQ(image.GetColor(299, 199), KXRGBA32i(0xFF102030u));
        EXPECT_EQ(image.GetColor(0, 0), KXRGBA32i(0xFF102030u));
        // Margin pixels of the corner tile stay 0.
        auto corner = image.ReadTile(2, 1);
        const unsigned int inX = 299 % 128, inY = 199 % 128;
        EXPECT_EQ(corner[inY * 128 + inX], KXRGBA32i(0xFF102030u));
        EXPECT_EQ(corner[inY * 128 + inX + 1], KXRGBA32i());
        EXPECT_EQ(corner[(inY + 1) * 128 + inX], KXRGBA32i());
        EXPECT_EQ(corner[127 * 128 + 127], KXRGBA32i());
    }
    EXPECT_EQ(Available(), before);

    Image aligned(256, 384);
    EXPECT_EQ(Available(), before - 1);
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

TEST(KXImage, CopiesShareAndWritesDetachExactlyOneTile)
{
    Image original(300, 200);
    original.SetColor(5, 5, KXRGBA32i(0xFF0000FFu)); // detaches tile (0, 0)
    original.extra1 = 7;
    original.exif << VQEXIFElement(VQEXIFElement::Type(1), 300);
    const long long before = Available();

    Image copy(original);
    EXPECT_EQ(Available(), before) << "a copy costs no block";
    EXPECT_EQ(copy.extra1, 7);
    EXPECT_EQ(copy.exif.size(), 1);
    for (unsigned int row = 0; row < 2; ++row)
        for (unsigned int column = 0; column < 3; ++column)
            EXPECT_EQ(TileRecord(copy, column, row), TileRecord(original, column, row));

    copy.SetColor(200, 150, KXRGBA32i(0x80FFFFFFu)); // in tile (1, 1)
    EXPECT_EQ(Available(), before - 1);
    EXPECT_EQ(original.GetColor(200, 150), KXRGBA32i());
    EXPECT_EQ(copy.GetColor(200, 150), KXRGBA32i(0x80FFFFFFu));
    EXPECT_EQ(copy.GetColor(5, 5), KXRGBA32i(0xFF0000FFu));
    EXPECT_NE(TileRecord(copy, 1, 1), TileRecord(original, 1, 1));
    EXPECT_EQ(TileRecord(copy, 0, 1), TileRecord(original, 0, 1));

    // A second write to the now exclusive tile costs nothing.
    copy.SetColor(201, 150, KXRGBA32i(1u));
    EXPECT_EQ(Available(), before - 1);
    // Reading never detaches.
    (void)original.GetColor(200, 150);
    (void)copy.ReadTile(2, 1);
    EXPECT_EQ(Available(), before - 1);

    // Assignment and moves release what they replace.
    Image other(10, 10);
    other = copy;
    EXPECT_EQ(Available(), before - 1);
    Image moved(std::move(other));
    EXPECT_EQ(moved.GetColor(200, 150), KXRGBA32i(0x80FFFFFFu));
    EXPECT_EQ(other.TileCount(), 0u);
    other = original;
    other = other;
    EXPECT_EQ(other.GetColor(5, 5), KXRGBA32i(0xFF0000FFu));
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
