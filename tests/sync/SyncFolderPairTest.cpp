#include "sync/SyncFolderPair.h"

#include <gtest/gtest.h>

#include "plist/DXPlistPrefs.h"
#include "SyncTestSupport.h"

using namespace synctest;
using halvex::Answer;
using halvex::FolderChange;

namespace {

class SyncFolderPairTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadSyncStrings();
        fs::create_directories(place.runPath);
        fs::create_directories(place.dataPath);
        fs::create_directories(home);
    }
    void TearDown() override { LoadSyncStrings(); }

    fs::path DriveFolder() const { return place.runPath / "Sync Folder"; }
    fs::path Index() const { return place.dataPath / "com.halvex.dravane.sync.plist"; }
    std::string Stored() const { return halvex::ReadComputerFolder(Index(), place.computerKey); }

    TempFolder tmp;
    halvex::SyncPlace place{tmp / "run", tmp / "run" / "Halvex Data", "1234567"};
    fs::path home = tmp / "home";
    RecordingCallback callback;
};

}  // namespace

TEST_F(SyncFolderPairTest, DriveFolderNameComesFromTheTableButNeverLeavesTheRunPath)
{
    EXPECT_EQ(halvex::SyncUsbPath("/media/stick"), fs::path("/media/stick/Sync Folder"));
    for (const char* hostile : {"../../etc", "a/b", "..", ".", ""}) {
        const fs::path table = tmp / "hostile.strings";
        std::ofstream(table) << "\"sync_folder_usb\" = \"" << hostile << "\";\n\"other\" = \"x\";\n";
        ASSERT_TRUE(KXStrings::LoadStringTable(table));
        EXPECT_EQ(halvex::SyncUsbPath("/media/stick"), fs::path("/media/stick/Sync Folder")) << hostile;
    }
}

TEST_F(SyncFolderPairTest, IndexKeepsEveryOtherComputersEntry)
{
    fs::copy_file(fs::path(HALVEX_TEST_DATA) / "sync" / "two-computers.sync.plist", Index());
    EXPECT_EQ(halvex::ReadComputerFolder(Index(), "54110"), "/Users/ben/Sync");
    EXPECT_EQ(Stored(), "") << "this computer has no entry yet";
    ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, home).ok);
    ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, home / "again").ok);

    DXPlistPrefs index(Index());
    std::string value;
    EXPECT_TRUE(index.GetValue("-18-79-11-118-1211-3-11-6-2-1512", value, ""));
    EXPECT_EQ(value, "C:\\Users\\ana\\Documents") << "another build's entry is kept, not parsed as ours";
    EXPECT_EQ(halvex::ReadComputerFolder(Index(), "54110"), "/Users/ben/Sync");
    EXPECT_EQ(Stored(), (home / "again").string());
    EXPECT_EQ(index.Values().size(), 3u);
}

TEST_F(SyncFolderPairTest, DamagedIndexIsKeptAsideNotOverwritten)
{
    std::ofstream(Index()) << "<plist><dict><key>54110</key><string>/Users/ben";
    ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, home).ok);
    EXPECT_EQ(Stored(), home.string());
    const auto aside = DXPlistPrefs::TakeSetAsideFiles();
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(aside[0].filename().string().rfind("com.halvex.dravane.sync.plist.damaged-", 0), 0u) << aside[0];
    EXPECT_EQ(ReadFile(aside[0]), "<plist><dict><key>54110</key><string>/Users/ben");
}

TEST_F(SyncFolderPairTest, StoredFolderThatExistsIsUsedWithoutQuestions)
{
    ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, home).ok);
    const auto pair = halvex::GetFolderInfo(place, callback);
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->drive, DriveFolder());
    EXPECT_EQ(pair->computer, home);
    EXPECT_TRUE(fs::is_directory(DriveFolder())) << "created on demand";
    EXPECT_TRUE(callback.questions.empty());
    EXPECT_EQ(callback.chooserOpened, 0);
}

