#ifndef KXFILTERKERNELS_H
#define KXFILTERKERNELS_H

/// \file
/// Separable line kernels and the running sums of box blurs.
///
/// A line kernel computes one destination pixel of a line from a read-only
/// source line: operator()(i) writes destination[i] from the source pixels
/// around position p = source offset + i, every index clamped into the
/// source line (so the line's end pixels repeat). Span(first, end) computes
/// destination[first] … destination[end - 1] and gives exactly the pixels
/// that operator() gives one by one; the Gaussian kernels do it for many
/// pixels at once (each pixel's sum is still added tap by tap, in order).
///
/// An accumulator is the running sum of a sliding window: Add and Subtract
/// one pixel, Finalize writes the window's average into a pixel.
///
/// Colour channels are bytes 0 to 2 of a KXRGBA32i and are always treated
/// alike; byte 3 is alpha.

#include "KXPixel.h"
#include "kxcore_export.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

/// A line of pixels, as the kernels and passes read and write them.
using KXPixelLine = std::vector<KXRGBA32i>;

/// What every line kernel shares: the source line it reads (not owned), the
/// destination line it writes (not owned) and the alignment of the two.
class KXLineKernelBase {
public:
    /// Reads from `source` (null: none); the last source index follows its size.
    void SetSource(const KXPixelLine* source)
    {
        m_source = source;
        m_last = source ? static_cast<int>(source->size()) - 1 : -1;
    }
    /// Writes into `destination`.
    void SetDestination(KXPixelLine* destination) { m_destination = destination; }
    /// Destination index 0 lines up with source index `offset`.
    void SetSourceOffset(int offset) { m_offset = offset; }
    /// The last index of the source line, -1 without one.
    int LastSourceIndex() const { return m_last; }

protected:
    /// The source pixel at `index` clamped into the line.
    const KXRGBA32i& At(int64_t index) const
    {
        return (*m_source)[static_cast<size_t>(index < 0 ? 0 : index > m_last ? m_last : index)];
    }
    bool Inside(int64_t index) const { return index >= 0 && index <= m_last; } ///< `index` lies in the source line.
    KXRGBA32i& Out(int i) const { return (*m_destination)[static_cast<size_t>(i)]; } ///< Destination pixel i.
    int64_t Position(int i) const { return int64_t(m_offset) + i; } ///< The source position p of destination i.

    int m_last = -1;                       ///< The last source index, -1 without a source.
    int m_offset = 0;                      ///< The source index of destination 0.
    const KXPixelLine* m_source = nullptr; ///< The source line (not owned).
    KXPixelLine* m_destination = nullptr;  ///< The destination line (not owned).
};

/// The weights shared by the three Gaussian kernels: radius r =
/// max(1, trunc(3 sigma)), 2r + 1 weights exp(-k²/(2σ²)) / (2πσ²) divided by
/// their sum (w(0) once, every other weight twice), index k + r for offset k.
class KXCORE_EXPORT KXGaussianKernelBase : public KXLineKernelBase {
public:
    /// The weights for `sigma`. A radius beyond kMaxRadius (or a sigma that
    /// is not a number) is refused with a log line and gives radius 1.
    explicit KXGaussianKernelBase(double sigma);

    int Left() const { return m_radius; }                       ///< Pixels read left of p: the radius.
    int Right() const { return m_radius; }                      ///< Pixels read right of p: the radius.
    int Radius() const { return m_radius; }                     ///< The radius r.
    const std::vector<double>& Weights() const { return m_weights; } ///< The 2r + 1 weights.

    static constexpr int kMaxRadius = 1 << 20; ///< The largest radius built.

protected:
    int m_radius = 1;              ///< The radius r.
    std::vector<double> m_weights; ///< The 2r + 1 normalised weights.
};

/// Gaussian over all four channels alike: each is (Σ w(k) c(p+k) + 0.5)
/// truncated, clamped to a byte.
class KXCORE_EXPORT KXGaussian1D : public KXGaussianKernelBase {
public:
    using KXGaussianKernelBase::KXGaussianKernelBase;
    void operator()(int i) const;         ///< Destination pixel i.
    void Span(int first, int end) const;  ///< Destination pixels first … end - 1.
};

/// Gaussian weighted by alpha: A = Σ w a, C = Σ c w a / 255 per colour;
/// alpha (A + 0.5) truncated and clamped; alpha 0 gives the zero pixel, else
/// each colour is (C 255 / alpha + 0.5) truncated and clamped.
class KXCORE_EXPORT KXGaussian1DPremul : public KXGaussianKernelBase {
public:
    using KXGaussianKernelBase::KXGaussianKernelBase;
    void operator()(int i) const;         ///< Destination pixel i.
    void Span(int first, int end) const;  ///< Destination pixels first … end - 1.
};

