// The normal blend's blocks at every level against the pixel kernel: blocks
// of one alpha pair (16-bit lanes) on every colour pair, blocks of mixed
// alphas (one reciprocal per pixel) on every alpha pair, and rows of
// tile-border lengths mixing both; and the identities those blocks rest on,
// against true division.

#pragma GCC diagnostic ignored "-Wpsabi" // the wide vectors pass only between inlined helpers

#include "compositing/KXBlendNormal.h"
#include "KXIsaLevels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace KXBlendKernels;

#if defined(KX_BLEND_VECTOR)
TEST(KXBlendNormalArithmetic, AddShiftDivisionBy255)
{
    for (uint32_t x = 0; x <= 65279; ++x)
        ASSERT_EQ(Div255(x), x / 255) << x;
}
#endif

// The 16-bit lanes of the uniform blocks: (r*d) / 255 as the high half of
// d * ceil(65536 r / 255), and m / A from the high half of m * R, raised by
// one where the remainder reaches A, or from the exact multiplier where A
// has one, for every m the blocks can form.
TEST(KXBlendNormalArithmetic, SixteenBitQuotients)
{
    for (uint32_t r = 0; r <= 254; ++r)
        for (uint32_t d = 0; d <= 255; ++d)
            ASSERT_EQ((d * ((65536 * r + 254) / 255)) >> 16, r * d / 255) << r << " " << d;
    for (uint32_t a = 1; a <= 255; ++a) {
        const uint32_t multiplier = kUniformReciprocals.multiplier[a], shift = 16 + kUniformReciprocals.shift[a];
        for (uint32_t m = 0; multiplier != 0 && m <= 65279; ++m)
            ASSERT_EQ((m * multiplier) >> shift, m / a) << m << " / " << a << ", exact multiplier";
        const uint32_t reciprocal = kUniformReciprocals.of[a];
        ASSERT_LE(reciprocal, 65536 / a);
        for (uint32_t m = 0; m <= 65279; ++m) {
            const uint32_t q0 = (m * reciprocal) >> 16;
            ASSERT_EQ(q0 + (m - q0 * a >= a ? 1 : 0), m / a) << m << " / " << a;
        }
    }
}

namespace {

using Kernel = NormalKernel<false, RowSourceAlpha>;
using LockedKernel = NormalKernel<true, RowSourceAlpha>;
using MaskedKernel = NormalKernel<false, RowNestedAlpha>;

struct Rows {
    std::vector<Pixel> s, d, m;
    void Push(uint32_t sv, uint32_t dv, uint32_t mv = 0xFF000000u)
    {
        s.push_back(Pixel(sv));
        d.push_back(Pixel(dv));
        m.push_back(Pixel(mv));
    }
};

// The first pixel is left out, so that no block starts aligned.
template <class K>
void ExpectRowsSameAsPlain(const Rows& rows, uint32_t op, int from, int n, const char* what)
{
    std::vector<Pixel> plain = rows.d, fast = rows.d;
    K::Plain(rows.s.data() + from, plain.data() + from, rows.m.data() + from, n, op);
    FastestRow<K>()(rows.s.data() + from, fast.data() + from, rows.m.data() + from, n, op);
    size_t i = 0;
    while (i < fast.size() && fast[i] == plain[i])
        ++i;
    ASSERT_EQ(i, fast.size()) << what << " op " << op << " length " << n << std::hex << ": s 0x"
                              << rows.s[i].value << " d 0x" << rows.d[i].value << " m 0x" << rows.m[i].value
                              << " plain 0x" << plain[i].value << " fast 0x" << fast[i].value;
}

// Every pair of source and destination colour bytes (three pairs a pixel)
// in pixels of one alpha pair.
Rows AllColourPairs(uint32_t sa, uint32_t da)
{
    Rows rows;
    rows.Push(0, 0);
    uint32_t pair = 0;
    while (pair < 65536) {
        uint32_t sv = sa << 24, dv = da << 24;
        for (int c = 0; c < 3; ++c, pair = (pair + 1) & 0x1FFFF)
            sv |= (pair >> 8 & 255) << (8 * c), dv |= (pair & 255) << (8 * c);
        rows.Push(sv, dv);
    }
    return rows;
}

} // namespace

using KXBlendNormalAtLevel = KXIsaLevelTest;

