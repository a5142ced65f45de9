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

/// Brightness, contrast, exposure, gamma and posterize on the active layer
/// (through the selection, when there is one), as a stack of colour
/// transformations. The canvas previews the stack on what it shows; the
/// histogram follows the settings.
class AdjustDialog : public QDialog {
    Q_OBJECT
public:
    AdjustDialog(Document* document, Canvas* canvas, QWidget* parent = nullptr);
    ~AdjustDialog() override;

    ParamForm* Form() const { return m_form; }
    HistogramView* Histogram() const { return m_histogram; }

public slots:
    void Apply();

private:
    void Update();

    Document* m_document;
    Canvas* m_canvas;
    ParamForm* m_form;
    HistogramView* m_histogram;
    Adjustments::Histogram m_original;
};

} // namespace kxedit

#endif
