// The writer's numbers as text (the engine timeline, the projects it exports, the check
// line) under a locale whose decimal point is a comma, which its windows take from the
// user: the same text as printf wrote in the C locale, and read back to the same value.
#include "tests/support/commalocale.h"
#include "writer/numbertext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct NumberText : ::testing::Test {
    void SetUp() override
    {
        const vk::testsupport::CommaLocale& locale = vk::testsupport::commaLocale();
        ASSERT_TRUE(locale.ok()) << locale.error;
    }
    void TearDown() override { vk::testsupport::useCommaNumbers(false); }
};

std::vector<double> sampleValues()
{
    std::vector<double> values = {0.1,
                                  1.5,
                                  -1.5,
                                  1e-7,
                                  0.0,
                                  -0.0,
                                  3.75,
                                  112.5,
                                  29.97002997002997,
                                  2147483.648,
                                  1e9,
                                  1e10,
                                  1e15,
                                  1e300,
                                  -1e-300,
                                  1.7976931348623157e308,
                                  4.9e-324};
    for (int i = 0; i < 300; ++i)
        values.push_back(std::pow(1.173, i - 150) * (i % 3 ? 1 : -1));
    return values;
}

TEST_F(NumberText, TextIsTheCLocalesPrintfText)
{
    const std::vector<double> values = sampleValues();
    ASSERT_TRUE(vk::testsupport::useCommaNumbers(false));
    std::vector<std::string> general, fixed;
    for (double v : values) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.10g", v);
        general.push_back(buf);
        std::snprintf(buf, sizeof buf, "%.3f", v);
        fixed.push_back(buf);
    }
    ASSERT_TRUE(vk::testsupport::useCommaNumbers(true));
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(vk::numberText(values[i]), general[i]);
        EXPECT_EQ(vk::fixedText(values[i], 3), fixed[i]);
    }
    EXPECT_EQ(vk::numberText(0.5), "0.5");
    EXPECT_EQ(vk::numberText(1e-7), "1e-07");
    EXPECT_EQ(vk::numberText(-0.0), "-0");
    EXPECT_EQ(vk::numberText(30000.0 / 1001.0), "29.97002997");
    EXPECT_EQ(vk::fixedText(6, 3), "6.000");
    EXPECT_EQ(vk::fixedText(-0.0005, 3), "-0.001");
}

TEST_F(NumberText, TextReadsBackToTheValue)
{
    ASSERT_TRUE(vk::testsupport::useCommaNumbers(true));
    // Values of ten significant digits or fewer come back exactly, and their text is the
    // shortest that does: no trailing zeros, no digit more than the value needs.
    for (double v : {0.1, 1.5, -1.5, 1e-7, 3.75, 112.5, 29.97002997, 2147483.648, 1e15, 123456789.5, 1e-300}) {
        const std::string text = vk::numberText(v);
        double back = 0;
        ASSERT_TRUE(vk::parseNumberText(text, back)) << text;
        EXPECT_EQ(back, v) << text;
        // One digit less reads back as another value.
        const std::string mantissa = text.substr(0, text.find('e'));
        const std::string exponent = text.substr(mantissa.size());
        EXPECT_TRUE(mantissa.find('.') == std::string::npos || mantissa.back() != '0') << text;
        double cut = 0;
        if (vk::parseNumberText(mantissa.substr(0, mantissa.size() - 1) + exponent, cut))
            EXPECT_NE(cut, v) << text;
    }
    double back = 1;
    ASSERT_TRUE(vk::parseNumberText("-0", back));
    EXPECT_TRUE(back == 0 && std::signbit(back));
    // Every other value reads back within the ten digits written, but for the largest
    // doubles, which those ten digits round up past the largest.
    for (double v : sampleValues()) {
        if (std::fabs(v) > 1.7976931345e308)
            continue;
        ASSERT_TRUE(vk::parseNumberText(vk::numberText(v), back)) << v;
        EXPECT_NEAR(back, v, std::fabs(v) * 1e-9) << v;
    }
    const struct {
        const char* text;
        double value;
    } good[] = {{"1.5", 1.5}, {"+1.5", 1.5}, {".5", 0.5}, {"5.", 5}, {"1E3", 1000}, {"-2", -2}};
    for (const auto& c : good) {
        ASSERT_TRUE(vk::parseNumberText(c.text, back)) << c.text;
        EXPECT_EQ(back, c.value) << c.text;
    }
    back = 7;
    for (const char* bad : {"1,5", "", "+", "+-1", " 1.5", "1.5 ", "1.5s", "0x10", "1e", "--1"}) {
        EXPECT_FALSE(vk::parseNumberText(bad, back)) << bad;
        EXPECT_EQ(back, 7) << bad;
    }
}

} // namespace
