#include "system/KMAutoRun.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>

#include "WaitUntil.h"
#include "SystemTestSupport.h"
#include "system/KMSystem.h"
#include "util/SuiteVersion.h"

namespace fs = std::filesystem;
using halvex::test::ScopedEnv;
using halvex::test::TempFolder;
using halvex::test::WaitUntil;

namespace {

using Version = std::array<int, 4>;
using Action = KMAutoRun::StartupAction;

TEST(KMAutoRunVersion, FourNumbersComparedInOrderAgainstTheOldestAccepted)
{
    struct Case {
        const char* text;
        std::optional<Version> parsed;
        bool older;
    } cases[] = {
        {"1.0.0.1", Version{1, 0, 0, 1}, false},
        {"1.0.0.0", Version{1, 0, 0, 0}, true},
        {"0.9.9.9", Version{0, 9, 9, 9}, true},
        {"1.0.1.0", Version{1, 0, 1, 0}, false},
        {"2", Version{2, 0, 0, 0}, false},
        {"1.0", Version{1, 0, 0, 0}, true},  // missing numbers count as 0
        {"1.0.0.10", Version{1, 0, 0, 10}, false},
        {"", std::nullopt, true},
        {"1..0.1", std::nullopt, true},
        {"1.0.0.1.", std::nullopt, true},
        {"1.0.0.1.0", std::nullopt, true},
        {"1.0.0.x", std::nullopt, true},
        {"-1.0.0.1", std::nullopt, true},
        {"99999999999.0.0.1", std::nullopt, true},
    };
    for (const Case& c : cases) {
        const auto parsed = KMAutoRun::ParseVersion(c.text);
        EXPECT_EQ(parsed, c.parsed) << c.text;
        EXPECT_EQ(!parsed || KMAutoRun::IsOlderThanAccepted(*parsed), c.older) << c.text;
    }
}

TEST(KMAutoRunStartup, DecisionFollowsRightsStateAndPreference)
{
    struct Case {
        bool admin, enabled, outdated, running, ask;
        Action action;
    } cases[] = {
        {false, true, false, false, true, Action::Nothing},   {false, false, false, false, true, Action::Nothing},
        {true, true, false, false, true, Action::StartAgent}, {true, true, false, true, true, Action::Nothing},
        {true, true, true, true, false, Action::Reinstall},   {true, false, false, false, true, Action::Ask},
        {true, false, false, false, false, Action::Nothing},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KMAutoRun::DecideAtStartup(c.admin, c.enabled, c.outdated, c.running, c.ask), c.action)
            << c.admin << c.enabled << c.outdated << c.running << c.ask;
}

// Each test installs into its own data, configuration and runtime folders.
class KMAutoRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(folder / "run");
        ASSERT_TRUE(fs::exists(package)) << "the build makes " << package;
    }
    void TearDown() override
    {
        // Whatever a test started ends with it.
        if (!KMAutoRun::Stop(std::chrono::seconds(2))) {
            for (pid_t pid : KMSystem::FindProcesses(KMAutoRun::InstalledProgram()))
                kill(pid, SIGKILL);
        }
    }

    // An installed agent of the given version: the stand-in program, and a
    // marker file that disappears when the agent is replaced.
    void InstallFakeAgent(const std::string& version)
    {
        fs::remove_all(KMAutoRun::InstalledAgent());
        const fs::path contents = KMAutoRun::InstalledAgent() / "Contents";
        fs::create_directories(contents / "Linux");
        fs::copy_file(HALVEX_TEST_PROGRAM, KMAutoRun::InstalledProgram());
        std::ofstream(contents / "Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
               "<key>KMAppVersion</key><string>"
            << version << "</string>\n</dict>\n</plist>\n";
        halvex::test::WriteFile(KMAutoRun::InstalledAgent() / "marker", "old");
    }
    bool IsFakeAgentKept() const { return fs::exists(KMAutoRun::InstalledAgent() / "marker"); }

    TempFolder temporary{"autorun"};
    const fs::path folder = temporary.path();
    ScopedEnv dataHome{"XDG_DATA_HOME", (folder / "data").string()};
    ScopedEnv configHome{"XDG_CONFIG_HOME", (folder / "config").string()};
    ScopedEnv runtime{"XDG_RUNTIME_DIR", (folder / "run").string()};
    ScopedEnv stay{"HALVEX_TEST_STAY", "1"};
    const fs::path package = fs::path(HALVEX_RESOURCE_DIR) / "PelloryAutoRun.zip";
};

