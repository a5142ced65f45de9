// The two blur filters on a 6000 x 4000 layer (whole-image case), on one
// thread of Qt's global pool and on the default pool, next to a baseline in
// the same run: one read and one write of every row (the least that a row
// pass does), and, when built with OpenCV (KX_WITH_OPENCV, see
// scripts/bench --with-peers), OpenCV's GaussianBlur and blur on the same
// pixels on one thread.
//
// Counters: MPix/s, and with OpenCV "xOpenCV", this benchmark's time over
// OpenCV's for the same job (below 1 is faster), both on one thread and
// measured as the process's CPU time, which a busy machine disturbs less
// than the wall time (the CPU column is the process's too). The OpenCV
// benchmarks are registered first and their times kept for the ratios; when
// they were filtered out the filter benchmark times OpenCV itself once.
//
// The Gaussian also runs on a layer with transparency (one thread, no
// peer; compare it with the opaque job): its translucent blocks take the
// alpha-weighted float sums, its empty ones no sums at all.
//
// The filters' kernel radius for sigma s is max(1, trunc(3 s)); OpenCV gets
// the same window (2r + 1) and repeats edge pixels as the filters do. The
// layer is opaque, so the filters' alpha weighting changes no colour and
// both do the same work.

#include "KXBenchSupport.h"
#include "KXBlurFilters.h"

#include <benchmark/benchmark.h>

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifdef KX_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace KXBench;

#ifdef KX_WITH_OPENCV
void PeerJob(int window, double sigma, cv::Mat& out)
{
    if (sigma > 0)
        cv::GaussianBlur(PhotoMat(), out, cv::Size(window, window), sigma, sigma, cv::BORDER_REPLICATE);
    else
        cv::blur(PhotoMat(), out, cv::Size(window, window), cv::Point(-1, -1), cv::BORDER_REPLICATE);
}

// Times the OpenCV job once (one thread, its output made first) unless its
// benchmark did.
double PeerTime(const std::string& name, int window, double sigma)
{
    auto found = PeerSeconds().find(name);
    if (found != PeerSeconds().end())
        return found->second;
    cv::setNumThreads(1);
    cv::Mat out;
    PeerJob(window, sigma, out);
    const double start = CpuSeconds();
    PeerJob(window, sigma, out);
    const double seconds = (CpuSeconds() - start);
    PeerSeconds()[name] = seconds;
    return seconds;
}

void BM_OpenCVGaussianBlur(benchmark::State& state)
{
    const double sigma = static_cast<double>(state.range(0));
    const int window = 2 * std::max(1, int(sigma * 3.0)) + 1;
    PhotoMat();
    cv::setNumThreads(1);
    cv::Mat out;
    TimePeer(state, "gaussian " + std::to_string(state.range(0)), [&] {
        PeerJob(window, sigma, out);
        benchmark::DoNotOptimize(out.data);
    });
    SetPixels(state);
}

void BM_OpenCVBlur(benchmark::State& state)
{
    const int radius = static_cast<int>(state.range(0));
    PhotoMat();
    cv::setNumThreads(1);
    cv::Mat out;
    TimePeer(state, "box " + std::to_string(radius), [&] {
        PeerJob(2 * radius + 1, 0, out);
        benchmark::DoNotOptimize(out.data);
    });
    SetPixels(state);
}

BENCHMARK(BM_OpenCVGaussianBlur)->ArgName("sigma")->Arg(2)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_OpenCVBlur)->ArgName("r")->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#endif

// The filter's time per iteration against OpenCV's for the same job.
void SetPeerRatio(benchmark::State& state, double seconds, const std::string& name, int window, double sigma)
{
#ifdef KX_WITH_OPENCV
    state.counters["xOpenCV"] = seconds / PeerTime(name, window, sigma);
#else
    (void)state, (void)seconds, (void)name, (void)window, (void)sigma;
#endif
}

// Baseline: every row of a layer with private tiles read and written once.
void BM_ReadWriteRows(benchmark::State& state)
{
    KXImageRGBA32i image = Photo();
    KXParkedBlocks parked(3 * kTiles);
    ReadWriteRows(state, image);
    SetPixels(state);
}

template <class Filter, class Data>
void RunFilter(benchmark::State& state, const Data& data, const std::string& peer, int window, double sigma)
{
    PoolThreads pool(state.range(1));
    KXParkedBlocks parked(3 * kTiles);
    QReadWriteLock lock;
    bool cancel = false;
    Filter filter(lock, cancel);
    double seconds = 0;
    for (auto _ : state) {
        const double start = CpuSeconds();
        KXImageRGBA32i out = filter.run(data);
        benchmark::DoNotOptimize(out.Width());
        seconds += (CpuSeconds() - start);
        state.PauseTiming(); // the result's blocks go back untimed
        out = KXImageRGBA32i();
        state.ResumeTiming();
    }
    state.SetLabel(PoolName(state.range(1)));
    SetPixels(state);
    if (state.range(1) == 1 && !peer.empty())
        SetPeerRatio(state, seconds / state.iterations(), peer, window, sigma);
}

void BM_GaussianBlurFilter(benchmark::State& state)
{
    KXGaussianBlurProcessing::BlurData data;
    data.image = Photo();
    data.sigma = static_cast<double>(state.range(0));
    const int window = 2 * std::max(1, int(data.sigma * 3.0)) + 1;
    RunFilter<KXGaussianBlurProcessing>(state, data, "gaussian " + std::to_string(state.range(0)), window,
                                        data.sigma);
}

// A layer with transparency: the photo's colours under an alpha that is 0
// on the left quarter, 255 on the right quarter and ramps between, so that
// every band of rows mixes opaque, translucent and empty pixels.
KXImageRGBA32i TranslucentPhoto()
{
    KXImageRGBA32i image = Photo();
    std::vector<KXRGBA32i> row(kWidth);
    for (int y = 0; y < kHeight; ++y) {
        image.GetLine(unsigned(y), row.data(), kWidth * 4);
        for (int x = 0; x < kWidth; ++x)
            row[size_t(x)].a = uint8_t(std::clamp((x - kWidth / 4) * 255 / (kWidth / 2), 0, 255));
        image.SetLine(unsigned(y), row.data(), kWidth * 4);
    }
    return image;
}

void BM_GaussianBlurTranslucent(benchmark::State& state)
{
    KXGaussianBlurProcessing::BlurData data;
    data.image = TranslucentPhoto();
    data.sigma = static_cast<double>(state.range(0));
    RunFilter<KXGaussianBlurProcessing>(state, data, "", 0, 0);
}

void BM_BoxBlurFilter(benchmark::State& state)
{
    KXBoxBlurProcessing::BlurData data;
    data.image = Photo();
    data.radius = static_cast<int>(state.range(0));
    RunFilter<KXBoxBlurProcessing>(state, data, "box " + std::to_string(data.radius), 2 * data.radius + 1, 0);
}

BENCHMARK(BM_ReadWriteRows)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_GaussianBlurFilter)
    ->ArgNames({"sigma", "threads"})
    ->ArgsProduct({{2, 5, 20}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_GaussianBlurTranslucent)
    ->ArgNames({"sigma", "threads"})
    ->ArgsProduct({{2}, {1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_BoxBlurFilter)
    ->ArgNames({"r", "threads"})
    ->ArgsProduct({{5, 50}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace
