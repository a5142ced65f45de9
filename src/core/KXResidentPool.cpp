#include "core/KXResidentPool.h"

#include "core/KXPageFile.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#include <sys/mman.h>

namespace {
std::atomic<long long> gCapOverride{-1};
} // namespace

void KXResidentPool::OverrideCap(long long chunks)
{
    gCapOverride.store(chunks, std::memory_order_relaxed);
}

long long KXResidentPool::CapOverride()
{
    return gCapOverride.load(std::memory_order_relaxed);
}

std::unique_ptr<KXResidentPool> KXResidentPool::Create(KXPageFile* file, uint64_t blocks, uint64_t blockSize,
                                                       uint64_t capChunks)
{
    const uint64_t chunks = (blocks + kChunkBlocks - 1) / kChunkBlocks;
    if (!file || capChunks == 0 || chunks > UINT32_MAX)
        return nullptr;
    std::unique_ptr<KXResidentPool> pool(new KXResidentPool);
    pool->m_file = file;
    pool->m_chunkBytes = kChunkBlocks * blockSize;
    pool->m_capChunks = capChunks;
    pool->m_wholeChunks = blocks / kChunkBlocks; // a last partial chunk keeps the page file
    pool->m_kind.assign(chunks, kFile);
    pool->m_held.assign(chunks, 0);
    return pool;
}

char* KXResidentPool::ChunkAddress(uint64_t chunk) const
{
    return m_file->Base() + chunk * m_chunkBytes;
}

// Anonymous memory under the chunk, in huge pages where the system offers
// them (one fault and one page-table entry for 2 MiB).
bool KXResidentPool::MapAnonymous(uint64_t chunk)
{
    char* at = ChunkAddress(chunk);
    if (::mmap(at, m_chunkBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1,
               0) != at)
        return false;
    ::madvise(at, m_chunkBytes, MADV_HUGEPAGE);
    return true;
}

// Moves the pages of chunk `from` under chunk `to`, page tables and all (no
// page is copied or cleared), and puts fresh anonymous memory under `from`.
bool KXResidentPool::Move(uint64_t from, uint64_t to, uint64_t* mappedAgain)
{
    char* target = ChunkAddress(to);
#ifdef MREMAP_DONTUNMAP
    // One call where the system can leave `from` mapped, empty (Linux 5.7).
    if (::mremap(ChunkAddress(from), m_chunkBytes, m_chunkBytes, MREMAP_MAYMOVE | MREMAP_FIXED | MREMAP_DONTUNMAP,
                 target) == target) {
        m_kind[to] = kResident;
        m_kind[from] = kEmpty;
        return true;
    }
#endif
    if (::mremap(ChunkAddress(from), m_chunkBytes, m_chunkBytes, MREMAP_MAYMOVE | MREMAP_FIXED, target) != target)
        return false;
    m_kind[to] = kResident;
    if (mappedAgain)
        *mappedAgain = from * kChunkBlocks;
    if (MapAnonymous(from)) {
        m_kind[from] = kEmpty;
    } else {
        // The hole must not stay: the page file again, or, failing that
        // too, nothing is safe to hand out there any more.
        m_kind[from] = kFile;
        if (!m_file->Restore(from * m_chunkBytes, m_chunkBytes))
            std::abort();
    }
    return true;
}

// The spare that became free last, other than `except`; UINT64_MAX when none.
uint64_t KXResidentPool::PopSpare(uint64_t except)
{
    while (!m_spares.empty()) {
        const uint64_t chunk = m_spares.back();
        m_spares.pop_back();
        if (chunk != except && m_kind[chunk] == kResident && m_held[chunk] == 0)
            return chunk;
    }
    return UINT64_MAX;
}

bool KXResidentPool::Take(uint64_t block, uint64_t* mappedAgain)
{
    if (mappedAgain)
        *mappedAgain = UINT64_MAX;
    const uint64_t chunk = block / kChunkBlocks;
    if (m_kind[chunk] == kResident)
        return true;
    if (chunk >= m_wholeChunks)
        return false;
    // The chunk becomes a resident one with no block held: a spare until
    // its first block is handed out (Held).
    if (m_spareCount > 0) {
        const uint64_t spare = PopSpare(chunk);
        if (spare != UINT64_MAX && Move(spare, chunk, mappedAgain))
            return true;
    }
    if (m_resident < m_capChunks && (m_kind[chunk] == kEmpty || MapAnonymous(chunk))) {
        m_kind[chunk] = kResident;
        ++m_resident;
        ++m_spareCount;
        return true;
    }
    // At the cap: the page file again (no page there to lose).
    if (m_kind[chunk] == kEmpty && m_file->Restore(chunk * m_chunkBytes, m_chunkBytes))
        m_kind[chunk] = kFile;
    return m_kind[chunk] != kFile;
}

void KXResidentPool::Held(uint64_t block)
{
    const uint64_t chunk = block / kChunkBlocks;
    if (m_held[chunk]++ == 0 && m_kind[chunk] == kResident)
        --m_spareCount;
}

void KXResidentPool::Freed(uint64_t block)
{
    const uint64_t chunk = block / kChunkBlocks;
    if (--m_held[chunk] == 0 && m_kind[chunk] == kResident) {
        ++m_spareCount;
        m_spares.push_back(static_cast<uint32_t>(chunk));
        // Entries of chunks taken again since would pile up.
        if (m_spares.size() > 2 * m_spareCount + 1024) {
            std::vector<uint8_t> seen(m_kind.size(), 0);
            std::deque<uint32_t> kept;
            for (auto it = m_spares.rbegin(); it != m_spares.rend(); ++it)
                if (!seen[*it] && m_kind[*it] == kResident && m_held[*it] == 0) {
                    seen[*it] = 1;
                    kept.push_front(*it);
                }
            m_spares.swap(kept);
        }
    }
}

void KXResidentPool::Trim(uint64_t keepChunks)
{
    while (m_spareCount > keepChunks) {
        const uint64_t chunk = PopSpare(UINT64_MAX);
        if (chunk == UINT64_MAX)
            break;
        ::madvise(ChunkAddress(chunk), m_chunkBytes, MADV_DONTNEED);
        m_kind[chunk] = kEmpty;
        --m_resident;
        --m_spareCount;
    }
}
