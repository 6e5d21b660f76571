// The sync between a computer folder (the test's temporary folder) and a
// drive folder on each file system a drive carries: the temporary folder
// itself (ext4 or tmpfs), exFAT and FAT32 through their FUSE drivers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <memory>
#include <set>

#include "FatVolume.h"
#include "SyncTestSupport.h"
#include "sync/SyncRunner.h"
#include "sync/SyncScanner.h"

using namespace synctest;
using halvex::test::FatKind;
using halvex::test::FatVolume;

namespace {

enum class DriveKind { Temporary, ExFat, Fat32 };

const char* DriveKindName(DriveKind kind)
{
    return kind == DriveKind::Temporary ? "Temporary" : kind == DriveKind::ExFat ? "exFAT" : "FAT32";
}

// Times in whole steps of two seconds, which every file system keeps exactly.
constexpr std::int64_t kJanuary = 1'704'103'200;
constexpr std::int64_t kJune = 1'717'236'000;

class Recorder : public RecordingCallback {
public:
    std::vector<std::pair<std::string, std::string>> failed;  // item, reason
    std::function<void(std::size_t)> onSynced;
    void OnRowSynced(std::size_t row, const halvex::ScanCounters&) override
    {
        if (onSynced)
            onSynced(row);
    }
    void OnRowFailed(std::size_t, const fs::path& item, const std::string& reason) override
    {
        failed.emplace_back(item.string(), reason);
    }
};

class SyncOnFileSystems : public ::testing::TestWithParam<DriveKind> {
protected:
    void SetUp() override
    {
        LoadSyncStrings();
        fs::create_directories(computer);
        if (GetParam() == DriveKind::Temporary) {
            drive = tmp / "drive";
        } else {
            volume = std::make_unique<FatVolume>(GetParam() == DriveKind::ExFat ? FatKind::ExFat : FatKind::Fat32);
            HALVEX_REQUIRE_FAT(*volume);
            drive = volume->path() / "Sync Folder";
        }
        fs::create_directories(drive);
    }

    bool DriveFolds() const { return GetParam() != DriveKind::Temporary; }

    // "to-drive a/b", "to-computer a/b" or "problem a/b" per row.
    std::set<std::string> Scan(const fs::path& computerSide, const fs::path& driveSide)
    {
        halvex::SyncScanOptions scanOptions;
        scanOptions.recursion = halvex::Recursion::Into;
        halvex::SyncScanner scanner(callback, control, scanOptions);
        EXPECT_TRUE(scanner.Scan(computerSide, driveSide, rows));
        counters = scanner.Counters();
        std::set<std::string> listed;
        for (const ItemData& r : rows) {
            const char* kind = !r.problem.empty() ? "problem " : r.sourceUsb ? "to-computer " : "to-drive ";
            listed.insert(kind + r.path.lexically_relative(r.sourceUsb ? driveSide : computerSide).string());
        }
        return listed;
    }
    std::set<std::string> Scan() { return Scan(computer, drive); }

    halvex::SyncRunSummary Run(const fs::path& computerSide, const fs::path& driveSide)
    {
        halvex::SyncRunOptions options;
        options.computerFolder = computerSide;
        options.driveFolder = driveSide;
        options.log = true;
        options.logPath = tmp / "sync.log";
        halvex::SyncRunner runner(callback, control, options);
        return runner.Run(rows, counters);
    }
    halvex::SyncRunSummary Run() { return Run(computer, drive); }

    // Every file below the folder with its content, by relative path.
    static std::map<std::string, std::string> Tree(const fs::path& folder)
    {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file())
                files[e.path().lexically_relative(folder).string()] = ReadFile(e.path());
        return files;
    }

    TempFolder tmp;
    fs::path computer = tmp / "computer";
    fs::path drive;
    std::unique_ptr<FatVolume> volume;
    Recorder callback;
    halvex::SyncControl control;
    std::vector<ItemData> rows;
    halvex::ScanCounters counters;
};

// The cases that only a folding drive, or only one with links, can show.
class SyncOnFoldingDrives : public SyncOnFileSystems {};
class SyncOnLinkingDrives : public SyncOnFileSystems {};

}  // namespace

