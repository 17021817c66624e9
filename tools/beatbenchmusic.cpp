// The beat analysis benchmark on real music.
//
// Recorded songs whose beats come from their making: the note chart written to the
// recording (a standard MIDI file) carries the tempo map, and every quarter note of it is
// a reference beat. tools/realmusic.sh prepares the set from Debian's song packages as
// <song>.flac with <song>.mid beside it.

#include "media/analysis/audiodecoder.h"
#include "media/analysis/beatanalysis.h"
#include "media/analysis/beatlevel.h"
#include "timeline/beatgrid.h"
#include "timeline/beatsnap.h"
#include "tools/beatbench.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

namespace vk::beatbench {

namespace {

// The tempo map of a standard MIDI file: ticks per quarter note and every tempo change.
struct TempoMap {
    int ticksPerQuarter = 0;
    std::vector<std::pair<long, double>> tempi; // tick, microseconds per quarter note; ascending
};

// Reads the tempo changes of every track. Returns false for a file that is not a MIDI file
// with a tick-based time division.
bool readTempoMap(const QString& path, TempoMap* map)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const size_t n = size_t(bytes.size());
    auto be = [&](size_t at, int len) {
        unsigned long v = 0;
        for (int i = 0; i < len; ++i)
            v = (v << 8) | b[at + size_t(i)];
        return v;
    };
    if (n < 14 || bytes.left(4) != "MThd")
        return false;
    const int tracks = int(be(10, 2));
    const int division = int(be(12, 2));
    if (division <= 0 || (division & 0x8000))
        return false;
    map->ticksPerQuarter = division;
    map->tempi.clear();
    size_t at = 8 + be(4, 4);
    for (int t = 0; t < tracks && at + 8 <= n; ++t) {
        if (bytes.mid(int(at), 4) != "MTrk")
            return false;
        const size_t end = std::min(n, at + 8 + be(at + 4, 4));
        size_t i = at + 8;
        long tick = 0;
        unsigned char status = 0;
        auto number = [&] { // a variable-length quantity
            unsigned long v = 0;
            while (i < end) {
                const unsigned char c = b[i++];
                v = (v << 7) | (c & 0x7f);
                if (!(c & 0x80))
                    break;
            }
            return v;
        };
        while (i < end) {
            tick += long(number());
            if (i >= end)
                break;
            const unsigned char c = b[i];
            if (c == 0xff) {
                const unsigned char type = i + 1 < end ? b[i + 1] : 0;
                i += 2;
                const size_t len = number();
                if (type == 0x51 && len == 3 && i + 3 <= end)
                    map->tempi.emplace_back(tick, double(be(i, 3)));
                i += len;
            } else if (c == 0xf0 || c == 0xf7) {
                ++i;
                i += number();
            } else {
                if (c & 0x80) {
                    status = c;
                    ++i;
                }
                const int kind = status >> 4;
                i += (kind == 0xc || kind == 0xd) ? 1 : 2;
            }
        }
        at = end;
    }
    std::stable_sort(map->tempi.begin(), map->tempi.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    if (map->tempi.empty() || map->tempi.front().first > 0)
        map->tempi.insert(map->tempi.begin(), {0L, 500000.0}); // the file format's default, 120 BPM
    return true;
}

// The time of a tick through the tempo changes before it.
double tickMs(const TempoMap& map, long tick)
{
    double ms = 0.0;
    for (size_t k = 0; k < map.tempi.size(); ++k) {
        const long start = map.tempi[k].first;
        const long next = k + 1 < map.tempi.size() ? map.tempi[k + 1].first : std::numeric_limits<long>::max();
        const double msPerTick = map.tempi[k].second / 1000.0 / map.ticksPerQuarter;
        if (tick <= next)
            return ms + double(tick - start) * msPerTick;
        ms += double(next - start) * msPerTick;
    }
    return ms;
}

// The first and last note of the chart, in ms: the stretch of the song the chart was
// written for.
std::pair<double, double> chartSpan(const QString& path, const TempoMap& map)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {0.0, 0.0};
    const QByteArray bytes = f.readAll();
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const size_t n = size_t(bytes.size());
    long first = -1, last = -1;
    for (size_t at = 14; at + 8 <= n;) {
        const size_t length =
            (size_t(b[at + 4]) << 24) | (size_t(b[at + 5]) << 16) | (size_t(b[at + 6]) << 8) | b[at + 7];
        const size_t end = std::min(n, at + 8 + length);
        size_t i = at + 8;
        long tick = 0;
        unsigned char status = 0;
        auto number = [&] {
            unsigned long v = 0;
            while (i < end) {
                const unsigned char c = b[i++];
                v = (v << 7) | (c & 0x7f);
                if (!(c & 0x80))
                    break;
            }
            return v;
        };
        while (i < end) {
            tick += long(number());
            if (i >= end)
                break;
            const unsigned char c = b[i];
            if (c == 0xff) {
                i += 2;
                i += number();
            } else if (c == 0xf0 || c == 0xf7) {
                ++i;
                i += number();
            } else {
                if (c & 0x80) {
                    status = c;
                    ++i;
                }
                const int kind = status >> 4;
                if (kind == 0x9 && i + 1 < end && b[i + 1] > 0) {
                    first = first < 0 ? tick : std::min(first, tick);
                    last = std::max(last, tick);
                }
                i += (kind == 0xc || kind == 0xd) ? 1 : 2;
            }
        }
        at = end;
    }
    if (first < 0)
        return {0.0, 0.0};
    return {tickMs(map, first), tickMs(map, last)};
}

// Every quarter note of the tempo map from the start up to untilMs.
std::vector<double> quarterBeats(const TempoMap& map, double untilMs)
{
    std::vector<double> out;
    for (long tick = 0;; tick += map.ticksPerQuarter) {
        const double ms = tickMs(map, tick);
        if (ms >= untilMs)
            break;
        out.push_back(ms);
    }
    return out;
}

// Where the song sounds: from the first to the last 50 ms window louder than 30 dB below
// the song's loudest window. Outside it (a count-in of silence, a long fade) there is no
// beat to find.
std::pair<double, double> soundingSpan(const std::vector<float>& mono, int rate)
{
    const size_t window = size_t(rate / 20);
    std::vector<double> rms;
    for (size_t at = 0; at + window <= mono.size(); at += window) {
        double sum = 0.0;
        for (size_t i = at; i < at + window; ++i)
            sum += double(mono[i]) * mono[i];
        rms.push_back(std::sqrt(sum / window));
    }
    if (rms.empty())
        return {0.0, 0.0};
    const double loud = *std::max_element(rms.begin(), rms.end()) / 31.6;
    size_t first = 0, last = rms.size() - 1;
    while (first < last && rms[first] < loud)
        ++first;
    while (last > first && rms[last] < loud)
        --last;
    return {50.0 * double(first), 50.0 * double(last + 1)};
}

std::vector<double> within(const std::vector<double>& v, double from, double to)
{
    std::vector<double> out;
    for (double x : v)
        if (x >= from && x <= to)
            out.push_back(x);
    return out;
}

// Every other beat from beat `phase`.
std::vector<double> everyOther(const std::vector<double>& v, size_t phase)
{
    std::vector<double> out;
    for (size_t i = phase; i < v.size(); i += 2)
        out.push_back(v[i]);
    return out;
}

// A person tapping along: each beat late by kTapLateMs on average, with a gaussian spread.
constexpr double kTapSpreadMs = 20.0;
constexpr double kTapLateMs = 10.0;
std::vector<double> tapsOn(const std::vector<double>& beats, size_t from, size_t count, std::mt19937& rng)
{
    std::normal_distribution<double> spread(kTapLateMs, kTapSpreadMs);
    std::vector<double> out;
    for (size_t i = from; i < std::min(beats.size(), from + count); ++i)
        out.push_back(beats[i] + spread(rng));
    return out;
}

// How late a recording that starts on its first beat begins to sound: the delay its
// making added before beat one (an encoder's delay; 22-35 ms in some of the packaged
// songs). A recording that starts later than a quarter of a beat starts with a rest or a
// fade, and gives nothing to measure: 0.
double startDelayMs(const std::vector<float>& mono, int rate, double beatMs)
{
    const size_t head = std::min(mono.size(), size_t(3 * rate));
    float peak = 0.0f;
    for (size_t i = 0; i < head; ++i)
        peak = std::max(peak, std::fabs(mono[i]));
    for (size_t i = 0; i < head; ++i) {
        if (std::fabs(mono[i]) > 0.1f * peak) {
            const double ms = 1000.0 * double(i) / rate;
            return ms < beatMs / 4 ? ms : 0.0;
        }
    }
    return 0.0;
}

struct Song {
    QString name;
    AudioAnalysis analysis;
    std::vector<double> beats; // the reference, within the sounding span
    double fromMs = 0.0, toMs = 0.0;
    double delayMs = 0.0;
    double bpm = 0.0;
};

std::vector<Song> loadSongs(const QString& folder)
{
    std::vector<Song> songs;
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.flac")}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QString base = QDir(folder).filePath(QFileInfo(file).completeBaseName());
        TempoMap map;
        if (!readTempoMap(base + QStringLiteral(".mid"), &map))
            continue;
        const DecodedAudio audio = decodeAudio(QDir(folder).filePath(file));
        if (!audio.ok())
            continue;
        Song song;
        song.name = QFileInfo(file).completeBaseName();
        song.analysis = analyseSamples(audio.samples, audio.sampleRate);
        std::vector<double> beats = quarterBeats(map, audio.durationMs());
        song.delayMs = startDelayMs(audio.samples, audio.sampleRate, beats.size() > 1 ? beats[1] - beats[0] : 0.0);
        for (double& b : beats)
            b += song.delayMs;
        // The beats where the chart has notes and the song sounds: a held chord ringing out
        // after the last note has no beat to find.
        const auto sounding = soundingSpan(audio.samples, audio.sampleRate);
        const auto charted = chartSpan(base + QStringLiteral(".mid"), map);
        song.fromMs = std::max(sounding.first, charted.first + song.delayMs);
        song.toMs = std::min(sounding.second, charted.second + song.delayMs);
        song.beats = within(beats, song.fromMs, song.toMs);
        song.bpm = beatsPerMinute(song.beats);
        songs.push_back(std::move(song));
    }
    return songs;
}

