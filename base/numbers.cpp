#include "base/numbers.h"

#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace vk {

namespace {
constexpr long long kMin = std::numeric_limits<int>::min();
constexpr long long kMax = std::numeric_limits<int>::max();
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
    // to_chars writes as printf does in the C locale, whatever the process's locale:
    // this text goes into documents, which always use ".".
    char buf[400];
    const char* end = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15).ptr;
    const char* e = std::find(static_cast<const char*>(buf), end, 'e');
    if (e == end)
        return QString::fromLatin1(buf, int(end - buf));
    // Write out the value without an exponent, keeping its 15 significant digits. The
    // exponent is taken from the text: the rounded value may lie beyond the largest
    // double (1.79769313486232e+308).
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), end, exponent);
    if (exponent >= 15) {
        // A whole number: the significant digits, then zeros up to the decimal point.
        QString digits;
        for (const char* p = buf; p < e; ++p)
            if (*p >= '0' && *p <= '9')
                digits += QLatin1Char(*p);
        digits = digits.leftJustified(exponent + 1, QLatin1Char('0'));
        return x < 0 ? QLatin1Char('-') + digits : digits;
    }
    double v = 0;
    std::from_chars(buf, end, v);
    const int decimals = std::max(0, 14 - exponent);
    end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, std::min(decimals, 40)).ptr;
    QString s = QString::fromLatin1(buf, int(end - buf));
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s;
}

bool ReadDocumentNumber(std::string_view text, double& out)
{
    double v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != end)
        return false;
    out = v;
    return true;
}

void OrderPair(int& a, int& b)
{
    if (b < a)
        std::swap(a, b);
}

} // namespace vk
