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
// Small strengths stay in 16 bits. With d = 2m - l - r (|d| <= 510),
// sharpen is clamp(m + floor((765 + n d) / 1785)), since s = 1785 m + 765 +
// n d; smoothen is m + floor((765 - 2 n d) / 1530), since 2 S + 765 = 1530 m
// + 765 - 2 n d. For n <= 64 (32) the product n d (2 n d) lies within
// ±32640, so w = product + 765 + 18 · 1785 (21 · 1530), which is product +
// 32895, lies in 255 … 65535; floor(w / 1785) = floor(floor(w / 255) / 7)
// and floor(w / 1530) = floor(floor(w / 255) / 6), and the two steps are
// high halves of 16-bit products: floor(w / 255) = (w 0x8081) >> 23 (see
// the box line), and for a <= 257 floor(a / 7) = (a 9363) >> 16 (9363 · 7
// = 2^16 + 5, 5 a < 2^16 / 7) and floor(a / 6) = (a 10923) >> 16 (10923 ·
// 6 = 2^16 + 2).
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

} // namespace KXThreeTapSpans

// One pixel of `Kernel` from its three taps, through the plain kernel (a
// copy of it reading a line of three pixels).
template <class Kernel>
class KXTapPixel {
public:
    explicit KXTapPixel(const Kernel& kernel) : m_kernel(kernel), m_source(3), m_destination(1)
    {
        m_kernel.SetSource(&m_source);
        m_kernel.SetDestination(&m_destination);
        m_kernel.SetSourceOffset(1);
    }
    KXTapPixel(const KXTapPixel&) = delete;
    KXTapPixel& operator=(const KXTapPixel&) = delete;
    KXRGBA32i operator()(KXRGBA32i l, KXRGBA32i m, KXRGBA32i r)
    {
        m_source[0] = l;
        m_source[1] = m;
        m_source[2] = r;
        m_kernel(0);
        return m_destination[0];
    }

private:
    Kernel m_kernel;
    KXPixelLine m_source;
    KXPixelLine m_destination;
};

namespace KXThreeTapSpans {

inline const uint8_t* BytesOf(const KXRGBA32i* p)
{
    return reinterpret_cast<const uint8_t*>(p);
}

inline uint8_t* BytesOf(KXRGBA32i* p)
{
    return reinterpret_cast<uint8_t*>(p);
}

// The sharpen byte for strength 0 < n <= kMaxFastSharpen.
struct SharpenRule {
    static constexpr bool kChecksAlpha = false;
    int n, centre;
    explicit SharpenRule(int strength) : n(strength), centre(2 * strength + 1785) {}
    int operator()(int l, int c, int r) const
    {
        const int s = 765 - n * (l + r) + centre * c;
        const int clamped = s < 0 ? 0 : s > 256 * 1785 - 1 ? 256 * 1785 - 1 : s;
        return Quotient<1785>(clamped);
    }
};

// The smoothen byte of three opaque taps for strength 0 < n <= 382.
struct SmoothenRule {
    static constexpr bool kChecksAlpha = true;
    int n, centre;
    explicit SmoothenRule(int strength) : n(strength), centre(765 - 2 * strength) {}
    int operator()(int l, int c, int r) const { return Quotient<1530>(2 * (n * (l + r) + centre * c) + 765); }
};

// The high half of a 16-bit product.
inline uint16_t High(uint16_t a, uint16_t b)
{
    return static_cast<uint16_t>((uint32_t(a) * b) >> 16);
}

// floor(((765 + product) + 32895 - 765) / 255 / divisor), product as above.
template <uint16_t Reciprocal>
inline uint16_t Steps(int16_t product)
{
    const uint16_t w = static_cast<uint16_t>(static_cast<uint16_t>(product) + 32895u);
    return High(static_cast<uint16_t>(High(w, 0x8081) >> 7), Reciprocal);
}

// SharpenRule for 0 < n <= 64 in 16 bits.
struct SharpenRule16 {
    static constexpr bool kChecksAlpha = false;
    int16_t n;
    explicit SharpenRule16(int strength) : n(static_cast<int16_t>(strength)) {}
    int operator()(int l, int c, int r) const
    {
        const int16_t d = static_cast<int16_t>(2 * c - l - r);
        const int16_t v = static_cast<int16_t>(c + Steps<9363>(static_cast<int16_t>(n * d)) - 18);
        return v < 0 ? 0 : v > 255 ? 255 : v;
    }
};

// SmoothenRule for 0 < n <= 32 in 16 bits.
struct SmoothenRule16 {
    static constexpr bool kChecksAlpha = true;
    int16_t twice;
    explicit SmoothenRule16(int strength) : twice(static_cast<int16_t>(2 * strength)) {}
    int operator()(int l, int c, int r) const
    {
        const int16_t e = static_cast<int16_t>(l + r - 2 * c);
        return static_cast<int16_t>(c + Steps<10923>(static_cast<int16_t>(twice * e)) - 21);
    }
};

constexpr int kMaxSharpen16 = 64;
constexpr int kMaxSmoothen16 = 32;

// Bytes with SharpenRule(n) (SmoothenRule(n)) at the instruction-set level
// in use (KXIsa): the same bytes at every level.
void SharpenBytes(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int count, int n);
void SmoothenBytes(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int count, int n);

// The byte loop SharpenBytes (SmoothenBytes) takes for strength n at the
// width in use, for callers that run it many times (called with the same n).
// Smoothen's loops return the AND of the pixel values of all three taps
// (its rule holds only where the alpha byte of that is 255), sharpen's all
// ones.
using BytesFunction = uint32_t (*)(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int count,
                                   int n);
BytesFunction SharpenBytesFor(int n);
BytesFunction SmoothenBytesFor(int n);

// The same bytes for the taps of a row: out[j] from m[j - 1], m[j], m[j + 1]
// (j = 0 … count - 1, count > 0), with the pixel `before` as m[-1] and
// `after` as m[count], so that a row segment is filtered where it lies, its
// neighbours beyond it given apart; nothing beyond m's count pixels is
// read. Returns what the byte loop returns. Only where the AVX-512 lanes of
// the 16-bit rules are in use; elsewhere the ...RowFor give none.
using RowFunction = uint32_t (*)(const uint8_t* m, uint32_t before, uint32_t after, uint8_t* out, int count,
                                 int n);
RowFunction SharpenRowFor(int n);
RowFunction SmoothenRowFor(int n);

} // namespace KXThreeTapSpans

