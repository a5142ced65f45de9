#include "PixelForms.h"

#include "KXImageConversion.h"

namespace kximg {

namespace {

struct FormEntry {
    PixelForm form;
    const char* name;
    const char* description;
};

const FormEntry kForms[] = {
    {PixelForm::Rgba64, "rgba64", "16-bit integer RGBA"},
    {PixelForm::Half, "half", "16-bit floating-point (half) RGBA"},
    {PixelForm::Hsl, "hsl", "hue, saturation, lightness and alpha"},
    {PixelForm::Cmyk, "cmyk", "CMYK ink amounts and alpha"},
};

} // namespace

QStringList PixelFormNames()
{
    QStringList names;
    for (const FormEntry& entry : kForms)
        names << QString::fromLatin1(entry.name);
    return names;
}

std::optional<PixelForm> ParsePixelForm(const QString& name)
{
    for (const FormEntry& entry : kForms)
        if (name == QLatin1String(entry.name))
            return entry.form;
    return std::nullopt;
}

QString PixelFormName(PixelForm form)
{
    for (const FormEntry& entry : kForms)
        if (entry.form == form)
            return QString::fromLatin1(entry.name);
    return QStringLiteral("none");
}

QString PixelFormDescription(PixelForm form)
{
    for (const FormEntry& entry : kForms)
        if (entry.form == form)
            return QString::fromLatin1(entry.description);
    return QStringLiteral("8-bit BGRA (the working image)");
}

KXImageRGBA32i RoundTrip(const KXImageRGBA32i& working, PixelForm form)
{
    switch (form) {
    case PixelForm::None:
        return working;
    case PixelForm::Rgba64:
        return ConvertImage<KXImageRGBA64i, KXImageRGBA32i>(
            ConvertImage<KXImageRGBA32i, KXImageRGBA64i>(working));
    case PixelForm::Half:
        return ConvertImage<KXImageRGBA64f, KXImageRGBA32i>(
            ConvertImage<KXImageRGBA32i, KXImageRGBA64f>(working));
    case PixelForm::Hsl:
        return ConvertImage<KXImageHSLA, KXImageRGBA32i>(ConvertImage<KXImageRGBA32i, KXImageHSLA>(working));
    case PixelForm::Cmyk:
        return ConvertImage<KXImageCMYKA, KXImageRGBA32i>(
            ConvertImage<KXImageRGBA32i, KXImageCMYKA>(working));
    }
    return working;
}

} // namespace kximg
