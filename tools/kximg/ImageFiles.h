#ifndef KXIMG_IMAGEFILES_H
#define KXIMG_IMAGEFILES_H

// Reading and writing images through Qt's image plugins, with the tool's
// error messages.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace kximg {

// Reads an image whatever its suffix (the content decides the format).
// `fileFormat`, if given, receives the plugin's format name ("png").
// Throws Error: "cannot read 'path': reason".
QImage ReadImage(const QString& path, QByteArray* fileFormat = nullptr);

// The writer format for a path's suffix ("out.JPG" -> "jpg"). Throws Error
// when the suffix is missing or no plugin writes it.
QByteArray WriteFormatFor(const QString& path);

// Writes through a temporary file (see AtomicFile.h) in the given format.
void WriteImage(const QImage& image, const QString& path, const QByteArray& format);
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
