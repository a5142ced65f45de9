#ifndef KXIMG_COLOURCOMMANDS_H
#define KXIMG_COLOURCOMMANDS_H

// adjust, histogram, autowb and icc: the colour library from the command
// line. The adjustments are one table (ColourCommands.cpp): each operation
// names its parameters with their ranges and defaults and builds the
// library's adjustment from the checked values; the same table gives
// `kximg adjust --help` and the demo's colour pages.

#include "Args.h"

#include "KXImage.h"
#include "VQCMSProfile.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace kximg {

const CommandSyntax& AdjustSyntax();
int RunAdjust(const ParsedArgs& args);

const CommandSyntax& HistogramSyntax();
int RunHistogram(const ParsedArgs& args);

const CommandSyntax& AutoWhiteBalanceSyntax();
int RunAutoWhiteBalance(const ParsedArgs& args);

const CommandSyntax& IccSyntax();
int RunIcc(const ParsedArgs& args);

// An adjustment ready to run over a working image in place.
using ImageAdjustment = std::function<void(KXImageRGBA32i&)>;

// The operation names of `kximg adjust`, in the order of its help.
QStringList AdjustmentNames();

// The adjustment `op` with the parameters `values` (option name without the
// dashes -> value as text, as on the command line; absent ones take their
// defaults), checked as `kximg adjust` checks them: throws Error with the
// same messages. `image` is the picture it will be applied to (one
// operation derives its settings from the picture's histograms).
ImageAdjustment MakeAdjustment(const QString& op, const QHash<QString, QString>& values,
                               const KXImageRGBA32i& image);

// The profiles the tool knows by name ("srgb", "adobe-rgb", ...), built from
// Qt's colour spaces; an empty profile for any other word.
QStringList BuiltInProfileNames();
VQCMSProfile BuiltInProfile(const QString& name);

} // namespace kximg

#endif // KXIMG_COLOURCOMMANDS_H
