// The video registration panel driven with the scripted player and dialogs: loading,
// the preview commands and the range rules.
#include "tests/media/videopanel_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace vk {
namespace {

// ---- loading ---------------------------------------------------------------------------

TEST_F(VideoPanelTest, LoadAsksThePlayerInOrderAndShowsTheWholeFileAsRange)
{
    QObject window;
    panel.setVideoWindow(&window);
    player.clearCalls();
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));

    EXPECT_EQ(player.calls,
              (QStringList{QStringLiteral("Close"), QStringLiteral("SetVideoWindow"),
                           QStringLiteral("Initialize(0,1000,1,7)"), QStringLiteral("SetOption(soft_nouse,-1)"),
                           QStringLiteral("Open(/media/a.mp4)"), QStringLiteral("GetMediaInfo"),
                           QStringLiteral("Play(0)"), QStringLiteral("Pause(-1,0)")}));
    EXPECT_EQ(player.videoWindow, &window);
    EXPECT_EQ(panel.videoLength(), 10000);
    EXPECT_EQ(panel.frameInterval(), 40);
    EXPECT_EQ(panel.pictureSize(), QSize(640, 480));
    EXPECT_EQ(panel.position(), 0);
    const auto& s = panel.slider();
    EXPECT_EQ(s.min, 0);
    EXPECT_EQ(s.max, 10000);
    EXPECT_EQ(s.value, 0);
    EXPECT_EQ(s.tick, 100);
    // A range not shown before becomes the whole file.
    EXPECT_TRUE(s.selShown);
    EXPECT_EQ(s.selStart, 0);
    EXPECT_EQ(s.selLength, 10000);
    EXPECT_EQ(panel.rangeText(), QStringLiteral("区間長=10000ms"));
    EXPECT_TRUE(panel.controls().pictureVisible);
    EXPECT_TRUE(panel.controls().sliderVisible);
    EXPECT_TRUE(panel.controls().movieEnabled);
    EXPECT_TRUE(panel.controls().rangeCheckVisible);
    EXPECT_FALSE(panel.rangeStop());
    EXPECT_TRUE(ui.messages.isEmpty());
    // A load leaves the poll timer alone.
    EXPECT_FALSE(panel.timerActive());
}

TEST_F(VideoPanelTest, FrameIntervalFollowsSecondsPerFrame)
{
    struct Case {
        double spf;
        int interval;
    };
    for (const Case c : {Case{0.04, 40}, Case{0.0, 33}, Case{0.0333667, 33}, Case{1.0 / 60.0, 17}, Case{0.5, 500}}) {
        ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 4000, c.spf));
        EXPECT_EQ(panel.frameInterval(), c.interval) << c.spf;
    }
    // A tick frequency of a hundredth of the length, rounded half to even.
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/b.mp4"), 250, 0.04));
    EXPECT_EQ(panel.slider().tick, 2);
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/b.mp4"), 350, 0.04));
    EXPECT_EQ(panel.slider().tick, 4);
}

