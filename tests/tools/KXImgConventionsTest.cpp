// kximg as people at a terminal expect it: a picture's colour profile and
// EXIF orientation survive, standard streams, the formats' own settings,
// warnings that do not stop a run, a progress bar, the demo on the user's
// own picture, and a README that lists every command.

#include "KXImgRun.h"
#include "KXTestProfiles.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

class KximgConventions : public testing::Test, public KximgDirectory {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Picture(130, 70, true).save(Path(QStringLiteral("in.png"))));
        ASSERT_TRUE(Picture(130, 70, false).save(Path(QStringLiteral("opaque.png"))));
    }

    // A red top-left quarter on blue, with a transparent band at the bottom
    // when asked for.
    static QImage Picture(int width, int height, bool transparent)
    {
        QImage image(width, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgba(x < width / 2 && y < height / 2 ? 230 : 20, (x * 3) & 0xFF, 200,
                                           transparent && y >= height - 4 ? 0 : 255));
        return image;
    }
};

// A JPEG whose EXIF orientation (6) says: turn 90 degrees clockwise to show.
QByteArray JpegTurnedClockwise(const QImage& image)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_RGB32).save(&buffer, "jpg", 95);
    // Big-endian TIFF header, one IFD entry: tag 0x0112 (orientation),
    // type SHORT, count 1, value 6; no next IFD.
    const QByteArray tiff = QByteArray::fromHex("4d4d002a00000008" "0001" "011200030000000100060000" "00000000");
    const QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment = QByteArray::fromHex("ffe1") + QByteArray(2, '\0') + app1;
    qToBigEndian<quint16>(static_cast<quint16>(app1.size() + 2), segment.data() + 2);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

TEST_F(KximgConventions, ProfileDepthAndOrientationTravelWithThePicture)
{
    QImage wide = Picture(130, 70, false);
    wide.setColorSpace(QColorSpace(QColorSpace::ProPhotoRgb));
    ASSERT_TRUE(wide.save(Path(QStringLiteral("wide.png"))));
    ASSERT_TRUE(Picture(20, 10, false).convertToFormat(QImage::Format_RGBA64).save(Path(QStringLiteral("deep.png"))));
    ASSERT_TRUE(Save(QStringLiteral("turned.jpg"), JpegTurnedClockwise(Picture(130, 70, false))));

    const struct Case {
        QStringList arguments;
        QString output;
        QSize size;      // of the output
        bool keepsWide;  // the output carries the ProPhoto profile
    } cases[] = {
        {{"convert", "wide.png", "a.jpg"}, "a.jpg", {130, 70}, true},
        {{"invert", "wide.png", "b.png"}, "b.png", {130, 70}, true},
        {{"convert", "wide.png", "e.png", "--strip"}, "e.png", {130, 70}, false},
        {{"convert", "turned.jpg", "f.png"}, "f.png", {70, 130}, false},
        {{"convert", "turned.jpg", "g.png", "--no-rotate"}, "g.png", {130, 70}, false},
    };
    for (const Case& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        const Outcome run = Kximg(c.arguments);
        ASSERT_EQ(run.status, 0) << what << ": " << run.err.toStdString();
        const QImage out(Path(c.output));
        EXPECT_EQ(out.size(), c.size) << what;
        EXPECT_EQ(out.colorSpace() == QColorSpace(QColorSpace::ProPhotoRgb), c.keepsWide) << what;
    }
    // Turned clockwise, the red top-left quarter is now top-right.
    const QImage turned(Path(QStringLiteral("f.png")));
    EXPECT_GT(qRed(turned.pixel(65, 5)), 180);
    EXPECT_LT(qRed(turned.pixel(5, 5)), 80);

    const struct Info {
        const char* file;
        QStringList lines;
    } infos[] = {
        {"wide.png", {"profile: 'ProPhoto RGB' (RGB)", "exif: no", "depth: 8 bits per channel"}},
        {"deep.png", {"depth: 16 bits per channel", "profile: none"}},
        {"turned.jpg", {"size: 70 x 130", "exif: yes", "alpha: no"}},
    };
    for (const Info& info : infos) {
        const Outcome run = Kximg({"info", info.file});
        ASSERT_EQ(run.status, 0) << info.file;
        for (const QString& line : info.lines)
            EXPECT_TRUE(run.out.simplified().contains(line)) << info.file << ": " << run.out.toStdString();
    }
}

