// The loader and writer against files made by Qt's writers and tagged by
// exiftool, and checked back with exiftool and Little CMS: orientation,
// profile bytes, EXIF/XMP/IPTC fields, truncation, depth, alpha and chroma
// subsampling.

#include "KXImageFile.h"
#include "KXTestProfiles.h"
#include "KXTestSupport.h"

#include "VQTileManager64.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// exiftool's output, one value per line with -s3; tags as given.
QByteArray Exiftool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("exiftool"), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return QByteArray("exiftool did not run");
    return process.readAllStandardOutput();
}

QString Tag(const QString& path, const QString& tag, bool numeric = false)
{
    QStringList arguments{QStringLiteral("-s3")};
    if (numeric)
        arguments << QStringLiteral("-n");
    return QString::fromUtf8(Exiftool(arguments << QLatin1Char('-') + tag << path)).trimmed();
}

// A picture whose every pixel says where it is (x, y below 256 here).
QImage Pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x, y, (x * 7 + y * 3) & 255));
    return image;
}

class KXImageFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_icc = KXTestProfiles::WideRgbBytes();
        QFile icc(Path("wide.icc"));
        ASSERT_TRUE(icc.open(QIODevice::WriteOnly) && icc.write(m_icc) == m_icc.size());
        ASSERT_FALSE(Exiftool({QStringLiteral("-ver")}).trimmed().isEmpty()) << "exiftool is needed";
    }
    QString Path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
    bool Save(const char* name, const QByteArray& bytes) const
    {
        QFile file(Path(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    // Saves `image` with Qt, then gives it the wide profile, an orientation
    // and a handful of fields with exiftool; `iptc` where the format has it.
    void MakePhoto(const QImage& image, const char* name, int orientation, bool iptc = true) const
    {
        ASSERT_TRUE(image.save(Path(name), nullptr, 100));
        QStringList arguments{QStringLiteral("-q"),
                              QStringLiteral("-overwrite_original"),
                              QStringLiteral("-ICC_Profile<=") + Path("wide.icc"),
                              QStringLiteral("-Orientation#=%1").arg(orientation),
                              QStringLiteral("-Make=Testmaker"),
                              QStringLiteral("-Artist=A. Person"),
                              QStringLiteral("-ExifImageWidth=%1").arg(image.width()),
                              QStringLiteral("-ExifImageHeight=%1").arg(image.height()),
                              QStringLiteral("-ExposureTime=1/125"),
                              QStringLiteral("-DateTimeOriginal=2024:05:01 10:20:30"),
                              QStringLiteral("-GPSLatitude=48.5"),
                              QStringLiteral("-GPSLatitudeRef=N"),
                              QStringLiteral("-XMP-dc:Creator=XMP Person")};
        if (iptc)
            arguments << QStringLiteral("-IPTC:Keywords=forest");
        Exiftool(arguments << Path(name));
        ASSERT_EQ(Tag(Path(name), QStringLiteral("Orientation"), true), QString::number(orientation)) << name;
    }

    QTemporaryDir m_dir;
    QByteArray m_icc;
};

// Where stored pixel (x, y) of a width x height picture appears once turned
// upright, for each EXIF orientation (worked out from the tag's definition:
// which corner row 0 and column 0 show).
QPoint Displayed(int orientation, int x, int y, int width, int height)
{
    switch (orientation) {
    case 2: return {width - 1 - x, y};
    case 3: return {width - 1 - x, height - 1 - y};
    case 4: return {x, height - 1 - y};
    case 5: return {y, x};
    case 6: return {height - 1 - y, x};
    case 7: return {height - 1 - y, width - 1 - x};
    case 8: return {y, width - 1 - x};
    default: return {x, y};
    }
}

TEST_F(KXImageFileTest, EveryOrientationTurnsUprightPixelForPixel)
{
    // Across a tile border both ways once turned.
    const QImage stored = Pattern(150, 131);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        MakePhoto(stored, "o.png", orientation, false);
        const KXImageFile::ReadResult read = KXImageFile::Read(Path("o.png"));
        ASSERT_TRUE(read.Ok()) << read.errorText.toStdString();
        EXPECT_TRUE(read.warnings.isEmpty());
        EXPECT_EQ(read.metadata.storedOrientation, orientation);
        const bool swapped = orientation >= 5;
        ASSERT_EQ(read.image.Width(), swapped ? 131u : 150u);
        ASSERT_EQ(read.image.Height(), swapped ? 150u : 131u);
        int wrong = 0;
        for (int y = 0; y < stored.height(); ++y)
            for (int x = 0; x < stored.width(); ++x) {
                const QPoint at = Displayed(orientation, x, y, stored.width(), stored.height());
                wrong += read.image.GetColor(at.x(), at.y()).value != stored.pixel(x, y);
            }
        EXPECT_EQ(wrong, 0);
        // The profile survives the turn (Qt's own turn drops it).
        VQCMSProfile wide;
        ASSERT_TRUE(wide.FromByteArray(m_icc));
        EXPECT_EQ(read.image.profile.ToByteArray(), wide.ToByteArray());
        for (const VQEXIFElement& element : read.image.exif) {
            if (element.GetType() == VQEXIFElement::Orientation) {
                EXPECT_EQ(element.GetValue().toInt(), 1);
            }
        }

        // Kept as stored on request.
        KXImageFile::ReadParams asStored;
        asStored.applyOrientation = false;
        const KXImageFile::ReadResult kept = KXImageFile::Read(Path("o.png"), asStored);
        EXPECT_EQ(kept.image.Width(), 150u);
        EXPECT_EQ(kept.image.GetColor(1, 0).value, stored.pixel(1, 0));
    }
}

TEST_F(KXImageFileTest, ProfileAndMetadataSurviveEachFormat)
{
    const struct Case {
        const char* in;
        const char* out;
        bool iptc;
    } cases[] = {{"p.jpg", "w.jpg", true}, {"p.png", "w.png", false}, {"p.tif", "w.tif", true},
                 {"p.webp", "w.webp", false}};
    const QImage stored = Pattern(120, 60);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        MakePhoto(stored, c.in, 6, c.iptc);
        const KXImageFile::ReadResult read = KXImageFile::Read(Path(c.in));
        ASSERT_TRUE(read.Ok()) << read.errorText.toStdString();
        EXPECT_TRUE(read.warnings.isEmpty());
        EXPECT_EQ(read.info.iccData, m_icc);
        EXPECT_EQ(read.image.Width(), 60u);
        EXPECT_EQ(read.image.Height(), 120u);
        EXPECT_EQ(read.metadata.iptc.isEmpty(), !c.iptc);
        QHash<int, QVariant> elements;
        for (const VQEXIFElement& element : read.image.exif)
            elements.insert(element.GetType(), element.GetValue());
        EXPECT_EQ(elements.value(VQEXIFElement::Make).toString(), QStringLiteral("Testmaker"));
        EXPECT_EQ(elements.value(VQEXIFElement::Orientation).toInt(), 1);
        EXPECT_DOUBLE_EQ(elements.value(VQEXIFElement::ExposureTime).toDouble(), 1.0 / 125);
        EXPECT_EQ(elements.value(VQEXIFElement::DateTimeOriginal).toString(), QStringLiteral("2024:05:01 10:20:30"));

        // An element changed by the caller wins over the block.
        KXImageRGBA32i image = read.image;
        for (VQEXIFElement& element : image.exif)
            if (element.GetType() == VQEXIFElement::Artist)
                element.SetValue(QStringLiteral("B. Person"));
        const KXImageFile::WriteResult written = KXImageFile::Write(image, read.metadata, Path(c.out), {});
        ASSERT_TRUE(written.Ok()) << written.errorText.toStdString();
        EXPECT_TRUE(written.warnings.isEmpty()) << written.warnings.value(0).text.toStdString();

        const QString out = Path(c.out);
        EXPECT_EQ(Exiftool({QStringLiteral("-b"), QStringLiteral("-ICC_Profile"), out}), m_icc);
        EXPECT_EQ(Tag(out, QStringLiteral("Orientation"), true), QStringLiteral("1"));
        EXPECT_EQ(Tag(out, QStringLiteral("Make")), QStringLiteral("Testmaker"));
        EXPECT_EQ(Tag(out, QStringLiteral("Artist")), QStringLiteral("B. Person"));
        EXPECT_EQ(Tag(out, QStringLiteral("ExposureTime")), QStringLiteral("1/125"));
        EXPECT_EQ(Tag(out, QStringLiteral("GPSLatitude"), true), QStringLiteral("48.5"));
        EXPECT_EQ(Tag(out, QStringLiteral("XMP-dc:Creator")), QStringLiteral("XMP Person"));
        if (c.iptc) {
            EXPECT_EQ(Tag(out, QStringLiteral("IPTC:Keywords")), QStringLiteral("forest"));
        }
        EXPECT_EQ(Tag(out, QStringLiteral("ImageWidth")), QStringLiteral("60"));
        EXPECT_EQ(Tag(out, QStringLiteral("ExifImageWidth")), QStringLiteral("60"));
        EXPECT_EQ(Tag(out, QStringLiteral("ExifImageHeight")), QStringLiteral("120"));

        // Read back: upright already, the same profile.
        const KXImageFile::ReadResult again = KXImageFile::Read(out);
        ASSERT_TRUE(again.Ok());
        EXPECT_EQ(again.metadata.storedOrientation, 1);
        EXPECT_EQ(again.info.iccData, m_icc);
    }
}

