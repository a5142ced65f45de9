// How long a filter run takes to come back once the caller sets its cancel
// flag part way (from another thread, as the editor's interface does): the
// flag is set when progress reaches half the range, and the time is taken
// from setting it until run returns. 6000 x 4000, one pool thread and two.

#include "KXBenchSupport.h"

#include "KXBlurFilters.h"

#include <QThreadPool>
#include <QWriteLocker>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

template <class Filter, class Data>
void CancelLatency(benchmark::State& state, Data data)
{
    QThreadPool::globalInstance()->setMaxThreadCount(int(state.range(0)));
    data.image = KXBench::Photo();
    for (auto _ : state) {
        QReadWriteLock lock;
        bool cancel = false;
        std::atomic<int> progress{0}, maximum{-1};
        Clock::time_point returned;
        std::thread runner([&] {
            Filter filter(lock, cancel);
            QObject::connect(&filter, &KXAdjustmentProcessing::RangeChanged,
                             [&](int, int b) { maximum.store(b, std::memory_order_release); });
            QObject::connect(&filter, &KXAdjustmentProcessing::ProgressChanged,
                             [&](int v) { progress.store(v, std::memory_order_release); });
            const KXImageRGBA32i result = filter.run(data);
            returned = Clock::now();
        });
        while (maximum.load(std::memory_order_acquire) < 0 ||
               progress.load(std::memory_order_acquire) < maximum.load(std::memory_order_acquire) / 2)
            std::this_thread::yield();
        const Clock::time_point set = Clock::now();
        {
            QWriteLocker locker(&lock);
            cancel = true;
        }
        runner.join();
        state.SetIterationTime(std::chrono::duration<double>(returned - set).count());
    }
    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
}

void BM_CancelBoxBlur(benchmark::State& state)
{
    KXBoxBlurProcessing::BlurData data;
    data.radius = 24;
    CancelLatency<KXBoxBlurProcessing>(state, data);
}

void BM_CancelGaussianBlur(benchmark::State& state)
{
    KXGaussianBlurProcessing::BlurData data;
    data.sigma = 12.0;
    CancelLatency<KXGaussianBlurProcessing>(state, data);
}

} // namespace

BENCHMARK(BM_CancelBoxBlur)->ArgName("threads")->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CancelGaussianBlur)->ArgName("threads")->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
