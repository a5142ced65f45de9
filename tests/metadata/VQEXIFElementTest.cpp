#include "VQEXIFElement.h"

#include <QCoreApplication>
#include <QSet>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

using T = VQEXIFElement;

// The TIFF 6.0 and EXIF 2.2 tag numbers and the display names of the
// catalogue, in the order of the types.
const struct {
    unsigned short tag;
    const char* name;
} kRows[] = {
    {0x0000, "Unkonwn"}, {0x0100, "Image width"}, {0x0101, "Image height"}, {0x0102, "Bits per sample"},
    {0x0103, "Compression scheme"}, {0x0106, "Pixel composition"}, {0x010A, "Fill order"}, {0x010D, "Document name"},
    {0x010E, "Image title"}, {0x010F, "Image input equipment manufacturer"}, {0x0110, "Image input equipment model"},
    {0x0111, "Image data location"}, {0x0112, "Orientation of image"}, {0x0115, "Number of components"},
    {0x0116, "Number of rows per strip"}, {0x0117, "Bytes per compressed strip"},
    {0x011A, "Image resolution in width direction"}, {0x011B, "Image resolution in height direction"},
    {0x011C, "Image data arrangement"}, {0x0128, "Unit of X and Y resolution"}, {0x012D, "Transfer function"},
    {0x0131, "Software used"}, {0x0132, "File change date and time"}, {0x013B, "Person who created the image"},
    {0x013E, "White point chromaticity"}, {0x013F, "Chromaticities of primaries"}, {0x0156, "Transfer range"},
    {0x0200, "JPEGProc"}, {0x0201, "Offset to JPEG SOI"}, {0x0202, "Bytes of JPEG data"},
    {0x0211, "Color space transformation matrix coefficients"}, {0x0212, "Subsampling ratio of Y to C"},
    {0x0213, "Y and C positioning"}, {0x0214, "Pair of black and white reference values"},
    {0x828D, "CFA repeat pattern dimension"}, {0x828E, "CFA pattern"}, {0x828F, "Battery level"},
    {0x8298, "Copyright holder"}, {0x829A, "Exposure time"}, {0x829D, "F number"}, {0x83BB, "IPTC-NAA"},
    {0x8773, "ICC profile"}, {0x8822, "Exposure program"}, {0x8824, "Spectral sensitivity"},
    {0x8827, "ISO speed ratings"}, {0x8828, "Optoelectric coefficient"}, {0x9000, "Exif version"},
    {0x9003, "Date and time original image was generated"}, {0x9004, "Date and time image was made digital data"},
    {0x9101, "Meaning of each component"}, {0x9102, "Image compression mode"}, {0x9201, "Shutter speed"},
    {0x9202, "Aperture"}, {0x9203, "Brightness"}, {0x9204, "Exposure bias"}, {0x9205, "Maximum lens aperture"},
    {0x9206, "Subject distance"}, {0x9207, "Metering mode"}, {0x9208, "Light source"}, {0x9209, "Flash"},
    {0x920A, "Lens focal length"}, {0x927C, "Manufacturer notes"}, {0x9286, "User comments"},
    {0x9290, "DateTime subseconds"}, {0x9291, "DateTimeOriginal subseconds"},
    {0x9292, "DateTimeDigitized subseconds"}, {0xA000, "Supported FlashPix version"},
    {0xA001, "Color space information"}, {0xA002, "Valid image width"}, {0xA003, "Valid image height"},
    {0xA20B, "Flash energy"}, {0xA20C, "Spatial frequency response"}, {0xA20E, "Focal plane X resolution"},
    {0xA20F, "Focal plane Y resolution"}, {0xA210, "Focal plane resolution unit"}, {0xA214, "Subject location"},
    {0xA215, "Exposure index"}, {0xA217, "Sensing method"}, {0xA300, "File source"}, {0xA301, "Scene type"},
};

// Returns every source text marked, so the tests can see that the catalogue
// texts are looked up under the class's own context on each call.
class MarkingTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char*, int) const override
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
    QSet<QString> descriptions;
    for (int i = 0; i < VQEXIFElement::TypeCount; ++i) {
        SCOPED_TRACE(kRows[i].name);
        const auto type = static_cast<VQEXIFElement::Type>(i);
        EXPECT_EQ(VQEXIFElement::GetTag(type), kRows[i].tag);
        EXPECT_EQ(VQEXIFElement::GetTypeName(type), QString::fromLatin1(kRows[i].name));
        const QString description = VQEXIFElement::GetDescription(type);
        EXPECT_GE(description.size(), 10);
        EXPECT_TRUE(description.endsWith(QLatin1Char('.')));
        EXPECT_FALSE(descriptions.contains(description)) << "description used twice";
        descriptions.insert(description);
    }
}

TEST(VQEXIFElement, QuotedDescriptions)
{
    const struct {
        VQEXIFElement::Type type;
        const char* text;
    } cases[] = {
        {T::Unknown, "An unkonwn EXIF tag."},
        {T::XResolution, "The number of pixels per <ResolutionUnit> in the <ImageWidth> direction. "
                         "When the image resolution is unknown, 72 [dpi] is designated."},
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
    source.SetValue(42);
    EXPECT_EQ(source.GetValue(), QVariant(42));
    for (const VQEXIFElement* e : {&constructed, static_cast<const VQEXIFElement*>(&assigned)}) {
        EXPECT_EQ(e->GetType(), T::Make);
        EXPECT_EQ(e->GetValue(), QVariant(QStringLiteral("first")));
    }
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
    for (const auto& c : cases)
        EXPECT_EQ(VQEXIFElement(T::UserComment, c.value).ToRawDataValue(), c.raw) << c.value.typeName();
}
