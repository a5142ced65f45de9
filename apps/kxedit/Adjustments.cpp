#include "Adjustments.h"

#include <KXTransformImageColors.h>
#include <VQHistogram.h>

#include <cmath>

namespace kxedit {

QList<ParamField> Adjustments::Fields()
{
    auto field = [](ParamField::Kind kind, const QString& label, double minimum, double maximum) {
        ParamField s;
        s.kind = kind;
        s.label = label;
        s.minimum = minimum;
        s.maximum = maximum;
        return s;
    };
    return {field(ParamField::Int, QObject::tr("Brightness"), -127, 127),
            field(ParamField::Int, QObject::tr("Contrast"), -127, 127),
            field(ParamField::Double, QObject::tr("Exposure"), -20, 20),
            field(ParamField::Double, QObject::tr("Offset"), -0.5, 0.5),
            field(ParamField::Double, QObject::tr("Gamma"), 0.1, 5.0),
            field(ParamField::Int, QObject::tr("Posterize levels (0: off)"), 0, 64)};
}

QVariantList Adjustments::Defaults()
{
    return {0, 0, 0.0, 0.0, 1.0, 0};
}

QList<KXRGBTables> Adjustments::Tables(const QVariantList& v)
{
    QList<KXRGBTables> tables;
    if (v.size() != 6)
        return tables;
    if (v[0].toInt() != 0 || v[1].toInt() != 0)
        tables.append(KXBrightnessContrastTransformation(v[0].toInt(), v[1].toInt()).GetTables());
    if (v[2].toDouble() != 0.0 || v[3].toDouble() != 0.0)
        tables.append(KXExposureTransformation(v[2].toDouble(), v[3].toDouble()).GetTables());
    if (v[4].toDouble() != 1.0)
        tables.append(KXGammaCorrectionTransformation(v[4].toDouble()).GetTables());
    if (v[5].toInt() >= 2)
        tables.append(KXPosterizeTransformation(v[5].toInt()).GetTables());
    return tables;
}

KXRGBTables Adjustments::Composed(const QList<KXRGBTables>& tables)
{
    KXByteTable composed[3];
    for (int channel = 0; channel < 3; ++channel)
        for (int value = 0; value < 256; ++value) {
            int mapped = value;
            for (const KXRGBTables& t : tables)
                mapped = t[channel][size_t(mapped)];
            composed[channel][size_t(value)] = uint8_t(mapped);
        }
    return KXRGBTables(composed[0], composed[1], composed[2]);
}

Adjustments::Histogram Adjustments::Mapped(const Histogram& histogram, const QList<KXRGBTables>& tables)
{
    const KXRGBTables composed = Composed(tables);
    Histogram out{};
    for (int channel = 0; channel < 3; ++channel)
        for (int value = 0; value < 256; ++value)
            out[size_t(channel)][composed[channel][size_t(value)]] += histogram[size_t(channel)][size_t(value)];
    return out;
}

Adjustments::Histogram Adjustments::Count(const KXImageRGBA32i& image, const QRect& rect)
{
    Histogram counts{};
    VQRGBHistogram histogram(counts[0].data(), counts[1].data(), counts[2].data());
    VisitPixels(image, rect, histogram);
    return counts;
}

Adjustments::Histogram Adjustments::Count(const std::vector<KXRGBA32i>& pixels)
{
    Histogram counts{};
    for (const KXRGBA32i& pixel : pixels) {
        ++counts[0][pixel.r];
        ++counts[1][pixel.g];
        ++counts[2][pixel.b];
    }
    return counts;
}

std::vector<KXRGBA32i> Adjustments::Sample(const KXImageRGBA32i& image, const QRect& rect, int count)
{
    const QRect area = rect & image.Rect();
    std::vector<KXRGBA32i> pixels;
    if (area.isEmpty() || count < 1)
        return pixels;
    const int step = std::max(1, int(std::sqrt(double(area.width()) * area.height() / count)));
    std::vector<KXRGBA32i> line(size_t(area.width()));
    for (int y = area.top(); y <= area.bottom(); y += step) {
        image.GetLine(unsigned(y), unsigned(area.left()), line.data(), unsigned(line.size() * sizeof(KXRGBA32i)));
        for (size_t x = 0; x < line.size(); x += size_t(step))
            pixels.push_back(line[x]);
    }
    return pixels;
}

std::unique_ptr<KXColorTransformStack> AdjustmentKind::Stack(const QVariantList& values) const
{
    auto stack = std::make_unique<KXColorTransformStack>();
    if (values.size() != fields.size())
        return stack;
    if (tables)
        for (const KXRGBTables& stage : tables(values))
            stack->Push(new TableTransform(stage));
    else if (transform)
        stack->Push(transform(values));
    return stack;
}

std::unique_ptr<KXColorTransformBase> AdjustmentKind::Preview(const QVariantList& values) const
{
    if (values.size() == fields.size()) {
        if (tables)
            return std::make_unique<TableTransform>(Adjustments::Composed(tables(values)));
        if (transform)
            return std::unique_ptr<KXColorTransformBase>(transform(values));
    }
    return std::make_unique<TableTransform>(KXRGBTables());
}

const AdjustmentKind* FindAdjustment(const QString& name)
{
    for (const AdjustmentKind* kind : AdjustmentKinds())
        if (kind->name == name)
            return kind;
    return nullptr;
}

} // namespace kxedit
