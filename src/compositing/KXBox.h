#ifndef KXBOX_H
#define KXBOX_H

// Rectangles from callers, placed, grown and cut in 64 bits: no int
// rectangle or position, however near the int limits, can overflow here.
// Only a box that has been cut to an image goes back into a QRect. Internal
// to the library (compositing and the filters above it).

#include <QPoint>
#include <QRect>

#include <algorithm>
#include <cstdint>

namespace KXGeometry {

// Exclusive right and bottom edges.
struct Box {
    int64_t left, top, right, bottom;

    static Box Of(const QRect& r)
    {
        return {r.left(), r.top(), int64_t(r.right()) + 1, int64_t(r.bottom()) + 1};
    }
    // width x height pixels with the top-left corner at `p`.
    static Box At(const QPoint& p, int64_t width, int64_t height)
    {
        return {p.x(), p.y(), p.x() + width, p.y() + height};
    }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    int64_t Width() const { return IsEmpty() ? 0 : right - left; }
    int64_t Height() const { return IsEmpty() ? 0 : bottom - top; }
    Box Moved(int64_t dx, int64_t dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Box Moved(const QPoint& by) const { return Moved(by.x(), by.y()); }
    // `by` more on every side.
    Box Grown(int64_t by) const { return {left - by, top - by, right + by, bottom + by}; }
    Box operator&(const Box& o) const
    {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    }
    // Only for boxes inside an image; an empty box gives the null QRect()
    // (which a pass takes for the whole image: passes are never built over
    // an empty box).
    QRect ToRect() const
    {
        return IsEmpty() ? QRect() : QRect(int(left), int(top), int(right - left), int(bottom - top));
    }
};

} // namespace KXGeometry

#endif // KXBOX_H
