#include "app/application.h"
#include "app/frmmain.h"
#include "app/frmvid.h"
#include "app/qsettingsstore.h"
#include "app/rowtableview.h"
#include "base/keycodes.h"
#include "media/soundpanel.h"
#include "tests/support/fakeapp.h"
#include "tests/support/fakeengine.h"
#include "tests/support/pump.h"
#include "tests/support/syncedstore.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest/QTest>
#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

namespace {
using vk::testsupport::SyncedStore;

SyncedStore& testSettings()
{
    return vk::testsupport::TestSettings();
}
} // namespace

using namespace vk;

namespace {

void clearSettings()
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"))
        .clear();
}

struct MainWindowTest : ::testing::Test, testsupport::FakeApp {

    void start(const QStringList& args = {}, int probe = 0x900) { startApp(args, probe); }

    void TearDown() override
    {
        if (window) {
            window->editor().setModified(false);
            window->close();
        }
        app.reset();
        window = nullptr;
        clearSettings();
    }
};

// Waits (events running) until condition holds; false after a generous timeout.
bool waitUntil(const std::function<bool()>& condition)
{
    return testsupport::PumpUntil(condition, 20000);
}

// Answers every message box that comes up with its default button, and counts them.
struct MessageBoxAnswerer {
    int answered = 0;
    QTimer timer;
    MessageBoxAnswerer()
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    ++answered;
                    box->accept();
                }
        });
        timer.start();
    }
};

} // namespace

