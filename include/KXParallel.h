#ifndef KXPARALLEL_H
#define KXPARALLEL_H

/// \file
/// The one way the library runs work in parallel: QtConcurrent::blockingMap
/// on Qt's global thread pool over a vector of indices; the calling thread
/// waits. A standard exception thrown by a task reaches the caller as the
/// same exception (Qt 5 would wrap it in QUnhandledException): tasks catch
/// it, the first one is kept, and it is rethrown once the map has returned.

#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <exception>
#include <mutex>
#include <numeric>
#include <vector>

// Qt's thread pool is not built with the thread sanitizer, so it cannot see
// that the caller's writes happen before a task and a task's writes before
// the map returns; these hooks tell it. They are empty in other builds.
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
#else
#define KX_TSAN_RELEASE(address) ((void)(address))
#define KX_TSAN_ACQUIRE(address) ((void)(address))
#endif

/// Blocking parallel maps over indices on Qt's global thread pool.
namespace KXParallel {

/// 0, 1, …, count − 1 (empty for a count below 1).
inline std::vector<int> Indices(int count)
{
    std::vector<int> indices(count > 0 ? static_cast<size_t>(count) : 0);
    std::iota(indices.begin(), indices.end(), 0);
    return indices;
}

namespace Detail {
struct FirstError {
    std::mutex mutex;
    std::exception_ptr error;
    std::atomic<bool> failed{false};
    // Sanitizer sync points: the caller hands out through `start`, every task
    // hands back through `finish`. Two of them, so that tasks are not ordered
    // among themselves.
    char start = 0;
    char finish = 0;

    void Keep(std::exception_ptr e)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!error)
            error = e;
        failed.store(true, std::memory_order_relaxed);
    }
};
} // namespace Detail

/// Calls task(index) for every element of `indices` on the global thread pool
/// and waits. Once a task has failed the remaining ones are skipped, and the
/// first exception is rethrown here.
template <class Task>
void BlockingMap(std::vector<int>& indices, Task& task)
{
    Detail::FirstError state;
    KX_TSAN_RELEASE(&state.start);
    QtConcurrent::blockingMap(indices, [&task, &state](int& index) {
        KX_TSAN_ACQUIRE(&state.start);
        if (!state.failed.load(std::memory_order_relaxed)) {
            try {
                task(index);
            } catch (...) {
                state.Keep(std::current_exception());
            }
        }
        KX_TSAN_RELEASE(&state.finish);
    });
    KX_TSAN_ACQUIRE(&state.finish);
    if (state.error)
        std::rethrow_exception(state.error);
}

/// The same with a copy of a const task.
template <class Task>
void BlockingMap(std::vector<int>& indices, const Task& task)
{
    Task copy(task);
    BlockingMap(indices, copy);
}

} // namespace KXParallel

#endif // KXPARALLEL_H
