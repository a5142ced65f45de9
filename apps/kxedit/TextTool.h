#ifndef KXEDIT_TEXTTOOL_H
#define KXEDIT_TEXTTOOL_H

#include <KXTextHelper.h>

#include <QObject>
#include <QPoint>

#include <memory>

namespace kxedit {

class Canvas;
class Document;

/// What a text layer keeps besides its pixels: the outline maker with the
/// text's settings, where the outline's origin lies on the canvas, and the
/// caret and selection (character boundaries).
struct TextState {
    KXTextHelper helper;
    QPoint origin;
    int caret = 0;
    int anchor = 0; ///< The other end of the selection; equal to caret when none.
};

/// Adds bent text as a layer and places a caret in it by clicking (the
/// library's hit test); a click with Shift selects from the caret, and the
/// caret and the selection's underline are drawn over the picture.
class TextTool : public QObject {
    Q_OBJECT
public:
    TextTool(Document* document, Canvas* canvas, QObject* parent = nullptr);

    /// A new text layer with its outline's origin at `origin`, bent by
    /// `bend` percent and tapered by `taper` percent.
    void AddText(const QPoint& origin, const QString& text, double bend = 30, double taper = 0,
                 int pixelSize = 96);
    /// A click at a canvas position in the active text layer: the caret goes
    /// to the nearest character boundary; with `extend` the selection runs
    /// from the old caret. False when the active layer holds no text.
    bool Click(const QPoint& at, bool extend);
    /// The active layer's text state, or null.
    TextState* Active() const;
    /// Draws the caret and the selection's underline of the active text.
    void ShowCaret();

private:
    Document* m_document;
    Canvas* m_canvas;
};

} // namespace kxedit

#endif
