// Undo and redo over many steps: a scripted session of every command that changes rows,
// undone to the start and redone to the end through each table in between; the taps of
// one play and the registrations of one play as one step each; a new edit dropping what
// could be redone; the modified flag following the history to the saved table; the
// history of each document; and hundreds of steps on a large table.

#include "app/qsettingsstore.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "project/clipimport.h"
#include "tests/support/fakeengine.h"
#include "tests/support/testapp.h"
#include "tests/timeline/edits_support.h"
#include "timeline/clipboard.h"
#include "timeline/effects.h"
#include "timeline/resplit.h"

#include <QFile>
#include <functional>

namespace vk {
namespace {

class HistoryTest : public EditsTest {
protected:
    static void SetUpTestSuite() { UseScratchSettings(); }

    HistoryTest()
    {
        testsupport::EnsureCoreApp("timeline_history_test");
        soundEngine.info.durationMsec = 20000;
        soundEngine.info.secondsPerFrame = 1.0 / 30.0;
        soundEngine.state = MediaPlayerEngine::Paused; // a loaded clip
        editor.setPanels(&sound, &video);
        editor.setSndFile(QStringLiteral("/music/song.wav"));
        makeTable(8, 2000, 1500);
        editor.setSoundClip(20000, 33);
        video.formLoad();
        videoEngine.info.durationMsec = 10000;
        videoEngine.info.secondsPerFrame = 0.04;
        videoEngine.info.width = 640;
        videoEngine.info.height = 480;
        video.setFileText(QStringLiteral("/media/a.mp4"));
        video.VidFileLoad(QStringLiteral("/media/a.mp4"));
        editor.setModified(false);
    }

    void drag(int first, int last)
    {
        editor.setDraggedRange(first, last);
        editor.Grid().currentRow = first;
    }
    void markVideoRange(int start, int end)
    {
        video.scrollTo(start);
        video.selStart();
        video.scrollTo(end);
        video.selEnd();
    }

    FakeEngine soundEngine;
    FakeEngine beep;
    SoundPanel sound{editor, soundEngine, &beep};
    FakeEngine videoEngine;
    VideoPanel video{editor, videoEngine};
    VideoClipboard clipboard{editor};
    QSettingsStore settings;
    QTemporaryDir folder;
};

TEST_F(HistoryTest, EveryCommandIsOneStepUndoneToTheStartAndRedoneToTheEnd)
{
    const QString imported = folder.filePath(QStringLiteral("clips.rem"));
    {
        QFile f(imported);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<project version=\"2_0_1\"><soundclip soundfile=\"/x.wav\"/><videoclips>"
                "<videoclip soundmsec=\"0\" videofile=\"/v/imported.mp4\" beginmsec=\"0\" endmsec=\"900\""
                " intervalmsec=\"33\" rate=\"\" trans=\"\" transmsec=\"\"/></videoclips></project>");
    }

    const struct {
        const char* name;
        std::function<void()> run;
    } commands[] = {
        {"the taps of one play",
         [&] {
             sound.PlayPause();
             for (int at : {4500, 6100, 7300}) {
                 soundEngine.position = at;
                 editor.sections().SndRegister();
             }
             sound.PlayPause();
         }},
        {"delete sections",
         [&] {
             drag(3, 4);
             editor.sections().SndDelete();
         }},
        {"split a section",
         [&] {
             drag(2, 2);
             ui.inputs.push_back(QStringLiteral("3"));
             editor.sections().SndSplit();
         }},
        {"equalise sections",
         [&] {
             drag(1, 4);
             editor.sections().SndSameSplit();
         }},
        {"split on beats",
         [&] {
             drag(6, 6);
             editor.sections().SndBeatSplit({12500.0, 13000.0, 13500.0});
         }},
        {"register with S",
         [&] {
             editor.selection().SelectRow(2);
             markVideoRange(1000, 2600);
             video.VidRegister();
         }},
        {"the registrations of one play",
         [&] {
             editor.selection().SelectRow(5);
             markVideoRange(3000, 3100);
             video.scrollTo(3000);
             video.PlayPause();
             for (int at : {3800, 4700}) {
                 videoEngine.position = at;
                 video.tick();
                 video.keyCommand(Key::A, 0);
             }
             video.PlayPause();
         }},
        {"re-split the video",
         [&] {
             drag(5, 6); // the two continuous registrations
             ui.inputs.push_back(QStringLiteral("2"));
             VideoResplit(editor).VidSplit();
         }},
        {"cut",
         [&] {
             drag(1, 2);
             clipboard.Cut();
         }},
        {"paste",
         [&] {
             drag(7, 7);
             clipboard.Paste();
         }},
        {"cut and close up",
         [&] {
             drag(3, 3);
             clipboard.CutUp();
         }},
        {"insert paste",
         [&] {
             drag(4, 4);
             clipboard.InsertPaste();
         }},
        {"the effect dialog", [&] { Effects::update(editor, settings, 5, 2, QStringLiteral("800")); }},
        {"a click on an effect cell",
         [&] { editor.selection().GridMouseUp(RowSelection::Button::Left, 0, 6, 6, 6, Col::Effect); }},
        {"a click on a speed cell",
         [&] { editor.selection().GridMouseUp(RowSelection::Button::Left, 0, 5, 5, 5, Col::Speed); }},
        {"clip import",
         [&] {
             drag(9, 9);
             ClipImport(editor).ClipsImport(imported);
         }},
    };

