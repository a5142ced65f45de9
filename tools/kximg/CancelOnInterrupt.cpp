#include "CancelOnInterrupt.h"

#include "Interrupt.h"

#include <QWriteLocker>

#include <chrono>

namespace kximg {

CancelOnInterrupt::CancelOnInterrupt(QReadWriteLock& lock, bool& flag)
    : m_watcher([this, &lock, &flag] {
          while (!m_done.load()) {
              if (InterruptSignal()) {
                  const QWriteLocker locked(&lock);
                  flag = true;
                  return;
              }
              std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
      })
{
}

CancelOnInterrupt::~CancelOnInterrupt()
{
    m_done = true;
    m_watcher.join();
}

} // namespace kximg
