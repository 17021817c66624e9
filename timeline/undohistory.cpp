#include "timeline/undohistory.h"

#include "timeline/editor.h"

#include <algorithm>

namespace vk {

UndoHistory::UndoHistory(Editor& editor) : m_editor(editor), m_grid(editor.Grid()) {}

namespace {
// A snapshot holds the row and column counts and every cell outside the header row
// and the marker column.
void takeSnapshot(const RowTable& from, RowTable& to)
{
    to.setCols(from.Cols());
    to.setRows(from.Rows());
    for (int r = 1; r < from.Rows(); ++r)
        for (int c = 1; c < from.Cols(); ++c)
            to.setText(r, c, from.text(r, c));
}

void restoreSnapshot(const RowTable& from, RowTable& to)
{
    to.setRows(from.Rows());
    for (int r = 1; r < from.Rows(); ++r)
        for (int c = 1; c < std::min(from.Cols(), to.Cols()); ++c)
            to.setText(r, c, from.text(r, c));
}
} // namespace

void UndoHistory::SaveUndoData()
{
    takeSnapshot(m_grid, m_undo);
    m_undoTaken = true;
}

void UndoHistory::SaveRedoData()
{
    takeSnapshot(m_grid, m_redo);
    m_redoTaken = true;
}

void UndoHistory::clear()
{
    m_undo = RowTable(1, 1);
    m_redo = RowTable(1, 1);
    m_undoTaken = false;
    m_redoTaken = false;
}

void UndoHistory::Undo()
{
    // Before any snapshot there is nothing to go back to.
    if (!m_undoTaken)
        return;
    SaveRedoData();
    restoreSnapshot(m_undo, m_grid);
    // The table now differs from what was saved, so closing must ask.
    m_editor.setModified(true);
    m_editor.notifyTable();
}

void UndoHistory::Redo()
{
    if (!m_redoTaken)
        return;
    restoreSnapshot(m_redo, m_grid);
    m_editor.setModified(true);
    m_editor.notifyTable();
}

} // namespace vk
