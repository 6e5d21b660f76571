#include "system/Processes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>

#include "WaitUntil.h"
#include "system/KMSystem.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

bool Contains(const std::vector<pid_t>& pids, pid_t pid)
{
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

TEST(Processes, StartFindAndQuit)
{
    const halvex::Result<pid_t> started = KMSystem::StartProgram("sleep", {"30"});
    ASSERT_TRUE(started) << started.detail();
    const pid_t pid = started.value();
    ASSERT_GT(pid, 0);
    // Detached: a session of its own, out of reach of the starter's Ctrl-C.
    EXPECT_EQ(::getsid(pid), pid);
    // The exe link is the resolved program; a link to it finds it too.
    const fs::path exe = "/proc/" + std::to_string(pid) + "/exe";
    std::error_code error;
    ASSERT_TRUE(halvex::test::WaitUntil([&] { return fs::read_symlink(exe, error).filename() == "sleep"; }))
        << "the started program never became sleep";
    const fs::path sleepProgram = fs::read_symlink(exe);
    EXPECT_TRUE(Contains(KMSystem::FindProcesses(sleepProgram), pid));
    EXPECT_FALSE(Contains(KMSystem::FindProcesses("/bin/true"), pid));

    EXPECT_TRUE(KMSystem::QuitProcess(pid, 5s));
    EXPECT_TRUE(halvex::ProcessEnded(pid));
}

TEST(Processes, QuitTimesOutForAProgramThatIgnoresTheRequest)
{
    const halvex::Result<pid_t> started =
        halvex::StartDetached("/bin/sh", {"-c", "trap '' TERM; while :; do sleep 1; done"});
    ASSERT_TRUE(started);
    const pid_t pid = started.value();
    ASSERT_TRUE(halvex::test::WaitUntil([pid] { return halvex::test::IgnoresSignal(pid, SIGTERM); }));
    EXPECT_FALSE(halvex::QuitProcess(pid, 300ms));
    EXPECT_FALSE(halvex::ProcessEnded(pid));
    ::kill(-pid, SIGKILL);  // the whole session: the shell and its sleep
    EXPECT_TRUE(halvex::WaitForProcessEnd(pid, 5s));
}

TEST(Processes, EndedChildIsReapedAndFailuresAreReported)
{
    const halvex::Result<pid_t> started = halvex::StartDetached("/bin/true", {});
    ASSERT_TRUE(started);
    const pid_t pid = started.value();
    const fs::path entry = "/proc/" + std::to_string(pid);
    EXPECT_TRUE(halvex::test::WaitUntil([&] { return !fs::exists(entry); })) << "left as a zombie";

    const halvex::Result<pid_t> missing = halvex::StartDetached("/no/such/program", {});
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.systemError(), ENOENT) << "the system's reason travels with the failure";
    EXPECT_FALSE(halvex::StartDetached("", {}));
    EXPECT_TRUE(halvex::QuitProcess(pid, 100ms));  // already gone
    EXPECT_FALSE(halvex::QuitProcess(0, 100ms));
}

}  // namespace
