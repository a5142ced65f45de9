#include "KXIsaLevels.h"
#include "core/KXColorModelKernels.h"

#include <QColor>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace KXColorModelKernels;

// The first index where two rows differ, or -1.
template <class T>
long FirstDifference(const std::vector<T>& a, const std::vector<T>& b)
{
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(T)) != 0)
            return static_cast<long>(i);
    return -1;
}

using ColourModelRows = KXIsaLevelTest;

// Every colour, as a 4096 x 4096 image in one row (alpha varies too).
std::vector<KXRGBA32i> EveryColour()
{
    std::vector<KXRGBA32i> in(size_t(1) << 24);
    for (uint32_t i = 0; i < in.size(); ++i)
        in[i] = KXRGBA32i(i | (i * 2654435761u) << 24);
    return in;
}

TEST_P(ColourModelRows, HSLOfEveryColourMatchesThePlainRule)
{
    const std::vector<KXRGBA32i> in = EveryColour();
    std::vector<KXHSLA> plain(in.size()), fast(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        plain[i] = RGBToHSL(in[i]);
    // An odd length leaves a tail that is not a whole block.
    RGBToHSLRow(in.data(), fast.data(), in.size() - 3, GetParam());
    RGBToHSLRow(in.data() + in.size() - 3, fast.data() + in.size() - 3, 3, GetParam());
    const long at = FirstDifference(plain, fast);
    EXPECT_EQ(at, -1) << std::hex << (at >= 0 ? in[at].value : 0);
}

// Every hue word (0 .. 65535, beyond 36000 too) with 256 pairs of
// saturation and lightness that include 0, 1, 127, 128, 254 and 255, and
// random words.
TEST_P(ColourModelRows, RGBOfHSLMatchesThePlainRule)
{
    static const uint8_t levels[16] = {0, 1, 2, 31, 64, 100, 126, 127, 128, 129, 160, 200, 230, 253, 254, 255};
    std::mt19937_64 random(17);
    std::vector<KXHSLA> in(size_t(1) << 24 | 5);
    for (size_t i = 0; i < in.size(); ++i) {
        if (i < (size_t(1) << 24)) {
            in[i].h = static_cast<uint16_t>(i);
            in[i].s = levels[i >> 16 & 15];
            in[i].l = levels[i >> 20 & 15];
            in[i].a = static_cast<uint8_t>(i * 7);
        } else {
            in[i].value = random() & 0xFFFFFFFFFFull;
        }
    }
    for (size_t i = 0; i < 2000000; ++i) // random words among the rest
        in[random() % in.size()].value = random() & 0xFFFFFFFFFFull;
    std::vector<KXRGBA32i> plain(in.size()), fast(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        plain[i] = HSLToRGB(in[i]);
    HSLToRGBRow(in.data(), fast.data(), in.size(), GetParam());
    const long at = FirstDifference(plain, fast);
    EXPECT_EQ(at, -1) << std::hex << (at >= 0 ? in[at].value : 0);
}

// QColor's own conversions are the reference: every colour to HSL, and
// every hue (and grey) with every saturation and lightness back.
TEST_P(ColourModelRows, QColorHSLMatchesQColorBothWays)
{
    const std::vector<KXRGBA32i> in = EveryColour();
    std::vector<KXHSLA> hsl(in.size());
    QColorRGBToHSLRow(in.data(), hsl.data(), in.size(), GetParam());
    std::vector<KXHSLA> back(size_t(361) << 16);
    for (size_t i = 0; i < in.size(); ++i) {
        int h, s, l;
        QColor(in[i].r, in[i].g, in[i].b).getHsl(&h, &s, &l);
        const KXHSLA plain = QColorRGBToHSL(in[i]);
        ASSERT_TRUE(hsl[i].h == uint16_t(h) && hsl[i].s == s && hsl[i].l == l && hsl[i].a == in[i].a &&
                    plain.value == hsl[i].value) << std::hex << in[i].value;
    }
    for (size_t i = 0; i < back.size(); ++i) {
        back[i].h = uint16_t(int(i >> 16) - 1); // -1 (grey) .. 359
        back[i].s = uint8_t(i >> 8), back[i].l = uint8_t(i), back[i].a = uint8_t(i >> 3);
    }
    std::vector<KXRGBA32i> rgb(back.size());
    QColorHSLToRGBRow(back.data(), rgb.data(), back.size(), GetParam());
    for (size_t i = 0; i < back.size(); ++i) {
        const KXHSLA p = back[i];
        const QRgb want = QColor::fromHsl(p.h == 0xFFFF ? -1 : p.h, p.s, p.l, p.a).rgba();
        ASSERT_TRUE(rgb[i].value == want && QColorHSLToRGB(p).value == want) << std::hex << p.value;
    }
}

// The fused change-and-convert rows against their one-pixel-at-a-time path
// (the two conversions above with the change between them), hue sums on
// both wrap-arounds and clamped saturation and lightness included.
TEST_P(ColourModelRows, ChangedHSLRowsMatchThePlainPath)
{
    const std::vector<KXRGBA32i> in = EveryColour();
    std::vector<KXRGBA32i> hueFrom(in.size()), want(in.size()), got(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        hueFrom[i] = in[(i * 40503u + 7) & 0xFFFFFF];
    const size_t n = in.size() - 3; // a short tail
    for (const QColorHSLShift& shift : {QColorHSLShift{25, false, 51, -12}, QColorHSLShift{359, false, -255, 255},
                                        QColorHSLShift{-1, false, 255, -255}, QColorHSLShift{-1, true, 0, 0},
                                        QColorHSLShift{200, true, 102, 76}}) {
        QColorHSLShiftRow(in.data(), want.data(), n, shift, Level::Plain);
        QColorHSLShiftRow(in.data(), got.data(), n, shift, GetParam());
        ASSERT_EQ(FirstDifference(got, want), -1) << shift.hue << " " << shift.colorize;
    }
    QColorHSLRelightRow(hueFrom.data(), in.data(), want.data(), n, Level::Plain);
    QColorHSLRelightRow(hueFrom.data(), in.data(), got.data(), n, GetParam());
    ASSERT_EQ(FirstDifference(got, want), -1);
}

KX_INSTANTIATE_ISA_VECTOR_LEVELS(ColourModelRows);

TEST(ColourModelRows, CMYKOfEveryColourMatchesThePlainRule)
{
    const std::vector<KXRGBA32i> in = EveryColour();
    std::vector<KXCMYKA> plain(in.size()), fast(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        plain[i] = RGBToCMYK(in[i]);
    RGBToCMYKRow(in.data(), fast.data(), in.size());
    const long at = FirstDifference(plain, fast);
    EXPECT_EQ(at, -1) << std::hex << (at >= 0 ? in[at].value : 0);
}

} // namespace
