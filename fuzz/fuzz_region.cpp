// Fuzz target: the flood fills and the inpainting. A small image with a
// fuzzed pattern of transparent holes is filled from seeds and with
// tolerances anywhere in their ranges (every overload), and inpainted with
// image and mask rectangles whose corners may lie anywhere in the int
// range; sometimes a tile request fails as an exhausted manager fails it.
// A refused fill leaves its target as it was; every block comes back.

#include "KXFuzzSupport.h"

#include "KXFloodFill.h"
#include "KXImageConversion.h"
#include "KXInpaint.h"

#include <QImage>

namespace {

int Coordinate(KXFuzz::Bytes& in, int lo, int hi)
{
    return in.Flag() ? in.Take<int32_t>() : in.Range(lo, hi);
}

QRect Rect(KXFuzz::Bytes& in)
{
    const int x = Coordinate(in, -20, 180), y = Coordinate(in, -20, 180);
    return QRect(QPoint(x, y), QPoint(Coordinate(in, -20, 180), Coordinate(in, -20, 180)));
}

// The image with holes: every pixel whose pattern value has its low bits
// below `holes` becomes transparent.
KXImageRGBA32i Holed(KXFuzz::Bytes& in)
{
    KXImageRGBA32i image = KXFuzz::Pattern(in.Range(1, 150), in.Range(1, 150), in.Take<uint32_t>());
    const unsigned int holes = in.Range(0, 16);
    KXImageRGBA32i out(image.Width(), image.Height());
    for (unsigned int y = 0; y < image.Height(); ++y)
        for (unsigned int x = 0; x < image.Width(); ++x) {
            KXRGBA32i p = image.GetColor(int(x), int(y));
            p.a = (p.value & 15u) < holes ? 0 : 255;
            out.SetColor(int(x), int(y), p);
        }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KXFuzz::Setup();
    const long long before = KXFuzz::FreeBlocks();
    {
        KXFuzz::Bytes in(data, size);
        const KXImageRGBA32i source = Holed(in);
        const QPoint seed(Coordinate(in, -5, 155), Coordinate(in, -5, 155));
        const KXRGBA32i tolerance(in.Take<uint32_t>()), fill(in.Take<uint32_t>());
        const QRect imageRect = Rect(in), maskRect = Rect(in);
        const KXFuzz::Faults faults(in);
        faults.Run([&] {
            QRect bounds;
            KXImageRGBA32i image = source;
            (void)KXFloodFillHelper::FloodFill(image, seed, fill, &bounds);
            image = source;
            (void)KXFloodFillHelper::FloodFill(image, seed, tolerance, fill, &bounds);
            KXImageRGBA32i target = source;
            (void)KXFloodFillHelper::FloodFill(source, target, seed, tolerance, fill, &bounds);
            QImage picture = ConvertImage<KXImageRGBA32i, QImage>(source);
            (void)KXFloodFillHelper::FloodFill(picture, seed, tolerance, fill, &bounds);
            KXImageRGBA32i range(7, 5);
            const std::vector<KXRGBA32i> untouched = KXFuzz::Pixels(range);
            if (!KXFloodFillHelper::ColorRangeFill(source, range, seed, tolerance, fill, &bounds))
                KXFUZZ_CHECK(range.Width() == 7 && KXFuzz::Pixels(range) == untouched);

            KXImageRGBA32i painted = source, mask = source;
            KXInpaintIterative inpaint(painted, mask, imageRect, maskRect);
            for (int pass = 0; pass < 200 && inpaint(); ++pass) {
            }
        });
    }
    KXFUZZ_CHECK(KXFuzz::FreeBlocks() == before);
    return 0;
}
