#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <climits>

#include "util/ColourFromText.h"
#include "util/ErrorText.h"
#include "util/IsAdministrator.h"
#include "util/Power.h"

using halvex::ColourFromText;
using halvex::IsAdministratorFor;
using halvex::Power;

TEST(ColourFromText, RedInTheLowByte)
{
    const struct {
        const char* text;
        std::uint32_t colour;
    } cases[] = {
        {"127,0,0", 0x00007F},
        {"0,0,200", 0xC80000},
        {"1,2,3", 0x030201},
        {"255,255,255", 0xFFFFFF},
        {" 10, 20, 30", 0x1E140A},
        // Damaged texts: what is missing counts as 0, what is out of range
        // is held to a byte.
        {"", 0},
        {"red", 0},
        {"12", 0x00000C},
        {"12,", 0x00000C},
        {"300,-5,99999999999999999999", 0xFF00FF},
        {"1 ,2,3", 0x000001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ColourFromText(c.text), c.colour);
    }
}

TEST(Power, RepeatedSquaring)
{
    EXPECT_DOUBLE_EQ(Power(2.0, 10), 1024.0);
    EXPECT_DOUBLE_EQ(Power(2.0, -2), 0.25);
    EXPECT_DOUBLE_EQ(Power(-2.0, 3), -8.0);
    EXPECT_DOUBLE_EQ(Power(0.5, 3), 0.125);
    EXPECT_DOUBLE_EQ(Power(7.0, 0), 1.0);
    EXPECT_DOUBLE_EQ(Power(1024.0, 4), 1099511627776.0);
    // The most negative exponent has no positive twin in an int.
    EXPECT_DOUBLE_EQ(Power(1.0, INT_MIN), 1.0);
    EXPECT_DOUBLE_EQ(Power(2.0, INT_MIN), 0.0);
}

TEST(IsAdministrator, RootOrAnAdministratorsGroup)
{
    EXPECT_TRUE(IsAdministratorFor(0, {}));
    EXPECT_TRUE(IsAdministratorFor(1000, {"users", "sudo"}));
    EXPECT_TRUE(IsAdministratorFor(1000, {"admin"}));
    EXPECT_TRUE(IsAdministratorFor(1000, {"wheel"}));
    EXPECT_FALSE(IsAdministratorFor(1000, {}));
    EXPECT_FALSE(IsAdministratorFor(1000, {"users", "sudoers", "Wheel", "adm"}));
    if (::geteuid() == 0) {
        EXPECT_TRUE(halvex::IsAdministrator());
    }
}

TEST(ErrorText, CodeAndSystemMessage)
{
    EXPECT_EQ(halvex::ErrorText(ENOENT), "Error 2: No such file or directory");
}
