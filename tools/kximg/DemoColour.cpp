// Demo operations of the colour library: every adjustment of `kximg adjust`
// on the sample with its histogram after and before, the histogram chart of
// `kximg histogram`, automatic white balance of a colour-cast sample, and
// ICC conversions between Qt's built-in RGB profiles.

#include "Adjustments.h"
#include "Profiles.h"
#include "DemoSupport.h"
#include "HistogramChart.h"

#include "KXImageConversion.h"
#include "KXTransformImageColors.h"
#include "VQCMSTransform.h"
#include "VQWBTransformation.h"

#include <QPainter>

#include <stdexcept>

namespace kximg {

namespace {

constexpr int kCellWidth = 256;
constexpr int kPictureHeight = 192; // the sample is 4 : 3
constexpr int kChartHeight = 44;
constexpr int kChartGap = 3;

struct Chart {
    QString label;
    ChannelHistograms histograms;
};

// A picture with small histogram charts under it, `kCellWidth` wide.
QImage Cell(const QImage& picture, const QList<Chart>& charts)
{
    QImage cell(kCellWidth, kPictureHeight + static_cast<int>(charts.size()) * (kChartGap + kChartHeight),
                QImage::Format_ARGB32_Premultiplied);
    cell.fill(Qt::transparent);
    QPainter painter(&cell);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QImage thumb = picture.scaled(kCellWidth, kPictureHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(QPoint((kCellWidth - thumb.width()) / 2, 0), thumb);
    int y = kPictureHeight;
    for (const Chart& chart : charts) {
        y += kChartGap;
        // Red, green and blue only: a luminance line would hide them at this size.
        painter.drawImage(QPoint(0, y), HistogramChart(chart.histograms, QSize(kCellWidth, kChartHeight), false,
                                                       chart.label, false));
        y += kChartHeight;
    }
    painter.end();
    return cell.convertToFormat(QImage::Format_ARGB32);
}

QSize CellSize(int charts)
{
    return QSize(kCellWidth, kPictureHeight + charts * (kChartGap + kChartHeight));
}

// "brightness=30 contrast=40 colourize" as the parameters of PrepareAdjustment.
QHash<QString, QString> Parameters(const char* text)
{
    QHash<QString, QString> values;
    for (const QString& item : QString::fromUtf8(text).split(QLatin1Char(' '))) {
        const int equals = item.indexOf(QLatin1Char('='));
        if (item.isEmpty())
            continue;
        if (equals < 0)
            values.insert(item, QString()); // a flag
        else
            values.insert(item.left(equals), item.mid(equals + 1));
    }
    return values;
}

KXImageRGBA32i Adjusted(const KXImageRGBA32i& image, const char* op, const char* parameters)
{
    KXImageRGBA32i result(image);
    PrepareAdjustment(QString::fromLatin1(op), Parameters(parameters))(image)(result, nullptr);
    return result;
}

// Typical settings of every operation of `kximg adjust`.
struct Example {
    const char* op;
    const char* parameters;
    const char* label;
};

const Example kExamples[] = {
    {"brightness-contrast", "brightness=30 contrast=40", "brightness 30, contrast 40"},
    {"levels", "input=30,220 gamma=1.4", "levels: input 30..220, gamma 1.4"},
    {"curves", "points=0:0,64:40,192:215,255:255", "curves: an S through 64:40, 192:215"},
    {"exposure", "exposure=5 offset=-0.05", "exposure 5, offset -0.05"},
    {"gamma", "gamma=2", "gamma 2"},
    {"posterize", "levels=4", "posterize: 4 levels"},
    {"invert", "", "invert"},
    {"invert-alpha", "", "invert-alpha"},
    {"hue-saturation", "hue=120 saturation=20", "hue +120\u00b0, saturation +20"},
    {"hue-saturation", "hue=200 colourize", "hue 200\u00b0, colourize"},
    {"colour-balance", "shadows=-30,0,40 midtones=60,0,-60", "colour-balance: warm mids, cool shadows"},
    {"colourize", "colour=#3080ff amount=80", "colourize #3080ff, 80 %"},
    {"photo-filter", "colour=#ec8a00 density=60", "photo-filter #ec8a00, density 60"},
    {"tint", "shadow-colour=#1e2a78 highlight-colour=#fff0c0", "tint: navy shadows, cream whites"},
    {"enhance", "", "enhance (sample spans 0..255 already)"},
    {"replace-colour", "from=white to=#ff00ff tolerance=40", "replace-colour: white \u00b140 \u2192 magenta"},
    {"black-white", "", "black-white .299 .587 .114"},
    {"black-white", "red=0.2 green=0.2 blue=0.6 lightness-curve", "black-white .2 .2 .6, lightness"},
    {"desaturate", "", "desaturate"},
    {"greyscale", "", "greyscale"},
    {"temperature", "kelvin=3000 strength=60", "temperature 3000 K, strength 60"},
    {"temperature", "kelvin=12000 strength=60 tint=-30", "temperature 12000 K, tint -30"},
    {"burn", "exposure=0.8 range=midtones", "burn midtones 0.8"},
    {"dodge", "exposure=0.8 range=shadows", "dodge shadows 0.8"},
    {"fill", "colour=#8000a0ff", "fill #8000a0ff (alpha 128)"},
    {"set-colour", "colour=#ff8000", "set-colour #ff8000 (alpha kept)"},
    {"channel-filter", "filter=no-green", "channel-filter no-green"},
    {"channel-filter", "filter=red-as-grey", "channel-filter red-as-grey"},
    {"alpha-as-grey", "", "alpha-as-grey"},
};

DemoResult AdjustmentGrid(const DemoInput& input)
{
    const ChannelHistograms before = CountHistograms(input.working);
    QList<GridCell> cells;
    cells << GridCell{QStringLiteral("the sample"),
                      Cell(input.sample, {Chart{QStringLiteral("after"), before}, Chart{QStringLiteral("before"), before}})};
    QStringList covered;
    for (const Example& example : kExamples) {
        const KXImageRGBA32i result = Adjusted(input.working, example.op, example.parameters);
        cells << GridCell{QString::fromUtf8(example.label),
                          Cell(Picture(result), {Chart{QStringLiteral("after"), CountHistograms(result)},
                                                 Chart{QStringLiteral("before"), before}})};
        covered << QString::fromLatin1(example.op);
    }
    // Every operation of `kximg adjust` is on the page.
    for (const QString& name : AdjustmentNames())
        if (!covered.contains(name))
            throw std::logic_error("colour-adjustments shows no example of " + name.toStdString());
    return {LabelledGrid(cells, 6, CellSize(2)),
            QStringLiteral("%1 operations in %2 examples").arg(AdjustmentNames().size()).arg(cells.size() - 1)};
}

QString Means(const ChannelHistograms& h)
{
    return QStringLiteral("mean R/G/B %1/%2/%3")
        .arg(Summarise(h.red).mean, 0, 'f', 0)
        .arg(Summarise(h.green).mean, 0, 'f', 0)
        .arg(Summarise(h.blue).mean, 0, 'f', 0);
}

// A warm cast made with the colour balance, corrected again.
const char* const kCast = "shadows=20,0,-40 midtones=70,10,-70 highlights=40,0,-50";

DemoResult WhiteBalance(const DemoInput& input)
{
    const KXImageRGBA32i cast = Adjusted(input.working, "colour-balance", kCast);
    struct Step {
        QString label;
        KXImageRGBA32i image;
    };
    QList<Step> steps;
    steps << Step{QStringLiteral("the sample"), input.working} << Step{QStringLiteral("cast (colour-balance)"), cast};
    for (const auto& [function, strength, label] :
         {std::make_tuple(VQWBTransformation::BalanceFunction::Auto, 100, "autowb auto, 100"),
          std::make_tuple(VQWBTransformation::BalanceFunction::Auto, 50, "autowb auto, 50"),
          std::make_tuple(VQWBTransformation::BalanceFunction::UnderExposure, 100, "autowb under, 100"),
          std::make_tuple(VQWBTransformation::BalanceFunction::OverExposure, 100, "autowb over, 100")}) {
        KXImageRGBA32i corrected(cast);
        TransformPixels(corrected, VQWBTransformation(cast, function, strength));
        steps << Step{QString::fromLatin1(label) + QStringLiteral(" on the cast"), corrected};
    }
    steps << Step{QStringLiteral("adjust enhance on the cast"), Adjusted(cast, "enhance", "")};

    QList<GridCell> cells;
    QStringList means; // "129/118/103" of each step
    for (const Step& step : steps) {
        const ChannelHistograms h = CountHistograms(step.image);
        cells << GridCell{step.label, Cell(Picture(step.image), {Chart{Means(h), h}})};
        means << Means(h).section(QLatin1Char(' '), 2);
    }
    // The cast and the automatic correction of it.
    return {LabelledGrid(cells, 4, CellSize(1)),
            QStringLiteral("mean RGB %1 \u2192 %2 (auto)").arg(means[1], means[2])};
}

DemoResult HistogramOfSample(const DemoInput& input)
{
    return {HistogramChart(CountHistograms(input.working), QSize(768, 360), true), QString()};
}

DemoResult IccProfiles(const DemoInput& input)
{
    const VQCMSProfile srgb = BuiltInProfile(QStringLiteral("srgb"));
    QList<GridCell> cells;
    cells << GridCell{QStringLiteral("the sample (sRGB)"),
                      Cell(input.sample, {Chart{QString(), CountHistograms(input.working)}})};
    for (const char* name : {"display-p3", "adobe-rgb", "prophoto-rgb", "srgb-linear"}) {
        const KXRGBA32ColorProfileTransform transform(srgb, BuiltInProfile(QString::fromLatin1(name)));
        if (transform.GetForward().IsEmpty())
            throw std::runtime_error(std::string("no transform from srgb to ") + name);
        KXImageRGBA32i image(input.working);
        transform(image);
        cells << GridCell{QStringLiteral("srgb \u2192 %1").arg(QLatin1String(name)),
                          Cell(Picture(image), {Chart{QString(), CountHistograms(image)}})};
    }
    // There and back.
    const KXRGBA32ColorProfileTransform wide(srgb, BuiltInProfile(QStringLiteral("adobe-rgb")));
    KXImageRGBA32i back(input.working);
    wide(back);
    wide.Invert(back);
    const QImage backPicture = Picture(back);
    cells << GridCell{QStringLiteral("srgb \u2192 adobe-rgb \u2192 srgb"),
                      Cell(backPicture, {Chart{QString(), CountHistograms(back)}})};
    return {LabelledGrid(cells, 3, CellSize(1)),
            QStringLiteral("round trip: ") + DifferenceNote(backPicture, input.sample)};
}

} // namespace

void AddColourDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Colour"));
    registry.Add(QStringLiteral("colour-adjustments"),
                 QStringLiteral("Every adjust operation; under each, histograms after (top) and before (bottom)."),
                 AdjustmentGrid);
    registry.Add(QStringLiteral("colour-histogram"),
                 QStringLiteral("The sample's histograms as kximg histogram --png draws them."),
                 HistogramOfSample);
    registry.Add(QStringLiteral("white-balance"),
                 QStringLiteral("A warm cast, corrected by autowb (auto, under, over) and adjust enhance."),
                 WhiteBalance);
    registry.Add(QStringLiteral("icc-profiles"),
                 QStringLiteral("sRGB values converted to wider profiles (shown unmanaged, so duller) and back."),
                 IccProfiles);
}

} // namespace kximg
