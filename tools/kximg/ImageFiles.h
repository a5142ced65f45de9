#ifndef KXIMG_IMAGEFILES_H
#define KXIMG_IMAGEFILES_H

// Reading and writing images through Qt's image plugins, with the tool's
// error messages. A path of "-" is standard input or output.

#include "Args.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace kximg {

// How the commands that read and write a picture do it: the options they
// all take (ImageOptionSyntax) and their checked values.
struct ImageOptions {
    bool autoRotate = true; // --no-rotate clears: EXIF orientation applied on reading
    bool strip = false;     // --strip: the output carries no colour profile
    QByteArray format;      // --format: the output format where OUT has no suffix ("-")
    int quality = -1;       // --quality 0..100 (JPEG, WebP); -1: the plugin's default
    int compression = -1;   // --compression 0..9 (PNG); -1: the plugin's default
};
QList<OptionSyntax> ImageOptionSyntax();
// Throws Error for a value out of range or a format no plugin writes.
ImageOptions ImageOptionsFrom(const ParsedArgs& args, const QString& command);

struct Picture {
    QImage image;      // the colour space Qt read from the file (an embedded ICC profile) included
    QByteArray format; // the plugin's format name, "png"
    bool exif = false; // the file carries EXIF data
};

// Reads an image whatever its suffix (the content decides the format).
// Throws Error: "cannot read 'path': reason".
Picture ReadPicture(const QString& path, const ImageOptions& options = ImageOptions());
inline QImage ReadImage(const QString& path)
{
    return ReadPicture(path).image;
}

// The writer format for a path: `given` (--format) when set, else the
// suffix ("out.JPG" -> "jpg"). Throws Error when there is neither or no
// plugin writes it.
QByteArray WriteFormatFor(const QString& path, const QByteArray& given = QByteArray());

// Writes through a temporary file (see AtomicFile.h), or to standard output
// for "-", in the given format with the options' quality and compression;
// drops the image's colour profile when they say so. Warns on stderr when
// the format cannot keep transparency the image has.
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
