#ifndef KXREFINESELECTION_H
#define KXREFINESELECTION_H

/// \file
/// The refine selection filter: softens a selection mask (its alpha is the
/// selection's strength) with three rounds of alpha box blurs and then moves
/// its edge outwards or inwards. It follows the run protocol of
/// KXAdjustmentProcessing.
///
/// run, with M the mask (the Data's image) and r the radius truncated:
/// - An invalid selection rectangle (left > right or top > bottom) gives an
///   empty result.
/// - Radius 0 and shift 0 or below: a copy of M at the Data's offset; a
///   negative shift then erodes it in place (range rows + columns, or 0).
/// - Otherwise M is copied row by row onto a transparent canvas (one step
///   per row). With a positive shift the canvas is M's rectangle (at the
///   offset) grown by the shift on every side, but it grows no further
///   than the rectangle of the bound size at (0, 0) reaches (a bound size
///   with a negative side sets no limit); else it is M's own rectangle. The
///   result's position is the canvas's top-left corner.
/// - Feather (radius not 0): three rounds of a horizontal and a vertical
///   alpha box pass of radius r over the canvas, transparent beyond it;
///   colour stays.
/// - Edge shift (shift not 0): the largest (shift > 0) or smallest
///   (shift < 0, beyond the canvas counting as transparent) alpha within
///   |shift| pixels along every row, then every column (KXShiftEdge1D).
/// The range is the copy rows + 3 (rows + columns) with a feather + rows +
/// columns with a shift.
///
/// A radius that is negative, not a number or beyond KXBoxPassMaxRadius,
/// and a canvas of more than kMaxImageTiles tiles, are refused with a
/// logged line and an empty result. A cancelled run returns the mask as far
/// as it got.

#include "KXAdjustmentProcessing.h"
#include "KXFilterParams.h"
#include "KXImage.h"
#include "kxcore_export.h"

#include <QPoint>
#include <QReadWriteLock>
#include <QSize>

/// The refine selection filter.
class KXCORE_EXPORT VQRefineSelectionProcessing : public KXAdjustmentProcessing {
public:
    using Params = KXRefineSelectionParams; ///< The filter's parameters.

    /// The input of run: the common fields (the mask is the image; only the
    /// selection rectangle's validity and the offset are read besides it),
    /// then the bound size, radius and shift.
    struct RefineSelectionData : KXFilterData {
        QSize boundSize = QSize(-1, -1); ///< How far the canvas may grow.
        double radius = 0.0;             ///< The feather's box radius (truncated).
        int shift = 0;                   ///< Edge movement: positive grows, negative shrinks.
    };
    /// The output of run.
    struct VQRefineSelectionResult {
        KXImageRGBA32i image; ///< The refined mask.
        QPoint position;      ///< Its top-left pixel, in the offset's coordinates.
    };

    /// Keeps references to the caller's cancel lock and flag.
    VQRefineSelectionProcessing(QReadWriteLock& cancelLock, bool& cancelFlag);
    ~VQRefineSelectionProcessing() override;

    /// The refined mask; see the file's notes.
    VQRefineSelectionResult run(RefineSelectionData data);

private:
    QReadWriteLock& m_cancelLock;
    const bool& m_cancelFlag;
};

#endif // KXREFINESELECTION_H
