// Text outline geometry and tile-by-tile drawing.
//
// Drawing: the fill goes straight into each tile's memory (a tile row is
// 512 bytes, the layout of QImage::Format_ARGB32), which scan-converts
// exactly as one large picture would. The one-pixel pen is different: Qt
// strokes it with its thin-line stroker, which cuts every line at the edge
// of the picture it paints on and steps the cut line from a rounded entry
// point, so a line crossing a tile border could land a pixel off. The pen
// is therefore drawn on a scratch picture that holds a group of tiles with
// a margin wider than the longest segment of the outline: a line cut at the
// scratch picture's edge cannot reach the group, and every line that does
// reach it is stepped whole, exactly as on one picture. Both need the
// outline's coordinates to move by whole pixels exactly (see OnGrid): the
// outline is moved onto the frame once, and each tile or group then only
// shifts it by a whole number of pixels.

#include "text/KXTextOutline.h"

#include "KXTransformImage.h"
#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"

#include <QImage>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace KXTextOutline {

namespace {

constexpr int kTile = int(KXImageRGBA32i::kTileWidth); // square tiles
constexpr float kEpsilon = 2.220446049250313e-16f;

// The widest a single segment of the path reaches along x or y (a curve is
// inside the box of its control points). A horizontal or vertical line is
// left out: cut anywhere, it steps along the same row or column of pixels
// with the same coverage, so it needs no margin.
double LongestSegment(const QPainterPath& path)
{
    double longest = 0;
    QPointF last;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            last = e;
            continue;
        }
        double left = std::min(last.x(), e.x), right = std::max(last.x(), e.x);
        double top = std::min(last.y(), e.y), bottom = std::max(last.y(), e.y);
        QPointF end = e;
        if (e.isCurveTo()) {
            for (int j = 1; j <= 2 && i + j < path.elementCount(); ++j) {
                const QPainterPath::Element c = path.elementAt(i + j);
                left = std::min(left, c.x), right = std::max(right, c.x);
                top = std::min(top, c.y), bottom = std::max(bottom, c.y);
                end = c;
            }
            i += 2;
        }
        if (e.isCurveTo() || (left != right && top != bottom))
            longest = std::max({longest, right - left, bottom - top});
        last = end;
    }
    return longest;
}

// The pixels a drawing of `path` can reach: the control-point box widened
// to whole pixels with a margin of two for the pen and antialiasing, cut to
// the image.
QRect Reach(const QPainterPath& path, const QSize& image)
{
    const QRectF box = path.controlPointRect();
    const double left = std::max(std::floor(box.left()) - 2.0, 0.0);
    const double top = std::max(std::floor(box.top()) - 2.0, 0.0);
    const double right = std::min(std::ceil(box.right()) + 2.0, double(image.width()));
    const double bottom = std::min(std::ceil(box.bottom()) + 2.0, double(image.height()));
    if (!(left < right && top < bottom))
        return QRect();
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

// One subpath and the pixels it can reach. A closed subpath changes the
// fill only inside its own box and a stroke only near it, so a tile is
// drawn with just the subpaths that reach it, and exactly as with all.
struct Piece {
    QPainterPath path;
    QRect reach;
};

std::vector<Piece> Pieces(const QPainterPath& path, const QSize& image)
{
    std::vector<Piece> pieces;
    QPainterPath current;
    const auto flush = [&] {
        const QRect reach = Reach(current, image);
        if (current.elementCount() > 1 && !reach.isEmpty())
            pieces.push_back(Piece{current, reach});
        current = QPainterPath();
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            flush();
            current.moveTo(e);
        } else if (e.isLineTo()) {
            current.lineTo(e);
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            current.cubicTo(e, path.elementAt(i + 1), path.elementAt(i + 2));
            i += 2;
        }
    }
    flush();
    return pieces;
}

void Prepare(QPainter& painter, const Paint& paint)
{
    for (auto it = paint.hints.cbegin(); it != paint.hints.cend(); ++it)
        painter.setRenderHint(it.key(), it.value());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
}

