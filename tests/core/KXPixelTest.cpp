#include "KXPixel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#if !defined(__FLT16_MAX__)
#include <cpuid.h>
#include <immintrin.h>
#endif

TEST(KXPixel, RGBA32LayoutAndOperators)
{
    KXRGBA32i p(0x80FF0000u);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(p.a, 128);
    EXPECT_FALSE(!p);
    EXPECT_TRUE(!KXRGBA32i());
    EXPECT_FALSE(!KXRGBA32i(0x00000001u)); // transparent but not black
    // Bytes in memory: blue, green, red, alpha (QImage::Format_ARGB32).
    const unsigned char bytes[4] = {1, 2, 3, 4};
    KXRGBA32i q;
    std::memcpy(&q, bytes, 4);
    EXPECT_EQ(q.value, 0x04030201u);
    EXPECT_EQ(q.b, 1);
    EXPECT_EQ(q.a, 4);
    EXPECT_TRUE(q == 0x04030201);
    EXPECT_TRUE(q != KXRGBA32i(0x04030200u));
    q &= 0x00FFFFFF;
    EXPECT_EQ(static_cast<unsigned int>(q), 0x00030201u);
    (q |= static_cast<int>(0xFF000000u)) |= 0x10;
    EXPECT_EQ(q.value, 0xFF030211u);

    EXPECT_EQ(KXRGBA64i().value, 0u);
    EXPECT_EQ(KXHSLA().value, 0u);
    EXPECT_EQ(KXCMYKA().value, 0u);
    KXHSLA hsl;
    hsl.h = 0x1234;
    hsl.s = 5;
    hsl.l = 6;
    hsl.a = 7;
    unsigned char raw[8];
    std::memcpy(raw, &hsl, 8);
    EXPECT_EQ(raw[0], 0x34);
    EXPECT_EQ(raw[1], 0x12);
    EXPECT_EQ(raw[2], 5);
    EXPECT_EQ(raw[3], 6);
    EXPECT_EQ(raw[4], 7);
}

TEST(KXPixel, ClampAndTransferCurves)
{
    EXPECT_EQ(Clamp(5, 0, 1), 1);
    EXPECT_EQ(Clamp(-1, 0, 1), 0);
    EXPECT_EQ(Clamp(0.25f, 0, 1), 0.25f);
    EXPECT_TRUE(std::isnan(Clamp(std::numeric_limits<float>::quiet_NaN(), 0, 1)));
    // The lower bound is tested first.
    EXPECT_EQ(Clamp(5, 10, 1), 10);

    struct Case {
        float linear;
        int expected;
    } cases[] = {
        {-0.5f, 0}, {2.0f, 255}, {0.0f, 0}, {1.0f, 255}, {0.5f, 188},
        // Linear branch: 0.0031308 * 12.92 * 255 + 0.5 = 10.81 -> 10;
        // 0.002885 * 12.92 * 255 = 9.5049, just past the rounding step.
        {0.0031308f, 10}, {0.002885f, 10}, {0.00288f, 9},
        // 0.18 (mid grey) encodes to 117.65... -> 118 after adding 0.5.
        {0.18f, 118},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeGamma(c.linear), c.expected) << c.linear;

    EXPECT_NEAR(VoltageToIntensitySrgb(0.04045f), 0.0031308f, 1e-7f);
    EXPECT_EQ(VoltageToIntensitySrgb(0.04045f), 0.04045f / 12.92f); // linear branch
    EXPECT_NEAR(VoltageToIntensitySrgb(0.5f), 0.214041f, 1e-6f);
    EXPECT_EQ(VoltageToIntensitySrgb(1.0f), 1.0f);
}

namespace {
// The reference conversions, rounding to nearest even: the compiler's
// _Float16 where it has one, else the processor's F16C instructions.
#if defined(__FLT16_MAX__)
bool HaveReference()
{
    return true;
}
uint16_t ReferenceHalf(float v)
{
    const _Float16 h = static_cast<_Float16>(v);
    uint16_t b;
    std::memcpy(&b, &h, 2);
    return b;
}
float ReferenceFloat(uint16_t b)
{
    _Float16 h;
    std::memcpy(&h, &b, 2);
    return static_cast<float>(h);
}
#else
bool HaveReference()
{
    unsigned int eax, ebx, ecx, edx;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_F16C);
}
__attribute__((target("f16c"))) uint16_t ReferenceHalf(float v)
{
    return static_cast<uint16_t>(_cvtss_sh(v, _MM_FROUND_TO_NEAREST_INT));
}
__attribute__((target("f16c"))) float ReferenceFloat(uint16_t b)
{
    return _cvtsh_ss(b);
}
#endif
} // namespace

TEST(KXPixel, HalfFloatKnownValues)
{
    struct Case {
        float value;
        uint16_t half;
    } cases[] = {
        {0.0f, 0x0000},
        {-0.0f, 0x0000},
        {1.0f, 0x3C00},
        {-2.0f, 0xC000},
        {257.0f, 0x5C04},
        {65504.0f, 0x7BFF},   // largest half
        {65520.0f, 0x7C00},   // rounds up into infinity
        {1e6f, 0x7C00},
        {-1e6f, 0xFC00},
        {std::ldexp(1.0f, -24), 0x0001},  // smallest subnormal
        {std::ldexp(1.0f, -25), 0x0001},  // half of it rounds up
        {std::ldexp(1.0f, -26), 0x0000},
        {std::ldexp(1.0f, -14), 0x0400},  // smallest normal
        {std::numeric_limits<float>::infinity(), 0x7C00},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HalfFromFloat(c.value), c.half) << c.value;

    // A NaN stays a NaN even when its payload lies below the half mantissa.
    uint32_t nanBits = 0x7F800001;
    float nan;
    std::memcpy(&nan, &nanBits, 4);
    const uint16_t h = HalfFromFloat(nan);
    EXPECT_EQ(h & 0x7C00, 0x7C00);
    EXPECT_NE(h & 0x03FF, 0);
    EXPECT_TRUE(std::isnan(HalfToFloat(h)));
}

TEST(KXPixel, HalfFloatAgreesWithCompilerOutsideTies)
{
    if (!HaveReference())
        GTEST_SKIP() << "no binary16 reference: neither _Float16 nor F16C";
    // Every finite half survives the round trip through float.
    for (uint32_t bits = 0; bits < 0x10000; ++bits) {
        if ((bits & 0x7C00) == 0x7C00 || bits == 0x8000)
            continue;
        ASSERT_EQ(HalfFromFloat(HalfToFloat(static_cast<uint16_t>(bits))), bits) << bits;
        const uint16_t b = static_cast<uint16_t>(bits);
        ASSERT_EQ(HalfToFloat(b), ReferenceFloat(b)) << bits;
    }
    // Random floats: the compiler rounds ties to even, the table rounds them
    // up in magnitude; elsewhere both must agree.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> exponent(-30.0f, 17.0f);
    for (int i = 0; i < 200000; ++i) {
        float v = std::exp2(exponent(random)) * ((i & 1) ? -1.0f : 1.0f);
        uint32_t f;
        std::memcpy(&f, &v, 4);
        const uint16_t ours = HalfFromFloat(v);
        const uint16_t reference = ReferenceHalf(v);
        const bool tie = (f & 0x1FFF) == 0x1000;
        if (!tie && std::fabs(v) >= std::ldexp(1.0f, -14))
            ASSERT_EQ(ours, reference) << v;
        else
            ASSERT_LE(std::abs(int(ours & 0x7FFF) - int(reference & 0x7FFF)), 1) << v;
    }
}
