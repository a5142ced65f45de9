// The alpha-weighted Gaussian's column pass across a band of sixteen
// columns (see KXGaussianBands.h): each of a band's rows is one vector of
// sixteen lanes, so a tap's loads are whole aligned rows and the sums of
// sixteen columns go together; the arithmetic of every lane is that of the
// spans' float sums, the same bound, the same exact fallback.

#include "filters/KXGaussianBands.h"

#include "core/KXTileWalker.h"
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
    using Ops = KXGaussianCertified::OpsAvx512;
    typedef KXGaussianCertified::Vec<kBand>::U U;
    typedef KXGaussianCertified::Vec<kBand>::I I;
    typedef KXGaussianCertified::Vec<kBand>::F F;
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    thread_local std::vector<uint32_t> rows, out;
    thread_local std::vector<float> planes;
    thread_local std::vector<const KXRGBA32i*> next; // where the next band's source rows lie, if in reach
    const int n = g.sourceLength, length = g.destinationLength;
    rows.resize(size_t(n) * kBand);
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

    out.resize(size_t(kRows) * kBand); // one block of destination rows
    const int offset = g.destinationStart - g.sourceStart; // source row of destination row 0
    planes.resize(3 * size_t(kRows + 2 * r) * kBand);
    float* const plane[3] = {planes.data(), planes.data() + size_t(kRows + 2 * r) * kBand,
                             planes.data() + 2 * size_t(kRows + 2 * r) * kBand};
    const auto* source = reinterpret_cast<const KXRGBA32i*>(rows.data());
    for (int d0 = 0; d0 < length; d0 += kRows) {
        const int count = std::min(kRows, length - d0);
        const int64_t base = int64_t(offset) + d0 - r; // source row of plane row 0
        for (int q = 0; q < count + 2 * r; ++q) {
            const int64_t i = base + q;
            U v;
            std::memcpy(&v, &rows[size_t(i < 0 ? 0 : i >= n ? n - 1 : i) * kBand], sizeof v);
            for (int c = 0; c < 3; ++c) {
                const F f = __builtin_convertvector(I((v >> (8 * c)) & 255u), F);
                std::memcpy(plane[c] + size_t(q) * kBand, &f, sizeof f);
            }
        }
        // The next band's rows of this block are asked for while this one is
        // summed: its reads wait on memory, the sums do not.
        for (int64_t i = std::max<int64_t>(0, offset + d0); i < std::min<int64_t>(n, offset + d0 + count); ++i)
            if (next[size_t(i)])
                __builtin_prefetch(next[size_t(i)], 0, 2);
        for (int i = 0; i < count;) {
            const int groups = i + Ops::kGroups <= count ? Ops::kGroups : 1;
            U pixels[Ops::kGroups];
            unsigned bad[Ops::kGroups];
            if (groups == Ops::kGroups)
                KXGaussianCertified::CertifiedGroups<Ops, kBand, Ops::kGroups, kBand, kBand>(plane, (i + r) * kBand, r,
                                                                                           cw, pixels, bad);
            else
                KXGaussianCertified::CertifiedGroups<Ops, kBand, 1, kBand, kBand>(plane, (i + r) * kBand, r, cw,
                                                                                pixels, bad);
            for (int k = 0; k < groups; ++k, ++i) {
                uint32_t* to = &out[size_t(i) * kBand];
                std::memcpy(to, &pixels[k], sizeof pixels[k]);
                for (unsigned lanes = bad[k]; lanes != 0; lanes &= lanes - 1) {
                    const int lane = __builtin_ctz(lanes);
                    to[lane] = KXGaussianCertified::ExactPixel(source + lane, kBand, n - 1, int64_t(offset) + d0 + i,
                                                               weights, r)
                                   .value;
                }
            }
        }
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
    }
    return true;
}
#endif

} // namespace

bool KXGaussianBands::OpaqueBand(const KXPassGeometry& g, KXImageRGBA32i& image, const KXGaussian1DPremul& kernel,
                                 int at)
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    using KXGaussianSpanWidth::Width;
    const int r = kernel.Radius();
    const double* w = kernel.Weights().data();
    if (KXGaussianSpanWidth::Current() != Width::Avx512 || r > 128 || g.sourceLength <= 0)
        return false;
    for (int m = 1; m <= r; ++m)
        if (!(w[r - m] == w[r + m]))
            return false;
    const KXGaussianCertified::Weights& cw = KXGaussianCertified::WeightsFor(w + r, r);
    return cw.usable && Band512(g, image, w, r, cw, at);
#else
    (void)g, (void)image, (void)kernel, (void)at;
    return false;
#endif
}
