// Both passes of the Gaussian a tile at a time (see KXGaussianTiles.h).
//
// For a tile at (x0, y0), each source row y0 - r … y0 + height - 1 + r
// (the image's edge rows repeating beyond it) is read straight from the
// source tiles, columns x0 - r … x0 + 127 + r (edge columns repeating),
// into three float planes and summed along the row (CertifiedValues): the
// row pass's byte values, as floats, for the tile's 128 columns, in planes
// of 128 floats a row. The column pass sums those planes a row at a time (a
// tap m rows away is 128 m floats farther, whole aligned vectors) into the
// tile's pixels (CertifiedGroups). A lane either certificate leaves unsure
// takes the exact kernel on the same values: the row pass's on the row's
// planes, the column pass's on the row pass's values of its column. So
// each row value is the row pass's byte, and each pixel the column pass's
// byte over those: the bytes of the two passes one after the other. A tile
// that finds a translucent pixel starts again weighted (WeightedTile).

#pragma GCC diagnostic ignored "-Wpsabi" // the wide vectors never cross a call: their helpers are always inlined

#include "KXGaussianTiles.h"

#include "filters/KXLineRunner.h"
#include "KXGaussianSchedule.h"

#include "core/KXIsa.h"
#include "KXGaussianBandSums.h"
#include "KXGaussianCertified.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;

std::atomic<bool>& OpaqueOnlyFlag()
{
    static std::atomic<bool> only{false};
    return only;
}

#if defined(KX_ISA_X86)
using KXGaussianBandSums::Sized;
using KXGaussianCertified::Weights;

// The part of a tile to write: image columns x0 … x0 + width - 1, rows
// y0 … y0 + height - 1, at `out` (its first pixel, rows W apart).
struct Part {
    int x0, y0, width, height;
    KXRGBA32i* out;
};

// The first pixels of the source's tiles in tile rows top … bottom, held
// open for reading while it lives; null for a tile without a block.
class Blocks {
public:
    Blocks(const KXImageRGBA32i& source, int top, int bottom)
        : m_columns(int(source.TileColumns())), m_top(top), m_rows(std::max(0, bottom - top + 1)),
          m_tiles(size_t(m_columns) * size_t(m_rows), nullptr)
    {
        m_access.reserve(m_tiles.size());
        KXTileWalker::Read(source, QRect(0, top, m_columns, m_rows), KXTileWalker::Run::Serial,
                           [&](const KXRGBA32i*, unsigned int column, unsigned int row) {
                               m_access.emplace_back(source.Tile(column, row)->constData()->block, false);
                               m_tiles[size_t(int(row) - m_top) * size_t(m_columns) + column] = m_access.back().Data();
                           });
    }
    // Pixel (x, y) of the rows held, or null where its tile holds no block.
    const KXRGBA32i* Pixel(int x, int y) const
    {
        const KXRGBA32i* tile = m_tiles[size_t(y / H - m_top) * size_t(m_columns) + size_t(x / W)];
        return tile ? tile + (y % H) * W + x % W : nullptr;
    }

private:
    int m_columns, m_top, m_rows;
    std::vector<const KXRGBA32i*> m_tiles;
    std::vector<KXTileAccess<const KXRGBA32i>> m_access;
};

// Calls fn(pixels, n, i) for source row y's positions i … i + n - 1 in
// turn (0 … count - 1 in all), position i being column `left` + i clamped
// into the image's `width` columns: a run inside one tile's row, or one
// position outside the image repeating its edge. False where a tile holds
// no block.
template <class Fn>
inline __attribute__((always_inline)) bool ForRow(const Blocks& blocks, int y, int left, int count, int width,
                                                  Fn&& fn)
{
    for (int i = 0; i < count;) {
        const int x = std::min(std::max(left + i, 0), width - 1);
        const int n = left + i < 0 || left + i >= width ? 1 : std::min({count - i, W - x % W, width - x});
        const KXRGBA32i* from = blocks.Pixel(x, y);
        if (!from)
            return false;
        fn(from, n, i);
        i += n;
    }
    return true;
}

