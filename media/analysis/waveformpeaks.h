#pragma once
// Min/max peaks of a sound at several resolutions, so a waveform strip can draw any
// stretch of a long song at any zoom by reading a few buckets per pixel column instead of
// every sample. Level 0 holds one min/max pair per kBaseBucket samples; each further level
// merges kFactor buckets of the level below, until a level has at most a few hundred
// buckets. Values are 16-bit (full scale 32767) to keep a 10-minute song's pyramid near
// 2 MB in memory and in the cache.

#include <QtGlobal>

#include <cstddef>
#include <vector>

namespace vk {

struct PeakPair {
    qint16 min = 0;
    qint16 max = 0;
};

class WaveformPeaks {
public:
    static constexpr int kBaseBucket = 64; // samples per level-0 bucket
    static constexpr int kFactor = 4;      // buckets of one level merged into one of the next

    WaveformPeaks() = default;

    // Builds the pyramid from mono samples handed over in blocks of any size, so the
    // sound need not be in memory whole; finish() gives what build() gives for all the
    // samples at once.
    class Builder {
    public:
        // expectedSamples (0: unknown) only sizes the level-0 list ahead.
        explicit Builder(int sampleRate, size_t expectedSamples = 0);
        void add(const float* samples, size_t count);
        size_t sampleCount() const { return m_count; }
        WaveformPeaks finish();

    private:
        std::vector<PeakPair> m_base;
        size_t m_count = 0;
        float m_lo = 0.0f; // of the bucket being filled
        float m_hi = 0.0f;
        int m_sampleRate = 0;
    };

    // Builds the whole pyramid from mono samples (full scale -1..1; louder values clip).
    static WaveformPeaks build(const float* samples, size_t count, int sampleRate);
    // Rebuilds the coarser levels from a stored level 0 (see base()); used by the cache.
    static WaveformPeaks fromBase(std::vector<PeakPair> base, size_t sampleCount, int sampleRate);

    bool isEmpty() const { return m_levels.empty(); }
    int sampleRate() const { return m_sampleRate; }
    size_t sampleCount() const { return m_sampleCount; }
    int levelCount() const { return int(m_levels.size()); }
    // Samples covered by one bucket of `level`.
    size_t bucketSamples(int level) const;
    const std::vector<PeakPair>& level(int level) const { return m_levels[size_t(level)]; }
    const std::vector<PeakPair>& base() const { return m_levels.front(); }

    // The min/max of each of `columns` equal slices of [fromMs, toMs): what a strip
    // `columns` pixels wide draws for that time range. Slices outside the sound are
    // {0, 0}. Each slice reads the coarsest level whose buckets still fit in it, so the
    // cost depends on the column count, not on the range's length. When a slice is
    // narrower than one level-0 bucket the bucket under it is returned.
    std::vector<PeakPair> columns(double fromMs, double toMs, int columns) const;

private:
    void buildUpperLevels();

    std::vector<std::vector<PeakPair>> m_levels;
    size_t m_sampleCount = 0;
    int m_sampleRate = 0;
};

} // namespace vk
