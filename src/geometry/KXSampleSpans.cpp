// The bilinear and bicubic samplers over one destination row segment, built
// for AVX2 and chosen at run time: each interpolation step works on all four
// channels of a pixel in one register of four doubles. Every lane does the
// plain rule's operations in the same order on the same doubles (int to
// double is exact, no fused multiply-add), truncation is cvttpd's and the
// clamp to 0 … 255 is the saturation of packs and packus, so the bytes are
// the plain rule's. Bilinear spans mostly take integer steps instead, four
// pixels a register in 16-bit lanes (or, where those are unsure, two in
// 32-bit lanes), where a margin test or an exact fraction proves that they
// give the same bytes (below).

#include "geometry/KXResample.h"

#include "core/KXIsa.h"
#include "geometry/KXSampleRules.h"

#include <cmath>

#if defined(KX_ISA_X86)
#include <immintrin.h>
#endif

namespace {

#if defined(KX_ISA_X86)

#define KX_AVX2 __attribute__((target("avx2"), always_inline)) inline

using KXGeometry::kEpsilon;

// Four channel bytes as int32 lanes.
KX_AVX2 __m128i Lanes(uint32_t p)
{
    return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(p)));
}
// trunc(v + 0.5 + eps) per lane, not clamped.
KX_AVX2 __m128i Round(__m256d v)
{
    return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_add_pd(v, _mm256_set1_pd(0.5)), _mm256_set1_pd(kEpsilon)));
}
KX_AVX2 __m128i Clamp(__m128i lanes)
{
    const __m128i shorts = _mm_packs_epi32(lanes, lanes);
    return _mm_cvtepu8_epi32(_mm_packus_epi16(shorts, shorts));
}
KX_AVX2 uint32_t Word(__m128i lanes)
{
    const __m128i shorts = _mm_packs_epi32(lanes, lanes);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(shorts, shorts)));
}
// (p1 - p0) t + p0, rounded.
KX_AVX2 __m128i Linear(__m128i p0, __m128i p1, __m256d t)
{
    const __m256d d = _mm256_cvtepi32_pd(_mm_sub_epi32(p1, p0));
    return Round(_mm256_add_pd(_mm256_mul_pd(d, t), _mm256_cvtepi32_pd(p0)));
}
// a0 t^3 + a1 t^2 + a2 t + p1, rounded.
KX_AVX2 __m128i Cubic(const __m128i p[4], __m256d t, __m256d t2, __m256d t3)
{
    const __m128i a0 = _mm_add_epi32(_mm_sub_epi32(_mm_sub_epi32(p[3], p[2]), p[0]), p[1]);
    const __m128i a1 = _mm_sub_epi32(_mm_sub_epi32(p[0], p[1]), a0);
    const __m128i a2 = _mm_sub_epi32(p[2], p[0]);
    const __m256d sum = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(a0), t3),
                                                    _mm256_mul_pd(_mm256_cvtepi32_pd(a1), t2)),
                                      _mm256_mul_pd(_mm256_cvtepi32_pd(a2), t));
    return Round(_mm256_add_pd(sum, _mm256_cvtepi32_pd(p[1])));
}

using Tiles = KXGeometry::SourceTiles<KXImageRGBA32i>;
constexpr int kStride = KXImageRGBA32i::kTileWidth; // pixels from one row of a tile to the next

// A neighbourhood's base pixel and fractions (KXGeometry::Base).
struct Where {
    int x0, y0;
    double fx, fy;
};

// BilinearRule's neighbourhood and steps.
KX_AVX2 void Bilinear(const Tiles& source, const Where& b, KXRGBA32i& out)
{
    const int x1 = std::min(b.x0 + 1, source.Width() - 1);
    const int y1 = std::min(b.y0 + 1, source.Height() - 1);
    const KXRGBA32i* r0 = source.Pixel(b.x0, b.y0);
    const KXRGBA32i* r1 = y1 == b.y0 ? r0 : (y1 & (kStride - 1)) ? r0 + kStride : source.Pixel(b.x0, y1);
    const bool sameTile = ((b.x0 ^ x1) >> 7) == 0;
    const uint32_t p01 = sameTile ? r0[x1 - b.x0].value : source.Pixel(x1, b.y0)->value;
    const uint32_t p11 = sameTile ? r1[x1 - b.x0].value : source.Pixel(x1, y1)->value;
    const __m256d fx = _mm256_set1_pd(b.fx);
    __m128i top = Linear(Lanes(r0->value), Lanes(p01), fx);
    __m128i bottom = Linear(Lanes(r1->value), Lanes(p11), fx);
    if (b.fx < 0) { // extrapolating in the first half pixel
        top = Clamp(top);
        bottom = Clamp(bottom);
    }
    out.value = Word(Linear(top, bottom, _mm256_set1_pd(b.fy)));
}

