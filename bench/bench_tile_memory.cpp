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

#include <QDir>
#include <QFile>

#include <chrono>
#include <memory>
#include <random>

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

// Sectors written to every block device so far (/sys/block/*/stat, the
// seventh field), in bytes.
double DiskBytesWritten()
{
    double bytes = 0;
    for (const QString& device : QDir("/sys/block").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat("/sys/block/" + device + "/stat");
        if (stat.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> fields = stat.readAll().simplified().split(' ');
            if (fields.size() > 6)
                bytes += fields[6].toDouble() * 512;
        }
    }
    return bytes;
}

double ResidentBytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024;
    return 0;
}

// 30 s of small images made, filled and dropped (a few held at a time),
// as an editor's brush strokes and previews do: the process's resident
// memory at the end ("rss_MiB") and what the machine's disks wrote meanwhile
// ("disk_MiB"; the garbage of dropped images must not reach the disk).
void BM_SmallImageChurn(benchmark::State& state)
{
    std::mt19937 random(7);
    long long images = 0;
    const double written = DiskBytesWritten();
    ProcessTimes times(state);
    for (auto _ : state) {
        std::vector<KXImageRGBA32i> held;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < end) {
            KXImageRGBA32i image(64 + random() % 1024, 64 + random() % 1024);
            const std::vector<KXRGBA32i> row(image.Width(), KXRGBA32i(static_cast<uint32_t>(random())));
            for (unsigned int y = 0; y < image.Height(); ++y) // every tile its own
                image.SetLine(y, row.data(), image.Width() * 4);
            held.push_back(std::move(image));
            if (held.size() > 8)
                held.erase(held.begin() + static_cast<long>(random() % held.size()));
            ++images;
        }
    }
    state.counters["images"] = double(images);
    state.counters["rss_MiB"] = ResidentBytes() / (1 << 20);
    state.counters["disk_MiB"] = (DiskBytesWritten() - written) / (1 << 20);
}

} // namespace

BENCHMARK(BM_SmallImageChurn)->Name("small_image_churn")->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_FirstUse)->Name("first_use")->Apply(Jobs);
BENCHMARK(BM_Warm)->Name("warm")->Apply(Jobs);
