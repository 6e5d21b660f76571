#include "paths/RunPath.h"

#include "TestFolder.h"

namespace fs = std::filesystem;
using halvex::CommandLineParameter;
using halvex::RunPathFromArgument;
using halvex::RunPathFromExecutable;

TEST(CommandLineParameter, CountsFromOneAndDropsATrailingQuote)
{
    EXPECT_FALSE(CommandLineParameter({}, 1));
    EXPECT_FALSE(CommandLineParameter({"/media/d"}, 2));
    EXPECT_FALSE(CommandLineParameter({"/media/d"}, 0));
    EXPECT_EQ(CommandLineParameter({"/media/d", "auto"}, 1), "/media/d");
    EXPECT_EQ(CommandLineParameter({"/media/d", "auto\""}, 2), "auto");
    EXPECT_EQ(CommandLineParameter({"/media/d/\""}, 1), "/media/d/");
    EXPECT_EQ(CommandLineParameter({"\"a\"\""}, 1), "\"a\"");  // only one quote goes
    EXPECT_EQ(CommandLineParameter({""}, 1), "");
}

TEST(RunPathFromArgument, TrailingQuoteThenTrailingSeparatorsGo)
{
    struct Case {
        const char* argument;
        const char* runPath;  // nullptr: no run path
    };
    const Case cases[] = {
        {"/media/user/DRIVE", "/media/user/DRIVE"},
        {"/media/user/DRIVE/", "/media/user/DRIVE"},
        {"/media/user/DRIVE\"", "/media/user/DRIVE"},
        {"/media/user/DRIVE/\"", "/media/user/DRIVE"},
        {"/media/user/DRIVE//", "/media/user/DRIVE"},
        {"/media/user/MY DRIVE/", "/media/user/MY DRIVE"},
        // The root keeps its separator: stripping it would leave a relative
        // path and scatter the data folder into the current folder.
        {"/", "/"},
        {"/\"", "/"},
        {"//", "/"},
        {"", nullptr},
        {"\"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        const auto runPath = RunPathFromArgument(c.argument);
        if (c.runPath == nullptr) {
            EXPECT_FALSE(runPath);
        } else {
            ASSERT_TRUE(runPath);
            EXPECT_EQ(runPath->string(), c.runPath);
        }
    }
}

TEST(RunPathFromArgument, RelativeArgumentIsMadeAbsolute)
{
    const auto runPath = RunPathFromArgument("drive/");
    ASSERT_TRUE(runPath);
    EXPECT_EQ(*runPath, fs::current_path() / "drive");
}

TEST(RunPathFromArgument, EmbeddedNulIsRefused)
{
    EXPECT_FALSE(RunPathFromArgument(std::string_view("/media/a\0/b", 11)));
}

TEST(RunPathFromExecutable, RunPathIsTheFolderHoldingTheBundle)
{
    struct Case {
        const char* executable;
        const char* runPath;  // nullptr: no run path
    };
    const Case cases[] = {
        {"/media/u/DRIVE/HalvexDravane.app/Contents/Linux/HalvexDravane", "/media/u/DRIVE"},
        {"/media/u/DRIVE/HalvexDravane.app/Contents/Linux/dravane", "/media/u/DRIVE"},
        {"/media/u/DRIVE/HalvexDravane/Contents/Linux/HalvexDravane", "/media/u/DRIVE"},
        {"/HalvexDravane.app/Contents/Linux/HalvexDravane", "/"},
        {"/usr/bin/HalvexDravane", nullptr},
        {"/media/u/DRIVE/Other.app/Contents/Linux/HalvexDravane", nullptr},
        {"/media/u/DRIVE/HalvexDravane.app/Contents/MacOS/HalvexDravane", nullptr},
        {"/media/u/DRIVE/HalvexDravane.app/Linux/HalvexDravane", nullptr},
        {"HalvexDravane.app/Contents/Linux/HalvexDravane", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable);
        const auto runPath = RunPathFromExecutable(c.executable);
        if (c.runPath == nullptr) {
            EXPECT_FALSE(runPath);
        } else {
            ASSERT_TRUE(runPath);
            EXPECT_EQ(runPath->string(), c.runPath);
        }
    }
}

using RunPathFromExecutableLink = TestFolder;

TEST_F(RunPathFromExecutableLink, LinkIsResolvedLikeTheProcessOwnExeLink)
{
    const fs::path program = Root() / "drive" / "HalvexDravane.app" / "Contents" / "Linux" / "dravane";
    WriteFile(program, "");
    fs::create_symlink(program, Root() / "exe");
    const auto runPath = RunPathFromExecutable(Root() / "exe");
    ASSERT_TRUE(runPath);
    EXPECT_EQ(*runPath, Root() / "drive");
}

TEST(RunPathFromExecutableProc, TestProgramIsNotInABundle)
{
    // The test program lives in the build tree, not in a bundle.
    EXPECT_FALSE(RunPathFromExecutable("/proc/self/exe"));
}
