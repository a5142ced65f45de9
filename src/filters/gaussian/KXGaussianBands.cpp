// The alpha-weighted Gaussian's column pass across a band of sixteen
// columns (see KXGaussianBands.h): each of a band's rows is one vector of
// sixteen lanes (KXGaussianBandSums.h), so a tap's loads are whole aligned
// rows and the sums of sixteen columns go together.

#pragma GCC diagnostic ignored "-Wpsabi" // the wide vectors never cross a call: their helpers are always inlined

#include "KXGaussianBands.h"

#include "core/KXIsa.h"
#include "core/KXTileWalker.h"
#include "KXGaussianBandSums.h"
#include "KXGaussianCertified.h"
#include "KXGaussianSpanWidth.h"

#include <cstring>
#include <vector>

namespace {

constexpr int kBand = KXPassGeometry::kBandLines; // also the lanes of a vector
constexpr int kRows = 64;                         // destination rows summed from one set of planes
constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
static_assert(kBand == 16, "a band row is one vector of sixteen floats");

#if defined(KX_ISA_X86)
// Destinations from … length - 1 of the band's sixteen columns by the
// plain kernel, from the band's source pixels rows[16 i + k] (all n of
// them): where the band turns out not to be opaque after its first blocks.
void PlainRest(const KXPassGeometry& g, KXImageRGBA32i& image, const KXGaussian1DPremul& lineKernel,
               const uint32_t* rows, int at, int from)
{
    const int n = g.sourceLength, length = g.destinationLength;
    thread_local KXPixelLine line;
    thread_local std::vector<KXPixelLine> done(kBand);
    line.resize(size_t(n));
    KXGaussian1DPremul kernel(lineKernel);
    kernel.SetSource(&line);
    kernel.SetSourceOffset(g.destinationStart - g.sourceStart);
    for (int k = 0; k < kBand; ++k) {
        for (int i = 0; i < n; ++i)
            line[size_t(i)].value = rows[size_t(i) * kBand + size_t(k)];
        done[size_t(k)].resize(size_t(length));
        kernel.SetDestination(&done[size_t(k)]);
        kernel.Span(from, length);
    }
    KXTileWalker::WriteArea(image, QRect(at, g.destinationStart + from, kBand, length - from),
                            KXTileWalker::Run::Serial,
                            [&](KXRGBA32i* out, const QRect& part, unsigned int column, unsigned int row) {
                                const int k0 = int(column) * W + part.left() - at;
                                for (int y = part.top(); y <= part.bottom(); ++y)
                                    for (int k = 0; k < part.width(); ++k)
                                        out[y * W + part.left() + k] =
                                            done[size_t(k0 + k)][size_t(int(row) * H + y - g.destinationStart)];
                            });
}

// The band at columns at … at + 15, its sums taken with the operations
// `Ops` (KXGaussianBandSums::Sum); inlined into one function per
// instruction set below.
template <class Ops>
inline __attribute__((always_inline)) bool BandBody(const KXPassGeometry& g, KXImageRGBA32i& image,
                                                    const KXGaussian1DPremul& kernel,
                                                    const KXGaussianCertified::Weights& cw, int at)
{
    const int n = g.sourceLength, length = g.destinationLength, r = kernel.Radius();
    const int offset = g.destinationStart - g.sourceStart; // source row of destination row 0
    // Every tile of the band holds a block (else the plain pass does it all).
    int64_t covered = 0;
    KXTileWalker::ReadArea(image, QRect(at, g.sourceStart, kBand, n), KXTileWalker::Run::Serial,
                           [&](const KXRGBA32i*, const QRect& part, unsigned int, unsigned int) {
                               covered += int64_t(part.width()) * part.height();
                           });
    if (covered != int64_t(n) * kBand)
        return false;
    thread_local KXCacheLineVector<uint32_t> rowStore;
    uint32_t* const rows = KXGaussianBandSums::Sized(rowStore, size_t(n) * kBand);
    // The band's source rows 0 … read - 1 are copied into rows (sixteen
    // pixels a row); more are read a tile row at a time, as the blocks
    // reach them, so that each block's rows go back into the tiles while
    // the lines they were read from are still in the caches (a band's 4000
    // lines of one tile column share few L2 sets). The next band's line of
    // each row is asked for as the row is read.
    int read = 0;
    KXGaussianBandSums::AlphaAnd<Ops::kLanes> all; // of the pixels read, for the opaque check
    const auto readTo = [&](int64_t end) {
        end = std::min<int64_t>(n, (g.sourceStart + std::max<int64_t>(end, 1) - 1) / H * H + H - g.sourceStart);
        if (end <= read)
            return true;
        bool split = false; // a band across a tile border: its rows come in two parts
        KXTileWalker::ReadArea(image, QRect(at, g.sourceStart + read, kBand, int(end) - read),
                               KXTileWalker::Run::Serial,
                               [&](const KXRGBA32i* in, const QRect& part, unsigned int column, unsigned int row) {
                                   const int lane = int(column) * W + part.left() - at;
                                   for (int y = part.top(); y <= part.bottom(); ++y) {
                                       uint32_t* to = &rows[size_t(int(row) * H + y - g.sourceStart) * kBand];
                                       const KXRGBA32i* from = in + y * W + part.left();
                                       if (part.left() + 2 * kBand <= W)
                                           __builtin_prefetch(from + kBand, 0, 2);
                                       if (part.width() == kBand) { // the whole band row in this tile
                                           all.Add(reinterpret_cast<const uint32_t*>(from));
                                           std::memcpy(to, from, kBand * sizeof(uint32_t));
                                       } else {
                                           std::memcpy(to + lane, from, size_t(part.width()) * sizeof(uint32_t));
                                           split = true;
                                       }
                                   }
                               });
        for (int i = read; split && i < end; ++i)
            all.Add(&rows[size_t(i) * kBand]);
        read = int(end);
        return all.Opaque();
    };
    const auto ready = [&](int d0, int count) { return readTo(int64_t(offset) + d0 + count + r); };
    const auto put = [&](int d0, int count, const uint32_t* out) {
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
    const int done = KXGaussianBandSums::Sum<Ops, kRows>(rows, n, offset, length, kernel.Weights().data(), r, cw, ready, put);
    if (done == 0)
        return false; // nothing written: the plain pass does the band
    if (done < length) {
        // Not opaque past the blocks written: the rest by the plain kernel
        // from the band's own pixels (those rows not yet written over).
        all.Reset();
        readTo(n);
        PlainRest(g, image, kernel, rows, at, done);
    }
    return true;
}

typedef bool BandForm(const KXPassGeometry&, KXImageRGBA32i&, const KXGaussian1DPremul&,
                      const KXGaussianCertified::Weights&, int);

// The same sums on either instruction set: each lane is the same chain of
// fused multiply-adds with AVX2 as with AVX-512 (KXGaussianBandSums::Sum),
// so both give the bytes the certificate proves equal to the plain
// kernel's.
KX_BAND_FORM("avx512f,fma")
bool Band512(const KXPassGeometry& g, KXImageRGBA32i& image,
             const KXGaussian1DPremul& kernel,
             const KXGaussianCertified::Weights& cw, int at)
{
    return BandBody<KXGaussianCertified::OpsAvx512>(g, image, kernel, cw, at);
}

KX_BAND_FORM("avx2,fma")
bool BandAvx2(const KXPassGeometry& g, KXImageRGBA32i& image,
              const KXGaussian1DPremul& kernel,
              const KXGaussianCertified::Weights& cw, int at)
{
    return BandBody<KXGaussianCertified::OpsAvx2>(g, image, kernel, cw, at);
}
#endif

} // namespace

bool KXGaussianBands::OpaqueBand(const KXPassGeometry& g, KXImageRGBA32i& image, const KXGaussian1DPremul& kernel,
                                 int at)
{
#if defined(KX_ISA_X86)
    const KXGaussianCertified::Weights* cw = KXGaussianBandSums::OpaqueWeights(kernel);
    // OpaqueWeights is null below AVX2, so the base form is never called.
    BandForm* const band = KXIsa::ByLevel<BandForm*>(nullptr, BandAvx2, Band512);
    return cw && band && g.sourceLength > 0 && band(g, image, kernel, *cw, at);
#else
    (void)g, (void)image, (void)kernel, (void)at;
    return false;
#endif
}
