// One-level undo and redo around the sound section edits: the snapshot taken by
// deletion, split and equalise, the toggle between the last two states, and the
// registration tap that takes no snapshot.

#include "base/numbers.h"
#include "media/soundpanel.h"
#include "tests/support/fakeengine.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace vk {
namespace {

// Cells outside the header row and the marker column: what undo and redo restore.
::testing::AssertionResult SameCells(const RowTable& a, const RowTable& b)
{
    if (a.Rows() != b.Rows())
        return ::testing::AssertionFailure() << "rows " << a.Rows() << " vs " << b.Rows();
    for (int r = 1; r < a.Rows(); ++r)
        for (int c = 1; c < a.Cols(); ++c)
            if (a.text(r, c) != b.text(r, c))
                return ::testing::AssertionFailure() << "cell (" << r << "," << c << ") '" << a.text(r, c).toStdString()
                                                     << "' vs '" << b.text(r, c).toStdString() << "'";
    return ::testing::AssertionSuccess();
}

class UndoRedo : public ::testing::Test {
protected:
    UndoRedo()
    {
        testsupport::EnsureCoreApp("timeline_undo_test");
        editor.setPanels(&sound, nullptr);
        editor.setSndFile(QStringLiteral("/music/song.wav"));
        MakeSections(editor, {0, 1000, 1500, 4000, 7000}, 10000);
        Register(editor, 2, QStringLiteral("/v/b.mp4"), 0, 1000);
        Register(editor, 4, QStringLiteral("/v/d.mp4"), 500, 2000);
        editor.RowRefresh(-1);
    }

    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine engine;
    FakeEngine beep;
    SoundPanel sound{editor, engine, &beep};
};

TEST_F(UndoRedo, UndoBeforeAnySnapshotDoesNothing)
{
    const RowTable before = editor.Grid();
    editor.history().Undo();
    EXPECT_EQ(editor.Grid(), before);
    editor.history().Redo();
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_FALSE(editor.modified());
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(UndoRedo, ANewDocumentHasNothingToUndoUntilItsFirstEdit)
{
    // What New and a sound clip load do to the table: one empty section.
    editor.setDraggedRange(2, 3);
    editor.Grid().currentRow = 2;
    editor.sections().SndDelete();
    editor.sections().SndClear();
    const RowTable fresh = editor.Grid();
    editor.history().Undo();
    EXPECT_EQ(editor.Grid(), fresh);
    editor.history().Redo();
    EXPECT_EQ(editor.Grid(), fresh);
    EXPECT_EQ(editor.history().undogrid().Rows(), 1);
}

TEST_F(UndoRedo, UndoAndRedoToggleBetweenTheLastTwoStates)
{
    const RowTable a = editor.Grid();
    editor.setDraggedRange(2, 4);
    editor.sections().SndSameSplit();
    const RowTable b = editor.Grid();
    ASSERT_FALSE(SameCells(a, b));

    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    EXPECT_TRUE(TableInvariants(editor));
    editor.history().Redo();
    EXPECT_TRUE(SameCells(editor.Grid(), b));
    EXPECT_TRUE(TableInvariants(editor));
    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    editor.history().Redo();
    EXPECT_TRUE(SameCells(editor.Grid(), b));
}

TEST_F(UndoRedo, UndoTwiceThenRedoShowsNoChange)
{
    const RowTable a = editor.Grid();
    editor.Grid().currentRow = 3;
    ui.inputs.push_back(QStringLiteral("2"));
    editor.sections().SndSplit();
    ASSERT_EQ(editor.lastRow(), 6);

    editor.history().Undo();
    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    editor.history().Redo();
    EXPECT_TRUE(SameCells(editor.Grid(), a)) << "the second undo stored the restored table";
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(UndoRedo, DeleteThenUndoRestoresEveryRow)
{
    const RowTable a = editor.Grid();
    editor.setDraggedRange(2, 3);
    editor.Grid().currentRow = 3;
    editor.sections().SndDelete();
    ASSERT_EQ(editor.lastRow(), 3);
    const RowTable b = editor.Grid();

    editor.history().Undo();
    EXPECT_EQ(editor.lastRow(), 5);
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    EXPECT_EQ(editor.Grid().text(2, Col::VideoFile), QStringLiteral("/v/b.mp4"));
    EXPECT_TRUE(TableInvariants(editor));

    editor.history().Redo();
    EXPECT_EQ(editor.lastRow(), 3);
    EXPECT_TRUE(SameCells(editor.Grid(), b));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(UndoRedo, RegistrationTapIsUndoneOnlyWithTheOlderSnapshot)
{
    // Equalise takes a snapshot; the tap afterwards takes none, so undo goes back past
    // both edits to the table before the equalise.
    const RowTable a = editor.Grid();
    editor.setDraggedRange(2, 4);
    editor.sections().SndSameSplit();
    engine.position = 8000;
    editor.sections().SndRegister();
    ASSERT_EQ(editor.lastRow(), 6);

    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(UndoRedo, ANewEditAfterUndoKeepsTheRedoSnapshot)
{
    const RowTable a = editor.Grid();
    editor.setDraggedRange(2, 4);
    editor.sections().SndSameSplit();
    const RowTable b = editor.Grid();
    editor.history().Undo(); // table a, redo snapshot b

    editor.setDraggedRange(3, 5);
    editor.sections().SndSameSplit(); // undo snapshot a
    const RowTable c = editor.Grid();
    ASSERT_FALSE(SameCells(c, a));

    editor.history().Redo();
    EXPECT_TRUE(SameCells(editor.Grid(), b));
    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(UndoRedo, UndoLeavesMarkerAndRangeAndMarksTheTableModified)
{
    editor.setDraggedRange(2, 4);
    editor.sections().SndSameSplit();
    editor.selection().SelectRow(5);
    editor.setModified(false);
    editor.history().Undo();
    EXPECT_EQ(editor.Grid().marker(5), kMarkerSelected);
    EXPECT_EQ(editor.dragFirst(), 2);
    EXPECT_EQ(editor.dragLast(), 4);
    EXPECT_TRUE(editor.modified());
}

} // namespace
} // namespace vk
