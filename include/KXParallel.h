#ifndef KXPARALLEL_H
#define KXPARALLEL_H

/// \file
/// The one way the library runs work in parallel: QtConcurrent::blockingMap
/// on Qt's global thread pool over a vector of indices; the calling thread
/// waits. A standard exception thrown by a task reaches the caller as the
/// same exception (Qt 5 would wrap it in QUnhandledException): tasks catch
/// it, the first one is kept, and it is rethrown once the map has returned.
///
/// In a thread-sanitizer build the map is a small one of our own, on threads
/// it starts and joins, as many as the pool allows (src/core/KXParallel.cpp):
/// Qt is not built with the sanitizer, so QtConcurrent's engine and the
/// pool, half inlined here and half in Qt, would hide their hand-overs from
/// it. Both maps run every index once, skip the indices not yet started
/// after a failure and rethrow the first exception.

#include "kxcore_export.h"

#if defined(__SANITIZE_THREAD__)
#define KX_PARALLEL_OWN_MAP 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KX_PARALLEL_OWN_MAP 1
#endif
#endif

#ifndef KX_PARALLEL_OWN_MAP
#include <QtConcurrent/QtConcurrentMap>
#endif

#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <numeric>
#include <vector>

/// Blocking parallel maps over indices on Qt's global thread pool.
namespace KXParallel {

/// 0, 1, …, count − 1 (empty for a count below 1).
inline std::vector<int> Indices(int count)
{
    std::vector<int> indices(count > 0 ? static_cast<size_t>(count) : 0);
    std::iota(indices.begin(), indices.end(), 0);
    return indices;
}

#ifdef KX_PARALLEL_OWN_MAP
namespace Detail {
/// call(context, i) for every i in 0 … count − 1, as described above.
KXCORE_EXPORT void Map(int count, void (*call)(void* context, int i), void* context);
} // namespace Detail

/// Calls task(index) for every element of `indices` on the global thread pool
/// and waits. Once a task has failed the remaining ones are skipped, and the
/// first exception is rethrown here.
template <class Task>
void BlockingMap(std::vector<int>& indices, Task& task)
{
    struct Context {
        std::vector<int>& indices;
        Task& task;
    } context{indices, task};
    Detail::Map(static_cast<int>(indices.size()),
                [](void* c, int i) {
                    Context& x = *static_cast<Context*>(c);
                    x.task(x.indices[static_cast<size_t>(i)]);
                },
                &context);
}

#else
namespace Detail {
struct FirstError {
    std::mutex mutex;
    std::exception_ptr error;
    std::atomic<bool> failed{false};

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
    QtConcurrent::blockingMap(indices, [&task, &state](int& index) {
        if (state.failed.load(std::memory_order_relaxed))
            return;
        try {
            task(index);
        } catch (...) {
            state.Keep(std::current_exception());
        }
    });
    if (state.error)
        std::rethrow_exception(state.error);
}

#endif

/// The same with a copy of a const task.
template <class Task>
void BlockingMap(std::vector<int>& indices, const Task& task)
{
    Task copy(task);
    BlockingMap(indices, copy);
}

} // namespace KXParallel

#endif // KXPARALLEL_H
