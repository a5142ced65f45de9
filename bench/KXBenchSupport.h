#ifndef KXBENCHSUPPORT_H
#define KXBENCHSUPPORT_H

// What the benchmarks share: the 6000 x 4000 test photo, Qt's pool on one
// thread or the default, the process's CPU time, the peers' times kept for
// the ratios, the read-write baseline and warm tile blocks.

#include "KXImage.h"
#include "VQTileManager64.h"

#include <benchmark/benchmark.h>

#include <QList>
#include <QThread>
#include <QThreadPool>

#include <cstdint>
#include <ctime>

#include <sys/resource.h>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifdef KX_WITH_OPENCV
#include <opencv2/core.hpp>
#endif

// Holds all free tile blocks but `leave` while alive. Blocks come back at the
// end of the free list, so a fresh tile manager hands out never-touched
// pages of its page file first (a page fault per 4 KiB); parking most blocks
// makes a benchmark reuse the few left, which are touched once up front.
class KXParkedBlocks {
public:
    explicit KXParkedBlocks(long long leave)
    {
        VQTileManager64* tm = VQTileManager64::Instance();
        const long long take = tm->GetAvailableCount() - leave;
        if (take > 0)
            m_blocks = tm->MakeTiles(static_cast<unsigned int>(take));
        // Touch every page of the blocks left free once, so that the
        // benchmark sees warm memory from its first iteration.
        const QList<void*> rest = tm->MakeTiles(static_cast<unsigned int>(tm->GetAvailableCount() - 1));
        for (void* tile : rest) {
            char* memory = static_cast<char*>(tm->GetMemory(tile, true));
            for (unsigned int offset = 0; offset < VQTileManager64::kBlockSize; offset += 4096)
                memory[offset] = 0;
            tm->FreeMemory(tile);
        }
        tm->CleanUpTiles(rest);
    }
    ~KXParkedBlocks() { VQTileManager64::Instance()->CleanUpTiles(m_blocks); }
    KXParkedBlocks(const KXParkedBlocks&) = delete;
    KXParkedBlocks& operator=(const KXParkedBlocks&) = delete;

private:
    QList<void*> m_blocks;
};

namespace KXBench {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr long long kTiles = 47 * 32; // tiles of one 6000 x 4000 image

// Smooth gradients with noise, as in a photo, opaque; row-major BGRA bytes.
inline const std::vector<KXRGBA32i>& PhotoPixels()
{
    static const std::vector<KXRGBA32i> pixels = [] {
        std::vector<KXRGBA32i> p(size_t(kWidth) * kHeight);
        std::mt19937 random(1);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint32_t noise = random() & 31;
                const uint32_t r = (x * 255 / kWidth + noise) & 255, g = (y * 255 / kHeight + 2 * noise) & 255,
                               b = ((x + y) / 40 + noise) & 255;
                p[size_t(y) * kWidth + x] = KXRGBA32i(0xff000000u | r << 16 | g << 8 | b);
            }
        return p;
    }();
    return pixels;
}

// The photo as an image; made for each benchmark, since no image may
// outlive the tile manager.
inline KXImageRGBA32i Photo()
{
    KXImageRGBA32i image(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        image.SetLine(y, PhotoPixels().data() + size_t(y) * kWidth, kWidth * 4);
    return image;
}

#ifdef KX_WITH_OPENCV
// The photo's pixels as an OpenCV image (the same BGRA bytes).
inline const cv::Mat& PhotoMat()
{
    static const cv::Mat mat(kHeight, kWidth, CV_8UC4, const_cast<KXRGBA32i*>(PhotoPixels().data()));
    return mat;
}
#endif

// The threads argument of a benchmark: 1 for one thread of Qt's global
// pool, 0 for the default pool.
class PoolThreads {
public:
    explicit PoolThreads(int64_t threads)
    {
        QThreadPool::globalInstance()->setMaxThreadCount(threads == 1 ? 1 : QThread::idealThreadCount());
    }
    ~PoolThreads() { QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount()); }
    PoolThreads(const PoolThreads&) = delete;
    PoolThreads& operator=(const PoolThreads&) = delete;
};

