#include "KXImageConversion.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <QColor>

#include <random>
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

uint8_t High(int value16)
{
    return static_cast<uint8_t>(value16 >> 8);
}

int Recover16(double fraction)
{
    return qRound(fraction * 65535.0);
}

QColor Rgb16(KXRGBA32i p)
{
    QColor c;
    c.setRgba64(QRgba64::fromRgba64(p.r * 256, p.g * 256, p.b * 256, p.a * 256));
    return c;
}

// Qt's QColor works on the same 16-bit values; its results, shifted to the
// high byte, are the reference.
KXHSLA ReferenceHSL(KXRGBA32i p)
{
    const QColor hsl = Rgb16(p).toHsl();
    KXHSLA out;
    const double hue = hsl.hslHueF();
    out.h = hue < 0 ? 0 : static_cast<uint16_t>(qRound(hue * 36000.0));
    out.s = High(Recover16(hsl.hslSaturationF()));
    out.l = High(Recover16(hsl.lightnessF()));
    out.a = p.a;
    return out;
}

KXRGBA32i ReferenceRGBFromHSL(KXHSLA p)
{
    const QRgba64 rgb =
        QColor::fromHslF(p.h / 36000.0, (p.s * 256) / 65535.0, (p.l * 256) / 65535.0).rgba64();
    KXRGBA32i out;
    out.r = High(rgb.red());
    out.g = High(rgb.green());
    out.b = High(rgb.blue());
    out.a = p.a;
    return out;
}

KXCMYKA ReferenceCMYK(KXRGBA32i p)
{
    const QColor cmyk = Rgb16(p).toCmyk();
    KXCMYKA out;
    out.c = High(Recover16(cmyk.cyanF()));
    out.m = High(Recover16(cmyk.magentaF()));
    out.y = High(Recover16(cmyk.yellowF()));
    out.k = High(Recover16(cmyk.blackF()));
    out.a = p.a;
    return out;
}

KXRGBA32i ReferenceRGBFromCMYK(KXCMYKA p)
{
    const QRgba64 rgb = QColor::fromCmykF((p.c * 256) / 65535.0, (p.m * 256) / 65535.0,
                                          (p.y * 256) / 65535.0, (p.k * 256) / 65535.0)
                            .rgba64();
    KXRGBA32i out;
    out.r = High(rgb.red());
    out.g = High(rgb.green());
    out.b = High(rgb.blue());
    out.a = p.a;
    return out;
}

template <class T>
std::vector<T> Pixels(const KXImage<T, 128, 64>& image)
{
    std::vector<T> all;
    std::vector<T> row(image.Width());
    for (unsigned int y = 0; y < image.Height(); ++y) {
        image.GetLine(y, row.data(), image.Width() * sizeof(T));
        all.insert(all.end(), row.begin(), row.end());
    }
    return all;
}

} // namespace

