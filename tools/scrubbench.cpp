// Scrubbing in the video registration panel: how long after a key press, a slider click
// or a row selection the panel's video box shows the frame at the new position.
//
// The footage is what phones and cameras record: H.264 with a 300-frame GOP and 3
// B-frames, 1080p30, 1080p60 and 4K30, made here with ffmpeg. A band at the top of every
// frame carries the frame's number in 12 black or white cells, so the bench reads from
// the box itself which frame is on screen. The real panel drives the real player drawing
// into a real video box (offscreen): a seek and the first step after it, 50 Right steps,
// 50 Left steps, 20 slider clicks at random places each with the Right step after it,
// and 20 row selections (each row holds a span of the file at a random in point). The
// time runs from the call the window makes for the event until the box has put the
// frame of the panel's position on screen.
//
// Each file is scrubbed three times: first from the original, as the panel shows it
// until its viewing copy is ready (the copy's making is held meanwhile); then with the
// copy made meanwhile by the application's proxy cache (into a cache folder of the
// bench's own) while the panel holds the original, as in the editor, without loading
// the file again; and last from the copy after the file is loaded again.
//
// Printed per file: median, p95 and max of each kind against the targets (p95 <= 50 ms
// at 1080p, <= 100 ms at 4K; Left as fast as Right), and the making of the copy: its
// speed as a multiple of real time (wall clock, at normal priority; the editor makes it
// at idle priority) and size;
// and the frames the player drops in 5 s of playing, from the original and the copy.
//
// Usage: scrubbench [--seconds N] [--only 1080p30,1080p60,2160p30] [--copies-only] [folder]
//   --copies-only: the original is loaded but not scrubbed nor played (on a busy machine
//   its moves take seconds each), so only the figures with the copy are printed.
//   N: length of the footage (default 60); footage left in the folder by an earlier run
//   is used again (default folder: scrubbench-media in the system's temporary folder).

#include "base/keycodes.h"
#include "media/mpv/ffmpegproxymaker.h"
#include "media/mpv/mpvengine.h"
#include "media/mpv/videowidget.h"
#include "media/proxycache.h"
#include "media/proxyplayer.h"
#include "media/videopanel.h"
#include "tests/support/quietdialogs.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"
#include "timeline/rowselection.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

using namespace vk;

struct Footage {
    const char* name;
    int width;
    int height;
    int fps;
    const char* bitrate;
};

const Footage kFootage[] = {
    {"1080p30", 1920, 1080, 30, "17M"},
    {"1080p60", 1920, 1080, 60, "25M"},
    {"2160p30", 3840, 2160, 30, "50M"},
};

constexpr int kTimeoutMs = 5000;

QString footagePath(const QString& folder, const Footage& f, int seconds)
{
    return QDir(folder).filePath(QStringLiteral("long-%1-%2s.mp4").arg(QLatin1String(f.name)).arg(seconds));
}

bool makeFootage(const QString& path, const Footage& f, int seconds)
{
    if (QFileInfo(path).size() > 0)
        return true;
    std::printf("making %s (%d s)...\n", qPrintable(QFileInfo(path).fileName()), seconds);
    std::fflush(stdout);
    const QString size = QStringLiteral("%1x%2").arg(f.width).arg(f.height);
    const QString band = QStringLiteral("%1x%2").arg(f.width).arg(f.height / 16);
    const QString rate = QString::number(f.fps);
    const QString d = QString::number(seconds);
    auto l = [](const char* s) { return QString::fromLatin1(s); };
    const QString graph = l("[0]noise=alls=8:allf=t[a];[1]format=yuv420p,"
                            "geq=lum='if(mod(floor(N/pow(2,floor(X*12/W))),2),235,16)':cb=128:cr=128[b];"
                            "[a][b]overlay=0:0[v]");
    const QString tmp = path + l(".part.mp4");
    const bool ok = testmedia::RunFfmpeg({l("-f"),
                                          l("lavfi"),
                                          l("-i"),
                                          QStringLiteral("testsrc2=s=%1:r=%2:d=%3").arg(size, rate, d),
                                          l("-f"),
                                          l("lavfi"),
                                          l("-i"),
                                          QStringLiteral("color=black:s=%1:r=%2:d=%3").arg(band, rate, d),
                                          l("-f"),
                                          l("lavfi"),
                                          l("-i"),
                                          QStringLiteral("sine=f=440:d=%1").arg(d),
                                          l("-filter_complex"),
                                          graph,
                                          l("-map"),
                                          l("[v]"),
                                          l("-map"),
                                          l("2"),
                                          l("-c:v"),
                                          l("libx264"),
                                          l("-preset"),
                                          l("veryfast"),
                                          l("-g"),
                                          l("300"),
                                          l("-keyint_min"),
                                          l("300"),
                                          l("-sc_threshold"),
                                          l("0"),
                                          l("-bf"),
                                          l("3"),
                                          l("-x264-params"),
                                          l("b-adapt=0"),
                                          l("-b:v"),
                                          l(f.bitrate),
                                          l("-maxrate"),
                                          l(f.bitrate),
                                          l("-bufsize"),
                                          l(f.bitrate),
                                          l("-pix_fmt"),
                                          l("yuv420p"),
                                          l("-c:a"),
                                          l("aac"),
                                          l("-b:a"),
                                          l("128k"),
                                          tmp},
                                         3600000);
    return ok && QFile::rename(tmp, path);
}

