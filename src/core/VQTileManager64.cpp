#include "VQTileManager64.h"

#include "KXFileIOManager.h"
#include "core/KXLogMacros.h"
#include "core/KXPageFile.h"
#include "core/KXResidentPool.h"
#include "core/KXTileFaultInjection.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <stdexcept>

#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define KX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX_ASAN 1
#endif
#endif

#ifdef KX_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif

namespace {
// How many blocks fit in half of the process's address-space limit (the
// other half is left to the host: decoders, Qt, its own buffers); no limit
// when the address space is not capped.
uint64_t BlocksWithinAddressSpace(uint64_t blockSize)
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return UINT64_MAX;
    return static_cast<uint64_t>(limit.rlim_cur) / 2 / blockSize;
}

const char kLogFile[] = "src/VQTileManager64";
// Sanitizer builds mark free blocks off-limits this many at a time, ahead of
// the highest block handed out, so that the shadow of the whole 6.5 GB is
// never written at once.
[[maybe_unused]] constexpr uint64_t kPoisonChunk = 256;

// Block states.
constexpr uint8_t kHeld = 1;   // handed out, not yet returned
constexpr uint8_t kBacked = 2; // has its disk space (and maybe pages)

// A block without disk space gets it together with the blocks after it
// that lack it too, up to this many: one call per 16 MiB on the first pass
// through the page file (and first writes into space reserved in one piece
// are cheaper than into holes).
constexpr int kBackRun = 256;
// Free memory is kept (warm, for the next image) up to a reserve of as
// many blocks as were ever held at once, at least kReserveFloor and at most
// kReserveCap; beyond it free blocks give their pages and disk space back,
// kDiscardBatch or more at a time (giving back costs about as much for one
// block as for many).
constexpr long long kReserveFloor = 256;  // 16 MiB
constexpr long long kReserveCap = 8192;   // 512 MiB
constexpr long long kDiscardBatch = 512;  // 32 MiB
// A request for more blocks than this at once (blocks parked by a test or
// a benchmark) takes the page file for the rest, which costs nothing until
// written.
constexpr int kResidentBulk = 4096;

// The resident pool may hold up to a quarter of the machine's memory, in
// chunks: anonymous memory is never paged to a file (and there may be no
// swap). Beyond it, blocks live in the page file.
uint64_t ResidentCapChunks(uint64_t blockSize)
{
    if (KXResidentPool::CapOverride() >= 0)
        return static_cast<uint64_t>(KXResidentPool::CapOverride());
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 4 / blockSize
           / KXResidentPool::kChunkBlocks;
}

// The test hook: block requests still to be served before one fails, -1
// when off. Decrements racing on several threads give each request its
// own number. A single failure leaves the count below 0, which turns the
// hook off; failures that stay fail every request whose number is at or
// past the armed one.
std::atomic<long long> gRequestsBeforeFailure{-1};
std::atomic<bool> gFailuresStay{false};
std::atomic<bool> gInjectedFailureFired{false};

// True for a request the test hook makes fail.
bool InjectedFailure()
{
    const bool stay = gFailuresStay.load(std::memory_order_relaxed);
    if (!stay && gRequestsBeforeFailure.load(std::memory_order_relaxed) < 0)
        return false;
    const long long left = gRequestsBeforeFailure.fetch_sub(1, std::memory_order_relaxed);
    if (stay ? left > 0 : left != 0)
        return false;
    gInjectedFailureFired.store(true, std::memory_order_relaxed);
    return true;
}

void Arm(long long n, bool stay)
{
    gFailuresStay.store(false, std::memory_order_relaxed);
    gInjectedFailureFired.store(false, std::memory_order_relaxed);
    gRequestsBeforeFailure.store(n < 0 ? -1 : n, std::memory_order_relaxed);
    gFailuresStay.store(stay && n >= 0, std::memory_order_relaxed);
}
} // namespace

void KXTileFaultInjection::FailRequest(long long n)
{
    Arm(n, false);
}

void KXTileFaultInjection::FailFrom(long long n)
{
    Arm(n, true);
}

void KXTileFaultInjection::Disarm()
{
    Arm(-1, false);
}

bool KXTileFaultInjection::Fired()
{
    return gInjectedFailureFired.load(std::memory_order_relaxed);
}

const char* KXBadAlloc::what() const noexcept
{
    return "bad allocation";
}

