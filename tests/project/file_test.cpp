// The project file: the document written for known tables (golden files), reading back
// what was written, the carry-over rules for damaged videoclips, files that are refused,
// and saves that fail without touching the previous project.

#include "base/numbers.h"
#include "media/soundpanel.h"
#include "project/projectfile.h"
#include "tests/support/fakeengine.h"
#include "tests/support/files.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "timeline/editor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>

namespace vk {
namespace {

QString dataPath(const char* name)
{
    return QString::fromUtf8(VK_PROJECT_DATA) + QLatin1Char('/') + QString::fromUtf8(name);
}

// Documents are compared as text, so a failure shows where they differ.
std::string readAll(const QString& path)
{
    return testsupport::ReadBytes(path).toStdString();
}

using testsupport::WriteBytes;

class ProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        setMediaSizeProbe({});
        // The sound player answers like a 10 s clip at 30 frames a second.
        engine.info.durationMsec = 10000;
        engine.info.secondsPerFrame = 1.0 / 30.0;
        editor.setPanels(&sound, nullptr);
    }
    void TearDown() override { setMediaSizeProbe({}); }

    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }

    // The three-row table of the golden file: a registered row, a row without video whose
    // start is not a whole sound frame, and a "等速" row with an effect.
    void makeThreeRows()
    {
        editor.setSndFile(QStringLiteral("/media/music/song.wav"));
        MakeSections(editor, {0, 1234, 2500}, 10000, 33);
        Register(editor, 1, QStringLiteral("/media/video/a.mp4"), 1500, 3000, 33);
        editor.Grid().setSpeed(1, SpeedSetting::span());
        Register(editor, 3, QStringLiteral("/media/video/b b.mov"), 2000, 4000, 40);
        editor.Grid().setSpeed(3, SpeedSetting::normal());
        editor.Grid().setEffect(3, QStringLiteral("ﾌｪｰﾄﾞ"));
        editor.Grid().setEffectLength(3, 1500);
        editor.setModified(true);
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
};

// ---- writing --------------------------------------------------------------------------------

TEST_F(ProjectFileTest, SaveWritesTheGoldenDocument)
{
    makeThreeRows();
    const QString target = path("three.rem");
    ASSERT_TRUE(project.ProjectSave(target));
    // The starts 1234 and 2500 go to the file as the table holds them, not as their
    // frame-truncated time text (1231 and 2495).
    EXPECT_EQ(readAll(target), readAll(dataPath("three_rows_ms.rem")));
    EXPECT_FALSE(editor.modified());
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_TRUE(ui.questions.isEmpty()); // a new file needs no overwrite question
}