// The frame number in the band at the top of a picture, -1 for no picture.
int frameCode(const QImage& picture)
{
    if (picture.isNull() || picture.height() < 32)
        return -1;
    const int y = picture.height() / 32;
    int code = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const int x = int((bit + 0.5) * picture.width() / 12.0);
        if (qGreen(picture.pixel(x, y)) > 128)
            code |= 1 << bit;
    }
    return code;
}

struct Stats {
    double median = 0;
    double p95 = 0;
    double max = 0;
    int late = 0; // never showed the frame within kTimeoutMs
};

Stats stats(std::vector<double> ms, int late)
{
    Stats s;
    s.late = late;
    if (ms.empty())
        return s;
    std::sort(ms.begin(), ms.end());
    auto rank = [&](double p) { return ms[std::min(ms.size() - 1, size_t(std::ceil(p * double(ms.size())) - 1))]; };
    s.median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2.0;
    s.p95 = rank(0.95);
    s.max = ms.back();
    return s;
}

// One run of the four kinds of move on a loaded panel.
class Scrub {
public:
    Scrub(VideoPanel& panel, VideoWidget& box, int fps) : m_panel(panel), m_box(box), m_fps(fps)
    {
        // Wakes the event loop while the bench waits for a picture.
        m_wake.setInterval(2);
        m_wake.start();
    }

    int expectedFrame() const { return int(std::floor(double(m_panel.position()) * m_fps / 1000.0 + 1e-6)); }

