// Undo and redo around the sound section edits: the step taken by deletion, split and
// equalise, the toggle between the last two states, steps further back, and the taps
// of one play.

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

// The fields of the data rows (the markers aside): what undo and redo restore.
::testing::AssertionResult SameCells(const RowTable& a, const RowTable& b)
{
    if (a.Rows() != b.Rows())
        return ::testing::AssertionFailure() << "rows " << a.Rows() << " vs " << b.Rows();
    for (int r = 1; r < a.Rows(); ++r) {
        if (a.row(r).sameFields(b.row(r)))
            continue;
        auto failure = ::testing::AssertionFailure() << "row " << r << " differs";
        for (int c = 1; c < a.Cols(); ++c)
            if (CellText(a, r, c, 33, 0) != CellText(b, r, c, 33, 0))
                failure << ", column " << c << " '" << CellText(a, r, c, 33, 0).toStdString() << "' vs '"
                        << CellText(b, r, c, 33, 0).toStdString() << "'";
        return failure;
    }
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
    EXPECT_FALSE(editor.history().canUndo());
    EXPECT_FALSE(editor.history().canRedo());
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

TEST_F(UndoRedo, UndoGoesFurtherBackAndRedoComesForwardAgain)
{
    const RowTable a = editor.Grid();
    editor.Grid().currentRow = 3;
    ui.inputs.push_back(QStringLiteral("2"));
    editor.sections().SndSplit();
    ASSERT_EQ(editor.lastRow(), 6);
    const RowTable b = editor.Grid();
    editor.setDraggedRange(2, 4);
    editor.sections().SndSameSplit();
    const RowTable c = editor.Grid();

    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), b));
    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    // Nothing before the first step.
    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    editor.history().Redo();
    EXPECT_TRUE(SameCells(editor.Grid(), b));
    editor.history().Redo();
    EXPECT_TRUE(SameCells(editor.Grid(), c));
    editor.history().Redo();
    EXPECT_TRUE(SameCells(editor.Grid(), c));
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
    EXPECT_EQ(editor.Grid().videoFile(2), QStringLiteral("/v/b.mp4"));
    EXPECT_TRUE(TableInvariants(editor));

    editor.history().Redo();
    EXPECT_EQ(editor.lastRow(), 3);
    EXPECT_TRUE(SameCells(editor.Grid(), b));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(UndoRedo, TheTapsOfOnePlayAreOneStep)
{
    const RowTable a = editor.Grid();
    editor.setDraggedRange(2, 4);
    editor.sections().SndSameSplit();
    const RowTable b = editor.Grid();

    // Space, three taps, Space: one step, however many taps.
    engine.state = MediaPlayerEngine::Paused;
    sound.PlayPause();
    for (int at : {8000, 8500, 9000}) {
        engine.position = at;
        editor.sections().SndRegister();
    }
    sound.PlayPause();
    ASSERT_EQ(editor.lastRow(), 8);
    const RowTable tapped = editor.Grid();
    // The next play's taps are a step of their own.
    sound.PlayPause();
    engine.position = 9500;
    editor.sections().SndRegister();
    sound.PlayPause();
    ASSERT_EQ(editor.lastRow(), 9);

    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), tapped));
    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), b));
    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(UndoRedo, ANewEditAfterUndoClearsWhatCouldBeRedone)
{
    const RowTable a = editor.Grid();
    editor.setDraggedRange(2, 4);
    editor.sections().SndSameSplit();
    editor.history().Undo(); // table a; b could be redone

    editor.setDraggedRange(3, 5);
    editor.sections().SndSameSplit();
    const RowTable c = editor.Grid();
    ASSERT_FALSE(SameCells(c, a));

    // Redo no longer throws the new edit away for the undone one.
    editor.history().Redo();
    EXPECT_TRUE(SameCells(editor.Grid(), c));
    editor.history().Undo();
    EXPECT_TRUE(SameCells(editor.Grid(), a));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(UndoRedo, UndoLeavesMarkerAndRangeAndMarksTheTableModified)
{
    editor.setDraggedRange(2, 4);
    editor.sections().SndSameSplit();
    editor.selection().SelectRow(5);
    // Saved after the equalise: the table before it is not what the file holds.
    editor.history().markSaved();
    editor.setModified(false);
    editor.history().Undo();
    EXPECT_EQ(editor.Grid().marker(5), kMarkerSelected);
    EXPECT_EQ(editor.dragFirst(), 2);
    EXPECT_EQ(editor.dragLast(), 4);
    EXPECT_TRUE(editor.modified());
}

} // namespace
} // namespace vk
