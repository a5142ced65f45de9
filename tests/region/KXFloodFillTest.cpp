// Flood fill and colour-range fill against a plain breadth-first fill
// written here, on random and adversarial images across tile borders.

#include "KXFloodFill.h"
#include "KXTestSupport.h"
#include "region/KXScanLineFill.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

namespace {

using Pixels = std::vector<uint32_t>;

struct Picture {
    int w, h;
    Pixels px;
};

constexpr uint32_t kA = 0xFF808080, kB = 0xFF848280, kC = 0xFF20A040, kD = 0x00123456, kE = 0x00FFFFFF;

// kind: 0 noise of five colours, 1 lattice (x or y even), 2 serpentine
// corridor one pixel tall, 3 one-pixel checkerboard.
Picture Make(int w, int h, int kind)
{
    Picture p{w, h, Pixels(size_t(w) * h)};
    std::mt19937 random(unsigned(w * 7 + h + kind));
    const uint32_t palette[5] = {kA, kB, kC, kD, kE};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool wall = y % 2 == 1 && x != (y % 4 == 1 ? 0 : w - 1);
            const uint32_t v[4] = {palette[random() % 5], (x % 2 == 0 || y % 2 == 0) ? kA : kC, wall ? kC : kA,
                                   (x + y) % 2 ? kA : kC};
            p.px[size_t(y) * w + x] = v[kind];
        }
    return p;
}

KXImageRGBA32i ToImage(const Picture& p)
{
    KXImageRGBA32i image(unsigned(p.w), unsigned(p.h));
    for (int y = 0; y < p.h; ++y)
        image.SetLine(unsigned(y), &p.px[size_t(y) * p.w], unsigned(p.w) * 4);
    return image;
}

Pixels Read(const KXImageRGBA32i& image)
{
    Pixels out(size_t(image.Width()) * image.Height());
    for (unsigned int y = 0; y < image.Height(); ++y)
        image.GetLine(y, &out[size_t(y) * image.Width()], image.Width() * 4);
    return out;
}

// The match rules as stated, channel by channel with signed bounds.
bool Matches(uint32_t t, uint32_t p, uint32_t tol, bool exact)
{
    if (exact)
        return p == t;
    if ((t >> 24) == 0)
        return (p >> 24) == 0;
    for (int s = 0; s < 32; s += 8) {
        const int tk = int(t >> s & 255), pk = int(p >> s & 255), k = int(tol >> s & 255);
        if (pk < tk - k || pk > tk + k)
            return false;
    }
    return true;
}

// Breadth-first 4-connected fill of `into` where `from` matches; the
// number of pixels filled is returned, the rectangle through `bounds`.
int Reference(const Picture& from, Pixels& into, QPoint seed, uint32_t tol, bool exact, uint32_t fill, QRect* bounds)
{
    const uint32_t t = from.px[size_t(seed.y()) * from.w + seed.x()];
    std::vector<char> seen(from.px.size(), 0);
    std::vector<QPoint> queue{seed};
    seen[size_t(seed.y()) * from.w + seed.x()] = 1;
    int x0 = seed.x(), y0 = seed.y(), x1 = seed.x(), y1 = seed.y();
    for (size_t head = 0; head < queue.size(); ++head) {
        const QPoint q = queue[head];
        into[size_t(q.y()) * from.w + q.x()] = fill;
        x0 = std::min(x0, q.x()), y0 = std::min(y0, q.y()), x1 = std::max(x1, q.x()), y1 = std::max(y1, q.y());
        for (const QPoint& n : {q + QPoint(1, 0), q - QPoint(1, 0), q + QPoint(0, 1), q - QPoint(0, 1)}) {
            const size_t i = size_t(n.y()) * from.w + n.x();
            if (n.x() >= 0 && n.y() >= 0 && n.x() < from.w && n.y() < from.h && !seen[i] &&
                Matches(t, from.px[i], tol, exact)) {
                seen[i] = 1;
                queue.push_back(n);
            }
        }
    }
    bounds->setCoords(x0, y0, x1, y1);
    return int(queue.size());
}

