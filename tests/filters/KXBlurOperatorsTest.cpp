#include "KXBlurOperators.h"
#include "KXFilterPasses.h"
#include "KXFilterTestImages.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <QColor>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <vector>

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
// The clamped positions are counted (those before the line repeat its
// first pixel, those after its last) and the rest summed from running
// totals, so that radii far beyond the line cost nothing.
Image ReferenceBoxes(Image image, int r, std::initializer_list<bool> order, const QRect& area = QRect())
{
    const Image original = image;
    const int w = int(image.Width()), h = int(image.Height());
    for (bool horizontal : order) {
        const Image in = image;
        const int length = horizontal ? w : h, lines = horizontal ? h : w;
        for (int line = 0; line < lines; ++line) {
            const auto at = [&](int i) { return horizontal ? in.GetColor(i, line) : in.GetColor(line, i); };
            std::vector<std::array<long long, 4>> totals(size_t(length) + 1, {0, 0, 0, 0});
            for (int i = 0; i < length; ++i)
                for (int b = 0; b < 4; ++b)
                    totals[size_t(i) + 1][size_t(b)] = totals[size_t(i)][size_t(b)] + ((at(i).value >> (8 * b)) & 0xFF);
            for (int i = 0; i < length; ++i) {
                const long long low = (long long)i - r, high = (long long)i + r;
                const long long before = std::max(0LL, std::min(high, -1LL) - low + 1);
                const long long after = std::max(0LL, high - std::max(low, (long long)length) + 1);
                const long long first = std::max(low, 0LL), last = std::min(high, (long long)length - 1);
                uint32_t v = 0;
                for (int b = 0; b < 4; ++b) {
                    long long sum = r + before * ((at(0).value >> (8 * b)) & 0xFF) +
                                    after * ((at(length - 1).value >> (8 * b)) & 0xFF);
                    if (first <= last)
                        sum += totals[size_t(last) + 1][size_t(b)] - totals[size_t(first)][size_t(b)];
                    v |= uint32_t(sum / (2LL * r + 1)) << (8 * b);
                }
                if (horizontal)
                    image.SetColor(i, line, KXRGBA32i(v));
                else
                    image.SetColor(line, i, KXRGBA32i(v));
            }
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
    // The Gaussian is three boxes along rows, then three along columns;
    // premultiplied words are blurred as stored.
    const struct {
        int width, height, radius;
    } cases[] = {{300, 200, 0}, {300, 200, 6}, {130, 260, 70}};
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
    // Counts from 65537 on (radius 32768) divide as integers, smaller ones
    // in single precision; such radii need a side of 16384 (twice the larger
    // side bounds the radius), blurred along it.
    for (int r : {32767, 32768}) {
        SCOPED_TRACE(r);
        const Image wide = RandomImage(16384, 2, unsigned(r), false), tall = RandomImage(2, 16384, unsigned(r) + 1, false);
        ExpectBoth(wide, [r](auto& image) { KXBoxBlurH{r}(image, QRect()); }, ReferenceBoxes(wide, r, {true}));
        ExpectBoth(tall, [r](auto& image) { KXBoxBlurV{r}(image, QRect()); }, ReferenceBoxes(tall, r, {false}));
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

// Every operator entry point, on the tiled and the scan-line form, over the
// whole image and over an area, with and without a mask.
struct RadiusRun {
    const char* name;
    std::function<void(Image&, QImage&, int radius)> run;
};

std::vector<RadiusRun> RadiusRuns(const Image& mask)
{
    const QRect area(3, 2, 12, 9);
    const auto both = [](auto op, QRect rect) {
        return [rect](Image& tiled, QImage& scan, int radius) {
            const decltype(op) blur(radius);
            blur(tiled, rect);
            blur(scan, rect);
        };
    };
    return {
        {"rows", both(KXBoxBlurH(0), QRect())},
        {"rows, area", both(KXBoxBlurH(0), area)},
        {"columns", both(KXBoxBlurV(0), QRect())},
        {"columns, area", both(KXBoxBlurV(0), area)},
        {"box", both(KXBoxBlur(0), QRect())},
        {"box, area", both(KXBoxBlur(0), area)},
        {"three boxes", both(KXGaussianBlur(0), QRect())},
        {"three boxes, area", both(KXGaussianBlur(0), area)},
        {"box, masked", [mask, area](Image& tiled, QImage&, int radius) {
             const KXBoxBlur blur(radius);
             blur(tiled, area, mask, mask.Rect(), false);
         }},
        {"three boxes, masked", [mask, area](Image& tiled, QImage&, int radius) {
             const KXGaussianBlur blur(radius);
             blur(tiled, area, mask, mask.Rect(), true);
         }},
    };
}

// A radius past what the picture can show (twice its larger side, at least
// 1024) is refused at once with the operator's line and changes nothing,
// whatever its size; the largest radius within still blurs, and a wider
// picture moves the bound.
TEST(KXBlurOperators, RadiiBeyondThePictureAreRefused)
{
    const Image original = RandomImage(30, 20, 6);
    const Image mask = RandomImage(30, 20, 7);
    const QImage scanOriginal = ToQImage(original);
    for (const RadiusRun& op : RadiusRuns(mask)) {
        SCOPED_TRACE(op.name);
        {
            Image tiled = original;
            QImage scan = scanOriginal;
            KXTest::LogCapture log;
            op.run(tiled, scan, 1024);
            EXPECT_TRUE(log.Messages().isEmpty()) << log.Messages().join('\n').toStdString();
            EXPECT_NE(Pixels(tiled), Pixels(original));
        }
        for (int radius : {1025, 1 << 20, KXBoxPassMaxRadius, INT_MAX}) {
            SCOPED_TRACE(radius);
            Image tiled = original;
            QImage scan = scanOriginal;
            KXTest::LogCapture log;
            op.run(tiled, scan, radius);
            EXPECT_EQ(Pixels(tiled), Pixels(original));
            EXPECT_EQ(Pixels(scan), Pixels(scanOriginal));
            ASSERT_FALSE(log.Messages().isEmpty());
            const QString expected = radius > KXBoxPassMaxRadius
                                         ? QStringLiteral("Box radius %1 refused: it must lie in 0 ... %2")
                                               .arg(radius)
                                               .arg(KXBoxPassMaxRadius)
                                         : QStringLiteral("Box radius %1 refused: it must lie in 0 ... 1024").arg(radius);
            for (const QString& line : log.Messages())
                EXPECT_TRUE(line.endsWith(expected)) << line.toStdString();
        }
    }
    // 600 pixels wide: the bound is 1200.
    const Image wide = RandomImage(600, 3, 8);
    Image tiled = wide;
    KXTest::LogCapture log;
    KXBoxBlurH(1200)(tiled, QRect());
    EXPECT_TRUE(log.Messages().isEmpty());
    EXPECT_NE(Pixels(tiled), Pixels(wide));
    KXBoxBlurH(1201)(tiled = wide, QRect());
    EXPECT_EQ(Pixels(tiled), Pixels(wide));
    ASSERT_EQ(log.Messages().size(), 1);
    EXPECT_TRUE(log.Messages()[0].endsWith(QStringLiteral("Box radius 1201 refused: it must lie in 0 ... 1200")));
}
