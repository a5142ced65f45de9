// The geometry of the line passes: segments, area and the line reads and
// writes through the image's row and column segment accessors.

#include "KXFilterPasses.h"

#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"
#include "filters/KXBoxLineWidth.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {
const char* const kLogFile = "src/KXFilterPasses";
}

KXPassGeometry KXPassGeometry::None(KXPassDirection direction)
{
    KXPassGeometry g;
    g.horizontal = direction == KXPassDirection::Horizontal;
    return g;
}

KXPassGeometry KXPassGeometry::Make(const QRect& image, const QRect& rect, int left, int right,
                                    KXPassDirection direction)
{
    KXPassGeometry g = None(direction);
    const QRect area = KXTileWalker::Clip(rect.isNull() ? image : rect, image);
    if (area.isEmpty())
        return g;
    const bool h = g.horizontal;
    g.firstLine = h ? area.top() : area.left();
    g.lastLine = h ? area.bottom() : area.right();
    g.extent = h ? image.width() : image.height();
    const int start = h ? area.left() : area.top();
    const int end = h ? area.right() : area.bottom();
    g.destinationStart = start;
    g.destinationLength = end - start + 1;
    g.sourceStart = static_cast<int>(std::max<int64_t>(0, int64_t(start) - left));
    const int sourceEnd = static_cast<int>(std::min<int64_t>(g.extent - 1, int64_t(end) + right));
    g.sourceLength = sourceEnd - g.sourceStart + 1;
    return g;
}

QRect KXPassGeometry::Area(int first, int last) const
{
    first = std::max(first, firstLine);
    last = std::min(last, lastLine);
    if (first > last)
        return QRect();
    const int end = destinationStart + destinationLength - 1;
    return horizontal ? QRect(QPoint(destinationStart, first), QPoint(end, last))
                      : QRect(QPoint(first, destinationStart), QPoint(last, end));
}

bool KXPassGeometry::Read(const KXImageRGBA32i& image, int line, KXPixelLine& buffer) const
{
    const unsigned int bytes = static_cast<unsigned int>(sourceLength) * sizeof(KXRGBA32i);
    return horizontal ? image.GetLine(unsigned(line), unsigned(sourceStart), buffer.data(), bytes)
                      : image.GetColumn(unsigned(line), unsigned(sourceStart), buffer.data(), bytes);
}

bool KXPassGeometry::Write(KXImageRGBA32i& image, int line, const KXPixelLine& buffer) const
{
    const unsigned int bytes = static_cast<unsigned int>(destinationLength) * sizeof(KXRGBA32i);
    return horizontal ? image.SetLine(unsigned(line), unsigned(destinationStart), buffer.data(), bytes)
                      : image.SetColumn(unsigned(line), unsigned(destinationStart), buffer.data(), bytes);
}

void KXPassGeometry::ReadBand(const KXImageRGBA32i& image, int first, int count,
                              std::vector<KXPixelLine>& buffers) const
{
    if (horizontal || count == 1) {
        for (int k = 0; k < count; ++k)
            Read(image, first + k, buffers[size_t(k)]);
        return;
    }
    // Straight from the tiles, one access a tile instead of one a row.
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    uint32_t* lines[kBandLines];
    for (int k = 0; k < count; ++k)
        lines[k] = reinterpret_cast<uint32_t*>(buffers[size_t(k)].data());
    KXTileWalker::ReadArea(image, QRect(first, sourceStart, count, sourceLength), KXTileWalker::Run::Serial,
                           [&](const KXRGBA32i* in, const QRect& part, unsigned int column, unsigned int row) {
                               uint32_t* const* to = lines + (int(column) * W + part.left() - first);
                               const int n = part.width();
                               for (int y = part.top(); y <= part.bottom(); ++y) {
                                   const uint32_t* p = reinterpret_cast<const uint32_t*>(in + y * W + part.left());
                                   const size_t i = size_t(int(row) * H + y - sourceStart);
                                   if (n == kBandLines)
                                       for (int k = 0; k < kBandLines; ++k)
                                           to[k][i] = p[k];
                                   else
                                       for (int k = 0; k < n; ++k)
                                           to[k][i] = p[k];
                               }
                           });
}

