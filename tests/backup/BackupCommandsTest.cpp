#include "BackupCommandContext.h"

#include <ctime>
#include <sstream>

#include "BackupTestSupport.h"
#include "backup/BackupProfile.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"
#include "system/ConfirmedFolders.h"

using namespace halvex;
using namespace halvex::cli;
using namespace halvex::test;

namespace {

class BackupCommandsTest : public ::testing::Test {
protected:
    BackupCommandsTest()
    {
        std::filesystem::create_directories(m_folder / "drive" / "Halvex Data");
        std::filesystem::create_directories(m_folder / "Desktop");
        m_context.dataFolder = m_folder / "drive" / "Halvex Data";
        m_context.driveRoot = m_folder / "drive";
        m_context.clusterSize = 4096;
        m_context.identity = "02:00:00:00:00:01";
        m_context.desktopFolder = m_folder / "Desktop";
        m_context.strings = &BackupStrings::BuiltIn();
        m_context.out = &m_out;
        m_context.err = &m_err;
        m_context.in = &m_in;
        m_context.homeFolder = m_folder / "home";
        m_context.backedUpHere = [this](const std::string& set, const std::filesystem::path& folder) {
            return Record().Has(ConfirmedFolders::Use::Backup, kDrive, set, folder);
        };
        m_context.recordBackup = [this](const std::string& set, const std::filesystem::path& folder) {
            ASSERT_TRUE(Record().Record(ConfirmedFolders::Use::Backup, kDrive, set, folder));
        };
        WriteFile(source() / "report.doc", "report");
        WriteFile(source() / "notes.txt", "notes");
        WriteFile(source() / "photo.jpg", std::string(10000, 'j'));
        WriteFile(source() / "sub" / "deep.txt", "deep");
        WriteFile(source() / "song.mp3", "song");
    }

    std::filesystem::path source() const { return m_folder / "home" / "src"; }
    // This user's record on this computer, kept in the test's folder.
    ConfirmedFolders Record() const { return ConfirmedFolders(m_folder / "config" / "confirmed-folders"); }
    inline static const DriveIdentity kDrive{"090C", "1000", "SERIAL1", "1A2B-3C4D", "STICK"};
    std::filesystem::path set() const { return m_folder / "drive" / "Backup" / "Docs"; }

    int Profile(const std::vector<std::string>& arguments) { return Run(RunProfileCommand, arguments); }
    int Backup(const std::vector<std::string>& arguments) { return Run(RunBackupCommand, arguments); }
    int Restore(const std::vector<std::string>& arguments) { return Run(RunRestoreCommand, arguments); }

    int Run(BackupCommandRun command, const std::vector<std::string>& arguments)
    {
        m_out.str({});
        m_err.str({});
        return command(arguments, m_context);
    }

    void CreateDocsProfile()
    {
        ASSERT_EQ(Profile({"create", "--set", "Docs", "--source", source().string(), "--category", "Document",
                           "--user-category", "Audio=mp3"}),
                  kExitDone)
            << m_err.str();
    }

    TempFolder m_folder;
    BackupCommandContext m_context;
    std::ostringstream m_out, m_err;
    std::istringstream m_in;
};

}  // namespace

TEST_F(BackupCommandsTest, CreateChecksTheSaveRules)
{
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } table[] = {
        {{"create", "--set", "X", "--category", "All"}, "You must select path to backup folder"},
        {{"create", "--set", "X", "--source", "/nonexistent/folder", "--category", "All"},
         "You must select path to backup folder"},
        {{"create", "--set", " ", "--source", "SRC", "--category", "All"}, "Please enter valid Backup Set name"},
        {{"create", "--set", "a:b", "--source", "SRC", "--category", "All"}, "Please enter valid Backup Set name"},
        {{"create", "--set", "v1.0", "--source", "SRC", "--category", "All"},
         "The Backup Set name can not contain a dot ('.')."},
        {{"create", "--set", "X", "--source", "SRC"}, "No categories are selected"},
        {{"create", "--set", "X", "--source", "SRC", "--user-category", "Bad=do.c"},
         "File type contains illegal symbol"},
    };
    for (auto row : table) {
        for (auto& argument : row.arguments)
            if (argument == "SRC")
                argument = source().string();
        EXPECT_EQ(Profile(row.arguments), kExitFailed);
        EXPECT_EQ(m_err.str().substr(0, m_err.str().find('\n')), row.message);
    }
    CreateDocsProfile();
    EXPECT_EQ(Profile({"create", "--set", "docs", "--source", source().string(), "--category", "All"}), kExitFailed);
    EXPECT_EQ(m_err.str(), "This Backup Set name is already used by another profile.\n");
}

