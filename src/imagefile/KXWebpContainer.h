#ifndef KXWEBPCONTAINER_H
#define KXWEBPCONTAINER_H

// The extended WebP container (a VP8X chunk, then ICCP, the image chunks,
// EXIF and XMP) around the image chunks of an encoded WebP file. Private to
// the library.

#include <QByteArray>
#include <QSize>

namespace KXImageFileDetail {

bool IsWebp(const QByteArray& bytes);

// The file `encoded` with the profile, the EXIF block (a TIFF structure) and
// the XMP packet in their chunks (empty ones left out), any such chunks it
// had replaced. Empty when `encoded` holds no image chunk.
QByteArray WebpWithMetadata(const QByteArray& encoded, const QSize& size, const QByteArray& icc,
                            const QByteArray& exif, const QByteArray& xmp);

} // namespace KXImageFileDetail

#endif // KXWEBPCONTAINER_H
