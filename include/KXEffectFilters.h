#ifndef KXEFFECTFILTERS_H
#define KXEFFECTFILTERS_H

/// \file
/// The effect filters: vignette, add noise and diffuse glow. All follow the
/// run protocol of KXAdjustmentProcessing. Per-pixel stages work one
/// 128 x 128 tile a step, the rows of the tile spread over the global pool;
/// the area A is the selection rectangle moved by the offset, and "merged"
/// rows are the rows of A that lie in the layer and in the moved selection.
///
/// Vignette: with a = width / 2, b = height / 2 of the layer, s =
/// (100 - amount) / 100 and the Params colour, every pixel whose Distance
/// from the inscribed ellipse is d > 0 moves toward the colour: t =
/// max(0, 1 + k d) (Linear, curve 0) or max(0, 1 + k d²) (Parabolic, any
/// other curve), each colour channel colour.c (1 - t) + c t + 0.5, limited
/// to 0 … 255.5 and truncated; alpha stays. Area case: a copy is tinted over
/// A, then merged through the selection (KXBlend::KXSourceBySelection); the
/// range is tiles of A + merged rows. Whole-image case: the layer is tinted
/// in place; the range is its tile count. A reach below 1 is refused with a
/// logged line (the layer comes back unchanged, the range untouched).
///
/// Add noise: a noise image the size of the selection rectangle (area case)
/// or of the layer is drawn tile after tile (rows of tiles top to bottom,
/// every pixel of a tile, margins included, row by row) from a
/// std::mt19937 seeded with time(nullptr), each pixel's channels drawn in
/// the order byte 2, 1, 0, 3: uniform integers 0 … 255 (distribution 0) or
/// normal doubles of mean 255 and deviation 255, truncated and clamped to
/// 0 … 255 (any other distribution), four distributions, one a channel. The
/// caller's cache of that distribution is reused when it has exactly the
/// noise's size (the range then covers the merge alone); otherwise the new
/// noise is stored in it unless the run was cancelled. The noise is laid
/// over the layer at opacity amount * 256 / 100 with KXSourceOver<1> (flag
/// true) or KXSourceOver<0>, through the selection in the area case
/// (KXSourceOverBySelection). The range is noise tiles (when drawn) +
/// merged rows.
///
/// Diffuse glow: G, a copy of the layer (area case: of A's part in the
/// layer), becomes the glow colour, opaque where the pixel's luma reaches
/// the threshold and transparent elsewhere (KXColorizeThreshold, a tile
/// stage); its alpha is blurred along rows and columns (KXGaussianAlpha1D of
/// sigma), thresholded again (KXAlphaThreshold, a tile stage) and blurred
/// again; G is laid over the layer (placement 0, KXSourceOver<1>) or behind
/// it (KXDestinationOver<0>) at opacity * 256 / 100, through the selection
/// in the area case. The range is 2 x G's tiles + 2 x (G's rows + columns)
/// + merged rows. A sigma of 0 is refused with a logged line.
///
/// Every run returns a copy of the layer after its last stage; a cancelled
/// run returns it as far as it got.

#include "KXAdjustmentProcessing.h"
#include "KXFilterParams.h"
#include "KXImage.h"
#include "KXPixel.h"
#include "kxcore_export.h"

#include <QReadWriteLock>

#include <vector>