void KXPassGeometry::WriteBand(KXImageRGBA32i& image, int first, int count,
                               const std::vector<KXPixelLine>& buffers) const
{
    if (horizontal || count == 1) {
        for (int k = 0; k < count; ++k)
            Write(image, first + k, buffers[size_t(k)]);
        return;
    }
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    const uint32_t* lines[kBandLines];
    for (int k = 0; k < count; ++k)
        lines[k] = reinterpret_cast<const uint32_t*>(buffers[size_t(k)].data());
    KXTileWalker::WriteArea(image, QRect(first, destinationStart, count, destinationLength), KXTileWalker::Run::Serial,
                            [&](KXRGBA32i* out, const QRect& part, unsigned int column, unsigned int row) {
                                const uint32_t* const* from = lines + (int(column) * W + part.left() - first);
                                const int n = part.width();
                                for (int y = part.top(); y <= part.bottom(); ++y) {
                                    uint32_t* p = reinterpret_cast<uint32_t*>(out + y * W + part.left());
                                    const size_t i = size_t(int(row) * H + y - destinationStart);
                                    if (n == kBandLines)
                                        for (int k = 0; k < kBandLines; ++k)
                                            p[k] = from[k][i];
                                    else
                                        for (int k = 0; k < n; ++k)
                                            p[k] = from[k][i];
                                }
                            });
}

bool KXBoxPassAcceptsRadius(int radius)
{
    if (radius >= 0 && radius <= KXBoxPassMaxRadius)
        return true;
    KX_LOG_REPORT(kLogFile, QStringLiteral("Box radius %1 refused: it must lie in 0 ... %2")
                                .arg(radius)
                                .arg(KXBoxPassMaxRadius));
    return false;
}

// The alpha-weighted box line, with the accumulator's arithmetic done
// faster and bit for bit the same:
//
// - Terms. Each window pixel's terms (b a / 255, g a / 255, r a / 255, a)
//   are worked out once, packed into a word (every term is a byte), four
//   pixels at a time. x / 255 for x = c a <= 65025 is (x * 0x8081) >> 23:
//   0x8081 = ceil(2^23 / 255) exceeds 2^23 / 255 by e / 255 with e = 127,
//   so x * 0x8081 / 2^23 = x / 255 + x e / (255 * 2^23), and the added part
//   is below 1 / 255 while x e < 2^23 (x < 66052); the fractional part of
//   x / 255 is at most 254 / 255, so the floor does not change.
// - Sums. The window slides with integer additions of the unpacked terms
//   (in the band form the sums of sixteen lines side by side), a block of
//   positions at a time, into a small buffer of sums.
// - Averages. A = S / d and each colour ((S / d) 255) / A are finished
//   several pixels at a time with single-precision multiplications by a
//   reciprocal and one correction step instead of divisions. Every value
//   involved is an integer below 2^24 (S <= 255 d with d < 65536; the
//   colour numerators N <= 255 A because each colour term is at most its
//   alpha; quotient estimates q0 <= 256), so the products q0 v and the
//   remainders x - q0 v are exact floats. The estimate q0 = trunc(x y), y
//   a reciprocal of the divisor v, lies within 1 of floor(x / v): y =
//   RN(1 / d) and the rounded product are each off by less than 2^-24
//   relatively, so x y is within 255 * 2^-22 of S / d; y = rcp(A), the
//   processor's estimate with a relative error of at most 1.5 * 2^-12
//   (2^-14 for the AVX-512 estimate), puts x y within 255 * 1.5 * 2^-12 <
//   0.1 of N / A (x y >= 0, so truncating and rounding towards zero agree).
//   Hence the remainder lies in [-v, 2v), and adding 1 where it is >= v and
//   subtracting 1 where it is < 0 gives floor(x / v).
// - Where A < 1 the pixel is the zero pixel, as the accumulator writes.
// - Where A = 255 (an opaque window) each colour is ((S / d) 255) / 255 =
//   S / d, the average itself: groups of opaque pixels skip the second
//   division.
//
// The plain accumulator line stays for radii whose sums could reach 2^24.

#if defined(__SSE2__)
#include <immintrin.h>

