#include "KXImage.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Image = KXImage<KXRGBA32i, 128, 128>;

// A recognisable value for every pixel position.
KXRGBA32i At(unsigned int x, unsigned int y)
{
    return KXRGBA32i(0xFF000000u | (y << 12) | x);
}

Image Pattern(unsigned int width, unsigned int height)
{
    Image image(width, height);
    std::vector<KXRGBA32i> row(width);
    for (unsigned int y = 0; y < height; ++y) {
        for (unsigned int x = 0; x < width; ++x)
            row[x] = At(x, y);
        EXPECT_TRUE(image.SetLine(y, row.data(), width * 4));
    }
    return image;
}

} // namespace

TEST(KXImageLines, WholeRowsRoundTripAndStopAtTheGrid)
{
    Image image = Pattern(300, 140);
    for (unsigned int y : {0u, 127u, 128u, 139u}) {
        std::vector<KXRGBA32i> row(300);
        ASSERT_TRUE(image.GetLine(y, row.data(), 300 * 4));
        for (unsigned int x = 0; x < 300; ++x)
            ASSERT_EQ(row[x], At(x, y)) << x << "," << y;
    }
    // A longer request ends with the last tile's margin (3 tiles of 512 bytes).
    std::vector<KXRGBA32i> longRow(500, KXRGBA32i(0xDEADBEEFu));
    ASSERT_TRUE(image.GetLine(5, longRow.data(), 500 * 4));
    EXPECT_EQ(longRow[299], At(299, 5));
    EXPECT_EQ(longRow[300], KXRGBA32i()); // margin
    EXPECT_EQ(longRow[383], KXRGBA32i());
    EXPECT_EQ(longRow[384], KXRGBA32i(0xDEADBEEFu)); // untouched
    EXPECT_FALSE(image.GetLine(140, longRow.data(), 4));
    EXPECT_FALSE(image.SetLine(140, longRow.data(), 4));
}

TEST(KXImageLines, RowSegments)
{
    Image image = Pattern(300, 130);
    struct Case {
        unsigned int x, y, pixels;
    } cases[] = {
        {0, 0, 10}, {100, 3, 28},   // ends exactly at the tile border
        {100, 3, 29},               // crosses it
        {127, 129, 2}, {250, 64, 50}, // runs to the image edge
        {5, 7, 295},
    };
    for (const Case& c : cases) {
        std::vector<KXRGBA32i> segment(c.pixels);
        ASSERT_TRUE(image.GetLine(c.y, c.x, segment.data(), c.pixels * 4));
        for (unsigned int i = 0; i < c.pixels; ++i)
            ASSERT_EQ(segment[i], At(c.x + i, c.y)) << c.x << "+" << i << "," << c.y;
    }
    // Beyond the last tile column: true, nothing copied.
    std::vector<KXRGBA32i> sentinel(4, KXRGBA32i(7u));
    EXPECT_TRUE(image.GetLine(0, 384, sentinel.data(), 16));
    EXPECT_EQ(sentinel[0], KXRGBA32i(7u));
    EXPECT_FALSE(image.GetLine(130, 0, sentinel.data(), 16));

    // A segment crossing a tile border detaches the two tiles it touches.
    Image copy(image);
    const long long before = VQTileManager64::Instance()->GetAvailableCount();
    std::vector<KXRGBA32i> values(100, KXRGBA32i(0x11223344u));
    ASSERT_TRUE(copy.SetLine(11, 120, values.data(), 20 * 4)); // crosses into tile column 1
    EXPECT_EQ(VQTileManager64::Instance()->GetAvailableCount(), before - 2);
    EXPECT_EQ(copy.GetColor(139, 11), KXRGBA32i(0x11223344u));
    EXPECT_EQ(copy.GetColor(140, 11), At(140, 11));
    EXPECT_FALSE(copy.SetLine(11, 300, values.data(), 4));
    EXPECT_FALSE(copy.SetLine(130, 0, values.data(), 4));
}

TEST(KXImageLines, ColumnSegments)
{
    Image image = Pattern(140, 300);
    struct Case {
        unsigned int x, y, pixels;
    } cases[] = {{0, 0, 300}, {139, 120, 8}, {139, 120, 9}, {130, 250, 50}, {64, 127, 129}};
    for (const Case& c : cases) {
        std::vector<KXRGBA32i> segment(c.pixels);
        ASSERT_TRUE(image.GetColumn(c.x, c.y, segment.data(), c.pixels * 4));
        for (unsigned int i = 0; i < c.pixels; ++i)
            ASSERT_EQ(segment[i], At(c.x, c.y + i)) << c.x << "," << c.y << "+" << i;
    }
    // A request past the last row ends at the tile margin.
    std::vector<KXRGBA32i> longer(200, KXRGBA32i(9u));
    ASSERT_TRUE(image.GetColumn(3, 250, longer.data(), 200 * 4));
    EXPECT_EQ(longer[49], At(3, 299));
    EXPECT_EQ(longer[50], KXRGBA32i());
    EXPECT_EQ(longer[133], KXRGBA32i());
    EXPECT_EQ(longer[134], KXRGBA32i(9u));
    EXPECT_FALSE(image.GetColumn(140, 0, longer.data(), 4));
    EXPECT_FALSE(image.GetColumn(0, 300, longer.data(), 4));

    Image copy(image);
    const long long before = VQTileManager64::Instance()->GetAvailableCount();
    std::vector<KXRGBA32i> values(150, KXRGBA32i(0xCAFEu));
    ASSERT_TRUE(copy.SetColumn(129, 100, values.data(), 150 * 4)); // tile rows 0, 1
    EXPECT_EQ(VQTileManager64::Instance()->GetAvailableCount(), before - 2);
    EXPECT_EQ(copy.GetColor(129, 249), KXRGBA32i(0xCAFEu));
    EXPECT_EQ(copy.GetColor(129, 250), At(129, 250));
    EXPECT_EQ(copy.GetColor(128, 100), At(128, 100));
    EXPECT_EQ(image.GetColor(129, 100), At(129, 100));
    EXPECT_FALSE(copy.SetColumn(140, 0, values.data(), 4));
}
