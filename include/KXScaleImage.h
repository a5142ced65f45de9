#ifndef KXSCALEIMAGE_H
#define KXSCALEIMAGE_H

/// \file
/// A scaled, panned view of an image rendered into a whole QImage for
/// display: the nearest source pixel, found by integer stepping. Source rows
/// and columns advance by (source size) / (scaled size) per destination
/// pixel, the remainder carried in an error term, so that every source row
/// and column is used evenly; `offset` is the source position shown at the
/// top left. A destination row that shows the same source row as the one
/// above is a copy of it. Destination pixels that show nothing of the image
/// are left as they were.

#include "KXColorTransform.h"
#include "KXImage.h"
#include "kxcore_export.h"

#include <QImage>
#include <QPointF>

/// Renders `source` at `scale` from `offset` into `view`, a 32-bit QImage.
/// A scale that is not a positive finite number, an offset beyond the int
/// range or a QImage of another depth is refused with a log line (false).
/// An exception is logged and passed on.
KXCORE_EXPORT bool ScaleImage(const KXImageRGBA32i& source, const QPointF& offset, double scale, QImage& view);
/// The same, each source pixel shown passed through `transform` once (per
/// rendered row) and repeated for every destination pixel that shows it;
/// the image itself is not changed.
KXCORE_EXPORT bool ScaleImage(const KXImageRGBA32i& source, const QPointF& offset, double scale, QImage& view,
                              const KXColorTransformBase& transform);

#endif // KXSCALEIMAGE_H
