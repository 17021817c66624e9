#include "base/numbers.h"
#include "base/paths.h"
#include "base/speeds.h"
#include "base/timetext.h"
#include "base/version.h"

#include <gtest/gtest.h>
#include <limits>

using namespace vk;

TEST(TimeText, FormatsAndReadsBackToWholeFrames)
{
    EXPECT_EQ(MsecToTimeText(0, 33), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(MsecToTimeText(1234, 33), QStringLiteral("00:00:01:07"));
    // Reading back truncates to whole frames: 7 frames of 33 ms.
    EXPECT_EQ(TimeTextToMsec(QStringLiteral("00:00:01:07"), 33), 1231);
    EXPECT_EQ(MsecToTimeText(3600000 + 2 * 60000 + 3500, 40), QStringLiteral("01:02:03:12"));
    // Interval 0 always gives frames 00.
    EXPECT_EQ(MsecToTimeText(999, 0), QStringLiteral("00:00:00:00"));
    // Three-digit hours are written in full.
    EXPECT_EQ(MsecToTimeText(100 * 3600000, 33), QStringLiteral("100:00:00:00"));
}

TEST(TimeText, SplitLeavesFramesAloneWithIntervalZero)
{
    int h = -1, m = -1, s = -1, f = 42;
    SplitMsec(3723999, 0, h, m, s, f);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(m, 2);
    EXPECT_EQ(s, 3);
    EXPECT_EQ(f, 42);
    SplitMsec(3723999, 40, h, m, s, f);
    EXPECT_EQ(f, 24);
}

TEST(TimeText, ReadsFixedPositionsAndRejectsBadFields)
{
    // The separators are not checked.
    EXPECT_EQ(TimeTextToMsec(QStringLiteral("01x02y03z04"), 40), 3600000 + 120000 + 3000 + 160);
    EXPECT_THROW(TimeTextToMsec(QStringLiteral("aa:00:00:00"), 33), ConversionError);
    EXPECT_THROW(TimeTextToMsec(QStringLiteral(""), 33), ConversionError);
    EXPECT_THROW(TimeTextToMsec(QStringLiteral("00:00:00"), 33), ConversionError);
    try {
        TimeTextToMsec(QStringLiteral("99:99:99:99"), std::numeric_limits<int>::max());
        FAIL() << "no overflow reported";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind(), ConversionError::Kind::Overflow);
    }
    EXPECT_THROW(TimeTextToMsec(QStringLiteral("99:00:00:00"), 33) * 0 +
                     TimeTextToMsec(QStringLiteral("00:00:00:99"), std::numeric_limits<int>::max() / 50),
                 ConversionError);
}

TEST(Rounding, HalvesGoToEven)
{
    EXPECT_EQ(RoundToInt32(2.5), 2);
    EXPECT_EQ(RoundToInt32(3.5), 4);
    EXPECT_EQ(RoundToInt32(-2.5), -2);
    EXPECT_EQ(RoundToInt32(1000.0 / 30.0), 33);
    EXPECT_THROW(RoundToInt32(3e9), ConversionError);
    EXPECT_THROW(RoundToInt32(std::numeric_limits<double>::quiet_NaN()), ConversionError);
    EXPECT_EQ(ParseInt32(QStringLiteral("2.5")), 2);
    EXPECT_EQ(ParseInt32(QStringLiteral(" 3.5 ")), 4);
    EXPECT_THROW(ParseInt32(QStringLiteral("abc")), ConversionError);
    EXPECT_THROW(ParseInt32(QStringLiteral("1e3")), ConversionError);
    EXPECT_THROW(ParseInt32(QStringLiteral("")), ConversionError);
}

TEST(Rounding, RoundTo3TiesByStoredValue)
{
    EXPECT_DOUBLE_EQ(RoundTo3(2.0625), 2.062); // an exact binary tie goes to even
    EXPECT_DOUBLE_EQ(RoundTo3(2.0615), 2.062); // stored just above the decimal tie
    EXPECT_DOUBLE_EQ(RoundTo3(2.0635), 2.063); // stored just below it
    EXPECT_DOUBLE_EQ(RoundTo3(0.0625), 0.062);
    EXPECT_DOUBLE_EQ(RoundTo3(2.0 / 3.0), 0.667);
    EXPECT_DOUBLE_EQ(RoundTo3(1.0 / 8.0), 0.125);
    EXPECT_DOUBLE_EQ(RoundTo3(1.0 / 3.0), 0.333);
}

TEST(Rounding, ShortestDecimalText)
{
    EXPECT_EQ(ShortestDecimal(30.0), QStringLiteral("30"));
    EXPECT_EQ(ShortestDecimal(29.97), QStringLiteral("29.97"));
    EXPECT_EQ(ShortestDecimal(0.5), QStringLiteral("0.5"));
    EXPECT_EQ(ShortestDecimal(1.231), QStringLiteral("1.231"));
    EXPECT_EQ(ShortestDecimal(0.0), QStringLiteral("0"));
    EXPECT_EQ(ShortestDecimal(-0.0), QStringLiteral("0"));
    EXPECT_EQ(ShortestDecimal(0.0001), QStringLiteral("0.0001"));
    EXPECT_EQ(ShortestDecimal(1e20), QStringLiteral("100000000000000000000"));
    EXPECT_EQ(ShortestDecimal(0.1 + 0.2), QStringLiteral("0.3"));
}

TEST(SpeedList, PercentsOfTheEighteenEntries)
{
    const int expected[18] = {50, 60, 70, 80, 90, 95, 100, 105, 110, 120, 130, 140, 150, 160, 170, 180, 190, 200};
    ASSERT_EQ(SpeedListTexts().size(), 18);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(RateIndexToPercent(i), expected[i]);
        // The list text read as a number gives the same percent.
        EXPECT_EQ(RoundToInt32(ParseNumber(SpeedListTexts().at(i)) * 100), expected[i]);
    }
    EXPECT_EQ(RateIndexToPercent(18), 0);
    EXPECT_EQ(RateIndexToPercent(-1), 0);
}

TEST(SmallHelpers, OrderPairAndTrailingSeparator)
{
    int a = 7, b = 4;
    OrderPair(a, b);
    EXPECT_EQ(a, 4);
    EXPECT_EQ(b, 7);
    OrderPair(a, b);
    EXPECT_EQ(a, 4);
    EXPECT_EQ(b, 7);

    QString p = QStringLiteral("/home/user/Work");
    EXPECT_EQ(AddTrailingSeparator(p), QStringLiteral("/home/user/Work/"));
    EXPECT_EQ(p, QStringLiteral("/home/user/Work/"));
    EXPECT_EQ(AddTrailingSeparator(p), QStringLiteral("/home/user/Work/"));
    QString empty;
    EXPECT_EQ(AddTrailingSeparator(empty), QStringLiteral("/"));
    EXPECT_EQ(VersionText(), QStringLiteral("2_0_1"));
}
