// kximg among other processes and in a hostile host: runs at the same time
// in one temporary directory, a full temporary file system, a file-size
// limit, and runs stopped by SIGINT, SIGTERM and SIGKILL. Each kximg gets a
// temporary directory of its own test (TMPDIR), where its page file goes.

#include "KXImgRun.h"
#include "KXTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An opaque picture that differs from the others of its `seed` in every
// tile, so that a tile of another process's image shows.
QImage Picture(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           qRgb((x * (seed + 3) + y) & 0xFF, (y * (seed + 5) ^ x) & 0xFF, (x * y + seed * 37) & 0xFF));
    return image;
}

QImage Inverted(QImage image)
{
    image.invertPixels(QImage::InvertRgb);
    return image;
}

// waitForFinished is false for a process that has already finished.
bool Finished(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(30000);
}

QImage Read(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

class KximgProcesses : public testing::Test, public KximgDirectory {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkdir(TemporaryDirectory())); }
    QString TemporaryDirectory() const { return Path(QStringLiteral("tmp")); }
    QStringList Environment() const { return {QStringLiteral("TMPDIR=") + TemporaryDirectory()}; }
    // A kximg that is left running, with TMPDIR set.
    std::unique_ptr<QProcess> Start(const QStringList& arguments) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), TemporaryDirectory());
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(Path(QStringLiteral(".")));
        process->start(QStringLiteral(KXIMG_PATH), arguments);
        return process;
    }
    // Waits until the running kximg has made its page file.
    bool WaitForPageFile(QProcess& process) const
    {
        QElapsedTimer timer;
        timer.start();
        while (PageFiles(TemporaryDirectory()).isEmpty())
            if (process.waitForFinished(20) || timer.elapsed() > 30000)
                return false;
        return true;
    }
};

// Every output as a serial run gives it (Qt's inversion, which the tool's
// other tests show it equals), however many runs share the directory.
TEST_F(KximgProcesses, ParallelRunsKeepTheirOwnTiles)
{
    constexpr int kProcesses = 8;
    constexpr int kRounds = 20;
    std::vector<QImage> expected;
    for (int i = 0; i < kProcesses; ++i) {
        // 600 x 400: 5 x 4 tiles, the last row and column partly used.
        const QImage picture = Picture(600, 400, i);
        ASSERT_TRUE(picture.save(Path(QStringLiteral("in%1.png").arg(i))));
        expected.push_back(Inverted(picture));
    }
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < kProcesses; ++i)
            runs.push_back(Start({QStringLiteral("invert"), QStringLiteral("in%1.png").arg(i),
                                  QStringLiteral("out%1.png").arg(i)}));
        for (int i = 0; i < kProcesses; ++i) {
            QProcess& run = *runs[static_cast<size_t>(i)];
            ASSERT_TRUE(run.waitForFinished(60000)) << "round " << round << ", run " << i;
            ASSERT_EQ(run.exitStatus(), QProcess::NormalExit) << "round " << round << ", run " << i;
            ASSERT_EQ(run.exitCode(), 0) << "round " << round << ", run " << i << ": "
                                         << run.readAllStandardError().toStdString();
            const QString out = Path(QStringLiteral("out%1.png").arg(i));
            ASSERT_TRUE(Read(out) == expected[static_cast<size_t>(i)]) << "round " << round << ", run " << i;
            QFile::remove(out);
        }
    }
    EXPECT_EQ(PageFiles(TemporaryDirectory()), QStringList());
}

// The page file cannot get disk space, but the tiles live in memory while
// the machine has room: the run neither fails nor dies of a bus error, and
// leaves only its output. (Exhaustion of the page file itself is the tile
// manager's test.)
TEST_F(KximgProcesses, FullTemporaryFileSystemDoesNotStopARun)
{
    // A tmpfs of 8 MiB over TMPDIR, in a mount namespace of the run's own
    // (it goes when the run ends).
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    const QString mount = QStringLiteral("mount -t tmpfs -o size=8m kximg-test \"$TMPDIR\"");
    const QStringList wrapper{unshare, QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                              mount + QStringLiteral(" && exec \"$@\""), QStringLiteral("sh")};
    QProcess probe;
    probe.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    probe.setProgram(unshare);
    probe.setArguments({QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                        QStringLiteral("TMPDIR=\"$0\"; ") + mount, TemporaryDirectory()});
    probe.start();
    if (unshare.isEmpty() || !probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0)
        GTEST_SKIP() << "cannot mount a tmpfs in a mount namespace of its own (needs unshare and root)";

    // 2000 x 1500 takes 16 x 12 tiles = 12 MiB.
    ASSERT_TRUE(Picture(2000, 1500, 1).save(Path(QStringLiteral("in.png"))));
    const QStringList before = Entries();
    const Outcome run = Kximg({"invert", "in.png", "out.png"}, Environment(), wrapper);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, QString());
    QStringList expected = before + QStringList{QStringLiteral("out.png")};
    expected.sort();
    EXPECT_EQ(Entries(), expected);
    EXPECT_EQ(Read(Path(QStringLiteral("out.png"))), Inverted(Picture(2000, 1500, 1)));
}

