// The two blur filters: the whole-image and area cases against a plain
// reference and against each other, the merge through the selection, the
// range and progress, cancellation, tile sharing, runEx's growth, and the
// two line schemes giving the same pixels and progress.

#include "KXBlurFilters.h"
#include "KXTestSupport.h"
#include "filters/KXBlurFilterRun.h"

#include <gtest/gtest.h>

#include <QWriteLocker>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using Scheme = KXLineRunner::Scheme;

KXImageRGBA32i RandomImage(int width, int height, unsigned int seed, bool someTransparent = true)
{
    KXImageRGBA32i image(width, height);
    std::mt19937 random(seed);
    std::vector<KXRGBA32i> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (KXRGBA32i& p : row) {
            p.value = random();
            if (someTransparent && (p.value & 0x700) == 0)
                p.a = 0; // coloured but transparent: must never leak colour
        }
        image.SetLine(y, row.data(), width * 4);
    }
    return image;
}

std::vector<KXRGBA32i> Pixels(const KXImageRGBA32i& image)
{
    std::vector<KXRGBA32i> out;
    for (unsigned int y = 0; y < image.Height(); ++y)
        for (unsigned int x = 0; x < image.Width(); ++x)
            out.push_back(image.GetColor(x, y));
    return out;
}

// Records the range and every progress value; sets the cancel flag (under
// the lock for writing, as the owner must) once `cancelAt` steps are done.
struct Observer {
    QReadWriteLock lock;
    bool cancel = false;
    int cancelAt = -1;
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> progress;

    void Watch(KXAdjustmentProcessing& filter)
    {
        QObject::connect(&filter, &KXAdjustmentProcessing::RangeChanged,
                         [this](int minimum, int maximum) { ranges.emplace_back(minimum, maximum); });
        QObject::connect(&filter, &KXAdjustmentProcessing::ProgressChanged, [this](int value) {
            progress.push_back(value);
            if (value == cancelAt) {
                QWriteLocker locker(&lock);
                cancel = true;
            }
        });
    }
    std::vector<int> OneTo(int total) const
    {
        std::vector<int> v(static_cast<size_t>(total));
        for (int i = 0; i < total; ++i)
            v[size_t(i)] = i + 1;
        return v;
    }
};

// The box filter written plainly: every output pixel sums its whole window
// (positions clamped into the image) with the alpha-weighted arithmetic,
// rows first, then columns.
std::vector<KXRGBA32i> PlainBoxBlur(const std::vector<KXRGBA32i>& in, int width, int height, int r)
{
    auto pass = [r](const std::vector<KXRGBA32i>& src, int w, int h, bool rows) {
        std::vector<KXRGBA32i> out(src.size());
        const int count = 2 * r + 1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int a = 0, c[3] = {0, 0, 0};
                for (int k = -r; k <= r; ++k) {
                    const int sx = rows ? std::clamp(x + k, 0, w - 1) : x;
                    const int sy = rows ? y : std::clamp(y + k, 0, h - 1);
                    const KXRGBA32i p = src[size_t(sy) * w + sx];
                    a += p.a;
                    c[0] += p.b * p.a / 255;
                    c[1] += p.g * p.a / 255;
                    c[2] += p.r * p.a / 255;
                }
                KXRGBA32i& o = out[size_t(y) * w + x];
                const int alpha = a / count;
                if (alpha < 1) {
                    o.value = 0;
                    continue;
                }
                o.a = uint8_t(alpha);
                o.b = uint8_t(c[0] / count * 255 / alpha);
                o.g = uint8_t(c[1] / count * 255 / alpha);
                o.r = uint8_t(c[2] / count * 255 / alpha);
            }
        return out;
    };
    return pass(pass(in, width, height, true), width, height, false);
}

// d moved toward s by the selection alpha t: ((255 - t) d + t s) / 255 per byte.
KXRGBA32i Mixed(KXRGBA32i d, KXRGBA32i s, int t)
{
    KXRGBA32i o;
    o.b = uint8_t(((255 - t) * d.b + t * s.b) / 255);
    o.g = uint8_t(((255 - t) * d.g + t * s.g) / 255);
    o.r = uint8_t(((255 - t) * d.r + t * s.r) / 255);
    o.a = uint8_t(((255 - t) * d.a + t * s.a) / 255);
    return o;
}

// One filter as the tests drive it: its run with a chosen scheme.
struct Filter {
    const char* name;
    int margin;
    std::function<KXImageRGBA32i(KXAdjustmentProcessing&, Observer&, const KXFilterData&, Scheme)> run;
};

