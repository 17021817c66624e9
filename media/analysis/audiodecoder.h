#pragma once
// Decodes the sound of a media file into one mono channel of 32-bit floats at the
// file's own sample rate, for analysis (beats, onsets, waveform). Mono because every
// analysis here looks at the whole mix; the native rate because resampling costs time
// and the analysis adapts its frame sizes to any rate.
//
// AudioDecoder hands the sound over in blocks of bounded size, so a long song is never
// in memory whole; decodeAudio() collects every block into one buffer, for the tests and
// the benchmarks.

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
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

// Decodes the first sound stream of a file block by block:
//
//   AudioDecoder decoder;
//   if (!decoder.open(path)) ... decoder.reason() ...
//   std::vector<float> block;
//   while (decoder.read(block)) ... block.size() <= AudioDecoder::kMaxBlock ...
//   if (!decoder.reason().isEmpty()) ... nothing decoded, or cancelled ...
//
// Samples are finite and within -4..4 (decoders hand out NaN or huge values on some
// damaged streams). Nothing throws.
class AudioDecoder {
public:
    // The most samples read() hands over at once; the decoder itself holds no more than
    // one decoded frame of the stream besides.
    static constexpr size_t kMaxBlock = 16384;

    AudioDecoder();
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Reading stops with reason "Cancelled" once *cancel turns true (cancel may be null).
    void setCancel(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    // Opens the file's first sound stream. False, with reason() set, for a file that does
    // not exist, that the container library cannot open, or that has no sound it can decode.
    bool open(const QString& path);
    int sampleRate() const { return m_sampleRate; }
    // The stream's length in samples as the container states it; 0 when unknown.
    size_t expectedSamples() const { return m_expected; }

    // Replaces `block` with the next samples (1..kMaxBlock of them) and returns true; at
    // the end of the stream, on a cancel or before a successful open(), returns false with
    // `block` empty.
    bool read(std::vector<float>& block);
    // Samples handed over so far.
    size_t samplesRead() const { return m_read; }

    // Empty while all is well. Once read() returned false: "Cancelled", or when the
    // stream gave no samples at all "Damaged file" (decoding errors) or "No sound in the
    // file". After a failed open(): why it failed.
    QString reason() const { return m_reason; }

private:
    struct Codec;
    bool decodeMore();

    std::unique_ptr<Codec> m_codec;
    const std::atomic<bool>* m_cancel = nullptr;
    std::vector<float> m_pending; // converted samples of the last frame not yet handed over
    size_t m_pendingAt = 0;
    int m_sampleRate = 0;
    size_t m_expected = 0;
    size_t m_read = 0;
    QString m_reason;
    bool m_ended = false;
};

// Decodes the whole first sound stream of `path` into one buffer. Stops early and
// returns reason "Cancelled" once *cancel turns true (cancel may be null). A file with
// no sound stream, a file the container library cannot open or a stream that yields no
// samples gives an empty result with a reason; nothing throws.
DecodedAudio decodeAudio(const QString& path, const std::atomic<bool>* cancel = nullptr,
                         const ProgressFn& progress = {});

// Writes mono or interleaved 16-bit PCM as a plain RIFF/WAVE file, for generated test and
// benchmark material. Returns false when the file cannot be written.
bool writeWav16(const QString& path, const std::vector<float>& interleaved, int sampleRate, int channels);

} // namespace vk
