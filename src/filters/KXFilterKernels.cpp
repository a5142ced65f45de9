// The line kernels: Gaussian weights, the per-pixel kernels and the Gaussian
// spans that compute many pixels of a line at once.
//
// A span gives the bits of the per-pixel kernel: every pixel's sums start
// at 0.0 and take the taps k = -r … r in order, each term computed with the
// same operations in the same order ((c * w) * a / 255.0 for the colours
// weighted by alpha). Only the loop order changes: the source channels are
// spread into double planes (with the clamped edge pixels repeated), and the
// loop over the pixels of a block is the inner one, so that the compiler
// computes several pixels' terms with one vector instruction. Nothing is
// fused or reassociated (-ffp-contract=off, no -ffast-math).

#include "KXFilterKernels.h"

#include "core/KXArithmetic.h"
#include "core/KXLogMacros.h"
#include "filters/KXGaussianSpanWidth.h"

#include <atomic>
#include <cmath>

namespace {

const char* const kLogFile = "src/KXFilterKernels";

using KXArithmetic::ClampByte;

// (x + 0.5) truncated, as a byte.
inline uint8_t RoundedByte(double x)
{
    const double y = x + 0.5;
    return static_cast<uint8_t>(y <= 0.0 ? 0 : y >= 255.0 ? 255 : static_cast<int>(y));
}

enum class GaussMode { AllChannels, Premul, AlphaOnly };

// x / 255.0, correctly rounded, for the fused multiply-add build: with
// y = RN(1/255) (relative error below 2^-53) q = RN(x y) is within one ulp
// of x / 255, so r = x - 255 q is exact in one fused operation, and
// RN(q + r y) is RN(x / 255) (Markstein's theorem; the terms are
// non-negative and far from underflow). Without fused operations it is the
// plain division.
template <bool Fused>
inline __attribute__((always_inline)) double Div255(double x)
{
    if (!Fused)
        return x / 255.0;
    constexpr double y = 1.0 / 255.0;
    const double q = x * y;
    return __builtin_fma(__builtin_fma(-255.0, q, x), y, q);
}

constexpr int kBlock = 128; // pixels a span computes together

// The sums of one block of n pixels: plane[c][q] holds channel c of the
// source pixel at clamped position base + q; sum[c][j] the sums of pixel j.
template <GaussMode Mode, bool Fused>
inline __attribute__((always_inline)) void GaussBlock(const double* __restrict pb, const double* __restrict pg,
                                                      const double* __restrict pr, const double* __restrict pa,
                                                      const double* __restrict w, int taps, int n,
                                                      double* __restrict sb, double* __restrict sg,
                                                      double* __restrict sr, double* __restrict sa)
{
    for (int j = 0; j < n; ++j)
        sb[j] = sg[j] = sr[j] = sa[j] = 0.0;
    for (int k = 0; k < taps; ++k) {
        const double wk = w[k];
        const double* __restrict b = pb + k;
        const double* __restrict g = pg + k;
        const double* __restrict r = pr + k;
        const double* __restrict a = pa + k;
        if (Mode == GaussMode::AlphaOnly) {
            for (int j = 0; j < n; ++j)
                sa[j] += wk * a[j];
        } else if (Mode == GaussMode::AllChannels) {
            for (int j = 0; j < n; ++j) {
                sb[j] += wk * b[j];
                sg[j] += wk * g[j];
                sr[j] += wk * r[j];
                sa[j] += wk * a[j];
            }
        } else {
            for (int j = 0; j < n; ++j) {
                sa[j] += wk * a[j];
                sb[j] += Div255<Fused>(b[j] * wk * a[j]);
                sg[j] += Div255<Fused>(g[j] * wk * a[j]);
                sr[j] += Div255<Fused>(r[j] * wk * a[j]);
            }
        }
    }
}

struct SpanArgs {
    const KXRGBA32i* source;
    int last;
    int64_t offset;
    const double* weights;
    int radius;
    KXRGBA32i* destination;
    int first;
    int end;
};

// Finishes pixel i from its four sums, as the per-pixel kernels do.
template <GaussMode Mode>
inline KXRGBA32i Finish(const KXRGBA32i& centre, double b, double g, double r, double a)
{
    KXRGBA32i out;
    if (Mode == GaussMode::AllChannels) {
        out.b = RoundedByte(b);
        out.g = RoundedByte(g);
        out.r = RoundedByte(r);
        out.a = RoundedByte(a);
    } else if (Mode == GaussMode::AlphaOnly) {
        out = centre;
        out.a = RoundedByte(a);
    } else {
        const uint8_t alpha = RoundedByte(a);
        if (alpha == 0)
            return KXRGBA32i(0);
        out.a = alpha;
        out.b = RoundedByte(b * 255 / alpha);
        out.g = RoundedByte(g * 255 / alpha);
        out.r = RoundedByte(r * 255 / alpha);
    }
    return out;
}

template <GaussMode Mode, bool Fused>
inline __attribute__((always_inline)) void GaussSpanBody(const SpanArgs& s)
{
    const int taps = 2 * s.radius + 1;
    const int width = kBlock + taps - 1;
    std::vector<double> scratch(static_cast<size_t>(width) * 4 + kBlock * 4);
    double* plane[4];
    for (int c = 0; c < 4; ++c)
        plane[c] = scratch.data() + static_cast<size_t>(c) * width;
    double* sums = scratch.data() + static_cast<size_t>(width) * 4;
    for (int j0 = s.first; j0 < s.end; j0 += kBlock) {
        const int n = std::min(kBlock, s.end - j0);
        const int64_t base = s.offset + j0 - s.radius;
        for (int q = 0; q < n + taps - 1; ++q) {
            const int64_t at = base + q;
            const KXRGBA32i& p = s.source[at < 0 ? 0 : at > s.last ? s.last : at];
            plane[0][q] = p.b;
            plane[1][q] = p.g;
            plane[2][q] = p.r;
            plane[3][q] = p.a;
        }
        GaussBlock<Mode, Fused>(plane[0], plane[1], plane[2], plane[3], s.weights, taps, n, sums, sums + kBlock,
                         sums + 2 * kBlock, sums + 3 * kBlock);
        for (int j = 0; j < n; ++j) {
            const int64_t centre = s.offset + j0 + j;
            s.destination[j0 + j] =
                Finish<Mode>(s.source[centre < 0 ? 0 : centre > s.last ? s.last : centre], sums[j],
                             sums[kBlock + j], sums[2 * kBlock + j], sums[3 * kBlock + j]);
        }
    }
}

template <GaussMode Mode>
__attribute__((flatten)) void GaussSpanDefault(const SpanArgs& s)
{
    GaussSpanBody<Mode, false>(s);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KX_GAUSS_AVX2 1
// Built for AVX2 with fused multiply-add (four doubles a vector); called
// only where the processor has both. The arithmetic is the same IEEE double
// arithmetic, the division by 255 done as Div255 shows.
template <GaussMode Mode>
__attribute__((flatten, target("avx2,fma"))) void GaussSpanAvx2(const SpanArgs& s)
{
    GaussSpanBody<Mode, true>(s);
}

// The same for AVX-512 (eight doubles a vector).
template <GaussMode Mode>
__attribute__((flatten, target("avx512f,fma"))) void GaussSpanAvx512(const SpanArgs& s)
{
    GaussSpanBody<Mode, true>(s);
}
#endif

using KXGaussianSpanWidth::Width;

std::atomic<int> gForcedWidth{int(Width::Best)};

bool Supported(Width width)
{
#if defined(KX_GAUSS_AVX2)
    static const bool fma = __builtin_cpu_supports("fma");
    static const bool avx2 = fma && __builtin_cpu_supports("avx2");
    static const bool avx512 = fma && __builtin_cpu_supports("avx512f");
    return width == Width::Avx512 ? avx512 : width == Width::Avx2 ? avx2 : true;
#else
    return width == Width::Plain || width == Width::Best;
#endif
}

template <GaussMode Mode>
void GaussSpan(const SpanArgs& s)
{
    if (s.first >= s.end || s.last < 0)
        return;
    Width width = Width(gForcedWidth.load(std::memory_order_relaxed));
    if (width == Width::Best)
        width = Supported(Width::Avx512) ? Width::Avx512 : Supported(Width::Avx2) ? Width::Avx2 : Width::Plain;
#if defined(KX_GAUSS_AVX2)
    if (width == Width::Avx512) {
        GaussSpanAvx512<Mode>(s);
        return;
    }
    if (width == Width::Avx2) {
        GaussSpanAvx2<Mode>(s);
        return;
    }
#endif
    GaussSpanDefault<Mode>(s);
}

} // namespace

bool KXGaussianSpanWidth::Available(Width width)
{
    return Supported(width);
}

void KXGaussianSpanWidth::Force(Width width)
{
    gForcedWidth.store(int(width), std::memory_order_relaxed);
}

#if defined(KX_GAUSS_AVX2)
__attribute__((target("avx2,fma"))) double KXGaussianSpanWidth::FusedDivideBy255(double x)
{
    return Div255<true>(x);
}
#else
double KXGaussianSpanWidth::FusedDivideBy255(double x)
{
    return Div255<false>(x);
}
#endif

KXGaussianKernelBase::KXGaussianKernelBase(double sigma)
{
    const double reach = sigma * 3.0;
    if (!(reach < double(kMaxRadius + 1))) { // also catches NaN
        KX_LOG_REPORT(kLogFile, QStringLiteral("Gaussian sigma %1 refused: the kernel would exceed %2 taps")
                                    .arg(sigma)
                                    .arg(2 * kMaxRadius + 1));
        sigma = 1.0 / 3.0;
        m_radius = 1;
    } else {
        m_radius = std::max(1, static_cast<int>(reach));
    }
    const int r = m_radius;
    m_weights.assign(static_cast<size_t>(2 * r + 1), 0.0);
    const double pi = 3.14159265358979323846;
    double sum = 0.0;
    for (int k = 0; k <= r; ++k) {
        const double w = std::exp(-(k * double(k)) / (2 * sigma * sigma)) / (2 * pi * sigma * sigma);
        m_weights[static_cast<size_t>(r - k)] = w;
        m_weights[static_cast<size_t>(r + k)] = w;
        sum += k == 0 ? w : 2 * w;
    }
    if (!std::isfinite(sum) || !(sum > 0.0)) {
        // sigma 0 (or so small that its square vanishes): the limit of the
        // Gaussian, the pixel itself.
        KX_LOG_REPORT(kLogFile, QStringLiteral("Gaussian sigma %1 has no weights: the kernel copies").arg(sigma));
        std::fill(m_weights.begin(), m_weights.end(), 0.0);
        m_weights[static_cast<size_t>(r)] = 1.0;
        return;
    }
    for (double& w : m_weights)
        w /= sum;
}

void KXGaussian1D::operator()(int i) const
{
    const int64_t p = Position(i);
    double b = 0.0, g = 0.0, r = 0.0, a = 0.0;
    for (int k = -m_radius; k <= m_radius; ++k) {
        const double w = m_weights[static_cast<size_t>(k + m_radius)];
        const KXRGBA32i& s = At(p + k);
        b += w * s.b;
        g += w * s.g;
        r += w * s.r;
        a += w * s.a;
    }
    Out(i) = Finish<GaussMode::AllChannels>(KXRGBA32i(), b, g, r, a);
}

void KXGaussian1DPremul::operator()(int i) const
{
    const int64_t p = Position(i);
    double b = 0.0, g = 0.0, r = 0.0, a = 0.0;
    for (int k = -m_radius; k <= m_radius; ++k) {
        const double w = m_weights[static_cast<size_t>(k + m_radius)];
        const KXRGBA32i& s = At(p + k);
        a += w * s.a;
        b += s.b * w * s.a / 255.0;
        g += s.g * w * s.a / 255.0;
        r += s.r * w * s.a / 255.0;
    }
    Out(i) = Finish<GaussMode::Premul>(KXRGBA32i(), b, g, r, a);
}

void KXGaussianAlpha1D::operator()(int i) const
{
    const int64_t p = Position(i);
    double a = 0.0;
    for (int k = -m_radius; k <= m_radius; ++k)
        a += m_weights[static_cast<size_t>(k + m_radius)] * At(p + k).a;
    Out(i) = Finish<GaussMode::AlphaOnly>(At(p), 0, 0, 0, a);
}

void KXGaussian1D::Span(int first, int end) const
{
    GaussSpan<GaussMode::AllChannels>(
        {m_source->data(), m_last, m_offset, m_weights.data(), m_radius, m_destination->data(), first, end});
}

void KXGaussian1DPremul::Span(int first, int end) const
{
    GaussSpan<GaussMode::Premul>(
        {m_source->data(), m_last, m_offset, m_weights.data(), m_radius, m_destination->data(), first, end});
}

void KXGaussianAlpha1D::Span(int first, int end) const
{
    GaussSpan<GaussMode::AlphaOnly>(
        {m_source->data(), m_last, m_offset, m_weights.data(), m_radius, m_destination->data(), first, end});
}

void KXSimpleBoxKernel1D::operator()(int i) const
{
    const int64_t p = Position(i);
    if (m_strength == 0) {
        Out(i) = At(p);
        return;
    }
    const KXRGBA32i& l = At(p - 1);
    const KXRGBA32i& m = At(p);
    const KXRGBA32i& r = At(p + 1);
    const int64_t n = m_strength, centre = 765 - m_twice;
    // Alpha in double: (n aL + (765 - 2n) aM + n aR) / 255 / 3, rounded.
    const double alphaSum = double(n * l.a + centre * m.a + n * r.a);
    const uint8_t alpha = RoundedByte(alphaSum / 255 / 3);
    if (alpha == 0) {
        Out(i) = KXRGBA32i(0);
        return;
    }
    // Colours weighted by alpha, each term c a w / 255 in double.
    const auto colour = [&](int cl, int cm, int cr) {
        const double sum = double(n * cl * l.a) / 255 + double(centre * cm * m.a) / 255 + double(n * cr * r.a) / 255;
        return RoundedByte(sum / (3 * alpha));
    };
    KXRGBA32i out;
    out.a = alpha;
    out.b = colour(l.b, m.b, r.b);
    out.g = colour(l.g, m.g, r.g);
    out.r = colour(l.r, m.r, r.r);
    Out(i) = out;
}

void KXSimpleSharpenKernel1D::operator()(int i) const
{
    const int64_t p = Position(i);
    if (m_strength == 0) {
        Out(i) = At(p);
        return;
    }
    const KXRGBA32i& l = At(p - 1);
    const KXRGBA32i& m = At(p);
    const KXRGBA32i& r = At(p + 1);
    const int64_t n = m_strength, centre = m_twice + 1785;
    // Start 765 = 3 * 255, the rounding term of the division by 7.
    const auto channel = [&](int cl, int cm, int cr) {
        const int64_t sum = 765 - n * cl + centre * cm - n * cr;
        const int64_t v = sum / 255 / 7;
        return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    };
    KXRGBA32i out;
    out.a = channel(l.a, m.a, r.a);
    out.b = channel(l.b, m.b, r.b);
    out.g = channel(l.g, m.g, r.g);
    out.r = channel(l.r, m.r, r.r);
    Out(i) = out;
}

void KXShiftEdge1D::operator()(int i) const
{
    const int64_t p = Position(i);
    KXRGBA32i c = At(p);
    // Beyond the line's far end on both sides nothing changes any more.
    const int64_t reach = std::min<int64_t>(m_shift < 0 ? -int64_t(m_shift) : m_shift,
                                            std::max<int64_t>(p, m_last - p) + 1);
    if (m_shift > 0) {
        uint8_t right = 0, left = 0;
        for (int64_t k = 1; k <= reach; ++k) {
            if (Inside(p + k) && At(p + k).a > right)
                right = At(p + k).a;
            if (Inside(p - k) && At(p - k).a > left)
                left = At(p - k).a;
        }
        c.a = std::max({c.a, left, right});
    } else if (m_shift < 0) {
        uint8_t right = c.a, left = c.a;
        for (int64_t k = 1; k <= reach; ++k) {
            if (Inside(p + k)) {
                if (At(p + k).a < right)
                    right = At(p + k).a;
            } else {
                right = 0; // outside counts as transparent
            }
            if (Inside(p - k)) {
                if (At(p - k).a < left)
                    left = At(p - k).a;
            } else {
                left = 0;
            }
        }
        c.a = std::min({c.a, left, right});
    }
    Out(i) = c;
}
