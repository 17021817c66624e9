// Helper of the autosave tests: opens a project, edits it and keeps running with the
// autosave on until it is killed.
//   desktop_autosave_child AUTOSAVE_FOLDER PROJECT DUMP_FILE [untitled]
// The project is opened like the editor opens one (with "untitled" its rows are kept
// but it gets no project path), the test edit is made, the table is dumped to DUMP_FILE, and the autosave writes every
// second. The test kills the process once the autosave is there.
#include "project/autosave.h"
#include "project/projectfile.h"
#include "tests/project/autosave_support.h"
#include "tests/support/scriptedui.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4 && args.size() != 5) {
        std::fprintf(stderr, "usage: desktop_autosave_child FOLDER PROJECT DUMP [untitled]\n");
        return 2;
    }
    vk::ScriptedUi ui;
    vk::Editor editor(ui);
    vk::ProjectFile project(editor);
    vk::test::MemorySettings settings;
    settings.values.insert(vk::Autosave::intervalSetting(), QStringLiteral("1"));
    vk::Autosave autosave(editor, project, settings, args.at(1));

    if (!project.ProjectLoad(args.at(2)))
        return 3;
    if (args.size() == 4)
        editor.setProjectPath(args.at(2));
    vk::test::MakeTestEdit(editor);

    QFile dump(args.at(3));
    if (!dump.open(QIODevice::WriteOnly))
        return 4;
    dump.write(vk::test::DumpRows(editor).join(QLatin1Char('\n')).toUtf8());
    dump.close();
    return QCoreApplication::exec();
}
