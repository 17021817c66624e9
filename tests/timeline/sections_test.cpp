// Sound section editing: registration at the play position, deletion of the dragged
// rows, splitting a section into n parts and equalising the dragged sections.

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

std::vector<int> starts(const Editor& editor)
{
    std::vector<int> out;
    for (int r = 1; r <= editor.lastRow(); ++r)
        out.push_back(editor.Grid().row(r).start.value_or(0));
    return out;
}

class Sections : public ::testing::Test {
protected:
    Sections()
    {
        testsupport::EnsureCoreApp("timeline_sections_test");
        editor.setPanels(&sound, nullptr);
        editor.setSndFile(QStringLiteral("/music/song.wav"));
    }

    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine engine;
    FakeEngine beep;
    SoundPanel sound{editor, engine, &beep};
};

// ---- registration ------------------------------------------------------------------------

TEST_F(Sections, RegisterSplitsTheSectionAndKeepsItsRegistration)
{
    MakeSections(editor, {0, 8000}, 20000);
    Register(editor, 1, QStringLiteral("/v/a.mp4"), 0, 4000);
    editor.Grid().setSpeed(1, SpeedSetting::span());
    editor.Grid().setEffect(1, QStringLiteral("ﾌｪｰﾄﾞ"));
    editor.Grid().setEffectLength(1, 1500);
    const RowTable before = editor.Grid();
    engine.position = 5000;

    editor.sections().SndRegister();

    EXPECT_EQ(engine.callsStartingWith(QStringLiteral("GetPosition")).size(), 1);
    ASSERT_EQ(starts(editor), (std::vector<int>{0, 5000, 8000}));
    const RowTable& g = editor.Grid();
    EXPECT_EQ(CellText(g, 2, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:05:00"));
    for (int c : kRegistrationColumns) {
        if (c != Col::Speed)
            EXPECT_EQ(CellText(g, 1, c, editor.sndFrameInterval(), editor.sndLength()),
                      CellText(before, 1, c, editor.sndFrameInterval(), editor.sndLength()))
                << "column " << c;
        EXPECT_TRUE(CellText(g, 2, c, editor.sndFrameInterval(), editor.sndLength()).isEmpty()) << "column " << c;
    }
    // The new section shortens row 1; its span's speed follows: 4000 ms over 5000.
    EXPECT_EQ(editor.sectionLength(1), 5000.0);
    EXPECT_EQ(g.speed(1), SpeedSetting::span());
    EXPECT_EQ(g.speedText(1, editor.sndLength()), QStringLiteral("0.8x"));
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(ui.visibleRequests.contains(3));
    EXPECT_GE(ui.sliderFocus, 1);
    EXPECT_TRUE(TableInvariants(editor));
    // The tap is a step of its own (no play, so a run of one): undo takes it back.
    editor.history().Undo();
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 8000}));
    EXPECT_EQ(g, before);
}

