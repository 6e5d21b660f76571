// The clean-up of temporaries that a killed copy or backup left: what it
// takes, and what it must leave (a copy still running, anything not ours).

#include <gtest/gtest.h>

#include <sys/file.h>

#include "FaultTestSupport.h"
#include "zip/LeftoverArchives.h"
#include "copy/FileCopier.h"
#include "copy/LeftoverCopies.h"
#include "copy/TemporaryName.h"
#include "plist/AtomicFileWrite.h"

using namespace faults;

namespace {

// The id of a process that has ended and been reaped.
pid_t EndedProcessId()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

}  // namespace

TEST(LeftoverCopies, RemovesUnheldTemporariesAndNothingElse)
{
    TempFolder folder;
    const std::string leftover = halvex::TemporaryNameFor("report.txt");
    const std::string held = halvex::TemporaryNameFor("photo.jpg");
    WriteFile(folder / leftover, "half a copy");
    WriteFile(folder / held, "a copy under way");
    WriteFile(folder / "report.txt", "the user's file");
    WriteFile(folder / ".hidden", "the user's hidden file");
    WriteFile(folder / ".halvex-partial", "not our prefix");
    fs::create_directory(folder / halvex::TemporaryNameFor("folder"));
    ASSERT_EQ(::mkfifo((folder / halvex::TemporaryNameFor("pipe")).c_str(), 0600), 0);

    // A copy in another process marks its temporary the same way.
    const int fd = ::open((folder / held).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    halvex::MarkCopyInProgress(fd);

    EXPECT_EQ(halvex::RemoveLeftoverCopies(folder.path()), 1u);
    EXPECT_FALSE(fs::exists(folder / leftover));
    EXPECT_EQ(ReadFile(folder / held), "a copy under way");
    EXPECT_EQ(ReadFile(folder / "report.txt"), "the user's file");
    EXPECT_TRUE(fs::exists(folder / ".hidden"));
    EXPECT_TRUE(fs::exists(folder / ".halvex-partial"));
    EXPECT_EQ(NamesStartingWith(folder.path(), ".halvex-part-").size(), 3u) << "held copy, folder and pipe stay";

    ::close(fd);
    EXPECT_EQ(halvex::RemoveLeftoverCopies(folder.path()), 1u) << "once its copy has ended it is a leftover";
    EXPECT_EQ(halvex::RemoveLeftoverCopies(folder / "no such folder"), 0u);
}

// The lock must last until the rename: a clean-up running beside a copy in
// this very process may not take the copy's temporary from under it.
TEST(LeftoverCopies, ACopyInProgressIsNeverTaken)
{
    TempFolder folder;
    WriteFile(folder / "source.bin", NumberedLines(4 << 20, "new"));
    WriteFile(folder / "target.bin", "old");
    std::size_t removedDuringCopy = 0;
    std::size_t sawTemporary = 0;
    halvex::CopyOptions options;
    options.bufferSize = 64 << 10;
    options.progress = [&](std::uint64_t, std::uint64_t) {
        sawTemporary += NamesStartingWith(folder.path(), ".halvex-part-").size();
        removedDuringCopy += halvex::RemoveLeftoverCopies(folder.path());
        return true;
    };
    ASSERT_TRUE(halvex::CopyFileAtomic(folder / "source.bin", folder / "target.bin", options).ok);
    EXPECT_GT(sawTemporary, 0u);
    EXPECT_EQ(removedDuringCopy, 0u);
    EXPECT_EQ(ReadFile(folder / "target.bin"), ReadFile(folder / "source.bin"));
}

TEST(LeftoverArchives, NamesOfPartialArchives)
{
    const struct {
        const char* name;
        bool partial;
    } table[] = {
        {".report.txt.zip.partial-1234-0", true},
        {".a.zip.partial-1-17", true},
        {".x.zip.zip.partial-99-3", true},
        {"report.txt.zip", false},
        {"report.txt.zip.partial-1234-0", false},  // not hidden: a user's file
        {".report.txt.zip.partial-1234-", false},
        {".report.txt.zip.partial--0", false},
        {".report.txt.zip.partial-12a4-0", false},
        {".report.txt.zip.partial-1234-0x", false},
        {".report.txt.restore-1234-0", false},  // restores write into the user's folders
        {".zip.partial-1-1", false},
        {".halvex-part-0badcafe-report.txt", false},
    };
    for (const auto& row : table)
        EXPECT_EQ(halvex::IsPartialArchiveName(row.name), row.partial) << row.name;
}

TEST(LeftoverArchives, OnlyThoseOfEndedWritersGo)
{
    TempFolder folder;
    const std::string ended = ".a.txt.zip.partial-" + std::to_string(EndedProcessId()) + "-0";
    const std::string mine = ".b.txt.zip.partial-" + std::to_string(::getpid()) + "-0";
    const std::string running = ".c.txt.zip.partial-1-0";  // init runs as long as the machine does
    for (const std::string& name : {ended, mine, running})
        WriteFile(folder / name, "partial");
    WriteFile(folder / "a.txt.zip", "the stored archive");

    EXPECT_EQ(halvex::RemoveLeftoverArchives(folder.path()), 1u);
    EXPECT_FALSE(fs::exists(folder / ended));
    EXPECT_TRUE(fs::exists(folder / mine));
    EXPECT_TRUE(fs::exists(folder / running));
    EXPECT_EQ(ReadFile(folder / "a.txt.zip"), "the stored archive");
}

TEST(LeftoverArchives, RestoresLeaveOnlyTheirOwnFileToCleanUp)
{
    TempFolder folder;
    const std::string dead = std::to_string(EndedProcessId());
    const std::vector<std::string> gone = {".report.txt.restore-" + dead + "-0", ".report.txt.restore-" + dead + "-12"};
    const std::vector<std::string> kept = {
        ".report.txt.restore-1-0",                 // a writer that still runs
        ".report.txt.restore-" + dead,             // not the suite's form
        ".other.txt.restore-" + dead + "-0",       // another file's: not this restore's business
        ".report.txt.zip.partial-" + dead + "-0",  // a backup's, not a restore's
        "report.txt",
    };
    for (const std::string& name : gone)
        WriteFile(folder / name, "half");
    for (const std::string& name : kept)
        WriteFile(folder / name, "kept");
    EXPECT_EQ(halvex::RemoveLeftoverRestores(folder.path(), "report.txt"), gone.size());
    for (const std::string& name : gone)
        EXPECT_FALSE(fs::exists(folder / name)) << name;
    for (const std::string& name : kept)
        EXPECT_TRUE(fs::exists(folder / name)) << name;
}

// Settings files are written through a temporary too: one that a killed or
// cut-off write left goes with the next write of that file.
TEST(LeftoverWrites, TheNextWriteOfAFileRemovesItsEndedTemporaries)
{
    TempFolder folder;
    const std::string dead = std::to_string(EndedProcessId());
    const std::string name = "com.halvex.dravane.plist";
    const std::vector<std::string> gone = {"." + name + "." + dead + "-0-123456.tmp",
                                           "." + name + "." + dead + "-7-1.tmp"};
    const std::vector<std::string> kept = {
        "." + name + ".1-0-123456.tmp",                              // a writer that still runs
        "." + name + "." + std::to_string(::getpid()) + "-0-1.tmp",  // this process's own
        ".com.halvex.dravane.sync.plist." + dead + "-0-1.tmp",       // another file's
        "." + name + ".backup.tmp",                                  // not the suite's form
        "." + name + "." + dead + "-0-1.tmp.keep",
    };
    for (const std::string& entry : gone)
        WriteFile(folder / entry, "<plist");
    for (const std::string& entry : kept)
        WriteFile(folder / entry, "kept");
    ASSERT_TRUE(halvex::WriteFileAtomic(folder / name, "<plist/>"));
    EXPECT_EQ(ReadFile(folder / name), "<plist/>");
    for (const std::string& entry : gone)
        EXPECT_FALSE(fs::exists(folder / entry)) << entry;
    for (const std::string& entry : kept)
        EXPECT_TRUE(fs::exists(folder / entry)) << entry;
}
