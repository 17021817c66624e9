#include "base/numbers.h"
#include "base/timetext.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "timeline/editor.h"

#include <gtest/gtest.h>

#include <climits>

using namespace vk;

namespace {
struct RowTableTest : ::testing::Test {
    ScriptedUi ui;
    Editor editor{ui};
};
} // namespace

TEST_F(RowTableTest, NewTableHasOneSectionAtZero)
{
    editor.setSoundClip(10000, 33);
    editor.sections().SndClear();
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_EQ(editor.Grid().Rows(), 2);
    EXPECT_EQ(editor.Grid().marker(1), kMarkerSelected);
    for (int ms : {0, 5000, 20000})
        EXPECT_EQ(editor.MsecToRow(ms), 1);
    editor.selection().showDuration(1);
    EXPECT_EQ(editor.sndRangeLabel(), QStringLiteral("音声区間長=10000ms"));
    EXPECT_TRUE(editor.vidRangeLabel().isEmpty());
}

TEST_F(RowTableTest, HeaderTextsWidthsAndHiddenColumns)
{
    const QString headers[] = {QString(),
                               QStringLiteral("音声区間"),
                               QStringLiteral("映像ﾌｧｲﾙ名"),
                               QStringLiteral("映像ｲﾝ点"),
                               QStringLiteral("映像ｱｳﾄ点"),
                               QStringLiteral("音声区間(msec)"),
                               QStringLiteral("映像ｲﾝﾀｰﾊﾞﾙ(msec)"),
                               QStringLiteral("速度"),
                               QStringLiteral("効果"),
                               QStringLiteral("ﾄﾗﾝｼﾞｼｮﾝ時間長(msec)"),
                               QStringLiteral("横サイズ"),
                               QStringLiteral("縦サイズ")};
    const int widths[] = {25, 65, 300, 65, 65, 0, 0, 40, 48, 0, 0, 0};
    for (int c = 0; c < Col::Count; ++c) {
        EXPECT_EQ(RowTable::headerText(c), headers[c]) << c;
        EXPECT_EQ(RowTable::columnWidth(c), widths[c]) << c;
    }
}

TEST_F(RowTableTest, MsecToRowAtExactStartsAndPastTheEnd)
{
    MakeSections(editor, {0, 1000, 2500, 4000}, 6000);
    EXPECT_EQ(editor.MsecToRow(0), 1);
    EXPECT_EQ(editor.MsecToRow(999), 1);
    EXPECT_EQ(editor.MsecToRow(1000), 2); // a start belongs to the section it opens
    EXPECT_EQ(editor.MsecToRow(2499), 2);
    EXPECT_EQ(editor.MsecToRow(2500), 3);
    EXPECT_EQ(editor.MsecToRow(4000), 4);
    EXPECT_EQ(editor.MsecToRow(99999), 4); // past the clip end: the last row
    editor.Grid().setRows(1);
    EXPECT_EQ(editor.MsecToRow(0), 0);
}

TEST_F(RowTableTest, SpeedTexts)
{
    MakeSections(editor, {0, 3000, 4000, 12000, 28000, 29000}, 30000);
    Register(editor, 1, QStringLiteral("/v/a.mp4"), 0, 2000);        // 2000 over 3000
    Register(editor, 2, QStringLiteral("/v/a.mp4"), 0, 125, 5);      // 125 over 1000
    Register(editor, 3, QStringLiteral("/v/a.mp4"), 1000, 1500, 10); // 500 over 8000 = 0.0625
    Register(editor, 4, QStringLiteral("/v/a.mp4"), 0, 32000, 1);    // 32000 over 16000
    Register(editor, 5, QStringLiteral("/v/still.png"), 0, 0);       // a still
    Register(editor, 6, QStringLiteral("/v/a.mp4"), 0, 1000, 1);     // the last row: up to the clip end
    editor.RowRefresh(-1);
    EXPECT_EQ(editor.Grid().speedText(1, editor.sndLength()), QStringLiteral("0.667x"));
    EXPECT_EQ(editor.Grid().speedText(2, editor.sndLength()), QStringLiteral("0.125x"));
    EXPECT_EQ(editor.Grid().speedText(3, editor.sndLength()), QStringLiteral("0.062x"));
    EXPECT_EQ(editor.Grid().speedText(4, editor.sndLength()), QStringLiteral("2x"));
    EXPECT_EQ(editor.Grid().speedText(5, editor.sndLength()), QStringLiteral("0x"));
    EXPECT_EQ(editor.Grid().speedText(6, editor.sndLength()), QStringLiteral("1x"));
    EXPECT_TRUE(TableInvariants(editor));
}

