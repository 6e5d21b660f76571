#include "util/FolderWatch.h"

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
    EXPECT_FALSE(watch.Watch(Root() / "file"));
    EXPECT_FALSE(watch.Watch(Root() / "missing"));
    EXPECT_FALSE(watch.StillThere());
}

}  // namespace
