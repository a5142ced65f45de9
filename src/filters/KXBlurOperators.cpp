// Box and Gaussian blur operators and the 2D convolutions.
//
// A one-direction box blur is a KXBoxPass whose sums start at r (so that
// sum / (2r + 1) rounds to nearest) with edge pixels repeating; on a tiled
// image its lines go through the line runner, on a QImage through the same
// line function (KXSlideBox) over scan lines. Each line is read whole before
// it is written and lines do not overlap, so working in place gives the
// pixels a snapshot of the image would give.

#include "KXBlurOperators.h"

#include "KXBlendModes.h"
#include "KXFilterPasses.h"
#include "core/KXLogMacros.h"
#include "filters/KXFilterStages.h"
#include "filters/KXLineRunner.h"
#include "filters/KXPassSchedules.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const char* const kLogFile = "src/KXBlurOperators";

// The running sums of the box operators: all four channels, starting at r,
// held as one vector of four ints.
//
// sum / d (d = 2r + 1) is a single-precision division for d < 65536: every
// sum x < 256 d < 2^24 is an exact float, the quotient x / d < 256 is
// rounded to the nearest float, and x / d lies at least 1 / d > 2^-16 below
// the next integer while a float step there is at most 2^-16, so rounding
// never reaches it and truncation gives floor(x / d). Larger counts divide
// as integers.
class RoundedBoxSums {
public:
    static constexpr bool kTransparentOutside = false;

    explicit RoundedBoxSums(int radius)
        : m_radius(radius), m_count(KXBoxWindowCount(radius)), m_countF(float(m_count)), m_float(m_count < 65536)
    {
    }
    int Radius() const { return m_radius; }
#if defined(__SSE2__)
    // Bytes widened to four 32-bit lanes in the pixel's byte order.
    static __m128i Widen(const KXRGBA32i& p)
    {
        const __m128i zero = _mm_setzero_si128();
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p.value)), zero), zero);
    }
    void Reset() { m_sums = _mm_set1_epi32(m_radius); }
    void Add(const KXRGBA32i& p) { m_sums = _mm_add_epi32(m_sums, Widen(p)); }
    void Subtract(const KXRGBA32i& p) { m_sums = _mm_sub_epi32(m_sums, Widen(p)); }
    void Finalize(KXRGBA32i& target) const
    {
        __m128i q;
        if (m_float) {
            q = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(m_sums), _mm_set1_ps(m_countF)));
        } else {
            alignas(16) int32_t sums[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(sums), m_sums);
            q = _mm_setr_epi32(sums[0] / m_count, sums[1] / m_count, sums[2] / m_count, sums[3] / m_count);
        }
        q = _mm_packs_epi32(q, q); // every quotient is a byte
        target.value = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(q, q)));
    }

private:
    __m128i m_sums = _mm_setzero_si128();
#else
    void Reset() { m_sums[0] = m_sums[1] = m_sums[2] = m_sums[3] = m_radius; }
    void Add(const KXRGBA32i& p)
    {
        m_sums[0] += p.b, m_sums[1] += p.g, m_sums[2] += p.r, m_sums[3] += p.a;
    }
    void Subtract(const KXRGBA32i& p)
    {
        m_sums[0] -= p.b, m_sums[1] -= p.g, m_sums[2] -= p.r, m_sums[3] -= p.a;
    }
    void Finalize(KXRGBA32i& target) const
    {
        uint32_t value = 0;
        for (int c = 0; c < 4; ++c) {
            const int32_t q = m_float ? int32_t(float(m_sums[c]) / m_countF) : m_sums[c] / m_count;
            value |= uint32_t(q) << (8 * c);
        }
        target.value = value;
    }

private:
    int32_t m_sums[4] = {0, 0, 0, 0};
#endif
    int m_radius;
    int m_count;
    float m_countF;
    bool m_float;
};

// A radius the passes take and within what the picture can show (twice
// its larger side, never below 1024); a wider window only adds work.
bool Accepts(int radius, const KXImageRGBA32i& image)
{
    return KXFilterStages::AcceptsBoxRadius(radius, image.Width(), image.Height(), kLogFile);
}
bool Accepts(int radius, const QImage& image)
{
    return KXFilterStages::AcceptsBoxRadius(radius, image.width(), image.height(), kLogFile);
}

bool Invalid(const QRect& rect)
{
    return rect.left() > rect.right() || rect.top() > rect.bottom();
}