// The index lies on the drive: a stored folder that fails the chooser's
// checks (here: one that holds the drive folder, or lies on a removable
// drive) is named, and the chooser is asked for another.
TEST_F(SyncFolderPairTest, StoredFolderThatFailsTheChecksIsAskedForAgain)
{
    for (const bool removable : {false, true}) {
        SCOPED_TRACE(removable ? "on a removable drive" : "holding the drive folder");
        callback = {};
        const fs::path stored = removable ? home : tmp.path();
        halvex::SyncDriveProbe probe;
        probe.isRemovable = [&](const fs::path& folder) { return removable && folder == home; };
        ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, stored).ok);
        const fs::path other = tmp / "other";
        fs::create_directories(other);
        callback.choices.push_back(other);
        const auto pair = halvex::GetFolderInfo(place, callback, probe);
        ASSERT_TRUE(pair);
        EXPECT_EQ(pair->computer, other);
        EXPECT_EQ(callback.chooserOpened, 1);
        ASSERT_EQ(callback.messages.size(), 1u);
        EXPECT_NE(callback.messages[0].first.find(stored.string() + ", cannot be used"), std::string::npos)
            << callback.messages[0].first;
        EXPECT_EQ(Stored(), other.string());
        // Without a choice (the command line) nothing goes on.
        ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, stored).ok);
        EXPECT_FALSE(halvex::GetFolderInfo(place, callback, probe));
    }
}

TEST_F(SyncFolderPairTest, NoStoredFolderRunsTheChooserAndStoresItsChoice)
{
    callback.choices.push_back(home);
    const auto pair = halvex::GetFolderInfo(place, callback);
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->computer, home);
    EXPECT_EQ(Stored(), home.string());

    fs::remove(Index());
    callback.choices.push_back(std::nullopt);
    EXPECT_FALSE(halvex::GetFolderInfo(place, callback)) << "chooser cancelled";
    EXPECT_FALSE(fs::exists(Index())) << "nothing stored";
}

TEST_F(SyncFolderPairTest, GoneFolderAsksAndNoKeepsTheEntry)
{
    ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, tmp / "vanished").ok);
    callback.answers.push_back(Answer::No);
    EXPECT_FALSE(halvex::GetFolderInfo(place, callback));
    ASSERT_EQ(callback.questions.size(), 1u);
    EXPECT_TRUE(callback.questions[0].defaultYes);
    EXPECT_EQ(callback.chooserOpened, 0);
    EXPECT_EQ(Stored(), (tmp / "vanished").string());

    callback.answers.push_back(Answer::Yes);
    callback.choices.push_back(home);
    const auto pair = halvex::GetFolderInfo(place, callback);
    ASSERT_TRUE(pair);
    EXPECT_EQ(Stored(), home.string());
}

TEST_F(SyncFolderPairTest, DriveFolderThatCannotBeCreatedIsAnError)
{
    place.runPath = tmp / "no" / "such" / "run";
    EXPECT_FALSE(halvex::GetFolderInfo(place, callback));
    ASSERT_EQ(callback.messages.size(), 1u);
    EXPECT_EQ(callback.messages[0].second, halvex::MessageIcon::Error);
    EXPECT_NE(callback.messages[0].first.find("could not be created"), std::string::npos);
    EXPECT_FALSE(fs::exists(tmp / "no")) << "only one level is created";
}

TEST_F(SyncFolderPairTest, ChangeToTheSameFolderDoesNothing)
{
    ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, home).ok);
    WriteFile(DriveFolder() / "a.txt", "data");
    EXPECT_EQ(halvex::SetSyncFolder(place, home, callback), FolderChange::Unchanged);
    EXPECT_TRUE(callback.questions.empty());
    EXPECT_TRUE(fs::exists(DriveFolder() / "a.txt"));
}

