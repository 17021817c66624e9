// The file menu commands around projects (open, save, save as, a project named on the
// command line, a dropped project) and the clip import.

#include "base/timetext.h"
#include "media/soundpanel.h"
#include "project/clipimport.h"
#include "project/projectfile.h"
#include "tests/support/fakeengine.h"
#include "tests/support/files.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "timeline/editor.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vk {
namespace {

const QString kAsk = QStringLiteral("プロジェクトが変更されています。保存しますか？");

QByteArray readAll(const QString& path)
{
    return testsupport::ReadBytes(path);
}

using testsupport::WriteBytes;

class ProjectCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        setMediaSizeProbe({});
        engine.info.durationMsec = 8000;
        engine.info.secondsPerFrame = 1.0 / 30.0;
        editor.setPanels(&sound, nullptr);
        ConnectProjectCommands(editor, project);

        // A project on disk with two rows, and a different table in the editor.
        other = path("other.rem");
        WriteBytes(other, "<project version=\"2_0_1\"><soundclip soundfile=\"/other.wav\" /><videoclips>"
                          "<videoclip soundmsec=\"0\" videofile=\"/v/o.mp4\" beginmsec=\"0\" endmsec=\"2000\""
                          " intervalmsec=\"33\" rate=\"\" trans=\"\" transmsec=\"\" />"
                          "<videoclip soundmsec=\"4000\" videofile=\"\" beginmsec=\"-1\" endmsec=\"-1\""
                          " intervalmsec=\"-1\" rate=\"\" trans=\"\" transmsec=\"\" /></videoclips></project>");
        editor.setSndFile(QStringLiteral("/current.wav"));
        MakeSections(editor, {0, 1000, 2000}, 5000);
        Register(editor, 2, QStringLiteral("/v/current.mp4"), 0, 990);
    }
    void TearDown() override { setMediaSizeProbe({}); }

    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    bool holdsOther() const
    {
        return editor.sndFile() == QStringLiteral("/other.wav") && editor.Grid().Rows() == 3 &&
               editor.Grid().videoFile(1) == QStringLiteral("/v/o.mp4");
    }

    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine engine;
    SoundPanel sound{editor, engine, nullptr};
    // The media size probe of the project commands; a test sets it as it needs.
    MediaSizeProbe probe;
    void setMediaSizeProbe(MediaSizeProbe p) { probe = std::move(p); }
    MediaSizeProbe forwardingProbe()
    {
        return [this](const QString& file, int& w, int& h) { return probe && probe(file, w, h); };
    }
    ProjectFile project{editor, forwardingProbe()};
    QTemporaryDir m_dir;
    QString other;
};

// ---- open ---------------------------------------------------------------------------------

TEST_F(ProjectCommandsTest, CommandLineProjectOpensOnceWithoutQuestionOrDialog)
{
    editor.args() = QStringList{QString(), other};
    editor.setModified(true);
    project.OpenCommand();
    EXPECT_TRUE(holdsOther());
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_EQ(editor.projectPath(), other);
    EXPECT_TRUE(editor.args().isEmpty());
    EXPECT_TRUE(ui.questions.isEmpty());
    EXPECT_TRUE(ui.openDialogs.isEmpty());
    EXPECT_TRUE(editor.modified());
    EXPECT_EQ(editor.Grid().speedText(1, editor.sndLength()), QStringLiteral("0.5x")); // 2000 / 4000

    // The argument is used up: the next open asks and shows the dialog.
    project.OpenCommand();
    EXPECT_EQ(ui.questions.size(), 1);
    EXPECT_EQ(ui.openDialogs.size(), 1);
}

TEST_F(ProjectCommandsTest, EmptyCommandLineArgumentFallsBackToTheDialog)
{
    editor.args() = QStringList{QString(), QString()};
    ui.openNames = {other};
    project.OpenCommand();
    ASSERT_EQ(ui.openDialogs.size(), 1);
    EXPECT_EQ(ui.openDialogs[0].title, QStringLiteral("プロジェクトを開く"));
    EXPECT_EQ(ui.openDialogs[0].filter, QStringLiteral("プロジェクトファイル (*.rem)"));
    EXPECT_TRUE(holdsOther());
    EXPECT_EQ(editor.projectPath(), other);
}

TEST_F(ProjectCommandsTest, OpenWhileModifiedAnsweredNoOpensAndKeepsTheFlag)
{
    editor.setModified(true);
    ui.yesNo = {false};
    ui.openNames = {other};
    project.OpenCommand();
    ASSERT_EQ(ui.questions.size(), 1);
    EXPECT_EQ(ui.questions[0].text, kAsk);
    EXPECT_TRUE(holdsOther());
    EXPECT_TRUE(editor.modified());
}

