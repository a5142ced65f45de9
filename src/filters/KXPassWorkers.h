#ifndef KXPASSWORKERS_H
#define KXPASSWORKERS_H

// The workers of the passes (KXFilterPasses.h): each does whole lines of
// one pass with buffers and a kernel or accumulator of its own, so that
// several lines of a pass may be done at once by different workers
// (columns a band of KXPassGeometry::kBandLines at a time, read and written
// as short row segments); the pixels are those of the pass's Step. Private
// to the library: the line runner's default schedule uses them.

#include "KXBoxBand.h"
#include "KXFilterPasses.h"

#include <algorithm>
#include <optional>
#include <vector>

// The line buffers of a pass worker: kBandLines source and destination lines.
struct KXLineBand {
    explicit KXLineBand(const KXPassGeometry& g)
        : sources(KXPassGeometry::kBandLines, KXPixelLine(static_cast<size_t>(g.sourceLength))),
          destinations(KXPassGeometry::kBandLines, KXPixelLine(static_cast<size_t>(g.destinationLength)))
    {
    }
    std::vector<KXPixelLine> sources;      // source segments
    std::vector<KXPixelLine> destinations; // destination segments

    // Lines first … last of `image`: compute(source, destination) for each
    // line, a band of lines read before and written after.
    template <class Compute>
    void Run(const KXPassGeometry& g, KXImageRGBA32i& image, int first, int last, Compute&& compute)
    {
        for (int at = first; at <= last; at += KXPassGeometry::kBandLines) {
            const int count = std::min(KXPassGeometry::kBandLines, last - at + 1);
            g.ReadBand(image, at, count, sources);
            for (int k = 0; k < count; ++k)
                compute(sources[static_cast<size_t>(k)], destinations[static_cast<size_t>(k)]);
            g.WriteBand(image, at, count, destinations);
        }
    }
};

// A kernel pass's lines through the kernel's Span.
template <class Kernel>
class KXKernelPass<Kernel>::Worker {
public:
    explicit Worker(const KXKernelPass& pass) : m_pass(pass), m_band(pass.Geometry()), m_kernel(pass.LineKernel()) {}
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    // Does rows (columns) first … last.
    void Lines(int first, int last)
    {
        const int length = m_pass.Geometry().destinationLength;
        m_band.Run(m_pass.Geometry(), m_pass.Image(), first, last,
                   [this, length](const KXPixelLine& source, KXPixelLine& destination) {
                       m_kernel.SetSource(&source);
                       m_kernel.SetDestination(&destination);
                       m_kernel.Span(0, length);
                   });
    }

private:
    const KXKernelPass& m_pass;
    KXLineBand m_band;
    Kernel m_kernel;
};

// A box pass's lines: in the band form where the accumulator has one,
// else line by line.
template <class Accumulator>
class KXBoxPass<Accumulator>::Worker {
public:
    explicit Worker(const KXBoxPass& pass) : m_pass(pass), m_accumulator(pass.LineAccumulator()) {}
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    // Does rows (columns) first … last.
    void Lines(int first, int last)
    {
        const KXPassGeometry& g = m_pass.Geometry();
        if (KXSlideBoxBand(g, m_pass.Image(), first, last, m_accumulator, m_scratch))
            return;
        if (!m_band)
            m_band.emplace(g);
        m_band->Run(g, m_pass.Image(), first, last, [this, &g](const KXPixelLine& source, KXPixelLine& destination) {
            KXSlideBox(g, source, destination, m_accumulator, m_scratch);
        });
    }

private:
    const KXBoxPass& m_pass;
    std::optional<KXLineBand> m_band; // line buffers, made when first needed
    Accumulator m_accumulator;
    KXBoxLineScratch m_scratch;
};

#endif // KXPASSWORKERS_H
