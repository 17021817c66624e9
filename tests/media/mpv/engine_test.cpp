// The real player on generated media, with no sound device and no picture output.
#include "media/mpv/mpvengine.h"
#include "tests/support/pump.h"
#include "tests/support/testapp.h"
#include "tests/support/testmedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using vk::MediaInfo;
using vk::MpvEngine;
using vk::PlayClock;
using vk::testmedia::File;
using vk::testsupport::Pump;

class MediaEngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        vk::testsupport::HeadlessDefaults(true);
        vk::testsupport::EnsureGuiApp("media_tests");
    }

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

// The player itself starts with the first file opened; the speed (and the volume) set
// before are its settings from the start.
TEST_F(MediaEngineTest, PlayerStartsWithTheFirstOpenAndKeepsWhatWasSetBefore)
{
    m_engine.SetVolume(-5000);
    m_engine.Command(QStringLiteral("set_rate_percent"), 200, QString());
    m_engine.SetVideoWindow(nullptr);
    m_engine.Initialize(0, 1001, 1, QStringLiteral("7"));
    EXPECT_EQ(m_engine.GetState(), 0);
    EXPECT_EQ(m_engine.GetPosition(), 0);
    MediaInfo info;
    EXPECT_EQ(m_engine.GetMediaInfo(info), -1);
    m_engine.Close();
    m_engine.Stop();
    m_engine.Pause(100, 0);
    m_engine.Play(0);
    EXPECT_TRUE(m_engine.currentPicture().isNull());
    EXPECT_FALSE(m_engine.pictureSettled());
    EXPECT_EQ(m_engine.Open(File(QStringLiteral("notmedia.txt")).append(QStringLiteral(".missing"))), -1);
    EXPECT_FALSE(m_engine.started());

    ASSERT_EQ(m_engine.Open(File(QStringLiteral("long.wav"))), 0);
    EXPECT_TRUE(m_engine.started());
    m_engine.Play(0);
    EXPECT_NEAR(advanceOver(700), 2.0, 0.3);
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

// The samples of a WAV file written by the player's file output (16- or 32-bit integers
// or 32-bit floats, plain or extensible header), as fractions of full scale; empty when
// the file is not one of these.
std::vector<double> WavSamples(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray wav = f.readAll();
    auto u16 = [&](qsizetype at) { return int(quint8(wav[at])) | int(quint8(wav[at + 1])) << 8; };
    auto u32 = [&](qsizetype at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    if (wav.size() < 12 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
        return {};
    int tag = 0;
    int bits = 0;
    std::vector<double> samples;
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const QByteArray id = wav.mid(at, 4);
        const qsizetype size = std::min<qsizetype>(u32(at + 4), wav.size() - at - 8);
        const qsizetype body = at + 8;
        if (id == "fmt " && size >= 16) {
            tag = u16(body);
            bits = u16(body + 14);
            if (tag == 0xfffe && size >= 26)
                tag = u16(body + 24); // the sub-format of an extensible header
        } else if (id == "data") {
            const int bytes = bits / 8;
            for (qsizetype i = body; bytes > 0 && i + bytes <= body + size; i += bytes) {
                if (tag == 1 && bits == 16)
                    samples.push_back(qint16(u16(i)) / 32768.0);
                else if (tag == 1 && bits == 32)
                    samples.push_back(qint32(u32(i)) / 2147483648.0);
                else if (tag == 3 && bits == 32) {
                    const quint32 word = u32(i);
                    float value = 0;
                    std::memcpy(&value, &word, sizeof value);
                    samples.push_back(value);
                } else
                    return {};
            }
            return samples;
        }
        at = body + size + (size & 1);
    }
    return {};
}

double Rms(const std::vector<double>& samples)
{
    double sum = 0.0;
    for (double s : samples)
        sum += s * s;
    return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
}

// Plays tone.wav to its end at a volume level and gives the root mean square of the
// sound that came out (-1 when none was written). The sound goes to a file instead of a
// device: the player's file output writes audiodump.wav into the working folder, as
// fast as it decodes. The level is given before the file is opened (kept until the
// player starts) or, with `running`, to the player that has the file open.
double PlayedLevel(int level, bool running)
{
    const QString tone = File(QStringLiteral("tone.wav"));
    QTemporaryDir dir;
    const QString workingFolder = QDir::currentPath();
    const QByteArray output = qgetenv("VK_MPV_AO");
    QDir::setCurrent(dir.path());
    qputenv("VK_MPV_AO", "pcm");
    {
        MpvEngine engine;
        if (!running)
            engine.SetVolume(level);
        EXPECT_EQ(engine.Open(tone), 0);
        if (running)
            engine.SetVolume(level);
        engine.Play(0);
        EXPECT_TRUE(vk::testsupport::PumpUntil([&] { return engine.GetState() == MpvEngine::Paused; }, 20000))
            << "level " << level << " did not play to the end";
    } // the player ends here, and completes the file
    qputenv("VK_MPV_AO", output);
    QDir::setCurrent(workingFolder);
    const std::vector<double> samples = WavSamples(dir.filePath(QStringLiteral("audiodump.wav")));
    // Most of the 2.5 s tone at 44.1 kHz, whatever the number of channels.
    EXPECT_GT(samples.size(), 100000u) << "level " << level;
    return samples.size() > 100000u ? Rms(samples) : -1.0;
}

// 0 is full volume, -10000 silence, anything beyond either end is that end. The player's
// volume scale is cubic: half way (-5000) is an eighth of the amplitude.
TEST_F(MediaEngineTest, VolumeLevelsReachTheSound)
{
    for (bool running : {false, true}) {
        SCOPED_TRACE(running ? "given to the running player" : "given before the player starts");
        const double full = PlayedLevel(0, running);
        // The generated tone is at an eighth of full scale: RMS 0.125 / sqrt(2).
        EXPECT_NEAR(full, 0.125 / std::sqrt(2.0), 0.01);
        EXPECT_NEAR(PlayedLevel(-5000, running), full / 8.0, full * 0.02);
        EXPECT_EQ(PlayedLevel(-10000, running), 0.0);
        EXPECT_NEAR(PlayedLevel(100, running), full, full * 0.001);
        EXPECT_EQ(PlayedLevel(-20000, running), 0.0);
    }
}

} // namespace

namespace {

// Waits (up to a generous limit) until the player's picture stops changing, then
// gives the number of the frame it shows.
int SettledFrame(MpvEngine& engine)
{
    QElapsedTimer t;
    t.start();
    while (!engine.pictureSettled() && t.elapsed() < 20000)
        Pump(5);
    EXPECT_TRUE(engine.pictureSettled());
    return vk::testmedia::FrameNumber(engine.currentPicture());
}

// The frame on screen at `ms` while playing (25 fps).
int FrameAt(int ms)
{
    return ms / 40;
}

} // namespace

TEST_F(MediaEngineTest, PictureIsTheFrameAtThePosition)
{
    // Just opened: the first frame.
    m_engine.Close();
    ASSERT_EQ(m_engine.Open(File(QStringLiteral("frames25.mp4"))), 0);
    EXPECT_EQ(SettledFrame(m_engine), 0);

    // As the panels load a file: Play(0) and at once Pause(-1).
    for (int round = 0; round < 5; ++round) {
        load("frames25.mp4");
        const int pos = m_engine.GetPosition();
        EXPECT_EQ(pos, 0) << "round " << round;
        EXPECT_EQ(SettledFrame(m_engine), FrameAt(pos)) << "after loading, round " << round;
    }

    // Paused seeks: to a frame's start, inside a frame, just before the next one.
    for (int ms : {1320, 1330, 1359, 1360, 480, 41, 39, 0, 1999}) {
        m_engine.Pause(ms, 0);
        const int pos = m_engine.GetPosition();
        EXPECT_EQ(pos, ms);
        EXPECT_EQ(SettledFrame(m_engine), std::min(FrameAt(pos), 49)) << "paused at " << ms;
    }

    // Played and paused where the player is, or stopped.
    for (int round = 0; round < 4; ++round) {
        m_engine.Play(200 + 300 * round);
        Pump(130 + 17 * round);
        if (round % 2)
            m_engine.Stop();
        else
            m_engine.Pause(-1, 0);
        const int pos = m_engine.GetPosition();
        EXPECT_EQ(SettledFrame(m_engine), FrameAt(pos)) << "paused while running at " << pos;
        EXPECT_EQ(m_engine.GetPosition(), pos);
        // Running on from a position inside a frame starts there, not at the frame's start.
        m_engine.Pause(pos + 7, 0);
        m_engine.Play(-1);
        Pump(60);
        EXPECT_GE(m_engine.GetPosition(), pos + 7);
        m_engine.Pause(-1, 0);
    }
}

// The running position between reports, on a scripted clock (seconds).
TEST(PlayClockTest, HoldsAndStartsWhereTold)
{
    PlayClock c;
    c.hold(1.5);
    EXPECT_DOUBLE_EQ(c.at(100.0), 1.5);
    EXPECT_DOUBLE_EQ(c.at(200.0), 1.5);
    c.start(2.0, 10.0, 1.0);
    // No report yet: the sound has not started, the answer stays.
    EXPECT_DOUBLE_EQ(c.at(10.05), 2.0);
    // The first report starts the answer running from the start; the next ones lead.
    c.report(2.01, 10.06);
    EXPECT_NEAR(c.at(10.06), 2.0, 1e-9);
    EXPECT_NEAR(c.at(10.07), 2.01, 1e-9);
    c.report(2.03, 10.08);
    EXPECT_NEAR(c.at(10.16), 2.11, 1e-9);
    c.hold(0.5);
    EXPECT_DOUBLE_EQ(c.at(11.0), 0.5);
}

TEST(PlayClockTest, StaleReportsDoNotPullTheEstimateBack)
{
    for (double speed : {1.0, 2.0}) {
        PlayClock c;
        c.start(1.0, 0.0, speed);
        c.report(1.0, 0.0);
        // Fresh reports every 20 ms, then one that waited 8 ms in the queue: its value
        // is 8 ms of music old when it is taken.
        double last = c.at(0.0);
        for (int i = 1; i <= 50; ++i) {
            const double t = 0.02 * i;
            const double delay = (i % 7 == 0) ? 0.008 : 0.0;
            c.report(1.0 + speed * (t - delay), t);
            for (double dt : {0.0, 0.001, 0.004, 0.009}) {
                const double truth = 1.0 + speed * (t + dt);
                const double p = c.at(t + dt);
                EXPECT_GE(p, last) << "speed " << speed << " report " << i << " +" << dt;
                EXPECT_NEAR(p, truth, 0.0005) << "speed " << speed << " report " << i << " +" << dt;
                last = p;
            }
        }
    }
}

TEST(PlayClockTest, NeverGoesBackAndWaitsForAStalledPlayer)
{
    PlayClock c;
    c.start(0.0, 0.0, 1.0);
    c.report(0.0, 0.0);
    c.report(0.1, 0.1);
    EXPECT_NEAR(c.at(0.2), 0.2, 1e-9);
    // The music stalls at 0.1 s: the answer holds where it was, never going back.
    c.report(0.1, 0.3);
    const double held = c.at(0.3);
    EXPECT_NEAR(held, 0.3, 1e-9);
    c.report(0.1, 0.4);
    EXPECT_NEAR(c.at(0.45), held, 1e-9);
    // An answer asked for a moment before the last report was taken does not go back.
    EXPECT_NEAR(c.at(0.35), held, 1e-9);
    // The music runs again and passes the held answer: followed from there.
    c.report(0.25, 0.55);
    EXPECT_NEAR(c.at(0.6), held, 1e-9);
    c.report(0.35, 0.65);
    EXPECT_NEAR(c.at(0.7), 0.4, 1e-9);
}

TEST(PlayClockTest, ReportsAheadOfTheClockSinceTheStartAreHeld)
{
    // A video with no sound puts its next frame up as soon as it starts: that report
    // is a frame ahead of where the clock can be.
    PlayClock c;
    c.start(0.0, 5.0, 1.0);
    c.report(0.04, 5.0001);
    EXPECT_NEAR(c.at(5.0001), 0.0, 1e-9);
    c.report(0.08, 5.0101);
    EXPECT_NEAR(c.at(5.0101), 0.0101, 1e-4);
    EXPECT_NEAR(c.at(5.03), 0.03, 1e-4);
    // A first report behind the start (sound still on its way): the answer waits.
    PlayClock d;
    d.start(3.0, 0.0, 2.0);
    d.report(2.98, 0.01);
    EXPECT_DOUBLE_EQ(d.at(0.02), 3.0);
    d.report(3.02, 0.03);
    EXPECT_NEAR(d.at(0.04), 3.04, 1e-9);
}

TEST(PlayClockTest, FollowsAPlayerClockThatDriftsSlow)
{
    // The player's clock runs 0.1 % slow: the estimate follows it instead of running
    // away from it, and never goes back.
    PlayClock c;
    c.start(0.0, 0.0, 1.0);
    double last = 0.0;
    for (int i = 0; i <= 3000; ++i) {
        const double t = 0.02 * i;
        c.report(t * 0.999, t);
        const double p = c.at(t + 0.01);
        EXPECT_GE(p, last);
        last = p;
    }
    EXPECT_NEAR(last, 60.0 * 0.999 + 0.01, 0.003);
}
