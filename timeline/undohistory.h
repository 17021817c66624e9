#pragma once
// One level of undo and redo for the row table. A snapshot holds the row and column
// counts and every cell outside the header row and the marker column; the editor's
// commands take the undo snapshot before their first change. Undo first takes the
// redo snapshot, then restores the undo snapshot; both mark the project modified.
// Before any snapshot, and after a new document cleared them, Undo and Redo do nothing.

#include "timeline/rowtable.h"

namespace vk {

class Editor;

class UndoHistory final {
public:
    explicit UndoHistory(Editor& editor);
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    void SaveUndoData();
    void SaveRedoData();
    void Undo();
    void Redo();
    // Forgets both snapshots: a new document (a new project, an opened project, another
    // sound clip) has nothing to go back to until its first edit.
    void clear();

    // The snapshots (tests and the table checks read them).
    RowTable& undogrid() { return m_undo; }

private:
    Editor& m_editor;
    RowTable& m_grid;
    RowTable m_undo{1, 1};
    RowTable m_redo{1, 1};
    bool m_undoTaken = false;
    bool m_redoTaken = false;
};

} // namespace vk
