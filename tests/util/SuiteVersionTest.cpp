#include "util/SuiteVersion.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "HalvexVersion.h"

TEST(SuiteVersion, UpdateVersionIsTheFirstThreeNumbersOfTheFullVersion)
{
    const std::string full = halvex::SuiteVersionText();
    const std::string update = halvex::SuiteVersionForUpdate();
    EXPECT_EQ(full, std::string(halvex::kVersionText));
    EXPECT_EQ(full.rfind(update + ".", 0), 0u);
    EXPECT_EQ(std::count(update.begin(), update.end(), '.'), 2);
}
