#include "media/soundpanel.h"
#include "tests/support/fakecommands.h"
#include "tests/support/fakeengine.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vk;

namespace {
struct SoundPanelTest : ::testing::Test {
    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine player;
    FakeEngine beep;
    SoundPanel panel{editor, player, &beep};

    SoundPanelTest() { editor.setPanels(&panel, nullptr); }

    void load(int durationMsec, double secondsPerFrame = 1.0 / 30.0, int width = 0, int height = 0)
    {
        player.info.durationMsec = durationMsec;
        player.info.secondsPerFrame = secondsPerFrame;
        player.info.width = width;
        player.info.height = height;
        editor.setSndFile(QStringLiteral("/music/song.wav"));
        panel.SndFileLoad(editor.sndFile());
    }
};
} // namespace

TEST_F(SoundPanelTest, LoadSetsLengthIntervalSliderAndPausesAtZero)
{
    load(10000, 0.04, 640, 480);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(editor.sndLength(), 10000);
    EXPECT_EQ(editor.sndFrameInterval(), 40);
    EXPECT_EQ(panel.slider().max, 10000);
    EXPECT_EQ(panel.slider().tick, 100);
    EXPECT_EQ(panel.slider().value, 0);
    EXPECT_TRUE(panel.pictureVisible());
    EXPECT_TRUE(panel.controlsEnabled());
    EXPECT_EQ(player.calls.mid(0, 5),
              (QStringList{QStringLiteral("Close"), QStringLiteral("SetVideoWindow"),
                           QStringLiteral("Initialize(0,1001,1,7)"), QStringLiteral("SetOption(soft_nouse,-1)"),
                           QStringLiteral("Open(/music/song.wav)")}));
    EXPECT_EQ(player.callsStartingWith(QStringLiteral("P")),
              (QStringList{QStringLiteral("Play(0)"), QStringLiteral("Pause(-1,0)")}));
    EXPECT_EQ(editor.Grid().Rows(), 2);
    EXPECT_TRUE(TableInvariants(editor));

    // An audio-only clip afterwards hides the picture; no frame rate gives 33 ms.
    load(5000, 0.0);
    EXPECT_FALSE(panel.pictureVisible());
    EXPECT_EQ(editor.sndFrameInterval(), 33);
}

TEST_F(SoundPanelTest, LoadFailuresKeepThePreviousClipValues)
{
    load(10000, 0.04);
    MakeSections(editor, {0, 4000}, 10000, 40);
    panel.SndFileLoad(QString());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.last().text, QStringLiteral("入力音声ファイルが指定されていません。"));

    // Every message names the file on its first line. A file the player cannot open
    // has the wrong format; a path that is not there is reported as missing.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString text = dir.filePath(QStringLiteral("x.txt"));
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a clip");
    }
    player.openResult = -1;
    panel.SndFileLoad(text);
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages.last().text, text + QStringLiteral("\n入力ファイル形式が正しくありません。"));
    EXPECT_EQ(ui.messages.last().icon, UserDialogs::Icon::Exclamation);

    const QString missing = dir.filePath(QStringLiteral("gone.wav"));
    panel.SndFileLoad(missing);
    ASSERT_EQ(ui.messages.size(), 3);
    EXPECT_EQ(ui.messages.last().text, missing + QStringLiteral("\nファイルが見つかりません。"));
    EXPECT_EQ(ui.messages.last().icon, UserDialogs::Icon::Exclamation);

    player.openResult = 0;
    player.info.durationMsec = 0;
    panel.SndFileLoad(QStringLiteral("/x.png"));
    EXPECT_EQ(ui.messages.last().text,
              QStringLiteral("/x.png\n入力ファイル形式が正しくありません。動画または音声ファイルを指定してください。"));
    EXPECT_EQ(editor.sndLength(), 10000);
    EXPECT_EQ(editor.sndFrameInterval(), 40);
    EXPECT_EQ(editor.Grid().Rows(), 3);
}

TEST_F(SoundPanelTest, PlayPauseSendsTheListSpeedAndRunsTheTimer)
{
    load(10000);
    player.clearCalls();
    panel.PlayPause();
    EXPECT_TRUE(panel.timerActive());
    EXPECT_EQ(player.calls.first(), QStringLiteral("Command(set_rate_percent,100,)"));
    EXPECT_EQ(player.callsStartingWith(QStringLiteral("Play")), QStringList{QStringLiteral("Play(0)")});
    player.clock(500);
    panel.tick();
    EXPECT_EQ(panel.position(), 500);
    EXPECT_EQ(panel.slider().value, 500);
    player.clearCalls();
    panel.PlayPause();
    EXPECT_FALSE(panel.timerActive());
    // Pausing while running pauses at the position of the last tick.
    EXPECT_EQ(player.calls.mid(2), (QStringList{QStringLiteral("Play(500)"), QStringLiteral("Pause(500,0)")}));
}

