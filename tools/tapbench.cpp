// Tap accuracy benchmark: how far the position a key handler reads from the player is
// from where the music is. While the player runs a clip, GetPosition is sampled every
// ~7 ms and compared with the monotonic clock's expectation (start position + speed x
// elapsed). Prints p50/p99/max absolute error in ms, both against the line anchored at
// the Play call (includes the start-up delay) and against the best line of the same
// slope (the steady-state error a tap sees). Also times the beep restart.
//
// Everything runs twice: on a quiet machine, then with two busy loops beside it.
//
// Usage: tapbench [file ...] [--speed percent] [--seconds s] [--widget]
// With no file it generates a 10 s WAV and a 10 s MP4 with ffmpeg in a temporary
// folder. The sound output is null unless VK_MPV_AO says otherwise. With --widget
// (needs a display) the pictures are drawn into a shown video widget.
#include "media/mpv/mpvengine.h"
#include "media/mpv/videowidget.h"
#include "tests/support/pump.h"
#include "tests/support/testmedia.h"

#include <QApplication>

#include <QCoreApplication>
#include <QStringList>
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

bool generate(const QString& path, const QStringList& input)
{
    return vk::testmedia::Generate(input, path, 120000);
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

vk::VideoWidget* g_widget = nullptr;

void runOne(const QString& path, int speedPercent, double seconds)
{
    vk::MpvEngine engine;
    if (g_widget)
        engine.SetVideoWindow(g_widget);
    if (engine.Open(path) != 0) {
        std::printf("%s: cannot open\n", qPrintable(path));
        return;
    }
    vk::MediaInfo info;
    engine.GetMediaInfo(info);
    const double speed = speedPercent / 100.0;
    const int startMs = 1000;
    const double room = (info.durationMsec - startMs - 200) / (1000.0 * speed);
    seconds = std::min(seconds, room);
    engine.Command(QStringLiteral("set_rate_percent"), speedPercent, QString());
    engine.Pause(startMs, 0);
    vk::testsupport::Pump(200);

    const auto tPlay = Clock::now();
    engine.Play(startMs);
    const auto period = std::chrono::microseconds(7000);
    auto next = Clock::now();
    std::vector<double> anchored; // error against the line from the Play call
    std::vector<double> offsets;  // position minus speed x elapsed
    std::vector<double> callUs;
    int backwards = 0;
    int last = -1;
    while (ms(Clock::now() - tPlay) < seconds * 1000.0) {
        next += period;
        while (Clock::now() < next) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const auto before = Clock::now();
        const int pos = engine.GetPosition();
        const auto after = Clock::now();
        if (pos < last)
            ++backwards;
        last = pos;
        callUs.push_back(std::chrono::duration<double, std::micro>(after - before).count());
        const double expected = startMs + speed * ms(before - tPlay);
        anchored.push_back(pos - expected);
        if (ms(before - tPlay) > 300.0)
            offsets.push_back(pos - expected);
    }
    engine.Pause(-1, 0);

    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    const double lag = sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    std::vector<double> steady;
    for (double o : offsets)
        steady.push_back(o - lag);
    const Stats a = stats(anchored);
    const Stats s = stats(steady);
    const Stats c = stats(callUs);
    std::printf("%-12s speed %3d%%  %zu samples over %.1f s\n", qPrintable(path.section(QLatin1Char('/'), -1)),
                speedPercent, anchored.size(), seconds);
    std::printf("  against Play-anchored clock : p50 %6.2f  p99 %6.2f  max %6.2f ms\n", a.p50, a.p99, a.max);
    std::printf("  steady state (start offset %+.1f ms removed): p50 %6.2f  p99 %6.2f  max %6.2f ms\n", -lag, s.p50,
                s.p99, s.max);
    std::printf("  GetPosition call: p50 %.0f us  p99 %.0f us  max %.0f us; steps back while running: %d\n", c.p50,
                c.p99, c.max, backwards);
}

void beepRestart(const QString& path)
{
    vk::MpvEngine beep;
    if (beep.Open(path) != 0)
        return;
    beep.SetVolume(0);
    std::vector<double> costs;
    for (int i = 0; i < 20; ++i) {
        const auto t = Clock::now();
        beep.Pause(0, 0);
        beep.Play(0);
        costs.push_back(ms(Clock::now() - t));
        vk::testsupport::Pump(i % 2 ? 40 : 250);
    }
    const Stats s = stats(costs);
    std::printf("beep restart (Pause(0,0)+Play(0)): p50 %.2f  p99 %.2f  max %.2f ms\n", s.p50, s.p99, s.max);
}

} // namespace

int main(int argc, char** argv)
{
    bool withWidget = false;
    for (int i = 1; i < argc; ++i)
        withWidget = withWidget || QByteArray(argv[i]) == "--widget";
    if (qEnvironmentVariableIsEmpty("VK_MPV_AO"))
        qputenv("VK_MPV_AO", "null");
    if (!withWidget && qEnvironmentVariableIsEmpty("VK_MPV_VO"))
        qputenv("VK_MPV_VO", "null");
    if (!withWidget && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::unique_ptr<vk::VideoWidget> widget;
    if (withWidget) {
        widget = std::make_unique<vk::VideoWidget>();
        widget->resize(320, 240);
        widget->show();
        g_widget = widget.get();
        vk::testsupport::Pump(300);
    }
    QStringList files;
    int speed = 100;
    double seconds = 5.0;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--speed") && i + 1 < args.size())
            speed = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = std::max(0.5, args[++i].toDouble());
        else if (args[i] != QLatin1String("--widget"))
            files << args[i];
    }

    QTemporaryDir dir;
    QString beepPath;
    if (files.isEmpty()) {
        const QString wav = dir.filePath(QStringLiteral("bench.wav"));
        const QString mp4 = dir.filePath(QStringLiteral("bench.mp4"));
        beepPath = dir.filePath(QStringLiteral("beep.wav"));
        auto l = [](const char* s) { return QString::fromLatin1(s); };
        if (!generate(wav, {l("-f"), l("lavfi"), l("-i"), l("sine=frequency=440:sample_rate=44100:duration=10")}) ||
            !generate(mp4, {l("-f"), l("lavfi"), l("-i"), l("testsrc=size=320x240:rate=30:duration=10"), l("-f"),
                            l("lavfi"), l("-i"), l("sine=frequency=440:sample_rate=44100:duration=10"), l("-c:v"),
                            l("libx264"), l("-preset"), l("ultrafast"), l("-pix_fmt"), l("yuv420p"), l("-c:a"),
                            l("aac"), l("-shortest")}) ||
            !generate(beepPath, {l("-f"), l("lavfi"), l("-i"), l("sine=frequency=1760:duration=0.12")})) {
            std::fprintf(stderr, "ffmpeg could not generate the clips\n");
            return 1;
        }
        files << wav << mp4;
    }
    std::printf("sound output: %s, picture output: %s\n", qgetenv("VK_MPV_AO").constData(),
                withWidget ? "video widget" : qgetenv("VK_MPV_VO").constData());
    for (int loaded = 0; loaded < 2; ++loaded) {
        std::printf("--- %s\n", loaded ? "with two busy loops beside it" : "quiet");
        std::unique_ptr<BusyLoad> load;
        if (loaded)
            load = std::make_unique<BusyLoad>(2);
        for (const QString& f : files) {
            runOne(f, speed, seconds);
            if (speed == 100 && files.size() > 0 && !beepPath.isEmpty())
                runOne(f, 200, seconds / 2);
        }
    }
    if (!beepPath.isEmpty())
        beepRestart(beepPath);
    return 0;
}