TEST_F(VideoPanelTest, LoadFailuresShowTheirMessageAndKeepThePanel)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 8000, 0.04, 640, 480));
    markRange(1000, 3000);
    const VideoPanel::Slider before = panel.slider();
    const VideoPanel::Controls controlsBefore = panel.controls();

    // No path at all: the first message, the player is not touched.
    player.clearCalls();
    EXPECT_FALSE(panel.VidFileLoad(QString()));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, kNoFile);
    EXPECT_EQ(ui.messages[0].icon, UserDialogs::Icon::Warning);
    EXPECT_TRUE(player.calls.isEmpty());

    // The player cannot open it: a file that is there has the wrong format, a path
    // that is not there is missing. Every message names the file on its first line.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString broken = dir.filePath(QStringLiteral("broken.mp4"));
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a movie");
    }
    player.openResult = -1;
    EXPECT_FALSE(loadMovie(broken, 99999, 0.02, 100, 100));
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages[1].text, broken + QLatin1Char('\n') + kBadFormat);
    EXPECT_EQ(ui.messages[1].icon, UserDialogs::Icon::Warning);
    const QString gone = dir.filePath(QStringLiteral("gone.mp4"));
    EXPECT_FALSE(loadMovie(gone, 99999, 0.02, 100, 100));
    ASSERT_EQ(ui.messages.size(), 3);
    EXPECT_EQ(ui.messages[2].text, gone + QStringLiteral("\nファイルが見つかりません。"));
    EXPECT_EQ(ui.messages[2].icon, UserDialogs::Icon::Warning);
    ui.messages.removeLast();
    player.openResult = 0;

    // The player knows nothing of it: no message.
    player.mediaInfoResult = -1;
    EXPECT_FALSE(loadMovie(QStringLiteral("/media/unknown.bin"), 99999, 0.02, 100, 100));
    EXPECT_EQ(ui.messages.size(), 2);
    player.mediaInfoResult = 0;

    // Sound only: no picture size.
    EXPECT_FALSE(loadMovie(QStringLiteral("/media/tone.wav"), 2500, 0.0, 0, 0));
    ASSERT_EQ(ui.messages.size(), 3);
    EXPECT_EQ(ui.messages[2].text, QStringLiteral("/media/tone.wav\n") + kNoPicture);
    EXPECT_EQ(ui.messages[2].icon, UserDialogs::Icon::Warning);

    // The panel is as it was before any of these.
    EXPECT_EQ(panel.videoLength(), 8000);
    EXPECT_EQ(panel.frameInterval(), 40);
    EXPECT_EQ(panel.pictureSize(), QSize(640, 480));
    EXPECT_EQ(panel.slider().max, before.max);
    EXPECT_EQ(panel.slider().value, before.value);
    EXPECT_EQ(panel.slider().selStart, before.selStart);
    EXPECT_EQ(panel.slider().selLength, before.selLength);
    EXPECT_EQ(panel.controls().sliderVisible, controlsBefore.sliderVisible);
    EXPECT_EQ(panel.controls().playVisible, controlsBefore.playVisible);
    EXPECT_EQ(panel.rangeText(), QStringLiteral("区間長=2000ms"));
}

TEST_F(VideoPanelTest, FileEntryPoints)
{
    player.info.durationMsec = 3000;
    player.info.secondsPerFrame = 0.04;
    player.info.width = 320;
    player.info.height = 240;

    // Browse: cancelled does nothing; a chosen file goes into the box and loads.
    panel.browse();
    ASSERT_EQ(ui.openDialogs.size(), 1);
    EXPECT_EQ(ui.openDialogs[0].title, QStringLiteral("入力ファイルを開く"));
    EXPECT_EQ(ui.openDialogs[0].filter, QStringLiteral("動画、静止画ファイル (*)"));
    EXPECT_TRUE(player.callsStartingWith(QStringLiteral("Open")).isEmpty());
    EXPECT_TRUE(panel.fileText().isEmpty());

    ui.openNames.push_back(QStringLiteral("/media/chosen.mp4"));
    panel.browse();
    EXPECT_EQ(panel.fileText(), QStringLiteral("/media/chosen.mp4"));
    EXPECT_EQ(player.openedPath, QStringLiteral("/media/chosen.mp4"));

    // Enter in the box loads what was typed.
    panel.setFileText(QStringLiteral("/media/typed.mp4"));
    panel.fileEnter();
    EXPECT_EQ(player.openedPath, QStringLiteral("/media/typed.mp4"));

    // A drop loads the first file only.
    panel.dropFiles({QStringLiteral("/media/first.mp4"), QStringLiteral("/media/second.mp4")});
    EXPECT_EQ(panel.fileText(), QStringLiteral("/media/first.mp4"));
    EXPECT_EQ(player.openedPath, QStringLiteral("/media/first.mp4"));
    EXPECT_EQ(player.callsStartingWith(QStringLiteral("Open(/media/second")).size(), 0);
}

