// Every filter, cancelled after each of its steps in turn: the flag is set
// (under the caller's lock, as the caller sets it) from the progress signal
// of step k. Each run must come back with a whole image of the size an
// uncancelled run gives, stop at the step the flag was set in, report
// rising progress inside its range, and give every block
// back; cancelled after its last step it gives the pixels of a run nobody
// cancelled.

#include "KXFilterRuns.h"
#include "../filters/KXFilterTestImages.h"

#include "VQTileManager64.h"

#include <QThreadPool>
#include <QWriteLocker>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace KXReliability;

// A cancel takes effect at the next step, on a one-thread pool and on two
// threads alike.
class KXCancellationSweep : public testing::TestWithParam<int> {
};

TEST_P(KXCancellationSweep, EveryFilterStopsAfterEveryStep)
{
    const Inputs in = Inputs::Make();
    QThreadPool* pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(GetParam());
    VQTileManager64* manager = VQTileManager64::Instance();
    for (const FilterRun& filter : FilterRuns()) {
        SCOPED_TRACE(filter.name);
        std::vector<KXRGBA32i> complete;
        std::vector<int> uncancelled; // the progress values of a whole run
        QRect shape;
        int total = 0;
        for (int k = 0; k <= total; ++k) { // k = 0: nobody cancels
            SCOPED_TRACE("cancelled after step " + std::to_string(k));
            const long long available = manager->GetAvailableCount();
            FilterCaller caller(in);
            std::vector<int> values;
            int minimum = -1, maximum = -1, ranges = 0;
            caller.watch = [&](KXAdjustmentProcessing& p) {
                QObject::connect(&p, &KXAdjustmentProcessing::RangeChanged, [&](int a, int b) {
                    minimum = a;
                    maximum = b;
                    ++ranges;
                });
                QObject::connect(&p, &KXAdjustmentProcessing::ProgressChanged, [&](int v) {
                    values.push_back(v);
                    if (v == k) {
                        QWriteLocker lock(&caller.lock);
                        caller.cancel = true;
                    }
                });
            };
            {
                const KXImageRGBA32i result = filter.run(caller);
                EXPECT_TRUE(Whole(result));
                if (k == 0) {
                    total = maximum;
                    shape = result.Rect();
                    complete = KXFilterTest::Pixels(result);
                    uncancelled = values;
                    EXPECT_EQ(values.empty() ? 0 : values.back(), total) << "an uncancelled run ends at its maximum";
                }
                EXPECT_EQ(result.Rect(), shape);
                if (k == total && filter.deterministic) {
                    EXPECT_TRUE(KXFilterTest::Pixels(result) == complete);
                }
            }
            EXPECT_EQ(ranges, 1);
            EXPECT_EQ(minimum, 0);
            EXPECT_EQ(maximum, total);
            for (size_t i = 0; i < values.size(); ++i) {
                EXPECT_TRUE(values[i] > (i ? values[i - 1] : 0) && values[i] <= total) << "progress " << values[i];
            }
            if (k > 0) {
                // The first value from k on that a whole run reports (a
                // step may count more than one).
                const auto at = std::lower_bound(uncancelled.begin(), uncancelled.end(), k);
                EXPECT_EQ(values.empty() ? 0 : values.back(), at == uncancelled.end() ? total : *at)
                    << "steps done after the cancel";
                EXPECT_TRUE(std::equal(values.begin(), values.end(), uncancelled.begin())) << "progress values";
            }
            EXPECT_EQ(manager->GetAvailableCount(), available) << "blocks lost";
            if (testing::Test::HasFailure())
                break;
        }
        EXPECT_GT(total, 1);
        if (testing::Test::HasFailure())
            break;
    }
    pool->setMaxThreadCount(threads);
}

INSTANTIATE_TEST_SUITE_P(PoolThreads, KXCancellationSweep, testing::Values(1, 2));
