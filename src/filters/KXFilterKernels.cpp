// The line kernels: Gaussian weights and the per-pixel kernels (the
// Gaussian spans, many pixels of a line at once, are in KXGaussianSpans.cpp).

#include "KXFilterKernels.h"

#include "core/KXLogMacros.h"
#include "KXGaussianSpans.h"

#include <algorithm>
#include <cmath>

namespace {

const char* const kLogFile = "src/KXFilterKernels";

using KXGaussianSpans::Finish;
using KXGaussianSpans::GaussMode;
using KXGaussianSpans::RoundedByte;

} // namespace

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
        m_radius = reach < 1.0 ? 1 : static_cast<int>(reach); // a negative sigma too
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
