// Inpainting of one 489 x 489 hole in the middle of a 6000 x 4000 photo, by
// both forms, next to a baseline in the same run: one read and one write of
// every row of the photo (the least the mask and front set-up does). When
// built with OpenCV (KX_WITH_OPENCV) OpenCV's inpaint (INPAINT_TELEA, radius
// 3, on the same pixels as 3-channel BGR, one thread) is timed too; it is a
// different method, so its ratio ("xOpenCV", this time over OpenCV's) is
// reported, not a goal.
//
// Inpainting runs on the calling thread; only the tiled form's set-up of
// the front goes through the pool, so the tiled form is timed on one pool
// thread and on the default pool. Times are process CPU time.

#include "KXBenchSupport.h"
#include "KXImageConversion.h"
#include "KXInpaint.h"
#include "KXTransformImageColors.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QThread>
#include <QThreadPool>

#include <ctime>
#include <random>
#include <vector>

#ifdef KX_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>
#endif

namespace {

using namespace KXBench;

const QRect kHole(kWidth / 2 - 244, kHeight / 2 - 244, 489, 489);

// Smooth gradients with noise, as in a photo, with the hole transparent.
const QImage& Photo()
{
    static const QImage photo = [] {
        QImage image(kWidth, kHeight, QImage::Format_ARGB32);
        std::mt19937 random(1);
        for (int y = 0; y < kHeight; ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < kWidth; ++x) {
                const uint32_t noise = random() & 31;
                const uint32_t r = (x * 255 / kWidth + noise) & 255, g = (y * 255 / kHeight + 2 * noise) & 255,
                               b = ((x + y) / 40 + noise) & 255;
                line[x] = kHole.contains(x, y) ? 0u : (0xff000000u | r << 16 | g << 8 | b);
            }
        }
        return image;
    }();
    return photo;
}

double& PeerSeconds() // OpenCV's CPU seconds per inpainting, 0 until timed
{
    static double seconds = 0;
    return seconds;
}

#ifdef KX_WITH_OPENCV
void PeerJob(cv::Mat& out)
{
    static const cv::Mat bgr = [] {
        cv::Mat bgra(kHeight, kWidth, CV_8UC4, const_cast<uchar*>(Photo().constBits()));
        cv::Mat three;
        cv::cvtColor(bgra, three, cv::COLOR_BGRA2BGR);
        return three;
    }();
    static const cv::Mat mask = [] {
        cv::Mat m(kHeight, kWidth, CV_8UC1, cv::Scalar(0));
        m(cv::Rect(kHole.x(), kHole.y(), kHole.width(), kHole.height())).setTo(255);
        return m;
    }();
    cv::inpaint(bgr, mask, out, 3, cv::INPAINT_TELEA);
}

void BM_OpenCVInpaintTelea(benchmark::State& state)
{
    cv::setNumThreads(1);
    cv::Mat out;
    PeerJob(out); // the inputs made once, untimed
    const double start = CpuSeconds();
    for (auto _ : state) {
        PeerJob(out);
        benchmark::DoNotOptimize(out.data);
    }
    PeerSeconds() = (CpuSeconds() - start) / state.iterations();
    state.SetLabel("one thread");
}
BENCHMARK(BM_OpenCVInpaintTelea)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#endif

void SetPeerRatio(benchmark::State& state, double seconds)
{
    if (PeerSeconds() > 0)
        state.counters["xOpenCV"] = seconds / PeerSeconds();
}

// Baseline: every row of the photo as a tiled image read and written once.
void BM_ReadWriteRows(benchmark::State& state)
{
    KXImageRGBA32i image = ConvertImage<QImage, KXImageRGBA32i>(Photo());
    KXParkedBlocks parked(3 * kTiles);
    ReadWriteRows(state, image);
}

void BM_InpaintQImage(benchmark::State& state)
{
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QImage image = Photo().copy();
        state.ResumeTiming();
        const double start = CpuSeconds();
        KXInpaint{image}(0);
        seconds += CpuSeconds() - start;
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel("calling thread");
    SetPeerRatio(state, seconds / state.iterations());
}

struct HoleMask {
    void operator()(KXRGBA32i& p) const { p = p.a < 255 ? 0xFFFF0000u : 0u; }
};

void BM_InpaintIterative(benchmark::State& state)
{
    QThreadPool::globalInstance()->setMaxThreadCount(state.range(0) == 1 ? 1 : QThread::idealThreadCount());
    const KXImageRGBA32i photo = ConvertImage<QImage, KXImageRGBA32i>(Photo());
    KXImageRGBA32i mask = photo;
    TransformPixels(mask, HoleMask());
    KXParkedBlocks parked(4 * kTiles);
    double seconds = 0;
    int passes = 0;
    for (auto _ : state) {
        KXImageRGBA32i image = photo; // shares every tile: only the hole's tiles are copied
        const double start = CpuSeconds();
        KXInpaintIterative inpaint(image, mask, image.Rect(), mask.Rect());
        for (passes = 0; inpaint();)
            ++passes;
        seconds += CpuSeconds() - start;
    }
    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    state.counters["passes"] = passes;
    state.SetLabel(state.range(0) == 1 ? "one thread" : "default pool");
    if (state.range(0) == 1)
        SetPeerRatio(state, seconds / state.iterations());
}

} // namespace

BENCHMARK(BM_ReadWriteRows)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_InpaintQImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_InpaintIterative)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
