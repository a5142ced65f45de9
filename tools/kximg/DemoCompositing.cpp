// Demo operations of compositing: every blend mode over the sample, a blend
// through a layer mask, layer masks themselves, and drawing into tiled images
// (paths across tile borders, filled shapes, rotated text, inversion).

#include "DemoRegistry.h"
#include "Gallery.h"

#include "KXBlendModes.h"
#include "KXImageConversion.h"
#include "KXImagePainter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cmath>

namespace kximg {

namespace {

// The layer blended over the sample: rainbow stripes fading out towards the
// edges, with an opaque white bar and an opaque black disc, so that every
// mode shows its effect on colour, on light and dark, and on partial alpha.
QImage BlendLayer(const QSize& size)
{
    QImage layer(size, QImage::Format_ARGB32);
    layer.fill(Qt::transparent);
    QPainter painter(&layer);
    QLinearGradient rainbow(0, 0, size.width(), size.height());
    for (int i = 0; i <= 6; ++i)
        rainbow.setColorAt(i / 6.0, QColor::fromHsv((i * 60) % 360, 255, 255));
    painter.fillRect(layer.rect(), rainbow);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    QRadialGradient fade(QPointF(size.width() / 2.0, size.height() / 2.0), size.width() * 0.6);
    fade.setColorAt(0.0, QColor(0, 0, 0, 255));
    fade.setColorAt(1.0, QColor(0, 0, 0, 40));
    painter.fillRect(layer.rect(), fade);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.fillRect(QRect(size.width() / 10, size.height() * 45 / 100, size.width() * 8 / 10, size.height() / 10),
                     Qt::white);
    painter.setBrush(Qt::black);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(size.width() * 0.75, size.height() * 0.25), size.height() / 8.0,
                        size.height() / 8.0);
    return layer;
}

QList<unsigned int> ModeNumbers()
{
    QList<unsigned int> modes;
    for (unsigned int mode = 0; mode < 32; ++mode)
        modes << mode;
    modes << 64;
    for (unsigned int mode = 88; mode <= 95; ++mode)
        modes << mode;
    return modes;
}

QString ModeLabel(unsigned int mode, double opacity)
{
    const char* name = BlendModeName(mode);
    return QStringLiteral("%1 %2 @%3")
        .arg(mode)
        .arg(name ? QLatin1String(name) : QLatin1String("(Normal)"))
        .arg(opacity, 0, 'f', 1);
}

DemoResult ModeGrid(const DemoInput& input)
{
    const KXImageRGBA32i layer = ConvertImage<QImage, KXImageRGBA32i>(BlendLayer(input.sample.size()));
    QList<GridCell> cells;
    for (unsigned int mode : ModeNumbers()) {
        for (double opacity : {1.0, 0.5}) {
            KXImageRGBA32i base(input.working);
            BlendOn(layer, layer.Rect(), mode, base, base.Rect(), opacity, false);
            cells << GridCell{ModeLabel(mode, opacity), ConvertImage<KXImageRGBA32i, QImage>(base)};
        }
    }
    return {LabelledGrid(cells, 8, QSize(224, 168)), QStringLiteral("%1 modes, each at opacity 1.0 and 0.5")
                                                        .arg(ModeNumbers().size())};
}

// A soft-edged ring as a layer mask in the layer's coordinates.
KXImageRGBA32i RingMask(const QSize& size)
{
    QImage picture(size, QImage::Format_ARGB32);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    QRadialGradient ring(QPointF(size.width() / 2.0, size.height() / 2.0), size.height() / 2.5);
    ring.setColorAt(0.0, Qt::black);
    ring.setColorAt(0.45, Qt::white);
    ring.setColorAt(0.7, Qt::white);
    ring.setColorAt(1.0, Qt::black);
    painter.fillRect(picture.rect(), ring);
    painter.end();
    KXImageRGBA32i mask;
    CreateFromSourceMask(mask, ConvertImage<QImage, KXImageRGBA32i>(picture));
    return mask;
}

DemoResult MaskedBlend(const DemoInput& input)
{
    const KXImageRGBA32i layer = ConvertImage<QImage, KXImageRGBA32i>(BlendLayer(input.sample.size()));
    // A layer mask is in the layer's coordinates: maskRect is the mask itself.
    const KXImageRGBA32i mask = RingMask(input.sample.size());
    KXImageRGBA32i base(input.working);
    BlendMaskOn(layer, layer.Rect(), 13, base, base.Rect(), 1.0, mask, mask.Rect(), false, false);
    return {ConvertImage<KXImageRGBA32i, QImage>(base), QString()};
}

DemoResult LuminanceMask(const DemoInput& input)
{
    KXImageRGBA32i mask;
    CreateFromSourceMask(mask, input.working);
    QImage alpha = ConvertImage<KXImageRGBA32i, QImage>(mask).convertToFormat(QImage::Format_Alpha8);
    alpha.reinterpretAsFormat(QImage::Format_Grayscale8);
    return {alpha, QString()};
}

QPainterPath Star(const QPointF& centre, double outer, double inner, int points)
{
    QPainterPath star;
    for (int i = 0; i < 2 * points; ++i) {
        const double angle = M_PI * i / points - M_PI / 2;
        const double radius = (i % 2) ? inner : outer;
        const QPointF p(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
        if (i == 0)
            star.moveTo(p);
        else
            star.lineTo(p);
    }
    star.closeSubpath();
    return star;
}

DemoResult Painter(const DemoInput& input)
{
    KXImageRGBA32i image(input.working);
    // Curves crossing many tile borders (tiles are 128 pixels).
    QPainterPath curves;
    curves.moveTo(20, 700);
    curves.cubicTo(300, 100, 600, 900, 1000, 200);
    curves.moveTo(60, 60);
    curves.quadTo(500, 500, 980, 60);
    DrawPath(image, QPainter::CompositionMode_SourceOver, curves, QPen(QColor(255, 255, 255), 9));
    DrawPath(image, QPainter::CompositionMode_SourceOver, curves, QPen(QColor(20, 20, 120), 3));

    QLinearGradient gold(QPointF(380, 260), QPointF(640, 520));
    gold.setColorAt(0, QColor(255, 230, 90));
    gold.setColorAt(1, QColor(200, 90, 0, 200));
    FillPath(image, QPainter::CompositionMode_SourceOver, Star(QPointF(512, 390), 150, 62, 7), QBrush(gold), true);
    QPainterPath ellipse;
    ellipse.addEllipse(QRectF(700, 470, 250, 150));
    FillPath(image, QPainter::CompositionMode_Multiply, ellipse, QBrush(QColor(0, 160, 255, 180)), false);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(44);
    font.setBold(true);
    DrawTextW(image, QPainter::CompositionMode_SourceOver, 1.0, QRectF(120, 300, 520, 80),
              QStringLiteral("kxcore painter"), QBrush(QColor(180, 0, 60)), font, -20.0,
              QTextOption(Qt::AlignCenter));
    font.setPixelSize(24);
    DrawTextW(image, QPainter::CompositionMode_SourceOver, 0.6, QRectF(560, 640, 440, 50),
              QStringLiteral("rotated 8\u00b0, 60 % opacity"), QBrush(Qt::black), font, 8.0,
              QTextOption(Qt::AlignCenter));

    // A small image drawn with a blend mode.
    QImage badge(160, 160, QImage::Format_ARGB32);
    badge.fill(Qt::transparent);
    {
        QPainter painter(&badge);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(255, 0, 200));
        painter.setPen(QPen(Qt::white, 6));
        painter.drawEllipse(QRectF(8, 8, 144, 144));
    }
    DrawImage(image, 14, QPoint(60, 520), badge, 1.0, false);
    return {ConvertImage<KXImageRGBA32i, QImage>(image), QString()};
}

} // namespace

void AddCompositingDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Compositing"));
    registry.Add(QStringLiteral("blend-layer"),
                 QStringLiteral("The layer blended in the next pictures: rainbow fading out, a white bar, a "
                                "black disc."),
                 [](const DemoInput& input) { return DemoResult{BlendLayer(input.sample.size()), QString()}; });
    registry.Add(QStringLiteral("blend-modes"),
                 QStringLiteral("Every blend mode number: the layer over the sample at opacity 1.0 and 0.5."),
                 ModeGrid);
    registry.Add(QStringLiteral("blend-masked"),
                 QStringLiteral("Multiply through a soft ring-shaped layer mask made from luminance."),
                 MaskedBlend);
    registry.Add(QStringLiteral("mask-luminance"),
                 QStringLiteral("A layer mask made from the sample's luminance, shown as grey."), LuminanceMask);

    registry.Group(QStringLiteral("Painter"));
    registry.Add(QStringLiteral("painter"),
                 QStringLiteral("Paths across tile borders, a gradient star, a multiplied ellipse, rotated text "
                                "and an image drawn in Screen mode."),
                 Painter);
    registry.Add(QStringLiteral("invert-colours"),
                 QStringLiteral("InvertImage on the red, green and blue channels."), [](const DemoInput& input) {
                     KXImageRGBA32i image(input.working);
                     InvertImage(image, KXChannel::Colours);
                     return DemoResult{ConvertImage<KXImageRGBA32i, QImage>(image), QString()};
                 });
}

} // namespace kximg
