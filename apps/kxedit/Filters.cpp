#include "Filters.h"

#include "Document.h"

#include <KXBlurFilters.h>
#include <KXDetailFilters.h>
#include <KXEffectFilters.h>
#include <KXShadowFilters.h>

#include <QColor>

#include <cmath>
#include <memory>

namespace kxedit {
namespace {

/// What some filters keep between runs; the editor gives each run a fresh
/// one, since a cache keyed on the parameters alone would outlive an edit.
struct Caches {
    QReadWriteLock lock;
    double sigma = -1;
    KXImageRGBA32i image;
    KXImageRGBA32i second;
};

// What a run's result becomes on the layer. Most filters return the layer.
KXImageRGBA32i Finish(KXImageRGBA32i image, const KXFilterData&)
{
    return image;
}

// Where the shadow falls: the light comes from `angle` degrees (counter-
// clockwise from the right), so the shadow lies `distance` pixels the other way.
QPoint ShadowShift(const KXShadowParamsFields& params)
{
    const double radians = params.extra1 * M_PI / 180.0;
    return QPoint(int(std::lround(-std::cos(radians) * params.extra3)),
                  int(std::lround(std::sin(radians) * params.extra3)));
}

// A shadow laid into the layer, through the area and selection of the run
// (a preview's area, or the user's selection) when there is one.
KXImageRGBA32i PlaceShadow(KXImageRGBA32i shaded, const KXFilterData& data)
{
    if (!data.selectionRect.isValid())
        return shaded;
    KXImageRGBA32i target = data.image;
    Document::MergeThroughSelection(shaded, target, data.selection, data.selectionRect.translated(data.offset));
    return target;
}

// The drop shadow goes behind the layer, moved away from the light and at
// its opacity.
KXImageRGBA32i Finish(const KXDropShadowProcessing::DropShadowResult& result,
                      const KXDropShadowProcessing::DropShadowData& data)
{
    KXImageRGBA32i shaded(data.image.Width(), data.image.Height());
    const QRect placed(result.origin + ShadowShift(data), QSize(int(result.shadow.Width()), int(result.shadow.Height())));
    BlendOn(result.shadow, result.shadow.Rect(), KXBlendMode::Normal, shaded, placed, data.extra2 / 100.0, false);
    BlendOn(data.image, data.image.Rect(), KXBlendMode::Normal, shaded, shaded.Rect(), 1.0, false);
    return PlaceShadow(shaded, data);
}

// The inner shadow goes over the layer, moved toward the light, inside the
// layer's own shape (its alpha is kept).
KXImageRGBA32i Finish(const KXInnerShadowProcessing::InnerShadowResult& result,
                      const KXInnerShadowProcessing::InnerShadowData& data)
{
    KXImageRGBA32i shaded = data.image;
    const QRect placed(result.origin + ShadowShift(data), QSize(int(result.shadow.Width()), int(result.shadow.Height())));
    BlendOn(result.shadow, result.shadow.Rect(), KXBlendMode::Normal, shaded, placed, data.extra2 / 100.0, true);
    return PlaceShadow(shaded, data);
}

/// A filter class bound to the editor: how its Params map to the dialog's
/// values and into its Data record, and how it is built.
template <class Processing, class Data>
class Bound : public FilterKind {
public:
    using Params = typename Processing::Params;
    using ToValues = std::function<QVariantList(const Params&)>;
    using ToParams = std::function<void(const QVariantList&, Params&)>;
    using Fill = std::function<void(const Params&, Data&)>;
    using Make = std::function<std::unique_ptr<Processing>(RunControl&, Caches&)>;
    using ReachOf = std::function<int(const Params&)>;
    using ScaleFn = std::function<void(Params&, double)>;

    Bound(QString name, QList<ParamField> fields, ToValues toValues, ToParams toParams, Fill fill, ReachOf reach,
          Make make, ScaleFn scale = nullptr)
        : m_name(std::move(name)), m_fields(std::move(fields)), m_toValues(std::move(toValues)),
          m_toParams(std::move(toParams)), m_fill(std::move(fill)), m_reach(std::move(reach)), m_make(std::move(make)),
          m_scale(std::move(scale))
    {
    }

