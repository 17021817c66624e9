// videokadro: cuts music videos to the beat of a piece of music.
#include "app/application.h"
#include "app/qtdialogs.h"
#include "app/qttranslations.h"
#include "base/memory.h"
#include "media/mpv/mediastackversion.h"
#include "media/mpv/mpvengine.h"
#include "render/outputdriver.h"
#include "timeline/editor.h"

#include <QAbstractItemView> // completes the table pointer of QtDialogs
#include <QApplication>
#include <QFileInfo>
#include <QStandardPaths>
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

    vk::KeepLargeBlocksOutOfThePools();

    QApplication::setOrganizationName(QStringLiteral("TALMOR"));
    QApplication::setApplicationName(QStringLiteral("videokadro"));
    // The media stack check runs in a process of its own beside the building of the
    // windows (forked off before any thread starts), unless the media stack is the one
    // it last found good; the start-up sequence takes its answer where it asks for it.
    vk::MediaStackCheck probe(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                              QStringLiteral("/mediastack"));

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // libmpv needs the C locale for numbers.
    std::setlocale(LC_NUMERIC, "C");
    vk::InstallQtJapanese(app);

    vk::Application editor([] { return std::make_unique<vk::MpvEngine>(); }, [&probe] { return probe.result(); },
                           QApplication::arguments().mid(1));
    editor.start();
    // Asked to end before the loop runs (an automation Quit while a start-up message
    // waited): the loop would not see that request any more.
    if (editor.quitRequested())
        return 0;
    return QApplication::exec();
}
