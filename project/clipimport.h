#pragma once
// Clip import: takes only the video registrations of another project file and writes
// them into the current rows, from the first row of the dragged range on, leaving the
// sound clip and the sound sections alone. A user who cut a new sound clip into
// sections can reuse the video choices of an earlier project this way.
//
// A dragged range of several rows bounds the import to those rows; a single row
// imports until the table ends. A source clip without video uses up its row without
// changing it. Copied speed settings stay (等速 stays 等速); rows without one get their
// span's speed, shown as the span and the new section give it.
//
// Media width and height of every written row are probed again (with the media size
// probe given at construction), and the modified flag is set when the import changed
// the table.

#include "project/projectfile.h"

#include <QString>

namespace vk {

class Editor;

class ClipImport final {
public:
    explicit ClipImport(Editor& editor, MediaSizeProbe probe = {});
    ClipImport(const ClipImport&) = delete;
    ClipImport& operator=(const ClipImport&) = delete;

    // mnuVidImport: the unsaved-changes question, the open dialog, then ClipsImport.
    void ImportCommand();
    // Imports the registrations of the project file at path. A file that cannot be read
    // imports nothing; no message in any case.
    void ClipsImport(const QString& path);

private:
    Editor& m_editor;
    MediaSizeProbe m_probe;
};

} // namespace vk
