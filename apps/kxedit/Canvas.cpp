#include "Canvas.h"

#include "Document.h"

#include <KXScaleImage.h>

#include <QColorSpace>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace kxedit {

VQCMSProfile SRgbProfile()
{
    static const VQCMSProfile profile = [] {
        VQCMSProfile made;
        made.FromByteArray(QColorSpace(QColorSpace::SRgb).iccProfile());
        return made;
    }();
    return profile;
}

Canvas::Canvas(Document* document, QWidget* parent)
    : QWidget(parent), m_document(document), m_displayProfile(SRgbProfile())
{
    setMinimumSize(200, 150);
    setMouseTracking(false);
    setFocusPolicy(Qt::StrongFocus);
    connect(m_document, &Document::Changed, this, [this](const QRect&) { Invalidate(); });
    connect(m_document, &Document::LayersChanged, this, [this] {
        UpdateTransform();
        Invalidate();
    });
    UpdateTransform();
}

Canvas::~Canvas() = default;

void Canvas::SetDisplayProfile(const VQCMSProfile& profile)
{
    m_displayProfile = profile;
    UpdateTransform();
    Invalidate();
}

void Canvas::UpdateTransform()
{
    const VQCMSProfile& source = m_document->Profile();
    // A photo without a profile is taken to be sRGB already.
    if (source.IsEmpty() || m_displayProfile.IsEmpty() || source == m_displayProfile) {
        m_transform.reset();
        return;
    }
    if (m_transform && m_transform->GetForward().GetSource() == source &&
        m_transform->GetForward().GetDestination() == m_displayProfile)
        return;
    m_transform = std::make_unique<KXRGBA32ColorProfileTransform>(source, m_displayProfile);
}

void Canvas::SetPreviewTransform(std::unique_ptr<KXColorTransformBase> transform)
{
    m_previewTransform = std::move(transform);
    Invalidate();
}

void Canvas::SetScreenPreview(const KXImageRGBA32i& image, const QPoint& position)
{
    m_screenPreview = image;
    m_screenPosition = position;
    Invalidate();
}

void Canvas::SetOverlay(const QPainterPath& path)
{
    m_overlay = path;
    update();
}

bool Canvas::DrawQuickLook(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!isVisible() || width() < 1 || height() < 1 || stored.isEmpty())
        return false;
    const QSize upright = reader.transformation() & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
    const double scale = std::min(double(width()) / upright.width(), double(height()) / upright.height());
    if (scale >= 1.0)
        return false;
    // The decoder's size is before the picture is turned upright.
    reader.setScaledSize(QSize(std::max(1, qRound(stored.width() * scale)), std::max(1, qRound(stored.height() * scale))));
    QImage picture;
    if (!reader.read(&picture))
        return false;
    picture = picture.convertToFormat(QImage::Format_ARGB32);
    VQCMSProfile source;
    // A picture without a profile is taken to be sRGB, as the photo is.
    if (picture.colorSpace().isValid() && source.FromByteArray(picture.colorSpace().iccProfile()) &&
        !m_displayProfile.IsEmpty() && !(source == m_displayProfile)) {
        const VQCMSTransform toDisplay(source, m_displayProfile);
        toDisplay.Transform(reinterpret_cast<KXRGBA32i*>(picture.bits()), unsigned(picture.width()),
                            unsigned(picture.height()), unsigned(picture.bytesPerLine()));
    }
    m_frame = QImage(size(), QImage::Format_ARGB32);
    m_frame.fill(Qt::transparent);
    m_quickLook = QRectF(QPointF((width() - picture.width()) / 2.0, (height() - picture.height()) / 2.0), picture.size());
    {
        QPainter painter(&m_frame);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(m_quickLook.topLeft(), picture);
    }
    m_frameValid = true;
    repaint();
    emit FrameReady();
    return true;
}

void Canvas::EndQuickLook()
{
    if (m_quickLook.isNull())
        return;
    Invalidate();
}

void Canvas::Invalidate()
{
    m_quickLook = QRectF();
    m_frameValid = false;
    update();
}

QRect Canvas::VisibleArea() const
{
    const QRectF shown(m_offset, QSizeF(width() / m_scale, height() / m_scale));
    return shown.toAlignedRect() & m_document->Rect();
}

QPointF Canvas::ToImage(const QPointF& widgetPos) const
{
    return m_offset + widgetPos / m_scale;
}

QPointF Canvas::ToWidget(const QPointF& imagePos) const
{
    return (imagePos - m_offset) * m_scale;
}

void Canvas::ZoomToFit()
{
    m_screenPreview = KXImageRGBA32i();
    const QSize image = m_document->Size();
    if (image.isEmpty())
        return;
    m_fit = true;
    m_scale = std::min({double(width()) / image.width(), double(height()) / image.height(), kMaxScale});
    // Centred: the offset may be negative where the image leaves a margin.
    m_offset = QPointF((image.width() - width() / m_scale) / 2, (image.height() - height() / m_scale) / 2);
    Invalidate();
    emit ViewChanged();
}

