// The viewing copies of the video panel: the panel on the real player shows exactly the
// frame at its position both from the original and from the copy, after a load, a
// pause, steps, slider clicks and a row selection; a copy that cannot be made leaves
// the original with a note; the cache keeps to its size limit and never gives out the
// copy of a file that has changed since.
#include "media/mpv/ffmpegproxymaker.h"
#include "media/mpv/mpvengine.h"
#include "media/proxycache.h"
#include "media/proxymaker.h"
#include "media/proxyplayer.h"
#include "media/videopanel.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"
#include "timeline/rowselection.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace vk {
namespace {

using testmedia::Generate;
using testsupport::Pump;
using testsupport::PumpUntil;

QTemporaryDir* s_dir = nullptr;

QString mediaPath(const char* name)
{
    return s_dir->filePath(QString::fromLatin1(name));
}

// Frame N of the frame-coded clips is a flat grey of luma 16 + 4N.
QStringList frameCoded(const char* size, const QStringList& codec)
{
    auto l = [](const char* s) { return QString::fromLatin1(s); };
    return QStringList{l("-f"),  l("lavfi"),
                       l("-i"),  QStringLiteral("color=c=black:size=%1:rate=25:duration=2").arg(QLatin1String(size)),
                       l("-vf"), l("geq=lum='16+4*N':cb=128:cr=128")} +
           codec;
}

class ProxyEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        testsupport::HeadlessDefaults(true);
        testsupport::EnsureCoreApp("media_proxy_tests");
        s_dir = new QTemporaryDir;
        ASSERT_TRUE(s_dir->isValid());
        auto l = [](const char* s) { return QString::fromLatin1(s); };
        // The clip every test reuses, losslessly coded; and the same frames as long-GOP
        // H.264 with B-frames at 1280x720, as cameras record.
        ASSERT_TRUE(Generate(frameCoded("64x48", {l("-c:v"), l("libx264"), l("-preset"), l("ultrafast"), l("-qp"),
                                                  l("0"), l("-pix_fmt"), l("yuv420p")}),
                             mediaPath("frames25.mp4")));
        ASSERT_TRUE(
            Generate(frameCoded("1280x720", {l("-c:v"), l("libx264"), l("-preset"), l("veryfast"), l("-g"), l("50"),
                                             l("-bf"), l("3"), l("-crf"), l("10"), l("-pix_fmt"), l("yuv420p")}),
                     mediaPath("frames25-gop.mp4")));
        // A clip with sound: the copy keeps it.
        ASSERT_TRUE(
            Generate({l("-f"), l("lavfi"), l("-i"), l("testsrc=size=176x144:rate=25:duration=2"), l("-f"), l("lavfi"),
                      l("-i"), l("sine=frequency=440:duration=2"), l("-c:v"), l("libx264"), l("-preset"),
                      l("ultrafast"), l("-c:a"), l("aac"), l("-shortest"), l("-pix_fmt"), l("yuv420p")},
                     mediaPath("clip25.mp4")));
        // Damaged past its middle: the index (at the front) promises frames that are not there.
        ASSERT_TRUE(
            Generate(frameCoded("320x240", {l("-c:v"), l("libx264"), l("-preset"), l("ultrafast"), l("-g"), l("10"),
                                            l("-movflags"), l("+faststart"), l("-pix_fmt"), l("yuv420p")}),
                     mediaPath("damaged.mp4")));
        QFile damaged(mediaPath("damaged.mp4"));
        ASSERT_TRUE(damaged.resize(damaged.size() * 5 / 10));
    }
    void TearDown() override
    {
        delete s_dir;
        s_dir = nullptr;
    }
};

const auto* const s_environment = ::testing::AddGlobalTestEnvironment(new ProxyEnvironment);

class ProxyPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(cacheDir.isValid());
        MakeSections(editor, {0, 500, 1000, 1500}, 2000, 40);
        editor.selection().SelectRow(1);
        panel.formLoad();
    }

    bool load(const QString& file)
    {
        panel.setFileText(file);
        return panel.VidFileLoad(file);
    }

    // Makes the copy of `file` and waits for it.
    void makeCopy(const QString& file)
    {
        cache.request(file);
        ASSERT_TRUE(PumpUntil([&] { return !cache.busy(); }, 60000));
        ASSERT_TRUE(cache.readyCopy(file).has_value()) << qPrintable(file);
    }

    // The player in front: the two take turns when a copy becomes ready.
    MpvEngine& engine() { return static_cast<MpvEngine&>(player.player()); }

    // The number of the frame the player shows, once its picture has settled.
    int shownFrame()
    {
        EXPECT_TRUE(PumpUntil([&] { return engine().pictureSettled(); }, 20000));
        return testmedia::FrameNumber(engine().currentPicture());
    }

    // The frame of the panel's position (25 fps).
    int positionFrame() const { return int(std::floor(panel.position() / 40.0 + 1e-6)); }

    // Load, pause after playing, steps, slider clicks and row selections: each shows
    // the frame at the panel's position, and the player is where the panel is.
    void expectFramesAtThePosition(const QString& file, bool fromCopy)
    {
        ASSERT_TRUE(load(file));
        EXPECT_EQ(player.showingCopy(), fromCopy);
        EXPECT_EQ(panel.position(), 0);
        EXPECT_EQ(shownFrame(), 0) << "after loading";

        for (int round = 0; round < 2; ++round) {
            panel.PlayPause();
            ASSERT_TRUE(panel.timerActive());
            const int from = panel.position();
            PumpUntil([&] { return panel.position() >= from + 200 + 37 * round; }, 20000);
            panel.PlayPause();
            EXPECT_EQ(player.GetPosition(), panel.position());
            EXPECT_EQ(shownFrame(), positionFrame()) << "paused at " << panel.position();
        }

        for (Key key : {Key::Right, Key::Right, Key::Right, Key::Left, Key::Left, Key::Down, Key::Up, Key::Left}) {
            panel.keyCommand(key, 0);
            EXPECT_EQ(player.GetPosition(), panel.position());
            EXPECT_EQ(shownFrame(), positionFrame()) << "key " << int(key) << " to " << panel.position();
        }

        for (int x : {1000, 2345, 3100, 517}) {
            panel.sliderMouseDown(x, 50);
            panel.sliderMouseUp(x, 50, 4400);
            EXPECT_EQ(player.GetPosition(), panel.position());
            EXPECT_EQ(shownFrame(), positionFrame()) << "click at " << x << " to " << panel.position();
        }

        Register(editor, 1, file, 480, 1480, 40, 1280, 720);
        Register(editor, 2, file, 1360, 1800, 40, 1280, 720);
        for (int row : {1, 2, 1}) {
            editor.selection().SelectRow(row);
            panel.ShowRowVideo(row);
            EXPECT_EQ(player.showingCopy(), fromCopy);
            EXPECT_EQ(panel.position(), row == 1 ? 480 : 1360);
            EXPECT_EQ(shownFrame(), positionFrame()) << "row " << row;
        }
        EXPECT_EQ(player.showingCopy(), fromCopy);
    }

    QTemporaryDir cacheDir;
    FfmpegProxyMaker maker;
    // At normal priority: at idle priority the copies wait for whatever else the machine runs.
    ProxyCache cache{cacheDir.filePath(QStringLiteral("proxies")), ProxyCache::kDefaultLimitBytes, maker,
                     ProxyCache::Priority::Normal};
    ScriptedUi ui;
    Editor editor{ui};
    MpvEngine first;
    MpvEngine second;
    ProxyPlayer player{first, second, cache};
    VideoPanel panel{editor, player};
};

TEST_F(ProxyPanelTest, OriginalShowsTheFrameAtThePosition)
{
    // The copy waits while the sound plays: until then the panel shows the original.
    cache.setPaused(true);
    expectFramesAtThePosition(mediaPath("frames25.mp4"), false);
    expectFramesAtThePosition(mediaPath("frames25-gop.mp4"), false);
}

TEST_F(ProxyPanelTest, CopyShowsTheFrameAtThePosition)
{
    makeCopy(mediaPath("frames25.mp4"));
    expectFramesAtThePosition(mediaPath("frames25.mp4"), true);
    makeCopy(mediaPath("frames25-gop.mp4"));
    expectFramesAtThePosition(mediaPath("frames25-gop.mp4"), true);
    // What the panel shows and registers is the original's, not the copy's.
    EXPECT_EQ(panel.pictureSize(), QSize(1280, 720));
    EXPECT_EQ(panel.frameInterval(), 40);
    EXPECT_NEAR(panel.videoLength(), 2000, 40);
    panel.VidRegister();
    EXPECT_EQ(editor.Grid().videoFile(1), mediaPath("frames25-gop.mp4"));
    EXPECT_EQ(editor.Grid().mediaSize(1).value_or(MediaSize{}).width, 1280);
    // The copy is small and every frame of it a key frame.
    const auto copy = cache.readyCopy(mediaPath("frames25-gop.mp4"));
    ASSERT_TRUE(copy.has_value());
    MediaInfo info;
    MpvEngine probe;
    ASSERT_EQ(probe.Open(copy->path), 0);
    ASSERT_EQ(probe.GetMediaInfo(info), 0);
    EXPECT_EQ(QSize(info.width, info.height), QSize(640, 360));
}

