#pragma once
// Pure helpers around tapped times: snapping a tap to the analysed beats and onsets,
// measuring the user's tap latency against a click track, and making that click track.
// All times are milliseconds.

#include <vector>

namespace vk {

constexpr double kDefaultSnapWindowMs = 60.0;

enum class SnapTarget { None, Beat, Onset };

struct SnapResult {
    double ms = 0.0; // the snapped time, or the tap itself
    SnapTarget target = SnapTarget::None;
};

// Snaps a tap to the nearest beat within ±window; when no beat is that near, to the
// nearest onset within ±window; otherwise the tap stays where it is. A beat wins over a
// nearer onset because beats are what the cuts follow; onsets catch accents off the beat.
// beats and onsets must be ascending. A distance exactly equal to the window still snaps.
SnapResult snapTap(double tapMs, const std::vector<double>& beats, const std::vector<double>& onsets,
                   double windowMs = kDefaultSnapWindowMs);

// The user's tap latency: the median of (tap - nearest click) over the calibration taps,
// positive when the taps come late. Taps more than a quarter of the click interval from
// every click (125 ms at 120 BPM, far beyond any real latency) are left out as stray: a
// doubled or missed tap must not pull the median. Returns 0 when no tap is usable.
// clicks must be ascending.
double medianTapOffset(const std::vector<double>& tapsMs, const std::vector<double>& clicksMs);

// A click track: a short decaying 1 kHz click (2 kHz on the first beat of every bar of
// four) at `bpm`, mono 16-bit PCM at `sampleRate`, `beats` clicks long. Click k starts
// exactly at k * 60000 / bpm ms. Used to calibrate tap latency.
struct ClickTrack {
    std::vector<short> pcm;
    int sampleRate = 0;
    std::vector<double> clicksMs;
};
ClickTrack makeClickTrack(double bpm = 120.0, int beats = 16, int sampleRate = 44100);

// The split points for cutting [fromMs, toMs) into sections every `everyBeats` beats
// (1, 2, 4, 8; any value below 1 counts as 1): every everyBeats-th beat inside the range,
// counting from the first beat at or after fromMs, without fromMs itself. beats must be
// ascending.
std::vector<double> beatSplitPoints(const std::vector<double>& beats, double fromMs, double toMs, int everyBeats);

// The same on the bars the grid shows (bars: the bars' first beats, a subset of beats):
// every 2 or 4 beats counted from each bar line (so a section never straddles one), and
// at 8 (more than a bar) every other bar line counted from the song's first bar. Without
// bars, or at 1, as beatSplitPoints.
std::vector<double> barSplitPoints(const std::vector<double>& beats, const std::vector<double>& bars, double fromMs,
                                   double toMs, int everyBeats);

} // namespace vk
