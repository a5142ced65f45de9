#ifndef VQWBTRANSFORMATION_H
#define VQWBTRANSFORMATION_H

// Automatic colour and exposure correction. Built from a whole image, which
// it analyses once (channel histograms and means, BT.601 luma and chroma,
// a grey-point search over near-grey pixels and a tone curve chosen by
// histogram matching); then a per-pixel functor applying one of three
// balance functions blended with the uncorrected pixel by a strength.

#include "KXImage.h"
#include "KXPixel.h"
#include "KXTonalAdjustments.h"
#include "kxcore_export.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <memory>

class KXCORE_EXPORT VQWBTransformation : public KXTableAdjustment {
public:
    enum class BalanceFunction : int {
        Auto = 0,         // white balance from the image's statistics
        OverExposure = 1, // darkening curve
        UnderExposure = 2 // brightening curve
    };

    // What the analysis found. Empty images leave everything at 0.
    struct Statistics {
        double meanY = 0, meanR = 0, meanG = 0, meanB = 0, meanCb = 0, meanCr = 0;
        int minR = 0, minG = 0, minB = 0, maxR = 0, maxG = 0, maxB = 0;
        double sdR = 0, sdG = 0, sdB = 0;
        double gainR = 0, gainG = 0, gainB = 0;
        double offsetR = 0, gainGrey = 0, offsetB = 0; // the grey point
        int lowAll = 0, highAll = 0;
        double mix = 0;
        QRect rect;
        int64_t pixelCount = 0;
        double toneParameter = 0; // P, 0 … 1
        int tonePercent = 0;      // trunc(P × 100)
        KXByteTable toneTable{};
    };

    // strength 0 … 100 (a value outside counts as the nearest end). QImage
    // pixels are read as QImage::Format_ARGB32 (any other format but
    // Format_RGB32 is converted first) in the same order as the tiles of a
    // KXImage, so both give the same statistics for the same pixels. A
    // function value outside the three leaves pixels unchanged.
    VQWBTransformation(const KXImage<KXRGBA32i, 128, 128>& image, BalanceFunction function, int strength);
    VQWBTransformation(const QImage& image, BalanceFunction function, int strength);
    VQWBTransformation(const VQWBTransformation& other);
    VQWBTransformation& operator=(const VQWBTransformation& other);
    ~VQWBTransformation();

    // operator() applies the selected balance function. Each function acts
    // on every channel separately, so it is evaluated once per channel value
    // at construction and applied through tables.

    const Statistics& GetStatistics() const { return *m_statistics; }
    BalanceFunction GetFunction() const { return m_selected; }

private:
    template <class Visit>
    void Analyse(Visit visit, const QRect& rect);
    void Select(BalanceFunction function);

    void Auto(KXRGBA32i& pixel) const;
    void OverExposure(KXRGBA32i& pixel) const;
    void UnderExposure(KXRGBA32i& pixel) const;

    int m_weight; // strength × 2550
    BalanceFunction m_selected;
    void (VQWBTransformation::*m_function)(KXRGBA32i&) const = nullptr;
    std::unique_ptr<Statistics> m_statistics;
};

#endif // VQWBTRANSFORMATION_H
