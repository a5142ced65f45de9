#ifndef KXBLURFILTERS_H
#define KXBLURFILTERS_H

/// \file
/// The two blur filters: a box blur with running sums and a separable
/// Gaussian, both weighting colour by alpha. They follow the run protocol of
/// KXAdjustmentProcessing.
///
/// run, area case (the selection rectangle is valid): the area A is the
/// selection rectangle moved by the offset. A copy of the layer is blurred
/// along rows over A grown by the blur's margin m on every side, then along
/// columns over A (both clipped to the layer); then every row of A that lies
/// in the layer and in the (moved) selection is merged into the layer, each
/// pixel moved toward the blurred one by the selection's alpha
/// (KXBlend::KXSourceBySelection). The range is rows + columns + merged
/// rows. Pixels outside A never change.
///
/// run, whole-image case (the selection rectangle is invalid, the default):
/// the rows, then the columns of the whole layer are blurred in place; the
/// range is rows + columns.
///
/// Outside the layer its edge pixels repeat, so the layer does not fade at
/// its edges. The margin m is the box radius, or for the Gaussian its kernel
/// radius max(1, trunc(3 sigma)).
///
/// runEx first enlarges the layer by up to m pixels on each side, as far as
/// the growth bounds (and, with a selection, the area) allow, moves the
/// offset and the mask position with it, and returns the new layer with its
/// origin; growth bounds equal to the layer's rectangle behave as run.
///
/// A cancelled run returns the layer as far as it got: unchanged in the area
/// case when cancelled before the merge, partly blurred in the whole-image
/// case. A box radius outside 0 … KXBoxPassMaxRadius, or a Gaussian sigma
/// whose weights are not finite numbers (0, NaN) or whose kernel radius
/// exceeds KXGaussianKernelBase::kMaxRadius, is refused with a logged line:
/// the layer comes back unchanged and the range is not touched.

#include "KXAdjustmentProcessing.h"
#include "KXFilterParams.h"
#include "KXImage.h"
#include "kxcore_export.h"

#include <QPoint>
#include <QReadWriteLock>
#include <QRect>

/// The input of a blur filter's runEx: its BlurData, then how far the layer
/// may grow and where it lies.
template <class BlurData>
struct KXBlurDataEx : BlurData {
    QRect growthBounds; ///< How far the layer may grow (layer coordinates).
    QPoint layerOrigin; ///< The layer's position, moved with its growth.
};

/// The output of a blur filter's runEx.
struct KXBlurResultEx {
    KXImageRGBA32i image; ///< The blurred, possibly enlarged layer.
    QPoint origin;        ///< Its position.
};

/// The box blur filter (running sums, colour weighted by alpha, truncating).
class KXCORE_EXPORT KXBoxBlurProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXBoxBlurParams; ///< The filter's parameters.

    /// The input of run: the common fields, then the radius.
    struct BlurData : KXFilterData {
        int radius = 5; ///< The box radius in pixels.
    };
    using BlurDataEx = KXBlurDataEx<BlurData>; ///< The input of runEx.
    using ResultEx = KXBlurResultEx;           ///< The output of runEx.

    /// Keeps references to the caller's cancel lock and flag.
    KXBoxBlurProcessing(QReadWriteLock& cancelLock, bool& cancelFlag);
    ~KXBoxBlurProcessing() override;

    /// The blurred layer; see the file's notes.
    KXImageRGBA32i run(BlurData data);
    /// The blurred layer, enlarged by the blur's spread; see the file's notes.
    ResultEx runEx(BlurDataEx data);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
};

/// The Gaussian blur filter (a separable Gaussian over premultiplied
/// colours, rounding to nearest).
class KXCORE_EXPORT KXGaussianBlurProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXGaussianBlurParams; ///< The filter's parameters.

    /// The input of run: the common fields, then sigma.
    struct BlurData : KXFilterData {
        double sigma = 5.0; ///< The Gaussian's standard deviation in pixels.
    };
    using BlurDataEx = KXBlurDataEx<BlurData>; ///< The input of runEx.
    using ResultEx = KXBlurResultEx;           ///< The output of runEx.

    /// Keeps references to the caller's cancel lock and flag.
    KXGaussianBlurProcessing(QReadWriteLock& cancelLock, bool& cancelFlag);
    ~KXGaussianBlurProcessing() override;

    /// The blurred layer; see the file's notes.
    KXImageRGBA32i run(BlurData data);
    /// The blurred layer, enlarged by the blur's spread; see the file's notes.
    ResultEx runEx(BlurDataEx data);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
};

#endif // KXBLURFILTERS_H
