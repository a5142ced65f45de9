#include "KXPixel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>


TEST(KXPixel, LayoutAndOperators)
{
    // Bytes in memory: blue, green, red, alpha (QImage::Format_ARGB32).
    const unsigned char bytes[4] = {1, 2, 3, 4};
    KXRGBA32i q;
    std::memcpy(&q, bytes, 4);
    EXPECT_EQ((std::vector<int>{q.b, q.g, q.r, q.a}), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(q == 0x04030201);
    EXPECT_FALSE(!KXRGBA32i(0x00000001u)); // transparent but not black

    EXPECT_EQ(KXRGBA64i().value | KXHSLA().value | KXCMYKA().value, 0u);
    // HSLA: h (16 bits, low byte first), s, l, a.
    const unsigned char raw[8] = {0x34, 0x12, 5, 6, 7};
    KXHSLA hsl;
    std::memcpy(&hsl, raw, 8);
    EXPECT_EQ((std::vector<int>{hsl.h, hsl.s, hsl.l, hsl.a}), (std::vector<int>{0x1234, 5, 6, 7}));
}

TEST(KXPixel, ClampAndTransferCurves)
{
    EXPECT_EQ(Clamp(5, 0, 1), 1);
    EXPECT_EQ(Clamp(-1, 0, 1), 0);
    EXPECT_TRUE(std::isnan(Clamp(std::numeric_limits<float>::quiet_NaN(), 0, 1)));
    EXPECT_EQ(Clamp(5, 10, 1), 10); // the lower bound is tested first

    const struct {
        float linear;
        int expected;
    } cases[] = {
        {-0.5f, 0}, {2.0f, 255}, {1.0f, 255}, {0.5f, 188},
        // Linear branch: 0.0031308 * 12.92 * 255 + 0.5 = 10.81 -> 10;
        // 0.002885 * 12.92 * 255 = 9.5049, just past the rounding step.
        {0.0031308f, 10}, {0.002885f, 10}, {0.00288f, 9},
        // 0.18 (mid grey) encodes to 117.65... -> 118 after adding 0.5.
        {0.18f, 118},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeGamma(c.linear), c.expected) << c.linear;

    EXPECT_EQ(VoltageToIntensitySrgb(0.04045f), 0.04045f / 12.92f); // linear branch
    EXPECT_NEAR(VoltageToIntensitySrgb(0.5f), 0.214041f, 1e-6f);
    EXPECT_EQ(VoltageToIntensitySrgb(1.0f), 1.0f);
}

namespace {
// The value of a half's bits, worked out from its fields.
double HalfValue(uint16_t bits)
{
    const int exponent = (bits >> 10) & 31, mantissa = bits & 1023;
    const double magnitude = exponent ? std::ldexp(1024 + mantissa, exponent - 25) : std::ldexp(mantissa, -24);
    return (bits & 0x8000) ? -magnitude : magnitude;
}

// The half nearest to v, ties to the even one, by search over the halves.
uint16_t NearestHalf(float v)
{
    const double a = std::fabs(v);
    const uint16_t sign = v < 0 ? 0x8000 : 0;
    if (a >= 65520.0)
        return sign | 0x7C00;
    uint16_t low = 0, high = 0x7BFF; // the largest half at or below a
    while (low < high) {
        const uint16_t middle = static_cast<uint16_t>((low + high + 1) / 2);
        if (HalfValue(middle) <= a)
            low = middle;
        else
            high = static_cast<uint16_t>(middle - 1);
    }
    const double below = a - HalfValue(low), above = HalfValue(low + 1) - a;
    return static_cast<uint16_t>(sign | (above < below || (above == below && (low & 1)) ? low + 1 : low));
}
} // namespace

TEST(KXPixel, HalfFloatKnownValues)
{
    const struct {
        float value;
        uint16_t half;
    } cases[] = {
        // Exact halves are covered by the round trip of every half below.
        {-0.0f, 0x0000}, {257.0f, 0x5C04},
        {65520.0f, 0x7C00}, // rounds up into infinity
        {1e6f, 0x7C00}, {-1e6f, 0xFC00}, {std::numeric_limits<float>::infinity(), 0x7C00},
        {std::ldexp(1.0f, -24), 0x0001}, // smallest subnormal
        {std::ldexp(1.0f, -25), 0x0001}, // half of it rounds up
        {std::ldexp(1.0f, -26), 0x0000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HalfFromFloat(c.value), c.half) << c.value;
}

TEST(KXPixel, HalfFloatAgreesWithAReferenceOutsideTies)
{
    // Every finite half has its value and survives the round trip through float.
    for (uint32_t bits = 0; bits < 0x10000; ++bits) {
        const uint16_t b = static_cast<uint16_t>(bits);
        if ((bits & 0x7C00) == 0x7C00 || bits == 0x8000)
            continue;
        ASSERT_EQ(HalfToFloat(b), HalfValue(b)) << bits;
        ASSERT_EQ(HalfFromFloat(HalfToFloat(b)), bits) << bits;
    }
    // Random floats: the reference rounds ties to even, the table rounds them
    // up in magnitude; elsewhere both must agree.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> exponent(-30.0f, 17.0f);
    for (int i = 0; i < 200000; ++i) {
        float v = std::exp2(exponent(random)) * ((i & 1) ? -1.0f : 1.0f);
        uint32_t f;
        std::memcpy(&f, &v, 4);
        const uint16_t ours = HalfFromFloat(v);
        const uint16_t reference = NearestHalf(v);
        const bool tie = (f & 0x1FFF) == 0x1000;
        if (!tie && std::fabs(v) >= std::ldexp(1.0f, -14))
            ASSERT_EQ(ours, reference) << v;
        else
            ASSERT_LE(std::abs(int(ours & 0x7FFF) - int(reference & 0x7FFF)), 1) << v;
    }
}
