#include <gtest/gtest.h>

#include "wifi/AtText.h"

namespace {

using qel::IsPortNumber;
using qel::IsSendableAtValue;
using qel::QuotedAtValue;

TEST(AtTextTest, QuotedValueEscapesQuoteCommaAndBackslash) {
    const struct {
        std::string value;
        std::string quoted;
    } cases[] = {
        {"Net", "\"Net\""},           {"", "\"\""},
        {"My Net 5", "\"My Net 5\""}, {"a\"b", "\"a\\\"b\""},
        {"a,b", "\"a\\,b\""},         {"a\\b", "\"a\\\\b\""},
        {"\",\\", "\"\\\"\\,\\\\\""}, {"Caf\xc3\xa9", "\"Caf\xc3\xa9\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuotedAtValue(c.value), c.quoted) << c.value;
    }
}

TEST(AtTextTest, ControlBytesCannotTravel) {
    EXPECT_TRUE(IsSendableAtValue(""));
    EXPECT_TRUE(IsSendableAtValue("pa\"ss, wo\\rd~"));
    EXPECT_TRUE(IsSendableAtValue("Caf\xc3\xa9"));
    for (const char* value : {"a\rb", "a\nb", "\x1b", "a\tb", "\x7f", "\x01"}) {
        EXPECT_FALSE(IsSendableAtValue(value)) << static_cast<int>(value[0]);
    }
    EXPECT_FALSE(IsSendableAtValue(std::string("a\0b", 3)));
}

TEST(AtTextTest, PortNumbers) {
    for (const char* port : {"1", "80", "8080", "65535", "00080"}) {
        EXPECT_TRUE(IsPortNumber(port)) << port;
    }
    for (const char* port :
         {"", "0", "65536", "99999", "123456", "-1", "+80", " 80", "80 ", "8o", "80,1", "0x50"}) {
        EXPECT_FALSE(IsPortNumber(port)) << port;
    }
}

}  // namespace