TEST_F(KMAutoRunTest, EnableInstallsRegistersAndStartsDisableUndoesIt)
{
    EXPECT_EQ(KMAutoRun::InstallFolder(), folder / "data" / "Halvex");
    EXPECT_TRUE(KMAutoRun::NeedToInstall());
    EXPECT_FALSE(KMAutoRun::IsEnabled());

    ASSERT_TRUE(KMAutoRun::Enable(package));
    EXPECT_FALSE(KMAutoRun::NeedToInstall());
    EXPECT_EQ(KMAutoRun::InstalledVersion(), KMAutoRun::ParseVersion(halvex::SuiteVersionText()));
    EXPECT_TRUE(KMAutoRun::IsEnabled());
    EXPECT_FALSE(fs::is_empty(folder / "config" / "autostart"));
    EXPECT_TRUE(WaitUntil([] { return KMAutoRun::IsRunning(); }));
    struct stat info {};
    ASSERT_EQ(::stat(KMAutoRun::InstalledProgram().c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IXUSR, 0u);

    // Enabling again keeps one login item and one agent.
    ASSERT_TRUE(KMAutoRun::Enable(package));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "config" / "autostart"), {}), 1);
    EXPECT_TRUE(WaitUntil([] { return KMSystem::FindProcesses(KMAutoRun::InstalledProgram()).size() == 1; }));

    EXPECT_TRUE(KMAutoRun::Disable());
    EXPECT_FALSE(KMAutoRun::IsRunning());
    EXPECT_FALSE(fs::exists(KMAutoRun::InstalledAgent()));
    EXPECT_FALSE(KMAutoRun::IsEnabled());
    EXPECT_TRUE(fs::is_directory(KMAutoRun::InstallFolder()));
}

TEST_F(KMAutoRunTest, OutdatedAgentIsReplacedCurrentOneStays)
{
    InstallFakeAgent("1.0.0.0");
    EXPECT_TRUE(KMAutoRun::NeedToInstall());
    ASSERT_TRUE(KMAutoRun::Enable(package));
    EXPECT_FALSE(IsFakeAgentKept());
    EXPECT_EQ(KMAutoRun::InstalledVersion(), KMAutoRun::ParseVersion(halvex::SuiteVersionText()));
    ASSERT_TRUE(KMAutoRun::Disable());

    InstallFakeAgent("1.0.0.1");
    EXPECT_FALSE(KMAutoRun::NeedToInstall());
    ASSERT_TRUE(KMAutoRun::Enable(package));
    EXPECT_TRUE(IsFakeAgentKept());
    EXPECT_TRUE(WaitUntil([] { return KMAutoRun::IsRunning(); }));
}

TEST_F(KMAutoRunTest, AgentWithoutProgramOrVersionCountsAsMissing)
{
    InstallFakeAgent("1.0.0.5");
    fs::remove(KMAutoRun::InstalledProgram());
    EXPECT_TRUE(KMAutoRun::NeedToInstall());

    InstallFakeAgent("garbage");
    EXPECT_TRUE(KMAutoRun::NeedToInstall());
}

TEST_F(KMAutoRunTest, AgentThatWillNotQuitMakesStopEnableAndDisableGiveUp)
{
    InstallFakeAgent("1.0.0.1");
    ASSERT_TRUE(KMSystem::AddToLoginItems(KMAutoRun::InstalledProgram(), false));
    const ScopedEnv ignoreTerm("HALVEX_TEST_IGNORE_TERM", "1");
    ASSERT_TRUE(KMAutoRun::Start());
    // Running, and past the point where it ignores the request.
    ASSERT_TRUE(WaitUntil([] {
        const std::vector<pid_t> agents = KMSystem::FindProcesses(KMAutoRun::InstalledProgram());
        return agents.size() == 1 && halvex::test::IgnoresSignal(agents[0], SIGTERM);
    }));

    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(KMAutoRun::Stop(std::chrono::milliseconds(300)));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    EXPECT_TRUE(KMAutoRun::IsRunning());

    // Neither changes anything while the old agent runs.
    InstallFakeAgent("1.0.0.0");
    EXPECT_FALSE(KMAutoRun::Enable(package, std::chrono::milliseconds(200)));
    EXPECT_FALSE(KMAutoRun::Disable(std::chrono::milliseconds(200)));
    EXPECT_TRUE(IsFakeAgentKept());
    EXPECT_TRUE(KMAutoRun::IsEnabled());

    for (pid_t pid : KMSystem::FindProcesses(KMAutoRun::InstalledProgram()))
        kill(pid, SIGKILL);
    ASSERT_TRUE(WaitUntil([] { return !KMAutoRun::IsRunning(); }));
}

// An agent without its autostart entry would not start at the next log-in,
// and the suite would offer to install it again.
TEST_F(KMAutoRunTest, EnableFailsWhenTheAutostartEntryCannotBeWritten)
{
    halvex::test::WriteFile(folder / "config" / "autostart", "a file where the folder belongs");
    EXPECT_FALSE(KMAutoRun::Enable(package));
    EXPECT_FALSE(KMAutoRun::IsEnabled());
    EXPECT_FALSE(KMAutoRun::IsRunning());
}

TEST_F(KMAutoRunTest, MissingPackageFailsEnableWithoutRegistering)
{
    EXPECT_FALSE(KMAutoRun::Enable(folder / "no such package.zip"));
    EXPECT_FALSE(KMAutoRun::IsEnabled());
    EXPECT_FALSE(fs::exists(KMAutoRun::InstalledAgent()));

    // Nothing at a path means nothing to start.
    EXPECT_FALSE(KMAutoRun::Start());
    EXPECT_FALSE(KMAutoRun::Start(folder / "Nothing.app"));
}

}  // namespace
