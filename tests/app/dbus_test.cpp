// The editor driven from outside over a private session bus: the real program started
// offscreen with the first-run sample, called with gdbus and dbus-send exactly as the
// README shows, and started by the bus itself through the service file.
#include "app/kadroadaptor.h"
#include "base/timetext.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "project/projectfile.h"
#include "tests/app/privatebus.h"
#include "tests/support/fakeengine.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>

using namespace vk;
using vk::test::PrivateBus;
using vk::test::RunProgram;

namespace {

const QString kEditor = QStringLiteral(VK_EDITOR);
const QString kServiceDir = QStringLiteral(VK_SERVICE_DIR);
const QString kMakeSample = QStringLiteral(VK_MAKE_SAMPLE);

const QString kDest = QStringLiteral("TlmVideoKadro.Kadro");
const QString kPath = QStringLiteral("/Kadro");

// `gdbus call` of one method, as in the README.
QStringList Gdbus(const QString& method, const QStringList& args = {})
{
    return QStringList{QStringLiteral("call"),          QStringLiteral("--session"),
                       QStringLiteral("--dest"),        kDest,
                       QStringLiteral("--object-path"), kPath,
                       QStringLiteral("--method"),      QStringLiteral("TlmVideoKadro.Kadro.") + method} +
           args;
}

// SetOptions through gdbus: "(RetVal, 'RetValueStr')".
QStringList GdbusSetOptions(const QString& action, const QString& valueStr = QString(), int retVal = 0,
                            const QString& retValueStr = QString())
{
    return Gdbus(QStringLiteral("SetOptions"),
                 {action, QStringLiteral("0"), valueStr, QString::number(retVal), retValueStr});
}

// `dbus-send --print-reply` of SetOptions, as in the README.
QStringList DbusSendSetOptions(const QString& action, const QString& valueStr)
{
    return {QStringLiteral("--session"),
            QStringLiteral("--print-reply"),
            QStringLiteral("--dest=") + kDest,
            kPath,
            QStringLiteral("TlmVideoKadro.Kadro.SetOptions"),
            QStringLiteral("string:") + action,
            QStringLiteral("int32:0"),
            QStringLiteral("string:") + valueStr,
            QStringLiteral("int32:0"),
            QStringLiteral("string:")};
}

// The two out values of a SetOptions reply printed by gdbus, "(12, 'text')".
struct Reply {
    bool ok = false;
    int retVal = 0;
    QString retValueStr;
};
Reply ParseGdbus(const QString& out)
{
    static const QRegularExpression re(QStringLiteral("^\\((-?\\d+), '(.*)'\\)\\s*$"),
                                       QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(out);
    if (!m.hasMatch())
        return {};
    return {true, m.captured(1).toInt(), m.captured(2)};
}

// The two out values printed by dbus-send: "   int32 0\n   string \"text\"".
Reply ParseDbusSend(const QString& out)
{
    static const QRegularExpression re(QStringLiteral("int32 (-?\\d+)\\s+string \"(.*)\"\\s*$"),
                                       QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(out);
    if (!m.hasMatch())
        return {};
    return {true, m.captured(1).toInt(), m.captured(2)};
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

// The sample made once for the whole suite.
struct Sample {
    QTemporaryDir dir;
    QString project, song, bars;
    int songMsec = -1;
    QString error;
};
Sample* g_sample = nullptr;

class EditorOverBusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_sample = new Sample;
        Sample& s = *g_sample;
        QString out, err;
        const int rc = RunProgram(kMakeSample, {s.dir.filePath(QStringLiteral("sample & ｻﾝﾌﾟﾙ <1>"))},
                                  QProcessEnvironment::systemEnvironment(), &out, &err, 120000);
        if (rc != 0) {
            s.error = QStringLiteral("make-sample.sh failed: ") + err;
            return;
        }
        s.project = out.trimmed();
        const QString folder = QFileInfo(s.project).absolutePath();
        s.song = folder + QStringLiteral("/sample-song.wav");
        s.bars = folder + QStringLiteral("/sample-bars.mp4");
        QString seconds;
        RunProgram(QStringLiteral("ffprobe"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                    QStringLiteral("format=duration"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), s.song},
                   QProcessEnvironment::systemEnvironment(), &seconds);
        bool ok = false;
        const double d = seconds.trimmed().toDouble(&ok);
        if (ok)
            s.songMsec = int(std::lround(d * 1000.0));
    }
    static void TearDownTestSuite()
    {
        delete g_sample;
        g_sample = nullptr;
    }

    void SetUp() override
    {
        if (!QFileInfo(kEditor).isExecutable())
            GTEST_SKIP() << "the editor is not built: " << kEditor.toStdString();
        ASSERT_TRUE(g_sample->error.isEmpty()) << g_sample->error.toStdString();
        ASSERT_TRUE(m_scratch.isValid());
        QDir(m_scratch.path()).mkpath(QStringLiteral("config"));
        QDir(m_scratch.path()).mkpath(QStringLiteral("temp"));
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_env.insert(QStringLiteral("VK_MPV_AO"), QStringLiteral("null"));
        m_env.insert(QStringLiteral("VK_MPV_VO"), QStringLiteral("null"));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_scratch.filePath(QStringLiteral("config")));
        m_env.insert(QStringLiteral("TEMP"), m_scratch.filePath(QStringLiteral("temp")));
    }

    void TearDown() override
    {
        if (m_editor && m_editor->state() != QProcess::NotRunning) {
            m_editor->kill();
            m_editor->waitForFinished(5000);
        }
        if (m_pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(m_pid)))
            ::kill(m_pid, SIGKILL);
        if (m_bus)
            QDBusConnection::disconnectFromBus(QStringLiteral("e2e"));
    }

