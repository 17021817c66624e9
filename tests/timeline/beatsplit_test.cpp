// The editor side of the beat assist in the timeline: taps going through a tap adjuster
// before they become section starts, and sections cut at beats in one undoable step.

#include "base/timetext.h"
#include "media/soundpanel.h"
#include "tests/support/fakeengine.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "timeline/beatsnap.h"
#include "timeline/editor.h"
#include "timeline/tapadjuster.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace vk {
namespace {

void ensureApp()
{
    static int argc = 1;
    static char name[] = "beats_sections_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

std::vector<int> starts(const Editor& editor)
{
    std::vector<int> out;
    for (int r = 1; r <= editor.lastRow(); ++r)
        out.push_back(editor.Grid().row(r).start.value_or(0));
    return out;
}

// Snaps to fixed beats and onsets with the pure snapping rule, after subtracting a
// latency, and records what it was given.
class FakeAdjuster final : public TapAdjuster {
public:
    std::vector<double> beats;
    std::vector<double> onsets;
    double latency = 0.0;
    std::vector<double> seen;

    double adjustTap(double playerMs) override
    {
        seen.push_back(playerMs);
        return snapTap(playerMs - latency, beats, onsets).ms;
    }
};

class BeatSections : public ::testing::Test {
protected:
    BeatSections()
    {
        ensureApp();
        editor.setPanels(&sound, nullptr);
        editor.setSndFile(QStringLiteral("/music/song.wav"));
    }

    void tapAt(int ms)
    {
        engine.position = ms;
        editor.sections().SndRegister();
    }

    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine engine;
    FakeEngine beep;
    SoundPanel sound{editor, engine, &beep};
    FakeAdjuster adjuster;
};

TEST_F(BeatSections, TapInsideTheWindowMovesToTheBeatAndOneOutsideStays)
{
    MakeSections(editor, {0}, 20000);
    adjuster.beats = {1000, 1500, 2000, 2500, 3000};
    editor.sections().setTapAdjuster(&adjuster);

    tapAt(1040); // 40 ms late: the beat at 1000
    tapAt(1955); // 45 ms early: the beat at 2000
    tapAt(2750); // 250 ms from every beat: stays
    tapAt(3060); // exactly the window: still snaps
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 1000, 2000, 2750, 3000}));
    EXPECT_EQ(adjuster.seen, (std::vector<double>{1040, 1955, 2750, 3060}));
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_TRUE(editor.modified());
    // The section start text follows the snapped time, not the tap.
    EXPECT_EQ(CellText(editor.Grid(), 2, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
              MsecToTimeText(1000, 33));
}

TEST_F(BeatSections, OnsetCatchesATapWithoutABeatNearAndNoAdjusterLeavesTapsAlone)
{
    MakeSections(editor, {0}, 20000);
    adjuster.beats = {1000, 2000};
    adjuster.onsets = {1020, 1490};
    editor.sections().setTapAdjuster(&adjuster);
    tapAt(1520); // no beat within 60 ms; the onset at 1490 is
    tapAt(1030); // the beat at 1000 wins over the nearer onset at 1020
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 1000, 1490}));

    editor.sections().setTapAdjuster(nullptr);
    tapAt(2030);
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 1000, 1490, 2030}));
    EXPECT_EQ(adjuster.seen.size(), 2u);
}

TEST_F(BeatSections, LatencyIsSubtractedAndATapMovedBeforeTheStartAddsNothing)
{
    MakeSections(editor, {0}, 20000);
    adjuster.latency = 80.0;
    editor.sections().setTapAdjuster(&adjuster);
    tapAt(5080);
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 5000}));
    // 50 ms played, 80 ms latency: the tap lies before the clip's start.
    tapAt(50);
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 5000}));
    // Position 0 (the player has not moved) never reaches the adjuster.
    tapAt(0);
    EXPECT_EQ(adjuster.seen, (std::vector<double>{5080, 50}));
}

