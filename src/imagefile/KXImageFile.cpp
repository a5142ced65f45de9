#include "KXImageFile.h"

#include "KXFileEnding.h"
#include "KXJpegEncoder.h"
#include "KXMetadataBlocks.h"
#include "KXPictureRows.h"

#include "KXImageConversion.h"
#include "VQTileManager64.h"
#include "core/KXLogMacros.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>

using namespace KXImageFileDetail;

namespace {

constexpr const char* kLogFile = "src/KXImageFile";

using Issue = KXImageFile::Issue;

void Warn(QList<KXImageFile::Message>& warnings, Issue issue, const QString& text)
{
    warnings << KXImageFile::Message{issue, text};
}

template <class Result>
Result Failed(Issue issue, const QString& text)
{
    Result result;
    result.error = issue;
    result.errorText = text;
    return result;
}

int BitsPerChannel(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return 1;
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
        return 16;
    default:
        return 8;
    }
}

// A plugin may name no format, or (for a file cut short) a value that is no
// format at all: neither has alpha.
bool HasAlpha(QImage::Format format)
{
    return format > QImage::Format_Invalid && format < QImage::NImageFormats &&
           QImage(1, 1, format).hasAlphaChannel();
}

// Qt's name of a format as the writer knows it.
QByteArray WriterName(QByteArray format)
{
    format = format.toLower();
    if (format == "jpg")
        return "jpeg";
    if (format == "tif")
        return "tiff";
    return format;
}

bool KeepsAlpha(const QByteArray& format)
{
    static const QList<QByteArray> formats{"png", "webp", "tiff", "ico", "cur", "icns", "tga"};
    return formats.contains(format);
}

bool KeepsDeep(const QByteArray& format)
{
    return format == "png" || format == "tiff";
}

// Qt's PNG writer takes a quality: 100 - q maps onto zlib's levels as
// (100 - q) * 9 / 91. The smallest such step for a level gives it exactly.
int PngQualityFor(int level)
{
    return 100 - (91 * level + 8) / 9;
}

// Why a picture of `size` cannot be held: it would need more tile blocks
// than the tile manager has free (checked before a byte is decoded: a small
// file may claim a size that would take minutes and gigabytes to find out
// about). Empty when it fits.
template <class Image>
QString TileShortage(const QSize& size)
{
    const VQTileManager64* tiles = VQTileManager64::Instance();
    if (!tiles || !size.isValid())
        return QString();
    const long long columns = (size.width() + Image::kTileWidth - 1LL) / Image::kTileWidth;
    const long long rows = (size.height() + Image::kTileHeight - 1LL) / Image::kTileHeight;
    const long long needed = columns * rows;
    const long long available = tiles->GetAvailableCount();
    if (needed <= available)
        return QString();
    const long long mebibyte = 1024 * 1024;
    const long long block = VQTileManager64::kBlockSize;
    return QStringLiteral("image too large: %1 x %2 needs %3 MiB of tile memory, %4 MiB available")
        .arg(size.width())
        .arg(size.height())
        .arg((needed * block + mebibyte - 1) / mebibyte)
        .arg(available * block / mebibyte);
}

// Why the reader gave up, in words a photographer can act on: a file that
// ends early says so; Qt's decoders often leave only "Unknown error".
QString ReaderFailure(const QImageReader& reader, Ending ending)
{
    if (ending == Ending::Truncated)
        return QStringLiteral("the data ends early (truncated file)");
    if (reader.error() == QImageReader::UnknownError)
        return QStringLiteral("the %1 data is damaged or incomplete").arg(QString::fromLatin1(reader.format()));
    return reader.errorString();
}

