#include "VQEXIFElement.h"

struct VQEXIFElement::Private {
    Type type;
    QVariant value;
};

VQEXIFElement::VQEXIFElement(Type type, const QVariant& value) : d(new Private{type, value}) {}

VQEXIFElement::VQEXIFElement(const VQEXIFElement& other) : d(new Private(*other.d)) {}

VQEXIFElement& VQEXIFElement::operator=(const VQEXIFElement& other)
{
    if (this != &other)
        *d = *other.d;
    return *this;
}

VQEXIFElement::~VQEXIFElement()
{
    delete d;
}

VQEXIFElement::Type VQEXIFElement::GetType() const
{
    return d->type;
}

QVariant VQEXIFElement::GetValue() const
{
    return d->value;
}

void VQEXIFElement::SetValue(const QVariant& value)
{
    d->value = value;
}

QByteArray VQEXIFElement::ToRawDataValue() const
{
    return d->value.toByteArray();
}

unsigned short VQEXIFElement::GetTag(Type type)
{
    switch (type) {
    case Unknown: return 0x0000;
    case ImageWidth: return 0x0100;
    case ImageLength: return 0x0101;
    case BitsPerSample: return 0x0102;
    case Compression: return 0x0103;
    case PhotometricInterpretation: return 0x0106;
    case FillOrder: return 0x010A;
    case DocumentName: return 0x010D;
    case ImageDescription: return 0x010E;
    case Make: return 0x010F;
    case Model: return 0x0110;
    case StripOffsets: return 0x0111;
    case Orientation: return 0x0112;
    case SamplesPerPixel: return 0x0115;
    case RowsPerStrip: return 0x0116;
    case StripByteCounts: return 0x0117;
    case XResolution: return 0x011A;
    case YResolution: return 0x011B;
    case PlanarConfiguration: return 0x011C;
    case ResolutionUnit: return 0x0128;
    case TransferFunction: return 0x012D;
    case Software: return 0x0131;
    case DateTime: return 0x0132;
    case Artist: return 0x013B;
    case WhitePoint: return 0x013E;
    case PrimaryChromaticities: return 0x013F;
    case TransferRange: return 0x0156;
    case JPEGProc: return 0x0200;
    case JPEGInterchangeFormat: return 0x0201;
    case JPEGInterchangeFormatLength: return 0x0202;
    case YCbCrCoefficients: return 0x0211;
    case YCbCrSubSampling: return 0x0212;
    case YCbCrPositioning: return 0x0213;
    case ReferenceBlackWhite: return 0x0214;
    case CFARepeatPatternDim: return 0x828D;
    case CFAPattern: return 0x828E;
    case BatteryLevel: return 0x828F;
    case Copyright: return 0x8298;
    case ExposureTime: return 0x829A;
    case FNumber: return 0x829D;
    case IPTCNAA: return 0x83BB;
    case InterColorProfile: return 0x8773;
    case ExposureProgram: return 0x8822;
    case SpectralSensitivity: return 0x8824;
    case ISOSpeedRatings: return 0x8827;
    case OECF: return 0x8828;
    case ExifVersion: return 0x9000;
    case DateTimeOriginal: return 0x9003;
    case DateTimeDigitized: return 0x9004;
    case ComponentsConfiguration: return 0x9101;
    case CompressedBitsPerPixel: return 0x9102;
    case ShutterSpeedValue: return 0x9201;
    case ApertureValue: return 0x9202;
    case BrightnessValue: return 0x9203;
    case ExposureBiasValue: return 0x9204;
    case MaxApertureValue: return 0x9205;
    case SubjectDistance: return 0x9206;
    case MeteringMode: return 0x9207;
    case LightSource: return 0x9208;
    case Flash: return 0x9209;
    case FocalLength: return 0x920A;
    case MakerNote: return 0x927C;
    case UserComment: return 0x9286;
    case SubSecTime: return 0x9290;
    case SubSecTimeOriginal: return 0x9291;
    case SubSecTimeDigitized: return 0x9292;
    case FlashpixVersion: return 0xA000;
    case ColorSpace: return 0xA001;
    case PixelXDimension: return 0xA002;
    case PixelYDimension: return 0xA003;
    case FlashEnergy: return 0xA20B;
    case SpatialFrequencyResponse: return 0xA20C;
    case FocalPlaneXResolution: return 0xA20E;
    case FocalPlaneYResolution: return 0xA20F;
    case FocalPlaneResolutionUnit: return 0xA210;
    case SubjectLocation: return 0xA214;
    case ExposureIndex: return 0xA215;
    case SensingMethod: return 0xA217;
    case FileSource: return 0xA300;
    case SceneType: return 0xA301;
    }
    return 0;
}

