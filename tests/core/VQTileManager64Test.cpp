#include "KXFileIOManager.h"
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
#include <cstring>
#include <set>
#include <thread>
#include <vector>

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
    return QDir(directory).entryList(QStringList() << QStringLiteral("tamrixo*.page"), QDir::Files);
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

TEST(VQTileManager64, WithoutPageFileFallsBackToMemory)
{
    KXTest::LogCapture log;
    ManagerInDirectory scoped(QStringLiteral("/nonexistent-kxcore-dir/sub"));
    const QStringList messages = log.Messages().mid(3); // after the old manager's farewell
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].endsWith("file=\"src/VQTileManager64\". Unknown exception. File creation error."))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[1].contains("anonymous memory")) << messages[1].toStdString();

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
}
#endif
