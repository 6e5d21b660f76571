#include "backup/BackupCommands.h"

#include <sstream>

#include "BackupTestSupport.h"
#include "backup/BackupStrings.h"

using namespace halvex;
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
        WriteFile(source() / "report.doc", "report");
        WriteFile(source() / "notes.txt", "notes");
        WriteFile(source() / "photo.jpg", std::string(10000, 'j'));
        WriteFile(source() / "sub" / "deep.txt", "deep");
        WriteFile(source() / "song.mp3", "song");
    }

    std::filesystem::path source() const { return m_folder / "home" / "src"; }
    std::filesystem::path set() const { return m_folder / "drive" / "Backup" / "Docs"; }

    int Profile(std::vector<std::string> arguments) { return Run(RunProfileCommand, std::move(arguments)); }
    int Backup(std::vector<std::string> arguments) { return Run(RunBackupCommand, std::move(arguments)); }
    int Restore(std::vector<std::string> arguments) { return Run(RunRestoreCommand, std::move(arguments)); }

    int Run(int (*command)(const std::vector<std::string>&, const BackupCommandContext&),
            std::vector<std::string> arguments)
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

    // Other folder, one file.
    ASSERT_EQ(Restore({"--set", "Docs", "--file", "notes.txt", "--to", (m_folder / "out").string()}), kExitDone)
        << m_err.str();
    EXPECT_EQ(ReadFile(m_folder / "out" / "notes.txt"), "notes");
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
}
