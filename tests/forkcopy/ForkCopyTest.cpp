#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "CopyTestSupport.h"
#include "ForkCopyProcess.h"
#include "ShellCommand.h"
#include "TreeDescription.h"

using namespace halvex::testing;
using halvex::test::SetTime;
namespace fs = std::filesystem;

namespace {

constexpr int kCopied = 0;
constexpr int kUsage = 2;
constexpr int kFailed = 4;

bool SupportsUserAttributes(const fs::path& path)
{
    return ::setxattr(path.c_str(), "user.halvex.probe", "1", 1, 0) == 0 &&
           ::removexattr(path.c_str(), "user.halvex.probe") == 0;
}

class ForkCopyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(source);
        fs::create_directory(destination);
    }

    // A tree with the kinds of items a copy must keep: nested and empty
    // folders, a read-only folder with files in it, links (one dangling), a
    // pipe, several modes and times to the nanosecond.
    void MakeTree()
    {
        fs::create_directories(source / "sub" / "deeper");
        fs::create_directory(source / "empty");
        fs::create_directory(source / "read-only");
        WriteFile(source / "top.txt", "top");
        WriteFile(source / "sub" / "data.bin", PatternData(300000));
        WriteFile(source / "sub" / "deeper" / "empty.txt", "");
        WriteFile(source / "read-only" / "inside.txt", "kept");
        fs::create_symlink("sub/data.bin", source / "link");
        fs::create_symlink("nowhere", source / "dangling");
        ASSERT_EQ(::mkfifo((source / "pipe").c_str(), 0640), 0);
        ASSERT_EQ(::chmod((source / "top.txt").c_str(), 0640), 0);
        ASSERT_EQ(::chmod((source / "sub" / "data.bin").c_str(), 0755), 0);
        long nanoseconds = 111;
        for (const auto& entry : fs::recursive_directory_iterator(source))
            SetTime(entry.path(), 1300000000, nanoseconds += 1000);
        ASSERT_EQ(::chmod((source / "read-only").c_str(), 0555), 0);
        SetTime(source / "read-only", 1300000000, 42);
        SetTime(source / "sub", 1300000000, 43);
        SetTime(source, 1300000000, 44);
    }

    TempFolder folder;
    fs::path source = folder / "source";
    fs::path destination = folder / "destination";
};

TEST_F(ForkCopyTest, ArgumentsDecideTheStatusBeforeAnythingIsTouched)
{
    WriteFile(source / "file", "x");
    const std::string s = (source / "file").string(), d = destination.string();
    struct Case {
        std::vector<std::string> arguments;
        int status;
    } cases[] = {
        {{}, kUsage},
        {{"-s"}, kUsage},
        {{"-s", s}, kUsage},
        {{"-s", s, "-d"}, kUsage},
        {{"-S", s, "-d", d}, kUsage},             // case matters
        {{"-src", s, "-d", d}, kUsage},           // no prefixes
        {{"-x", "y", "-s", s, "-d", d}, kUsage},  // the pairs after it are not read
        {{"-s", s, "-d", d, "extra"}, kUsage},
        {{"-s", (source / "missing").string(), "-d", d}, kFailed},
        {{"-s", s, "-d", (source / "file").string()}, kFailed},  // not a folder
        {{"-s", s, "-d", (folder / "no folder").string()}, kFailed},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += "'" + a + "' ";
        EXPECT_EQ(RunForkCopy(c.arguments), c.status) << shown;
    }
    EXPECT_TRUE(fs::is_empty(destination));

    // Pairs in any order.
    EXPECT_EQ(RunForkCopy({"-d", d, "-s", s}), kCopied);
    EXPECT_EQ(ReadFile(destination / "file"), "x");
}

TEST_F(ForkCopyTest, FileKeepsDataModeTimesAndAttributes)
{
    const fs::path file = source / "report.pdf";
    WriteFile(file, PatternData(1 << 20));
    ASSERT_EQ(::chmod(file.c_str(), 0604), 0);
    const bool attributes = SupportsUserAttributes(file);
    if (attributes) {
        ASSERT_EQ(::setxattr(file.c_str(), "user.origin", "camera", 6, 0), 0);
    }
    SetTime(file, 1234567890, 987654321);

    ASSERT_EQ(RunForkCopy({"-s", file.string(), "-d", destination.string()}), kCopied);

    EXPECT_EQ(DescribeItem(destination / "report.pdf"), DescribeItem(file));
    EXPECT_EQ(CountTemporaryFiles(destination), 0);
    if (!attributes)
        GTEST_SKIP() << "data, mode and times checked; the test volume keeps no user attributes";
}

