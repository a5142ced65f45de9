#ifndef KXTEXTHELPER_H
#define KXTEXTHELPER_H

/// \file
/// Text as outlines: a string in a font becomes a QPainterPath that can be
/// bent along a sine wave, tapered like a trapezoid, transformed and drawn
/// into a new tiled image, one tile at a time.
///
/// Coordinates: the text outline starts at (0, 0) (its bounding box's
/// top-left). Every rendering call returns a fresh image and writes through
/// `offset` where that image's top-left corner lies relative to the text
/// outline's origin, rounded to whole pixels: drawing the image at
/// origin + offset places the text where the untransformed outline would
/// be, turned about its centre by the user transform. A selection image is
/// placed the same way, so it lands under its characters.
///
/// Rendering uses QPainter (a QGuiApplication must exist for fonts) with
/// CompositionMode_Source, a one-pixel pen and a solid brush of the text
/// colour, and only the tiles the outline reaches are written; the others
/// (between words, inside large letters) stay shared blank tiles. It gives exactly what QPainter gives on one
/// QImage of the same size.
///
/// Errors: memory running out (std::bad_alloc: tile manager exhaustion
/// passes as the manager's KXBadAlloc, a scratch picture that cannot be had
/// as a plain std::bad_alloc) is thrown to the caller and nothing is drawn;
/// any other standard exception is logged and an empty image is returned;
/// an outline with coordinates that are not
/// finite numbers is refused with one log line.
///
/// The object is single-threaded; copies share their Qt data.

#include "KXImage.h"
#include "kxcore_export.h"

#include <QColor>
#include <QFont>
#include <QMap>
#include <QMatrix4x4>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QTransform>

#include <vector>

/// Text as outlines: built from a string in a font, bent along one sine
/// period, tapered, transformed and drawn into a new image tile by tile,
/// with the selection, caret and hit-test geometry an editor needs.
class KXCORE_EXPORT KXTextHelper {
public:
    /// `maxSegmentLength` is the longest outline edge the subdivision for
    /// bending keeps; a value that is not above 0 is logged and the outline
    /// is then not subdivided.
    explicit KXTextHelper(float maxSegmentLength = 4.0f);

    void SetText(const QString& text); ///< Also makes both outlines be rebuilt on next use.
    QString GetText() const { return text; } ///< The text.
    void SetFont(const QFont& value) { font = value; } ///< The outlines are not rebuilt.
    QFont GetFont() const { return font; } ///< The font.
    void SetColor(const QColor& value) { color = value; } ///< The fill colour of the text.
    QColor GetColor() const { return color; }             ///< The fill colour of the text.
    /// 0: plain text (no bend, taper or transform); any other value: the
    /// deformed text (and 1 also deforms the caret and selection).
    void SetStyle(int value) { style = value; }
    void SetOrientation(bool value) { orientation = value; } ///< true: the wave runs along y.
    /// The sine wave's amplitude in percent of half the text's height (its
    /// width with the vertical orientation); 0: straight.
    void SetBend(double percent) { bend = percent; }
    /// Horizontal taper in percent: the height changes along the text (a
    /// point moves vertically by percent / 100 * dx * dy / half the width,
    /// dx and dy its distance from the centre).
    void SetHDistortion(double percent) { hDistortion = percent; }
    /// Vertical taper in percent: the width changes down the text (a point
    /// moves horizontally by percent / 100 * dx * dy / half the height).
    void SetVDistortion(double percent) { vDistortion = percent; }
    void SetTransform(const QMatrix4x4& value) { transform = value; } ///< The user transform, applied after bending and tapering.
    QMatrix4x4 GetTransform() const { return transform; }             ///< The transform.
    /// One of the painter's render hints for drawing the text.
    void SetRenderHint(QPainter::RenderHint hint, bool on) { renderHints[hint] = on; }
    QMap<QPainter::RenderHint, bool> GetRenderHints() const { return renderHints; } ///< The hints set.
    /// 1: antialiasing, text antialiasing, smooth pixmap transform and high
    /// quality antialiasing off; 2: all four on; anything else: no change.
    void SetRenderMode(int mode);

