#include "KXIsaLevels.h"
#include "core/KXColorModelKernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using namespace KXColorModelKernels;

// Every saturation and lightness with hue words on both sides of each sixth
// of the circle, 36000, 65535 (grey) and random hues: the integer rows back
// to RGB against the plain rule.
using ColourModelIntegerRows = KXIsaLevelTest;

TEST_P(ColourModelIntegerRows, RGBOfEverySaturationAndLightnessMatchesThePlainRule)
{
    std::vector<uint16_t> hues = {36000, 65535, 36001};
    for (int edge = 0; edge < 36000; edge += 6000)
        hues.insert(hues.end(), {uint16_t(edge), uint16_t(edge + 1), uint16_t(edge + 5999)});
    std::mt19937 random(5);
    while (hues.size() < 64)
        hues.push_back(uint16_t(random() % 36000));
    std::vector<KXHSLA> in(hues.size() << 16);
    for (size_t i = 0; i < in.size(); ++i)
        in[i].value = hues[i >> 16] | uint64_t(i & 0xFFFF) << 16 | uint64_t(i * 13 & 255) << 32;
    std::vector<KXRGBA32i> plain(in.size()), fast(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        plain[i] = HSLToRGB(in[i]);
    HSLToRGBRow(in.data(), fast.data(), in.size(), KXIsa::Current());
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(fast[i].value, plain[i].value) << std::hex << in[i].value;
}

KX_INSTANTIATE_ISA_VECTOR_LEVELS(ColourModelIntegerRows);

} // namespace
