#ifndef KXGAUSSIANBANDS_H
#define KXGAUSSIANBANDS_H

// The column pass of the alpha-weighted Gaussian across sixteen columns at
// once: a band's rows are read from the tiles as they lie (sixteen pixels a
// row, one vector), summed in float and certified as the spans do
// (KXGaussianCertified.h), and written back the same way, so that nothing
// is turned into column lines and back. Bands that are not whole or not
// opaque, and levels below AVX2 (KXIsa), take the pass's worker. Private
// to the library.

#include "KXFilterKernels.h"
#include "filters/KXPassWorkers.h"
#include "KXImage.h"

#include <algorithm>
#include <optional>
#include <type_traits>

namespace KXGaussianBands {

// Columns at … at + 15 of the vertical pass `g` of `kernel` over `image`;
// false (nothing written) where the band cannot be done so.
bool OpaqueBand(const KXPassGeometry& g, KXImageRGBA32i& image, const KXGaussian1DPremul& kernel, int at);

// Lines first … last of `pass`, as Pass::Worker does them.
template <class Pass>
void Lines(const Pass& pass, int first, int last)
{
    std::optional<typename Pass::Worker> worker;
    const auto plain = [&](int from, int to) {
        if (!worker)
            worker.emplace(pass);
        worker->Lines(from, to);
    };
    if (pass.Geometry().horizontal) {
        plain(first, last);
        return;
    }
    constexpr int kBand = KXPassGeometry::kBandLines;
    for (int at = first; at <= last; at += kBand) {
        const int end = std::min(last, at + kBand - 1);
        if (end - at + 1 < kBand || !OpaqueBand(pass.Geometry(), pass.Image(), pass.LineKernel(), at))
            plain(at, end);
    }
}

} // namespace KXGaussianBands

#endif // KXGAUSSIANBANDS_H
