// The built program, run as a user runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "SystemTestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Output {
    int status = -1;
    std::string out;
};

Output RunShell(const std::string& command)
{
    Output result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> buffer{};
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.out.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(DravaneProgram, AssumedUsbInfoPrintsRealSizes)
{
    const halvex::test::TempFolder temp("program");
    const fs::path& folder = temp.path();
    const std::string program = (fs::path(HALVEX_PROGRAM_DIR) / "dravane").string();
    const Output info =
        RunShell("HALVEX_ASSUME_USB=1 LC_ALL=C '" + program + "' --run-path '" + folder.string() + "' info 2>/dev/null");
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
