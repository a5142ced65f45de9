// The view renderer against hand-stepped rows and columns.

#include "KXScaleImage.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

const QRgb kMark = 0x12345678;

// Pixel (x, y) of the source is 0xFF000000 | y << 12 | x.
KXImageRGBA32i Coordinates(int w, int h)
{
    KXImageRGBA32i image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.SetColor(x, y, KXRGBA32i(0xFF000000u | unsigned(y) << 12 | unsigned(x)));
    return image;
}

QRgb At(int x, int y) { return 0xFF000000u | unsigned(y) << 12 | unsigned(x); }

// Flips the colour bits and counts its calls.
class CountingInvert : public KXColorTransformBase {
public:
    mutable std::atomic<int> calls{0};
    void operator()(void*, unsigned int) const override {}
    void operator()(KXRGBA32i& p) const override
    {
        ++calls;
        p.value ^= 0x00FFFFFF;
    }
    void Invert(void*, unsigned int) const override {}
};

// Each case names the source pixel every view pixel should show, -1 for
// none (left as it was). Hand-stepped:
// - scale 1, offset 0: the top-left corner, pixel for pixel;
// - scale 2: 2 x 2 blocks (Hs = 2h, rows step 0 with remainder h);
// - scale 0.5 on 8 x 8: half = 1, Hs = trunc(4 + 1) = 5, step 1 rem 3; the
//   start row trunc(0 + 1) = 1 with e = trunc(snap(-1) 5 + 1) = -9 goes back
//   to row 0, e = -4; rows 0 1 2 4 5 7, then 8 ends the view; the same for
//   columns, and the line ends past column 7;
// - scale 1, offset (-2, -3): row trunc(-3.5) = -3, e = trunc(snap(1) h +
//   0.5) = h >= Hs, so row -2: source row 0 lands on view row 2; columns
//   likewise from -1: source column 0 on view column 1.
TEST(ScaleImage, StepsRowsAndColumnsAsWorkedByHand)
{
    const std::vector<int> halfSteps = {0, 1, 2, 4, 5, 7};
    struct Case {
        int w, h, viewW, viewH;
        double scale;
        QPointF offset;
        std::function<int(int)> column, row;
    } cases[] = {
        {300, 200, 150, 100, 1.0, QPointF(0, 0), [](int x) { return x; }, [](int y) { return y; }},
        {70, 40, 140, 80, 2.0, QPointF(0, 0), [](int x) { return x / 2; }, [](int y) { return y / 2; }},
        {8, 8, 8, 8, 0.5, QPointF(0, 0), [&](int x) { return x < 6 ? halfSteps[size_t(x)] : -1; },
         [&](int y) { return y < 6 ? halfSteps[size_t(y)] : -1; }},
        {200, 140, 150, 150, 1.0, QPointF(-2, -3), [](int x) { return x - 1; }, [](int y) { return y < 142 ? y - 2 : -1; }},
    };
    for (const Case& c : cases) {
        const KXImageRGBA32i source = Coordinates(c.w, c.h);
        QImage view(c.viewW, c.viewH, QImage::Format_ARGB32);
        view.fill(kMark);
        ASSERT_TRUE(ScaleImage(source, c.offset, c.scale, view));
        for (int y = 0; y < c.viewH; ++y)
            for (int x = 0; x < c.viewW; ++x) {
                const int sx = c.column(x), sy = c.row(y);
                const QRgb want = sx >= 0 && sy >= 0 && sx < c.w ? At(sx, sy) : kMark;
                ASSERT_EQ(view.pixel(x, y), want) << "case " << (&c - cases) << " at " << x << "," << y;
            }
    }
}

// With a colour transformation every source pixel shown is transformed
// once, however many view pixels repeat it; the image is not changed.
TEST(ScaleImage, TransformsEachShownSourcePixelOnce)
{
    const KXImageRGBA32i source = Coordinates(70, 40);
    CountingInvert invert;
    QImage view(140, 80, QImage::Format_ARGB32);
    ASSERT_TRUE(ScaleImage(source, QPointF(0, 0), 2.0, view, invert));
    EXPECT_EQ(invert.calls.load(), 70 * 40);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 140; ++x)
            ASSERT_EQ(view.pixel(x, y), At(x / 2, y / 2) ^ 0x00FFFFFFu) << x << "," << y;
    EXPECT_EQ(source.GetColor(5, 5).value, At(5, 5));
}

TEST(ScaleImage, RefusesViewsWithoutFourBytePixels)
{
    QImage view(10, 10, QImage::Format_RGB16);
    view.fill(0);
    KXTest::LogCapture log;
    EXPECT_FALSE(ScaleImage(Coordinates(20, 20), QPointF(0, 0), 1.0, view));
    ASSERT_EQ(log.Messages().size(), 1);
    EXPECT_TRUE(log.Messages()[0].endsWith("file=\"src/KXImage\". ScaleImage: the QImage does not have 32-bit pixels"));
    EXPECT_EQ(view.pixel(0, 0), QColor(Qt::black).rgb());
}

} // namespace
