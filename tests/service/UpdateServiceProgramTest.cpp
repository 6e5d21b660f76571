// The real service on loopback, asked by the suite's own client.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "TestFiles.h"
#include "update/KXAutoUpdate.h"
#include "update/Sha256.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using halvex::test::WriteFile;

#ifdef HALVEX_SERVICE_PROGRAM

// The service with its standard output on a pipe; the first line names the port.
class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(m_root / "packages/HalvexDravane-1.0.1.zip", "PK package bytes");
        WriteFile(m_root / "packages/secret.txt", "not published");
        m_digest = halvex::FileSha256(m_root / "packages/HalvexDravane-1.0.1.zip").ValueOr({});
        WriteFile(m_root / "releases.list", "01 1.0.1 packages/HalvexDravane-1.0.1.zip " + m_digest + "\n");
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string root = m_root.string();
        const char* argv[] = {HALVEX_SERVICE_PROGRAM, "--root", root.c_str(), "--listen", "127.0.0.1:0", nullptr};
        ASSERT_EQ(posix_spawn(&m_pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_log = ::fdopen(out[0], "r");
        const std::string first = Line();
        ASSERT_EQ(first.rfind("listening on 127.0.0.1:", 0), 0u) << first;
        m_base = "http://" + first.substr(13) + "/";
    }
    void TearDown() override
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_log)
            ::fclose(m_log);
    }

    std::string Line()
    {
        char buffer[1024] = {};
        if (!m_log || !std::fgets(buffer, sizeof buffer, m_log))
            return {};
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        return line;
    }

    halvex::test::TempFolder m_folder{"service"};
    const fs::path m_root = m_folder.path();
    std::string m_digest, m_base;
    pid_t m_pid = -1;
    FILE* m_log = nullptr;
};

TEST_F(ServiceTest, OffersServesAndLogsEachRequest)
{
    KXAutoUpdate update;
    const halvex::Status checked = update.CheckUpdate(m_base + "check-update.php", "01", "1.0.0");
    ASSERT_TRUE(checked) << checked.detail;
    EXPECT_TRUE(update.m_bUpdateAvailable);
    EXPECT_EQ(update.m_strVersion, "1.0.1");
    EXPECT_EQ(update.m_strSha256, m_digest);
    EXPECT_NE(Line().find(" GET /check-update.php?id=01&ver=1.0.0 200"), std::string::npos);

    EXPECT_EQ(halvex::FetchText(m_base + update.m_strURL, 1024, {}).ValueOr({}), "PK package bytes");
    Line();
    EXPECT_TRUE(update.CheckUpdate(m_base + "check-update.php", "01", "1.0.1"));
    EXPECT_FALSE(update.m_bUpdateAvailable);
    Line();
    EXPECT_FALSE(update.CheckUpdate(m_base + "check-update.php", "09", "1.0.0"));
    EXPECT_EQ(update.m_nError, 1);
    Line();

    // Only what the release list names is served.
    for (const char* path : {"packages/secret.txt", "releases.list", "packages/../releases.list",
                             "packages/%2e%2e/releases.list", "check-update.php/../releases.list"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(halvex::FetchText(m_base + path, 1024, {}));
        const std::string line = Line();
        EXPECT_EQ(line.substr(line.size() - 4), " 404") << line;
    }
}

TEST_F(ServiceTest, AReleaseListPublishedLaterIsServedAtOnce)
{
    WriteFile(m_root / "releases.list", "01 1.0.1 packages/HalvexDravane-1.0.1.zip " + m_digest + "\n" +
                                            "01 1.2.0 packages/HalvexDravane-1.0.1.zip " + m_digest + "\n");
    KXAutoUpdate update;
    ASSERT_TRUE(update.CheckUpdate(m_base + "check-update.php", "01", "1.0.1"));
    EXPECT_EQ(update.m_strVersion, "1.2.0");
    fs::remove(m_root / "releases.list");
    EXPECT_FALSE(update.CheckUpdate(m_base + "check-update.php", "01", "1.0.1"));
    EXPECT_EQ(update.m_nError, 3);
}

#endif

}  // namespace
