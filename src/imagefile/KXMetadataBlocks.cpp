#include "KXMetadataBlocks.h"

#include "KXPngProfile.h"
#include "KXWebpContainer.h"

#include "core/KXLogMacros.h"

#include <exiv2/exiv2.hpp>

#include <QVariantList>

#include <cmath>
#include <memory>
#include <mutex>
#include <string>

namespace KXImageFileDetail {

namespace {

constexpr const char* kLogFile = "src/KXImageFile";

// exiv2's own complaints (an odd tag, a makernote it cannot parse) go to the
// library's log instead of stderr.
void LogExiv2(int level, const char* message)
{
    if (level >= Exiv2::LogMsg::warn)
        KX_LOG_REPORT(kLogFile, QStringLiteral("exiv2: %1").arg(QString::fromUtf8(message).trimmed()));
}

void InitialiseExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // The XMP toolkit must be set up once before threads use it.
        Exiv2::XmpParser::initialize();
        Exiv2::LogMsg::setHandler(LogExiv2);
    });
}

// Exiv2 0.27 hands images and values over as the deprecated std::auto_ptr;
// they are held by std::unique_ptr from the start.
template <class Handed>
std::unique_ptr<typename Handed::element_type> Owned(Handed handed)
{
    return std::unique_ptr<typename Handed::element_type>(handed.release());
}

std::unique_ptr<Exiv2::Image> OpenImage(const char* data, qint64 size)
{
    return Owned(Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(data), static_cast<long>(size)));
}

// Tags of a TIFF file's main directory that describe its own pixels, and the
// blocks kept apart (ICC, XMP, IPTC): they do not travel with the metadata.
bool IsStructural(uint16_t tag)
{
    switch (tag) {
    case 0x00FE: // NewSubfileType
    case 0x00FF: // SubfileType
    case 0x0100: // ImageWidth
    case 0x0101: // ImageLength
    case 0x0102: // BitsPerSample
    case 0x0103: // Compression
    case 0x0106: // PhotometricInterpretation
    case 0x010A: // FillOrder
    case 0x0111: // StripOffsets
    case 0x0115: // SamplesPerPixel
    case 0x0116: // RowsPerStrip
    case 0x0117: // StripByteCounts
    case 0x011C: // PlanarConfiguration
    case 0x013D: // Predictor
    case 0x0140: // ColorMap
    case 0x0142: // TileWidth
    case 0x0143: // TileLength
    case 0x0144: // TileOffsets
    case 0x0145: // TileByteCounts
    case 0x014A: // SubIFDs
    case 0x0152: // ExtraSamples
    case 0x0153: // SampleFormat
    case 0x0201: // JPEGInterchangeFormat
    case 0x0202: // JPEGInterchangeFormatLength
    case 0x02BC: // XMLPacket
    case 0x83BB: // IPTCNAA
    case 0x8773: // InterColorProfile
        return true;
    default:
        return false;
    }
}

bool InMainDirectories(const Exiv2::Exifdatum& datum)
{
    const std::string group = datum.groupName();
    return group == "Image" || group == "Photo";
}

// Drops the structural tags of the main directory and the directories of a
// TIFF file's other pictures.
void Clean(Exiv2::ExifData& exif)
{
    for (auto it = exif.begin(); it != exif.end();) {
        const std::string group = it->groupName();
        if ((group == "Image" && IsStructural(it->tag())) || group.compare(0, 8, "SubImage") == 0)
            it = exif.erase(it);
        else
            ++it;
    }
}

VQEXIFElement::Type CatalogueType(uint16_t tag)
{
    for (int type = 1; type < VQEXIFElement::TypeCount; ++type)
        if (VQEXIFElement::GetTag(static_cast<VQEXIFElement::Type>(type)) == tag)
            return static_cast<VQEXIFElement::Type>(type);
    return VQEXIFElement::Unknown;
}

bool IsRational(Exiv2::TypeId type)
{
    return type == Exiv2::unsignedRational || type == Exiv2::signedRational;
}

bool IsInteger(Exiv2::TypeId type)
{
    switch (type) {
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedByte:
    case Exiv2::signedShort:
    case Exiv2::signedLong:
        return true;
    default:
        return false;
    }
}

QVariant Component(const Exiv2::Value& value, long n)
{
    if (IsRational(value.typeId())) {
        const Exiv2::Rational r = value.toRational(n);
        return r.second == 0 ? 0.0 : static_cast<double>(r.first) / r.second;
    }
    return static_cast<qlonglong>(value.toLong(n));
}

