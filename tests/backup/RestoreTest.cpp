#include "backup/KWBackupManager.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

#include "BackupTestSupport.h"
#include "backup/BackupInfoFile.h"

using namespace halvex;
using namespace halvex::test;

namespace {

class RestoreTest : public ::testing::Test {
protected:
    RestoreTest()
    {
        WriteFile(source() / "top.txt", "top");
        WriteFile(source() / "docs" / "inner" / "deep.txt", "deep");
        SetTime(source() / "top.txt", 1700000000);
        SetTime(source() / "docs" / "inner" / "deep.txt", 1700000100);
        std::filesystem::create_directories(m_folder / "drive");
        RecordingCallback callback;
        KWBackupManager engine(callback);
        engine.AddFilter("*", "anything");
        EXPECT_TRUE(engine.Backup(source(), m_folder / "drive" / "Backup", "Set"));
    }

    std::filesystem::path source() const { return m_folder / "source"; }
    std::filesystem::path current() const { return m_folder / "drive" / "Backup" / "Set" / "Current Backup"; }

    // A restore into target, the other settings as a run has them by default.
    static RestoreRunOptions To(const std::filesystem::path& target)
    {
        RestoreRunOptions options;
        options.target = target;
        return options;
    }

    TempFolder m_folder;
};

}  // namespace

TEST_F(RestoreTest, ToTheOriginalFolderRecreatesTheTree)
{
    std::filesystem::remove_all(source());
    RecordingCallback callback;
    KWBackupManager engine(callback);
    engine.AddFileToRestorePool(current() / "top.txt.zip");
    engine.AddFileToRestorePool(current() / "docs" / "inner" / "deep.txt.zip");
    engine.AddFileToRestorePool(current() / "top.txt.zip");  // held once
    EXPECT_EQ(engine.GetRestorePool().size(), 2u);
    EXPECT_TRUE(engine.RestoreFromFilesPool(To({})));
    EXPECT_EQ(ReadFile(source() / "top.txt"), "top");
    EXPECT_EQ(ReadFile(source() / "docs" / "inner" / "deep.txt"), "deep");
    EXPECT_EQ(TimeOf(source() / "docs" / "inner" / "deep.txt"), 1700000100);
    EXPECT_TRUE(callback.errors.empty());
}

TEST_F(RestoreTest, ToAnotherFolderOrTheDesktopEveryFileLandsInIt)
{
    for (const auto& target : {m_folder / "elsewhere", m_folder / "Desktop" / "HalvexRestoreFiles"}) {
        RecordingCallback callback;
        KWBackupManager engine(callback);
        engine.AddFileToRestorePool(current() / "docs" / "inner" / "deep.txt.zip");
        engine.AddFileToRestorePool(current() / "top.txt.zip");
        EXPECT_TRUE(engine.RestoreFromFilesPool(To(target)));
        EXPECT_EQ(ReadFile(target / "deep.txt"), "deep");
        EXPECT_EQ(ReadFile(target / "top.txt"), "top");
    }
}

TEST_F(RestoreTest, RecursiveRestoreKeepsFoldersBelowTheBase)
{
    RecordingCallback callback;
    KWBackupManager engine(callback);
    RestoreRunOptions options = To(m_folder / "to");
    options.base = current() / "docs";
    engine.AddFileToRestorePool(current() / "docs" / "inner" / "deep.txt.zip");
    EXPECT_TRUE(engine.RestoreFromFilesPool(options));
    EXPECT_EQ(ReadFile(m_folder / "to" / "inner" / "deep.txt"), "deep");
}

