// Drawing into tiled images. Paths and text go through the tile walker,
// serially (one QPainter at a time on this thread): it makes each tile
// private, and each tile's memory is wrapped in a QImage that does not own
// it (a tile row is 512 bytes, the layout of QImage::Format_ARGB32) and
// opens a QPainter translated so that image coordinates land on the tile.
// QPainter clips to the tile, so a drawing across tile borders is seamless.
// Thin pens are the exception: Qt's thin-line stroker clips every line to the
// paint device and steps a clipped line from a rounded entry point, so a
// line crossing a tile border could land a pixel off. Thin strokes are
// therefore painted on one temporary picture that covers the whole stroke.

#include "KXImagePainter.h"

#include "KXBlendModes.h"
#include "core/KXLogMacros.h"
#include "core/KXPainterPath.h"
#include "compositing/KXBox.h"
#include "core/KXTileWalker.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace {

using Image = KXImageRGBA32i;
using KXGeometry::Box;

const char kLogFile[] = "src/KXImagePainter";
constexpr int kTile = 128;

template <class Body>
void Guarded(const KXLog::Site& site, Body&& body)
{
    KXLog::GuardStd(site, std::forward<Body>(body));
}

// A mode QPainter knows, or SourceOver.
QPainter::CompositionMode PainterMode(int mode)
{
    return mode >= QPainter::CompositionMode_SourceOver && mode <= QPainter::RasterOp_NotDestination
               ? static_cast<QPainter::CompositionMode>(mode)
               : QPainter::CompositionMode_SourceOver;
}

