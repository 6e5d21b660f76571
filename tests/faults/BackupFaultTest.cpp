// The backup engine when the drive misbehaves under it: full, pulled mid-run,
// a source file gone between the walk and its archive, the partial archives a
// killed run left. Every stored generation must survive what the run did not
// finish.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "FaultTestSupport.h"
#include "ShellCommand.h"
#include "backup/KWBackupManager.h"
#include "zip/ZipArchive.h"

using namespace faults;
using halvex::test::RunShell;
using halvex::test::ShellQuoted;

namespace {

class Recorder : public KWCallback {
public:
    std::vector<std::string> errors;
    std::vector<std::string> copying;
    std::function<void(const std::string&)> onCopying;

    void FatalError(const std::string& text) override { errors.push_back("fatal: " + text); }
    bool ErrorOccurred(const std::string& text) override
    {
        errors.push_back(text);
        return false;  // skip the file and go on
    }
    bool OverwriteFile(const std::string&, const std::string&) override { return true; }
    bool NotifyCopyingFile(const std::string&, const std::string& name) override
    {
        copying.push_back(name);
        if (onCopying)
            onCopying(name);
        return true;
    }
};

// What one archive holds, or "(none)" when it is missing or unreadable.
std::string Stored(const fs::path& archive, const fs::path& scratch)
{
    if (!fs::exists(archive))
        return "(none)";
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const std::string name = archive.filename().string();
    const fs::path target = scratch / name.substr(0, name.size() - 4);
    if (!halvex::CopyFileUnZip(target, archive).ok)
        return "(unreadable)";
    return ReadFile(target);
}

std::size_t Partials(const fs::path& folder)
{
    std::size_t count = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        count += it->path().filename().string().find(".zip.partial-") != std::string::npos;
    return count;
}

class BackupFaultTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(drive); }

    struct Outcome {
        bool finished = false;
        std::uint32_t stored = 0;
        std::uint32_t failed = 0;
        bool destinationGone = false;
        int flushError = 0;
    };

    Outcome Backup(unsigned threads = 2, halvex::FileSystemFlusher flush = {}, std::size_t batchFiles = 256)
    {
        KWBackupManager engine(callback);
        engine.AddFilter("*", "anything");
        halvex::BackupRunOptions options;
        options.archiveThreads = threads;
        options.batch.files = batchFiles;
        options.flush = std::move(flush);
        Outcome o;
        o.finished = engine.Backup(source, backup, "Set", options);
        o.stored = engine.GetStoredCount();
        o.failed = engine.GetFailedCount();
        o.destinationGone = engine.IsDestinationGone();
        o.flushError = engine.GetFlushError();
        return o;
    }

    // Each of count files stored once, then changed.
    void StoredThenChanged(int count)
    {
        for (int i = 0; i < count; ++i)
            WriteFile(source / Name(i), "version 1", 1'600'000'000);
        ASSERT_TRUE(Backup().finished);
        for (int i = 0; i < count; ++i)
            WriteFile(source / Name(i), "version 2", 1'700'000'000);
    }
    static std::string Name(int i) { return "f" + std::to_string(i) + ".txt"; }

    // "current|recent" of each file, in name order.
    std::vector<std::string> Generations(int count)
    {
        std::vector<std::string> held;
        held.reserve(count);
        for (int i = 0; i < count; ++i)
            held.push_back(Stored(Current(Name(i)), scratch) + "|" + Stored(Recent(Name(i)), scratch));
        return held;
    }

    fs::path Current(const std::string& name) const { return backup / "Set" / "Current Backup" / (name + ".zip"); }
    fs::path Recent(const std::string& name) const { return backup / "Set" / "Recent Backup" / (name + ".zip"); }

    TempFolder tmp;
    fs::path source = tmp / "source";
    fs::path drive = tmp / "drive";
    fs::path backup = tmp / "drive" / "Backup";
    fs::path scratch = tmp / "scratch";
    Recorder callback;
};

}  // namespace

