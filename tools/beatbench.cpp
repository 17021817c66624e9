// Beat analysis figures against their targets, on drum tracks synthesised here with known
// beats and bars: steady kits from 70 to 174 BPM, a swung one, one that changes tempo, one
// under noise and a pad, one that starts with silence, one with a bass line. Each track is written to a WAV
// file and analysed from the file, as the editor does.
//
// Printed per track: the beat F-measure at ±70 ms as the tracker returns the beats and at
// the level of simulated taps (the tracker can land on half or double tempo), the median
// absolute and signed error of matched beats, the share of bars whose first beat was
// found (the bar finder reads harmonic change, so a kit alone, whose beats 1 and 3 sound
// alike, gives it nothing to go on; the tracks with a pad or a bass line show it at work), and the median error of taps with a 25 ms spread before and after snapping.
// Then the speed on a 4-minute stereo 44.1 kHz song, decoding included, as wall time and
// as the thread's CPU time (on a busy machine the wall time also counts waiting for a
// core; the CPU time is the work itself), and the time to build and read the waveform
// peaks of a 10-minute song.
//
// Then the same figures on real recorded songs (beatbenchmusic.cpp), before and after the
// taps correct the grid, when tools/realmusic.sh has prepared them.
//
// Usage: beatbench [--songs folder] [--real-only] [scratch folder]
//   --songs: the prepared real-music set (default: ../realmusic beside the program)

#include "tools/beatbench.h"
#include "media/analysis/analysiscache.h"
#include "media/analysis/audiodecoder.h"
#include "media/analysis/beatanalysis.h"
#include "media/analysis/beatlevel.h"
#include "media/analysis/waveformpeaks.h"
#include "timeline/beatgrid.h"
#include "timeline/beatsnap.h"

#ifdef VK_BENCH_AUBIO
#include <aubio/aubio.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <random>
#include <vector>

namespace {

using namespace vk;
using namespace vk::beatbench;

constexpr int kRate = 44100;

struct Track {
    const char* name;
    std::vector<float> mono;
    std::vector<double> beatsMs;
    std::vector<double> downbeatsMs;
    bool steady = true;
};

// One tempo segment: beats from startMs at bpm until endMs.
struct Segment {
    double bpm;
    double endMs;
};

class Synth {
public:
    explicit Synth(double seconds, unsigned seed) : m_out(size_t(seconds * kRate), 0.0f), m_rng(seed) {}

    void kick(double ms, float gain = 0.9f)
    {
        double phase = 0.0;
        forEach(ms, 0.35, [&](double t) {
            const double f = 50.0 + 100.0 * std::exp(-t * 30.0);
            phase += 2.0 * M_PI * f / kRate;
            return gain * std::exp(-t * 9.0) * std::sin(phase);
        });
    }
    void snare(double ms, float gain = 0.5f)
    {
        std::normal_distribution<double> n(0.0, 1.0);
        forEach(ms, 0.2, [&](double t) {
            return gain * std::exp(-t * 22.0) * (0.6 * n(m_rng) * 0.5 + 0.4 * std::sin(2 * M_PI * 190.0 * t));
        });
    }
    void hat(double ms, float gain = 0.18f)
    {
        std::normal_distribution<double> n(0.0, 1.0);
        double prev = 0.0;
        forEach(ms, 0.05, [&](double t) {
            const double x = n(m_rng);
            const double hp = x - prev; // a crude high-pass: hats are mostly top end
            prev = x;
            return gain * std::exp(-t * 90.0) * hp * 0.5;
        });
    }
    // A bass note held for a bar, as a bass line changes at the bar line.
    void bass(double ms, double barMs, double freq)
    {
        forEach(ms, barMs / 1000.0, [&](double t) {
            return 0.3 * std::min(1.0, t * 200.0) * std::exp(-t * 1.5) * std::sin(2 * M_PI * freq * t);
        });
    }
    // A sustained chord under everything, changing every `barMs`.
    void pad(double barMs, float gain)
    {
        const double chords[4][3] = {
            {220.0, 277.2, 329.6}, {196.0, 246.9, 293.7}, {174.6, 220.0, 261.6}, {196.0, 246.9, 311.1}};
        for (size_t i = 0; i < m_out.size(); ++i) {
            const double t = double(i) / kRate;
            const int c = int(t * 1000.0 / barMs) % 4;
            double v = 0.0;
            for (double f : chords[c])
                v += std::sin(2 * M_PI * f * t) + 0.3 * std::sin(2 * M_PI * 2 * f * t + 0.5);
            m_out[i] += float(gain * v / 4.0);
        }
    }
    void noise(float gain)
    {
        std::normal_distribution<double> n(0.0, 1.0);
        double b = 0.0;
        for (float& s : m_out) {
            b = 0.97 * b + 0.03 * n(m_rng) * 4.0; // darker than white, like a crowd or tape
            s += float(gain * b);
        }
    }
    void silence(double untilMs)
    {
        std::fill(m_out.begin(), m_out.begin() + std::min(m_out.size(), size_t(untilMs * kRate / 1000.0)), 0.0f);
    }
    std::vector<float> take() { return std::move(m_out); }

private:
    template <typename F>
    void forEach(double ms, double seconds, F f)
    {
        const size_t start = size_t(std::llround(ms * kRate / 1000.0));
        const size_t n = size_t(seconds * kRate);
        for (size_t i = 0; i < n && start + i < m_out.size(); ++i)
            m_out[start + i] += float(f(double(i) / kRate));
    }

