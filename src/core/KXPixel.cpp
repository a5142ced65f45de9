#include "KXPixel.h"

#include <cmath>
#include <cstring>

float Clamp(float value, float low, float high)
{
    if (low > value)
        return low;
    if (value > high)
        return high;
    return value;
}

unsigned char MakeGamma(float linear)
{
    float x;
    if (0.0f > linear)
        x = 0.0f;
    else if (linear > 1.0f)
        x = 1.0f;
    else if (static_cast<double>(linear) <= 0.0031308)
        x = linear * 12.92f;
    else
        x = powf(linear, 0.41666666f) * 1.055f - 0.055f;
    return static_cast<unsigned char>(x * 255.0f + 0.5f);
}

float VoltageToIntensitySrgb(float v)
{
    if (v <= 0.04045f)
        return v / 12.92f;
    return powf((v + 0.055f) / 1.055f, 2.4f);
}

namespace {

// Sign and biased half exponent, already in place, for every float sign and
// exponent (f >> 23) that maps to a normal half; 0 for the slow path.
struct HalfBaseTable {
    uint16_t base[512];
    HalfBaseTable()
    {
        for (int i = 0; i < 256; ++i) {
            const int e = i - 127;
            uint16_t entry = 0;
            if (e >= -14 && e <= 15)
                entry = static_cast<uint16_t>((e + 15) << 10);
            base[i] = entry;
            base[i + 256] = entry ? static_cast<uint16_t>(entry | 0x8000) : 0;
        }
    }
};

const HalfBaseTable kHalfBase;

inline uint32_t FloatBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

uint16_t HalfFromFloatSlow(uint32_t f)
{
    const uint16_t sign = static_cast<uint16_t>((f >> 16) & 0x8000);
    const int biased = static_cast<int>((f >> 23) & 0xFF);
    const uint32_t mantissa = f & 0x7FFFFF;
    if (biased == 0xFF) {
        if (mantissa == 0)
            return sign | 0x7C00; // infinity
        uint16_t payload = static_cast<uint16_t>(mantissa >> 13);
        if (payload == 0)
            payload = 1; // keep it a NaN
        return sign | 0x7C00 | payload;
    }
    const int e = biased - 127;
    if (e > 15)
        return sign | 0x7C00; // too large: infinity
    if (biased == 0 || e < -25)
        return sign; // below the subnormal range
    // Subnormal half: the mantissa with its implicit bit, shifted into place.
    const uint32_t full = mantissa | 0x800000;
    const int shift = -14 - e;
    return sign | static_cast<uint16_t>(((full >> shift) + 0x1000) >> 13);
}

} // namespace

uint16_t HalfFromFloat(float value)
{
    if (value == 0.0f)
        return 0;
    const uint32_t f = FloatBits(value);
    const uint16_t entry = kHalfBase.base[f >> 23];
    if (entry)
        return static_cast<uint16_t>(entry + (((f & 0x7FFFFF) + 0x1000) >> 13));
    return HalfFromFloatSlow(f);
}

float HalfToFloat(uint16_t half)
{
    const uint32_t sign = static_cast<uint32_t>(half & 0x8000) << 16;
    const uint32_t exponent = (half >> 10) & 0x1F;
    uint32_t mantissa = half & 0x3FF;
    uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {
            // Subnormal: normalise into a float.
            int e = -14;
            while (!(mantissa & 0x400)) {
                mantissa <<= 1;
                --e;
            }
            mantissa &= 0x3FF;
            bits = sign | (static_cast<uint32_t>(e + 127) << 23) | (mantissa << 13);
        }
    } else if (exponent == 0x1F) {
        bits = sign | 0x7F800000 | (mantissa << 13);
    } else {
        bits = sign | ((exponent - 15 + 127) << 23) | (mantissa << 13);
    }
    float result;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}
