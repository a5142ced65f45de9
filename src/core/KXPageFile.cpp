#include "core/KXPageFile.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString PickName(const QString& directory)
{
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    QString name;
    do {
        name = directory + QStringLiteral("/tamrixo%1.page").arg(std::rand());
    } while (QFile::exists(name));
    return name;
}

[[noreturn]] void Fail(const char* text)
{
    throw std::runtime_error(text);
}

} // namespace

std::unique_ptr<KXPageFile> KXPageFile::CreateFile(const QString& directory, uint64_t size)
{
    const QString name = PickName(directory);
    const QByteArray path = QFile::encodeName(name);

    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        Fail("Unknown exception. File creation error.");
    // Extend to the full size; the file stays sparse until blocks are written.
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        ::unlink(path.constData());
        Fail("Map file error. Insufficient disk space");
    }
    ::close(fd);

    fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        ::unlink(path.constData());
        Fail("Unknown exception. File opening error.");
    }

    void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_NORESERVE, fd, 0);
    if (base == MAP_FAILED) {
        const int error = errno;
        ::close(fd);
        ::unlink(path.constData());
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
    void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED)
        return nullptr;
    std::unique_ptr<KXPageFile> file(new KXPageFile);
    file->m_base = static_cast<char*>(base);
    file->m_size = size;
    return file;
}

KXPageFile::~KXPageFile()
{
    if (m_base)
        ::munmap(m_base, m_size);
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_path.isEmpty())
        ::unlink(QFile::encodeName(m_path).constData());
}
