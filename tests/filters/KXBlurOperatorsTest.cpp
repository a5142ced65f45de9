#include "KXBlurOperators.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cstring>
#include <functional>
#include <random>

namespace {

using Image = KXImageRGBA32i;

// Pixels as a plain row-major array, for the reference loops below.
struct Plain {
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    uint32_t& at(int x, int y) { return px[size_t(y) * size_t(width) + size_t(x)]; }
    uint32_t at(int x, int y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
};

Plain RandomPlain(int width, int height, unsigned int seed, bool opaque = false)
{
    Plain p{width, height, std::vector<uint32_t>(size_t(width) * size_t(height))};
    std::mt19937 random(seed);
    for (uint32_t& v : p.px)
        v = opaque ? (random() | 0xFF000000u) : random();
    return p;
}

Image ToImage(const Plain& p)
{
    Image image(static_cast<unsigned int>(p.width), static_cast<unsigned int>(p.height));
    for (int y = 0; y < p.height; ++y)
        image.SetLine(unsigned(y), &p.px[size_t(y) * size_t(p.width)], unsigned(p.width) * 4);
    return image;
}

Plain FromImage(const Image& image)
{
    Plain p{int(image.Width()), int(image.Height()), std::vector<uint32_t>(size_t(image.Width()) * image.Height())};
    for (int y = 0; y < p.height; ++y)
        image.GetLine(unsigned(y), &p.px[size_t(y) * size_t(p.width)], unsigned(p.width) * 4);
    return p;
}

QImage ToQImage(const Plain& p)
{
    QImage image(p.width, p.height, QImage::Format_ARGB32);
    for (int y = 0; y < p.height; ++y)
        std::memcpy(image.scanLine(y), &p.px[size_t(y) * size_t(p.width)], size_t(p.width) * 4);
    return image;
}

Plain FromQImage(const QImage& image)
{
    Plain p{image.width(), image.height(), std::vector<uint32_t>(size_t(image.width()) * size_t(image.height()))};
    for (int y = 0; y < p.height; ++y)
        std::memcpy(&p.at(0, y), image.constScanLine(y), size_t(p.width) * 4);
    return p;
}

// The box blur written plainly: each channel (r + the sum over the 2r + 1
// pixels around, positions clamped into the image) / (2r + 1).
Plain ReferenceBox(const Plain& in, int r, bool horizontal)
{
    Plain out = in;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            uint32_t result = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                long long sum = r;
                for (int k = -r; k <= r; ++k) {
                    const int sx = horizontal ? std::clamp(x + k, 0, in.width - 1) : x;
                    const int sy = horizontal ? y : std::clamp(y + k, 0, in.height - 1);
                    sum += (in.at(sx, sy) >> shift) & 0xFF;
                }
                result |= uint32_t(sum / (2 * r + 1)) << shift;
            }
            out.at(x, y) = result;
        }
    return out;
}

bool SameTile(const Image& a, const Image& b, unsigned int column, unsigned int row)
{
    return a.Tile(column, row)->data() == b.Tile(column, row)->data();
}

} // namespace

TEST(KXBoxBlurOperator, HandWorkedRow)
{
    // r = 1, count 3, sums start at 1: row 0, 0, 2 gives (1 + 0) / 3 = 0,
    // (1 + 2) / 3 = 1, (1 + 0 + 2 + 2) / 3 = 1 (the last pixel repeats);
    // row 0, 0, 255 gives 0, 256 / 3 = 85, 511 / 3 = 170.
    const struct {
        std::vector<uint32_t> row, blurred;
    } cases[] = {
        {{0, 0, 0x02020202u}, {0, 0x01010101u, 0x01010101u}},
        {{0, 0, 0xFFFFFFFFu}, {0, 0x55555555u, 0xAAAAAAAAu}},
    };
    for (const auto& c : cases) {
        Image row = ToImage(Plain{3, 1, c.row});
        KXBoxBlurH(1)(row, QRect());
        EXPECT_EQ(FromImage(row).px, c.blurred);
        Image column = ToImage(Plain{1, 3, c.row});
        KXBoxBlurV(1)(column, QRect());
        EXPECT_EQ(FromImage(column).px, c.blurred);
        QImage scan = ToQImage(Plain{3, 1, c.row});
        KXBoxBlurH(1)(scan, QRect());
        EXPECT_EQ(FromQImage(scan).px, c.blurred);
    }
}

