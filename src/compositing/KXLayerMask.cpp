// Layer masks: a fresh image of the source's size, filled with one value or,
// for the two derived masks, given an alpha per pixel from the source by the
// tile walker and a small rule, on the calling thread. The finished image
// replaces the mask, so a failure leaves the mask as it was.

#include "KXImagePainter.h"

#include "core/KXArithmetic.h"
#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"

#include <algorithm>

namespace {

using Image = KXImageRGBA32i;

const char kLogFile[] = "src/KXImagePainter";
constexpr unsigned int kTile = 128;

struct AlphaOfSource {
    uint32_t operator()(const KXRGBA32i& p) const { return p.a; }
};

struct LuminanceOfSource {
    uint32_t operator()(const KXRGBA32i& p) const { return KXArithmetic::LumaOf(p); }
};

Image Filled(const Image& source, uint32_t value)
{
    Image made(source.Width(), source.Height()); // filled with 0
    if (value != 0)
        made.Fill(KXRGBA32i(value));
    return made;
}

// Every pixel inside the image becomes black with the rule's alpha; the
// margins of edge tiles are 0. Each tile is written whole from the source's
// tile.
template <class Rule>
Image Derived(const Image& source, Rule rule)
{
    Image made(source.Width(), source.Height());
    KXTileWalker::Fill(made, KXTileWalker::Run::Serial, [&](KXRGBA32i* out, unsigned int column, unsigned int row) {
        const unsigned int rows = std::min(kTile, made.Height() - row * kTile);
        const unsigned int columns = std::min(kTile, made.Width() - column * kTile);
        const KXTileAccess<const KXRGBA32i> in = source.ReadTile(column, row);
        std::fill(out, out + Image::kTilePixels, KXRGBA32i(0u));
        for (unsigned int y = 0; y < rows; ++y) {
            const KXRGBA32i* from = in.Data() + y * kTile;
            KXRGBA32i* to = out + y * kTile;
            for (unsigned int x = 0; x < columns; ++x)
                to[x].value = rule(from[x]) << 24;
        }
    });
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
    Replace(mask, [&] { return Derived(source, AlphaOfSource()); });
}

void CreateFromSourceMask(Image& mask, const Image& source)
{
    Replace(mask, [&] { return Derived(source, LuminanceOfSource()); });
}
