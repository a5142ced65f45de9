#ifndef KXTRANSFORMIMAGECOLORS_H
#define KXTRANSFORMIMAGECOLORS_H

/// \file
/// Colour transforms over whole images: where pixels are visited, apart from
/// what is done to one pixel.
///
/// Writers (TransformPixels) change an image in place. They take every
/// fresh block they need before the first pixel changes, so when the tile
/// manager runs out the image keeps all its old pixels; a tile shared with
/// another image is never changed, the writer gives this image a private
/// copy (copy on write), made in the same pass that transforms it. Each
/// pixel depends on itself alone, so the tiles of a tiled image are
/// transformed in parallel on Qt's global pool: the rule is called from
/// several threads at once and must not change shared state (the
/// adjustments' operator() const does not).
///
/// Readers (VisitPixels, VisitPixelsWithCoordinates) run a functor over the
/// pixels of a rectangle without detaching anything, on the calling thread
/// in a fixed order; they log any exception and return false.
///
/// The tile walks themselves live in the library; these templates only say
/// what happens to the pixels of one run.

#include "KXImage.h"
#include "KXLog.h"
#include "KXPixel.h"
#include "kxcore_export.h"

#include <QImage>
#include <QRect>

#include <type_traits>
#include <utility>

/// The tile walks behind TransformPixels, VisitPixels and
/// VisitPixelsWithCoordinates. Callers use those templates; these are the
/// pieces they are made of.
namespace KXColorWalk {

/// `lines` runs of `count` pixels, each run 128 pixels after the one before
/// (the lines of one tile): out[i] = rule(in[i]) for every pixel of them.
/// `out` may be `in`.
using RunsFn = void (*)(const void* rule, KXRGBA32i* out, const KXRGBA32i* in, unsigned int count,
                        unsigned int lines);
/// One line of `count` pixels read from image position (x, y) on.
using LineFn = void (*)(void* visitor, const KXRGBA32i* line, unsigned int count, int x, int y);

/// Every pixel of every tile, margins included, in parallel over tiles.
KXCORE_EXPORT void TransformTiles(KXImage<KXRGBA32i, 128, 128>& image, RunsFn runs, const void* rule);
/// The pixels of `rect` ∩ the image only, in parallel over the tiles they
/// touch; no other tile is written.
KXCORE_EXPORT void TransformArea(KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, RunsFn runs,
                                 const void* rule);
/// The lines of `rect` ∩ the image, tile rows top to bottom, tile columns
/// left to right, lines top to bottom within a tile; on the calling thread.
KXCORE_EXPORT void VisitArea(const KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, LineFn line,
                             void* visitor);

/// Whether a rule also offers ApplyRun(out, in, count): the same result for
/// a whole run of pixels, computed faster (the table adjustments do).
template <class F, class = void>
struct HasApplyRun : std::false_type {};
/// True for a rule with ApplyRun(out, in, count).
template <class F>
struct HasApplyRun<F, std::void_t<decltype(std::declval<const F&>().ApplyRun(
                          static_cast<KXRGBA32i*>(nullptr), static_cast<const KXRGBA32i*>(nullptr), 0u))>>
    : std::true_type {};

/// The pixel rule applied to a run of pixels, out[i] = rule(in[i]); `out` may
/// be `in`.
template <class F>
inline void ApplyToRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count, const F& f)
{
    if constexpr (HasApplyRun<F>::value) {
        f.ApplyRun(out, in, count);
    } else {
        for (unsigned int i = 0; i < count; ++i) {
            KXRGBA32i p = in[i];
            f(p);
            out[i] = p;
        }
    }
}

/// A RunsFn for the rule type F.
template <class F>
void ApplyToRuns(const void* rule, KXRGBA32i* out, const KXRGBA32i* in, unsigned int count, unsigned int lines)
{
    const F& f = *static_cast<const F*>(rule);
    for (unsigned int y = 0; y < lines; ++y)
        ApplyToRun(out + y * 128, in + y * 128, count, f);
}

/// The guard of both visitors: VisitArea with f as the visitor; any
/// exception is logged against `site` and gives false.
template <class F>
bool GuardedVisit(const KXLog::Site& site, const KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, LineFn line,
                  F& f)
{
    return KXLog::GuardAll(
        site,
        [&] {
            VisitArea(image, rect, line, const_cast<void*>(static_cast<const void*>(&f)));
            return true;
        },
        false);
}

} // namespace KXColorWalk

/// Applies the per-pixel rule f(KXRGBA32i&) to every pixel of every tile,
/// margins included (they carry no meaning).
template <class F>
void TransformPixels(KXImage<KXRGBA32i, 128, 128>& image, const F& f)
{
    KXColorWalk::TransformTiles(image, &KXColorWalk::ApplyToRuns<F>, &f);
}

/// Applies f only to the pixels of `rect` ∩ the image; only the tiles it
/// touches are written.
template <class F>
void TransformPixels(KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, const F& f)
{
    KXColorWalk::TransformArea(image, rect, &KXColorWalk::ApplyToRuns<F>, &f);
}

/// Applies f to every pixel of a QImage; an image that is not
/// QImage::Format_ARGB32 is converted to it first (Qt::NoOpaqueDetection).
template <class F>
void TransformPixels(QImage& image, const F& f)
{
    if (image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_ARGB32, Qt::NoOpaqueDetection);
    const unsigned int width = static_cast<unsigned int>(image.width());
    for (int y = 0; y < image.height(); ++y) {
        KXRGBA32i* line = reinterpret_cast<KXRGBA32i*>(image.scanLine(y));
        KXColorWalk::ApplyToRun(line, line, width, f);
    }
}

/// Calls f(const KXRGBA32i&) for every pixel of `rect` ∩ the image, tile by
/// tile (tile rows top to bottom, then tile columns), row by row within a
/// tile. Returns false, after one log line, if anything throws.
template <class F>
bool VisitPixels(const KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, F& f)
{
    const KXColorWalk::LineFn line = [](void* visitor, const KXRGBA32i* pixels, unsigned int count, int, int) {
        F& g = *static_cast<F*>(visitor);
        for (unsigned int i = 0; i < count; ++i)
            g(pixels[i]);
    };
    return KXColorWalk::GuardedVisit(KXLog::Site{__DATE__, __TIME__, 851, "include/KXTransformImageColors"}, image,
                                     rect, line, f);
}

/// The same, calling f(int x, int y, const KXRGBA32i*) with the pixel's image
/// coordinates.
template <class F>
bool VisitPixelsWithCoordinates(const KXImage<KXRGBA32i, 128, 128>& image, const QRect& rect, F& f)
{
    const KXColorWalk::LineFn line = [](void* visitor, const KXRGBA32i* pixels, unsigned int count, int x, int y) {
        F& g = *static_cast<F*>(visitor);
        for (unsigned int i = 0; i < count; ++i)
            g(x + static_cast<int>(i), y, pixels + i);
    };
    return KXColorWalk::GuardedVisit(KXLog::Site{__DATE__, __TIME__, 930, "include/KXTransformImageColors"}, image,
                                     rect, line, f);
}

#endif // KXTRANSFORMIMAGECOLORS_H
