#include "AtomicFile.h"

#include "Error.h"
#include "Interrupt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kximg {

namespace {

QString SystemError(int error)
{
    return LowerFirst(QString::fromLocal8Bit(std::strerror(error)));
}

// A temporary file's name: the target's, a mark and a drawn base-36 number.
const QString kMark = QStringLiteral(".kximg-");

QString TemporaryName(const QString& target)
{
    return target + kMark + QString::number(QRandomGenerator::global()->generate(), 36);
}

// Whether `name` is one TemporaryName gives for the file `target`.
bool IsTemporaryName(const QString& name, const QString& target)
{
    if (!name.startsWith(target + kMark))
        return false;
    const QString number = name.mid(target.size() + kMark.size());
    if (number.isEmpty() || number.size() > 7)
        return false;
    for (const QChar c : number)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))))
            return false;
    return true;
}

// Whether `path` still names the file open as `fd` (not removed or replaced
// since it was opened).
bool NameRefersTo(const QByteArray& path, int fd)
{
    struct stat named, open;
    return ::lstat(path.constData(), &named) == 0 && ::fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
           named.st_ino == open.st_ino;
}

// Removes the temporary files an earlier run left beside `target` when it
// was killed while writing: regular files of this user under our naming
// that no live run holds locked (a writer locks its file from creation to
// rename).
void RemoveStaleTemporaries(const QString& target)
{
    const QFileInfo info(target);
    const QDir directory = info.absoluteDir();
    const QStringList names = directory.entryList(QStringList() << info.fileName() + kMark + QLatin1Char('*'),
                                                  QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QString& name : names) {
        if (!IsTemporaryName(name, info.fileName()))
            continue;
        const QByteArray path = QFile::encodeName(directory.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat status;
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && NameRefersTo(path, fd))
            ::unlink(path.constData());
        ::close(fd);
    }
}

// The temporary file beside the target: created exclusively under a drawn
// name, never through a link, with the permissions any new file gets (those
// of the target it replaces are set before the rename). Removed unless it
// became the target; a forced exit (see Interrupt.h) removes it too.
class TemporaryFile {
public:
    explicit TemporaryFile(const QString& target)
    {
        for (int attempt = 0; attempt < 100 && m_handle < 0; ++attempt) {
            m_path = TemporaryName(target);
            const QByteArray path = QFile::encodeName(m_path);
            m_handle = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (m_handle < 0 && errno != EEXIST)
                break;
            // Locked for as long as it is ours; another run's cleaner may
            // have taken it for a leftover before the lock: then a new name.
            if (m_handle >= 0 && !(::flock(m_handle, LOCK_EX | LOCK_NB) == 0 && NameRefersTo(path, m_handle))) {
                ::close(m_handle);
                m_handle = -1;
            }
        }
        m_error = m_handle < 0 ? errno : 0;
        if (m_handle >= 0)
            m_discard.reset(new DiscardOnForcedExit(m_path));
    }
    ~TemporaryFile()
    {
        if (m_handle < 0)
            return;
        if (!m_committed)
            ::unlink(QFile::encodeName(m_path).constData());
        ::close(m_handle);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Handle() const { return m_handle; }
    int Error() const { return m_error; }
    // Renames the file to `target`; errno on failure, else 0.
    int CommitAs(const QString& target)
    {
        if (::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(target).constData()) != 0)
            return errno;
        m_committed = true;
        return 0;
    }

private:
    QString m_path;
    int m_handle = -1;
    int m_error = 0;
    bool m_committed = false;
    std::unique_ptr<DiscardOnForcedExit> m_discard;
};

} // namespace

void WriteAtomically(const QString& path, const std::function<QString(QIODevice&)>& write)
{
    const auto fail = [&](const QString& reason) {
        return Error(QStringLiteral("cannot write %1: %2").arg(Quoted(path), LowerFirst(reason)));
    };
    CheckInterrupted();
    RemoveStaleTemporaries(path);
    TemporaryFile temporary(path);
    if (temporary.Handle() < 0)
        throw fail(SystemError(temporary.Error()));
    {
        QFile file;
        if (!file.open(temporary.Handle(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            throw fail(file.errorString());
        const QString problem = write(file);
        if (!problem.isEmpty())
            throw fail(problem);
        if (!file.flush())
            throw fail(file.errorString());
    }
    // A replaced file keeps its permissions; the data is on disk before the
    // name points at it.
    struct stat existing;
    if (::stat(QFile::encodeName(path).constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(temporary.Handle(), existing.st_mode & 07777);
    if (::fsync(temporary.Handle()) != 0)
        throw fail(SystemError(errno));
    CheckInterrupted();
    if (const int error = temporary.CommitAs(path))
        throw fail(SystemError(error));
}

void WriteAtomically(const QString& path, const QByteArray& bytes)
{
    WriteAtomically(path, [&](QIODevice& device) {
        return device.write(bytes) == bytes.size() ? QString() : device.errorString();
    });
}

} // namespace kximg