TEST_F(BackupCommandsTest, ListSelectDelete)
{
    CreateDocsProfile();
    ASSERT_EQ(Profile({"create", "--set", "All", "--source", source().string(), "--category", "All"}), kExitDone);
    m_context.identity = "02:00:00:00:00:02";
    ASSERT_EQ(Profile({"create", "--set", "Other", "--source", source().string(), "--category", "All"}), kExitDone);
    m_context.identity = "02:00:00:00:00:01";
    ASSERT_EQ(Profile({"list"}), kExitDone);
    EXPECT_EQ(m_out.str(), "  1\tDocs\t" + source().string() + "\n  2\tAll\t" + source().string() + "\n");
    EXPECT_EQ(Profile({"select", "3"}), kExitFailed);  // another computer's
    ASSERT_EQ(Profile({"select", "1"}), kExitDone);
    Profile({"list"});
    EXPECT_EQ(m_out.str().substr(0, 2), "* ");

    ASSERT_EQ(Backup({}), kExitDone) << m_err.str();
    EXPECT_TRUE(std::filesystem::exists(set()));
    ASSERT_EQ(Profile({"delete", "1", "--yes"}), kExitDone);
    EXPECT_FALSE(std::filesystem::exists(set()));
    Profile({"list"});
    // The other computer's profile 3 moved into the gap; max and current are 2.
    EXPECT_EQ(m_out.str(), "* 2\tAll\t" + source().string() + "\n");
}

TEST_F(BackupCommandsTest, DryRunThenBackupThenRestoreEverywhere)
{
    CreateDocsProfile();
    ASSERT_EQ(Backup({"--dry-run"}), kExitDone);
    // report.doc, notes.txt, song.mp3, sub/deep.txt: four files of one cluster
    // each, and five folders (Backup, the set, Current Backup, sub).
    EXPECT_EQ(m_out.str(), "files: 4\nbytes needed: " + std::to_string(4096 * (4 + 4)) + "\n");
    EXPECT_FALSE(std::filesystem::exists(m_folder / "drive" / "Backup"));

    ASSERT_EQ(Backup({}), kExitDone) << m_err.str();
    EXPECT_NE(m_out.str().find("Backup procedure completed."), std::string::npos);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(set() / "Current Backup")) {
        if (!entry.is_regular_file())
            continue;
        EXPECT_EQ(RunCommand("unzip -tqq " + Quote(entry.path()) + " >/dev/null"), 0) << entry.path();
    }
    EXPECT_FALSE(std::filesystem::exists(set() / "Current Backup" / "photo.jpg.zip"));
    ASSERT_EQ(Backup({}), kExitDone);
    EXPECT_NE(m_out.str().find("No  file(s) to backup."), std::string::npos);

    // Other folder, one file; a value after the name or after "=".
    ASSERT_EQ(Restore({"--set", "Docs", "--file", "notes.txt", "--to", (m_folder / "out").string()}), kExitDone)
        << m_err.str();
    EXPECT_EQ(ReadFile(m_folder / "out" / "notes.txt"), "notes");
    ASSERT_EQ(Restore({"--set=Docs", "--file=report.doc", "--to=" + (m_folder / "out2").string()}), kExitDone)
        << m_err.str();
    EXPECT_EQ(ReadFile(m_folder / "out2" / "report.doc"), "report");
    EXPECT_FALSE(std::filesystem::exists(m_folder / "out2" / "notes.txt"));
    // Desktop, a subfolder recursively.
    ASSERT_EQ(Restore({"--set", "Docs", "--folder", "sub", "--recursive", "--desktop"}), kExitDone);
    EXPECT_EQ(ReadFile(m_folder / "Desktop" / "HalvexRestoreFiles" / "deep.txt"), "deep");
    // Original folder, everything, after the source is gone.
    std::filesystem::remove_all(source());
    ASSERT_EQ(Restore({"--set", "Docs", "--recursive", "--original"}), kExitDone) << m_err.str();
    EXPECT_EQ(ReadFile(source() / "sub" / "deep.txt"), "deep");
    EXPECT_EQ(ReadFile(source() / "report.doc"), "report");
    // Again: same times, all skipped.
    ASSERT_EQ(Restore({"--set", "Docs", "--recursive", "--original"}), kExitDone);
    EXPECT_NE(m_out.str().find("0 restored, 4 skipped"), std::string::npos) << m_out.str();
}

