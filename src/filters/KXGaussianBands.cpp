// The alpha-weighted Gaussian's column pass across a band of sixteen
// columns (see KXGaussianBands.h): each of a band's rows is one vector of
// sixteen lanes (KXGaussianBandSums.h), so a tap's loads are whole aligned
// rows and the sums of sixteen columns go together.

#include "filters/KXGaussianBands.h"

#include "core/KXTileWalker.h"
#include "filters/KXGaussianBandSums.h"
#include "filters/KXGaussianCertified.h"
#include "filters/KXGaussianSpanWidth.h"

#include <cstring>
#include <vector>

namespace {

constexpr int kBand = KXPassGeometry::kBandLines; // also the lanes of a vector
constexpr int kRows = 64;                         // destination rows summed from one set of planes
static_assert(kBand == 16, "a band row is one vector of sixteen floats");

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
__attribute__((flatten, target("avx512f,fma"))) bool Band512(const KXPassGeometry& g, KXImageRGBA32i& image,
                                                              const double* weights, int r,
                                                              const KXGaussianCertified::Weights& cw, int at)
{
    typedef KXGaussianCertified::Vec<kBand>::U U;
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    thread_local std::vector<uint32_t> rowStore;
    thread_local std::vector<const KXRGBA32i*> next; // where the next band's source rows lie, if in reach
    const int n = g.sourceLength, length = g.destinationLength;
    uint32_t* const rows = KXGaussianBandSums::Aligned(rowStore, size_t(n) * kBand);
    next.assign(size_t(n), nullptr);
    U all = ~U{};       // the AND of the band's pixels, for the opaque check
    bool split = false; // a band across a tile border: its rows come in two parts
    int64_t copied = 0; // pixels read (tiles without a block are not)
    KXTileWalker::ReadArea(image, QRect(at, g.sourceStart, kBand, n), KXTileWalker::Run::Serial,
                           [&](const KXRGBA32i* in, const QRect& part, unsigned int column, unsigned int row) {
                               const int lane = int(column) * W + part.left() - at;
                               copied += int64_t(part.width()) * part.height();
                               for (int y = part.top(); y <= part.bottom(); ++y) {
                                   uint32_t* to = &rows[size_t(int(row) * H + y - g.sourceStart) * kBand];
                                   const KXRGBA32i* from = in + y * W + part.left();
                                   if (part.left() + 2 * kBand <= W)
                                       next[size_t(int(row) * H + y - g.sourceStart)] = from + kBand;
                                   if (part.width() == kBand) { // the whole band row in this tile
                                       const U v = KXGaussianCertified::LoadV<U>(from);
                                       all &= v;
                                       std::memcpy(to, &v, sizeof v);
                                   } else {
                                       std::memcpy(to + lane, from, size_t(part.width()) * sizeof(uint32_t));
                                       split = true;
                                   }
                               }
                           });
    if (copied != int64_t(n) * kBand)
        return false;
    // Band rows are copied into vectors here, not loaded by a helper: clang
    // refuses 512-bit vectors passed between functions built for different
    // instruction sets.
    for (int i = 0; split && i < n; ++i) {
        U v;
        std::memcpy(&v, &rows[size_t(i) * kBand], sizeof v);
        all &= v;
    }
    for (int lane = 0; lane < kBand; ++lane)
        if ((all[lane] >> 24) != 255)
            return false;

    const int offset = g.destinationStart - g.sourceStart; // source row of destination row 0
    // While a block is summed, the next band's rows of the block are asked
    // for: their reads wait on memory, the sums do not.
    const auto ahead = [&](int d0, int count) {
        for (int64_t i = std::max<int64_t>(0, offset + d0); i < std::min<int64_t>(n, offset + d0 + count); ++i)
            if (next[size_t(i)])
                __builtin_prefetch(next[size_t(i)], 0, 2);
    };
    const auto put = [&](int d0, int count, const uint32_t* out) {
        // The block's rows go straight into the tiles: the sums read the
        // band's copy, never the tiles.
        const int top = g.destinationStart + d0;
        KXTileWalker::WriteArea(image, QRect(at, top, kBand, count), KXTileWalker::Run::Serial,
                                [&](KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
                                    const int lane = int(column) * W + part.left() - at;
                                    for (int y = part.top(); y <= part.bottom(); ++y) {
                                        void* to = pixels + y * W + part.left();
                                        const uint32_t* from = &out[size_t(int(row) * H + y - top) * kBand];
                                        if (part.width() == kBand)
                                            std::memcpy(to, from, kBand * sizeof(uint32_t));
                                        else
                                            std::memcpy(to, from + lane, size_t(part.width()) * sizeof(uint32_t));
                                    }
                                });
    };
    KXGaussianBandSums::Sum<kRows>(rows, n, offset, length, weights, r, cw, ahead, put);
    return true;
}
#endif

} // namespace

bool KXGaussianBands::OpaqueBand(const KXPassGeometry& g, KXImageRGBA32i& image, const KXGaussian1DPremul& kernel,
                                 int at)
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    const KXGaussianCertified::Weights* cw = KXGaussianBandSums::OpaqueWeights(kernel);
    return cw && g.sourceLength > 0 && Band512(g, image, kernel.Weights().data(), kernel.Radius(), *cw, at);
#else
    (void)g, (void)image, (void)kernel, (void)at;
    return false;
#endif
}