// Alpha pairs where A is small (quotients above 255), r is large, as or d.a
// is at either end, and the benchmark's half-transparent pair.
TEST_P(KXBlendNormalAtLevel, UniformBlocksOnEveryColourPair)
{
    const uint32_t edges[] = {0, 1, 2, 64, 127, 128, 129, 200, 254, 255};
    for (uint32_t sa : edges) {
        for (uint32_t da : edges) {
            const Rows rows = AllColourPairs(sa, da);
            const int n = int(rows.s.size()) - 1;
            for (uint32_t op : {1u, 200u, 256u}) {
                ExpectRowsSameAsPlain<Kernel>(rows, op, 1, n, "normal");
                ExpectRowsSameAsPlain<LockedKernel>(rows, op, 1, n, "normal, locked");
            }
        }
    }
}

// Every alpha pair once in a block whose neighbours differ from it, so that
// each takes the per-pixel reciprocal; four colour samples each.
TEST_P(KXBlendNormalAtLevel, MixedBlocksOnEveryAlphaPair)
{
    std::mt19937 random(11);
    Rows rows;
    rows.Push(0, 0);
    for (int sample = 0; sample < 4; ++sample)
        for (uint32_t pair = 0; pair < 65536; ++pair)
            rows.Push((pair >> 8) << 24 | (random() & 0xFFFFFF), (pair & 255) << 24 | (random() & 0xFFFFFF),
                      (random() & 255) << 24);
    const int n = int(rows.s.size()) - 1;
    for (uint32_t op : {1u, 128u, 255u, 256u}) {
        ExpectRowsSameAsPlain<Kernel>(rows, op, 1, n, "normal");
        ExpectRowsSameAsPlain<LockedKernel>(rows, op, 1, n, "normal, locked");
        ExpectRowsSameAsPlain<MaskedKernel>(rows, op, 1, n, "normal, masked");
    }
}

// Rows of the lengths met at tile borders, made of runs of one alpha pair
// (uniform blocks, and blocks where two runs meet) in random colours.
TEST_P(KXBlendNormalAtLevel, RowsOfTileBorderLengths)
{
    std::mt19937 random(5);
    const uint32_t alphas[] = {0, 1, 128, 200, 255};
    for (int length : {1, 3, 4, 7, 8, 9, 15, 16, 17, 31, 33, 63, 64, 65, 127, 128, 129}) {
        for (int trial = 0; trial < 40; ++trial) {
            Rows rows;
            rows.Push(0, 0);
            while (int(rows.s.size()) <= length) {
                const uint32_t sa = alphas[random() % 5], da = alphas[random() % 5], ma = alphas[random() % 5];
                for (int run = 1 + int(random() % 24); run > 0; --run)
                    rows.Push(sa << 24 | (random() & 0xFFFFFF), da << 24 | (random() & 0xFFFFFF), ma << 24);
            }
            const uint32_t op = trial % 2 ? 256 : 1 + random() % 256;
            ExpectRowsSameAsPlain<Kernel>(rows, op, 1, length, "normal");
            ExpectRowsSameAsPlain<LockedKernel>(rows, op, 1, length, "normal, locked");
            ExpectRowsSameAsPlain<MaskedKernel>(rows, op, 1, length, "normal, masked");
        }
    }
}

#if defined(KX_ISA_X86)
namespace {

// Each divisor of the mixed blocks (255 * A, and 1 for A = 0) in every lane.
template <int N, class Ops>
void ExpectReciprocalsAbove(const Ops& ops)
{
    using F = typename Lanes<N>::F;
    for (uint32_t a = 0; a <= 255; ++a) {
        const float divisor = a > 0 ? float(255 * a) : 1.0f;
        const F r = ops.ReciprocalAbove(F{} + divisor);
        for (int lane = 0; lane < N; ++lane) {
            ASSERT_GT(double(r[lane]) * divisor, 1.0) << divisor;
            ASSERT_LT(double(r[lane]) * divisor, 1.0 + 0x1p-10) << divisor;
        }
    }
}

} // namespace

// What the mixed blocks' quotients rest on, on this processor.
TEST_P(KXBlendNormalAtLevel, ReciprocalsAboveEveryDivisor)
{
    if (Level() == KXIsa::Level::Sse2)
        ExpectReciprocalsAbove<4>(Ops4());
    else if (Level() == KXIsa::Level::Avx2)
        ExpectReciprocalsAbove<8>(Ops8());
    else
        ExpectReciprocalsAbove<16>(Ops16());
}
#endif

KX_INSTANTIATE_ISA_VECTOR_LEVELS(KXBlendNormalAtLevel);
