// Row selection and navigation: mouse releases over the table (dragged range and its
// summary, the speed and effect cells, seeking with the right button), the table's
// keys, "最初へ"/"最後へ" and files dropped on the table. Both panels run on scripted
// players, so each test checks what the players were asked.

#include "base/numbers.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "tests/support/fakecommands.h"
#include "tests/support/fakeengine.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace vk {
namespace {

using Button = RowSelection::Button;

class RowSelection : public ::testing::Test {
protected:
    RowSelection()
    {
        testsupport::EnsureCoreApp("timeline_rowselection_test");
        editor.setPanels(&sound, &video);
        // A 20-second clip loaded into the sound player gives the slider its range.
        sndEngine.info.durationMsec = 20000;
        sndEngine.info.secondsPerFrame = 1.0 / 30.0;
        editor.setSndFile(QStringLiteral("/music/song.wav"));
        sound.SndFileLoad(editor.sndFile());
        vidEngine.info.durationMsec = 60000;
        vidEngine.info.secondsPerFrame = 1.0 / 30.0;
        vidEngine.info.width = 640;
        vidEngine.info.height = 480;
        // Rows start at 0, 1000, 2500, 4000, 4500, 6000, 7000, 9000, 12000, 15000.
        MakeSections(editor, {0, 1000, 2500, 4000, 4500, 6000, 7000, 9000, 12000, 15000}, 20000);
        Register(editor, 2, QStringLiteral("/v/movie.mp4"), 1000, 3000); // 2000 ms over 1500
        Register(editor, 3, QStringLiteral("/v/still.png"), 0, 0);
        editor.Grid().setSpeed(2, SpeedSetting::span());
        editor.Grid().setSpeed(3, SpeedSetting::span());
        sndEngine.clearCalls();
        vidEngine.clearCalls();
        ui.sliderFocus = 0;
    }

    // A click: button down and up on the same cell, which becomes the current cell.
    void click(Button button, int row, int col, int shift = 0)
    {
        editor.selection().GridMouseUp(button, shift, row, row, row, col);
    }

