#include "KXFileEnding.h"

#include <QtEndian>

#include <cstring>

namespace KXImageFileDetail {

namespace {

using Bytes = const unsigned char*;

// Marker segments one after the other; after a scan header the entropy-coded
// data runs to the next marker that is neither a stuffed 0xFF00 nor a
// restart marker.
Ending JpegEnding(Bytes bytes, qint64 size)
{
    qint64 at = 2;
    while (at < size) {
        if (bytes[at] != 0xFF)
            return Ending::Unknown;
        while (at < size && bytes[at] == 0xFF) // fill bytes
            ++at;
        if (at >= size)
            return Ending::Truncated;
        const unsigned char marker = bytes[at++];
        if (marker == 0xD9)
            return Ending::Complete;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        if (at + 2 > size)
            return Ending::Truncated;
        const qint64 end = at + qFromBigEndian<quint16>(bytes + at);
        if (end > size)
            return Ending::Truncated;
        at = end;
        if (marker != 0xDA)
            continue;
        for (;;) {
            const void* found = std::memchr(bytes + at, 0xFF, static_cast<size_t>(size - at));
            if (!found)
                return Ending::Truncated;
            at = static_cast<Bytes>(found) - bytes;
            if (at + 1 >= size)
                return Ending::Truncated;
            const unsigned char next = bytes[at + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
                at += next == 0xFF ? 1 : 2;
                continue;
            }
            break;
        }
    }
    return Ending::Truncated;
}

Ending PngEnding(Bytes bytes, qint64 size)
{
    for (qint64 at = 8; at + 8 <= size;) {
        const qint64 end = at + 12 + qFromBigEndian<quint32>(bytes + at);
        if (end > size)
            return Ending::Truncated;
        if (std::memcmp(bytes + at + 4, "IEND", 4) == 0)
            return Ending::Complete;
        at = end;
    }
    return Ending::Truncated;
}

} // namespace

Ending FindEnding(const char* data, qint64 size)
{
    const auto* bytes = reinterpret_cast<Bytes>(data);
    if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return JpegEnding(bytes, size);
    if (size >= 8 && std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) == 0)
        return PngEnding(bytes, size);
    if (size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0)
        return 8 + static_cast<qint64>(qFromLittleEndian<quint32>(bytes + 4)) > size ? Ending::Truncated
                                                                                       : Ending::Complete;
    return Ending::Unknown;
}

} // namespace KXImageFileDetail
