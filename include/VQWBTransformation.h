#ifndef VQWBTRANSFORMATION_H
#define VQWBTRANSFORMATION_H

/// \file
/// Automatic colour and exposure correction. Built from a whole image, which
/// it analyses once (channel histograms and means, BT.601 luma and chroma,
/// a grey-point search over near-grey pixels and a tone curve chosen by
/// histogram matching); then a per-pixel functor applying one of three
/// balance functions blended with the uncorrected pixel by a strength.

#include "KXImage.h"
#include "KXPixel.h"
#include "KXTonalAdjustments.h"
#include "kxcore_export.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <memory>

/// Automatic colour and exposure correction of one image: analysed once at
/// construction, then applied pixel by pixel through three channel tables.
class KXCORE_EXPORT VQWBTransformation : public KXTableAdjustment {
public:
    /// The correction applied.
    enum class BalanceFunction : int {
        Auto = 0,         ///< white balance from the image's statistics
        OverExposure = 1, ///< darkening curve
        UnderExposure = 2 ///< brightening curve
    };

    /// What the analysis found. Empty images leave everything at 0.
    struct Statistics {
        // BT.601 luma, the channel means from the histograms, BT.601 chroma.
        double meanY = 0, meanR = 0, meanG = 0, meanB = 0, meanCb = 0, meanCr = 0;
        // The first and last non-empty histogram bin of each channel.
        int minR = 0, minG = 0, minB = 0, maxR = 0, maxG = 0, maxB = 0;
        // The standard deviation of each channel.
        double sdR = 0, sdG = 0, sdB = 0;
        // (sdR + sdG + sdB) / (3 × the channel's deviation); 0 when sdG is 0.
        double gainR = 0, gainG = 0, gainB = 0;
        // The grey point: red and blue offsets and the green gain.
        double offsetR = 0, gainGrey = 0, offsetB = 0; // the grey point
        // The smallest channel minimum and the largest channel maximum.
        int lowAll = 0, highAll = 0;
        double mix = 0;           ///< The share of the range stretch in the Auto function.
        QRect rect;               ///< The rectangle analysed: the whole image.
        int64_t pixelCount = 0;   ///< The number of pixels analysed.
        double toneParameter = 0; ///< P, 0 … 1
        int tonePercent = 0;      ///< trunc(P × 100)
        KXByteTable toneTable{};  ///< The tone curve chosen by histogram matching.
    };

    /// strength 0 … 100 (a value outside counts as the nearest end). QImage
    /// pixels are read as QImage::Format_ARGB32 (any other format but
    /// Format_RGB32 is converted first) in the same order as the tiles of a
    /// KXImage, so both give the same statistics for the same pixels. A
    /// function value outside the three leaves pixels unchanged.
    VQWBTransformation(const KXImage<KXRGBA32i, 128, 128>& image, BalanceFunction function, int strength);
    /// The same from a QImage.
    VQWBTransformation(const QImage& image, BalanceFunction function, int strength);
    VQWBTransformation(const VQWBTransformation& other);            ///< Copies the tables and the statistics.
    VQWBTransformation& operator=(const VQWBTransformation& other); ///< Copies the tables and the statistics.
    ~VQWBTransformation();

    // operator() applies the selected balance function. Each function acts
    // on every channel separately, so it is evaluated once per channel value
    // at construction and applied through tables.

    const Statistics& GetStatistics() const { return *m_statistics; } ///< What the analysis found.
    BalanceFunction GetFunction() const { return m_selected; }        ///< The function applied.

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

// The fields of VQWBTransformation::Statistics declared several to a line.

/// \var VQWBTransformation::Statistics::meanY
/// Mean BT.601 luma over all pixels.

/// \var VQWBTransformation::Statistics::meanR
/// Mean red, from the histogram.

/// \var VQWBTransformation::Statistics::meanG
/// Mean green, from the histogram.

/// \var VQWBTransformation::Statistics::meanB
/// Mean blue, from the histogram.

/// \var VQWBTransformation::Statistics::meanCb
/// Mean BT.601 blue-difference chroma.

/// \var VQWBTransformation::Statistics::meanCr
/// Mean BT.601 red-difference chroma.

/// \var VQWBTransformation::Statistics::minR
/// First non-empty bin of the red histogram.

/// \var VQWBTransformation::Statistics::minG
/// First non-empty bin of the green histogram.

/// \var VQWBTransformation::Statistics::minB
/// First non-empty bin of the blue histogram.

/// \var VQWBTransformation::Statistics::maxR
/// Last non-empty bin of the red histogram.

/// \var VQWBTransformation::Statistics::maxG
/// Last non-empty bin of the green histogram.

/// \var VQWBTransformation::Statistics::maxB
/// Last non-empty bin of the blue histogram.

/// \var VQWBTransformation::Statistics::sdR
/// Standard deviation of red.

/// \var VQWBTransformation::Statistics::sdG
/// Standard deviation of green.

/// \var VQWBTransformation::Statistics::sdB
/// Standard deviation of blue.

/// \var VQWBTransformation::Statistics::gainR
/// (sdR + sdG + sdB) / (3 × sdR); 0 when sdG is 0.

/// \var VQWBTransformation::Statistics::gainG
/// (sdR + sdG + sdB) / (3 × sdG); 0 when sdG is 0.

/// \var VQWBTransformation::Statistics::gainB
/// (sdR + sdG + sdB) / (3 × sdB); 0 when sdG is 0.

/// \var VQWBTransformation::Statistics::offsetR
/// Grey point: the red offset (× 255 is added to red).

/// \var VQWBTransformation::Statistics::gainGrey
/// Grey point: the factor green is multiplied by.

/// \var VQWBTransformation::Statistics::offsetB
/// Grey point: the blue offset (× 255 is added to blue).

/// \var VQWBTransformation::Statistics::lowAll
/// min(minR, minG, minB).

/// \var VQWBTransformation::Statistics::highAll
/// max(maxR, maxG, maxB).

#endif // VQWBTRANSFORMATION_H
