// The arithmetic of every blend mode, for tiled and QImage sources, with and
// without a mask. Every expected value is worked out by hand from the mode's
// formula (the working is in the comments).

#include "KXBlendModes.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// Rows of 21 equal pixels: long enough for the multi-pixel paths and a tail.
constexpr unsigned int kRow = 21;

std::string Hex(uint32_t v)
{
    std::ostringstream out;
    out << "0x" << std::hex << v;
    return out.str();
}

KXImageRGBA32i Row(uint32_t value)
{
    KXImageRGBA32i image(kRow, 1);
    image.Fill(KXRGBA32i(value));
    return image;
}

// The one value every pixel of the row holds.
uint32_t Common(const KXImageRGBA32i& image)
{
    std::vector<KXRGBA32i> row(image.Width());
    image.GetLine(0, row.data(), image.Width() * 4);
    for (const KXRGBA32i& p : row)
        EXPECT_EQ(Hex(p.value), Hex(row[0].value)) << "pixels of one row differ";
    return row[0].value;
}

QImage QRow(uint32_t value)
{
    QImage image(kRow, 1, QImage::Format_ARGB32);
    image.fill(value);
    return image;
}

struct ModeCase {
    unsigned int mode;
    bool lock;
    double opacity;
    uint32_t s, d, expected;
    const char* why;
    bool qimage = false; // the source as a QImage row
};

std::string Describe(const ModeCase& c)
{
    return "mode " + std::to_string(c.mode) + (c.lock ? " locked" : "") + " opacity " + std::to_string(c.opacity) +
           " s " + Hex(c.s) + " d " + Hex(c.d) + ": " + c.why;
}

// Opaque pixels s = (r 200, g 60, b 0) and d = (r 100, g 200, b 255): with
// as = d.a = 255 the generic kernel gives B(s, d) itself.
constexpr uint32_t kS = 0xFFC83C00, kD = 0xFF64C8FF;
// The same colours at alpha 128: as = 128, wS = wD = 128 * 127 = 16256,
// wB = 16384, A = (32640 + 16256) / 255 = 191, divisor 48705.
constexpr uint32_t kHalfS = 0x80C83C00, kHalfD = 0x8064C8FF;
// Mode 0 of the half pixels: r (200 * 32640 + 100 * 16256) / 48705 = 167,
// g (60 * 32640 + 200 * 16256) / 48705 = 106, b 255 * 16256 / 48705 = 85.
constexpr uint32_t kHalfNormal = 0xBFA76A55;

