#include "KXIterativeAdjustments.h"
#include "KXParallel.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

namespace {

// Every third pixel of a buffer is adjusted in parallel through the
// iterative form; the result must equal the plain adjustment there and the
// original bytes everywhere else.
template <class Plain, class... Args>
void CheckIterative(const char* name, Args... args)
{
    std::mt19937 random(42);
    std::vector<KXRGBA32i> original(30000);
    for (KXRGBA32i& p : original)
        p = KXRGBA32i(random());
    for (uint32_t v = 0; v < 256; ++v) // every channel value
        original[v] = KXRGBA32i(v << 24 | v << 16 | (255 - v) << 8 | v);

    const Plain plain(args...);
    KXIterativeAdjustment<Plain> iterative(args...);
    EXPECT_EQ(iterative.GetProcessingBuffer(), nullptr);
    std::vector<KXRGBA32i> buffer = original;
    iterative.SetProcessingBuffer(buffer.data());
    const KXIterativeAdjustment<Plain> copy(iterative); // copies tables and the buffer pointer
    EXPECT_EQ(copy.GetProcessingBuffer(), buffer.data());

    std::vector<int> indices;
    for (int i = 0; i < static_cast<int>(buffer.size()); i += 3)
        indices.push_back(i);
    KXParallel::BlockingMap(indices, copy);

    int wrong = 0, touched = 0;
    for (size_t i = 0; i < buffer.size(); ++i) {
        KXRGBA32i expected = original[i];
        if (i % 3 == 0)
            plain(expected);
        if (i % 3 == 0 && buffer[i] != expected)
            ++wrong;
        if (i % 3 != 0 && buffer[i] != original[i])
            ++touched;
    }
    EXPECT_EQ(wrong, 0) << name;
    EXPECT_EQ(touched, 0) << name << ": a neighbour was written";
}

} // namespace

// One wrapper for every adjustment; the white balance's copy must also carry its statistics record.
TEST(KXIterativeAdjustments, SameAsPlainAndNoNeighbourTouched)
{
    KXImageRGBA32i image(200, 150);
    image.Fill(KXRGBA32i(0xFF402010u));
    image.SetColor(5, 5, KXRGBA32i(0xFFF0E0D0u));
    CheckIterative<VQWBTransformation>("white balance", image, VQWBTransformation::BalanceFunction::Auto, 70);
}
