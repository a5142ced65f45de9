// Fuzz target: raw RGB buffers and QImages of fuzzed geometry and format
// through the conversions, and the library's own pixel forms into one
// another. Exact round trips are checked where the conversion promises
// them (32-bit ARGB QImages, 8 <-> 16 bits per channel); the others must
// keep the size.

#include "KXFuzzSupport.h"

#include "KXImageConversion.h"

#include <QImage>

namespace {

constexpr int kMaxSide = 300;

void Raw(KXFuzz::Bytes& in)
{
    RGB32iRawImage raw;
    raw.width = static_cast<uint16_t>(in.Range(0, kMaxSide));
    raw.height = static_cast<uint16_t>(in.Range(0, kMaxSide));
    raw.bytesPerPixel = static_cast<uint16_t>(in.Range(0, 8));
    const QByteArray pixels = in.Chunk(size_t(raw.width) * raw.height * raw.bytesPerPixel);
    std::vector<uint8_t> buffer(size_t(raw.width) * raw.height * raw.bytesPerPixel);
    std::copy(pixels.begin(), pixels.end(), buffer.begin());
    raw.data = (buffer.empty() && in.Flag()) ? nullptr : buffer.data();
    KXImageRGBA32i image;
    try {
        image = ConvertImage<RGB32iRawImage, KXImageRGBA32i>(raw);
    } catch (const std::invalid_argument&) {
        KXFUZZ_CHECK(raw.bytesPerPixel < 3 || !raw.data);
        return;
    }
    KXFUZZ_CHECK(image.Width() == raw.width && image.Height() == raw.height);
    if (raw.width && raw.height) {
        const int x = raw.width - 1, y = raw.height / 2;
        const uint8_t* p = buffer.data() + (size_t(y) * raw.width + x) * raw.bytesPerPixel;
        const KXRGBA32i pixel = image.GetColor(x, y);
        KXFUZZ_CHECK(pixel.r == p[0] && pixel.g == p[1] && pixel.b == p[2] && pixel.a == 255);
    }
}

void FromQImage(KXFuzz::Bytes& in)
{
    const int width = in.Range(0, kMaxSide), height = in.Range(0, kMaxSide);
    const auto format = static_cast<QImage::Format>(in.Range(1, QImage::NImageFormats - 1));
    QImage image(width, height, format);
    if (image.isNull() && width && height)
        return; // a format Qt cannot make
    const QByteArray bytes = in.Chunk(size_t(image.sizeInBytes()));
    if (image.sizeInBytes() > 0)
        std::copy(bytes.begin(), bytes.end(), image.bits());
    if (image.colorCount() || format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
        format == QImage::Format_MonoLSB) {
        QVector<QRgb> table(in.Range(0, 256));
        for (QRgb& entry : table)
            entry = in.Take<uint32_t>();
        image.setColorTable(table);
    }
    const KXImageRGBA32i converted = ConvertImage<QImage, KXImageRGBA32i>(image);
    KXFUZZ_CHECK(int(converted.Width()) == image.width() && int(converted.Height()) == image.height());
    const QImage back = ConvertImage<KXImageRGBA32i, QImage>(converted);
    KXFUZZ_CHECK(back.width() == image.width() && back.height() == image.height());
    if (format == QImage::Format_ARGB32)
        for (int y = 0; y < image.height(); ++y)
            KXFUZZ_CHECK(std::memcmp(back.constScanLine(y), image.constScanLine(y), size_t(width) * 4) == 0);
}

void Forms(KXFuzz::Bytes& in)
{
    const unsigned int width = in.Range(0, kMaxSide), height = in.Range(0, kMaxSide);
    const KXImageRGBA32i image = KXFuzz::Pattern(width, height, in.Take<uint32_t>());
    const std::vector<KXRGBA32i> pixels = KXFuzz::Pixels(image);
    const KXImageRGBA32i deep = ConvertImage<KXImageRGBA64i, KXImageRGBA32i>(ConvertImage<KXImageRGBA32i, KXImageRGBA64i>(image));
    KXFUZZ_CHECK(KXFuzz::Pixels(deep) == pixels);
    const auto sizeKept = [&](const KXImageRGBA32i& other) {
        KXFUZZ_CHECK(other.Width() == width && other.Height() == height);
    };
    sizeKept(ConvertImage<KXImageRGBA64f, KXImageRGBA32i>(ConvertImage<KXImageRGBA32i, KXImageRGBA64f>(image)));
    const KXImageCMYKA cmyk = ConvertImage<KXImageRGBA32i, KXImageCMYKA>(image);
    sizeKept(ConvertImage<KXImageCMYKA, KXImageRGBA32i>(cmyk));
    const QImage fromCmyk = ConvertImage<KXImageCMYKA, QImage>(cmyk);
    if (width && height)
        KXFUZZ_CHECK(fromCmyk.width() == int(width) && fromCmyk.height() == int(height));
    else
        KXFUZZ_CHECK(fromCmyk.isNull()); // Qt has no empty image of one non-zero side
    sizeKept(ConvertImage<KXImageHSLA, KXImageRGBA32i>(ConvertImage<KXImageRGBA32i, KXImageHSLA>(image)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KXFuzz::Setup();
    if (size < 1)
        return 0;
    const long long before = KXFuzz::FreeBlocks();
    KXFuzz::Bytes in(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0: Raw(in); break;
    case 1: FromQImage(in); break;
    default: Forms(in); break;
    }
    KXFUZZ_CHECK(KXFuzz::FreeBlocks() == before);
    return 0;
}
