#include "KXFilterTestImages.h"
#include "KXPassRun.h"
#include "KXGaussianSpanWidth.h"
#include "KXIsaLevels.h"

#include <gtest/gtest.h>

// The Gaussian row pass a wave (or a tile) at a time gives the plain pass's
// pixels on an image whose tiles another image shares: the area cuts tiles
// in part (rows and columns kept from the old pixels, bands of fewer than
// sixteen rows), the whole image covers some tiles whole; the other image
// keeps its pixels. Opaque images go through the float sums (with a few
// translucent pixels sending their bands the plain way, and a margin that
// sends every lane to the exact sum), the others the plain way throughout;
// at every level (the tile's sixteen-row bands are turned in registers a
// different way at each vector level).
using KXGaussianRowsAtLevel = KXIsaLevelTest;

TEST_P(KXGaussianRowsAtLevel, WavesMatchThePlainPassOnSharedTiles)
{
    for (bool mixedAlpha : {true, false}) {
        KXImageRGBA32i input = KXFilterTest::RandomImage(300, 290, 5, mixedAlpha);
        if (!mixedAlpha) {
            for (int y = 0; y < 290; ++y)
                for (int x = 0; x < 300; ++x)
                    input.SetColor(x, y, KXRGBA32i(input.GetColor(x, y).value | 0xFF000000u));
            for (const QPoint& at : {QPoint(200, 20), QPoint(7, 283)})
                input.SetColor(at.x(), at.y(), KXRGBA32i(0x80402010u));
        }
        const KXImageRGBA32i kept = input;
        std::vector<KXRGBA32i> keptPixels = KXFilterTest::Pixels(input);
        for (double sigma : {2.0, 20.0})
            for (double margin : {0.0, mixedAlpha ? 0.0 : 0.4999})
                for (const QRect& rect : {QRect(5, 100, 290, 170), QRect()}) {
                    KXGaussianSpanWidth::WidenCertifiedMargin(margin);
                    KXImageRGBA32i out[2] = {input, input};
                    for (int plain : {0, 1})
                        ASSERT_TRUE(KXFilterTest::RunPass(out[plain], rect, KXGaussian1DPremul(sigma),
                                                          KXPassDirection::Horizontal, plain));
                    for (int y = 0; y < 290; ++y)
                        for (int x = 0; x < 300; ++x)
                            ASSERT_EQ(out[0].GetColor(x, y), out[1].GetColor(x, y))
                                << mixedAlpha << " " << sigma << " " << margin << " " << x << "," << y;
                    ASSERT_EQ(KXFilterTest::Pixels(kept), keptPixels);
                }
    }
    KXGaussianSpanWidth::WidenCertifiedMargin(0.0);
}

KX_INSTANTIATE_ISA_LEVELS(KXGaussianRowsAtLevel);
