#include "backup/BackupProfileStore.h"

#include <cerrno>

#include "BackupTestSupport.h"
#include "backup/BackupProfile.h"
#include "backup/BackupStrings.h"

using namespace halvex;
using namespace halvex::test;

namespace {

BackupProfile SampleProfile(const std::string& set, const std::string& identity)
{
    BackupProfile profile = BackupProfile::WithDefaultLists(BackupStrings::BuiltIn());
    profile.sourceFolder = "/home/me/Documents/";
    profile.setName = set;
    profile.predefinedChecked[1] = true;  // Document
    profile.predefinedChecked[4] = true;  // Picture
    profile.userCategories.push_back({"Code", "cpp:h:", true});
    profile.userCategories.push_back({"Off", "bak:", false});
    profile.macAddress = identity;
    return profile;
}

std::vector<std::string> KeysInOrder(const std::filesystem::path& file)
{
    std::vector<std::string> keys;
    const std::string text = ReadFile(file);
    for (std::size_t at = text.find("<key>"); at != std::string::npos; at = text.find("<key>", at + 1)) {
        const auto end = text.find("</key>", at);
        keys.push_back(text.substr(at + 5, end - at - 5));
    }
    return keys;
}

}  // namespace

TEST(BackupProfile, WrittenWithWindowsKeysInWindowsOrderAndReadBack)
{
    TempFolder folder;
    const auto file = folder / "profile.plist";
    BackupProfile profile = SampleProfile("Work", "00:11:22:33:44:55");
    ASSERT_TRUE(WriteProfileFile(file, profile));
    const std::vector<std::string> expected = {"BackupPath Path",
                                               "User Category Value",
                                               "BackupPath UserPath",
                                               "User Category1 NameCat",
                                               "User Category1 NameFile",
                                               "User Category1 Value",
                                               "User Category2 NameCat",
                                               "User Category2 NameFile",
                                               "User Category2 Value",
                                               "All Name",
                                               "All Value",
                                               "Document Name",
                                               "Document Value",
                                               "Movie Name",
                                               "Movie Value",
                                               "Music Name",
                                               "Music Value",
                                               "Picture Name",
                                               "Picture Value",
                                               "MacAddress"};
    EXPECT_EQ(KeysInOrder(file), expected);

    // Updates keep every key and append the new ones at the end.
    profile.restoreChoice = RestoreChoice::Other;
    profile.restoreFolder = "/tmp/out/";
    ASSERT_TRUE(WriteRestoreSettings(file, profile));
    ASSERT_TRUE(WriteLastBackupTime(file, 1700000000));
    ASSERT_TRUE(WriteLastBackupTime(file, 1700000500));
    auto keys = KeysInOrder(file);
    ASSERT_EQ(keys.size(), expected.size() + 3);
    EXPECT_EQ(keys[expected.size()], "Restore RestorePath");
    EXPECT_EQ(keys.back(), "TimeBackup Value");

    const Result<BackupProfile> reread = ReadProfileFile(file, BackupStrings::BuiltIn());
    ASSERT_TRUE(reread);
    const BackupProfile& read = reread.value();
    EXPECT_EQ(read.sourceFolder, profile.sourceFolder);
    EXPECT_EQ(read.setName, "Work");
    EXPECT_EQ(read.userCategories.size(), 2u);
    EXPECT_EQ(read.userCategories[0].types, "cpp:h:");
    EXPECT_FALSE(read.userCategories[1].checked);
    EXPECT_EQ(read.lastBackupTime, 1700000500);
    EXPECT_EQ(read.restoreChoice, RestoreChoice::Other);
    EXPECT_EQ(read.restoreFolder, "/tmp/out/");
    EXPECT_EQ(read.CombinedList(), BackupStrings::BuiltIn().Label(1) + BackupStrings::BuiltIn().Label(4) + "cpp:h:");
}

