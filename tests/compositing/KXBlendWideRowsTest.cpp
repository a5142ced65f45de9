// The blend row functions chosen at each level give the plain kernels'
// bits on blocks of 16 pixels sharing their alphas (every block kind).

#pragma GCC diagnostic ignored "-Wpsabi" // the wide vectors never cross a call: the row functions are flattened

#include "compositing/KXBlendLuminosity.h"
#include "compositing/KXBlendNormal.h"
#include "compositing/KXBlendSeparable.h"
#include "KXIsaLevels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace KXBlendKernels;

namespace {

// Blocks of 16 pixels sharing one source, destination and mask alpha, for
// every pair of source and destination alphas (every block kind is taken),
// then pixels of mixed alphas; random colours, one pixel off the start.
template <class Kernel>
void ExpectSameAsPlain(uint32_t op, const char* name)
{
    std::mt19937 random(op);
    std::vector<Pixel> s, d, m;
    const auto push = [&](uint32_t sa, uint32_t da, uint32_t ma) {
        s.push_back(Pixel(sa << 24 | (random() & 0xFFFFFF)));
        d.push_back(Pixel(da << 24 | (random() & 0xFFFFFF)));
        m.push_back(Pixel(ma << 24));
    };
    push(1, 2, 3);
    for (uint32_t pair = 0; pair < 65536; ++pair)
        for (uint32_t i = 0, ma = random() % 3 ? 255 : random() & 255; i < 16; ++i)
            push(pair >> 8, pair & 255, ma);
    for (int i = 0; i < 100007; ++i)
        push(random() & 255, random() & 255, random() & 255);
    std::vector<Pixel> plain = d;
    Kernel::Plain(s.data() + 1, plain.data() + 1, m.data() + 1, int(s.size()) - 1, op);
    FastestRow<Kernel>()(s.data() + 1, d.data() + 1, m.data() + 1, int(s.size()) - 1, op);
    size_t wrong = 0;
    while (wrong < d.size() && d[wrong] == plain[wrong])
        ++wrong;
    ASSERT_EQ(wrong, d.size()) << name << " op " << op << std::hex << ": s 0x" << s[wrong].value << " m 0x" << m[wrong].value
                               << " plain 0x" << plain[wrong].value << " fast 0x" << d[wrong].value;
}

} // namespace

using KXBlendBlocksAtLevel = KXIsaLevelTest;

TEST_P(KXBlendBlocksAtLevel, EqualThePlainKernels)
{
    for (uint32_t op : {1u, 128u, 255u, 256u}) {
        ExpectSameAsPlain<NormalKernel<false, RowSourceAlpha>>(op, "normal");
        ExpectSameAsPlain<NormalKernel<true, RowSourceAlpha>>(op, "normal, locked");
        ExpectSameAsPlain<NormalKernel<false, RowNestedAlpha>>(op, "normal, nested mask");
        ExpectSameAsPlain<NormalKernel<true, RowProductAlpha>>(op, "normal, locked, product mask");
        ExpectSameAsPlain<SeparableKernel<TermScreen, false, RowProductAlpha>>(op, "screen");
        ExpectSameAsPlain<SeparableKernel<TermSoftLight, true, RowSourceAlpha>>(op, "soft light, locked");
        ExpectSameAsPlain<LuminosityKernel>(op, "luminosity");
    }
}

KX_INSTANTIATE_ISA_VECTOR_LEVELS(KXBlendBlocksAtLevel);
