#ifndef KXIMG_PROFILES_H
#define KXIMG_PROFILES_H

// ICC profiles from the command line: the built-in ones, files and the one
// a picture carries.

#include "VQCMSProfile.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace kximg {

// The profiles the tool knows by name ("srgb", "adobe-rgb", ...), built from
// Qt's colour spaces; an empty profile for any other word.
QStringList BuiltInProfileNames();
VQCMSProfile BuiltInProfile(const QString& name);

// A profile named on the command line for `icc --option`: a built-in name,
// "embedded" (the picture's, when given) or a file. Throws Error.
VQCMSProfile ProfileFor(const QString& option, const QString& text, const VQCMSProfile* embedded);
// Throws Error unless `profile` is an RGB profile.
void RequireRgb(const QString& option, const QString& text, const VQCMSProfile& profile);

// "RGB", "GRAY", "CMYK": a colour space's four-letter signature, trimmed.
QString ColourSpaceName(VQCMSProfile::ColorSpace space);
// The profile's description as Little CMS reads it.
QString Described(const VQCMSProfile& profile);

} // namespace kximg

#endif // KXIMG_PROFILES_H
