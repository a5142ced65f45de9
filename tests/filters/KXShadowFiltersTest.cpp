// The shadow filters against a plain two-pass box written from the
// definition, the masked layer, the shared canvas, ranges and cancelling.

#include "KXShadowFilters.h"
#include "KXFilterPasses.h"
#include "KXFilterTestImages.h"
#include "filters/KXAlphaBoxRun.h"

#include <gtest/gtest.h>

using KXFilterTest::Pixels;
using KXFilterTest::RandomImage;

namespace {

const QColor kColour(40, 90, 200, 255);
const uint32_t kRGB = 0x00285AC8u; // kColour without alpha

// Alpha after a horizontal then a vertical box of radius n, transparent
// beyond the w x h canvas, each average truncated.
std::vector<int> PlainBox(const std::vector<int>& a, int w, int h, int n)
{
    std::vector<int> rows(a.size()), out(a.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sum = 0;
            for (int k = -n; k <= n; ++k)
                sum += (x + k >= 0 && x + k < w) ? a[size_t(y * w + x + k)] : 0;
            rows[size_t(y * w + x)] = sum / (2 * n + 1);
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sum = 0;
            for (int k = -n; k <= n; ++k)
                sum += (y + k >= 0 && y + k < h) ? rows[size_t((y + k) * w + x)] : 0;
            out[size_t(y * w + x)] = sum / (2 * n + 1);
        }
    return out;
}

template <class Processing, class Data>
auto RunFilter(Data data, int& range, std::vector<int>& progress, bool cancelled = false)
{
    QReadWriteLock lock;
    bool cancel = cancelled;
    Processing filter(lock, cancel);
    QObject::connect(&filter, &KXAdjustmentProcessing::ProgressChanged, [&](int v) { progress.push_back(v); });
    auto result = filter.run(data);
    range = filter.GetMaximumRange();
    return result;
}

template <class Data>
Data Shadow(const KXImageRGBA32i& layer, int size)
{
    Data data;
    data.image = layer;
    data.maskFlag = 1;
    data.size = size;
    data.colour = kColour;
    return data;
}

} // namespace

// Size 3 on a 200 x 100 layer: canvas tiles -1 … 1 by -1 … 0 (384 x 256 at
// -128,-128), range 384 + 256 (+ 6 tiles inside). Fields other than the
// colour and the size change nothing.
TEST(KXShadowFilters, BlurredShapeOnAWholeTileCanvas)
{
    const KXImageRGBA32i layer = RandomImage(200, 100, 7);
    const std::vector<KXRGBA32i> source = Pixels(layer);
    std::vector<int> alpha(384 * 256, 0);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            alpha[size_t((y + 128) * 384 + x + 128)] = source[size_t(y * 200 + x)].a;
    const std::vector<int> blurred = PlainBox(alpha, 384, 256, 3);

    for (const bool inner : {false, true}) {
        SCOPED_TRACE(inner ? "inner" : "drop");
        int range = 0, otherRange = 0;
        std::vector<int> progress, other;
        KXImageRGBA32i shadow, again;
        QPoint origin;
        if (inner) {
            auto data = Shadow<KXInnerShadowProcessing::InnerShadowData>(layer, 3);
            const auto result = RunFilter<KXInnerShadowProcessing>(data, range, progress);
            shadow = result.shadow;
            origin = result.origin;
            // The masked layer lands on the canvas by sharing its tiles.
            EXPECT_EQ(result.layer.Tile(1, 1)->constData(), layer.Tile(0, 0)->constData());
            EXPECT_EQ(result.layer.Tile(2, 1)->constData(), layer.Tile(1, 0)->constData());
            data.extra1 = data.extra2 = data.extra3 = data.extra4 = data.extra5 = 7;
            again = RunFilter<KXInnerShadowProcessing>(data, otherRange, other).shadow;
        } else {
            auto data = Shadow<KXDropShadowProcessing::DropShadowData>(layer, 3);
            const auto result = RunFilter<KXDropShadowProcessing>(data, range, progress);
            shadow = result.shadow;
            origin = result.origin;
            data.extra1 = data.extra2 = data.extra3 = data.extra4 = data.extra5 = 7;
            again = RunFilter<KXDropShadowProcessing>(data, otherRange, other).shadow;
        }
        EXPECT_EQ(origin, QPoint(-128, -128));
        ASSERT_EQ(shadow.Rect(), QRect(0, 0, 384, 256));
        EXPECT_EQ(range, inner ? 640 + 6 : 640);
        EXPECT_EQ(progress.size(), size_t(range));
        EXPECT_EQ(progress.back(), range);
        const std::vector<KXRGBA32i> out = Pixels(shadow);
        for (size_t i = 0; i < out.size(); ++i) {
            const int expected = inner ? 255 - blurred[i] : blurred[i];
            ASSERT_EQ(out[i].value, kRGB | uint32_t(expected) << 24) << "pixel " << i % 384 << "," << i / 384;
        }
        EXPECT_EQ(Pixels(again), out);
    }
}

