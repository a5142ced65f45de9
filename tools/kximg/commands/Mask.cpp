// kximg mask: makes a layer mask from an image.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"
#include "WorkingImage.h"

#include "KXImageConversion.h"
#include "KXImagePainter.h"

namespace kximg {

namespace {

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
    CommandProgress progress(command);
    const KXImageRGBA32i source = ReadWorking(args.Positional().at(0), ImageOptions(), &progress).image;
    progress.Step(QStringLiteral("mask"), 0.75);

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
    progress.Step(QStringLiteral("write"), 1.0);
    WriteImage(image, out, format);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(40, MaskSyntax, RunMask, false)

} // namespace kximg
