// Fuzz target: the geometric transforms and samplers. A small source image
// goes through TransformImage (into a tiled image and into a QImage), the
// nearest, bilinear and bicubic samplers and ScaleImage, with transforms
// from fuzzed numbers (any double sometimes, NaN and infinities included),
// source rectangles whose corners may lie anywhere in the int range, and
// sometimes a tile request failing as an exhausted manager fails it. The
// source must come out unchanged and every block back.

#include "KXFuzzSupport.h"

#include "KXScaleImage.h"
#include "KXTransformImage.h"

#include <QImage>
#include <QTransform>

#include <cmath>

namespace {

// A transform coefficient: mostly a modest number, sometimes any double.
double Coefficient(KXFuzz::Bytes& in, int lo, int hi)
{
    return in.Flag() ? in.Take<double>() : in.Range(lo, hi) / 16.0;
}

int Coordinate(KXFuzz::Bytes& in, int lo, int hi)
{
    return in.Flag() ? in.Take<int32_t>() : in.Range(lo, hi);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KXFuzz::Setup();
    const long long before = KXFuzz::FreeBlocks();
    {
        KXFuzz::Bytes in(data, size);
        const KXImageRGBA32i source = KXFuzz::Pattern(in.Range(0, 160), in.Range(0, 160), in.Take<uint32_t>());
        const std::vector<KXRGBA32i> pixels = KXFuzz::Pixels(source);
        QTransform transform(Coefficient(in, -64, 64), Coefficient(in, -64, 64), Coefficient(in, -4, 4),
                             Coefficient(in, -64, 64), Coefficient(in, -64, 64), Coefficient(in, -4, 4),
                             Coefficient(in, -3200, 3200), Coefficient(in, -3200, 3200), Coefficient(in, 8, 64));
        if (in.Flag())
            transform = QTransform(transform.m11(), transform.m12(), transform.m21(), transform.m22(), transform.dx(),
                                   transform.dy()); // affine
        QRect area;
        if (in.Flag()) {
            const int x = Coordinate(in, -20, 180), y = Coordinate(in, -20, 180);
            area = QRect(QPoint(x, y), QPoint(Coordinate(in, -20, 180), Coordinate(in, -20, 180)));
        }
        const int width = in.Range(1, 200), height = in.Range(1, 200);
        const double scale = in.Flag() ? in.Take<double>() : in.Range(1, 64) / 8.0;
        const QPointF offset(Coefficient(in, -3200, 3200), Coefficient(in, -3200, 3200));
        const KXFuzz::Faults faults(in);
        faults.Run([&] {
            KXImageRGBA32i tiled(static_cast<unsigned int>(width), static_cast<unsigned int>(height));
            (void)TransformImage(source, transform, tiled, area);
            QImage picture(width, height, QImage::Format_ARGB32);
            picture.fill(0);
            (void)TransformImage(source, transform, picture, area);
            (void)NearestNeighbourTransformImage(source, transform, tiled, area);
            (void)BilinearTransformImage(source, transform, tiled, area);
            (void)BicubicTransformImage(source, transform, tiled, area);
            (void)ScaleImage(source, offset, scale, picture);
        });
        KXFUZZ_CHECK(KXFuzz::Pixels(source) == pixels);
    }
    KXFUZZ_CHECK(KXFuzz::FreeBlocks() == before);
    return 0;
}
