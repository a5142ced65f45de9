// Conversions on a 6000 x 4000 photo-like image, next to a plain memcpy of
// the same bytes in the same run, and (built with OpenCV, KX_WITH_OPENCV)
// next to OpenCV's BGR <-> HLS conversions of the same pixels on one thread:
// the HSL and CMYK rows report their time over OpenCV's as xOpenCV, and,
// steadier under load from other processes, their processor time (pool
// threads included) over OpenCV's as xOpenCVcpu (on two threads that is the
// sum of both threads' time).

#include "KXBenchSupport.h"
#include "KXImageConversion.h"

#include <benchmark/benchmark.h>

#include <QThread>
#include <QThreadPool>

#include <chrono>
#include <ctime>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#ifdef KX_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
// Enough free blocks for a few 8-byte images (3,008 tiles each), reused warm.
constexpr long long kWarmBlocks = 12000;

// Smooth gradients with noise: neighbouring pixels differ, as in a photo.
const QImage& Photo()
{
    static const QImage photo = [] {
        QImage image(kWidth, kHeight, QImage::Format_ARGB32);
        std::mt19937 random(1);
        for (int y = 0; y < kHeight; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < kWidth; ++x) {
                const int noise = static_cast<int>(random() & 15);
                row[x] = qRgba((x * 255 / kWidth + noise) & 255, (y * 255 / kHeight + noise) & 255,
                               ((x + y) / 40 + noise) & 255, 255);
            }
        }
        return image;
    }();
    return photo;
}

// Made for each benchmark (outside its timing): no image may outlive the
// tile manager, which main() releases after the last benchmark.
KXImageRGBA32i PhotoImage()
{
    return ConvertImage<QImage, KXImageRGBA32i>(Photo());
}

