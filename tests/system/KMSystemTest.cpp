#include "system/KMSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "system/DesktopLaunch.h"
#include "system/KXPath.h"
#include "SystemTestSupport.h"

namespace fs = std::filesystem;

namespace {

using halvex::test::ScopedEnv;

class KMSystemTest : public ::testing::Test {
protected:
    halvex::test::TempFolder folder{"system"};
    const fs::path root = folder.path();
};

TEST(KMSystemText, FileSizeTextTruncatesPerUnit)
{
    const std::vector<std::pair<std::uint64_t, std::string>> cases = {
        {0, "0 byte"},
        {1, "1 bytes"},
        {1023, "1023 bytes"},
        {1024, "1 KB"},
        {2047, "1 KB"},
        {1048576, "1 MB"},
        {1610612736, "1 GB"},
        {1099511627776ull, "1 TB"},
        {1099511627776ull * 2048, "2048 TB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(KMSystem::FileSizeText(bytes), text) << bytes;
}

TEST_F(KMSystemTest, FileSizeCountsFilesAtAnyDepth)
{
    EXPECT_EQ(KMSystem::GetFileSize(root).ValueOr(1), 0u);

    fs::create_directories(root / "a" / "b");
    halvex::test::WriteFile(root / "one", std::string(1000, 'x'));
    halvex::test::WriteFile(root / "a" / "b" / "two", std::string(2000, 'y'));
    EXPECT_EQ(KMSystem::GetFileSize(root).ValueOr(0), 3000u);
    EXPECT_EQ(KMSystem::GetFileSize(root / "one").ValueOr(0), 1000u);
    EXPECT_EQ(KMSystem::GetFolderSize(root), 3000u);
    // A missing file has no size: it does not pass for an empty one.
    const halvex::Result<std::uint64_t> missing = KMSystem::GetFileSize(root / "missing");
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.systemError(), ENOENT);
    EXPECT_FALSE(KMSystem::GetFileModifiedTime(root / "one").empty());
    EXPECT_TRUE(KMSystem::GetFileModifiedTime(root / "missing").empty());
}

TEST_F(KMSystemTest, FoldersAndWritability)
{
    EXPECT_TRUE(KMSystem::CreateFolder(root / "x" / "y" / "z"));
    EXPECT_TRUE(fs::is_directory(root / "x" / "y" / "z"));
    halvex::test::WriteFile(root / "file", "x");
    const halvex::Status underFile = KMSystem::CreateFolder(root / "file" / "sub");
    EXPECT_FALSE(underFile);
    EXPECT_EQ(underFile.messageKey, KMSystem::kFolderErrorKey);
    EXPECT_NE(underFile.systemError, 0) << underFile.detail;
    EXPECT_TRUE(KMSystem::PathWritable(root / "x"));
    EXPECT_FALSE(KMSystem::PathWritable(root / "missing"));

    EXPECT_FALSE(KXPath::ValidateFolder(root / "v", false));
    EXPECT_TRUE(KXPath::ValidateFolder(root / "v", true));
    const halvex::Status deep = KXPath::ValidateFolder(root / "p" / "q", true);
    EXPECT_FALSE(deep) << "creates one level only";
    EXPECT_EQ(deep.systemError, ENOENT);
    EXPECT_EQ(KXPath::AppendComponent("/a/b", "c"), fs::path("/a/b/c"));
    EXPECT_EQ(KXPath::AppendComponent("/a/b", "/c"), fs::path("/a/b/c"));

    if (::geteuid() != 0) {  // root may write anywhere
        fs::permissions(root / "x", fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_FALSE(KMSystem::PathWritable(root / "x"));
    }
}

TEST(KMSystemFolders, ApplicationsFolderFollowsXdgDataHome)
{
    {
        ScopedEnv data("XDG_DATA_HOME", "/data/home");
        EXPECT_EQ(KMSystem::GetApplicationsFolder(), fs::path("/data/home"));
    }
    ScopedEnv data("XDG_DATA_HOME", "relative");
    EXPECT_EQ(KMSystem::GetApplicationsFolder().filename(), "share");
}

TEST(DesktopLaunch, FileUriEscapesEverythingButPlainCharacters)
{
    EXPECT_EQ(halvex::FileUri("/media/u/MY STICK/a,b%c"), "file:///media/u/MY%20STICK/a%2Cb%25c");
    EXPECT_EQ(halvex::FileUri("/\xc3\xa9"), "file:///%C3%A9");
    EXPECT_FALSE(KMSystem::GoToUrl("--help"));
    EXPECT_FALSE(KMSystem::RevealFolder("relative/folder"));
}

}  // namespace
