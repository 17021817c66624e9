#pragma once
// Sound section editing: the commands that move section boundaries of the row table.
// One object per editor (Editor::sections()); it works on the editor's table and state.
//
// - SndRegister / SndSectionAdd: a tap adds a boundary at the sound player's position.
//   The new row carries only its start (columns 1 and 5); sorting by the fixed-width
//   time text puts it in start order, so the section it falls into keeps its video
//   registration, speed and effect and simply ends earlier. The taps of one play are
//   one undo step, opened when the play starts (so a tap itself copies nothing), and
//   speeds are not recomputed.
// - SndDelete: removes the drag-selected rows (never row 1), recomputes the speeds
//   that became empty and marks the row that took the place of the first removed one.
// - SndSplit: cuts the current section into n equal parts, measured from its
//   frame-rounded start (column 1) so the parts line up with what the user sees.
// - SndSameSplit: makes the dragged sections equally long from the exact starts in ms.
// - SndClear: resets the table to one section starting at 0 for a new document, and
//   forgets the undo history of the one before.
// - SndBeatSplit: adds a section start at each given time (the beats the beat assist
//   chose) inside the dragged range, or from the current row to the end; one undo
//   snapshot, no speeds recomputed, registrations kept as a tap keeps them.
//
// A TapAdjuster set with setTapAdjuster() sees every tapped position before it is used.
//
// Deletion, split and equalise take the undo snapshot before their first change. Any
// conversion or player error ends a command silently; steps already done stay done.
// Every command ends with one table notification.

#include "timeline/undohistory.h"

#include <vector>

namespace vk {

class Editor;
class TapAdjuster;
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
    // The taps of one play of the sound clip are one undo step: the play's start opens
    // it, the pause ends the run.
    void beginTapRun();
    void endTapRun() { m_tapRun.end(); }

    // The range a beat split works on, in ms: from the start of the dragged range's
    // first row (or of the current row, when no more than one row is dragged) to the
    // end of its last row (or of the clip). Empty (from >= to) without data rows.
    struct Range {
        double fromMs = 0.0;
        double toMs = 0.0;
    };
    Range beatSplitRange() const;
    // Adds a section start at each of `pointsMs` that lies inside beatSplitRange() and
    // is not already a start (as time text). Returns the number of sections added;
    // nothing changes, and no snapshot is taken, when none is.
    int SndBeatSplit(const std::vector<double>& pointsMs);

    // The adjuster every tap goes through; null (the default) uses the tap as read.
    void setTapAdjuster(TapAdjuster* adjuster) { m_adjuster = adjuster; }
    TapAdjuster* tapAdjuster() const { return m_adjuster; }

private:
    Editor& m_editor;
    RowTable& m_grid;
    UserDialogs& m_ui;
    TapAdjuster* m_adjuster = nullptr;
    UndoRun m_tapRun;
};

} // namespace vk
