#include "paths/KXAppPaths.h"

#include <cerrno>

#include "TestFolder.h"

namespace fs = std::filesystem;

using KXAppPathsTest = TestFolder;

TEST_F(KXAppPathsTest, PathsFollowFromTheRunPathArgument)
{
    fs::create_directories(Root() / "HalvexDravane.app");
    const auto paths = KXAppPaths::FromCommandLine({(Root() / "").string() + "\"", "auto"});
    ASSERT_TRUE(paths);
    EXPECT_EQ(paths->RunPath(), Root());
    EXPECT_EQ(paths->DataPath(), Root() / "Halvex Data");
    EXPECT_EQ(paths->AppPrefsPath(), Root() / "Halvex Data" / "com.halvex.dravane.plist");
    EXPECT_EQ(paths->BundleFolderName(), "HalvexDravane.app");
    EXPECT_EQ(paths->ResourcesPath(), Root() / "HalvexDravane.app" / "Contents" / "Resources");
    EXPECT_EQ(paths->ProgramPath(), Root() / "HalvexDravane.app" / "Contents" / "Linux");
    EXPECT_TRUE(fs::is_directory(paths->DataPath()));
}

TEST_F(KXAppPathsTest, BundleWithoutAppFolderIsLookedUpOnEachCall)
{
    const KXAppPaths paths(Root());
    EXPECT_EQ(paths.BundleFolderName(), "HalvexDravane");
    EXPECT_EQ(paths.ResourcesPath(), Root() / "HalvexDravane" / "Contents" / "Resources");
    fs::create_directories(Root() / "HalvexDravane.app");
    EXPECT_EQ(paths.BundleFolderName(), "HalvexDravane.app");
}

TEST_F(KXAppPathsTest, ExecutablePlaceGivesTheRunPathWhenNoArgument)
{
    const fs::path program = Root() / "HalvexDravane.app" / "Contents" / "Linux" / "HalvexDravane";
    WriteFile(program, "");
    for (const std::vector<std::string>& parameters : {std::vector<std::string>{}, std::vector<std::string>{""}}) {
        const auto paths = KXAppPaths::FromCommandLine(parameters, program);
        ASSERT_TRUE(paths);
        EXPECT_EQ(paths->RunPath(), Root());
    }
    EXPECT_FALSE(KXAppPaths::FromCommandLine({}, Root() / "stray" / "HalvexDravane"));
}

TEST_F(KXAppPathsTest, DataFolderIsCreatedOneLevelOnly)
{
    const auto missing = KXAppPaths::FromCommandLine({(Root() / "gone").string()});
    ASSERT_TRUE(missing);
    EXPECT_FALSE(fs::exists(Root() / "gone"));
    const halvex::Status gone = missing->CreateDataFolder();
    EXPECT_FALSE(gone);
    EXPECT_EQ(gone.systemError, ENOENT);
    EXPECT_NE(gone.detail.find("Halvex Data"), std::string::npos) << gone.detail;

    fs::create_directories(Root() / "Halvex Data");
    WriteFile(Root() / "Halvex Data" / "keep", "x");
    const KXAppPaths existing(Root());
    EXPECT_TRUE(existing.CreateDataFolder());
    EXPECT_TRUE(fs::exists(Root() / "Halvex Data" / "keep"));

    WriteFile(Root() / "file" / "Halvex Data", "not a folder");
    const halvex::Status notFolder = KXAppPaths(Root() / "file").CreateDataFolder();
    EXPECT_EQ(notFolder.messageKey, "err_data_folder_create");
    EXPECT_EQ(notFolder.systemError, ENOTDIR);
}

TEST_F(KXAppPathsTest, SyncLogLivesInThePrivateTemporaryFolder)
{
    const KXAppPaths paths(Root());
    ASSERT_TRUE(paths.TempFolderStatus()) << paths.TempFolderStatus().detail;
    EXPECT_EQ(paths.SyncLogPath(), paths.TempFolder() / "HalvexFileSync.log");
    EXPECT_FALSE(paths.SyncLogPath().string().find(Root().string()) == 0);
}
