#ifndef KXIMG_PIXELFORMS_H
#define KXIMG_PIXELFORMS_H

// The library's pixel forms the working image can be converted to and back,
// by name, for `convert --via` and the demo.

#include "KXImage.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

namespace kximg {

enum class PixelForm { None, Rgba64, Half, Hsl, Cmyk };

// "rgba64", "half", "hsl", "cmyk".
QStringList PixelFormNames();
// The form of a name; nothing for an unknown name.
std::optional<PixelForm> ParsePixelForm(const QString& name);
QString PixelFormName(PixelForm form);
// "16 bits a channel" and so on, for help texts and captions.
QString PixelFormDescription(PixelForm form);

// The working image converted to `form` and back to the working image
// (PixelForm::None: unchanged).
KXImageRGBA32i RoundTrip(const KXImageRGBA32i& working, PixelForm form);

} // namespace kximg

#endif // KXIMG_PIXELFORMS_H