#define KX_DEFINE_TM_EXCEPTION(Name, Text)                                \
    const char* const Name::WHATDATA = Text;                              \
    Name::~Name() = default;                                              \
    const char* Name::what() const noexcept { return WHATDATA; }

KX_DEFINE_TM_EXCEPTION(KXTMBadInstance, "Tile manager instance doesn't exist.")
KX_DEFINE_TM_EXCEPTION(KXTMSwapError, "Nothing to swap.")
KX_DEFINE_TM_EXCEPTION(KXTMInvalidBlock, "Invalid tile pointer.")
KX_DEFINE_TM_EXCEPTION(KXTMAlreadyFree, "Tile already free.")
KX_DEFINE_TM_EXCEPTION(KXTMSwapFileError, "Can't create swap file.")
#undef KX_DEFINE_TM_EXCEPTION

VQTileManager64* VQTileManager64::m_pInstance = nullptr;

void VQTileManager64::InitInstance(bool flag)
{
    if (!m_pInstance)
        m_pInstance = new VQTileManager64(flag, kBlockSize, kPageFileBlocks, kMaxBlocks);
}

void VQTileManager64::NoInstance()
{
    KX_LOG_FATAL(kLogFile, QStringLiteral("No tile manager: an image was made, used or destroyed before "
                                          "VQTileManager64::InitInstance() or after ReleaseInstance(). Call "
                                          "InitInstance() before the first image and ReleaseInstance() after "
                                          "the last image is gone."));
}

void VQTileManager64::ReleaseInstance()
{
    if (m_pInstance) {
        delete m_pInstance;
        m_pInstance = nullptr;
    }
}

int VQTileManager64::CleanupOrphanPageFiles()
{
    const int removed = KXPageFile::RemoveOrphans(KXFileIOManager::GetTemporaryPath());
    if (removed > 0)
        KX_LOG_REPORT(kLogFile, QStringLiteral("Removed %1 page files left by earlier runs").arg(removed));
    return removed;
}

void VQTileManager64::CleanupPageFiles()
{
    QDir dir(KXFileIOManager::GetTemporaryPath());
    const QFileInfoList leftovers =
        dir.entryInfoList(QStringList() << QStringLiteral("tamrixo*.page"),
                          QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo& info : leftovers)
        QFile::remove(info.absoluteFilePath());
}

VQTileManager64::MemoryInfo VQTileManager64::GetMemInfo()
{
    return MemoryInfo();
}

VQTileManager64::VQTileManager64(bool, unsigned int blockSize, unsigned int pageFileBlocks,
                                 unsigned int maxBlocks)
    : m_pageFileBlocks(pageFileBlocks),
      m_maxBlocks(maxBlocks < pageFileBlocks ? maxBlocks : pageFileBlocks),
      m_blockSize(blockSize)
{
    const uint64_t fit = BlocksWithinAddressSpace(m_blockSize);
    if (fit < m_pageFileBlocks) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("Address space limited: %1 tile blocks instead of %2")
                                    .arg(fit)
                                    .arg(m_pageFileBlocks));
        m_pageFileBlocks = fit;
        m_maxBlocks = std::min(m_maxBlocks, fit);
    }
    try {
        WinAlloc();
    } catch (const std::exception& e) {
        KX_LOG_REPORT(kLogFile, QString::fromLocal8Bit(e.what()));
    }
    if (!m_pageFile) {
        // Without a page file the blocks come from ordinary memory, so that
        // the host keeps working; if even that is refused, every request
        // fails as an exhaustion.
        m_pageFile = KXPageFile::CreateAnonymous(m_blockSize * m_pageFileBlocks);
        KX_LOG_REPORT(kLogFile, m_pageFile
                                    ? QStringLiteral("No page file: tile blocks come from anonymous memory.")
                                    : QStringLiteral("No page file and no memory: no tile block can be handed out."));
    }
    if (m_pageFile)
        m_base = m_pageFile->Base();
    AllocateTileDescriptors();
}

VQTileManager64::~VQTileManager64()
{
    KX_LOG_REPORT(kLogFile, QStringLiteral("Destroy"));
    const long long lost = static_cast<long long>(m_descriptorCount) - m_free.size();
    delete[] m_descriptors;
    m_descriptors = nullptr;
    KX_LOG_REPORT(kLogFile, QStringLiteral("Tile manager:lost memory blocks = %1").arg(lost));
    WinFree();
    KX_LOG_REPORT(kLogFile, QStringLiteral("Destroyed"));
}

