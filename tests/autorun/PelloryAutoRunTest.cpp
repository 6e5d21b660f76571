// The agent program end to end: a built sysfs tree and mountinfo file that
// the test changes while the agent runs, stand-in suites that leave a mark
// when started, the real dravane to trust drives, and a notification
// service of the test's own on a private session bus.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "WaitUntil.h"
#include "FakeDriveTree.h"
#include "TestFiles.h"
#include "system/TrustedDrives.h"
#include "util/SuiteVersion.h"

namespace fs = std::filesystem;
using halvex::test::FakeDriveTree;
using halvex::test::ReadFile;
using halvex::test::WaitUntil;

namespace {

const std::string kBus = "pci0000:00/0000:00:14.0/usb1";

std::vector<std::string> Lines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(file));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class PelloryAutoRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.usbDevice(kBus, "1d6b", "0002");
        tree.usbDevice(kBus + "/1-1", "090c", "1000", "Halvex", "Stick", "AA01");
        tree.disk(kBus + "/1-1/1-1:1.0/host0/target0:0:0/0:0:0:0/block/sdb", true, {"sdb1", "sdb2"});
        tree.label("STICK", "sdb1");
        // The same make, another serial: someone else's stick (its label
        // cannot be the same here: one by-label folder holds one link per name).
        tree.usbDevice(kBus + "/1-4", "090c", "1000", "Halvex", "Stick", "BB02");
        tree.disk(kBus + "/1-4/1-4:1.0/host3/target3:0:0/3:0:0:0/block/sde", true, {"sde1"});
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
        fs::path point = tree.root() / "mnt" / name;
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
        return Spawn("PelloryAutoRun", arguments, true);
    }

    // The built dravane with these arguments; its exit status.
    int Dravane(const std::vector<std::string>& arguments)
    {
        const pid_t child = Spawn("dravane", arguments, false);
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // A built program in what the agent and dravane share: the fake drives,
    // this user's configuration folder, the session bus, the language. The
    // agent also gets a quick look at the table, the mark and its log.
    pid_t Spawn(const std::string& program, const std::vector<std::string>& arguments, bool asAgent)
    {
        std::vector<std::string> all{std::string(HALVEX_PROGRAM_DIR) + "/" + program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const pid_t child = fork();
        if (child == 0) {
            tree.exportEnvironment();
            setenv("XDG_CONFIG_HOME", (tree.root() / "config").c_str(), 1);
            setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
            setenv("LC_ALL", "C", 1);
            unsetenv("HALVEX_ASSUME_USB");
            if (asAgent) {
                setenv("HALVEX_MOUNT_POLL_MS", "30", 1);
                setenv("XDG_RUNTIME_DIR", (tree.root() / "run").c_str(), 1);
                setenv("HALVEX_TEST_MARK", mark.c_str(), 1);
                if (freopen(log.c_str(), "a", stderr) == nullptr)
                    _exit(120);
            }
            std::vector<char*> argv;
            argv.reserve(all.size() + 1);
            for (std::string& argument : all)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return child;
    }

    halvex::TrustedDrives TrustList() const
    {
        halvex::TrustedDrives list(tree.root() / "config" / "halvex-dravane" / "trusted-drives");
        EXPECT_TRUE(list.Load());
        return list;
    }

    // The program of the stand-in suite on a drive, as it notes itself.
    static std::string Program(const fs::path& point)
    {
        return (point / "HalvexDravane.app/Contents/Linux/HalvexDravane").string();
    }

    bool LogHas(const std::string& text) const { return ReadFile(log).find(text) != std::string::npos; }
    bool Refused(const fs::path& point) const { return LogHas("Not started from " + point.string() + ":"); }

    bool AgentIsWatching() const { return ReadFile(log).find(" watching ") != std::string::npos; }

    FakeDriveTree tree{"agent"};
    fs::path mark = tree.root() / "started";
    fs::path log = tree.root() / "agent.log";
    pid_t agent = -1;
    // No session bus at all unless a test starts one: nobody can be asked.
    std::string bus = "unix:path=" + (tree.root() / "no-bus").string();
};

TEST_F(PelloryAutoRunTest, StartsTheSuiteFromANewlyMountedDriveOfAnAcceptedVendorOnly)
{
    // Both partitions of the suite's stick are trusted: the test here is the vendor's.
    ASSERT_TRUE(halvex::TrustedDrives(tree.root() / "config" / "halvex-dravane" / "trusted-drives")
                    .Trust({"090C", "1000", "AA01", "", "STICK"}));
    // Mounted before the agent started: not inserted now.
    const fs::path present = Drive("present", true);
    tree.mountLine(present.string(), "/dev/sdd1", "vfat", "8:49");

    agent = StartAgent();
    ASSERT_TRUE(WaitUntil([&] { return AgentIsWatching(); })) << ReadFile(log);

    const fs::path foreign = Drive("foreign", true);
    const fs::path image = Drive("image", true);
    const fs::path empty = Drive("empty", false);
    const fs::path ours = Drive("ours", true);
    const fs::path second = Drive("second partition", true);
    tree.mountLine(foreign.string(), "/dev/sdc1", "vfat", "8:33");
    tree.mountLine(image.string(), "/dev/loop0", "iso9660", "7:0");
    tree.mountLine(empty.string(), "/dev/sdb2", "vfat", "8:18");
    tree.mountLine(ours.string(), "/dev/sdb1", "vfat", "8:17");
    ASSERT_TRUE(WaitUntil([&] { return Lines(mark).size() >= 1; })) << ReadFile(log);
    // A second partition of the suite's drive with the suite on it counts too.
    tree.mountLine(second.string(), "/dev/sdb2", "exfat", "8:18");
    ASSERT_TRUE(WaitUntil([&] { return Lines(mark).size() >= 2; })) << ReadFile(log);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // nothing more may follow

    const std::vector<std::string> expected{(ours / "HalvexDravane.app/Contents/Linux/HalvexDravane").string(),
                                            (second / "HalvexDravane.app/Contents/Linux/HalvexDravane").string()};
    EXPECT_EQ(Lines(mark), expected);

    const std::string text = ReadFile(log);
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

TEST_F(PelloryAutoRunTest, StartsOnlyDrivesThisUserTrusts)
{
    agent = StartAgent();
    ASSERT_TRUE(WaitUntil([&] { return AgentIsWatching(); })) << ReadFile(log);

    // The suite, an accepted vendor, never trusted, nobody to ask: nothing starts.
    const fs::path first = Drive("first", true);
    tree.mountLine(first.string(), "/dev/sdb1", "vfat", "8:17");
    ASSERT_TRUE(WaitUntil([&] { return Refused(first); })) << ReadFile(log);
    EXPECT_TRUE(LogHas("is not trusted and no desktop notification service answers")) << ReadFile(log);

    ASSERT_EQ(Dravane({"--run-path", first.string(), "autorun", "trust"}), 0);
    const fs::path again = Drive("again", true);
    tree.mountLine(again.string(), "/dev/sdb1", "vfat", "8:17");
    ASSERT_TRUE(WaitUntil([&] { return Lines(mark).size() == 1; })) << ReadFile(log);

    // Named as the trusted stick is labelled.
    const fs::path impostor = Drive("STICK", true);
    tree.mountLine(impostor.string(), "/dev/sde1", "vfat", "8:65");
    ASSERT_TRUE(WaitUntil([&] { return Refused(impostor); })) << ReadFile(log);

    ASSERT_EQ(Dravane({"--run-path", again.string(), "autorun", "untrust"}), 0);
    const fs::path third = Drive("third", true);
    tree.mountLine(third.string(), "/dev/sdb1", "vfat", "8:17");
    ASSERT_TRUE(WaitUntil([&] { return Refused(third); })) << ReadFile(log);

    EXPECT_EQ(Lines(mark), std::vector<std::string>{Program(again)});
    EXPECT_TRUE(TrustList().Drives().empty());
}

// Every file and link below a folder, with its text or where it points.
std::map<std::string, std::string> TreeOf(const fs::path& folder)
{
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::end(it); ++it) {
        const std::string name = it->path().lexically_relative(folder).generic_string();
        if (it->is_symlink())
            tree[name] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            tree[name] = ReadFile(it->path());
        else
            tree[name] = "/";
    }
    return tree;
}

// A drive's bundle, launcher or program folder that is a link is judged by
// nothing it names: the drive whose content would start is the one checked,
// so an untrusted stick cannot borrow a trusted drive's bundle, and a
// trusted one cannot start a script of this computer.
TEST_F(PelloryAutoRunTest, NothingIsStartedThroughALinkOnTheDrive)
{
    ASSERT_TRUE(halvex::TrustedDrives(tree.root() / "config" / "halvex-dravane" / "trusted-drives")
                    .Trust({"090C", "1000", "AA01", "", "STICK"}));
    // This computer's own files, which a started launcher would change.
    const fs::path outside = tree.root() / "outside";
    const std::string script = "echo \"$0\" >> '" + mark.string() + "'\n";
    halvex::test::WriteFile(outside / "evil.sh", script);
    halvex::test::WriteFile(outside / "Linux" / "HalvexDravane", script);
    fs::permissions(outside / "Linux" / "HalvexDravane", fs::perms(0755));
    halvex::test::WriteFile(outside / "sentinel.txt", "mine");

    enum class Link { None, Bundle, Launcher, ProgramFolder };
    const struct {
        const char* name;
        const char* source;  // the trusted stick's sdb1 or the stranger's sde1
        Link link;
        bool withLauncher;
        const char* logLine;
    } cases[] = {
        {"trusted", "/dev/sdb1", Link::None, false, nullptr},
        {"borrowed bundle", "/dev/sde1", Link::Bundle, true, "HalvexDravane.app is a link"},
        {"borrowed bundle, no launcher", "/dev/sde1", Link::Bundle, false, "HalvexDravane.app is a link"},
        {"launcher to this computer", "/dev/sdb1", Link::Launcher, true, "HalvexDravane.sh is a link"},
        {"programs of this computer", "/dev/sdb1", Link::ProgramFolder, false, "a link on the drive, not followed"},
    };
    const fs::path trusted = Drive("trusted", true);
    const auto before = TreeOf(outside);
    agent = StartAgent();
    ASSERT_TRUE(WaitUntil([&] { return AgentIsWatching(); })) << ReadFile(log);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path point = c.link == Link::None ? trusted : Drive(std::string(c.name), c.link != Link::Bundle);
        const fs::path bundle = point / "HalvexDravane.app";
        if (c.link == Link::Bundle)
            fs::create_directory_symlink(trusted / "HalvexDravane.app", bundle);
        if (c.link == Link::Launcher)
            fs::create_symlink(outside / "evil.sh", point / "HalvexDravane.sh");
        else if (c.withLauncher)
            halvex::test::WriteFile(point / "HalvexDravane.sh", script);
        if (c.link == Link::ProgramFolder) {
            fs::remove_all(bundle / "Contents" / "Linux");
            fs::create_directory_symlink(outside / "Linux", bundle / "Contents" / "Linux");
        }
        const std::size_t marks = Lines(mark).size();
        tree.mountLine(point.string(), c.source, "vfat", c.source == std::string("/dev/sdb1") ? "8:17" : "8:65");
        if (c.logLine == nullptr) {
            ASSERT_TRUE(WaitUntil([&] { return Lines(mark).size() == marks + 1; })) << ReadFile(log);
            EXPECT_EQ(Lines(mark).back(), Program(point));
            continue;
        }
        ASSERT_TRUE(WaitUntil([&] { return Refused(point); })) << ReadFile(log);
        EXPECT_TRUE(LogHas(c.logLine)) << ReadFile(log);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // nothing may start late
        EXPECT_EQ(Lines(mark).size(), marks);
    }
    EXPECT_EQ(TreeOf(outside), before);
}

// A notification service of the test's own, on a session bus of its own that
// dbus-run-session ends with it.
class NotificationService {
public:
    NotificationService(const std::string& answer, const fs::path& record, const std::string& capabilities)
    {
        int out[2];
        if (pipe(out) != 0)
            return;
        m_session = fork();
        if (m_session == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            const std::string script = std::string(HALVEX_SOURCE_DIR) + "/tests/autorun/notification_service.py";
            execlp("dbus-run-session", "dbus-run-session", "--", "/usr/bin/python3", script.c_str(), answer.c_str(),
                   record.c_str(), capabilities.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        m_out = fdopen(out[0], "r");
        char line[1024] = {};
        if (m_out != nullptr && fgets(line, sizeof line, m_out) != nullptr) {
            std::istringstream words(line);
            words >> m_address >> m_service;
        }
    }
    ~NotificationService()
    {
        // The session, and its bus, end with the service.
        if (m_service > 0)
            kill(m_service, SIGTERM);
        else if (m_session > 0)
            kill(m_session, SIGTERM);
        if (m_session > 0)
            waitpid(m_session, nullptr, 0);
        if (m_out != nullptr)
            fclose(m_out);
    }
    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;

    const std::string& address() const { return m_address; }

private:
    pid_t m_session = -1;
    pid_t m_service = -1;
    FILE* m_out = nullptr;
    std::string m_address;
};

TEST_F(PelloryAutoRunTest, AsksAboutAnUntrustedDriveThroughADesktopNotification)
{
    const struct {
        const char* answer;
        const char* capabilities;
        bool asked;
        bool started;
        bool trusted;
        const char* logLine;
    } cases[] = {
        {"start", "actions,body", true, true, false, nullptr},
        {"always", "actions,body,body-markup", true, true, true, nullptr},
        {"not-now", "actions,body", true, false, false, "the user declined the drive"},
        {"dismiss", "actions,body", true, false, false, "the user declined the drive"},
        {"absent", "actions,body", false, false, false, "no desktop notification service answers"},
        {"start", "body", false, false, false, "the desktop notification service offers no actions"},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.answer) + " with " + c.capabilities);
        const fs::path record = tree.root() / ("questions" + std::to_string(round));
        NotificationService service(c.answer, record, c.capabilities);
        ASSERT_FALSE(service.address().empty());
        bus = service.address();
        fs::remove(tree.root() / "config" / "halvex-dravane" / "trusted-drives");
        fs::remove(mark);
        fs::remove(log);
        agent = StartAgent();
        ASSERT_TRUE(WaitUntil([&] { return AgentIsWatching(); })) << ReadFile(log);

        const fs::path point = Drive("drive" + std::to_string(round++), true);
        tree.mountLine(point.string(), "/dev/sdb1", "vfat", "8:17");
        ASSERT_TRUE(WaitUntil([&] { return Refused(point) || !Lines(mark).empty(); }, std::chrono::seconds(15)))
            << ReadFile(log);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // nothing more may follow

        EXPECT_EQ(Lines(mark), c.started ? std::vector<std::string>{Program(point)} : std::vector<std::string>{});
        EXPECT_EQ(TrustList().IsTrusted({"090C", "1000", "AA01", "", ""}), c.trusted);
        if (c.logLine != nullptr) {
            EXPECT_TRUE(LogHas(c.logLine)) << ReadFile(log);
        }
        const std::vector<std::string> questions = Lines(record);
        ASSERT_EQ(questions.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_NE(questions[0].find("\"summary\": \"Start Halvex Dravane from this drive?\""), std::string::npos)
                << questions[0];
            EXPECT_NE(questions[0].find("The drive “STICK” carries Halvex Dravane"), std::string::npos) << questions[0];
            EXPECT_NE(questions[0].find("\"actions\": [\"start\", \"Start\", \"always\", \"Always for this drive\", "
                                        "\"not-now\", \"Not now\"]"),
                      std::string::npos)
                << questions[0];
        }
        // Ended as the session ends it, so that its own helpers end too.
        kill(agent, SIGTERM);
        waitpid(agent, nullptr, 0);
        agent = -1;
    }
}

TEST_F(PelloryAutoRunTest, SecondInstanceForTheSameUserEndsAtOnce)
{
    agent = StartAgent();
    ASSERT_TRUE(WaitUntil([&] { return AgentIsWatching(); }));
    const pid_t second = StartAgent();
    int status = 0;
    ASSERT_TRUE(WaitUntil([&] { return waitpid(second, &status, WNOHANG) == second; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(ReadFile(log).find("already running"), std::string::npos);
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