QString VQEXIFElement::GetTypeName(Type type)
{
    switch (type) {
    case Unknown: return tr("Unkonwn");
    case ImageWidth: return tr("Image width");
    case ImageLength: return tr("Image height");
    case BitsPerSample: return tr("Bits per sample");
    case Compression: return tr("Compression scheme");
    case PhotometricInterpretation: return tr("Pixel composition");
    case FillOrder: return tr("Fill order");
    case DocumentName: return tr("Document name");
    case ImageDescription: return tr("Image title");
    case Make: return tr("Image input equipment manufacturer");
    case Model: return tr("Image input equipment model");
    case StripOffsets: return tr("Image data location");
    case Orientation: return tr("Orientation of image");
    case SamplesPerPixel: return tr("Number of components");
    case RowsPerStrip: return tr("Number of rows per strip");
    case StripByteCounts: return tr("Bytes per compressed strip");
    case XResolution: return tr("Image resolution in width direction");
    case YResolution: return tr("Image resolution in height direction");
    case PlanarConfiguration: return tr("Image data arrangement");
    case ResolutionUnit: return tr("Unit of X and Y resolution");
    case TransferFunction: return tr("Transfer function");
    case Software: return tr("Software used");
    case DateTime: return tr("File change date and time");
    case Artist: return tr("Person who created the image");
    case WhitePoint: return tr("White point chromaticity");
    case PrimaryChromaticities: return tr("Chromaticities of primaries");
    case TransferRange: return tr("Transfer range");
    case JPEGProc: return tr("JPEGProc");
    case JPEGInterchangeFormat: return tr("Offset to JPEG SOI");
    case JPEGInterchangeFormatLength: return tr("Bytes of JPEG data");
    case YCbCrCoefficients: return tr("Color space transformation matrix coefficients");
    case YCbCrSubSampling: return tr("Subsampling ratio of Y to C");
    case YCbCrPositioning: return tr("Y and C positioning");
    case ReferenceBlackWhite: return tr("Pair of black and white reference values");
    case CFARepeatPatternDim: return tr("CFA repeat pattern dimension");
    case CFAPattern: return tr("CFA pattern");
    case BatteryLevel: return tr("Battery level");
    case Copyright: return tr("Copyright holder");
    case ExposureTime: return tr("Exposure time");
    case FNumber: return tr("F number");
    case IPTCNAA: return tr("IPTC-NAA");
    case InterColorProfile: return tr("ICC profile");
    case ExposureProgram: return tr("Exposure program");
    case SpectralSensitivity: return tr("Spectral sensitivity");
    case ISOSpeedRatings: return tr("ISO speed ratings");
    case OECF: return tr("Optoelectric coefficient");
    case ExifVersion: return tr("Exif version");
    case DateTimeOriginal: return tr("Date and time original image was generated");
    case DateTimeDigitized: return tr("Date and time image was made digital data");
    case ComponentsConfiguration: return tr("Meaning of each component");
    case CompressedBitsPerPixel: return tr("Image compression mode");
    case ShutterSpeedValue: return tr("Shutter speed");
    case ApertureValue: return tr("Aperture");
    case BrightnessValue: return tr("Brightness");
    case ExposureBiasValue: return tr("Exposure bias");
    case MaxApertureValue: return tr("Maximum lens aperture");
    case SubjectDistance: return tr("Subject distance");
    case MeteringMode: return tr("Metering mode");
    case LightSource: return tr("Light source");
    case Flash: return tr("Flash");
    case FocalLength: return tr("Lens focal length");
    case MakerNote: return tr("Manufacturer notes");
    case UserComment: return tr("User comments");
    case SubSecTime: return tr("DateTime subseconds");
    case SubSecTimeOriginal: return tr("DateTimeOriginal subseconds");
    case SubSecTimeDigitized: return tr("DateTimeDigitized subseconds");
    case FlashpixVersion: return tr("Supported FlashPix version");
    case ColorSpace: return tr("Color space information");
    case PixelXDimension: return tr("Valid image width");
    case PixelYDimension: return tr("Valid image height");
    case FlashEnergy: return tr("Flash energy");
    case SpatialFrequencyResponse: return tr("Spatial frequency response");
    case FocalPlaneXResolution: return tr("Focal plane X resolution");
    case FocalPlaneYResolution: return tr("Focal plane Y resolution");
    case FocalPlaneResolutionUnit: return tr("Focal plane resolution unit");
    case SubjectLocation: return tr("Subject location");
    case ExposureIndex: return tr("Exposure index");
    case SensingMethod: return tr("Sensing method");
    case FileSource: return tr("File source");
    case SceneType: return tr("Scene type");
    }
    return QString();
}