// (Locked 2, 6, 8 and 64 change nothing: the placement test sees no tile copied.)
const ModeCase kTiledCases[] = {
    {0, false, 1.0, kS, kD, kS, "opaque source copies colours, alpha 255"},
    {0, false, 1.0, 0x00123456, 0x00ABCDEF, 0x00000000, "transparent on transparent is all zero"},
    {0, false, 1.0, kHalfS, kHalfD, kHalfNormal, "generic kernel"},
    {0, true, 1.0, kHalfS, kHalfD, 0x80A76A55, "colours as unlocked, alpha kept"},
    {12, false, 1.0, 0xFF808080, 0xFF808080, 0xFFFFFFFF, "128 + 128 clamps at the end"},
    // r (200 + 100) * 16256 + 300 * 16384 = 9792000 / 48705 = 201;
    // g 4226560 + 260 * 16384 = 8486400 / 48705 = 174; b 8323200 / 48705 = 170.
    {12, false, 1.0, kHalfS, kHalfD, 0xBFC9AEAA, "sum up to 510 weighted before clamping"},
    // Terms 20000/255 = 78, 12000/255 = 47, 0: r 4876800 + 78 * 16384 = 6154752
    // / 48705 = 126; g 4226560 + 47 * 16384 = 4996608 / 48705 = 102; b 4145280 / 48705 = 85.
    {13, false, 1.0, kHalfS, kHalfD, 0xBF7E6655, "generic kernel with a blend term"},
    {14, false, 1.0, kS, kD, 0xFFDED6FF, "255 - (55*155 >> 8) = 222, 255 - (195*55 >> 8) = 214, 255"},
    {15, false, 1.0, kS, kD, 0xFF9CABFF, "d 100: 40000/255 = 156; d 200: 255 - 21450/255 = 171; 255"},
    {16, false, 1.0, kS, kD, 0xFF643C00, "minimum"},
    {17, false, 1.0, kS, kD, 0xFFC8C8FF, "maximum"},
    {18, false, 1.0, 0xFF64FF00, 0xFF3264FF, 0xFF52FFFF, "50*255/155 = 82; s 255 gives 255; s 0: 255"},
    {19, false, 1.0, kS, kD, 0xFF391500, "255 - 198 (toward zero) = 57; 255 - 234 = 21; s 0 gives 0"},
    {20, false, 1.0, kS, kD, 0xFFBD5E00, "255 - 17050/255 = 189; 24000/255 = 94; 0"},
    // g = s/2 + 64: r g=164, 328 * (100/255) = 128.63; g g=94, 255 - 322 * 55 / 255
    // = 185.55; b g=64, d 255: 255.
    {21, false, 1.0, kS, kD, 0xFF80B9FF, "single precision soft light, truncated"},
    {22, false, 1.0, kS, kD, 0xFF648CFF, "absolute difference"},
    {23, false, 1.0, kS, kD, 0xFF90A6FF, "300 - 156 = 144, 260 - 94 = 166, 255"},
    {2, false, 0.5, 0x02FFFFFF, 0xFF112233, 0x00112233, "2 * 128 = 256 > 255 clears"},
    {2, false, 255.0 / 256.0, 0x01FFFFFF, 0xFF112233, 0xFF112233, "1 * 255 is not above 255"},
    {3, false, 0.5, 0x80AABBCC, 0xFF000000, 0x40AABBCC, "copy, alpha 128 * 128 >> 8 = 64"},
    {3, true, 0.5, 0x80AABBCC, 0x33000000, 0x33AABBCC, "locked: colours without opacity"},
    {6, false, 1.0, 0x80000000, 0xC8123456, 0x64123456, "128 * 200 / 255 = 100"},
    {8, false, 1.0, 0x80000000, 0xC8123456, 0x63123456, "127 * 200 / 255 = 99"},
    {24, false, 1.0, 0x80F0F000, 0x0F0F0F0F, 0x8FFFFF0F, "OR, alpha OR as"},
    {24, true, 1.0, 0x80F0F000, 0x0F0F0F0F, 0x0FFFFF0F, "locked: colours only"},
    {25, false, 1.0, 0x80FFF000, 0xFF0F0F0F, 0x800F0000, "AND"},
    {31, false, 1.0, 0x80FFF000, 0xFF0F0F0F, 0x7F000F0F, "AND NOT"},
    // grey(white) = 255: (64 * 127 * 255 + 255 * 128 * 255) / 65025 = 159.
    {64, false, 1.0, 0x80FFFFFF, 0x40123456, 0x9F123456, "alpha toward source luminance"},
    {88, false, 1.0, 0x80123456, 0x40ABCDEF, 0xFF808080, "colours := as, opaque"},
    {88, true, 0.5, 0x80123456, 0x40ABCDEF, 0x40404040, "locked: colours := 128 * 128 >> 8"},
    {89, false, 0.5, 0x10FF0000, 0x40ABCDEF, 0xFF575757, "grey(red) = 2805 >> 5 = 87, no opacity"},
    {89, false, 1.0, 0x00FF0000, 0x40ABCDEF, 0xFFFFFFFF, "transparent source: white"},
    {89, true, 1.0, 0x10FF0000, 0x40ABCDEF, 0x40575757, "locked: alpha kept"},
    // Ld = (1100 + 3200 + 1275) >> 5 = 174, L = 255: 255 - 74, 255 + 26, 255 + 81.
    {90, false, 1.0, 0xFFFFFFFF, kD, 0xFFB5FFFF, "luminosity, clamped"},
    // as = 128: L = 127 * 174 / 255 = 86; r 86 + (-74 * 128 / 255 = -37) = 49,
    // g 86 + 13 = 99, b 86 + 40 = 126; alpha kept.
    {90, false, 1.0, 0x80000000, kHalfD, 0x8031637E, "differences scaled by d.a, toward zero"},
    {90, true, 0.5, 0x80000000, kHalfD, 0x8031637E, "locked: s.a instead of as"},
    {90, true, 1.0, 0x00000000, kHalfD, 0x80FFFFFF, "locked, transparent source: white"},
    {91, false, 0.5, 0x80AABBCC, 0xFF000000, 0x40AABBCC, "copy where covered, alpha as"},
    {91, false, 1.0, 0x00AABBCC, 0xFF123456, 0xFF123456, "not covered: unchanged"},
    {91, true, 0.5, 0x80AABBCC, 0x33000000, 0x33AABBCC, "locked: colours"},
    {92, false, 0.5, 0x01000000, 0xC8123456, 0x63123456, "(128*255 >> 8) = 127, 127 * 200 / 255 = 99"},
    {93, false, 0.5, 0x64000000, 0xC8123456, 0xFF123456, "200 + 100 clamps, no opacity"},
    {94, false, 0.5, 0x64000000, 0xF0123456, 0x64123456, "minimum 100 (not 240 - 100)"},
    {95, false, 1.0, 0xFA000000, 0xC8123456, 0x00123456, "200 - 250 stops at 0"},
    // QImage sources. The copy rule: where d.a = 0 the source pixel is taken
    // whole, its own alpha and no opacity.
    {0, false, 0.5, 0x40AABBCC, 0x00000000, 0x40AABBCC, "transparent destination takes s whole", true},
    {0, false, 1.0, kHalfS, kHalfD, kHalfNormal, "generic kernel elsewhere", true},
    {2, true, 1.0, kHalfS, kHalfD, kHalfNormal, "locked 2: normal with alpha", true},
    {3, false, 0.5, 0x80AABBCC, 0xFF000000, 0x40AABBCC, "copy, alpha as", true},
    {90, false, 0.5, 0x80AABBCC, 0xFF000000, 0x40AABBCC, "90 copies like 3", true},
    {90, true, 0.5, 0x80AABBCC, 0x33000000, 0x33AABBCC, "locked 90: colours", true},
    {6, false, 1.0, 0x80000000, 0xC8123456, 0x64123456, "destination in", true},
    {8, false, 1.0, 0x80000000, 0xC8123456, 0x63123456, "destination out", true},
    {21, true, 1.0, kS, kD, 0xFF80B9FF, "soft light, locked", true},
    {64, false, 1.0, kHalfS, kHalfD, kHalfNormal, "64 is not supported: normal", true},
};

