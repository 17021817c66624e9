// The video clipboard: copy, cut, paste, cut and close up, insert paste.

#include "tests/timeline/edits_support.h"
#include "timeline/clipboard.h"

namespace vk {
namespace {

class ClipboardTest : public EditsTest {
protected:
    VideoClipboard clip{editor};
    void drag(int first, int last) { editor.setDraggedRange(first, last); }
};

TEST_F(ClipboardTest, CopyChangesNothingButTheClipboardAndFlashes)
{
    makeTable(10);
    editor.setModified(false);
    const RowTable before = grid();
    drag(3, 5);
    clip.Copy();
    EXPECT_TRUE(SameTable(grid(), before));
    EXPECT_FALSE(editor.modified());
    EXPECT_EQ(ui.flashes, 1);
    ASSERT_EQ(clip.entries(), 3);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(registration(editor.tmpgrid(), i), registration(before, i + 2));
        EXPECT_TRUE(
            CellText(editor.tmpgrid(), i, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()).isEmpty());
        EXPECT_FALSE(editor.tmpgrid().row(i).start.has_value());
    }
}

TEST_F(ClipboardTest, CopyOfThreeRowsPastedAtASingleRowFillsDownwards)
{
    makeTable(10);
    // Different section lengths at the target, and a speed text carried by the copy.
    editor.Grid().setSpeed(4, SpeedSetting::normal());
    drag(3, 5);
    clip.Copy();
    const RowTable before = grid();
    editor.setModified(false);
    drag(8, 8);
    clip.Paste();
    EXPECT_EQ(ui.flashes, 2);
    EXPECT_TRUE(editor.modified());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(registration(grid(), 8 + i), registration(before, 3 + i)) << "row " << 8 + i;
    EXPECT_EQ(cell(9, Col::Speed), QStringLiteral("等速"));
    for (int r = 1; r <= 7; ++r)
        EXPECT_EQ(registration(grid(), r), registration(before, r));
    for (int r = 1; r <= 10; ++r)
        EXPECT_EQ(grid().row(r).start, before.row(r).start);
    EXPECT_TRUE(TableInvariants(editor));
    const RowTable after = grid();
    expectUndoRedo(before, after);
}

TEST_F(ClipboardTest, PasteDropsEntriesBeyondTheLastRow)
{
    makeTable(9);
    drag(3, 5);
    clip.Copy();
    const RowTable before = grid();
    drag(8, 8);
    clip.Paste();
    EXPECT_EQ(grid().Rows(), 10);
    EXPECT_EQ(registration(grid(), 8), registration(before, 3));
    EXPECT_EQ(registration(grid(), 9), registration(before, 4));
    EXPECT_EQ(clip.entries(), 3);
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ClipboardTest, PasteFillsAtMostTheDraggedRows)
{
    makeTable(10);
    drag(2, 4);
    clip.Copy();
    const RowTable before = grid();
    drag(8, 9);
    clip.Paste();
    EXPECT_EQ(registration(grid(), 8), registration(before, 2));
    EXPECT_EQ(registration(grid(), 9), registration(before, 3));
    EXPECT_EQ(registration(grid(), 10), registration(before, 10));
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ClipboardTest, PasteBeforeAnyCopyBlanksOnlyTheFirstSelectedRow)
{
    makeTable(6);
    const RowTable before = grid();
    ASSERT_EQ(clip.entries(), 1);
    drag(4, 6);
    clip.Paste();
    EXPECT_TRUE(isEmptyRegistration(grid(), 4));
    EXPECT_EQ(registration(grid(), 5), registration(before, 5));
    EXPECT_EQ(registration(grid(), 6), registration(before, 6));
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ClipboardTest, PastedRowsShowTheSpeedOfTheirNewSection)
{
    // Sections of 1000 ms, then 500 ms from row 6 on.
    MakeSections(editor, {0, 1000, 2000, 3000, 4000, 5000, 5500, 6000}, 6500);
    Register(editor, 1, file(1), 0, 1000);
    Register(editor, 2, file(2), 0, 1000);
    editor.Grid().setSpeed(2, SpeedSetting::span());
    drag(1, 2);
    clip.Copy();
    drag(6, 6);
    clip.Paste();
    // Row 1 was copied with no speed: it gets its span's for the 500 ms section. Row
    // 2's span speed, shown 1x where it was copied, follows its shorter section.
    EXPECT_EQ(cell(6, Col::Speed), QStringLiteral("2x"));
    EXPECT_EQ(cell(7, Col::Speed), QStringLiteral("2x"));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(ClipboardTest, CutEmptiesTheRangeAndUndoRedoToggle)
{
    makeTable(10);
    editor.setModified(false);
    const RowTable before = grid();
    drag(2, 3);
    clip.Cut();
    EXPECT_TRUE(isEmptyRegistration(grid(), 2));
    EXPECT_TRUE(isEmptyRegistration(grid(), 3));
    EXPECT_EQ(registration(grid(), 4), registration(before, 4));
    EXPECT_EQ(grid().row(2).start, before.row(2).start);
    EXPECT_EQ(cell(3, Col::SectionText),
              CellText(before, 3, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()));
    ASSERT_EQ(clip.entries(), 2);
    EXPECT_EQ(registration(editor.tmpgrid(), 1), registration(before, 2));
    EXPECT_EQ(registration(editor.tmpgrid(), 2), registration(before, 3));
    EXPECT_TRUE(editor.modified());
    EXPECT_EQ(ui.flashes, 1);
    EXPECT_TRUE(TableInvariants(editor));
    const RowTable after = grid();
    editor.history().Undo();
    EXPECT_EQ(registration(grid(), 2), registration(before, 2));
    EXPECT_EQ(registration(grid(), 3), registration(before, 3));
    editor.history().Redo();
    EXPECT_TRUE(isEmptyRegistration(grid(), 2));
    EXPECT_TRUE(isEmptyRegistration(grid(), 3));
    expectUndoRedo(before, after);
}

TEST_F(ClipboardTest, CutAndCloseUpMovesLaterRegistrationsUpWithNewSpeeds)
{
    // Sections of growing length, so a moved registration's speed changes.
    std::vector<int> starts;
    int t = 0;
    for (int r = 1; r <= 10; ++r) {
        starts.push_back(t);
        t += 500 * r;
    }
    MakeSections(editor, starts, t);
    for (int r = 1; r <= 10; ++r)
        Register(editor, r, file(r), 0, 1000);
    editor.RowRefresh(-1);
    editor.Grid().setSpeed(6, SpeedSetting::normal());
    editor.setModified(false);
    const RowTable before = grid();

    drag(2, 3);
    clip.CutUp();
    // 1000 ms of video over sections of 500 * r ms.
    const QStringList speeds{QStringLiteral("1x"),   QStringLiteral("0.667x"), QStringLiteral("0.5x"),
                             QStringLiteral("0.4x"), QStringLiteral("0.333x"), QStringLiteral("0.286x"),
                             QStringLiteral("0.25x")};
    for (int r = 2; r <= 8; ++r) {
        EXPECT_EQ(cell(r, Col::VideoFile), file(r + 2)) << "row " << r;
        EXPECT_EQ(cell(r, Col::Width),
                  CellText(before, r + 2, Col::Width, editor.sndFrameInterval(), editor.sndLength()));
        EXPECT_EQ(cell(r, Col::Speed), speeds.at(r - 2)) << "row " << r;
    }
    // The former "等速" of row 6 now sits in row 4 with a computed speed.
    EXPECT_NE(cell(4, Col::Speed), QStringLiteral("等速"));
    EXPECT_EQ(cell(1, Col::VideoFile), file(1));
    EXPECT_TRUE(isEmptyRegistration(grid(), 9));
    EXPECT_TRUE(isEmptyRegistration(grid(), 10));
    for (int r = 1; r <= 10; ++r)
        EXPECT_EQ(grid().row(r).start, before.row(r).start);
    ASSERT_EQ(clip.entries(), 2);
    EXPECT_EQ(registration(editor.tmpgrid(), 1), registration(before, 2));
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ClipboardTest, EachCommandTellsTheViewsOnce)
{
    // A 10,000-row table repaints once per command, however many steps it takes.
    const struct {
        const char* name;
        void (VideoClipboard::*command)();
    } commands[] = {{"Copy", &VideoClipboard::Copy},
                    {"Cut", &VideoClipboard::Cut},
                    {"Paste", &VideoClipboard::Paste},
                    {"CutUp", &VideoClipboard::CutUp},
                    {"InsertPaste", &VideoClipboard::InsertPaste}};
    makeTable(10);
    int notices = 0;
    QObject::connect(&editor, &Editor::tableChanged, [&notices] { ++notices; });
    for (const auto& c : commands) {
        drag(2, 4);
        notices = 0;
        (clip.*c.command)();
        EXPECT_EQ(notices, 1) << c.name;
    }
}

TEST_F(ClipboardTest, InsertPasteOpensAGapAndDropsWhatFallsOffTheEnd)
{
    makeTable(10);
    drag(1, 2);
    clip.Copy();
    editor.setModified(false);
    const RowTable before = grid();
    drag(5, 5);
    clip.InsertPaste();
    EXPECT_EQ(registration(grid(), 5), registration(before, 1));
    EXPECT_EQ(registration(grid(), 6), registration(before, 2));
    for (int r = 7; r <= 10; ++r) {
        EXPECT_EQ(cell(r, Col::VideoFile), file(r - 2)) << "row " << r;
        EXPECT_EQ(cell(r, Col::Height),
                  CellText(before, r - 2, Col::Height, editor.sndFrameInterval(), editor.sndLength()));
        EXPECT_EQ(cell(r, Col::Speed), QStringLiteral("1x"));
    }
    for (int r = 1; r <= 4; ++r)
        EXPECT_EQ(registration(grid(), r), registration(before, r));
    for (int r = 1; r <= 10; ++r) {
        EXPECT_NE(cell(r, Col::VideoFile), file(9));
        EXPECT_NE(cell(r, Col::VideoFile), file(10));
    }
    EXPECT_EQ(grid().Rows(), 11);
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ClipboardTest, InsertPasteWithAShorterDragLeavesAGap)
{
    makeTable(10);
    drag(1, 3);
    clip.Copy();
    const RowTable before = grid();
    drag(5, 6);
    clip.InsertPaste();
    EXPECT_EQ(registration(grid(), 5), registration(before, 1));
    EXPECT_EQ(registration(grid(), 6), registration(before, 2));
    EXPECT_TRUE(isEmptyRegistration(grid(), 7));
    for (int r = 8; r <= 10; ++r)
        EXPECT_EQ(cell(r, Col::VideoFile), file(r - 3));
    EXPECT_TRUE(TableInvariants(editor));
    expectUndoRedo(before, RowTable(grid()));
}

TEST_F(ClipboardTest, InsertPasteOfAnEmptyClipboardDoesNothing)
{
    makeTable(5);
    editor.tmpgrid().setRows(1);
    editor.setModified(false);
    editor.history().SaveUndoData();
    const RowTable snapshot = editor.history().undogrid();
    editor.Grid().setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ")); // not part of the snapshot
    const RowTable before = grid();
    drag(2, 2);
    clip.InsertPaste();
    EXPECT_TRUE(SameTable(grid(), before));
    EXPECT_TRUE(SameTable(editor.history().undogrid(), snapshot));
    EXPECT_FALSE(editor.modified());
    clip.Paste();
    EXPECT_TRUE(SameTable(grid(), before));
    EXPECT_FALSE(editor.modified());
}

TEST_F(ClipboardTest, ARangeLeftBeyondAShrunkTableIsLimitedToItsRows)
{
    makeTable(4);
    const RowTable before = grid();
    drag(3, 9);
    clip.Copy();
    EXPECT_EQ(clip.entries(), 2);
    drag(7, 9);
    clip.Cut();
    EXPECT_TRUE(SameTable(grid(), before));
    clip.CutUp();
    EXPECT_TRUE(SameTable(grid(), before));
    clip.Paste();
    EXPECT_TRUE(SameTable(grid(), before));
    clip.InsertPaste();
    EXPECT_TRUE(SameTable(grid(), before));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(ClipboardTest, RowTableKeysReachTheClipboard)
{
    makeTable(4);
    ConnectClipboardCommands(editor, clip);
    ASSERT_EQ(editor.clipboardCommands(), &clip);
    const RowTable before = grid();
    drag(2, 2);
    editor.clipboardCommands()->Copy();
    EXPECT_EQ(registration(editor.tmpgrid(), 1), registration(before, 2));
    drag(3, 3);
    editor.clipboardCommands()->Cut();
    EXPECT_TRUE(isEmptyRegistration(grid(), 3));
    EXPECT_EQ(registration(editor.tmpgrid(), 1), registration(before, 3));
    drag(1, 1);
    editor.clipboardCommands()->Paste();
    EXPECT_EQ(registration(grid(), 1), registration(before, 3));
    EXPECT_TRUE(TableInvariants(editor));
}

} // namespace
} // namespace vk
