#include "KXFileIOManager.h"
#include "KXTestSupport.h"
#include "VQTileManager64.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <set>
#include <thread>
#include <vector>

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

VQTileManager64* Manager()
{
    return VQTileManager64::Instance();
}

// Restarts the tile manager with its page file in `directory`; restores the
// default directory and a fresh manager when it goes.
class ManagerInDirectory {
public:
    explicit ManagerInDirectory(const QString& directory)
    {
        VQTileManager64::ReleaseInstance();
        KXFileIOManager::SetTemporaryPath(directory);
        VQTileManager64::InitInstance(false);
    }
    ~ManagerInDirectory()
    {
        VQTileManager64::ReleaseInstance();
        KXFileIOManager::SetTemporaryPath(QString());
        VQTileManager64::InitInstance(false);
    }
};

QStringList PageFiles(const QString& directory)
{
    return QDir(directory).entryList(QStringList() << QStringLiteral("tamrixo*.page"), QDir::Files | QDir::System);
}

long long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

struct HandlerLog {
    int calls = 0;
    std::string text;
};

void CountingHandler(void* context, const std::exception& error)
{
    auto* log = static_cast<HandlerLog*>(context);
    ++log->calls;
    log->text = error.what();
}

} // namespace

TEST(VQTileManager64, CountsAndFreeListOrder)
{
    VQTileManager64* tm = Manager();
    ASSERT_NE(tm, nullptr);
    const long long start = tm->GetAvailableCount();
    void* first = tm->MakeTile();
    EXPECT_EQ(tm->GetAvailableCount(), start - 1);
    tm->CleanUpTile(first);
    EXPECT_EQ(tm->GetAvailableCount(), start);
    // The returned block waits at the end of the free list.
    void* second = tm->MakeTile();
    EXPECT_NE(second, first);
    tm->CleanUpTile(second);

    QList<void*> some = tm->MakeTiles(3);
    EXPECT_EQ(some.size(), 3);
    EXPECT_EQ(tm->GetAvailableCount(), start - 3);
    tm->CleanUpTiles(some);
    EXPECT_TRUE(tm->MakeTiles(0).isEmpty());
    EXPECT_EQ(tm->GetAvailableCount(), start);

    EXPECT_EQ(tm->GetMemory(nullptr, true), nullptr);
    char untouched = 'x';
    tm->ReadMemory(nullptr, &untouched);
    EXPECT_EQ(untouched, 'x');
    const VQTileManager64::MemoryInfo info = VQTileManager64::GetMemInfo();
    EXPECT_TRUE(std::all_of(std::begin(info.values), std::end(info.values), [](uint64_t v) { return v == 0; }));

    // InitInstance twice keeps the first instance.
    VQTileManager64::InitInstance(true);
    EXPECT_EQ(VQTileManager64::Instance(), tm);
}

TEST(VQTileManager64, BlocksAreDistinctAndHoldTheirBytes)
{
    VQTileManager64* tm = Manager();
    QList<void*> tiles = tm->MakeTiles(16);
    std::set<char*> addresses;
    for (int i = 0; i < tiles.size(); ++i) {
        char* memory = static_cast<char*>(tm->GetMemory(tiles[i], true));
        addresses.insert(memory);
        std::memset(memory, i, VQTileManager64::kBlockSize);
        tm->FreeMemory(tiles[i]);
    }
    EXPECT_EQ(addresses.size(), 16u);
    std::vector<char> copy(VQTileManager64::kBlockSize);
    for (int i = 0; i < tiles.size(); ++i) {
        tm->ReadMemory(tiles[i], copy.data());
        EXPECT_TRUE(std::all_of(copy.begin(), copy.end(), [i](char c) { return c == char(i); }));
    }
    tm->CleanUpTiles(tiles);
}