// Under a file-size limit the page file is not made (the tile manager uses
// ordinary memory), and an output beyond the limit is refused like any
// output that cannot be written: status 2, one line, no file left.
TEST_F(KximgProcesses, FileSizeLimitRefusesTheOutputOnly)
{
    // The limit is 100 blocks of 512 or 1024 bytes (the shell decides); the
    // output of a noisy 2000 x 1500 picture is megabytes.
    ASSERT_TRUE(Picture(2000, 1500, 2).save(Path(QStringLiteral("in.png"))));
    const QStringList before = Entries();
    const QStringList wrapper{QStringLiteral("sh"), QStringLiteral("-c"),
                              QStringLiteral("ulimit -f 100 && exec \"$@\""), QStringLiteral("sh")};
    const Outcome run = Kximg({"invert", "in.png", "out.png"}, Environment(), wrapper);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("kximg: cannot write 'out.png': "))) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(PageFiles(TemporaryDirectory()), QStringList());
}

// A run stopped by SIGINT or SIGTERM exits with 128 + the signal after one
// line, and leaves neither its output nor its page file. The input is a
// FIFO, so the run is known to be at work (its page file made, its input
// being opened) when the signal comes. SIGINT is followed by the picture:
// the run reads it and stops before it writes anything. After SIGTERM
// nothing comes: the run stays blocked and is ended after a grace period.
TEST_F(KximgProcesses, InterruptedRunLeavesNothing)
{
    const QImage picture = Picture(300, 200, 3);
    ASSERT_TRUE(picture.save(Path(QStringLiteral("picture.png"))));
    QFile file(Path(QStringLiteral("picture.png")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(file.remove());
    const QByteArray fifo = QFile::encodeName(Path(QStringLiteral("in.png")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    // A write to the FIFO after the run has gone must not end this process.
    const auto previousPipeHandler = std::signal(SIGPIPE, SIG_IGN);

    const struct Case {
        int signal;
        bool feed; // write the picture into the FIFO after the signal
        const char* line;
    } cases[] = {
        {SIGINT, true, "kximg: invert: cancelled by SIGINT\n"},
        {SIGTERM, false, "kximg: invert: cancelled by SIGTERM\n"},
    };
    const QStringList before = Entries();
    for (const Case& c : cases) {
        const std::unique_ptr<QProcess> run = Start({"invert", "in.png", "out.png"});
        ASSERT_TRUE(WaitForPageFile(*run)) << c.line;
        ASSERT_EQ(::kill(static_cast<pid_t>(run->processId()), c.signal), 0);
        while (c.feed && !run->waitForFinished(20)) {
            const int handle = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (handle < 0)
                continue; // not opened for reading yet
            ::fcntl(handle, F_SETFL, 0);
            for (qint64 done = 0, n = 0; done < bytes.size() && n >= 0; done += n)
                n = ::write(handle, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
            ::close(handle);
            break;
        }
        ASSERT_TRUE(Finished(*run)) << c.line;
        EXPECT_EQ(run->exitStatus(), QProcess::NormalExit) << c.line;
        EXPECT_EQ(run->exitCode(), 128 + c.signal) << c.line;
        EXPECT_EQ(QString::fromLocal8Bit(run->readAllStandardError()), QString::fromLatin1(c.line));
        EXPECT_EQ(Entries(), before) << c.line;
        EXPECT_EQ(PageFiles(TemporaryDirectory()), QStringList()) << c.line;
    }
    std::signal(SIGPIPE, previousPipeHandler);
}

// Ctrl-C in the middle of a filter sets its cancel flag: the run stops
// within a second, writes nothing and exits 130. The bar, forced on, shows
// that the filter is at work when the signal comes.
TEST_F(KximgProcesses, InterruptedFilterStopsAtOnce)
{
    ASSERT_TRUE(Picture(3000, 2000, 1).save(Path(QStringLiteral("in.png"))));
    qputenv("KXIMG_PROGRESS", "1");
    const std::unique_ptr<QProcess> run =
        Start({"filter", "in.png", "out.png", "--name", "gaussian-blur", "--sigma", "60"});
    qunsetenv("KXIMG_PROGRESS");
    QByteArray err;
    while (!err.contains("filter: gaussian-blur [") && !run->waitForFinished(20))
        err += run->readAllStandardError();
    ASSERT_EQ(run->state(), QProcess::Running) << err.toStdString();
    ASSERT_EQ(::kill(static_cast<pid_t>(run->processId()), SIGINT), 0);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(Finished(*run));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(run->exitCode(), 130);
    EXPECT_TRUE(run->readAllStandardError().endsWith("kximg: filter: cancelled by SIGINT\n"));
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("out.png"))));
}

// SIGKILL leaves the page file; the next run, of any command, removes it.
TEST_F(KximgProcesses, KilledRunsPageFileGoesAtTheNextStart)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path(QStringLiteral("in.png"))).constData(), 0600), 0);
    const std::unique_ptr<QProcess> killed = Start({"invert", "in.png", "out.png"});
    ASSERT_TRUE(WaitForPageFile(*killed));
    killed->kill();
    ASSERT_TRUE(Finished(*killed));
    ASSERT_EQ(PageFiles(TemporaryDirectory()).size(), 1);

    ASSERT_TRUE(Picture(130, 70, 4).save(Path(QStringLiteral("small.png"))));
    const Outcome next = Kximg({"info", "small.png"}, Environment());
    EXPECT_EQ(next.status, 0) << next.err.toStdString();
    EXPECT_EQ(PageFiles(TemporaryDirectory()), QStringList());
}

} // namespace
