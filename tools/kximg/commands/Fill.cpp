// kximg fill: the paint bucket (4-connected flood fill) or, with --range,
// the colour-range fill, from a seed point.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"
#include "WorkingImage.h"

#include "KXFloodFill.h"

namespace kximg {

namespace {

const QString kCommand = QStringLiteral("fill");

const CommandSyntax& FillSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("fill"),
        QStringLiteral("fill IN OUT --at X,Y --colour COLOUR [--tolerance N|R,G,B,A] [--range]"),
        QStringLiteral("paint-bucket or colour-range fill from a seed point"),
        QStringLiteral("Takes the colour of the pixel at X,Y and paints COLOUR over every pixel\n"
                       "reachable from it through edge neighbours that matches that colour: exactly,\n"
                       "or within the tolerance in each channel (alpha included; a transparent seed\n"
                       "matches every transparent pixel). With --range every matching pixel of the\n"
                       "image is painted, connected or not, and every other pixel becomes\n"
                       "transparent black."),
        QList<OptionSyntax>{OptionSyntax{QStringLiteral("at"), QChar(), QStringLiteral("X,Y"),
                                         QStringLiteral("the seed pixel, inside the image")},
                            OptionSyntax{QStringLiteral("colour"), QChar(), QStringLiteral("COLOUR"),
                                         QStringLiteral("the fill, #AARRGGBB, #RRGGBB or a name")},
                            OptionSyntax{QStringLiteral("tolerance"), QChar(), QStringLiteral("N|R,G,B,A"),
                                         QStringLiteral("0 to 255 for all channels or each (default 0)")},
                            OptionSyntax{QStringLiteral("range"), QChar(), QString(),
                                         QStringLiteral("every matching pixel, connected or not")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg fill photo.png bucket.png --at 10,10 --colour '#80FF0000' --tolerance 12\n"
                       "  kximg fill photo.png sky.png --at 300,20 --colour white --tolerance 30,30,40,0 --range")};
    return syntax;
}

uint32_t Tolerance(const ParsedArgs& args)
{
    const QString text = args.Value(QStringLiteral("tolerance"), QStringLiteral("0"));
    if (!text.contains(QLatin1Char(','))) {
        const uint32_t n = uint32_t(IntValue(kCommand, QStringLiteral("tolerance"), text, 0, 255));
        return n * 0x01010101u;
    }
    const QVector<int> v =
        IntListValue(kCommand, QStringLiteral("tolerance"), text, 4, 0, 255, QStringLiteral("R,G,B,A"));
    return uint32_t(v[3]) << 24 | uint32_t(v[0]) << 16 | uint32_t(v[1]) << 8 | uint32_t(v[2]);
}

int RunFill(const ParsedArgs& args)
{
    if (!args.Has(QStringLiteral("at")) || !args.Has(QStringLiteral("colour")))
        throw Error(QStringLiteral("fill: give both --at and --color"));
    const QPoint seed = PointOption(args, kCommand, QStringLiteral("at"), QPoint());
    const KXRGBA32i colour(ColourValue(kCommand, QStringLiteral("colour"), args.Value(QStringLiteral("colour"))).rgba());
    const KXRGBA32i tolerance(Tolerance(args));
    const ImageOptions options = ImageOptionsFrom(args, kCommand);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(kCommand);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    if (!picture.image.Rect().contains(seed))
        throw Error(QStringLiteral("fill: --at %1,%2 lies outside the %3 x %4 image")
                        .arg(seed.x())
                        .arg(seed.y())
                        .arg(picture.image.Width())
                        .arg(picture.image.Height()));
    progress.Step(kCommand, 0.75);
    if (args.Has(QStringLiteral("range"))) {
        KXImageRGBA32i result;
        KXFloodFillHelper::ColorRangeFill(picture.image, result, seed, tolerance, colour, nullptr);
        picture.image = std::move(result);
    } else {
        KXFloodFillHelper::FloodFill(picture.image, seed, tolerance, colour, nullptr);
    }
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(58, FillSyntax, RunFill, false)

} // namespace kximg
