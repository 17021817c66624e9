#include "media/mpv/playclock.h"

#include <algorithm>
#include <cmath>

namespace vk {

void PlayClock::hold(double pos)
{
    m_running = false;
    m_haveBase = false;
    m_base = pos;
    m_rate = 0.0;
    m_floor = pos;
}

void PlayClock::start(double pos, double now, double speed)
{
    m_running = true;
    m_haveBase = false;
    m_speed = speed;
    m_startPos = pos;
    m_startTime = now;
    m_base = pos;
    m_baseTime = now;
    m_rate = 0.0;
    m_floor = pos;
}

double PlayClock::raw(double now) const
{
    return m_base + m_rate * (now - m_baseTime);
}

void PlayClock::report(double value, double now)
{
    if (!m_running)
        return;
    // Never ahead of the clock since the start (with room for a player clock that
    // runs a little fast).
    const double elapsed = std::max(0.0, now - m_startTime);
    value = std::min(value, m_startPos + m_speed * elapsed * (1.0 + kAheadRate));
    const double predicted = std::max(raw(now), m_floor);
    if (!m_haveBase) {
        m_haveBase = true;
        // The first report says the player has started: the answer runs from the
        // start from now on, or waits while the music has not reached the start yet.
        m_base = m_floor;
        m_rate = value >= m_floor ? m_speed : 0.0;
    } else if (value >= predicted) {
        m_base = value;
        m_rate = m_speed;
    } else if (m_rate == 0.0 || predicted - value > kStall) {
        // Waiting for the music to come back to the answer given.
        m_base = predicted;
        m_rate = 0.0;
    } else {
        // Stale: keep the estimate, drawn toward the report only as fast as two clocks
        // can drift apart.
        const double shave = std::min(predicted - value, kDriftRate * std::max(0.0, now - m_baseTime));
        m_base = predicted - shave;
        m_rate = m_speed;
    }
    m_baseTime = now;
}

double PlayClock::at(double now)
{
    if (!m_running)
        return m_base;
    m_floor = std::max(m_floor, raw(now));
    return m_floor;
}

} // namespace vk
