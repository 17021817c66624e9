#pragma once
// The video clipboard: moves video registrations between rows of the row table while
// the sound sections stay where they are (the music is fixed, the pictures are
// rearranged over it). The clipboard is the editor's hidden table tmpgrid(): rows
// 1 .. k hold k registrations in order, only the registration columns filled. It is
// private to the editor; the system clipboard is not used.
//
// Every command works on the dragged range (first .. last, k = last - first + 1):
// - Copy: the range's registrations become the clipboard; the table flashes and
//   nothing else changes (neither the table nor the modified flag).
// - Cut: undo snapshot, copy, the range's registrations emptied, modified.
// - PasteVideo(saveUndo): the clipboard from the first dragged row on, at most the
//   dragged rows when a range is dragged, entries past the last row dropped; pasted
//   speed settings stay as copied (等速 stays), empty ones become the span's speed,
//   whose ratio follows the new section; modified.
// - CutUp: cut, then every later registration moves up by k rows with the span's speed
//   (a 等速 mark does not move with it); the last k rows end empty.
// - InsertPasteVideo(saveUndo): every registration from the first dragged row on
//   moves down by the number of clipboard entries (those pushed past the end are
//   lost), then the clipboard is pasted into the gap.
// Sound section columns (1 and 5) are never touched. Every command ends with one
// notifyTable() so the views redraw.

#include "timeline/clipboardcommands.h"

namespace vk {

class Editor;

class VideoClipboard final : public ClipboardCommands {
public:
    explicit VideoClipboard(Editor& editor);

    // btnVidCopy, mnuCopy, CTRL+C.
    void Copy() override;
    // btnVidCut, mnuCut, CTRL+X and R.
    void Cut() override;
    // btnVidPaste, mnuPaste, CTRL+V: PasteVideo(true).
    void Paste() override { PasteVideo(true); }
    // mnuCutUp: cut and close up.
    void CutUp();
    // mnuPasteInsert: InsertPasteVideo(true).
    void InsertPaste() { InsertPasteVideo(true); }

    // Pastes the clipboard from the first dragged row on; an undo snapshot first when
    // saveUndo is true. Does nothing when the clipboard holds no entry.
    void PasteVideo(bool saveUndo);
    // Opens a gap of as many rows as the clipboard holds at the first dragged row and
    // pastes into it. Does nothing when the clipboard holds no entry.
    void InsertPasteVideo(bool saveUndo);

    // Number of registrations the clipboard holds.
    int entries() const;

private:
    // The dragged range limited to the table's data rows; false when nothing of it is
    // left (the table shrank after the drag).
    bool range(int& first, int& last) const;
    void copyRange(int first, int last);
    // The cut's change without telling the views: the snapshot, the copy, the emptied
    // rows and the modified flag.
    void cutRange(int first, int last);
    void pasteEntries();

    Editor& m_editor;
};

// Attaches the clipboard to the editor for the row table's CTRL+X, CTRL+C, CTRL+V and
// the R key. The clipboard object must live as long as the editor can call it.
void ConnectClipboardCommands(Editor& editor, VideoClipboard& clipboard);

} // namespace vk
