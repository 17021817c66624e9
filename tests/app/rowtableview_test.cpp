// The row table on the main window, offscreen, with scripted players: taps that run
// past the visible rows, the clipboard keys pressed in the table, and the drag summary
// in lblMsg, all through the real view and the window's own wiring.

#include "app/application.h"
#include "app/frmmain.h"
#include "app/qsettingsstore.h"
#include "app/rowtableview.h"
#include "media/soundpanel.h"
#include "tests/support/fakeapp.h"
#include "tests/support/fakeengine.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSettings>
#include <QtTest/QTest>
#include <gtest/gtest.h>

using namespace vk;

namespace {

class TableView : public ::testing::Test, public testsupport::FakeApp {
protected:
    void SetUp() override
    {
        startApp();
        // The first player is the sound clip's: a one-minute clip at 25 frames a second.
        engines[0]->info.durationMsec = 60000;
        engines[0]->info.secondsPerFrame = 0.04;
        window->soundPanel().SndFileOpen(QStringLiteral("/music/song.wav"));
        // The beat analysis of the clip (which is not on disk) reports in the status line
        // from its thread; let it land now rather than in the middle of a test.
        auto* lblMsg = window->control<QLabel>("lblMsg");
        ASSERT_TRUE(QTest::qWaitFor([&] { return lblMsg->text() == QStringLiteral("File not found"); }, 20000));
    }

    void TearDown() override
    {
        window->editor().setModified(false);
        window->close();
        app.reset();
        window = nullptr;
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"))
            .clear();
    }

    Editor& editor() { return window->editor(); }
    RowTableView& grid() { return window->grid(); }

    // Data row of the table at the top edge of the view.
    int topRow() { return grid().rowAt(0) + 1; }
    // Whether data row `row` lies wholly inside the view.
    bool fullyVisible(int row)
    {
        const QRect rect = grid().visualRect(grid().model()->index(row - 1, 1));
        return rect.isValid() && grid().viewport()->rect().contains(rect);
    }

    // Sections every second, rows 1..5 registered with their own file.
    void fillTable(int rows)
    {
        RowTable& g = editor().Grid();
        for (int i = 1; i < rows; ++i)
            editor().sections().SndSectionAdd(i * 1000);
        for (int r = 1; r <= 5; ++r) {
            g.setVideoFile(r, QStringLiteral("/v/%1.mp4").arg(r));
            g.setFrameInterval(r, 40);
            g.setInPoint(r, 0);
            g.setOutPoint(r, 1000);
            g.setSpeed(r, SpeedSetting::span());
        }
        editor().selection().SelectRow(1);
        grid().scrollToTop();
        QApplication::processEvents();
    }

    QPoint cell(int row, int col) { return grid().visualRect(grid().model()->index(row - 1, col)).center(); }

