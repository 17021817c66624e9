#pragma once
// The parts of the beat analysis benchmark (tools/beatbench.cpp) share these: the score of
// found beats against known ones, the timing, and the table on real recorded songs.

#include <QString>

#include <chrono>
#include <vector>

namespace vk::beatbench {

using Clock = std::chrono::steady_clock;

// A found beat matches a true one within this.
constexpr double kToleranceMs = 70.0;

struct Match {
    double f = 0.0;
    std::vector<double> errors; // detected - truth, for matched beats
};

// Each true beat matches at most one detected beat within the tolerance, nearest first.
Match evaluate(const std::vector<double>& truth, const std::vector<double>& found);
// NaN for none; of an even count, the mean of the two middle ones.
double median(std::vector<double> v);
double medianAbs(const std::vector<double>& v);
// CPU time of this thread: the work itself, whatever else the machine is doing.
double threadCpuMs();
double msSince(Clock::time_point t0);
// A target's column: "ok" or "MISS".
const char* mark(bool ok);

// The real-music table on the songs prepared in `folder` (tools/realmusic.sh); returns
// whether every song met the targets after the correction (true without songs).
bool realMusicTable(const QString& folder);

} // namespace vk::beatbench
