#ifndef KXEDIT_FILTERS_H
#define KXEDIT_FILTERS_H

#include <KXAdjustmentProcessing.h>
#include <KXImage.h>

#include <QDataStream>
#include <QList>
#include <QReadWriteLock>
#include <QThreadPool>
#include <QStringList>
#include <QVariantList>

#include <functional>

namespace kxedit {

/// The cancel lock and flag one filter run is built around. The flag is
/// set only with the lock held for writing; the filter reads it under the
/// lock held for reading, between its steps.
struct RunControl {
    QReadWriteLock lock;
    bool cancelled = false;

    void Cancel()
    {
        QWriteLocker locker(&lock);
        cancelled = true;
    }
    bool IsCancelled()
    {
        QReadLocker locker(&lock);
        return cancelled;
    }
};

/// One user-settable value of a filter, as the dialog shows it.
struct ParamField {
    enum Kind { Int, Double, Choice, Colour };
    Kind kind = Int;
    QString label;
    double minimum = 0;
    double maximum = 100;
    QStringList choices; ///< For Choice: the names of the values 0, 1, ...
};

/// The fields of each kind.
ParamField IntField(const QString& label, int minimum, int maximum);
ParamField DoubleField(const QString& label, double minimum, double maximum);
ParamField ChoiceField(const QString& label, const QStringList& choices);
ParamField ColourField(const QString& label);

/// A filter as the editor offers it: its name, its parameters (the values
/// in the order of the fields: int, double, int index or QColor), presets as
/// the filter's own parameter stream, and a run.
class FilterKind {
public:
    virtual ~FilterKind() = default;
    virtual QString Name() const = 0;
    virtual QList<ParamField> Fields() const = 0;
    /// The values of a default parameter record.
    virtual QVariantList Defaults() const = 0;
    /// Blur-like filters spread pixels by up to this many pixels for these
    /// values (the preview reads that far past the visible area).
    virtual int Reach(const QVariantList& values) const = 0;
    /// The values for the picture scaled by `factor` (sizes in pixels scaled).
    virtual QVariantList ScaledValues(const QVariantList& values, double factor) const = 0;
    /// Whether the filter on a scaled picture looks like the filter on the
    /// picture, scaled (not so where the layer's size is an input).
    virtual bool ScalesWithView() const = 0;
    virtual bool WritePreset(QDataStream& stream, const QVariantList& values) const = 0;
    virtual bool ReadPreset(QDataStream& stream, QVariantList& values) const = 0;
    /// Runs the filter on the calling thread; `attach` sees the processing
    /// object before it runs (to connect its progress signals).
    virtual KXImageRGBA32i Run(const QVariantList& values, const KXFilterData& data, RunControl& control,
                               const std::function<void(KXAdjustmentProcessing&)>& attach) const = 0;
};

/// The editor's own pool for filter runs and previews: they wait on the
/// library's parallel maps, which need Qt's global pool free.
QThreadPool* WorkerPool();

/// Every filter the editor offers, in menu order.
const QList<const FilterKind*>& FilterKinds();
/// The filter of that name, or null.
const FilterKind* FindFilter(const QString& name);

} // namespace kxedit

#endif
