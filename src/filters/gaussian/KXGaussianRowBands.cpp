// The Gaussian row pass a tile at a time, sixteen rows at once (see
// KXGaussianRows.h): a band of sixteen rows is turned so that a position's
// sixteen pixels (one a row) make one vector, summed as the column bands
// are (KXGaussianBandSums.h), and turned back into the tile's rows.

#pragma GCC diagnostic ignored "-Wpsabi" // the wide vectors never cross a call: their helpers are always inlined

#include "KXGaussianRows.h"

#include "core/KXIsa.h"
#include "core/KXTileWalker.h"
#include "KXGaussianBandSums.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kLanes = KXGaussianBandSums::kLanes;
constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
constexpr int kBlock = W; // destinations summed from one set of planes: a tile's width
static_assert(kLanes == KXPassGeometry::kBandLines && W % kLanes == 0 && H % kLanes == 0,
              "bands of sixteen rows tile a tile");

// A tile's share of a row: destination indices first … first + length - 1,
// which read source positions lo … lo + positions - 1 only (taps beyond the
// row take its edge, and so do taps beyond these positions).
struct Part {
    int first, length;
    int lo, positions;
    int64_t offset; // the local source position of destination `first`
};

// Pixels of the band's rows (`lines` of them, image row `top` on) into the
// tile rows out[(y + k) W + x], k the line, from the plain kernel on each
// row's source positions alone; where a band is not opaque, or not all
// there.
void PlainRows(const KXPassGeometry& g, const KXImageRGBA32i& source, const KXGaussian1DPremul& lineKernel,
               const Part& p, int top, int lines, KXRGBA32i* out)
{
    thread_local KXPixelLine in, result;
    in.resize(size_t(p.positions));
    result.resize(size_t(p.length));
    KXGaussian1DPremul kernel(lineKernel);
    kernel.SetSource(&in);
    kernel.SetSourceOffset(int(p.offset));
    kernel.SetDestination(&result);
    for (int k = 0; k < lines; ++k) {
        source.GetLine(unsigned(top + k), unsigned(g.sourceStart + p.lo), in.data(),
                       unsigned(p.positions) * sizeof(KXRGBA32i));
        kernel.Span(0, p.length);
        std::memcpy(static_cast<void*>(out + k * W), result.data(), size_t(p.length) * sizeof(KXRGBA32i));
    }
}

#if defined(KX_ISA_X86)
typedef KXGaussianCertified::Vec<kLanes>::U U;

// The two-source permutations of Turn's steps: for rows i (bit b
// clear) and i + b, row i keeps its columns without bit b and takes the
// others from row i + b, and row i + b the reverse.
struct TurnSteps {
    alignas(64) int keep[4][kLanes];
    alignas(64) int swap[4][kLanes];
    constexpr TurnSteps() : keep(), swap()
    {
        for (int s = 0; s < 4; ++s)
            for (int x = 0, b = 8 >> s; x < kLanes; ++x) {
                keep[s][x] = (x & b) ? kLanes + (x ^ b) : x;
                swap[s][x] = (x & b) ? kLanes + x : (x ^ b);
            }
    }
};
constexpr TurnSteps kSteps;

// The 16 x 16 square from[k in + i] turned: to[i out + k]. (Called from the
// walker's callbacks, which are not built for AVX-512.) Turns only move
// words: no arithmetic, so every form gives the same bits.
__attribute__((target("avx512f"))) void Turn512(const uint32_t* from, int in, uint32_t* to, int out)
{
    U v[kLanes];
#pragma GCC unroll 16
    for (int k = 0; k < kLanes; ++k)
        std::memcpy(&v[k], from + k * in, sizeof(U));
    // v[i][x] becomes v[x][i]: at each step b (8, 4, 2, 1) rows i and i + b
    // swap the halves of their columns that differ in bit b.
#pragma GCC unroll 4
    for (int s = 0; s < 4; ++s) {
        const int b = 8 >> s;
        const __m512i low = _mm512_load_si512(kSteps.keep[s]), high = _mm512_load_si512(kSteps.swap[s]);
#pragma GCC unroll 8
        for (int j = 0; j < kLanes / 2; ++j) {
            const int i = ((j & ~(b - 1)) << 1) | (j & (b - 1)); // the j-th row with bit b clear
            const __m512i a = __m512i(v[i]), c = __m512i(v[i + b]);
            v[i] = U(_mm512_permutex2var_epi32(a, low, c));
            v[i + b] = U(_mm512_permutex2var_epi32(a, high, c));
        }
    }
#pragma GCC unroll 16
    for (int i = 0; i < kLanes; ++i)
        std::memcpy(to + i * out, &v[i], sizeof(U));
}