TEST_F(KXImageFileTest, StripWritesNoMetadata)
{
    MakePhoto(Pattern(40, 30), "p.jpg", 6);
    const KXImageFile::ReadResult read = KXImageFile::Read(Path("p.jpg"));
    KXImageFile::WriteParams params;
    params.strip = true;
    ASSERT_TRUE(KXImageFile::Write(read.image, read.metadata, Path("s.jpg"), params).Ok());
    const QString all = QString::fromUtf8(Exiftool({QStringLiteral("-s"), QStringLiteral("-G0"), Path("s.jpg")}));
    for (const char* group : {"[EXIF]", "[XMP]", "[IPTC]", "[ICC_Profile]"})
        EXPECT_FALSE(all.contains(QLatin1String(group))) << group;
}

TEST_F(KXImageFileTest, TruncatedDataIsReported)
{
    MakePhoto(Pattern(200, 150), "p.jpg", 1);
    ASSERT_TRUE(Pattern(200, 150).save(Path("p.png")));
    const struct Case {
        const char* file;
        int cut;       // bytes taken away from the end; negative: that percentage of the file
        bool decodes;  // the decoder goes on with what it has
    } cases[] = {{"p.jpg", 2, true}, {"p.jpg", -50, true}, {"p.png", 1, true}, {"p.png", -50, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " less " + std::to_string(c.cut));
        QFile file(Path(c.file));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        const int cut = c.cut < 0 ? whole.size() * -c.cut / 100 : c.cut;
        const KXImageFile::ReadResult complete = KXImageFile::Read(whole);
        EXPECT_TRUE(complete.Ok() && complete.warnings.isEmpty());
        const KXImageFile::ReadResult read = KXImageFile::Read(whole.left(whole.size() - cut));
        EXPECT_TRUE(read.Has(KXImageFile::Issue::Truncated));
        EXPECT_EQ(read.Ok(), c.decodes) << read.errorText.toStdString();
        ASSERT_TRUE(Save("cut", whole.left(whole.size() - cut)));
        const KXImageFile::ReadResult header = KXImageFile::ReadHeader(Path("cut"));
        EXPECT_TRUE(header.Has(KXImageFile::Issue::Truncated));
    }
    // Cut inside the headers: the plugin may name a value that is no format
    // at all; the header read refuses the file (a few times, since that
    // value is whatever the plugin left).
    QFile jpeg(Path("p.jpg"));
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    ASSERT_TRUE(Save("head.jpg", jpeg.read(8)));
    for (int i = 0; i < 5; ++i) {
        const KXImageFile::ReadResult head = KXImageFile::ReadHeader(Path("head.jpg"));
        EXPECT_FALSE(head.Ok());
        EXPECT_FALSE(head.info.hasAlpha);
        // Qt's decoder only says "Unknown error"; the message says why.
        EXPECT_EQ(head.error, KXImageFile::Issue::Truncated);
        EXPECT_TRUE(head.errorText.contains(QLatin1String("ends early"))) << head.errorText.toStdString();
    }
    const KXImageFile::ReadResult garbage = KXImageFile::Read(QByteArray("not a picture at all"));
    EXPECT_EQ(garbage.error, KXImageFile::Issue::Unsupported);
    EXPECT_EQ(KXImageFile::Read(Path("missing.png")).error, KXImageFile::Issue::Unreadable);
}

