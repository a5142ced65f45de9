#ifndef KXINPAINT_H
#define KXINPAINT_H

/// \file
/// Inpainting: the holes of an image (pixels that are not fully opaque) are
/// filled from their known surroundings, one layer per pass from the rim of
/// each hole inward.
///
/// Knownness. A pixel is known when its mask alpha is below 255; alpha 255
/// marks a hole. Within one pass only the pixels known when the pass began
/// are used, so the result does not depend on the order of the scan.
///
/// The front. Each pass visits the pixels of the front, the rim still to be
/// processed: at the start the Sobel magnitude (weights 1, 2, 1) of the mask
/// alpha, where every pixel next to the border between known and unknown
/// counts as 255. A known pixel on the front leaves it. An unknown one takes
/// the rounded average ((sum + 4) / 8 per channel, alpha included) of the
/// eight pixels of the first of nine patterns that is complete around it:
/// all neighbours; above, below, left, right (two rows or columns and the
/// two side neighbours); upper left, upper right, lower right, lower left
/// (the 3 × 3 block with the pixel in its corner). It then becomes known
/// from the next pass on, and its unknown neighbours join the front. A pixel
/// with no complete pattern stays a hole in this pass; holes no pattern can
/// reach (a one-pixel line from border to border) stay unfilled.

#include "KXImage.h"
#include "kxcore_export.h"

#include <QImage>
#include <QPoint>
#include <QRect>

/// Inpainting of a QImage in place, all passes in one call. Pixels are read
/// and written through QImage::pixel and QImage::setPixel; nothing throws.
class KXCORE_EXPORT KXInpaint {
public:
    /// Builds the mask (opaque red where the image's alpha is below 255,
    /// transparent elsewhere), the front and the rim rectangle. `image` must
    /// stay alive and 32-bit while this object is used.
    explicit KXInpaint(QImage& image);
    KXInpaint(const KXInpaint& other); ///< Shares the image pointer; copies the images and the rim.
    ~KXInpaint();
    KXInpaint& operator=(const KXInpaint&) = delete;

    /// Repairs the image: passes until one changes nothing. The argument is
    /// not used.
    void operator()(int);

private:
    QImage* m_image;
    QImage m_mask;  // ARGB32: 0xFFFF0000 unknown, 0 known
    QImage m_front; // ARGB32: alpha 255 on the rim still to be processed
    QRect m_rim;    // bounding rectangle of the current rim
    QImage m_spare; // left null
};

/// Inpainting of a tiled image through a separate mask, one pass per call
/// (so that the caller can show progress or stop between passes). The mask
/// is read inside maskRect only (what lies outside counts as a hole that is
/// never visited); mask pixel (x, y) is image pixel (x, y) +
/// imageRect.topLeft() - maskRect.topLeft(). An image access outside the
/// image ends the pass early with one log line; what the pass did stands.
class KXCORE_EXPORT KXInpaintIterative {
public:
    using Image = KXImage<KXRGBA32i, 128, 128>; ///< The tiled image type.

    /// Copies the mask (sharing its tiles) and builds the front inside
    /// maskRect; active when maskRect is valid.
    KXInpaintIterative(Image& image, const Image& mask, const QRect& imageRect, const QRect& maskRect);
    KXInpaintIterative(const KXInpaintIterative& other); ///< Shares the image pointer; copies the rest.
    ~KXInpaintIterative();
    KXInpaintIterative& operator=(const KXInpaintIterative&) = delete;

    /// Runs one pass over the current rim rectangle; true while a further
    /// pass is needed (this one changed something), false when done.
    bool operator()();

private:
    void Gradient(const Image& mask, const QRect& rect);

    Image* m_image;
    Image m_mask;  // alpha 255 = unknown
    Image m_front; // non-zero alpha = on the rim
    QRect m_imageRect;
    QRect m_maskRect;
    QRect m_rim;    // where the next pass looks for front pixels
    QPoint m_offset; // mask coordinates + offset = image coordinates
    bool m_active;
};

#endif // KXINPAINT_H
