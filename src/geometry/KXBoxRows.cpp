// The box-blurred nearest sample of a shrink that only scales and moves,
// row by row: a source column then depends on the destination column alone
// and a source row on the destination row alone, so the row averages at the
// sampled columns are worked out once per source row and tile and reused by
// every destination row whose window holds that row. The averages are the
// per-pixel rule's (BoxNearestRule): 16-bit lane sums of the window, each
// divided by the high half of a multiplication by 2^16 / n rounded up.

#include "geometry/KXResample.h"

#include "geometry/KXInverseMap.h"
#include "geometry/KXSampleRules.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

using KXGeometry::kEpsilon;

// Where destination columns (or rows) sample: the source index and whether
// the position lies inside the source (Cell's test, one axis at a time).
struct Axis {
    std::vector<int> index;
    std::vector<char> inside;
    int first = 0; // the destination coordinate of entry 0
};

void Place(Axis& axis, int i, double s, double size)
{
    const double e = s + kEpsilon;
    const bool in = !(s < -kEpsilon) && e < size;
    axis.inside[static_cast<size_t>(i)] = in;
    axis.index[static_cast<size_t>(i)] = in ? static_cast<int>(e) : 0;
}

// Row averages of one source row at the sampled columns of a tile part.
class RowAverages {
public:
    // `stepTwo`: the columns go up two at a time.
    RowAverages(const KXGeometry::SourceTiles<KXImageRGBA32i>& source, int radius, bool stepTwo)
        : m_source(source), m_radius(radius), m_multiplier(static_cast<short>((65536 + 2 * radius) / (2 * radius + 1))),
          m_stepTwo(stepTwo && radius == 1)
    {
    }

