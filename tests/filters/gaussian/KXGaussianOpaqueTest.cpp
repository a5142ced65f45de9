#include "KXFilterKernels.h"
#include "KXIsaLevels.h"
#include "KXGaussianSpanWidth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

// Opaque blocks compare a channel only with the listed c (those whose
// ((c w) 255) / 255 is not c w) inside the block's range of that channel:
// bands ending at each byte c (b below, g above, r around) give the plain sums.
using KXGaussianOpaqueAtLevel = KXIsaLevelTest;

TEST_P(KXGaussianOpaqueAtLevel, BandsEndingAtEachByte)
{
    std::mt19937 random(3);
    for (double sigma : {2.0, 20.0})
        for (int c = 0; c < 256; ++c) {
            const std::vector<double> w = KXGaussian1DPremul(sigma).Weights();
            const int r = int(w.size() / 2), count = 600;
            KXPixelLine source(size_t(count + 2 * r));
            for (KXRGBA32i& p : source)
                p.value = 0xFF000000u | uint32_t(std::clamp<int>(c - 1 + random() % 3, 0, 255)) << 16 |
                          uint32_t(std::min<int>(c + random() % 3, 255)) << 8 | uint32_t(std::max<int>(c - random() % 3, 0));
            std::vector<double> sums(4 * count);
            KXGaussianSpanWidth::PremulSums(w, source, r, count, sums.data());
            for (int i = 0; i < count * 3; ++i) {
                double sum = 0.0;
                for (int k = -r; k <= r; ++k)
                    sum += uint8_t(source[size_t(r + i / 3 + k)].value >> (8 * (i % 3))) * w[size_t(k + r)] * 255 / 255.0;
                ASSERT_EQ(sums[size_t(4 * (i / 3) + i % 3)], sum) << sigma << " " << c;
            }
        }
}

KX_INSTANTIATE_ISA_LEVELS(KXGaussianOpaqueAtLevel);
