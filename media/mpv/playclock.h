#pragma once

namespace vk {

// The running position between the player's reports. Times are seconds of a
// monotonic clock, given by the caller, so the rules below run on any clock.
//
// The player's reports reach us late, by however long the user-interface thread took
// to take them: a report is never ahead of the music, only behind it by that delay.
// So a report that is behind the running estimate is stale and does not pull the
// estimate back (beyond what follows a clock drifting apart from the player's); a
// report ahead of it is taken as the new base. A report ahead of where the clock
// since the start allows (a video puts its next picture up as soon as it starts) is
// held to that. The first report only starts the answer running from the start. The
// answer never goes backwards while running; when the music falls far behind (a
// stall), the answer waits for it.
class PlayClock {
public:
    // Paused, or stopped at `pos`: the answer is `pos`.
    void hold(double pos);
    // Running from `pos` at `speed` since `now`. The answer stays at `pos` until the
    // first report (the sound takes a moment to start), and runs on from there.
    void start(double pos, double now, double speed);
    void report(double value, double now);
    // The position at `now`; while running, never less than an earlier answer.
    double at(double now);
    // Running with reports.
    bool following() const { return m_running && m_haveBase; }
    bool running() const { return m_running; }

    // A report this far behind the estimate means the music really fell behind.
    static constexpr double kStall = 0.08;
    // How fast (seconds per second) stale reports may draw the estimate back: the
    // most two clocks drift apart.
    static constexpr double kDriftRate = 0.002;
    // Room over the clock since the start for a player's clock that runs fast.
    static constexpr double kAheadRate = 0.002;

private:
    double raw(double now) const;

    bool m_running = false;
    bool m_haveBase = false;
    double m_speed = 1.0;
    double m_startPos = 0.0;
    double m_startTime = 0.0;
    double m_base = 0.0;
    double m_baseTime = 0.0;
    double m_rate = 0.0;  // speed while following, 0 while waiting for the music
    double m_floor = 0.0; // the largest answer given since the start
};

} // namespace vk