TEST_F(VideoPanelTest, StillShowsStillControlsAndKeepsTheSlider)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 6000, 0.04));
    markRange(1000, 2000);
    panel.scrollTo(1500);
    ASSERT_TRUE(loadStill(QStringLiteral("/media/pic.png"), 320, 240));

    EXPECT_TRUE(panel.isStill());
    EXPECT_EQ(panel.videoLength(), 0);
    const auto& c = panel.controls();
    EXPECT_FALSE(c.playVisible);
    EXPECT_FALSE(c.selStartVisible);
    EXPECT_FALSE(c.selEndVisible);
    EXPECT_FALSE(c.selStartJmpVisible);
    EXPECT_FALSE(c.selEndJmpVisible);
    EXPECT_FALSE(c.contRegVisible);
    EXPECT_FALSE(c.muteVisible);
    EXPECT_FALSE(c.rangeCheckVisible);
    EXPECT_FALSE(c.sliderVisible);
    EXPECT_FALSE(c.positionVisible);
    EXPECT_FALSE(c.rateVisible);
    EXPECT_TRUE(c.regVisible);
    EXPECT_TRUE(c.regEnabled);
    EXPECT_TRUE(c.pictureVisible);
    EXPECT_EQ(panel.pictureSize(), QSize(320, 240));
    // The slider keeps its settings.
    EXPECT_EQ(panel.slider().max, 6000);
    EXPECT_EQ(panel.slider().value, 1500);

    // And back to a movie: the movie controls return.
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/b.mp4"), 3000, 0.04));
    EXPECT_TRUE(panel.controls().playVisible);
    EXPECT_TRUE(panel.controls().sliderVisible);
    EXPECT_TRUE(panel.controls().rateVisible);
    EXPECT_FALSE(panel.isStill());
}

TEST_F(VideoPanelTest, StillAfterAWholeFileRangeShowsNoRangeControls)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 8000, 0.04));
    ASSERT_EQ(panel.slider().selLength, 8000);
    ASSERT_TRUE(loadStill(QStringLiteral("/media/pic.png")));
    EXPECT_FALSE(panel.controls().rangeCheckVisible);
    EXPECT_FALSE(panel.controls().selStartJmpVisible);
    EXPECT_FALSE(panel.controls().selEndJmpVisible);
    EXPECT_TRUE(panel.rangeText().isEmpty());
    // The range survives for the next movie.
    EXPECT_EQ(panel.slider().selStart, 0);
    EXPECT_EQ(panel.slider().selLength, 8000);
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/b.mp4"), 8000, 0.04));
    EXPECT_EQ(panel.rangeText(), QStringLiteral("区間長=8000ms"));
    EXPECT_TRUE(panel.controls().rangeCheckVisible);
}

TEST_F(VideoPanelTest, RangeFromALongerFileIsCutAtTheNewEnd)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/long.mp4"), 10000, 0.04));
    markRange(2000, 8000);
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/short.mp4"), 5000, 0.04));
    EXPECT_EQ(panel.slider().selStart, 0);
    EXPECT_LE(panel.slider().selEnd(), 5000);
    EXPECT_TRUE(panel.slider().selShown);
}

// ---- preview ---------------------------------------------------------------------------

TEST_F(VideoPanelTest, PlayPauseSendsMuteAndSpeedOnEveryPress)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    panel.setMute(true);
    EXPECT_EQ(player.volume, -10000);
    panel.typeRateText(QStringLiteral("1.5"));
    player.clearCalls();

    panel.PlayPause();
    EXPECT_EQ(player.calls,
              (QStringList{QStringLiteral("SetVolume(-10000)"), QStringLiteral("Command(set_rate_percent,150,)"),
                           QStringLiteral("GetState"), QStringLiteral("Play(0)")}));
    EXPECT_TRUE(panel.timerActive());
    EXPECT_EQ(panel.timerInterval(), 33);

    player.clock(400);
    panel.tick();
    EXPECT_EQ(panel.position(), 600);
    player.clearCalls();
    panel.PlayPause();
    EXPECT_EQ(player.calls,
              (QStringList{QStringLiteral("SetVolume(-10000)"), QStringLiteral("Command(set_rate_percent,150,)"),
                           QStringLiteral("GetState"), QStringLiteral("Play(600)"), QStringLiteral("Pause(600,0)")}));
    EXPECT_FALSE(panel.timerActive());

    panel.setMute(false);
    EXPECT_EQ(player.volume, 0);
    player.clearCalls();
    panel.PlayPause();
    EXPECT_EQ(player.callsStartingWith(QStringLiteral("SetVolume")), QStringList{QStringLiteral("SetVolume(0)")});
}