// BicubicRule's neighbourhood and steps.
KX_AVX2 void Bicubic(const Tiles& source, const Where& b, KXRGBA32i& out)
{
    const int maxX = source.Width() - 1, maxY = source.Height() - 1;
    const KXGeometry::Cubic cx(b.fx), cy(b.fy);
    const __m256d tx = _mm256_set1_pd(cx.t), tx2 = _mm256_set1_pd(cx.t2), tx3 = _mm256_set1_pd(cx.t3);
    // All 16 pixels inside one tile: rows kStride pixels apart.
    const bool block = b.x0 >= 1 && b.x0 + 2 <= maxX && (((b.x0 - 1) ^ (b.x0 + 2)) >> 7) == 0 && b.y0 >= 1 &&
                       b.y0 + 2 <= maxY && (((b.y0 - 1) ^ (b.y0 + 2)) >> 7) == 0;
    __m128i column[4];
    if (block) {
        const KXRGBA32i* first = source.Pixel(b.x0 - 1, b.y0 - 1);
        for (int j = 0; j < 4; ++j) {
            const KXRGBA32i* p = first + kStride * j;
            const __m128i row[4] = {Lanes(p[0].value), Lanes(p[1].value), Lanes(p[2].value), Lanes(p[3].value)};
            column[j] = Clamp(Cubic(row, tx, tx2, tx3));
        }
    } else {
        int xs[4];
        for (int i = 0; i < 4; ++i)
            xs[i] = std::min(std::max(b.x0 - 1 + i, 0), maxX);
        for (int j = 0; j < 4; ++j) {
            const int y = std::min(std::max(b.y0 - 1 + j, 0), maxY);
            __m128i row[4];
            for (int i = 0; i < 4; ++i)
                row[i] = Lanes(source.Pixel(xs[i], y)->value);
            column[j] = Clamp(Cubic(row, tx, tx2, tx3));
        }
    }
    out.value = Word(Cubic(column, _mm256_set1_pd(cy.t), _mm256_set1_pd(cy.t2), _mm256_set1_pd(cy.t3)));
}

template <bool Cubic>
KX_AVX2 void Sample(const Tiles& source, const Where& b, KXRGBA32i& out)
{
    if (Cubic)
        Bicubic(source, b, out);
    else
        Bilinear(source, b, out);
}

// The positions of four columns: At's sums (and projective division),
// Cell's tests and Base's truncations and fractions, lane by lane the same
// operations as the scalar ones. Lanes outside the source (clear in
// `inside`) may hold anything.
struct Group {
    int inside;    // bit k: column k samples
    __m128i x0, y0;
    __m256d fx, fy;
};

