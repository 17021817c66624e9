// The numbers the editor writes into its documents and reads back from them do not
// change with the locale: under one whose decimal point is a comma (which the
// application takes from the user at start-up) they are the C locale's, to the byte.
#include "base/numbers.h"
#include "tests/support/commalocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace vk {
namespace {

// Leaves the process with the C locale's numbers, whatever a case did.
struct DocumentNumbers : ::testing::Test {
    void SetUp() override
    {
        const testsupport::CommaLocale& locale = testsupport::commaLocale();
        ASSERT_TRUE(locale.ok()) << locale.error;
    }
    void TearDown() override { testsupport::useCommaNumbers(false); }
};

TEST_F(DocumentNumbers, ShortestDecimalWritesTheSameTextAsInTheCLocale)
{
    std::vector<double> values = {0.5,     29.97, 30000.0 / 1001.0, 1.0 / 3.0,  -2.25,  1e-7,    123456.789,
                                  1e20,    -1e20, 2147483.647,      1e15 + 0.5, 0.0001, 1.5e-10, 1.7976931348623157e308,
                                  4.9e-324};
    for (int i = 1; i < 200; ++i)
        values.push_back(std::pow(1.37, i - 100) * (i % 2 ? 1 : -1));
    ASSERT_TRUE(testsupport::useCommaNumbers(false));
    std::vector<std::string> inC;
    for (double v : values)
        inC.push_back(ShortestDecimal(v).toStdString());
    ASSERT_TRUE(testsupport::useCommaNumbers(true));
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(ShortestDecimal(values[i]).toStdString(), inC[i]) << values[i];
        EXPECT_EQ(inC[i].find(','), std::string::npos) << inC[i];
    }
    EXPECT_EQ(ShortestDecimal(29.97).toStdString(), "29.97");
    EXPECT_EQ(ShortestDecimal(0.5).toStdString(), "0.5");
    EXPECT_EQ(ShortestDecimal(1e-7).toStdString(), "0.0000001");
    EXPECT_EQ(ShortestDecimal(-2.25).toStdString(), "-2.25");
}

TEST_F(DocumentNumbers, ReadWithAPointOnly)
{
    ASSERT_TRUE(testsupport::useCommaNumbers(true));
    const struct {
        const char* text;
        double value;
    } good[] = {{"1.5", 1.5}, {"0.1", 0.1}, {"-2", -2}, {"1e-07", 1e-7}, {"29.97002997", 29.97002997}, {".5", 0.5}};
    for (const auto& c : good) {
        double v = -1;
        EXPECT_TRUE(ReadDocumentNumber(c.text, v)) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    double v = 7;
    for (const char* bad : {"1,5", "", "1.5 s", "abc", "1.5.2", " 1.5"}) {
        EXPECT_FALSE(ReadDocumentNumber(bad, v)) << bad;
        EXPECT_EQ(v, 7) << bad;
    }
    // Every text ShortestDecimal writes reads back as the value it was written from,
    // where 15 digits hold that value.
    for (double x : {0.5, 29.97, 2147483.647, 123.456, 1e-7, -0.001}) {
        ASSERT_TRUE(ReadDocumentNumber(ShortestDecimal(x).toStdString(), v)) << x;
        EXPECT_EQ(v, x);
    }
}

} // namespace
} // namespace vk
