#include "Gallery.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace kximg {

namespace {

constexpr int kColumns = 4;
constexpr int kThumbWidth = 256;
constexpr int kGap = 16;
constexpr int kHeadingHeight = 44;
constexpr int kLabelHeight = 66; // name, two caption lines, a note line
constexpr int kCheckerCell = 8;

QFont SheetFont(int pixels, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QImage CheckerTile()
{
    QImage tile(2 * kCheckerCell, 2 * kCheckerCell, QImage::Format_RGB32);
    tile.fill(QColor(255, 255, 255));
    QPainter painter(&tile);
    painter.fillRect(0, 0, kCheckerCell, kCheckerCell, QColor(204, 204, 204));
    painter.fillRect(kCheckerCell, kCheckerCell, kCheckerCell, kCheckerCell, QColor(204, 204, 204));
    return tile;
}

int ThumbHeight(const QList<GalleryEntry>& entries)
{
    int height = 1;
    for (const GalleryEntry& entry : entries)
        if (!entry.image.isNull() && entry.image.width() > 0)
            height = std::max(height, entry.image.height() * kThumbWidth / entry.image.width());
    return height;
}

} // namespace

QImage LabelledGrid(const QList<GridCell>& cells, int columns, const QSize& cell)
{
    constexpr int kGridGap = 8;
    constexpr int kGridLabel = 18;
    columns = std::max(1, columns);
    const int rows = std::max(1, (static_cast<int>(cells.size()) + columns - 1) / columns);
    QImage grid(columns * (cell.width() + kGridGap) + kGridGap,
                rows * (cell.height() + kGridLabel + kGridGap) + kGridGap, QImage::Format_ARGB32_Premultiplied);
    grid.fill(QColor(242, 242, 242));
    QPainter painter(&grid);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(SheetFont(12, false));
    painter.setPen(QColor(30, 30, 30));
    const QBrush checker(CheckerTile());
    for (int i = 0; i < cells.size(); ++i) {
        const int x = kGridGap + (i % columns) * (cell.width() + kGridGap);
        const int y = kGridGap + (i / columns) * (cell.height() + kGridLabel + kGridGap);
        const QImage thumb = cells[i].image.scaled(cell, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const QRect target(QPoint(x, y), thumb.size());
        painter.fillRect(target, checker);
        painter.drawImage(target.topLeft(), thumb);
        painter.drawText(QRect(x, y + cell.height(), cell.width(), kGridLabel), Qt::AlignLeft | Qt::AlignVCenter,
                         cells[i].label);
    }
    painter.end();
    return grid.convertToFormat(QImage::Format_ARGB32);
}

QImage ContactSheet(const QList<GalleryEntry>& entries, const QString& heading)
{
    const int thumbHeight = ThumbHeight(entries);
    const int cellHeight = thumbHeight + kLabelHeight;
    const int rows = std::max(1, (static_cast<int>(entries.size()) + kColumns - 1) / kColumns);
    const int width = kColumns * kThumbWidth + (kColumns + 1) * kGap;
    const int height = kHeadingHeight + rows * (cellHeight + kGap) + kGap / 2;

    QImage sheet(width, height, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(242, 242, 242));
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    painter.setPen(QColor(30, 30, 30));
    painter.setFont(SheetFont(18, true));
    painter.drawText(QRect(kGap, 0, width - 2 * kGap, kHeadingHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     heading);

    const QBrush checker(CheckerTile());
    const QFont nameFont = SheetFont(13, true);
    const QFont captionFont = SheetFont(11, false);
    for (int i = 0; i < entries.size(); ++i) {
        const GalleryEntry& entry = entries[i];
        const int x = kGap + (i % kColumns) * (kThumbWidth + kGap);
        const int y = kHeadingHeight + (i / kColumns) * (cellHeight + kGap);

        // Proportional, as wide as a cell unless that makes it too tall.
        QImage thumb;
        if (!entry.image.isNull()) {
            thumb = entry.image.scaledToWidth(kThumbWidth, Qt::SmoothTransformation);
            if (thumb.height() > thumbHeight)
                thumb = entry.image.scaledToHeight(thumbHeight, Qt::SmoothTransformation);
        }
        const QSize size = thumb.isNull() ? QSize(kThumbWidth, thumbHeight) : thumb.size();
        const QRect thumbRect(QPoint(x + (kThumbWidth - size.width()) / 2, y + (thumbHeight - size.height()) / 2),
                              size);
        painter.setBrushOrigin(thumbRect.topLeft());
        painter.fillRect(thumbRect, checker);
        painter.drawImage(thumbRect.topLeft(), thumb);
        painter.setPen(QColor(160, 160, 160));
        painter.drawRect(thumbRect.adjusted(-1, -1, 0, 0));

        painter.setPen(QColor(30, 30, 30));
        painter.setFont(nameFont);
        const QFontMetrics nameMetrics(nameFont);
        const int nameTop = y + thumbHeight + 4;
        painter.drawText(QRect(x, nameTop, kThumbWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignTop,
                         nameMetrics.elidedText(entry.name, Qt::ElideRight, kThumbWidth));

        painter.setPen(QColor(80, 80, 80));
        painter.setFont(captionFont);
        const QFontMetrics captionMetrics(captionFont);
        const int captionTop = nameTop + nameMetrics.height();
        // Word-wrapped and clipped: the caption gets two lines, the note the
        // last one.
        const int line = captionMetrics.lineSpacing();
        painter.drawText(QRect(x, captionTop, kThumbWidth, 2 * line), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                         entry.caption);
        if (!entry.note.isEmpty()) {
            painter.setPen(QColor(0, 90, 160));
            painter.drawText(QRect(x, captionTop + 2 * line, kThumbWidth, line), Qt::AlignLeft | Qt::AlignTop,
                             captionMetrics.elidedText(entry.note, Qt::ElideRight, kThumbWidth));
        }
    }
    painter.end();
    return sheet.convertToFormat(QImage::Format_ARGB32);
}

QByteArray IndexHtml(const QList<GalleryEntry>& entries, const QString& heading, const QString& contactSheetFile)
{
    QString html;
    html += QStringLiteral(
                "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n"
                "<style>\n"
                "body { font-family: 'DejaVu Sans', sans-serif; margin: 2em; background: #f2f2f2; color: #1e1e1e; }\n"
                "h2 { margin-top: 1.5em; }\n"
                ".grid { display: flex; flex-wrap: wrap; gap: 1.5em; }\n"
                "figure { margin: 0; width: 512px; }\n"
                "figure img { width: 512px; height: auto; display: block; border: 1px solid #a0a0a0;\n"
                "  background-color: #fff;\n"
                "  background-image: linear-gradient(45deg, #ccc 25%, transparent 25%, transparent 75%, #ccc 75%),\n"
                "    linear-gradient(45deg, #ccc 25%, transparent 25%, transparent 75%, #ccc 75%);\n"
                "  background-size: 16px 16px; background-position: 0 0, 8px 8px; }\n"
                "figcaption { margin-top: 0.4em; font-size: 0.9em; }\n"
                "figcaption b { display: block; }\n"
                ".note { color: #555; }\n"
                "</style>\n</head>\n<body>\n<h1>%1</h1>\n"
                "<p>Click a picture for the full size. All results on one page: "
                "<a href=\"%2\">%2</a>.</p>\n")
                .arg(heading.toHtmlEscaped(), contactSheetFile.toHtmlEscaped());

    QString group;
    bool open = false;
    for (const GalleryEntry& entry : entries) {
        if (!open || entry.group != group) {
            if (open)
                html += QStringLiteral("</div>\n");
            group = entry.group;
            html += QStringLiteral("<h2>%1</h2>\n<div class=\"grid\">\n").arg(group.toHtmlEscaped());
            open = true;
        }
        const QString file = entry.file.toHtmlEscaped();
        html += QStringLiteral("<figure><a href=\"%1\"><img src=\"%1\" alt=\"%2\" width=\"%3\" height=\"%4\"></a>\n"
                               "<figcaption><b>%2</b>%5")
                    .arg(file, entry.name.toHtmlEscaped())
                    .arg(512)
                    .arg(entry.image.width() > 0 ? entry.image.height() * 512 / entry.image.width() : 0)
                    .arg(entry.caption.toHtmlEscaped());
        if (!entry.note.isEmpty())
            html += QStringLiteral(" <span class=\"note\">%1.</span>").arg(entry.note.toHtmlEscaped());
        html += QStringLiteral("</figcaption></figure>\n");
    }
    if (open)
        html += QStringLiteral("</div>\n");
    html += QStringLiteral("</body>\n</html>\n");
    return html.toUtf8();
}

} // namespace kximg
