#pragma once
// Number conversions shared by every part of the editor: reading cell text as numbers,
// rounding and the 32-bit checks.
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
#include <string_view>

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

// Rounds to three decimals, an exact binary tie going to the even last digit.
double RoundTo3(double x);
// Shortest decimal text of a value: at most 15 significant digits, no exponent,
// no trailing zeros, "." as decimal point whatever the locale ("30", "29.97", "0.5").
QString ShortestDecimal(double x);

// Reads the whole of a number in a document ("1.5", "-2", "1e-07"), with "." as the
// decimal point whatever the locale; false for anything else ("1,5", "", "1.5 s").
bool ReadDocumentNumber(std::string_view text, double& out);

// Exchanges a and b when b < a.
void OrderPair(int& a, int& b);

} // namespace vk
