#include "KXParallel.h"
#include "KXTestSupport.h"
#include "KXTransformImageColors.h"
#include "VQHistogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(VQHistogram, Threshold)
{
    struct Case {
        std::vector<std::pair<int, int>> bins; // (level, count)
        int low, high;
        const char* what;
    };
    const Case cases[] = {
        {{}, 255, 0, "empty: the whole range stays within a limit of 0"},
        {{{128, 5000}}, 120, 136, "127 … 129 widened around 128"},
        {{{0, 5000}}, 0, 16, "the middle moves up to 8"},
        {{{255, 5000}}, 239, 255, "the middle moves down to 247"},
        // 2000 counts, limit 2: low stays 9 (the 2 at 9 are within, the 1
        // at 10 is not); from the top 1 + 1 at 201 and 200 are within, and
        // so is every empty level down to 101.
        {{{9, 2}, {10, 1}, {100, 1995}, {200, 1}, {201, 1}}, 9, 101, "cumulative limit"},
        // Bins at 100 and 114: low 99, high 115, exactly 16 apart: kept.
        {{{100, 1000}, {114, 1000}}, 99, 115, "16 apart is wide enough"},
        // Bins at 100 and 113: 99 … 114 is 15 wide: middle 106, 98 … 114.
        {{{100, 1000}, {113, 1000}}, 98, 114, "15 apart is widened"},
    };
    for (const Case& c : cases) {
        int histogram[256] = {};
        for (const auto& bin : c.bins)
            histogram[bin.first] += bin.second;
        EXPECT_EQ(KXHistogrammCalculator::Threshold(histogram), (std::vector<int>{c.low, c.high})) << c.what;
    }
}

TEST(VQHistogram, CountersOverAnImage)
{
    KXImageRGBA32i image(300, 200);
    image.Fill(KXRGBA32i(0x80102030u));
    image.SetColor(299, 199, KXRGBA32i(0x00FF0000u));
    unsigned int red[256] = {}, green[256] = {}, blue[256] = {};
    VQRGBHistogram counted(red, green, blue);
    EXPECT_TRUE(VisitPixels(image, image.Rect(), counted));
    EXPECT_EQ(std::vector<unsigned int>({red[0x10], red[0xFF], green[0x20], green[0], blue[0x30], blue[0]}),
              std::vector<unsigned int>({59999, 1, 59999, 1, 59999, 1}));
    unsigned int red2[256] = {}, green2[256] = {}, blue2[256] = {};
    counted.SetOutput(red2, green2, blue2);
    counted(KXRGBA32i(0xFF010203u));
    EXPECT_EQ(red2[1] + green2[2] + blue2[3] + red[1], 3u);

    // Many threads into one calculator: every update is under its lock, and
    // each pixel counts three times in the combined array.
    std::vector<KXRGBA32i> pixels(100000);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = KXRGBA32i(static_cast<uint32_t>(i * 2654435761u));
    int r[256] = {}, g[256] = {}, b[256] = {}, all[256] = {};
    KXHistogrammCalculator calculator;
    calculator.SetOutput(r, g, b, all);
    const KXHistogrammCalculator shared(calculator);
    std::vector<int> indices = KXParallel::Indices(static_cast<int>(pixels.size()));
    KXParallel::BlockingMap(indices, [&](int i) { shared(pixels[i]); });
    int expectedAll[256] = {}, expectedRed[256] = {};
    for (const KXRGBA32i& p : pixels) {
        ++expectedRed[p.r];
        ++expectedAll[p.r];
        ++expectedAll[p.g];
        ++expectedAll[p.b];
    }
    EXPECT_TRUE(std::equal(r, r + 256, expectedRed));
    EXPECT_TRUE(std::equal(all, all + 256, expectedAll));
}
