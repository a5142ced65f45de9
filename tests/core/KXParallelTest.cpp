#include "KXParallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

TEST(KXParallel, EveryIndexOnceAndErrorsReachTheCaller)
{
    std::vector<int> indices = KXParallel::Indices(10000);
    std::vector<std::atomic<int>> hits(indices.size());
    KXParallel::BlockingMap(indices, [&](int i) { hits[i].fetch_add(1); });
    for (const std::atomic<int>& h : hits)
        ASSERT_EQ(h.load(), 1);

    // The standard exception itself arrives, not Qt's wrapper.
    std::vector<int> few = KXParallel::Indices(100);
    const auto throwAt42 = [](int i) {
        if (i == 42)
            throw std::out_of_range("index 42");
    };
    EXPECT_THROW(KXParallel::BlockingMap(few, throwAt42), std::out_of_range);
    EXPECT_TRUE(KXParallel::Indices(0).empty());
}