    // Runs `move` and waits until the box shows the frame at the panel's position.
    void time(const std::function<void()>& move, std::vector<double>& into, int& late)
    {
        QElapsedTimer t;
        t.start();
        move();
        const int expected = expectedFrame();
        while (frameCode(m_box.presentedPicture()) != expected) {
            if (t.elapsed() > kTimeoutMs) {
                ++late;
                into.push_back(double(kTimeoutMs));
                return;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        into.push_back(double(t.nsecsElapsed()) / 1e6);
    }

    // Lets the player settle between kinds, so that one kind's last seek is not timed
    // with the next kind's first.
    void settle(int ms = 300)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

private:
    VideoPanel& m_panel;
    VideoWidget& m_box;
    int m_fps;
    QTimer m_wake;
};

struct Row {
    const char* kind;
    Stats s;
};

void printRows(const char* footage, const char* path, double target, const std::vector<Row>& rows)
{
    for (const Row& r : rows) {
        const bool met = r.s.p95 <= target && r.s.late == 0;
        std::printf("| %s | %s | %s | %.1f | %.1f | %.1f | %s%s |\n", footage, path, r.kind, r.s.median, r.s.p95,
                    r.s.max, met ? "met" : "not met",
                    r.s.late ? qPrintable(QStringLiteral(" (%1 never shown)").arg(r.s.late)) : "");
    }
    std::fflush(stdout);
}

// The kinds of move on `file`, loaded into `panel` (by this call when `load`); rows
// 1..20 of the editor hold spans of it at random in points.
std::vector<Row> scrub(Editor& editor, VideoPanel& panel, VideoWidget& box, const QString& file, int fps, unsigned seed,
                       bool load)
{
    std::mt19937 random(seed);
    Scrub bench(panel, box, fps);
    std::vector<Row> rows;
    std::vector<double> ms;
    int late = 0;
    if (load) {
        panel.setFileText(file);
        bench.time([&] { panel.VidFileLoad(file); }, ms, late);
        bench.settle();
    }
    const int length = panel.videoLength();

    // Steps from a point inside a GOP, 10 s from the start (or a third in). The seek
    // there and the first step after it are the first moves since the load (or since
    // the copy was made): each a figure of its own.
    const int from = std::min(10000, length / 3);
    ms.clear();
    late = 0;
    bench.time([&] { panel.scrollTo(from); }, ms, late);
    rows.push_back({"first seek", stats(ms, late)});
    ms.clear();
    late = 0;
    bench.time([&] { panel.keyCommand(Key::Right, 0); }, ms, late);
    rows.push_back({"first step after it", stats(ms, late)});
    bench.settle();
    for (const auto& [key, kind] : {std::pair{Key::Right, "Right"}, std::pair{Key::Left, "Left"}}) {
        ms.clear();
        late = 0;
        for (int i = 0; i < 50; ++i)
            bench.time([&, k = key] { panel.keyCommand(k, 0); }, ms, late);
        rows.push_back({kind, stats(ms, late)});
        bench.settle();
    }

    // Slider clicks: a press and a release in place, on a slider 600 pixels wide; each
    // followed at once by a Right step.
    const int widthTwips = 600 * 15;
    const int channel = widthTwips - 400;
    std::uniform_int_distribution<int> anywhere(0, std::max(0, length - 1));
    ms.clear();
    late = 0;
    std::vector<double> stepMs;
    int stepLate = 0;
    for (int i = 0; i < 20; ++i) {
        const int value = anywhere(random);
        const int x = int(std::lround((double(value) / panel.slider().max + 0.025) * channel));
        bench.time(
            [&] {
                panel.sliderMouseDown(x, 100);
                panel.sliderMouseUp(x, 100, widthTwips);
            },
            ms, late);
        bench.time([&] { panel.keyCommand(Key::Right, 0); }, stepMs, stepLate);
    }
    rows.push_back({"slider click", stats(ms, late)});
    rows.push_back({"step after a click", stats(stepMs, stepLate)});
    bench.settle();

    // Row selections: every row holds a span of this file.
    const int interval = int(std::lround(1000.0 / fps));
    for (int row = 1; row <= 20; ++row) {
        const int in = anywhere(random);
        Register(editor, row, file, in, std::min(length, in + 2000), interval, 1920, 1080);
    }
    ms.clear();
    late = 0;
    for (int row = 1; row <= 20; ++row)
        bench.time(
            [&] {
                editor.selection().SelectRow(row);
                panel.ShowRowVideo(row);
            },
            ms, late);
    rows.push_back({"row selection", stats(ms, late)});
    bench.settle();
    return rows;
}

// Frames the player drops in 5 s of playing from 2 s in, by its own count.
long long playDrops(VideoPanel& panel, MpvEngine& engine)
{
    panel.scrollTo(2000);
    auto run = [](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    };
    run(300);
    const long long before = engine.droppedFrames();
    panel.PlayPause();
    run(5000);
    const long long dropped = engine.droppedFrames() - before;
    panel.PlayPause();
    run(300);
    return dropped;
}

} // namespace

int main(int argc, char** argv)
{
    testsupport::HeadlessDefaults(false);
    testsupport::EnsureGuiApp("scrubbench");

    int seconds = 60;
    QString folder = QDir::temp().filePath(QStringLiteral("scrubbench-media"));
    QStringList only;
    bool copiesOnly = false;
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = std::max(5, args[++i].toInt());
        else if (args[i] == QLatin1String("--only") && i + 1 < args.size())
            only = args[++i].split(QLatin1Char(','));
        else if (args[i] == QLatin1String("--copies-only"))
            copiesOnly = true;
        else
            folder = args[i];
    }
    QDir().mkpath(folder);

