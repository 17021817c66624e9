#include "timeline/beatgrid.h"

#include "timeline/beatmedian.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vk {

namespace {

// The lattice counts in quarters of the tracker's beat period: a tracker slips by a half
// or a quarter beat, never less.
constexpr double kUnitsPerBeat = 4.0;
// A tracker period within this many octaves of a power of two times the usual one is the
// tracker on another level for a while, not a change of tempo.
constexpr double kOctaveSlack = 0.12;
// Tracker beats on each side that give the lattice around a beat, and how its unit is
// searched: ±kSearchSteps steps of kCoarseStep around the tracker's period, then as many
// of kFineStep around the best.
constexpr size_t kWindow = 16;
constexpr int kSearchSteps = 40;
constexpr double kCoarseStep = 0.001;
constexpr double kFineStep = 0.00005;
// A lattice fits the beats around one where their phases on it agree this well (the
// length of their mean as unit vectors: 1 when all agree, 0.5-0.9 for a tracker that
// follows the music, about 0.2 for one that wanders).
constexpr double kSettledResultant = 0.35;
// Beats on each side over which the unit is taken, and how well the lattice of a beat
// must fit against the best there to have a say.
constexpr size_t kTempoWindow = 32;
constexpr double kGoodFit = 0.85;
// Units within this ratio of the song's usual one count as its usual tempo; fewer beats
// than kExcursionBeats in a row away from it are a tracker's excursion.
constexpr double kUsualSlack = 0.06;
constexpr size_t kExcursionBeats = 24;
// Tracker beats on each side of a change of tempo that are left out of both parts; the
// anchors whose line gives the tempo on each side; how near (in units of the new tempo)
// the beats of both sides must come to meet.
constexpr double kChangeMargin = 8.0;
constexpr size_t kEdgeFit = 16;
constexpr double kMeetSlack = 0.3;
// Anchors whose line gives the tempo before the first and after the last anchor: a long
// line, as it may reach back over a few seconds where the tracker was still settling.
constexpr size_t kEndFit = 64;
// Anchors on each side whose line smooths an anchor.
constexpr size_t kSmoothing = 8;
// Levels of the taps against the tracker, in lattice units per tap: 1/4, 1/3, 1/2, 2/3,
// 1, 3/2, 2, 3 and 4 tracker beats.
constexpr double kTapUnits[] = {1.0, 4.0 / 3.0, 2.0, 8.0 / 3.0, 4.0, 6.0, 8.0, 12.0, 16.0};
// How far the tap spacing may be from a level (as a ratio) and still count as that level.
constexpr double kLevelSlack = 0.15;
// Tap intervals within this ratio of their median belong to one steady run of taps.
constexpr double kRunSlack = 1.35;
// A steady run has at least this many taps.
constexpr size_t kMinRun = 3;
// Taps and lattice disagree when the line through the taps' differences from it reaches
// this far: beyond a tap's usual spread (about ±20 ms) and a left-over latency.
constexpr double kRetimeMs = 30.0;
// A tap further than this from its line is a stray in the timing fit.
constexpr double kStrayTapMs = 60.0;
// The onsets keep to the lattice when the mean of their phases on it (as unit vectors)
// is at least this long: about 0.05 for onsets at random places, 0.3-0.6 in music.
constexpr double kSteadyResultant = 0.2;
constexpr size_t kMinJudgedOnsets = 16;

// The typical interval of a few: the mean of those near their median, so that intervals
// on whole analysis frames still average to the real period.
double typicalInterval(std::vector<double> v)
{
    const double m = medianOf(v);
    double sum = 0.0;
    int n = 0;
    for (double x : v) {
        if (x > m / 1.15 && x < m * 1.15) {
            sum += x;
            ++n;
        }
    }
    return n > 0 ? sum / n : m;
}

// Least-squares slope of ms over index.
template <typename It>
double slopeOf(It first, It last)
{
    const double n = double(std::distance(first, last));
    if (n < 2)
        return 0.0;
    double sx = 0, sy = 0;
    for (It it = first; it != last; ++it) {
        sx += it->index;
        sy += it->ms;
    }
    const double mx = sx / n, my = sy / n;
    double sxx = 0, sxy = 0;
    for (It it = first; it != last; ++it) {
        sxx += (it->index - mx) * (it->index - mx);
        sxy += (it->index - mx) * (it->ms - my);
    }
    return sxx > 0 ? sxy / sxx : 0.0;
}

// The least-squares line of ms over index, at x.
template <typename It>
double lineAt(It first, It last, double x)
{
    const double n = double(std::distance(first, last));
    double mx = 0, my = 0;
    for (It it = first; it != last; ++it) {
        mx += it->index;
        my += it->ms;
    }
    mx /= n;
    my /= n;
    return my + slopeOf(first, last) * (x - mx);
}

// The tracker's beats up to the last one that has an attack of the sound within a beat
// of it. After the last attack (a band ringing out, a fade) the tracker keeps counting on
// its own, often at a tempo of its own and all the more evenly for having nothing to
// follow; with their better fit those beats would set the lattice's tempo over the last
// bars of the music. The lattice is built on the beats before them and carried on past
// them at the tempo there. The start keeps all its beats: a quiet intro can have a beat
// the tracker follows before the onsets show any attack. Without onsets, or when fewer
// than half the beats would be left, all of them.
std::vector<double> heardBeats(const std::vector<double>& beats, const std::vector<double>& onsets)
{
    if (beats.size() < 2 || onsets.empty())
        return beats;
    std::vector<double> intervals;
    for (size_t i = 1; i < beats.size(); ++i)
        intervals.push_back(beats[i] - beats[i - 1]);
    const double reach = typicalInterval(intervals);
    auto heard = [&](double b) {
        auto it = std::lower_bound(onsets.begin(), onsets.end(), b - reach);
        return it != onsets.end() && *it <= b + reach;
    };
    size_t last = beats.size();
    while (last > 0 && !heard(beats[last - 1]))
        --last;
    if (2 * last < beats.size())
        return beats;
    return std::vector<double>(beats.begin(), beats.begin() + long(last));
}

} // namespace

