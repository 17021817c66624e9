#pragma once
// Beats, tempo, bars and onsets of a sound, found with the qm-dsp library: a
// complex-spectral-difference detection function (DetectionFunction), its peaks as
// onsets (PeakPicking), TempoTrackV2 for the beat period and the beat positions, and
// DownBeat for the first beat of each bar. All times are milliseconds from the start of
// the sound.
//
// The tracker prefers tempi near 120 BPM, so a slow song can come back at double and a
// fast one at half its felt tempo: beatlevel.h changes the level of a list of beats.

#include "media/analysis/audiodecoder.h"
#include "media/analysis/waveformpeaks.h"

#include <QString>

#include <atomic>
#include <functional>
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

// Takes the next block of a sound (mono samples, any count); false when it wants no more.
using SoundSink = std::function<bool(const float* samples, size_t count)>;
// Hands a whole sound to the sink block by block, from its start and in order, until the
// sound ends or the sink returns false. Returns an empty string, or the reason the sound
// could not be read (a decoder's reason(); "Cancelled").
using SoundSource = std::function<QString(const SoundSink& sink)>;

// Analyses a sound handed over in blocks, in memory that does not grow with its length
// beyond what the result keeps (peaks, onsets, beats) and the detection function (one
// value every 10-12 ms). The source is read twice: once for the peaks, onsets and beats,
// and once more for the bars, whose spectra are taken beat by beat once the beats are
// known. expectedSamples (0: unknown) only drives the progress. Progress runs from 0 to
// 1; cancel (may be null) stops the work early with reason "Cancelled". The result does
// not depend on how the sound is cut into blocks. Never throws.
AudioAnalysis analyseSound(int sampleRate, size_t expectedSamples, const SoundSource& source,
                           const std::atomic<bool>* cancel = nullptr, const ProgressFn& progress = {});

// Analyses mono samples in memory (analyseSound over one block).
AudioAnalysis analyseSamples(const std::vector<float>& mono, int sampleRate, const std::atomic<bool>* cancel = nullptr,
                             const ProgressFn& progress = {});

// Decodes the file block by block (AudioDecoder) and analyses it (analyseSound); the
// file is decoded twice, and never held whole.
AudioAnalysis analyseFile(const QString& path, const std::atomic<bool>* cancel = nullptr,
                          const ProgressFn& progress = {});

} // namespace vk
