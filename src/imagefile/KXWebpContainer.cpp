#include "KXWebpContainer.h"

#include <QtEndian>

namespace KXImageFileDetail {

namespace {

void PutLittle32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void PutLittle24(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 3);
}

// A chunk: its four-letter type, its size, its data and a pad byte to an
// even length.
void PutChunk(QByteArray& out, const char* type, const QByteArray& data)
{
    out.append(type, 4);
    PutLittle32(out, static_cast<quint32>(data.size()));
    out.append(data);
    if (data.size() & 1)
        out.append('\0');
}

// Flags of the VP8X chunk.
constexpr char kIccFlag = 0x20;
constexpr char kAlphaFlag = 0x10;
constexpr char kExifFlag = 0x08;
constexpr char kXmpFlag = 0x04;

// Whether a lossless image chunk says its alpha is used (bit 28 of the
// word after the signature byte).
bool LosslessWithAlpha(const QByteArray& data)
{
    return data.size() >= 5 && (static_cast<unsigned char>(data[4]) & 0x10) != 0;
}

} // namespace

bool IsWebp(const QByteArray& bytes)
{
    return bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP";
}

QByteArray WebpWithMetadata(const QByteArray& encoded, const QSize& size, const QByteArray& icc,
                            const QByteArray& exif, const QByteArray& xmp)
{
    QByteArray imageChunks;
    bool alpha = false;
    const auto* bytes = reinterpret_cast<const uchar*>(encoded.constData());
    for (qint64 at = 12; at + 8 <= encoded.size();) {
        const QByteArray type = encoded.mid(static_cast<int>(at), 4);
        const qint64 length = qFromLittleEndian<quint32>(bytes + at + 4);
        if (at + 8 + length > encoded.size())
            break;
        const QByteArray data = encoded.mid(static_cast<int>(at + 8), static_cast<int>(length));
        if (type == "VP8X")
            alpha = alpha || (data.size() > 0 && (data[0] & kAlphaFlag));
        else if (type != "ICCP" && type != "EXIF" && type != "XMP ") {
            if (type == "ALPH" || (type == "VP8L" && LosslessWithAlpha(data)))
                alpha = true;
            PutChunk(imageChunks, type.constData(), data);
        }
        at += 8 + length + (length & 1);
    }
    if (imageChunks.isEmpty())
        return QByteArray();

    QByteArray header(1, static_cast<char>((icc.isEmpty() ? 0 : kIccFlag) | (alpha ? kAlphaFlag : 0) |
                                           (exif.isEmpty() ? 0 : kExifFlag) | (xmp.isEmpty() ? 0 : kXmpFlag)));
    header.append(3, '\0');
    PutLittle24(header, static_cast<quint32>(size.width() - 1));
    PutLittle24(header, static_cast<quint32>(size.height() - 1));

    QByteArray body("WEBP");
    PutChunk(body, "VP8X", header);
    if (!icc.isEmpty())
        PutChunk(body, "ICCP", icc);
    body.append(imageChunks);
    if (!exif.isEmpty())
        PutChunk(body, "EXIF", exif);
    if (!xmp.isEmpty())
        PutChunk(body, "XMP ", xmp);
    QByteArray file("RIFF");
    PutLittle32(file, static_cast<quint32>(body.size()));
    file.append(body);
    return file;
}

} // namespace KXImageFileDetail
