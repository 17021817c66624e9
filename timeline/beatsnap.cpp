#include "timeline/beatsnap.h"

#include <algorithm>
#include <cmath>

namespace vk {

namespace {

// The element of an ascending list nearest to t, or nullptr for an empty list.
const double* nearest(const std::vector<double>& v, double t)
{
    if (v.empty())
        return nullptr;
    auto it = std::lower_bound(v.begin(), v.end(), t);
    if (it == v.end())
        return &v.back();
    if (it != v.begin() && t - *(it - 1) <= *it - t)
        return &*(it - 1);
    return &*it;
}

} // namespace

SnapResult snapTap(double tapMs, const std::vector<double>& beats, const std::vector<double>& onsets, double windowMs)
{
    if (const double* b = nearest(beats, tapMs); b && std::fabs(*b - tapMs) <= windowMs)
        return {*b, SnapTarget::Beat};
    if (const double* o = nearest(onsets, tapMs); o && std::fabs(*o - tapMs) <= windowMs)
        return {*o, SnapTarget::Onset};
    return {tapMs, SnapTarget::None};
}

double medianTapOffset(const std::vector<double>& tapsMs, const std::vector<double>& clicksMs)
{
    if (clicksMs.empty())
        return 0.0;
    double interval = 0.0;
    if (clicksMs.size() > 1)
        interval = (clicksMs.back() - clicksMs.front()) / double(clicksMs.size() - 1);
    std::vector<double> offsets;
    for (double t : tapsMs) {
        const double* c = nearest(clicksMs, t);
        const double d = t - *c;
        if (interval > 0.0 && std::fabs(d) > interval / 4)
            continue;
        offsets.push_back(d);
    }
    if (offsets.empty())
        return 0.0;
    std::sort(offsets.begin(), offsets.end());
    const size_t n = offsets.size();
    return n % 2 ? offsets[n / 2] : 0.5 * (offsets[n / 2 - 1] + offsets[n / 2]);
}

ClickTrack makeClickTrack(double bpm, int beats, int sampleRate)
{
    ClickTrack track;
    if (bpm <= 0.0 || beats <= 0 || sampleRate <= 0)
        return track;
    track.sampleRate = sampleRate;
    const double intervalMs = 60000.0 / bpm;
    const size_t total = size_t(std::ceil((beats * intervalMs) * sampleRate / 1000.0));
    track.pcm.assign(total, 0);
    const int clickLength = sampleRate / 20; // 50 ms
    for (int k = 0; k < beats; ++k) {
        const double at = k * intervalMs;
        track.clicksMs.push_back(at);
        const double freq = (k % 4 == 0) ? 2000.0 : 1000.0;
        const size_t start = size_t(std::llround(at * sampleRate / 1000.0));
        for (int i = 0; i < clickLength && start + size_t(i) < total; ++i) {
            const double t = double(i) / sampleRate;
            const double v = 0.8 * std::exp(-t * 80.0) * std::sin(2.0 * M_PI * freq * t);
            track.pcm[start + size_t(i)] = short(std::lround(v * 32767.0));
        }
    }
    return track;
}

std::vector<double> beatSplitPoints(const std::vector<double>& beats, double fromMs, double toMs, int everyBeats)
{
    std::vector<double> out;
    const int every = std::max(1, everyBeats);
    auto it = std::lower_bound(beats.begin(), beats.end(), fromMs);
    for (long k = 0; it != beats.end() && *it < toMs; ++it, ++k) {
        if (k % every == 0 && *it > fromMs)
            out.push_back(*it);
    }
    return out;
}

std::vector<double> barSplitPoints(const std::vector<double>& beats, const std::vector<double>& bars, double fromMs,
                                   double toMs, int everyBeats)
{
    const int every = std::max(1, everyBeats);
    if (bars.empty() || every == 1)
        return beatSplitPoints(beats, fromMs, toMs, every);
    // The beat index of each bar line.
    std::vector<long> barAt;
    for (double b : bars) {
        const auto it = std::lower_bound(beats.begin(), beats.end(), b);
        if (it != beats.end() && *it == b)
            barAt.push_back(long(it - beats.begin()));
    }
    if (barAt.empty())
        return beatSplitPoints(beats, fromMs, toMs, every);
    auto lengthOf = [&](size_t bar) {
        // A bar's beats up to the next bar line; the last (and a lone) bar as the one before.
        if (bar + 1 < barAt.size())
            return barAt[bar + 1] - barAt[bar];
        return barAt.size() >= 2 ? barAt[barAt.size() - 1] - barAt[barAt.size() - 2] : 4L;
    };
    std::vector<double> out;
    size_t bar = 0; // the bar of beat i, once i reached the first bar line
    for (long i = 0; i < long(beats.size()); ++i) {
        const double t = beats[size_t(i)];
        while (bar + 1 < barAt.size() && barAt[bar + 1] <= i)
            ++bar;
        long length = lengthOf(0);
        long barNumber = 0, inBar = 0;
        if (i < barAt.front()) {
            // Before the first bar line: bars of the first one's length, counted back.
            const long back = barAt.front() - i;
            barNumber = -((back + length - 1) / length);
            inBar = (length - back % length) % length;
        } else {
            length = std::max(1L, lengthOf(bar));
            barNumber = long(bar);
            inBar = i - barAt[bar];
        }
        if (t <= fromMs || t >= toMs)
            continue;
        const bool cut =
            every < length ? inBar % every == 0 : inBar == 0 && barNumber % std::max(1L, long(every) / length) == 0;
        if (cut)
            out.push_back(t);
    }
    return out;
}

} // namespace vk
