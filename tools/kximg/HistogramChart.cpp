#include "HistogramChart.h"

#include "Error.h"

#include "KXTransformImageColors.h"
#include "VQHistogram.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kximg {

namespace {

const QColor kGround(28, 28, 28);
const QColor kGrid(70, 70, 70);
const QColor kLuminance(255, 255, 255);
// Added up on the ground: where all three overlap the chart is grey, below
// the white luminance line.
const QColor kRed(150, 0, 0);
const QColor kGreen(0, 150, 0);
const QColor kBlue(0, 0, 170);

QFont ChartFont(int pixels)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    return font;
}

// The count shown at full height. Clipped pictures pile up a few huge bins
// (at 0 and 255, or at 1 after a tone curve) and synthetic ones have spikes,
// so the scale follows the bulk of the curves: one and a half times the 97th
// percentile of the non-empty bins of red, green and blue between levels 1
// and 254; taller bins are cut. Heights go with the square root of the counts, so that what lies
// below the scale stays readable too.
int Scale(const ChannelHistograms& h)
{
    std::vector<int> bins;
    for (int from : {1, 0}) { // levels 0 and 255 only when nothing lies between
        for (const ChannelHistograms::Counts* counts : {&h.red, &h.green, &h.blue})
            for (int level = from; level < 256 - from; ++level)
                if ((*counts)[level] > 0)
                    bins.push_back((*counts)[level]);
        if (!bins.empty())
            break;
    }
    if (bins.empty())
        return 1;
    const size_t at = std::min(bins.size() - 1, bins.size() * 97 / 100);
    std::nth_element(bins.begin(), bins.begin() + static_cast<std::ptrdiff_t>(at), bins.end());
    return std::max(1, bins[at] + bins[at] / 2);
}

// The outline of a histogram over `plot`, one step per level.
QPainterPath Steps(const ChannelHistograms::Counts& counts, const QRectF& plot, int scale, bool closed)
{
    QPainterPath path;
    const double step = plot.width() / 256.0;
    const auto y = [&](int count) {
        return plot.bottom() - std::sqrt(std::min(1.0, static_cast<double>(count) / scale)) * plot.height();
    };
    if (closed)
        path.moveTo(plot.left(), plot.bottom());
    for (int i = 0; i < 256; ++i) {
        const QPointF from(plot.left() + i * step, y(counts[i]));
        if (i == 0 && !closed)
            path.moveTo(from);
        else
            path.lineTo(from);
        path.lineTo(plot.left() + (i + 1) * step, y(counts[i]));
    }
    if (closed) {
        path.lineTo(plot.right(), plot.bottom());
        path.closeSubpath();
    }
    return path;
}

void DrawCurves(QPainter& painter, const ChannelHistograms& h, const QRectF& plot, bool luminance)
{
    painter.fillRect(plot, kGround);
    painter.setPen(QPen(kGrid, 1));
    for (int level : {64, 128, 192}) {
        const double x = plot.left() + level * plot.width() / 256.0;
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    const int scale = Scale(h);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    painter.setBrush(kRed);
    painter.drawPath(Steps(h.red, plot, scale, true));
    painter.setBrush(kGreen);
    painter.drawPath(Steps(h.green, plot, scale, true));
    painter.setBrush(kBlue);
    painter.drawPath(Steps(h.blue, plot, scale, true));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (luminance) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kLuminance, std::max(1.0, plot.height() / 120.0)));
        painter.drawPath(Steps(h.luminance, plot, scale, false));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

} // namespace

ChannelHistograms CountHistograms(const KXImageRGBA32i& image)
{
    ChannelHistograms h;
    KXHistogrammCalculator calculator;
    calculator.SetOutput(h.red.data(), h.green.data(), h.blue.data(), h.all.data());
    auto count = [&](const KXRGBA32i& pixel) {
        calculator(pixel);
        ++h.luminance[(11u * pixel.r + 16u * pixel.g + 5u * pixel.b) >> 5];
        ++h.alpha[pixel.a];
        ++h.pixels;
    };
    if (!VisitPixels(image, image.Rect(), count))
        throw Error(QStringLiteral("counting the histograms failed"), kExitFailure);
    return h;
}