void Canvas::ZoomActualSize()
{
    ZoomTo(1.0, QPointF(width() / 2.0, height() / 2.0));
}

void Canvas::ZoomIn()
{
    ZoomTo(m_scale * 2, QPointF(width() / 2.0, height() / 2.0));
}

void Canvas::ZoomOut()
{
    ZoomTo(m_scale / 2, QPointF(width() / 2.0, height() / 2.0));
}

void Canvas::ZoomTo(double scale, const QPointF& anchor)
{
    m_screenPreview = KXImageRGBA32i();
    const QSize image = m_document->Size();
    if (image.isEmpty())
        return;
    const double smallest = std::min(1.0, std::min(double(width()) / image.width(), double(height()) / image.height()));
    const QPointF fixed = ToImage(anchor);
    m_scale = std::clamp(scale, smallest / 4, kMaxScale);
    m_fit = false;
    m_offset = fixed - anchor / m_scale;
    Invalidate();
    emit ViewChanged();
}

void Canvas::PanBy(const QPointF& widgetDelta)
{
    m_screenPreview = KXImageRGBA32i();
    m_offset -= widgetDelta / m_scale;
    m_fit = false;
    Invalidate();
    emit ViewChanged();
}

void Canvas::RenderFrame()
{
    m_frame = QImage(size(), QImage::Format_ARGB32);
    m_frame.fill(Qt::transparent);
    m_frameValid = true;
    const QRect area = VisibleArea();
    if (m_document->IsEmpty() || area.isEmpty())
        return;
    if (m_screenPreview.Width() > 0) {
        ScaleImage(m_screenPreview, QPointF(-m_screenPosition.x(), -m_screenPosition.y()), 1.0, m_frame);
    } else {
        // The layers are composited over the visible area only; the scaled
        // view reads only the tiles it shows.
        const KXImageRGBA32i composite = m_document->Composite(area);
        if (m_previewTransform)
            ScaleImage(composite, m_offset, m_scale, m_frame, *m_previewTransform);
        else
            ScaleImage(composite, m_offset, m_scale, m_frame);
    }
    // The frame is converted to the display's profile whole, rows at a time
    // through Little CMS, rather than pixel by pixel inside the scaled view
    // (each pixel gets the same bits either way).
    if (m_transform)
        (*m_transform)(m_frame);
    emit FrameReady();
}

void Canvas::paintEvent(QPaintEvent*)
{
    if (!m_frameValid)
        RenderFrame();
    QPainter painter(this);
    // Transparency shows as a grey checkerboard.
    QPixmap checks(16, 16);
    checks.fill(QColor(0x99, 0x99, 0x99));
    {
        QPainter p(&checks);
        p.fillRect(0, 0, 8, 8, QColor(0x66, 0x66, 0x66));
        p.fillRect(8, 8, 8, 8, QColor(0x66, 0x66, 0x66));
    }
    painter.fillRect(rect(), QColor(0x3c, 0x3c, 0x3c));
    const QRectF shown = !m_quickLook.isNull()
                             ? m_quickLook
                             : QRectF(ToWidget(QPointF(0, 0)),
                                      ToWidget(QPointF(m_document->Size().width(), m_document->Size().height())));
    painter.fillRect(shown & QRectF(rect()), QBrush(checks));
    painter.drawImage(0, 0, m_frame);
    if (!m_overlay.isEmpty() && m_quickLook.isNull()) {
        QTransform toWidget;
        toWidget.scale(m_scale, m_scale);
        toWidget.translate(-m_offset.x(), -m_offset.y());
        QPen pen(Qt::white, 2, Qt::DashLine);
        pen.setCosmetic(true);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.strokePath(toWidget.map(m_overlay), QPen(Qt::black, 2));
        painter.strokePath(toWidget.map(m_overlay), pen);
    }
}

void Canvas::resizeEvent(QResizeEvent*)
{
    if (m_fit)
        ZoomToFit();
    else
        Invalidate();
}

void Canvas::wheelEvent(QWheelEvent* event)
{
    const QPointF delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        const double steps = delta.y() / 120.0;
        ZoomTo(m_scale * std::pow(1.25, steps), event->position());
    } else {
        PanBy(delta / 2);
    }
    event->accept();
}

void Canvas::mousePressEvent(QMouseEvent* event)
{
    m_lastMouse = event->pos();
    if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && m_hand)) {
        m_panning = true;
        return;
    }
    if (event->button() == Qt::LeftButton)
        emit ImagePressed(ToImage(event->localPos()).toPoint(), event->modifiers());
}

void Canvas::mouseMoveEvent(QMouseEvent* event)
{
    if (m_panning) {
        PanBy(event->pos() - m_lastMouse);
        m_lastMouse = event->pos();
        return;
    }
    if (event->buttons() & Qt::LeftButton)
        emit ImageDragged(ToImage(event->localPos()).toPoint(), event->modifiers());
}

void Canvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_panning) {
        m_panning = false;
        return;
    }
    if (event->button() == Qt::LeftButton)
        emit ImageReleased(ToImage(event->localPos()).toPoint(), event->modifiers());
}

} // namespace kxedit