TEST(VQTileManager64, ExhaustionCallsHandlerOncePerExhaustion)
{
    VQTileManager64* tm = Manager();
    HandlerLog log;
    tm->SetExceptionHandler(&CountingHandler, &log);

    const long long available = tm->GetAvailableCount();
    // A request for exactly all free blocks fails.
    EXPECT_THROW(tm->MakeTiles(static_cast<unsigned int>(available)), std::bad_alloc);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.text, "bad allocation");
    EXPECT_EQ(tm->GetAvailableCount(), available);

    QList<void*> all = tm->MakeTiles(static_cast<unsigned int>(available - 1));
    all.append(tm->MakeTile());
    EXPECT_EQ(tm->GetAvailableCount(), 0);
    try {
        tm->MakeTile();
        ADD_FAILURE() << "no exception";
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "bad allocation");
    }
    EXPECT_THROW(tm->MakeTile(), std::bad_alloc);
    EXPECT_THROW(tm->MakeTiles(0), std::bad_alloc);
    EXPECT_EQ(log.calls, 1) << "told once per exhaustion";

    // A returned block clears the flag: the next exhaustion is told again.
    tm->CleanUpTile(all.takeLast());
    all.append(tm->MakeTile());
    EXPECT_THROW(tm->MakeTile(), std::bad_alloc);
    EXPECT_EQ(log.calls, 2);

    // A null handler switches the callback off.
    tm->SetExceptionHandler(nullptr, nullptr);
    tm->CleanUpTile(all.takeLast());
    all.append(tm->MakeTile());
    EXPECT_THROW(tm->MakeTile(), std::bad_alloc);
    EXPECT_EQ(log.calls, 2);

    tm->CleanUpTiles(all);
    EXPECT_EQ(tm->GetAvailableCount(), available);
}

TEST(VQTileManager64, ConcurrentThreadsNeverShareABlock)
{
    VQTileManager64* tm = Manager();
    const long long available = tm->GetAvailableCount();
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::vector<std::vector<void*>> held(kThreads);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) {
            }
            std::vector<void*> mine;
            for (int i = 0; i < kRounds; ++i) {
                mine.push_back(tm->MakeTile());
                // Stamp the block; another owner would overwrite the stamp.
                *static_cast<int*>(tm->GetMemory(mine.back(), true)) = t * kRounds + i;
                if (i % 3 == 2) {
                    QList<void*> batch = tm->MakeTiles(2);
                    tm->CleanUpTiles(batch);
                    tm->CleanUpTile(mine.front());
                    mine.erase(mine.begin());
                }
            }
            held[t] = mine;
        });
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();

    std::set<void*> distinct;
    size_t total = 0;
    for (const std::vector<void*>& mine : held) {
        total += mine.size();
        distinct.insert(mine.begin(), mine.end());
    }
    EXPECT_EQ(distinct.size(), total);
    EXPECT_EQ(tm->GetAvailableCount(), available - static_cast<long long>(total));
    for (const std::vector<void*>& mine : held)
        for (void* tile : mine)
            tm->CleanUpTile(tile);
}

TEST(VQTileManager64, ConcurrentExhaustionIsToldOnce)
{
    VQTileManager64* tm = Manager();
    HandlerLog log;
    tm->SetExceptionHandler(&CountingHandler, &log);
    const long long available = tm->GetAvailableCount();
    QList<void*> most = tm->MakeTiles(static_cast<unsigned int>(available - 400));
    constexpr int kThreads = 4;
    std::vector<std::vector<void*>> held(kThreads);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                try {
                    held[t].push_back(tm->MakeTile());
                } catch (const std::bad_alloc&) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    size_t total = 0;
    for (const std::vector<void*>& mine : held)
        total += mine.size();
    EXPECT_EQ(total, 400u);
    EXPECT_EQ(failures.load(), kThreads * 200 - 400);
    EXPECT_EQ(log.calls, 1);
    tm->SetExceptionHandler(nullptr, nullptr);
    for (const std::vector<void*>& mine : held)
        for (void* tile : mine)
            tm->CleanUpTile(tile);
    tm->CleanUpTiles(most);
}

