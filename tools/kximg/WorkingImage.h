#ifndef KXIMG_WORKINGIMAGE_H
#define KXIMG_WORKINGIMAGE_H

// A command's picture as the library's working image: read from a file into
// tiles by the library's loader (profile, EXIF elements and orientation
// applied), worked on, written back with its metadata. Each step lets go of
// what the next one no longer needs.

#include "ImageFiles.h"
#include "Progress.h"

#include "KXImage.h"
#include "KXImageFile.h"

#include <QRect>

#include <functional>

namespace kximg {

struct WorkingPicture {
    KXImageRGBA32i image;
    KXImageRGBA64i deep;      // instead of `image` for 16-bit input read with ImageOptions::keepDepth
    // What goes with the output whatever image a command makes: the input's
    // colour profile (the one the pixels are in) and EXIF elements, and its
    // EXIF, XMP and IPTC blocks.
    VQCMSProfile profile;
    QList<VQEXIFElement> exif;
    KXImageMetadata metadata;

    bool IsDeep() const { return deep.Width() > 0; }
};

// Reads, as steps "read" and "convert" of `progress`.
WorkingPicture ReadWorking(const QString& path, const ImageOptions& options, CommandProgress* progress = nullptr);

// Writes `picture` (its tiles are released) with its profile and metadata
// unless the options strip them, as step "write" of `progress`.
void WriteWorking(WorkingPicture&& picture, const QString& path, const QByteArray& format,
                  const ImageOptions& options, CommandProgress* progress = nullptr);

// Runs `apply` on bands of whole tile rows, top to bottom, so that the bar
// moves as the bands are done; an interrupt stops between two bands.
void InBands(const KXImageRGBA32i& image, CommandProgress* progress, const std::function<void(const QRect&)>& apply);

} // namespace kximg

#endif // KXIMG_WORKINGIMAGE_H
