#ifndef KXEDIT_MAINWINDOW_H
#define KXEDIT_MAINWINDOW_H

#include <QMainWindow>
#include <QMessageBox>

#include <functional>

namespace kxedit {

class AdjustDialog;
struct AdjustmentKind;
class Canvas;
class Document;
class FilterDialog;
class FilterKind;
class LayersPanel;
class Tools;

/// The editor's window: the canvas, the layers panel, and menus that reach
/// every action.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Document* GetDocument() const { return m_document; }
    Canvas* GetCanvas() const { return m_canvas; }
    Tools* GetTools() const { return m_tools; }

    bool OpenFile(const QString& path);
    bool AddLayerFile(const QString& path);
    bool SaveFile(const QString& path);
    /// Opens the dialog of a filter (not modal) and returns it.
    FilterDialog* OpenFilter(const FilterKind& kind);

    /// Opens the dialog of one adjustment (not modal) and returns it.
    AdjustDialog* OpenAdjustments(const AdjustmentKind& kind);
    /// The feather and grow-or-shrink dialog of the selection; null without
    /// a selection.
    QDialog* OpenRefineSelection();
    /// The tonal adjustments (brightness, exposure, gamma, posterize).
    AdjustDialog* OpenAdjustments();
    /// Shows the canvas through the display profile at `path` (empty:
    /// sRGB); false, with the canvas left as it was, when the file holds no
    /// RGB profile.
    bool SetDisplayProfile(const QString& path);

    /// Asked when the window closes with unsaved changes; by default a
    /// message box offering Save, Discard and Cancel.
    std::function<QMessageBox::StandardButton()> askToSave;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void MakeMenus();
    void MakeViewMenu();
    void UpdateTitle();
    void ShowError(const QString& title, const QString& text);

    Document* m_document;
    Canvas* m_canvas;
    LayersPanel* m_layers;
    Tools* m_tools;
    QAction* m_srgb = nullptr;
    QAction* m_iccFile = nullptr;
};

} // namespace kxedit

#endif
