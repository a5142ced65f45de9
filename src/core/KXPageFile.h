#ifndef KXPAGEFILE_H
#define KXPAGEFILE_H

// The memory behind the tile manager's blocks: a temporary file extended to
// the full size and mapped whole (shared), or anonymous memory of the same
// size when no file can be had. Private to the library.
//
// A page file belongs to one process: it is created exclusively (never
// opened when the name exists, never through a link) and stays locked
// (flock) by its owner while the owner lives, so that a later process can
// tell a live process's file from one left by a killed run. Its disk space
// is taken block by block as blocks are handed out (Back) and given back
// when they are not needed (Discard), so that a full disk shows up as a
// failed request instead of a signal on first write.

#include <QString>

#include <cstdint>
#include <memory>

class KXPageFile {
public:
    // Creates "<directory>/tamrixo<N>.page" of `size` bytes and maps it.
    // Throws std::runtime_error with the tile manager's texts on failure; a
    // file created on the way is deleted again.
    static std::unique_ptr<KXPageFile> CreateFile(const QString& directory, uint64_t size);
    // Anonymous private memory, reserved lazily; null when even that fails.
    static std::unique_ptr<KXPageFile> CreateAnonymous(uint64_t size);
    // Deletes the page files in `directory` that no running process holds;
    // returns how many went.
    static int RemoveOrphans(const QString& directory);

    ~KXPageFile(); // unmaps, closes and deletes the file

    KXPageFile(const KXPageFile&) = delete;
    KXPageFile& operator=(const KXPageFile&) = delete;

    char* Base() const { return m_base; }
    uint64_t Size() const { return m_size; }
    const QString& Path() const { return m_path; }

    // Reserves disk space under [offset, offset + length), so that writing
    // there cannot fail later; false when the file system refuses.
    bool Back(uint64_t offset, uint64_t length);
    // Gives the pages and disk space of [offset, offset + length) back; the
    // contents are lost. False when the system refuses (the range keeps its
    // space).
    bool Discard(uint64_t offset, uint64_t length);
    // Maps the file (or the anonymous memory) back under [offset, offset +
    // length) of the range, over whatever another mapping put there; the
    // contents are those the file holds there. False when the system
    // refuses (the old mapping stays).
    bool Restore(uint64_t offset, uint64_t length);

private:
    KXPageFile() = default;

    QString m_path;      // empty for anonymous memory
    int m_fd = -1;       // open (and locked) file, -1 when none
    char* m_base = nullptr;
    uint64_t m_size = 0;
};

#endif // KXPAGEFILE_H
