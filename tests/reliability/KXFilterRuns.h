#ifndef KXFILTERRUNS_H
#define KXFILTERRUNS_H

// What the exhaustion and cancellation sweeps share: a set of small input
// images (tile margins on the right and at the bottom, an area that crosses
// tile borders), a check that an image is whole, and one run of every
// filter, each a row of one table.

#include "KXAdjustmentProcessing.h"
#include "KXImage.h"

#include <QImage>
#include <QReadWriteLock>

#include <functional>
#include <vector>

namespace KXReliability {

struct Inputs {
    KXImageRGBA32i layer;     // 300 x 200 random pixels, alpha mixed
    KXImageRGBA32i selection; // 120 x 90 random, placed at kOffset
    KXImageRGBA32i mask;      // 300 x 200 random
    KXImageRGBA32i holes;     // 300 x 200: alpha 255 (a hole) in 24 x 16 across (128, 128), else 0
    KXImageRGBA64i wide;      // the layer in 16-bit channels
    KXImageHSLA hsl;          // the layer in HSL
    QImage picture;           // the layer as a QImage
    double highPassSigma = 0; // a high pass's cache of the area case at sigma 2
    KXImageRGBA32i highPass;

    static Inputs Make();
};

// Where the selection lies on the layer: across the tile borders x = 128
// and y = 128.
const QPoint kOffset(100, 60);

// The dimensions agree with the tile grid, every slot holds a tile and
// every row can be read.
bool Whole(const KXImageRGBA32i& image);

// The caller's side of a filter run: the inputs, the cancel lock and flag,
// and what to connect to the filter before it runs.
struct FilterCaller {
    const Inputs& inputs;
    QReadWriteLock lock;
    bool cancel = false;
    std::function<void(KXAdjustmentProcessing&)> watch;

    explicit FilterCaller(const Inputs& in) : inputs(in) {}
};

struct FilterRun {
    const char* name;
    // Builds the filter, lets the caller watch it, runs it; the image it
    // gives back (the shadow or the refined mask for those filters).
    std::function<KXImageRGBA32i(FilterCaller&)> run;
    bool deterministic; // the same inputs give the same pixels
};

// One run of every filter, with an area and without.
const std::vector<FilterRun>& FilterRuns();

} // namespace KXReliability

#endif // KXFILTERRUNS_H