    std::vector<float> m_out;
    std::mt19937 m_rng;
};

// A bar of four: kick on 1 and 3 (and the "and" of 3), snare on 2 and 4, hats on the
// eighths; swing delays the off-beat eighths to two thirds of the beat.
Track makeKit(const char* name, const std::vector<Segment>& segments, double seconds, unsigned seed,
              double startMs = 0.0, double swing = 0.5, float noiseGain = 0.0f, float padGain = 0.0f,
              bool bassLine = false)
{
    Track t;
    t.name = name;
    t.steady = segments.size() == 1;
    Synth s(seconds, seed);
    double at = startMs;
    int beat = 0;
    const double endMs = seconds * 1000.0 - 400.0;
    for (const Segment& seg : segments) {
        const double interval = 60000.0 / seg.bpm;
        while (at < std::min(seg.endMs, endMs)) {
            const int inBar = beat % 4;
            t.beatsMs.push_back(at);
            if (inBar == 0) {
                t.downbeatsMs.push_back(at);
                if (bassLine) {
                    const double notes[4] = {55.0, 73.4, 61.7, 82.4};
                    s.bass(at, 4 * interval, notes[(beat / 4) % 4]);
                }
            }
            if (inBar == 0 || inBar == 2)
                s.kick(at);
            if (inBar == 2)
                s.kick(at + interval * swing, 0.6f);
            if (inBar == 1 || inBar == 3)
                s.snare(at);
            s.hat(at);
            s.hat(at + interval * swing, 0.12f);
            at += interval;
            ++beat;
        }
    }
    if (padGain > 0.0f)
        s.pad(4 * 60000.0 / segments.front().bpm, padGain);
    if (noiseGain > 0.0f)
        s.noise(noiseGain);
    if (startMs > 0.0)
        s.silence(startMs);
    t.mono = s.take();
    return t;
}

#ifdef VK_BENCH_AUBIO
// The same file through aubio's tempo tracker (its default method, 1024/512 at the file's
// rate), for comparison only.
std::vector<double> aubioBeats(const QString& path, double* elapsedMs)
{
    const auto t0 = Clock::now();
    const DecodedAudio audio = decodeAudio(path);
    std::vector<double> beats;
    const uint_t hop = 512;
    aubio_tempo_t* tempo = new_aubio_tempo("default", 1024, hop, uint_t(audio.sampleRate));
    fvec_t* in = new_fvec(hop);
    fvec_t* out = new_fvec(1);
    for (size_t at = 0; at + hop <= audio.samples.size(); at += hop) {
        for (uint_t i = 0; i < hop; ++i)
            in->data[i] = audio.samples[at + i];
        aubio_tempo_do(tempo, in, out);
        if (out->data[0] != 0.0f)
            beats.push_back(aubio_tempo_get_last_ms(tempo));
    }
    del_fvec(out);
    del_fvec(in);
    del_aubio_tempo(tempo);
    *elapsedMs = msSince(t0);
    return beats;
}
#endif

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir scratch;
    QString dir = scratch.path();
    // The prepared real-music set: build/realmusic beside build/bin unless told.
    QString songs = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteDir().filePath(QStringLiteral("../realmusic"));
    bool realOnly = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QStringLiteral("--songs") && i + 1 < argc)
            songs = QString::fromLocal8Bit(argv[++i]);
        else if (arg == QStringLiteral("--real-only"))
            realOnly = true;
        else
            dir = arg;
    }
    QDir().mkpath(dir);
    if (realOnly) {
        const bool ok = realMusicTable(QDir::cleanPath(songs));
        std::printf("\n%s\n", ok ? "all targets met" : "some targets missed");
        return 0;
    }

    std::vector<Track> tracks;
    const double len = 90.0;
    for (double bpm : {70.0, 95.0, 120.0, 128.0, 150.0, 174.0}) {
        static char names[6][16];
        char* name = names[tracks.size()];
        std::snprintf(name, 16, "kit %3.0f", bpm);
        tracks.push_back(makeKit(name, {{bpm, 1e9}}, len, unsigned(bpm)));
    }
    tracks.push_back(makeKit("swing 120", {{120.0, 1e9}}, len, 7, 0.0, 2.0 / 3.0));
    Track change = makeKit("100->130", {{100.0, 45000.0}, {130.0, 1e9}}, len, 8);
    tracks.push_back(change);
    tracks.push_back(makeKit("noise+pad 128", {{128.0, 1e9}}, len, 9, 0.0, 0.5, 0.08f, 0.12f));
    tracks.push_back(makeKit("3 s silence", {{120.0, 1e9}}, len, 10, 3000.0));
    tracks.push_back(makeKit("kit+bass 120", {{120.0, 1e9}}, len, 12, 0.0, 0.5, 0.0f, 0.0f, true));

    std::printf(
        "Beat analysis (qm-dsp): F-measure at ±%.0f ms; targets F >= 0.95 on steady tracks at the tapped level,\n"
        "median |error| <= 10 ms, snapped taps median |error| <= 5 ms\n\n",
        kToleranceMs);
    std::printf("%-14s %6s %6s %6s %6s %7s %7s %7s %7s %7s %6s\n", "track", "BPM", "found", "F raw", "F taps", "|err|",
                "err", "bars", "tap", "snapped", "");
    std::mt19937 rng(42);
    std::vector<double> allSnapped, allRaw;
    bool allOk = true;
    for (const Track& t : tracks) {
        const QString path = dir + QStringLiteral("/%1.wav").arg(QString::fromLatin1(t.name)
                                                                     .simplified()
                                                                     .replace(QLatin1Char(' '), QLatin1Char('_'))
                                                                     .replace(QLatin1Char('>'), QLatin1Char('_')));
        writeWav16(path, t.mono, kRate, 1);
        const AudioAnalysis a = analyseFile(path);
        if (!a.hasBeats()) {
            std::printf("%-14s no beats: %s\n", t.name, qPrintable(a.reason));
            allOk = false;
            continue;
        }
        // Sixteen taps in the middle of the track at the true beat level, 25 ms spread.
        std::normal_distribution<double> spread(0.0, 25.0);
        std::vector<double> taps;
        const size_t mid = t.beatsMs.size() / 2;
        for (size_t i = mid; i < std::min(t.beatsMs.size(), mid + 16); ++i)
            taps.push_back(t.beatsMs[i] + spread(rng));
        const std::vector<double> leveled = BeatGrid(a.beatsMs, a.onsetsMs).beatsFor(taps);
        const Match raw = evaluate(t.beatsMs, a.beatsMs);
        const Match lev = evaluate(t.beatsMs, leveled);
        const Match bars = evaluate(t.downbeatsMs, a.downbeatsMs);
        const double barShare = double(bars.errors.size()) / t.downbeatsMs.size();

        // Every true beat tapped with a 25 ms spread, then snapped.
        std::vector<double> rawErr, snapErr;
        for (double b : t.beatsMs) {
            const double tap = b + spread(rng);
            rawErr.push_back(tap - b);
            snapErr.push_back(snapTap(tap, leveled, a.onsetsMs).ms - b);
        }
        allRaw.insert(allRaw.end(), rawErr.begin(), rawErr.end());
        allSnapped.insert(allSnapped.end(), snapErr.begin(), snapErr.end());
        const bool ok = (!t.steady || lev.f >= 0.95) && medianAbs(lev.errors) <= 10.0 && medianAbs(snapErr) <= 5.0;
        allOk = allOk && ok;
        std::printf("%-14s %6.1f %6zu %6.3f %6.3f %7.1f %7.1f %6.0f%% %7.1f %7.1f   %s\n", t.name, a.bpm,
                    a.beatsMs.size(), raw.f, lev.f, medianAbs(lev.errors), median(lev.errors), 100.0 * barShare,
                    medianAbs(rawErr), medianAbs(snapErr), mark(ok));
#ifdef VK_BENCH_AUBIO
        double aubioMs = 0.0;
        const std::vector<double> ab = aubioBeats(path, &aubioMs);
        const Match abRaw = evaluate(t.beatsMs, ab);
        const Match abLev = evaluate(t.beatsMs, beatsAtTapLevel(ab, taps));
        std::printf("%-14s %6.1f %6zu %6.3f %6.3f %7.1f %7.1f   (aubio, %.0f ms)\n", "", 60000.0 / medianSpacing(ab),
                    ab.size(), abRaw.f, abLev.f, medianAbs(abLev.errors), median(abLev.errors), aubioMs);
#endif
    }
    std::printf("\nall tracks: taps median |error| %.1f ms, snapped %.1f ms (target <= 5)\n", medianAbs(allRaw),
                medianAbs(allSnapped));

    allOk = realMusicTable(QDir::cleanPath(songs)) && allOk;

    // Speed: a 4-minute stereo 44.1 kHz song, from the WAV file, decoding included.
    {
        Track song = makeKit("song", {{128.0, 1e9}}, 240.0, 11, 0.0, 0.5, 0.03f, 0.1f);
        std::vector<float> stereo(song.mono.size() * 2);
        for (size_t i = 0; i < song.mono.size(); ++i) {
            stereo[2 * i] = song.mono[i];
            stereo[2 * i + 1] = song.mono[i] * 0.8f;
        }
        const QString path = dir + QStringLiteral("/song.wav");
        writeWav16(path, stereo, kRate, 2);
        std::vector<double> times, cpuTimes;
        AudioAnalysis a;
        for (int run = 0; run < 3; ++run) {
            const auto t0 = Clock::now();
            const double c0 = threadCpuMs();
            a = analyseFile(path);
            cpuTimes.push_back(threadCpuMs() - c0);
            times.push_back(msSince(t0));
        }
        const double ms = *std::min_element(times.begin(), times.end());
        const double cpuMs = median(cpuTimes);
        const double c0 = threadCpuMs();
        const DecodedAudio decoded = decodeAudio(path);
        const double decodeMs = threadCpuMs() - c0;
        const bool fast = std::min(ms, cpuMs) <= 1200.0;
        allOk = allOk && fast;
        std::printf(
            "\nspeed: 4-minute stereo song analysed from its WAV file, decoding included:\n"
            "       wall %.0f ms (best of 3) = %.0fx real time; CPU %.0f ms (decoding %.0f ms) = %.0fx real time\n"
            "       target >= 200x, <= 1200 ms: %s (beats found: %zu)\n",
            ms, 240000.0 / ms, cpuMs, decodeMs, 240000.0 / cpuMs, fast ? "met" : "MISSED", a.beatsMs.size());
#ifdef VK_BENCH_AUBIO
        double aubioMs = 0.0;
        aubioBeats(path, &aubioMs);
        std::printf("       aubio's tempo tracker on the same file: %.0f ms (%.0fx real time)\n", aubioMs,
                    240000.0 / aubioMs);
#endif
        (void)decoded;
        // The grid the taps correct is built once per analysis, on the editor's thread.
        std::vector<double> gridTimes;
        for (int run = 0; run < 3; ++run) {
            const auto g0 = Clock::now();
            const BeatGrid grid(a.beatsMs, a.onsetsMs);
            gridTimes.push_back(msSince(g0));
            (void)grid;
        }
        std::printf("       beat grid of the same song built in %.1f ms (best of 3; once per analysis)\n",
                    *std::min_element(gridTimes.begin(), gridTimes.end()));

        // The cache: what opening the same song again costs instead.
        const AnalysisCache cache(dir + QStringLiteral("/cache"));
        const auto k0 = Clock::now();
        const QByteArray key = AnalysisCache::contentKey(path);
        const double keyMs = msSince(k0);
        const auto s0 = Clock::now();
        cache.store(key, a);
        const double storeMs = msSince(s0);
        const auto l0 = Clock::now();
        const std::optional<AudioAnalysis> back = cache.load(key);
        const double loadMs = msSince(l0);
        std::printf("cache: content hash of the %.0f MB file %.0f ms, store %.1f ms, load %.1f ms (%s, %.0f kB)\n",
                    QFileInfo(path).size() / 1e6, keyMs, storeMs, loadMs,
                    back && back->beatsMs == a.beatsMs ? "same beats" : "FAILED",
                    QFileInfo(cache.pathFor(key)).size() / 1e3);
    }

    // Waveform peaks of a 10-minute song: build, then one full view and one zoomed view.
    {
        std::vector<float> ten(size_t(600.0 * kRate));
        std::mt19937 r(3);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        for (float& s : ten)
            s = u(r) * 0.5f;
        const auto t0 = Clock::now();
        const WaveformPeaks peaks = WaveformPeaks::build(ten.data(), ten.size(), kRate);
        const double buildMs = msSince(t0);
        const auto t1 = Clock::now();
        std::vector<PeakPair> cols = peaks.columns(0.0, 600000.0, 2000);
        const double fullMs = msSince(t1);
        const auto t2 = Clock::now();
        cols = peaks.columns(300000.0, 302000.0, 2000);
        const double zoomMs = msSince(t2);
        std::printf("waveform peaks: 10-minute song built in %.1f ms (%d levels); 2000 columns of the whole song "
                    "in %.3f ms, of 2 s in %.3f ms\n",
                    buildMs, peaks.levelCount(), fullMs, zoomMs);
    }
    std::printf("\n%s\n", allOk ? "all targets met" : "some targets missed");
    return 0;
}
