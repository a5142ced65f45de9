#ifndef KXEDIT_LAYER_H
#define KXEDIT_LAYER_H

#include <KXBlendModes.h>
#include <KXImage.h>

#include <QList>
#include <QString>

#include <memory>

namespace kxedit {

struct TextState;

/// One layer of a document: its pixels (placed at the canvas origin) and how
/// it is composited onto the layers below.
struct Layer {
    QString name;
    KXImageRGBA32i image;
    bool visible = true;
    double opacity = 1.0;                     ///< 0 … 1
    unsigned int mode = KXBlendMode::Normal;  ///< A KXBlendMode number.
    /// Edits keep the layer's transparency: only the colours change.
    bool lockAlpha = false;
    /// The layer mask: its alpha weights the layer where it is composited;
    /// empty (no pixels) for none.
    KXImageRGBA32i mask;
    /// For a text layer: its text, outline settings and caret.
    std::shared_ptr<TextState> text;

    /// True when compositing this layer onto nothing would give its own pixels.
    bool CopiesThrough() const { return visible && mode == KXBlendMode::Normal && opacity >= 1.0 && mask.Width() == 0; }
};

/// The layers of a document, bottom first. Copying the list shares every
/// tile, so a copy is a cheap snapshot.
using LayerList = QList<Layer>;

/// The kinds of layer mask the panel makes.
enum class MaskKind { None, RevealAll, HideAll, FromLuminance, FromAlpha };
/// Makes the mask of `kind` from the layer's own pixels (None removes it).
void MakeMask(Layer& layer, MaskKind kind);

/// The blend modes offered to the user: every number that has an effect of
/// its own, with its library name.
QList<unsigned int> BlendModes();

} // namespace kxedit

#endif