TEST_F(ProxyPanelTest, CopyIsTakenWhilePausedAndKeepsTheSound)
{
    ASSERT_TRUE(load(mediaPath("clip25.mp4")));
    EXPECT_FALSE(player.showingCopy());
    const int length = panel.videoLength();
    panel.scrollTo(720);
    // Asked for at the load; once ready, opened beside the original and put in its place
    // while the panel is paused, where the panel is, before any step.
    ASSERT_TRUE(PumpUntil([&] { return player.showingCopy(); }, 60000));
    EXPECT_EQ(engine().currentPath(), QFileInfo(cache.readyCopy(mediaPath("clip25.mp4"))->path).absoluteFilePath());
    EXPECT_EQ(player.GetPosition(), 720);
    EXPECT_EQ(panel.videoLength(), length);
    EXPECT_EQ(player.player().GetState(), MediaPlayerEngine::Paused);
    // The original is closed.
    EXPECT_TRUE((&player.player() == &first ? second : first).currentPath().isEmpty());
    // Played from the copy: the position runs with the sound.
    panel.PlayPause();
    PumpUntil([&] { return panel.position() >= 1000; }, 20000);
    panel.PlayPause();
    EXPECT_GE(panel.position(), 1000);
    EXPECT_EQ(player.GetPosition(), panel.position());
}

TEST_F(ProxyPanelTest, DamagedFileFallsBackToTheOriginalWithANote)
{
    QSignalSpy failed(&cache, &ProxyCache::copyFailed);
    ASSERT_TRUE(load(mediaPath("damaged.mp4")));
    ASSERT_TRUE(PumpUntil([&] { return failed.size() == 1; }, 60000));
    EXPECT_TRUE(failed[0][1].toString().contains(QStringLiteral("damaged.mp4")));
    EXPECT_FALSE(cache.readyCopy(mediaPath("damaged.mp4")).has_value());
    EXPECT_TRUE(QDir(cache.folder()).entryList(QDir::Files).isEmpty()) << "no part file is left";
    // The original still plays, and the copy is not asked for again in this run.
    panel.scrollTo(200);
    EXPECT_FALSE(player.showingCopy());
    EXPECT_EQ(shownFrame(), 5);
    ASSERT_TRUE(load(mediaPath("damaged.mp4")));
    // Nothing was queued, so nothing more can come.
    EXPECT_FALSE(cache.busy());
    EXPECT_EQ(failed.size(), 1);
}

TEST_F(ProxyPanelTest, StaleCopyIsNotUsed)
{
    const QString file = cacheDir.filePath(QStringLiteral("changing.mp4"));
    ASSERT_TRUE(QFile::copy(mediaPath("frames25-gop.mp4"), file));
    makeCopy(file);
    ASSERT_TRUE(load(file));
    EXPECT_TRUE(player.showingCopy());
    // The file is replaced by another video under the same name while its copy plays.
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QFile::copy(mediaPath("clip25.mp4"), file));
    EXPECT_FALSE(cache.readyCopy(file).has_value());
    cache.setPaused(true);
    // Loaded again (as a row selection does): the new file, not the old copy.
    ASSERT_TRUE(load(file));
    EXPECT_FALSE(player.showingCopy());
    EXPECT_EQ(panel.pictureSize(), QSize(176, 144));
    EXPECT_EQ(engine().currentPath(), QFileInfo(file).absoluteFilePath());
}

// ---- the cache on its own, with a maker that writes a file of a given size ----

// What the fake makers say of every original: 2 s of 64x48 at 25 fps, made whole.
bool finishMaking(MediaInfo& original, const ProxyMaker::Progress& progress)
{
    original.durationMsec = 2000;
    original.width = 64;
    original.height = 48;
    original.secondsPerFrame = 0.04;
    return progress(1.0);
}

class SizedMaker final : public ProxyMaker {
public:
    qint64 bytes = 1000;
    bool fail = false;
    bool make(const QString&, const QString& target, MediaInfo& original, const Progress& progress,
              QString& error) override
    {
        if (fail) {
            error = QStringLiteral("odd codec");
            return false;
        }
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly) || out.write(QByteArray(int(bytes), 'x')) != bytes) {
            error = QStringLiteral("cannot write");
            return false;
        }
        return finishMaking(original, progress);
    }
};

