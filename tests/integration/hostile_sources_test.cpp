// The editor's sources under hostile conditions, and two editors on one project:
//   Sources     the sound clip deleted while it plays, the video in the panel cut to
//               half its length while it plays (both on the real player), a source
//               deleted while the real T-VideoWrite renders it (WAV, DV AVI, MP4);
//   TwoEditors  a project that another running editor holds modified.
// Every case checks that the user was told, that the rows and their registrations are
// as they were, that no partial file is left and the old target is intact, and that
// the editor still works afterwards: the next load, play or render succeeds.
#include "media/mpv/mpvengine.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "project/autosave.h"
#include "project/projectfile.h"
#include "tests/integration/writeroutput.h"
#include "tests/project/autosave_support.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace vk {
namespace {

using testsupport::Pump;
using testsupport::PumpUntil;

QString allMessages(const ScriptedUi& ui)
{
    QStringList texts;
    for (const auto& m : ui.messages)
        texts << m.text;
    return texts.join(QStringLiteral("\n---\n"));
}

// ---- Sources: the players ----------------------------------------------------------------

// Media of a test's own in a scratch folder: the test deletes or cuts them.
class PlayerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        engine = std::make_unique<MpvEngine>();
    }

    void TearDown() override { engine.reset(); }

    QString make(const QString& name, const QStringList& args)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(testmedia::Generate(args, path)) << name.toStdString();
        return path;
    }

    QString song(const QString& name, int seconds)
    {
        return make(name, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(seconds),
                           QStringLiteral("-ac"), QStringLiteral("2")});
    }

    QString movie(const QString& name, int seconds)
    {
        return make(name, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=s=320x240:r=25:d=%1").arg(seconds), QStringLiteral("-vf"),
                           QStringLiteral("noise=alls=60:allf=t"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                           QStringLiteral("-crf"), QStringLiteral("8"), QStringLiteral("-g"), QStringLiteral("25"),
                           QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")});
    }

    QTemporaryDir dir;
    ScriptedUi ui;
    Editor editor{ui};
    std::unique_ptr<MpvEngine> engine;
};

using SourcesPlayer = PlayerFixture;

// The player plays on from the file it holds open; the panel notices that the clip is
// gone, stops and says so, and the rows keep their sound clip and registrations.
TEST_F(SourcesPlayer, SoundClipDeletedWhileItPlaysStopsWithAMessageAndTheNextClipPlays)
{
    const QString clip = song(QStringLiteral("song.wav"), 6);
    const QString next = song(QStringLiteral("next.wav"), 4);
    SoundPanel panel(editor, *engine, nullptr);
    editor.setPanels(&panel, nullptr);
    panel.SndFileOpen(clip);
    ASSERT_EQ(editor.sndLength(), 6000) << allMessages(ui).toStdString();
    MakeSections(editor, {0, 1500, 3000, 4500}, 6000, 33);
    Register(editor, 2, dir.filePath(QStringLiteral("movie.mp4")), 0, 1400);
    const QStringList rows = test::DumpRows(editor);

    panel.PlayPause();
    ASSERT_TRUE(PumpUntil([&] { return panel.position() > 300; }, 10000));
    ASSERT_TRUE(QFile::remove(clip));
    ASSERT_TRUE(PumpUntil([&] { return !ui.messages.isEmpty(); }, 10000)) << "nothing said";
    EXPECT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(clip)) << ui.messages[0].text.toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("削除"))) << ui.messages[0].text.toStdString();
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(engine->GetState(), MediaPlayerEngine::Paused);
    EXPECT_LT(panel.position(), 5000);
    EXPECT_EQ(test::DumpRows(editor), rows);
    EXPECT_EQ(editor.sndFile(), clip);

    // Told once: the play timer is stopped, and what was already queued says nothing
    // more. The next clip loads and plays.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(ui.messages.size(), 1);
    panel.SndFileOpen(next);
    EXPECT_EQ(editor.sndLength(), 4000) << allMessages(ui).toStdString();
    panel.PlayPause();
    EXPECT_TRUE(PumpUntil([&] { return panel.position() > 500; }, 10000));
    EXPECT_EQ(engine->GetState(), MediaPlayerEngine::Running);
    panel.halt();
    EXPECT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
    editor.setPanels(nullptr, nullptr);
}

// Cut to half while it plays, the video would play to the cut and stop there silently,
// its position put at the end the file no longer has. The panel stops at once with a
// message; what is left of the file still plays, and the next file loads.
TEST_F(SourcesPlayer, VideoCutToHalfWhileItPlaysStopsWithAMessageAndStaysUsable)
{
    const QString clip = movie(QStringLiteral("movie.mp4"), 8);
    const QString next = movie(QStringLiteral("next.mp4"), 3);
    VideoPanel panel(editor, *engine);
    editor.setPanels(nullptr, &panel);
    panel.formLoad();
    MakeSections(editor, {0, 2000, 4000}, 6000, 33);
    Register(editor, 1, clip, 0, 1900, 40, 320, 240);
    const QStringList rows = test::DumpRows(editor);
    ASSERT_TRUE(panel.VidFileLoad(clip)) << allMessages(ui).toStdString();
    ASSERT_EQ(panel.videoLength(), 8000);

    panel.PlayPause();
    ASSERT_TRUE(PumpUntil([&] { return panel.position() > 300; }, 10000));
    {
        QFile f(clip);
        ASSERT_TRUE(f.resize(f.size() / 2));
    }
    ASSERT_TRUE(PumpUntil([&] { return !ui.messages.isEmpty(); }, 10000)) << "nothing said";
    EXPECT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(clip)) << ui.messages[0].text.toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("短く"))) << ui.messages[0].text.toStdString();
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(engine->GetState(), MediaPlayerEngine::Paused);
    EXPECT_LT(panel.position(), 4000);
    EXPECT_EQ(test::DumpRows(editor), rows);

    // What is left plays.
    panel.scrollTo(200);
    panel.PlayPause();
    EXPECT_TRUE(PumpUntil([&] { return panel.position() > 800; }, 10000));
    panel.PlayPause();
    EXPECT_EQ(engine->GetState(), MediaPlayerEngine::Paused);
    // The next file loads and plays.
    ASSERT_TRUE(panel.VidFileLoad(next)) << allMessages(ui).toStdString();
    EXPECT_EQ(panel.videoLength(), 3000);
    panel.PlayPause();
    EXPECT_TRUE(PumpUntil([&] { return panel.position() > 500; }, 10000));
    panel.PlayPause();
    EXPECT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
    EXPECT_EQ(test::DumpRows(editor), rows);
    editor.setPanels(nullptr, nullptr);
}

// ---- Sources: a render -------------------------------------------------------------------

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() && f.flush();
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    bool removedWhileRunning = false;
    bool crashed = false;
    QString out;
    QString err;
};

using Kind = test::OutputKind;

// A 30 s song and a 30 s movie of their own per test (one of them is deleted), ten rows
// of 3 s over the movie, and the real T-VideoWrite started as the output command starts it.
class RenderFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        media = dir.filePath(QStringLiteral("media"));
        out = dir.filePath(QStringLiteral("out"));
        temp = dir.filePath(QStringLiteral("temp"));
        for (const QString& f : {media, out, temp})
            ASSERT_TRUE(QDir().mkpath(f));
        sound = media + QStringLiteral("/song.wav");
        video = media + QStringLiteral("/movie.mp4");
        ASSERT_TRUE(testmedia::Generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                         QStringLiteral("sine=frequency=440:sample_rate=48000:duration=30"),
                                         QStringLiteral("-ac"), QStringLiteral("2")},
                                        sound));
        ASSERT_TRUE(
            testmedia::Generate({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                 QStringLiteral("testsrc=s=320x240:r=30:d=30"), QStringLiteral("-c:v"),
                                 QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")},
                                video));
        qputenv("TEMP", QFile::encodeName(temp));
        editor.setSndFile(sound);
        std::vector<int> starts;
        for (int s = 0; s < 30000; s += 3000)
            starts.push_back(s);
        MakeSections(editor, starts, 30000, 33);
        for (int r = 1; r < editor.Grid().Rows(); ++r)
            Register(editor, r, video, (r * 2000) % 27000, (r * 2000) % 27000 + 2900, 33, 320, 240);
        editor.setAviProfileIndex(0); // DV
        editor.setMp4ProfileIndex(0);
    }

    // Renders to `target`; with `victim`, that file is deleted once the renderer reports
    // a fifth of the frames written.
    Outcome render(Kind kind, const QString& target, const QString& victim = QString())
    {
        bool removed = false;
        const test::WriterRun run =
            test::RunOutputCommand(editor, ui, kind, target, [&](const QString& stdoutText, QProcess& p) {
                if (victim.isEmpty() || removed)
                    return;
                // In the middle: once a fifth of the frames are written.
                static const QRegularExpression progress(QStringLiteral("progress +(\\d+)%"));
                bool middle = false;
                for (const auto& m : progress.globalMatch(stdoutText))
                    middle = middle || m.captured(1).toInt() >= 20;
                if (!middle)
                    return;
                if (p.state() == QProcess::Running && QFile::remove(victim))
                    removed = true;
            });
        Outcome o;
        o.finished = run.finished;
        o.exitCode = run.exitCode;
        o.removedWhileRunning = removed;
        o.crashed = run.crashed;
        o.out = run.out;
        o.err = run.err;
        return o;
    }

    // The source deleted mid-render: the reader's message and exit status, the old target
    // as it was, nothing partial left, the rows untouched; with the source back, the
    // same render goes through.
    void sourceDeletedDuringRender(Kind kind, const QString& name, const QString& victim)
    {
        const QString target = out + QLatin1Char('/') + name;
        const QByteArray previous = "the previous render";
        ASSERT_TRUE(writeBytes(target, previous));
        const QString spare = dir.filePath(QStringLiteral("spare"));
        ASSERT_TRUE(QFile::copy(victim, spare));
        const QStringList rows = test::DumpRows(editor);

        const Outcome gone = render(kind, target, victim);
        ASSERT_TRUE(gone.finished) << (gone.crashed ? "crashed: " : "") << gone.out.toStdString()
                                   << gone.err.toStdString();
        ASSERT_TRUE(gone.removedWhileRunning) << gone.out.toStdString();
        EXPECT_EQ(gone.exitCode, 1) << gone.out.toStdString() << gone.err.toStdString();
        EXPECT_TRUE(gone.err.contains(QStringLiteral("入力ファイルが見つかりません。\n") + victim))
            << gone.err.toStdString();
        EXPECT_EQ(readAll(target), previous);
        EXPECT_EQ(entries(out), QStringList{name});
        EXPECT_EQ(test::DumpRows(editor), rows);
        EXPECT_EQ(editor.sndFile(), sound);

        ASSERT_TRUE(QFile::rename(spare, victim));
        const Outcome ok = render(kind, target);
        ASSERT_TRUE(ok.finished);
        EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
        EXPECT_TRUE(ok.out.contains(QStringLiteral("Finished: ") + target)) << ok.out.toStdString();
        EXPECT_NE(readAll(target), previous);
        EXPECT_EQ(entries(out), QStringList{name});
        EXPECT_EQ(test::DumpRows(editor), rows);
    }

    QTemporaryDir dir;
    QString media, out, temp, sound, video;
    ScriptedUi ui;
    Editor editor{ui};
};

using SourcesRender = RenderFixture;

TEST_F(SourcesRender, SoundDeletedDuringAWavRenderFailsAndKeepsTheOldFile)
{
    sourceDeletedDuringRender(Kind::Wav, QStringLiteral("song-out.wav"), sound);
}

TEST_F(SourcesRender, VideoDeletedDuringADvAviRenderFailsAndKeepsTheOldFile)
{
    sourceDeletedDuringRender(Kind::DvAvi, QStringLiteral("movie.avi"), video);
}

TEST_F(SourcesRender, VideoDeletedDuringAnMp4RenderFailsAndKeepsTheOldFile)
{
    sourceDeletedDuringRender(Kind::Mp4, QStringLiteral("movie.mp4"), video);
}

// ---- Two editors, one project --------------------------------------------------------------

const QStringList kElsewhereButtons{QStringLiteral("読み取り専用で開く"), QStringLiteral("そのまま開く"),
                                    QStringLiteral("キャンセル")};

// This editor, with its autosave in a folder it shares with the other editor, and a
// project of four registered rows saved on disk.
class TwoEditorsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        folder = dir.filePath(QStringLiteral("autosave"));
        projectPath = dir.filePath(QStringLiteral("shared.rem"));
        editor.setSndFile(QStringLiteral("/media/music/song.wav"));
        MakeSections(editor, {0, 2000, 4000, 6000}, 10000, 33);
        for (int r = 1; r < editor.Grid().Rows(); ++r)
            Register(editor, r, QStringLiteral("/media/video/clip %1.mp4").arg(r), 0, 1900);
        ASSERT_TRUE(project.ProjectSave(projectPath)) << allMessages(ui).toStdString();
        saved = readAll(projectPath);
        // The rows as an open of the project gives them.
        ASSERT_TRUE(project.ProjectLoad(projectPath));
        savedRows = test::DumpRows(editor);
        // This editor starts on another, empty project.
        editor.Grid().setRows(1);
        editor.setProjectPath(QString());
        editor.setModified(false);
        autosave = std::make_unique<Autosave>(editor, project, settings, folder);
    }

    void TearDown() override
    {
        autosave.reset();
        if (other.state() != QProcess::NotRunning) {
            other.kill();
            other.waitForFinished(5000);
        }
    }

    // Another editor, a process of its own, opens the project, changes it and keeps it
    // modified (autosaving every second) until it is killed.
    void startOtherEditor()
    {
        other.start(QStringLiteral(VK_AUTOSAVE_CHILD), {folder, projectPath, dir.filePath(QStringLiteral("dump.txt"))});
        ASSERT_TRUE(other.waitForStarted(10000));
        // Its autosave is complete with its companion file (written second).
        ASSERT_TRUE(PumpUntil(
            [&] { return !QDir(folder).entryList({QStringLiteral("*.info")}, QDir::Files).isEmpty(); }, 20000))
            << "the other editor wrote no autosave";
    }

    QStringList autosaves() const { return QDir(folder).entryList({QStringLiteral("*.rem")}, QDir::Files, QDir::Name); }

    // The open command with the project chosen in the open dialog.
    void open()
    {
        ui.openNames.push_back(projectPath);
        project.OpenCommand();
    }

    bool askedOpenElsewhere() const { return !ui.choiceButtons.isEmpty(); }

    QTemporaryDir dir;
    QString folder, projectPath;
    QByteArray saved;
    QStringList savedRows;
    ScriptedUi ui;
    Editor editor{ui};
    ProjectFile project{editor};
    test::MemorySettings settings;
    std::unique_ptr<Autosave> autosave;
    QProcess other;
};

using TwoEditors = TwoEditorsFixture;

// Read-only: the project opens as it is on disk, and Save asks for a new name instead of
// writing over the other editor's project.
TEST_F(TwoEditors, ProjectHeldModifiedElsewhereWarnsAndOpensReadOnly)
{
    startOtherEditor();
    ui.choices = {0};
    open();
    ASSERT_EQ(ui.choiceButtons.size(), 1);
    EXPECT_EQ(ui.choiceButtons[0], kElsewhereButtons);
    const QString text = ui.questions.last().text;
    EXPECT_TRUE(text.contains(QStringLiteral("ほかの videokadro で開かれていて"))) << text.toStdString();
    EXPECT_TRUE(text.contains(projectPath)) << text.toStdString();
    EXPECT_EQ(test::DumpRows(editor), savedRows);
    EXPECT_EQ(editor.projectPath(), projectPath);
    EXPECT_TRUE(project.readOnly());

    // An edit, then Save: the save dialog, and nothing is written when it is cancelled.
    editor.Grid().setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"));
    editor.setModified(true);
    project.SaveCommand();
    EXPECT_EQ(ui.saveDialogs.size(), 1);
    EXPECT_EQ(readAll(projectPath), saved);
    EXPECT_TRUE(editor.modified());

    // Saved under a new name, the project is this editor's own, and Save writes there.
    const QString mine = dir.filePath(QStringLiteral("mine.rem"));
    ui.saveNames.push_back(mine);
    project.SaveCommand();
    EXPECT_EQ(editor.projectPath(), mine);
    EXPECT_FALSE(project.readOnly());
    EXPECT_FALSE(editor.modified());
    EXPECT_EQ(readAll(projectPath), saved);
    editor.Grid().setEffect(3, QStringLiteral("ﾜｲﾌﾟ"));
    editor.setModified(true);
    ui.yesNo = {true};
    project.SaveCommand();
    EXPECT_EQ(ui.saveDialogs.size(), 2);
    EXPECT_FALSE(editor.modified());
    EXPECT_EQ(readAll(projectPath), saved);
}

TEST_F(TwoEditors, ProjectHeldModifiedElsewhereOpensAnywayOrNotAtAllAsChosen)
{
    startOtherEditor();
    // Cancel: nothing opens, this editor's project stays as it was.
    ui.choices = {2};
    open();
    EXPECT_EQ(ui.choiceButtons.size(), 1);
    EXPECT_EQ(editor.Grid().Rows(), 1);
    EXPECT_TRUE(editor.projectPath().isEmpty());

    // Open anyway: an ordinary open, and Save writes over the project.
    ui.choices = {1};
    open();
    EXPECT_EQ(ui.choiceButtons.size(), 2);
    EXPECT_EQ(test::DumpRows(editor), savedRows);
    EXPECT_EQ(editor.projectPath(), projectPath);
    EXPECT_FALSE(project.readOnly());
    editor.Grid().setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"));
    editor.setModified(true);
    ui.yesNo = {true};
    project.SaveCommand();
    EXPECT_TRUE(ui.saveDialogs.isEmpty());
    EXPECT_FALSE(editor.modified());
    EXPECT_NE(readAll(projectPath), saved);
}

// A second editor in this process holds the project: open but unchanged it says nothing
// to others, modified it does, and once it has saved it no longer does.
TEST_F(TwoEditors, WarnsOnlyWhileTheOtherEditorHasUnsavedChanges)
{
    ScriptedUi otherUi;
    Editor otherEditor{otherUi};
    ProjectFile otherProject{otherEditor};
    Autosave otherAutosave(otherEditor, otherProject, settings, folder);
    otherUi.openNames.push_back(projectPath);
    otherProject.OpenCommand();
    ASSERT_EQ(otherEditor.projectPath(), projectPath);
    ASSERT_FALSE(otherEditor.modified());

    open();
    EXPECT_FALSE(askedOpenElsewhere());
    EXPECT_EQ(editor.projectPath(), projectPath);
    EXPECT_FALSE(project.readOnly());

    // Modified there, before its first autosave: asked.
    otherEditor.Grid().setEffect(1, QStringLiteral("ﾌｪｰﾄﾞ"));
    otherEditor.setModified(true);
    ui.choices = {0};
    open();
    EXPECT_EQ(ui.choiceButtons.size(), 1);
    EXPECT_TRUE(project.readOnly());

    // Saved there: no longer asked.
    otherUi.yesNo = {true};
    otherProject.SaveCommand();
    ASSERT_FALSE(otherEditor.modified());
    open();
    EXPECT_EQ(ui.choiceButtons.size(), 1);
    EXPECT_FALSE(project.readOnly());
    // This editor's own changes to its project never make it ask itself.
    editor.setModified(true);
    editor.setModified(false);
    editor.setModified(true);
    ui.yesNo = {false}; // do not save before opening again
    open();
    EXPECT_EQ(ui.choiceButtons.size(), 1);
}

// The other editor was killed: its lock names a process that is gone. No warning, and
// its autosave is still there to be recovered.
TEST_F(TwoEditors, LockOfAnEditorThatIsGoneDoesNotWarn)
{
    startOtherEditor();
    const QStringList left = autosaves();
    other.kill();
    ASSERT_TRUE(other.waitForFinished(10000));
    ASSERT_FALSE(QDir(folder).entryList({QStringLiteral("*.lock")}, QDir::Files).isEmpty());

    open();
    EXPECT_FALSE(askedOpenElsewhere());
    EXPECT_EQ(test::DumpRows(editor), savedRows);
    EXPECT_FALSE(project.readOnly());
    EXPECT_EQ(autosaves(), left);
    EXPECT_EQ(autosave->leftovers().size(), 1u);
}

} // namespace
} // namespace vk

int main(int argc, char** argv)
{
    vk::testsupport::HeadlessDefaults(true);
    vk::testsupport::EnsureCoreApp("integration_hostile_sources_test");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