// The drive fills while a changed file is archived: its stored copy stays in
// "Current Backup" and is not rotated, no partial archive is left, the other
// files are stored, and once the file fits the next run completes.
TEST_F(BackupFaultTest, FullDriveKeepsEveryGeneration)
{
    if (!RunningAsRoot())
        GTEST_SKIP() << "a small volume of its own needs root";
    const auto report = WithSmallVolume(drive, "1m", [&] {
        std::ostringstream out;
        WriteFile(source / "big.bin", "earlier version", 1'600'000'000);
        WriteFile(source / "a.txt", "a", 1'600'000'000);
        const Outcome first = Backup();
        WriteFile(source / "big.bin", NoiseBytes(3 << 20, 7), 1'700'000'000);
        WriteFile(source / "b.txt", "b", 1'700'000'000);
        // One archive at a time, so it is the big one that meets the full drive.
        const Outcome full = Backup(0);
        out << first.finished << first.stored << ' ' << full.stored << full.failed << ' '
            << Stored(Current("big.bin"), scratch) << '|' << Stored(Recent("big.bin"), scratch) << '|'
            << Stored(Current("b.txt"), scratch) << '|' << Partials(backup) << '|'
            << (callback.errors.size() == 1 && callback.errors[0].rfind("Error copying file \"", 0) == 0) << '\n';
        callback.errors.clear();
        WriteFile(source / "big.bin", "third version", 1'800'000'000);
        const Outcome again = Backup();
        out << again.finished << again.stored << again.failed << ' ' << Stored(Current("big.bin"), scratch) << '|'
            << Stored(Recent("big.bin"), scratch) << '|' << Partials(backup) << '|' << callback.errors.size();
        return out.str();
    });
    if (!report)
        GTEST_SKIP() << "no private mount namespace with a tmpfs here";
    std::istringstream lines(*report);
    std::string full, again;
    std::getline(lines, full);
    std::getline(lines, again);
    EXPECT_EQ(full, "12 11 earlier version|(none)|b|0|1");
    EXPECT_EQ(again, "110 third version|earlier version|0|0");
}

TEST_F(BackupFaultTest, SourceGoneBetweenWalkAndArchiveKeepsItsStoredCopy)
{
    WriteFile(source / "gone.txt", "earlier version", 1'600'000'000);
    WriteFile(source / "keep.txt", "keep 1", 1'600'000'000);
    ASSERT_TRUE(Backup().finished);
    WriteFile(source / "gone.txt", "newer", 1'700'000'000);
    WriteFile(source / "keep.txt", "keep 2", 1'700'000'000);
    // Archives written on the engine's thread, right after the announcement:
    // the file goes in between.
    callback.onCopying = [&](const std::string& name) {
        if (name == "gone.txt")
            fs::remove(source / name);
    };
    const Outcome o = Backup(0);
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.stored, 1u);
    EXPECT_EQ(o.failed, 1u);
    ASSERT_EQ(callback.errors.size(), 1u);
    EXPECT_NE(callback.errors[0].find("gone.txt"), std::string::npos) << callback.errors[0];
    EXPECT_EQ(Stored(Current("gone.txt"), scratch), "earlier version");
    EXPECT_EQ(Stored(Recent("gone.txt"), scratch), "(none)") << "nothing rotated for a file not stored";
    EXPECT_EQ(Stored(Current("keep.txt"), scratch), "keep 2");
    EXPECT_EQ(Stored(Recent("keep.txt"), scratch), "keep 1");
    EXPECT_EQ(Partials(backup), 0u);
}

// A folder of the set the system will not make is said once, with the
// system's reason, and the rest of the set is still stored.
TEST_F(BackupFaultTest, FolderTheDriveRefusesIsReportedWithItsReason)
{
    WriteFile(source / "a.txt", "a");
    WriteFile(source / "sub" / "deeper" / "b.txt", "b");
    const fs::path locked = backup / "Set" / "Current Backup" / "sub";
    fs::create_directories(locked);
    // Immutable refuses even root a new entry (EPERM).
    if (RunShell("chattr +i " + ShellQuoted(locked.string()) + " 2>/dev/null").status != 0)
        GTEST_SKIP() << "no immutable folders on this file system";
    const Outcome o = Backup();
    RunShell("chattr -i " + ShellQuoted(locked.string()));
    EXPECT_EQ(o.stored, 1u);
    EXPECT_EQ(o.failed, 1u);
    ASSERT_EQ(callback.errors.size(), 1u);
    EXPECT_NE(callback.errors[0].find("deeper/\"\n" + std::string(std::strerror(EPERM))), std::string::npos)
        << callback.errors[0];
}

// The drive's backup folder goes after the first archive: the run stops at
// the next file without a question per file, reports the drive gone, and
// makes nothing where the folder was.
TEST_F(BackupFaultTest, DrivePulledMidRunStopsTheRun)
{
    for (int i = 0; i < 5; ++i)
        WriteFile(source / ("f" + std::to_string(i) + ".txt"), "version 1", 1'600'000'000);
    ASSERT_TRUE(Backup().finished);
    for (int i = 0; i < 5; ++i)
        WriteFile(source / ("f" + std::to_string(i) + ".txt"), "version 2", 1'700'000'000);
    const fs::path pulled = tmp / "pulled";
    callback.copying.clear();
    callback.onCopying = [&](const std::string&) {
        if (callback.copying.size() == 2)
            fs::rename(backup, pulled);
    };
    const Outcome o = Backup(0);
    EXPECT_FALSE(o.finished);
    EXPECT_TRUE(o.destinationGone);
    EXPECT_EQ(o.stored, 1u);
    EXPECT_EQ(o.failed, 1u);
    EXPECT_TRUE(callback.errors.empty()) << callback.errors.front();
    EXPECT_EQ(callback.copying.size(), 2u);
    EXPECT_FALSE(fs::exists(backup));
    // Each file has its newest stored copy in the set that was pulled.
    int second = 0;
    for (int i = 0; i < 5; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt.zip";
        const std::string current = Stored(pulled / "Set" / "Current Backup" / name, scratch);
        EXPECT_TRUE(current == "version 1" || current == "version 2") << name << ": " << current;
        second += current == "version 2";
    }
    EXPECT_EQ(second, 1);
    EXPECT_EQ(Partials(pulled), 0u);
}

TEST_F(BackupFaultTest, PartialArchivesOfAKilledRunGoWithTheNextRun)
{
    WriteFile(source / "sub" / "a.txt", "a", 1'600'000'000);
    ASSERT_TRUE(Backup().finished);
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const fs::path leftover =
        backup / "Set" / "Current Backup" / "sub" / (".a.txt.zip.partial-" + std::to_string(ended) + "-3");
    WriteFile(leftover, "half an archive");
    WriteFile(source / "sub" / "a.txt", "a 2", 1'700'000'000);
    EXPECT_TRUE(Backup().finished);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_EQ(Stored(Current("sub/a.txt"), scratch), "a 2");
}

// The archives wait for their batch's flush before any takes its name: at
// each flush, only the batches flushed before it are in place.
TEST_F(BackupFaultTest, ArchivesTakeTheirNamesOnlyAfterTheirBatchIsFlushed)
{
    StoredThenChanged(5);
    std::vector<int> newAtFlush;
    const Outcome o = Backup(
        2,
        [&](int) {
            int placed = 0;
            for (const std::string& held : Generations(5))
                placed += held == "version 2|version 1";
            newAtFlush.push_back(placed);
            return 0;
        },
        2);
    EXPECT_TRUE(o.finished);
    EXPECT_EQ(o.stored, 5u);
    EXPECT_EQ(newAtFlush, (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(Generations(5), std::vector<std::string>(5, "version 2|version 1"));
}

// The flush of the second batch fails, as on a drive pulled before it: none
// of that batch's archives takes its name or pushes a generation down, no
// temporary is left, and the run stops with the flush's error instead of
// going on; the batch flushed before it is stored.
TEST_F(BackupFaultTest, FailedFlushFailsItsBatchAndKeepsEveryGeneration)
{
    StoredThenChanged(6);
    int flushes = 0;
    const Outcome o = Backup(
        2, [&](int) { return ++flushes == 2 ? EIO : 0; }, 2);
    EXPECT_FALSE(o.finished);
    EXPECT_EQ(o.flushError, EIO);
    EXPECT_FALSE(o.destinationGone);
    EXPECT_EQ(o.stored, 2u);
    EXPECT_EQ(o.failed, 2u);
    EXPECT_EQ(flushes, 2);
    const std::vector<std::string> expected = {"version 2|version 1", "version 2|version 1", "version 1|(none)",
                                               "version 1|(none)",    "version 1|(none)",    "version 1|(none)"};
    EXPECT_EQ(Generations(6), expected);
    EXPECT_EQ(Partials(backup), 0u);

    // The next run, with a drive that keeps what it is given, completes.
    const Outcome again = Backup();
    EXPECT_TRUE(again.finished);
    EXPECT_EQ(again.stored, 4u);
    EXPECT_EQ(Generations(6), std::vector<std::string>(6, "version 2|version 1"));
}
