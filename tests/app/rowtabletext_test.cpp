// The text the row table's window shows: made from a row's fields by the model, the
// section time text on the sound clip's frames the editor holds.

#include "app/rowtablemodel.h"
#include "app/rowtabletext.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <climits>
#include <gtest/gtest.h>

using namespace vk;

namespace {

class RowTableText : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testsupport::HeadlessDefaults(false);
        testsupport::EnsureGuiApp("rowtable_text");
    }

    ScriptedUi ui;
    Editor editor{ui};
    RowTableModel model{editor};

    QString shown(int row, int col) const { return model.data(model.index(row - 1, col), Qt::DisplayRole).toString(); }
};

TEST_F(RowTableText, TheSectionShowsItsStartOnTheSoundFramesAndInMs)
{
    MakeSections(editor, {0, 4500}, 9000, 40);
    EXPECT_EQ(shown(2, Col::SectionText), QStringLiteral("00:00:04:12")); // 500 ms: 12 frames of 40
    EXPECT_EQ(shown(2, Col::SectionMsec), QStringLiteral("4500"));
    // The frames are the sound clip's: another clip shows the same start on its own.
    editor.setSoundClip(9000, 33);
    editor.notifyTable();
    EXPECT_EQ(shown(2, Col::SectionText), QStringLiteral("00:00:04:15"));
    EXPECT_EQ(shown(2, Col::SectionMsec), QStringLiteral("4500"));

    // A start the time text cannot hold shows empty; its ms stay and show.
    EXPECT_FALSE(editor.Grid().setSectionStart(2, INT_MIN, 33));
    editor.notifyTable();
    EXPECT_TRUE(shown(2, Col::SectionText).isEmpty());
    EXPECT_EQ(shown(2, Col::SectionMsec), QStringLiteral("-2147483648"));
    EXPECT_EQ(editor.Grid().sectionStart(2), INT_MIN);
}

TEST_F(RowTableText, ARegistrationShowsItsPointsOnTheVideosFrames)
{
    MakeSections(editor, {0, 2000}, 4000, 33);
    RowTable& g = editor.Grid();
    Register(editor, 1, QStringLiteral("/v/a.mp4"), 1234, 3010, 40, 1280, 720);
    g.setSpeed(1, SpeedSetting::span());
    g.setEffect(1, QStringLiteral("ﾌｪｰﾄﾞ"));
    g.setEffectLength(1, 1500);
    g.setSpeed(2, SpeedSetting::normal());
    editor.notifyTable();
    EXPECT_EQ(shown(1, Col::VideoFile), QStringLiteral("/v/a.mp4"));
    EXPECT_EQ(shown(1, Col::InPoint), QStringLiteral("00:00:01:05")); // 234 ms: 5 frames of 40
    EXPECT_EQ(shown(1, Col::OutPoint), QStringLiteral("00:00:03:00"));
    EXPECT_EQ(shown(1, Col::VideoInterval), QStringLiteral("40"));
    EXPECT_EQ(shown(1, Col::Speed), QStringLiteral("0.9x")); // 1800 ms of video over 2000
    EXPECT_EQ(shown(1, Col::Effect), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_EQ(shown(1, Col::TransMsec), QStringLiteral("1500"));
    EXPECT_EQ(shown(1, Col::Width), QStringLiteral("1280"));
    EXPECT_EQ(shown(1, Col::Height), QStringLiteral("720"));
    EXPECT_EQ(shown(2, Col::Speed), QStringLiteral("等速"));
    // The marker column carries no text, and a row without registration shows none.
    EXPECT_FALSE(model.data(model.index(0, Col::Marker), Qt::DisplayRole).isValid());
    for (int c : kRegistrationColumns)
        if (c != Col::Speed)
            EXPECT_TRUE(shown(2, c).isEmpty()) << c;
    // The model's text is the formatting function's.
    for (int c = 1; c < Col::Count; ++c)
        EXPECT_EQ(shown(1, c), RowCellText(g, 1, c, 33, 4000)) << c;
    EXPECT_EQ(model.headerData(Col::Effect, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("効果"));
}

} // namespace
