// Qt's locks made visible to the thread sanitizer. The system's Qt is built
// without the sanitizer, so a QMutex or QReadWriteLock taken around shared
// data orders nothing as far as the sanitizer can tell, and every section
// they guard would be reported as a race.
//
// Linked only into the thread-sanitizer build of the tests, this file defines
// the out-of-line lock functions itself: calls from the executable bind to
// these definitions ahead of the shared library's. Each one tells the
// sanitizer what it is about to do and then calls Qt's own function, found
// with dlsym(RTLD_NEXT). QMutexLocker reaches QMutex::lock/unlock (even for
// a QBasicMutex) and QReadLocker/QWriteLocker reach the QReadWriteLock
// functions below. Qt binds its internal calls to itself, so a lock that Qt
// takes inside its own code is neither seen here nor counted twice.

#include <QMutex>
#include <QReadWriteLock>

#include <sanitizer/tsan_interface.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

template <class Function>
Function Real(const char* symbol)
{
    void* address = dlsym(RTLD_NEXT, symbol);
    if (!address) {
        std::fprintf(stderr, "KXTsanQtLocks: %s not found in Qt\n", symbol);
        std::abort();
    }
    return reinterpret_cast<Function>(address);
}

// The read locks this thread holds: QReadWriteLock::unlock does not say
// whether it ends a read or a write, the sanitizer must be told.
constexpr int kMaxReadLocks = 32;
thread_local const void* tReadLocks[kMaxReadLocks];
thread_local int tReadLockCount = 0;

void NoteReadLock(const void* lock)
{
    if (tReadLockCount == kMaxReadLocks) {
        std::fprintf(stderr, "KXTsanQtLocks: more than %d read locks held by one thread\n", kMaxReadLocks);
        std::abort();
    }
    tReadLocks[tReadLockCount++] = lock;
}

// Forgets one read lock of `lock`; false when this thread holds none.
bool ForgetReadLock(const void* lock)
{
    for (int i = tReadLockCount - 1; i >= 0; --i) {
        if (tReadLocks[i] == lock) {
            tReadLocks[i] = tReadLocks[--tReadLockCount];
            return true;
        }
    }
    return false;
}

// A blocking lock, or a try with a timeout when `tried`.
template <class Take>
bool Lock(void* mutex, unsigned flags, bool tried, Take take)
{
    if (tried)
        flags |= __tsan_mutex_try_lock;
    __tsan_mutex_pre_lock(mutex, flags);
    const bool taken = take();
    __tsan_mutex_post_lock(mutex, taken ? flags : flags | __tsan_mutex_try_lock_failed, 0);
    return taken;
}

} // namespace

QMutex::QMutex(RecursionMode mode)
{
    static const auto real = Real<void (*)(QMutex*, RecursionMode)>("_ZN6QMutexC2ENS_13RecursionModeE");
    real(this, mode);
    __tsan_mutex_create(this, mode == Recursive ? __tsan_mutex_write_reentrant : 0);
}

QMutex::~QMutex()
{
    static const auto real = Real<void (*)(QMutex*)>("_ZN6QMutexD2Ev");
    __tsan_mutex_destroy(this, 0);
    real(this);
}

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = Real<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    Lock(this, 0, false, [this] { real(this); return true; });
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = Real<bool (*)(QMutex*, int)>("_ZN6QMutex7tryLockEi");
    return Lock(this, 0, true, [this, timeout] { return real(this, timeout); });
}

void QMutex::unlock() noexcept
{
    static const auto real = Real<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    __tsan_mutex_pre_unlock(this, 0);
    real(this);
    __tsan_mutex_post_unlock(this, 0);
}

QReadWriteLock::QReadWriteLock(RecursionMode mode)
{
    static const auto real =
        Real<void (*)(QReadWriteLock*, RecursionMode)>("_ZN14QReadWriteLockC2ENS_13RecursionModeE");
    real(this, mode);
    __tsan_mutex_create(this, mode == Recursive ? __tsan_mutex_write_reentrant | __tsan_mutex_read_reentrant : 0);
}

QReadWriteLock::~QReadWriteLock()
{
    static const auto real = Real<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLockD2Ev");
    __tsan_mutex_destroy(this, 0);
    real(this);
}

void QReadWriteLock::lockForRead()
{
    static const auto real = Real<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock11lockForReadEv");
    Lock(this, __tsan_mutex_read_lock, false, [this] { real(this); return true; });
    NoteReadLock(this);
}

bool QReadWriteLock::tryLockForRead()
{
    return tryLockForRead(0);
}

bool QReadWriteLock::tryLockForRead(int timeout)
{
    static const auto real = Real<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock14tryLockForReadEi");
    const bool taken = Lock(this, __tsan_mutex_read_lock, true, [this, timeout] { return real(this, timeout); });
    if (taken)
        NoteReadLock(this);
    return taken;
}

void QReadWriteLock::lockForWrite()
{
    static const auto real = Real<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock12lockForWriteEv");
    Lock(this, 0, false, [this] { real(this); return true; });
}

bool QReadWriteLock::tryLockForWrite()
{
    return tryLockForWrite(0);
}

bool QReadWriteLock::tryLockForWrite(int timeout)
{
    static const auto real = Real<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock15tryLockForWriteEi");
    return Lock(this, 0, true, [this, timeout] { return real(this, timeout); });
}

void QReadWriteLock::unlock()
{
    static const auto real = Real<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock6unlockEv");
    const unsigned flags = ForgetReadLock(this) ? __tsan_mutex_read_lock : 0;
    __tsan_mutex_pre_unlock(this, flags);
    real(this);
    __tsan_mutex_post_unlock(this, flags);
}
