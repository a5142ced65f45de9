// kximg invert: inverts chosen channels of an image.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "WorkingImage.h"

#include "KXImagePainter.h"

namespace kximg {

namespace {

const CommandSyntax& InvertSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("invert"),
        QStringLiteral("invert IN OUT [--channels CHANNELS]"),
        QStringLiteral("invert chosen channels of an image"),
        QStringLiteral("Replaces each chosen channel by 255 minus its value and writes OUT."),
        QList<OptionSyntax>{OptionSyntax{QStringLiteral("channels"), QChar(), QStringLiteral("CHANNELS"),
                                         QStringLiteral("any of the letters r, g, b, a (default rgb)")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg invert photo.png negative.png\n"
                       "  kximg invert layer.png holes.png --channels a")};
    return syntax;
}

int RunInvert(const ParsedArgs& args)
{
    const QString text = args.Value(QStringLiteral("channels"), QStringLiteral("rgb"));
    unsigned int channels = 0;
    for (const QChar c : text) {
        const int bit = QStringLiteral("rgba").indexOf(c);
        if (bit < 0)
            throw Error(QStringLiteral("invert: bad value %1 for --channels (any of the letters r, g, b, a)")
                            .arg(Quoted(text)));
        channels |= 1u << bit;
    }
    if (!channels)
        throw Error(QStringLiteral("invert: --channels names no channel"));
    const ImageOptions options = ImageOptionsFrom(args, QStringLiteral("invert"));
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);
    CommandProgress progress(QStringLiteral("invert"));
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    progress.Step(QStringLiteral("invert"), 0.75);
    InvertImage(picture.image, channels);
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(50, InvertSyntax, RunInvert, false)

} // namespace kximg
