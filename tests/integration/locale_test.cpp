// The output and export commands as a user of a locale whose decimal point is a comma
// runs them (de_DE.UTF-8): the editor's own numbers in that locale, and the real
// T-VideoWrite started with LANG and LC_ALL set to it. A WAV, a DV AVI and an MP4 of a
// three-row project (a 1.5x span, a slowed one, a fade of 0.4 s) and its Shotcut,
// Kdenlive, OpenTimelineIO and EDL exports come out byte for byte as under C.UTF-8, and
// the writer's check line writes its seconds with a point. That melt plays the exports
// as the writer renders the project is the export tests' check (tests/writer).
#include "render/exportcommand.h"
#include "tests/integration/writeroutput.h"
#include "tests/support/commalocale.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

namespace vk {
namespace {

// Runs a program to its end; true when it exited 0.
bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForStarted(60000) && p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit &&
           p.exitCode() == 0;
}

bool ffmpeg(const QStringList& args)
{
    return run(QStringLiteral("ffmpeg"),
               QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} + args);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What one locale made: each file's bytes by its name, and the writer's check lines.
struct Made {
    std::map<QString, QByteArray> files;
    std::map<QString, QString> checkLines;
};

class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override
    {
        const testsupport::CommaLocale& comma = testsupport::commaLocale();
        ASSERT_TRUE(comma.ok()) << comma.error;
        ASSERT_TRUE(m_dir.isValid());
        m_sound = m_dir.filePath(QStringLiteral("song.wav"));
        m_clipA = m_dir.filePath(QStringLiteral("clip a.mp4"));
        m_clipB = m_dir.filePath(QStringLiteral("clip b.mp4"));
        ASSERT_TRUE(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                            QStringLiteral("sine=frequency=440:sample_rate=48000:duration=3"), QStringLiteral("-ac"),
                            QStringLiteral("2"), m_sound}));
        // Sources at 25 fps: a 1.5x span of them asks the engine for 37.5 pictures a second.
        for (const QString& clip : {m_clipA, m_clipB})
            ASSERT_TRUE(ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                QStringLiteral("testsrc2=s=320x240:r=25:d=4"), QStringLiteral("-c:v"),
                                QStringLiteral("libx264"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                                QStringLiteral("-g"), QStringLiteral("25"), clip}));
        const QString temp = m_dir.filePath(QStringLiteral("temp"));
        ASSERT_TRUE(QDir().mkpath(temp));
        qputenv("TEMP", QFile::encodeName(temp));
        qputenv("VK_WRITER_NO_DIALOGS", "1");

        m_editor.setSndFile(m_sound);
        MakeSections(m_editor, {0, 1000, 2000}, 3000, 40);
        Register(m_editor, 1, m_clipA, 0, 1000, 40, 320, 240);
        Register(m_editor, 2, m_clipB, 400, 1900, 40, 320, 240);  // 1.5x
        Register(m_editor, 3, m_clipA, 1200, 1800, 40, 320, 240); // 0.6x
        m_editor.Grid().setEffect(3, QStringLiteral("ﾌｪｰﾄﾞ"));
        m_editor.Grid().setEffectLength(3, 400);
        ASSERT_TRUE(TableInvariants(m_editor));
        m_editor.setAviProfileIndex(0); // DV
        m_editor.setMp4ProfileIndex(0); // 640x360 29.97
    }

    void TearDown() override
    {
        testsupport::useCommaNumbers(false);
        for (const char* name : {"LC_ALL", "LANG", "LOCPATH"})
            qunsetenv(name);
    }

    // Everything made with the writer started in the comma locale or in C.UTF-8, and
    // the editor's own numbers in the comma locale or C's, in a folder of its own.
    void make(bool writerComma, bool editorComma, Made& made)
    {
        const testsupport::CommaLocale& locale = testsupport::commaLocale();
        const QByteArray name = writerComma ? QByteArray::fromStdString(locale.name) : QByteArrayLiteral("C.UTF-8");
        qputenv("LC_ALL", name);
        qputenv("LANG", name);
        if (writerComma && !locale.folder.empty())
            qputenv("LOCPATH", QByteArray::fromStdString(locale.folder));
        else
            qunsetenv("LOCPATH");
        ASSERT_TRUE(testsupport::useCommaNumbers(editorComma));

        const QString folder =
            m_dir.filePath(QStringLiteral("writer %1, editor %2")
                               .arg(QLatin1String(writerComma ? "de" : "C"), QLatin1String(editorComma ? "de" : "C")));
        ASSERT_TRUE(QDir().mkpath(folder));
        const std::pair<test::OutputKind, QString> renders[] = {{test::OutputKind::Wav, QStringLiteral("song.wav")},
                                                                {test::OutputKind::DvAvi, QStringLiteral("movie.avi")},
                                                                {test::OutputKind::Mp4, QStringLiteral("movie.mp4")}};
        for (const auto& [kind, file] : renders) {
            SCOPED_TRACE(file.toStdString());
            const test::WriterRun run = test::RunOutputCommand(m_editor, m_ui, kind, folder + QLatin1Char('/') + file);
            ASSERT_TRUE(run.started && run.finished);
            EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
            const QRegularExpressionMatch check = QRegularExpression(QStringLiteral("check: [^\n]*")).match(run.out);
            EXPECT_TRUE(check.hasMatch()) << run.out.toStdString();
            made.checkLines[file] = check.captured();
            made.files[file] = readAll(folder + QLatin1Char('/') + file);
        }

        ExportCommand command(m_editor, QStringLiteral(VK_WRITER_FOLDER "/T-VideoWrite"));
        BeatMarks beats;
        for (int i = 0; i < 7; ++i) {
            beats.beatsMs.push_back(437.5 * i);
            if (i % 4 == 0)
                beats.barsMs.push_back(437.5 * i);
        }
        const std::pair<ExportKind, QString> exports[] = {{ExportKind::Shotcut, QStringLiteral("project.mlt")},
                                                          {ExportKind::Kdenlive, QStringLiteral("project.kdenlive")},
                                                          {ExportKind::Otio, QStringLiteral("project.otio")},
                                                          {ExportKind::Edl, QStringLiteral("project.edl")}};
        for (const auto& [kind, file] : exports) {
            SCOPED_TRACE(file.toStdString());
            m_ui.messages.clear();
            m_ui.saveNames.push_back(folder + QLatin1Char('/') + file);
            m_ui.yesNo = {true};
            command.Export(kind, beats);
            ASSERT_TRUE(testsupport::PumpUntil([this] { return !m_ui.messages.isEmpty(); }, 120000));
            EXPECT_EQ(m_ui.messages.first().icon, UserDialogs::Icon::Information)
                << m_ui.messages.first().text.toStdString();
            made.files[file] = readAll(folder + QLatin1Char('/') + file);
        }
    }

    QTemporaryDir m_dir;
    QString m_sound, m_clipA, m_clipB;
    ScriptedUi m_ui;
    Editor m_editor{m_ui};
};

