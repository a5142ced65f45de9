#ifndef KXFILTERRUNSUPPORT_H
#define KXFILTERRUNSUPPORT_H

// What the detail and effect filter tests share: a filled image, and what
// a filter object announced during a run (its ranges and progress values,
// read back through the getters from its signals).

#include "KXAdjustmentProcessing.h"
#include "KXImage.h"

#include <utility>
#include <vector>

namespace KXFilterTest {

inline KXImageRGBA32i Uniform(int width, int height, uint32_t value)
{
    KXImageRGBA32i image(static_cast<unsigned int>(width), static_cast<unsigned int>(height));
    image.Fill(KXRGBA32i(value));
    return image;
}

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

#endif // KXFILTERRUNSUPPORT_H