    // A left-button drag from one row to another in the file column.
    void drag(int from, int to)
    {
        QWidget* vp = grid().viewport();
        QTest::mousePress(vp, Qt::LeftButton, {}, cell(from, Col::VideoFile));
        for (int r = from; r != to; r += from < to ? 1 : -1) {
            const QPoint at = cell(r + (from < to ? 1 : -1), Col::VideoFile);
            QMouseEvent move(QEvent::MouseMove, QPointF(at), vp->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(vp, &move);
        }
        QTest::mouseRelease(vp, Qt::LeftButton, {}, cell(to, Col::VideoFile));
        QApplication::processEvents();
    }

    void key(QEvent::Type type, int k, Qt::KeyboardModifiers modifiers)
    {
        QKeyEvent event(type, k, modifiers);
        QApplication::sendEvent(&grid(), &event);
    }

    // Ctrl + key as typed: Ctrl down, key down, then both up, Ctrl first when
    // ctrlUpFirst (the key's release then carries no Ctrl).
    void ctrlKey(int k, bool ctrlUpFirst)
    {
        key(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
        key(QEvent::KeyPress, k, Qt::ControlModifier);
        if (ctrlUpFirst) {
            key(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
            key(QEvent::KeyRelease, k, Qt::NoModifier);
        } else {
            key(QEvent::KeyRelease, k, Qt::ControlModifier);
            key(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
        }
        QApplication::processEvents();
    }

    QString file(int row) { return editor().Grid().videoFile(row); }
};

// ---- taps past the visible rows ------------------------------------------------------------

TEST_F(TableView, TapsPastTheVisibleRowsKeepTheLastRowInSight)
{
    ASSERT_EQ(topRow(), 1);
    int scrolled = 0;
    for (int i = 1; i <= 40; ++i) {
        // The row the tap adds goes below the current last row; it is out of sight when
        // it would not fit wholly into the view there.
        const int last = editor().lastRow();
        const QRect lastRect = grid().visualRect(grid().model()->index(last - 1, 1));
        const bool outOfSight =
            !fullyVisible(last) || lastRect.bottom() + grid().rowHeight(last - 1) > grid().viewport()->height() - 1;
        engines[0]->position = i * 1000;
        editor().sections().SndRegister();
        QApplication::processEvents();
        ASSERT_EQ(editor().lastRow(), i + 1);
        EXPECT_TRUE(fullyVisible(editor().lastRow())) << "tap " << i;
        if (outOfSight) {
            // The last row goes to the top as far as the view scrolls: it stops where
            // the last row reaches its bottom edge.
            QScrollBar* bar = grid().verticalScrollBar();
            EXPECT_EQ(bar->value(), bar->maximum()) << "tap " << i;
            ++scrolled;
        }
    }
    // The table is far taller than the view, so most taps had to scroll.
    EXPECT_GE(scrolled, 20);
    EXPECT_GT(topRow(), 20);
}

TEST_F(TableView, TapInsideTheVisibleRowsDoesNotScroll)
{
    for (int i = 1; i <= 3; ++i) {
        engines[0]->position = i * 1000;
        editor().sections().SndRegister();
        QApplication::processEvents();
        EXPECT_EQ(topRow(), 1);
    }
}

// ---- clipboard keys in the table -------------------------------------------------------------

TEST_F(TableView, CtrlCopyAndPasteWhicheverKeyIsReleasedFirst)
{
    fillTable(30);
    for (bool ctrlUpFirst : {true, false}) {
        SCOPED_TRACE(ctrlUpFirst ? "Ctrl released first" : "key released first");
        editor().tmpgrid().setRows(1);
        drag(2, 4);
        ASSERT_EQ(editor().dragFirst(), 2);
        ASSERT_EQ(editor().dragLast(), 4);
        ctrlKey(Qt::Key_C, ctrlUpFirst);
        ASSERT_EQ(editor().tmpgrid().Rows(), 4);
        EXPECT_EQ(editor().tmpgrid().videoFile(1), QStringLiteral("/v/2.mp4"));
        EXPECT_EQ(editor().tmpgrid().videoFile(3), QStringLiteral("/v/4.mp4"));

        // The paste goes from the clicked row on.
        QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, cell(10, Col::VideoFile));
        QApplication::processEvents();
        ASSERT_EQ(editor().dragFirst(), 10);
        grid().setFocus();
        ctrlKey(Qt::Key_V, ctrlUpFirst);
        EXPECT_EQ(file(10), QStringLiteral("/v/2.mp4"));
        EXPECT_EQ(file(11), QStringLiteral("/v/3.mp4"));
        EXPECT_EQ(file(12), QStringLiteral("/v/4.mp4"));
        for (int r = 10; r <= 12; ++r)
            editor().Grid().clearRegistration(r);
    }
}

TEST_F(TableView, CtrlCutEmptiesTheDraggedRowsLikeTheButton)
{
    fillTable(30);
    drag(3, 5);
    ctrlKey(Qt::Key_X, true);
    EXPECT_EQ(file(2), QStringLiteral("/v/2.mp4"));
    for (int r = 3; r <= 5; ++r)
        EXPECT_TRUE(file(r).isEmpty()) << "row " << r;
    EXPECT_EQ(editor().tmpgrid().Rows(), 4);
    EXPECT_EQ(editor().tmpgrid().videoFile(1), QStringLiteral("/v/3.mp4"));
    EXPECT_TRUE(editor().modified());
}

TEST_F(TableView, OnlyExactlyCtrlMakesAClipboardKey)
{
    fillTable(30);
    drag(2, 3);
    // The plain letter, and Ctrl with Shift, copy nothing.
    key(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier);
    key(QEvent::KeyRelease, Qt::Key_C, Qt::NoModifier);
    key(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    key(QEvent::KeyRelease, Qt::Key_C, Qt::NoModifier);
    QApplication::processEvents();
    EXPECT_EQ(editor().tmpgrid().Rows(), 2); // still the one blank entry of the start
    EXPECT_TRUE(editor().tmpgrid().videoFile(1).isEmpty());
}

// ---- the drag summary --------------------------------------------------------------------------

TEST_F(TableView, ClickAfterADragEmptiesTheSummary)
{
    fillTable(30);
    auto* lblMsg = window->control<QLabel>("lblMsg");
    ASSERT_NE(lblMsg, nullptr);
    drag(2, 4);
    EXPECT_EQ(lblMsg->text(), QStringLiteral("3行 ﾄﾞﾗｯｸﾞ選択 (音声区間長=3000ms)"));
    QTest::mouseClick(grid().viewport(), Qt::LeftButton, {}, cell(7, Col::VideoFile));
    QApplication::processEvents();
    EXPECT_EQ(editor().dragFirst(), 7);
    EXPECT_EQ(editor().dragLast(), 7);
    EXPECT_EQ(lblMsg->text(), QString());
}

} // namespace

int main(int argc, char** argv)
{
    vk::testsupport::HeadlessDefaults(false);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
