#include "KXPngProfile.h"

#include <QtEndian>

#include <zlib.h>

namespace KXImageFileDetail {

namespace {

constexpr int kSignature = 8;

void PutBig32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

// Length, type, data and the CRC over type and data.
void PutChunk(QByteArray& out, const char* type, const QByteArray& data)
{
    PutBig32(out, static_cast<quint32>(data.size()));
    const int start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto* covered = reinterpret_cast<const Bytef*>(out.constData() + start);
    PutBig32(out, static_cast<quint32>(crc32(crc32(0, nullptr, 0), covered, static_cast<uInt>(data.size() + 4))));
}

} // namespace

bool IsPng(const QByteArray& bytes)
{
    return bytes.startsWith("\x89PNG\r\n\x1a\n");
}

QByteArray PngWithProfile(const QByteArray& png, const QByteArray& icc)
{
    if (!IsPng(png) || png.size() < kSignature + 8 || png.mid(kSignature + 4, 4) != "IHDR")
        return QByteArray();
    uLongf size = compressBound(static_cast<uLong>(icc.size()));
    QByteArray compressed(static_cast<int>(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &size, reinterpret_cast<const Bytef*>(icc.constData()),
                  static_cast<uLong>(icc.size()), Z_BEST_COMPRESSION) != Z_OK)
        return QByteArray();
    compressed.resize(static_cast<int>(size));
    // Profile name, its terminating zero, compression method 0 (deflate).
    QByteArray data("ICC profile");
    data.append('\0').append('\0').append(compressed);

    QByteArray out = png.left(kSignature);
    const auto* bytes = reinterpret_cast<const uchar*>(png.constData());
    for (qint64 at = kSignature; at + 12 <= png.size();) {
        const qint64 end = at + 12 + qFromBigEndian<quint32>(bytes + at);
        if (end > png.size())
            return QByteArray();
        const QByteArray type = png.mid(static_cast<int>(at + 4), 4);
        if (type != "iCCP" && type != "sRGB" && type != "gAMA")
            out.append(png.constData() + at, static_cast<int>(end - at));
        if (type == "IHDR")
            PutChunk(out, "iCCP", data);
        at = end;
    }
    return out;
}

} // namespace KXImageFileDetail
