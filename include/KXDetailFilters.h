#ifndef KXDETAILFILTERS_H
#define KXDETAILFILTERS_H

/// \file
/// The detail filters: 3-tap sharpening and smoothing along rows and
/// columns, and the high pass (the layer minus its Gaussian blur, blended
/// back onto the layer in a chosen mode). All follow the run protocol of
/// KXAdjustmentProcessing.
///
/// Sharpen and smoothen run like the Gaussian blur filter with its kernel
/// replaced by KXSimpleSharpenKernel1D or KXSimpleBoxKernel1D built with the
/// strength: the rows (over the area grown by 1), then the columns, of a
/// copy merged back through the selection in the area case; in place over
/// the whole layer otherwise. The range is rows + columns (+ merged rows).
/// Strength 0 copies; a uniform layer stays as it is.
///
/// High pass: C, a copy of the layer, is blurred with KXGaussian1DPremul
/// (rows over the area grown by trunc(sigma), columns over the area), then
/// every colour of C becomes clamp(layer - blurred + 128) (KXBlend::
/// KXSubtractRGBSrcByDst of offset 128; C keeps the blurred alpha). In the
/// area case the high-pass pixels of the area are cut through the selection
/// (BlendMaskOn, mode Source) into H, an image of the area's size; in the
/// whole-image case H is C. H is stored in the caller's cache with its
/// sigma, and blended onto the layer with IndexToMode(modeIndex) at opacity
/// amount / 100 (BlendMaskOn through the selection in the area case, BlendOn
/// otherwise). The range is rows + columns + subtracted rows + W, with
/// W = (rows + columns + subtracted rows) / 100, or 2 if that is 0; progress
/// goes to the half of W once H is cached and to the total after the blend.
/// When the cached sigma equals sigma, H is the cached image: the range is
/// 2, progress 1, and only the blend is done. The cache is keyed on sigma
/// alone; invalidating it when the layer or the selection changes is the
/// caller's. A cancelled run returns the layer unchanged and leaves the
/// cache alone.
///
/// A sigma whose weights are not finite numbers (0, NaN) or whose kernel
/// radius exceeds KXGaussianKernelBase::kMaxRadius is refused with a logged
/// line: the layer comes back unchanged and the range is not touched.

#include "KXAdjustmentProcessing.h"
#include "KXFilterParams.h"
#include "KXImage.h"
#include "kxcore_export.h"

#include <QReadWriteLock>

/// The input of the sharpen and smoothen filters' run: the common fields,
/// then the strength.
struct KXThreeTapFilterData : KXFilterData {
    int strength = 10; ///< The kernel's strength.
};

/// The sharpen filter (3-tap unsharp steps on unpremultiplied channels,
/// alpha included).
class KXCORE_EXPORT KXSharpenProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXSharpenParams; ///< The filter's parameters.

    /// The input of run: the common fields, then the strength.
    using SharpenData = KXThreeTapFilterData;

    /// Keeps references to the caller's cancel lock and flag.
    KXSharpenProcessing(QReadWriteLock& cancelLock, bool& cancelFlag);
    ~KXSharpenProcessing() override;

    /// The sharpened layer; see the file's notes.
    KXImageRGBA32i run(SharpenData data);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
};

/// The smoothen filter (3-tap smoothing, colour weighted by alpha).
class KXCORE_EXPORT KXSmoothenProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXSmoothenParams; ///< The filter's parameters.

    /// The input of run: the common fields, then the strength.
    using SmoothenData = KXThreeTapFilterData;

    /// Keeps references to the caller's cancel lock and flag.
    KXSmoothenProcessing(QReadWriteLock& cancelLock, bool& cancelFlag);
    ~KXSmoothenProcessing() override;

    /// The smoothed layer; see the file's notes.
    KXImageRGBA32i run(SmoothenData data);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
};

/// The high pass filter, with a high-pass image cached by the caller.
class KXCORE_EXPORT KXHighPassProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXHighPassParams; ///< The filter's parameters.

    /// The input of run: the parameters (sigma, mode index, amount), then
    /// the common fields.
    struct HighPassData : KXHighPassParams, KXFilterData {
    };

    /// Keeps references to the caller's cancel lock and flag, and to the
    /// cache: its lock, the sigma it was made with and the high-pass image.
    KXHighPassProcessing(QReadWriteLock& cancelLock, bool& cancelFlag, QReadWriteLock& cacheLock,
                         double& cachedSigma, KXImageRGBA32i& cachedImage);
    ~KXHighPassProcessing() override;

    /// The layer with its high pass blended on; see the file's notes.
    KXImageRGBA32i run(HighPassData data);

    /// The blend mode of a mode index: 0 Normal, 1 Overlay (15), 2 SoftLight
    /// (21), 3 HardLight (20); any other index Normal.
    static unsigned int IndexToMode(int index);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
    QReadWriteLock& m_cacheLock;
    double& m_cachedSigma;
    KXImageRGBA32i& m_cachedImage;
};

#endif // KXDETAILFILTERS_H
