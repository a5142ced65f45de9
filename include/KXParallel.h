#ifndef KXPARALLEL_H
#define KXPARALLEL_H

/// \file
/// The one way the library runs work in parallel: the calling thread and up
/// to maxThreadCount() − 1 threads of Qt's global pool take the indices in
/// turn until none is left; the calling thread then waits for the pool
/// threads. A standard exception thrown by a task reaches the caller as the
/// same exception: the first one is kept, the indices not yet taken are
/// skipped, and it is rethrown once every thread has stopped.
///
/// Pool threads are only taken when free (QThreadPool::tryStart), so a task
/// may itself map: it then does the work on its own thread.

#include "kxcore_export.h"

#include <cstddef>
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

/// The same with a copy of a const task.
template <class Task>
void BlockingMap(std::vector<int>& indices, const Task& task)
{
    Task copy(task);
    BlockingMap(indices, copy);
}

} // namespace KXParallel

#endif // KXPARALLEL_H
