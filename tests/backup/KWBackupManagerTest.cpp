#include "backup/KWBackupManager.h"

#include <algorithm>

#include "BackupTestSupport.h"
#include "backup/BackupCategories.h"
#include "backup/BackupInfoFile.h"
#include "zip/ZipArchive.h"
#include "util/FileTime.h"

using namespace halvex;
using namespace halvex::test;

namespace {

class BackupRunTest : public ::testing::Test {
protected:
    BackupRunTest() { std::filesystem::create_directories(m_folder / "drive"); }

    std::filesystem::path source() const { return m_folder / "source"; }
    std::filesystem::path drive() const { return m_folder / "drive" / "Backup"; }
    std::filesystem::path set() const { return drive() / "Set"; }
    std::filesystem::path current() const { return set() / "Current Backup"; }
    std::filesystem::path recent() const { return set() / "Recent Backup"; }
    std::filesystem::path old() const { return set() / "Old Backup"; }

    void AddFilters(KWBackupManager& engine, const std::string& list)
    {
        for (const auto& token : SplitExtensionList(list))
            engine.AddFilter(token, "anything", false);
    }

    static BackupRunOptions Threads(unsigned threads)
    {
        BackupRunOptions options;
        options.archiveThreads = threads;
        return options;
    }

    // One real backup run; answers the files the callback saw, in order.
    std::vector<std::string> RunBackup(const std::string& list = "*:", const BackupRunOptions& options = Threads(2))
    {
        RecordingCallback callback;
        KWBackupManager engine(callback);
        AddFilters(engine, list);
        EXPECT_TRUE(engine.Backup(source(), drive(), "Set", options));
        EXPECT_TRUE(callback.errors.empty()) << (callback.errors.empty() ? "" : callback.errors.front());
        for (auto& path : callback.copied)
            path = path.substr(WithTrailingSlash(source().string()).size());
        return callback.copied;
    }

    std::string StoredContent(const std::filesystem::path& archive)
    {
        const auto out = m_folder / "extract";
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        const auto name = archive.filename().string();
        const auto target = out / name.substr(0, name.size() - 4);
        EXPECT_TRUE(CopyFileUnZip(target, archive).ok) << archive;
        return ReadFile(target);
    }

    TempFolder m_folder;
};

}  // namespace

TEST_F(BackupRunTest, WalkOrderIsFilterByFilterThenSubfolders)
{
    WriteFile(source() / "a.txt", "a");
    WriteFile(source() / "b.doc", "b");
    WriteFile(source() / "c.TXT", "c");  // matching ignores case
    WriteFile(source() / "d.jpg", "d");  // in no filter
    WriteFile(source() / "e.Doc", "e");
    WriteFile(source() / ".hidden.txt", "h");
    WriteFile(source() / "sub" / "f.txt", "f");
    WriteFile(source() / ".config" / "g.doc", "g");  // hidden folders are walked
    WriteFile(source() / "sub" / "deeper" / "h.doc", "h");

    // "txt" twice: a file two filters match is stored once.
    const auto order = RunBackup("doc:txt:TXT:", Threads(2));
    const std::vector<std::string> expected = {"b.doc",         "e.Doc",     "a.txt",           "c.TXT",
                                               ".config/g.doc", "sub/f.txt", "sub/deeper/h.doc"};
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(FileExists(current() / "sub" / "deeper" / "h.doc.zip"));
    EXPECT_FALSE(std::filesystem::exists(current() / ".hidden.txt.zip"));
    EXPECT_FALSE(std::filesystem::exists(current() / "d.jpg.zip"));

    // Every archive opens in Info-ZIP unzip; nothing temporary is left.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(current())) {
        if (!entry.is_regular_file())
            continue;
        EXPECT_EQ(entry.path().extension(), ".zip") << entry.path();
        EXPECT_EQ(RunCommand("unzip -tqq " + Quote(entry.path()) + " >/dev/null"), 0) << entry.path();
    }
    EXPECT_EQ(ReadFile(set() / "info.ini"), WithTrailingSlash(source().string()));
}

// Links in the source: a link to a file stores what it points at, under the
// link's name; a link to a folder is never entered (one to the source itself
// would walk for ever, one elsewhere would back up what the user did not
// choose); a dangling link is passed over without failing the run.
TEST_F(BackupRunTest, LinksToFilesAreStoredAndLinksToFoldersNeverEntered)
{
    WriteFile(source() / "a.txt", "a");
    WriteFile(m_folder / "elsewhere" / "b.txt", "b");
    std::filesystem::create_symlink("a.txt", source() / "same.txt");
    std::filesystem::create_symlink(m_folder / "elsewhere" / "b.txt", source() / "outside.txt");
    std::filesystem::create_symlink(".", source() / "loop");
    std::filesystem::create_symlink(m_folder / "elsewhere", source() / "folder");
    std::filesystem::create_symlink("missing.txt", source() / "dangling.txt");

    const std::vector<std::string> expected = {"a.txt", "outside.txt", "same.txt"};
    EXPECT_EQ(RunBackup("txt:", Threads(2)), expected);
    EXPECT_EQ(StoredContent(current() / "outside.txt.zip"), "b");
    EXPECT_EQ(StoredContent(current() / "same.txt.zip"), "a");
    EXPECT_FALSE(std::filesystem::exists(current() / "loop"));
    EXPECT_FALSE(std::filesystem::exists(current() / "folder"));
    EXPECT_FALSE(std::filesystem::exists(current() / "dangling.txt.zip"));
}

