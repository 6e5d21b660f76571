// The sync engine when the drive misbehaves under it: the drive folder pulled
// or replaced mid-run, a source that goes between scan and copy, the
// temporaries a killed run left.

#include <gtest/gtest.h>

#include "FaultTestSupport.h"
#include "copy/TemporaryName.h"
#include "strings/KXStrings.h"
#include "sync/SyncRunner.h"
#include "sync/SyncScanner.h"

using namespace faults;

namespace {

class Recorder : public halvex::SyncCallback {
public:
    std::function<void(std::size_t)> onSynced;
    std::function<void(std::uint64_t, std::uint64_t)> onProgress;
    std::vector<std::string> messages;

    void OnRowSynced(std::size_t row, const halvex::ScanCounters&) override
    {
        if (onSynced)
            onSynced(row);
    }
    void OnFileProgress(std::uint64_t done, std::uint64_t total) override
    {
        if (onProgress)
            onProgress(done, total);
    }
    void ShowMessage(const std::string& text, halvex::MessageIcon) override { messages.push_back(text); }
};

class SyncFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(KXStrings::LoadStringTable(fs::path(HALVEX_TEST_DATA) / "sync" / "Localizable.strings"));
        fs::create_directories(computer);
        fs::create_directories(drive);
    }

    void Scan()
    {
        halvex::SyncControl control;
        halvex::SyncScanOptions scanOptions;
        scanOptions.recursion = halvex::Recursion::Into;
        halvex::SyncScanner scanner(callback, control, scanOptions);
        ASSERT_TRUE(scanner.Scan(computer, drive, rows));
        counters = scanner.Counters();
    }

    halvex::SyncRunSummary Run()
    {
        halvex::SyncControl control;
        halvex::SyncRunOptions options;
        options.computerFolder = computer;
        options.driveFolder = drive;
        halvex::SyncRunner runner(callback, control, options);
        return runner.Run(rows, counters);
    }

    int Synced() const
    {
        return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const ItemData& r) { return r.synced; }));
    }

    TempFolder tmp;
    fs::path computer = tmp / "computer";
    fs::path drive = tmp / "drive" / "Sync Folder";
    fs::path pulled = tmp / "drive" / "pulled";
    Recorder callback;
    std::vector<ItemData> rows;
    halvex::ScanCounters counters;
};

}  // namespace