// The golden table made through the row's fields: the file holds every field as it was
// set, reading it back gives the same fields, and saving again the same bytes.
TEST_F(ProjectFileTest, TheFieldsOfARowRoundTripThroughTheGoldenDocument)
{
    editor.setSndFile(QStringLiteral("/media/music/song.wav"));
    editor.setSoundClip(10000, 33);
    RowTable& g = editor.Grid();
    g.setRows(4);
    const int starts[] = {0, 1234, 2500};
    for (int r = 1; r <= 3; ++r)
        ASSERT_TRUE(g.setSectionStart(r, starts[r - 1], 33));
    ASSERT_TRUE(g.setVideoSpan(1, QStringLiteral("/media/video/a.mp4"), 33, 1500, 3000));
    g.setSpeed(1, SpeedSetting::span());
    ASSERT_TRUE(g.setVideoSpan(3, QStringLiteral("/media/video/b b.mov"), 40, 2000, 4000));
    g.setSpeed(3, SpeedSetting::normal());
    g.setEffect(3, QStringLiteral("ﾌｪｰﾄﾞ"));
    g.setEffectLength(3, 1500.0);
    const QString target = path("fields.rem");
    ASSERT_TRUE(project.ProjectSave(target));
    EXPECT_EQ(readAll(target), readAll(dataPath("three_rows_ms.rem")));

    ASSERT_TRUE(project.ProjectLoad(target));
    ASSERT_EQ(g.Rows(), 4);
    for (int r = 1; r <= 3; ++r)
        EXPECT_EQ(g.sectionStart(r), starts[r - 1]) << "row " << r;
    EXPECT_EQ(CellText(g, 2, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:07")); // shown: the frame at 1231 ms
    EXPECT_EQ(g.videoFile(1), QStringLiteral("/media/video/a.mp4"));
    EXPECT_EQ(g.frameInterval(1), 33);
    EXPECT_EQ(g.inPoint(1), 1495); // 1500 ms on the frames of 33 ms
    EXPECT_EQ(g.outPoint(1), 3000);
    EXPECT_EQ(g.speed(1), SpeedSetting::span());
    EXPECT_FALSE(g.hasVideo(2));
    EXPECT_TRUE(g.speed(2).isNone());
    EXPECT_EQ(g.frameInterval(2), std::nullopt);
    EXPECT_EQ(g.videoFile(3), QStringLiteral("/media/video/b b.mov"));
    EXPECT_EQ(g.frameInterval(3), 40);
    EXPECT_EQ(g.inPoint(3), 2000);
    EXPECT_EQ(g.outPoint(3), 4000);
    EXPECT_TRUE(g.speed(3).isNormal());
    EXPECT_EQ(g.effect(3), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_EQ(g.effectLength(3), 1500.0);
    EXPECT_FALSE(g.mediaSize(3).has_value()); // no probe

    const QString again = path("again.rem");
    ASSERT_TRUE(project.ProjectSave(again));
    EXPECT_EQ(readAll(again), readAll(target));
}

// A project of one clip, 0..5000 ms of /a.mp4 at 40 ms frames, with the given rate,
// trans and transmsec attributes.
QByteArray oneClipProject(const char* speedAndEffect)
{
    return QByteArray("<project version=\"2_0_1\"><soundclip soundfile=\"/s.wav\"/><videoclips>"
                      "<videoclip soundmsec=\"0\" videofile=\"/a.mp4\" beginmsec=\"0\" endmsec=\"5000\""
                      " intervalmsec=\"40\" ") +
           speedAndEffect + "/></videoclips></project>";
}

// A rate that is no speed setting reads as none, and the load works the speed out.
TEST_F(ProjectFileTest, ARateThatIsNoSpeedReadsAsNoneAndIsWorkedOut)
{
    const QString source = path("rate.rem");
    WriteBytes(source, oneClipProject("rate=\"fast\" trans=\"\" transmsec=\"\""));
    ASSERT_TRUE(project.ProjectLoad(source));
    EXPECT_EQ(editor.Grid().speed(1), SpeedSetting::span()); // 5000 ms over the 10 s clip
}

// A transition length that is no number reads as none; the effect stays and the row is
// saved without a length.
TEST_F(ProjectFileTest, ATransitionLengthThatIsNoNumberReadsAsNone)
{
    const QString source = path("length.rem");
    WriteBytes(source, oneClipProject("rate=\"\" trans=\"ﾌｪｰﾄﾞ\" transmsec=\"soon\""));
    ASSERT_TRUE(project.ProjectLoad(source));
    EXPECT_EQ(editor.Grid().effect(1), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_EQ(editor.Grid().effectLength(1), std::nullopt);
    const QString target = path("length-saved.rem");
    ASSERT_TRUE(project.ProjectSave(target));
    EXPECT_NE(readAll(target).find("trans=\"ﾌｪｰﾄﾞ\" transmsec=\"\""), std::string::npos);
}

TEST_F(ProjectFileTest, SaveEscapesMarkupAndWritesUtf8)
{
    editor.setSndFile(QStringLiteral("/音楽/曲 & <歌>.wav"));
    MakeSections(editor, {0}, 5000, 33);
    Register(editor, 1, QStringLiteral("/動画/a&b \"c\".mp4"), 0, 0, 33);
    editor.Grid().setSpeed(1, SpeedSetting::span());
    editor.Grid().setEffect(1, QStringLiteral("ﾜｲﾌﾟ"));
    editor.Grid().setEffectLength(1, 250);
    const QString target = path("escapes.rem");
    ASSERT_TRUE(project.ProjectSave(target));
    EXPECT_EQ(readAll(target), readAll(dataPath("escapes.rem")));
}

TEST_F(ProjectFileTest, SaveOfATableWithoutDataRowsWritesEmptyVideoclips)
{
    editor.setSndFile(QStringLiteral("/media/music/song.wav"));
    editor.Grid().setRows(1);
    const QString target = path("none.rem");
    ASSERT_TRUE(project.ProjectSave(target));
    EXPECT_EQ(readAll(target), readAll(dataPath("no_rows.rem")));
}

TEST_F(ProjectFileTest, SaveWithoutSoundClipWarnsAndWritesNothing)
{
    makeThreeRows();
    editor.setSndFile(QString());
    const QString target = path("nosound.rem");
    EXPECT_FALSE(project.ProjectSave(target));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(editor.modified());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("音声ﾌｧｲﾙが指定されていません。"));
    EXPECT_EQ(ui.messages[0].icon, UserDialogs::Icon::Warning);
}

TEST_F(ProjectFileTest, SaveOverAnExistingFileAsksAndNoKeepsIt)
{
    makeThreeRows();
    const QString target = path("old.rem");
    WriteBytes(target, "old contents");
    ui.yesNo = {false};
    EXPECT_FALSE(project.ProjectSave(target));
    EXPECT_EQ(readAll(target), "old contents");
    EXPECT_TRUE(editor.modified());
    ASSERT_EQ(ui.questions.size(), 1);
    EXPECT_TRUE(ui.questions[0].text.contains(target));

    ui.yesNo = {true};
    EXPECT_TRUE(project.ProjectSave(target));
    EXPECT_EQ(readAll(target), readAll(dataPath("three_rows_ms.rem")));
    EXPECT_FALSE(editor.modified());
}

TEST_F(ProjectFileTest, SaveRefusesARowWithoutASectionStart)
{
    makeThreeRows();
    Row startless = editor.Grid().row(3);
    startless.start.reset();
    editor.Grid().setRow(3, startless);
    const QString target = path("bad.rem");
    WriteBytes(target, "previous");
    ui.yesNo = {true};
    EXPECT_FALSE(project.ProjectSave(target));
    EXPECT_EQ(readAll(target), "previous");
    EXPECT_TRUE(editor.modified());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].icon, UserDialogs::Icon::Warning);
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("3 行目")));
}

