// Inpainting: hand-worked holes, both forms against a plain reference that
// tries every hole pixel in every pass, tile borders and the mask offset, and
// an image access outside the image.

#include "KXImageConversion.h"
#include "KXInpaint.h"
#include "KXTestSupport.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include <vector>

namespace {

using Image = KXInpaintIterative::Image;

// The plain rule: in each pass every hole pixel (alpha < 255) takes the first
// complete pattern, known pixels being those opaque when the pass began.
QImage PlainInpaint(QImage image)
{
    const auto block = [](int cx, int cy) { // a 3 x 3 block centred at (cx, cy), without (0, 0)
        std::vector<QPoint> p;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (cx + dx || cy + dy)
                    p.push_back(QPoint(cx + dx, cy + dy));
        return p;
    };
    const auto side = [](QPoint toward) { // two rows (columns) on one side and the two side neighbours
        const QPoint across(toward.y(), toward.x());
        std::vector<QPoint> p{across, -across};
        for (int i = -1; i <= 1; ++i)
            p.insert(p.end(), {toward + i * across, 2 * toward + i * across});
        return p;
    };
    const std::vector<std::vector<QPoint>> patterns{
        block(0, 0),         side(QPoint(0, -1)), side(QPoint(0, 1)),  side(QPoint(-1, 0)), side(QPoint(1, 0)),
        block(-1, -1),       block(1, -1),        block(1, 1),         block(-1, 1)};
    for (bool changed = true; changed;) {
        changed = false;
        const QImage start = image.copy();
        const auto known = [&](QPoint p) { return start.valid(p) && qAlpha(start.pixel(p)) == 255; };
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                for (const auto& pattern : patterns) {
                    if (known(QPoint(x, y)))
                        break;
                    int a = 4, r = 4, g = 4, b = 4, complete = 0;
                    for (const QPoint& d : pattern)
                        if (known(QPoint(x, y) + d)) {
                            const QRgb c = start.pixel(QPoint(x, y) + d);
                            a += qAlpha(c), r += qRed(c), g += qGreen(c), b += qBlue(c), ++complete;
                        }
                    if (complete == 8) {
                        image.setPixel(x, y, qRgba(r / 8, g / 8, b / 8, a / 8));
                        changed = true;
                        break;
                    }
                }
    }
    return image;
}

// Mask of the iterative form: alpha 255 where the image is not opaque.
Image MaskOf(const QImage& image)
{
    QImage mask = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            mask.setPixel(x, y, qAlpha(mask.pixel(x, y)) < 255 ? 0xFFFF0000u : 0u);
    return ConvertImage<QImage, Image>(mask);
}

QImage ToQImage(const Image& image)
{
    return ConvertImage<Image, QImage>(image);
}

int RunIterative(Image& image, const Image& mask, const QRect& imageRect, const QRect& maskRect)
{
    KXInpaintIterative inpaint(image, mask, imageRect, maskRect);
    int passes = 0;
    while (inpaint() && passes < 10000)
        ++passes;
    return passes;
}

// Rectangles and offsets at the ends of the int range: mask coordinates
// moved by them lie outside the image, and the image is left as it was.
TEST(KXInpaint, OffsetsAtTheEndsOfTheIntRangeReachNothing)
{
    QImage picture(60, 40, QImage::Format_ARGB32);
    picture.fill(0xFF204060u);
    picture.setPixel(30, 20, 0u);
    const Image mask = MaskOf(picture);
    for (const auto& [imageRect, maskRect] :
         {std::pair<QRect, QRect>{QRect(INT_MAX - 5, 0, 5, 5), QRect(-10, 0, 60, 40)},
          {QRect(INT_MIN, INT_MIN, 5, 5), QRect(10, 10, 50, 30)},
          {QRect(0, 0, 60, 40), QRect(QPoint(INT_MIN, INT_MIN), QPoint(INT_MAX, INT_MAX))}}) {
        Image image = ConvertImage<QImage, Image>(picture);
        const KXTest::LogCapture quiet; // the pass that reaches outside says so
        RunIterative(image, mask, imageRect, maskRect);
        EXPECT_EQ(ToQImage(image), picture);
    }
}

} // namespace