// The drive folder goes after the first file in each direction of travel:
// the run stops at once and nothing appears where the folder was.
TEST_F(SyncFaultTest, DriveFolderPulledMidRunStopsWithoutRecreatingIt)
{
    for (const bool toDrive : {true, false}) {
        SCOPED_TRACE(toDrive ? "to the drive" : "to the computer");
        fs::remove_all(tmp / "drive");
        fs::remove_all(computer);
        for (int i = 0; i < 5; ++i) {
            const std::string name = "sub/f" + std::to_string(i) + ".txt";
            WriteFile((toDrive ? computer : drive) / name, "new " + std::to_string(i), 1'700'000'000);
            WriteFile((toDrive ? drive : computer) / name, "earlier " + std::to_string(i), 1'600'000'000);
        }
        Scan();
        ASSERT_EQ(rows.size(), 5u);
        callback.onSynced = [&](std::size_t) {
            if (!fs::exists(pulled))
                fs::rename(drive, pulled);
        };

        const halvex::SyncRunSummary result = Run();
        EXPECT_EQ(result.ended.messageKey, halvex::kSyncFolderGoneKey);
        EXPECT_EQ(result.successes, 1u);
        EXPECT_EQ(result.failures, 0u);
        EXPECT_EQ(Synced(), 1);
        EXPECT_FALSE(fs::exists(drive)) << "a pulled drive's folder is not made again";
        // The side that stayed keeps every file it had, the new or the earlier copy.
        int newer = 0;
        for (int i = 0; i < 5; ++i) {
            const fs::path kept = (toDrive ? computer : pulled) / ("sub/f" + std::to_string(i) + ".txt");
            const fs::path other = (toDrive ? pulled : computer) / ("sub/f" + std::to_string(i) + ".txt");
            EXPECT_EQ(ReadFile(kept), "new " + std::to_string(i));
            newer += ReadFile(other) == "new " + std::to_string(i);
        }
        EXPECT_EQ(newer, 1);
        EXPECT_TRUE(CopyLeftovers(tmp.path()).empty());
        callback.onSynced = nullptr;
        rows.clear();
        fs::remove_all(pulled);
    }
}

// A pulled drive leaves its empty mount point: the same path, another folder.
TEST_F(SyncFaultTest, EmptyMountPointInPlaceOfTheDriveFolderGetsNothing)
{
    for (int i = 0; i < 3; ++i)
        WriteFile(computer / ("f" + std::to_string(i)), "data");
    Scan();
    callback.onSynced = [&](std::size_t) {
        if (!fs::exists(pulled)) {
            fs::rename(drive, pulled);
            fs::create_directory(drive);
        }
    };
    const halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.ended.messageKey, halvex::kSyncFolderGoneKey);
    EXPECT_EQ(result.successes, 1u);
    EXPECT_TRUE(fs::is_empty(drive));
}

// The drive goes while a large file is being copied onto it: the earlier
// copy there stays whole, the run stops, and once the drive is back the
// next run removes the half copy and completes.
TEST_F(SyncFaultTest, DrivePulledDuringACopyKeepsTheEarlierVersion)
{
    const std::string fresh = NumberedLines(8 << 20, "new");
    WriteFile(computer / "big.bin", fresh, 1'700'000'000);
    WriteFile(computer / "after.txt", "after", 1'700'000'000);
    WriteFile(drive / "big.bin", "earlier version", 1'600'000'000);
    Scan();
    ASSERT_EQ(rows.size(), 2u);
    std::stable_partition(rows.begin(), rows.end(), [](const ItemData& r) { return r.name == "big.bin"; });
    callback.onProgress = [&](std::uint64_t done, std::uint64_t) {
        if (done > (1 << 20) && !fs::exists(pulled))
            fs::rename(drive, pulled);
    };

    halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.ended.messageKey, halvex::kSyncFolderGoneKey);
    EXPECT_EQ(result.successes, 0u);
    EXPECT_EQ(result.failures, 1u);
    EXPECT_FALSE(fs::exists(drive));
    EXPECT_EQ(ReadFile(pulled / "big.bin"), "earlier version");
    EXPECT_FALSE(fs::exists(pulled / "after.txt"));
    EXPECT_EQ(ReadFile(computer / "big.bin"), fresh);

    // The drive comes back: the rows are done again, and the half copy goes.
    callback.onProgress = nullptr;
    fs::rename(pulled, drive);
    result = Run();
    EXPECT_NE(result.ended.messageKey, halvex::kSyncFolderGoneKey);
    EXPECT_EQ(result.successes, 2u);
    EXPECT_EQ(result.failures, 0u);
    EXPECT_EQ(ReadFile(drive / "big.bin"), fresh);
    EXPECT_EQ(ReadFile(drive / "after.txt"), "after");
    EXPECT_TRUE(CopyLeftovers(tmp.path()).empty());
}

TEST_F(SyncFaultTest, SourceGoneBetweenScanAndCopyLeavesTheOtherSideAlone)
{
    WriteFile(computer / "gone.txt", "newer", 1'700'000'000);
    WriteFile(drive / "gone.txt", "earlier version", 1'600'000'000);
    WriteFile(drive / "photo.jpg", "from the drive", 1'700'000'000);
    WriteFile(computer / "stays.txt", "stays", 1'700'000'000);
    Scan();
    ASSERT_EQ(rows.size(), 3u);
    fs::remove(computer / "gone.txt");

    const halvex::SyncRunSummary result = Run();
    EXPECT_NE(result.ended.messageKey, halvex::kSyncFolderGoneKey);
    EXPECT_EQ(result.successes, 2u);
    EXPECT_EQ(result.failures, 1u);
    EXPECT_EQ(ReadFile(drive / "gone.txt"), "earlier version");
    EXPECT_FALSE(fs::exists(computer / "gone.txt")) << "nothing is brought back the other way";
    EXPECT_EQ(ReadFile(drive / "stays.txt"), "stays");
    EXPECT_EQ(ReadFile(computer / "photo.jpg"), "from the drive");
}

TEST_F(SyncFaultTest, TemporariesOfAKilledRunGoWithTheNextCopyIntoTheirFolder)
{
    WriteFile(computer / "a" / "report.txt", "report", 1'700'000'000);
    const fs::path leftover = drive / "a" / halvex::TemporaryNameFor("report.txt");
    WriteFile(leftover, "half a copy");
    // A folder the run copies nothing into is not walked for leftovers.
    const fs::path elsewhere = drive / "b" / halvex::TemporaryNameFor("other.txt");
    WriteFile(elsewhere, "half a copy");
    WriteFile(computer / "b" / "other.txt", "other", 1'500'000'000);
    WriteFile(drive / "b" / "other.txt", "other", 1'500'000'000);
    Scan();
    ASSERT_EQ(rows.size(), 1u);
    const halvex::SyncRunSummary result = Run();
    EXPECT_EQ(result.successes, 1u);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_TRUE(fs::exists(elsewhere));
    EXPECT_EQ(ReadFile(drive / "a" / "report.txt"), "report");
}