    // Columns `columns` (source indices, each with a window inside
    // lo … hi after clamping to the image) of row y into `out`.
    void Compute(int y, const int* columns, int count, int lo, int hi, uint32_t* out)
    {
        if (m_stepTwo)
            return StepTwoRow(y, columns, count, out);
        Linearise(y, lo, hi);
        const uint32_t* base = m_line.data() - lo - m_radius;
        switch (m_radius) {
        case 1: return Averages<3>(base, columns, count, out);
        case 2: return Averages<5>(base, columns, count, out);
        case 3: return Averages<7>(base, columns, count, out);
        case 4: return Averages<9>(base, columns, count, out);
        case 5: return Averages<11>(base, columns, count, out);
        case 6: return Averages<13>(base, columns, count, out);
        default: return Averages<15>(base, columns, count, out);
        }
    }

private:
    // Windows of n pixels from base + columns[x], two columns a step.
    template <int n>
    void Averages(const uint32_t* base, const int* columns, int count, uint32_t* out) const
    {
        const __m128i zero = _mm_setzero_si128(), m = _mm_set1_epi16(m_multiplier);
        int x = 0;
        for (; x + 1 < count; x += 2) {
            const uint32_t* a = base + columns[x];
            const uint32_t* b = base + columns[x + 1];
            __m128i sum = zero;
            for (int i = 0; i < n; ++i) {
                const __m128i pair = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(a[i])),
                                                        _mm_cvtsi32_si128(static_cast<int>(b[i])));
                sum = _mm_add_epi16(sum, _mm_unpacklo_epi8(pair, zero));
            }
            const __m128i average = _mm_mulhi_epu16(sum, m);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(average, average));
        }
        for (; x < count; ++x) {
            const uint32_t* a = base + columns[x];
            __m128i sum = zero;
            for (int i = 0; i < n; ++i)
                sum = _mm_add_epi16(sum, _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(a[i])), zero));
            const __m128i average = _mm_mulhi_epu16(sum, m);
            out[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(average, average)));
        }
    }

    // The step-two row: a block of eight outputs reads the tile row in
    // place when its first sixteen pixels lie in one tile, else a copy of them
    // (edges repeating); the last outputs short of a block go the common way.
    // The same span of the row kAhead below is asked into the cache first:
    // a part walks its source rows down two or three tiles side by side,
    // 512 bytes of each a row, which the hardware's own prefetch follows
    // badly, so without the hint most blocks waited on memory. A hint reads
    // nothing the sums use.
    void StepTwoRow(int y, const int* columns, int count, uint32_t* out)
    {
        constexpr int w = KXImageRGBA32i::kTileWidth;
        const int last = m_source.Width() - 1;
        if (y + kAhead < m_source.Height()) {
            const int from = std::max(columns[0] - 1, 0), to = std::min(columns[count - 1] + 1, last);
            for (int c = from; c <= to; c += 16)
                _mm_prefetch(reinterpret_cast<const char*>(m_source.Pixel(c, y + kAhead)), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(m_source.Pixel(to, y + kAhead)), _MM_HINT_T0);
        }
        int x = 0;
        for (; x + 7 < count; x += 8) {
            const int s = columns[x] - 1;
            if (s >= 0 && s + 16 <= last && s / w == (s + 15) / w) {
                StepTwoAverages(reinterpret_cast<const uint32_t*>(m_source.Pixel(s, y)),
                                m_source.Pixel(s + 16, y)->value, out + x);
            } else {
                Linearise(y, s, s + 16);
                StepTwoAverages(m_line.data(), m_line[16], out + x);
            }
        }
        if (x < count) {
            const int lo = columns[x] - 1;
            Linearise(y, lo, columns[count - 1] + 1);
            Averages<3>(m_line.data() - lo - 1, columns + x, count - x, out + x);
        }
    }

    // Eight three-pixel windows starting at p, p + 2, … p + 14, from the
    // seventeen pixels they cover (p[0] … p[15] and `end`, which may lie in
    // the next tile), split into even and odd pixels so that each output's
    // three pixels sit in the same lanes.
    void StepTwoAverages(const uint32_t* p, uint32_t end, uint32_t* out) const
    {
        const __m128i zero = _mm_setzero_si128(), m = _mm_set1_epi16(m_multiplier);
        const auto load = [](const uint32_t* q) { return _mm_loadu_ps(reinterpret_cast<const float*>(q)); };
        const auto even = [](__m128 a, __m128 b) { return _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))); };
        const auto odd = [](__m128 a, __m128 b) { return _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))); };
        // Lanes of pixels 0 and 1 (or 2 and 3) of a, b and c added per channel.
        const auto low = [&](__m128i a, __m128i b, __m128i c) {
            return _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
                                 _mm_unpacklo_epi8(c, zero));
        };
        const auto high = [&](__m128i a, __m128i b, __m128i c) {
            return _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
                                 _mm_unpackhi_epi8(c, zero));
        };
        const auto average = [&](__m128i a, __m128i b, __m128i c) {
            return _mm_packus_epi16(_mm_mulhi_epu16(low(a, b, c), m), _mm_mulhi_epu16(high(a, b, c), m));
        };
        const __m128 v0 = load(p), v1 = load(p + 4), v2 = load(p + 8), v3 = load(p + 12);
        // Pixels 2, 4, 6, 8 and 10, 12, 14, 16: the windows' last pixels.
        const __m128i ends = _mm_unpacklo_epi64(_mm_cvtsi32_si128(static_cast<int>(p[14])),
                                                _mm_cvtsi32_si128(static_cast<int>(end)));
        const __m128i last0 = even(load(p + 2), load(p + 6)), last1 = even(load(p + 10), _mm_castsi128_ps(ends));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), average(even(v0, v1), odd(v0, v1), last0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), average(even(v2, v3), odd(v2, v3), last1));
    }

    // Source row y over columns lo … hi, edges repeating, into m_line.
    void Linearise(int y, int lo, int hi)
    {
        m_line.resize(static_cast<size_t>(hi - lo + 1));
        const int last = m_source.Width() - 1;
        int x = lo;
        uint32_t* out = m_line.data();
        for (; x < 0 && x <= hi; ++x)
            *out++ = m_source.Pixel(0, y)->value;
        while (x <= std::min(hi, last)) {
            const int end = std::min({hi, last, x | static_cast<int>(KXImageRGBA32i::kTileWidth - 1)});
            std::memcpy(out, m_source.Pixel(x, y), static_cast<size_t>(end - x + 1) * 4);
            out += end - x + 1;
            x = end + 1;
        }
        for (; x <= hi; ++x)
            *out++ = m_source.Pixel(last, y)->value;
    }

    static constexpr int kAhead = 4; // rows ahead (2 and 8 measured the same)
    const KXGeometry::SourceTiles<KXImageRGBA32i>& m_source;
    int m_radius;
    short m_multiplier;
    bool m_stepTwo;
    std::vector<uint32_t> m_line;
};