std::vector<Filter> Filters()
{
    return {
        {"box r 4", 4,
         [](KXAdjustmentProcessing& f, Observer& o, const KXFilterData& d, Scheme s) {
             KXBoxBlurProcessing::BlurData data;
             static_cast<KXFilterData&>(data) = d;
             data.radius = 4;
             return KXBlurFilterRun::Box(f, o.lock, o.cancel, data, s);
         }},
        {"gaussian sigma 1.5", 4,
         [](KXAdjustmentProcessing& f, Observer& o, const KXFilterData& d, Scheme s) {
             KXGaussianBlurProcessing::BlurData data;
             static_cast<KXFilterData&>(data) = d;
             data.sigma = 1.5;
             return KXBlurFilterRun::Gaussian(f, o.lock, o.cancel, data, s);
         }},
    };
}

} // namespace

TEST(KXBlurFilters, BoxWholeImageMatchesPlainWindowSums)
{
    // 300 x 200 crosses tile borders in both directions; radius 0 included.
    const KXImageRGBA32i input = RandomImage(300, 200, 7);
    for (int radius : {0, 1, 5, 130}) {
        SCOPED_TRACE(radius);
        QReadWriteLock lock;
        bool cancel = false;
        KXBoxBlurProcessing filter(lock, cancel);
        EXPECT_STREQ(filter.metaObject()->className(), "KXAdjustmentProcessing");
        KXBoxBlurProcessing::BlurData data;
        data.image = input;
        data.radius = radius;
        const KXImageRGBA32i out = filter.run(data);
        EXPECT_EQ(Pixels(out), PlainBoxBlur(Pixels(input), 300, 200, radius));
        EXPECT_EQ(filter.GetMaximumRange(), 500);
        EXPECT_EQ(filter.GetRangeValue(), 500);
    }
    // Radius 0 by hand: colour ((100 * 3) / 255 * 255) / 3 = 85 at alpha 3;
    // alpha 0 gives the zero pixel.
    KXImageRGBA32i two(2, 1);
    two.SetColor(0, 0, KXRGBA32i(0x03646464));
    two.SetColor(1, 0, KXRGBA32i(0x00ffffff));
    QReadWriteLock lock;
    bool cancel = false;
    KXBoxBlurProcessing filter(lock, cancel);
    KXBoxBlurProcessing::BlurData data;
    data.image = two;
    data.radius = 0;
    const KXImageRGBA32i out = filter.run(data);
    EXPECT_EQ(out.GetColor(0, 0).value, 0x03555555u);
    EXPECT_EQ(out.GetColor(1, 0).value, 0u);
}

TEST(KXBlurFilters, AreaCaseIsTheWholeBlurMergedThroughTheSelection)
{
    // Inside the area the area blur equals the whole-image blur (rows above
    // and below the area are blurred along rows first), mixed into the layer
    // by the selection alpha; outside nothing changes. The selection image
    // ends before the area does, so rows and columns beyond it stay too.
    const int width = 300, height = 260;
    const KXImageRGBA32i input = RandomImage(width, height, 11);
    KXImageRGBA32i selection(150, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 150; ++x)
            selection.SetColor(x, y, KXRGBA32i(uint32_t((x * 7 + y * 3) % 256) << 24 | 0x123456));
    struct Area {
        QRect rect;
        QPoint offset;
    };
    // Inside, across tile borders, at the image's edge, partly outside it.
    const Area areas[] = {{QRect(10, 20, 200, 150), QPoint(120, 100)},
                          {QRect(0, 0, 150, 120), QPoint(-20, -30)},
                          {QRect(40, 50, 200, 200), QPoint(200, 200)}};
    for (const Filter& f : Filters()) {
        for (const Area& area : areas) {
            SCOPED_TRACE(testing::Message() << f.name << " area " << area.rect.x() << "," << area.rect.y());
            Observer o;
            KXAdjustmentProcessing whole;
            KXFilterData data;
            data.image = input;
            const std::vector<KXRGBA32i> blurred = Pixels(f.run(whole, o, data, Scheme::ConcurrentLines));

            data.selection = selection;
            data.selectionRect = area.rect;
            data.offset = area.offset;
            KXAdjustmentProcessing processing;
            o.Watch(processing);
            const std::vector<KXRGBA32i> out = Pixels(f.run(processing, o, data, Scheme::ConcurrentLines));
            const std::vector<KXRGBA32i> in = Pixels(input);
            const QRect a = area.rect.translated(area.offset) & QRect(0, 0, width, height);
            const QRect merged = a & selection.Rect().translated(area.offset);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const size_t i = size_t(y) * width + x;
                    const KXRGBA32i expected =
                        merged.contains(x, y)
                            ? Mixed(in[i], blurred[i], selection.GetColor(x - area.offset.x(), y - area.offset.y()).a)
                            : in[i];
                    ASSERT_EQ(out[i].value, expected.value) << x << "," << y;
                }
            // Rows of A grown by the margin, columns of A, merged rows.
            const QRect rows = a.adjusted(-f.margin, -f.margin, f.margin, f.margin) & QRect(0, 0, width, height);
            const int total = rows.height() + a.width() + merged.height();
            EXPECT_EQ(o.ranges, (std::vector<std::pair<int, int>>{{0, total}}));
            EXPECT_EQ(o.progress, o.OneTo(total));
        }
    }
}

