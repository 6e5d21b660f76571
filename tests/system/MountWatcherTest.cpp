#include "system/MountWatcher.h"

#include <gtest/gtest.h>

#include "FakeDriveTree.h"

namespace fs = std::filesystem;
using halvex::MountWatcher;
using halvex::test::FakeDriveTree;

namespace {

std::string FakeDriveTreeText(const FakeDriveTree& tree)
{
    std::ifstream in(tree.mountInfo());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Points(const std::vector<halvex::MountEntry>& entries)
{
    std::vector<std::string> points;
    points.reserve(entries.size());
    for (const auto& entry : entries)
        points.push_back(entry.mountPoint.filename().string());
    return points;
}

TEST(MountWatcher, OnlyMountsThatAppearAfterStartAreNewAndEachOnce)
{
    FakeDriveTree tree("watch");
    tree.mountLine("/", "/dev/sda1", "ext4", "8:1");
    tree.mount("present", "/dev/sdb1", "vfat", "8:17");
    MountWatcher watcher(tree.mountInfo());
    ASSERT_TRUE(watcher.Start());
    EXPECT_TRUE(watcher.TakeNewMounts().empty());

    tree.mount("first", "/dev/sdc1", "vfat", "8:33");
    tree.mount("second", "/dev/sdd1", "exfat", "8:49");
    EXPECT_EQ(Points(watcher.TakeNewMounts()), (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(watcher.TakeNewMounts().empty());
}

TEST(MountWatcher, RemountedDriveIsNewAgainAndUnreadableTableChangesNothing)
{
    FakeDriveTree tree("watch");
    tree.mountLine("/", "/dev/sda1", "ext4", "8:1");
    MountWatcher watcher(tree.mountInfo());
    ASSERT_TRUE(watcher.Start());
    const std::string before = FakeDriveTreeText(tree);
    tree.mount("stick", "/dev/sdb1", "vfat", "8:17");
    EXPECT_EQ(watcher.TakeNewMounts().size(), 1u);

    // The table briefly unreadable: nothing new, nothing forgotten.
    fs::rename(tree.mountInfo(), tree.root() / "away");
    EXPECT_TRUE(watcher.TakeNewMounts().empty());
    fs::rename(tree.root() / "away", tree.mountInfo());
    EXPECT_TRUE(watcher.TakeNewMounts().empty());

    // Unplugged, then plugged in again at the same place.
    halvex::test::WriteFile(tree.mountInfo(), before);
    EXPECT_TRUE(watcher.TakeNewMounts().empty());
    tree.mountLine((tree.root() / "mnt" / "stick").string(), "/dev/sdb1", "vfat", "8:17");
    EXPECT_EQ(Points(watcher.TakeNewMounts()), (std::vector<std::string>{"stick"}));
}

// The main window's question: did any mount come or go? A drive pulled is
// a change; reading the same table again, or failing to read it, is none.
TEST(MountWatcher, ChangeIsAMountThatCameOrWentOnce)
{
    FakeDriveTree tree("watch");
    tree.mountLine("/", "/dev/sda1", "ext4", "8:1");
    MountWatcher watcher(tree.mountInfo());
    ASSERT_TRUE(watcher.Start());
    const std::string before = FakeDriveTreeText(tree);
    EXPECT_FALSE(watcher.TakeChange());
    tree.mount("stick", "/dev/sdb1", "vfat", "8:17");
    EXPECT_TRUE(watcher.TakeChange());
    EXPECT_FALSE(watcher.TakeChange());
    fs::rename(tree.mountInfo(), tree.root() / "away");
    EXPECT_FALSE(watcher.TakeChange());
    fs::rename(tree.root() / "away", tree.mountInfo());
    halvex::test::WriteFile(tree.mountInfo(), before);
    EXPECT_TRUE(watcher.TakeChange()) << "the stick was pulled";
}

TEST(MountWatcher, MissingTableFailsStart)
{
    MountWatcher watcher("/nonexistent/mountinfo");
    EXPECT_FALSE(watcher.Start());
}

}  // namespace