TEST_F(ProjectCommandsTest, OpenWhileModifiedAnsweredYesSavesAndDoesNotOpen)
{
    editor.setModified(true);
    const QString saved = path("saved.rem");
    ui.yesNo = {true};
    ui.saveNames = {saved};
    ui.openNames = {other};
    project.OpenCommand();
    EXPECT_EQ(ui.saveDialogs.size(), 1);
    EXPECT_TRUE(ui.openDialogs.isEmpty());
    EXPECT_TRUE(QFile::exists(saved));
    EXPECT_FALSE(editor.modified());
    EXPECT_EQ(editor.projectPath(), saved);
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/current.wav"));
    EXPECT_EQ(editor.Grid().Rows(), 4);
}

TEST_F(ProjectCommandsTest, YesThenCancelledSaveAsStopsOpenImportAndDrop)
{
    editor.setModified(true);
    const RowTable before = editor.Grid();
    ClipImport import{editor, forwardingProbe()};

    ui.yesNo = {true, true, true};
    ui.saveNames = {std::nullopt, std::nullopt, std::nullopt};
    ui.openNames = {other, other};
    project.OpenCommand();
    import.ImportCommand();
    editor.projectCommands()->ProjectOpenFile(other); // a project dropped on the table

    EXPECT_EQ(ui.questions.size(), 3);
    EXPECT_EQ(ui.saveDialogs.size(), 3);
    EXPECT_TRUE(ui.openDialogs.isEmpty());
    EXPECT_TRUE(editor.Grid() == before);
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/current.wav"));
    EXPECT_TRUE(editor.projectPath().isEmpty());
    EXPECT_TRUE(editor.modified());
}

TEST_F(ProjectCommandsTest, YesThenFailingSaveAsStopsTheOpen)
{
    editor.setModified(true);
    const QString blocker = path("blocker");
    WriteBytes(blocker, "x");
    ui.yesNo = {true};
    ui.saveNames = {blocker + QStringLiteral("/p.rem")};
    ui.openNames = {other};
    project.OpenCommand();
    EXPECT_TRUE(ui.openDialogs.isEmpty());
    EXPECT_EQ(ui.messages.size(), 1); // the failed save
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/current.wav"));
    EXPECT_TRUE(editor.modified());
}

TEST_F(ProjectCommandsTest, OpenCancelledChangesNothing)
{
    const RowTable before = editor.Grid();
    project.OpenCommand(); // the open dialog answers cancel
    EXPECT_EQ(ui.openDialogs.size(), 1);
    EXPECT_TRUE(editor.Grid() == before);
    EXPECT_TRUE(editor.projectPath().isEmpty());
    EXPECT_TRUE(engine.calls.isEmpty());
}

TEST_F(ProjectCommandsTest, OpeningAMissingProjectKeepsTheCurrentOne)
{
    editor.setProjectPath(QStringLiteral("/projects/mine.rem"));
    const RowTable before = editor.Grid();
    const QString missing = path("gone.rem");
    ui.openNames = {missing};
    project.OpenCommand();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.contains(missing));
    EXPECT_EQ(editor.projectPath(), QStringLiteral("/projects/mine.rem"));
    EXPECT_TRUE(editor.Grid() == before);

    // A dropped file that is not a project likewise.
    const QString bad = path("bad.rem");
    WriteBytes(bad, "<nothing/>");
    editor.projectCommands()->ProjectOpenFile(bad);
    EXPECT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(editor.projectPath(), QStringLiteral("/projects/mine.rem"));
    EXPECT_TRUE(editor.Grid() == before);
}

TEST_F(ProjectCommandsTest, UndoAfterOpeningAProjectChangesNothing)
{
    // An edit of the current project leaves something to undo ...
    editor.setDraggedRange(2, 2);
    editor.Grid().currentRow = 2;
    editor.sections().SndDelete();
    ASSERT_EQ(editor.Grid().Rows(), 3);
    ui.yesNo = {false};
    editor.projectCommands()->ProjectOpenFile(other);
    ASSERT_TRUE(holdsOther());
    const RowTable opened = editor.Grid();

    // ... but not in the project opened after it: its rows stay under its sound clip.
    editor.history().Undo();
    EXPECT_EQ(editor.Grid(), opened);
    editor.history().Redo();
    EXPECT_EQ(editor.Grid(), opened);
    EXPECT_TRUE(holdsOther());

    // The next edit of the opened project can be undone again.
    editor.setDraggedRange(2, 2);
    editor.Grid().currentRow = 2;
    editor.sections().SndDelete();
    ASSERT_EQ(editor.Grid().Rows(), 2);
    editor.history().Undo();
    EXPECT_EQ(editor.Grid().Rows(), 3);
    EXPECT_EQ(editor.Grid().row(2).start, 4000);
}

