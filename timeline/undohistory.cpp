#include "timeline/undohistory.h"

#include "timeline/editor.h"

#include <algorithm>

namespace vk {

UndoHistory::UndoHistory(Editor& editor) : m_editor(editor), m_grid(editor.Grid()) {}

void UndoHistory::openStep()
{
    // The copy is made once per document; from then on it follows the table step by
    // step (closeStep and apply change it as they change the table), so opening a
    // step copies nothing.
    if (!m_open) {
        m_taken = m_grid;
        m_takenParts.clear();
        for (const DocumentPart& part : m_parts)
            m_takenParts.push_back(part.read());
        m_open = true;
    }
    ++m_generation;
}

size_t UndoHistory::addDocumentPart(DocumentPart part)
{
    if (m_open)
        m_takenParts.push_back(part.read());
    m_parts.push_back(std::move(part));
    return m_parts.size() - 1;
}

void UndoHistory::setPartBaseline(size_t part)
{
    // Without an open step the next one reads the part as it opens.
    if (m_open && part < m_parts.size())
        m_takenParts[part] = m_parts[part].read();
}

bool UndoHistory::openStepChangedTable() const
{
    if (!m_open)
        return false;
    for (size_t i = 0; i < m_parts.size(); ++i)
        if (m_parts[i].read() != m_takenParts[i])
            return true;
    return m_taken != m_grid;
}

bool UndoHistory::closeStep()
{
    if (!m_open)
        return false;
    RowTable& a = m_taken;
    const RowTable& b = m_grid;
    if (a.Cols() != b.Cols()) {
        // No command changes the column count; should one, the step starts afresh.
        a = b;
        return false;
    }
    const int na = a.Rows();
    const int nb = b.Rows();
    // The rows alike at the top and at the bottom stay out of the step; what lies
    // between is the change.
    int first = std::min({1, na, nb});
    while (first < na && first < nb && a.sameRow(first, b, first))
        ++first;
    int tail = 0;
    while (tail < na - first && tail < nb - first && a.sameRow(na - 1 - tail, b, nb - 1 - tail))
        ++tail;
    Step step;
    for (size_t i = 0; i < m_parts.size(); ++i) {
        QByteArray now = m_parts[i].read();
        if (now != m_takenParts[i]) {
            step.parts.push_back({i, m_takenParts[i], now});
            m_takenParts[i] = std::move(now);
        }
    }
    if (first == na && first == nb && step.parts.empty())
        return false;
    step.first = first;
    for (int r = first; r < na - tail; ++r)
        step.before.push_back(a.row(r));
    for (int r = first; r < nb - tail; ++r)
        step.after.push_back(b.row(r));
    // The copy catches up with the table: the next step starts from here.
    a.spliceRows(first, int(step.before.size()), step.after);
    push(std::move(step));
    return true;
}

void UndoHistory::push(Step step)
{
    // What could be redone is gone, and with it a saved state that lay there.
    if (m_cleanIndex > m_index)
        m_cleanIndex = -1;
    m_steps.resize(size_t(m_index));
    m_steps.push_back(std::move(step));
    ++m_index;
    if (int(m_steps.size()) > kMaxSteps) {
        m_steps.erase(m_steps.begin());
        --m_index;
        // A saved state before the oldest step kept can no longer be reached.
        m_cleanIndex = m_cleanIndex > 0 ? m_cleanIndex - 1 : -1;
    }
}

void UndoHistory::SaveUndoData()
{
    closeStep();
    openStep();
    m_editor.notifyHistory();
}

void UndoHistory::apply(const Step& step, bool forward)
{
    const std::vector<Row>& from = forward ? step.before : step.after;
    const std::vector<Row>& to = forward ? step.after : step.before;
    m_grid.spliceRows(step.first, int(from.size()), to);
    m_taken.spliceRows(step.first, int(from.size()), to);
    for (const PartChange& change : step.parts) {
        const QByteArray& value = forward ? change.after : change.before;
        m_parts[change.part].write(value);
        m_takenParts[change.part] = value;
    }
    ++m_generation;
    m_editor.setModified(m_index != m_cleanIndex);
    m_editor.notifyTable();
    m_editor.notifyHistory();
}

void UndoHistory::Undo()
{
    closeStep();
    if (m_index == 0) {
        // Nothing to go back to; what the open step had is closed above.
        m_editor.notifyHistory();
        return;
    }
    --m_index;
    apply(m_steps[size_t(m_index)], false);
}

void UndoHistory::Redo()
{
    // A change since the last Undo drops what could be redone.
    if (closeStep() || m_index == int(m_steps.size())) {
        m_editor.notifyHistory();
        return;
    }
    ++m_index;
    apply(m_steps[size_t(m_index - 1)], true);
}

bool UndoHistory::canUndo() const
{
    return m_index > 0 || openStepChangedTable();
}

bool UndoHistory::canRedo() const
{
    return m_index < int(m_steps.size()) && !openStepChangedTable();
}

void UndoHistory::clear()
{
    m_steps.clear();
    m_index = 0;
    m_cleanIndex = m_editor.modified() ? -1 : 0;
    m_taken = RowTable(1, 1);
    m_open = false;
    ++m_generation;
    m_editor.notifyHistory();
}

void UndoHistory::markSaved()
{
    // What the open step changed is part of the saved table; later changes are a step
    // from there.
    if (closeStep())
        ++m_generation;
    m_cleanIndex = m_index;
    m_editor.notifyHistory();
}

void UndoHistory::markUnsaved()
{
    m_cleanIndex = -1;
}

void UndoRun::begin(UndoHistory& history)
{
    history.SaveUndoData();
    m_generation = history.generation();
    m_active = true;
}

void UndoRun::join(UndoHistory& history)
{
    if (!m_active) {
        // Outside a play every edit is a step of its own.
        history.SaveUndoData();
        return;
    }
    if (m_generation != history.generation())
        begin(history);
}

} // namespace vk
