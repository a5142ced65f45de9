#include "TextLayer.h"

#include "KXImagePainter.h"

#include <QPainter>
#include <QPainterPath>

namespace kximg {

void DrawTextLayer(KXImageRGBA32i& canvas, KXTextHelper& helper, const KXImageRGBA32i& text, const QPointF& offset,
                   const QPoint& origin, const TextDecoration& decoration)
{
    const int over = QPainter::CompositionMode_SourceOver;
    const QPoint position = origin + offset.toPoint();
    if (decoration.count > 0) {
        const QColor colour = helper.GetColor();
        helper.SetColor(decoration.selection);
        QPointF selectionOffset;
        const KXImageRGBA32i selected = helper.CreateImageByTextWithSelectionAndDeformation(
            selectionOffset, decoration.start, decoration.count);
        helper.SetColor(colour);
        DrawImage(canvas, over, origin + selectionOffset.toPoint(), selected, 1.0, false);
    }
    DrawImage(canvas, over, position, text, 1.0, false);
    if (decoration.caret && helper.GetTransform().isIdentity()) {
        // The caret path is in the untransformed outline's coordinates.
        const QPainterPath caret = helper.GetVerticalAndUnderLine(origin, decoration.start, decoration.count);
        DrawPath(canvas, over, caret, QPen(decoration.caretColour, 2.0));
    }
}

} // namespace kximg