    void startBus(const QString& serviceDir = QString())
    {
        m_bus = std::make_unique<PrivateBus>(serviceDir, m_env);
        ASSERT_TRUE(m_bus->ok()) << m_bus->error().toStdString();
        m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
        m_conn = QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("e2e"));
        ASSERT_TRUE(m_conn.isConnected());
    }

    bool nameOwned() { return m_conn.interface()->isServiceRegistered(kDest).value(); }

    // Runs gdbus or dbus-send against the private bus; the output, or a failure.
    QString run(const QString& program, const QStringList& args, int* rc = nullptr)
    {
        QString out, err;
        const int code = RunProgram(program, args, m_env, &out, &err, 30000);
        if (rc)
            *rc = code;
        return code == 0 ? out : QStringLiteral("FAILED(%1): %2").arg(code).arg(err);
    }
    Reply gdbusSetOptions(const QString& action, const QString& valueStr = QString(), int retVal = 0,
                          const QString& retValueStr = QString())
    {
        const QString out = run(QStringLiteral("gdbus"), GdbusSetOptions(action, valueStr, retVal, retValueStr));
        Reply r = ParseGdbus(out);
        EXPECT_TRUE(r.ok) << action.toStdString() << ": " << out.toStdString();
        return r;
    }

    QTemporaryDir m_scratch;
    QProcessEnvironment m_env;
    std::unique_ptr<PrivateBus> m_bus;
    QDBusConnection m_conn{QStringLiteral("none")};
    std::unique_ptr<QProcess> m_editor;
    qint64 m_pid = 0;
};

TEST_F(EditorOverBusTest, ClientReadsAndSetsTheEditorsFieldsAndQuits)
{
    startBus();
    m_editor = std::make_unique<QProcess>();
    m_editor->setProcessEnvironment(m_env);
    m_editor->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_editor->start(kEditor, {g_sample->project});
    ASSERT_TRUE(m_editor->waitForStarted(10000));
    ASSERT_TRUE(WaitFor([this] { return nameOwned() || m_editor->state() == QProcess::NotRunning; }, 30000));
    ASSERT_TRUE(nameOwned()) << "the editor did not take the name TlmVideoKadro.Kadro";

    // getVersion
    EXPECT_EQ(run(QStringLiteral("gdbus"), Gdbus(QStringLiteral("getVersion"))), QStringLiteral("('2_0_1',)\n"));

    // The project on the command line loaded the sample song.
    Reply r = gdbusSetOptions(QStringLiteral("get_audio_src"), QString(), 5, QStringLiteral("in"));
    EXPECT_EQ(r.retVal, 5);
    EXPECT_EQ(r.retValueStr, g_sample->song);
    ASSERT_GT(g_sample->songMsec, 0);
    r = gdbusSetOptions(QStringLiteral("get_audio_duration"));
    EXPECT_NEAR(r.retVal, g_sample->songMsec, 1);
    EXPECT_EQ(gdbusSetOptions(QStringLiteral("get_audio_pos"), QString(), 77).retVal, 0) << "stopped at the start";

    // set_audio_src only sets the field: the loaded clip's length stays.
    const QString other = m_scratch.filePath(QStringLiteral("ｵﾄ 1.wav"));
    gdbusSetOptions(QStringLiteral("set_audio_src"), other);
    EXPECT_EQ(gdbusSetOptions(QStringLiteral("get_audio_src")).retValueStr, other);
    EXPECT_NEAR(gdbusSetOptions(QStringLiteral("get_audio_duration")).retVal, g_sample->songMsec, 1);

    // The output path, with dbus-send.
    const QString dest = m_scratch.filePath(QStringLiteral("作品.avi"));
    Reply d =
        ParseDbusSend(run(QStringLiteral("dbus-send"), DbusSendSetOptions(QStringLiteral("set_video_dest"), dest)));
    EXPECT_TRUE(d.ok);
    d = ParseDbusSend(
        run(QStringLiteral("dbus-send"), DbusSendSetOptions(QStringLiteral("get_video_dest"), QString())));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.retValueStr, dest);
    EXPECT_EQ(d.retVal, 0);

    // A video file loaded into the panel.
    gdbusSetOptions(QStringLiteral("set_video_src"), g_sample->bars);
    EXPECT_EQ(gdbusSetOptions(QStringLiteral("get_video_src")).retValueStr, g_sample->bars);

    // An unknown action and SetOptionsEx answer with the values they were given.
    r = gdbusSetOptions(QStringLiteral("Get_Audio_Src"), QString(), 42, QStringLiteral("as given"));
    EXPECT_EQ(r.retVal, 42);
    EXPECT_EQ(r.retValueStr, QStringLiteral("as given"));
    EXPECT_EQ(
        run(QStringLiteral("gdbus"),
            Gdbus(QStringLiteral("SetOptionsEx"),
                  {QStringLiteral("set_audio_src"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("/x.wav"),
                   QStringLiteral("/y.wav"), QStringLiteral("3"), QStringLiteral("kept")})),
        QStringLiteral("(3, 'kept')\n"));
    EXPECT_EQ(gdbusSetOptions(QStringLiteral("get_audio_src")).retValueStr, other);

    // Quit: the call succeeds and the program ends at once, with no settings written.
    EXPECT_EQ(run(QStringLiteral("gdbus"), Gdbus(QStringLiteral("Quit"))), QStringLiteral("()\n"));
    ASSERT_TRUE(m_editor->waitForFinished(10000)) << "the editor is still running after Quit";
    EXPECT_EQ(m_editor->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_editor->exitCode(), 0);
    EXPECT_TRUE(QDir(m_scratch.filePath(QStringLiteral("config"))).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot))
        << "Quit skips the closing steps, settings included";
    EXPECT_FALSE(nameOwned());
}

