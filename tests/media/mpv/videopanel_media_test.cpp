// The video registration panel on the real player with media generated at test time:
// a 25 fps clip, a PNG still and a sound-only file, loaded and registered.
#include "base/numbers.h"
#include "media/mpv/mpvengine.h"
#include "media/videopanel.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace vk {
namespace {

using testmedia::Generate;
using testsupport::Pump;

class VideoPanelMediaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testsupport::HeadlessDefaults(true);
        testsupport::EnsureCoreApp("panels_video_media_tests");
        s_dir = new QTemporaryDir;
        ASSERT_TRUE(s_dir->isValid());
        auto l = [](const char* s) { return QString::fromLatin1(s); };
        ASSERT_TRUE(Generate({l("-f"), l("lavfi"), l("-i"), l("testsrc=size=176x144:rate=25:duration=2"), l("-c:v"),
                              l("libx264"), l("-preset"), l("ultrafast"), l("-pix_fmt"), l("yuv420p")},
                             path("clip25.mp4")));
        // Frame N is a flat grey of luma 16 + 4N, losslessly coded.
        ASSERT_TRUE(Generate({l("-f"), l("lavfi"), l("-i"), l("color=c=black:size=64x48:rate=25:duration=2"), l("-vf"),
                              l("geq=lum='16+4*N':cb=128:cr=128"), l("-c:v"), l("libx264"), l("-preset"),
                              l("ultrafast"), l("-qp"), l("0"), l("-pix_fmt"), l("yuv420p")},
                             path("frames25.mp4")));
        ASSERT_TRUE(Generate({l("-f"), l("lavfi"), l("-i"), l("testsrc=size=320x240:rate=1"), l("-frames:v"), l("1")},
                             path("still.png")));
        ASSERT_TRUE(Generate({l("-f"), l("lavfi"), l("-i"), l("sine=frequency=440:sample_rate=44100:duration=1"),
                              l("-c:a"), l("pcm_s16le")},
                             path("tone.wav")));
    }

    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

    static QString path(const char* name) { return s_dir->filePath(QString::fromLatin1(name)); }

    void SetUp() override
    {
        MakeSections(editor, {0, 1000, 2000}, 3000, 33);
        editor.selection().SelectRow(1);
        panel.formLoad();
    }

    bool load(const QString& file)
    {
        panel.setFileText(file);
        return panel.VidFileLoad(file);
    }

    // The number of the frame the player shows, once its picture has settled.
    int shownFrame()
    {
        QElapsedTimer t;
        t.start();
        while (!player.pictureSettled() && t.elapsed() < 20000)
            Pump(5);
        EXPECT_TRUE(player.pictureSettled());
        const QImage picture = player.currentPicture();
        if (picture.isNull())
            return -1;
        const double luma = 16.0 + qGreen(picture.pixel(picture.width() / 2, picture.height() / 2)) * 219.0 / 255.0;
        return int(std::lround((luma - 16.0) / 4.0));
    }

    // The frame the position fields show (25 fps).
    int fieldsFrame() const
    {
        return ((panel.hourText().toInt() * 60 + panel.minuteText().toInt()) * 60 + panel.secondText().toInt()) * 25 +
               panel.frameText().toInt();
    }

    static QTemporaryDir* s_dir;
    ScriptedUi ui;
    Editor editor{ui};
    MpvEngine player;
    VideoPanel panel{editor, player};
};

QTemporaryDir* VideoPanelMediaTest::s_dir = nullptr;