void VQTileManager64::WinAlloc()
{
    m_pageFile = KXPageFile::CreateFile(KXFileIOManager::GetTemporaryPath(),
                                        m_blockSize * m_pageFileBlocks);
}

void VQTileManager64::WinFree()
{
#ifdef KX_ASAN
    if (m_base && m_poisonedUpTo)
        ASAN_UNPOISON_MEMORY_REGION(m_base, m_poisonedUpTo * m_blockSize);
#endif
    m_pool.reset();
    m_pageFile.reset();
    m_base = nullptr;
}

void VQTileManager64::AllocateTileDescriptors()
{
    if (!m_base)
        return;
    m_descriptorCount = m_maxBlocks;
    m_descriptors = new TileData[m_descriptorCount];
    m_state.reset(new uint8_t[m_descriptorCount]());
    m_free.reserve(static_cast<int>(m_descriptorCount));
    for (uint64_t i = 0; i < m_descriptorCount; ++i) {
        m_descriptors[i].memory = m_base + i * m_blockSize;
        m_free.append(&m_descriptors[i]);
    }
    m_pool = KXResidentPool::Create(m_pageFile.get(), m_descriptorCount, m_blockSize, ResidentCapChunks(m_blockSize));
}

void VQTileManager64::PoisonFreshBlocks(uint64_t index)
{
#ifdef KX_ASAN
    // Keep at least the block after `index` marked, so that a write running
    // off the end of a tile is caught even in never-used blocks.
    while (m_poisonedUpTo < index + 2 && m_poisonedUpTo < m_descriptorCount) {
        uint64_t end = m_poisonedUpTo + kPoisonChunk;
        if (end > m_descriptorCount)
            end = m_descriptorCount;
        ASAN_POISON_MEMORY_REGION(m_base + m_poisonedUpTo * m_blockSize,
                                  (end - m_poisonedUpTo) * m_blockSize);
        m_poisonedUpTo = end;
    }
#else
    (void)index;
#endif
}

VQTileManager64::TileData* VQTileManager64::AllocTile()
{
    TileData* tile = m_free.takeFirst();
    const uint64_t index = static_cast<uint64_t>(tile - m_descriptors);
    ++m_inUse;
    m_highWater = std::max(m_highWater, m_inUse);
    m_state[index] |= kHeld;
    if (m_state[index] & kBacked)
        --m_backedFree;
#ifdef KX_ASAN
    PoisonFreshBlocks(static_cast<uint64_t>(tile - m_descriptors));
    ASAN_UNPOISON_MEMORY_REGION(tile->memory, m_blockSize);
#endif
    return tile;
}

void VQTileManager64::Exhausted()
{
    {
        std::lock_guard<std::mutex> lock(m_handlerMutex);
        if (m_handler && !m_notified.load(std::memory_order_relaxed)) {
            m_notified.store(true, std::memory_order_relaxed);
            m_handler(m_handlerContext, KXBadAlloc());
        }
    }
    throw KXBadAlloc();
}

// Gives the free block at `position` of the free list its disk space (when
// it is not in the pool's memory), with the free page-file blocks after it
// that lack space too; false when the file system has no room left even
// after the free blocks beyond the first `front` gave theirs back.
bool VQTileManager64::BackBlock(int position, int front)
{
    const uint64_t first = static_cast<uint64_t>(m_free.at(position) - m_descriptors);
    if (m_state[first] & kBacked)
        return true;
    // A block in the pool's memory (the rest of a chunk made resident for
    // the blocks before it) needs none: space taken under memory could not
    // be given back, and counted among the free blocks' space it would keep
    // DiscardFree searching the whole free list at every return.
    if (m_pool && m_pool->InMemory(first))
        return true;
    const auto lacks = [&](uint64_t block) {
        return !(m_state[block] & (kBacked | kHeld)) && !(m_pool && m_pool->InMemory(block));
    };
    uint64_t end = first + 1;
    while (end < m_descriptorCount && end - first < kBackRun && lacks(end))
        ++end;
    if (!m_pageFile->Back(first * m_blockSize, (end - first) * m_blockSize)) {
        // Near a full disk: at least this one, with the space of the free
        // blocks further back if need be.
        end = first + 1;
        if (!m_pageFile->Back(first * m_blockSize, m_blockSize)) {
            DiscardFree(0, front);
            if (!m_pageFile->Back(first * m_blockSize, m_blockSize))
                return false;
        }
    }
    for (uint64_t block = first; block < end; ++block)
        m_state[block] |= kBacked;
    m_backedFree += static_cast<long long>(end - first);
    return true;
}

