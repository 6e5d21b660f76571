// The real service on loopback, asked by the suite's own client.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "TestFiles.h"
#include "WaitUntil.h"
#include "update/KXAutoUpdate.h"
#include "update/Sha256.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using halvex::test::WriteFile;

#ifdef HALVEX_SERVICE_PROGRAM

using Clock = std::chrono::steady_clock;

// A raw connection to the service from a loopback address of its own
// choosing, for what the suite's client never does: idling, sending slowly,
// asking for odd ranges.
class RawClient {
public:
    RawClient(int port, const char* from)
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{AF_INET, 0, {}, {}};
        sockaddr_in service{AF_INET, htons(static_cast<std::uint16_t>(port)), {}, {}};
        ::inet_pton(AF_INET, from, &local.sin_addr);
        ::inet_pton(AF_INET, "127.0.0.1", &service.sin_addr);
        m_connected = ::bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                      ::connect(m_socket, reinterpret_cast<sockaddr*>(&service), sizeof service) == 0;
    }
    ~RawClient() { ::close(m_socket); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return m_connected; }
    bool Send(std::string_view text)
    {
        return ::send(m_socket, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
    }

    // Whatever arrives until the service closes the connection or nothing
    // comes for `quiet`; `closed` tells which.
    std::string Receive(std::chrono::milliseconds quiet, bool* closed = nullptr, std::size_t atMost = SIZE_MAX)
    {
        std::string got;
        char buffer[65536];
        pollfd ready{m_socket, POLLIN, 0};
        while (got.size() < atMost && ::poll(&ready, 1, static_cast<int>(quiet.count())) == 1) {
            const ssize_t n = ::recv(m_socket, buffer, std::min(sizeof buffer, atMost - got.size()), 0);
            if (n <= 0) {
                if (closed)
                    *closed = true;
                return got;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        if (closed)
            *closed = false;
        return got;
    }

    // One whole reply on a kept-alive connection: its head and a body of
    // its Content-Length.
    std::string Reply()
    {
        std::string got;
        while (got.find("\r\n\r\n") == std::string::npos) {
            const std::string more = Receive(std::chrono::seconds(2), nullptr, 1);
            if (more.empty())
                return got;
            got += more;
        }
        const std::size_t field = got.find("Content-Length: ");
        const std::size_t length = field == std::string::npos ? 0 : std::stoul(got.substr(field + 16));
        while (got.size() < got.find("\r\n\r\n") + 4 + length) {
            const std::string more =
                Receive(std::chrono::seconds(2), nullptr, got.find("\r\n\r\n") + 4 + length - got.size());
            if (more.empty())
                break;
            got += more;
        }
        return got;
    }

private:
    int m_socket = -1;
    bool m_connected = false;
};

// The service with its standard output on a pipe; the first line names the port.
class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override { Start({}); }

    void Start(const std::vector<std::string>& options)
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
        std::vector<const char*> argv = {HALVEX_SERVICE_PROGRAM, "--root", root.c_str(), "--listen", "127.0.0.1:0"};
        for (const std::string& option : options)
            argv.push_back(option.c_str());
        argv.push_back(nullptr);
        ASSERT_EQ(posix_spawn(&m_pid, argv[0], &actions, nullptr, const_cast<char**>(argv.data()), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_log = ::fdopen(out[0], "r");
        const std::string first = Line();
        ASSERT_EQ(first.rfind("listening on 127.0.0.1:", 0), 0u) << first;
        m_base = "http://" + first.substr(13) + "/";
        m_port = std::stoi(first.substr(first.rfind(':') + 1));
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
    int m_port = 0;
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

// The service as deployed against abuse, with short deadlines for the test.
class ServiceUnderLoadTest : public ServiceTest {
protected:
    void SetUp() override { Start({"--request-deadline", "3", "--per-address", "50"}); }

    const std::string kCheck = "GET /check-update.php?id=01&ver=1.0.0 HTTP/1.1\r\nHost: x\r\n\r\n";

    // An ordinary check by the suite's own client, timed.
    std::chrono::milliseconds TimedCheck()
    {
        const auto start = Clock::now();
        KXAutoUpdate update;
        EXPECT_TRUE(update.CheckUpdate(m_base + "check-update.php", "01", "1.0.0"));
        EXPECT_TRUE(update.m_bUpdateAvailable);
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    }
};

TEST_F(ServiceUnderLoadTest, IdleAndSlowClientsNeitherDelayACheckNorStayForever)
{
    std::vector<std::unique_ptr<RawClient>> idle, slow;
    for (int i = 0; i < 200; ++i) {
        const std::string from = "127.0.1." + std::to_string(1 + i / 40);
        idle.push_back(std::make_unique<RawClient>(m_port, from.c_str()));
        ASSERT_TRUE(idle.back()->connected());
    }
    for (int i = 0; i < 8; ++i) {
        slow.push_back(std::make_unique<RawClient>(m_port, "127.0.2.1"));
        ASSERT_TRUE(slow.back()->Send("GET /check-update.php?id=01&ver=1.0.0 HTTP/1.1\r\n"));
    }
    // A header line a second from each slow sender, a check after each
    // round, until the service's deadline for a whole request has passed.
    for (int second = 0; second < 2; ++second) {
        for (auto& client : slow)
            ASSERT_TRUE(client->Send("X-Slow: " + std::to_string(second) + "\r\n"));
        EXPECT_LT(TimedCheck().count(), 1000) << "after " << second << " s";
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    bool closed = false;
    for (auto& client : slow) {
        client->Send("X-Slow: late\r\n");
        EXPECT_EQ(client->Receive(std::chrono::seconds(3), &closed), "");
        EXPECT_TRUE(closed) << "a slow sender outlived its deadline";
    }
    EXPECT_TRUE(idle.front()->Receive(std::chrono::seconds(2), &closed).empty());
    EXPECT_TRUE(closed) << "an idle connection outlived its deadline";
    EXPECT_LT(TimedCheck().count(), 1000);
}

TEST_F(ServiceUnderLoadTest, ARequestNeverYieldsMoreThanItsFile)
{
    const std::string package(20000, 'z');
    WriteFile(m_root / "packages/HalvexDravane-1.0.1.zip", package);
    std::string ranges = "bytes=0-19999";
    for (int i = 1; i < 700; ++i)
        ranges += ",0-19999";
    struct Case {
        std::string range;
        const char* status;
        std::string body;
    };
    const Case cases[] = {
        {ranges, "HTTP/1.1 200 ", package},
        {"bytes=19990-", "HTTP/1.1 206 ", package.substr(19990)},
        {"bytes=20000-", "HTTP/1.1 416 ", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range.substr(0, 20));
        RawClient client(m_port, "127.0.0.1");
        ASSERT_TRUE(client.Send("GET /packages/HalvexDravane-1.0.1.zip HTTP/1.1\r\nRange: " + c.range +
                                "\r\nConnection: close\r\n\r\n"));
        bool closed = false;
        const std::string reply = client.Receive(std::chrono::seconds(2), &closed);
        EXPECT_TRUE(closed);
        EXPECT_EQ(reply.substr(0, 13), c.status);
        const std::size_t body = reply.find("\r\n\r\n");
        ASSERT_NE(body, std::string::npos);
        EXPECT_EQ(reply.substr(body + 4), c.body);
    }
}

TEST_F(ServiceUnderLoadTest, AKeptAliveConnectionAnswersHundredsOfChecksASecond)
{
    // Nagle's delay against the client's delayed acknowledgement held each
    // reply 40 ms: 100 checks took 4 s.
    RawClient client(m_port, "127.0.0.1");
    const auto start = Clock::now();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(client.Send(kCheck));
        const std::string reply = client.Reply();
        ASSERT_EQ(reply.substr(0, 13), "HTTP/1.1 200 ") << i;
        ASSERT_NE(reply.find("version=\"1.0.1\""), std::string::npos) << reply;
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST_F(ServiceUnderLoadTest, ConnectionsBeyondTheLimitOfAnAddressAreRefused)
{
    std::vector<std::unique_ptr<RawClient>> held;
    held.reserve(50);
    for (int i = 0; i < 50; ++i)
        held.push_back(std::make_unique<RawClient>(m_port, "127.0.3.1"));
    // The service counts a connection once it has taken it: a request on
    // the last one proves all fifty are counted.
    ASSERT_TRUE(held.back()->Send(kCheck));
    ASSERT_EQ(held.back()->Reply().substr(0, 13), "HTTP/1.1 200 ");

    RawClient extra(m_port, "127.0.3.1");
    bool closed = false;
    EXPECT_EQ(extra.Receive(std::chrono::seconds(2), &closed).substr(0, 13), "HTTP/1.1 503 ");
    EXPECT_TRUE(closed);
    EXPECT_LT(TimedCheck().count(), 1000) << "another address is served";

    held.pop_back();
    ASSERT_TRUE(halvex::test::WaitUntil([&] {
        RawClient again(m_port, "127.0.3.1");
        return again.Send(kCheck) && again.Reply().substr(0, 13) == "HTTP/1.1 200 ";
    }));
}

#endif

}  // namespace