namespace {

using KXBoxLineWidth::Width;

constexpr int kBoxBlock = 256; // pixels slid before they are finished
constexpr int kBoxMaxRadius = 32766; // d = 2r + 1 < 65536

std::atomic<int> gBoxWidth{int(Width::Best)};

bool BoxSupported(Width width)
{
#if defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    static const bool avx512 = __builtin_cpu_supports("avx512f");
    return width == Width::Avx512 ? avx512 : width == Width::Avx2 ? avx2 : true;
#else
    return width == Width::Best || width == Width::Sse2;
#endif
}

// Terms of four packed pixels: colours (c a) / 255, alpha a.
inline __m128i Terms4(__m128i pixels)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i magic = _mm_set1_epi16(short(0x8081));
    const __m128i alphaLanes = _mm_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1);
    const auto half = [&](__m128i v) {
        const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
        const __m128i t = _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(v, a), magic), 7);
        return _mm_or_si128(_mm_andnot_si128(alphaLanes, t), _mm_and_si128(alphaLanes, v));
    };
    return _mm_packus_epi16(half(_mm_unpacklo_epi8(pixels, zero)), half(_mm_unpackhi_epi8(pixels, zero)));
}

inline uint32_t Term(uint32_t pixel)
{
    return uint32_t(_mm_cvtsi128_si32(Terms4(_mm_cvtsi32_si128(int(pixel)))));
}

inline __m128i Widen(uint32_t packed)
{
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(packed)), zero), zero);
}

// floor(x / v) from the estimate x * y (see above); all lanes hold integers.
inline __m128 Quotient(__m128 x, __m128 v, __m128 y)
{
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 q = _mm_cvtepi32_ps(_mm_cvttps_epi32(_mm_mul_ps(x, y)));
    const __m128 rest = _mm_sub_ps(x, _mm_mul_ps(q, v));
    return _mm_sub_ps(_mm_add_ps(q, _mm_and_ps(_mm_cmpge_ps(rest, v), one)),
                      _mm_and_ps(_mm_cmplt_ps(rest, _mm_setzero_ps()), one));
}

// One pixel from its four sums (b, g, r, a).
inline uint32_t Finish1(__m128i sums, __m128 count, __m128 reciprocal)
{
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 average = Quotient(_mm_cvtepi32_ps(sums), count, reciprocal);
    const __m128 alpha = _mm_shuffle_ps(average, average, 0xFF);
    if (_mm_movemask_ps(_mm_cmpeq_ps(alpha, _mm_set1_ps(255.0f))) == 0xF) {
        __m128i v = _mm_cvttps_epi32(average);
        v = _mm_packs_epi32(v, v);
        return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    }
    const __m128 divisor = _mm_max_ps(alpha, one);
    const __m128 colour = Quotient(_mm_mul_ps(average, _mm_set1_ps(255.0f)), divisor, _mm_rcp_ps(divisor));
    const __m128 alphaLane = _mm_castsi128_ps(_mm_setr_epi32(0, 0, 0, -1));
    __m128 result = _mm_or_ps(_mm_andnot_ps(alphaLane, colour), _mm_and_ps(alphaLane, average));
    result = _mm_andnot_ps(_mm_cmplt_ps(alpha, one), result);
    __m128i v = _mm_cvttps_epi32(result);
    v = _mm_packs_epi32(v, v);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
}

void FinishSse2(const int32_t* sums, int n, int d, uint32_t* out)
{
    const __m128 count = _mm_set1_ps(float(d)), reciprocal = _mm_set1_ps(1.0f / float(d));
    for (int j = 0; j < n; ++j)
        out[j] = Finish1(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 4 * j)), count, reciprocal);
}

