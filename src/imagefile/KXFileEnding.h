#ifndef KXFILEENDING_H
#define KXFILEENDING_H

// Whether a picture file's data runs to its end marker: a JPEG to its EOI
// marker after the last scan, a PNG to its IEND chunk, a WebP to the size its
// RIFF header gives. Decoders fill what is missing with grey and say so only
// in their own warnings; this walk finds it from the bytes. Private to the
// library.

#include <QtGlobal>

namespace KXImageFileDetail {

enum class Ending {
    Complete,
    Truncated,
    Unknown // another format, or a structure the walk does not follow
};

Ending FindEnding(const char* data, qint64 size);

} // namespace KXImageFileDetail

#endif // KXFILEENDING_H