TEST_F(SoundPanelTest, TypedSpeedSendsItsPercentAndSpaceSendsTheListIndex)
{
    load(10000);
    player.clearCalls();
    panel.typeRateText(QStringLiteral("1.25"));
    panel.SndRateFromText();
    EXPECT_EQ(player.calls, QStringList{QStringLiteral("Command(set_rate_percent,125,)")});
    player.clearCalls();
    panel.MainKeyCommand(Key::Space, 0);
    // Typed text is no list entry: the toggle sends 0.
    EXPECT_EQ(player.calls.first(), QStringLiteral("Command(set_rate_percent,0,)"));
    player.clearCalls();
    panel.typeRateText(QStringLiteral("fast"));
    panel.SndRateFromText();
    EXPECT_TRUE(player.calls.isEmpty());
    panel.chooseRate(17);
    EXPECT_EQ(player.calls, QStringList{QStringLiteral("Command(set_rate_percent,200,)")});
    EXPECT_EQ(panel.rateText(), QStringLiteral("2.0"));
}

TEST_F(SoundPanelTest, TimerStopsThirtyMsBeforeTheEnd)
{
    load(2000);
    panel.PlayPause();
    player.clock(1969);
    panel.tick();
    EXPECT_TRUE(panel.timerActive());
    player.clock(2);
    player.clearCalls();
    panel.tick();
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(player.calls.mid(1), (QStringList{QStringLiteral("Stop"), QStringLiteral("Pause(1971,0)")}));
    // Playing again starts from where it stopped.
    player.clearCalls();
    panel.PlayPause();
    EXPECT_TRUE(player.calls.contains(QStringLiteral("Play(1971)")));
}

TEST_F(SoundPanelTest, SeekFollowsRowsAndKeepsPlaying)
{
    load(10000);
    MakeSections(editor, {0, 3000, 6000}, 10000);
    panel.scrollTo(4500);
    EXPECT_EQ(editor.Grid().currentRow, 2);
    EXPECT_EQ(editor.Grid().marker(2), kMarkerSelected);
    EXPECT_EQ(player.calls.last(), QStringLiteral("Pause(4500,0)"));
    panel.PlayPause();
    player.clearCalls();
    panel.scrollTo(7000);
    EXPECT_EQ(player.calls.mid(1), (QStringList{QStringLiteral("Pause(7000,0)"), QStringLiteral("Play(7000)")}));
    EXPECT_EQ(editor.Grid().currentRow, 3);
    // Out of range values stay on the slider.
    panel.scrollTo(-50);
    EXPECT_EQ(panel.slider().value, 0);
    panel.scrollTo(12000);
    EXPECT_EQ(panel.slider().value, 10000);
}

TEST_F(SoundPanelTest, BeepSoundsOncePerCheckInBothDirections)
{
    load(10000);
    MakeSections(editor, {0, 1000, 2000, 3000}, 10000);
    beep.clearCalls();
    panel.scrollTo(500);
    EXPECT_TRUE(beep.calls.isEmpty());
    panel.scrollTo(3500); // over three boundaries at once: one beep
    EXPECT_EQ(beep.calls, (QStringList{QStringLiteral("Pause(0,0)"), QStringLiteral("Play(0)")}));
    beep.clearCalls();
    panel.scrollTo(2500); // backward over 3000
    EXPECT_EQ(beep.callsStartingWith(QStringLiteral("Play")).size(), 1);
    beep.clearCalls();
    panel.scrollTo(2000); // landing exactly on a start moving backward sounds
    EXPECT_EQ(beep.callsStartingWith(QStringLiteral("Play")).size(), 1);
    beep.clearCalls();
    panel.setBeepOn(false);
    panel.scrollTo(100);
    EXPECT_TRUE(beep.calls.isEmpty());
    panel.setBeepOn(true);
    panel.scrollTo(600); // the check position moved with the silent seek
    EXPECT_TRUE(beep.calls.isEmpty());
}