TEST(VQTileManager64, PageFileLifecycle)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    // A leftover of an earlier run, and a file that is not a page file.
    QFile leftover(directory.path() + "/tamrixo123.page");
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    QFile other(directory.path() + "/keep.page");
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();

    KXTest::LogCapture log;
    {
        ManagerInDirectory scoped(directory.path());
        const QStringList files = PageFiles(directory.path());
        ASSERT_EQ(files.size(), 2);
        QString ours = files[0] == "tamrixo123.page" ? files[1] : files[0];
        EXPECT_TRUE(QRegularExpression("^tamrixo\\d+\\.page$").match(ours).hasMatch()) << ours.toStdString();
        EXPECT_EQ(QFileInfo(directory.path() + "/" + ours).size(), 6553600000LL);
        EXPECT_EQ(VQTileManager64::Instance()->GetAvailableCount(), 100000);

        // Leaves one block out, to be reported as lost; its memory goes with
        // the mapping.
        VQTileManager64::Instance()->MakeTile();
        log.Clear();
        VQTileManager64::ReleaseInstance();
        const QStringList messages = log.Messages();
        const char* expected[] = {"Destroy", "Tile manager:lost memory blocks = 1", "Destroyed"};
        ASSERT_EQ(messages.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QRegularExpression form(QStringLiteral("^Line=\\d+, file=\"src/VQTileManager64\"\\. %1$")
                                              .arg(QRegularExpression::escape(expected[i])));
            EXPECT_TRUE(form.match(messages[i]).hasMatch()) << messages[i].toStdString();
        }
        EXPECT_EQ(PageFiles(directory.path()), QStringList() << "tamrixo123.page");

        KXFileIOManager::SetTemporaryPath(directory.path());
        VQTileManager64::CleanupPageFiles();
        EXPECT_TRUE(PageFiles(directory.path()).isEmpty());
        EXPECT_TRUE(QFile::exists(directory.path() + "/keep.page"));
    }
}

// A page file that cannot be made (here: the file-size limit is below its
// size, which would otherwise raise SIGXFSZ) leaves the manager on
// anonymous memory; a directory that is missing is replaced by a usable one.
TEST(VQTileManager64, WithoutPageFileFallsBackToMemory)
{
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit lowered = saved;
    lowered.rlim_cur = 1 << 30;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    QTemporaryDir directory;
    KXTest::LogCapture log;
    {
        ManagerInDirectory scoped(directory.path());
        ::setrlimit(RLIMIT_FSIZE, &saved);
        const QStringList messages = log.Messages().mid(3); // after the old manager's farewell
        ASSERT_EQ(messages.size(), 2);
        EXPECT_TRUE(messages[0].endsWith("file=\"src/VQTileManager64\". Map file error. Insufficient disk space"))
            << messages[0].toStdString();
        EXPECT_TRUE(messages[1].contains("anonymous memory")) << messages[1].toStdString();
        EXPECT_TRUE(PageFiles(directory.path()).isEmpty());

        VQTileManager64* tm = VQTileManager64::Instance();
        EXPECT_EQ(tm->GetAvailableCount(), 100000);
        void* tile = tm->MakeTile();
        char* memory = static_cast<char*>(tm->GetMemory(tile, true));
        ASSERT_NE(memory, nullptr);
        std::memset(memory, 0x5A, VQTileManager64::kBlockSize);
        EXPECT_EQ(memory[VQTileManager64::kBlockSize - 1], 0x5A);
        tm->FreeMemory(tile);
        tm->CleanUpTile(tile);
    }

    log.Clear();
    KXFileIOManager::SetTemporaryPath(QStringLiteral("/nonexistent-kxcore-dir/sub"));
    const QString path = KXFileIOManager::GetTemporaryPath();
    KXFileIOManager::SetTemporaryPath(QString());
    EXPECT_TRUE(QFileInfo(path).isDir() && QFileInfo(path).isWritable()) << path.toStdString();
    ASSERT_EQ(log.Messages().size(), 1);
    EXPECT_TRUE(log.Messages()[0].contains("\"/nonexistent-kxcore-dir/sub\" is not usable"));
}

