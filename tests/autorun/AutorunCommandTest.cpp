// dravane autorun, run in-process over the built drive folder.

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <sstream>

#include "WaitUntil.h"
#include "SystemTestSupport.h"
#include "Dravane.h"
#include "system/KMAutoRun.h"
#include "system/KMSystem.h"
#include "system/TrustedDrives.h"

namespace fs = std::filesystem;
using halvex::test::ScopedEnv;
using halvex::test::TempFolder;
using halvex::test::WaitUntil;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

class AutorunCommandTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(folder / "run"); }
    void TearDown() override
    {
        if (!KMAutoRun::Stop(std::chrono::seconds(2))) {
            for (pid_t pid : KMSystem::FindProcesses(KMAutoRun::InstalledProgram()))
                kill(pid, SIGKILL);
        }
    }

    Result Dravane(const std::vector<std::string>& arguments)
    {
        std::ostringstream out, err;
        std::istringstream in;
        const halvex::cli::DravaneIo io{out, err, in, {}, fs::path(HALVEX_PROGRAM_DIR) / "dravane"};
        Result result;
        result.status = halvex::cli::RunDravane(arguments, io);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    TempFolder temporary{"autorun"};
    const fs::path folder = temporary.path();
    ScopedEnv dataHome{"XDG_DATA_HOME", (folder / "data").string()};
    ScopedEnv configHome{"XDG_CONFIG_HOME", (folder / "config").string()};
    ScopedEnv runtime{"XDG_RUNTIME_DIR", (folder / "run").string()};
    ScopedEnv language{"LC_ALL", "C"};
};

TEST_F(AutorunCommandTest, EnableStatusDisable)
{
    Result status = Dravane({"autorun", "status"});
    ASSERT_EQ(status.status, 0) << status.err;
    EXPECT_NE(status.out.find("installed: no\n"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("enabled: no\n"), std::string::npos);

    ASSERT_EQ(Dravane({"autorun", "enable"}).status, 0);
    ASSERT_TRUE(WaitUntil([] { return KMAutoRun::IsRunning(); }));
    status = Dravane({"autorun", "status"});
    EXPECT_NE(status.out.find("installed: yes\nversion: 1."), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("outdated: no\nenabled: yes\nrunning: yes\n"), std::string::npos) << status.out;

    ASSERT_TRUE(halvex::TrustedDrives(folder / "config" / "halvex-dravane" / "trusted-drives")
                    .Trust({"090C", "1000", "AA01", "1A2B-3C4D", "STICK"}));
    status = Dravane({"autorun", "status"});
    EXPECT_NE(status.out.find("trusted drives: 1\ntrusted: STICK (vendor 090C, product 1000, serial AA01, "
                              "UUID 1A2B-3C4D)\n"),
              std::string::npos)
        << status.out;

    ASSERT_EQ(Dravane({"autorun", "disable"}).status, 0);
    status = Dravane({"autorun", "status"});
    EXPECT_NE(status.out.find("installed: no\n"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("running: no\n"), std::string::npos) << status.out;
}

TEST_F(AutorunCommandTest, FailuresAndWrongArguments)
{
    // The install folder's place is taken by a file: nothing can be installed.
    fs::create_directories(folder / "data");
    halvex::test::WriteFile(folder / "data" / "Halvex", "in the way");
    const Result failed = Dravane({"autorun", "enable"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("Autorun could not be enabled"), std::string::npos) << failed.err;
    EXPECT_NE(failed.err.find((folder / "data" / "Halvex").string() + ": "), std::string::npos)
        << "the system's reason names the folder in the way: " << failed.err;

    EXPECT_EQ(Dravane({"autorun"}).status, 2);
    EXPECT_EQ(Dravane({"autorun", "start"}).status, 2);
    EXPECT_EQ(Dravane({"autorun", "status", "more"}).status, 2);
}

}  // namespace
