#ifndef KXBLUROPERATORS_H
#define KXBLUROPERATORS_H

/// \file
/// Box and Gaussian blurs and 2D convolutions of a tiled image or a QImage,
/// in place. They report no progress and cannot be cancelled; the calling
/// thread waits for all the work (rows and columns may be spread over Qt's
/// global pool, with the same result).
///
/// Rectangles are QRects with inclusive right and bottom edges; a rectangle
/// is invalid when left > right or top > bottom (the null QRect() is one).
/// A QImage in a format other than QImage::Format_ARGB32 or
/// QImage::Format_ARGB32_Premultiplied is first converted to
/// QImage::Format_ARGB32 (Qt::NoOpaqueDetection) and replaced by the
/// conversion; the pixels of both formats are worked on as stored.
///
/// A negative radius, or one above what the picture can show (twice its
/// larger side, and above 1024), is refused with a log line and changes
/// nothing: a wider window would only add work.

#include "KXImage.h"
#include "kxcore_export.h"

#include <QImage>
#include <QRect>
#include <QSize>

/// A box blur of radius r along rows: each pixel of the rectangle (null:
/// the whole image) becomes, channel by channel, (r + the sum of the 2r + 1
/// pixels around it) / (2r + 1), edge pixels repeating.
class KXCORE_EXPORT KXBoxBlurH {
public:
    explicit KXBoxBlurH(int radius) : m_radius(radius) {} ///< Radius `radius`.
    void operator()(KXImageRGBA32i& image, const QRect& rect) const; ///< Blurs `rect` of `image`.
    void operator()(QImage& image, const QRect& rect) const;         ///< Blurs `rect` of `image`.

private:
    int m_radius;
};

/// KXBoxBlurH along columns.
class KXCORE_EXPORT KXBoxBlurV {
public:
    explicit KXBoxBlurV(int radius) : m_radius(radius) {} ///< Radius `radius`.
    void operator()(KXImageRGBA32i& image, const QRect& rect) const; ///< Blurs `rect` of `image`.
    void operator()(QImage& image, const QRect& rect) const;         ///< Blurs `rect` of `image`.

private:
    int m_radius;
};

/// A box blur of radius r along rows, then along columns. A rectangle inside
/// the image is blurred in a copy (the rows over the rectangle grown by r)
/// and copied back, so no pixel outside it changes; the whole image, a null
/// or an invalid rectangle blur the whole image.
class KXCORE_EXPORT KXBoxBlur {
public:
    explicit KXBoxBlur(int radius) : m_radius(radius) {} ///< Radius `radius`.
    void operator()(KXImageRGBA32i& image, const QRect& rect) const; ///< Blurs `rect` of `image`.
    /// Blurs a copy and lays it over `rect` (whole, null or invalid: the
    /// whole image) with BlendMaskOn in the Normal mode through `mask`
    /// placed at `maskRect`; `revealOutsideMask` as for BlendMaskOn.
    void operator()(KXImageRGBA32i& image, const QRect& rect, const KXImageRGBA32i& mask, const QRect& maskRect,
                    bool revealOutsideMask) const;
    void operator()(QImage& image, const QRect& rect) const; ///< Blurs `rect` of `image`.

private:
    int m_radius;
};

/// Three box blurs of radius r approximate a Gaussian. The whole image (or
/// a null or invalid rectangle) gets three row blurs, then three column
/// blurs; a rectangle is blurred in a copy, rows over the rectangle grown by
/// 3r, columns over it grown by 2r, and so on down to the rectangle itself,
/// then copied back.
class KXCORE_EXPORT KXGaussianBlur {
public:
    explicit KXGaussianBlur(int radius) : m_radius(radius) {} ///< Radius `radius`.
    void operator()(KXImageRGBA32i& image, const QRect& rect) const; ///< Blurs `rect` of `image`.
    /// Blurs a copy and lays it over `rect` with BlendMaskOn in the Normal
    /// mode through `mask` at `maskRect`; a null or invalid rectangle does
    /// nothing.
    void operator()(KXImageRGBA32i& image, const QRect& rect, const KXImageRGBA32i& mask, const QRect& maskRect,
                    bool revealOutsideMask) const;
    void operator()(QImage& image, const QRect& rect) const; ///< Blurs `rect` of `image`.

private:
    int m_radius;
};

/// A caller's kernel (kw × kh doubles, row by row, not copied: it must
/// outlive the operator) applied to all four channels as a convolution
/// (mirrored), source positions clamped into the image, weights as given.
/// A pixel whose alpha sum truncates to 0 or less becomes 0; otherwise each
/// channel is its sum truncated and clamped to a byte.
class KXCORE_EXPORT KXImageConvolution {
public:
    /// The kernel `kernel` of `size` (width kw, height kh).
    KXImageConvolution(const double* kernel, const QSize& size) : m_kernel(kernel), m_size(size) {}
    void operator()(KXImageRGBA32i& image) const; ///< Convolves the whole image.
    void operator()(QImage& image) const;         ///< Convolves the whole image.

private:
    const double* m_kernel;
    QSize m_size;
};

/// The kernel of KXImageConvolution applied to alpha alone, summed in
/// single precision, taps outside the image skipped; every pixel becomes
/// black with the sum (0 … 255, truncated) as its alpha.
class KXCORE_EXPORT KXImageConvoluteAlpha {
public:
    /// The kernel `kernel` of `size` (width kw, height kh).
    KXImageConvoluteAlpha(const double* kernel, const QSize& size) : m_kernel(kernel), m_size(size) {}
    void operator()(KXImageRGBA32i& image) const; ///< Convolves the whole image's alpha.
    void operator()(QImage& image) const;         ///< Convolves the whole image's alpha.

private:
    const double* m_kernel;
    QSize m_size;
};

#endif // KXBLUROPERATORS_H
