#ifndef KXTEXTOUTLINE_H
#define KXTEXTOUTLINE_H

// Geometry of text outlines: subdivision, the sine bend, the trapezoid
// distortion, and the tile-by-tile drawing of an outline. Private to the
// library.

#include "KXImage.h"

#include <QColor>
#include <QMap>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QTransform>

#include <cmath>

namespace KXTextOutline {

// Every polygon of the flattened path, with each edge longer than
// `maxLength` cut into pieces of exactly maxLength (the last piece takes the
// rest): n = trunc(length / maxLength) and n - 1 points inserted.
QPainterPath Subdivide(const QPainterPath& path, float maxLength);

// Moves every element across the wave: along x (vertical false) the point's
// y goes up by sin((x - centre.x) * pi / halfLength) * bend / 100 *
// halfExtent; along y the same with the axes swapped.
void Bend(QPainterPath& path, bool vertical, const QPointF& centre, float halfLength, double halfExtent,
          double bend);

// Distortion flags: 1 tapers vertically (y moves), 2 horizontally (x moves).
enum { kVertical = 1, kHorizontal = 2, kBoth = 3 };

// Tapers about `centre`: y += h * dx * dy / halfWidth (flag 1) and x += v *
// dx * dy / halfHeight (flag 2), dx and dy the element's distance from the
// centre; a divisor below 2.220446049250313e-16 leaves its coordinate alone.
void Distort(QPainterPath& path, int flags, const QPointF& centre, float halfWidth, float halfHeight, float h,
             float v);

// How an outline is drawn: a solid brush and a one-pixel pen of `colour`,
// CompositionMode_Source, and the hints switched on or off as listed.
struct Paint {
    QColor colour;
    QMap<QPainter::RenderHint, bool> hints;
};

// A new image of frame's size with `path`, moved by -frame's top-left,
// drawn into it. Only the tiles the path reaches are written; the others
// stay shared blank tiles. Throws KXBadAlloc when the image cannot be made.
KXImageRGBA32i Render(const QPainterPath& path, const QRect& frame, const Paint& paint);

// The point moved to the nearest multiple of 1/65536 (the finest step Qt's
// rasterisers resolve). A coordinate on this grid (below 2^36 in size)
// moves by a whole number exactly, so an outline on it draws the same at
// every integer offset: tile by tile exactly as on one picture.
inline QPointF OnGrid(const QPointF& p)
{
    return QPointF(std::nearbyint(p.x() * 65536.0) / 65536.0, std::nearbyint(p.y() * 65536.0) / 65536.0);
}

// `image` turned by `transform` into a new cleared image just large enough
// for its mapped rectangle, bilinearly resampled (TransformImage's own
// placement: the transform followed by a shift of the mapped box to 0, 0).
// An empty image for a transform that cannot be inverted or a mapped size
// that is not a usable number (logged).
KXImageRGBA32i Transformed(const KXImageRGBA32i& image, const QTransform& transform);


} // namespace KXTextOutline

#endif // KXTEXTOUTLINE_H
