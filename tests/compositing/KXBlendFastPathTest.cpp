// The fast paths of the blend kernels give the plain paths' bits.

#pragma GCC diagnostic ignored "-Wpsabi" // the wide vectors never cross a call: the row functions are flattened

#include "compositing/KXBlendKernels.h"
#include "compositing/KXBlendLuminosity.h"
#include "compositing/KXBlendNormal.h"
#include "compositing/KXBlendSeparable.h"
#include "KXIsaLevels.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace KXBlendKernels;

// The reciprocal division by 255 * A is monotone in the numerator n, so it
// equals the truncating division for every n once it does on both sides of
// each step: n = k * divisor - 1 and n = k * divisor.
TEST(KXBlendFastPath, DivisionBy255AIsExactAtEveryStep)
{
    for (uint32_t a = 1; a < 256; ++a) {
        const uint32_t divisor = 255 * a;
        for (uint32_t k = 1; k * divisor < (1u << 26); ++k) {
            ASSERT_EQ(DivideBy255A(k * divisor - 1, a), k - 1) << k << " * 255 * " << a;
            ASSERT_EQ(DivideBy255A(k * divisor, a), k) << k << " * 255 * " << a;
        }
        ASSERT_EQ(DivideBy255A((1u << 26) - 1, a), ((1u << 26) - 1) / divisor);
    }
}

