#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "UpdateTestSupport.h"
#include "update/UpdateService.h"

namespace {

using namespace std::chrono_literals;
using halvex::Result;
using halvex::UpdateAnswer;
using halvex::test::LoopbackServer;
using halvex::test::ReadFile;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

// The service on loopback and a routing table with a default route, so the
// check runs the same on a machine without a network.
class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(m_routes / "route",
                  "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\n"
                  "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\n");
        m_options.routeFile = m_routes / "route";
        m_options.ipv6RouteFile = m_routes / "none";
        m_options.version = "1.0.0";
        m_options.updateKeys = {halvex::test::UpdateSigner().PublicKey()};
    }
    void TearDown() override { ::unsetenv(halvex::kUpdateUrlVariable); }

    Result<UpdateAnswer> CheckWithReply(const std::string& reply)
    {
        WriteFile(m_root / "check-update.php", reply);
        LoopbackServer server(m_root.path());
        EXPECT_TRUE(server.running());
        ::setenv(halvex::kUpdateUrlVariable, server.base().c_str(), 1);
        m_base = server.base();
        return halvex::RunUpdateCheck(m_options);
    }

    TempFolder m_root;
    TempFolder m_routes;
    halvex::UpdateCheckOptions m_options;
    std::string m_base;
};

TEST_F(UpdateCheckTest, OfferGivesVersionAndPackageAddressAfterTheBase)
{
    const auto result =
        CheckWithReply(R"(<response><update version="1.1.0" url="pkg/Dravane-1.1.0.zip" sha256="ab"/></response>)");
    ASSERT_TRUE(result) << result.detail();
    ASSERT_TRUE(result.value().offer);
    const halvex::UpdateOffer& offer = *result.value().offer;
    EXPECT_EQ(offer.version, "1.1.0");
    EXPECT_EQ(offer.packageAddress, m_base + "pkg/Dravane-1.1.0.zip");
    EXPECT_EQ(offer.sha256, "ab");
    // The request exactly as the service expects it.
    EXPECT_EQ(ReadFile(m_root / "requests.log"), "/check-update.php?id=01&ver=1.0.0\n");
}

TEST_F(UpdateCheckTest, FailuresAndNothingNewShowTheErrorText)
{
    // Nothing new and a refusal are answers, told apart by the service's number.
    struct Case {
        const char* name;
        std::string reply;
        bool answered;
        int serviceError;
    } cases[] = {
        {"nothing new", R"(<response><update error="0"/></response>)", true, 0},
        {"service error", R"(<response><update error="42"/></response>)", true, 42},
        {"malformed", "<response><update version=", false, 0},
        {"no response element", R"(<answer><update version="2" url="a.zip"/></answer>)", false, 0},
        {"too long",
         "<response>" + std::string(std::size_t{70} * 1024, ' ') + "<update version=\"2\" url=\"a.zip\"/></response>",
         false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = CheckWithReply(c.reply);
        ASSERT_EQ(result.ok(), c.answered) << result.detail();
        if (c.answered) {
            EXPECT_FALSE(result.value().offer);
            EXPECT_EQ(result.value().serviceError, c.serviceError);
            EXPECT_EQ(result.value().upToDate(), c.serviceError == 0);
        } else {
            EXPECT_FALSE(result.detail().empty());
        }
        EXPECT_STREQ(halvex::UpdateCheckMessageKey(result), "check_update_err");
    }
}

TEST_F(UpdateCheckTest, MissingScriptIsAnError)
{
    LoopbackServer server(m_root.path());
    ::setenv(halvex::kUpdateUrlVariable, server.base().c_str(), 1);
    const auto result = halvex::RunUpdateCheck(m_options);
    EXPECT_EQ(result.messageKey(), "check_update_err");
    EXPECT_FALSE(result.detail().empty());
}

TEST_F(UpdateCheckTest, SilentServerFailsWithinTheLimit)
{
    LoopbackServer server(m_root.path(), "silent");
    ASSERT_TRUE(server.running());
    ::setenv(halvex::kUpdateUrlVariable, server.base().c_str(), 1);
    m_options.limits.total = 1500ms;
    const auto started = std::chrono::steady_clock::now();
    const auto result = halvex::RunUpdateCheck(m_options);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(result.messageKey(), "check_update_err");
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 5s);
}