const unsigned int kUnsupported[] = {1, 4, 5, 7, 9, 10, 11, 26, 27, 28, 29, 30, 32, 63, 65, 87, 96, 1000};

} // namespace

// A mask without pixels, revealed, is BlendOn itself, for every mode.
TEST(KXBlendModes, SourceArithmetic)
{
    const KXImageRGBA32i none;
    for (const ModeCase& c : kTiledCases) {
        KXImageRGBA32i dst = Row(c.d), masked = dst;
        if (c.qimage) {
            BlendOn(QRow(c.s), QRect(0, 0, kRow, 1), c.mode, dst, dst.Rect(), c.opacity, c.lock);
            EXPECT_EQ(Hex(Common(dst)), Hex(c.expected)) << "qimage, " << Describe(c);
            continue;
        }
        const KXImageRGBA32i src = Row(c.s);
        BlendOn(src, src.Rect(), c.mode, dst, dst.Rect(), c.opacity, c.lock);
        EXPECT_EQ(Hex(Common(dst)), Hex(c.expected)) << Describe(c);
        BlendMaskOn(src, src.Rect(), c.mode, masked, masked.Rect(), c.opacity, none, QRect(0, 0, 5, 5), true, c.lock);
        EXPECT_EQ(Hex(Common(masked)), Hex(c.expected)) << "empty revealed mask, " << Describe(c);
    }
}

