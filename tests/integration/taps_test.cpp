// Beat taps on real media: the sound clip panel drives the real player (no sound device,
// no picture) on a generated 7.9 s click track, and A is "pressed" from timers of the Qt
// event loop while the clip plays, right after a seek, and at 200 %. Every registered
// section start is compared with where the music is by an independent steady clock.
//
// The clock line of a stretch of playback (after Play, after a seek, after a speed
// change) is anchored at the call that started it and continued at the chosen speed.
// The player's audible start lags such a call by its start-up delay, so each stretch
// measures that offset once, shortly after it begins, and the later taps of the stretch
// (0.4 to 2 s later) must land on the line plus that offset. A tap that read the panel's
// last timer value instead of the player would be up to a tick (33 ms) behind; a
// position that drifted from the music would move away from the line over the stretch.
#include "base/numbers.h"
#include "media/mpv/mpvengine.h"
#include "media/soundpanel.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <set>
#include <vector>

using namespace vk;

namespace {

using Clock = std::chrono::steady_clock;

// A tap may be this far from the music. The player itself does better than 5 ms at p99
// (see soundtapbench); the margin keeps a busy test machine from failing the test.
constexpr double kToleranceMs = 15.0;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// A 7.9 s click track (a 10 ms 1 kHz click every 500 ms), made once per scratch folder.
// 7900 ms ends inside a frame, so its last frame ("00:00:07:27") holds 7891..7900.
QString clickTrack()
{
    return testmedia::File(QStringLiteral("click79.wav"));
}

std::multiset<int> sectionStarts(const Editor& editor)
{
    std::multiset<int> starts;
    const RowTable& g = editor.Grid();
    for (int r = 1; r < g.Rows(); ++r)
        starts.insert(g.row(r).start.value_or(0));
    return starts;
}

// The start a tap added (the one start that was not there before), or nullopt.
std::optional<int> addedStart(const std::multiset<int>& before, const std::multiset<int>& after)
{
    if (after.size() != before.size() + 1)
        return std::nullopt;
    std::vector<int> diff;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(diff));
    if (diff.size() != 1)
        return std::nullopt;
    return diff.front();
}

// Where the music should be: anchored at a call, going on at `speed`, plus the
// player's start-up offset measured for this stretch.
struct ClockLine {
    Clock::time_point t0;
    double pos0 = 0.0;
    double speed = 1.0;
    double offset = 0.0;
    double at(Clock::time_point t) const { return pos0 + speed * msBetween(t0, t) + offset; }
};

struct Tap {
    QString label;
    double expected = 0.0;
    std::optional<int> registered;
    double error() const { return registered ? *registered - expected : 1e9; }
};

struct TapsOnRealMedia : ::testing::Test {
    ScriptedUi ui;
    Editor editor{ui};
    std::unique_ptr<MpvEngine> engine;
    std::unique_ptr<SoundPanel> panel;

    void SetUp() override
    {
        engine = std::make_unique<MpvEngine>();
        panel = std::make_unique<SoundPanel>(editor, *engine, nullptr);
        editor.setPanels(panel.get(), nullptr);
    }

    void TearDown() override
    {
        panel->halt();
        editor.setPanels(nullptr, nullptr);
        panel.reset();
        engine.reset();
    }

    // A tap of A: the start it added, against where the line says the music is.
    Tap tap(const QString& label, const ClockLine& line)
    {
        const std::multiset<int> before = sectionStarts(editor);
        const Clock::time_point now = Clock::now();
        panel->MainKeyCommand(Key::A, 0);
        Tap t;
        t.label = label;
        t.expected = line.at(now);
        t.registered = addedStart(before, sectionStarts(editor));
        return t;
    }

    // The player's offset from a freshly anchored line: the median over a few reads.
    double measureOffset(const ClockLine& line)
    {
        std::vector<double> offsets;
        for (int i = 0; i < 9; ++i) {
            const Clock::time_point now = Clock::now();
            offsets.push_back(engine->GetPosition() - line.at(now));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            QThread::msleep(4);
        }
        std::sort(offsets.begin(), offsets.end());
        return offsets[offsets.size() / 2];
    }
};

} // namespace

