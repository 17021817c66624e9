// The video registration panel's window, offscreen, with the scripted player: captions
// and tool tips, what a still shows, placement, the close question, the layout minimum,
// and that keys, drops, clicks and the range reach the controller and the screen.
#include "app/filmstrip.h"
#include "app/frmvid.h"
#include "app/qsettingsstore.h"
#include "app/shotanalysissetup.h"
#include "media/analysis/shotworker.h"
#include "media/videopanel.h"
#include "tests/support/fakeengine.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "tests/support/syncedstore.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QUrl>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {
using vk::testsupport::SyncedStore;

SyncedStore& testSettings()
{
    return vk::testsupport::TestSettings();
}
} // namespace

namespace vk {
namespace {

void EnsureApp()
{
    if (QCoreApplication::instance())
        return;
    // Headless by default, whatever the runner passed on, and settings of this process
    // only, so tests running side by side do not see each other's placement.
    testsupport::HeadlessDefaults(false);
    static QTemporaryDir config;
    if (config.isValid())
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    testsupport::EnsureGuiApp("panels_video_widget_tests");
}

void ClearPlacement()
{
    for (const char* name : {"video_left", "video_top", "video_width", "video_height"})
        testSettings().RegValueWrite(QLatin1String(name), QString());
}

QIcon TestIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::red);
    return QIcon(pm);
}

class FrmVidTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApp(); }

    void SetUp() override
    {
        ClearPlacement();
        MakeSections(editor, {0, 1000, 2000}, 4000, 33);
        editor.selection().SelectRow(1);
        window = std::make_unique<frmVid>(editor, panel, testSettings(), icon);
        ConnectShotAnalysis(panel, *window, shots);
    }

    void TearDown() override
    {
        window->closeForShutdown();
        window.reset();
        ClearPlacement();
    }

    template <typename T>
    T* child(const char* name) const
    {
        T* w = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    void loadMovie(int length = 8000)
    {
        player.info = MediaInfo{};
        player.info.durationMsec = length;
        player.info.secondsPerFrame = 0.04;
        player.info.width = 320;
        player.info.height = 240;
        panel.setFileText(QStringLiteral("/media/a.mp4"));
        panel.VidFileLoad(QStringLiteral("/media/a.mp4"));
    }

    void key(QWidget* w, int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, qtKey, mods);
        QCoreApplication::sendEvent(w, &press);
    }

    void mouse(QWidget* w, QEvent::Type type, QPoint at)
    {
        QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &e);
    }

    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine player;
    VideoPanel panel{editor, player};
    QIcon icon = TestIcon();
    ShotWorker shots;
    std::unique_ptr<frmVid> window;
};

