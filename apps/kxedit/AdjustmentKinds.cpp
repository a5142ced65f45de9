#include "Adjustments.h"

#include <KXColorAdjustments.h>

#include <QColor>

namespace kxedit {
namespace {

KXRGBA32i Rgba(const QVariant& colour)
{
    return KXRGBA32i(colour.value<QColor>().rgba());
}

// An adjustment that is a set of tables.
const AdjustmentKind* Tables(const QString& name, QList<ParamField> fields, QVariantList defaults,
                             std::function<KXRGBTables(const QVariantList&)> make)
{
    auto* kind = new AdjustmentKind;
    kind->name = name;
    kind->fields = std::move(fields);
    kind->defaults = std::move(defaults);
    kind->tables = [make](const QVariantList& v) { return QList<KXRGBTables>{make(v)}; };
    return kind;
}

// An adjustment done pixel by pixel.
template <class F>
const AdjustmentKind* Pixels(const QString& name, QList<ParamField> fields, QVariantList defaults,
                             std::function<F(const QVariantList&)> make)
{
    auto* kind = new AdjustmentKind;
    kind->name = name;
    kind->fields = std::move(fields);
    kind->defaults = std::move(defaults);
    kind->transform = [make](const QVariantList& v) { return new PixelTransform<F>(make(v)); };
    return kind;
}

KXRGBTables Levels(const QVariantList& v)
{
    // The master channel from the dialog, the colour channels neutral.
    int input[4][2] = {{v[0].toInt(), v[1].toInt()}, {0, 255}, {0, 255}, {0, 255}};
    int output[4][2] = {{v[3].toInt(), v[4].toInt()}, {0, 255}, {0, 255}, {0, 255}};
    double gamma[4] = {v[2].toDouble(), 1.0, 1.0, 1.0};
    return KXLevelsTransformation(input, output, gamma, v[5].toInt()).GetTables();
}

KXRGBTables Curves(const QVariantList& v)
{
    // The master curve through the ends and three points the user moves;
    // the colour curves straight.
    QVector<QPoint> curves[4] = {{{0, 0}, {64, v[0].toInt()}, {128, v[1].toInt()}, {192, v[2].toInt()}, {255, 255}},
                                 {{0, 0}, {255, 255}},
                                 {{0, 0}, {255, 255}},
                                 {{0, 0}, {255, 255}}};
    return KXCurvesTransformation(curves, v[3].toInt()).GetTables();
}

KXRGBTables ColourBalance(const QVariantList& v)
{
    int red[3] = {0, 0, 0}, green[3] = {0, 0, 0}, blue[3] = {0, 0, 0};
    const int range = qBound(0, v[0].toInt(), 2);
    red[range] = v[1].toInt();
    green[range] = v[2].toInt();
    blue[range] = v[3].toInt();
    return KXColorBalanceTransformation(red, green, blue).GetTables();
}

KXRGBTables Tone(const QVariantList& v)
{
    return VQToneCurve(v[0].toInt() ? VQToneDirection::Dodge : VQToneDirection::Burn, v[2].toDouble(),
                       v[1].toInt());
}

QList<const AdjustmentKind*> MakeKinds()
{
    const QStringList ranges{QObject::tr("Shadows"), QObject::tr("Midtones"), QObject::tr("Highlights")};
    auto* tonal = new AdjustmentKind;
    tonal->name = QObject::tr("Brightness, Exposure and Gamma");
    tonal->fields = Adjustments::Fields();
    tonal->defaults = Adjustments::Defaults();
    tonal->tables = &Adjustments::Tables;
    QList<const AdjustmentKind*> kinds{tonal};

    kinds.append(Tables(QObject::tr("Levels"),
                        {IntField(QObject::tr("Input black"), 0, 255), IntField(QObject::tr("Input white"), 0, 255),
                         DoubleField(QObject::tr("Gamma"), 0.01, 9.99), IntField(QObject::tr("Output black"), 0, 255),
                         IntField(QObject::tr("Output white"), 0, 255), IntField(QObject::tr("Amount (%)"), 0, 100)},
                        {0, 255, 1.0, 0, 255, 100}, Levels));
    kinds.append(Tables(QObject::tr("Curves"),
                        {IntField(QObject::tr("Shadows (64 becomes)"), 0, 255),
                         IntField(QObject::tr("Midtones (128 becomes)"), 0, 255),
                         IntField(QObject::tr("Highlights (192 becomes)"), 0, 255),
                         IntField(QObject::tr("Amount (%)"), 0, 100)},
                        {64, 128, 192, 100}, Curves));
    kinds.append(Tables(QObject::tr("Colour Balance"),
                        {ChoiceField(QObject::tr("Tones"), ranges), IntField(QObject::tr("Cyan – red"), -100, 100),
                         IntField(QObject::tr("Magenta – green"), -100, 100),
                         IntField(QObject::tr("Yellow – blue"), -100, 100)},
                        {1, 0, 0, 0}, ColourBalance));
    kinds.append(Tables(QObject::tr("Photo Filter"),
                        {ColourField(QObject::tr("Colour")), IntField(QObject::tr("Density (%)"), 0, 100)},
                        {QColor(236, 138, 0), 25},
                        [](const QVariantList& v) { return KXPhotoFilterTransformation(Rgba(v[0]), v[1].toInt()).GetTables(); }));
    kinds.append(Tables(QObject::tr("Tint"),
                        {ColourField(QObject::tr("Shadows")), ColourField(QObject::tr("Highlights")),
                         IntField(QObject::tr("Amount (%)"), 0, 100)},
                        {QColor(40, 20, 90), QColor(255, 230, 170), 50}, [](const QVariantList& v) {
                            return KXTintRGB32(Rgba(v[0]), Rgba(v[1]), v[2].toInt()).GetTables();
                        }));
    kinds.append(Tables(QObject::tr("Burn and Dodge"),
                        {ChoiceField(QObject::tr("Direction"), {QObject::tr("Burn"), QObject::tr("Dodge")}),
                         ChoiceField(QObject::tr("Tones"), ranges), DoubleField(QObject::tr("Exposure"), 0.0, 1.0)},
                        {0, 1, 0.5}, Tone));
    kinds.append(Pixels<KXHueSaturationTransformation>(
        QObject::tr("Hue and Saturation"),
        {IntField(QObject::tr("Hue"), 0, 359), IntField(QObject::tr("Saturation"), -100, 100),
         IntField(QObject::tr("Lightness"), -100, 100),
         ChoiceField(QObject::tr("Mode"), {QObject::tr("Shift hue"), QObject::tr("Colorize")})},
        {0, 0, 0, 0}, [](const QVariantList& v) {
            return KXHueSaturationTransformation(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt() != 0);
        }));
    kinds.append(Pixels<KXColorizeTransformation>(
        QObject::tr("Colorize"), {ColourField(QObject::tr("Colour")), IntField(QObject::tr("Amount (%)"), 0, 100)},
        {QColor(180, 120, 60), 100},
        [](const QVariantList& v) { return KXColorizeTransformation(Rgba(v[0]), v[1].toInt()); }));
    kinds.append(Pixels<KXBlackAndWhiteTransformation>(
        QObject::tr("Black and White"),
        {ChoiceField(QObject::tr("Grey"), {QObject::tr("Weighted sum"), QObject::tr("Lightness curve")}),
         DoubleField(QObject::tr("Red weight"), -2.0, 3.0), DoubleField(QObject::tr("Green weight"), -2.0, 3.0),
         DoubleField(QObject::tr("Blue weight"), -2.0, 3.0)},
        {0, 0.3, 0.59, 0.11}, [](const QVariantList& v) {
            return KXBlackAndWhiteTransformation(v[0].toInt() != 0, v[1].toFloat(), v[2].toFloat(), v[3].toFloat());
        }));
    kinds.append(Pixels<KXTemperatureCorrection>(
        QObject::tr("Temperature"),
        {IntField(QObject::tr("Kelvin"), 1000, 40000), IntField(QObject::tr("Strength (%)"), 0, 100),
         IntField(QObject::tr("Tint"), -100, 100)},
        {6500, 50, 0},
        [](const QVariantList& v) { return KXTemperatureCorrection(v[0].toInt(), v[1].toInt(), v[2].toInt()); }));
    kinds.append(Pixels<KXDesaturateTransformation>(QObject::tr("Desaturate"), {}, {},
                                                    [](const QVariantList&) { return KXDesaturateTransformation(); }));
    kinds.append(Pixels<KXInvertTransformation>(QObject::tr("Invert"), {}, {},
                                                [](const QVariantList&) { return KXInvertTransformation(); }));
    return kinds;
}

} // namespace

const QList<const AdjustmentKind*>& AdjustmentKinds()
{
    static const QList<const AdjustmentKind*> kinds = MakeKinds();
    // Made once, let go at exit.
    static const struct Owner {
        ~Owner() { qDeleteAll(kinds); }
    } owner;
    return kinds;
}

} // namespace kxedit
