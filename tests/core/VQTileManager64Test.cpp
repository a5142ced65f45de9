#include "KXFileIOManager.h"
#include "core/KXResidentPool.h"
#include "KXTestSupport.h"
#include "VQTileManager64.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Restarts the tile manager with its page file in `directory`; restores the
// default directory and a fresh manager when it goes.
struct ManagerInDirectory {
    explicit ManagerInDirectory(const QString& directory) { Restart(directory); }
    ~ManagerInDirectory() { Restart(QString()); }
    static void Restart(const QString& directory)
    {
        VQTileManager64::ReleaseInstance();
        KXFileIOManager::SetTemporaryPath(directory);
        VQTileManager64::InitInstance(false);
    }
};

// Restarts the tile manager without resident memory of its own, so that
// every block lives in the page file (what a process gets once its share of
// the machine's memory is held), and with the default again when it goes.
struct PageFileOnly {
    PageFileOnly() { KXResidentPool::OverrideCap(0); }
    ~PageFileOnly() { KXResidentPool::OverrideCap(-1); }
};

// A field of /proc/self/status in bytes ("RssAnon", …).
long long StatusBytes(const char* field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(QByteArray(field) + ':'))
            return line.mid(int(strlen(field)) + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Pages of a block that are not resident (their first touch would fault).
int MissingPages(void* block)
{
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident(VQTileManager64::kBlockSize / page);
    if (::mincore(block, VQTileManager64::kBlockSize, resident.data()) != 0)
        return -1;
    return int(std::count_if(resident.begin(), resident.end(), [](unsigned char r) { return !(r & 1); }));
}

// Messages of the tile manager's log lines without their line numbers.
QStringList ManagerMessages(QStringList messages)
{
    return messages.replaceInStrings(QRegularExpression("^Line=\\d+, file=\"src/VQTileManager64\"\\. "), QString());
}

QStringList PageFiles(const QString& directory)
{
    return QDir(directory).entryList(QStringList() << QStringLiteral("tamrixo*.page"), QDir::Files | QDir::System);
}

struct HandlerLog {
    int calls = 0;
    std::string text;
    static void Count(void* context, const std::exception& error)
    {
        auto* log = static_cast<HandlerLog*>(context);
        ++log->calls;
        log->text = error.what();
    }
};

// Runs body(0) .. body(count - 1) on threads of their own and waits for them.
template <class F>
void OnThreads(int count, F body)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back(body, t);
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace

TEST(VQTileManager64, CountsFreeListOrderAndBlockBytes)
{
    VQTileManager64* tm = VQTileManager64::Instance();
    const long long start = tm->GetAvailableCount();
    void* first = tm->MakeTile();
    EXPECT_EQ(tm->GetAvailableCount(), start - 1);
    tm->CleanUpTile(first);
    void* second = tm->MakeTile();
    EXPECT_NE(second, first) << "a returned block waits at the end of the free list";
    tm->CleanUpTile(second);
    EXPECT_TRUE(tm->MakeTiles(0).isEmpty());
    tm->ReadMemory(nullptr, nullptr); // reads nothing

    // Blocks that shared memory would not keep their own bytes.
    QList<void*> tiles = tm->MakeTiles(16);
    EXPECT_EQ(tm->GetAvailableCount(), start - 16);
    for (int i = 0; i < tiles.size(); ++i) {
        std::memset(tm->GetMemory(tiles[i], true), i, VQTileManager64::kBlockSize);
        tm->FreeMemory(tiles[i]);
    }
    std::vector<char> copy(VQTileManager64::kBlockSize);
    for (int i = 0; i < tiles.size(); ++i) {
        tm->ReadMemory(tiles[i], copy.data());
        EXPECT_EQ(std::count(copy.begin(), copy.end(), char(i)), long(copy.size())) << i;
    }
    tm->CleanUpTiles(tiles);
    EXPECT_EQ(tm->GetAvailableCount(), start);
}

TEST(VQTileManager64, ExhaustionIsToldOncePerExhaustion)
{
    VQTileManager64* tm = VQTileManager64::Instance();
    HandlerLog log;
    tm->SetExceptionHandler(&HandlerLog::Count, &log);
    const long long available = tm->GetAvailableCount();
    EXPECT_THROW(tm->MakeTiles(static_cast<unsigned int>(available)), KXBadAlloc) << "all free blocks at once";
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.text, "bad allocation");
    EXPECT_EQ(tm->GetAvailableCount(), available);

    QList<void*> all = tm->MakeTiles(static_cast<unsigned int>(available - 1));
    all.append(tm->MakeTile());
    EXPECT_THROW(tm->MakeTile(), KXBadAlloc);
    EXPECT_THROW(tm->MakeTiles(0), KXBadAlloc);
    EXPECT_EQ(log.calls, 1);

    // A returned block clears the flag: the next exhaustion is told again,
    // unless a null handler switched the callback off.
    for (const bool handler : {true, false}) {
        if (!handler)
            tm->SetExceptionHandler(nullptr, nullptr);
        tm->CleanUpTile(all.takeLast());
        all.append(tm->MakeTile());
        EXPECT_THROW(tm->MakeTile(), KXBadAlloc);
        EXPECT_EQ(log.calls, 2);
    }
    tm->CleanUpTiles(all);
    EXPECT_EQ(tm->GetAvailableCount(), available);

    // Threads running out together: the last 400 blocks go out once each,
    // and the exhaustion is told once.
    tm->SetExceptionHandler(&HandlerLog::Count, &log);
    all = tm->MakeTiles(static_cast<unsigned int>(available - 400));
    std::vector<QList<void*>> held(4);
    OnThreads(4, [&](int t) {
        for (int i = 0; i < 200; ++i) {
            try {
                held[t].append(tm->MakeTile());
            } catch (const KXBadAlloc&) {
            }
        }
    });
    EXPECT_EQ(held[0].size() + held[1].size() + held[2].size() + held[3].size(), 400);
    EXPECT_EQ(log.calls, 3);
    tm->SetExceptionHandler(nullptr, nullptr);
    held.push_back(all);
    for (const QList<void*>& mine : held)
        tm->CleanUpTiles(mine);
}

