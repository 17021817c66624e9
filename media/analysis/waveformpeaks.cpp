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

WaveformPeaks WaveformPeaks::build(const float* samples, size_t count, int sampleRate)
{
    WaveformPeaks p;
    if (!samples || count == 0 || sampleRate <= 0)
        return p;
    std::vector<PeakPair> base((count + kBaseBucket - 1) / kBaseBucket);
    for (size_t b = 0; b < base.size(); ++b) {
        const float* s = samples + b * kBaseBucket;
        const float* e = samples + std::min(count, (b + 1) * kBaseBucket);
        float lo = *s, hi = *s;
        for (++s; s < e; ++s) {
            lo = std::min(lo, *s);
            hi = std::max(hi, *s);
        }
        base[b] = {toPeak(lo), toPeak(hi)};
    }
    return fromBase(std::move(base), count, sampleRate);
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