long long VQTileManager64::Reserve() const
{
    return std::min(std::max(m_highWater, kReserveFloor), kReserveCap);
}

// Gives back the pages and disk space of the most recently returned free
// blocks (the last to be handed out again) until `keep` of them have space
// left, passing over the first `front` of the free list. Neighbouring blocks
// go in one call.
void VQTileManager64::DiscardFree(long long keep, int front)
{
    std::vector<uint64_t> blocks;
    for (int i = m_free.size() - 1; i >= front && m_backedFree - static_cast<long long>(blocks.size()) > keep; --i) {
        const uint64_t block = static_cast<uint64_t>(m_free.at(i) - m_descriptors);
        // (A block of the pool's memory has no disk space: its chunk gave
        // it back when it became memory.)
        if ((m_state[block] & kBacked) && !(m_pool && m_pool->InMemory(block)))
            blocks.push_back(block);
    }
    std::sort(blocks.begin(), blocks.end());
    for (size_t start = 0; start < blocks.size();) {
        size_t end = start + 1;
        while (end < blocks.size() && blocks[end] == blocks[end - 1] + 1)
            ++end;
        if (m_pageFile->Discard(blocks[start] * m_blockSize, (end - start) * m_blockSize)) {
            for (size_t i = start; i < end; ++i)
                m_state[blocks[i]] &= static_cast<uint8_t>(~kBacked);
            m_backedFree -= static_cast<long long>(end - start);
        }
        start = end;
    }
}

// Makes the chunk of the free block `block` resident memory of the pool,
// when it is or can be: every block of it free. Free blocks of the chunk
// that have disk space give it back first, while the page file is still
// mapped there.
bool VQTileManager64::TakeChunk(uint64_t block)
{
    if (m_pool->Resident(block))
        return true;
    if (!m_pool->ChunkFree(block))
        return false;
    const uint64_t first = block - block % KXResidentPool::kChunkBlocks;
    const uint64_t end = std::min(first + KXResidentPool::kChunkBlocks, m_descriptorCount);
    for (uint64_t b = first; b < end && !m_pool->InMemory(block);) {
        if (!(m_state[b] & kBacked)) {
            ++b;
            continue;
        }
        uint64_t runEnd = b + 1;
        while (runEnd < end && (m_state[runEnd] & kBacked))
            ++runEnd;
        if (m_pageFile->Discard(b * m_blockSize, (runEnd - b) * m_blockSize)) {
            for (uint64_t i = b; i < runEnd; ++i)
                m_state[i] &= static_cast<uint8_t>(~kBacked);
            m_backedFree -= static_cast<long long>(runEnd - b);
        }
        b = runEnd;
    }
#ifdef KX_ASAN
    // A new mapping comes unpoisoned: every block of both chunks is free.
    uint64_t mappedAgain = UINT64_MAX;
    const bool taken = m_pool->Take(block, &mappedAgain);
    ASAN_POISON_MEMORY_REGION(m_base + first * m_blockSize, (end - first) * m_blockSize);
    if (mappedAgain != UINT64_MAX)
        ASAN_POISON_MEMORY_REGION(m_base + mappedAgain * m_blockSize, KXResidentPool::kChunkBlocks * m_blockSize);
    return taken;
#else
    return m_pool->Take(block);
#endif
}

// Readies the first `count` blocks of the free list to be handed out:
// memory of the pool where their chunk is resident or can be made so, disk
// space in the page file otherwise. False, with nothing changed that
// matters, when the disk has no room.
bool VQTileManager64::ReadyFront(int count)
{
    const int resident = std::min(count, kResidentBulk);
    int ready = 0;
    for (; ready < count; ++ready) {
        const uint64_t block = static_cast<uint64_t>(m_free.at(ready) - m_descriptors);
        if (!(m_pool && ready < resident && TakeChunk(block)) && !BackBlock(ready, count))
            break;
        // Counted held in the pool at once, so that no later block of the
        // request takes this one's chunk as a spare.
        if (m_pool)
            m_pool->Held(block);
    }
    if (ready == count)
        return true;
    for (int i = 0; i < ready && m_pool; ++i)
        m_pool->Freed(static_cast<uint64_t>(m_free.at(i) - m_descriptors));
    return false;
}