    QString Name() const override { return m_name; }
    QList<ParamField> Fields() const override { return m_fields; }
    QVariantList Defaults() const override { return m_toValues(Params()); }
    int Reach(const QVariantList& values) const override { return m_reach(ParamsOf(values)); }
    QVariantList ScaledValues(const QVariantList& values, double factor) const override
    {
        Params params = ParamsOf(values);
        if (m_scale)
            m_scale(params, factor);
        return m_toValues(params);
    }
    bool ScalesWithView() const override { return bool(m_scale); }
    bool WritePreset(QDataStream& stream, const QVariantList& values) const override
    {
        return ParamsOf(values).Write(stream);
    }
    bool ReadPreset(QDataStream& stream, QVariantList& values) const override
    {
        Params params;
        if (!params.Read(stream))
            return false;
        values = m_toValues(params);
        return true;
    }
    KXImageRGBA32i Run(const QVariantList& values, const KXFilterData& data, RunControl& control,
                       const std::function<void(KXAdjustmentProcessing&)>& attach) const override
    {
        Data record;
        static_cast<KXFilterData&>(record) = data;
        m_fill(ParamsOf(values), record);
        Caches caches;
        const std::unique_ptr<Processing> processing = m_make(control, caches);
        if (attach)
            attach(*processing);
        return Finish(processing->run(record), record);
    }

private:
    Params ParamsOf(const QVariantList& values) const
    {
        Params params;
        if (values.size() == m_fields.size())
            m_toParams(values, params);
        return params;
    }