// Page files are created exclusively: a name that exists, as a file or as
// a link, is passed over and never opened or followed.
TEST(VQTileManager64, PageFileNamesAreTakenExclusively)
{
    QTemporaryDir directory;
    const QString target = directory.path() + "/target";
    // The names the next draws give: the generator is seeded with the time.
    QSet<QString> planted;
    const unsigned now = static_cast<unsigned>(std::time(nullptr));
    for (unsigned second = now; second <= now + 2; ++second) {
        std::srand(second);
        for (int i = 0; i < 3; ++i)
            planted << QStringLiteral("tamrixo%1.page").arg(std::rand());
    }
    int n = 0;
    for (const QString& name : planted) {
        if (n++ % 2)
            ASSERT_TRUE(QFile::link(target, directory.path() + "/" + name));
        else
            ASSERT_TRUE(QFile(directory.path() + "/" + name).open(QIODevice::WriteOnly));
    }

    {
        ManagerInDirectory scoped(directory.path());
        EXPECT_FALSE(QFile::exists(target)) << "a planted link was followed";
        QStringList files = PageFiles(directory.path());
        ASSERT_EQ(files.size(), planted.size() + 1);
        for (const QString& name : planted)
            files.removeOne(name);
        ASSERT_EQ(files.size(), 1);
        const QFileInfo ours(directory.path() + "/" + files[0]);
        EXPECT_FALSE(ours.isSymLink());
        EXPECT_EQ(ours.size(), 6553600000LL);
    }
    EXPECT_EQ(PageFiles(directory.path()).size(), planted.size());
    EXPECT_FALSE(QFile::exists(target));
}

// Only files that no live process locks are orphans: this process's page
// file and one another holder locks stay; a link is not followed.
TEST(VQTileManager64, CleanupOrphanPageFilesKeepsLiveFiles)
{
    QTemporaryDir directory;
    ManagerInDirectory scoped(directory.path());
    const QStringList ours = PageFiles(directory.path());
    ASSERT_EQ(ours.size(), 1);

    QFile orphan(directory.path() + "/tamrixo1.page");
    ASSERT_TRUE(orphan.open(QIODevice::WriteOnly));
    orphan.close();
    QFile held(directory.path() + "/tamrixo2.page");
    ASSERT_TRUE(held.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(held.handle(), LOCK_EX), 0);
    QFile target(directory.path() + "/target");
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.close();
    ASSERT_TRUE(QFile::link(target.fileName(), directory.path() + "/tamrixo3.page"));

    EXPECT_EQ(VQTileManager64::CleanupOrphanPageFiles(), 1);
    QStringList left = PageFiles(directory.path());
    left.sort();
    QStringList expected = QStringList() << ours[0] << "tamrixo2.page" << "tamrixo3.page";
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(target.exists());
}

// A block returned twice, or a handle that is no block, never enters the
// free list: otherwise one block would later belong to two images.
TEST(VQTileManager64, RefusesBlocksReturnedTwiceAndForeignHandles)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer build stops at a refused block (see the death test)";
#else
    VQTileManager64* tm = Manager();
    const long long available = tm->GetAvailableCount();
    QList<void*> tiles = tm->MakeTiles(2);
    int local = 0;
    KXTest::LogCapture log;
    tm->CleanUpTile(tiles[0]);
    tm->CleanUpTile(tiles[0]);
    tm->CleanUpTile(&local);
    tm->CleanUpTile(nullptr);
    tm->CleanUpTile(static_cast<char*>(tiles[1]) + 1);
    const QStringList expected = {"Tile already free.", "Invalid tile pointer.", "Invalid tile pointer.",
                                  "Invalid tile pointer."};
    ASSERT_EQ(log.Messages().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(log.Messages()[i].endsWith(expected[i])) << log.Messages()[i].toStdString();
    EXPECT_EQ(tm->GetAvailableCount(), available - 1);
    tm->CleanUpTile(tiles[1]);
    EXPECT_EQ(tm->GetAvailableCount(), available);
#endif
}

