// The shadow filters against a plain two-pass box written from the
// definition, the masked layer, the shared canvas and the ranges; the
// accumulators' division by multiplication against their own.

#include "KXFilterPasses.h"
#include "KXFilterTestImages.h"
#include "KXShadowFilters.h"
#include "KXAlphaBoxRun.h"

#include <gtest/gtest.h>

using KXFilterTest::Pixels;

namespace {

const uint32_t kRGB = 0x00285AC8u; // the shadow colour (40, 90, 200) without alpha

template <class P>
struct Records;
template <>
struct Records<KXDropShadowProcessing> {
    using Data = KXDropShadowProcessing::DropShadowData;
    using Result = KXDropShadowProcessing::DropShadowResult;
};
template <>
struct Records<KXInnerShadowProcessing> {
    using Data = KXInnerShadowProcessing::InnerShadowData;
    using Result = KXInnerShadowProcessing::InnerShadowResult;
};

// A run of filter P on `image`, its mask at column 50; the result, range
// and progress values.
template <class P>
struct Shadow {
    typename Records<P>::Result result;
    int range = 0;
    std::vector<int> progress;

    Shadow(const KXImageRGBA32i& image, int size, int flag, const KXImageRGBA32i& mask = KXImageRGBA32i(), int extra = 0)
    {
        QReadWriteLock lock;
        bool cancel = false;
        P filter(lock, cancel);
        QObject::connect(&filter, &KXAdjustmentProcessing::ProgressChanged, [&](int v) { progress.push_back(v); });
        typename Records<P>::Data data;
        data.image = image;
        data.layerMask = mask;
        data.maskPosition = QPoint(50, 0);
        data.maskFlag = flag;
        data.size = size;
        data.colour = QColor(40, 90, 200);
        data.extra1 = data.extra2 = data.extra3 = data.extra4 = data.extra5 = extra;
        result = filter.run(data);
        range = filter.GetMaximumRange();
    }
};

// Alpha after a horizontal then a vertical box of radius n, transparent
// beyond the w x h canvas, each average truncated.
std::vector<int> PlainBox(const std::vector<int>& a, int w, int h, int n)
{
    std::vector<int> rows(a.size()), out(a.size());
    for (int pass = 0; pass < 2; ++pass)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sum = 0;
                for (int k = -n; k <= n; ++k) {
                    const int u = pass ? x : x + k, v = pass ? y + k : y;
                    sum += (u >= 0 && u < w && v >= 0 && v < h) ? (pass ? rows : a)[size_t(v * w + u)] : 0;
                }
                (pass ? out : rows)[size_t(y * w + x)] = sum / (2 * n + 1);
            }
    return out;
}

template <class P>
void ExpectBlurredShape(bool inner)
{
    // Size 3 on 200 x 100: canvas tiles -1 … 1 by -1 … 0, 384 x 256 at
    // -128,-128; range 384 + 256 (+ 6 tiles for the inner shadow's colour).
    const KXImageRGBA32i layer = KXFilterTest::RandomImage(200, 100, 7);
    const std::vector<KXRGBA32i> source = Pixels(layer);
    std::vector<int> alpha(384 * 256, 0);
    for (size_t i = 0; i < source.size(); ++i)
        alpha[(i / 200 + 128) * 384 + i % 200 + 128] = source[i].a;
    const std::vector<int> blurred = PlainBox(alpha, 384, 256, 3);
    const Shadow<P> run(layer, 3, 1), other(layer, 3, 1, KXImageRGBA32i(), 7);
    EXPECT_EQ(run.result.origin, QPoint(-128, -128));
    ASSERT_EQ(run.result.shadow.Rect(), QRect(0, 0, 384, 256));
    EXPECT_EQ(run.range, inner ? 640 + 6 : 640);
    EXPECT_EQ(run.progress.size(), size_t(run.range));
    const std::vector<KXRGBA32i> out = Pixels(run.result.shadow);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i].value, kRGB | uint32_t(inner ? 255 - blurred[i] : blurred[i]) << 24) << i % 384 << "," << i / 384;
    EXPECT_EQ(Pixels(other.result.shadow), out) << "fields other than colour and size are not read";
}

} // namespace

