#ifndef KXIMAGECONVERSION_H
#define KXIMAGECONVERSION_H

/// \file
/// Whole-image conversions between the library's images, its other pixel
/// forms, raw RGB buffers and QImage. Every result is a new image (empty
/// profile, zero attributes, no EXIF elements). On failure the exception is
/// logged and passed on; nothing half-built is returned.

#include "KXImage.h"
#include "kxcore_export.h"

#include <QImage>

#include <cstddef>
#include <cstdint>

/// A raw buffer of packed pixels, rows of exactly width * bytesPerPixel bytes;
/// within a pixel the bytes are red, green, blue (a fourth byte is ignored).
struct RGB32iRawImage {
    uint16_t height = 0;           ///< Rows.
    uint16_t width = 0;            ///< Pixels in a row.
    uint16_t bytesPerPixel = 4;    ///< 3 or 4
    uint8_t reserved[10] = {};     ///< Unused; keeps `data` at offset 16.
    const uint8_t* data = nullptr; ///< The first row; the caller's.
};
static_assert(offsetof(RGB32iRawImage, data) == 16, "raw image record layout");

/// ConvertImage<Source, Target>(source): the supported pairs are declared
/// below; any other pair does not link.
template <class Source, class Target>
Target ConvertImage(const Source& source);

/// b, g, r from the raw blue, green, red bytes; alpha 255.
template <>
KXCORE_EXPORT KXImageRGBA32i ConvertImage<RGB32iRawImage, KXImageRGBA32i>(const RGB32iRawImage&);
/// Scan lines copied byte for byte. A QImage that is not 32-bit ARGB in the
/// library's byte order (indexed, greyscale, RGB888, premultiplied, ...) is
/// first converted to QImage::Format_ARGB32.
template <>
KXCORE_EXPORT KXImageRGBA32i ConvertImage<QImage, KXImageRGBA32i>(const QImage&);
/// Rows copied byte for byte into a QImage::Format_ARGB32 image.
template <>
KXCORE_EXPORT QImage ConvertImage<KXImageRGBA32i, QImage>(const KXImageRGBA32i&);

// Each channel c becomes c * 256; back, the high byte.

/// Each channel c becomes c * 256.
template <>
KXCORE_EXPORT KXImageRGBA64i ConvertImage<KXImageRGBA32i, KXImageRGBA64i>(const KXImageRGBA32i&);
/// Each channel becomes its high byte.
template <>
KXCORE_EXPORT KXImageRGBA32i ConvertImage<KXImageRGBA64i, KXImageRGBA32i>(const KXImageRGBA64i&);

// Each channel c becomes the half nearest c / 255 * 256.87842; back, the
// half's value * 0.9926875 truncated.

/// Each channel c becomes the half nearest c / 255 * 256.87842.
template <>
KXCORE_EXPORT KXImageRGBA64f ConvertImage<KXImageRGBA32i, KXImageRGBA64f>(const KXImageRGBA32i&);
/// Each channel becomes the half's value * 0.9926875 truncated.
template <>
KXCORE_EXPORT KXImageRGBA32i ConvertImage<KXImageRGBA64f, KXImageRGBA32i>(const KXImageRGBA64f&);

// RGB to CMYK and back; alpha copied.

/// RGB to CMYK; alpha copied.
template <>
KXCORE_EXPORT KXImageCMYKA ConvertImage<KXImageRGBA32i, KXImageCMYKA>(const KXImageRGBA32i&);
/// CMYK to RGB; alpha copied.
template <>
KXCORE_EXPORT KXImageRGBA32i ConvertImage<KXImageCMYKA, KXImageRGBA32i>(const KXImageCMYKA&);
/// CMYK to RGB in a QImage::Format_ARGB32 image; alpha copied.
template <>
KXCORE_EXPORT QImage ConvertImage<KXImageCMYKA, QImage>(const KXImageCMYKA&);

// RGB to HSL (hue in hundredths of a degree) and back; alpha copied.

/// RGB to HSL (hue in hundredths of a degree); alpha copied.
template <>
KXCORE_EXPORT KXImageHSLA ConvertImage<KXImageRGBA32i, KXImageHSLA>(const KXImageRGBA32i&);
/// HSL to RGB; alpha copied.
template <>
KXCORE_EXPORT KXImageRGBA32i ConvertImage<KXImageHSLA, KXImageRGBA32i>(const KXImageHSLA&);

#endif // KXIMAGECONVERSION_H
