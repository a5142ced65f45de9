// A cancel honoured at the very next step: the flag is set (under the
// caller's lock, as the caller sets it) from the progress signal of step k.
// The run must report 1 … k once each, in order, on the calling thread, and
// its pixels must be those of exactly k plain steps: the passes stepped one
// line at a time by hand (Step(), the lines' own rule), or, for a merge cut
// short, the rows of the uncancelled run above the cut and the layer below.
// Checked on a one-thread pool and on two threads, at the first and last
// step of every stage and in between.

#include "KXBlurFilters.h"
#include "KXFilterPasses.h"
#include "KXFilterTestImages.h"

#include <QThread>
#include <QThreadPool>
#include <QWriteLocker>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Image = KXImageRGBA32i;

const int kWidth = 150, kHeight = 140;
const QRect kArea(20, 30, 90, 60); // the selection rectangle (offset 0)

struct Observed {
    Image result;
    std::vector<int> values;
    bool otherThread = false;
};

// Runs `filter` (built around the lock and flag) and sets the flag from the
// progress call of step k (never for k = 0).
template <class Filter, class Data>
Observed RunCancelledAt(const Data& data, int k)
{
    QReadWriteLock lock;
    bool cancel = false;
    Filter filter(lock, cancel);
    Observed seen;
    const QThread* caller = QThread::currentThread();
    QObject::connect(&filter, &KXAdjustmentProcessing::ProgressChanged, [&](int v) {
        seen.values.push_back(v);
        seen.otherThread |= QThread::currentThread() != caller;
        if (v == k) {
            QWriteLocker locker(&lock);
            cancel = true;
        }
    });
    seen.result = filter.run(data);
    return seen;
}

// The plain rule: `rows` row steps then `columns` column steps over `rect`.
template <class Pass, class Op>
Image Stepped(Image image, const QRect& rect, const Op& op, int rows, int columns)
{
    Pass horizontal(image, rect, op, KXPassDirection::Horizontal);
    for (int i = 0; i < rows; ++i)
        horizontal.Step();
    Pass vertical(image, rect, op, KXPassDirection::Vertical);
    for (int i = 0; i < columns; ++i)
        vertical.Step();
    return image;
}

struct Case {
    const char* name;
    bool area;
    // The run, cancelled at k.
    std::function<Observed(const KXFilterData&, int)> run;
    // The pixels of k plain steps of the whole-layer case.
    std::function<Image(const Image&, int rows, int columns)> plain;
    int margin; // how far the row pass reaches beyond the area
    bool opaque = false; // on an opaque layer (whose Gaussian goes a tile at a time)
};

std::vector<Case> Cases()
{
    const auto box = [](const KXFilterData& d, int k) {
        KXBoxBlurProcessing::BlurData data;
        static_cast<KXFilterData&>(data) = d;
        data.radius = 6;
        return RunCancelledAt<KXBoxBlurProcessing>(data, k);
    };
    const auto gaussian = [](const KXFilterData& d, int k) {
        KXGaussianBlurProcessing::BlurData data;
        static_cast<KXFilterData&>(data) = d;
        data.sigma = 1.0;
        return RunCancelledAt<KXGaussianBlurProcessing>(data, k);
    };
    const auto boxPlain = [](const Image& in, int rows, int columns) {
        return Stepped<KXBoxPass<KXRGBABlurAccumulatorPremul>>(in, QRect(), KXRGBABlurAccumulatorPremul(6), rows,
                                                                columns);
    };
    const auto gaussianPlain = [](const Image& in, int rows, int columns) {
        return Stepped<KXKernelPass<KXGaussian1DPremul>>(in, QRect(), KXGaussian1DPremul(1.0), rows, columns);
    };
    return {{"box 6, whole layer", false, box, boxPlain, 6},
            {"Gaussian 1.0, whole layer", false, gaussian, gaussianPlain, 3},
            {"Gaussian 1.0, whole opaque layer", false, gaussian, gaussianPlain, 3, true},
            {"box 6, area", true, box, boxPlain, 6},
            {"Gaussian 1.0, area", true, gaussian, gaussianPlain, 3}};
}

// The steps to cancel at: the first, second and last of each stage, one in
// the middle and one just past the first tile edge (whose lines read back
// across it).
std::vector<int> StepsOf(const std::vector<int>& stages)
{
    std::vector<int> ks;
    int before = 0;
    for (const int n : stages) {
        for (const int k : {before + 1, before + 2, before + n / 2, before + 129, before + n - 1, before + n})
            if (k > before && k <= before + n && (ks.empty() || ks.back() < k))
                ks.push_back(k);
        before += n;
    }
    return ks;
}

void CheckEveryCase(int poolThreads)
{
    QThreadPool* pool = QThreadPool::globalInstance();
    const int saved = pool->maxThreadCount();
    pool->setMaxThreadCount(poolThreads);
    const Image mixed = KXFilterTest::RandomImage(kWidth, kHeight, 28u);
    Image opaque = mixed;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            opaque.SetColor(x, y, KXRGBA32i(mixed.GetColor(x, y).value | 0xFF000000u));
    const Image selection = KXFilterTest::RandomImage(kWidth, kHeight, 29u);
    for (const Case& c : Cases()) {
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(poolThreads) + " pool threads");
        const Image& layer = c.opaque ? opaque : mixed;
        KXFilterData data;
        data.image = layer;
        data.selection = selection;
        if (c.area)
            data.selectionRect = kArea;
        const QRect rowsRect = c.area ? kArea.adjusted(0, -c.margin, 0, c.margin) & layer.Rect() : layer.Rect();
        const std::vector<int> stages = c.area ? std::vector<int>{rowsRect.height(), kArea.width(), kArea.height()}
                                               : std::vector<int>{kHeight, kWidth};
        const int total = stages[0] + stages[1] + (c.area ? stages[2] : 0);
        const Image complete = c.run(data, 0).result;
        for (const int k : StepsOf(stages)) {
            SCOPED_TRACE("cancelled at step " + std::to_string(k));
            const Observed seen = c.run(data, k);
            std::vector<int> expected(static_cast<size_t>(k));
            for (int i = 0; i < k; ++i)
                expected[static_cast<size_t>(i)] = i + 1;
            EXPECT_EQ(seen.values, expected);
            EXPECT_FALSE(seen.otherThread) << "progress from a pool thread";
            Image want;
            if (!c.area) {
                want = c.plain(layer, std::min(k, kHeight), std::max(0, k - kHeight));
            } else if (k <= stages[0] + stages[1]) {
                want = layer; // the filtered copy is thrown away before the merge
            } else {
                // Merged rows above the cut as the uncancelled run has them.
                const int merged = k - stages[0] - stages[1];
                want = layer;
                for (int y = kArea.top(); y < kArea.top() + merged; ++y)
                    for (int x = 0; x < kWidth; ++x)
                        want.SetColor(unsigned(x), unsigned(y), complete.GetColor(unsigned(x), unsigned(y)));
            }
            EXPECT_TRUE(KXFilterTest::Pixels(seen.result) == KXFilterTest::Pixels(want)) << "pixels";
            if (k == total) {
                EXPECT_TRUE(KXFilterTest::Pixels(seen.result) == KXFilterTest::Pixels(complete));
            }
            if (testing::Test::HasFailure())
                break;
        }
    }
    pool->setMaxThreadCount(saved);
}

TEST(KXCancelAtStep, OneThreadPoolStopsAtTheStep) { CheckEveryCase(1); }

TEST(KXCancelAtStep, TwoThreadsStopAtTheStep) { CheckEveryCase(std::max(2, QThread::idealThreadCount())); }

} // namespace