TEST_F(ProjectCommandsTest, DroppedProjectOpensThroughTheHook)
{
    editor.setModified(true);
    ui.yesNo = {false};
    editor.projectCommands()->ProjectOpenFile(other);
    EXPECT_EQ(ui.questions.size(), 1);
    EXPECT_TRUE(holdsOther());
    EXPECT_EQ(editor.projectPath(), other);
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(TableInvariants(editor));
}

// ---- save and save as ---------------------------------------------------------------------

TEST_F(ProjectCommandsTest, SaveWithoutProjectPathRunsSaveAs)
{
    editor.setModified(true);
    const QString target = path("first.rem");
    ui.saveNames = {target};
    project.SaveCommand();
    ASSERT_EQ(ui.saveDialogs.size(), 1);
    EXPECT_EQ(ui.saveDialogs[0].filter, QStringLiteral("*.rem (*.rem)"));
    EXPECT_EQ(ui.saveDialogs[0].defaultSuffix, QStringLiteral("rem"));
    EXPECT_TRUE(ui.saveDialogs[0].fileName.isEmpty());
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_EQ(editor.projectPath(), target);
    EXPECT_FALSE(editor.modified());
}

TEST_F(ProjectCommandsTest, PlainSaveAsksEveryTimeAndNoWritesNothing)
{
    const QString target = path("mine.rem");
    WriteBytes(target, "previous");
    editor.setProjectPath(target);
    editor.setModified(true);

    ui.yesNo = {false};
    project.SaveCommand();
    EXPECT_EQ(readAll(target), QByteArray("previous"));
    EXPECT_TRUE(editor.modified());

    ui.yesNo = {true};
    project.SaveCommand();
    EXPECT_TRUE(readAll(target).startsWith("<project version=\"2_0_1\">"));
    EXPECT_FALSE(editor.modified());

    editor.setModified(true);
    ui.yesNo = {true};
    project.SaveCommand();
    EXPECT_EQ(ui.questions.size(), 3);
    EXPECT_TRUE(ui.saveDialogs.isEmpty());
}

TEST_F(ProjectCommandsTest, SaveAsRemembersTheLastChosenName)
{
    const QString first = path("a.rem");
    ui.saveNames = {first, std::nullopt};
    EXPECT_TRUE(project.SaveAsCommand());
    EXPECT_FALSE(project.SaveAsCommand()); // cancelled
    ASSERT_EQ(ui.saveDialogs.size(), 2);
    EXPECT_EQ(ui.saveDialogs[1].fileName, first);
    EXPECT_EQ(editor.projectPath(), first);
}

TEST_F(ProjectCommandsTest, FailedSaveAsKeepsTheProjectPath)
{
    editor.setProjectPath(QStringLiteral("/projects/mine.rem"));
    editor.setModified(true);
    const QString blocker = path("blocker");
    WriteBytes(blocker, "x");
    ui.saveNames = {blocker + QStringLiteral("/p.rem")};
    EXPECT_FALSE(editor.projectCommands()->SaveAsCommand());
    EXPECT_EQ(editor.projectPath(), QStringLiteral("/projects/mine.rem"));
    EXPECT_TRUE(editor.modified());
    EXPECT_EQ(ui.messages.size(), 1);

    // Without a sound clip the save as ends with its warning, nothing written.
    editor.setSndFile(QString());
    const QString target = path("nosound.rem");
    ui.saveNames = {target};
    EXPECT_FALSE(editor.projectCommands()->SaveAsCommand());
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(ui.messages.last().text, QStringLiteral("音声ﾌｧｲﾙが指定されていません。"));
}

// ---- clip import --------------------------------------------------------------------------

