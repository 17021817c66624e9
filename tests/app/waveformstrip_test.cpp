// The waveform strip drawn offscreen (waveform, beat ticks, section lines and the play
// position at the expected columns), its seeking and zooming, and the beat assist's place
// in the main window: the strip under the slider and the edit menu's items.

#include "app/application.h"
#include "app/beatassist.h"
#include "app/frmmain.h"
#include "app/qsettingsstore.h"
#include "app/tapcalibration.h"
#include "app/waveformstrip.h"
#include "tests/support/dialoganswers.h"
#include "tests/support/fakeengine.h"
#include "timeline/editor.h"

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <cmath>

namespace vk {
namespace {

void ensureApp()
{
    static int argc = 1;
    static char name[] = "beats_strip_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QApplication(argc, argv);
}

// 4 s at 8 kHz: silence for the first two seconds, a loud tone for the last two.
std::shared_ptr<AudioAnalysis> halfLoud()
{
    auto a = std::make_shared<AudioAnalysis>();
    const int rate = 8000;
    std::vector<float> mono(size_t(rate * 4), 0.0f);
    for (size_t i = size_t(rate * 2); i < mono.size(); ++i)
        mono[i] = 0.9f * float(std::sin(2.0 * M_PI * 220.0 * double(i) / rate));
    a->sampleRate = rate;
    a->durationMs = 4000.0;
    a->peaks = WaveformPeaks::build(mono.data(), mono.size(), rate);
    return a;
}

bool isBackground(QRgb p)
{
    return qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) < 60;
}
bool isWave(QRgb p)
{
    return qBlue(p) > 180 && qRed(p) < 140;
}
bool isTick(QRgb p)
{
    return qRed(p) > 150 && qGreen(p) > 150 && qBlue(p) > 150;
}
bool isSection(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) > 120 && qGreen(p) < 210 && qBlue(p) < 100;
}
bool isPlay(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) < 100 && qBlue(p) < 100;
}

QImage draw(const WaveformStrip& strip, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    strip.render(p, image.rect());
    return image;
}

TEST(WaveformStrip, DrawsWaveformBeatsSectionsAndPositionWhereTheyBelong)
{
    ensureApp();
    WaveformStrip strip;
    strip.setAnalysis(halfLoud(), 4000.0);
    strip.setBeats({1000.0, 3000.0}, {1000.0});
    strip.setSectionStarts({500.0});
    strip.setPosition(2500.0, false);
    const int w = 400, h = 60;
    const QImage image = draw(strip, w, h);

    // Waveform: the loud half reaches towards the top; the silent half does not.
    int loud = 0, quiet = 0;
    for (int x = 210; x < 390; ++x) {
        if (x == 250 || x == 300)
            continue;
        loud += isWave(image.pixel(x, 12)) ? 1 : 0;
        quiet += isWave(image.pixel(x - 200, 12)) ? 1 : 0;
    }
    EXPECT_GT(loud, 150);
    EXPECT_EQ(quiet, 0);
    EXPECT_TRUE(isBackground(image.pixel(150, 12)));

    // Beat ticks at 1000 ms (x 100, a bar) and 3000 ms (x 300), rising from the bottom.
    EXPECT_TRUE(isTick(image.pixel(100, h - 3)));
    EXPECT_TRUE(isTick(image.pixel(300, h - 3)));
    EXPECT_FALSE(isTick(image.pixel(120, h - 3)));
    // A bar's tick is taller than a beat's.
    EXPECT_TRUE(isTick(image.pixel(100, h - 14)));
    EXPECT_FALSE(isTick(image.pixel(300, h - 14)));
    // The ticks sit in a lane of their own: the loud waveform does not reach it.
    EXPECT_FALSE(isWave(image.pixel(350, h - 2)));
    // The section start at 500 ms (x 50) and the play position at 2500 ms (x 250).
    EXPECT_TRUE(isSection(image.pixel(50, 5)));
    EXPECT_TRUE(isSection(image.pixel(50, 30)));
    EXPECT_TRUE(isPlay(image.pixel(250, 30)));
    EXPECT_FALSE(isSection(image.pixel(60, 5)));
    EXPECT_NEAR(strip.tempo(), 30.0, 1e-9); // two beats 2 s apart

    // Zoomed to 2..4 s: the beat at 3000 moves to the middle.
    strip.setView(2000.0, 4000.0);
    const QImage zoomed = draw(strip, w, h);
    EXPECT_TRUE(isTick(zoomed.pixel(200, h - 3)));
    EXPECT_FALSE(isTick(zoomed.pixel(300, h - 3)));
}