// An element's value: ASCII as a string, numbers as qlonglong or double
// (a list when there are several), undefined bytes as a byte array.
QVariant ToVariant(const Exiv2::Value& value)
{
    const Exiv2::TypeId type = value.typeId();
    if (type == Exiv2::asciiString) {
        QString text = QString::fromStdString(value.toString());
        while (text.endsWith(QChar(0)))
            text.chop(1);
        return text;
    }
    if (IsInteger(type) || IsRational(type)) {
        if (value.count() == 1)
            return Component(value, 0);
        QVariantList list;
        for (long n = 0; n < value.count(); ++n)
            list << Component(value, n);
        return list;
    }
    if (type == Exiv2::undefined) {
        QByteArray bytes(static_cast<int>(value.size()), Qt::Uninitialized);
        value.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::littleEndian);
        return bytes;
    }
    return QString::fromStdString(value.toString());
}

std::string ComponentText(const QVariant& part, Exiv2::TypeId type)
{
    if (IsRational(type) && (part.type() == QVariant::Double || part.type() == QVariant::Int ||
                             part.type() == QVariant::LongLong)) {
        const Exiv2::Rational r = Exiv2::floatToRationalCast(part.toFloat());
        return std::to_string(r.first) + "/" + std::to_string(r.second);
    }
    if (IsInteger(type) && part.type() == QVariant::Double)
        return std::to_string(std::llround(part.toDouble()));
    return part.toString().toStdString();
}

// Sets `value` (of the tag's type) from an element's variant; false when it
// does not fit.
bool FromVariant(Exiv2::Value& value, const QVariant& variant)
{
    const Exiv2::TypeId type = value.typeId();
    if (type == Exiv2::undefined && variant.type() == QVariant::ByteArray) {
        const QByteArray bytes = variant.toByteArray();
        return value.read(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), bytes.size(),
                          Exiv2::littleEndian) == 0;
    }
    std::string text;
    if (variant.type() == QVariant::List) {
        for (const QVariant& part : variant.toList())
            text += (text.empty() ? "" : " ") + ComponentText(part, type);
    } else {
        text = ComponentText(variant, type);
    }
    return value.read(text) == 0;
}

Exiv2::ExifData::iterator FindTag(Exiv2::ExifData& exif, uint16_t tag)
{
    for (auto it = exif.begin(); it != exif.end(); ++it)
        if (it->tag() == tag && InMainDirectories(*it))
            return it;
    return exif.end();
}

void SetNumber(Exiv2::ExifData& exif, const char* key, long number, bool onlyIfPresent)
{
    auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end()) {
        if (!onlyIfPresent)
            exif[key] = static_cast<uint16_t>(number);
        return;
    }
    it->setValue(std::to_string(number));
}

void SetXmpIfPresent(Exiv2::XmpData& xmp, const char* key, long number, bool* changed)
{
    auto it = xmp.findKey(Exiv2::XmpKey(key));
    if (it == xmp.end() || it->toString() == std::to_string(number))
        return;
    it->setValue(std::to_string(number));
    *changed = true;
}

Exiv2::ExifData DecodeExif(const QByteArray& block)
{
    Exiv2::ExifData exif;
    if (!block.isEmpty())
        Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte*>(block.constData()),
                                  static_cast<uint32_t>(block.size()));
    return exif;
}

QByteArray EncodeExif(const Exiv2::ExifData& exif, Exiv2::ByteOrder order)
{
    if (exif.empty())
        return QByteArray();
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, order, exif);
    return QByteArray(reinterpret_cast<const char*>(blob.data()), static_cast<int>(blob.size()));
}

QList<VQEXIFElement> Elements(const Exiv2::ExifData& exif)
{
    QList<VQEXIFElement> elements;
    for (const Exiv2::Exifdatum& datum : exif) {
        if (!InMainDirectories(datum))
            continue;
        const VQEXIFElement::Type type = CatalogueType(datum.tag());
        if (type != VQEXIFElement::Unknown)
            elements << VQEXIFElement(type, ToVariant(datum.value()));
    }
    return elements;
}