BeatGrid::BeatGrid(std::vector<double> beats, const std::vector<double>& onsets) : m_beats(std::move(beats))
{
    buildLattice(heardBeats(m_beats, onsets));
    m_steady = m_beats.size() < 2 || onsetsKeepToLattice(onsets);
}

void BeatGrid::buildLattice(const std::vector<double>& beats)
{
    const size_t n = beats.size();
    if (n < 2)
        return;
    std::vector<double> intervals(n - 1);
    for (size_t i = 0; i + 1 < n; ++i)
        intervals[i] = beats[i + 1] - beats[i];
    const double overall = typicalInterval(intervals);

    // The length of a unit at each beat: the one at which the most of its neighbours fall
    // on lattice points, searched near the tracker's period there (brought back to its
    // usual level where the tracker switched to half or double for a while). Beats that
    // slip by a quarter or a half beat, or lock onto another level, still fall on lattice
    // points; beats that drift off for a few or wander are few in the window.
    std::vector<double> unit(n);
    std::vector<double> fit(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t from = i >= kWindow ? i - kWindow : 0;
        const size_t to = std::min(n, i + kWindow + 1);
        const size_t ifrom = std::min(from, intervals.size() - 1);
        const size_t ito = std::max(ifrom + 1, std::min(to - 1, intervals.size()));
        double period =
            typicalInterval(std::vector<double>(intervals.begin() + long(ifrom), intervals.begin() + long(ito)));
        const double octaves = std::log2(period / overall);
        const double whole = std::round(octaves);
        if (whole != 0.0 && std::fabs(octaves - whole) < kOctaveSlack)
            period /= std::exp2(whole);
        auto resultant = [&](double u) {
            double c = 0.0, s = 0.0;
            for (size_t j = from; j < to; ++j) {
                const double turn = 2.0 * M_PI * (beats[j] - beats[i]) / u;
                c += std::cos(turn);
                s += std::sin(turn);
            }
            return std::hypot(c, s) / double(to - from);
        };
        double best = period / kUnitsPerBeat, bestLength = -1.0;
        for (double step : {kCoarseStep, kFineStep}) {
            const double centre = best;
            for (int k = -kSearchSteps; k <= kSearchSteps; ++k) {
                const double u = centre * (1.0 + k * step);
                const double length = resultant(u);
                if (length > bestLength) {
                    bestLength = length;
                    best = u;
                }
            }
        }
        // The unit to the last digit: the line through the neighbours that sit on the
        // lattice, each at its count of units.
        double c = 0.0, s = 0.0;
        for (size_t j = from; j < to; ++j) {
            const double turn = 2.0 * M_PI * (beats[j] - beats[i]) / best;
            c += std::cos(turn);
            s += std::sin(turn);
        }
        const double phase = std::atan2(s, c) / (2.0 * M_PI);
        std::vector<Anchor> onLattice;
        for (size_t j = from; j < to; ++j) {
            const double x = (beats[j] - beats[i]) / best - phase;
            if (std::fabs(x - std::round(x)) < 0.25)
                onLattice.push_back({std::round(x), beats[j]});
        }
        const double refined = slopeOf(onLattice.begin(), onLattice.end());
        unit[i] = refined > 0.0 && std::fabs(refined / best - 1.0) < kCoarseStep ? refined : best;
        fit[i] = bestLength;
    }
    // The tempo changes slowly, a tracker's errors come in stretches of a few seconds: the
    // unit at each beat is the median over a wider window of those units whose lattice fits
    // nearly as well as the best one there. A short stretch of units far from the song's
    // usual one is the tracker on another level for a while (a dotted beat, say), not a
    // new tempo, and has no say.
    {
        const double usual = medianOf(unit);
        std::vector<bool> excursion(n, false);
        for (size_t i = 0; i < n;) {
            size_t j = i;
            while (j < n && std::fabs(unit[j] / usual - 1.0) > kUsualSlack)
                ++j;
            if (j - i < kExcursionBeats)
                for (size_t k = i; k < j; ++k)
                    excursion[k] = true;
            i = std::max(j, i + 1);
        }
        std::vector<double> steadyUnit(n);
        for (size_t i = 0; i < n; ++i) {
            const size_t from = i >= kTempoWindow ? i - kTempoWindow : 0;
            const size_t to = std::min(n, i + kTempoWindow + 1);
            double bestFit = 0.0;
            for (size_t j = from; j < to; ++j)
                if (!excursion[j])
                    bestFit = std::max(bestFit, fit[j]);
            std::vector<double> good;
            for (size_t j = from; j < to; ++j)
                if (!excursion[j] && fit[j] >= kGoodFit * bestFit)
                    good.push_back(unit[j]);
            steadyUnit[i] = good.empty() ? unit[i] : medianOf(good);
        }
        unit = std::move(steadyUnit);
    }

    // Each beat's place, counted in units through the tempo: a lattice point lies at every
    // whole unit plus the lattice's phase. The tracker's beats only give that phase (the
    // part of a unit they lie off a whole one); whichever lattice points they pick, the
    // count of units between them comes from the tempo. The phase around each beat is the
    // mean direction of its neighbours' phases, unwound so that it never jumps. This holds
    // within one tempo; a change of tempo starts a new part, joined to the one before
    // below.
    auto anchorsOf = [&](size_t first, size_t last) {
        std::vector<Anchor> out;
        const size_t count = last - first;
        std::vector<double> place(count, 0.0), cosines(count), sines(count);
        for (size_t k = 1; k < count; ++k) {
            const size_t i = first + k;
            place[k] = place[k - 1] + intervals[i - 1] / (0.5 * (unit[i - 1] + unit[i]));
        }
        for (size_t k = 0; k < count; ++k) {
            cosines[k] = std::cos(2.0 * M_PI * place[k]);
            sines[k] = std::sin(2.0 * M_PI * place[k]);
        }
        double c = 0.0, s = 0.0, lastPhase = 0.0;
        bool havePhase = false;
        size_t lo = 0, hi = 0; // the window [lo, hi)
        for (size_t k = 0; k < count; ++k) {
            const size_t from = k >= kWindow ? k - kWindow : 0;
            const size_t to = std::min(count, k + kWindow + 1);
            for (; hi < to; ++hi) {
                c += cosines[hi];
                s += sines[hi];
            }
            for (; lo < from; ++lo) {
                c -= cosines[lo];
                s -= sines[lo];
            }
            if (std::hypot(c, s) / double(to - from) < kSettledResultant)
                continue;
            double phase = std::atan2(s, c) / (2.0 * M_PI);
            if (havePhase)
                phase += std::round(lastPhase - phase);
            lastPhase = phase;
            havePhase = true;
            const double index = std::round(place[k] - phase);
            const double ms = beats[first + k] - (place[k] - phase - index) * unit[first + k];
            if (out.empty() || index > out.back().index)
                out.push_back({index, ms});
        }
        return out;
    };
    // The tracker's beats fall on every fourth lattice point, mostly on the same ones: the
    // commonest remainder of the anchors' indices.
    auto beatRemainder = [&](const std::vector<Anchor>& anchors, size_t from, size_t to) {
        int counts[4] = {0, 0, 0, 0};
        for (size_t k = from; k < to; ++k)
            ++counts[int(std::fmod(std::fmod(anchors[k].index, kUnitsPerBeat) + kUnitsPerBeat, kUnitsPerBeat))];
        return double(std::max_element(counts, counts + 4) - counts);
    };

    m_anchors.clear();
    size_t partStart = 0;
    double boundary = 0.0;
    for (size_t i = 1; i <= n; ++i) {
        if (i < n && std::fabs(unit[i] / unit[i - 1] - 1.0) <= kUsualSlack)
            continue;
        std::vector<Anchor> part = anchorsOf(partStart, i);
        // The tracker moves to a new tempo a few beats before or after the tempo read off
        // it changes: the beats near a change are left out, and the join below bridges them.
        if (i < n)
            part.erase(std::remove_if(part.begin(), part.end(),
                                      [&](const Anchor& a) {
                                          return a.ms > beats[i] - kChangeMargin * unit[i - 1] * kUnitsPerBeat;
                                      }),
                       part.end());
        if (partStart > 0)
            part.erase(std::remove_if(part.begin(), part.end(),
                                      [&](const Anchor& a) {
                                          return a.ms <
                                                 beats[partStart] + kChangeMargin * unit[partStart] * kUnitsPerBeat;
                                      }),
                       part.end());
        const double partBoundary = boundary;
        boundary = i < n ? 0.5 * (beats[i - 1] + beats[i]) : 0.0;
        partStart = i;
        if (part.size() < 2)
            continue;
        if (m_anchors.empty()) {
            m_anchors = std::move(part);
            continue;
        }
        // A tempo changes where both tempi have a beat: the beats of the part before,
        // carried forward, and those of the new part, carried back, meet there.
        const size_t before = std::min(kEdgeFit, m_anchors.size());
        const size_t after = std::min(kEdgeFit, part.size());
        const double unitBefore = slopeOf(m_anchors.end() - long(before), m_anchors.end());
        const double unitAfter = slopeOf(part.begin(), part.begin() + long(after));
        const Anchor& last = m_anchors.back();
        const Anchor& next = part.front();
        const double restBefore = beatRemainder(m_anchors, m_anchors.size() - before, m_anchors.size());
        const double restAfter = beatRemainder(part, 0, after);
        double bestGap = unitAfter, shift = 0.0, meet = 0.0;
        bool met = false;
        if (unitBefore <= 0.0 || unitAfter <= 0.0) {
            // No tempo on one side to carry the beats: the parts follow one another.
            const double shiftOnly = m_anchors.back().index + kUnitsPerBeat - part.front().index;
            for (const Anchor& a : part)
                if (a.index + shiftOnly > m_anchors.back().index && a.ms > m_anchors.back().ms)
                    m_anchors.push_back({a.index + shiftOnly, a.ms});
            continue;
        }
        const double firstBeat =
            last.index +
            std::fmod(restBefore - std::fmod(last.index, kUnitsPerBeat) + 2 * kUnitsPerBeat, kUnitsPerBeat);
        for (double k = firstBeat; last.ms + (k - last.index) * unitBefore <= next.ms + unitAfter * kUnitsPerBeat;
             k += kUnitsPerBeat) {
            const double t = last.ms + (k - last.index) * unitBefore;
            // The beat of the new part nearest t.
            const double m0 = next.index + (t - next.ms) / unitAfter;
            const double m = restAfter + kUnitsPerBeat * std::round((m0 - restAfter) / kUnitsPerBeat);
            // Between beats that meet equally well, the one nearer where the tempo read
            // changed: a millisecond for every second away.
            const double gap =
                std::fabs(next.ms + (m - next.index) * unitAfter - t) + 0.001 * std::fabs(t - partBoundary);
            if (gap < bestGap) {
                bestGap = gap;
                shift = k - m;
                meet = k;
                met = true;
            }
        }
        if (!met || bestGap > kMeetSlack * unitAfter) {
            // No meeting beat: the count of units across the gap, in whole tracker beats.
            const double units = (next.ms - last.ms) / (0.5 * (unitBefore + unitAfter));
            shift = last.index + kUnitsPerBeat * std::max(1.0, std::round(units / kUnitsPerBeat)) - next.index;
        }
        if (met && bestGap <= kMeetSlack * unitAfter) {
            // Across the change: the old tempo up to the beat where they meet, the new after.
            const double lastIndex = last.index, lastMs = last.ms;
            const double nextIndex = next.index + shift, nextMs = next.ms;
            for (double k = lastIndex + 1; k <= meet; ++k)
                m_anchors.push_back({k, lastMs + (k - lastIndex) * unitBefore});
            for (double k = meet + 1; k < nextIndex; ++k)
                m_anchors.push_back({k, nextMs + (k - nextIndex) * unitAfter});
        }
        for (const Anchor& a : part)
            if (a.index + shift > m_anchors.back().index)
                m_anchors.push_back({a.index + shift, a.ms});
    }
    if (m_anchors.size() < 2) {
        // Nothing settled: the tracker's beats as they are.
        m_anchors.clear();
        for (size_t i = 0; i < m_beats.size(); ++i)
            m_anchors.push_back({kUnitsPerBeat * double(i), m_beats[i]});
    }

    // Each anchor on the line through its neighbours: the tracker's beats sit on whole
    // analysis frames (11.6 ms apart at 44.1 kHz), and the line evens that out.
    std::vector<Anchor> smooth(m_anchors.size());
    for (size_t i = 0; i < m_anchors.size(); ++i) {
        const size_t from = i >= kSmoothing ? i - kSmoothing : 0;
        const size_t to = std::min(m_anchors.size(), i + kSmoothing + 1);
        const double onLine = lineAt(m_anchors.begin() + long(from), m_anchors.begin() + long(to), m_anchors[i].index);
        // Beats already on their line (generated ones) keep their exact times.
        smooth[i] = {m_anchors[i].index, std::fabs(onLine - m_anchors[i].ms) < 1e-6 ? m_anchors[i].ms : onLine};
    }
    m_anchors = std::move(smooth);

    const size_t edge = std::min(kEndFit, m_anchors.size());
    m_headSlope = slopeOf(m_anchors.begin(), m_anchors.begin() + long(edge));
    m_tailSlope = slopeOf(m_anchors.end() - long(edge), m_anchors.end());
    if (m_headSlope <= 0.0)
        m_headSlope = overall / kUnitsPerBeat;
    if (m_tailSlope <= 0.0)
        m_tailSlope = overall / kUnitsPerBeat;
}

