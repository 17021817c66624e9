#include "app/helpers.h"

#include <QStringList>
#include <cmath>
#include <cstdio>
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

int RoundToInt32(double value)
{
    if (!std::isfinite(value))
        throw ConversionError(ConversionError::Kind::Overflow, "overflow");
    const double r = std::nearbyint(value); // the default rounding mode is to nearest, ties to even
    if (r < double(kMin) || r > double(kMax))
        throw ConversionError(ConversionError::Kind::Overflow, "overflow");
    return int(r);
}

int CheckInt32(long long value)
{
    if (value < kMin || value > kMax)
        throw ConversionError(ConversionError::Kind::Overflow, "overflow");
    return int(value);
}

double ParseNumber(const QString& text)
{
    const QString t = text.trimmed();
    bool ok = false;
    // Plain decimal notation only: digits, one optional point, an optional sign.
    int digits = 0;
    int points = 0;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c.isDigit() && c.unicode() < 128)
            ++digits;
        else if (c == QLatin1Char('.'))
            ++points;
        else if ((c == QLatin1Char('-') || c == QLatin1Char('+')) && i == 0)
            continue;
        else
            throw ConversionError(ConversionError::Kind::Type, "type mismatch");
    }
    if (digits == 0 || points > 1)
        throw ConversionError(ConversionError::Kind::Type, "type mismatch");
    // Whole numbers (every start, interval and time field of the table) are read
    // directly: the general conversion costs about a microsecond per cell, too much for
    // a pass over a 10,000-row table. Up to 18 digits the value is exact.
    if (points == 0 && digits <= 18) {
        long long whole = 0;
        bool negative = false;
        for (const QChar c : t) {
            if (c == QLatin1Char('-'))
                negative = true;
            else if (c != QLatin1Char('+'))
                whole = whole * 10 + (c.unicode() - u'0');
        }
        return negative ? -double(whole) : double(whole);
    }
    const double v = t.toDouble(&ok);
    if (!ok)
        throw ConversionError(ConversionError::Kind::Type, "type mismatch");
    return v;
}

int ParseInt32(const QString& text)
{
    return RoundToInt32(ParseNumber(text));
}

bool TryParseInt32(const QString& text, int& out)
{
    try {
        out = ParseInt32(text);
        return true;
    } catch (const ConversionError&) {
        return false;
    }
}

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
    auto two = [](int v) {
        return v < 0 ? QString::number(v) : QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
    };
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

double RoundTo3(double x)
{
    if (!std::isfinite(x))
        return x;
    // x * 1000 is exact in the 64-bit mantissa of long double, so a tie is a real tie
    // of the stored value and not an artefact of the multiplication.
    const long double y = (long double)x * 1000.0L;
    // rint rounds the same way (to nearest, ties to even) without saving the x87
    // environment, which nearbyint does at about 250 ns a call.
    const long double r = std::rint(y);
    return double(r) / 1000.0;
}

QString ShortestDecimal(double x)
{
    if (x == 0.0 || !std::isfinite(x))
        return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", x);
    QString s = QString::fromLatin1(buf);
    if (!s.contains(QLatin1Char('e')))
        return s;
    // Write out the value without an exponent, keeping its 15 significant digits.
    const double v = std::strtod(buf, nullptr);
    const int exponent = int(std::floor(std::log10(std::fabs(v))));
    const int decimals = std::max(0, 14 - exponent);
    std::snprintf(buf, sizeof buf, "%.*f", std::min(decimals, 40), v);
    s = QString::fromLatin1(buf);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s;
}

int RateIndexToPercent(int index)
{
    static const int percents[18] = {50, 60, 70, 80, 90, 95, 100, 105, 110,
                                     120, 130, 140, 150, 160, 170, 180, 190, 200};
    if (index < 0 || index > 17)
        return 0;
    return percents[index];
}

const QStringList& SpeedListTexts()
{
    static const QStringList texts = {
        QStringLiteral("0.5"), QStringLiteral("0.6"), QStringLiteral("0.7"), QStringLiteral("0.8"),
        QStringLiteral("0.9"), QStringLiteral("0.95"), QStringLiteral("1.0"), QStringLiteral("1.05"),
        QStringLiteral("1.1"), QStringLiteral("1.2"), QStringLiteral("1.3"), QStringLiteral("1.4"),
        QStringLiteral("1.5"), QStringLiteral("1.6"), QStringLiteral("1.7"), QStringLiteral("1.8"),
        QStringLiteral("1.9"), QStringLiteral("2.0")};
    return texts;
}

void OrderPair(int& a, int& b)
{
    if (b < a)
        std::swap(a, b);
}

QString& AddTrailingSeparator(QString& path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

QString VersionText()
{
    return QStringLiteral("%1_%2_%3").arg(VK_VERSION_MAJOR).arg(VK_VERSION_MINOR).arg(VK_VERSION_REVISION);
}

} // namespace vk