// `rect` (valid) grown by `by` on every side; coordinates beyond the image
// stop one pixel outside it, which leaves the part inside the image as it
// is and cannot overflow.
QRect Grown(const QRect& rect, int64_t by, const QRect& image)
{
    const auto limit = [](int64_t v, int low, int high) { return static_cast<int>(std::clamp<int64_t>(v, low, high)); };
    const int left = image.left() - 1, right = image.right() + 1, top = image.top() - 1, bottom = image.bottom() + 1;
    return QRect(QPoint(limit(int64_t(rect.left()) - by, left, right), limit(int64_t(rect.top()) - by, top, bottom)),
                 QPoint(limit(int64_t(rect.right()) + by, left, right),
                        limit(int64_t(rect.bottom()) + by, top, bottom)));
}

// A QImage the operators can step through as 32-bit words.
bool Prepare(QImage& image)
{
    if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32, Qt::NoOpaqueDetection);
    return !image.isNull();
}

// One direction of the box blur on a tiled image.
void Box(KXImageRGBA32i& image, const QRect& rect, int radius, KXPassDirection direction)
{
    if (!Accepts(radius, image))
        return;
    KXLineRunner runner;
    KXBoxPass<RoundedBoxSums> pass(image, rect, RoundedBoxSums(radius), direction);
    runner.Run(pass);
}

// The same over a QImage's scan lines.
void Box(QImage& image, const QRect& rect, int radius, KXPassDirection direction)
{
    if (!Accepts(radius, image) || !Prepare(image))
        return;
    const KXPassGeometry g = KXPassGeometry::Make(image.rect(), rect, radius + 1, radius, direction);
    if (g.Lines() <= 0)
        return;
    KXPixelLine source(static_cast<size_t>(g.sourceLength)), destination(static_cast<size_t>(g.destinationLength));
    RoundedBoxSums sums(radius);
    for (int line = g.firstLine; line <= g.lastLine; ++line) {
        if (g.horizontal) {
            std::memcpy(static_cast<void*>(source.data()),
                        image.constScanLine(line) + size_t(g.sourceStart) * 4, source.size() * 4);
        } else {
            for (int i = 0; i < g.sourceLength; ++i)
                source[size_t(i)] = reinterpret_cast<const uint32_t*>(image.constScanLine(g.sourceStart + i))[line];
        }
        KXSlideBox(g, source, destination, sums);
        if (g.horizontal) {
            std::memcpy(image.scanLine(line) + size_t(g.destinationStart) * 4,
                        static_cast<const void*>(destination.data()), destination.size() * 4);
        } else {
            for (int i = 0; i < g.destinationLength; ++i)
                reinterpret_cast<uint32_t*>(image.scanLine(g.destinationStart + i))[line] = destination[size_t(i)].value;
        }
    }
}

template <class Image>
void BoxBoth(Image& image, const QRect& rect, const QRect& rows, int radius)
{
    Box(image, rows, radius, KXPassDirection::Horizontal);
    Box(image, rect, radius, KXPassDirection::Vertical);
}

// Three box blurs: the whole image, rows first.
template <class Image>
void GaussianWhole(Image& image, int radius)
{
    for (int i = 0; i < 3; ++i)
        Box(image, QRect(), radius, KXPassDirection::Horizontal);
    for (int i = 0; i < 3; ++i)
        Box(image, QRect(), radius, KXPassDirection::Vertical);
}

// Three box blurs of a (valid) rectangle: rows over it grown by 3r, columns
// over it grown by 2r, … down to columns over the rectangle itself.
template <class Image>
void GaussianArea(Image& image, const QRect& rect, const QRect& bounds, int radius)
{
    for (int k = 3; k >= 1; --k) {
        Box(image, Grown(rect, int64_t(k) * radius, bounds), radius, KXPassDirection::Horizontal);
        Box(image, Grown(rect, int64_t(k - 1) * radius, bounds), radius, KXPassDirection::Vertical);
    }
}

// Draws `rect` of `blurred` over the same rectangle of `image`, replacing it.
void CopyBack(QImage& image, const QImage& blurred, const QRect& rect)
{
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(rect, blurred, rect);
}

// The rows of the convolutions: Get reads a row of the image as it was
// before the call, Set writes a row of the result into a copy, and Commit
// puts the finished result in the image's place, so that a failure on the
// way (tile blocks or memory running out) leaves the image as it was.
struct TiledRows {
    KXImageRGBA32i& image;
    const KXImageRGBA32i snapshot;
    KXImageRGBA32i result;
    explicit TiledRows(KXImageRGBA32i& i) : image(i), snapshot(i), result(i) {}
    int Width() const { return int(image.Width()); }
    int Height() const { return int(image.Height()); }
    void Get(int y, KXPixelLine& row) const { snapshot.GetLine(unsigned(y), row.data(), unsigned(row.size()) * 4); }
    void Set(int y, const KXPixelLine& row) { result.SetLine(unsigned(y), row.data(), unsigned(row.size()) * 4); }
    void Commit() { image = result; }
};

