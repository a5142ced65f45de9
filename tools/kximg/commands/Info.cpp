// kximg info: what a picture is and what it takes in the library.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "Profiles.h"
#include "Progress.h"

#include "KXImageConversion.h"
#include "VQCMSProfile.h"
#include "VQTileManager64.h"

#include <QColorSpace>

#include <cstdio>

namespace kximg {

namespace {

void PrintLine(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
}

const CommandSyntax& InfoSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("info"),
        QStringLiteral("info FILE"),
        QStringLiteral("size, format, depth, profile, EXIF and tile layout of an image"),
        QStringLiteral("Reads FILE, converts it into the library's working image (8-bit BGRA in\n"
                       "tiles of 128 x 128 pixels) and reports its size (after its EXIF\n"
                       "orientation), its file format and Qt's in-memory format, bits per channel,\n"
                       "whether it has an alpha channel, its embedded colour profile, whether it\n"
                       "carries EXIF data, the tile grid, and how many 64 KiB blocks of the tile\n"
                       "manager the working image holds."),
        {OptionSyntax{QStringLiteral("no-rotate"), QChar(), QString(),
                      QStringLiteral("report the size as stored, before the EXIF orientation")}},
        1,
        1,
        QStringLiteral("  kximg info photo.jpg")};
    return syntax;
}

int BitsPerChannel(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return 1;
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
        return 16;
    case QImage::Format_BGR30:
    case QImage::Format_RGB30:
    case QImage::Format_A2BGR30_Premultiplied:
    case QImage::Format_A2RGB30_Premultiplied:
        return 10;
    default:
        return 8;
    }
}

QString ProfileLine(const QImage& image)
{
    if (!image.colorSpace().isValid())
        return QStringLiteral("none");
    const VQCMSProfile profile = EmbeddedProfile(image);
    if (profile.IsEmpty())
        return QStringLiteral("embedded, not readable by Little CMS");
    return QStringLiteral("'%1' (%2)").arg(Described(profile), ColourSpaceName(profile.GetColorSpace()));
}

int RunInfo(const ParsedArgs& args)
{
    const QString path = args.Positional().at(0);
    ImageOptions options;
    options.autoRotate = !args.Has(QStringLiteral("no-rotate"));
    CommandProgress progress(QStringLiteral("info"));
    progress.Step(QStringLiteral("read"), 0.8);
    const Picture picture = ReadPicture(path, options);
    progress.Step(QStringLiteral("convert"), 1.0);
    const QImage& image = picture.image;

    VQTileManager64* tiles = VQTileManager64::Instance();
    const long long before = tiles->GetAvailableCount();
    const KXImageRGBA32i working = ConvertImage<QImage, KXImageRGBA32i>(image);
    const long long held = before - tiles->GetAvailableCount();
    progress.Finish();

    PrintLine(QStringLiteral("file:    %1").arg(path));
    PrintLine(QStringLiteral("size:    %1 x %2").arg(image.width()).arg(image.height()));
    PrintLine(QStringLiteral("format:  %1 (in memory: %2)")
                  .arg(QString::fromLatin1(picture.format), FormatName(image.format())));
    PrintLine(QStringLiteral("depth:   %1 bits per channel").arg(BitsPerChannel(image.format())));
    PrintLine(QStringLiteral("alpha:   %1").arg(image.hasAlphaChannel() ? QStringLiteral("yes")
                                                                       : QStringLiteral("no")));
    PrintLine(QStringLiteral("profile: %1").arg(ProfileLine(image)));
    PrintLine(QStringLiteral("exif:    %1").arg(picture.exif ? QStringLiteral("yes") : QStringLiteral("no")));
    PrintLine(QStringLiteral("tiles:   %1 x %2 (%3 tiles of %4 x %5 pixels)")
                  .arg(working.TileColumns())
                  .arg(working.TileRows())
                  .arg(working.TileCount())
                  .arg(KXImageRGBA32i::kTileWidth)
                  .arg(KXImageRGBA32i::kTileHeight));
    PrintLine(QStringLiteral("blocks:  %1 (%2 KiB in the tile manager)")
                  .arg(held)
                  .arg(held * (VQTileManager64::kBlockSize / 1024)));
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(10, InfoSyntax, RunInfo, false)

} // namespace kximg
