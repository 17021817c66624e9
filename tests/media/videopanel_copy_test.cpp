// The video panel's viewing copies on the scripted players: a copy that becomes ready is
// opened by the second player beside the original and takes its place while the panel is
// paused, so that no seek or step after it loads a file.
#include "media/proxycache.h"
#include "media/proxymaker.h"
#include "media/proxyplayer.h"
#include "media/videopanel.h"
#include "tests/support/fakeengine.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vk {
namespace {

using testsupport::PumpUntil;

// Writes a small file for every copy asked of it.
class QuickMaker final : public ProxyMaker {
public:
    bool make(const QString&, const QString& target, MediaInfo& original, const Progress& progress,
              QString& error) override
    {
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly) || out.write("copy") != 4) {
            error = QStringLiteral("cannot write");
            return false;
        }
        original.durationMsec = 10000;
        original.width = 1920;
        original.height = 1080;
        original.secondsPerFrame = 0.04;
        return progress(1.0);
    }
};

class VideoPanelCopyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::EnsureCoreApp("panels_video_tests"); }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        MakeSections(editor, {0, 1000, 2000, 3000}, 5000, 33);
        editor.selection().SelectRow(1);
        for (FakeEngine* e : {&first, &second}) {
            e->info.durationMsec = 10000;
            e->info.secondsPerFrame = 0.04;
            e->info.width = 1920;
            e->info.height = 1080;
        }
        panel.setVideoWindow(&box);
        panel.formLoad();
    }

    QString clip(const char* name)
    {
        const QString path = dir.filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("frames of ") + name);
        return path;
    }

    bool load(const QString& path)
    {
        panel.setFileText(path);
        return panel.VidFileLoad(path);
    }

    static QStringList opens(const FakeEngine& e) { return e.callsStartingWith(QStringLiteral("Open")); }

    QTemporaryDir dir;
    QuickMaker maker;
    ProxyCache cache{dir.filePath(QStringLiteral("proxies")), ProxyCache::kDefaultLimitBytes, maker,
                     ProxyCache::Priority::Normal};
    FakeEngine first;
    FakeEngine second;
    ProxyPlayer player{first, second, cache};
    ScriptedUi ui;
    Editor editor{ui};
    VideoPanel panel{editor, player};
    QObject box;
};

TEST_F(VideoPanelCopyTest, CopyTakesThePlaceOfThePausedOriginalBeforeAnyMove)
{
    const QString file = clip("clip.mp4");
    ASSERT_TRUE(load(file));
    EXPECT_EQ(first.openedPath, file);
    panel.scrollTo(720);
    // Ready: the second player opens it beside the original and comes to the front at the
    // panel's position, with the video window, while nothing is asked of the panel.
    ASSERT_TRUE(PumpUntil([&] { return player.showingCopy(); }, 20000));
    const auto copy = cache.readyCopy(file);
    ASSERT_TRUE(copy.has_value());
    EXPECT_EQ(second.openedPath, copy->path);
    EXPECT_EQ(&player.player(), &second);
    EXPECT_EQ(second.state, MediaPlayerEngine::Paused);
    EXPECT_EQ(second.position, 720);
    EXPECT_EQ(second.videoWindow, &box);
    EXPECT_EQ(first.videoWindow, nullptr);
    EXPECT_EQ(first.calls.last(), QStringLiteral("Close")) << "the original is let go";
    EXPECT_EQ(panel.position(), 720);

    // A seek and the step after it, a step after a slider click: no file is loaded,
    // and the moves reach the copy.
    first.clearCalls();
    second.clearCalls();
    panel.scrollTo(4000);
    panel.keyCommand(Key::Right, 0);
    panel.sliderMouseDown(2000, 50);
    panel.sliderMouseUp(2000, 50, 4400);
    const int clicked = panel.position();
    panel.keyCommand(Key::Left, 0);
    EXPECT_TRUE(opens(first).isEmpty() && opens(second).isEmpty())
        << qPrintable((first.calls + second.calls).join(u' '));
    EXPECT_TRUE(first.calls.isEmpty()) << qPrintable(first.calls.join(u' '));
    EXPECT_TRUE(second.calls.contains(QStringLiteral("Pause(4000,0)")));
    EXPECT_TRUE(second.calls.contains(QStringLiteral("Pause(%1,0)").arg(clicked)));
    EXPECT_EQ(second.position, panel.position());
    // The panel shows and registers the original's facts.
    EXPECT_EQ(panel.pictureSize(), QSize(1920, 1080));
    panel.VidRegister();
    EXPECT_EQ(editor.Grid().videoFile(1), file);
}

TEST_F(VideoPanelCopyTest, CopyReadyWhilePlayingWaitsBesideItForThePause)
{
    cache.setPaused(true);
    const QString file = clip("playing.mp4");
    ASSERT_TRUE(load(file));
    panel.scrollTo(1000);
    panel.PlayPause();
    ASSERT_EQ(first.state, MediaPlayerEngine::Running);
    cache.setPaused(false);
    ASSERT_TRUE(PumpUntil([&] { return player.copyWaiting(); }, 20000));
    // Open beside the playing original, which plays on with the window.
    EXPECT_FALSE(player.showingCopy());
    EXPECT_EQ(&player.player(), &first);
    EXPECT_EQ(first.state, MediaPlayerEngine::Running);
    EXPECT_EQ(first.videoWindow, &box);
    EXPECT_EQ(second.videoWindow, nullptr);
    // Paused: the copy comes to the front where the play stopped, before the next move.
    panel.PlayPause();
    const int stopped = panel.position();
    ASSERT_TRUE(PumpUntil([&] { return player.showingCopy(); }, 20000));
    EXPECT_EQ(second.position, stopped);
    EXPECT_EQ(second.videoWindow, &box);
    second.clearCalls();
    panel.keyCommand(Key::Right, 0);
    EXPECT_TRUE(opens(second).isEmpty());
}

} // namespace
} // namespace vk
