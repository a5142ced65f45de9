#ifndef KXBLENDMODES_H
#define KXBLENDMODES_H

// Layer blend modes: composite a layer (a tiled image or a QImage in
// QImage::Format_ARGB32) onto a tiled destination in place, with a numbered
// mode, an opacity and an option that keeps every destination alpha byte.
//
// Placement: srcRect's top-left corner lands on dstRect's top-left corner.
// The processed area is the rectangle at dstRect's top-left whose size is the
// smaller of the two rectangles' sizes, cut to the destination and to the
// moved source. Nothing outside it changes; every destination tile it meets
// is made private (copy on write), all others stay shared.
//
// opacity is a fraction: the integer opacity is opacity * 256 truncated
// (1.0 gives 256; anything below 1/256 does nothing; above 1.0 counts as 1.0).
//
// Mode numbers 0 to 31 are those of QPainter::CompositionMode for the same
// operations; the KXBlendMode names below list every number with an effect of
// its own. Any other number blends as Normal with the alpha composed.
//
// BlendMaskOn weights the source by the alpha of a mask image: the mask
// position of a destination pixel is the pixel moved by
// maskRect.topLeft() - dstRect.topLeft(). Pixels whose mask position lies
// outside maskRect or outside the mask image are blended as under a mask
// alpha of 255 when revealOutsideMask is true and left alone otherwise. A
// mask without pixels and revealOutsideMask true give exactly BlendOn.
// Masked forms exist for Normal, Source, DestinationOut, Plus to Exclusion,
// AlphaFromLuminance, GreyFromAlpha and Luminosity (which makes the
// destination opaque); any other number blends as masked Normal.
//
// Errors: a QImage source in another format is logged ("Wrong input qimage
// format N") and nothing changes. Any exception is logged and passed on.
// Every block the destination needs is taken before the first pixel
// changes, so when the tile manager runs out the destination keeps all its
// old pixels.

#include "KXImage.h"
#include "kxcore_export.h"

#include <QImage>
#include <QRect>

namespace KXBlendMode {
enum : unsigned int {
    Normal = 0,
    Clear = 2,              // destination alpha 0 where the source shows
    Source = 3,             // copy the source, alpha scaled by the opacity
    DestinationIn = 6,
    DestinationOut = 8,
    Plus = 12,
    Multiply = 13,
    Screen = 14,
    Overlay = 15,
    Darken = 16,
    Lighten = 17,
    ColorDodge = 18,
    ColorBurn = 19,
    HardLight = 20,
    SoftLight = 21,
    Difference = 22,
    Exclusion = 23,
    BitwiseOr = 24,
    BitwiseAnd = 25,
    BitwiseAndNot = 31,
    AlphaFromLuminance = 64, // destination alpha toward the source's luminance
    GreyFromAlpha = 88,      // colours := source alpha, opaque
    GreyFromLuminance = 89,  // colours := source luminance, opaque
    Luminosity = 90,         // source luminance, destination colour differences
    CopyWhereCovered = 91,   // copy where the source alpha is not 0
    AlphaKeep = 92,
    AlphaAdd = 93,
    AlphaMinimum = 94,
    AlphaSubtract = 95,
};
} // namespace KXBlendMode

// The name of a mode with an effect of its own ("Multiply", "SoftLight", ...),
// or null for a number that blends as Normal.
KXCORE_EXPORT const char* BlendModeName(unsigned int mode);

KXCORE_EXPORT void BlendOn(const KXImageRGBA32i& src, const QRect& srcRect, unsigned int mode, KXImageRGBA32i& dst,
                           const QRect& dstRect, double opacity, bool lockAlpha);

// A QImage source supports modes 0, 3, 6, 8, 12 to 23 and 90 (which copies
// like 3); any other number blends as Normal. Its Normal copies the source
// pixel whole where the destination is transparent.
KXCORE_EXPORT void BlendOn(const QImage& src, const QRect& srcRect, unsigned int mode, KXImageRGBA32i& dst,
                           const QRect& dstRect, double opacity, bool lockAlpha);

KXCORE_EXPORT void BlendMaskOn(const KXImageRGBA32i& src, const QRect& srcRect, unsigned int mode,
                               KXImageRGBA32i& dst, const QRect& dstRect, double opacity,
                               const KXImageRGBA32i& mask, const QRect& maskRect, bool revealOutsideMask,
                               bool lockAlpha);

// A QImage source supports mode 0 only; other modes change nothing.
KXCORE_EXPORT void BlendMaskOn(const QImage& src, const QRect& srcRect, unsigned int mode, KXImageRGBA32i& dst,
                               const QRect& dstRect, double opacity, const KXImageRGBA32i& mask,
                               const QRect& maskRect, bool revealOutsideMask, bool lockAlpha);

// CMYK images are not blended: these do nothing.
KXCORE_EXPORT void BlendOn(const KXImageCMYKA& src, const QRect& srcRect, unsigned int mode, KXImageCMYKA& dst,
                           const QRect& dstRect, double opacity, bool lockAlpha);
KXCORE_EXPORT void BlendMaskOn(const KXImageCMYKA& src, const QRect& srcRect, unsigned int mode, KXImageCMYKA& dst,
                               const QRect& dstRect, double opacity, const KXImageRGBA32i& mask,
                               const QRect& maskRect, bool revealOutsideMask, bool lockAlpha);

#endif // KXBLENDMODES_H
