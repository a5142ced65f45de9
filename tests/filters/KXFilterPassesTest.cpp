#include "KXFilterPasses.h"
#include "KXTestSupport.h"
#include "VQTileManager64.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Image = KXImageRGBA32i;

Image RandomImage(int width, int height, unsigned int seed)
{
    Image image(static_cast<unsigned int>(width), static_cast<unsigned int>(height));
    std::mt19937 random(seed);
    std::vector<KXRGBA32i> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (KXRGBA32i& p : row)
            p = KXRGBA32i(random());
        image.SetLine(unsigned(y), row.data(), unsigned(width) * 4);
    }
    return image;
}

// A probe kernel: destination i takes the source pixel `shift` places
// further along (clamped), and reads that far on the side it looks.
class ShiftKernel : public KXLineKernelBase {
public:
    explicit ShiftKernel(int shift) : m_shift(shift) {}
    int Left() const { return m_shift < 0 ? -m_shift : 0; }
    int Right() const { return m_shift > 0 ? m_shift : 0; }
    void operator()(int i) const { Out(i) = At(Position(i) + m_shift); }
    void Span(int first, int end) const
    {
        for (int i = first; i < end; ++i)
            (*this)(i);
    }

private:
    int m_shift;
};

template <class Pass>
void RunPlain(Pass& pass)
{
    int steps = 0;
    while (!pass.Step())
        ++steps;
    EXPECT_EQ(steps + 1, pass.Lines() > 0 ? pass.Lines() : 1);
}

} // namespace

TEST(KXKernelPass, SegmentsAlignAndClampAtTheImageEdge)
{
    // 300 x 200 crosses tile borders both ways. Within the area every pixel
    // becomes the original pixel `shift` places along its line, clamped to
    // the image (not to the area); outside the area nothing changes.
    const Image original = RandomImage(300, 200, 1);
    const struct {
        QRect rect;
        int shift;
        KXPassDirection direction;
    } cases[] = {
        {QRect(120, 100, 150, 40), 3, KXPassDirection::Horizontal},
        {QRect(120, 100, 180, 40), 3, KXPassDirection::Horizontal},  // reaches the right edge
        {QRect(0, 0, 50, 200), -2, KXPassDirection::Horizontal},     // clamps at the left edge
        {QRect(100, 120, 40, 80), 5, KXPassDirection::Vertical},     // reaches the bottom
        {QRect(127, 0, 3, 129), -4, KXPassDirection::Vertical},
        {QRect(), 1, KXPassDirection::Vertical},                     // null: whole image
        {QRect(-50, -50, 400, 100), -1, KXPassDirection::Horizontal}, // cut to the image
    };
    for (const auto& c : cases) {
        Image image = original;
        KXKernelPass<ShiftKernel> pass(image, c.rect, ShiftKernel(c.shift), c.direction);
        const QRect area = c.rect.isNull() ? image.Rect() : (c.rect & image.Rect());
        EXPECT_EQ(pass.Lines(), c.direction == KXPassDirection::Horizontal ? area.height() : area.width());
        RunPlain(pass);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x) {
                int sx = x, sy = y;
                if (area.contains(x, y)) {
                    if (c.direction == KXPassDirection::Horizontal)
                        sx = std::clamp(x + c.shift, 0, 299);
                    else
                        sy = std::clamp(y + c.shift, 0, 199);
                }
                ASSERT_EQ(image.GetColor(x, y), original.GetColor(sx, sy))
                    << "case " << c.rect.x() << "," << c.rect.y() << " pixel " << x << "," << y;
            }
    }
}

TEST(KXKernelPass, AnAreaOutsideTheImageHasNoLines)
{
    Image image = RandomImage(200, 100, 2);
    const Image before = image;
    for (const QRect& rect : {QRect(200, 0, 10, 10), QRect(-20, -20, 10, 10), QRect(5, 5, 0, 5), QRect(0, 100, 200, 5)}) {
        KXKernelPass<KXGaussian1D> pass(image, rect, KXGaussian1D(2.0), KXPassDirection::Horizontal);
        EXPECT_EQ(pass.Lines(), 0);
        EXPECT_TRUE(pass.Finished());
        EXPECT_TRUE(pass.Step());
    }
    // Nothing was written: every tile is still shared with `before`.
    for (unsigned int row = 0; row < image.TileRows(); ++row)
        for (unsigned int column = 0; column < image.TileColumns(); ++column)
            EXPECT_EQ(image.Tile(column, row)->data(), before.Tile(column, row)->data());
}

