#ifndef KXITERATIVEADJUSTMENTS_H
#define KXITERATIVEADJUSTMENTS_H

/// \file
/// Iterative forms of the adjustments: the same adjustment bound to a buffer
/// of KXRGBA32i pixels and called with pixel indices, for parallel maps such
/// as KXParallel::BlockingMap. operator()(int index) applies the plain
/// adjustment to buffer[index] in place; it reads only the adjustment's
/// tables and writes only that pixel, so any number of threads may call it
/// at once with different indices.

#include "KXColorAdjustments.h"
#include "KXPixel.h"
#include "KXTonalAdjustments.h"
#include "VQWBTransformation.h"

/// The plain adjustment Plain (everything it holds, with its constructors)
/// followed by the processing buffer, which is not owned and null until set.
template <class Plain>
class KXIterativeAdjustment : public Plain {
public:
    using Plain::Plain;
    explicit KXIterativeAdjustment(const Plain& plain) : Plain(plain) {} ///< A copy of `plain`, no buffer.

    /// Binds the buffer; the caller keeps it alive until the last call.
    void SetProcessingBuffer(KXRGBA32i* buffer) { m_buffer = buffer; }
    KXRGBA32i* GetProcessingBuffer() const { return m_buffer; } ///< The bound buffer, or null.

    // The plain per-pixel operation stays callable on a pixel.
    using Plain::operator();
    /// Adjusts buffer[index] in place.
    void operator()(int index) const { Plain::operator()(m_buffer[index]); }

private:
    KXRGBA32i* m_buffer = nullptr;
};

/// KXBrightnessContrastTransformation over a buffer.
using KXIterativeBrightnessContrastTransformation = KXIterativeAdjustment<KXBrightnessContrastTransformation>;
/// KXLevelsTransformation over a buffer.
using KXIterativeLevelsTransformation = KXIterativeAdjustment<KXLevelsTransformation>;
/// KXCurvesTransformation over a buffer.
using KXIterativeCurvesTransformation = KXIterativeAdjustment<KXCurvesTransformation>;
/// KXExposureTransformation over a buffer.
using KXIterativeExposureTransformation = KXIterativeAdjustment<KXExposureTransformation>;
/// KXGammaCorrectionTransformation over a buffer.
using KXIterativeGammaCorrectionTransformation = KXIterativeAdjustment<KXGammaCorrectionTransformation>;
/// KXPosterizeTransformation over a buffer.
using KXIterativePosterizeTransformation = KXIterativeAdjustment<KXPosterizeTransformation>;
/// KXHueSaturationTransformation over a buffer.
using KXIterativeHueSaturationTransformation = KXIterativeAdjustment<KXHueSaturationTransformation>;
/// KXColorBalanceTransformation over a buffer.
using KXIterativeColorBalanceTransformation = KXIterativeAdjustment<KXColorBalanceTransformation>;
/// KXColorizeTransformation over a buffer.
using KXIterativeColorizeTransformation = KXIterativeAdjustment<KXColorizeTransformation>;
/// KXPhotoFilterTransformation over a buffer.
using KXIterativePhotoFilterTransformation = KXIterativeAdjustment<KXPhotoFilterTransformation>;
/// KXReplaceColorTransformation over a buffer.
using KXIterativeReplaceColorTransformation = KXIterativeAdjustment<KXReplaceColorTransformation>;
/// KXBlackAndWhiteTransformation over a buffer.
using KXIterativeBlackAndWhiteTransformation = KXIterativeAdjustment<KXBlackAndWhiteTransformation>;
/// VQWBTransformation over a buffer.
using VQIterativeWBTransformation = KXIterativeAdjustment<VQWBTransformation>;

#endif // KXITERATIVEADJUSTMENTS_H
