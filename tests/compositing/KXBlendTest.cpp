#include "KXBlend.h"
#include "KXParallel.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

using namespace KXBlend;

namespace {

struct OperatorCase {
    const char* name;
    std::function<void(const KXRGBA32i&, KXRGBA32i&, const KXRGBA32i&)> apply;
    uint32_t s, d, m, expected;
};

template <class Op>
std::function<void(const KXRGBA32i&, KXRGBA32i&, const KXRGBA32i&)> Plain(Op op)
{
    return [op](const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i&) { op(s, d); };
}

template <class Op>
std::function<void(const KXRGBA32i&, KXRGBA32i&, const KXRGBA32i&)> Masked(Op op)
{
    return [op](const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) { op(s, d, m); };
}

KXSourceOver<0> HalfSourceOver()
{
    KXSourceOver<0> op;
    op.SetOpacity(128);
    return op;
}

} // namespace

// Expected values worked out by hand from the operator formulas.
TEST(KXBlendOperators, KnownValues)
{
    const OperatorCase cases[] = {
        // Opaque source at full strength: d = s, alpha 255.
        {"SourceOver0 opaque", Plain(KXSourceOver<0>()), 0xFF102030, 0x40FFFFFF, 0, 0xFF102030},
        // Opacity 0: as = 0, A = d.a, colours (d * 65025) / 65025 = d.
        {"SourceOver0 opacity 0", Plain(KXSourceOver<0>(0)), 0x80AABBCC, 0xFF112233, 0, 0xFF112233},
        {"SourceOver0 both transparent", Plain(KXSourceOver<0>()), 0x00FFFFFF, 0x00ABCDEF, 0, 0x00000000},
        // as = 128, wd = 128 * 127 = 16256, A = (32640 + 16256) / 255 = 191;
        // r = 255 * 255 * 128 / 48705 = 170, b = 255 * 16256 / 48705 = 85.
        {"SourceOver0 half over half", Plain(KXSourceOver<0>()), 0x80FF0000, 0x800000FF, 0, 0xBFAA0055},
        {"SourceOver1 keeps alpha", Plain(KXSourceOver<1>()), 0x80FF0000, 0x800000FF, 0, 0x80AA0055},
        // Opacity 128 halves 255 to 127: A = (32385 + 255 * 128) / 255 = 255,
        // colours 255 * 255 * 127 / 65025 = 127.
        {"SourceOver0 SetOpacity", Plain(HalfSourceOver()), 0xFFFFFFFF, 0xFF000000, 0, 0xFF7F7F7F},
        // b = (255 * 127) * 255 / 65025 = 127, r = 255 * 128 * 255 / 65025 = 128,
        // alpha = (127 * 255 + 128 * 255) * 255 / 65025 = 255.
        {"DestinationOver0", Plain(KXDestinationOver<0>()), 0xFF0000FF, 0x80FF0000, 0, 0xFF80007F},
        {"DestinationOver1", Plain(KXDestinationOver<1>()), 0xFF0000FF, 0x80FF0000, 0, 0x8080007F},
        // as 128 over ad 100: alpha (155 * 128 + 100 * 255) * 255 / 65025 = 177,
        // b ((255 * 127) * 255 + 255 * 12800) / 65025 = 177, r 255 * 155 * 255 / 65025 = 155.
        {"DestinationOver0 half", Plain(KXDestinationOver<0>()), 0x80FF0000, 0x640000FF, 0, 0xB19B00B1},
        {"SourceAtop0 transparent destination", Plain(KXSourceAtop<0>()), 0xFF00FF00, 0x00FF0000, 0, 0x00000000},
        // 255 * 128 * 128 / 65025 = 64: scaled by d's alpha, not divided again.
        {"SourceAtop0 half", Plain(KXSourceAtop<0>()), 0x80FFFFFF, 0x80000000, 0, 0x80404040},
        // 255 * 128 / 255 = 128, alpha kept.
        {"SourceAtop1", Plain(KXSourceAtop<1>()), 0x80FFFFFF, 0x10000000, 0, 0x10808080},
        // k = 255 * 128 / 255 = 128.
        {"SourceAtopByMask", Masked(KXSourceAtopByMask()), 0xFFFFFFFF, 0xFF000000, 0x80000000, 0xFF808080},
        {"SourceByMask 255", Masked(KXSourceByMask()), 0x12345678, 0x9ABCDEF0, 0xFF000000, 0x12345678},
        // alpha (0 + 255 * 128) / 255 = 128; colours (65025 - 255 * 128) / 255 = 127.
        {"SourceByMask half", Masked(KXSourceByMask()), 0xFF000000, 0x00FFFFFF, 0x80000000, 0x807F7F7F},
        // r 0x30 - 0x10, g 0, b 0x10 - 0x30 -> 0.
        {"SubtractDstBySrc", Plain(KXSubtractRGBDstBySrc(0)), 0x00102030, 0xAA302010, 0, 0xAA200000},
        // s - d + offset, alpha kept: r 0x10 - 0x30, g 0, b 0x30 - 0x10; with 128: 96, 128, 160.
        {"SubtractSrcByDst", Plain(KXSubtractRGBSrcByDst(0)), 0x00102030, 0xAA302010, 0, 0xAA000020},
        {"SubtractSrcByDst 128", Plain(KXSubtractRGBSrcByDst(128)), 0x00102030, 0xAA302010, 0, 0xAA6080A0},
        {"SubtractSrcByDst 400", Plain(KXSubtractRGBSrcByDst(400)), 0x00102030, 0xAA302010, 0, 0xAAFFFFFF},
        {"SourceOverBySelection0 none", Masked(KXSourceOverBySelection<0>()), 0x80FF0000, 0x800000FF, 0x00FFFFFF,
         0x800000FF},
        // composed white, mixed halfway: colours 255 * 128 / 255 = 128.
        {"SourceOverBySelection0 half", Masked(KXSourceOverBySelection<0>()), 0xFFFFFFFF, 0xFF000000, 0x80000000,
         0xFF808080},
        // Opacity 128 halves 255 to 127: 255 * 127 / 255 = 127.
        {"SourceOverBySelection0 half opacity", Masked(KXSourceOverBySelection<0>(128)), 0xFFFFFFFF, 0xFF000000,
         0xFF000000, 0xFF7F7F7F},
        {"DestinationOverBySelection0 full", Masked(KXDestinationOverBySelection<0>()), 0xFF0000FF, 0x80FF0000,
         0xFF000000, 0xFF80007F},
    };
    for (const OperatorCase& c : cases) {
        KXRGBA32i d(c.d);
        c.apply(KXRGBA32i(c.s), d, KXRGBA32i(c.m));
        EXPECT_EQ(d.value, c.expected) << c.name << std::hex << " got 0x" << d.value;
    }
}