TEST(KXImageConversion, KnownValues)
{
    KXImageRGBA32i image(4, 1);
    image.SetColor(0, 0, KXRGBA32i(0xFFFFFFFFu)); // white
    image.SetColor(1, 0, KXRGBA32i(0xFF000000u)); // black
    image.SetColor(2, 0, KXRGBA32i(0xFFFF0000u)); // red
    image.SetColor(3, 0, KXRGBA32i(0x8000FF00u)); // half-transparent green

    const KXImageCMYKA cmyk = ConvertImage<KXImageRGBA32i, KXImageCMYKA>(image);
    const struct {
        int c, m, y, k, a;
    } inks[] = {{0, 0, 0, 0, 255}, {255, 255, 255, 255, 255}, {0, 255, 255, 0, 255}, {255, 0, 255, 0, 128}};
    for (int x = 0; x < 4; ++x) {
        const KXCMYKA p = cmyk.GetColor(x, 0);
        EXPECT_EQ((std::vector<int>{p.c, p.m, p.y, p.k, p.a}),
                  (std::vector<int>{inks[x].c, inks[x].m, inks[x].y, inks[x].k, inks[x].a}))
            << x;
    }
    const KXImageRGBA32i back = ConvertImage<KXImageCMYKA, KXImageRGBA32i>(cmyk);
    EXPECT_EQ(back.GetColor(2, 0), KXRGBA32i(0xFFFF0000u));
    EXPECT_EQ(back.GetColor(0, 0), KXRGBA32i(0xFFFFFFFFu));
    EXPECT_EQ(back.GetColor(1, 0), KXRGBA32i(0xFF000000u));

    image.SetColor(0, 0, KXRGBA32i(0xFF808080u)); // grey
    const KXImageHSLA hsl = ConvertImage<KXImageRGBA32i, KXImageHSLA>(image);
    EXPECT_EQ(hsl.GetColor(0, 0).h, 0);
    EXPECT_EQ(hsl.GetColor(0, 0).s, 0);
    EXPECT_EQ(hsl.GetColor(0, 0).l, 128);
    EXPECT_EQ(hsl.GetColor(3, 0).h, 12000);
    EXPECT_EQ(hsl.GetColor(3, 0).s, 255);
    EXPECT_EQ(hsl.GetColor(3, 0).a, 128);
    EXPECT_EQ(hsl.GetColor(2, 0).h, 0);

    // HSL with s 0 gives l in every channel; l 0 gives black; hue 65535 is
    // achromatic.
    KXImageHSLA special(3, 1);
    KXHSLA p;
    p.h = 9000;
    p.s = 0;
    p.l = 77;
    p.a = 200;
    special.SetColor(0, 0, p);
    p.s = 200;
    p.l = 0;
    special.SetColor(1, 0, p);
    p.h = 65535;
    p.l = 90;
    special.SetColor(2, 0, p);
    const KXImageRGBA32i rgb = ConvertImage<KXImageHSLA, KXImageRGBA32i>(special);
    EXPECT_EQ(rgb.GetColor(0, 0), KXRGBA32i(0xC84D4D4Du));
    EXPECT_EQ(rgb.GetColor(1, 0), KXRGBA32i(0xC8000000u));
    EXPECT_EQ(rgb.GetColor(2, 0), KXRGBA32i(0xC85A5A5Au));

    // Half floats: 255 -> 257.0 -> 255, 1 -> 1.0078125 -> 1, 3 -> 3.021484375 -> 2.
    KXImageRGBA32i channels(1, 1);
    channels.SetColor(0, 0, KXRGBA32i(0xFF0301FFu)); // a 255, r 3, g 1, b 255
    const KXImageRGBA64f half = ConvertImage<KXImageRGBA32i, KXImageRGBA64f>(channels);
    EXPECT_EQ(HalfToFloat(half.GetColor(0, 0).b), 257.0f);
    EXPECT_EQ(HalfToFloat(half.GetColor(0, 0).g), 1.0078125f);
    EXPECT_EQ(HalfToFloat(half.GetColor(0, 0).r), 3.021484375f);
    EXPECT_EQ((ConvertImage<KXImageRGBA64f, KXImageRGBA32i>(half).GetColor(0, 0)), KXRGBA32i(0xFF0201FFu));
    const KXImageRGBA64i wide = ConvertImage<KXImageRGBA32i, KXImageRGBA64i>(channels);
    EXPECT_EQ(wide.GetColor(0, 0).b, 65280);
    EXPECT_EQ(wide.GetColor(0, 0).r, 768);
}

