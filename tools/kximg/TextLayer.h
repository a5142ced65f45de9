#ifndef KXIMG_TEXTLAYER_H
#define KXIMG_TEXTLAYER_H

// Drawing a KXTextHelper's text onto a picture, with the selection behind it
// and a caret in front, as an editor shows a text layer being edited.

#include "KXImage.h"
#include "KXTextHelper.h"

#include <QColor>
#include <QPoint>

namespace kximg {

struct TextDecoration {
    int start = 0;         // first selected character, and the caret's place
    int count = 0;         // selected characters; 0: no selection
    QColor selection;      // selection colour
    bool caret = false;    // draw a caret at `start` with the under line of the selection
    QColor caretColour;
};

// Draws `text` (the helper's CreateImageByTextWithDeformation with `offset`) onto `canvas` with the text
// origin at `origin`, over the selection and under the caret. The caret is
// left out when the helper turns the text (it follows the unturned outline).
void DrawTextLayer(KXImageRGBA32i& canvas, KXTextHelper& helper, const KXImageRGBA32i& text, const QPointF& offset,
                   const QPoint& origin, const TextDecoration& decoration);

} // namespace kximg

#endif // KXIMG_TEXTLAYER_H