// On a file system with room for a few blocks, running out of disk space
// is an exhaustion like any other (handler once, std::bad_alloc), not a
// SIGBUS on first write; blocks returned can be used again.
TEST(VQTileManager64, FullDiskIsExhaustion)
{
    QTemporaryDir directory;
    const QByteArray path = QFile::encodeName(directory.path());
    if (std::system(("mount -t tmpfs -o size=4m kxcore-test " + path + " 2>/dev/null").constData()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    struct Unmount {
        QByteArray path;
        ~Unmount() { std::system(("umount -l " + path).constData()); }
    } unmount{path};

    ManagerInDirectory scoped(directory.path());
    VQTileManager64* tm = VQTileManager64::Instance();
    ASSERT_EQ(PageFiles(directory.path()).size(), 1);
    HandlerLog handler;
    tm->SetExceptionHandler(&CountingHandler, &handler);
    QList<void*> held;
    for (int i = 0; i < 200 && handler.calls == 0; ++i) {
        try {
            held.append(tm->MakeTile());
            std::memset(tm->GetMemory(held.back(), true), i, VQTileManager64::kBlockSize);
            tm->FreeMemory(held.back());
        } catch (const std::bad_alloc& e) {
            EXPECT_STREQ(e.what(), "bad allocation");
        }
    }
    EXPECT_EQ(handler.calls, 1);
    EXPECT_GT(held.size(), 16);
    EXPECT_LE(held.size(), 64); // 4 MiB hold 64 blocks at the most
    EXPECT_THROW(tm->MakeTiles(2), std::bad_alloc);
    tm->CleanUpTiles(held);
    QList<void*> again = tm->MakeTiles(static_cast<unsigned int>(held.size() / 2));
    tm->CleanUpTiles(again);
    tm->SetExceptionHandler(nullptr, nullptr);
}

// Memory follows the blocks alive: a long run of images coming and going,
// 100 blocks held at a time, keeps neither pages nor disk space for every
// block it ever used.
TEST(VQTileManager64, ReturnedBlocksGiveTheirMemoryBack)
{
    QTemporaryDir directory;
    ManagerInDirectory scoped(directory.path());
    VQTileManager64* tm = VQTileManager64::Instance();
    const QString file = directory.path() + "/" + PageFiles(directory.path()).value(0);
    [[maybe_unused]] const long long residentBefore = ResidentKiB();
    std::deque<void*> held;
    for (int i = 0; i < 6000; ++i) {
        held.push_back(tm->MakeTile());
        std::memset(tm->GetMemory(held.back(), true), i, VQTileManager64::kBlockSize);
        tm->FreeMemory(held.back());
        if (held.size() > 100) {
            tm->CleanUpTile(held.front());
            held.pop_front();
        }
    }
    // 375 MiB were written; the page file keeps the 100 blocks held, at
    // most 768 free ones and 256 reserved ahead (70 MiB at the most), and
    // never fewer than the warm reserve of 256 free blocks (16 MiB).
    struct stat status;
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &status), 0);
    EXPECT_LE(status.st_blocks * 512, 70ll << 20);
    EXPECT_GE(status.st_blocks * 512, (100ll + 256) << 16);
#if !defined(__SANITIZE_ADDRESS__) // the sanitizer's own shadow memory grows too
    EXPECT_LT(ResidentKiB() - residentBefore, 64ll << 10);
#endif
    for (void* tile : held)
        tm->CleanUpTile(tile);
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer build marks free blocks off-limits: a write past a tile or
// into a returned block stops the program.
TEST(VQTileManager64DeathTest, SanitizerCatchesWritesOutsideHeldBlocks)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    VQTileManager64* tm = Manager();
    // A child that dies leaves its page file behind; remove those afterwards.
    const QString directory = KXFileIOManager::GetTemporaryPath();
    const QStringList before = PageFiles(directory);
    struct RemoveChildPageFiles {
        QString directory;
        QStringList keep;
        ~RemoveChildPageFiles()
        {
            for (const QString& name : PageFiles(directory))
                if (!keep.contains(name))
                    QFile::remove(directory + "/" + name);
        }
    } cleanup{directory, before};
    EXPECT_DEATH(
        {
            void* tile = tm->MakeTile();
            char* memory = static_cast<char*>(tm->GetMemory(tile, true));
            memory[VQTileManager64::kBlockSize] = 1; // one byte past the tile
        },
        "use-after-poison");
    EXPECT_DEATH(
        {
            void* tile = tm->MakeTile();
            char* memory = static_cast<char*>(tm->GetMemory(tile, true));
            tm->CleanUpTile(tile);
            memory[0] = 1; // into a returned block
        },
        "use-after-poison");
    // A block returned twice or a foreign handle stops the program here.
    EXPECT_DEATH(
        {
            void* tile = tm->MakeTile();
            tm->CleanUpTile(tile);
            tm->CleanUpTile(tile);
        },
        "Tile already free");
    int local = 0;
    EXPECT_DEATH(tm->CleanUpTile(&local), "Invalid tile pointer");
}
#endif
