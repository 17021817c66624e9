#pragma once
// Sound section editing: the commands that move section boundaries of the row table.
// One object per editor (Editor::sections()); it works on the editor's table and state.
//
// - SndRegister / SndSectionAdd: a tap adds a boundary at the sound player's position.
//   The new row carries only its start (columns 1 and 5); sorting by the fixed-width
//   time text puts it in start order, so the section it falls into keeps its video
//   registration, speed and effect and simply ends earlier. No undo snapshot is taken
//   (tapping must stay instant) and speeds are not recomputed.
// - SndDelete: removes the drag-selected rows (never row 1), recomputes the speeds
//   that became empty and marks the row that took the place of the first removed one.
// - SndSplit: cuts the current section into n equal parts, measured from its
//   frame-rounded start (column 1) so the parts line up with what the user sees.
// - SndSameSplit: makes the dragged sections equally long from the exact starts in ms.
// - SndClear: resets the table to one section starting at 0.
//
// Deletion, split and equalise take the undo snapshot before their first change. Any
// conversion or player error ends a command silently; steps already done stay done.
// Every command ends with one table notification.

namespace vk {

class Editor;
class RowTable;
class UserDialogs;

class Sections final {
public:
    explicit Sections(Editor& editor);
    Sections(const Sections&) = delete;
    Sections& operator=(const Sections&) = delete;

    void SndRegister();
    void SndSectionAdd(int ms);
    void SndDelete();
    // Marks the row after `row` (or the last row) as the selected row.
    void RowMarkNext(int row);
    void SndSplit();
    void SndSameSplit();
    // Resets the table to one section starting at 0.
    void SndClear();

private:
    Editor& m_editor;
    RowTable& m_grid;
    UserDialogs& m_ui;
};

} // namespace vk
