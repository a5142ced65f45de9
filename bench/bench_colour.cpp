// Colour adjustments, white balance and ICC transforms over a 6000 x 4000
// image, each next to its baseline in the same run:
// - table adjustments against a plain read-modify-write pass over as many
//   bytes as the tiles hold (the memory limit);
// - the ICC transform against Little CMS called directly on a contiguous
//   buffer of the same pixels, same profiles, format and intent;
// - the iterative forms through QtConcurrent::blockingMap on two threads
//   against the plain adjustment on one;
// - hue/saturation and colour temperature against OpenCV's BGR -> HLS on one
//   thread (built with OpenCV, KX_WITH_OPENCV): counter xOpenCV, and
//   xOpenCVcpu in processor time (pool threads included; steadier under load
//   from other processes).
// The tiled walks run their tiles on Qt's global pool: levels, the
// QColor-based adjustments and the ICC walk are timed with a pool of one and
// of two threads (argument 1 or 2), and every walk on the wall clock.

#include "KXBenchSupport.h"
#include "KXTestProfiles.h"
#include "KXColorAdjustments.h"
#include "KXIterativeAdjustments.h"
#include "KXParallel.h"
#include "KXTonalAdjustments.h"
#include "KXTransformImageColors.h"
#include "VQCMSTransform.h"
#include "VQWBTransformation.h"

#include <QColor>
#include <QThreadPool>

#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

#ifdef KX_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Image = KXImage<KXRGBA32i, 128, 128>;
constexpr unsigned int kWidth = 6000;
constexpr unsigned int kHeight = 4000;
constexpr long long kTiles = 47 * 32;

// A photo-like picture: smooth gradients with a little noise, opaque.
KXRGBA32i PhotoPixel(unsigned int x, unsigned int y)
{
    uint32_t h = x * 374761393u + y * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    const int noise = static_cast<int>(h >> 28) - 8;
    auto channel = [noise](int v) { return static_cast<uint32_t>(std::min(std::max(v + noise, 0), 255)); };
    const int r = static_cast<int>(x * 255 / kWidth), g = static_cast<int>(y * 255 / kHeight);
    const int b = static_cast<int>((x + 2 * y) % 512 / 2);
    return KXRGBA32i(0xFF000000u | channel(r) << 16 | channel(g) << 8 | channel(b));
}

std::vector<KXRGBA32i> PhotoRow(unsigned int y)
{
    std::vector<KXRGBA32i> row(kWidth);
    for (unsigned int x = 0; x < kWidth; ++x)
        row[x] = PhotoPixel(x, y);
    return row;
}

Image Photo()
{
    Image image(kWidth, kHeight);
    for (unsigned int y = 0; y < kHeight; ++y)
        image.SetLine(y, PhotoRow(y).data(), kWidth * 4);
    return image;
}

std::vector<KXRGBA32i> PhotoBuffer()
{
    std::vector<KXRGBA32i> pixels(size_t(kWidth) * kHeight);
    for (unsigned int y = 0; y < kHeight; ++y)
        for (unsigned int x = 0; x < kWidth; ++x)
            pixels[size_t(y) * kWidth + x] = PhotoPixel(x, y);
    return pixels;
}

// Qt's global pool limited to `threads` while alive (0: left as it is).
class PoolThreads {
public:
    explicit PoolThreads(int threads) : m_saved(QThreadPool::globalInstance()->maxThreadCount())
    {
        if (threads > 0)
            QThreadPool::globalInstance()->setMaxThreadCount(threads);
    }
    ~PoolThreads() { QThreadPool::globalInstance()->setMaxThreadCount(m_saved); }
    PoolThreads(const PoolThreads&) = delete;
    PoolThreads& operator=(const PoolThreads&) = delete;

private:
    int m_saved;
};

void SetPixels(benchmark::State& state)
{
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}

KXLevelsTransformation Levels()
{
    int input[4][2] = {{10, 240}, {0, 255}, {5, 250}, {0, 230}};
    int output[4][2] = {{0, 255}, {10, 255}, {0, 245}, {0, 255}};
    double gamma[4] = {1.1, 0.9, 1.0, 1.3};
    return KXLevelsTransformation(input, output, gamma, 80);
}

KXCurvesTransformation Curves()
{
    QVector<QPoint> curves[4] = {
        {{0, 0}, {64, 80}, {192, 200}, {255, 255}}, {{0, 10}, {255, 240}}, {}, {{0, 0}, {128, 110}, {255, 255}}};
    return KXCurvesTransformation(curves, 100);
}

