#include "AtomicFile.h"

#include "Error.h"
#include "Interrupt.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kximg {

namespace {

QString SystemError(int error)
{
    return LowerFirst(QString::fromLocal8Bit(std::strerror(error)));
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
            m_path = QStringLiteral("%1.%2").arg(target).arg(QRandomGenerator::global()->generate(), 0, 36);
            m_handle = ::open(QFile::encodeName(m_path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (m_handle < 0 && errno != EEXIST)
                break;
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
