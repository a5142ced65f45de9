#ifndef KXPICTUREROWS_H
#define KXPICTUREROWS_H

// The pixel side of reading and writing files: turning a decoded picture
// upright by its EXIF orientation, and moving 16-bit pictures between Qt's
// layout and the library's. Private to the library.

#include "KXImage.h"

#include <QImage>

namespace KXImageFileDetail {

// The picture turned upright as EXIF orientation 1 to 8 says (2: mirrored,
// 3: turned half round, 4: flipped, 5: mirrored along the main diagonal,
// 6: turned a quarter clockwise, 7: mirrored along the other diagonal,
// 8: turned a quarter counter-clockwise). Pixels are moved, never
// resampled; Qt's colour space is not kept (the caller keeps the profile).
QImage Upright(const QImage& picture, int orientation);

// Whether the orientation swaps width and height.
inline bool SwapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// A Qt picture of 16-bit channels (any 16-bit format) into the 16-bit form,
// and the 16-bit form into Format_RGBA64 (or RGBX64 when `opaque`).
KXImageRGBA64i DeepFromQImage(const QImage& picture);
QImage DeepToQImage(const KXImageRGBA64i& image, bool opaque);

// Whether every pixel inside the image is opaque.
bool IsOpaque(const QImage& picture);

} // namespace KXImageFileDetail

#endif // KXPICTUREROWS_H
