#include <gtest/gtest.h>

#include "system/DisplayPlatform.h"

namespace {

struct PlatformCase {
    const char* waylandDisplay;
    const char* userPlatform;
    const char* expected;  // null: Qt's own choice stands
};

TEST(DisplayPlatformTest, WaylandSessionsPreferWaylandUnlessTheUserChose)
{
    const PlatformCase cases[] = {
        {"wayland-0", nullptr, "wayland;xcb"},
        {"wayland-0", "", "wayland;xcb"},
        {"/run/user/1000/wayland-1", nullptr, "wayland;xcb"},
        {"wayland-0", "xcb", nullptr},
        {"wayland-0", "offscreen", nullptr},
        {nullptr, nullptr, nullptr},
        {"", nullptr, nullptr},
        {nullptr, "wayland", nullptr},
    };
    for (const PlatformCase& c : cases) {
        SCOPED_TRACE(std::string(c.waylandDisplay ? c.waylandDisplay : "(unset)") + " / " +
                     (c.userPlatform ? c.userPlatform : "(unset)"));
        const std::optional<std::string> platform = halvex::PreferredQtPlatform(c.waylandDisplay, c.userPlatform);
        if (c.expected == nullptr)
            EXPECT_FALSE(platform.has_value());
        else
            EXPECT_EQ(platform.value_or(""), c.expected);
    }
}

TEST(DisplayPlatformTest, OnlyWaylandLeavesPlacementToTheCompositor)
{
    EXPECT_FALSE(halvex::ProgramPlacesWindows("wayland"));
    EXPECT_FALSE(halvex::ProgramPlacesWindows("wayland-egl"));
    EXPECT_TRUE(halvex::ProgramPlacesWindows("xcb"));
    EXPECT_TRUE(halvex::ProgramPlacesWindows("offscreen"));
    EXPECT_TRUE(halvex::ProgramPlacesWindows(""));
}

}  // namespace