TEST_F(FrmVidTest, CaptionIconAndControlTexts)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("映像登録ﾊﾟﾈﾙ"));
    EXPECT_EQ(window->windowIcon().cacheKey(), icon.cacheKey());
    EXPECT_TRUE(window->isWindow());

    EXPECT_EQ(child<QLabel>("lblVidFile")->text(), QStringLiteral("映像ｸﾘｯﾌﾟ"));
    EXPECT_EQ(child<QLabel>("lblVidFile")->toolTip(), QStringLiteral("動画/静止画ﾌｧｲﾙ"));
    EXPECT_EQ(child<QLineEdit>("txtVidFile")->toolTip(), QStringLiteral("入力ﾌｧｲﾙ（動画/静止画ﾌｧｲﾙ）"));
    EXPECT_EQ(child<QAbstractButton>("cmdFileLoad")->text(), QStringLiteral("参照..."));
    EXPECT_EQ(child<QAbstractButton>("cmdFileLoad")->toolTip(), QStringLiteral("入力ファイル指定"));
    EXPECT_EQ(child<QAbstractButton>("btnVidPlayPlause")->toolTip(), QStringLiteral("再生/ﾎﾟｰｽﾞ (SPC)"));
    EXPECT_EQ(child<QCheckBox>("chkMute")->text(), QStringLiteral("ﾐｭｰﾄ"));
    EXPECT_EQ(child<QLabel>("lblVidRate")->text(), QStringLiteral("×"));
    EXPECT_EQ(child<QComboBox>("combVidRate")->toolTip(), QStringLiteral("変速再生速度"));
    EXPECT_TRUE(child<QComboBox>("combVidRate")->isEditable());
    EXPECT_EQ(child<QComboBox>("combVidRate")->count(), 18);
    EXPECT_EQ(child<QComboBox>("combVidRate")->currentText(), QStringLiteral("1.0"));
    EXPECT_EQ(child<QCheckBox>("ChkRange")->text(), QStringLiteral("ﾘﾋﾟｰﾄ"));
    EXPECT_EQ(child<QCheckBox>("ChkRange")->toolTip(), QStringLiteral("範囲終点で再生停止"));
    EXPECT_EQ(child<QAbstractButton>("cmdSelStart")->toolTip(), QStringLiteral("範囲始点を設定(Z)"));
    EXPECT_EQ(child<QAbstractButton>("cmdSelEnd")->toolTip(), QStringLiteral("範囲終点を設定(X)"));
    EXPECT_EQ(child<QAbstractButton>("cmdSelStartJmp")->toolTip(), QStringLiteral("範囲始点へジャンプ(C)"));
    EXPECT_EQ(child<QAbstractButton>("cmdSelEndJmp")->toolTip(), QStringLiteral("範囲終点へジャンプ(V)"));
    EXPECT_EQ(child<QAbstractButton>("btnVidReg")->text(), QStringLiteral("映像登録"));
    EXPECT_EQ(child<QAbstractButton>("btnVidReg")->toolTip(),
              QStringLiteral("選択した音声区間行に映像を登録します(S)"));
    EXPECT_EQ(child<QAbstractButton>("btnVidContReg")->text(), QStringLiteral("映像連続登録"));
    EXPECT_EQ(child<QAbstractButton>("btnVidContReg")->toolTip(),
              QStringLiteral("動画ｸﾘｯﾌﾟ中の音楽にあわせてｸﾘｯｸすると行映像が連続登録されます(A)"));
    for (const char* name : {"imgSolidColor0", "imgSolidColor1", "imgSolidColor2"})
        EXPECT_EQ(child<QLabel>(name)->toolTip(), QStringLiteral("静止画像テンプレート")) << name;
    EXPECT_EQ(child<QPlainTextEdit>("txtShortcut")->toPlainText(),
              QStringLiteral("SPC=再生/停止、↑↓←→ =コマ送り/早送り、S=映像登録、A=連続映像登録\n"
                             "Z/X=範囲始点/終点指定、C/V=範囲始点/終点にｼﾞｬﾝﾌﾟ、D/F=前/次ｼｮｯﾄ"));
    for (const char* name : {"txtHour", "txtMinute", "txtSecond", "txtFrame"})
        EXPECT_TRUE(child<QLineEdit>(name)->isReadOnly()) << name;
    EXPECT_TRUE(child<QLabel>("lblRangeMsec")->text().isEmpty());
    // The player draws into the picture box inside the preview area, hidden until a load.
    QWidget* movie = child<QWidget>("picMovie");
    EXPECT_EQ(movie, window->movieWidget());
    EXPECT_EQ(movie->parentWidget(), child<QWidget>("picVidPlay"));
    EXPECT_TRUE(movie->isHidden());
    // The speed "1.0" went to the player at the start.
    EXPECT_EQ(player.calls, QStringList{QStringLiteral("Command(set_rate_percent,100,)")});
}

// At the default size the key help shows each of its two lines whole: no line wraps,
// so "連続映像登録" is never split, and the help lies inside the window.
TEST_F(FrmVidTest, KeyHelpShowsEachLineWhole)
{
    window->show();
    QApplication::processEvents();
    auto* help = child<QPlainTextEdit>("txtShortcut");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    QTextDocument* doc = help->document();
    ASSERT_EQ(doc->blockCount(), 2);
    const QFontMetrics fm(help->font());
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        ASSERT_NE(block.layout(), nullptr);
        EXPECT_EQ(block.layout()->lineCount(), 1) << block.text().toStdString();
        for (int i = 0; i < block.layout()->lineCount(); ++i) {
            const QTextLine line = block.layout()->lineAt(i);
            const QString part = block.text().mid(line.textStart(), line.textLength());
            EXPECT_FALSE(part.endsWith(QStringLiteral("連続映")) || part.endsWith(QStringLiteral("連続映像")) ||
                         part.endsWith(QStringLiteral("連続")) || part.endsWith(QStringLiteral("連続映像登")))
                << "a line breaks inside 連続映像登録: " << part.toStdString();
        }
        EXPECT_LE(fm.horizontalAdvance(block.text()) + 2 * doc->documentMargin(), help->viewport()->width())
            << block.text().toStdString();
    }
    const QRect inWindow(help->mapTo(window.get(), QPoint(0, 0)), help->size());
    EXPECT_TRUE(window->rect().contains(inWindow));
}

