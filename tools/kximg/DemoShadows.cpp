// Demo operations of the shadow filters and refine selection: the sample
// cut to an ellipse over a light background with its drop shadow beneath
// and its inner shadow inside, and a hard selection feathered, grown and
// shrunk.

#include "DemoSupport.h"

#include "KXImageConversion.h"
#include "KXRefineSelection.h"
#include "KXShadowFilters.h"

#include <QPainter>
#include <QReadWriteLock>

namespace kximg {

namespace {

const QColor kBackground(238, 236, 228);

// The sample with everything outside an ellipse (inset by a margin)
// transparent.
QImage Cutout(const QImage& sample)
{
    QImage cut(sample.size(), QImage::Format_ARGB32);
    cut.fill(Qt::transparent);
    QPainter painter(&cut);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(sample));
    painter.drawEllipse(QRectF(sample.rect()).adjusted(sample.width() * 0.12, sample.height() * 0.12,
                                                       -sample.width() * 0.12, -sample.height() * 0.12));
    return cut;
}

// The layer over the light background, a shadow picture drawn under it
// (moved by `offset` from its origin) or, for an inner shadow, over it
// inside its shape.
QImage Composite(const QImage& layer, const QImage& shadow, const QPoint& origin, const QPoint& offset, bool inner)
{
    QImage out(layer.size(), QImage::Format_ARGB32);
    out.fill(kBackground);
    QPainter painter(&out);
    if (inner) {
        QImage shaded = layer;
        QPainter over(&shaded);
        over.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        over.drawImage(origin + offset, shadow);
        over.end();
        painter.drawImage(0, 0, shaded);
    } else {
        painter.drawImage(origin + offset, shadow);
        painter.drawImage(0, 0, layer);
    }
    return out;
}

DemoResult Shadows(const DemoInput& input)
{
    const QImage cut = Cutout(input.sample);
    const KXImageRGBA32i layer = ConvertImage<QImage, KXImageRGBA32i>(cut);
    QList<GridCell> cells{{QStringLiteral("the sample cut to an ellipse"), Composite(cut, QImage(), {}, {}, false)}};
    for (const int size : {0, 8, 24}) {
        KXDropShadowProcessing::DropShadowData data;
        data.image = layer;
        data.maskFlag = 1;
        data.size = size;
        data.colour = QColor(20, 20, 40, 170);
        const auto result = RunFilter<KXDropShadowProcessing>(data);
        cells << GridCell{QStringLiteral("drop shadow, size %1, moved by 14,14").arg(size),
                          Composite(cut, Picture(result.shadow), result.origin, QPoint(14, 14), false)};
    }
    for (const int size : {6, 20}) {
        KXInnerShadowProcessing::InnerShadowData data;
        data.image = layer;
        data.maskFlag = 1;
        data.size = size;
        data.colour = QColor(10, 10, 30, 200);
        const auto result = RunFilter<KXInnerShadowProcessing>(data);
        cells << GridCell{QStringLiteral("inner shadow, size %1, moved by 8,8").arg(size),
                          Composite(cut, Picture(result.shadow), result.origin, QPoint(8, 8), true)};
    }
    return ResultGrid(cells, 3, 1);
}

// The refined selection, white where selected, placed on a canvas of the
// sample's size by its position.
QImage SelectionPicture(const KXImageRGBA32i& selection, const QPoint& position, const QSize& size)
{
    QImage grey = ChannelAsGrey(selection, [](const KXRGBA32i& p) { return p.a; });
    QImage out(size, QImage::Format_ARGB32);
    out.fill(Qt::black);
    QPainter painter(&out);
    painter.drawImage(position, grey);
    return out;
}

DemoResult Refine(const DemoInput& input)
{
    const QSize size = input.sample.size();
    QImage hard(size, QImage::Format_ARGB32);
    hard.fill(Qt::transparent);
    {
        QPainter painter(&hard);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRect(size.width() / 4, size.height() / 4, size.width() / 2, size.height() / 2));
        painter.drawRect(QRect(size.width() / 10, size.height() / 10, size.width() / 12, size.height() / 3));
    }
    const KXImageRGBA32i mask = ConvertImage<QImage, KXImageRGBA32i>(hard);
    QList<GridCell> cells{{QStringLiteral("a hard selection"), SelectionPicture(mask, {}, size)}};
    struct Setting {
        double radius;
        int shift;
    };
    for (const Setting s : {Setting{6.0, 0}, Setting{0.0, 16}, Setting{0.0, -16}, Setting{4.0, 12}, Setting{4.0, -12}}) {
        VQRefineSelectionProcessing::RefineSelectionData data;
        data.image = mask;
        data.selectionRect = mask.Rect();
        data.boundSize = size;
        data.radius = s.radius;
        data.shift = s.shift;
        const auto result = RunFilter<VQRefineSelectionProcessing>(data);
        cells << GridCell{QStringLiteral("feather %1, shift %2").arg(s.radius).arg(s.shift),
                          SelectionPicture(result.image, result.position, size)};
    }
    return ResultGrid(cells, 3, 1);
}

} // namespace

void AddShadowDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Effects"));
    registry.Add(QStringLiteral("shadows"),
                 QStringLiteral("Drop shadows of three sizes under an elliptic cut-out of the sample and inner "
                                "shadows inside it, over a light background."),
                 Shadows);
    registry.Add(QStringLiteral("refine-selection"),
                 QStringLiteral("A hard selection feathered, grown and shrunk, and both at once."), Refine);
}

} // namespace kximg
