// Demo operations of the geometric transforms: a rotation and a 4x
// reduction with each sampler, and zoomed views rendered as the editor's
// canvas renders them.

#include "DemoSupport.h"

#include "KXColorTransform.h"
#include "KXImageConversion.h"
#include "KXScaleImage.h"
#include "KXTransformImage.h"

#include <QTransform>

namespace kximg {

namespace {

using Sampler = bool (*)(const KXImageRGBA32i&, const QTransform&, KXImageRGBA32i&, const QRect&);
struct NamedSampler {
    const char* name;
    Sampler run;
};
const NamedSampler kSamplers[] = {{"nearest", NearestNeighbourTransformImage},
                                  {"bilinear", BilinearTransformImage},
                                  {"bicubic", BicubicTransformImage}};

// A view of `image` at `scale` from `offset`, `size` pixels, over transparency.
QImage View(const KXImageRGBA32i& image, double scale, const QPointF& offset, const QSize& size,
            const KXColorTransformBase* transform = nullptr)
{
    QImage view(size, QImage::Format_ARGB32);
    view.fill(Qt::transparent);
    if (transform)
        ScaleImage(image, offset, scale, view, *transform);
    else
        ScaleImage(image, offset, scale, view);
    return view;
}

// 30 degrees about the centre, the corners left transparent; below each,
// an 8x view of a patch crossing a tile corner of the result.
DemoResult Rotation(const DemoInput& input)
{
    const KXImageRGBA32i& image = input.working;
    const QPointF centre(image.Width() / 2.0, image.Height() / 2.0);
    const QTransform turn = QTransform::fromTranslate(-centre.x(), -centre.y()) * QTransform().rotate(30) *
                            QTransform::fromTranslate(centre.x(), centre.y());
    QList<GridCell> cells, zooms;
    for (const NamedSampler& s : kSamplers) {
        KXImageRGBA32i rotated(image.Width(), image.Height());
        s.run(image, turn, rotated, QRect());
        cells << GridCell{QStringLiteral("%1, 30 degrees").arg(QLatin1String(s.name)), Picture(rotated)};
        zooms << GridCell{QStringLiteral("%1, 8x around tile corner (256, 512)").arg(QLatin1String(s.name)),
                          View(rotated, 8.0, QPointF(226, 490), QSize(480, 360))};
    }
    return {LabelledGrid(cells + zooms, 3, kDemoCell), QString()};
}

// A 4x reduction with each sampler (the bilinear and bicubic ones box
// blur first), each then shown 4x by the view renderer so that the
// reduced pixels can be compared.
DemoResult Reduction(const DemoInput& input)
{
    const KXImageRGBA32i& image = input.working;
    const QSize small((image.Width() + 3) / 4, (image.Height() + 3) / 4);
    QList<GridCell> cells;
    for (const NamedSampler& s : kSamplers) {
        KXImageRGBA32i reduced(small.width(), small.height());
        s.run(image, QTransform::fromScale(0.25, 0.25), reduced, QRect());
        cells << GridCell{QStringLiteral("%1, 1/4, shown 4x").arg(QLatin1String(s.name)),
                          View(reduced, 4.0, QPointF(0, 0), small * 4)};
    }
    return {LabelledGrid(cells, 3, kDemoCell), QStringLiteral("%1 x %2 pixels each").arg(small.width()).arg(small.height())};
}

// The canvas renderer: the whole picture at 1/2, a detail at 3x and 6x
// (crisp blocks, every other line repeated), a pan by half a pixel and a
// view through a colour transformation.
DemoResult Views(const DemoInput& input)
{
    const KXImageRGBA32i& image = input.working;
    const QSize size(480, 360);
    const QPointF detail(image.Width() * 0.12, image.Height() * 0.72);
    const KXRGBChannelFilter grey(KXRGBChannelFilter::GreenAsGray);
    QList<GridCell> cells{
        {QStringLiteral("1/2, whole picture"), View(image, 0.5, QPointF(0, 0), (QSizeF(image.Width(), image.Height()) * 0.5).toSize())},
        {QStringLiteral("1x from (100, 100)"), View(image, 1.0, QPointF(100, 100), size)},
        {QStringLiteral("3x detail"), View(image, 3.0, detail, size)},
        {QStringLiteral("6x detail"), View(image, 6.0, detail, size)},
        {QStringLiteral("6x detail, half a pixel further"), View(image, 6.0, detail + QPointF(0.5, 0.5), size)},
        {QStringLiteral("2x hue wheel, green as grey"),
         View(image, 2.0, QPointF(image.Width() * 0.66, image.Height() * 0.05), size, &grey)}};
    return {LabelledGrid(cells, 3, kDemoCell), QString()};
}

} // namespace

void AddGeometryDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Geometry"));
    registry.Add(QStringLiteral("rotate"),
                 QStringLiteral("A 30 degree rotation with the nearest, bilinear and bicubic samplers, and 8x views "
                                "across a tile corner of each result."),
                 Rotation);
    registry.Add(QStringLiteral("reduce"),
                 QStringLiteral("A 4x reduction with each sampler (bilinear and bicubic box-blur first), shown 4x."),
                 Reduction);
    registry.Add(QStringLiteral("views"),
                 QStringLiteral("Zoomed and panned views as the canvas draws them, one through a colour "
                                "transformation."),
                 Views);
}

} // namespace kximg
