#include "WorkingImage.h"

#include "Interrupt.h"

#include "KXImageConversion.h"

#include <algorithm>

namespace kximg {

namespace {

// Tile rows per band: enough tiles for every thread, few enough that the
// bar moves on a photo.
constexpr int kBandTileRows = 2;

void Step(CommandProgress* progress, const QString& what, double end)
{
    if (progress)
        progress->Step(what, end);
}

} // namespace

WorkingPicture ReadWorking(const QString& path, const ImageOptions& options, CommandProgress* progress)
{
    Step(progress, QStringLiteral("read"), 0.3);
    Picture picture = ReadPicture(path, options);
    Step(progress, QStringLiteral("convert"), 0.4);
    WorkingPicture working;
    working.space = picture.image.colorSpace();
    working.image = ConvertImage<QImage, KXImageRGBA32i>(picture.image);
    return working;
}

void WriteWorking(WorkingPicture&& picture, const QString& path, const QByteArray& format,
                  const ImageOptions& options, CommandProgress* progress)
{
    Step(progress, QStringLiteral("convert"), 0.85);
    QImage image = ConvertImage<KXImageRGBA32i, QImage>(picture.image);
    picture.image = KXImageRGBA32i();
    CheckInterrupted();
    if (!options.strip && picture.space.isValid())
        image.setColorSpace(picture.space);
    Step(progress, QStringLiteral("write"), 1.0);
    WriteImage(image, path, format, options);
}

void InBands(const KXImageRGBA32i& image, CommandProgress* progress, const std::function<void(const QRect&)>& apply)
{
    const int height = static_cast<int>(image.Height());
    const int band = kBandTileRows * KXImageRGBA32i::kTileHeight;
    for (int y = 0; y < height; y += band) {
        CheckInterrupted();
        apply(QRect(0, y, static_cast<int>(image.Width()), std::min(band, height - y)));
        if (progress)
            progress->Within(static_cast<double>(std::min(y + band, height)) / height);
    }
}

} // namespace kximg
