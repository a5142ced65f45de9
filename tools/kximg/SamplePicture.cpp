#include "SamplePicture.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kximg {

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr double kPi = 3.14159265358979323846;

// Pixels are written premultiplied: the picture is painted in
// Format_ARGB32_Premultiplied and converted to ARGB32 at the end.
void Put(QImage& image, int x, int y, QRgb straight)
{
    reinterpret_cast<QRgb*>(image.scanLine(y))[x] = qPremultiply(straight);
}

// Hue across, lightness from white (top) to black (bottom).
void ColourField(QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const double lightness = 1.0 - double(y - area.top()) / (area.height() - 1);
        for (int x = area.left(); x <= area.right(); ++x) {
            const double hue = double(x - area.left()) / area.width();
            Put(image, x, y, QColor::fromHslF(hue, 1.0, lightness).rgba());
        }
    }
}

// Hue around the centre, saturation outwards, an anti-aliased rim.
void HueWheel(QImage& image, const QPointF& centre, double radius)
{
    const QRect box = QRectF(centre.x() - radius - 1, centre.y() - radius - 1, 2 * radius + 2, 2 * radius + 2)
                          .toAlignedRect()
                          .intersected(image.rect());
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const double dx = x + 0.5 - centre.x(), dy = y + 0.5 - centre.y();
            const double r = std::sqrt(dx * dx + dy * dy);
            const double coverage = std::clamp(radius - r + 0.5, 0.0, 1.0);
            if (coverage <= 0.0)
                continue;
            double hue = std::atan2(-dy, dx) / (2 * kPi);
            if (hue < 0)
                hue += 1.0;
            QColor colour = QColor::fromHslF(std::min(hue, 0.9999), std::min(r / radius, 1.0), 0.5);
            colour.setAlphaF(coverage);
            Put(image, x, y, colour.rgba());
        }
    }
}

void Ramps(QImage& image, QPainter& painter, const QRect& area)
{
    const int left = area.left() + 16, width = area.width() - 32;
    int y = area.top() + 12;
    // Smooth grey, 0 .. 255 across.
    for (int row = y; row < y + 28; ++row)
        for (int x = 0; x < width; ++x) {
            const int v = x * 255 / (width - 1);
            Put(image, left + x, row, qRgb(v, v, v));
        }
    y += 32;
    // Sixteen grey steps.
    for (int step = 0; step < 16; ++step) {
        const int v = step * 17;
        painter.fillRect(QRect(left + step * width / 16, y, width / 16 + 1, 28), QColor(v, v, v));
    }
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(QRect(left - 1, y - 1, width + 1, 29)); // the white step shows on white
    y += 32;
    // Red, green and blue ramps.
    for (int channel = 0; channel < 3; ++channel, y += 22)
        for (int row = y; row < y + 20; ++row)
            for (int x = 0; x < width; ++x) {
                const int v = x * 255 / (width - 1);
                Put(image, left + x, row, qRgb(channel == 0 ? v : 0, channel == 1 ? v : 0, channel == 2 ? v : 0));
            }
}

void Checkerboard(QImage& image, const QRect& area, int cell)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const bool dark = (((x - area.left()) / cell) + ((y - area.top()) / cell)) % 2;
            Put(image, x, y, dark ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
}

// Concentric rings whose spacing shrinks outwards: every frequency at once.
void ZonePlate(QImage& image, const QRect& area)
{
    const double cx = area.center().x() + 0.5, cy = area.center().y() + 0.5;
    // The ring frequency k * r / pi reaches 0.5 cycles a pixel at the edge.
    const double k = kPi / area.width();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const double dx = x - cx, dy = y - cy;
            const int v = static_cast<int>(std::lround(127.5 + 127.5 * std::cos(k * (dx * dx + dy * dy))));
            Put(image, x, y, qRgb(v, v, v));
        }
}

