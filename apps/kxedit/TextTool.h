#ifndef KXEDIT_TEXTTOOL_H
#define KXEDIT_TEXTTOOL_H

#include <KXImage.h>
#include <KXTextHelper.h>

#include <QObject>
#include <QPoint>

#include <algorithm>
#include <cstdlib>
#include <memory>

class QDialog;
class QKeyEvent;
class QWidget;

namespace kxedit {

class Canvas;
class Document;

/// What a text layer keeps besides its pixels: the text and its shape, the
/// outline maker set up with them, where the outline's origin lies on the
/// canvas, and the caret and selection (character boundaries). An edit
/// makes a new state, so that an undo step keeps the old one.
struct TextState {
    QString text;
    double bend = 30;  ///< Percent.
    double taper = 0;  ///< Percent.
    int pixelSize = 96;
    KXTextHelper helper;
    QPoint origin;
    int caret = 0;
    int anchor = 0; ///< The other end of the selection; equal to caret when none.

    /// Sets the helper up from the text and the shape.
    void Prepare();
    int SelectionStart() const { return std::min(caret, anchor); }
    int SelectionLength() const { return std::abs(caret - anchor); }
};

/// Adds bent text as a layer and edits it: the caret is placed by clicking
/// (the library's hit test), a click with Shift selects from the caret,
/// typing replaces the selection, and the caret and the selection's
/// underline are drawn over the picture. Every change of the text or its
/// shape is one undoable step that redraws the layer.
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
    /// Replaces the selection (or inserts at the caret) with `text`.
    bool Insert(const QString& text);
    /// Removes the selection, or the character before (`forward` false) or
    /// after the caret.
    bool Erase(bool forward);
    /// Moves the caret by `characters`; with `extend` the selection follows.
    bool MoveCaret(int characters, bool extend);
    /// Bends, tapers and sizes the active text anew.
    bool SetShape(double bend, double taper, int pixelSize);
    /// A dialog with the bend, the taper and the size of the active text
    /// that applies them when accepted; null without a text layer.
    QDialog* OpenShapeDialog(QWidget* parent);
    /// Typing, erasing and caret keys for the active text; false for keys it
    /// does not use.
    bool Key(const QKeyEvent& event);
    /// The active layer's text state, or null.
    TextState* Active() const;
    /// Draws the caret and the selection's underline of the active text.
    void ShowCaret();

private:
    /// Makes `state` the active layer's text, its pixels redrawn, as one
    /// undoable step named `text`.
    void Commit(const std::shared_ptr<TextState>& state, const QString& text);
    KXImageRGBA32i Render(TextState& state) const;

    Document* m_document;
    Canvas* m_canvas;
};

} // namespace kxedit

#endif
