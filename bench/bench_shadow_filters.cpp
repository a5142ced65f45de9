// The drop shadow, inner shadow and refine selection filters on a 6000 x
// 4000 layer and on a 1000 x 1000 one, on one thread of Qt's global pool and
// on the default pool, next to a baseline in the same run: one read and one
// write of every row of the large layer.
//
// These filters take no selection area: their work is the layer (shadows:
// the layer grown by the size to whole tiles), so the small case is a
// 1000 x 1000 layer, 1/24 of the pixels. Counters: MPix/s of the layer,
// "blocks" taken by the result, "xRW" the time over the baseline's, and for
// the small layer "small/large" its time over the large layer's (the same
// filter and pool; the goal is about 1/24 = 0.042).
//
// The layer is a photo cut to an ellipse with transparent margins, the
// refine selection's mask the same ellipse (hard edged).
//
// With OpenCV (KX_WITH_OPENCV) its box blur (cv::blur, one thread, zeros
// beyond the edge) of the large layer's alpha plane on the drop shadow's
// canvas, with the same window (41), is timed first; the drop shadow's
// "xOpenCV" is its time over that (below 1 is faster). OpenCV's job is the
// smaller one: a plane of bytes, where the filter reads and writes whole
// pixels and paints the colour.

#include "KXBenchSupport.h"
#include "KXRefineSelection.h"
#include "KXShadowFilters.h"

#include <benchmark/benchmark.h>

#ifdef KX_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include <QThread>
#include <QThreadPool>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace KXBench;

// A noisy gradient inside an ellipse filling the w x h layer, transparent
// outside it.
KXImageRGBA32i Layer(int w, int h)
{
    KXImageRGBA32i image(static_cast<unsigned int>(w), static_cast<unsigned int>(h));
    std::mt19937 random(1);
    std::vector<KXRGBA32i> row(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        const double dy = (y - h / 2.0) / (h * 0.45);
        for (int x = 0; x < w; ++x) {
            const double dx = (x - w / 2.0) / (w * 0.45);
            const uint32_t noise = random() & 31;
            const uint32_t r = (x * 255 / w + noise) & 255, g = (y * 255 / h + 2 * noise) & 255;
            row[size_t(x)] = dx * dx + dy * dy <= 1.0 ? KXRGBA32i(0xff000000u | r << 16 | g << 8 | noise) : KXRGBA32i(0);
        }
        image.SetLine(static_cast<unsigned int>(y), row.data(), static_cast<unsigned int>(w) * 4);
    }
    return image;
}

// Seconds per iteration, by benchmark ("baseline", "drop 1 large", …).
std::map<std::string, double>& Seconds()
{
    static std::map<std::string, double> seconds;
    return seconds;
}

double Elapsed(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Available()
{
    return static_cast<double>(VQTileManager64::Instance()->GetAvailableCount());
}

// Baseline: every row of the large layer (private tiles) read and written once.
void BM_ReadWriteRows(benchmark::State& state)
{
    KXImageRGBA32i image = Layer(kWidth, kHeight);
    KXParkedBlocks parked(4 * kTiles);
    const auto start = std::chrono::steady_clock::now();
    ReadWriteRows(state, image);
    Seconds()["baseline"] = Elapsed(start) / double(state.iterations());
    SetPixels(state);
}

#ifdef KX_WITH_OPENCV
// OpenCV's box blur of the alpha plane of the drop shadow's canvas (size
// 20: 6272 x 4224, the layer at 128,128).
void BM_OpenCVAlphaBox(benchmark::State& state)
{
    const KXImageRGBA32i layer = Layer(kWidth, kHeight);
    cv::Mat alpha(4224, 6272, CV_8UC1, cv::Scalar(0)), out;
    std::vector<KXRGBA32i> row(kWidth);
    for (int y = 0; y < kHeight; ++y) {
        layer.GetLine(static_cast<unsigned int>(y), row.data(), kWidth * 4);
        for (int x = 0; x < kWidth; ++x)
            alpha.at<uint8_t>(y + 128, x + 128) = row[size_t(x)].a;
    }
    cv::setNumThreads(1);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        cv::blur(alpha, out, cv::Size(41, 41), cv::Point(-1, -1), cv::BORDER_CONSTANT);
        benchmark::DoNotOptimize(out.data);
    }
    Seconds()["opencv"] = Elapsed(start) / double(state.iterations());
}
BENCHMARK(BM_OpenCVAlphaBox)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

const char* const kFilterNames[] = {"drop shadow 20", "inner shadow 20", "refine 5/+10"};

// One run of filter `kind` on `layer`: the result's image.
KXImageRGBA32i RunOnce(int kind, const KXImageRGBA32i& layer)
{
    QReadWriteLock lock;
    bool cancel = false;
    if (kind == 0) {
        KXDropShadowProcessing filter(lock, cancel);
        KXDropShadowProcessing::DropShadowData data;
        data.image = layer;
        data.maskFlag = 1;
        return filter.run(data).shadow;
    }
    if (kind == 1) {
        KXInnerShadowProcessing filter(lock, cancel);
        KXInnerShadowProcessing::InnerShadowData data;
        data.image = layer;
        data.maskFlag = 1;
        return filter.run(data).shadow;
    }
    VQRefineSelectionProcessing filter(lock, cancel);
    VQRefineSelectionProcessing::RefineSelectionData data;
    data.image = layer;
    data.selectionRect = layer.Rect();
    data.radius = 5.0;
    data.shift = 10;
    return filter.run(data).image;
}

// Arguments: filter (0 drop, 1 inner, 2 refine), layer (0 large, 1 small),
// threads (1, or 0 for the default pool).
void BM_Filter(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const bool small = state.range(1) == 1;
    const int w = small ? 1000 : kWidth, h = small ? 1000 : kHeight;
    const KXImageRGBA32i layer = Layer(w, h);
    PoolThreads pool(state.range(2));
    KXParkedBlocks parked(4 * kTiles);
    double blocks = 0, seconds = 0;
    for (auto _ : state) {
        const double before = Available();
        const auto start = std::chrono::steady_clock::now();
        KXImageRGBA32i out = RunOnce(kind, layer);
        benchmark::DoNotOptimize(out.Width());
        seconds += Elapsed(start);
        state.PauseTiming(); // the result's blocks go back untimed
        blocks = before - Available();
        out = KXImageRGBA32i();
        state.ResumeTiming();
    }
    const std::string poolName = state.range(2) == 1 ? "one thread" : "default pool";
    state.SetLabel(std::string(kFilterNames[kind]) + ", " + poolName);
    state.counters["blocks"] = blocks;
    state.counters["MPix/s"] =
        benchmark::Counter(double(state.iterations()) * w * h / 1e6, benchmark::Counter::kIsRate);
    seconds /= double(state.iterations());
    const std::string key = std::to_string(kind) + " " + poolName;
    if (Seconds().count("baseline"))
        state.counters["xRW"] = seconds / Seconds()["baseline"];
    if (kind == 0 && !small && state.range(2) == 1 && Seconds().count("opencv"))
        state.counters["xOpenCV"] = seconds / Seconds()["opencv"];
    if (!small)
        Seconds()[key] = seconds;
    else if (Seconds().count(key))
        state.counters["small/large"] = seconds / Seconds()[key];
}

} // namespace

BENCHMARK(BM_ReadWriteRows)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Filter)
    ->ArgNames({"filter", "small", "threads"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