TEST(KXFloodFill, EveryOverloadMatchesBreadthFirstFill)
{
    const uint32_t fill = 0xFF0000FF, tol = 0x00040404;
    for (const QSize size : {QSize(300, 260), QSize(1, 300), QSize(257, 3)})
        for (int kind = 0; kind < 4; ++kind)
            for (const QPoint seed : {QPoint(0, 0), QPoint(128, 127), QPoint(size.width() - 1, size.height() - 1),
                                      QPoint(size.width() / 3, size.height() / 2)}) {
                if (!QRect(QPoint(), size).contains(seed))
                    continue;
                SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " kind " << kind
                                                << " seed " << seed.x() << "," << seed.y());
                const Picture pic = Make(size.width(), size.height(), kind);
                QRect exactBounds, tolBounds, got;
                Pixels exact = pic.px, loose = pic.px, onTarget(pic.px.size(), 0xFF00FF00);
                const int count = Reference(pic, exact, seed, 0, true, fill, &exactBounds);
                Reference(pic, loose, seed, tol, false, fill, &tolBounds);
                Reference(pic, onTarget, seed, tol, false, fill, &tolBounds);

                const auto expect = [&](const Pixels& px, const Pixels& want, const QRect& wantBounds) {
                    EXPECT_EQ(px, want);
                    EXPECT_EQ(got, wantBounds);
                };
                KXImageRGBA32i image = ToImage(pic), target(unsigned(pic.w), unsigned(pic.h));
                const KXImageRGBA32i original = image;
                ASSERT_TRUE(KXFloodFillHelper::FloodFill(image, seed, fill, &got));
                expect(Read(image), exact, exactBounds);
                EXPECT_EQ(Read(original), pic.px); // the copy kept its tiles
                image = original;
                ASSERT_TRUE(KXFloodFillHelper::FloodFill(image, seed, tol, fill, &got));
                expect(Read(image), loose, tolBounds);
                target.Fill(0xFF00FF00);
                ASSERT_TRUE(KXFloodFillHelper::FloodFill(original, target, seed, tol, fill, &got));
                expect(Read(target), onTarget, tolBounds);
                QImage q(reinterpret_cast<const uchar*>(pic.px.data()), pic.w, pic.h, QImage::Format_ARGB32);
                ASSERT_TRUE(KXFloodFillHelper::FloodFill(q, seed, tol, fill, &got));
                const uint32_t* bits = reinterpret_cast<const uint32_t*>(q.constBits());
                expect(Pixels(bits, bits + loose.size()), loose, tolBounds);

                // The work list never holds more than two points a filled pixel.
                image = ToImage(pic);
                KXScanLineFill::TiledPixels store(image);
                const uint32_t t = pic.px[size_t(seed.y()) * pic.w + seed.x()];
                const auto outcome =
                    KXScanLineFill::Fill(store, pic.w, pic.h, seed, KXScanLineFill::ExactMatch{t}, fill);
                EXPECT_LE(outcome.peakPoints, size_t(2 * count + 1));
            }
}

// The column fill written plainly on a marked copy of `from`, writing into
// `into` (tw x th) until the first pixel outside it; false at that pixel.
bool PlainColumnFill(const Picture& from, Pixels& into, int tw, int th, QPoint seed, uint32_t tol, uint32_t fill)
{
    Pixels work = from.px;
    const uint32_t t = work[size_t(seed.y()) * from.w + seed.x()];
    const auto ok = [&](int x, int y) { return Matches(t, work[size_t(y) * from.w + x], tol, false); };
    for (std::deque<QPoint> stack{seed}; !stack.empty();) {
        const int x = stack.back().x();
        int y = stack.back().y();
        stack.pop_back();
        while (y >= 0 && ok(x, y))
            --y;
        for (bool spanLeft = false, spanRight = false; ++y < from.h && ok(x, y);) {
            if (x >= tw || y >= th)
                return false;
            into[size_t(y) * tw + x] = fill, work[size_t(y) * from.w + x] = 0xFF000000; // the marker
            const bool left = x > 0 && ok(x - 1, y), right = x < from.w - 1 && ok(x + 1, y);
            if (left && !spanLeft)
                stack.emplace_back(x - 1, y);
            if (right && !spanRight)
                stack.emplace_back(x + 1, y);
            spanLeft = left, spanRight = right;
        }
    }
    return true;
}

