// When the media libraries come into the process: not at start, not with the start-up
// check of the media stack (it runs in a process of its own), but with the first file a
// player opens. A test program of its own, so that nothing before has loaded them.
#include "media/mpv/mediastackversion.h"
#include "media/mpv/mpvengine.h"
#include "media/mpv/videowidget.h"
#include "tests/support/pump.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <mpv/client.h>

#include <dlfcn.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>

namespace {

using vk::testmedia::File;
using vk::testmedia::FrameNumber;
using vk::testsupport::PumpUntil;

// Whether this process has loaded the player library (without loading it).
bool PlayerLibraryLoaded()
{
    const std::string name = "libmpv.so." + std::to_string(MPV_CLIENT_API_VERSION >> 16);
    void* handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

TEST(MediaLibraries, ComeWithTheFirstFileOpened)
{
    vk::testsupport::HeadlessDefaults(false);
    vk::testsupport::EnsureGuiApp("media_libraries_test");
    const QString clip = File(QStringLiteral("frames25.mp4"));
    ASSERT_FALSE(PlayerLibraryLoaded()) << "loaded at start";

    vk::MediaStackCheck check;
    const int answer = check.result();
    EXPECT_GE(answer, 0x800);
    // The check's process has given its answer and is gone (reaped, not left behind);
    // asked again, the check gives the same answer at once, with no time left to wait.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(check.result(0), answer);
    EXPECT_FALSE(PlayerLibraryLoaded()) << "loaded by the start-up check";

    vk::VideoWidget box;
    box.resize(160, 120);
    box.show();
    vk::MpvEngine engine;
    engine.SetVideoWindow(&box);
    engine.SetVolume(0);
    engine.Command(QStringLiteral("set_rate_percent"), 100, QString());
    EXPECT_EQ(engine.GetState(), 0);
    EXPECT_FALSE(engine.started());
    EXPECT_FALSE(PlayerLibraryLoaded()) << "loaded before a file was opened";

    ASSERT_EQ(engine.Open(clip), 0);
    EXPECT_TRUE(engine.started());
    EXPECT_TRUE(PlayerLibraryLoaded());
    // The box given before the player started gets its pictures: frame 10 at 400 ms.
    engine.Pause(400, 0);
    int shown = -1;
    EXPECT_TRUE(PumpUntil(
        [&] {
            shown = FrameNumber(box.grab().toImage());
            return engine.pictureSettled() && shown == 10;
        },
        20000))
        << "shown: " << shown;
}

// A good answer of the check is kept with the stamp of the media stack and given again
// while the stack is the same; another stack, or a bad answer kept, is checked again.
TEST(MediaLibraries, StackCheckKeepsAGoodAnswerForTheSameStack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString cache = dir.filePath(QStringLiteral("sub/mediastack"));
    const QByteArray stamp = vk::MediaStackStamp();
    ASSERT_FALSE(stamp.isEmpty());
    auto kept = [&] {
        QFile f(cache);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    auto keep = [&](const QByteArray& text) {
        QFile f(cache);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };

    int checked = 0;
    {
        vk::MediaStackCheck check(cache);
        checked = check.result();
    }
    ASSERT_GE(checked, 0x800);
    EXPECT_EQ(kept(), QByteArray::number(checked) + '\n' + stamp);

    // The same stack: the kept answer, no check.
    keep(QByteArray::number(0x1234) + '\n' + stamp);
    EXPECT_EQ(vk::MediaStackCheck(cache).result(), 0x1234);
    // Another stack: checked again, and the new answer kept.
    keep(QByteArray::number(0x1234) + "\n/usr/lib/libmpv.so.2 1 2.3 4\n");
    EXPECT_EQ(vk::MediaStackCheck(cache).result(), checked);
    EXPECT_EQ(kept(), QByteArray::number(checked) + '\n' + stamp);
    // A bad answer is not taken from the file.
    keep("0\n" + stamp);
    EXPECT_EQ(vk::MediaStackCheck(cache).result(), checked);
    // Without a file to keep it in, every check is made.
    EXPECT_EQ(vk::MediaStackCheck().result(), checked);
    EXPECT_FALSE(PlayerLibraryLoaded()) << "every check runs in a process of its own";
}

} // namespace