// The box pass against a plain scalar box written here: the window of
// 2r + 1 pixels centred on x, positions outside the image clamped (RGBA) or
// transparent (alpha), each channel sum / count.
TEST(KXBoxPass, SlidingWindowMatchesThePlainSum)
{
    const Image original = RandomImage(260, 140, 3);
    const struct {
        QRect rect;
        int radius;
        KXPassDirection direction;
    } cases[] = {
        {QRect(), 2, KXPassDirection::Horizontal},
        {QRect(100, 10, 60, 120), 7, KXPassDirection::Vertical},
        {QRect(3, 130, 257, 10), 0, KXPassDirection::Horizontal},
        {QRect(250, 0, 10, 140), 40, KXPassDirection::Horizontal}, // window wider than the area
    };
    for (const auto& c : cases) {
        Image rgba = original, alpha = original;
        KXBoxPass<KXRGBABlurAccumulator> rgbaPass(rgba, c.rect, KXRGBABlurAccumulator(c.radius), c.direction);
        KXBoxPass<KXAlphaBlurAccumulator> alphaPass(alpha, c.rect, KXAlphaBlurAccumulator(c.radius), c.direction);
        RunPlain(rgbaPass);
        RunPlain(alphaPass);
        const QRect area = c.rect.isNull() ? original.Rect() : (c.rect & original.Rect());
        const bool h = c.direction == KXPassDirection::Horizontal;
        const int extent = h ? 260 : 140, count = 2 * c.radius + 1;
        for (int y = 0; y < 140; ++y)
            for (int x = 0; x < 260; ++x) {
                if (!area.contains(x, y)) {
                    ASSERT_EQ(rgba.GetColor(x, y), original.GetColor(x, y));
                    ASSERT_EQ(alpha.GetColor(x, y), original.GetColor(x, y));
                    continue;
                }
                int sums[4] = {0, 0, 0, 0}, alphaSum = 0;
                for (int k = -c.radius; k <= c.radius; ++k) {
                    const int at = (h ? x : y) + k;
                    const int clamped = std::clamp(at, 0, extent - 1);
                    const KXRGBA32i p = h ? original.GetColor(clamped, y) : original.GetColor(x, clamped);
                    sums[0] += p.b, sums[1] += p.g, sums[2] += p.r, sums[3] += p.a;
                    if (at == clamped)
                        alphaSum += p.a;
                }
                const KXRGBA32i got = rgba.GetColor(x, y);
                ASSERT_EQ(got.b, sums[0] / count);
                ASSERT_EQ(got.g, sums[1] / count);
                ASSERT_EQ(got.r, sums[2] / count);
                ASSERT_EQ(got.a, sums[3] / count) << x << "," << y;
                KXRGBA32i expected = original.GetColor(x, y);
                expected.a = static_cast<uint8_t>(alphaSum / count);
                ASSERT_EQ(alpha.GetColor(x, y), expected) << x << "," << y;
            }
    }
}

TEST(KXBoxPass, RefusesANegativeRadius)
{
    Image image(10, 10);
    KXTest::LogCapture log;
    KXBoxPass<KXAlphaBlurAccumulator> pass(image, QRect(), KXAlphaBlurAccumulator(-3), KXPassDirection::Vertical);
    EXPECT_EQ(pass.Lines(), 0);
    ASSERT_EQ(log.Messages().size(), 1);
    EXPECT_EQ(log.Messages()[0].mid(log.Messages()[0].indexOf(QLatin1String("\". ")) + 3),
              QStringLiteral("Box radius -3 refused: it must lie in 0 ... 4194304"));
}

// The alpha-weighted box line has a line function of its own; it must give
// the accumulator's pixels, also where alpha averages to 0 and beyond the
// radius it handles (32767 falls back to the accumulator).
TEST(KXBoxPass, WeightedLineMatchesTheAccumulator)
{
    std::mt19937 random(21);
    for (int radius : {0, 1, 5, 50, 300, 32767}) {
        for (int length : {1, 7, 1000}) {
            KXPixelLine source(static_cast<size_t>(length));
            for (KXRGBA32i& p : source) {
                p = KXRGBA32i(random());
                if (random() % 3 == 0)
                    p.a = random() % 2 ? 0 : 255;
                if (random() % 5 == 0)
                    p.a = 1;
            }
            for (const QRect& area : {QRect(0, 0, length, 1), QRect(length / 3, 0, length / 2 + 1, 1)}) {
                const KXPassGeometry g = KXPassGeometry::Make(QRect(0, 0, length, 1), area, radius + 1, radius,
                                                              KXPassDirection::Horizontal);
                const KXPixelLine segment(source.begin() + g.sourceStart,
                                          source.begin() + g.sourceStart + g.sourceLength);
                KXPixelLine fast(static_cast<size_t>(g.destinationLength)), plain(fast.size());
                KXRGBABlurAccumulatorPremul a(radius), b(radius);
                KXSlideBox(g, segment, fast, a);
                KXSlideBox<KXRGBABlurAccumulatorPremul>(g, segment, plain, b);
                for (size_t i = 0; i < fast.size(); ++i)
                    ASSERT_EQ(fast[i].value, plain[i].value) << "radius " << radius << " length " << length << " at " << i;
            }
        }
    }
}