TEST(KXFloodFill, InPlaceFillsThatMatchTheirOwnColourAndWritesBeforeAThrow)
{
    const uint32_t tol = 0x00040404; // marker 0xFF000000 (blue 128 - 4 > 0, 0x40 - 4 > 0)
    // Fills that fail the match, that match kA and kB, and that match kD, kE.
    for (const uint32_t fill : {0xFF0000FFu, 0xFF848484u, 0x00FF00FFu})
        for (int kind = 0; kind < 4; ++kind) {
            SCOPED_TRACE(testing::Message() << std::hex << fill << " kind " << kind);
            const Picture pic = Make(300, 260, kind);
            const QPoint seed(140, 130);
            Pixels expected = pic.px, partial(160 * 150, 0);
            QRect want, got, gotQ;
            Reference(pic, expected, seed, tol, false, fill, &want);
            KXImageRGBA32i image = ToImage(pic), small(160, 150);
            const KXImageRGBA32i sharer = image;
            QImage q(reinterpret_cast<const uchar*>(pic.px.data()), pic.w, pic.h, QImage::Format_ARGB32);
            ASSERT_TRUE(KXFloodFillHelper::FloodFill(image, seed, tol, fill, &got));
            ASSERT_TRUE(KXFloodFillHelper::FloodFill(q, seed, tol, fill, &gotQ));
            EXPECT_EQ(Read(image), expected);
            const uint32_t* bits = reinterpret_cast<const uint32_t*>(q.constBits());
            EXPECT_EQ(Pixels(bits, bits + expected.size()), expected);
            EXPECT_TRUE(got == want && gotQ == want);
            EXPECT_EQ(Read(sharer), pic.px);
            // A 160 x 150 target: the pixels written before the throw.
            if (PlainColumnFill(pic, partial, 160, 150, seed, tol, fill))
                EXPECT_TRUE(KXFloodFillHelper::FloodFill(sharer, small, seed, tol, fill, nullptr));
            else
                EXPECT_THROW(KXFloodFillHelper::FloodFill(sharer, small, seed, tol, fill, nullptr), std::out_of_range);
            EXPECT_EQ(Read(small), partial);
        }
}

TEST(KXFloodFill, MarkerIsAColourTheRuleRefuses)
{
    struct Case {
        uint32_t target, tolerance;
        bool found;
        uint32_t marker;
    } cases[] = {
        {0xFF808080, 0x00040404, true, 0xFF000000}, // blue 128 - 4 > 0
        {0xFF808000, 0x00000010, true, 0xFF0000FF}, // blue 0 - 16 <= 0, 0 + 16 < 255
        {0xFF8000FF, 0x000000FF, true, 0xFF00FF00}, // blue 255 - 255 = 0, 510; green 0 - 0 = 0, 0 < 255
        {0xFF0000FF, 0x0010FFFF, true, 0xFFFF0000}, // blue, green none; red 0 - 16, 16 < 255
        {0x80000000, 0x00FFFFFF, true, 0x01000000}, // colours all; alpha 128 - 0 > 1
        {0x01000000, 0x00FFFFFF, true, 0xFF000000}, // alpha 1 - 0 = 1; 1 + 0 < 255
        {0xFF000000, 0xFEFFFFFF, true, 0x00000000}, // alpha 255 - 254 = 1: transparent lies below
        {0xFF000000, 0xFFFFFFFF, false, 0},         // every colour matches
    };
    for (const Case& c : cases) {
        uint32_t marker = 0xDEADBEEF;
        EXPECT_EQ(KXScanLineFill::ChooseMarker(c.target, c.tolerance, &marker), c.found) << std::hex << c.target;
        if (c.found) {
            EXPECT_EQ(marker, c.marker) << std::hex << c.target;
            EXPECT_FALSE(Matches(c.target, marker, c.tolerance, false));
        }
    }
}

TEST(KXFloodFill, WholeImageNoOpAndTransparentSeeds)
{
    Picture pic = Make(300, 260, 0);
    pic.px[0] = kD, pic.px[1] = kE; // transparent neighbours of different colours
    KXImageRGBA32i image = ToImage(pic);
    const KXImageRGBA32i original = image;
    QRect got(1, 2, 3, 4);
    // Fill equal to the target: nothing written, QRect(), no tile detached.
    EXPECT_TRUE(KXFloodFillHelper::FloodFill(image, QPoint(0, 0), KXRGBA32i(kD), &got));
    EXPECT_EQ(got, QRect());
    EXPECT_EQ(image.Tile(1, 1)->data(), original.Tile(1, 1)->data());
    // On a transparent seed tolerance 0 is the exact rule (kD, not kE); any
    // other tolerance takes every transparent pixel.
    for (const uint32_t tol : {0u, 0x01000000u}) {
        image = original;
        Pixels expected = pic.px;
        QRect bounds;
        Reference(pic, expected, QPoint(0, 0), tol, tol == 0, kC, &bounds);
        EXPECT_TRUE(KXFloodFillHelper::FloodFill(image, QPoint(0, 0), tol, kC, &got));
        EXPECT_EQ(Read(image), expected);
        EXPECT_EQ(got, bounds);
        if (tol == 0) { // a tile the fill did not reach is still shared
            EXPECT_EQ(image.Tile(2, 1)->data(), original.Tile(2, 1)->data());
        }
    }
    // 255 everywhere on an opaque seed: no marker, the whole image.
    image = original;
    EXPECT_TRUE(KXFloodFillHelper::FloodFill(image, QPoint(5, 5), KXRGBA32i(0xFFFFFFFF), KXRGBA32i(kC), &got));
    EXPECT_EQ(Read(image), Pixels(pic.px.size(), kC));
    EXPECT_EQ(got, QRect(0, 0, 300, 260));
}