/// Gaussian of alpha alone: the pixel at p with its alpha replaced by
/// (Σ w a + 0.5) truncated and clamped.
class KXCORE_EXPORT KXGaussianAlpha1D : public KXGaussianKernelBase {
public:
    using KXGaussianKernelBase::KXGaussianKernelBase;
    void operator()(int i) const;         ///< Destination pixel i.
    void Span(int first, int end) const;  ///< Destination pixels first … end - 1.
};

/// The strength n of the two 3-tap kernels.
class KXThreeTapKernelBase : public KXLineKernelBase {
public:
    /// Strength `strength`.
    explicit KXThreeTapKernelBase(int strength) : m_strength(strength), m_twice(2 * int64_t(strength)) {}
    int Left() const { return 1; }  ///< One pixel to the left.
    int Right() const { return 1; } ///< One pixel to the right.
    int Strength() const { return m_strength; } ///< The strength n.

protected:
    int m_strength;  ///< The strength n.
    int64_t m_twice; ///< 2n.
};

/// 3-tap smoothing weighted by alpha, weights n, 765 - 2n, n; strength 0
/// copies, 255 averages.
class KXCORE_EXPORT KXSimpleBoxKernel1D : public KXThreeTapKernelBase {
public:
    using KXThreeTapKernelBase::KXThreeTapKernelBase;
    void operator()(int i) const; ///< Destination pixel i.
    /// Destination pixels first … end - 1.
    void Span(int first, int end) const
    {
        for (int i = first; i < end; ++i)
            (*this)(i);
    }
};

/// 3-tap sharpening of all four channels, weights -n, 2n + 1785, -n over
/// 1785 with the rounding term 765; strength 0 copies.
class KXCORE_EXPORT KXSimpleSharpenKernel1D : public KXThreeTapKernelBase {
public:
    using KXThreeTapKernelBase::KXThreeTapKernelBase;
    void operator()(int i) const; ///< Destination pixel i.
    /// Destination pixels first … end - 1.
    void Span(int first, int end) const
    {
        for (int i = first; i < end; ++i)
            (*this)(i);
    }
};

/// Grows (shift s > 0: the largest alpha within s pixels) or shrinks
/// (s < 0: the smallest, positions beyond the line counting as transparent)
/// the alpha along the line; colour is the pixel's own.
class KXCORE_EXPORT KXShiftEdge1D : public KXLineKernelBase {
public:
    /// Shift `shift` (limited to ±INT_MAX).
    explicit KXShiftEdge1D(int shift) : m_shift(std::max(shift, -INT_MAX)) {}
    int Left() const { return m_shift < 0 ? -m_shift : m_shift; }  ///< |s|.
    int Right() const { return Left(); }                            ///< |s|.
    void operator()(int i) const; ///< Destination pixel i.
    /// Destination pixels first … end - 1.
    void Span(int first, int end) const
    {
        for (int i = first; i < end; ++i)
            (*this)(i);
    }

private:
    int m_shift;
};

/// 2r + 1, the pixels of a box window of radius r, held to the int range (a
/// radius that large is refused by the box passes; only the count stays
/// defined).
inline int KXBoxWindowCount(int radius)
{
    return int(std::min<int64_t>(std::max<int64_t>(2 * int64_t(radius) + 1, INT_MIN), INT_MAX));
}

/// The running sum of alpha over a window of 2r + 1 pixels. Positions
/// outside the image count as the zero pixel in a box pass.
class KXAlphaBlurAccumulator {
public:
    static constexpr bool kTransparentOutside = true; ///< Outside the image is transparent.

    /// Radius `radius`.
    explicit KXAlphaBlurAccumulator(int radius) : m_radius(radius), m_count(KXBoxWindowCount(radius)) {}
    void Add(const KXRGBA32i& p) { m_alpha += p.a; }      ///< Adds a pixel's alpha.
    void Subtract(const KXRGBA32i& p) { m_alpha -= p.a; } ///< Subtracts a pixel's alpha.
    /// Alpha := sum / count; the other bytes stay.
    void Finalize(KXRGBA32i& target) const { target.a = static_cast<uint8_t>(m_alpha / m_count); }
    void Reset() { m_alpha = 0; } ///< The sum back to 0.
    int Radius() const { return m_radius; } ///< The radius r.

protected:
    int m_radius;    ///< The radius r.
    int m_count;     ///< The window's pixels, 2r + 1.
    int m_alpha = 0; ///< The sum of alpha.
};

