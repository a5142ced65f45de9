// ICC transforms checked against Little CMS itself: every expected pixel is
// what cmsDoTransform gives for the same two profiles, format and intent
// over a plain buffer.

#include "KXColorTransform.h"
#include "KXTestSupport.h"
#include "../filters/KXFilterTestImages.h"
#include "VQCMSTransform.h"

#include <QColor>

#include <gtest/gtest.h>
#include <lcms2.h>

#include "KXTestProfiles.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace KXTestProfiles;

using Image = KXImage<KXRGBA32i, 128, 128>;

VQCMSProfile Profile(const QByteArray& bytes)
{
    VQCMSProfile profile;
    EXPECT_TRUE(profile.FromByteArray(bytes));
    return profile;
}

// Little CMS over a buffer: the reference.
std::vector<KXRGBA32i> Reference(const QByteArray& from, const QByteArray& to, std::vector<KXRGBA32i> pixels)
{
    cmsHPROFILE source = cmsOpenProfileFromMem(from.constData(), static_cast<cmsUInt32Number>(from.size()));
    cmsHPROFILE destination = cmsOpenProfileFromMem(to.constData(), static_cast<cmsUInt32Number>(to.size()));
    cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_BGRA_8, destination, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
    EXPECT_NE(transform, nullptr);
    std::vector<KXRGBA32i> out(pixels.size());
    cmsDoTransform(transform, pixels.data(), out.data(), static_cast<cmsUInt32Number>(pixels.size()));
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(destination);
    for (size_t i = 0; i < out.size(); ++i)
        out[i].a = pixels[i].a; // a separate output buffer gets no alpha from Little CMS
    return out;
}

// 300 x 200, random colours and alphas.
Image RandomImage(std::vector<KXRGBA32i>& pixels)
{
    std::mt19937 random(17);
    pixels.resize(300 * 200);
    for (KXRGBA32i& p : pixels)
        p = KXRGBA32i(random());
    Image image(300, 200);
    for (unsigned int y = 0; y < 200; ++y)
        image.SetLine(y, &pixels[y * 300], 300 * 4);
    return image;
}

using KXFilterTest::Pixels;

} // namespace

TEST(VQCMSTransform, EmptyForIdenticalOrNonRgbProfiles)
{
    const VQCMSProfile srgb = Profile(SrgbBytes()), wide = Profile(WideRgbBytes()), lab = Profile(LabBytes());
    const VQCMSProfile srgbAgain = Profile(SrgbBytes()); // another object, same description
    struct Case {
        const VQCMSProfile* source;
        const VQCMSProfile* destination;
        bool empty;
    };
    const Case cases[] = {{&srgb, &srgb, true},  {&srgb, &srgbAgain, true}, {&srgb, &lab, true},
                          {&lab, &wide, true},   {&srgb, &wide, false},     {&wide, &srgb, false}};
    for (const Case& c : cases)
        EXPECT_EQ(VQCMSTransform(*c.source, *c.destination).IsEmpty(), c.empty);
    EXPECT_TRUE(VQCMSTransform().IsEmpty());
    EXPECT_TRUE(VQCMSTransform(VQCMSProfile(), wide).IsEmpty());

    // Empty transforms change nothing.
    KXRGBA32i pixel(0x80123456u);
    VQCMSTransform(srgb, srgbAgain)(pixel);
    EXPECT_EQ(pixel.value, 0x80123456u);
    std::vector<KXRGBA32i> pixels;
    Image image = RandomImage(pixels);
    const long long blocks = VQTileManager64::Instance()->GetAvailableCount();
    KXRGBA32ColorProfileTransform(srgb, lab)(image);
    EXPECT_EQ(VQTileManager64::Instance()->GetAvailableCount(), blocks) << "nothing to do, nothing detached";
    EXPECT_EQ(Pixels(image), pixels);

    // Copies build their own transform over the same profiles.
    const VQCMSTransform original(srgb, wide);
    VQCMSTransform copy(original), assigned;
    assigned = original;
    EXPECT_TRUE(!copy.IsEmpty() && !assigned.IsEmpty() && copy.GetSource() == srgb);
    assigned = VQCMSTransform();
    EXPECT_TRUE(assigned.IsEmpty());
}