// Unsupported numbers blend as normal with the alpha composed, locked or
// not; so do the alpha modes 92 … 95 when locked. Opacity 0 and below 1/256
// leave every mode alone.
TEST(KXBlendModes, UnsupportedModesBlendAsNormalAndZeroOpacityChangesNothing)
{
    std::vector<std::pair<unsigned int, bool>> cases = {{92, true}, {93, true}, {94, true}, {95, true}};
    for (unsigned int mode : kUnsupported)
        cases.insert(cases.end(), {{mode, false}, {mode, true}});
    const KXImageRGBA32i src = Row(kHalfS);
    for (const auto& c : cases) {
        KXImageRGBA32i dst = Row(kHalfD);
        BlendOn(src, src.Rect(), c.first, dst, dst.Rect(), 1.0, c.second);
        EXPECT_EQ(Hex(Common(dst)), Hex(kHalfNormal)) << "mode " << c.first << " lock " << c.second;
    }
    for (unsigned int mode = 0; mode < 100; ++mode)
        for (double opacity : {0.0, 0.003, -1.0}) {
            KXImageRGBA32i dst = Row(kHalfD);
            BlendOn(src, src.Rect(), mode, dst, dst.Rect(), opacity, false);
            EXPECT_EQ(Hex(Common(dst)), Hex(kHalfD)) << "mode " << mode << " opacity " << opacity;
        }
}

TEST(KXBlendModes, QImageOfAnotherFormatIsLoggedAndIgnored)
{
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_Invalid}) {
        QImage src = format == QImage::Format_Invalid ? QImage() : QImage(kRow, 1, format);
        if (!src.isNull())
            src.fill(0xFFFFFFFFu);
        KXImageRGBA32i dst = Row(0x80123456);
        const KXImageRGBA32i mask = Row(0xFF000000);
        KXTest::LogCapture log;
        BlendOn(src, QRect(0, 0, kRow, 1), 0, dst, dst.Rect(), 1.0, false);
        BlendMaskOn(src, QRect(0, 0, kRow, 1), 0, dst, dst.Rect(), 1.0, mask, mask.Rect(), true, false);
        EXPECT_EQ(Hex(Common(dst)), Hex(0x80123456));
        ASSERT_EQ(log.Messages().size(), 2);
        for (const QString& line : log.Messages()) {
            EXPECT_TRUE(line.endsWith(QString("file=\"src/KXImage\". Wrong input qimage format %1").arg(int(format))))
                << line.toStdString();
        }
    }
}

namespace {

struct MaskCase {
    unsigned int mode;
    bool lock;
    double opacity;
    uint32_t s, d, m, expected;
    const char* why;
    bool qimage = false;
};

// A source opaque white at opacity 0.5 under mask alpha 128: the two masked
// alphas differ: nested 128 * (255 * 128 >> 8 = 127) / 255 = 63, product
// 255 * 128 * 128 / 65280 = 64.
const MaskCase kMaskCases[] = {
    {0, false, 0.5, 0xFFFFFFFF, 0xFF000000, 0x80000000, 0xFF3F3F3F, "unlocked 0 uses the nested alpha 63"},
    {0, true, 0.5, 0xFFFFFFFF, 0xFF000000, 0x80000000, 0xFF404040, "locked 0 uses the product alpha 64"},
    {0, false, 0.5, 0xFFFFFFFF, 0x00000000, 0x80000000, 0x3FFFFFFF, "over transparent: alpha = as"},
    {3, false, 0.5, 0xFFAABBCC, 0x00000000, 0x80000000, 0x40AABBCC, "copy, alpha product 64"},
    {3, true, 0.5, 0xFFAABBCC, 0x11000000, 0x00000000, 0x11AABBCC, "locked: colours, mask unused"},
    {8, false, 0.5, 0xFF000000, 0xC8123456, 0x80000000, 0x95123456, "(255 - 64) * 200 / 255 = 149"},
    {8, true, 0.5, 0xFF000000, 0xC8123456, 0x80000000, 0xC8123456, "locked: nothing"},
    // grey 255, nested as 63: (64 * 192 * 255 + 255 * 63 * 255) / 65025 = 111.
    {64, false, 0.5, 0xFFFFFFFF, 0x40123456, 0x80000000, 0x6F123456, "alpha from luminance, nested"},
    {64, true, 0.5, 0xFFFFFFFF, 0x40123456, 0x80000000, 0x40123456, "locked: nothing"},
    {88, false, 0.5, 0xFF123456, 0x40ABCDEF, 0x80000000, 0x807F7F7F, "colours (255*128) >> 8, alpha m.a"},
    {88, true, 0.5, 0xFF123456, 0x40ABCDEF, 0x80000000, 0x407F7F7F, "locked: alpha kept"},
    // d.a := 255 first, as = 255 * 128 / 255 = 128, L = 86:
    // 86 - 74 = 12, 86 + 26 = 112, 86 + 81 = 167.
    {90, false, 1.0, 0x80000000, kHalfD, 0xFF000000, 0xFF0C70A7, "luminosity over an opaque d"},
    {90, true, 1.0, 0x80000000, kHalfD, 0xFF000000, kHalfD, "locked: nothing"},
    // 13 with product alpha (255 * 255 * 256) / 65280 = 255 under m 255.
    {13, false, 1.0, kS, kD, 0xFF000000, 0xFF4E2F00, "multiply under a full mask"},
    {13, true, 1.0, kHalfS, kHalfD, 0xFF000000, 0x807E6655, "locked multiply"},
    // Modes without a masked form use the unlocked masked normal.
    {2, false, 1.0, kHalfS, kHalfD, 0xFF000000, kHalfNormal, "2 masked: normal"},
    {92, true, 1.0, kHalfS, kHalfD, 0xFF000000, kHalfNormal, "92 masked: normal"},
    {0, false, 1.0, kS, kD, 0x00FFFFFF, kD, "mask alpha 0 hides the source"},
    // QImage sources support normal only, with the nested alpha even when locked.
    {0, false, 0.5, 0xFFFFFFFF, 0xFF000000, 0x80000000, 0xFF3F3F3F, "nested alpha 63", true},
    {0, true, 0.5, 0xFFFFFFFF, 0xFF000000, 0x80000000, 0xFF3F3F3F, "locked: the nested alpha too", true},
    {0, false, 0.5, 0x40AABBCC, 0x00000000, 0xFF000000, 0x20AABBCC, "no copy rule under a mask", true},
    {3, false, 1.0, kS, kD, 0xFF000000, kD, "other modes: unchanged", true},
};

} // namespace

