// The output commands: inputs, ranges, the time factor, the save dialog, refusing
// input files as output, the temporary folder and starting T-VideoWrite (scripted, and
// for real through QProcess with a stub writer).

#include "base/numbers.h"
#include "media/soundpanel.h"
#include "render/outputdriver.h"
#include "tests/render/render_support.h"
#include "tests/support/fakeengine.h"
#include "tests/support/quietdialogs.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

namespace vk {
namespace {

using rendertest::ChildAttribute;
using rendertest::ChildText;
using rendertest::ReadText;

const QString kRefused = QStringLiteral("入力ファイルに上書きはできません。");

// Sets an environment variable for one test and puts the old value back.
class EnvGuard final {
public:
    EnvGuard(const char* name, const QByteArray* value) : m_name(name), m_had(qEnvironmentVariableIsSet(name))
    {
        m_old = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes = QByteArray("x"))
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A playback rate text the test sets.
class FixedRate final : public PlaybackRateSource {
public:
    QString text;
    QString playbackRateText() const override { return text; }
};

class DriverTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QTemporaryDir app;
    QTemporaryDir media;
    QByteArray tempBytes = temp.path().toUtf8();
    EnvGuard tempGuard{"TEMP", &tempBytes};
    ScriptedUi ui;
    Editor editor{ui};
    OutputDriver driver{editor};
    // The same command with a rate source of its own.
    FixedRate rate;
    OutputDriver rated{editor, &rate};

    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid() && app.isValid() && media.isValid());
        driver.setApplicationFolder(app.path());
        rated.setApplicationFolder(app.path());
        editor.setSndFile(media.filePath(QStringLiteral("song.wav")));
        WriteFile(editor.sndFile());
        MakeSections(editor, {0, 1000, 2500, 4000}, 6000, 40);
        Register(editor, 1, media.filePath(QStringLiteral("a.avi")), 0, 1000, 40);
        Register(editor, 2, media.filePath(QStringLiteral("b.avi")), 0, 1500, 40);
        Register(editor, 4, media.filePath(QStringLiteral("d.avi")), 0, 2000, 40);
        WriteFile(media.filePath(QStringLiteral("a.avi")));
        WriteFile(media.filePath(QStringLiteral("b.avi")));
        editor.setAviProfileIndex(13);
        editor.setWmvProfileIndex(15);
    }

    QString clips() const { return temp.path() + QStringLiteral("/T-KaDro-Clips.xml"); }
    QString params() const { return temp.path() + QStringLiteral("/T-KaDro-Params.xml"); }
    QString writer() const { return app.path() + QStringLiteral("/T-VideoWrite"); }
    QString range() const
    {
        return ChildText(params(), "StartPoint") + QLatin1Char('-') + ChildText(params(), "EndPoint");
    }
    bool nothingWritten() const { return !QFile::exists(clips()) && !QFile::exists(params()) && ui.started.isEmpty(); }
};

TEST_F(DriverTest, EmptySoundClipOnlySetsTheMessage)
{
    editor.setSndFile(QString());
    driver.CreateAvi();
    driver.Preview();
    EXPECT_EQ(editor.msg(), QStringLiteral("音声ﾌｧｲﾙを指定してください。"));
    EXPECT_TRUE(ui.saveDialogs.isEmpty());
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_TRUE(nothingWritten());
    EXPECT_TRUE(driver.temporaryDocuments().isEmpty());
    EXPECT_EQ(ui.sliderFocus, 1); // the preview button gives the focus back all the same
}

