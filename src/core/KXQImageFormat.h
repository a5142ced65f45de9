#ifndef KXQIMAGEFORMAT_H
#define KXQIMAGEFORMAT_H

// The QImage formats that code stepping through a caller's scan lines four
// bytes a pixel can take, and the one report of a format it refuses.
// Internal to the library.

#include "KXLog.h"

#include <QImage>
#include <QString>

namespace KXQImageFormat {

// One 32-bit word 0xAARRGGBB per pixel, the layout of KXRGBA32i.
inline bool HoldsArgbWords(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return true;
    default:
        return false;
    }
}

// Returns `accepted`; when it is false, first logs "Wrong input qimage
// format N" (N the format's number) at `site`.
inline bool Accept(const QImage& image, bool accepted, const KXLog::Site& site)
{
    if (!accepted)
        KXLog::Report(site, QString::fromLatin1("Wrong input qimage format %1").arg(int(image.format())));
    return accepted;
}

} // namespace KXQImageFormat

#endif // KXQIMAGEFORMAT_H