// The XMP packet with `change` applied; the packet as it was when nothing
// changed (so that its layout and unknown parts stay byte for byte).
template <class Change>
QByteArray ChangedXmp(const QByteArray& packet, Change change)
{
    if (packet.isEmpty())
        return packet;
    Exiv2::XmpData xmp;
    if (Exiv2::XmpParser::decode(xmp, packet.toStdString()) != 0)
        return packet;
    bool changed = false;
    change(xmp, &changed);
    if (!changed)
        return packet;
    std::string encoded;
    if (Exiv2::XmpParser::encode(encoded, xmp, Exiv2::XmpParser::useCompactFormat) != 0)
        return packet;
    return QByteArray::fromStdString(encoded);
}

} // namespace

FileMetadata ReadMetadata(const char* data, qint64 size)
{
    InitialiseExiv2();
    FileMetadata metadata;
    try {
        const std::unique_ptr<Exiv2::Image> image = OpenImage(data, size);
        image->readMetadata();
        if (image->iccProfileDefined()) {
            const Exiv2::DataBuf* icc = image->iccProfile();
            metadata.icc = QByteArray(reinterpret_cast<const char*>(icc->pData_), static_cast<int>(icc->size_));
        }
        Exiv2::ExifData& exif = image->exifData();
        auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation != exif.end() && orientation->count() > 0) {
            const long stored = orientation->toLong();
            metadata.blocks.storedOrientation = stored >= 1 && stored <= 8 ? static_cast<int>(stored) : 1;
        }
        if (metadata.icc.isEmpty()) {
            // A TIFF's profile is a tag of its main directory.
            auto tag = exif.findKey(Exiv2::ExifKey("Exif.Image.InterColorProfile"));
            if (tag != exif.end() && tag->size() > 0) {
                metadata.icc.resize(static_cast<int>(tag->size()));
                tag->copy(reinterpret_cast<Exiv2::byte*>(metadata.icc.data()), Exiv2::littleEndian);
            }
        }
        Clean(exif);
        metadata.blocks.exif = EncodeExif(exif, image->byteOrder() == Exiv2::invalidByteOrder
                                                    ? Exiv2::littleEndian
                                                    : image->byteOrder());
        metadata.elements = Elements(exif);
        metadata.blocks.xmp = QByteArray::fromStdString(image->xmpPacket());
        if (!image->iptcData().empty()) {
            const Exiv2::DataBuf iptc = Exiv2::IptcParser::encode(image->iptcData());
            metadata.blocks.iptc = QByteArray(reinterpret_cast<const char*>(iptc.pData_), static_cast<int>(iptc.size_));
        }
    } catch (const Exiv2::AnyError& error) {
        metadata = FileMetadata();
        metadata.failure = QString::fromStdString(error.what());
    } catch (const std::exception& error) {
        metadata = FileMetadata();
        metadata.failure = QString::fromLocal8Bit(error.what());
    }
    return metadata;
}

void MarkUpright(FileMetadata& metadata)
{
    if (!metadata.blocks.exif.isEmpty()) {
        Exiv2::ExifData exif = DecodeExif(metadata.blocks.exif);
        auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (it != exif.end() && it->toLong() != 1) {
            it->setValue("1");
            const Exiv2::ByteOrder order =
                metadata.blocks.exif.startsWith("MM") ? Exiv2::bigEndian : Exiv2::littleEndian;
            metadata.blocks.exif = EncodeExif(exif, order);
        }
    }
    metadata.blocks.xmp = ChangedXmp(metadata.blocks.xmp, [](Exiv2::XmpData& xmp, bool* changed) {
        SetXmpIfPresent(xmp, "Xmp.tiff.Orientation", 1, changed);
    });
    for (VQEXIFElement& element : metadata.elements)
        if (element.GetType() == VQEXIFElement::Orientation)
            element.SetValue(static_cast<qlonglong>(1));
}

