#include "Adjustments.h"

#include "Error.h"
#include "HistogramChart.h"
#include "OptionValues.h"
#include "WorkingImage.h"

#include "KXColorAdjustments.h"
#include "KXColorTransform.h"
#include "KXTonalAdjustments.h"
#include "KXTransformImageColors.h"

#include <QColor>
#include <QPoint>
#include <QVector>

#include <stdexcept>

namespace kximg {

namespace {

// ---- the table of adjustments ------------------------------------------------

enum class Kind { Int, Number, Choice, Flag, IntList, Colour, Points };

// One parameter of an operation: an option of `kximg adjust`.
struct Param {
    QString name; // the option without its dashes
    Kind kind = Kind::Int;
    double low = 0, high = 0; // Int, Number, IntList (each number)
    QString fallback;         // the default as written on the command line; null: required
    QStringList choices;      // Choice
    int count = 0;            // IntList: how many numbers
    QString form;             // IntList: how they are written, "R,G,B"
    bool ascending = false;   // IntList: each number above the one before
};

Param IntParam(const QString& name, int low, int high, const QString& fallback)
{
    Param p;
    p.name = name;
    p.kind = Kind::Int;
    p.low = low;
    p.high = high;
    p.fallback = fallback;
    return p;
}

Param NumberParam(const QString& name, double low, double high, const QString& fallback)
{
    Param p = IntParam(name, 0, 0, fallback);
    p.kind = Kind::Number;
    p.low = low;
    p.high = high;
    return p;
}

Param ChoiceParam(const QString& name, const QStringList& choices, const QString& fallback)
{
    Param p = IntParam(name, 0, 0, fallback);
    p.kind = Kind::Choice;
    p.choices = choices;
    return p;
}

Param FlagParam(const QString& name)
{
    Param p = IntParam(name, 0, 0, QStringLiteral(""));
    p.kind = Kind::Flag;
    return p;
}

Param ListParam(const QString& name, const QString& form, int count, int low, int high, const QString& fallback,
                bool ascending = false)
{
    Param p = IntParam(name, low, high, fallback);
    p.kind = Kind::IntList;
    p.form = form;
    p.count = count;
    p.ascending = ascending;
    return p;
}

Param ColourParam(const QString& name, const QString& fallback)
{
    Param p = IntParam(name, 0, 0, fallback);
    p.kind = Kind::Colour;
    return p;
}

Param PointsParam(const QString& name, const QString& fallback)
{
    Param p = IntParam(name, 0, 255, fallback);
    p.kind = Kind::Points;
    return p;
}

// The checked values of one operation's parameters.
class Values {
public:
    struct Value {
        double number = 0;
        QString text;
        QVector<int> numbers;
        QColor colour;
        QVector<QPoint> points;
    };