double BeatGrid::timeAt(double index) const
{
    const Anchor& first = m_anchors.front();
    const Anchor& last = m_anchors.back();
    if (index <= first.index)
        return first.ms + (index - first.index) * m_headSlope;
    if (index >= last.index)
        return last.ms + (index - last.index) * m_tailSlope;
    auto it = std::upper_bound(m_anchors.begin(), m_anchors.end(), index,
                               [](double x, const Anchor& a) { return x < a.index; });
    const Anchor& b = *it;
    const Anchor& a = *(it - 1);
    return a.ms + (index - a.index) * (b.ms - a.ms) / (b.index - a.index);
}

double BeatGrid::indexAt(double ms) const
{
    const Anchor& first = m_anchors.front();
    const Anchor& last = m_anchors.back();
    if (ms <= first.ms)
        return first.index + (ms - first.ms) / m_headSlope;
    if (ms >= last.ms)
        return last.index + (ms - last.ms) / m_tailSlope;
    auto it =
        std::upper_bound(m_anchors.begin(), m_anchors.end(), ms, [](double x, const Anchor& a) { return x < a.ms; });
    const Anchor& b = *it;
    const Anchor& a = *(it - 1);
    return a.index + (ms - a.ms) * (b.index - a.index) / (b.ms - a.ms);
}