// Seconds per iteration of OpenCV's BGR -> HLS on one thread, once it has
// run (0 without OpenCV).
double g_peerToHLS = 0;
// The same in processor time.
double g_peerToHLSCpu = 0;

// Processor seconds used by the whole process, pool threads included: under
// load from other processes a steadier measure than the wall clock.
double ProcessSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

#ifdef KX_WITH_OPENCV
// The reference of the QColor-based adjustments: one HSL conversion of the
// same pixels, contiguous.
void BM_OpenCVBGRToHLS(benchmark::State& state)
{
    cv::setNumThreads(1);
    std::vector<KXRGBA32i> pixels = PhotoBuffer();
    const cv::Mat in(kHeight, kWidth, CV_8UC4, pixels.data());
    cv::Mat out;
    cv::cvtColor(in, out, cv::COLOR_BGR2HLS); // the output made before the clock starts
    const double start = Seconds(), cpuStart = ProcessSeconds();
    for (auto _ : state) {
        cv::cvtColor(in, out, cv::COLOR_BGR2HLS);
        benchmark::DoNotOptimize(out.data);
    }
    g_peerToHLS = (Seconds() - start) / static_cast<double>(state.iterations());
    g_peerToHLSCpu = (ProcessSeconds() - cpuStart) / static_cast<double>(state.iterations());
    state.SetLabel("one thread");
    SetPixels(state);
}
BENCHMARK(BM_OpenCVBGRToHLS)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// ---- Whole-image walks ---------------------------------------------------

