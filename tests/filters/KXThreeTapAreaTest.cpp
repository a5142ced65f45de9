// The 3-tap area run done tile by tile in one go against the stages one
// after another (the plain scheme): selections with unselected, fully
// selected and partly selected rows, areas at the layer's corners and
// across tile borders, a selection smaller than its rectangle.

#include "KXDetailFilters.h"
#include "KXFilterRunSupport.h"
#include "KXFilterTestImages.h"
#include "filters/KXDetailFilterRun.h"

#include <gtest/gtest.h>

using KXFilterTest::Pixels;
using KXFilterTest::Progress;
using KXFilterTest::RandomImage;
using Scheme = KXLineRunner::Scheme;

TEST(KXThreeTapArea, EqualsTheStagesOneAfterAnother)
{
    // Opaque but for every 19th pixel, so smoothen's fast runs are broken now and then.
    KXImageRGBA32i layer = RandomImage(300, 270, 11);
    for (int y = 0; y < 270; ++y)
        for (int x = 0; x < 300; ++x)
            if ((y * 300 + x) % 19 != 0)
                layer.SetColor(x, y, KXRGBA32i(layer.GetColor(x, y).value | 0xFF000000u));
    // Row y % 4: 0 unselected, 1 fully selected, else alpha (x 37 + y 11) % 256.
    KXImageRGBA32i selection(150, 140);
    for (int y = 0; y < 140; ++y)
        for (int x = 0; x < 150; ++x) {
            const uint32_t alpha = y % 4 == 0 ? 0 : y % 4 == 1 ? 255 : uint32_t(x * 37 + y * 11) % 256;
            selection.SetColor(x, y, KXRGBA32i(alpha << 24 | 0x123456u));
        }
    const struct {
        QRect rect;
        QPoint offset;
    } areas[] = {
        {QRect(0, 0, 140, 135), QPoint(0, 0)},        // top left corner, across tile borders
        {QRect(0, 0, 200, 200), QPoint(100, 120)},    // the selection smaller than its rectangle
        {QRect(10, 5, 140, 135), QPoint(150, 130)},   // bottom right corner
    };
    for (bool sharpen : {true, false})
        for (int strength : {30, 200, 500})
            for (const auto& a : areas) {
                SCOPED_TRACE(testing::Message() << sharpen << " " << strength << " " << a.offset.x());
                std::vector<KXRGBA32i> out[2];
                std::vector<int> progress[2];
                for (int plain : {0, 1}) {
                    QReadWriteLock lock;
                    bool cancel = false;
                    KXSharpenProcessing filter(lock, cancel);
                    Progress seen(filter);
                    KXSharpenProcessing::SharpenData s;
                    KXSmoothenProcessing::SmoothenData m;
                    s.image = m.image = layer;
                    s.selection = m.selection = selection;
                    s.selectionRect = m.selectionRect = a.rect;
                    s.offset = m.offset = a.offset;
                    s.strength = m.strength = strength;
                    const Scheme scheme = plain ? Scheme::OneLineAtATime : Scheme::ConcurrentLines;
                    out[plain] = Pixels(sharpen ? KXDetailFilterRun::Sharpen(filter, lock, cancel, s, scheme)
                                                : KXDetailFilterRun::Smoothen(filter, lock, cancel, m, scheme));
                    progress[plain] = seen.values;
                }
                EXPECT_EQ(out[0], out[1]);
                EXPECT_EQ(progress[0], progress[1]);
            }
}
