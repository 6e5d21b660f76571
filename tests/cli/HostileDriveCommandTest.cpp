// What a drive says about this computer's folders is never taken unasked:
// `dravane restore` and `dravane sync` run on drives whose backup set or
// sync index was edited, on ext4 and exFAT, and everything outside the
// drive is compared before and after.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "BackupTestSupport.h"
#include "FatVolume.h"
#include "sync/SyncFolderPair.h"
#include "util/ComputerIdentity.h"
#include "util/ScrambleIdentity.h"

namespace fs = std::filesystem;
using namespace halvex::test;

namespace {

enum class DriveKind { Ext4, ExFat };

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

using Snapshot = std::map<std::string, std::string>;

// The entries that differ between two snapshots, each named once.
std::vector<std::string> Changed(const Snapshot& before, const Snapshot& after)
{
    std::vector<std::string> changed;
    for (const auto& [name, content] : after) {
        const auto found = before.find(name);
        if (found == before.end() || found->second != content)
            changed.push_back(name);
    }
    for (const auto& [name, content] : before)
        if (after.count(name) == 0)
            changed.push_back(name);
    std::sort(changed.begin(), changed.end());
    return changed;
}

class HostileDriveCommandTest : public ::testing::TestWithParam<DriveKind> {
protected:
    void SetUp() override
    {
        program = fs::path(HALVEX_PROGRAM_DIR) / "dravane";
        ASSERT_TRUE(fs::exists(program)) << program;
        for (const fs::path& folder : {home, outside, config, runtime})
            fs::create_directories(folder);
        fs::permissions(runtime, fs::perms::owner_all);
        const fs::path bundle = fs::path(HALVEX_PROGRAM_DIR).parent_path().parent_path();
        if (GetParam() == DriveKind::Ext4) {
            run = root / "drive";
            fs::create_directories(run);
            fs::create_directory_symlink(bundle, run / "HalvexDravane.app");
            return;
        }
        volume = std::make_unique<FatVolume>(FatKind::ExFat);
        if (!volume->mounted())
            GTEST_SKIP() << volume->skipReason();
        run = volume->path();
        // exFAT holds no links: the build's bundle is bound in instead.
        fs::create_directories(run / "HalvexDravane.app");
        ASSERT_EQ(RunShell("mount --bind " + Quote(bundle) + " " + Quote(run / "HalvexDravane.app")).status, 0);
        bound = true;
    }

    void TearDown() override
    {
        if (bound)
            RunShell("umount " + Quote(run / "HalvexDravane.app"));
    }

    Outcome Dravane(const std::string& arguments)
    {
        const fs::path out = scratch / "out.txt";
        const fs::path err = scratch / "err.txt";
        const std::string command = "env HALVEX_ASSUME_USB=1 LC_ALL=C LANG=C HOME=" + Quote(home) +
                                    " XDG_CONFIG_HOME=" + Quote(config) + " XDG_RUNTIME_DIR=" + Quote(runtime) + " " +
                                    Quote(program) + " --run-path " + Quote(run) + " " + arguments + " </dev/null >" +
                                    Quote(out) + " 2>" + Quote(err);
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
    }

    // The computer's folders and the drive, but not the suite's own bundle,
    // the user's record or the log folder, which a run may write.
    Snapshot Everything() const
    {
        Snapshot all;
        for (const auto& [name, content] : TreeSnapshot(root.path(), {config, runtime, run / "HalvexDravane.app"}))
            all["computer/" + name] = content;
        if (GetParam() == DriveKind::ExFat)
            for (const auto& [name, content] : TreeSnapshot(run, {run / "HalvexDravane.app"}))
                all["drive/" + name] = content;
        return all;
    }

    // The name of an entry in Everything().
    std::string Named(const fs::path& path) const
    {
        const fs::path relative = path.lexically_relative(root.path());
        if (!relative.empty() && *relative.begin() != ".." && (GetParam() == DriveKind::Ext4 || !IsOnDrive(path)))
            return "computer/" + relative.string();
        return "drive/" + path.lexically_relative(run).string();
    }
    bool IsOnDrive(const fs::path& path) const
    {
        const fs::path relative = path.lexically_relative(run);
        return !relative.empty() && *relative.begin() != "..";
    }

