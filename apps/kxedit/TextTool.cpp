#include "TextTool.h"

#include "Canvas.h"
#include "Document.h"

#include <KXBlendModes.h>

#include <QFont>

#include <algorithm>
#include <cmath>

namespace kxedit {

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

void TextTool::AddText(const QPoint& origin, const QString& text, double bend, double taper, int pixelSize)
{
    auto state = std::make_shared<TextState>();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    state->helper.SetText(text);
    state->helper.SetFont(font);
    state->helper.SetColor(QColor(250, 250, 240));
    state->helper.SetStyle(bend != 0 || taper != 0 ? 1 : 0);
    state->helper.SetBend(bend);
    state->helper.SetHDistortion(taper);
    state->helper.SetRenderMode(2);
    state->origin = origin;
    state->caret = state->anchor = int(text.size());

    // The outline's image lands at origin + offset on a transparent layer of
    // the canvas's size (only the tiles under the text hold blocks).
    QPointF offset;
    const KXImageRGBA32i drawn = state->helper.CreateImageByTextWithDeformation(offset);
    KXImageRGBA32i image(unsigned(m_document->Size().width()), unsigned(m_document->Size().height()));
    const QPoint at = origin + QPoint(int(std::lround(offset.x())), int(std::lround(offset.y())));
    BlendOn(drawn, drawn.Rect(), KXBlendMode::Source, image, QRect(at, QSize(int(drawn.Width()), int(drawn.Height()))),
            1.0, false);
    m_document->AddLayer(image, tr("Text: %1").arg(text));
    m_document->ChangeLayer(m_document->ActiveIndex(), tr("Text"), [state](Layer& layer) { layer.text = state; });
    // Adding the layer and attaching its text are one step for the user.
    m_document->Undo().MergeLast();
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

void TextTool::ShowCaret()
{
    TextState* state = Active();
    if (!state) {
        m_canvas->SetOverlay(m_document->SelectionOutline());
        return;
    }
    const int start = std::min(state->caret, state->anchor);
    const int count = std::abs(state->caret - state->anchor);
    // The caret line at the caret, and the underline of the selected range.
    QPainterPath path = state->helper.GetVerticalAndUnderLine(state->origin, state->caret, 0);
    if (count > 0)
        path.addPath(state->helper.GetVerticalAndUnderLine(state->origin, start, count));
    m_canvas->SetOverlay(path);
}

} // namespace kxedit
