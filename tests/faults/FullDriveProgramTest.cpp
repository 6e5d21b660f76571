// `dravane backup` and `dravane sync` on a drive that is nearly full: a drive
// of its own (a 1 MiB tmpfs in a private mount namespace) whose run path holds
// the build's suite.

#include <gtest/gtest.h>

#include <sstream>

#include "FaultTestSupport.h"
#include "ShellCommand.h"

using namespace faults;
using halvex::test::ShellQuoted;

namespace {

// The report of a child, cut at its "\n@\n" marks.
std::vector<std::string> Parts(const std::string& report)
{
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t next; (next = report.find("\n@\n", at)) != std::string::npos; at = next + 3)
        parts.push_back(report.substr(at, next - at));
    parts.push_back(report.substr(at));
    return parts;
}

class FullDriveProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(ProgramPath("dravane")))
            FAIL() << "dravane is not built in " << HALVEX_PROGRAM_DIR;
        if (!RunningAsRoot())
            GTEST_SKIP() << "a small volume of its own needs root";
        fs::create_directories(run);
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
    }

    // Runs dravane in the child that has the small drive; "status|output".
    std::string Dravane(const std::string& arguments)
    {
        const fs::path out = tmp / "out.txt";
        const std::string command =
            "env HALVEX_ASSUME_USB=1 LC_ALL=C LANG=C XDG_RUNTIME_DIR=" + ShellQuoted(runtime.string()) + " " +
            ShellQuoted(ProgramPath("dravane").string()) + " --run-path " + ShellQuoted(run.string()) + " " +
            arguments + " </dev/null >" + ShellQuoted(out.string()) + " 2>&1";
        const int raw = std::system(command.c_str());
        return std::to_string(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1) + "|" + ReadFile(out);
    }

    void PrepareDrive()
    {
        fs::create_directory_symlink(fs::path(HALVEX_PROGRAM_DIR).parent_path().parent_path(),
                                     run / "HalvexDravane.app");
    }

    TempFolder tmp;
    fs::path run = tmp / "run";
    fs::path source = tmp / "source";
    fs::path runtime = tmp / "runtime";
};

}  // namespace

// The backup measures first: a set that does not fit gives message 15 before
// anything is written, and once it fits the backup completes.
TEST_F(FullDriveProgramTest, BackupThatDoesNotFitStopsBeforeWriting)
{
    WriteFile(source / "big.bin", NoiseBytes(3 << 20, 3), 1'600'000'000);
    WriteFile(source / "small.txt", "small", 1'600'000'000);
    const auto report = WithSmallVolume(run, "1m", [&] {
        PrepareDrive();
        std::ostringstream out;
        out << Dravane("profile create --set Set --source " + ShellQuoted(source.string()) + " --category All")
            << "\n@\n";
        out << Dravane("backup") << "\n@\n";
        out << fs::exists(run / "Backup" / "Set" / "Current Backup") << "\n@\n";
        fs::remove(source / "big.bin");
        out << Dravane("backup") << "\n@\n";
        out << fs::exists(run / "Backup" / "Set" / "Current Backup" / "small.txt.zip");
        return out.str();
    });
    if (!report)
        GTEST_SKIP() << "no private mount namespace with a tmpfs here";
    const std::vector<std::string> parts = Parts(*report);
    ASSERT_EQ(parts.size(), 5u) << *report;
    EXPECT_EQ(parts[0].rfind("0|", 0), 0u) << parts[0];
    EXPECT_EQ(parts[1].rfind("2|", 0), 0u) << parts[1];
    EXPECT_NE(parts[1].find("Not enough free space on USB drive to perform backup."), std::string::npos) << parts[1];
    EXPECT_EQ(parts[2], "0") << "nothing written";
    EXPECT_EQ(parts[3].rfind("0|", 0), 0u) << parts[3];
    EXPECT_NE(parts[3].find("1 stored, 0 failed"), std::string::npos) << parts[3];
    EXPECT_EQ(parts[4], "1");
}

// A file too large for the drive: the run stops there with the
// disk-full message and status 1, the earlier copy on the drive is whole, no
// temporary is left, and with room made the next run completes.
TEST_F(FullDriveProgramTest, SyncStopsAtAFullDriveAndCompletesWithRoom)
{
    const fs::path computer = tmp / "computer";
    WriteFile(computer / "a.txt", "a", 1'700'000'000);
    WriteFile(computer / "big.bin", NoiseBytes(3 << 20, 5), 1'700'000'000);
    const auto report = WithSmallVolume(run, "1m", [&] {
        PrepareDrive();
        const fs::path drive = run / "Sync Folder";
        WriteFile(drive / "big.bin", "earlier version", 1'600'000'000);
        std::ostringstream out;
        out << Dravane("--yes sync --computer-folder " + ShellQuoted(computer.string()) + " --list") << "\n@\n";
        out << Dravane("sync") << "\n@\n";
        out << ReadFile(drive / "big.bin") << "\n@\n" << CopyLeftovers(drive).size() << "\n@\n";
        WriteFile(computer / "big.bin", "fits now", 1'800'000'000);
        out << Dravane("sync") << "\n@\n" << ReadFile(drive / "big.bin") << "\n@\n" << ReadFile(drive / "a.txt");
        return out.str();
    });
    if (!report)
        GTEST_SKIP() << "no private mount namespace with a tmpfs here";
    const std::vector<std::string> parts = Parts(*report);
    ASSERT_EQ(parts.size(), 7u) << *report;
    EXPECT_EQ(parts[0].rfind("0|", 0), 0u) << parts[0];
    EXPECT_EQ(parts[1].rfind("1|", 0), 0u) << parts[1];
    EXPECT_NE(parts[1].find("There is not enough free space on"), std::string::npos) << parts[1];
    EXPECT_EQ(parts[2], "earlier version");
    EXPECT_EQ(parts[3], "0");
    EXPECT_EQ(parts[4].rfind("0|", 0), 0u) << parts[4];
    EXPECT_EQ(parts[5], "fits now");
    EXPECT_EQ(parts[6], "a");
}
