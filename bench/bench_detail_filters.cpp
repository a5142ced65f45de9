// The detail and effect filters on a 6000 x 4000 layer, over the whole
// layer and over a 1000 x 1000 area of it (an opaque selection), on one
// thread of Qt's global pool and on the default pool, next to baselines in
// the same run:
// - ReadWriteRows: every row of a layer with private tiles read and written
//   once, the least a per-row pass does;
// - GaussianPlusBlend: the Gaussian blur filter of the high pass's sigma
//   followed by one BlendOn pass in the high pass's default mode (overlay),
//   what the high pass costs at least.
//
// Counters (times are the process's CPU time, which a busy machine disturbs
// less than the wall time): MPix/s of the layer; blocks, the tile blocks the
// result holds that the layer did not; xPlain, the time over ReadWriteRows
// (whole layer, one thread); xWhole, the area run's time over the whole
// run's (the area is 1/24 of the layer, so the goal is at most 0.0625);
// xGaussBlend, the high pass over GaussianPlusBlend. Every run starts with
// empty caches, so the high pass blurs and the noise is drawn each time.

#include "KXBenchSupport.h"
#include "KXBlendModes.h"
#include "KXBlurFilters.h"
#include "KXDetailFilters.h"
#include "KXEffectFilters.h"

#include <benchmark/benchmark.h>

#include <QThread>
#include <QThreadPool>

#include <ctime>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace KXBench;

constexpr double kSigma = 5.0;        // the high pass's and the baseline Gaussian's

enum Filter { kSharpen, kSmoothen, kHighPass, kAddNoise, kDiffuseGlow, kVignette };
const char* const kNames[] = {"sharpen", "smoothen", "high pass", "add noise", "diffuse glow", "vignette"};

// CPU seconds per iteration of what the ratios compare with, by name.
std::map<std::string, double>& Seconds()
{
    static std::map<std::string, double> seconds;
    return seconds;
}

// One run of `filter` with its own locks and empty caches.
KXImageRGBA32i RunOnce(Filter filter, const KXFilterData& common)
{
    QReadWriteLock lock, cacheLock;
    bool cancel = false;
    const auto with = [&common](auto data) {
        static_cast<KXFilterData&>(data) = common;
        return data;
    };
    switch (filter) {
    case kSharpen: {
        auto data = with(KXSharpenProcessing::SharpenData());
        data.strength = 40;
        return KXSharpenProcessing(lock, cancel).run(data);
    }
    case kSmoothen:
        return KXSmoothenProcessing(lock, cancel).run(with(KXSmoothenProcessing::SmoothenData()));
    case kHighPass: {
        double cachedSigma = std::numeric_limits<double>::quiet_NaN();
        KXImageRGBA32i cached;
        auto data = with(KXHighPassProcessing::HighPassData());
        data.sigma = kSigma;
        return KXHighPassProcessing(lock, cancel, cacheLock, cachedSigma, cached).run(data);
    }
    case kAddNoise: {
        KXImageRGBA32i uniform, gaussian;
        return KXAddNoiseProcessing(lock, cancel, cacheLock, uniform, gaussian)
            .run(with(KXAddNoiseProcessing::AddNoiseData()));
    }
    case kDiffuseGlow:
        return KXDiffuseGlowProcessing(lock, cancel).run(with(KXDiffuseGlowProcessing::DiffuseGlowData()));
    case kVignette: {
        auto data = with(KXVignetteProcessing::VignetteData());
        data.reach = 1000;
        return KXVignetteProcessing(lock, cancel).run(data);
    }
    }
    return common.image;
}

void BM_ReadWriteRows(benchmark::State& state)
{
    KXImageRGBA32i image = Photo();
    KXParkedBlocks parked(4 * kTiles);
    const double start = CpuSeconds();
    ReadWriteRows(state, image);
    Seconds()["plain"] = (CpuSeconds() - start) / state.iterations();
    state.SetLabel("one thread");
    SetPixels(state);
}

// Argument 0: threads (1 one, 0 the default pool).
void BM_GaussianPlusBlend(benchmark::State& state)
{
    PoolThreads pool(state.range(0));
    KXParkedBlocks parked(4 * kTiles);
    KXGaussianBlurProcessing::BlurData data;
    data.image = Photo();
    data.sigma = kSigma;
    QReadWriteLock lock;
    bool cancel = false;
    KXGaussianBlurProcessing filter(lock, cancel);
    double seconds = 0;
    for (auto _ : state) {
        const double start = CpuSeconds();
        KXImageRGBA32i out = data.image;
        BlendOn(filter.run(data), out.Rect(), KXBlendMode::Overlay, out, out.Rect(), 1.0, false);
        benchmark::DoNotOptimize(out.Width());
        seconds += CpuSeconds() - start;
    }
    Seconds()["gaussian+blend " + std::to_string(state.range(0))] = seconds / state.iterations();
    state.SetLabel(state.range(0) == 1 ? "one thread" : "default pool");
    SetPixels(state);
}

// Arguments: the filter, the area (0 whole layer, 1 the 1000 x 1000 area),
// threads (1 one, 0 the default pool).
void BM_Filter(benchmark::State& state)
{
    const Filter filter = static_cast<Filter>(state.range(0));
    const bool area = state.range(1) == 1;
    const int64_t threads = state.range(2);
    PoolThreads pool(threads);
    KXParkedBlocks parked(4 * kTiles);
    KXFilterData data;
    data.image = Photo();
    if (area) {
        data.selection = KXImageRGBA32i(1000, 1000);
        data.selection.Fill(KXRGBA32i(0xFFFFFFFFu));
        data.selectionRect = data.selection.Rect();
        data.offset = QPoint(2500, 1500);
    }
    VQTileManager64* tm = VQTileManager64::Instance();
    double seconds = 0;
    long long blocks = 0;
    for (auto _ : state) {
        const long long before = tm->GetAvailableCount();
        const double start = CpuSeconds();
        KXImageRGBA32i out = RunOnce(filter, data);
        seconds += CpuSeconds() - start;
        blocks = before - tm->GetAvailableCount();
        state.PauseTiming(); // the result's blocks go back untimed
        out = KXImageRGBA32i();
        state.ResumeTiming();
    }
    seconds /= state.iterations();
    const std::string key = std::string(kNames[filter]) + " " + std::to_string(threads);
    if (!area)
        Seconds()[key] = seconds;
    else if (Seconds().count(key))
        state.counters["xWhole"] = seconds / Seconds()[key];
    if (!area && threads == 1 && Seconds().count("plain"))
        state.counters["xPlain"] = seconds / Seconds()["plain"];
    const std::string baseline = "gaussian+blend " + std::to_string(threads);
    if (filter == kHighPass && !area && Seconds().count(baseline))
        state.counters["xGaussBlend"] = seconds / Seconds()[baseline];
    state.counters["blocks"] = double(blocks);
    state.SetLabel(std::string(kNames[filter]) + (area ? ", area" : ", whole") +
                   (threads == 1 ? ", one thread" : ", default pool"));
    SetPixels(state);
}

BENCHMARK(BM_ReadWriteRows)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_GaussianPlusBlend)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_Filter)
    ->ArgNames({"filter", "area", "threads"})
    ->ArgsProduct({{kSharpen, kSmoothen, kHighPass, kAddNoise, kDiffuseGlow, kVignette}, {0, 1}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace
