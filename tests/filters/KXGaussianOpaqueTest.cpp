#include "KXFilterKernels.h"
#include "filters/KXGaussianSpanWidth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

// Opaque blocks compare a byte only with the c (those whose ((c w) 255) / 255
// is not c w) inside the block's range of that channel: lines of narrow
// bands whose ends are such a c must still give the plain sums, bit for bit.
TEST(KXGaussianOpaque, BandsEndingAtAnExceptionalByte)
{
    using KXGaussianSpanWidth::Width;
    std::mt19937 random(3);
    for (Width width : {Width::Plain, Width::Avx2, Width::Avx512}) {
        if (!KXGaussianSpanWidth::Available(width))
            continue; // KXGaussianSpan.MatchesPixelByPixel says which are missing
        KXGaussianSpanWidth::Force(width);
        for (double sigma : {2.0, 5.0, 20.0}) {
            const std::vector<double> w = KXGaussian1DPremul(sigma).Weights();
            const int r = int(w.size() / 2), count = 600;
            for (int c = 0; c < 256; ++c) {
                if (std::none_of(w.begin(), w.end(), [c](double x) { return c * x * 255.0 / 255.0 != c * x; }))
                    continue;
                KXPixelLine source(size_t(count + 2 * r));
                for (KXRGBA32i& p : source) // b ends at c, g starts at c, r straddles it
                    p = KXRGBA32i(0xFF000000u | uint32_t(std::clamp<int>(c - 1 + random() % 3, 0, 255)) << 16 |
                                  uint32_t(std::min<int>(c + random() % 3, 255)) << 8 |
                                  uint32_t(std::max<int>(c - random() % 3, 0)));
                std::vector<double> sums(4 * count);
                KXGaussianSpanWidth::PremulSums(w, source, r, count, sums.data());
                for (int i = 0; i < count; ++i) {
                    double b = 0.0, g = 0.0, red = 0.0;
                    for (int k = -r; k <= r; ++k) {
                        const KXRGBA32i& s = source[size_t(r + i + k)];
                        b += s.b * w[size_t(k + r)] * s.a / 255.0;
                        g += s.g * w[size_t(k + r)] * s.a / 255.0;
                        red += s.r * w[size_t(k + r)] * s.a / 255.0;
                    }
                    ASSERT_TRUE(sums[size_t(4 * i)] == b && sums[size_t(4 * i + 1)] == g &&
                                sums[size_t(4 * i + 2)] == red)
                        << "width " << int(width) << " sigma " << sigma << " c " << c << " pixel " << i;
                }
            }
        }
    }
    KXGaussianSpanWidth::Force(Width::Best);
}
