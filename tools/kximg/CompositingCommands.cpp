#include "CompositingCommands.h"

#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"

#include "KXBlendModes.h"
#include "KXImageConversion.h"
#include "KXImagePainter.h"

#include <QImage>

namespace kximg {

namespace {

KXImageRGBA32i ReadWorking(const QString& path)
{
    return ConvertImage<QImage, KXImageRGBA32i>(ReadImage(path));
}

QString ModeList()
{
    QStringList lines;
    QString line;
    for (unsigned int mode = 0; mode < 256; ++mode) {
        const char* name = BlendModeName(mode);
        if (!name)
            continue;
        const QString item = QStringLiteral("%1 %2").arg(mode).arg(QLatin1String(name));
        if (line.size() + item.size() > 66) {
            lines << line;
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(", ")) + item;
    }
    lines << line;
    return lines.join(QLatin1Char('\n'));
}

} // namespace

// ---- blend -----------------------------------------------------------------

const CommandSyntax& BlendSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("blend"),
        QStringLiteral("blend BASE LAYER OUT [--mode N] [--opacity F] [--at X,Y] [--mask FILE]\n"
                       "             [--reveal-outside] [--lock-alpha]"),
        QStringLiteral("composite a layer onto a base image with a blend mode"),
        QStringLiteral("Blends LAYER onto BASE with its top-left corner at X,Y and writes the result,\n"
                       "BASE's size, to OUT. Blend modes:\n") +
            ModeList() + QStringLiteral("\nAny other number blends as Normal."),
        {OptionSyntax{QStringLiteral("mode"), QChar(), QStringLiteral("N"),
                      QStringLiteral("blend mode number (default 0, Normal)")},
         OptionSyntax{QStringLiteral("opacity"), QChar(), QStringLiteral("F"),
                      QStringLiteral("layer opacity from 0 to 1 (default 1)")},
         OptionSyntax{QStringLiteral("at"), QChar(), QStringLiteral("X,Y"),
                      QStringLiteral("where the layer's top-left corner goes (default 0,0)")},
         OptionSyntax{QStringLiteral("mask"), QChar(), QStringLiteral("FILE"),
                      QStringLiteral("layer mask in the layer's coordinates: its alpha weights\n"
                                     "the layer (255 shows it, 0 hides it)")},
         OptionSyntax{QStringLiteral("reveal-outside"), QChar(), QString(),
                      QStringLiteral("with --mask: blend the layer fully where the mask ends\n"
                                     "(default: leave the base alone there)")},
         OptionSyntax{QStringLiteral("lock-alpha"), QChar(), QString(),
                      QStringLiteral("keep the base's alpha in every pixel")}},
        3,
        3,
        QStringLiteral("  kximg blend photo.png texture.png out.png --mode 13 --opacity 0.5\n"
                       "  kximg blend photo.png logo.png out.png --at 40,30 --mask logo-mask.png")};
    return syntax;
}

int RunBlend(const ParsedArgs& args)
{
    const QString command = QStringLiteral("blend");
    const int mode = IntOption(args, command, QStringLiteral("mode"), 0, 0, 255);
    const double opacity = DoubleOption(args, command, QStringLiteral("opacity"), 1.0, 0.0, 1.0);
    const QPoint at = PointOption(args, command, QStringLiteral("at"), QPoint(0, 0));
    const bool lockAlpha = args.Has(QStringLiteral("lock-alpha"));
    const bool reveal = args.Has(QStringLiteral("reveal-outside"));
    const QString out = args.Positional().at(2);
    const QByteArray format = WriteFormatFor(out);

    KXImageRGBA32i base = ReadWorking(args.Positional().at(0));
    const KXImageRGBA32i layer = ReadWorking(args.Positional().at(1));
    const QRect dstRect(at, QSize(static_cast<int>(layer.Width()), static_cast<int>(layer.Height())));
    if (args.Has(QStringLiteral("mask"))) {
        const KXImageRGBA32i mask = ReadWorking(args.Value(QStringLiteral("mask")));
        BlendMaskOn(layer, layer.Rect(), static_cast<unsigned int>(mode), base, dstRect, opacity, mask, mask.Rect(),
                    reveal, lockAlpha);
    } else {
        BlendOn(layer, layer.Rect(), static_cast<unsigned int>(mode), base, dstRect, opacity, lockAlpha);
    }
    WriteImage(ConvertImage<KXImageRGBA32i, QImage>(base), out, format);
    return kExitOk;
}

// ---- mask ------------------------------------------------------------------

const CommandSyntax& MaskSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("mask"),
        QStringLiteral("mask SOURCE OUT --kind KIND [--grey]"),
        QStringLiteral("make a layer mask from an image"),
        QStringLiteral("Makes a layer mask of SOURCE's size and writes it to OUT. A mask is black;\n"
                       "its alpha is the mask (255 shows a layer, 0 hides it)."),
        {OptionSyntax{QStringLiteral("kind"), QChar(), QStringLiteral("KIND"),
                      QStringLiteral("hide       hide everything (alpha 0)\n"
                                     "reveal     show everything (alpha 255)\n"
                                     "alpha      SOURCE's alpha\n"
                                     "luminance  SOURCE's luminance")},
         OptionSyntax{QStringLiteral("grey"), QChar(), QString(),
                      QStringLiteral("write the mask's alpha as an opaque grey picture")}},
        2,
        2,
        QStringLiteral("  kximg mask layer.png layer-mask.png --kind luminance")};
    return syntax;
}

int RunMask(const ParsedArgs& args)
{
    const QString command = QStringLiteral("mask");
    if (!args.Has(QStringLiteral("kind")))
        throw Error(QStringLiteral("mask: --kind is required (hide, reveal, alpha or luminance)"));
    const QString kind = ChoiceOption(args, command, QStringLiteral("kind"),
                                      {QStringLiteral("hide"), QStringLiteral("reveal"), QStringLiteral("alpha"),
                                       QStringLiteral("luminance")},
                                      QString());
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out);
    const KXImageRGBA32i source = ReadWorking(args.Positional().at(0));

    KXImageRGBA32i mask;
    if (kind == QLatin1String("hide"))
        CreateHideAllMask(mask, source);
    else if (kind == QLatin1String("reveal"))
        CreateRevealAllMask(mask, source);
    else if (kind == QLatin1String("alpha"))
        CreateFromTransparancyMask(mask, source);
    else
        CreateFromSourceMask(mask, source);

    QImage image = ConvertImage<KXImageRGBA32i, QImage>(mask);
    if (args.Has(QStringLiteral("grey")))
    {
        image = image.convertToFormat(QImage::Format_Alpha8);
        image.reinterpretAsFormat(QImage::Format_Grayscale8);
    }
    WriteImage(image, out, format);
    return kExitOk;
}

// ---- invert ----------------------------------------------------------------

const CommandSyntax& InvertSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("invert"),
        QStringLiteral("invert IN OUT [--channels CHANNELS]"),
        QStringLiteral("invert chosen channels of an image"),
        QStringLiteral("Replaces each chosen channel by 255 minus its value and writes OUT."),
        {OptionSyntax{QStringLiteral("channels"), QChar(), QStringLiteral("CHANNELS"),
                      QStringLiteral("any of the letters r, g, b, a (default rgb)")}},
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
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out);
    KXImageRGBA32i image = ReadWorking(args.Positional().at(0));
    InvertImage(image, channels);
    WriteImage(ConvertImage<KXImageRGBA32i, QImage>(image), out, format);
    return kExitOk;
}

} // namespace kximg
