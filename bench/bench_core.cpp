// Tile manager and image container costs on a 6000 x 4000 image.
//
// Blocks come back at the end of the free list, so a fresh manager hands out
// never-touched pages of its page file first ("cold": one page fault per
// 4 KiB). The cold benchmarks therefore run first and with a fixed number of
// iterations; the warm ones park most blocks so that the few left free are
// used again and again.

#include "KXBenchSupport.h"
#include "KXImage.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Image = KXImage<KXRGBA32i, 128, 128>;
constexpr unsigned int kWidth = 6000;
constexpr unsigned int kHeight = 4000;

VQTileManager64* TM()
{
    return VQTileManager64::Instance();
}

Image Filled()
{
    Image image(kWidth, kHeight);
    image.Fill(KXRGBA32i(0xFF336699u));
    return image;
}

// Writes one pixel in every tile: each shared tile is detached once.
void DetachEveryTile(Image& image)
{
    for (unsigned int tile = 0; tile < image.TileCount(); ++tile) {
        const unsigned int column = tile % image.TileColumns();
        image.SetColor(column * 128, tile / image.TileColumns() * 128, KXRGBA32i(0xFF000000u | column));
    }
}

void SetTileCounters(benchmark::State& state, const Image& image)
{
    state.counters["tiles"] = image.TileCount();
    state.counters["per_tile"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * image.TileCount(),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Copies the image and writes one pixel in every tile of the copy; only the
// detaching is timed.
void DetachEveryTileOfCopies(benchmark::State& state, const Image& base)
{
    for (auto _ : state) {
        Image copy(base);
        DetachEveryTile(copy);
        state.PauseTiming();
        copy = Image();
        state.ResumeTiming();
    }
    SetTileCounters(state, base);
}

void BM_DetachEveryTileCold(benchmark::State& state)
{
    DetachEveryTileOfCopies(state, Filled());
}
BENCHMARK(BM_DetachEveryTileCold)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_DetachEveryTileWarm(benchmark::State& state)
{
    const Image base = Filled();
    KXParkedBlocks parked(2 * base.TileCount() + 16);
    DetachEveryTileOfCopies(state, base);
}
BENCHMARK(BM_DetachEveryTileWarm)->Unit(benchmark::kMillisecond);

void BM_MakeTileCleanUpTile(benchmark::State& state)
{
    for (auto _ : state) {
        void* tile = TM()->MakeTile();
        benchmark::DoNotOptimize(tile);
        TM()->CleanUpTile(tile);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MakeTileCleanUpTile)->Threads(1)->Threads(2)->UseRealTime();

long long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoll(line.substr(6));
    return 0;
}

// A long-running process that holds 100 blocks at a time and writes each
// block it takes: the resident memory it gains should follow what it holds,
// not every block it ever used.
void BM_HundredBlocksAllocFreeLoop(benchmark::State& state)
{
    const long long before = ResidentKiB();
    std::deque<void*> held;
    long long written = 0;
    for (auto _ : state) {
        held.push_back(TM()->MakeTile());
        std::memset(TM()->GetMemory(held.back(), true), static_cast<int>(written), VQTileManager64::kBlockSize);
        TM()->FreeMemory(held.back());
        ++written;
        if (held.size() > 100) {
            TM()->CleanUpTile(held.front());
            held.pop_front();
        }
    }
    state.counters["written_MiB"] = static_cast<double>(written) / 16;
    state.counters["resident_gain_MiB"] = static_cast<double>(ResidentKiB() - before) / 1024;
    for (void* tile : held)
        TM()->CleanUpTile(tile);
}
BENCHMARK(BM_HundredBlocksAllocFreeLoop)->Iterations(20000)->Unit(benchmark::kMicrosecond);

void BM_CopyImage(benchmark::State& state)
{
    const Image base = Filled();
    Image detached(base);
    DetachEveryTile(detached); // every tile distinct, as in a real photo
    for (auto _ : state) {
        Image copy(detached);
        benchmark::DoNotOptimize(copy);
    }
    SetTileCounters(state, detached);
}
BENCHMARK(BM_CopyImage)->Unit(benchmark::kMicrosecond);

void BM_Fill(benchmark::State& state)
{
    Image image(kWidth, kHeight);
    for (auto _ : state)
        image.Fill(KXRGBA32i(0xFF00FF00u));
    SetTileCounters(state, image);
}
BENCHMARK(BM_Fill)->Unit(benchmark::kMicrosecond);

// A whole-image row sweep through GetLine and SetLine, next to a plain memcpy
// of the same bytes.
void BM_RowSweepGetSetLine(benchmark::State& state)
{
    KXParkedBlocks parked(4 * 1504 + 16);
    Image image = Filled();
    DetachEveryTile(image);
    std::vector<KXRGBA32i> row(kWidth);
    for (auto _ : state) {
        for (unsigned int y = 0; y < kHeight; ++y) {
            image.GetLine(y, row.data(), kWidth * 4);
            row[y % kWidth].value ^= 1;
            image.SetLine(y, row.data(), kWidth * 4);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_RowSweepGetSetLine)->Unit(benchmark::kMillisecond);

void BM_RowSweepMemcpyBaseline(benchmark::State& state)
{
    std::vector<KXRGBA32i> from(size_t(kWidth) * kHeight, KXRGBA32i(1u));
    std::vector<KXRGBA32i> to(size_t(kWidth) * kHeight, KXRGBA32i(2u));
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::ClobberMemory();
        std::swap(from, to);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_RowSweepMemcpyBaseline)->Unit(benchmark::kMillisecond);

void BM_GetColorPerPixel(benchmark::State& state)
{
    KXParkedBlocks parked(4 * 1504 + 16);
    Image image = Filled();
    DetachEveryTile(image);
    for (auto _ : state) {
        uint32_t sum = 0;
        for (unsigned int y = 0; y < kHeight; ++y)
            for (unsigned int x = 0; x < kWidth; ++x)
                sum += image.GetColor(static_cast<int>(x), static_cast<int>(y)).value;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_GetColorPerPixel)->Unit(benchmark::kMillisecond);

void BM_SetColorPerPixel(benchmark::State& state)
{
    KXParkedBlocks parked(4 * 1504 + 16);
    Image image = Filled();
    DetachEveryTile(image);
    for (auto _ : state) {
        for (unsigned int y = 0; y < kHeight; ++y)
            for (unsigned int x = 0; x < kWidth; ++x)
                image.SetColor(static_cast<int>(x), static_cast<int>(y), KXRGBA32i(x ^ y));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_SetColorPerPixel)->Unit(benchmark::kMillisecond);

} // namespace
