// The alpha-weighted box line and its band form: the terms, sums and
// finishing of KXBoxArithmetic.h, bit for bit the accumulator's line.

#include "KXBoxBand.h"

#include "core/KXIsa.h"
#include "core/KXTileWalker.h"
#include "KXBoxArithmetic.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)

namespace {

using namespace KXBoxArithmetic;

constexpr int kBoxBlock = 256; // pixels slid before they are finished

} // namespace

void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                KXRGBABlurAccumulatorPremul& accumulator, KXBoxLineScratch& scratch)
{
    const int r = accumulator.Radius();
    if (r < 0 || r > kMaxRadius || g.destinationLength <= 0) {
        KXSlideBox<KXRGBABlurAccumulatorPremul>(g, source, destination, accumulator);
        return;
    }
    const int d = 2 * r + 1;
    const int n = g.destinationLength;
    const int length = n + d; // window positions first … first + length - 1
    scratch.terms.resize(static_cast<size_t>(length) + 4);
    scratch.sums.resize(4 * static_cast<size_t>(kBoxBlock));
    uint32_t* terms = scratch.terms.data();
    // Positions outside the image repeat the edge pixel (clamped positions
    // always lie in the source segment).
    const int64_t first = int64_t(g.destinationStart) - r - 1;
    const int inStart = int(std::min<int64_t>(std::max<int64_t>(0, -first), length));
    const int inEnd = int(std::max<int64_t>(inStart, std::min<int64_t>(length, g.extent - first)));
    const uint32_t* in = reinterpret_cast<const uint32_t*>(source.data()) + (first + inStart - g.sourceStart);
    ChooseTerms()(in, inEnd - inStart, terms + inStart);
    if (inStart > 0)
        std::fill(terms, terms + inStart, Term(source.front().value));
    if (inEnd < length)
        std::fill(terms + inEnd, terms + length, Term(source.back().value));

    const FinishFunction finish = ChooseFinish();
    __m128i sums = _mm_setzero_si128();
    for (int k = 0; k < d; ++k)
        sums = _mm_add_epi32(sums, Widen(terms[k]));
    int32_t* block = scratch.sums.data();
    uint32_t* out = reinterpret_cast<uint32_t*>(destination.data());
    for (int at = 0; at < n; at += kBoxBlock) {
        const int m = std::min(kBoxBlock, n - at);
        for (int j = 0; j < m; ++j) {
            const int i = at + j;
            sums = _mm_add_epi32(sums, _mm_sub_epi32(Widen(terms[i + d]), Widen(terms[i])));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 4 * j), sums);
        }
        finish(block, m, d, out + at);
    }
}

void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                KXRGBABlurAccumulatorPremul& accumulator)
{
    KXBoxLineScratch scratch;
    KXSlideBox(g, source, destination, accumulator, scratch);
}

namespace {

// Where the rows of a band's window lie in its terms (see KXSlideBoxBand).
struct BandRows {
    const uint32_t* terms; // kBandLines words a source row
    int64_t top;           // position of window row 0
    int64_t extent;        // rows of the image
    int64_t sourceStart;   // position of source row 0
    int d;                 // rows in the window
};

inline const uint8_t* BandRow(const BandRows& b, int64_t q)
{
    const int64_t at = std::min<int64_t>(std::max<int64_t>(b.top + q, 0), b.extent - 1) - b.sourceStart;
    return reinterpret_cast<const uint8_t*>(b.terms + static_cast<size_t>(at) * KXPassGeometry::kBandLines);
}

// Output rows y … y + m - 1: the window moves down a row, the band's sums
// (four a column) are kept in `sums` and copied into `block` row by row.
// Every form adds and subtracts, lane by lane, exactly the terms this one
// does (the sums stay below 2^24: no lane wraps).
inline __attribute__((always_inline)) void SlideBandBody(const BandRows& b, int y, int m, int32_t* __restrict sums,
                                                         int32_t* __restrict block)
{
    constexpr int kLanes = 4 * KXPassGeometry::kBandLines;
    int32_t s[kLanes];
    for (int k = 0; k < kLanes; ++k)
        s[k] = sums[k];
    for (int j = 0; j < m; ++j) {
        const uint8_t* __restrict out = BandRow(b, y + j);
        const uint8_t* __restrict in = BandRow(b, int64_t(y) + j + b.d);
        for (int k = 0; k < kLanes; ++k)
            s[k] += int32_t(in[k]) - int32_t(out[k]);
        for (int k = 0; k < kLanes; ++k)
            block[j * kLanes + k] = s[k];
    }
    for (int k = 0; k < kLanes; ++k)
        sums[k] = s[k];
}

using SlideBandFunction = void (*)(const BandRows&, int, int, int32_t*, int32_t*);

__attribute__((flatten)) void SlideBandSse2(const BandRows& b, int y, int m, int32_t* sums, int32_t* block)
{
    SlideBandBody(b, y, m, sums, block);
}

#if defined(KX_ISA_X86)
// The band's sums in eight vector registers across the block, each group
// of eight bytes of a row widened to 32-bit lanes straight from memory
// (GCC keeps the plain body's sums in memory). The AVX-512 level uses it
// too: a form with four sixteen-lane vectors timed the same within the
// noise of a shared Zen 4 host (the block's loads and stores bound it).
__attribute__((target("avx2"))) void SlideBandAvx2(const BandRows& b, int y, int m, int32_t* sums, int32_t* block)
{
    constexpr int kLanes = 4 * KXPassGeometry::kBandLines;
    __m256i s[8];
    for (int k = 0; k < 8; ++k)
        s[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + 8 * k));
    for (int j = 0; j < m; ++j) {
        const uint8_t* out = BandRow(b, y + j);
        const uint8_t* in = BandRow(b, int64_t(y) + j + b.d);
        for (int k = 0; k < 8; ++k) {
            const __m256i entering = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8 * k)));
            const __m256i leaving = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(out + 8 * k)));
            s[k] = _mm256_add_epi32(s[k], _mm256_sub_epi32(entering, leaving));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + j * kLanes + 8 * k), s[k]);
        }
    }
    for (int k = 0; k < 8; ++k)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 8 * k), s[k]);
}
#endif

