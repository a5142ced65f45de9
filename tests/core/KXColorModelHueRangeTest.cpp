#include "KXIsaLevels.h"
#include "core/KXColorModelKernels.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace KXColorModelKernels;

// Hue words QColor's conversion never makes (360 .. 65534) take the plain
// rule's bits at every level, as do their greys (s = 0).
using ColourModelHueRange = KXIsaLevelTest;

TEST_P(ColourModelHueRange, WordsAbove359MatchThePlainRule)
{
    std::vector<KXHSLA> in;
    for (int h = 355; h < 0xFFFF; ++h)
        for (const int sl : {0x0000, 0x0164, 0xFFC8, 0x4D01, 0x80FE}) {
            KXHSLA p;
            p.h = static_cast<uint16_t>(h);
            p.s = static_cast<uint8_t>(sl >> 8);
            p.l = static_cast<uint8_t>(sl);
            p.a = static_cast<uint8_t>(h);
            in.push_back(p);
        }
    std::vector<KXRGBA32i> want(in.size()), got(in.size());
    QColorHSLToRGBRow(in.data(), want.data(), in.size(), Level::Plain);
    QColorHSLToRGBRow(in.data(), got.data(), in.size(), KXIsa::Current());
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(got[i].value, want[i].value) << "h " << in[i].h;
}

KX_INSTANTIATE_ISA_VECTOR_LEVELS(ColourModelHueRange);

} // namespace
