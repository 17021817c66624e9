#pragma once
// Decodes the sound of a media file into one mono channel of 32-bit floats at the
// file's own sample rate, for analysis (beats, onsets, waveform). Mono because every
// analysis here looks at the whole mix; the native rate because resampling costs time
// and the analysis adapts its frame sizes to any rate.

#include <QString>

#include <atomic>
#include <functional>
#include <vector>

namespace vk {

struct DecodedAudio {
    std::vector<float> samples; // mono, the channels averaged, range about -1..1
    int sampleRate = 0;
    QString reason; // empty when decoding worked; else a short status-line text

    bool ok() const { return reason.isEmpty() && sampleRate > 0; }
    double durationMs() const { return sampleRate > 0 ? 1000.0 * double(samples.size()) / sampleRate : 0.0; }
};

// The reason of a result whose work was cancelled; such a result is never cached or shown.
inline QString cancelledReason()
{
    return QStringLiteral("Cancelled");
}

// Progress is a fraction 0..1 of the file's duration (as far as the container knows it).
using ProgressFn = std::function<void(double)>;

// Decodes the first sound stream of `path`. Stops early and returns reason "Cancelled"
// once *cancel turns true (cancel may be null). A file with no sound stream, a file the
// container library cannot open or a stream that yields no samples gives an empty result
// with a reason; nothing throws.
DecodedAudio decodeAudio(const QString& path, const std::atomic<bool>* cancel = nullptr,
                         const ProgressFn& progress = {});

// Writes mono or interleaved 16-bit PCM as a plain RIFF/WAVE file, for generated test and
// benchmark material. Returns false when the file cannot be written.
bool writeWav16(const QString& path, const std::vector<float>& interleaved, int sampleRate, int channels);

} // namespace vk