class Positions {
public:
    KX_AVX2 Positions(const Tiles& source, const KXGeometry::InverseMap::Row& at)
        : m(at.Map()), m_rx(_mm256_set1_pd(at.RowX())), m_ry(_mm256_set1_pd(at.RowY())),
          m_rw(_mm256_set1_pd(at.RowW())), m_dx(_mm256_set1_pd(m.Dx())), m_dy(_mm256_set1_pd(m.Dy())),
          m_m33(_mm256_set1_pd(m.M33())), m_w(_mm256_set1_pd(source.WidthF())),
          m_h(_mm256_set1_pd(source.HeightF())), m_projective(at.Projective())
    {
    }
    // Columns x … x + 3; with Test false they are known to sample inside.
    template <bool Test = true>
    KX_AVX2 Group operator()(int x) const
    {
        const __m256d eps = _mm256_set1_pd(kEpsilon), minusEps = _mm256_set1_pd(-kEpsilon);
        const __m256d half = _mm256_set1_pd(0.5);
        __m256d sx = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(m.ColumnX() + x), m_rx), m_dx);
        __m256d sy = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(m.ColumnY() + x), m_ry), m_dy);
        if (m_projective) {
            const __m256d w = _mm256_div_pd(_mm256_set1_pd(1.),
                                            _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(m.ColumnW() + x), m_rw), m_m33));
            sx = _mm256_mul_pd(sx, w);
            sy = _mm256_mul_pd(sy, w);
        }
        const __m256d ex = _mm256_add_pd(sx, eps), ey = _mm256_add_pd(sy, eps);
        Group g;
        g.inside = 15;
        if (Test) {
            const __m256d inside = _mm256_and_pd(
                _mm256_and_pd(_mm256_cmp_pd(sx, minusEps, _CMP_NLT_UQ), _mm256_cmp_pd(sy, minusEps, _CMP_NLT_UQ)),
                _mm256_and_pd(_mm256_cmp_pd(ex, m_w, _CMP_LT_OQ), _mm256_cmp_pd(ey, m_h, _CMP_LT_OQ)));
            g.inside = _mm256_movemask_pd(inside);
        }
        g.x0 = _mm256_cvttpd_epi32(_mm256_sub_pd(ex, half));
        g.y0 = _mm256_cvttpd_epi32(_mm256_sub_pd(ey, half));
        g.fx = _mm256_sub_pd(_mm256_sub_pd(sx, _mm256_cvtepi32_pd(g.x0)), half);
        g.fy = _mm256_sub_pd(_mm256_sub_pd(sy, _mm256_cvtepi32_pd(g.y0)), half);
        return g;
    }

private:
    const KXGeometry::InverseMap& m;
    __m256d m_rx, m_ry, m_rw, m_dx, m_dy, m_m33, m_w, m_h;
    bool m_projective;
};

constexpr int kAheadRows = 8; // rows ahead: the lines come in time, and stay

// Brings the source pixel under a group's first column `rows` destination
// rows further down (its position shifted by the inverse's row step times
// `rows`, clamped into the image) towards the cache: along a turned row the
// source lines that the next rows reach first would otherwise stall the
// loads, which no hardware prefetcher foresees. Off when rows run along
// source rows.
class Prefetch {
public:
    Prefetch(const Tiles& source, const KXGeometry::InverseMap& map, int rows)
        : m_source(source), m_dx(Whole(map.M21() * rows)), m_dy(Whole(map.M22() * rows) + 1),
          m_on(map.M21() != 0 && std::abs(map.M21() * rows) < kFar && std::abs(map.M22() * rows) < kFar)
    {
    }
    KX_AVX2 void operator()(const Group& g) const
    {
        if (!m_on)
            return;
        const long long x = std::min(std::max(_mm_cvtsi128_si32(g.x0) + m_dx, 0ll), m_source.Width() - 1ll);
        const long long y = std::min(std::max(_mm_cvtsi128_si32(g.y0) + m_dy, 0ll), m_source.Height() - 1ll);
        _mm_prefetch(reinterpret_cast<const char*>(m_source.Pixel(int(x), int(y))), _MM_HINT_T0);
    }

private:
    static constexpr double kFar = 1 << 20;
    static long long Whole(double v) { return std::abs(v) < kFar ? static_cast<long long>(v) : 0; }

    const Tiles& m_source;
    long long m_dx, m_dy;
    bool m_on;
};

// The columns of `g` whose bit is set in `lanes`, one at a time.
template <bool Cubic>
KX_AVX2 void SampleLanes(const Tiles& source, const Group& g, int lanes, KXRGBA32i* out)
{
    alignas(32) double fx[4], fy[4];
    alignas(16) int xs[4], ys[4];
    _mm256_store_pd(fx, g.fx);
    _mm256_store_pd(fy, g.fy);
    _mm_store_si128(reinterpret_cast<__m128i*>(xs), g.x0);
    _mm_store_si128(reinterpret_cast<__m128i*>(ys), g.y0);
    for (int k = 0; k < 4; ++k)
        if (lanes >> k & 1)
            Sample<Cubic>(source, Where{xs[k], ys[k], fx[k], fy[k]}, out[k]);
}

// The columns after the last whole group, one at a time.
template <bool Cubic>
KX_AVX2 void Tail(const Tiles& source, const KXGeometry::InverseMap::Row& at, int x, int last, KXRGBA32i* out)
{
    for (; x <= last; ++x, ++out) {
        double sx, sy, ex, ey;
        at.At(x, sx, sy);
        if (!KXGeometry::Cell(sx, sy, source.WidthF(), source.HeightF(), ex, ey))
            continue;
        const KXGeometry::Base b(sx, sy, ex, ey);
        Sample<Cubic>(source, Where{b.x0, b.y0, b.fx, b.fy}, *out);
    }
}

