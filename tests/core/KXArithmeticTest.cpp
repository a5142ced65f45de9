// The division by 255 as a multiplication, over every value it is used for.

#include "core/KXArithmetic.h"

#include <gtest/gtest.h>

TEST(KXArithmetic, DivideBy255IsTheQuotientOverItsWholeRange)
{
    for (uint32_t x = 0; x < KXArithmetic::kDivideBy255Limit; ++x)
        ASSERT_EQ(KXArithmetic::DivideBy255(x), x / 255) << x;
    // Every product of two bytes lies inside, and so does every 16-bit lane.
    EXPECT_GT(KXArithmetic::kDivideBy255Limit, 65535u);
}

TEST(KXArithmetic, DivideBy255EndsWhereTheArgumentSays)
{
    // The argued range ends at 66052; the identity itself first fails at
    // 66299 (255 * 260 - 1), so a larger multiplier or shift would
    // show here.
    uint32_t x = KXArithmetic::kDivideBy255Limit;
    while (KXArithmetic::DivideBy255(x) == x / 255)
        ++x;
    EXPECT_EQ(x, 66299u);
}
