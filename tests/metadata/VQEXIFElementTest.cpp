#include "VQEXIFElement.h"

#include <QCoreApplication>
#include <QSet>
#include <QTranslator>

#include <gtest/gtest.h>


namespace {

using T = VQEXIFElement;

// The TIFF 6.0 and EXIF 2.2 tag numbers of the catalogue, in the order of the types.
const unsigned short kTags[] = {
    0x0000, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x010A, 0x010D, 0x010E, 0x010F, 0x0110, 0x0111,
    0x0112, 0x0115, 0x0116, 0x0117, 0x011A, 0x011B, 0x011C, 0x0128, 0x012D, 0x0131, 0x0132, 0x013B,
    0x013E, 0x013F, 0x0156, 0x0200, 0x0201, 0x0202, 0x0211, 0x0212, 0x0213, 0x0214, 0x828D, 0x828E,
    0x828F, 0x8298, 0x829A, 0x829D, 0x83BB, 0x8773, 0x8822, 0x8824, 0x8827, 0x8828, 0x9000, 0x9003,
    0x9004, 0x9101, 0x9102, 0x9201, 0x9202, 0x9203, 0x9204, 0x9205, 0x9206, 0x9207, 0x9208, 0x9209,
    0x920A, 0x927C, 0x9286, 0x9290, 0x9291, 0x9292, 0xA000, 0xA001, 0xA002, 0xA003, 0xA20B, 0xA20C,
    0xA20E, 0xA20F, 0xA210, 0xA214, 0xA215, 0xA217, 0xA300, 0xA301,
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
    ASSERT_EQ(sizeof kTags / sizeof kTags[0], size_t(VQEXIFElement::TypeCount));
    QSet<QString> names, descriptions;
    for (int i = 0; i < VQEXIFElement::TypeCount; ++i) {
        const auto type = static_cast<VQEXIFElement::Type>(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(VQEXIFElement::GetTag(type), kTags[i]);
        const QString name = VQEXIFElement::GetTypeName(type), description = VQEXIFElement::GetDescription(type);
        EXPECT_FALSE(name.isEmpty() || names.contains(name)) << "name empty or used twice";
        EXPECT_GE(description.size(), 10);
        EXPECT_TRUE(description.endsWith(QLatin1Char('.')));
        EXPECT_FALSE(descriptions.contains(description)) << "description used twice";
        names.insert(name);
        descriptions.insert(description);
    }
    // Names and descriptions quoted as they stand, misspellings included.
    const struct {
        VQEXIFElement::Type type;
        const char *name, *description;
    } quoted[] = {
        {T::Unknown, "Unkonwn", "An unkonwn EXIF tag."},
        {T::RowsPerStrip, "Number of rows per strip", nullptr},
        {T::SceneType, "Scene type",
         "Indicates the type of scene. If a DSC recorded the image, this tag value must always be set to 1, "
         "indicating that the image was directly photographed."},
    };
    for (const auto& q : quoted) {
        EXPECT_EQ(VQEXIFElement::GetTypeName(q.type), QString::fromLatin1(q.name));
        if (q.description) {
            EXPECT_EQ(VQEXIFElement::GetDescription(q.type), QString::fromLatin1(q.description)) << q.type;
        }
    }
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

// Copies share their data until one of them is written.
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