TEST_P(SyncOnFileSystems, TreeGoesRoundAndComesBackInSync)
{
    WriteFile(computer / "top.txt", "top", kJanuary);
    WriteFile(computer / "Letters" / "2024" / "june.odt", std::string(300'000, 'j'), kJune);
    WriteFile(computer / "Letters" / "empty.txt", "", kJanuary);
    WriteFile(drive / "Letters" / "from-drive.txt", "drive", kJune);
    WriteFile(drive / "Photos" / "a.jpg", std::string(70'000, 'p'), kJanuary);

    Scan();
    const halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.failures, 0u);
    EXPECT_EQ(result.successes, 5u);
    EXPECT_EQ(Tree(computer), Tree(drive));
    EXPECT_EQ(Tree(computer).size(), 5u);
    const auto again = Scan();
    EXPECT_TRUE(again.empty()) << "times came through: nothing to do the second time; " << *again.begin();
}

// The scenario that lost the June text: one file of two names.
TEST_P(SyncOnFileSystems, NamesThatDifferInCaseKeepTheNewerText)
{
    WriteFile(computer / "Report.txt", "January text", kJanuary);
    WriteFile(drive / "report.txt", "June text", kJune);

    const auto listed = Scan();
    if (DriveFolds())
        EXPECT_EQ(listed, (std::set<std::string>{"to-computer report.txt"}));
    else
        EXPECT_EQ(listed, (std::set<std::string>{"to-computer report.txt", "to-drive Report.txt"}));
    const halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.failures, 0u);
    EXPECT_EQ(ReadFile(drive / "report.txt"), "June text");
    EXPECT_EQ(ReadFile(computer / (DriveFolds() ? "Report.txt" : "report.txt")), "June text");
    if (DriveFolds()) {
        // Written under the name the computer already had.
        EXPECT_EQ(Tree(computer), (std::map<std::string, std::string>{{"Report.txt", "June text"}}));
    }
}

// Two names of the computer that the drive holds as one: neither goes, in
// either direction, and the run fails naming both.
TEST_P(SyncOnFileSystems, TwoNamesTheDriveHoldsAsOneClash)
{
    WriteFile(computer / "Report.txt", "January text", kJanuary);
    WriteFile(computer / "report.txt", "June text", kJune);
    WriteFile(drive / "REPORT.TXT", "drive text", kJanuary - 100);
    WriteFile(computer / "other.txt", "other", kJanuary);

    const auto listed = Scan();
    if (!DriveFolds()) {
        EXPECT_EQ(listed.size(), 4u);
        return;
    }
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_TRUE(listed.count("to-drive other.txt"));
    EXPECT_EQ(rows.size(), 2u);
    const halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.failures, 1u);
    EXPECT_EQ(result.successes, 1u);
    EXPECT_EQ(ReadFile(drive / "REPORT.TXT"), "drive text");
    EXPECT_EQ(ReadFile(computer / "Report.txt"), "January text");
    EXPECT_EQ(ReadFile(computer / "report.txt"), "June text");
    ASSERT_EQ(callback.failed.size(), 1u);
    const std::string& reason = callback.failed[0].second;
    EXPECT_TRUE(reason.find("Report.txt and report.txt") != std::string::npos ||
                reason.find("report.txt and Report.txt") != std::string::npos)
        << reason;
    EXPECT_NE(ReadFile(tmp / "sync.log").find("Not synchronized:\t" + callback.failed[0].first + "\t" + reason),
              std::string::npos);
}

// The other way round: the drive (here the temporary folder) holds two
// names, and the computer folder lies on the folding volume.
TEST_P(SyncOnFoldingDrives, TwoNamesTheComputerHoldsAsOneClash)
{
    const fs::path folding = drive;
    const fs::path plain = tmp / "plain";
    WriteFile(plain / "Notes" / "a.txt", "one", kJune);
    WriteFile(plain / "notes" / "b.txt", "two", kJune);
    WriteFile(plain / "single.txt", "single", kJune);

    const auto listed = Scan(folding, plain);
    EXPECT_EQ(listed.size(), 2u);
    EXPECT_TRUE(listed.count("problem Notes") || listed.count("problem notes"));
    EXPECT_TRUE(listed.count("to-computer single.txt"));
    const halvex::SyncRunSummary result = Run(folding, plain);
    EXPECT_EQ(result.failures, 1u);
    EXPECT_EQ(Tree(folding), (std::map<std::string, std::string>{{"single.txt", "single"}}));
}

TEST_P(SyncOnFileSystems, NamesFatCannotHoldFailAlone)
{
    WriteFile(computer / "what?.txt", "q", kJanuary);
    WriteFile(computer / "trailing.", "t", kJanuary);
    WriteFile(computer / "a|b" / "inside.txt", "i", kJanuary);
    WriteFile(computer / "fine.txt", "f", kJanuary);

    const auto listed = Scan();
    if (!DriveFolds()) {
        EXPECT_EQ(listed.size(), 4u);
        return;
    }
    EXPECT_EQ(listed,
              (std::set<std::string>{"problem what?.txt", "problem trailing.", "problem a|b", "to-drive fine.txt"}));
    const halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.successes, 1u);
    EXPECT_EQ(result.failures, 3u);
    std::set<std::string> reasons;
    for (const auto& [item, reason] : callback.failed)
        reasons.insert(reason);
    EXPECT_TRUE(reasons.count(KXStrings::GetString("fat_name_chars")));
    EXPECT_TRUE(reasons.count(KXStrings::GetString("fat_name_trailing")));
    EXPECT_EQ(Tree(drive), (std::map<std::string, std::string>{{"fine.txt", "f"}}));
}