#if defined(__GNUC__)
// The same, two pixels a vector.
__attribute__((target("avx2"), always_inline)) inline __m256 Quotient8(__m256 x, __m256 v, __m256 y)
{
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 q = _mm256_round_ps(_mm256_mul_ps(x, y), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256 rest = _mm256_sub_ps(x, _mm256_mul_ps(q, v));
    return _mm256_sub_ps(_mm256_add_ps(q, _mm256_and_ps(_mm256_cmp_ps(rest, v, _CMP_GE_OQ), one)),
                         _mm256_and_ps(_mm256_cmp_ps(rest, _mm256_setzero_ps(), _CMP_LT_OQ), one));
}

__attribute__((target("avx2"))) void FinishAvx2(const int32_t* sums, int n, int d, uint32_t* out)
{
    const __m256 count = _mm256_set1_ps(float(d)), reciprocal = _mm256_set1_ps(1.0f / float(d));
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 alphaLane = _mm256_castsi256_ps(_mm256_setr_epi32(0, 0, 0, -1, 0, 0, 0, -1));
    int j = 0;
    for (; j + 2 <= n; j += 2) {
        const __m256 s = _mm256_cvtepi32_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + 4 * j)));
        const __m256 average = Quotient8(s, count, reciprocal);
        const __m256 alpha = _mm256_shuffle_ps(average, average, 0xFF);
        __m256 result = average;
        if (_mm256_movemask_ps(_mm256_cmp_ps(alpha, _mm256_set1_ps(255.0f), _CMP_EQ_OQ)) != 0xFF) {
            const __m256 divisor = _mm256_max_ps(alpha, one);
            const __m256 colour =
                Quotient8(_mm256_mul_ps(average, _mm256_set1_ps(255.0f)), divisor, _mm256_rcp_ps(divisor));
            result = _mm256_blendv_ps(colour, average, alphaLane);
            result = _mm256_andnot_ps(_mm256_cmp_ps(alpha, one, _CMP_LT_OQ), result);
        }
        __m256i v = _mm256_cvttps_epi32(result);
        v = _mm256_packus_epi16(_mm256_packs_epi32(v, v), _mm256_setzero_si256());
        out[j] = uint32_t(_mm256_extract_epi32(v, 0));
        out[j + 1] = uint32_t(_mm256_extract_epi32(v, 4));
    }
    if (j < n)
        FinishSse2(sums + 4 * j, n - j, d, out + j);
}
#endif

// The same, four pixels a vector, the corrections as masked additions.
// (GCC 12's AVX-512 headers warn about their own undefined operands.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f"), always_inline)) inline __m512 Quotient16(__m512 x, __m512 v, __m512 y)
{
    const __m512 one = _mm512_set1_ps(1.0f);
    __m512 q = _mm512_roundscale_ps(_mm512_mul_ps(x, y), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m512 rest = _mm512_sub_ps(x, _mm512_mul_ps(q, v));
    q = _mm512_mask_add_ps(q, _mm512_cmp_ps_mask(rest, v, _CMP_GE_OQ), q, one);
    return _mm512_mask_sub_ps(q, _mm512_cmp_ps_mask(rest, _mm512_setzero_ps(), _CMP_LT_OQ), q, one);
}

__attribute__((target("avx512f"))) void FinishAvx512(const int32_t* sums, int n, int d, uint32_t* out)
{
    const __m512 count = _mm512_set1_ps(float(d)), reciprocal = _mm512_set1_ps(1.0f / float(d));
    const __m512 one = _mm512_set1_ps(1.0f), scale = _mm512_set1_ps(255.0f);
    const __mmask16 alphaLanes = 0x8888;
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        const __m512 s = _mm512_cvtepi32_ps(_mm512_loadu_si512(sums + 4 * j));
        const __m512 average = Quotient16(s, count, reciprocal);
        const __m512 alpha = _mm512_permute_ps(average, 0xFF);
        __m512i v;
        if (_mm512_cmp_ps_mask(alpha, scale, _CMP_EQ_OQ) == 0xFFFF) {
            v = _mm512_cvttps_epi32(average);
        } else {
            const __m512 divisor = _mm512_max_ps(alpha, one);
            const __m512 colour = Quotient16(_mm512_mul_ps(average, scale), divisor, _mm512_rcp14_ps(divisor));
            const __m512 result = _mm512_mask_mov_ps(colour, alphaLanes, average);
            const __mmask16 visible = _mm512_cmp_ps_mask(alpha, one, _CMP_GE_OQ);
            v = _mm512_maskz_cvttps_epi32(visible, result);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm512_cvtepi32_epi8(v));
    }
    if (j < n)
        FinishSse2(sums + 4 * j, n - j, d, out + j);
}

#pragma GCC diagnostic pop

using FinishFunction = void (*)(const int32_t*, int, int, uint32_t*);