TEST_F(DriverTest, PreviewWritesBothDocumentsAndStartsWriterWithParamsPath)
{
    editor.setDraggedRange(2, 3); // not used without "ﾄﾞﾗｯｸﾞ選択範囲に限定"
    driver.Preview();

    ASSERT_EQ(ui.started.size(), 1);
    EXPECT_EQ(ui.started.at(0), (QStringList{writer(), params()}));
    EXPECT_TRUE(QFile::exists(clips()));
    EXPECT_EQ(range(), QStringLiteral("0-6000"));
    EXPECT_EQ(ChildText(params(), "XtlFilePath"), clips());
    EXPECT_EQ(ChildText(params(), "AviFileName"), QString());
    EXPECT_EQ(ChildText(params(), "WriteGrfArg"), temp.path() + QStringLiteral("/T-KaDro-Grf.grf"));
    EXPECT_EQ(ChildText(params(), "WriteXtlArg"), temp.path() + QStringLiteral("/T-KaDro-Xtl.xml"));
    EXPECT_EQ(ChildText(params(), "VideoCompressor"), QString());
    EXPECT_EQ(ChildText(params(), "PrxFileName"), QStringLiteral("512-1500k-stereo.prx"));
    EXPECT_FALSE(QFile::exists(temp.path() + QStringLiteral("/T-KaDro-Grf.grf")));
    EXPECT_FALSE(QFile::exists(temp.path() + QStringLiteral("/T-KaDro-Xtl.xml")));
    EXPECT_EQ(driver.temporaryDocuments(), (QStringList{clips(), params()}));
    EXPECT_TRUE(ui.saveDialogs.isEmpty());
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(ui.sliderFocus, 1);
    EXPECT_EQ(driver.outputFormat().width, 640);
}

TEST_F(DriverTest, TwoEditorsRenderingAtOnceEachKeepTheirOwnDocuments)
{
    // A second editor, beside this one, with other rows.
    ScriptedUi otherUi;
    Editor other{otherUi};
    other.setSndFile(editor.sndFile());
    MakeSections(other, {0, 3000}, 6000, 40);
    Register(other, 1, media.filePath(QStringLiteral("b.avi")), 0, 3000, 40);
    auto first = std::make_unique<OutputDriver>(editor);
    auto second = std::make_unique<OutputDriver>(other);
    first->setApplicationFolder(app.path());
    second->setApplicationFolder(app.path());

    first->Preview();
    ASSERT_EQ(ui.started.size(), 1);
    EXPECT_EQ(ui.started.at(0), (QStringList{writer(), params()}));
    const QByteArray firstClips = ReadBytes(clips());
    ASSERT_FALSE(firstClips.isEmpty());

    // The second writes into a folder of its own: the first's documents stay as they are.
    second->Preview();
    ASSERT_EQ(otherUi.started.size(), 1);
    const QString own = temp.path() + QStringLiteral("/T-KaDro-") + QString::number(QCoreApplication::applicationPid());
    const QString otherParams = own + QStringLiteral("/T-KaDro-Params.xml");
    EXPECT_EQ(otherUi.started.at(0), (QStringList{writer(), otherParams}));
    EXPECT_EQ(ChildText(otherParams, "XtlFilePath"), own + QStringLiteral("/T-KaDro-Clips.xml"));
    EXPECT_EQ(ChildText(otherParams, "WriteGrfArg"), own + QStringLiteral("/T-KaDro-Grf.grf"));
    EXPECT_NE(ReadBytes(own + QStringLiteral("/T-KaDro-Clips.xml")), firstClips);
    EXPECT_EQ(ReadBytes(clips()), firstClips);
    EXPECT_EQ(ChildText(params(), "XtlFilePath"), clips());
    // Each render again: each in its place.
    first->Preview();
    second->Preview();
    EXPECT_EQ(ui.started.at(1), ui.started.at(0));
    EXPECT_EQ(otherUi.started.at(1), otherUi.started.at(0));
    EXPECT_EQ(ReadBytes(clips()), firstClips);

    // The second editor ends (its documents deleted at shutdown): its folder goes.
    for (const QString& doc : second->temporaryDocuments())
        QFile::remove(doc);
    second.reset();
    EXPECT_FALSE(QFileInfo::exists(own));
    // The first ends: the next editor has the temporary folder itself.
    first.reset();
    OutputDriver next(other);
    next.setApplicationFolder(app.path());
    next.Preview();
    ASSERT_EQ(otherUi.started.size(), 3);
    EXPECT_EQ(otherUi.started.at(2), (QStringList{writer(), params()}));
}

TEST_F(DriverTest, DraggedRangePreview)
{
    editor.setPartOnly(true);
    // A range ending at the last row runs to the end of the clip.
    editor.setDraggedRange(2, 4);
    driver.Preview();
    EXPECT_EQ(range(), QStringLiteral("1000-6000"));
    // Otherwise it ends where the row after it starts.
    editor.setDraggedRange(2, 3);
    driver.Preview();
    EXPECT_EQ(range(), QStringLiteral("1000-4000"));
    EXPECT_EQ(ui.started.size(), 2);
}

