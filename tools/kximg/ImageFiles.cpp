#include "ImageFiles.h"

#include "AtomicFile.h"
#include "Error.h"
#include "Interrupt.h"
#include "OptionValues.h"

#include "KXImage.h"
#include "VQTileManager64.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMetaEnum>
#include <QStringList>
#include <QtEndian>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

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

QString Join(const QList<QByteArray>& formats)
{
    QStringList names;
    for (const QByteArray& format : formats)
        names << QString::fromLatin1(format);
    return names.join(QStringLiteral(", "));
}

bool IsStandardStream(const QString& path)
{
    return path == QLatin1String("-");
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

// Whether the file's header segments hold EXIF data: a JPEG APP1 "Exif"
// segment, a PNG eXIf chunk or a WebP EXIF chunk, looked for in its first
// bytes (the metadata comes before the pixels).
bool HasExif(const QByteArray& head)
{
    const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
    const long long size = head.size();
    if (size > 4 && bytes[0] == 0xFF && bytes[1] == 0xD8) {
        for (long long at = 2; at + 4 <= size && bytes[at] == 0xFF;) {
            const uchar marker = bytes[at + 1];
            if (marker == 0xDA || marker == 0xD9) // start of scan, end of image
                break;
            const long long length = qFromBigEndian<quint16>(bytes + at + 2);
            if (marker == 0xE1 && head.mid(at + 4, 6) == QByteArray("Exif\0\0", 6))
                return true;
            at += 2 + length;
        }
        return false;
    }
    if (head.startsWith("\x89PNG\r\n\x1a\n")) {
        for (long long at = 8; at + 8 <= size;) {
            const long long length = qFromBigEndian<quint32>(bytes + at);
            const QByteArray type = head.mid(at + 4, 4);
            if (type == "eXIf")
                return true;
            if (type == "IDAT" || type == "IEND")
                break;
            at += 12 + length;
        }
        return false;
    }
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP") {
        for (long long at = 12; at + 8 <= size;) {
            if (head.mid(at, 4) == "EXIF")
                return true;
            const long long length = qFromLittleEndian<quint32>(bytes + at + 4);
            at += 8 + length + (length & 1);
        }
    }
    return false;
}

// Formats whose files keep an alpha channel.
bool KeepsAlpha(const QByteArray& format)
{
    static const QList<QByteArray> formats{"png", "webp", "tif", "tiff", "ico", "cur", "icns", "tga"};
    return formats.contains(format);
}

bool HasTransparency(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return false;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return true;
    }
    return false;
}

// Qt's PNG writer takes a quality: 100 - q maps onto zlib's levels as
// (100 - q) * 9 / 91. The smallest such step for a level gives it exactly.
int PngQualityFor(int level)
{
    return 100 - (91 * level + 8) / 9;
}

