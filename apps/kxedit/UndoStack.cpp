#include "UndoStack.h"

namespace kxedit {

void UndoStack::Push(const QString& text, const LayerList& before, int active)
{
    m_undo.append(Step{text, before, active});
    if (m_undo.size() > kLimit)
        m_undo.removeFirst();
    m_redo.clear();
    emit Changed();
}

bool UndoStack::Swap(QVector<Step>& from, QVector<Step>& to, LayerList& layers, int& active)
{
    if (from.isEmpty())
        return false;
    Step step = from.takeLast();
    std::swap(step.layers, layers);
    std::swap(step.active, active);
    to.append(std::move(step));
    return true;
}

bool UndoStack::Undo(LayerList& layers, int& active)
{
    const bool done = Swap(m_undo, m_redo, layers, active);
    if (done)
        emit Changed();
    return done;
}

bool UndoStack::Redo(LayerList& layers, int& active)
{
    const bool done = Swap(m_redo, m_undo, layers, active);
    if (done)
        emit Changed();
    return done;
}

void UndoStack::MergeLast()
{
    // The earlier step's state is the one to go back to.
    if (m_undo.size() >= 2)
        m_undo.removeLast();
}

void UndoStack::Clear()
{
    m_undo.clear();
    m_redo.clear();
    emit Changed();
}

} // namespace kxedit
