#include "FilterDialog.h"

#include "Canvas.h"
#include "Document.h"
#include "ParamForm.h"

#include <KXImageConversion.h>
#include <KXScaleImage.h>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QtConcurrent>


namespace kxedit {

FilterDialog::FilterDialog(const FilterKind& kind, Document* document, Canvas* canvas, QWidget* parent)
    : QDialog(parent), m_kind(kind), m_document(document), m_canvas(canvas), m_layer(document->ActiveIndex())
{
    setWindowTitle(kind.Name());
    setObjectName(QStringLiteral("filterDialog"));
    auto* layout = new QVBoxLayout(this);
    m_form = new ParamForm(kind.Fields(), kind.Defaults(), this);
    connect(m_form, &ParamForm::ValuesChanged, this, &FilterDialog::StartPreview);
    layout->addWidget(m_form);

    m_previewBox = new QCheckBox(tr("Preview"), this);
    m_previewBox->setObjectName(QStringLiteral("preview"));
    m_previewBox->setChecked(true);
    connect(m_previewBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            StartPreview();
        else
            StopPreview();
    });
    layout->addWidget(m_previewBox);

    auto* presets = new QHBoxLayout;
    auto* load = new QPushButton(tr("Load preset…"), this);
    auto* save = new QPushButton(tr("Save preset…"), this);
    connect(load, &QPushButton::clicked, this, [this] { ChoosePreset(false); });
    connect(save, &QPushButton::clicked, this, [this] { ChoosePreset(true); });
    presets->addWidget(load);
    presets->addWidget(save);
    layout->addLayout(presets);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    layout->addWidget(m_progress);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    layout->addWidget(m_status);

    auto* buttons = new QDialogButtonBox(this);
    m_apply = buttons->addButton(tr("Apply"), QDialogButtonBox::AcceptRole);
    m_apply->setObjectName(QStringLiteral("apply"));
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_apply, &QPushButton::clicked, this, &FilterDialog::Apply);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_running)
            m_runControl->Cancel();
        else
            reject();
    });
    layout->addWidget(buttons);

    connect(&m_previewWatcher, &QFutureWatcher<KXImageRGBA32i>::finished, this, &FilterDialog::PreviewDone);
    connect(&m_runWatcher, &QFutureWatcher<KXImageRGBA32i>::finished, this, &FilterDialog::RunDone);
    if (m_canvas)
        connect(m_canvas, &Canvas::ViewChanged, this, &FilterDialog::StartPreview);
    StartPreview();
}

FilterDialog::~FilterDialog()
{
    // The workers hold only copies, but the images must be gone before the
    // application lets the tile manager go.
    if (m_previewControl)
        m_previewControl->Cancel();
    if (m_runControl)
        m_runControl->Cancel();
    m_previewWatcher.waitForFinished();
    for (QFuture<KXImageRGBA32i>& stale : m_stale)
        stale.waitForFinished();
    m_runWatcher.waitForFinished();
    m_document->ClearPreview();
}

QVariantList FilterDialog::Values() const
{
    return m_form->Values();
}

void FilterDialog::SetValues(const QVariantList& values)
{
    m_form->SetValues(values);
}

KXFilterData FilterDialog::DataFor(const QRect& area) const
{
    KXFilterData data;
    const Layer& layer = m_document->Layers()[m_layer];
    data.image = layer.image;
    // The shadows take the layer's shape through its mask; without a mask
    // the whole layer counts.
    data.layerMask = layer.mask;
    data.maskFlag = 1;
    if (m_document->HasSelection()) {
        data.selection = m_document->Selection();
        data.selectionRect = area.isNull() ? m_document->SelectionBounds() : (m_document->SelectionBounds() & area);
    } else if (!area.isNull()) {
        // The area alone: an opaque selection of the layer's size holds at
        // most four blocks.
        data.selection = KXImageRGBA32i(layer.image.Width(), layer.image.Height());
        data.selection.Fill(KXRGBA32i(0xFFFFFFFFu));
        data.selectionRect = area & layer.image.Rect();
    }
    return data;
}

