#include "KXTransformImage.h"
#include "geometry/KXResample.h"

#include <gtest/gtest.h>

// Halving reads tile rows in place eight outputs at a time; blocks at tile
// seams and image edges and the short tail are copied first. Offsets move
// the windows against the seams; 301 columns put the last window past the
// right edge. The plain form blurs the whole copy and samples it.
TEST(BoxRows, HalvingMatchesBlurringTheWholeCopy)
{
    KXImageRGBA32i source(301, 40);
    for (uint32_t i = 0, v = 1; i < 301 * 40; ++i, v = v * 1664525u + 1013904223u)
        source.SetColor(int(i % 301), int(i / 301), KXRGBA32i(v));
    for (const double dx : {0.0, 0.25, 0.5, -3.0, -32.0}) {
        const QTransform t = QTransform::fromScale(0.5, 0.5) * QTransform::fromTranslate(dx, 0);
        KXImageRGBA32i fast(151, 20), plain(151, 20);
        ASSERT_TRUE(BilinearTransformImage(source, t, fast, QRect()));
        KXGeometry::SampleBlurred(KXGeometry::Quality::Bilinear, source, t.inverted(), plain,
                                  t.mapRect(source.Rect()) & plain.Rect(), 1, 1, true);
        for (int x = 0; x < 151; ++x)
            ASSERT_EQ(fast.GetColor(x, 7), plain.GetColor(x, 7)) << dx << " at " << x;
    }
}
