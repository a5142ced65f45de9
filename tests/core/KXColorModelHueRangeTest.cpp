#include "core/KXColorModelKernels.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

using namespace KXColorModelKernels;

// Hue words QColor's conversion never makes (360 .. 65534) take the plain
// rule's bits on every width, as do their greys (s = 0).
TEST(ColourModelHueRange, WordsAbove359MatchThePlainRule)
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
    QColorHSLToRGBRow(in.data(), want.data(), in.size(), Width::Plain);
    for (const Width width : {Width::Sse2, Width::Avx2, Width::Avx512}) {
        if (!Supported(width)) {
            std::printf("width %d skipped: this CPU lacks its instruction set\n", static_cast<int>(width));
            continue;
        }
        QColorHSLToRGBRow(in.data(), got.data(), in.size(), width);
        for (size_t i = 0; i < in.size(); ++i)
            ASSERT_EQ(got[i].value, want[i].value) << "width " << int(width) << " h " << in[i].h;
    }
}

} // namespace
