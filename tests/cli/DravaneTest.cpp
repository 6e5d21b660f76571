#include "Dravane.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Cancel.h"
#include "Command.h"
#include "Context.h"
#include "FakeDriveTree.h"
#include "system/KMDevice.h"
#include "SystemTestSupport.h"

namespace fs = std::filesystem;
using namespace halvex::cli;
using halvex::test::FakeDriveTree;
using halvex::test::ScopedEnv;

namespace {

const fs::path kProgram = fs::path(HALVEX_PROGRAM_DIR) / "dravane";

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Result Dravane(const std::vector<std::string>& arguments, const std::string& input = {},
               Console::Terminal terminal = {}, const std::vector<const Command*>* commands = nullptr,
               const fs::path& executable = kProgram)
{
    std::ostringstream out, err;
    std::istringstream in(input);
    const DravaneIo io{out, err, in, terminal, executable};
    Result result;
    result.status = commands ? RunDravaneWith(*commands, arguments, io) : RunDravane(arguments, io);
    result.out = out.str();
    result.err = err.str();
    return result;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A command that needs the drive and asks one question, standing in for the
// commands that do real work.
int AskingRun(Context& context, const std::vector<std::string>& options)
{
    context.console().progress("Copying", 5, 10);
    context.console().out() << (context.console().askYesNo("Go on?") ? "answer: yes" : "answer: no") << '\n';
    for (const std::string& option : options)
        context.console().out() << "option: " << option << '\n';
    return kExitDone;
}
const Command kAsking{"ask", "asks", "ask\n", Needs::Drive, &AskingRun};

class DravaneTest : public ::testing::Test {
protected:
    halvex::test::TempFolder folder{"cli"};
    const fs::path root = folder.path();
    ScopedEnv locale{"LC_ALL", "C"};
};

TEST_F(DravaneTest, UsageErrorsAndHelp)
{
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string inOut;
        std::string inErr;
    };
    const std::vector<Case> cases = {
        {{}, kExitSetup, "", "Usage: dravane"},
        {{"--help"}, kExitDone, "Commands:", ""},
        {{"frobnicate"}, kExitSetup, "", "Unknown command frobnicate."},
        {{"--bogus", "info"}, kExitSetup, "", "Unknown option --bogus."},
        {{"--run-path"}, kExitSetup, "", "--run-path needs a value"},
        {{"info", "--help"}, kExitDone, "Usage: dravane [--run-path DIR] [--yes] info", ""},
        {{"--help", "info"}, kExitDone, "suite drive (yes/no)", ""},
        {{"version"}, kExitDone, "dravane 1.0.0.1", ""},
        {{"--run-path", "/no/such/folder", "info"}, kExitSetup, "", "/no/such/folder is not a folder"},
        {{"--run-path", root.string(), "info", "extra"}, kExitSetup, "", "Unexpected argument extra."},
        {{"--run-path=" + root.string(), "info", "--bogus"}, kExitSetup, "", "Unexpected argument --bogus."},
        {{"--run-path=/no/such/folder", "info"}, kExitSetup, "", "/no/such/folder is not a folder"},
        {{"--run-path", root.string(), "check-update", "--download=yes"},
         kExitSetup,
         "",
         "Unexpected argument --download=yes."},
        {{"--run-path", root.string(), "check-update", "now"}, kExitSetup, "", "Unexpected argument now."},
        {{"--run-path", root.string(), "autorun", "--status"}, kExitSetup, "", "Unexpected argument --status."},
        {{"--run-path", root.string(), "autorun", "status", "now"}, kExitSetup, "", "Unexpected argument now."},
        {{"--run-path", root.string(), "autorun"}, kExitSetup, "", "Usage: dravane autorun"},
        {{"--version", "--bogus"}, kExitSetup, "", "Unknown option --bogus."},
        {{"version", "--short"}, kExitSetup, "", "Unexpected argument --short."},
    };
    for (const Case& c : cases) {
        const Result result = Dravane(c.arguments);
        SCOPED_TRACE(::testing::PrintToString(c.arguments) + "\nout: " + result.out + "\nerr: " + result.err);
        EXPECT_EQ(result.status, c.status);
        EXPECT_NE(result.out.find(c.inOut), std::string::npos);
        EXPECT_NE(result.err.find(c.inErr), std::string::npos);
    }
}

TEST_F(DravaneTest, InfoReportsTheFakeUsbStickAndTheFakeNvmeDisk)
{
    FakeDriveTree tree("cli");
    tree.usbDevice("pci0000:00/0000:00:14.0/usb1/1-1", "090c", "1000", "Halvex", "Dravane Stick");
    tree.disk("pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb", true, {"sdb1"});
    tree.disk("pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", false, {"nvme0n1p2"});
    tree.mountLine("/", "/dev/nvme0n1p2", "ext4", "259:2");
    const fs::path stick = tree.mount("STICK", "/dev/sdb1", "vfat", "8:17");
    tree.label("MY\\x20STICK", "sdb1");
    ScopedEnv sysfs("HALVEX_SYSFS_ROOT", tree.sysfs().string());
    ScopedEnv mounts("HALVEX_MOUNTINFO", tree.mountInfo().string());
    ScopedEnv labels("HALVEX_DISK_BY_LABEL", tree.byLabel().string());

    const Result usb = Dravane({"--run-path", stick.string(), "info"});
    ASSERT_EQ(usb.status, kExitDone) << usb.err;
    const std::vector<std::string> lines = Lines(usb.out);
    const std::vector<std::string> keys = {"run path", "mount path",  "device", "label", "usb",  "vendor",
                                           "product",  "suite drive", "total",  "used",  "free", "vendor list"};
    ASSERT_EQ(lines.size(), keys.size()) << usb.out;
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(lines[i].substr(0, keys[i].size() + 2), keys[i] + ": ") << lines[i];
    EXPECT_EQ(lines[2], "device: /dev/sdb1 (sdb)");
    EXPECT_EQ(lines[3], "label: MY STICK");
    EXPECT_EQ(lines[4], "usb: yes");
    EXPECT_EQ(lines[5], "vendor: 090C (Halvex)");
    EXPECT_EQ(lines[6], "product: 1000 (Dravane Stick)");
    EXPECT_EQ(lines[7], "suite drive: yes");
    EXPECT_EQ(lines[11], "vendor list: built-in (090C 13FE 058F 1F75 1E3D)");
    EXPECT_FALSE(fs::exists(stick / "Halvex Data")) << "info writes nothing";

    const Result nvme = Dravane({"--run-path", root.string(), "info"});
    EXPECT_EQ(nvme.status, kExitDone);
    EXPECT_NE(nvme.out.find("usb: no\n"), std::string::npos) << nvme.out;
    EXPECT_NE(nvme.out.find("suite drive: no\n"), std::string::npos);

    // The drive test of the other commands refuses the NVMe disk.
    const std::vector<const Command*> table = {&kAsking};
    const Result refused = Dravane({"--run-path", root.string(), "ask"}, {}, {}, &table);
    EXPECT_EQ(refused.status, kExitSetup);
    EXPECT_NE(refused.err.find("is not on a USB drive"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(root / "Halvex Data"));
    EXPECT_EQ(Dravane({"--run-path", stick.string(), "--yes", "ask"}, {}, {}, &table).status, kExitDone);
    EXPECT_TRUE(fs::is_directory(stick / "Halvex Data"));

    // The drive's own vendor list decides once it names one.
    const fs::path resources = stick / "HalvexDravane.app/Contents/Resources";
    fs::create_directories(resources);
    fs::copy(fs::path(HALVEX_SOURCE_DIR) / "Resources/English.lproj", resources / "English.lproj");
    halvex::test::WriteFile(
        resources / "Configuration.plist",
        "<plist><dict><key>AcceptedVendorIDs</key><array><string>abcd</string></array></dict></plist>");
    const Result configured = Dravane({"--run-path", stick.string(), "info"});
    EXPECT_NE(configured.out.find("suite drive: no\n"), std::string::npos) << configured.out << configured.err;
    EXPECT_NE(configured.out.find("vendor list: drive configuration (ABCD)\n"), std::string::npos);
}

TEST_F(DravaneTest, AssumedDriveIsAnnouncedOnceAndSizesAreReal)
{
    ScopedEnv assume("HALVEX_ASSUME_USB", "1");
    const Result result = Dravane({"--run-path", root.string(), "info"});
    ASSERT_EQ(result.status, kExitDone) << result.err;
    EXPECT_NE(result.out.find("mount path: " + root.string() + "\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("label: " + root.filename().string() + "\n"), std::string::npos);
    EXPECT_NE(result.out.find("usb: yes\nvendor: " + std::string(KMDevice::sVendorID.front())), std::string::npos);
    EXPECT_EQ(result.out.find("total: 0 "), std::string::npos);
    const std::string notice = "HALVEX_ASSUME_USB=1";
    const std::size_t first = result.err.find(notice);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(result.err.find(notice, first + 1), std::string::npos);
}

TEST_F(DravaneTest, QuestionsAreAnsweredByYesTheTerminalOrNo)
{
    ScopedEnv assume("HALVEX_ASSUME_USB", "1");
    const std::vector<const Command*> table = {&kAsking};
    const std::string run = root.string();
    struct Case {
        std::vector<std::string> arguments;
        std::string input;
        bool terminalInput;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {{"--run-path", run, "--yes", "ask"}, "", false, "answer: yes"},
        {{"--run-path", run, "ask", "-y", "--", "-y"}, "", false, "answer: yes\noption: --\noption: -y"},
        {{"--run-path", run, "ask"}, "y\n", false, "answer: no"},  // a script is never asked
        {{"--run-path", run, "ask"}, "maybe\nYes\n", true, "answer: yes"},
        {{"--run-path", run, "ask"}, "\n", true, "answer: no"},
        {{"--run-path", run, "ask"}, "", true, "answer: no"},  // end of input
    };
    for (const Case& c : cases) {
        const Result result = Dravane(c.arguments, c.input, {false, c.terminalInput}, &table);
        SCOPED_TRACE(::testing::PrintToString(c.arguments) + " input " + c.input + "\nerr: " + result.err);
        EXPECT_EQ(result.status, kExitDone);
        EXPECT_EQ(result.out, c.answer + "\n");
        EXPECT_EQ(result.err.find('\r'), std::string::npos) << "no progress drawn without a terminal";
    }
    const Result drawn = Dravane({"--run-path", run, "--yes", "ask"}, "", {true, false}, &table);
    EXPECT_NE(drawn.err.find("\rCopying  50% (5 of 10)"), std::string::npos) << drawn.err;
}

// The command still runs; the user learns why nothing it keeps will last.
TEST_F(DravaneTest, ADataFolderThatCannotBeMadeIsReported)
{
    ScopedEnv assume("HALVEX_ASSUME_USB", "1");
    halvex::test::WriteFile(root / "Halvex Data", "a file where the folder belongs");
    const std::vector<const Command*> table = {&kAsking};
    const Result result = Dravane({"--run-path", root.string(), "--yes", "ask"}, "", {}, &table);
    EXPECT_EQ(result.status, kExitDone);
    EXPECT_NE(result.err.find("could not be created on the"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find((root / "Halvex Data").string() + ": Not a directory"), std::string::npos) << result.err;
}

TEST_F(DravaneTest, MissingOrEmptyStringTableStopsStartUp)
{
    // A program in a bundle whose string table is empty.
    const fs::path bundle = root / "drive" / "HalvexDravane.app" / "Contents";
    fs::create_directories(bundle / "Linux");
    fs::create_directories(bundle / "Resources" / "English.lproj");
    halvex::test::WriteFile(bundle / "Linux" / "dravane", "");
    halvex::test::WriteFile(bundle / "Resources" / "English.lproj" / "Localizable.strings", "/* nothing */\n");

    const Result empty = Dravane({"info"}, {}, {}, nullptr, bundle / "Linux" / "dravane");
    EXPECT_EQ(empty.status, kExitSetup);
    const fs::path table = bundle / "Resources" / "English.lproj" / "Localizable.strings";
    EXPECT_EQ(empty.err, std::string(kResourcesFailedMessage) + " (" + table.string() + ")\n");
    EXPECT_TRUE(empty.out.empty());

    fs::remove_all(bundle / "Resources");
    const Result missing = Dravane({"info"}, {}, {}, nullptr, bundle / "Linux" / "dravane");
    EXPECT_EQ(missing.status, kExitSetup);
    EXPECT_NE(missing.err.find(table.string() + ": No such file or directory"), std::string::npos) << missing.err;

    // A program outside any drive folder, without --run-path.
    const Result stray = Dravane({"info"}, {}, {}, nullptr, root / "dravane");
    EXPECT_EQ(stray.status, kExitSetup);
    EXPECT_NE(stray.err.find("--run-path"), std::string::npos);
}

TEST(DravaneCancel, InterruptSetsTheCancelFlagOnce)
{
    CancelFlag() = false;
    InstallInterruptHandler();
    ::raise(SIGINT);
    EXPECT_TRUE(CancelFlag().load());
    CancelFlag() = false;
    ::signal(SIGINT, SIG_DFL);
}

}  // namespace