// ---- atomic saves ---------------------------------------------------------------------------

TEST_F(ProjectFileTest, SaveIntoAMissingFolderFailsWithAWarning)
{
    makeThreeRows();
    const QString blocker = path("plainfile");
    WriteBytes(blocker, "x");
    const QString target = blocker + QStringLiteral("/sub/p.rem");
    EXPECT_FALSE(project.ProjectSave(target));
    EXPECT_TRUE(editor.modified());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].icon, UserDialogs::Icon::Warning);
    EXPECT_TRUE(ui.messages[0].text.contains(target));
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("保存できませんでした")));
    EXPECT_EQ(readAll(blocker), "x");
}

// A write that runs out of room (the file size limit stands in for a full disk) leaves
// the previous project byte for byte and no stray file beside it.
TEST_F(ProjectFileTest, SaveThatRunsOutOfRoomKeepsThePreviousProject)
{
    makeThreeRows();
    const QString target = path("keep.rem");
    const std::string previous = readAll(dataPath("escapes.rem"));
    WriteBytes(target, QByteArray::fromStdString(previous));
    // Enough rows for a document far over the limit.
    MakeSections(editor, std::vector<int>{0, 1000, 2000, 3000, 4000, 5000, 6000, 7000}, 10000, 33);
    for (int r = 1; r < editor.Grid().Rows(); ++r)
        Register(editor, r, QStringLiteral("/media/video/a rather long file name to fill the document.mp4"), 0, 990);

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ui.yesNo = {true};
    const bool saved = project.ProjectSave(target);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(readAll(target), previous);
    EXPECT_TRUE(editor.modified());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.contains(target));
    const QStringList left = QDir(m_dir.path()).entryList(QDir::Files);
    EXPECT_EQ(left, QStringList{QStringLiteral("keep.rem")});
}

