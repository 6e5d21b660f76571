// `dravane sync` end to end: the real program on two real folders.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>

#include "FatVolume.h"
#include "SyncTestSupport.h"

using namespace synctest;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class SyncCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        program = fs::path(HALVEX_PROGRAM_DIR) / "dravane";
        if (!fs::exists(program))
            FAIL() << "dravane is not built in " << HALVEX_PROGRAM_DIR;
        fs::create_directories(run);
        fs::create_directories(computer);
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        // A drive-shaped run path whose bundle is the build's own.
        fs::create_directory_symlink(fs::path(HALVEX_PROGRAM_DIR).parent_path().parent_path(),
                                     run / "HalvexDravane.app");
    }

    Outcome Sync(const std::string& options)
    {
        const fs::path out = tmp / "out.txt";
        const fs::path err = tmp / "err.txt";
        const std::string command = "env HALVEX_ASSUME_USB=1 LC_ALL=C LANG=C XDG_RUNTIME_DIR='" + runtime.string() +
                                    "' '" + program.string() + "' --run-path '" + run.string() + "' sync " + options +
                                    " </dev/null >'" + out.string() + "' 2>'" + err.string() + "'";
        const int raw = std::system(command.c_str());
        Outcome o;
        o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        o.out = ReadFile(out);
        o.err = ReadFile(err);
        return o;
    }

    std::string Folder() const { return "--computer-folder '" + computer.string() + "'"; }

    TempFolder tmp;
    fs::path program;
    fs::path run = tmp / "run";
    fs::path drive = tmp / "run" / "Sync Folder";
    fs::path computer = tmp / "computer";
    fs::path runtime = tmp / "runtime";
};

}  // namespace