FinishFunction ChooseFinish()
{
    const Width width = KXBoxLineWidth::InUse();
#if defined(__GNUC__)
    if (width == Width::Avx512)
        return FinishAvx512;
    if (width == Width::Avx2)
        return FinishAvx2;
#endif
    return FinishSse2;
}

} // namespace

bool KXBoxLineWidth::Available(Width width)
{
    return BoxSupported(width);
}

void KXBoxLineWidth::Force(Width width)
{
    gBoxWidth.store(int(width), std::memory_order_relaxed);
}

KXBoxLineWidth::Width KXBoxLineWidth::InUse()
{
    Width width = Width(gBoxWidth.load(std::memory_order_relaxed));
    if (width == Width::Best)
        width = BoxSupported(Width::Avx512) ? Width::Avx512 : BoxSupported(Width::Avx2) ? Width::Avx2 : Width::Sse2;
    return width;
}

unsigned int KXBoxLineWidth::DivideBy255(unsigned int x)
{
    // The 16-bit lane arithmetic of Terms4, on one lane.
    const __m128i v = _mm_cvtsi32_si128(int(x));
    return unsigned(_mm_cvtsi128_si32(_mm_srli_epi16(_mm_mulhi_epu16(v, _mm_set1_epi16(short(0x8081))), 7))) & 0xFFFFu;
}

namespace {
#if defined(__GNUC__)
__attribute__((target("avx512f"))) int DivideByAlpha14(int n, int a)
{
    const __m128 v = _mm_set1_ps(float(a));
    return _mm_cvtss_si32(Quotient(_mm_set1_ps(float(n)), v, _mm_rcp14_ss(v, v)));
}
#endif
} // namespace

int KXBoxLineWidth::DivideByAlpha(int n, int a)
{
#if defined(__GNUC__)
    if (ChooseFinish() == FinishAvx512) // its own reciprocal estimate
        return DivideByAlpha14(n, a);
#endif
    const __m128 v = _mm_set1_ps(float(a));
    return _mm_cvtss_si32(Quotient(_mm_set1_ps(float(n)), v, _mm_rcp_ps(v)));
}

int KXBoxLineWidth::DivideByCount(int s, int d)
{
    return _mm_cvtss_si32(Quotient(_mm_set1_ps(float(s)), _mm_set1_ps(float(d)), _mm_set1_ps(1.0f / float(d))));
}

void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                KXRGBABlurAccumulatorPremul& accumulator, KXBoxLineScratch& scratch)
{
    const int r = accumulator.Radius();
    if (r < 0 || r > kBoxMaxRadius || g.destinationLength <= 0) {
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
    int q = inStart;
    for (; q + 4 <= inEnd; q += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(terms + q),
                         Terms4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + (q - inStart)))));
    for (; q < inEnd; ++q)
        terms[q] = Term(in[q - inStart]);
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

#if defined(__GNUC__)
__attribute__((flatten, target("avx2"))) void SlideBandAvx2(const BandRows& b, int y, int m, int32_t* sums,
                                                             int32_t* block)
{
    SlideBandBody(b, y, m, sums, block);
}

__attribute__((flatten, target("avx512f,avx512bw"))) void SlideBandAvx512(const BandRows& b, int y, int m,
                                                                          int32_t* sums, int32_t* block)
{
    SlideBandBody(b, y, m, sums, block);
}
#endif

SlideBandFunction ChooseSlideBand(FinishFunction finish)
{
#if defined(__GNUC__)
    static const bool avx512bw = __builtin_cpu_supports("avx512bw");
    if (finish == FinishAvx512 && avx512bw)
        return SlideBandAvx512;
    if (finish == FinishAvx512 || finish == FinishAvx2)
        return SlideBandAvx2;
#endif
    (void)finish;
    return SlideBandSse2;
}

} // namespace

