#ifndef KXIMG_ADJUSTMENTS_H
#define KXIMG_ADJUSTMENTS_H

// The tonal and colour adjustments of `kximg adjust`, as one table: each
// operation names its parameters with their ranges and defaults and builds
// the library's adjustment from the checked values; the same table gives
// `kximg adjust --help` and the demo's colour pages.

#include "Args.h"

#include "KXImage.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace kximg {

class CommandProgress;

// An adjustment ready to run over a working image in place (reporting to
// the progress bar when one is given).
using ImageAdjustment = std::function<void(KXImageRGBA32i&, CommandProgress*)>;
// Builds it for the picture it will be applied to (one operation derives
// its settings from the picture's histograms).
using AdjustmentMaker = std::function<ImageAdjustment(const KXImageRGBA32i&)>;

// The operation names, in the order of `kximg adjust --help`.
QStringList AdjustmentNames();
// The operations with their parameters, one or more lines each, for --help.
QString AdjustmentList();
// --op and every parameter as options.
QList<OptionSyntax> AdjustmentOptions();
QStringList AdjustmentParameterNames();

// The adjustment `op` with the parameters `values` (option name without the
// dashes -> value as text, as on the command line; absent ones take their
// defaults), checked now: throws Error with the messages of `kximg adjust`.
AdjustmentMaker PrepareAdjustment(const QString& op, const QHash<QString, QString>& values);

} // namespace kximg

#endif // KXIMG_ADJUSTMENTS_H