TEST_F(BeatSections, BeatSplitCutsFromTheCurrentRowToTheEndAndUndoTakesItBack)
{
    MakeSections(editor, {0, 4000}, 10000);
    Register(editor, 2, QStringLiteral("/v/b.mp4"), 0, 6000);
    editor.Grid().setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"));
    editor.setModified(false);
    editor.Grid().currentRow = 2;
    editor.setDraggedRange(2, 2);
    const RowTable before = editor.Grid();

    const Sections::Range range = editor.sections().beatSplitRange();
    EXPECT_EQ(range.fromMs, 4000.0);
    EXPECT_EQ(range.toMs, 10000.0);
    std::vector<double> beats;
    for (int b = 0; b < 20; ++b)
        beats.push_back(500.0 * b + 10.0);
    const std::vector<double> points = beatSplitPoints(beats, range.fromMs, range.toMs, 4);
    EXPECT_EQ(editor.sections().SndBeatSplit(points), 2);
    // Every fourth beat from the first at or after 4000 (4010): 6010, 8010 and 10010 is
    // past the clip's end.
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 4000, 6010, 8010}));
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_TRUE(editor.modified());
    // The cut section keeps its registration and effect; the new rows carry only starts.
    EXPECT_EQ(editor.Grid().videoFile(2), QStringLiteral("/v/b.mp4"));
    EXPECT_EQ(editor.Grid().effect(2), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_TRUE(editor.Grid().videoFile(3).isEmpty());

    editor.history().Undo();
    ASSERT_EQ(editor.Grid().Rows(), before.Rows());
    for (int r = 1; r < before.Rows(); ++r)
        for (int c = 1; c < Col::Count; ++c)
            EXPECT_EQ(CellText(editor.Grid(), r, c, editor.sndFrameInterval(), editor.sndLength()),
                      CellText(before, r, c, editor.sndFrameInterval(), editor.sndLength()))
                << r << "," << c;
    editor.history().Redo();
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 4000, 6010, 8010}));
}

TEST_F(BeatSections, BeatSplitStaysInsideTheDraggedRangeAndSkipsExistingStarts)
{
    MakeSections(editor, {0, 2000, 5000, 8000}, 12000);
    editor.Grid().currentRow = 1;
    editor.setDraggedRange(2, 3); // 2000 .. 8000
    const Sections::Range range = editor.sections().beatSplitRange();
    EXPECT_EQ(range.fromMs, 2000.0);
    EXPECT_EQ(range.toMs, 8000.0);
    // Points outside the range, one on an existing start and one in the same frame as a
    // start, are left out.
    EXPECT_EQ(editor.sections().SndBeatSplit({1000, 3000, 5000, 5010, 6500, 9000}), 2);
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 2000, 3000, 5000, 6500, 8000}));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(BeatSections, BeatSplitWithoutPointsChangesNothingAndTakesNoSnapshot)
{
    MakeSections(editor, {0, 3000}, 9000);
    editor.setModified(false);
    editor.Grid().currentRow = 1;
    editor.setDraggedRange(1, 1);
    // A snapshot of a different table, to see whether it is overwritten.
    editor.history().SaveUndoData();
    editor.Grid().setEffect(2, QStringLiteral("x"));
    EXPECT_EQ(editor.sections().SndBeatSplit({}), 0);
    EXPECT_EQ(editor.sections().SndBeatSplit({3000}), 0); // already a start
    EXPECT_FALSE(editor.modified());
    editor.history().Undo();
    EXPECT_TRUE(editor.Grid().effect(2).isEmpty()); // the old snapshot came back

    editor.setSndFile(QString());
    EXPECT_EQ(editor.sections().SndBeatSplit({1000}), 0);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.front().text, QStringLiteral("音声ﾌｧｲﾙを指定してください。"));
}

} // namespace
} // namespace vk
