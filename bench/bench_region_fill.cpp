// Flood fill on a 6000 x 4000 layer, next to a baseline in the same run (one
// read and one write of every row of a layer with private tiles) and, when
// built with OpenCV (KX_WITH_OPENCV), OpenCV's floodFill on the same pixels
// as 3 channels (it has no 4-channel fill), 4-connected, on one thread.
//
// Three layers:
// - photo99: one colour with 1 % scattered pixels of another; the exact
//   fill from a corner covers the other 99 %.
// - checker: a one-pixel checkerboard of two colours 8 apart in each
//   channel inside a frame of a third; the tolerance fill (8) covers the
//   board, OpenCV gets the same range around the seed (FIXED_RANGE).
// - lattice: rows and columns of even index in one colour, the holes
//   between them in another; every column of odd index breaks into
//   one-pixel runs, the worst case for the work list.
// - photo99 tolerance 1: photo99 through the tolerance fill (a bit a pixel
//   for the pixels written), the same pixels filled.
// And, alone, a 16,000 x 16,000 square of one colour filled from its
// centre (a recursive fill would need that many frames per column).
//
// Every iteration starts from a layer whose tiles are this image's alone
// (restored untimed), so the fill pays for its writes but not for copies of
// shared tiles; OpenCV likewise gets a fresh copy untimed. Counters: MPix/s,
// "xOpenCV" (this time over OpenCV's, both in process CPU time), and for
// the fill the work list's peak points and their bytes (four a point on
// this layer).

#include "KXBenchSupport.h"
#include "KXFloodFill.h"
#include "region/KXScanLineFill.h"

#include <benchmark/benchmark.h>

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

constexpr uint32_t kFill = 0xFF2060E0;

enum Layer { kPhoto99, kChecker, kLattice, kPhoto99Tolerance };
const char* const kLayerNames[] = {"photo99", "checker", "lattice", "photo99 tolerance 1"};
constexpr uint32_t kTolerance[] = {0, 0x00080808, 0, 0x00010101};

const std::vector<uint32_t>& LayerPixels(int layer)
{
    if (layer == kPhoto99Tolerance)
        layer = kPhoto99;
    static std::map<int, std::vector<uint32_t>> layers;
    std::vector<uint32_t>& p = layers[layer];
    if (!p.empty())
        return p;
    p.resize(size_t(kWidth) * kHeight);
    std::mt19937 random(7);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint32_t v = 0;
            if (layer == kPhoto99)
                v = random() % 100 == 0 ? 0xFF304050 : 0xFFC0B0A0;
            else if (layer == kChecker)
                v = (x == 0 || y == 0 || x == kWidth - 1 || y == kHeight - 1) ? 0xFF000000
                    : (x + y) % 2                                             ? 0xFF808080
                                                                              : 0xFF888888;
            else
                v = (x % 2 == 0 || y % 2 == 0) ? 0xFFC0B0A0 : 0xFF304050;
            p[size_t(y) * kWidth + x] = v;
        }
    return p;
}

QPoint Seed(int layer)
{
    return layer == kChecker ? QPoint(1, 1) : QPoint(0, 0);
}

void Restore(KXImageRGBA32i& image, int layer)
{
    for (int y = 0; y < kHeight; ++y)
        image.SetLine(unsigned(y), LayerPixels(layer).data() + size_t(y) * kWidth, kWidth * 4);
}

std::map<int, double>& PeerSeconds()
{
    static std::map<int, double> seconds;
    return seconds;
}

#ifdef KX_WITH_OPENCV
cv::Mat LayerMat(int layer)
{
    const cv::Mat bgra(kHeight, kWidth, CV_8UC4, const_cast<uint32_t*>(LayerPixels(layer).data()));
    cv::Mat bgr;
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    return bgr;
}

// One OpenCV fill of a fresh copy (the copy untimed); its CPU seconds.
double PeerFill(benchmark::State* state, int layer, const cv::Mat& pristine, cv::Mat& work)
{
    if (state)
        state->PauseTiming();
    pristine.copyTo(work);
    if (state)
        state->ResumeTiming();
    const int d = int(kTolerance[layer] & 255);
    const double start = CpuSeconds();
    cv::floodFill(work, cv::Point(Seed(layer).x(), Seed(layer).y()), cv::Scalar(0xE0, 0x60, 0x20), nullptr,
                  cv::Scalar::all(d), cv::Scalar::all(d), 4 | (d ? cv::FLOODFILL_FIXED_RANGE : 0));
    return CpuSeconds() - start;
}