// Source row y's positions (ForRow) into the float planes b, g, r
// (FillFloatPlanes). The AND of their alpha bytes; -1 where a tile holds
// no block. The planes have L floats to spare before position 0 and after
// position count - 1: the r positions from a neighbouring tile, fewer than
// a vector, go in as a whole vector of that tile's row, the one ending at
// its last pixel for the first positions (the spare floats before them
// take the rest) or the one starting at its first pixel for the others
// (the floats after them are spare, or written again by the next run).
template <int L>
inline __attribute__((always_inline)) int FillRow(const Blocks& blocks, int y, int left, int count, int width,
                                                  float* const* plane)
{
    unsigned alpha = 255;
    const bool all = ForRow(blocks, y, left, count, width, [&](const KXRGBA32i* from, int n, int i) {
        const int x = left + i; // the run's first column (inside the image where n > 1)
        const bool part = n > 1 && n < L;
        const bool endsTile = part && i == 0 && x % W + n == W, startsTile = part && x % W == 0;
        if (!endsTile && !startsTile) {
            float* const at[3] = {plane[0] + i, plane[1] + i, plane[2] + i};
            alpha &= KXGaussianCertified::FillFloatPlanes<L>(from, n - 1, 0, n, at);
            return;
        }
        const int back = endsTile ? L - n : 0; // positions taken in before i
        float* const at[3] = {plane[0] + i - back, plane[1] + i - back, plane[2] + i - back};
        KXGaussianCertified::FillFloatPlanes<L>(from - back, L - 1, 0, L, at);
        for (int k = 0; k < n; ++k)
            alpha &= from[k].a;
    });
    return all ? int(alpha & 255) : -1;
}

// The exact kernel's pixel on opaque pixels whose b, g, r lie in the float
// planes at `centre` + k `step`, k = -r … r (weights w[0] … w[2r]).
inline KXRGBA32i ExactFromPlanes(const float* const* plane, size_t centre, size_t step, const double* w, int r)
{
    KXRGBA32i taps[2 * KXGaussianTiles::kMaxRadius + 1];
    for (int k = 0; k <= 2 * r; ++k) {
        const size_t i = centre + step * size_t(k) - step * size_t(r);
        taps[k] = KXRGBA32i(0xff000000u | uint32_t(plane[2][i]) << 16 | uint32_t(plane[1][i]) << 8 |
                            uint32_t(plane[0][i]));
    }
    return KXGaussianCertified::ExactPixel(taps, 1, 2 * r, r, w, r);
}

// The pixels of the G vectors of L lanes at columns x … of a tile row `to`
// (only those below `width` where the tile is cut).
template <int L, int G, class U>
inline __attribute__((always_inline)) void PutPixels(KXRGBA32i* to, int x, int width, const U* pixels)
{
    for (int g = 0; g < G; ++g) {
        const int at = x + g * L;
        if (at + L <= width)
            std::memcpy(static_cast<void*>(to + at), &pixels[g], sizeof(U));
        else if (at < width)
            std::memcpy(static_cast<void*>(to + at), &pixels[g], size_t(width - at) * sizeof(KXRGBA32i));
    }
}

// exact(column) for each lane that bad[0 … vectors - 1] leaves unsure
// (bit j of bad[v]: column v L + j) below `width`: a row's unsure lanes
// after all its sums, which keeps the rare exact kernel out of the loop
// over the blocks.
template <int L, class Exact>
inline __attribute__((always_inline)) void Unsure(const unsigned* bad, int vectors, int width, Exact&& exact)
{
    for (int v = 0; v < vectors; ++v)
        for (unsigned lanes = bad[v]; lanes != 0; lanes &= lanes - 1) {
            const int column = v * L + __builtin_ctz(lanes);
            if (column < width)
                exact(column);
        }
}

enum class Outcome { Done, Translucent, NoBlock };