// Scan lines hold the words that QImage::pixel and setPixel read and write
// for the two formats Prepare leaves.
struct ScanRows {
    QImage& image;
    const QImage snapshot;
    QImage result;
    explicit ScanRows(QImage& i) : image(i), snapshot(i), result(i) {}
    int Width() const { return image.width(); }
    int Height() const { return image.height(); }
    void Get(int y, KXPixelLine& row) const
    {
        std::memcpy(static_cast<void*>(row.data()), snapshot.constScanLine(y), row.size() * 4);
    }
    void Set(int y, const KXPixelLine& row)
    {
        uchar* const line = result.scanLine(y); // the first detaches: null without the memory
        if (!line)
            throw std::bad_alloc();
        std::memcpy(line, static_cast<const void*>(row.data()), row.size() * 4);
    }
    void Commit() { image = result; }
};

bool AcceptKernel(const double* kernel, const QSize& size)
{
    if (size.width() <= 0 || size.height() <= 0)
        return false;
    if (!kernel) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("Convolution kernel of %1 x %2 without weights refused")
                                    .arg(size.width())
                                    .arg(size.height()));
        return false;
    }
    return true;
}

// A channel sum truncated and clamped to a byte (a NaN gives 0).
inline uint8_t Channel(double sum)
{
    return sum >= 255.0 ? 255 : sum > 0.0 ? static_cast<uint8_t>(sum) : 0;
}

// Row by row, each pixel's sums over j = 0 … kh - 1, i = 0 … kw - 1 in
// that order.
template <bool AlphaOnly, class Rows>
void Convolve(Rows&& rows, const double* kernel, const QSize& size)
{
    const int width = rows.Width(), height = rows.Height(), kw = size.width(), kh = size.height();
    if (width <= 0 || height <= 0)
        return;
    std::vector<KXPixelLine> source(static_cast<size_t>(kh), KXPixelLine(static_cast<size_t>(width)));
    std::vector<bool> inside(static_cast<size_t>(kh));
    KXPixelLine out(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int j = 0; j < kh; ++j) {
            const int64_t sy = int64_t(y) + kh / 2 - j;
            inside[size_t(j)] = sy >= 0 && sy < height;
            rows.Get(static_cast<int>(std::clamp<int64_t>(sy, 0, height - 1)), source[size_t(j)]);
        }
        for (int x = 0; x < width; ++x) {
            if (AlphaOnly) {
                float sum = 0.0f;
                for (int j = 0; j < kh; ++j) {
                    if (!inside[size_t(j)])
                        continue;
                    const KXRGBA32i* row = source[size_t(j)].data();
                    for (int i = 0; i < kw; ++i) {
                        const int64_t sx = int64_t(x) + kw / 2 - i;
                        if (sx >= 0 && sx < width)
                            sum += kernel[size_t(j) * size_t(kw) + size_t(i)] * row[sx].a;
                    }
                }
                out[size_t(x)] = KXRGBA32i(uint32_t(Channel(sum)) << 24);
            } else {
                double b = 0.0, g = 0.0, r = 0.0, a = 0.0;
                for (int j = 0; j < kh; ++j) {
                    const KXRGBA32i* row = source[size_t(j)].data();
                    for (int i = 0; i < kw; ++i) {
                        const int64_t sx = std::clamp<int64_t>(int64_t(x) + kw / 2 - i, 0, width - 1);
                        const double w = kernel[size_t(j) * size_t(kw) + size_t(i)];
                        const KXRGBA32i& p = row[sx];
                        b += w * p.b;
                        g += w * p.g;
                        r += w * p.r;
                        a += w * p.a;
                    }
                }
                KXRGBA32i& o = out[size_t(x)];
                if (!(a >= 1.0)) { // alpha truncates to 0 or less
                    o = KXRGBA32i(0);
                } else {
                    o.b = Channel(b);
                    o.g = Channel(g);
                    o.r = Channel(r);
                    o.a = Channel(a);
                }
            }
        }
        rows.Set(y, out);
    }
    rows.Commit();
}

} // namespace

void KXBoxBlurH::operator()(KXImageRGBA32i& image, const QRect& rect) const
{
    Box(image, rect, m_radius, KXPassDirection::Horizontal);
}