// ---- reading --------------------------------------------------------------------------------

TEST_F(ProjectFileTest, LoadOfTheGoldenDocumentRestoresTheRows)
{
    editor.setModified(true);
    ASSERT_TRUE(project.ProjectLoad(dataPath("three_rows.rem")));
    const RowTable& g = editor.Grid();
    ASSERT_EQ(g.Rows(), 4);
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/media/music/song.wav"));
    EXPECT_EQ(engine.openedPath, QStringLiteral("/media/music/song.wav"));
    EXPECT_EQ(editor.sndLength(), 10000);

    EXPECT_EQ(g.videoFile(1), QStringLiteral("/media/video/a.mp4"));
    EXPECT_EQ(CellText(g, 1, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:15"));
    EXPECT_EQ(CellText(g, 1, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:03:00"));
    EXPECT_EQ(g.frameInterval(1), 33);
    EXPECT_EQ(g.speedText(1, editor.sndLength()), QStringLiteral("1.223x")); // 1505 ms over 1231

    // The row without video keeps only its section.
    EXPECT_EQ(CellText(g, 2, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:07"));
    EXPECT_EQ(g.row(2).start, 1231);
    for (int c : kRegistrationColumns)
        EXPECT_TRUE(CellText(g, 2, c, editor.sndFrameInterval(), editor.sndLength()).isEmpty()) << "column " << c;

    EXPECT_EQ(g.row(3).start, 2495);
    EXPECT_EQ(g.videoFile(3), QStringLiteral("/media/video/b b.mov"));
    EXPECT_EQ(CellText(g, 3, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:02:00"));
    EXPECT_EQ(CellText(g, 3, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:04:00"));
    EXPECT_EQ(g.frameInterval(3), 40);
    EXPECT_EQ(g.speedText(3, editor.sndLength()), QStringLiteral("等速")); // the refresh leaves it alone
    EXPECT_EQ(g.effect(3), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_EQ(g.effectLength(3), 1500);
    // Without a media probe the sizes stay empty.
    EXPECT_FALSE(g.mediaSize(1).has_value());

    EXPECT_EQ(g.marker(1), kMarkerSelected);
    EXPECT_EQ(g.currentRow, 1);
    EXPECT_TRUE(editor.modified()); // opening leaves the flag as it was
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(ProjectFileTest, FileOfFrameTimesRoundTripsByteForByte)
{
    // A project written when starts were stored as whole sound frames.
    ASSERT_TRUE(project.ProjectLoad(dataPath("three_rows.rem")));
    const QString target = path("again.rem");
    ASSERT_TRUE(project.ProjectSave(target));
    EXPECT_EQ(readAll(target), readAll(dataPath("three_rows.rem")));
}

TEST_F(ProjectFileTest, TappedStartsSurviveSaveAndOpenToTheMillisecond)
{
    // Taps as the sound panel adds them: a snapped one lands on a beat between frames,
    // a plain one anywhere; neither is a whole 33 ms sound frame.
    editor.setSndFile(QStringLiteral("/media/music/song.wav"));
    MakeSections(editor, {0}, 10000, 33);
    for (int ms : {517, 1234, 2501, 7999})
        editor.sections().SndSectionAdd(ms);
    const RowTable saved = editor.Grid();
    const QString target = path("taps.rem");
    ASSERT_TRUE(project.ProjectSave(target));

    ScriptedUi ui2;
    Editor other{ui2};
    FakeEngine engine2;
    engine2.info.durationMsec = 10000;
    engine2.info.secondsPerFrame = 1.0 / 30.0;
    SoundPanel sound2{other, engine2, nullptr};
    other.setPanels(&sound2, nullptr);
    ASSERT_TRUE(ProjectFile(other).ProjectLoad(target));
    ASSERT_EQ(other.Grid().Rows(), saved.Rows());
    for (int r = 1; r < saved.Rows(); ++r) {
        EXPECT_EQ(other.Grid().row(r).start, saved.row(r).start) << "row " << r;
        EXPECT_EQ(CellText(other.Grid(), r, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
                  CellText(saved, r, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()))
            << "row " << r;
    }
    EXPECT_EQ(other.Grid().row(3).start, 1234);
    EXPECT_EQ(CellText(other.Grid(), 3, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:07")); // shown in frames
}

TEST_F(ProjectFileTest, RoundTripKeepsStartsAndShowsThemInWholeSoundFrames)
{
    makeThreeRows();
    editor.Grid().setSpeed(1, SpeedSetting::none()); // computed again on loading
    const QString target = path("trip.rem");
    ASSERT_TRUE(project.ProjectSave(target));

    ScriptedUi ui2;
    Editor other{ui2};
    FakeEngine engine2;
    engine2.info.durationMsec = 10000;
    engine2.info.secondsPerFrame = 1.0 / 30.0;
    SoundPanel sound2{other, engine2, nullptr};
    other.setPanels(&sound2, nullptr);
    ProjectFile reader{other};
    ASSERT_TRUE(reader.ProjectLoad(target));
    EXPECT_TRUE(TableInvariants(other));

    const RowTable& a = editor.Grid();
    const RowTable& b = other.Grid();
    ASSERT_EQ(b.Rows(), a.Rows());
    EXPECT_EQ(b.row(2).start, 1234);
    EXPECT_EQ(b.row(3).start, 2500);
    for (int r = 1; r < a.Rows(); ++r) {
        EXPECT_EQ(CellText(b, r, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
                  CellText(a, r, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()))
            << "row " << r;
        for (int c : {Col::VideoFile, Col::OutPoint, Col::VideoInterval, Col::Effect, Col::TransMsec})
            EXPECT_EQ(CellText(b, r, c, editor.sndFrameInterval(), editor.sndLength()),
                      CellText(a, r, c, editor.sndFrameInterval(), editor.sndLength()))
                << "row " << r << " column " << c;
    }
    // The in point 1500 was stored in whole frames: 00:00:01:15 is 1495 ms, shown the same.
    EXPECT_EQ(CellText(b, 1, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              CellText(a, 1, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()));
    // Row 1's empty speed is computed from its section: 1505 ms over 1234 ms.
    EXPECT_EQ(b.speedText(1, editor.sndLength()), QStringLiteral("1.22x"));
    EXPECT_EQ(b.speedText(3, editor.sndLength()), QStringLiteral("等速"));

    // Saving the loaded table again gives the same document.
    ui2.yesNo = {true};
    ASSERT_TRUE(reader.ProjectSave(target));
    QByteArray again;
    QString reason;
    ASSERT_TRUE(ProjectFile::BuildDocument(other, again, reason));
    EXPECT_EQ(readAll(target), again.toStdString());
}

TEST_F(ProjectFileTest, LoadUsesTheSoundClipsFrameIntervalForSections)
{
    engine.info.secondsPerFrame = 0.04; // 25 frames a second
    ASSERT_TRUE(project.ProjectLoad(dataPath("three_rows.rem")));
    EXPECT_EQ(editor.sndFrameInterval(), 40);
    EXPECT_EQ(CellText(editor.Grid(), 2, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:05"));
    EXPECT_EQ(editor.Grid().row(2).start, 1231);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(ProjectFileTest, LoadFillsMediaSizesProbingEachFileOnce)
{
    QStringList probed;
    setMediaSizeProbe([&probed](const QString& file, int& w, int& h) {
        probed << file;
        if (file.endsWith(QStringLiteral(".mov")))
            return false; // a missing file
        w = 1280;
        h = 720;
        return true;
    });
    const QString source = path("sizes.rem");
    WriteBytes(source,
               "<project><soundclip soundfile=\"/s.wav\"/><videoclips>"
               "<videoclip soundmsec=\"0\" videofile=\"/v/a.mp4\" beginmsec=\"0\" endmsec=\"990\" intervalmsec=\"33\"/>"
               "<videoclip soundmsec=\"1000\" videofile=\"/v/a.mp4\" beginmsec=\"990\" endmsec=\"1980\"/>"
               "<videoclip soundmsec=\"2000\" videofile=\"\"/>"
               "<videoclip soundmsec=\"3000\" videofile=\"/v/b.mov\"/>"
               "</videoclips></project>");
    ASSERT_TRUE(project.ProjectLoad(source));
    const RowTable& g = editor.Grid();
    EXPECT_EQ(probed, (QStringList{QStringLiteral("/v/a.mp4"), QStringLiteral("/v/b.mov")}));
    EXPECT_EQ(g.mediaSize(1).value_or(MediaSize{}).width, 1280);
    EXPECT_EQ(g.mediaSize(2).value_or(MediaSize{}).height, 720);
    EXPECT_FALSE(g.mediaSize(3).has_value());
    EXPECT_FALSE(g.mediaSize(4).has_value());
    EXPECT_TRUE(TableInvariants(editor));
}

// Missing or non-numeric attributes take the value of the videoclip before them; the
// first videoclip falls back to 0 and empty text.
TEST_F(ProjectFileTest, LoadCarriesValuesOverFromThePreviousVideoclip)
{
    const QString source = path("carry.rem");
    WriteBytes(source, "<project version=\"9_9_9\"><soundclip soundfile=\"/s.wav\"/><videoclips>"
                       // no soundmsec: the first falls back to 0
                       "<videoclip videofile=\"/a.mp4\" beginmsec=\"330\" endmsec=\"660\" intervalmsec=\"33\""
                       " rate=\"2x\" trans=\"ﾌｪｰﾄﾞ\" transmsec=\"500\"/>"
                       // no videofile: the previous file, with what could be read
                       "<videoclip soundmsec=\"2000\" endmsec=\"990\" rate=\"\"/>"
                       // a start that is not a number keeps 2000; no video
                       "<videoclip soundmsec=\"x12\" videofile=\"\"/>"
                       // overflow and non-numbers keep the values of the second element;
                       // a decimal rounds to the nearest integer
                       "<videoclip soundmsec=\"4000\" videofile=\"/b.mp4\" beginmsec=\"99999999999\""
                       " intervalmsec=\"abc\" endmsec=\" 1320.4\"/>"
                       "</videoclips></project>");
    ASSERT_TRUE(project.ProjectLoad(source));
    const RowTable& g = editor.Grid();
    ASSERT_EQ(g.Rows(), 5);
    EXPECT_TRUE(TableInvariants(editor));

    EXPECT_EQ(g.row(1).start, 0);
    EXPECT_EQ(CellText(g, 1, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:00"));
    EXPECT_EQ(CellText(g, 1, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:10"));
    // The file's "2x" names the span's speed, whose ratio the table works out: 330 ms
    // over the 2000 ms section. The number in a file is not kept.
    EXPECT_EQ(g.speedText(1, editor.sndLength()), QStringLiteral("0.165x"));

    EXPECT_EQ(g.row(2).start, 2000);
    EXPECT_EQ(g.videoFile(2), QStringLiteral("/a.mp4"));
    EXPECT_EQ(CellText(g, 2, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:10"));
    EXPECT_EQ(CellText(g, 2, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:30"));
    EXPECT_EQ(g.frameInterval(2), 33);
    EXPECT_EQ(g.effect(2), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_EQ(g.effectLength(2), 500);
    // Its section has length 0 (row 3 starts at the same time): no speed.
    EXPECT_TRUE(g.speedText(2, editor.sndLength()).isEmpty());

    EXPECT_EQ(g.row(3).start, 2000);
    EXPECT_TRUE(g.videoFile(3).isEmpty());
    EXPECT_TRUE(CellText(g, 3, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()).isEmpty());

    EXPECT_EQ(g.row(4).start, 4000);
    EXPECT_EQ(g.videoFile(4), QStringLiteral("/b.mp4"));
    EXPECT_EQ(CellText(g, 4, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:10"));
    EXPECT_EQ(CellText(g, 4, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:09"));
    EXPECT_EQ(g.frameInterval(4), 33);
    EXPECT_EQ(g.effect(4), QStringLiteral("ﾌｪｰﾄﾞ"));
    // Empty speed carried over, then computed: the out point shows as 00:00:01:09
    // (1297 ms), so 967 ms over the last section of 6000 ms.
    EXPECT_EQ(g.speedText(4, editor.sndLength()), QStringLiteral("0.161x"));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(ProjectFileTest, LoadWithoutSoundfileKeepsTheSoundClipField)
{
    editor.setSndFile(QStringLiteral("/current.wav"));
    const QString source = path("nosound.rem");
    WriteBytes(source, "<project><videoclips><videoclip soundmsec=\"0\" videofile=\"\"/></videoclips></project>");
    ASSERT_TRUE(project.ProjectLoad(source));
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/current.wav"));
    EXPECT_EQ(engine.openedPath, QStringLiteral("/current.wav")); // loaded again
    EXPECT_EQ(editor.Grid().Rows(), 2);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(ProjectFileTest, LoadWithoutVideoclipsLeavesOnlyTheHeaderRow)
{
    MakeSections(editor, {0, 1000, 2000}, 5000);
    ASSERT_TRUE(project.ProjectLoad(dataPath("no_rows.rem")));
    EXPECT_EQ(editor.Grid().Rows(), 1);
    EXPECT_EQ(editor.sndFile(), QStringLiteral("/media/music/song.wav"));
}

TEST_F(ProjectFileTest, LoadWithoutSoundPanelStillReadsTheRows)
{
    editor.setPanels(nullptr, nullptr);
    editor.setSoundClip(10000, 33);
    ASSERT_TRUE(project.ProjectLoad(dataPath("three_rows.rem")));
    EXPECT_EQ(editor.Grid().Rows(), 4);
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_TRUE(engine.calls.isEmpty());
}

// Files that are not projects are refused before anything changes.
TEST_F(ProjectFileTest, UnusableFilesAreRefusedAndChangeNothing)
{
    struct Case {
        const char* name;
        QByteArray bytes; // empty name: the file is not created
        bool create;
    };
    const Case cases[] = {
        {"missing.rem", QByteArray(), false},
        {"notxml.rem", QByteArray("this is not a project\n\x01\x02\xff"), true},
        {"truncated.rem", QByteArray("<project><soundclip soundfile=\"/x.wav\"/><videoclips><videoclip"), true},
        {"wrongroot.rem",
         QByteArray("<projekt><soundclip soundfile=\"/x.wav\"/><videoclips>"
                    "<videoclip soundmsec=\"0\" videofile=\"/v.mp4\"/></videoclips></projekt>"),
         true},
        {"empty.rem", QByteArray(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        engine.clearCalls();
        editor.setSndFile(QStringLiteral("/current.wav"));
        editor.setProjectPath(QStringLiteral("/projects/current.rem"));
        MakeSections(editor, {0, 1000}, 5000);
        Register(editor, 2, QStringLiteral("/v/keep.mp4"), 0, 990);
        editor.setModified(true);
        const RowTable before = editor.Grid();

        const QString file = path(c.name);
        if (c.create)
            WriteBytes(file, c.bytes);
        EXPECT_FALSE(project.ProjectLoad(file));
        EXPECT_TRUE(editor.Grid() == before);
        EXPECT_EQ(editor.sndFile(), QStringLiteral("/current.wav"));
        EXPECT_EQ(editor.projectPath(), QStringLiteral("/projects/current.rem"));
        EXPECT_TRUE(editor.modified());
        EXPECT_TRUE(engine.calls.isEmpty());
        ASSERT_EQ(ui.messages.size(), 1);
        EXPECT_EQ(ui.messages[0].icon, UserDialogs::Icon::Warning);
        EXPECT_TRUE(ui.messages[0].text.contains(file));
    }
}

// ---- the beat grid's corrections ------------------------------------------------------------

TEST_F(ProjectFileTest, BeatGridCorrectionsAreAnOptionalElementThatReadersPassOver)
{
    // The golden file with the element after <videoclips>, as a project with corrections
    // is written: the reader gives the same sound clip and rows, and loading it without
    // hooks (a reader that knows nothing of it) gives the same table.
    QByteArray bytes = QByteArray::fromStdString(readAll(dataPath("three_rows.rem")));
    QByteArray withGrid = bytes;
    withGrid.replace("</videoclips></project>",
                     "</videoclips><beatgrid soundkey=\"ab12\">shift 2000 100\nbar 2600 0\n</beatgrid></project>");
    ASSERT_NE(withGrid, bytes);
    WriteBytes(path("plain.rem"), bytes);
    WriteBytes(path("grid.rem"), withGrid);
    ProjectFile::Document plain, grid;
    QString reason;
    ASSERT_TRUE(ProjectFile::ReadDocument(path("plain.rem"), plain, reason)) << reason.toStdString();
    ASSERT_TRUE(ProjectFile::ReadDocument(path("grid.rem"), grid, reason)) << reason.toStdString();
    EXPECT_EQ(grid.soundFile, plain.soundFile);
    ASSERT_EQ(grid.clips.size(), plain.clips.size());
    for (size_t i = 0; i < grid.clips.size(); ++i) {
        EXPECT_EQ(grid.clips[i].soundMsec, plain.clips[i].soundMsec);
        EXPECT_EQ(grid.clips[i].videoFile, plain.clips[i].videoFile);
        EXPECT_EQ(grid.clips[i].rate, plain.clips[i].rate);
    }
    EXPECT_FALSE(plain.beatGrid);
    ASSERT_TRUE(grid.beatGrid);
    EXPECT_EQ(grid.beatGrid->soundKey, QByteArray("ab12"));
    EXPECT_EQ(grid.beatGrid->corrections, QByteArray("shift 2000 100\nbar 2600 0\n"));

    ASSERT_TRUE(project.ProjectLoad(path("plain.rem")));
    const RowTable plainTable = editor.Grid();
    ASSERT_TRUE(project.ProjectLoad(path("grid.rem")));
    EXPECT_TRUE(editor.Grid() == plainTable);
}

TEST_F(ProjectFileTest, BeatGridCorrectionsGoThroughTheHooksAndAreWrittenOnlyWhenThere)
{
    makeThreeRows();
    std::optional<ProjectFile::BeatGridElement> saved;
    std::vector<std::optional<ProjectFile::BeatGridElement>> loaded;
    project.setBeatGridHooks(
        {[&] { return saved; }, [&](const std::optional<ProjectFile::BeatGridElement>& g) { loaded.push_back(g); }});
    // None: the golden document, byte for byte.
    ASSERT_TRUE(project.ProjectSave(path("none.rem")));
    EXPECT_EQ(readAll(path("none.rem")), readAll(dataPath("three_rows_ms.rem")));

    saved = ProjectFile::BeatGridElement{"0123abcd", "tempo 4000 400\nshift 0 -12.5\n"};
    ASSERT_TRUE(project.ProjectSave(path("some.rem")));
    EXPECT_NE(readAll(path("some.rem")).find("</videoclips><beatgrid soundkey=\"0123abcd\">"), std::string::npos);
    ASSERT_TRUE(project.ProjectLoad(path("some.rem")));
    ASSERT_TRUE(project.ProjectLoad(path("none.rem")));
    ASSERT_EQ(loaded.size(), 2u);
    ASSERT_TRUE(loaded[0]);
    EXPECT_EQ(loaded[0]->soundKey, saved->soundKey);
    EXPECT_EQ(loaded[0]->corrections, saved->corrections);
    EXPECT_FALSE(loaded[1]);
}

} // namespace
} // namespace vk