// The part `p` of the two passes (weights w[0] … w[2r], float weights
// `cw`) with the operations `Ops`, from the source rows held by `blocks`,
// where every pixel it reads is opaque; nothing written where one is not
// (Translucent) or a tile holds no block (NoBlock).
template <class Ops, int R>
inline __attribute__((always_inline)) Outcome OpaqueTile(const KXImageRGBA32i& source, const Blocks& blocks,
                                                         const double* w, int r, const Weights& cw, const Part& p)
{
    constexpr int L = Ops::kLanes, G = Ops::kGroups, kBlock = L * G;
    static_assert(W % kBlock == 0, "blocks of columns tile a tile");
    typedef typename KXGaussianCertified::Vec<L>::U U;
    const int positions = W + 2 * r, count = p.height + 2 * r;
    const int width = int(source.Width()), height = int(source.Height());
    thread_local KXCacheLineVector<float> lineStore, sumStore;
    // Floats of a line plane, with L to spare before and after its positions
    // (FillRow).
    const int stride = (positions + 2 * L + 15) & ~15;
    float* const lines = Sized(lineStore, 3 * size_t(stride));
    float* const line[3] = {lines + L, lines + L + stride, lines + L + 2 * stride};
    const size_t planeLength = size_t(count) * W;
    float* const sums = Sized(sumStore, 3 * planeLength);
    float* const plane[3] = {sums, sums + planeLength, sums + 2 * planeLength};
    const auto written = [&](int x) { return x < p.width; }; // the tile's columns inside the image

    // The row pass: the r rows above and below (the image's edge rows
    // repeating beyond it), and the part's own, into plane[c][j W + x].
    for (int j = 0; j < count; ++j) {
        const int y = std::min(std::max(p.y0 - r + j, 0), height - 1);
        // The same row of the tile to the right, which comes next: asked for
        // a tile ahead, its rows arrive while this one is summed instead of
        // being waited for row by row.
        if (p.x0 + W < width)
            if (const KXRGBA32i* next = blocks.Pixel(p.x0 + W, y))
                for (int k = 0; k < W; k += 16)
                    __builtin_prefetch(next + k, 0, 3);
        const int alpha = FillRow<L>(blocks, y, p.x0 - r, positions, width, line);
        if (alpha != 255)
            return alpha < 0 ? Outcome::NoBlock : Outcome::Translucent;
        unsigned bad[W / L];
        for (int x = 0; x < W; x += kBlock)
            KXGaussianCertified::CertifiedValues<Ops, L, G, 1, L, R>(line, r + x, r, cw, plane, j * W + x, bad + x / L);
        Unsure<L>(bad, W / L, p.width, [&](int at) {
            const KXRGBA32i exact = ExactFromPlanes(line, size_t(at + r), 1, w, r);
            plane[0][size_t(j) * W + at] = exact.b;
            plane[1][size_t(j) * W + at] = exact.g;
            plane[2][size_t(j) * W + at] = exact.r;
        });
    }

    // The column pass, a row of the part at a time.
    for (int y = 0; y < p.height; ++y) {
        KXRGBA32i* to = p.out + y * W;
        unsigned bad[W / L];
        int x = 0;
        for (; x < W && written(x); x += kBlock) {
            U pixels[G];
            KXGaussianCertified::CertifiedGroups<Ops, L, G, W, L, false, R>(plane, (y + r) * W + x, r, cw, pixels,
                                                                             bad + x / L);
            PutPixels<L, G>(to, x, p.width, pixels);
        }
        Unsure<L>(bad, x / L, p.width, [&](int column) {
            to[column] = ExactFromPlanes(plane, size_t(y + r) * W + size_t(column), W, w, r);
        });
    }
    return Outcome::Done;
}

