#include "KXImageConversion.h"
#include "KXQColorReference.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <type_traits>
#include <vector>

namespace {

// An image whose size is not a multiple of either tile size, filled with
// random pixels (and runs of repeated ones).
KXImageRGBA32i RandomImage(unsigned int width, unsigned int height, unsigned int seed)
{
    std::mt19937 random(seed);
    KXImageRGBA32i image(width, height);
    std::vector<KXRGBA32i> row(width);
    for (unsigned int y = 0; y < height; ++y) {
        for (unsigned int x = 0; x < width; ++x)
            row[x] = (x % 7 == 3 && x) ? row[x - 1] : KXRGBA32i(random());
        image.SetLine(y, row.data(), width * 4);
    }
    return image;
}

namespace Ref = KXQColorReference;

// What each 8-byte form must hold for a working pixel p, its converted q and
// the pixel that comes back.
bool Holds(KXRGBA32i p, KXRGBA64i q, KXRGBA32i back)
{
    // c * 256 and back the high byte: exact.
    return q.r == p.r * 256 && q.g == p.g * 256 && q.b == p.b * 256 && q.a == p.a * 256 && back == p;
}

bool Holds(KXRGBA32i p, KXRGBA64f q, KXRGBA32i back)
{
    // Stored within half a step of c / 255 * 256.87842 (a step is 0.125 at
    // 256); back within one below, 0 and 255 exact.
    const uint16_t stored[4] = {q.b, q.g, q.r, q.a};
    for (int c = 0; c < 4; ++c) {
        const int in = (p.value >> (8 * c)) & 255, out = (back.value >> (8 * c)) & 255;
        const double exact = in / 255.0 * 256.87841796875;
        if (std::fabs(HalfToFloat(stored[c]) - exact) > exact / 1024.0 + 1e-9 || !(out == in || out == in - 1) ||
            ((in == 0 || in == 255) && out != in))
            return false;
    }
    return true;
}

bool Holds(KXRGBA32i p, KXHSLA q, KXRGBA32i back)
{
    return q.value == Ref::Hsl(p).value && back == Ref::RgbFromHsl(q);
}

bool Holds(KXRGBA32i p, KXCMYKA q, KXRGBA32i back)
{
    return q.value == Ref::Cmyk(p).value && back == Ref::RgbFromCmyk(q);
}

} // namespace

// RGB to CMYK and HSL and back are compared on every pixel with the QColor
// reference below; these are the inputs no RGB pixel converts to.
TEST(KXImageConversion, KnownValues)
{
    // HSL with s 0 gives l in every channel; l 0 gives black; hue 65535 is
    // achromatic.
    const struct {
        int h, s, l;
        uint32_t rgb;
    } special[] = {{9000, 0, 77, 0xC84D4D4Du}, {9000, 200, 0, 0xC8000000u}, {65535, 200, 90, 0xC85A5A5Au}};
    for (const auto& c : special) {
        KXImageHSLA hsla(1, 1);
        KXHSLA p;
        p.h = c.h;
        p.s = c.s;
        p.l = c.l;
        p.a = 200;
        hsla.SetColor(0, 0, p);
        EXPECT_EQ((ConvertImage<KXImageHSLA, KXImageRGBA32i>(hsla).GetColor(0, 0)), KXRGBA32i(c.rgb)) << c.h;
    }

    // Half floats: 255 -> 257.0 -> 255, 1 -> 1.0078125 -> 1, 3 -> 3.021484375 -> 2.
    KXImageRGBA32i channels(1, 1);
    channels.SetColor(0, 0, KXRGBA32i(0xFF0301FFu)); // a 255, r 3, g 1, b 255
    const KXRGBA64f half = ConvertImage<KXImageRGBA32i, KXImageRGBA64f>(channels).GetColor(0, 0);
    EXPECT_EQ((std::vector<float>{HalfToFloat(half.b), HalfToFloat(half.g), HalfToFloat(half.r)}),
              (std::vector<float>{257.0f, 1.0078125f, 3.021484375f}));
    KXImageRGBA64f halfImage(1, 1);
    halfImage.SetColor(0, 0, half);
    EXPECT_EQ((ConvertImage<KXImageRGBA64f, KXImageRGBA32i>(halfImage).GetColor(0, 0)), KXRGBA32i(0xFF0201FFu));
}

// ---- The four pairs with the 8-byte forms (128 x 64 tiles): two of them
// for every working tile.

template <class I>
class KXConversionPairs : public testing::Test {};
using EightByteForms = testing::Types<KXImageRGBA64i, KXImageRGBA64f, KXImageHSLA, KXImageCMYKA>;
TYPED_TEST_SUITE(KXConversionPairs, EightByteForms);

// Every pixel on sizes that are not tile multiples, also where the last
// 8-byte tile row is only partly used (300 x 200: rows of 64, 64, 64, 8).
TYPED_TEST(KXConversionPairs, EveryPixelOnRaggedSizesAndBack)
{
    for (const QSize size : {QSize(1, 1), QSize(129, 65), QSize(300, 200)}) {
        const KXImageRGBA32i image = RandomImage(size.width(), size.height(), 11);
        const TypeParam converted = ConvertImage<KXImageRGBA32i, TypeParam>(image);
        ASSERT_EQ(converted.Rect(), image.Rect());
        const KXImageRGBA32i back = ConvertImage<TypeParam, KXImageRGBA32i>(converted);
        ASSERT_EQ(back.Rect(), image.Rect());
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                ASSERT_TRUE(Holds(image.GetColor(x, y), converted.GetColor(x, y), back.GetColor(x, y)))
                    << std::hex << image.GetColor(x, y).value << " -> " << converted.GetColor(x, y).value << " -> "
                    << back.GetColor(x, y).value << std::dec << " at " << x << "," << y << " of " << size.width()
                    << " x " << size.height();
        if constexpr (std::is_same<TypeParam, KXImageCMYKA>::value) {
            const QImage q = ConvertImage<KXImageCMYKA, QImage>(converted);
            ASSERT_EQ(q.format(), QImage::Format_ARGB32);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    ASSERT_EQ(KXRGBA32i(q.pixel(x, y)), back.GetColor(x, y)) << x << "," << y;
        }
    }
}

