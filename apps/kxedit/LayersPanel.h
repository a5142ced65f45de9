#ifndef KXEDIT_LAYERSPANEL_H
#define KXEDIT_LAYERSPANEL_H

#include <QWidget>

class QCheckBox;
class QComboBox;
class QListWidget;
class QSlider;

namespace kxedit {

class Document;

/// The layer list (top layer first) with the active layer's visibility,
/// opacity, blend mode and alpha lock; every change is an undoable step.
class LayersPanel : public QWidget {
    Q_OBJECT
public:
    explicit LayersPanel(Document* document, QWidget* parent = nullptr);

private:
    void Rebuild();
    int RowToIndex(int row) const;

    Document* m_document;
    QListWidget* m_list;
    QSlider* m_opacity;
    QComboBox* m_mode;
    QCheckBox* m_lockAlpha;
    QComboBox* m_mask;
    bool m_rebuilding = false;
};

} // namespace kxedit

#endif