// Size 0: the layer's own tiles, one step per tile (300 x 200: 6 tiles).
// The mask weights the layer: flag 1 with no mask copies it; a mask lying
// at the mask position keeps only what it covers, and with flag 0 nothing
// outside it.
TEST(KXShadowFilters, SizeZeroColorizesTheMaskedLayer)
{
    KXImageRGBA32i opaque(300, 200);
    opaque.Fill(KXRGBA32i(0xFF123456u));
    KXImageRGBA32i mask(100, 200); // opaque, lying on columns 50 … 149
    mask.Fill(KXRGBA32i(0xFF000000u));
    struct Case {
        bool inner;
        int flag;
        bool withMask;
        int alphaAt10, alphaAt100; // at (10, 10) and (100, 10)
        int range;
    };
    for (const Case& c : {Case{false, 1, false, 255, 255, 6}, Case{true, 1, false, 0, 0, 12},
                          Case{false, 0, false, 0, 0, 6}, Case{false, 0, true, 0, 255, 6},
                          Case{false, 1, true, 255, 255, 6}, Case{true, 0, true, 255, 0, 12}}) {
        SCOPED_TRACE(testing::Message() << c.inner << c.flag << c.withMask);
        int range = 0;
        std::vector<int> progress;
        KXImageRGBA32i shadow;
        auto data = Shadow<KXDropShadowProcessing::DropShadowData>(opaque, 0);
        data.maskFlag = c.flag;
        data.layerMask = c.withMask ? mask : KXImageRGBA32i();
        data.maskPosition = QPoint(50, 0);
        if (c.inner) {
            KXInnerShadowProcessing::InnerShadowData inner;
            static_cast<KXShadowParamsFields&>(inner) = data;
            static_cast<KXFilterData&>(inner) = data;
            shadow = RunFilter<KXInnerShadowProcessing>(inner, range, progress).shadow;
        } else {
            shadow = RunFilter<KXDropShadowProcessing>(data, range, progress).shadow;
        }
        EXPECT_EQ(range, c.range);
        EXPECT_EQ(progress.size(), size_t(c.range));
        ASSERT_EQ(shadow.Rect(), opaque.Rect());
        EXPECT_EQ(shadow.GetColor(10, 10).value, kRGB | uint32_t(c.alphaAt10) << 24);
        EXPECT_EQ(shadow.GetColor(100, 10).value, kRGB | uint32_t(c.alphaAt100) << 24);
        EXPECT_EQ(shadow.GetColor(299, 199).a, c.alphaAt10);
    }
    EXPECT_EQ(opaque.GetColor(0, 0).value, 0xFF123456u);
}

// A cancel before the run: the range is announced, no step is done.
TEST(KXShadowFilters, CancelledBeforeTheRunDoesNoStep)
{
    const KXImageRGBA32i layer = RandomImage(130, 10, 3);
    for (const int size : {0, 5}) {
        int range = 0;
        std::vector<int> progress;
        RunFilter<KXDropShadowProcessing>(Shadow<KXDropShadowProcessing::DropShadowData>(layer, size), range, progress, true);
        EXPECT_EQ(range, size == 0 ? 2 : 384 + 256);
        EXPECT_TRUE(progress.empty());
    }
}

namespace {

// An accumulator whose sum a test may set.
template <class A>
struct WithSum : A {
    using A::A;
    void Set(int sum) { this->m_alpha = sum; }
};

// Finalize of the fast accumulator and of its base for the same sum.
template <class Base, class... Args>
void ExpectSameAverages(int radius, Args... args)
{
    WithSum<Base> plain(radius, args...);
    WithSum<KXAlphaBoxRun<Base>> fast(radius, args...);
    const int count = 2 * radius + 1;
    const auto check = [&](int sum) {
        KXRGBA32i a(0x12345678u), b(0x12345678u);
        plain.Set(sum);
        fast.Set(sum);
        plain.Finalize(a);
        fast.Finalize(b);
        ASSERT_EQ(a.value, b.value) << "radius " << radius << ", sum " << sum;
    };
    if (radius <= 100)
        for (int sum = 0; sum <= 255 * count; ++sum)
            check(sum);
    else // every quotient's first and last sum, up to 255 count
        for (int q = 0; q <= 255; ++q) {
            check(q * count);
            if (q < 255)
                check(q * count + count - 1);
        }
}

} // namespace

// The alpha accumulators' division by multiplication against their own
// division, over every sum (or every quotient's edges) of a window.
TEST(KXShadowFilters, ExactDivisionAveragesAsTheAccumulators)
{
    for (const int radius : {0, 1, 2, 3, 20, 100, 1000, 12345, KXBoxPassMaxRadius}) {
        ExpectSameAverages<KXAlphaBlurAccumulator>(radius);
        ExpectSameAverages<KXAlphaBlurAccumulatorWithInvert>(radius);
        ExpectSameAverages<KXAlphaBlurAccumulatorWithRGBColorize>(radius, KXRGBA32i(0x80FF8040u));
    }
}
