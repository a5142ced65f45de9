#include "KXTransformImage.h"
#include "geometry/KXResample.h"

#include <gtest/gtest.h>

#include <QTransform>

#include <random>

// Halving reads tile rows in place eight outputs at a time; blocks at tile
// seams and image edges and the short tail are copied first. Offsets move
// the windows against the seams; 301 columns put the last window past the
// right edge. The plain form blurs the whole copy and samples it.
TEST(BoxRows, HalvingMatchesBlurringTheWholeCopy)
{
    std::mt19937 random(3);
    KXImageRGBA32i source(301, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 301; ++x)
            source.SetColor(x, y, KXRGBA32i(static_cast<unsigned>(random())));
    for (const double dx : {0.0, 0.25, 0.5, -3.0, -32.0})
        for (const int width : {151, 134, 91}) {
            const QTransform t = QTransform::fromScale(0.5, 0.5) * QTransform::fromTranslate(dx, 0);
            KXImageRGBA32i fast(width, 20), plain(width, 20);
            ASSERT_TRUE(BilinearTransformImage(source, t, fast, QRect()));
            KXGeometry::SampleBlurred(KXGeometry::Quality::Bilinear, source, t.inverted(), plain,
                                      t.mapRect(source.Rect()) & plain.Rect(), 1, 1, true);
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(fast.GetColor(x, 7), plain.GetColor(x, 7)) << dx << ", " << width << " at " << x;
        }
}
