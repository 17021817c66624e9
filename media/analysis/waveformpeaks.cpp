#include "media/analysis/waveformpeaks.h"

#include <algorithm>
#include <cmath>

namespace vk {

namespace {

qint16 toPeak(float v)
{
    return qint16(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
}

} // namespace

WaveformPeaks::Builder::Builder(int sampleRate, size_t expectedSamples) : m_sampleRate(sampleRate)
{
    // A container's stated length may be wrong: beyond 4 MB the list grows as it fills.
    m_base.reserve(std::min<size_t>(expectedSamples / kBaseBucket + 1, size_t(1) << 20));
}

void WaveformPeaks::Builder::add(const float* samples, size_t count)
{
    if (!samples)
        return;
    while (count > 0) {
        const size_t filled = m_count % kBaseBucket;
        if (filled == 0 && count >= size_t(kBaseBucket)) {
            // Whole buckets straight from the block.
            float lo = samples[0], hi = samples[0];
            for (int i = 1; i < kBaseBucket; ++i) {
                lo = std::min(lo, samples[i]);
                hi = std::max(hi, samples[i]);
            }
            m_base.push_back({toPeak(lo), toPeak(hi)});
            samples += kBaseBucket;
            count -= kBaseBucket;
            m_count += kBaseBucket;
            continue;
        }
        if (filled == 0) {
            m_lo = m_hi = *samples;
        } else {
            m_lo = std::min(m_lo, *samples);
            m_hi = std::max(m_hi, *samples);
        }
        ++samples;
        --count;
        if (++m_count % kBaseBucket == 0)
            m_base.push_back({toPeak(m_lo), toPeak(m_hi)});
    }
}

WaveformPeaks WaveformPeaks::Builder::finish()
{
    if (m_count % kBaseBucket != 0)
        m_base.push_back({toPeak(m_lo), toPeak(m_hi)});
    std::vector<PeakPair> base;
    base.swap(m_base);
    const size_t count = m_count;
    m_count = 0;
    return fromBase(std::move(base), count, m_sampleRate);
}

WaveformPeaks WaveformPeaks::build(const float* samples, size_t count, int sampleRate)
{
    if (!samples || count == 0 || sampleRate <= 0)
        return {};
    Builder builder(sampleRate, count);
    builder.add(samples, count);
    return builder.finish();
}

WaveformPeaks WaveformPeaks::fromBase(std::vector<PeakPair> base, size_t sampleCount, int sampleRate)
{
    WaveformPeaks p;
    if (base.empty() || sampleRate <= 0)
        return p;
    p.m_sampleCount = sampleCount;
    p.m_sampleRate = sampleRate;
    p.m_levels.push_back(std::move(base));
    p.buildUpperLevels();
    return p;
}

void WaveformPeaks::buildUpperLevels()
{
    while (m_levels.back().size() > 256) {
        const std::vector<PeakPair>& below = m_levels.back();
        std::vector<PeakPair> up((below.size() + kFactor - 1) / kFactor);
        for (size_t i = 0; i < up.size(); ++i) {
            const size_t from = i * kFactor;
            const size_t to = std::min(below.size(), from + kFactor);
            PeakPair m = below[from];
            for (size_t k = from + 1; k < to; ++k) {
                m.min = std::min(m.min, below[k].min);
                m.max = std::max(m.max, below[k].max);
            }
            up[i] = m;
        }
        m_levels.push_back(std::move(up));
    }
}

size_t WaveformPeaks::bucketSamples(int level) const
{
    size_t n = kBaseBucket;
    for (int i = 0; i < level; ++i)
        n *= kFactor;
    return n;
}

std::vector<PeakPair> WaveformPeaks::columns(double fromMs, double toMs, int columns) const
{
    std::vector<PeakPair> out(size_t(std::max(columns, 0)));
    if (isEmpty() || columns <= 0 || !(toMs > fromMs))
        return out;
    const double samplesPerMs = m_sampleRate / 1000.0;
    const double perColumn = (toMs - fromMs) * samplesPerMs / columns;
    // The coarsest level whose bucket is no wider than a column.
    int lvl = 0;
    while (lvl + 1 < levelCount() && double(bucketSamples(lvl + 1)) <= perColumn)
        ++lvl;
    const std::vector<PeakPair>& data = m_levels[size_t(lvl)];
    const double bucket = double(bucketSamples(lvl));
    const double start = fromMs * samplesPerMs;
    for (int c = 0; c < columns; ++c) {
        const double a = start + c * perColumn;
        const double b = a + perColumn;
        if (b <= 0.0 || a >= double(m_sampleCount))
            continue;
        const long long first = std::max(0LL, (long long)std::floor(std::max(a, 0.0) / bucket));
        long long last = (long long)std::ceil(std::min(b, double(m_sampleCount)) / bucket) - 1;
        last = std::min<long long>(std::max(last, first), (long long)data.size() - 1);
        if (first > last)
            continue;
        PeakPair m = data[size_t(first)];
        for (long long k = first + 1; k <= last; ++k) {
            m.min = std::min(m.min, data[size_t(k)].min);
            m.max = std::max(m.max, data[size_t(k)].max);
        }
        out[size_t(c)] = m;
    }
    return out;
}

} // namespace vk
