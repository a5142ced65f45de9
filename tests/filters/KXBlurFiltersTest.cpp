// The two blur filters: against a plain reference, the area case merged
// through the selection, the run protocol (range, progress, cancel, both
// schemes), tile sharing, runEx's growth and the refusals.

#include "KXBlurFilters.h"
#include "KXFilterTestImages.h"
#include "KXTestSupport.h"
#include "filters/KXBlurFilterRun.h"

#include <gtest/gtest.h>

#include <QWriteLocker>

#include <numeric>

using KXFilterTest::Pixels;
using KXFilterTest::RandomImage;
using Scheme = KXLineRunner::Scheme;

namespace {

// A run of the box filter (radius 4) or the Gaussian (sigma 1.5), both
// reaching 4 pixels; records the range and the progress as the getters
// tell them from the signals (so these must come after the lock is
// released) and sets the cancel flag (under the lock for writing, as the
// owner must) once `cancelAt` steps are done.
struct Recorder : KXAdjustmentProcessing {
    QReadWriteLock lock;
    bool cancel = false;
    int cancelAt = -1;
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> progress;

    Recorder()
    {
        connect(this, &KXAdjustmentProcessing::RangeChanged,
                [this] { ranges.emplace_back(GetMinimumRange(), GetMaximumRange()); });
        connect(this, &KXAdjustmentProcessing::ProgressChanged, [this] {
            progress.push_back(GetRangeValue());
            if (progress.back() == cancelAt) {
                QWriteLocker locker(&lock);
                cancel = true;
            }
        });
    }
    KXImageRGBA32i Run(bool gaussian, const KXFilterData& d, Scheme scheme = Scheme::ConcurrentLines)
    {
        KXGaussianBlurProcessing::BlurData g;
        KXBoxBlurProcessing::BlurData b;
        static_cast<KXFilterData&>(g) = static_cast<KXFilterData&>(b) = d;
        g.sigma = 1.5;
        b.radius = 4;
        return gaussian ? KXBlurFilterRun::Gaussian(*this, lock, cancel, g, scheme)
                        : KXBlurFilterRun::Box(*this, lock, cancel, b, scheme);
    }
};

std::vector<int> OneTo(int total)
{
    std::vector<int> v(static_cast<size_t>(total));
    std::iota(v.begin(), v.end(), 1);
    return v;
}

// d moved toward s by the selection alpha t: ((255 - t) d + t s) / 255 per byte.
KXRGBA32i Mixed(KXRGBA32i d, KXRGBA32i s, uint32_t t)
{
    uint32_t v = 0;
    for (int b = 0; b < 32; b += 8)
        v |= ((255 - t) * ((d.value >> b) & 0xFF) + t * ((s.value >> b) & 0xFF)) / 255 << b;
    return KXRGBA32i(v);
}

} // namespace

TEST(KXBlurFilters, BoxByHand)
{
    // Radius 0: colour (100 * 3 / 255) * 255 / 3 = 85 at alpha 3; alpha 0
    // gives the zero pixel.
    QReadWriteLock lock;
    bool cancel = false;
    KXBoxBlurProcessing filter(lock, cancel);
    KXBoxBlurProcessing::BlurData data;
    data.image = KXImageRGBA32i(2, 1);
    data.image.SetColor(0, 0, KXRGBA32i(0x03646464u));
    data.image.SetColor(1, 0, KXRGBA32i(0x00FFFFFFu));
    data.radius = 0;
    EXPECT_EQ(Pixels(filter.run(data)), (std::vector<KXRGBA32i>{KXRGBA32i(0x03555555u), KXRGBA32i(0)}));
}

