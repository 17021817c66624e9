// The analysis on generated sounds, and the pure helpers around it: snapping, split
// points, metrical level, tap latency, waveform peaks and the cache file format.

#include "tests/media/analysis/testsound.h"

#include "media/analysis/analysiscache.h"
#include "media/analysis/audiodecoder.h"
#include "media/analysis/beatanalysis.h"
#include "media/analysis/beatlevel.h"
#include "media/analysis/waveformpeaks.h"
#include "timeline/beatsnap.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>

namespace vk {
namespace {

using testsound::fMeasure;
using testsound::writeClicks;

class AnalysisFiles : public ::testing::Test {
protected:
    QString file(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
};

TEST_F(AnalysisFiles, FindsTheBeatsOfAClickTrack)
{
    const QString path = file("clicks.wav");
    const std::vector<double> clicks = writeClicks(path, 120.0, 30.0);
    const AudioAnalysis a = analyseFile(path);
    ASSERT_TRUE(a.hasBeats()) << a.reason.toStdString();
    EXPECT_TRUE(a.reason.isEmpty());
    EXPECT_GE(fMeasure(clicks, a.beatsMs), 0.9);
    // Shown to a tenth of a BPM: a steady 120 must read 120.0, not 120.2.
    EXPECT_NEAR(a.bpm, 120.0, 0.05);
    EXPECT_EQ(a.sampleRate, 44100);
    EXPECT_NEAR(a.durationMs, 30000.0, 20.0);
    EXPECT_TRUE(std::is_sorted(a.beatsMs.begin(), a.beatsMs.end()));
    // Bars are a subset of the beats, and onsets sit on the clicks.
    ASSERT_FALSE(a.downbeatsMs.empty());
    for (double d : a.downbeatsMs)
        EXPECT_TRUE(std::find(a.beatsMs.begin(), a.beatsMs.end(), d) != a.beatsMs.end());
    EXPECT_GE(fMeasure(clicks, a.onsetsMs, 30.0), 0.9);
    EXPECT_FALSE(a.peaks.isEmpty());
    EXPECT_EQ(a.peaks.sampleCount(), size_t(30.0 * 44100));
}

// The bars found start on the first beats, where the harmony changes, not a beat later.
TEST_F(AnalysisFiles, BarsStartOnTheFirstBeatWhereTheHarmonyChanges)
{
    constexpr int rate = 44100;
    constexpr double seconds = 32.0;
    const std::vector<float> pcm = testsound::barsSong(rate, seconds);
    const QString path = file("song.wav");
    writeWav16(path, pcm, rate, 1);
    std::vector<double> bars;
    for (double b = 0.0; b < seconds * 1000.0; b += 2000.0)
        bars.push_back(b);

    const AudioAnalysis a = analyseFile(path);
    ASSERT_TRUE(a.hasBeats()) << a.reason.toStdString();
    EXPECT_NEAR(a.bpm, 120.0, 0.05);
    EXPECT_GE(fMeasure(bars, a.downbeatsMs), 0.9);
}

// Notes every `beatMs` from `firstMs` that start at once and die away: a tone with a few
// overtones, its pitch changing note by note. Returns the notes' starts.
std::vector<double> writeNotes(const QString& path, double beatMs, double firstMs, double seconds)
{
    constexpr int rate = 44100;
    const double roots[] = {196.0, 261.6, 293.7, 220.0};
    std::vector<float> pcm(size_t(seconds * rate), 0.0f);
    std::vector<double> starts;
    for (double at = firstMs; at < seconds * 1000.0 - beatMs; at += beatMs) {
        const double f = roots[starts.size() % 4];
        starts.push_back(at);
        const size_t from = size_t(std::ceil(at * rate / 1000.0));
        for (size_t n = from; n < pcm.size() && n < from + size_t(0.45 * rate); ++n) {
            const double t = double(n) / rate - at / 1000.0;
            double v = 0.0;
            for (int h = 1; h <= 5; ++h)
                v += std::sin(2 * M_PI * h * f * t) / h;
            pcm[n] += float(0.3 * std::exp(-4.0 * t) * v);
        }
    }
    writeWav16(path, pcm, rate, 1);
    return starts;
}

// The beats fall between the analysis frames, on the attacks: at tempi whose beats drift
// across the frames (one every 11.6 ms), each beat within a few ms of its note's start,
// not on the nearest whole frame up to 6 ms away.
TEST_F(AnalysisFiles, BeatsSitOnTheAttacksBetweenTheFrames)
{
    for (double bpm : {97.0, 128.0, 141.0}) {
        SCOPED_TRACE(bpm);
        const QString path = file("notes.wav");
        const std::vector<double> notes = writeNotes(path, 60000.0 / bpm, 231.7, 30.0);
        const AudioAnalysis a = analyseFile(path);
        ASSERT_TRUE(a.hasBeats()) << a.reason.toStdString();
        EXPECT_GE(fMeasure(notes, a.beatsMs), 0.95);
        std::vector<double> signedErrors, errors;
        for (double n : notes) {
            auto it = std::lower_bound(a.beatsMs.begin(), a.beatsMs.end(), n - 70.0);
            if (it != a.beatsMs.end() && *it <= n + 70.0) {
                signedErrors.push_back(*it - n);
                errors.push_back(std::fabs(*it - n));
            }
        }
        ASSERT_GE(errors.size(), notes.size() * 9 / 10);
        std::sort(signedErrors.begin(), signedErrors.end());
        std::sort(errors.begin(), errors.end());
        EXPECT_LT(std::fabs(signedErrors[signedErrors.size() / 2]), 1.5);
        EXPECT_LT(errors[errors.size() * 9 / 10], 3.0);
    }
}

TEST_F(AnalysisFiles, DecodesCompressedStereoAtAnotherRate)
{
    const QString wav = file("clicks48.wav");
    const QString flac = file("clicks48.flac");
    const std::vector<double> clicks = writeClicks(wav, 100.0, 20.0, 48000, 2);
    ASSERT_TRUE(testsound::ffmpeg({QStringLiteral("-i"), wav, QStringLiteral("-c:a"), QStringLiteral("flac"), flac}));
    const DecodedAudio d = decodeAudio(flac);
    ASSERT_TRUE(d.ok()) << d.reason.toStdString();
    EXPECT_EQ(d.sampleRate, 48000);
    EXPECT_NEAR(d.durationMs(), 19800.0, 30.0);
    // Both channels carry the same clicks: the mono mix keeps them at full level.
    const float loudest = *std::max_element(d.samples.begin(), d.samples.end());
    EXPECT_NEAR(loudest, 0.8f, 0.05f);
    const AudioAnalysis a = analyseFile(flac);
    ASSERT_TRUE(a.hasBeats()) << a.reason.toStdString();
    EXPECT_GE(fMeasure(clicks, a.beatsMs), 0.9);
}

TEST_F(AnalysisFiles, BadInputGivesNoBeatsAndAReason)
{
    // Silence.
    testsound::writeSilence(file("silence.wav"), 10.0);
    AudioAnalysis a = analyseFile(file("silence.wav"));
    EXPECT_FALSE(a.hasBeats());
    EXPECT_EQ(a.reason, QStringLiteral("Silence"));
    EXPECT_FALSE(a.peaks.isEmpty()); // the strip still draws the flat line

    // Too short: a second of clicks.
    writeClicks(file("short.wav"), 120.0, 1.0);
    a = analyseFile(file("short.wav"));
    EXPECT_FALSE(a.hasBeats());
    EXPECT_EQ(a.reason, QStringLiteral("Too short for beats"));

    // Not a media file at all.
    {
        QFile f(file("noise.wav"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        std::mt19937 rng(1);
        QByteArray junk(200000, '\0');
        for (char& c : junk)
            c = char(rng());
        f.write(junk);
    }
    a = analyseFile(file("noise.wav"));
    EXPECT_FALSE(a.hasBeats());
    EXPECT_EQ(a.reason, QStringLiteral("Damaged or unknown file"));

    // A WAV header followed by a damaged body: cut mid-way and overwritten with junk.
    writeClicks(file("cut.wav"), 120.0, 20.0);
    {
        QFile f(file("cut.wav"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.resize(40);
    }
    a = analyseFile(file("cut.wav"));
    EXPECT_FALSE(a.hasBeats());
    EXPECT_FALSE(a.reason.isEmpty());

    // Missing file.
    a = analyseFile(file("nothing-here.wav"));
    EXPECT_FALSE(a.hasBeats());
    EXPECT_EQ(a.reason, QStringLiteral("File not found"));

    // A video with no sound stream.
    ASSERT_TRUE(testsound::ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("color=c=black:s=64x64:d=1"), QStringLiteral("-c:v"),
                                   QStringLiteral("mpeg4"), file("mute.mp4")}));
    a = analyseFile(file("mute.mp4"));
    EXPECT_FALSE(a.hasBeats());
    EXPECT_EQ(a.reason, QStringLiteral("No sound in the file"));

    // Steady noise and a held tone have no attacks, so no beats either.
    std::mt19937 rng(3);
    std::normal_distribution<float> n(0.0f, 0.2f);
    std::vector<float> hiss(44100 * 10);
    for (float& v : hiss)
        v = n(rng);
    a = analyseSamples(hiss, 44100);
    EXPECT_FALSE(a.hasBeats());
    EXPECT_EQ(a.reason, QStringLiteral("No beats found"));
    std::vector<float> tone(44100 * 10);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = float(0.3 * std::sin(double(i) * 2.0 * M_PI * 440.0 / 44100.0));
    a = analyseSamples(tone, 44100);
    EXPECT_FALSE(a.hasBeats());
    EXPECT_EQ(a.reason, QStringLiteral("No beats found"));

    // No samples at all handed to the analysis.
    a = analyseSamples({}, 44100);
    EXPECT_FALSE(a.hasBeats());
    EXPECT_FALSE(a.reason.isEmpty());
}

TEST_F(AnalysisFiles, CancelStopsTheAnalysisEarly)
{
    const QString path = file("long.wav");
    writeClicks(path, 120.0, 120.0);
    // Cancelled while the file is decoded and the detection function runs (up to 0.8),
    // then while the file is read again for the bars (from 0.9): each stops within a few
    // percent.
    for (double at : {0.2, 0.6, 0.95}) {
        std::atomic<bool> cancel{false};
        double furthest = 0.0;
        const AudioAnalysis a = analyseFile(path, &cancel, [&](double f) {
            furthest = std::max(furthest, f);
            if (f >= at)
                cancel = true;
        });
        EXPECT_EQ(a.reason, cancelledReason()) << at;
        EXPECT_FALSE(a.hasBeats());
        EXPECT_LT(furthest, at + 0.05) << at;
    }
}

TEST(AnalysisSnap, SnapsToABeatThenAnOnsetWithinTheWindow)
{
    const std::vector<double> beats{1000.0, 1500.0, 2000.0};
    const std::vector<double> onsets{1250.0, 1480.0, 3000.0};
    // Inside the window of a beat: to the beat, even when an onset is nearer.
    SnapResult r = snapTap(1470.0, beats, onsets);
    EXPECT_EQ(r.target, SnapTarget::Beat);
    EXPECT_DOUBLE_EQ(r.ms, 1500.0);
    r = snapTap(1040.0, beats, onsets);
    EXPECT_EQ(r.target, SnapTarget::Beat);
    EXPECT_DOUBLE_EQ(r.ms, 1000.0);
    // The window's edge still snaps, just past it does not.
    EXPECT_EQ(snapTap(2060.0, beats, onsets).target, SnapTarget::Beat);
    EXPECT_EQ(snapTap(2060.5, beats, onsets).target, SnapTarget::None);
    // No beat near: the onset.
    r = snapTap(1230.0, beats, onsets);
    EXPECT_EQ(r.target, SnapTarget::Onset);
    EXPECT_DOUBLE_EQ(r.ms, 1250.0);
    // Nothing near: the tap stays.
    r = snapTap(2500.0, beats, onsets);
    EXPECT_EQ(r.target, SnapTarget::None);
    EXPECT_DOUBLE_EQ(r.ms, 2500.0);
    // A narrower window, and nothing to snap to at all.
    EXPECT_EQ(snapTap(1040.0, beats, onsets, 30.0).target, SnapTarget::None);
    EXPECT_DOUBLE_EQ(snapTap(777.0, {}, {}).ms, 777.0);
    // Before the first and after the last beat.
    EXPECT_DOUBLE_EQ(snapTap(950.0, beats, {}).ms, 1000.0);
    EXPECT_DOUBLE_EQ(snapTap(2990.0, beats, onsets).ms, 3000.0);
}

TEST(AnalysisSnap, SplitPointsEveryNBeats)
{
    std::vector<double> beats;
    for (int i = 0; i < 20; ++i)
        beats.push_back(500.0 * i); // 0, 500, ... 9500
    // From a beat: that beat is the range's own start, not a split.
    EXPECT_EQ(beatSplitPoints(beats, 1000.0, 3000.0, 1), (std::vector<double>{1500.0, 2000.0, 2500.0}));
    EXPECT_EQ(beatSplitPoints(beats, 1000.0, 5000.0, 2), (std::vector<double>{2000.0, 3000.0, 4000.0}));
    EXPECT_EQ(beatSplitPoints(beats, 0.0, 9600.0, 4), (std::vector<double>{2000.0, 4000.0, 6000.0, 8000.0}));
    EXPECT_EQ(beatSplitPoints(beats, 0.0, 9600.0, 8), (std::vector<double>{4000.0, 8000.0}));
    // From between beats: counting starts at the first beat inside, which is a split.
    EXPECT_EQ(beatSplitPoints(beats, 1200.0, 4000.0, 2), (std::vector<double>{1500.0, 2500.0, 3500.0}));
    // The range's end is open.
    EXPECT_EQ(beatSplitPoints(beats, 0.0, 1000.0, 1), (std::vector<double>{500.0}));
    // Nothing inside, no beats, a count below one.
    EXPECT_TRUE(beatSplitPoints(beats, 9600.0, 12000.0, 1).empty());
    EXPECT_TRUE(beatSplitPoints({}, 0.0, 1000.0, 1).empty());
    EXPECT_EQ(beatSplitPoints(beats, 0.0, 1600.0, 0), (std::vector<double>{500.0, 1000.0, 1500.0}));
}

TEST(AnalysisLevel, FollowsTheTapsSpacing)
{
    std::vector<double> fast; // double time: every 250 ms
    for (int i = 0; i < 40; ++i)
        fast.push_back(100.0 + 250.0 * i);
    // Taps every 500 ms on the odd beats of the fast grid (350, 850, ...).
    std::vector<double> taps{352.0, 845.0, 1356.0, 1849.0, 2351.0};
    std::vector<double> level = beatsAtTapLevel(fast, taps);
    ASSERT_EQ(level.size(), 20u);
    EXPECT_DOUBLE_EQ(level[0], 350.0);
    EXPECT_DOUBLE_EQ(level[1], 850.0);
    // On the even ones.
    taps = {98.0, 604.0, 1101.0, 1595.0};
    level = beatsAtTapLevel(fast, taps);
    ASSERT_EQ(level.size(), 20u);
    EXPECT_DOUBLE_EQ(level[0], 100.0);

    // Half time: every 1000 ms, taps every 500 ms -> doubled.
    std::vector<double> slow{0.0, 1000.0, 2000.0, 3000.0};
    level = beatsAtTapLevel(slow, {490.0, 1010.0, 1495.0, 2000.0});
    EXPECT_EQ(level, (std::vector<double>{0.0, 500.0, 1000.0, 1500.0, 2000.0, 2500.0, 3000.0}));
    // Taps four times as fast -> doubled twice.
    level = beatsAtTapLevel(slow, {0.0, 250.0, 500.0, 750.0, 1000.0});
    EXPECT_EQ(level.size(), 13u);
    EXPECT_DOUBLE_EQ(level[1], 250.0);

    // Same level, too few taps, or taps in any order.
    EXPECT_EQ(beatsAtTapLevel(slow, {0.0, 1010.0, 1990.0}), slow);
    EXPECT_EQ(beatsAtTapLevel(fast, {0.0, 500.0}), fast);
    EXPECT_EQ(beatsAtTapLevel(slow, {1495.0, 490.0, 2000.0, 1010.0}).size(), 7u);

    EXPECT_EQ(halveBeats({1.0, 2.0, 3.0, 4.0, 5.0}, 0), (std::vector<double>{1.0, 3.0, 5.0}));
    EXPECT_EQ(halveBeats({1.0, 2.0, 3.0, 4.0, 5.0}, 1), (std::vector<double>{2.0, 4.0}));
    EXPECT_EQ(doubleBeats({0.0, 10.0, 30.0}), (std::vector<double>{0.0, 5.0, 10.0, 20.0, 30.0}));
}

// The tempo read-out: beats placed on whole analysis frames (512 samples at 44.1 kHz)
// still give the tempo within a tenth of a BPM; where the tempo changes, the part that lasts
// longer gives it; too few beats give 0.
TEST(AnalysisTempo, ReadsTheTempoOfFrameAlignedBeats)
{
    const double hopMs = 1000.0 * 512 / 44100;
    auto onFrames = [&](double bpm, int beats, double fromMs) {
        std::vector<double> out;
        for (int i = 0; i < beats; ++i)
            out.push_back(std::round((fromMs + i * 60000.0 / bpm) / hopMs) * hopMs);
        return out;
    };
    for (double bpm : {70.0, 95.0, 120.0, 128.0, 174.0})
        EXPECT_NEAR(beatsPerMinute(onFrames(bpm, 120, 30.0)), bpm, 0.1) << bpm;
    // A short clip: spans of 4 beats.
    EXPECT_NEAR(beatsPerMinute(onFrames(120.0, 13, 0.0)), 120.0, 0.2);

    std::vector<double> change = onFrames(100.0, 40, 0.0);
    const std::vector<double> faster = onFrames(140.0, 100, change.back() + 60000.0 / 140.0);
    change.insert(change.end(), faster.begin(), faster.end());
    EXPECT_NEAR(beatsPerMinute(change), 140.0, 0.1);

    EXPECT_EQ(beatsPerMinute({}), 0.0);
    EXPECT_EQ(beatsPerMinute({500.0}), 0.0);
}

TEST(AnalysisLatency, MedianOffsetAgainstTheClicks)
{
    const ClickTrack track = makeClickTrack(120.0, 8, 44100);
    ASSERT_EQ(track.clicksMs.size(), 8u);
    EXPECT_DOUBLE_EQ(track.clicksMs[1] - track.clicksMs[0], 500.0);
    ASSERT_EQ(track.pcm.size(), size_t(4.0 * 44100));
    // A click at each beat, quiet in between.
    for (double c : track.clicksMs) {
        const size_t at = size_t(c * 44.1);
        short peak = 0;
        for (size_t i = at; i < at + 441; ++i)
            peak = std::max<short>(peak, short(std::abs(track.pcm[i])));
        EXPECT_GT(peak, 10000);
        EXPECT_EQ(track.pcm[at + 22050 - 100], 0);
    }

    // Late taps, one stray one (ignored), unsorted order.
    const std::vector<double> taps{540.0, 30.0, 1050.0, 1535.0, 2045.0, 2700.0, 3060.0};
    EXPECT_DOUBLE_EQ(medianTapOffset(taps, track.clicksMs), 42.5);
    // Early taps come out negative.
    EXPECT_DOUBLE_EQ(medianTapOffset({480.0, 985.0, 1475.0}, track.clicksMs), -20.0);
    EXPECT_DOUBLE_EQ(medianTapOffset({}, track.clicksMs), 0.0);
    EXPECT_DOUBLE_EQ(medianTapOffset({100.0}, {}), 0.0);
}

TEST(AnalysisPeaks, ColumnsMatchTheSamples)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const int rate = 8000;
    std::vector<float> s(size_t(rate) * 60); // a minute
    for (float& v : s)
        v = u(rng) * 0.5f;
    s[123456] = 0.99f;
    s[400000] = -0.97f;
    const WaveformPeaks p = WaveformPeaks::build(s.data(), s.size(), rate);
    ASSERT_GT(p.levelCount(), 3);
    EXPECT_LE(p.level(p.levelCount() - 1).size(), 256u);

    // The whole minute in 100 columns, against the samples themselves.
    const std::vector<PeakPair> cols = p.columns(0.0, 60000.0, 100);
    ASSERT_EQ(cols.size(), 100u);
    for (int c = 0; c < 100; ++c) {
        const size_t a = size_t(c) * s.size() / 100, b = size_t(c + 1) * s.size() / 100;
        const float lo = *std::min_element(s.begin() + long(a), s.begin() + long(b));
        const float hi = *std::max_element(s.begin() + long(a), s.begin() + long(b));
        // A column may read whole buckets a little past its edges, never less.
        EXPECT_LE(cols[size_t(c)].min, qint16(lo * 32767.0f) + 1) << c;
        EXPECT_GE(cols[size_t(c)].max, qint16(hi * 32767.0f) - 1) << c;
    }
    EXPECT_EQ(cols[size_t(123456 * 100 / s.size())].max, qint16(std::lround(0.99f * 32767.0f)));
    EXPECT_EQ(cols[size_t(400000 * 100 / s.size())].min, qint16(std::lround(-0.97f * 32767.0f)));
    // Zoomed in past one bucket per column; outside the sound is flat.
    const std::vector<PeakPair> zoom = p.columns(15432.0, 15433.0, 50);
    EXPECT_EQ(zoom[0].max, zoom[49].max);
    const std::vector<PeakPair> after = p.columns(61000.0, 62000.0, 10);
    EXPECT_EQ(after[5].min, 0);
    EXPECT_EQ(after[5].max, 0);
    EXPECT_TRUE(WaveformPeaks::build(nullptr, 0, rate).isEmpty());
}

AudioAnalysis sampleAnalysis()
{
    AudioAnalysis a;
    a.sampleRate = 44100;
    a.durationMs = 1234.5;
    a.bpm = 121.5;
    a.beatsMs = {10.5, 500.25, 1000.0};
    a.downbeatsMs = {10.5};
    a.onsetsMs = {9.0, 250.0, 499.0};
    std::vector<float> s(5000);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = std::sin(float(i) * 0.01f);
    a.peaks = WaveformPeaks::build(s.data(), s.size(), 44100);
    return a;
}

TEST(AnalysisCacheFile, RoundTripsAndRejectsDamage)
{
    const AudioAnalysis a = sampleAnalysis();
    const QByteArray key("abc123");
    const QByteArray bytes = AnalysisCache::encode(key, a);
    QString why;
    std::optional<AudioAnalysis> b = AnalysisCache::decode(bytes, key, &why);
    ASSERT_TRUE(b) << why.toStdString();
    EXPECT_EQ(b->sampleRate, a.sampleRate);
    EXPECT_EQ(b->durationMs, a.durationMs);
    EXPECT_EQ(b->bpm, a.bpm);
    EXPECT_EQ(b->beatsMs, a.beatsMs);
    EXPECT_EQ(b->downbeatsMs, a.downbeatsMs);
    EXPECT_EQ(b->onsetsMs, a.onsetsMs);
    EXPECT_EQ(b->reason, a.reason);
    EXPECT_EQ(b->peaks.sampleCount(), a.peaks.sampleCount());
    EXPECT_EQ(b->peaks.levelCount(), a.peaks.levelCount());
    const auto colsA = a.peaks.columns(0.0, 100.0, 7), colsB = b->peaks.columns(0.0, 100.0, 7);
    for (size_t i = 0; i < colsA.size(); ++i) {
        EXPECT_EQ(colsA[i].min, colsB[i].min);
        EXPECT_EQ(colsA[i].max, colsB[i].max);
    }

    // Every single flipped byte, anywhere in the file, is caught.
    for (int i = 0; i < bytes.size(); ++i) {
        QByteArray bad = bytes;
        bad[i] = char(bad[i] ^ 0x20);
        EXPECT_FALSE(AnalysisCache::decode(bad, key)) << "byte " << i;
    }
    EXPECT_FALSE(AnalysisCache::decode(bytes.left(bytes.size() - 1), key));
    EXPECT_FALSE(AnalysisCache::decode(bytes + QByteArray(1, 'x'), key));
    EXPECT_FALSE(AnalysisCache::decode(QByteArray(), key));
    // Another file's entry (a key collision in the file name) is not taken.
    EXPECT_FALSE(AnalysisCache::decode(bytes, QByteArray("other"), &why));
    // Another format version.
    QByteArray v2 = bytes;
    v2[8] = char(AnalysisCache::kFormatVersion + 1);
    EXPECT_FALSE(AnalysisCache::decode(v2, key, &why));
    EXPECT_EQ(why, QStringLiteral("other format version"));
}

TEST_F(AnalysisFiles, CacheStoresLoadsAndDropsDamagedFiles)
{
    const AnalysisCache cache(file("cache"));
    const QString sound = file("clicks.wav");
    writeClicks(sound, 120.0, 5.0);
    const QByteArray key = AnalysisCache::contentKey(sound);
    ASSERT_EQ(key.size(), 40);
    EXPECT_FALSE(cache.load(key));

    const AudioAnalysis a = sampleAnalysis();
    ASSERT_TRUE(cache.store(key, a));
    std::optional<AudioAnalysis> b = cache.load(key);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->beatsMs, a.beatsMs);

    // Same content elsewhere: same key; other content: another key.
    ASSERT_TRUE(QFile::copy(sound, file("copy.wav")));
    EXPECT_EQ(AnalysisCache::contentKey(file("copy.wav")), key);
    writeClicks(file("other.wav"), 121.0, 5.0);
    EXPECT_NE(AnalysisCache::contentKey(file("other.wav")), key);
    EXPECT_TRUE(AnalysisCache::contentKey(file("missing.wav")).isEmpty());

    // A damaged file is a miss and is removed.
    {
        QFile f(cache.pathFor(key));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(f.size() / 2);
        f.write("XXXX");
    }
    EXPECT_FALSE(cache.load(key));
    EXPECT_FALSE(QFile::exists(cache.pathFor(key)));

    // Cancelled work and undecodable sounds are not stored.
    AudioAnalysis cancelled = a;
    cancelled.reason = cancelledReason();
    EXPECT_FALSE(cache.store(key, cancelled));
    EXPECT_FALSE(cache.store(key, AudioAnalysis{}));
    EXPECT_FALSE(QFile::exists(cache.pathFor(key)));
}

} // namespace
} // namespace vk
