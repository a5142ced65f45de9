// The Gaussian row pass a wave at a time (see KXGaussianRows.h).

#include "KXGaussianRows.h"

#include "KXParallel.h"
#include "core/KXTileWalker.h"
#include "filters/KXLineRunner.h"

#include <algorithm>
#include <cstring>
#include <vector>

void KXGaussianRows::Wave(const KXKernelPass<KXGaussian1DPremul>& pass, int first, int last)
{
    const KXPassGeometry& g = pass.Geometry();
    first = std::max(first, g.firstLine);
    last = std::min(last, g.lastLine);
    if (first > last || TileWave(pass, first, last))
        return;
    KXImageRGBA32i& image = pass.Image();
    const int count = last - first + 1, length = g.destinationLength;
    // The wave's finished rows, kept by the calling thread from wave to wave.
    // (Named through a reference: in the tasks below the name of a
    // thread_local would mean the pool thread's own.)
    thread_local std::vector<KXPixelLine> kept;
    std::vector<KXPixelLine>& rows = kept;
    if (rows.size() < size_t(count))
        rows.resize(size_t(count));
    for (int k = 0; k < count; ++k)
        rows[size_t(k)].resize(size_t(length));

    // Chunks of rows on the pool, ending at multiples of the runner's chunk.
    constexpr int kChunk = KXLineRunner::kChunkLines;
    std::vector<int> starts;
    for (int at = first; at <= last; at = (at / kChunk + 1) * kChunk)
        starts.push_back(at);
    std::vector<int> chunks = KXParallel::Indices(static_cast<int>(starts.size()));
    KXParallel::BlockingMap(chunks, [&](int chunk) {
        const int from = starts[size_t(chunk)];
        const int to = size_t(chunk) + 1 < starts.size() ? starts[size_t(chunk) + 1] - 1 : last;
        thread_local KXPixelLine source;
        source.resize(size_t(g.sourceLength));
        KXGaussian1DPremul kernel(pass.LineKernel());
        kernel.SetSource(&source);
        for (int y = from; y <= to; ++y) {
            g.Read(image, y, source);
            kernel.SetDestination(&rows[size_t(y - first)]);
            kernel.Span(0, length);
        }
    });

    constexpr int W = KXImageRGBA32i::kTileWidth;
    const QRect area = g.Area(first, last);
    KXTileWalker::OverwriteArea(
        image, area, KXTileWalker::Run::Parallel,
        [&](KXRGBA32i* out, const QRect& part, unsigned int column, unsigned int row) {
            const int x = int(column) * W + part.left() - g.destinationStart;
            const int y0 = int(row) * KXImageRGBA32i::kTileHeight - first;
            for (int y = part.top(); y <= part.bottom(); ++y)
                std::memcpy(static_cast<void*>(out + y * W + part.left()), rows[size_t(y0 + y)].data() + x,
                            size_t(part.width()) * sizeof(KXRGBA32i));
        });
}