TEST_F(ForkCopyTest, OwnerAndGroupAreKeptWhenRunningAsRoot)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root may give a copy another owner";
    const fs::path file = source / "owned";
    WriteFile(file, "x");
    ASSERT_EQ(::chown(file.c_str(), 12345, 23456), 0);
    ASSERT_EQ(::chmod(file.c_str(), 02755), 0);  // the set-id bit must survive the chown
    ASSERT_EQ(RunForkCopy({"-s", file.string(), "-d", destination.string()}), kCopied);
    EXPECT_EQ(DescribeItem(destination / "owned"), DescribeItem(file));
}

TEST_F(ForkCopyTest, FolderTreeIsCopiedWholeWithLinksAsLinks)
{
    MakeTree();
    ASSERT_EQ(RunForkCopy({"-s", source.string(), "-d", destination.string()}), kCopied);
    EXPECT_EQ(DescribeTree(destination / "source"), DescribeTree(source));
    EXPECT_TRUE(fs::is_symlink(destination / "source" / "dangling"));
}

TEST_F(ForkCopyTest, TrailingSlashStillCopiesUnderTheSourcesName)
{
    WriteFile(source / "a", "a");
    ASSERT_EQ(RunForkCopy({"-s", source.string() + "/", "-d", destination.string()}), kCopied);
    EXPECT_EQ(ReadFile(destination / "source" / "a"), "a");
}

TEST_F(ForkCopyTest, NameAlreadyPresentFailsAndLeavesTheExistingItem)
{
    WriteFile(source / "same", "new");
    WriteFile(destination / "same", "old");
    EXPECT_EQ(RunForkCopy({"-s", (source / "same").string(), "-d", destination.string()}), kFailed);
    EXPECT_EQ(ReadFile(destination / "same"), "old");

    // A folder of the same name is not merged into either.
    fs::create_directory(destination / "source");
    EXPECT_EQ(RunForkCopy({"-s", source.string(), "-d", destination.string()}), kFailed);
    EXPECT_TRUE(fs::is_empty(destination / "source"));
    EXPECT_EQ(CountTemporaryFiles(destination), 0);
}

// A failure is one line on standard error: the item and the reason.
TEST_F(ForkCopyTest, FailureSaysWhichItemAndWhy)
{
    WriteFile(source / "same", "new");
    WriteFile(destination / "same", "old");
    const struct {
        fs::path from, into;
        std::string message;
    } cases[] = {
        {source / "same", destination, "forkcopy: " + (destination / "same").string() + ": File exists\n"},
        {source, source, "forkcopy: " + source.string() + ": cannot copy a folder into itself\n"},
    };
    for (const auto& c : cases) {
        const auto run = halvex::test::RunShell(halvex::test::ShellQuoted(ForkCopyProgram()) + " -s " +
                                                halvex::test::ShellQuoted(c.from.string()) + " -d " +
                                                halvex::test::ShellQuoted(c.into.string()) + " 2>&1");
        EXPECT_EQ(run.status, kFailed) << c.from;
        EXPECT_EQ(run.out, c.message);
    }
}

TEST_F(ForkCopyTest, FolderIsNeverCopiedIntoItselfOrBelowItself)
{
    MakeTree();
    const auto before = DescribeTree(source);
    for (const fs::path& into : {source, source / "sub", source / "sub" / "deeper"}) {
        EXPECT_EQ(RunForkCopy({"-s", source.string(), "-d", into.string()}), kFailed) << into;
    }
    // The same folder reached through a link in the destination path.
    fs::create_symlink(source / "sub", folder / "shortcut");
    EXPECT_EQ(RunForkCopy({"-s", source.string(), "-d", (folder / "shortcut").string()}), kFailed);
    EXPECT_EQ(DescribeTree(source), before);
}

