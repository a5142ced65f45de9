// The bilinear and bicubic samplers over one destination row segment, built
// for AVX2 and chosen at run time: each interpolation step works on all four
// channels of a pixel in one register of four doubles. Every lane does the
// plain rule's operations in the same order on the same doubles (int to
// double is exact, no fused multiply-add), truncation is cvttpd's and the
// clamp to 0 … 255 is the saturation of packs and packus, so the bytes are
// the plain rule's.

#include "geometry/KXResample.h"

#include "geometry/KXSampleRules.h"

#if defined(__GNUC__) && defined(__x86_64__)
#define KX_SAMPLE_AVX2 1
#include <immintrin.h>
#endif

namespace {

#if defined(KX_SAMPLE_AVX2)

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

// Positions four columns at a time: At's sums (and projective division),
// Cell's tests and Base's truncations and fractions, lane by lane the same
// operations as the scalar ones.
template <bool Cubic>
__attribute__((flatten, target("avx2"))) void SpanAvx2(const Tiles& source, const KXGeometry::InverseMap::Row& at,
                                                       int first, int last, KXRGBA32i* out)
{
    const double width = source.WidthF(), height = source.HeightF();
    const KXGeometry::InverseMap& map = at.Map();
    const __m256d rx = _mm256_set1_pd(at.RowX()), ry = _mm256_set1_pd(at.RowY()), rw = _mm256_set1_pd(at.RowW());
    const __m256d dx = _mm256_set1_pd(map.Dx()), dy = _mm256_set1_pd(map.Dy()), m33 = _mm256_set1_pd(map.M33());
    const __m256d eps = _mm256_set1_pd(kEpsilon), minusEps = _mm256_set1_pd(-kEpsilon);
    const __m256d half = _mm256_set1_pd(0.5), one = _mm256_set1_pd(1.);
    const __m256d w4 = _mm256_set1_pd(width), h4 = _mm256_set1_pd(height);
    const bool projective = at.Projective();
    int x = first;
    for (; x + 3 <= last; x += 4, out += 4) {
        __m256d sx = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(map.ColumnX() + x), rx), dx);
        __m256d sy = _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(map.ColumnY() + x), ry), dy);
        if (projective) {
            const __m256d w =
                _mm256_div_pd(one, _mm256_add_pd(_mm256_add_pd(_mm256_loadu_pd(map.ColumnW() + x), rw), m33));
            sx = _mm256_mul_pd(sx, w);
            sy = _mm256_mul_pd(sy, w);
        }
        const __m256d ex = _mm256_add_pd(sx, eps), ey = _mm256_add_pd(sy, eps);
        const __m256d inside = _mm256_and_pd(
            _mm256_and_pd(_mm256_cmp_pd(sx, minusEps, _CMP_NLT_UQ), _mm256_cmp_pd(sy, minusEps, _CMP_NLT_UQ)),
            _mm256_and_pd(_mm256_cmp_pd(ex, w4, _CMP_LT_OQ), _mm256_cmp_pd(ey, h4, _CMP_LT_OQ)));
        const int mask = _mm256_movemask_pd(inside);
        if (mask == 0)
            continue;
        // Lanes outside the source may hold anything; they are not used.
        const __m128i x0 = _mm256_cvttpd_epi32(_mm256_sub_pd(ex, half));
        const __m128i y0 = _mm256_cvttpd_epi32(_mm256_sub_pd(ey, half));
        alignas(32) double fx[4], fy[4];
        alignas(16) int xs[4], ys[4];
        _mm256_store_pd(fx, _mm256_sub_pd(_mm256_sub_pd(sx, _mm256_cvtepi32_pd(x0)), half));
        _mm256_store_pd(fy, _mm256_sub_pd(_mm256_sub_pd(sy, _mm256_cvtepi32_pd(y0)), half));
        _mm_store_si128(reinterpret_cast<__m128i*>(xs), x0);
        _mm_store_si128(reinterpret_cast<__m128i*>(ys), y0);
        for (int k = 0; k < 4; ++k)
            if (mask >> k & 1)
                Sample<Cubic>(source, Where{xs[k], ys[k], fx[k], fy[k]}, out[k]);
    }
    for (; x <= last; ++x, ++out) {
        double sx, sy, ex, ey;
        at.At(x, sx, sy);
        if (!KXGeometry::Cell(sx, sy, width, height, ex, ey))
            continue;
        const KXGeometry::Base b(sx, sy, ex, ey);
        Sample<Cubic>(source, Where{b.x0, b.y0, b.fx, b.fy}, *out);
    }
}

#undef KX_AVX2

#endif

} // namespace

KXGeometry::SpanSampler KXGeometry::FastSpan(Quality quality)
{
#if defined(KX_SAMPLE_AVX2)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && quality == Quality::Bilinear)
        return SpanAvx2<false>;
    if (avx2 && quality == Quality::Bicubic)
        return SpanAvx2<true>;
#endif
    (void)quality;
    return nullptr;
}