// Copies a 128 x 128 block of pixels between strided rows.
void CopyBlock(uchar* to, int toStride, const uchar* from, int fromStride)
{
    for (int y = 0; y < kTile; ++y)
        std::memcpy(to + y * toStride, from + y * fromStride, kTile * 4);
}

// The part of the picture the pen is drawn on for a group of tiles: the
// group with a margin wider than the longest segment, cut to what the
// group's outline can reach (a line wholly inside is never cut). In 64
// bits: the margin can be 100,000 pixels and the outline's box far beyond
// the frame.
QRect PenRect(const QRect& group, int margin, const QPainterPath& path)
{
    const QRectF box = path.controlPointRect();
    const qint64 gx0 = group.left(), gy0 = group.top();
    const qint64 gx1 = gx0 + group.width(), gy1 = gy0 + group.height();
    const qint64 left = std::max<qint64>(gx0 - margin, qint64(std::floor(box.left())) - 3);
    const qint64 top = std::max<qint64>(gy0 - margin, qint64(std::floor(box.top())) - 3);
    const qint64 right = std::min<qint64>(gx1 + margin, qint64(std::ceil(box.right())) + 3);
    const qint64 bottom = std::min<qint64>(gy1 + margin, qint64(std::ceil(box.bottom())) + 3);
    // The group itself is always inside (its tiles' pixels go through
    // windows).
    const qint64 x0 = std::min(left, gx0), y0 = std::min(top, gy0);
    const qint64 x1 = std::max(right, gx1), y1 = std::max(bottom, gy1);
    return QRect(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
}

// One buffer for the pen's scratch pictures of every tile, grown to the
// largest asked for; each group paints on a view of its top-left part.
class Scratch {
public:
    // 1 GB of pixels: a pen picture beyond this is an outline no text needs.
    static constexpr qint64 kMaxPixels = qint64(1) << 28;

    QImage& For(const QRect& area)
    {
        if (area.width() > width || area.height() > height) {
            // Grown at least twofold in the direction that needs it: the
            // areas of a row of tiles along a long edge grow a tile at a
            // time.
            const qint64 needW = std::max(area.width(), width), needH = std::max(area.height(), height);
            qint64 w = area.width() > width ? std::max<qint64>(needW, 2 * qint64(width)) : needW;
            qint64 h = area.height() > height ? std::max<qint64>(needH, 2 * qint64(height)) : needH;
            if (w * h > kMaxPixels)
                w = needW, h = needH;
            // Refused as memory that cannot be had rather than left undrawn.
            if (w * h > kMaxPixels)
                throw std::bad_alloc();
            // Left uninitialised: what lies outside a tile's window never
            // reaches it, and the tile's pixels are copied in before the pen
            // is drawn. A buffer this large comes from fresh pages, so only
            // the pages the pen touches are ever faulted in.
            buffer.reset();
            buffer.reset(new quint32[size_t(w * h)]);
            width = int(w), height = int(h);
        }
        view = QImage(reinterpret_cast<uchar*>(buffer.get()), area.width(), area.height(),
                      qsizetype(width) * 4, QImage::Format_ARGB32);
        origin = area.topLeft();
        return view;
    }
    QPoint Origin() const { return origin; }
    // The tile's top-left pixel in the current view.
    uchar* Window(const QRect& tile)
    {
        const qsizetype x = tile.left() - origin.x(), y = tile.top() - origin.y();
        return view.bits() + y * view.bytesPerLine() + x * 4;
    }

private:
    std::unique_ptr<quint32[]> buffer;
    int width = 0, height = 0;
    QImage view;
    QPoint origin;
};

// Draws the pieces into an image a group of tiles at a time: each tile's
// fill straight into its memory, then the pen once over the whole group on
// one scratch picture holding the group with the margin around it, whose
// windows go back into the tiles. What an earlier group left in the scratch
// picture outside the current windows never reaches them. Tiles that no
// piece reaches are left alone (they stay shared).
class TileGroups {
public:
    TileGroups(KXImageRGBA32i& image, const std::vector<Piece>& pieces, const QRect& area, int margin,
               const Paint& paint, Qt::FillRule rule)
        : image(image), pieces(pieces), area(area), margin(margin), paint(paint), rule(rule), pen(paint.colour, 1.0)
    {
    }

    // `group` is aligned to the tiles.
    void Draw(const QRect& group)
    {
        const QRect rect = group & area;
        const QPainterPath path = Reaching(rect);
        if (path.isEmpty())
            return;
        const QRect tiles = KXTileWalker::TilesOf<KXImageRGBA32i>(rect);
        const QRect penRect =
            PenRect(QRect(kTile * tiles.left(), kTile * tiles.top(), kTile * tiles.width(), kTile * tiles.height()),
                    margin, path);
        if (qint64(penRect.width()) * penRect.height() > Scratch::kMaxPixels &&
            (group.width() > kTile || group.height() > kTile)) {
            // Halved at a tile border until the pen picture fits (a single
            // tile's picture that does not fit is refused by the scratch).
            const bool across = group.width() >= group.height();
            const int count = (across ? group.width() : group.height()) / kTile;
            const int first = kTile * (count / 2);
            if (across) {
                Draw(QRect(group.left(), group.top(), first, group.height()));
                Draw(QRect(group.left() + first, group.top(), group.width() - first, group.height()));
            } else {
                Draw(QRect(group.left(), group.top(), group.width(), first));
                Draw(QRect(group.left(), group.top() + first, group.width(), group.height() - first));
            }
            return;
        }

        QImage& picture = scratch.For(penRect);
        const int stride = picture.bytesPerLine();
        std::vector<QRect> drawn;
        KXTileWalker::ForEach(tiles, KXTileWalker::Run::Serial,
                              [&](unsigned int column, unsigned int row) {
                                  const QRect tile(kTile * int(column), kTile * int(row), kTile, kTile);
                                  const QPainterPath fill = Reaching(tile);
                                  if (fill.isEmpty())
                                      return;
                                  drawn.push_back(tile);
                                  KXTileWalker::WriteArea(image, tile, KXTileWalker::Run::Serial,
                                                          [&](KXRGBA32i* pixels, const QRect&, unsigned int, unsigned int) {
                                                              uchar* const bytes = reinterpret_cast<uchar*>(pixels);
                                                              Fill(bytes, tile, fill);
                                                              CopyBlock(scratch.Window(tile), stride, bytes, kTile * 4);
                                                          });
                              });

        QPainter painter;
        if (!painter.begin(&picture))
            return;
        Prepare(painter, paint);
        painter.translate(-scratch.Origin());
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        painter.end();
        for (const QRect& tile : drawn)
            KXTileWalker::WriteArea(image, tile, KXTileWalker::Run::Serial,
                                    [&](KXRGBA32i* pixels, const QRect&, unsigned int, unsigned int) {
                                        CopyBlock(reinterpret_cast<uchar*>(pixels), kTile * 4, scratch.Window(tile), stride);
                                    });
    }

private:
    // The pieces that reach `rect`, as one path.
    QPainterPath Reaching(const QRect& rect) const
    {
        QPainterPath path;
        path.setFillRule(rule);
        for (const Piece& piece : pieces)
            if (piece.reach.intersects(rect))
                path.addPath(piece.path);
        return path;
    }

    // The fill of one tile, straight into its memory.
    void Fill(uchar* bytes, const QRect& tile, const QPainterPath& path) const
    {
        QImage view(bytes, kTile, kTile, kTile * 4, QImage::Format_ARGB32);
        QPainter painter;
        if (!painter.begin(&view))
            return;
        Prepare(painter, paint);
        painter.translate(-tile.left(), -tile.top());
        painter.setPen(Qt::NoPen);
        painter.setBrush(paint.colour);
        painter.drawPath(path);
        painter.end();
    }

    KXImageRGBA32i& image;
    const std::vector<Piece>& pieces;
    const QRect area;
    const int margin;
    const Paint& paint;
    const Qt::FillRule rule;
    const QPen pen;
    Scratch scratch;
};

} // namespace