// Median |error| of every beat of `level` tapped (the same spread) and snapped to `beats`
// with the editor's rule; the share of those more than 35 ms off in *far.
double snappedError(const std::vector<double>& level, const std::vector<double>& beats,
                    const std::vector<double>& onsets, std::mt19937& rng, double* far)
{
    const std::vector<double> taps = tapsOn(level, 0, level.size(), rng);
    std::vector<double> errors;
    size_t farCount = 0;
    for (size_t i = 0; i < taps.size(); ++i) {
        const double e = snapTap(taps[i], beats, onsets).ms - level[i];
        errors.push_back(e);
        farCount += std::fabs(e) > 35.0 ? 1 : 0;
    }
    *far = errors.empty() ? 0.0 : double(farCount) / double(errors.size());
    return medianAbs(errors);
}

} // namespace

bool realMusicTable(const QString& folder)
{
    constexpr int kTaps = 8;
    const std::vector<Song> songs = loadSongs(folder);
    if (songs.empty()) {
        std::printf(
            "\nreal music: skipped - no prepared songs in %s\n"
            "  (tools/setup.sh bench installs the song packages and prepares them; or run tools/realmusic.sh)\n",
            qPrintable(folder));
        return true;
    }
    std::printf(
        "\nReal music: %zu recorded songs, reference beats from the tempo maps of their charts. F-measure at\n"
        "±%.0f ms and median |error| of matched beats (ms) over the whole song; taps with a %.0f ms spread,\n"
        "%.0f ms late. \"taps\": the level of the taps (every beat, every other beat), the first %d taps of the\n"
        "song given to today's level rule (before) and to the tap-corrected grid (after); \"snapped\": every\n"
        "beat of that level tapped and snapped to the beats in use, median |error| and share > 35 ms.\n"
        "Targets after the correction: F >= 0.97, median |error| <= 10 ms.\n\n",
        songs.size(), kToleranceMs, kTapSpreadMs, kTapLateMs, kTaps);
    std::printf("%-22s %6s %6s %5s | %6s %5s | %-5s %6s %6s %5s %5s %5s %5s %4s %4s %5s\n", "song", "BPM", "found",
                "delay", "F ref", "|err|", "taps", "F bef", "F aft", "|err|", "|err|", "snap", "snap", ">35", ">35",
                "ratio");
    std::printf("%-22s %6s %6s %5s | %6s %5s | %-5s %6s %6s %5s %5s %5s %5s %4s %4s %5s\n", "", "", "", "ms", "", "",
                "", "", "", "bef", "aft", "bef", "aft", "bef", "aft", "");
    bool allOk = true;
    std::vector<double> allAfter, pooledErrors[2];
    size_t pooledMatched[2] = {0, 0}, pooledCount[2] = {0, 0};
    double worstF = 1.0;
    for (const Song& song : songs) {
        const AudioAnalysis& a = song.analysis;
        auto inSpan = [&](const std::vector<double>& v) {
            return within(v, song.fromMs - kToleranceMs, song.toMs + kToleranceMs);
        };
        const Match ref = evaluate(song.beats, inSpan(a.beatsMs));
        const BeatGrid grid(a.beatsMs, a.onsetsMs);
        for (int every : {1, 2}) {
            const std::vector<double> level = every == 1 ? song.beats : everyOther(song.beats, 0);
            std::mt19937 rng(unsigned(song.beats.size() * 10 + size_t(every)));
            const std::vector<double> taps = tapsOn(level, 0, kTaps, rng);
            const std::vector<double> before = beatsAtTapLevel(a.beatsMs, taps);
            BeatGrid::Fit fit;
            const std::vector<double> after = grid.beatsFor(taps, &fit);
            const Match mb = evaluate(level, inSpan(before));
            const Match ma = evaluate(level, inSpan(after));
            double farBefore = 0.0, farAfter = 0.0;
            std::mt19937 tapRng{unsigned(every)};
            const double snapBefore = snappedError(level, before, a.onsetsMs, tapRng, &farBefore);
            tapRng.seed(unsigned(every));
            const double snapAfter = snappedError(level, after, a.onsetsMs, tapRng, &farAfter);
            for (int k = 0; k < 2; ++k) {
                const Match& m = k == 0 ? mb : ma;
                pooledMatched[k] += m.errors.size();
                pooledCount[k] += level.size() + inSpan(k == 0 ? before : after).size();
                pooledErrors[k].insert(pooledErrors[k].end(), m.errors.begin(), m.errors.end());
            }
            const bool ok = ma.f >= 0.97 && medianAbs(ma.errors) <= 10.0;
            allOk = allOk && ok;
            worstF = std::min(worstF, ma.f);
            allAfter.push_back(medianAbs(ma.errors));
            char ratio[16];
            std::snprintf(ratio, sizeof ratio, fit.used ? "%.2g%s" : "-", fit.ratio, fit.retimed ? "t" : "");
            if (every == 1)
                std::printf("%-22s %6.1f %6.1f %5.0f | %6.3f %5.1f | ", qPrintable(song.name), song.bpm, a.bpm,
                            song.delayMs, ref.f, medianAbs(ref.errors));
            else
                std::printf("%-22s %6s %6s %5s | %6s %5s | ", "", "", "", "", "", "");
            std::printf("%-5s %6.3f %6.3f %5.1f %5.1f %5.1f %5.1f %3.0f%% %3.0f%% %5s %s\n",
                        every == 1 ? "every" : "other", mb.f, ma.f, medianAbs(mb.errors), medianAbs(ma.errors),
                        snapBefore, snapAfter, 100.0 * farBefore, 100.0 * farAfter, ratio, mark(ok));
        }
    }
    std::printf("all songs and both tap levels together: F %.3f before, %.3f after; median |error| %.1f ms before, "
                "%.1f ms after\n",
                2.0 * double(pooledMatched[0]) / double(pooledCount[0]),
                2.0 * double(pooledMatched[1]) / double(pooledCount[1]), medianAbs(pooledErrors[0]),
                medianAbs(pooledErrors[1]));
    std::printf("after the correction, song by song: lowest F %.3f (target >= 0.97), largest median |error| %.1f ms "
                "(target <= 10)\n",
                worstF, *std::max_element(allAfter.begin(), allAfter.end()));
    return allOk;
}

} // namespace vk::beatbench