TEST_F(FrmVidTest, WithTheMainWindowAsParentItTakesItsIconAndStaysAWindow)
{
    QWidget mainWindow;
    mainWindow.setWindowIcon(icon);
    window->closeForShutdown();
    window.reset();
    player.clearCalls();
    window = std::make_unique<frmVid>(editor, panel, testSettings(), &mainWindow);
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->parentWidget(), &mainWindow);
    EXPECT_EQ(window->windowIcon().cacheKey(), icon.cacheKey());
    // Gone, it leaves the player drawing nowhere.
    window->closeForShutdown();
    window.reset();
    EXPECT_EQ(player.videoWindow, nullptr);
    EXPECT_EQ(player.calls.last(), QStringLiteral("SetVideoWindow"));
    window = std::make_unique<frmVid>(editor, panel, testSettings(), icon);
}

TEST_F(FrmVidTest, StillShowsOnlyTheRegistrationButton)
{
    loadMovie();
    EXPECT_FALSE(child<QSlider>("sliderVid")->isHidden());
    EXPECT_TRUE(child<QAbstractButton>("btnVidPlayPlause")->isEnabled());

    player.info = MediaInfo{};
    player.info.width = 320;
    player.info.height = 240;
    panel.setFileText(QStringLiteral("/media/pic.png"));
    panel.VidFileLoad(QStringLiteral("/media/pic.png"));

    for (const char* name : {"sliderVid", "btnVidPlayPlause", "cmdSelStart", "cmdSelEnd", "cmdSelStartJmp",
                             "cmdSelEndJmp", "btnVidContReg", "chkMute", "ChkRange", "txtHour", "txtMinute",
                             "txtSecond", "txtFrame", "lblVidRate", "combVidRate"})
        EXPECT_TRUE(child<QWidget>(name)->isHidden()) << name;
    EXPECT_FALSE(child<QWidget>("btnVidReg")->isHidden());
    EXPECT_TRUE(child<QWidget>("btnVidReg")->isEnabled());
    EXPECT_FALSE(child<QWidget>("picMovie")->isHidden());
    EXPECT_TRUE(child<QLabel>("lblRangeMsec")->text().isEmpty());
    EXPECT_EQ(child<QLineEdit>("txtVidFile")->text(), QStringLiteral("/media/pic.png"));
}

TEST_F(FrmVidTest, PlacementDefaultsAndTheNegativePositionRule)
{
    // No stored values: 500, 500, 6455 x 7845 twips.
    EXPECT_EQ(window->x(), 33);
    EXPECT_EQ(window->y(), 33);
    EXPECT_EQ(window->height(), 523);
    EXPECT_GE(window->width(), 430);

    window->closeForShutdown();
    window.reset();
    testSettings().RegValueWrite(QStringLiteral("video_left"), QStringLiteral("-2000"));
    testSettings().RegValueWrite(QStringLiteral("video_top"), QStringLiteral(" 3000\n"));
    testSettings().RegValueWrite(QStringLiteral("video_width"), QStringLiteral("9000"));
    testSettings().RegValueWrite(QStringLiteral("video_height"), QStringLiteral("9015"));
    window = std::make_unique<frmVid>(editor, panel, testSettings(), icon);
    EXPECT_EQ(window->x(), 33);
    EXPECT_EQ(window->y(), 200);
    EXPECT_EQ(window->width(), 600);
    EXPECT_EQ(window->height(), 601);

    // Written back as twips when the panel unloads.
    window->move(40, 60);
    window->closeForShutdown();
    EXPECT_EQ(testSettings().readText(QStringLiteral("video_left")), QStringLiteral("600"));
    EXPECT_EQ(testSettings().readText(QStringLiteral("video_top")), QStringLiteral("900"));
    EXPECT_EQ(testSettings().readText(QStringLiteral("video_width")), QStringLiteral("9000"));
    EXPECT_EQ(testSettings().readText(QStringLiteral("video_height")), QStringLiteral("9015"));
}

