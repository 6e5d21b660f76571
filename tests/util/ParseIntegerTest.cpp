#include "util/ParseInteger.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

using halvex::ParseInteger;

// Whole text or nothing: what the four parsers it replaced got wrong, each.
TEST(ParseInteger, TakesTheWholeTextOrNothing)
{
    struct Case {
        std::string_view text;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"0", 0},
        {"42", 42},
        {"-7", -7},
        {"2147483647", 2147483647},
        {"", std::nullopt},
        {"12abc", std::nullopt},
        {" 12", std::nullopt},
        {"12 ", std::nullopt},
        {"+12", std::nullopt},
        {"-", std::nullopt},
        {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseInteger<int>(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ParseInteger, UnsignedRefusesASignAndOtherBasesWork)
{
    EXPECT_EQ(ParseInteger<unsigned>("-1"), std::nullopt);
    EXPECT_EQ(ParseInteger<unsigned long>("0203", 16), 0x203u);
    EXPECT_EQ(ParseInteger<unsigned long>("0x203", 16), std::nullopt);
    EXPECT_EQ(ParseInteger<std::uint8_t>("256"), std::nullopt);
}
