#ifndef KXIMG_INTERRUPT_H
#define KXIMG_INTERRUPT_H

// Stopping on SIGINT and SIGTERM without leaving anything behind.
//
// The signal handler only records the signal. The tool looks at it between
// steps (CheckInterrupted) and unwinds with Interrupted: images are freed,
// the tile manager is released (which deletes its page file), no output is
// committed, and the process exits with 128 + the signal number after one
// line on stderr ("kximg: invert: cancelled by SIGINT").
//
// A step cannot be left half-way (decoding a file, a library call that
// reports no progress, a read that blocks). So a second signal, or the end
// of a short grace period after the first, ends the process at once: the
// handler deletes the page file and the temporary file of the output being
// written, whose paths were saved beforehand, writes the same line and calls
// _exit.

#include "Error.h"

#include <QString>

namespace kximg {

// Unwinds a command that was asked to stop; its status is 128 + signal.
class Interrupted : public Error {
public:
    explicit Interrupted(int signal);
};

// Installs the handlers for SIGINT and SIGTERM; `command` names the command
// in the line written when it stops.
void InstallInterruptHandlers(const QString& command);

// The first signal received, or 0.
int InterruptSignal();

// Throws Interrupted once a signal has been received.
void CheckInterrupted();

// Writes the line (unless a forced exit already has) and returns the exit
// status, 128 + the signal.
int ReportInterrupted();

// Saves the path of the tile manager's page file, so that a forced exit
// deletes it; call it after the tile manager is created, ForgetPageFile
// after it is released.
void WatchPageFile();
void ForgetPageFile();

// While alive, a forced exit deletes `path` (an output's temporary file).
class DiscardOnForcedExit {
public:
    explicit DiscardOnForcedExit(const QString& path);
    ~DiscardOnForcedExit();
    DiscardOnForcedExit(const DiscardOnForcedExit&) = delete;
    DiscardOnForcedExit& operator=(const DiscardOnForcedExit&) = delete;
};

} // namespace kximg

#endif // KXIMG_INTERRUPT_H