void* VQTileManager64::MakeTile()
{
    QMutexLocker lock(&m_mutex);
    if (!InjectedFailure() && m_inUse < static_cast<long long>(m_maxBlocks) && !m_free.isEmpty() && ReadyFront(1))
        return AllocTile();
    Exhausted();
}

QList<void*> VQTileManager64::MakeTiles(unsigned int count)
{
    QMutexLocker lock(&m_mutex);
    if (InjectedFailure() || count >= static_cast<unsigned int>(m_free.size()) || !ReadyFront(static_cast<int>(count)))
        Exhausted();
    QList<void*> tiles;
    tiles.reserve(static_cast<int>(count));
    for (unsigned int i = 0; i < count; ++i)
        tiles.append(AllocTile());
    return tiles;
}

// True when `tile` is one of the descriptors (compared as addresses, so
// that any pointer can be tested).
bool VQTileManager64::IsBlock(void* tile, uint64_t* index) const
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(tile);
    const uintptr_t first = reinterpret_cast<uintptr_t>(m_descriptors);
    if (!m_descriptors || address < first || (address - first) % sizeof(TileData) != 0)
        return false;
    *index = (address - first) / sizeof(TileData);
    return *index < m_descriptorCount;
}

// A block returned twice would later be handed to two images; a handle
// that is no block would put foreign memory into the free list. Both are
// refused; sanitizer builds stop the program, so that tests and fuzzing
// find the caller.
void VQTileManager64::Refuse(const char* reason)
{
    KX_LOG_REPORT(kLogFile, QString::fromLatin1(reason));
#ifdef KX_ASAN
    __sanitizer_print_stack_trace();
    std::abort();
#endif
}

void VQTileManager64::Release(TileData* tile)
{
    uint64_t index = 0;
    if (!IsBlock(tile, &index)) {
        Refuse(KXTMInvalidBlock::WHATDATA);
        return;
    }
    QMutexLocker lock(&m_mutex);
    if (!(m_state[index] & kHeld)) {
        lock.unlock();
        Refuse(KXTMAlreadyFree::WHATDATA);
        return;
    }
    m_state[index] &= static_cast<uint8_t>(~kHeld);
#ifdef KX_ASAN
    ASAN_POISON_MEMORY_REGION(tile->memory, m_blockSize);
#endif
    m_free.append(tile);
    --m_inUse;
    if (m_state[index] & kBacked)
        ++m_backedFree;
    if (m_notified.load(std::memory_order_relaxed)) {
        std::lock_guard<std::mutex> handlerLock(m_handlerMutex);
        m_notified.store(false, std::memory_order_relaxed);
    }
    if (m_pool) {
        m_pool->Freed(index);
        // Spare chunks beyond the reserve give their memory back, a batch
        // at a time.
        const uint64_t keep = static_cast<uint64_t>(Reserve()) / KXResidentPool::kChunkBlocks;
        if (m_pool->SpareChunks() > keep + kDiscardBatch / KXResidentPool::kChunkBlocks)
            m_pool->Trim(keep);
    }
    if (m_backedFree > Reserve() + kDiscardBatch)
        DiscardFree(Reserve(), 0);
}

void VQTileManager64::GiveBackFreeMemory()
{
    QMutexLocker lock(&m_mutex);
    if (m_pool)
        m_pool->Trim(0);
    if (m_backedFree > 0)
        DiscardFree(0, 0);
}

void VQTileManager64::CleanUpTile(void* tile)
{
    Release(static_cast<TileData*>(tile));
}

void VQTileManager64::CleanUpTiles(const QList<void*>& tiles)
{
    for (void* tile : tiles)
        Release(static_cast<TileData*>(tile));
}

long long VQTileManager64::GetAvailableCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_free.size();
}

void VQTileManager64::ReadMemory(void* tile, char* destination) const
{
    if (tile)
        std::memcpy(destination, static_cast<TileData*>(tile)->memory, m_blockSize);
}

QString VQTileManager64::PageFilePath() const
{
    return m_pageFile ? m_pageFile->Path() : QString();
}

void VQTileManager64::SetExceptionHandler(ExceptionHandler handler, void* context)
{
    std::lock_guard<std::mutex> lock(m_handlerMutex);
    m_handler = handler;
    m_handlerContext = context;
}
