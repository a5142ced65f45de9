// The kximg tool as its users meet it: a bad command line or a file that
// cannot be read or written gives exit status 2, one line naming the problem
// and no output file (not even a temporary one); a good conversion keeps the
// pixels.

#include "KXTestSupport.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

Outcome Kximg(const QStringList& arguments, const QString& workingDirectory)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("KXIMG_VERBOSE"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(KXIMG_PATH), arguments);
    Outcome run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

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

class KximgTool : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(TestPicture().save(Path(QStringLiteral("in.png"))));
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QStringList Entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    Outcome Kximg(const QStringList& arguments) const { return ::Kximg(arguments, m_dir.path()); }

    QTemporaryDir m_dir;
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
        {"info of missing file", {"info", "missing.png"}, "cannot read 'missing.png'"},
        {"demo into a file", {"demo", "--out", "in.png"}, "not a directory"},
    };
    ASSERT_TRUE(QFile(Path(QStringLiteral("not-image.png"))).open(QIODevice::WriteOnly));
    const QStringList before = Entries();
    for (const Case& c : cases) {
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

TEST_F(KximgTool, ConvertKeepsEveryPixel)
{
    // 8 -> 16 bits is c * 256 and back the high byte: exact.
    const QImage expected = TestPicture();
    for (const QStringList& via : {QStringList(), QStringList{"--via", "rgba64"}}) {
        QFile::remove(Path(QStringLiteral("out.png")));
        const Outcome run = Kximg(QStringList{"convert", "in.png", "out.png"} + via);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString(); // the tile manager's log stays hidden
        const QImage out = QImage(Path(QStringLiteral("out.png"))).convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(out, expected) << via.join(' ').toStdString();
    }
    EXPECT_EQ(Entries(), (QStringList{"in.png", "out.png"}));
}

TEST_F(KximgTool, InfoVersionAndHelp)
{
    const struct Case {
        QStringList arguments;
        const char* output;
    } cases[] = {
        // 130 x 70 working image: 2 x 1 tiles of 128 x 128, each one block.
        {{"info", "in.png"}, "size:    130 x 70"},
        {{"info", "in.png"}, "tiles:   2 x 1 (2 tiles"},
        {{"info", "in.png"}, "blocks:  2 "},
        {{"info", "in.png"}, "alpha:   yes"},
        {{"--version"}, "kximg " KXIMG_VERSION},
        {{"--help"}, "Usage: kximg"},
        {{"convert", "--help"}, "Usage: kximg convert IN OUT"},
    };
    for (const Case& c : cases) {
        const Outcome run = Kximg(c.arguments);
        EXPECT_EQ(run.status, 0) << c.arguments.join(' ').toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QString::fromLatin1(c.output)))
            << c.arguments.join(' ').toStdString() << ": " << run.out.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    }
}

} // namespace
