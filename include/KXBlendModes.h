#ifndef KXBLENDMODES_H
#define KXBLENDMODES_H

/// \file
/// Layer blend modes: composite a layer (a tiled image or a QImage in
/// QImage::Format_ARGB32) onto a tiled destination in place, with a numbered
/// mode, an opacity and an option that keeps every destination alpha byte.
///
/// Placement: srcRect's top-left corner lands on dstRect's top-left corner.
/// The processed area is the rectangle at dstRect's top-left whose size is the
/// smaller of the two rectangles' sizes, cut to the destination and to the
/// moved source. Nothing outside it changes; every destination tile it meets
/// is made private (copy on write), all others stay shared.
///
/// opacity is a fraction: the integer opacity is opacity * 256 truncated
/// (1.0 gives 256; anything below 1/256 does nothing; above 1.0 counts as 1.0).
///
/// Mode numbers 0 to 31 are those of QPainter::CompositionMode for the same
/// operations; the KXBlendMode names below list every number with an effect of
/// its own. Any other number blends as Normal with the alpha composed.
///
/// BlendMaskOn weights the source by the alpha of a mask image: the mask
/// position of a destination pixel is the pixel moved by
/// maskRect.topLeft() - dstRect.topLeft(). Pixels whose mask position lies
/// outside maskRect or outside the mask image are blended as under a mask
/// alpha of 255 when revealOutsideMask is true and left alone otherwise. A
/// mask without pixels and revealOutsideMask true give exactly BlendOn.
/// Masked forms exist for Normal, Source, DestinationOut, Plus to Exclusion,
/// AlphaFromLuminance, GreyFromAlpha and Luminosity (which makes the
/// destination opaque); any other number blends as masked Normal.
///
/// Errors: a QImage source in another format is logged ("Wrong input qimage
/// format N") and nothing changes. Any exception is logged and passed on.
/// Every block the destination needs is taken before the first pixel
/// changes, so when the tile manager runs out the destination keeps all its
/// old pixels.

#include "KXImage.h"
#include "kxcore_export.h"

#include <QImage>
#include <QRect>

/// The blend mode numbers of BlendOn, BlendMaskOn and DrawImage.
namespace KXBlendMode {
/// Every mode number with an effect of its own.
enum : unsigned int {
    Normal = 0,             ///< Source over destination.
    Clear = 2,              ///< destination alpha 0 where the source shows
    Source = 3,             ///< copy the source, alpha scaled by the opacity
    DestinationIn = 6,      ///< Destination alpha scaled by the source alpha.
    DestinationOut = 8,     ///< Destination alpha scaled by the source's transparency.
    Plus = 12,              ///< Colours added.
    Multiply = 13,          ///< Colours multiplied.
    Screen = 14,            ///< Inverted colours multiplied, inverted back.
    Overlay = 15,           ///< Multiply or screen, by the destination colour.
    Darken = 16,            ///< The darker colour.
    Lighten = 17,           ///< The lighter colour.
    ColorDodge = 18,        ///< Destination brightened by the source.
    ColorBurn = 19,         ///< Destination darkened by the source.
    HardLight = 20,         ///< Multiply or screen, by the source colour.
    SoftLight = 21,         ///< A softer hard light.
    Difference = 22,        ///< Absolute difference of the colours.
    Exclusion = 23,         ///< Like Difference, with less contrast.
    BitwiseOr = 24,         ///< d := d OR s, the source alpha scaled by the opacity.
    BitwiseAnd = 25,        ///< d := d AND s, the source alpha scaled by the opacity.
    BitwiseAndNot = 31,     ///< d := d AND NOT s, the source alpha scaled by the opacity.
    AlphaFromLuminance = 64, ///< destination alpha toward the source's luminance
    GreyFromAlpha = 88,      ///< colours := source alpha, opaque
    GreyFromLuminance = 89,  ///< colours := source luminance, opaque
    Luminosity = 90,         ///< source luminance, destination colour differences
    CopyWhereCovered = 91,   ///< copy where the source alpha is not 0
    AlphaKeep = 92,          ///< Destination alpha scaled by the opacity where the source shows, else 0.
    AlphaAdd = 93,           ///< Destination alpha plus source alpha, at most 255.
    AlphaMinimum = 94,       ///< The smaller of the two alphas.
    AlphaSubtract = 95,      ///< Destination alpha minus source alpha, at least 0.
};
} // namespace KXBlendMode

/// The name of a mode with an effect of its own ("Multiply", "SoftLight", ...),
/// or null for a number that blends as Normal.
KXCORE_EXPORT const char* BlendModeName(unsigned int mode);

/// Composites `srcRect` of `src` onto `dst` at `dstRect` with mode number
/// `mode` and `opacity` (0 … 1); with `lockAlpha` every destination alpha
/// byte is kept. Placement, modes and errors as described for this file.
KXCORE_EXPORT void BlendOn(const KXImageRGBA32i& src, const QRect& srcRect, unsigned int mode, KXImageRGBA32i& dst,
                           const QRect& dstRect, double opacity, bool lockAlpha);

/// A QImage source supports modes 0, 3, 6, 8, 12 to 23 and 90 (which copies
/// like 3); any other number blends as Normal. Its Normal copies the source
/// pixel whole where the destination is transparent.
KXCORE_EXPORT void BlendOn(const QImage& src, const QRect& srcRect, unsigned int mode, KXImageRGBA32i& dst,
                           const QRect& dstRect, double opacity, bool lockAlpha);

/// BlendOn with the source weighted by the alpha of `mask`, placed by
/// `maskRect`; destination pixels outside the mask are blended as under
/// alpha 255 when `revealOutsideMask` is true and left alone otherwise.
KXCORE_EXPORT void BlendMaskOn(const KXImageRGBA32i& src, const QRect& srcRect, unsigned int mode,
                               KXImageRGBA32i& dst, const QRect& dstRect, double opacity,
                               const KXImageRGBA32i& mask, const QRect& maskRect, bool revealOutsideMask,
                               bool lockAlpha);

/// A QImage source supports mode 0 only; other modes change nothing.
KXCORE_EXPORT void BlendMaskOn(const QImage& src, const QRect& srcRect, unsigned int mode, KXImageRGBA32i& dst,
                               const QRect& dstRect, double opacity, const KXImageRGBA32i& mask,
                               const QRect& maskRect, bool revealOutsideMask, bool lockAlpha);

// CMYK images are not blended: these do nothing.

/// Does nothing: CMYK images are not blended.
KXCORE_EXPORT void BlendOn(const KXImageCMYKA& src, const QRect& srcRect, unsigned int mode, KXImageCMYKA& dst,
                           const QRect& dstRect, double opacity, bool lockAlpha);
/// Does nothing: CMYK images are not blended.
KXCORE_EXPORT void BlendMaskOn(const KXImageCMYKA& src, const QRect& srcRect, unsigned int mode, KXImageCMYKA& dst,
                               const QRect& dstRect, double opacity, const KXImageRGBA32i& mask,
                               const QRect& maskRect, bool revealOutsideMask, bool lockAlpha);

#endif // KXBLENDMODES_H
