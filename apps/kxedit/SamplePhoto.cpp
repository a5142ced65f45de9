#include "SamplePhoto.h"

#include <KXImageConversion.h>

#include <QColorSpace>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace kxedit {

KXImageRGBA32i SamplePhoto(const QSize& size)
{
    QImage picture(size, QImage::Format_ARGB32);
    const double w = size.width(), h = size.height();
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient sky(0, 0, 0, h * 0.6);
        sky.setColorAt(0, QColor(40, 90, 170));
        sky.setColorAt(1, QColor(250, 190, 120));
        painter.fillRect(picture.rect(), sky);
        QRadialGradient sun(w * 0.7, h * 0.35, h * 0.12);
        sun.setColorAt(0, QColor(255, 250, 220));
        sun.setColorAt(0.7, QColor(255, 210, 90));
        sun.setColorAt(1, QColor(255, 170, 60, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(sun);
        painter.drawEllipse(QPointF(w * 0.7, h * 0.35), h * 0.12, h * 0.12);
        const QColor hills[] = {QColor(70, 110, 80), QColor(40, 80, 50), QColor(25, 55, 35)};
        for (int layer = 0; layer < 3; ++layer) {
            QPainterPath path(QPointF(0, h));
            for (int i = 0; i <= 64; ++i) {
                const double x = w * i / 64;
                const double y = h * (0.55 + 0.12 * layer) + h * 0.06 * std::sin(x / w * 6.3 * (layer + 1) + layer);
                path.lineTo(x, y);
            }
            path.lineTo(w, h);
            path.closeSubpath();
            painter.setBrush(hills[layer]);
            painter.drawPath(path);
        }
        // Fine stripes in the foreground: detail for the blurs and sharpen.
        painter.setPen(QPen(QColor(200, 220, 150), std::max(1.0, w / 1200)));
        for (double x = 0; x < w; x += std::max(3.0, w / 300))
            painter.drawLine(QPointF(x, h * 0.93), QPointF(x + w / 200, h));
    }
    KXImageRGBA32i image = ConvertImage<QImage, KXImageRGBA32i>(picture);
    image.profile.FromByteArray(QColorSpace(QColorSpace::AdobeRgb).iccProfile());
    return image;
}

KXImageRGBA32i SampleOverlay(const QSize& size)
{
    QImage picture(size, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const QColor colours[] = {QColor(230, 40, 60, 200), QColor(40, 200, 230, 200), QColor(240, 220, 40, 200)};
        const double r = std::min(size.width(), size.height()) * 0.22;
        for (int i = 0; i < 3; ++i) {
            painter.setBrush(colours[i]);
            painter.drawEllipse(QPointF(size.width() * (0.3 + 0.15 * i), size.height() * (0.4 + 0.12 * (i % 2))), r, r);
        }
    }
    return ConvertImage<QImage, KXImageRGBA32i>(picture);
}

} // namespace kxedit
