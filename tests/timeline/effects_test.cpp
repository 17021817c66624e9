// The effect dialog's rules without its window: what it loads for a row and what its
// update writes.

#include "app/qsettingsstore.h"
#include "tests/timeline/edits_support.h"
#include "timeline/effects.h"

namespace {
// The settings as the application stores them (the INI file under XDG_CONFIG_HOME).
vk::QSettingsStore& testSettings()
{
    static vk::QSettingsStore store;
    return store;
}
} // namespace

namespace vk {
namespace {

class EffectsTest : public EditsTest {
protected:
    static void SetUpTestSuite() { UseScratchSettings(); }
    void SetUp() override
    {
        // Every case starts like a first start: no remembered duration.
        ForgetTransDur();
        makeTable(5);
    }
    static QString remembered()
    {
        QString text;
        testSettings().RegValueRead(QStringLiteral("transDur"), text);
        return text;
    }
};

TEST_F(EffectsTest, TheListOffersNoneAndTenEffects)
{
    const QStringList expected{QStringLiteral("なし"),   QStringLiteral("ﾌｪｰﾄﾞ"),    QStringLiteral("ﾎｲｰﾙ"),
                               QStringLiteral("ｽﾗｲﾄﾞ"),  QStringLiteral("ﾜｲﾌﾟ"),     QStringLiteral("ﾋﾟｸｾﾚｰﾄ"),
                               QStringLiteral("ｽﾊﾟｲﾗﾙ"), QStringLiteral("ｼﾞｸﾞｻﾞｸﾞ"), QStringLiteral("ﾗｼﾞｱﾙ"),
                               QStringLiteral("ｽﾄﾚｯﾁ"),  QStringLiteral("ﾊﾞｰﾝ")};
    EXPECT_EQ(Effects::names(), expected);
}

TEST_F(EffectsTest, FirstStartShowsNoneAnd1500)
{
    EXPECT_EQ(Effects::loadIndex(grid(), 2), 0);
    EXPECT_EQ(Effects::loadDuration(testSettings(), grid(), 2), QStringLiteral("1500"));
}

TEST_F(EffectsTest, AnUpdateIsRememberedForRowsWithoutDuration)
{
    editor.setModified(false);
    editor.history().SaveUndoData();
    const RowTable snapshot = editor.history().undogrid();
    Effects::update(editor, testSettings(), 2, 4, QStringLiteral("800"));
    EXPECT_EQ(cell(2, Col::Effect), QStringLiteral("ﾜｲﾌﾟ"));
    EXPECT_EQ(cell(2, Col::TransMsec), QStringLiteral("800"));
    EXPECT_EQ(editor.lastEffectName(), QStringLiteral("ﾜｲﾌﾟ"));
    EXPECT_EQ(remembered(), QStringLiteral("800"));
    // A change of the project like any other: modified, and one step that undo takes
    // back.
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(TableInvariants(editor));

    EXPECT_EQ(Effects::loadDuration(testSettings(), grid(), 3), QStringLiteral("800"));
    EXPECT_EQ(Effects::loadIndex(grid(), 2), 4);
    EXPECT_EQ(Effects::loadDuration(testSettings(), grid(), 2), QStringLiteral("800"));
    editor.history().Undo();
    EXPECT_TRUE(SameTable(grid(), snapshot));
    EXPECT_FALSE(editor.modified());
}

TEST_F(EffectsTest, TheRowsOwnDurationWins)
{
    testSettings().RegValueWrite(QStringLiteral("transDur"), QStringLiteral("800"));
    editor.Grid().setEffectLength(3, 2000);
    editor.Grid().setEffect(3, QStringLiteral("ﾊﾞｰﾝ"));
    EXPECT_EQ(Effects::loadDuration(testSettings(), grid(), 3), QStringLiteral("2000"));
    EXPECT_EQ(Effects::loadIndex(grid(), 3), 10);
}

TEST_F(EffectsTest, RememberedDurationsAreRoundedOrIgnored)
{
    const struct {
        const char* stored;
        const char* shown;
    } cases[] = {{"800.5", "800"}, {"801.5", "802"}, {" 900 ", "900"},
                 {"", "1500"},     {"abc", "1500"},  {"99999999999", "1500"}};
    for (const auto& c : cases) {
        testSettings().RegValueWrite(QStringLiteral("transDur"), QString::fromLatin1(c.stored));
        EXPECT_EQ(Effects::loadDuration(testSettings(), grid(), 1), QString::fromLatin1(c.shown)) << c.stored;
    }
}

TEST_F(EffectsTest, NoneClearsTheEffectAndKeepsTheDuration)
{
    editor.Grid().setEffect(2, QStringLiteral("ﾎｲｰﾙ"));
    editor.Grid().setEffectLength(2, 700);
    editor.setLastEffectName(QStringLiteral("ﾎｲｰﾙ"));
    Effects::update(editor, testSettings(), 2, 0, QStringLiteral("1200"));
    EXPECT_TRUE(cell(2, Col::Effect).isEmpty());
    EXPECT_EQ(cell(2, Col::TransMsec), QStringLiteral("700"));
    EXPECT_EQ(editor.lastEffectName(), QStringLiteral("ﾎｲｰﾙ"));
    EXPECT_EQ(remembered(), QStringLiteral("1200"));
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(EffectsTest, AnEmptyBoxIsStoredButNotRemembered)
{
    testSettings().RegValueWrite(QStringLiteral("transDur"), QStringLiteral("650"));
    Effects::update(editor, testSettings(), 4, 1, QString());
    EXPECT_EQ(cell(4, Col::Effect), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_TRUE(cell(4, Col::TransMsec).isEmpty());
    EXPECT_EQ(remembered(), QStringLiteral("650"));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(EffectsTest, ALengthThatIsNoWholeNumberOfMsIsRefusedAndNothingChanges)
{
    editor.Grid().setEffect(3, QStringLiteral("ﾎｲｰﾙ"));
    editor.Grid().setEffectLength(3, 700);
    editor.setLastEffectName(QStringLiteral("ﾎｲｰﾙ"));
    testSettings().RegValueWrite(QStringLiteral("transDur"), QStringLiteral("650"));
    editor.setModified(false);
    const RowTable before = grid();
    int shown = 0;
    for (const char* typed : {"soon", "-5", "12.5", "1 5"}) {
        for (int index : {2, 0}) {
            Effects::update(editor, testSettings(), 3, index, QString::fromUtf8(typed));
            ++shown;
            EXPECT_TRUE(SameTable(grid(), before)) << typed;
            ASSERT_EQ(ui.messages.size(), shown) << typed;
            EXPECT_EQ(ui.messages.last().text,
                      QStringLiteral("映像効果の長さには0以上の整数(msec)を入力してください。"));
            EXPECT_EQ(ui.messages.last().icon, UserDialogs::Icon::Exclamation);
        }
    }
    EXPECT_EQ(editor.lastEffectName(), QStringLiteral("ﾎｲｰﾙ"));
    EXPECT_EQ(remembered(), QStringLiteral("650"));
    EXPECT_FALSE(editor.modified());
    EXPECT_FALSE(editor.history().canUndo());
    // Blanks around a whole number are allowed, as everywhere a number is read.
    Effects::update(editor, testSettings(), 3, 2, QStringLiteral(" 0 "));
    EXPECT_EQ(grid().effectLength(3), 0.0);
    EXPECT_EQ(ui.messages.size(), shown);
}

TEST_F(EffectsTest, AnEffectTheListDoesNotOfferShowsNoEntry)
{
    editor.Grid().setEffect(5, QStringLiteral("ｱｲﾘｽ"));
    EXPECT_EQ(Effects::loadIndex(grid(), 5), -1);
    // "なし" is no effect name: a cell holding it matches no entry either.
    editor.Grid().setEffect(4, QStringLiteral("なし"));
    EXPECT_EQ(Effects::loadIndex(grid(), 4), -1);
    Effects::update(editor, testSettings(), 5, -1, QStringLiteral("300"));
    EXPECT_TRUE(cell(5, Col::Effect).isEmpty());
    EXPECT_EQ(cell(5, Col::TransMsec), QStringLiteral("300"));
    EXPECT_TRUE(editor.lastEffectName().isEmpty());
    EXPECT_EQ(remembered(), QStringLiteral("300"));
}

TEST_F(EffectsTest, ARowThatNoLongerExistsIsLeftAlone)
{
    const RowTable before = grid();
    EXPECT_EQ(Effects::loadIndex(grid(), 40), 0);
    EXPECT_EQ(Effects::loadDuration(testSettings(), grid(), 40), QStringLiteral("1500"));
    Effects::update(editor, testSettings(), 40, 3, QStringLiteral("500"));
    EXPECT_TRUE(SameTable(grid(), before));
}

} // namespace
} // namespace vk
