#ifndef KXPAGEFILE_H
#define KXPAGEFILE_H

// The memory behind the tile manager's blocks: a temporary file extended to
// the full size and mapped whole (shared), or anonymous memory of the same
// size when no file can be had. Private to the library.

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

    ~KXPageFile(); // unmaps, closes and deletes the file

    KXPageFile(const KXPageFile&) = delete;
    KXPageFile& operator=(const KXPageFile&) = delete;

    char* Base() const { return m_base; }
    uint64_t Size() const { return m_size; }
    const QString& Path() const { return m_path; }

private:
    KXPageFile() = default;

    QString m_path;      // empty for anonymous memory
    int m_fd = -1;       // open file, -1 when none
    char* m_base = nullptr;
    uint64_t m_size = 0;
};

#endif // KXPAGEFILE_H
