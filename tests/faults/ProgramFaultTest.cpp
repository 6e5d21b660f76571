// The real programs killed (SIGKILL), or their drive folder pulled away, in the
// middle of writing a large file to the drive: `dravane sync`, `dravane backup`
// and the Updater. Nothing the user had may be lost or cut short, a run that
// lost its drive must not report success, and the next run must tidy up and
// complete.

#include <gtest/gtest.h>

#include "../update/UpdateTestSupport.h"
#include "FaultTestSupport.h"
#include "zip/ZipArchive.h"

using namespace faults;
using namespace std::chrono_literals;

namespace {

bool StartsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A drive-shaped run path whose bundle is the build's own, and the
// environment that makes dravane take it for a drive of the suite.
class ProgramFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(ProgramPath("dravane")))
            FAIL() << "dravane is not built in " << HALVEX_PROGRAM_DIR;
        fs::create_directories(run);
        fs::create_directories(computer);
        fs::create_directories(runtime);
        fs::create_directories(output);
        fs::permissions(runtime, fs::perms::owner_all);
        fs::create_directory_symlink(fs::path(HALVEX_PROGRAM_DIR).parent_path().parent_path(),
                                     run / "HalvexDravane.app");
    }

    std::vector<std::string> Environment() const
    {
        return {"HALVEX_ASSUME_USB=1", "LC_ALL=C", "LANG=C", "XDG_RUNTIME_DIR=" + runtime.string()};
    }

    std::unique_ptr<Child> Start(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {ProgramPath("dravane").string(), "--run-path", run.string()});
        return std::make_unique<Child>(arguments, Environment(), output);
    }

    // Starts dravane with a watch on folder, and answers the first new name
    // there that begins with prefix and ends with suffix; nullopt when none
    // came within a minute.
    std::optional<std::string> StartUntilCreated(std::unique_ptr<Child>& child,
                                                 const std::vector<std::string>& arguments, const fs::path& folder,
                                                 const std::string& prefix, const std::string& suffix = {})
    {
        CreationWatch watch(folder);
        if (!watch.ready())
            return std::nullopt;
        child = Start(arguments);
        return watch.WaitFor(
            [&](const std::string& name) { return StartsWith(name, prefix) && EndsWith(name, suffix); }, 60s);
    }

    int Dravane(const std::vector<std::string>& arguments, std::string* out = nullptr)
    {
        auto child = Start(arguments);
        const int code = child->ExitCode();
        if (out)
            *out = child->Out() + child->Err();
        return code;
    }

    TempFolder tmp;
    fs::path run = tmp / "run";
    fs::path drive = tmp / "run" / "Sync Folder";
    fs::path computer = tmp / "computer";
    fs::path runtime = tmp / "runtime";
    fs::path output = tmp / "output";
};

}  // namespace

