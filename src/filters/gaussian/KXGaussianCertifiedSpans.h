#ifndef KXGAUSSIANCERTIFIEDSPANS_H
#define KXGAUSSIANCERTIFIEDSPANS_H

// Blocks of the alpha-weighted Gaussian span from certified float sums
// (KXGaussianCertified.h): opaque, or weighted by alpha where the weights
// allow, with the exact per-pixel kernel for the lanes not certified.
// Inlined into the AVX2 and AVX-512 spans. Private to the library.

#include "KXGaussianCertified.h"
#include "KXGaussianSpanVectors.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace KXGaussianSpanParts {

constexpr int kCertifiedBlock = 512; // destinations of a long block of float sums

// Destinations j0 … j0 + count - 1 (padded: rounded up to whole vectors)
// from the float planes of CertifiedBlock.
template <class Ops, int Lanes, int Groups, bool Weighted>
inline __attribute__((always_inline)) void CertifiedSums(const SpanArgs& s, int j0, int count, int padded,
                                                         const KXGaussianCertified::Weights& cw,
                                                         const float* const* plane)
{
    typedef typename KXGaussianCertified::Vec<Lanes>::U U;
    const int r = s.radius;
    KXRGBA32i* destination = s.destination + j0;
    for (int g = 0; g < padded;) {
        const int groups = g + Lanes * Groups <= padded ? Groups : 1;
        U pixels[Groups];
        unsigned bad[Groups];
        if (groups == Groups)
            KXGaussianCertified::CertifiedGroups<Ops, Lanes, Groups, 1, Lanes, Weighted>(plane, g + r, r, cw, pixels,
                                                                                       bad);
        else
            KXGaussianCertified::CertifiedGroups<Ops, Lanes, 1, 1, Lanes, Weighted>(plane, g + r, r, cw, pixels, bad);
        for (int i = 0; i < groups; ++i, g += Lanes) {
            const int n = std::min(Lanes, count - g);
            if (n == Lanes)
                std::memcpy(static_cast<void*>(destination + g), &pixels[i], sizeof pixels[i]);
            else
                for (int j = 0; j < n; ++j)
                    destination[g + j].value = pixels[i][j];
            for (unsigned lanes = bad[i]; lanes != 0; lanes &= lanes - 1)
                if (const int j = __builtin_ctz(lanes); j < n)
                    destination[g + j] =
                        KXGaussianCertified::ExactPixel(s.source, 1, s.last, s.offset + j0 + g + j, s.weights, r);
        }
    }
}

// Destinations j0 … j0 + count - 1 from float sums (KXGaussianCertified.h):
// opaque or, where the weights allow, weighted by alpha; false (nothing
// written) where they cannot be used.
template <class Ops, int Lanes, int Groups>
inline __attribute__((always_inline)) bool CertifiedBlock(const SpanArgs& s, int j0, int count,
                                                          const KXGaussianCertified::Weights& cw)
{
    const int r = s.radius;
    const int padded = (count + Lanes - 1) / Lanes * Lanes;
    const int width = padded + 2 * r;
    const int64_t base = s.offset + j0 - r;
    thread_local std::vector<float> scratch;
    scratch.resize(4 * static_cast<size_t>(width));
    float* const plane[4] = {scratch.data(), scratch.data() + width, scratch.data() + 2 * size_t(width),
                             scratch.data() + 3 * size_t(width)};
    const unsigned alpha = KXGaussianCertified::FillFloatPlanes<Lanes>(s.source, s.last, base, width, plane);
    if ((alpha & 255u) == 255u) {
        CertifiedSums<Ops, Lanes, Groups, false>(s, j0, count, padded, cw, plane);
        return true;
    }
    if (!cw.translucent)
        return false;
    if ((alpha >> 8) == 0) { // alpha 0 throughout: every sum is 0
        std::fill(s.destination + j0, s.destination + j0 + count, KXRGBA32i(0));
        return true;
    }
    KXGaussianCertified::FillFloatPlanes<Lanes, true>(s.source, s.last, base, width, plane);
    CertifiedSums<Ops, Lanes, Groups, true>(s, j0, count, padded, cw, plane);
    return true;
}

} // namespace KXGaussianSpanParts

#endif // KXGAUSSIANCERTIFIEDSPANS_H
