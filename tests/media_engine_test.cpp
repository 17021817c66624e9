// The real player on generated media, with no sound device and no picture output.
#include "media/mpv/mpvengine.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cmath>

namespace vk::testmedia {
QString File(const QString& name);
void EnsureApp(bool noPicture);
void Pump(int ms);
} // namespace vk::testmedia

namespace {

using vk::MediaInfo;
using vk::MpvEngine;
using vk::testmedia::File;
using vk::testmedia::Pump;

class MediaEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { vk::testmedia::EnsureApp(true); }

    // Opens a generated file the way the panels load one.
    void load(const char* name)
    {
        m_engine.Close();
        m_engine.SetVideoWindow(nullptr);
        m_engine.Initialize(0, 1001, 1, QStringLiteral("7"));
        m_engine.SetOption(QStringLiteral("soft_nouse"), -1);
        ASSERT_EQ(m_engine.Open(File(QString::fromLatin1(name))), 0) << name;
        MediaInfo info;
        ASSERT_EQ(m_engine.GetMediaInfo(info), 0);
        m_engine.Play(0);
        m_engine.Pause(-1, 0);
    }

    // Position advance over `ms` of wall time, measured after the player has settled.
    double advanceOver(int ms)
    {
        Pump(300);
        QElapsedTimer t;
        const int p0 = m_engine.GetPosition();
        t.start();
        Pump(ms);
        const int p1 = m_engine.GetPosition();
        return double(p1 - p0) / double(t.elapsed());
    }

    MpvEngine m_engine;
};

TEST_F(MediaEngineTest, NothingOpenIsNeitherPausedNorRunning)
{
    EXPECT_EQ(m_engine.GetState(), 0);
    EXPECT_EQ(m_engine.GetPosition(), 0);
    MediaInfo info;
    EXPECT_EQ(m_engine.GetMediaInfo(info), -1);
    // Commands with nothing open are harmless.
    m_engine.Stop();
    m_engine.Pause(-1, 0);
    m_engine.Play(0);
    EXPECT_EQ(m_engine.GetState(), 0);
}

TEST_F(MediaEngineTest, MissingAndNonMediaFilesDoNotOpen)
{
    EXPECT_EQ(m_engine.Open(File(QStringLiteral("tone.wav")) + QStringLiteral(".missing")), -1);
    EXPECT_EQ(m_engine.Open(QString()), -1);
    EXPECT_EQ(m_engine.Open(File(QStringLiteral("notmedia.txt"))), -1);
    EXPECT_EQ(m_engine.GetState(), 0);
    MediaInfo info;
    EXPECT_EQ(m_engine.GetMediaInfo(info), -1);
    // The player is still usable afterwards.
    EXPECT_EQ(m_engine.Open(File(QStringLiteral("tone.wav"))), 0);
    EXPECT_EQ(m_engine.GetState(), 1);
}

TEST_F(MediaEngineTest, OpensPausedAtZeroWithTheFilesFacts)
{
    ASSERT_EQ(m_engine.Open(File(QStringLiteral("clip30.mp4"))), 0);
    EXPECT_EQ(m_engine.GetState(), 1);
    EXPECT_EQ(m_engine.GetPosition(), 0);
    MediaInfo info;
    ASSERT_EQ(m_engine.GetMediaInfo(info), 0);
    EXPECT_NEAR(info.durationMsec, 3000, 50);
    EXPECT_EQ(info.width, 160);
    EXPECT_EQ(info.height, 120);
    EXPECT_EQ(int(std::nearbyint(1000.0 * info.secondsPerFrame)), 33);
    Pump(200);
    EXPECT_EQ(m_engine.GetPosition(), 0); // opening does not start playback
    EXPECT_EQ(m_engine.GetState(), 1);
}

TEST_F(MediaEngineTest, OpeningAnotherFileReplacesTheFirst)
{
    ASSERT_EQ(m_engine.Open(File(QStringLiteral("clip25.mp4"))), 0);
    ASSERT_EQ(m_engine.Open(File(QStringLiteral("tone.wav"))), 0);
    MediaInfo info;
    ASSERT_EQ(m_engine.GetMediaInfo(info), 0);
    EXPECT_EQ(info.durationMsec, 2500);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(m_engine.currentPath(), File(QStringLiteral("tone.wav")));
}

TEST_F(MediaEngineTest, SoundOnlyFileOfferedAsVideoOpensWithoutPicture)
{
    load("soundonly.mp4");
    MediaInfo info;
    ASSERT_EQ(m_engine.GetMediaInfo(info), 0);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.secondsPerFrame, 0.0);
    EXPECT_NEAR(info.durationMsec, 2000, 60);
    EXPECT_EQ(m_engine.GetState(), 1);
}

TEST_F(MediaEngineTest, PausedSeekLandsOnTheExactMillisecond)
{
    for (const char* name : {"clip30.mp4", "clip25.mp4", "tone.wav"}) {
        load(name);
        m_engine.Pause(1234, 0);
        EXPECT_EQ(m_engine.GetPosition(), 1234) << name;
        EXPECT_EQ(m_engine.GetState(), 1) << name;
        Pump(150);
        EXPECT_EQ(m_engine.GetPosition(), 1234) << name;
        m_engine.Pause(-1, 0);
        EXPECT_EQ(m_engine.GetPosition(), 1234) << name;
        // The player really is there: running on from it continues from 1234.
        m_engine.Play(m_engine.GetPosition());
        Pump(400);
        const int pos = m_engine.GetPosition();
        EXPECT_GT(pos, 1234 + 250) << name;
        EXPECT_LT(pos, 1234 + 650) << name;
    }
}

