#ifndef KXFILTERTESTIMAGES_H
#define KXFILTERTESTIMAGES_H

// Images for the filter tests.

#include "KXImage.h"

#include <random>
#include <vector>

namespace KXFilterTest {

// Random pixels; with `mixedAlpha` a third of them fully transparent or
// fully opaque (keeping their colour), as in real layers.
inline KXImageRGBA32i RandomImage(int width, int height, unsigned int seed, bool mixedAlpha = true)
{
    KXImageRGBA32i image(static_cast<unsigned int>(width), static_cast<unsigned int>(height));
    std::mt19937 random(seed);
    std::vector<KXRGBA32i> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (KXRGBA32i& p : row) {
            p = KXRGBA32i(random());
            if (mixedAlpha && random() % 3 == 0)
                p.a = random() % 2 ? 0 : 255;
        }
        image.SetLine(unsigned(y), row.data(), unsigned(width) * 4);
    }
    return image;
}

// Every pixel, row by row.
inline std::vector<KXRGBA32i> Pixels(const KXImageRGBA32i& image)
{
    std::vector<KXRGBA32i> out(size_t(image.Width()) * image.Height());
    for (unsigned int y = 0; y < image.Height(); ++y)
        image.GetLine(y, out.data() + size_t(y) * image.Width(), image.Width() * 4);
    return out;
}

} // namespace KXFilterTest

#endif // KXFILTERTESTIMAGES_H
