#ifndef KXEDIT_TOOLS_H
#define KXEDIT_TOOLS_H

#include <KXPixel.h>

#include <QColor>
#include <QObject>
#include <QPainterPath>
#include <QPoint>

namespace kxedit {

class Canvas;
class Document;
class TextTool;

/// What the left button does on the canvas: pan, draw a rectangle or
/// ellipse selection, fill with the paint bucket or by colour range, place
/// text or heal.
class Tools : public QObject {
    Q_OBJECT
public:
    enum Tool { Hand, RectangleSelect, EllipseSelect, Bucket, ColorRange, Text, Heal };

    Tools(Document* document, Canvas* canvas, QObject* parent = nullptr);

    Tool Current() const { return m_tool; }
    void SetTool(Tool tool);
    QColor Colour() const { return m_colour; }
    void SetColour(const QColor& colour) { m_colour = colour; }
    /// The bucket's tolerance, the same in every channel.
    void SetTolerance(int tolerance) { m_tolerance = tolerance; }
    int Tolerance() const { return m_tolerance; }

    /// Fills the active layer from `seed` (one undoable step); false when
    /// nothing changed.
    bool BucketFill(const QPoint& seed);
    /// Fills every pixel of the active layer within the tolerance of the
    /// colour at `seed`, connected to it or not (one undoable step).
    bool ColorRangeFill(const QPoint& seed);
    /// Feathers the selection by `radius` and moves its edge by `shift`
    /// pixels (positive grows); false without a selection.
    bool RefineSelection(double radius, int shift);
    /// Turns the active layer by `degrees` and scales it by `scale` about the
    /// canvas's centre (bilinear); one undoable step.
    bool TransformLayer(double degrees, double scale);
    /// Paints `stroke` (image coordinates) as a hole `radius` pixels wide on
    /// either side and fills it from its surroundings (inpainting).
    bool HealStroke(const QPainterPath& stroke, int radius);
    void SetBrushRadius(int radius) { m_brush = radius; }
    /// Balances the active layer's colours from its own statistics.
    bool AutoWhiteBalance();
    TextTool* GetTextTool() const { return m_text; }
    /// Selects the rectangle between two corners, or the ellipse in it.
    void Select(const QPoint& from, const QPoint& to, bool ellipse);

protected:
    /// Keys typed on the canvas go to the text tool.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KXRGBA32i ToleranceColour() const;
    void Pressed(const QPoint& at);
    void TextPressed(const QPoint& at, bool extend);
    void Dragged(const QPoint& at);
    void Released(const QPoint& at);

    Document* m_document;
    Canvas* m_canvas;
    Tool m_tool = Hand;
    QColor m_colour = QColor(220, 60, 40);
    int m_tolerance = 24;
    TextTool* m_text;
    QPoint m_anchor;
    QPainterPath m_stroke;
    int m_brush = 12;
    bool m_dragging = false;
};

} // namespace kxedit

#endif