class ProxyCacheTest : public ::testing::Test {
protected:
    QString source(const char* name, const QByteArray& content)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    void make(ProxyCache& cache, const QString& path)
    {
        cache.request(path);
        ASSERT_TRUE(PumpUntil([&] { return !cache.busy(); }, 20000));
    }
    // Sets a file's modification time `seconds` from now: the order of uses, and a
    // change on disk, without waiting for the clock.
    static void setTime(const QString& path, int seconds)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(seconds), QFileDevice::FileModificationTime));
    }
    static QString copyOf(ProxyCache& cache, const QString& original)
    {
        const auto copy = cache.readyCopy(original);
        return copy ? copy->path : QString();
    }

    QTemporaryDir dir;
    SizedMaker maker;
};

TEST_F(ProxyCacheTest, SizeLimitRemovesTheCopiesUsedLongestAgo)
{
    // Room for two copies (and their records) but not three.
    ProxyCache cache(dir.filePath(QStringLiteral("cache")), 2 * 1000 + 2 * 600, maker);
    const QString a = source("a.mp4", "first");
    const QString b = source("b.mp4", "second");
    const QString c = source("c.mp4", "third");
    make(cache, a);
    make(cache, b);
    // A use marks the copy with the time of now: b was used a minute ago, a two minutes
    // ago and then again now, so b is the one used longest ago.
    setTime(copyOf(cache, a), -120);
    setTime(copyOf(cache, b), -60);
    ASSERT_TRUE(cache.readyCopy(a).has_value());
    make(cache, c);
    EXPECT_TRUE(cache.readyCopy(a).has_value());
    EXPECT_FALSE(cache.readyCopy(b).has_value());
    EXPECT_TRUE(cache.readyCopy(c).has_value());
    EXPECT_EQ(QDir(cache.folder()).entryList({QStringLiteral("*.mov")}, QDir::Files).size(), 2);
    EXPECT_EQ(QDir(cache.folder()).entryList({QStringLiteral("*.json")}, QDir::Files).size(), 2);

    // A copy larger than the whole limit is not kept, and that is said.
    QSignalSpy failed(&cache, &ProxyCache::copyFailed);
    maker.bytes = 5000;
    make(cache, source("d.mp4", "fourth"));
    EXPECT_FALSE(cache.readyCopy(dir.filePath(QStringLiteral("d.mp4"))).has_value());
    EXPECT_EQ(failed.size(), 1);
}

TEST_F(ProxyCacheTest, ChangedOriginalIsNotGivenItsOldCopy)
{
    ProxyCache cache(dir.filePath(QStringLiteral("cache")), ProxyCache::kDefaultLimitBytes, maker);
    const QByteArray content(3 * 1024 * 1024, 'v');
    const QString file = source("v.mp4", content);
    make(cache, file);
    ASSERT_TRUE(cache.readyCopy(file).has_value());
    // Changed in the middle, where the key reads nothing, and written later: only the
    // time tells the change.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(1536 * 1024));
    f.write("changed");
    f.close();
    setTime(file, 60);
    EXPECT_FALSE(cache.readyCopy(file).has_value());
    // Asked for again, the copy is made of the file as it is now.
    make(cache, file);
    EXPECT_TRUE(cache.readyCopy(file).has_value());
    EXPECT_EQ(cache.madeCount(), 2);
}

// Two files alike in all the key reads of their content (copies of one clip), written at
// different times, loaded in turn (by one editor, or by two at once): each keeps a copy,
// and neither is made again.
TEST_F(ProxyCacheTest, FilesAlikeButWrittenAtDifferentTimesEachKeepTheirCopy)
{
    ProxyCache cache(dir.filePath(QStringLiteral("cache")), ProxyCache::kDefaultLimitBytes, maker);
    const QString a = source("a.mp4", "the same clip");
    const QString b = source("b.mp4", "the same clip");
    setTime(b, 60);
    make(cache, a);
    make(cache, b);
    ASSERT_EQ(cache.madeCount(), 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(cache.readyCopy(a).has_value()) << i;
        EXPECT_TRUE(cache.readyCopy(b).has_value()) << i;
        make(cache, a);
        make(cache, b);
    }
    EXPECT_EQ(cache.madeCount(), 2) << "a copy was made again";
    // Moved, a file keeps its copy.
    const QString moved = dir.filePath(QStringLiteral("moved.mp4"));
    ASSERT_TRUE(QFile::rename(a, moved));
    EXPECT_TRUE(cache.readyCopy(moved).has_value());
}

