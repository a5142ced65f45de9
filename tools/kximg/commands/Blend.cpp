// kximg blend: composites a layer onto a base image with a blend mode.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"
#include "WorkingImage.h"

#include "KXBlendModes.h"
#include "KXImagePainter.h"

#include <QRegularExpression>

namespace kximg {

namespace {

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

// A mode by its number or its name, spelled any way between "ColorBurn"
// and "color-burn" (or "colour burn"); an unknown one is refused.
unsigned int ModeOption(const ParsedArgs& args, const QString& command)
{
    const QString text = args.Value(QStringLiteral("mode"), QStringLiteral("0"));
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    const auto key = [](QString name) {
        return name.toLower().replace(QStringLiteral("colour"), QStringLiteral("color")).remove(QRegularExpression(QStringLiteral("[-_ ]")));
    };
    for (unsigned int mode = 0; mode < 256; ++mode) {
        const char* name = BlendModeName(mode);
        if (name && (isNumber ? number == static_cast<int>(mode) : key(text) == key(QLatin1String(name))))
            return mode;
    }
    BadValue(command, QStringLiteral("mode"), text,
             QStringLiteral("a blend mode's number or name, see 'kximg blend --help'"));
}

const CommandSyntax& BlendSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("blend"),
        QStringLiteral("blend BASE LAYER OUT [--mode MODE] [--opacity F] [--at X,Y] [--mask FILE]\n"
                       "             [--reveal-outside] [--lock-alpha]"),
        QStringLiteral("composite a layer onto a base image with a blend mode"),
        QStringLiteral("Blends LAYER onto BASE with its top-left corner at X,Y and writes the result,\n"
                       "BASE's size, to OUT. Blend modes:\n") +
            ModeList() + QStringLiteral("\nA mode is given by its number or its name (multiply, color-burn, ...)."),
        QList<OptionSyntax>{OptionSyntax{QStringLiteral("mode"), QChar(), QStringLiteral("MODE"),
                      QStringLiteral("blend mode, by number or name (default 0, normal)")},
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
                      QStringLiteral("keep the base's alpha in every pixel")}} +
            ImageOptionSyntax(),
        3,
        3,
        QStringLiteral("  kximg blend photo.png texture.png out.png --mode multiply --opacity 0.5\n"
                       "  kximg blend photo.png logo.png out.png --at 40,30 --mask logo-mask.png")};
    return syntax;
}

int RunBlend(const ParsedArgs& args)
{
    const QString command = QStringLiteral("blend");
    const unsigned int mode = ModeOption(args, command);
    const double opacity = DoubleOption(args, command, QStringLiteral("opacity"), 1.0, 0.0, 1.0);
    const QPoint at = PointOption(args, command, QStringLiteral("at"), QPoint(0, 0));
    const bool lockAlpha = args.Has(QStringLiteral("lock-alpha"));
    const bool reveal = args.Has(QStringLiteral("reveal-outside"));
    const ImageOptions options = ImageOptionsFrom(args, command);
    const QString out = args.Positional().at(2);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(command);
    WorkingPicture base = ReadWorking(args.Positional().at(0), options, &progress);
    const KXImageRGBA32i layer = ReadWorking(args.Positional().at(1), options).image;
    const QRect dstRect(at, QSize(static_cast<int>(layer.Width()), static_cast<int>(layer.Height())));
    if (!dstRect.intersects(base.image.Rect()))
        Warn(QStringLiteral("blend: the layer at %1,%2 (%3 x %4) misses the base (%5 x %6): nothing is blended")
                 .arg(at.x())
                 .arg(at.y())
                 .arg(layer.Width())
                 .arg(layer.Height())
                 .arg(base.image.Width())
                 .arg(base.image.Height()));
    progress.Step(QStringLiteral("blend"), 0.75);
    if (args.Has(QStringLiteral("mask"))) {
        const KXImageRGBA32i mask = ReadWorking(args.Value(QStringLiteral("mask")), options).image;
        BlendMaskOn(layer, layer.Rect(), mode, base.image, dstRect, opacity, mask, mask.Rect(), reveal, lockAlpha);
    } else {
        BlendOn(layer, layer.Rect(), mode, base.image, dstRect, opacity, lockAlpha);
    }
    WriteWorking(std::move(base), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(30, BlendSyntax, RunBlend, false)

} // namespace kximg
