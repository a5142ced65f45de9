// Where BlendOn and BlendMaskOn work: unaligned tile grids, negative and
// oversized rectangles, copy on write, aliasing and failures.

#include "KXBlendModes.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <QSize>

#include <map>
#include <tuple>
#include <vector>

namespace {

// A pseudo-random pixel for every position of the plane (negative ones too),
// with many fully transparent and fully opaque alphas.
uint32_t Noise(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    const uint32_t kind = (h >> 5) & 3;
    const uint32_t alpha = kind == 0 ? 0 : kind == 1 ? 255 : h >> 24;
    return (alpha << 24) | (h & 0x00FFFFFFu);
}

// An image of `size` whose pixel (x, y) is Noise(x - shift.x, y - shift.y).
KXImageRGBA32i Pattern(const QSize& size, const QPoint& shift, uint32_t seed)
{
    KXImageRGBA32i image(unsigned(size.width()), unsigned(size.height()));
    std::vector<KXRGBA32i> row(size.width());
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            row[x] = KXRGBA32i(Noise(x - shift.x(), y - shift.y(), seed));
        image.SetLine(unsigned(y), row.data(), unsigned(size.width()) * 4);
    }
    return image;
}

std::vector<uint32_t> Pixels(const KXImageRGBA32i& image)
{
    std::vector<uint32_t> all(size_t(image.Width()) * image.Height());
    for (unsigned int y = 0; y < image.Height(); ++y)
        image.GetLine(y, all.data() + size_t(y) * image.Width(), image.Width() * 4);
    return all;
}

QImage ToQImage(const KXImageRGBA32i& image)
{
    QImage out(int(image.Width()), int(image.Height()), QImage::Format_ARGB32);
    for (unsigned int y = 0; y < image.Height(); ++y)
        image.GetLine(y, out.scanLine(int(y)), image.Width() * 4);
    return out;
}

struct Geometry {
    QRect srcRect, dstRect, maskRect;
    const char* what;
};

// Base layouts, each repeated with contents and rectangles moved by a shift.
const Geometry kGeometries[] = {
    {QRect(0, 0, 260, 200), QRect(40, 30, 260, 200), QRect(10, 20, 150, 100), "inside"},
    {QRect(17, 9, 230, 180), QRect(-37, -45, 230, 180), QRect(-20, 5, 300, 90), "negative destination"},
    {QRect(-21, -13, 150, 150), QRect(5, 7, 150, 150), QRect(0, 0, 150, 150), "negative source"},
    {QRect(3, 4, 5000, 5000), QRect(60, 2, 4000, 6000), QRect(2, 2, 5000, 5000), "larger than the images"},
    // Source, mask and destination on one tile grid, unshifted: whole tile
    // rows follow each other in all three.
    {QRect(0, 0, 300, 250), QRect(0, 0, 300, 250), QRect(0, 0, 200, 160), "on one tile grid"},
};

struct Shifts {
    QPoint src, dst, mask;
};
const Shifts kShifts[] = {
    {QPoint(1, 3), QPoint(0, 0), QPoint(5, 7)},
    {QPoint(127, 1), QPoint(129, 130), QPoint(64, 255)},
    {QPoint(0, 0), QPoint(77, 200), QPoint(128, 0)},
    {QPoint(255, 129), QPoint(1, 127), QPoint(0, 1)},
};

const unsigned int kModes[] = {0, 1, 2, 3, 6, 8, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                               21, 22, 23, 24, 25, 31, 64, 88, 89, 90, 91, 92, 93, 94, 95};

enum class Kind { Tiled, QImageSource, Masked, MaskedRevealed, QImageMasked };

const char* const kKindNames[] = {"tiled", "qimage", "masked", "masked revealed", "qimage masked"};

