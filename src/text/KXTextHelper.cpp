// Text outlines: building, subdividing, bending and tapering them, placing
// them under the user transform, and the editor's helper outlines
// (selection, caret, under line, upper line and hit test).
//
// Placement: a transformed outline is moved so that its box starts at
// (0, 0) (T' = T followed by a translation by minus the mapped box's
// top-left); the offset returned with it is where that (0, 0) lies in the
// untransformed outline's coordinates when the box's centre stays in place:
// c - T'(c). The renderers add the drawn image's own top-left and round to
// whole pixels. Transformed outlines lie on the drawing grid (OnGrid), so
// that they draw tile by tile exactly as on one picture.

#include "KXTextHelper.h"

#include "core/KXLogMacros.h"
#include "core/KXPainterPath.h"
#include "text/KXTextOutline.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPolygonF>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <new>

namespace {

const char kLogFile[] = "src/KXTextHelper";

// Runs `body` under the log guard: a standard exception is logged and gives
// an empty image, except that memory running out (tile blocks, the pen's
// scratch picture) is passed on as it is, never taken for a text without ink.
template <class Body>
KXImageRGBA32i Guarded(Body&& body)
{
    std::exception_ptr exhausted;
    KXImageRGBA32i image = KXLog::GuardStd(
        KX_SITE(kLogFile),
        [&] {
            try {
                return body();
            } catch (const std::bad_alloc&) {
                exhausted = std::current_exception();
                return KXImageRGBA32i();
            }
        },
        KXImageRGBA32i());
    if (exhausted)
        std::rethrow_exception(exhausted);
    return image;
}

// Draws under Guarded; a path that is not finite is refused with a log line.
KXImageRGBA32i Draw(const QPainterPath& path, const QRectF& frame, const KXTextOutline::Paint& paint)
{
    return Guarded([&] {
        if (!KXPainterPath::IsFinite(path) || !std::isfinite(frame.width()) || !std::isfinite(frame.height()) ||
            std::fabs(frame.left()) > 1e9 || std::fabs(frame.top()) > 1e9 || frame.width() > 1e9 ||
            frame.height() > 1e9) {
            KX_LOG_REPORT(kLogFile, QStringLiteral("Text outline coordinate is not a usable number"));
            return KXImageRGBA32i();
        }
        return KXTextOutline::Render(path, frame.toRect(), paint);
    });
}

// Whole pixels, rounding half away from zero like qRound; a coordinate
// beyond the int range (an outline that is then refused) stays as it is.
QPointF Rounded(const QPointF& p)
{
    const auto round = [](double v) { return std::fabs(v) < 2e9 ? double(qRound(v)) : v; };
    return QPointF(round(p.x()), round(p.y()));
}

// The whole-pixel rectangle of a box, or an empty one for a box whose
// coordinates are not finite or lie beyond what Draw accepts (toRect would
// not fit them in an int).
QRect PixelRect(const QRectF& r)
{
    const auto usable = [](double v) { return std::fabs(v) <= 1e9; };
    return usable(r.x()) && usable(r.y()) && usable(r.width()) && usable(r.height()) ? r.toRect() : QRect();
}

} // namespace

KXTextHelper::KXTextHelper(float maxSegmentLength) : maxSegmentLength(maxSegmentLength)
{
    // Fonts need Qt's GUI application; without one Qt fails far from here.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        KX_LOG_FATAL(kLogFile, QStringLiteral("KXTextHelper needs a QGuiApplication (or QApplication): create one "
                                              "before the first text helper (on a machine without a display, run "
                                              "with QT_QPA_PLATFORM=offscreen)."));
    if (!(maxSegmentLength > 0))
        KX_LOG_REPORT(kLogFile, QStringLiteral("Maximum segment length %1 is not above 0: outlines are not "
                                               "subdivided")
                                    .arg(double(maxSegmentLength)));
}

void KXTextHelper::SetText(const QString& value)
{
    text = value;
    textDirty = true;
    heavyDirty = true;
}

void KXTextHelper::SetRenderMode(int mode)
{
    if (mode != 1 && mode != 2)
        return;
    const bool on = mode == 2;
    // 0x08 is Qt's high-quality antialiasing hint, deprecated in Qt 5.15 (it
    // then does nothing) but still part of the set hosts switch.
    const auto highQuality = static_cast<QPainter::RenderHint>(0x08);
    for (QPainter::RenderHint hint : {QPainter::Antialiasing, QPainter::TextAntialiasing,
                                      QPainter::SmoothPixmapTransform, highQuality})
        renderHints[hint] = on;
}