TEST_F(MediaEngineTest, PlayRunsWithTheWallClock)
{
    load("tone.wav");
    QElapsedTimer t;
    t.start();
    m_engine.Play(500);
    EXPECT_EQ(m_engine.GetState(), 2);
    int last = m_engine.GetPosition();
    EXPECT_GE(last, 500);
    EXPECT_LT(last, 560);
    while (t.elapsed() < 1000) {
        Pump(20);
        const int p = m_engine.GetPosition();
        EXPECT_GE(p, last); // never goes back while running
        last = p;
    }
    const double expected = 500.0 + double(t.elapsed());
    EXPECT_NEAR(last, expected, 150.0);
    EXPECT_EQ(m_engine.GetState(), 2);
}

TEST_F(MediaEngineTest, VideoPlaysWithTheWallClock)
{
    load("clip30.mp4");
    m_engine.Play(0);
    EXPECT_NEAR(advanceOver(800), 1.0, 0.15);
}

TEST_F(MediaEngineTest, SpeedChangesTheRateOfAdvance)
{
    load("long.wav");
    m_engine.Command(QStringLiteral("set_rate_percent"), 200, QString());
    m_engine.Play(0);
    EXPECT_NEAR(advanceOver(700), 2.0, 0.3);
    m_engine.Pause(0, 0);
    m_engine.Command(QStringLiteral("set_rate_percent"), 50, QString());
    m_engine.Play(0);
    EXPECT_NEAR(advanceOver(700), 0.5, 0.1);
    // A rate of 0 is ignored: the player keeps its last speed.
    m_engine.Command(QStringLiteral("set_rate_percent"), 0, QString());
    EXPECT_NEAR(advanceOver(500), 0.5, 0.1);
}

TEST_F(MediaEngineTest, StopThenPauseHoldsWhereItIs)
{
    load("tone.wav");
    m_engine.Play(0);
    Pump(400);
    m_engine.Stop();
    m_engine.Pause(-1, 0);
    EXPECT_EQ(m_engine.GetState(), 1);
    const int held = m_engine.GetPosition();
    EXPECT_GT(held, 200);
    EXPECT_LT(held, 700);
    Pump(300);
    EXPECT_EQ(m_engine.GetPosition(), held);
    EXPECT_EQ(m_engine.GetState(), 1);
}

TEST_F(MediaEngineTest, SeekWhileRunningKeepsRunning)
{
    load("tone.wav");
    m_engine.Play(0);
    Pump(200);
    m_engine.Pause(1500, 0);
    m_engine.Play(1500);
    EXPECT_EQ(m_engine.GetState(), 2);
    Pump(300);
    const int pos = m_engine.GetPosition();
    EXPECT_GT(pos, 1500 + 150);
    EXPECT_LT(pos, 1500 + 500);
}

TEST_F(MediaEngineTest, PlayingToTheEndHoldsAtTheEnd)
{
    load("tone.wav");
    m_engine.Play(2000);
    Pump(1000);
    EXPECT_EQ(m_engine.GetState(), 1);
    EXPECT_EQ(m_engine.GetPosition(), 2500);
}

TEST_F(MediaEngineTest, CloseReleasesTheFile)
{
    load("clip25.mp4");
    m_engine.Close();
    EXPECT_EQ(m_engine.GetState(), 0);
    EXPECT_EQ(m_engine.GetPosition(), 0);
    MediaInfo info;
    EXPECT_EQ(m_engine.GetMediaInfo(info), -1);
    EXPECT_TRUE(m_engine.currentPath().isEmpty());
}

TEST_F(MediaEngineTest, StillImagesPlayAsStills)
{
    for (const char* name : {"still.png", "still.jpg", "still.bmp"}) {
        load(name);
        MediaInfo info;
        ASSERT_EQ(m_engine.GetMediaInfo(info), 0) << name;
        EXPECT_EQ(info.durationMsec, 0) << name;
        EXPECT_GT(info.width, 0) << name;
        m_engine.Play(0);
        Pump(200);
        EXPECT_EQ(m_engine.GetPosition(), 0) << name;
        m_engine.Pause(1000, 0);
        EXPECT_EQ(m_engine.GetPosition(), 0) << name;
        EXPECT_EQ(m_engine.GetState(), 1) << name;
    }
}

TEST_F(MediaEngineTest, BeepRestartsEachTime)
{
    ASSERT_EQ(m_engine.Open(File(QStringLiteral("beep.wav"))), 0);
    m_engine.SetVolume(0);
    EXPECT_EQ(m_engine.GetState(), 1); // opening does not sound it
    for (int i = 0; i < 4; ++i) {
        m_engine.Pause(0, 0);
        m_engine.Play(0);
        EXPECT_EQ(m_engine.GetState(), 2) << i;
        EXPECT_LT(m_engine.GetPosition(), 30) << i;
        Pump(i % 2 ? 60 : 400); // cut short, or let it end
        if (i % 2 == 0) {
            EXPECT_EQ(m_engine.GetState(), 1) << i; // held at its end
            EXPECT_EQ(m_engine.GetPosition(), 120) << i;
        }
    }
}

TEST_F(MediaEngineTest, VolumeLevelsAreAccepted)
{
    load("tone.wav");
    for (int level : {0, -5000, -10000, 100, -20000})
        EXPECT_NO_THROW(m_engine.SetVolume(level));
}

} // namespace