TEST(KXBlendModes, MaskedArithmetic)
{
    for (const MaskCase& c : kMaskCases) {
        const KXImageRGBA32i mask = Row(c.m);
        KXImageRGBA32i dst = Row(c.d);
        if (c.qimage)
            BlendMaskOn(QRow(c.s), QRect(0, 0, kRow, 1), c.mode, dst, dst.Rect(), c.opacity, mask, mask.Rect(), false,
                        c.lock);
        else
            BlendMaskOn(Row(c.s), QRect(0, 0, kRow, 1), c.mode, dst, dst.Rect(), c.opacity, mask, mask.Rect(), false,
                        c.lock);
        EXPECT_EQ(Hex(Common(dst)), Hex(c.expected)) << "mode " << c.mode << " lock " << c.lock << ": " << c.why;
    }
    // QImage outside the mask, revealed: as = (s.a * op) >> 8 = 127 over black.
    KXImageRGBA32i dst = Row(0xFF000000);
    BlendMaskOn(QRow(0xFFFFFFFF), QRect(0, 0, kRow, 1), 0, dst, dst.Rect(), 0.5, Row(0), QRect(50, 0, 1, 1), true, false);
    EXPECT_EQ(Hex(Common(dst)), Hex(0xFF7F7F7F));
}

// Outside the mask: mask alpha 255 when revealed, untouched otherwise (a
// mask beside the area leaves the tiles shared).
TEST(KXBlendModes, MaskCoverage)
{
    for (bool reveal : {false, true}) {
        const KXImageRGBA32i src = Row(kHalfS), base = Row(kHalfD), mask = Row(0x00000000);
        KXImageRGBA32i dst = base, beside = base;
        // Mask position = x + 5: inside the mask rectangle (5..9) for x < 5.
        BlendMaskOn(src, src.Rect(), 0, dst, dst.Rect(), 1.0, mask, QRect(5, 0, 5, 1), reveal, false);
        for (unsigned int x = 0; x < kRow; ++x)
            EXPECT_EQ(Hex(dst.GetColor(int(x), 0).value), Hex(x >= 5 && reveal ? kHalfNormal : kHalfD)) << x;
        BlendMaskOn(src, src.Rect(), 0, beside, beside.Rect(), 1.0, mask, QRect(100, 0, 10, 1), reveal, false);
        EXPECT_EQ(Hex(Common(beside)), Hex(reveal ? kHalfNormal : kHalfD));
        EXPECT_EQ(beside.Tile(0, 0)->data() == base.Tile(0, 0)->data(), !reveal);
    }
}