TEST(VQTileManager64, ConcurrentThreadsNeverShareABlock)
{
    VQTileManager64* tm = VQTileManager64::Instance();
    const long long available = tm->GetAvailableCount();
    constexpr int kThreads = 4, kRounds = 2000;
    std::vector<QList<void*>> held(kThreads);
    std::atomic<int> ready{0};
    OnThreads(kThreads, [&](int t) {
        for (++ready; ready.load() < kThreads;) {
        }
        for (int i = 0; i < kRounds; ++i) {
            held[t].append(tm->MakeTile());
            if (i % 3 == 2) {
                tm->CleanUpTiles(tm->MakeTiles(2));
                tm->CleanUpTile(held[t].takeFirst());
            }
        }
    });
    std::set<void*> distinct;
    for (const QList<void*>& mine : held)
        distinct.insert(mine.begin(), mine.end());
    EXPECT_EQ(distinct.size(), size_t(kThreads * (kRounds - kRounds / 3)));
    EXPECT_EQ(tm->GetAvailableCount(), available - static_cast<long long>(distinct.size()));
    for (const QList<void*>& mine : held)
        tm->CleanUpTiles(mine);
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
        const QStringList messages = ManagerMessages(log.Messages().mid(3)); // after the old manager's farewell
        EXPECT_EQ(messages, QStringList({"Map file error. Insufficient disk space",
                                         "No page file: tile blocks come from anonymous memory."}));
        EXPECT_TRUE(PageFiles(directory.path()).isEmpty());

        VQTileManager64* tm = VQTileManager64::Instance();
        EXPECT_EQ(tm->GetAvailableCount(), 100000);
        void* tile = tm->MakeTile();
        std::memset(tm->GetMemory(tile, true), 0x5A, VQTileManager64::kBlockSize); // usable memory
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

// The page file is made exclusively (a name that exists, as a file or as a
// link, is passed over and never followed) and deleted with its manager;
// CleanupOrphanPageFiles removes only plain files that no live process
// locks, CleanupPageFiles every page file.
TEST(VQTileManager64, PageFileLifecycle)
{
    QTemporaryDir directory;
    const QString dir = directory.path() + "/";
    // The names the next draws give (the generator is seeded with the time),
    // planted as files and as links; an earlier run's file and one another
    // process holds; a file that is no page file.
    QStringList planted, links;
    const unsigned now = static_cast<unsigned>(std::time(nullptr));
    for (unsigned second = now; second <= now + 2; ++second) {
        std::srand(second);
        for (int i = 0; i < 3; ++i)
            planted << QStringLiteral("tamrixo%1.page").arg(std::rand());
    }
    planted.removeDuplicates();
    for (int i = 0; i < planted.size(); ++i) {
        if (i % 2)
            links << planted[i];
        ASSERT_TRUE(i % 2 ? QFile::link(dir + "target", dir + planted[i])
                          : QFile(dir + planted[i]).open(QIODevice::WriteOnly));
    }
    for (const char* name : {"tamrixo123.page", "tamrixo2.page", "keep.page"})
        ASSERT_TRUE(QFile(dir + name).open(QIODevice::WriteOnly));
    QFile held(dir + "tamrixo2.page");
    ASSERT_TRUE(held.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(held.handle(), LOCK_EX), 0);

    KXTest::LogCapture log;
    ManagerInDirectory scoped(directory.path());
    QStringList files = PageFiles(directory.path());
    for (const QString& name : planted + QStringList{"tamrixo123.page", "tamrixo2.page"})
        files.removeOne(name);
    ASSERT_EQ(files.size(), 1);
    const QString ours = files[0];
    EXPECT_TRUE(QRegularExpression("^tamrixo\\d+\\.page$").match(ours).hasMatch()) << ours.toStdString();
    EXPECT_FALSE(QFileInfo(dir + ours).isSymLink());
    EXPECT_EQ(QFileInfo(dir + ours).size(), 6553600000LL);
    EXPECT_FALSE(QFile::exists(dir + "target")) << "a planted link was followed";
    EXPECT_EQ(VQTileManager64::Instance()->GetAvailableCount(), 100000);

    ASSERT_TRUE(QFile(dir + "target").open(QIODevice::WriteOnly));
    EXPECT_EQ(VQTileManager64::CleanupOrphanPageFiles(), planted.size() - links.size() + 1);
    QStringList left = PageFiles(directory.path()), expected = links + QStringList{ours, "tamrixo2.page"};
    left.sort();
    expected.sort();
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(QFile::exists(dir + "target"));

    // One block left out is reported as lost; its memory goes with the mapping.
    VQTileManager64::Instance()->MakeTile();
    log.Clear();
    VQTileManager64::ReleaseInstance();
    EXPECT_EQ(ManagerMessages(log.Messages()),
              QStringList({"Destroy", "Tile manager:lost memory blocks = 1", "Destroyed"}));
    EXPECT_FALSE(QFile::exists(dir + ours));
    KXFileIOManager::SetTemporaryPath(directory.path());
    VQTileManager64::CleanupPageFiles();
    EXPECT_TRUE(PageFiles(directory.path()).isEmpty());
    EXPECT_TRUE(QFile::exists(dir + "keep.page"));
}

// A block returned twice, or a handle that is no block, never enters the
// free list: otherwise one block would later belong to two images.
TEST(VQTileManager64, RefusesBlocksReturnedTwiceAndForeignHandles)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer build stops at a refused block (see the death test)";
#else
    VQTileManager64* tm = VQTileManager64::Instance();
    const long long available = tm->GetAvailableCount();
    QList<void*> tiles = tm->MakeTiles(2);
    int local = 0;
    KXTest::LogCapture log;
    for (void* handle : {tiles[0], tiles[0], static_cast<void*>(&local), static_cast<void*>(nullptr),
                         static_cast<void*>(static_cast<char*>(tiles[1]) + 1)})
        tm->CleanUpTile(handle);
    EXPECT_EQ(ManagerMessages(log.Messages()), QStringList({"Tile already free.", "Invalid tile pointer.",
                                                            "Invalid tile pointer.", "Invalid tile pointer."}));
    EXPECT_EQ(tm->GetAvailableCount(), available - 1);
    tm->CleanUpTile(tiles[1]);
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

    PageFileOnly pageFileOnly;
    ManagerInDirectory scoped(directory.path());
    VQTileManager64* tm = VQTileManager64::Instance();
    ASSERT_EQ(PageFiles(directory.path()).size(), 1);
    HandlerLog handler;
    tm->SetExceptionHandler(&HandlerLog::Count, &handler);
    QList<void*> held;
    for (int i = 0; i < 200 && handler.calls == 0; ++i) {
        try {
            held.append(tm->MakeTile());
            std::memset(tm->GetMemory(held.back(), true), i, VQTileManager64::kBlockSize);
        } catch (const KXBadAlloc&) {
        }
    }
    EXPECT_EQ(handler.calls, 1);
    EXPECT_GT(held.size(), 16);
    EXPECT_LE(held.size(), 64); // 4 MiB hold 64 blocks at the most
    EXPECT_THROW(tm->MakeTiles(2), KXBadAlloc);
    tm->CleanUpTiles(held);
    tm->CleanUpTiles(tm->MakeTiles(static_cast<unsigned int>(held.size() / 2)));
    tm->SetExceptionHandler(nullptr, nullptr);
}

