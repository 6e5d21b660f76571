#include "system/ConfirmedFolders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "SystemTestSupport.h"
#include "TestFiles.h"

using halvex::ConfirmedFolders;
using halvex::DriveIdentity;
using Use = ConfirmedFolders::Use;

namespace {

const DriveIdentity kStick{"090C", "1000", "AA01", "1A2B-3C4D", "STICK"};
const DriveIdentity kOtherStick{"090C", "1000", "AA02", "1A2B-3C4D", "STICK"};

}  // namespace

// Whatever drive, set and use differ, the record does not count.
TEST(ConfirmedFolders, ARecordCountsForItsOwnDriveSetUseAndFolderOnly)
{
    const halvex::test::TempFolder folder("confirmed");
    ConfirmedFolders record(folder / "config" / "confirmed-folders");
    EXPECT_FALSE(record.Has(Use::Backup, kStick, "Docs", "/home/ana/Documents")) << "no file yet";
    ASSERT_TRUE(record.Record(Use::Backup, kStick, "Docs", "/home/ana/Documents/"));
    ASSERT_TRUE(record.Record(Use::Sync, kStick, "", "/home/ana/Sync"));
    ASSERT_TRUE(record.Record(Use::Sync, kStick, "", "/home/ana/Moved"));

    const struct {
        Use use;
        const DriveIdentity& drive;
        const char* set;
        const char* folder;
        bool has;
    } table[] = {
        {Use::Backup, kStick, "Docs", "/home/ana/Documents", true},
        {Use::Backup, kStick, "Docs", "/home/ana/./Documents/", true},
        {Use::Backup, kStick, "Docs", "/home/ana/Documents/sub/..", true},
        {Use::Backup, kStick, "Docs", "/home/ana/Docs", false},
        {Use::Backup, kStick, "Other", "/home/ana/Documents", false},
        {Use::Backup, kOtherStick, "Docs", "/home/ana/Documents", false},
        {Use::Sync, kStick, "", "/home/ana/Documents", false},
        {Use::Sync, kStick, "", "/home/ana/Sync", true},
        {Use::Sync, kStick, "", "/home/ana/Moved", true},
        {Use::Sync, kOtherStick, "", "/home/ana/Sync", false},
    };
    for (const auto& row : table)
        EXPECT_EQ(record.Has(row.use, row.drive, row.set, row.folder), row.has) << row.set << " " << row.folder;

    struct stat info {};
    ASSERT_EQ(::stat((folder / "config" / "confirmed-folders").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(ConfirmedFolders, DamagedFilesRecordNothingAndAreReplaced)
{
    const halvex::test::TempFolder folder("confirmed");
    const auto file = folder / "confirmed-folders";
    const std::string good = "halvex-confirmed-folders 1\nbackup\t090C\t1000\tAA01\t1A2B-3C4D\tDocs\t/home/ana/Docs\n";
    const std::vector<std::string> damaged = {
        "",
        "backup\t090C\t1000\tAA01\t1A2B-3C4D\tDocs\t/home/ana/Docs\n",       // no header
        good + "backup\t090C\t1000\tAA01\t1A2B-3C4D\tDocs\n",                // a field short
        good + "backup\t090C\t1000\tAA01\t1A2B-3C4D\tDocs\trelative\n",      // not absolute
        good + "restore\t090C\t1000\tAA01\t1A2B-3C4D\tDocs\t/home/ana/x\n",  // unknown use
        good + "sync\t090C\t1000\tAA01\t1A2B-3C4D\t\t/home/ana/\x01x\n",     // a control character
        good + std::string(ConfirmedFolders::kMaxBytes, '#'),
    };
    ConfirmedFolders record(file);
    halvex::test::WriteFile(file, good);
    EXPECT_TRUE(record.Has(Use::Backup, kStick, "Docs", "/home/ana/Docs"));
    for (const std::string& text : damaged) {
        halvex::test::WriteFile(file, text);
        EXPECT_FALSE(record.Has(Use::Backup, kStick, "Docs", "/home/ana/Docs")) << text.substr(0, 80);
    }
    ASSERT_TRUE(record.Record(Use::Sync, kStick, "", "/home/ana/Sync"));
    EXPECT_TRUE(record.Has(Use::Sync, kStick, "", "/home/ana/Sync"));
    EXPECT_FALSE(record.Record(Use::Sync, kStick, "", "/home/ana/new\nline"));
    EXPECT_FALSE(record.Record(Use::Sync, kStick, "", "relative"));
}
