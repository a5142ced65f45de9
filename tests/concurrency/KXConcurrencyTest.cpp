// Work on several threads at once: a filter cancelled from another thread,
// caches read while a run replaces them, one colour stack applied to copies
// that share their tiles. The thread-sanitizer build runs these with zero
// reports; here they check what must hold whatever the interleaving.

#include "KXBlurFilters.h"
#include "KXColorTransform.h"
#include "KXDetailFilters.h"
#include "KXEffectFilters.h"
#include "KXFilterRunSupport.h"
#include "KXFilterTestImages.h"

#include <QReadLocker>
#include <QWriteLocker>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <functional>
#include <thread>

using KXFilterTest::Pixels;
using KXFilterTest::RandomImage;

TEST(KXConcurrency, FilterCancelledFromAnotherThread)
{
    // The run goes on a thread of its own, the cancel comes from this one
    // once progress is seen: the run returns, progress only climbs within
    // the range, and the caller's layer keeps its pixels.
    const KXImageRGBA32i layer = RandomImage(700, 500, 3);
    const std::vector<KXRGBA32i> before = Pixels(layer);
    QReadWriteLock lock;
    bool cancel = false;
    std::atomic<bool> seen{false};
    std::vector<int> values;
    int maximum = 0;
    KXImageRGBA32i out;
    std::thread run([&] {
        KXGaussianBlurProcessing filter(lock, cancel);
        QObject::connect(&filter, &KXAdjustmentProcessing::ProgressChanged, [&] {
            values.push_back(filter.GetRangeValue());
            maximum = filter.GetMaximumRange();
            seen.store(true);
        });
        KXGaussianBlurProcessing::BlurData data;
        data.image = layer;
        out = filter.run(data);
        seen.store(true);
    });
    while (!seen.load())
        std::this_thread::yield();
    {
        QWriteLocker locker(&lock);
        cancel = true;
    }
    run.join();
    EXPECT_EQ(out.Rect(), layer.Rect());
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end(), std::less_equal<int>()));
    EXPECT_LE(values.empty() ? 0 : values.back(), maximum);
    EXPECT_EQ(Pixels(layer), before);
}

TEST(KXConcurrency, CachesReadWhileRunsReplaceThem)
{
    // Runs of two sizes replace the high pass and noise caches while this
    // thread takes copies of them: a copy never changes afterwards, and the
    // high pass of a uniform opaque layer is mid grey all over.
    QReadWriteLock lock, cacheLock;
    bool cancel = false;
    double sigma = 0.0;
    KXImageRGBA32i highPass, uniform, gaussian;
    std::atomic<bool> done{false};
    std::thread runs([&] {
        KXHighPassProcessing high(lock, cancel, cacheLock, sigma, highPass);
        KXAddNoiseProcessing noise(lock, cancel, cacheLock, uniform, gaussian);
        for (int i = 0; i < 6; ++i) {
            const KXImageRGBA32i layer = KXFilterTest::Uniform(i % 2 ? 300 : 200, 150, 0xFF40C020);
            KXHighPassProcessing::HighPassData h;
            h.image = layer;
            h.sigma = 1.0 + i;
            high.run(h);
            KXAddNoiseProcessing::AddNoiseData n;
            n.image = layer;
            noise.run(n);
        }
        done.store(true);
    });
    std::vector<std::pair<KXImageRGBA32i, std::vector<KXRGBA32i>>> copies;
    for (int i = 0; i < 100 && !done.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        KXImageRGBA32i a, b;
        {
            QReadLocker locker(&cacheLock);
            a = highPass;
            b = uniform;
        }
        for (const KXImageRGBA32i& copy : {a, b})
            copies.emplace_back(copy, Pixels(copy));
        for (KXRGBA32i p : copies[copies.size() - 2].second)
            ASSERT_EQ(p, KXRGBA32i(0xFF808080));
    }
    runs.join();
    for (const auto& [copy, pixels] : copies)
        ASSERT_EQ(Pixels(copy), pixels);
}

TEST(KXConcurrency, OneColourStackOnSharedCopiesFromSeveralThreads)
{
    // Red as grey, then no blue: every pixel becomes (r, r, 0) with its alpha.
    // Four copies share the source's tiles; each thread detaches its own.
    const KXImageRGBA32i source = RandomImage(520, 300, 11);
    const std::vector<KXRGBA32i> before = Pixels(source);
    KXColorTransformStack stack;
    stack.Push(new KXRGBChannelFilter(KXRGBChannelFilter::RedAsGray));
    stack.Push(new KXRGBChannelFilter(KXRGBChannelFilter::NoBlue));
    std::vector<KXImageRGBA32i> copies(4, source);
    std::vector<std::thread> threads;
    for (KXImageRGBA32i& copy : copies)
        threads.emplace_back([&stack, &copy] { stack(copy); });
    for (std::thread& thread : threads)
        thread.join();
    std::vector<KXRGBA32i> expected = before;
    for (KXRGBA32i& p : expected) {
        p.g = p.r;
        p.b = 0;
    }
    for (const KXImageRGBA32i& copy : copies)
        EXPECT_EQ(Pixels(copy), expected);
    EXPECT_EQ(Pixels(source), before);
}