// ---- Outlines ----

void KXTextHelper::CreateTextPath()
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    path.translate(-path.boundingRect().topLeft());
    textPath = path;
    textRect = path.boundingRect();
    textDirty = false;
}

QPainterPath KXTextHelper::PreparePath(const QPainterPath& path) const
{
    return KXTextOutline::Subdivide(path, maxSegmentLength);
}

void KXTextHelper::CreateHeavyTextPath()
{
    heavyPath = PreparePath(textPath);
    heavyRect = heavyPath.boundingRect();
    heavyDirty = false;
}

void KXTextHelper::PrepareOutlines()
{
    if (textDirty)
        CreateTextPath();
    if (heavyDirty)
        CreateHeavyTextPath();
}

KXTextHelper::Deformation KXTextHelper::DeformationOf(const QPainterPath& heavy) const
{
    Deformation d;
    const QRect r = heavy.boundingRect().toRect();
    d.bendCentre = r.center();
    // Inclusive sizes halved with integer division.
    const int along = orientation ? r.height() : r.width();
    const int across = orientation ? r.width() : r.height();
    d.halfLength = float(along / 2);
    d.halfExtent = double(across / 2);
    QPainterPath bent = heavy;
    KXTextOutline::Bend(bent, orientation, d.bendCentre, d.halfLength, d.halfExtent, bend);
    const QRectF b = bent.boundingRect();
    d.distortionCentre = b.center();
    d.halfWidth = float(b.width() / 2);
    d.halfHeight = float(b.height() / 2);
    return d;
}

void KXTextHelper::Deform(QPainterPath& path, const Deformation& d) const
{
    KXTextOutline::Bend(path, orientation, d.bendCentre, d.halfLength, d.halfExtent, bend);
    KXTextOutline::Distort(path, KXTextOutline::kBoth, d.distortionCentre, d.halfWidth, d.halfHeight,
                           float(hDistortion / 100), float(vDistortion / 100));
}

QPainterPath KXTextHelper::DeformedTextPath(QPointF& shift)
{
    PrepareOutlines();
    QPainterPath path = heavyPath;
    Deform(path, DeformationOf(heavyPath));
    const QRectF deformed = path.boundingRect();
    const QPointF difference = textRect.topLeft() - deformed.topLeft();
    shift = -QPointF(std::trunc(difference.x()), std::trunc(difference.y()));
    lastOffset = shift;
    lastDeformedRect = PixelRect(deformed);
    return path;
}

// ---- Transform ----

QPainterPath KXTextHelper::TransformPath(const QPainterPath& path, const QRectF& rect) const
{
    const QTransform t = UserTransform();
    const QRectF mapped = t.mapRect(rect);
    const QTransform moved = t * QTransform::fromTranslate(-mapped.x(), -mapped.y());
    QPainterPath result;
    for (QPolygonF polygon : path.toSubpathPolygons(moved)) {
        for (QPointF& point : polygon)
            point = KXTextOutline::OnGrid(point);
        result.addPolygon(polygon);
    }
    return result;
}

QPainterPath KXTextHelper::TransformPath(const QPainterPath& path, const QRectF& rect, QPointF& offset) const
{
    const QTransform t = UserTransform();
    const QRectF mapped = t.mapRect(rect);
    const QTransform moved = t * QTransform::fromTranslate(-mapped.x(), -mapped.y());
    offset = rect.center() - moved.map(rect.center());
    return TransformPath(path, rect);
}

// An image turned by the user transform into a cleared image of its mapped
// box, resampled bilinearly.
KXImageRGBA32i KXTextHelper::TransformImage(const KXImageRGBA32i& image) const
{
    return Guarded([&] { return KXTextOutline::Transformed(image, UserTransform()); });
}

// ---- Rendering ----

KXImageRGBA32i KXTextHelper::CreateImage(const QPainterPath& path, const QRectF& frame) const
{
    return Draw(path, frame, KXTextOutline::Paint{color, renderHints});
}

