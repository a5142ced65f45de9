// kximg at the edges of what it accepts: parameter files held to the
// options' ranges, rectangles beyond the picture, kernel and profile files
// refused by their size before they are read, a write to a full device said
// as such, and temporary files of killed runs cleaned up.

#include "KXImgRun.h"

#include "KXFilterParams.h"

#include <QDataStream>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

template <class Params>
QByteArray Written(const Params& params)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    params.Write(stream);
    return bytes;
}

class KximgLimits : public testing::Test, public KximgDirectory {
protected:
    void SetUp() override
    {
        QImage picture(40, 30, QImage::Format_ARGB32);
        picture.fill(qRgba(200, 100, 50, 255));
        ASSERT_TRUE(picture.save(Path(QStringLiteral("in.png"))));
    }
};

// Refused at once with status 2, the option's message on one line and no
// file written.
TEST_F(KximgLimits, RefusesValuesBeyondTheOptionsRanges)
{
    const auto gaussian = [](double sigma) {
        KXGaussianBlurParams params;
        params.sigma = sigma;
        return Written(params);
    };
    const auto shadow = [](int size) {
        KXDropShadowParams params;
        params.size = size;
        return Written(params);
    };
    ASSERT_TRUE(Save(QStringLiteral("nan.params"), gaussian(std::numeric_limits<double>::quiet_NaN())));
    ASSERT_TRUE(Save(QStringLiteral("negative.params"), gaussian(-5)));
    ASSERT_TRUE(Save(QStringLiteral("huge.params"), gaussian(300000)));
    ASSERT_TRUE(Save(QStringLiteral("shadow.params"), shadow(-7)));
    ASSERT_TRUE(Save(QStringLiteral("shadow-big.params"), shadow(100000)));
    // Sparse files: refused by their size, never read.
    for (const auto& [name, size] : {std::pair<const char*, qint64>{"big.txt", 2 << 20}, {"big.icc", 70 << 20}}) {
        QFile file(Path(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(size));
    }
    const struct Case {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{"filter", "in.png", "o.png", "--name", "gaussian-blur", "--params", "nan.params"},
         "bad value 'nan' for --sigma (a number from 0.1 to 300)"},
        {{"filter", "in.png", "o.png", "--name", "gaussian-blur", "--params", "negative.params"},
         "bad value '-5' for --sigma (a number from 0.1 to 300)"},
        {{"filter", "in.png", "o.png", "--name", "gaussian-blur", "--params", "huge.params"},
         "bad value '300000' for --sigma (a number from 0.1 to 300)"},
        {{"filter", "in.png", "o.png", "--name", "drop-shadow", "--params", "shadow.params"},
         "bad value '-7' for --size (a whole number from 0 to 1000)"},
        {{"filter", "in.png", "o.png", "--name", "drop-shadow", "--params", "shadow-big.params"},
         "bad value '100000' for --size (a whole number from 0 to 1000)"},
        {{"filter", "in.png", "o.png", "--name", "add-noise", "--rect", "30000,0,30000,30000"},
         "bad value '30000,0,30000,30000' for --rect (X,Y,W,H overlapping the 40 x 30 picture)"},
        {{"blur", "in.png", "o.png", "--convolve", "big.txt"},
         "bad kernel in 'big.txt': the file is larger than 1 MB"},
        {{"icc", "in.png", "o.png", "--from", "big.icc", "--to", "srgb"},
         "cannot read profile 'big.icc' for --from: larger than 64 MB"},
        {{"icc", "in.png", "o.png", "--from", "/dev/zero", "--to", "srgb"},
         "cannot read profile '/dev/zero' for --from: not an ICC profile"},
    };
    const QStringList before = Entries();
    for (const Case& c : cases) {
        const Outcome run = Kximg(c.arguments);
        const std::string what = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.status, 2) << what;
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.message))) << what << ": " << run.err.toStdString();
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << what << ": " << run.err.toStdString();
        EXPECT_EQ(Entries(), before) << what;
    }
}

// A rectangle that reaches past the picture is cut to it: the same result
// as the rectangle inside.
TEST_F(KximgLimits, RectanglesAreCutToThePicture)
{
    ASSERT_EQ(Kximg({"filter", "in.png", "a.png", "--name", "box-blur", "--rect", "10,5,30,25"}).status, 0);
    ASSERT_EQ(Kximg({"filter", "in.png", "b.png", "--name", "box-blur", "--rect", "10,5,900000,900000"}).status, 0);
    EXPECT_EQ(QImage(Path(QStringLiteral("a.png"))), QImage(Path(QStringLiteral("b.png"))));
}

// Standard output on a full device: the device's error, not a closed stream.
TEST_F(KximgLimits, FullDeviceIsSaidAsSuch)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    const Outcome run = Kximg({"convert", "in.png", "-", "--format", "png"}, {},
                              {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                               QStringLiteral("exec \"$@\" >/dev/full"), QStringLiteral("sh")});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot write '-': no space left on device"))) << run.err.toStdString();
}

// A picture whose command would hold more than the memory there is is
// refused from its header, before a pixel is decoded, with the sizes in the
// message; one that fits runs. 1000 x 700 takes 8 x 6 tiles of 64 KiB: the
// input's and the result's tiles (6 MiB) are the most held at once, more
// than the decoded picture (2.67 MiB) beside either. `info` decodes nothing
// and is never refused.
TEST_F(KximgLimits, PicturesBeyondTheMemoryAreRefusedUpFront)
{
    QImage picture(1000, 700, QImage::Format_ARGB32);
    picture.fill(qRgba(20, 140, 90, 200));
    ASSERT_TRUE(picture.save(Path(QStringLiteral("large.png"))));
    const QStringList before = Entries();
    const Outcome refused =
        Kximg({"filter", "large.png", "out.png", "--name", "box-blur"}, {QStringLiteral("KXIMG_MEMORY_MIB=5")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err,
              QStringLiteral("kximg: cannot read 'large.png': image too large: 1000 x 700 needs 6 MiB of memory, "
                             "5 MiB available\n"));
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(Kximg({"info", "large.png"}, {QStringLiteral("KXIMG_MEMORY_MIB=1")}).status, 0);
    EXPECT_EQ(Kximg({"filter", "large.png", "out.png", "--name", "box-blur"}, {QStringLiteral("KXIMG_MEMORY_MIB=6")}).status,
              0);
    EXPECT_EQ(QImage(Path(QStringLiteral("out.png"))).size(), QSize(1000, 700));
}

// A temporary file a killed run left beside the output is removed by the
// next write to it; one a live run holds locked, and files of other names,
// stay.
TEST_F(KximgLimits, StaleTemporaryFilesAreRemoved)
{
    for (const char* name : {"out.png.kximg-1z9k", "out.png.kximg-live", "out.png.old", "out.png.kximg-TOOLONGX"})
        ASSERT_TRUE(Save(QLatin1String(name), "partial"));
    const int live = ::open(QFile::encodeName(Path(QStringLiteral("out.png.kximg-live"))).constData(), O_RDONLY);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(Kximg({"convert", "in.png", "out.png"}).status, 0);
    ::close(live);
    EXPECT_EQ(Entries(), QStringList({"in.png", "out.png", "out.png.kximg-live", "out.png.kximg-TOOLONGX",
                                      "out.png.old"}));
}

} // namespace