// Memory follows the blocks alive: a long run of images coming and going,
// 100 blocks held at a time, keeps neither pages nor disk space for every
// block it ever used.
TEST(VQTileManager64, ReturnedBlocksGiveTheirMemoryBack)
{
    QTemporaryDir directory;
    PageFileOnly pageFileOnly;
    ManagerInDirectory scoped(directory.path());
    VQTileManager64* tm = VQTileManager64::Instance();
    const QString file = directory.path() + "/" + PageFiles(directory.path()).value(0);
    std::deque<void*> held;
    for (int i = 0; i < 6000; ++i) {
        held.push_back(tm->MakeTile());
        std::memset(tm->GetMemory(held.back(), true), i, VQTileManager64::kBlockSize);
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
    for (void* tile : held)
        tm->CleanUpTile(tile);
}

// The same run with the manager's resident memory: the dropped images'
// pages are moved under the blocks handed out next, so the page file never
// gets disk space (nothing is written back to the disk), resident memory
// stays near what is held, and every held block keeps its bytes while the
// memory of free blocks around it moves.
TEST(VQTileManager64, ResidentMemoryFollowsTheBlocksHeld)
{
    QTemporaryDir directory;
    ManagerInDirectory scoped(directory.path());
    VQTileManager64* tm = VQTileManager64::Instance();
    const QString file = directory.path() + "/" + PageFiles(directory.path()).value(0);
    const long long anonBefore = StatusBytes("RssAnon");
    std::deque<std::pair<void*, int>> held;
    int damaged = 0;
    const auto release = [&] {
        const auto* bytes = static_cast<const unsigned char*>(tm->GetMemory(held.front().first, false));
        const unsigned char fill = static_cast<unsigned char>(held.front().second);
        for (unsigned int i = 0; i < VQTileManager64::kBlockSize; i += 509)
            damaged += bytes[i] != fill;
        tm->CleanUpTile(held.front().first);
        held.pop_front();
    };
    for (int i = 0; i < 6000; ++i) {
        held.emplace_back(tm->MakeTile(), i);
        std::memset(tm->GetMemory(held.back().first, true), i, VQTileManager64::kBlockSize);
        if (held.size() > 100)
            release();
    }
    EXPECT_EQ(damaged, 0);
    struct stat status;
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &status), 0);
    EXPECT_EQ(status.st_blocks, 0);
    // 101 blocks held at the most, in at most 5 chunks of 2 MiB; free
    // chunks kept: the reserve of 256 blocks (8 chunks) and a batch of 512
    // (16 chunks) before it is trimmed: 58 MiB at the most.
    EXPECT_LE(StatusBytes("RssAnon") - anonBefore, 58ll << 20);
    while (!held.empty())
        release();
    EXPECT_EQ(damaged, 0);
}