TEST(KXImageConversion, EveryPixelMatchesQColorAcrossTileBorders)
{
    // 300 x 200: three working tile columns, two rows, the last 8-byte tile
    // row only partly used.
    const KXImageRGBA32i image = RandomImage(300, 200, 11);
    const KXImageHSLA hsl = ConvertImage<KXImageRGBA32i, KXImageHSLA>(image);
    const KXImageCMYKA cmyk = ConvertImage<KXImageRGBA32i, KXImageCMYKA>(image);
    EXPECT_EQ(hsl.TileRows(), 4u);
    const std::vector<KXHSLA> hslPixels = Pixels(hsl);
    const std::vector<KXCMYKA> cmykPixels = Pixels(cmyk);
    const KXImageRGBA32i fromHsl = ConvertImage<KXImageHSLA, KXImageRGBA32i>(hsl);
    const KXImageRGBA32i fromCmyk = ConvertImage<KXImageCMYKA, KXImageRGBA32i>(cmyk);
    const QImage cmykQImage = ConvertImage<KXImageCMYKA, QImage>(cmyk);
    ASSERT_EQ(cmykQImage.format(), QImage::Format_ARGB32);

    for (unsigned int y = 0; y < 200; ++y) {
        for (unsigned int x = 0; x < 300; ++x) {
            const KXRGBA32i p = image.GetColor(x, y);
            const KXHSLA h = hslPixels[y * 300 + x];
            const KXHSLA hr = ReferenceHSL(p);
            ASSERT_EQ(h.value, hr.value) << x << "," << y << " h " << h.h << "/" << hr.h << " s " << int(h.s)
                                         << "/" << int(hr.s) << " l " << int(h.l) << "/" << int(hr.l);
            ASSERT_EQ(cmykPixels[y * 300 + x].value, ReferenceCMYK(p).value) << x << "," << y;
            ASSERT_EQ(fromHsl.GetColor(x, y), ReferenceRGBFromHSL(h)) << x << "," << y;
            const KXRGBA32i rgbFromCmyk = ReferenceRGBFromCMYK(cmykPixels[y * 300 + x]);
            ASSERT_EQ(fromCmyk.GetColor(x, y), rgbFromCmyk) << x << "," << y;
            ASSERT_EQ(KXRGBA32i(cmykQImage.pixel(x, y)), rgbFromCmyk) << x << "," << y;
        }
    }
}

TEST(KXImageConversion, WholeTilesAndOddSizes)
{
    // A pixel in the margin of the last tile travels with the tile.
    KXImageRGBA32i image(130, 70);
    std::vector<KXRGBA32i> row(256, KXRGBA32i(0xFF123456u));
    image.SetLine(69, row.data(), 256 * 4); // columns 130..255 are margin
    const KXImageRGBA64i wide = ConvertImage<KXImageRGBA32i, KXImageRGBA64i>(image);
    EXPECT_EQ(wide.TileRows(), 2u);
    EXPECT_EQ(wide.ReadTile(1, 1)[5 * 128 + 127].r, 0x1200);
    const KXImageRGBA32i back = ConvertImage<KXImageRGBA64i, KXImageRGBA32i>(wide);
    EXPECT_EQ(back.ReadTile(1, 0)[69 * 128 + 127], KXRGBA32i(0xFF123456u));
    EXPECT_EQ(back.ReadTile(1, 0)[70 * 128], KXRGBA32i()) << "missing lower half stays zero";

    // Every pair on 1 x 1 and on sizes that are not tile multiples; the 16-bit
    // round trip is exact, the half one within one step.
    for (const QSize size : {QSize(1, 1), QSize(129, 65), QSize(257, 130)}) {
        const KXImageRGBA32i source = RandomImage(size.width(), size.height(), 5);
        const KXImageRGBA64i a = ConvertImage<KXImageRGBA32i, KXImageRGBA64i>(source);
        EXPECT_EQ(a.TileRows(), (size.height() + 63u) / 64u);
        const KXImageRGBA32i exact = ConvertImage<KXImageRGBA64i, KXImageRGBA32i>(a);
        const KXImageRGBA32i viaHalf =
            ConvertImage<KXImageRGBA64f, KXImageRGBA32i>(ConvertImage<KXImageRGBA32i, KXImageRGBA64f>(source));
        const QImage q = ConvertImage<KXImageRGBA32i, QImage>(source);
        const KXImageRGBA32i viaQImage = ConvertImage<QImage, KXImageRGBA32i>(q);
        EXPECT_EQ(q.size(), size);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const KXRGBA32i p = source.GetColor(x, y);
                ASSERT_EQ(exact.GetColor(x, y), p);
                ASSERT_EQ(viaQImage.GetColor(x, y), p);
                ASSERT_EQ(KXRGBA32i(q.pixel(x, y)), p);
                const KXRGBA32i h = viaHalf.GetColor(x, y);
                for (int c = 0; c < 4; ++c) {
                    const int in = (p.value >> (8 * c)) & 255, out = (h.value >> (8 * c)) & 255;
                    ASSERT_TRUE(out == in || out == in - 1) << in << " -> " << out;
                    if (in == 0 || in == 255) {
                        ASSERT_EQ(out, in);
                    }
                }
            }
        }
    }
}