void KXBoxBlurH::operator()(QImage& image, const QRect& rect) const
{
    Box(image, rect, m_radius, KXPassDirection::Horizontal);
}

void KXBoxBlurV::operator()(KXImageRGBA32i& image, const QRect& rect) const
{
    Box(image, rect, m_radius, KXPassDirection::Vertical);
}

void KXBoxBlurV::operator()(QImage& image, const QRect& rect) const
{
    Box(image, rect, m_radius, KXPassDirection::Vertical);
}

void KXBoxBlur::operator()(KXImageRGBA32i& image, const QRect& rect) const
{
    if (!Accepts(m_radius, image))
        return;
    if (rect == image.Rect() || Invalid(rect)) {
        BoxBoth(image, QRect(), QRect(), m_radius);
        return;
    }
    KXImageRGBA32i copy = image;
    BoxBoth(copy, rect, Grown(rect, m_radius, image.Rect()), m_radius);
    BlendOn(copy, rect, KXBlendMode::Source, image, rect, 1.0, false);
}

void KXBoxBlur::operator()(KXImageRGBA32i& image, const QRect& rect, const KXImageRGBA32i& mask,
                           const QRect& maskRect, bool revealOutsideMask) const
{
    if (!Accepts(m_radius, image))
        return;
    KXImageRGBA32i copy = image;
    QRect area = rect;
    if (rect == image.Rect() || Invalid(rect)) {
        area = image.Rect();
        BoxBoth(copy, QRect(), QRect(), m_radius);
    } else {
        BoxBoth(copy, rect, Grown(rect, m_radius, image.Rect()), m_radius);
    }
    BlendMaskOn(copy, area, KXBlendMode::Normal, image, area, 1.0, mask, maskRect, revealOutsideMask, false);
}

void KXBoxBlur::operator()(QImage& image, const QRect& rect) const
{
    if (!Accepts(m_radius, image) || !Prepare(image))
        return;
    if (rect == image.rect() || Invalid(rect)) {
        BoxBoth(image, QRect(), QRect(), m_radius);
        return;
    }
    QImage copy = image;
    BoxBoth(copy, rect, Grown(rect, m_radius, image.rect()), m_radius);
    CopyBack(image, copy, rect);
}

void KXGaussianBlur::operator()(KXImageRGBA32i& image, const QRect& rect) const
{
    if (!Accepts(m_radius, image))
        return;
    if (rect == image.Rect() || Invalid(rect)) {
        GaussianWhole(image, m_radius);
        return;
    }
    KXImageRGBA32i copy = image;
    GaussianArea(copy, rect, image.Rect(), m_radius);
    BlendOn(copy, rect, KXBlendMode::Source, image, rect, 1.0, false);
}

void KXGaussianBlur::operator()(KXImageRGBA32i& image, const QRect& rect, const KXImageRGBA32i& mask,
                                const QRect& maskRect, bool revealOutsideMask) const
{
    if (Invalid(rect) || !Accepts(m_radius, image))
        return;
    KXImageRGBA32i copy = image;
    if (rect == image.Rect())
        GaussianWhole(copy, m_radius);
    else
        GaussianArea(copy, rect, image.Rect(), m_radius);
    BlendMaskOn(copy, rect, KXBlendMode::Normal, image, rect, 1.0, mask, maskRect, revealOutsideMask, false);
}

void KXGaussianBlur::operator()(QImage& image, const QRect& rect) const
{
    if (!Accepts(m_radius, image) || !Prepare(image))
        return;
    if (rect == image.rect() || Invalid(rect)) {
        GaussianWhole(image, m_radius);
        return;
    }
    QImage copy = image;
    GaussianArea(copy, rect, image.rect(), m_radius);
    CopyBack(image, copy, rect);
}

void KXImageConvolution::operator()(KXImageRGBA32i& image) const
{
    if (AcceptKernel(m_kernel, m_size))
        Convolve<false>(TiledRows(image), m_kernel, m_size);
}

void KXImageConvolution::operator()(QImage& image) const
{
    if (AcceptKernel(m_kernel, m_size) && Prepare(image))
        Convolve<false>(ScanRows(image), m_kernel, m_size);
}

void KXImageConvoluteAlpha::operator()(KXImageRGBA32i& image) const
{
    if (AcceptKernel(m_kernel, m_size))
        Convolve<true>(TiledRows(image), m_kernel, m_size);
}

void KXImageConvoluteAlpha::operator()(QImage& image) const
{
    if (AcceptKernel(m_kernel, m_size) && Prepare(image))
        Convolve<true>(ScanRows(image), m_kernel, m_size);
}
