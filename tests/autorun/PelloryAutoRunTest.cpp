// The agent program end to end: a built sysfs tree and mountinfo file that
// the test changes while the agent runs, and stand-in suites that leave a
// mark when started.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "AutoRunTestSupport.h"
#include "FakeDriveTree.h"
#include "util/SuiteVersion.h"

namespace fs = std::filesystem;
using halvex::test::FakeDriveTree;
using halvex::test::WaitUntil;

namespace {

const std::string kBus = "pci0000:00/0000:00:14.0/usb1";

std::string ReadText(const fs::path& file)
{
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::istringstream in(ReadText(file));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class PelloryAutoRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.usbDevice(kBus, "1d6b", "0002");
        tree.usbDevice(kBus + "/1-1", "090c", "1000");
        tree.disk(kBus + "/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb", true, {"sdb1", "sdb2"});
        tree.usbDevice(kBus + "/1-2", "abcd", "0001");
        tree.disk(kBus + "/1-2/1-2:1.0/host1/target1:0:0/1:0:0:0/block/sdc", true, {"sdc1"});
        tree.usbDevice(kBus + "/1-3", "13fe", "4300");
        tree.disk(kBus + "/1-3/1-3:1.0/host2/target2:0:0/2:0:0:0/block/sdd", true, {"sdd1"});
        tree.disk("virtual/block/loop0", false);
        tree.mountLine("/", "/dev/nvme0n1p2", "ext4", "259:2");
        fs::create_directories(tree.root() / "run");
    }
    void TearDown() override
    {
        if (agent > 0) {
            kill(agent, SIGKILL);
            waitpid(agent, nullptr, 0);
        }
    }

    // A mount point holding a stand-in suite (or nothing), not yet in the table.
    fs::path Drive(const std::string& name, bool withSuite)
    {
        const fs::path point = tree.root() / "mnt" / name;
        fs::create_directories(point);
        if (withSuite) {
            const fs::path programs = point / "HalvexDravane.app" / "Contents" / "Linux";
            fs::create_directories(programs);
            fs::copy_file(HALVEX_TEST_PROGRAM, programs / "HalvexDravane");
        }
        return point;
    }

    pid_t StartAgent(const std::vector<std::string>& arguments = {})
    {
        std::vector<std::string> all{std::string(HALVEX_PROGRAM_DIR) + "/PelloryAutoRun"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const pid_t child = fork();
        if (child == 0) {
            setenv("HALVEX_MOUNTINFO", tree.mountInfo().c_str(), 1);
            setenv("HALVEX_SYSFS_ROOT", tree.sysfs().c_str(), 1);
            setenv("HALVEX_DISK_BY_LABEL", tree.byLabel().c_str(), 1);
            setenv("HALVEX_MOUNT_POLL_MS", "30", 1);
            setenv("XDG_RUNTIME_DIR", (tree.root() / "run").c_str(), 1);
            setenv("HALVEX_TEST_MARK", mark.c_str(), 1);
            unsetenv("HALVEX_ASSUME_USB");
            FILE* out = freopen(log.c_str(), "a", stderr);
            if (out == nullptr)
                _exit(120);
            std::vector<char*> argv;
            for (std::string& argument : all)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return child;
    }

    bool AgentIsWatching() const { return ReadText(log).find(" watching ") != std::string::npos; }

    FakeDriveTree tree{"agent"};
    fs::path mark = tree.root() / "started";
    fs::path log = tree.root() / "agent.log";
    pid_t agent = -1;
};

TEST_F(PelloryAutoRunTest, StartsTheSuiteFromANewlyMountedDriveOfAnAcceptedVendorOnly)
{
    // Mounted before the agent started: not inserted now.
    const fs::path present = Drive("present", true);
    tree.mountLine(present.string(), "/dev/sdd1", "vfat", "8:49");

    agent = StartAgent();
    ASSERT_TRUE(WaitUntil([&] { return AgentIsWatching(); })) << ReadText(log);

    const fs::path foreign = Drive("foreign", true);
    const fs::path image = Drive("image", true);
    const fs::path empty = Drive("empty", false);
    const fs::path ours = Drive("ours", true);
    const fs::path second = Drive("second partition", true);
    tree.mountLine(foreign.string(), "/dev/sdc1", "vfat", "8:33");
    tree.mountLine(image.string(), "/dev/loop0", "iso9660", "7:0");
    tree.mountLine(empty.string(), "/dev/sdb2", "vfat", "8:18");
    tree.mountLine(ours.string(), "/dev/sdb1", "vfat", "8:17");
    ASSERT_TRUE(WaitUntil([&] { return Lines(mark).size() >= 1; })) << ReadText(log);
    // A second partition of the suite's drive with the suite on it counts too.
    tree.mountLine(second.string(), "/dev/sdb2", "exfat", "8:18");
    ASSERT_TRUE(WaitUntil([&] { return Lines(mark).size() >= 2; })) << ReadText(log);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // nothing more may follow

    const std::vector<std::string> expected{
        (ours / "HalvexDravane.app/Contents/Linux/HalvexDravane").string(),
        (second / "HalvexDravane.app/Contents/Linux/HalvexDravane").string()};
    EXPECT_EQ(Lines(mark), expected);

    const std::string text = ReadText(log);
    for (const fs::path& point : {foreign, image, empty, ours})
        EXPECT_NE(text.find("Someone inserted " + point.string() + "\n"), std::string::npos) << point;
    EXPECT_NE(text.find("Auto Run path: " + (foreign / "HalvexDravane.app").string()), std::string::npos);
    EXPECT_EQ(text.find("Auto Run path: " + (empty / "HalvexDravane.app").string()), std::string::npos);
    EXPECT_EQ(text.find("Someone inserted " + present.string()), std::string::npos);

    ASSERT_EQ(kill(agent, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(agent, &status, 0), agent);
    agent = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(PelloryAutoRunTest, SecondInstanceForTheSameUserEndsAtOnce)
{
    agent = StartAgent();
    ASSERT_TRUE(WaitUntil([&] { return AgentIsWatching(); }));
    const pid_t second = StartAgent();
    int status = 0;
    ASSERT_TRUE(WaitUntil([&] { return waitpid(second, &status, WNOHANG) == second; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(ReadText(log).find("already running"), std::string::npos);
    EXPECT_EQ(waitpid(agent, &status, WNOHANG), 0) << "the first agent keeps running";
}

TEST_F(PelloryAutoRunTest, VersionIsTheSuitesFourNumbers)
{
    const std::string program = std::string(HALVEX_PROGRAM_DIR) + "/PelloryAutoRun --version";
    FILE* pipe = popen(program.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[64] = {};
    ASSERT_NE(fgets(line, sizeof line, pipe), nullptr);
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(std::string(line), halvex::SuiteVersionText() + "\n");
}

}  // namespace
