#include "util/FolderWatch.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "TestFolder.h"

namespace {

namespace fs = std::filesystem;

using FolderWatchTest = TestFolder;

TEST_F(FolderWatchTest, GoneOrReplacedFoldersAreNotThere)
{
    const fs::path drive = Root() / "STICK";
    fs::create_directory(drive);
    halvex::FolderWatch watch;
    EXPECT_FALSE(watch.StillThere()) << "nothing watched yet";
    ASSERT_TRUE(watch.Watch(drive));
    EXPECT_TRUE(watch.StillThere());

    fs::rename(drive, Root() / "elsewhere");
    EXPECT_FALSE(watch.StillThere());
    fs::create_directory(drive);  // the empty mount point of a pulled drive
    EXPECT_FALSE(watch.StillThere());

    WriteFile(Root() / "file", "x");
    EXPECT_EQ(watch.Watch(Root() / "file").systemError, ENOTDIR);
    EXPECT_EQ(watch.Watch(Root() / "missing").systemError, ENOENT);
    EXPECT_FALSE(watch.StillThere());
}

}  // namespace