    // A set "Docs" whose information file names `original`, holding
    // notes.txt (dated 2030) and, when asked, two more files beside it.
    void MakeSet(const fs::path& original, bool extraEntries)
    {
        const fs::path set = run / "Backup" / "Docs";
        WriteFile(set / "info.ini", original.string() + "/\n");
        const TempFolder stage("stage");
        WriteFile(stage / "notes.txt", "from the drive");
        SetTime(stage / "notes.txt", 1'893'456'000);
        std::string names = "notes.txt";
        if (extraEntries) {
            WriteFile(stage / "evil.sh", "#!/bin/sh\necho owned\n");
            fs::permissions(stage / "evil.sh", fs::perms(0755));
            WriteFile(stage / "evil.desktop", "[Desktop Entry]\nExec=sh evil.sh\n");
            names += " evil.sh evil.desktop";
        }
        const fs::path archive = set / "Current Backup" / "notes.txt.zip";
        fs::create_directories(archive.parent_path());
        ASSERT_EQ(RunShell("cd " + Quote(stage.path()) + " && zip -qX " + Quote(archive) + " " + names).status, 0);
        SetTime(archive, 1'893'456'000);
    }

    TempFolder root{"hostile"};
    TempFolder scratch{"hostile-out"};
    fs::path home = root / "home";
    fs::path outside = root / "outside";
    fs::path config = root / "config";
    fs::path runtime = root / "runtime";
    fs::path run;
    fs::path program;
    std::unique_ptr<FatVolume> volume;
    bool bound = false;
};

std::string KindName(const ::testing::TestParamInfo<DriveKind>& info)
{
    return info.param == DriveKind::Ext4 ? "ext4" : "exFAT";
}

}  // namespace

TEST_P(HostileDriveCommandTest, RestoreToAnOriginalFolderTheDriveNames)
{
    struct Row {
        const char* name;
        fs::path original;  // what the set's information file says
        bool extraEntries;
        std::string options;  // before "restore"
        std::string destination;
        int status;
        std::string says;
        std::vector<fs::path> written;  // below the root
    };
    const std::vector<Row> table = {
        {"outside home", outside / "victim", false, "--yes", "--original", 2, "does not lie in your home folder", {}},
        {"hidden folder",
         home / ".config" / "autostart",
         true,
         "--yes",
         "--original",
         2,
         "lies in a hidden folder",
         {}},
        {"link on the way", home / "docs-link", false, "--yes", "--original", 1, "a link stands on the way", {}},
        {"not backed up here, no one to answer",
         home / "Documents",
         false,
         "",
         "--original",
         2,
         "[y/N] no (not a terminal",
         {}},
        {"extra entries", home / "Documents", true, "--yes", "--original", 1, "holds more than its own file", {}},
        {"outside home named with --to",
         home / ".config" / "autostart",
         false,
         "",
         "--to " + Quote(outside / "chosen"),
         0,
         "1 restored",
         {"outside/chosen", "outside/chosen/notes.txt"}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        fs::remove_all(run / "Backup");
        for (const fs::path& folder : {home, outside})
            fs::remove_all(folder);
        WriteFile(outside / "victim" / "notes.txt", "the user's own");
        WriteFile(home / "Documents" / "notes.txt", "the user's own");
        WriteFile(home / ".config" / "autostart" / "keep.desktop", "sentinel");
        fs::create_directory_symlink(outside / "victim", home / "docs-link");
        fs::create_directories(run / "Halvex Data");
        MakeSet(row.original, row.extraEntries);

        const Snapshot before = Everything();
        const Outcome o = Dravane(row.options + " restore --set Docs " + row.destination);
        EXPECT_EQ(o.status, row.status) << o.out << o.err;
        EXPECT_NE((o.out + o.err).find(row.says), std::string::npos) << o.out << o.err;
        if (row.destination == "--original") {
            EXPECT_NE((o.out + o.err).find(row.original.string() + "/"), std::string::npos)
                << "the folder is shown: " << o.out << o.err;
        }
        std::vector<std::string> expected;
        for (const fs::path& path : row.written)
            expected.push_back("computer/" + path.string());
        EXPECT_EQ(Changed(before, Everything()), expected);
    }
}

TEST_P(HostileDriveCommandTest, RestoreToTheFolderThisUserBackedUpAsksNothing)
{
    WriteFile(home / "Documents" / "report.txt", "report");
    WriteFile(home / "Documents" / "sub" / "deep.txt", "deep");
    ASSERT_EQ(Dravane("profile create --set Docs --source " + Quote(home / "Documents") + " --category All").status, 0);
    const Outcome backup = Dravane("backup");
    ASSERT_EQ(backup.status, 0) << backup.err;
    fs::remove_all(home / "Documents");

    const Snapshot before = Everything();
    const Outcome o = Dravane("restore --set Docs --recursive --original");
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_EQ(o.err.find("[y/N]"), std::string::npos) << o.err;
    EXPECT_NE((o.out + o.err).find((home / "Documents").string() + "/"), std::string::npos) << o.out << o.err;
    EXPECT_EQ(ReadFile(home / "Documents" / "sub" / "deep.txt"), "deep");
    EXPECT_EQ(Changed(before, Everything()),
              (std::vector<std::string>{"computer/home/Documents", "computer/home/Documents/report.txt",
                                        "computer/home/Documents/sub", "computer/home/Documents/sub/deep.txt"}));
}

TEST_P(HostileDriveCommandTest, SyncFolderFromTheDriveIndex)
{
    struct Row {
        const char* name;
        bool editIndex;  // to a folder outside that this user never chose
        std::string options;
        int status;
        std::string says;
        std::vector<std::string> written;
    };
    const std::string victim = Named(outside / "victim2");
    const std::string mine = Named(home / "Sync");
    const std::string drive = Named(run / "Sync Folder");
    const std::vector<Row> table = {
        {"edited index", true, "", 2, "--computer-folder", {}},
        {"edited index, list only", true, "--list", 2, "was not chosen on this computer", {}},
        {"edited index, --yes", true, "--yes sync", 2, "--computer-folder", {}},
        {"folder chosen here", false, "", 0, "2 file(s) synchronized", {mine + "/fromdrive.txt", drive + "/mine.txt"}},
        {"edited index confirmed by name",
         true,
         "--computer-folder " + Quote(outside / "victim2"),
         0,
         "2 file(s) synchronized",
         {victim + "/fromdrive.txt", drive + "/tax-2024.pdf"}},
    };
    const fs::path index = halvex::SyncIndexPath(run / "Halvex Data");
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        for (const fs::path& folder : {home, outside, run / "Sync Folder", run / "Halvex Data", config})
            fs::remove_all(folder);
        WriteFile(outside / "victim2" / "tax-2024.pdf", "the user's own", 1'600'000'000);
        WriteFile(home / "Sync" / "mine.txt", "mine", 1'600'000'000);
        WriteFile(run / "Sync Folder" / "fromdrive.txt", "from the drive", 1'600'000'000);
        const Outcome chosen = Dravane("sync --computer-folder " + Quote(home / "Sync") + " --list");
        ASSERT_EQ(chosen.status, 0) << chosen.err;
        if (row.editIndex) {
            ASSERT_TRUE(halvex::WriteComputerFolder(index, halvex::ScrambleIdentity(halvex::ComputerIdentity()),
                                                    outside / "victim2"));
        }

        const Snapshot before = Everything();
        const std::string command = row.options.rfind("--yes", 0) == 0 ? row.options : "sync " + row.options;
        const Outcome o = Dravane(command);
        EXPECT_EQ(o.status, row.status) << o.out << o.err;
        EXPECT_NE((o.out + o.err).find(row.says), std::string::npos) << o.out << o.err;
        std::vector<std::string> expected = row.written;
        std::sort(expected.begin(), expected.end());
        std::vector<std::string> changed = Changed(before, Everything());
        // A run that copies leaves its log and preference files on the drive.
        std::erase_if(changed, [&](const std::string& name) {
            return row.status == 0 && name.find("Halvex Data/") != std::string::npos && name != Named(index);
        });
        EXPECT_EQ(changed, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Drives, HostileDriveCommandTest, ::testing::Values(DriveKind::Ext4, DriveKind::ExFat),
                         KindName);
