// Text outlines and their tile-by-tile drawing.

#include "KXTextHelper.h"
#include "text/KXTextOutline.h"
#include "KXTestSupport.h"
#include "VQTileManager64.h"
#include "core/KXTileFaultInjection.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>
#include <QTransform>

#include <climits>
#include <cmath>
#include <limits>

namespace {

QFont Font(const char* family, int pixels)
{
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixels);
    return font;
}

// Pixel-for-pixel equality of a tiled image with a QImage.
::testing::AssertionResult SamePixels(const KXImageRGBA32i& image, const QImage& reference)
{
    if (int(image.Width()) != reference.width() || int(image.Height()) != reference.height())
        return ::testing::AssertionFailure() << "size " << image.Width() << "x" << image.Height() << " vs "
                                             << reference.width() << "x" << reference.height();
    std::vector<uint32_t> line(image.Width());
    for (int y = 0; y < reference.height(); ++y) {
        image.GetLine(unsigned(y), line.data(), unsigned(line.size() * 4));
        const auto* expected = reinterpret_cast<const uint32_t*>(reference.constScanLine(y));
        for (int x = 0; x < reference.width(); ++x)
            if (line[size_t(x)] != expected[x])
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << std::hex << ": " << line[size_t(x)]
                                                     << " vs " << expected[x];
    }
    return ::testing::AssertionSuccess();
}

// Tile by tile equals QPainter on one picture, for plain, deformed and
// transformed text, aliased and antialiased; the texts span several tiles.
TEST(KXTextHelper, TileByTileDrawingEqualsOnePicture)
{
    struct Case {
        int mode, style;
        double bend, hDistortion, vDistortion, angle;
    };
    for (const Case& c : {Case{1, 0, 0, 0, 0, 0}, Case{2, 0, 0, 0, 0, 0}, Case{2, 1, 60, 25, -15, 0},
                          Case{1, 1, -80, 0, 30, 0}, Case{2, 1, 40, 10, 0, 23}, Case{1, 0, 0, 0, 0, -37}}) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " style " << c.style << " angle " << c.angle);
        KXTextHelper helper(3.0f);
        helper.SetText(QStringLiteral("Tiles & Seams ywq"));
        helper.SetFont(Font("DejaVu Sans", 90));
        helper.SetColor(QColor(200, 30, 90, 230));
        helper.SetRenderMode(c.mode);
        helper.SetStyle(c.style);
        helper.SetBend(c.bend);
        helper.SetHDistortion(c.hDistortion);
        helper.SetVDistortion(c.vDistortion);
        QMatrix4x4 matrix;
        matrix.rotate(float(c.angle), 0, 0, 1);
        helper.SetTransform(matrix);

        QPainterPath path;
        QRectF rect, mapped;
        QPointF pathOffset, imageOffset;
        helper.CreatePathByTextWithDeformationWithRect(path, rect, mapped, pathOffset);
        const KXImageRGBA32i image = helper.CreateImageByTextWithDeformation(imageOffset);
        ASSERT_GT(image.TileColumns(), 3u);

        const QRect frame = path.boundingRect().toRect();
        QImage reference(frame.size(), QImage::Format_ARGB32);
        reference.fill(0);
        QPainter painter(&reference);
        for (auto hint : {QPainter::Antialiasing, QPainter::TextAntialiasing, QPainter::SmoothPixmapTransform,
                          static_cast<QPainter::RenderHint>(0x08)})
            painter.setRenderHint(hint, c.mode == 2);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.translate(-frame.topLeft());
        painter.setPen(QPen(helper.GetColor(), 1.0));
        painter.setBrush(helper.GetColor());
        painter.drawPath(path);
        painter.end();
        EXPECT_TRUE(SamePixels(image, reference));
        EXPECT_EQ(imageOffset, pathOffset + frame.topLeft());
    }
}

