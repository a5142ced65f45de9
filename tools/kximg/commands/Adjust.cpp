// kximg adjust: one tonal or colour adjustment of the table in Adjustments.cpp.

#include "Adjustments.h"
#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "WorkingImage.h"

namespace kximg {

namespace {

const CommandSyntax& AdjustSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("adjust"),
        QStringLiteral("adjust IN OUT --op NAME [PARAMETERS]"),
        QStringLiteral("apply a tonal or colour adjustment"),
        QStringLiteral("Applies the adjustment NAME to IN and writes OUT. Each operation takes the\n"
                       "parameters listed beside it as options, e.g. --brightness 20 --contrast -10;\n"
                       "each is checked against its range, and one left out takes the default shown\n"
                       "in brackets. A COLOUR is #RRGGBB, #AARRGGBB or a name such as orange.\n\n"
                       "Operations:\n") +
            AdjustmentList() +
            QStringLiteral("\n\nenhance stretches each colour channel between the clipping thresholds of its\n"
                           "histogram (as 'kximg histogram' prints them). greyscale makes\n"
                           "(11 R + 16 G + 5 B) / 32 grey, desaturate (max + min) / 2. fill and\n"
                           "replace-colour set alpha as well; set-colour keeps it. alpha-as-grey shows\n"
                           "alpha as an opaque grey. Every other operation keeps alpha."),
        AdjustmentOptions() + ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg adjust photo.jpg out.png --op brightness-contrast --brightness 20 --contrast 15\n"
                       "  kximg adjust photo.jpg out.png --op curves --points 0:0,64:48,192:210,255:255\n"
                       "  kximg adjust photo.jpg out.png --op temperature --kelvin 3500 --strength 40")};
    return syntax;
}

int RunAdjust(const ParsedArgs& args)
{
    const QString command = QStringLiteral("adjust");
    if (!args.Has(QStringLiteral("op")))
        throw Error(QStringLiteral("adjust: --op is required (see 'kximg adjust --help')"));
    QHash<QString, QString> given;
    for (const QString& name : AdjustmentParameterNames())
        if (args.Has(name))
            given.insert(name, args.Value(name));
    const AdjustmentMaker make = PrepareAdjustment(args.Value(QStringLiteral("op")), given);
    const ImageOptions options = ImageOptionsFrom(args, command);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(command);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    progress.Step(args.Value(QStringLiteral("op")), 0.75);
    make(picture.image)(picture.image, &progress);
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(60, AdjustSyntax, RunAdjust, false)

} // namespace kximg
