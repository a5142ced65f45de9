// kximg resize: a picture to a new size, by a factor or to a width and/or
// height, through one of the library's samplers.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"
#include "Samplers.h"
#include "WorkingImage.h"

#include <QTransform>

#include <algorithm>
#include <cmath>

namespace kximg {

namespace {

const QString kCommand = QStringLiteral("resize");

const CommandSyntax& ResizeSyntax()
{
    static const CommandSyntax syntax{
        kCommand,
        QStringLiteral("resize IN OUT --scale S | --width W | --height H | --size WxH [--sampler NAME]"),
        QStringLiteral("scale a picture to a new size"),
        QStringLiteral("Resamples IN to a new size and writes OUT. --scale multiplies both sides;\n"
                       "--width or --height alone keep the aspect ratio (the other side rounded);\n"
                       "--size (or --width with --height) gives both sides. Shrinking to half or\n"
                       "less box-blurs a copy first with the bilinear and bicubic samplers."),
        QList<OptionSyntax>{
            OptionSyntax{QStringLiteral("scale"), QChar(), QStringLiteral("S"),
                         QStringLiteral("factor for both sides, 0.01 to 16")},
            OptionSyntax{QStringLiteral("width"), QChar(), QStringLiteral("W"),
                         QStringLiteral("output width, 1 to 30000")},
            OptionSyntax{QStringLiteral("height"), QChar(), QStringLiteral("H"),
                         QStringLiteral("output height, 1 to 30000")},
            OptionSyntax{QStringLiteral("size"), QChar(), QStringLiteral("WxH"),
                         QStringLiteral("output size, 1 to 30000 each")},
            SamplerOptionSyntax(QStringLiteral("bicubic"))} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg resize photo.jpg half.jpg --scale 0.5\n"
                       "  kximg resize photo.jpg web.jpg --width 1600 --quality 90")};
    return syntax;
}

int RunResize(const ParsedArgs& args)
{
    const bool byScale = args.Has(QStringLiteral("scale"));
    const bool bySize = args.Has(QStringLiteral("size"));
    const bool bySide = args.Has(QStringLiteral("width")) || args.Has(QStringLiteral("height"));
    if (int(byScale) + int(bySize) + int(bySide) != 1)
        throw Error(QStringLiteral("resize: give one of --scale, --size, or --width and/or --height"));
    const double scale = DoubleOption(args, kCommand, QStringLiteral("scale"), 1, 0.01, 16);
    const int width = IntOption(args, kCommand, QStringLiteral("width"), 0, 1, 30000);
    const int height = IntOption(args, kCommand, QStringLiteral("height"), 0, 1, 30000);
    const QSize size = bySize ? SizeValue(kCommand, QStringLiteral("size"), args.Value(QStringLiteral("size"))) : QSize();
    const QString sampler = SamplerOption(args, kCommand, QStringLiteral("bicubic"));
    const ImageOptions options = ImageOptionsFrom(args, kCommand);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(kCommand);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    const double w = picture.image.Width(), h = picture.image.Height();
    const auto side = [](double length) { return std::max(1, static_cast<int>(std::lround(length))); };
    QSize target;
    if (byScale)
        target = QSize(side(w * scale), side(h * scale));
    else if (bySize)
        target = size;
    else
        target = QSize(width ? width : side(w * height / h), height ? height : side(h * width / w));
    if (target.width() > 30000 || target.height() > 30000)
        throw Error(QStringLiteral("resize: the result would be larger than 30000 x 30000"));
    progress.Step(QStringLiteral("resize"), 0.75);
    const QTransform transform = QTransform::fromScale(target.width() / w, target.height() / h);
    picture.image = Resample(sampler, kCommand, picture.image, transform, target);
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(56, ResizeSyntax, RunResize, false)

} // namespace kximg