namespace {
// c[0 … 3] as the rows of a 4 x 4 matrix of words, transposed.
inline void Transpose4(__m128i* c)
{
    const __m128i t0 = _mm_unpacklo_epi32(c[0], c[1]), t1 = _mm_unpacklo_epi32(c[2], c[3]);
    const __m128i t2 = _mm_unpackhi_epi32(c[0], c[1]), t3 = _mm_unpackhi_epi32(c[2], c[3]);
    c[0] = _mm_unpacklo_epi64(t0, t1);
    c[1] = _mm_unpackhi_epi64(t0, t1);
    c[2] = _mm_unpacklo_epi64(t2, t3);
    c[3] = _mm_unpackhi_epi64(t2, t3);
}

// Columns at … at + count - 1 of a band, read straight from the tiles: the
// terms of source row i go to terms[i kBandLines …], lanes past `count`
// zero, and where the next band's row i lies in the same tile, next[i]
// (else null). A band of 16 columns lies in one tile unless the area's left
// edge puts it across a tile border. Each tile row is a cache line of its
// own 512 bytes after the last, so the rows a few lines down are asked for
// ahead of their turn.
void ReadColumnBand(const KXImageRGBA32i& image, const KXPassGeometry& g, int at, int count, uint32_t* terms,
                    const KXRGBA32i** next)
{
    constexpr int kBand = KXPassGeometry::kBandLines;
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    constexpr int kAhead = 8; // rows
    if (count < kBand)
        std::fill(terms, terms + static_cast<size_t>(g.sourceLength) * kBand, 0u);
    std::fill(next, next + g.sourceLength, nullptr);
    KXTileWalker::ReadArea(image, QRect(at, g.sourceStart, count, g.sourceLength), KXTileWalker::Run::Serial,
                           [&](const KXRGBA32i* in, const QRect& part, unsigned int column, unsigned int row) {
                               const int lane = int(column) * W + part.left() - at;
                               const int nextLeft = part.left() - lane + kBand; // the next band's first column
                               const bool nextInTile = nextLeft >= 0 && nextLeft + kBand <= W;
                               for (int y = part.top(); y <= part.bottom(); ++y) {
                                   const uint32_t* p = reinterpret_cast<const uint32_t*>(in + y * W + part.left());
                                   const size_t i = static_cast<size_t>(int(row) * H + y - g.sourceStart);
                                   uint32_t* t = terms + i * kBand;
                                   if (y + kAhead <= part.bottom())
                                       __builtin_prefetch(p + kAhead * W, 0, 3);
                                   if (nextInTile)
                                       next[i] = in + y * W + nextLeft;
                                   if (part.width() < kBand) {
                                       for (int k = 0; k < part.width(); ++k)
                                           t[lane + k] = Term(p[k]);
                                       continue;
                                   }
                                   for (int k = 0; k < kBand; k += 4)
                                       _mm_storeu_si128(reinterpret_cast<__m128i*>(t + k),
                                                        Terms4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k))));
                               }
                           });
}

