#include "Samplers.h"

#include "Error.h"
#include "OptionValues.h"

#include "KXTransformImage.h"

namespace kximg {

OptionSyntax SamplerOptionSyntax(const QString& fallback)
{
    QString help = QStringLiteral("nearest, bilinear or bicubic");
    help.replace(fallback, fallback + QStringLiteral(" (default)"));
    return OptionSyntax{QStringLiteral("sampler"), QChar(), QStringLiteral("NAME"), help};
}

QString SamplerOption(const ParsedArgs& args, const QString& command, const QString& fallback)
{
    return ChoiceOption(args, command, QStringLiteral("sampler"),
                        {QStringLiteral("nearest"), QStringLiteral("bilinear"), QStringLiteral("bicubic")}, fallback);
}

KXImageRGBA32i Resample(const QString& sampler, const QString& command, const KXImageRGBA32i& source,
                        const QTransform& transform, const QSize& size)
{
    KXImageRGBA32i result(static_cast<unsigned int>(size.width()), static_cast<unsigned int>(size.height()));
    const auto run = sampler == QLatin1String("nearest")    ? NearestNeighbourTransformImage
                     : sampler == QLatin1String("bilinear") ? BilinearTransformImage
                                                            : BicubicTransformImage;
    if (!run(source, transform, result, QRect()))
        throw Error(QStringLiteral("%1: the library could not transform the picture").arg(command), kExitFailure);
    result.profile = source.profile;
    result.exif = source.exif;
    return result;
}

} // namespace kximg