TEST_F(SyncFolderPairTest, ChangeSetsTheFullDriveFolderAsideUnderTheFirstFreeNumber)
{
    WriteFile(DriveFolder() / "a.txt", "data");
    fs::create_directories(place.runPath / "Sync Folder_Old1");
    fs::create_directories(place.runPath / "Sync Folder_Old2");
    EXPECT_EQ(halvex::SetSyncFolder(place, home, callback), FolderChange::Stored);
    ASSERT_EQ(callback.questions.size(), 1u);
    EXPECT_NE(callback.questions[0].text.find("move them aside"), std::string::npos);
    EXPECT_EQ(ReadFile(place.runPath / "Sync Folder_Old3" / "a.txt"), "data");
    EXPECT_TRUE(fs::is_empty(DriveFolder()));
    ASSERT_EQ(callback.messages.size(), 1u);
    EXPECT_NE(callback.messages[0].first.find("'Sync Folder_Old3'"), std::string::npos);
    EXPECT_EQ(callback.messages[0].first.find(place.runPath.string()), std::string::npos) << "name without the path";
    EXPECT_EQ(Stored(), home.string());
}

TEST_F(SyncFolderPairTest, ChangeKeepsAnEmptyDriveFolderOrOneTheUserKeeps)
{
    fs::create_directories(DriveFolder() / "empty subfolder");
    EXPECT_EQ(halvex::SetSyncFolder(place, home, callback), FolderChange::Stored);
    EXPECT_TRUE(callback.questions.empty()) << "no data, no question";
    EXPECT_FALSE(fs::exists(place.runPath / "Sync Folder_Old1"));

    WriteFile(DriveFolder() / "a.txt", "data");
    callback.answers.push_back(Answer::No);
    EXPECT_EQ(halvex::SetSyncFolder(place, tmp.path(), callback), FolderChange::Stored);
    EXPECT_TRUE(fs::exists(DriveFolder() / "a.txt"));
    EXPECT_EQ(Stored(), tmp.path().string());
}

TEST_F(SyncFolderPairTest, AbandonedChangeStoresAndMovesNothing)
{
    ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, tmp.path()).ok);
    WriteFile(DriveFolder() / "a.txt", "data");
    callback.answers.push_back(Answer::Abandon);
    EXPECT_EQ(halvex::SetSyncFolder(place, home, callback), FolderChange::Abandoned);
    EXPECT_TRUE(fs::exists(DriveFolder() / "a.txt"));
    EXPECT_EQ(Stored(), tmp.path().string());
}

