#ifndef KXIMG_HISTOGRAMCHART_H
#define KXIMG_HISTOGRAMCHART_H

// Channel histograms of a working image, counted with the library's
// histogram calculator, and a chart of them: red, green and blue as filled
// areas added up on a dark ground (where all three overlap the chart turns
// grey) and the luminance as a white line; heights on a square-root scale.

#include "KXImage.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <array>
#include <vector>

namespace kximg {

struct ChannelHistograms {
    using Counts = std::array<int, 256>;
    Counts red{}, green{}, blue{};
    Counts all{};       // red, green and blue together: three counts a pixel
    Counts luminance{}; // (11 R + 16 G + 5 B) / 32, as the library's greyscale
    Counts alpha{};
    long long pixels = 0;
};

// Every pixel of the image, transparent ones included (as the library counts).
ChannelHistograms CountHistograms(const KXImageRGBA32i& image);

// Statistics of one histogram.
struct ChannelSummary {
    int min = 0, max = 0; // the first and last level with a count (0, 0 when empty)
    double mean = 0;
    int median = 0;
    int low = 0, high = 0; // the library's clipping thresholds
};
ChannelSummary Summarise(const ChannelHistograms::Counts& counts);

// A chart of `size`. With `legend` it has level ticks under the curves and
// a legend line; without, it is only the curves (for small charts), and
// `label` (if any) is written into its top-left corner. `luminance` adds the
// luminance line.
QImage HistogramChart(const ChannelHistograms& histograms, const QSize& size, bool legend,
                      const QString& label = QString(), bool luminance = true);

} // namespace kximg

#endif // KXIMG_HISTOGRAMCHART_H