TEST(BackupProfile, MacKeysAreRead)
{
    TempFolder folder;
    const auto file = folder / "mac.plist";
    WriteFile(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>BackupDir</key><string>/Users/me/Pictures</string>
<key>Backup path</key><string>Photos</string>
<key>ProfileName</key><string>My photos</string>
<key>All</key><false/>
<key>Picture</key><true/>
<key>User Category</key><integer>1</integer>
<key>User Category1_NameCat</key><string>Raw</string>
<key>User Category1_NameFile</key><string>dng:</string>
<key>User Category1_Values</key><integer>1</integer>
<key>MacAddress</key><string>AA:BB:CC:DD:EE:FF</string>
<key>RButton</key><integer>3</integer>
<key>RestoreDir</key><string>/Users/me/Restored/</string>
<key>Time</key><date>2023-11-14T22:13:20Z</date>
</dict></plist>)");
    const Result<BackupProfile> read = ReadProfileFile(file, BackupStrings::BuiltIn());
    ASSERT_TRUE(read);
    const BackupProfile& profile = read.value();
    EXPECT_EQ(profile.sourceFolder, "/Users/me/Pictures");
    EXPECT_EQ(profile.setName, "Photos");
    EXPECT_EQ(profile.DisplayName(), "My photos");
    EXPECT_TRUE(profile.predefinedChecked[4]);
    EXPECT_FALSE(profile.predefinedChecked[0]);
    ASSERT_EQ(profile.userCategories.size(), 1u);
    EXPECT_TRUE(profile.userCategories[0].checked);
    EXPECT_EQ(profile.lastBackupTime, 1700000000);
    EXPECT_EQ(profile.restoreChoice, RestoreChoice::Other);
    EXPECT_EQ(profile.restoreFolder, "/Users/me/Restored/");
    EXPECT_EQ(profile.CombinedList(), BackupStrings::BuiltIn().Label(4) + "dng:");
}

TEST(BackupProfileStore, NumberingDeletionAndOwnership)
{
    TempFolder folder;
    BackupProfileStore store(folder.path(), BackupStrings::BuiltIn());
    ASSERT_TRUE(store.ReadIndex());  // written with zeros when missing
    EXPECT_TRUE(FileExists(store.IndexPath()));
    EXPECT_EQ(store.MaxProfile(), 0);

    ASSERT_TRUE(store.Create(SampleProfile("One", "here")));
    ASSERT_TRUE(store.Create(SampleProfile("Two", "elsewhere")));
    const Result<int> third = store.Create(SampleProfile("Three", "here"));
    ASSERT_TRUE(third);
    EXPECT_EQ(third.value(), 3);
    EXPECT_EQ(store.ProfilePath(3).filename(), "com.halvex.pellory.backup.profile3.plist");

    BackupProfileStore reread(folder.path(), BackupStrings::BuiltIn());
    ASSERT_TRUE(reread.ReadIndex());
    EXPECT_EQ(reread.MaxProfile(), 3);
    EXPECT_EQ(reread.CurrentProfile(), 3);
    EXPECT_EQ(reread.ProfilesOf("here"), (std::vector<int>{1, 3}));
    std::string name;
    EXPECT_TRUE(reread.BelongsHere(3, "here", &name));
    EXPECT_EQ(name, "Three");

    // Deleting 2: file 3 moves into the gap, max and current become 2.
    ASSERT_TRUE(reread.Delete(2).ok);
    EXPECT_EQ(reread.MaxProfile(), 2);
    EXPECT_EQ(reread.CurrentProfile(), 2);
    EXPECT_FALSE(std::filesystem::exists(reread.ProfilePath(3)));
    const Result<BackupProfile> moved = reread.Read(2);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved.value().setName, "Three");
    EXPECT_EQ(moved.value().restoreChoice, RestoreChoice::Original);
    ASSERT_TRUE(reread.ReadCurrent());
    EXPECT_TRUE(BackupProfileStore::CheckRunnable(reread.ReadCurrent().value()));

    // Each refusal has its own key, and each key its message.
    BackupProfile empty = SampleProfile("Empty", "here");
    empty.predefinedChecked = {};
    empty.userCategories.clear();
    const Result<int> emptyNumber = reread.Create(empty);
    ASSERT_TRUE(emptyNumber);
    const Status emptyList = BackupProfileStore::CheckRunnable(reread.ReadCurrent().value());
    EXPECT_EQ(emptyList.messageKey, kProfileEmptyListKey);
    EXPECT_EQ(ProfileMessage(emptyList), backup_message::kNoSettings);
    const BackupProfile damaged = SampleProfile("..", "here");
    const Status damagedName = BackupProfileStore::CheckRunnable(damaged);
    EXPECT_EQ(damagedName.messageKey, kProfileDamagedKey);
    EXPECT_EQ(ProfileMessage(damagedName), backup_message::kDamagedProfile);
    std::filesystem::remove(reread.ProfilePath(emptyNumber.value()));
    EXPECT_EQ(reread.ReadCurrent().messageKey(), kProfileUnreadableKey);
    EXPECT_EQ(ProfileMessage(reread.ReadCurrent().status()), backup_message::kProfileUnreadable);
    reread.SetCurrentProfile(0);
    EXPECT_EQ(reread.ReadCurrent().messageKey(), kNoProfileKey);
}

