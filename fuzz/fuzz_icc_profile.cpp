// Fuzz target: ICC profile bytes loaded; when they load, the profile is
// saved and loaded again (the same profile), transforms to and from sRGB
// are built and one 128 x 128 tile and a small QImage are converted both
// ways. The first byte chooses the directions and the QImage format.

#include "KXFuzzSupport.h"

#include "VQCMSProfile.h"
#include "VQCMSTransform.h"

#include <QImage>

#include <lcms2.h>

namespace {

const VQCMSProfile& SRGB()
{
    static const VQCMSProfile profile = [] {
        cmsHPROFILE handle = cmsCreate_sRGBProfile();
        cmsUInt32Number size = 0;
        cmsSaveProfileToMem(handle, nullptr, &size);
        QByteArray bytes(static_cast<int>(size), '\0');
        cmsSaveProfileToMem(handle, bytes.data(), &size);
        cmsCloseProfile(handle);
        VQCMSProfile loaded;
        KXFUZZ_CHECK(loaded.FromByteArray(bytes));
        return loaded;
    }();
    return profile;
}

void Convert(const KXRGBA32ColorProfileTransform& transform, uint8_t flags, uint32_t seed)
{
    KXImageRGBA32i tile = KXFuzz::Pattern(128, 128, seed);
    transform(tile);
    KXFUZZ_CHECK(tile.Width() == 128 && tile.Height() == 128);
    if (flags & 2)
        transform.Invert(tile);
    static const QImage::Format formats[] = {QImage::Format_ARGB32, QImage::Format_RGB32,
                                             QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888,
                                             QImage::Format_Grayscale8, QImage::Format_RGBA8888};
    QImage image(7, 5, formats[(flags >> 2) % 6]);
    image.fill(QColor::fromRgba(seed));
    transform(image);
    if (flags & 2)
        transform.Invert(image);
    KXRGBA32i pixel(seed);
    transform(pixel);
    transform.Invert(pixel);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KXFuzz::Setup();
    if (size < 1)
        return 0;
    const long long before = KXFuzz::FreeBlocks();
    const uint8_t flags = data[0];
    {
        VQCMSProfile profile;
        const bool loaded = profile.Load(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
        KXFUZZ_CHECK(loaded || profile.IsEmpty());
        if (loaded && !profile.IsEmpty()) {
            (void)profile.GetColorSpace();
            (void)profile.GetInfo();
            const QByteArray saved = profile.ToByteArray();
            if (profile.GetMemSize() >= 0)
                KXFUZZ_CHECK(profile.GetMemSize() == saved.size());
            VQCMSProfile again;
            if (again.FromByteArray(saved))
                KXFUZZ_CHECK(again == profile);
            const uint32_t seed = static_cast<uint32_t>(size) * 2654435761u;
            const KXRGBA32ColorProfileTransform to(SRGB(), profile);
            Convert(to, flags, seed);
            if (flags & 1) {
                const KXRGBA32ColorProfileTransform from(profile, SRGB());
                Convert(from, flags, ~seed);
            }
        }
    }
    KXFUZZ_CHECK(KXFuzz::FreeBlocks() == before);
    return 0;
}
