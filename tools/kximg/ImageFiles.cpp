#include "ImageFiles.h"

#include "AtomicFile.h"
#include "Error.h"
#include "Interrupt.h"

#include "KXImage.h"
#include "VQTileManager64.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QStringList>

#include <atomic>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace kximg {

namespace {

std::atomic<bool> gPluginMessagesShown{false};

// Some image plugins print their complaints on stderr themselves (libpng's
// "libpng error: ..."); the tool says what failed in its one line, so
// stderr goes to /dev/null while a plugin reads or writes, unless the
// plugins' messages were asked for.
class PluginMessagesHidden {
public:
    PluginMessagesHidden()
    {
        if (gPluginMessagesShown)
            return;
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0)
            return;
        std::fflush(stderr);
        m_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if (m_saved >= 0)
            ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    ~PluginMessagesHidden()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
    PluginMessagesHidden(const PluginMessagesHidden&) = delete;
    PluginMessagesHidden& operator=(const PluginMessagesHidden&) = delete;

private:
    int m_saved = -1;
};

QString LowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

QString Join(const QList<QByteArray>& formats)
{
    QStringList names;
    for (const QByteArray& format : formats)
        names << QString::fromLatin1(format);
    return names.join(QStringLiteral(", "));
}

// Refuses a picture whose working image would need more tile blocks than
// the tile manager has free, before a byte of it is decoded: a small file
// may claim a size that would take minutes and gigabytes to find out about.
void RequireTileMemory(const QString& path, const QSize& size)
{
    const VQTileManager64* tiles = VQTileManager64::Instance();
    if (!tiles || !size.isValid())
        return;
    const long long columns = (size.width() + KXImageRGBA32i::kTileWidth - 1LL) / KXImageRGBA32i::kTileWidth;
    const long long rows = (size.height() + KXImageRGBA32i::kTileHeight - 1LL) / KXImageRGBA32i::kTileHeight;
    const long long needed = columns * rows;
    const long long available = tiles->GetAvailableCount();
    if (needed <= available)
        return;
    const long long mebibyte = 1024 * 1024;
    const long long block = VQTileManager64::kBlockSize;
    throw Error(QStringLiteral("cannot read %1: image too large: %2 x %3 needs %4 MiB of tile memory, "
                               "%5 MiB available")
                    .arg(Quoted(path))
                    .arg(size.width())
                    .arg(size.height())
                    .arg((needed * block + mebibyte - 1) / mebibyte)
                    .arg(available * block / mebibyte));
}

} // namespace

QImage ReadImage(const QString& path, QByteArray* fileFormat)
{
    const auto fail = [&](const QString& reason) {
        return Error(QStringLiteral("cannot read %1: %2").arg(Quoted(path), reason));
    };
    const QFileInfo info(path);
    if (!info.exists())
        throw fail(QStringLiteral("no such file"));
    if (info.isDir())
        throw fail(QStringLiteral("is a directory"));
    if (!info.isReadable())
        throw fail(QStringLiteral("permission denied"));

    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    QByteArray format;
    QImage image;
    bool read = false;
    {
        const PluginMessagesHidden quiet;
        // Known only before reading.
        format = reader.format();
        // Qt 5 readers have no allocation limit of their own (Qt 6 ones do,
        // and it would have to make room for what passes here).
        RequireTileMemory(path, reader.size());
        CheckInterrupted();
        read = reader.read(&image);
    }
    CheckInterrupted();
    if (!read)
        throw fail(LowerFirst(reader.errorString()));
    if (fileFormat)
        *fileFormat = format;
    return image;
}

QByteArray WriteFormatFor(const QString& path)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (suffix.isEmpty())
        throw Error(QStringLiteral("cannot write %1: no file suffix to choose the image format by "
                                   "(writable: %2)")
                        .arg(Quoted(path), WritableFormats()));
    if (!QImageWriter::supportedImageFormats().contains(suffix))
        throw Error(QStringLiteral("cannot write %1: unknown image format '%2' (writable: %3)")
                        .arg(Quoted(path), QString::fromLatin1(suffix), WritableFormats()));
    return suffix;
}

void WriteImage(const QImage& image, const QString& path, const QByteArray& format)
{
    WriteAtomically(path, [&](QIODevice& device) {
        QImageWriter writer(&device, format);
        bool written = false;
        {
            const PluginMessagesHidden quiet;
            written = writer.write(image);
        }
        if (written)
            return QString();
        // The file's own error (a full disk, a size limit) says more than
        // the plugin's.
        const auto* file = qobject_cast<const QFileDevice*>(&device);
        return LowerFirst(file && file->error() != QFileDevice::NoError ? file->errorString()
                                                                        : writer.errorString());
    });
}

void ShowPluginMessages(bool show)
{
    gPluginMessagesShown = show;
}

QString ReadableFormats()
{
    return Join(QImageReader::supportedImageFormats());
}

QString WritableFormats()
{
    return Join(QImageWriter::supportedImageFormats());
}

QString FormatName(QImage::Format format)
{
    // In the order of the enumeration (Qt 5.15).
    static const char* const kNames[] = {
        "Invalid", "Mono", "MonoLSB", "Indexed8", "RGB32", "ARGB32", "ARGB32_Premultiplied",
        "RGB16", "ARGB8565_Premultiplied", "RGB666", "ARGB6666_Premultiplied", "RGB555",
        "ARGB8555_Premultiplied", "RGB888", "RGB444", "ARGB4444_Premultiplied", "RGBX8888",
        "RGBA8888", "RGBA8888_Premultiplied", "BGR30", "A2BGR30_Premultiplied", "RGB30",
        "A2RGB30_Premultiplied", "Alpha8", "Grayscale8", "RGBX64", "RGBA64",
        "RGBA64_Premultiplied", "Grayscale16", "BGR888"};
    const int index = static_cast<int>(format);
    if (index >= 0 && index < static_cast<int>(sizeof(kNames) / sizeof(kNames[0])))
        return QString::fromLatin1(kNames[index]);
    return QStringLiteral("format %1").arg(index);
}

} // namespace kximg