// 4,000 blocks written and let go of stay resident as the reserve kept for
// quick reuse (at most 512 MiB); given back on request, the resident
// memory falls by nearly all of them, and blocks made afterwards work.
TEST(VQTileManager64, FreeBlocksGiveTheirMemoryBackOnRequest)
{
    QTemporaryDir directory;
    ManagerInDirectory scoped(directory.path());
    VQTileManager64* tm = VQTileManager64::Instance();
    std::vector<void*> blocks;
    for (int i = 0; i < 4000; ++i) {
        blocks.push_back(tm->MakeTile());
        std::memset(tm->GetMemory(blocks.back(), true), i, VQTileManager64::kBlockSize);
    }
    for (void* block : blocks)
        tm->CleanUpTile(block);
    const long long kept = StatusBytes("RssAnon") + StatusBytes("RssFile") + StatusBytes("RssShmem");
    tm->GiveBackFreeMemory();
    const long long after = StatusBytes("RssAnon") + StatusBytes("RssFile") + StatusBytes("RssShmem");
    EXPECT_GE(kept - after, 200ll << 20); // of the 250 MiB written
    void* again = tm->MakeTile();
    std::memset(tm->GetMemory(again, true), 7, VQTileManager64::kBlockSize);
    EXPECT_EQ(static_cast<const unsigned char*>(tm->GetMemory(again, false))[1000], 7);
    tm->CleanUpTile(again);
}

