#include "util/SuiteVersion.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "HalvexVersion.h"
#include "TestFiles.h"

TEST(SuiteVersion, UpdateVersionIsTheFirstThreeNumbersOfTheFullVersion)
{
    const std::string full = halvex::SuiteVersionText();
    const std::string update = halvex::SuiteVersionForUpdate();
    EXPECT_EQ(full, std::string(halvex::kVersionText));
    EXPECT_EQ(full.rfind(update + ".", 0), 0u);
    EXPECT_EQ(std::count(update.begin(), update.end(), '.'), 2);
}

TEST(SuiteVersion, TheDrivesVersionFileDecidesWhenItHoldsAVersion)
{
    const halvex::test::TempFolder temp("version");
    const std::filesystem::path& folder = temp.path();
    const std::string own = halvex::SuiteVersionForUpdate();
    EXPECT_EQ(halvex::DriveSuiteVersionForUpdate(folder), own) << "no file";
    const struct {
        const char* text;
        std::string sent;
    } cases[] = {
        {"1.0.1\n", "1.0.1"}, {"2.3.4.5\n", "2.3.4"}, {"7.1", "7.1"},  {"10", "10"}, {"1..2\n", own},
        {"1.2.3.4.5", own},   {"v1.2\n", own},        {"1.2 \n", own}, {"", own},    {"1234567890.1", own},
        {"1.0\n1", own},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        halvex::test::WriteFile(folder / "VERSION", c.text);
        EXPECT_EQ(halvex::DriveSuiteVersionForUpdate(folder), c.sent);
    }
}
