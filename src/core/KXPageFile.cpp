#include "core/KXPageFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A name that is taken is drawn again; this many tries make a directory
// full of page files an error rather than an endless loop.
constexpr int kNameAttempts = 10000;

[[noreturn]] void Fail(const char* text)
{
    throw std::runtime_error(text);
}

QString DrawName(const QString& directory)
{
    return directory + QStringLiteral("/tamrixo%1.page").arg(std::rand());
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True while `path` still names the file open as `fd` (it may have been
// removed, or replaced by another process's file of the same name).
bool NameRefersTo(const QByteArray& path, int fd)
{
    struct stat byName;
    struct stat byHandle;
    return ::lstat(path.constData(), &byName) == 0 && ::fstat(fd, &byHandle) == 0
           && SameFile(byName, byHandle);
}

// Refuses a size beyond the process's file-size limit before the file is
// extended: writing past the limit would raise SIGXFSZ instead of failing.
bool WithinFileSizeLimit(uint64_t size)
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return true;
    return static_cast<uint64_t>(limit.rlim_cur) >= size;
}

// Gives a nameless, locked file in `directory` its name: linking fails when
// the name exists, whatever it is (a file, a link, a directory), so no two
// processes ever share a page file and a planted link is never followed.
// Returns the name, or an empty string when the system cannot link an
// unnamed file here.
QString LinkUnnamed(int fd, const QString& directory)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString name = DrawName(directory);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, QFile::encodeName(name).constData(),
                     AT_SYMLINK_FOLLOW) == 0)
            return name;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

// Creates a new file under a drawn name with O_EXCL, and locks it. Between
// creating and locking, a cleaner of another process may take the unlocked
// file for a leftover and remove it: the name is checked once locked.
int CreateNamed(const QString& directory, QString* name)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        *name = DrawName(directory);
        const QByteArray path = QFile::encodeName(*name);
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && NameRefersTo(path, fd))
            return fd;
        ::close(fd);
    }
    return -1;
}

// Maps `size` bytes (of `fd` from offset 0, or anonymous memory when fd is
// -1) at an address on a 2 MiB boundary, so that the range can later hold
// huge pages chunk by chunk: a larger range is reserved, the mapping put on
// its first boundary and the rest given back.
void* MapAligned(uint64_t size, int fd)
{
    constexpr uint64_t kAlign = uint64_t(2) << 20;
    void* reserved = ::mmap(nullptr, size + kAlign, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED)
        return MAP_FAILED;
    char* start = static_cast<char*>(reserved);
    char* aligned = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + kAlign - 1) & ~(kAlign - 1));
    void* mapped = fd < 0 ? ::mmap(aligned, size, PROT_READ | PROT_WRITE,
                                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0)
                          : ::mmap(aligned, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_NORESERVE | MAP_FIXED, fd, 0);
    if (mapped != aligned) {
        const int error = errno;
        ::munmap(reserved, size + kAlign);
        errno = error;
        return MAP_FAILED;
    }
    if (aligned > start)
        ::munmap(start, static_cast<size_t>(aligned - start));
    char* end = aligned + size;
    if (end < start + size + kAlign)
        ::munmap(end, static_cast<size_t>(start + size + kAlign - end));
    return aligned;
}

} // namespace

std::unique_ptr<KXPageFile> KXPageFile::CreateFile(const QString& directory, uint64_t size)
{
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    if (!WithinFileSizeLimit(size))
        Fail("Map file error. Insufficient disk space");

    // Preferably an unnamed file, locked and extended before anybody can see
    // it, then linked under a free name.
    QString name;
    int fd = ::open(QFile::encodeName(directory).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            ::close(fd);
            Fail("Map file error. Insufficient disk space");
        }
        name = LinkUnnamed(fd, directory);
        if (name.isEmpty()) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        fd = CreateNamed(directory, &name);
        if (fd < 0)
            Fail("Unknown exception. File creation error.");
        // The file stays sparse: blocks get their disk space as they are
        // handed out.
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            ::unlink(QFile::encodeName(name).constData());
            ::close(fd);
            Fail("Map file error. Insufficient disk space");
        }
    }

    void* base = MapAligned(size, fd);
    if (base == MAP_FAILED) {
        const int error = errno;
        ::unlink(QFile::encodeName(name).constData());
        ::close(fd);
        throw std::runtime_error(QStringLiteral("map object error: %1").arg(error).toStdString());
    }

    std::unique_ptr<KXPageFile> file(new KXPageFile);
    file->m_path = name;
    file->m_fd = fd;
    file->m_base = static_cast<char*>(base);
    file->m_size = size;
    return file;
}

std::unique_ptr<KXPageFile> KXPageFile::CreateAnonymous(uint64_t size)
{
    void* base = MapAligned(size, -1);
    if (base == MAP_FAILED)
        return nullptr;
    std::unique_ptr<KXPageFile> file(new KXPageFile);
    file->m_base = static_cast<char*>(base);
    file->m_size = size;
    return file;
}

int KXPageFile::RemoveOrphans(const QString& directory)
{
    int removed = 0;
    const QFileInfoList candidates =
        QDir(directory).entryInfoList(QStringList() << QStringLiteral("tamrixo*.page"),
                                      QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo& info : candidates) {
        const QByteArray path = QFile::encodeName(info.absoluteFilePath());
        // Links are not followed; a file its owner still locks is left alone.
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat status;
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && NameRefersTo(path, fd) && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

bool KXPageFile::Back(uint64_t offset, uint64_t length)
{
    if (m_fd < 0)
        return true;
    return ::posix_fallocate(m_fd, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0;
}

bool KXPageFile::Discard(uint64_t offset, uint64_t length)
{
    if (m_fd < 0)
        return ::madvise(m_base + offset, length, MADV_DONTNEED) == 0;
    return ::fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                       static_cast<off_t>(length)) == 0
           || ::madvise(m_base + offset, length, MADV_REMOVE) == 0;
}

bool KXPageFile::Restore(uint64_t offset, uint64_t length)
{
    void* at = m_base + offset;
    void* mapped = m_fd < 0 ? ::mmap(at, length, PROT_READ | PROT_WRITE,
                                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0)
                            : ::mmap(at, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_NORESERVE | MAP_FIXED,
                                     m_fd, static_cast<off_t>(offset));
    return mapped == at;
}

KXPageFile::~KXPageFile()
{
    if (m_base)
        ::munmap(m_base, m_size);
    if (m_fd >= 0) {
        // The name goes first, while the lock still keeps cleaners away, and
        // only if it is still this file's.
        const QByteArray path = QFile::encodeName(m_path);
        if (!m_path.isEmpty() && NameRefersTo(path, m_fd))
            ::unlink(path.constData());
        ::close(m_fd);
    }
}