// Monospaced glyphs 90 pixels wide. The selection of character 1 is the
// rectangle x = 90 ... 180 of the text's height: a 90-pixel image at offset
// (90, 0). "l      l" puts ink in tile column 0 (x < 60) and from x = 600
// on: columns 1 to 3 are never written and share one blank block.
TEST(KXTextHelper, SelectionAndInkFreeTiles)
{
    KXTextHelper helper;
    helper.SetText(QStringLiteral("abcdeg"));
    helper.SetFont(Font("DejaVu Sans Mono", 150));
    helper.SetColor(Qt::blue);
    helper.SetRenderMode(1);
    ASSERT_EQ(QFontMetrics(helper.GetFont()).horizontalAdvance(QStringLiteral("a")), 90);

    QPointF offset;
    const KXImageRGBA32i selection = helper.CreateImageByTextWithSelectionAndDeformation(offset, 1, 1);
    EXPECT_EQ(offset, QPointF(90, 0));
    ASSERT_EQ(selection.Width(), 90u);
    const int y = int(selection.Height()) / 2;
    EXPECT_EQ(selection.GetColor(0, y).value, 0xFF0000FFu);
    EXPECT_EQ(selection.GetColor(89, y).value, 0xFF0000FFu);
    QPointF none;
    EXPECT_EQ(helper.CreateImageByTextWithSelectionAndDeformation(none, 3, 0).Width(), 0u);

    helper.SetText(QStringLiteral("l      l"));
    const KXImageRGBA32i text = helper.CreateImageByText(offset);
    ASSERT_EQ(text.TileColumns(), 6u);
    ASSERT_EQ(text.TileRows(), 1u);
    EXPECT_EQ(text.Tile(0, 0)->constData()->ref.loadRelaxed(), 1);
    for (unsigned int column = 1; column <= 3; ++column)
        EXPECT_EQ(text.Tile(column, 0)->constData()->ref.loadRelaxed(), 3) << column;
}

// Bend and distortion worked by hand. Bend 100 over halfLength 50 and
// halfExtent 10: y -= sin((x - 50) * pi / 50) * 10, so x = 75 rises to
// -10, x = 25 sinks to 10, and points mirrored about x = 50 move oppositely.
// Distortion about (0, 0) with halfWidth 10, h = 0.5: (10, 4) goes to
// y = 4 + 0.5 * 10 * 4 / 10 = 6 and (-10, 4) to 2; with v = 0.25 and
// halfHeight 5, x = 10 + 0.25 * 10 * 4 / 5 = 12.
TEST(KXTextOutline, BendAndDistortionByHand)
{
    QPainterPath line;
    line.moveTo(0, 0);
    for (int x = 5; x <= 100; x += 5)
        line.lineTo(x, 0);
    KXTextOutline::Bend(line, false, QPointF(50, 0), 50.0f, 10.0, 100.0);
    EXPECT_NEAR(line.elementAt(15).y, -10.0, 1e-12); // x = 75
    EXPECT_NEAR(line.elementAt(5).y, 10.0, 1e-12);   // x = 25
    for (int i = 0; i <= 10; ++i)
        EXPECT_DOUBLE_EQ(line.elementAt(10 + i).y, -line.elementAt(10 - i).y);

    QPainterPath points;
    points.moveTo(10, 4);
    points.lineTo(-10, 4);
    points.lineTo(1e-17, 3);
    QPainterPath both = points;
    KXTextOutline::Distort(points, KXTextOutline::kVertical, QPointF(0, 0), 10.0f, 5.0f, 0.5f, 0.25f);
    EXPECT_DOUBLE_EQ(points.elementAt(0).y, 6.0);
    EXPECT_DOUBLE_EQ(points.elementAt(0).x, 10.0);
    EXPECT_DOUBLE_EQ(points.elementAt(1).y, 2.0);
    KXTextOutline::Distort(both, KXTextOutline::kBoth, QPointF(0, 0), 1e-20f, 5.0f, 0.5f, 0.25f);
    EXPECT_DOUBLE_EQ(both.elementAt(0).y, 4.0); // half width below epsilon: y kept
    EXPECT_DOUBLE_EQ(both.elementAt(0).x, 12.0);
}

// With no bend and no distortion the deformed outline is the plain outline
// with extra points on its edges: every plain vertex in order, no edge as
// long as twice the maximum segment length (the last piece of a cut edge takes the
// rest). With style 0 the deformation
// settings are ignored.
TEST(KXTextHelper, UndeformedOutlineIsSubdividedPlainOutline)
{
    KXTextHelper helper(2.5f);
    helper.SetText(QStringLiteral("Hello"));
    helper.SetFont(Font("DejaVu Sans", 40));
    QRectF rect, mapped;
    QPointF offset;
    const QPainterPath plain = helper.CreatePathByTextWithRect(rect, mapped, offset);
    helper.SetStyle(1);
    QPainterPath heavy;
    helper.CreatePathByTextWithDeformationWithRect(heavy, rect, mapped, offset);
    ASSERT_GT(heavy.elementCount(), plain.elementCount());
    int matched = 0;
    for (int i = 0; i < heavy.elementCount(); ++i) {
        const QPainterPath::Element e = heavy.elementAt(i);
        if (i > 0 && !e.isMoveTo()) {
            const QPainterPath::Element p = heavy.elementAt(i - 1);
            EXPECT_LT(std::hypot(e.x - p.x, e.y - p.y), 5.0);
        }
        if (matched < plain.elementCount() && QPointF(e) == QPointF(plain.elementAt(matched)))
            ++matched;
    }
    EXPECT_EQ(matched, plain.elementCount());

    helper.SetStyle(0);
    helper.SetBend(70);
    QPainterPath same;
    helper.CreatePathByTextWithDeformationWithRect(same, rect, mapped, offset);
    EXPECT_EQ(same, plain);
}

