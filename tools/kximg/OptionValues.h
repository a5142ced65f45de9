#ifndef KXIMG_OPTIONVALUES_H
#define KXIMG_OPTIONVALUES_H

// Option values read from the command line and checked against their ranges.
// Each throws Error (exit status 2) naming the command, the option and what
// was expected: "blend: bad value 'x' for --opacity (a number from 0 to 1)".

#include "Args.h"

#include <QColor>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

namespace kximg {

double DoubleOption(const ParsedArgs& args, const QString& command, const QString& option, double fallback,
                    double low, double high);
int IntOption(const ParsedArgs& args, const QString& command, const QString& option, int fallback, int low,
              int high);
// "X,Y" with whole numbers from -1000000 to 1000000.
QPoint PointOption(const ParsedArgs& args, const QString& command, const QString& option, const QPoint& fallback);
// One of `choices`; `fallback` when the option is absent.
QString ChoiceOption(const ParsedArgs& args, const QString& command, const QString& option,
                     const QStringList& choices, const QString& fallback);

// The same checks for a value given as text: an option read another way, or
// a default kept as text in a table. Each throws the error above.
[[noreturn]] void BadValue(const QString& command, const QString& option, const QString& value,
                           const QString& expected);
int IntValue(const QString& command, const QString& option, const QString& text, int low, int high);
double DoubleValue(const QString& command, const QString& option, const QString& text, double low, double high);
QString ChoiceValue(const QString& command, const QString& option, const QString& text,
                    const QStringList& choices);
// Exactly `count` whole numbers from `low` to `high`, separated by commas;
// `form` names them in the error ("R,G,B").
QVector<int> IntListValue(const QString& command, const QString& option, const QString& text, int count,
                          int low, int high, const QString& form);
// "#RRGGBB", "#AARRGGBB" or a colour name Qt knows ("orange"); opaque unless
// given with alpha.
QColor ColourValue(const QString& command, const QString& option, const QString& text);
// "X:Y,X:Y,...": at least two points, x strictly ascending, x and y whole
// numbers from `low` to `high`.
QVector<QPoint> PointListValue(const QString& command, const QString& option, const QString& text, int low,
                               int high);

// "WxH", each a whole number from 1 to 30000.
QSize SizeValue(const QString& command, const QString& option, const QString& text);

} // namespace kximg

#endif // KXIMG_OPTIONVALUES_H
