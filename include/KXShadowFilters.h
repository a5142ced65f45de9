#ifndef KXSHADOWFILTERS_H
#define KXSHADOWFILTERS_H

/// \file
/// The drop shadow and inner shadow filters: a layer's shape (its alpha
/// after the layer mask) turned into a picture in the shadow colour whose
/// alpha is that shape blurred by the size (drop shadow) or the blurred
/// complement of it (inner shadow). They neither place, fade nor composite
/// the shadow: of their Params they read only the colour and the size; the
/// five other fields are carried for the application. Both follow the run
/// protocol of KXAdjustmentProcessing.
///
/// The masked layer S: with mask flag 1 and a mask without pixels, a copy of
/// the layer; otherwise a transparent image of the layer's size onto which
/// BlendMaskOn copies the layer (mode Source, opacity 1) through the mask,
/// placed at the mask position, the flag saying whether pixels outside the
/// mask show. The shadow colour is the colour's 32-bit RGBA value.
///
/// Size 0: the shadow is S with every pixel's colour replaced by the shadow
/// colour, alpha kept (the inner shadow inverts the alpha first); one step
/// per tile of the layer and stage; origin (0, 0).
///
/// Size n > 0: the canvas is the layer's rectangle grown by n on every side
/// with each edge rounded outwards to a multiple of 128, so that S's tiles
/// are shared into it, never copied; the origin is the canvas's top-left
/// corner in layer coordinates (a multiple of 128, zero or negative). A
/// horizontal then a vertical alpha box pass of radius n run over the whole
/// canvas (transparent beyond it), one step per row, then per column; the
/// drop shadow's vertical pass writes the shadow colour with the blurred
/// alpha, the inner shadow's writes 255 minus the blurred alpha and a tile
/// stage then sets the colour. The range is rows + columns (+ tiles for the
/// inner shadow).
///
/// Only pixels inside the layer (or canvas) are processed; tile margins are
/// taken as the layer holds them (transparent in every image the library
/// makes). An empty layer gives an empty shadow and a range of 0. A negative
/// size, a size beyond KXBoxPassMaxRadius or a canvas of more than
/// kMaxImageTiles tiles is refused with a logged line and an empty result.
/// A cancelled run returns the shadow as far as it got.

#include "KXAdjustmentProcessing.h"
#include "KXFilterParams.h"
#include "KXImage.h"
#include "kxcore_export.h"

#include <QPoint>
#include <QReadWriteLock>

/// The drop shadow filter.
class KXCORE_EXPORT KXDropShadowProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXDropShadowParams; ///< The filter's parameters.

    /// The input of run: the Params fields, then the common fields (the
    /// layer, its mask, the mask position and the mask flag are read).
    struct DropShadowData : KXShadowParamsFields, KXFilterData {
    };
    /// The output of run.
    struct DropShadowResult {
        KXImageRGBA32i shadow; ///< The shadow picture.
        QPoint origin;         ///< Its top-left pixel in layer coordinates.
    };

    /// Keeps references to the caller's cancel lock and flag.
    KXDropShadowProcessing(QReadWriteLock& cancelLock, bool& cancelFlag);
    ~KXDropShadowProcessing() override;

    /// The shadow of the layer; see the file's notes.
    DropShadowResult run(DropShadowData data);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
};

/// The inner shadow filter.
class KXCORE_EXPORT KXInnerShadowProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXInnerShadowParams; ///< The filter's parameters.

    /// The input of run: as the drop shadow's.
    struct InnerShadowData : KXShadowParamsFields, KXFilterData {
    };
    /// The output of run.
    struct InnerShadowResult {
        KXImageRGBA32i shadow; ///< The shadow picture.
        KXImageRGBA32i layer;  ///< The masked layer S on the shadow's canvas.
        QPoint origin;         ///< Their top-left pixel in layer coordinates.
    };

    /// Keeps references to the caller's cancel lock and flag.
    KXInnerShadowProcessing(QReadWriteLock& cancelLock, bool& cancelFlag);
    ~KXInnerShadowProcessing() override;

    /// The inner shadow of the layer; see the file's notes.
    InnerShadowResult run(InnerShadowData data);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
};

#endif // KXSHADOWFILTERS_H