QPen OutlinePen(const QBrush& brush)
{
    return QPen(brush, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

// For every tile, one after another on this thread: setup(painter), the
// translation onto the tile, then draw(painter).
template <class Setup, class Draw>
void PaintTiles(Image& img, Setup&& setup, Draw&& draw)
{
    KXTileWalker::WriteArea(img, img.Rect(), KXTileWalker::Run::Serial,
                            [&](KXRGBA32i* pixels, const QRect&, unsigned int column, unsigned int row) {
                                QImage view(reinterpret_cast<uchar*>(pixels), kTile, kTile, kTile * 4,
                                            QImage::Format_ARGB32);
                                QPainter painter;
                                if (!painter.begin(&view))
                                    return;
                                setup(painter);
                                painter.translate(-kTile * int(column), -kTile * int(row));
                                draw(painter);
                                painter.end();
                            });
}

// Pens that Qt strokes with its thin-line stroker.
bool IsThin(const QPen& pen)
{
    return pen.style() != Qt::NoPen && (pen.isCosmetic() || pen.widthF() <= 1.0);
}

// Refuses, with a log line, a path QPainter cannot place.
bool Drawable(const QPainterPath& path)
{
    if (KXPainterPath::IsFinite(path))
        return true;
    KX_LOG_REPORT(kLogFile, QStringLiteral("Path coordinate is not a finite number"));
    return false;
}

// The path's control-point box aligned outwards to whole pixels, with a
// margin of two pixels, cut to `bounds`. Computed in double precision: a
// coordinate far beyond the int range is cut like any other.
QRect MarginBox(const QPainterPath& path, const QRect& bounds)
{
    const QRectF box = path.controlPointRect();
    const double left = std::max(std::floor(box.left()) - 2.0, double(bounds.left()));
    const double top = std::max(std::floor(box.top()) - 2.0, double(bounds.top()));
    const double right = std::min(std::ceil(box.right()) + 2.0, double(bounds.right()) + 1.0);
    const double bottom = std::min(std::ceil(box.bottom()) + 2.0, double(bounds.bottom()) + 1.0);
    if (!(left < right && top < bottom))
        return QRect();
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

// Paints on a temporary picture holding the pixels of the path's bounding
// box (with a margin of two pixels, cut to the image): every line is stroked
// whole. The box starts at or before every point of the path, so moving the
// path onto the picture is an exact subtraction; the image edges, where the
// box is cut, are where a whole-image painter clips too.
template <class Setup, class Draw>
void PaintWhole(Image& img, const QPainterPath& path, Setup&& setup, Draw&& draw)
{
    const QRect area = MarginBox(path, img.Rect());
    if (area.isEmpty())
        return;
    QImage picture(area.size(), QImage::Format_ARGB32);
    if (picture.isNull())
        throw KXBadAlloc();
    const unsigned int bytes = static_cast<unsigned int>(area.width()) * 4;
    for (int y = 0; y < area.height(); ++y)
        img.GetLine(static_cast<unsigned int>(area.top() + y), static_cast<unsigned int>(area.left()),
                    picture.scanLine(y), bytes);
    QPainter painter;
    if (!painter.begin(&picture))
        return;
    setup(painter);
    painter.translate(-area.left(), -area.top());
    draw(painter);
    painter.end();
    for (int y = 0; y < area.height(); ++y)
        img.SetLine(static_cast<unsigned int>(area.top() + y), static_cast<unsigned int>(area.left()),
                    picture.constScanLine(y), bytes);
}

// Every tile made private, as the tile-wise painting does.
void DetachAll(Image& img)
{
    KXTileWalker::WriteArea(img, img.Rect(), KXTileWalker::Run::Serial,
                            [](KXRGBA32i*, const QRect&, unsigned int, unsigned int) {});
}

// BlendOn of the whole source placed at pos onto the rectangle at pos of
// the destination's size. pos may lie anywhere in the int range, so the
// rectangles are placed and cut in 64 bits first; BlendOn gets the part
// inside both images, which is the area it would process.
template <class Source>
void BlendAt(Image& dst, int mode, const QPoint& pos, const Source& src, const QRect& sourceBounds, double opacity,
             bool lockAlpha)
{
    const Box area = Box::At(pos, dst.Width(), dst.Height()) & Box::Of(dst.Rect()) &
                     Box::Of(sourceBounds).Moved(pos.x(), pos.y());
    const QRect from = area.IsEmpty() ? QRect() : area.Moved(-int64_t(pos.x()), -int64_t(pos.y())).ToRect();
    BlendOn(src, from, static_cast<unsigned int>(mode), dst, area.ToRect(), opacity, lockAlpha);
}

} // namespace

void DrawImage(Image& dst, int mode, const QPoint& pos, const Image& src, double opacity, bool lockAlpha)
{
    Guarded(KX_SITE(kLogFile), [&] { BlendAt(dst, mode, pos, src, src.Rect(), opacity, lockAlpha); });
}

void DrawImage(Image& dst, int mode, const QPoint& pos, const QImage& src, double opacity, bool lockAlpha)
{
    Guarded(KX_SITE(kLogFile), [&] { BlendAt(dst, mode, pos, src, src.rect(), opacity, lockAlpha); });
}

void DrawPath(Image& img, int mode, const QPainterPath& path, const QPen& pen)
{
    Guarded(KX_SITE(kLogFile), [&] {
        // Qt's dash stroker never ends on a pen width that is not finite.
        if (!std::isfinite(pen.widthF())) {
            KX_LOG_REPORT(kLogFile, QStringLiteral("Pen width is not a finite number"));
            return;
        }
        if (!Drawable(path))
            return;
        const auto setup = [&](QPainter& painter) {
            painter.setCompositionMode(PainterMode(mode));
            painter.setBrush(Qt::NoBrush);
            painter.setPen(pen);
        };
        const auto draw = [&](QPainter& painter) { painter.drawPath(path); };
        if (IsThin(pen)) {
            DetachAll(img);
            PaintWhole(img, path, setup, draw);
        } else {
            PaintTiles(img, setup, draw);
        }
    });
}

void FillPath(Image& img, int mode, const QPainterPath& path, const QBrush& brush, bool outline)
{
    Guarded(KX_SITE(kLogFile), [&] {
        if (!Drawable(path))
            return;
        const auto setup = [&](QPainter& painter) {
            painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
            painter.setCompositionMode(PainterMode(mode));
        };
        PaintTiles(img, setup, [&](QPainter& painter) { painter.fillPath(path, brush); });
        // The one-pixel outline goes over the finished fill, stroked whole.
        if (outline)
            PaintWhole(img, path, setup, [&](QPainter& painter) {
                painter.setPen(OutlinePen(brush));
                painter.drawPath(path);
            });
    });
}

void DrawTextW(Image& img, int mode, double opacity, const QRectF& rect, const QString& text, const QBrush& brush,
               const QFont& font, double angle, const QTextOption& option)
{
    Guarded(KX_SITE(kLogFile), [&] {
        const QPointF centre(rect.x() + rect.width() * 0.5, rect.y() + rect.height() * 0.5);
        QRectF layout = rect;
        if (angle != 0.0) {
            QTransform turn;
            turn.translate(centre.x(), centre.y());
            turn.rotate(angle, Qt::ZAxis);
            turn.translate(-centre.x(), -centre.y());
            layout = turn.mapRect(rect);
        }
        PaintTiles(
            img,
            [&](QPainter& painter) {
                painter.setFont(font);
                painter.setOpacity(opacity);
                painter.setPen(OutlinePen(brush));
                painter.setCompositionMode(PainterMode(mode));
            },
            [&](QPainter& painter) {
                painter.translate(centre);
                painter.rotate(angle);
                painter.translate(-centre);
                painter.drawText(layout, text, option);
            });
    });
}

void InvertImage(Image& img, unsigned int channels)
{
    Guarded(KX_SITE(kLogFile), [&] {
        const uint32_t flip = ((channels & KXChannel::Red) ? 0x00FF0000u : 0u) |
                              ((channels & KXChannel::Green) ? 0x0000FF00u : 0u) |
                              ((channels & KXChannel::Blue) ? 0x000000FFu : 0u) |
                              ((channels & KXChannel::Alpha) ? 0xFF000000u : 0u);
        // Every pixel of every tile, margins included; a shared tile's copy
        // is written from the old pixels in one pass.
        KXTileWalker::Write(img, KXTileWalker::Grid(img), KXTileWalker::Run::Serial,
                            [flip](KXRGBA32i* out, const KXRGBA32i* in, unsigned int, unsigned int) {
                                for (unsigned int i = 0; i < Image::kTilePixels; ++i)
                                    out[i].value = in[i].value ^ flip;
                            });
    });
}
