#ifndef KXEDIT_UNDOSTACK_H
#define KXEDIT_UNDOSTACK_H

#include "Layer.h"

#include <QObject>
#include <QVector>

namespace kxedit {

/// Undo and redo as snapshots of the layer list. A snapshot is a copy of the
/// layers, which shares every tile with the document: only the tiles a
/// later change writes to are duplicated (copy on write), so a step costs
/// the tiles it touched, not the image.
class UndoStack : public QObject {
    Q_OBJECT
public:
    struct Step {
        QString text;
        LayerList layers; ///< The layers as they were before the step.
        int active = 0;
    };

    explicit UndoStack(QObject* parent = nullptr) : QObject(parent) {}

    /// Records the state before a change named `text`; clears the redo steps.
    void Push(const QString& text, const LayerList& before, int active);
    /// Swaps `layers` with the last recorded state; false when none.
    bool Undo(LayerList& layers, int& active);
    bool Redo(LayerList& layers, int& active);
    bool CanUndo() const { return !m_undo.isEmpty(); }
    bool CanRedo() const { return !m_redo.isEmpty(); }
    QString UndoText() const { return m_undo.isEmpty() ? QString() : m_undo.last().text; }
    QString RedoText() const { return m_redo.isEmpty() ? QString() : m_redo.last().text; }
    void Clear();
    /// Folds the last step into the one before it (one step for the user).
    void MergeLast();
    int Count() const { return m_undo.size(); }
    /// The most steps kept; older ones are dropped.
    static constexpr int kLimit = 50;

signals:
    void Changed();

private:
    static bool Swap(QVector<Step>& from, QVector<Step>& to, LayerList& layers, int& active);
    QVector<Step> m_undo;
    QVector<Step> m_redo;
};

} // namespace kxedit

#endif