TEST_F(KximgConventions, StreamsFormatSettingsAndWarnings)
{
    QImage layer(40, 30, QImage::Format_ARGB32);
    layer.fill(qRgba(10, 200, 30, 160));
    ASSERT_TRUE(layer.save(Path(QStringLiteral("layer.png"))));
    // Two profiles with one description, differing in their creation time.
    QByteArray twin = KXTestProfiles::WideRgbBytes(L"Twin RGB");
    ASSERT_TRUE(Save(QStringLiteral("a.icc"), twin));
    twin[35] = static_cast<char>(twin[35] ^ 1);
    ASSERT_TRUE(Save(QStringLiteral("b.icc"), twin));

    const struct Case {
        QStringList arguments;
        const char* warning; // the one line on stderr; none when empty
    } cases[] = {
        {{"convert", "in.png", "t.jpg"}, "jpg keeps no transparency"},
        {{"convert", "--strip", "--", "in.png", "after-dashes.png"}, ""},
        {{"convert", "opaque.png", "q10.jpg", "--quality", "10"}, ""},
        {{"convert", "opaque.png", "q95.jpg", "--quality=95"}, ""},
        {{"convert", "opaque.png", "c0.png", "--compression", "0"}, ""},
        {{"convert", "opaque.png", "c9.png", "--compression", "9"}, ""},
        {{"blend", "in.png", "layer.png", "by-name.png", "--mode", "color-burn"}, ""},
        {{"blend", "in.png", "layer.png", "by-number.png", "--mode", "19"}, ""},
        {{"blend", "in.png", "layer.png", "off.png", "--at", "500,0"}, "misses the base"},
        {{"icc", "opaque.png", "same.png", "--from", "a.icc", "--to", "b.icc"}, "both described as 'Twin RGB'"},
    };
    for (const Case& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        const Outcome run = Kximg(c.arguments);
        EXPECT_EQ(run.status, 0) << what << ": " << run.err.toStdString();
        if (*c.warning) {
            EXPECT_TRUE(run.err.startsWith(QStringLiteral("kximg: warning: "))) << what << ": " << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(QLatin1String(c.warning))) << what << ": " << run.err.toStdString();
            EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << what;
        } else {
            EXPECT_TRUE(run.err.isEmpty()) << what << ": " << run.err.toStdString();
        }
    }
    // Opaque pictures are written without alpha: compared as ARGB32.
    const auto argb = [&](const char* name) {
        return QImage(Path(QLatin1String(name))).convertToFormat(QImage::Format_ARGB32);
    };
    const QImage opaque = argb("opaque.png");
    EXPECT_FALSE(QImage(Path(QStringLiteral("c0.png"))).hasAlphaChannel());
    EXPECT_LT(Bytes(QStringLiteral("q10.jpg")).size(), Bytes(QStringLiteral("q95.jpg")).size());
    EXPECT_GT(Bytes(QStringLiteral("c0.png")).size(), Bytes(QStringLiteral("c9.png")).size());
    EXPECT_TRUE(argb("c0.png") == opaque);
    EXPECT_TRUE(argb("c9.png") == opaque);
    EXPECT_EQ(Bytes(QStringLiteral("by-name.png")), Bytes(QStringLiteral("by-number.png")));
    EXPECT_TRUE(QImage(Path(QStringLiteral("off.png"))) == QImage(Path(QStringLiteral("in.png"))));
    EXPECT_TRUE(argb("same.png") == opaque) << "the same profile: pixels copied";

    // Standard input to standard output, the format named.
    const Outcome piped = Kximg({"convert", "-", "-", "--format", "png"}, {},
                                {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                 QStringLiteral("exec \"$0\" \"$@\" < in.png > piped.png")});
    ASSERT_EQ(piped.status, 0) << piped.err.toStdString();
    EXPECT_TRUE(QImage(Path(QStringLiteral("piped.png"))) == QImage(Path(QStringLiteral("in.png"))));

    // The bar, forced on without a terminal, names each step.
    const Outcome bar = Kximg({"invert", "opaque.png", "inverted.png"}, {QStringLiteral("KXIMG_PROGRESS=1")});
    ASSERT_EQ(bar.status, 0);
    for (const char* step : {"invert: read [", "invert: invert [", "invert: write ["})
        EXPECT_TRUE(bar.err.contains(QLatin1String(step))) << step << ": " << bar.err.toStdString();
}

