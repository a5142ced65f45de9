// The filters' row stage against a plain pixel loop where every image's
// tiles are cut somewhere else; the high pass over the whole layer and over
// an area, which blend back a block of rows at a time, against their stages
// run one after another.

#include "KXBlendModes.h"
#include "KXBlurFilters.h"
#include "KXDetailFilters.h"
#include "KXFilterPasses.h"
#include "KXFilterTestImages.h"
#include "compositing/KXPixelRows.h"
#include "filters/KXFilterStages.h"

#include <gtest/gtest.h>

TEST(KXFilterStages, BlendRowsCutAtEveryImagesSeams)
{
    // The source at (37, -61), the selection at (-90, 5): their seams fall
    // at target x 165 / 166 and y 195 / 133, 261, the target's at 128 and
    // 256, all inside the rows. The target shares its tiles with `before`.
    using KXFilterTest::RandomImage;
    const KXImageRGBA32i source = RandomImage(300, 400, 1), selection = RandomImage(400, 300, 2);
    const KXImageRGBA32i before = RandomImage(300, 300, 3);
    const auto mix = [](uint32_t s, uint32_t m, uint32_t d) { return KXRGBA32i(s + 3 * m + 7 * d); };
    const QRect rows(100, 70, 180, 200);
    QReadWriteLock lock;
    bool cancel = false;
    KXLineRunner runner(lock, cancel, {});
    KXImageRGBA32i target = before;
    KXFilterStages::BlendRows<true>(runner, source, QPoint(37, -61), target, &selection, QPoint(-90, 5), rows,
                                    [&](const KXRGBA32i* s, KXRGBA32i* d, const KXRGBA32i* m, int n) {
                                        for (int i = 0; i < n; ++i)
                                            d[i] = mix(s[i], m[i], d[i]);
                                    });
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(target.GetColor(x, y), !rows.contains(x, y) ? before.GetColor(x, y)
                                             : mix(source.GetColor(x - 37, y + 61), selection.GetColor(x + 90, y - 5),
                                                   before.GetColor(x, y)))
                << x << "," << y;
}

TEST(KXFilterStages, WholeHighPassIsBlurSubtractedThenBlendedOnce)
{
    // Overlay at 60 % over 3 x 2 tiles: the Gaussian blur filter, each
    // colour layer - blur + 128 (the blur's alpha kept), one BlendOn.
    const KXImageRGBA32i layer = KXFilterTest::RandomImage(300, 200, 4);
    QReadWriteLock lock, cacheLock;
    bool cancel = false;
    double cachedSigma = -1.0;
    KXImageRGBA32i cached, expected = layer;
    KXGaussianBlurProcessing::BlurData blur;
    blur.image = layer;
    blur.sigma = 3.0;
    KXImageRGBA32i h = KXGaussianBlurProcessing(lock, cancel).run(blur);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x) {
            KXRGBA32i p = h.GetColor(x, y);
            KXPixelRows::SubtractPixel(layer.GetColor(x, y), p, 128, p);
            h.SetColor(x, y, p);
        }
    BlendOn(h, h.Rect(), KXBlendMode::Overlay, expected, expected.Rect(), 0.6, false);
    KXHighPassProcessing::HighPassData data;
    data.image = layer;
    data.sigma = 3.0;
    data.modeIndex = 1;
    data.amount = 60;
    const KXImageRGBA32i out = KXHighPassProcessing(lock, cancel, cacheLock, cachedSigma, cached).run(data);
    EXPECT_EQ(KXFilterTest::Pixels(out), KXFilterTest::Pixels(expected));
    EXPECT_EQ(KXFilterTest::Pixels(cached), KXFilterTest::Pixels(h));
}

TEST(KXFilterStages, AreaHighPassIsBlurSubtractedCutAndBlendedOnce)
{
    // A random selection of 90 x 70 in a rect of 100 x 80 at (5, 3), moved
    // by (220, 230): the area crosses the tile seam at 256 and is cut by the
    // layer's edges; H's pixels past the selection stay transparent black.
    // An opaque selection over the whole rect takes the unmasked blend.
    KXImageRGBA32i opaque(110, 90);
    opaque.Fill(KXRGBA32i(0xFF000000u));
    for (const KXImageRGBA32i& selection : {KXFilterTest::RandomImage(90, 70, 8), opaque}) {
        const KXImageRGBA32i layer = KXFilterTest::RandomImage(300, 300, 7);
        const QRect selectionRect(5, 3, 100, 80), a = selectionRect.translated(220, 230), target = a & layer.Rect();
        KXHighPassProcessing::HighPassData data;
        data.image = layer;
        data.selection = selection;
        data.selectionRect = selectionRect;
        data.offset = QPoint(220, 230);
        data.sigma = 3.0;
        data.modeIndex = 1;
        data.amount = 60;
        QReadWriteLock lock, cacheLock;
        bool cancel = false;
        double cachedSigma = -1.0;
        KXImageRGBA32i c = layer, h(100, 80), expected = layer, cached;
        KXLineRunner runner(lock, cancel, {}, KXLineRunner::Scheme::OneLineAtATime);
        const KXGaussian1DPremul kernel(3.0);
        KXKernelPass<KXGaussian1DPremul> rows(c, a.adjusted(-3, -3, 3, 3) & layer.Rect(), kernel,
                                              KXPassDirection::Horizontal);
        KXKernelPass<KXGaussian1DPremul> columns(c, target, kernel, KXPassDirection::Vertical);
        runner.Run(rows);
        runner.Run(columns);
        for (int y = target.top(); y <= target.bottom(); ++y)
            for (int x = target.left(); x <= target.right(); ++x) {
                KXRGBA32i p = c.GetColor(x, y);
                KXPixelRows::SubtractPixel(layer.GetColor(x, y), p, 128, p);
                c.SetColor(x, y, p);
            }
        BlendMaskOn(c, a, KXBlendMode::Source, h, h.Rect(), 1.0, data.selection, selectionRect, false, false);
        BlendMaskOn(h, h.Rect(), KXBlendMode::Overlay, expected, a, 0.6, data.selection, selectionRect, false,
                    false);
        const KXImageRGBA32i out =
            KXHighPassProcessing(lock, cancel, cacheLock, cachedSigma, cached).run(data);
        EXPECT_EQ(KXFilterTest::Pixels(out), KXFilterTest::Pixels(expected));
        EXPECT_EQ(KXFilterTest::Pixels(cached), KXFilterTest::Pixels(h));
    }
}
