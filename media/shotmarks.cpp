#include "media/shotmarks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vk {

namespace {

// The slider value that shows a boundary's first frame: the first whole ms at or after it.
int boundaryValue(double ms)
{
    return int(std::ceil(ms - 1e-6));
}

} // namespace

void ShotMarks::setBoundaries(std::vector<double> boundariesMs)
{
    std::sort(boundariesMs.begin(), boundariesMs.end());
    m_boundaries = std::move(boundariesMs);
}

std::optional<int> ShotMarks::snapTarget(int value, int frameInterval) const
{
    const double reach = 3.0 * frameInterval + 0.5;
    std::optional<int> best;
    for (double b : m_boundaries) {
        const int target = boundaryValue(b);
        if (std::abs(target - value) <= reach && (!best || std::abs(target - value) < std::abs(*best - value)))
            best = target;
    }
    return best;
}

int ShotMarks::previous(int value) const
{
    for (auto it = m_boundaries.rbegin(); it != m_boundaries.rend(); ++it)
        if (boundaryValue(*it) < value)
            return boundaryValue(*it);
    return 0;
}

std::optional<int> ShotMarks::next(int value) const
{
    for (double b : m_boundaries)
        if (boundaryValue(b) > value)
            return boundaryValue(b);
    return std::nullopt;
}

} // namespace vk
