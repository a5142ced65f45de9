#ifndef KXFUZZSUPPORT_H
#define KXFUZZSUPPORT_H

// What every fuzz target shares: a reader of typed values from the fuzzer's
// bytes, the one-time set-up of the library (offscreen GUI application, tile
// manager, one worker thread) and the checks that turn a broken promise into
// a crash the fuzzer reports.

#include "KXImage.h"
#include "VQTileManager64.h"
#include "core/KXTileFaultInjection.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QThreadPool>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace KXFuzz {

// Typed values taken from the front of the input; once the bytes run out
// every value is 0, so any input is a complete program.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t Remaining() const { return m_size - m_offset; }

    template <class T>
    T Take()
    {
        T value{};
        const size_t n = std::min(sizeof(T), Remaining());
        std::memcpy(&value, m_data + m_offset, n);
        m_offset += n;
        return value;
    }
    // lo … hi, both included (hi >= lo).
    int Range(int lo, int hi)
    {
        const uint32_t span = static_cast<uint32_t>(int64_t(hi) - lo + 1);
        return static_cast<int>(lo + int64_t(span ? Take<uint32_t>() % span : Take<uint32_t>()));
    }
    bool Flag() { return Take<uint8_t>() & 1; }
    // At most `max` of the remaining bytes.
    QByteArray Chunk(size_t max)
    {
        const size_t n = std::min(max, Remaining());
        QByteArray bytes(reinterpret_cast<const char*>(m_data + m_offset), static_cast<int>(n));
        m_offset += n;
        return bytes;
    }
    QByteArray Rest() { return Chunk(Remaining()); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

[[noreturn]] inline void Fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

#define KXFUZZ_CHECK(condition)                                     \
    do {                                                            \
        if (!(condition))                                           \
            KXFuzz::Fail(#condition, __FILE__, __LINE__);           \
    } while (0)

inline void QuietMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

// Once per process: a QGuiApplication on the offscreen platform (fonts need
// one) unless the host made an application already, the tile manager, and
// Qt's pool limited to one thread. The library's log lines are dropped
// unless KXFUZZ_LOG is set, when the host made no application of its own.
inline void Setup()
{
    static const bool ready = [] {
        if (!QCoreApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "kxfuzz";
            static char* argv[] = {name, nullptr};
            static QGuiApplication* app = new QGuiApplication(argc, argv);
            (void)app;
            if (!qEnvironmentVariableIsSet("KXFUZZ_LOG"))
                qInstallMessageHandler(QuietMessages);
        }
        if (!VQTileManager64::Instance()) {
            VQTileManager64::CleanupOrphanPageFiles();
            VQTileManager64::InitInstance(false);
        }
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        return true;
    }();
    (void)ready;
}

inline long long FreeBlocks()
{
    return VQTileManager64::Instance()->GetAvailableCount();
}

// Every pixel of an image, row by row (the reference a later state is
// compared with).
template <class T, unsigned int W, unsigned int H>
std::vector<T> Pixels(const KXImage<T, W, H>& image)
{
    std::vector<T> pixels(size_t(image.Width()) * image.Height());
    for (unsigned int y = 0; y < image.Height(); ++y)
        if (image.Width())
            image.GetLine(y, &pixels[size_t(y) * image.Width()], image.Width() * sizeof(T));
    return pixels;
}

// A small image whose pixels come from a seed (not all opaque, not all the
// same, so that filters and blends have work to do).
inline KXImageRGBA32i Pattern(unsigned int width, unsigned int height, uint32_t seed)
{
    KXImageRGBA32i image(width, height);
    std::vector<uint32_t> row(width);
    for (unsigned int y = 0; y < height; ++y) {
        for (unsigned int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = seed ^ (x * 0x01010101u);
        }
        if (width)
            image.SetLine(y, row.data(), width * 4);
    }
    return image;
}

// Faults an input asks for, from one byte: bit 0 runs the operation
// cancelled from the start (for those that take a cancel flag); bits 1 and
// 2 both set make tile request number byte >> 3 fail as an exhausted
// manager fails it, bit 1 alone makes it and every later request fail (an
// exhaustion that lasts). A std::bad_alloc that reaches the caller is the
// library's documented answer; the blocks must come back either way.
class Faults {
public:
    explicit Faults(Bytes& in) : m_byte(in.Take<uint8_t>()) {}

    bool Cancelled() const { return m_byte & 1; }

    template <class Body>
    void Run(Body&& body) const
    {
        if ((m_byte & 6) == 6)
            KXTileFaultInjection::FailRequest(m_byte >> 3);
        else if ((m_byte & 6) == 2)
            KXTileFaultInjection::FailFrom(m_byte >> 3);
        try {
            body();
        } catch (const std::bad_alloc&) {
        }
        KXTileFaultInjection::Disarm();
    }

private:
    uint8_t m_byte;
};

// `v + by`, held to the int range.
inline int Moved(int v, int64_t by)
{
    return static_cast<int>(std::min<int64_t>(std::max<int64_t>(int64_t(v) + by, INT32_MIN), INT32_MAX));
}

} // namespace KXFuzz

#endif // KXFUZZSUPPORT_H
