// kximg filter: the editor's filters, with their parameters as options or
// as parameter files, progress from the filter itself and Ctrl-C through
// the filter's cancel flag.

#include "AtomicFile.h"
#include "CancelOnInterrupt.h"
#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "Interrupt.h"
#include "OptionValues.h"
#include "Progress.h"
#include "WorkingImage.h"

#include "KXBlurFilters.h"
#include "KXDetailFilters.h"
#include "KXEffectFilters.h"
#include "KXFilterParams.h"
#include "KXRefineSelection.h"
#include "KXShadowFilters.h"

#include <QDataStream>
#include <QFile>
#include <QReadWriteLock>

#include <cstdio>
#include <functional>
#include <limits>

namespace kximg {

namespace {

const QString kCommand = QStringLiteral("filter");

// A result the user should know of, on standard output.
void Info(const QString& text)
{
    std::printf("filter: %s\n", qPrintable(text));
}

// What every filter gets from the command line besides its parameters.
struct FilterInput {
    KXFilterData data;
    bool grow = false;
};

// A parameter record from a file written by --save-params (or by the
// editor): the stream's header decides whether it is the filter's.
template <class Params>
Params LoadParams(const ParsedArgs& args, const QString& filter)
{
    Params params;
    if (!args.Has(QStringLiteral("params")))
        return params;
    const QString path = args.Value(QStringLiteral("params"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("cannot read %1: %2").arg(Quoted(path), LowerFirst(file.errorString())));
    QDataStream stream(&file);
    if (!params.Read(stream))
        throw Error(QStringLiteral("cannot read %1: not a parameter file of %2").arg(Quoted(path), filter));
    return params;
}

// A parameter's value: the option's when given, otherwise the parameter
// file's (or the default), which must lie in the option's range as well and
// is refused with the option's message.
int IntSetting(const ParsedArgs& args, const QString& option, int value, int low, int high)
{
    return IntValue(kCommand, option, args.Has(option) ? args.Value(option) : QString::number(value), low, high);
}

double DoubleSetting(const ParsedArgs& args, const QString& option, double value, double low, double high)
{
    return DoubleValue(kCommand, option, args.Has(option) ? args.Value(option) : QString::number(value, 'g', 17),
                       low, high);
}

template <class Params>
void SaveParams(const ParsedArgs& args, const Params& params)
{
    if (!args.Has(QStringLiteral("save-params")))
        return;
    WriteAtomically(args.Value(QStringLiteral("save-params")), [&](QIODevice& device) {
        QDataStream stream(&device);
        return params.Write(stream) ? QString() : QStringLiteral("the parameters could not be written");
    });
}

// Runs a filter object with the bar fed by its signals and the cancel flag
// set by Ctrl-C; a cancelled run unwinds as an interrupt (nothing written).
// `extra` are what the filter takes after the cancel lock and flag.
template <class Processing, class Run, class... Extra>
auto RunWithProgress(const QString& name, const Run& run, Extra&... extra)
{
    QReadWriteLock cancelLock;
    bool cancelled = false;
    Processing filter(cancelLock, cancelled, extra...);
    ProgressBar bar(QStringLiteral("filter: ") + name);
    int maximum = 0;
    QObject::connect(&filter, &KXAdjustmentProcessing::RangeChanged, [&](int, int high) { maximum = high; });
    QObject::connect(&filter, &KXAdjustmentProcessing::ProgressChanged,
                     [&](int value) { bar.Update(value, maximum); });
    const CancelOnInterrupt watch(cancelLock, cancelled);
    auto result = run(filter);
    bar.Finish();
    CheckInterrupted();
    return result;
}

// --rect cut to the picture (the filters change nothing beyond it, and an
// area far beyond it would only cost time and memory); one that misses the
// picture is refused.
QRect ClippedRect(const ParsedArgs& args, const QRect& rect, const QRect& picture)
{
    const QRect inside = rect & picture;
    if (inside.isEmpty())
        BadValue(kCommand, QStringLiteral("rect"), args.Value(QStringLiteral("rect")),
                 QStringLiteral("X,Y,W,H overlapping the %1 x %2 picture").arg(picture.width()).arg(picture.height()));
    return inside;
}

// The area to filter: --rect alone is an opaque selection of that rectangle;
// --selection MASK weights the result by MASK's alpha (MASK lies on the
// layer's top-left corner), over --rect or the whole mask.
FilterInput ReadInput(const ParsedArgs& args, KXImageRGBA32i&& image)
{
    FilterInput input;
    input.data.image = std::move(image);
    input.grow = args.Has(QStringLiteral("grow"));
    QRect rect;
    if (args.Has(QStringLiteral("rect"))) {
        const QVector<int> r =
            IntListValue(kCommand, QStringLiteral("rect"), args.Value(QStringLiteral("rect")), 4, -1000000, 1000000,
                         QStringLiteral("X,Y,W,H"));
        if (r[2] < 1 || r[3] < 1)
            BadValue(kCommand, QStringLiteral("rect"), args.Value(QStringLiteral("rect")),
                     QStringLiteral("X,Y,W,H with W and H at least 1"));
        rect = ClippedRect(args, QRect(r[0], r[1], r[2], r[3]), input.data.image.Rect());
    }
    if (args.Has(QStringLiteral("selection"))) {
        input.data.selection = ReadWorking(args.Value(QStringLiteral("selection")), ImageOptions()).image;
        input.data.selectionRect = rect.isNull() ? input.data.selection.Rect() : rect;
    } else if (!rect.isNull()) {
        KXImageRGBA32i opaque(static_cast<unsigned int>(rect.width()), static_cast<unsigned int>(rect.height()));
        opaque.Fill(KXRGBA32i(0xFFFFFFFFu));
        input.data.selection = opaque;
        input.data.selectionRect = QRect(QPoint(0, 0), rect.size());
        input.data.offset = rect.topLeft();
    }
    return input;
}

// The blur filters: run, or runEx with room to spread past the layer's edge.
template <class Processing>
KXImageRGBA32i RunBlur(const QString& name, FilterInput&& input, const std::function<void(typename Processing::BlurData&)>& set)
{
    return RunWithProgress<Processing>(name, [&](Processing& filter) {
        typename Processing::BlurDataEx data;
        static_cast<KXFilterData&>(data) = input.data;
        set(data);
        input.data = KXFilterData();
        if (!input.grow)
            return filter.run(data);
        // Bounds far enough out for any margin: the filter grows the layer
        // by its own margin at most.
        data.growthBounds = data.image.Rect().adjusted(-1000000, -1000000, 1000000, 1000000);
        const typename Processing::ResultEx result = filter.runEx(data);
        CheckInterrupted();
        Info(QStringLiteral("the layer grew to %1 x %2, its top-left corner now at %3,%4")
                 .arg(result.image.Width())
                 .arg(result.image.Height())
                 .arg(result.origin.x())
                 .arg(result.origin.y()));
        return result.image;
    });
}

KXImageRGBA32i BoxBlur(const ParsedArgs& args, FilterInput&& input)
{
    KXBoxBlurParams params = LoadParams<KXBoxBlurParams>(args, QStringLiteral("box-blur"));
    params.radius = IntSetting(args, QStringLiteral("radius"), params.radius, 0, 1000);
    SaveParams(args, params);
    return RunBlur<KXBoxBlurProcessing>(QStringLiteral("box-blur"), std::move(input),
                                       [&](KXBoxBlurProcessing::BlurData& data) { data.radius = params.radius; });
}

KXImageRGBA32i GaussianBlur(const ParsedArgs& args, FilterInput&& input)
{
    KXGaussianBlurParams params = LoadParams<KXGaussianBlurParams>(args, QStringLiteral("gaussian-blur"));
    params.sigma = DoubleSetting(args, QStringLiteral("sigma"), params.sigma, 0.1, 300.0);
    SaveParams(args, params);
    return RunBlur<KXGaussianBlurProcessing>(QStringLiteral("gaussian-blur"), std::move(input),
                                            [&](KXGaussianBlurProcessing::BlurData& data) { data.sigma = params.sigma; });
}

// The shadow filters: OUT is the shadow picture itself (the layer is not
// drawn); where its top-left corner lies relative to the layer is printed.
template <class Processing, class Params, class Data>
KXImageRGBA32i RunShadow(const ParsedArgs& args, FilterInput&& input, const QString& name)
{
    Params params = LoadParams<Params>(args, name);
    if (args.Has(QStringLiteral("shadow-colour")))
        params.colour = ColourValue(kCommand, QStringLiteral("shadow-colour"), args.Value(QStringLiteral("shadow-colour")));
    params.size = IntSetting(args, QStringLiteral("size"), params.size, 0, 1000);
    SaveParams(args, params);
    Data data;
    static_cast<KXFilterData&>(data) = input.data;
    static_cast<KXShadowParamsFields&>(data) = params;
    data.maskFlag = 1; // no layer mask: the whole layer casts the shadow
    input.data = KXFilterData();
    const auto result = RunWithProgress<Processing>(name, [&](Processing& filter) { return filter.run(data); });
    Info(QStringLiteral("the shadow is %1 x %2, its top-left corner at %3,%4 of the layer")
             .arg(result.shadow.Width())
             .arg(result.shadow.Height())
             .arg(result.origin.x())
             .arg(result.origin.y()));
    return result.shadow;
}

KXImageRGBA32i DropShadow(const ParsedArgs& args, FilterInput&& input)
{
    return RunShadow<KXDropShadowProcessing, KXDropShadowParams, KXDropShadowProcessing::DropShadowData>(
        args, std::move(input), QStringLiteral("drop-shadow"));
}

KXImageRGBA32i InnerShadow(const ParsedArgs& args, FilterInput&& input)
{
    return RunShadow<KXInnerShadowProcessing, KXInnerShadowParams, KXInnerShadowProcessing::InnerShadowData>(
        args, std::move(input), QStringLiteral("inner-shadow"));
}

// Refine selection: IN is the selection, its alpha the strength; OUT is the
// refined selection, which may be larger (its position is printed).
KXImageRGBA32i RefineSelection(const ParsedArgs& args, FilterInput&& input)
{
    const QString name = QStringLiteral("refine-selection");
    KXRefineSelectionParams params = LoadParams<KXRefineSelectionParams>(args, name);
    params.radius = DoubleSetting(args, QStringLiteral("feather"), params.radius, 0.0, 1000.0);
    params.shift = IntSetting(args, QStringLiteral("shift"), params.shift, -1000, 1000);
    SaveParams(args, params);
    VQRefineSelectionProcessing::RefineSelectionData data;
    data.image = std::move(input.data.image);
    data.selectionRect = data.image.Rect();
    data.radius = params.radius;
    data.shift = params.shift;
    if (args.Has(QStringLiteral("bound"))) {
        const QVector<int> b = IntListValue(kCommand, QStringLiteral("bound"), args.Value(QStringLiteral("bound")), 2,
                                            0, 1000000, QStringLiteral("W,H"));
        data.boundSize = QSize(b[0], b[1]);
    }
    const auto result = RunWithProgress<VQRefineSelectionProcessing>(
        name, [&](VQRefineSelectionProcessing& filter) { return filter.run(data); });
    Info(QStringLiteral("the selection is %1 x %2, its top-left corner at %3,%4")
             .arg(result.image.Width())
             .arg(result.image.Height())
             .arg(result.position.x())
             .arg(result.position.y()));
    return result.image;
}

// The detail and effect filters: their Data is the Params, the common
// fields and (sharpen, smoothen) the strength.
template <class Processing, class Data, class Params, class... Extra>
KXImageRGBA32i RunEffect(const QString& name, FilterInput&& input, const Params& params, Extra&... extra)
{
    return RunWithProgress<Processing>(
        name,
        [&](Processing& filter) {
            Data data;
            static_cast<KXFilterData&>(data) = input.data;
            static_cast<Params&>(data) = params;
            input.data = KXFilterData();
            return filter.run(data);
        },
        extra...);
}

template <class Processing, class Params, class Data>
KXImageRGBA32i ThreeTap(const ParsedArgs& args, FilterInput&& input, const QString& name)
{
    Params params = LoadParams<Params>(args, name);
    params.strength = IntSetting(args, QStringLiteral("strength"), params.strength, 0, 255);
    SaveParams(args, params);
    return RunWithProgress<Processing>(name, [&](Processing& filter) {
        Data data;
        static_cast<KXFilterData&>(data) = input.data;
        data.strength = params.strength;
        input.data = KXFilterData();
        return filter.run(data);
    });
}

KXImageRGBA32i Sharpen(const ParsedArgs& args, FilterInput&& input)
{
    return ThreeTap<KXSharpenProcessing, KXSharpenParams, KXSharpenProcessing::SharpenData>(args, std::move(input), QStringLiteral("sharpen"));
}

KXImageRGBA32i Smoothen(const ParsedArgs& args, FilterInput&& input)
{
    return ThreeTap<KXSmoothenProcessing, KXSmoothenParams, KXSmoothenProcessing::SmoothenData>(args, std::move(input), QStringLiteral("smoothen"));
}

const QStringList& HighPassModes()
{
    static const QStringList modes{QStringLiteral("normal"), QStringLiteral("overlay"), QStringLiteral("soft-light"),
                                   QStringLiteral("hard-light")};
    return modes;
}

KXImageRGBA32i HighPass(const ParsedArgs& args, FilterInput&& input)
{
    KXHighPassParams params = LoadParams<KXHighPassParams>(args, QStringLiteral("high-pass"));
    params.sigma = DoubleSetting(args, QStringLiteral("sigma"), params.sigma, 0.1, 300.0);
    const QString mode = HighPassModes().value(params.modeIndex, HighPassModes().first());
    params.modeIndex = HighPassModes().indexOf(ChoiceOption(args, kCommand, QStringLiteral("mode"), HighPassModes(), mode));
    params.amount = IntSetting(args, QStringLiteral("amount"), params.amount, 0, 100);
    SaveParams(args, params);
    // A cache of the run's own: the tool blurs once.
    QReadWriteLock cacheLock;
    double cachedSigma = std::numeric_limits<double>::quiet_NaN();
    KXImageRGBA32i cached;
    return RunEffect<KXHighPassProcessing, KXHighPassProcessing::HighPassData>(
        QStringLiteral("high-pass"), std::move(input), params, cacheLock, cachedSigma, cached);
}

KXImageRGBA32i AddNoise(const ParsedArgs& args, FilterInput&& input)
{
    const QStringList distributions{QStringLiteral("uniform"), QStringLiteral("gaussian")};
    KXAddNoiseParams params = LoadParams<KXAddNoiseParams>(args, QStringLiteral("add-noise"));
    params.amount = IntSetting(args, QStringLiteral("amount"), params.amount, 0, 100);
    params.distribution = distributions.indexOf(ChoiceOption(args, kCommand, QStringLiteral("distribution"), distributions,
                                                             distributions.at(params.distribution == 0 ? 0 : 1)));
    if (args.Has(QStringLiteral("compose-alpha")))
        params.flag = false;
    SaveParams(args, params);
    QReadWriteLock cacheLock;
    KXImageRGBA32i uniform, gaussian;
    return RunEffect<KXAddNoiseProcessing, KXAddNoiseProcessing::AddNoiseData>(
        QStringLiteral("add-noise"), std::move(input), params, cacheLock, uniform, gaussian);
}

KXImageRGBA32i DiffuseGlow(const ParsedArgs& args, FilterInput&& input)
{
    KXDiffuseGlowParams params = LoadParams<KXDiffuseGlowParams>(args, QStringLiteral("diffuse-glow"));
    params.opacity = IntSetting(args, QStringLiteral("opacity"), params.opacity, 0, 100);
    params.sigma = IntSetting(args, QStringLiteral("sigma"), params.sigma, 1, 300);
    params.threshold = IntSetting(args, QStringLiteral("threshold"), params.threshold, 0, 256);
    if (args.Has(QStringLiteral("colour")))
        params.colour = ColourValue(kCommand, QStringLiteral("colour"), args.Value(QStringLiteral("colour")));
    if (args.Has(QStringLiteral("behind")))
        params.placement = 1;
    SaveParams(args, params);
    return RunEffect<KXDiffuseGlowProcessing, KXDiffuseGlowProcessing::DiffuseGlowData>(
        QStringLiteral("diffuse-glow"), std::move(input), params);
}

KXImageRGBA32i Vignette(const ParsedArgs& args, FilterInput&& input)
{
    const QStringList curves{QStringLiteral("linear"), QStringLiteral("parabolic")};
    KXVignetteParams params = LoadParams<KXVignetteParams>(args, QStringLiteral("vignette"));
    params.reach = IntSetting(args, QStringLiteral("reach"), params.reach, 1, 100000);
    params.amount = IntSetting(args, QStringLiteral("amount"), params.amount, 0, 100);
    params.curve = curves.indexOf(
        ChoiceOption(args, kCommand, QStringLiteral("curve"), curves, curves.at(params.curve == 0 ? 0 : 1)));
    if (args.Has(QStringLiteral("colour")))
        params.colour = ColourValue(kCommand, QStringLiteral("colour"), args.Value(QStringLiteral("colour")));
    SaveParams(args, params);
    return RunEffect<KXVignetteProcessing, KXVignetteProcessing::VignetteData>(QStringLiteral("vignette"),
                                                                             std::move(input), params);
}

// The filters by name, each reading its own options (and only those).
struct Filter {
    QString name;
    QStringList options;
    KXImageRGBA32i (*run)(const ParsedArgs&, FilterInput&&);
};

const QList<Filter>& Filters()
{
    static const QList<Filter> filters{
        {QStringLiteral("box-blur"), {QStringLiteral("radius")}, BoxBlur},
        {QStringLiteral("gaussian-blur"), {QStringLiteral("sigma")}, GaussianBlur},
        {QStringLiteral("drop-shadow"), {QStringLiteral("size"), QStringLiteral("shadow-colour")}, DropShadow},
        {QStringLiteral("inner-shadow"), {QStringLiteral("size"), QStringLiteral("shadow-colour")}, InnerShadow},
        {QStringLiteral("refine-selection"), {QStringLiteral("feather"), QStringLiteral("shift"), QStringLiteral("bound")},
         RefineSelection},
        {QStringLiteral("sharpen"), {QStringLiteral("strength")}, Sharpen},
        {QStringLiteral("smoothen"), {QStringLiteral("strength")}, Smoothen},
        {QStringLiteral("high-pass"), {QStringLiteral("sigma"), QStringLiteral("mode"), QStringLiteral("amount")}, HighPass},
        {QStringLiteral("add-noise"), {QStringLiteral("amount"), QStringLiteral("distribution"), QStringLiteral("compose-alpha")}, AddNoise},
        {QStringLiteral("diffuse-glow"), {QStringLiteral("opacity"), QStringLiteral("sigma"), QStringLiteral("threshold"), QStringLiteral("colour"), QStringLiteral("behind")}, DiffuseGlow},
        {QStringLiteral("vignette"), {QStringLiteral("reach"), QStringLiteral("amount"), QStringLiteral("curve"), QStringLiteral("colour")}, Vignette},
    };
    return filters;
}

QStringList FilterNames()
{
    QStringList names;
    for (const Filter& filter : Filters())
        names << filter.name;
    return names;
}

const CommandSyntax& FilterSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("filter"),
        QStringLiteral("filter IN OUT --name NAME [PARAMETERS] [--rect X,Y,W,H] [--selection MASK] [--grow]"),
        QStringLiteral("run one of the editor's filters, with progress and presets"),
        QStringLiteral("Runs the filter NAME on IN and writes OUT. Filters and their parameters:\n"
                       "  box-blur       --radius 0..1000 [5]   box blur of alpha-weighted colours\n"
                       "  gaussian-blur  --sigma 0.1..300 [5]   Gaussian blur of alpha-weighted colours\n"
                       "  drop-shadow    --size 0..1000 [20] --shadow-colour C [black]   the layer's shape\n"
                       "                 blurred, in the shadow colour; OUT is the shadow alone\n"
                       "  inner-shadow   --size 0..1000 [20] --shadow-colour C [black]   the blurred\n"
                       "                 complement of the layer's shape; OUT is the shadow alone\n"
                       "  refine-selection --feather 0..1000 [0] --shift -1000..1000 [0] [--bound W,H]\n"
                       "                 IN is a selection: its alpha (not its grey value) is the\n"
                       "                 strength; three box blurs of the feather radius, then the\n"
                       "                 edge grows (shift > 0) or shrinks; OUT may be larger than IN\n"
                       "  sharpen        --strength 0..255 [10]   3-tap sharpening along rows and columns\n"
                       "  smoothen       --strength 0..255 [10]   3-tap smoothing of alpha-weighted colours\n"
                       "  high-pass      --sigma 0.1..300 [10] --mode normal|overlay|soft-light|hard-light\n"
                       "                 [overlay] --amount 0..100 [100]   the layer minus its blur, blended on\n"
                       "  add-noise      --amount 0..100 [50] --distribution uniform|gaussian [uniform]\n"
                       "                 [--compose-alpha]   random noise laid over the layer\n"
                       "  diffuse-glow   --opacity 0..100 [100] --sigma 1..300 [5] --threshold 0..256 [128]\n"
                       "                 --colour C [white] [--behind]   a blurred glow of the bright parts\n"
                       "  vignette       --reach 1..100000 [1] --amount 0..100 [100] --curve linear|parabolic\n"
                       "                 [parabolic] --colour C [black]   tints outside the inscribed ellipse\n"
                       "Without --rect and --selection the whole layer is filtered. --rect filters a\n"
                       "rectangle; --selection MASK weights the result by MASK's alpha (MASK lies on\n"
                       "the layer's top-left corner). --params FILE starts from a parameter file,\n"
                       "--save-params FILE writes the parameters used, so presets are files; options\n"
                       "given on the command line override the file. Ctrl-C stops the filter; nothing\n"
                       "is written then."),
        QList<OptionSyntax>{
            OptionSyntax{QStringLiteral("name"), QChar(), QStringLiteral("NAME"), QStringLiteral("the filter (required)")},
            OptionSyntax{QStringLiteral("radius"), QChar(), QStringLiteral("N"), QStringLiteral("box-blur: the box radius")},
            OptionSyntax{QStringLiteral("sigma"), QChar(), QStringLiteral("S"),
                         QStringLiteral("gaussian-blur, high-pass, diffuse-glow: the standard deviation in pixels")},
            OptionSyntax{QStringLiteral("size"), QChar(), QStringLiteral("N"),
                         QStringLiteral("drop-shadow, inner-shadow: the blur radius in pixels")},
            OptionSyntax{QStringLiteral("shadow-colour"), QChar(), QStringLiteral("C"),
                         QStringLiteral("drop-shadow, inner-shadow: #RRGGBB, #AARRGGBB or a colour name")},
            OptionSyntax{QStringLiteral("feather"), QChar(), QStringLiteral("R"),
                         QStringLiteral("refine-selection: the feather's box radius (truncated)")},
            OptionSyntax{QStringLiteral("shift"), QChar(), QStringLiteral("N"),
                         QStringLiteral("refine-selection: pixels the edge moves out (or in, if negative)")},
            OptionSyntax{QStringLiteral("bound"), QChar(), QStringLiteral("W,H"),
                         QStringLiteral("refine-selection: the selection grows no further than W x H at 0,0")},
            OptionSyntax{QStringLiteral("strength"), QChar(), QStringLiteral("N"),
                         QStringLiteral("sharpen, smoothen: the kernel's strength")},
            OptionSyntax{QStringLiteral("mode"), QChar(), QStringLiteral("MODE"),
                         QStringLiteral("high-pass: how the high pass is blended on")},
            OptionSyntax{QStringLiteral("amount"), QChar(), QStringLiteral("PERCENT"),
                         QStringLiteral("high-pass, add-noise, vignette: the strength")},
            OptionSyntax{QStringLiteral("distribution"), QChar(), QStringLiteral("D"),
                         QStringLiteral("add-noise: uniform or gaussian")},
            OptionSyntax{QStringLiteral("compose-alpha"), QChar(), QString(),
                         QStringLiteral("add-noise: let the noise change alpha too")},
            OptionSyntax{QStringLiteral("opacity"), QChar(), QStringLiteral("PERCENT"),
                         QStringLiteral("diffuse-glow: the glow's opacity")},
            OptionSyntax{QStringLiteral("threshold"), QChar(), QStringLiteral("N"),
                         QStringLiteral("diffuse-glow: the brightness that glows")},
            OptionSyntax{QStringLiteral("behind"), QChar(), QString(),
                         QStringLiteral("diffuse-glow: put the glow behind the layer")},
            OptionSyntax{QStringLiteral("reach"), QChar(), QStringLiteral("N"),
                         QStringLiteral("vignette: the falloff in pixels")},
            OptionSyntax{QStringLiteral("curve"), QChar(), QStringLiteral("CURVE"),
                         QStringLiteral("vignette: linear or parabolic falloff")},
            OptionSyntax{QStringLiteral("colour"), QChar(), QStringLiteral("C"),
                         QStringLiteral("diffuse-glow, vignette: the colour (#RRGGBB or a name)")},
            OptionSyntax{QStringLiteral("rect"), QChar(), QStringLiteral("X,Y,W,H"), QStringLiteral("the area to filter")},
            OptionSyntax{QStringLiteral("selection"), QChar(), QStringLiteral("MASK"),
                         QStringLiteral("a picture whose alpha weights the filtered result")},
            OptionSyntax{QStringLiteral("grow"), QChar(), QString(),
                         QStringLiteral("let the blur spread past the layer's edge (OUT grows)")},
            OptionSyntax{QStringLiteral("params"), QChar(), QStringLiteral("FILE"),
                         QStringLiteral("read the parameters from FILE")},
            OptionSyntax{QStringLiteral("save-params"), QChar(), QStringLiteral("FILE"),
                         QStringLiteral("write the parameters to FILE")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg filter photo.jpg soft.jpg --name gaussian-blur --sigma 3\n"
                       "  kximg filter photo.jpg out.png --name box-blur --radius 20 --selection mask.png\n"
                       "  kximg filter photo.jpg out.jpg --name gaussian-blur --sigma 8 --save-params soft.preset\n"
                       "  kximg filter other.jpg out.jpg --name gaussian-blur --params soft.preset\n"
                       "  kximg filter photo.jpg out.jpg --name vignette --reach 400 --curve linear")};
    return syntax;
}

int RunFilter(const ParsedArgs& args)
{
    if (!args.Has(QStringLiteral("name")))
        throw Error(QStringLiteral("filter: --name is required (%1)").arg(FilterNames().join(QStringLiteral(", "))));
    const QString name = ChoiceValue(kCommand, QStringLiteral("name"), args.Value(QStringLiteral("name")), FilterNames());
    const Filter& filter = Filters().at(FilterNames().indexOf(name));
    for (const Filter& other : Filters())
        for (const QString& option : other.options)
            if (args.Has(option) && !filter.options.contains(option))
                throw Error(QStringLiteral("filter: --%1 does not apply to --name %2").arg(option, name));
    const ImageOptions options = ImageOptionsFrom(args, kCommand);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(kCommand);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    progress.Finish(); // the filter draws its own bar
    picture.image = filter.run(args, ReadInput(args, std::move(picture.image)));
    WriteWorking(std::move(picture), out, format, options);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(55, FilterSyntax, RunFilter, false)

} // namespace kximg
