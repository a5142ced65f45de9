#ifndef KXEDIT_ADJUSTDIALOG_H
#define KXEDIT_ADJUSTDIALOG_H

#include "Adjustments.h"

#include <QDialog>

namespace kxedit {

class Canvas;
class Document;
class ParamForm;

/// Shows a histogram: red, green and blue counts as three outlines.
class HistogramView : public QWidget {
    Q_OBJECT
public:
    explicit HistogramView(QWidget* parent = nullptr);
    void SetHistogram(const Adjustments::Histogram& histogram);
    const Adjustments::Histogram& GetHistogram() const { return m_histogram; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Adjustments::Histogram m_histogram{};
};

/// One adjustment of the active layer (through the selection, when there is
/// one), its controls made from its fields, as a stack of colour
/// transformations. The canvas previews the stack on what it shows; the
/// histogram follows the settings (exactly for table adjustments, from a
/// sample of the layer for the others).
class AdjustDialog : public QDialog {
    Q_OBJECT
public:
    AdjustDialog(const AdjustmentKind& kind, Document* document, Canvas* canvas, QWidget* parent = nullptr);
    ~AdjustDialog() override;

    ParamForm* Form() const { return m_form; }
    HistogramView* Histogram() const { return m_histogram; }

public slots:
    void Apply();

private:
    void Update();

    const AdjustmentKind& m_kind;
    Document* m_document;
    Canvas* m_canvas;
    ParamForm* m_form;
    HistogramView* m_histogram;
    Adjustments::Histogram m_original;
    std::vector<KXRGBA32i> m_sample;
};

} // namespace kxedit

#endif