void SetPixels(benchmark::State& state)
{
    state.counters["MPix/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight / 1e6,
                                                  benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
}

void BM_MemcpyBaseline(benchmark::State& state)
{
    std::vector<char> from(size_t(kWidth) * kHeight * 4, 1), to(from.size(), 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_MemcpyBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same copy into a newly allocated buffer, as every conversion to QImage
// must make one: fresh pages cost a page fault each.
void BM_MemcpyIntoNewBuffer(benchmark::State& state)
{
    std::vector<char> from(size_t(kWidth) * kHeight * 4, 1);
    for (auto _ : state) {
        std::unique_ptr<char[]> to(new char[from.size()]);
        std::memcpy(to.get(), from.data(), from.size());
        benchmark::DoNotOptimize(to.get());
    }
    SetPixels(state);
}
BENCHMARK(BM_MemcpyIntoNewBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();

// QImage -> image -> QImage, the whole exchange with the editor.
void BM_QImageRoundTrip(benchmark::State& state)
{
    const QImage& photo = Photo();
    KXParkedBlocks parked(kWarmBlocks);
    for (auto _ : state) {
        QImage out = ConvertImage<KXImageRGBA32i, QImage>(ConvertImage<QImage, KXImageRGBA32i>(photo));
        benchmark::DoNotOptimize(out);
    }
    SetPixels(state);
}
BENCHMARK(BM_QImageRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime();

// Times ConvertImage<Source, Target> on `source`, with warm tile blocks.
template <class Target, class Source>
void TimeConversion(benchmark::State& state, const Source& source)
{
    KXParkedBlocks parked(kWarmBlocks);
    for (auto _ : state) {
        Target out = ConvertImage<Source, Target>(source);
        benchmark::DoNotOptimize(out);
    }
    SetPixels(state);
}

void BM_QImageToImage(benchmark::State& state)
{
    TimeConversion<KXImageRGBA32i>(state, Photo());
}
BENCHMARK(BM_QImageToImage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImageToQImage(benchmark::State& state)
{
    TimeConversion<QImage>(state, PhotoImage());
}
BENCHMARK(BM_ImageToQImage)->Unit(benchmark::kMillisecond)->UseRealTime();

template <class Target>
void BM_To(benchmark::State& state)
{
    TimeConversion<Target>(state, PhotoImage());
}

template <class Source>
void BM_From(benchmark::State& state)
{
    TimeConversion<KXImageRGBA32i>(state, ConvertImage<KXImageRGBA32i, Source>(PhotoImage()));
}

BENCHMARK_TEMPLATE(BM_To, KXImageRGBA64i)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_From, KXImageRGBA64i)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_To, KXImageRGBA64f)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_From, KXImageRGBA64f)->Unit(benchmark::kMillisecond)->UseRealTime();

// Pool threads for the per-pixel colour conversions: argument 0.
class PoolThreads {
public:
    explicit PoolThreads(int64_t threads) { QThreadPool::globalInstance()->setMaxThreadCount(int(threads)); }
    ~PoolThreads() { QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount()); }
};

// Seconds per iteration of the OpenCV conversions, once they have run:
// wall clock and processor time.
double g_peerToHLS = 0, g_peerFromHLS = 0;
double g_peerToHLSCpu = 0, g_peerFromHLSCpu = 0;

// Processor seconds used by the whole process, pool threads included.
double ProcessSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

#ifdef KX_WITH_OPENCV
double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The photo's BGRA pixels, as OpenCV sees them.
const cv::Mat& PhotoMat()
{
    static const cv::Mat mat(kHeight, kWidth, CV_8UC4, const_cast<uchar*>(Photo().constBits()),
                             static_cast<size_t>(Photo().bytesPerLine()));
    return mat;
}

void TimePeer(benchmark::State& state, const cv::Mat& in, int code, double& seconds, double& cpuSeconds)
{
    cv::setNumThreads(1);
    cv::Mat out;
    cv::cvtColor(in, out, code); // the output made before the clock starts
    const double start = Seconds(), cpuStart = ProcessSeconds();
    for (auto _ : state) {
        cv::cvtColor(in, out, code);
        benchmark::DoNotOptimize(out.data);
    }
    seconds = (Seconds() - start) / static_cast<double>(state.iterations());
    cpuSeconds = (ProcessSeconds() - cpuStart) / static_cast<double>(state.iterations());
    state.SetLabel("one thread");
    SetPixels(state);
}

void BM_OpenCVBGRToHLS(benchmark::State& state)
{
    TimePeer(state, PhotoMat(), cv::COLOR_BGR2HLS, g_peerToHLS, g_peerToHLSCpu);
}
BENCHMARK(BM_OpenCVBGRToHLS)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenCVHLSToBGR(benchmark::State& state)
{
    cv::Mat hls;
    cv::cvtColor(PhotoMat(), hls, cv::COLOR_BGR2HLS);
    TimePeer(state, hls, cv::COLOR_HLS2BGR, g_peerFromHLS, g_peerFromHLSCpu);
}
BENCHMARK(BM_OpenCVHLSToBGR)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// One conversion on 1 or 2 pool threads, against `peer` seconds (wall
// clock) and `peerCpu` (processor time).
template <class Target, class Source>
void TimeColourModel(benchmark::State& state, const Source& source, const double& peer, const double& peerCpu)
{
    PoolThreads pool(state.range(0));
    KXParkedBlocks parked(kWarmBlocks);
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessSeconds();
    for (auto _ : state) {
        Target out = ConvertImage<Source, Target>(source);
        benchmark::DoNotOptimize(out);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuSeconds = (ProcessSeconds() - cpuStart) / static_cast<double>(state.iterations());
    state.counters["cpu_ms"] = cpuSeconds * 1e3;
    if (peer > 0)
        state.counters["xOpenCV"] = seconds / static_cast<double>(state.iterations()) / peer;
    if (peerCpu > 0)
        state.counters["xOpenCVcpu"] = cpuSeconds / peerCpu;
    SetPixels(state);
}

// Working image -> HSL and CMYK against OpenCV's BGR -> HLS (a per-pixel
// conversion of the same weight); HSL -> working image against HLS -> BGR.
void BM_ToHSL(benchmark::State& state)
{
    TimeColourModel<KXImageHSLA>(state, PhotoImage(), g_peerToHLS, g_peerToHLSCpu);
}
void BM_FromHSL(benchmark::State& state)
{
    TimeColourModel<KXImageRGBA32i>(state, ConvertImage<KXImageRGBA32i, KXImageHSLA>(PhotoImage()), g_peerFromHLS,
                                    g_peerFromHLSCpu);
}
void BM_ToCMYK(benchmark::State& state)
{
    TimeColourModel<KXImageCMYKA>(state, PhotoImage(), g_peerToHLS, g_peerToHLSCpu);
}
BENCHMARK(BM_ToHSL)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FromHSL)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ToCMYK)->ArgName("threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_From, KXImageCMYKA)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CMYKToQImage(benchmark::State& state)
{
    TimeConversion<QImage>(state, ConvertImage<KXImageRGBA32i, KXImageCMYKA>(PhotoImage()));
}
BENCHMARK(BM_CMYKToQImage)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
