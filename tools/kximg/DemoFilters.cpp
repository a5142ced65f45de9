// Demo operations of the filters: box and Gaussian blur filters at three
// strengths, an area blur through a soft selection, a layer grown by its
// blur, and the blur and convolution operators.

#include "DemoSupport.h"

#include "KXBlurFilters.h"
#include "KXBlurOperators.h"
#include "KXImageConversion.h"

#include <QPainter>
#include <QRadialGradient>
#include <QReadWriteLock>

namespace kximg {

namespace {

// An ellipse over the lower left of the picture (where the sample has its
// fine detail) whose alpha fades from 255 in its middle to 0 at its rim.
KXImageRGBA32i SoftSelection(const QSize& size)
{
    QImage mask(size, QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    QPainter painter(&mask);
    const QPointF centre(size.width() * 0.32, size.height() * 0.78);
    const QSizeF radii(size.width() * 0.3, size.height() * 0.2);
    QRadialGradient gradient(centre, radii.width());
    gradient.setColorAt(0.0, QColor(255, 255, 255, 255));
    gradient.setColorAt(0.5, QColor(255, 255, 255, 255));
    gradient.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(centre, radii.width(), radii.height());
    painter.end();
    return ConvertImage<QImage, KXImageRGBA32i>(mask);
}

DemoResult BlurFilters(const DemoInput& input)
{
    QList<GridCell> cells{{QStringLiteral("the sample"), input.sample}};
    for (const int radius : {2, 8, 24}) {
        auto data = On<KXBoxBlurProcessing::BlurData>(input.working);
        data.radius = radius;
        cells << GridCell{QStringLiteral("box blur, radius %1").arg(radius),
                          Picture(RunFilter<KXBoxBlurProcessing>(data))};
    }
    for (const double sigma : {1.0, 4.0, 12.0}) {
        auto data = On<KXGaussianBlurProcessing::BlurData>(input.working);
        data.sigma = sigma;
        cells << GridCell{QStringLiteral("Gaussian blur, sigma %1").arg(sigma),
                          Picture(RunFilter<KXGaussianBlurProcessing>(data))};
    }

    // Through a soft elliptic selection.
    const QSize size(static_cast<int>(input.working.Width()), static_cast<int>(input.working.Height()));
    auto area = On<KXGaussianBlurProcessing::BlurData>(input.working);
    area.sigma = 8.0;
    area.selection = SoftSelection(size);
    area.selectionRect = area.selection.Rect();
    cells << GridCell{QStringLiteral("sigma 8 through a soft selection"),
                      Picture(RunFilter<KXGaussianBlurProcessing>(area))};

    // A layer in the middle of the canvas, grown by its blur: the blur
    // spreads past the layer's edge instead of stopping there.
    const QRect inner(size.width() / 4, size.height() / 4, size.width() / 2, size.height() / 2);
    KXGaussianBlurProcessing::BlurDataEx grown;
    grown.image = ConvertImage<QImage, KXImageRGBA32i>(input.sample.copy(inner));
    grown.sigma = 12.0;
    grown.growthBounds = QRect(QPoint(0, 0), size).translated(-inner.topLeft());
    grown.layerOrigin = inner.topLeft();
    QReadWriteLock lock;
    bool cancelled = false;
    KXGaussianBlurProcessing filter(lock, cancelled);
    const KXGaussianBlurProcessing::ResultEx result = filter.runEx(grown);
    QImage canvas(size, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter(&canvas).drawImage(result.origin, Picture(result.image));
    cells << GridCell{QStringLiteral("a layer grown by its blur (sigma 12)"), canvas};

    // The operators: three box blurs approximating a Gaussian, a sharpening
    // convolution.
    KXImageRGBA32i boxes = input.working;
    KXGaussianBlur{4}(boxes, QRect());
    cells << GridCell{QStringLiteral("KXGaussianBlur operator, r 4"), Picture(boxes)};
    static const double kSharpen[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    KXImageRGBA32i sharp = input.working;
    KXImageConvolution{kSharpen, QSize(3, 3)}(sharp);
    cells << GridCell{QStringLiteral("3 x 3 sharpening convolution"), Picture(sharp)};

    return ResultGrid(cells, 3, 1);
}

} // namespace

void AddFilterDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Filters"));
    registry.Add(QStringLiteral("blur"),
                 QStringLiteral("Box and Gaussian blur filters at three strengths, an area blur through a soft "
                                "selection, a layer grown by its blur, the operators."),
                 BlurFilters);
}

} // namespace kximg
