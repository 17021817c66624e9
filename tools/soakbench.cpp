// soakbench: the long session. The whole editor in this process (real players, windows
// offscreen, the real T-VideoWrite) on a private session bus runs loop after loop of a
// working session: a song and a video loaded, taps while the song plays, three
// registrations, undo and redo, a save, a render (WAV, DV AVI, MP4 in turn), a preview
// and a flood of calls over the bus with key presses posted during it. Prints resident
// memory, open files and threads after each loop and the slowest key response during
// the flood. Targets: memory at the end <= 105 % of after the first loop; open files
// and threads stable; every key handled within 100 ms during the flood.
//
//   build/bin/soakbench [--minutes 60] [--flood 10000] [--seconds 6] [--flood-only]
#include "app/application.h"
#include "base/memory.h"
#include "media/soundpanel.h"
#include "tests/app/privatebus.h"
#include "tests/integration/livesession.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    double minutes = 60;
    int floodCalls = 10000;
    int songSeconds = 6;
    // Only the floods, one after another, on a loaded song (to tell their memory from
    // the rest of the session's).
    bool floodOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--flood-only") == 0)
            floodOnly = true;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--minutes") == 0)
            minutes = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--flood") == 0)
            floodCalls = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--seconds") == 0)
            songSeconds = std::atoi(argv[i + 1]);
    }
    // As the editor program does.
    vk::KeepLargeBlocksOutOfThePools();
    std::unique_ptr<vk::test::PrivateBus> bus = vk::test::StartPrivateSessionBus();
    if (!bus->ok()) {
        std::fprintf(stderr, "soakbench: no private bus: %s\n", qPrintable(bus->error()));
        return 1;
    }
    QApplication::setOrganizationName(QStringLiteral("TALMOR"));
    QApplication::setApplicationName(QStringLiteral("videokadro-soakbench"));
    vk::testsupport::EnsureGuiApp("soakbench");

    QTemporaryDir work;
    const vk::test::SessionMedia media = vk::test::MakeSessionMedia(work.path(), songSeconds);
    if (!media.error.isEmpty()) {
        std::fprintf(stderr, "soakbench: %s\n", qPrintable(media.error));
        return 1;
    }
    vk::test::LiveEditor editor(work.path(), QStringLiteral(VK_WRITER_FOLDER));
    QString error;
    if (!editor.start(&error)) {
        std::fprintf(stderr, "soakbench: %s\n", qPrintable(error));
        return 1;
    }

    std::printf("soakbench: %.0f minutes, %d-second songs, a flood of %d calls per loop\n", minutes, songSeconds,
                floodCalls);
    std::printf("%5s %8s %9s %9s %6s %8s %9s %9s %9s %9s %6s\n", "loop", "min", "RSS MB", "heap MB", "files", "threads",
                "flood s", "keys", "key max", "key p50", "rows");
    QElapsedTimer clock;
    clock.start();
    vk::test::ProcessFigures first;
    vk::test::ProcessFigures last;
    int minFds = 1 << 30, maxFds = 0, minThreads = 1 << 30, maxThreads = 0;
    double slowestKey = 0;
    long keys = 0;
    int round = 0;
    for (; clock.elapsed() < qint64(minutes * 60000.0); ++round) {
        vk::test::FloodOutcome flood;
        if (floodOnly) {
            if (round == 0)
                editor.app().soundPanel().SndFileOpen(media.songs.front());
            flood = editor.flood(vk::test::MixedCalls(floodCalls, media.songs.front().toStdString(), "/tmp/out.avi"));
        } else if (!editor.sessionLoop(round, media, floodCalls, &flood, &error)) {
            std::printf("loop %d failed: %s\n", round, qPrintable(error));
            return 1;
        }
        const vk::test::ProcessFigures now = vk::test::ReadProcessFigures();
        std::vector<double> ms = flood.keyResponseMs;
        std::sort(ms.begin(), ms.end());
        const double p50 = ms.empty() ? 0 : ms[ms.size() / 2];
        std::printf("soak %5d %8.1f %9.1f %9.1f %6d %8d %9.2f %9d %9.1f %9.1f %6d\n", round,
                    double(clock.elapsed()) / 60000.0, double(now.rssKb) / 1024.0, double(now.heapInUseKb) / 1024.0,
                    now.fds, now.threads, flood.seconds, flood.keysHandled, flood.slowestKeyMs(), p50,
                    editor.app().editor().lastRow());
        std::fflush(stdout);
        if (round == 0)
            first = now;
        last = now;
        minFds = std::min(minFds, now.fds);
        maxFds = std::max(maxFds, now.fds);
        minThreads = std::min(minThreads, now.threads);
        maxThreads = std::max(maxThreads, now.threads);
        slowestKey = std::max(slowestKey, flood.slowestKeyMs());
        keys += flood.keysHandled;
    }
    if (round == 0)
        return 1;
    const double ratio = 100.0 * double(last.rssKb) / double(first.rssKb);
    std::printf("\n%d loops in %.1f minutes\n", round, double(clock.elapsed()) / 60000.0);
    std::printf("resident memory: %.1f MB after the first loop, %.1f MB at the end = %.1f %% (target <= 105 %%)\n",
                double(first.rssKb) / 1024.0, double(last.rssKb) / 1024.0, ratio);
    std::printf("open files: %d .. %d (first %d, last %d); threads: %d .. %d (first %d, last %d)\n", minFds, maxFds,
                first.fds, last.fds, minThreads, maxThreads, first.threads, last.threads);
    std::printf("slowest key response during the floods: %.1f ms over %ld keys (target <= 100 ms)\n", slowestKey, keys);
    return 0;
}
