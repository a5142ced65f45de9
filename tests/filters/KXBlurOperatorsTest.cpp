#include "KXBlurOperators.h"
#include "KXFilterTestImages.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cstring>
#include <functional>

using KXFilterTest::Pixels;
using KXFilterTest::RandomImage;
using Image = KXImageRGBA32i;

namespace {

// The same words in a scan-line image (ARGB32 or premultiplied: stored as is).
QImage ToQImage(const Image& image, QImage::Format format = QImage::Format_ARGB32)
{
    QImage scan(int(image.Width()), int(image.Height()), format);
    for (int y = 0; y < scan.height(); ++y)
        image.GetLine(unsigned(y), scan.scanLine(y), image.Width() * 4);
    return scan;
}

std::vector<KXRGBA32i> Pixels(const QImage& image)
{
    std::vector<KXRGBA32i> out(size_t(image.width()) * size_t(image.height()));
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(static_cast<void*>(&out[size_t(y) * size_t(image.width())]), image.constScanLine(y),
                    size_t(image.width()) * 4);
    return out;
}

// `op` on the tiled and on the scan-line form of `in` gives `expected`.
template <class Op>
void ExpectBoth(const Image& in, const Op& op, const Image& expected, QImage::Format format = QImage::Format_ARGB32)
{
    Image image = in;
    QImage scan = ToQImage(in, format);
    op(image);
    op(scan);
    EXPECT_EQ(Pixels(image), Pixels(expected));
    EXPECT_EQ(Pixels(scan), Pixels(expected));
}

// Box passes written plainly, in the given order of directions (true: along
// rows): each channel (r + the sum over the 2r + 1 pixels around, positions
// clamped into the image) / (2r + 1); only `area` (null: all) is written.
Image ReferenceBoxes(Image image, int r, std::initializer_list<bool> order, const QRect& area = QRect())
{
    const Image original = image;
    const int w = int(image.Width()), h = int(image.Height());
    for (bool horizontal : order) {
        const Image in = image;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                long long sums[4] = {r, r, r, r};
                for (int k = -r; k <= r; ++k) {
                    const KXRGBA32i p = horizontal ? in.GetColor(std::clamp(x + k, 0, w - 1), y)
                                                   : in.GetColor(x, std::clamp(y + k, 0, h - 1));
                    for (int b = 0; b < 4; ++b)
                        sums[b] += (p.value >> (8 * b)) & 0xFF;
                }
                uint32_t v = 0;
                for (int b = 0; b < 4; ++b)
                    v |= uint32_t(sums[b] / (2 * r + 1)) << (8 * b);
                image.SetColor(x, y, KXRGBA32i(v));
            }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!area.isNull() && !area.contains(x, y))
                image.SetColor(x, y, original.GetColor(x, y));
    return image;
}

} // namespace

TEST(KXBoxBlurOperator, WholeImagesMatchThePlainBox)
{
    // Counts from 65537 on (radius 32768) divide as integers, smaller ones
    // in single precision. The Gaussian is three boxes along rows, then
    // three along columns; premultiplied words are blurred as stored.
    const struct {
        int width, height, radius;
    } cases[] = {{300, 200, 0}, {300, 200, 6}, {130, 260, 70}, {5, 3, 32767}, {5, 3, 32768}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.radius);
        const Image original = RandomImage(c.width, c.height, unsigned(c.radius) + 1, false);
        const int r = c.radius;
        ExpectBoth(original, [r](auto& image) { KXBoxBlur{r}(image, QRect(5, 5, -10, 3)); }, // invalid: whole
                   ReferenceBoxes(original, r, {true, false}));
        ExpectBoth(original, [r](auto& image) { KXBoxBlurH{r}(image, QRect()); }, ReferenceBoxes(original, r, {true}));
        ExpectBoth(original, [r](auto& image) { KXBoxBlurV{r}(image, QRect()); }, ReferenceBoxes(original, r, {false}));
        ExpectBoth(original, [r](auto& image) { KXGaussianBlur{r}(image, QRect()); },
                   ReferenceBoxes(original, r, {true, true, true, false, false, false}),
                   QImage::Format_ARGB32_Premultiplied);
    }
}