TEST_F(SyncFolderPairTest, FailedSetAsideStoresNothing)
{
    WriteFile(DriveFolder() / "a.txt", "data");
    OpenToOthers(tmp.path());
    // The drive folder cannot be renamed in a run path closed to writing.
    fs::permissions(place.runPath,
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    const auto report = AsOrdinaryUser([&] {
        const FolderChange change = halvex::SetSyncFolder(place, home, callback);
        return std::string(change == FolderChange::Abandoned ? "abandoned" : "stored") + "|" +
               (callback.messages.empty() ? "" : callback.messages[0].first);
    });
    fs::permissions(place.runPath, fs::perms::owner_all);
    if (!report)
        GTEST_SKIP() << "cannot become an ordinary user here";
    EXPECT_EQ(*report,
              "abandoned|The sync folder on the USB flash drive could not be renamed. "
              "The sync folder has not been changed.");
    EXPECT_EQ(Stored(), "");
    EXPECT_TRUE(fs::exists(DriveFolder() / "a.txt"));
}

TEST_F(SyncFolderPairTest, BrowsedFolderRules)
{
    halvex::SyncDriveProbe probe;
    probe.isRemovable = [&](const fs::path& p) { return p == tmp / "stick"; };
    fs::create_directories(tmp / "stick");
    fs::create_directories(DriveFolder() / "inner");
    WriteFile(tmp / "file", "x");
    struct Case {
        fs::path folder;
        const char* key;
    } cases[] = {
        {home, ""},
        {tmp / "stick", "sync_browse_bad_folder"},
        {tmp / "missing", "sync_browse_bad_folder"},
        {tmp / "file", "sync_browse_bad_folder"},
        {"relative/folder", "sync_browse_bad_folder"},
        {DriveFolder() / "inner", "sync_browse_bad_folder"},
        {place.runPath, "sync_browse_bad_folder"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(halvex::CheckBrowsedFolder(c.folder, DriveFolder(), probe).messageKey, c.key) << c.folder;
}

TEST_F(SyncFolderPairTest, ReadOnlyFolderIsLocked)
{
    OpenToOthers(tmp.path());
    fs::permissions(home,
                    fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    const auto report = AsOrdinaryUser([&] { return halvex::CheckBrowsedFolder(home, DriveFolder(), {}).messageKey; });
    if (!report)
        GTEST_SKIP() << "cannot become an ordinary user here";
    EXPECT_EQ(*report, "sync_browse_folder_locked");
}

TEST_F(SyncFolderPairTest, FolderLargerThanTheFreeSpaceAsksAndEqualDoesNot)
{
    WriteFile(home / "a", std::string(600, 'x'));
    WriteFile(home / "sub" / "b", std::string(400, 'x'));
    std::uint64_t free = 1000;
    halvex::SyncDriveProbe probe;
    probe.driveFreeBytes = [&] { return std::optional<std::uint64_t>(free); };
    EXPECT_TRUE(halvex::ConfirmFolderSize(home, probe, callback));
    EXPECT_TRUE(callback.questions.empty());

    free = 999;
    EXPECT_FALSE(halvex::ConfirmFolderSize(home, probe, callback)) << "No is the default";
    ASSERT_EQ(callback.questions.size(), 1u);
    EXPECT_FALSE(callback.questions[0].defaultYes);
    EXPECT_NE(callback.questions[0].text.find("'home' holds more data"), std::string::npos);
    callback.answers.push_back(Answer::Yes);
    EXPECT_TRUE(halvex::ConfirmFolderSize(home, probe, callback));
}

// The index lies on the drive: its folder is used unasked only when this
// user chose it here; otherwise the question names it, and every answer is
// followed as said.
TEST_F(SyncFolderPairTest, StoredFolderNotChosenHereIsAskedAbout)
{
    struct Row {
        const char* name;
        bool chosenHere;
        std::optional<Answer> answer;  // nothing: no question expected
        std::optional<fs::path> chooserGives;
        std::optional<fs::path> used;
        std::vector<fs::path> recorded;
    };
    const fs::path other = tmp / "other";
    fs::create_directories(other);
    const std::vector<Row> table = {
        {"chosen here", true, std::nullopt, std::nullopt, home, {}},
        {"Yes", false, Answer::Yes, std::nullopt, home, {home}},
        {"No, then another folder", false, Answer::No, other, other, {other}},
        {"No, then Cancel", false, Answer::No, std::nullopt, std::nullopt, {}},
        {"Abandon", false, Answer::Abandon, other, std::nullopt, {}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(halvex::WriteComputerFolder(Index(), place.computerKey, home).ok);
        RecordingCallback asked;
        if (row.answer)
            asked.answers.push_back(*row.answer);
        asked.choices.push_back(row.chooserGives);
        std::vector<fs::path> recorded;
        halvex::SyncDriveProbe probe;
        probe.chosenHere = [&](const fs::path& folder) { return row.chosenHere && folder == home; };
        probe.recordChoice = [&](const fs::path& folder) { recorded.push_back(folder); };

        const auto pair = halvex::GetFolderInfo(place, asked, probe);
        EXPECT_EQ(pair ? std::optional<fs::path>(pair->computer) : std::nullopt, row.used);
        EXPECT_EQ(recorded, row.recorded);
        ASSERT_EQ(asked.questions.size(), row.answer ? 1u : 0u);
        if (row.answer) {
            EXPECT_NE(asked.questions[0].text.find(home.string()), std::string::npos) << asked.questions[0].text;
            EXPECT_FALSE(asked.questions[0].defaultYes);
        }
        EXPECT_EQ(asked.chooserOpened, row.answer == Answer::No ? 1 : 0);
    }
}