// The speed shown is the span's over the section as they are now: it follows a moved
// section start, a new out point and an undo, with no refresh in between.
TEST_F(RowTableTest, ASpanSpeedFollowsItsSpanAndItsSection)
{
    MakeSections(editor, {0, 3000, 4000}, 6000);
    Register(editor, 1, QStringLiteral("/v/a.mp4"), 0, 2000, 10);
    Register(editor, 2, QStringLiteral("/v/a.mp4"), 0, 1000, 10);
    Register(editor, 3, QStringLiteral("/v/a.mp4"), 0, 1000, 10);
    editor.RowRefresh(-1);
    RowTable& g = editor.Grid();
    EXPECT_EQ(g.speedText(1, editor.sndLength()), QStringLiteral("0.667x"));
    EXPECT_EQ(g.speedText(3, editor.sndLength()), QStringLiteral("0.5x"));
    editor.history().SaveUndoData();
    g.setSectionStart(2, 2000, 33); // row 1: 2000 over 2000; row 2: 1000 over 2000
    EXPECT_EQ(g.speedText(1, editor.sndLength()), QStringLiteral("1x"));
    EXPECT_EQ(g.speedText(2, editor.sndLength()), QStringLiteral("0.5x"));
    g.setOutPoint(1, 4000);
    EXPECT_EQ(g.speedText(1, editor.sndLength()), QStringLiteral("2x"));
    EXPECT_EQ(editor.speedText(1), QStringLiteral("2x"));
    editor.setSoundClip(5000, 33); // the last section ends with the clip
    EXPECT_EQ(g.speedText(3, editor.sndLength()), QStringLiteral("1x"));
    editor.history().Undo();
    EXPECT_EQ(g.speedText(1, editor.sndLength()), QStringLiteral("0.667x"));
    EXPECT_EQ(g.speedText(2, editor.sndLength()), QStringLiteral("1x"));
    // The output documents and the project file read the same text.
    EXPECT_EQ(CellText(g, 1, Col::Speed, 33, editor.sndLength()), QStringLiteral("0.667x"));
}

TEST_F(RowTableTest, RefreshOfAllRowsKeepsPresentSpeedTextsAndSingleRowReplacesThem)
{
    MakeSections(editor, {0, 1000, 2000}, 3000);
    for (int r = 1; r <= 3; ++r)
        Register(editor, r, QStringLiteral("/v/a.mp4"), 0, 1500, 10);
    editor.Grid().setSpeed(1, SpeedSetting::normal());
    editor.Grid().setSpeed(2, SpeedSetting::span());
    editor.RowRefresh(0);
    EXPECT_EQ(editor.Grid().speedText(1, editor.sndLength()), QStringLiteral("等速"));
    EXPECT_EQ(editor.Grid().speedText(2, editor.sndLength()), QStringLiteral("1.5x"));
    EXPECT_EQ(editor.Grid().speedText(3, editor.sndLength()), QStringLiteral("1.5x"));
    editor.RowRefresh(1);
    EXPECT_EQ(editor.Grid().speedText(1, editor.sndLength()), QStringLiteral("1.5x"));
    // A row without video is left alone.
    editor.Grid().clearRegistration(2);
    editor.Grid().setSpeed(2, SpeedSetting::normal());
    editor.RowRefresh(2);
    EXPECT_EQ(editor.Grid().speedText(2, editor.sndLength()), QStringLiteral("等速"));
}

