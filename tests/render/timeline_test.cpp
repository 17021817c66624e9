// The timeline document: golden documents for the layouts of tracks, clips and
// transitions, the time factor, the stretch mode and the transition table.

#include "base/numbers.h"
#include "render/timelinedocument.h"
#include "tests/render/render_support.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vk {
namespace {

using rendertest::Golden;
using rendertest::ReadText;

const QString kSound = QStringLiteral("/music/song.wav");

OutputFormat Format(int aviIndex)
{
    OutputFormat format;
    QString prx;
    OutputProfileGet(aviIndex, 0, format, prx);
    return format;
}

class TimelineTest : public ::testing::Test {
protected:
    ScriptedUi ui;
    Editor editor{ui};
    RowTable& grid = editor.Grid();

    TimelineInputs inputs() const { return TimelineInputs{editor.Grid(), kSound, editor.sndLength()}; }
    void setEffect(int row, const QString& name, std::optional<double> msec)
    {
        grid.setEffect(row, name);
        grid.setEffectLength(row, msec);
    }
};

// Row 1 opens a track of its own: the first track stays empty. A following effect
// holds the clip before it on for the transition's length. With 40 ms sound frames the
// section start 4500 shows as 00:00:04:12 and is placed at 4.48 s.
TEST_F(TimelineTest, EffectOnFirstRowLeavesFirstTrackEmpty)
{
    MakeSections(editor, {0, 2000, 4500}, 6000, 40);
    Register(editor, 1, QStringLiteral("/v/a.avi"), 0, 2000, 40);
    Register(editor, 2, QStringLiteral("/v/b.avi"), 1000, 3000, 40);
    Register(editor, 3, QStringLiteral("/v/c.avi"), 0, 3000, 40);
    setEffect(1, QStringLiteral("ﾜｲﾌﾟ"), 500);
    setEffect(3, QStringLiteral("ｱｲﾘｽ"), 1000);
    ASSERT_TRUE(TableInvariants(editor));

    EXPECT_EQ(TimelineDocumentText(inputs(), Format(13), 0, 1.0), Golden(QStringLiteral("effect_first_row.xml")));
}

// A row without video gets only its audio clip (its effect opens no track, though it
// still holds the clip before it on); "等速" takes the exact section length from the in
// point, up to the clip end for the last row; section starts are cut at the ms the table
// holds (1234 ms, though its time text shows the 33 ms frame at 1.231 s). DV writes
// 720 x 480 at 29.97.
TEST_F(TimelineTest, GapRowAndNormalSpeedRows)
{
    MakeSections(editor, {0, 1234, 2500, 3000}, 4000, 33);
    Register(editor, 1, QStringLiteral("/v/a.avi"), 100, 900, 33);
    grid.setSpeed(1, SpeedSetting::normal());
    setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"), 300); // no video in row 2
    Register(editor, 3, QStringLiteral("/v/b.avi"), 0, 2000, 40);
    grid.setSpeed(3, SpeedSetting::span());
    Register(editor, 4, QStringLiteral("/v/c.avi"), 500, 700, 40);
    grid.setSpeed(4, SpeedSetting::normal());

    EXPECT_EQ(TimelineDocumentText(inputs(), Format(0), 1, 1.0), Golden(QStringLiteral("gap_and_normal_speed.xml")));
}

// The same table made through the row's fields gives the same document.
TEST_F(TimelineTest, TheFieldsOfARowWriteTheGoldenDocument)
{
    editor.setSoundClip(4000, 33);
    grid.setRows(5);
    const int starts[] = {0, 1234, 2500, 3000};
    for (int r = 1; r <= 4; ++r)
        ASSERT_TRUE(grid.setSectionStart(r, starts[r - 1], 33));
    ASSERT_TRUE(grid.setVideoSpan(1, QStringLiteral("/v/a.avi"), 33, 100, 900));
    grid.setMediaSize(1, MediaSize{640, 480});
    grid.setSpeed(1, SpeedSetting::normal());
    grid.setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"));
    grid.setEffectLength(2, 300.0);
    ASSERT_TRUE(grid.setVideoSpan(3, QStringLiteral("/v/b.avi"), 40, 0, 2000));
    grid.setMediaSize(3, MediaSize{640, 480});
    grid.setSpeed(3, SpeedSetting::span());
    ASSERT_TRUE(grid.setVideoSpan(4, QStringLiteral("/v/c.avi"), 40, 500, 700));
    grid.setMediaSize(4, MediaSize{640, 480});
    grid.setSpeed(4, SpeedSetting::normal());
    ASSERT_TRUE(TableInvariants(editor));

    EXPECT_EQ(TimelineDocumentText(inputs(), Format(0), 1, 1.0), Golden(QStringLiteral("gap_and_normal_speed.xml")));
}

// Playback rate 2.0 (f = 0.5): every start and stop is halved and rounded, media times
// stay. The still in the last row is stretched by its 1280 x 720 cells.
TEST_F(TimelineTest, RateTwoHalvesTimelineTimes)
{
    MakeSections(editor, {0, 1230, 2500}, 5010, 10);
    Register(editor, 1, QStringLiteral("/v/a.avi"), 0, 2460, 10);
    grid.setSpeed(1, SpeedSetting::span());
    Register(editor, 2, QStringLiteral("/v/b.avi"), 1000, 3000, 10);
    setEffect(2, QStringLiteral("ﾗｼﾞｱﾙ"), 1000);
    Register(editor, 3, QStringLiteral("/v/still.png"), 0, 0, 33, 1280, 720);
    grid.setSpeed(3, SpeedSetting::span());

    EXPECT_EQ(TimelineDocumentText(inputs(), Format(21), 0, 0.5), Golden(QStringLiteral("rate_two.xml")));
}

// A still marked "等速" plays its section length; an unknown effect name gets the fade;
// an empty duration gives a transition with start = stop and holds nothing on; the
// stretch mode follows the text order of the size cells ("720" > "1280", "480" < "640",
// "1080" < "1920", empty cells never).
TEST_F(TimelineTest, StillUnknownEffectAndSizeCells)
{
    MakeSections(editor, {0, 2000, 3000, 3500}, 4500, 40);
    Register(editor, 1, QStringLiteral("/v/still.png"), 0, 0, 40, 640, 480);
    grid.setSpeed(1, SpeedSetting::normal());
    Register(editor, 2, QStringLiteral("/v/b.avi"), 0, 1000, 40, 1280, 720);
    setEffect(2, QStringLiteral("ﾃﾞｨｿﾞﾙﾌﾞ"), std::nullopt);
    Register(editor, 3, QStringLiteral("/v/c.avi"), 0, 1500, 40, 1920, 1080);
    Register(editor, 4, QStringLiteral("/v/d.avi"), 0, 500, 40);
    grid.setMediaSize(4, std::nullopt);

    EXPECT_EQ(TimelineDocumentText(inputs(), Format(14), 0, 1.0),
              Golden(QStringLiteral("still_unknown_effect_sizes.xml")));
}

TEST_F(TimelineTest, DocumentIsRawUtf8WithoutDeclaration)
{
    MakeSections(editor, {0}, 1000, 33);
    Register(editor, 1, QStringLiteral("/ビデオ/映像 1.avi"), 0, 1000, 33);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("T-KaDro-Clips.xml"));
    TimelineWrite(inputs(), path, Format(13), 0, 1.0);