// Runs one blend of the given kind on images whose contents and rectangles
// are moved by `shifts`, and returns the destination. The patterns are made
// once per test (images must not outlive a test: each returns all its blocks).
KXImageRGBA32i RunBlend(std::map<std::tuple<int, int, int, int, uint32_t>, KXImageRGBA32i>& made, Kind kind,
                        unsigned int mode, bool lock, const Geometry& g, const Shifts& shifts)
{
    const auto image = [&](QSize size, const QPoint& shift, uint32_t seed) -> const KXImageRGBA32i& {
        size += QSize(shift.x(), shift.y());
        const auto key = std::make_tuple(size.width(), size.height(), shift.x(), shift.y(), seed);
        auto found = made.find(key);
        return found != made.end() ? found->second : made.emplace(key, Pattern(size, shift, seed)).first->second;
    };
    const KXImageRGBA32i& src = image(QSize(300, 250), shifts.src, 1);
    KXImageRGBA32i dst = image(QSize(330, 260), shifts.dst, 2);
    const KXImageRGBA32i& mask = image(QSize(200, 160), shifts.mask, 3);
    const QRect srcRect = g.srcRect.translated(shifts.src), dstRect = g.dstRect.translated(shifts.dst);
    const QRect maskRect = g.maskRect.translated(shifts.mask);
    switch (kind) {
    case Kind::Tiled: BlendOn(src, srcRect, mode, dst, dstRect, 0.7, lock); break;
    case Kind::QImageSource: BlendOn(ToQImage(src), srcRect, mode, dst, dstRect, 0.7, lock); break;
    case Kind::Masked:
    case Kind::MaskedRevealed:
        BlendMaskOn(src, srcRect, mode, dst, dstRect, 0.7, mask, maskRect, kind == Kind::MaskedRevealed, lock);
        break;
    case Kind::QImageMasked: BlendMaskOn(ToQImage(src), srcRect, mode, dst, dstRect, 0.7, mask, maskRect, true, lock);
    }
    return dst;
}

} // namespace

// Moving every image's content and rectangle across the tile borders moves
// the result and changes nothing else.
TEST(KXBlendPlacement, ResultsDoNotDependOnTileBorders)
{
    std::map<std::tuple<int, int, int, int, uint32_t>, KXImageRGBA32i> patterns;
    for (Kind kind : {Kind::Tiled, Kind::QImageSource, Kind::Masked, Kind::MaskedRevealed, Kind::QImageMasked}) {
        for (const Geometry& g : kGeometries) {
            for (unsigned int mode : kModes) {
                for (bool lock : {false, true}) {
                    const KXImageRGBA32i base = RunBlend(patterns, kind, mode, lock, g, Shifts{});
                    const std::vector<uint32_t> expected = Pixels(base);
                    // Content moved under a rectangle with a negative corner would show.
                    Shifts shifts = kShifts[(mode + lock) % 4];
                    if (g.srcRect.left() < 0 || g.srcRect.top() < 0)
                        shifts.src = QPoint();
                    if (g.maskRect.left() < 0 || g.maskRect.top() < 0)
                        shifts.mask = QPoint();
                    const KXImageRGBA32i moved = RunBlend(patterns, kind, mode, lock, g, shifts);
                    const std::vector<uint32_t> got = Pixels(moved);
                    int wrong = 0;
                    for (unsigned int y = 0; y < base.Height(); ++y)
                        for (unsigned int x = 0; x < base.Width(); ++x)
                            wrong += got[size_t(y + shifts.dst.y()) * moved.Width() + x + shifts.dst.x()] !=
                                     expected[size_t(y) * base.Width() + x];
                    EXPECT_EQ(wrong, 0) << kKindNames[int(kind)] << ", " << g.what << ", mode " << mode << " lock " << lock;
                }
            }
        }
    }
}

