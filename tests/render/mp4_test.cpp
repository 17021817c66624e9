// MP4 output: the MP4 list, its parameters document and the "MP4 作成" command of the
// output driver (scripted dialogs; the writer is only recorded, not started).

#include "render/outputdriver.h"
#include "render/outputformats.h"
#include "render/timelinedocument.h"
#include "render/writerparams.h"
#include "tests/render/render_support.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vk {
namespace {

using rendertest::ChildAttribute;
using rendertest::ChildText;
using rendertest::Golden;
using rendertest::ReadText;

struct Mp4Expect {
    const char* text;
    int width;
    int height;
    double rate;
    const char* rateText;
    int interval;
};

const Mp4Expect kMp4[] = {
    {"640x360 29.97fps H.264", 640, 360, 29.97, "29.97", 33},     {"640x360 30fps H.264", 640, 360, 30, "30", 33},
    {"854x480 29.97fps H.264", 854, 480, 29.97, "29.97", 33},     {"854x480 30fps H.264", 854, 480, 30, "30", 33},
    {"1280x720 29.97fps H.264", 1280, 720, 29.97, "29.97", 33},   {"1280x720 30fps H.264", 1280, 720, 30, "30", 33},
    {"1920x1080 29.97fps H.264", 1920, 1080, 29.97, "29.97", 33}, {"1920x1080 30fps H.264", 1920, 1080, 30, "30", 33},
    {"1920x1080 59.94fps H.264", 1920, 1080, 59.94, "59.94", 17}, {"1920x1080 60fps H.264", 1920, 1080, 60, "60", 17},
};

TEST(Mp4ListTest, EntriesTextsAndProfileGet)
{
    const QStringList texts = Mp4ListTexts();
    ASSERT_EQ(texts.size(), kMp4ListCount);
    ASSERT_EQ(int(std::size(kMp4)), kMp4ListCount);
    for (int i = 0; i < kMp4ListCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(texts.at(i), QString::fromUtf8(kMp4[i].text));
        const Mp4ListEntry& e = Mp4ListAt(i);
        EXPECT_EQ(e.width, kMp4[i].width);
        EXPECT_EQ(e.height, kMp4[i].height);
        EXPECT_EQ(e.frameRate, kMp4[i].rate);
        EXPECT_STREQ(e.frameRateText, kMp4[i].rateText);
        // The writer's limits: even sizes of 16 to 4096.
        EXPECT_EQ(e.width % 2, 0);
        EXPECT_EQ(e.height % 2, 0);

        OutputFormat format{-1, 480, 29.97, 0, 0}; // as the DV entry leaves it
        EXPECT_EQ(Mp4ProfileGet(i, format), kMp4[i].interval);
        EXPECT_EQ(format.width, kMp4[i].width);
        EXPECT_EQ(format.height, kMp4[i].height);
        EXPECT_EQ(format.frameRate, kMp4[i].rate);
        EXPECT_EQ(format.bitDepth, 24);
        EXPECT_EQ(format.samplingRate, 48000);
    }
    EXPECT_EQ(kDefaultMp4Index, 4);
    EXPECT_EQ(texts.at(kDefaultMp4Index), QStringLiteral("1280x720 29.97fps H.264"));
    EXPECT_EQ(kMp4VideoQuality, 18);
    EXPECT_THROW(Mp4ListAt(kMp4ListCount), std::out_of_range);
    EXPECT_THROW(Mp4ListAt(-1), std::out_of_range);

    // An index outside the list keeps the picture fields; no rate yet, no interval.
    OutputFormat format{320, 240, 24, 0, 0};
    EXPECT_EQ(Mp4ProfileGet(kMp4ListCount, format), 42);
    EXPECT_EQ(format.width, 320);
    EXPECT_EQ(format.frameRate, 24);
    OutputFormat none;
    EXPECT_EQ(Mp4ProfileGet(-1, none), 0);
    EXPECT_EQ(none.samplingRate, 48000);

    // The AVI and WMV lists keep their sizes.
    EXPECT_EQ(AviListTexts().size(), 30);
    EXPECT_EQ(WmvListTexts().size(), 20);
}

// 1920x1080 at 59.94 over a range that does not start at 0.
TEST(Mp4ParamsTest, Golden)
{
    Mp4Params mp4;
    mp4.width = 1920;
    mp4.height = 1080;
    mp4.frameRate = QStringLiteral("59.94");
    mp4.videoQuality = 18;
    EXPECT_EQ(WriterParamsMp4Text(QStringLiteral("/tmp/t/T-KaDro-Clips.xml"), QStringLiteral("/out/movie.mp4"),
                                  QStringLiteral("/tmp/t/T-KaDro-Grf.grf"), QStringLiteral("/tmp/t/T-KaDro-Xtl.xml"),
                                  QStringLiteral("1500"), QStringLiteral("60000"), mp4),
              Golden(QStringLiteral("params_mp4.xml")));
}

TEST(Mp4ParamsTest, OtherDocumentsCarryNoMp4Elements)
{
    const QString avi = WriterParamsText(QStringLiteral("/c.xml"), QStringLiteral("/o.avi"), QString(), QString(),
                                         QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("DV Video Encoder"),
                                         QStringLiteral("PCM"), QStringLiteral("x.prx"));
    for (const char* name : {"<FrameWidth", "<FrameHeight", "<FrameRate", "<VideoQuality", "H.264", "AAC"})
        EXPECT_FALSE(avi.contains(QLatin1String(name))) << name;
    EXPECT_TRUE(avi.endsWith(QStringLiteral("<PrxFileName>x.prx</PrxFileName></params>")));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("T-KaDro-Params.xml"));
    Mp4Params mp4;
    mp4.width = 854;
    mp4.height = 480;
    mp4.frameRate = QStringLiteral("30");
    WriterParamsMp4Write(path, QStringLiteral("/a/ファイル 1.xml"), QStringLiteral("/b/動画.mp4"), QString(), QString(),
                         QStringLiteral("0"), QStringLiteral("2000"), mp4);
    EXPECT_EQ(ChildText(path, "XtlFilePath"), QStringLiteral("/a/ファイル 1.xml"));
    EXPECT_EQ(ChildText(path, "AviFileName"), QStringLiteral("/b/動画.mp4"));
    EXPECT_EQ(ChildText(path, "FrameWidth"), QStringLiteral("854"));
    EXPECT_EQ(ChildText(path, "FrameRate"), QStringLiteral("30"));
    EXPECT_EQ(ChildText(path, "VideoQuality"), QStringLiteral("18"));
    EXPECT_THROW(WriterParamsMp4Write(dir.filePath(QStringLiteral("no/such/params.xml")), QString(), QString(),
                                      QString(), QString(), QString(), QString(), mp4),
                 DocumentWriteError);
}