TEST_F(FrmVidTest, ClosingAsksWhileModifiedAndEndsTheApplication)
{
    int quits = 0;
    QObject::connect(window.get(), &frmVid::quitRequested, [&] { ++quits; });
    window->show();
    editor.setModified(true);

    EXPECT_FALSE(window->close()); // No keeps it open
    ASSERT_EQ(ui.questions.size(), 1);
    EXPECT_EQ(ui.questions[0].text,
              QStringLiteral("プロジェクトファイルが保存されていません。保存せずに終了しますか？"));
    EXPECT_EQ(ui.questions[0].icon, UserDialogs::Icon::Warning);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(editor.modified());

    ui.yesNo.push_back(true);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(editor.modified());
    // The placement was written on the way out.
    EXPECT_FALSE(testSettings().readText(QStringLiteral("video_width")).isEmpty());
}

TEST_F(FrmVidTest, ClosingUnmodifiedAsksNothing)
{
    int quits = 0;
    QObject::connect(window.get(), &frmVid::quitRequested, [&] { ++quits; });
    window->show();
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(ui.questions.isEmpty());
    EXPECT_EQ(quits, 1);
}

TEST_F(FrmVidTest, ShrinkingGrowsBackToTheMinimumAndKeepsTheFrameAtTheBottom)
{
    window->show();
    QCoreApplication::processEvents();
    window->resize(50, 50);
    QCoreApplication::processEvents();
    QWidget* frame = child<QWidget>("frameVid");
    QWidget* slider = child<QWidget>("sliderVid");
    QWidget* picture = child<QWidget>("picVidPlay");
    EXPECT_GE(window->width() * 15, frame->width() * 15 + 120 + 200 - 15);
    EXPECT_GE(window->height() * 15, slider->height() * 15 + frame->height() * 15 + 2500 - 15);

    window->resize(700, 640);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(700, 640));
    // Bottom frame 600 twips above the bottom, the slider above it, the picture above that.
    EXPECT_NEAR(frame->y(), 640 - frame->height() - 40, 1);
    EXPECT_NEAR(slider->y() + slider->height(), frame->y() - 7, 1);
    EXPECT_NEAR(picture->y() + picture->height(), slider->y() - 3, 1);
    EXPECT_NEAR(picture->width(), 700 - 19, 1);
    EXPECT_EQ(slider->width(), picture->width());
}

TEST_F(FrmVidTest, MovieIsLetterboxedInThePreviewArea)
{
    window->show();
    loadMovie(); // 320 x 240
    window->resize(700, 640);
    QCoreApplication::processEvents();
    QWidget* movie = child<QWidget>("picMovie");
    QWidget* picture = child<QWidget>("picVidPlay");
    EXPECT_FALSE(movie->isHidden());
    EXPECT_EQ(movie->geometry(),
              frmVid::fitMovieWindow(QSize(320, 240), QRect(0, 0, picture->width(), picture->height())));
    EXPECT_TRUE(movie->width() == picture->width() || movie->height() == picture->height());
}

TEST(FitMovieWindow, LetterboxesInsideTheBox)
{
    // A 4:3 picture in a wide box: full height, centred across (half pixels to even).
    EXPECT_EQ(frmVid::fitMovieWindow(QSize(640, 480), QRect(10, 20, 400, 200)), QRect(76, 20, 267, 200));
    // In a tall box: full width, centred down.
    EXPECT_EQ(frmVid::fitMovieWindow(QSize(640, 480), QRect(0, 0, 400, 400)), QRect(0, 50, 400, 300));
    // Same aspect: the whole box.
    EXPECT_EQ(frmVid::fitMovieWindow(QSize(1920, 1080), QRect(5, 5, 320, 180)), QRect(5, 5, 320, 180));
    // Nothing to fit: the box.
    EXPECT_EQ(frmVid::fitMovieWindow(QSize(0, 0), QRect(1, 2, 30, 40)), QRect(1, 2, 30, 40));
    for (const QSize box : {QSize(333, 111), QSize(120, 500), QSize(640, 480)}) {
        const QRect r = frmVid::fitMovieWindow(QSize(176, 144), QRect(QPoint(7, 9), box));
        EXPECT_TRUE(QRect(QPoint(7, 9), box).contains(r)) << box.width() << "x" << box.height();
        EXPECT_TRUE(r.width() == box.width() || r.height() == box.height());
        const int leftMargin = r.left() - 7;
        const int rightMargin = 7 + box.width() - (r.right() + 1);
        EXPECT_LE(std::abs(leftMargin - rightMargin), 1);
    }
}