// The filters and operators from the command line: presets are files that
// reproduce a run, an area leaves the rest alone, growth makes room for the
// blur, and the operators keep their documented properties.
TEST_F(KximgConventions, FiltersAndOperators)
{
    ASSERT_TRUE(Save(QStringLiteral("one.txt"), "# a single tap\n1\n"));
    const QStringList runs[] = {
        {"filter", "in.png", "g1.png", "--name", "gaussian-blur", "--sigma", "2", "--save-params", "g.preset"},
        {"filter", "in.png", "g2.png", "--name", "gaussian-blur", "--params", "g.preset"},
        {"filter", "in.png", "area.png", "--name", "box-blur", "--radius", "4", "--rect", "10,20,30,15"},
        {"filter", "in.png", "grown.png", "--name", "box-blur", "--radius", "3", "--grow"},
        {"filter", "in.png", "shadow.png", "--name", "drop-shadow", "--size", "3", "--save-params", "s.preset"},
        {"filter", "in.png", "shadow2.png", "--name", "drop-shadow", "--params", "s.preset"},
        {"filter", "in.png", "inner.png", "--name", "inner-shadow", "--size", "0", "--shadow-colour", "red"},
        {"filter", "in.png", "refined.png", "--name", "refine-selection", "--feather", "2", "--shift", "3"},
        {"filter", "in.png", "sharp.png", "--name", "sharpen", "--strength", "40"},
        {"filter", "in.png", "smooth.png", "--name", "smoothen", "--rect", "10,20,30,15"},
        {"filter", "in.png", "hp.png", "--name", "high-pass", "--sigma", "3", "--mode", "soft-light", "--amount", "60"},
        {"filter", "in.png", "noise.png", "--name", "add-noise", "--distribution", "gaussian", "--compose-alpha"},
        {"filter", "in.png", "glow.png", "--name", "diffuse-glow", "--colour", "orange", "--behind"},
        {"filter", "in.png", "v.png", "--name", "vignette", "--reach", "20", "--curve", "linear", "--save-params", "v.preset"},
        {"blur", "in.png", "box0.png", "--box", "0"},
        {"blur", "in.png", "tap.png", "--convolve", "one.txt"},
    };
    for (const QStringList& arguments : runs) {
        const Outcome run = Kximg(arguments);
        ASSERT_EQ(run.status, 0) << arguments.join(' ').toStdString() << ": " << run.err.toStdString();
    }
    // "VQGaussianBlur 1.00000", then 2.0 as a big-endian double.
    EXPECT_EQ(Bytes(QStringLiteral("g.preset")), QByteArray("VQGaussianBlur 1.00000") + QByteArray::fromHex("4000000000000000"));
    // Reach 20, amount 100, curve 0, then the colour (black) in Qt's format.
    EXPECT_TRUE(Bytes(QStringLiteral("v.preset")).startsWith(QByteArray("VQVignette 1.00001") +
                                                               QByteArray::fromHex("000000140000006400000000")));
    EXPECT_TRUE(QImage(Path(QStringLiteral("g1.png"))) == QImage(Path(QStringLiteral("g2.png"))));
    const QImage in = QImage(Path(QStringLiteral("in.png"))).convertToFormat(QImage::Format_ARGB32);
    const QImage area = QImage(Path(QStringLiteral("area.png"))).convertToFormat(QImage::Format_ARGB32);
    const QRect rect(10, 20, 30, 15);
    int changedInside = 0, changedOutside = 0;
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x)
            (rect.contains(x, y) ? changedInside : changedOutside) += in.pixel(x, y) != area.pixel(x, y);
    EXPECT_EQ(changedOutside, 0);
    EXPECT_GT(changedInside, 0);
    EXPECT_EQ(QImage(Path(QStringLiteral("grown.png"))).size(), QSize(136, 76)) << "3 pixels more on every side";
    EXPECT_EQ(QImage(Path(QStringLiteral("shadow.png"))).size(), QSize(384, 256)) << "tiles -1 … 1 by -1 … 0";
    EXPECT_TRUE(QImage(Path(QStringLiteral("shadow.png"))) == QImage(Path(QStringLiteral("shadow2.png"))));
    EXPECT_EQ(QImage(Path(QStringLiteral("inner.png"))).pixel(0, 0) & 0xFFFFFF, 0xFF0000u) << "the shadow colour";
    EXPECT_EQ(qAlpha(QImage(Path(QStringLiteral("shadow.png"))).pixel(128 + 65, 128 + 35)), 255)
        << "the whole layer casts the shadow";
    EXPECT_EQ(QImage(Path(QStringLiteral("refined.png"))).size(), QSize(136, 76)) << "grown by the shift";
    EXPECT_TRUE(QImage(Path(QStringLiteral("box0.png"))).convertToFormat(QImage::Format_ARGB32) == in)
        << "radius 0 changes nothing";
    // A single tap of 1 copies every pixel, except that transparent ones
    // become 0 in every byte.
    QImage copied = in;
    for (int y = 0; y < copied.height(); ++y)
        for (int x = 0; x < copied.width(); ++x)
            if (qAlpha(copied.pixel(x, y)) == 0)
                copied.setPixel(x, y, 0);
    EXPECT_TRUE(QImage(Path(QStringLiteral("tap.png"))).convertToFormat(QImage::Format_ARGB32) == copied);
}

