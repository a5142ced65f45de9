// kximg text: draws a line of text, optionally bent, tapered and turned,
// onto a new canvas or a picture, with an optional selection and caret.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"
#include "TextLayer.h"
#include "WorkingImage.h"

#include "KXTextHelper.h"

namespace kximg {

namespace {

const QString kCommand = QStringLiteral("text");
constexpr int kMargin = 16;

OptionSyntax Option(const char* name, const char* value, const char* help)
{
    return OptionSyntax{QLatin1String(name), QChar(), QLatin1String(value), QLatin1String(help)};
}

const CommandSyntax& TextSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("text"),
        QStringLiteral("text OUT --text T [--font F] [--size N] [--bend B] [--hdist H] [--vdist V] [--input IN]"),
        QStringLiteral("draw text, bent and tapered, onto a canvas or a picture"),
        QStringLiteral("Turns T into outlines in font F at N pixels, bends them along one sine period\n"
                       "(--bend: the wave's height in percent of half the text height; --vertical runs\n"
                       "the wave down the text), tapers them (--hdist, --vdist: percent), turns them\n"
                       "about their centre (--rotate) and draws them tile by tile. The canvas is\n"
                       "--input, or a --canvas of --background colour, or just large enough for\n"
                       "the text. --select draws a selection behind characters and --caret a caret\n"
                       "line with an under line."),
        QList<OptionSyntax>{Option("text", "T", "the text (required)"),
                            Option("font", "F", "font family (default DejaVu Sans)"),
                            Option("size", "N", "pixel size, 1 to 1000 (default 48)"),
                            Option("bend", "B", "bend in percent, -500 to 500 (default 0)"),
                            Option("hdist", "H", "horizontal taper in percent, -500 to 500 (default 0)"),
                            Option("vdist", "V", "vertical taper in percent, -500 to 500 (default 0)"),
                            Option("vertical", "", "bend along the vertical axis"),
                            Option("rotate", "DEG", "turn by DEG degrees clockwise, -360 to 360 (default 0)"),
                            Option("colour", "C", "text colour: #RRGGBB, #AARRGGBB or a name (default black)"),
                            Option("input", "IN", "draw onto this picture"),
                            Option("canvas", "W,H", "a new canvas of this size, 1 to 20000 each"),
                            Option("background", "C", "canvas colour (default transparent)"),
                            Option("at", "X,Y", "where the text's top-left goes (default: centred)"),
                            Option("aliased", "", "draw without antialiasing"),
                            Option("select", "START,COUNT", "draw a selection behind these characters"),
                            Option("selection-colour", "C", "selection colour (default #6040A0FF)"),
                            Option("caret", "", "draw a caret at START of --select (or 0) and an under line\n(left out with --rotate)")} +
            ImageOptionSyntax(),
        1,
        1,
        QStringLiteral("  kximg text hello.png --text Hello --size 96 --bend 60\n"
                       "  kximg text card.jpg --input photo.jpg --text 'Summer' --colour white --at 40,40 --hdist 30")};
    return syntax;
}

QColor ColourOption(const ParsedArgs& args, const QString& option, const QColor& fallback)
{
    return args.Has(option) ? ColourValue(kCommand, option, args.Value(option)) : fallback;
}