TEST_F(TapsOnRealMedia, TapsLandWhereTheMusicIsWhilePlayingAfterASeekAndAtDoubleSpeed)
{
    const QString clip = clickTrack();
    panel->SndFileOpen(clip);
    ASSERT_TRUE(ui.messages.isEmpty()) << ui.messages.first().text.toStdString();
    ASSERT_EQ(editor.sndLength(), 7900);
    ASSERT_EQ(editor.sndFrameInterval(), 33); // a sound file gives no frame rate
    ASSERT_EQ(editor.lastRow(), 1);

    std::vector<Tap> taps;
    std::vector<std::pair<QString, double>> offsets;
    ClockLine line;
    QEventLoop loop;
    std::vector<std::pair<int, std::function<void()>>> script;
    Clock::time_point started;

    auto beginStretch = [&](Clock::time_point t0, double pos0, double speed) {
        line.t0 = t0;
        line.pos0 = pos0;
        line.speed = speed;
        line.offset = 0.0;
    };
    auto measure = [&](const QString& name) {
        line.offset = measureOffset(line);
        offsets.emplace_back(name, line.offset);
    };

    // Play from 0 at 100 %.
    script.emplace_back(0, [&] {
        started = Clock::now();
        panel->PlayPause();
        beginStretch(Clock::now(), 0.0, 1.0);
    });
    script.emplace_back(300, [&] { measure(QStringLiteral("play")); });
    script.emplace_back(700, [&] { taps.push_back(tap(QStringLiteral("play +0.7 s"), line)); });
    script.emplace_back(1400, [&] { taps.push_back(tap(QStringLiteral("play +1.4 s"), line)); });
    script.emplace_back(2100, [&] { taps.push_back(tap(QStringLiteral("play +2.1 s"), line)); });
    // Seek back between the first two taps while playing, and tap at once: the new
    // start sits between rows already there.
    script.emplace_back(2400, [&] {
        ASSERT_EQ(engine->GetState(), MediaPlayerEngine::Running);
        panel->scrollTo(1050);
        beginStretch(Clock::now(), 1050.0, 1.0);
        taps.push_back(tap(QStringLiteral("right after seek"), line));
    });
    script.emplace_back(2700, [&] { measure(QStringLiteral("seek")); });
    script.emplace_back(3100, [&] { taps.push_back(tap(QStringLiteral("seek +0.7 s"), line)); });
    script.emplace_back(3800, [&] { taps.push_back(tap(QStringLiteral("seek +1.4 s"), line)); });
    // 200 %: the line goes on from where it is, twice as fast.
    script.emplace_back(3900, [&] {
        const Clock::time_point now = Clock::now();
        const double here = line.at(now) - line.offset;
        panel->chooseRate(17);
        beginStretch(now, here, 2.0);
    });
    // The sound buffered before the change drains first: measure a little later.
    script.emplace_back(4400, [&] { measure(QStringLiteral("200%")); });
    script.emplace_back(4900, [&] { taps.push_back(tap(QStringLiteral("200% +1.0 s"), line)); });
    script.emplace_back(5500, [&] { taps.push_back(tap(QStringLiteral("200% +1.6 s"), line)); });
    script.emplace_back(6100, [&] { taps.push_back(tap(QStringLiteral("200% +2.2 s"), line)); });
    script.emplace_back(6200, [&] { loop.quit(); });

    for (auto& step : script)
        QTimer::singleShot(step.first, Qt::PreciseTimer, &loop, step.second);
    QTimer::singleShot(20000, &loop, [&] { loop.quit(); }); // never hang
    loop.exec();
    const double playedMs = msBetween(started, Clock::now());

    for (const auto& [name, offset] : offsets)
        std::printf("  start-up offset of '%s': %+.1f ms\n", qPrintable(name), offset);
    for (const Tap& t : taps)
        std::printf("  tap %-18s expected %8.1f  registered %6d  error %+6.1f ms\n", qPrintable(t.label), t.expected,
                    t.registered.value_or(-1), t.error());

    ASSERT_EQ(taps.size(), 9u);
    for (const Tap& t : taps) {
        ASSERT_TRUE(t.registered.has_value()) << t.label.toStdString() << ": no row added";
        EXPECT_LE(std::abs(t.error()), kToleranceMs) << t.label.toStdString();
    }
    // The music goes on from where it was after Play, a seek and a speed change while
    // playing (a stuck player, or one that jumps back with the speed, fails here).
    ASSERT_EQ(offsets.size(), 3u);
    EXPECT_LE(std::abs(offsets[0].second), 150.0) << "play";
    EXPECT_LE(std::abs(offsets[1].second), 150.0) << "seek";
    EXPECT_LE(std::abs(offsets[2].second), 150.0) << "speed change";
    EXPECT_LT(playedMs, 9000.0);

    // Ten rows: row 1 and the nine taps, in start order, the one after the seek
    // between the first and the second tap.
    EXPECT_EQ(editor.lastRow(), 10);
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_EQ(editor.Grid().row(3).start.value_or(0), *taps[3].registered);
    EXPECT_TRUE(editor.modified());

    // Paused: a tap lands on the exact position, except in the clip's last frame.
    panel->PlayPause();
    ASSERT_EQ(engine->GetState(), MediaPlayerEngine::Paused);
    const int rows = editor.lastRow();
    for (int ms : {7891, 7900}) {
        panel->scrollTo(ms);
        ASSERT_EQ(engine->GetPosition(), ms);
        panel->MainKeyCommand(Key::A, 0);
        EXPECT_EQ(editor.lastRow(), rows) << "a section was added in the last frame at " << ms;
    }
    for (int ms : {7890, 4321}) {
        panel->scrollTo(ms);
        const Tap exact = tap(QStringLiteral("paused"), ClockLine{Clock::now(), double(ms), 0.0, 0.0});
        ASSERT_TRUE(exact.registered.has_value()) << ms;
        EXPECT_EQ(*exact.registered, ms);
    }
    EXPECT_EQ(editor.lastRow(), rows + 2);
    EXPECT_EQ(editor.Grid().row(editor.lastRow()).start, 7890);
    EXPECT_TRUE(TableInvariants(editor));
}

int main(int argc, char** argv)
{
    // Listing the tests happens without the test environment: never need a display or
    // a sound device.
    vk::testsupport::HeadlessDefaults(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