TEST_F(VideoPanelTest, PlayPauseSkipsAFailingStep)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    player.failing.insert(QStringLiteral("SetVolume"));
    panel.PlayPause();
    EXPECT_EQ(player.state, MediaPlayerEngine::Running);
    EXPECT_TRUE(panel.timerActive());
}

TEST_F(VideoPanelTest, PollStopsJustBeforeTheEndAndPlaysOnFromThere)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 2000, 0.04));
    panel.PlayPause();
    player.position = 1969;
    panel.tick();
    EXPECT_TRUE(panel.timerActive());
    EXPECT_EQ(panel.slider().value, 1969);
    EXPECT_EQ(panel.sliderToolTip(), QStringLiteral("1969"));
    EXPECT_EQ(panel.secondText(), QStringLiteral("1"));
    EXPECT_EQ(panel.frameText(), QStringLiteral("24"));

    player.position = 1970;
    player.clearCalls();
    panel.tick();
    EXPECT_EQ(player.calls,
              (QStringList{QStringLiteral("GetPosition"), QStringLiteral("Stop"), QStringLiteral("Pause(1970,0)")}));
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(panel.position(), 1970);

    player.clearCalls();
    panel.PlayPause();
    EXPECT_EQ(player.callsStartingWith(QStringLiteral("Play")), QStringList{QStringLiteral("Play(1970)")});
    EXPECT_TRUE(panel.timerActive());
}

TEST_F(VideoPanelTest, RepeatBoxStopsAtTheRangeEndOnItsStart)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(1000, 3000);
    panel.setRangeStop(true);
    panel.scrollTo(2900);
    panel.PlayPause();
    player.position = 3000;
    panel.tick();
    EXPECT_TRUE(panel.timerActive()); // the end itself is still inside
    player.position = 3001;
    panel.tick();
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(panel.slider().value, 1000);
    EXPECT_EQ(panel.position(), 1000);
    EXPECT_EQ(player.state, MediaPlayerEngine::Paused);
    EXPECT_EQ(player.position, 1000);
}

TEST_F(VideoPanelTest, SeekFollowsThePlayerState)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    player.clearCalls();
    panel.scrollTo(1234);
    EXPECT_EQ(player.calls, (QStringList{QStringLiteral("GetState"), QStringLiteral("Pause(1234,0)")}));
    EXPECT_EQ(panel.position(), 1234);
    EXPECT_EQ(panel.hourText(), QStringLiteral("0"));
    EXPECT_EQ(panel.secondText(), QStringLiteral("1"));
    EXPECT_EQ(panel.frameText(), QStringLiteral("5"));

    panel.PlayPause();
    player.clearCalls();
    panel.scrollTo(5000);
    EXPECT_EQ(player.calls,
              (QStringList{QStringLiteral("GetState"), QStringLiteral("Pause(5000,0)"), QStringLiteral("Play(5000)")}));
    // Values beyond the slider are held at its ends.
    panel.scrollTo(20000);
    EXPECT_EQ(panel.slider().value, 10000);
    panel.scrollTo(-5);
    EXPECT_EQ(panel.slider().value, 0);
}

TEST_F(VideoPanelTest, SteppingKeysMoveByFramesAndHundredthsAndStopAtTheEnds)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 3000, 0.04));
    panel.scrollTo(1000);
    struct Step {
        Key key;
        int shift;
        int expected;
    };
    const Step steps[] = {
        {Key::Down, 0, 1040},
        {Key::Period, 0, 1080},
        {Key::Up, 0, 1040},
        {Key::Comma, 0, 1000},
        {Key::Down, Shift::Shift, 1400},
        {Key::Up, Shift::Ctrl, 1000},
        {Key::Right, 0, 1030},
        {Key::M, 0, 1060},
        {Key::Left, 0, 1030},
        {Key::N, 0, 1000},
        {Key::Right, Shift::Alt, 1100},
        {Key::Left, Shift::Shift, 1000},
    };
    for (const Step& s : steps) {
        panel.keyCommand(s.key, s.shift);
        EXPECT_EQ(panel.slider().value, s.expected) << int(s.key) << "/" << s.shift;
        EXPECT_EQ(player.position, s.expected);
    }
    // Stepping below 0 or past the length stops at the ends.
    panel.scrollTo(20);
    panel.keyCommand(Key::Up, 0);
    EXPECT_EQ(panel.slider().value, 0);
    panel.keyCommand(Key::Left, Shift::Shift);
    EXPECT_EQ(panel.slider().value, 0);
    panel.scrollTo(2990);
    panel.keyCommand(Key::Down, Shift::Shift);
    EXPECT_EQ(panel.slider().value, 3000);
    panel.keyCommand(Key::M, 0);
    EXPECT_EQ(panel.slider().value, 3000);
    EXPECT_EQ(player.position, 3000);
}

