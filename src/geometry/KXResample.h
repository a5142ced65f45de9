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

// Samples columns first … last of one destination row (out: column first)
// with the bilinear or bicubic rule, leaving pixels outside the source.
using SpanSampler = void (*)(const SourceTiles<KXImageRGBA32i>& source, const InverseMap::Row& at, int first,
                             int last, KXRGBA32i* out);
// The span sampler built for a wider vector unit the processor has (the
// plain rule's bytes), or null: then the plain rule is used.
SpanSampler FastSpan(Quality quality);

// The nearest pixel of the box-blurred source (radii 1 … 7 both ways) over
// `target`, row by row, when `inverse` only scales and moves (no rotation,
// shear or projection): the bytes of BoxNearestRule. False, nothing
// written, when it does not apply.
bool SampleBoxRows(const KXImageRGBA32i& source, const QTransform& inverse, KXImageRGBA32i& destination,
                   const QRect& target, int radiusX, int radiusY);

} // namespace KXGeometry

#endif // KXRESAMPLE_H
