// kximg info: what a picture is and what it takes in the library.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "Profiles.h"

#include "KXImageFile.h"
#include "VQCMSProfile.h"
#include "VQTileManager64.h"

#include <QStringList>

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
        QStringLiteral("Reads the headers of FILE (no pixel is decoded) and reports its size (after\n"
                       "its EXIF orientation), its file format, bits per channel, whether it has an\n"
                       "alpha channel, its embedded colour profile, its EXIF orientation and which\n"
                       "metadata it carries, and the tile grid and 64 KiB blocks of the tile\n"
                       "manager its working image takes (8-bit BGRA in tiles of 128 x 128 pixels)."),
        {OptionSyntax{QStringLiteral("no-rotate"), QChar(), QString(),
                      QStringLiteral("report the size as stored, before the EXIF orientation")},
         OptionSyntax{QStringLiteral("fail-on-warning"), QChar(), QString(),
                      QStringLiteral("refuse a truncated or damaged file (exit 2)")}},
        1,
        1,
        QStringLiteral("  kximg info photo.jpg")};
    return syntax;
}

QString ProfileLine(const KXImageFile::Info& info)
{
    if (info.iccData.isEmpty())
        return QStringLiteral("none");
    if (info.profile.IsEmpty())
        return QStringLiteral("embedded, not readable by Little CMS");
    return QStringLiteral("'%1' (%2)").arg(Described(info.profile), ColourSpaceName(info.profile.GetColorSpace()));
}

QString MetadataLine(const KXImageFile::Info& info)
{
    QStringList blocks;
    if (!info.metadata.exif.isEmpty())
        blocks << QStringLiteral("EXIF (%1 catalogue fields)").arg(info.exif.size());
    if (!info.metadata.xmp.isEmpty())
        blocks << QStringLiteral("XMP");
    if (!info.metadata.iptc.isEmpty())
        blocks << QStringLiteral("IPTC");
    return blocks.isEmpty() ? QStringLiteral("none") : blocks.join(QStringLiteral(", "));
}

int RunInfo(const ParsedArgs& args)
{
    const QString path = args.Positional().at(0);
    ImageOptions options;
    options.command = QStringLiteral("info");
    options.autoRotate = !args.Has(QStringLiteral("no-rotate"));
    options.failOnWarning = args.Has(QStringLiteral("fail-on-warning"));
    const KXImageFile::ReadResult read = ReadFile(path, options, true);
    const KXImageFile::Info& info = read.info;

    const long long columns = (info.size.width() + KXImageRGBA32i::kTileWidth - 1LL) / KXImageRGBA32i::kTileWidth;
    const long long rows = (info.size.height() + KXImageRGBA32i::kTileHeight - 1LL) / KXImageRGBA32i::kTileHeight;
    const long long tiles = columns * rows;
    PrintLine(QStringLiteral("file:    %1").arg(path));
    PrintLine(QStringLiteral("size:    %1 x %2").arg(info.size.width()).arg(info.size.height()));
    PrintLine(QStringLiteral("format:  %1").arg(QString::fromLatin1(info.format)));
    PrintLine(QStringLiteral("depth:   %1 bits per channel").arg(info.bitsPerChannel));
    PrintLine(QStringLiteral("alpha:   %1").arg(info.hasAlpha ? QStringLiteral("yes") : QStringLiteral("no")));
    PrintLine(QStringLiteral("profile: %1").arg(ProfileLine(info)));
    PrintLine(QStringLiteral("orientation: %1").arg(info.metadata.storedOrientation));
    PrintLine(QStringLiteral("exif:    %1").arg(info.metadata.exif.isEmpty() ? QStringLiteral("no") : QStringLiteral("yes")));
    PrintLine(QStringLiteral("metadata: %1").arg(MetadataLine(info)));
    PrintLine(QStringLiteral("tiles:   %1 x %2 (%3 tiles of %4 x %5 pixels)")
                  .arg(columns)
                  .arg(rows)
                  .arg(tiles)
                  .arg(KXImageRGBA32i::kTileWidth)
                  .arg(KXImageRGBA32i::kTileHeight));
    PrintLine(QStringLiteral("blocks:  %1 (%2 KiB in the tile manager, at most, once read)")
                  .arg(tiles)
                  .arg(tiles * (VQTileManager64::kBlockSize / 1024)));
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(10, InfoSyntax, RunInfo, false)

} // namespace kximg