ChannelSummary Summarise(const ChannelHistograms::Counts& counts)
{
    ChannelSummary s;
    long long total = 0;
    double sum = 0;
    for (int i = 0; i < 256; ++i) {
        total += counts[i];
        sum += static_cast<double>(i) * counts[i];
    }
    if (total > 0) {
        s.min = static_cast<int>(std::find_if(counts.begin(), counts.end(), [](int c) { return c > 0; }) -
                                 counts.begin());
        s.max = 255 - static_cast<int>(std::find_if(counts.rbegin(), counts.rend(), [](int c) { return c > 0; }) -
                                       counts.rbegin());
        s.mean = sum / static_cast<double>(total);
        long long below = 0;
        for (int i = 0; i < 256; ++i) {
            below += counts[i];
            if (2 * below >= total) {
                s.median = i;
                break;
            }
        }
    }
    ChannelHistograms::Counts copy = counts; // Threshold takes a mutable pointer
    const std::vector<int> range = KXHistogrammCalculator::Threshold(copy.data());
    if (range.size() == 2) {
        s.low = range[0];
        s.high = range[1];
    }
    return s;
}

QImage HistogramChart(const ChannelHistograms& histograms, const QSize& size, bool legend, const QString& label,
                      bool luminance)
{
    QImage chart(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&chart);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    if (!legend) {
        DrawCurves(painter, histograms, QRectF(chart.rect()), luminance);
        if (!label.isEmpty()) {
            painter.setFont(ChartFont(std::max(9, size.height() / 6)));
            painter.setPen(QColor(200, 200, 200));
            painter.drawText(QRect(4, 2, size.width() - 8, size.height() - 4), Qt::AlignLeft | Qt::AlignTop, label);
        }
        painter.end();
        return chart.convertToFormat(QImage::Format_ARGB32);
    }

    chart.fill(QColor(242, 242, 242));
    const QFont font = ChartFont(13);
    const QFontMetrics metrics(font);
    const int margin = 12;
    const int line = metrics.height();
    const QRectF plot(margin, margin + line + 6, size.width() - 2 * margin,
                      size.height() - 2 * margin - 2 * line - 10);
    DrawCurves(painter, histograms, plot, luminance);

    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    for (int level : {0, 64, 128, 192, 255}) {
        const double x = plot.left() + (level + 0.5) * plot.width() / 256.0;
        painter.drawLine(QPointF(x, plot.bottom() + 1), QPointF(x, plot.bottom() + 5));
        const int width = metrics.horizontalAdvance(QString::number(level));
        const double left = std::clamp(x - width / 2.0, 0.0, static_cast<double>(size.width() - width));
        painter.drawText(QPointF(left, plot.bottom() + 6 + metrics.ascent()), QString::number(level));
    }

    // Legend: a swatch or a line for each curve, and the scale.
    double x = margin;
    const double baseline = margin + metrics.ascent();
    const auto swatch = [&](const QColor& colour, const QString& name, bool asLine) {
        if (asLine)
            painter.fillRect(QRectF(x, baseline - metrics.ascent() / 2.0 - 1, 14, 3), colour);
        else
            painter.fillRect(QRectF(x, baseline - metrics.ascent() + 2, 14, metrics.ascent() - 2), colour);
        x += 18;
        painter.drawText(QPointF(x, baseline), name);
        x += metrics.horizontalAdvance(name) + 14;
    };
    swatch(kRed, QStringLiteral("red"), false);
    swatch(kGreen, QStringLiteral("green"), false);
    swatch(kBlue, QStringLiteral("blue"), false);
    swatch(QColor(178, 178, 198), QStringLiteral("all three"), false);
    if (luminance)
        swatch(QColor(60, 60, 60), QStringLiteral("luminance"), true);
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(QRectF(x, margin, size.width() - margin - x, line), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("square-root scale; bins above %1 pixels cut").arg(Scale(histograms)));
    painter.end();
    return chart.convertToFormat(QImage::Format_ARGB32);
}

} // namespace kximg
