#include "OptionValues.h"

#include "Error.h"

namespace kximg {

void BadValue(const QString& command, const QString& option, const QString& value, const QString& expected)
{
    throw Error(QStringLiteral("%1: bad value %2 for --%3 (%4)").arg(command, Quoted(value), option, expected));
}

int IntValue(const QString& command, const QString& option, const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        BadValue(command, option, text, QStringLiteral("a whole number from %1 to %2").arg(low).arg(high));
    return value;
}

double DoubleValue(const QString& command, const QString& option, const QString& text, double low, double high)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !(value >= low && value <= high))
        BadValue(command, option, text, QStringLiteral("a number from %1 to %2").arg(low).arg(high));
    return value;
}

QString ChoiceValue(const QString& command, const QString& option, const QString& text,
                    const QStringList& choices)
{
    if (!choices.contains(text))
        BadValue(command, option, text, QStringLiteral("one of: %1").arg(choices.join(QStringLiteral(", "))));
    return text;
}

QVector<int> IntListValue(const QString& command, const QString& option, const QString& text, int count,
                          int low, int high, const QString& form)
{
    const QStringList parts = text.split(QLatin1Char(','));
    QVector<int> values;
    bool ok = parts.size() == count;
    for (int i = 0; ok && i < count; ++i) {
        const int value = parts[i].trimmed().toInt(&ok);
        ok = ok && value >= low && value <= high;
        values << value;
    }
    if (!ok)
        BadValue(command, option, text,
                 QStringLiteral("%1: whole numbers from %2 to %3").arg(form).arg(low).arg(high));
    return values;
}

QColor ColourValue(const QString& command, const QString& option, const QString& text)
{
    const QColor colour(text.trimmed());
    if (text.trimmed().isEmpty() || !colour.isValid())
        BadValue(command, option, text, QStringLiteral("#RRGGBB, #AARRGGBB or a colour name such as orange"));
    return colour;
}

QVector<QPoint> PointListValue(const QString& command, const QString& option, const QString& text, int low,
                               int high)
{
    QVector<QPoint> points;
    bool ok = true;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QStringList xy = item.split(QLatin1Char(':'));
        bool okX = false, okY = false;
        const int x = xy.size() == 2 ? xy[0].trimmed().toInt(&okX) : 0;
        const int y = xy.size() == 2 ? xy[1].trimmed().toInt(&okY) : 0;
        ok = ok && okX && okY && x >= low && x <= high && y >= low && y <= high &&
             (points.isEmpty() || x > points.last().x());
        points << QPoint(x, y);
    }
    if (!ok || points.size() < 2)
        BadValue(command, option, text,
                 QStringLiteral("X:Y,X:Y,...: two or more points, whole numbers from %1 to %2, "
                                "X ascending")
                     .arg(low)
                     .arg(high));
    return points;
}

double DoubleOption(const ParsedArgs& args, const QString& command, const QString& option, double fallback,
                    double low, double high)
{
    if (!args.Has(option))
        return fallback;
    return DoubleValue(command, option, args.Value(option), low, high);
}

int IntOption(const ParsedArgs& args, const QString& command, const QString& option, int fallback, int low,
              int high)
{
    if (!args.Has(option))
        return fallback;
    return IntValue(command, option, args.Value(option), low, high);
}

QPoint PointOption(const ParsedArgs& args, const QString& command, const QString& option, const QPoint& fallback)
{
    if (!args.Has(option))
        return fallback;
    const QString text = args.Value(option);
    const QStringList parts = text.split(QLatin1Char(','));
    bool okX = false, okY = false;
    const int x = parts.size() == 2 ? parts[0].trimmed().toInt(&okX) : 0;
    const int y = parts.size() == 2 ? parts[1].trimmed().toInt(&okY) : 0;
    // Far enough for any canvas, near enough that a rectangle placed there
    // cannot overflow.
    const int limit = 1000000;
    if (!okX || !okY || qAbs(x) > limit || qAbs(y) > limit)
        BadValue(command, option, text, QStringLiteral("X,Y in whole pixels from -%1 to %1").arg(limit));
    return QPoint(x, y);
}

QString ChoiceOption(const ParsedArgs& args, const QString& command, const QString& option,
                     const QStringList& choices, const QString& fallback)
{
    if (!args.Has(option))
        return fallback;
    return ChoiceValue(command, option, args.Value(option), choices);
}

QSize SizeValue(const QString& command, const QString& option, const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        BadValue(command, option, text, QStringLiteral("WxH, each a whole number from 1 to 30000"));
    return QSize(IntValue(command, option, parts[0], 1, 30000), IntValue(command, option, parts[1], 1, 30000));
}

} // namespace kximg