QPainterPath Subdivide(const QPainterPath& path, float maxLength)
{
    QPainterPath result;
    const double step = maxLength;
    for (const QPolygonF& polygon : path.toSubpathPolygons()) {
        QPolygonF out;
        out.reserve(polygon.size());
        for (int i = 0; i < polygon.size(); ++i) {
            const QPointF from = polygon[i];
            out << from;
            if (i + 1 == polygon.size() || !(step > 0))
                continue;
            const QPointF delta = polygon[i + 1] - from;
            const double length = std::hypot(delta.x(), delta.y());
            if (!(length > step))
                continue;
            const int pieces = int(length / step);
            for (int j = 1; j < pieces; ++j)
                out << from + delta * (j * step / length);
        }
        result.addPolygon(out);
    }
    return result;
}

void Bend(QPainterPath& path, bool vertical, const QPointF& centre, float halfLength, double halfExtent,
          double bend)
{
    const double k = halfLength != 0 ? M_PI / halfLength : 0.0;
    const double amplitude = bend / 100.0 * halfExtent;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (vertical)
            path.setElementPositionAt(i, e.x - std::sin((e.y - centre.y()) * k) * amplitude, e.y);
        else
            path.setElementPositionAt(i, e.x, e.y - std::sin((e.x - centre.x()) * k) * amplitude);
    }
}

