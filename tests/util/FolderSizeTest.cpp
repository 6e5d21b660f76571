#include "util/FolderSize.h"

#include <fcntl.h>
#include <unistd.h>

#include "TestFolder.h"

namespace fs = std::filesystem;
using halvex::FolderSize;

using FolderSizeTest = TestFolder;

TEST_F(FolderSizeTest, CountsRegularFilesInAllSubFolders)
{
    WriteFile(Root() / "a" / "one", std::string(100, 'x'));
    WriteFile(Root() / "a" / "b" / "c" / "two", std::string(23, 'x'));
    WriteFile(Root() / "three", "xyz");
    fs::create_directories(Root() / "empty");
    // Links are not followed: not the file, not a folder, not a loop.
    fs::create_symlink(Root() / "three", Root() / "a" / "link");
    fs::create_directory_symlink(Root() / "a", Root() / "a" / "b" / "loop");
    EXPECT_EQ(FolderSize(Root()), 126u);
    EXPECT_EQ(FolderSize(Root() / "empty"), 0u);
}

TEST_F(FolderSizeTest, SizesBeyondFourGibibytesAreKept)
{
    const fs::path big = Root() / "sub" / "big";
    WriteFile(big, "");
    const int fd = ::open(big.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 10LL * 1024 * 1024 * 1024), 0);
    ::close(fd);
    WriteFile(Root() / "small", "12345");
    EXPECT_EQ(FolderSize(Root()), 10ULL * 1024 * 1024 * 1024 + 5);
}

TEST_F(FolderSizeTest, NothingForAMissingFolderAFileOrACancel)
{
    WriteFile(Root() / "file", "12345");
    EXPECT_EQ(FolderSize(Root() / "missing"), 0u);
    EXPECT_EQ(FolderSize(Root() / "file"), 0u);
    const std::atomic<bool> cancel{true};
    EXPECT_EQ(FolderSize(Root(), &cancel), 0u);
}
