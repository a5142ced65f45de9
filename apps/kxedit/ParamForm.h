#ifndef KXEDIT_PARAMFORM_H
#define KXEDIT_PARAMFORM_H

#include "Filters.h"

#include <QVariantList>
#include <QWidget>

class QDialog;

#include <functional>

namespace kxedit {

/// Controls made from parameter fields: a slider beside a spin box for
/// numbers (named "paramN" and "paramNBox"), a list for choices and a
/// button for colours.
class ParamForm : public QWidget {
    Q_OBJECT
public:
    ParamForm(const QList<ParamField>& fields, const QVariantList& values, QWidget* parent = nullptr);

    QVariantList Values() const { return m_values; }
    /// Shows `values` in the controls; emits ValuesChanged once when they differ.
    void SetValues(const QVariantList& values);

signals:
    void ValuesChanged();

private:
    QWidget* MakeControl(int index, const ParamField& field);
    void ValueChanged(int index, const QVariant& value);

    QVariantList m_values;
    QList<std::function<void(const QVariant&)>> m_setters;
    bool m_setting = false;
};

/// A dialog (not modal, deleted when closed) holding a form of `fields`
/// with OK and Cancel; OK hands the form's values to `accepted`.
QDialog* OpenParamDialog(QWidget* parent, const QString& title, const QList<ParamField>& fields,
                         const QVariantList& values, const std::function<void(const QVariantList&)>& accepted);

} // namespace kxedit

#endif
