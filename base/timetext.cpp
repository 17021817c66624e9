#include "base/timetext.h"

#include "base/numbers.h"

#include <cmath>
#include <limits>

namespace vk {

namespace {
constexpr long long kMin = std::numeric_limits<int>::min();
constexpr long long kMax = std::numeric_limits<int>::max();

double checkedFloor(double v)
{
    const double f = std::floor(v);
    if (!std::isfinite(f) || f < double(kMin) || f > double(kMax))
        throw ConversionError(ConversionError::Kind::Overflow, "overflow");
    return f;
}
} // namespace

void SplitMsec(int ms, int interval, int& hours, int& minutes, int& seconds, int& frames)
{
    hours = int(checkedFloor(double(ms) / 3600000.0));
    long long rest = CheckInt32((long long)ms - CheckInt32((long long)hours * 3600000LL));
    minutes = int(checkedFloor(double(rest) / 60000.0));
    rest = CheckInt32(rest - CheckInt32((long long)minutes * 60000LL));
    seconds = int(checkedFloor(double(rest) / 1000.0));
    rest = CheckInt32(rest - CheckInt32((long long)seconds * 1000LL));
    if (interval == 0)
        return;
    frames = int(checkedFloor(double(rest) / double(interval)));
}

QString MsecToTimeText(int ms, int interval)
{
    int h = 0, m = 0, s = 0, f = 0;
    SplitMsec(ms, interval, h, m, s, f);
    auto two = [](int v) { return v < 0 ? QString::number(v) : QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(h) + QLatin1Char(':') + two(m) + QLatin1Char(':') + two(s) + QLatin1Char(':') + two(f);
}

int TimeTextToMsec(const QString& text, int interval)
{
    const long long h = ParseInt32(text.mid(0, 2));
    const long long m = ParseInt32(text.mid(3, 2));
    const long long s = ParseInt32(text.mid(6, 2));
    const long long f = ParseInt32(text.mid(9, 2));
    long long total = CheckInt32(h * 3600000LL);
    total = CheckInt32(total + CheckInt32(m * 60000LL));
    total = CheckInt32(total + CheckInt32(s * 1000LL));
    total = CheckInt32(total + CheckInt32(f * (long long)interval));
    return int(total);
}

} // namespace vk