TEST_F(BackupRunTest, AllMatchesFilesWithoutExtension)
{
    WriteFile(source() / "Makefile", "m");
    WriteFile(source() / "x.unusual", "x");
    EXPECT_EQ(RunBackup("*", Threads(0)).size(), 2u);
    EXPECT_TRUE(FileExists(current() / "Makefile.zip"));
}

TEST_F(BackupRunTest, FourRunsRotateThreeGenerations)
{
    const auto file = source() / "deep" / "notes.txt";
    for (int run = 1; run <= 4; ++run) {
        WriteFile(file, "version " + std::to_string(run));
        SetTime(file, 1700000000 + run * 100);
        EXPECT_EQ(RunBackup("txt:", Threads(run % 2 ? 2 : 0)).size(), 1u) << run;
    }
    EXPECT_EQ(StoredContent(current() / "deep" / "notes.txt.zip"), "version 4");
    EXPECT_EQ(StoredContent(recent() / "deep" / "notes.txt.zip"), "version 3");
    EXPECT_EQ(StoredContent(old() / "deep" / "notes.txt.zip"), "version 2");
    EXPECT_EQ(TimeOf(current() / "deep" / "notes.txt.zip"), 1700000400);

    // Unchanged: nothing is touched or counted.
    EXPECT_TRUE(RunBackup("txt:").empty());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(set()))
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos);
}

TEST_F(BackupRunTest, TimesWithinTwoSecondsAreUnchanged)
{
    const auto file = source() / "a.txt";
    WriteFile(file, "one");
    SetTime(file, 1700000000);
    RunBackup();
    const struct {
        std::int64_t nanoseconds;
        std::size_t stored;
    } table[] = {
        {1700000002LL * 1000000000 + 999999999, 0},  // 2.999 s truncates to 2
        {1699999990LL * 1000000000, 0},              // older than the archive
        {1700000003LL * 1000000000, 1},
    };
    for (const auto& row : table) {
        ASSERT_TRUE(SetFileModificationTime(file, row.nanoseconds));
        EXPECT_EQ(RunBackup().size(), row.stored) << row.nanoseconds;
    }
    EXPECT_TRUE(FileExists(recent() / "a.txt.zip"));
}

TEST_F(BackupRunTest, DryRunSizesRoundToClustersAndWriteNothing)
{
    WriteFile(source() / "one.txt", "x");
    WriteFile(source() / "page.txt", std::string(4096, 'p'));
    WriteFile(source() / "sub" / "big.txt", std::string(5000, 'b'));
    RecordingCallback callback;
    KWBackupManager engine(callback);
    engine.AddFilter("txt", "anything");
    std::uint32_t count = 0;
    // Folders to create: Backup, the set, Current Backup and its "sub": four clusters.
    EXPECT_EQ(engine.ComputeSize(source(), drive(), 4096, "Set", &count), 4096 * (4 + 1 + 1 + 2));
    EXPECT_EQ(count, 3u);
    EXPECT_FALSE(std::filesystem::exists(drive()));
    EXPECT_TRUE(callback.copied.empty());
    EXPECT_EQ(engine.ComputeSize(source(), drive(), 0, "Set"), 65536 * 7);

    const auto details = engine.CollectDetails(source());
    ASSERT_EQ(details.size(), 3u);
    EXPECT_EQ(details[2].name, "big.txt");
    EXPECT_EQ(details[2].folder, WithTrailingSlash((source() / "sub").string()));
    EXPECT_EQ(details[2].size, 5000u);
    EXPECT_EQ(details[2].category, "anything");
}

// The backup of a profile measures with a dry run and then runs on the same
// engine: each run does as its own options say, whatever the run before did.
TEST_F(BackupRunTest, EachRunFollowsItsOwnOptions)
{
    WriteFile(source() / "a.txt", "a");
    WriteFile(source() / "sub" / "b.txt", "b");
    RecordingCallback callback;
    KWBackupManager engine(callback);
    engine.AddFilter("txt", "anything");
    BackupRunOptions dryRun = Threads(2);
    dryRun.dryRun = true;
    EXPECT_TRUE(engine.Backup(source(), drive(), "Set", dryRun));
    EXPECT_FALSE(std::filesystem::exists(drive()));
    EXPECT_EQ(engine.GetNumFilesToBackup(source(), drive(), "Set"), 2u);
    EXPECT_FALSE(std::filesystem::exists(drive()));
    EXPECT_TRUE(engine.Backup(source(), drive(), "Set", Threads(0)));
    EXPECT_EQ(engine.GetStoredCount(), 2u);
    EXPECT_EQ(StoredContent(current() / "sub" / "b.txt.zip"), "b");
    WriteFile(source() / "c.txt", "c");
    EXPECT_TRUE(engine.Backup(source(), drive(), "Set", Threads(3)));
    EXPECT_EQ(engine.GetStoredCount(), 1u);
    EXPECT_EQ(StoredContent(current() / "c.txt.zip"), "c");
}

