#ifndef KXRESAMPLE_H
#define KXRESAMPLE_H

// The plain form of the shrinking samplers, kept for comparison with the
// form that blurs only the sampled pixels. Private to the library.

#include "KXImage.h"
#include "geometry/KXInverseMap.h"

#include <QRect>
#include <QTransform>

namespace KXGeometry {

enum class Quality { Nearest, Bilinear, Bicubic };

// Box blurs a shared copy of `source` whole with radii radiusX along rows
// and radiusY along columns (0: not that way), then samples `target` of the
// destination through `inverse` at the nearest pixel (`nearest`) or with
// `quality`.
void SampleBlurred(Quality quality, const KXImageRGBA32i& source, const QTransform& inverse,
                   KXImageRGBA32i& destination, const QRect& target, int radiusX, int radiusY, bool nearest);

// How a sampler's integer steps fared over the spans of one destination
// tile: groups tried and groups that came too close to a rounding boundary
// (then worked again by the double steps). When the fraction keeps landing
// near boundaries, as in a shift by 0.7 pixel, the rest of the tile goes
// straight to the double steps.
struct SpanState {
    int tried = 0, unsure = 0;
    bool Fixed() const { return 8 * unsure <= tried + 32; }
};

// Samples columns first … last of one destination row (out: column first)
// with the bilinear or bicubic rule, leaving pixels outside the source.
using SpanSampler = void (*)(const SourceTiles<KXImageRGBA32i>& source, const InverseMap::Row& at, int first,
                             int last, KXRGBA32i* out, SpanState& state);
// The span sampler built for the instruction-set level in use (the plain
// rule's bytes), or null: then the plain rule is used.
SpanSampler FastSpan(Quality quality);

// The nearest pixel of the box-blurred source (radii 1 … 7 both ways) over
// `target`, row by row, when `inverse` only scales and moves (no rotation,
// shear or projection): the bytes of BoxNearestRule. False, nothing
// written, when it does not apply.
bool SampleBoxRows(const KXImageRGBA32i& source, const QTransform& inverse, KXImageRGBA32i& destination,
                   const QRect& target, int radiusX, int radiusY);

} // namespace KXGeometry

#endif // KXRESAMPLE_H