// The same where pixels may be translucent: both passes weight the colours
// by alpha (FillFloatPlanes<L, true>, CertifiedGroups with Weighted), the
// row pass's pixels kept as words and weighted again for the column pass,
// as the passes read them. The exact kernel takes the unsure lanes from a
// copy of the source row, or from the row pass's pixels of the column.
template <class Ops, int R>
inline __attribute__((always_inline)) Outcome WeightedTile(const KXImageRGBA32i& source, const Blocks& blocks,
                                                           const double* w, int r, const Weights& cw, const Part& p)
{
    constexpr int L = Ops::kLanes, G = Ops::kGroups, kBlock = L * G;
    typedef typename KXGaussianCertified::Vec<L>::U U;
    const int positions = W + 2 * r, count = p.height + 2 * r;
    const int width = int(source.Width()), height = int(source.Height());
    const int stride = (positions + 15) & ~15; // words or floats of a line
    thread_local KXCacheLineVector<uint32_t> wordStore;
    thread_local KXCacheLineVector<float> lineStore, sumStore;
    uint32_t* const words = Sized(wordStore, size_t(stride) + size_t(count) * W);
    uint32_t* const rows = words + stride; // the row pass's pixels, W a row
    float* const lines = Sized(lineStore, 4 * size_t(stride));
    float* const line[4] = {lines, lines + stride, lines + 2 * stride, lines + 3 * stride};
    const size_t planeLength = size_t(count) * W;
    float* const sums = Sized(sumStore, 4 * planeLength);
    float* const plane[4] = {sums, sums + planeLength, sums + 2 * planeLength, sums + 3 * planeLength};
    const auto written = [&](int x) { return x < p.width; };

    for (int j = 0; j < count; ++j) {
        const int y = std::min(std::max(p.y0 - r + j, 0), height - 1);
        if (!ForRow(blocks, y, p.x0 - r, positions, width, [&](const KXRGBA32i* from, int n, int i) {
                std::memcpy(words + i, from, size_t(n) * sizeof(uint32_t));
            }))
            return Outcome::NoBlock;
        const auto* pixels = reinterpret_cast<const KXRGBA32i*>(words);
        KXGaussianCertified::FillFloatPlanes<L, true>(pixels, positions - 1, 0, positions, line);
        unsigned bad[W / L];
        for (int x = 0; x < W; x += kBlock) {
            U out[G];
            KXGaussianCertified::CertifiedGroups<Ops, L, G, 1, L, true>(line, r + x, r, cw, out, bad + x / L);
            std::memcpy(rows + size_t(j) * W + x, out, sizeof out);
        }
        Unsure<L>(bad, W / L, p.width, [&](int at) {
            rows[size_t(j) * W + at] = KXGaussianCertified::ExactPixel(pixels, 1, positions - 1, at + r, w, r).value;
        });
        float* const at[4] = {plane[0] + size_t(j) * W, plane[1] + size_t(j) * W, plane[2] + size_t(j) * W,
                              plane[3] + size_t(j) * W};
        KXGaussianCertified::FillFloatPlanes<L, true>(reinterpret_cast<const KXRGBA32i*>(rows + size_t(j) * W), W - 1,
                                                      0, W, at);
    }

    const auto* done = reinterpret_cast<const KXRGBA32i*>(rows);
    for (int y = 0; y < p.height; ++y) {
        KXRGBA32i* to = p.out + y * W;
        unsigned bad[W / L];
        int x = 0;
        for (; x < W && written(x); x += kBlock) {
            U pixels[G];
            KXGaussianCertified::CertifiedGroups<Ops, L, G, W, L, true>(plane, (y + r) * W + x, r, cw, pixels,
                                                                        bad + x / L);
            PutPixels<L, G>(to, x, p.width, pixels);
        }
        Unsure<L>(bad, x / L, p.width, [&](int column) {
            to[column] = KXGaussianCertified::ExactPixel(done + column, W, count - 1, y + r, w, r);
        });
    }
    return Outcome::Done;
}

typedef Outcome TileForm(const KXImageRGBA32i&, const Blocks&, const double*, int, const Weights&, const Part&);

// One form of each per instruction set, each compiled on its own, and the
// opaque ones per radius, their tap chains unrolled; each lane of either
// instruction set is the same chain of fused multiply-adds, so all give the
// same bytes.
#define KX_TILE_FORM(name, isa, Body, Ops)                                                                              \
    template <int R>                                                                                                   \
    KX_BAND_FORM(isa)                                                                                                  \
    Outcome name(const KXImageRGBA32i& source, const Blocks& blocks, const double* w, int r, const Weights& cw,        \
                 const Part& p)                                                                                        \
    {                                                                                                                  \
        return Body<KXGaussianCertified::Ops, R>(source, blocks, w, r, cw, p);                                        \
    }
KX_TILE_FORM(Opaque512, "avx512f,fma", OpaqueTile, OpsAvx512)
KX_TILE_FORM(OpaqueAvx2, "avx2,fma", OpaqueTile, OpsAvx2)
KX_TILE_FORM(Weighted512, "avx512f,fma", WeightedTile, OpsAvx512)
KX_TILE_FORM(WeightedAvx2, "avx2,fma", WeightedTile, OpsAvx2)
#undef KX_TILE_FORM

// The opaque form for radius r (1 … kMaxRadius) of the level in use.
template <int... R>
TileForm* OpaqueForm(int r, std::integer_sequence<int, R...>)
{
    static TileForm* const avx2[] = {OpaqueAvx2<R + 1>...};
    static TileForm* const avx512[] = {Opaque512<R + 1>...};
    return KXIsa::ByLevel<TileForm*>(nullptr, avx2[r - 1], avx512[r - 1]);
}
#endif

} // namespace

