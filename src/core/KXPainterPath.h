#ifndef KXPAINTERPATH_H
#define KXPAINTERPATH_H

// Checks on QPainterPath shared by the painters and the text outlines.
// Private to the library.

#include <QPainterPath>

#include <cmath>

namespace KXPainterPath {

// Whether QPainter can place every point of the path: every coordinate a
// finite number (setElementPositionAt and transforms can give a path
// coordinates that are not).
inline bool IsFinite(const QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (!std::isfinite(e.x) || !std::isfinite(e.y))
            return false;
    }
    return true;
}

} // namespace KXPainterPath

#endif // KXPAINTERPATH_H