    const QString text = ReadText(path);
    EXPECT_TRUE(text.startsWith(QStringLiteral("<timeline><group type=\"video\"")));
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));
    EXPECT_FALSE(text.contains(QStringLiteral("<?xml")));
    EXPECT_TRUE(text.contains(QStringLiteral("src=\"/ビデオ/映像 1.avi\"")));
    EXPECT_EQ(text, TimelineDocumentText(inputs(), Format(13), 0, 1.0));

    // Writing again replaces the file.
    grid.setVideoFile(1, QStringLiteral("/v/other.avi"));
    TimelineWrite(inputs(), path, Format(13), 0, 1.0);
    EXPECT_FALSE(ReadText(path).contains(QStringLiteral("映像 1")));
}

TEST_F(TimelineTest, TableWithoutRowsHasGroupsOnly)
{
    grid.setRows(1);
    editor.setSoundClip(1000, 33);
    EXPECT_EQ(TimelineDocumentText(inputs(), Format(7), 0, 1.0),
              QStringLiteral("<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" "
                             "framerate=\"30\" width=\"320\" height=\"240\"/><group type=\"audio\" "
                             "samplingrate=\"48000\"><track/></group></timeline>"));
}

TEST_F(TimelineTest, UnreadableCellsRaiseAndWriteNothing)
{
    MakeSections(editor, {0, 1000}, 2000, 33);
    Register(editor, 1, QStringLiteral("/v/a.avi"), 0, 1000, 33);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("clips.xml"));

    // A registered row without its frame interval.
    grid.setFrameInterval(1, std::nullopt);
    EXPECT_THROW(TimelineWrite(inputs(), path, Format(13), 0, 1.0), ConversionError);
    EXPECT_FALSE(QFile::exists(path));

    // A registered row without its in point.
    grid.setFrameInterval(1, 33);
    grid.setInPoint(1, std::nullopt);
    EXPECT_THROW(TimelineWrite(inputs(), path, Format(13), 0, 1.0), ConversionError);
    EXPECT_FALSE(QFile::exists(path));

    grid.setInPoint(1, 0);
    EXPECT_THROW(TimelineWrite(inputs(), dir.filePath(QStringLiteral("missing/clips.xml")), Format(13), 0, 1.0),
                 DocumentWriteError);
}