TEST_F(RowTableTest, RefreshSkipsAnEmptySectionAndGoesOn)
{
    // Two rows with the same start: the first has no length and gets no speed, but
    // the rows after it still do.
    MakeSections(editor, {0, 1000, 1000, 2000}, 3000);
    for (int r = 1; r <= 4; ++r)
        Register(editor, r, QStringLiteral("/v/a.mp4"), 0, 1000, 1);
    editor.RowRefresh(-1);
    EXPECT_EQ(editor.Grid().speedText(1, editor.sndLength()), QStringLiteral("1x"));
    EXPECT_TRUE(editor.Grid().speedText(2, editor.sndLength()).isEmpty());
    EXPECT_EQ(editor.Grid().speedText(3, editor.sndLength()), QStringLiteral("1x"));
    EXPECT_EQ(editor.Grid().speedText(4, editor.sndLength()), QStringLiteral("1x"));
}

TEST_F(RowTableTest, RefreshEndsAtARegisteredRowWithoutAPoint)
{
    MakeSections(editor, {0, 1000, 2000}, 3000);
    for (int r = 1; r <= 3; ++r)
        Register(editor, r, QStringLiteral("/v/a.mp4"), 0, 1000, 1);
    editor.Grid().setInPoint(2, std::nullopt);
    editor.RowRefresh(-1);
    EXPECT_EQ(editor.Grid().speedText(1, editor.sndLength()), QStringLiteral("1x"));
    EXPECT_TRUE(editor.Grid().speedText(2, editor.sndLength()).isEmpty());
    EXPECT_TRUE(editor.Grid().speedText(3, editor.sndLength()).isEmpty());
}

TEST_F(RowTableTest, SelectRowMarksOneRowAndShowsLengths)
{
    MakeSections(editor, {0, 1000, 2500}, 4000);
    Register(editor, 2, QStringLiteral("/v/a.mp4"), 1000, 2200, 40);
    editor.selection().SelectRow(2);
    EXPECT_EQ(editor.Grid().currentRow, 2);
    EXPECT_EQ(editor.Grid().currentCol, 0);
    EXPECT_EQ(editor.Grid().marker(1), kMarkerPlain);
    EXPECT_EQ(editor.Grid().marker(2), kMarkerSelected);
    EXPECT_EQ(editor.Grid().marker(3), kMarkerPlain);
    EXPECT_EQ(editor.sndRangeLabel(), QStringLiteral("音声区間長=1500ms"));
    EXPECT_EQ(editor.vidRangeLabel(), QStringLiteral("映像区間長=1200ms"));
    EXPECT_EQ(ui.visibleRequests.last(), 2);
    editor.selection().SelectRow(3);
    EXPECT_EQ(editor.Grid().marker(2), kMarkerPlain);
    EXPECT_EQ(editor.sndRangeLabel(), QStringLiteral("音声区間長=1500ms"));
    EXPECT_TRUE(editor.vidRangeLabel().isEmpty());
    // Selecting leaves the dragged range alone.
    EXPECT_EQ(editor.dragFirst(), 1);
    EXPECT_EQ(editor.dragLast(), 1);
}

TEST_F(RowTableTest, VideoLengthOfARowUsesItsOwnFrameInterval)
{
    MakeSections(editor, {0}, 4000);
    EXPECT_EQ(editor.getVidLengthMsec(1), 0);
    Register(editor, 1, QStringLiteral("/v/a.mp4"), 1000, 3000, 40);
    EXPECT_EQ(CellText(editor.Grid(), 1, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:00"));
    EXPECT_EQ(editor.getVidLengthMsec(1), 2000);
    editor.Grid().setFrameInterval(1, 33);
    EXPECT_EQ(editor.getVidLengthMsec(1), 2000);
    editor.Grid().setOutPoint(1, 3345); // ten frames of 33 past 3 s
    EXPECT_EQ(CellText(editor.Grid(), 1, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:03:10"));
    EXPECT_EQ(editor.getVidLengthMsec(1), 2330);
}

TEST_F(RowTableTest, UndoRedoToggleBetweenTheLastTwoStates)
{
    MakeSections(editor, {0, 1000}, 3000);
    const RowTable a = editor.Grid();
    editor.history().Undo(); // before any snapshot: nothing happens
    EXPECT_EQ(editor.Grid(), a);
    EXPECT_FALSE(editor.modified());

    editor.history().SaveUndoData();
    Register(editor, 2, QStringLiteral("/v/a.mp4"), 0, 500);
    const RowTable b = editor.Grid();
    editor.history().Undo();
    EXPECT_EQ(editor.Grid(), a);
    // Back at the table the history started from, which nothing had changed.
    EXPECT_FALSE(editor.modified());
    editor.history().Redo();
    EXPECT_EQ(editor.Grid(), b);
    EXPECT_TRUE(editor.modified());
    editor.history().Undo();
    EXPECT_EQ(editor.Grid(), a);
    // Nothing before the first step: a second undo stays, and redo still comes forward.
    editor.history().Undo();
    EXPECT_EQ(editor.Grid(), a);
    editor.history().Redo();
    EXPECT_EQ(editor.Grid(), b);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(RowTableTest, UndoRestoresTheRowCount)
{
    MakeSections(editor, {0, 1000, 2000, 3000}, 5000);
    const RowTable before = editor.Grid();
    editor.history().SaveUndoData();
    editor.Grid().removeRow(3);
    editor.Grid().removeRow(2);
    editor.history().Undo();
    EXPECT_EQ(editor.Grid().Rows(), 5);
    EXPECT_EQ(editor.Grid(), before);
    editor.history().Redo();
    EXPECT_EQ(editor.Grid().Rows(), 3);
}

TEST_F(RowTableTest, SortKeepsEqualStartsInOrder)
{
    MakeSections(editor, {0, 2000}, 5000);
    editor.Grid().setRows(5);
    editor.Grid().setSectionStart(3, 1000, 33);
    editor.Grid().setVideoFile(3, QStringLiteral("first"));
    editor.Grid().setMarker(3, kMarkerSelected);
    editor.Grid().setSectionStart(4, 1000, 33);
    editor.Grid().setEffect(4, QStringLiteral("second"));
    editor.Grid().sortDataRows();
    EXPECT_EQ(editor.Grid().videoFile(2), QStringLiteral("first"));
    EXPECT_EQ(editor.Grid().effect(3), QStringLiteral("second"));
    EXPECT_EQ(editor.Grid().row(4).start, 2000);
    EXPECT_EQ(editor.Grid().marker(2), kMarkerSelected); // the marker moves with its row
    EXPECT_EQ(editor.Grid().marker(3), kMarkerPlain);
}

// ---- a row's fields ------------------------------------------------------------------------

TEST(RowFieldsTest, AnEmptyRowHasNoVideoSpeedEffectOrSize)
{
    const RowTable t(2);
    EXPECT_FALSE(t.hasVideo(1));
    EXPECT_TRUE(t.videoFile(1).isEmpty());
    EXPECT_EQ(t.frameInterval(1), std::nullopt);
    EXPECT_EQ(t.inPoint(1), std::nullopt);
    EXPECT_EQ(t.outPoint(1), std::nullopt);
    EXPECT_TRUE(t.speed(1).isNone());
    EXPECT_TRUE(t.effect(1).isEmpty());
    EXPECT_EQ(t.effectLength(1), std::nullopt);
    EXPECT_FALSE(t.mediaSize(1).has_value());
    // A row holds no start until one is set.
    EXPECT_THROW(t.sectionStart(1), ConversionError);
}

TEST(RowFieldsTest, SpeedSettingsAndTheTextTheProjectFileHolds)
{
    // Row 1: 1000 ms of video over a 2000 ms section; row 2, the last, up to 6000 ms.
    RowTable t(3);
    t.setSectionStart(1, 0, 33);
    t.setSectionStart(2, 2000, 33);
    t.setVideoSpan(1, QStringLiteral("/v/a.mp4"), 10, 500, 1500);
    t.setVideoSpan(2, QStringLiteral("/v/a.mp4"), 10, 0, 49000);
    struct Case {
        SpeedSetting speed;
        const char* text1;
        const char* text2;
    };
    const Case cases[] = {
        {SpeedSetting::none(), "", ""},
        {SpeedSetting::normal(), "等速", "等速"},
        {SpeedSetting::span(), "0.5x", "12.25x"},
    };
    for (const Case& c : cases) {
        t.setSpeed(1, c.speed);
        t.setSpeed(2, c.speed);
        EXPECT_EQ(t.speed(1), c.speed) << c.text1;
        EXPECT_EQ(t.speedText(1, 6000), QString::fromUtf8(c.text1));
        EXPECT_EQ(t.speedText(2, 6000), QString::fromUtf8(c.text2));
        EXPECT_EQ(SpeedSetting::fromText(QString::fromUtf8(c.text1)), c.speed) << c.text1;
    }
    EXPECT_EQ(t.spanSpeed(1, 6000), 0.5);
    EXPECT_EQ(t.sectionLength(2, 6000), 4000.0);
    // A span's speed without a point or a section length shows nothing.
    t.setSectionStart(2, 0, 33);
    EXPECT_FALSE(t.spanSpeed(1, 6000));
    EXPECT_TRUE(t.speedText(1, 6000).isEmpty());
    t.setOutPoint(2, std::nullopt);
    EXPECT_TRUE(t.speedText(2, 6000).isEmpty());
    // Ratio texts of any number name the span's speed; the number is not kept.
    for (const char* text : {"1.50x", "0x", "0.333x", "12.25x"})
        EXPECT_EQ(SpeedSetting::fromText(QString::fromUtf8(text)), SpeedSetting::span()) << text;
    EXPECT_EQ(SpeedSetting::ratioText(0.333), QStringLiteral("0.333x"));
    EXPECT_EQ(SpeedSetting::ratioText(1.0), QStringLiteral("1x"));
    EXPECT_NE(SpeedSetting::none(), SpeedSetting::span());
    EXPECT_NE(SpeedSetting::normal(), SpeedSetting::span());
    for (const char* bad : {"abc", "x", "1.5", "等速x", "1.5xx", " "})
        EXPECT_THROW(SpeedSetting::fromText(QString::fromUtf8(bad)), ConversionError) << bad;
}

TEST(RowFieldsTest, ASectionStartKeepsItsMsAndShowsWholeSoundFrames)
{
    RowTable t(3);
    EXPECT_TRUE(t.setSectionStart(1, 1234, 33));
    EXPECT_EQ(t.sectionStart(1), 1234);
    EXPECT_EQ(CellText(t, 1, Col::SectionText, 33, 0), QStringLiteral("00:00:01:07")); // 231 ms: 7 frames of 33
    EXPECT_EQ(FramePoint(1234, 33), 1231);

    EXPECT_TRUE(t.setSectionStart(2, 3661066, 33)); // exactly on a frame
    EXPECT_EQ(CellText(t, 2, Col::SectionText, 33, 0), QStringLiteral("01:01:01:02"));
    EXPECT_EQ(FramePoint(3661066, 33), 3661066);

    // A start the time text cannot hold shows empty and keeps its ms.
    EXPECT_FALSE(t.setSectionStart(2, INT_MIN, 33));
    EXPECT_TRUE(CellText(t, 2, Col::SectionText, 33, 0).isEmpty());
    EXPECT_EQ(t.sectionStart(2), INT_MIN);
    EXPECT_THROW(FramePoint(INT_MIN, 33), ConversionError);
}

// The frame grid is the time text's: every point comes back from its own text.
TEST(RowFieldsTest, FramePointIsWhatTheTimeTextHolds)
{
    for (const int interval : {10, 17, 33, 40, 41, 42, 500, 1000, 1001}) {
        for (long long ms = 0; ms < 100LL * 3600000; ms = ms * 3 + 7919) {
            for (const int d : {0, 1, 999, 1000}) {
                const int t = int(ms + d);
                EXPECT_EQ(FramePoint(t, interval), TimeTextToMsec(MsecToTimeText(t, interval), interval))
                    << t << " on " << interval;
            }
        }
    }
    EXPECT_EQ(FramePoint(359999999, 33), 359999990);
}

TEST(RowFieldsTest, AVideoSpanKeepsItsPointsOnTheVideosFrames)
{
    RowTable t(2);
    EXPECT_TRUE(t.setSectionStart(1, 500, 33));
    EXPECT_TRUE(t.setVideoSpan(1, QStringLiteral("/v/a.mp4"), 40, 1234, 5010));
    EXPECT_TRUE(t.hasVideo(1));
    EXPECT_EQ(t.videoFile(1), QStringLiteral("/v/a.mp4"));
    EXPECT_EQ(t.frameInterval(1), 40);
    EXPECT_EQ(t.inPoint(1), 1200); // 234 ms: 5 whole frames of 40
    EXPECT_EQ(t.outPoint(1), 5000);
    EXPECT_EQ(CellText(t, 1, Col::InPoint, 33, 0), QStringLiteral("00:00:01:05"));

    // A still: both points at 0.
    EXPECT_TRUE(t.setVideoSpan(1, QStringLiteral("/v/still.png"), 33, 0, 0));
    EXPECT_EQ(t.inPoint(1), 0);
    EXPECT_EQ(t.outPoint(1), 0);

    // A point the time text cannot hold leaves the row without it.
    EXPECT_FALSE(t.setOutPoint(1, INT_MIN));
    EXPECT_EQ(t.outPoint(1), std::nullopt);
    EXPECT_EQ(t.inPoint(1), 0);
    EXPECT_FALSE(t.setVideoSpan(1, QStringLiteral("/v/b.mp4"), 33, INT_MIN, 990));
    EXPECT_EQ(t.inPoint(1), std::nullopt);
    EXPECT_EQ(t.outPoint(1), 990);

    // Clearing the registration leaves only the section start.
    t.setSpeed(1, SpeedSetting::normal());
    t.setEffect(1, QStringLiteral("ﾌｪｰﾄﾞ"));
    t.setEffectLength(1, 1500.0);
    t.setMediaSize(1, MediaSize{640, 480});
    t.clearRegistration(1);
    EXPECT_FALSE(t.hasVideo(1));
    EXPECT_EQ(t.frameInterval(1), std::nullopt);
    EXPECT_EQ(t.inPoint(1), std::nullopt);
    EXPECT_EQ(t.outPoint(1), std::nullopt);
    EXPECT_TRUE(t.speed(1).isNone());
    EXPECT_TRUE(t.effect(1).isEmpty());
    EXPECT_EQ(t.effectLength(1), std::nullopt);
    EXPECT_FALSE(t.mediaSize(1).has_value());
    EXPECT_EQ(t.sectionStart(1), 500);
}

TEST(RowFieldsTest, EffectLengthAndMediaSize)
{
    RowTable t(2);
    t.setEffect(1, QStringLiteral("ﾜｲﾌﾟ"));
    t.setEffectLength(1, 1500.0);
    EXPECT_EQ(t.effect(1), QStringLiteral("ﾜｲﾌﾟ"));
    EXPECT_EQ(t.effectLength(1), 1500.0);
    EXPECT_EQ(CellText(t, 1, Col::TransMsec, 33, 0), QStringLiteral("1500"));
    t.setEffectLength(1, 250.5);
    EXPECT_EQ(t.effectLength(1), 250.5);
    t.setEffectLength(1, std::nullopt);
    EXPECT_EQ(t.effectLength(1), std::nullopt);
    EXPECT_TRUE(CellText(t, 1, Col::TransMsec, 33, 0).isEmpty());

    t.setMediaSize(1, MediaSize{1280, 720});
    ASSERT_TRUE(t.mediaSize(1).has_value());
    EXPECT_TRUE(*t.mediaSize(1) == (MediaSize{1280, 720}));
    EXPECT_EQ(CellText(t, 1, Col::Width, 33, 0), QStringLiteral("1280"));
    t.setMediaSize(1, std::nullopt);
    EXPECT_FALSE(t.mediaSize(1).has_value());
    EXPECT_TRUE(CellText(t, 1, Col::Width, 33, 0).isEmpty());
}
