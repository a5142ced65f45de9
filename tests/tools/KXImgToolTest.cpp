// The kximg tool as its users meet it: a bad command line or a file that
// cannot be read or written gives exit status 2, one line naming the problem
// and no output file (not even a temporary one); a good conversion keeps the
// pixels.

#include "KXImgRun.h"
#include "KXTestProfiles.h"
#include "KXTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QColorSpace>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

// 130 x 70 spans two tile columns; every alpha value appears, also with
// colour under alpha 0, which a premultiplying path would lose.
QImage TestPicture()
{
    QImage image(130, 70, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba((x * 7 + y) & 0xFF, (y * 5 + x * 3) & 0xFF, (x * y) & 0xFF,
                                       (x + y * image.width()) & 0xFF));
    return image;
}

// A PNG of a few dozen bytes whose header claims width x height pixels: the
// signature, IHDR (8-bit RGBA), one IDAT of a little compressed data, IEND.
QByteArray HeaderOnlyPng(quint32 width, quint32 height)
{
    const auto bigEndian = [](quint32 value) {
        const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
        return QByteArray(bytes, 4);
    };
    const auto chunk = [&](const char* type, const QByteArray& data) {
        const QByteArray body = QByteArray(type) + data;
        quint32 crc = 0xFFFFFFFFu; // CRC-32 of the type and data, as PNG wants
        for (const char byte : body) {
            crc ^= static_cast<quint8>(byte);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return bigEndian(static_cast<quint32>(data.size())) + body + bigEndian(~crc);
    };
    const QByteArray header = bigEndian(width) + bigEndian(height) + QByteArray("\x08\x06\x00\x00\x00", 5);
    // qCompress puts the length before the zlib stream.
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
           chunk("IDAT", qCompress(QByteArray(1000, '\0')).mid(4)) + chunk("IEND", QByteArray());
}

// An RGB profile Little CMS opens (header and tag directory are sound) but
// cannot build a transform from: its red colorant tag has an unknown type.
QByteArray DamagedProfile()
{
    QByteArray bytes = KXTestProfiles::WideRgbBytes(L"Damaged test RGB");
    const auto word = [&](int at) {
        return quint32(quint8(bytes[at])) << 24 | quint32(quint8(bytes[at + 1])) << 16 |
               quint32(quint8(bytes[at + 2])) << 8 | quint32(quint8(bytes[at + 3]));
    };
    const quint32 tags = bytes.size() >= 132 ? word(128) : 0;
    for (quint32 i = 0; i < tags; ++i) {
        const int entry = 132 + static_cast<int>(i) * 12;
        if (bytes.mid(entry, 4) == "rXYZ")
            bytes.replace(static_cast<int>(word(entry + 4)), 4, "XYZ!"); // the type was "XYZ "
    }
    return bytes;
}

class KximgTool : public testing::Test, public KximgDirectory {
protected:
    void SetUp() override { ASSERT_TRUE(TestPicture().save(Path(QStringLiteral("in.png")))); }
};

TEST_F(KximgTool, RefusesBadRequestsWithStatusTwoAndNoFile)
{
    const struct Case {
        const char* what;
        QStringList arguments;
        const char* message; // must appear in the one line on stderr
    } cases[] = {
        {"missing input", {"convert", "missing.png", "out.png"}, "cannot read 'missing.png': no such file"},
        {"input not an image", {"convert", "not-image.png", "out.png"}, "cannot read 'not-image.png'"},
        {"unknown output format", {"convert", "in.png", "out.xyz"}, "unknown image format 'xyz'"},
        {"no output suffix", {"convert", "in.png", "out"}, "cannot write 'out'"},
        {"output directory missing", {"convert", "in.png", "no-dir/out.png"}, "cannot write 'no-dir/out.png'"},
        {"bad --via value", {"convert", "in.png", "out.png", "--via", "lab"}, "bad value 'lab' for --via"},
        {"--via without value", {"convert", "in.png", "out.png", "--via"}, "--via needs a value"},
        {"unknown option", {"convert", "--fast", "in.png", "out.png"}, "unknown option '--fast'"},
        {"too few arguments", {"convert", "in.png"}, "missing arguments"},
        {"unknown command", {"frobnicate", "in.png"}, "unknown command 'frobnicate'"},
        {"demo into a file", {"demo", "--out", "in.png"}, "not a directory"},
        {"blend: bad position", {"blend", "in.png", "in.png", "out.png", "--at", "3"}, "bad value '3' for --at"},
        {"blend: position beyond any canvas", {"blend", "in.png", "in.png", "out.png", "--at", "2147483647,0"},
         "bad value '2147483647,0' for --at"},
        {"blend: unknown mode name", {"blend", "in.png", "in.png", "out.png", "--mode", "sideways"},
         "bad value 'sideways' for --mode"},
        {"blend: unlisted mode number", {"blend", "in.png", "in.png", "out.png", "--mode", "7"},
         "bad value '7' for --mode"},
        {"quality out of range", {"convert", "in.png", "out.jpg", "--quality", "101"},
         "bad value '101' for --quality (a whole number from 0 to 100)"},
        {"standard output without a format", {"convert", "in.png", "-"}, "give one with --format"},
        {"flag with a value", {"convert", "in.png", "out.png", "--strip=yes"}, "option --strip takes no value"},
        {"blend: missing mask", {"blend", "in.png", "in.png", "out.png", "--mask", "m.png"}, "cannot read 'm.png'"},
        {"mask: no kind", {"mask", "in.png", "out.png"}, "--kind is required"},
        {"mask: bad kind", {"mask", "in.png", "out.png", "--kind", "lum"}, "bad value 'lum' for --kind"},
        {"invert: bad channel", {"invert", "in.png", "out.png", "--channels", "rgx"}, "bad value 'rgx' for --channels"},
        {"adjust: no op", {"adjust", "in.png", "out.png"}, "adjust: --op is required"},
        {"adjust: not a number", {"adjust", "in.png", "out.png", "--op", "posterize", "--levels", "x"},
         "adjust: bad value 'x' for --levels (a whole number from 2 to 255)"},
        {"adjust: number out of range", {"adjust", "in.png", "out.png", "--op", "gamma", "--gamma", "6"},
         "bad value '6' for --gamma (a number from 0.01 to 5)"},
        {"adjust: reversed input range", {"adjust", "in.png", "out.png", "--op", "levels", "--input", "200,100"},
         "bad value '200,100' for --input"},
        {"adjust: curve not ascending", {"adjust", "in.png", "out.png", "--op", "curves", "--points", "0:0,0:255"},
         "bad value '0:0,0:255' for --points"},
        {"adjust: bad colour", {"adjust", "in.png", "out.png", "--op", "fill", "--colour", "nocolour"},
         "bad value 'nocolour' for --colour"},
        {"adjust: required parameter", {"adjust", "in.png", "out.png", "--op", "temperature"},
         "--op temperature needs --kelvin"},
        {"adjust: parameter of another op", {"adjust", "in.png", "out.png", "--op", "invert", "--gamma", "2"},
         "--gamma does not apply to --op invert"},
        {"filter: no name", {"filter", "in.png", "out.png"}, "filter: --name is required"},
        {"filter: another filter's option", {"filter", "in.png", "out.png", "--name", "box-blur", "--sigma", "2"},
         "--sigma does not apply to --name box-blur"},
        {"filter: empty rectangle", {"filter", "in.png", "out.png", "--name", "box-blur", "--rect", "0,0,0,5"},
         "bad value '0,0,0,5' for --rect"},
        {"filter: not a parameter file", {"filter", "in.png", "out.png", "--name", "box-blur", "--params", "in.png"},
         "cannot read 'in.png': not a parameter file of box-blur"},
        {"blur: no operator", {"blur", "in.png", "out.png"}, "give exactly one of --box, --gaussian, --gaussian-boxes and --convolve"},
        {"blur: ragged kernel", {"blur", "in.png", "out.png", "--convolve", "ragged.txt"},
         "bad kernel in 'ragged.txt': row 2 has 1 numbers, the first has 2"},
        {"histogram: bad chart format", {"histogram", "in.png", "--png", "chart.xyz"}, "unknown image format 'xyz'"},
        {"text: no text", {"text", "out.png", "--size", "20"}, "text: --text is required"},
        {"text: selection beyond the text", {"text", "out.png", "--text", "ab", "--select", "3,1"},
         "bad value '3,1' for --select"},
        {"icc: no --to", {"icc", "in.png", "out.png", "--from", "srgb"}, "icc: --to is required"},
        {"icc: missing profile", {"icc", "in.png", "out.png", "--from", "srgb", "--to", "p.icc"},
         "cannot read profile 'p.icc' for --to: no such file"},
        {"icc: not a profile", {"icc", "in.png", "out.png", "--from", "not-image.png", "--to", "srgb"},
         "cannot read profile 'not-image.png' for --from: not an ICC profile"},
        {"icc: nothing embedded", {"icc", "in.png", "out.png", "--from", "embedded", "--to", "srgb"},
         "carries no colour profile"},
        {"icc: profile without a transform", {"icc", "in.png", "out.png", "--from", "damaged.icc", "--to", "srgb"},
         "cannot build a transform from 'Damaged test RGB'"},
        // Refused from the header alone, before any decoding: a fresh tile
        // manager has 100,000 blocks of 64 KiB = 6250 MiB; 51200 x 32001
        // needs 400 x 251 tiles, one row more than the 400 x 250 that fit.
        {"one tile row too many", {"info", "edge.png"},
         "image too large: 51200 x 32001 needs 6275 MiB of tile memory, 6250 MiB available"},
    };
    ASSERT_TRUE(QFile(Path(QStringLiteral("not-image.png"))).open(QIODevice::WriteOnly));
    const auto save = [&](const char* name, const QByteArray& bytes) { return Save(QLatin1String(name), bytes); };
    ASSERT_TRUE(save("edge.png", HeaderOnlyPng(51200, 32001)));
    ASSERT_TRUE(save("damaged.icc", DamagedProfile()));
    ASSERT_TRUE(save("ragged.txt", "1 2\n3\n"));
    const QStringList before = Entries();
    for (const Case& c : cases) {
        // Every refusal comes at once; the timeout only guards against a hang.
        const Outcome run = Kximg(c.arguments);
        EXPECT_EQ(run.status, 2) << c.what;
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("kximg: "))) << c.what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.message))) << c.what << ": " << run.err.toStdString();
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << c.what << ": " << run.err.toStdString();
        // No output, no temporary file beside it.
        EXPECT_EQ(Entries(), before) << c.what;
    }
}

