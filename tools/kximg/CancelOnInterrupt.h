#ifndef KXIMG_CANCELONINTERRUPT_H
#define KXIMG_CANCELONINTERRUPT_H

// A library filter stops when its cancel flag is set under the caller's
// lock; a signal handler may take no lock. While alive, this sets the flag
// (under the lock, for writing) soon after SIGINT or SIGTERM arrived, from a
// small thread of its own that looks every 20 ms.

#include <QReadWriteLock>

#include <atomic>
#include <thread>

namespace kximg {

class CancelOnInterrupt {
public:
    CancelOnInterrupt(QReadWriteLock& lock, bool& flag);
    ~CancelOnInterrupt();
    CancelOnInterrupt(const CancelOnInterrupt&) = delete;
    CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;

private:
    std::atomic<bool> m_done{false};
    std::thread m_watcher;
};

} // namespace kximg

#endif // KXIMG_CANCELONINTERRUPT_H