template <bool Cubic>
__attribute__((flatten, target("avx2"))) void SpanAvx2(const Tiles& source, const KXGeometry::InverseMap::Row& at,
                                                       int first, int last, KXRGBA32i* out, KXGeometry::SpanState&)
{
    const Positions positions(source, at);
    const Prefetch prefetch(source, at.Map(), kAheadRows);
    int x = first;
    for (; x + 3 <= last; x += 4, out += 4) {
        const Group g = positions(x);
        if (g.inside == 0)
            continue;
        prefetch(g);
        SampleLanes<Cubic>(source, g, g.inside, out);
    }
    Tail<Cubic>(source, at, x, last, out);
}

// The bilinear steps in 32-bit integer lanes.
//
// A step's double result is v = trunc(((d t + p0) + 0.5) + eps) with
// d = p1 - p0 and p0 integers, |d| <= 255, 0 <= t <= 1. Its four roundings
// and eps move v from r = d t + p0 + 0.5 by less than 2^-41. With
// T = t 2^21 rounded to an integer, R = d T + p0 2^21 + 2^20 lies within
// 0.5 |d| + 2^-20 < 128 of r 2^21, so when R - 129 and R + 129 have the
// same quotient by 2^21, that quotient (R >> 21) is floor(v); it lies
// between p0 and p1, as the double step's clamped byte does. Otherwise the
// pixel is worked by the double steps. When t 2^21 is an integer
// everything up to eps is exact: r is a multiple of 2^-21, eps cannot
// carry v past the next one, and R >> 21 is floor(v) with no test.
// 0 <= R < 2^29.
constexpr int kFractionBits = 21;
constexpr int kMargin = 129;

// The fraction of four columns as T in lanes 0 … 3, and whether all four
// are multiples of 2^-21 (`exact`) and inside 0 … 1.
struct Fraction {
    __m128i t;
    bool exact, inRange;
};
KX_AVX2 Fraction FixedFraction(__m256d f)
{
    const __m256d scaled = _mm256_mul_pd(f, _mm256_set1_pd(double(1 << kFractionBits))); // exact
    const __m256d rounded = _mm256_round_pd(scaled, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256d inRange = _mm256_and_pd(_mm256_cmp_pd(f, _mm256_set1_pd(1.), _CMP_LE_OQ),
                                          _mm256_cmp_pd(f, _mm256_setzero_pd(), _CMP_GE_OQ));
    return {_mm256_cvttpd_epi32(rounded), _mm256_movemask_pd(_mm256_cmp_pd(rounded, scaled, _CMP_EQ_OQ)) == 15,
            _mm256_movemask_pd(inRange) == 15};
}

// One step on two pixels' channels: the quotient of
// R = (p1 - p0) T + p0 2^21 + 2^20 by 2^21, taken from R - margin (`bias` =
// 2^20 - margin); a lane is unsure when R - margin lies within 2 margin
// below a multiple of 2^21 (its remainder past limit = 2^21 - 1 - 2 margin).
// Otherwise R - margin and R + margin have one quotient, and so has R.
//
// `rest` keeps the largest remainder R - margin mod 2^21 of the steps so far
// (0 … 2^21 - 1, so signed and unsigned order agree); one lane past
// `limit` at the end is the same as a lane past it after any step.
KX_AVX2 __m256i Step(__m256i p0, __m256i p1, __m256i t, __m256i bias, __m256i& rest)
{
    const __m256i low = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(p1, p0), t),
                                         _mm256_add_epi32(_mm256_slli_epi32(p0, kFractionBits), bias));
    rest = _mm256_max_epi32(rest, _mm256_and_si256(low, _mm256_set1_epi32((1 << kFractionBits) - 1)));
    return _mm256_srai_epi32(low, kFractionBits);
}

// The tile index and the offset inside it of four pixels (x, y).
KX_AVX2 void TileAndOffset(const Tiles& source, __m128i x, __m128i y, __m128i& tile, __m128i& offset)
{
    const __m128i inTile = _mm_set1_epi32(kStride - 1);
    tile = _mm_add_epi32(_mm_mullo_epi32(_mm_srli_epi32(y, 7), _mm_set1_epi32(int(source.Columns()))),
                         _mm_srli_epi32(x, 7));
    offset = _mm_or_si128(_mm_slli_epi32(_mm_and_si128(y, inTile), 7), _mm_and_si128(x, inTile));
}