TEST_F(ProxyCacheTest, FailuresAreNotedAndNotRetried)
{
    {
        // A cache folder that cannot be made (its parent is a file).
        const QString blocker = source("blocker", "x");
        ProxyCache cache(QDir(blocker).filePath(QStringLiteral("cache")), ProxyCache::kDefaultLimitBytes, maker);
        QSignalSpy spy(&cache, &ProxyCache::copyFailed);
        const QString file = source("v.mp4", "video");
        make(cache, file);
        ASSERT_EQ(spy.size(), 1);
        EXPECT_TRUE(spy[0][1].toString().contains(QStringLiteral("v.mp4")));
        EXPECT_FALSE(cache.readyCopy(file).has_value());
    }
    {
        // The maker refuses the file (an odd codec).
        maker.fail = true;
        ProxyCache cache(dir.filePath(QStringLiteral("cache")), ProxyCache::kDefaultLimitBytes, maker);
        QSignalSpy spy(&cache, &ProxyCache::copyFailed);
        const QString file = source("odd.mp4", "odd");
        make(cache, file);
        ASSERT_EQ(spy.size(), 1);
        EXPECT_TRUE(spy[0][1].toString().contains(QStringLiteral("odd codec")));
        // Asked again: nothing is queued, so nothing more can come.
        EXPECT_FALSE(cache.request(file));
        EXPECT_FALSE(cache.busy());
        EXPECT_EQ(spy.size(), 1);
        EXPECT_TRUE(QDir(cache.folder()).entryList(QDir::Files).isEmpty());
    }
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A maker that holds its making until it is let go, and notes the part files it writes.
class HeldMaker final : public ProxyMaker {
public:
    explicit HeldMaker(bool held) : m_held(held) {}
    bool make(const QString&, const QString& target, MediaInfo& original, const Progress& progress, QString&) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_targets << target;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_held; });
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly) || out.write("copy") != 4)
            return false;
        return finishMaking(original, progress);
    }
    void letGo()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held = false;
        m_changed.notify_all();
    }
    QStringList targets() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_targets;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held;
    QStringList m_targets;
};

// Two editors on one cache folder ask for the same copy: the second waits while the
// first makes it, and then takes the first one's copy instead of writing it again.
TEST_F(ProxyCacheTest, SecondEditorWaitsForTheCopyTheFirstMakes)
{
    const QString folder = dir.filePath(QStringLiteral("cache"));
    HeldMaker firstMaker(true);
    HeldMaker secondMaker(false);
    ProxyCache first(folder, ProxyCache::kDefaultLimitBytes, firstMaker, ProxyCache::Priority::Normal);
    ProxyCache second(folder, ProxyCache::kDefaultLimitBytes, secondMaker, ProxyCache::Priority::Normal);
    QSignalSpy ready(&second, &ProxyCache::copyReady);
    const QString file = source("v.mp4", "video");
    first.request(file);
    ASSERT_TRUE(PumpUntil([&] { return firstMaker.targets().size() == 1; }, 20000));
    EXPECT_FALSE(second.request(file));
    firstMaker.letGo();
    ASSERT_TRUE(PumpUntil([&] { return !first.busy() && !second.busy(); }, 20000));
    EXPECT_TRUE(secondMaker.targets().isEmpty()) << "made twice: " << qPrintable(secondMaker.targets().join(u' '));
    ASSERT_EQ(ready.size(), 1);
    EXPECT_EQ(ready[0][0].toString(), file);
    EXPECT_EQ(second.madeCount(), 1);
    ASSERT_TRUE(second.readyCopy(file).has_value());
    EXPECT_EQ(readAll(second.readyCopy(file)->path), QByteArray("copy"));
    EXPECT_TRUE(QDir(folder).entryList({QStringLiteral("*.part.mov")}, QDir::Files).isEmpty());
}

// A making that died (its editor ended abruptly) leaves its part file behind; the next
// making of that copy removes it, and each making writes a part file of its own.
TEST_F(ProxyCacheTest, PartFileOfAMakingThatDiedIsRemoved)
{
    const QString folder = dir.filePath(QStringLiteral("cache"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = source("v.mp4", "video");
    const QString key = ProxyCache::fileKey(file);
    const QString left = QDir(folder).filePath(key + QStringLiteral(".1-0.part.mov"));
    {
        QFile f(left);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    HeldMaker noted(false);
    ProxyCache cache(folder, ProxyCache::kDefaultLimitBytes, noted);
    make(cache, file);
    ASSERT_TRUE(cache.readyCopy(file).has_value());
    EXPECT_FALSE(QFileInfo::exists(left));
    ASSERT_EQ(noted.targets().size(), 1);
    EXPECT_NE(noted.targets()[0], left);
}

} // namespace
} // namespace vk
