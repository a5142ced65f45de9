#include "ParamForm.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace kxedit {
namespace {

// Sliders move in steps of 0.1 for values with decimals.
constexpr double kDoubleSteps = 10.0;

} // namespace

ParamForm::ParamForm(const QList<ParamField>& fields, const QVariantList& values, QWidget* parent)
    : QWidget(parent), m_values(values)
{
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < fields.size(); ++i)
        form->addRow(fields[i].label, MakeControl(i, fields[i]));
}

QWidget* ParamForm::MakeControl(int index, const ParamField& field)
{
    const QString name = QStringLiteral("param%1").arg(index);
    const QVariant value = m_values.value(index);
    if (field.kind == ParamField::Choice) {
        auto* box = new QComboBox(this);
        box->setObjectName(name);
        box->addItems(field.choices);
        box->setCurrentIndex(value.toInt());
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, index](int chosen) { ValueChanged(index, chosen); });
        m_setters.append([box](const QVariant& v) { box->setCurrentIndex(v.toInt()); });
        return box;
    }
    if (field.kind == ParamField::Colour) {
        auto* button = new QPushButton(this);
        button->setObjectName(name);
        auto show = [button](const QVariant& v) {
            const QColor colour = v.value<QColor>();
            button->setText(colour.name());
            button->setStyleSheet(QStringLiteral("background: %1").arg(colour.name()));
        };
        show(value);
        connect(button, &QPushButton::clicked, this, [this, index, show] {
            const QColor chosen = QColorDialog::getColor(m_values.value(index).value<QColor>(), this);
            if (chosen.isValid()) {
                show(chosen);
                ValueChanged(index, chosen);
            }
        });
        m_setters.append(show);
        return button;
    }
    // A slider beside a spin box, kept in step.
    const bool decimal = field.kind == ParamField::Double;
    const double factor = decimal ? kDoubleSteps : 1.0;
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* slider = new QSlider(Qt::Horizontal, row);
    slider->setObjectName(name);
    slider->setRange(int(std::lround(field.minimum * factor)), int(std::lround(field.maximum * factor)));
    QAbstractSpinBox* spin;
    std::function<void(double)> setSpin;
    if (decimal) {
        auto* box = new QDoubleSpinBox(row);
        box->setDecimals(2);
        box->setRange(field.minimum, field.maximum);
        box->setValue(value.toDouble());
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this, index, slider](double v) {
            const QSignalBlocker block(slider);
            slider->setValue(int(std::lround(v * kDoubleSteps)));
            ValueChanged(index, v);
        });
        connect(slider, &QSlider::valueChanged, box, [box](int v) { box->setValue(v / kDoubleSteps); });
        setSpin = [box](double v) { box->setValue(v); };
        spin = box;
    } else {
        auto* box = new QSpinBox(row);
        box->setRange(int(field.minimum), int(field.maximum));
        box->setValue(value.toInt());
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, [this, index, slider](int v) {
            const QSignalBlocker block(slider);
            slider->setValue(v);
            ValueChanged(index, v);
        });
        connect(slider, &QSlider::valueChanged, box, &QSpinBox::setValue);
        setSpin = [box](double v) { box->setValue(int(v)); };
        spin = box;
    }
    spin->setObjectName(name + QStringLiteral("Box"));
    slider->setValue(int(std::lround(value.toDouble() * factor)));
    layout->addWidget(slider, 1);
    layout->addWidget(spin);
    m_setters.append([setSpin](const QVariant& v) { setSpin(v.toDouble()); });
    return row;
}

void ParamForm::ValueChanged(int index, const QVariant& value)
{
    if (index < 0 || index >= m_values.size() || m_values[index] == value)
        return;
    m_values[index] = value;
    if (!m_setting)
        emit ValuesChanged();
}

void ParamForm::SetValues(const QVariantList& values)
{
    if (values.size() != m_values.size() || values == m_values)
        return;
    m_setting = true;
    for (int i = 0; i < values.size(); ++i)
        m_setters[i](values[i]);
    m_setting = false;
    m_values = values;
    emit ValuesChanged();
}

QDialog* OpenParamDialog(QWidget* parent, const QString& title, const QList<ParamField>& fields,
                         const QVariantList& values, const std::function<void(const QVariantList&)>& accepted)
{
    auto* dialog = new QDialog(parent);
    dialog->setWindowTitle(title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    auto* form = new ParamForm(fields, values, dialog);
    layout->addWidget(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(dialog, &QDialog::accepted, form, [form, accepted] { accepted(form->Values()); });
    dialog->show();
    return dialog;
}

} // namespace kxedit