namespace {

// The EXIF data to write: the block's, the elements over it, the pixel
// dimensions set to the output's.
Exiv2::ExifData OutputExif(const KXImageMetadata& blocks, const QList<VQEXIFElement>& elements, const QSize& size)
{
    Exiv2::ExifData exif = DecodeExif(blocks.exif);
    Clean(exif);
    for (const VQEXIFElement& element : elements) {
        const uint16_t tag = VQEXIFElement::GetTag(element.GetType());
        if (tag == 0 || IsStructural(tag))
            continue;
        auto it = FindTag(exif, tag);
        if (it != exif.end()) {
            if (ToVariant(it->value()) == element.GetValue())
                continue;
            const std::unique_ptr<Exiv2::Value> value = Owned(it->getValue());
            if (FromVariant(*value, element.GetValue()))
                it->setValue(value.get());
            continue;
        }
        // Tags up to Copyright and the TIFF ones live in the main
        // directory, the camera's in the EXIF directory.
        const Exiv2::ExifKey key(tag, tag <= 0x8298 ? "Image" : "Photo");
        const std::unique_ptr<Exiv2::Value> value = Owned(Exiv2::Value::create(key.defaultTypeId()));
        if (FromVariant(*value, element.GetValue()))
            exif.add(key, value.get());
    }
    SetNumber(exif, "Exif.Photo.PixelXDimension", size.width(), true);
    SetNumber(exif, "Exif.Photo.PixelYDimension", size.height(), true);
    return exif;
}

QByteArray OutputXmp(const KXImageMetadata& blocks, const QSize& size)
{
    return ChangedXmp(blocks.xmp, [&](Exiv2::XmpData& data, bool* changed) {
        SetXmpIfPresent(data, "Xmp.exif.PixelXDimension", size.width(), changed);
        SetXmpIfPresent(data, "Xmp.exif.PixelYDimension", size.height(), changed);
        SetXmpIfPresent(data, "Xmp.tiff.ImageWidth", size.width(), changed);
        SetXmpIfPresent(data, "Xmp.tiff.ImageLength", size.height(), changed);
    });
}

} // namespace

QString EmbedMetadata(QByteArray& encoded, const QByteArray& icc, const KXImageMetadata& blocks,
                      const QList<VQEXIFElement>& elements, const QSize& size)
{
    InitialiseExiv2();
    try {
        const Exiv2::ExifData exif = OutputExif(blocks, elements, size);
        const QByteArray xmp = OutputXmp(blocks, size);
        if (IsWebp(encoded)) {
            // exiv2 0.27 damages the simple WebP files Qt writes when it adds
            // chunks to them; the extended container is written here.
            const Exiv2::ByteOrder order = blocks.exif.startsWith("MM") ? Exiv2::bigEndian : Exiv2::littleEndian;
            const QByteArray extended = WebpWithMetadata(encoded, size, icc, EncodeExif(exif, order), xmp);
            if (extended.isEmpty())
                return QStringLiteral("the WebP data has no image chunk");
            encoded = extended;
            return QString();
        }

        const std::unique_ptr<Exiv2::Image> image = OpenImage(encoded.constData(), encoded.size());
        image->readMetadata();
        // The encoder's own structure tags (a TIFF's strips) stay; the rest
        // comes from the blocks.
        Exiv2::ExifData merged;
        for (const Exiv2::Exifdatum& datum : image->exifData())
            if (datum.groupName() == "Image" && IsStructural(datum.tag()) && datum.tag() != 0x8773 &&
                datum.tag() != 0x83BB && datum.tag() != 0x02BC)
                merged.add(datum);
        for (const Exiv2::Exifdatum& datum : exif)
            merged.add(datum);
        image->setExifData(merged);
        if (!xmp.isEmpty()) {
            image->setXmpPacket(xmp.toStdString());
            image->writeXmpFromPacket(true);
        }
        if (!blocks.iptc.isEmpty()) {
            Exiv2::IptcData iptc;
            if (Exiv2::IptcParser::decode(iptc, reinterpret_cast<const Exiv2::byte*>(blocks.iptc.constData()),
                                          static_cast<uint32_t>(blocks.iptc.size())) == 0)
                image->setIptcData(iptc);
        }
        const bool png = IsPng(encoded);
        if (!icc.isEmpty() && !png) {
            Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte*>(icc.constData()), icc.size());
            image->setIccProfile(profile, false);
        }
        image->writeMetadata();
        Exiv2::BasicIo& io = image->io();
        io.seek(0, Exiv2::BasicIo::beg);
        const Exiv2::DataBuf written = io.read(static_cast<long>(io.size()));
        QByteArray result(reinterpret_cast<const char*>(written.pData_), static_cast<int>(written.size_));
        if (png && !icc.isEmpty()) {
            result = PngWithProfile(result, icc);
            if (result.isEmpty())
                return QStringLiteral("the PNG data has no header chunk");
        }
        encoded = result;
        return QString();
    } catch (const Exiv2::AnyError& error) {
        return QString::fromStdString(error.what());
    } catch (const std::exception& error) {
        return QString::fromLocal8Bit(error.what());
    }
}

bool CarriesMetadata(const QByteArray& format)
{
    return format == "jpeg" || format == "png" || format == "tiff" || format == "webp";
}

bool CarriesIptc(const QByteArray& format)
{
    return format != "webp";
}

} // namespace KXImageFileDetail