void WriteFile(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}

class Mp4DriverTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QTemporaryDir app;
    QTemporaryDir media;
    QByteArray oldTemp = qgetenv("TEMP");
    bool hadTemp = qEnvironmentVariableIsSet("TEMP");
    ScriptedUi ui;
    Editor editor{ui};
    OutputDriver driver{editor};

    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid() && app.isValid() && media.isValid());
        qputenv("TEMP", temp.path().toUtf8());
        driver.setApplicationFolder(app.path());
        editor.setSndFile(media.filePath(QStringLiteral("song.wav")));
        WriteFile(editor.sndFile());
        MakeSections(editor, {0, 1000, 2500, 4000}, 6000, 40);
        Register(editor, 1, media.filePath(QStringLiteral("a.avi")), 0, 1000, 40);
        Register(editor, 2, media.filePath(QStringLiteral("b.avi")), 0, 1500, 40);
        WriteFile(media.filePath(QStringLiteral("a.avi")));
        WriteFile(media.filePath(QStringLiteral("b.avi")));
        editor.setAviProfileIndex(13); // 640x480 30
        editor.setWmvProfileIndex(15);
        editor.setMp4ProfileIndex(8); // 1920x1080 59.94
    }
    void TearDown() override
    {
        if (hadTemp)
            qputenv("TEMP", oldTemp);
        else
            qunsetenv("TEMP");
    }

    QString clips() const { return temp.path() + QStringLiteral("/T-KaDro-Clips.xml"); }
    QString params() const { return temp.path() + QStringLiteral("/T-KaDro-Params.xml"); }
    QString range() const
    {
        return ChildText(params(), "StartPoint") + QLatin1Char('-') + ChildText(params(), "EndPoint");
    }
    bool nothingWritten() const { return !QFile::exists(clips()) && !QFile::exists(params()) && ui.started.isEmpty(); }
};

