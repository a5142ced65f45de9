#include "Interrupt.h"

#include "KXFileIOManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstdlib>
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
                  std::atomic<char*>::is_always_lock_free,
              "the signal handler needs lock-free atomics");
std::atomic<int> gSignal{0};
std::atomic<bool> gReported{false};
std::atomic<char*> gOutput{nullptr};
std::atomic<char*> gPageFile{nullptr};
std::atomic<int> gPageFileHandle{-1};
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

// Async-signal-safe: unlink, lstat, fstat, write and _exit only.
[[noreturn]] void ForcedExit(int signal)
{
    if (char* output = gOutput.exchange(nullptr))
        ::unlink(output);
    // The name goes only while it still names the file this process holds
    // open: after the tile manager closed it, the name may be another
    // process's by now.
    if (char* page = gPageFile.exchange(nullptr)) {
        struct stat byName;
        struct stat byHandle;
        if (::lstat(page, &byName) == 0 && ::fstat(gPageFileHandle.load(), &byHandle) == 0 &&
            byName.st_dev == byHandle.st_dev && byName.st_ino == byHandle.st_ino)
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
    // The tile manager keeps its page file open (and locked) while it lives:
    // it is the "tamrixo<N>.page" of the temporary directory that is also
    // one of this process's open files. (The name an open file shows in
    // /proc does not do: a file made unnamed and linked later keeps showing
    // as deleted.)
    const QDir directory(KXFileIOManager::GetTemporaryPath());
    const QFileInfoList candidates = directory.entryInfoList(QStringList{QStringLiteral("tamrixo*.page")},
                                                             QDir::Files | QDir::Hidden | QDir::System);
    if (candidates.isEmpty())
        return;
    const QStringList handles =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& candidate : candidates) {
        const QByteArray path = QFile::encodeName(candidate.absoluteFilePath());
        struct stat byName;
        if (::lstat(path.constData(), &byName) != 0 || !S_ISREG(byName.st_mode))
            continue;
        for (const QString& entry : handles) {
            bool isNumber = false;
            const int handle = entry.toInt(&isNumber);
            struct stat byHandle;
            if (isNumber && ::fstat(handle, &byHandle) == 0 && byHandle.st_dev == byName.st_dev &&
                byHandle.st_ino == byName.st_ino) {
                gPageFileHandle = handle;
                Replace(gPageFile, Duplicate(path));
                return;
            }
        }
    }
}

void ForgetPageFile()
{
    Replace(gPageFile, nullptr);
    gPageFileHandle = -1;
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