inline const char* PoolName(int64_t threads)
{
    return threads == 1 ? "one thread" : "default pool";
}

// The CPU time of the whole process (every thread), in seconds: a busy
// machine disturbs it less than the wall time.
inline double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Counters "user_ms" and "sys_ms": the process's user and system time (all
// threads) per iteration, from construction to destruction, beside the
// wall time the benchmark reports. System time is what the kernel spends
// for the process: page faults, mapping calls, giving memory back.
class ProcessTimes {
public:
    explicit ProcessTimes(benchmark::State& state) : m_state(state) { m_start = Now(); }
    ~ProcessTimes()
    {
        const Times end = Now();
        const double iterations = m_state.iterations() > 0 ? double(m_state.iterations()) : 1.0;
        m_state.counters["user_ms"] = (end.user - m_start.user) * 1e3 / iterations;
        m_state.counters["sys_ms"] = (end.sys - m_start.sys) * 1e3 / iterations;
    }
    ProcessTimes(const ProcessTimes&) = delete;
    ProcessTimes& operator=(const ProcessTimes&) = delete;

private:
    struct Times {
        double user;
        double sys;
    };
    static Times Now()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return {double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) * 1e-6,
                double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) * 1e-6};
    }
    benchmark::State& m_state;
    Times m_start{};
};

// The MPix/s counter, `pixels` a iteration.
inline void SetPixels(benchmark::State& state, double pixels = double(kWidth) * kHeight)
{
    state.counters["MPix/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * pixels / 1e6, benchmark::Counter::kIsRate);
}

// CPU seconds per iteration of the jobs a ratio compares with, by name.
inline std::map<std::string, double>& PeerSeconds()
{
    static std::map<std::string, double> seconds;
    return seconds;
}

// Times `job` like a benchmark body on one thread and keeps its time under `name`.
// The job runs once before the clock starts, so that its output buffer is
// made and its pages touched as in a caller that runs it repeatedly; on a
// virtual machine first touches cost more than many a filter, and a peer
// that ran only one iteration would be charged them.
template <class Job>
void TimePeer(benchmark::State& state, const std::string& name, Job&& job)
{
    job();
    const double start = CpuSeconds();
    for (auto _ : state)
        job();
    PeerSeconds()[name] = (CpuSeconds() - start) / state.iterations();
    state.SetLabel("one thread");
}

// Sets `counter` to `seconds` over the peer's time, when the peer ran.
inline void SetPeerRatio(benchmark::State& state, const char* counter, const std::string& name, double seconds)
{
    const auto found = PeerSeconds().find(name);
    if (found != PeerSeconds().end())
        state.counters[counter] = seconds / found->second;
}

// The baseline's loop: every row of `image` (private tiles) read and
// written once an iteration, the least a row pass does.
inline void ReadWriteRows(benchmark::State& state, KXImageRGBA32i& image)
{
    std::vector<KXRGBA32i> row(image.Width());
    const unsigned int bytes = image.Width() * 4;
    for (auto _ : state) {
        for (unsigned int y = 0; y < image.Height(); ++y) {
            image.GetLine(y, row.data(), bytes);
            image.SetLine(y, row.data(), bytes);
        }
        benchmark::ClobberMemory();
    }
}

// Copies the pixels of `from` into the private tiles of `to`, row by row
// (an image put back between iterations).
inline void Restore(KXImageRGBA32i& to, const KXImageRGBA32i& from)
{
    std::vector<KXRGBA32i> row(to.Width());
    const unsigned int bytes = to.Width() * 4;
    for (unsigned int y = 0; y < to.Height(); ++y) {
        from.GetLine(y, row.data(), bytes);
        to.SetLine(y, row.data(), bytes);
    }
}

} // namespace KXBench

#endif // KXBENCHSUPPORT_H
