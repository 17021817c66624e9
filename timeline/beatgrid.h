#pragma once
// The beats in use, from the tracker's beats and the user's taps. All times are
// milliseconds.
//
// A beat tracker is right about where the attacks are but often wrong about which of them
// are the beats: it locks onto half or double the tempo, onto the off-beats, slips by a
// half or a quarter beat for a while, or needs a few seconds at the start to settle. The
// grid keeps what it is right about and lets a few taps decide the rest:
//
// - the lattice: the tracker's beats, counted in quarters of its beat period, so that a
//   slip, an off-beat stretch or a change of level keeps the count of the music's own
//   grid. Stretches where the tracker wanders (no whole count of quarters between its
//   beats, for a few beats only) are left out and bridged from the steady stretches around.
//   The tracker's beats after the sound's last attack (a band ringing out) are left out
//   too: the lattice goes on past them at the tempo of the last bars played.
// - level: the spacing of the taps against the lattice's beat period picks the taps'
//   level: a quarter, a third, half, two thirds, the same, 3/2, twice, three or four times.
// - phase: which points of the lattice the beats are on, from where the taps fall.
// - timing: where the lattice and the taps disagree by more than a tap's spread, the
//   beats follow the taps over the tapped stretch and go back to the lattice within two
//   beats after it.
//
// A sound whose onsets do not keep to the lattice (speech, ambient sound) has no steady
// beat: it gets no grid at all.

#include <vector>

namespace vk {

class BeatGrid {
public:
    // Taps from which the level, phase and timing follow the taps.
    static constexpr int kMinTaps = 4;

    BeatGrid() = default;
    // beats: the tracker's, ascending. onsets: ascending; they decide only whether the beat
    // is steady (without any onset it is taken to be).
    BeatGrid(std::vector<double> beats, const std::vector<double>& onsets);

    // False when the sound has no steady beat; beatsFor() then gives no beats.
    bool steady() const { return m_steady; }

    // What the taps changed, for the status line and the benchmark.
    struct Fit {
        bool used = false;    // enough steady taps that matched a level
        double ratio = 1.0;   // tap spacing over the tracker's beat spacing at the taps
        double phase = 0.0;   // the beats' place on the lattice, in tracker beats (0..ratio)
        bool retimed = false; // the taps moved the beats where the lattice drifted from them
        double shiftMs = 0.0; // the largest such move
    };

    // The beats for these taps (in any order). Fewer than kMinTaps taps in a steady run, or
    // taps that match no level, give the tracker's own beats; an unsteady sound none.
    std::vector<double> beatsFor(const std::vector<double>& taps, Fit* fit = nullptr) const;

private:
    struct Anchor {
        double index; // in lattice units (a quarter of the tracker's beat period)
        double ms;
    };

    double timeAt(double index) const;
    double indexAt(double ms) const;
    // The lattice through these beats (the tracker's, less any unheard ones at the ends).
    void buildLattice(const std::vector<double>& beats);
    bool onsetsKeepToLattice(const std::vector<double>& onsets) const;

    std::vector<double> m_beats;
    std::vector<Anchor> m_anchors; // ascending in both
    double m_headSlope = 0.0;      // ms per unit before the first and after the last anchor
    double m_tailSlope = 0.0;
    bool m_steady = true;
};

// The bars (downbeats) carried onto a changed beat list: each bar start moves to the
// nearest beat within a quarter of the beat spacing there, or is dropped.
std::vector<double> barsOnBeats(const std::vector<double>& bars, const std::vector<double>& beats);

} // namespace vk