// Compares what the comma locale made with what C.UTF-8 made.
void expectSame(const Made& inC, const Made& inComma)
{
    for (const auto& [file, bytes] : inC.files) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_FALSE(bytes.isEmpty());
        const QByteArray other = inComma.files.count(file) ? inComma.files.at(file) : QByteArray();
        const bool text = !file.endsWith(QLatin1String(".avi")) && !file.endsWith(QLatin1String(".mp4")) &&
                          !file.endsWith(QLatin1String(".wav"));
        EXPECT_TRUE(other == bytes) << (text ? "C.UTF-8:\n" + bytes.toStdString() + "\nde_DE.UTF-8:\n" +
                                                   other.toStdString()
                                             : "sizes " + std::to_string(bytes.size()) + " and " +
                                                   std::to_string(other.size()));
    }
    // "check: 90/90 frames, sound 3.000 s, picture 3.003 s, offset 0 ms": seconds with
    // a point and three decimals, as the C locale writes them.
    const QRegularExpression seconds(QStringLiteral("^check: .*(sound|range) \\d+\\.\\d{3} s"));
    for (const auto& [file, line] : inC.checkLines) {
        const QString other = inComma.checkLines.count(file) ? inComma.checkLines.at(file) : QString();
        EXPECT_EQ(other, line);
        EXPECT_TRUE(seconds.match(other).hasMatch()) << other.toStdString();
        EXPECT_FALSE(other.contains(QLatin1String("OUT OF SYNC"))) << other.toStdString();
    }
}

// The user's own locale reaches the writer through its environment; the editor keeps
// C's numbers in its process, and then in its own as well.
TEST_F(CommaLocale, RendersAndExportsAreTheSameAsInTheCLocale)
{
    Made inC, writerInComma, bothInComma;
    ASSERT_NO_FATAL_FAILURE(make(false, false, inC));
    {
        SCOPED_TRACE("the writer in de_DE.UTF-8");
        ASSERT_NO_FATAL_FAILURE(make(true, false, writerInComma));
        expectSame(inC, writerInComma);
    }
    {
        SCOPED_TRACE("the writer and the editor's numbers in de_DE.UTF-8");
        ASSERT_NO_FATAL_FAILURE(make(true, true, bothInComma));
        expectSame(inC, bothInComma);
    }
}

} // namespace
} // namespace vk

int main(int argc, char** argv)
{
    vk::testsupport::HeadlessDefaults(true);
    vk::testsupport::EnsureCoreApp("integration_locale_test");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