// The two rows of four 2 x 2 neighbourhoods as pixel pairs (left, right),
// [l0 r0 l1 r1 | l2 r2 l3 r3].
struct Rows {
    __m256i top, bottom;
};

// Four pixel pairs loaded as 64 bits each, `skip` pixels after p[k].
KX_AVX2 __m256i Pairs(const KXRGBA32i* const p[4], int skip)
{
    const auto pair = [](const KXRGBA32i* q) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q)); };
    return _mm256_setr_m128i(_mm_unpacklo_epi64(pair(p[0] + skip), pair(p[1] + skip)),
                             _mm_unpacklo_epi64(pair(p[2] + skip), pair(p[3] + skip)));
}

// Neighbourhoods inside one tile each: two 64-bit loads a pixel, their
// addresses worked out in the scalar units (the vector units are what this
// kernel waits for).
KX_AVX2 Rows TileRows(const Tiles& source, const Group& g)
{
    alignas(16) int xs[4], ys[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(xs), g.x0);
    _mm_store_si128(reinterpret_cast<__m128i*>(ys), g.y0);
    const KXRGBA32i* p[4]; // the pairs (x0, x0 + 1) of row y0
    for (int k = 0; k < 4; ++k)
        p[k] = source.Pixel(xs[k], ys[k]);
    return {Pairs(p, 0), Pairs(p, kStride)};
}

// Pixels (x, y) of four lanes, anywhere in the source.
KX_AVX2 __m128i Gather(const Tiles& source, __m128i x, __m128i y)
{
    __m128i tile, offset;
    TileAndOffset(source, x, y, tile, offset);
    const __m256i first = _mm256_i32gather_epi64(reinterpret_cast<const long long*>(source.Tiles()), tile, 8);
    const __m256i address = _mm256_add_epi64(first, _mm256_slli_epi64(_mm256_cvtepu32_epi64(offset), 2));
    return _mm256_i64gather_epi32(static_cast<const int*>(nullptr), address, 1);
}

// Left and right pixels of four pairs as [l0 r0 l1 r1 | l2 r2 l3 r3].
KX_AVX2 __m256i Interleave(__m128i left, __m128i right)
{
    return _mm256_setr_m128i(_mm_unpacklo_epi32(left, right), _mm_unpackhi_epi32(left, right));
}

// Neighbourhoods across a tile seam or on the last row or column: the four
// corners gathered one by one, the second column and row clamped to the
// image as the plain rule does.
KX_AVX2 Rows SeamRows(const Tiles& source, const Group& g, __m128i lastX, __m128i lastY)
{
    const __m128i one = _mm_set1_epi32(1);
    const __m128i x1 = _mm_min_epi32(_mm_add_epi32(g.x0, one), lastX);
    const __m128i y1 = _mm_min_epi32(_mm_add_epi32(g.y0, one), lastY);
    return {Interleave(Gather(source, g.x0, g.y0), Gather(source, x1, g.y0)),
            Interleave(Gather(source, g.x0, y1), Gather(source, x1, y1))};
}

// The channels of p and of p + 1 for pixels 0 and 2 (a) and 1 and 3 (b):
// the low half of a register holds pixel 0 (1), the high half pixel 2 (3).
// Each comes from its pairs by one byte shuffle inside the halves, which
// takes the four bytes of one pixel and zero-extends them.
struct Channels {
    __m256i leftA, rightA, leftB, rightB;
};
KX_AVX2 __m256i Bytes(__m256i pairs, int first)
{
    const auto lane = [first](int k) { return static_cast<int>(0x80808000u | unsigned(first + k)); };
    return _mm256_shuffle_epi8(pairs, _mm256_setr_epi32(lane(0), lane(1), lane(2), lane(3), lane(0), lane(1),
                                                        lane(2), lane(3)));
}
KX_AVX2 Channels Split(__m256i pairs)
{
    return {Bytes(pairs, 0), Bytes(pairs, 4), Bytes(pairs, 8), Bytes(pairs, 12)};
}

// T of pixels 0 and 2 (a) or 1 and 3 (b) on their channels.
KX_AVX2 __m256i Spread(__m128i t, __m256i lanes)
{
    return _mm256_permutevar8x32_epi32(_mm256_castsi128_si256(t), lanes);
}

