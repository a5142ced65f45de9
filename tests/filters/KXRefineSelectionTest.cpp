// Refine selection: canvases, feather and edge shift worked by hand, the
// range of every case, and the refusals.

#include "KXRefineSelection.h"
#include "KXFilterTestImages.h"
#include "KXTestSupport.h"
#include "filters/KXShiftEdgeRun.h"

#include <gtest/gtest.h>

#include <random>

using KXFilterTest::Pixels;

namespace {

using Data = VQRefineSelectionProcessing::RefineSelectionData;

KXImageRGBA32i Mask(int w, int h, const QRect& opaque)
{
    KXImageRGBA32i mask(static_cast<unsigned int>(w), static_cast<unsigned int>(h));
    for (int y = opaque.top(); y <= opaque.bottom(); ++y)
        for (int x = opaque.left(); x <= opaque.right(); ++x)
            mask.SetColor(x, y, KXRGBA32i(0xFF336699u));
    return mask;
}

std::vector<int> AlphaRow(const KXImageRGBA32i& image, int y)
{
    std::vector<int> row;
    for (int x = 0; x < static_cast<int>(image.Width()); ++x)
        row.push_back(image.GetColor(x, y).a);
    return row;
}

} // namespace

TEST(KXRefineSelection, CanvasFeatherAndShift)
{
    struct Case {
        const char* what;
        KXImageRGBA32i mask;
        double radius;
        int shift;
        QSize bound;
        QRect expected; // position and size
        int range;
        int row;                    // a row of the result and its alpha
        std::vector<int> alpha;
    };
    const std::vector<int> square(5, 255);
    const Case cases[] = {
        // Unchanged, at the offset, no steps.
        {"copy", Mask(6, 3, QRect(1, 1, 2, 1)), 0.0, 0, QSize(-1, -1), QRect(10, 20, 6, 3), 0, 1, {0, 255, 255, 0, 0, 0}},
        // One pixel grows into a 5 x 5 square on a canvas grown by 2:
        // range 11 copy rows + 15 + 15.
        {"grow", Mask(11, 11, QRect(5, 5, 1, 1)), 0.0, 2, QSize(-1, -1), QRect(8, 18, 15, 15), 41, 9,
         {0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0}},
        // The bound (0,0)-(21,30) lets it grow by 1 to the right and not
        // downwards (the mask already reaches row 30).
        {"bound", Mask(11, 11, QRect(5, 5, 1, 1)), 0.0, 2, QSize(22, 31), QRect(8, 18, 14, 13), 11 + 14 + 13, 7,
         {0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 0}},
        // Opaque up to the edge: -2 clears two pixels along it.
        {"shrink", Mask(8, 6, QRect(0, 0, 8, 6)), 0.0, -2, QSize(-1, -1), QRect(10, 20, 8, 6), 14, 2,
         {0, 0, 255, 255, 255, 255, 0, 0}},
        // Three boxes of radius 1 over edges at x = 0 (transparent beyond)
        // and x = 10 (rows far from the top and bottom see uniform columns):
        //   |255 … 255|0 …  ->  170 255 … 255 170 85 0  ->  141 226 255 … 255 226 170 85 28 0
        //   -> 122 207 245 255 255 255 255 245 217 160 94 37 9 0. Range 40 + 3 (20 + 40).
        {"feather", Mask(20, 40, QRect(0, 0, 10, 40)), 1.9, 0, QSize(-1, -1), QRect(10, 20, 20, 40), 220, 20,
         {122, 207, 245, 255, 255, 255, 255, 245, 217, 160, 94, 37, 9, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QReadWriteLock lock;
        bool cancel = false;
        VQRefineSelectionProcessing filter(lock, cancel);
        std::vector<int> progress;
        QObject::connect(&filter, &KXAdjustmentProcessing::ProgressChanged, [&](int v) { progress.push_back(v); });
        Data data;
        data.image = c.mask;
        data.selectionRect = QRect(0, 0, 1, 1);
        data.offset = QPoint(10, 20);
        data.radius = c.radius;
        data.shift = c.shift;
        data.boundSize = c.bound;
        const auto before = Pixels(c.mask);
        const auto result = filter.run(data);
        EXPECT_EQ(QRect(result.position, QSize(int(result.image.Width()), int(result.image.Height()))), c.expected);
        EXPECT_EQ(filter.GetMaximumRange(), c.range);
        EXPECT_EQ(progress.size(), size_t(c.range));
        EXPECT_EQ(AlphaRow(result.image, c.row), c.alpha);
        EXPECT_EQ(Pixels(c.mask), before);
        for (int y = 0; c.shift > 0 && y < int(result.image.Height()); ++y) // the square's 2n + 1 rows
            EXPECT_EQ(AlphaRow(result.image, y) == c.alpha, y >= 5 && y <= 9) << y;
    }
}

TEST(KXRefineSelection, RefusalsGiveAnEmptyResult)
{
    QReadWriteLock lock;
    bool cancel = false;
    VQRefineSelectionProcessing filter(lock, cancel);
    Data data;
    data.image = Mask(4, 4, QRect(0, 0, 4, 4));
    data.radius = 2.0;
    EXPECT_EQ(filter.run(data).image.Width(), 0u); // no selection rectangle
    data.selectionRect = QRect(0, 0, 1, 1);
    KXTest::LogCapture log;
    for (const double radius : {-1.0, std::nan("")}) {
        data.radius = radius;
        EXPECT_EQ(filter.run(data).image.Width(), 0u);
    }
    data.radius = 0.0;
    data.shift = 200000; // a canvas of 400004 x 400004 pixels
    EXPECT_EQ(filter.run(data).image.Width(), 0u);
    ASSERT_EQ(log.Messages().size(), 3);
    EXPECT_TRUE(log.Messages()[0].endsWith(QStringLiteral("Refine selection radius -1 refused.")));
    EXPECT_TRUE(log.Messages()[2].endsWith(QStringLiteral("Refine selection canvas of 400004 x 400004 refused.")));
    EXPECT_EQ(filter.GetMaximumRange(), 0);
}

// The edge shift's whole-line Span against the kernel's own per-pixel
// operator(), on lines of random alpha (runs of 0 and 255 among others),
// with windows shorter and longer than the line and destinations reaching
// beyond it.
TEST(KXRefineSelection, ShiftEdgeSpanIsThePerPixelKernel)
{
    std::mt19937 random(5);
    for (const int length : {1, 7, 300}) {
        KXPixelLine source(static_cast<size_t>(length));
        for (KXRGBA32i& p : source) {
            p = KXRGBA32i(random());
            if (random() % 3 == 0)
                p.a = random() % 2 ? 0 : 255;
        }
        for (const int shift : {-400, -50, -3, -1, 1, 2, 3, 50, 400})
            for (const int offset : {0, -2, 3}) {
                KXPixelLine fast(static_cast<size_t>(length + 4)), plain(fast.size());
                KXShiftEdgeRun run(shift);
                KXShiftEdge1D& kernel = run; // its own per-pixel form
                run.SetSource(&source);
                run.SetSourceOffset(offset);
                run.SetDestination(&fast);
                run.Span(0, length + 4);
                kernel.SetDestination(&plain);
                for (int i = 0; i < length + 4; ++i)
                    kernel(i);
                ASSERT_EQ(fast, plain) << "length " << length << ", shift " << shift << ", offset " << offset;
            }
    }
}