// A project whose sound file is not media: the editor waits with its message up. The
// automation object already answers then, and Quit ends the program cleanly (no crash
// while the window and its table go).
TEST_F(EditorOverBusTest, AnswersWhileAStartUpMessageWaitsAndQuitsCleanly)
{
    startBus();
    const QString song = m_scratch.filePath(QStringLiteral("not media.wav"));
    {
        QFile f(song);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is no sound");
    }
    const QString project = m_scratch.filePath(QStringLiteral("bad sound.rem"));
    {
        QFile f(project);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("<project version=\"2_0_1\"><soundclip soundfile=\"%1\"/><videoclips>"
                               "<videoclip soundmsec=\"0\" videofile=\"\" beginmsec=\"-1\" endmsec=\"-1\" "
                               "intervalmsec=\"-1\" rate=\"\" trans=\"\" transmsec=\"\"/></videoclips></project>")
                    .arg(song)
                    .toUtf8());
    }
    m_editor = std::make_unique<QProcess>();
    m_editor->setProcessEnvironment(m_env);
    m_editor->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_editor->start(kEditor, {project});
    ASSERT_TRUE(m_editor->waitForStarted(10000));
    // Nobody answers the message box: the name must come all the same.
    ASSERT_TRUE(WaitFor([this] { return nameOwned() || m_editor->state() == QProcess::NotRunning; }, 30000));
    ASSERT_TRUE(nameOwned()) << "no automation while the start-up message waits";

    EXPECT_EQ(run(QStringLiteral("gdbus"), Gdbus(QStringLiteral("getVersion"))), QStringLiteral("('2_0_1',)\n"));
    EXPECT_EQ(gdbusSetOptions(QStringLiteral("get_audio_src")).retValueStr, song);

    EXPECT_EQ(run(QStringLiteral("gdbus"), Gdbus(QStringLiteral("Quit"))), QStringLiteral("()\n"));
    ASSERT_TRUE(m_editor->waitForFinished(20000)) << "the editor is still running after Quit";
    EXPECT_EQ(m_editor->exitStatus(), QProcess::NormalExit) << "the editor crashed on its way out";
    EXPECT_EQ(m_editor->exitCode(), 0);
}

