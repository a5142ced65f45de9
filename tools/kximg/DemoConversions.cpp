// Demo operations of the pixel-form conversions: the round trip of the
// working image through every other form, and single channels of the HSL and
// CMYK forms made visible.

#include "DemoRegistry.h"
#include "PixelForms.h"

#include "KXImageConversion.h"

namespace kximg {

namespace {

DemoResult RoundTripResult(const DemoInput& input, PixelForm form)
{
    const QImage image = ConvertImage<KXImageRGBA32i, QImage>(RoundTrip(input.working, form));
    return {image, DifferenceNote(image, input.sample)};
}

void AddRoundTrip(DemoRegistry& registry, PixelForm form)
{
    registry.Add(QStringLiteral("roundtrip-") + PixelFormName(form),
                 QStringLiteral("The working image converted to %1 and back.").arg(PixelFormDescription(form)),
                 [form](const DemoInput& input) { return RoundTripResult(input, form); });
}

} // namespace

void AddSampleDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Sample"));
    registry.Add(QStringLiteral("sample"),
                 QStringLiteral("The sample picture: colour field, hue wheel, ramps, fine detail, text, "
                                "transparency."),
                 [](const DemoInput& input) {
                     // Through the working image and back: what every operation starts from.
                     const QImage image = ConvertImage<KXImageRGBA32i, QImage>(input.working);
                     const QString note = DifferenceNote(image, input.sample);
                     return DemoResult{image, input.origin.isEmpty() ? note : input.origin + QStringLiteral("; ") + note};
                 });
}

void AddConversionDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Pixel forms"));
    for (PixelForm form : {PixelForm::Rgba64, PixelForm::Half, PixelForm::Hsl, PixelForm::Cmyk})
        AddRoundTrip(registry, form);

    registry.Add(QStringLiteral("cmyk-direct"),
                 QStringLiteral("The CMYK image converted straight to a QImage."),
                 [](const DemoInput& input) {
                     const KXImageCMYKA cmyk = ConvertImage<KXImageRGBA32i, KXImageCMYKA>(input.working);
                     const QImage direct = ConvertImage<KXImageCMYKA, QImage>(cmyk);
                     const QImage viaWorking =
                         ConvertImage<KXImageRGBA32i, QImage>(ConvertImage<KXImageCMYKA, KXImageRGBA32i>(cmyk));
                     return DemoResult{direct, DifferenceNote(direct, viaWorking, QStringLiteral("roundtrip-cmyk"))};
                 });

    registry.Group(QStringLiteral("Channels"));
    registry.Add(QStringLiteral("hsl-hue"),
                 QStringLiteral("HSL hue as grey: black at 0\u00b0 (red), white towards 360\u00b0."),
                 [](const DemoInput& input) {
                     const KXImageHSLA hsl = ConvertImage<KXImageRGBA32i, KXImageHSLA>(input.working);
                     // Hue in hundredths of a degree, 0 .. 36000.
                     return DemoResult{ChannelAsGrey(hsl, [](const KXHSLA& p) { return p.h * 255u / 36000u; }), {}};
                 });
    registry.Add(QStringLiteral("hsl-saturation"),
                 QStringLiteral("HSL saturation as grey: black for greys, white for pure colours."),
                 [](const DemoInput& input) {
                     const KXImageHSLA hsl = ConvertImage<KXImageRGBA32i, KXImageHSLA>(input.working);
                     return DemoResult{ChannelAsGrey(hsl, [](const KXHSLA& p) { return p.s; }), {}};
                 });
    registry.Add(QStringLiteral("hsl-lightness"),
                 QStringLiteral("HSL lightness as grey."),
                 [](const DemoInput& input) {
                     const KXImageHSLA hsl = ConvertImage<KXImageRGBA32i, KXImageHSLA>(input.working);
                     return DemoResult{ChannelAsGrey(hsl, [](const KXHSLA& p) { return p.l; }), {}};
                 });
    registry.Add(QStringLiteral("cmyk-black"),
                 QStringLiteral("The CMYK black (K) plate as it would print: dark where there is black ink."),
                 [](const DemoInput& input) {
                     const KXImageCMYKA cmyk = ConvertImage<KXImageRGBA32i, KXImageCMYKA>(input.working);
                     return DemoResult{ChannelAsGrey(cmyk, [](const KXCMYKA& p) { return 255 - p.k; }), {}};
                 });
    registry.Add(QStringLiteral("alpha"),
                 QStringLiteral("Alpha as grey (white is opaque), read from the CMYK image."),
                 [](const DemoInput& input) {
                     const KXImageCMYKA cmyk = ConvertImage<KXImageRGBA32i, KXImageCMYKA>(input.working);
                     return DemoResult{ChannelAsGrey(cmyk, [](const KXCMYKA& p) { return p.a; }), {}};
                 });
}

} // namespace kximg
