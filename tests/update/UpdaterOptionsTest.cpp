#include "update/UpdaterOptions.h"

#include <gtest/gtest.h>

namespace {

using Arguments = std::vector<std::string>;

TEST(UpdaterOptions, AllFourArgumentsAreNeeded)
{
    const Arguments full{
        "-pid", "123", "-name", "Pellory", "-cur", "/media/u/D/HalvexDravane.app", "-zip", "/run/user/1/D.zip"};
    const auto options = halvex::ParseUpdaterOptions(full);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->pid, 123);
    EXPECT_EQ(options->name, "Pellory");
    EXPECT_EQ(options->curPath, "/media/u/D/HalvexDravane.app");
    EXPECT_EQ(options->zipPath, "/run/user/1/D.zip");
    EXPECT_FALSE(options->silent);

    Arguments silent = full;
    silent.insert(silent.end(), {"-silent", "1"});
    EXPECT_TRUE(halvex::ParseUpdaterOptions(silent)->silent);

    const Arguments refused[] = {
        {},
        {"-pid", "0", "-name", "P", "-cur", "/c", "-zip", "/z"},
        {"-pid", "-4", "-name", "P", "-cur", "/c", "-zip", "/z"},
        {"-pid", "12x", "-name", "P", "-cur", "/c", "-zip", "/z"},
        {"-pid", "99999999999", "-name", "P", "-cur", "/c", "-zip", "/z"},
        {"-pid", "12", "-name", "", "-cur", "/c", "-zip", "/z"},
        {"-pid", "12", "-name", "P", "-zip", "/z"},
        {"-pid", "12", "-name", "P", "-cur", "/c", "-zip"},
    };
    for (const Arguments& arguments : refused)
        EXPECT_FALSE(halvex::ParseUpdaterOptions(arguments)) << ::testing::PrintToString(arguments);
}

TEST(UpdaterOptions, FoldersDerivedFromThePaths)
{
    EXPECT_EQ(halvex::UnpackFolderFor("/run/user/1/D.zip"), "/run/user/1/HalvexUpdate");
    EXPECT_EQ(halvex::InstallFolderFor("/media/u/D/HalvexDravane.app"), "/media/u/D");
    EXPECT_EQ(halvex::InstallFolderFor("/media/u/D/HalvexDravane.app/"), "/media/u/D");
    EXPECT_EQ(halvex::RelaunchProgramFor("/media/u/D/HalvexDravane.app/"),
              "/media/u/D/HalvexDravane.app/Contents/Linux/HalvexDravane");
}

}  // namespace