class ClipImportTest : public ProjectCommandsTest {
protected:
    // A source project with clips /v/c1.mp4 .. /v/cN.mp4; clip i spans i*320 .. i*320+1000
    // in whole 40 ms frames with speed text "<i>x"; the clips named in `blank` have no video.
    QString makeSource(int n, std::vector<int> blank = {}, bool emptySpeeds = false)
    {
        QByteArray xml = "<project version=\"2_0_1\"><soundclip soundfile=\"/src.wav\" /><videoclips>";
        for (int i = 1; i <= n; ++i) {
            const bool none = std::find(blank.begin(), blank.end(), i) != blank.end();
            const QByteArray file = none ? QByteArray() : "/v/c" + QByteArray::number(i) + ".mp4";
            const QByteArray rate = emptySpeeds ? QByteArray() : QByteArray::number(i) + "x";
            xml += "<videoclip soundmsec=\"" + QByteArray::number(i * 100000) + "\" videofile=\"" + file +
                   "\" beginmsec=\"" + QByteArray::number(i * 320) + "\" endmsec=\"" +
                   QByteArray::number(i * 320 + 1000) + "\" intervalmsec=\"40\" rate=\"" + rate +
                   "\" trans=\"ﾌｪｰﾄﾞ\" transmsec=\"" + QByteArray::number(i * 10) + "\" />";
        }
        xml += "</videoclips></project>";
        const QString file = path("source.rem");
        WriteBytes(file, xml);
        return file;
    }

    // Ten rows of 1 s each, every one registered with /v/old<r>.mp4.
    void makeTenRows()
    {
        std::vector<int> starts;
        for (int r = 0; r < 10; ++r)
            starts.push_back(r * 1000);
        MakeSections(editor, starts, 10000);
        for (int r = 1; r <= 10; ++r) {
            Register(editor, r, QStringLiteral("/v/old%1.mp4").arg(r), 0, 660);
            editor.Grid().setSpeed(r, SpeedSetting::span());
        }
        editor.setModified(false);
    }