TEST(KXFloodFill, ColorRangeFillTakesEveryMatchAndClearsTheRest)
{
    const Picture pic = Make(300, 260, 0);
    const KXImageRGBA32i source = ToImage(pic);
    KXImageRGBA32i target(5, 5);
    QRect got;
    for (const uint32_t tol : {0x00040404u, 0u}) { // the tolerance rule even at 0
        const QPoint seed(131, 129);
        const uint32_t t = pic.px[size_t(seed.y()) * pic.w + seed.x()];
        Pixels expected(pic.px.size());
        int x0 = seed.x(), y0 = seed.y(), x1 = x0, y1 = y0;
        for (int i = 0; i < int(expected.size()); ++i)
            if (Matches(t, pic.px[size_t(i)], tol, false)) {
                expected[size_t(i)] = kD;
                x0 = std::min(x0, i % pic.w), y0 = std::min(y0, i / pic.w);
                x1 = std::max(x1, i % pic.w), y1 = std::max(y1, i / pic.w);
            }
        ASSERT_TRUE(KXFloodFillHelper::ColorRangeFill(source, target, seed, tol, kD, &got));
        EXPECT_EQ(Read(target), expected);
        EXPECT_EQ(got, QRect(QPoint(x0, y0), QPoint(x1, y1)));
    }
    EXPECT_EQ(Read(source), pic.px);
}

TEST(KXFloodFill, SeedsOutsideAreRefusedWithTheirLine)
{
    const Picture pic = Make(300, 260, 0);
    KXImageRGBA32i image = ToImage(pic), target = image;
    QImage q(300, 260, QImage::Format_ARGB32), gray(30, 20, QImage::Format_Grayscale8);
    KXTest::LogCapture log;
    EXPECT_FALSE(KXFloodFillHelper::FloodFill(image, QPoint(300, 0), kC, nullptr));
    EXPECT_FALSE(KXFloodFillHelper::FloodFill(image, QPoint(0, 260), 1u, kC, nullptr));
    EXPECT_FALSE(KXFloodFillHelper::FloodFill(image, target, QPoint(-1, 0), 1u, kC, nullptr));
    EXPECT_FALSE(KXFloodFillHelper::FloodFill(q, QPoint(300, 7), 1u, kC, nullptr));
    EXPECT_FALSE(KXFloodFillHelper::ColorRangeFill(image, target, QPoint(0, -1), 1u, kC, nullptr));
    EXPECT_FALSE(KXFloodFillHelper::FloodFill(gray, QPoint(1, 1), 1u, kC, nullptr));
    const char* texts[] = {"FloodFill seed point is out of range.", "FloodFill seed point is out of range %1",
                           "FloodFill seed point is out of range %1", "FloodFill seed point is out of range (300, 7)",
                           "Seed point is out of range %1", "FloodFill needs a 32-bit image, not 8 bits a pixel."};
    ASSERT_EQ(log.Messages().size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(log.Messages()[i].endsWith(QStringLiteral("file=\"src/KXFloodFillHelper\". ") + texts[i]))
            << log.Messages()[i].toStdString();
    EXPECT_EQ(Read(image), pic.px);
    // A target smaller than the filled pixels fails at the first pixel past it.
    KXImageRGBA32i plain(300, 260), small(100, 100);
    plain.Fill(kA);
    EXPECT_THROW(KXFloodFillHelper::FloodFill(plain, small, QPoint(0, 0), 1u, kC, nullptr), std::out_of_range);
}

// A refused seed leaves the target as it was (size and pixels); an accepted
// one makes it the source's size.
TEST(KXFloodFill, RefusedColorRangeFillLeavesTheTarget)
{
    KXImageRGBA32i source(10, 10), target(50, 40);
    source.Fill(KXRGBA32i(kC));
    target.Fill(KXRGBA32i(0xFF123456u));
    KXTest::LogCapture log;
    EXPECT_FALSE(KXFloodFillHelper::ColorRangeFill(source, target, QPoint(20, 20), 1u, kC, nullptr));
    ASSERT_EQ(target.Width(), 50u);
    ASSERT_EQ(target.Height(), 40u);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(target.GetColor(x, y).value, 0xFF123456u) << x << "," << y;
    EXPECT_TRUE(KXFloodFillHelper::ColorRangeFill(source, target, QPoint(2, 2), 1u, kC, nullptr));
    EXPECT_EQ(target.Width(), 10u);
}

} // namespace