void BM_OpenCVFloodFill(benchmark::State& state)
{
    const int layer = int(state.range(0));
    cv::setNumThreads(1);
    const cv::Mat pristine = LayerMat(layer);
    cv::Mat work;
    double seconds = 0;
    for (auto _ : state) {
        seconds += PeerFill(&state, layer, pristine, work);
        benchmark::DoNotOptimize(work.data);
    }
    PeerSeconds()[layer] = seconds / double(state.iterations());
    state.SetLabel(kLayerNames[layer]);
    SetPixels(state);
}
BENCHMARK(BM_OpenCVFloodFill)->ArgName("layer")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
#endif

double PeerTime(int layer)
{
#ifdef KX_WITH_OPENCV
    if (!PeerSeconds().count(layer)) {
        cv::setNumThreads(1);
        cv::Mat work;
        PeerSeconds()[layer] = PeerFill(nullptr, layer, LayerMat(layer), work);
    }
    return PeerSeconds()[layer];
#else
    (void)layer;
    return 0;
#endif
}

// Baseline: every row of a layer with private tiles read and written once.
void BM_ReadWriteRows(benchmark::State& state)
{
    KXParkedBlocks parked(3 * kTiles);
    KXImageRGBA32i image(kWidth, kHeight);
    Restore(image, kPhoto99);
    ReadWriteRows(state, image);
    SetPixels(state);
}
BENCHMARK(BM_ReadWriteRows)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_FloodFill(benchmark::State& state)
{
    const int layer = int(state.range(0));
    KXParkedBlocks parked(kTiles + 64); // the image, warm
    KXImageRGBA32i image(kWidth, kHeight);
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Restore(image, layer);
        state.ResumeTiming();
        const double start = CpuSeconds();
        QRect bounds;
        if (kTolerance[layer])
            KXFloodFillHelper::FloodFill(image, Seed(layer), kTolerance[layer], kFill, &bounds);
        else
            KXFloodFillHelper::FloodFill(image, Seed(layer), kFill, &bounds);
        seconds += CpuSeconds() - start;
        benchmark::DoNotOptimize(bounds);
    }
    // The work list's peak, from the same fill run once more untimed.
    Restore(image, layer);
    KXScanLineFill::TiledPixels pixels(image);
    const uint32_t t = LayerPixels(layer)[size_t(Seed(layer).y()) * kWidth + Seed(layer).x()];
    KXScanLineFill::VisitedMap visited(kWidth, kHeight);
    const KXScanLineFill::Outcome outcome =
        kTolerance[layer] ? KXScanLineFill::Fill(visited, pixels, pixels, kWidth, kHeight, Seed(layer),
                                                 KXScanLineFill::ToleranceMatch(t, kTolerance[layer]), kFill)
                          : KXScanLineFill::Fill(pixels, kWidth, kHeight, Seed(layer), KXScanLineFill::ExactMatch{t},
                                                 kFill);
    state.counters["peakPoints"] = double(outcome.peakPoints);
    state.counters["peakMiB"] = double(outcome.peakPoints * outcome.pointBytes) / (1 << 20);
    state.SetLabel(kLayerNames[layer]);
    SetPixels(state);
#ifdef KX_WITH_OPENCV
    state.counters["xOpenCV"] = seconds / double(state.iterations()) / PeerTime(layer);
#else
    (void)PeerTime;
#endif
}
BENCHMARK(BM_FloodFill)->ArgName("layer")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_FloodFillSquare16000(benchmark::State& state)
{
    constexpr int kSide = 16000;
    KXImageRGBA32i image(kSide, kSide);
    size_t peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        image.Fill(0xFFC0B0A0); // four shared blocks: the fill detaches every tile
        state.ResumeTiming();
        QRect bounds;
        KXFloodFillHelper::FloodFill(image, QPoint(kSide / 2, kSide / 2), kFill, &bounds);
        benchmark::DoNotOptimize(bounds);
    }
    image.Fill(0xFFC0B0A0);
    KXScanLineFill::TiledPixels pixels(image);
    peak = KXScanLineFill::Fill(pixels, kSide, kSide, QPoint(kSide / 2, kSide / 2),
                                KXScanLineFill::ExactMatch{0xFFC0B0A0}, kFill)
               .peakPoints;
    state.counters["peakPoints"] = double(peak);
    state.counters["MPix/s"] =
        benchmark::Counter(double(state.iterations()) * kSide * kSide / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FloodFillSquare16000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace
