#ifndef KXGAUSSIANSPANVECTORS_H
#define KXGAUSSIANSPANVECTORS_H

// What the Gaussian spans (KXGaussianSpans.cpp) build their blocks from:
// the span's arguments, the division by 255, and the helpers of eight
// doubles a vector that fill the planes and finish the pixels. Inlined into
// each instruction set's span. Private to the library.

#include "KXFilterKernels.h"
#include "KXGaussianSpans.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace KXGaussianSpanParts {

using KXGaussianSpans::GaussMode;

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

struct SpanArgs {
    const KXRGBA32i* source;
    int last;
    int64_t offset;
    const double* weights;
    int radius;
    KXRGBA32i* destination;
    int first;
    int end;
    double* sums = nullptr; // if set, the four sums of each pixel (b, g, r, a) too
};

// The vector helpers are always inlined into the span of each width, so
// the calling convention of 64-byte vectors never matters.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

typedef double D8 __attribute__((vector_size(64)));
typedef int I8 __attribute__((vector_size(32)));
typedef unsigned U8 __attribute__((vector_size(32)));

inline __attribute__((always_inline)) D8 Load8(const double* p)
{
    D8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// x in every lane (x - 0.0 is x, so this is a broadcast).
inline __attribute__((always_inline)) D8 Broadcast(double x)
{
    return x - D8{};
}

// (x + 0.5) truncated and clamped to 0 … 255, eight at a time.
inline __attribute__((always_inline)) I8 RoundedBytes(D8 x)
{
    const D8 zero = {};
    const D8 top = Broadcast(255.0);
    D8 y = x + 0.5;
    y = y <= zero ? zero : y;
    y = y >= top ? top : y;
    return __builtin_convertvector(y, I8);
}

// Eight alpha-weighted pixels from their sums, as Finish<Premul>.
//
// The colour's quotient x = (C 255) / alpha (C 255 at most 255 * 255) only
// matters through (x + 0.5) truncated, so it is first taken as
// (C 255) * RN(1 / alpha): two roundings of relative error 2^-53 each put
// it within 2^-35 of x, and (x + 0.5) and its estimate truncate alike
// unless an integer lies between them. When any lane's estimate plus 0.5
// lies within 2^-20 of an integer, the eight are divided instead.
inline __attribute__((always_inline)) U8 FinishPremul8(D8 b, D8 g, D8 r, D8 a)
{
    const I8 alpha = RoundedBytes(a);
    const D8 divisor = __builtin_convertvector(alpha, D8);
    const D8 safe = divisor == D8{} ? Broadcast(1.0) : divisor;
    const D8 reciprocal = 1.0 / safe;
    const D8 nb = b * 255.0, ng = g * 255.0, nr = r * 255.0;
    const auto nearInteger = [](D8 x) {
        const D8 y = x + 0.5;
        const D8 fraction = y - __builtin_convertvector(__builtin_convertvector(y, I8), D8);
        return fraction < 0x1p-20 || fraction > 1.0 - 0x1p-20;
    };
    D8 qb = nb * reciprocal, qg = ng * reciprocal, qr = nr * reciprocal;
    const auto close = nearInteger(qb) | nearInteger(qg) | nearInteger(qr);
    const auto four = __builtin_shufflevector(close, close, 0, 1, 2, 3) | __builtin_shufflevector(close, close, 4, 5, 6, 7);
    const auto two = __builtin_shufflevector(four, four, 0, 1) | __builtin_shufflevector(four, four, 2, 3);
    if ((two[0] | two[1]) != 0) {
        qb = nb / safe;
        qg = ng / safe;
        qr = nr / safe;
    }
    const U8 pixel = U8(RoundedBytes(qb)) | U8(RoundedBytes(qg)) << 8 | U8(RoundedBytes(qr)) << 16 | U8(alpha) << 24;
    return alpha == I8{} ? U8{} : pixel;
}

// Source pixels base … base + count - 1 (clamped into 0 … last) into the
// planes of channels from … to - 1 (b, g, r, a).
inline __attribute__((always_inline)) void FillPlanes(const KXRGBA32i* source, int last, int64_t base, int count,
                                                      int from, int to, double* const* plane)
{
    int q = 0;
    const auto one = [&](int at) {
        const int64_t i = base + at;
        const KXRGBA32i& p = source[i < 0 ? 0 : i > last ? last : i];
        const uint8_t channel[4] = {p.b, p.g, p.r, p.a};
        for (int c = from; c < to; ++c)
            plane[c][at] = channel[c];
    };
    for (; q < count && base + q < 0; ++q)
        one(q);
    const int inside = static_cast<int>(std::min<int64_t>(count, int64_t(last) + 1 - base));
    for (; q + 8 <= inside; q += 8) {
        U8 pixels;
        std::memcpy(&pixels, source + base + q, sizeof pixels);
        for (int c = from; c < to; ++c) {
            const D8 v = __builtin_convertvector(I8((pixels >> (8 * c)) & 255u), D8);
            std::memcpy(plane[c] + q, &v, sizeof v);
        }
    }
    for (; q < count; ++q)
        one(q);
}


// Pixels into destination[0 … min(8, count) - 1].
inline __attribute__((always_inline)) void Store8(KXRGBA32i* destination, int count, U8 pixels)
{
    if (count >= 8)
        std::memcpy(static_cast<void*>(destination), &pixels, sizeof pixels);
    else
        for (int j = 0; j < count; ++j)
            destination[j].value = pixels[j];
}

// The sums of destinations j … j + min(8, count) - 1 into s.sums, if set.
inline __attribute__((always_inline)) void KeepSums(const SpanArgs& s, int j, int count, const D8* sum)
{
    if (!s.sums)
        return;
    for (int i = 0; i < std::min(8, count); ++i)
        for (int c = 0; c < 4; ++c)
            s.sums[4 * size_t(j - s.first + i) + size_t(c)] = sum[c][i];
}

} // namespace KXGaussianSpanParts

#pragma GCC diagnostic pop

#endif // KXGAUSSIANSPANVECTORS_H