// The band's finished rows (kBandLines words a row) into columns at … at +
// count - 1 of rows destinationStart …, straight into the tiles (already
// the image's own).
void WriteColumnBand(KXImageRGBA32i& image, const KXPassGeometry& g, int at, int count, const uint32_t* rows)
{
    constexpr int kBand = KXPassGeometry::kBandLines;
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    KXTileWalker::WriteArea(image, QRect(at, g.destinationStart, count, g.destinationLength), KXTileWalker::Run::Serial,
                            [&](KXRGBA32i* out, const QRect& part, unsigned int column, unsigned int row) {
                                const int lane = int(column) * W + part.left() - at;
                                for (int y = part.top(); y <= part.bottom(); ++y) {
                                    const uint32_t* r =
                                        rows + static_cast<size_t>(int(row) * H + y - g.destinationStart) * kBand + lane;
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
    if (r < 0 || r > kBoxMaxRadius || g.destinationLength <= 0 || g.sourceLength <= 0)
        return false;
    constexpr int kBand = KXPassGeometry::kBandLines;
    const int d = 2 * r + 1;
    const int n = g.destinationLength;
    const int64_t top = int64_t(g.destinationStart) - r - 1; // position of window row 0
    // Window positions clamped into the image lie in the source segment.
    const BandRows rows{nullptr, top, g.extent, g.sourceStart, d};
    scratch.terms.resize(static_cast<size_t>(g.sourceLength) * kBand);
    scratch.sums.resize(static_cast<size_t>(4 * kBoxBlock));
    scratch.pixels.resize(static_cast<size_t>(kBoxBlock));
    const FinishFunction finish = ChooseFinish();
    const SlideBandFunction slide = ChooseSlideBand(finish);
    const int rowsPerBlock = kBoxBlock / kBand;
    uint32_t* terms = scratch.terms.data();
    BandRows band = rows;
    band.terms = terms;
    const size_t stride = static_cast<size_t>(g.sourceLength) + 4; // a row read, with room for a group of 4
    if (g.horizontal)
        scratch.line.resize(stride * kBand);
    scratch.rows.resize(static_cast<size_t>(n) * kBand);
    if (!g.horizontal)
        scratch.next.resize(static_cast<size_t>(g.sourceLength));
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
                for (int i = 0; i < length; i += 4) // up to 3 words past the row: room left for them
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(line + i),
                                     Terms4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i))));
            }
            for (int i = 0; i < length; i += 4) {
                for (int k0 = 0; k0 < kBand; k0 += 4) {
                    __m128i c[4];
                    for (int k = 0; k < 4; ++k)
                        c[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                            scratch.line.data() + static_cast<size_t>(k0 + k) * stride + i));
                    Transpose4(c);
                    for (int p = 0; p < 4 && i + p < length; ++p)
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(terms + static_cast<size_t>(i + p) * kBand + k0),
                                         c[p]);
                }
            }
        } else {
            ReadColumnBand(image, g, at, count, terms, scratch.next.data());
        }
        int32_t sums[4 * kBand] = {};
        for (int q = 0; q < d; ++q) {
            const uint8_t* t = BandRow(band, q);
            for (int k = 0; k < 4 * kBand; ++k)
                sums[k] += t[k];
        }
        for (int y = 0; y < n; y += rowsPerBlock) {
            const int m = std::min(rowsPerBlock, n - y);
            slide(band, y, m, sums, scratch.sums.data());
            if (!g.horizontal) { // into the band's finished rows, written below
                // The next band's source rows of this block (all that are
                // left with the last) are asked for while this band is
                // worked on: its reads would wait on memory.
                const int shift = g.destinationStart - g.sourceStart; // source row of destination row 0
                const int from = y == 0 ? 0 : std::min(g.sourceLength, y + shift);
                const int to = y + m == n ? g.sourceLength : std::min(g.sourceLength, y + m + shift);
                for (int i = from; i < to; ++i)
                    if (scratch.next[size_t(i)])
                        __builtin_prefetch(scratch.next[size_t(i)], 0, 2);
                finish(scratch.sums.data(), m * kBand, d, scratch.rows.data() + static_cast<size_t>(y) * kBand);
                continue;
            }
            finish(scratch.sums.data(), m * kBand, d, scratch.pixels.data());
            int j = 0;
            for (; j + 4 <= m; j += 4) {
                for (int k0 = 0; k0 < kBand; k0 += 4) {
                    __m128i c[4];
                    for (int p = 0; p < 4; ++p)
                        c[p] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                            scratch.pixels.data() + static_cast<size_t>(j + p) * kBand + k0));
                    Transpose4(c);
                    for (int k = 0; k < 4; ++k)
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(scratch.rows.data() +
                                                                     static_cast<size_t>(k0 + k) * n + y + j),
                                         c[k]);
                }
            }
            for (; j < m; ++j)
                for (int k = 0; k < count; ++k)
                    scratch.rows[static_cast<size_t>(k) * n + size_t(y + j)] =
                        scratch.pixels[static_cast<size_t>(j) * kBand + size_t(k)];
        }
        if (!g.horizontal) {
            WriteColumnBand(image, g, at, count, scratch.rows.data());
            continue;
        }
        for (int k = 0; k < count; ++k)
            image.SetLine(unsigned(at + k), unsigned(g.destinationStart), scratch.rows.data() + static_cast<size_t>(k) * n,
                          unsigned(n) * sizeof(KXRGBA32i));
    }
    return true;
}

#else // no SSE2: the accumulator's own line

bool KXBoxLineWidth::Available(Width)
{
    return false;
}

unsigned int KXBoxLineWidth::DivideBy255(unsigned int x)
{
    return (x * 0x8081u) >> 23;
}

int KXBoxLineWidth::DivideByAlpha(int n, int a)
{
    return n / a;
}

int KXBoxLineWidth::DivideByCount(int s, int d)
{
    return s / d;
}

void KXBoxLineWidth::Force(Width) {}

KXBoxLineWidth::Width KXBoxLineWidth::InUse()
{
    return Width::Sse2;
}

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