// The bilinear rule on four columns' neighbourhoods in integer lanes;
// false, nothing written, when a step is too close to a rounding boundary
// to be sure of.
KX_AVX2 bool FixedBilinear(const Rows& rows, const Fraction& fx, const Fraction& fy, KXRGBA32i* out)
{
    const Channels t = Split(rows.top), b = Split(rows.bottom);
    const __m256i lanesA = _mm256_setr_epi32(0, 0, 0, 0, 2, 2, 2, 2), lanesB = _mm256_setr_epi32(1, 1, 1, 1, 3, 3, 3, 3);
    const __m256i sureBias = _mm256_set1_epi32(1 << (kFractionBits - 1));
    const __m256i sureLimit = _mm256_set1_epi32((1 << kFractionBits) - 1);
    const __m256i bias = _mm256_set1_epi32((1 << (kFractionBits - 1)) - kMargin);
    const __m256i limit = _mm256_set1_epi32((1 << kFractionBits) - 1 - 2 * kMargin);
    // The horizontal and the vertical steps each with their own bias and
    // limit; a step whose fraction is exact cannot be unsure.
    __m256i restX = _mm256_setzero_si256(), restY = _mm256_setzero_si256();
    const __m256i mx = fx.exact ? sureBias : bias;
    const __m256i txA = Spread(fx.t, lanesA), txB = Spread(fx.t, lanesB);
    const __m256i topA = Step(t.leftA, t.rightA, txA, mx, restX);
    const __m256i topB = Step(t.leftB, t.rightB, txB, mx, restX);
    const __m256i bottomA = Step(b.leftA, b.rightA, txA, mx, restX);
    const __m256i bottomB = Step(b.leftB, b.rightB, txB, mx, restX);
    const __m256i my = fy.exact ? sureBias : bias;
    const __m256i a = Step(topA, bottomA, Spread(fy.t, lanesA), my, restY);
    const __m256i c = Step(topB, bottomB, Spread(fy.t, lanesB), my, restY);
    const __m256i unsure = _mm256_or_si256(_mm256_cmpgt_epi32(restX, fx.exact ? sureLimit : limit),
                                           _mm256_cmpgt_epi32(restY, fy.exact ? sureLimit : limit));
    if (!_mm256_testz_si256(unsure, unsure))
        return false;
    const __m256i shorts = _mm256_packs_epi32(a, c); // pixels 0, 1 | 2, 3
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(shorts, shorts), _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
    return true;
}

// The same steps on AVX2 in 16-bit lanes first, four pixels' channels a
// register, with T = t 2^15 rounded, in 0 … 2^15 - 1 (see Short): mulhrs
// gives q = floor((d T + 2^14) / 2^15), and the step's byte is p0 + q.
// R = d T + p0 2^15 + 2^14 now lies within 0.5 |d| of r 2^15, so the
// margin is taken lane by lane: with s = R mod 2^15 and
// m = floor(|d| / 2) + 1 >= 0.5 |d| + 0.5, m <= s <= 2^15 - m puts r 2^15
// at least 0.5 inside the quotient's interval, far beyond the 2^-26 that
// the double step's roundings and eps move it, so floor(v) = p0 + q. With
// c = s - 2^14, 2c = d (2T) mod 2^16 read as a signed word (mullo's low
// half), and |2c| + |d| <= 2^15 - 2 implies that test. A lane past it
// sends the group to the 32-bit steps (and from there, if still unsure,
// to the doubles), which also take exact fractions without a test.
KX_AVX2 __m256i ShortStep(__m256i p0, __m256i p1, __m256i t, __m256i twiceT, __m256i& worst)
{
    const __m256i d = _mm256_sub_epi16(p1, p0);
    const __m256i twice = _mm256_mullo_epi16(d, twiceT);
    worst = _mm256_max_epu16(worst, _mm256_add_epi16(_mm256_abs_epi16(twice), _mm256_abs_epi16(d)));
    return _mm256_add_epi16(p0, _mm256_mulhrs_epi16(d, t));
}