    int selectedRow() const
    {
        int found = 0;
        for (int r = 1; r <= editor.lastRow(); ++r)
            if (editor.Grid().marker(r) == kMarkerSelected) {
                if (found != 0)
                    return -1;
                found = r;
            }
        return found;
    }

    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine sndEngine;
    FakeEngine beep;
    FakeEngine vidEngine;
    SoundPanel sound{editor, sndEngine, &beep};
    VideoPanel video{editor, vidEngine};
};

// ---- dragged range and its summary -----------------------------------------------------------

TEST_F(RowSelection, DragUpwardsGivesTheOrderedRangeAndItsSoundLength)
{
    editor.selection().GridMouseUp(Button::Left, 0, 7, 4, 4, 1);
    EXPECT_EQ(editor.dragFirst(), 4);
    EXPECT_EQ(editor.dragLast(), 7);
    EXPECT_EQ(editor.rowLabel(), QStringLiteral("7行"));
    // Rows 4..7 run from 4000 to the start of row 8 at 9000.
    EXPECT_EQ(editor.msg(), QStringLiteral("4行 ﾄﾞﾗｯｸﾞ選択 (音声区間長=5000ms)"));
    // A drag does not move the marker.
    EXPECT_EQ(selectedRow(), 1);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(RowSelection, DragEndingOnTheLastRowMeasuresToTheClipEnd)
{
    editor.selection().GridMouseUp(Button::Left, 0, 8, 10, 10, 1);
    EXPECT_EQ(editor.dragFirst(), 8);
    EXPECT_EQ(editor.dragLast(), 10);
    EXPECT_EQ(editor.msg(), QStringLiteral("3行 ﾄﾞﾗｯｸﾞ選択 (音声区間長=11000ms)"));
}

TEST_F(RowSelection, ClickSelectsTheRowAndClearsTheSummary)
{
    editor.selection().GridMouseUp(Button::Left, 0, 7, 4, 4, 1);
    click(Button::Left, 5, 1);
    EXPECT_EQ(editor.msg(), QString());
    EXPECT_EQ(editor.dragFirst(), 5);
    EXPECT_EQ(editor.dragLast(), 5);
    EXPECT_EQ(selectedRow(), 5);
    EXPECT_EQ(editor.Grid().currentRow, 5);
    EXPECT_EQ(editor.sndRangeLabel(), QStringLiteral("音声区間長=1500ms"));
    EXPECT_TRUE(sndEngine.calls.isEmpty()) << "a left click does not seek";
}

TEST_F(RowSelection, ReleaseOutsideTheCellsOnlyUpdatesTheRange)
{
    editor.selection().GridMouseUp(Button::Right, 0, 6, 6, -1, -1);
    EXPECT_EQ(editor.dragFirst(), 6);
    EXPECT_EQ(selectedRow(), 1);
    EXPECT_TRUE(sndEngine.calls.isEmpty());

    // Nothing at all without a current row.
    editor.setRowLabel(QStringLiteral("x"));
    editor.selection().GridMouseUp(Button::Left, 0, 0, 3, 3, 1);
    EXPECT_EQ(editor.rowLabel(), QStringLiteral("x"));
    EXPECT_EQ(editor.dragFirst(), 6);
}

// ---- effect column -----------------------------------------------------------------------------

TEST_F(RowSelection, LeftClicksOnTheEffectCellToggleTheLastEffect)
{
    click(Button::Left, 4, Col::Effect);
    EXPECT_EQ(editor.Grid().effect(4), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_EQ(editor.Grid().effectLength(4), 1500);
    EXPECT_TRUE(editor.modified());
    EXPECT_EQ(selectedRow(), 1) << "the effect column does not move the marker";

    editor.Grid().setEffect(6, QStringLiteral("ﾜｲﾌﾟ"));
    editor.Grid().setEffectLength(6, 800);
    click(Button::Left, 6, Col::Effect);
    EXPECT_TRUE(editor.Grid().effect(6).isEmpty());
    EXPECT_EQ(editor.Grid().effectLength(6), std::nullopt);
    EXPECT_EQ(editor.lastEffectName(), QStringLiteral("ﾜｲﾌﾟ"));

    click(Button::Left, 4, Col::Effect);
    EXPECT_TRUE(editor.Grid().effect(4).isEmpty());
    EXPECT_EQ(editor.lastEffectName(), QStringLiteral("ﾌｪｰﾄﾞ"));
    click(Button::Left, 7, Col::Effect);
    EXPECT_EQ(editor.Grid().effect(7), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(RowSelection, RightClickOnTheEffectCellOpensTheDialogForThatRow)
{
    editor.selection().GridMouseUp(Button::Right, 0, 2, 5, 5, Col::Effect);
    EXPECT_EQ(ui.effectDialogs, QList<int>{5});
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(sndEngine.calls.isEmpty()) << "no seek from the effect column";
    EXPECT_TRUE(editor.Grid().effect(5).isEmpty());
}

// ---- speed column ------------------------------------------------------------------------------

TEST_F(RowSelection, LeftClicksOnTheSpeedCellToggleConstantSpeed)
{
    click(Button::Left, 2, Col::Speed);
    EXPECT_EQ(editor.Grid().speedText(2, editor.sndLength()), QStringLiteral("等速"));
    EXPECT_TRUE(editor.modified());
    EXPECT_EQ(selectedRow(), 2);

    editor.setModified(false);
    click(Button::Left, 2, Col::Speed);
    EXPECT_EQ(editor.Grid().speedText(2, editor.sndLength()), QStringLiteral("1.333x"));
    EXPECT_TRUE(editor.modified());
}

TEST_F(RowSelection, SpeedCellOfAStillIsLeftAlone)
{
    click(Button::Left, 3, Col::Speed);
    EXPECT_EQ(editor.Grid().speedText(3, editor.sndLength()), QStringLiteral("0x"));
    EXPECT_FALSE(editor.modified());
    // The click still selects the row.
    EXPECT_EQ(selectedRow(), 3);
}

TEST_F(RowSelection, ConstantSpeedStaysOnARowWithoutRegistration)
{
    click(Button::Left, 5, Col::Speed);
    EXPECT_EQ(editor.Grid().speedText(5, editor.sndLength()), QStringLiteral("等速"));
    editor.setModified(false);
    click(Button::Left, 5, Col::Speed);
    click(Button::Left, 5, Col::Speed);
    EXPECT_EQ(editor.Grid().speedText(5, editor.sndLength()), QStringLiteral("等速"));
    EXPECT_FALSE(editor.modified()) << "nothing changed";
}

TEST_F(RowSelection, DragReleasedOverTheSpeedCellTogglesWithoutMovingTheMarker)
{
    editor.selection().GridMouseUp(Button::Left, 0, 1, 2, 2, Col::Speed);
    EXPECT_EQ(editor.Grid().speedText(2, editor.sndLength()), QStringLiteral("等速"));
    EXPECT_EQ(selectedRow(), 1);
}

TEST_F(RowSelection, RightClickOnTheSpeedCellFillsTheVideoSpeedBoxThenSeeks)
{
    editor.Grid().setSpeed(2, SpeedSetting::normal());
    click(Button::Right, 2, Col::Speed);
    EXPECT_EQ(video.rateText(), QStringLiteral("1.333"));
    EXPECT_EQ(editor.Grid().speedText(2, editor.sndLength()), QStringLiteral("等速")) << "the cell keeps its text";
    EXPECT_EQ(sndEngine.callsStartingWith(QStringLiteral("Pause")).last(), QStringLiteral("Pause(1000,0)"));
    EXPECT_EQ(selectedRow(), 2);
}

TEST_F(RowSelection, RightClickOnTheSpeedCellOfAnEmptyRowDoesNothing)
{
    click(Button::Right, 6, Col::Speed);
    EXPECT_EQ(video.rateText(), QStringLiteral("1.0"));
    EXPECT_TRUE(sndEngine.calls.isEmpty());
    EXPECT_TRUE(vidEngine.calls.isEmpty());
    EXPECT_EQ(selectedRow(), 1);
}

// ---- seeking ---------------------------------------------------------------------------------------

TEST_F(RowSelection, RightClickSeeksTheSoundToTheRowStart)
{
    click(Button::Right, 6, 1);
    EXPECT_EQ(sndEngine.calls.mid(0, 2), (QStringList{QStringLiteral("Stop"), QStringLiteral("Pause(-1,0)")}));
    EXPECT_EQ(sndEngine.callsStartingWith(QStringLiteral("Pause")).last(), QStringLiteral("Pause(6000,0)"));
    EXPECT_EQ(sndEngine.callsStartingWith(QStringLiteral("Play")), QStringList());
    EXPECT_EQ(sound.slider().value, 6000);
    EXPECT_FALSE(sound.timerActive());
    EXPECT_EQ(selectedRow(), 6);
    EXPECT_EQ(editor.Grid().currentRow, 6);
    // Row 6 has no video: the video player is not touched.
    EXPECT_TRUE(vidEngine.calls.isEmpty());
}

TEST_F(RowSelection, RightClickOnARegisteredRowSeeksBothPlayers)
{
    click(Button::Right, 2, 1);
    EXPECT_EQ(sndEngine.callsStartingWith(QStringLiteral("Pause")).last(), QStringLiteral("Pause(1000,0)"));
    EXPECT_EQ(vidEngine.openedPath, QStringLiteral("/v/movie.mp4"));
    EXPECT_EQ(vidEngine.callsStartingWith(QStringLiteral("Pause")).last(), QStringLiteral("Pause(1000,0)"));
    EXPECT_EQ(video.slider().selStart, 1000);
    EXPECT_EQ(video.slider().selLength, 2000);
    EXPECT_EQ(video.rangeText(), QStringLiteral("選択=2000ms"));
    EXPECT_EQ(editor.vidRangeLabel(), QStringLiteral("映像区間長=2000ms"));
    EXPECT_EQ(editor.sndRangeLabel(), QStringLiteral("音声区間長=1500ms"));
    EXPECT_GE(ui.sliderFocus, 1);
}

TEST_F(RowSelection, ShiftAndCtrlStartThePlayersAfterTheSeek)
{
    click(Button::Right, 2, 1, Shift::Ctrl);
    EXPECT_EQ(sndEngine.callsStartingWith(QStringLiteral("Play")), QStringList{QStringLiteral("Play(1000)")});
    EXPECT_TRUE(sound.timerActive());
    EXPECT_TRUE(vidEngine.callsStartingWith(QStringLiteral("Play(1000)")).isEmpty());

    sndEngine.clearCalls();
    vidEngine.clearCalls();
    click(Button::Right, 2, 1, Shift::Shift);
    EXPECT_EQ(vidEngine.calls.filter(QStringLiteral("Play(1000)")).size(), 1);
    EXPECT_TRUE(video.timerActive());
    EXPECT_TRUE(sndEngine.callsStartingWith(QStringLiteral("Play")).isEmpty());

    sndEngine.clearCalls();
    vidEngine.clearCalls();
    click(Button::Right, 6, 1, Shift::Shift | Shift::Ctrl);
    EXPECT_EQ(sndEngine.callsStartingWith(QStringLiteral("Play")), QStringList{QStringLiteral("Play(6000)")});
}

TEST_F(RowSelection, SeekToRowWorksWithoutPanels)
{
    editor.setPanels(nullptr, nullptr);
    editor.selection().SeekToRow(4);
    EXPECT_EQ(selectedRow(), 4);
    EXPECT_TRUE(sndEngine.calls.isEmpty());
    editor.selection().SeekToRow(99); // no such row
    EXPECT_EQ(selectedRow(), 4);
}

// ---- keys ------------------------------------------------------------------------------------------

TEST_F(RowSelection, SpaceSelectsTheCurrentRowAndTogglesTheSound)
{
    editor.Grid().currentRow = 7;
    editor.selection().GridKeyUp(Key::Space, 0);
    EXPECT_EQ(selectedRow(), 7);
    EXPECT_EQ(sndEngine.callsStartingWith(QStringLiteral("Play")).size(), 1);
    EXPECT_TRUE(sound.timerActive());
    EXPECT_EQ(editor.dragFirst(), 1) << "keys do not change the dragged range";
}

TEST_F(RowSelection, EnterSeeksToTheCurrentRowThenToggles)
{
    editor.Grid().currentRow = 4;
    editor.selection().GridKeyUp(Key::Enter, 0);
    EXPECT_EQ(selectedRow(), 4);
    EXPECT_EQ(sound.position(), 4000);
    EXPECT_EQ(sndEngine.callsStartingWith(QStringLiteral("Play")), QStringList{QStringLiteral("Play(4000)")});
}

TEST_F(RowSelection, CtrlXCVRunTheClipboardCommandsAndPassOn)
{
    QStringList ran;
    FakeClipboardCommands clipboard;
    clipboard.cut = [&] { ran << QStringLiteral("cut"); };
    clipboard.copy = [&] { ran << QStringLiteral("copy"); };
    clipboard.paste = [&] { ran << QStringLiteral("paste"); };
    editor.setClipboardCommands(&clipboard);

    editor.selection().GridKeyUp(Key::X, Shift::Ctrl);
    editor.selection().GridKeyUp(Key::C, Shift::Ctrl);
    editor.selection().GridKeyUp(Key::V, Shift::Ctrl);
    EXPECT_EQ(ran, (QStringList{QStringLiteral("cut"), QStringLiteral("copy"), QStringLiteral("paste")}));

    // Exactly Ctrl: with Shift too, or without Ctrl, nothing runs.
    ran.clear();
    editor.selection().GridKeyUp(Key::X, Shift::Ctrl | Shift::Shift);
    editor.selection().GridKeyUp(Key::C, 0);
    editor.selection().GridKeyUp(Key::V, Shift::Alt);
    EXPECT_TRUE(ran.isEmpty());

    // R goes on to the main window's keys, where it cuts.
    editor.selection().GridKeyUp(Key::R, 0);
    EXPECT_EQ(ran, QStringList{QStringLiteral("cut")});
}

TEST_F(RowSelection, CtrlKeysCountTheStateTheKeyWentDownWith)
{
    QStringList ran;
    FakeClipboardCommands clipboard;
    clipboard.cut = [&] { ran << QStringLiteral("cut"); };
    clipboard.copy = [&] { ran << QStringLiteral("copy"); };
    clipboard.paste = [&] { ran << QStringLiteral("paste"); };
    editor.setClipboardCommands(&clipboard);

    // Ctrl let go before the letter: the letter's release carries no Ctrl.
    for (Key key : {Key::X, Key::C, Key::V}) {
        editor.selection().GridKeyDown(key, Shift::Ctrl);
        editor.selection().GridKeyUp(key, 0);
    }
    EXPECT_EQ(ran, (QStringList{QStringLiteral("cut"), QStringLiteral("copy"), QStringLiteral("paste")}));

    // Pressed without Ctrl or with more than Ctrl, nothing runs whatever the release
    // says; a release of another key than the one pressed keeps its own state.
    ran.clear();
    editor.selection().GridKeyDown(Key::C, 0);
    editor.selection().GridKeyUp(Key::C, Shift::Ctrl);
    editor.selection().GridKeyDown(Key::V, Shift::Ctrl | Shift::Shift);
    editor.selection().GridKeyUp(Key::V, 0);
    editor.selection().GridKeyDown(Key::X, Shift::Ctrl);
    editor.selection().GridKeyUp(Key::C, 0);
    EXPECT_TRUE(ran.isEmpty());
    // The press is used once: a later release of the same key alone is its own.
    editor.selection().GridKeyUp(Key::X, 0);
    EXPECT_TRUE(ran.isEmpty());
}

TEST_F(RowSelection, OtherKeysGoOnToTheMainKeyCommands)
{
    // A registers a section at the play position; Down moves one frame.
    sndEngine.position = 5000;
    editor.selection().GridKeyUp(Key::A, 0);
    EXPECT_EQ(editor.lastRow(), 11);
    EXPECT_EQ(editor.Grid().row(6).start, 5000);
    EXPECT_TRUE(TableInvariants(editor));

    sound.scrollTo(2000);
    editor.selection().GridKeyUp(Key::Down, 0);
    EXPECT_EQ(sound.slider().value, 2033);
}

// ---- buttons -------------------------------------------------------------------------------------

TEST_F(RowSelection, FirstAndLastButtonsSelectWithoutSeeking)
{
    editor.setDraggedRange(3, 5);
    editor.selection().GoLast();
    EXPECT_EQ(selectedRow(), 10);
    EXPECT_EQ(editor.Grid().currentRow, 10);
    EXPECT_EQ(ui.sliderFocus, 1);
    editor.selection().GoFirst();
    EXPECT_EQ(selectedRow(), 1);
    EXPECT_EQ(ui.sliderFocus, 2);
    EXPECT_TRUE(sndEngine.calls.isEmpty());
    EXPECT_EQ(editor.dragFirst(), 3);
    EXPECT_EQ(editor.dragLast(), 5);
}

// ---- drops -----------------------------------------------------------------------------------------

TEST_F(RowSelection, OneProjectFileIsOpened)
{
    QStringList opened;
    FakeProjectCommands project;
    project.open = [&](const QString& path) { opened << path; };
    editor.setProjectCommands(&project);
    editor.selection().GridDrop({QStringLiteral("/p/Show.REM")});
    EXPECT_EQ(opened, QStringList{QStringLiteral("/p/Show.REM")});
    EXPECT_EQ(editor.msg(), QString());

    editor.selection().GridDrop({});
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(RowSelection, DroppedStillsAreRegisteredAndOtherFilesReported)
{
    QStringList opened;
    FakeProjectCommands project;
    project.open = [&](const QString& path) { opened << path; };
    editor.setProjectCommands(&project);
    vidEngine.info.durationMsec = 0; // the player reports stills without length
    editor.Grid().currentRow = 5;

    editor.selection().GridDrop(
        {QStringLiteral("/img/a.JPG"), QStringLiteral("/p/show.rem"), QStringLiteral("/img/b.png")});

    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(editor.msg(), QStringLiteral("ﾘｽﾄには、静止画ﾌｧｲﾙまたはﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙのみﾄﾞﾛｯﾌﾟ可能です。"));
    const RowTable& g = editor.Grid();
    EXPECT_EQ(g.videoFile(5), QStringLiteral("/img/a.JPG"));
    EXPECT_EQ(g.videoFile(6), QStringLiteral("/img/b.png"));
    EXPECT_EQ(CellText(g, 6, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:00"));
    EXPECT_EQ(g.currentRow, 7);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(RowSelection, DropWithoutVideoPanelOnlyReports)
{
    editor.setPanels(&sound, nullptr);
    const RowTable before = editor.Grid();
    editor.selection().GridDrop({QStringLiteral("/img/a.gif"), QStringLiteral("/doc/readme.txt")});
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_EQ(editor.msg(), QStringLiteral("ﾘｽﾄには、静止画ﾌｧｲﾙまたはﾌﾟﾛｼﾞｪｸﾄﾌｧｲﾙのみﾄﾞﾛｯﾌﾟ可能です。"));
}

} // namespace
} // namespace vk
