#include "media/analysis/beatlevel.h"

#include <algorithm>
#include <cmath>

namespace vk {

double medianSpacing(const std::vector<double>& times)
{
    if (times.size() < 2)
        return 0.0;
    std::vector<double> d;
    d.reserve(times.size() - 1);
    for (size_t i = 1; i < times.size(); ++i)
        d.push_back(times[i] - times[i - 1]);
    std::nth_element(d.begin(), d.begin() + long(d.size() / 2), d.end());
    return d[d.size() / 2];
}

double beatsPerMinute(const std::vector<double>& beatsMs)
{
    // Beats are read off detection frames (11.6 ms apart at 44.1 kHz), so the spacing of
    // neighbours can be off by up to a frame. The median over the longest span of beats that
    // still gives a few spans (16, 8 or 4 beats) spreads that over the span: a steady
    // song's tempo comes out to a tenth of a BPM, and a tempo change still wins the
    // median where it lasts.
    double spacing = 0.0;
    for (size_t span : {size_t(16), size_t(8), size_t(4)}) {
        std::vector<double> every;
        for (size_t i = 0; i < beatsMs.size(); i += span)
            every.push_back(beatsMs[i]);
        if (every.size() >= 3) {
            spacing = medianSpacing(every) / double(span);
            break;
        }
    }
    if (spacing <= 0.0)
        spacing = medianSpacing(beatsMs);
    return spacing > 0.0 ? 60000.0 / spacing : 0.0;
}

std::vector<double> halveBeats(const std::vector<double>& beats, int phase)
{
    std::vector<double> out;
    for (size_t i = size_t(phase != 0 ? 1 : 0); i < beats.size(); i += 2)
        out.push_back(beats[i]);
    return out;
}

std::vector<double> doubleBeats(const std::vector<double>& beats)
{
    std::vector<double> out;
    out.reserve(beats.size() * 2);
    for (size_t i = 0; i < beats.size(); ++i) {
        out.push_back(beats[i]);
        if (i + 1 < beats.size())
            out.push_back(0.5 * (beats[i] + beats[i + 1]));
    }
    return out;
}

namespace {

// Sum of each tap's distance to its nearest beat, capped so a stray tap weighs little.
double tapDistance(const std::vector<double>& beats, const std::vector<double>& taps, double cap)
{
    double sum = 0.0;
    for (double t : taps) {
        auto it = std::lower_bound(beats.begin(), beats.end(), t);
        double d = cap;
        if (it != beats.end())
            d = std::min(d, *it - t);
        if (it != beats.begin())
            d = std::min(d, t - *(it - 1));
        sum += d;
    }
    return sum;
}

} // namespace

std::vector<double> beatsAtTapLevel(const std::vector<double>& beats, const std::vector<double>& tapsMs)
{
    if (beats.size() < 2 || tapsMs.size() < 3)
        return beats;
    std::vector<double> taps(tapsMs);
    std::sort(taps.begin(), taps.end());
    const double tapSpacing = medianSpacing(taps);
    const double beatSpacing = medianSpacing(beats);
    if (tapSpacing <= 0.0 || beatSpacing <= 0.0)
        return beats;
    // Powers of two only: the tracker's errors are octave errors. Ratios near 3 (taps on
    // every third beat) are rounded to the nearer power as well.
    const int octaves = std::clamp(int(std::lround(std::log2(tapSpacing / beatSpacing))), -2, 2);
    std::vector<double> out(beats);
    for (int i = 0; i < octaves; ++i) {
        std::vector<double> even = halveBeats(out, 0);
        std::vector<double> odd = halveBeats(out, 1);
        const double cap = medianSpacing(out);
        out = tapDistance(even, taps, cap) <= tapDistance(odd, taps, cap) ? even : odd;
    }
    for (int i = 0; i > octaves; --i)
        out = doubleBeats(out);
    return out;
}

} // namespace vk