TEST_F(EditorOverBusTest, BusStartsTheEditorWithEmbedding)
{
    ASSERT_TRUE(QFileInfo::exists(kServiceDir + QStringLiteral("/TlmVideoKadro.Kadro.service")));
    startBus(kServiceDir);
    ASSERT_FALSE(nameOwned());

    // The first call starts the editor; dbus-send waits for it like any client.
    int rc = -1;
    const QString out =
        run(QStringLiteral("dbus-send"),
            {QStringLiteral("--session"), QStringLiteral("--print-reply"), QStringLiteral("--dest=") + kDest, kPath,
             QStringLiteral("TlmVideoKadro.Kadro.getVersion")},
            &rc);
    ASSERT_EQ(rc, 0) << out.toStdString();
    EXPECT_TRUE(out.trimmed().endsWith(QStringLiteral("string \"2_0_1\""))) << out.toStdString();
    ASSERT_TRUE(nameOwned());

    // The process the bus started: the built editor with "-Embedding".
    m_pid = m_conn.interface()->servicePid(kDest).value();
    ASSERT_GT(m_pid, 0);
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(m_pid));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    const QList<QByteArray> argv = cmdline.readAll().split('\0');
    ASSERT_GE(argv.size(), 2);
    EXPECT_EQ(QFileInfo(QString::fromLocal8Bit(argv.at(0))).canonicalFilePath(),
              QFileInfo(kEditor).canonicalFilePath());
    EXPECT_EQ(argv.at(1), QByteArray("-Embedding"));

    // "-Embedding" is no project: the editor starts empty.
    EXPECT_EQ(gdbusSetOptions(QStringLiteral("get_audio_src"), QString(), 0, QStringLiteral("x")).retValueStr,
              QString());
    EXPECT_EQ(gdbusSetOptions(QStringLiteral("get_audio_duration"), QString(), 9).retVal, 0);

    EXPECT_EQ(run(QStringLiteral("gdbus"), Gdbus(QStringLiteral("Quit"))), QStringLiteral("()\n"));
    EXPECT_TRUE(WaitFor(
        [this] {
            return !QFileInfo::exists(QStringLiteral("/proc/%1/cmdline").arg(m_pid)) ||
                   QFile(QStringLiteral("/proc/%1/cmdline").arg(m_pid)).size() == 0;
        },
        10000))
        << "the started editor is still running after Quit";
}

// The first-run sample is a project the editor itself would write: same bytes after a
// load, sections on the bars, speeds as the editor computes them, spans inside the files.
TEST_F(EditorOverBusTest, SampleProjectIsWhatTheEditorWouldWrite)
{
    ScriptedUi ui;
    Editor editor(ui);
    FakeEngine snd;
    snd.info.durationMsec = g_sample->songMsec;
    SoundPanel sound(editor, snd, nullptr);
    editor.setPanels(&sound, nullptr);
    editor.Grid().setCols(Col::Count);
    ProjectFile project(editor);
    ASSERT_TRUE(project.ProjectLoad(g_sample->project))
        << (ui.messages.isEmpty() ? "" : ui.messages.front().text.toStdString());
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(snd.openedPath, g_sample->song);
    EXPECT_EQ(editor.sndFile(), g_sample->song);
    EXPECT_TRUE(TableInvariants(editor));

    ASSERT_EQ(editor.lastRow(), 10);
    int registered = 0, fades = 0;
    for (int row = 1; row <= editor.lastRow(); ++row) {
        EXPECT_EQ(editor.getSndMsec(row), QString::number((row - 1) * 2000)) << "row " << row;
        const QString file = editor.Grid().videoFile(row);
        if (file.isEmpty())
            continue;
        ++registered;
        EXPECT_TRUE(QFileInfo::exists(file)) << file.toStdString();
        const auto speed = editor.speedText(row);
        ASSERT_TRUE(speed.has_value());
        EXPECT_EQ(editor.Grid().speedText(row, editor.sndLength()), *speed) << "row " << row;
        EXPECT_GT(editor.getVidLengthMsec(row), 0);
        EXPECT_LE(
            TimeTextToMsec(CellText(editor.Grid(), row, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
                           editor.Grid().frameInterval(row).value_or(0)),
            10000)
            << "row " << row << " ends inside its 10 s video";
        if (editor.Grid().effect(row) == QStringLiteral("ﾌｪｰﾄﾞ")) {
            ++fades;
            EXPECT_EQ(editor.Grid().effectLength(row), 1500);
        }
    }
    EXPECT_EQ(registered, 6);
    EXPECT_EQ(fades, 1);

    QByteArray written;
    QString reason;
    ASSERT_TRUE(ProjectFile::BuildDocument(editor, written, reason)) << reason.toStdString();
    QFile file(g_sample->project);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written).toStdString(), QString::fromUtf8(file.readAll()).toStdString());
}

TEST(KadroNoBusTest, NoSessionBusMeansNoAutomation)
{
    // A bus address nobody listens on: the editor runs on without automation.
    QTemporaryDir dir;
    qputenv("DBUS_SESSION_BUS_ADDRESS", (QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("none"))).toUtf8());
    ScriptedUi ui;
    Editor editor(ui);
    FakeEngine snd, vid;
    SoundPanel sound(editor, snd, nullptr);
    VideoPanel video(editor, vid);
    KadroAdaptor kadro(editor, sound, video, [] {});
    EXPECT_FALSE(kadro.registerOnSessionBus());
    EXPECT_TRUE(ui.messages.isEmpty());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
