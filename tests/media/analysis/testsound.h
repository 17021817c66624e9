#pragma once
// Sounds for the analysis tests, made here: click tracks with known beats written as WAV,
// and the beat F-measure to score what the analysis found.

#include "media/analysis/audiodecoder.h"
#include "tests/support/testmedia.h"
#include "timeline/beatsnap.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vk::testsound {

// A click track `seconds` long at `bpm` as a WAV file; returns the click times.
inline std::vector<double> writeClicks(const QString& path, double bpm, double seconds, int rate = 44100,
                                       int channels = 1)
{
    const int beats = int(seconds * bpm / 60.0);
    const ClickTrack track = makeClickTrack(bpm, beats, rate);
    std::vector<float> pcm;
    pcm.reserve(track.pcm.size() * size_t(channels));
    for (short s : track.pcm)
        for (int c = 0; c < channels; ++c)
            pcm.push_back(float(s) / 32767.0f);
    writeWav16(path, pcm, rate, channels);
    return track.clicksMs;
}

// A song in 4/4 at 120 BPM: a click on every beat, louder and higher on the first of
// each bar, and a bass note that changes with each bar (A, F, C, G) as chords do. Bars
// start every 2 s from 0.
inline std::vector<float> barsSong(int rate, double seconds)
{
    const double roots[] = {110.0, 87.31, 130.81, 98.0};
    std::vector<float> pcm(size_t(seconds * rate));
    for (size_t n = 0; n < pcm.size(); ++n) {
        const double t = double(n) / rate;
        const double inBeat = std::fmod(t, 0.5);
        const bool first = std::fmod(t, 2.0) < 0.5;
        const double click = std::exp(-60.0 * inBeat) * std::sin(2 * M_PI * (first ? 2400.0 : 1600.0) * t);
        const double root = roots[int(t / 2.0) % 4];
        const double bass = 0.3 * (1.0 - 0.25 * std::fmod(t, 2.0)) * std::sin(2 * M_PI * root * t);
        pcm[n] = float(0.5 * click + bass);
    }
    return pcm;
}

inline void writeSilence(const QString& path, double seconds, int rate = 44100)
{
    writeWav16(path, std::vector<float>(size_t(seconds * rate), 0.0f), rate, 1);
}

// Runs ffmpeg with the given arguments, output last; true when it succeeded.
inline bool ffmpeg(const QStringList& args)
{
    return testmedia::RunFfmpeg(args);
}

// Beat F-measure: each true beat matches at most one found beat within ±tolerance.
inline double fMeasure(const std::vector<double>& truth, const std::vector<double>& found, double toleranceMs = 70.0)
{
    if (truth.empty() || found.empty())
        return 0.0;
    std::vector<bool> used(found.size(), false);
    size_t hits = 0;
    for (double t : truth) {
        for (size_t i = 0; i < found.size(); ++i) {
            if (!used[i] && std::fabs(found[i] - t) <= toleranceMs) {
                used[i] = true;
                ++hits;
                break;
            }
        }
    }
    const double p = double(hits) / found.size();
    const double r = double(hits) / truth.size();
    return p + r > 0 ? 2 * p * r / (p + r) : 0.0;
}

} // namespace vk::testsound
