#ifndef KXJPEGENCODER_H
#define KXJPEGENCODER_H

// JPEG encoding through libjpeg, with the chroma subsampling chosen (Qt's
// writer always takes 4:2:0). Private to the library.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace KXImageFileDetail {

// Encodes a 32-bit picture (alpha ignored) as a baseline JFIF with
// horizontal and vertical chroma factors `h` and `v` (1 1: 4:4:4, 2 1:
// 4:2:2, 2 2: 4:2:0). Returns an empty string, or libjpeg's message.
QString EncodeJpeg(const QImage& picture, int quality, int h, int v, QByteArray* encoded);

} // namespace KXImageFileDetail

#endif // KXJPEGENCODER_H
