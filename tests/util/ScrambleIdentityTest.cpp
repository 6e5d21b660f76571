#include "util/ScrambleIdentity.h"

#include <gtest/gtest.h>

using halvex::ScrambleIdentity;

// Worked by hand from the key "VKRM4Q7351-2804E9A": the other builds name
// this computer in the sync settings file with the same digits.
TEST(ScrambleIdentity, KnownValues)
{
    EXPECT_EQ(ScrambleIdentity(""), "");
    // '0' ^ 'V' = 102, '0' ^ 'K' = 123, ':' ^ 'R' = 104, ...
    EXPECT_EQ(ScrambleIdentity("00:1A:2B:3C:4D:5E"), "102123104124117107511315211081211614112124");
    // The key itself gives zeros, and the nineteenth byte meets the key's
    // first again.
    EXPECT_EQ(ScrambleIdentity("VKRM4Q7351-2804E9AV"), "0000000000000000000");
    EXPECT_EQ(ScrambleIdentity(std::string(20, 'A')), "2310191211716118114116112108115121113117412002310");
    // Bytes from 0x80 print as negative numbers: 0xC3 ^ 'V' = 0x95 = -107.
    EXPECT_EQ(ScrambleIdentity("\xC3\xA9"), "-107-30");
}