    QString m_name;
    QList<ParamField> m_fields;
    ToValues m_toValues;
    ToParams m_toParams;
    Fill m_fill;
    ReachOf m_reach;
    Make m_make;
    ScaleFn m_scale;
};

// The processing classes built around the run's cancel lock and flag.
template <class Processing>
std::unique_ptr<Processing> Plain(RunControl& control, Caches&)
{
    return std::make_unique<Processing>(control.lock, control.cancelled);
}

// The scaling of a filter whose parameters hold no size in pixels.
template <class Params>
void NoSizes(Params&, double)
{
}

int GaussianReach(double sigma)
{
    return std::max(1, int(sigma * 3.0));
}

// The two shadows share their parameters: the light's angle, the colour, the
// opacity, the distance and the blur size.
template <class Processing, class Data>
void AddShadow(QList<const FilterKind*>& kinds, const QString& name)
{
    using Params = typename Processing::Params;
    kinds.append(new Bound<Processing, Data>(
        name,
        {IntField(QObject::tr("Light angle (°)"), 0, 360), ColourField(QObject::tr("Colour")),
         IntField(QObject::tr("Opacity (%)"), 0, 100), IntField(QObject::tr("Distance (px)"), 0, 500),
         IntField(QObject::tr("Size (px)"), 0, 250)},
        [](const Params& p) { return QVariantList{p.extra1, p.colour, p.extra2, p.extra3, p.size}; },
        [](const QVariantList& v, Params& p) {
            p.extra1 = v[0].toInt();
            p.colour = v[1].value<QColor>();
            p.extra2 = v[2].toInt();
            p.extra3 = v[3].toInt();
            p.size = v[4].toInt();
        },
        [](const Params& p, Data& d) { static_cast<KXShadowParamsFields&>(d) = p; },
        [](const Params& p) { return p.size + p.extra3; }, Plain<Processing>));
}

QList<const FilterKind*> MakeKinds()
{
    using Gaussian = KXGaussianBlurProcessing;
    using Box = KXBoxBlurProcessing;
    using Noise = KXAddNoiseProcessing;
    using HighPass = KXHighPassProcessing;
    using Glow = KXDiffuseGlowProcessing;
    using Vignette = KXVignetteProcessing;
    QList<const FilterKind*> kinds;

    kinds.append(new Bound<Gaussian, Gaussian::BlurData>(
        QObject::tr("Gaussian Blur"), {DoubleField(QObject::tr("Radius (sigma)"), 0.1, 100.0)},
        [](const KXGaussianBlurParams& p) { return QVariantList{p.sigma}; },
        [](const QVariantList& v, KXGaussianBlurParams& p) { p.sigma = v[0].toDouble(); },
        [](const KXGaussianBlurParams& p, Gaussian::BlurData& d) { d.sigma = p.sigma; },
        [](const KXGaussianBlurParams& p) { return GaussianReach(p.sigma); }, Plain<Gaussian>,
        [](KXGaussianBlurParams& p, double f) { p.sigma = std::max(0.1, p.sigma * f); }));

    kinds.append(new Bound<Box, Box::BlurData>(
        QObject::tr("Box Blur"), {IntField(QObject::tr("Radius"), 0, 250)},
        [](const KXBoxBlurParams& p) { return QVariantList{p.radius}; },
        [](const QVariantList& v, KXBoxBlurParams& p) { p.radius = v[0].toInt(); },
        [](const KXBoxBlurParams& p, Box::BlurData& d) { d.radius = p.radius; },
        [](const KXBoxBlurParams& p) { return p.radius; }, Plain<Box>,
        [](KXBoxBlurParams& p, double f) { p.radius = int(std::lround(p.radius * f)); }));

    kinds.append(new Bound<KXSharpenProcessing, KXThreeTapFilterData>(
        QObject::tr("Sharpen"), {IntField(QObject::tr("Strength"), 0, 100)},
        [](const KXSharpenParams& p) { return QVariantList{p.strength}; },
        [](const QVariantList& v, KXSharpenParams& p) { p.strength = v[0].toInt(); },
        [](const KXSharpenParams& p, KXThreeTapFilterData& d) { d.strength = p.strength; },
        [](const KXSharpenParams&) { return 1; }, Plain<KXSharpenProcessing>, NoSizes<KXSharpenParams>));

    kinds.append(new Bound<KXSmoothenProcessing, KXThreeTapFilterData>(
        QObject::tr("Smoothen"), {IntField(QObject::tr("Strength"), 0, 100)},
        [](const KXSmoothenParams& p) { return QVariantList{p.strength}; },
        [](const QVariantList& v, KXSmoothenParams& p) { p.strength = v[0].toInt(); },
        [](const KXSmoothenParams& p, KXThreeTapFilterData& d) { d.strength = p.strength; },
        [](const KXSmoothenParams&) { return 1; }, Plain<KXSmoothenProcessing>, NoSizes<KXSmoothenParams>));

    kinds.append(new Bound<HighPass, HighPass::HighPassData>(
        QObject::tr("High Pass"),
        {DoubleField(QObject::tr("Radius (sigma)"), 0.1, 100.0),
         ChoiceField(QObject::tr("Blend"), {QObject::tr("Normal"), QObject::tr("Overlay"), QObject::tr("Soft light"),
                                           QObject::tr("Hard light")}),
         IntField(QObject::tr("Amount (%)"), 0, 100)},
        [](const KXHighPassParams& p) { return QVariantList{p.sigma, p.modeIndex, p.amount}; },
        [](const QVariantList& v, KXHighPassParams& p) {
            p.sigma = v[0].toDouble();
            p.modeIndex = v[1].toInt();
            p.amount = v[2].toInt();
        },
        [](const KXHighPassParams& p, HighPass::HighPassData& d) { static_cast<KXHighPassParams&>(d) = p; },
        [](const KXHighPassParams& p) { return GaussianReach(p.sigma); },
        [](RunControl& control, Caches& caches) {
            return std::make_unique<HighPass>(control.lock, control.cancelled, caches.lock, caches.sigma,
                                              caches.image);
        },
        [](KXHighPassParams& p, double f) { p.sigma = std::max(0.1, p.sigma * f); }));

    kinds.append(new Bound<Noise, Noise::AddNoiseData>(
        QObject::tr("Add Noise"),
        {IntField(QObject::tr("Amount (%)"), 0, 100),
         ChoiceField(QObject::tr("Distribution"), {QObject::tr("Uniform"), QObject::tr("Gaussian")}),
         ChoiceField(QObject::tr("Transparency"), {QObject::tr("Compose"), QObject::tr("Keep")})},
        [](const KXAddNoiseParams& p) { return QVariantList{p.amount, p.distribution, int(p.flag)}; },
        [](const QVariantList& v, KXAddNoiseParams& p) {
            p.amount = v[0].toInt();
            p.distribution = v[1].toInt();
            p.flag = v[2].toInt() != 0;
        },
        [](const KXAddNoiseParams& p, Noise::AddNoiseData& d) { static_cast<KXAddNoiseParams&>(d) = p; },
        [](const KXAddNoiseParams&) { return 0; },
        [](RunControl& control, Caches& caches) {
            return std::make_unique<Noise>(control.lock, control.cancelled, caches.lock, caches.image,
                                           caches.second);
        },
        NoSizes<KXAddNoiseParams>));

    kinds.append(new Bound<Glow, Glow::DiffuseGlowData>(
        QObject::tr("Diffuse Glow"),
        {IntField(QObject::tr("Opacity (%)"), 0, 100), IntField(QObject::tr("Radius (sigma)"), 1, 100),
         IntField(QObject::tr("Threshold"), 0, 255), ColourField(QObject::tr("Colour")),
         ChoiceField(QObject::tr("Placement"), {QObject::tr("Over the layer"), QObject::tr("Behind the layer")})},
        [](const KXDiffuseGlowParams& p) {
            return QVariantList{p.opacity, p.sigma, p.threshold, p.colour, p.placement};
        },
        [](const QVariantList& v, KXDiffuseGlowParams& p) {
            p.opacity = v[0].toInt();
            p.sigma = v[1].toInt();
            p.threshold = v[2].toInt();
            p.colour = v[3].value<QColor>();
            p.placement = v[4].toInt();
        },
        [](const KXDiffuseGlowParams& p, Glow::DiffuseGlowData& d) { static_cast<KXDiffuseGlowParams&>(d) = p; },
        [](const KXDiffuseGlowParams& p) { return 2 * GaussianReach(p.sigma); }, Plain<Glow>,
        [](KXDiffuseGlowParams& p, double f) { p.sigma = std::max(1, int(std::lround(p.sigma * f))); }));

    kinds.append(new Bound<Vignette, Vignette::VignetteData>(
        QObject::tr("Vignette"),
        {IntField(QObject::tr("Reach (px)"), 1, 4000), IntField(QObject::tr("Amount (%)"), 0, 100),
         ChoiceField(QObject::tr("Curve"), {QObject::tr("Linear"), QObject::tr("Parabolic")}),
         ColourField(QObject::tr("Colour"))},
        [](const KXVignetteParams& p) { return QVariantList{p.reach, p.amount, p.curve, p.colour}; },
        [](const QVariantList& v, KXVignetteParams& p) {
            p.reach = v[0].toInt();
            p.amount = v[1].toInt();
            p.curve = v[2].toInt();
            p.colour = v[3].value<QColor>();
        },
        [](const KXVignetteParams& p, Vignette::VignetteData& d) { static_cast<KXVignetteParams&>(d) = p; },
        [](const KXVignetteParams&) { return 0; }, Plain<Vignette>));

    AddShadow<KXDropShadowProcessing, KXDropShadowProcessing::DropShadowData>(kinds, QObject::tr("Drop Shadow"));
    AddShadow<KXInnerShadowProcessing, KXInnerShadowProcessing::InnerShadowData>(kinds, QObject::tr("Inner Shadow"));
    return kinds;
}

} // namespace

ParamField IntField(const QString& label, int minimum, int maximum)
{
    ParamField field;
    field.kind = ParamField::Int;
    field.label = label;
    field.minimum = minimum;
    field.maximum = maximum;
    return field;
}

ParamField DoubleField(const QString& label, double minimum, double maximum)
{
    ParamField field = IntField(label, 0, 0);
    field.kind = ParamField::Double;
    field.minimum = minimum;
    field.maximum = maximum;
    return field;
}

ParamField ChoiceField(const QString& label, const QStringList& choices)
{
    ParamField field = IntField(label, 0, int(choices.size()) - 1);
    field.kind = ParamField::Choice;
    field.choices = choices;
    return field;
}

ParamField ColourField(const QString& label)
{
    ParamField field = IntField(label, 0, 0);
    field.kind = ParamField::Colour;
    return field;
}

QThreadPool* WorkerPool()
{
    static QThreadPool pool;
    return &pool;
}

const QList<const FilterKind*>& FilterKinds()
{
    static const QList<const FilterKind*> kinds = MakeKinds();
    // Made once, let go at exit.
    static const struct Owner {
        ~Owner() { qDeleteAll(kinds); }
    } owner;
    return kinds;
}

const FilterKind* FindFilter(const QString& name)
{
    for (const FilterKind* kind : FilterKinds())
        if (kind->Name() == name)
            return kind;
    return nullptr;
}

} // namespace kxedit