// An opacity above 256 acts as 256, given to the constructor or to
// SetOpacity (one bound shared by every operator with an opacity): the
// effective alpha never exceeds the source alpha (a larger one wrapped 255 - as around).
TEST(KXBlendOperators, OpacityAboveFullActsAsFull)
{
    const uint32_t pixels[] = {0xFF102030u, 0x80FFFFFFu, 0x01FF00FFu, 0x00ABCDEFu, 0x40808080u};
    for (unsigned int opacity : {257u, 1000u, 0x80000000u, 0xFFFFFFFFu}) {
        KXSourceOver<0> set, given(opacity), full(256);
        set.SetOpacity(opacity);
        EXPECT_EQ(set.GetOpacity(), 256u) << opacity;
        EXPECT_EQ(KXDestinationOverBySelection<0>(opacity).GetOpacity(), 256u) << opacity;
        for (uint32_t s : pixels)
            for (uint32_t d : pixels) {
                KXRGBA32i a(d), b(d), c(d);
                set(KXRGBA32i(s), a);
                given(KXRGBA32i(s), b);
                full(KXRGBA32i(s), c);
                EXPECT_TRUE(a == c && b == c) << opacity << std::hex << " s 0x" << s << " d 0x" << d;
            }
    }
}

// The blenders apply the operator to the pixels of each index (a copy: the
// source; by selection: the source where selected, else the destination); an
// index beyond a buffer throws inside a task and the caller receives the
// standard exception itself.
TEST(KXBlendBlenders, EachIndexGetsItsPixelsAndIndicesOutsideReachTheCaller)
{
    std::vector<KXRGBA32i> source(10), destination(10), selection(10);
    for (uint32_t i = 0; i < 10; ++i) {
        source[i] = KXRGBA32i(0xFF000000u | i);
        destination[i] = KXRGBA32i(0x80000000u | i << 8);
        selection[i] = KXRGBA32i(i % 3 ? 0xFF000000u : 0u);
    }
    std::vector<KXRGBA32i> copied = destination, selected = destination;
    std::vector<int> ten = KXParallel::Indices(10);
    KXParallel::BlockingMap(ten, KXBlender<KXRGBA32i, KXSource<0>>(source, copied, KXSource<0>()));
    KXParallel::BlockingMap(ten, KXSelectionBlender<KXRGBA32i, KXSourceBySelection, KXRGBA32i>(
                                     source, selected, selection, KXSourceBySelection()));
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(copied[i], source[i]) << i;
        EXPECT_EQ(selected[i], i % 3 ? source[i] : destination[i]) << i;
    }
    std::vector<int> indices = KXParallel::Indices(11);
    try {
        KXParallel::BlockingMap(indices,
                                KXBlender<KXRGBA32i, KXSource<0>>(source, destination, KXSource<0>()));
        ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "KXBlend::KXBlender: index outside the buffers");
    }
    selection.pop_back();
    EXPECT_THROW(KXParallel::BlockingMap(ten, KXSelectionBlender<KXRGBA32i, KXSourceBySelection, KXRGBA32i>(
                                                  source, destination, selection, KXSourceBySelection())),
                 std::out_of_range);
}