TEST_F(VideoPanelTest, ClickRuleNeedsPressAndReleaseAtTheSamePoint)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    // A slider 6400 twips wide: its channel is 6000 twips, starting at 2.5 %.
    panel.sliderMouseDown(3150, 150);
    panel.sliderMouseUp(3150, 150, 6400);
    EXPECT_EQ(panel.slider().value, 5000); // (3150 / 6000 - 0.025) x 10000
    EXPECT_EQ(player.position, 5000);
    EXPECT_EQ(panel.sliderToolTip(), QStringLiteral("5000"));

    panel.sliderMouseDown(600, 150);
    panel.sliderMouseUp(900, 150, 6400);
    EXPECT_EQ(panel.slider().value, 5000);
    panel.sliderMouseDown(600, 150);
    panel.sliderMouseUp(600, 165, 6400);
    EXPECT_EQ(panel.slider().value, 5000);

    // Left of the channel's start stops at 0.
    panel.sliderMouseDown(15, 150);
    panel.sliderMouseUp(15, 150, 6400);
    EXPECT_EQ(panel.slider().value, 0);
}

TEST_F(VideoPanelTest, SpeedBox)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    player.clearCalls();
    panel.chooseRate(0);
    EXPECT_EQ(player.calls, QStringList{QStringLiteral("Command(set_rate_percent,50,)")});
    EXPECT_EQ(panel.rateText(), QStringLiteral("0.5"));
    panel.chooseRate(17);
    EXPECT_EQ(player.ratePercent, 200);

    player.clearCalls();
    panel.typeRateText(QStringLiteral("1.234"));
    panel.applyVidRateText();
    EXPECT_EQ(player.calls, QStringList{QStringLiteral("Command(set_rate_percent,123,)")});

    player.clearCalls();
    for (const char* text : {"abc", "", "1.2.3", "x1"}) {
        panel.typeRateText(QString::fromLatin1(text));
        panel.applyVidRateText();
    }
    EXPECT_TRUE(player.calls.isEmpty());

    // A speed put there by the row table takes effect on Enter only.
    panel.setRateText(QStringLiteral("0.667"));
    EXPECT_TRUE(player.calls.isEmpty());
    EXPECT_EQ(panel.rateText(), QStringLiteral("0.667"));
    EXPECT_EQ(panel.rateIndex(), -1);
    panel.applyVidRateText();
    EXPECT_EQ(player.calls, QStringList{QStringLiteral("Command(set_rate_percent,67,)")});
}

TEST_F(VideoPanelTest, FormLoadSelectsNormalSpeed)
{
    FakeEngine other;
    VideoPanel fresh(editor, other);
    fresh.formLoad();
    EXPECT_EQ(other.calls, QStringList{QStringLiteral("Command(set_rate_percent,100,)")});
    EXPECT_EQ(fresh.rateIndex(), 6);
    EXPECT_EQ(fresh.rateText(), QStringLiteral("1.0"));
    EXPECT_EQ(fresh.slider().max, 100);
    EXPECT_EQ(fresh.slider().tick, 1);
    EXPECT_TRUE(fresh.rangeText().isEmpty());
    EXPECT_FALSE(fresh.controls().pictureVisible);
    EXPECT_EQ(fresh.timerInterval(), 0);
}

// ---- range ------------------------------------------------------------------------------