TEST_F(DriverTest, DraggedRangeWithRowZeroBecomesRowOne)
{
    editor.setPartOnly(true);
    editor.setDraggedRange(0, 3);
    editor.Grid().currentRow = 3;
    driver.Preview();
    EXPECT_EQ(editor.dragFirst(), 1);
    EXPECT_EQ(editor.dragLast(), 1);
    EXPECT_EQ(editor.Grid().currentRow, 1);
    EXPECT_EQ(range(), QStringLiteral("0-1000"));
}

TEST_F(DriverTest, FileOutputAsksForTheFileAndTakesTheWholeClipWithoutPartOnly)
{
    const QString out = media.filePath(QStringLiteral("out.avi"));
    editor.setDraggedRange(2, 3);
    ui.saveNames.push_back(out);
    driver.CreateAvi();

    ASSERT_EQ(ui.saveDialogs.size(), 1);
    EXPECT_EQ(ui.saveDialogs.at(0).title, QStringLiteral("名前を付けて保存"));
    EXPECT_EQ(ui.saveDialogs.at(0).filter,
              QStringLiteral("ビデオファイル(*.avi) (*.avi);;サウンドファイル(*.wav) (*.wav)"));
    EXPECT_EQ(ui.saveDialogs.at(0).defaultSuffix, QStringLiteral("avi"));
    EXPECT_EQ(ui.saveDialogs.at(0).fileName, QString());
    EXPECT_EQ(editor.outputPath(), out);
    EXPECT_EQ(ChildText(params(), "AviFileName"), out);
    EXPECT_EQ(range(), QStringLiteral("0-6000"));
    EXPECT_TRUE(ui.questions.isEmpty()); // the file does not exist yet
    EXPECT_EQ(ui.started.size(), 1);

    // With "ﾄﾞﾗｯｸﾞ選択範囲に限定" the file covers the dragged range. WAV from the second
    // filter goes the same way.
    editor.setPartOnly(true);
    ui.saveNames.push_back(media.filePath(QStringLiteral("out.wav")));
    driver.CreateAvi();
    EXPECT_EQ(range(), QStringLiteral("1000-4000"));
    EXPECT_EQ(ChildText(params(), "AviFileName"), media.filePath(QStringLiteral("out.wav")));
    EXPECT_EQ(ui.sliderFocus, 0);
}

// DV with WMV output: a 720 x 480 timeline at 29.97 and the DV compressors next to
// the profile file name.
TEST_F(DriverTest, WmvOutputWithDvFormat)
{
    editor.setAviProfileIndex(0);
    editor.setWmvProfileIndex(11);
    ui.saveNames.push_back(media.filePath(QStringLiteral("clip.wmv")));
    driver.CreateWmv();

    ASSERT_EQ(ui.saveDialogs.size(), 1);
    EXPECT_EQ(ui.saveDialogs.at(0).filter, QStringLiteral("ビデオファイル(*.wmv;*.asf) (*.wmv *.asf)"));
    EXPECT_EQ(ui.saveDialogs.at(0).defaultSuffix, QStringLiteral("wmv"));
    EXPECT_EQ(ChildText(params(), "VideoCompressor"), QStringLiteral("DV Video Encoder"));
    EXPECT_EQ(ChildText(params(), "AudioCompressor"), QStringLiteral("PCM"));
    EXPECT_EQ(ChildAttribute(params(), "AudioCompressor", "nSamplesPerSec"), QStringLiteral("48000"));
    EXPECT_EQ(ChildText(params(), "PrxFileName"), QStringLiteral("1280-5201K-HD.PRX"));
    const QString timeline = ReadText(clips());
    EXPECT_TRUE(
        timeline.startsWith(QStringLiteral("<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" "
                                           "bitdepth=\"24\" framerate=\"29.97\" width=\"720\" height=\"480\">")));
}

TEST_F(DriverTest, SpeedTextGivesTheTimeFactor)
{
    editor.setPartOnly(true);
    editor.setDraggedRange(2, 3);
    rate.text = QStringLiteral("0.5");
    rated.Preview();
    EXPECT_EQ(range(), QStringLiteral("2000-8000"));
    EXPECT_TRUE(ReadText(clips()).contains(QStringLiteral("mstart=\"2.5\" mstop=\"4\" start=\"5\" stop=\"8\"")));

    rate.text = QStringLiteral("0.3"); // 1000 x 3.333.. = 3333.333
    rated.Preview();
    EXPECT_EQ(range(), QStringLiteral("3333-13333"));

    rate.text = QStringLiteral("0"); // reads as 0: factor 1
    rated.Preview();
    EXPECT_EQ(range(), QStringLiteral("1000-4000"));
    EXPECT_EQ(ui.started.size(), 3);
}

