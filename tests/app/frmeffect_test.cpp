// The effect dialog window, offscreen.

#include "app/frmeffect.h"
#include "app/qsettingsstore.h"
#include "tests/support/testapp.h"
#include "tests/timeline/edits_support.h"
#include "timeline/effects.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

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

class FrmEffectTest : public EditsTest {
protected:
    static void SetUpTestSuite()
    {
        UseScratchSettings();
        // No display is needed, also when the test runs outside CTest.
        testsupport::HeadlessDefaults(false);
        testsupport::EnsureGuiApp("edits_gui");
    }
    void SetUp() override
    {
        ForgetTransDur();
        makeTable(5);
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::red);
        owner.setWindowIcon(QIcon(pixmap));
    }

    QWidget owner;
};

TEST_F(FrmEffectTest, ShowsTheCaptionTheListAndTheLabels)
{
    frmEffect dialog(editor, testSettings(), &owner);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("効果設定"));
    EXPECT_FALSE(dialog.isModal());
    EXPECT_FALSE(dialog.combTrans->isEditable());
    EXPECT_EQ(dialog.txtTransDur->text(), QStringLiteral("1500"));
    EXPECT_EQ(dialog.OKButton->text(), QStringLiteral("更新"));
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("映像効果")));
    EXPECT_TRUE(labels.contains(QStringLiteral("映像効果の長さ")));
    EXPECT_TRUE(labels.contains(QStringLiteral("msec")));

    dialog.openForRow(2);
    ASSERT_EQ(dialog.combTrans->count(), 11);
    QStringList items;
    for (int i = 0; i < dialog.combTrans->count(); ++i)
        items << dialog.combTrans->itemText(i);
    EXPECT_EQ(items, Effects::names());
    EXPECT_EQ(dialog.combTrans->currentIndex(), 0);
    EXPECT_EQ(dialog.windowIcon().cacheKey(), owner.windowIcon().cacheKey());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(FrmEffectTest, OpensBesideThePointer)
{
    QCursor::setPos(400, 300);
    if (QCursor::pos() != QPoint(400, 300))
        GTEST_SKIP() << "this platform cannot move the pointer";
    frmEffect dialog(editor, testSettings(), &owner);
    dialog.openForRow(1);
    EXPECT_EQ(dialog.pos(), QPoint(413, 253));
}

TEST_F(FrmEffectTest, UpdateWritesTheRowAndASecondOpeningReloads)
{
    editor.Grid().setEffect(3, QStringLiteral("ﾊﾞｰﾝ"));
    editor.Grid().setEffectLength(3, 2000);
    frmEffect dialog(editor, testSettings(), &owner);

    dialog.openForRow(2);
    dialog.combTrans->setCurrentIndex(3);
    dialog.txtTransDur->setText(QStringLiteral("900"));
    QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(cell(2, Col::Effect), QStringLiteral("ｽﾗｲﾄﾞ"));
    EXPECT_EQ(cell(2, Col::TransMsec), QStringLiteral("900"));
    EXPECT_EQ(editor.lastEffectName(), QStringLiteral("ｽﾗｲﾄﾞ"));
    EXPECT_EQ(testSettings().readText(QStringLiteral("transDur")), QStringLiteral("900"));
    EXPECT_TRUE(TableInvariants(editor));

    // Opened for row 4 and, while it shows, for row 3: it now edits row 3.
    dialog.openForRow(4);
    EXPECT_EQ(dialog.txtTransDur->text(), QStringLiteral("900"));
    EXPECT_EQ(dialog.combTrans->currentIndex(), 0);
    dialog.openForRow(3);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.KeepMouseRow, 3);
    EXPECT_EQ(dialog.combTrans->currentIndex(), 10);
    EXPECT_EQ(dialog.txtTransDur->text(), QStringLiteral("2000"));
    dialog.combTrans->setCurrentIndex(0);
    QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
    EXPECT_TRUE(cell(3, Col::Effect).isEmpty());
    EXPECT_EQ(cell(3, Col::TransMsec), QStringLiteral("2000"));
    EXPECT_TRUE(cell(4, Col::Effect).isEmpty());
}

TEST_F(FrmEffectTest, ALengthThatIsNoNumberKeepsTheDialogOpenAndWritesNothing)
{
    frmEffect dialog(editor, testSettings(), &owner);
    const RowTable before = grid();
    dialog.openForRow(2);
    dialog.combTrans->setCurrentIndex(3);
    dialog.txtTransDur->setText(QStringLiteral("soon"));
    QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(SameTable(grid(), before));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].icon, UserDialogs::Icon::Exclamation);
    // Corrected, the same dialog writes the row and closes.
    dialog.txtTransDur->setText(QStringLiteral("900"));
    QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(grid().effectLength(2), 900.0);
    EXPECT_EQ(ui.messages.size(), 1);
}

TEST_F(FrmEffectTest, ClosingWritesNothing)
{
    frmEffect dialog(editor, testSettings(), &owner);
    const RowTable before = grid();
    dialog.openForRow(2);
    dialog.combTrans->setCurrentIndex(5);
    dialog.txtTransDur->setText(QStringLiteral("111"));
    dialog.close();
    EXPECT_TRUE(SameTable(grid(), before));
    EXPECT_TRUE(testSettings().readText(QStringLiteral("transDur")).isEmpty());
    EXPECT_EQ(editor.lastEffectName(), QStringLiteral("ﾌｪｰﾄﾞ"));
}

} // namespace
} // namespace vk
