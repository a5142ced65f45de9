// The map of thread-sanitizer builds (see KXParallel.h); other builds use
// QtConcurrent::blockingMap and compile nothing here.
//
// Its helpers are threads of its own, started and joined by each map, not
// Qt's pool threads. Qt is not built with the sanitizer: a pool thread that
// finishes a task puts itself back on the pool's list of waiting threads
// under Qt's own lock, which the sanitizer cannot see, so two pool threads
// growing that list one after the other are reported as a race in Qt. The
// sanitizer sees a thread's start and join, and so every hand-over here.
// The pool still sets how many threads a map may use, as it does for
// QtConcurrent.

#include "KXParallel.h"

#ifdef KX_PARALLEL_OWN_MAP

#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace KXParallel {
namespace Detail {
namespace {

// What the threads of one map share.
class MapState {
public:
    MapState(int count, void (*call)(void*, int), void* context) : m_count(count), m_call(call), m_context(context) {}

    // Takes indices until none is left or a task has failed.
    void Work()
    {
        while (!m_failed.load(std::memory_order_relaxed)) {
            const int i = m_next.fetch_add(1, std::memory_order_relaxed);
            if (i >= m_count)
                return;
            try {
                m_call(m_context, i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (!m_error)
                    m_error = std::current_exception();
                m_failed.store(true, std::memory_order_relaxed);
            }
        }
    }

    // Rethrows the first task's exception; called once every helper is joined.
    void Rethrow()
    {
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    const int m_count;
    void (*const m_call)(void*, int);
    void* const m_context;
    std::atomic<int> m_next{0};
    std::atomic<bool> m_failed{false};
    std::mutex m_mutex;
    std::exception_ptr m_error; // the first one; under m_mutex
};

} // namespace

void Map(int count, void (*call)(void*, int), void* context)
{
    if (count <= 0)
        return;
    MapState state(count, call, context);
    const int helpers = std::min(count, QThreadPool::globalInstance()->maxThreadCount()) - 1;
    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(std::max(helpers, 0)));
    try {
        for (int h = 0; h < helpers; ++h)
            threads.emplace_back([&state] { state.Work(); });
    } catch (const std::system_error&) {
        // No thread to be had: the ones started and this one do the work.
    }
    state.Work();
    for (std::thread& thread : threads)
        thread.join();
    state.Rethrow();
}

} // namespace Detail
} // namespace KXParallel

#endif // KX_PARALLEL_OWN_MAP
