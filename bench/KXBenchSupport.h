#ifndef KXBENCHSUPPORT_H
#define KXBENCHSUPPORT_H

#include "VQTileManager64.h"

#include <QList>

// Holds all free tile blocks but `leave` while alive. Blocks come back at the
// end of the free list, so a fresh tile manager hands out never-touched
// pages of its page file first (a page fault per 4 KiB); parking most blocks
// makes a benchmark reuse the few left, which are touched once up front.
class KXParkedBlocks {
public:
    explicit KXParkedBlocks(long long leave)
    {
        VQTileManager64* tm = VQTileManager64::Instance();
        const long long take = tm->GetAvailableCount() - leave;
        if (take > 0)
            m_blocks = tm->MakeTiles(static_cast<unsigned int>(take));
        // Touch every page of the blocks left free once, so that the
        // benchmark sees warm memory from its first iteration.
        const QList<void*> rest = tm->MakeTiles(static_cast<unsigned int>(tm->GetAvailableCount() - 1));
        for (void* tile : rest) {
            char* memory = static_cast<char*>(tm->GetMemory(tile, true));
            for (unsigned int offset = 0; offset < VQTileManager64::kBlockSize; offset += 4096)
                memory[offset] = 0;
            tm->FreeMemory(tile);
        }
        tm->CleanUpTiles(rest);
    }
    ~KXParkedBlocks() { VQTileManager64::Instance()->CleanUpTiles(m_blocks); }
    KXParkedBlocks(const KXParkedBlocks&) = delete;
    KXParkedBlocks& operator=(const KXParkedBlocks&) = delete;

private:
    QList<void*> m_blocks;
};

#endif // KXBENCHSUPPORT_H