// A newer drive copy replaces the computer's file and keeps its mode; a new
// file gets the usual default, never the drive's made-up permission bits.
TEST_P(SyncOnFileSystems, ReplacedFileKeepsItsModeNewFileGetsTheDefault)
{
    WriteFile(computer / "private.txt", "old", kJanuary);
    WriteFile(computer / "tool.sh", "old", kJanuary);
    fs::permissions(computer / "private.txt", fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(computer / "tool.sh", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    WriteFile(drive / "private.txt", "new", kJune);
    WriteFile(drive / "tool.sh", "new", kJune);
    WriteFile(drive / "fresh.txt", "new", kJune);

    Scan();
    EXPECT_EQ(Run().successes, 3u);
    const auto mode = [](const fs::path& file) {
        struct stat st {};
        EXPECT_EQ(::stat(file.c_str(), &st), 0);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(ReadFile(computer / "private.txt"), "new");
    EXPECT_EQ(mode(computer / "private.txt"), 0600u);
    EXPECT_EQ(mode(computer / "tool.sh"), 0750u);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(mode(computer / "fresh.txt"), 0666u & ~mask);
}

TEST_P(SyncOnFileSystems, NothingIsWrittenThroughAComputerLink)
{
    const fs::path elsewhere = tmp / "elsewhere";
    WriteFile(elsewhere / "mine.txt", "mine", kJanuary);
    fs::create_directory_symlink(elsewhere, computer / "docs");
    fs::create_symlink(elsewhere / "mine.txt", computer / "note.txt");
    WriteFile(drive / "docs" / "victim.txt", "from the drive", kJune);
    WriteFile(drive / "note.txt", "from the drive", kJune);

    EXPECT_EQ(Scan(), (std::set<std::string>{"problem docs", "problem note.txt"}));
    const halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.failures, 2u);
    EXPECT_EQ(Tree(elsewhere), (std::map<std::string, std::string>{{"mine.txt", "mine"}}));
    EXPECT_TRUE(fs::is_symlink(computer / "note.txt"));
}

// Drive-side links exist only where the drive's file system has them (not FAT).
TEST_P(SyncOnLinkingDrives, NothingIsWrittenThroughADriveLink)
{
    const fs::path elsewhere = tmp / "elsewhere";
    WriteFile(elsewhere / "mine.txt", "mine", kJanuary);
    fs::create_directory_symlink(elsewhere, drive / "docs");
    WriteFile(computer / "docs" / "victim.txt", "from the computer", kJune);
    WriteFile(computer / "docs" / "mine.txt", "from the computer", kJune);

    EXPECT_EQ(Scan(), (std::set<std::string>{"problem docs"}));
    EXPECT_EQ(Run().failures, 1u);
    EXPECT_EQ(Tree(elsewhere), (std::map<std::string, std::string>{{"mine.txt", "mine"}}));

    // A link that appears after the scan, in place of a folder the run is to create.
    fs::remove(drive / "docs");
    Scan();
    fs::create_directory_symlink(elsewhere, drive / "docs");
    EXPECT_EQ(Run().failures, 2u);
    EXPECT_EQ(Tree(elsewhere), (std::map<std::string, std::string>{{"mine.txt", "mine"}}));
}

// A file saved on the other side between the scan and the copy is not
// overwritten: the run reports it, and the next scan decides again.
TEST_P(SyncOnFileSystems, DestinationChangedSinceTheScanIsLeftAlone)
{
    WriteFile(computer / "notes.txt", "computer", kJune);
    WriteFile(drive / "notes.txt", "drive", kJanuary);
    WriteFile(computer / "new.txt", "computer", kJune);
    Scan();
    WriteFile(drive / "notes.txt", "saved meanwhile", kJune + 100);
    WriteFile(drive / "new.txt", "made meanwhile", kJune + 100);

    const halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.failures, 2u);
    EXPECT_EQ(ReadFile(drive / "notes.txt"), "saved meanwhile");
    EXPECT_EQ(ReadFile(drive / "new.txt"), "made meanwhile");
    ASSERT_EQ(callback.failed.size(), 2u);
    EXPECT_EQ(callback.failed[0].second, KXStrings::GetString("sync_changed_during"));
}

// The drive pulled in the middle of a large copy: the run stops with the
// drive gone, every name on the drive holds its whole file (never a part,
// never an empty file with the source's time), and the next run completes.
TEST_P(SyncOnFoldingDrives, DrivePulledMidCopyLeavesNoPartialFileAndTheNextRunRepairs)
{
    for (const char* name : {"a.txt", "b.txt"})
        WriteFile(computer / name, std::string("small ") + name, kJanuary);
    WriteFile(computer / "big.bin", std::string(6 << 20, 'b'), kJune);
    WriteFile(computer / "z.txt", "after", kJune);
    WriteFile(drive / "big.bin", "earlier version", kJanuary);
    Scan();
    ASSERT_EQ(rows.size(), 4u);
    std::stable_partition(rows.begin(), rows.end(), [](const ItemData& r) { return r.name.size() == 5; });
    std::stable_partition(rows.begin(), rows.end(), [](const ItemData& r) { return r.name != "z.txt"; });
    callback.onFileProgress = [&](std::uint64_t done, std::uint64_t total) {
        if (total > (1 << 20) && done > (1 << 20))
            volume->Pull();
    };

    halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.ended.messageKey, halvex::kSyncFolderGoneKey);
    EXPECT_EQ(result.successes, 2u);
    ASSERT_TRUE(volume->Remount());
    for (const auto& [name, content] : Tree(drive)) {
        if (name == "big.bin") {
            EXPECT_TRUE(content == "earlier version" || content == ReadFile(computer / name)) << content.size();
        } else if (name.rfind(".halvex-part-", 0) != 0) {
            EXPECT_EQ(content, ReadFile(computer / name)) << name;
        }
    }

    callback.onFileProgress = nullptr;
    Scan();
    result = Run();
    EXPECT_EQ(result.failures, 0u);
    EXPECT_EQ(Tree(drive), Tree(computer)) << "the half copy is gone, the rest is there";
}