    void expectClip(int row, int clip)
    {
        const RowTable& g = editor.Grid();
        EXPECT_EQ(g.videoFile(row), QStringLiteral("/v/c%1.mp4").arg(clip)) << "row " << row;
        EXPECT_EQ(CellText(g, row, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
                  MsecToTimeText(clip * 320, 40))
            << "row " << row;
        EXPECT_EQ(CellText(g, row, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
                  MsecToTimeText(clip * 320 + 1000, 40))
            << "row " << row;
        EXPECT_EQ(g.frameInterval(row), 40) << "row " << row;
        // The copied rate names the span's speed; its ratio is the span's over the section.
        EXPECT_EQ(g.speed(row), SpeedSetting::span()) << "row " << row;
        EXPECT_EQ(g.speedText(row, editor.sndLength()), QStringLiteral("1x")) << "row " << row;
        EXPECT_EQ(g.effect(row), QStringLiteral("ﾌｪｰﾄﾞ")) << "row " << row;
        EXPECT_EQ(g.effectLength(row), clip * 10) << "row " << row;
    }
    void expectUnchanged(const RowTable& before, int row)
    {
        for (int c = 1; c < Col::Count; ++c)
            EXPECT_EQ(CellText(editor.Grid(), row, c, editor.sndFrameInterval(), editor.sndLength()),
                      CellText(before, row, c, editor.sndFrameInterval(), editor.sndLength()))
                << "row " << row << " column " << c;
    }

    ClipImport import{editor, forwardingProbe()};
};

TEST_F(ClipImportTest, DraggedRangeOfSeveralRowsBoundsTheImport)
{
    makeTenRows();
    const RowTable before = editor.Grid();
    editor.setDraggedRange(3, 5);
    import.ClipsImport(makeSource(8));
    expectClip(3, 1);
    expectClip(4, 2);
    expectClip(5, 3);
    for (int r : {1, 2, 6, 7, 8, 9, 10})
        expectUnchanged(before, r);
    // Sections stay where they were.
    for (int r = 1; r <= 10; ++r)
        EXPECT_EQ(editor.Grid().row(r).start, before.row(r).start);
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_TRUE(editor.modified());
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/current.wav"));
    EXPECT_TRUE(editor.projectPath().isEmpty());
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(ClipImportTest, SingleRowImportsUntilTheTableEnds)
{
    makeTenRows();
    const RowTable before = editor.Grid();
    editor.setDraggedRange(3, 3);
    import.ClipsImport(makeSource(20));
    expectUnchanged(before, 1);
    expectUnchanged(before, 2);
    for (int r = 3; r <= 10; ++r)
        expectClip(r, r - 2);
    EXPECT_EQ(editor.Grid().Rows(), 11);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(ClipImportTest, ClipWithoutVideoUsesUpItsRow)
{
    makeTenRows();
    const RowTable before = editor.Grid();
    editor.setDraggedRange(1, 4);
    import.ClipsImport(makeSource(6, {2}));
    expectClip(1, 1);
    expectUnchanged(before, 2);
    expectClip(3, 3);
    expectClip(4, 4);
    expectUnchanged(before, 5);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(ClipImportTest, CopiedSpeedsFollowTheNewSectionsAndEmptySpeedsAreComputed)
{
    makeTenRows();
    // Row 2's section becomes 3 s long; the copied "2x" names the span's speed, which
    // is its 1000 ms over the 3000 ms section now.
    MakeSections(editor, {0, 1000, 4000}, 6000);
    editor.setDraggedRange(1, 1);
    import.ClipsImport(makeSource(2));
    EXPECT_EQ(editor.Grid().speedText(2, editor.sndLength()), QStringLiteral("0.333x"));

    import.ClipsImport(makeSource(3, {}, true));
    // Empty speeds are computed from the current sections: 1000 ms over 1000, 3000, 2000.
    EXPECT_EQ(editor.Grid().speedText(1, editor.sndLength()), QStringLiteral("1x"));
    EXPECT_EQ(editor.Grid().speedText(2, editor.sndLength()), QStringLiteral("0.333x"));
    EXPECT_EQ(editor.Grid().speedText(3, editor.sndLength()), QStringLiteral("0.5x"));
}

TEST_F(ClipImportTest, WrittenRowsGetTheirMediaSizesProbedAgain)
{
    makeTenRows();
    int probes = 0;
    setMediaSizeProbe([&probes](const QString& file, int& w, int& h) {
        ++probes;
        if (file == QStringLiteral("/v/c2.mp4"))
            return false; // missing
        w = 320;
        h = 240;
        return true;
    });
    // Two clips name the same file: it is probed once.
    QByteArray xml = "<project><videoclips>"
                     "<videoclip videofile=\"/v/c1.mp4\" beginmsec=\"0\" endmsec=\"990\" intervalmsec=\"33\"/>"
                     "<videoclip videofile=\"/v/c2.mp4\"/>"
                     "<videoclip videofile=\"/v/c1.mp4\"/>"
                     "</videoclips></project>";
    const QString file = path("sizes.rem");
    WriteBytes(file, xml);
    editor.setDraggedRange(1, 1);
    import.ClipsImport(file);
    const RowTable& g = editor.Grid();
    EXPECT_EQ(probes, 2);
    EXPECT_EQ(g.mediaSize(1).value_or(MediaSize{}).width, 320);
    EXPECT_EQ(g.mediaSize(3).value_or(MediaSize{}).height, 240);
    // The old size of row 2 belonged to the old video: it is gone.
    EXPECT_FALSE(g.mediaSize(2).has_value());
    // Rows the import did not write keep theirs.
    EXPECT_EQ(g.mediaSize(4).value_or(MediaSize{}).width, 640);
}

TEST_F(ClipImportTest, UnreadableSourceImportsNothingAndLeavesTheFlag)
{
    makeTenRows();
    const RowTable before = editor.Grid();
    import.ClipsImport(path("missing.rem"));
    const QString bad = path("bad.rem");
    WriteBytes(bad, "<project><videoclips><videoclip");
    import.ClipsImport(bad);
    EXPECT_TRUE(editor.Grid() == before);
    EXPECT_FALSE(editor.modified());
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(ClipImportTest, CommandAsksShowsTheOpenDialogAndImports)
{
    makeTenRows();
    editor.setModified(true);
    editor.setDraggedRange(2, 2);
    ui.yesNo = {false};
    ui.openNames = {makeSource(1)};
    import.ImportCommand();
    ASSERT_EQ(ui.questions.size(), 1);
    EXPECT_EQ(ui.questions[0].text, kAsk);
    ASSERT_EQ(ui.openDialogs.size(), 1);
    EXPECT_EQ(ui.openDialogs[0].title, QStringLiteral("プロジェクトを開く"));
    EXPECT_EQ(ui.openDialogs[0].filter, QStringLiteral("プロジェクトファイル (*.rem)"));
    expectClip(2, 1);

    // Yes runs Save As; the import is not carried out.
    const RowTable before = editor.Grid();
    ui.yesNo = {true};
    ui.saveNames = {path("saved.rem")};
    ui.openNames = {makeSource(3)};
    import.ImportCommand();
    EXPECT_EQ(ui.openDialogs.size(), 1);
    EXPECT_TRUE(editor.Grid() == before);
    EXPECT_FALSE(editor.modified());

    // Unmodified: straight to the dialog; cancel imports nothing.
    ui.openNames.clear();
    import.ImportCommand();
    EXPECT_EQ(ui.questions.size(), 2);
    EXPECT_EQ(ui.openDialogs.size(), 2);
    EXPECT_TRUE(editor.Grid() == before);
}

} // namespace
} // namespace vk
