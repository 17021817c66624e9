#pragma once
// Beats, tempo, bars and onsets of a sound, found with the qm-dsp library: a
// complex-spectral-difference detection function (DetectionFunction), its peaks as
// onsets (PeakPicking), TempoTrackV2 for the beat period and the beat positions, and
// DownBeat for the first beat of each bar. All times are milliseconds from the start of
// the sound.
//
// The tracker prefers tempi near 120 BPM, so a slow song can come back at double and a
// fast one at half its felt tempo. beatsAtTapLevel() resolves that from the user's own
// taps; halveBeats()/doubleBeats() change the level by hand.

#include "media/analysis/audiodecoder.h"
#include "media/analysis/waveformpeaks.h"

#include <QString>

#include <atomic>
#include <vector>

namespace vk {

struct AudioAnalysis {
    // Empty when beats were found; else why not, short enough for a status line
    // ("Too short for beats", "Silence", "No beats found", "No sound in the file",
    // "Damaged file", "Damaged or unknown file", "File not found", "Cancelled").
    QString reason;
    int sampleRate = 0;
    double durationMs = 0.0;
    double bpm = 0.0;                // from the median beat spacing; 0 without beats
    std::vector<double> beatsMs;     // ascending
    std::vector<double> downbeatsMs; // the bars' first beats: a subset of beatsMs
    std::vector<double> onsetsMs;    // ascending; may hold onsets even when beats are missing
    WaveformPeaks peaks;             // empty only when nothing could be decoded

    bool hasBeats() const { return !beatsMs.empty(); }
};

// Shortest sound the tracker is given: below it there are too few beats to find a tempo.
constexpr double kMinBeatSoundMs = 4000.0;

// Analyses mono samples. Progress runs from 0 to 1; cancel (may be null) stops the work
// early with reason "Cancelled". Never throws.
AudioAnalysis analyseSamples(const std::vector<float>& mono, int sampleRate, const std::atomic<bool>* cancel = nullptr,
                             const ProgressFn& progress = {});

// Decodes the file and analyses it; decoding takes the first half of the progress range.
AudioAnalysis analyseFile(const QString& path, const std::atomic<bool>* cancel = nullptr,
                          const ProgressFn& progress = {});

// Every other beat, starting with beat `phase` (0 or 1).
std::vector<double> halveBeats(const std::vector<double>& beats, int phase = 0);
// A beat added halfway between each pair of neighbours.
std::vector<double> doubleBeats(const std::vector<double>& beats);

// The beats at the metrical level of the user's taps: the median tap spacing is compared
// with the median beat spacing and the beats are halved or doubled (up to twice) until
// they match; when halving, the half that lies closer to the taps is kept. Fewer than
// three taps, or no beats, leave the beats as they are. The bars (downbeatsMs) are not
// touched: doubling keeps every downbeat among the beats, halving keeps those of the
// phase the taps chose.
std::vector<double> beatsAtTapLevel(const std::vector<double>& beats, const std::vector<double>& tapsMs);

// The median spacing of ascending times; 0 for fewer than two.
double medianSpacing(const std::vector<double>& times);

// The tempo of ascending beat times, in beats per minute (0 with fewer than two beats):
// the median spacing over spans of several beats, so beats placed on whole analysis
// frames still give the tempo to a tenth of a BPM.
double beatsPerMinute(const std::vector<double>& beatsMs);

} // namespace vk