// A drive that cannot flush what it was given: the run fails with message
// 66 (never "completed"), the stored archive and the last backup time stay.
TEST_F(BackupCommandsTest, FailedFlushIsAFailureNotACompletion)
{
    CreateDocsProfile();
    ASSERT_EQ(Backup({}), kExitDone) << m_err.str();
    const auto profileFile = m_context.dataFolder / "com.halvex.pellory.backup.profile1.plist";
    const std::string profileBefore = ReadFile(profileFile);
    WriteFile(source() / "notes.txt", "notes 2", std::time(nullptr) + 10);
    m_context.flush = [](int) { return EIO; };
    EXPECT_EQ(Backup({}), kExitFailed);
    const std::string said = m_out.str() + m_err.str();
    EXPECT_NE(said.find(BackupStrings::BuiltIn().Message(backup_message::kNotDurable)), std::string::npos) << said;
    EXPECT_EQ(said.find("completed"), std::string::npos) << said;
    EXPECT_EQ(ReadFile(profileFile), profileBefore);
    ASSERT_EQ(RunCommand("unzip -p " + Quote(set() / "Current Backup" / "notes.txt.zip") + " > " +
                         Quote(m_folder / "stored.txt")),
              0);
    EXPECT_EQ(ReadFile(m_folder / "stored.txt"), "notes");
    EXPECT_FALSE(std::filesystem::exists(set() / "Recent Backup" / "notes.txt.zip"));
}

TEST_F(BackupCommandsTest, RestoreRefusesEscapesAndMissingSets)
{
    CreateDocsProfile();
    ASSERT_EQ(Backup({}), kExitDone);
    EXPECT_EQ(Restore({"--set", "Docs", "--folder", "../..", "--original"}), kExitFailed);
    EXPECT_EQ(Restore({"--set", "..", "--original"}), kExitFailed);
    EXPECT_EQ(Restore({"--set", "Nope", "--original"}), kExitFailed);
    EXPECT_EQ(m_err.str(), "Can not restore file(s) from this location!\n");
    EXPECT_EQ(Restore({"--set", "Docs", "--file", "../x", "--original"}), kExitFailed);
    EXPECT_EQ(Restore({"--set", "Docs", "--original", "--desktop"}), kExitFailed);
    // Usage errors restore nothing and say what was wrong.
    const struct {
        std::vector<std::string> arguments;
        std::string firstLine;
    } usage[] = {
        {{"--set", "Docs", "--original", "--bogus"}, "dravane: Unexpected argument --bogus."},
        {{"--set", "Docs", "--original", "--recursive=yes"}, "dravane: Unexpected argument --recursive=yes."},
        {{"--set", "Docs", "--original", "notes.txt"}, "dravane: Unexpected argument notes.txt."},
        {{"--original", "--set"}, "dravane: The option --set needs a value."},
        {{"--original"}, "dravane: restore needs --set NAME"},
        {{"--set", "Docs", "--to="}, "dravane: restore needs one of --original, --desktop or --to DIR"},
        {{"--set", "Docs", "--original", "--generation", "older"},
         "dravane: --generation takes current, recent or old"},
    };
    for (const auto& row : usage) {
        SCOPED_TRACE(::testing::PrintToString(row.arguments));
        EXPECT_EQ(Restore(row.arguments), kExitFailed);
        EXPECT_EQ(m_err.str().substr(0, m_err.str().find('\n')), row.firstLine);
        EXPECT_TRUE(m_out.str().empty());
    }
}

