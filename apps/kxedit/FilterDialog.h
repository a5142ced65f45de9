#ifndef KXEDIT_FILTERDIALOG_H
#define KXEDIT_FILTERDIALOG_H

#include "Filters.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QVariantList>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QCheckBox;

namespace kxedit {

class Canvas;
class ParamForm;
class Document;

/// The dialog of one filter, its controls made from the filter's
/// parameters. While a value changes, the visible area is filtered on a
/// worker thread and shown in place of the layer; every change cancels the
/// preview that is running (through its cancel lock) and starts a new one.
/// Apply runs the filter over the layer (or the selection) on a worker
/// thread with a progress bar; Cancel stops it and the layer stays as it
/// was.
class FilterDialog : public QDialog {
    Q_OBJECT
public:
    FilterDialog(const FilterKind& kind, Document* document, Canvas* canvas, QWidget* parent = nullptr);
    ~FilterDialog() override;

    QVariantList Values() const;
    void SetValues(const QVariantList& values);
    bool SavePreset(const QString& path, QString* error) const;
    bool LoadPreset(const QString& path, QString* error);
    bool IsRunning() const { return m_running; }
    /// How long the last preview took from the change to its first frame.
    qint64 LastPreviewMs() const { return m_lastPreviewMs; }

public slots:
    /// Filters the whole layer (or the selection) and applies the result.
    void Apply();
    void reject() override;

signals:
    /// A preview frame is shown: first the screen's pixels when zoomed out
    /// (`refined` false), then the exact area (`refined` true).
    void PreviewReady(qint64 milliseconds, bool refined);
    /// A full run ended: applied or cancelled.
    void RunFinished(bool applied);

private slots:
    void StartPreview();
    void PreviewDone();
    void RunDone();
    void SetRange(int minimum, int maximum);
    void SetProgress(int value);

private:
    void StopPreview();
    void StartExactPreview();
    void StartPreviewStage(bool coarse, const std::function<KXImageRGBA32i(const FilterKind&, RunControl&)>& stage);
    KXFilterData DataFor(const QRect& area) const;
    void ChoosePreset(bool save);

    const FilterKind& m_kind;
    Document* m_document;
    Canvas* m_canvas;
    int m_layer;
    ParamForm* m_form;

    std::shared_ptr<RunControl> m_previewControl;
    QFutureWatcher<KXImageRGBA32i> m_previewWatcher;
    KXFilterData m_previewData;
    QVariantList m_previewValues;
    bool m_previewCoarse = false;
    QPoint m_screenPosition;
    bool m_frameSinceChange = false;
    QElapsedTimer m_previewClock;
    qint64 m_lastPreviewMs = -1;
    bool m_previewPending = false;
    QList<QFuture<KXImageRGBA32i>> m_stale; // cancelled previews still running

    std::shared_ptr<RunControl> m_runControl;
    QFutureWatcher<KXImageRGBA32i> m_runWatcher;
    bool m_running = false;

    QCheckBox* m_previewBox;
    QProgressBar* m_progress;
    QLabel* m_status;
    QPushButton* m_apply;
    QPushButton* m_cancel;
};

} // namespace kxedit

#endif
