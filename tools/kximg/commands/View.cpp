// kximg view: a scaled, panned view of a picture as the editor shows it,
// rendered with ScaleImage (nearest pixel, integer stepping).

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"
#include "WorkingImage.h"

#include "KXScaleImage.h"

#include <QColorSpace>
#include <QPointF>

#include <algorithm>

#include <cmath>

namespace kximg {

namespace {

const QString kCommand = QStringLiteral("view");

const CommandSyntax& ViewSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("view"),
        QStringLiteral("view IN OUT --scale S --offset X,Y [--size WxH]"),
        QStringLiteral("render a zoomed, panned view of a picture"),
        QStringLiteral("Renders the part of IN seen at zoom S with the source position X,Y at the top\n"
                       "left, the way the editor's canvas shows it: each view pixel shows the nearest\n"
                       "source pixel, found by whole-number stepping, so enlarged pixels are crisp\n"
                       "blocks. Parts of the view beyond the picture stay transparent. The view is\n"
                       "WxH pixels (default: the whole picture at that zoom, at most 30000 x 30000)."),
        QList<OptionSyntax>{OptionSyntax{QStringLiteral("scale"), QChar(), QStringLiteral("S"),
                                         QStringLiteral("zoom factor, 0.01 to 64")},
                            OptionSyntax{QStringLiteral("offset"), QChar(), QStringLiteral("X,Y"),
                                         QStringLiteral("source position at the top left, -1000000 to 1000000 each\n"
                                                        "(default 0,0)")},
                            OptionSyntax{QStringLiteral("size"), QChar(), QStringLiteral("WxH"),
                                         QStringLiteral("view size, 1 to 30000 each")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg view photo.jpg detail.png --scale 4 --offset 1200,800 --size 800x600\n"
                       "  kximg view photo.jpg preview.png --scale 0.25")};
    return syntax;
}

int RunView(const ParsedArgs& args)
{
    if (!args.Has(QStringLiteral("scale")))
        throw Error(QStringLiteral("view: give --scale"));
    const double scale = DoubleOption(args, kCommand, QStringLiteral("scale"), 1, 0.01, 64);
    QPointF offset;
    if (args.Has(QStringLiteral("offset"))) {
        const QString text = args.Value(QStringLiteral("offset"));
        const QStringList parts = text.split(QLatin1Char(','));
        if (parts.size() != 2)
            BadValue(kCommand, QStringLiteral("offset"), text, QStringLiteral("X,Y"));
        offset = QPointF(DoubleValue(kCommand, QStringLiteral("offset"), parts[0], -1e6, 1e6),
                         DoubleValue(kCommand, QStringLiteral("offset"), parts[1], -1e6, 1e6));
    }
    const bool sized = args.Has(QStringLiteral("size"));
    const QSize size = sized ? SizeValue(kCommand, QStringLiteral("size"), args.Value(QStringLiteral("size"))) : QSize();
    const ImageOptions options = ImageOptionsFrom(args, kCommand);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(kCommand);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    QSize viewSize = size;
    if (!sized) {
        const double w = std::ceil(picture.image.Width() * scale), h = std::ceil(picture.image.Height() * scale);
        if (w > 30000 || h > 30000)
            throw Error(QStringLiteral("view: the view would be larger than 30000 x 30000; give --size"));
        viewSize = QSize(std::max(1, int(w)), std::max(1, int(h)));
    }
    progress.Step(QStringLiteral("render"), 0.9);
    QImage view(viewSize, QImage::Format_ARGB32);
    if (view.isNull())
        throw Error(QStringLiteral("view: not enough memory for a %1 x %2 view").arg(viewSize.width()).arg(viewSize.height()),
                    kExitFailure);
    view.fill(Qt::transparent);
    if (!ScaleImage(picture.image, offset, scale, view))
        throw Error(QStringLiteral("view: the library could not render the view"), kExitFailure);
    if (!picture.profile.IsEmpty())
        view.setColorSpace(QColorSpace::fromIccProfile(picture.profile.ToByteArray()));
    picture = WorkingPicture();
    progress.Step(QStringLiteral("write"), 1.0);
    WriteImage(view, out, format, options);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(59, ViewSyntax, RunView, false)

} // namespace kximg