TEST_F(SyncCommandTest, WithoutAStoredFolderItSaysSoAndChangesNothing)
{
    const Outcome o = Sync("--list");
    EXPECT_EQ(o.status, 2) << o.err;
    EXPECT_NE(o.err.find("--computer-folder"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(run / "Halvex Data" / "com.halvex.dravane.sync.plist"));
    EXPECT_EQ(Sync("--bogus").status, 2);
}

// The options are read by the rules every command follows; one the command
// cannot follow stops it before anything is stored.
TEST_F(SyncCommandTest, OptionsItCannotFollowChangeNothing)
{
    for (const std::string options : {"--log --no-log", "--subfolders --no-subfolders",
                                      "--computer-folder=", "--list=yes", "--list extra", "--computer-folder"}) {
        SCOPED_TRACE(options);
        const Outcome o = Sync(options);
        EXPECT_EQ(o.status, 2) << o.err;
        EXPECT_FALSE(o.err.empty());
        EXPECT_FALSE(fs::exists(run / "Halvex Data" / "com.halvex.dravane.sync.plist"));
    }
    const Outcome o = Sync("--computer-folder='" + computer.string() + "' --list");
    EXPECT_EQ(o.status, 0) << o.err;
}

TEST_F(SyncCommandTest, ListsThenSyncsBothWaysAndLogs)
{
    WriteFile(computer / "report.txt", "from the computer", 1'600'000'000);
    WriteFile(computer / "sub" / "deep.txt", "deep", 1'600'000'000);
    WriteFile(drive / "photo.jpg", "from the drive", 1'600'000'000);

    Outcome o = Sync(Folder() + " --no-subfolders --list");
    ASSERT_EQ(o.status, 0) << o.err;
    std::istringstream lines(o.out);
    std::set<std::string> listed;
    std::string last;
    for (std::string line; std::getline(lines, line);)
        if (line.find('\t') != std::string::npos)
            listed.insert(line);
        else
            last = line;
    EXPECT_EQ(listed, (std::set<std::string>{"to-drive\treport.txt", "to-computer\tphoto.jpg"}));
    EXPECT_EQ(last, "2 to copy: 1 to-computer, 1 to-drive");
    EXPECT_FALSE(fs::exists(drive / "report.txt")) << "--list copies nothing";

    o = Sync("--subfolders --log");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("3 file(s) synchronized successfully."), std::string::npos) << o.out;
    EXPECT_EQ(ReadFile(drive / "sub" / "deep.txt"), "deep");
    EXPECT_EQ(ReadFile(computer / "photo.jpg"), "from the drive");
    EXPECT_EQ(fs::last_write_time(computer / "photo.jpg"), fs::last_write_time(drive / "photo.jpg"));

    std::istringstream log(ReadFile(runtime / "HalvexFileSync.log"));
    std::vector<std::string> logLines;
    for (std::string line; std::getline(log, line);)
        logLines.push_back(line);
    ASSERT_EQ(logLines.size(), 2u);
    EXPECT_EQ(logLines[0].rfind("Sync started on ", 0), 0u);
    EXPECT_EQ(logLines[1], "Sync finished: 3 copied, 0 failed");

    o = Sync("");
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("There are no files to synchronize."), std::string::npos) << o.out;
}

TEST_F(SyncCommandTest, FailedFileGivesStatusOneAndALogLine)
{
    // The drive's file has a file of the computer where its folder should be.
    WriteFile(computer / "blocked", "x", 1);
    WriteFile(drive / "blocked" / "inside", "x", 1'600'000'000);
    const Outcome o = Sync(Folder() + " --subfolders --log");
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_NE(o.out.find("1 file(s) could not be synchronized."), std::string::npos) << o.out;
    EXPECT_NE(ReadFile(runtime / "HalvexFileSync.log").find("Not synchronized:\t" + (computer / "blocked").string()),
              std::string::npos);
}

TEST_F(SyncCommandTest, PreferencesThatCannotBeSavedAreNamedWithTheReason)
{
    // A folder where the preference file belongs cannot be replaced by it.
    const fs::path prefs = run / "Halvex Data" / "com.halvex.dravane.plist";
    fs::create_directories(prefs);
    const Outcome o = Sync(Folder() + " --subfolders --list");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("The preferences could not be saved in " + prefs.string() + ". (" + prefs.string() +
                         ": not a regular file)"),
              std::string::npos)
        << o.err;
}

TEST_F(SyncCommandTest, ChangingTheFolderAsksBeforeSettingTheDriveFolderAside)
{
    ASSERT_EQ(Sync(Folder() + " --list").status, 0);
    WriteFile(drive / "old.txt", "kept");
    const fs::path other = tmp / "other";
    fs::create_directories(other);
    const std::string change = "--computer-folder '" + other.string() + "' --list";

    Outcome o = Sync(change);
    EXPECT_EQ(o.status, 2) << "no --yes: the question stops it";
    EXPECT_TRUE(fs::exists(drive / "old.txt"));
    o = Sync("--list");
    EXPECT_NE(o.out.find("to-computer\told.txt"), std::string::npos) << "still the first pair: " << o.out;

    o = Sync(change + " --yes");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(ReadFile(run / "Sync Folder_Old1" / "old.txt"), "kept");
    EXPECT_TRUE(fs::is_empty(drive));
}

// The computer folder in the drive's index is drive content like any other:
// one that holds the drive folder is refused, not synchronized into itself.
TEST_F(SyncCommandTest, StoredFolderThatFailsTheChooserChecksIsRefused)
{
    ASSERT_EQ(Sync(Folder() + " --list").status, 0);
    const fs::path index = run / "Halvex Data" / "com.halvex.dravane.sync.plist";
    std::string text = ReadFile(index);
    const std::size_t at = text.find(computer.string());
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, computer.string().size(), tmp.path().string());
    std::ofstream(index, std::ios::binary | std::ios::trunc) << text;
    WriteFile(tmp / "outside.txt", "x");

    const Outcome o = Sync("");
    EXPECT_EQ(o.status, 2) << o.out;
    EXPECT_NE(o.err.find("cannot be used"), std::string::npos) << o.err;
    EXPECT_TRUE(fs::is_empty(drive));
}

// `dravane sync` on a real exFAT drive folder: the name clash fails the run
// (status 1) and writes nothing; one file under two spellings keeps the
// newer text.
TEST_F(SyncCommandTest, OnExFatTheNewerTextWinsAndAClashFails)
{
    halvex::test::FatVolume volume(halvex::test::FatKind::ExFat);
    HALVEX_REQUIRE_FAT(volume);
    fs::create_directories(drive);
    ASSERT_EQ(halvex::test::RunShell("mount --bind '" + volume.path().string() + "' '" + drive.string() + "'").status,
              0);
    struct Unbind {
        fs::path folder;
        ~Unbind() { halvex::test::RunShell("umount '" + folder.string() + "'"); }
    } unbind{drive};

    WriteFile(computer / "Report.txt", "January text", 1'704'103'200);
    WriteFile(drive / "report.txt", "June text", 1'717'236'000);
    Outcome o = Sync(Folder());
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(ReadFile(computer / "Report.txt"), "June text");
    EXPECT_EQ(ReadFile(drive / "report.txt"), "June text");

    WriteFile(computer / "Notes.txt", "one", 1'717'236'000);
    WriteFile(computer / "notes.txt", "two", 1'717'236'000);
    o = Sync("--list");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("problem\tcomputer:"), std::string::npos) << o.out;
    o = Sync("");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("otes.txt and "), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(drive / "notes.txt"));
}