// The same with AVX2: the square as four 8 x 8 quarters, each turned in
// registers (pairs of words, then pairs of pairs, then the 128-bit halves
// change places) and stored at the mirrored quarter.
__attribute__((target("avx2"))) void TurnAvx2(const uint32_t* from, int in, uint32_t* to, int out)
{
    for (int qk = 0; qk < kLanes; qk += 8)
        for (int qi = 0; qi < kLanes; qi += 8) {
            __m256 v[8], t[8];
            for (int k = 0; k < 8; ++k)
                v[k] = _mm256_castsi256_ps(_mm256_loadu_si256(
                    reinterpret_cast<const __m256i*>(from + (qk + k) * in + qi)));
            for (int k = 0; k < 8; k += 2) {
                t[k] = _mm256_unpacklo_ps(v[k], v[k + 1]);     // rows k, k + 1: words 0 0 1 1 | 4 4 5 5
                t[k + 1] = _mm256_unpackhi_ps(v[k], v[k + 1]); // 2 2 3 3 | 6 6 7 7
            }
            for (int k = 0; k < 8; k += 4) {
                v[k] = _mm256_shuffle_ps(t[k], t[k + 2], _MM_SHUFFLE(1, 0, 1, 0)); // word 0 of rows k … k + 3 | word 4
                v[k + 1] = _mm256_shuffle_ps(t[k], t[k + 2], _MM_SHUFFLE(3, 2, 3, 2));
                v[k + 2] = _mm256_shuffle_ps(t[k + 1], t[k + 3], _MM_SHUFFLE(1, 0, 1, 0));
                v[k + 3] = _mm256_shuffle_ps(t[k + 1], t[k + 3], _MM_SHUFFLE(3, 2, 3, 2));
            }
            for (int i = 0; i < 4; ++i) {
                t[i] = _mm256_permute2f128_ps(v[i], v[i + 4], 0x20);     // word i of rows 0 … 7
                t[i + 4] = _mm256_permute2f128_ps(v[i], v[i + 4], 0x31); // word i + 4
            }
            for (int i = 0; i < 8; ++i)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + (qi + i) * out + qk), _mm256_castps_si256(t[i]));
        }
}

typedef void TurnForm(const uint32_t*, int, uint32_t*, int);

// Band rows top … top + lines - 1 of tile part `p`, summed into `out` (the
// tile's block) with the operations `Ops` and turned by `Turn`; false
// (nothing written) where the band is not opaque or not all there.
template <class Ops, TurnForm* Turn>
inline __attribute__((always_inline)) bool RowBandBody(const KXPassGeometry& g, const KXImageRGBA32i& source,
                                                       const double* w, int r, const KXGaussianCertified::Weights& cw,
                                                       const Part& p, int top, int lines, KXRGBA32i* out)
{
    thread_local KXCacheLineVector<uint32_t> store;
    // rows[16 i + k]: source position lo + i of line k, with room for
    // sixteen positions on either side.
    uint32_t* const rows = KXGaussianBandSums::Sized(store, size_t(p.positions + 2 * kLanes) * kLanes) + kLanes * kLanes;
    int64_t copied = 0;
    // A full band is turned sixteen tile columns at a time, in registers:
    // the squares lie on the tile's grid of sixteen columns, so those at
    // either end of the rectangle may put up to fifteen pixels outside lo …
    // lo + positions - 1, into the room kept there.
    KXTileWalker::ReadArea(
        source, QRect(g.sourceStart + p.lo, top, p.positions, lines), KXTileWalker::Run::Serial,
        [&](const KXRGBA32i* in, const QRect& part, unsigned int column, unsigned int row) {
            copied += int64_t(part.width()) * part.height();
            const int i0 = int(column) * W - g.sourceStart - p.lo; // the position of the tile's column 0
            const auto* from = reinterpret_cast<const uint32_t*>(in) + part.top() * W;
            if (part.height() == kLanes) {
                for (int x = part.left() & ~(kLanes - 1); x <= part.right(); x += kLanes)
                    Turn(from + x, W, rows + int64_t(i0 + x) * kLanes, kLanes);
            } else {
                const int k0 = int(row) * H + part.top() - top;
                for (int k = 0; k < part.height(); ++k)
                    for (int x = part.left(); x <= part.right(); ++x)
                        rows[int64_t(i0 + x) * kLanes + k0 + k] = from[k * W + x];
            }
            // A neighbour's few columns lie one cache line a row, which the
            // processor does not fetch ahead: the next band's are asked for.
            if (part.width() < kLanes)
                for (int k = part.height(); k < part.height() + kLanes && part.top() + k < H; ++k)
                    __builtin_prefetch(from + k * W + part.left(), 0, 2);
        });
    if (copied != int64_t(p.positions) * lines)
        return false;
    KXGaussianBandSums::AlphaAnd<Ops::kLanes> all;
    for (int i = 0; i < p.positions; ++i) {
        uint32_t* at = rows + size_t(i) * kLanes;
        for (int k = lines; k < kLanes; ++k) // lanes past the band's rows repeat its last
            at[k] = at[lines - 1];
        all.Add(at);
    }
    if (!all.Opaque())
        return false;

    const auto ready = [](int, int) { return true; };
    const auto put = [&](int d0, int count, const uint32_t* sums) {
        auto* to = reinterpret_cast<uint32_t*>(out) + d0;
        int d = 0;
        if (lines == kLanes)
            for (; d + kLanes <= count; d += kLanes)
                Turn(sums + size_t(d) * kLanes, kLanes, to + d, W);
        for (int k = 0; k < lines; ++k)
            for (int i = d; i < count; ++i)
                to[k * W + i] = sums[size_t(i) * kLanes + size_t(k)];
    };
    KXGaussianBandSums::Sum<Ops, kBlock>(rows, p.positions, p.offset, p.length, w, r, cw, ready, put);
    return true;
}

