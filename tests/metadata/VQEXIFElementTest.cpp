#include "VQEXIFElement.h"

#include <QCoreApplication>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

using T = VQEXIFElement;

struct Row {
    VQEXIFElement::Type type;
    const char* field; // the standard TIFF/EXIF field name
    unsigned short tag;
    const char* name;
};

// The TIFF 6.0 and EXIF 2.2 tag numbers of the catalogue's fields.
const Row kRows[] = {
    {T::Unknown, "Unknown", 0x0000, "Unkonwn"},
    {T::ImageWidth, "ImageWidth", 0x0100, "Image width"},
    {T::ImageLength, "ImageLength", 0x0101, "Image height"},
    {T::BitsPerSample, "BitsPerSample", 0x0102, "Bits per sample"},
    {T::Compression, "Compression", 0x0103, "Compression scheme"},
    {T::PhotometricInterpretation, "PhotometricInterpretation", 0x0106, "Pixel composition"},
    {T::FillOrder, "FillOrder", 0x010A, "Fill order"},
    {T::DocumentName, "DocumentName", 0x010D, "Document name"},
    {T::ImageDescription, "ImageDescription", 0x010E, "Image title"},
    {T::Make, "Make", 0x010F, "Image input equipment manufacturer"},
    {T::Model, "Model", 0x0110, "Image input equipment model"},
    {T::StripOffsets, "StripOffsets", 0x0111, "Image data location"},
    {T::Orientation, "Orientation", 0x0112, "Orientation of image"},
    {T::SamplesPerPixel, "SamplesPerPixel", 0x0115, "Number of components"},
    {T::RowsPerStrip, "RowsPerStrip", 0x0116, "Number of rows per strip"},
    {T::StripByteCounts, "StripByteCounts", 0x0117, "Bytes per compressed strip"},
    {T::XResolution, "XResolution", 0x011A, "Image resolution in width direction"},
    {T::YResolution, "YResolution", 0x011B, "Image resolution in height direction"},
    {T::PlanarConfiguration, "PlanarConfiguration", 0x011C, "Image data arrangement"},
    {T::ResolutionUnit, "ResolutionUnit", 0x0128, "Unit of X and Y resolution"},
    {T::TransferFunction, "TransferFunction", 0x012D, "Transfer function"},
    {T::Software, "Software", 0x0131, "Software used"},
    {T::DateTime, "DateTime", 0x0132, "File change date and time"},
    {T::Artist, "Artist", 0x013B, "Person who created the image"},
    {T::WhitePoint, "WhitePoint", 0x013E, "White point chromaticity"},
    {T::PrimaryChromaticities, "PrimaryChromaticities", 0x013F, "Chromaticities of primaries"},
    {T::TransferRange, "TransferRange", 0x0156, "Transfer range"},
    {T::JPEGProc, "JPEGProc", 0x0200, "JPEGProc"},
    {T::JPEGInterchangeFormat, "JPEGInterchangeFormat", 0x0201, "Offset to JPEG SOI"},
    {T::JPEGInterchangeFormatLength, "JPEGInterchangeFormatLength", 0x0202, "Bytes of JPEG data"},
    {T::YCbCrCoefficients, "YCbCrCoefficients", 0x0211,
     "Color space transformation matrix coefficients"},
    {T::YCbCrSubSampling, "YCbCrSubSampling", 0x0212, "Subsampling ratio of Y to C"},
    {T::YCbCrPositioning, "YCbCrPositioning", 0x0213, "Y and C positioning"},
    {T::ReferenceBlackWhite, "ReferenceBlackWhite", 0x0214,
     "Pair of black and white reference values"},
    {T::CFARepeatPatternDim, "CFARepeatPatternDim", 0x828D, "CFA repeat pattern dimension"},
    {T::CFAPattern, "CFAPattern", 0x828E, "CFA pattern"},
    {T::BatteryLevel, "BatteryLevel", 0x828F, "Battery level"},
    {T::Copyright, "Copyright", 0x8298, "Copyright holder"},
    {T::ExposureTime, "ExposureTime", 0x829A, "Exposure time"},
    {T::FNumber, "FNumber", 0x829D, "F number"},
    {T::IPTCNAA, "IPTCNAA", 0x83BB, "IPTC-NAA"},
    {T::InterColorProfile, "InterColorProfile", 0x8773, "ICC profile"},
    {T::ExposureProgram, "ExposureProgram", 0x8822, "Exposure program"},
    {T::SpectralSensitivity, "SpectralSensitivity", 0x8824, "Spectral sensitivity"},
    {T::ISOSpeedRatings, "ISOSpeedRatings", 0x8827, "ISO speed ratings"},
    {T::OECF, "OECF", 0x8828, "Optoelectric coefficient"},
    {T::ExifVersion, "ExifVersion", 0x9000, "Exif version"},
    {T::DateTimeOriginal, "DateTimeOriginal", 0x9003,
     "Date and time original image was generated"},
    {T::DateTimeDigitized, "DateTimeDigitized", 0x9004,
     "Date and time image was made digital data"},
    {T::ComponentsConfiguration, "ComponentsConfiguration", 0x9101, "Meaning of each component"},
    {T::CompressedBitsPerPixel, "CompressedBitsPerPixel", 0x9102, "Image compression mode"},
    {T::ShutterSpeedValue, "ShutterSpeedValue", 0x9201, "Shutter speed"},
    {T::ApertureValue, "ApertureValue", 0x9202, "Aperture"},
    {T::BrightnessValue, "BrightnessValue", 0x9203, "Brightness"},
    {T::ExposureBiasValue, "ExposureBiasValue", 0x9204, "Exposure bias"},
    {T::MaxApertureValue, "MaxApertureValue", 0x9205, "Maximum lens aperture"},
    {T::SubjectDistance, "SubjectDistance", 0x9206, "Subject distance"},
    {T::MeteringMode, "MeteringMode", 0x9207, "Metering mode"},
    {T::LightSource, "LightSource", 0x9208, "Light source"},
    {T::Flash, "Flash", 0x9209, "Flash"},
    {T::FocalLength, "FocalLength", 0x920A, "Lens focal length"},
    {T::MakerNote, "MakerNote", 0x927C, "Manufacturer notes"},
    {T::UserComment, "UserComment", 0x9286, "User comments"},
    {T::SubSecTime, "SubSecTime", 0x9290, "DateTime subseconds"},
    {T::SubSecTimeOriginal, "SubSecTimeOriginal", 0x9291, "DateTimeOriginal subseconds"},
    {T::SubSecTimeDigitized, "SubSecTimeDigitized", 0x9292, "DateTimeDigitized subseconds"},
    {T::FlashpixVersion, "FlashpixVersion", 0xA000, "Supported FlashPix version"},
    {T::ColorSpace, "ColorSpace", 0xA001, "Color space information"},
    {T::PixelXDimension, "PixelXDimension", 0xA002, "Valid image width"},
    {T::PixelYDimension, "PixelYDimension", 0xA003, "Valid image height"},
    {T::FlashEnergy, "FlashEnergy", 0xA20B, "Flash energy"},
    {T::SpatialFrequencyResponse, "SpatialFrequencyResponse", 0xA20C,
     "Spatial frequency response"},
    {T::FocalPlaneXResolution, "FocalPlaneXResolution", 0xA20E, "Focal plane X resolution"},
    {T::FocalPlaneYResolution, "FocalPlaneYResolution", 0xA20F, "Focal plane Y resolution"},
    {T::FocalPlaneResolutionUnit, "FocalPlaneResolutionUnit", 0xA210,
     "Focal plane resolution unit"},
    {T::SubjectLocation, "SubjectLocation", 0xA214, "Subject location"},
    {T::ExposureIndex, "ExposureIndex", 0xA215, "Exposure index"},
    {T::SensingMethod, "SensingMethod", 0xA217, "Sensing method"},
    {T::FileSource, "FileSource", 0xA300, "File source"},
    {T::SceneType, "SceneType", 0xA301, "Scene type"},
};

