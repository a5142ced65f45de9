// kximg on pictures that lie: truncated, bit-flipped and absurd-header PNG,
// JPEG, BMP, PPM and GIF files, and every input of the fuzz corpora, each
// under a 4 GB address-space cap. Every run ends within 20 s with status 0,
// 1 or 2; a failure says so in one line and leaves no output file.

#include "KXImgRun.h"

#include <QBuffer>
#include <QDirIterator>
#include <QImage>

#include <gtest/gtest.h>

namespace {

struct Input {
    QString name;
    QByteArray bytes;
};

QByteArray Encoded(const char* format)
{
    QImage image(37, 29, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 7, y * 9, (x ^ y) * 5, 255 - x));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes;
}

// Writes the `size` low bytes of `value` at `at`, most significant first
// when `big`.
void Put(QByteArray& bytes, int at, quint32 value, int size, bool big)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char((value >> (8 * (big ? size - 1 - i : i))) & 0xFF);
}

// A 1 x 1 GIF (Qt writes none): header, screen, two-colour table, one image.
QByteArray Gif(quint16 width, quint16 height)
{
    QByteArray gif = QByteArray::fromHex("474946383961" "0100" "0100" "800000" "ffffff000000"
                                         "2c" "00000000" "0100" "0100" "00" "02024401003b");
    Put(gif, 6, width, 2, false);
    Put(gif, 8, height, 2, false);
    Put(gif, 23, width, 2, false);
    Put(gif, 25, height, 2, false);
    return gif;
}

quint32 Crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The header claims width x height; the rest of the file is as encoded.
QByteArray Absurd(const QString& format, QByteArray bytes, quint32 width, quint32 height)
{
    if (format == QLatin1String("png")) { // IHDR fields, then its CRC made right again
        Put(bytes, 16, width, 4, true);
        Put(bytes, 20, height, 4, true);
        Put(bytes, 29, Crc32(bytes.mid(12, 17)), 4, true);
    } else if (format == QLatin1String("bmp")) {
        Put(bytes, 18, width, 4, false);
        Put(bytes, 22, height, 4, false);
    } else if (format == QLatin1String("jpg")) { // the frame header's lines and samples
        const int sof = bytes.indexOf(QByteArray::fromHex("ffc0"));
        Put(bytes, sof + 5, height, 2, true);
        Put(bytes, sof + 7, width, 2, true);
    } else if (format == QLatin1String("ppm")) {
        bytes = QStringLiteral("P6\n%1 %2\n255\n").arg(width).arg(height).toLatin1() + bytes.right(300);
    } else {
        bytes = Gif(quint16(width), quint16(height));
    }
    return bytes;
}

std::vector<Input> DamagedInputs()
{
    std::vector<Input> inputs;
    const QStringList formats{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("bmp"),
                              QStringLiteral("ppm"), QStringLiteral("gif")};
    for (const QString& format : formats) {
        const QByteArray good = format == QLatin1String("gif") ? Gif(1, 1) : Encoded(qPrintable(format));
        inputs.push_back({QStringLiteral("good.") + format, good});
        for (int cut : {1, 8, 30, good.size() / 2, good.size() - 1})
            inputs.push_back({QStringLiteral("cut%1.").arg(cut) + format, good.left(cut)});
        for (int bit : {3, 97, 131, 250, 411}) {
            QByteArray flipped = good;
            const int at = (bit * 7919) % flipped.size();
            flipped[at] = char(flipped[at] ^ (1 << (bit % 8)));
            inputs.push_back({QStringLiteral("flip%1.").arg(bit) + format, flipped});
        }
        // Past every tile block; past the blocks a 4 GB address space leaves;
        // and nonsense (0, or a negative 32-bit size). (A size within the
        // blocks is a big picture, not a damaged one: a JPEG decoder fills
        // what is missing, and the run takes as long as the picture needs.)
        inputs.push_back({QStringLiteral("huge.") + format, Absurd(format, good, 65000, 65000)});
        inputs.push_back({QStringLiteral("large.") + format, Absurd(format, good, 30000, 30000)});
        inputs.push_back({QStringLiteral("zero.") + format, Absurd(format, good, 0, 7)});
        inputs.push_back({QStringLiteral("negative.") + format, Absurd(format, good, 0x80000001u, 5)});
    }
    QDirIterator corpus(QStringLiteral(KXCORE_SOURCE_DIR "/fuzz/corpus"), QDir::Files, QDirIterator::Subdirectories);
    while (corpus.hasNext()) {
        QFile file(corpus.next());
        if (file.open(QIODevice::ReadOnly))
            inputs.push_back({QStringLiteral("corpus-") + corpus.fileName(), file.readAll()});
    }
    return inputs;
}

TEST(KximgDamagedFiles, EndCleanlyUnderAnAddressSpaceCap)
{
    const KximgDirectory dir;
    // 4 GB of address space for kximg, set by the shell it is run from.
    const QStringList capped{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                             QStringLiteral("ulimit -v 4194304 && exec \"$0\" \"$@\"")};
    const std::vector<Input> inputs = DamagedInputs();
    ASSERT_GT(inputs.size(), 60u);
    int succeeded = 0;
    for (const Input& input : inputs) {
        SCOPED_TRACE(qPrintable(input.name));
        ASSERT_TRUE(dir.Save(input.name, input.bytes));
        const QString out = input.name + QStringLiteral(".out.png");
        const Outcome run = RunKximg({QStringLiteral("convert"), input.name, out}, dir.Path(QString()),
                                     {QStringLiteral("TMPDIR=") + dir.Path(QString())}, 20000, capped);
        ASSERT_TRUE(run.status == 0 || run.status == 1 || run.status == 2) << "status " << run.status;
        if (run.status == 0) {
            ++succeeded;
            EXPECT_FALSE(QImage(dir.Path(out)).isNull());
        } else {
            EXPECT_FALSE(QFile::exists(dir.Path(out)));
            EXPECT_TRUE(run.err.startsWith(QLatin1String("kximg: ")) && run.err.count(QLatin1Char('\n')) == 1)
                << qPrintable(run.err);
        }
        EXPECT_TRUE(PageFiles(dir.Path(QString())).isEmpty()) << "a page file was left behind";
        QFile::remove(dir.Path(out));
        QFile::remove(dir.Path(input.name));
    }
    EXPECT_GE(succeeded, 5); // the good pictures at least
}

} // namespace
