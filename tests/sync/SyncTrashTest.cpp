// What a sync replaces goes to the trash of the side it was on: the
// computer's into the user's trash, the drive's into the drive's own, on
// ext4 and exFAT volumes of their own (loop devices).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "FatVolume.h"
#include "SyncTestSupport.h"
#include "TrashInfo.h"
#include "sync/SyncRunner.h"
#include "sync/SyncScanner.h"
#include "util/FreedesktopTrash.h"

using namespace synctest;
using halvex::test::FatKind;
using halvex::test::FatVolume;

namespace {

constexpr std::int64_t kJanuary = 1'704'103'200;
constexpr std::int64_t kJune = 1'717'236'000;

class Recorder : public RecordingCallback {
public:
    std::vector<std::pair<std::string, std::string>> failed;  // item, reason
    void OnRowFailed(std::size_t, const fs::path& item, const std::string& reason) override
    {
        failed.emplace_back(item.string(), reason);
    }
};

class SyncTrash : public ::testing::TestWithParam<FatKind> {
protected:
    void SetUp() override
    {
        LoadSyncStrings();
        volume = std::make_unique<FatVolume>(GetParam());
        HALVEX_REQUIRE_FAT(*volume);
        drive = volume->path() / "Sync Folder";
        fs::create_directories(computer);
        fs::create_directories(drive);
    }

    halvex::SyncRunSummary ScanAndRun()
    {
        halvex::SyncScanOptions scanOptions;
        scanOptions.recursion = halvex::Recursion::Into;
        halvex::SyncScanner scanner(callback, control, scanOptions);
        EXPECT_TRUE(scanner.Scan(computer, drive, rows));
        counters = scanner.Counters();
        halvex::SyncRunOptions options;
        options.computerFolder = computer;
        options.driveFolder = drive;
        options.log = true;
        options.logPath = tmp / "sync.log";
        halvex::FreedesktopTrashOptions trash;
        trash.homeTrash = homeTrash;
        options.trash = std::make_shared<halvex::FreedesktopTrash>(trash);
        halvex::SyncRunner runner(callback, control, options);
        return runner.Run(rows, counters);
    }

    fs::path DriveTrash() const { return volume->path() / (".Trash-" + std::to_string(::geteuid())); }

    TempFolder tmp;
    fs::path computer = tmp / "computer";
    fs::path homeTrash = tmp / "data" / "Trash";  // on the computer folder's volume
    std::unique_ptr<FatVolume> volume;
    fs::path drive;
    Recorder callback;
    halvex::SyncControl control;
    std::vector<ItemData> rows;
    halvex::ScanCounters counters;
};

// Fills the volume to its last byte.
void Fill(const fs::path& file)
{
    std::ofstream out(file, std::ios::binary);
    for (std::size_t chunk : {std::size_t{1} << 20, std::size_t{4096}, std::size_t{1}}) {
        const std::string block(chunk, 'f');
        out.clear();
        while (out.write(block.data(), static_cast<std::streamsize>(block.size())) && out.flush()) {
        }
    }
}

}  // namespace