void FilterDialog::StopPreview()
{
    if (m_previewControl)
        m_previewControl->Cancel();
    m_previewPending = false;
    if (m_canvas)
        m_canvas->SetScreenPreview(KXImageRGBA32i());
    m_document->ClearPreview();
}

void FilterDialog::StartPreview()
{
    if (m_running || !m_previewBox || !m_previewBox->isChecked() || m_layer >= m_document->Layers().size())
        return;
    // The running preview is told to stop between two of its steps; its
    // result, if it still comes, is dropped.
    if (m_previewControl)
        m_previewControl->Cancel();
    m_previewClock.start();
    m_frameSinceChange = false;
    const QRect area = m_canvas ? m_canvas->VisibleArea() : m_document->Rect();
    m_previewData = DataFor(area);
    if (!m_previewData.selectionRect.isValid()) {
        m_document->ClearPreview();
        return;
    }
    m_previewControl = std::make_shared<RunControl>();
    m_previewValues = m_form->Values();
    // Zoomed out, the screen's pixels come first: the layer as the canvas
    // samples it, filtered with its sizes scaled, then the exact area.
    const double scale = m_canvas ? m_canvas->Scale() : 1.0;
    if (scale < 1.0 && m_kind.ScalesWithView() && !m_document->HasSelection()) {
        const KXImageRGBA32i layer = m_previewData.image;
        // Only the picture's part of the canvas, so that the blur meets no
        // transparent margin.
        const QRect onScreen =
            QRectF(m_canvas->ToWidget(area.topLeft()), m_canvas->ToWidget(area.bottomRight() + QPointF(1, 1)))
                .toAlignedRect() &
            m_canvas->rect();
        const QPointF offset = m_canvas->ToImage(onScreen.topLeft());
        const QVariantList values = m_kind.ScaledValues(m_previewValues, scale);
        m_screenPosition = onScreen.topLeft();
        StartPreviewStage(true, [layer, onScreen, offset, scale, values](const FilterKind& kind, RunControl& control) {
            QImage view(onScreen.size(), QImage::Format_ARGB32);
            view.fill(Qt::transparent);
            ScaleImage(layer, offset, scale, view);
            KXFilterData data;
            data.image = ConvertImage<QImage, KXImageRGBA32i>(view);
            return kind.Run(values, data, control, nullptr);
        });
    } else {
        StartExactPreview();
    }
}

void FilterDialog::StartExactPreview()
{
    const KXFilterData data = m_previewData;
    const QVariantList values = m_previewValues;
    StartPreviewStage(false, [data, values](const FilterKind& kind, RunControl& control) {
        return kind.Run(values, data, control, nullptr);
    });
}

void FilterDialog::StartPreviewStage(bool coarse,
                                     const std::function<KXImageRGBA32i(const FilterKind&, RunControl&)>& stage)
{
    m_previewCoarse = coarse;
    m_previewPending = true;
    if (m_previewWatcher.isRunning())
        m_stale.append(m_previewWatcher.future());
    for (int i = m_stale.size() - 1; i >= 0; --i)
        if (m_stale[i].isFinished())
            m_stale.removeAt(i);
    const std::shared_ptr<RunControl> control = m_previewControl;
    const FilterKind* kind = &m_kind;
    m_previewWatcher.setFuture(QtConcurrent::run(WorkerPool(), [kind, control, stage] { return stage(*kind, *control); }));
}

void FilterDialog::PreviewDone()
{
    if (!m_previewPending || m_previewControl->IsCancelled())
        return;
    m_previewPending = false;
    const bool coarse = m_previewCoarse; // the next stage changes it
    const qint64 elapsed = m_previewClock.elapsed();
    if (coarse) {
        m_canvas->SetScreenPreview(m_previewWatcher.result(), m_screenPosition);
        StartExactPreview();
    } else {
        if (m_canvas)
            m_canvas->SetScreenPreview(KXImageRGBA32i());
        m_document->SetPreview(m_layer, m_previewWatcher.result(), m_previewData.selectionRect);
    }
    if (!m_frameSinceChange)
        m_lastPreviewMs = elapsed;
    m_frameSinceChange = true;
    m_status->setText(tr("Preview: %1 ms%2").arg(elapsed).arg(coarse ? tr(", refining…") : QString()));
    emit PreviewReady(elapsed, !coarse);
}

