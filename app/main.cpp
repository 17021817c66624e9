// videokadro: cuts music videos to the beat of a piece of music.
#include "app/application.h"
#include "app/qtdialogs.h"
#include "app/qttranslations.h"
#include "media/mpv/mediastackversion.h"
#include "media/mpv/mpvengine.h"
#include "render/outputdriver.h"
#include "timeline/editor.h"

#include <QAbstractItemView> // completes the table pointer of QtDialogs
#include <QApplication>
#include <QFileInfo>
#include <QSurfaceFormat>
#include <clocale>
#include <cstdio>
#include <cstring>

namespace {

// For installers and their checks: where this editor starts the writer from. Needs no
// display. Exit status 0 when the writer is there and can be run.
int printWriterPath(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    vk::QtDialogs ui;
    vk::Editor editor(ui);
    const QString writer = vk::OutputDriver(editor).writerProgram();
    std::printf("%s\n", writer.toLocal8Bit().constData());
    return QFileInfo(writer).isExecutable() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--print-writer-path") == 0)
        return printWriterPath(argc, argv);

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("TALMOR"));
    QApplication::setApplicationName(QStringLiteral("videokadro"));
    QApplication::setQuitOnLastWindowClosed(false);
    // libmpv needs the C locale for numbers.
    std::setlocale(LC_NUMERIC, "C");
    vk::InstallQtJapanese(app);

    vk::Application editor([] { return std::make_unique<vk::MpvEngine>(); }, [] { return vk::DirectXProbe(); },
                           QApplication::arguments().mid(1));
    editor.start();
    // Asked to end before the loop runs (an automation Quit while a start-up message
    // waited): the loop would not see that request any more.
    if (editor.quitRequested())
        return 0;
    return QApplication::exec();
}
