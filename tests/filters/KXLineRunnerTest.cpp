#include "filters/KXLineRunner.h"

#include "KXFilterPasses.h"
#include "VQTileManager64.h"

#include <gtest/gtest.h>

#include <QThreadPool>
#include <QWriteLocker>

#include <numeric>
#include <random>

namespace {

using Image = KXImageRGBA32i;
using Scheme = KXLineRunner::Scheme;

Image RandomImage(int width, int height, unsigned int seed)
{
    Image image(static_cast<unsigned int>(width), static_cast<unsigned int>(height));
    std::mt19937 random(seed);
    std::vector<KXRGBA32i> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (KXRGBA32i& p : row) {
            p = KXRGBA32i(random());
            if (random() % 3 == 0)
                p.a = random() % 2 ? 0 : 255;
        }
        image.SetLine(unsigned(y), row.data(), unsigned(width) * 4);
    }
    return image;
}

bool SamePixels(const Image& a, const Image& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    std::vector<KXRGBA32i> ra(a.Width()), rb(b.Width());
    for (unsigned int y = 0; y < a.Height(); ++y) {
        a.GetLine(y, ra.data(), a.Width() * 4);
        b.GetLine(y, rb.data(), b.Width() * 4);
        if (ra != rb)
            return false;
    }
    return true;
}

struct Outcome {
    Image image;
    std::vector<int> progress;
    long long blocksHeld = 0; // blocks the run added
    bool finished = false;
};

// Every kind of stage a filter has, over an area that crosses tile
// borders: kernel passes, box passes and a per-row stage, on an image
// whose tiles are all shared with `original` when it starts. `cancelAfter`
// sets the cancel flag from the progress callback once that many steps
// are done.
Outcome RunStages(const Image& original, Scheme scheme, int cancelAfter = -1)
{
    QReadWriteLock lock;
    bool cancel = false;
    Outcome out;
    out.image = original;
    const long long available = VQTileManager64::Instance()->GetAvailableCount();
    KXLineRunner runner(lock, cancel, [&](int done) {
        out.progress.push_back(done);
        if (done == cancelAfter) {
            QWriteLocker locker(&lock);
            cancel = true;
        }
    }, scheme);
    Image& image = out.image;
    const QRect area(100, 60, 500, 300);
    KXKernelPass<KXGaussian1DPremul> h(image, area.adjusted(-15, -15, 15, 15), KXGaussian1DPremul(5.0),
                                       KXPassDirection::Horizontal);
    KXKernelPass<KXGaussian1DPremul> v(image, area, KXGaussian1DPremul(5.0), KXPassDirection::Vertical);
    KXBoxPass<KXRGBABlurAccumulatorPremul> bh(image, area, KXRGBABlurAccumulatorPremul(9), KXPassDirection::Horizontal);
    KXBoxPass<KXAlphaBlurAccumulatorWithInvert> bv(image, QRect(), KXAlphaBlurAccumulatorWithInvert(4),
                                                   KXPassDirection::Vertical);
    KXKernelPass<KXSimpleSharpenKernel1D> sh(image, QRect(0, 0, 640, 1), KXSimpleSharpenKernel1D(40),
                                             KXPassDirection::Horizontal);
    runner.Run(h);
    runner.Run(v);
    runner.Run(bh);
    runner.Run(bv);
    runner.Run(sh);
    // A per-row stage: row i of the area takes the inverted colours of the
    // row below it in `original`.
    const QRect rows(37, 10, 300, 250);
    runner.RunRows(rows.height(), [&](int i) {
        std::vector<KXRGBA32i> line(static_cast<size_t>(rows.width()));
        original.GetLine(unsigned(rows.top() + i + 1), unsigned(rows.left()), line.data(), unsigned(rows.width()) * 4);
        for (KXRGBA32i& p : line)
            p.value ^= 0x00FFFFFFu;
        image.SetLine(unsigned(rows.top() + i), unsigned(rows.left()), line.data(), unsigned(rows.width()) * 4);
    }, image, rows);
    out.finished = !runner.Cancelled();
    EXPECT_EQ(runner.Done(), static_cast<int>(out.progress.size()));
    out.blocksHeld = available - VQTileManager64::Instance()->GetAvailableCount();
    return out;
}

} // namespace

TEST(KXLineRunner, ConcurrentLinesEqualOneLineAtATime)
{
    // 700 x 420: six tile columns and four tile rows, ragged at both edges.
    const Image original = RandomImage(700, 420, 11);
    const Image untouched = original;
    const Outcome plain = RunStages(original, Scheme::OneLineAtATime);
    const Outcome fast = RunStages(original, Scheme::ConcurrentLines);
    ASSERT_TRUE(plain.finished);
    ASSERT_TRUE(fast.finished);
    EXPECT_TRUE(SamePixels(plain.image, fast.image));
    EXPECT_FALSE(SamePixels(plain.image, original)); // the stages did something
    EXPECT_TRUE(SamePixels(original, untouched));    // the shared tiles were copied, not written
    // Steps: 330 + 500 + 300 + 700 + 1 lines + 250 rows, 1 … 2081 in order.
    std::vector<int> expected(2081);
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(plain.progress, expected);
    EXPECT_EQ(fast.progress, expected);
    // The same tiles were made private.
    EXPECT_EQ(plain.blocksHeld, fast.blocksHeld);
}

TEST(KXLineRunner, ACancelEndsTheStageAndEveryLaterOne)
{
    const Image original = RandomImage(300, 200, 12);
    // Set before the first step: nothing happens, no progress.
    {
        QReadWriteLock lock;
        bool cancel = true;
        std::vector<int> progress;
        Image image = original;
        KXLineRunner runner(lock, cancel, [&](int done) { progress.push_back(done); });
        KXKernelPass<KXGaussian1D> pass(image, QRect(), KXGaussian1D(1.0), KXPassDirection::Horizontal);
        EXPECT_FALSE(runner.Run(pass));
        EXPECT_TRUE(runner.Cancelled());
        EXPECT_TRUE(progress.empty());
        EXPECT_EQ(image.Tile(0, 0)->data(), original.Tile(0, 0)->data()); // not even detached
        cancel = false; // a later stage still does nothing
        EXPECT_FALSE(runner.RunRows(3, [](int) { ADD_FAILURE() << "a row ran after the cancel"; }));
        EXPECT_EQ(runner.Done(), 0);
    }
    // Set during a stage: the plain scheme stops right after that step; the
    // concurrent one finishes the lines it had admitted (at most one wave).
    // Either way the steps done are counted 1, 2, 3, … and later stages do
    // nothing.
    for (Scheme scheme : {Scheme::OneLineAtATime, Scheme::ConcurrentLines}) {
        const Outcome out = RunStages(original, scheme, 100);
        EXPECT_FALSE(out.finished);
        const int done = static_cast<int>(out.progress.size());
        if (scheme == Scheme::OneLineAtATime)
            EXPECT_EQ(done, 100);
        else
            EXPECT_TRUE(done >= 100 && done < 100 + std::max(KXLineRunner::kWaveLines, 2 * KXLineRunner::kChunkLines * QThreadPool::globalInstance()->maxThreadCount())) << done;
        for (int i = 0; i < done; ++i)
            ASSERT_EQ(out.progress[size_t(i)], i + 1);
    }
}
