#ifndef KXIMG_WORKINGIMAGE_H
#define KXIMG_WORKINGIMAGE_H

// A command's picture as the library's working image: read from a file into
// tiles, worked on, written back. Each step lets go of what the next one no
// longer needs (the decoded picture once the tiles hold it, the tiles once
// the output picture holds them), so that a command holds at most about two
// copies of a large picture at a time.

#include "ImageFiles.h"
#include "Progress.h"

#include "KXImage.h"

#include <QColorSpace>
#include <QRect>

#include <functional>

namespace kximg {

struct WorkingPicture {
    KXImageRGBA32i image;
    QColorSpace space; // the input's colour profile, for the output
};

// Reads and converts, as steps "read" and "convert" of `progress`.
WorkingPicture ReadWorking(const QString& path, const ImageOptions& options, CommandProgress* progress = nullptr);

// Converts `picture` back (its tiles are released), attaches its colour
// profile unless the options strip it, and writes, as steps "convert" and
// "write" of `progress`.
void WriteWorking(WorkingPicture&& picture, const QString& path, const QByteArray& format,
                  const ImageOptions& options, CommandProgress* progress = nullptr);

// Runs `apply` on bands of whole tile rows, top to bottom, so that the bar
// moves as the bands are done; an interrupt stops between two bands.
void InBands(const KXImageRGBA32i& image, CommandProgress* progress, const std::function<void(const QRect&)>& apply);

} // namespace kximg

#endif // KXIMG_WORKINGIMAGE_H
