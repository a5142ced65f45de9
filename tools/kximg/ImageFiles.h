#ifndef KXIMG_IMAGEFILES_H
#define KXIMG_IMAGEFILES_H

// Reading and writing images through Qt's image plugins, with the tool's
// error messages. A path of "-" is standard input or output.

#include "Args.h"

#include "KXImageFile.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <functional>

namespace kximg {

// How the commands that read and write a picture do it: the options they
// all take (ImageOptionSyntax) and their checked values.
struct ImageOptions {
    QString command;         // the command's name, for warnings
    bool autoRotate = true;  // --no-rotate clears: EXIF orientation applied on reading
    bool strip = false;      // --strip: the output carries no colour profile and no metadata
    bool failOnWarning = false; // --fail-on-warning: damaged input is refused (exit 2)
    bool keepDepth = false;  // 16-bit input stays 16-bit (convert only)
    QByteArray format;       // --format: the output format where OUT has no suffix ("-")
    int quality = -1;        // --quality 0..100 (JPEG, WebP); -1: the default
    int compression = -1;    // --compression 0..9 (PNG); -1: the plugin's default
    KXImageFile::Subsampling subsampling = KXImageFile::Subsampling::Auto; // --subsampling (JPEG)
};
QList<OptionSyntax> ImageOptionSyntax();
// Throws Error for a value out of range or a format no plugin writes.
ImageOptions ImageOptionsFrom(const ParsedArgs& args, const QString& command);

// Reads a picture through the library's loader, whatever its suffix (the
// content decides the format), "-" from standard input. Throws Error
// ("cannot read 'path': reason"); prints the loader's warnings as one line
// each, or with --fail-on-warning throws the first damage it reports.
KXImageFile::ReadResult ReadFile(const QString& path, const ImageOptions& options, bool headerOnly = false);
// The headers of a file alone, quietly: no warning printed, the plugins'
// messages hidden; a failure is the result's (the full read reports it).
KXImageFile::ReadResult ReadHeaderQuietly(const QString& path, const ImageOptions& options);
// The picture as a QImage (ARGB32), for the demo gallery.
QImage ReadImage(const QString& path);

// Writes an encoded picture through `encode` into a temporary file (see
// AtomicFile.h), or to standard output for "-" (encoded whole first).
// `encode` returns an empty string or why it failed.
void WriteEncoded(const QString& path, const std::function<QString(QIODevice&)>& encode);

// The writer format for a path: `given` (--format) when set, else the
// suffix ("out.JPG" -> "jpg"). Throws Error when there is neither or no
// plugin writes it.
QByteArray WriteFormatFor(const QString& path, const QByteArray& given = QByteArray());

// Writes a derived picture (a mask, a chart, a view) with Qt's writer
// through WriteEncoded, in the given format with the options' quality and
// compression; drops the image's colour profile when they say so. Warns on
// stderr when the format cannot keep transparency the image has.
void WriteImage(const QImage& image, const QString& path, const QByteArray& format,
                const ImageOptions& options = ImageOptions());
inline void WriteImage(const QImage& image, const QString& path)
{
    WriteImage(image, path, WriteFormatFor(path));
}

// Whether the image plugins' own messages on stderr are shown (--verbose);
// by default they are not, the tool's one line says what failed.
void ShowPluginMessages(bool show);

// "bmp, jpeg, png, ..." as this build's plugins offer them.
QString ReadableFormats();
QString WritableFormats();

// Qt's name of an in-memory format, e.g. "ARGB32" for QImage::Format_ARGB32.
QString FormatName(QImage::Format format);

} // namespace kximg

#endif // KXIMG_IMAGEFILES_H