void FilterDialog::Apply()
{
    if (m_running || m_layer >= m_document->Layers().size())
        return;
    // The preview stops, but what it shows stays until the result replaces it.
    if (m_previewControl)
        m_previewControl->Cancel();
    m_previewPending = false;
    m_running = true;
    m_apply->setEnabled(false);
    m_status->setText(tr("Working…"));
    m_progress->setRange(0, 0);
    m_runControl = std::make_shared<RunControl>();
    const std::shared_ptr<RunControl> control = m_runControl;
    const FilterKind* kind = &m_kind;
    const QVariantList values = m_form->Values();
    const KXFilterData data = DataFor(QRect());
    // The processing object lives on the worker; its signals reach the
    // progress bar queued, and stop reaching it when the dialog goes.
    auto attach = [this](KXAdjustmentProcessing& processing) {
        connect(&processing, &KXAdjustmentProcessing::RangeChanged, this, &FilterDialog::SetRange,
                Qt::QueuedConnection);
        connect(&processing, &KXAdjustmentProcessing::ProgressChanged, this, &FilterDialog::SetProgress,
                Qt::QueuedConnection);
    };
    m_runWatcher.setFuture(QtConcurrent::run(
        WorkerPool(), [kind, values, data, control, attach] { return kind->Run(values, data, *control, attach); }));
}

void FilterDialog::SetRange(int minimum, int maximum)
{
    m_progress->setRange(minimum, std::max(minimum + 1, maximum));
}

void FilterDialog::SetProgress(int value)
{
    m_progress->setValue(value);
}

void FilterDialog::RunDone()
{
    m_running = false;
    m_apply->setEnabled(true);
    // A cancelled run may have changed its copy of the layer part way; it
    // is dropped and the layer stays as it was.
    if (m_runControl->IsCancelled()) {
        m_status->setText(tr("Cancelled; the layer is unchanged."));
        m_progress->setValue(m_progress->minimum());
        emit RunFinished(false);
        StartPreview();
        return;
    }
    const QRect area = m_document->HasSelection() ? m_document->SelectionBounds() : QRect();
    StopPreview();
    m_document->SetLayerImage(m_layer, m_kind.Name(), m_runWatcher.result(), area);
    emit RunFinished(true);
    accept();
}

void FilterDialog::reject()
{
    if (m_running) {
        m_runControl->Cancel();
        return;
    }
    StopPreview();
    QDialog::reject();
}

bool FilterDialog::SavePreset(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QDataStream stream(&file);
    if (!m_kind.WritePreset(stream, m_form->Values()) || !file.commit()) {
        if (error)
            *error = tr("cannot write %1").arg(path);
        return false;
    }
    return true;
}

bool FilterDialog::LoadPreset(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QDataStream stream(&file);
    QVariantList values;
    if (!m_kind.ReadPreset(stream, values)) {
        if (error)
            *error = tr("%1 is not a %2 preset").arg(path, m_kind.Name());
        return false;
    }
    SetValues(values);
    return true;
}

void FilterDialog::ChoosePreset(bool save)
{
    const QString filter = tr("Filter presets (*.kxpreset)");
    const QString path = save ? QFileDialog::getSaveFileName(this, tr("Save preset"), QString(), filter)
                              : QFileDialog::getOpenFileName(this, tr("Load preset"), QString(), filter);
    if (path.isEmpty())
        return;
    QString error;
    if (!(save ? SavePreset(path, &error) : LoadPreset(path, &error)))
        QMessageBox::warning(this, windowTitle(), error);
}

} // namespace kxedit
