// kximg convert: a picture into the working image (and optionally through
// another pixel form) and back out, in another file format.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "PixelForms.h"
#include "WorkingImage.h"

namespace kximg {

namespace {

const CommandSyntax& ConvertSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("convert"),
        QStringLiteral("convert IN OUT [--via FORM]"),
        QStringLiteral("convert an image, optionally through another pixel form"),
        QStringLiteral("Reads IN (any format Qt reads; the content decides), converts it into the\n"
                       "library's working image and writes it to OUT in the format of OUT's suffix.\n"
                       "OUT appears only complete: it is written beside the target and renamed.\n"
                       "The picture is turned upright by its EXIF orientation (unless --no-rotate);\n"
                       "its colour profile, EXIF, XMP and IPTC go with it unless --strip.\n"
                       "16-bit PNG and TIFF stay 16-bit where OUT is PNG or TIFF."),
        QList<OptionSyntax>{OptionSyntax{QStringLiteral("via"), QChar(), QStringLiteral("FORM"),
                                         QStringLiteral("convert the working image to FORM and back first:\n"
                                                        "rgba64  16-bit integer RGBA\n"
                                                        "half    16-bit floating-point (half) RGBA\n"
                                                        "hsl     hue, saturation, lightness and alpha\n"
                                                        "cmyk    cyan, magenta, yellow, black ink and alpha")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg convert photo.jpg photo.png --compression 1\n"
                       "  kximg convert photo.png photo-hsl.png --via hsl\n"
                       "  cat photo.png | kximg convert - - --format jpg --quality 90 > photo.jpg")};
    return syntax;
}

int RunConvert(const ParsedArgs& args)
{
    const QString command = QStringLiteral("convert");
    const QString in = args.Positional().at(0);
    const QString out = args.Positional().at(1);
    // Cheap checks first: nothing is read when the command cannot succeed.
    PixelForm form = PixelForm::None;
    if (args.Has(QStringLiteral("via"))) {
        const QString value = args.Value(QStringLiteral("via"));
        const std::optional<PixelForm> parsed = ParsePixelForm(value);
        if (!parsed)
            throw Error(QStringLiteral("convert: bad value %1 for --via (choose one of: %2)")
                            .arg(Quoted(value), PixelFormNames().join(QStringLiteral(", "))));
        form = *parsed;
    }
    ImageOptions options = ImageOptionsFrom(args, command);
    // 16-bit input stays 16-bit unless a form of 8 bits a channel is asked for
    // (the 16-bit form is the rgba64 one already).
    options.keepDepth = form == PixelForm::None || form == PixelForm::Rgba64;
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(command);
    WorkingPicture picture = ReadWorking(in, options, &progress);
    if (form != PixelForm::None && !picture.IsDeep()) {
        progress.Step(QStringLiteral("via ") + PixelFormName(form), 0.75);
        picture.image = RoundTrip(picture.image, form);
    }
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(20, ConvertSyntax, RunConvert, false)

} // namespace kximg
