#pragma once
// The level of a list of beats and its tempo. The beat tracker prefers tempi near 120
// BPM, so a slow song can come back at double and a fast one at half its felt tempo.
// beatsAtTapLevel() resolves that from the user's own taps; halveBeats()/doubleBeats()
// change the level by hand. All times are milliseconds.

#include <vector>

namespace vk {

// Every other beat, starting with beat `phase` (0 or 1).
std::vector<double> halveBeats(const std::vector<double>& beats, int phase = 0);
// A beat added halfway between each pair of neighbours.
std::vector<double> doubleBeats(const std::vector<double>& beats);

// The beats at the metrical level of the user's taps: the median tap spacing is compared
// with the median beat spacing and the beats are halved or doubled (up to twice) until
// they match; when halving, the half that lies closer to the taps is kept. Fewer than
// three taps, or no beats, leave the beats as they are. The bars (downbeatsMs) are not
// touched: doubling keeps every downbeat among the beats, halving keeps those of the
// phase the taps chose.
std::vector<double> beatsAtTapLevel(const std::vector<double>& beats, const std::vector<double>& tapsMs);

// The median spacing of ascending times; 0 for fewer than two.
double medianSpacing(const std::vector<double>& times);

// The tempo of ascending beat times, in beats per minute (0 with fewer than two beats):
// the median spacing over spans of several beats, so beats placed on whole analysis
// frames still give the tempo to a tenth of a BPM.
double beatsPerMinute(const std::vector<double>& beatsMs);

} // namespace vk
