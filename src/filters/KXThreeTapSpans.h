#ifndef KXTHREETAPSPANS_H
#define KXTHREETAPSPANS_H

// The sharpen and smoothen filters' 3-tap kernels with a fast Span: the same
// arithmetic done byte by byte over whole runs of a line, so that the
// compiler vectorises it across pixels. Private to the library.
//
// Sharpen treats all four bytes alike: out = clamp(s / 1785, 0, 255) with
// s = 765 - n l + (2n + 1785) m - n r, the two truncating divisions of the
// kernel (/ 255, then / 7) being one for s >= 0 and giving at most 0 for
// s < 0. For 0 < n <= kMaxFastSharpen, s fits an int.
//
// Smoothen, where the three taps are opaque: alpha is (765 255) / 255 / 3 +
// 0.5 truncated, 255; every colour term c a w / 255 is the integer w c, so
// the sum S is an integer and (S / 765 + 0.5) truncated is
// (2 S + 765) / 1530 (S / 765 is never within 1 / 1530 of a half, far
// beyond the double's rounding). The alpha byte takes the same formula
// (S = 765 · 255 gives 255). For 0 < n <= 382 the centre weight is not
// negative, so 0 <= S <= 765 · 255. Runs with a transparent or translucent
// tap go through the plain kernel.
//
// The quotients x / d (x >= 0 and x / d < 256) are taken as
// trunc(float(x) · float(1 / d) + d / 4 / d²): the product is within
// 256 · 2^-23 of x / d and the bias a quarter of the 1 / d that separates x
// / d from the next integer; Quotient is checked for every x in range by
// the tests.

#include "KXFilterKernels.h"

#include <algorithm>
#include <cstdint>

namespace KXThreeTapSpans {

constexpr int kMaxFastSharpen = 65535;

// x / D for 0 <= x < 256 D, D = 1785 or 1530.
template <int D>
inline int Quotient(int x)
{
    constexpr float inverse = 1.0f / D;
    constexpr float bias = 0.25f / D;
    return static_cast<int>(static_cast<float>(x) * inverse + bias);
}

// out[j] = rule(l[j], m[j], r[j]) for the bytes of `count` pixels.
template <class Rule>
inline void Bytes(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int count, Rule rule)
{
    for (int j = 0; j < 4 * count; ++j)
        out[j] = static_cast<uint8_t>(rule(l[j], m[j], r[j]));
}

} // namespace KXThreeTapSpans

// KXSimpleSharpenKernel1D whose Span does the inner pixels of a line byte by
// byte.
class KXFastSharpenKernel1D : public KXSimpleSharpenKernel1D {
public:
    using KXSimpleSharpenKernel1D::KXSimpleSharpenKernel1D;

    // Destination pixels first … end - 1.
    void Span(int first, int end) const
    {
        const int n = m_strength;
        if (n <= 0 || n > KXThreeTapSpans::kMaxFastSharpen) {
            KXSimpleSharpenKernel1D::Span(first, end);
            return;
        }
        // Pixels whose neighbours lie inside the source line.
        const int innerFirst = std::max(first, static_cast<int>(1 - m_offset));
        const int innerEnd = std::min(end, static_cast<int>(m_last - m_offset));
        if (innerFirst >= innerEnd) {
            KXSimpleSharpenKernel1D::Span(first, end);
            return;
        }
        KXSimpleSharpenKernel1D::Span(first, innerFirst);
        const uint8_t* m = reinterpret_cast<const uint8_t*>(&At(Position(innerFirst)));
        const int centre = 2 * n + 1785;
        KXThreeTapSpans::Bytes(m - 4, m, m + 4, reinterpret_cast<uint8_t*>(&Out(innerFirst)), innerEnd - innerFirst,
                               [n, centre](int l, int c, int r) {
                                   const int s = 765 - n * (l + r) + centre * c;
                                   const int clamped = s < 0 ? 0 : s > 256 * 1785 - 1 ? 256 * 1785 - 1 : s;
                                   return KXThreeTapSpans::Quotient<1785>(clamped);
                               });
        KXSimpleSharpenKernel1D::Span(innerEnd, end);
    }
};

// KXSimpleBoxKernel1D whose Span does the opaque runs inside a line byte by
// byte.
class KXFastBoxKernel1D : public KXSimpleBoxKernel1D {
public:
    using KXSimpleBoxKernel1D::KXSimpleBoxKernel1D;

    // Destination pixels first … end - 1.
    void Span(int first, int end) const
    {
        const int n = m_strength;
        if (n <= 0 || n > 382) {
            KXSimpleBoxKernel1D::Span(first, end);
            return;
        }
        const int centre = 765 - 2 * n;
        const auto rule = [n, centre](int l, int c, int r) {
            return KXThreeTapSpans::Quotient<1530>(2 * (n * (l + r) + centre * c) + 765);
        };
        const int innerFirst = std::max(first, static_cast<int>(1 - m_offset));
        const int innerEnd = std::min(end, static_cast<int>(m_last - m_offset));
        KXSimpleBoxKernel1D::Span(first, std::min(innerFirst, end));
        // Runs of pixels whose three taps are opaque.
        for (int i = innerFirst; i < innerEnd;) {
            if (!Opaque(i)) {
                (*this)(i++);
                continue;
            }
            int j = i + 1;
            while (j < innerEnd && Opaque(j))
                ++j;
            const uint8_t* m = reinterpret_cast<const uint8_t*>(&At(Position(i)));
            KXThreeTapSpans::Bytes(m - 4, m, m + 4, reinterpret_cast<uint8_t*>(&Out(i)), j - i, rule);
            i = j;
        }
        KXSimpleBoxKernel1D::Span(std::max(innerEnd, innerFirst), end);
    }

private:
    bool Opaque(int i) const
    {
        const int64_t p = Position(i);
        return (At(p - 1).a & At(p).a & At(p + 1).a) == 255;
    }
};

#endif // KXTHREETAPSPANS_H