TEST_F(VideoPanelMediaTest, ClipAndStillAreLoadedAndRegistered)
{
    ASSERT_TRUE(load(path("clip25.mp4")));
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(panel.frameInterval(), 40);
    EXPECT_NEAR(panel.videoLength(), 2000, 40);
    EXPECT_EQ(panel.pictureSize(), QSize(176, 144));
    EXPECT_FALSE(panel.isStill());
    EXPECT_EQ(panel.slider().max, panel.videoLength());
    EXPECT_EQ(player.GetState(), MediaPlayerEngine::Paused);
    EXPECT_EQ(player.GetPosition(), 0);

    // Mark 480..1480 with the keys' commands; the paused player lands on the exact point.
    panel.scrollTo(480);
    EXPECT_EQ(player.GetPosition(), 480);
    panel.selStart();
    panel.scrollTo(1480);
    panel.selEnd();
    EXPECT_EQ(player.GetPosition(), 1480);
    EXPECT_EQ(panel.rangeText(), QStringLiteral("区間長=1000ms"));
    panel.VidRegister();
    EXPECT_EQ(editor.Grid().videoFile(1), path("clip25.mp4"));
    EXPECT_EQ(CellText(editor.Grid(), 1, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:12"));
    EXPECT_EQ(CellText(editor.Grid(), 1, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:12"));
    EXPECT_EQ(editor.Grid().frameInterval(1), 40);
    EXPECT_EQ(editor.Grid().mediaSize(1).value_or(MediaSize{}).width, 176);
    EXPECT_EQ(editor.Grid().mediaSize(1).value_or(MediaSize{}).height, 144);
    EXPECT_EQ(editor.Grid().speedText(1, editor.sndLength()), QStringLiteral("1x"));

    ASSERT_TRUE(load(path("still.png")));
    EXPECT_TRUE(panel.isStill());
    EXPECT_EQ(panel.pictureSize(), QSize(320, 240));
    EXPECT_FALSE(panel.controls().sliderVisible);
    panel.VidRegister();
    EXPECT_EQ(editor.Grid().videoFile(2), path("still.png"));
    EXPECT_EQ(CellText(editor.Grid(), 2, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:00"));
    EXPECT_EQ(CellText(editor.Grid(), 2, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:00"));
    EXPECT_EQ(editor.Grid().mediaSize(2).value_or(MediaSize{}).width, 320);
    EXPECT_EQ(editor.Grid().mediaSize(2).value_or(MediaSize{}).height, 240);
    EXPECT_EQ(editor.Grid().currentRow, 3);
    EXPECT_TRUE(TableInvariants(editor));

    // Row selection loads the clip again at its in point.
    panel.ShowRowVideo(1);
    EXPECT_FALSE(panel.isStill());
    EXPECT_EQ(panel.slider().selStart, 480);
    EXPECT_EQ(panel.slider().selLength, 1000);
    EXPECT_EQ(player.GetPosition(), 480);
    EXPECT_EQ(panel.rangeText(), QStringLiteral("選択=1000ms"));
}

TEST_F(VideoPanelMediaTest, SoundOnlyFileIsRefused)
{
    ASSERT_TRUE(load(path("clip25.mp4")));
    EXPECT_FALSE(load(path("tone.wav")));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text,
              path("tone.wav") +
                  QStringLiteral("\n入力ファイル形式が正しくありません。動画または静止画ファイルを指定してください。"));
    EXPECT_EQ(panel.pictureSize(), QSize(176, 144));
    EXPECT_TRUE(panel.controls().sliderVisible);
}

TEST_F(VideoPanelMediaTest, PlayingMovesTheSliderAndPauseHolds)
{
    ASSERT_TRUE(load(path("clip25.mp4")));
    panel.PlayPause();
    ASSERT_TRUE(panel.timerActive());
    Pump(400);
    EXPECT_GT(panel.slider().value, 100);
    panel.PlayPause();
    EXPECT_FALSE(panel.timerActive());
    const int held = panel.position();
    Pump(150);
    EXPECT_EQ(player.GetState(), MediaPlayerEngine::Paused);
    EXPECT_NEAR(player.GetPosition(), held, 1);
}

TEST_F(VideoPanelMediaTest, PictureIsTheFrameAtTheShownPosition)
{
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(load(path("frames25.mp4")));
        EXPECT_EQ(panel.position(), 0);
        EXPECT_EQ(player.GetPosition(), 0);
        EXPECT_EQ(shownFrame(), 0) << "after loading, round " << round;
    }
    panel.showVidPosition(panel.slider().value);

    // Played and paused.
    for (int round = 0; round < 3; ++round) {
        panel.PlayPause();
        ASSERT_TRUE(panel.timerActive());
        QElapsedTimer t;
        t.start();
        const int from = panel.position();
        while (panel.position() < from + 200 + 37 * round && t.elapsed() < 20000)
            Pump(5);
        panel.PlayPause();
        EXPECT_EQ(player.GetPosition(), panel.position());
        EXPECT_EQ(shownFrame(), fieldsFrame()) << "paused at " << panel.position();
    }

    // Steps of a hundredth of the length (20 ms, half a frame) either way, and frames.
    for (Key key : {Key::Right, Key::Right, Key::Right, Key::Left, Key::Left, Key::Down, Key::Up, Key::Left}) {
        panel.keyCommand(key, 0);
        EXPECT_EQ(player.GetPosition(), panel.position());
        EXPECT_EQ(shownFrame(), fieldsFrame()) << "key " << int(key) << " to " << panel.position();
    }

    // Clicks on the slider (a press and a release at one point).
    for (int x : {1000, 2345, 3100, 517}) {
        panel.sliderMouseDown(x, 50);
        panel.sliderMouseUp(x, 50, 4400);
        EXPECT_EQ(player.GetPosition(), panel.position());
        EXPECT_EQ(shownFrame(), fieldsFrame()) << "click at " << x << " to " << panel.position();
    }
}

} // namespace
} // namespace vk
