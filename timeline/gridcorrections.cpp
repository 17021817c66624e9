#include "timeline/gridcorrections.h"

#include "timeline/beatmedian.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace vk {

namespace {

struct KindName {
    GridEdit::Kind kind;
    const char* name;
};
constexpr KindName kKindNames[] = {
    {GridEdit::Kind::Shift, "shift"},   {GridEdit::Kind::ShiftFrom, "shiftfrom"}, {GridEdit::Kind::BarStart, "bar"},
    {GridEdit::Kind::Double, "double"}, {GridEdit::Kind::Half, "half"},           {GridEdit::Kind::TempoFrom, "tempo"},
};
// The shortest beat a tempo change by hand may give (300 BPM) and the longest bar.
constexpr double kMinPeriodMs = 200.0;
constexpr int kMaxBeatsPerBar = 16;

struct GridBeat {
    double ms;
    bool bar;
};

size_t nearestBeat(const std::vector<GridBeat>& beats, double ms)
{
    auto it = std::lower_bound(beats.begin(), beats.end(), ms, [](const GridBeat& b, double t) { return b.ms < t; });
    if (it == beats.end())
        return beats.size() - 1;
    if (it != beats.begin() && ms - (it - 1)->ms < it->ms - ms)
        --it;
    return size_t(it - beats.begin());
}

// The beats of a bar: the commonest count of beats between two bar starts, 4 without bars.
int beatsPerBar(const std::vector<GridBeat>& beats)
{
    std::vector<double> counts;
    long last = -1;
    for (size_t i = 0; i < beats.size(); ++i) {
        if (!beats[i].bar)
            continue;
        if (last >= 0)
            counts.push_back(double(long(i) - last));
        last = long(i);
    }
    const int n = counts.empty() ? 4 : int(medianOf(counts));
    return std::clamp(n, 2, kMaxBeatsPerBar);
}

} // namespace

QByteArray GridCorrections::toBytes() const
{
    QByteArray out;
    for (const GridEdit& e : edits) {
        for (const KindName& k : kKindNames)
            if (k.kind == e.kind)
                out += k.name;
        out += ' ' + QByteArray::number(e.atMs, 'g', 17) + ' ' + QByteArray::number(e.value, 'g', 17) + '\n';
    }
    return out;
}

std::optional<GridCorrections> GridCorrections::fromBytes(const QByteArray& bytes, size_t* dropped)
{
    GridCorrections out;
    size_t more = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        const QList<QByteArray> words = trimmed.simplified().split(' ');
        if (words.size() != 3)
            return std::nullopt;
        GridEdit e;
        bool known = false;
        for (const KindName& k : kKindNames) {
            if (words[0] == k.name) {
                e.kind = k.kind;
                known = true;
            }
        }
        bool okAt = false, okValue = false;
        e.atMs = words[1].toDouble(&okAt);
        e.value = words[2].toDouble(&okValue);
        if (!known || !okAt || !okValue || !std::isfinite(e.atMs) || !std::isfinite(e.value))
            return std::nullopt;
        if (out.edits.size() < kMaxEdits)
            out.edits.push_back(e);
        else
            ++more;
    }
    if (dropped)
        *dropped = more;
    return out;
}

