// What a photo carries besides its pixels, through the real kximg: the ICC
// profile, the EXIF orientation and the other EXIF, XMP and IPTC fields,
// 16-bit depth, and damaged input. Fixtures are made with Qt and tagged with
// exiftool; outputs are read back with exiftool.

#include "KXImgRun.h"
#include "KXTestProfiles.h"

#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

QByteArray Exiftool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("exiftool"), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return QByteArray("exiftool did not run");
    return process.readAllStandardOutput();
}

class KximgMetadata : public testing::Test, protected KximgDirectory {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Exiftool({QStringLiteral("-ver")}).trimmed().isEmpty()) << "exiftool is needed";
        m_icc = KXTestProfiles::WideRgbBytes(L"Wide photo RGB");
        ASSERT_TRUE(Save(QStringLiteral("wide.icc"), m_icc));
        // Red left half, blue right half: turned clockwise, red is on top.
        QImage picture(160, 90, QImage::Format_RGB32);
        picture.fill(qRgb(20, 40, 230));
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 80; ++x)
                picture.setPixel(x, y, qRgb(230, 30, 20));
        ASSERT_TRUE(picture.save(Path(QStringLiteral("photo.jpg")), nullptr, 95));
        Exiftool({QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                  QStringLiteral("-ICC_Profile<=") + Path(QStringLiteral("wide.icc")),
                  QStringLiteral("-Orientation#=6"),
                  QStringLiteral("-Make=Testmaker"), QStringLiteral("-Model=Cam 1"), QStringLiteral("-LensModel=Lens 50"),
                  QStringLiteral("-ExposureTime=1/125"), QStringLiteral("-FNumber=5.6"),
                  QStringLiteral("-DateTimeOriginal=2024:05:01 10:20:30"), QStringLiteral("-GPSLatitude=48.5"),
                  QStringLiteral("-GPSLatitudeRef=N"), QStringLiteral("-Artist=A. Person"),
                  QStringLiteral("-ExifImageWidth=160"), QStringLiteral("-ExifImageHeight=90"),
                  QStringLiteral("-XMP-dc:Creator=XMP Person"), QStringLiteral("-IPTC:Keywords=forest"),
                  QStringLiteral("-IPTC:City=Paris"), Path(QStringLiteral("photo.jpg"))});
    }

    QString Tag(const QString& file, const char* tag) const
    {
        return QString::fromUtf8(Exiftool({QStringLiteral("-s3"), QStringLiteral("-n"),
                                           QLatin1Char('-') + QLatin1String(tag), Path(file)}))
            .trimmed();
    }
    QByteArray Profile(const QString& file) const
    {
        return Exiftool({QStringLiteral("-b"), QStringLiteral("-ICC_Profile"), Path(file)});
    }

    QByteArray m_icc;
};

TEST_F(KximgMetadata, EveryCommandKeepsProfileAndFieldsAndTurnsUpright)
{
    const struct Case {
        QStringList arguments;
        const char* out;
    } cases[] = {
        {{"convert", "photo.jpg", "c.jpg"}, "c.jpg"},
        {{"convert", "photo.jpg", "c.png"}, "c.png"},
        {{"convert", "photo.jpg", "c.tif"}, "c.tif"},
        {{"invert", "photo.jpg", "i.jpg"}, "i.jpg"},
        {{"adjust", "photo.jpg", "a.jpg", "--op", "brightness-contrast", "--brightness", "10"}, "a.jpg"},
        {{"filter", "photo.jpg", "f.jpg", "--name", "gaussian-blur", "--sigma", "2"}, "f.jpg"},
        {{"transform", "photo.jpg", "t.jpg", "--rotate", "0", "--scale", "1", "--sampler", "nearest"}, "t.jpg"},
        {{"icc", "photo.jpg", "e.jpg", "--from", "embedded", "--to", "wide.icc"}, "e.jpg"},
    };
    for (const Case& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        const Outcome run = Kximg(c.arguments);
        ASSERT_EQ(run.status, 0) << what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << what << ": " << run.err.toStdString();
        const QString out = QLatin1String(c.out);
        EXPECT_EQ(Profile(out), m_icc) << what;
        EXPECT_EQ(Tag(out, "Orientation"), QStringLiteral("1")) << what;
        const QImage image(Path(out));
        EXPECT_EQ(image.size(), QSize(90, 160)) << what;
        // Turned clockwise: the red half is on top (inverted: cyan).
        const bool inverted = c.arguments.first() == QLatin1String("invert");
        EXPECT_EQ(qRed(image.pixel(45, 20)) > 128, !inverted) << what;
        EXPECT_EQ(qRed(image.pixel(45, 140)) > 128, inverted) << what;
        for (const auto& field : {std::pair<const char*, const char*>{"Make", "Testmaker"},
                                  {"Model", "Cam 1"},
                                  {"LensModel", "Lens 50"},
                                  {"ExposureTime", "0.008"},
                                  {"FNumber", "5.6"},
                                  {"DateTimeOriginal", "2024:05:01 10:20:30"},
                                  {"GPSLatitude", "48.5"},
                                  {"Artist", "A. Person"},
                                  {"XMP-dc:Creator", "XMP Person"},
                                  {"ExifImageWidth", "90"},
                                  {"ExifImageHeight", "160"}})
            EXPECT_EQ(Tag(out, field.first), QLatin1String(field.second)) << what << " " << field.first;
        if (!out.endsWith(QLatin1String(".png"))) {
            EXPECT_EQ(Tag(out, "IPTC:Keywords"), QStringLiteral("forest")) << what;
            EXPECT_EQ(Tag(out, "IPTC:City"), QStringLiteral("Paris")) << what;
        }
    }
    // To another profile: the output carries the new one.
    const Outcome srgb = Kximg({"icc", "photo.jpg", "s.jpg", "--from", "embedded", "--to", "srgb"});
    ASSERT_EQ(srgb.status, 0) << srgb.err.toStdString();
    EXPECT_NE(Profile(QStringLiteral("s.jpg")), m_icc);
    EXPECT_FALSE(Profile(QStringLiteral("s.jpg")).isEmpty());
}

