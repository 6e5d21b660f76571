#include "sync/SyncRunner.h"
#include "util/FreedesktopTrash.h"

#include <sys/mount.h>
#include <sys/wait.h>
#include <sched.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>

#include "sync/SyncScanner.h"
#include "sync/SyncSort.h"
#include "SyncTestSupport.h"

using namespace synctest;

namespace {

class SyncRunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSyncStrings();
        fs::create_directories(computer);
        fs::create_directories(drive);
        options.logPath = tmp / "HalvexFileSync.log";
        halvex::FreedesktopTrashOptions trash;
        trash.homeTrash = tmp / "Trash";
        options.trash = std::make_shared<halvex::FreedesktopTrash>(trash);
    }

    void ScanAll()
    {
        halvex::SyncScanOptions scanOptions;
        scanOptions.recursion = halvex::Recursion::Into;
        halvex::SyncScanner scanner(callback, control, scanOptions);
        ASSERT_TRUE(scanner.Scan(computer, drive, rows));
        counters = scanner.Counters();
    }

    halvex::SyncRunSummary Run()
    {
        halvex::SyncRunner runner(callback, control, options);
        return runner.Run(rows, counters);
    }

    std::vector<std::string> LogLines()
    {
        std::vector<std::string> lines;
        std::istringstream in(ReadFile(options.logPath));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    static std::vector<std::string> Leftovers(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.path().filename().string().rfind(".halvex-part-", 0) == 0)
                names.push_back(e.path().string());
        return names;
    }

    TempFolder tmp;
    fs::path computer = tmp / "computer";
    fs::path drive = tmp / "drive";
    RecordingCallback callback;
    halvex::SyncControl control;
    halvex::SyncRunOptions options;
    std::vector<ItemData> rows;
    halvex::ScanCounters counters;
};

}  // namespace

TEST_F(SyncRunnerTest, CopiesBothWaysWithTimesAndEmptiesTheList)
{
    WriteFile(computer / "a" / "b" / "deep.txt", "from the computer", 1'500'000'000);
    WriteFile(drive / "top.txt", "from the drive", 1'400'000'000);
    WriteFile(computer / "old.txt", "older", 1000);
    WriteFile(drive / "old.txt", "newer", 2000);
    ScanAll();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(counters.toDrive, 1u);
    EXPECT_EQ(counters.toComputer, 2u);

    const auto result = Run();
    EXPECT_EQ(result.successes, 3u);
    EXPECT_EQ(result.failures, 0u);
    EXPECT_EQ(ReadFile(drive / "a" / "b" / "deep.txt"), "from the computer") << "parents created";
    EXPECT_EQ(ReadFile(computer / "top.txt"), "from the drive");
    EXPECT_EQ(ReadFile(computer / "old.txt"), "newer");
    EXPECT_EQ(fs::last_write_time(drive / "a" / "b" / "deep.txt"),
              fs::last_write_time(computer / "a" / "b" / "deep.txt"));
    EXPECT_EQ(counters.toDrive, 0u);
    EXPECT_EQ(counters.toComputer, 0u);
    EXPECT_EQ(callback.statuses[1], "Copying deep.txt");
    EXPECT_EQ(callback.countTexts.back(), "File 3 of 3");

    EXPECT_EQ(halvex::RemoveSyncedRows(rows), 3u);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(halvex::SyncResultText(result),
              "3 file(s) synchronized successfully.\n\n1 replaced files went to the Trash.");
    EXPECT_EQ(ReadFile(tmp / "Trash" / "files" / "old.txt"), "older");
    ScanAll();
    EXPECT_TRUE(rows.empty()) << "a second scan finds nothing to do";
    EXPECT_FALSE(fs::exists(options.logPath)) << "no log unless asked";
}

TEST_F(SyncRunnerTest, UncheckedRowsStayAndFailedRowsStayChecked)
{
    WriteFile(computer / "keep.txt", "x");
    WriteFile(computer / "gone.txt", "x");
    WriteFile(computer / "blocked", "a file where the drive has a folder", 1);
    WriteFile(drive / "blocked" / "inside", "x");
    WriteFile(computer / "skip.txt", "x");
    ScanAll();
    // A file facing a folder is a problem row: reported, never copied.
    ASSERT_EQ(rows.size(), 4u);
    for (ItemData& r : rows)
        if (r.name == "skip.txt")
            r.check = false;
    fs::remove(computer / "gone.txt");
    options.log = true;

    const auto result = Run();
    EXPECT_EQ(result.successes, 1u);
    EXPECT_EQ(result.failures, 2u);
    EXPECT_FALSE(fs::exists(drive / "skip.txt"));
    halvex::RemoveSyncedRows(rows);
    ASSERT_EQ(rows.size(), 3u);
    for (const ItemData& r : rows)
        EXPECT_EQ(r.check, r.name != "skip.txt") << r.name;
    EXPECT_EQ(halvex::SyncResultText(result),
              "1 file(s) synchronized successfully.\n\n2 file(s) could not be synchronized.");

    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("Sync started on ", 0), 0u);
    std::set<std::string> failed(lines.begin() + 1, lines.begin() + 3);
    EXPECT_TRUE(failed.count("Copy failed:\t" + (computer / "gone.txt").string())) << "tab, then the source";
    EXPECT_TRUE(failed.count("Not synchronized:\t" + (computer / "blocked").string() +
                             "\tThis is a file on one side and a folder or another kind of item on the other. It "
                             "was not synchronized."));
    EXPECT_EQ(lines[3], "Sync finished: 1 copied, 2 failed");
}

TEST_F(SyncRunnerTest, TwoRunsAppendToOneLog)
{
    options.log = true;
    WriteFile(computer / "a", "x");
    ScanAll();
    Run();
    WriteFile(computer / "b", "x");
    ScanAll();
    Run();
    ScanAll();
    EXPECT_EQ(halvex::CountChecked(rows), 0u);
    Run();  // nothing checked: no lines at all
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "Sync finished: 1 copied, 0 failed");
    EXPECT_EQ(lines[3], "Sync finished: 1 copied, 0 failed");
    EXPECT_EQ(halvex::SyncResultText({}), "There are no files to synchronize.");
}