TEST(TransitionClsidTest, NamesMapToTheirClsids)
{
    const std::pair<const char*, const char*> table[] = {
        {"ﾌｪｰﾄﾞ", "{16B280C5-EE70-11D1-9066-00C04FD9189D}"},   {"ﾊﾞｱｰﾝ", "{C3BDF740-0B58-11d2-A484-00C04F8EFB69}"},
        {"ﾌﾞﾗｲﾝﾄﾞ", "{00C429C0-0BA9-11d2-A484-00C04F8EFB69}"}, {"ﾊﾞｰﾝ", "{107045D1-06E0-11D2-8D6D-00C04F8EF8E0}"},
        {"ｲﾝｾｯﾄ", "{93073C40-0BA5-11d2-A484-00C04F8EFB69}"},   {"ｱｲﾘｽ", "{3F69F351-0379-11D2-A484-00C04F8EFB69}"},
        {"ﾋﾟｸｾﾚｰﾄ", "{4CCEA634-FBE0-11d1-906A-00C04FD9189D}"}, {"ﾗｼﾞｱﾙ", "{424B71AF-0695-11D2-A484-00C04F8EFB69}"},
        {"ｽﾗｲﾄﾞ", "{810E402F-056B-11D2-A484-00C04F8EFB69}"},   {"ｽﾊﾟｲﾗﾙ", "{ACA97E00-0C7D-11d2-A484-00C04F8EFB69}"},
        {"ｽﾄﾚｯﾁ", "{7658F2A2-0A83-11d2-A484-00C04F8EFB69}"},   {"ﾎｲｰﾙ", "{5AE1DAE0-1461-11d2-A484-00C04F8EFB69}"},
        {"ﾜｲﾌﾟ", "{AF279B30-86EB-11D1-81BF-0000F87557DB}"},    {"ｼﾞｸﾞｻﾞｸﾞ", "{E6E73D20-0C8A-11d2-A484-00C04F8EFB69}"},
    };
    for (const auto& [name, clsid] : table) {
        EXPECT_EQ(TransitionClsid(true, QString::fromUtf8(name)), QString::fromLatin1(clsid)) << name;
        EXPECT_EQ(TransitionClsid(false, QString::fromUtf8(name)),
                  QStringLiteral("{036A9790-C153-11D2-9EF7-006008039E37}"));
    }
    const QString fade = QStringLiteral("{16B280C5-EE70-11D1-9066-00C04FD9189D}");
    // Exact comparison: full-width katakana, a trailing blank or another name is not found.
    EXPECT_EQ(TransitionClsid(true, QStringLiteral("ワイプ")), fade);
    EXPECT_EQ(TransitionClsid(true, QStringLiteral("ﾜｲﾌﾟ ")), fade);
    EXPECT_EQ(TransitionClsid(true, QString()), fade);
}

} // namespace
} // namespace vk