// Without a rate source of its own the driver reads the speed box of the sound panel.
TEST_F(DriverTest, SpeedTextComesFromTheSoundPanel)
{
    FakeEngine player;
    SoundPanel panel(editor, player, nullptr);
    editor.setPanels(&panel, nullptr);
    editor.setPartOnly(true);
    editor.setDraggedRange(2, 3);

    panel.chooseRate(0); // "0.5"
    driver.Preview();
    EXPECT_EQ(range(), QStringLiteral("2000-8000"));

    panel.typeRateText(QStringLiteral("2.0"));
    driver.Preview();
    EXPECT_EQ(range(), QStringLiteral("500-2000"));

    panel.typeRateText(QStringLiteral("fast"));
    driver.Preview();
    EXPECT_EQ(ui.started.size(), 2);
    editor.setPanels(nullptr, nullptr);
}

// A render that cannot start says why: a speed or a row that cannot be read, a
// document that cannot be written (with its path and the reason), a dragged range left
// beyond the last row.
TEST_F(DriverTest, SpeedTextThatIsNotANumberIsReported)
{
    rate.text = QStringLiteral("1,5");
    ui.saveNames.push_back(media.filePath(QStringLiteral("out.avi")));
    rated.CreateAvi();
    rated.Preview();
    EXPECT_TRUE(nothingWritten());
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages.at(0).text, QStringLiteral("読み取れない値の行があるため、出力できません。"));
    EXPECT_EQ(ui.messages.at(0).icon, UserDialogs::Icon::Warning);
}

TEST_F(DriverTest, ARowWithoutItsInPointIsReportedBeforeTheParameters)
{
    editor.Grid().setInPoint(2, std::nullopt);
    driver.Preview();
    EXPECT_FALSE(QFile::exists(params()));
    EXPECT_TRUE(ui.started.isEmpty());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.at(0).text, QStringLiteral("読み取れない値の行があるため、出力できません。"));
}

TEST_F(DriverTest, ATemporaryFileThatCannotBeWrittenIsReportedWithItsPath)
{
    // A folder in the place of the timeline document.
    ASSERT_TRUE(QDir().mkpath(clips()));
    driver.Preview();
    EXPECT_TRUE(ui.started.isEmpty());
    ASSERT_EQ(ui.messages.size(), 1);
    const QString text = ui.messages.at(0).text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("T-VideoWrite に渡す一時ファイルを作成できません。\r\n") + clips() +
                                QStringLiteral("\r\n")))
        << text.toStdString();
    EXPECT_GT(text.section(QStringLiteral("\r\n"), 2).size(), 0) << "no reason given";
    EXPECT_EQ(ui.messages.at(0).icon, UserDialogs::Icon::Warning);

    // TEMP below a file: the folder named is the one that cannot be made.
    ui.messages.clear();
    const QString file = media.filePath(QStringLiteral("not a folder"));
    WriteFile(file);
    const QByteArray bad = (file + QStringLiteral("/temp")).toUtf8();
    EnvGuard tempHere("TEMP", &bad);
    driver.Preview();
    EXPECT_TRUE(ui.started.isEmpty());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.at(0).text, QStringLiteral("一時フォルダを使用できません。\r\n") + QString::fromUtf8(bad));
}

TEST_F(DriverTest, ADraggedRangeBeyondTheLastRowIsReported)
{
    // Rows 3 .. 6 dragged, then the table became shorter (4 rows).
    editor.setDraggedRange(3, 6);
    editor.setPartOnly(true);
    driver.Preview();
    ui.saveNames.push_back(media.filePath(QStringLiteral("out.avi")));
    driver.CreateAvi();
    EXPECT_TRUE(nothingWritten());
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(
        ui.messages.at(0).text,
        QStringLiteral("ﾄﾞﾗｯｸﾞ選択範囲が行の範囲を超えています（3～6 行目、最終行 4）。範囲を選択し直してください。"));
    EXPECT_EQ(ui.messages.at(1).text, ui.messages.at(0).text);
}