TEST_F(MainWindowTest, StartsWithBothWindowsAndOneEmptySection)
{
    clearSettings();
    start();
    EXPECT_TRUE(window->isVisible());
    ASSERT_NE(app->videoWindow(), nullptr);
    EXPECT_TRUE(app->videoWindow()->isVisible());
    EXPECT_EQ(app->videoWindow()->windowTitle(), QStringLiteral("映像登録ﾊﾟﾈﾙ"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("videokadro"));

    const QAbstractItemModel* model = window->grid().model();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("音声区間"));
    EXPECT_EQ(model->headerData(9, Qt::Horizontal).toString(), QStringLiteral("ﾄﾗﾝｼﾞｼｮﾝ時間長(msec)"));
    EXPECT_TRUE(window->grid().isColumnHidden(5));
    EXPECT_FALSE(window->grid().isColumnHidden(7));
    // The file column has 300 pixels where the table has room for them; at the default
    // size it gives up what the other columns need to end inside the view.
    EXPECT_LE(window->grid().columnWidth(2), 300);
    EXPECT_GE(window->grid().columnWidth(2), 250);

    EXPECT_EQ(window->control<QLabel>("lblMsg")->text(), QStringLiteral("ﾚﾃﾞｨ"));
    EXPECT_EQ(window->control<QPushButton>("btnSndReg")->text(), QStringLiteral("音声区間登録"));
    EXPECT_EQ(window->control<QPushButton>("cmdCreateWMV")->text(), QStringLiteral("WMV 作成"));
    EXPECT_EQ(window->control<QCheckBox>("chkPart")->text(), QStringLiteral("ﾄﾞﾗｯｸﾞ選択範囲に限定"));
    EXPECT_EQ(window->control<QLabel>("lblUsage")->text(),
              QStringLiteral("左ｸﾘｯｸ=行選択、右ｸﾘｯｸ(+SHIFT/CTRL)=ｼｰｸ(+再生)"));
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

    // Four players (the video panel has two), none of them with a file yet (the beep's
    // comes with the first sound clip, see below).
    ASSERT_EQ(engines.size(), 4u);
    for (FakeEngine* e : engines)
        EXPECT_TRUE(e->callsStartingWith(QStringLiteral("Open")).isEmpty());
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
    EXPECT_EQ(window->x(), 67); // -2000 applied, then replaced by 1000 twips
    EXPECT_EQ(window->y(), 60); // 900 twips
    EXPECT_EQ(window->control<QComboBox>("cmboWMV")->currentIndex(), 3);
    EXPECT_FALSE(window->control<QCheckBox>("chkSound")->isChecked());
    window->control<QComboBox>("cmboAVI")->setCurrentIndex(7);
    window->control<QCheckBox>("chkPart")->setChecked(true);
    window->close();
    app.reset();
    window = nullptr;
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
    for (int r = 1; r <= 200; ++r)
        ed.Grid().setSectionStart(r, (r - 1) * 1000, ed.sndFrameInterval());
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

// The confirmation sound is opened once the first sound clip has loaded (it only sounds
// while a clip plays), at full volume, and only once.
TEST_F(MainWindowTest, BeepIsOpenedWithTheFirstSoundClip)
{
    start();
    ASSERT_EQ(engines.size(), 4u);
    FakeEngine& beep = *engines[2];
    EXPECT_TRUE(beep.calls.isEmpty()) << beep.calls.join(QLatin1Char(' ')).toStdString();
    // A clip that does not load opens nothing.
    engines[0]->openResult = -1;
    MessageBoxAnswerer answerer;
    window->soundPanel().SndFileOpen(QStringLiteral("/music/missing.wav"));
    ASSERT_EQ(answerer.answered, 1);
    EXPECT_TRUE(beep.calls.isEmpty());

    engines[0]->openResult = 0;
    engines[0]->info.durationMsec = 10000;
    engines[0]->info.secondsPerFrame = 0.04;
    window->soundPanel().SndFileOpen(QStringLiteral("/music/song.wav"));
    EXPECT_TRUE(beep.openedPath.endsWith(QStringLiteral("/pi.wav"))) << beep.openedPath.toStdString();
    EXPECT_EQ(beep.callsStartingWith(QStringLiteral("SetVolume")), QStringList{QStringLiteral("SetVolume(0)")});
    window->soundPanel().SndFileOpen(QStringLiteral("/music/other.wav"));
    EXPECT_EQ(beep.callsStartingWith(QStringLiteral("Open")).size(), 1);
}

TEST_F(MainWindowTest, UndoAndRedoAreEnabledOnlyWithAStepAndAnswerTheirKeys)
{
    start();
    auto* undoButton = window->control<QWidget>("BtnUndo");
    auto* redoButton = window->control<QWidget>("btnRedo");
    auto* undoItem = window->findChild<QAction*>(QStringLiteral("mnuUndo"));
    auto* redoItem = window->findChild<QAction*>(QStringLiteral("mnuRedo"));
    ASSERT_NE(undoItem, nullptr);
    ASSERT_NE(redoItem, nullptr);
    auto state = [&] {
        return std::vector<bool>{undoButton->isEnabled(), undoItem->isEnabled(), redoButton->isEnabled(),
                                 redoItem->isEnabled()};
    };
    const std::vector<bool> none{false, false, false, false};
    const std::vector<bool> undoOnly{true, true, false, false};
    const std::vector<bool> redoOnly{false, false, true, true};
    EXPECT_EQ(state(), none) << "before a sound clip";

    engines[0]->info.durationMsec = 10000;
    engines[0]->info.secondsPerFrame = 0.04;
    window->soundPanel().SndFileOpen(QStringLiteral("/music/song.wav"));
    EXPECT_EQ(state(), none) << "a new document has nothing to undo";
    Editor& ed = window->editor();
    for (int ms : {2000, 4000, 6000})
        ed.sections().SndSectionAdd(ms);
    ed.setDraggedRange(3, 3);
    ed.Grid().currentRow = 3;
    ed.sections().SndDelete();
    EXPECT_EQ(ed.lastRow(), 3);
    EXPECT_EQ(state(), undoOnly);

    // The keys reach the history from the main window, wherever the focus is in it
    // (the video panel window, shown after it at the start, must have let go).
    ASSERT_TRUE(waitUntil([&] {
        window->activateWindow();
        return QApplication::activeWindow() == window;
    }));
    QWidget* slider = window->control<QWidget>("sliderSnd");
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ed.lastRow(), 4);
    EXPECT_EQ(state(), redoOnly);
    QTest::keyClick(slider, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(ed.lastRow(), 3);
    EXPECT_EQ(state(), undoOnly);
    QTest::keyClick(slider, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ed.lastRow(), 4);
    QTest::keyClick(window->control<QWidget>("Grid"), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(ed.lastRow(), 3);
    // The buttons and the menu items do the same.
    undoItem->trigger();
    EXPECT_EQ(ed.lastRow(), 4);
    QTest::mouseClick(redoButton, Qt::LeftButton);
    EXPECT_EQ(ed.lastRow(), 3);
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

// A project whose sound file cannot be loaded (missing, empty, not media): the message
// is closed, then the window goes while still shown, as when the program ends through
// the automation Quit. The row table and its model read the editor state (the header
// asks the model for its captions while the view is being hidden), so they must be gone
// before that state is.
TEST_F(MainWindowTest, AfterAFailedSoundLoadTheViewsGoBeforeTheEditorState)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString song = dir.filePath(QStringLiteral("empty.wav"));
    QFile(song).open(QIODevice::WriteOnly); // empty: no media
    const QString project = dir.filePath(QStringLiteral("bad sound.rem"));
    {
        QFile f(project);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("<project version=\"2_0_1\"><soundclip soundfile=\"%1\"/><videoclips>"
                               "<videoclip soundmsec=\"0\" videofile=\"\" beginmsec=\"-1\" endmsec=\"-1\" "
                               "intervalmsec=\"-1\" rate=\"\" trans=\"\" transmsec=\"\"/></videoclips></project>")
                    .arg(song)
                    .toUtf8());
    }
    MessageBoxAnswerer answerer;
    startApp({project}, 0x900, [](FakeEngine& e, size_t index) {
        if (index == 0)
            e.openResult = -1; // the sound player cannot open the file
    });
    ASSERT_EQ(answerer.answered, 1) << "the failed sound load says so once";
    EXPECT_EQ(window->editor().sndFile(), song);
    ASSERT_TRUE(window->isVisible());

    QPointer<RowTableView> view = &window->grid();
    QPointer<QAbstractItemModel> model = view->model();
    QPointer<QHeaderView> header = view->horizontalHeader();
    ASSERT_FALSE(model.isNull());
    bool viewLeft = false, modelLeft = false, headerLeft = false, editorGone = false;
    QObject::connect(&window->editor(), &QObject::destroyed, [&] {
        editorGone = true;
        viewLeft = !view.isNull();
        modelLeft = !model.isNull();
        headerLeft = !header.isNull();
    });
    app.reset();
    window = nullptr;
    ASSERT_TRUE(editorGone);
    EXPECT_FALSE(viewLeft) << "the row table outlived the editor state it shows";
    EXPECT_FALSE(headerLeft) << "the table header outlived the editor state it shows";
    EXPECT_FALSE(modelLeft) << "the row table model outlived the editor state it reads";
}

// Closing the video panel ends the program: the main window closes and releases the
// panel, but not while the panel's own close handling is still running.
TEST_F(MainWindowTest, ClosingTheVideoPanelEndsTheProgramAndReleasesThePanelAfterItsClose)
{
    start();
    QPointer<frmVid> panel = app->videoWindow();
    ASSERT_FALSE(panel.isNull());
    bool panelAliveAfterItsClose = false;
    // Runs after the main window's own handling of the request, still inside the
    // panel's close event.
    QObject::connect(panel.data(), &frmVid::quitRequested, window, [&] { panelAliveAfterItsClose = !panel.isNull(); });
    EXPECT_TRUE(panel->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(panelAliveAfterItsClose) << "the panel was deleted inside its own close";
    EXPECT_TRUE(waitUntil([&] { return panel.isNull(); })) << "the closed panel is never released";
    app.reset();
    window = nullptr;
}

// A key release acts on the table only when the table saw the key go down: the Enter
// that closes a file dialog is pressed in the dialog, and its release must not seek to
// the row and start the song.
TEST_F(MainWindowTest, KeyReleaseActsOnTheTableOnlyAfterItsOwnPress)
{
    start();
    engines[0]->info.durationMsec = 10000;
    engines[0]->info.secondsPerFrame = 0.04;
    window->soundPanel().SndFileOpen(QStringLiteral("/music/song.wav"));
    auto& ed = window->editor();
    ed.Grid().setRows(3);
    ed.Grid().setSectionStart(1, 0, ed.sndFrameInterval());
    ed.Grid().setSectionStart(2, 2000, ed.sndFrameInterval());
    ed.notifyTable();
    QApplication::processEvents();
    RowTableView& grid = window->grid();
    grid.setCurrentIndex(grid.model()->index(1, 1));
    ASSERT_EQ(ed.Grid().currentRow, 2);
    window->soundPanel().scrollTo(5000);
    engines[0]->clearCalls();

    // The dialog takes the press (and closes on it); the release comes to the table.
    {
        QDialog dialog(window);
        dialog.show();
        QTest::keyPress(&dialog, Qt::Key_Return);
        dialog.close();
    }
    QTest::keyRelease(&grid, Qt::Key_Return);
    QTest::keyRelease(&grid, Qt::Key_Space);
    EXPECT_EQ(window->soundPanel().slider().value, 5000) << "a release without its press seeked";
    EXPECT_TRUE(engines[0]->callsStartingWith(QStringLiteral("Play")).isEmpty()) << "the song started";

    // Pressed and released on the table: the row is sought and the song plays.
    QTest::keyPress(&grid, Qt::Key_Return);
    QTest::keyRelease(&grid, Qt::Key_Return);
    EXPECT_EQ(window->soundPanel().slider().value, 2000);
    EXPECT_FALSE(engines[0]->callsStartingWith(QStringLiteral("Play")).isEmpty());

    // A press seen once allows one release only.
    window->soundPanel().halt();
    window->soundPanel().scrollTo(5000);
    engines[0]->clearCalls();
    QTest::keyRelease(&grid, Qt::Key_Return);
    EXPECT_EQ(window->soundPanel().slider().value, 5000);
    EXPECT_TRUE(engines[0]->callsStartingWith(QStringLiteral("Play")).isEmpty());
}

// At the default window size, with more rows than the table shows, the vertical scroll
// bar takes room from the view: every column, the last (効果) included, must still end
// inside the visible area.
TEST_F(MainWindowTest, TheLastColumnStaysClearOfTheScrollBar)
{
    clearSettings();
    start();
    auto& ed = window->editor();
    ed.Grid().setRows(41);
    for (int r = 1; r <= 40; ++r)
        ed.Grid().setSectionStart(r, (r - 1) * 1000, ed.sndFrameInterval());
    ed.notifyTable();
    QApplication::processEvents();
    RowTableView& grid = window->grid();
    ASSERT_TRUE(waitUntil([&] { return grid.verticalScrollBar()->isVisible(); }));
    int last = -1;
    for (int c = 0; c < grid.model()->columnCount(); ++c)
        if (!grid.isColumnHidden(c))
            last = c;
    ASSERT_EQ(last, 8);
    EXPECT_EQ(grid.model()->headerData(last, Qt::Horizontal).toString(), QStringLiteral("効果"));
    EXPECT_LE(grid.columnViewportPosition(last) + grid.columnWidth(last), grid.viewport()->width());
    EXPECT_FALSE(grid.horizontalScrollBar()->isVisible());
    EXPECT_GE(grid.columnWidth(2), 100) << "the file column keeps a usable width";
    const int withBar = grid.columnWidth(2);

    // Back to one row: the scroll bar goes and the file column gets the room back.
    ed.Grid().setRows(2);
    ed.notifyTable();
    EXPECT_TRUE(waitUntil([&] { return !grid.verticalScrollBar()->isVisible(); }));
    EXPECT_GT(grid.columnWidth(2), withBar);
    EXPECT_LE(grid.columnWidth(2), 300);
    EXPECT_LE(grid.columnViewportPosition(last) + grid.columnWidth(last), grid.viewport()->width());

    // A wide window: the file column has its full 300 pixels again.
    window->resize(1000, window->height());
    EXPECT_TRUE(waitUntil([&] { return grid.columnWidth(2) == 300; }));
    EXPECT_LE(grid.columnViewportPosition(last) + grid.columnWidth(last), grid.viewport()->width());
}

int main(int argc, char** argv)
{
    // Listing the tests happens without the test environment: never need a display.
    vk::testsupport::HeadlessDefaults(false);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
