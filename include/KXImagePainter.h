#ifndef KXIMAGEPAINTER_H
#define KXIMAGEPAINTER_H

/// \file
/// Layer masks and drawing into tiled images.
///
/// Masks: a layer mask is an ordinary image whose alpha weights a layer in
/// BlendMaskOn (255 shows the layer, 0 hides it); its colours are black. The
/// four Create functions replace the whole mask with one of the source's
/// size (a fresh image: empty profile, no EXIF elements).
///
/// Drawing: paths and text are drawn by QPainter straight into each tile's
/// memory, one tile at a time (every tile of the image is made private and
/// painted, also where the drawing does not reach), so no full-size buffer
/// is needed. Coordinates are image pixels. `mode` is a
/// QPainter::CompositionMode for paths and text (a number outside Qt's range
/// draws with SourceOver) and a blend mode number of KXBlendModes.h for
/// DrawImage; the two agree for 0 to 31. Text needs a QGuiApplication.
/// Everything comes out exactly as drawn on one whole QImage. Pens of one
/// pixel or less (Qt's thin-line stroker clips every line to the device it
/// paints on) are stroked on one temporary picture covering the path's
/// bounding box instead of tile by tile, so lines crossing tile borders stay
/// whole.
///
/// Coordinates and positions may lie anywhere, also far beyond the int range:
/// what falls outside the image is cut off. A pen width or a path coordinate
/// that is not a finite number is refused with one log line, and nothing is
/// drawn.
///
/// Errors: a standard exception (such as tile manager exhaustion) is logged
/// and the function returns; a mask is left as it was, and an image drawn
/// into keeps all its old pixels when the tile manager runs out (every block
/// is taken before the first tile changes). Any other exception is logged and
/// passed on.

#include "KXImage.h"
#include "kxcore_export.h"

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QPoint>
#include <QRectF>
#include <QString>
#include <QTextOption>

/// Alpha 0 everywhere (0x00000000).
KXCORE_EXPORT void CreateHideAllMask(KXImageRGBA32i& mask, const KXImageRGBA32i& source);
/// Alpha 255 everywhere (0xFF000000).
KXCORE_EXPORT void CreateRevealAllMask(KXImageRGBA32i& mask, const KXImageRGBA32i& source);
/// Alpha = the source pixel's alpha.
KXCORE_EXPORT void CreateFromTransparancyMask(KXImageRGBA32i& mask, const KXImageRGBA32i& source);
/// Alpha = the source pixel's luminance (16 green + 11 red + 5 blue) >> 5.
KXCORE_EXPORT void CreateFromSourceMask(KXImageRGBA32i& mask, const KXImageRGBA32i& source);

/// Blends src with its top-left pixel at pos (BlendOn with the whole source
/// and the destination's size from pos); what falls outside is cut off.
KXCORE_EXPORT void DrawImage(KXImageRGBA32i& dst, int mode, const QPoint& pos, const KXImageRGBA32i& src,
                             double opacity, bool lockAlpha);
/// The same with a QImage source (the QImage form of BlendOn).
KXCORE_EXPORT void DrawImage(KXImageRGBA32i& dst, int mode, const QPoint& pos, const QImage& src, double opacity,
                             bool lockAlpha);

/// Strokes the path with the pen (no antialiasing, no fill).
KXCORE_EXPORT void DrawPath(KXImageRGBA32i& img, int mode, const QPainterPath& path, const QPen& pen);

/// Fills the path antialiased; with outline, also strokes it with a
/// one-pixel pen of the brush.
KXCORE_EXPORT void FillPath(KXImageRGBA32i& img, int mode, const QPainterPath& path, const QBrush& brush,
                            bool outline);

/// Draws text laid out in rect, rotated by angle degrees (clockwise, as
/// QPainter::rotate) about rect's centre; for angle != 0 the layout box is
/// the bounding box of the rotated rect.
KXCORE_EXPORT void DrawTextW(KXImageRGBA32i& img, int mode, double opacity, const QRectF& rect, const QString& text,
                             const QBrush& brush, const QFont& font, double angle, const QTextOption& option);

/// Channel bits for InvertImage.
namespace KXChannel {
/// One bit per channel, and the usual combinations.
enum : unsigned int {
    Red = 1,     ///< The red channel.
    Green = 2,   ///< The green channel.
    Blue = 4,    ///< The blue channel.
    Alpha = 8,   ///< The alpha channel.
    Colours = 7, ///< Red, green and blue.
    All = 15     ///< All four channels.
};
} // namespace KXChannel

/// Replaces each chosen channel by 255 - value in every pixel of every tile.
KXCORE_EXPORT void InvertImage(KXImageRGBA32i& img, unsigned int channels);

#endif // KXIMAGEPAINTER_H
