#include "app/frmmain.h"
#include "app/qsettingsstore.h"
#include "app/rowtableview.h"
#include "base/keycodes.h"
#include "media/soundpanel.h"
#include "tests/support/fakeengine.h"
#include "timeline/editor.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

namespace {
// The settings as the application stores them (the INI file under XDG_CONFIG_HOME).
// The windows read through stores of their own, so what a test writes goes to the file
// at once.
class SyncedStore final : public vk::SettingsStore {
public:
    using SettingsStore::RegValueWrite;
    bool RegValueRead(const QString& name, QString& text) override { return m_store.RegValueRead(name, text); }
    bool RegValueWrite(const QString& name, const QString& value) override
    {
        const bool written = m_store.RegValueWrite(name, value);
        m_store.sync();
        return written;
    }
    void RegKeyCreate() override { m_store.RegKeyCreate(); }
    void sync() override { m_store.sync(); }

private:
    vk::QSettingsStore m_store;
};

SyncedStore& testSettings()
{
    static SyncedStore store;
    return store;
}
} // namespace


using namespace vk;

namespace {

void clearSettings()
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro")).clear();
}

struct MainWindowTest : ::testing::Test {
    std::vector<FakeEngine*> engines;
    std::unique_ptr<frmMain> window;

    void start(const QStringList& args = {}, int probe = 0x900)
    {
        window = std::make_unique<frmMain>(
            [this] {
                auto e = std::make_unique<FakeEngine>();
                engines.push_back(e.get());
                return e;
            },
            [probe] { return probe; }, args);
        window->Form_Load();
        QApplication::processEvents();
    }

    void TearDown() override
    {
        if (window) {
            window->editor().setModified(false);
            window->close();
        }
        window.reset();
        clearSettings();
    }
};

} // namespace

TEST_F(MainWindowTest, StartsWithBothWindowsAndOneEmptySection)
{
    clearSettings();
    start();
    EXPECT_TRUE(window->isVisible());
    ASSERT_NE(window->videoWindow(), nullptr);
    EXPECT_TRUE(window->videoWindow()->isVisible());
    EXPECT_EQ(window->videoWindow()->windowTitle(), QStringLiteral("映像登録ﾊﾟﾈﾙ"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("videokadro"));

    const QAbstractItemModel* model = window->grid().model();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("音声区間"));
    EXPECT_EQ(model->headerData(9, Qt::Horizontal).toString(), QStringLiteral("ﾄﾗﾝｼﾞｼｮﾝ時間長(msec)"));
    EXPECT_TRUE(window->grid().isColumnHidden(5));
    EXPECT_FALSE(window->grid().isColumnHidden(7));
    EXPECT_EQ(window->grid().columnWidth(2), 300);

    EXPECT_EQ(window->control<QLabel>("lblMsg")->text(), QStringLiteral("ﾚﾃﾞｨ"));
    EXPECT_EQ(window->control<QPushButton>("btnSndReg")->text(), QStringLiteral("音声区間登録"));
    EXPECT_EQ(window->control<QPushButton>("cmdCreateWMV")->text(), QStringLiteral("WMV 作成"));
    EXPECT_EQ(window->control<QCheckBox>("chkPart")->text(), QStringLiteral("ﾄﾞﾗｯｸﾞ選択範囲に限定"));
    EXPECT_EQ(window->control<QLabel>("lblUsage")->text(), QStringLiteral("左ｸﾘｯｸ=行選択、右ｸﾘｯｸ(+SHIFT/CTRL)=ｼｰｸ(+再生)"));
    EXPECT_EQ(window->menuBar()->actions().first()->text(), QStringLiteral("ファイル(&F) "));
    EXPECT_FALSE(window->control<QPushButton>("btnSndReg")->isEnabled()); // until a clip is loaded

    // Lists: 18 speeds with "1.0" chosen, 20 WMV and 30 AVI formats at their defaults.
    auto* rate = window->control<QComboBox>("combSndRate");
    EXPECT_EQ(rate->count(), 18);
    EXPECT_EQ(rate->currentText(), QStringLiteral("1.0"));
    EXPECT_EQ(window->control<QComboBox>("cmboWMV")->count(), 20);
    EXPECT_EQ(window->control<QComboBox>("cmboWMV")->currentIndex(), 15);
    EXPECT_EQ(window->control<QComboBox>("cmboAVI")->count(), 30);
    EXPECT_EQ(window->control<QComboBox>("cmboAVI")->currentIndex(), 0);
    EXPECT_TRUE(window->control<QCheckBox>("chkSound")->isChecked());
    EXPECT_FALSE(window->control<QCheckBox>("chkPart")->isChecked());

    // Three players, the beep one holding pi.wav at full volume.
    ASSERT_EQ(engines.size(), 3u);
    EXPECT_TRUE(engines[2]->openedPath.endsWith(QStringLiteral("/pi.wav")));
    EXPECT_EQ(engines[2]->volume, 0);
    // Default place and size in twips (15 per pixel).
    EXPECT_EQ(window->x(), 1000 / 15 + 1);
    EXPECT_EQ(window->width(), (9695 + 7) / 15);
}