TEST(KXBlurFilters, SchemesAgreeAndCancellingStopsBetweenSteps)
{
    const KXImageRGBA32i input = RandomImage(270, 140, 5);
    KXImageRGBA32i selection(270, 140);
    selection.Fill(KXRGBA32i(0xff000000));
    for (const Filter& f : Filters()) {
        for (bool area : {false, true}) {
            SCOPED_TRACE(testing::Message() << f.name << (area ? " area" : " whole"));
            KXFilterData data;
            data.image = input;
            if (area) {
                data.selection = selection;
                data.selectionRect = QRect(100, 30, 140, 100);
            }
            // Both schemes: the same pixels, the same progress.
            std::vector<KXRGBA32i> results[2];
            std::vector<int> progress[2];
            for (int s = 0; s < 2; ++s) {
                Observer o;
                KXAdjustmentProcessing p;
                o.Watch(p);
                results[s] = Pixels(f.run(p, o, data, s ? Scheme::ConcurrentLines : Scheme::OneLineAtATime));
                progress[s] = o.progress;
            }
            EXPECT_EQ(results[0], results[1]);
            EXPECT_EQ(progress[0], progress[1]);
            EXPECT_EQ(progress[0].size(), size_t(area ? 108 + 140 + 100 : 140 + 270));

            // Cancelled before the run: the range is set, no step is done.
            // Cancelled after 50 steps (inside the rows): the plain scheme
            // does no further step; the concurrent one finishes the lines it
            // had admitted (the rest of the rows here) and no more. The area
            // case gives back the layer untouched.
            const int rows = area ? 108 : 140;
            for (Scheme scheme : {Scheme::OneLineAtATime, Scheme::ConcurrentLines}) {
                for (int at : {0, 50}) {
                    Observer o;
                    o.cancel = at == 0;
                    o.cancelAt = at;
                    KXAdjustmentProcessing p;
                    o.Watch(p);
                    const std::vector<KXRGBA32i> out = Pixels(f.run(p, o, data, scheme));
                    EXPECT_EQ(o.ranges.size(), 1u);
                    const int last = at == 0 || scheme == Scheme::OneLineAtATime ? at : rows;
                    EXPECT_EQ(o.progress, o.OneTo(last));
                    if (area || at == 0) {
                        EXPECT_EQ(out, Pixels(input));
                    }
                }
            }
        }
    }
}

TEST(KXBlurFilters, AreaRunCopiesOnlyTheTilesItChanges)
{
    const KXImageRGBA32i input = RandomImage(1024, 640, 3);
    KXImageRGBA32i selection(1024, 640);
    selection.Fill(KXRGBA32i(0x80000000));
    for (const Filter& f : Filters()) {
        SCOPED_TRACE(f.name);
        const long long before = VQTileManager64::Instance()->GetAvailableCount();
        KXFilterData data;
        data.image = input;
        data.selection = selection;
        data.selectionRect = QRect(300, 260, 100, 50); // tiles (2..3, 2)
        Observer o;
        KXAdjustmentProcessing p;
        const KXImageRGBA32i out = f.run(p, o, data, Scheme::ConcurrentLines);
        // The two merged tiles are new; the others are the input's.
        EXPECT_EQ(before - VQTileManager64::Instance()->GetAvailableCount(), 2);
        for (unsigned int row = 0; row < out.TileRows(); ++row)
            for (unsigned int column = 0; column < out.TileColumns(); ++column)
                EXPECT_EQ(out.Tile(column, row)->data() == input.Tile(column, row)->data(),
                          !(row == 2 && (column == 2 || column == 3)))
                    << column << "," << row;
    }
}

