#ifndef KXPNGPROFILE_H
#define KXPNGPROFILE_H

// The ICC profile of a PNG file: its iCCP chunk, written here because
// exiv2 0.27 writes the chunk with an empty profile name, which libpng
// rejects ("iCCP: bad keyword") and with it the profile. Private to the
// library.

#include <QByteArray>

namespace KXImageFileDetail {

bool IsPng(const QByteArray& bytes);

// `png` with one iCCP chunk holding `icc` after its header chunk (any iCCP,
// sRGB or gAMA chunk it had removed, as they would contradict it). Empty
// when `png` does not start with a header chunk or compression fails.
QByteArray PngWithProfile(const QByteArray& png, const QByteArray& icc);

} // namespace KXImageFileDetail

#endif // KXPNGPROFILE_H
