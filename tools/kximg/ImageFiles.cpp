#include "ImageFiles.h"

#include "AtomicFile.h"
#include "Error.h"
#include "Interrupt.h"
#include "OptionValues.h"

#include "KXImage.h"
#include "KXImageConversion.h"

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
            OptionSyntax{QStringLiteral("subsampling"), QChar(), QStringLiteral("444|422|420"),
                         QStringLiteral("JPEG chroma subsampling; default 444 at quality 90\n"
                                        "and above, 420 below")},
            OptionSyntax{QStringLiteral("strip"), QChar(), QString(),
                         QStringLiteral("write no colour profile and no metadata (by default\n"
                                        "the input's ICC profile, EXIF, XMP and IPTC go with\n"
                                        "the output)")},
            OptionSyntax{QStringLiteral("no-rotate"), QChar(), QString(),
                         QStringLiteral("do not turn the picture as its EXIF orientation says\n"
                                        "(pixels and orientation tag stay as stored)")},
            OptionSyntax{QStringLiteral("fail-on-warning"), QChar(), QString(),
                         QStringLiteral("refuse a truncated or damaged input (exit 2, nothing\n"
                                        "written) instead of warning")}};
}

ImageOptions ImageOptionsFrom(const ParsedArgs& args, const QString& command)
{
    ImageOptions options;
    options.command = command;
    options.autoRotate = !args.Has(QStringLiteral("no-rotate"));
    options.strip = args.Has(QStringLiteral("strip"));
    options.failOnWarning = args.Has(QStringLiteral("fail-on-warning"));
    if (args.Has(QStringLiteral("subsampling"))) {
        const QString value = args.Value(QStringLiteral("subsampling"));
        if (value == QLatin1String("444"))
            options.subsampling = KXImageFile::Subsampling::S444;
        else if (value == QLatin1String("422"))
            options.subsampling = KXImageFile::Subsampling::S422;
        else if (value == QLatin1String("420"))
            options.subsampling = KXImageFile::Subsampling::S420;
        else
            BadValue(command, QStringLiteral("subsampling"), value, QStringLiteral("444, 422 or 420"));
    }
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

KXImageFile::ReadResult ReadFile(const QString& path, const ImageOptions& options, bool headerOnly)
{
    const auto fail = [&](const QString& reason) {
        return Error(QStringLiteral("cannot read %1: %2").arg(Quoted(path), reason));
    };
    KXImageFile::ReadParams params;
    params.applyOrientation = options.autoRotate;
    params.keepDepth = options.keepDepth;
    KXImageFile::ReadResult read;
    CheckInterrupted();
    {
        const PluginMessagesHidden quiet;
        if (IsStandardStream(path)) {
            QFile in;
            if (!in.open(stdin, QIODevice::ReadOnly))
                throw fail(LowerFirst(in.errorString()));
            read = KXImageFile::Read(in.readAll(), params);
        } else if (headerOnly) {
            read = KXImageFile::ReadHeader(path, params);
        } else {
            read = KXImageFile::Read(path, params);
        }
    }
    CheckInterrupted();
    if (!read.Ok())
        throw fail(LowerFirst(read.errorText));
    for (const KXImageFile::Message& warning : read.warnings) {
        if (warning.issue == KXImageFile::Issue::DepthReduced) {
            Warn(QStringLiteral("%1: %2 (%3 works on 8 bits a channel)")
                     .arg(Quoted(path), warning.text, options.command.isEmpty() ? QStringLiteral("kximg")
                                                                                 : options.command));
            continue;
        }
        if (options.failOnWarning)
            throw fail(warning.text);
        Warn(QStringLiteral("%1: %2").arg(Quoted(path), warning.text));
    }
    return read;
}

KXImageFile::ReadResult ReadHeaderQuietly(const QString& path, const ImageOptions& options)
{
    KXImageFile::ReadParams params;
    params.applyOrientation = options.autoRotate;
    params.keepDepth = options.keepDepth;
    const PluginMessagesHidden quiet;
    return KXImageFile::ReadHeader(path, params);
}

QImage ReadImage(const QString& path)
{
    const KXImageFile::ReadResult read = ReadFile(path, ImageOptions());
    return ConvertImage<KXImageRGBA32i, QImage>(read.image);
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
    WriteEncoded(path, encode);
}

void WriteEncoded(const QString& path, const std::function<QString(QIODevice&)>& encode)
{
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
