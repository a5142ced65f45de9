#ifndef VQTILEMANAGER64_H
#define VQTILEMANAGER64_H

/// \file
/// The process-wide owner of all tile memory: one large page file mapped once
/// and cut into 65,536-byte blocks. Images take blocks with MakeTile and give
/// them back with CleanUpTile; the operating system pages the mapped file.
///
/// The page file is this process's alone (created exclusively, locked while
/// the process lives). A block gets its disk space when it is handed out, so
/// a full disk is an exhausted tile manager (std::bad_alloc), never a signal
/// on first write; returned blocks beyond a small reserve give their pages
/// and disk space back, so that memory follows the tiles alive.

#include "kxcore_export.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <new>

class KXPageFile;
class KXResidentPool;

/// The std::bad_alloc the library throws: its text is "bad allocation" on
/// every platform.
class KXCORE_EXPORT KXBadAlloc : public std::bad_alloc {
public:
    const char* what() const noexcept override; ///< "bad allocation".
};

/// Exceptions offered to the host; the library itself never throws them.
/// Declares one of the five std::exception classes KXTMBadInstance,
/// KXTMSwapError, KXTMInvalidBlock, KXTMAlreadyFree and KXTMSwapFileError,
/// each with a static text WHATDATA that what() returns. Undefined again
/// after them.
#define KX_DECLARE_TM_EXCEPTION(Name)                         \
    class KXCORE_EXPORT Name : public std::exception {        \
    public:                                                   \
        Name() = default;                                     \
        Name(const Name&) = default;                          \
        Name& operator=(const Name&) = default;               \
        ~Name() override;                                     \
        const char* what() const noexcept override;           \
        static const char* const WHATDATA;                    \
    };

KX_DECLARE_TM_EXCEPTION(KXTMBadInstance)
KX_DECLARE_TM_EXCEPTION(KXTMSwapError)
KX_DECLARE_TM_EXCEPTION(KXTMInvalidBlock)
KX_DECLARE_TM_EXCEPTION(KXTMAlreadyFree)
KX_DECLARE_TM_EXCEPTION(KXTMSwapFileError)
#undef KX_DECLARE_TM_EXCEPTION

/// The process-wide block allocator behind every image tile. Create it with
/// InitInstance before the first image and destroy it with ReleaseInstance
/// after the last.
class KXCORE_EXPORT VQTileManager64 {
public:
    /// The descriptor of one block: where its bytes are. The opaque tile handle
    /// (void*) of every member function is a TileData*.
    struct TileData {
        char* memory; ///< The block's first byte.
    };

    /// Nine statistics fields; no statistics are kept, so all are 0.
    struct MemoryInfo {
        uint64_t values[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0}; ///< Always 0.
    };

    /// Told of an exhaustion: the context given with it and the exception
    /// about to be thrown.
    using ExceptionHandler = void (*)(void* context, const std::exception& error);

    static constexpr unsigned int kBlockSize = 0x10000;     ///< Bytes in one block.
    static constexpr unsigned int kPageFileBlocks = 100000; ///< Blocks the page file holds.
    static constexpr unsigned int kMaxBlocks = 100000;      ///< Blocks that can be handed out.

    /// Creates the single instance (65,536-byte blocks, 100,000 of them) if
    /// there is none. The flag is not used. Call it before the first image
    /// is created: every image operation uses Instance() without a test.
    /// When no page file can be made (no usable directory, a file-size limit
    /// below its size, no disk space), the reason is logged and the blocks
    /// come from anonymous memory.
    static void InitInstance(bool flag = false);
    /// The instance; null before InitInstance and after ReleaseInstance.
    static VQTileManager64* Instance() { return m_pInstance; }
    /// The instance, for the images' own use: without one (an image made
    /// before InitInstance, or used or destroyed after ReleaseInstance) the
    /// program ends with one log line that names the mistake.
    static VQTileManager64* Require()
    {
        if (!m_pInstance)
            NoInstance();
        return m_pInstance;
    }
    /// Destroys the instance, logging the blocks still held, and deletes the
    /// page file. Images must not be used after it: blocks still held are
    /// reported as lost and their memory goes with the mapping.
    /// Not synchronised: call it from one thread while no image work runs.
    static void ReleaseInstance();
    /// Deletes every "tamrixo*.page" in the temporary directory, whoever
    /// made it. Not synchronised, like InitInstance.
    static void CleanupPageFiles();
    /// Deletes the page files in the temporary directory that no running
    /// process holds (left by a run that was killed); the file of a live
    /// process, this one's included, is never touched. Returns how many went.
    static int CleanupOrphanPageFiles();
    /// The statistics record; all zero.
    static MemoryInfo GetMemInfo();

