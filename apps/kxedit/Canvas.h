#ifndef KXEDIT_CANVAS_H
#define KXEDIT_CANVAS_H

#include <KXColorTransform.h>
#include <VQCMSProfile.h>
#include <VQCMSTransform.h>

#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QWidget>

#include <memory>

namespace kxedit {

class Document;

/// Shows a document at any zoom (fit, 1:1, up to 16×), panned by dragging
/// with the middle button (or the left one with the hand tool) and by the
/// wheel. Only the visible area is composited and rendered, through the
/// library's scaled view, converted from the photo's profile to the
/// display's (sRGB unless another is set).
class Canvas : public QWidget {
    Q_OBJECT
public:
    explicit Canvas(Document* document, QWidget* parent = nullptr);
    ~Canvas() override;

    static constexpr double kMaxScale = 16.0;

    double Scale() const { return m_scale; }
    QPointF Offset() const { return m_offset; }
    /// The part of the image on screen (image coordinates).
    QRect VisibleArea() const;
    /// Image position of a widget position, and back.
    QPointF ToImage(const QPointF& widgetPos) const;
    QPointF ToWidget(const QPointF& imagePos) const;

    void SetDisplayProfile(const VQCMSProfile& profile);
    /// Shows the picture through `transform` (before the display profile)
    /// until it is reset with null; the canvas owns it. Every pixel shown
    /// goes through it: one transformation, not a stack that locks for
    /// each pixel.
    void SetPreviewTransform(std::unique_ptr<KXColorTransformBase> transform);
    /// Shows `image`, screen pixels placed at `position`, as the frame's
    /// picture until the view moves or an empty image is set.
    void SetScreenPreview(const KXImageRGBA32i& image, const QPoint& position = QPoint());
    /// Draws, at once, the picture of the file at `path` decoded at about
    /// the size fit-to-window will show (a reduced decode where the format
    /// has one), converted from its profile to the display's: a first look
    /// while the photo itself is read. Kept until the view is invalidated
    /// or EndQuickLook. False when nothing was drawn (a picture no larger
    /// than the canvas, one that cannot be decoded, a hidden canvas).
    bool DrawQuickLook(const QString& path);
    void EndQuickLook();
    /// A path in image coordinates drawn over the picture (selection
    /// outline, caret); an empty path removes it.
    void SetOverlay(const QPainterPath& path);
    /// The left button pans instead of reporting clicks.
    void SetHandTool(bool on) { m_hand = on; }

    /// The last frame drawn (what the user sees, without overlay).
    const QImage& Frame() const { return m_frame; }

public slots:
    void ZoomToFit();
    void ZoomActualSize();
    void ZoomIn();
    void ZoomOut();
    /// Zooms to `scale` (clamped) keeping the image point under `anchor`.
    void ZoomTo(double scale, const QPointF& anchor);
    void PanBy(const QPointF& widgetDelta);

signals:
    /// The left button went down at an image position.
    void ImagePressed(const QPoint& imagePos, Qt::KeyboardModifiers modifiers);
    void ImageDragged(const QPoint& imagePos, Qt::KeyboardModifiers modifiers);
    void ImageReleased(const QPoint& imagePos, Qt::KeyboardModifiers modifiers);
    void ViewChanged();
    /// A frame was drawn.
    void FrameReady();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void RenderFrame();
    void UpdateTransform();
    void Invalidate();

    Document* m_document;
    double m_scale = 1.0;
    QPointF m_offset;
    bool m_fit = true;
    bool m_hand = false;
    bool m_panning = false;
    QPoint m_lastMouse;
    QImage m_frame;
    bool m_frameValid = false;
    QRectF m_quickLook; // where a quick look's picture is, while one is shown
    VQCMSProfile m_displayProfile;
    std::unique_ptr<KXRGBA32ColorProfileTransform> m_transform;
    std::unique_ptr<KXColorTransformBase> m_previewTransform;
    KXImageRGBA32i m_screenPreview;
    QPoint m_screenPosition;
    QPainterPath m_overlay;
};

/// The sRGB profile, made once.
VQCMSProfile SRgbProfile();

} // namespace kxedit

#endif