TEST_F(KximgMetadata, NoRotateKeepsPixelsAndTagStripDropsEverything)
{
    ASSERT_EQ(Kximg({"convert", "photo.jpg", "n.jpg", "--no-rotate"}).status, 0);
    EXPECT_EQ(Tag(QStringLiteral("n.jpg"), "Orientation"), QStringLiteral("6"));
    QImageReader stored(Path(QStringLiteral("n.jpg")));
    stored.setAutoTransform(false);
    EXPECT_EQ(stored.size(), QSize(160, 90));
    EXPECT_EQ(Profile(QStringLiteral("n.jpg")), m_icc);

    ASSERT_EQ(Kximg({"convert", "photo.jpg", "s.jpg", "--strip"}).status, 0);
    const QString all = QString::fromUtf8(Exiftool({QStringLiteral("-G0"), QStringLiteral("-s"), Path(QStringLiteral("s.jpg"))}));
    for (const char* group : {"[EXIF]", "[XMP]", "[IPTC]", "[ICC_Profile]"})
        EXPECT_FALSE(all.contains(QLatin1String(group))) << group;
    EXPECT_EQ(QImage(Path(QStringLiteral("s.jpg"))).size(), QSize(90, 160));

    const Outcome info = Kximg({"info", "photo.jpg"});
    ASSERT_EQ(info.status, 0);
    for (const char* line : {"size: 90 x 160", "profile: 'Wide photo RGB", "orientation: 6", "XMP, IPTC"})
        EXPECT_TRUE(info.out.simplified().contains(QLatin1String(line))) << line << ": " << info.out.toStdString();
}

TEST_F(KximgMetadata, JpegSubsamplingFollowsQuality)
{
    const struct Case {
        QStringList extra;
        const char* expected;
    } cases[] = {{{}, "2 2"}, {{"--quality", "90"}, "1 1"}, {{"--quality", "95", "--subsampling", "422"}, "2 1"},
                 {{"--subsampling", "444"}, "1 1"}};
    for (const Case& c : cases) {
        ASSERT_EQ(Kximg(QStringList{"convert", "photo.jpg", "q.jpg"} + c.extra).status, 0);
        EXPECT_EQ(Tag(QStringLiteral("q.jpg"), "YCbCrSubSampling"), QLatin1String(c.expected)) << c.extra.join(' ').toStdString();
    }
    const Outcome bad = Kximg({"convert", "photo.jpg", "q.jpg", "--subsampling", "411"});
    EXPECT_EQ(bad.status, 2);
}

TEST_F(KximgMetadata, SixteenBitsStayThroughConvertAndOthersSaySo)
{
    QImage deep(70, 40, QImage::Format_RGBX64);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 70; ++x)
            deep.setPixelColor(x, y, QColor::fromRgba64(x * 900 + 1, y * 1500 + 2, 40000, 65535));
    ASSERT_TRUE(deep.save(Path(QStringLiteral("d.png"))));
    ASSERT_TRUE(deep.save(Path(QStringLiteral("d.tif"))));
    for (const char* in : {"d.png", "d.tif"}) {
        for (const char* via : {"", "rgba64"}) {
            QStringList arguments{"convert", QLatin1String(in), "o.png"};
            if (*via)
                arguments << "--via" << QLatin1String(via);
            const Outcome run = Kximg(arguments);
            ASSERT_EQ(run.status, 0) << run.err.toStdString();
            EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
            EXPECT_EQ(Tag(QStringLiteral("o.png"), "BitDepth"), QStringLiteral("16")) << in << " " << via;
            EXPECT_TRUE(QImage(Path(QStringLiteral("o.png"))).convertToFormat(QImage::Format_RGBX64) == deep) << in;
        }
        const Outcome reduced = Kximg({"invert", QLatin1String(in), "i.png"});
        ASSERT_EQ(reduced.status, 0);
        EXPECT_EQ(reduced.err.count(QLatin1Char('\n')), 1);
        EXPECT_TRUE(reduced.err.startsWith(QStringLiteral("kximg: warning: '%1': 16 bits").arg(QLatin1String(in))))
            << reduced.err.toStdString();
        EXPECT_TRUE(reduced.err.contains(QLatin1String("invert works on 8 bits"))) << reduced.err.toStdString();
    }
}