// The stored copy is compared with the file it would replace (the name
// without ".zip"), so a newer file on the computer is never replaced silently.
TEST_F(RestoreTest, ConflictCheckAgainstTheFileItWouldReplace)
{
    const auto target = m_folder / "target";
    const struct {
        const char* what;
        std::int64_t existingTime;
        bool answer;
        std::size_t questions;
        const char* content;
    } table[] = {
        {"same time: skipped", 1700000001, false, 0, "existing"},
        {"existing newer, keep", 1700009000, false, 1, "existing"},
        {"existing newer, replace", 1700009000, true, 1, "top"},
        {"existing older: replaced", 1600000000, false, 0, "top"},
    };
    for (const auto& row : table) {
        WriteFile(target / "top.txt", "existing");
        SetTime(target / "top.txt", row.existingTime);
        RecordingCallback callback;
        callback.overwrite = row.answer;
        KWBackupManager engine(callback);
        engine.AddFileToRestorePool(current() / "top.txt.zip");
        EXPECT_TRUE(engine.RestoreFromFilesPool(To(target))) << row.what;
        EXPECT_EQ(callback.overwriteQuestions.size(), row.questions) << row.what;
        EXPECT_EQ(ReadFile(target / "top.txt"), row.content) << row.what;
    }
}

// A trash that keeps what it is given in a folder of the test, or refuses it.
class FolderTrash : public Trash {
public:
    FolderTrash(std::filesystem::path folder, bool refuse) : m_folder(std::move(folder)), m_refuse(refuse) {}

    Status Discard(int folderFd, const std::string& name, const std::filesystem::path& path) override
    {
        if (m_refuse)
            return Status::Fail(kTrashFailedKey, "no room for " + path.string());
        std::filesystem::create_directories(m_folder);
        if (::renameat(folderFd, name.c_str(), AT_FDCWD, (m_folder / name).c_str()) != 0)
            return Status::FailErrno(kTrashFailedKey, path, errno);
        return Status::Ok();
    }

private:
    std::filesystem::path m_folder;
    bool m_refuse;
};

// A file the restore replaces goes to the trash the options name; one that
// cannot go there stays as it was, and its file fails.
TEST_F(RestoreTest, AReplacedFileGoesToTheTrashOfTheOptionsOrStays)
{
    const auto target = m_folder / "target";
    const auto trashed = m_folder / "trash";
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "trash refuses" : "trash takes it");
        std::filesystem::remove_all(trashed);
        WriteFile(target / "top.txt", "older on the computer");
        SetTime(target / "top.txt", 1600000000);
        RecordingCallback callback;
        KWBackupManager engine(callback);
        engine.AddFileToRestorePool(current() / "top.txt.zip");
        RestoreRunOptions options = To(target);
        options.trash = std::make_shared<FolderTrash>(trashed, refuse);
        EXPECT_TRUE(engine.RestoreFromFilesPool(options));
        EXPECT_EQ(ReadFile(target / "top.txt"), refuse ? "older on the computer" : "top");
        EXPECT_EQ(engine.GetFailedCount(), refuse ? 1u : 0u);
        EXPECT_EQ(callback.errors.size(), refuse ? 1u : 0u);
        if (!refuse) {
            EXPECT_EQ(ReadFile(trashed / "top.txt"), "older on the computer");
        }
    }
}

TEST_F(RestoreTest, MissingOrBrokenInformationFileEndsAnOriginalRestore)
{
    const auto set = m_folder / "drive" / "Backup" / "Set";
    const struct {
        const char* content;  // nullptr: no information file at all
        const char* message;
    } table[] = {
        {nullptr, "Ini file for this BackupSet was not found."},
        {"", "Invalid ini file for this BackupSet"},
        {"/a", "Invalid ini file for this BackupSet"},
        {"C:\\Users\\someone\\", "Invalid ini file for this BackupSet"},
    };
    for (const auto& row : table) {
        std::filesystem::remove(set / "info.ini");
        if (row.content)
            WriteFile(set / "info.ini", row.content);
        RecordingCallback callback;
        KWBackupManager engine(callback);
        EXPECT_FALSE(engine.ExistsOriginalBackupFolder(current() / "top.txt.zip"));
        EXPECT_TRUE(callback.fatals.empty());
        engine.AddFileToRestorePool(current() / "top.txt.zip");
        EXPECT_FALSE(engine.RestoreFromFilesPool(To({})));
        ASSERT_EQ(callback.fatals.size(), 1u);
        EXPECT_EQ(callback.fatals[0], row.message);
    }
    RecordingCallback callback;
    KWBackupManager engine(callback);
    engine.AddFileToRestorePool(m_folder / "drive" / "Backup" / "loose.txt.zip");
    EXPECT_FALSE(engine.RestoreFromFilesPool(To({})));
    ASSERT_EQ(callback.fatals.size(), 1u);
    EXPECT_EQ(callback.fatals[0], "Original Backup Folder can't be determined.");
}