TEST_P(SyncTrash, ReplacedFilesGoToTheTrashOfTheirSide)
{
    WriteFile(computer / "Notes" / "a b.txt", "computer, January", kJanuary);
    WriteFile(drive / "Notes" / "a b.txt", "drive, June", kJune);
    WriteFile(computer / "b.txt", "computer, June", kJune);
    WriteFile(drive / "b.txt", "drive, January", kJanuary);

    const halvex::SyncRunSummary result = ScanAndRun();
    EXPECT_EQ(result.successes, 2u);
    EXPECT_EQ(result.failures, 0u);
    EXPECT_EQ(result.trashed, 2u);
    EXPECT_EQ(ReadFile(computer / "Notes" / "a b.txt"), "drive, June") << "the newer copy still wins";
    EXPECT_EQ(ReadFile(drive / "b.txt"), "computer, June");

    EXPECT_EQ(ReadFile(homeTrash / "files" / "a b.txt"), "computer, January");
    const auto home = halvex::test::ParseTrashInfo(homeTrash / "info" / "a b.txt.trashinfo");
    ASSERT_TRUE(home);
    EXPECT_EQ(home->path, (computer / "Notes" / "a b.txt").string());
    EXPECT_NE(ReadFile(homeTrash / "info" / "a b.txt.trashinfo").find("Path=" + computer.string() + "/Notes/a%20b.txt"),
              std::string::npos);

    EXPECT_EQ(ReadFile(DriveTrash() / "files" / "b.txt"), "drive, January");
    const auto onDrive = halvex::test::ParseTrashInfo(DriveTrash() / "info" / "b.txt.trashinfo");
    ASSERT_TRUE(onDrive);
    EXPECT_EQ(onDrive->path, "Sync Folder/b.txt") << "relative to the drive's top";

    const std::string log = ReadFile(tmp / "sync.log");
    EXPECT_NE(log.find("2 replaced files went to the Trash."), std::string::npos) << log;
    EXPECT_NE(halvex::SyncResultText(result).find("2 replaced files went to the Trash."), std::string::npos);

    // A file manager puts the computer's file back where it was. GLib's own
    // command needs its trash backend (gvfs) for that; without it the info
    // file is followed by hand, as the backend would.
    fs::remove(computer / "Notes" / "a b.txt");
    const auto gio =
        halvex::test::RunShell("XDG_DATA_HOME=" + halvex::test::ShellQuoted(homeTrash.parent_path().string()) +
                               " gio trash --restore 'trash:///a%20b.txt' 2>&1");
    if (gio.status != 0) {
        ASSERT_NE(gio.out.find("not supported"), std::string::npos) << gio.out;
        fs::rename(homeTrash / "files" / "a b.txt", home->path);
    }
    EXPECT_EQ(ReadFile(computer / "Notes" / "a b.txt"), "computer, January");
}

TEST_P(SyncTrash, ADriveWithoutRoomForTheTrashFailsTheRowAndKeepsBothFiles)
{
    // An empty copy needs no room of its own; the drive's trash folder does.
    WriteFile(computer / "b.txt", "", kJune);
    WriteFile(drive / "b.txt", "drive, January", kJanuary);
    Fill(volume->path() / "filler");

    const halvex::SyncRunSummary result = ScanAndRun();
    EXPECT_EQ(result.successes, 0u);
    EXPECT_EQ(result.failures, 1u);
    EXPECT_EQ(result.trashed, 0u);
    ASSERT_EQ(callback.failed.size(), 1u);
    EXPECT_EQ(callback.failed[0].first, (drive / "b.txt").string());
    EXPECT_NE(callback.failed[0].second.find("could not be moved to the Trash"), std::string::npos);
    EXPECT_NE(callback.failed[0].second.find(std::strerror(ENOSPC)), std::string::npos) << callback.failed[0].second;
    EXPECT_EQ(ReadFile(drive / "b.txt"), "drive, January");
    EXPECT_EQ(ReadFile(computer / "b.txt"), "");
    for (const auto& e : fs::directory_iterator(drive))
        EXPECT_EQ(e.path().filename(), "b.txt") << "no temporary copy stays";
}

TEST_P(SyncTrash, ATrashFolderThatIsALinkFailsTheRow)
{
    WriteFile(computer / "b.txt", "computer, June", kJune);
    WriteFile(drive / "b.txt", "drive, January", kJanuary);
    if (GetParam() == FatKind::Ext4) {
        fs::create_directory(volume->path() / "elsewhere");
        fs::create_directory_symlink("elsewhere", DriveTrash());
    } else {
        // FAT keeps no links: a file in the trash folder's place stands in.
        WriteFile(DriveTrash(), "not a folder");
    }
    const halvex::SyncRunSummary result = ScanAndRun();
    EXPECT_EQ(result.failures, 1u);
    ASSERT_EQ(callback.failed.size(), 1u);
    EXPECT_NE(callback.failed[0].second.find(DriveTrash().string()), std::string::npos) << callback.failed[0].second;
    EXPECT_EQ(ReadFile(drive / "b.txt"), "drive, January");
    if (GetParam() == FatKind::Ext4) {
        EXPECT_TRUE(fs::is_empty(volume->path() / "elsewhere"));
    }
}

INSTANTIATE_TEST_SUITE_P(Volumes, SyncTrash, ::testing::Values(FatKind::Ext4, FatKind::ExFat),
                         [](const auto& info) { return std::string(halvex::test::FatKindName(info.param)); });
