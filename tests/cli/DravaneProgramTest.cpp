// The built program, run as a user runs it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ShellCommand.h"
#include "SystemTestSupport.h"

namespace fs = std::filesystem;

namespace {

using halvex::test::RunShell;
using Output = halvex::test::ShellOutput;

TEST(DravaneProgram, AssumedUsbInfoPrintsRealSizes)
{
    const halvex::test::TempFolder temp("program");
    const fs::path& folder = temp.path();
    const std::string program = (fs::path(HALVEX_PROGRAM_DIR) / "dravane").string();
    const Output info = RunShell("HALVEX_ASSUME_USB=1 LC_ALL=C '" + program + "' --run-path '" + folder.string() +
                                 "' info 2>/dev/null");
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("run path: " + folder.string() + "\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("usb: yes\n"), std::string::npos);
    EXPECT_NE(info.out.find("suite drive: yes\n"), std::string::npos);
    EXPECT_EQ(info.out.find("total: 0 "), std::string::npos);

    const Output version = RunShell("'" + program + "' version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("dravane ", 0), 0u);
    EXPECT_EQ(RunShell("'" + program + "' 2>/dev/null").status, 2);
}

}  // namespace