    void Set(const QString& name, const Value& value) { m_values.insert(name, value); }
    int Int(const QString& name) const { return static_cast<int>(Get(name).number); }
    double Number(const QString& name) const { return Get(name).number; }
    bool Flag(const QString& name) const { return Get(name).number != 0; }
    QString Text(const QString& name) const { return Get(name).text; }
    QVector<int> Numbers(const QString& name) const { return Get(name).numbers; }
    KXRGBA32i Colour(const QString& name) const { return KXRGBA32i(Get(name).colour.rgba()); }
    QVector<QPoint> Points(const QString& name) const { return Get(name).points; }
    // The index of a choice parameter's value among `choices`.
    int Index(const QString& name, const QStringList& choices) const
    {
        return static_cast<int>(choices.indexOf(Get(name).text));
    }

private:
    const Value& Get(const QString& name) const
    {
        const auto it = m_values.constFind(name);
        if (it == m_values.constEnd())
            throw std::logic_error("adjustment parameter not in its table: " + name.toStdString());
        return *it;
    }
    QHash<QString, Value> m_values;
};

using Factory = std::function<ImageAdjustment(const Values&, const KXImageRGBA32i&)>;

struct Operation {
    QString name;
    QList<Param> params;
    Factory make;
};

// A per-pixel rule over every tile (the table adjustments take whole runs),
// band by band so that a progress bar moves.
template <class Rule>
ImageAdjustment PerPixel(const Rule& rule)
{
    return [rule](KXImageRGBA32i& image, CommandProgress* progress) {
        InBands(image, progress, [&](const QRect& band) { TransformPixels(image, band, rule); });
    };
}

// A transformation that walks the image itself, in one step.
template <class Transform>
ImageAdjustment WholeImage(const Transform& transform)
{
    return [transform](KXImageRGBA32i& image, CommandProgress*) { transform(image); };
}

const QStringList& Channels()
{
    static const QStringList channels{QStringLiteral("master"), QStringLiteral("red"), QStringLiteral("green"),
                                      QStringLiteral("blue")};
    return channels;
}

const QStringList& Ranges()
{
    static const QStringList ranges{QStringLiteral("shadows"), QStringLiteral("midtones"),
                                    QStringLiteral("highlights")};
    return ranges;
}

// In the order of KXRGBChannelFilter::RGBFilter from NoBlue on.
const QStringList& ChannelFilters()
{
    static const QStringList filters{QStringLiteral("no-blue"),     QStringLiteral("no-green"),
                                     QStringLiteral("no-red"),      QStringLiteral("red-as-grey"),
                                     QStringLiteral("green-as-grey"), QStringLiteral("blue-as-grey")};
    return filters;
}

ImageAdjustment Levels(const Values& v, const KXImageRGBA32i&)
{
    int input[4][2] = {{0, 255}, {0, 255}, {0, 255}, {0, 255}};
    int output[4][2] = {{0, 255}, {0, 255}, {0, 255}, {0, 255}};
    double gamma[4] = {1.0, 1.0, 1.0, 1.0};
    const int k = v.Index(QStringLiteral("channel"), Channels());
    const QVector<int> in = v.Numbers(QStringLiteral("input"));
    const QVector<int> out = v.Numbers(QStringLiteral("output"));
    input[k][0] = in[0];
    input[k][1] = in[1];
    output[k][0] = out[0];
    output[k][1] = out[1];
    gamma[k] = v.Number(QStringLiteral("gamma"));
    return PerPixel(KXLevelsTransformation(input, output, gamma, v.Int(QStringLiteral("amount"))));
}

ImageAdjustment Curves(const Values& v, const KXImageRGBA32i&)
{
    const QVector<QPoint> identity{QPoint(0, 0), QPoint(255, 255)};
    QVector<QPoint> curves[4] = {identity, identity, identity, identity};
    curves[v.Index(QStringLiteral("channel"), Channels())] = v.Points(QStringLiteral("points"));
    return PerPixel(KXCurvesTransformation(curves, v.Int(QStringLiteral("amount"))));
}

ImageAdjustment ColourBalance(const Values& v, const KXImageRGBA32i&)
{
    const QVector<int> s = v.Numbers(QStringLiteral("shadows"));
    const QVector<int> m = v.Numbers(QStringLiteral("midtones"));
    const QVector<int> h = v.Numbers(QStringLiteral("highlights"));
    const int red[3] = {s[0], m[0], h[0]};
    const int green[3] = {s[1], m[1], h[1]};
    const int blue[3] = {s[2], m[2], h[2]};
    return PerPixel(KXColorBalanceTransformation(red, green, blue));
}

// Levels whose input ranges are each colour channel's clipping thresholds,
// mixed in by the amount.
ImageAdjustment Enhance(const Values& v, const KXImageRGBA32i& image)
{
    const ChannelHistograms histograms = CountHistograms(image);
    int input[4][2] = {{0, 255}, {0, 255}, {0, 255}, {0, 255}};
    int output[4][2] = {{0, 255}, {0, 255}, {0, 255}, {0, 255}};
    double gamma[4] = {1.0, 1.0, 1.0, 1.0};
    const ChannelHistograms::Counts* counts[3] = {&histograms.red, &histograms.green, &histograms.blue};
    for (int k = 1; k <= 3; ++k) {
        const ChannelSummary summary = Summarise(*counts[k - 1]);
        if (summary.low < summary.high) {
            input[k][0] = summary.low;
            input[k][1] = summary.high;
        }
    }
    KXColorEnhancerTransformation enhancer;
    enhancer.SetLevels(KXLevelsTransformation(input, output, gamma, 100));
    enhancer.SetAmountData(v.Int(QStringLiteral("amount")));
    return PerPixel(enhancer);
}

QString S(const char* text)
{
    return QString::fromLatin1(text);
}

const QList<Operation>& Operations()
{
    static const QList<Operation> operations{
        // Tonal adjustments.
        {S("brightness-contrast"),
         {IntParam(S("brightness"), -127, 127, S("0")), IntParam(S("contrast"), -127, 127, S("0"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(
                 KXBrightnessContrastTransformation(v.Int(S("brightness")), v.Int(S("contrast"))));
         }},
        {S("levels"),
         {ChoiceParam(S("channel"), Channels(), S("master")),
          ListParam(S("input"), S("LOW,HIGH"), 2, 0, 255, S("0,255"), true),
          ListParam(S("output"), S("LOW,HIGH"), 2, 0, 255, S("0,255")), NumberParam(S("gamma"), 0.01, 9.99, S("1")),
          IntParam(S("amount"), 0, 100, S("100"))},
         Levels},
        {S("curves"),
         {ChoiceParam(S("channel"), Channels(), S("master")), PointsParam(S("points"), QString()),
          IntParam(S("amount"), 0, 100, S("100"))},
         Curves},
        {S("exposure"),
         {NumberParam(S("exposure"), -20, 20, S("0")), NumberParam(S("offset"), -1, 1, S("0"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(KXExposureTransformation(v.Number(S("exposure")), v.Number(S("offset"))));
         }},
        {S("gamma"),
         {NumberParam(S("gamma"), 0.01, 5, S("1"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(KXGammaCorrectionTransformation(v.Number(S("gamma"))));
         }},
        {S("posterize"),
         {IntParam(S("levels"), 2, 255, S("4"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(KXPosterizeTransformation(v.Int(S("levels"))));
         }},
        {S("invert"), {}, [](const Values&, const KXImageRGBA32i&) { return PerPixel(KXInvertTransformation()); }},
        {S("invert-alpha"),
         {},
         [](const Values&, const KXImageRGBA32i&) { return PerPixel(KXInvertAlphaTransformation()); }},
        // Colour adjustments.
        {S("hue-saturation"),
         {IntParam(S("hue"), -359, 359, S("0")), IntParam(S("saturation"), -100, 100, S("0")),
          IntParam(S("lightness"), -100, 100, S("0")), FlagParam(S("colourize"))},
         [](const Values& v, const KXImageRGBA32i&) {
             const int hue = (v.Int(S("hue")) + 360) % 360; // the library takes 0 ... 359
             return PerPixel(KXHueSaturationTransformation(hue, v.Int(S("saturation")), v.Int(S("lightness")),
                                                           v.Flag(S("colourize"))));
         }},
        {S("colour-balance"),
         {ListParam(S("shadows"), S("R,G,B"), 3, -100, 100, S("0,0,0")),
          ListParam(S("midtones"), S("R,G,B"), 3, -100, 100, S("0,0,0")),
          ListParam(S("highlights"), S("R,G,B"), 3, -100, 100, S("0,0,0"))},
         ColourBalance},
        {S("colourize"),
         {ColourParam(S("colour"), QString()), IntParam(S("amount"), 0, 100, S("100"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(KXColorizeTransformation(v.Colour(S("colour")), v.Int(S("amount"))));
         }},
        {S("photo-filter"),
         {ColourParam(S("colour"), S("#ec8a00")), IntParam(S("density"), 0, 100, S("25"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(KXPhotoFilterTransformation(v.Colour(S("colour")), v.Int(S("density"))));
         }},
        {S("tint"),
         {ColourParam(S("shadow-colour"), S("black")), ColourParam(S("highlight-colour"), S("white")),
          IntParam(S("amount"), 0, 100, S("100"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(
                 KXTintRGB32(v.Colour(S("shadow-colour")), v.Colour(S("highlight-colour")), v.Int(S("amount"))));
         }},
        {S("enhance"), {IntParam(S("amount"), 0, 100, S("100"))}, Enhance},
        {S("replace-colour"),
         {ColourParam(S("from"), QString()), ColourParam(S("to"), QString()), IntParam(S("tolerance"), 0, 255, S("0"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(KXReplaceColorTransformation(v.Colour(S("from")), v.Colour(S("to")), v.Int(S("tolerance"))));
         }},
        {S("black-white"),
         {NumberParam(S("red"), -2, 2, S("0.299")), NumberParam(S("green"), -2, 2, S("0.587")),
          NumberParam(S("blue"), -2, 2, S("0.114")), FlagParam(S("lightness-curve"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(KXBlackAndWhiteTransformation(v.Flag(S("lightness-curve")),
                                                           static_cast<float>(v.Number(S("red"))),
                                                           static_cast<float>(v.Number(S("green"))),
                                                           static_cast<float>(v.Number(S("blue")))));
         }},
        {S("desaturate"),
         {},
         [](const Values&, const KXImageRGBA32i&) { return PerPixel(KXDesaturateTransformation()); }},
        {S("greyscale"), {}, [](const Values&, const KXImageRGBA32i&) { return WholeImage(KXToGrayScaleImage()); }},
        {S("temperature"),
         {IntParam(S("kelvin"), 1000, 40000, QString()), IntParam(S("strength"), 0, 100, S("50")),
          IntParam(S("tint"), -100, 100, S("0"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(KXTemperatureCorrection(v.Int(S("kelvin")), v.Int(S("strength")), v.Int(S("tint"))));
         }},
        {S("burn"),
         {NumberParam(S("exposure"), 0, 1, S("0.5")), ChoiceParam(S("range"), Ranges(), S("midtones"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(VQBurnCorrection(
                 v.Number(S("exposure")), static_cast<VQBurnCorrection::RangeType>(v.Index(S("range"), Ranges()))));
         }},
        {S("dodge"),
         {NumberParam(S("exposure"), 0, 1, S("0.5")), ChoiceParam(S("range"), Ranges(), S("midtones"))},
         [](const Values& v, const KXImageRGBA32i&) {
             return PerPixel(VQDodgeCorrection(
                 v.Number(S("exposure")), static_cast<VQDodgeCorrection::RangeType>(v.Index(S("range"), Ranges()))));
         }},
        {S("fill"),
         {ColourParam(S("colour"), QString())},
         [](const Values& v, const KXImageRGBA32i&) {
             VQFillTransformation fill;
             fill.SetData(v.Colour(S("colour")));
             return PerPixel(fill);
         }},
        {S("set-colour"),
         {ColourParam(S("colour"), QString())},
         [](const Values& v, const KXImageRGBA32i&) { return PerPixel(KXColorize<KXRGBA32i>(v.Colour(S("colour")))); }},
        {S("channel-filter"),
         {ChoiceParam(S("filter"), ChannelFilters(), QString())},
         [](const Values& v, const KXImageRGBA32i&) {
             const int filter = KXRGBChannelFilter::NoBlue + v.Index(S("filter"), ChannelFilters());
             return WholeImage(KXRGBChannelFilter(static_cast<KXRGBChannelFilter::RGBFilter>(filter)));
         }},
        {S("alpha-as-grey"),
         {},
         [](const Values&, const KXImageRGBA32i&) { return WholeImage(KXTCGrayscaleFromRGBA32iAlpha()); }},
    };
    return operations;
}

// What each parameter option means, for `kximg adjust --help`; every
// parameter of the table has its line here.
struct ParamOption {
    const char* name;
    const char* valueName;
    const char* help;
};

const ParamOption kParamOptions[] = {
    {"brightness", "N", "brightness-contrast: brightness"},
    {"contrast", "N", "brightness-contrast: contrast (below 0 flattens)"},
    {"channel", "CHANNEL", "levels, curves: the channel changed: master (red, green\nand blue alike), red, green or blue"},
    {"input", "LOW,HIGH", "levels: input range; LOW and darker go to the output's\nlow end, HIGH and brighter to its high end"},
    {"output", "LOW,HIGH", "levels: output range (LOW above HIGH inverts)"},
    {"gamma", "G", "levels, gamma: gamma; above 1 brightens the midtones"},
    {"amount", "N", "how much of the effect, in percent"},
    {"points", "X:Y,...", "curves: control points of a smooth curve, X ascending,\nX and Y from 0 to 255 (two points: a straight line)"},
    {"exposure", "F", "exposure: the slope 1 + F / 20; burn, dodge: how much"},
    {"offset", "F", "exposure: added to every level, in units of 255"},
    {"levels", "N", "posterize: output levels per channel"},
    {"hue", "DEGREES", "hue-saturation: turns the hue (with --colourize: sets it)"},
    {"saturation", "N", "hue-saturation: added to the saturation, in percent"},
    {"lightness", "N", "hue-saturation: added to the lightness, in percent"},
    {"colourize", nullptr, "hue-saturation: set the hue instead of turning it"},
    {"shadows", "R,G,B", "colour-balance: red, green and blue shifts in the shadows"},
    {"midtones", "R,G,B", "colour-balance: the same in the midtones"},
    {"highlights", "R,G,B", "colour-balance: the same in the highlights"},
    {"colour", "COLOUR", "colourize, photo-filter, fill, set-colour: the colour"},
    {"density", "N", "photo-filter: how strongly the filter colours, in percent"},
    {"shadow-colour", "COLOUR", "tint: the colour black moves to"},
    {"highlight-colour", "COLOUR", "tint: the colour white moves to"},
    {"from", "COLOUR", "replace-colour: the colour replaced (alpha counts)"},
    {"to", "COLOUR", "replace-colour: what replaces it, alpha included"},
    {"tolerance", "N", "replace-colour: how far each channel may be from --from"},
    {"red", "F", "black-white: weight of red in the grey"},
    {"green", "F", "black-white: weight of green in the grey"},
    {"blue", "F", "black-white: weight of blue in the grey"},
    {"lightness-curve", nullptr, "black-white: weigh each channel's CIE lightness, not its level"},
    {"kelvin", "K", "temperature: the black body the colours move towards\n(6500 is white, lower is warmer)"},
    {"strength", "N", "temperature: how far they move, in percent"},
    {"tint", "N", "temperature: less (below 0) or more green"},
    {"range", "RANGE", "burn, dodge: shadows, midtones or highlights"},
    {"filter", "FILTER", "channel-filter: no-red, no-green, no-blue (that channel\nbecomes 0), red-as-grey, green-as-grey, blue-as-grey (all\nthree become that channel)"},
};

// Every parameter name, in the order of first use in the table.
QStringList ParamNames()
{
    QStringList names;
    for (const Operation& op : Operations())
        for (const Param& param : op.params)
            if (!names.contains(param.name))
                names << param.name;
    return names;
}

const Operation& FindOperation(const QString& command, const QString& name)
{
    ChoiceValue(command, QStringLiteral("op"), name, AdjustmentNames());
    for (const Operation& op : Operations())
        if (op.name == name)
            return op;
    throw std::logic_error("adjustment missing");
}

// Checks every given value and fills in the defaults. Options of other
// operations are refused: they would be silently ignored otherwise.
Values ParseValues(const QString& command, const Operation& op, const QHash<QString, QString>& given)
{
    QStringList own;
    for (const Param& param : op.params)
        own << param.name;
    QStringList names = ParamNames();
    for (auto it = given.constBegin(); it != given.constEnd(); ++it)
        if (!names.contains(it.key()))
            names << it.key();
    for (const QString& name : names)
        if (given.contains(name) && !own.contains(name))
            throw Error(QStringLiteral("%1: --%2 does not apply to --op %3 (%4)")
                            .arg(command, name, op.name,
                                 own.isEmpty() ? QStringLiteral("it takes no parameters")
                                               : QStringLiteral("its parameters: --") +
                                                     own.join(QStringLiteral(", --"))));

    Values values;
    for (const Param& param : op.params) {
        Values::Value value;
        if (param.kind == Kind::Flag) {
            value.number = given.contains(param.name) ? 1 : 0;
            values.Set(param.name, value);
            continue;
        }
        if (!given.contains(param.name) && param.fallback.isNull())
            throw Error(QStringLiteral("%1: --op %2 needs --%3 (see 'kximg %1 --help')")
                            .arg(command, op.name, param.name));
        const QString text = given.value(param.name, param.fallback);
        switch (param.kind) {
        case Kind::Int:
            value.number = IntValue(command, param.name, text, static_cast<int>(param.low),
                                    static_cast<int>(param.high));
            break;
        case Kind::Number:
            value.number = DoubleValue(command, param.name, text, param.low, param.high);
            break;
        case Kind::Choice:
            value.text = ChoiceValue(command, param.name, text, param.choices);
            break;
        case Kind::IntList:
            value.numbers = IntListValue(command, param.name, text, param.count, static_cast<int>(param.low),
                                         static_cast<int>(param.high), param.form);
            for (int i = 1; param.ascending && i < value.numbers.size(); ++i)
                if (value.numbers[i] <= value.numbers[i - 1])
                    BadValue(command, param.name, text, QStringLiteral("%1 with LOW below HIGH").arg(param.form));
            break;
        case Kind::Colour:
            value.colour = ColourValue(command, param.name, text);
            break;
        case Kind::Points:
            value.points = PointListValue(command, param.name, text, static_cast<int>(param.low),
                                          static_cast<int>(param.high));
            break;
        case Kind::Flag:
            break;
        }
        values.Set(param.name, value);
    }
    return values;
}

// "--gamma 0.01..9.99 [1]" for the help's list of operations.
QString ParamSummary(const Param& param)
{
    QString text = QStringLiteral("--") + param.name;
    switch (param.kind) {
    case Kind::Int:
    case Kind::Number:
        text += QStringLiteral(" %1..%2").arg(param.low).arg(param.high);
        break;
    case Kind::Choice:
        // A long list is left to the option's own help.
        text += QLatin1Char(' ') + (param.choices.join(QString()).size() > 36 ? param.name.toUpper()
                                                                             : param.choices.join(QLatin1Char('|')));
        break;
    case Kind::IntList:
        text += QStringLiteral(" %1 %2..%3").arg(param.form).arg(param.low).arg(param.high);
        break;
    case Kind::Colour:
        text += QStringLiteral(" COLOUR");
        break;
    case Kind::Points:
        text += QStringLiteral(" X:Y,...");
        break;
    case Kind::Flag:
        return text;
    }
    return text + (param.fallback.isNull() ? QStringLiteral(" (required)")
                                           : QStringLiteral(" [%1]").arg(param.fallback));
}

QString List()
{
    int width = 0;
    for (const Operation& op : Operations())
        width = qMax(width, op.name.size());
    const int indent = 2 + width + 2;
    QStringList lines;
    for (const Operation& op : Operations()) {
        QString line = QStringLiteral("  ") + op.name.leftJustified(width + 2);
        if (op.params.isEmpty())
            line += QStringLiteral("(no parameters)");
        bool first = true;
        for (const Param& param : op.params) {
            const QString item = ParamSummary(param);
            if (!first && line.size() + 2 + item.size() > 79) {
                lines << line;
                line = QString(indent, QLatin1Char(' ')) + item;
            } else {
                line += (first ? QString() : QStringLiteral("  ")) + item;
            }
            first = false;
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QList<OptionSyntax> Options()
{
    QList<OptionSyntax> options{OptionSyntax{QStringLiteral("op"), QChar(), QStringLiteral("NAME"),
                                             QStringLiteral("the adjustment, one of the operations above (required)")}};
    for (const QString& name : ParamNames()) {
        const ParamOption* found = nullptr;
        for (const ParamOption& option : kParamOptions)
            if (name == QLatin1String(option.name))
                found = &option;
        if (!found)
            throw std::logic_error("adjust parameter without help: " + name.toStdString());
        options << OptionSyntax{name, QChar(),
                                found->valueName ? QString::fromLatin1(found->valueName) : QString(),
                                QString::fromUtf8(found->help)};
    }
    return options;
}

} // namespace

QStringList AdjustmentNames()
{
    QStringList names;
    for (const Operation& op : Operations())
        names << op.name;
    return names;
}

QString AdjustmentList()
{
    return List();
}

QList<OptionSyntax> AdjustmentOptions()
{
    return Options();
}

QStringList AdjustmentParameterNames()
{
    return ParamNames();
}

AdjustmentMaker PrepareAdjustment(const QString& op, const QHash<QString, QString>& values)
{
    const QString command = QStringLiteral("adjust");
    const Operation& operation = FindOperation(command, op);
    const Values checked = ParseValues(command, operation, values);
    const Factory make = operation.make;
    return [make, checked](const KXImageRGBA32i& image) { return make(checked, image); };
}

} // namespace kximg
