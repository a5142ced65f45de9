// Demo operations of the detail and effect filters: sharpen, smoothen and
// high pass, noise, glow and vignette, each on the sample, one of them
// through a soft selection.

#include "DemoSupport.h"

#include "KXDetailFilters.h"
#include "KXEffectFilters.h"
#include "KXImageConversion.h"

#include <QLinearGradient>
#include <QPainter>
#include <QReadWriteLock>

#include <limits>

namespace kximg {

namespace {

// A filter run as the editor runs it (RunFilter), as a picture.
template <class Processing, class Data, class... Extra>
QImage Run(const Data& data, Extra&... extra)
{
    return Picture(RunFilter<Processing>(data, extra...));
}

// A piece of fine detail (where the sample has its zone plate) four times
// enlarged, so that 3-tap kernels show.
QImage Enlarged(const QImage& picture)
{
    const QRect piece(QPoint(picture.width() / 4, picture.height() * 3 / 4), QSize(120, 90));
    return picture.copy(piece).scaled(piece.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// The upper half of the picture, fading out over its middle fifth.
KXImageRGBA32i UpperHalf(const QSize& size)
{
    QImage mask(size, QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    QLinearGradient gradient(0, size.height() * 0.4, 0, size.height() * 0.6);
    gradient.setColorAt(0, QColor(255, 255, 255, 255));
    gradient.setColorAt(1, QColor(255, 255, 255, 0));
    QPainter(&mask).fillRect(mask.rect(), gradient);
    return ConvertImage<QImage, KXImageRGBA32i>(mask);
}

DemoResult DetailFilters(const DemoInput& input)
{
    const KXImageRGBA32i& layer = input.working;
    QList<GridCell> cells{{QStringLiteral("the sample"), input.sample}};
    QImage sharp;
    for (const int strength : {60, 255}) {
        auto data = On<KXSharpenProcessing::SharpenData>(layer);
        data.strength = strength;
        sharp = Run<KXSharpenProcessing>(data);
        cells << GridCell{QStringLiteral("sharpen, strength %1").arg(strength), sharp};
    }
    auto smooth = On<KXSmoothenProcessing::SmoothenData>(layer);
    smooth.strength = 255;
    cells << GridCell{QStringLiteral("the sample, detail x4"), Enlarged(input.sample)}
          << GridCell{QStringLiteral("sharpen 255, detail x4"), Enlarged(sharp)}
          << GridCell{QStringLiteral("smoothen 255, detail x4"), Enlarged(Run<KXSmoothenProcessing>(smooth))};

    // One cache for the three high passes: the blur is made once.
    QReadWriteLock cacheLock;
    double cachedSigma = std::numeric_limits<double>::quiet_NaN();
    KXImageRGBA32i cached;
    const std::pair<int, const char*> modes[] = {{0, "the high pass itself (normal)"},
                                                 {1, "high pass, overlay"},
                                                 {3, "high pass, hard light"}};
    for (const auto& mode : modes) {
        auto data = On<KXHighPassProcessing::HighPassData>(layer);
        data.sigma = 4.0;
        data.modeIndex = mode.first;
        cells << GridCell{QStringLiteral("%1, sigma 4").arg(QLatin1String(mode.second)),
                          Run<KXHighPassProcessing>(data, cacheLock, cachedSigma, cached)};
    }
    auto area = On<KXSharpenProcessing::SharpenData>(layer);
    area.strength = 255;
    area.selection = UpperHalf(QSize(int(layer.Width()), int(layer.Height())));
    area.selectionRect = area.selection.Rect();
    cells << GridCell{QStringLiteral("sharpen 255 on the upper half"), Run<KXSharpenProcessing>(area)};
    return ResultGrid(cells, 4, 2);
}

DemoResult EffectFilters(const DemoInput& input)
{
    const KXImageRGBA32i& layer = input.working;
    QList<GridCell> cells{{QStringLiteral("the sample"), input.sample}};
    QReadWriteLock cacheLock;
    KXImageRGBA32i uniform, gaussian;
    for (const int distribution : {0, 1}) {
        auto data = On<KXAddNoiseProcessing::AddNoiseData>(layer);
        data.amount = 25;
        data.distribution = distribution;
        cells << GridCell{QStringLiteral("%1 noise, 25%").arg(distribution == 0 ? "uniform" : "Gaussian"),
                          Run<KXAddNoiseProcessing>(data, cacheLock, uniform, gaussian)};
    }
    for (const int placement : {0, 1}) {
        auto data = On<KXDiffuseGlowProcessing::DiffuseGlowData>(layer);
        data.opacity = 70;
        data.sigma = 6;
        data.threshold = 170;
        data.colour = QColor(255, 236, 180);
        data.placement = placement;
        cells << GridCell{QStringLiteral("diffuse glow %1").arg(placement == 0 ? "over" : "behind"),
                          Run<KXDiffuseGlowProcessing>(data)};
    }
    const int reach = static_cast<int>(std::max(layer.Width(), layer.Height()) / 5);
    for (const int curve : {0, 1}) {
        auto data = On<KXVignetteProcessing::VignetteData>(layer);
        data.reach = reach;
        data.curve = curve;
        cells << GridCell{QStringLiteral("vignette, %1, reach %2").arg(curve == 0 ? "linear" : "parabolic").arg(reach),
                          Run<KXVignetteProcessing>(data)};
    }
    auto tinted = On<KXVignetteProcessing::VignetteData>(layer);
    tinted.reach = reach / 2;
    tinted.amount = 80;
    tinted.colour = QColor(40, 70, 160);
    tinted.selection = UpperHalf(QSize(int(layer.Width()), int(layer.Height())));
    tinted.selectionRect = tinted.selection.Rect();
    cells << GridCell{QStringLiteral("blue vignette, 80%, on the upper half"), Run<KXVignetteProcessing>(tinted)};
    return ResultGrid(cells, 4, 1);
}

} // namespace

void AddEffectDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Effects"));
    registry.Add(QStringLiteral("detail"),
                 QStringLiteral("Sharpen and smoothen (with enlarged detail), the high pass and three of its "
                                "blends (one cached blur), sharpening through a soft selection."),
                 DetailFilters);
    registry.Add(QStringLiteral("effects"),
                 QStringLiteral("Uniform and Gaussian noise, a diffuse glow over and behind the layer, linear and "
                                "parabolic vignettes, a coloured vignette through a soft selection."),
                 EffectFilters);
}

} // namespace kximg