// The channels of p (left) or p + 1 (right) of four pixels as words, from
// their pairs [l0 r0 l1 r1 | l2 r2 l3 r3]: one byte shuffle inside the
// halves.
KX_AVX2 __m256i Words(__m256i pairs, int first)
{
    const auto word = [first](int k) { return static_cast<char>(first + k); };
    const char z = -128; // a zero byte
    return _mm256_shuffle_epi8(pairs, _mm256_setr_epi8(word(0), z, word(1), z, word(2), z, word(3), z, //
                                                       word(8), z, word(9), z, word(10), z, word(11), z,
                                                       word(0), z, word(1), z, word(2), z, word(3), z, //
                                                       word(8), z, word(9), z, word(10), z, word(11), z));
}

// T (or 2T) of four pixels from the words w = [x0 … x3 y0 … y3] of both
// fractions, each on its four channels' words: `second` picks y.
KX_AVX2 __m256i SpreadWords(__m256i words, int second)
{
    const auto w = [second](int k) { return static_cast<char>(8 * second + k); };
    return _mm256_shuffle_epi8(words, _mm256_setr_epi8(w(0), w(1), w(0), w(1), w(0), w(1), w(0), w(1), //
                                                       w(2), w(3), w(2), w(3), w(2), w(3), w(2), w(3),
                                                       w(4), w(5), w(4), w(5), w(4), w(5), w(4), w(5), //
                                                       w(6), w(7), w(6), w(7), w(6), w(7), w(6), w(7)));
}

