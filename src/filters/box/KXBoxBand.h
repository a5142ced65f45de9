#ifndef KXBOXBAND_H
#define KXBOXBAND_H

// The alpha-weighted box line (KXRGBABlurAccumulatorPremul) done fast: one
// line with every pixel's terms worked out once and the divisions done as
// exact multiplications, several pixels at a time, and the band form that
// slides the sums of KXPassGeometry::kBandLines lines together. Both give
// the pixels of the plain line (KXSlideBox in KXFilterPasses.h) bit for bit;
// the arithmetic and the reasons for its exactness are in KXBoxArithmetic.h
// and KXBoxArithmetic.cpp. Private to the library.

#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "KXImage.h"
#include "core/KXCacheLineVector.h"

#include <cstdint>

// Buffers a box line may keep between lines (a pass worker owns one); the
// band form keeps 64-byte rows in them.
struct KXBoxLineScratch {
    KXCacheLineVector<uint32_t> terms;  // the window's pixels' terms
    KXCacheLineVector<int32_t> sums;    // a block of pixels' sums
    KXCacheLineVector<uint32_t> pixels; // a block of finished pixels
    KXCacheLineVector<uint32_t> line;   // one row read
    KXCacheLineVector<uint32_t> rows;   // a band's finished rows
    KXPixelLine window;                 // the window of a line
};

// The plain line, reusing `scratch`'s window; for most accumulators the
// line a pass worker does.
template <class Accumulator>
void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                Accumulator& accumulator, KXBoxLineScratch& scratch)
{
    KXFillBoxWindow<Accumulator::kTransparentOutside>(g, source, accumulator.Radius(), scratch.window);
    KXSlideBoxWindow(g, scratch.window.data(), destination, accumulator);
}

// The same line for the alpha-weighted accumulator, fast; the pixels are
// those of the template (the accumulator itself is only asked for its
// radius).
void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                KXRGBABlurAccumulatorPremul& accumulator, KXBoxLineScratch& scratch);
// The same with buffers of its own.
void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                KXRGBABlurAccumulatorPremul& accumulator);

// Lines first … last of a pass of geometry `g` over `image`, read,
// computed and written a band of kBandLines lines at a time, the lines'
// sums sliding together; returns false (and does nothing) where it has no
// such form (other accumulators), so that the caller does the lines one by
// one. The pixels are those of the lines.
template <class Accumulator>
bool KXSlideBoxBand(const KXPassGeometry&, KXImageRGBA32i&, int, int, Accumulator&, KXBoxLineScratch&)
{
    return false;
}
// The band form for the alpha-weighted accumulator.
bool KXSlideBoxBand(const KXPassGeometry& g, KXImageRGBA32i& image, int first, int last,
                    KXRGBABlurAccumulatorPremul& accumulator, KXBoxLineScratch& scratch);

#endif // KXBOXBAND_H