TEST_F(SyncRunnerTest, CancelledCopyLeavesTheOldDestinationIntact)
{
    WriteFile(computer / "big.bin", std::string(8 << 20, 'n'), 5000);
    WriteFile(drive / "big.bin", "old contents", 1000);
    WriteFile(computer / "next.txt", "x", 5000);
    ScanAll();
    ASSERT_EQ(rows.size(), 2u);
    halvex::SortRows(rows, halvex::SyncColumn::Name, halvex::SortOrder::Ascending);
    options.log = true;
    callback.onFileProgress = [&](std::uint64_t, std::uint64_t) { control.cancel() = true; };

    const auto result = Run();
    EXPECT_TRUE(result.ended.cancelled());
    EXPECT_EQ(result.successes, 0u);
    EXPECT_EQ(result.failures, 0u) << "an interrupted copy is not a failure";
    EXPECT_EQ(ReadFile(drive / "big.bin"), "old contents");
    EXPECT_FALSE(fs::exists(drive / "next.txt")) << "nothing after the file in hand";
    EXPECT_TRUE(Leftovers(drive).empty());
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Cancelled:\t" + (computer / "big.bin").string());
    EXPECT_EQ(lines[2], "Sync finished: 0 copied, 0 failed");
}

TEST_F(SyncRunnerTest, CancelBetweenFilesFinishesTheFileInHand)
{
    for (const char* n : {"1", "2", "3"})
        WriteFile(computer / n, "x");
    ScanAll();
    struct CancelAfterFirst : RecordingCallback {
        halvex::SyncControl* control = nullptr;
        void OnRowSynced(std::size_t, const halvex::ScanCounters&) override { control->cancel() = true; }
    } cancelling;
    cancelling.control = &control;
    halvex::SyncRunner runner(cancelling, control, options);
    const auto result = runner.Run(rows, counters);
    EXPECT_TRUE(result.ended.cancelled());
    EXPECT_EQ(result.successes, 1u);
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const ItemData& r) { return r.synced; }), 1);
}

