#ifndef KXFLOODFILL_H
#define KXFLOODFILL_H
/// \file
/// The paint bucket and the colour-range fill.
///
/// Every function takes the seed pixel's colour as the target t and writes
/// `fill` into the pixels that match it; `bounds` (may be null) receives the
/// inclusive bounding rectangle of the pixels written. They return false,
/// after one line in the debug log and without writing, when the seed lies
/// outside the image.
///
/// Match rules, p the pixel tested:
/// - exact: p == t;
/// - tolerance (one tolerance byte a channel): when t's alpha is 0, p
///   matches when its alpha is 0, whatever its colour; otherwise p matches
///   when every channel, alpha included, lies in t.k - tol.k ... t.k + tol.k.
///
/// The flood fills are 4-connected and fill along columns; they run on the
/// calling thread with an explicit, heap-held work list that stays bounded
/// by the number of pixels (no recursion).

#include "KXImage.h"
#include "KXPixel.h"
#include "kxcore_export.h"

#include <QImage>
#include <QPoint>
#include <QRect>

/// Flood fill and colour-range fill; static functions only.
class KXCORE_EXPORT KXFloodFillHelper {
public:
    /// Fills the 4-connected pixels equal to the seed pixel. When `fill`
    /// equals the seed pixel nothing is written and `bounds` is QRect().
    static bool FloodFill(KXImage<KXRGBA32i, 128, 128>& image, const QPoint& seed, const KXRGBA32i& fill,
                          QRect* bounds);
    /// Fills the 4-connected pixels that match the seed pixel within
    /// `tolerance`; a tolerance of 0 in every channel is the exact fill.
    /// When no colour can fail the rule the whole image is filled.
    static bool FloodFill(KXImage<KXRGBA32i, 128, 128>& image, const QPoint& seed, const KXRGBA32i& tolerance,
                          const KXRGBA32i& fill, QRect* bounds);
    /// The tolerance fill read from `source` and written into `target`
    /// (all of `target` in the whole-image case). A filled pixel outside
    /// `target` throws std::out_of_range ("KXImage::SetColor"), which
    /// passes on; the pixels before it stay written.
    static bool FloodFill(const KXImage<KXRGBA32i, 128, 128>& source, KXImage<KXRGBA32i, 128, 128>& target,
                          const QPoint& seed, const KXRGBA32i& tolerance, const KXRGBA32i& fill, QRect* bounds);
    /// The tolerance fill on a 32-bit QImage (pixels read as 0xAARRGGBB
    /// words), in place; an image of another depth is refused (false).
    static bool FloodFill(QImage& image, const QPoint& seed, const KXRGBA32i& tolerance, const KXRGBA32i& fill,
                          QRect* bounds);
    /// Makes `target` a copy of `source` in which every pixel that matches
    /// the seed pixel within `tolerance` is `fill` and every other pixel
    /// transparent black, connected or not.
    static bool ColorRangeFill(const KXImage<KXRGBA32i, 128, 128>& source, KXImage<KXRGBA32i, 128, 128>& target,
                               const QPoint& seed, const KXRGBA32i& tolerance, const KXRGBA32i& fill,
                               QRect* bounds);

    /// Copies the settings.
    KXFloodFillHelper& operator=(const KXFloodFillHelper&) = default;
};

#endif // KXFLOODFILL_H