TEST_F(BackupRunTest, DryRunCountsTheOldCopyAsFreed)
{
    const auto file = source() / "a.txt";
    for (int run = 1; run <= 3; ++run) {
        WriteFile(file, std::string(static_cast<std::size_t>(run) * 10000, 'a' + run));
        SetTime(file, 1700000000 + run * 100);
        RunBackup("txt:");
    }
    WriteFile(file, std::string(9000, 'z'));
    SetTime(file, 1700000900);
    RecordingCallback callback;
    KWBackupManager engine(callback);
    engine.AddFilter("txt", "anything");
    std::uint32_t count = 0;
    const auto oldSize = GetFileSize(old() / "a.txt.zip");
    ASSERT_GT(oldSize, 0u);
    EXPECT_EQ(engine.ComputeSize(source(), drive(), 512, "Set", &count),
              static_cast<std::int64_t>((std::uint64_t{9000} + 511) / 512 * 512 - (oldSize + 511) / 512 * 512));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(StoredContent(current() / "a.txt.zip"), std::string(30000, 'd'));
}

TEST_F(BackupRunTest, CancelStopsAndLeavesNoTemporaryArchives)
{
    for (int i = 0; i < 30; ++i)
        WriteFile(source() / ("f" + std::to_string(100 + i) + ".txt"), std::string(20000, 'c'));
    RecordingCallback callback;
    callback.cancelAfter = 5;
    KWBackupManager engine(callback);
    engine.AddFilter("txt", "anything");
    EXPECT_FALSE(engine.Backup(source(), drive(), "Set", Threads(2)));
    EXPECT_EQ(callback.copied.size(), 5u);
    std::size_t archives = 0;
    for (const auto& entry : std::filesystem::directory_iterator(current())) {
        EXPECT_EQ(entry.path().extension(), ".zip") << entry.path();
        ++archives;
    }
    EXPECT_EQ(archives, 5u);
}

TEST_F(BackupRunTest, MissingSourceIsReported)
{
    RecordingCallback callback;
    KWBackupManager engine(callback);
    engine.AddFilter("*", "anything");
    engine.Backup(m_folder / "nowhere", drive(), "Set");
    ASSERT_EQ(callback.errors.size(), 1u);
    EXPECT_NE(callback.errors[0].find("Source folder \""), std::string::npos);
    EXPECT_NE(callback.errors[0].find("\"not found"), std::string::npos);
}

TEST_F(BackupRunTest, UnreadableSourceIsSkippedAndOthersStored)
{
    WriteFile(source() / "a.txt", "a");
    WriteFile(source() / "b.txt", "b");
    std::filesystem::permissions(source() / "a.txt", std::filesystem::perms::none);
    if (::access((source() / "a.txt").c_str(), R_OK) == 0)
        GTEST_SKIP() << "running as root: permissions do not stop reads";
    RecordingCallback callback;
    KWBackupManager engine(callback);
    engine.AddFilter("txt", "anything");
    EXPECT_TRUE(engine.Backup(source(), drive(), "Set"));
    ASSERT_EQ(callback.errors.size(), 1u);
    EXPECT_EQ(callback.errors[0].rfind("Error copying file \"", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(current() / "a.txt.zip"));
    EXPECT_TRUE(FileExists(current() / "b.txt.zip"));
    EXPECT_EQ(engine.GetFailedCount(), 1u);
}

TEST(BackupFilters, EachExtensionOnceUnderItsFirstCategory)
{
    RecordingCallback callback;
    KWBackupManager engine(callback);
    for (const auto& token : SplitExtensionList("avi:ram:mpeg:mpg:mpa:mov:asf:wmv:rm:swf:"))
        engine.AddFilter(token, "Movies");
    for (const auto& token : SplitExtensionList("mp3:wma:aac:m4a:m4p:aa:wav:aiff:asf:"))
        engine.AddFilter(token, "Music");
    EXPECT_EQ(std::count(engine.GetFilters().begin(), engine.GetFilters().end(), "asf"), 1);
    engine.AddFilter("Jpg", "Pictures", true);
    const std::vector<std::string> tail(engine.GetFilters().end() - 3, engine.GetFilters().end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Jpg", "jpg", "JPG"}));
}

// A source folder that holds the drive's backup folder (the drive itself
// chosen as source) must not back up its own archives, level after level.
TEST_F(BackupRunTest, SourceHoldingTheBackupFolderDoesNotWalkIntoIt)
{
    const auto driveRoot = m_folder / "drive";
    WriteFile(driveRoot / "letter.txt", "hello");
    RecordingCallback callback;
    KWBackupManager engine(callback);
    engine.AddFilter("*", "anything");
    EXPECT_TRUE(engine.Backup(driveRoot, drive(), "Set"));
    EXPECT_TRUE(engine.Backup(driveRoot, drive(), "Set"));
    EXPECT_EQ(callback.copied.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(current() / "Backup"));
}
