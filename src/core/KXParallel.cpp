// The map of thread-sanitizer builds (see KXParallel.h); other builds use
// QtConcurrent::blockingMap and compile nothing here.

#include "KXParallel.h"

#ifdef KX_PARALLEL_OWN_MAP

#include <QRunnable>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

// Qt's thread pool is not built with the thread sanitizer: it cannot see
// that the caller's writes happen before a pool thread starts on them, nor
// that a pool thread's writes happen before the caller goes on. These hooks
// tell it; they are empty in other builds. The pool's own bookkeeping in
// tryStart (its queue, allocated here and freed by a pool thread under Qt's
// lock) is left unchecked: it is Qt's, and ordered by a lock the sanitizer
// cannot see.
#if defined(__SANITIZE_THREAD__)
#define KX_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KX_THREAD_SANITIZER 1
#endif
#endif
#ifdef KX_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#define KX_TSAN_RELEASE(address) __tsan_release(address)
#define KX_TSAN_ACQUIRE(address) __tsan_acquire(address)
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#define KX_TSAN_IGNORE_BEGIN() __tsan_ignore_thread_begin()
#define KX_TSAN_IGNORE_END() __tsan_ignore_thread_end()
#else
#define KX_TSAN_RELEASE(address) static_cast<void>(address)
#define KX_TSAN_ACQUIRE(address) static_cast<void>(address)
#define KX_TSAN_IGNORE_BEGIN() static_cast<void>(0)
#define KX_TSAN_IGNORE_END() static_cast<void>(0)
#endif

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

    // A pool thread is about to be asked (true) or was refused (false).
    void Expect(bool more)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running += more ? 1 : -1;
    }

    // A pool thread's last word on this map.
    void Done()
    {
        KX_TSAN_RELEASE(&m_finish);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (--m_running == 0)
            m_finished.notify_one();
    }

    // Waits for the pool threads, then rethrows the first task's exception.
    void Finish()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_finished.wait(lock, [this] { return m_running == 0; });
        KX_TSAN_ACQUIRE(&m_finish);
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
    std::condition_variable m_finished;
    int m_running = 0;          // pool threads not done yet; under m_mutex
    std::exception_ptr m_error; // the first one; under m_mutex
    char m_finish = 0;          // the sanitizer's sync point for the hand-back
};

// One pool thread's share; owned by Map, which outlives its run.
class Helper : public QRunnable {
public:
    explicit Helper(MapState& state) : m_state(state) { setAutoDelete(false); }

    void run() override
    {
        KX_TSAN_ACQUIRE(this); // before any member is read
        m_state.Work();
        m_state.Done();
    }

private:
    MapState& m_state;
};

} // namespace

void Map(int count, void (*call)(void*, int), void* context)
{
    if (count <= 0)
        return;
    MapState state(count, call, context);
    QThreadPool* pool = QThreadPool::globalInstance();
    const int helpers = std::min(count, pool->maxThreadCount()) - 1;
    std::vector<std::unique_ptr<Helper>> started;
    for (int h = 0; h < helpers; ++h) {
        auto helper = std::make_unique<Helper>(state);
        state.Expect(true);
        KX_TSAN_RELEASE(helper.get());
        KX_TSAN_IGNORE_BEGIN();
        const bool taken = pool->tryStart(helper.get());
        KX_TSAN_IGNORE_END();
        if (!taken) {
            state.Expect(false);
            break;
        }
        started.push_back(std::move(helper));
    }
    state.Work();
    state.Finish();
}

} // namespace Detail
} // namespace KXParallel

#endif // KX_PARALLEL_OWN_MAP