// Sums of `count` byte lines per channel divided by n (multiplier
// 2^16 / n rounded up), four pixels a step.
void ColumnAverages(const uint32_t* const* lines, int count, short multiplier, int width, uint32_t* out)
{
    const __m128i zero = _mm_setzero_si128(), m = _mm_set1_epi16(multiplier);
    int x = 0;
    for (; x + 3 < width; x += 4) {
        __m128i low = zero, high = zero;
        for (int j = 0; j < count; ++j) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lines[j] + x));
            low = _mm_add_epi16(low, _mm_unpacklo_epi8(v, zero));
            high = _mm_add_epi16(high, _mm_unpackhi_epi8(v, zero));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_packus_epi16(_mm_mulhi_epu16(low, m), _mm_mulhi_epu16(high, m)));
    }
    for (; x < width; ++x) {
        __m128i sum = zero;
        for (int j = 0; j < count; ++j)
            sum = _mm_add_epi16(sum, _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(lines[j][x])), zero));
        const __m128i average = _mm_mulhi_epu16(sum, m);
        out[x] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(average, average)));
    }
}

// The row averages of the source rows a part's destination rows need, each
// worked out once: slot s holds source row m_rows[s].
class RowCache {
public:
    RowCache(int rows, int width) : m_rows(static_cast<size_t>(rows), -1), m_lines(static_cast<size_t>(rows))
    {
        for (auto& line : m_lines)
            line.resize(static_cast<size_t>(width));
    }
    // The line of source row y, computed by `fill(y, line)` unless held;
    // a slot whose row is not in window [keepLo, keepHi] is reused.
    template <class Fill>
    const uint32_t* Line(int y, int keepLo, int keepHi, const Fill& fill)
    {
        for (size_t s = 0; s < m_rows.size(); ++s)
            if (m_rows[s] == y)
                return m_lines[s].data();
        for (size_t s = 0; s < m_rows.size(); ++s)
            if (m_rows[s] < keepLo || m_rows[s] > keepHi) {
                m_rows[s] = y;
                fill(y, m_lines[s].data());
                return m_lines[s].data();
            }
        return nullptr; // not reached: there are as many slots as window rows
    }

private:
    std::vector<int> m_rows;
    std::vector<std::vector<uint32_t>> m_lines;
};

} // namespace