    /// The plain text.
    KXImageRGBA32i CreateImageByText(QPointF& offset);
    /// The bent and distorted text; the plain text when the style is 0.
    KXImageRGBA32i CreateImageByTextWithDeformation(QPointF& offset);
    /// The selection rectangle of `count` characters from `start` (deformed
    /// like the text when the style is not 0); empty for a count of 0 or -1.
    KXImageRGBA32i CreateImageByTextWithSelectionAndDeformation(QPointF& offset, int start, int count);
    /// `path` (with `rect` the box it is turned about) transformed and drawn.
    KXImageRGBA32i TransformAndCreateImage(const QPainterPath& path, const QRectF& rect, QPointF& offset);

    /// The transformed text outline as it is drawn (its top-left near
    /// (0, 0)); `textRect` the untransformed outline's box, `transformedRect`
    /// that box mapped by the user transform.
    QPainterPath CreatePathByTextWithRect(QRectF& textRect, QRectF& transformedRect, QPointF& offset);
    /// The same for the deformed outline (the plain one when the style is 0).
    void CreatePathByTextWithDeformationWithRect(QPainterPath& path, QRectF& rect, QRectF& transformedRect,
                                                 QPointF& offset);
    /// The selection rectangle, subdivided, bent and distorted like the text
    /// (in the untransformed outline's coordinates).
    QPainterPath CreateSelectionAndDeformationPath(QPointF& offset, int start, int count);
    /// A caret line at character `start` and the under line of the range,
    /// moved by `origin`; deformed like the text when the style is 1.
    QPainterPath GetVerticalAndUnderLine(const QPoint& origin, int start, int count);
    /// A polyline along the top of the text with one vertex per character
    /// boundary, moved by `origin`.
    QPainterPath GetCharPath(const QPoint& origin);
    /// The character boundary nearest to `point`, or -1 for an empty text.
    int FindSelectedChar(const QPoint& origin, const QPoint& point);

private:
    /// Deformation settings worked out from the outline they were made for,
    /// so that a selection or caret bends exactly like its text.
    struct Deformation {
        QPointF bendCentre;
        float halfLength = 0;
        double halfExtent = 0;
        QPointF distortionCentre;
        float halfWidth = 0;
        float halfHeight = 0;
    };

    void CreateTextPath();
    void CreateHeavyTextPath();
    void PrepareOutlines();
    QPainterPath PreparePath(const QPainterPath& path) const;
    Deformation DeformationOf(const QPainterPath& heavy) const;
    void Deform(QPainterPath& path, const Deformation& d) const;
    QPainterPath DeformedTextPath(QPointF& shift);
    QTransform UserTransform() const { return transform.toTransform(); }
    QPainterPath TransformPath(const QPainterPath& path, const QRectF& rect, QPointF& offset) const;
    QPainterPath TransformPath(const QPainterPath& path, const QRectF& rect) const;
    KXImageRGBA32i TransformImage(const KXImageRGBA32i& image) const;
    KXImageRGBA32i CreateImage(const QPainterPath& path, const QRectF& frame) const;
    KXImageRGBA32i CreateImageByTextWithSelection(QPointF& offset, int start, int count);
    QPainterPath CreateSelectionPath(QPointF& offset, int start, int count);
    static QPainterPath CreateSelectionPath(const QPointF& origin, const QSizeF& size, size_t segments);
    const std::vector<double>& Boundaries() const;
    double Baseline() const;
    QPainterPath GetUpperLine() const;
    QPainterPath GetUnderLine(const std::vector<double>& boundaries, int start, int count) const;

    QString text;
    QFont font;
    // The character boundaries of boundaryText in boundaryFont, kept for
    // the next caret or hit test of the same text.
    mutable QString boundaryText;
    mutable QFont boundaryFont;
    mutable std::vector<double> boundaries;
    QColor color;
    QPainterPath textPath;
    QRectF textRect;
    QPainterPath heavyPath;
    QRectF heavyRect;
    bool textDirty = true;
    bool heavyDirty = true;
    float maxSegmentLength;
    int style = 0;
    bool orientation = false;
    double bend = 0;
    double hDistortion = 0;
    double vDistortion = 0;
    QRect lastDeformedRect;
    QPointF lastOffset;
    QMatrix4x4 transform;
    QMap<QPainter::RenderHint, bool> renderHints;
};

#endif // KXTEXTHELPER_H
