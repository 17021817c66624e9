// videokadro: cuts music videos to the beat of a piece of music.
#include "app/application.h"
#include "media/mpv/mediastackversion.h"
#include "media/mpv/mpvengine.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <clocale>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("TALMOR"));
    QApplication::setApplicationName(QStringLiteral("videokadro"));
    QApplication::setQuitOnLastWindowClosed(false);
    // libmpv needs the C locale for numbers.
    std::setlocale(LC_NUMERIC, "C");

    vk::Application editor([] { return std::make_unique<vk::MpvEngine>(); }, [] { return vk::DirectXProbe(); },
                           QApplication::arguments().mid(1));
    editor.start();
    // Asked to end before the loop runs (an automation Quit while a start-up message
    // waited): the loop would not see that request any more.
    if (editor.quitRequested())
        return 0;
    return QApplication::exec();
}