TEST_F(SoundPanelTest, KeyCommandsStepByFramesAndFractions)
{
    load(10000, 0.04);
    panel.scrollTo(5000);
    panel.MainKeyCommand(Key::Down, 0);
    EXPECT_EQ(panel.slider().value, 5040);
    panel.MainKeyCommand(Key::Down, 1); // Shift+Down: ten frames
    EXPECT_EQ(panel.slider().value, 5440);
    panel.MainKeyCommand(Key::Comma, 0);
    EXPECT_EQ(panel.slider().value, 5400);
    panel.MainKeyCommand(Key::Up, 2);
    EXPECT_EQ(panel.slider().value, 5000);
    panel.MainKeyCommand(Key::M, 0); // 1/100 of the clip
    EXPECT_EQ(panel.slider().value, 5100);
    panel.MainKeyCommand(Key::Right, 4); // Alt counts as shifted: 1/30 = 333.33 -> 333
    EXPECT_EQ(panel.slider().value, 5433);
    panel.MainKeyCommand(Key::N, 0);
    EXPECT_EQ(panel.slider().value, 5333);
    panel.MainKeyCommand(Key::Left, 1);
    EXPECT_EQ(panel.slider().value, 5000);
    panel.MainKeyCommand(Key::Period, 0);
    EXPECT_EQ(panel.position(), 5040);
}

TEST_F(SoundPanelTest, KeyCommandsForSectionsAndClipboard)
{
    load(10000);
    int cuts = 0;
    FakeClipboardCommands clipboard;
    clipboard.cut = [&cuts] { ++cuts; };
    editor.setClipboardCommands(&clipboard);
    player.position = 2500;
    panel.MainKeyCommand(Key::A, 0); // A registers at the player's position
    EXPECT_EQ(editor.Grid().Rows(), 3);
    EXPECT_EQ(editor.Grid().row(2).start, 2500);
    editor.setDraggedRange(2, 2);
    editor.Grid().currentRow = 2;
    panel.MainKeyCommand(Key::Delete, 0); // Delete removes the dragged rows
    EXPECT_EQ(editor.Grid().Rows(), 2);
    panel.MainKeyCommand(Key::R, 0);
    EXPECT_EQ(cuts, 1);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(SoundPanelTest, ClickOnTheSliderJumpsToThePoint)
{
    load(10000);
    // Track from 180 twips to width - 300: the middle of a 4980-twip slider.
    panel.sliderMouseDown(2430, 100);
    panel.sliderMouseUp(2430, 100, 4980);
    EXPECT_EQ(panel.slider().value, 5000);
    panel.sliderMouseDown(2430, 100);
    panel.sliderMouseUp(2500, 100, 4980); // a drag: no jump
    EXPECT_EQ(panel.slider().value, 5000);
}

TEST_F(SoundPanelTest, RewindAndPositionReadout)
{
    load(4000000, 0.04);
    panel.scrollTo(3723999);
    EXPECT_EQ(panel.hourText(), QStringLiteral("1"));
    EXPECT_EQ(panel.minuteText(), QStringLiteral("2"));
    EXPECT_EQ(panel.secondText(), QStringLiteral("3"));
    EXPECT_EQ(panel.frameText(), QStringLiteral("24"));
    EXPECT_EQ(panel.sliderToolTip(), QStringLiteral("3723999"));
    panel.PlayPause();
    player.clearCalls();
    panel.rewind();
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(panel.slider().value, 0);
    EXPECT_EQ(player.calls.mid(0, 2), (QStringList{QStringLiteral("Stop"), QStringLiteral("Pause(-1,0)")}));
    EXPECT_EQ(editor.Grid().currentRow, 1);
}

TEST_F(SoundPanelTest, BrowseAsksAboutUnsavedChanges)
{
    editor.setModified(true);
    bool saved = false;
    FakeProjectCommands project;
    project.saveAs = [&saved] {
        saved = true;
        return true;
    };
    editor.setProjectCommands(&project);
    ui.yesNo = {true};
    panel.browse();
    EXPECT_TRUE(saved);
    EXPECT_TRUE(ui.openDialogs.isEmpty()); // Yes saves and ends the command
    ui.yesNo = {false};
    ui.openNames = {QStringLiteral("/music/other.mp3")};
    player.info.durationMsec = 3000;
    panel.browse();
    ASSERT_EQ(ui.openDialogs.size(), 1);
    EXPECT_EQ(ui.openDialogs.first().title, QStringLiteral("入力ファイルを開く"));
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/music/other.mp3"));
    EXPECT_FALSE(editor.modified());
    EXPECT_EQ(editor.sndLength(), 3000);
}

int main(int argc, char** argv)
{
    // The panel's poll timer needs an event loop's thread.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
