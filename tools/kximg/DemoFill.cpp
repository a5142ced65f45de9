// Demo operations of the region tools: the paint bucket at growing
// tolerances and on a transparent seed, the colour-range fill, and a fill
// through a one-pixel maze that crosses many tile borders.

#include "DemoRegistry.h"
#include "Gallery.h"

#include "KXFloodFill.h"
#include "KXImageConversion.h"

#include <QPainter>

namespace kximg {

namespace {

// The sample with `bounds` outlined in a dashed black and white frame.
QImage Outlined(const KXImageRGBA32i& image, const QRect& bounds)
{
    QImage picture = ConvertImage<KXImageRGBA32i, QImage>(image);
    QPainter painter(&picture);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawRect(bounds);
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(bounds);
    return picture;
}

// The seed as a point in the sample, scaled to its size (the built-in
// sample is 1024 x 768).
QPoint At(const DemoInput& input, int x, int y)
{
    return QPoint(x * input.sample.width() / 1024, y * input.sample.height() / 768);
}

DemoResult Bucket(const DemoInput& input)
{
    const struct {
        const char* label;
        QPoint seed;
        uint32_t tolerance;
    } fills[] = {
        {"exact, colour field", At(input, 150, 200), 0},
        {"tolerance 24, colour field", At(input, 150, 200), 0x18181818},
        {"tolerance 64, colour field", At(input, 150, 200), 0x40404040},
        {"tolerance 8, white ground", At(input, 600, 440), 0x08080808},
        {"transparent seed", At(input, 1010, 10), 0x01000000},
        {"tolerance 40 in red only", At(input, 150, 200), 0x00280000},
    };
    QList<GridCell> cells;
    for (const auto& f : fills) {
        KXImageRGBA32i image(input.working);
        QRect bounds;
        KXFloodFillHelper::FloodFill(image, f.seed, f.tolerance, 0xFFFF00C8, &bounds);
        cells << GridCell{QStringLiteral("%1 at %2,%3").arg(QLatin1String(f.label)).arg(f.seed.x()).arg(f.seed.y()),
                          Outlined(image, bounds)};
    }
    return {LabelledGrid(cells, 3, QSize(340, 255)), QString()};
}

DemoResult Range(const DemoInput& input)
{
    KXImageRGBA32i result;
    QRect bounds;
    KXFloodFillHelper::ColorRangeFill(input.working, result, At(input, 150, 200), 0x30303030, 0xFFFF00C8, &bounds);
    return {Outlined(result, bounds), QString()};
}

// Nested one-pixel walls, each with a one-pixel door on alternating sides
// up to a radius of 250 and closed beyond: the fill winds out through the
// doors across many tiles and stops at the first closed wall.
DemoResult Maze(const DemoInput&)
{
    QImage maze(1024, 768, QImage::Format_ARGB32);
    maze.fill(0xFFFFFFFF);
    const QRgb wall = qRgb(30, 30, 60);
    for (int k = 0, r = 2; r < 380; ++k, r += 4) {
        const int left = 512 - r * 4 / 3, right = 512 + r * 4 / 3, top = 384 - r, bottom = 384 + r;
        for (int x = left; x <= right; ++x)
            maze.setPixel(x, top, wall), maze.setPixel(x, bottom, wall);
        for (int y = top; y <= bottom; ++y)
            maze.setPixel(left, y, wall), maze.setPixel(right, y, wall);
        if (r <= 250) // the door into the next ring, on alternating sides
            maze.setPixel(k % 2 ? left : right, 384, qRgb(255, 255, 255));
    }
    KXImageRGBA32i image = ConvertImage<QImage, KXImageRGBA32i>(maze);
    QRect bounds;
    KXFloodFillHelper::FloodFill(image, QPoint(512, 384), 0xFFE04020, &bounds);
    return {Outlined(image, bounds), QStringLiteral("filled from the centre; bounds %1,%2 to %3,%4")
                                         .arg(bounds.left())
                                         .arg(bounds.top())
                                         .arg(bounds.right())
                                         .arg(bounds.bottom())};
}

} // namespace

void AddFillDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Region tools"));
    registry.Add(QStringLiteral("fill-bucket"),
                 QStringLiteral("The paint bucket (magenta) at growing tolerances, on a transparent seed and on "
                                "one channel; the frame is the rectangle reported."),
                 Bucket);
    registry.Add(QStringLiteral("fill-range"),
                 QStringLiteral("Colour-range fill, tolerance 48: every matching pixel magenta, the rest cleared."),
                 Range);
    registry.Add(QStringLiteral("fill-maze"),
                 QStringLiteral("The bucket from the centre of nested walls with one-pixel doors; it stops at the "
                                "first wall without one."), Maze);
}

} // namespace kximg