// Text on a canvas of its own and on a picture: the canvas has the asked
// size and background, and the text is drawn in its colour.
TEST_F(KximgConventions, TextOnACanvasAndOnAPicture)
{
    const Outcome canvas = Kximg({"text", "t.png", "--text", "Hi", "--size", "40", "--canvas", "200,100", "--background",
                                  "white", "--colour", "#0000ff", "--bend", "50", "--aliased"});
    ASSERT_EQ(canvas.status, 0) << canvas.err.toStdString();
    const QImage drawn = QImage(Path(QStringLiteral("t.png"))).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(drawn.size(), QSize(200, 100));
    int blue = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            blue += drawn.pixel(x, y) == 0xFF0000FFu;
    EXPECT_EQ(drawn.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_GT(blue, 100);
    const Outcome picture = Kximg({"text", "on.png", "--input", "opaque.png", "--text", "A", "--at", "10,10"});
    ASSERT_EQ(picture.status, 0) << picture.err.toStdString();
    EXPECT_EQ(QImage(Path(QStringLiteral("on.png"))).size(), QSize(130, 70));
}

// A quarter turn with the nearest sampler moves pixel (x, y) of an h rows
// high picture to (h - 1 - y, x) exactly; a 2x view shows 2 x 2 blocks.
TEST_F(KximgConventions, TransformAndView)
{
    const Outcome turned = Kximg({"transform", "in.png", "turned.png", "--rotate", "90", "--sampler", "nearest"});
    ASSERT_EQ(turned.status, 0) << turned.err.toStdString();
    const Outcome view = Kximg({"view", "in.png", "view.png", "--scale", "2", "--offset", "0,0"});
    ASSERT_EQ(view.status, 0) << view.err.toStdString();
    const QImage in = QImage(Path(QStringLiteral("in.png"))).convertToFormat(QImage::Format_ARGB32);
    const QImage out = QImage(Path(QStringLiteral("turned.png"))).convertToFormat(QImage::Format_ARGB32);
    const QImage zoomed = QImage(Path(QStringLiteral("view.png"))).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(out.size(), in.size().transposed());
    ASSERT_EQ(zoomed.size(), in.size() * 2);
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x) {
            ASSERT_EQ(out.pixel(in.height() - 1 - y, x), in.pixel(x, y)) << x << "," << y;
            ASSERT_EQ(zoomed.pixel(2 * x + 1, 2 * y + 1), in.pixel(x, y)) << x << "," << y;
        }
}