TEST(KXBoxBlurOperator, WholeImagesMatchThePlainBox)
{
    // Counts from 65537 on (radius 32768) divide as integers, smaller ones
    // in single precision.
    const struct {
        int width, height, radius;
    } cases[] = {{300, 200, 0}, {300, 200, 1}, {300, 200, 6}, {130, 260, 70}, {40, 30, 2100}, {5, 3, 32767},
                 {5, 3, 32768}};
    for (const auto& c : cases) {
        const Plain original = RandomPlain(c.width, c.height, unsigned(c.radius) + 1);
        const Plain box = ReferenceBox(ReferenceBox(original, c.radius, true), c.radius, false);
        Image image = ToImage(original);
        KXBoxBlur(c.radius)(image, QRect());
        EXPECT_EQ(FromImage(image).px, box.px) << c.radius;
        QImage scan = ToQImage(original);
        KXBoxBlur(c.radius)(scan, QRect(5, 5, -10, 3)); // invalid: the whole image
        EXPECT_EQ(FromQImage(scan).px, box.px) << c.radius;

        Plain gauss = original;
        for (bool horizontal : {true, false})
            for (int i = 0; i < 3; ++i)
                gauss = ReferenceBox(gauss, c.radius, horizontal);
        Image g = ToImage(original);
        KXGaussianBlur(c.radius)(g, g.Rect());
        EXPECT_EQ(FromImage(g).px, gauss.px) << c.radius;
        QImage gq = ToQImage(original).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QImage raw = gq.convertToFormat(QImage::Format_ARGB32_Premultiplied); // same words
        KXGaussianBlur(c.radius)(gq, QRect());
        EXPECT_EQ(FromQImage(gq).px, FromQImage([&] {
                      Plain words = FromQImage(raw);
                      for (bool horizontal : {true, false})
                          for (int i = 0; i < 3; ++i)
                              words = ReferenceBox(words, c.radius, horizontal);
                      return ToQImage(words);
                  }()).px)
            << "premultiplied words are blurred as stored";
    }
}

TEST(KXBoxBlurOperator, AreaBlursChangeNothingOutside)
{
    // A box blur of an area equals the whole image's blur inside it: the row
    // above the area's widened rows enters the column sums and leaves them
    // again before the first pixel is written.
    const Plain original = RandomPlain(400, 300, 5);
    const QRect area(130, 100, 150, 140);
    Image whole = ToImage(original);
    KXBoxBlur(4)(whole, QRect());
    Image image = ToImage(original);
    const Image before = image;
    KXBoxBlur(4)(image, area);
    const Plain got = FromImage(image), expected = FromImage(whole);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            ASSERT_EQ(got.at(x, y), area.contains(x, y) ? expected.at(x, y) : original.at(x, y)) << x << "," << y;
    // Tiles the area does not touch are still shared with the original.
    EXPECT_TRUE(SameTile(image, before, 0, 0));
    EXPECT_TRUE(SameTile(image, before, 3, 2));
    EXPECT_FALSE(SameTile(image, before, 1, 1));

    // The Gaussian of an area: nothing outside changes, and a uniform image
    // stays uniform (edges repeat), in tiled and scan-line images alike.
    Image gauss = ToImage(original);
    KXGaussianBlur(3)(gauss, area);
    const Plain g = FromImage(gauss);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            if (!area.contains(x, y)) {
                ASSERT_EQ(g.at(x, y), original.at(x, y));
            }
    const Plain uniform{400, 300, std::vector<uint32_t>(400 * 300, 0x80FF4010u)};
    for (const QRect& rect : {area, QRect(), QRect(350, 250, 100, 100)}) {
        Image u = ToImage(uniform);
        KXGaussianBlur(7)(u, rect);
        EXPECT_EQ(FromImage(u).px, uniform.px);
        QImage q = ToQImage(uniform);
        KXGaussianBlur(7)(q, rect);
        EXPECT_EQ(FromQImage(q).px, uniform.px);
        QImage b = ToQImage(uniform);
        KXBoxBlur(7)(b, rect);
        EXPECT_EQ(FromQImage(b).px, uniform.px);
    }
    // The scan-line area blur is the tiled one.
    QImage q = ToQImage(original);
    KXGaussianBlur(3)(q, area);
    EXPECT_EQ(FromQImage(q).px, g.px);
}

TEST(KXBoxBlurOperator, MaskedOverloads)
{
    const Plain opaque = RandomPlain(300, 200, 9, true);
    const Image noMask;
    // The masked Gaussian with a null rectangle does nothing at all.
    Image image = ToImage(opaque);
    const Image before = image;
    KXGaussianBlur(3)(image, QRect(), noMask, QRect(), true);
    EXPECT_TRUE(SameTile(image, before, 0, 0) && SameTile(image, before, 2, 1));
    // The masked box with a null rectangle blurs the whole image; without a
    // mask (revealed) an opaque blur lies over the image as it is.
    Image masked = ToImage(opaque), plain = ToImage(opaque);
    KXBoxBlur(3)(masked, QRect(), noMask, QRect(), true);
    KXBoxBlur(3)(plain, QRect());
    EXPECT_EQ(FromImage(masked).px, FromImage(plain).px);
    // A transparent mask keeps every pixel.
    Image hidden = ToImage(opaque);
    const Image clear(300, 200);
    KXGaussianBlur(3)(hidden, QRect(10, 10, 100, 100), clear, QRect(0, 0, 300, 200), false);
    EXPECT_EQ(FromImage(hidden).px, opaque.px);
}