TEST_F(UpdateCheckTest, NoDefaultRouteSendsNothing)
{
    WriteFile(m_root / "check-update.php", R"(<response><update version="2" url="a.zip"/></response>)");
    LoopbackServer server(m_root.path());
    ::setenv(halvex::kUpdateUrlVariable, server.base().c_str(), 1);
    m_options.routeFile = m_routes / "none";
    const auto result = halvex::RunUpdateCheck(m_options);
    EXPECT_EQ(result.messageKey(), "check_update_no_conn");
    EXPECT_STREQ(halvex::UpdateCheckMessageKey(result), "check_update_no_conn");
    EXPECT_FALSE(std::filesystem::exists(m_root / "requests.log"));
}

// No package could be checked: nothing is asked, and the windows say why.
TEST_F(UpdateCheckTest, ADriveWithoutUpdateKeysAsksNothing)
{
    WriteFile(m_root / "check-update.php", R"(<response><update version="2" url="a.zip"/></response>)");
    LoopbackServer server(m_root.path());
    ::setenv(halvex::kUpdateUrlVariable, server.base().c_str(), 1);
    m_options.updateKeys.clear();
    const auto result = halvex::RunUpdateCheck(m_options);
    EXPECT_EQ(result.messageKey(), "update_not_set_up");
    EXPECT_STREQ(halvex::UpdateCheckMessageKey(result), "update_not_set_up");
    EXPECT_FALSE(std::filesystem::exists(m_root / "requests.log"));
}

// The windows and the command line show every failure of a check but this one.
TEST_F(UpdateCheckTest, AStoppedCheckIsCancelledNotFailed)
{
    LoopbackServer server(m_root.path(), "silent");
    ::setenv(halvex::kUpdateUrlVariable, server.base().c_str(), 1);
    const std::atomic<bool> cancel{true};
    m_options.cancel = &cancel;
    const auto result = halvex::RunUpdateCheck(m_options);
    EXPECT_TRUE(result.cancelled()) << result.messageKey() << ": " << result.detail();
}

TEST_F(UpdateCheckTest, BackgroundCheckReportsOnlyAnOffer)
{
    for (const bool offer : {true, false}) {
        SCOPED_TRACE(offer);
        WriteFile(m_root / "check-update.php", offer ? R"(<response><update version="3" url="a.zip"/></response>)"
                                                     : R"(<response><update error="0"/></response>)");
        LoopbackServer server(m_root.path());
        ::setenv(halvex::kUpdateUrlVariable, server.base().c_str(), 1);
        int calls = 0;
        std::string version;
        {
            std::jthread check = halvex::CheckUpdateAsync(m_options, [&](const halvex::UpdateOffer& offer) {
                ++calls;
                version = offer.version;
            });
            check.join();  // a plain join: the destructor would cancel the request
        }
        EXPECT_EQ(calls, offer ? 1 : 0);
        EXPECT_EQ(version, offer ? "3" : "");
    }
}

TEST_F(UpdateCheckTest, BackgroundCheckStopsAtExitWithoutWaitingForTheServer)
{
    LoopbackServer server(m_root.path(), "silent");
    ::setenv(halvex::kUpdateUrlVariable, server.base().c_str(), 1);
    bool called = false;
    const auto started = std::chrono::steady_clock::now();
    {
        std::jthread check = halvex::CheckUpdateAsync(m_options, [&](const auto&) { called = true; });
        // The check is under way, held by the silent server.
        EXPECT_TRUE(halvex::test::WaitUntil([&] { return std::filesystem::exists(m_root / "connections.log"); }));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_FALSE(called);
}

}  // namespace
