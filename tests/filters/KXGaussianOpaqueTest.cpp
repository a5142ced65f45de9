#include "KXFilterKernels.h"
#include "filters/KXGaussianSpanWidth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

// Opaque blocks compare a channel only with the listed c (those whose
// ((c w) 255) / 255 is not c w) inside the block's range of that channel:
// narrow bands around each byte c, ending at c, must give the plain sums.
TEST(KXGaussianOpaque, BandsEndingAtEachByte)
{
    using KXGaussianSpanWidth::Width;
    std::mt19937 random(3);
    for (Width width : {Width::Plain, Width::Avx2, Width::Avx512}) {
        if (!KXGaussianSpanWidth::Available(width))
            continue; // KXGaussianSpan.MatchesPixelByPixel says which are missing
        KXGaussianSpanWidth::Force(width);
        for (double sigma : {2.0, 20.0}) {
            const std::vector<double> w = KXGaussian1DPremul(sigma).Weights();
            const int r = int(w.size() / 2), count = 600;
            for (int c = 0; c < 256; ++c) {
                KXPixelLine source(size_t(count + 2 * r)); // b ends at c, g starts at c, r straddles it
                for (KXRGBA32i& p : source)
                    p = KXRGBA32i(0xFF000000u | uint32_t(std::clamp<int>(c - 1 + random() % 3, 0, 255)) << 16 |
                                  uint32_t(std::min<int>(c + random() % 3, 255)) << 8 |
                                  uint32_t(std::max<int>(c - random() % 3, 0)));
                std::vector<double> sums(4 * count);
                KXGaussianSpanWidth::PremulSums(w, source, r, count, sums.data());
                for (int i = 0; i < count * 3; ++i) {
                    double sum = 0.0;
                    for (int k = -r; k <= r; ++k) {
                        const KXRGBA32i& s = source[size_t(r + i / 3 + k)];
                        sum += uint8_t(s.value >> (8 * (i % 3))) * w[size_t(k + r)] * s.a / 255.0;
                    }
                    ASSERT_EQ(sums[size_t(4 * (i / 3) + i % 3)], sum) << int(width) << " " << sigma << " " << c;
                }
            }
        }
    }
    KXGaussianSpanWidth::Force(Width::Best);
}