// Onto the drive that holds the set, restored files wait for one flush per
// batch: a flush that fails places nothing of its batch, keeps the file it
// would replace, leaves no temporary and stops the restore.
TEST_F(RestoreTest, OntoTheDriveAFailedFlushPlacesNothingOfItsBatch)
{
    const auto target = m_folder / "drive" / "restored";
    WriteFile(target / "deep.txt", "older");
    SetTime(target / "deep.txt", 1600000000);
    RecordingCallback callback;
    KWBackupManager engine(callback);
    int flushes = 0;
    RestoreRunOptions options = To(target);
    options.batch.files = 1;
    options.flush = [&](int) { return ++flushes == 2 ? EIO : 0; };
    engine.AddFileToRestorePool(current() / "top.txt.zip");
    engine.AddFileToRestorePool(current() / "docs" / "inner" / "deep.txt.zip");
    EXPECT_FALSE(engine.RestoreFromFilesPool(options));
    EXPECT_EQ(flushes, 2);
    EXPECT_EQ(engine.GetFlushError(), EIO);
    EXPECT_EQ(engine.GetStoredCount(), 1u);
    EXPECT_EQ(engine.GetFailedCount(), 1u);
    EXPECT_EQ(callback.errors.size(), 1u);
    EXPECT_EQ(ReadFile(target / "top.txt"), "top");
    EXPECT_EQ(ReadFile(target / "deep.txt"), "older");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(target), {}), 2);
}

