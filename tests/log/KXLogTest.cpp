#include "log/KXLog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "TestFolder.h"

namespace fs = std::filesystem;

using KXLogTest = TestFolder;

TEST_F(KXLogTest, WritesLinesEndedByALineFeedInUtf8)
{
    const fs::path file = Root() / "sync.log";
    KXLog log;
    EXPECT_FALSE(log.IsOpen());
    ASSERT_TRUE(log.Open(file, true));
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(log.Write("Copied caf\xC3\xA9 and \xC3\xBC"), 19);
    EXPECT_EQ(log.WriteLine(), 1);
    EXPECT_EQ(log.Write("done"), 4);
    EXPECT_TRUE(log.Close());
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(ReadFile(file), "Copied caf\xC3\xA9 and \xC3\xBC\n\ndone\n");
}

TEST_F(KXLogTest, EmptyTextWritesNothingNotEvenALineBreak)
{
    const fs::path file = Root() / "sync.log";
    KXLog log;
    ASSERT_TRUE(log.Open(file, true));
    EXPECT_EQ(log.Write(""), 0);
    EXPECT_TRUE(log.Close());
    EXPECT_EQ(ReadFile(file), "");
}

TEST_F(KXLogTest, TruncateEmptiesAndAppendKeepsEarlierLines)
{
    const fs::path file = Root() / "sync.log";
    WriteFile(file, "old\n");
    {
        KXLog log;
        ASSERT_TRUE(log.Open(file, false));
        log.Write("new");
    }
    EXPECT_EQ(ReadFile(file), "old\nnew\n");
    {
        KXLog log;
        ASSERT_TRUE(log.Open(file, true));
    }
    EXPECT_EQ(ReadFile(file), "");
}

TEST_F(KXLogTest, SecondOpenClosesTheFirstFile)
{
    KXLog log;
    ASSERT_TRUE(log.Open(Root() / "first.log", true));
    ASSERT_TRUE(log.Open(Root() / "second.log", true));
    log.Write("line");
    EXPECT_TRUE(log.Close());
    EXPECT_EQ(ReadFile(Root() / "first.log"), "");
    EXPECT_EQ(ReadFile(Root() / "second.log"), "line\n");
}

TEST_F(KXLogTest, NewFileIsPrivateToTheOwner)
{
    const mode_t previous = ::umask(0);
    KXLog log;
    const bool opened = log.Open(Root() / "sync.log", true).ok;
    ::umask(previous);
    ASSERT_TRUE(opened);
    struct stat st {};
    ASSERT_EQ(::stat((Root() / "sync.log").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(KXLogTest, RefusesToWriteThroughAPlantedLink)
{
    const fs::path victim = Root() / "victim";
    WriteFile(victim, "precious\n");
    fs::create_symlink(victim, Root() / "sync.log");
    KXLog log;
    EXPECT_FALSE(log.Open(Root() / "sync.log", true));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(log.Write("x"), -1);
    EXPECT_EQ(ReadFile(victim), "precious\n");

    // A dangling link must not create its target either.
    fs::create_symlink(Root() / "created", Root() / "dangling.log");
    EXPECT_FALSE(log.Open(Root() / "dangling.log", false));
    EXPECT_FALSE(fs::exists(Root() / "created"));
}

TEST_F(KXLogTest, RefusesAFifoWithoutHanging)
{
    ASSERT_EQ(::mkfifo((Root() / "sync.log").c_str(), 0600), 0);
    KXLog log;
    EXPECT_FALSE(log.Open(Root() / "sync.log", false));
}

TEST_F(KXLogTest, FailedOpenLeavesTheObjectClosedAndHarmless)
{
    KXLog log;
    ASSERT_TRUE(log.Open(Root() / "a.log", true));
    const halvex::Status failed = log.Open(Root() / "missing" / "b.log", true);
    EXPECT_EQ(failed.messageKey, "file_save_err");
    EXPECT_EQ(failed.systemError, ENOENT);
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(log.Write("x"), -1);
    EXPECT_EQ(log.WriteLine(), -1);
    EXPECT_TRUE(log.Close());
}

TEST_F(KXLogTest, MovedLogOwnsTheFile)
{
    KXLog first;
    ASSERT_TRUE(first.Open(Root() / "a.log", true));
    KXLog second = std::move(first);
    EXPECT_FALSE(first.IsOpen());  // NOLINT(bugprone-use-after-move): what a move leaves behind is the point
    EXPECT_EQ(second.Write("moved"), 5);
    EXPECT_TRUE(second.Close());
    EXPECT_EQ(ReadFile(Root() / "a.log"), "moved\n");
}
