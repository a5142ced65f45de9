// Layer masks: a fresh image of the source's size, filled with one value and,
// for the two derived masks, given an alpha per pixel from the source by one
// tile walker and a small rule. The finished image replaces the mask, so a
// failure leaves the mask as it was.

#include "KXImagePainter.h"

#include "KXLog.h"

#include <algorithm>

namespace {

using Image = KXImageRGBA32i;

const char kLogFile[] = "src/KXImagePainter";
constexpr unsigned int kTile = 128;

struct AlphaOfSource {
    uint32_t operator()(const KXRGBA32i& p) const { return p.a; }
};

struct LuminanceOfSource {
    uint32_t operator()(const KXRGBA32i& p) const { return (16u * p.g + 11u * p.r + 5u * p.b) >> 5; }
};

Image Filled(const Image& source, uint32_t value)
{
    Image made(source.Width(), source.Height()); // filled with 0
    if (value != 0)
        made.Fill(KXRGBA32i(value));
    return made;
}

// Every pixel inside the image becomes black with the rule's alpha; the
// margins of edge tiles keep the 0 of the fill.
template <class Rule>
Image Derived(const Image& source, uint32_t fill, Rule rule)
{
    Image made = Filled(source, fill);
    for (unsigned int row = 0; row < made.TileRows(); ++row) {
        const unsigned int rows = std::min(kTile, made.Height() - row * kTile);
        for (unsigned int column = 0; column < made.TileColumns(); ++column) {
            const unsigned int columns = std::min(kTile, made.Width() - column * kTile);
            const KXTileAccess<const KXRGBA32i> in = source.ReadTile(column, row);
            const KXTileAccess<KXRGBA32i> out = rows == kTile && columns == kTile
                                                    ? made.OverwriteTile(column, row)
                                                    : made.WriteTile(column, row);
            for (unsigned int y = 0; y < rows; ++y) {
                const KXRGBA32i* from = in.Data() + y * kTile;
                KXRGBA32i* to = out.Data() + y * kTile;
                for (unsigned int x = 0; x < columns; ++x)
                    to[x].value = rule(from[x]) << 24;
            }
        }
    }
    return made;
}

template <class Make>
void Replace(Image& mask, Make&& make)
{
    KXLog::GuardStd(KX_SITE(kLogFile), [&] {
        Image made = make();
        mask = std::move(made);
    });
}

} // namespace

void CreateHideAllMask(Image& mask, const Image& source)
{
    Replace(mask, [&] { return Filled(source, 0x00000000u); });
}

void CreateRevealAllMask(Image& mask, const Image& source)
{
    Replace(mask, [&] { return Filled(source, 0xFF000000u); });
}

void CreateFromTransparancyMask(Image& mask, const Image& source)
{
    Replace(mask, [&] { return Derived(source, 0x00000000u, AlphaOfSource()); });
}

void CreateFromSourceMask(Image& mask, const Image& source)
{
    Replace(mask, [&] { return Derived(source, 0xFF000000u, LuminanceOfSource()); });
}
