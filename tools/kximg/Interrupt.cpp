#include "Interrupt.h"

#include "VQTileManager64.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kximg {

namespace {

// How long a step may go on after the first signal before the process ends
// at once.
constexpr unsigned int kGraceSeconds = 2;

// Everything the handler touches: lock-free atomics, and strings that the
// handler takes over by exchanging their pointer (so that nobody frees one
// while it is in use; the handler never returns from the forced exit).
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
                  std::atomic<char*>::is_always_lock_free && std::atomic<uint64_t>::is_always_lock_free,
              "the signal handler needs lock-free atomics");
std::atomic<int> gSignal{0};
std::atomic<bool> gReported{false};
std::atomic<char*> gOutput{nullptr};
std::atomic<char*> gPageFile{nullptr};
// The page file as it was when watched: its name is removed only while it
// still names that file.
std::atomic<uint64_t> gPageFileDevice{0};
std::atomic<uint64_t> gPageFileInode{0};
// stderr as it was at the start: the line reaches it also while stderr is
// silenced around an image plugin.
int gStderr = STDERR_FILENO;

// The line for each signal, made before the handlers are installed.
struct Line {
    char text[256] = {};
    size_t length = 0;
};
Line gLines[2]; // SIGINT, SIGTERM

const char* SignalName(int signal)
{
    return signal == SIGTERM ? "SIGTERM" : "SIGINT";
}

void WriteLine(int signal)
{
    if (gReported.exchange(true))
        return;
    const Line& line = gLines[signal == SIGTERM ? 1 : 0];
    ssize_t ignored = ::write(gStderr, line.text, line.length);
    (void)ignored;
}

// Async-signal-safe: unlink, lstat, write and _exit only.
[[noreturn]] void ForcedExit(int signal)
{
    if (char* output = gOutput.exchange(nullptr))
        ::unlink(output);
    // The name goes only while it still names this process's page file:
    // once the tile manager removed it, the name may be another process's.
    if (char* page = gPageFile.exchange(nullptr)) {
        struct stat byName;
        if (::lstat(page, &byName) == 0 && byName.st_dev == gPageFileDevice.load()
            && byName.st_ino == gPageFileInode.load())
            ::unlink(page);
    }
    WriteLine(signal);
    ::_exit(128 + signal);
}

void OnSignal(int signal)
{
    const int savedErrno = errno;
    if (signal == SIGALRM) {
        const int first = gSignal.load();
        if (first != 0)
            ForcedExit(first);
    } else {
        int first = 0;
        if (!gSignal.compare_exchange_strong(first, signal))
            ForcedExit(first);
        ::alarm(kGraceSeconds);
    }
    errno = savedErrno;
}

char* Duplicate(const QByteArray& bytes)
{
    char* copy = static_cast<char*>(std::malloc(static_cast<size_t>(bytes.size()) + 1));
    if (copy)
        std::memcpy(copy, bytes.constData(), static_cast<size_t>(bytes.size()) + 1);
    return copy;
}

void Replace(std::atomic<char*>& slot, char* value)
{
    std::free(slot.exchange(value));
}

} // namespace

Interrupted::Interrupted(int signal)
    : Error(QStringLiteral("cancelled by %1").arg(QLatin1String(SignalName(signal))), 128 + signal)
{
}

void InstallInterruptHandlers(const QString& command)
{
    const int numbers[2] = {SIGINT, SIGTERM};
    for (int i = 0; i < 2; ++i) {
        const QByteArray text = QStringLiteral("kximg: %1: cancelled by %2\n")
                                    .arg(command, QLatin1String(SignalName(numbers[i])))
                                    .toLocal8Bit()
                                    .left(static_cast<int>(sizeof(gLines[i].text)) - 1);
        std::memcpy(gLines[i].text, text.constData(), static_cast<size_t>(text.size()));
        gLines[i].length = static_cast<size_t>(text.size());
    }

    const int handle = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (handle >= 0)
        gStderr = handle;

    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = OnSignal;
    // Interrupted system calls go on; the tool looks at the flag itself.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGALRM})
        sigaddset(&action.sa_mask, signal);
    for (int signal : {SIGINT, SIGTERM, SIGALRM})
        ::sigaction(signal, &action, nullptr);
}

int InterruptSignal()
{
    return gSignal.load();
}

void CheckInterrupted()
{
    if (const int signal = gSignal.load())
        throw Interrupted(signal);
}

int ReportInterrupted()
{
    const int signal = gSignal.load();
    WriteLine(signal);
    return 128 + signal;
}

void WatchPageFile()
{
    const QByteArray path = QFile::encodeName(VQTileManager64::Instance()->PageFilePath());
    struct stat status;
    if (path.isEmpty() || ::lstat(path.constData(), &status) != 0)
        return;
    gPageFileDevice = status.st_dev;
    gPageFileInode = status.st_ino;
    Replace(gPageFile, Duplicate(path));
}

void ForgetPageFile()
{
    Replace(gPageFile, nullptr);
}

DiscardOnForcedExit::DiscardOnForcedExit(const QString& path)
{
    Replace(gOutput, Duplicate(QFile::encodeName(path)));
}

DiscardOnForcedExit::~DiscardOnForcedExit()
{
    Replace(gOutput, nullptr);
}

} // namespace kximg