// Returns every source text marked, so the tests can see that the catalogue
// texts are looked up under the class's own context on each call.
class MarkingTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override
    {
        if (qstrcmp(context, "VQEXIFElement") != 0)
            return QString();
        return QStringLiteral("[") + QString::fromUtf8(sourceText) + QStringLiteral("]");
    }
    bool isEmpty() const override { return false; }
};

} // namespace

TEST(VQEXIFElement, CatalogueRows)
{
    ASSERT_EQ(sizeof kRows / sizeof kRows[0], size_t(VQEXIFElement::TypeCount));
    QSet<QString> fields;
    for (const Row& row : kRows)
        fields.insert(QString::fromLatin1(row.field));

    QSet<QString> descriptions;
    const QRegularExpression reference(QStringLiteral("<([^<>]*)>"));
    for (int i = 0; i < VQEXIFElement::TypeCount; ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(row.field);
        ASSERT_EQ(int(row.type), i);
        EXPECT_EQ(VQEXIFElement::GetTag(row.type), row.tag);
        EXPECT_EQ(VQEXIFElement::GetTypeName(row.type), QString::fromLatin1(row.name));

        const QString description = VQEXIFElement::GetDescription(row.type);
        EXPECT_GE(description.size(), 10);
        EXPECT_TRUE(description.endsWith(QLatin1Char('.')));
        EXPECT_FALSE(descriptions.contains(description)) << "description used twice";
        descriptions.insert(description);
        // Other fields are referred to by their standard names.
        for (auto it = reference.globalMatch(description); it.hasNext();) {
            const QString name = it.next().captured(1);
            EXPECT_TRUE(fields.contains(name)) << name.toStdString();
        }
    }
}

