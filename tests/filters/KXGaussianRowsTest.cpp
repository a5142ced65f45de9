#include "KXFilterTestImages.h"
#include "KXPassRun.h"

#include <gtest/gtest.h>

// The Gaussian row pass a wave at a time gives the plain pass's pixels on an
// image whose tiles another image shares: the area cuts tiles in part (rows
// and columns kept from the old pixels), the whole image covers some tiles
// whole (filled without a copy); the other image keeps its pixels.
TEST(KXGaussianRows, WavesMatchThePlainPassOnSharedTiles)
{
    const KXImageRGBA32i input = KXFilterTest::RandomImage(300, 290, 5);
    const KXImageRGBA32i kept = KXFilterTest::RandomImage(300, 290, 5); // the same pixels, own tiles
    for (const QRect& rect : {QRect(5, 100, 290, 170), QRect()}) {
        KXImageRGBA32i out[2] = {input, input};
        for (int plain : {0, 1})
            ASSERT_TRUE(
                KXFilterTest::RunPass(out[plain], rect, KXGaussian1DPremul(2.0), KXPassDirection::Horizontal, plain));
        for (int y = 0; y < 290; ++y)
            for (int x = 0; x < 300; ++x) {
                ASSERT_EQ(out[0].GetColor(x, y), out[1].GetColor(x, y)) << x << "," << y;
                ASSERT_EQ(input.GetColor(x, y), kept.GetColor(x, y)) << x << "," << y;
            }
    }
}
