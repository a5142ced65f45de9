#include "Adjustments.h"

#include <KXTransformImageColors.h>
#include <VQHistogram.h>

#include <cmath>

namespace kxedit {

void TableTransform::operator()(void* pixels, unsigned int byteCount) const
{
    if (!pixels || byteCount < 4)
        return;
    auto* run = static_cast<KXRGBA32i*>(pixels);
    m_tables.ApplyRun(run, run, byteCount / 4);
}

void TableTransform::operator()(KXImage<KXRGBA32i, 128, 128>& image) const
{
    TransformPixels(image, m_tables);
}

void TableTransform::Invert(void*, unsigned int) const
{
}

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

std::unique_ptr<KXColorTransformStack> Adjustments::Stack(const QVariantList& values)
{
    auto stack = std::make_unique<KXColorTransformStack>();
    for (const KXRGBTables& tables : Tables(values))
        stack->Push(new TableTransform(tables));
    return stack;
}

Adjustments::Histogram Adjustments::Mapped(const Histogram& histogram, const QList<KXRGBTables>& tables)
{
    Histogram out{};
    for (int channel = 0; channel < 3; ++channel)
        for (int value = 0; value < 256; ++value) {
            int mapped = value;
            for (const KXRGBTables& t : tables)
                mapped = t[channel][size_t(mapped)];
            out[size_t(channel)][size_t(mapped)] += histogram[size_t(channel)][size_t(value)];
        }
    return out;
}

Adjustments::Histogram Adjustments::Count(const KXImageRGBA32i& image, const QRect& rect)
{
    Histogram counts{};
    VQRGBHistogram histogram(counts[0].data(), counts[1].data(), counts[2].data());
    VisitPixels(image, rect, histogram);
    return counts;
}

} // namespace kxedit