bool KXGeometry::SampleBoxRows(const KXImageRGBA32i& source, const QTransform& inverse,
                               KXImageRGBA32i& destination, const QRect& target, int radiusX, int radiusY)
{
    // Exact zeros (Qt's transform type is fuzzy): the map then adds exact 0s.
    if (inverse.m12() != 0 || inverse.m21() != 0 || inverse.type() == QTransform::TxProject || radiusX < 1 ||
        radiusY < 1 || radiusX > 7 || radiusY > 7)
        return false;
    const KXImageRGBA32i shared = source; // the destination may be the source itself
    const SourceTiles<KXImageRGBA32i> tiles(shared);
    const InverseMap map(inverse, destination.Width());
    // With no rotation or shear the x position of a column is the same on
    // every row (and y of a row on every column): the same doubles as the
    // per-pixel walk, taken from its own map.
    Axis columns, rows;
    columns.first = target.left();
    rows.first = target.top();
    columns.index.resize(static_cast<size_t>(target.width()));
    columns.inside.resize(static_cast<size_t>(target.width()));
    rows.index.resize(static_cast<size_t>(target.height()));
    rows.inside.resize(static_cast<size_t>(target.height()));
    const InverseMap::Row top(map, target.top());
    for (int x = 0; x < target.width(); ++x) {
        double sx, sy;
        top.At(target.left() + x, sx, sy);
        Place(columns, x, sx, tiles.WidthF());
    }
    for (int y = 0; y < target.height(); ++y) {
        double sx, sy;
        InverseMap::Row(map, target.top() + y).At(target.left(), sx, sy);
        Place(rows, y, sy, tiles.HeightF());
    }
    const short multiplierY = static_cast<short>((65536 + 2 * radiusY) / (2 * radiusY + 1));
    const int n = 2 * radiusY + 1, lastRow = tiles.Height() - 1;
    constexpr int w = KXImageRGBA32i::kTileWidth, h = KXImageRGBA32i::kTileHeight;
    // Write, not WriteArea: a fresh block takes the old pixels only where
    // nothing new goes, instead of copying the whole tile first.
    KXTileWalker::Write(destination, KXTileWalker::TilesOf<KXImageRGBA32i>(target), KXTileWalker::Run::Parallel,
                        [&](KXRGBA32i* pixels, const KXRGBA32i* old, unsigned int column, unsigned int row) {
        const QRect part = KXTileWalker::PartOfTile<KXImageRGBA32i>(target, column, row);
        const auto keep = [&](int y, int from, int to) { // old pixels from … to - 1 of tile row y
            if (pixels != old && from < to)
                std::memcpy(pixels + y * w + from, old + y * w + from, static_cast<size_t>(to - from) * 4);
        };
        const int left = static_cast<int>(column) * w + part.left() - columns.first;
        const int width = part.width();
        const int* index = columns.index.data() + left;
        const char* inside = columns.inside.data() + left;
        int lo = tiles.Width(), hi = -1;
        bool all = true;
        for (int x = 0; x < width; ++x) {
            all = all && inside[x];
            if (inside[x]) {
                lo = std::min(lo, index[x]);
                hi = std::max(hi, index[x]);
            }
        }
        if (hi < 0) {
            keep(0, 0, w * h);
            return;
        }
        std::vector<int> clamped; // columns outside the source read a column inside
        if (!all) {
            clamped.assign(index, index + width);
            for (int x = 0; x < width; ++x)
                if (!inside[x])
                    clamped[static_cast<size_t>(x)] = lo;
            index = clamped.data();
        }
        bool stepTwo = true;
        for (int x = 1; x < width && stepTwo; ++x)
            stepTwo = index[x] == index[x - 1] + 2;
        RowAverages averages(tiles, radiusX, stepTwo);
        RowCache cache(n, width);
        std::vector<const uint32_t*> window(static_cast<size_t>(n));
        std::vector<uint32_t> result(static_cast<size_t>(width));
        const auto fill = [&](int y, uint32_t* line) {
            averages.Compute(y, index, width, lo - radiusX, hi + radiusX, line);
        };
        for (int y = 0; y < h; ++y) {
            const size_t r = static_cast<size_t>(static_cast<int>(row) * h + y - rows.first);
            if (y < part.top() || y > part.bottom() || !rows.inside[r]) {
                keep(y, 0, w);
                continue;
            }
            keep(y, 0, part.left());
            keep(y, part.right() + 1, w);
            const int iy = rows.index[r];
            const int keepLo = std::max(iy - radiusY, 0), keepHi = std::min(iy + radiusY, lastRow);
            for (int j = 0; j < n; ++j)
                window[static_cast<size_t>(j)] =
                    cache.Line(std::min(std::max(iy - radiusY + j, 0), lastRow), keepLo, keepHi, fill);
            KXRGBA32i* line = pixels + y * w + part.left();
            if (all) {
                ColumnAverages(window.data(), n, multiplierY, width, reinterpret_cast<uint32_t*>(line));
                continue;
            }
            keep(y, part.left(), part.right() + 1);
            ColumnAverages(window.data(), n, multiplierY, width, result.data());
            for (int x = 0; x < width; ++x)
                if (inside[x])
                    line[x].value = result[static_cast<size_t>(x)];
        }
    });
    return true;
}

#else

bool KXGeometry::SampleBoxRows(const KXImageRGBA32i&, const QTransform&, KXImageRGBA32i&, const QRect&, int, int)
{
    return false;
}

#endif