// At the instruction-set level in use.
SlideBandFunction ChooseSlideBand()
{
#if defined(KX_ISA_X86)
    return KXIsa::ByLevel<SlideBandFunction>(SlideBandSse2, SlideBandAvx2, SlideBandAvx2);
#else
    return SlideBandSse2;
#endif
}

} // namespace

namespace {
// The 4 x 4 matrix of words whose rows start at from, from + fromStride, …
// turned: its column p goes to the row at to + p toStride, for the first
// `columns` columns.
inline void Turn4(const uint32_t* from, size_t fromStride, uint32_t* to, size_t toStride, int columns = 4)
{
    __m128i c[4];
    for (int k = 0; k < 4; ++k)
        c[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + static_cast<size_t>(k) * fromStride));
    const __m128i t0 = _mm_unpacklo_epi32(c[0], c[1]), t1 = _mm_unpacklo_epi32(c[2], c[3]);
    const __m128i t2 = _mm_unpackhi_epi32(c[0], c[1]), t3 = _mm_unpackhi_epi32(c[2], c[3]);
    c[0] = _mm_unpacklo_epi64(t0, t1);
    c[1] = _mm_unpackhi_epi64(t0, t1);
    c[2] = _mm_unpacklo_epi64(t2, t3);
    c[3] = _mm_unpackhi_epi64(t2, t3);
    for (int p = 0; p < columns; ++p)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + static_cast<size_t>(p) * toStride), c[p]);
}

// Columns at … at + count - 1 of source rows from … from + rows - 1 of a
// band, read straight from the tiles: the terms of source row i go to
// terms[i kBandLines …], lanes past `count` zero. A band of 16 columns lies
// in one tile unless the area's left edge puts it across a tile border. A
// tile row is 512 bytes, of which a band takes one line: the rows a few
// lines down are asked for ahead of their turn, and so is the next band's
// line of each row (the next 64 bytes), which it reads a band later.
void ReadColumnBand(const KXImageRGBA32i& image, const KXPassGeometry& g, int at, int count, int from, int rows,
                    uint32_t* terms, TermsFunction termsOf)
{
    constexpr int kBand = KXPassGeometry::kBandLines;
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    constexpr int kAhead = 8; // rows
    if (count < kBand)
        std::fill(terms + static_cast<size_t>(from) * kBand, terms + static_cast<size_t>(from + rows) * kBand, 0u);
    KXTileWalker::ReadArea(image, QRect(at, g.sourceStart + from, count, rows), KXTileWalker::Run::Serial,
                           [&](const KXRGBA32i* in, const QRect& part, unsigned int column, unsigned int row) {
                               const int lane = int(column) * W + part.left() - at;
                               const int nextLeft = part.left() - lane + kBand; // the next band's first column
                               const bool nextInTile = nextLeft >= 0 && nextLeft + kBand <= W;
                               uint32_t* const partTerms =
                                   terms + static_cast<size_t>(int(row) * H + part.top() - g.sourceStart) * kBand;
                               for (int y = part.top(); y <= part.bottom(); ++y) {
                                   const uint32_t* p = reinterpret_cast<const uint32_t*>(in + y * W + part.left());
                                   uint32_t* t = partTerms + static_cast<size_t>(y - part.top()) * kBand;
                                   if (y + kAhead <= part.bottom())
                                       __builtin_prefetch(p + kAhead * W, 0, 3);
                                   if (nextInTile)
                                       __builtin_prefetch(in + y * W + nextLeft, 0, 2);
                                   if (part.width() < kBand)
                                       termsOf(p, part.width(), t + lane);
                                   else
                                       std::memcpy(t, p, kBand * sizeof(uint32_t));
                               }
                               if (part.width() == kBand) // the part's rows copied whole: their terms in place
                                   termsOf(partTerms, part.height() * kBand, partTerms);
                           });
}

