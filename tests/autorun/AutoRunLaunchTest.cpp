#include "AutoRunAgent.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestFiles.h"
#include "WaitUntil.h"

namespace fs = std::filesystem;

namespace {

// The suite on a drive that carries the launcher is started through it, by
// the shell, since the drive's programs may not be runnable.
TEST(AutoRunLaunch, DriveWithALauncherIsStartedThroughIt)
{
    const halvex::test::TempFolder temp("launch");
    const fs::path& drive = temp.path();
    fs::create_directories(drive / "HalvexDravane.app" / "Contents" / "Linux");
    const fs::path mark = drive / "mark";
    // No run permission, as on a drive mounted with showexec.
    halvex::test::WriteFile(drive / "HalvexDravane.sh", "echo \"started $0\" > '" + mark.string() + "'\n");
    fs::permissions(drive / "HalvexDravane.sh", fs::perms::owner_read | fs::perms::owner_write);

    ASSERT_TRUE(halvex::AutoRunAgent::LaunchApplication(drive / "HalvexDravane.app"));
    ASSERT_TRUE(halvex::test::WaitUntil([&] { return fs::exists(mark) && fs::file_size(mark) > 0; }));
    std::stringstream text;
    text << std::ifstream(mark).rdbuf();
    EXPECT_NE(text.str().find("HalvexDravane.sh"), std::string::npos) << text.str();
}

}  // namespace