    /// One free block; throws KXBadAlloc when none is left or its disk space
    /// cannot be had (after telling the exception handler, once per
    /// exhaustion).
    void* MakeTile();
    /// `count` blocks in free-list order; a request for all free blocks or
    /// more fails like MakeTile.
    QList<void*> MakeTiles(unsigned int count);
    /// Returns a block to the end of the free list. A block that is not held
    /// (returned twice) or a handle that is no block is refused with a logged
    /// line and never enters the free list; sanitizer builds stop there.
    void CleanUpTile(void* tile);
    /// CleanUpTile for each block of the list, in order.
    void CleanUpTiles(const QList<void*>& tiles);
    /// The number of free blocks.
    long long GetAvailableCount() const;
    /// Gives back the memory and page-file space of every free block, the
    /// reserve kept for quick reuse included: for a program about to hold a
    /// large buffer of its own beside its images. Blocks handed out later
    /// cost a first touch again.
    void GiveBackFreeMemory();

    // Block memory. No lock is taken; every GetMemory is paired with a
    // FreeMemory on the same tile. A block's contents are whatever it last
    // held (zeros once its pages were given back): fill or copy a whole
    // tile before reading it.

    /// The block's memory (null for a null handle); pair it with FreeMemory.
    void* GetMemory(void* tile, bool /*forWriting*/) const
    {
        return tile ? static_cast<TileData*>(tile)->memory : nullptr;
    }
    /// Ends a GetMemory on the same tile.
    void FreeMemory(void* /*tile*/) const {}
    /// Copies the whole block (BlockSize bytes) to `destination`; nothing for
    /// a null handle.
    void ReadMemory(void* tile, char* destination) const;

    /// The handler is told of an exhaustion once (until a block comes back),
    /// on the thread that asked, with both of the manager's locks held: it
    /// must not call back into the manager. A null handler switches it off.
    void SetExceptionHandler(ExceptionHandler handler, void* context);

    /// The page file's full path; empty when the blocks come from memory.
    QString PageFilePath() const;

    /// Block size in bytes.
    unsigned int BlockSize() const { return static_cast<unsigned int>(m_blockSize); }

private:
    // Internals: not exported.
    KXCORE_NO_EXPORT VQTileManager64(bool flag, unsigned int blockSize, unsigned int pageFileBlocks,
                                     unsigned int maxBlocks);
    KXCORE_NO_EXPORT ~VQTileManager64();
    VQTileManager64(const VQTileManager64&) = delete;
    VQTileManager64& operator=(const VQTileManager64&) = delete;

    [[noreturn]] static void NoInstance();
    KXCORE_NO_EXPORT TileData* AllocTile();
    KXCORE_NO_EXPORT void AllocateTileDescriptors();
    KXCORE_NO_EXPORT void Release(TileData* tile);
    KXCORE_NO_EXPORT void WinAlloc();
    KXCORE_NO_EXPORT void WinFree();
    [[noreturn]] KXCORE_NO_EXPORT void Exhausted();
    KXCORE_NO_EXPORT void PoisonFreshBlocks(uint64_t index);
    KXCORE_NO_EXPORT void DiscardFree(long long keep, int front);
    KXCORE_NO_EXPORT long long Reserve() const;
    KXCORE_NO_EXPORT bool IsBlock(void* tile, uint64_t* index) const;
    KXCORE_NO_EXPORT bool ReadyFront(int count);
    KXCORE_NO_EXPORT bool TakeChunk(uint64_t block);
    KXCORE_NO_EXPORT bool BackBlock(int position, int front);
    KXCORE_NO_EXPORT void Refuse(const char* reason);

    static VQTileManager64* m_pInstance;

    uint64_t m_pageFileBlocks;
    uint64_t m_maxBlocks;
    uint64_t m_blockSize;
    std::unique_ptr<KXPageFile> m_pageFile;
    long long m_inUse = 0;
    TileData* m_descriptors = nullptr;
    uint64_t m_descriptorCount = 0;
    char* m_base = nullptr;
    QList<TileData*> m_free;
    mutable QMutex m_mutex;
    std::mutex m_handlerMutex;
    ExceptionHandler m_handler = nullptr;
    void* m_handlerContext = nullptr;
    std::atomic<bool> m_notified{false};
    [[maybe_unused]] uint64_t m_poisonedUpTo = 0; // sanitizer builds: blocks below are marked
    // Per block: held by an image, and whether it has its disk space.
    std::unique_ptr<uint8_t[]> m_state;
    long long m_backedFree = 0; // free blocks that still have their space
    long long m_highWater = 0;  // the most blocks ever held at once
    // Resident memory moved under the blocks handed out next; null when
    // every block lives in the page file.
    std::unique_ptr<KXResidentPool> m_pool;
};

#endif // VQTILEMANAGER64_H