// The band's finished rows from … from + count - 1 (kBandLines words a row)
// into columns at … at + count - 1 of rows destinationStart + from …,
// straight into the tiles (already the image's own).
void WriteColumnBand(KXImageRGBA32i& image, const KXPassGeometry& g, int at, int count, int from, int rows,
                     const uint32_t* finished)
{
    constexpr int kBand = KXPassGeometry::kBandLines;
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    KXTileWalker::WriteArea(image, QRect(at, g.destinationStart + from, count, rows), KXTileWalker::Run::Serial,
                            [&](KXRGBA32i* out, const QRect& part, unsigned int column, unsigned int row) {
                                const int lane = int(column) * W + part.left() - at;
                                for (int y = part.top(); y <= part.bottom(); ++y) {
                                    const uint32_t* r = finished +
                                                        static_cast<size_t>(int(row) * H + y - g.destinationStart) * kBand +
                                                        lane;
                                    uint32_t* p = reinterpret_cast<uint32_t*>(out + y * W + part.left());
                                    if (part.width() == kBand)
                                        std::memcpy(p, r, kBand * sizeof(uint32_t));
                                    else
                                        std::memcpy(p, r, static_cast<size_t>(part.width()) * sizeof(uint32_t));
                                }
                            });
}

} // namespace