// f 2^15 rounded to nearest, whatever the caller's rounding mode.
KX_AVX2 __m128i ShortT(__m256d f, __m256d scale)
{
    return _mm256_cvttpd_epi32(_mm256_round_pd(_mm256_mul_pd(f, scale), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
}

// Both fractions of a group as T = f 2^15 rounded, both sets of words in
// every half, and whether all eight T lie in 0 … 2^15 - 1: the fraction is
// then within 2^-16 of 0 … 1 - 2^-15, and |T - f 2^15| <= 1/2 is all the
// steps' argument needs. (A fraction just below 0 comes from the first half
// pixel, where the plain rule clamps the horizontal steps; with T = 0 they
// give p0, which needs no clamp.)
struct ShortFractions {
    __m256i words; // x0 … x3 y0 … y3, in both halves
    bool inRange;
};
KX_AVX2 ShortFractions Short(const Group& g)
{
    const __m256d scale = _mm256_set1_pd(double(1 << 15));
    const __m128i tx = ShortT(g.fx, scale), ty = ShortT(g.fy, scale);
    return {_mm256_broadcastsi128_si256(_mm_packs_epi32(tx, ty)),
            _mm_testz_si128(_mm_or_si128(tx, ty), _mm_set1_epi32(~0x7fff)) != 0};
}

KX_AVX2 bool ShortBilinear(const Rows& rows, const ShortFractions& f, KXRGBA32i* out)
{
    constexpr int kLeft = 0, kRight = 4, kX = 0, kY = 1;
    const __m256i tx = SpreadWords(f.words, kX), ty = SpreadWords(f.words, kY);
    const __m256i twiceX = _mm256_add_epi16(tx, tx);
    __m256i worst = _mm256_setzero_si256();
    const __m256i upper = ShortStep(Words(rows.top, kLeft), Words(rows.top, kRight), tx, twiceX, worst);
    const __m256i lower = ShortStep(Words(rows.bottom, kLeft), Words(rows.bottom, kRight), tx, twiceX, worst);
    const __m256i result = ShortStep(upper, lower, ty, _mm256_add_epi16(ty, ty), worst);
    // A word past 2^15 - 2 has bit 15 set once 1 is added (at most 2^15 + 256).
    const __m256i past = _mm256_add_epi16(worst, _mm256_set1_epi16(1));
    if (!_mm256_testz_si256(past, _mm256_set1_epi16(int16_t(0x8000))))
        return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_packus_epi16(_mm256_castsi256_si128(result), _mm256_extracti128_si256(result, 1)));
    return true;
}

// The integer steps on a group whose words are in range: the words first,
// the 32-bit lanes (fractions in 0 … 1 only) for a group they are unsure of;
// false when both are or cannot.
KX_AVX2 bool IntegerBilinear(const Rows& rows, const Group& g, const ShortFractions& f, KXRGBA32i* out)
{
    if (ShortBilinear(rows, f, out))
        return true;
    const Fraction fx = FixedFraction(g.fx), fy = FixedFraction(g.fy);
    return fx.inRange && fy.inRange && FixedBilinear(rows, fx, fy, out);
}

// Bilinear groups from column x on: groups of four columns that all sample
// inside the source with words in range (Short) go through the integer
// steps, their pixels loaded as pairs when each neighbourhood lies inside
// one tile and gathered corner by corner across seams and at the last row
// and column; the rest through the double steps (all of them once `state`
// says the integer steps do not pay). With Test false every column is known
// to sample inside. Returns the first column after the last whole group.
template <bool Test>
KX_AVX2 int BilinearGroups(const Tiles& source, const Positions& positions, const Prefetch& prefetch, int x,
                           int last, KXRGBA32i* out, KXGeometry::SpanState& state)
{
    const __m128i lastX = _mm_set1_epi32(source.Width() - 1), lastY = _mm_set1_epi32(source.Height() - 1);
    // x0 and y0 side by side: near a seam (127 inside a tile) or on the last
    // column or row.
    const __m256i edge = _mm256_set1_epi32(kStride - 1);
    const __m256i beforeLast =
        _mm256_setr_m128i(_mm_set1_epi32(source.Width() - 2), _mm_set1_epi32(source.Height() - 2));
    for (; x + 3 <= last; x += 4, out += 4) {
        const Group g = positions.operator()<Test>(x);
        if (g.inside == 0)
            continue;
        prefetch(g);
        if (g.inside == 15 && state.Fixed()) {
            const ShortFractions fractions = Short(g);
            if (fractions.inRange) {
                ++state.tried;
                const __m256i xy = _mm256_setr_m128i(g.x0, g.y0);
                const __m256i near = _mm256_or_si256(_mm256_cmpeq_epi32(_mm256_and_si256(xy, edge), edge),
                                                     _mm256_cmpgt_epi32(xy, beforeLast));
                const Rows rows =
                    _mm256_testz_si256(near, near) ? TileRows(source, g) : SeamRows(source, g, lastX, lastY);
                if (IntegerBilinear(rows, g, fractions, out))
                    continue;
                ++state.unsure;
            }
        }
        SampleLanes<false>(source, g, g.inside, out);
    }
    return x;
}

// Bilinear spans. Along a row of an affine map each source coordinate is
// monotonic in the column (a product of the column's centre, rounded, plus
// the same two terms, rounded), so when the first and the last whole group's
// outer columns sample inside, every column between them does, and the
// groups skip the test. Built for AVX2 and again for AVX-512, whose 32
// registers spare the kernel its spills.
#define KX_BILINEAR_SPAN(Name, Attributes)                                                                         \
    Attributes void Name(const Tiles& source, const KXGeometry::InverseMap::Row& at, int first, int last,          \
                         KXRGBA32i* out, KXGeometry::SpanState& state)                                             \
    {                                                                                                              \
        const Positions positions(source, at);                                                                     \
        const Prefetch prefetch(source, at.Map(), kAheadRows);                                                     \
        const int end = first + (last + 1 - first) / 4 * 4; /* after the last whole group */                      \
        const bool inside = end > first && !at.Projective() && positions(first).inside == 15 &&                   \
                            positions(end - 4).inside == 15;                                                       \
        const int x = inside ? BilinearGroups<false>(source, positions, prefetch, first, last, out, state)         \
                             : BilinearGroups<true>(source, positions, prefetch, first, last, out, state);         \
        Tail<false>(source, at, x, last, out + (x - first));                                                       \
    }

KX_BILINEAR_SPAN(BilinearSpanAvx2, __attribute__((flatten, target("avx2"))))
KX_BILINEAR_SPAN(BilinearSpanAvx512, __attribute__((flatten, target("avx2,avx512f,avx512vl"))))

#undef KX_BILINEAR_SPAN

#undef KX_AVX2

#endif

} // namespace

KXGeometry::SpanSampler KXGeometry::FastSpan(Quality quality)
{
#if defined(KX_ISA_X86)
    const KXIsa::Level level = KXIsa::Current();
    if (level == KXIsa::Level::Avx512 && quality == Quality::Bilinear)
        return BilinearSpanAvx512;
    if (KXIsa::Allows(KXIsa::Level::Avx2) && quality == Quality::Bilinear)
        return BilinearSpanAvx2;
    if (KXIsa::Allows(KXIsa::Level::Avx2) && quality == Quality::Bicubic)
        return SpanAvx2<true>;
#endif
    (void)quality;
    return nullptr;
}