// KXSimpleSharpenKernel1D whose Span does the inner pixels of a line byte by
// byte. Triples does the same for taps held in three arrays (out[j] from
// l[j], m[j], r[j]; out apart from all three), the form the tile pass uses.
class KXFastSharpenKernel1D : public KXSimpleSharpenKernel1D {
public:
    using KXSimpleSharpenKernel1D::KXSimpleSharpenKernel1D;
    static constexpr bool kTapTriples = true;

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
        KXThreeTapSpans::SharpenBytes(m - 4, m, m + 4, reinterpret_cast<uint8_t*>(&Out(innerFirst)),
                                      innerEnd - innerFirst, n);
        KXSimpleSharpenKernel1D::Span(innerEnd, end);
    }

    // The byte loop of Triples, chosen once for many calls.
    KXThreeTapSpans::BytesFunction TripleBytes() const
    {
        const int n = m_strength;
        return n > 0 && n <= KXThreeTapSpans::kMaxFastSharpen ? KXThreeTapSpans::SharpenBytesFor(n) : nullptr;
    }

    // out[0 … count - 1] from the taps l, m, r; `plain` a KXTapPixel,
    // `bytes` what TripleBytes() gave.
    template <class Plain>
    void Triples(const KXRGBA32i* l, const KXRGBA32i* m, const KXRGBA32i* r, KXRGBA32i* out, int count,
                 Plain& plain, KXThreeTapSpans::BytesFunction bytes) const
    {
        using namespace KXThreeTapSpans;
        const int n = m_strength;
        if (n == 0) {
            std::copy(m, m + count, out);
        } else if (n < 0 || n > kMaxFastSharpen) {
            for (int j = 0; j < count; ++j)
                out[j] = plain(l[j], m[j], r[j]);
        } else {
            bytes(BytesOf(l), BytesOf(m), BytesOf(r), BytesOf(out), count, n);
        }
    }

    // The row form of Triples' byte loop, if there is one (chosen once for
    // many calls).
    KXThreeTapSpans::RowFunction RowBytes() const
    {
        const int n = m_strength;
        return n > 0 && n <= KXThreeTapSpans::kMaxFastSharpen ? KXThreeTapSpans::SharpenRowFor(n) : nullptr;
    }

    // out[0 … count - 1] from the row m with `before` and `after` beside it
    // (see RowFunction), by `row`, what RowBytes() gave: always done.
    bool Row(const KXRGBA32i* m, KXRGBA32i before, KXRGBA32i after, KXRGBA32i* out, int count,
             KXThreeTapSpans::RowFunction row) const
    {
        using namespace KXThreeTapSpans;
        row(BytesOf(m), before.value, after.value, BytesOf(out), count, m_strength);
        return true;
    }
};

// KXSimpleBoxKernel1D whose Span does the opaque runs inside a line byte by
// byte; Triples as for sharpen.
class KXFastBoxKernel1D : public KXSimpleBoxKernel1D {
public:
    using KXSimpleBoxKernel1D::KXSimpleBoxKernel1D;
    static constexpr bool kTapTriples = true;

    // Destination pixels first … end - 1.
    void Span(int first, int end) const
    {
        const int n = m_strength;
        if (n <= 0 || n > 382) {
            KXSimpleBoxKernel1D::Span(first, end);
            return;
        }
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
            KXThreeTapSpans::SmoothenBytes(m - 4, m, m + 4, reinterpret_cast<uint8_t*>(&Out(i)), j - i, n);
            i = j;
        }
        KXSimpleBoxKernel1D::Span(std::max(innerEnd, innerFirst), end);
    }

    // The byte loop of Triples, chosen once for many calls.
    KXThreeTapSpans::BytesFunction TripleBytes() const
    {
        const int n = m_strength;
        return n > 0 && n <= 382 ? KXThreeTapSpans::SmoothenBytesFor(n) : nullptr;
    }

    // out[0 … count - 1] from the taps l, m, r; `plain` a KXTapPixel,
    // `bytes` what TripleBytes() gave. All pixels by the opaque rule first,
    // then those with a tap that is not opaque again through the plain
    // kernel (checked for the whole span by `bytes`, then sixteen at a
    // time).
    template <class Plain>
    void Triples(const KXRGBA32i* l, const KXRGBA32i* m, const KXRGBA32i* r, KXRGBA32i* out, int count,
                 Plain& plain, KXThreeTapSpans::BytesFunction bytes) const
    {
        using namespace KXThreeTapSpans;
        const int n = m_strength;
        if (n == 0) {
            std::copy(m, m + count, out);
            return;
        }
        if (n < 0 || n > 382) {
            for (int j = 0; j < count; ++j)
                out[j] = plain(l[j], m[j], r[j]);
            return;
        }
        const uint32_t every = bytes(BytesOf(l), BytesOf(m), BytesOf(r), BytesOf(out), count, n);
        if ((every >> 24) == 255)
            return;
        for (int at = 0; at < count; at += 16) {
            const int end = std::min(count, at + 16);
            uint32_t all = 0xFFFFFFFFu;
            for (int j = at; j < end; ++j)
                all &= l[j].value & m[j].value & r[j].value;
            if ((all >> 24) == 255)
                continue;
            for (int j = at; j < end; ++j)
                if ((l[j].a & m[j].a & r[j].a) != 255)
                    out[j] = plain(l[j], m[j], r[j]);
        }
    }

    // The row form of Triples' byte loop, if there is one (chosen once for
    // many calls).
    KXThreeTapSpans::RowFunction RowBytes() const
    {
        const int n = m_strength;
        return n > 0 && n <= 382 ? KXThreeTapSpans::SmoothenRowFor(n) : nullptr;
    }

    // out[0 … count - 1] from the row m with `before` and `after` beside it
    // (see RowFunction), by `row`, what RowBytes() gave: done when every tap
    // is opaque; otherwise out is to be done again by Triples.
    bool Row(const KXRGBA32i* m, KXRGBA32i before, KXRGBA32i after, KXRGBA32i* out, int count,
             KXThreeTapSpans::RowFunction row) const
    {
        using namespace KXThreeTapSpans;
        return (row(BytesOf(m), before.value, after.value, BytesOf(out), count, m_strength) >> 24) == 255;
    }

private:
    bool Opaque(int i) const
    {
        const int64_t p = Position(i);
        return (At(p - 1).a & At(p).a & At(p + 1).a) == 255;
    }
};

#endif // KXTHREETAPSPANS_H