TEST_F(DriverTest, CancelledOrEmptySaveDialogStopsSilently)
{
    ui.saveNames.push_back(std::nullopt);
    ui.saveNames.push_back(QString());
    driver.CreateAvi();
    driver.CreateWmv();
    EXPECT_EQ(ui.saveDialogs.size(), 2);
    EXPECT_TRUE(editor.outputPath().isEmpty());
    EXPECT_TRUE(nothingWritten());
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(DriverTest, PresetOutputPathIsUsedButButtonsEmptyIt)
{
    const QString out = media.filePath(QStringLiteral("preset.avi"));
    editor.setOutputPath(out);
    driver.VideoFileOutput(0, 0);
    EXPECT_TRUE(ui.saveDialogs.isEmpty());
    EXPECT_EQ(ChildText(params(), "AviFileName"), out);

    editor.setOutputPath(out);
    driver.CreateWmv(); // asks again; cancelled
    EXPECT_EQ(ui.saveDialogs.size(), 1);
    EXPECT_TRUE(editor.outputPath().isEmpty());
    EXPECT_EQ(ui.started.size(), 1);
}

TEST_F(DriverTest, ExistingOutputFileIsConfirmed)
{
    const QString out = media.filePath(QStringLiteral("old.avi"));
    WriteFile(out);
    ui.saveNames = {out, out};
    ui.yesNo = {false, true};
    driver.CreateAvi();
    ASSERT_EQ(ui.questions.size(), 1);
    EXPECT_EQ(ui.questions.at(0).text, out + QStringLiteral("\r\nは既に存在します。上書きしますか？"));
    EXPECT_TRUE(nothingWritten());
    driver.CreateAvi();
    EXPECT_EQ(ui.questions.size(), 2);
    EXPECT_EQ(ui.started.size(), 1);
}

// Neither a row's video file nor the sound clip can be the output, however the path is
// spelled.
TEST_F(DriverTest, InputFilesAreRefusedAsOutput)
{
    const QString dir = media.path();
    ASSERT_TRUE(QFile::link(media.filePath(QStringLiteral("b.avi")), media.filePath(QStringLiteral("link.avi"))));
    ASSERT_TRUE(QDir(dir).mkdir(QStringLiteral("sub")));
    const QStringList spellings = {
        media.filePath(QStringLiteral("b.avi")),
        dir + QStringLiteral("/./b.avi"),
        dir + QStringLiteral("/sub/../a.avi"),
        media.filePath(QStringLiteral("link.avi")),
        dir + QStringLiteral("//d.avi"), // row 4's file does not exist: compared as cleaned paths
        editor.sndFile(),
        dir + QStringLiteral("/sub/../song.wav"),
    };
    for (const QString& out : spellings) {
        SCOPED_TRACE(out.toStdString());
        ui.messages.clear();
        ui.saveNames.push_back(out);
        ui.yesNo.push_back(true);
        driver.CreateAvi();
        ASSERT_EQ(ui.messages.size(), 1);
        EXPECT_EQ(ui.messages.at(0).text, out + QStringLiteral("\r\n") + kRefused);
        EXPECT_EQ(ui.messages.at(0).icon, UserDialogs::Icon::Warning);
        EXPECT_TRUE(ui.questions.isEmpty());
        EXPECT_TRUE(nothingWritten());
        ui.yesNo.clear();
    }
    // A file next to them is accepted.
    ui.messages.clear();
    ui.saveNames.push_back(dir + QStringLiteral("/./c.avi"));
    driver.CreateAvi();
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(ui.started.size(), 1);
}

TEST_F(DriverTest, WriterThatCannotStartIsReported)
{
    ui.startResult = false;
    driver.Preview();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.at(0).text, QStringLiteral("T-VideoWrite を起動できません。\r\n") + writer());
    EXPECT_EQ(ui.messages.at(0).icon, UserDialogs::Icon::Warning);
    EXPECT_TRUE(QFile::exists(params())); // the documents stay for a later try
}

