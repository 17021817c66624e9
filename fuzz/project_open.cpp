// The project reader as the Open command runs it: ProjectLoad on a file, into an editor
// that already holds a table, then the document built again for a save.

#include "fuzz/fuzzsupport.h"
#include "project/projectfile.h"
#include "timeline/editor.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vk;
    const QString path = QString::fromStdString(fuzz::writeInput(data, size, ".rem"));
    fuzz::SilentUi ui;
    Editor editor(ui);
    // A 10 s sound clip at 33 ms a frame, and a few rows left over from before.
    editor.setSoundClip(10000, 33);
    editor.Grid().setRows(4);
    editor.Grid().setVideoFile(2, QStringLiteral("/old/clip.mp4"));
    ProjectFile project(editor, [](const QString& file, int& w, int& h) {
        if (file.size() % 3 == 0)
            return false;
        w = 640;
        h = 480;
        return true;
    });
    if (project.ProjectLoad(path)) {
        if (editor.Grid().Rows() < 1)
            fuzz::fail("a loaded project left no header row");
        QByteArray saved;
        QString reason;
        ProjectFile::BuildDocument(editor, saved, reason);
    }
    return 0;
}
