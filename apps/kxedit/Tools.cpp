#include "Tools.h"

#include "Canvas.h"
#include "Document.h"
#include "TextTool.h"

#include <KXBlendModes.h>
#include <KXFloodFill.h>
#include <KXImageConversion.h>
#include <KXInpaint.h>
#include <KXRefineSelection.h>
#include <KXTransformImage.h>
#include <KXTransformImageColors.h>
#include <VQWBTransformation.h>

#include <QImage>
#include <QInputDialog>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

namespace kxedit {
namespace {

QPainterPath Shape(const QRect& rect, bool ellipse)
{
    QPainterPath path;
    if (ellipse)
        path.addEllipse(QRectF(rect));
    else
        path.addRect(QRectF(rect));
    return path;
}

} // namespace

Tools::Tools(Document* document, Canvas* canvas, QObject* parent)
    : QObject(parent), m_document(document), m_canvas(canvas), m_text(new TextTool(document, canvas, this))
{
    connect(canvas, &Canvas::ImagePressed, this, [this](const QPoint& at, Qt::KeyboardModifiers modifiers) {
        if (m_tool == Text)
            TextPressed(at, modifiers & Qt::ShiftModifier);
        else
            Pressed(at);
    });
    connect(canvas, &Canvas::ImageDragged, this, [this](const QPoint& at) { Dragged(at); });
    connect(canvas, &Canvas::ImageReleased, this, [this](const QPoint& at) { Released(at); });
    connect(document, &Document::SelectionChanged, this,
            [this] { m_canvas->SetOverlay(m_document->SelectionOutline()); });
    canvas->installEventFilter(this);
    SetTool(Hand);
}

bool Tools::eventFilter(QObject* watched, QEvent* event)
{
    if (m_tool == Text && event->type() == QEvent::KeyPress && m_text->Key(*static_cast<QKeyEvent*>(event)))
        return true;
    return QObject::eventFilter(watched, event);
}

void Tools::SetTool(Tool tool)
{
    m_tool = tool;
    m_canvas->SetHandTool(tool == Hand);
}

void Tools::TextPressed(const QPoint& at, bool extend)
{
    // In a text layer a click places the caret; elsewhere it starts new text.
    if (m_text->Click(at, extend))
        return;
    QString text = QStringLiteral("kxedit");
    if (!qEnvironmentVariableIsSet("KXEDIT_NO_DIALOGS")) {
        bool ok = false;
        text = QInputDialog::getText(m_canvas, tr("Text"), tr("Text:"), QLineEdit::Normal, text, &ok);
        if (!ok || text.isEmpty())
            return;
    }
    m_text->AddText(at, text);
}

void Tools::Pressed(const QPoint& at)
{
    m_anchor = at;
    m_dragging = m_tool == RectangleSelect || m_tool == EllipseSelect || m_tool == Heal;
    m_stroke = QPainterPath(at);
    if (m_tool == Bucket)
        BucketFill(at);
    else if (m_tool == ColorRange)
        ColorRangeFill(at);
}

void Tools::Dragged(const QPoint& at)
{
    if (!m_dragging)
        return;
    if (m_tool == Heal) {
        m_stroke.lineTo(at);
        m_canvas->SetOverlay(m_stroke);
        return;
    }
    m_canvas->SetOverlay(Shape(QRect(m_anchor, at).normalized(), m_tool == EllipseSelect));
}

void Tools::Released(const QPoint& at)
{
    if (!m_dragging)
        return;
    m_dragging = false;
    if (m_tool == Heal) {
        m_stroke.lineTo(at);
        HealStroke(m_stroke, m_brush);
        m_canvas->SetOverlay(m_document->SelectionOutline());
        return;
    }
    if (at == m_anchor)
        m_document->ClearSelection();
    else
        Select(m_anchor, at, m_tool == EllipseSelect);
}

void Tools::Select(const QPoint& from, const QPoint& to, bool ellipse)
{
    const QRect bounds = QRect(from, to).normalized() & m_document->Rect();
    if (bounds.isEmpty()) {
        m_document->ClearSelection();
        return;
    }
    // The shape is drawn at the bounds' size and copied into a transparent
    // canvas-sized mask, which then holds blocks only under the shape.
    QImage shape(bounds.size(), QImage::Format_ARGB32);
    shape.fill(Qt::transparent);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing, ellipse);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawPath(Shape(QRect(QPoint(0, 0), bounds.size()), ellipse));
    }
    KXImageRGBA32i mask(unsigned(m_document->Size().width()), unsigned(m_document->Size().height()));
    BlendOn(shape, shape.rect(), KXBlendMode::Source, mask, bounds, 1.0, false);
    m_document->SetSelection(mask, bounds, Shape(bounds, ellipse));
}

