#include "KXPictureRows.h"

#include <QTransform>

#include <vector>

namespace KXImageFileDetail {

QImage Upright(const QImage& picture, int orientation)
{
    // Mirror first, then turn a quarter clockwise where the orientation
    // asks for it: 5 = flip + quarter, 7 = mirror + quarter.
    bool mirror = false, flip = false, quarter = false;
    switch (orientation) {
    case 2: mirror = true; break;
    case 3: mirror = flip = true; break;
    case 4: flip = true; break;
    case 5: flip = quarter = true; break;
    case 6: quarter = true; break;
    case 7: mirror = quarter = true; break;
    case 8: mirror = flip = quarter = true; break;
    default: return picture;
    }
    QImage turned = (mirror || flip) ? picture.mirrored(mirror, flip) : picture;
    // A quarter turn is a pure permutation of the pixels in Qt (no sampling).
    if (quarter)
        turned = turned.transformed(QTransform().rotate(90));
    return turned;
}

KXImageRGBA64i DeepFromQImage(const QImage& picture)
{
    const QImage source = picture.format() == QImage::Format_RGBA64 || picture.format() == QImage::Format_RGBX64
                              ? picture
                              : picture.convertToFormat(QImage::Format_RGBA64);
    KXImageRGBA64i image(static_cast<unsigned>(source.width()), static_cast<unsigned>(source.height()));
    std::vector<KXRGBA64i> row(static_cast<size_t>(source.width()));
    for (int y = 0; y < source.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgba64*>(source.constScanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            row[x].r = line[x].red();
            row[x].g = line[x].green();
            row[x].b = line[x].blue();
            row[x].a = line[x].alpha();
        }
        image.SetLine(static_cast<unsigned>(y), row.data(), static_cast<unsigned>(row.size() * sizeof(KXRGBA64i)));
    }
    return image;
}

QImage DeepToQImage(const KXImageRGBA64i& image, bool opaque)
{
    QImage picture(static_cast<int>(image.Width()), static_cast<int>(image.Height()),
                   opaque ? QImage::Format_RGBX64 : QImage::Format_RGBA64);
    std::vector<KXRGBA64i> row(image.Width());
    for (int y = 0; y < picture.height(); ++y) {
        image.GetLine(static_cast<unsigned>(y), row.data(), static_cast<unsigned>(row.size() * sizeof(KXRGBA64i)));
        auto* line = reinterpret_cast<QRgba64*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = QRgba64::fromRgba64(row[x].r, row[x].g, row[x].b, opaque ? 65535 : row[x].a);
    }
    return picture;
}

bool IsOpaque(const QImage& picture)
{
    if (!picture.hasAlphaChannel())
        return true;
    if (picture.depth() == 64) {
        for (int y = 0; y < picture.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgba64*>(picture.constScanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                if (line[x].alpha() != 65535)
                    return false;
        }
        return true;
    }
    const QImage argb = picture.format() == QImage::Format_ARGB32 ? picture
                                                                  : picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return false;
    }
    return true;
}

} // namespace KXImageFileDetail
