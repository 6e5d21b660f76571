#include "system/LoginItems.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "system/KMSystem.h"
#include "SystemTestSupport.h"
#include "ShellCommand.h"
#include "util/IgnoreResult.h"

namespace fs = std::filesystem;
using halvex::LoginItems;

namespace {

class LoginItemsTest : public ::testing::Test {
protected:
    halvex::test::TempFolder folder{"autostart"};
    const fs::path root = folder.path();
    std::unique_ptr<LoginItems> items = std::make_unique<LoginItems>(root / "autostart");
    const fs::path agent = "/home/u/.local/share/PelloryAutoRun/PelloryAutoRun";
};

TEST_F(LoginItemsTest, AddingTwiceGivesTwoEntriesAndOneRemovalTakesBoth)
{
    ASSERT_TRUE(items->add(agent, true));
    ASSERT_TRUE(items->add(agent, true));
    ASSERT_TRUE(items->add("/opt/other", false));
    EXPECT_EQ(items->items().size(), 3u);
    EXPECT_TRUE(items->exists(agent));

    EXPECT_TRUE(items->remove(agent));
    EXPECT_FALSE(items->exists(agent));
    EXPECT_TRUE(items->exists("/opt/other"));
    EXPECT_TRUE(items->remove("/not/there"));
}

TEST_F(LoginItemsTest, RemovalTakesOnlyEntriesEqualToTheFirstAdded)
{
    ASSERT_TRUE(items->add(agent, false));
    ASSERT_TRUE(items->add(agent, true));
    ASSERT_TRUE(items->add(agent, false));
    ASSERT_TRUE(items->remove(agent));
    const auto left = items->items();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].hidden);
}

TEST_F(LoginItemsTest, AwkwardPathsSurviveTheExecLine)
{
    const std::vector<fs::path> paths = {"/media/u/MY STICK/Halvex Dravane", "/a/quote\"d/$HOME/back\\slash",
                                         "/a/100%/prog", "/a/`tick`"};
    for (const fs::path& path : paths) {
        SCOPED_TRACE(path.string());
        EXPECT_EQ(LoginItems::ProgramOfExec(LoginItems::ExecForProgram(path)), path.string());
        ASSERT_TRUE(items->add(path, false));
        EXPECT_TRUE(items->exists(path));
    }
    EXPECT_EQ(items->items().size(), paths.size());
}

TEST_F(LoginItemsTest, ReadsEntriesWrittenByOthers)
{
    fs::create_directories(root / "autostart");
    halvex::test::WriteFile(root / "autostart" / "plain.desktop", "[Desktop Entry]\nExec=/usr/bin/agent --flag %U\n");
    halvex::test::WriteFile(root / "autostart" / "other-group.desktop", "[Other]\nExec=/usr/bin/elsewhere\n");
    halvex::test::WriteFile(root / "autostart" / "broken.desktop", "[Desktop Entry]\nExec=\"/unterminated\n");
    halvex::test::WriteFile(root / "autostart" / "notes.txt", "[Desktop Entry]\nExec=/usr/bin/txt\n");
    EXPECT_TRUE(items->exists("/usr/bin/agent"));
    EXPECT_FALSE(items->exists("/usr/bin/elsewhere"));
    EXPECT_FALSE(items->exists("/unterminated"));
    EXPECT_FALSE(items->exists("/usr/bin/txt"));
}

TEST_F(LoginItemsTest, AnUnwritableFolderFailsWithTheSystemsReason)
{
    halvex::test::WriteFile(root / "autostart", "a file where the folder belongs");
    const halvex::Status added = items->add(agent, false);
    EXPECT_EQ(added.messageKey, "file_save_err");
    EXPECT_NE(added.systemError, 0);
    EXPECT_NE(added.detail.find("autostart"), std::string::npos) << added.detail;
}

TEST_F(LoginItemsTest, KMSystemUsesTheXdgConfigFolder)
{
    halvex::test::ScopedEnv config("XDG_CONFIG_HOME", root.string());
    ASSERT_TRUE(KMSystem::AddToLoginItems(agent, true));
    EXPECT_TRUE(fs::exists(root / "autostart" / "halvex-PelloryAutoRun.desktop"));
    EXPECT_TRUE(KMSystem::LoginItemExists(agent));
    ASSERT_TRUE(KMSystem::RemoveLoginItem(agent));
    EXPECT_FALSE(KMSystem::LoginItemExists(agent));
}

// An entry left behind would start a removed agent's path at every log-in.
TEST_F(LoginItemsTest, AnEntryThatStaysIsReported)
{
    ASSERT_TRUE(items->add(agent, false));
    // A folder that refuses the removal: an immutable one refuses even root;
    // elsewhere a folder without write permission does for anyone else.
    const fs::path autostart = root / "autostart";
    const std::string quoted = halvex::test::ShellQuoted(autostart.string());
    const bool immutable = halvex::test::RunShell("chattr +i " + quoted + " 2>/dev/null").status == 0;
    if (!immutable && ::geteuid() == 0)
        GTEST_SKIP() << "no immutable folders here, and root deletes in a read-only one";
    if (!immutable)
        fs::permissions(autostart, fs::perms::owner_write, fs::perm_options::remove);
    const halvex::Status removed = items->remove(agent);
    if (immutable)
        halvex::IgnoreResult(halvex::test::RunShell("chattr -i " + quoted), "the folder goes with the test");
    else
        fs::permissions(autostart, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_FALSE(removed);
    EXPECT_EQ(removed.systemError, immutable ? EPERM : EACCES) << removed.detail;
    EXPECT_TRUE(items->exists(agent));
}

}  // namespace