TEST(InfoFile, ReadsBothEncodingsAndTheNumberedFallback)
{
    TempFolder folder;
    const auto set = folder / "Backup" / "Photos";
    std::filesystem::create_directories(set / "Recent Backup" / "sub");
    const auto inside = set / "Recent Backup" / "sub" / "x.jpg.zip";

    // UTF-16LE without a byte-order mark, as the Windows program writes it.
    const std::u16string wide = u"/home/\u00e9mile/Pictures";
    std::string bytes;
    for (const char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    WriteFile(set / "info.ini", bytes);
    auto lookup = ReadInfoFile(inside);
    ASSERT_TRUE(lookup.status.ok) << lookup.status.messageKey;
    EXPECT_EQ(lookup.originalFolder, "/home/\xC3\xA9mile/Pictures/");
    EXPECT_EQ(lookup.generationFolder, set / "Recent Backup");

    // UTF-8, as this edition writes it, under the first numbered name.
    std::filesystem::remove(set / "info.ini");
    WriteFile(set / InfoFileAlternative(0), "/home/\xC3\xA9mile/Pictures/");
    EXPECT_EQ(InfoFileAlternative(7), "info007.ini");
    lookup = ReadInfoFile(inside);
    ASSERT_TRUE(lookup.status.ok) << lookup.status.messageKey;
    EXPECT_EQ(lookup.originalFolder, "/home/\xC3\xA9mile/Pictures/");

    // The writer's own output reads back.
    TempFolder other;
    std::filesystem::create_directories(other / "S" / "Old Backup");
    ASSERT_TRUE(WriteInfoFile(other / "S", "/srv/data/"));
    EXPECT_EQ(ReadInfoFile(other / "S" / "Old Backup" / "f.zip").originalFolder, "/srv/data/");
}

TEST(InfoFile, ASetNamedLikeAGenerationFolderIsFoundByItsInformationFile)
{
    TempFolder folder;
    const auto set = folder / "Backup" / "Old Backup";
    WriteFile(set / "info.ini", "/home/me/");
    const auto lookup = ReadInfoFile(set / "Current Backup" / "a.txt.zip");
    ASSERT_TRUE(lookup.status.ok) << lookup.status.messageKey;
    EXPECT_EQ(lookup.setFolder, set);
}

// Archives are unpacked ahead on several threads, but what the user sees
// keeps the pool's order: notices, questions and errors one at a time, a
// damaged archive failing alone, and nothing restored or left after a stop.
TEST(ParallelRestore, QuestionsKeepTheirOrderAndCancelLeavesNothingBehind)
{
    TempFolder folder;
    constexpr int kFiles = 40;
    auto fileName = [](int i) { return "f" + std::to_string(100 + i) + ".txt"; };
    auto content = [](int i) { return std::string(1000 + 37 * i, static_cast<char>('a' + i % 26)); };
    for (int i = 0; i < kFiles; ++i) {
        WriteFile(folder / "source" / fileName(i), content(i));
        SetTime(folder / "source" / fileName(i), 1700000000);
    }
    RecordingCallback backupCallback;
    KWBackupManager backup(backupCallback);
    backup.AddFilter("*", "anything");
    ASSERT_TRUE(backup.Backup(folder / "source", folder / "Backup", "Set"));
    const auto current = folder / "Backup" / "Set" / "Current Backup";
    std::string damaged = ReadFile(current / (fileName(10) + ".zip"));
    damaged[49] = static_cast<char>(damaged[49] ^ 0x40);  // inside the deflated data
    WriteFile(current / (fileName(10) + ".zip"), damaged);

    class OrderedCallback : public RecordingCallback {
    public:
        std::vector<std::string> events;
        bool ErrorOccurred(const std::string& text) override
        {
            events.push_back("error");
            return RecordingCallback::ErrorOccurred(text);
        }
        bool OverwriteFile(const std::string& folder, const std::string& name) override
        {
            events.push_back("ask " + name);
            return RecordingCallback::OverwriteFile(folder, name);
        }
        bool NotifyCopyingFile(const std::string& folder, const std::string& name) override
        {
            const bool go = RecordingCallback::NotifyCopyingFile(folder, name);
            if (go)
                events.push_back(name.substr(0, name.size() - 4));
            return go;
        }
    };
    const auto target = folder / "target";
    WriteFile(target / fileName(20), "newer on the computer");
    SetTime(target / fileName(20), 1800000000);

    OrderedCallback callback;
    KWBackupManager engine(callback);
    RestoreRunOptions options;
    options.target = target;
    options.archiveThreads = 4;
    for (int i = 0; i < kFiles; ++i)
        engine.AddFileToRestorePool(current / (fileName(i) + ".zip"));
    EXPECT_TRUE(engine.RestoreFromFilesPool(options));
    std::vector<std::string> expected;
    for (int i = 0; i < kFiles; ++i) {
        if (i == 20) {
            expected.push_back("ask " + fileName(i));
            continue;
        }
        expected.push_back(fileName(i));
        if (i == 10)
            expected.push_back("error");
    }
    EXPECT_EQ(callback.events, expected);
    for (int i = 0; i < kFiles; ++i) {
        if (i == 10)
            EXPECT_FALSE(std::filesystem::exists(target / fileName(i)));
        else if (i == 20)
            EXPECT_EQ(ReadFile(target / fileName(i)), "newer on the computer");
        else
            EXPECT_TRUE(ReadFile(target / fileName(i)) == content(i)) << i;
    }
    EXPECT_EQ(engine.GetStoredCount(), kFiles - 2u);
    EXPECT_EQ(engine.GetFailedCount(), 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(target), {}), kFiles - 1);

    // Cancel at the sixth file: the five before it are in place, nothing else.
    const auto second = folder / "second";
    OrderedCallback cancelling;
    cancelling.cancelAfter = 5;
    KWBackupManager stopped(cancelling);
    options.target = second;
    for (int i = 0; i < kFiles; ++i)
        stopped.AddFileToRestorePool(current / (fileName(i) + ".zip"));
    EXPECT_FALSE(stopped.RestoreFromFilesPool(options));
    std::vector<std::string> present;
    for (const auto& entry : std::filesystem::directory_iterator(second))
        present.push_back(entry.path().filename().string());
    std::sort(present.begin(), present.end());
    EXPECT_EQ(present, std::vector<std::string>({fileName(0), fileName(1), fileName(2), fileName(3), fileName(4)}));
}
