#ifndef KXTRANSFORMIMAGE_H
#define KXTRANSFORMIMAGE_H

/// \file
/// Drawing an image through a QTransform (affine or projective) into another
/// image or a QImage. Every function works backwards: destination pixel
/// (x, y) is sampled at the inverse transform's image of its centre,
/// (x + 0.5, y + 0.5), so each destination pixel is written at most once.
/// Destination pixels whose sample falls outside the source are left as
/// they were. A transform that cannot be inverted gives false and changes
/// nothing. Destination tiles are made private before they are written, and
/// independent destination tiles are written in parallel on Qt's global
/// pool (the calling thread waits).

#include "KXImage.h"
#include "kxcore_export.h"

#include <QImage>
#include <QRect>
#include <QTransform>

// TransformImage: the nearest source pixel over the whole destination. A
// sample position below -1e-10 counts as -1; the truncated position is used
// when the source area holds it. The source area is `sourceRect` when valid
// (it must then lie inside the source, otherwise the call is refused with a
// log line and gives false), else the whole source. An exception is logged
// and passed on.

/// Into an image of the same kind.
KXCORE_EXPORT bool TransformImage(const KXImageRGBA32i& source, const QTransform& transform,
                                  KXImageRGBA32i& destination, const QRect& sourceRect);
/// Into a QImage, which must be QImage::Format_ARGB32 (otherwise false, logged).
KXCORE_EXPORT bool TransformImage(const KXImageRGBA32i& source, const QTransform& transform, QImage& destination,
                                  const QRect& sourceRect);
/// CMYK into CMYK: the 8-byte pixels are copied.
KXCORE_EXPORT bool TransformImage(const KXImageCMYKA& source, const QTransform& transform,
                                  KXImageCMYKA& destination, const QRect& sourceRect);
/// CMYK into a QImage::Format_ARGB32 QImage, each sampled pixel converted to
/// RGB as ConvertImage does.
KXCORE_EXPORT bool TransformImage(const KXImageCMYKA& source, const QTransform& transform, QImage& destination,
                                  const QRect& sourceRect);

// The resampling transforms write only the destination pixels inside
// transform.mapRect(area) (area: `sourceRect` when valid, else the whole
// source), cut to the destination. An empty source or an empty target
// gives true. Positions are nudged by the double's epsilon (2^-52) so that
// exact pixel edges fall into the pixel to the right or below. A standard
// exception is logged and gives false (the destination may be partly
// written); any other is logged and passed on.

/// The nearest source pixel: (trunc(sx + eps), trunc(sy + eps)).
KXCORE_EXPORT bool NearestNeighbourTransformImage(const KXImageRGBA32i& source, const QTransform& transform,
                                                  KXImageRGBA32i& destination, const QRect& sourceRect);
/// Bilinear: 2 x 2 pixels around the position, edges repeating, rows then
/// the column, each step rounded to 8 bits. When the transform shrinks the
/// image to half or less along an axis, a shared copy of the source is box
/// blurred first (radius trunc(0.5 / scale + 0.5) along each axis whose
/// scale is below 1), and when it shrinks along both axes the blurred copy
/// is sampled at the nearest pixel.
KXCORE_EXPORT bool BilinearTransformImage(const KXImageRGBA32i& source, const QTransform& transform,
                                          KXImageRGBA32i& destination, const QRect& sourceRect);
/// Bicubic: 4 x 4 pixels with the cubic step, otherwise as the bilinear one.
KXCORE_EXPORT bool BicubicTransformImage(const KXImageRGBA32i& source, const QTransform& transform,
                                         KXImageRGBA32i& destination, const QRect& sourceRect);

#endif // KXTRANSFORMIMAGE_H