TEST_F(KximgTool, FailedConversionKeepsTheExistingTarget)
{
    ASSERT_TRUE(QFile::copy(Path(QStringLiteral("in.png")), Path(QStringLiteral("out.png"))));
    const QImage before(Path(QStringLiteral("out.png")));
    EXPECT_EQ(Kximg({"convert", "missing.png", "out.png"}).status, 2);
    EXPECT_EQ(QImage(Path(QStringLiteral("out.png"))), before);
}

// The image `in` with `rule` applied to every pixel.
QImage Map(const QImage& in, const std::function<QRgb(QRgb)>& rule)
{
    QImage out = in.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, rule(out.pixel(x, y)));
    return out;
}

int LargestChannelDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int shift : {0, 8, 16, 24})
                largest = std::max(largest, std::abs(int((a.pixel(x, y) >> shift) & 0xFF) -
                                                     int((b.pixel(x, y) >> shift) & 0xFF)));
    return largest;
}

QRgb Grey(int level, int alpha = 255)
{
    return qRgba(level, level, level, alpha);
}

// Every command once on a small picture, each result against an expectation
// that does not go through the library: Qt's own operations, or a rule per
// pixel worked out by hand.
TEST_F(KximgTool, EveryCommandOnceOnASmallPicture)
{
    const QImage in = TestPicture();
    QImage layer(40, 30, QImage::Format_ARGB32);
    layer.fill(qRgba(10, 200, 30, 255));
    ASSERT_TRUE(layer.save(Path(QStringLiteral("layer.png"))));
    QImage flat(130, 70, QImage::Format_ARGB32);
    flat.fill(qRgba(10, 200, 128, 255));
    ASSERT_TRUE(flat.save(Path(QStringLiteral("flat.png"))));
    QImage holes = flat.copy(); // a 3 x 3 hole in one colour fills with that colour
    for (int i = 0; i < 9; ++i)
        holes.setPixel(20 + i % 3, 20 + i / 3, 0u);
    ASSERT_TRUE(holes.save(Path(QStringLiteral("holes.png"))));
    QImage opaque(130, 70, QImage::Format_ARGB32);
    for (int y = 0; y < opaque.height(); ++y)
        for (int x = 0; x < opaque.width(); ++x)
            opaque.setPixel(x, y, qRgb((x * 2) & 0xFF, (y * 3 + x) & 0xFF, (255 - x) & 0xFF));
    ASSERT_TRUE(opaque.save(Path(QStringLiteral("opaque.png"))));

    const auto qtInverted = [](QImage image, QImage::InvertMode mode) {
        image.invertPixels(mode);
        return image;
    };
    const auto bySRgbToP3 = [](QImage image) {
        image.setColorSpace(QColorSpace(QColorSpace::SRgb));
        image.convertToColorSpace(QColorSpace(QColorSpace::DisplayP3));
        return image.convertToFormat(QImage::Format_ARGB32);
    };
    QImage blended = in;
    for (int y = 50; y < 70; ++y) // an opaque layer in Normal mode replaces the base where it lies
        for (int x = 100; x < 130; ++x)
            blended.setPixel(x, y, qRgba(10, 200, 30, 255));

    const struct Case {
        QStringList arguments;
        QString output;    // the image written, empty when none
        QImage expected;   // what it must hold, within `tolerance` per channel
        int tolerance;
        QStringList lines; // what stdout must contain, runs of spaces as one
    } cases[] = {
        {{"convert", "in.png", "plain.png"}, "plain.png", in, 0, {}},
        // Half floats: c or one below (3 becomes 2, checked below).
        {{"convert", "in.png", "half.png", "--via", "half"}, "half.png", in, 1, {}},
        {{"blend", "in.png", "layer.png", "blend.png", "--at=100,50"}, "blend.png", blended, 0, {}},
        // Luminance (11 R + 16 G + 5 B) / 32, shown as an opaque grey.
        {{"mask", "in.png", "grey.png", "--kind", "luminance", "--grey"}, "grey.png",
         Map(in, [](QRgb p) { return Grey((11 * qRed(p) + 16 * qGreen(p) + 5 * qBlue(p)) >> 5); }), 0, {}},
        {{"inpaint", "holes.png", "filled.png"}, "filled.png", flat, 0, {}},
        {{"inpaint", "holes.png", "filled-tiled.png", "--iterative"}, "filled-tiled.png", flat, 0, {}},
        {{"invert", "in.png", "inverted.png", "--channels", "rgba"}, "inverted.png",
         qtInverted(in, QImage::InvertRgba), 0, {}},
        // Two levels: steps of 127.5, so 0..127 -> 0 and 128..255 -> 255.
        {{"adjust", "in.png", "poster.png", "--op", "posterize", "--levels", "2"}, "poster.png",
         Map(in,
             [](QRgb p) {
                 const auto level = [](int c) { return c < 128 ? 0 : 255; };
                 return qRgba(level(qRed(p)), level(qGreen(p)), level(qBlue(p)), qAlpha(p));
             }),
         0, {}},
        // One colour: every statistic by hand. All counts at one level give
        // the thresholds level -/+ 8 (the range is at least 16 wide); the
        // luminance of (10, 200, 128) is (110 + 3200 + 640) / 32 = 123.
        {{"histogram", "flat.png"}, {}, {}, 0,
         {"red 10 10 10.00 10 2 18", "green 200 200 200.00 200 192 208", "alpha 255 255 255.00 255 239 255",
          "luminance 123 123 123.00 123 115 131", "pixels: 9100 (130 x 70), 0 transparent, 9100 opaque"}},
        {{"histogram", "in.png", "--png", "chart.png"}, {}, {}, 0, {"pixels: 9100 (130 x 70)"}},
        // Darkening: t = c * c / 255, so 128 becomes 64 and 255 stays.
        {{"autowb", "flat.png", "darker.png", "--function", "over"}, "darker.png",
         Map(flat, [](QRgb) { return qRgba(10 * 10 / 255, 200 * 200 / 255, 64, 255); }), 0, {}},
        // The same description on both sides: no transform, a note on stdout.
        {{"icc", "in.png", "same.png", "--from", "srgb", "--to", "srgb"}, "same.png", in, 0, {"unchanged"}},
        // Little CMS against Qt's colour transform, on opaque pixels.
        {{"icc", "opaque.png", "p3.png", "--from", "srgb", "--to", "display-p3"}, "p3.png", bySRgbToP3(opaque), 2, {}},
        // 130 x 70 working image: 2 x 1 tiles of 128 x 128, each one block.
        {{"info", "in.png"}, {}, {}, 0, {"size: 130 x 70", "tiles: 2 x 1 (2 tiles", "blocks: 2 ", "alpha: yes"}},
        {{"--version"}, {}, {}, 0, {"kximg " KXIMG_VERSION}},
        {{"adjust", "--help"}, {}, {}, 0, {"Usage: kximg adjust IN OUT --op NAME", "--levels 2..255 [4]"}},
    };
    for (const Case& c : cases) {
        const std::string what = c.arguments.join(' ').toStdString();
        const Outcome run = Kximg(c.arguments);
        ASSERT_EQ(run.status, 0) << what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << what << ": " << run.err.toStdString(); // the library's log stays hidden
        for (const QString& line : c.lines)
            EXPECT_TRUE(run.out.simplified().contains(line)) << what << ": " << run.out.toStdString();
        if (c.output.isEmpty())
            continue;
        const QImage out = QImage(Path(c.output)).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(out.size(), c.expected.size()) << what;
        if (c.tolerance == 0)
            EXPECT_TRUE(out == c.expected.convertToFormat(QImage::Format_ARGB32)) << what;
        else
            EXPECT_LE(LargestChannelDifference(out, c.expected), c.tolerance) << what;
    }
    EXPECT_EQ(qRed(QImage(Path(QStringLiteral("half.png"))).pixel(0, 3)), 2) << "3 -> 3.0215 -> 2.99 -> 2";
    const QImage chart(Path(QStringLiteral("chart.png")));
    EXPECT_GE(chart.width(), 256) << "one column per level at least";
    EXPECT_TRUE(QImage(Path(QStringLiteral("p3.png"))).colorSpace() == QColorSpace(QColorSpace::DisplayP3))
        << "OUT carries its profile";
}

} // namespace
