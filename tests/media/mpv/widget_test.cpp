// The player with a video widget in a headless session (the widget never gets a GL
// context here, so the player must play without drawing), and the media stack probe.
#include "media/mpv/mediastackversion.h"
#include "media/mpv/mpvengine.h"
#include "media/mpv/videowidget.h"
#include "tests/support/pump.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

using vk::MpvEngine;
using vk::VideoWidget;
using vk::testmedia::File;
using vk::testsupport::Pump;

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

TEST_F(MediaWidgetTest, PlaysIntoAWidgetThatCannotDrawYet)
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

} // namespace
