// Fuzz target: chains of image operations on four image slots (create,
// copy, write a rectangle, fill, blend, filter, cancel, flood fill, drop).
// After every operation no slot but the one written may have changed (a
// copy never changes when its original is written, a filter never changes
// its input), each operation's own promise is checked against the pixels
// before it, and every tile block is back once the slots are gone.

#include "KXFuzzSupport.h"

#include "KXBlendModes.h"
#include "KXBlurFilters.h"
#include "KXFloodFill.h"

#include <QReadWriteLock>

#include <array>
#include <stdexcept>

namespace {

using Pixels = std::vector<KXRGBA32i>;
constexpr int kSlots = 4;
constexpr int kMaxSide = 300;
constexpr int kMaxOperations = 32;

struct Chain {
    std::array<KXImageRGBA32i, kSlots> images;
    std::array<Pixels, kSlots> seen; // each slot's pixels after the last operation
};

KXRGBA32i At(const KXImageRGBA32i& image, const Pixels& pixels, int x, int y)
{
    return pixels[size_t(y) * image.Width() + size_t(x)];
}

QRect Rect(KXFuzz::Bytes& in)
{
    return QRect(in.Range(-50, kMaxSide + 50), in.Range(-50, kMaxSide + 50), in.Range(-5, kMaxSide + 50),
                 in.Range(-5, kMaxSide + 50));
}

// Pixels outside `area` are as they were.
void SameOutside(const KXImageRGBA32i& image, const Pixels& before, const QRect& area)
{
    const Pixels after = KXFuzz::Pixels(image);
    KXFUZZ_CHECK(after.size() == before.size());
    for (int y = 0; y < int(image.Height()); ++y)
        for (int x = 0; x < int(image.Width()); ++x)
            if (!area.contains(x, y))
                KXFUZZ_CHECK(At(image, after, x, y) == At(image, before, x, y));
}

void WriteRect(KXImageRGBA32i& image, KXFuzz::Bytes& in)
{
    const int x = in.Range(0, kMaxSide + 10), y0 = in.Range(0, kMaxSide + 10);
    const int width = in.Range(1, kMaxSide), height = in.Range(1, kMaxSide);
    const KXRGBA32i value(in.Take<uint32_t>());
    const Pixels before = KXFuzz::Pixels(image);
    const int w = std::min(width, int(image.Width()) - x);
    const Pixels row(size_t(std::max(w, 1)), value);
    for (int y = y0; y < y0 + height; ++y) {
        const bool inside = x < int(image.Width()) && y < int(image.Height());
        KXFUZZ_CHECK(image.SetLine(y, x, row.data(), unsigned(std::max(w, 1)) * 4) == inside);
    }
    const QRect area(x, y0, std::max(w, 0), height);
    SameOutside(image, before, area);
    const Pixels after = KXFuzz::Pixels(image);
    for (int y = y0; y < std::min(y0 + height, int(image.Height())); ++y)
        for (int i = 0; i < w; ++i)
            KXFUZZ_CHECK(At(image, after, x + i, y) == value);
}

void Fill(KXImageRGBA32i& image, KXFuzz::Bytes& in)
{
    const KXRGBA32i value(in.Take<uint32_t>());
    image.Fill(value);
    for (const KXRGBA32i& pixel : KXFuzz::Pixels(image))
        KXFUZZ_CHECK(pixel == value);
}

void Blend(const KXImageRGBA32i& source, KXImageRGBA32i& target, const KXImageRGBA32i& mask, KXFuzz::Bytes& in)
{
    const QRect sourceRect = Rect(in), targetRect = Rect(in), maskRect = Rect(in);
    const unsigned int mode = static_cast<unsigned int>(in.Range(0, 100));
    const double opacity = in.Flag() ? in.Take<double>() : in.Range(0, 300) / 256.0;
    const bool lockAlpha = in.Flag(), masked = in.Flag(), reveal = in.Flag();
    const Pixels before = KXFuzz::Pixels(target);
    const KXImageRGBA32i sourceCopy = source; // the source may be the target itself
    if (masked)
        BlendMaskOn(sourceCopy, sourceRect, mode, target, targetRect, opacity, mask, maskRect, reveal, lockAlpha);
    else
        BlendOn(sourceCopy, sourceRect, mode, target, targetRect, opacity, lockAlpha);
    const QRect placed(targetRect.topLeft(), QSize(std::min(sourceRect.width(), targetRect.width()),
                                                   std::min(sourceRect.height(), targetRect.height())));
    const QRect moved = sourceCopy.Rect().translated(targetRect.topLeft() - sourceRect.topLeft());
    SameOutside(target, before, placed & target.Rect() & moved);
}

// A box blur of a shared copy; with `cancel` the flag is set before the run.
void Filter(KXImageRGBA32i& image, KXFuzz::Bytes& in, bool cancel)
{
    QReadWriteLock cancelLock;
    bool cancelled = cancel;
    KXBoxBlurProcessing filter(cancelLock, cancelled);
    KXBoxBlurProcessing::BlurData data;
    data.image = image;
    data.radius = in.Range(-2, 20);
    const Pixels before = KXFuzz::Pixels(image);
    KXImageRGBA32i result = filter.run(data);
    KXFUZZ_CHECK(KXFuzz::Pixels(image) == before);
    if (!cancel && data.radius >= 0)
        KXFUZZ_CHECK(result.Width() == image.Width() && result.Height() == image.Height());
    image = std::move(result);
}

void FloodFill(const KXImageRGBA32i& source, KXImageRGBA32i& image, KXFuzz::Bytes& in)
{
    const QPoint seed(in.Range(-5, kMaxSide + 5), in.Range(-5, kMaxSide + 5));
    const KXRGBA32i tolerance(in.Take<uint32_t>()), fill(in.Take<uint32_t>());
    const int kind = in.Range(0, 3);
    const Pixels before = KXFuzz::Pixels(image);
    const KXImageRGBA32i from = source; // the source may be the target itself
    QRect bounds;
    bool filled = false;
    switch (kind) {
    case 0: filled = KXFloodFillHelper::FloodFill(image, seed, fill, &bounds); break;
    case 1: filled = KXFloodFillHelper::FloodFill(image, seed, tolerance, fill, &bounds); break;
    case 2: {
        // A filled pixel outside a smaller target throws; those before it
        // stay written (and are checked below like any other).
        try {
            filled = KXFloodFillHelper::FloodFill(from, image, seed, tolerance, fill, &bounds);
        } catch (const std::out_of_range&) {
            KXFUZZ_CHECK(image.Width() < from.Width() || image.Height() < from.Height());
            filled = true;
            bounds = from.Rect();
        }
        break;
    }
    default: filled = KXFloodFillHelper::ColorRangeFill(from, image, seed, tolerance, fill, &bounds); break;
    }
    const Pixels after = KXFuzz::Pixels(image);
    if (kind == 3) {
        // A refused seed leaves the target as it was; otherwise the target
        // has the source's size, each pixel the fill colour where it
        // matched, else transparent.
        if (!filled) {
            KXFUZZ_CHECK(after == before);
            return;
        }
        KXFUZZ_CHECK(image.Width() == from.Width() && image.Height() == from.Height());
        for (int y = 0; y < int(image.Height()); ++y)
            for (int x = 0; x < int(image.Width()); ++x) {
                const KXRGBA32i p = At(image, after, x, y);
                KXFUZZ_CHECK(p == fill || p == KXRGBA32i(0));
                if (filled && fill != KXRGBA32i(0) && p == fill)
                    KXFUZZ_CHECK(bounds.contains(x, y));
            }
        return;
    }
    if (!filled)
        bounds = QRect();
    const Pixels& reference = before;
    KXFUZZ_CHECK(after.size() == reference.size());
    for (int y = 0; y < int(image.Height()); ++y)
        for (int x = 0; x < int(image.Width()); ++x)
            if (At(image, after, x, y) != At(image, reference, x, y))
                KXFUZZ_CHECK(At(image, after, x, y) == fill && bounds.contains(x, y));
}

void SetColor(KXImageRGBA32i& image, KXFuzz::Bytes& in)
{
    const int x = in.Range(-2, kMaxSide + 2), y = in.Range(-2, kMaxSide + 2);
    const KXRGBA32i value(in.Take<uint32_t>());
    const bool inside = image.Rect().contains(x, y);
    try {
        image.SetColor(x, y, value);
        KXFUZZ_CHECK(inside && image.GetColor(x, y) == value);
    } catch (const std::out_of_range&) {
        KXFUZZ_CHECK(!inside);
    }
}

void Operate(Chain& chain, KXFuzz::Bytes& in)
{
    const int operation = in.Range(0, 9);
    const int t = in.Range(0, kSlots - 1), s = in.Range(0, kSlots - 1), m = in.Range(0, kSlots - 1);
    KXImageRGBA32i& target = chain.images[t];
    switch (operation) {
    case 0: target = KXFuzz::Pattern(in.Range(0, kMaxSide), in.Range(0, kMaxSide), in.Take<uint32_t>()); break;
    case 1:
        target = chain.images[s];
        KXFUZZ_CHECK(KXFuzz::Pixels(target) == chain.seen[s]);
        break;
    case 2: WriteRect(target, in); break;
    case 3: Fill(target, in); break;
    case 4: Blend(chain.images[s], target, chain.images[m], in); break;
    case 5: Filter(target, in, false); break;
    case 6: Filter(target, in, true); break;
    case 7: FloodFill(chain.images[s], target, in); break;
    case 8: SetColor(target, in); break;
    default: target = KXImageRGBA32i(); break;
    }
    chain.seen[t] = KXFuzz::Pixels(target);
    for (int other = 0; other < kSlots; ++other)
        if (other != t)
            KXFUZZ_CHECK(KXFuzz::Pixels(chain.images[other]) == chain.seen[other]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KXFuzz::Setup();
    const long long before = KXFuzz::FreeBlocks();
    {
        KXFuzz::Bytes in(data, size);
        Chain chain;
        for (int i = 0; i < kMaxOperations && in.Remaining() > 0; ++i)
            Operate(chain, in);
    }
    KXFUZZ_CHECK(KXFuzz::FreeBlocks() == before);
    return 0;
}
