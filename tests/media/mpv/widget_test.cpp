// The player with a video widget in a headless session: the box draws in software, so
// what it shows can be checked here; a hidden box takes its pictures without holding
// the player up. And the media stack probe.
#include "media/mpv/mediastackversion.h"
#include "media/mpv/mpvengine.h"
#include "media/mpv/videowidget.h"
#include "tests/support/pump.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"

#include <QElapsedTimer>
#include <QImage>
#include <gtest/gtest.h>

#include <memory>

namespace {

using vk::MpvEngine;
using vk::VideoWidget;
using vk::testmedia::File;
using vk::testmedia::FrameNumber;
using vk::testsupport::Pump;
using vk::testsupport::PumpUntil;

class MediaWidgetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        vk::testsupport::HeadlessDefaults(false);
        vk::testsupport::EnsureGuiApp("media_tests");
    }
};

TEST_F(MediaWidgetTest, ProbeReportsAPlayableStack)
{
    EXPECT_GE(vk::DirectXProbe(), 0x800);
}

TEST_F(MediaWidgetTest, PlaysIntoAHiddenWidget)
{
    VideoWidget widget;
    MpvEngine engine;
    engine.SetVideoWindow(&widget);
    ASSERT_EQ(engine.Open(File(QStringLiteral("clip30.mp4"))), 0);
    engine.Play(0);
    engine.Pause(-1, 0);
    EXPECT_EQ(engine.GetState(), 1);
    engine.Pause(1000, 0);
    EXPECT_EQ(engine.GetPosition(), 1000);
    engine.Play(1000);
    Pump(500);
    EXPECT_GT(engine.GetPosition(), 1250);
    EXPECT_LT(engine.GetPosition(), 1800);
}

TEST_F(MediaWidgetTest, WidgetMayGoBeforeThePlayer)
{
    MpvEngine engine;
    auto widget = std::make_unique<VideoWidget>();
    engine.SetVideoWindow(widget.get());
    ASSERT_EQ(engine.Open(File(QStringLiteral("clip25.mp4"))), 0);
    engine.Play(0);
    Pump(100);
    widget.reset();
    Pump(100);
    EXPECT_EQ(engine.GetState(), 2);
    engine.SetVideoWindow(nullptr);
    engine.Pause(500, 0);
    EXPECT_EQ(engine.GetPosition(), 500);
}

TEST_F(MediaWidgetTest, PlayerMayGoBeforeTheWidget)
{
    VideoWidget widget;
    {
        MpvEngine engine;
        engine.SetVideoWindow(&widget);
        ASSERT_EQ(engine.Open(File(QStringLiteral("clip25.mp4"))), 0);
        engine.Play(0);
        Pump(100);
    }
    EXPECT_FALSE(widget.isDrawing());
    // Another player can take the widget over.
    MpvEngine other;
    other.SetVideoWindow(&widget);
    EXPECT_EQ(other.Open(File(QStringLiteral("still.png"))), 0);
    // Something that is not a video widget draws nowhere.
    QObject notAWidget;
    other.SetVideoWindow(&notAWidget);
    EXPECT_EQ(other.GetState(), 1);
}

// The frame on the box once the player has settled, -1 when it never shows `expected`
// (the number of the frame the player holds is checked too).
int ShownFrame(MpvEngine& engine, VideoWidget& box, int expected)
{
    EXPECT_TRUE(PumpUntil([&] { return engine.pictureSettled(); }, 20000));
    EXPECT_EQ(FrameNumber(engine.currentPicture()), expected);
    int shown = -1;
    PumpUntil(
        [&] {
            shown = FrameNumber(box.grab().toImage());
            return shown == expected;
        },
        20000);
    return shown;
}

TEST_F(MediaWidgetTest, BoxShowsTheFrameAtThePosition)
{
    VideoWidget box;
    box.resize(160, 120);
    box.show();
    // No drawer: black.
    EXPECT_EQ(box.grab().toImage().pixel(80, 60), qRgb(0, 0, 0));

    MpvEngine engine;
    engine.SetVideoWindow(&box);
    EXPECT_TRUE(box.isDrawing());
    ASSERT_EQ(engine.Open(File(QStringLiteral("frames25.mp4"))), 0);
    // Loaded as the panels do: the first frame.
    engine.Play(0);
    engine.Pause(-1, 0);
    EXPECT_EQ(ShownFrame(engine, box, engine.GetPosition() / 40), engine.GetPosition() / 40);
    // Paused seeks, a step forward and back, a position inside a frame (25 fps).
    for (int ms : {1320, 1360, 1400, 1359, 41, 0, 1999}) {
        engine.Pause(ms, 0);
        EXPECT_EQ(ShownFrame(engine, box, ms / 40), ms / 40) << "paused at " << ms;
    }
    // Played, then paused where it is.
    engine.Play(400);
    Pump(200);
    engine.Pause(-1, 0);
    const int here = engine.GetPosition();
    EXPECT_EQ(ShownFrame(engine, box, here / 40), here / 40) << "paused while running at " << here;
    // The same frame at another size.
    box.resize(64, 48);
    EXPECT_EQ(FrameNumber(box.grab().toImage()), here / 40);

    // Without the player the box is black again.
    engine.SetVideoWindow(nullptr);
    EXPECT_FALSE(box.isDrawing());
    EXPECT_EQ(box.grab().toImage().pixel(32, 24), qRgb(0, 0, 0));
}

} // namespace
