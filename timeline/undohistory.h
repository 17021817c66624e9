#pragma once
// Undo and redo of the row table, as many steps back as the user goes (the oldest of
// more than kMaxSteps are dropped).
//
// A step is what one command changed. SaveUndoData opens a step just before the
// command's first change; the step closes when the next one opens, or at Undo, Redo or
// a save, and then keeps only the rows that differ between the table as the step began
// and the table as it is now (the rows from the first to the last that differ, before
// and after). The history holds one copy of the table as the open step began, made
// once per document and changed along with each step, so no step copies the table. A single-row edit of a 10,000-row table
// keeps two rows. A command that changed nothing leaves no step, so a command that
// takes further snapshots of the same, still unchanged table (re-splitting) is one
// step, and a refused command keeps what could be redone.
//
// Undo closes the open step, then takes the newest step back; Redo brings it again. A
// new command that changes the table drops what could be redone. Changes that open no
// step of their own join the open one.
//
// The history is per document: clear() at a new project, an opened project or another
// sound clip forgets it, and until the next SaveUndoData there is nothing to undo. The
// modified flag follows the history: markSaved() notes the step the file holds, and an
// Undo or Redo that arrives there clears the flag (any other sets it).
//
// Undo and redo restore the fields of the data rows (every field but the marker)
// and the row count; the markers, the current row, the dragged range and the
// labels stay as they are; a speed shown as a ratio follows the restored rows.

#include "timeline/rowtable.h"

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <vector>

namespace vk {

class Editor;

class UndoHistory final {
public:
    static constexpr int kMaxSteps = 1000;

    explicit UndoHistory(Editor& editor);
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Opens a step: what changes from here on is undone together.
    void SaveUndoData();
    void Undo();
    void Redo();
    bool canUndo() const;
    bool canRedo() const;

    // A new document: nothing to undo or redo. The table as it is counts as saved
    // when the editor is not modified.
    void clear();
    // The table as it is now is what the project file holds.
    void markSaved();
    // No state of the table is the one in a file (a project recovered from an autosave).
    void markUnsaved();

    // A part of the document outside the row table that commands change and undo
    // brings back (the beat grid's corrections, say), as a small value read and
    // written through the two functions. A step keeps its value before and after when
    // the step changed it, and a step that changed only the part is a step too. Parts
    // are added once, when the application wires the editor; the number returned names
    // the part to setPartBaseline.
    struct DocumentPart {
        std::function<QByteArray()> read;
        std::function<void(const QByteArray&)> write;
    };
    size_t addDocumentPart(DocumentPart part);
    // The part's value as it is now is where the document starts, not a change by a
    // command: it came with the document (a project file) or for it (a cache) while a
    // step may be open. The open step takes it as its value before, so no step holds
    // it and none takes it back.
    void setPartBaseline(size_t part);

    // Grows with every step opened, undone or redone, and at clear(): a run of edits
    // that should be one step (the taps of one play) compares it to see whether its
    // step is still the open one.
    std::uint64_t generation() const { return m_generation; }
    // The closed steps (tests and the benchmark read them).
    int stepCount() const { return int(m_steps.size()); }
    int position() const { return m_index; }

    // The table as it was when the open step was taken (or at the last Undo or Redo).
    const RowTable& undogrid() const { return m_taken; }

private:
    struct PartChange {
        size_t part = 0;
        QByteArray before;
        QByteArray after;
    };
    struct Step {
        int first = 1;                 // first data row that differs
        std::vector<Row> before;       // rows first.. as they were
        std::vector<Row> after;        // rows first.. as they became
        std::vector<PartChange> parts; // the document parts it changed
    };

    // Closes the open step; true when it changed the table and became a step.
    bool closeStep();
    void openStep();
    void push(Step step);
    // Moves the table to the other side of a step and tells the views.
    void apply(const Step& step, bool forward);
    bool openStepChangedTable() const;

    Editor& m_editor;
    RowTable& m_grid;
    std::vector<Step> m_steps;
    int m_index = 0;      // steps before this one are done, the rest undone
    int m_cleanIndex = 0; // m_index of the saved table; -1 when none is
    RowTable m_taken{1, 1};
    std::vector<DocumentPart> m_parts;
    std::vector<QByteArray> m_takenParts; // their values as the open step began
    bool m_open = false;
    std::uint64_t m_generation = 0;
};

// A run of edits that is one step: the taps of one play of the sound clip, the
// continuous registrations of one play of a video. begin() at the start of the play
// opens the step; join() before each edit opens a new one only when another command
// opened a step since; end() at the pause. Outside a play, join() makes each edit a
// step of its own.
class UndoRun final {
public:
    void begin(UndoHistory& history);
    void join(UndoHistory& history);
    void end() { m_active = false; }

private:
    bool m_active = false;
    std::uint64_t m_generation = 0;
};

} // namespace vk
