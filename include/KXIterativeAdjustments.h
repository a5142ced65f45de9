#ifndef KXITERATIVEADJUSTMENTS_H
#define KXITERATIVEADJUSTMENTS_H

// Iterative forms of the adjustments: the same adjustment bound to a buffer
// of KXRGBA32i pixels and called with pixel indices, for parallel maps such
// as KXParallel::BlockingMap. operator()(int index) applies the plain
// adjustment to buffer[index] in place; it reads only the adjustment's
// tables and writes only that pixel, so any number of threads may call it
// at once with different indices.

#include "KXColorAdjustments.h"
#include "KXPixel.h"
#include "KXTonalAdjustments.h"
#include "VQWBTransformation.h"

// The plain adjustment Plain (everything it holds, with its constructors)
// followed by the processing buffer, which is not owned and null until set.
template <class Plain>
class KXIterativeAdjustment : public Plain {
public:
    using Plain::Plain;
    explicit KXIterativeAdjustment(const Plain& plain) : Plain(plain) {}

    // Binds the buffer; the caller keeps it alive until the last call.
    void SetProcessingBuffer(KXRGBA32i* buffer) { m_buffer = buffer; }
    KXRGBA32i* GetProcessingBuffer() const { return m_buffer; }

    // The plain per-pixel operation stays callable on a pixel.
    using Plain::operator();
    void operator()(int index) const { Plain::operator()(m_buffer[index]); }

private:
    KXRGBA32i* m_buffer = nullptr;
};

using KXIterativeBrightnessContrastTransformation = KXIterativeAdjustment<KXBrightnessContrastTransformation>;
using KXIterativeLevelsTransformation = KXIterativeAdjustment<KXLevelsTransformation>;
using KXIterativeCurvesTransformation = KXIterativeAdjustment<KXCurvesTransformation>;
using KXIterativeExposureTransformation = KXIterativeAdjustment<KXExposureTransformation>;
using KXIterativeGammaCorrectionTransformation = KXIterativeAdjustment<KXGammaCorrectionTransformation>;
using KXIterativePosterizeTransformation = KXIterativeAdjustment<KXPosterizeTransformation>;
using KXIterativeHueSaturationTransformation = KXIterativeAdjustment<KXHueSaturationTransformation>;
using KXIterativeColorBalanceTransformation = KXIterativeAdjustment<KXColorBalanceTransformation>;
using KXIterativeColorizeTransformation = KXIterativeAdjustment<KXColorizeTransformation>;
using KXIterativePhotoFilterTransformation = KXIterativeAdjustment<KXPhotoFilterTransformation>;
using KXIterativeReplaceColorTransformation = KXIterativeAdjustment<KXReplaceColorTransformation>;
using KXIterativeBlackAndWhiteTransformation = KXIterativeAdjustment<KXBlackAndWhiteTransformation>;
using VQIterativeWBTransformation = KXIterativeAdjustment<VQWBTransformation>;

#endif // KXITERATIVEADJUSTMENTS_H