KXImageRGBA32i KXTextHelper::TransformAndCreateImage(const QPainterPath& path, const QRectF& rect, QPointF& offset)
{
    const QPainterPath moved = TransformPath(path, rect, offset);
    const QRectF frame = moved.boundingRect();
    offset = Rounded(offset + PixelRect(frame).topLeft());
    return CreateImage(moved, frame);
}

KXImageRGBA32i KXTextHelper::CreateImageByText(QPointF& offset)
{
    PrepareOutlines();
    return TransformAndCreateImage(textPath, textRect, offset);
}

KXImageRGBA32i KXTextHelper::CreateImageByTextWithDeformation(QPointF& offset)
{
    if (style == 0)
        return CreateImageByText(offset);
    QPointF shift;
    const QPainterPath path = DeformedTextPath(shift);
    return TransformAndCreateImage(path, path.boundingRect(), offset);
}

QPainterPath KXTextHelper::CreatePathByTextWithRect(QRectF& rect, QRectF& transformedRect, QPointF& offset)
{
    PrepareOutlines();
    rect = textRect;
    transformedRect = UserTransform().mapRect(textRect);
    const QPainterPath moved = TransformPath(textPath, textRect, offset);
    offset = Rounded(offset);
    return moved;
}

void KXTextHelper::CreatePathByTextWithDeformationWithRect(QPainterPath& path, QRectF& rect, QRectF& transformedRect,
                                                           QPointF& offset)
{
    if (style == 0) {
        path = CreatePathByTextWithRect(rect, transformedRect, offset);
        return;
    }
    QPointF shift;
    const QPainterPath deformed = DeformedTextPath(shift);
    rect = deformed.boundingRect();
    transformedRect = UserTransform().mapRect(rect);
    path = TransformPath(deformed, rect, offset);
    offset = Rounded(offset);
}

// ---- Selection ----

QPainterPath KXTextHelper::CreateSelectionPath(QPointF&, int start, int count)
{
    if (count <= 0) // 0 and -1 select nothing; other negative counts neither
        return QPainterPath();
    PrepareOutlines();
    const std::vector<double>& x = Boundaries();
    const double left = x[size_t(std::max(0, std::min(start, text.size())))];
    const int first = std::max(0, std::min(start, text.size()));
    const double w = QFontMetrics(font).horizontalAdvance(text.mid(first, count));
    const QRect t = textRect.toRect();
    QPainterPath path;
    path.addRect(QRectF(left, t.top(), w, t.bottom() - t.top() + 1));
    return path;
}

QPainterPath KXTextHelper::CreateSelectionPath(const QPointF& origin, const QSizeF& size, size_t segments)
{
    segments = std::max<size_t>(segments, 1);
    const QPointF corners[] = {origin, origin + QPointF(size.width(), 0),
                               origin + QPointF(size.width(), size.height()), origin + QPointF(0, size.height())};
    QPolygonF outline;
    for (int side = 0; side < 4; ++side) {
        const QPointF from = corners[side], to = corners[(side + 1) % 4];
        for (size_t i = 0; i < segments; ++i)
            outline << from + (to - from) * (double(i) / double(segments));
    }
    outline << origin;
    QPainterPath path;
    path.addPolygon(outline);
    path.closeSubpath();
    return path;
}

QPainterPath KXTextHelper::CreateSelectionAndDeformationPath(QPointF& offset, int start, int count)
{
    const QPainterPath plain = CreateSelectionPath(offset, start, count);
    offset = QPointF(0, 0);
    if (plain.isEmpty())
        return plain;
    const QRectF box = plain.boundingRect();
    const double longest = std::max(box.width(), box.height());
    const size_t segments =
        maxSegmentLength > 0 ? size_t(std::min(std::ceil(longest / maxSegmentLength), 100000.0)) : 1;
    QPainterPath path = CreateSelectionPath(box.topLeft(), box.size(), segments);
    Deform(path, DeformationOf(heavyPath));
    return path;
}

KXImageRGBA32i KXTextHelper::CreateImageByTextWithSelection(QPointF& offset, int start, int count)
{
    PrepareOutlines();
    // Turned about the text's centre, like the text.
    return TransformAndCreateImage(CreateSelectionPath(offset, start, count), textRect, offset);
}