// The processed area has the smaller rectangle's size, at dstRect's corner.
TEST(KXBlendPlacement, AreaIsTheSmallerRectangle)
{
    struct Case {
        QRect srcRect, dstRect, painted;
    } cases[] = {
        {QRect(0, 0, 200, 200), QRect(10, 10, 50, 60), QRect(10, 10, 50, 60)},
        {QRect(0, 0, 30, 40), QRect(10, 10, 300, 300), QRect(10, 10, 30, 40)},
        {QRect(150, 150, 100, 100), QRect(0, 0, 100, 100), QRect(0, 0, 50, 50)}, // source ends at 200
        {QRect(0, 0, 100, 100), QRect(-90, 250, 100, 100), QRect(0, 250, 10, 50)},
        {QRect(0, 0, 0, 100), QRect(0, 0, 100, 100), QRect()},
        {QRect(0, 0, 100, 100), QRect(400, 0, 100, 100), QRect()},
    };
    KXImageRGBA32i src(200, 200);
    src.Fill(KXRGBA32i(0xFFFF0000u));
    for (const Case& c : cases) {
        KXImageRGBA32i dst(300, 300);
        BlendOn(src, c.srcRect, 0, dst, c.dstRect, 1.0, false);
        QRect painted;
        const std::vector<uint32_t> pixels = Pixels(dst);
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 300; ++x)
                if (pixels[size_t(y) * 300 + x] != 0)
                    painted |= QRect(x, y, 1, 1);
        EXPECT_EQ(painted, c.painted) << c.srcRect.x() << "," << c.dstRect.x() << "," << c.dstRect.y();
    }
}

// Only the tiles the area meets are made private; the other copy keeps its
// pixels. Modes that do nothing under a locked alpha copy no tile.
TEST(KXBlendPlacement, DetachesOnlyTheTilesTheAreaMeets)
{
    VQTileManager64* tm = VQTileManager64::Instance();
    KXImageRGBA32i base(512, 512); // every slot shares one block
    base.Fill(KXRGBA32i(0xFF102030u));
    const KXImageRGBA32i src = Pattern(QSize(40, 40), QPoint(), 9);
    KXImageRGBA32i dst = base;
    const long long before = tm->GetAvailableCount();
    BlendOn(src, QRect(0, 0, 10, 10), 0, dst, QRect(123, 240, 10, 10), 1.0, false); // tiles (0,1) and (1,1)
    EXPECT_EQ(tm->GetAvailableCount(), before - 2);
    EXPECT_EQ(dst.Tile(0, 0)->data(), base.Tile(0, 0)->data());

    for (unsigned int mode : {2u, 6u, 8u, 64u}) {
        KXImageRGBA32i untouched = base;
        BlendOn(src, src.Rect(), mode, untouched, untouched.Rect(), 1.0, true);
        EXPECT_EQ(untouched.Tile(0, 0)->data(), base.Tile(0, 0)->data()) << mode;
    }
    // Masked: only tiles holding a covered pixel.
    KXImageRGBA32i masked = base;
    const KXImageRGBA32i mask = Pattern(QSize(20, 20), QPoint(), 4);
    const long long beforeMasked = tm->GetAvailableCount();
    BlendMaskOn(src, src.Rect(), 0, masked, QRect(100, 100, 40, 40), 1.0, mask, QRect(0, 0, 20, 20), false, false);
    EXPECT_EQ(tm->GetAvailableCount(), beforeMasked - 1) << "mask covers (100..119, 100..119), one tile";
}

// An image blended onto itself reads the pixels it had before the call.
TEST(KXBlendPlacement, SourceOrMaskAliasingTheDestination)
{
    const KXImageRGBA32i original = Pattern(QSize(300, 300), QPoint(), 5);
    const QRect from(0, 0, 200, 200), to(50, 70, 200, 200), masked(3, 3, 200, 200);
    for (unsigned int mode : {0u, 3u, 13u}) {
        KXImageRGBA32i self = original, separate = original, selfMask = original, separateMask = original;
        BlendOn(self, from, mode, self, to, 1.0, false);
        BlendOn(original, from, mode, separate, to, 1.0, false);
        EXPECT_EQ(Pixels(self), Pixels(separate)) << mode;
        BlendMaskOn(original, from, mode, selfMask, to, 1.0, selfMask, masked, false, false);
        BlendMaskOn(original, from, mode, separateMask, to, 1.0, original, masked, false, false);
        EXPECT_EQ(Pixels(selfMask), Pixels(separateMask)) << mode;
    }
}
