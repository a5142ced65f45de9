// Demo operations of inpainting: holes punched into the sample (made opaque
// first, so that only the punched holes are filled) and repaired by both
// forms.

#include "DemoRegistry.h"

#include "KXImageConversion.h"
#include "KXInpaint.h"
#include "KXTransformImageColors.h"

#include <QPainter>
#include <QPainterPath>

namespace kximg {

namespace {

// The sample over white, then holes punched through it: three discs, a
// rectangle, a scratch three pixels wide and a column of one-pixel dots,
// placed relative to the picture's size.
QImage Punched(const QImage& sample)
{
    QImage image(sample.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.drawImage(0, 0, sample);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const qreal w = image.width(), h = image.height();
    painter.drawEllipse(QPointF(0.25 * w, 0.3 * h), 0.06 * w, 0.06 * w);
    painter.drawEllipse(QPointF(0.7 * w, 0.25 * h), 0.04 * w, 0.04 * w);
    painter.drawEllipse(QPointF(0.55 * w, 0.7 * h), 0.08 * w, 0.05 * w);
    painter.drawRect(QRectF(0.1 * w, 0.65 * h, 0.12 * w, 0.08 * h));
    QPainterPath scratch(QPointF(0.35 * w, 0.1 * h));
    scratch.cubicTo(QPointF(0.5 * w, 0.4 * h), QPointF(0.8 * w, 0.3 * h), QPointF(0.9 * w, 0.85 * h));
    painter.strokePath(scratch, QPen(Qt::black, 3));
    for (int i = 0; i < 12; ++i)
        painter.fillRect(QRect(static_cast<int>(0.08 * w) + 7 * i, static_cast<int>(0.1 * h), 1, 1), Qt::black);
    return image;
}

// The mask of the tiled form: alpha 255 on every pixel that is not opaque.
struct HoleMask {
    void operator()(KXRGBA32i& p) const { p = p.a < 255 ? 0xFFFF0000u : 0u; }
};

QImage RepairedByQImageForm(const QImage& sample)
{
    QImage image = Punched(sample);
    KXInpaint{image}(0);
    return image;
}

} // namespace

void AddInpaintDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Inpainting"));
    registry.Add(QStringLiteral("inpaint-holes"),
                 QStringLiteral("Holes punched into the sample: discs, a rectangle, a scratch and single pixels."),
                 [](const DemoInput& input) { return DemoResult{Punched(input.sample), {}}; });
    registry.Add(QStringLiteral("inpaint-repaired"),
                 QStringLiteral("The holes filled from their rims inward, all passes in one call (QImage form)."),
                 [](const DemoInput& input) {
                     QImage opaque(input.sample.size(), QImage::Format_ARGB32);
                     opaque.fill(Qt::white);
                     QPainter(&opaque).drawImage(0, 0, input.sample);
                     const QImage repaired = RepairedByQImageForm(input.sample);
                     return DemoResult{repaired, DifferenceNote(repaired, opaque, QStringLiteral("the unpunched sample"))};
                 });
    registry.Add(QStringLiteral("inpaint-iterative"),
                 QStringLiteral("The same holes filled by the tiled form, one pass per call."),
                 [](const DemoInput& input) {
                     KXImageRGBA32i image = ConvertImage<QImage, KXImageRGBA32i>(Punched(input.sample));
                     KXImageRGBA32i mask = image;
                     TransformPixels(mask, HoleMask());
                     KXInpaintIterative inpaint(image, mask, image.Rect(), image.Rect());
                     int passes = 0;
                     while (inpaint())
                         ++passes;
                     const QImage repaired = ConvertImage<KXImageRGBA32i, QImage>(image);
                     return DemoResult{repaired, QStringLiteral("%1 passes; ").arg(passes) +
                                                     DifferenceNote(repaired, RepairedByQImageForm(input.sample),
                                                                    QStringLiteral("inpaint-repaired"))};
                 });
}

} // namespace kximg