TEST_F(FrmVidTest, KeysOnTheSliderDriveThePanel)
{
    loadMovie(8000);
    auto* slider = child<QSlider>("sliderVid");
    EXPECT_EQ(slider->maximum(), 8000);

    slider->setValue(2000); // the user moving the thumb seeks
    EXPECT_EQ(panel.slider().value, 2000);
    EXPECT_EQ(player.position, 2000);
    key(slider, Qt::Key_Z);
    key(slider, Qt::Key_Right);
    EXPECT_EQ(panel.slider().value, 2080);
    key(slider, Qt::Key_Period, Qt::ShiftModifier);
    EXPECT_EQ(panel.slider().value, 2480);
    key(slider, Qt::Key_X);
    EXPECT_EQ(panel.slider().selStart, 2000);
    EXPECT_EQ(panel.slider().selLength, 480);
    EXPECT_EQ(child<QLabel>("lblRangeMsec")->text(), QStringLiteral("区間長=480ms"));
    EXPECT_EQ(slider->value(), 2480);
    EXPECT_EQ(slider->toolTip(), QStringLiteral("2480"));
    EXPECT_EQ(child<QLineEdit>("txtSecond")->text(), QStringLiteral("2"));
    EXPECT_EQ(child<QLineEdit>("txtFrame")->text(), QStringLiteral("12"));

    key(slider, Qt::Key_S);
    EXPECT_EQ(CellText(editor.Grid(), 1, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:02:00"));
    EXPECT_EQ(editor.Grid().currentRow, 2);

    key(slider, Qt::Key_Space);
    EXPECT_TRUE(panel.timerActive());
    key(slider, Qt::Key_Return);
    EXPECT_FALSE(panel.timerActive());
}

TEST_F(FrmVidTest, DropOnThePreviewLoadsTheFirstFile)
{
    player.info.durationMsec = 3000;
    player.info.width = 320;
    player.info.height = 240;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/media/dropped.mp4")),
                  QUrl::fromLocalFile(QStringLiteral("/media/other.mp4"))});
    for (const char* target : {"picVidPlay", "picMovie", "txtVidFile"}) {
        player.openedPath.clear();
        // Qt delivers drops only within a drag it runs itself, so the event goes straight
        // to the window's filter, as Qt would pass it on.
        QWidget* w = child<QWidget>(target);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        EXPECT_TRUE(static_cast<QObject*>(window.get())->eventFilter(w, &enter));
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        EXPECT_TRUE(static_cast<QObject*>(window.get())->eventFilter(w, &drop));
        EXPECT_EQ(player.openedPath, QStringLiteral("/media/dropped.mp4")) << target;
        EXPECT_EQ(child<QLineEdit>("txtVidFile")->text(), QStringLiteral("/media/dropped.mp4"));
    }
    // Text without file names is left to the box itself.
    QMimeData text;
    text.setText(QStringLiteral("words"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    EXPECT_FALSE(static_cast<QObject*>(window.get())->eventFilter(child<QWidget>("txtVidFile"), &enter));
}

TEST_F(FrmVidTest, ClickOnTheGrooveMovesTheValueOnlyWhenReleasedInPlace)
{
    window->show();
    window->resize(700, 640);
    QCoreApplication::processEvents();
    loadMovie(10000);
    auto* slider = child<QSlider>("sliderVid");
    const QPoint mid(slider->width() / 2 + 40, slider->height() / 2);

    mouse(slider, QEvent::MouseButtonPress, mid);
    mouse(slider, QEvent::MouseButtonRelease, mid + QPoint(30, 0));
    EXPECT_EQ(panel.slider().value, 0);

    mouse(slider, QEvent::MouseButtonPress, mid);
    mouse(slider, QEvent::MouseButtonRelease, mid);
    const int expected = int(std::lround((double(mid.x() * 15) / (slider->width() * 15 - 400) - 0.025) * 10000));
    EXPECT_EQ(panel.slider().value, expected);
    EXPECT_GT(panel.slider().value, 5000);
    EXPECT_LT(panel.slider().value, 6000);
    EXPECT_EQ(slider->value(), panel.slider().value);
}

// Counts the pixels of the slider painted in the range colour.
int RangePixels(QWidget* slider)
{
    const QImage image = slider->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 150 && c.red() < 140 && c.blue() - c.green() > 60)
                ++count;
        }
    return count;
}

