// The project reader as clip import runs it: the registrations of a file written into
// a dragged range of the current rows.

#include "fuzz/fuzzsupport.h"
#include "project/clipimport.h"
#include "timeline/editor.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vk;
    const QString path = QString::fromStdString(fuzz::writeInput(data, size, ".rem"));
    fuzz::SilentUi ui;
    Editor editor(ui);
    editor.setSoundClip(10000, 33);
    const int rows = 12;
    editor.Grid().setRows(rows + 1);
    for (int r = 1; r <= rows; ++r)
        editor.Grid().setSectionStart(r, r * 500, 33);
    // The dragged range follows the input size: single rows and ranges, some reaching
    // past the end of the table.
    const int first = 1 + int(size % 7);
    const int last = first + int((size / 7) % 9);
    editor.setDraggedRange(first, last);
    ClipImport import(editor, [](const QString& file, int& w, int& h) {
        if (file.size() % 3 == 0)
            return false;
        w = 320;
        h = 240;
        return true;
    });
    import.ClipsImport(path);
    if (editor.Grid().Rows() != rows + 1)
        fuzz::fail("clip import changed the number of rows");
    return 0;
}