TEST(VQEXIFElement, QuotedDescriptions)
{
    const struct {
        VQEXIFElement::Type type;
        const char* text;
    } cases[] = {
        {T::Unknown, "An unkonwn EXIF tag."},
        {T::ImageWidth, "The number of columns of image data, equal to the number of pixels per "
                        "row. In JPEG compressed data a JPEG marker is used instead of this tag."},
        {T::XResolution, "The number of pixels per <ResolutionUnit> in the <ImageWidth> direction. "
                         "When the image resolution is unknown, 72 [dpi] is designated."},
        {T::ExposureTime, "Exposure time, given in seconds."},
        {T::FNumber, "The F number."},
        {T::ShutterSpeedValue, "Shutter speed. The unit is the APEX (Additive System of "
                               "Photographic Exposure) setting."},
        {T::SubjectDistance, "The distance to the subject, given in meters."},
        {T::SceneType, "Indicates the type of scene. If a DSC recorded the image, this tag value "
                       "must always be set to 1, indicating that the image was directly "
                       "photographed."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VQEXIFElement::GetDescription(c.type), QString::fromLatin1(c.text)) << c.type;
}

TEST(VQEXIFElement, OutsideTheCatalogue)
{
    for (quint32 value : {80u, 81u, 1000u, 0xFFFFFFFFu}) {
        const auto type = static_cast<VQEXIFElement::Type>(value);
        EXPECT_EQ(VQEXIFElement::GetTag(type), 0) << value;
        EXPECT_TRUE(VQEXIFElement::GetTypeName(type).isNull()) << value;
        EXPECT_TRUE(VQEXIFElement::GetDescription(type).isNull()) << value;
    }
}

TEST(VQEXIFElement, TextsAreTranslatedOnEachCall)
{
    {
        MarkingTranslator translator;
        ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
        EXPECT_EQ(VQEXIFElement::GetTypeName(T::FNumber), QStringLiteral("[F number]"));
        EXPECT_EQ(VQEXIFElement::GetDescription(T::FNumber), QStringLiteral("[The F number.]"));
        QCoreApplication::removeTranslator(&translator);
    }
    EXPECT_EQ(VQEXIFElement::GetTypeName(T::FNumber), QStringLiteral("F number"));
}

TEST(VQEXIFElement, CopiesAreIndependent)
{
    VQEXIFElement source(T::Make, QStringLiteral("first"));
    const VQEXIFElement constructed(source);
    VQEXIFElement assigned(T::Unknown, QVariant());
    assigned = source;
    source = source;
    QList<VQEXIFElement> list{source, constructed};

    source.SetValue(42);
    EXPECT_EQ(source.GetValue(), QVariant(42));
    const std::initializer_list<const VQEXIFElement*> copies = {&constructed, &assigned,
                                                                &list[0], &list[1]};
    for (const VQEXIFElement* e : copies) {
        EXPECT_EQ(e->GetType(), T::Make);
        EXPECT_EQ(e->GetValue(), QVariant(QStringLiteral("first")));
    }
    assigned.SetValue(QStringLiteral("second"));
    EXPECT_EQ(constructed.GetValue(), QVariant(QStringLiteral("first")));
}

TEST(VQEXIFElement, RawDataIsTheVariantsByteArray)
{
    const struct {
        QVariant value;
        QByteArray raw;
    } cases[] = {
        {QVariant(QStringLiteral("Caf\u00e9")), QByteArray("Caf\xc3\xa9")}, // UTF-8
        {QVariant(QByteArray("\x00\x01\xff", 3)), QByteArray("\x00\x01\xff", 3)},
        {QVariant(72), QByteArray("72")},
        {QVariant(0.5), QByteArray("0.5")},
        {QVariant(), QByteArray()},
    };
    for (const auto& c : cases) {
        const VQEXIFElement element(T::UserComment, c.value);
        EXPECT_EQ(element.ToRawDataValue(), c.raw) << c.value.typeName();
    }
}