TEST_F(ForkCopyTest, DropFolderIsFilledWithoutBeingListed)
{
    MakeTree();
    // The other user must be able to reach both trees and read the source.
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((source / "read-only").c_str(), 0755), 0);
    ASSERT_EQ(::chmod((source / "top.txt").c_str(), 0644), 0);
    SetTime(source / "top.txt", 1300000000, 41);
    SetTime(source / "read-only", 1300000000, 42);
    const fs::path drop = destination / "drop";
    fs::create_directory(drop);
    uid_t user = geteuid();
    gid_t group = getegid();
    if (user == 0) {
        // Root reads every folder anyway: run the copy as an ordinary user.
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr)
            GTEST_SKIP() << "no user 'nobody' to run the copy as";
        user = nobody->pw_uid;
        group = nobody->pw_gid;
        ASSERT_EQ(::chown(drop.c_str(), user, group), 0);
    }
    ASSERT_EQ(::chmod(drop.c_str(), 0333), 0);  // write and search, no read
    const int status = RunForkCopy({"-s", source.string(), "-d", drop.string()}, [&] {
        if (geteuid() == 0 && (setgid(group) != 0 || setuid(user) != 0))
            _exit(121);
    });
    ASSERT_EQ(status, kCopied);

    auto copied = DescribeTree(drop / "source");
    auto expected = DescribeTree(source);
    ASSERT_EQ(copied.size(), expected.size());
    for (auto& [name, description] : expected) {
        // Owner aside: an ordinary user's copy is its own.
        const auto strip = [](const std::string& text) { return text.substr(text.find(" t=")); };
        EXPECT_EQ(strip(copied[name]), strip(description)) << name;
    }
}

TEST_F(ForkCopyTest, FailureMidFileRemovesThatFileAndKeepsEarlierItems)
{
    WriteFile(source / "a-small", "small");
    WriteFile(source / "b-large", PatternData(400000));
    WriteFile(source / "c-never", "never reached");
    // The kernel refuses writes past 64 KiB for this process: a real failure
    // in the middle of "b-large".
    const int status = RunForkCopy({"-s", source.string(), "-d", destination.string()}, [] {
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {65536, 65536};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(status, kFailed);
    EXPECT_EQ(ReadFile(destination / "source" / "a-small"), "small");
    EXPECT_FALSE(fs::exists(destination / "source" / "b-large"));
    EXPECT_FALSE(fs::exists(destination / "source" / "c-never"));
    EXPECT_EQ(CountTemporaryFiles(destination / "source"), 0);
}

TEST_F(ForkCopyTest, DestinationWithoutAttributeSupportStillGetsTheCopy)
{
    if (!CanMountPrivately())
        GTEST_SKIP() << "making a volume without attributes needs root for a private mount namespace";
    MakeTree();
    if (!SupportsUserAttributes(source / "top.txt"))
        GTEST_SKIP() << "the test volume keeps no user attributes to lose";
    ASSERT_EQ(::setxattr((source / "top.txt").c_str(), "user.tag", "x", 1, 0), 0);
    SetTime(source / "top.txt", 1300000000, 7);
    const auto expected = DescribeItem(source / "top.txt");

    const int status = RunWithPrivateMount(destination, "ramfs", nullptr, [&] {
        if (RunForkCopy({"-s", source.string(), "-d", destination.string()}) != kCopied)
            return 1;
        if (ReadFile(destination / "source" / "sub" / "data.bin") != ReadFile(source / "sub" / "data.bin"))
            return 2;
        // Everything but the attribute arrived.
        const std::string copied = DescribeItem(destination / "source" / "top.txt");
        return copied + " user.tag=x" == expected ? 0 : 3;
    });
    EXPECT_EQ(status, 0) << "1: copy failed, 2: data differs, 3: mode or times differ";
}

TEST_F(ForkCopyTest, ParentCanSuspendResumeAndEndTheCopy)
{
    const std::string data = PatternData(16 << 20, 5);
    WriteFile(source / "big", data);
    const std::vector<std::string> arguments{"-s", (source / "big").string(), "-d", destination.string()};

    const pid_t suspended = StartForkCopy(arguments);
    ASSERT_EQ(kill(suspended, SIGSTOP), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // held stopped a while
    ASSERT_EQ(kill(suspended, SIGCONT), 0);
    ASSERT_EQ(WaitForExit(suspended), kCopied);
    EXPECT_EQ(ReadFile(destination / "big"), data);
    fs::remove(destination / "big");

    // Ended at some moment of the copy: either the whole file is there under
    // its name, or nothing at all, never a part.
    for (int delayMs : {0, 5, 20}) {
        const pid_t ended = StartForkCopy(arguments);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ASSERT_EQ(kill(ended, SIGTERM), 0);
        const int status = WaitForExit(ended);
        EXPECT_TRUE(status == 128 + SIGTERM || status == kCopied) << status;
        if (fs::exists(destination / "big")) {
            EXPECT_EQ(fs::file_size(destination / "big"), data.size());
        }
        EXPECT_EQ(CountTemporaryFiles(destination), 0) << "after " << delayMs << " ms";
        fs::remove(destination / "big");
    }
}

}  // namespace