TEST(KXImageConversion, AnyQImageFormatEntersAsARGB)
{
    QImage argb(20, 10, QImage::Format_ARGB32);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            argb.setPixel(x, y, qRgba(x * 12, y * 25, 128, 40 + x * 10));
    const QImage variants[] = {
        argb.convertToFormat(QImage::Format_ARGB32_Premultiplied),
        argb.convertToFormat(QImage::Format_RGB888),
        argb.convertToFormat(QImage::Format_Grayscale8),
        argb.convertToFormat(QImage::Format_Indexed8),
        argb.convertToFormat(QImage::Format_RGB32),
    };
    for (const QImage& variant : variants) {
        const QImage expected = variant.convertToFormat(QImage::Format_ARGB32);
        const KXImageRGBA32i image = ConvertImage<QImage, KXImageRGBA32i>(variant);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(image.GetColor(x, y), KXRGBA32i(expected.pixel(x, y))) << variant.format();
    }
    EXPECT_EQ((ConvertImage<QImage, KXImageRGBA32i>(QImage()).TileCount()), 0u);
}

TEST(KXImageConversion, RawBuffers)
{
    const uint8_t rgba[] = {10, 20, 30, 99, 40, 50, 60, 0, 70, 80, 90, 1, 1, 2, 3, 4};
    const uint8_t rgb[] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 1, 2, 3};
    RGB32iRawImage four;
    four.width = 2;
    four.height = 2;
    four.bytesPerPixel = 4;
    four.data = rgba;
    RGB32iRawImage three = four;
    three.bytesPerPixel = 3;
    three.data = rgb;
    const KXImageRGBA32i a = ConvertImage<RGB32iRawImage, KXImageRGBA32i>(four);
    const KXImageRGBA32i b = ConvertImage<RGB32iRawImage, KXImageRGBA32i>(three);
    const KXRGBA32i expected[] = {0xFF0A141Eu, 0xFF28323Cu, 0xFF46505Au, 0xFF010203u};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.GetColor(i % 2, i / 2), expected[i]) << i;
        EXPECT_EQ(b.GetColor(i % 2, i / 2), expected[i]) << i;
    }
    EXPECT_EQ(a.ReadTile(0, 0)[2], KXRGBA32i()) << "only pixels inside the image are written";

    // A raw record without data is refused, logged and passed on.
    KXTest::LogCapture log;
    RGB32iRawImage broken = four;
    broken.data = nullptr;
    auto convertBroken = [&] { return ConvertImage<RGB32iRawImage, KXImageRGBA32i>(broken); };
    EXPECT_THROW(convertBroken(), std::invalid_argument);
    ASSERT_EQ(log.Messages().size(), 1);
    EXPECT_TRUE(log.Messages()[0].startsWith("Unexpected exception: line=")) << log.Messages()[0].toStdString();
    EXPECT_TRUE(log.Messages()[0].contains("file=\"src/KXImage\". Exception content:\"ConvertImage: raw image"));
}

TEST(KXImageConversion, ExhaustionIsLoggedAndPassedOn)
{
    const KXImageRGBA32i source = RandomImage(300, 200, 3);
    VQTileManager64* tm = VQTileManager64::Instance();
    QList<void*> all = tm->MakeTiles(static_cast<unsigned int>(tm->GetAvailableCount() - 5));
    KXTest::LogCapture log;
    auto convert = [&] { return ConvertImage<KXImageRGBA32i, KXImageHSLA>(source); };
    EXPECT_THROW(convert(), std::bad_alloc);
    tm->CleanUpTiles(all);
    ASSERT_EQ(log.Messages().size(), 1);
    EXPECT_TRUE(log.Messages()[0].endsWith("file=\"src/KXImage\". Exception content:\"bad allocation\""))
        << log.Messages()[0].toStdString();
}
