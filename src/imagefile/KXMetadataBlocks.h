#ifndef KXMETADATABLOCKS_H
#define KXMETADATABLOCKS_H

// The metadata of picture files through exiv2: read from a file's bytes into
// whole blocks and EXIF elements, and written into freshly encoded bytes.
// Private to the library.

#include "KXImageFile.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

namespace KXImageFileDetail {

struct FileMetadata {
    QByteArray icc;
    KXImageMetadata blocks;
    QList<VQEXIFElement> elements; // the catalogue's tags found in blocks.exif
    QString failure;               // why the metadata could not be read; empty when it could
};

// Reads the metadata of a whole file's bytes (the bytes are not copied).
FileMetadata ReadMetadata(const char* data, qint64 size);

// Sets the orientation tags of the EXIF block and the XMP packet to 1 (the
// picture has been turned upright), and the element likewise.
void MarkUpright(FileMetadata& metadata);

// Writes the profile, the blocks and the elements into `encoded` (a whole
// file of a format exiv2 writes), with the width and height tags set to
// `size`. Returns an empty string, or what could not be written (then
// `encoded` is unchanged).
QString EmbedMetadata(QByteArray& encoded, const QByteArray& icc, const KXImageMetadata& blocks,
                      const QList<VQEXIFElement>& elements, const QSize& size);

// Whether exiv2 writes metadata into this writer format.
bool CarriesMetadata(const QByteArray& format);
// Whether the format keeps IPTC records.
bool CarriesIptc(const QByteArray& format);

} // namespace KXImageFileDetail

#endif // KXMETADATABLOCKS_H