TEST_F(Mp4DriverTest, CreateMp4AsksForAnMp4FileAndWritesTheMp4Documents)
{
    const QString out = media.filePath(QStringLiteral("movie.mp4"));
    editor.setOutputPath(QStringLiteral("/left/over.avi")); // the button empties it first
    ui.saveNames.push_back(out);
    driver.CreateMp4();

    ASSERT_EQ(ui.saveDialogs.size(), 1);
    EXPECT_EQ(ui.saveDialogs.at(0).title, QStringLiteral("名前を付けて保存"));
    EXPECT_EQ(ui.saveDialogs.at(0).filter, QStringLiteral("ビデオファイル(*.mp4) (*.mp4)"));
    EXPECT_EQ(ui.saveDialogs.at(0).defaultSuffix, QStringLiteral("mp4"));
    EXPECT_EQ(editor.outputPath(), out);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_TRUE(ui.questions.isEmpty());

    ASSERT_EQ(ui.started.size(), 1);
    EXPECT_EQ(ui.started.at(0), (QStringList{app.path() + QStringLiteral("/T-VideoWrite"), params()}));
    EXPECT_EQ(ChildText(params(), "XtlFilePath"), clips());
    EXPECT_EQ(ChildText(params(), "AviFileName"), out);
    EXPECT_EQ(range(), QStringLiteral("0-6000"));
    EXPECT_EQ(ChildText(params(), "VideoCompressor"), QStringLiteral("H.264"));
    EXPECT_EQ(ChildAttribute(params(), "VideoCompressor", "dwBitRate"), QStringLiteral("0"));
    EXPECT_EQ(ChildText(params(), "AudioCompressor"), QStringLiteral("AAC"));
    EXPECT_EQ(ChildAttribute(params(), "AudioCompressor", "nSamplesPerSec"), QStringLiteral("48000"));
    EXPECT_EQ(ChildAttribute(params(), "AudioCompressor", "nChannels"), QStringLiteral("2"));
    EXPECT_EQ(ChildText(params(), "PrxFileName"), QString());
    EXPECT_EQ(ChildText(params(), "FrameWidth"), QStringLiteral("1920"));
    EXPECT_EQ(ChildText(params(), "FrameHeight"), QStringLiteral("1080"));
    EXPECT_EQ(ChildText(params(), "FrameRate"), QStringLiteral("59.94"));
    EXPECT_EQ(ChildText(params(), "VideoQuality"), QStringLiteral("18"));

    // The timeline document is drawn at the MP4 size and rate.
    EXPECT_TRUE(ReadText(clips()).startsWith(QStringLiteral(
        "<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" framerate=\"59.94\" "
        "width=\"1920\" height=\"1080\">")))
        << ReadText(clips()).left(200).toStdString();
    EXPECT_EQ(driver.outputFormat().width, 1920);
    EXPECT_EQ(driver.outputFrameInterval(), 17);

    // The next AVI output is back to the AVI list and carries no MP4 element.
    ui.saveNames.push_back(media.filePath(QStringLiteral("movie.avi")));
    driver.CreateAvi();
    ASSERT_EQ(ui.started.size(), 2);
    EXPECT_EQ(ChildText(params(), "VideoCompressor"), QString());
    EXPECT_EQ(ChildText(params(), "FrameWidth"), QStringLiteral("<missing>"));
    EXPECT_EQ(ChildText(params(), "PrxFileName"), QStringLiteral("512-1500k-stereo.prx"));
    EXPECT_EQ(driver.outputFormat().width, 640);
    EXPECT_EQ(driver.outputFrameInterval(), 33);
}