TEST_F(Sections, RegisterBeforeRegisteredRowsMovesTheirCellsWithThem)
{
    MakeSections(editor, {0, 4000, 8000}, 20000);
    Register(editor, 2, QStringLiteral("/v/b.mp4"), 1000, 3000);
    Register(editor, 3, QStringLiteral("/v/c.mp4"), 0, 500);
    engine.position = 2500;

    editor.sections().SndRegister();

    ASSERT_EQ(starts(editor), (std::vector<int>{0, 2500, 4000, 8000}));
    EXPECT_TRUE(editor.Grid().videoFile(2).isEmpty());
    EXPECT_EQ(editor.Grid().videoFile(3), QStringLiteral("/v/b.mp4"));
    EXPECT_EQ(editor.Grid().videoFile(4), QStringLiteral("/v/c.mp4"));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(Sections, TwoRegistrationsInOneFrameGiveTwoRows)
{
    MakeSections(editor, {0}, 20000);
    engine.position = 5000;
    editor.sections().SndRegister();
    engine.position = 5020; // 20 ms later, still frame 0 of second 5 at 33 ms per frame
    editor.sections().SndRegister();

    ASSERT_EQ(starts(editor), (std::vector<int>{0, 5000, 5020}));
    EXPECT_EQ(CellText(editor.Grid(), 2, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
              CellText(editor.Grid(), 3, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(Sections, RegistrationIsSkippedInTheLastFrameAtZeroAndWithoutClip)
{
    MakeSections(editor, {0}, 20020);
    const RowTable before = editor.Grid();

    engine.position = 20000; // "00:00:20:00", the same text as the clip length's
    editor.sections().SndRegister();
    EXPECT_EQ(editor.Grid(), before);

    engine.position = 0;
    editor.sections().SndRegister();
    EXPECT_EQ(editor.Grid(), before);

    editor.setSndFile(QString());
    engine.clearCalls();
    engine.position = 3000;
    editor.sections().SndRegister();
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_TRUE(engine.calls.isEmpty()) << "the player is not asked without a clip";

    editor.setSndFile(QStringLiteral("/music/song.wav"));
    engine.failing.insert(QStringLiteral("GetPosition"));
    editor.sections().SndRegister();
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_FALSE(editor.modified());

    // One frame earlier is still a section.
    engine.failing.clear();
    engine.position = 19990;
    editor.sections().SndRegister();
    EXPECT_EQ(editor.lastRow(), 2);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(Sections, RegistrationWithoutSoundPanelDoesNothing)
{
    MakeSections(editor, {0}, 20000);
    editor.setPanels(nullptr, nullptr);
    engine.position = 4000;
    editor.sections().SndRegister();
    EXPECT_EQ(editor.lastRow(), 1);
    // The section itself can still be added directly.
    editor.sections().SndSectionAdd(4000);
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 4000}));
}

TEST_F(Sections, EachEditSendsOneTableNotification)
{
    MakeSections(editor, {0, 1000, 2000, 3000, 4000}, 9000);
    Register(editor, 3, QStringLiteral("/v/c.mp4"), 0, 1000);
    int notifications = 0;
    QObject::connect(&editor, &Editor::tableChanged, [&] { ++notifications; });

    editor.setDraggedRange(2, 3);
    editor.Grid().currentRow = 2;
    editor.sections().SndDelete();
    EXPECT_EQ(notifications, 1) << "deletion";

    notifications = 0;
    editor.Grid().currentRow = 3;
    ui.inputs.push_back(QStringLiteral("5"));
    editor.sections().SndSplit();
    EXPECT_EQ(editor.lastRow(), 7);
    EXPECT_EQ(notifications, 1) << "split";

    notifications = 0;
    editor.setDraggedRange(3, 6);
    editor.sections().SndSameSplit();
    EXPECT_EQ(notifications, 1) << "equalise";

    notifications = 0;
    editor.sections().SndSectionAdd(500);
    EXPECT_EQ(notifications, 1) << "registration";
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(Sections, TheViewsHearOfChangedRowsBeforeTheyScroll)
{
    // A view can only scroll to a row it knows: by the time the scroll is asked for,
    // the table notification carrying the new rows must have gone out.
    MakeSections(editor, {0, 1000, 2000}, 20000);
    int rowsWhenNotified = -1;
    int requestsWhenNotified = -1;
    QObject::connect(&editor, &Editor::tableChanged, [&] {
        rowsWhenNotified = editor.lastRow();
        requestsWhenNotified = int(ui.visibleRequests.size());
    });

    engine.position = 5000;
    editor.sections().SndRegister();
    ASSERT_EQ(ui.visibleRequests, QList<int>{4});
    EXPECT_EQ(rowsWhenNotified, 4);
    EXPECT_EQ(requestsWhenNotified, 0);

    // The split adds its rows the same way.
    ui.visibleRequests.clear();
    rowsWhenNotified = requestsWhenNotified = -1;
    editor.Grid().currentRow = 4;
    ui.inputs.push_back(QStringLiteral("3"));
    editor.sections().SndSplit();
    ASSERT_EQ(ui.visibleRequests, QList<int>{6});
    EXPECT_EQ(rowsWhenNotified, 6);
    EXPECT_EQ(requestsWhenNotified, 0);

    // A deletion shows the row that took the place of the removed ones, on the table
    // the views already have without them.
    ui.visibleRequests.clear();
    rowsWhenNotified = requestsWhenNotified = -1;
    editor.setDraggedRange(5, 6);
    editor.Grid().currentRow = 5;
    editor.sections().SndDelete();
    ASSERT_EQ(ui.visibleRequests, QList<int>{4});
    EXPECT_EQ(rowsWhenNotified, 4);
    EXPECT_EQ(requestsWhenNotified, 0);
}

// ---- deletion -------------------------------------------------------------------------------

TEST_F(Sections, DeletingRowsOneToThreeKeepsRowOne)
{
    MakeSections(editor, {0, 1000, 2000, 3000, 4000}, 6000);
    Register(editor, 1, QStringLiteral("/v/a.mp4"), 0, 500);
    Register(editor, 2, QStringLiteral("/v/b.mp4"), 0, 500);
    Register(editor, 4, QStringLiteral("/v/d.mp4"), 0, 2000);
    editor.Grid().setSpeed(1, SpeedSetting::span());
    const RowTable before = editor.Grid();
    editor.setDraggedRange(1, 3);
    editor.Grid().currentRow = 3;

    editor.sections().SndDelete();

    ASSERT_EQ(starts(editor), (std::vector<int>{0, 3000, 4000}));
    const RowTable& g = editor.Grid();
    // Row 1 survives with its registration; its speed follows its longer section:
    // 495 ms (500 on frames of 33) over 3000.
    EXPECT_EQ(g.videoFile(1), QStringLiteral("/v/a.mp4"));
    EXPECT_EQ(g.speedText(1, editor.sndLength()), QStringLiteral("0.165x"));
    // The row that had no speed yet gets one: 2000 ms of video over 1000 ms.
    EXPECT_EQ(g.speedText(2, editor.sndLength()), QStringLiteral("2x"));
    EXPECT_EQ(g.currentRow, 1);
    EXPECT_EQ(g.currentCol, 0);
    EXPECT_EQ(g.marker(1), kMarkerSelected);
    EXPECT_EQ(g.marker(2), kMarkerPlain);
    EXPECT_EQ(g.marker(3), kMarkerPlain);
    EXPECT_EQ(editor.dragFirst(), 1);
    EXPECT_EQ(editor.dragLast(), 1);
    EXPECT_TRUE(editor.modified());
    EXPECT_GE(ui.sliderFocus, 1);
    EXPECT_TRUE(TableInvariants(editor));
    // The snapshot holds the table from before the deletion.
    EXPECT_EQ(editor.history().undogrid().Rows(), before.Rows());
    for (int r = 1; r < before.Rows(); ++r)
        for (int c = 1; c < before.Cols(); ++c)
            EXPECT_EQ(CellText(editor.history().undogrid(), r, c, editor.sndFrameInterval(), editor.sndLength()),
                      CellText(before, r, c, editor.sndFrameInterval(), editor.sndLength()));
}

TEST_F(Sections, DeletingTheLastRowsExtendsThePreviousSectionToTheClipEnd)
{
    MakeSections(editor, {0, 1000, 2000, 3000}, 5000);
    editor.Grid().setMarker(4, kMarkerSelected);
    editor.setDraggedRange(3, 4);
    editor.Grid().currentRow = 4;

    editor.sections().SndDelete();

    ASSERT_EQ(starts(editor), (std::vector<int>{0, 1000}));
    EXPECT_EQ(editor.Grid().currentRow, 2);
    EXPECT_EQ(editor.Grid().marker(2), kMarkerSelected);
    EXPECT_EQ(editor.Grid().marker(1), kMarkerPlain);
    EXPECT_EQ(editor.sectionLength(2), 4000.0);
    EXPECT_EQ(editor.dragFirst(), 2);
    EXPECT_EQ(editor.dragLast(), 2);
    EXPECT_TRUE(ui.visibleRequests.contains(2));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(Sections, DeletingAMiddleRangeMarksTheRowThatTookItsPlace)
{
    MakeSections(editor, {0, 1000, 2000, 3000, 4000, 5000}, 8000);
    Register(editor, 5, QStringLiteral("/v/e.mp4"), 0, 1000);
    editor.setDraggedRange(2, 4);
    editor.Grid().currentRow = 2;

    editor.sections().SndDelete();

    ASSERT_EQ(starts(editor), (std::vector<int>{0, 4000, 5000}));
    EXPECT_EQ(editor.Grid().videoFile(2), QStringLiteral("/v/e.mp4"));
    EXPECT_EQ(editor.Grid().currentRow, 2);
    EXPECT_EQ(editor.Grid().marker(2), kMarkerSelected);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(Sections, DeletionIsRefusedForRowOne)
{
    MakeSections(editor, {0, 1000, 2000}, 5000);
    const RowTable before = editor.Grid();

    editor.setDraggedRange(1, 1);
    editor.Grid().currentRow = 3;
    editor.sections().SndDelete();
    EXPECT_EQ(editor.msg(), QStringLiteral("1行目は削除できません。"));
    EXPECT_EQ(editor.Grid(), before);

    editor.setMsg(QString());
    editor.setDraggedRange(2, 3);
    editor.Grid().currentRow = 1;
    editor.sections().SndDelete();
    EXPECT_EQ(editor.msg(), QStringLiteral("1行目は削除できません。"));
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_FALSE(editor.modified());
    EXPECT_EQ(editor.history().undogrid().Rows(), 1) << "a refused deletion takes no snapshot";
}

TEST_F(Sections, DeletionWithARangePastTheTableRemovesNothing)
{
    MakeSections(editor, {0, 1000, 2000}, 5000);
    const RowTable before = editor.Grid();
    editor.setDraggedRange(3, 6);
    editor.Grid().currentRow = 3;
    editor.sections().SndDelete();
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_TRUE(TableInvariants(editor));
}

// ---- split ----------------------------------------------------------------------------------------

TEST_F(Sections, SplittingTheLastSectionIntoFourStartsFromItsFrameStart)
{
    // Row 3 starts at 2010 ms, shown as 00:00:02:00: the split measures from 2000.
    MakeSections(editor, {0, 1000, 2010}, 10001);
    Register(editor, 3, QStringLiteral("/v/c.mp4"), 0, 3000);
    editor.Grid().currentRow = 3;
    const RowTable before = editor.Grid();
    ui.inputs.push_back(QStringLiteral("4"));

    editor.sections().SndSplit();

    // 8001 ms in four: 4000.25, 6000.5 and 8000.75 round half to even.
    ASSERT_EQ(starts(editor), (std::vector<int>{0, 1000, 2010, 4000, 6000, 8001}));
    EXPECT_EQ(editor.Grid().videoFile(3), QStringLiteral("/v/c.mp4"));
    for (int r = 4; r <= 6; ++r)
        EXPECT_TRUE(editor.Grid().videoFile(r).isEmpty());
    EXPECT_EQ(engine.callsStartingWith(QStringLiteral("Pause")), QStringList{QStringLiteral("Pause(2000,0)")});
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_EQ(editor.history().undogrid().Rows(), before.Rows());
}

TEST_F(Sections, SplittingAMiddleSectionEndsAtTheNextFrameStart)
{
    MakeSections(editor, {0, 1000, 4020}, 9000);
    editor.Grid().currentRow = 2;
    ui.inputs.push_back(QStringLiteral("3"));
    editor.sections().SndSplit();
    // From 1000 to 4000 (the next row's time text), in thirds.
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 1000, 2000, 3000, 4020}));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(Sections, SplitAnswersAreReadAsRoundedIntegers)
{
    MakeSections(editor, {0, 3000}, 9000);
    editor.Grid().currentRow = 2;
    ui.inputs.push_back(QStringLiteral("2.5")); // half to even: 2
    editor.sections().SndSplit();
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 3000, 6000}));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(Sections, SplitWithoutUsableAnswerChangesNothing)
{
    MakeSections(editor, {0, 3000}, 9000);
    editor.Grid().currentRow = 2;
    const RowTable before = editor.Grid();
    for (const std::optional<QString>& answer :
         {std::optional<QString>(), std::optional<QString>(QString()), std::optional<QString>(QStringLiteral("abc")),
          std::optional<QString>(QStringLiteral("9999999"))}) {
        ui.inputs.push_back(answer);
        editor.sections().SndSplit();
        EXPECT_EQ(editor.Grid(), before);
    }
    ASSERT_EQ(ui.inputTitles.size(), 4);
    EXPECT_EQ(ui.inputTitles.first(), QStringLiteral("音声区間分割"));
    EXPECT_EQ(
        ui.inputPrompts.first(),
        QStringLiteral(
            "何区間に等分割するか入力してください(2以上の整数)。\r\n\r\n選択した１音声区間をn区間に等分割します。"));
    EXPECT_FALSE(editor.modified());
    EXPECT_TRUE(engine.callsStartingWith(QStringLiteral("Pause")).isEmpty());
    EXPECT_EQ(editor.history().undogrid().Rows(), 1);
}

TEST_F(Sections, SplitIntoOneOrLessStillSnapshotsSeeksAndMarksModified)
{
    MakeSections(editor, {0, 3000}, 9000);
    editor.Grid().currentRow = 2;
    const RowTable before = editor.Grid();
    ui.inputs.push_back(QStringLiteral("1"));
    editor.sections().SndSplit();
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_EQ(engine.callsStartingWith(QStringLiteral("Pause")), QStringList{QStringLiteral("Pause(3000,0)")});
    EXPECT_TRUE(editor.modified());
    EXPECT_EQ(editor.history().undogrid().Rows(), before.Rows());

    ui.inputs.push_back(QStringLiteral("-3"));
    editor.sections().SndSplit();
    EXPECT_EQ(editor.Grid(), before);
}

TEST_F(Sections, SplitWithoutSoundClipShowsAMessage)
{
    MakeSections(editor, {0}, 9000);
    editor.setSndFile(QString());
    ui.inputs.push_back(QStringLiteral("3"));
    editor.sections().SndSplit();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages.first().text, QStringLiteral("音声ﾌｧｲﾙを指定してください。"));
    EXPECT_EQ(ui.messages.first().icon, UserDialogs::Icon::Exclamation);
    EXPECT_TRUE(ui.inputTitles.isEmpty());
    EXPECT_EQ(editor.lastRow(), 1);
}

TEST_F(Sections, SplitKeepsTheAddedRowsWhenThePlayerFails)
{
    MakeSections(editor, {0}, 9000);
    editor.Grid().currentRow = 1;
    engine.failing.insert(QStringLiteral("Pause"));
    ui.inputs.push_back(QStringLiteral("3"));
    editor.sections().SndSplit();
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 3000, 6000}));
    EXPECT_TRUE(TableInvariants(editor));
}