TEST(WaveformStrip, ClickSeeksWheelZoomsAroundTheMouseAndPlayFollows)
{
    ensureApp();
    WaveformStrip strip;
    strip.resize(400, 50);
    strip.setAnalysis(halfLoud(), 4000.0);
    QSignalSpy seeks(&strip, &WaveformStrip::seekRequested);
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(100, 20));
    ASSERT_EQ(seeks.size(), 1);
    EXPECT_NEAR(seeks.front().front().toDouble(), 1000.0, 1e-6);

    // Zoom in with the mouse at x 300 (3000 ms): 3000 ms stays under the mouse.
    QWheelEvent wheel(QPointF(300, 20), QPointF(300, 20), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&strip, &wheel);
    EXPECT_LT(strip.viewTo() - strip.viewFrom(), 4000.0);
    EXPECT_NEAR(strip.msAt(300, 400), 3000.0, 1e-6);

    // While playing, a position past the view brings the view along; paused it does not.
    strip.setView(0.0, 1000.0);
    strip.setPosition(2500.0, false);
    EXPECT_EQ(strip.viewFrom(), 0.0);
    strip.setPosition(2600.0, true);
    EXPECT_LE(strip.viewFrom(), 2600.0);
    EXPECT_GT(strip.viewTo(), 2600.0);
    EXPECT_NEAR(strip.viewTo() - strip.viewFrom(), 1000.0, 1e-6);
}

TEST(BeatAssistWindow, StripSitsUnderTheSliderAndTheEditMenuHasTheItems)
{
    ensureApp();
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"))
        .clear();
    Application app([] { return std::make_unique<FakeEngine>(); }, [] { return 0x900; }, {});
    frmMain& window = app.mainWindow();
    app.start();
    QApplication::processEvents();

    auto* snap = window.findChild<QAction*>(QStringLiteral("mnuBeatSnap"));
    auto* split = window.findChild<QAction*>(QStringLiteral("mnuBeatSplit"));
    auto* calibrate = window.findChild<QAction*>(QStringLiteral("mnuTapCalibrate"));
    ASSERT_NE(snap, nullptr);
    ASSERT_NE(split, nullptr);
    ASSERT_NE(calibrate, nullptr);
    EXPECT_EQ(snap->text(), QStringLiteral("ビートに吸着(&B)"));
    EXPECT_TRUE(snap->isCheckable());
    EXPECT_FALSE(snap->isChecked());
    EXPECT_EQ(split->text(), QStringLiteral("ビートで区間分割(&T)"));
    auto* edit = window.findChild<QMenu*>(QStringLiteral("mnuEdit"));
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->actions().contains(snap));
    EXPECT_TRUE(edit->actions().contains(split));
    EXPECT_TRUE(edit->actions().contains(calibrate));

    auto* slider = window.control<QSlider>("sliderSnd");
    auto* strip = window.findChild<WaveformStrip*>(QStringLiteral("waveformStrip"));
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->y(), slider->y() + slider->height());
    EXPECT_EQ(strip->width(), slider->width());
    // Nothing below the slider overlaps the strip.
    for (const char* name : {"BtnUndo", "btnSndDel", "frameSave", "Grid", "lblMsg"}) {
        auto* w = window.control<QWidget>(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_GE(w->y(), strip->y() + strip->height()) << name;
    }
    // The strip keeps the slider's width when the window grows.
    window.resize(window.width() + 120, window.height() + 50);
    QApplication::processEvents();
    EXPECT_EQ(strip->width(), slider->width());

    // The check item is the setting.
    snap->trigger();
    QString text;
    EXPECT_TRUE(QSettingsStore().RegValueRead(QStringLiteral("beat_snap"), text));
    EXPECT_EQ(text, QStringLiteral("1"));
    window.editor().setModified(false);
    window.close();
}

TEST(BeatAssistWindow, EachBeatItemIsReachedWithAltEAndItsLetter)
{
    ensureApp();
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"))
        .clear();
    Application app([] { return std::make_unique<FakeEngine>(); }, [] { return 0x900; }, {});
    frmMain& window = app.mainWindow();
    app.start();
    // The split without a sound clip says so in a message box, which this answers.
    testsupport::DialogAnswers answers{QString()};
    auto* edit = window.findChild<QMenu*>(QStringLiteral("mnuEdit"));
    ASSERT_NE(edit, nullptr);

    const struct {
        const char* name;
        Qt::Key letter;
    } items[] = {{"mnuBeatSnap", Qt::Key_B}, {"mnuBeatSplit", Qt::Key_T}, {"mnuTapCalibrate", Qt::Key_M}};
    for (const auto& item : items) {
        auto* action = window.findChild<QAction*>(QString::fromLatin1(item.name));
        ASSERT_NE(action, nullptr) << item.name;
        QSignalSpy triggered(action, &QAction::triggered);
        // The keys go to the active window (a message box before may have had it).
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window)) << item.name;
        QTest::keyClick(&window, Qt::Key_E, Qt::AltModifier);
        QApplication::processEvents();
        ASSERT_EQ(QApplication::activePopupWidget(), edit) << item.name;
        // A letter that two items of the menu shared would only move the highlight.
        QTest::keyClick(edit, item.letter);
        QApplication::processEvents();
        EXPECT_EQ(triggered.count(), 1) << item.name;
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << item.name;
    }
    EXPECT_TRUE(window.findChild<QAction*>(QStringLiteral("mnuBeatSnap"))->isChecked());
    auto* calibration = window.findChild<TapCalibration*>();
    ASSERT_NE(calibration, nullptr);
    calibration->close();
    window.editor().setModified(false);
    window.close();
}

} // namespace
} // namespace vk