TEST(BackupProfileStore, IndexThatCannotBeWrittenIsAFailureWithItsPath)
{
    TempFolder folder;
    BackupProfileStore store(folder / "missing" / "data", BackupStrings::BuiltIn());
    const Status read = store.ReadIndex();
    EXPECT_EQ(read.messageKey, kProfileUnwritableKey);
    EXPECT_NE(read.detail.find(store.IndexPath().string()), std::string::npos) << read.detail;
    EXPECT_EQ(ProfileMessage(read), backup_message::kProfileUnreadable);
    // The profile's own write says which file failed and why.
    const Result<int> created = store.Create(SampleProfile("One", "here"));
    EXPECT_EQ(created.messageKey(), kProfileUnwritableKey);
    EXPECT_EQ(created.systemError(), ENOENT);
    EXPECT_EQ(created.detail().rfind(store.ProfilePath(1).string() + ": ", 0), 0u) << created.detail();
    // Keys written into a profile that is gone are a failure, not a new file.
    const Status restore = WriteRestoreSettings(folder / "gone.plist", SampleProfile("One", "here"));
    EXPECT_EQ(restore.messageKey, kProfileUnwritableKey);
    EXPECT_EQ(restore.systemError, ENOENT);
    EXPECT_FALSE(std::filesystem::exists(folder / "gone.plist"));
}

// The data folder is on the drive: a link planted where the index or the next
// profile belongs is replaced by the file, and what it names stays as it was.
TEST(BackupProfileStore, LinksInTheDataFolderAreReplacedNotWrittenThrough)
{
    TempFolder folder;
    BackupProfileStore store(folder.path(), BackupStrings::BuiltIn());
    ASSERT_TRUE(store.ReadIndex());
    WriteFile(folder / "home" / "index.txt", "mine");
    WriteFile(folder / "home" / "profile.txt", "mine too");
    std::filesystem::remove(store.IndexPath());
    std::filesystem::create_symlink(folder / "home" / "index.txt", store.IndexPath());
    std::filesystem::create_symlink(folder / "home" / "profile.txt", store.ProfilePath(1));

    ASSERT_TRUE(store.Create(SampleProfile("One", "here")));
    ASSERT_TRUE(WriteLastBackupTime(store.ProfilePath(1), 1700000000));
    EXPECT_EQ(ReadFile(folder / "home" / "index.txt"), "mine");
    EXPECT_EQ(ReadFile(folder / "home" / "profile.txt"), "mine too");
    for (const auto& file : {store.IndexPath(), store.ProfilePath(1)})
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file))) << file;
    EXPECT_EQ(store.Read(1).value().lastBackupTime, 1700000000);
}

TEST(BackupStrings, FileReplacesBuiltInTextsKeyByKey)
{
    TempFolder folder;
    WriteFile(folder / "BackupRestore.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>Message29</key><string>Sicherung beendet.</string>
<key>Line0</key><string>HalvexDateien</string>
<key>e29</key><string>Alles gesichert</string>
</dict></plist>)");
    BackupStrings strings;
    ASSERT_TRUE(strings.Load(folder / "BackupRestore.plist"));
    EXPECT_EQ(strings.Message(29), "Sicherung beendet.");
    EXPECT_EQ(strings.Explanation(29), "Alles gesichert");
    EXPECT_EQ(strings.Label(0), "HalvexDateien");
    EXPECT_EQ(strings.Message(38), "No  file(s) to backup.");  // built in
    EXPECT_FALSE(strings.Load(folder / "missing.plist"));

    // The shipped English table agrees with the built-in texts.
    BackupStrings shipped;
    ASSERT_TRUE(shipped.Load(BackupStrings::FileFor(HALVEX_SOURCE_DIR "/Resources", "English")));
    for (int number : {2, 11, 14, 29, 33, 38, 45, 47, 52, 60})
        EXPECT_EQ(shipped.Message(number), BackupStrings::BuiltIn().Message(number)) << number;
    for (int number = 0; number <= 24; ++number)
        EXPECT_EQ(shipped.Label(number), BackupStrings::BuiltIn().Label(number)) << number;
}
