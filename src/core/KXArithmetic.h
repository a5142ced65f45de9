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

// The integer luma (11 R + 16 G + 5 B) >> 5, a byte for byte inputs.
constexpr uint32_t Luma(uint32_t r, uint32_t g, uint32_t b)
{
    return (11u * r + 16u * g + 5u * b) >> 5;
}

static_assert(ClampByte(-1) == 0 && ClampByte(256) == 255 && ClampByte(7) == 7, "byte clamp");
static_assert(Mix(10, 200, 0) == 10 && Mix(10, 200, 255) == 200 && Mix(0, 255, 128) == 128, "byte mixer");
static_assert(Mix<100>(0, 99, 50) == 49 && Mix(-255, 0, 1) == -254, "mixer truncates toward zero");
static_assert(Luma(255, 255, 255) == 255 && Luma(255, 0, 0) == 87 && Luma(0, 0, 255) == 39, "luma");

} // namespace KXArithmetic

#endif // KXARITHMETIC_H
