#ifndef KXEDIT_SAMPLEPHOTO_H
#define KXEDIT_SAMPLEPHOTO_H

#include <KXImage.h>

#include <QSize>

namespace kxedit {

/// A made-up landscape photo (sky, sun, hills, fine stripes that a blur
/// visibly softens), opaque, tagged with the Adobe RGB profile.
KXImageRGBA32i SamplePhoto(const QSize& size);
/// A transparent picture with a few coloured discs, for a second layer.
KXImageRGBA32i SampleOverlay(const QSize& size);

} // namespace kxedit

#endif
