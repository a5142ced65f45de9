#include "LayersPanel.h"

#include "Document.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace kxedit {

LayersPanel::LayersPanel(Document* document, QWidget* parent) : QWidget(parent), m_document(document)
{
    auto* layout = new QVBoxLayout(this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("layers"));
    layout->addWidget(m_list, 1);

    auto* form = new QFormLayout;
    m_mode = new QComboBox(this);
    m_mode->setObjectName(QStringLiteral("blendMode"));
    for (unsigned int mode : BlendModes())
        m_mode->addItem(QString::fromLatin1(BlendModeName(mode)), mode);
    m_opacity = new QSlider(Qt::Horizontal, this);
    m_opacity->setObjectName(QStringLiteral("opacity"));
    m_opacity->setRange(0, 100);
    m_lockAlpha = new QCheckBox(tr("Lock alpha"), this);
    m_lockAlpha->setObjectName(QStringLiteral("lockAlpha"));
    m_mask = new QComboBox(this);
    m_mask->setObjectName(QStringLiteral("mask"));
    m_mask->addItem(tr("No mask"), int(MaskKind::None));
    m_mask->addItem(tr("Reveal all"), int(MaskKind::RevealAll));
    m_mask->addItem(tr("Hide all"), int(MaskKind::HideAll));
    m_mask->addItem(tr("From luminance"), int(MaskKind::FromLuminance));
    m_mask->addItem(tr("From alpha"), int(MaskKind::FromAlpha));
    form->addRow(tr("Mode"), m_mode);
    form->addRow(tr("Mask"), m_mask);
    form->addRow(tr("Opacity"), m_opacity);
    form->addRow(m_lockAlpha);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    auto* up = new QPushButton(tr("Up"), this);
    auto* down = new QPushButton(tr("Down"), this);
    auto* remove = new QPushButton(tr("Delete"), this);
    buttons->addWidget(up);
    buttons->addWidget(down);
    buttons->addWidget(remove);
    layout->addLayout(buttons);

    connect(up, &QPushButton::clicked, this,
            [this] { m_document->MoveLayer(m_document->ActiveIndex(), m_document->ActiveIndex() + 1); });
    connect(down, &QPushButton::clicked, this,
            [this] { m_document->MoveLayer(m_document->ActiveIndex(), m_document->ActiveIndex() - 1); });
    connect(remove, &QPushButton::clicked, this, [this] { m_document->RemoveLayer(m_document->ActiveIndex()); });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_rebuilding && row >= 0)
            m_document->SetActiveIndex(RowToIndex(row));
    });
    connect(m_list, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (m_rebuilding)
            return;
        const int index = RowToIndex(m_list->row(item));
        const bool visible = item->checkState() == Qt::Checked;
        if (m_document->Layers()[index].visible != visible)
            m_document->ChangeLayer(index, visible ? tr("Show layer") : tr("Hide layer"),
                                    [visible](Layer& layer) { layer.visible = visible; });
    });
    connect(m_mode, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int row) {
        if (m_rebuilding || row < 0)
            return;
        const unsigned int mode = m_mode->itemData(row).toUInt();
        m_document->ChangeLayer(m_document->ActiveIndex(), tr("Blend mode"),
                                [mode](Layer& layer) { layer.mode = mode; });
    });
    // The combo shows what was last made; choosing an entry makes that mask
    // from the layer's pixels as they are now.
    connect(m_mask, QOverload<int>::of(&QComboBox::activated), this, [this](int row) {
        const MaskKind kind = MaskKind(m_mask->itemData(row).toInt());
        m_document->ChangeLayer(m_document->ActiveIndex(), tr("Layer mask"),
                                [kind](Layer& layer) { MakeMask(layer, kind); });
    });
    // One step per opacity change: while the slider is dragged nothing is
    // recorded; the value it is let go at is.
    auto setOpacity = [this] {
        if (m_rebuilding || m_opacity->isSliderDown())
            return;
        const double opacity = m_opacity->value() / 100.0;
        if (const Layer* layer = m_document->ActiveLayer(); layer && std::abs(layer->opacity - opacity) > 1e-9)
            m_document->ChangeLayer(m_document->ActiveIndex(), tr("Opacity"),
                                    [opacity](Layer& l) { l.opacity = opacity; });
    };
    connect(m_opacity, &QSlider::valueChanged, this, setOpacity);
    connect(m_opacity, &QSlider::sliderReleased, this, setOpacity);
    connect(m_lockAlpha, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_rebuilding)
            m_document->ChangeLayer(m_document->ActiveIndex(), tr("Lock alpha"),
                                    [on](Layer& layer) { layer.lockAlpha = on; });
    });
    connect(m_document, &Document::LayersChanged, this, &LayersPanel::Rebuild);
    Rebuild();
}

int LayersPanel::RowToIndex(int row) const
{
    return m_document->Layers().size() - 1 - row;
}

void LayersPanel::Rebuild()
{
    m_rebuilding = true;
    m_list->clear();
    const LayerList& layers = m_document->Layers();
    for (int row = 0; row < layers.size(); ++row) {
        const Layer& layer = layers[RowToIndex(row)];
        auto* item = new QListWidgetItem(layer.name, m_list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(layer.visible ? Qt::Checked : Qt::Unchecked);
    }
    if (const Layer* active = m_document->ActiveLayer()) {
        m_list->setCurrentRow(RowToIndex(m_document->ActiveIndex()));
        m_mode->setCurrentIndex(std::max(0, m_mode->findData(active->mode)));
        m_opacity->setValue(int(std::lround(active->opacity * 100)));
        m_lockAlpha->setChecked(active->lockAlpha);
        if (active->mask.Width() == 0)
            m_mask->setCurrentIndex(0);
    }
    m_rebuilding = false;
}

} // namespace kxedit