// Hit test on monospaced 12-pixel glyphs at origin (100, 50): boundaries at
// x = 100, 112, 124, 136, 148 on y = 50. (118, 50) is 6 from both 112 and
// 124: the first wins. The caret at character 2 stands at x = 124.
TEST(KXTextHelper, HitTestAndCaretByHand)
{
    KXTextHelper helper;
    helper.SetFont(Font("DejaVu Sans Mono", 20));
    EXPECT_EQ(helper.FindSelectedChar(QPoint(100, 50), QPoint(100, 50)), -1);
    helper.SetText(QStringLiteral("abcd"));
    struct Hit {
        QPoint point;
        int index;
    };
    for (const Hit& hit : {Hit{{100, 50}, 0}, Hit{{117, 50}, 1}, Hit{{118, 50}, 1}, Hit{{119, 50}, 2},
                           Hit{{500, 50}, 4}, Hit{{90, 80}, 0}, Hit{{137, 10}, 3}})
        EXPECT_EQ(helper.FindSelectedChar(QPoint(100, 50), hit.point), hit.index) << hit.point.x();

    const QPainterPath caret = helper.GetVerticalAndUnderLine(QPoint(100, 50), 2, 2);
    ASSERT_EQ(caret.elementCount(), 5); // caret, then the under line at 124, 136, 148
    EXPECT_EQ(caret.elementAt(0).x, 124.0);
    EXPECT_EQ(caret.elementAt(1).x, 124.0);
    EXPECT_LT(caret.elementAt(0).y, caret.elementAt(1).y);
    EXPECT_EQ(caret.elementAt(4).x, 148.0);

    // The same text again after a font change rebuilds the outline.
    QRectF before, after, mapped;
    QPointF offset;
    helper.CreatePathByTextWithRect(before, mapped, offset);
    helper.SetFont(Font("DejaVu Sans Mono", 40));
    helper.SetText(QStringLiteral("abcd"));
    helper.CreatePathByTextWithRect(after, mapped, offset);
    EXPECT_GT(after.width(), 1.5 * before.width());
}

// Settings that cannot give a drawable outline are logged: a maximum
// segment length of 0 (no subdivision) and a transform that is not finite
// (an empty image, no tile drawn).
TEST(KXTextHelper, RefusesUnusableSettingsWithALogLine)
{
    KXTest::LogCapture log;
    KXTextHelper helper(0.0f);
    helper.SetText(QStringLiteral("x"));
    helper.SetFont(Font("DejaVu Sans", 30));
    QMatrix4x4 broken;
    broken.scale(std::numeric_limits<float>::quiet_NaN());
    helper.SetTransform(broken);
    QPointF offset;
    EXPECT_EQ(helper.CreateImageByText(offset).Width(), 0u);
    QStringList messages = log.Messages();
    messages.replaceInStrings(QRegularExpression(QStringLiteral("^Line=\\d+, ")), QString());
    EXPECT_EQ(messages, QStringList({QStringLiteral("file=\"src/KXTextHelper\". Maximum segment length 0 is not above "
                                                    "0: outlines are not subdivided"),
                                     QStringLiteral("file=\"src/KXTextHelper\". Text outline coordinate is not a "
                                                    "usable number")}));
}

// A shift then a quarter turn: (x, y) -> (-(y + 4), x + 3); the mapped box
// of a 5 x 3 image is (-7, 3) 3 x 5, so pixel (X, Y) of the result comes
// from (x, y) = (Y, 2 - X), sampled at the pixel's centre (no blending).
TEST(KXTextHelper, TransformedImageTurnsIntoItsMappedBox)
{
    KXImageRGBA32i source(5, 3);
    for (unsigned int y = 0; y < 3; ++y)
        for (unsigned int x = 0; x < 5; ++x)
            source.SetColor(int(x), int(y), KXRGBA32i(0xFF000000u | x << 16 | y << 8 | (x * 7 + y * 3)));
    const KXImageRGBA32i turned =
        KXTextOutline::Transformed(source, QTransform::fromTranslate(3, 4) * QTransform().rotate(90));
    ASSERT_EQ(turned.Width(), 3u);
    ASSERT_EQ(turned.Height(), 5u);
    for (unsigned int y = 0; y < 5; ++y)
        for (unsigned int x = 0; x < 3; ++x)
            EXPECT_EQ(turned.GetColor(int(x), int(y)).value, 0xFF000000u | y << 16 | (2 - x) << 8 | (y * 7 + (2 - x) * 3))
                << x << "," << y;
}

