// kximg icc: converts colours between two ICC profiles.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "Profiles.h"
#include "WorkingImage.h"

#include "KXColorTransform.h"
#include "KXImageConversion.h"
#include "VQCMSTransform.h"

#include <QColorSpace>

#include <cstdio>

namespace kximg {

namespace {

const CommandSyntax& IccSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("icc"),
        QStringLiteral("icc IN OUT --from PROFILE --to PROFILE"),
        QStringLiteral("convert colours between two ICC profiles"),
        QStringLiteral("Converts the colours of IN from the --from profile to the --to profile\n"
                       "(perceptual intent; alpha kept) and writes OUT, which carries the --to\n"
                       "profile where its format can (PNG, JPEG). A PROFILE is an ICC file, one of\n"
                       "the built-in RGB profiles ") +
            BuiltInProfileNames().join(QStringLiteral(", ")) +
            QStringLiteral(",\nor, for --from, 'embedded': the profile IN carries. Both must be RGB profiles.\n"
                           "Two profiles with the same description count as the same profile: the\n"
                           "pixels are then copied unchanged (and a note says so)."),
        QList<OptionSyntax>{OptionSyntax{QStringLiteral("from"), QChar(), QStringLiteral("PROFILE"),
                      QStringLiteral("the profile IN's colours are in (required)")},
         OptionSyntax{QStringLiteral("to"), QChar(), QStringLiteral("PROFILE"),
                      QStringLiteral("the profile OUT's colours are to be in (required)")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg icc photo.png wide.png --from srgb --to display-p3\n"
                       "  kximg icc scan.tif scan.png --from embedded --to srgb\n"
                       "  kximg icc photo.png print.png --from srgb --to /usr/share/color/icc/printer.icc")};
    return syntax;
}

void PrintLine(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
}

int RunIcc(const ParsedArgs& args)
{
    const QString command = QStringLiteral("icc");
    for (const char* option : {"from", "to"})
        if (!args.Has(QLatin1String(option)))
            throw Error(QStringLiteral("icc: --%1 is required (see 'kximg icc --help')").arg(QLatin1String(option)));
    const QString fromText = args.Value(QStringLiteral("from"));
    const QString toText = args.Value(QStringLiteral("to"));
    if (toText == QLatin1String("embedded"))
        throw Error(QStringLiteral("icc: bad value 'embedded' for --to (a profile file or a built-in name: %1)")
                        .arg(BuiltInProfileNames().join(QStringLiteral(", "))));
    const ImageOptions options = ImageOptionsFrom(args, command);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);
    const VQCMSProfile to = ProfileFor(QStringLiteral("to"), toText, nullptr);
    RequireRgb(QStringLiteral("to"), toText, to);
    VQCMSProfile from;
    if (fromText != QLatin1String("embedded")) {
        from = ProfileFor(QStringLiteral("from"), fromText, nullptr);
        RequireRgb(QStringLiteral("from"), fromText, from);
    }

    CommandProgress progress(command);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    if (fromText == QLatin1String("embedded")) {
        from = ProfileFor(QStringLiteral("from"), fromText, &picture.profile);
        RequireRgb(QStringLiteral("from"), fromText, from);
    }
    progress.Step(QStringLiteral("transform"), 0.75);
    const KXRGBA32ColorProfileTransform transform(from, to);
    if (from == to && from.ToByteArray() != to.ToByteArray()) {
        // The library takes profiles with one description for one profile.
        Warn(QStringLiteral("icc: the profiles for --from and --to differ but are both described as '%1': "
                            "they count as the same profile and the pixels are copied unchanged")
                 .arg(Described(from)));
    } else if (from == to) {
        progress.Finish();
        PrintLine(QStringLiteral("icc: both profiles are '%1'; the pixels are copied unchanged").arg(Described(from)));
    } else if (transform.GetForward().IsEmpty()) {
        // Both are RGB profiles that Little CMS reads, yet it builds no
        // transform between them: a damaged profile, so bad input.
        throw Error(QStringLiteral("icc: Little CMS cannot build a transform from '%1' to '%2' "
                                   "(is a profile damaged?)")
                        .arg(Described(from), Described(to)));
    } else {
        transform(picture.image);
    }

    // OUT carries the profile its pixels are now in.
    picture.profile = to;
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(90, IccSyntax, RunIcc, false)

} // namespace kximg
