#include "Commands.h"

#include "ColourCommands.h"
#include "CompositingCommands.h"
#include "Demo.h"
#include "Error.h"
#include "ImageFiles.h"
#include "PixelForms.h"

#include "KXImageConversion.h"
#include "VQTileManager64.h"

#include <QFileInfo>

#include <cstdio>

namespace kximg {

namespace {

void PrintLine(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
}

// ---- info ------------------------------------------------------------------

const CommandSyntax& InfoSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("info"),
        QStringLiteral("info FILE"),
        QStringLiteral("size, format, alpha and tile layout of an image"),
        QStringLiteral("Reads FILE, converts it into the library's working image (8-bit BGRA in\n"
                       "tiles of 128 x 128 pixels) and reports its size, its file format and Qt's\n"
                       "in-memory format, whether it has an alpha channel, the tile grid, and how\n"
                       "many 64 KiB blocks of the tile manager the working image holds."),
        {},
        1,
        1,
        QStringLiteral("  kximg info photo.jpg")};
    return syntax;
}

int RunInfo(const ParsedArgs& args)
{
    const QString path = args.Positional().at(0);
    QByteArray fileFormat;
    const QImage image = ReadImage(path, &fileFormat);

    VQTileManager64* tiles = VQTileManager64::Instance();
    const long long before = tiles->GetAvailableCount();
    const KXImageRGBA32i working = ConvertImage<QImage, KXImageRGBA32i>(image);
    const long long held = before - tiles->GetAvailableCount();

    PrintLine(QStringLiteral("file:    %1").arg(path));
    PrintLine(QStringLiteral("size:    %1 x %2").arg(image.width()).arg(image.height()));
    PrintLine(QStringLiteral("format:  %1 (in memory: %2)")
                  .arg(QString::fromLatin1(fileFormat), FormatName(image.format())));
    PrintLine(QStringLiteral("alpha:   %1").arg(image.hasAlphaChannel() ? QStringLiteral("yes")
                                                                       : QStringLiteral("no")));
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

// ---- convert ---------------------------------------------------------------

const CommandSyntax& ConvertSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("convert"),
        QStringLiteral("convert IN OUT [--via FORM]"),
        QStringLiteral("convert an image, optionally through another pixel form"),
        QStringLiteral("Reads IN (any format Qt reads; the content decides), converts it into the\n"
                       "library's working image and writes it to OUT in the format of OUT's suffix.\n"
                       "OUT appears only complete: it is written beside the target and renamed."),
        {OptionSyntax{QStringLiteral("via"), QChar(), QStringLiteral("FORM"),
                    QStringLiteral("convert the working image to FORM and back first:\n"
                                   "rgba64  16-bit integer RGBA\n"
                                   "half    16-bit floating-point (half) RGBA\n"
                                   "hsl     hue, saturation, lightness and alpha\n"
                                   "cmyk    cyan, magenta, yellow, black ink and alpha")}},
        2,
        2,
        QStringLiteral("  kximg convert photo.jpg photo.png\n"
                       "  kximg convert photo.png photo-hsl.png --via hsl")};
    return syntax;
}

int RunConvert(const ParsedArgs& args)
{
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
    const QByteArray format = WriteFormatFor(out);
    const QImage image = ReadImage(in);

    const KXImageRGBA32i result = RoundTrip(ConvertImage<QImage, KXImageRGBA32i>(image), form);
    WriteImage(ConvertImage<KXImageRGBA32i, QImage>(result), out, format);
    return kExitOk;
}

} // namespace

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands{
        {&InfoSyntax(), RunInfo, false},
        {&ConvertSyntax(), RunConvert, false},
        {&BlendSyntax(), RunBlend, false},
        {&MaskSyntax(), RunMask, false},
        {&InvertSyntax(), RunInvert, false},
        {&AdjustSyntax(), RunAdjust, false},
        {&HistogramSyntax(), RunHistogram, true},
        {&AutoWhiteBalanceSyntax(), RunAutoWhiteBalance, false},
        {&IccSyntax(), RunIcc, false},
        {&DemoCommandSyntax(), RunDemo, true},
    };
    return commands;
}

const Command* FindCommand(const QString& name)
{
    for (const Command& command : Commands())
        if (command.syntax->name == name)
            return &command;
    return nullptr;
}

const CommandSyntax& ToolSyntax()
{
    static const CommandSyntax syntax{
        QString(),
        QStringLiteral("[--verbose] COMMAND [ARGUMENTS]"),
        QString(),
        QString(),
        {OptionSyntax{QStringLiteral("version"), QChar(), QString(), QStringLiteral("show the version")}},
        0,
        -1,
        QString()};
    return syntax;
}

QString ToolHelpText()
{
    QString text = QStringLiteral("Usage: kximg %1\n\n"
                                  "Reads, converts and examines images with the kxcore image library.\n\n"
                                  "Commands:\n")
                       .arg(ToolSyntax().usage);
    for (const Command& command : Commands())
        text += QStringLiteral("  %1%2\n").arg(command.syntax->name.leftJustified(10), command.syntax->summary);
    text += QStringLiteral("\n'kximg COMMAND --help' describes a command.\n");
    // The option list of the generic help text, without its usage line.
    const QString generic = HelpText(ToolSyntax());
    text += generic.mid(generic.indexOf(QStringLiteral("\nOptions:")));
    text += QStringLiteral("\nImages are read and written with Qt's image plugins. This build reads\n"
                           "  %1\nand writes\n  %2\n")
                .arg(ReadableFormats(), WritableFormats());
    text += QStringLiteral("\nExit status: 0 on success; 2 for a bad command line, an input that cannot\n"
                           "be read or an output that cannot be written (nothing is written then);\n"
                           "1 when the library fails (for example, out of tile memory); 130 and 143\n"
                           "when stopped by SIGINT and SIGTERM (nothing is written then either).\n");
    return text;
}

} // namespace kximg
