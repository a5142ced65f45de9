#ifndef KXADJUSTMENTPROCESSING_H
#define KXADJUSTMENTPROCESSING_H

/// \file
/// The base of every filter processing class, and the fields that every
/// filter's Data record shares.
///
/// A filter is built around a QReadWriteLock and a bool cancel flag that the
/// application owns. Its run member works synchronously: it announces the
/// number of steps with SetRange(0, total), and before every step reads the
/// cancel flag under the cancel lock held for reading. When the flag is set
/// the remaining steps are skipped and the result is returned as far as it
/// got. After every step the number of steps done so far goes to
/// SetProgressValue. Whoever sets the flag takes the same lock for writing.

#include "KXImage.h"
#include "kxcore_export.h"

#include <QObject>
#include <QPoint>
#include <QReadWriteLock>
#include <QRect>

/// Publishes a progress range and value through Qt signals. The derived
/// filter classes share this class's meta object.
class KXCORE_EXPORT KXAdjustmentProcessing : public QObject {
    Q_OBJECT

public:
    /// Range and value 0.
    KXAdjustmentProcessing();
    ~KXAdjustmentProcessing() override;

    int GetMinimumRange() const; ///< The range's minimum.
    int GetMaximumRange() const; ///< The range's maximum.
    int GetRangeValue() const;   ///< The progress value.

signals:
    /// The range changed to [minimum, maximum].
    void RangeChanged(int minimum, int maximum);
    /// The progress value changed.
    void ProgressChanged(int value);

public slots:
    /// Stores the range and emits RangeChanged, unless both ends are the
    /// stored ones. The signal is emitted after the own lock is released.
    void SetRange(int minimum, int maximum);
    /// Stores the value and emits ProgressChanged, unless it is the stored one.
    void SetProgressValue(int value);

private:
    mutable QReadWriteLock m_lock; // guards the three ints
    int m_minimum = 0;
    int m_maximum = 0;
    int m_value = 0;
};

/// The fields that every filter's Data record holds.
struct KXFilterData {
    /// The layer pixels to filter; the result is built from them.
    KXImageRGBA32i image;
    /// The layer's mask (read by the shadow filters).
    KXImageRGBA32i layerMask;
    /// Its alpha weights how much of the filtered result replaces the layer.
    KXImageRGBA32i selection;
    /// The area of the selection that applies; invalid (the default) means
    /// the whole layer without a selection.
    QRect selectionRect;
    /// Moves the selection rectangle into layer coordinates.
    QPoint offset;
    /// Where the layer mask lies relative to the layer.
    QPoint maskPosition;
    /// The masked blend's first flag; 1 with an empty mask means no mask.
    int maskFlag = 0;
};

#endif // KXADJUSTMENTPROCESSING_H