/// The vignette filter: tints the layer outside the ellipse inscribed in it.
class KXCORE_EXPORT KXVignetteProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXVignetteParams; ///< The filter's parameters.

    /// The input of run: the parameters, then the common fields.
    struct VignetteData : KXVignetteParams, KXFilterData {
    };

    /// The linear falloff: t = 1 + k d, k = (s - 1) / reach.
    class KXCORE_EXPORT Linear {
    public:
        /// The ellipse with centre and semi-axes (a, b), strength s, falloff
        /// over `reach` pixels toward `colour`.
        Linear(double a, double b, double s, int reach, const KXRGBA32i& colour);
        /// Tints pixel `p` at (x, y); see the file's notes.
        void operator()(int x, int y, KXRGBA32i& p) const;

    private:
        double m_a, m_b, m_k;
        KXRGBA32i m_colour;
    };

    /// The parabolic falloff: t = 1 + k d², k = (s - 1) / reach².
    class KXCORE_EXPORT Parabolic {
    public:
        /// As Linear.
        Parabolic(double a, double b, double s, int reach, const KXRGBA32i& colour);
        /// Tints pixel `p` at (x, y); see the file's notes.
        void operator()(int x, int y, KXRGBA32i& p) const;

    private:
        double m_a, m_b, m_k;
        KXRGBA32i m_colour;
    };

    /// Keeps references to the caller's cancel lock and flag.
    KXVignetteProcessing(QReadWriteLock& cancelLock, bool& cancelFlag);
    ~KXVignetteProcessing() override;

    /// The tinted layer; see the file's notes.
    KXImageRGBA32i run(VignetteData data);

    /// The signed distance of (x, y) from the ellipse centred at (a, b) with
    /// semi-axes a and b, along the ray from the centre: negative inside.
    /// On the centre's row or column it is dx - a or dy - b.
    static double Distance(double a, double b, double x, double y);

    /// The distance of the point (x, y) from the ellipse centred at the
    /// origin with semi-axes a and b (both above 0), and the ellipse's point
    /// nearest to it: {distance, nearest x, nearest y}. Any quadrant and
    /// either axis the longer.
    static std::vector<double> DistancePointEllipse(double a, double b, double x, double y);
    /// The same for a >= b > 0 and x, y >= 0, by bisection of at most 256
    /// steps on the nearest point's parameter.
    static std::vector<double> DistancePointEllipseSpecial(double a, double b, double x, double y);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
};

/// The add noise filter, with the noise images cached by the caller.
class KXCORE_EXPORT KXAddNoiseProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXAddNoiseParams; ///< The filter's parameters.

    /// The input of run: the parameters, then the common fields.
    struct AddNoiseData : KXAddNoiseParams, KXFilterData {
    };

    /// Keeps references to the caller's cancel lock and flag, the cache lock
    /// and the cached uniform and Gaussian noise images.
    KXAddNoiseProcessing(QReadWriteLock& cancelLock, bool& cancelFlag, QReadWriteLock& cacheLock,
                         KXImageRGBA32i& uniformNoise, KXImageRGBA32i& gaussianNoise);
    ~KXAddNoiseProcessing() override;

    /// The layer with noise laid over it; see the file's notes.
    KXImageRGBA32i run(AddNoiseData data);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
    QReadWriteLock& m_cacheLock;
    KXImageRGBA32i& m_uniformNoise;
    KXImageRGBA32i& m_gaussianNoise;
};

/// The diffuse glow filter.
class KXCORE_EXPORT KXDiffuseGlowProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXDiffuseGlowParams; ///< The filter's parameters.

    /// The input of run: the parameters, then the common fields.
    struct DiffuseGlowData : KXDiffuseGlowParams, KXFilterData {
    };

    /// Alpha becomes 0 below the threshold, 255 from it on; colour stays.
    class KXCORE_EXPORT KXAlphaThreshold {
    public:
        explicit KXAlphaThreshold(int threshold) : m_threshold(threshold) {} ///< With `threshold`.
        /// Thresholds the alpha of `p`.
        void operator()(KXRGBA32i& p) const { p.a = p.a < m_threshold ? 0 : 255; }

    private:
        int m_threshold;
    };

    /// The pixel becomes the colour, its alpha 0 where the luma
    /// (g 59 + r 30 + b 11) / 100 is below the threshold, 255 elsewhere.
    class KXCORE_EXPORT KXColorizeThreshold {
    public:
        /// With `threshold` and `colour`.
        KXColorizeThreshold(int threshold, const KXRGBA32i& colour) : m_threshold(threshold), m_colour(colour) {}
        /// Replaces `p`.
        void operator()(KXRGBA32i& p) const
        {
            const int luma = (p.g * 59 + p.r * 30 + p.b * 11) / 100;
            p = m_colour;
            p.a = luma < m_threshold ? 0 : 255;
        }

    private:
        int m_threshold;
        KXRGBA32i m_colour;
    };

    /// Keeps references to the caller's cancel lock and flag.
    KXDiffuseGlowProcessing(QReadWriteLock& cancelLock, bool& cancelFlag);
    ~KXDiffuseGlowProcessing() override;

    /// The layer with its glow; see the file's notes.
    KXImageRGBA32i run(DiffuseGlowData data);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
};

#endif // KXEFFECTFILTERS_H
