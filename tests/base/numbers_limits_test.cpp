// Number texts at the ends of the double range: ShortestDecimal of values whose 15-digit
// rounding passes the largest double, and of whole numbers longer than a small buffer.

#include "base/numbers.h"

#include <gtest/gtest.h>

#include <cfloat>

namespace vk {
namespace {

TEST(ShortestDecimalLimits, HugeValuesKeepFifteenDigitsAndEveryZero)
{
    // Rounded to 15 digits the largest double is 1.79769313486232e+308, beyond the range:
    // the text still has its 309 digits.
    const QString largest = ShortestDecimal(DBL_MAX);
    EXPECT_EQ(largest.size(), 309);
    EXPECT_TRUE(largest.startsWith(QStringLiteral("179769313486232000"))) << largest.left(40).toStdString();
    EXPECT_EQ(largest.count(QLatin1Char('0')), 309 - 15);
    const QString lowest = ShortestDecimal(-DBL_MAX);
    EXPECT_EQ(lowest, QLatin1Char('-') + largest);

    // Whole numbers longer than 63 digits come out whole.
    const QString big = ShortestDecimal(1e70);
    EXPECT_EQ(big.size(), 71);
    EXPECT_EQ(big, QStringLiteral("1") + QString(70, QLatin1Char('0')));
    EXPECT_EQ(ShortestDecimal(-1.5e20), QStringLiteral("-150000000000000000000"));
    EXPECT_EQ(ShortestDecimal(123456789012345678.0), QStringLiteral("123456789012346000"));
}

TEST(ShortestDecimalLimits, OrdinaryValuesAsBefore)
{
    EXPECT_EQ(ShortestDecimal(1e15), QStringLiteral("1000000000000000"));
    EXPECT_EQ(ShortestDecimal(999999999999999.0), QStringLiteral("999999999999999"));
    EXPECT_EQ(ShortestDecimal(29.97), QStringLiteral("29.97"));
    EXPECT_EQ(ShortestDecimal(-0.5), QStringLiteral("-0.5"));
    EXPECT_EQ(ShortestDecimal(1e-7), QStringLiteral("0.0000001"));
    EXPECT_EQ(ShortestDecimal(0.0), QStringLiteral("0"));
}

} // namespace
} // namespace vk
