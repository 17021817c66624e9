// Manual check of the video widget on a display: shows a window with a video box,
// loads a file the way the panels do, plays it and then pauses at a given position,
// then quits. With --late the file is loaded before the window is first shown.
//
// Usage: videoshow file [--late] [--play ms] [--pause-at ms] [--hold ms]
#include "media/mpv/mpvengine.h"
#include "media/mpv/videowidget.h"

#include <QApplication>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: videoshow file [--late] [--play ms] [--pause-at ms] [--hold ms]\n");
        return 2;
    }
    QString file;
    bool late = false;
    int playMs = 1000;
    int pauseAt = -1;
    int holdMs = 1500;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--late"))
            late = true;
        else if (args[i] == QLatin1String("--play") && i + 1 < args.size())
            playMs = args[++i].toInt();
        else if (args[i] == QLatin1String("--pause-at") && i + 1 < args.size())
            pauseAt = args[++i].toInt();
        else if (args[i] == QLatin1String("--hold") && i + 1 < args.size())
            holdMs = args[++i].toInt();
        else
            file = args[i];
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("videoshow"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* box = new vk::VideoWidget(&window);
    layout->addWidget(box);
    window.resize(480, 360);
    window.move(0, 0);

    vk::MpvEngine engine;
    auto load = [&] {
        engine.Close();
        engine.SetVideoWindow(box);
        engine.Initialize(0, 1000, 1, QStringLiteral("7"));
        engine.SetOption(QStringLiteral("soft_nouse"), -1);
        if (engine.Open(file) != 0) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
            return false;
        }
        vk::MediaInfo info;
        engine.GetMediaInfo(info);
        std::printf("opened: %d ms, %dx%d, %.4f s/frame\n", info.durationMsec, info.width, info.height,
                    info.secondsPerFrame);
        engine.Play(0);
        engine.Pause(-1, 0);
        return true;
    };
    if (late && !load())
        return 1;
    window.show();
    if (!late && !load())
        return 1;

    QTimer::singleShot(300, [&] {
        engine.Play(engine.GetPosition());
        std::printf("playing, state %d\n", engine.GetState());
    });
    QTimer::singleShot(300 + playMs, [&] {
        engine.Stop();
        engine.Pause(pauseAt, 0);
        std::printf("paused at %d ms, state %d, drawing %d\n", engine.GetPosition(), engine.GetState(),
                    int(box->isDrawing()));
    });
    QTimer::singleShot(300 + playMs + holdMs, &app, &QCoreApplication::quit);
    std::fflush(stdout);
    return app.exec();
}