// Reads the headers (and with `decode` the pixels) of a whole file held in
// `data`.
KXImageFile::ReadResult ReadData(const QByteArray& data, const KXImageFile::ReadParams& params, bool decode)
{
    using Result = KXImageFile::ReadResult;
    QByteArray held = data; // shares; QBuffer wants a non-const array
    QBuffer buffer(&held);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    Result result;
    KXImageFile::Info& info = result.info;
    info.format = WriterName(reader.format());
    if (info.format.isEmpty())
        return Failed<Result>(Issue::Unsupported, data.isEmpty() ? QStringLiteral("the file is empty")
                                                                 : QStringLiteral("unknown or unsupported image format"));
    info.storedSize = reader.size();
    const QImage::Format stored = reader.imageFormat();
    info.bitsPerChannel = BitsPerChannel(stored);
    info.hasAlpha = HasAlpha(stored);

    const Ending ending = FindEnding(data.constData(), data.size());
    if (ending == Ending::Truncated)
        Warn(result.warnings, Issue::Truncated, QStringLiteral("the data ends early (truncated file)"));

    FileMetadata metadata;
    if (CarriesMetadata(info.format)) {
        metadata = ReadMetadata(data.constData(), data.size());
        if (!metadata.failure.isEmpty())
            Warn(result.warnings, Issue::MetadataLost,
                 QStringLiteral("the metadata cannot be read: %1").arg(metadata.failure));
    }
    const int orientation = metadata.blocks.storedOrientation;
    const bool turn = params.applyOrientation && orientation != 1;
    if (turn)
        MarkUpright(metadata);
    info.size = turn && SwapsSides(orientation) ? info.storedSize.transposed() : info.storedSize;

    const QString shortage = info.bitsPerChannel == 16 && params.keepDepth ? TileShortage<KXImageRGBA64i>(info.storedSize)
                                                                            : TileShortage<KXImageRGBA32i>(info.storedSize);
    if (!shortage.isEmpty())
        return Failed<Result>(Issue::TooLarge, shortage);

    QImage picture;
    if (decode) {
        if (!reader.read(&picture))
            return Failed<Result>(ending == Ending::Truncated ? Issue::Truncated : Issue::Corrupt,
                                  QStringLiteral("cannot decode: %1").arg(ReaderFailure(reader, ending)));
        if (metadata.icc.isEmpty() && picture.colorSpace().isValid())
            metadata.icc = picture.colorSpace().iccProfile();
        info.storedSize = picture.size();
    } else if (!info.storedSize.isValid()) {
        return Failed<Result>(ending == Ending::Truncated ? Issue::Truncated : Issue::Corrupt,
                              QStringLiteral("cannot read the header: %1").arg(ReaderFailure(reader, ending)));
    }

    info.iccData = metadata.icc;
    if (!metadata.icc.isEmpty() && !info.profile.FromByteArray(metadata.icc))
        Warn(result.warnings, Issue::MetadataLost,
             QStringLiteral("the embedded colour profile is not readable by Little CMS"));
    info.exif = metadata.elements;
    info.metadata = metadata.blocks;
    result.metadata = metadata.blocks;
    if (!decode)
        return result;

    if (turn)
        picture = Upright(picture, orientation);
    if (info.bitsPerChannel == 16 && params.keepDepth) {
        result.deep = DeepFromQImage(picture);
        picture = QImage();
        result.deep.profile = info.profile;
        result.deep.exif = info.exif;
        return result;
    }
    if (info.bitsPerChannel == 16)
        Warn(result.warnings, Issue::DepthReduced, QStringLiteral("16 bits a channel reduced to 8"));
    if (picture.format() != QImage::Format_ARGB32 && picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    result.image = ConvertImage<QImage, KXImageRGBA32i>(picture);
    result.image.profile = info.profile;
    result.image.exif = info.exif;
    return result;
}

struct Encoded {
    QByteArray bytes;
    KXImageFile::WriteResult result;
};

// Encodes a picture (ARGB32/RGB32, or RGBA64/RGBX64 for a format keeping 16
// bits) with its profile and metadata.
Encoded Encode(QImage picture, const VQCMSProfile& profile, const QList<VQEXIFElement>& elements,
               const KXImageMetadata& metadata, const QByteArray& format, const KXImageFile::WriteParams& params)
{
    // The format as the caller named it ("jpg"), for the messages.
    const QString named = QString::fromLatin1(params.format.isEmpty() ? format : params.format);
    Encoded encoded;
    auto& warnings = encoded.result.warnings;
    if (IsOpaque(picture)) {
        if (picture.format() == QImage::Format_ARGB32)
            picture.reinterpretAsFormat(QImage::Format_RGB32);
        else if (picture.format() == QImage::Format_RGBA64)
            picture.reinterpretAsFormat(QImage::Format_RGBX64);
        // Qt's TIFF writer keeps an alpha channel for RGB32; three bytes a
        // pixel it writes as plain RGB.
        if (format == "tiff" && picture.format() == QImage::Format_RGB32)
            picture = picture.convertToFormat(QImage::Format_RGB888);
    } else if (!KeepsAlpha(format)) {
        Warn(warnings, Issue::AlphaDropped,
             QStringLiteral("%1 keeps no transparency: the transparent parts become opaque").arg(named));
    }

    const QByteArray icc = params.strip ? QByteArray() : profile.ToByteArray();
    const bool exiv2 = CarriesMetadata(format);
    if (!exiv2 && !params.strip && !icc.isEmpty())
        picture.setColorSpace(QColorSpace::fromIccProfile(icc));

    QString failure;
    if (format == "jpeg") {
        const int quality = params.quality < 0 ? 75 : params.quality;
        KXImageFile::Subsampling sampling = params.subsampling;
        if (sampling == KXImageFile::Subsampling::Auto)
            sampling = quality >= 90 ? KXImageFile::Subsampling::S444 : KXImageFile::Subsampling::S420;
        const int h = sampling == KXImageFile::Subsampling::S444 ? 1 : 2;
        const int v = sampling == KXImageFile::Subsampling::S420 ? 2 : 1;
        if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32)
            picture = picture.convertToFormat(QImage::Format_RGB32);
        failure = EncodeJpeg(picture, quality, h, v, &encoded.bytes);
    } else {
        QBuffer buffer(&encoded.bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, format);
        if (params.quality >= 0)
            writer.setQuality(params.quality);
        if (params.compression >= 0 && format == "png")
            writer.setQuality(PngQualityFor(params.compression));
        if (!writer.write(picture))
            failure = writer.errorString();
    }
    if (!failure.isEmpty()) {
        encoded.result.error = Issue::Unwritable;
        encoded.result.errorText = QStringLiteral("cannot encode: %1").arg(failure);
        return encoded;
    }
    if (params.strip || !exiv2) {
        if (!params.strip && !(metadata.IsEmpty() && elements.isEmpty()))
            Warn(warnings, Issue::MetadataLost,
                 QStringLiteral("%1 keeps no EXIF, XMP or IPTC metadata").arg(named));
        return encoded;
    }
    KXImageMetadata blocks = metadata;
    if (!blocks.iptc.isEmpty() && !CarriesIptc(format)) {
        Warn(warnings, Issue::MetadataLost,
             QStringLiteral("%1 keeps no IPTC records").arg(named));
        blocks.iptc.clear();
    }
    if (icc.isEmpty() && blocks.IsEmpty() && elements.isEmpty())
        return encoded;
    const QString lost = EmbedMetadata(encoded.bytes, icc, blocks, elements, picture.size());
    if (!lost.isEmpty())
        Warn(warnings, Issue::MetadataLost, QStringLiteral("the metadata could not be written: %1").arg(lost));
    return encoded;
}