TEST(KXShadowFilters, BlurredShapeOnAWholeTileCanvas)
{
    ExpectBlurredShape<KXDropShadowProcessing>(false);
    ExpectBlurredShape<KXInnerShadowProcessing>(true);
    // The masked layer lands on the canvas by sharing its tiles.
    const KXImageRGBA32i layer = KXFilterTest::RandomImage(200, 100, 8);
    const Shadow<KXInnerShadowProcessing> inner(layer, 3, 1);
    EXPECT_EQ(inner.result.layer.Tile(1, 1)->constData(), layer.Tile(0, 0)->constData());
    EXPECT_EQ(inner.result.layer.Tile(2, 1)->constData(), layer.Tile(1, 0)->constData());
}

// Size 0 on 300 x 200 (6 tiles, one step each and stage). Flag 1 without a
// mask takes the whole layer; the mask (opaque, 100 wide at column 50)
// keeps what it covers, and with flag 0 nothing outside it.
TEST(KXShadowFilters, SizeZeroColorizesTheMaskedLayer)
{
    KXImageRGBA32i opaque(300, 200), mask(100, 200);
    opaque.Fill(KXRGBA32i(0xFF123456u));
    mask.Fill(KXRGBA32i(0xFF000000u));
    struct Case {
        bool inner, withMask;
        int flag, outside, inside; // alpha at (10, 10), (100, 10)
    };
    for (const Case& c : {Case{false, false, 1, 255, 255}, Case{true, false, 1, 0, 0}, Case{false, false, 0, 0, 0},
                          Case{false, true, 0, 0, 255}, Case{false, true, 1, 255, 255}, Case{true, true, 0, 255, 0}}) {
        SCOPED_TRACE(testing::Message() << c.inner << c.withMask << c.flag);
        const KXImageRGBA32i m = c.withMask ? mask : KXImageRGBA32i();
        const auto drop = Shadow<KXDropShadowProcessing>(opaque, 0, c.flag, m);
        const auto inner = Shadow<KXInnerShadowProcessing>(opaque, 0, c.flag, m);
        const KXImageRGBA32i& shadow = c.inner ? inner.result.shadow : drop.result.shadow;
        EXPECT_EQ(c.inner ? inner.range : drop.range, c.inner ? 12 : 6);
        EXPECT_EQ((c.inner ? inner.progress : drop.progress).size(), c.inner ? 12u : 6u);
        ASSERT_EQ(shadow.Rect(), opaque.Rect());
        EXPECT_EQ(shadow.GetColor(10, 10).value, kRGB | uint32_t(c.outside) << 24);
        EXPECT_EQ(shadow.GetColor(100, 10).value, kRGB | uint32_t(c.inside) << 24);
        EXPECT_EQ(shadow.GetColor(299, 199).a, c.outside);
    }
    EXPECT_EQ(opaque.GetColor(0, 0).value, 0xFF123456u);
}

namespace {

template <class A>
struct WithSum : A { // an accumulator whose sum a test may set
    using A::A;
    void Set(int sum) { this->m_alpha = sum; }
};

template <class Base, class... Args>
void ExpectSameAverages(int radius, Args... args)
{
    WithSum<Base> plain(radius, args...);
    WithSum<KXAlphaBoxRun<Base>> fast(radius, args...);
    const int count = 2 * radius + 1;
    // Every sum of small windows; every quotient's first and last sum else.
    for (int q = 0; q <= 255; ++q)
        for (int64_t first = int64_t(q) * count, sum = first; sum <= first + (q < 255 ? count - 1 : 0);
             sum += radius <= 100 || sum == first + count - 2 ? 1 : std::max(1, count - 2)) {
            KXRGBA32i a(0x12345678u), b(0x12345678u);
            plain.Set(int(sum));
            fast.Set(int(sum));
            plain.Finalize(a);
            fast.Finalize(b);
            ASSERT_EQ(a.value, b.value) << "radius " << radius << ", sum " << sum;
        }
}

} // namespace

TEST(KXShadowFilters, ExactDivisionAveragesAsTheAccumulators)
{
    for (const int radius : {0, 1, 2, 3, 20, 100, 1000, 12345, KXBoxPassMaxRadius}) {
        ExpectSameAverages<KXAlphaBlurAccumulator>(radius);
        ExpectSameAverages<KXAlphaBlurAccumulatorWithInvert>(radius);
        ExpectSameAverages<KXAlphaBlurAccumulatorWithRGBColorize>(radius, KXRGBA32i(0x80FF8040u));
    }
}