void KXGaussianTiles::OpaqueOnly(bool only)
{
    OpaqueOnlyFlag().store(only);
}

bool KXGaussianTiles::Usable(const KXGaussian1DPremul& kernel)
{
#if defined(KX_ISA_X86)
    if (kernel.Radius() > kMaxRadius)
        return false;
    const KXGaussianCertified::Weights* cw = KXGaussianBandSums::OpaqueWeights(kernel);
    // Opaque row values need no clamp (CertifiedValues), translucent tiles
    // the weighted certificate.
    return cw && cw->below256 && cw->translucent;
#else
    (void)kernel;
    return false;
#endif
}

std::vector<QRect> KXGaussianTiles::Rows(const KXImageRGBA32i& source, KXImageRGBA32i& out,
                                         const KXGaussian1DPremul& kernel, int first, int last, KXTileWalker::Run run)
{
    std::vector<QRect> others;
    const QRect area = KXTileWalker::Clip(QRect(0, first, source.Width(), last - first + 1), source.Rect());
    if (area.isEmpty())
        return others;
    std::mutex othersLock;
#if defined(KX_ISA_X86)
    const int r = kernel.Radius();
    const KXGaussianCertified::Weights* cw = Usable(kernel) ? KXGaussianBandSums::OpaqueWeights(kernel) : nullptr;
    TileForm* const opaque =
        cw ? OpaqueForm(r, std::make_integer_sequence<int, KXGaussianTiles::kMaxRadius>()) : nullptr;
    TileForm* const weighted = KXIsa::ByLevel<TileForm*>(nullptr, WeightedAvx2<0>, Weighted512<0>);
    const bool opaqueOnly = OpaqueOnlyFlag().load(std::memory_order_relaxed);
    const double* w = kernel.Weights().data();
    const Blocks blocks(source, std::max(0, area.top() - r) / H, std::min(int(source.Height()) - 1, area.bottom() + r) / H);
#endif
    KXTileWalker::OverwriteArea(out, area, run,
                                [&](KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
                                    const Part p{int(column) * W + part.left(), int(row) * H + part.top(),
                                                 part.width(), part.height(), pixels + part.top() * W + part.left()};
#if defined(KX_ISA_X86)
                                    // Opaque where it can be, else weighted.
                                    Outcome outcome = Outcome::NoBlock;
                                    if (cw && opaque && weighted) {
                                        outcome = opaque(source, blocks, w, r, *cw, p);
                                        if (outcome == Outcome::Translucent && !opaqueOnly)
                                            outcome = weighted(source, blocks, w, r, *cw, p);
                                    }
                                    if (outcome == Outcome::Done)
                                        return;
#endif
                                    const std::lock_guard<std::mutex> locker(othersLock);
                                    others.push_back(QRect(p.x0, p.y0, p.width, p.height));
                                });
    return others;
}

void KXGaussianTiles::Both(const KXImageRGBA32i& source, KXImageRGBA32i& out, const KXGaussian1DPremul& kernel,
                           int first, int last, KXTileWalker::Run run)
{
    const std::vector<QRect> left = Rows(source, out, kernel, first, last, run);
    if (left.empty())
        return;
    // The passes over a copy of the source (its tiles shared until written):
    // rows over the tiles' columns, from r above them to r below, then
    // columns over the tiles, which read no row the row pass skipped.
    const int r = kernel.Radius();
    QRect tiles;
    for (const QRect& tile : left)
        tiles |= tile;
    KXImageRGBA32i work = source;
    KXLineRunner runner; // nobody cancels or watches it
    KXKernelPass<KXGaussian1DPremul> rows(work, tiles.adjusted(0, -r, 0, r), kernel, KXPassDirection::Horizontal);
    runner.Run(rows);
    KXKernelPass<KXGaussian1DPremul> columns(work, tiles, kernel, KXPassDirection::Vertical);
    runner.Run(columns);
    // Each tile left is a whole tile of the grid (cut by the image's edge),
    // all of it inside the column pass: the copy's tile is shared.
    for (const QRect& tile : left) {
        Q_ASSERT(tile.left() % W == 0 && tile.top() % H == 0); // first is a tile row's first row
        const QPoint at(tile.left() / W, tile.top() / H);
        CopyTiles(out, work, QRect(at, QSize(1, 1)), at);
    }
}
