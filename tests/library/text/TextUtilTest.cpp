#include <gtest/gtest.h>

#include <clocale>
#include <limits>

#include "text/TextUtil.h"

namespace {

using qel::FormatGeneral;
using qel::LeadingDouble;
using qel::LeadingInt32;
using qel::ParseInt32;

TEST(TextUtilTest, GeneralFormatOfNumbers) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {12.5, "12.5"},         {100, "100"},
        {0.5, "0.5"},           {0, "0"},
        {-3.25, "-3.25"},       {1.0 / 3, "0.333333333333333"},
        {0.0001, "0.0001"},     {0.00001, "1E-5"},
        {0.0000123, "1.23E-5"}, {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},         {2.5e-7, "2.5E-7"},
        {1.1, "1.1"},           {99.9999, "99.9999"},
        {1e100, "1E100"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatGeneral(c.value), c.text) << c.value;
    }
}

TEST(TextUtilTest, LeadingDoubleReadsAPrefixLikeC) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"1.5", 1.5}, {"   1.500", 1.5}, {"+2.25kg", 2.25}, {"-0.5 ", -0.5},
        {".5", 0.5},  {"12,5", 12},      {"3e2", 300},      {"7;rest", 7},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LeadingDouble(c.text).has_value()) << c.text;
        EXPECT_DOUBLE_EQ(*LeadingDouble(c.text), c.value) << c.text;
    }
    EXPECT_FALSE(LeadingDouble("").has_value());
    EXPECT_FALSE(LeadingDouble("kg").has_value());
    EXPECT_FALSE(LeadingDouble("-").has_value());
    EXPECT_EQ(*LeadingDouble("1e999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(*LeadingDouble("1e-999"), 0.0);
}

TEST(TextUtilTest, IntegerReading) {
    EXPECT_EQ(ParseInt32(" 42 "), 42);
    EXPECT_EQ(ParseInt32("-7"), -7);
    EXPECT_EQ(ParseInt32("+7"), 7);
    EXPECT_FALSE(ParseInt32("3a").has_value());
    EXPECT_FALSE(ParseInt32("").has_value());
    EXPECT_FALSE(ParseInt32("+-1").has_value());
    EXPECT_FALSE(ParseInt32("99999999999").has_value());
    EXPECT_EQ(LeadingInt32("  12abc"), 12);
    EXPECT_EQ(LeadingInt32("-5;"), -5);
    EXPECT_EQ(LeadingInt32("abc"), 0);
    EXPECT_EQ(LeadingInt32(""), 0);
}

TEST(TextUtilTest, TrimAndContainsIgnoringCase) {
    EXPECT_EQ(qel::Trim("\r\n OK \r\n"), "OK");
    EXPECT_EQ(qel::Trim(std::string("\0\x1f", 2)), "");
    EXPECT_TRUE(qel::ContainsNoCase("12:00 MALIBIPRN\r\n", "Malibiprn"));
    EXPECT_FALSE(qel::ContainsNoCase("Malibipr", "Malibiprn"));
}

// A desktop with a decimal comma must not change what the scale's numbers
// mean.
TEST(TextUtilTest, ConversionsIgnoreTheProcessLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_ALL, "pl_PL.UTF-8") == nullptr) {
        GTEST_SKIP() << "pl_PL.UTF-8 is not generated (scripts/setup.sh does it)";
    }
    EXPECT_DOUBLE_EQ(*LeadingDouble("1.5"), 1.5);
    EXPECT_EQ(FormatGeneral(12.5), "12.5");
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