TEST(KXBlurFilters, AreaCaseIsTheWholeBlurMergedThroughTheSelection)
{
    // Inside the area the blur equals the whole-image blur (rows beyond the
    // area are blurred along rows first), mixed into the layer by the
    // selection alpha; outside nothing changes. The selection ends before
    // the area does, so rows and columns beyond it stay too.
    const int width = 300, height = 260;
    const KXImageRGBA32i input = RandomImage(width, height, 11);
    KXImageRGBA32i selection(150, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 150; ++x)
            selection.SetColor(x, y, KXRGBA32i(uint32_t((x * 7 + y * 3) % 256) << 24 | 0x123456));
    // Inside across tile borders, at the image's edge, partly and wholly outside it.
    const std::pair<QRect, QPoint> areas[] = {{QRect(10, 20, 200, 150), QPoint(120, 100)},
                                              {QRect(0, 0, 150, 120), QPoint(-20, -30)},
                                              {QRect(40, 50, 200, 200), QPoint(200, 200)},
                                              {QRect(0, 0, 50, 50), QPoint(400, 0)}};
    const std::vector<KXRGBA32i> in = Pixels(input);
    for (bool gaussian : {false, true}) {
        for (const auto& area : areas) {
            SCOPED_TRACE(testing::Message() << gaussian << " area " << area.first.x());
            KXFilterData data;
            data.image = input;
            const std::vector<KXRGBA32i> blurred = Pixels(Recorder().Run(gaussian, data));
            data.selection = selection;
            data.selectionRect = area.first;
            data.offset = area.second;
            Recorder run;
            const std::vector<KXRGBA32i> out = Pixels(run.Run(gaussian, data));
            const QRect a = area.first.translated(area.second) & input.Rect();
            const QRect merged = a & selection.Rect().translated(area.second);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const size_t i = size_t(y) * width + x;
                    const uint32_t t = selection.Rect().contains(x - area.second.x(), y - area.second.y())
                                           ? selection.GetColor(x - area.second.x(), y - area.second.y()).a : 0;
                    ASSERT_EQ(out[i], merged.contains(x, y) ? Mixed(in[i], blurred[i], t) : in[i]) << x << "," << y;
                }
            // Rows of the area grown by the margin 4, its columns, the merged rows.
            const int total =
                a.isEmpty() ? 0 : (a.adjusted(-4, -4, 4, 4) & input.Rect()).height() + a.width() + merged.height();
            EXPECT_EQ(run.GetMaximumRange(), total);
            EXPECT_EQ(run.progress, OneTo(total));
        }
    }
}

TEST(KXBlurFilters, SchemesAgreeAndCancellingStopsBetweenSteps)
{
    const KXImageRGBA32i input = RandomImage(270, 140, 5);
    KXImageRGBA32i selection(270, 140);
    selection.Fill(KXRGBA32i(0xff000000));
    for (bool gaussian : {false, true}) {
        for (bool area : {false, true}) {
            SCOPED_TRACE(testing::Message() << gaussian << (area ? " area" : " whole"));
            KXFilterData data;
            data.image = input;
            if (area) {
                data.selection = selection;
                data.selectionRect = QRect(100, 30, 140, 100);
            }
            // Cancelled before the run: the range is set, no step is done.
            // Cancelled after 50 steps (inside the rows): neither scheme
            // does a further step. Not cancelled, both give the same pixels.
            const int total = area ? 108 + 140 + 100 : 140 + 270;
            std::vector<KXRGBA32i> finished[2];
            for (Scheme scheme : {Scheme::OneLineAtATime, Scheme::ConcurrentLines}) {
                for (int at : {0, 50, -1}) {
                    Recorder run;
                    run.cancel = at == 0;
                    run.cancelAt = at;
                    const KXImageRGBA32i image = run.Run(gaussian, data, scheme);
                    const std::vector<KXRGBA32i> out = Pixels(image);
                    if (at == 0) { // not even a tile detached
                        EXPECT_EQ(image.Tile(1, 0)->data(), input.Tile(1, 0)->data());
                    }
                    EXPECT_EQ(run.ranges, (std::vector<std::pair<int, int>>{{0, total}}));
                    const int last = at < 0 ? total : at;
                    EXPECT_EQ(run.progress, OneTo(last));
                    if (at < 0)
                        finished[int(scheme == Scheme::ConcurrentLines)] = out;
                    else if (area || at == 0) {
                        EXPECT_EQ(out, Pixels(input)); // the layer comes back untouched
                    }
                }
            }
            EXPECT_EQ(finished[0], finished[1]);
        }
    }
}