KXImageRGBA32i KXTextHelper::CreateImageByTextWithSelectionAndDeformation(QPointF& offset, int start, int count)
{
    if (style == 0)
        return CreateImageByTextWithSelection(offset, start, count);
    QPointF shift;
    const QRectF rect = DeformedTextPath(shift).boundingRect();
    return TransformAndCreateImage(CreateSelectionAndDeformationPath(shift, start, count), rect, offset);
}

// ---- Caret, lines and hit test ----

// The x of every character boundary, 0 to text.size(), in whole pixels: the
// caret positions of the text laid out once (the glyph advances the outline
// is drawn with, kerning included). The layout is cut into lines of 64
// characters, each measured from its own start, so that the work is linear
// in the text's length (a cursor position is found by summing the advances
// from its line's start). Kept until the text or the font changes.
const std::vector<double>& KXTextHelper::Boundaries() const
{
    if (!boundaries.empty() && boundaryText == text && boundaryFont == font)
        return boundaries;
    std::vector<double> x(size_t(text.size()) + 1, 0.0);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
        line.setNumColumns(64);
    layout.endLayout();
    double lineStart = 0;
    int done = 0;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        const int first = line.textStart(), last = std::min(first + line.textLength(), text.size());
        const double origin = line.cursorToX(first);
        for (int k = first; k <= last; ++k)
            x[size_t(k)] = qRound(lineStart + line.cursorToX(k) - origin);
        lineStart += line.cursorToX(last) - origin;
        done = last;
    }
    for (int k = done + 1; k <= text.size(); ++k)
        x[size_t(k)] = x[size_t(done)];
    boundaries.swap(x);
    boundaryText = text;
    boundaryFont = font;
    return boundaries;
}

// The base line's y in the outline's coordinates (the outline was moved up
// by its box's top).
double KXTextHelper::Baseline() const
{
    QPainterPath path;
    path.addText(0, 0, font, text.isEmpty() ? QStringLiteral("qf") : text);
    return -path.boundingRect().top();
}

QPainterPath KXTextHelper::GetUpperLine() const
{
    QPainterPath path;
    if (text.isEmpty())
        return path;
    const std::vector<double>& x = Boundaries();
    path.moveTo(textRect.topLeft());
    for (int k = 1; k <= text.size(); ++k)
        path.lineTo(x[size_t(k)], textRect.top());
    return path;
}

QPainterPath KXTextHelper::GetUnderLine(const std::vector<double>& x, int start, int count) const
{
    QPainterPath path;
    const int first = std::max(0, std::min(start, text.size()));
    // In 64 bits: start + count can pass INT_MAX.
    const int last = int(std::max<qint64>(first, std::min<qint64>(qint64(start) + std::max(count, 0), text.size())));
    if (last == first)
        return path;
    path.moveTo(x[size_t(first)], textRect.bottom());
    for (int k = first + 1; k <= last; ++k)
        path.lineTo(x[size_t(k)], textRect.bottom());
    return path;
}

QPainterPath KXTextHelper::GetVerticalAndUnderLine(const QPoint& origin, int start, int count)
{
    PrepareOutlines();
    const QFontMetrics metrics(font);
    const std::vector<double>& x = Boundaries();
    const double caret = x[size_t(std::max(0, std::min(start, text.size())))];
    QRect tight = text.isEmpty() ? QRect() : metrics.tightBoundingRect(text);
    if (!tight.isValid())
        tight = metrics.tightBoundingRect(QStringLiteral("qf"));
    const double baseline = Baseline();
    QPainterPath path;
    path.moveTo(caret, baseline + tight.top());
    path.lineTo(caret, baseline + tight.bottom());
    path.addPath(GetUnderLine(x, start, count));
    if (style == 1)
        Deform(path, DeformationOf(heavyPath));
    path.translate(origin);
    return path;
}

QPainterPath KXTextHelper::GetCharPath(const QPoint& origin)
{
    PrepareOutlines();
    QPainterPath path = GetUpperLine();
    path.translate(origin);
    return path;
}

int KXTextHelper::FindSelectedChar(const QPoint& origin, const QPoint& point)
{
    const QPainterPath path = GetCharPath(origin);
    int nearest = -1;
    float best = std::numeric_limits<float>::infinity();
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const float dx = float(e.x) - float(point.x()), dy = float(e.y) - float(point.y());
        const float distance = std::sqrt(dx * dx + dy * dy);
        if (distance < best) {
            best = distance;
            nearest = i;
        }
    }
    return nearest;
}
