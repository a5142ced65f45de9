#include "KXFilterPasses.h"
#include "KXBoxBand.h"
#include "KXFilterTestImages.h"

#include <gtest/gtest.h>

#include <random>

using KXFilterTest::RandomImage;

namespace {

// A probe kernel: destination i takes the source pixel `shift` places along
// (clamped), reading that far on the side it looks.
class ShiftKernel : public KXLineKernelBase {
public:
    explicit ShiftKernel(int shift) : m_shift(shift) {}
    int Left() const { return std::max(0, -m_shift); }
    int Right() const { return std::max(0, m_shift); }
    void operator()(int i) const { Out(i) = At(Position(i) + m_shift); }
    void Span(int first, int end) const
    {
        for (int i = first; i < end; ++i)
            (*this)(i);
    }

private:
    int m_shift;
};

// Steps a pass to its end; Step returns Finished() after the last line.
template <class Pass>
void RunPlain(Pass& pass)
{
    int steps = 1;
    while (!pass.Step())
        ++steps;
    EXPECT_EQ(steps, std::max(1, pass.Lines()));
}


} // namespace

TEST(KXKernelPass, SegmentsAlignAndClampAtTheImageEdge)
{
    // 300 x 200 crosses tile borders. Inside the area each pixel becomes the
    // original one `shift` places along, clamped to the image (not the
    // area); outside nothing changes.
    const KXImageRGBA32i original = RandomImage(300, 200, 1);
    const struct {
        QRect rect;
        int shift;
        bool horizontal;
    } cases[] = {
        {QRect(120, 100, 180, 40), 3, true},  // reaches the right edge
        {QRect(0, 0, 50, 200), -2, true},     // clamps at the left edge
        {QRect(100, 120, 40, 80), 5, false},  // reaches the bottom
        {QRect(127, 0, 3, 129), -4, false},
        {QRect(), 1, false},                  // null: the whole image
        {QRect(-50, -50, 400, 100), -1, true}, // cut to the image
        {QRect(300, 0, 10, 10), 2, true},     // outside: no lines, no tile detached
        {QRect(5, 5, 0, 5), 2, false},
    };
    for (const auto& c : cases) {
        KXImageRGBA32i image = original;
        const auto direction = c.horizontal ? KXPassDirection::Horizontal : KXPassDirection::Vertical;
        KXKernelPass<ShiftKernel> pass(image, c.rect, ShiftKernel(c.shift), direction);
        const QRect area = c.rect.isNull() ? image.Rect() : (c.rect & image.Rect());
        EXPECT_EQ(pass.Lines(), c.horizontal ? area.height() : area.width());
        RunPlain(pass);
        if (area.isEmpty()) { // nothing detached
            EXPECT_EQ(image.Tile(2, 1)->data(), original.Tile(2, 1)->data());
        }
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x) {
                const bool in = area.contains(x, y);
                const int sx = in && c.horizontal ? std::clamp(x + c.shift, 0, 299) : x;
                const int sy = in && !c.horizontal ? std::clamp(y + c.shift, 0, 199) : y;
                ASSERT_EQ(image.GetColor(x, y), original.GetColor(sx, sy)) << c.rect.x() << " at " << x << "," << y;
            }
    }
}

TEST(KXBoxPass, HandWorkedWindows)
{
    // r = 1 on 30, 0, 0, 90 (every byte) along a row and a column: outside
    // positions repeat the edge pixel (RGBA) or are transparent (alpha), and
    // the window over an area starts one pixel before it.
    const uint32_t line[] = {0x1E1E1E1Eu, 0, 0, 0x5A5A5A5Au};
    const struct {
        QRect area;
        std::vector<uint32_t> rgba, alpha;
    } cases[] = {
        {QRect(), {0x14141414u, 0x0A0A0A0Au, 0x1E1E1E1Eu, 0x3C3C3C3Cu},
         {0x0A1E1E1Eu, 0x0A000000u, 0x1E000000u, 0x1E5A5A5Au}},
        {QRect(1, 0, 2, 1), {0x1E1E1E1Eu, 0x0A0A0A0Au, 0x1E1E1E1Eu, 0x5A5A5A5Au},
         {0x1E1E1E1Eu, 0x0A000000u, 0x1E000000u, 0x5A5A5A5Au}},
    };
    for (const auto& c : cases)
        for (bool horizontal : {true, false}) {
            KXImageRGBA32i rgba(horizontal ? 4 : 1, horizontal ? 1 : 4);
            for (int i = 0; i < 4; ++i)
                rgba.SetColor(horizontal ? i : 0, horizontal ? 0 : i, KXRGBA32i(line[i]));
            KXImageRGBA32i alpha = rgba;
            const QRect area = horizontal ? c.area : QRect(c.area.y(), c.area.x(), c.area.height(), c.area.width());
            const auto direction = horizontal ? KXPassDirection::Horizontal : KXPassDirection::Vertical;
            KXBoxPass<KXRGBABlurAccumulator> rgbaPass(rgba, area, KXRGBABlurAccumulator(1), direction);
            KXBoxPass<KXAlphaBlurAccumulator> alphaPass(alpha, area, KXAlphaBlurAccumulator(1), direction);
            RunPlain(rgbaPass);
            RunPlain(alphaPass);
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(rgba.GetColor(horizontal ? i : 0, horizontal ? 0 : i).value, c.rgba[size_t(i)]) << i;
                EXPECT_EQ(alpha.GetColor(horizontal ? i : 0, horizontal ? 0 : i).value, c.alpha[size_t(i)]) << i;
            }
        }
}

// The alpha-weighted box line has a fast line function of its own; it must
// give the accumulator's pixels, also where alpha averages to 0 and beyond
// the radius it handles (32767 falls back to the accumulator).
TEST(KXBoxPass, WeightedLineMatchesTheAccumulator)
{
    std::mt19937 random(21);
    for (int radius : {0, 1, 5, 300, 32767}) {
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
                ASSERT_EQ(fast, plain) << "radius " << radius << " length " << length;
            }
        }
    }
}