bool BeatGrid::onsetsKeepToLattice(const std::vector<double>& onsets) const
{
    if (m_anchors.size() < 2)
        return true;
    const double from = m_beats.front(), to = m_beats.back();
    double c = 0.0, s = 0.0;
    size_t n = 0;
    for (double t : onsets) {
        if (t < from || t > to)
            continue;
        const double phase = 2.0 * M_PI * indexAt(t);
        c += std::cos(phase);
        s += std::sin(phase);
        ++n;
    }
    if (n < kMinJudgedOnsets)
        return true;
    return std::hypot(c, s) / double(n) >= kSteadyResultant;
}

std::vector<double> BeatGrid::beatsFor(const std::vector<double>& tapsIn, Fit* fit) const
{
    Fit result;
    if (fit)
        *fit = result;
    if (!m_steady)
        return {};
    if (m_anchors.size() < 2 || int(tapsIn.size()) < kMinTaps)
        return m_beats;

    // The taps of steady runs: neighbours whose spacing is near the median spacing.
    std::vector<double> taps(tapsIn);
    std::sort(taps.begin(), taps.end());
    std::vector<double> gaps;
    for (size_t i = 1; i < taps.size(); ++i)
        gaps.push_back(taps[i] - taps[i - 1]);
    const double typical = medianOf(gaps);
    if (typical <= 0.0)
        return m_beats;
    std::vector<std::vector<double>> runs(1, std::vector<double>{taps[0]});
    for (size_t i = 1; i < taps.size(); ++i) {
        if (gaps[i - 1] > typical / kRunSlack && gaps[i - 1] < typical * kRunSlack)
            runs.back().push_back(taps[i]);
        else
            runs.push_back({taps[i]});
    }
    runs.erase(std::remove_if(runs.begin(), runs.end(), [](const auto& r) { return r.size() < kMinRun; }), runs.end());
    size_t used = 0;
    double spacingSum = 0.0;
    for (const auto& r : runs) {
        used += r.size();
        spacingSum += r.back() - r.front();
    }
    if (int(used) < kMinTaps)
        return m_beats;
    const double spacing = spacingSum / double(used - runs.size());

    // The level: the tap spacing in lattice units where the taps are.
    const double firstIndex = indexAt(runs.front().front());
    const double lastIndex = indexAt(runs.back().back());
    double unitMs = m_headSlope;
    if (lastIndex - firstIndex > 0.5)
        unitMs = (runs.back().back() - runs.front().front()) / (lastIndex - firstIndex);
    const double units = spacing / unitMs;
    double level = kTapUnits[0];
    for (double u : kTapUnits)
        if (std::fabs(std::log(units / u)) < std::fabs(std::log(units / level)))
            level = u;
    if (std::fabs(std::log(units / level)) > kLevelSlack)
        return m_beats;

    // The phase: the points of the lattice the taps fall nearest to, counted in steps of a
    // quarter of the taps' own beat (or one unit, when that is finer).
    const double step = std::min(1.0, level / kUnitsPerBeat);
    const int phases = int(std::lround(level / step));
    const double cap = 0.5 * level * unitMs;
    auto beatIndex = [&](double tap, double phase) {
        return phase + level * std::round((indexAt(tap) - phase) / level);
    };
    double bestPhase = 0.0, bestCost = 0.0;
    for (int j = 0; j < phases; ++j) {
        const double phase = j * step;
        double cost = 0.0;
        for (const auto& r : runs)
            for (double t : r)
                cost += std::min(cap, std::fabs(t - timeAt(beatIndex(t, phase))));
        if (j == 0 || cost < bestCost - 1e-9) {
            bestCost = cost;
            bestPhase = phase;
        }
    }

    // The timing: per run, a line through the taps' differences from the lattice; where it
    // strays beyond a tap's spread, the taps win.
    struct Correction {
        double from, to;  // lattice indices of the run's first and last beat
        double at, slope; // the line: at + slope * (index - from)
    };
    std::vector<Correction> corrections;
    for (const auto& r : runs) {
        if (int(r.size()) < 3)
            continue;
        std::vector<Anchor> diffs; // index, tap - lattice
        for (double t : r) {
            const double x = beatIndex(t, bestPhase);
            diffs.push_back({x, t - timeAt(x)});
        }
        double slope = slopeOf(diffs.begin(), diffs.end());
        auto lineAt = [&](double x, double s, const std::vector<Anchor>& d) {
            double mx = 0, my = 0;
            for (const Anchor& a : d) {
                mx += a.index;
                my += a.ms;
            }
            mx /= double(d.size());
            my /= double(d.size());
            return my + s * (x - mx);
        };
        std::vector<Anchor> kept;
        for (const Anchor& a : diffs)
            if (std::fabs(a.ms - lineAt(a.index, slope, diffs)) <= kStrayTapMs)
                kept.push_back(a);
        if (kept.size() < 3)
            continue;
        slope = slopeOf(kept.begin(), kept.end());
        const double from = kept.front().index, to = kept.back().index;
        const double atFrom = lineAt(from, slope, kept), atTo = lineAt(to, slope, kept);
        const double largest = std::max(std::fabs(atFrom), std::fabs(atTo));
        if (largest > kRetimeMs) {
            corrections.push_back({from, to, atFrom, slope});
            result.retimed = true;
            result.shiftMs = std::max(result.shiftMs, largest);
        }
    }
    auto corrected = [&](double x) {
        double ms = timeAt(x);
        const double fade = 2.0 * level;
        for (const Correction& c : corrections) {
            if (x >= c.from && x <= c.to)
                ms += c.at + c.slope * (x - c.from);
            else if (x < c.from && c.from - x < fade)
                ms += c.at * (1.0 - (c.from - x) / fade);
            else if (x > c.to && x - c.to < fade)
                ms += (c.at + c.slope * (c.to - c.from)) * (1.0 - (x - c.to) / fade);
        }
        return ms;
    };

    // The beats over the tracker's span.
    const double begin = indexAt(m_beats.front()) - 0.5;
    const double end = indexAt(m_beats.back()) + 0.5;
    std::vector<double> out;
    for (double x = bestPhase + level * std::ceil((begin - bestPhase) / level); x <= end; x += level)
        out.push_back(corrected(x));
    std::sort(out.begin(), out.end());

    result.used = true;
    result.ratio = level / kUnitsPerBeat;
    result.phase = bestPhase / kUnitsPerBeat;
    if (fit)
        *fit = result;
    return out;
}

std::vector<double> barsOnBeats(const std::vector<double>& bars, const std::vector<double>& beats)
{
    std::vector<double> out;
    if (beats.empty())
        return out;
    for (double bar : bars) {
        auto it = std::lower_bound(beats.begin(), beats.end(), bar);
        double best = it == beats.end() ? beats.back() : *it;
        if (it != beats.begin() && (it == beats.end() || bar - *(it - 1) < *it - bar))
            best = *(it - 1);
        const size_t i = size_t(std::lower_bound(beats.begin(), beats.end(), best) - beats.begin());
        const double spacing = beats.size() < 2       ? 0.0
                               : i + 1 < beats.size() ? beats[i + 1] - beats[i]
                                                      : beats[i] - beats[i - 1];
        if (std::fabs(best - bar) <= spacing / 4 && (out.empty() || out.back() != best))
            out.push_back(best);
    }
    return out;
}

} // namespace vk