// The DV entry of the AVI list does not turn an MP4 output into DV.
TEST_F(Mp4DriverTest, DvSelectionDoesNotReachTheMp4Output)
{
    editor.setAviProfileIndex(0);
    editor.setMp4ProfileIndex(1); // 640x360 30
    ui.saveNames.push_back(media.filePath(QStringLiteral("small.mp4")));
    driver.CreateMp4();
    ASSERT_EQ(ui.started.size(), 1);
    EXPECT_EQ(ChildText(params(), "VideoCompressor"), QStringLiteral("H.264"));
    EXPECT_EQ(ChildText(params(), "FrameWidth"), QStringLiteral("640"));
    EXPECT_EQ(ChildText(params(), "FrameHeight"), QStringLiteral("360"));
    EXPECT_EQ(ChildText(params(), "FrameRate"), QStringLiteral("30"));
    EXPECT_TRUE(ReadText(clips()).contains(QStringLiteral("framerate=\"30\" width=\"640\" height=\"360\"")));
}

TEST_F(Mp4DriverTest, DraggedRangeWhenPartOnlyIsTicked)
{
    editor.setPartOnly(true);
    editor.setDraggedRange(2, 3);
    ui.saveNames.push_back(media.filePath(QStringLiteral("part.mp4")));
    driver.CreateMp4();
    EXPECT_EQ(range(), QStringLiteral("1000-4000"));

    // A range that ends at the last row runs to the end of the clip.
    editor.setDraggedRange(3, 4);
    ui.saveNames.push_back(media.filePath(QStringLiteral("part.mp4")));
    driver.CreateMp4();
    EXPECT_EQ(range(), QStringLiteral("2500-6000"));
    EXPECT_EQ(ui.started.size(), 2);
}

TEST_F(Mp4DriverTest, ExistingFileIsConfirmedAndInputsAreRefused)
{
    const QString old = media.filePath(QStringLiteral("old.mp4"));
    WriteFile(old);
    ui.saveNames = {old, old};
    ui.yesNo = {false, true};
    driver.CreateMp4();
    ASSERT_EQ(ui.questions.size(), 1);
    EXPECT_EQ(ui.questions.at(0).text, old + QStringLiteral("\r\nは既に存在します。上書きしますか？"));
    EXPECT_TRUE(nothingWritten());
    driver.CreateMp4();
    EXPECT_EQ(ui.questions.size(), 2);
    ASSERT_EQ(ui.started.size(), 1);
    EXPECT_EQ(ChildText(params(), "AviFileName"), old);

    // The sound clip, under another spelling of its path, and a row's video are refused.
    QFile::remove(params());
    QFile::remove(clips());
    ui.started.clear();
    ui.questions.clear();
    const QString soundAgain = media.path() + QStringLiteral("/./song.wav");
    ui.saveNames = {soundAgain, media.filePath(QStringLiteral("b.avi"))};
    driver.CreateMp4();
    driver.CreateMp4();
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages.at(0).text, soundAgain + QStringLiteral("\r\n入力ファイルに上書きはできません。"));
    EXPECT_EQ(ui.messages.at(0).icon, UserDialogs::Icon::Warning);
    EXPECT_EQ(ui.messages.at(1).text,
              media.filePath(QStringLiteral("b.avi")) + QStringLiteral("\r\n入力ファイルに上書きはできません。"));
    EXPECT_TRUE(ui.questions.isEmpty());
    EXPECT_TRUE(nothingWritten());
}

TEST_F(Mp4DriverTest, CancelledDialogAndBadIndexWriteNothing)
{
    ui.saveNames.push_back(std::nullopt);
    driver.CreateMp4();
    EXPECT_EQ(ui.saveDialogs.size(), 1);
    EXPECT_TRUE(nothingWritten());

    // A selection outside the list (an empty combo box) ends the command before any
    // document is written.
    editor.setMp4ProfileIndex(-1);
    ui.saveNames.push_back(media.filePath(QStringLiteral("none.mp4")));
    driver.CreateMp4();
    EXPECT_EQ(ui.saveDialogs.size(), 2);
    EXPECT_TRUE(nothingWritten());
    EXPECT_TRUE(ui.messages.isEmpty());

    editor.setSndFile(QString());
    driver.CreateMp4();
    EXPECT_EQ(editor.msg(), QStringLiteral("音声ﾌｧｲﾙを指定してください。"));
    EXPECT_EQ(ui.saveDialogs.size(), 2);
}

} // namespace
} // namespace vk
