#include "KXBlendModes.h"
#include "KXImagePainter.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using MaskFunction = void (*)(KXImageRGBA32i&, const KXImageRGBA32i&);

std::vector<uint32_t> Row(const KXImageRGBA32i& image, unsigned int y)
{
    std::vector<uint32_t> row(image.Width());
    image.GetLine(y, row.data(), image.Width() * 4);
    return row;
}

} // namespace

// A 130 x 1 source: two tiles across, the second with two pixels in its
// first row. Luminance (16 g + 11 r + 5 b) >> 5: white 8160 >> 5 = 255,
// red 2805 >> 5 = 87, green 4080 >> 5 = 127, blue 1275 >> 5 = 39.
TEST(KXLayerMask, EveryFunctionOnATwoTileSource)
{
    KXImageRGBA32i source(130, 1);
    source.Fill(KXRGBA32i(0xFF00FF00u)); // opaque green
    source.SetColor(0, 0, KXRGBA32i(0xFFFFFFFFu));
    source.SetColor(1, 0, KXRGBA32i(0x80FF0000u));
    source.SetColor(128, 0, KXRGBA32i(0x100000FFu));
    source.SetColor(129, 0, KXRGBA32i(0x00FFFFFFu));
    struct Case {
        const char* name;
        MaskFunction create;
        uint32_t at0, at1, middle, at128, at129;
    } cases[] = {
        {"hide all", &CreateHideAllMask, 0, 0, 0, 0, 0},
        {"reveal all", &CreateRevealAllMask, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000},
        {"transparency", &CreateFromTransparancyMask, 0xFF000000, 0x80000000, 0xFF000000, 0x10000000, 0},
        {"source luminance", &CreateFromSourceMask, 0xFF000000, 0x57000000, 0x7F000000, 0x27000000, 0xFF000000},
    };
    for (const Case& c : cases) {
        KXImageRGBA32i mask(7, 7);
        mask.Fill(KXRGBA32i(0x12345678u));
        c.create(mask, source);
        ASSERT_EQ(QSize(int(mask.Width()), int(mask.Height())), QSize(130, 1)) << c.name;
        const std::vector<uint32_t> row = Row(mask, 0);
        // The second tile's margin stays 0: beyond column 129 and below row 0.
        const KXTileAccess<const KXRGBA32i> tile = mask.ReadTile(1, 0);
        EXPECT_EQ(std::vector<uint32_t>({row[0], row[1], row[64], row[128], row[129], tile[2].value, tile[128].value}),
                  std::vector<uint32_t>({c.at0, c.at1, c.middle, c.at128, c.at129, 0, 0}))
            << c.name;
    }
}

// Full tiles are made to their last row and column.
TEST(KXLayerMask, DerivedMasksFillWholeTiles)
{
    KXImageRGBA32i source(128, 129);
    source.Fill(KXRGBA32i(0x80FFFFFFu));
    KXImageRGBA32i mask;
    CreateFromTransparancyMask(mask, source);
    EXPECT_EQ(mask.GetColor(127, 127).value, 0x80000000u);
    CreateFromSourceMask(mask, source);
    EXPECT_EQ(mask.GetColor(127, 127).value, 0xFF000000u); // white: 8160 >> 5 = 255
    EXPECT_EQ(mask.GetColor(127, 128).value, 0xFF000000u);
}

// The mask becomes a new image: no profile, attributes or EXIF of before.
// Fills share their blocks: a large revealed mask holds four.
TEST(KXLayerMask, EmptySourceGivesEmptyMaskNothingIsKeptAndFillsShareBlocks)
{
    for (MaskFunction create : {&CreateHideAllMask, &CreateRevealAllMask, &CreateFromTransparancyMask,
                                &CreateFromSourceMask}) {
        KXImageRGBA32i mask(300, 300);
        mask.extra1 = 5;
        mask.exif << VQEXIFElement(VQEXIFElement::Type(1), 300);
        create(mask, KXImageRGBA32i());
        EXPECT_EQ(mask.TileCount(), 0u);
        EXPECT_EQ(mask.extra1, 0);
        EXPECT_TRUE(mask.exif.isEmpty());
    }
    const long long before = VQTileManager64::Instance()->GetAvailableCount();
    KXImageRGBA32i mask;
    CreateRevealAllMask(mask, KXImageRGBA32i(1000, 700));
    EXPECT_EQ(VQTileManager64::Instance()->GetAvailableCount(), before - 4);
}

// Exhaustion: logged with the painter's file name, not passed on; the mask
// is left as it was.
TEST(KXLayerMask, FailureIsLoggedAndSwallowed)
{
    KXImageRGBA32i source(300, 300);
    KXImageRGBA32i mask(10, 10);
    mask.Fill(KXRGBA32i(0x11223344u));
    VQTileManager64* tm = VQTileManager64::Instance();
    QList<void*> all = tm->MakeTiles(static_cast<unsigned int>(tm->GetAvailableCount() - 1));
    all.append(tm->MakeTile());
    KXTest::LogCapture log;
    EXPECT_NO_THROW(CreateFromSourceMask(mask, source));
    tm->CleanUpTiles(all);
    ASSERT_EQ(log.Messages().size(), 1);
    EXPECT_TRUE(log.Messages()[0].endsWith("file=\"src/KXImagePainter\". Exception content:\"bad allocation\""))
        << log.Messages()[0].toStdString();
    EXPECT_EQ(mask.GetColor(9, 9).value, 0x11223344u);
}