// Lines of a pass, kBandLines at a time, with the same terms, sums and
// finishing as the line above; only the layout differs: the band's terms
// are kept position by position along the lines (kBandLines words a
// position, unused lines zero), the sums of all its lines slide together,
// and the finished pixels come out position by position. Columns are read
// from and written into the tiles directly in that layout (a short row
// segment a position); rows are read whole and their terms (and finished
// pixels) turned into (out of) it.
// Window positions outside the image take the nearest edge pixel, as the
// line does.
bool KXSlideBoxBand(const KXPassGeometry& g, KXImageRGBA32i& image, int first, int last,
                    KXRGBABlurAccumulatorPremul& accumulator, KXBoxLineScratch& scratch)
{
    const int r = accumulator.Radius();
    if (r < 0 || r > kMaxRadius || g.destinationLength <= 0 || g.sourceLength <= 0)
        return false;
    constexpr int kBand = KXPassGeometry::kBandLines, H = KXImageRGBA32i::kTileHeight;
    const int d = 2 * r + 1;
    const int n = g.destinationLength;
    const int64_t top = int64_t(g.destinationStart) - r - 1; // position of window row 0
    // Window positions clamped into the image lie in the source segment.
    const BandRows rows{nullptr, top, g.extent, g.sourceStart, d};
    scratch.terms.resize(static_cast<size_t>(g.sourceLength) * kBand);
    scratch.sums.resize(static_cast<size_t>(4 * kBoxBlock));
    scratch.pixels.resize(static_cast<size_t>(kBoxBlock));
    const TermsFunction termsOf = ChooseTerms();
    const FinishFunction finish = ChooseFinish();
    const SlideBandFunction slide = ChooseSlideBand();
    const int rowsPerBlock = kBoxBlock / kBand;
    uint32_t* terms = scratch.terms.data();
    BandRows band = rows;
    band.terms = terms;
    // A row read, with room for a group of 4 read past it, on a cache line.
    const size_t stride = (static_cast<size_t>(g.sourceLength) + 4 + 15) & ~size_t(15);
    if (g.horizontal)
        scratch.line.resize(stride * kBand);
    scratch.rows.resize(static_cast<size_t>(n) * kBand);
    for (int at = first; at <= last; at += kBand) {
        const int count = std::min(kBand, last - at + 1);
        if (g.horizontal) {
            // Rows: each row's terms, then turned into the band's layout
            // four rows by four positions at a time.
            const int length = g.sourceLength;
            for (int k = 0; k < kBand; ++k) {
                uint32_t* line = scratch.line.data() + static_cast<size_t>(k) * stride;
                if (k >= count) {
                    std::fill(line, line + stride, 0u);
                    continue;
                }
                image.GetLine(unsigned(at + k), unsigned(g.sourceStart), line, unsigned(length) * sizeof(KXRGBA32i));
                termsOf(line, length, line);
            }
            for (int i = 0; i < length; i += 4) {
                for (int k0 = 0; k0 < kBand; k0 += 4)
                    Turn4(scratch.line.data() + static_cast<size_t>(k0) * stride + i, stride,
                          terms + static_cast<size_t>(i) * kBand + k0, kBand, std::min(4, length - i));
            }
        }
        // Columns are read a tile row at a time as the window reaches them,
        // and each tile row's finished rows written back once done, while
        // the lines read for them are still in the caches (rows read lie
        // ahead of rows written: the pass works in place).
        int readEnd = g.horizontal ? g.sourceLength : 0; // source rows whose terms are in
        int written = 0;                                 // destination rows written
        const auto readTo = [&](int64_t position) {      // the window's rows up to `position`
            if (g.horizontal)
                return;
            const int64_t row = std::min<int64_t>(std::max<int64_t>(top + position, 0), g.extent - 1);
            const int end = int(std::min<int64_t>((row / H + 1) * H, int64_t(g.sourceStart) + g.sourceLength) -
                                g.sourceStart);
            if (end > readEnd) {
                ReadColumnBand(image, g, at, count, readEnd, end - readEnd, terms, termsOf);
                readEnd = end;
            }
        };
        readTo(d - 1);
        int32_t sums[4 * kBand] = {};
        for (int q = 0; q < d; ++q) {
            const uint8_t* t = BandRow(band, q);
            for (int k = 0; k < 4 * kBand; ++k)
                sums[k] += t[k];
        }
        for (int y = 0; y < n;) {
            int m = std::min(rowsPerBlock, n - y);
            if (!g.horizontal) // blocks end on tile rows
                m = std::min(m, H - (g.destinationStart + y) % H);
            readTo(int64_t(y) + m - 1 + d);
            slide(band, y, m, sums, scratch.sums.data());
            y += m;
            if (!g.horizontal) { // into the band's finished rows, written at the end of a tile row
                finish(scratch.sums.data(), m * kBand, d, scratch.rows.data() + static_cast<size_t>(y - m) * kBand);
                if (y == n || (g.destinationStart + y) % H == 0) {
                    WriteColumnBand(image, g, at, count, written, y - written, scratch.rows.data());
                    written = y;
                }
                continue;
            }
            const int from = y - m;
            finish(scratch.sums.data(), m * kBand, d, scratch.pixels.data());
            int j = 0;
            for (; j + 4 <= m; j += 4) {
                for (int k0 = 0; k0 < kBand; k0 += 4)
                    Turn4(scratch.pixels.data() + static_cast<size_t>(j) * kBand + k0, kBand,
                          scratch.rows.data() + static_cast<size_t>(k0) * n + from + j, size_t(n));
            }
            for (; j < m; ++j)
                for (int k = 0; k < count; ++k)
                    scratch.rows[static_cast<size_t>(k) * n + size_t(from + j)] =
                        scratch.pixels[static_cast<size_t>(j) * kBand + size_t(k)];
        }
        if (!g.horizontal)
            continue;
        for (int k = 0; k < count; ++k)
            image.SetLine(unsigned(at + k), unsigned(g.destinationStart), scratch.rows.data() + static_cast<size_t>(k) * n,
                          unsigned(n) * sizeof(KXRGBA32i));
    }
    return true;
}

#else // no SSE2: the accumulator's own line


void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                KXRGBABlurAccumulatorPremul& accumulator, KXBoxLineScratch&)
{
    KXSlideBox<KXRGBABlurAccumulatorPremul>(g, source, destination, accumulator);
}

void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                KXRGBABlurAccumulatorPremul& accumulator)
{
    KXSlideBox<KXRGBABlurAccumulatorPremul>(g, source, destination, accumulator);
}

bool KXSlideBoxBand(const KXPassGeometry&, KXImageRGBA32i&, int, int, KXRGBABlurAccumulatorPremul&,
                    KXBoxLineScratch&)
{
    return false;
}
#endif
