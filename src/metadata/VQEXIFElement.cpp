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

namespace {

// The catalogue, one row per type in the order of the Type values: the tag
// number, the display name and the description (translated on the way out).
struct Row {
    unsigned short tag;
    const char* name;
    const char* description;
};

const Row kCatalogue[VQEXIFElement::TypeCount] = {
    {0x0000, QT_TRANSLATE_NOOP("VQEXIFElement", "Unkonwn"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "An unkonwn EXIF tag.")},
    {0x0100, QT_TRANSLATE_NOOP("VQEXIFElement", "Image width"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The number of columns of image data, equal to the number of pixels per row. "
              "In JPEG compressed data a JPEG marker is used instead of this tag.")},
    {0x0101, QT_TRANSLATE_NOOP("VQEXIFElement", "Image height"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The number of rows of image data. In JPEG compressed data a JPEG marker is "
              "used instead of this tag.")},
    {0x0102, QT_TRANSLATE_NOOP("VQEXIFElement", "Bits per sample"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The number of bits per image component. In Exif each component of the image "
              "is 8 bits, so the value for this tag is 8. See also <SamplesPerPixel>. In "
              "JPEG compressed data a JPEG marker is used instead of this tag.")},
    {0x0103, QT_TRANSLATE_NOOP("VQEXIFElement", "Compression scheme"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The compression scheme used for the image data. When a primary image is JPEG "
              "compressed, this designation is not necessary and is omitted. When "
              "thumbnails use JPEG compression, this tag value is set to 6.")},
    {0x0106, QT_TRANSLATE_NOOP("VQEXIFElement", "Pixel composition"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The pixel composition: 2 means RGB and 6 means YCbCr. In JPEG compressed "
              "data a JPEG marker is used instead of this tag.")},
    {0x010A, QT_TRANSLATE_NOOP("VQEXIFElement", "Fill order"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The logical order of bits within a byte of the image data. The value 1 means "
              "that pixels with lower column values are stored in the higher-order bits of "
              "the byte; the value 2 means that they are stored in the lower-order bits.")},
    {0x010D, QT_TRANSLATE_NOOP("VQEXIFElement", "Document name"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The name of the document from which this image was scanned.")},
    {0x010E, QT_TRANSLATE_NOOP("VQEXIFElement", "Image title"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "A character string giving the title of the image. It may be a comment such "
              "as \"1988 company picnic\" or the like. Two-byte character codes cannot be "
              "used. When a 2-byte code is necessary, the Exif Private tag <UserComment> is "
              "to be used.")},
    {0x010F, QT_TRANSLATE_NOOP("VQEXIFElement", "Image input equipment manufacturer"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The manufacturer of the recording equipment. This is the manufacturer of the "
              "DSC, scanner, video digitizer or other equipment that generated the image. "
              "When the field is left blank, it is treated as unknown.")},
    {0x0110, QT_TRANSLATE_NOOP("VQEXIFElement", "Image input equipment model"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The model name or model number of the equipment. This is the model name or "
              "number of the DSC, scanner, video digitizer or other equipment that "
              "generated the image. When the field is left blank, it is treated as "
              "unknown.")},
    {0x0111, QT_TRANSLATE_NOOP("VQEXIFElement", "Image data location"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "For each strip, the byte offset of that strip. It is recommended that this "
              "be selected so the number of strip bytes does not exceed 64 Kbytes. With "
              "JPEG compressed data this designation is not needed and is omitted. See also "
              "<RowsPerStrip> and <StripByteCounts>.")},
    {0x0112, QT_TRANSLATE_NOOP("VQEXIFElement", "Orientation of image"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The image orientation viewed in terms of rows and columns. The value 1 means "
              "that the 0th row is at the visual top of the image and the 0th column is the "
              "visual left-hand side; the values 2 to 8 describe the mirrored and rotated "
              "arrangements.")},
    {0x0115, QT_TRANSLATE_NOOP("VQEXIFElement", "Number of components"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The number of components per pixel. Since Exif applies to RGB and YCbCr "
              "images, the value set for this tag is 3. In JPEG compressed data a JPEG "
              "marker is used instead of this tag.")},
    {0x0116, QT_TRANSLATE_NOOP("VQEXIFElement", "Number of rows per strip"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The number of rows per strip. This is the number of rows in the image of one "
              "strip when an image is divided into strips. With JPEG compressed data this "
              "designation is not needed and is omitted. See also <StripOffsets> and "
              "<StripByteCounts>.")},
    {0x0117, QT_TRANSLATE_NOOP("VQEXIFElement", "Bytes per compressed strip"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The total number of bytes in each strip. With JPEG compressed data this "
              "designation is not needed and is omitted.")},
    {0x011A, QT_TRANSLATE_NOOP("VQEXIFElement", "Image resolution in width direction"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The number of pixels per <ResolutionUnit> in the <ImageWidth> direction. "
              "When the image resolution is unknown, 72 [dpi] is designated.")},
    {0x011B, QT_TRANSLATE_NOOP("VQEXIFElement", "Image resolution in height direction"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The number of pixels per <ResolutionUnit> in the <ImageLength> direction. "
              "The same value as <XResolution> is designated.")},
    {0x011C, QT_TRANSLATE_NOOP("VQEXIFElement", "Image data arrangement"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates whether pixel components are recorded in chunky or planar format. "
              "In JPEG compressed files a JPEG marker is used instead of this tag. If this "
              "field does not exist, the TIFF default of 1 (chunky) is assumed.")},
    {0x0128, QT_TRANSLATE_NOOP("VQEXIFElement", "Unit of X and Y resolution"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The unit for measuring <XResolution> and <YResolution>. The same unit is "
              "used for both. If the image resolution is unknown, 2 (inches) is "
              "designated.")},
    {0x012D, QT_TRANSLATE_NOOP("VQEXIFElement", "Transfer function"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "A transfer function for the image, described in tabular style. Normally this "
              "tag is not necessary, since the color space is given in the color space "
              "information tag (<ColorSpace>).")},
    {0x0131, QT_TRANSLATE_NOOP("VQEXIFElement", "Software used"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "This tag records the name and version of the software or firmware of the "
              "camera or image input device used to generate the image. When the field is "
              "left blank, it is treated as unknown.")},
    {0x0132, QT_TRANSLATE_NOOP("VQEXIFElement", "File change date and time"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The date and time of image creation; in Exif it is the date and time the "
              "file was changed. The format is \"YYYY:MM:DD HH:MM:SS\" with time shown in "
              "24-hour format, and the date and time separated by one blank character. When "
              "the date and time are unknown, all the character spaces except colons may be "
              "filled with blank characters.")},
    {0x013B, QT_TRANSLATE_NOOP("VQEXIFElement", "Person who created the image"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "This tag records the name of the camera owner, photographer or image "
              "creator. It is recommended that the information be written for ease of "
              "interoperability. When the field is left blank, it is treated as unknown.")},
    {0x013E, QT_TRANSLATE_NOOP("VQEXIFElement", "White point chromaticity"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The chromaticity of the white point of the image. Normally this tag is not "
              "necessary, since the color space is given in the color space information tag "
              "(<ColorSpace>).")},
    {0x013F, QT_TRANSLATE_NOOP("VQEXIFElement", "Chromaticities of primaries"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The chromaticity of the three primary colors of the image. Normally this tag "
              "is not necessary, since the color space is given in the color space "
              "information tag (<ColorSpace>).")},
    {0x0156, QT_TRANSLATE_NOOP("VQEXIFElement", "Transfer range"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Expands the range of the <TransferFunction>. The first value of each pair is "
              "associated with the transfer black level and the second with the transfer "
              "white level; the pairs are ordered as in <ReferenceBlackWhite>.")},
    {0x0200, QT_TRANSLATE_NOOP("VQEXIFElement", "JPEGProc"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The JPEG process used to produce the compressed data: 1 means baseline "
              "sequential and 14 means lossless with Huffman coding. This tag is obsolete; "
              "JPEG compressed thumbnails are located by <JPEGInterchangeFormat> instead.")},
    {0x0201, QT_TRANSLATE_NOOP("VQEXIFElement", "Offset to JPEG SOI"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The offset to the start byte (SOI) of JPEG compressed thumbnail data. This "
              "is not used for primary image JPEG data.")},
    {0x0202, QT_TRANSLATE_NOOP("VQEXIFElement", "Bytes of JPEG data"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The number of bytes of JPEG compressed thumbnail data. This is not used for "
              "primary image JPEG data. JPEG thumbnails are not divided but are recorded as "
              "a continuous JPEG bitstream from SOI to EOI.")},
    {0x0211, QT_TRANSLATE_NOOP("VQEXIFElement", "Color space transformation matrix coefficients"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The matrix coefficients for transformation from RGB to YCbCr image data. No "
              "default is given in TIFF; in Exif the values of ITU-R BT.601 are the "
              "default. The color space is declared in the color space information tag "
              "(<ColorSpace>), with the default being the value that gives the optimal "
              "image characteristics under that condition.")},
    {0x0212, QT_TRANSLATE_NOOP("VQEXIFElement", "Subsampling ratio of Y to C"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The sampling ratio of chrominance components in relation to the luminance "
              "component. In JPEG compressed data a JPEG marker is used instead of this "
              "tag.")},
    {0x0213, QT_TRANSLATE_NOOP("VQEXIFElement", "Y and C positioning"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The position of chrominance components in relation to the luminance "
              "component. This field is designated only for JPEG compressed data or "
              "uncompressed YCbCr data. The TIFF default is 1 (centered); but when "
              "Y:Cb:Cr = 4:2:2 it is recommended that 2 (co-sited) be used to record data, "
              "in order to improve the image quality when viewed on TV systems.")},
    {0x0214, QT_TRANSLATE_NOOP("VQEXIFElement", "Pair of black and white reference values"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The reference black point value and reference white point value, one pair "
              "per component. No defaults are given in TIFF. The color space is declared in "
              "the color space information tag (<ColorSpace>), with the default being the "
              "value that gives the optimal image characteristics under these conditions.")},
    {0x828D, QT_TRANSLATE_NOOP("VQEXIFElement", "CFA repeat pattern dimension"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The number of rows and columns of the repeating pattern of the color filter "
              "array (CFA) of the image sensor, as used in <CFAPattern>.")},
    {0x828E, QT_TRANSLATE_NOOP("VQEXIFElement", "CFA pattern"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the color filter array (CFA) geometric pattern of the image sensor "
              "when a one-chip color area sensor is used. It does not apply to all sensing "
              "methods.")},
    {0x828F, QT_TRANSLATE_NOOP("VQEXIFElement", "Battery level"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The battery level of the camera at the time the image was recorded, as a "
              "ratio of the full charge or as text.")},
    {0x8298, QT_TRANSLATE_NOOP("VQEXIFElement", "Copyright holder"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Copyright information. The tag is used to indicate both the photographer and "
              "editor copyrights. It is the copyright notice of the person or organization "
              "claiming rights to the image, including the date and rights. When both are "
              "given, the photographer copyright comes first, followed by a NULL code and "
              "the editor copyright. When the field is left blank, it is treated as "
              "unknown.")},
    {0x829A, QT_TRANSLATE_NOOP("VQEXIFElement", "Exposure time"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Exposure time, given in seconds.")},
    {0x829D, QT_TRANSLATE_NOOP("VQEXIFElement", "F number"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The F number.")},
    {0x83BB, QT_TRANSLATE_NOOP("VQEXIFElement", "IPTC-NAA"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "News and press metadata (captions, keywords, credits and similar) in the "
              "record format of the International Press Telecommunications Council and the "
              "Newspaper Association of America, stored as one block.")},
    {0x8773, QT_TRANSLATE_NOOP("VQEXIFElement", "ICC profile"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "An ICC profile embedded in the file, describing the color characteristics of "
              "the image data as an International Color Consortium device profile.")},
    {0x8822, QT_TRANSLATE_NOOP("VQEXIFElement", "Exposure program"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The class of the program used by the camera to set exposure when the picture "
              "is taken, such as manual, normal program, aperture priority or shutter "
              "priority.")},
    {0x8824, QT_TRANSLATE_NOOP("VQEXIFElement", "Spectral sensitivity"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the sensitivity of each channel of the camera used, as a function "
              "of wavelength. The tag value is an ASCII string compatible with the standard "
              "developed by the ASTM Technical Committee.")},
    {0x8827, QT_TRANSLATE_NOOP("VQEXIFElement", "ISO speed ratings"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the ISO Speed and ISO Latitude of the camera or input device as "
              "given in ISO 12232.")},
    {0x8828, QT_TRANSLATE_NOOP("VQEXIFElement", "Optoelectric coefficient"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the Opto-Electric Conversion Function (OECF) given in ISO 14524. "
              "The OECF is the relationship between the camera optical input and the image "
              "values.")},
    {0x9000, QT_TRANSLATE_NOOP("VQEXIFElement", "Exif version"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The version of the Exif standard supported. Nonexistence of this field is "
              "taken to mean nonconformance to the standard. Conformance to version 2.2 is "
              "indicated by recording \"0220\" as a 4-byte ASCII string.")},
    {0x9003, QT_TRANSLATE_NOOP("VQEXIFElement", "Date and time original image was generated"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The date and time when the original image data was generated. For a DSC the "
              "date and time the picture was taken are recorded. The format is "
              "\"YYYY:MM:DD HH:MM:SS\" with time shown in 24-hour format, and the date and "
              "time separated by one blank character.")},
    {0x9004, QT_TRANSLATE_NOOP("VQEXIFElement", "Date and time image was made digital data"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The date and time when the image was stored as digital data. If, for "
              "example, an image was captured by a DSC and at the same time the file was "
              "recorded, then <DateTimeOriginal> and <DateTimeDigitized> will have the same "
              "contents. The format is \"YYYY:MM:DD HH:MM:SS\" with time shown in 24-hour "
              "format, and the date and time separated by one blank character.")},
    {0x9101, QT_TRANSLATE_NOOP("VQEXIFElement", "Meaning of each component"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Information particular to compressed data. The channels of each component "
              "are arranged in order from the 1st component to the 4th. For uncompressed "
              "data the data arrangement is given in the <PhotometricInterpretation> tag. "
              "However, since <PhotometricInterpretation> can only express the order of Y, "
              "Cb and Cr, this tag is provided for cases when compressed data uses "
              "components other than Y, Cb and Cr and to enable support of other "
              "sequences.")},
    {0x9102, QT_TRANSLATE_NOOP("VQEXIFElement", "Image compression mode"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Information particular to compressed data. The compression mode used for a "
              "compressed image is indicated in unit bits per pixel.")},
    {0x9201, QT_TRANSLATE_NOOP("VQEXIFElement", "Shutter speed"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Shutter speed. The unit is the APEX (Additive System of Photographic "
              "Exposure) setting.")},
    {0x9202, QT_TRANSLATE_NOOP("VQEXIFElement", "Aperture"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The lens aperture. The unit is the APEX value.")},
    {0x9203, QT_TRANSLATE_NOOP("VQEXIFElement", "Brightness"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The value of brightness. The unit is the APEX value. Ordinarily it is given "
              "in the range of -99.99 to 99.99.")},
    {0x9204, QT_TRANSLATE_NOOP("VQEXIFElement", "Exposure bias"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The exposure bias. The unit is the APEX value. Ordinarily it is given in the "
              "range of -99.99 to 99.99.")},
    {0x9205, QT_TRANSLATE_NOOP("VQEXIFElement", "Maximum lens aperture"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The smallest F number of the lens. The unit is the APEX value. Ordinarily it "
              "is given in the range of 00.00 to 99.99, but it is not limited to this "
              "range.")},
    {0x9206, QT_TRANSLATE_NOOP("VQEXIFElement", "Subject distance"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The distance to the subject, given in meters.")},
    {0x9207, QT_TRANSLATE_NOOP("VQEXIFElement", "Metering mode"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The metering mode: average, center-weighted average, spot, multi-spot, "
              "pattern or partial.")},
    {0x9208, QT_TRANSLATE_NOOP("VQEXIFElement", "Light source"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The kind of light source, such as daylight, fluorescent, tungsten or flash.")},
    {0x9209, QT_TRANSLATE_NOOP("VQEXIFElement", "Flash"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "This tag is recorded when an image is taken using a strobe light (flash). It "
              "indicates whether the flash fired, whether its return light was detected, "
              "and the flash mode.")},
    {0x920A, QT_TRANSLATE_NOOP("VQEXIFElement", "Lens focal length"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The actual focal length of the lens, in mm. Conversion is not made to the "
              "focal length of a 35 mm film camera.")},
    {0x927C, QT_TRANSLATE_NOOP("VQEXIFElement", "Manufacturer notes"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "A tag for manufacturers of Exif writers to record any desired information. "
              "The contents are up to the manufacturer.")},
    {0x9286, QT_TRANSLATE_NOOP("VQEXIFElement", "User comments"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "A tag for Exif users to write keywords or comments on the image besides "
              "those in <ImageDescription>, and without the character code limitations of "
              "the <ImageDescription> tag.")},
    {0x9290, QT_TRANSLATE_NOOP("VQEXIFElement", "DateTime subseconds"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "A tag used to record fractions of seconds for the <DateTime> tag.")},
    {0x9291, QT_TRANSLATE_NOOP("VQEXIFElement", "DateTimeOriginal subseconds"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "A tag used to record fractions of seconds for the <DateTimeOriginal> tag.")},
    {0x9292, QT_TRANSLATE_NOOP("VQEXIFElement", "DateTimeDigitized subseconds"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "A tag used to record fractions of seconds for the <DateTimeDigitized> tag.")},
    {0xA000, QT_TRANSLATE_NOOP("VQEXIFElement", "Supported FlashPix version"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The FlashPix format version supported by a FPXR file.")},
    {0xA001, QT_TRANSLATE_NOOP("VQEXIFElement", "Color space information"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "The color space information tag. Normally sRGB (=1) is used to define the "
              "color space based on the PC monitor conditions and environment. If a color "
              "space other than sRGB is used, Uncalibrated (=FFFF.H) is set. Image data "
              "recorded as Uncalibrated can be treated as sRGB when it is converted to "
              "FlashPix.")},
    {0xA002, QT_TRANSLATE_NOOP("VQEXIFElement", "Valid image width"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Information particular to compressed data. When a compressed file is "
              "recorded, the valid width of the meaningful image must be recorded in this "
              "tag, whether or not there is padding data or a restart marker. This tag "
              "should not exist in an uncompressed file.")},
    {0xA003, QT_TRANSLATE_NOOP("VQEXIFElement", "Valid image height"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Information particular to compressed data. When a compressed file is "
              "recorded, the valid height of the meaningful image must be recorded in this "
              "tag, whether or not there is padding data or a restart marker. This tag "
              "should not exist in an uncompressed file. Since data padding is unnecessary "
              "in the vertical direction, the number of lines recorded in this valid image "
              "height tag will in fact be the same as that recorded in the SOF.")},
    {0xA20B, QT_TRANSLATE_NOOP("VQEXIFElement", "Flash energy"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the strobe energy at the time the image is captured, as measured "
              "in Beam Candle Power Seconds (BCPS).")},
    {0xA20C, QT_TRANSLATE_NOOP("VQEXIFElement", "Spatial frequency response"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "This tag records the camera or input device spatial frequency table and SFR "
              "values in the direction of image width, image height, and diagonal "
              "direction, as given in ISO 12233.")},
    {0xA20E, QT_TRANSLATE_NOOP("VQEXIFElement", "Focal plane X resolution"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the number of pixels in the image width (X) direction per "
              "<FocalPlaneResolutionUnit> on the camera focal plane.")},
    {0xA20F, QT_TRANSLATE_NOOP("VQEXIFElement", "Focal plane Y resolution"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the number of pixels in the image height (Y) direction per "
              "<FocalPlaneResolutionUnit> on the camera focal plane.")},
    {0xA210, QT_TRANSLATE_NOOP("VQEXIFElement", "Focal plane resolution unit"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the unit for measuring <FocalPlaneXResolution> and "
              "<FocalPlaneYResolution>. This value is the same as the <ResolutionUnit>.")},
    {0xA214, QT_TRANSLATE_NOOP("VQEXIFElement", "Subject location"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the location of the main subject in the scene. The value of this "
              "tag represents the pixel at the center of the main subject relative to the "
              "left edge, prior to rotation processing as per the <Orientation> tag. The "
              "first value indicates the X column number and the second indicates the Y "
              "row number.")},
    {0xA215, QT_TRANSLATE_NOOP("VQEXIFElement", "Exposure index"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the exposure index selected on the camera or input device at the "
              "time the image is captured.")},
    {0xA217, QT_TRANSLATE_NOOP("VQEXIFElement", "Sensing method"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the image sensor type on the camera or input device.")},
    {0xA300, QT_TRANSLATE_NOOP("VQEXIFElement", "File source"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the image source. If a DSC recorded the image, this tag value must "
              "always be set to 3, indicating that the image was recorded on a DSC.")},
    {0xA301, QT_TRANSLATE_NOOP("VQEXIFElement", "Scene type"),
     QT_TRANSLATE_NOOP("VQEXIFElement", "Indicates the type of scene. If a DSC recorded the image, this tag value must "
              "always be set to 1, indicating that the image was directly photographed.")},
};

const Row* Find(VQEXIFElement::Type type)
{
    return type < VQEXIFElement::TypeCount ? &kCatalogue[type] : nullptr;
}

} // namespace

unsigned short VQEXIFElement::GetTag(Type type)
{
    const Row* row = Find(type);
    return row ? row->tag : 0;
}

QString VQEXIFElement::GetTypeName(Type type)
{
    const Row* row = Find(type);
    return row ? tr(row->name) : QString();
}

QString VQEXIFElement::GetDescription(Type type)
{
    const Row* row = Find(type);
    return row ? tr(row->description) : QString();
}