TEST_F(ProgramFaultTest, SyncKilledMidCopyKeepsTheEarlierVersionAndTheNextRunCompletes)
{
    const std::string fresh = NumberedLines(64 << 20, "new");
    WriteFile(computer / "big.bin", fresh, 1'700'000'000);
    WriteFile(computer / "small.txt", "small", 1'700'000'000);
    WriteFile(drive / "big.bin", "earlier version", 1'600'000'000);
    WriteFile(drive / "photo.jpg", "from the drive", 1'700'000'000);
    std::string said;
    ASSERT_EQ(Dravane({"sync", "--computer-folder", computer.string(), "--list"}, &said), 0) << said;

    std::unique_ptr<Child> sync;
    const auto temporary = StartUntilCreated(sync, {"sync"}, drive, ".halvex-part-", "big.bin");
    ASSERT_TRUE(temporary) << "the copy of big.bin never began: " << (sync ? sync->Err() : "");
    sync->Kill();
    EXPECT_EQ(sync->ExitCode(), -SIGKILL);

    EXPECT_EQ(ReadFile(drive / "big.bin"), "earlier version");
    EXPECT_EQ(ReadFile(computer / "big.bin"), fresh);
    EXPECT_EQ(NamesStartingWith(drive, ".halvex-part-"), std::vector<std::string>{*temporary});

    ASSERT_EQ(Dravane({"sync"}, &said), 0) << said;
    EXPECT_EQ(ReadFile(drive / "big.bin"), fresh);
    EXPECT_EQ(ReadFile(drive / "small.txt"), "small");
    EXPECT_EQ(ReadFile(computer / "photo.jpg"), "from the drive");
    EXPECT_TRUE(CopyLeftovers(drive).empty()) << "the killed copy's temporary is removed";
    EXPECT_TRUE(CopyLeftovers(computer).empty());
    ASSERT_EQ(Dravane({"sync"}, &said), 0);
    EXPECT_NE(said.find("There are no files to synchronize."), std::string::npos) << said;
}

TEST_F(ProgramFaultTest, BackupKilledMidArchiveKeepsTheStoredCopyAndTheNextRunCompletes)
{
    const fs::path source = computer;
    const fs::path current = run / "Backup" / "Set" / "Current Backup";
    const fs::path recent = run / "Backup" / "Set" / "Recent Backup";
    WriteFile(source / "big.txt", "earlier version", 1'600'000'000);
    WriteFile(source / "other.txt", "other", 1'600'000'000);
    std::string said;
    ASSERT_EQ(Dravane({"profile", "create", "--set", "Set", "--source", source.string(), "--category", "All"}, &said),
              0)
        << said;
    ASSERT_EQ(Dravane({"backup"}, &said), 0) << said;
    ASSERT_TRUE(fs::exists(current / "big.txt.zip")) << said;

    const std::string fresh = NumberedLines(64 << 20, "new");
    WriteFile(source / "big.txt", fresh, 1'700'000'000);
    std::unique_ptr<Child> backup;
    const auto partial = StartUntilCreated(backup, {"backup", "--on-error", "stop"}, current, ".big.txt.zip.partial-");
    ASSERT_TRUE(partial) << "the archive of big.txt was never begun: " << (backup ? backup->Err() : "");
    backup->Kill();
    EXPECT_EQ(backup->ExitCode(), -SIGKILL);

    const fs::path scratch = tmp / "scratch";
    fs::create_directories(scratch);
    ASSERT_TRUE(halvex::CopyFileUnZip(scratch / "big.txt", current / "big.txt.zip").ok);
    EXPECT_EQ(ReadFile(scratch / "big.txt"), "earlier version");
    EXPECT_FALSE(fs::exists(recent / "big.txt.zip")) << "nothing rotated for an archive not finished";
    EXPECT_EQ(NamesStartingWith(current, ".big.txt.zip.partial-"), std::vector<std::string>{*partial});

    ASSERT_EQ(Dravane({"backup"}, &said), 0) << said;
    EXPECT_NE(said.find("1 stored, 0 failed"), std::string::npos) << said;
    fs::remove(scratch / "big.txt");
    ASSERT_TRUE(halvex::CopyFileUnZip(scratch / "big.txt", current / "big.txt.zip").ok);
    EXPECT_EQ(ReadFile(scratch / "big.txt"), fresh);
    fs::remove(scratch / "big.txt");
    ASSERT_TRUE(halvex::CopyFileUnZip(scratch / "big.txt", recent / "big.txt.zip").ok);
    EXPECT_EQ(ReadFile(scratch / "big.txt"), "earlier version");
    EXPECT_TRUE(NamesStartingWith(current, ".").empty()) << "the partial archive is removed";
}

TEST_F(ProgramFaultTest, RestoreKilledMidExtractKeepsTheFileItReplacesAndTheNextRunCompletes)
{
    const std::string fresh = NumberedLines(64 << 20, "stored");
    WriteFile(computer / "big.txt", fresh, 1'600'000'000);
    std::string said;
    ASSERT_EQ(Dravane({"profile", "create", "--set", "Set", "--source", computer.string(), "--category", "All"}, &said),
              0)
        << said;
    ASSERT_EQ(Dravane({"backup"}, &said), 0) << said;
    const fs::path target = tmp / "restored";
    WriteFile(target / "big.txt", "earlier version", 1'500'000'000);
    const std::vector<std::string> restore = {"restore", "--set", "Set", "--to", target.string(), "--overwrite", "yes"};

    std::unique_ptr<Child> first;
    const auto temporary = StartUntilCreated(first, restore, target, ".big.txt.restore-");
    ASSERT_TRUE(temporary) << "the restore of big.txt never began: " << (first ? first->Err() : "");
    first->Kill();
    EXPECT_EQ(first->ExitCode(), -SIGKILL);
    EXPECT_EQ(ReadFile(target / "big.txt"), "earlier version");
    EXPECT_EQ(NamesStartingWith(target, "."), std::vector<std::string>{*temporary});

    ASSERT_EQ(Dravane(restore, &said), 0) << said;
    EXPECT_NE(said.find("1 restored, 0 skipped, 0 failed"), std::string::npos) << said;
    EXPECT_EQ(ReadFile(target / "big.txt"), fresh);
    EXPECT_TRUE(NamesStartingWith(target, ".").empty()) << "the killed restore's temporary is removed";
}

// The drive's sync folder goes (renamed away, as a drive pulled and put back
// under another mount point) while a large file is copied onto it: the
// command says so and fails, creates nothing where the folder was, and the
// earlier version of the file is intact in the folder that went.
TEST_F(ProgramFaultTest, SyncWhoseDriveFolderGoesMidCopyStopsWithAMessage)
{
    const std::string fresh = NumberedLines(64 << 20, "new");
    WriteFile(computer / "big.bin", fresh, 1'700'000'000);
    WriteFile(drive / "big.bin", "earlier version", 1'600'000'000);
    std::string said;
    ASSERT_EQ(Dravane({"sync", "--computer-folder", computer.string(), "--list"}, &said), 0) << said;

    std::unique_ptr<Child> sync;
    ASSERT_TRUE(StartUntilCreated(sync, {"sync"}, drive, ".halvex-part-")) << (sync ? sync->Err() : "");
    sync->Stop();
    const fs::path pulled = run / "pulled";
    fs::rename(drive, pulled);
    sync->Continue();
    EXPECT_EQ(sync->ExitCode(), 1);
    said = sync->Out() + sync->Err();
    EXPECT_NE(said.find("went away during the sync"), std::string::npos) << said;
    EXPECT_NE(said.find("1 file(s) could not be synchronized."), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(drive)) << "nothing is created where the drive folder was";
    EXPECT_EQ(ReadFile(pulled / "big.bin"), "earlier version");
    EXPECT_EQ(ReadFile(computer / "big.bin"), fresh);
}

// The same for a backup: the drive's backup folder goes while an archive is
// written. Message 13, status 2, no "completed", and the profile's last
// backup time is not moved on for a set that is not whole.
TEST_F(ProgramFaultTest, BackupWhoseDriveFolderGoesMidArchiveStopsWithMessage13)
{
    const fs::path current = run / "Backup" / "Set" / "Current Backup";
    WriteFile(computer / "a.txt", "a", 1'600'000'000);
    std::string said;
    ASSERT_EQ(Dravane({"profile", "create", "--set", "Set", "--source", computer.string(), "--category", "All"}, &said),
              0)
        << said;
    ASSERT_EQ(Dravane({"backup"}, &said), 0) << said;
    const fs::path profile = run / "Halvex Data" / "com.halvex.pellory.backup.profile1.plist";
    const std::string profileAfterFirst = ReadFile(profile);

    WriteFile(computer / "big.txt", NumberedLines(64 << 20, "new"), 1'700'000'000);
    std::unique_ptr<Child> backup;
    ASSERT_TRUE(StartUntilCreated(backup, {"backup", "--on-error", "skip"}, current, ".big.txt.zip.partial-"))
        << (backup ? backup->Err() : "");
    backup->Stop();
    const fs::path pulled = run / "pulled";
    fs::rename(run / "Backup", pulled);
    backup->Continue();
    EXPECT_EQ(backup->ExitCode(), 2);
    said = backup->Out() + backup->Err();
    EXPECT_NE(said.find("USB device volume path is not valid."), std::string::npos) << said;
    EXPECT_EQ(said.find("completed"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(run / "Backup")) << "nothing is created where the folder was";
    EXPECT_TRUE(fs::exists(pulled / "Set" / "Current Backup" / "a.txt.zip"));
    EXPECT_FALSE(fs::exists(pulled / "Set" / "Current Backup" / "big.txt.zip"));
    EXPECT_EQ(ReadFile(profile), profileAfterFirst) << "no last backup time for a set that is not whole";
}

// The Updater's command line as the suite's hand-off gives it, for a suite
// that has already quit, with the package signed as 9.0.0 by a key the drive
// lists.
std::vector<std::string> UpdaterArguments(const fs::path& bundle, const fs::path& package)
{
    const halvex::test::UpdateSigner publisher;
    WriteFile(bundle / "Contents" / "Resources" / "Configuration.plist",
              halvex::test::ConfigurationListing({publisher.PublicKey()}));
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    return {ProgramPath("Updater").string(),
            "-pid",
            std::to_string(ended),
            "-name",
            "Pellory",
            "-cur",
            bundle.string(),
            "-zip",
            package.string(),
            "-ver",
            "9.0.0",
            "-sig",
            publisher.SignPackage(package, "9.0.0"),
            "-silent",
            "1"};
}

// The Updater killed while it swaps a drive's files, at the moment its
// journal says the swapping has begun: the drive's launcher brings the drive
// back to one version before it copies or starts anything, and the next
// Updater run installs the update whole.
TEST_F(ProgramFaultTest, UpdaterKilledAmidItsSwapsLeavesOneVersionThatTheLauncherStarts)
{
    if (!fs::exists(ProgramPath("Updater")))
        FAIL() << "the Updater is not built";
    const fs::path top = tmp / "stick";
    const fs::path programs = top / "HalvexDravane.app" / "Contents" / "Linux";
    const fs::path journal = top / ".halvex-update-journal";
    // The drive's "dravane" says which versions the files beside it are.
    WriteFile(programs / "dravane", "#!/bin/sh\ncat \"$(dirname \"$0\")\"/part-* | sort -u\n");
    WriteFile(programs / "VERSION", "1.0\n");
    fs::copy_file(fs::path(HALVEX_SOURCE_DIR) / "scripts" / "drive" / "HalvexDravane.sh", top / "HalvexDravane.sh");
    // Many small files, so that the kill lands among the swaps.
    std::vector<std::string> arguments = {"python3", (fs::path(HALVEX_TEST_DATA) / "update" / "make_zip.py").string(),
                                          (tmp / "temp" / "Dravane-2.zip").string()};
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "part-" + std::to_string(1000 + i);
        WriteFile(programs / name, "N\n");
        WriteFile(tmp / "work" / name, "N+1\n", 1'700'000'000);
        arguments.push_back("HalvexDravane.app/Contents/Linux/" + name + "=" + (tmp / "work" / name).string());
    }
    fs::create_directories(tmp / "temp");
    {
        Child zip(arguments, {}, output);
        ASSERT_EQ(zip.ExitCode(), 0) << zip.Err();
    }
    const std::vector<std::string> updater =
        UpdaterArguments(top / "HalvexDravane.app", tmp / "temp" / "Dravane-2.zip");
    const std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen",
                                                  "XDG_CACHE_HOME=" + (tmp / "cache").string()};

    CreationWatch watch(top);
    ASSERT_TRUE(watch.ready());
    auto first = std::make_unique<Child>(updater, environment, output);
    const auto swapping = watch.WaitFor(
        [&](const std::string& name) {
            return name == journal.filename().string() &&
                   ReadFile(journal).find("state replacing") != std::string::npos;
        },
        60s);
    first->Kill();
    ASSERT_TRUE(swapping) << "the journal never said the swapping began: " << first->Err();
    EXPECT_EQ(first->ExitCode(), -SIGKILL);
    ASSERT_TRUE(fs::exists(journal)) << "the kill came after the install ended";

    Child launcher({"sh", (top / "HalvexDravane.sh").string(), "--cli"}, environment, output);
    ASSERT_EQ(launcher.ExitCode(), 0) << launcher.Err();
    EXPECT_TRUE(launcher.Out() == "N\n" || launcher.Out() == "N+1\n") << launcher.Out();
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_TRUE(NamesStartingWith(programs, ".halvex-").empty());

    Child second(updater, environment, output);
    ASSERT_EQ(second.ExitCode(), 0) << second.Err();
    Child after({"sh", (top / "HalvexDravane.sh").string(), "--cli"}, environment, output);
    ASSERT_EQ(after.ExitCode(), 0) << after.Err();
    EXPECT_EQ(after.Out(), "N+1\n") << after.Err();
    EXPECT_FALSE(fs::exists(tmp / "temp" / "Dravane-2.zip"));
}

// The Updater copies each file from its unpack folder in the temporary folder
// onto the drive, another volume, through a temporary name. Killed in the
// middle of one, the suite on the drive must still be whole, file by file old
// or new, and running the update again must finish it.
TEST_F(ProgramFaultTest, UpdaterKilledMidPlacementLeavesOldOrNewFilesAndARerunFinishes)
{
    if (!fs::exists(ProgramPath("Updater")))
        FAIL() << "the Updater is not built";
    struct stat packageVolume {
    }, driveVolume{};
    if (::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second volume for the temporary folder";
    TempFolder packageFolder("faults", "/dev/shm");
    if (::stat(packageFolder.path().c_str(), &packageVolume) != 0 || ::stat(tmp.path().c_str(), &driveVolume) != 0 ||
        packageVolume.st_dev == driveVolume.st_dev)
        GTEST_SKIP() << "no second volume for the temporary folder";

    const fs::path suite = tmp / "drive" / "HalvexDravane.app";
    const fs::path resources = suite / "Contents" / "Resources";
    WriteFile(suite / "Contents" / "Linux" / "HalvexDravane",
              "#!/bin/sh\necho relaunched > '" + (tmp / "relaunched.mark").string() + "'\n");
    fs::permissions(suite / "Contents" / "Linux" / "HalvexDravane", fs::perms(0755));
    WriteFile(resources / "old.txt", "old text");
    WriteFile(resources / "big.bin", "earlier version");

    const std::string fresh = NumberedLines(64 << 20, "new");
    WriteFile(tmp / "work" / "big.bin", fresh);
    WriteFile(tmp / "work" / "old.txt", "new text");
    const fs::path package = packageFolder / "Dravane-1.1.zip";
    {
        Child zip({"python3", (fs::path(HALVEX_TEST_DATA) / "update" / "make_zip.py").string(), package.string(),
                   "HalvexDravane.app/Contents/Resources/old.txt=" + (tmp / "work" / "old.txt").string(),
                   "HalvexDravane.app/Contents/Resources/big.bin=" + (tmp / "work" / "big.bin").string()},
                  {}, output);
        ASSERT_EQ(zip.ExitCode(), 0) << zip.Err();
    }
    const std::vector<std::string> updater = UpdaterArguments(suite, package);
    const std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen"};

    CreationWatch watch(resources);
    ASSERT_TRUE(watch.ready());
    auto first = std::make_unique<Child>(updater, environment, output);
    const auto temporary = watch.WaitFor(
        [](const std::string& name) { return StartsWith(name, ".halvex-part-") && EndsWith(name, "big.bin"); }, 60s);
    ASSERT_TRUE(temporary) << "big.bin was never placed: " << first->Err();
    first->Kill();
    EXPECT_EQ(first->ExitCode(), -SIGKILL);

    const std::string old = ReadFile(resources / "old.txt");
    EXPECT_TRUE(old == "old text" || old == "new text") << old;
    EXPECT_EQ(ReadFile(resources / "big.bin"), "earlier version");
    EXPECT_EQ(NamesStartingWith(resources, ".halvex-part-"), std::vector<std::string>{*temporary});
    ASSERT_TRUE(fs::exists(package)) << "the package stays for a second try";

    Child second(updater, environment, output);
    ASSERT_EQ(second.ExitCode(), 0) << second.Err();
    EXPECT_EQ(ReadFile(resources / "old.txt"), "new text");
    EXPECT_EQ(ReadFile(resources / "big.bin"), fresh);
    EXPECT_TRUE(CopyLeftovers(suite).empty()) << "the killed copy's temporary is removed";
    EXPECT_FALSE(fs::exists(package));
}