TEST_F(KximgMetadata, TruncatedInputWarnsOrFailsOnRequest)
{
    // Enough scan data that a cut lands in it, as a download cut short.
    QImage busy(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            busy.setPixel(x, y, qRgb((x * 37 + y * 11) & 255, (x * y) & 255, (x ^ y) & 255));
    ASSERT_TRUE(busy.save(Path(QStringLiteral("busy.jpg")), nullptr, 90));
    const QByteArray whole = Bytes(QStringLiteral("busy.jpg"));
    ASSERT_TRUE(Save(QStringLiteral("cut.jpg"), whole.left(whole.size() * 2 / 3)));
    const Outcome warned = Kximg({"convert", "cut.jpg", "w.png"});
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.err, QStringLiteral("kximg: warning: 'cut.jpg': the data ends early (truncated file)\n"));
    EXPECT_FALSE(QImage(Path(QStringLiteral("w.png"))).isNull());

    const QStringList before = Entries();
    const Outcome refused = Kximg({"convert", "cut.jpg", "r.png", "--fail-on-warning"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, QStringLiteral("kximg: cannot read 'cut.jpg': the data ends early (truncated file)\n"));
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(Kximg({"info", "cut.jpg", "--fail-on-warning"}).status, 2);
}

TEST_F(KximgMetadata, ScaleAloneSigmaAndBothSpellingsOfColour)
{
    ASSERT_EQ(Kximg({"transform", "photo.jpg", "half.png", "--scale", "0.5"}).status, 0);
    EXPECT_EQ(QImage(Path(QStringLiteral("half.png"))).size(), QSize(45, 80));
    EXPECT_EQ(Kximg({"transform", "photo.jpg", "x.png", "--scale", "0.5", "--matrix", "1,0,0,1,0,0"}).status, 2);
    // resize: by a factor, to a width (height from the aspect ratio, 160 *
    // 45 / 90 = 80), to a size; the metadata goes along.
    const struct Resize {
        QStringList arguments;
        QSize size;
    } resizes[] = {{{"--scale", "0.25"}, {23, 40}},
                   {{"--width", "45"}, {45, 80}},
                   {{"--size", "30x20", "--sampler", "nearest"}, {30, 20}}};
    for (const Resize& r : resizes) {
        const Outcome run = Kximg(QStringList{"resize", "photo.jpg", "r.jpg"} + r.arguments);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(QImage(Path(QStringLiteral("r.jpg"))).size(), r.size) << r.arguments.join(' ').toStdString();
        EXPECT_EQ(Profile(QStringLiteral("r.jpg")), m_icc);
        EXPECT_EQ(Tag(QStringLiteral("r.jpg"), "ExifImageWidth"), QString::number(r.size.width()));
    }
    EXPECT_EQ(Kximg({"resize", "photo.jpg", "r.jpg", "--scale", "0.5", "--width", "10"}).status, 2);
    for (const char* option : {"--colour", "--color"}) {
        const Outcome run = Kximg({"fill", "half.png", "f.png", "--at", "1,1", option, "#FF00FF00"});
        ASSERT_EQ(run.status, 0) << option << ": " << run.err.toStdString();
        EXPECT_EQ(QImage(Path(QStringLiteral("f.png"))).pixel(1, 1), 0xFF00FF00u) << option;
    }
    // sigma 4.5 is three boxes of radius 4 (sqrt(4 * 5) = 4.47 is nearest),
    // sigma 1 of radius 1 (sqrt(2) = 1.41 is nearer than 0).
    for (const auto& pair : {std::pair<const char*, const char*>{"4.5", "4"}, {"1", "1"}}) {
        ASSERT_EQ(Kximg({"blur", "photo.jpg", "s.png", "--gaussian", pair.first}).status, 0);
        ASSERT_EQ(Kximg({"blur", "photo.jpg", "b.png", "--gaussian-boxes", pair.second}).status, 0);
        EXPECT_EQ(Bytes(QStringLiteral("s.png")), Bytes(QStringLiteral("b.png"))) << pair.first;
    }
    ASSERT_EQ(Kximg({"blur", "photo.jpg", "b.png", "--gaussian-boxes", "3"}).status, 0);
    EXPECT_NE(Bytes(QStringLiteral("s.png")), Bytes(QStringLiteral("b.png")));
    const Outcome vignette =
        Kximg({"filter", "half.png", "v.png", "--name", "vignette", "--color", "#FF000000"});
    EXPECT_EQ(vignette.status, 0) << vignette.err.toStdString();
}

} // namespace
