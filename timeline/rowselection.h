#pragma once
// Row selection and navigation on the row table: mouse releases (selection, the dragged
// range and its summary, the quick edits of the speed and effect cells, seeking with
// the right button), the table's keys, "最初へ"/"最後へ" and files dropped on the table.
// One object per editor (Editor::selection()); it works on the editor's table and state.
//
// The dragged range changes only on a mouse release over the table; keyboard moves in
// the table change the current row but not the range. SeekToRow moves both panels to a
// row: the sound player to the section start (through the slider, so the marker follows
// the position), the video panel to the row's registration. Either panel may be absent
// (tests, or before the windows exist); the table side then still runs.
//
// Handlers trap their own errors: a row without a field it needs or a failing player call
// ends the handler silently, leaving what it already did.

#include "base/keycodes.h"

#include <QStringList>

namespace vk {

class Editor;
class RowTable;
class UserDialogs;

class RowSelection final {
public:
    enum class Button { Left = 1, Right = 2 };

    explicit RowSelection(Editor& editor);
    RowSelection(const RowSelection&) = delete;
    RowSelection& operator=(const RowSelection&) = delete;

    // Makes row the selected row: the marker, the current row, visible, the lengths.
    void SelectRow(int row);
    void showDuration(int row);

    // A mouse button released over the table. currentRow/selEndRow are the grid's own
    // selection; hitRow/hitCol the cell under the pointer, or -1 when the pointer is
    // below the last row or right of the last column.
    void GridMouseUp(Button button, int shift, int currentRow, int selEndRow, int hitRow, int hitCol);
    // A key pressed in the table: remembers the shift state it went down with, so its
    // release can tell a Ctrl combination even when Ctrl was let go first.
    void GridKeyDown(Key key, int shift);
    void GridKeyUp(Key key, int shift);
    void SeekToRow(int row);
    void GoFirst();
    void GoLast();
    void GridDrop(const QStringList& files);

private:
    Editor& m_editor;
    // The last key pressed in the table and the shift state it went down with.
    Key m_keyDown = Key::None;
    int m_keyDownShift = 0;
    RowTable& m_grid;
    UserDialogs& m_ui;
};

} // namespace vk