// Pulled after the last copy, before the run's final flush of the drive:
// the run does not report success.
TEST_P(SyncOnFoldingDrives, DrivePulledBeforeTheFinalFlushFailsTheRun)
{
    WriteFile(computer / "only.txt", "data", kJune);
    Scan();
    ASSERT_EQ(rows.size(), 1u);
    callback.onSynced = [&](std::size_t) { volume->Pull(); };
    const halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.successes, 1u);
    // exfat-fuse fails the flush; fusefat answers it, and the drive is found gone.
    EXPECT_TRUE(result.FlushFailed() || result.ended.messageKey == halvex::kSyncFolderGoneKey);
    if (result.FlushFailed()) {
        EXPECT_NE(halvex::SyncResultText(result).find(KXStrings::GetString("sync_flush_failed")), std::string::npos);
    }
}

// A FAT drive's local times read in another time zone: equal copies an
// hour, half an hour or thirteen hours apart are no change; unequal ones
// are listed, the newer side winning as always.
TEST_P(SyncOnFileSystems, CopiesApartOnlyByATimeZoneShiftAreCountedNotListed)
{
    const struct {
        const char* name;
        std::int64_t shift;  // the drive's copy is this much later
        bool equal;
        const char* listed;  // "" for none
    } cases[] = {
        {"hour-equal.txt", 3600, true, ""},
        {"hour-edited.txt", 3600, false, "to-computer hour-edited.txt"},
        {"half-equal.txt", -1800, true, ""},
        {"half-edited.txt", -1800, false, "to-drive half-edited.txt"},
        {"thirteen-equal.txt", 13L * 3600, true, ""},
        {"thirteen-edited.txt", 13L * 3600, false, "to-computer thirteen-edited.txt"},
        {"minutes-equal.txt", 7L * 60, true, "to-computer minutes-equal.txt"},
    };
    std::set<std::string> expected;
    for (const auto& c : cases) {
        WriteFile(computer / c.name, "the same text", kJanuary);
        WriteFile(drive / c.name, c.equal ? "the same text" : "the same TEXT", kJanuary + c.shift);
        if (*c.listed)
            expected.insert(c.listed);
    }
    EXPECT_EQ(Scan(), expected);
    EXPECT_EQ(counters.timeShifted, 3u);
}

INSTANTIATE_TEST_SUITE_P(Drives, SyncOnFileSystems,
                         ::testing::Values(DriveKind::Temporary, DriveKind::ExFat, DriveKind::Fat32),
                         [](const auto& info) { return std::string(DriveKindName(info.param)); });
INSTANTIATE_TEST_SUITE_P(Drives, SyncOnFoldingDrives, ::testing::Values(DriveKind::ExFat, DriveKind::Fat32),
                         [](const auto& info) { return std::string(DriveKindName(info.param)); });
INSTANTIATE_TEST_SUITE_P(Drives, SyncOnLinkingDrives, ::testing::Values(DriveKind::Temporary),
                         [](const auto& info) { return std::string(DriveKindName(info.param)); });