    std::printf("scrubbench: %d s footage in %s; times in ms from the event to the frame in the box\n\n", seconds,
                qPrintable(folder));
    struct Making {
        const char* footage;
        double speed;
        double seconds;
        double copyMb;
        double originalMb;
    };
    std::vector<Making> copies;
    struct Drops {
        const char* footage;
        int frames;
        long long original;
        long long copy;
    };
    std::vector<Drops> drops;
    std::printf("| footage | picture from | move | median | p95 | max | target p95 |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const Footage& f : kFootage) {
        if (!only.isEmpty() && !only.contains(QLatin1String(f.name)))
            continue;
        const QString file = footagePath(folder, f, seconds);
        if (!makeFootage(file, f, seconds)) {
            std::printf("| %s | could not be made with ffmpeg | | | | | |\n", f.name);
            continue;
        }
        const double target = f.height > 1080 ? 100.0 : 50.0;
        testsupport::QuietDialogs dialogs;
        Editor editor(dialogs);
        std::vector<int> starts;
        for (int i = 0; i <= 21; ++i)
            starts.push_back(i * 1000);
        MakeSections(editor, starts, 23000, 33);
        editor.selection().SelectRow(1);

        VideoWidget box;
        box.resize(640, 360);
        box.show();
        QTemporaryDir cacheFolder(QDir(folder).filePath(QStringLiteral("proxies-XXXXXX")));
        FfmpegProxyMaker maker;
        // The making is timed at normal priority: at idle priority it measures what else
        // the machine runs.
        ProxyCache cache(cacheFolder.path(), ProxyCache::kDefaultLimitBytes, maker, ProxyCache::Priority::Normal);
        QString note;
        QObject::connect(&cache, &ProxyCache::copyFailed, [&](const QString&, const QString& text) { note = text; });
        MpvEngine first;
        MpvEngine second;
        ProxyPlayer player(first, second, cache);
        VideoPanel panel(editor, player);
        panel.setVideoWindow(&box);
        panel.formLoad();

        cache.setPaused(true);
        long long dropsOriginal = -1;
        if (copiesOnly) {
            panel.setFileText(file);
            panel.VidFileLoad(file);
        } else {
            printRows(f.name, "original", target, scrub(editor, panel, box, file, f.fps, 26, true));
            dropsOriginal = playDrops(panel, first);
        }

        QElapsedTimer making;
        making.start();
        cache.setPaused(false);
        while (cache.busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double seconds = double(making.elapsed()) / 1000.0;
        const auto copy = cache.readyCopy(file);
        if (!copy) {
            std::printf("| %s | no copy: %s | | | | | |\n", f.name, qPrintable(note));
            continue;
        }
        copies.push_back({f.name, panel.videoLength() / 1000.0 / seconds, seconds,
                          double(QFileInfo(copy->path).size()) / 1e6, double(QFileInfo(file).size()) / 1e6});
        // The copy was made while the panel held the original, as in the editor: the
        // moves from here on find it ready, a while after it was made.
        Scrub(panel, box, f.fps).settle(2000);
        printRows(f.name, "copy made meanwhile", target, scrub(editor, panel, box, file, f.fps, 27, false));
        printRows(f.name, "copy, loaded again", target, scrub(editor, panel, box, file, f.fps, 28, true));
        drops.push_back({f.name, f.fps * 5, dropsOriginal, playDrops(panel, static_cast<MpvEngine&>(player.player()))});
    }
    std::printf("\n| footage | copy made at (x real time) | in (s) | copy size (MB) | original size (MB) |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const Making& m : copies)
        std::printf("| %s | %.2f | %.1f | %.1f | %.1f |\n", m.footage, m.speed, m.seconds, m.copyMb, m.originalMb);
    std::printf("\n| footage | frames played | dropped from the original | dropped from the copy |\n");
    std::printf("|---|---|---|---|\n");
    for (const Drops& d : drops)
        std::printf("| %s | %d | %lld | %lld |\n", d.footage, d.frames, d.original, d.copy);
    return 0;
}
