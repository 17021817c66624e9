#pragma once
// The median the beat grid and its corrections by hand take of beat and tap spacings.

#include <algorithm>
#include <vector>

namespace vk {

// The middle value of v (of an even count, the upper of the two middle ones); 0 for none.
inline double medianOf(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace vk