TEST_F(FrmVidTest, TheRangeIsDrawnOnTheSlider)
{
    window->show();
    window->resize(700, 640);
    QCoreApplication::processEvents();
    loadMovie(10000);
    auto* slider = child<QSlider>("sliderVid");
    panel.scrollTo(2000);
    panel.selStart();
    panel.scrollTo(4000);
    panel.selEnd();
    const int small = RangePixels(slider);
    EXPECT_GT(small, 0);
    panel.scrollTo(8000);
    panel.selEnd();
    const int large = RangePixels(slider);
    EXPECT_GT(large, small * 2);
    // X at the start removes it.
    panel.scrollTo(2000);
    panel.selEnd();
    ASSERT_FALSE(panel.slider().selShown);
    EXPECT_LT(RangePixels(slider), small / 4 + 1);
}

TEST_F(FrmVidTest, SolidColourSwatchRegistersTheStill)
{
    panel.setApplicationFolder(QStringLiteral("/opt/vk"));
    player.info = MediaInfo{};
    player.info.width = 64;
    player.info.height = 48;
    mouse(child<QWidget>("imgSolidColor2"), QEvent::MouseButtonRelease, QPoint(3, 3));
    EXPECT_EQ(editor.Grid().videoFile(1), QStringLiteral("/opt/vk/Slides/White.bmp"));
    EXPECT_EQ(CellText(editor.Grid(), 1, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:00"));
}

TEST_F(FrmVidTest, ContinuousButtonActsOnPress)
{
    loadMovie(8000);
    auto* button = child<QAbstractButton>("btnVidContReg");
    panel.scrollTo(1000);
    mouse(button, QEvent::MouseButtonPress, QPoint(4, 4));
    EXPECT_EQ(CellText(editor.Grid(), 1, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:00"));
    EXPECT_EQ(editor.Grid().currentRow, 2);
    mouse(button, QEvent::MouseButtonRelease, QPoint(4, 4));
    EXPECT_EQ(editor.Grid().currentRow, 2);
}

} // namespace
namespace {

// A real movie loaded through the scripted player: its shots are analysed in the
// background, the filmstrip appears between the slider and the buttons with a mark at
// the cut, a click on it seeks, and ｼｮｯﾄに吸着 reaches the panel and the settings.
TEST_F(FrmVidTest, ShotsOfALoadedMovieFillTheFilmstrip)
{
    const QString clip =
        QDir::temp().filePath(QStringLiteral("frmvid-shots-%1.mp4").arg(QCoreApplication::applicationPid()));
    ASSERT_TRUE(testmedia::RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                      QStringLiteral("testsrc2=s=320x240:r=25:d=1"), QStringLiteral("-f"),
                                      QStringLiteral("lavfi"), QStringLiteral("-i"),
                                      QStringLiteral("smptebars=s=320x240:r=25:d=1"), QStringLiteral("-filter_complex"),
                                      QStringLiteral("[0:v][1:v]concat=n=2:v=1[v]"), QStringLiteral("-map"),
                                      QStringLiteral("[v]"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                                      QStringLiteral("-preset"), QStringLiteral("veryfast"), clip}));
    window->show();
    player.info = MediaInfo{};
    player.info.durationMsec = 2000;
    player.info.secondsPerFrame = 0.04;
    player.info.width = 320;
    player.info.height = 240;
    panel.setFileText(clip);
    ASSERT_TRUE(panel.VidFileLoad(clip));
    Filmstrip* strip = window->filmstrip();
    ASSERT_NE(strip, nullptr);
    // The strip shows the analysis running at once, and its shots when it ends.
    EXPECT_FALSE(strip->isHidden());
    EXPECT_GE(strip->progress(), 0.0);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return strip->hasShots(); }, 60000));
    EXPECT_FALSE(strip->isHidden());
    EXPECT_LT(strip->progress(), 0.0);
    ASSERT_EQ(panel.shots().boundaries().size(), 1u);
    EXPECT_NEAR(panel.shots().boundaries()[0], 1000.0, 41.0);
    // Between the slider and the button frame.
    auto* slider = child<QSlider>("sliderVid");
    ASSERT_NE(slider, nullptr);
    EXPECT_GE(strip->geometry().top(), slider->geometry().bottom());
    EXPECT_LE(strip->geometry().bottom(), child<QWidget>("frameVid")->geometry().top());
    // A click three quarters along seeks there.
    const QPointF at(strip->width() * 0.75, 10);
    QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(strip, &press);
    EXPECT_NEAR(panel.slider().value, 1500, 40);

    auto* snap = child<QCheckBox>("chkShotSnap");
    ASSERT_NE(snap, nullptr);
    snap->click();
    EXPECT_TRUE(panel.shots().snap());
    QString stored;
    EXPECT_TRUE(testSettings().RegValueRead(QStringLiteral("video_shot_snap"), stored));
    EXPECT_EQ(stored, QStringLiteral("1"));
    snap->click();
    EXPECT_FALSE(panel.shots().snap());
    QFile::remove(clip);

    // A file the analysis cannot read: the strip stays, and says so once the analysis
    // gives up.
    const QString bad =
        QDir::temp().filePath(QStringLiteral("frmvid-noshots-%1.mp4").arg(QCoreApplication::applicationPid()));
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a movie");
    }
    panel.setFileText(bad);
    ASSERT_TRUE(panel.VidFileLoad(bad));
    EXPECT_FALSE(strip->hasShots());
    EXPECT_GE(strip->progress(), 0.0);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return strip->progress() < 0.0; }, 60000));
    EXPECT_FALSE(strip->isHidden());
    EXPECT_TRUE(strip->message().startsWith(QStringLiteral("ｼｮｯﾄ解析できません: "))) << strip->message().toStdString();
    EXPECT_TRUE(panel.shots().boundaries().empty());
    QFile::remove(bad);

    // A still after it: the strip goes.
    player.info = MediaInfo{};
    player.info.width = 320;
    player.info.height = 240;
    panel.setFileText(QStringLiteral("/media/pic.png"));
    ASSERT_TRUE(panel.VidFileLoad(QStringLiteral("/media/pic.png")));
    EXPECT_TRUE(strip->isHidden());
    EXPECT_FALSE(strip->hasShots());
}

