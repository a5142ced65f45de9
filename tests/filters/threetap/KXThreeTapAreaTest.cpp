// The 3-tap area run done tile by tile in one go against the stages one
// after another (the plain scheme): pixels and progress, for selections with
// unselected, fully selected and partly selected rows, areas at the layer's
// corners and across tile borders, a selection smaller than its rectangle.

#include "KXFilterRunSupport.h"
#include "KXFilterTestImages.h"
#include "filters/KXDetailFilterRun.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(KXThreeTapArea, EqualsTheStagesOneAfterAnother)
{
    // Opaque but for every 19th pixel, so smoothen's fast runs break now and then.
    KXImageRGBA32i layer = KXFilterTest::RandomImage(300, 270, 11);
    for (int i = 0; i < 300 * 270; ++i)
        layer.SetColor(i % 300, i / 300, KXRGBA32i(layer.GetColor(i % 300, i / 300).value | (i % 19 ? ~0u << 24 : 0)));
    // Selection row y % 4: 0 unselected, 1 fully selected, else alpha (37 x + 11 y) % 256.
    KXImageRGBA32i selection(150, 140);
    for (int i = 0; i < 150 * 140; ++i) {
        const int x = i % 150, y = i / 150;
        selection.SetColor(x, y, KXRGBA32i((y % 4 == 0 ? 0u : y % 4 == 1 ? 255u : (x * 37u + y * 11u) % 256) << 24));
    }
    // Top left corner; the selection smaller than its rectangle; bottom right corner.
    const std::pair<QRect, QPoint> areas[] = {{QRect(0, 0, 140, 135), QPoint(0, 0)},
                                              {QRect(0, 0, 200, 200), QPoint(100, 120)},
                                              {QRect(10, 5, 140, 135), QPoint(150, 130)}};
    for (int strength : {30, 200, 500})
        for (const auto& area : areas)
            for (bool sharpen : {true, false}) {
                std::vector<KXRGBA32i> out[2];
                std::vector<int> progress[2];
                for (int plain : {0, 1}) {
                    QReadWriteLock lock;
                    bool cancel = false;
                    KXSharpenProcessing filter(lock, cancel);
                    KXFilterTest::Progress seen(filter);
                    KXSharpenProcessing::SharpenData s;
                    KXSmoothenProcessing::SmoothenData m;
                    s.image = m.image = layer;
                    s.selection = m.selection = selection;
                    std::tie(s.selectionRect, s.offset) = std::tie(m.selectionRect, m.offset) = area;
                    s.strength = m.strength = strength;
                    using Scheme = KXLineRunner::Scheme;
                    const Scheme scheme = plain ? Scheme::OneLineAtATime : Scheme::ConcurrentLines;
                    using namespace KXDetailFilterRun;
                    out[plain] = KXFilterTest::Pixels(sharpen ? Sharpen(filter, lock, cancel, s, scheme)
                                                              : Smoothen(filter, lock, cancel, m, scheme));
                    progress[plain] = seen.values;
                }
                EXPECT_EQ(out[0], out[1]) << strength << " " << area.second.x() << " " << sharpen;
                EXPECT_EQ(progress[0], progress[1]);
            }
}