TEST(KXConvolutionOperator, MirroredUnnormalisedKernels)
{
    const Plain original = RandomPlain(150, 140, 3);
    const auto convolve = [&](std::vector<double> kernel, QSize size, bool alphaOnly) {
        Image image = ToImage(original);
        QImage scan = ToQImage(original);
        if (alphaOnly) {
            KXImageConvoluteAlpha(kernel.data(), size)(image);
            KXImageConvoluteAlpha(kernel.data(), size)(scan);
        } else {
            KXImageConvolution(kernel.data(), size)(image);
            KXImageConvolution(kernel.data(), size)(scan);
        }
        EXPECT_EQ(FromImage(image).px, FromQImage(scan).px);
        return FromImage(image);
    };
    // Expected pixel (x, y) of each case from the original pixel it reads.
    const struct {
        std::vector<double> kernel;
        QSize size;
        bool alphaOnly;
        std::function<uint32_t(int, int)> expected;
    } cases[] = {
        // One tap of 1: a copy, except that alpha 0 clears the pixel.
        {{1.0}, QSize(1, 1), false, [&](int x, int y) { return (original.at(x, y) >> 24) ? original.at(x, y) : 0u; }},
        // {1, 0, 0}: tap i = 0 reads x + 1 (mirrored), clamped at the edge.
        {{1.0, 0.0, 0.0}, QSize(3, 1), false,
         [&](int x, int y) {
             const uint32_t p = original.at(std::min(x + 1, 149), y);
             return (p >> 24) ? p : 0u;
         }},
        // A column {0, 0, 1}: tap j = 2 reads y - 1.
        {{0.0, 0.0, 1.0}, QSize(1, 3), false,
         [&](int x, int y) {
             const uint32_t p = original.at(x, std::max(y - 1, 0));
             return (p >> 24) ? p : 0u;
         }},
        // Weights as given: 0.5 halves every channel, truncating.
        {{0.5}, QSize(1, 1), false,
         [&](int x, int y) {
             const uint32_t p = original.at(x, y);
             if ((p >> 24) < 2)
                 return 0u;
             uint32_t h = 0;
             for (int s = 0; s < 32; s += 8)
                 h |= (((p >> s) & 0xFF) / 2) << s;
             return h;
         }},
        // Alpha alone, black; taps outside the image count nothing.
        {{1.0, 0.0, 0.0}, QSize(3, 1), true,
         [&](int x, int y) { return x == 149 ? 0u : original.at(x + 1, y) & 0xFF000000u; }},
        {{2.0}, QSize(1, 1), true,
         [&](int x, int y) { return std::min(255u, (original.at(x, y) >> 24) * 2) << 24; }},
    };
    for (const auto& c : cases) {
        const Plain got = convolve(c.kernel, c.size, c.alphaOnly);
        for (int y = 0; y < 140; ++y)
            for (int x = 0; x < 150; ++x)
                ASSERT_EQ(got.at(x, y), c.expected(x, y)) << c.size.width() << "x" << c.size.height() << " at " << x
                                                          << "," << y;
    }
}

TEST(KXBlurOperators, RefusalsAndConversions)
{
    const Plain original = RandomPlain(60, 50, 4);
    Image image = ToImage(original);
    KXTest::LogCapture log;
    KXBoxBlur(-1)(image, QRect());
    KXGaussianBlur(-2)(image, QRect(1, 1, 5, 5));
    KXImageConvolution(nullptr, QSize(3, 3))(image);
    KXImageConvolution(nullptr, QSize(0, 3))(image); // no kernel at all: nothing to say
    EXPECT_EQ(FromImage(image).px, original.px);
    ASSERT_EQ(log.Messages().size(), 3);
    EXPECT_TRUE(log.Messages()[0].endsWith(QStringLiteral("Box radius -1 refused: it must lie in 0 ... 4194304")));
    EXPECT_TRUE(log.Messages()[2].endsWith(QStringLiteral("Convolution kernel of 3 x 3 without weights refused")));

    // Another QImage format is converted to ARGB32 first.
    QImage rgb(20, 10, QImage::Format_RGB888);
    rgb.fill(QColor(10, 200, 30));
    KXBoxBlur(2)(rgb, QRect());
    EXPECT_EQ(rgb.format(), QImage::Format_ARGB32);
    EXPECT_EQ(rgb.pixel(7, 3), qRgba(10, 200, 30, 255));
}
