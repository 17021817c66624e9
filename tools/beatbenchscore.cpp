// The score and the timing of the beat analysis benchmark.

#include "tools/beatbench.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace vk::beatbench {

Match evaluate(const std::vector<double>& truth, const std::vector<double>& found)
{
    Match m;
    if (truth.empty() || found.empty())
        return m;
    std::vector<bool> used(found.size(), false);
    for (double t : truth) {
        auto it = std::lower_bound(found.begin(), found.end(), t - kToleranceMs);
        long best = -1;
        for (; it != found.end() && *it <= t + kToleranceMs; ++it) {
            const long i = long(it - found.begin());
            if (!used[size_t(i)] && (best < 0 || std::fabs(*it - t) < std::fabs(found[size_t(best)] - t)))
                best = i;
        }
        if (best >= 0) {
            used[size_t(best)] = true;
            m.errors.push_back(found[size_t(best)] - t);
        }
    }
    const double p = double(m.errors.size()) / found.size();
    const double r = double(m.errors.size()) / truth.size();
    m.f = p + r > 0 ? 2 * p * r / (p + r) : 0.0;
    return m;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return std::nan("");
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double medianAbs(const std::vector<double>& v)
{
    std::vector<double> a;
    for (double x : v)
        a.push_back(std::fabs(x));
    return median(a);
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

const char* mark(bool ok)
{
    return ok ? "ok  " : "MISS";
}

} // namespace vk::beatbench