TEST(VQCMSTransform, PixelsMatchLittleCmsAndAlphaIsKept)
{
    const QByteArray srgbBytes = SrgbBytes(), wideBytes = WideRgbBytes();
    const VQCMSProfile srgb = Profile(srgbBytes), wide = Profile(wideBytes);
    std::vector<KXRGBA32i> pixels;
    Image image = RandomImage(pixels);
    const Image before = image;
    const std::vector<KXRGBA32i> forward = Reference(srgbBytes, wideBytes, pixels);
    const std::vector<KXRGBA32i> backward = Reference(wideBytes, srgbBytes, pixels);
    ASSERT_NE(forward, pixels) << "the two profiles must differ for this test to mean anything";

    // Per pixel, and the same through the swapped object's inverse.
    const KXRGBA32ColorProfileTransform there(srgb, wide), back(wide, srgb);
    int wrong = 0;
    for (size_t i = 0; i < pixels.size(); i += 37) {
        KXRGBA32i p = pixels[i], q = pixels[i];
        there(p);
        back.Invert(q);
        wrong += p != forward[i] || q != forward[i];
    }
    EXPECT_EQ(wrong, 0);

    // The whole tiled image, forward then inverse with swapped profiles.
    const long long blocks = VQTileManager64::Instance()->GetAvailableCount();
    there(image);
    EXPECT_EQ(VQTileManager64::Instance()->GetAvailableCount(), blocks - 6) << "shared tiles copied";
    EXPECT_EQ(Pixels(image), forward);
    EXPECT_EQ(Pixels(before), pixels) << "the image that shared the tiles is untouched";
    {
        // Tile margins are not transformed: column 300 is still the 0 of the
        // new image.
        const KXTileAccess<const KXRGBA32i> edge = image.ReadTile(2, 1);
        EXPECT_EQ(edge[44].value, 0u);
    }
    Image other = before;
    there.Invert(other);
    EXPECT_EQ(Pixels(other), backward);

    // QColor: rgba() through the transform.
    QColor colour = QColor::fromRgba(pixels[5].value);
    VQCMSTransform(srgb, wide)(colour);
    EXPECT_EQ(colour.rgba(), forward[5].value);
}

TEST(VQCMSTransform, QImagesAndBufferForms)
{
    const QByteArray srgbBytes = SrgbBytes(), wideBytes = WideRgbBytes();
    const KXRGBA32ColorProfileTransform transform(Profile(srgbBytes), Profile(wideBytes));
    std::vector<KXRGBA32i> pixels;
    RandomImage(pixels);
    QImage qimage(300, 200, QImage::Format_ARGB32);
    for (int y = 0; y < 200; ++y)
        std::memcpy(qimage.scanLine(y), &pixels[y * 300], 300 * 4);
    transform(qimage);
    const std::vector<KXRGBA32i> forward = Reference(srgbBytes, wideBytes, pixels);
    EXPECT_EQ(std::memcmp(qimage.constBits(), forward.data(), forward.size() * 4), 0); // 300 x 4 bytes a line: no padding

    // Another format is converted to 32-bit ARGB first.
    QImage rgb(2, 1, QImage::Format_RGB888);
    rgb.setPixel(0, 0, 0xFF336699u);
    rgb.setPixel(1, 0, 0xFFFFFFFFu);
    transform.Invert(rgb);
    EXPECT_EQ(rgb.format(), QImage::Format_ARGB32);
    const std::vector<KXRGBA32i> back =
        Reference(wideBytes, srgbBytes, {KXRGBA32i(0xFF336699u), KXRGBA32i(0xFFFFFFFFu)});
    EXPECT_EQ(std::vector<uint32_t>({rgb.pixel(0, 0), rgb.pixel(1, 0)}), std::vector<uint32_t>({back[0].value, back[1].value}));

}