void LineFan(QPainter& painter, const QPointF& centre, double radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(20, 20, 20), 1.0));
    for (int degrees = 0; degrees < 360; degrees += 6) {
        const double angle = degrees * kPi / 180.0;
        painter.drawLine(centre, centre + QPointF(radius * std::cos(angle), radius * std::sin(angle)));
    }
    painter.restore();
}

void Text(QPainter& painter, const QRect& area)
{
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(QColor(10, 10, 10));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    const struct {
        int pixels;
        const char* text;
    } lines[] = {
        {10, "10 px: The quick brown fox jumps over the lazy dog. 0123456789 !?&@#%"},
        {14, "14 px: The quick brown fox jumps over the lazy dog. 0123456789"},
        {22, "22 px: kxcore sample picture, 1024 \u00d7 768"},
    };
    int y = area.top();
    for (const auto& line : lines) {
        font.setPixelSize(line.pixels);
        painter.setFont(font);
        y += line.pixels + 6;
        painter.drawText(QPointF(area.left(), y), QString::fromUtf8(line.text));
    }
    painter.restore();
}

void TransparentShapes(QPainter& painter, const QRect& area)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    // An orange bar fading from opaque to fully transparent.
    QLinearGradient fade(area.left() + 16, 0, area.right() - 16, 0);
    fade.setColorAt(0.0, QColor(255, 140, 0, 255));
    fade.setColorAt(1.0, QColor(255, 140, 0, 0));
    painter.fillRect(QRect(area.left() + 16, area.top() + 16, area.width() - 32, 40), fade);

    // Three translucent discs overlapping.
    const QPointF middle(area.center().x() + 0.5, area.top() + 210);
    const double r = 78;
    const QColor discs[] = {QColor(230, 30, 30, 150), QColor(30, 200, 30, 150), QColor(30, 60, 230, 150)};
    for (int i = 0; i < 3; ++i) {
        const double angle = (-90 + i * 120) * kPi / 180.0;
        painter.setPen(Qt::NoPen);
        painter.setBrush(discs[i]);
        painter.drawEllipse(middle + QPointF(48 * std::cos(angle), 48 * std::sin(angle)), r, r);
    }

    // A ring at 50 % alpha and a white outline at 25 %.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 0, 0, 128), 10));
    painter.drawEllipse(QPointF(area.left() + 60, area.bottom() - 40), 26, 26);
    painter.setPen(QPen(QColor(255, 255, 255, 64), 6));
    painter.drawRoundedRect(QRectF(area.right() - 130, area.bottom() - 70, 110, 56), 12, 12);
    painter.restore();
}

} // namespace

QImage SamplePicture()
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    const QRect colourField(0, 0, 640, 400);
    const QRect wheelArea(640, 0, 384, 400);
    const QRect detailArea(0, 400, 640, 368);
    const QRect shapesArea(640, 400, 384, 368);

    ColourField(image, colourField);
    HueWheel(image, QPointF(wheelArea.center().x() + 0.5, wheelArea.center().y() + 0.5), 176);

    QPainter painter(&image);
    // The detail area is on white; the wheel and shapes areas stay transparent.
    painter.fillRect(detailArea, Qt::white);
    Ramps(image, painter, detailArea);

    const int fineTop = detailArea.top() + 160;
    Checkerboard(image, QRect(16, fineTop, 112, 112), 1);
    Checkerboard(image, QRect(136, fineTop, 112, 112), 2);
    ZonePlate(image, QRect(256, fineTop, 112, 112));
    LineFan(painter, QPointF(440.5, fineTop + 56.5), 56);
    // Hairlines in threes, 1 px apart, then 2, 3, ...
    painter.setPen(QColor(20, 20, 20));
    int x = 512;
    for (int gap = 1; x < 624; ++gap)
        for (int i = 0; i < 3 && x < 624; ++i, x += gap + 1)
            painter.drawLine(x, fineTop, x, fineTop + 111);
    Text(painter, QRect(16, fineTop + 116, 624, 80));

    TransparentShapes(painter, shapesArea);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace kximg
