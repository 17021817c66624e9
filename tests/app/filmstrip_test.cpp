// The filmstrip drawn offscreen: thumbnails, boundary marks, the gradual span and the
// position where they belong; a click seeks; the wheel zooms around the mouse.

#include "app/filmstrip.h"
#include "tests/support/testapp.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace vk {
namespace {

ShotAnalysis twoShots()
{
    // 10 s at 25 fps: a red shot to 4 s, a fade 4.0-4.4 s, a blue shot after it.
    ShotAnalysis a;
    a.fps = 25.0;
    a.frames = 250;
    a.durationMs = 10000.0;
    a.transitions.push_back({100, 109});
    Shot s1;
    s1.firstFrame = 0;
    s1.lastFrame = 99;
    s1.startMs = 0;
    s1.endMs = 4000;
    Shot s2;
    s2.firstFrame = 110;
    s2.lastFrame = 249;
    s2.startMs = 4400;
    s2.endMs = 10000;
    a.shots = {s1, s2};
    QImage red(96, 54, QImage::Format_RGB888);
    red.fill(QColor(200, 0, 0));
    QImage blue(96, 54, QImage::Format_RGB888);
    blue.fill(QColor(0, 0, 200));
    a.thumbs = {{0, 0.0, red}, {50, 2000.0, red}, {110, 4400.0, blue}, {200, 8000.0, blue}};
    return a;
}

class FilmstripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::EnsureGuiApp("filmstrip_test"); }
};

TEST_F(FilmstripTest, DrawsThumbnailsMarksAndPosition)
{
    Filmstrip strip;
    strip.resize(1000, Filmstrip::kHeight);
    strip.setShots(twoShots());
    strip.setPosition(7000.0);
    QImage img(1000, Filmstrip::kHeight, QImage::Format_RGB32);
    QPainter p(&img);
    strip.render(p, img.rect());
    p.end();
    const int y = Filmstrip::kHeight / 2;
    // Red thumbnails at the start, blue ones late.
    EXPECT_GT(qRed(img.pixel(20, y)), 150);
    EXPECT_LT(qBlue(img.pixel(20, y)), 50);
    EXPECT_GT(qBlue(img.pixel(900, y)), 150);
    // The boundary (the second shot's start, 4.4 s) is marked at its column.
    EXPECT_EQ(img.pixel(440, y), Filmstrip::kMarkColour);
    // The position line.
    EXPECT_EQ(img.pixel(700, y), Filmstrip::kPositionColour);
    EXPECT_NE(img.pixel(650, y), Filmstrip::kPositionColour);
    // Nothing given: an empty strip.
    strip.clear();
    QImage empty(200, Filmstrip::kHeight, QImage::Format_RGB32);
    QPainter q(&empty);
    strip.render(q, empty.rect());
    q.end();
    EXPECT_EQ(empty.pixel(100, y), empty.pixel(10, y));

    // While the analysis runs, a bar along the bottom shows its share done; the shots
    // end it.
    strip.setProgress(0.25);
    QImage running(200, Filmstrip::kHeight, QImage::Format_RGB32);
    QPainter r(&running);
    strip.render(r, running.rect());
    r.end();
    const int bottom = Filmstrip::kHeight - 2;
    EXPECT_EQ(running.pixel(40, bottom), Filmstrip::kMarkColour);
    EXPECT_NE(running.pixel(60, bottom), Filmstrip::kMarkColour);
    strip.clear();
    EXPECT_LT(strip.progress(), 0.0);
}

TEST_F(FilmstripTest, ClickSeeksAndWheelZoomsAroundTheMouse)
{
    Filmstrip strip;
    strip.resize(1000, Filmstrip::kHeight);
    strip.setShots(twoShots());
    double sought = -1.0;
    QObject::connect(&strip, &Filmstrip::seekRequested, [&](double ms) { sought = ms; });
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(250, 10), QPointF(250, 10), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&strip, &press);
    EXPECT_NEAR(sought, 2500.0, 1.0);

    // One notch in at column 250 (2.5 s): a narrower view that keeps 2.5 s under the mouse.
    QWheelEvent wheel(QPointF(250, 10), QPointF(250, 10), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&strip, &wheel);
    EXPECT_LT(strip.viewTo() - strip.viewFrom(), 10000.0);
    EXPECT_NEAR(strip.msAt(250, 1000), 2500.0, 1.0);
    // Far out again: the whole movie, no further.
    for (int i = 0; i < 10; ++i) {
        QWheelEvent out(QPointF(250, 10), QPointF(250, 10), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&strip, &out);
    }
    EXPECT_DOUBLE_EQ(strip.viewFrom(), 0.0);
    EXPECT_DOUBLE_EQ(strip.viewTo(), 10000.0);
}

} // namespace
} // namespace vk
