#include "Layer.h"

#include <KXImagePainter.h>

namespace kxedit {

void MakeMask(Layer& layer, MaskKind kind)
{
    if (kind == MaskKind::None) {
        layer.mask = KXImageRGBA32i();
        return;
    }
    KXImageRGBA32i mask;
    switch (kind) {
    case MaskKind::RevealAll:
        CreateRevealAllMask(mask, layer.image);
        break;
    case MaskKind::HideAll:
        CreateHideAllMask(mask, layer.image);
        break;
    case MaskKind::FromLuminance:
        CreateFromSourceMask(mask, layer.image);
        break;
    default:
        CreateFromTransparancyMask(mask, layer.image);
        break;
    }
    layer.mask = mask;
}

QList<unsigned int> BlendModes()
{
    // The library names every number with an effect of its own; the rest
    // blend as Normal and are not worth a menu entry.
    QList<unsigned int> modes;
    for (unsigned int mode = 0; mode < 128; ++mode)
        if (BlendModeName(mode))
            modes.append(mode);
    return modes;
}

} // namespace kxedit
