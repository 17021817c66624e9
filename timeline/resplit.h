#pragma once
// Speed change by re-splitting (mnuVidSplit): the dragged rows' registrations, one
// continuous span of one video file, are divided into n equal parts registered into n
// consecutive rows from the first dragged row on. The music stays where it is, so the
// video plays faster when n is smaller than the number of dragged rows k and slower
// when it is larger; every registration after the range moves by n - k rows (those
// pushed past the last row are lost, rows freed at the end are left empty).
//
// The command is built from the clipboard's cut and close up and insert paste, so it
// leaves the video clipboard holding the n new registrations; tmp2grid() holds a copy
// of the cut ones while it runs. It takes one undo snapshot before its first change,
// so one undo brings the table back as it was.
//
// Everything that can make it fail is checked before that snapshot: a range over
// several files or with a gap, a range without any video registration, an answer
// that is empty, not a number or below 0, and rows without a field the span needs. In each of
// those cases the table, the clipboard and the undo snapshot stay as they were.

#include "timeline/clipboard.h"

namespace vk {

class Editor;

class VideoResplit final {
public:
    explicit VideoResplit(Editor& editor);

    // The menu command: checks, asks for n, re-splits.
    void VidSplit();

private:
    void run();

    Editor& m_editor;
    VideoClipboard m_clipboard;
};

} // namespace vk