CorrectedGrid correctGrid(const std::vector<double>& beatsIn, const std::vector<double>& barsIn,
                          const GridCorrections& corrections, double endMs)
{
    std::vector<GridBeat> beats;
    beats.reserve(beatsIn.size());
    for (double b : beatsIn)
        beats.push_back({b, std::binary_search(barsIn.begin(), barsIn.end(), b)});
    std::vector<double> changes; // where a tempo by hand starts
    // The beats there is room for: one per kMinCorrectedBeatMs of the sound or of the
    // beats given, whichever reaches further.
    size_t room = beatsIn.size();
    if (!beatsIn.empty()) {
        const double reach = std::max(endMs, beatsIn.back()) - std::min(0.0, beatsIn.front());
        if (std::isfinite(reach))
            room = std::max(room, size_t(std::min(reach / kMinCorrectedBeatMs, 1e9)) + 2);
    }
    int heldBack = 0;

    for (const GridEdit& e : corrections.edits) {
        if (beats.empty())
            break;
        const size_t at = nearestBeat(beats, e.atMs);
        switch (e.kind) {
        case GridEdit::Kind::Shift:
            for (GridBeat& b : beats)
                b.ms += e.value;
            for (double& c : changes)
                c += e.value;
            break;
        case GridEdit::Kind::ShiftFrom: {
            const double from = beats[at].ms;
            for (size_t j = at; j < beats.size(); ++j)
                beats[j].ms += e.value;
            for (double& c : changes)
                if (c >= from)
                    c += e.value;
            // Beats before it that it was moved onto or past go.
            const double moved = beats[at].ms;
            size_t keep = at;
            while (keep > 0 && beats[keep - 1].ms >= moved - 1.0)
                --keep;
            beats.erase(beats.begin() + long(keep), beats.begin() + long(at));
            break;
        }
        case GridEdit::Kind::BarStart: {
            const int n = e.value >= 2 && e.value <= kMaxBeatsPerBar ? int(e.value) : beatsPerBar(beats);
            for (size_t j = 0; j < beats.size(); ++j)
                beats[j].bar = (long(j) - long(at)) % n == 0;
            break;
        }
        case GridEdit::Kind::Double: {
            std::vector<GridBeat> out;
            out.reserve(std::min(beats.size() * 2, room));
            bool held = false;
            for (size_t j = 0; j < beats.size(); ++j) {
                out.push_back(beats[j]);
                if (j + 1 >= beats.size())
                    continue;
                const double gap = beats[j + 1].ms - beats[j].ms;
                // Room for this beat, the one between and those still to come.
                if (gap >= 2.0 * kMinCorrectedBeatMs && out.size() + beats.size() - j <= room)
                    out.push_back({0.5 * (beats[j].ms + beats[j + 1].ms), false});
                else if (gap > 0.0)
                    held = true;
            }
            heldBack += held ? 1 : 0;
            beats = std::move(out);
            break;
        }
        case GridEdit::Kind::Half: {
            std::vector<GridBeat> out;
            for (size_t j = 0; j < beats.size(); ++j)
                if ((long(j) - long(at)) % 2 == 0)
                    out.push_back(beats[j]);
            beats = std::move(out);
            break;
        }
        case GridEdit::Kind::TempoFrom: {
            if (!(e.value >= kMinPeriodMs))
                break;
            const int n = beatsPerBar(beats);
            long lastBar = -1;
            for (size_t j = 0; j <= at; ++j)
                if (beats[j].bar)
                    lastBar = long(j);
            const bool anyBar = std::any_of(beats.begin(), beats.end(), [](const GridBeat& b) { return b.bar; });
            const double start = beats[at].ms;
            const double end = std::max(endMs, beats.back().ms);
            const long phase = lastBar >= 0 ? (long(at) - lastBar) % n : 0;
            beats.erase(beats.begin() + long(at) + 1, beats.end());
            for (long k = 1; start + double(k) * e.value <= end; ++k) {
                if (beats.size() >= room) {
                    ++heldBack;
                    break;
                }
                beats.push_back({start + double(k) * e.value, anyBar && (phase + k) % n == 0});
            }
            changes.erase(std::remove_if(changes.begin(), changes.end(), [&](double c) { return c >= start - 1.0; }),
                          changes.end());
            changes.push_back(start);
            break;
        }
        }
    }

    CorrectedGrid out;
    out.heldBack = heldBack;
    out.beats.reserve(beats.size());
    for (const GridBeat& b : beats) {
        if (!out.beats.empty() && b.ms <= out.beats.back())
            continue;
        out.beats.push_back(b.ms);
        if (b.bar)
            out.bars.push_back(b.ms);
    }
    if (out.beats.size() >= 2) {
        std::vector<double> starts{out.beats.front()};
        for (double c : changes)
            if (c > starts.back())
                starts.push_back(c);
        for (size_t s = 0; s < starts.size(); ++s) {
            const double to = s + 1 < starts.size() ? starts[s + 1] : out.beats.back() + 1.0;
            std::vector<double> gaps;
            for (size_t j = 1; j < out.beats.size(); ++j)
                if (out.beats[j - 1] >= starts[s] - 1.0 && out.beats[j] <= to + 1.0)
                    gaps.push_back(out.beats[j] - out.beats[j - 1]);
            const double gap = medianOf(gaps);
            if (gap > 0.0)
                out.segments.push_back({starts[s], 60000.0 / gap});
        }
    }
    return out;
}

} // namespace vk