QString VQEXIFElement::GetDescription(Type type)
{
    switch (type) {
    case Unknown:
        return tr("An unkonwn EXIF tag.");
    case ImageWidth:
        return tr("The number of columns of image data, equal to the number of pixels per row. "
                  "In JPEG compressed data a JPEG marker is used instead of this tag.");
    case ImageLength:
        return tr("The number of rows of image data. In JPEG compressed data a JPEG marker is "
                  "used instead of this tag.");
    case BitsPerSample:
        return tr("The number of bits per image component. In Exif each component of the image "
                  "is 8 bits, so the value for this tag is 8. See also <SamplesPerPixel>. In "
                  "JPEG compressed data a JPEG marker is used instead of this tag.");
    case Compression:
        return tr("The compression scheme used for the image data. When a primary image is JPEG "
                  "compressed, this designation is not necessary and is omitted. When "
                  "thumbnails use JPEG compression, this tag value is set to 6.");
    case PhotometricInterpretation:
        return tr("The pixel composition: 2 means RGB and 6 means YCbCr. In JPEG compressed "
                  "data a JPEG marker is used instead of this tag.");
    case FillOrder:
        return tr("The logical order of bits within a byte of the image data. The value 1 means "
                  "that pixels with lower column values are stored in the higher-order bits of "
                  "the byte; the value 2 means that they are stored in the lower-order bits.");
    case DocumentName:
        return tr("The name of the document from which this image was scanned.");
    case ImageDescription:
        return tr("A character string giving the title of the image. It may be a comment such "
                  "as \"1988 company picnic\" or the like. Two-byte character codes cannot be "
                  "used. When a 2-byte code is necessary, the Exif Private tag <UserComment> is "
                  "to be used.");
    case Make:
        return tr("The manufacturer of the recording equipment. This is the manufacturer of the "
                  "DSC, scanner, video digitizer or other equipment that generated the image. "
                  "When the field is left blank, it is treated as unknown.");
    case Model:
        return tr("The model name or model number of the equipment. This is the model name or "
                  "number of the DSC, scanner, video digitizer or other equipment that "
                  "generated the image. When the field is left blank, it is treated as "
                  "unknown.");
    case StripOffsets:
        return tr("For each strip, the byte offset of that strip. It is recommended that this "
                  "be selected so the number of strip bytes does not exceed 64 Kbytes. With "
                  "JPEG compressed data this designation is not needed and is omitted. See also "
                  "<RowsPerStrip> and <StripByteCounts>.");
    case Orientation:
        return tr("The image orientation viewed in terms of rows and columns. The value 1 means "
                  "that the 0th row is at the visual top of the image and the 0th column is the "
                  "visual left-hand side; the values 2 to 8 describe the mirrored and rotated "
                  "arrangements.");
    case SamplesPerPixel:
        return tr("The number of components per pixel. Since Exif applies to RGB and YCbCr "
                  "images, the value set for this tag is 3. In JPEG compressed data a JPEG "
                  "marker is used instead of this tag.");
    case RowsPerStrip:
        return tr("The number of rows per strip. This is the number of rows in the image of one "
                  "strip when an image is divided into strips. With JPEG compressed data this "
                  "designation is not needed and is omitted. See also <StripOffsets> and "
                  "<StripByteCounts>.");
    case StripByteCounts:
        return tr("The total number of bytes in each strip. With JPEG compressed data this "
                  "designation is not needed and is omitted.");
    case XResolution:
        return tr("The number of pixels per <ResolutionUnit> in the <ImageWidth> direction. "
                  "When the image resolution is unknown, 72 [dpi] is designated.");
    case YResolution:
        return tr("The number of pixels per <ResolutionUnit> in the <ImageLength> direction. "
                  "The same value as <XResolution> is designated.");
    case PlanarConfiguration:
        return tr("Indicates whether pixel components are recorded in chunky or planar format. "
                  "In JPEG compressed files a JPEG marker is used instead of this tag. If this "
                  "field does not exist, the TIFF default of 1 (chunky) is assumed.");
    case ResolutionUnit:
        return tr("The unit for measuring <XResolution> and <YResolution>. The same unit is "
                  "used for both. If the image resolution is unknown, 2 (inches) is "
                  "designated.");
    case TransferFunction:
        return tr("A transfer function for the image, described in tabular style. Normally this "
                  "tag is not necessary, since the color space is given in the color space "
                  "information tag (<ColorSpace>).");
    case Software:
        return tr("This tag records the name and version of the software or firmware of the "
                  "camera or image input device used to generate the image. When the field is "
                  "left blank, it is treated as unknown.");
    case DateTime:
        return tr("The date and time of image creation; in Exif it is the date and time the "
                  "file was changed. The format is \"YYYY:MM:DD HH:MM:SS\" with time shown in "
                  "24-hour format, and the date and time separated by one blank character. When "
                  "the date and time are unknown, all the character spaces except colons may be "
                  "filled with blank characters.");
    case Artist:
        return tr("This tag records the name of the camera owner, photographer or image "
                  "creator. It is recommended that the information be written for ease of "
                  "interoperability. When the field is left blank, it is treated as unknown.");
    case WhitePoint:
        return tr("The chromaticity of the white point of the image. Normally this tag is not "
                  "necessary, since the color space is given in the color space information tag "
                  "(<ColorSpace>).");
    case PrimaryChromaticities:
        return tr("The chromaticity of the three primary colors of the image. Normally this tag "
                  "is not necessary, since the color space is given in the color space "
                  "information tag (<ColorSpace>).");
    case TransferRange:
        return tr("Expands the range of the <TransferFunction>. The first value of each pair is "
                  "associated with the transfer black level and the second with the transfer "
                  "white level; the pairs are ordered as in <ReferenceBlackWhite>.");
    case JPEGProc:
        return tr("The JPEG process used to produce the compressed data: 1 means baseline "
                  "sequential and 14 means lossless with Huffman coding. This tag is obsolete; "
                  "JPEG compressed thumbnails are located by <JPEGInterchangeFormat> instead.");
    case JPEGInterchangeFormat:
        return tr("The offset to the start byte (SOI) of JPEG compressed thumbnail data. This "
                  "is not used for primary image JPEG data.");
    case JPEGInterchangeFormatLength:
        return tr("The number of bytes of JPEG compressed thumbnail data. This is not used for "
                  "primary image JPEG data. JPEG thumbnails are not divided but are recorded as "
                  "a continuous JPEG bitstream from SOI to EOI.");
    case YCbCrCoefficients:
        return tr("The matrix coefficients for transformation from RGB to YCbCr image data. No "
                  "default is given in TIFF; in Exif the values of ITU-R BT.601 are the "
                  "default. The color space is declared in the color space information tag "
                  "(<ColorSpace>), with the default being the value that gives the optimal "
                  "image characteristics under that condition.");
    case YCbCrSubSampling:
        return tr("The sampling ratio of chrominance components in relation to the luminance "
                  "component. In JPEG compressed data a JPEG marker is used instead of this "
                  "tag.");
    case YCbCrPositioning:
        return tr("The position of chrominance components in relation to the luminance "
                  "component. This field is designated only for JPEG compressed data or "
                  "uncompressed YCbCr data. The TIFF default is 1 (centered); but when "
                  "Y:Cb:Cr = 4:2:2 it is recommended that 2 (co-sited) be used to record data, "
                  "in order to improve the image quality when viewed on TV systems.");
    case ReferenceBlackWhite:
        return tr("The reference black point value and reference white point value, one pair "
                  "per component. No defaults are given in TIFF. The color space is declared in "
                  "the color space information tag (<ColorSpace>), with the default being the "
                  "value that gives the optimal image characteristics under these conditions.");
    case CFARepeatPatternDim:
        return tr("The number of rows and columns of the repeating pattern of the color filter "
                  "array (CFA) of the image sensor, as used in <CFAPattern>.");
    case CFAPattern:
        return tr("Indicates the color filter array (CFA) geometric pattern of the image sensor "
                  "when a one-chip color area sensor is used. It does not apply to all sensing "
                  "methods.");
    case BatteryLevel:
        return tr("The battery level of the camera at the time the image was recorded, as a "
                  "ratio of the full charge or as text.");
    case Copyright:
        return tr("Copyright information. The tag is used to indicate both the photographer and "
                  "editor copyrights. It is the copyright notice of the person or organization "
                  "claiming rights to the image, including the date and rights. When both are "
                  "given, the photographer copyright comes first, followed by a NULL code and "
                  "the editor copyright. When the field is left blank, it is treated as "
                  "unknown.");
    case ExposureTime:
        return tr("Exposure time, given in seconds.");
    case FNumber:
        return tr("The F number.");
    case IPTCNAA:
        return tr("News and press metadata (captions, keywords, credits and similar) in the "
                  "record format of the International Press Telecommunications Council and the "
                  "Newspaper Association of America, stored as one block.");
    case InterColorProfile:
        return tr("An ICC profile embedded in the file, describing the color characteristics of "
                  "the image data as an International Color Consortium device profile.");
    case ExposureProgram:
        return tr("The class of the program used by the camera to set exposure when the picture "
                  "is taken, such as manual, normal program, aperture priority or shutter "
                  "priority.");
    case SpectralSensitivity:
        return tr("Indicates the sensitivity of each channel of the camera used, as a function "
                  "of wavelength. The tag value is an ASCII string compatible with the standard "
                  "developed by the ASTM Technical Committee.");
    case ISOSpeedRatings:
        return tr("Indicates the ISO Speed and ISO Latitude of the camera or input device as "
                  "given in ISO 12232.");
    case OECF:
        return tr("Indicates the Opto-Electric Conversion Function (OECF) given in ISO 14524. "
                  "The OECF is the relationship between the camera optical input and the image "
                  "values.");
    case ExifVersion:
        return tr("The version of the Exif standard supported. Nonexistence of this field is "
                  "taken to mean nonconformance to the standard. Conformance to version 2.2 is "
                  "indicated by recording \"0220\" as a 4-byte ASCII string.");
    case DateTimeOriginal:
        return tr("The date and time when the original image data was generated. For a DSC the "
                  "date and time the picture was taken are recorded. The format is "
                  "\"YYYY:MM:DD HH:MM:SS\" with time shown in 24-hour format, and the date and "
                  "time separated by one blank character.");
    case DateTimeDigitized:
        return tr("The date and time when the image was stored as digital data. If, for "
                  "example, an image was captured by a DSC and at the same time the file was "
                  "recorded, then <DateTimeOriginal> and <DateTimeDigitized> will have the same "
                  "contents. The format is \"YYYY:MM:DD HH:MM:SS\" with time shown in 24-hour "
                  "format, and the date and time separated by one blank character.");
    case ComponentsConfiguration:
        return tr("Information particular to compressed data. The channels of each component "
                  "are arranged in order from the 1st component to the 4th. For uncompressed "
                  "data the data arrangement is given in the <PhotometricInterpretation> tag. "
                  "However, since <PhotometricInterpretation> can only express the order of Y, "
                  "Cb and Cr, this tag is provided for cases when compressed data uses "
                  "components other than Y, Cb and Cr and to enable support of other "
                  "sequences.");
    case CompressedBitsPerPixel:
        return tr("Information particular to compressed data. The compression mode used for a "
                  "compressed image is indicated in unit bits per pixel.");
    case ShutterSpeedValue:
        return tr("Shutter speed. The unit is the APEX (Additive System of Photographic "
                  "Exposure) setting.");
    case ApertureValue:
        return tr("The lens aperture. The unit is the APEX value.");
    case BrightnessValue:
        return tr("The value of brightness. The unit is the APEX value. Ordinarily it is given "
                  "in the range of -99.99 to 99.99.");
    case ExposureBiasValue:
        return tr("The exposure bias. The unit is the APEX value. Ordinarily it is given in the "
                  "range of -99.99 to 99.99.");
    case MaxApertureValue:
        return tr("The smallest F number of the lens. The unit is the APEX value. Ordinarily it "
                  "is given in the range of 00.00 to 99.99, but it is not limited to this "
                  "range.");
    case SubjectDistance:
        return tr("The distance to the subject, given in meters.");
    case MeteringMode:
        return tr("The metering mode: average, center-weighted average, spot, multi-spot, "
                  "pattern or partial.");
    case LightSource:
        return tr("The kind of light source, such as daylight, fluorescent, tungsten or flash.");
    case Flash:
        return tr("This tag is recorded when an image is taken using a strobe light (flash). It "
                  "indicates whether the flash fired, whether its return light was detected, "
                  "and the flash mode.");
    case FocalLength:
        return tr("The actual focal length of the lens, in mm. Conversion is not made to the "
                  "focal length of a 35 mm film camera.");
    case MakerNote:
        return tr("A tag for manufacturers of Exif writers to record any desired information. "
                  "The contents are up to the manufacturer.");
    case UserComment:
        return tr("A tag for Exif users to write keywords or comments on the image besides "
                  "those in <ImageDescription>, and without the character code limitations of "
                  "the <ImageDescription> tag.");
    case SubSecTime:
        return tr("A tag used to record fractions of seconds for the <DateTime> tag.");
    case SubSecTimeOriginal:
        return tr("A tag used to record fractions of seconds for the <DateTimeOriginal> tag.");
    case SubSecTimeDigitized:
        return tr("A tag used to record fractions of seconds for the <DateTimeDigitized> tag.");
    case FlashpixVersion:
        return tr("The FlashPix format version supported by a FPXR file.");
    case ColorSpace:
        return tr("The color space information tag. Normally sRGB (=1) is used to define the "
                  "color space based on the PC monitor conditions and environment. If a color "
                  "space other than sRGB is used, Uncalibrated (=FFFF.H) is set. Image data "
                  "recorded as Uncalibrated can be treated as sRGB when it is converted to "
                  "FlashPix.");
    case PixelXDimension:
        return tr("Information particular to compressed data. When a compressed file is "
                  "recorded, the valid width of the meaningful image must be recorded in this "
                  "tag, whether or not there is padding data or a restart marker. This tag "
                  "should not exist in an uncompressed file.");
    case PixelYDimension:
        return tr("Information particular to compressed data. When a compressed file is "
                  "recorded, the valid height of the meaningful image must be recorded in this "
                  "tag, whether or not there is padding data or a restart marker. This tag "
                  "should not exist in an uncompressed file. Since data padding is unnecessary "
                  "in the vertical direction, the number of lines recorded in this valid image "
                  "height tag will in fact be the same as that recorded in the SOF.");
    case FlashEnergy:
        return tr("Indicates the strobe energy at the time the image is captured, as measured "
                  "in Beam Candle Power Seconds (BCPS).");
    case SpatialFrequencyResponse:
        return tr("This tag records the camera or input device spatial frequency table and SFR "
                  "values in the direction of image width, image height, and diagonal "
                  "direction, as given in ISO 12233.");
    case FocalPlaneXResolution:
        return tr("Indicates the number of pixels in the image width (X) direction per "
                  "<FocalPlaneResolutionUnit> on the camera focal plane.");
    case FocalPlaneYResolution:
        return tr("Indicates the number of pixels in the image height (Y) direction per "
                  "<FocalPlaneResolutionUnit> on the camera focal plane.");
    case FocalPlaneResolutionUnit:
        return tr("Indicates the unit for measuring <FocalPlaneXResolution> and "
                  "<FocalPlaneYResolution>. This value is the same as the <ResolutionUnit>.");
    case SubjectLocation:
        return tr("Indicates the location of the main subject in the scene. The value of this "
                  "tag represents the pixel at the center of the main subject relative to the "
                  "left edge, prior to rotation processing as per the <Orientation> tag. The "
                  "first value indicates the X column number and the second indicates the Y "
                  "row number.");
    case ExposureIndex:
        return tr("Indicates the exposure index selected on the camera or input device at the "
                  "time the image is captured.");
    case SensingMethod:
        return tr("Indicates the image sensor type on the camera or input device.");
    case FileSource:
        return tr("Indicates the image source. If a DSC recorded the image, this tag value must "
                  "always be set to 3, indicating that the image was recorded on a DSC.");
    case SceneType:
        return tr("Indicates the type of scene. If a DSC recorded the image, this tag value must "
                  "always be set to 1, indicating that the image was directly photographed.");
    }
    return QString();
}