// The output's own frame interval (42 ms at 24 fps) is kept apart: section starts
// still read with the sound clip's 33 ms frames.
TEST_F(DriverTest, SectionsAreCutAtTheirMillisecondWhateverTheFrames)
{
    // 1234 ms lies between frames of the sound (33 ms) and of the output (42 ms): the
    // cut is where the table holds the start, as a tap or a snap to a beat put it.
    MakeSections(editor, {0, 1234}, 3000, 33);
    editor.setAviProfileIndex(15);
    driver.Preview();
    EXPECT_EQ(driver.outputFrameInterval(), 42);
    EXPECT_EQ(editor.sndFrameInterval(), 33);
    EXPECT_TRUE(ReadText(clips()).contains(QStringLiteral("mstart=\"1.234\"")));
    // A later output with no list selection keeps the format chosen before.
    editor.setAviProfileIndex(-1);
    editor.setWmvProfileIndex(-1);
    driver.Preview();
    EXPECT_EQ(driver.outputFormat().frameRate, 24);
    EXPECT_EQ(driver.prxFileName(), QStringLiteral("512-1500k-stereo.prx"));
    EXPECT_EQ(ChildText(params(), "PrxFileName"), QStringLiteral("512-1500k-stereo.prx"));
}

TEST_F(DriverTest, WithoutTempAPrivateFolderIsUsed)
{
    QTemporaryDir shared;
    ASSERT_TRUE(shared.isValid());
    const QByteArray sharedBytes = shared.path().toUtf8();
    EnvGuard tmpdir("TMPDIR", &sharedBytes);
    EnvGuard noTemp("TEMP", nullptr);
    const QString folder = shared.path() + QStringLiteral("/videokadro-") + QString::number(::getuid());

    // A folder left open to others is closed again before use.
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther));
    driver.Preview();
    ASSERT_EQ(ui.started.size(), 1);
    EXPECT_EQ(ui.started.at(0).at(1), folder + QStringLiteral("/T-KaDro-Params.xml"));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/T-KaDro-Clips.xml")));
    EXPECT_EQ(QFileInfo(folder).permissions() &
                  (QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup),
              QFileDevice::Permissions());
    EXPECT_FALSE(QFile::exists(shared.path() + QStringLiteral("/T-KaDro-Params.xml")));

    // Created when missing.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    driver.Preview();
    EXPECT_EQ(ui.started.size(), 2);
    EXPECT_TRUE(QFileInfo(folder).isDir());

    // A symbolic link in its place is refused.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), folder));
    driver.Preview();
    EXPECT_EQ(ui.started.size(), 2);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.at(0).text, QStringLiteral("一時フォルダを使用できません。\r\n") + folder);
    EXPECT_FALSE(QFile::exists(elsewhere.filePath(QStringLiteral("T-KaDro-Params.xml"))));
}

// Quiet dialogs that start programs for real.
class ProcessUi final : public testsupport::QuietDialogs {
public:
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        return QProcess::startDetached(program, arguments);
    }
};

TEST(DriverProcessTest, WriterReceivesTheParamsPathAsOneArgument)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString appFolder = root.filePath(QStringLiteral("app folder"));
    const QString tempFolder = root.filePath(QStringLiteral("temp folder with blanks"));
    ASSERT_TRUE(QDir().mkpath(appFolder));
    const QByteArray tempBytes = tempFolder.toUtf8();
    EnvGuard tempGuard("TEMP", &tempBytes);

    const QString stub = appFolder + QStringLiteral("/T-VideoWrite");
    const QString argvFile = appFolder + QStringLiteral("/argv.txt");
    WriteFile(stub, QByteArray("#!/bin/sh\n"
                               "out=\"$(dirname \"$0\")/argv.txt\"\n"
                               "{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > \"$out.part\"\n"
                               "mv \"$out.part\" \"$out\"\n"));

    ProcessUi ui;
    Editor editor(ui);
    OutputDriver driver(editor);
    driver.setApplicationFolder(appFolder);
    editor.setSndFile(QStringLiteral("/music/song.wav"));
    MakeSections(editor, {0}, 1000, 33);

    // Not executable yet: the start fails and is reported.
    driver.Preview();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.at(0), QStringLiteral("T-VideoWrite を起動できません。\r\n") + stub);

    ASSERT_TRUE(QFile::setPermissions(stub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    driver.Preview();
    EXPECT_EQ(ui.messages.size(), 1);

    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(argvFile) && waited.elapsed() < 10000)
        QThread::msleep(20);
    const QString params = tempFolder + QStringLiteral("/T-KaDro-Params.xml");
    EXPECT_EQ(ReadText(argvFile), QStringLiteral("1\n") + params + QLatin1Char('\n'));
    EXPECT_EQ(ChildText(params, "XtlFilePath"), tempFolder + QStringLiteral("/T-KaDro-Clips.xml"));
}

} // namespace
} // namespace vk
