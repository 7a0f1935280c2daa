#include "platform/number_text.h"

#include <gtest/gtest.h>

namespace velqa::platform {
namespace {

TEST(NumberText, DecimalAndHexWithLeadingZerosStayingDecimal) {
    EXPECT_EQ(parse_number("0", 0, 255), 0);
    EXPECT_EQ(parse_number("255", 0, 255), 255);
    EXPECT_EQ(parse_number("010", 0, 255), 10) << "never octal";
    EXPECT_EQ(parse_number("0008", 0, 255), 8);
    EXPECT_EQ(parse_number("0x1a", 0, 255), 0x1A);
    EXPECT_EQ(parse_number("0X1A", 0, 255), 0x1A);
    EXPECT_EQ(parse_number("0x0010", 0, 255), 16);
    EXPECT_EQ(parse_number("0xFFFF", 0, 0xFFFF), 0xFFFF);
}

TEST(NumberText, RefusesWhatIsNotExactlyANumber) {
    for (const char* text : {"", " 5", "5 ", "+5", "-5", "5x", "0x", "0x+5", "0x-5", "0x 5", "x5",
                             "1e3", "5.0", "0b1", "\t5", "5\n", "--5", "0xg"}) {
        EXPECT_EQ(parse_number(text, 0, 1000), std::nullopt) << '"' << text << '"';
    }
    EXPECT_EQ(parse_number(std::string_view("5\0", 2), 0, 10), std::nullopt) << "embedded NUL";
}

TEST(NumberText, RangeIsCheckedAndOverflowRefused) {
    EXPECT_EQ(parse_number("256", 0, 255), std::nullopt);
    EXPECT_EQ(parse_number("0x100", 0, 255), std::nullopt);
    EXPECT_EQ(parse_number("0", 1, 73), std::nullopt);
    EXPECT_EQ(parse_number("18446744073709551616", 0, INT64_MAX), std::nullopt);
    EXPECT_EQ(parse_number("9223372036854775808", 0, INT64_MAX), std::nullopt);
    EXPECT_EQ(parse_number("9223372036854775807", 0, INT64_MAX), INT64_MAX);
    EXPECT_EQ(parse_number("0xFFFFFFFFFFFFFFFFF", 0, INT64_MAX), std::nullopt);
}

TEST(NumberText, MinusOnlyWhereTheRangeIsSigned) {
    EXPECT_EQ(parse_number("-5", -10, 10), -5);
    EXPECT_EQ(parse_number("-0x10", -100, 100), -16);
    EXPECT_EQ(parse_number("-0", -1, 1), 0);
    EXPECT_EQ(parse_number("-11", -10, 10), std::nullopt);
    EXPECT_EQ(parse_number("-", -10, 10), std::nullopt);
    EXPECT_EQ(parse_number("- 5", -10, 10), std::nullopt);
    EXPECT_EQ(parse_number("-9223372036854775808", INT64_MIN, 0), INT64_MIN);
    EXPECT_EQ(parse_number("-9223372036854775809", INT64_MIN, 0), std::nullopt);
}

TEST(NumberText, ErrorNamesTheArgumentItsRangeAndTheText) {
    EXPECT_EQ(number_error("CODE", " 5", 0, 255),
              "CODE must be a number 0-255 (decimal or 0x-hex), not \" 5\"");
    EXPECT_EQ(number_error("DELTA", "x", -5, 5),
              "DELTA must be a number -5 to 5 (decimal or 0x-hex), not \"x\"");
}

}  // namespace
}  // namespace velqa::platform
