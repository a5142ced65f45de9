#include "VQCMSTransform.h"

#include "KXParallel.h"
#include "KXTransformImageColors.h"

#include <lcms2.h>

#include <algorithm>

namespace {

// Opens a profile of our own from the profile's bytes; null when empty.
cmsHPROFILE Open(const VQCMSProfile& profile)
{
    const QByteArray bytes = profile.ToByteArray();
    return bytes.isEmpty() ? nullptr
                           : cmsOpenProfileFromMem(bytes.constData(), static_cast<cmsUInt32Number>(bytes.size()));
}

// The runs of one tile through the transform, in place (the area walk
// hands out = in). Little CMS keeps no state between calls, so tiles go in
// parallel.
void TransformRuns(const void* transform, KXRGBA32i* out, const KXRGBA32i*, unsigned int count, unsigned int lines)
{
    static_cast<const VQCMSTransform*>(transform)->Transform(out, count, lines, 128 * sizeof(KXRGBA32i));
}

void TransformImage(const VQCMSTransform& transform, KXImage<KXRGBA32i, 128, 128>& image)
{
    if (!transform.IsEmpty())
        KXColorWalk::TransformArea(image, image.Rect(), &TransformRuns, &transform);
}

void TransformImage(const VQCMSTransform& transform, QImage& image)
{
    if (transform.IsEmpty())
        return;
    if (image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_ARGB32, Qt::NoOpaqueDetection);
    // Bands of rows in parallel, each writing only its own rows; the image
    // is detached once, here, not by the bands.
    constexpr int kBand = 32;
    const unsigned int width = static_cast<unsigned int>(image.width());
    const int height = image.height();
    const auto stride = image.bytesPerLine();
    uchar* const bits = image.bits();
    std::vector<int> bands = KXParallel::Indices((height + kBand - 1) / kBand);
    const auto band = [&](int b) {
        const int first = b * kBand, lines = std::min(kBand, height - first);
        transform.Transform(reinterpret_cast<KXRGBA32i*>(bits + first * stride), width, static_cast<unsigned int>(lines),
                            static_cast<unsigned int>(stride));
    };
    KXParallel::BlockingMap(bands, band);
}

} // namespace

// ---- VQCMSTransform ----------------------------------------------------------

struct VQCMSTransform::Private {
    VQCMSProfile source;
    VQCMSProfile destination;
    cmsHTRANSFORM transform = nullptr;
};

VQCMSTransform::VQCMSTransform() : d(new Private) {}

VQCMSTransform::VQCMSTransform(const VQCMSProfile& source, const VQCMSProfile& destination) : d(new Private)
{
    d->source = source;
    d->destination = destination;
    Rebuild();
}

VQCMSTransform::VQCMSTransform(const VQCMSTransform& other) : d(new Private)
{
    d->source = other.d->source;
    d->destination = other.d->destination;
    Rebuild();
}

VQCMSTransform& VQCMSTransform::operator=(const VQCMSTransform& other)
{
    if (this != &other) {
        d->source = other.d->source;
        d->destination = other.d->destination;
        Rebuild();
    }
    return *this;
}

VQCMSTransform::~VQCMSTransform()
{
    if (d->transform)
        cmsDeleteTransform(d->transform);
    delete d;
}

void VQCMSTransform::Rebuild()
{
    if (d->transform) {
        cmsDeleteTransform(d->transform);
        d->transform = nullptr;
    }
    if (d->source.GetColorSpace() != VQCMSProfile::RGB || d->destination.GetColorSpace() != VQCMSProfile::RGB ||
        d->source == d->destination)
        return;
    cmsHPROFILE source = Open(d->source);
    cmsHPROFILE destination = Open(d->destination);
    if (source && destination)
        d->transform = cmsCreateTransform(source, TYPE_BGRA_8, destination, TYPE_BGRA_8, INTENT_PERCEPTUAL, 0);
    if (source)
        cmsCloseProfile(source);
    if (destination)
        cmsCloseProfile(destination);
}

bool VQCMSTransform::IsEmpty() const
{
    return d->transform == nullptr;
}

const VQCMSProfile& VQCMSTransform::GetSource() const
{
    return d->source;
}

const VQCMSProfile& VQCMSTransform::GetDestination() const
{
    return d->destination;
}

void VQCMSTransform::operator()(KXRGBA32i& pixel) const
{
    if (d->transform)
        cmsDoTransform(d->transform, &pixel, &pixel, 1);
}

void VQCMSTransform::operator()(QColor& color) const
{
    if (!d->transform)
        return;
    KXRGBA32i pixel(color.rgba());
    cmsDoTransform(d->transform, &pixel, &pixel, 1);
    color.setRgba(pixel.value);
}

void VQCMSTransform::Transform(KXRGBA32i* pixels, unsigned int count, unsigned int lines,
                               unsigned int bytesPerLine) const
{
    if (!d->transform || !pixels || count == 0 || lines == 0)
        return;
    if (lines == 1) {
        cmsDoTransform(d->transform, pixels, pixels, count);
        return;
    }
    // Little CMS transforms pixel by pixel (its one-pixel cache only saves
    // work), so several runs in one call give the same bytes as one call per
    // pixel.
    cmsDoTransformLineStride(d->transform, pixels, pixels, count, lines, bytesPerLine, bytesPerLine, 0, 0);
}

// ---- KXRGBA32ColorProfileTransform -------------------------------------------

KXRGBA32ColorProfileTransform::KXRGBA32ColorProfileTransform() = default;

KXRGBA32ColorProfileTransform::KXRGBA32ColorProfileTransform(const VQCMSProfile& source,
                                                             const VQCMSProfile& destination)
    : m_forward(source, destination), m_inverse(destination, source)
{
}

KXRGBA32ColorProfileTransform::KXRGBA32ColorProfileTransform(const KXRGBA32ColorProfileTransform& other) = default;
KXRGBA32ColorProfileTransform&
KXRGBA32ColorProfileTransform::operator=(const KXRGBA32ColorProfileTransform& other) = default;
KXRGBA32ColorProfileTransform::~KXRGBA32ColorProfileTransform() = default;

void KXRGBA32ColorProfileTransform::operator()(KXImage<KXRGBA32i, 128, 128>& image) const
{
    TransformImage(m_forward, image);
}

void KXRGBA32ColorProfileTransform::Invert(KXImage<KXRGBA32i, 128, 128>& image) const
{
    TransformImage(m_inverse, image);
}

void KXRGBA32ColorProfileTransform::operator()(QImage& image) const
{
    TransformImage(m_forward, image);
}

void KXRGBA32ColorProfileTransform::Invert(QImage& image) const
{
    TransformImage(m_inverse, image);
}

void KXRGBA32ColorProfileTransform::operator()(KXRGBA32i& pixel) const
{
    m_forward(pixel);
}

void KXRGBA32ColorProfileTransform::Invert(KXRGBA32i& pixel) const
{
    m_inverse(pixel);
}

void KXRGBA32ColorProfileTransform::operator()(void*, unsigned int) const {}
void KXRGBA32ColorProfileTransform::Invert(void*, unsigned int) const {}