TEST(KXBlurFilters, RunExGrowsTheLayerWithinTheBounds)
{
    const KXImageRGBA32i input = RandomImage(100, 50, 9, false);
    QReadWriteLock lock;
    bool cancel = false;
    KXBoxBlurProcessing box(lock, cancel);
    KXGaussianBlurProcessing gaussian(lock, cancel);

    // Bounds equal to the layer: run, origin unchanged.
    KXBoxBlurProcessing::BlurDataEx same;
    same.image = input;
    same.radius = 3;
    same.growthBounds = QRect(0, 0, 100, 50);
    same.layerOrigin = QPoint(7, 8);
    const KXBoxBlurProcessing::ResultEx sameResult = box.runEx(same);
    EXPECT_EQ(sameResult.origin, QPoint(7, 8));
    EXPECT_EQ(Pixels(sameResult.image), Pixels(box.run(same)));

    // Bounds reaching 3 pixels left, 20 up, far right and down: sigma 2 has
    // margin 6, so the layer grows by 3 left, 6 up, 6 right, 6 down.
    KXGaussianBlurProcessing::BlurDataEx grow;
    grow.image = input;
    grow.sigma = 2.0;
    grow.growthBounds = QRect(-3, -20, 400, 400);
    grow.layerOrigin = QPoint(10, 10);
    const KXGaussianBlurProcessing::ResultEx grown = gaussian.runEx(grow);
    EXPECT_EQ(grown.origin, QPoint(7, 4));
    ASSERT_EQ(grown.image.Width(), 109u);
    ASSERT_EQ(grown.image.Height(), 62u);
    // The same as blurring the layer placed by hand on a transparent canvas.
    KXImageRGBA32i canvas(109, 62);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            canvas.SetColor(x + 3, y + 6, input.GetColor(x, y));
    KXGaussianBlurProcessing::BlurData placed;
    placed.image = canvas;
    placed.sigma = 2.0;
    EXPECT_EQ(Pixels(grown.image), Pixels(gaussian.run(placed)));
    EXPECT_GT(grown.image.GetColor(0, 30).a, 0); // the blur spreads past the old edge

    // With a selection the bounds are cut to the area: the area (moved by
    // the offset) reaches past the left edge only, by 4 pixels (less than the
    // margin 6); the offset and the mask position follow the growth.
    KXGaussianBlurProcessing::BlurDataEx area = grow;
    KXImageRGBA32i selection(40, 40);
    selection.Fill(KXRGBA32i(0xff000000));
    area.selection = selection;
    area.selectionRect = QRect(0, 0, 40, 40);
    area.offset = QPoint(-4, 5);
    area.growthBounds = QRect(-50, -50, 300, 300);
    const KXGaussianBlurProcessing::ResultEx cut = gaussian.runEx(area);
    EXPECT_EQ(cut.origin, QPoint(6, 10));
    EXPECT_EQ(cut.image.Width(), 104u);
    EXPECT_EQ(cut.image.Height(), 50u);
    KXImageRGBA32i shifted(104, 50);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x)
            shifted.SetColor(x + 4, y, input.GetColor(x, y));
    placed.image = shifted;
    placed.selection = selection;
    placed.selectionRect = QRect(0, 0, 40, 40);
    placed.offset = QPoint(0, 5);
    EXPECT_EQ(Pixels(cut.image), Pixels(gaussian.run(placed)));
}

TEST(KXBlurFilters, RefusedParametersLeaveTheLayerAndTheRange)
{
    const KXImageRGBA32i input = RandomImage(40, 30, 1);
    QReadWriteLock lock;
    bool cancel = false;
    KXTest::LogCapture log;
    KXBoxBlurProcessing box(lock, cancel);
    KXBoxBlurProcessing::BlurData b;
    b.image = input;
    b.radius = -1;
    EXPECT_EQ(Pixels(box.run(b)), Pixels(input));
    KXGaussianBlurProcessing gaussian(lock, cancel);
    KXGaussianBlurProcessing::BlurDataEx g;
    g.image = input;
    for (double sigma : {0.0, std::nan(""), 1e9}) {
        g.sigma = sigma;
        EXPECT_EQ(Pixels(gaussian.run(g)), Pixels(input));
        EXPECT_EQ(Pixels(gaussian.runEx(g).image), Pixels(input));
    }
    EXPECT_EQ(box.GetMaximumRange(), 0);
    EXPECT_EQ(gaussian.GetMaximumRange(), 0);
    EXPECT_EQ(log.Lines().size(), 7);
}

TEST(KXBlurFilters, UniformStaysUniformAndTransparentGainsNoColour)
{
    // Edge pixels repeat, so a uniform layer keeps its colour up to the edge;
    // a transparent layer with colour in its pixels becomes the zero pixel.
    for (const Filter& f : Filters()) {
        for (uint32_t colour : {0xff3080c0u, 0x00ffffffu}) {
            SCOPED_TRACE(testing::Message() << f.name << " " << std::hex << colour);
            KXFilterData data;
            data.image = KXImageRGBA32i(200, 140);
            data.image.Fill(KXRGBA32i(colour));
            Observer o;
            KXAdjustmentProcessing p;
            const std::vector<KXRGBA32i> out = Pixels(f.run(p, o, data, Scheme::ConcurrentLines));
            const uint32_t expected = colour >> 24 ? colour : 0u;
            EXPECT_EQ(std::count_if(out.begin(), out.end(), [&](KXRGBA32i px) { return px.value != expected; }), 0);
        }
    }
}