TEST(KXBlurFilters, AreaRunCopiesOnlyTheTilesItChanges)
{
    const KXImageRGBA32i input = RandomImage(1024, 640, 3);
    KXImageRGBA32i selection(1024, 640);
    selection.Fill(KXRGBA32i(0x80000000));
    for (bool gaussian : {false, true}) {
        const long long before = VQTileManager64::Instance()->GetAvailableCount();
        KXFilterData data;
        data.image = input;
        data.selection = selection;
        data.selectionRect = QRect(256, 260, 144, 50); // tiles (2..3, 2), from a tile border
        const KXImageRGBA32i out = Recorder().Run(gaussian, data);
        EXPECT_EQ(before - VQTileManager64::Instance()->GetAvailableCount(), 2) << gaussian;
        for (unsigned int row = 0; row < out.TileRows(); ++row)
            for (unsigned int column = 0; column < out.TileColumns(); ++column)
                EXPECT_EQ(out.Tile(column, row)->data() == input.Tile(column, row)->data(),
                          !(row == 2 && (column == 2 || column == 3))) << column << "," << row;
    }
}

TEST(KXBlurFilters, RunExGrowsTheLayerWithinTheBounds)
{
    const KXImageRGBA32i input = RandomImage(100, 50, 9, false);
    QReadWriteLock lock;
    bool cancel = false;
    KXGaussianBlurProcessing gaussian(lock, cancel);
    // The layer placed at (dx, dy) on a transparent canvas.
    const auto placed = [&](int width, int height, int dx, int dy) {
        KXImageRGBA32i canvas(width, height);
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 100; ++x)
                canvas.SetColor(x + dx, y + dy, input.GetColor(x, y));
        return canvas;
    };
    // Sigma 0.2 still has margin 1: the layer grows by one pixel each side.
    KXGaussianBlurProcessing::BlurDataEx grow;
    grow.image = input;
    grow.sigma = 0.2;
    grow.growthBounds = QRect(-50, -50, 300, 300);
    EXPECT_EQ(gaussian.runEx(grow).image.Width(), 102u);
    // Bounds reaching 3 left, 20 up, far right and down: sigma 2 has margin
    // 6, so 3 left, 6 up, 6 right, 6 down; the same as blurring the layer
    // placed by hand.
    grow.sigma = 2.0;
    grow.growthBounds = QRect(-3, -20, 400, 400);
    grow.layerOrigin = QPoint(10, 10);
    const KXGaussianBlurProcessing::ResultEx grown = gaussian.runEx(grow);
    EXPECT_EQ(grown.origin, QPoint(7, 4));
    KXGaussianBlurProcessing::BlurData expected;
    expected.image = placed(109, 62, 3, 6);
    expected.sigma = 2.0;
    EXPECT_EQ(Pixels(grown.image), Pixels(gaussian.run(expected)));

    // With a selection the bounds are cut to the area: moved by the offset
    // it reaches 4 pixels past the left edge only (less than the margin);
    // the offset follows the growth.
    KXImageRGBA32i selection(40, 40);
    selection.Fill(KXRGBA32i(0xff000000));
    grow.selection = expected.selection = selection;
    grow.selectionRect = expected.selectionRect = QRect(0, 0, 40, 40);
    grow.offset = QPoint(-4, 5);
    grow.growthBounds = QRect(-50, -50, 300, 300);
    const KXGaussianBlurProcessing::ResultEx cut = gaussian.runEx(grow);
    EXPECT_EQ(cut.origin, QPoint(6, 10));
    expected.image = placed(104, 50, 4, 0);
    expected.offset = QPoint(0, 5);
    EXPECT_EQ(Pixels(cut.image), Pixels(gaussian.run(expected)));
}

TEST(KXBlurFilters, RefusedParametersLeaveTheLayerAndTheRange)
{
    const KXImageRGBA32i input = RandomImage(40, 30, 1);
    QReadWriteLock lock;
    bool cancel = false;
    KXTest::LogCapture log;
    KXGaussianBlurProcessing gaussian(lock, cancel);
    KXGaussianBlurProcessing::BlurDataEx g;
    g.image = input;
    for (double sigma : {0.0, std::nan(""), 1e9}) {
        g.sigma = sigma;
        EXPECT_EQ(Pixels(gaussian.run(g)), Pixels(input));
        EXPECT_EQ(Pixels(gaussian.runEx(g).image), Pixels(input));
    }
    EXPECT_EQ(gaussian.GetMaximumRange(), 0);
    ASSERT_EQ(log.Messages().size(), 6);
    EXPECT_TRUE(log.Messages()[0].endsWith(QStringLiteral("Gaussian blur sigma 0 refused.")))
        << log.Messages()[0].toStdString();
}