int RunText(const ParsedArgs& args)
{
    const QString text = args.Value(QStringLiteral("text"));
    if (!args.Has(QStringLiteral("text")))
        throw Error(QStringLiteral("text: --text is required"));
    if (text.isEmpty())
        throw Error(QStringLiteral("text: --text is empty"));
    QFont font(args.Value(QStringLiteral("font"), QStringLiteral("DejaVu Sans")));
    font.setPixelSize(IntOption(args, kCommand, QStringLiteral("size"), 48, 1, 1000));
    const double bend = DoubleOption(args, kCommand, QStringLiteral("bend"), 0, -500, 500);
    const double hdist = DoubleOption(args, kCommand, QStringLiteral("hdist"), 0, -500, 500);
    const double vdist = DoubleOption(args, kCommand, QStringLiteral("vdist"), 0, -500, 500);
    const double angle = DoubleOption(args, kCommand, QStringLiteral("rotate"), 0, -360, 360);
    const QColor colour = ColourOption(args, QStringLiteral("colour"), Qt::black);
    const QColor background = ColourOption(args, QStringLiteral("background"), Qt::transparent);
    const QColor selectionColour = ColourOption(args, QStringLiteral("selection-colour"), QColor(0x60, 0x40, 0xA0, 0xFF));
    QVector<int> selection{0, 0};
    if (args.Has(QStringLiteral("select")))
        selection = IntListValue(kCommand, QStringLiteral("select"), args.Value(QStringLiteral("select")), 2, 0,
                                 text.size(), QStringLiteral("START,COUNT"));
    QSize canvasSize;
    if (args.Has(QStringLiteral("canvas"))) {
        const QVector<int> size = IntListValue(kCommand, QStringLiteral("canvas"), args.Value(QStringLiteral("canvas")),
                                               2, 1, 20000, QStringLiteral("W,H"));
        canvasSize = QSize(size[0], size[1]);
    }
    if (args.Has(QStringLiteral("canvas")) && args.Has(QStringLiteral("input")))
        throw Error(QStringLiteral("text: give --canvas or --input, not both"));
    const QPoint at = PointOption(args, kCommand, QStringLiteral("at"), QPoint());
    const ImageOptions options = ImageOptionsFrom(args, kCommand);
    const QString out = args.Positional().at(0);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(kCommand);
    WorkingPicture picture;
    if (args.Has(QStringLiteral("input")))
        picture = ReadWorking(args.Value(QStringLiteral("input")), options, &progress);
    progress.Step(QStringLiteral("draw"), 0.75);

    KXTextHelper helper;
    helper.SetText(text);
    helper.SetFont(font);
    helper.SetColor(colour);
    helper.SetRenderMode(args.Has(QStringLiteral("aliased")) ? 1 : 2);
    helper.SetStyle(bend != 0 || hdist != 0 || vdist != 0 ? 1 : 0);
    helper.SetOrientation(args.Has(QStringLiteral("vertical")));
    helper.SetBend(bend);
    helper.SetHDistortion(hdist);
    helper.SetVDistortion(vdist);
    QMatrix4x4 turn;
    turn.rotate(float(angle), 0, 0, 1);
    helper.SetTransform(turn);

    QPointF offset;
    const KXImageRGBA32i drawn = helper.CreateImageByTextWithDeformation(offset);
    if (drawn.Width() == 0 || drawn.Height() == 0)
        throw Error(QStringLiteral("text: the text has no visible outline in this font"));
    if (!picture.image.Width()) {
        if (canvasSize.isEmpty())
            canvasSize = QSize(int(drawn.Width()) + 2 * kMargin, int(drawn.Height()) + 2 * kMargin);
        picture.image = KXImageRGBA32i(unsigned(canvasSize.width()), unsigned(canvasSize.height()));
        picture.image.Fill(KXRGBA32i(background.rgba()));
    }
    // The text's origin on the canvas (the text image goes to origin +
    // offset): given, or such that the text image is centred.
    const QPoint centred((int(picture.image.Width()) - int(drawn.Width())) / 2,
                         (int(picture.image.Height()) - int(drawn.Height())) / 2);
    const QPoint origin = args.Has(QStringLiteral("at")) ? at : centred - offset.toPoint();
    TextDecoration decoration;
    decoration.start = selection[0];
    decoration.count = selection[1];
    decoration.selection = selectionColour;
    decoration.caret = args.Has(QStringLiteral("caret"));
    decoration.caretColour = colour;
    DrawTextLayer(picture.image, helper, drawn, offset, origin, decoration);
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(85, TextSyntax, RunText, true)

} // namespace kximg
