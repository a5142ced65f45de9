// The geometry of the line passes: segments, area and the line reads and
// writes through the image's row and column segment accessors.

#include "KXFilterPasses.h"

#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    KXRGBA32i across[kBandLines];
    for (int i = 0; i < sourceLength; ++i) {
        image.GetLine(unsigned(sourceStart + i), unsigned(first), across, unsigned(count) * sizeof(KXRGBA32i));
        for (int k = 0; k < count; ++k)
            buffers[size_t(k)][size_t(i)] = across[k];
    }
}

void KXPassGeometry::WriteBand(KXImageRGBA32i& image, int first, int count,
                               const std::vector<KXPixelLine>& buffers) const
{
    if (horizontal || count == 1) {
        for (int k = 0; k < count; ++k)
            Write(image, first + k, buffers[size_t(k)]);
        return;
    }
    KXRGBA32i across[kBandLines];
    for (int i = 0; i < destinationLength; ++i) {
        for (int k = 0; k < count; ++k)
            across[k] = buffers[size_t(k)][size_t(i)];
        image.SetLine(unsigned(destinationStart + i), unsigned(first), across, unsigned(count) * sizeof(KXRGBA32i));
    }
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

// The alpha-weighted box line. Each window pixel's terms (b a / 255,
// g a / 255, r a / 255, a) are worked out once, then the window slides with
// integer additions. The divisions are single precision and exact: c a
// <= 65025 and every sum S <= 255 d (d = 2r + 1 < 65536) are exact floats
// below 2^24; a quotient x / y below 256 is correctly rounded and lies at
// least 1 / y > 2^-16 below the next integer, while a float step there is
// at most 2^-16, so truncation gives floor(x / y). That holds for
// (c a) / 255, S / d, and ((S / d) 255) / A, whose numerator is at most
// 255 A because each colour term is at most its alpha.
void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                KXRGBABlurAccumulatorPremul& accumulator)
{
#if defined(__SSE2__)
    const int r = accumulator.Radius();
    if (r < 0 || r >= 32767) {
        KXSlideBox<KXRGBABlurAccumulatorPremul>(g, source, destination, accumulator);
        return;
    }
    const KXPixelLine window = KXBoxWindow<false>(g, source, r);
    const __m128i zero = _mm_setzero_si128();
    const __m128i colours = _mm_setr_epi32(-1, -1, -1, 0), alpha = _mm_setr_epi32(0, 0, 0, -1);
    struct Terms {
        __m128i lanes;
    };
    std::vector<Terms> terms(window.size());
    for (size_t q = 0; q < window.size(); ++q) {
        const __m128i v = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(window[q].value)), zero), zero);
        const __m128 f = _mm_cvtepi32_ps(v);
        const __m128 a = _mm_shuffle_ps(f, f, 0xFF);
        const __m128i weighted = _mm_cvttps_epi32(_mm_div_ps(_mm_mul_ps(f, a), _mm_set1_ps(255.0f)));
        terms[q].lanes = _mm_or_si128(_mm_and_si128(weighted, colours), _mm_and_si128(v, alpha));
    }
    const __m128 count = _mm_set1_ps(float(2 * r + 1));
    __m128i sums = zero;
    for (int q = 0; q < 2 * r + 1; ++q)
        sums = _mm_add_epi32(sums, terms[size_t(q)].lanes);
    KXRGBA32i* out = destination.data();
    for (int i = 0; i < g.destinationLength; ++i) {
        sums = _mm_add_epi32(_mm_sub_epi32(sums, terms[size_t(i)].lanes), terms[size_t(i) + size_t(2 * r + 1)].lanes);
        const __m128i average = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(sums), count));
        const int a = _mm_cvtsi128_si32(_mm_shuffle_epi32(average, 0xFF));
        if (a < 1) {
            out[i] = KXRGBA32i(0);
            continue;
        }
        const __m128 scaled = _mm_mul_ps(_mm_cvtepi32_ps(average), _mm_set1_ps(255.0f));
        const __m128i c = _mm_cvttps_epi32(_mm_div_ps(scaled, _mm_set1_ps(float(a))));
        __m128i result = _mm_or_si128(_mm_and_si128(c, colours), _mm_and_si128(average, alpha));
        result = _mm_packs_epi32(result, result);
        out[i] = KXRGBA32i(uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(result, result))));
    }
#else
    KXSlideBox<KXRGBABlurAccumulatorPremul>(g, source, destination, accumulator);
#endif
}