// A disk that fills at the third of ten files: two successes, one failure,
// seven rows untouched, the old copy of the third file intact. Needs a small
// file system of its own: a tmpfs mounted in a private mount namespace.
TEST_F(SyncRunnerTest, FullDiskStopsTheRunAndKeepsTheOldCopy)
{
    if (!RunningAsRoot())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const fs::path small = tmp / "small";
    fs::create_directories(small);
    for (int i = 0; i < 10; ++i)
        WriteFile(computer / ("f" + std::to_string(i)), std::string(400 << 10, 'a' + i), 5000);

    const auto report = InChild(
        [&] {
            return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") == 0;
        },
        [&] {
            std::ofstream(small / "f2") << "old copy";
            for (int i = 0; i < 10; ++i) {
                ItemData r;
                r.name = "f" + std::to_string(i);
                r.path = computer / r.name;
                r.dstPath = small / r.name;
                rows.push_back(r);
            }
            counters.toDrive = 10;
            options.log = true;
            const auto result = Run();
            int synced = 0;
            for (const ItemData& r : rows)
                synced += r.synced;
            std::ostringstream out;
            const bool diskFull =
                result.ended.messageKey == halvex::kSyncDiskFullKey && halvex::IsDiskFull(result.ended.systemError);
            out << result.successes << ' ' << result.failures << ' ' << diskFull << ' ' << synced << ' '
                << counters.toDrive << '\n'
                << ReadFile(small / "f2") << '\n'
                << Leftovers(small).size() << '\n'
                << (callback.messages.empty() ? "" : callback.messages[0].first) << '\n';
            return out.str();
        });
    if (!report)
        GTEST_SKIP() << "no private mount namespace with a tmpfs here";

    std::istringstream in(*report);
    std::string counts, old, leftovers, message;
    std::getline(in, counts);
    std::getline(in, old);
    std::getline(in, leftovers);
    std::getline(in, message);
    EXPECT_EQ(counts, "2 1 1 2 8");
    EXPECT_EQ(old, "old copy");
    EXPECT_EQ(leftovers, "0");
    EXPECT_EQ(message, "There is not enough free space on " + small.string() + ". The sync has been stopped.");
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Disk full:\t" + (computer / "f2").string());
    EXPECT_EQ(lines[2], "Sync finished: 2 copied, 1 failed");
}

// Small files to the drive share one flush: when a batch is flushed, its own
// files are still under their temporary names and the earlier batches' are in
// place; the last, partial batch is flushed at the end.
TEST_F(SyncRunnerTest, SmallFilesTakeTheirNamesOnlyAfterTheirBatchIsFlushed)
{
    for (int i = 0; i < 7; ++i)
        WriteFile(computer / ("f" + std::to_string(i)), "data " + std::to_string(i), 1'500'000'000);
    ScanAll();
    std::sort(rows.begin(), rows.end(), [](const ItemData& a, const ItemData& b) { return a.name < b.name; });
    options.computerFolder = computer;
    options.driveFolder = drive;
    options.batch.files = 3;
    std::vector<std::pair<std::size_t, std::size_t>> seen;  // names in place, temporaries
    options.batchFlush = [&](int) {
        std::size_t named = 0;
        for (const auto& e : fs::directory_iterator(drive))
            named += e.path().filename().string().rfind(".halvex-part-", 0) != 0;
        seen.emplace_back(named, Leftovers(drive).size());
        return 0;
    };
    const auto result = Run();
    EXPECT_TRUE(result.ended.ok) << result.ended.messageKey;
    EXPECT_EQ(result.successes, 7u);
    const std::vector<std::pair<std::size_t, std::size_t>> expected{{0, 3}, {3, 3}, {6, 1}};
    EXPECT_EQ(seen, expected);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(ReadFile(drive / ("f" + std::to_string(i))), "data " + std::to_string(i));
    EXPECT_TRUE(Leftovers(drive).empty());
}

// A batch whose flush fails: its files fail and keep their earlier copies,
// the batches before stay done, and the run ends without claiming success.
TEST_F(SyncRunnerTest, AFailedBatchFlushFailsItsFilesAndKeepsTheEarlierCopies)
{
    for (int i = 0; i < 5; ++i) {
        const std::string name = "f" + std::to_string(i);
        WriteFile(computer / name, "new " + name, 1'700'000'000);
        WriteFile(drive / name, "earlier " + name, 1'600'000'000);
    }
    ScanAll();
    std::sort(rows.begin(), rows.end(), [](const ItemData& a, const ItemData& b) { return a.name < b.name; });
    options.computerFolder = computer;
    options.driveFolder = drive;
    options.batch.files = 2;
    options.log = true;
    int flushes = 0;
    options.batchFlush = [&](int) { return ++flushes == 2 ? EIO : 0; };
    const auto result = Run();
    EXPECT_EQ(result.ended.messageKey, halvex::kSyncFlushFailedKey);
    EXPECT_EQ(result.ended.systemError, EIO);
    EXPECT_TRUE(result.FlushFailed());
    EXPECT_EQ(result.successes, 2u);
    EXPECT_EQ(result.failures, 2u);
    const std::vector<std::string> expected{"new f0", "new f1", "earlier f2", "earlier f3", "earlier f4"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ReadFile(drive / ("f" + std::to_string(i))), expected[static_cast<std::size_t>(i)]);
        EXPECT_EQ(rows[static_cast<std::size_t>(i)].synced, i < 2);
    }
    EXPECT_TRUE(Leftovers(drive).empty());
    const auto lines = LogLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.find("f2") != std::string::npos; }),
              1);
}