void Distort(QPainterPath& path, int flags, const QPointF& centre, float halfWidth, float halfHeight, float h,
             float v)
{
    const bool vertical = (flags & kVertical) && std::fabs(halfWidth) >= kEpsilon;
    const bool horizontal = (flags & kHorizontal) && std::fabs(halfHeight) >= kEpsilon;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const double dx = e.x - centre.x(), dy = e.y - centre.y();
        const double y = vertical ? e.y + h * dx * dy / halfWidth : e.y;
        const double x = horizontal ? e.x + v * dx * dy / halfHeight : e.x;
        path.setElementPositionAt(i, x, y);
    }
}

KXImageRGBA32i Render(const QPainterPath& outline, const QRect& frame, const Paint& paint)
{
    KXImageRGBA32i image(static_cast<unsigned int>(std::max(frame.width(), 0)),
                         static_cast<unsigned int>(std::max(frame.height(), 0)));
    const std::vector<Piece> pieces = Pieces(outline.translated(-frame.topLeft()), frame.size());
    QRect area;
    double longest = 0;
    for (const Piece& piece : pieces) {
        area |= piece.reach;
        longest = std::max(longest, LongestSegment(piece.path));
    }
    if (area.isEmpty())
        return image;

    const int margin = int(std::ceil(std::min(longest, 1e5))) + 3;
    TileGroups groups(image, pieces, area, margin, paint, outline.fillRule());
    // Square groups of tiles at least as wide as the margin: a segment is
    // then stepped in the pen pictures of a few groups, not once for every
    // tile it crosses (a text stretched a million pixels wide has thousands
    // of tiles in a row under segments 100,000 pixels long).
    const qint64 side = qint64(kTile) * std::max(1, (margin + kTile - 1) / kTile);
    const qint64 right = qint64(area.left()) + area.width(), bottom = qint64(area.top()) + area.height();
    for (qint64 y = area.top() / side * side; y < bottom; y += side)
        for (qint64 x = area.left() / side * side; x < right; x += side)
            groups.Draw(QRect(int(x), int(y), int(side), int(side)));
    return image;
}

KXImageRGBA32i Transformed(const KXImageRGBA32i& image, const QTransform& transform)
{
    const QRectF mapped = transform.mapRect(QRectF(0, 0, image.Width(), image.Height()));
    if (!(mapped.width() <= 1e9 && mapped.height() <= 1e9 && std::fabs(mapped.x()) <= 1e9 &&
          std::fabs(mapped.y()) <= 1e9)) {
        KX_LOG_REPORT("src/KXTextHelper", QStringLiteral("Transformed image size is not a usable number"));
        return KXImageRGBA32i();
    }
    const QSize size = QRectF(QPointF(0, 0), mapped.size()).toAlignedRect().size();
    KXImageRGBA32i out(static_cast<unsigned int>(size.width()), static_cast<unsigned int>(size.height()));
    const QTransform moved = transform * QTransform::fromTranslate(-mapped.x(), -mapped.y());
    if (!BilinearTransformImage(image, moved, out, QRect()))
        return KXImageRGBA32i();
    return out;
}

} // namespace KXTextOutline