TEST_F(VideoPanelTest, RangeStartAndEndRules)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(2000, 5000);
    EXPECT_EQ(panel.slider().selStart, 2000);
    EXPECT_EQ(panel.slider().selLength, 3000);
    EXPECT_EQ(panel.rangeText(), QStringLiteral("区間長=3000ms"));
    EXPECT_TRUE(panel.controls().selStartJmpVisible);
    EXPECT_TRUE(panel.controls().selEndJmpVisible);
    EXPECT_TRUE(panel.controls().rangeCheckVisible);

    // Z at the exact range end removes the range.
    panel.scrollTo(5000);
    panel.selStart();
    EXPECT_FALSE(panel.slider().selShown);
    EXPECT_EQ(panel.slider().selLength, 0);
    EXPECT_TRUE(panel.rangeText().isEmpty());
    EXPECT_FALSE(panel.controls().rangeCheckVisible);
    EXPECT_FALSE(panel.controls().selStartJmpVisible);
    EXPECT_FALSE(panel.controls().selEndJmpVisible);
    // Pressing again marks a new range from here to the end of the file.
    panel.selStart();
    EXPECT_TRUE(panel.slider().selShown);
    EXPECT_EQ(panel.slider().selStart, 5000);
    EXPECT_EQ(panel.slider().selLength, 5000);
    EXPECT_EQ(panel.rangeText(), QStringLiteral("区間長=5000ms"));

    // X at the exact range start removes it; pressing again runs from 0.
    panel.selEnd();
    EXPECT_FALSE(panel.slider().selShown);
    EXPECT_TRUE(panel.rangeText().isEmpty());
    panel.selEnd();
    EXPECT_TRUE(panel.slider().selShown);
    EXPECT_EQ(panel.slider().selStart, 0);
    EXPECT_EQ(panel.slider().selLength, 5000);

    // Z after the range end: from V to the end of the file.
    panel.scrollTo(7000);
    panel.selStart();
    EXPECT_EQ(panel.slider().selStart, 7000);
    EXPECT_EQ(panel.slider().selLength, 3000);
    // X before the range start: from 0 to V.
    panel.scrollTo(4000);
    panel.selEnd();
    EXPECT_EQ(panel.slider().selStart, 0);
    EXPECT_EQ(panel.slider().selLength, 4000);
    // Z inside the range moves the start and keeps the end.
    panel.scrollTo(1500);
    panel.selStart();
    EXPECT_EQ(panel.slider().selStart, 1500);
    EXPECT_EQ(panel.slider().selLength, 2500);
    // X inside moves the end.
    panel.scrollTo(3500);
    panel.selEnd();
    EXPECT_EQ(panel.slider().selStart, 1500);
    EXPECT_EQ(panel.slider().selLength, 2000);
    // A new range unchecks the repeat box.
    panel.setRangeStop(true);
    panel.scrollTo(2500);
    panel.selEnd();
    EXPECT_FALSE(panel.rangeStop());
}

TEST_F(VideoPanelTest, ZAtTheFileEndLeavesAnEmptyRangeWithoutItsControls)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 4000, 0.04));
    markRange(1000, 2000);
    panel.scrollTo(2000);
    panel.selStart(); // removes
    panel.scrollTo(4000);
    panel.selStart();
    EXPECT_TRUE(panel.slider().selShown);
    EXPECT_EQ(panel.slider().selStart, 4000);
    EXPECT_EQ(panel.slider().selLength, 0);
    EXPECT_FALSE(panel.controls().rangeCheckVisible);
    EXPECT_TRUE(panel.rangeText().isEmpty());
}

TEST_F(VideoPanelTest, JumpsEndPausedAtTheTarget)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(2000, 6000);
    panel.scrollTo(100);
    panel.selEndJump();
    EXPECT_EQ(panel.slider().value, 6000);
    EXPECT_EQ(panel.position(), 6000);
    EXPECT_EQ(player.state, MediaPlayerEngine::Paused);

    panel.PlayPause();
    ASSERT_TRUE(panel.timerActive());
    player.clearCalls();
    panel.keyCommand(Key::C, 0);
    EXPECT_EQ(player.calls,
              (QStringList{QStringLiteral("GetState"), QStringLiteral("Pause(2000,0)"), QStringLiteral("Play(2000)"),
                           QStringLiteral("GetState"), QStringLiteral("Play(2000)"), QStringLiteral("Pause(2000,0)")}));
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(player.state, MediaPlayerEngine::Paused);
    EXPECT_EQ(panel.slider().value, 2000);
    panel.keyCommand(Key::V, 0);
    EXPECT_EQ(panel.slider().value, 6000);
}

} // namespace
} // namespace vk