// A profile file on the drive can be edited to any set name, and the set
// folder replaced by a link. Whatever it says, the commands and the engine
// delete and write nothing outside the drive's Backup folder.
TEST_F(BackupCommandsTest, HostileSetNamesTouchNothingOutsideTheBackupFolder)
{
    namespace fs = std::filesystem;
    const fs::path drive = m_folder / "drive";
    const fs::path outside = m_folder / "outside";
    WriteFile(outside / "keep.txt", "keep");
    WriteFile(outside / "report.doc.zip", "not an archive of ours");
    WriteFile(drive / "sync" / "keep.txt", "keep");
    enum class Plant { Nothing, SetIsLink, BackupIsLink, GenerationIsLink };
    const struct {
        std::string setName;
        Plant plant;
        int backup, remove;  // exit codes; restore always fails
    } table[] = {
        {outside.string(), Plant::Nothing, kExitFailed, kExitFailed},
        {"..", Plant::Nothing, kExitFailed, kExitFailed},
        {"../../x", Plant::Nothing, kExitFailed, kExitFailed},
        {"", Plant::Nothing, kExitFailed, kExitFailed},
        {"Docs/../..", Plant::Nothing, kExitFailed, kExitFailed},
        {"Linked", Plant::SetIsLink, kExitFailed, kExitFailed},
        {"Docs", Plant::BackupIsLink, kExitFailed, kExitFailed},
        // A valid set whose generation folder leads out: the file there fails
        // and the delete removes the link, not what it names.
        {"Docs", Plant::GenerationIsLink, kExitFailures, kExitDone},
    };
    for (const auto& row : table) {
        SCOPED_TRACE("set name '" + row.setName + "'");
        fs::remove_all(drive / "Backup");
        fs::remove_all(m_context.dataFolder);
        fs::create_directories(m_context.dataFolder);
        CreateDocsProfile();
        ASSERT_EQ(Backup({}), kExitDone) << m_err.str();
        switch (row.plant) {
        case Plant::Nothing: break;
        case Plant::SetIsLink: fs::create_directory_symlink(outside, drive / "Backup" / row.setName); break;
        case Plant::BackupIsLink:
            fs::rename(drive / "Backup", drive / "RealBackup");
            fs::create_directory_symlink(outside, drive / "Backup");
            break;
        case Plant::GenerationIsLink:
            fs::remove_all(set() / "Current Backup");
            fs::create_directory_symlink(outside, set() / "Current Backup");
            break;
        }
        const auto profileFile = m_context.dataFolder / "com.halvex.pellory.backup.profile1.plist";
        Result<BackupProfile> read = ReadProfileFile(profileFile, BackupStrings::BuiltIn());
        ASSERT_TRUE(read);
        BackupProfile profile = std::move(read).value();
        profile.setName = row.setName;
        ASSERT_TRUE(WriteProfileFile(profileFile, profile));
        WriteFile(source() / "report.doc", "changed");
        SetTime(source() / "report.doc", std::time(nullptr) + 10);

        const bool damaged = !IsValidSetName(row.setName);
        // Where the run goes ahead, its own files change: the set and the profiles.
        std::vector<fs::path> skip;
        if (row.remove == kExitDone)
            skip = {drive / "Backup", m_context.dataFolder};
        const auto before = TreeSnapshot(m_folder.path(), skip);
        Profile({"list"});
        EXPECT_EQ(m_out.str().find("(damaged)") != std::string::npos, damaged) << m_out.str();
        EXPECT_EQ(Backup({"--on-error", "skip"}), row.backup) << m_err.str();
        EXPECT_EQ(Restore({"--set", row.setName, "--original"}), kExitFailed);
        RecordingCallback callback;
        KWBackupManager engine(callback);
        engine.AddFilter("*", "all");
        engine.Backup(source(), drive / "Backup", row.setName);
        EXPECT_EQ(engine.GetStoredCount(), 0u);
        EXPECT_FALSE(callback.errors.empty());
        EXPECT_EQ(Profile({"delete", "1", "--yes"}), row.remove) << m_err.str();
        EXPECT_EQ(TreeSnapshot(m_folder.path(), skip), before);
        if (row.plant == Plant::BackupIsLink) {
            fs::remove(drive / "Backup");
            fs::rename(drive / "RealBackup", drive / "Backup");
        }
        if (row.remove == kExitDone)
            EXPECT_FALSE(fs::exists(fs::symlink_status(set())));
        else
            EXPECT_TRUE(fs::exists(set() / "Current Backup" / "report.doc.zip"));
    }
}
