#include "KXIterativeAdjustments.h"
#include "KXParallel.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

// Every third pixel of a buffer is adjusted in parallel through a copy of the
// iterative form: the same as the plain adjustment there, the original bytes
// everywhere else. The white balance's copy must also carry its statistics.
TEST(KXIterativeAdjustments, SameAsPlainAndNoNeighbourTouched)
{
    KXImageRGBA32i image(200, 150);
    image.Fill(KXRGBA32i(0xFF402010u));
    image.SetColor(5, 5, KXRGBA32i(0xFFF0E0D0u));
    const VQWBTransformation plain(image, VQWBTransformation::BalanceFunction::Auto, 70);
    VQIterativeWBTransformation iterative(image, VQWBTransformation::BalanceFunction::Auto, 70);
    EXPECT_EQ(iterative.GetProcessingBuffer(), nullptr);

    std::mt19937 random(42);
    std::vector<KXRGBA32i> buffer(30000);
    for (KXRGBA32i& p : buffer)
        p = KXRGBA32i(random());
    for (uint32_t v = 0; v < 256; ++v) // every channel value
        buffer[v] = KXRGBA32i(v << 24 | v << 16 | (255 - v) << 8 | v);
    std::vector<KXRGBA32i> expected = buffer;
    std::vector<int> indices;
    for (int i = 0; i < static_cast<int>(buffer.size()); i += 3) {
        indices.push_back(i);
        plain(expected[i]);
    }
    iterative.SetProcessingBuffer(buffer.data());
    const VQIterativeWBTransformation copy(iterative); // copies the statistics and the buffer pointer
    KXParallel::BlockingMap(indices, copy);
    EXPECT_TRUE(buffer == expected);
}
