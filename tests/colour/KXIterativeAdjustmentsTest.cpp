#include "KXIterativeAdjustments.h"
#include "KXParallel.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

namespace {

// Every third pixel of a buffer is adjusted in parallel through the
// iterative form; the result must equal the plain adjustment there and the
// original bytes everywhere else.
template <class Plain, class... Args>
void CheckIterative(const char* name, Args... args)
{
    std::mt19937 random(42);
    std::vector<KXRGBA32i> original(30000);
    for (KXRGBA32i& p : original)
        p = KXRGBA32i(random());
    for (uint32_t v = 0; v < 256; ++v) // every channel value
        original[v] = KXRGBA32i(v << 24 | v << 16 | (255 - v) << 8 | v);

    const Plain plain(args...);
    KXIterativeAdjustment<Plain> iterative(args...);
    EXPECT_EQ(iterative.GetProcessingBuffer(), nullptr);
    std::vector<KXRGBA32i> buffer = original;
    iterative.SetProcessingBuffer(buffer.data());
    const KXIterativeAdjustment<Plain> copy(iterative); // copies tables and the buffer pointer
    EXPECT_EQ(copy.GetProcessingBuffer(), buffer.data());

    std::vector<int> indices;
    for (int i = 0; i < static_cast<int>(buffer.size()); i += 3)
        indices.push_back(i);
    KXParallel::BlockingMap(indices, copy);

    int wrong = 0, touched = 0;
    for (size_t i = 0; i < buffer.size(); ++i) {
        KXRGBA32i expected = original[i];
        if (i % 3 == 0)
            plain(expected);
        if (i % 3 == 0 && buffer[i] != expected)
            ++wrong;
        if (i % 3 != 0 && buffer[i] != original[i])
            ++touched;
    }
    EXPECT_EQ(wrong, 0) << name;
    EXPECT_EQ(touched, 0) << name << ": a neighbour was written";
}

} // namespace

TEST(KXIterativeAdjustments, SameAsPlainAndNoNeighbourTouched)
{
    int input[4][2] = {{10, 240}, {0, 200}, {30, 255}, {0, 255}};
    int output[4][2] = {{5, 250}, {0, 255}, {20, 230}, {255, 0}};
    double gamma[4] = {1.2, 0.8, 1.0, 2.5};
    QVector<QPoint> curves[4] = {{{0, 0}, {100, 140}, {255, 255}}, {{0, 30}, {255, 220}}, {}, {{0, 0}, {60, 90}, {180, 150}, {255, 255}}};
    const int red[3] = {20, -30, 10}, green[3] = {0, 40, -50}, blue[3] = {-20, 0, 60};

    CheckIterative<KXBrightnessContrastTransformation>("brightness", 40, -60);
    CheckIterative<KXLevelsTransformation>("levels", input, output, gamma, 80);
    CheckIterative<KXCurvesTransformation>("curves", curves, 70);
    CheckIterative<KXExposureTransformation>("exposure", 3.5, 0.05);
    CheckIterative<KXGammaCorrectionTransformation>("gamma", 1.8);
    CheckIterative<KXPosterizeTransformation>("posterize", 5);
    CheckIterative<KXHueSaturationTransformation>("hue", 40, 30, -10, false);
    CheckIterative<KXColorBalanceTransformation>("balance", red, green, blue);
    CheckIterative<KXColorizeTransformation>("colorize", KXRGBA32i(0xFF3080C0u), 60);
    CheckIterative<KXPhotoFilterTransformation>("photo", KXRGBA32i(0xFFFF8000u), 45);
    CheckIterative<KXReplaceColorTransformation>("replace", KXRGBA32i(0x80808080u), KXRGBA32i(0x11223344u), 100);
    CheckIterative<KXBlackAndWhiteTransformation>("black and white", true, 0.4f, 0.4f, 0.2f);

    KXImageRGBA32i image(200, 150);
    image.Fill(KXRGBA32i(0xFF402010u));
    image.SetColor(5, 5, KXRGBA32i(0xFFF0E0D0u));
    for (auto function : {VQWBTransformation::BalanceFunction::Auto, VQWBTransformation::BalanceFunction::OverExposure,
                          VQWBTransformation::BalanceFunction::UnderExposure})
        CheckIterative<VQWBTransformation>("white balance", image, function, 70);
}
