#ifndef KXARITHMETIC_H
#define KXARITHMETIC_H

// The small exact helpers that pixel code shares: byte clamps, the
// two-value mixer and the integer luma. Private to the library.
//
// All of them are integer arithmetic with truncating divisions, the same
// results as the expressions written out by hand.

#include <cstdint>

namespace KXArithmetic {

// clamp(v, 0, 255).
constexpr int ClampByte(int v)
{
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

// min(v, 255), for unsigned results that can only overflow upwards.
constexpr uint32_t Min255(uint32_t v)
{
    return v > 255 ? 255 : v;
}

// ((Scale - t) * a + t * b) / Scale, truncated toward zero: t = 0 gives a,
// t = Scale gives b. The default scale mixes by a byte weight.
template <int Scale = 255>
constexpr int Mix(int a, int b, int t)
{
    return ((Scale - t) * a + t * b) / Scale;
}

// The integer luma (11 R + 16 G + 5 B) >> 5, a byte for byte inputs. T is
// an unsigned integer or a GCC vector of them (lane by lane, inlined into
// the blend kernels built for wider instruction sets, so GCC's note on
// passing wide vectors does not apply); pass Luma<uint32_t>(...) when the
// arguments differ in type.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
template <class T>
constexpr T Luma(const T& r, const T& g, const T& b)
{
    return (11 * r + 16 * g + 5 * b) >> 5;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// floor(x / 255) as a multiplication and a shift, for every x below
// kDivideBy255Limit (every product of two bytes, and every 16-bit lane a
// vector form feeds it: (x * 0x8081) >> 23 is the high half of the 16-bit
// product, shifted right by 7).
//
// Why: 0x8081 = 32897 = ceil(2^23 / 255), and 32897 * 255 = 2^23 + 127, so
// x * 32897 / 2^23 = x / 255 + 127 x / (255 * 2^23). The added part is
// below 1 / 255 while 127 x < 2^23 (x < 66052), and the fractional part of
// x / 255 is at most 254 / 255, so the floor does not change. (The identity
// holds a little further, up to 66298, as the exhaustive test shows; only
// the argued range is promised.)
constexpr uint32_t kDivideBy255Multiplier = 0x8081;
constexpr uint32_t kDivideBy255Limit = 66052;
template <class T>
constexpr T DivideBy255(const T& x)
{
    return (x * kDivideBy255Multiplier) >> 23;
}

// The luma of a pixel with r, g and b bytes.
template <class Pixel>
constexpr uint32_t LumaOf(const Pixel& p)
{
    return Luma<uint32_t>(p.r, p.g, p.b);
}

static_assert(ClampByte(-1) == 0 && ClampByte(256) == 255 && ClampByte(7) == 7, "byte clamp");
static_assert(Mix(10, 200, 0) == 10 && Mix(10, 200, 255) == 200 && Mix(0, 255, 128) == 128, "byte mixer");
static_assert(Mix<100>(0, 99, 50) == 49 && Mix(-255, 0, 1) == -254, "mixer truncates toward zero");
static_assert(DivideBy255(65025u) == 255 && DivideBy255(254u) == 0 && DivideBy255(255u) == 1 &&
                  DivideBy255(kDivideBy255Limit - 1) == (kDivideBy255Limit - 1) / 255,
              "division by 255");
static_assert(Luma(255u, 255u, 255u) == 255 && Luma(255u, 0u, 0u) == 87 && Luma(0u, 0u, 255u) == 39, "luma");

} // namespace KXArithmetic

#endif // KXARITHMETIC_H
