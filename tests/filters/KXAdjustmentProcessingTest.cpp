// The progress base of every filter: signals only on change, emitted after
// its lock is released (a directly connected slot reads the getters).

#include "KXAdjustmentProcessing.h"

#include <gtest/gtest.h>

TEST(KXAdjustmentProcessing, SignalsOnlyOnChangeAfterTheLockIsReleased)
{
    KXAdjustmentProcessing p;
    std::vector<std::vector<int>> seen;
    QObject::connect(&p, &KXAdjustmentProcessing::RangeChanged, [&](int minimum, int maximum) {
        seen.push_back({minimum, maximum, p.GetMinimumRange(), p.GetMaximumRange()});
    });
    QObject::connect(&p, &KXAdjustmentProcessing::ProgressChanged,
                     [&](int value) { seen.push_back({value, p.GetRangeValue()}); });
    p.SetRange(0, 0);      // the stored range: nothing
    p.SetProgressValue(0); // the stored value: nothing
    p.SetRange(0, 10);     // the maximum alone changes
    p.SetRange(0, 10);     // again: nothing
    p.SetRange(3, 10);     // the minimum alone changes
    p.SetProgressValue(4);
    p.SetProgressValue(4); // nothing
    QMetaObject::invokeMethod(&p, "SetProgressValue", Q_ARG(int, 5)); // a slot
    EXPECT_EQ(seen, (std::vector<std::vector<int>>{{0, 10, 0, 10}, {3, 10, 3, 10}, {4, 4}, {5, 5}}));
}