// Why writing to standard output failed, from errno: a full device or a
// size limit by its name, a closed stream as such.
QString StandardOutputFailure(int error)
{
    if (error == 0 || error == EBADF)
        return QStringLiteral("standard output is closed");
    return LowerFirst(QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

QList<OptionSyntax> ImageOptionSyntax()
{
    return {OptionSyntax{QStringLiteral("format"), QChar(), QStringLiteral("FORMAT"),
                         QStringLiteral("the output format (jpg, png, ...) where OUT has no suffix,\n"
                                        "as for '-' (standard output)")},
            OptionSyntax{QStringLiteral("quality"), QChar(), QStringLiteral("Q"),
                         QStringLiteral("JPEG or WebP quality from 0 to 100 (default 75)")},
            OptionSyntax{QStringLiteral("compression"), QChar(), QStringLiteral("N"),
                         QStringLiteral("PNG compression from 0 (fastest, largest) to 9\n"
                                        "(slowest, smallest); default 6")},
            OptionSyntax{QStringLiteral("strip"), QChar(), QString(),
                         QStringLiteral("write no colour profile (by default the input's\n"
                                        "embedded ICC profile goes with the output)")},
            OptionSyntax{QStringLiteral("no-rotate"), QChar(), QString(),
                         QStringLiteral("do not turn the picture as its EXIF orientation says")}};
}

ImageOptions ImageOptionsFrom(const ParsedArgs& args, const QString& command)
{
    ImageOptions options;
    options.autoRotate = !args.Has(QStringLiteral("no-rotate"));
    options.strip = args.Has(QStringLiteral("strip"));
    if (args.Has(QStringLiteral("format"))) {
        options.format = args.Value(QStringLiteral("format")).toLower().toLatin1();
        if (!QImageWriter::supportedImageFormats().contains(options.format))
            BadValue(command, QStringLiteral("format"), args.Value(QStringLiteral("format")),
                     QStringLiteral("one of: %1").arg(WritableFormats()));
    }
    options.quality = IntOption(args, command, QStringLiteral("quality"), -1, 0, 100);
    options.compression = IntOption(args, command, QStringLiteral("compression"), -1, 0, 9);
    return options;
}

Picture ReadPicture(const QString& path, const ImageOptions& options)
{
    const auto fail = [&](const QString& reason) {
        return Error(QStringLiteral("cannot read %1: %2").arg(Quoted(path), reason));
    };
    QFile file;
    QBuffer buffer;
    QByteArray head;
    if (IsStandardStream(path)) {
        if (!file.open(stdin, QIODevice::ReadOnly))
            throw fail(LowerFirst(file.errorString()));
        buffer.setData(file.readAll());
        buffer.open(QIODevice::ReadOnly);
        head = buffer.data().left(1 << 20);
    } else {
        const QFileInfo info(path);
        if (!info.exists())
            throw fail(QStringLiteral("no such file"));
        if (info.isDir())
            throw fail(QStringLiteral("is a directory"));
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly))
            throw fail(info.isReadable() ? LowerFirst(file.errorString()) : QStringLiteral("permission denied"));
        head = file.read(1 << 20);
        file.seek(0);
    }

    QImageReader reader(IsStandardStream(path) ? static_cast<QIODevice*>(&buffer) : &file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(options.autoRotate);
    Picture picture;
    bool read = false;
    {
        const PluginMessagesHidden quiet;
        // Known only before reading.
        picture.format = reader.format();
        // Qt 5 readers have no allocation limit of their own (Qt 6 ones do,
        // and it would have to make room for what passes here).
        RequireTileMemory(path, reader.size());
        CheckInterrupted();
        read = reader.read(&picture.image);
    }
    CheckInterrupted();
    if (!read)
        throw fail(LowerFirst(reader.errorString()));
    picture.exif = HasExif(head);
    return picture;
}

QByteArray WriteFormatFor(const QString& path, const QByteArray& given)
{
    if (!given.isEmpty())
        return given;
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (suffix.isEmpty())
        throw Error(QStringLiteral("cannot write %1: no file suffix to choose the image format by; "
                                   "give one with --format (writable: %2)")
                        .arg(Quoted(path), WritableFormats()));
    if (!QImageWriter::supportedImageFormats().contains(suffix))
        throw Error(QStringLiteral("cannot write %1: unknown image format '%2' (writable: %3)")
                        .arg(Quoted(path), QString::fromLatin1(suffix), WritableFormats()));
    return suffix;
}


void WriteImage(const QImage& image, const QString& path, const QByteArray& format, const ImageOptions& options)
{
    if (!KeepsAlpha(format) && HasTransparency(image))
        Warn(QStringLiteral("%1 keeps no transparency: the transparent parts of %2 become opaque")
                 .arg(QString::fromLatin1(format), Quoted(path)));
    QImage stripped;
    if (options.strip && image.colorSpace().isValid()) {
        stripped = image;
        stripped.setColorSpace(QColorSpace());
    }
    const QImage& written = stripped.isNull() ? image : stripped;

    const auto encode = [&](QIODevice& device) {
        QImageWriter writer(&device, format);
        if (options.quality >= 0)
            writer.setQuality(options.quality);
        if (options.compression >= 0 && format == "png")
            writer.setQuality(PngQualityFor(options.compression));
        bool done = false;
        {
            const PluginMessagesHidden quiet;
            done = writer.write(written);
        }
        if (done)
            return QString();
        // The file's own error (a full disk, a size limit) says more than
        // the plugin's.
        const auto* file = qobject_cast<const QFileDevice*>(&device);
        return LowerFirst(file && file->error() != QFileDevice::NoError ? file->errorString()
                                                                        : writer.errorString());
    };
    if (!IsStandardStream(path)) {
        WriteAtomically(path, encode);
        return;
    }
    // Standard output: encoded whole first, so that a failure writes nothing.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QString failure = encode(buffer);
    errno = 0;
    if (failure.isEmpty() && std::fwrite(buffer.data().constData(), 1, static_cast<size_t>(buffer.size()), stdout) ==
                                 static_cast<size_t>(buffer.size()) &&
        std::fflush(stdout) == 0)
        return;
    const int error = errno;
    throw Error(QStringLiteral("cannot write %1: %2")
                    .arg(Quoted(path), failure.isEmpty() ? StandardOutputFailure(error) : failure));
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
    const char* name = QMetaEnum::fromType<QImage::Format>().valueToKey(format);
    return name ? QString::fromLatin1(name).remove(QStringLiteral("Format_"))
                : QStringLiteral("format %1").arg(static_cast<int>(format));
}

} // namespace kximg