namespace {

struct Buffers {
    std::vector<Pixel> s, d, m;
};

uint32_t Colour(std::mt19937& random)
{
    const uint32_t edges[] = {0x000000, 0xFFFFFF, 0xFF00FF, 0x00FF01, 0x808080, 0x7F807F};
    return (random() & 3) == 0 ? edges[random() % 6] : random() & 0xFFFFFF;
}

uint32_t Alpha(std::mt19937& random)
{
    const uint32_t edges[] = {0, 1, 2, 127, 128, 129, 254, 255};
    return (random() & 1) ? edges[random() % 8] : random() & 255;
}

// Starts one pixel into the buffers so that the blocks are not aligned.
// 1. Blocks of eight pixels sharing one source, destination and mask alpha
//    for every pair of source and destination alphas, so that every
//    uniform path is taken.
// 2. Every pair of source and destination channel values (in blue; green
//    and red take others), opaque, so that each blend term is compared on
//    all its inputs.
// 3. Pixels of mixed alphas.
Buffers MakeBuffers(uint32_t seed)
{
    std::mt19937 random(seed);
    Buffers b;
    const auto push = [&](uint32_t s, uint32_t d, uint32_t m) {
        b.s.push_back(Pixel(s));
        b.d.push_back(Pixel(d));
        b.m.push_back(Pixel(m));
    };
    push(7, 7, 7);
    for (uint32_t sa = 0; sa < 256; ++sa) {
        for (uint32_t da = 0; da < 256; ++da) {
            const uint32_t ma = Alpha(random);
            for (int i = 0; i < 8; ++i)
                push(sa << 24 | Colour(random), da << 24 | Colour(random), ma << 24);
        }
    }
    for (uint32_t sc = 0; sc < 256; ++sc)
        for (uint32_t dc = 0; dc < 256; ++dc)
            push(0xFF000000u | (sc ^ 0x5A) << 16 | (255 - sc) << 8 | sc,
                 0xFF000000u | (255 - dc) << 16 | (dc ^ 0xA5) << 8 | dc, 0xFF000000u);
    for (int i = 0; i < 100000; ++i)
        push(Alpha(random) << 24 | Colour(random), Alpha(random) << 24 | Colour(random), Alpha(random) << 24);
    return b;
}

const Buffers& Input()
{
    static const Buffers input = MakeBuffers(3);
    return input;
}

// Opacities: full (the only one with the opaque-source path), just below,
// half, the least.
const std::vector<uint32_t> kOpacities = {1, 128, 255, 256};

template <class Kernel>
void ExpectSameAsPlain(RowFunction fast, const std::string& name, const std::vector<uint32_t>& opacities)
{
    const Buffers& input = Input();
    const int n = int(input.s.size()) - 1;
    for (uint32_t op : opacities) {
        std::vector<Pixel> plain = input.d, tested = input.d;
        Kernel::Plain(input.s.data() + 1, plain.data() + 1, input.m.data() + 1, n, op);
        fast(input.s.data() + 1, tested.data() + 1, input.m.data() + 1, n, op);
        int wrong = 0;
        for (size_t i = 0; i < plain.size(); ++i) {
            if (plain[i] != tested[i] && wrong++ < 5)
                ADD_FAILURE() << name << " op " << op << " at " << i << std::hex << ": s 0x" << input.s[i].value
                              << " d 0x" << input.d[i].value << " m 0x" << input.m[i].value << " plain 0x"
                              << plain[i].value << " fast 0x" << tested[i].value;
        }
        EXPECT_EQ(wrong, 0) << name << " op " << op;
    }
}

// The row function chosen at the level in use, for one kernel.
template <class Kernel>
void ExpectChosenRowSameAsPlain(const std::string& name, const std::vector<uint32_t>& opacities = kOpacities)
{
    ExpectSameAsPlain<Kernel>(FastestRow<Kernel>(), name, opacities);
}

// The kernel unlocked and locked under each alpha rule; a failure names the
// rule by its position in the list.
template <template <bool, class> class Kernel, class... Rules>
void ExpectRulesSameAsPlain(const std::string& name, const std::vector<uint32_t>& opacities = kOpacities)
{
    int rule = 0;
    ((ExpectChosenRowSameAsPlain<Kernel<false, Rules>>(name + ", rule " + std::to_string(rule), opacities),
      ExpectChosenRowSameAsPlain<Kernel<true, Rules>>(name + ", locked, rule " + std::to_string(rule++), opacities)),
     ...);
}

template <template <bool, class> class Kernel>
void ExpectAllAlphasSameAsPlain(const std::string& name)
{
    ExpectRulesSameAsPlain<Kernel, RowSourceAlpha, RowNestedAlpha, RowProductAlpha>(name);
}

// The blend terms do not depend on the alpha rule or the opacity (the
// normal kernel checks those): unmasked and one masked rule, at full and
// half opacity.
template <template <bool, class> class Kernel>
void ExpectTermSameAsPlain(const std::string& name)
{
    ExpectRulesSameAsPlain<Kernel, RowSourceAlpha, RowProductAlpha>(name, {128, 256});
}

template <class Term>
struct With {
    template <bool Lock, class Alpha>
    using Kernel = SeparableKernel<Term, Lock, Alpha>;
};

// Each term in turn; a failure names it by its position in the list.
template <class... Terms>
void ExpectTermsSameAsPlain()
{
    int position = 0;
    (ExpectTermSameAsPlain<With<Terms>::template Kernel>("term " + std::to_string(position++)), ...);
}

} // namespace

using KXBlendRowsAtLevel = KXIsaLevelTest;

TEST_P(KXBlendRowsAtLevel, NormalRowsEqualThePixelKernel)
{
    ExpectAllAlphasSameAsPlain<NormalKernel>("normal");
}

TEST_P(KXBlendRowsAtLevel, SeparableRowsEqualThePixelKernel)
{
    ExpectTermsSameAsPlain<TermMultiply, TermScreen, TermOverlay, TermDarken, TermLighten, TermColorDodge,
                           TermColorBurn, TermHardLight, TermSoftLight, TermDifference, TermExclusion>();
}

TEST_P(KXBlendRowsAtLevel, LuminosityRowsEqualThePixelKernel)
{
    ExpectChosenRowSameAsPlain<LuminosityKernel>("luminosity");
}

KX_INSTANTIATE_ISA_VECTOR_LEVELS(KXBlendRowsAtLevel);