TEST_F(MainWindowTest, SettingsSurviveARestartAndNegativePlacesGoBack)
{
    clearSettings();
    testSettings().RegValueWrite(QStringLiteral("main_left"), QStringLiteral("-2000"));
    testSettings().RegValueWrite(QStringLiteral("main_top"), QStringLiteral(" 900\r\n"));
    testSettings().RegValueWrite(QStringLiteral("WMVProfile"), QStringLiteral("3"));
    testSettings().RegValueWrite(QStringLiteral("sound"), QStringLiteral("0"));
    start();
    EXPECT_EQ(window->x(), 67);  // -2000 applied, then replaced by 1000 twips
    EXPECT_EQ(window->y(), 60);  // 900 twips
    EXPECT_EQ(window->control<QComboBox>("cmboWMV")->currentIndex(), 3);
    EXPECT_FALSE(window->control<QCheckBox>("chkSound")->isChecked());
    window->control<QComboBox>("cmboAVI")->setCurrentIndex(7);
    window->control<QCheckBox>("chkPart")->setChecked(true);
    window->close();
    window.reset();
    QSettings raw(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"));
    EXPECT_EQ(raw.value(QStringLiteral("param/AVIProfile")).toString(), QStringLiteral("7"));
    EXPECT_EQ(raw.value(QStringLiteral("param/part")).toString(), QStringLiteral("1"));
    EXPECT_EQ(raw.value(QStringLiteral("param/main_left")).toString(), QStringLiteral("1005"));
    for (const char* name : {"WMVProfile", "sound", "main_top", "main_width", "main_height"})
        EXPECT_TRUE(raw.contains(QLatin1String("param/") + QLatin1String(name))) << name;
}

TEST_F(MainWindowTest, ResizingBelowTheOutputFrameSnapsBack)
{
    start();
    window->resize(200, 600);
    QApplication::processEvents();
    auto* frame = window->findChild<QWidget*>(QStringLiteral("frameSave"));
    EXPECT_GE(window->width() * 15, (frame->x() + frame->width()) * 15 + 200 - 15);
    window->resize(900, 700);
    QApplication::processEvents();
    auto* grid = &window->grid();
    EXPECT_EQ(grid->width(), (900 * 15 - 280) / 15);
}

TEST_F(MainWindowTest, WheelOverTheWindowScrollsTheTableOneLine)
{
    start();
    auto& ed = window->editor();
    ed.setSoundClip(600000, 33);
    ed.Grid().setRows(201);
    for (int r = 1; r <= 200; ++r) {
        ed.Grid().setText(r, 5, QString::number((r - 1) * 1000));
        ed.Grid().setText(r, 1, QString::number(r));
    }
    ed.notifyTable();
    QApplication::processEvents();
    QScrollBar* bar = window->grid().verticalScrollBar();
    bar->setValue(50);
    auto wheel = [&](int delta) {
        const QPoint at = window->grid().viewport()->rect().center();
        QWheelEvent ev(QPointF(at), window->grid().viewport()->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta),
                       Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        // As from the mouse: only such events travel on to the parent widgets.
        QSpontaneKeyEvent::setSpontaneous(&ev);
        QApplication::sendEvent(window->grid().viewport(), &ev);
    };
    wheel(-120);
    EXPECT_EQ(bar->value(), 51);
    wheel(360); // a big step is still one line
    EXPECT_EQ(bar->value(), 50);
    wheel(0); // no distance counts as down
    EXPECT_EQ(bar->value(), 51);
    wheel(15); // a fine high-resolution step
    EXPECT_EQ(bar->value(), 50);
}

TEST_F(MainWindowTest, ClosingWithUnsavedChangesAsks)
{
    start();
    window->editor().setModified(true);
    // No answer queued in the real dialog: close() would block, so drive the query
    // directly through a timer that answers No.
    QTimer::singleShot(200, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w))
                box->button(QMessageBox::No)->click();
    });
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->editor().modified());
    QTimer::singleShot(200, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w))
                box->button(QMessageBox::Yes)->click();
    });
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->editor().modified());
}

TEST_F(MainWindowTest, OldMediaStackWarnsAndStillStarts)
{
    QTimer::singleShot(300, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                EXPECT_TRUE(box->text().contains(QStringLiteral("(バージョン検出結果=0)")));
                EXPECT_TRUE(box->text().startsWith(
                    QStringLiteral("インストールされているDirectXが古いため、正常に動作しない可能性があります。\r\n")));
                box->button(QMessageBox::Ok)->click();
            }
    });
    start({}, 0);
    EXPECT_TRUE(window->isVisible());
}

TEST(KeyCodes, ShiftedCommaAndPeriodStillStepFrames)
{
    // With Shift held the comma and period keys arrive as "<" and ">": they must keep
    // their codes, or Shift+comma would not step back ten frames.
    EXPECT_EQ(KeyCode(Qt::Key_Comma), Key::Comma);
    EXPECT_EQ(KeyCode(Qt::Key_Less), Key::Comma);
    EXPECT_EQ(KeyCode(Qt::Key_Greater), Key::Period);
    EXPECT_EQ(KeyCode(Qt::Key_A), Key::A);
    EXPECT_EQ(KeyCode(Qt::Key_Delete), Key::Delete);
    EXPECT_EQ(KeyCode(Qt::Key_Tab), Key::None);
    EXPECT_EQ(ShiftState(Qt::ShiftModifier | Qt::AltModifier), 5);
}

TEST_F(MainWindowTest, ShiftCommaOnTheSoundSliderStepsBackTenFrames)
{
    start();
    engines[0]->info.durationMsec = 10000;
    engines[0]->info.secondsPerFrame = 0.04;
    window->soundPanel().SndFileOpen(QStringLiteral("/music/song.wav"));
    window->soundPanel().scrollTo(5000);
    auto* slider = window->control<QSlider>("sliderSnd");
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Less, Qt::ShiftModifier, QStringLiteral("<"));
    QApplication::sendEvent(slider, &press);
    EXPECT_EQ(window->soundPanel().slider().value, 4600);
}

int main(int argc, char** argv)
{
    // Listing the tests happens without the test environment: never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VK_MPV_AO"))
        qputenv("VK_MPV_AO", "null");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
