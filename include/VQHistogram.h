#ifndef VQHISTOGRAM_H
#define VQHISTOGRAM_H

/// \file
/// Channel histograms of KXRGBA32i pixels into caller-owned arrays of 256
/// counters, and the clipping range of a histogram. Run the counters over
/// the pixels to be counted, for instance with VisitPixels
/// (KXTransformImageColors.h).

#include "KXPixel.h"
#include "kxcore_export.h"

#include <QMutex>

#include <vector>

/// Counts red, green and blue into three arrays. No lock: one thread at a
/// time, or separate arrays per thread. Copies count into the same arrays.
class KXCORE_EXPORT VQRGBHistogram {
public:
    VQRGBHistogram() = default; ///< No arrays yet: call SetOutput before counting.
    /// Counts into the three caller-owned arrays of 256 counters.
    VQRGBHistogram(unsigned int* red, unsigned int* green, unsigned int* blue)
        : m_red(red), m_green(green), m_blue(blue)
    {
    }

    /// Counts into these arrays from now on.
    void SetOutput(unsigned int* red, unsigned int* green, unsigned int* blue)
    {
        m_red = red;
        m_green = green;
        m_blue = blue;
    }

    /// Counts one pixel.
    void operator()(const KXRGBA32i& pixel) const
    {
        ++m_red[pixel.r];
        ++m_green[pixel.g];
        ++m_blue[pixel.b];
    }

private:
    unsigned int* m_red = nullptr;
    unsigned int* m_green = nullptr;
    unsigned int* m_blue = nullptr;
};

/// Counts red, green and blue, and all three channels together into a
/// fourth array, under a lock, so several threads may count with one object.
class KXCORE_EXPORT KXHistogrammCalculator {
public:
    KXHistogrammCalculator() = default; ///< No arrays yet: call SetOutput before counting.
    /// A new lock; the same four arrays.
    KXHistogrammCalculator(const KXHistogrammCalculator& other);
    /// Takes the other's four arrays; keeps its own lock.
    KXHistogrammCalculator& operator=(const KXHistogrammCalculator& other);
    ~KXHistogrammCalculator();

    /// Counts into these caller-owned arrays of 256 counters from now on;
    /// `all` gets each pixel's red, green and blue.
    void SetOutput(int* red, int* green, int* blue, int* all);
    void operator()(const KXRGBA32i& pixel) const; ///< Counts one pixel under the lock.

    /// {low, high}: the darkest and brightest levels whose cumulative count
    /// from that end stays within a thousandth of the total, widened around
    /// their middle to at least 16 levels.
    static std::vector<int> Threshold(int* histogram);

private:
    mutable QMutex m_mutex;
    int* m_red = nullptr;
    int* m_green = nullptr;
    int* m_blue = nullptr;
    int* m_all = nullptr;
};

#endif // VQHISTOGRAM_H