// The viewing copy's making of the file in the panel shows beside the file box, which
// gives it room; another file's progress does not, and the bar goes when the copy is
// made or given up, or when another file comes into the panel.
TEST_F(FrmVidTest, TheViewingCopysProgressShowsBesideTheFileBoxForTheFileInThePanel)
{
    window->show();
    loadMovie();
    QProgressBar* bar = window->copyProgress();
    ASSERT_NE(bar, nullptr);
    auto* box = child<QLineEdit>("txtVidFile");
    auto* browse = child<QPushButton>("cmdFileLoad");
    EXPECT_TRUE(bar->isHidden());
    const int fullWidth = box->width();

    window->showCopyProgress(QStringLiteral("/media/other.mp4"), 0.3);
    EXPECT_TRUE(bar->isHidden());

    window->showCopyProgress(QStringLiteral("/media/a.mp4"), 0.42);
    ASSERT_FALSE(bar->isHidden());
    EXPECT_EQ(bar->value(), 42);
    EXPECT_EQ(bar->text(), QStringLiteral("表示用ｺﾋﾟｰ 42%"));
    // Between the box, now narrower, and the browse button, overlapping neither.
    EXPECT_LT(box->width(), fullWidth);
    EXPECT_GT(bar->geometry().left(), box->geometry().right());
    EXPECT_LT(bar->geometry().right(), browse->geometry().left());
    window->showCopyProgress(QStringLiteral("/media/a.mp4"), 0.9);
    EXPECT_EQ(bar->value(), 90);

    window->copyFinished(QStringLiteral("/media/other.mp4"));
    EXPECT_FALSE(bar->isHidden());
    window->copyFinished(QStringLiteral("/media/a.mp4"));
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(box->width(), fullWidth);

    // Shown again, then another file loaded: the bar goes with the file.
    window->showCopyProgress(QStringLiteral("/media/a.mp4"), 0.1);
    ASSERT_FALSE(bar->isHidden());
    panel.setFileText(QStringLiteral("/media/b.mp4"));
    panel.VidFileLoad(QStringLiteral("/media/b.mp4"));
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(box->width(), fullWidth);
}

} // namespace
} // namespace vk