TEST(KXBoxBlurOperator, AreaBlursAreTheWholeBlurInsideAndNothingOutside)
{
    // The box of an area is the whole image's box inside it. The Gaussian of
    // an area alternates rows and columns, the rows reaching 3r, 2r, r and
    // the columns 2r, r, 0 beyond it: inside, that order's whole blur.
    const Image original = RandomImage(400, 300, 5, false);
    const QRect area(130, 100, 150, 140);
    ExpectBoth(original, [&](auto& image) { KXBoxBlur(4)(image, area); },
               ReferenceBoxes(original, 4, {true, false}, area));
    ExpectBoth(original, [&](auto& image) { KXGaussianBlur(3)(image, area); },
               ReferenceBoxes(original, 3, {true, false, true, false, true, false}, area));
    // Tiles the area does not touch are still shared with the original.
    Image image = original;
    KXBoxBlur(4)(image, area);
    for (unsigned int column : {0u, 1u, 3u})
        EXPECT_EQ(image.Tile(column, 1)->data() == original.Tile(column, 1)->data(), column != 1) << column;
}

TEST(KXBoxBlurOperator, MaskedOverloads)
{
    Image opaque = RandomImage(300, 200, 9, false);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            opaque.SetColor(x, y, KXRGBA32i(opaque.GetColor(x, y).value | 0xFF000000u));
    const Image noMask;
    // The masked box with a null rectangle blurs the whole image: revealed
    // without a mask, an opaque blur lies over the image as it is.
    Image masked = opaque, plain = opaque;
    KXBoxBlur(3)(masked, QRect(), noMask, QRect(), true);
    KXBoxBlur(3)(plain, QRect());
    EXPECT_EQ(Pixels(masked), Pixels(plain));
    // A transparent mask keeps every pixel.
    Image image = opaque;
    KXGaussianBlur(3)(image, QRect(10, 10, 100, 100), Image(300, 200), QRect(0, 0, 300, 200), false);
    EXPECT_EQ(Pixels(image), Pixels(opaque));
}

TEST(KXConvolutionOperator, MirroredUnnormalisedKernels)
{
    const Image original = RandomImage(150, 140, 3, false);
    // The original pixel, clamped; alpha truncating below 1 clears it.
    const auto read = [&](int x, int y) {
        const KXRGBA32i p = original.GetColor(std::clamp(x, 0, 149), std::clamp(y, 0, 139));
        return p.a ? p : KXRGBA32i(0);
    };
    const struct {
        std::vector<double> kernel;
        QSize size;
        bool alphaOnly;
        std::function<KXRGBA32i(int, int)> expected;
    } cases[] = {
        // Tap i = 0 reads x + 1 (mirrored), clamped at the edge; tap j = 2 reads y - 1.
        {{1.0, 0.0, 0.0}, QSize(3, 1), false, [&](int x, int y) { return read(x + 1, y); }},
        {{0.0, 0.0, 1.0}, QSize(1, 3), false, [&](int x, int y) { return read(x, y - 1); }},
        // Weights as given: 0.5 halves every channel, truncating (alpha 2 -> 1).
        {{0.5}, QSize(1, 1), false,
         [&](int x, int y) {
             const KXRGBA32i p = original.GetColor(x, y);
             return p.a < 2 ? KXRGBA32i(0) : KXRGBA32i((p.value >> 1) & 0x7F7F7F7Fu);
         }},
        // Alpha alone, black; taps outside the image count nothing.
        {{1.0, 0.0, 0.0}, QSize(3, 1), true,
         [&](int x, int y) { return KXRGBA32i(x == 149 ? 0u : original.GetColor(x + 1, y).value & 0xFF000000u); }},
        {{2.0}, QSize(1, 1), true,
         [&](int x, int y) { return KXRGBA32i(std::min(255u, original.GetColor(x, y).a * 2u) << 24); }},
    };
    for (const auto& c : cases) {
        Image expected = original;
        for (int y = 0; y < 140; ++y)
            for (int x = 0; x < 150; ++x)
                expected.SetColor(x, y, c.expected(x, y));
        const double* k = c.kernel.data();
        if (c.alphaOnly)
            ExpectBoth(original, [&](auto& image) { KXImageConvoluteAlpha(k, c.size)(image); }, expected);
        else
            ExpectBoth(original, [&](auto& image) { KXImageConvolution(k, c.size)(image); }, expected);
    }
}

TEST(KXBlurOperators, RefusalsAndConversions)
{
    const Image original = RandomImage(60, 50, 4);
    Image image = original;
    KXTest::LogCapture log;
    KXBoxBlur(-1)(image, QRect());
    KXGaussianBlur(-2)(image, QRect(1, 1, 5, 5));
    KXImageConvolution(nullptr, QSize(3, 3))(image);
    KXImageConvolution(nullptr, QSize(0, 3))(image); // no kernel at all: nothing to say
    EXPECT_EQ(Pixels(image), Pixels(original));
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
