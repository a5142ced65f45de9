// TransformImage: the nearest source pixel inside a source area, for the
// working and the CMYK image, into an image of the same kind or a QImage.

#include "KXTransformImage.h"

#include "core/KXCMYKToRGB.h"
#include "core/KXLogMacros.h"
#include "geometry/KXInverseMap.h"

#include <cmath>

namespace {

const char kLogFile[] = "src/KXImage";

// The pixel written for a sampled source pixel.
struct Copy {
    template <class T>
    T operator()(const T& p) const { return p; }
};

// A position below -1e-10 becomes -1; the truncated position is used when
// `area` (inside the source) contains it.
template <class Image, class Convert>
struct AreaRule {
    const KXGeometry::SourceTiles<Image>& source;
    QRect area;
    Convert convert;

    template <class Out>
    void operator()(double sx, double sy, Out& out) const
    {
        if (sx < -1e-10)
            sx = -1;
        if (sy < -1e-10)
            sy = -1;
        if (!(sx < 2147483647.0 && sy < 2147483647.0)) // also NaN; no source is that large
            return;
        const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
        if (area.contains(ix, iy))
            out = convert(*source.Pixel(ix, iy));
    }
};

// Whether `area` (a valid rectangle) lies inside `rect`, from the corners:
// QRect::contains goes through the width, which wraps for an area wider
// than INT_MAX.
bool Inside(const QRect& area, const QRect& rect)
{
    return !area.isEmpty() && !rect.isEmpty() && area.left() >= rect.left() && area.top() >= rect.top() &&
           area.right() <= rect.right() && area.bottom() <= rect.bottom();
}

// The destination pixels an affine transform can reach from `area`: the
// mapped bounds of the area (grown by the -1e-10 tolerance) plus a pixel
// all round, cut to `bounds`. A projective transform may reach anywhere.
QRect Reach(const QTransform& transform, const QRect& area, const QRect& bounds)
{
    if (transform.type() == QTransform::TxProject)
        return bounds;
    // The size from the corners in double: QRect's width wraps past INT_MAX.
    const double width = double(area.right()) - area.left() + 1, height = double(area.bottom()) - area.top() + 1;
    const QRectF mapped =
        transform.mapRect(QRectF(area.left() - 1e-9, area.top() - 1e-9, width + 2e-9, height + 2e-9));
    const double left = std::max(std::floor(mapped.left()) - 1, double(bounds.left()));
    const double top = std::max(std::floor(mapped.top()) - 1, double(bounds.top()));
    const double right = std::min(std::ceil(mapped.right()) + 1, double(bounds.right()));
    const double bottom = std::min(std::ceil(mapped.bottom()) + 1, double(bounds.bottom()));
    if (!(left <= right && top <= bottom))
        return QRect();
    return QRect(QPoint(int(left), int(top)), QPoint(int(right), int(bottom)));
}

// The shared steps: inverse, source area, then `walk(map, rule, reach)`.
template <class Image, class Convert, class Walk>
bool Transform(const Image& source, const QTransform& transform, const QRect& sourceRect, const QRect& bounds,
               Convert convert, Walk&& walk)
{
    bool invertible = false;
    const QTransform inverse = transform.inverted(&invertible);
    if (!invertible)
        return false;
    const QRect area = sourceRect.isValid() ? sourceRect : source.Rect();
    if (!Inside(area, source.Rect())) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("TransformImage: the source area reaches outside the source"));
        return false;
    }
    const QRect reach = Reach(transform, area, bounds);
    if (reach.isEmpty())
        return true;
    const Image shared = source; // the destination may be the source itself: keep its tiles shared
    const KXGeometry::SourceTiles<Image> tiles(shared);
    const KXGeometry::InverseMap map(inverse, bounds.width());
    walk(map, AreaRule<Image, Convert>{tiles, area, convert}, reach);
    return true;
}

template <class Image, class Convert>
bool IntoImage(const Image& source, const QTransform& transform, Image& destination, const QRect& sourceRect,
               Convert convert)
{
    return Transform(source, transform, sourceRect, destination.Rect(), convert,
                     [&](const KXGeometry::InverseMap& map, const auto& rule, const QRect& reach) {
                         KXGeometry::WalkImage(destination, reach, map, rule);
                     });
}

template <class Image, class Convert>
bool IntoQImage(const Image& source, const QTransform& transform, QImage& destination, const QRect& sourceRect,
                Convert convert)
{
    if (destination.format() != QImage::Format_ARGB32) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("TransformImage: the QImage is not in QImage::Format_ARGB32"));
        return false;
    }
    return Transform(source, transform, sourceRect, destination.rect(), convert,
                     [&](const KXGeometry::InverseMap& map, const auto& rule, const QRect& reach) {
                         KXGeometry::WalkQImage(destination, reach, map, rule);
                     });
}

} // namespace

bool TransformImage(const KXImageRGBA32i& source, const QTransform& transform, KXImageRGBA32i& destination,
                    const QRect& sourceRect)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile),
                               [&] { return IntoImage(source, transform, destination, sourceRect, Copy()); });
}

bool TransformImage(const KXImageRGBA32i& source, const QTransform& transform, QImage& destination,
                    const QRect& sourceRect)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile),
                               [&] { return IntoQImage(source, transform, destination, sourceRect, Copy()); });
}

bool TransformImage(const KXImageCMYKA& source, const QTransform& transform, KXImageCMYKA& destination,
                    const QRect& sourceRect)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile),
                               [&] { return IntoImage(source, transform, destination, sourceRect, Copy()); });
}

bool TransformImage(const KXImageCMYKA& source, const QTransform& transform, QImage& destination,
                    const QRect& sourceRect)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        return IntoQImage(source, transform, destination, sourceRect, KXCMYKToRGB());
    });
}
