#ifndef KXFILTERPROGRESS_H
#define KXFILTERPROGRESS_H

// What a filter object announced during a run: its ranges and progress
// values, read back through the getters from its signals.

#include "KXAdjustmentProcessing.h"

#include <utility>
#include <vector>

namespace KXFilterTest {

struct Progress {
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> values;

    explicit Progress(KXAdjustmentProcessing& filter)
    {
        QObject::connect(&filter, &KXAdjustmentProcessing::RangeChanged, [this, &filter] {
            ranges.emplace_back(filter.GetMinimumRange(), filter.GetMaximumRange());
        });
        QObject::connect(&filter, &KXAdjustmentProcessing::ProgressChanged,
                         [this, &filter] { values.push_back(filter.GetRangeValue()); });
    }
};

} // namespace KXFilterTest

#endif // KXFILTERPROGRESS_H
