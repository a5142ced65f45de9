// What making new images costs in a process as a user runs it: the tile
// blocks behind each new image come from the tile manager as it is, never
// warmed first ("first use"), next to the same jobs with a few thousand
// warm blocks parked for reuse ("warm", as the other benchmarks run).
// Each job runs once per repetition, so the report shows the first use and
// then the steady state, with the process's user and system time (all
// threads) beside the wall time. On 6000 x 4000, default pool:
//   - to HSL: ConvertImage to the 8-byte HSL form (2,930 new tiles a run);
//   - round trip: QImage -> image -> QImage;
//   - Gaussian sigma 2: the blur filter on the whole layer;
//   - rotate 30: the bilinear sampler into a new image.
// Run it alone, in a process of its own, for the first-use figures:
//   bench_tile_memory --benchmark_filter=first_use

#include "KXBenchSupport.h"
#include "KXBlurFilters.h"
#include "KXImageConversion.h"
#include "KXTransformImage.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QReadWriteLock>
#include <QTransform>

#include <memory>

using namespace KXBench;

namespace {

using KXImageHSLA = KXImage<KXHSLA, 128, 64>;

// The inputs, made before timing, so that a repetition times only the job
// and the blocks it takes and gives back.
struct Sources {
    KXImageRGBA32i image = Photo();
    QImage qimage = ConvertImage<KXImageRGBA32i, QImage>(image);
};

enum Job { kToHSL, kRoundTrip, kGaussian2, kRotate30 };

void RunJob(Job job, const Sources& sources)
{
    const KXImageRGBA32i& source = sources.image;
    switch (job) {
    case kToHSL: {
        const KXImageHSLA out = ConvertImage<KXImageRGBA32i, KXImageHSLA>(source);
        benchmark::DoNotOptimize(out.Width());
        break;
    }
    case kRoundTrip: {
        const QImage out = ConvertImage<KXImageRGBA32i, QImage>(ConvertImage<QImage, KXImageRGBA32i>(sources.qimage));
        benchmark::DoNotOptimize(out.constBits());
        break;
    }
    case kGaussian2: {
        QReadWriteLock lock;
        bool cancel = false;
        KXGaussianBlurProcessing filter(lock, cancel);
        KXGaussianBlurProcessing::BlurData data;
        data.image = source;
        data.sigma = 2.0;
        const KXImageRGBA32i out = filter.run(data);
        benchmark::DoNotOptimize(out.Width());
        break;
    }
    case kRotate30: {
        const QTransform turn = QTransform::fromTranslate(-kWidth / 2.0, -kHeight / 2.0) * QTransform().rotate(30)
                                * QTransform::fromTranslate(kWidth / 2.0, kHeight / 2.0);
        KXImageRGBA32i out(kWidth, kHeight);
        BilinearTransformImage(source, turn, out, QRect());
        benchmark::DoNotOptimize(out.Width());
        break;
    }
    }
}

void BM_FirstUse(benchmark::State& state)
{
    const Sources sources;
    const Job job = static_cast<Job>(state.range(0));
    ProcessTimes times(state);
    for (auto _ : state)
        RunJob(job, sources);
    SetPixels(state);
}

void BM_Warm(benchmark::State& state)
{
    const Sources sources;
    const Job job = static_cast<Job>(state.range(0));
    KXParkedBlocks parked(4 * 3008);
    RunJob(job, sources); // every block the job takes, touched once
    ProcessTimes times(state);
    for (auto _ : state)
        RunJob(job, sources);
    SetPixels(state);
}

void Jobs(benchmark::internal::Benchmark* b)
{
    b->ArgName("job")->Arg(kToHSL)->Arg(kRoundTrip)->Arg(kGaussian2)->Arg(kRotate30);
    b->Iterations(1)->Repetitions(8)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_FirstUse)->Name("first_use")->Apply(Jobs);
BENCHMARK(BM_Warm)->Name("warm")->Apply(Jobs);