// ---- equalise ---------------------------------------------------------------------------------------

TEST_F(Sections, EqualiseMakesTheDraggedSectionsEquallyLong)
{
    MakeSections(editor, {0, 1000, 1500, 4000, 7000}, 10000);
    Register(editor, 3, QStringLiteral("/v/c.mp4"), 0, 1000);
    editor.Grid().setSpeed(3, SpeedSetting::span());
    const RowTable before = editor.Grid();
    editor.setDraggedRange(2, 4);

    editor.sections().SndSameSplit();

    ASSERT_EQ(starts(editor), (std::vector<int>{0, 1000, 3000, 5000, 7000}));
    EXPECT_EQ(CellText(editor.Grid(), 3, Col::SectionText, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:03:00"));
    // Registrations stay on their rows; a span's speed follows its new section.
    EXPECT_EQ(editor.Grid().videoFile(3), QStringLiteral("/v/c.mp4"));
    EXPECT_EQ(editor.Grid().speedText(3, editor.sndLength()), QStringLiteral("0.5x"));
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(TableInvariants(editor));
    EXPECT_EQ(editor.history().undogrid().row(3).start, before.row(3).start);
}

TEST_F(Sections, EqualiseUpToTheLastRowUsesTheClipEndAndRoundsHalfToEven)
{
    MakeSections(editor, {0, 1000, 2000, 2500}, 9001);
    editor.setDraggedRange(2, 4);
    editor.sections().SndSameSplit();
    // 8001 ms in three: 3667 and 6334.
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 1000, 3667, 6334}));
    EXPECT_TRUE(TableInvariants(editor));

    MakeSections(editor, {0, 1, 2, 3, 10}, 20);
    editor.setDraggedRange(1, 4); // 10 ms in four: 2.5, 5, 7.5 round to 2, 5, 8
    editor.sections().SndSameSplit();
    EXPECT_EQ(starts(editor), (std::vector<int>{0, 2, 5, 8, 10}));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(Sections, EqualiseNeedsTwoRows)
{
    MakeSections(editor, {0, 1000, 5000}, 9000);
    const RowTable before = editor.Grid();
    editor.setDraggedRange(2, 2);
    editor.sections().SndSameSplit();
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_FALSE(editor.modified());
    EXPECT_EQ(editor.history().undogrid().Rows(), 1);
}

} // namespace
} // namespace vk
