#include "timeline/shotfill.h"

#include "timeline/editor.h"

#include <QHash>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <random>

namespace vk {

namespace {

struct Interval {
    double a;
    double b;
};

// The free parts of one shot.
struct ShotState {
    double start;
    double end;
    float rank; // motion rank among all shots, 0..1
    std::vector<Interval> free;
};

void subtract(std::vector<Interval>& free, double a, double b)
{
    std::vector<Interval> out;
    for (const Interval& f : free) {
        if (b <= f.a || a >= f.b) {
            out.push_back(f);
            continue;
        }
        if (a > f.a)
            out.push_back({f.a, a});
        if (b < f.b)
            out.push_back({b, f.b});
    }
    free.swap(out);
}

// The frame that holds ms, as the time text of the frame interval keeps it.
int gridAt(double ms, int interval)
{
    return FramePoint(int(std::floor(ms)), interval);
}

// The first ms on the frame grid at or after ms.
int gridAtOrAfter(double ms, int interval)
{
    int g = gridAt(ms, interval);
    while (g < ms - 1e-6)
        g = gridAt(g + std::max(1, interval), interval);
    return g;
}

// What a choice weighs against the energy match (0..1) of a shot: whose turn it is, a
// speed other than the one drawn for the section, and a shot already used. A used shot
// weighs more than all the rest together, so it comes only where no unused one fits.
constexpr float kTurnWeight = 0.25f;
constexpr float kOtherSpeed = 1.0f;
constexpr float kUsedShot = 3.0f;

} // namespace

std::vector<double> onsetDensity(const std::vector<double>& startsMs, const std::vector<double>& endsMs,
                                 const std::vector<double>& onsetsMs)
{
    std::vector<double> out(startsMs.size(), -1.0);
    if (onsetsMs.empty())
        return out;
    for (size_t i = 0; i < startsMs.size() && i < endsMs.size(); ++i) {
        const double len = endsMs[i] - startsMs[i];
        if (len <= 0)
            continue;
        const auto lo = std::lower_bound(onsetsMs.begin(), onsetsMs.end(), startsMs[i]);
        const auto hi = std::lower_bound(onsetsMs.begin(), onsetsMs.end(), endsMs[i]);
        out[i] = double(hi - lo) * 1000.0 / len;
    }
    return out;
}

FillPlan planFill(const std::vector<FillSection>& sections, const std::vector<ShotSource>& sources,
                  const std::vector<UsedSpan>& used, const FillOptions& options)
{
    FillPlan plan;
    std::mt19937 rng(options.seed);
    const int nSources = int(sources.size());

    // Motion ranks over every shot, so "more motion" means the same across files.
    std::vector<float> motions;
    for (const ShotSource& s : sources) {
        for (const ShotSpan& sh : s.shots)
            motions.push_back(sh.motion);
    }
    std::sort(motions.begin(), motions.end());
    auto motionRank = [&](float m) {
        if (motions.size() < 2)
            return 0.5f;
        const auto lo = std::lower_bound(motions.begin(), motions.end(), m) - motions.begin();
        const auto hi = std::upper_bound(motions.begin(), motions.end(), m) - motions.begin();
        return float(lo + hi - 1) / 2.0f / float(motions.size() - 1);
    };

    QHash<QString, std::vector<const UsedSpan*>> usedByFile;
    for (const UsedSpan& u : used)
        usedByFile[u.file].push_back(&u);
    std::vector<std::vector<ShotState>> state(static_cast<size_t>(nSources));
    for (int s = 0; s < nSources; ++s) {
        const auto usedHere = usedByFile.value(sources[size_t(s)].file);
        for (const ShotSpan& sh : sources[size_t(s)].shots) {
            ShotState st{sh.startMs, sh.endMs, motionRank(sh.motion), {{sh.startMs, sh.endMs}}};
            for (const UsedSpan* u : usedHere)
                subtract(st.free, u->inMs, u->outMs);
            state[size_t(s)].push_back(std::move(st));
        }
    }

    // Energy ranks of the sections that carry one.
    std::vector<float> energyRank(sections.size(), -1.0f);
    {
        std::vector<size_t> withEnergy;
        for (size_t i = 0; i < sections.size(); ++i) {
            if (sections[i].energy >= 0.0)
                withEnergy.push_back(i);
        }
        std::stable_sort(withEnergy.begin(), withEnergy.end(),
                         [&](size_t x, size_t y) { return sections[x].energy < sections[y].energy; });
        for (size_t k = 0; k < withEnergy.size(); ++k)
            energyRank[withEnergy[k]] = withEnergy.size() > 1 ? float(k) / float(withEnergy.size() - 1) : 0.5f;
    }

    std::vector<int> order(static_cast<size_t>(nSources));
    for (int s = 0; s < nSources; ++s)
        order[size_t(s)] = s;
    std::shuffle(order.begin(), order.end(), rng);
    int turn = 0;
    int previous = -1;
    std::uniform_real_distribution<float> jitter(0.0f, 0.05f);
    std::uniform_real_distribution<double> logSpeed(std::log(0.5), std::log(2.0));

    struct Choice {
        int shot = -1;
        int in = 0;
        int out = 0;
        bool normal = false; // the span plays at the footage's own speed
        float score = 0.0f;
    };
    // The best span of one source for a section of `lengthMs` played at `speed`: inside
    // one free part of one shot, on the frame grid, starting on the shot's first frame
    // where that shot is still whole. At the footage's own speed the span runs to the
    // grid point at or after the section's end, so the picture plays at exactly 1x from
    // the in point and never reaches past the shot; at other speeds the out point is
    // the grid point nearest the scaled length.
    auto bestIn = [&](int s, double lengthMs, double speed, float eRank) {
        const ShotSource& src = sources[size_t(s)];
        const int interval = std::max(1, src.frameIntervalMs);
        const bool normal = speed == 1.0;
        const double spanMs = lengthMs * speed;
        Choice best;
        for (size_t k = 0; k < state[size_t(s)].size(); ++k) {
            const ShotState& st = state[size_t(s)][k];
            for (const Interval& f : st.free) {
                const int in = gridAtOrAfter(f.a, interval);
                int out = 0;
                if (normal) {
                    out = gridAtOrAfter(in + spanMs, interval);
                } else {
                    out = gridAt(in + spanMs, interval);
                    const int up = gridAt(out + interval, interval);
                    if (std::abs(up - (in + spanMs)) < std::abs(out - (in + spanMs)))
                        out = up;
                }
                if (out <= in || out > f.b + 1e-6)
                    continue; // too short; a later part of the shot may fit
                const bool atShotStart = f.a <= st.start + 1e-6;
                float score = (atShotStart ? 0.0f : kUsedShot) + jitter(rng);
                if (eRank >= 0.0f)
                    score += std::fabs(eRank - st.rank);
                if (best.shot < 0 || score < best.score)
                    best = {int(k), in, out, normal, score};
                break; // the earliest free part that fits is the one used
            }
        }
        return best;
    };

    for (size_t i = 0; i < sections.size(); ++i) {
        const FillSection& sec = sections[i];
        double speed = 1.0;
        if (options.varySpeed)
            speed = std::exp(logSpeed(rng));
        int chosenSource = -1;
        Choice chosen;
        // Every other file that fits competes: an unused shot before the rest of a used
        // one, then the energy match, then whose turn it is; the drawn speed before the
        // speeds that fit where it does not. The file before only when no other one fits.
        for (int pass = 0; pass < 2 && chosenSource < 0; ++pass) {
            float bestScore = 0.0f;
            for (int k = 0; k < nSources; ++k) {
                const int s = order[size_t((turn + k) % nSources)];
                if ((pass == 0) == (s == previous && nSources > 1))
                    continue;
                const double tries[] = {speed, 1.0, 0.5};
                for (size_t t = 0; t < std::size(tries); ++t) {
                    const double sp = tries[t];
                    if (t > 0 && (!options.varySpeed || sp == speed))
                        continue;
                    Choice c = bestIn(s, sec.lengthMs, sp, energyRank[i]);
                    if (c.shot < 0)
                        continue;
                    c.score += kTurnWeight * float(k) / float(nSources) + (t > 0 ? kOtherSpeed : 0.0f);
                    if (chosenSource < 0 || c.score < bestScore) {
                        chosen = c;
                        chosenSource = s;
                        bestScore = c.score;
                    }
                }
            }
        }
        if (chosenSource >= 0)
            turn = int((std::find(order.begin(), order.end(), chosenSource) - order.begin()) + 1) % nSources;
        if (chosenSource < 0) {
            plan.emptyRows.push_back(sec.row);
            ++plan.unfilled;
            continue;
        }
        ShotState& st = state[size_t(chosenSource)][size_t(chosen.shot)];
        subtract(st.free, chosen.in, chosen.out);
        plan.spans.push_back({sec.row, chosenSource, chosen.in, chosen.out, chosen.normal});
        previous = chosenSource;
    }
    return plan;
}

int applyFill(Editor& editor, const FillPlan& plan, const std::vector<ShotSource>& sources)
{
    if (plan.spans.empty())
        return 0;
    editor.history().SaveUndoData();
    editor.setModified(true);
    RowTable& g = editor.Grid();
    int written = 0;
    for (const FillSpan& span : plan.spans) {
        if (span.row < 1 || span.row > editor.lastRow() || span.source < 0 || span.source >= int(sources.size()))
            continue;
        const ShotSource& src = sources[size_t(span.source)];
        g.setVideoSpan(span.row, src.file, src.frameIntervalMs, span.inMs, span.outMs);
        g.setMediaSize(span.row, MediaSize{src.width, src.height});
        if (span.normalSpeed) {
            g.setSpeed(span.row, SpeedSetting::normal());
        } else {
            // The span stretched over the section: the speed its length gives.
            const QSignalBlocker quiet(&editor); // the views hear once, below
            editor.RowRefresh(span.row);
        }
        ++written;
    }
    editor.notifyTable();
    editor.notifyHistory();
    return written;
}

} // namespace vk