typedef bool RowBandForm(const KXPassGeometry&, const KXImageRGBA32i&, const double*, int,
                         const KXGaussianCertified::Weights&, const Part&, int, int, KXRGBA32i*);

// One form per instruction set, the same bytes (see BandAvx2 in
// KXGaussianBands.cpp; the turns move words only).
#define KX_ROW_BAND_FORM(name, isa, Ops, TurnOf)                                                                       \
    KX_BAND_FORM(isa)                                                                                                  \
    bool name(const KXPassGeometry& g, const KXImageRGBA32i& source, const double* w, int r,                           \
              const KXGaussianCertified::Weights& cw, const Part& p, int top, int lines, KXRGBA32i* out)               \
    {                                                                                                                  \
        return RowBandBody<KXGaussianCertified::Ops, TurnOf>(g, source, w, r, cw, p, top, lines, out);                 \
    }
KX_ROW_BAND_FORM(RowBand512, "avx512f,fma", OpsAvx512, Turn512)
KX_ROW_BAND_FORM(RowBandAvx2, "avx2,fma", OpsAvx2, TurnAvx2)
#undef KX_ROW_BAND_FORM
#endif

} // namespace

bool KXGaussianRows::TileWave(const KXKernelPass<KXGaussian1DPremul>& pass, int first, int last)
{
#if defined(KX_ISA_X86)
    const KXPassGeometry& g = pass.Geometry();
    const KXGaussian1DPremul& kernel = pass.LineKernel();
    const KXGaussianCertified::Weights* cw = KXGaussianBandSums::OpaqueWeights(kernel);
    // OpaqueWeights is null below AVX2, so the base form is never called.
    RowBandForm* const band = KXIsa::ByLevel<RowBandForm*>(nullptr, RowBandAvx2, RowBand512);
    if (!cw || !band || !g.horizontal || g.sourceLength <= 0 || g.destinationLength <= 0)
        return false;
    const QRect area = g.Area(first, last);
    if (area.isEmpty())
        return true;
    KXImageRGBA32i& image = pass.Image();
    // The source as it was: while it holds every tile, each tile the wave
    // writes is shared, so the walker gives it a fresh block and the old
    // pixels stay readable for the neighbours' margins.
    const KXImageRGBA32i source = image;
    const int r = kernel.Radius(), n = g.sourceLength;
    const int64_t offset = int64_t(g.destinationStart) - g.sourceStart; // source position of destination 0
    const double* w = kernel.Weights().data();
    KXTileWalker::OverwriteArea(
        image, area, KXTileWalker::Run::Parallel,
        [&](KXRGBA32i* out, const QRect& part, unsigned int column, unsigned int row) {
            Part p;
            p.first = int(column) * W + part.left() - g.destinationStart;
            p.length = part.width();
            const auto clamp = [n](int64_t i) { return int(std::min<int64_t>(n - 1, std::max<int64_t>(0, i))); };
            p.lo = clamp(p.first + offset - r);
            const int hi = clamp(int64_t(p.first) + p.length - 1 + offset + r);
            p.positions = hi - p.lo + 1;
            p.offset = p.first + offset - p.lo;
            for (int y = part.top(); y <= part.bottom(); y += kLanes) {
                const int lines = std::min(kLanes, part.bottom() - y + 1);
                KXRGBA32i* to = out + y * W + part.left();
                const int top = int(row) * H + y;
                if (!band(g, source, w, r, *cw, p, top, lines, to))
                    PlainRows(g, source, kernel, p, top, lines, to);
            }
        });
    return true;
#else
    (void)pass, (void)first, (void)last;
    return false;
#endif
}
