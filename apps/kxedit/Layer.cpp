#include "Layer.h"

namespace kxedit {

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