bool Tools::RefineSelection(double radius, int shift)
{
    if (!m_document->HasSelection())
        return false;
    // Only the selection's neighbourhood is refined: the feather spreads
    // three box radii, the shift its own width.
    const int margin = 3 * int(radius) + std::max(shift, 0) + 1;
    const QRect area = m_document->SelectionBounds().adjusted(-margin, -margin, margin, margin) & m_document->Rect();
    KXImageRGBA32i mask(unsigned(area.width()), unsigned(area.height()));
    BlendOn(m_document->Selection(), area, KXBlendMode::Source, mask, mask.Rect(), 1.0, false);
    QReadWriteLock lock;
    bool cancel = false;
    VQRefineSelectionProcessing refine(lock, cancel);
    VQRefineSelectionProcessing::RefineSelectionData data;
    data.image = mask;
    data.selectionRect = mask.Rect();
    data.offset = area.topLeft();
    data.boundSize = m_document->Size();
    data.radius = radius;
    data.shift = shift;
    const VQRefineSelectionProcessing::VQRefineSelectionResult result = refine.run(data);
    if (result.image.Width() == 0)
        return false;
    const QRect placed(result.position, QSize(int(result.image.Width()), int(result.image.Height())));
    KXImageRGBA32i selection(unsigned(m_document->Size().width()), unsigned(m_document->Size().height()));
    BlendOn(result.image, result.image.Rect(), KXBlendMode::Source, selection, placed, 1.0, false);
    // The outline stays the shape that was drawn; the mask carries the
    // soft or moved edge.
    m_document->SetSelection(selection, placed, m_document->SelectionOutline());
    return true;
}

bool Tools::TransformLayer(double degrees, double scale)
{
    const Layer* layer = m_document->ActiveLayer();
    if (!layer || !(scale > 0))
        return false;
    const QPointF centre = QRectF(m_document->Rect()).center();
    QTransform transform;
    transform.translate(centre.x(), centre.y());
    transform.rotate(degrees);
    transform.scale(scale, scale);
    transform.translate(-centre.x(), -centre.y());
    KXImageRGBA32i turned(layer->image.Width(), layer->image.Height());
    if (!BilinearTransformImage(layer->image, transform, turned, QRect()))
        return false;
    m_document->SetLayerImage(m_document->ActiveIndex(), tr("Rotate and scale"), turned);
    return true;
}

bool Tools::HealStroke(const QPainterPath& stroke, int radius)
{
    const Layer* layer = m_document->ActiveLayer();
    if (!layer || radius < 1)
        return false;
    const QRect bounds =
        stroke.boundingRect().toAlignedRect().adjusted(-radius - 2, -radius - 2, radius + 2, radius + 2) &
        layer->image.Rect();
    if (bounds.isEmpty())
        return false;
    // The holes: alpha 255 under the brush, on a mask the stroke's size.
    QImage holes(bounds.size(), QImage::Format_ARGB32);
    holes.fill(Qt::transparent);
    {
        QPainter painter(&holes);
        painter.setPen(QPen(Qt::red, 2.0 * radius, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.translate(-bounds.topLeft());
        painter.drawPath(stroke);
    }
    const KXImageRGBA32i mask = ConvertImage<QImage, KXImageRGBA32i>(holes);
    KXImageRGBA32i healed = layer->image;
    KXInpaintIterative inpaint(healed, mask, bounds, mask.Rect());
    while (inpaint()) {
    }
    m_document->SetLayerImage(m_document->ActiveIndex(), tr("Heal"), healed, bounds);
    return true;
}

bool Tools::AutoWhiteBalance()
{
    const Layer* layer = m_document->ActiveLayer();
    if (!layer)
        return false;
    KXImageRGBA32i balanced = layer->image;
    TransformPixels(balanced, VQWBTransformation(layer->image, VQWBTransformation::BalanceFunction::Auto, 100));
    m_document->SetLayerImage(m_document->ActiveIndex(), tr("Auto white balance"), balanced);
    return true;
}

KXRGBA32i Tools::ToleranceColour() const
{
    const unsigned int t = unsigned(m_tolerance) & 0xFF;
    return KXRGBA32i((t << 24) | (t << 16) | (t << 8) | t);
}

bool Tools::BucketFill(const QPoint& seed)
{
    const Layer* layer = m_document->ActiveLayer();
    if (!layer || !layer->image.Rect().contains(seed))
        return false;
    KXImageRGBA32i image = layer->image;
    QRect bounds;
    if (!KXFloodFillHelper::FloodFill(image, seed, ToleranceColour(), KXRGBA32i(m_colour.rgba()), &bounds) ||
        !bounds.isValid())
        return false;
    m_document->SetLayerImage(m_document->ActiveIndex(), tr("Paint bucket"), image, bounds);
    return true;
}

bool Tools::ColorRangeFill(const QPoint& seed)
{
    const Layer* layer = m_document->ActiveLayer();
    if (!layer || !layer->image.Rect().contains(seed))
        return false;
    // Every pixel near the seed's colour, connected or not, takes the
    // colour; the others are transparent in `matched` and stay as they are.
    KXImageRGBA32i matched(layer->image.Width(), layer->image.Height());
    QRect bounds;
    if (!KXFloodFillHelper::ColorRangeFill(layer->image, matched, seed, ToleranceColour(), KXRGBA32i(m_colour.rgba()),
                                           &bounds) ||
        !bounds.isValid())
        return false;
    KXImageRGBA32i image = layer->image;
    BlendOn(matched, bounds, KXBlendMode::Normal, image, bounds, 1.0, false);
    m_document->SetLayerImage(m_document->ActiveIndex(), tr("Colour range fill"), image, bounds);
    return true;
}

} // namespace kxedit
