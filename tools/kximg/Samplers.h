#ifndef KXIMG_SAMPLERS_H
#define KXIMG_SAMPLERS_H

// The library's three samplers by name, for the commands that draw a picture
// through a transform (transform, resize).

#include "Args.h"

#include "KXImage.h"

#include <QTransform>

namespace kximg {

// The --sampler option: nearest, bilinear or bicubic.
OptionSyntax SamplerOptionSyntax(const QString& fallback);

// The sampler --sampler names (or `fallback`); throws Error for another
// name. Asked before the picture is read.
QString SamplerOption(const ParsedArgs& args, const QString& command, const QString& fallback);

// Draws `source` through `transform` into a new transparent picture of
// `size` with the named sampler; the source's profile and EXIF elements go
// with it. Throws Error when the library fails (exit 1).
KXImageRGBA32i Resample(const QString& sampler, const QString& command, const KXImageRGBA32i& source,
                        const QTransform& transform, const QSize& size);

} // namespace kximg

#endif // KXIMG_SAMPLERS_H
