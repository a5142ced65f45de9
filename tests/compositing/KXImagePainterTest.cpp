// Drawing into tiled images, compared pixel for pixel with QPainter drawing
// the same thing into one whole QImage.

#include "KXBlendModes.h"
#include "KXImagePainter.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QPainter>

#include <climits>
#include <functional>
#include <limits>
#include <string>

namespace {

constexpr int kW = 300, kH = 270; // 3 x 3 tiles, with margins

// A background with colour and alpha varying across tile borders.
QImage Background()
{
    QImage image(kW, kH, QImage::Format_ARGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            image.setPixel(x, y, qRgba(x & 255, y & 255, (x + y) & 255, (x * 3 + y) % 256));
    return image;
}

KXImageRGBA32i ToImage(const QImage& q)
{
    KXImageRGBA32i image(unsigned(q.width()), unsigned(q.height()));
    for (int y = 0; y < q.height(); ++y)
        image.SetLine(unsigned(y), q.constScanLine(y), unsigned(q.width()) * 4);
    return image;
}

// Number of pixels that differ; the first few are reported.
int Differences(const KXImageRGBA32i& image, const QImage& expected, const std::string& what)
{
    int wrong = 0;
    std::vector<QRgb> row(image.Width());
    for (int y = 0; y < expected.height(); ++y) {
        image.GetLine(unsigned(y), row.data(), image.Width() * 4);
        const QRgb* want = reinterpret_cast<const QRgb*>(expected.constScanLine(y));
        for (int x = 0; x < expected.width(); ++x)
            if (row[x] != want[x] && wrong++ < 3)
                ADD_FAILURE() << what << " at " << x << "," << y << std::hex << ": 0x" << row[x] << " want 0x"
                              << want[x];
    }
    return wrong;
}

// The references: QPainter on one whole QImage.
QImage Reference(const std::function<void(QPainter&)>& paint)
{
    QImage image = Background();
    QPainter painter(&image);
    paint(painter);
    painter.end();
    return image;
}

QPainterPath CrossingPath()
{
    QPainterPath path;
    path.moveTo(10.5, 20.25);
    path.lineTo(290, 250);
    path.cubicTo(QPointF(200, 10), QPointF(60, 260), QPointF(130, 128));
    path.addEllipse(QRectF(100.3, 90.7, 80, 75));
    path.addRect(QRectF(126, 126, 5, 5));
    return path;
}

} // namespace

// Reaches far beyond the int range: drawn where it crosses the image.
QPainterPath FarPath()
{
    QPainterPath path;
    path.moveTo(-3e9, 10.5);
    path.lineTo(290, 250);
    path.lineTo(150.5, 5e9);
    return path;
}

// Wide pens, and thin ones (Qt's thin-line stroker: width 1, and cosmetic 0).
TEST(KXImagePainter, DrawPathIsSeamlessAcrossTiles)
{
    for (int mode : {int(QPainter::CompositionMode_SourceOver), int(QPainter::CompositionMode_Source),
                     int(QPainter::CompositionMode_Multiply), int(QPainter::RasterOp_SourceXorDestination)}) {
        const QPen thin(QColor(10, 200, 60, 220), mode == int(QPainter::CompositionMode_Source) ? 0.0 : 1.0);
        for (const QPen& pen : {QPen(QColor(200, 30, 90, 180), 3.5), thin})
            for (const QPainterPath& path : {CrossingPath(), FarPath()}) {
                KXImageRGBA32i image = ToImage(Background());
                DrawPath(image, mode, path, pen);
                const QImage expected = Reference([&](QPainter& p) {
                    p.setCompositionMode(QPainter::CompositionMode(mode));
                    p.setPen(pen);
                    p.drawPath(path);
                });
                EXPECT_EQ(Differences(image, expected,
                                      "mode " + std::to_string(mode) + " width " + std::to_string(pen.widthF())),
                          0);
            }
    }
}

TEST(KXImagePainter, FillPathIsSeamlessAcrossTiles)
{
    QPainterPath inside;
    inside.addEllipse(QRectF(150.5, 140.25, 60, 50));
    inside.moveTo(140, 135);
    inside.lineTo(250, 150);
    inside.lineTo(170, 250);
    const QBrush brush(QColor(20, 160, 240, 200));
    for (const QPainterPath& path : {CrossingPath(), inside, FarPath()})
        for (bool outline : {false, true}) {
            KXImageRGBA32i image = ToImage(Background());
            FillPath(image, QPainter::CompositionMode_SourceOver, path, brush, outline);
            // The antialiased fill and, with `outline`, its one-pixel outline.
            const QImage expected = Reference([&](QPainter& p) {
                p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
                p.fillPath(path, brush);
                if (outline)
                    p.strokePath(path, QPen(brush, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
            });
            EXPECT_EQ(Differences(image, expected, "outline " + std::to_string(outline)), 0);
        }
}

// What QPainter cannot place is refused with one log line, before any tile
// is touched (a pen width that is not a number hangs Qt's dash stroker).
TEST(KXImagePainter, NonFiniteWidthsAndCoordinatesAreRefused)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    QPainterPath line;
    line.moveTo(10, 10);
    line.lineTo(200, 150);
    QPainterPath notANumber = line, infinite = line;
    notANumber.setElementPositionAt(1, nan, 150);
    infinite.setElementPositionAt(0, 10, -inf);
    const QString width = "Pen width is not a finite number", point = "Path coordinate is not a finite number";
    struct Case {
        std::function<void(KXImageRGBA32i&)> draw;
        QString message;
    } cases[] = {
        {[&](KXImageRGBA32i& i) { DrawPath(i, 0, CrossingPath(), QPen(QBrush(Qt::red), nan, Qt::DashLine)); }, width},
        {[&](KXImageRGBA32i& i) { DrawPath(i, 0, notANumber, QPen(Qt::red)); }, point},
        {[&](KXImageRGBA32i& i) { DrawPath(i, 0, infinite, QPen(QBrush(Qt::red), 3.0)); }, point},
        {[&](KXImageRGBA32i& i) { FillPath(i, 0, infinite, QBrush(Qt::red), true); }, point},
    };
    const KXImageRGBA32i base = ToImage(Background());
    for (const Case& c : cases) {
        KXImageRGBA32i image = base;
        KXTest::LogCapture log;
        c.draw(image);
        ASSERT_EQ(log.Messages().size(), 1);
        EXPECT_TRUE(log.Messages()[0].endsWith("file=\"src/KXImagePainter\". " + c.message)) << log.Messages()[0].toStdString();
        for (unsigned int t = 0; t < image.TileCount(); ++t)
            EXPECT_EQ(image.Tile(t % 3, t / 3)->data(), base.Tile(t % 3, t / 3)->data()) << c.message.toStdString();
    }
}

// Text needs a font: fonts-dejavu-core provides one.
TEST(KXImagePainter, DrawTextAtZeroAndNinetyDegrees)
{
    ASSERT_TRUE(QFontDatabase().families().contains("DejaVu Sans")) << "fonts-dejavu-core is not installed";
    const QFont font("DejaVu Sans", 18);
    const QBrush brush(QColor(250, 240, 20));
    const QRectF rect(50.0, 100.0, 200.0, 40.0);
    const QTextOption option(Qt::AlignCenter);
    const QString text = QString::fromLatin1("Tiles 128");
    // Laid out in rect at 0; rotated about its centre (150, 120) otherwise.
    for (double angle : {0.0, 90.0, 33.0}) {
        KXImageRGBA32i image = ToImage(Background());
        DrawTextW(image, QPainter::CompositionMode_SourceOver, 0.8, rect, text, brush, font, angle, option);
        const QTransform turn = QTransform().translate(150.0, 120.0).rotate(angle).translate(-150.0, -120.0);
        const QRectF layout = angle == 90.0 ? QRectF(130.0, 20.0, 40.0, 200.0) : turn.mapRect(rect);
        const QImage expected = Reference([&](QPainter& p) {
            p.setFont(font);
            p.setOpacity(0.8);
            p.setPen(QPen(brush, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
            p.setTransform(turn);
            p.drawText(layout, text, option);
        });
        EXPECT_NE(expected, Background()) << "the text was drawn";
        EXPECT_EQ(Differences(image, expected, "text at " + std::to_string(angle)), 0);
    }
}

TEST(KXImagePainter, InvertImageChannels)
{
    struct Case {
        unsigned int channels;
        uint32_t expected;
    } cases[] = {
        {8, 0x00336699}, // opaque becomes transparent, colours kept
        {7, 0xFFCC9966}, // colours inverted, alpha kept
        {1, 0xFFCC6699}, {2, 0xFF339999}, {4, 0xFF336666}, {15, 0x00CC9966}, {0, 0xFF336699},
    };
    for (const Case& c : cases) {
        KXImageRGBA32i base(130, 2);
        base.Fill(KXRGBA32i(0xFF336699u));
        KXImageRGBA32i image = base;
        InvertImage(image, c.channels);
        EXPECT_EQ(image.GetColor(129, 1).value, c.expected) << c.channels;
        // The margin (0 after Fill) is inverted like any other pixel.
        EXPECT_EQ(image.ReadTile(1, 0)[127 * 128 + 127].value, c.expected ^ 0xFF336699u) << c.channels;
        EXPECT_EQ(base.GetColor(0, 0).value, 0xFF336699u) << "the shared tile was copied";
    }
}

// Placement and the mode, opacity and lock passed on, worked by hand: mode 3
// copies the colours with alpha (128 * 128) >> 8 = 64; QImage 90 locked keeps d's 0x33.
TEST(KXImagePainter, DrawImagePlacesTheLayerAtPos)
{
    QImage qlayer(150, 140, QImage::Format_ARGB32);
    qlayer.fill(0x80AABBCCu);
    qlayer.setPixel(0, 0, 0x80FFFFFFu); // marks the layer's corner
    const KXImageRGBA32i layer = ToImage(qlayer);
    KXImageRGBA32i base(kW, kH);
    base.Fill(KXRGBA32i(0x33090807u));
    for (const QPoint& pos : {QPoint(0, 0), QPoint(-10, -20), QPoint(200, 190), QPoint(-149, 5)})
        for (bool q : {false, true}) {
            KXImageRGBA32i image = base;
            q ? DrawImage(image, 90, pos, qlayer, 0.5, true) : DrawImage(image, 3, pos, layer, 0.5, false);
            const QRect covered = QRect(pos, QSize(150, 140)) & QRect(0, 0, kW, kH);
            int wrong = 0;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    wrong += image.GetColor(x, y).value != (!covered.contains(x, y) ? 0x33090807u
                                                            : (q ? 0x33000000u : 0x40000000u) |
                                                                  (QPoint(x, y) == pos ? 0xFFFFFFu : 0xAABBCCu));
            EXPECT_EQ(wrong, 0) << pos.x() << "," << pos.y() << " qimage " << q;
        }
    // Entirely outside, also at the ends of the int range (the corner
    // opposite pos must not wrap around): nothing changes, nothing is copied.
    for (const QPoint& pos : {QPoint(kW + 5, 0), QPoint(INT_MAX, INT_MAX), QPoint(INT_MAX - kW / 2, 3),
                              QPoint(5, INT_MAX - 10), QPoint(INT_MIN, INT_MIN), QPoint(INT_MIN + 10, INT_MAX)}) {
        KXImageRGBA32i outside = base;
        DrawImage(outside, 0, pos, qlayer, 1.0, false);
        for (unsigned int t = 0; t < base.TileCount(); ++t)
            EXPECT_EQ(outside.Tile(t % 3, t / 3)->data(), base.Tile(t % 3, t / 3)->data()) << pos.x() << "," << pos.y();
    }
}

// A standard exception inside is logged (by BlendOn, then by the painter)
// and not passed on. The painter takes every block it needs before the first
// tile is painted: a block short, the image keeps all its old tiles and the
// block taken goes back.
TEST(KXImagePainter, FailuresAreLoggedAndSwallowed)
{
    KXImageRGBA32i layer(200, 200);
    layer.Fill(KXRGBA32i(0xFF00FF00u));
    KXImageRGBA32i base(kW, kH);
    base.Fill(KXRGBA32i(0xFF0000FFu));
    KXImageRGBA32i image = base, drawn = base;
    VQTileManager64* tm = VQTileManager64::Instance();
    QList<void*> all = tm->MakeTiles(static_cast<unsigned int>(tm->GetAvailableCount() - 1));
    all.append(tm->MakeTile());
    KXTest::LogCapture log;
    EXPECT_NO_THROW(DrawImage(image, 0, QPoint(0, 0), layer, 1.0, false));
    tm->CleanUpTile(all.takeLast()); // one block, fewer than the tiles to copy
    QPainterPath band; // across the three tiles of the first tile row
    band.addRect(QRectF(10, 10, 280, 20));
    EXPECT_NO_THROW(FillPath(drawn, 0, band, QBrush(Qt::red), false));
    EXPECT_EQ(tm->GetAvailableCount(), 1u) << "the block taken is returned";
    tm->CleanUpTiles(all);
    const QStringList messages = log.Messages();
    ASSERT_EQ(messages.size(), 3);
    EXPECT_TRUE(messages[0].endsWith("file=\"src/KXImage\". Exception content:\"bad allocation\""));
    for (int i : {1, 2})
        EXPECT_TRUE(messages[i].endsWith("file=\"src/KXImagePainter\". Exception content:\"bad allocation\"")) << i;
    EXPECT_EQ(image.GetColor(0, 0).value, 0xFF0000FFu);
    for (unsigned int t = 0; t < base.TileCount(); ++t)
        EXPECT_EQ(drawn.Tile(t % 3, t / 3)->data(), base.Tile(t % 3, t / 3)->data()) << "tile " << t;
}
