#include "AdjustDialog.h"

#include "Canvas.h"
#include "Document.h"
#include "ParamForm.h"

#include <QDialogButtonBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kxedit {

HistogramView::HistogramView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(256, 100);
}

void HistogramView::SetHistogram(const Adjustments::Histogram& histogram)
{
    m_histogram = histogram;
    update();
}

void HistogramView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(30, 30, 30));
    unsigned int highest = 1;
    for (const auto& channel : m_histogram)
        highest = std::max(highest, *std::max_element(channel.begin(), channel.end()));
    const QColor colours[] = {QColor(240, 80, 80), QColor(80, 220, 80), QColor(90, 140, 255)};
    painter.setRenderHint(QPainter::Antialiasing);
    for (int c = 0; c < 3; ++c) {
        QPainterPath path(QPointF(0, height()));
        for (int v = 0; v < 256; ++v)
            path.lineTo(v * (width() - 1) / 255.0,
                        height() - double(m_histogram[size_t(c)][size_t(v)]) / highest * (height() - 2));
        painter.setPen(colours[c]);
        painter.drawPath(path);
    }
}

AdjustDialog::AdjustDialog(const AdjustmentKind& kind, Document* document, Canvas* canvas, QWidget* parent)
    : QDialog(parent), m_kind(kind), m_document(document), m_canvas(canvas)
{
    setWindowTitle(kind.name);
    setObjectName(QStringLiteral("adjustDialog"));
    auto* layout = new QVBoxLayout(this);
    m_histogram = new HistogramView(this);
    layout->addWidget(m_histogram);
    m_form = new ParamForm(kind.fields, kind.defaults, this);
    layout->addWidget(m_form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* apply = buttons->addButton(tr("Apply"), QDialogButtonBox::AcceptRole);
    apply->setObjectName(QStringLiteral("apply"));
    connect(apply, &QPushButton::clicked, this, &AdjustDialog::Apply);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    if (const Layer* layer = m_document->ActiveLayer()) {
        const QRect area = m_document->HasSelection() ? m_document->SelectionBounds() : layer->image.Rect();
        if (kind.tables)
            m_original = Adjustments::Count(layer->image, area);
        else
            m_sample = Adjustments::Sample(layer->image, area, 1 << 16);
    }
    connect(m_form, &ParamForm::ValuesChanged, this, &AdjustDialog::Update);
    Update();
}

AdjustDialog::~AdjustDialog()
{
    m_canvas->SetPreviewTransform(nullptr);
}

void AdjustDialog::Update()
{
    const QVariantList values = m_form->Values();
    std::unique_ptr<KXColorTransformBase> preview = m_kind.Preview(values);
    if (m_kind.tables) {
        m_histogram->SetHistogram(Adjustments::Mapped(m_original, m_kind.tables(values)));
    } else {
        std::vector<KXRGBA32i> adjusted = m_sample;
        (*preview)(adjusted.data(), unsigned(adjusted.size() * sizeof(KXRGBA32i)));
        m_histogram->SetHistogram(Adjustments::Count(adjusted));
    }
    m_canvas->SetPreviewTransform(std::move(preview));
}

void AdjustDialog::Apply()
{
    const Layer* layer = m_document->ActiveLayer();
    if (!layer)
        return;
    m_canvas->SetPreviewTransform(nullptr);
    const std::unique_ptr<KXColorTransformStack> stack = m_kind.Stack(m_form->Values());
    KXImageRGBA32i adjusted = layer->image;
    (*stack)(adjusted);
    QRect area;
    if (m_document->HasSelection()) {
        // Only the selection takes the new pixels, weighted by its alpha.
        area = m_document->SelectionBounds();
        KXImageRGBA32i target = layer->image;
        Document::MergeThroughSelection(adjusted, target, m_document->Selection(), area);
        adjusted = target;
    }
    m_document->SetLayerImage(m_document->ActiveIndex(), m_kind.name, adjusted, area);
    accept();
}

} // namespace kxedit
