#include "ImageFiles.h"

#include "AtomicFile.h"
#include "Error.h"

#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QStringList>

namespace kximg {

namespace {

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
    // Known only before reading.
    const QByteArray format = reader.format();
    QImage image;
    if (!reader.read(&image))
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
        return writer.write(image) ? QString() : LowerFirst(writer.errorString());
    });
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
