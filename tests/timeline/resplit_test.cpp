// Speed change by re-splitting a continuous video span over a different number of rows.

#include "tests/timeline/edits_support.h"
#include "timeline/clipboard.h"
#include "timeline/resplit.h"

namespace vk {
namespace {

const QString kFile = QStringLiteral("/v/long.mp4");

QString T(const char* text)
{
    return QString::fromLatin1(text);
}

class ResplitTest : public EditsTest {
protected:
    VideoResplit resplit{editor};

    // Rows first..last registered from kFile, continuous, with the given cut points.
    void registerSpan(int first, const std::vector<int>& points)
    {
        for (size_t i = 0; i + 1 < points.size(); ++i)
            Register(editor, first + int(i), kFile, points[i], points[i + 1]);
        editor.RowRefresh(-1);
    }
    void run(int first, int last, std::optional<QString> answer)
    {
        editor.setDraggedRange(first, last);
        ui.inputs.push_back(answer);
        resplit.VidSplit();
    }
    // An undo snapshot that differs from the current table, to see whether a command
    // takes a new one.
    RowTable markSnapshot()
    {
        editor.history().SaveUndoData();
        editor.Grid().setEffect(1, QStringLiteral("ﾜｲﾌﾟ"));
        return editor.history().undogrid();
    }
    void expectNoChange(const RowTable& before, const RowTable& snapshot)
    {
        EXPECT_TRUE(SameTable(grid(), before));
        EXPECT_TRUE(SameTable(editor.history().undogrid(), snapshot));
        EXPECT_TRUE(TableInvariants(editor));
    }
};

TEST_F(ResplitTest, TenRowsIntoFivePlayTwiceAsFast)
{
    MakeSections(
        editor,
        [] {
            std::vector<int> s;
            for (int r = 0; r < 20; ++r)
                s.push_back(r * 500);
            return s;
        }(),
        10000);
    for (int r = 1; r <= 10; ++r)
        Register(editor, r, kFile, (r - 1) * 1000, r * 1000, 33, r == 1 ? 720 : 640, r == 1 ? 576 : 480);
    for (int r = 11; r <= 20; ++r)
        Register(editor, r, file(r), 0, 1000);
    editor.Grid().setEffect(1, QStringLiteral("ﾌｪｰﾄﾞ"));
    editor.Grid().setEffectLength(1, 1000);
    editor.RowRefresh(-1);
    editor.Grid().setSpeed(2, SpeedSetting::normal());
    editor.setModified(false);
    const RowTable before = grid();

    run(1, 10, QStringLiteral("5"));

    ASSERT_EQ(ui.inputTitles, QStringList{QStringLiteral("映像区間再分割")});
    EXPECT_EQ(ui.inputPrompts.at(0),
              QStringLiteral("何区間に再分割するか入力してください(1以上の整数)。\r\n\r\n"
                             "ﾄﾞﾗｯｸﾞ選択した映像区間範囲をn区間に再分割します。例えば、10行をﾄﾞﾗｯｸﾞ選択して"
                             "5区間に再分割すると映像は2倍速になります。"));
    EXPECT_TRUE(ui.messages.isEmpty());
    const char* points[] = {"00:00:00:00", "00:00:02:00", "00:00:04:00", "00:00:06:00", "00:00:08:00", "00:00:10:00"};
    for (int r = 1; r <= 5; ++r) {
        EXPECT_EQ(cell(r, Col::VideoFile), kFile);
        EXPECT_EQ(cell(r, Col::InPoint), T(points[r - 1])) << "row " << r;
        EXPECT_EQ(cell(r, Col::OutPoint), T(points[r])) << "row " << r;
        EXPECT_EQ(cell(r, Col::VideoInterval), QStringLiteral("33"));
        EXPECT_EQ(cell(r, Col::Width), QStringLiteral("720"));
        EXPECT_EQ(cell(r, Col::Height), QStringLiteral("576"));
        EXPECT_EQ(cell(r, Col::Speed), QStringLiteral("4x"));
        EXPECT_TRUE(cell(r, Col::Effect).isEmpty());
        EXPECT_TRUE(cell(r, Col::TransMsec).isEmpty());
    }
    for (int r = 6; r <= 15; ++r) {
        EXPECT_EQ(cell(r, Col::VideoFile), file(r + 5)) << "row " << r;
        EXPECT_EQ(cell(r, Col::Speed), QStringLiteral("2x"));
    }
    for (int r = 16; r <= 20; ++r)
        EXPECT_TRUE(isEmptyRegistration(grid(), r)) << "row " << r;
    for (int r = 1; r <= 20; ++r)
        EXPECT_EQ(grid().row(r).start, before.row(r).start);
    // The clipboard keeps the new registrations, the range is collapsed.
    ASSERT_EQ(editor.tmpgrid().Rows(), 6);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(CellText(editor.tmpgrid(), i, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
                  T(points[i - 1]));
    EXPECT_EQ(editor.dragFirst(), 1);
    EXPECT_EQ(editor.dragLast(), 1);
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(TableInvariants(editor));
    // One undo brings back the table as it was.
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ResplitTest, SameCountEvensOutUnevenRows)
{
    makeTable(8);
    registerSpan(2, {0, 500, 2000, 3000});
    const RowTable before = grid();
    run(2, 4, QStringLiteral("3"));
    const char* points[] = {"00:00:00:00", "00:00:01:00", "00:00:02:00", "00:00:03:00"};
    for (int r = 2; r <= 4; ++r) {
        EXPECT_EQ(cell(r, Col::InPoint), T(points[r - 2]));
        EXPECT_EQ(cell(r, Col::OutPoint), T(points[r - 1]));
        EXPECT_EQ(cell(r, Col::Speed), QStringLiteral("1x"));
    }
    for (int r : {1, 5, 6, 7, 8})
        EXPECT_EQ(registration(grid(), r), registration(before, r));
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ResplitTest, PointsAreTruncatedToWholeVideoFrames)
{
    makeTable(6);
    registerSpan(1, {0, 500, 1000});
    const RowTable before = grid();
    run(1, 2, QStringLiteral("3"));
    // 333 and 667 ms shown in frames of 33 ms.
    EXPECT_EQ(cell(1, Col::OutPoint), QStringLiteral("00:00:00:10"));
    EXPECT_EQ(cell(2, Col::InPoint), QStringLiteral("00:00:00:10"));
    EXPECT_EQ(cell(2, Col::OutPoint), QStringLiteral("00:00:00:20"));
    EXPECT_EQ(cell(3, Col::InPoint), QStringLiteral("00:00:00:20"));
    EXPECT_EQ(cell(3, Col::OutPoint), QStringLiteral("00:00:01:00"));
    // Two rows became three: the later registrations move down by one.
    for (int r = 4; r <= 6; ++r)
        EXPECT_EQ(cell(r, Col::VideoFile), file(r - 1));
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ResplitTest, CutPointsRoundHalfToEvenBeforeFraming)
{
    makeTable(20);
    registerSpan(1, {0, 500, 1000});
    run(1, 2, QStringLiteral("400"));
    // 1000 ms in 400 parts: the 13th cut falls on 32.5 ms, which rounds to 32 (frame
    // 0 of 33 ms), not to 33 (frame 1).
    const RowTable& clip = editor.tmpgrid();
    ASSERT_EQ(clip.Rows(), 21);
    EXPECT_EQ(CellText(clip, 13, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:00"));
    EXPECT_EQ(CellText(clip, 14, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:00"));
    EXPECT_EQ(CellText(clip, 14, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:01"));
    EXPECT_EQ(cell(14, Col::OutPoint), QStringLiteral("00:00:00:01"));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(ResplitTest, TheEndIsReadInTheLastRowsOwnFrames)
{
    makeTable(6);
    Register(editor, 2, kFile, 0, 1000, 33);
    Register(editor, 3, kFile, 1000, 2200, 40); // out point "00:00:02:05" in 40 ms frames
    ASSERT_EQ(cell(2, Col::OutPoint), cell(3, Col::InPoint));
    run(2, 3, QStringLiteral("1"));
    // 2200 ms shown in the first row's 33 ms frames.
    EXPECT_EQ(cell(2, Col::OutPoint), QStringLiteral("00:00:02:06"));
    EXPECT_EQ(cell(2, Col::VideoInterval), QStringLiteral("33"));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(ResplitTest, OneSectionTakesTheWholeSpan)
{
    makeTable(10);
    registerSpan(2, {0, 1000, 2000, 3000});
    const RowTable before = grid();
    run(2, 4, QStringLiteral("1"));
    EXPECT_EQ(cell(2, Col::InPoint), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(cell(2, Col::OutPoint), QStringLiteral("00:00:03:00"));
    EXPECT_EQ(cell(2, Col::Speed), QStringLiteral("3x"));
    for (int r = 3; r <= 8; ++r)
        EXPECT_EQ(cell(r, Col::VideoFile), file(r + 2));
    EXPECT_TRUE(isEmptyRegistration(grid(), 9));
    EXPECT_TRUE(isEmptyRegistration(grid(), 10));
    EXPECT_EQ(editor.tmpgrid().Rows(), 2);
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ResplitTest, ZeroSectionsOnlyCutsAndClosesUp)
{
    makeTable(10);
    registerSpan(2, {0, 1000, 2000, 3000});
    const RowTable before = grid();
    run(2, 4, QStringLiteral("0"));
    EXPECT_EQ(editor.tmpgrid().Rows(), 1);
    for (int r = 2; r <= 7; ++r)
        EXPECT_EQ(cell(r, Col::VideoFile), file(r + 3));
    for (int r = 8; r <= 10; ++r)
        EXPECT_TRUE(isEmptyRegistration(grid(), r));
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));

    // An empty clipboard pastes nothing.
    const RowTable after = grid();
    VideoClipboard clip(editor);
    editor.setDraggedRange(3, 3);
    clip.Paste();
    EXPECT_TRUE(SameTable(grid(), after));
    clip.InsertPaste();
    EXPECT_TRUE(SameTable(grid(), after));
}

TEST_F(ResplitTest, DecimalAnswersRoundHalfToEven)
{
    makeTable(10);
    registerSpan(2, {0, 1000, 2000, 3000});
    const RowTable before = grid();
    run(2, 4, QStringLiteral("2.5"));
    EXPECT_EQ(editor.tmpgrid().Rows(), 3);
    EXPECT_EQ(cell(2, Col::OutPoint), QStringLiteral("00:00:01:15"));
    EXPECT_EQ(cell(3, Col::OutPoint), QStringLiteral("00:00:03:00"));
    EXPECT_EQ(cell(4, Col::VideoFile), file(5));
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));

    editor.history().Undo();
    ASSERT_TRUE(SameTable(grid(), before));
    run(2, 4, QStringLiteral("3.5"));
    EXPECT_EQ(editor.tmpgrid().Rows(), 5);
    for (int r = 2; r <= 5; ++r)
        EXPECT_EQ(cell(r, Col::VideoFile), kFile);
    EXPECT_EQ(cell(5, Col::OutPoint), QStringLiteral("00:00:03:00"));
    EXPECT_EQ(cell(6, Col::VideoFile), file(5));
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ResplitTest, StillsStayStills)
{
    makeTable(8);
    for (int r = 2; r <= 4; ++r)
        Register(editor, r, QStringLiteral("/v/still.png"), 0, 0);
    editor.RowRefresh(-1);
    const RowTable before = grid();
    run(2, 4, QStringLiteral("2"));
    for (int r = 2; r <= 3; ++r) {
        EXPECT_EQ(cell(r, Col::VideoFile), QStringLiteral("/v/still.png"));
        EXPECT_EQ(cell(r, Col::InPoint), QStringLiteral("00:00:00:00"));
        EXPECT_EQ(cell(r, Col::OutPoint), QStringLiteral("00:00:00:00"));
        EXPECT_EQ(cell(r, Col::Speed), QStringLiteral("0x"));
    }
    EXPECT_EQ(cell(4, Col::VideoFile), file(5));
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ResplitTest, RangesThatAreNotOneContinuousSpanAreRefused)
{
    makeTable(8);
    const RowTable snapshot = markSnapshot();
    const RowTable before = grid();

    run(2, 4, QStringLiteral("2")); // three different files
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.at(0).text, QStringLiteral("複数映像ﾌｧｲﾙにまたがる映像速度変更はできません。"));
    EXPECT_EQ(ui.messages.at(0).icon, UserDialogs::Icon::Warning);
    EXPECT_TRUE(ui.inputPrompts.isEmpty());
    expectNoChange(before, snapshot);

    // One file with a gap between rows 2 and 3, another file from row 4: the first
    // pair decides.
    Register(editor, 2, kFile, 0, 1000);
    Register(editor, 3, kFile, 1033, 2000);
    const RowTable gapped = grid();
    ui.inputs.clear();
    run(2, 4, QStringLiteral("2"));
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages.at(1).text, QStringLiteral("不連続映像にまたがる映像速度変更はできません。"));
    EXPECT_EQ(ui.messages.at(1).icon, UserDialogs::Icon::Warning);
    EXPECT_TRUE(ui.inputPrompts.isEmpty());
    expectNoChange(gapped, snapshot);
}

TEST_F(ResplitTest, ASingleRowIsLeftAlone)
{
    makeTable(4);
    const RowTable snapshot = markSnapshot();
    const RowTable before = grid();
    run(2, 2, QStringLiteral("3"));
    EXPECT_TRUE(ui.inputPrompts.isEmpty());
    EXPECT_TRUE(ui.messages.isEmpty());
    expectNoChange(before, snapshot);
}

TEST_F(ResplitTest, NoUsableAnswerChangesNothing)
{
    makeTable(8);
    registerSpan(2, {0, 1000, 2000});
    const RowTable clipboard = editor.tmpgrid();
    const RowTable snapshot = markSnapshot();
    const RowTable before = grid();
    for (const std::optional<QString>& answer :
         {std::optional<QString>(), std::optional<QString>(QString()), std::optional<QString>(QStringLiteral("abc")),
          std::optional<QString>(QStringLiteral("3x")), std::optional<QString>(QStringLiteral("99999999999"))}) {
        run(2, 3, answer);
        expectNoChange(before, snapshot);
        EXPECT_TRUE(SameTable(editor.tmpgrid(), clipboard));
    }
    EXPECT_EQ(ui.inputPrompts.size(), 5);
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(ResplitTest, NegativeCountsAndUnregisteredRangesAreRefusedBeforeAnyChange)
{
    makeTable(8);
    registerSpan(2, {0, 1000, 2000});
    for (int r = 6; r <= 8; ++r)
        editor.Grid().clearRegistration(r);
    const RowTable clipboard = editor.tmpgrid();
    const RowTable snapshot = markSnapshot();
    const RowTable before = grid();

    run(2, 3, QStringLiteral("-1"));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.at(0).text, QStringLiteral("0以上の整数を入力してください。"));
    EXPECT_EQ(ui.messages.at(0).icon, UserDialogs::Icon::Warning);
    expectNoChange(before, snapshot);
    EXPECT_TRUE(SameTable(editor.tmpgrid(), clipboard));

    run(6, 8, QStringLiteral("2"));
    ASSERT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(ui.messages.at(1).text, QStringLiteral("映像登録のない範囲は再分割できません。"));
    EXPECT_EQ(ui.messages.at(1).icon, UserDialogs::Icon::Warning);
    EXPECT_EQ(ui.inputPrompts.size(), 1); // asked only for the first range
    expectNoChange(before, snapshot);
    EXPECT_TRUE(SameTable(editor.tmpgrid(), clipboard));
}

TEST_F(ResplitTest, ARowWithoutItsFrameIntervalEndsTheCommandBeforeAnyChange)
{
    makeTable(6);
    registerSpan(2, {0, 1000, 2000});
    editor.Grid().setFrameInterval(2, std::nullopt);
    const RowTable snapshot = markSnapshot();
    const RowTable before = grid();
    run(2, 3, QStringLiteral("4"));
    expectNoChange(before, snapshot);
}

TEST_F(ResplitTest, AHugeCountFillsTheTableWithoutExhaustingMemory)
{
    makeTable(10);
    registerSpan(2, {0, 1000, 2000});
    const RowTable before = grid();
    run(2, 3, QStringLiteral("100000000"));
    EXPECT_EQ(editor.tmpgrid().Rows(), editor.Grid().Rows());
    for (int r = 2; r <= 10; ++r)
        EXPECT_EQ(cell(r, Col::VideoFile), kFile) << "row " << r;
    EXPECT_EQ(cell(2, Col::InPoint), QStringLiteral("00:00:00:00"));
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

} // namespace
} // namespace vk
