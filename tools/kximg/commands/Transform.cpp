// kximg transform: draws a picture through an affine transform with the
// nearest, bilinear or bicubic sampler.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"
#include "Samplers.h"
#include "WorkingImage.h"

#include <QTransform>

#include <cmath>

namespace kximg {

namespace {

const QString kCommand = QStringLiteral("transform");

const CommandSyntax& TransformSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("transform"),
        QStringLiteral("transform IN OUT --matrix a,b,c,d,e,f | [--rotate DEG] [--scale S] --sampler "
                       "nearest|bilinear|bicubic [--size WxH]"),
        QStringLiteral("rotate, scale or map a picture through an affine transform"),
        QStringLiteral("Draws IN through a transform into a transparent picture and writes OUT. Every\n"
                       "output pixel's centre is mapped back into IN and sampled there; pixels that\n"
                       "map outside IN stay transparent. --matrix gives the transform as Qt's\n"
                       "m11,m12,m21,m22,dx,dy (x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy)\n"
                       "and OUT has the size of IN. --scale scales the picture by S and --rotate\n"
                       "turns it DEG degrees clockwise about its centre (after scaling); OUT just\n"
                       "holds the result. The bilinear and bicubic samplers box-blur a copy first\n"
                       "when the picture shrinks to half or less along an axis."),
        QList<OptionSyntax>{
            OptionSyntax{QStringLiteral("matrix"), QChar(), QStringLiteral("a,b,c,d,e,f"),
                         QStringLiteral("the six coefficients, numbers from -100000 to 100000")},
            OptionSyntax{QStringLiteral("rotate"), QChar(), QStringLiteral("DEG"),
                         QStringLiteral("clockwise angle, -360 to 360")},
            OptionSyntax{QStringLiteral("scale"), QChar(), QStringLiteral("S"),
                         QStringLiteral("scale factor, 0.01 to 16 (default 1), alone or with --rotate")},
            SamplerOptionSyntax(QStringLiteral("bilinear")),
            OptionSyntax{QStringLiteral("size"), QChar(), QStringLiteral("WxH"),
                         QStringLiteral("output size, 1 to 30000 each")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg transform photo.jpg tilted.png --rotate 30 --sampler bicubic\n"
                       "  kximg transform photo.jpg small.jpg --scale 0.25\n"
                       "  kximg transform photo.jpg sheared.png --matrix 1,0,0.3,1,0,0 --size 2000x1000")};
    return syntax;
}

int RunTransform(const ParsedArgs& args)
{
    const bool matrix = args.Has(QStringLiteral("matrix"));
    const bool turnOrScale = args.Has(QStringLiteral("rotate")) || args.Has(QStringLiteral("scale"));
    if (matrix && turnOrScale)
        throw Error(QStringLiteral("transform: --matrix goes alone (without --rotate and --scale)"));
    if (!matrix && !turnOrScale)
        throw Error(QStringLiteral("transform: give --matrix, or --rotate and/or --scale"));
    const QString sampler = SamplerOption(args, kCommand, QStringLiteral("bilinear"));
    QTransform transform;
    if (matrix) {
        const QString text = args.Value(QStringLiteral("matrix"));
        const QStringList parts = text.split(QLatin1Char(','));
        if (parts.size() != 6)
            BadValue(kCommand, QStringLiteral("matrix"), text, QStringLiteral("six numbers a,b,c,d,e,f"));
        double m[6];
        for (int i = 0; i < 6; ++i)
            m[i] = DoubleValue(kCommand, QStringLiteral("matrix"), parts[i], -100000, 100000);
        transform = QTransform(m[0], m[1], m[2], m[3], m[4], m[5]);
        if (!transform.isInvertible())
            throw Error(QStringLiteral("transform: the matrix %1 cannot be inverted").arg(text));
    }
    const double degrees = DoubleOption(args, kCommand, QStringLiteral("rotate"), 0, -360, 360);
    const double scale = DoubleOption(args, kCommand, QStringLiteral("scale"), 1, 0.01, 16);
    const bool sized = args.Has(QStringLiteral("size"));
    const QSize size = sized ? SizeValue(kCommand, QStringLiteral("size"), args.Value(QStringLiteral("size"))) : QSize();
    const ImageOptions options = ImageOptionsFrom(args, kCommand);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(kCommand);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    const QSizeF in(picture.image.Width(), picture.image.Height());
    QSize outSize = sized ? size : picture.image.Rect().size();
    if (!matrix) {
        // Scale and turn about the centre, then move the result to the origin.
        const QTransform turn =
            QTransform::fromTranslate(-in.width() / 2, -in.height() / 2) * QTransform::fromScale(scale, scale) *
            QTransform().rotate(degrees);
        const QRectF bounds = turn.mapRect(QRectF(QPointF(0, 0), in));
        transform = turn * QTransform::fromTranslate(-bounds.left(), -bounds.top());
        if (!sized)
            outSize = QSize(std::max(1, int(std::ceil(bounds.width() - 1e-9))),
                            std::max(1, int(std::ceil(bounds.height() - 1e-9))));
        if (outSize.width() > 30000 || outSize.height() > 30000)
            throw Error(QStringLiteral("transform: the result would be larger than 30000 x 30000; give --size"));
    }
    progress.Step(QStringLiteral("transform"), 0.75);
    picture.image = Resample(sampler, kCommand, picture.image, transform, outSize);
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(58, TransformSyntax, RunTransform, false)

} // namespace kximg
