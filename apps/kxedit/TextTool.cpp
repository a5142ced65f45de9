#include "TextTool.h"

#include "Canvas.h"
#include "Document.h"
#include "ParamForm.h"

#include <KXBlendModes.h>

#include <QDialog>
#include <QFont>
#include <QKeyEvent>

#include <algorithm>
#include <cmath>

namespace kxedit {

void TextState::Prepare()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    helper.SetText(text);
    helper.SetFont(font);
    helper.SetColor(QColor(250, 250, 240));
    helper.SetStyle(bend != 0 || taper != 0 ? 1 : 0);
    helper.SetBend(bend);
    helper.SetHDistortion(taper);
    helper.SetRenderMode(2);
}

TextTool::TextTool(Document* document, Canvas* canvas, QObject* parent)
    : QObject(parent), m_document(document), m_canvas(canvas)
{
    connect(document, &Document::LayersChanged, this, &TextTool::ShowCaret);
}

TextState* TextTool::Active() const
{
    const Layer* layer = m_document->ActiveLayer();
    return layer ? layer->text.get() : nullptr;
}

KXImageRGBA32i TextTool::Render(TextState& state) const
{
    // The outline's image lands at origin + offset on a transparent layer of
    // the canvas's size (only the tiles under the text hold blocks).
    KXImageRGBA32i image(unsigned(m_document->Size().width()), unsigned(m_document->Size().height()));
    if (state.text.isEmpty())
        return image;
    QPointF offset;
    const KXImageRGBA32i drawn = state.helper.CreateImageByTextWithDeformation(offset);
    const QPoint at = state.origin + QPoint(int(std::lround(offset.x())), int(std::lround(offset.y())));
    BlendOn(drawn, drawn.Rect(), KXBlendMode::Source, image, QRect(at, QSize(int(drawn.Width()), int(drawn.Height()))),
            1.0, false);
    return image;
}

void TextTool::AddText(const QPoint& origin, const QString& text, double bend, double taper, int pixelSize)
{
    auto state = std::make_shared<TextState>();
    state->text = text;
    state->bend = bend;
    state->taper = taper;
    state->pixelSize = pixelSize;
    state->Prepare();
    state->origin = origin;
    state->caret = state->anchor = int(text.size());
    m_document->AddLayer(Render(*state), tr("Text: %1").arg(text));
    m_document->ChangeLayer(m_document->ActiveIndex(), tr("Text"), [state](Layer& layer) { layer.text = state; });
    // Adding the layer and attaching its text are one step for the user.
    m_document->Undo().MergeLast();
    ShowCaret();
}

void TextTool::Commit(const std::shared_ptr<TextState>& state, const QString& text)
{
    state->Prepare();
    const KXImageRGBA32i image = Render(*state);
    m_document->ChangeLayer(m_document->ActiveIndex(), text, [&](Layer& layer) {
        layer.image = image;
        layer.text = state;
    });
    ShowCaret();
}

bool TextTool::Click(const QPoint& at, bool extend)
{
    TextState* state = Active();
    if (!state)
        return false;
    const int index = state->helper.FindSelectedChar(state->origin, at);
    if (index < 0)
        return false;
    state->caret = index;
    if (!extend)
        state->anchor = index;
    ShowCaret();
    return true;
}

bool TextTool::Insert(const QString& text)
{
    const TextState* old = Active();
    if (!old || (text.isEmpty() && old->SelectionLength() == 0))
        return false;
    auto state = std::make_shared<TextState>(*old);
    state->text.replace(state->SelectionStart(), state->SelectionLength(), text);
    state->caret = state->anchor = state->SelectionStart() + int(text.size());
    Commit(state, tr("Typing"));
    return true;
}

bool TextTool::Erase(bool forward)
{
    TextState* state = Active();
    if (!state)
        return false;
    if (state->SelectionLength() == 0) {
        const int from = forward ? state->caret : state->caret - 1;
        if (from < 0 || from >= state->text.size())
            return false;
        state->anchor = from + 1;
        state->caret = from;
    }
    return Insert(QString());
}

bool TextTool::MoveCaret(int characters, bool extend)
{
    TextState* state = Active();
    if (!state)
        return false;
    state->caret = std::clamp(state->caret + characters, 0, int(state->text.size()));
    if (!extend)
        state->anchor = state->caret;
    ShowCaret();
    return true;
}

bool TextTool::SetShape(double bend, double taper, int pixelSize)
{
    const TextState* old = Active();
    if (!old || pixelSize < 1)
        return false;
    auto state = std::make_shared<TextState>(*old);
    state->bend = bend;
    state->taper = taper;
    state->pixelSize = pixelSize;
    Commit(state, tr("Text shape"));
    return true;
}

QDialog* TextTool::OpenShapeDialog(QWidget* parent)
{
    const TextState* state = Active();
    if (!state)
        return nullptr;
    QDialog* dialog = OpenParamDialog(
        parent, tr("Text shape"),
        {DoubleField(tr("Bend (%)"), -100, 100), DoubleField(tr("Taper (%)"), -100, 100), IntField(tr("Size (px)"), 4, 1000)},
        {state->bend, state->taper, state->pixelSize},
        [this](const QVariantList& v) { SetShape(v[0].toDouble(), v[1].toDouble(), v[2].toInt()); });
    dialog->setObjectName(QStringLiteral("textShapeDialog"));
    return dialog;
}

bool TextTool::Key(const QKeyEvent& event)
{
    if (!Active())
        return false;
    const bool shift = event.modifiers() & Qt::ShiftModifier;
    switch (event.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        // Taken even at an end of the text, so that nothing else acts on it.
        Erase(event.key() == Qt::Key_Delete);
        return true;
    case Qt::Key_Left:
        return MoveCaret(-1, shift);
    case Qt::Key_Right:
        return MoveCaret(1, shift);
    case Qt::Key_Home:
        return MoveCaret(-int(Active()->text.size()), shift);
    case Qt::Key_End:
        return MoveCaret(int(Active()->text.size()), shift);
    default:
        break;
    }
    const QString typed = event.text();
    if (typed.isEmpty() || !typed.at(0).isPrint() || (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    return Insert(typed);
}

void TextTool::ShowCaret()
{
    TextState* state = Active();
    if (!state) {
        m_canvas->SetOverlay(m_document->SelectionOutline());
        return;
    }
    // The caret line at the caret, and the underline of the selected range.
    QPainterPath path = state->helper.GetVerticalAndUnderLine(state->origin, state->caret, 0);
    if (state->SelectionLength() > 0)
        path.addPath(state->helper.GetVerticalAndUnderLine(state->origin, state->SelectionStart(),
                                                           state->SelectionLength()));
    m_canvas->SetOverlay(path);
}

} // namespace kxedit
