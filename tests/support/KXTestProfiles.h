#ifndef KXTESTPROFILES_H
#define KXTESTPROFILES_H

// ICC profiles made by Little CMS itself, as whole profile blobs, for the
// tests and benchmarks that compare with it. Link PkgConfig::LCMS2.

#include <QByteArray>

#include <lcms2.h>

namespace KXTestProfiles {

// The profile's bytes; the handle is closed. Empty if saving fails.
inline QByteArray SaveAndClose(cmsHPROFILE handle)
{
    cmsUInt32Number size = 0;
    QByteArray bytes;
    if (cmsSaveProfileToMem(handle, nullptr, &size)) {
        bytes.resize(static_cast<int>(size));
        if (!cmsSaveProfileToMem(handle, bytes.data(), &size))
            bytes.clear();
    }
    cmsCloseProfile(handle);
    return bytes;
}

inline void Describe(cmsHPROFILE handle, const wchar_t* description)
{
    cmsMLU* text = cmsMLUalloc(nullptr, 1);
    cmsMLUsetWide(text, "en", "US", description);
    cmsWriteTag(handle, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
}

inline QByteArray SrgbBytes()
{
    return SaveAndClose(cmsCreate_sRGBProfile());
}

// An RGB profile with wide-gamut primaries (red 0.64/0.33, green 0.21/0.71,
// blue 0.15/0.06), D65 white, gamma 2.2 and the given description.
inline QByteArray WideRgbBytes(const wchar_t* description = L"Wide test RGB")
{
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE handle = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(gamma);
    Describe(handle, description);
    return SaveAndClose(handle);
}

inline QByteArray LabBytes()
{
    return SaveAndClose(cmsCreateLab4Profile(nullptr));
}

} // namespace KXTestProfiles

#endif // KXTESTPROFILES_H