TEST_F(KXImageFileTest, SixteenBitsStaySixteenBits)
{
    QImage deep(130, 70, QImage::Format_RGBA64);
    for (int y = 0; y < deep.height(); ++y)
        for (int x = 0; x < deep.width(); ++x)
            deep.setPixelColor(x, y, QColor::fromRgba64(x * 501 + 7, y * 931 + 3, 65535 - x * y, 65535));
    for (const char* name : {"d.png", "d.tif"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(deep.save(Path(name)));
        KXImageFile::ReadParams keep;
        keep.keepDepth = true;
        const KXImageFile::ReadResult read = KXImageFile::Read(Path(name), keep);
        ASSERT_TRUE(read.Ok() && read.IsDeep());
        EXPECT_EQ(read.info.bitsPerChannel, 16);
        EXPECT_EQ(read.image.Width(), 0u);
        KXRGBA64i row[130];
        ASSERT_TRUE(read.deep.GetLine(69, row, sizeof row));
        EXPECT_EQ(row[129].r, 129 * 501 + 7);
        EXPECT_EQ(row[129].g, 69 * 931 + 3);
        EXPECT_EQ(row[129].b, 65535 - 129 * 69);

        const KXImageFile::WriteResult written = KXImageFile::Write(read.deep, read.metadata, Path("back.png"), {});
        ASSERT_TRUE(written.Ok());
        EXPECT_TRUE(written.warnings.isEmpty());
        QImageReader back(Path("back.png"));
        EXPECT_EQ(back.imageFormat(), QImage::Format_RGBX64); // opaque: no alpha written
        EXPECT_TRUE(back.read().convertToFormat(QImage::Format_RGBA64) == deep);

        const KXImageFile::ReadResult reduced = KXImageFile::Read(Path(name));
        EXPECT_TRUE(reduced.Has(KXImageFile::Issue::DepthReduced));
        EXPECT_FALSE(reduced.IsDeep());
        EXPECT_EQ(reduced.image.Width(), 130u);
        const KXImageFile::WriteResult eight = KXImageFile::Write(read.deep, read.metadata, Path("d.jpg"), {});
        EXPECT_EQ(eight.warnings.value(0).issue, KXImageFile::Issue::DepthReduced);
    }
}

TEST_F(KXImageFileTest, AlphaOnlyWhereThePictureHasTransparency)
{
    KXImageRGBA32i opaque(50, 40), translucent(50, 40);
    opaque.Fill(KXRGBA32i(0xFF336699u));
    translucent.Fill(KXRGBA32i(0x80336699u));
    for (const char* name : {"a.png", "a.tif", "a.webp"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(KXImageFile::Write(opaque, {}, Path(name), {}).Ok());
        EXPECT_FALSE(QImageReader(Path(name)).read().hasAlphaChannel());
        ASSERT_TRUE(KXImageFile::Write(translucent, {}, Path(name), {}).Ok());
        EXPECT_EQ(qAlpha(QImage(Path(name)).pixel(3, 3)), 0x80);
    }
    const KXImageFile::WriteResult jpeg = KXImageFile::Write(translucent, {}, Path("a.jpg"), {});
    EXPECT_EQ(jpeg.warnings.value(0).issue, KXImageFile::Issue::AlphaDropped);
}

TEST_F(KXImageFileTest, JpegChromaSubsampling)
{
    KXImageRGBA32i image(64, 32);
    image.Fill(KXRGBA32i(0xFF2080C0u));
    using S = KXImageFile::Subsampling;
    const struct Case {
        int quality;
        S sampling;
        const char* expected; // exiftool's YCbCrSubSampling, numeric
    } cases[] = {{75, S::Auto, "2 2"}, {89, S::Auto, "2 2"}, {90, S::Auto, "1 1"}, {-1, S::Auto, "2 2"},
                 {75, S::S444, "1 1"}, {95, S::S422, "2 1"}, {95, S::S420, "2 2"}};
    for (const Case& c : cases) {
        KXImageFile::WriteParams params;
        params.quality = c.quality;
        params.subsampling = c.sampling;
        ASSERT_TRUE(KXImageFile::Write(image, {}, Path("s.jpg"), params).Ok());
        EXPECT_EQ(Tag(Path("s.jpg"), QStringLiteral("YCbCrSubSampling"), true), QLatin1String(c.expected))
            << c.quality << " " << static_cast<int>(c.sampling);
    }
}

TEST_F(KXImageFileTest, HeaderReadDecodesNoPixel)
{
    MakePhoto(Pattern(300, 200), "p.jpg", 6);
    VQTileManager64* tiles = VQTileManager64::Instance();
    const long long before = tiles->GetAvailableCount();
    const KXImageFile::ReadResult header = KXImageFile::ReadHeader(Path("p.jpg"));
    EXPECT_EQ(tiles->GetAvailableCount(), before);
    ASSERT_TRUE(header.Ok());
    EXPECT_EQ(header.info.size, QSize(200, 300));
    EXPECT_EQ(header.info.storedSize, QSize(300, 200));
    EXPECT_EQ(header.info.format, QByteArray("jpeg"));
    EXPECT_EQ(header.info.iccData, m_icc);
    EXPECT_EQ(header.metadata.storedOrientation, 6);
    EXPECT_EQ(header.image.Width(), 0u);
}

TEST_F(KXImageFileTest, WritesToADeviceAndRefusesUnknownFormats)
{
    KXImageRGBA32i image(10, 10);
    image.Fill(KXRGBA32i(0xFF000000u));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    KXImageFile::WriteParams params;
    params.format = "JPG";
    ASSERT_TRUE(KXImageFile::Write(image, {}, &buffer, params).Ok());
    EXPECT_TRUE(buffer.data().startsWith("\xFF\xD8\xFF"));
    params.format = "nonsense";
    EXPECT_EQ(KXImageFile::Write(image, {}, &buffer, params).error, KXImageFile::Issue::Unsupported);
    EXPECT_EQ(KXImageFile::WriteFormat(QStringLiteral("x/photo.TIF")), QByteArray("tiff"));
}

} // namespace