// Whole tiles are converted: a pixel in the margin of the last working tile
// travels like one inside. 50 rows make one 8-byte tile row: the lower half
// of each working tile has no 8-byte tile and must come back zero, also
// where the new image's shared tile gives way to a block that held other
// bytes before.
TYPED_TEST(KXConversionPairs, MarginsTravelWithTheirTiles)
{
    // Fresh blocks come from the front of the free list and are zero; hold
    // all but a few that were written, so that the results get those.
    VQTileManager64* tm = VQTileManager64::Instance();
    QList<void*> dirty = tm->MakeTiles(24);
    for (void* block : dirty) {
        std::memset(tm->GetMemory(block, true), 0xA5, VQTileManager64::kBlockSize);
        tm->FreeMemory(block);
    }
    tm->CleanUpTiles(dirty);
    struct Held {
        VQTileManager64* tm;
        QList<void*> blocks;
        ~Held() { tm->CleanUpTiles(blocks); }
    } held{tm, tm->MakeTiles(static_cast<unsigned int>(tm->GetAvailableCount() - 24))};

    KXImageRGBA32i image(300, 50); // three tile columns: the first two share one tile when new
    std::vector<KXRGBA32i> row(384, KXRGBA32i(0xFF123456u));
    image.SetLine(49, row.data(), 384 * 4); // columns 300..383 are margin
    const TypeParam converted = ConvertImage<KXImageRGBA32i, TypeParam>(image);
    const KXImageRGBA32i back = ConvertImage<TypeParam, KXImageRGBA32i>(converted);
    ASSERT_EQ(converted.TileRows(), 1u);
    EXPECT_EQ(converted.ReadTile(2, 0)[49 * 128 + 127].value, converted.GetColor(299, 49).value);
    EXPECT_EQ(back.ReadTile(2, 0)[49 * 128 + 127], back.GetColor(299, 49));
    for (unsigned int column = 0; column < 3; ++column) {
        const auto tile = back.ReadTile(column, 0);
        for (unsigned int i = 64 * 128; i < 128 * 128; ++i)
            ASSERT_EQ(tile[i], KXRGBA32i()) << "tile " << column << ", pixel " << i % 128 << "," << i / 128;
    }
}

// Out to a QImage and back on ragged sizes; a QImage of any other format
// enters as its ARGB32 conversion.
TEST(KXImageConversion, QImageRoundTripAndOtherFormats)
{
    for (const QSize size : {QSize(1, 1), QSize(129, 65), QSize(257, 130)}) {
        const KXImageRGBA32i source = RandomImage(size.width(), size.height(), 5);
        const QImage q = ConvertImage<KXImageRGBA32i, QImage>(source);
        ASSERT_EQ(q.size(), size);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                ASSERT_EQ(KXRGBA32i(q.pixel(x, y)), source.GetColor(x, y)) << x << "," << y;
        for (const QImage::Format format :
             {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_Indexed8}) {
            const QImage variant = q.convertToFormat(format);
            const QImage expected = variant.convertToFormat(QImage::Format_ARGB32);
            const KXImageRGBA32i back = ConvertImage<QImage, KXImageRGBA32i>(variant);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    ASSERT_EQ(back.GetColor(x, y), KXRGBA32i(expected.pixel(x, y))) << format << ": " << x << "," << y;
        }
    }
    EXPECT_EQ((ConvertImage<QImage, KXImageRGBA32i>(QImage()).TileCount()), 0u);
}

TEST(KXImageConversion, RawBuffers)
{
    const uint8_t rgba[] = {10, 20, 30, 99, 40, 50, 60, 0, 70, 80, 90, 1, 1, 2, 3, 4};
    const uint8_t rgb[] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 1, 2, 3};
    const KXRGBA32i expected[] = {0xFF0A141Eu, 0xFF28323Cu, 0xFF46505Au, 0xFF010203u};
    RGB32iRawImage raw;
    raw.width = 2;
    raw.height = 2;
    for (const int bytes : {4, 3}) {
        raw.bytesPerPixel = bytes;
        raw.data = bytes == 4 ? rgba : rgb;
        const KXImageRGBA32i image = ConvertImage<RGB32iRawImage, KXImageRGBA32i>(raw);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(image.GetColor(i % 2, i / 2), expected[i]) << bytes << " bytes, pixel " << i;
        EXPECT_EQ(image.ReadTile(0, 0)[2], KXRGBA32i()) << "only pixels inside the image are written";
    }

    // A raw record without data is refused, logged and passed on.
    KXTest::LogCapture log;
    raw.data = nullptr;
    EXPECT_THROW((ConvertImage<RGB32iRawImage, KXImageRGBA32i>(raw)), std::invalid_argument);
    ASSERT_EQ(log.Messages().size(), 1);
    EXPECT_TRUE(log.Messages()[0].contains("file=\"src/KXImage\". Exception content:\"ConvertImage: raw image"));
}