TEST(KXInpaint, HandWorkedHoles)
{
    struct Pixel {
        QPoint at;
        QRgb color;
    };
    struct Case {
        const char* name;
        QSize size;
        QRect hole;
        int passes; // of the iterative form that changed something
        std::vector<Pixel> expected;
    };
    // Image: red 5x², green 6y², opaque. One pixel (2, 2), pattern 1: red
    // (3·5 + 2·20 + 3·45 + 4) / 8 = 194 / 8 = 24, green (3·6 + 2·24 + 3·54 + 4) / 8 = 29.
    // Segment (2..4, 2): (2, 2) pattern 4, red (3·5 + 3·0 + 20 + 20 + 4) / 8 = 7,
    // green (2·(6 + 24 + 54) + 6 + 54 + 4) / 8 = 29; (4, 2) pattern 5, red
    // (3·125 + 3·180 + 80 + 80 + 4) / 8 = 134; the centre next pass, pattern 1, red
    // (2·(20 + 45 + 80) + 7 + 134 + 4) / 8 = 54, green (3·6 + 3·54 + 29 + 29 + 4) / 8 = 30.
    // 3 x 3 square: corner (2, 2) pattern 6, red (3·5 + 2·20 + 4) / 8 = 7, green (3·6 + 2·24 + 4) / 8 = 8.
    const Case cases[] = {
        {"opaque", QSize(5, 5), QRect(), 0, {}},
        {"one pixel", QSize(5, 5), QRect(2, 2, 1, 1), 1, {{QPoint(2, 2), qRgb(24, 29, 0)}}},
        {"segment", QSize(7, 5), QRect(2, 2, 3, 1), 2,
         {{QPoint(2, 2), qRgb(7, 29, 0)}, {QPoint(3, 2), qRgb(54, 30, 0)}, {QPoint(4, 2), qRgb(134, 29, 0)}}},
        {"square", QSize(7, 7), QRect(2, 2, 3, 3), 3, {{QPoint(2, 2), qRgb(7, 8, 0)}}},
        {"border to border", QSize(5, 5), QRect(2, 0, 1, 5), 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QImage image(c.size, QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, c.hole.contains(x, y) ? 0x00123456u : qRgb(5 * x * x, 6 * y * y, 0));
        const QImage original = image.copy();
        KXInpaint{image}(0);
        for (const Pixel& p : c.expected)
            EXPECT_EQ(image.pixel(p.at), p.color) << p.at.x() << "," << p.at.y();
        EXPECT_EQ(image, PlainInpaint(original));
        Image tiled = ConvertImage<QImage, Image>(original);
        EXPECT_EQ(RunIterative(tiled, MaskOf(original), original.rect(), original.rect()), c.passes);
        EXPECT_EQ(ToQImage(tiled), image);
    }
}

TEST(KXInpaint, RandomHolesAcrossTileBordersMatchThePlainRule)
{
    QRandomGenerator random(15);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QImage image(300, 300, QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, random.generate() | 0xFF000000u);
        // Rectangles over tile corners and borders (128, 256), away from the edges:
        // a hole on the edge fills from one side only, and the iterative form's
        // rim (the pixels handled in the last pass) then leaves the next row out.
        for (const QPoint& corner : {QPoint(128, 128), QPoint(256, 100), QPoint(60, 256), QPoint(200, 200)}) {
            const QRect hole(corner - QPoint(random.bounded(1, 20), random.bounded(1, 20)),
                             QSize(random.bounded(1, 40), random.bounded(1, 40)));
            for (int y = hole.top(); y <= hole.bottom(); ++y)
                for (int x = hole.left(); x <= hole.right(); ++x)
                    if (image.valid(x, y))
                        image.setPixel(x, y, random.generate() & 0x7FFFFFFFu); // alpha below 128
        }
        const QImage expected = PlainInpaint(image);
        QImage repaired = image.copy();
        KXInpaint{repaired}(0);
        EXPECT_EQ(repaired, expected);

        // The iterative form on a larger picture holding this one at (37, 50), through the mask.
        QImage big(400, 400, QImage::Format_ARGB32);
        big.fill(0xFF808080u);
        const auto paste = [](QImage& into, const QImage& part) {
            for (int y = 0; y < part.height(); ++y)
                for (int x = 0; x < part.width(); ++x)
                    into.setPixel(x + 37, y + 50, part.pixel(x, y));
        };
        paste(big, image);
        Image tiled = ConvertImage<QImage, Image>(big);
        const Image before = tiled;
        RunIterative(tiled, MaskOf(image), QRect(QPoint(37, 50), image.size()), image.rect());
        paste(big, expected);
        EXPECT_EQ(ToQImage(tiled), big);
        EXPECT_EQ(tiled.Tile(3, 0)->data(), before.Tile(3, 0)->data()); // far from every hole: still shared
    }
}

TEST(KXInpaint, ImageAccessOutsideTheImageEndsThePass)
{
    // The hole at mask (98, 50) lies at image (108, 50), outside a 100-pixel-wide image.
    QImage picture(100, 100, QImage::Format_ARGB32);
    picture.fill(0xFF204060u);
    picture.setPixel(98, 50, 0u);
    Image image = ConvertImage<QImage, Image>(picture);
    const Image mask = MaskOf(picture);
    KXTest::LogCapture log;
    KXInpaintIterative inpaint(image, mask, QRect(10, 0, 100, 100), mask.Rect());
    EXPECT_TRUE(inpaint()); // the known rim before the hole was cleared
    EXPECT_EQ(log.Messages(), QStringList(QStringLiteral("Unexpected exception: line=930, file=\"include/"
                                                         "KXTransformImageColors\". Exception content:\"KXImage::GetColor\"")));
    EXPECT_LT(RunIterative(image, mask, QRect(10, 0, 100, 100), mask.Rect()), 10);
    EXPECT_EQ(ToQImage(image), picture);
}
