// The geometric transforms on a 6000 x 4000 layer, on one thread of Qt's
// global pool and on the default pool, next to a baseline in the same run
// (every row read and written once) and, on one thread, the peers on the
// same pixels: Qt's smooth rotation (QImage::transformed), and when built
// with OpenCV (KX_WITH_OPENCV) warpAffine and resize with INTER_AREA.
//
// Counters: MPix/s of the destination, and on one thread "xQt" / "xOpenCV",
// this benchmark's CPU time over the peer's for the same job (below 1 is
// faster). Times are the process's CPU time, which a busy machine disturbs
// less than the wall time. Qt's rotation writes the whole turned bounding
// box (about 7200 x 6500); ours and OpenCV's write 6000 x 4000.

#include "KXBenchSupport.h"
#include "KXScaleImage.h"
#include "KXTransformImage.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QThread>
#include <QThreadPool>
#include <QTransform>

#include <ctime>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#ifdef KX_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace KXBench;

const QImage& PhotoQImage()
{
    static const QImage image(reinterpret_cast<const uchar*>(PhotoPixels().data()), kWidth, kHeight,
                              QImage::Format_ARGB32);
    return image;
}

// 30 degrees about the centre of the layer.
QTransform Turn()
{
    return QTransform::fromTranslate(-kWidth / 2.0, -kHeight / 2.0) * QTransform().rotate(30) *
           QTransform::fromTranslate(kWidth / 2.0, kHeight / 2.0);
}

void BM_QtSmoothRotate(benchmark::State& state)
{
    PhotoQImage();
    PoolThreads pool(1);
    TimePeer(state, "qt rotate", [] {
        const QImage out = PhotoQImage().transformed(QTransform().rotate(30), Qt::SmoothTransformation);
        benchmark::DoNotOptimize(out.constBits());
    });
    SetPixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_QtSmoothRotate)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

#ifdef KX_WITH_OPENCV
void BM_OpenCVWarpAffine(benchmark::State& state)
{
    const int interpolation = state.range(0) == 3 ? cv::INTER_CUBIC : cv::INTER_LINEAR;
    const cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(kWidth / 2.0f, kHeight / 2.0f), -30, 1.0);
    PhotoMat();
    cv::setNumThreads(1);
    cv::Mat out;
    TimePeer(state, "warp " + std::to_string(state.range(0)), [&] {
        cv::warpAffine(PhotoMat(), out, m, cv::Size(kWidth, kHeight), interpolation, cv::BORDER_TRANSPARENT);
        benchmark::DoNotOptimize(out.data);
    });
    SetPixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_OpenCVWarpAffine)->ArgName("cubic")->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_OpenCVResizeArea(benchmark::State& state)
{
    const double f = state.range(0) / 100.0;
    PhotoMat();
    cv::setNumThreads(1);
    cv::Mat out;
    TimePeer(state, "resize " + std::to_string(state.range(0)), [&] {
        cv::resize(PhotoMat(), out, cv::Size(), f, f, cv::INTER_AREA);
        benchmark::DoNotOptimize(out.data);
    });
    SetPixels(state, kWidth * f * kHeight * f);
}
BENCHMARK(BM_OpenCVResizeArea)->ArgName("percent")->Arg(50)->Arg(25)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#endif

// Baseline: every row of a layer with private tiles read and written once.
void BM_ReadWriteRows(benchmark::State& state)
{
    KXImageRGBA32i image = Photo();
    KXParkedBlocks parked(3 * kTiles);
    ReadWriteRows(state, image);
    SetPixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_ReadWriteRows)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

using Sampler = bool (*)(const KXImageRGBA32i&, const QTransform&, KXImageRGBA32i&, const QRect&);

// One sampler call per iteration into a fresh destination; its blocks go
// back untimed. Sets the ratios to the peers (counter, job name) on one thread.
void RunSampler(benchmark::State& state, Sampler sampler, const QTransform& transform, const QSize& size,
                const std::vector<std::pair<const char*, std::string>>& peers)
{
    const KXImageRGBA32i source = Photo();
    PoolThreads pool(state.range(1));
    KXParkedBlocks parked(4 * kTiles);
    double seconds = 0;
    for (auto _ : state) {
        KXImageRGBA32i out(size.width(), size.height());
        const double start = CpuSeconds();
        sampler(source, transform, out, QRect());
        seconds += CpuSeconds() - start;
        state.PauseTiming();
        out = KXImageRGBA32i();
        state.ResumeTiming();
    }
    state.SetLabel(state.range(1) == 1 ? "one thread" : "default pool");
    SetPixels(state, double(size.width()) * size.height());
    if (state.range(1) == 1)
        for (const auto& peer : peers)
            SetPeerRatio(state, peer.first, peer.second, seconds / state.iterations());
}

void BM_Rotate30(benchmark::State& state)
{
    const bool cubic = state.range(0) == 3;
    RunSampler(state, cubic ? BicubicTransformImage : BilinearTransformImage, Turn(), QSize(kWidth, kHeight),
               {{"xOpenCV", cubic ? "warp 3" : "warp 1"}, {"xQt", "qt rotate"}});
}
BENCHMARK(BM_Rotate30)->ArgNames({"cubic", "threads"})->ArgsProduct({{1, 3}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// A shift by (0.3, 0.6) pixel: every bilinear fraction is 0.7 or 0.4, and the
// integer steps keep landing near rounding boundaries for channel
// differences of 5, 15, …, so most groups go to the double steps; next to
// warpAffine on the turn.
void BM_Shift(benchmark::State& state)
{
    RunSampler(state, BilinearTransformImage, QTransform::fromTranslate(0.3, 0.6), QSize(kWidth, kHeight),
               {{"xOpenCV", "warp 1"}});
}
BENCHMARK(BM_Shift)->ArgNames({"bilinear", "threads"})->Args({1, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_Downscale(benchmark::State& state)
{
    const double f = state.range(0) / 100.0;
    RunSampler(state, BilinearTransformImage, QTransform::fromScale(f, f), QSize(int(kWidth * f), int(kHeight * f)),
               {{"xOpenCV", "resize " + std::to_string(state.range(0))}});
}
BENCHMARK(BM_Downscale)->ArgNames({"percent", "threads"})->ArgsProduct({{50, 25}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// A 1920 x 1080 view from the middle of the layer at a zoom of 1/4 or 2.
void BM_ScaleImage(benchmark::State& state)
{
    const double scale = state.range(0) / 100.0;
    const KXImageRGBA32i source = Photo();
    QImage view(1920, 1080, QImage::Format_ARGB32);
    view.fill(0);
    const QPointF offset = scale < 1 ? QPointF(0, 0) : QPointF(2500, 1700);
    for (auto _ : state) {
        ScaleImage(source, offset, scale, view);
        benchmark::DoNotOptimize(view.constBits());
    }
    SetPixels(state, 1920.0 * 1080);
}
BENCHMARK(BM_ScaleImage)->ArgName("percent")->Arg(25)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace
