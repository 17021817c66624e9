// Autosave and crash recovery: what is written, where and when it goes away, and the
// offer at the next start after a run was killed while its project was modified.
#include "project/autosave.h"
#include "project/projectfile.h"
#include "tests/project/autosave_support.h"
#include "tests/support/scriptedui.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

namespace vk {
namespace {

using test::DumpRows;
using test::MakeTestEdit;
using test::MemorySettings;

int g_argc = 1;
char g_name[] = "project_autosave_test";
char* g_argv[] = {g_name, nullptr};

void ensureApp()
{
    // Timers need the event dispatcher of an application object.
    static QCoreApplication* app = new QCoreApplication(g_argc, g_argv);
    (void)app;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList filesIn(const QString& folder, const QString& pattern)
{
    return QDir(folder).entryList({pattern}, QDir::Files, QDir::Name);
}

const QDateTime kClockTime(QDate(2026, 3, 14), QTime(15, 9, 26));

class AutosaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApp();
        ASSERT_TRUE(dir.isValid());
        folder = dir.filePath(QStringLiteral("autosave"));
        projectPath = dir.filePath(QStringLiteral("my song.rem"));
        // A project as this program saves it: section starts on whole frames, so that a
        // load gives back exactly the table that was saved.
        Session source;
        ASSERT_TRUE(source.project.ProjectLoad(QStringLiteral(VK_PROJECT_DATA "/three_rows.rem")));
        ASSERT_TRUE(source.project.ProjectSave(projectPath));
    }

    // An editor with the project open, as after the open command.
    struct Session {
        ScriptedUi ui;
        Editor editor{ui};
        ProjectFile project{editor};
        std::unique_ptr<Autosave> autosave;
    };
    std::unique_ptr<Session> start(bool openProject = true)
    {
        auto s = std::make_unique<Session>();
        if (openProject) {
            EXPECT_TRUE(s->project.ProjectLoad(projectPath));
            s->editor.setProjectPath(projectPath);
        }
        s->autosave = std::make_unique<Autosave>(s->editor, s->project, settings, folder, [] { return kClockTime; });
        return s;
    }

    // Starts the helper on the project, waits until its autosave is on disk and kills it.
    // The helper's table goes to `rows`.
    void crashWhileModified(bool untitled, QStringList& rows)
    {
        const QString dumpPath = dir.filePath(QStringLiteral("child-rows.txt"));
        QStringList args{folder, projectPath, dumpPath};
        if (untitled)
            args << QStringLiteral("untitled");
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(VK_AUTOSAVE_CHILD), args);
        ASSERT_TRUE(child.waitForStarted(30000));
        // The autosave's companion file is written last.
        QDeadlineTimer deadline(60000);
        while (filesIn(folder, QStringLiteral("*.info")).isEmpty() && child.state() == QProcess::Running &&
               !deadline.hasExpired())
            QThread::msleep(20);
        ASSERT_EQ(child.state(), QProcess::Running) << "the helper ended with " << child.exitCode();
        ASSERT_FALSE(filesIn(folder, QStringLiteral("*.info")).isEmpty()) << "no autosave within a minute";
        ::kill(pid_t(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
        rows = QString::fromUtf8(readAll(dumpPath)).split(QLatin1Char('\n'));
        ASSERT_GT(rows.size(), 4);
    }

    QTemporaryDir dir;
    QString folder;
    QString projectPath;
    MemorySettings settings;
};

TEST_F(AutosaveTest, IntervalFromTheSettingsAndTimerOnlyWhileModified)
{
    {
        auto s = start();
        EXPECT_EQ(s->autosave->intervalMsec(), 60000);
        EXPECT_FALSE(s->autosave->timerActive());
        EXPECT_FALSE(s->autosave->writeNow()) << "an unmodified project is not autosaved";
        EXPECT_TRUE(filesIn(folder, QStringLiteral("*")).isEmpty());
        MakeTestEdit(s->editor);
        EXPECT_TRUE(s->autosave->timerActive());
        s->editor.setModified(false);
        EXPECT_FALSE(s->autosave->timerActive());
    }
    settings.values.insert(Autosave::intervalSetting(), QStringLiteral(" 15 "));
    EXPECT_EQ(start()->autosave->intervalMsec(), 15000);
    for (const char* bad : {"0", "-5", "abc", ""}) {
        settings.values.insert(Autosave::intervalSetting(), QString::fromLatin1(bad));
        EXPECT_EQ(start()->autosave->intervalMsec(), 60000) << bad;
    }
}

TEST_F(AutosaveTest, WritesTheProjectDocumentToItsOwnFileNeverTheProject)
{
    const QByteArray original = readAll(projectPath);
    auto s = start();
    MakeTestEdit(s->editor);
    ASSERT_TRUE(s->autosave->writeNow());

    // The same document a save would write, in the autosave folder.
    QByteArray expected;
    QString reason;
    ASSERT_TRUE(ProjectFile::BuildDocument(s->editor, expected, reason));
    const QString file = s->autosave->currentFile();
    EXPECT_EQ(QFileInfo(file).absolutePath(), QDir(folder).absolutePath());
    EXPECT_TRUE(QFileInfo(file).fileName().startsWith(QStringLiteral("my song-")));
    EXPECT_EQ(readAll(file), expected);
    EXPECT_EQ(readAll(projectPath), original) << "the user's project was touched";
    EXPECT_EQ(filesIn(dir.path(), QStringLiteral("*")), QStringList{QStringLiteral("my song.rem")});

    const QJsonObject info =
        QJsonDocument::fromJson(
            readAll(folder + QStringLiteral("/") + QFileInfo(file).completeBaseName() + QStringLiteral(".info")))
            .object();
    EXPECT_EQ(info.value(QStringLiteral("project")).toString(), projectPath);
    EXPECT_EQ(QDateTime::fromString(info.value(QStringLiteral("saved")).toString(), Qt::ISODateWithMs), kClockTime);

    // A later write replaces it; an untitled project has a file of its own, and only one
    // autosave exists per open project.
    s->editor.Grid().setEffect(1, QStringLiteral("ﾌｪｰﾄﾞ"));
    ASSERT_TRUE(s->autosave->writeNow());
    ASSERT_TRUE(ProjectFile::BuildDocument(s->editor, expected, reason));
    EXPECT_EQ(readAll(file), expected);
    s->editor.setProjectPath(QString());
    ASSERT_TRUE(s->autosave->writeNow());
    EXPECT_TRUE(QFileInfo(s->autosave->currentFile()).fileName().startsWith(QStringLiteral("untitled-")));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(filesIn(folder, QStringLiteral("*.rem")).size(), 1);
}

TEST_F(AutosaveTest, CarriesTheBeatGridCorrectionsAsASaveDoes)
{
    auto s = start();
    const ProjectFile::BeatGridElement corrections{QByteArray("0123abcd"), QByteArray("shift 0 25")};
    std::optional<ProjectFile::BeatGridElement> restored;
    s->project.setBeatGridHooks({[&] { return std::optional<ProjectFile::BeatGridElement>(corrections); },
                                 [&](const std::optional<ProjectFile::BeatGridElement>& g) { restored = g; }});
    MakeTestEdit(s->editor);
    ASSERT_TRUE(s->autosave->writeNow());
    QByteArray expected;
    QString reason;
    ASSERT_TRUE(s->project.buildCurrentDocument(expected, reason));
    EXPECT_TRUE(expected.contains("<beatgrid soundkey=\"0123abcd\">shift 0 25</beatgrid>"));
    EXPECT_EQ(readAll(s->autosave->currentFile()), expected);

    // A recovery gives them back with the rows.
    ASSERT_TRUE(s->project.ProjectLoad(s->autosave->currentFile()));
    ASSERT_TRUE(restored.has_value());
    EXPECT_EQ(restored->corrections, corrections.corrections);
    EXPECT_EQ(restored->soundKey, corrections.soundKey);
}

TEST_F(AutosaveTest, SaveDiscardAndNormalEndRemoveTheAutosave)
{
    auto s = start();
    MakeTestEdit(s->editor);
    ASSERT_TRUE(s->autosave->writeNow());
    const QString file = s->autosave->currentFile();
    ASSERT_TRUE(QFile::exists(file));

    // Save (over the existing project: Yes to the overwrite question).
    s->ui.yesNo.push_back(true);
    ASSERT_TRUE(s->project.ProjectSave(projectPath));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(filesIn(folder, QStringLiteral("*")).isEmpty())
        << filesIn(folder, QStringLiteral("*")).join(QLatin1Char(' ')).toStdString();

    // Changes given up.
    MakeTestEdit(s->editor);
    ASSERT_TRUE(s->autosave->writeNow());
    ASSERT_TRUE(QFile::exists(file));
    s->editor.setModified(false);
    EXPECT_TRUE(filesIn(folder, QStringLiteral("*")).isEmpty());

    // The program ends normally while modified.
    MakeTestEdit(s->editor);
    ASSERT_TRUE(s->autosave->writeNow());
    ASSERT_TRUE(QFile::exists(file));
    s->autosave.reset();
    EXPECT_TRUE(filesIn(folder, QStringLiteral("*")).isEmpty());
}

TEST_F(AutosaveTest, RunningEditorsAutosaveIsNotOffered)
{
    auto first = start();
    MakeTestEdit(first->editor);
    ASSERT_TRUE(first->autosave->writeNow());

    auto second = start(false);
    EXPECT_TRUE(second->autosave->leftovers().empty());
    EXPECT_FALSE(second->autosave->offerRecovery());
    EXPECT_TRUE(second->ui.questions.isEmpty());
    EXPECT_TRUE(QFile::exists(first->autosave->currentFile()));
}

TEST_F(AutosaveTest, KilledWhileModifiedIsOfferedAndYesRestoresTheRows)
{
    const QByteArray original = readAll(projectPath);
    QStringList childRows;
    ASSERT_NO_FATAL_FAILURE(crashWhileModified(false, childRows));
    const std::vector<Autosave::Leftover> left = start(false)->autosave->leftovers();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].projectPath, projectPath);

    auto s = start(false);
    s->ui.yesNo.push_back(true);
    ASSERT_TRUE(s->autosave->offerRecovery());
    ASSERT_EQ(s->ui.questions.size(), 1);
    const QString question = s->ui.questions.at(0).text;
    EXPECT_TRUE(question.contains(QStringLiteral("my song.rem"))) << question.toStdString();
    EXPECT_TRUE(question.contains(left[0].savedAt.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))))
        << question.toStdString();
    EXPECT_TRUE(question.endsWith(QStringLiteral("復元しますか？"))) << question.toStdString();
    EXPECT_TRUE(s->ui.messages.isEmpty());

    EXPECT_EQ(DumpRows(s->editor).join(QLatin1Char('\n')).toStdString(),
              childRows.join(QLatin1Char('\n')).toStdString());
    EXPECT_TRUE(s->editor.modified());
    EXPECT_EQ(s->editor.projectPath(), projectPath);
    EXPECT_EQ(readAll(projectPath), original);
    // Not offered again: it is this run's autosave now.
    EXPECT_TRUE(start(false)->autosave->leftovers().empty());

    // Save writes the user's own file and ends the autosave.
    s->ui.yesNo.push_back(true);
    s->project.SaveCommand();
    EXPECT_FALSE(s->editor.modified());
    EXPECT_NE(readAll(projectPath), original);
    EXPECT_TRUE(filesIn(folder, QStringLiteral("*.rem")).isEmpty());
    Session reopened;
    ASSERT_TRUE(reopened.project.ProjectLoad(projectPath));
    EXPECT_EQ(DumpRows(reopened.editor).join(QLatin1Char('\n')).toStdString(),
              childRows.join(QLatin1Char('\n')).toStdString());
}

TEST_F(AutosaveTest, KilledUntitledProjectAnsweredNoIsRemoved)
{
    QStringList childRows;
    ASSERT_NO_FATAL_FAILURE(crashWhileModified(true, childRows));
    ASSERT_EQ(filesIn(folder, QStringLiteral("untitled-*.rem")).size(), 1);

    auto s = start(false);
    s->ui.yesNo.push_back(false);
    EXPECT_FALSE(s->autosave->offerRecovery());
    ASSERT_EQ(s->ui.questions.size(), 1);
    EXPECT_TRUE(s->ui.questions.at(0).text.contains(Autosave::projectName(QString())));
    EXPECT_FALSE(s->editor.modified());
    EXPECT_TRUE(filesIn(folder, QStringLiteral("*.rem")).isEmpty());
    EXPECT_TRUE(filesIn(folder, QStringLiteral("*.info")).isEmpty());
    EXPECT_FALSE(start(false)->autosave->offerRecovery());
}

// A failed write comes from the timer, whatever the user is doing: a box then would
// come up mid-play and take the taps. Each failure shows in the status line; the box
// only when nothing plays, once for a run of failures.
TEST_F(AutosaveTest, AFailedWriteIsToldInTheStatusLineAndInABoxOnlyWhenNothingPlays)
{
    auto s = start();
    bool playing = true;
    s->autosave->setPlayingCheck([&playing] { return playing; });
    MakeTestEdit(s->editor);
    ASSERT_TRUE(s->autosave->writeNow());
    const QString file = s->autosave->currentFile();
    // The autosave's own name taken by a folder: no write can replace it.
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkdir(file));
    const QString failed = QStringLiteral("自動保存できませんでした");

    EXPECT_FALSE(s->autosave->writeNow());
    EXPECT_FALSE(s->autosave->writeNow());
    EXPECT_TRUE(s->ui.messages.isEmpty()) << "a box while the song plays";
    EXPECT_TRUE(s->editor.msg().startsWith(failed)) << s->editor.msg().toStdString();

    // The play has stopped: the next failure is told once, with the file.
    playing = false;
    s->editor.setMsg(QString());
    EXPECT_FALSE(s->autosave->writeNow());
    EXPECT_FALSE(s->autosave->writeNow());
    ASSERT_EQ(s->ui.messages.size(), 1);
    EXPECT_TRUE(s->ui.messages.at(0).text.contains(file)) << s->ui.messages.at(0).text.toStdString();
    EXPECT_TRUE(s->editor.msg().startsWith(failed)) << s->editor.msg().toStdString();

    // A write that goes through ends the run of failures, and the status line says so.
    ASSERT_TRUE(QDir().rmdir(file));
    EXPECT_TRUE(s->autosave->writeNow());
    EXPECT_FALSE(s->editor.msg().startsWith(failed)) << s->editor.msg().toStdString();
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkdir(file));
    EXPECT_FALSE(s->autosave->writeNow());
    EXPECT_EQ(s->ui.messages.size(), 2) << "a new run of failures is told again";
    ASSERT_TRUE(QDir().rmdir(file));
}

TEST_F(AutosaveTest, DamagedAutosaveIsReportedAndKeptAside)
{
    QDir().mkpath(folder);
    const QByteArray damaged("<project version=\"2_0_1\"><soundclip soundfile=\"/a.wav\"/><videocl");
    {
        QFile f(folder + QStringLiteral("/broken-0123456789ab.rem"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(damaged);
        QFile i(folder + QStringLiteral("/broken-0123456789ab.info"));
        ASSERT_TRUE(i.open(QIODevice::WriteOnly));
        i.write(R"({"project":"/home/u/broken.rem","saved":"2026-03-01T10:00:00.000"})");
    }

    auto s = start(false);
    EXPECT_FALSE(s->autosave->offerRecovery());
    EXPECT_TRUE(s->ui.questions.isEmpty()) << "a damaged autosave is not offered";
    ASSERT_EQ(s->ui.messages.size(), 1);
    EXPECT_TRUE(s->ui.messages.at(0).text.contains(QStringLiteral("broken.rem")));
    EXPECT_EQ(s->ui.messages.at(0).icon, UserDialogs::Icon::Warning);
    EXPECT_FALSE(s->editor.modified());

    const QStringList aside = filesIn(folder, QStringLiteral("*.rem"));
    ASSERT_EQ(aside, QStringList{QStringLiteral("broken-0123456789ab.damaged-20260314-150926.rem")});
    EXPECT_EQ(readAll(folder + QStringLiteral("/") + aside.at(0)), damaged);
    EXPECT_TRUE(filesIn(folder, QStringLiteral("*.info")).isEmpty());

    // Kept, but not reported again.
    auto again = start(false);
    EXPECT_FALSE(again->autosave->offerRecovery());
    EXPECT_TRUE(again->ui.messages.isEmpty());
    EXPECT_EQ(filesIn(folder, QStringLiteral("*.rem")), aside);
}

} // namespace
} // namespace vk
