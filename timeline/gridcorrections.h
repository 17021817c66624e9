#pragma once
// The user's corrections of the beat grid by hand, kept apart from the tracker's beats and
// the taps (BeatGrid) and applied on top of them, in order. Each names the beat it was
// made on by its time (the beat nearest that time when applied), so the corrections stay
// a few bytes. All times are milliseconds.

#include <QByteArray>

#include <cstddef>
#include <optional>
#include <vector>

namespace vk {

struct GridEdit {
    enum class Kind {
        Shift,     // every beat moves by value ms
        ShiftFrom, // the beat at atMs and those after it move by value ms
        BarStart,  // the beat at atMs starts a bar (and every value-th beat from it, both ways)
        Double,    // a beat between every two
        Half,      // every other beat goes; the one at atMs stays
        TempoFrom, // from the beat at atMs on, a beat every value ms
    };
    Kind kind = Kind::Shift;
    double atMs = 0.0;
    double value = 0.0;
    bool operator==(const GridEdit& o) const { return kind == o.kind && atMs == o.atMs && value == o.value; }
};

struct GridCorrections {
    // The most edits a list holds. Each doubling doubles the beats it works on, so a
    // longer list read from a file is cut to this, and the user makes no more.
    static constexpr size_t kMaxEdits = 1000;

    std::vector<GridEdit> edits;

    bool empty() const { return edits.empty(); }
    bool operator==(const GridCorrections& o) const { return edits == o.edits; }
    // A line of text per edit ("shift 1234.5 20"); empty for none. Used for the undo
    // history, the analysis cache and the project file alike.
    QByteArray toBytes() const;
    // Nothing for text that is not a list of edits (an unknown kind, a missing or
    // non-finite number): a damaged correction is dropped whole. Of a list longer than
    // kMaxEdits the first kMaxEdits are kept, and `dropped` (may be null) gets how many
    // more there were.
    static std::optional<GridCorrections> fromBytes(const QByteArray& bytes, size_t* dropped = nullptr);
};

// The closest two beats come by a correction by hand (1,500 BPM): a doubling adds no beat
// between beats closer than twice this, and no correction lays more beats than the sound
// and the beats have room for at this spacing.
constexpr double kMinCorrectedBeatMs = 40.0;

// A tempo segment of a corrected grid: from its first beat on, `bpm`.
struct TempoSegment {
    double fromMs = 0.0;
    double bpm = 0.0;
};

// The beats and bars in use after the corrections: the list the strip shows and the
// snapping and the beat split use.
struct CorrectedGrid {
    std::vector<double> beats;
    std::vector<double> bars;           // a subset of beats
    std::vector<TempoSegment> segments; // one per tempo change by hand, plus the first
    // Edits that could not lay all their beats for kMinCorrectedBeatMs.
    int heldBack = 0;
};

// Applies `corrections` to beats (ascending) and their bars (a subset of them, as from
// barsOnBeats). A tempo change lays beats up to endMs (at least as far as the beats went).
// The result holds at most one beat per kMinCorrectedBeatMs of the sound (endMs) or of
// the beats given, whichever is longer, or as many as were given.
CorrectedGrid correctGrid(const std::vector<double>& beats, const std::vector<double>& bars,
                          const GridCorrections& corrections, double endMs);

} // namespace vk
