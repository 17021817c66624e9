// Sound-panel tap benchmark: how far a beat tap registered through the sound clip
// panel lands from where the music is. A generated click track is loaded into a
// SoundPanel on the real player and played from 1 s; every ~7 ms the benchmark
//   - reads the position the way SndRegister does (SoundPanel::player().GetPosition()),
//   - taps A (MainKeyCommand(Key::A, 0)) and reads the start of the added row (column 5),
//     then resets the table to one section so it stays small,
// and compares both with the monotonic clock's expectation (start + speed x elapsed).
// Prints p50/p99/max absolute error in ms against the line anchored at the Play call
// (includes the player's start-up delay) and in the steady state (the median start
// offset removed: what a tap sees once the music runs), at 100 % and 200 %, and the
// cost of one tap. The panel's own 33 ms timer runs meanwhile, as in the editor.
//
// Everything runs twice: on a quiet machine, then with two busy loops beside it.
//
// Usage: soundtapbench [file] [--seconds s]
// With no file it generates a 12 s click track with ffmpeg in a temporary folder. The
// sound output is null unless VK_MPV_AO says otherwise; no picture output.
#include "base/speeds.h"
#include "media/mpv/mpvengine.h"
#include "media/soundpanel.h"
#include "tests/support/pump.h"
#include "tests/support/quietdialogs.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

// Two busy loops beside the benchmark (the machine under load), for as long as it lives.
class BusyLoad {
public:
    explicit BusyLoad(int loops)
    {
        for (int i = 0; i < loops; ++i)
            m_threads.emplace_back([this] {
                volatile unsigned long n = 0;
                while (!m_stop.load(std::memory_order_relaxed))
                    n = n + 1;
            });
    }
    ~BusyLoad()
    {
        m_stop = true;
        for (std::thread& t : m_threads)
            t.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Stats {
    double p50 = 0, p99 = 0, max = 0;
};

Stats stats(std::vector<double> v)
{
    Stats s;
    if (v.empty())
        return s;
    for (double& x : v)
        x = std::abs(x);
    std::sort(v.begin(), v.end());
    auto at = [&v](double q) { return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))]; };
    s.p50 = at(0.50);
    s.p99 = at(0.99);
    s.max = v.back();
    return s;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool generateClickTrack(const QString& path, int seconds)
{
    const QString source =
        QStringLiteral("aevalsrc=exprs=if(lt(mod(t\\,0.5)\\,0.01)\\,sin(2*PI*1000*t)\\,0):s=44100:d=") +
        QString::number(seconds);
    return vk::testmedia::Generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source,
                                    QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")},
                                   path, 120000);
}

struct Series {
    std::vector<double> anchored; // against the line from the Play call
    std::vector<double> offsets;  // the same, from 300 ms on (steady state)
    void add(double error, double sinceStart)
    {
        anchored.push_back(error);
        if (sinceStart > 300.0)
            offsets.push_back(error);
    }
    void print(const char* what) const
    {
        const double lag = median(offsets);
        std::vector<double> steady;
        for (double o : offsets)
            steady.push_back(o - lag);
        const Stats a = stats(anchored);
        const Stats s = stats(steady);
        std::printf("  %-26s %4zu samples; anchored at Play: p50 %6.2f  p99 %6.2f  max %6.2f ms\n", what,
                    anchored.size(), a.p50, a.p99, a.max);
        std::printf("  %-26s steady state (start offset %+.1f ms removed): p50 %5.2f  p99 %5.2f  max %5.2f ms\n", "",
                    -lag, s.p50, s.p99, s.max);
    }
};

void runOne(const QString& path, int speedPercent, double seconds)
{
    // The editor's dialogs, silent: the benchmark answers nothing; messages are printed.
    vk::testsupport::QuietDialogs ui;
    ui.printMessages = true;
    vk::Editor editor(ui);
    vk::MpvEngine engine;
    vk::SoundPanel panel(editor, engine, nullptr);
    editor.setPanels(&panel, nullptr);
    panel.setBeepOn(false);
    panel.SndFileOpen(path);
    if (editor.sndLength() <= 0) {
        std::printf("%s: cannot load\n", qPrintable(path));
        editor.setPanels(nullptr, nullptr);
        return;
    }
    int rateIndex = -1;
    for (int i = 0; i < vk::SpeedListTexts().size(); ++i)
        if (vk::RateIndexToPercent(i) == speedPercent)
            rateIndex = i;
    if (rateIndex < 0) {
        std::printf("speed %d%% is not in the speed list\n", speedPercent);
        editor.setPanels(nullptr, nullptr);
        return;
    }
    panel.chooseRate(rateIndex);
    const double speed = speedPercent / 100.0;
    const int startMs = 1000;
    const double room = (editor.sndLength() - startMs - 300) / (1000.0 * speed);
    seconds = std::min(seconds, room);
    panel.scrollTo(startMs);
    vk::testsupport::Pump(200);

    const auto tPlay = Clock::now();
    panel.PlayPause();
    const auto period = std::chrono::microseconds(7000);
    auto next = Clock::now();
    Series reads;
    Series taps;
    std::vector<double> tapUs;
    int missed = 0;
    while (ms(Clock::now() - tPlay) < seconds * 1000.0) {
        next += period;
        while (Clock::now() < next) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        // What SndRegister reads.
        const auto readAt = Clock::now();
        const int pos = panel.player().GetPosition();
        reads.add(pos - (startMs + speed * ms(readAt - tPlay)), ms(readAt - tPlay));

        // A real tap: the start of the row it adds.
        const auto tapAt = Clock::now();
        panel.MainKeyCommand(vk::Key::A, 0);
        tapUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - tapAt).count());
        if (editor.lastRow() == 2) {
            const std::optional<int> start = editor.Grid().row(2).start;
            if (start)
                taps.add(*start - (startMs + speed * ms(tapAt - tPlay)), ms(tapAt - tPlay));
            else
                ++missed;
        } else {
            ++missed;
        }
        editor.sections().SndClear();
    }
    panel.PlayPause();
    editor.setPanels(nullptr, nullptr);

    std::printf("%-14s speed %3d%%  %.1f s of playback\n", qPrintable(path.section(QLatin1Char('/'), -1)), speedPercent,
                seconds);
    reads.print("player().GetPosition()");
    taps.print("tap A, column 5 of new row");
    const Stats c = stats(tapUs);
    std::printf("  one tap (MainKeyCommand 65): p50 %.0f us  p99 %.0f us  max %.0f us; taps without a row: %d\n", c.p50,
                c.p99, c.max, missed);
}

} // namespace

int main(int argc, char** argv)
{
    vk::testsupport::HeadlessDefaults(true);
    QApplication app(argc, argv);

    QString file;
    double seconds = 4.0;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = std::max(0.5, args[++i].toDouble());
        else
            file = args[i];
    }
    QTemporaryDir dir;
    if (file.isEmpty()) {
        file = dir.filePath(QStringLiteral("click12.wav"));
        if (!generateClickTrack(file, 12)) {
            std::fprintf(stderr, "ffmpeg could not generate the click track\n");
            return 1;
        }
    }
    std::printf("sound output: %s; the sound clip panel on the real player, a sample every 7 ms\n",
                qgetenv("VK_MPV_AO").constData());
    for (int loaded = 0; loaded < 2; ++loaded) {
        std::printf("--- %s\n", loaded ? "with two busy loops beside it" : "quiet");
        std::unique_ptr<BusyLoad> load;
        if (loaded)
            load = std::make_unique<BusyLoad>(2);
        runOne(file, 100, seconds);
        runOne(file, 200, seconds);
    }
    return 0;
}