// The paint bucket from the command line: the top-left quarter's first
// column has one colour down to row 34, and nothing beside it matches.
TEST_F(KximgConventions, FillPaintsTheSeedsRun)
{
    const Outcome run = Kximg({"fill", "in.png", "bucket.png", "--at", "0,3", "--color", "#FF00FF00"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QImage out(Path(QStringLiteral("bucket.png")));
    EXPECT_EQ(out.pixel(0, 0), qRgba(0, 255, 0, 255));
    EXPECT_EQ(out.pixel(0, 34), qRgba(0, 255, 0, 255));
    EXPECT_EQ(out.pixel(0, 35), qRgba(20, 0, 200, 255));
    EXPECT_EQ(out.pixel(1, 0), qRgba(230, 3, 200, 255));
}

// The gallery once, on a picture of the user's that is larger than the
// pages take: every result as a PNG, the contact sheet and the page; the
// sheet's path is the last line.
TEST_F(KximgConventions, DemoRunsOnTheUsersPicture)
{
    ASSERT_TRUE(Picture(2400, 1000, false).save(Path(QStringLiteral("photo.png"))));
    const QString out = Path(QStringLiteral("gallery"));
    const Outcome run = Kximg({"demo", "--out", out, "--input", "photo.png"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QDir dir(out);
    const QString sheet = dir.absoluteFilePath(QStringLiteral("contact-sheet.png"));
    const QString last = run.out.trimmed().split(QLatin1Char('\n')).last();
    EXPECT_EQ(QFileInfo(last).canonicalFilePath(), QFileInfo(sheet).canonicalFilePath()) << last.toStdString();

    // At most 2 megapixels, the shape kept, the red quarter where it was.
    const QImage sample(dir.filePath(QStringLiteral("sample.png")));
    EXPECT_LE(static_cast<long long>(sample.width()) * sample.height(), 2000000);
    EXPECT_GE(static_cast<long long>(sample.width()) * sample.height(), 1990000);
    EXPECT_NEAR(static_cast<double>(sample.width()) / sample.height(), 2.4, 0.01);
    EXPECT_GT(qRed(sample.pixel(10, 10)), 200);

    QFile page(dir.filePath(QStringLiteral("index.html")));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    const QStringList pngs = dir.entryList({QStringLiteral("*.png")}, QDir::Files);
    EXPECT_GE(pngs.size(), 15) << pngs.join(' ').toStdString();
    for (const QString& png : pngs) {
        EXPECT_FALSE(QImage(dir.filePath(png)).isNull()) << png.toStdString();
        EXPECT_TRUE(png == QLatin1String("contact-sheet.png") || html.contains(png))
            << png.toStdString() << " is not on the page";
    }
}

// `kximg --help` and the README list the same commands.
TEST(KximgReadme, ListsEveryCommandOfTheHelp)
{
    const Outcome help = RunKximg({QStringLiteral("--help")}, QDir::currentPath());
    ASSERT_EQ(help.status, 0);
    const QString commands = help.out.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
    QSet<QString> inHelp;
    for (const QString& line : commands.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        inHelp << line.simplified().section(QLatin1Char(' '), 0, 0);
    EXPECT_GE(inHelp.size(), 10);

    QFile readme(QStringLiteral(KXCORE_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    QSet<QString> inReadme;
    const QRegularExpression heading(QStringLiteral("^### kximg (\\S+)$"), QRegularExpression::MultilineOption);
    for (auto it = heading.globalMatch(QString::fromUtf8(readme.readAll())); it.hasNext();)
        inReadme << it.next().captured(1);
    QStringList helpList = inHelp.values(), readmeList = inReadme.values();
    helpList.sort();
    readmeList.sort();
    EXPECT_EQ(helpList.join(' ').toStdString(), readmeList.join(' ').toStdString());
}

} // namespace
