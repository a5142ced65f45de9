#include "WorkingImage.h"

#include "Interrupt.h"

#include "Error.h"

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
    Step(progress, QStringLiteral("read"), 0.4);
    KXImageFile::ReadResult read = ReadFile(path, options);
    WorkingPicture working;
    working.image = std::move(read.image);
    working.deep = std::move(read.deep);
    working.metadata = read.metadata;
    working.profile = read.info.profile;
    working.exif = read.info.exif;
    return working;
}

void WriteWorking(WorkingPicture&& picture, const QString& path, const QByteArray& format,
                  const ImageOptions& options, CommandProgress* progress)
{
    Step(progress, QStringLiteral("write"), 1.0);
    KXImageFile::WriteParams params;
    params.format = format;
    params.quality = options.quality;
    params.compression = options.compression;
    params.subsampling = options.subsampling;
    params.strip = options.strip;
    WorkingPicture held = std::move(picture);
    picture = WorkingPicture();
    held.image.profile = held.deep.profile = held.profile;
    held.image.exif = held.deep.exif = held.exif;
    QList<KXImageFile::Message> warnings;
    WriteEncoded(path, [&](QIODevice& device) {
        const KXImageFile::WriteResult written =
            held.IsDeep() ? KXImageFile::Write(held.deep, held.metadata, &device, params)
                          : KXImageFile::Write(held.image, held.metadata, &device, params);
        warnings = written.warnings;
        return written.Ok() ? QString() : LowerFirst(written.errorText);
    });
    for (const KXImageFile::Message& warning : warnings)
        Warn(warning.issue == KXImageFile::Issue::AlphaDropped
                 ? QStringLiteral("%1 (%2)").arg(warning.text, Quoted(path))
                 : QStringLiteral("%1: %2").arg(Quoted(path), warning.text));
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