// The pen's scratch picture is cut to what a tile's outline reaches: a
// straight edge 30,000 pixels long (the margin alone would ask for a
// 60,000-pixel square) draws, tile by tile, as QPainter draws it on one
// picture (Qt's rasteriser stops at 32,767 pixels).
TEST(KXTextOutline, LongStraightEdgesDrawAsOnOnePicture)
{
    QPainterPath path;
    path.addRect(QRectF(2.5, 3.25, 30000, 4.5));
    path.moveTo(100, 20);
    path.lineTo(29000.5, 14.75);
    path.lineTo(15000, 27);
    path.closeSubpath();
    const QRect frame(0, 0, 30010, 30);
    for (bool smooth : {false, true}) {
        SCOPED_TRACE(smooth);
        KXTextOutline::Paint paint{QColor(30, 120, 250, 200), {}};
        for (auto hint : {QPainter::Antialiasing, QPainter::TextAntialiasing})
            paint.hints[hint] = smooth;
        const KXImageRGBA32i image = KXTextOutline::Render(path, frame, paint);

        QImage reference(frame.size(), QImage::Format_ARGB32);
        reference.fill(0);
        QPainter painter(&reference);
        painter.setRenderHint(QPainter::Antialiasing, smooth);
        painter.setRenderHint(QPainter::TextAntialiasing, smooth);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setPen(QPen(paint.colour, 1.0));
        painter.setBrush(paint.colour);
        painter.drawPath(path);
        painter.end();
        EXPECT_TRUE(SamePixels(image, reference));
    }
}

// The caret and hit-test boundaries are the advances of the text laid out
// once: where no kerning pair straddles a boundary they equal the width of
// the text up to it measured on its own; over a long text they equal the
// positions of a one-line layout (the helper measures it in pieces).
TEST(KXTextHelper, BoundariesAreTheLaidOutAdvances)
{
    KXTextHelper helper;
    const QFont font = Font("DejaVu Sans", 37);
    helper.SetFont(font);
    const QString shortText = QStringLiteral("Hello, world");
    helper.SetText(shortText);
    QPainterPath marks = helper.GetCharPath(QPoint(0, 0));
    ASSERT_EQ(marks.elementCount(), shortText.size() + 1);
    const QFontMetrics metrics(font);
    for (int k = 0; k <= shortText.size(); ++k)
        EXPECT_EQ(marks.elementAt(k).x, metrics.horizontalAdvance(shortText.left(k))) << k;

    QString longText;
    while (longText.size() < 700)
        longText += QStringLiteral("AVAT Wa. fi ffi, To ");
    helper.SetText(longText);
    marks = helper.GetCharPath(QPoint(0, 0));
    QTextLayout layout(longText, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e9);
    layout.endLayout();
    ASSERT_EQ(marks.elementCount(), longText.size() + 1);
    for (int k = 0; k <= longText.size(); ++k)
        ASSERT_EQ(marks.elementAt(k).x, qRound(line.cursorToX(k))) << k;
}

// An under line from `start` over `count` characters stops at the text's
// end, also when start + count passes INT_MAX.
TEST(KXTextHelper, UnderLineCountUpToIntMax)
{
    KXTextHelper helper;
    helper.SetFont(Font("DejaVu Sans Mono", 20));
    helper.SetText(QStringLiteral("abcd"));
    const QPainterPath caret = helper.GetVerticalAndUnderLine(QPoint(100, 50), 1, INT_MAX);
    ASSERT_EQ(caret.elementCount(), 6); // the caret, then the under line from 1 to 4
    EXPECT_EQ(caret.elementAt(2).x, 112.0);
    EXPECT_EQ(caret.elementAt(5).x, 148.0);
    EXPECT_EQ(helper.GetVerticalAndUnderLine(QPoint(100, 50), INT_MAX, INT_MAX).elementCount(), 2);
}

// Tile blocks running out while the text is drawn reach the caller as the
// manager's KXBadAlloc, not as a text without ink.
TEST(KXTextHelper, TileExhaustionReachesTheCaller)
{
    KXTextHelper helper;
    helper.SetFont(Font("DejaVu Sans", 60));
    helper.SetText(QStringLiteral("ink"));
    helper.SetColor(Qt::black);
    QPointF offset;
    int failures = 0;
    for (long long n = 0;; ++n) {
        KXTileFaultInjection::FailRequest(n);
        bool thrown = false;
        try {
            helper.CreateImageByText(offset);
        } catch (const KXBadAlloc&) {
            thrown = true;
        }
        const bool fired = KXTileFaultInjection::Fired();
        KXTileFaultInjection::Disarm();
        if (!fired)
            break;
        EXPECT_TRUE(thrown) << "request " << n;
        ++failures;
    }
    EXPECT_GT(failures, 0);
}

} // namespace
