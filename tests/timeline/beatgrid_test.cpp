// The beats in use from a tracker's beats and the user's taps: the level, phase and timing
// the taps decide, on generated beat lists with known errors and on beat lists of real
// recordings; and a sound without a steady beat getting no grid.

#include "tests/timeline/beatgrid_data.h"
#include "timeline/beatgrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace vk {
namespace {

std::vector<double> grid(double firstMs, double spacingMs, double untilMs)
{
    std::vector<double> out;
    for (double t = firstMs; t < untilMs; t += spacingMs)
        out.push_back(t);
    return out;
}

// Taps on `count` of the given beats from beat `from`, with a fixed spread.
std::vector<double> tapsOn(const std::vector<double>& beats, size_t from, size_t count, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> spread(8.0, 15.0);
    std::vector<double> out;
    for (size_t i = from; i < std::min(beats.size(), from + count); ++i)
        out.push_back(beats[i] + spread(rng));
    return out;
}

double nearestDistance(const std::vector<double>& beats, double t)
{
    auto it = std::lower_bound(beats.begin(), beats.end(), t);
    double d = 1e12;
    if (it != beats.end())
        d = *it - t;
    if (it != beats.begin() && t - *(it - 1) < std::fabs(d))
        d = *(it - 1) - t;
    return d;
}

// The share of `truth` that has a beat of `found` within ±70 ms, and of `found` that has
// one of `truth`: both must be high for a grid at the right level and phase.
struct Agreement {
    double found = 0.0;    // truth beats matched
    double precise = 0.0;  // found beats that match one
    double medianMs = 0.0; // median |distance| of the matched truth beats
};

Agreement agreement(const std::vector<double>& truth, const std::vector<double>& found, double fromMs = -1e12,
                    double toMs = 1e12)
{
    Agreement a;
    std::vector<double> distances;
    size_t total = 0, hits = 0;
    for (double t : truth) {
        if (t < fromMs || t > toMs)
            continue;
        ++total;
        const double d = std::fabs(nearestDistance(found, t));
        if (d <= 70.0) {
            ++hits;
            distances.push_back(d);
        }
    }
    size_t within = 0, inside = 0;
    for (double f : found) {
        if (f < fromMs || f > toMs)
            continue;
        ++inside;
        within += std::fabs(nearestDistance(truth, f)) <= 70.0 ? 1 : 0;
    }
    a.found = total ? double(hits) / double(total) : 0.0;
    a.precise = inside ? double(within) / double(inside) : 0.0;
    if (!distances.empty()) {
        std::nth_element(distances.begin(), distances.begin() + long(distances.size() / 2), distances.end());
        a.medianMs = distances[distances.size() / 2];
    }
    return a;
}

TEST(BeatGridLevel, TheTapsSpacingPicksHalfDoubleAndThreeHalves)
{
    // The tracker at 120 BPM, every 500 ms from 100 ms, over a minute.
    const std::vector<double> tracker = grid(100.0, 500.0, 60000.0);
    const BeatGrid beats(tracker, {});
    struct Case {
        double spacing; // the taps' beat
        double first;   // where the taps' beats start
        double ratio;
    };
    // Double (every 250 ms), half on the second of each pair (every 1000 ms from 600),
    // three halves (every 750 ms), two thirds (every 333 ms) and a quarter (every 125 ms).
    for (const Case& c : {Case{250.0, 100.0, 0.5}, Case{1000.0, 600.0, 2.0}, Case{750.0, 100.0, 1.5},
                          Case{1000.0 / 3.0, 100.0, 2.0 / 3.0}, Case{125.0, 100.0, 0.25}}) {
        SCOPED_TRACE(c.spacing);
        const std::vector<double> truth = grid(c.first, c.spacing, 59600.0);
        BeatGrid::Fit fit;
        const std::vector<double> got = beats.beatsFor(tapsOn(truth, 20, 8), &fit);
        EXPECT_TRUE(fit.used);
        EXPECT_NEAR(fit.ratio, c.ratio, 1e-9);
        EXPECT_FALSE(fit.retimed);
        const Agreement a = agreement(truth, got, 200.0, 59500.0);
        EXPECT_EQ(a.found, 1.0);
        EXPECT_EQ(a.precise, 1.0);
        EXPECT_LT(a.medianMs, 1.0);
    }
    // The same level: the tracker's beats as they are.
    BeatGrid::Fit fit;
    const std::vector<double> same = beats.beatsFor(tapsOn(tracker, 10, 6), &fit);
    EXPECT_NEAR(fit.ratio, 1.0, 1e-9);
    EXPECT_EQ(agreement(tracker, same).precise, 1.0);
    EXPECT_NEAR(double(same.size()), double(tracker.size()), 1.0);
}

TEST(BeatGridPhase, TheTapsPickTheBeatAmongTheTrackersPoints)
{
    // The true beat every 400 ms from 0; the tracker on the off-beats (200 ms later).
    const std::vector<double> truth = grid(0.0, 400.0, 40000.0);
    const BeatGrid offBeat(grid(200.0, 400.0, 40000.0), {});
    BeatGrid::Fit fit;
    std::vector<double> got = offBeat.beatsFor(tapsOn(truth, 5, 8), &fit);
    EXPECT_NEAR(fit.ratio, 1.0, 1e-9);
    EXPECT_NEAR(fit.phase, 0.5, 1e-9);
    Agreement a = agreement(truth, got, 300.0, 39700.0);
    EXPECT_EQ(a.found, 1.0);
    EXPECT_EQ(a.precise, 1.0);

    // Taps on every other true beat, on the odd ones: every other off-beat point of the
    // tracker is not a beat at all.
    std::vector<double> odd;
    for (size_t i = 1; i < truth.size(); i += 2)
        odd.push_back(truth[i]);
    got = offBeat.beatsFor(tapsOn(odd, 3, 8), &fit);
    EXPECT_NEAR(fit.ratio, 2.0, 1e-9);
    a = agreement(odd, got, 300.0, 39700.0);
    EXPECT_EQ(a.found, 1.0);
    EXPECT_EQ(a.precise, 1.0);
}

TEST(BeatGridLattice, KeepsTheBeatThroughTrackerSlipsLevelChangesAndWandering)
{
    // The true beat every 500 ms for two minutes. The tracker: right for 20 s, a sixteenth
    // (125 ms) late for 15 s, right again, on the off-beats from 60 s, at half tempo from
    // 80 s to 95 s, wandering (random intervals) from 100 to 104 s, then right. Taps on the
    // first eight beats.
    const std::vector<double> truth = grid(0.0, 500.0, 120000.0);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> wander(300.0, 700.0);
    std::vector<double> tracker;
    for (size_t i = 0; i < truth.size(); ++i) {
        const double t = truth[i];
        if (t >= 20000.0 && t < 35000.0)
            tracker.push_back(t + 125.0);
        else if (t >= 60000.0 && t < 80000.0)
            tracker.push_back(t + 250.0);
        else if (t >= 80000.0 && t < 95000.0) {
            if (i % 2 == 0)
                tracker.push_back(t);
        } else if (t >= 100000.0 && t < 104000.0) {
            if (tracker.back() + 300.0 < 104000.0)
                tracker.push_back(tracker.back() + wander(rng));
        } else if (tracker.empty() || t > tracker.back() + 100.0)
            tracker.push_back(t);
    }
    std::sort(tracker.begin(), tracker.end());
    const BeatGrid beats(tracker, {});
    BeatGrid::Fit fit;
    const std::vector<double> got = beats.beatsFor(tapsOn(truth, 0, 8), &fit);
    EXPECT_NEAR(fit.ratio, 1.0, 1e-9);
    const Agreement a = agreement(truth, got, 0.0, 119500.0);
    EXPECT_GE(a.found, 0.99);
    EXPECT_GE(a.precise, 0.99);
    EXPECT_LT(a.medianMs, 5.0);
    // The tracker's own beats agree on far fewer.
    EXPECT_LT(agreement(truth, tracker, 0.0, 119500.0).found, 0.75);
}

TEST(BeatGridLattice, FollowsAChangeOfTempo)
{
    // 100 BPM for 45 s, then 130 BPM, the tracker right throughout; taps at the start.
    std::vector<double> truth = grid(0.0, 600.0, 45000.0);
    for (double t : grid(45000.0, 60000.0 / 130.0, 90000.0))
        truth.push_back(t);
    const BeatGrid beats(truth, {});
    const Agreement a = agreement(truth, beats.beatsFor(tapsOn(truth, 2, 8)), 0.0, 89500.0);
    EXPECT_GE(a.found, 0.98);
    EXPECT_GE(a.precise, 0.98);
}

TEST(BeatGridLattice, KeepsTheSongsTempoWhereTheBandRingsOut)
{
    // 170 BPM for 55 s of playing, then a chord rings out to 58 s. The tracker follows the
    // playing within ±10 ms; in the ring-out it keeps counting on its own, at 178 BPM and
    // all the more evenly for having nothing to follow, to 70 s. The onsets: every beat
    // and its eighth while the band plays. Taps on the first eight beats.
    const double beat = 60000.0 / 170.0;
    const std::vector<double> truth = grid(100.0, beat, 58000.0);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> jitter(-10.0, 10.0);
    std::vector<double> tracker, onsets;
    for (double t : truth) {
        if (t >= 55000.0)
            break;
        tracker.push_back(t + jitter(rng));
        onsets.push_back(t + 2.0);
        onsets.push_back(t + beat / 2 + 2.0);
    }
    while (tracker.back() < 70000.0)
        tracker.push_back(tracker.back() + 60000.0 / 178.0);
    const BeatGrid beats(tracker, onsets);
    ASSERT_TRUE(beats.steady());
    const std::vector<double> got = beats.beatsFor(tapsOn(truth, 0, 8));
    // To the end of the ring-out the beats keep the tempo of the playing.
    const Agreement a = agreement(truth, got, 0.0, 58000.0);
    EXPECT_GE(a.found, 0.99);
    EXPECT_GE(a.precise, 0.99);
    EXPECT_LT(a.medianMs, 6.0);
    for (double t : truth)
        if (t > 45000.0)
            EXPECT_LT(std::fabs(nearestDistance(got, t)), 15.0) << t;
    // The beats still cover the tracker's span.
    EXPECT_GE(got.back(), 69000.0);
}

TEST(BeatGridTiming, WhereTheTrackerDriftsFromTheTapsTheTapsWin)
{
    // The true beat every 500 ms; the tracker 45 ms late from 10 s to 20 s (it follows a
    // late instrument there) and right elsewhere.
    const std::vector<double> truth = grid(0.0, 500.0, 40000.0);
    std::vector<double> tracker;
    for (double t : truth)
        tracker.push_back(t >= 10000.0 && t < 20000.0 ? t + 45.0 : t);
    const BeatGrid beats(tracker, {});

    // Eight taps on the true beats from 14 s.
    std::vector<double> taps;
    for (size_t i = 28; i < 36; ++i)
        taps.push_back(truth[i] + (i % 2 ? 6.0 : -6.0));
    BeatGrid::Fit fit;
    const std::vector<double> got = beats.beatsFor(taps, &fit);
    EXPECT_TRUE(fit.retimed);
    EXPECT_GT(fit.shiftMs, 30.0);
    for (size_t i = 28; i < 36; ++i)
        EXPECT_LT(std::fabs(nearestDistance(got, truth[i])), 12.0) << truth[i];
    // Two beats away from the taps the beats are those of taps on the tracker's own beats,
    // which move nothing.
    std::vector<double> onTracker(tracker.begin() + 28, tracker.begin() + 36);
    const std::vector<double> lattice = beats.beatsFor(onTracker, &fit);
    EXPECT_FALSE(fit.retimed);
    ASSERT_EQ(got.size(), lattice.size());
    for (size_t i = 0; i < got.size(); ++i) {
        if (i < 26 || i > 37)
            EXPECT_EQ(got[i], lattice[i]) << i;
        else if (i >= 28 && i < 36)
            EXPECT_GT(std::fabs(got[i] - lattice[i]), 20.0) << i;
    }

    // Taps that agree with the tracker within their spread and a small latency move nothing.
    taps.clear();
    for (size_t i = 50; i < 58; ++i)
        taps.push_back(truth[i] + 10.0 + (i % 2 ? 12.0 : -12.0));
    const std::vector<double> kept = beats.beatsFor(taps, &fit);
    EXPECT_FALSE(fit.retimed);
    for (size_t i = 50; i < 58; ++i)
        EXPECT_LT(std::fabs(nearestDistance(kept, truth[i])), 6.0);
    for (double& t : taps)
        t -= 8.0;
    EXPECT_EQ(beats.beatsFor(taps), kept);
}

TEST(BeatGridTaps, TooFewOrUnsteadyTapsLeaveTheTrackersBeats)
{
    const std::vector<double> tracker = grid(100.0, 500.0, 30000.0);
    const BeatGrid beats(tracker, {});
    BeatGrid::Fit fit;
    // Three taps at double speed: not yet.
    EXPECT_EQ(beats.beatsFor({1000.0, 1250.0, 1500.0}, &fit), tracker);
    EXPECT_FALSE(fit.used);
    // Taps with no steady spacing (section starts tapped here and there).
    EXPECT_EQ(beats.beatsFor({1000.0, 1700.0, 3900.0, 4300.0, 8100.0, 9000.0}, &fit), tracker);
    EXPECT_FALSE(fit.used);
    // Steady taps at a spacing that is no level of the tracker's (5/4 of its beat).
    EXPECT_EQ(beats.beatsFor({1000.0, 1625.0, 2250.0, 2875.0, 3500.0, 4125.0}, &fit), tracker);
    EXPECT_FALSE(fit.used);
    // The order of the taps does not matter.
    const std::vector<double> taps{1100.0, 1350.0, 1600.0, 1850.0, 2100.0};
    const std::vector<double> shuffled{1850.0, 1100.0, 2100.0, 1350.0, 1600.0};
    EXPECT_EQ(beats.beatsFor(taps), beats.beatsFor(shuffled));
    EXPECT_NE(beats.beatsFor(taps), tracker);
    // No beats at all.
    EXPECT_TRUE(BeatGrid({}, {}).beatsFor(taps).empty());
}

TEST(BeatGridTaps, AnyBeatsAndTapsGiveAscendingBeatsOverTheTrackersSpan)
{
    // Beat lists no tracker would give (random spacing, doubled beats, a long gap) and
    // taps anywhere: ascending beats over the same span, never a hang.
    std::mt19937 rng(9);
    for (int round = 0; round < 80; ++round) {
        std::uniform_real_distribution<double> step(round % 3 == 0 ? 1.0 : 200.0, round % 5 == 0 ? 9000.0 : 900.0);
        std::vector<double> tracker{std::uniform_real_distribution<double>(0.0, 5000.0)(rng)};
        const int count = 2 + int(rng() % 300);
        for (int i = 1; i < count; ++i)
            tracker.push_back(tracker.back() + step(rng));
        std::vector<double> taps;
        double t = tracker.front() + step(rng);
        for (int i = 0; i < int(rng() % 20); ++i)
            taps.push_back(t += std::uniform_real_distribution<double>(100.0, 1200.0)(rng));
        const std::vector<double> got = BeatGrid(tracker, {}).beatsFor(taps);
        ASSERT_TRUE(std::is_sorted(got.begin(), got.end())) << round;
        ASSERT_FALSE(got.empty()) << round;
        EXPECT_GE(got.front(), tracker.front() - 2000.0) << round;
        EXPECT_LE(got.back(), tracker.back() + 2000.0) << round;
    }
}

TEST(BeatGridSteadiness, ASoundWithoutASteadyBeatGetsNoGrid)
{
    // Speech: the tracker's beats, but its syllables keep to no lattice.
    const BeatGrid speech(beatdata::kSpeechBeats, beatdata::kSpeechOnsets);
    EXPECT_FALSE(speech.steady());
    EXPECT_TRUE(speech.beatsFor({}).empty());
    EXPECT_TRUE(speech.beatsFor(tapsOn(beatdata::kSpeechBeats, 5, 8)).empty());

    // Generated: onsets at random places against steady beats, and onsets on the beats and
    // their eighths.
    const std::vector<double> tracker = grid(0.0, 500.0, 30000.0);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> anywhere(0.0, 30000.0);
    std::vector<double> random(120);
    for (double& t : random)
        t = anywhere(rng);
    std::sort(random.begin(), random.end());
    EXPECT_FALSE(BeatGrid(tracker, random).steady());
    const std::vector<double> eighths = grid(3.0, 250.0, 30000.0);
    EXPECT_TRUE(BeatGrid(tracker, eighths).steady());
    EXPECT_EQ(BeatGrid(tracker, eighths).beatsFor({}), tracker);
    // Without onsets there is nothing to judge by: the beats stand.
    EXPECT_TRUE(BeatGrid(tracker, {}).steady());

    // A real song keeps to its lattice.
    EXPECT_TRUE(BeatGrid(beatdata::kOffBeatSong, beatdata::kOffBeatSongOnsets).steady());
}

// The real songs' beats from their tempo: 60000 / bpm apart from the first beat's time.
std::vector<double> songBeats(double bpm, double firstMs, double untilMs)
{
    return grid(firstMs, 60000.0 / bpm, untilMs);
}

TEST(BeatGridRealMusic, EightTapsPutTheBeatsOnTheSongsBeats)
{
    struct Song {
        const char* name;
        const std::vector<double>& tracker;
        double bpm, firstMs;
        double ratioEvery, ratioOther; // expected tap ratio for every beat / every other
    };
    const Song songs[] = {
        {"off-beat tracker, 135 BPM", beatdata::kOffBeatSong, 135.0, 22.0, 1.0, 2.0},
        {"settling and drifting tracker, 170 BPM", beatdata::kDriftingSong, 170.0, 0.0, 1.0, 2.0},
        {"half-tempo tracker, 190 BPM", beatdata::kHalfTempoSong, 190.0, 0.0, 0.5, 1.0},
    };
    for (const Song& song : songs) {
        SCOPED_TRACE(song.name);
        const BeatGrid beats(song.tracker, {});
        const double until = song.tracker.back();
        const std::vector<double> every = songBeats(song.bpm, song.firstMs, until);
        std::vector<double> other;
        for (size_t i = 0; i < every.size(); i += 2)
            other.push_back(every[i]);
        for (bool everyBeat : {true, false}) {
            const std::vector<double>& truth = everyBeat ? every : other;
            // Taps from the second beat of the song, as a user starts along.
            BeatGrid::Fit fit;
            const std::vector<double> got = beats.beatsFor(tapsOn(truth, 1, 8, 11), &fit);
            EXPECT_NEAR(fit.ratio, everyBeat ? song.ratioEvery : song.ratioOther, 1e-9) << everyBeat;
            const Agreement a = agreement(truth, got, song.tracker.front(), until);
            EXPECT_GE(a.found, 0.97) << everyBeat;
            EXPECT_GE(a.precise, 0.97) << everyBeat;
            EXPECT_LE(a.medianMs, 12.0) << everyBeat;
        }
    }
}

TEST(BeatGridBars, BarsMoveOntoTheNearestBeatOrAreDropped)
{
    const std::vector<double> beats{0.0, 500.0, 1000.0, 1500.0, 2000.0, 2500.0};
    // 1010 is near a beat, 1240 between two (more than a quarter of the spacing from
    // each), 2600 near the last one, 480 and 510 both go to 500 once.
    EXPECT_EQ(barsOnBeats({480.0, 510.0, 1010.0, 1240.0, 2600.0}, beats), (std::vector<double>{500.0, 1000.0, 2500.0}));
    EXPECT_TRUE(barsOnBeats({100.0}, {}).empty());
}

} // namespace
} // namespace vk