KXImageFile::WriteResult ToDevice(const Encoded& encoded, QIODevice* device)
{
    if (!encoded.result.Ok())
        return encoded.result;
    KXImageFile::WriteResult result = encoded.result;
    if (!device || !device->isWritable() || device->write(encoded.bytes) != encoded.bytes.size()) {
        result.error = Issue::Unwritable;
        result.errorText = QStringLiteral("cannot write: %1")
                               .arg(device ? device->errorString() : QStringLiteral("no device"));
    }
    return result;
}

template <class Image>
KXImageFile::WriteResult ToPath(const Image& image, const KXImageMetadata& metadata, const QString& path,
                                KXImageFile::WriteParams params)
{
    if (params.format.isEmpty())
        params.format = KXImageFile::WriteFormat(path);
    if (params.format.isEmpty())
        return Failed<KXImageFile::WriteResult>(Issue::Unsupported,
                                                QStringLiteral("no image format is written for this file name"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failed<KXImageFile::WriteResult>(Issue::Unwritable,
                                                QStringLiteral("cannot write: %1").arg(file.errorString()));
    KXImageFile::WriteResult result = KXImageFile::Write(image, metadata, &file, params);
    if (result.Ok() && !file.commit()) {
        result.error = Issue::Unwritable;
        result.errorText = QStringLiteral("cannot write: %1").arg(file.errorString());
    }
    return result;
}

// The guard of every entry point: a failure inside becomes an error result,
// except running out of tile blocks or memory, which is logged and passed on
// (as by the conversions).
template <class Result, class Body>
Result Guarded(Body body)
{
    try {
        return body();
    } catch (const std::bad_alloc& e) {
        KX_LOG_EXCEPTION(kLogFile, e);
        throw;
    } catch (const std::exception& e) {
        KX_LOG_EXCEPTION(kLogFile, e);
        return Failed<Result>(Issue::Unreadable, QString::fromLocal8Bit(e.what()));
    }
}

} // namespace

bool KXImageFile::ReadResult::Has(Issue issue) const
{
    return error == issue || std::any_of(warnings.begin(), warnings.end(),
                                         [issue](const Message& message) { return message.issue == issue; });
}

KXImageFile::ReadResult KXImageFile::Read(const QByteArray& bytes, const ReadParams& params)
{
    return Guarded<ReadResult>([&] { return ReadData(bytes, params, true); });
}

KXImageFile::ReadResult KXImageFile::Read(QIODevice* device, const ReadParams& params)
{
    if (!device || !device->isReadable())
        return Failed<ReadResult>(Issue::Unreadable, QStringLiteral("the device is not open for reading"));
    const QByteArray bytes = device->readAll();
    return Read(bytes, params);
}

namespace {

// The whole file, mapped (no copy) when it can be.
template <class Use>
KXImageFile::ReadResult WithFile(const QString& path, Use use)
{
    const QFileInfo info(path);
    if (!info.exists())
        return Failed<KXImageFile::ReadResult>(Issue::Unreadable, QStringLiteral("no such file"));
    if (info.isDir())
        return Failed<KXImageFile::ReadResult>(Issue::Unreadable, QStringLiteral("is a directory"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failed<KXImageFile::ReadResult>(Issue::Unreadable, file.errorString());
    if (info.isFile() && file.size() > 0 && file.size() < (qint64(1) << 31)) {
        if (uchar* mapped = file.map(0, file.size())) {
            const QByteArray bytes =
                QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), static_cast<int>(file.size()));
            return use(bytes);
        }
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Failed<KXImageFile::ReadResult>(Issue::Unreadable, file.errorString());
    return use(bytes);
}

} // namespace

KXImageFile::ReadResult KXImageFile::Read(const QString& path, const ReadParams& params)
{
    return Guarded<ReadResult>([&] {
        return WithFile(path, [&](const QByteArray& bytes) { return ReadData(bytes, params, true); });
    });
}

KXImageFile::ReadResult KXImageFile::ReadHeader(const QString& path, const ReadParams& params)
{
    return Guarded<ReadResult>([&] {
        return WithFile(path, [&](const QByteArray& bytes) { return ReadData(bytes, params, false); });
    });
}

namespace {
// The failure of a write whose format name no writer knows.
KXImageFile::WriteResult UnknownFormat(const KXImageFile::WriteParams& params)
{
    return Failed<KXImageFile::WriteResult>(KXImageFile::Issue::Unsupported,
                                            QStringLiteral("no image format is written by the name '%1'")
                                                .arg(QString::fromLatin1(params.format)));
}
} // namespace

KXImageFile::WriteResult KXImageFile::Write(const KXImageRGBA32i& image, const KXImageMetadata& metadata,
                                            QIODevice* device, const WriteParams& params)
{
    return Guarded<WriteResult>([&] {
        const QByteArray format = WriteFormat(QString::fromLatin1(params.format));
        if (format.isEmpty())
            return UnknownFormat(params);
        return ToDevice(Encode(ConvertImage<KXImageRGBA32i, QImage>(image), image.profile, image.exif, metadata,
                               format, params),
                        device);
    });
}

KXImageFile::WriteResult KXImageFile::Write(const KXImageRGBA64i& image, const KXImageMetadata& metadata,
                                            QIODevice* device, const WriteParams& params)
{
    return Guarded<WriteResult>([&] {
        const QByteArray format = WriteFormat(QString::fromLatin1(params.format));
        if (format.isEmpty())
            return UnknownFormat(params);
        QImage picture = DeepToQImage(image, false);
        QList<Message> reduced;
        if (!KeepsDeep(format)) {
            picture = picture.convertToFormat(QImage::Format_ARGB32);
            Warn(reduced, Issue::DepthReduced,
                 QStringLiteral("%1 keeps 8 bits a channel: 16 bits reduced to 8").arg(QString::fromLatin1(format)));
        }
        WriteResult result =
            ToDevice(Encode(std::move(picture), image.profile, image.exif, metadata, format, params), device);
        result.warnings = reduced + result.warnings;
        return result;
    });
}

KXImageFile::WriteResult KXImageFile::Write(const KXImageRGBA32i& image, const KXImageMetadata& metadata,
                                            const QString& path, const WriteParams& params)
{
    return Guarded<WriteResult>([&] { return ToPath(image, metadata, path, params); });
}

KXImageFile::WriteResult KXImageFile::Write(const KXImageRGBA64i& image, const KXImageMetadata& metadata,
                                            const QString& path, const WriteParams& params)
{
    return Guarded<WriteResult>([&] { return ToPath(image, metadata, path, params); });
}

QByteArray KXImageFile::WriteFormat(const QString& pathOrName)
{
    const QString suffix = QFileInfo(pathOrName).suffix();
    const QByteArray name = WriterName((suffix.isEmpty() ? pathOrName : suffix).toLatin1());
    return WritableFormats().contains(name) ? name : QByteArray();
}

QList<QByteArray> KXImageFile::WritableFormats()
{
    QList<QByteArray> formats;
    for (const QByteArray& format : QImageWriter::supportedImageFormats()) {
        const QByteArray name = WriterName(format);
        if (!formats.contains(name))
            formats << name;
    }
    return formats;
}
