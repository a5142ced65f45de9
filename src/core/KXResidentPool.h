#ifndef KXRESIDENTPOOL_H
#define KXRESIDENTPOOL_H

// Resident memory for the tile manager's blocks, in chunks of 32 blocks
// (2 MiB) of anonymous memory with huge pages, moved to where the blocks
// are handed out next. Private to the library.
//
// Why: the free list is first in, first out over all 100,000 blocks, so the
// block handed out next is almost never one whose pages are still resident:
// a returned block is handed out again only after every other free block.
// In the page file each 4 KiB page of such a block faults on first touch,
// the kernel clears it, and pages written there are written back to disk
// even when they only hold a dropped image's garbage; on virtual machines
// a first touch of a small page costs the hypervisor as much again.
//
// How: the blocks' addresses never change; what is mapped under them is
// the pool's business. A chunk whose blocks are all free can be turned
// into memory: it takes the huge page of a chunk whose blocks were all
// returned last (handed out last), moved with its page tables in one call
// and nothing cleared, or, while the pool may grow, a new one (a single
// fault of 2 MiB when first written). A chunk whose blocks are all free
// again becomes a spare; spares beyond the reserve give their memory back.
// Blocks of chunks that hold page-file blocks, and every block once the
// pool is at its cap (a share of the machine's memory: anonymous memory is
// never paged to a file), keep the page file.
//
// Not thread-safe: the tile manager calls it under its lock.

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class KXPageFile;

class KXResidentPool {
public:
    static constexpr uint64_t kChunkBlocks = 32;

    // A pool for `blocks` blocks of `blockSize` bytes at `file`'s base (which
    // starts on a chunk), with at most `capChunks` chunks resident; null
    // when the cap is 0.
    static std::unique_ptr<KXResidentPool> Create(KXPageFile* file, uint64_t blocks, uint64_t blockSize,
                                                  uint64_t capChunks);

    KXResidentPool(const KXResidentPool&) = delete;
    KXResidentPool& operator=(const KXResidentPool&) = delete;

    // Test hook: the cap of the pools made from now on, in chunks: 0 for no
    // pool (every block in the page file), negative for the default.
    static void OverrideCap(long long chunks);
    static long long CapOverride();

    // Whether `block` lies in a chunk of the pool's memory, and whether that
    // chunk is counted resident (its pages there or moved in).
    bool InMemory(uint64_t block) const { return m_kind[block / kChunkBlocks] != kFile; }
    bool Resident(uint64_t block) const { return m_kind[block / kChunkBlocks] == kResident; }
    // Whether no block of `block`'s chunk is held.
    bool ChunkFree(uint64_t block) const { return m_held[block / kChunkBlocks] == 0; }
    // Turns the chunk of `block`, whose blocks are all free, into memory;
    // false (the chunk keeps the page file) when the pool is at its cap and
    // has no spare. `mappedAgain`, when not null, is set to the first block
    // of a chunk that got a fresh mapping on the way (the one whose memory
    // moved), or to UINT64_MAX.
    bool Take(uint64_t block, uint64_t* mappedAgain = nullptr);
    // A block of the chunk handed out, or returned.
    void Held(uint64_t block);
    void Freed(uint64_t block);
    // Gives back the memory of spares beyond `keepChunks`, those returned
    // last first.
    void Trim(uint64_t keepChunks);

    uint64_t ResidentChunks() const { return m_resident; }
    uint64_t SpareChunks() const { return m_spareCount; }

private:
    enum Kind : uint8_t {
        kFile,     // the page file (or the base anonymous memory) is mapped
        kResident, // anonymous memory with its pages
        kEmpty,    // anonymous memory whose pages were given back
    };

    KXResidentPool() = default;
    char* ChunkAddress(uint64_t chunk) const;
    bool MapAnonymous(uint64_t chunk);
    bool Move(uint64_t from, uint64_t to, uint64_t* mappedAgain);
    uint64_t PopSpare(uint64_t except);

    KXPageFile* m_file = nullptr;
    uint64_t m_chunkBytes = 0;
    uint64_t m_capChunks = 0;
    uint64_t m_wholeChunks = 0;     // chunks of 32 blocks (a last partial one is never taken)
    uint64_t m_resident = 0;        // chunks of kind kResident
    uint64_t m_spareCount = 0;      // resident chunks with no block held
    std::vector<uint8_t> m_kind;    // per chunk
    std::vector<uint8_t> m_held;    // per chunk: blocks held
    std::deque<uint32_t> m_spares;  // resident chunks as they became free; entries gone stale are skipped
};

#endif // KXRESIDENTPOOL_H