/// As KXAlphaBlurAccumulator, writing 255 minus the average.
class KXAlphaBlurAccumulatorWithInvert : public KXAlphaBlurAccumulator {
public:
    using KXAlphaBlurAccumulator::KXAlphaBlurAccumulator;
    /// Alpha := ~(sum / count); the other bytes stay.
    void Finalize(KXRGBA32i& target) const { target.a = static_cast<uint8_t>(~(m_alpha / m_count)); }
};

/// As KXAlphaBlurAccumulator, writing the configured colour with the
/// average as its alpha.
class KXAlphaBlurAccumulatorWithRGBColorize : public KXAlphaBlurAccumulator {
public:
    /// Radius `radius`, colour `color`.
    KXAlphaBlurAccumulatorWithRGBColorize(int radius, const KXRGBA32i& color)
        : KXAlphaBlurAccumulator(radius), m_color(color)
    {
    }
    /// Target := colour with alpha sum / count.
    void Finalize(KXRGBA32i& target) const
    {
        target = m_color;
        target.a = static_cast<uint8_t>(m_alpha / m_count);
    }

private:
    KXRGBA32i m_color;
};

/// Running sums of all four channels; edge pixels repeat in a box pass.
class KXRGBABlurAccumulator {
public:
    static constexpr bool kTransparentOutside = false; ///< Edge pixels repeat.

    /// Radius `radius`.
    explicit KXRGBABlurAccumulator(int radius) : m_radius(radius), m_count(KXBoxWindowCount(radius)) {}
    /// Adds the four channels.
    void Add(const KXRGBA32i& p)
    {
        m_a += p.a;
        m_r += p.r;
        m_g += p.g;
        m_b += p.b;
    }
    /// Subtracts the four channels.
    void Subtract(const KXRGBA32i& p)
    {
        m_a -= p.a;
        m_r -= p.r;
        m_g -= p.g;
        m_b -= p.b;
    }
    /// Each channel := its sum / count.
    void Finalize(KXRGBA32i& target) const
    {
        target.a = static_cast<uint8_t>(m_a / m_count);
        target.r = static_cast<uint8_t>(m_r / m_count);
        target.g = static_cast<uint8_t>(m_g / m_count);
        target.b = static_cast<uint8_t>(m_b / m_count);
    }
    void Reset() { m_a = m_r = m_g = m_b = 0; } ///< The sums back to 0.
    int Radius() const { return m_radius; }    ///< The radius r.

protected:
    int m_radius;                           ///< The radius r.
    int m_count;                            ///< The window's pixels, 2r + 1.
    int m_a = 0; ///< The sum of alpha.
    int m_r = 0; ///< The sum of red.
    int m_g = 0; ///< The sum of green.
    int m_b = 0; ///< The sum of blue.
};

/// Running sums weighted by alpha: alpha, and (c a) / 255 per colour.
/// Finalize: A = alpha sum / count; A < 1 gives the zero pixel, else each
/// colour is ((sum / count) 255) / A, all divisions truncating.
class KXRGBABlurAccumulatorPremul : public KXRGBABlurAccumulator {
public:
    using KXRGBABlurAccumulator::KXRGBABlurAccumulator;
    /// Adds alpha and the alpha-weighted colours.
    void Add(const KXRGBA32i& p)
    {
        m_a += p.a;
        m_r += p.r * p.a / 255;
        m_g += p.g * p.a / 255;
        m_b += p.b * p.a / 255;
    }
    /// Subtracts what Add added.
    void Subtract(const KXRGBA32i& p)
    {
        m_a -= p.a;
        m_r -= p.r * p.a / 255;
        m_g -= p.g * p.a / 255;
        m_b -= p.b * p.a / 255;
    }
    /// The average, colours divided back by its alpha.
    void Finalize(KXRGBA32i& target) const
    {
        const int alpha = m_a / m_count;
        if (alpha < 1) {
            target = KXRGBA32i(0);
            return;
        }
        target.a = static_cast<uint8_t>(alpha);
        target.r = static_cast<uint8_t>(m_r / m_count * 255 / alpha);
        target.g = static_cast<uint8_t>(m_g / m_count * 255 / alpha);
        target.b = static_cast<uint8_t>(m_b / m_count * 255 / alpha);
    }
};

#endif // KXFILTERKERNELS_H
