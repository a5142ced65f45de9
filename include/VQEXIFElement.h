#ifndef VQEXIFELEMENT_H
#define VQEXIFELEMENT_H

/// \file
/// One piece of image metadata: an element type from a fixed catalogue of 80
/// TIFF and EXIF tags, and its value. The class also carries the catalogue:
/// each type's tag number, display name and description (both translatable,
/// context "VQEXIFElement"). Reading or writing metadata blocks of image files
/// is not done here.

#include "kxcore_export.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVariant>
#include <QtGlobal>

/// One piece of image metadata: a catalogue type and its value. The class
/// also carries the catalogue's tag numbers, names and descriptions.
class KXCORE_EXPORT VQEXIFElement {
    Q_DECLARE_TR_FUNCTIONS(VQEXIFElement)

public:
    /// The catalogue, named after the standard TIFF/EXIF field names. The
    /// values are stable: they are stored by callers.
    enum Type : quint32 {
        Unknown = 0,
        ImageWidth = 1,
        ImageLength = 2,
        BitsPerSample = 3,
        Compression = 4,
        PhotometricInterpretation = 5,
        FillOrder = 6,
        DocumentName = 7,
        ImageDescription = 8,
        Make = 9,
        Model = 10,
        StripOffsets = 11,
        Orientation = 12,
        SamplesPerPixel = 13,
        RowsPerStrip = 14,
        StripByteCounts = 15,
        XResolution = 16,
        YResolution = 17,
        PlanarConfiguration = 18,
        ResolutionUnit = 19,
        TransferFunction = 20,
        Software = 21,
        DateTime = 22,
        Artist = 23,
        WhitePoint = 24,
        PrimaryChromaticities = 25,
        TransferRange = 26,
        JPEGProc = 27,
        JPEGInterchangeFormat = 28,
        JPEGInterchangeFormatLength = 29,
        YCbCrCoefficients = 30,
        YCbCrSubSampling = 31,
        YCbCrPositioning = 32,
        ReferenceBlackWhite = 33,
        CFARepeatPatternDim = 34,
        CFAPattern = 35,
        BatteryLevel = 36,
        Copyright = 37,
        ExposureTime = 38,
        FNumber = 39,
        IPTCNAA = 40,
        InterColorProfile = 41,
        ExposureProgram = 42,
        SpectralSensitivity = 43,
        ISOSpeedRatings = 44,
        OECF = 45,
        ExifVersion = 46,
        DateTimeOriginal = 47,
        DateTimeDigitized = 48,
        ComponentsConfiguration = 49,
        CompressedBitsPerPixel = 50,
        ShutterSpeedValue = 51,
        ApertureValue = 52,
        BrightnessValue = 53,
        ExposureBiasValue = 54,
        MaxApertureValue = 55,
        SubjectDistance = 56,
        MeteringMode = 57,
        LightSource = 58,
        Flash = 59,
        FocalLength = 60,
        MakerNote = 61,
        UserComment = 62,
        SubSecTime = 63,
        SubSecTimeOriginal = 64,
        SubSecTimeDigitized = 65,
        FlashpixVersion = 66,
        ColorSpace = 67,
        PixelXDimension = 68,
        PixelYDimension = 69,
        FlashEnergy = 70,
        SpatialFrequencyResponse = 71,
        FocalPlaneXResolution = 72,
        FocalPlaneYResolution = 73,
        FocalPlaneResolutionUnit = 74,
        SubjectLocation = 75,
        ExposureIndex = 76,
        SensingMethod = 77,
        FileSource = 78,
        SceneType = 79
    };
    static constexpr int TypeCount = 80; ///< The number of catalogue entries, Unknown included.

    VQEXIFElement(Type type, const QVariant& value); ///< An element of `type` holding `value`.
    VQEXIFElement(const VQEXIFElement& other);            ///< Copies type and value.
    VQEXIFElement& operator=(const VQEXIFElement& other); ///< Copies type and value.
    ~VQEXIFElement();

    Type GetType() const;                 ///< The element's type.
    QVariant GetValue() const;            ///< The element's value.
    void SetValue(const QVariant& value); ///< Replaces the value.
    /// The value as QVariant::toByteArray() converts it.
    QByteArray ToRawDataValue() const;

    /// The TIFF/EXIF tag number; 0 for Unknown and for values outside the
    /// catalogue.
    static unsigned short GetTag(Type type);
    // The translated display name and description; empty outside the
    // catalogue.

    /// The translated display name; empty outside the catalogue.
    static QString GetTypeName(Type type);
    /// The translated description; empty outside the catalogue.
    static QString GetDescription(Type type);

private:
    struct Private;
    Private* d;
};

Q_DECLARE_TYPEINFO(VQEXIFElement, Q_MOVABLE_TYPE);

#endif // VQEXIFELEMENT_H
