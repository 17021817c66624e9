#pragma once
// Small stateless helpers shared by every part of the editor: time text, rounding,
// the speed list, path handling and number conversions.
//
// Conversions follow the editor's arithmetic rules: floating-point values become
// integers by rounding to nearest with halves to even, and every integer result is
// checked against the signed 32-bit range. A value out of range raises
// ConversionError(Overflow); text that is not a number raises ConversionError(Type).
// Callers decide, by their own rules, whether such an error skips a step or ends
// the command.

#include <QString>
#include <QStringList>
#include <stdexcept>

namespace vk {

class ConversionError final : public std::runtime_error {
public:
    enum class Kind { Overflow, Type };
    ConversionError(Kind kind, const char* what) : std::runtime_error(what), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

// Round to nearest, halves to even, and check the signed 32-bit range.
int RoundToInt32(double value);
// Check a 64-bit intermediate against the signed 32-bit range.
int CheckInt32(long long value);

// Reads text as a number the way the editor's cells are read: blanks around it are
// ignored, a decimal point is allowed, an optional sign. Throws Type for anything else.
double ParseNumber(const QString& text);
// ParseNumber, then RoundToInt32 ("2.5" gives 2, "3.5" gives 4).
int ParseInt32(const QString& text);
// ParseInt32 that reports failure instead of throwing.
bool TryParseInt32(const QString& text, int& out);

// Splits ms into hours, minutes, seconds and frames of `interval` ms. With interval 0
// the frames value is left as the caller set it.
void SplitMsec(int ms, int interval, int& hours, int& minutes, int& seconds, int& frames);
// "hh:mm:ss:ff" with at least two digits per field.
QString MsecToTimeText(int ms, int interval);
// Reads the fields at fixed positions 1-2, 4-5, 7-8, 10-11; separators are not checked.
int TimeTextToMsec(const QString& text, int interval);

// Rounds to three decimals, an exact binary tie going to the even last digit.
double RoundTo3(double x);
// Shortest decimal text of a value: at most 15 significant digits, no exponent,
// no trailing zeros, "." as decimal point ("30", "29.97", "0.5").
QString ShortestDecimal(double x);

// Speed list index 0..17 to percent (50 .. 200); any other index gives 0.
int RateIndexToPercent(int index);
// The 18 speed texts "0.5" .. "2.0" of the speed lists.
const QStringList& SpeedListTexts();

// Exchanges a and b when b < a.
void OrderPair(int& a, int& b);

// Appends "/" unless the path already ends in one (an empty path becomes "/").
// Changes the argument and returns it.
QString& AddTrailingSeparator(QString& path);

// The application's version "2_0_1" (major, minor and revision joined by "_").
QString VersionText();

} // namespace vk