// The memory limit: as many bytes as the image's tiles hold (margins
// included) read, changed and written in one plain pass on one thread.
void BM_PlainPassOverTiles(benchmark::State& state)
{
    std::vector<uint32_t> bytes(size_t(kTiles) * 128 * 128, 0xFF808080u);
    for (auto _ : state) {
        for (uint32_t& p : bytes)
            p ^= 0x00010101u;
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_PlainPassOverTiles)->Unit(benchmark::kMillisecond);

// A pool of state.range(0) threads when the benchmark has an argument.
// With `peer` seconds (and `peerCpu` processor seconds), the time per
// iteration over it as a counter.
template <class Adjustment>
void RunWalk(benchmark::State& state, const Adjustment& adjustment, int threads = 0, double peer = 0,
             double peerCpu = 0)
{
    KXParkedBlocks parked(2 * kTiles + 16);
    Image image = Photo();
    const PoolThreads pool(threads);
    const double start = Seconds(), cpuStart = ProcessSeconds();
    for (auto _ : state) {
        TransformPixels(image, adjustment);
        benchmark::ClobberMemory();
    }
    if (peer > 0)
        state.counters["xOpenCV"] = (Seconds() - start) / static_cast<double>(state.iterations()) / peer;
    if (peerCpu > 0)
        state.counters["xOpenCVcpu"] = (ProcessSeconds() - cpuStart) / static_cast<double>(state.iterations()) / peerCpu;
    state.counters["threads"] = threads;
    SetPixels(state);
}

// Next to BM_PlainPassOverTiles.
void BM_LevelsWalk(benchmark::State& state)
{
    RunWalk(state, Levels(), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_LevelsWalk)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CurvesWalk(benchmark::State& state)
{
    RunWalk(state, Curves());
}
BENCHMARK(BM_CurvesWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

// The usual case in an editor: the layer is kept for undo, so every tile
// of the adjusted copy is shared and gets its private copy in the same pass.
void BM_LevelsOnSharedCopy(benchmark::State& state)
{
    KXParkedBlocks parked(3 * kTiles + 16);
    const Image original = Photo();
    const KXLevelsTransformation levels = Levels();
    for (auto _ : state) {
        Image copy(original);
        TransformPixels(copy, levels);
        benchmark::ClobberMemory();
        state.PauseTiming();
        copy = Image();
        state.ResumeTiming();
    }
    SetPixels(state);
}
BENCHMARK(BM_LevelsOnSharedCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HueSaturationWalk(benchmark::State& state)
{
    RunWalk(state, KXHueSaturationTransformation(25, 20, -5, false), static_cast<int>(state.range(0)), g_peerToHLS,
            g_peerToHLSCpu);
}
BENCHMARK(BM_HueSaturationWalk)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the QColor-based adjustments cannot go below: QColor's own HSL
// round trip (getHsl, setHsl, rgba) over the same pixels, nothing else.
void BM_QColorRoundTripBaseline(benchmark::State& state)
{
    const std::vector<KXRGBA32i> pixels = PhotoBuffer();
    for (auto _ : state) {
        uint32_t sum = 0;
        for (const KXRGBA32i p : pixels) {
            QColor color(p.r, p.g, p.b, p.a);
            int h, s, l;
            color.getHsl(&h, &s, &l);
            color.setHsl(h, s, l, p.a);
            sum += color.rgba();
        }
        benchmark::DoNotOptimize(sum);
    }
    SetPixels(state);
}
BENCHMARK(BM_QColorRoundTripBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TemperatureWalk(benchmark::State& state)
{
    RunWalk(state, KXTemperatureCorrection(4500, 60, 10), static_cast<int>(state.range(0)), g_peerToHLS,
            g_peerToHLSCpu);
}
BENCHMARK(BM_TemperatureWalk)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WhiteBalanceAnalysis(benchmark::State& state)
{
    KXParkedBlocks parked(2 * kTiles + 16);
    const Image image = Photo();
    for (auto _ : state) {
        VQWBTransformation wb(image, VQWBTransformation::BalanceFunction::Auto, 60);
        benchmark::DoNotOptimize(wb.GetStatistics());
    }
    SetPixels(state);
}
BENCHMARK(BM_WhiteBalanceAnalysis)->Unit(benchmark::kMillisecond);

void BM_WhiteBalanceWalk(benchmark::State& state)
{
    KXParkedBlocks parked(2 * kTiles + 16);
    Image image = Photo();
    const VQWBTransformation wb(image, VQWBTransformation::BalanceFunction::Auto, 60);
    for (auto _ : state) {
        TransformPixels(image, wb);
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_WhiteBalanceWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- ICC -------------------------------------------------------------------

const QByteArray& SrgbBytes()
{
    static const QByteArray bytes = KXTestProfiles::SrgbBytes();
    return bytes;
}

const QByteArray& WideBytes()
{
    static const QByteArray bytes = KXTestProfiles::WideRgbBytes(L"Wide bench RGB");
    return bytes;
}

// Next to BM_IccDirectLittleCms (one thread, one contiguous buffer).
void BM_IccTransformWalk(benchmark::State& state)
{
    KXParkedBlocks parked(2 * kTiles + 16);
    VQCMSProfile srgb, wide;
    srgb.FromByteArray(SrgbBytes());
    wide.FromByteArray(WideBytes());
    const KXRGBA32ColorProfileTransform transform(srgb, wide);
    Image image = Photo();
    const PoolThreads pool(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        transform(image);
        benchmark::ClobberMemory();
    }
    state.counters["threads"] = static_cast<double>(state.range(0));
    SetPixels(state);
}
BENCHMARK(BM_IccTransformWalk)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IccDirectLittleCms(benchmark::State& state)
{
    cmsHPROFILE source = cmsOpenProfileFromMem(SrgbBytes().constData(), SrgbBytes().size());
    cmsHPROFILE destination = cmsOpenProfileFromMem(WideBytes().constData(), WideBytes().size());
    cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_BGRA_8, destination, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
    std::vector<KXRGBA32i> pixels = PhotoBuffer();
    for (auto _ : state) {
        cmsDoTransform(transform, pixels.data(), pixels.data(), static_cast<cmsUInt32Number>(pixels.size()));
        benchmark::ClobberMemory();
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(destination);
    SetPixels(state);
}
BENCHMARK(BM_IccDirectLittleCms)->Unit(benchmark::kMillisecond);

// ---- Iterative forms on two threads -----------------------------------------

template <class Plain>
void RunIterative(benchmark::State& state, const Plain& plain)
{
    std::vector<KXRGBA32i> pixels = PhotoBuffer();
    std::vector<int> indices = KXParallel::Indices(static_cast<int>(pixels.size()));
    KXIterativeAdjustment<Plain> iterative(plain);
    iterative.SetProcessingBuffer(pixels.data());
    const PoolThreads pool(std::max(1, static_cast<int>(state.range(0))));
    for (auto _ : state) {
        if (state.range(0) == 0) {
            for (KXRGBA32i& p : pixels)
                plain(p);
        } else {
            KXParallel::BlockingMap(indices, iterative);
        }
        benchmark::ClobberMemory();
    }
    state.counters["threads"] = static_cast<double>(state.range(0));
    SetPixels(state);
}

// Argument 0: the plain adjustment in a loop on the calling thread over the
// buffer; 1 and 2: the iterative form through blockingMap with a pool of one
// and of two threads.
void BM_IterativeLevels(benchmark::State& state)
{
    RunIterative(state, Levels());
}
BENCHMARK(BM_IterativeLevels)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IterativeHueSaturation(benchmark::State& state)
{
    RunIterative(state, KXHueSaturationTransformation(25, 20, -5, false));
}
BENCHMARK(BM_IterativeHueSaturation)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
