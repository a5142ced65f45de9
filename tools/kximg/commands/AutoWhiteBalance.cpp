// kximg autowb: automatic white balance and exposure correction.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"
#include "WorkingImage.h"

#include "KXTransformImageColors.h"
#include "VQWBTransformation.h"


namespace kximg {

namespace {

const CommandSyntax& AutoWhiteBalanceSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("autowb"),
        QStringLiteral("autowb IN OUT [--function auto|over|under] [--strength N]"),
        QStringLiteral("automatic white balance and exposure correction"),
        QStringLiteral("Analyses IN (channel statistics, a grey point found among near-grey pixels,\n"
                       "a tone curve chosen by histogram matching), corrects it and writes OUT.\n"
                       "Alpha is kept."),
        QList<OptionSyntax>{OptionSyntax{QStringLiteral("function"), QChar(), QStringLiteral("FUNCTION"),
                      QStringLiteral("auto   white balance from the picture's statistics, then\n"
                                     "       the tone curve (default)\n"
                                     "over   darken, for an overexposed picture\n"
                                     "under  brighten, for an underexposed picture")},
         OptionSyntax{QStringLiteral("strength"), QChar(), QStringLiteral("N"),
                      QStringLiteral("0 to 100, how much of the correction (default 100; with\n"
                                     "auto the tone curve applies in full at any strength)")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg autowb photo.jpg balanced.png\n"
                       "  kximg autowb dark.jpg brighter.png --function under --strength 60")};
    return syntax;
}

int RunAutoWhiteBalance(const ParsedArgs& args)
{
    const QString command = QStringLiteral("autowb");
    const QStringList functions{QStringLiteral("auto"), QStringLiteral("over"), QStringLiteral("under")};
    const QString function = ChoiceOption(args, command, QStringLiteral("function"), functions, functions[0]);
    const int strength = IntOption(args, command, QStringLiteral("strength"), 100, 0, 100);
    const ImageOptions options = ImageOptionsFrom(args, command);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(command);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    progress.Step(QStringLiteral("analyse"), 0.5);
    // auto, over, under are BalanceFunction 0, 1, 2.
    const VQWBTransformation balance(
        picture.image, static_cast<VQWBTransformation::BalanceFunction>(functions.indexOf(function)), strength);
    progress.Step(QStringLiteral("balance"), 0.75);
    InBands(picture.image, &progress, [&](const QRect& band) { TransformPixels(picture.image, band, balance); });
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(80, AutoWhiteBalanceSyntax, RunAutoWhiteBalance, false)

} // namespace kximg