// Once a process has made and dropped an image, the next image of the same
// size finds its blocks resident when they are handed out: writing them
// costs no page faults (in the page file alone every 4 KiB page of a
// never-used or discarded block faults, 16 a block).
TEST(VQTileManager64, BlocksOfANewImageAreResident)
{
    QTemporaryDir directory;
    ManagerInDirectory scoped(directory.path());
    VQTileManager64* tm = VQTileManager64::Instance();
    constexpr int kImageBlocks = 3008; // 94 chunks of 32 blocks
    std::vector<void*> image;
    image.reserve(kImageBlocks);
    long long missing = 0;
    for (int round = 0; round < 3; ++round) {
        missing = 0;
        for (int i = 0; i < kImageBlocks; ++i) {
            image.push_back(tm->MakeTile());
            void* memory = tm->GetMemory(image.back(), true);
            missing += MissingPages(memory);
            std::memset(memory, round, VQTileManager64::kBlockSize);
        }
        for (void* tile : image)
            tm->CleanUpTile(tile);
        image.clear();
    }
    EXPECT_EQ(missing, 0) << "pages of the third image's blocks were not resident";
}

// Blocks handed out in the pool's memory get no disk space in the page
// file as well: with every block free and the memory given back on
// request, the page file holds nothing. (Space taken under memory could
// never be given back, and its count kept the manager searching the whole
// free list at every return.) A request of more blocks than are made
// resident at once, starting inside a chunk, ends its resident part inside
// a chunk of memory whose remaining blocks come in the same request.
TEST(VQTileManager64, BlocksInMemoryTakeNoDiskSpace)
{
    QTemporaryDir directory;
    ManagerInDirectory scoped(directory.path());
    VQTileManager64* tm = VQTileManager64::Instance();
    const QString file = directory.path() + "/" + PageFiles(directory.path()).value(0);
    const QList<void*> first = tm->MakeTiles(10);
    const QList<void*> large = tm->MakeTiles(4200);
    tm->CleanUpTiles(large);
    tm->CleanUpTiles(first);
    tm->GiveBackFreeMemory();
    struct stat status;
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &status), 0);
    EXPECT_EQ(status.st_blocks, 0);
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer build marks free blocks off-limits: a write past a tile or
// into a returned block stops the program, and so does a refused block.
TEST(VQTileManager64DeathTest, SanitizerCatchesWritesOutsideHeldBlocks)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    VQTileManager64* tm = VQTileManager64::Instance();
    // A child that dies leaves its page file behind; remove those afterwards.
    struct RemoveChildPageFiles {
        QString directory;
        QStringList keep;
        ~RemoveChildPageFiles()
        {
            for (const QString& name : PageFiles(directory))
                if (!keep.contains(name))
                    QFile::remove(directory + "/" + name);
        }
    } cleanup{KXFileIOManager::GetTemporaryPath(), PageFiles(KXFileIOManager::GetTemporaryPath())};
    EXPECT_DEATH(static_cast<char*>(tm->GetMemory(tm->MakeTile(), true))[VQTileManager64::kBlockSize] = 1,
                 "use-after-poison"); // one byte past the tile
    void* tile = tm->MakeTile();
    char* memory = static_cast<char*>(tm->GetMemory(tile, true));
    tm->CleanUpTile(tile);
    EXPECT_DEATH(memory[0] = 1, "use-after-poison"); // into a returned block
    EXPECT_DEATH(tm->CleanUpTile(tile), "Tile already free");
    int local = 0;
    EXPECT_DEATH(tm->CleanUpTile(&local), "Invalid tile pointer");
}
#endif