    std::vector<RowTable> tables{editor.Grid()};
    for (const auto& c : commands) {
        c.run();
        ASSERT_FALSE(SameTable(editor.Grid(), tables.back())) << c.name << " changed nothing";
        tables.push_back(editor.Grid());
    }

    // Back through every table, one command at a time, and no further.
    for (size_t i = tables.size() - 1; i > 0; --i) {
        ASSERT_TRUE(editor.history().canUndo()) << commands[i - 1].name;
        editor.history().Undo();
        EXPECT_TRUE(SameTable(editor.Grid(), tables[i - 1])) << "undo of " << commands[i - 1].name;
        EXPECT_TRUE(TableInvariants(editor)) << "undo of " << commands[i - 1].name;
    }
    EXPECT_FALSE(editor.history().canUndo());
    editor.history().Undo();
    EXPECT_TRUE(SameTable(editor.Grid(), tables.front()));

    // And forward again to the end.
    for (size_t i = 1; i < tables.size(); ++i) {
        ASSERT_TRUE(editor.history().canRedo()) << commands[i - 1].name;
        editor.history().Redo();
        EXPECT_TRUE(SameTable(editor.Grid(), tables[i])) << "redo of " << commands[i - 1].name;
    }
    EXPECT_FALSE(editor.history().canRedo());
    editor.history().Redo();
    EXPECT_TRUE(SameTable(editor.Grid(), tables.back()));
}

TEST_F(HistoryTest, TapsWhilePausedAndAfterAnotherCommandStartAStepOfTheirOwn)
{
    std::vector<RowTable> tables{editor.Grid()};
    // Taps while paused: each is a step.
    for (int at : {4500, 6100}) {
        soundEngine.position = at;
        editor.sections().SndRegister();
        tables.push_back(editor.Grid());
    }
    // During a play another command splits the run of taps in two.
    sound.PlayPause();
    soundEngine.position = 7100;
    editor.sections().SndRegister();
    tables.push_back(editor.Grid());
    drag(2, 2);
    editor.sections().SndDelete();
    tables.push_back(editor.Grid());
    for (int at : {9100, 9500}) {
        soundEngine.position = at;
        editor.sections().SndRegister();
    }
    sound.PlayPause();
    tables.push_back(editor.Grid());

    for (size_t i = tables.size() - 1; i > 0; --i) {
        editor.history().Undo();
        EXPECT_TRUE(SameTable(editor.Grid(), tables[i - 1])) << "undo " << i;
    }
    EXPECT_FALSE(editor.history().canUndo());
}

TEST_F(HistoryTest, ANewEditAfterUndoDropsWhatCouldBeRedone)
{
    drag(3, 4);
    editor.sections().SndDelete();
    const RowTable b = editor.Grid();
    editor.history().Undo();
    const RowTable a = editor.Grid();
    ASSERT_FALSE(SameTable(a, b));
    ASSERT_TRUE(editor.history().canRedo());

    // A command that changes nothing keeps what could be redone.
    clipboard.Copy();
    drag(3, 3);
    editor.sections().SndSameSplit(); // one row: refused
    EXPECT_TRUE(editor.history().canRedo());

    drag(2, 5);
    editor.sections().SndDelete();
    const RowTable c = editor.Grid();
    EXPECT_FALSE(editor.history().canRedo());
    editor.history().Redo();
    EXPECT_TRUE(SameTable(editor.Grid(), c));
    editor.history().Undo();
    EXPECT_TRUE(SameTable(editor.Grid(), a));
}

TEST_F(HistoryTest, ModifiedFlagFollowsTheHistoryBackToTheSavedTable)
{
    drag(7, 8);
    editor.sections().SndDelete();
    // Saved here.
    editor.history().markSaved();
    editor.setModified(false);
    drag(2, 3);
    editor.sections().SndDelete();
    EXPECT_TRUE(editor.modified());

    editor.history().Undo();
    EXPECT_FALSE(editor.modified()) << "back at the saved table";
    editor.history().Undo();
    EXPECT_TRUE(editor.modified()) << "before the saved table";
    editor.history().Redo();
    EXPECT_FALSE(editor.modified());
    editor.history().Redo();
    EXPECT_TRUE(editor.modified());

    // Once the saved table cannot be reached again, no undo clears the flag.
    editor.history().Undo();
    editor.history().Undo();
    drag(5, 6);
    editor.sections().SndDelete();
    editor.history().Undo();
    EXPECT_TRUE(editor.modified());
}

TEST_F(HistoryTest, EffectDialogChangeMarksTheProjectModified)
{
    Effects::update(editor, settings, 3, 2, QStringLiteral("700"));
    EXPECT_TRUE(editor.modified());
    editor.history().Undo();
    EXPECT_TRUE(cell(3, Col::Effect).isEmpty());
    EXPECT_FALSE(editor.modified());
}

TEST_F(HistoryTest, ANewDocumentStartsItsOwnHistory)
{
    drag(2, 3);
    editor.sections().SndDelete();
    ASSERT_TRUE(editor.history().canUndo());
    editor.sections().SndClear();
    EXPECT_FALSE(editor.history().canUndo());
    EXPECT_FALSE(editor.history().canRedo());
}

TEST_F(HistoryTest, ADocumentPartOutsideTheTableIsUndoneWithItsStep)
{
    // A value beside the rows, as the beat grid's corrections are.
    QByteArray corrections = "none";
    editor.history().addDocumentPart(
        {[&corrections] { return corrections; }, [&corrections](const QByteArray& v) { corrections = v; }});

    editor.history().SaveUndoData();
    corrections = "tempo x2";
    const RowTable start = editor.Grid();
    // A step of the rows and the part together.
    editor.history().SaveUndoData();
    corrections = "tempo x2, bar at 4000";
    editor.Grid().setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"));
    editor.notifyTable();
    EXPECT_TRUE(editor.history().canUndo());

    editor.history().Undo();
    EXPECT_EQ(corrections, QByteArray("tempo x2"));
    EXPECT_TRUE(SameTable(editor.Grid(), start));
    editor.history().Undo();
    EXPECT_EQ(corrections, QByteArray("none")) << "a step of the part alone";
    EXPECT_FALSE(editor.history().canUndo());
    editor.history().Redo();
    editor.history().Redo();
    EXPECT_EQ(corrections, QByteArray("tempo x2, bar at 4000"));
    EXPECT_EQ(cell(2, Col::Effect), QStringLiteral("ﾌｪｰﾄﾞ"));
}

TEST_F(HistoryTest, APartsBaselineSetWhileAStepIsOpenIsNoChange)
{
    QByteArray corrections;
    const size_t part = editor.history().addDocumentPart(
        {[&corrections] { return corrections; }, [&corrections](const QByteArray& v) { corrections = v; }});
    const RowTable start = editor.Grid();

    // A step is open (the taps of a play) when the part's value arrives for the document.
    editor.history().SaveUndoData();
    editor.Grid().setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"));
    corrections = "from the cache";
    editor.history().setPartBaseline(part);
    editor.notifyTable();

    editor.history().Undo();
    EXPECT_TRUE(SameTable(editor.Grid(), start));
    EXPECT_EQ(corrections, QByteArray("from the cache"));
    EXPECT_FALSE(editor.history().canUndo());

    // Without an open step the next step starts from it too; a later change is a step.
    editor.history().clear();
    corrections = "from the project";
    editor.history().setPartBaseline(part);
    editor.history().SaveUndoData();
    corrections = "by hand";
    editor.history().Undo();
    EXPECT_EQ(corrections, QByteArray("from the project"));
    EXPECT_FALSE(editor.history().canUndo());
}

TEST_F(HistoryTest, HundredsOfStepsOnALargeTableGoBackAndForth)
{
    makeTable(2000, 100, 100);
    editor.history().clear();
    const RowTable start = editor.Grid();
    // 300 single-row edits spread over the table: more than the 200 a user may take back.
    for (int i = 0; i < 300; ++i)
        Effects::update(editor, settings, 1 + (i * 37) % 2000, 1 + i % 3, QString::number(100 + i));
    const RowTable end = editor.Grid();
    EXPECT_EQ(editor.history().stepCount(), 299); // the last step is still open

    for (int i = 0; i < 300; ++i)
        editor.history().Undo();
    EXPECT_TRUE(SameTable(editor.Grid(), start));
    EXPECT_FALSE(editor.history().canUndo());
    for (int i = 0; i < 300; ++i)
        editor.history().Redo();
    EXPECT_TRUE(SameTable(editor.Grid(), end));
}

TEST_F(HistoryTest, TheOldestStepsGoPastTheLimit)
{
    editor.history().clear();
    const int n = UndoHistory::kMaxSteps + 5;
    std::vector<RowTable> tables{editor.Grid()};
    for (int i = 0; i < n; ++i) {
        Effects::update(editor, settings, 1 + i % 8, 1 + i % 3, QString::number(100 + i));
        tables.push_back(editor.Grid());
    }
    int undone = 0;
    while (editor.history().canUndo()) {
        editor.history().Undo();
        ++undone;
    }
    EXPECT_EQ(undone, UndoHistory::kMaxSteps);
    EXPECT_TRUE(SameTable(editor.Grid(), tables[size_t(n - UndoHistory::kMaxSteps)]));
}

} // namespace
} // namespace vk
