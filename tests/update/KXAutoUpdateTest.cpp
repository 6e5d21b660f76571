#include "update/KXAutoUpdate.h"

#include <gtest/gtest.h>

#include "UpdateTestSupport.h"
#include "update/UpdateService.h"

namespace {

using halvex::test::TempFolder;
using halvex::test::WriteFile;

struct ReplyCase {
    const char* name;
    const char* reply;
    bool understood;
    bool offer;
    int error;
    const char* version;
    const char* url;
};

const ReplyCase kReplies[] = {
    {"offer", R"(<response><update version="1.2.0" url="packages/Dravane-1.2.0.zip"/></response>)", true, true, 0,
     "1.2.0", "packages/Dravane-1.2.0.zip"},
    {"nothing_new", R"(<?xml version="1.0"?><response><update error="0"/></response>)", true, false, 0, "", ""},
    {"service_error", R"(<response><update error="17"/></response>)", false, false, 17, "", ""},
    {"error_read_as_atoi", R"(<response><update error="12abc"/></response>)", false, false, 12, "", ""},
    {"error_not_a_number", R"(<response><update error="busy"/></response>)", false, false, 0, "", ""},
    {"offer_without_attributes", R"(<response><update/></response>)", true, true, 0, "", ""},
    {"empty_error_is_offer", R"(<response><update error="" version="2.0" url="x.zip"/></response>)", true, true, 0,
     "2.0", "x.zip"},
    {"malformed", R"(<response><update version="1.2")", false, false, 0, "", ""},
    {"not_xml", "Service temporarily unavailable", false, false, 0, "", ""},
    {"empty", "", false, false, 0, "", ""},
    {"first_element_not_response", R"(<reply><update version="1.2" url="a.zip"/></reply>)", false, false, 0, "", ""},
    {"no_update_element", R"(<response><other/></response>)", false, false, 0, "", ""},
    {"update_nested_deeper", R"(<response><x><update version="1" url="a.zip"/></x></response>)", false, false, 0, "",
     ""},
    {"later_update_ignored", R"(<response><update error="0"/><update version="9" url="b.zip"/></response>)", true,
     false, 0, "", ""},
};

TEST(KXAutoUpdateParseData, RepliesOfTheService)
{
    for (const ReplyCase& c : kReplies) {
        SCOPED_TRACE(c.name);
        KXAutoUpdate update;
        update.m_nError = 99;
        EXPECT_EQ(update.ParseData(c.reply).ok, c.understood);
        EXPECT_EQ(update.m_bUpdateAvailable, c.offer);
        EXPECT_EQ(update.m_nError, c.error);
        EXPECT_EQ(update.m_strVersion, c.version);
        EXPECT_EQ(update.m_strURL, c.url);
    }
}

TEST(KXAutoUpdateParseData, DigestAndSignatureAreReadWithTheOffer)
{
    KXAutoUpdate update;
    ASSERT_TRUE(update.ParseData(
        R"(<response><update version="1.1" url="a.zip" sha256="ABC" signature="c2ln+/=="/></response>)"));
    EXPECT_EQ(update.m_strSha256, "ABC");
    EXPECT_EQ(update.m_strSignature, "c2ln+/==");
    ASSERT_TRUE(update.ParseData(R"(<response><update version="1.2" url="b.zip"/></response>)"));
    EXPECT_EQ(update.m_strSignature, "");
    EXPECT_FALSE(update.ParseData(nullptr));
}

// A reply is at most 64 KiB, enough nesting to overflow the parser's stack.
TEST(KXAutoUpdateParseData, HostileRepliesAreRefusedWithoutHarm)
{
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<a>";
    KXAutoUpdate update;
    EXPECT_FALSE(update.ParseData(("<response>" + deep).c_str()));
    // Ends inside a UTF-8 sequence: the parser must not read past the end.
    EXPECT_FALSE(update.ParseData("<response><update version=\"1\xd1\" url=\"x\xe3"));
    EXPECT_FALSE(update.m_bUpdateAvailable);
}

TEST(UpdateService, RequestAddressIsFormedAsItIs)
{
    EXPECT_EQ(halvex::UpdateRequestAddress(halvex::UpdateScriptAddress("https://u.example/d/"), "01", "1.0.0"),
              "https://u.example/d/check-update.php?id=01&ver=1.0.0");
    // Nothing is percent-encoded.
    EXPECT_EQ(halvex::UpdateRequestAddress("http://h/s.php", "0 1", "1.0 beta"), "http://h/s.php?id=0 1&ver=1.0 beta");
}

TEST(UpdateService, BaseAddressFromTheEnvironmentThenTheDriveThenTheBuild)
{
    ::setenv(halvex::kUpdateUrlVariable, "http://127.0.0.1:9/mirror/", 1);
    EXPECT_EQ(halvex::UpdateBaseAddress("https://drive.example/").ValueOr({}), "http://127.0.0.1:9/mirror/");
    ::setenv(halvex::kUpdateUrlVariable, "http://127.0.0.1:9/mirror", 1);
    EXPECT_EQ(halvex::UpdateBaseAddress().messageKey(), "check_update_err");
    ::setenv(halvex::kUpdateUrlVariable, "file:///etc/", 1);
    EXPECT_FALSE(halvex::UpdateBaseAddress());
    ::unsetenv(halvex::kUpdateUrlVariable);
    EXPECT_EQ(halvex::UpdateBaseAddress("https://drive.example/").ValueOr({}), "https://drive.example/");
    // The plain build names no service: a drive without one says so.
    const auto built = halvex::UpdateBaseAddress();
    EXPECT_EQ(bool(built), !halvex::BuiltInUpdateBaseAddress().empty());
    EXPECT_EQ(built.ValueOr({}), halvex::BuiltInUpdateBaseAddress());
}

// Over http anyone on the way answers for the service. Only the variable,
// which no drive sets, may name http, and only on loopback (the tests' servers).
TEST(UpdateService, PlainHttpOnlyOnLoopbackAndOnlyFromTheVariable)
{
    struct Case {
        const char* base;
        bool fromVariable, fromDrive;
    } cases[] = {
        {"https://u.example/", true, true},
        {"http://127.0.0.1:9/", true, false},
        {"http://127.8.9.10/d/", true, false},
        {"http://[::1]:8080/", true, false},
        {"http://localhost:8080/", true, false},
        {"http://u.example/", false, false},
        {"http://10.0.0.1:8080/", false, false},
        {"http://127.0.0.1.u.example/", false, false},
        {"http://127.0.0.1@u.example/", false, false},
        {"http://[::1].u.example/", false, false},
        {"http://localhost.u.example/", false, false},
        {"http://127.0.0/", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base);
        ::setenv(halvex::kUpdateUrlVariable, c.base, 1);
        EXPECT_EQ(bool(halvex::UpdateBaseAddress("https://drive.example/")), c.fromVariable);
        ::unsetenv(halvex::kUpdateUrlVariable);
        const auto fromDrive = halvex::UpdateBaseAddress(c.base);
        EXPECT_EQ(bool(fromDrive), c.fromDrive);
        if (!c.fromDrive) {
            EXPECT_NE(fromDrive.detail().find("https only"), std::string::npos) << fromDrive.detail();
        }
    }
}

TEST(KXAutoUpdateConnection, DefaultRouteInEitherTable)
{
    TempFolder folder;
    const std::string header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const std::string localOnly = header + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
    const std::string withDefault = localOnly + "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
    const std::string downDefault = localOnly + "eth0\t00000000\t0102A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n";
    const std::string zeros(32, '0');
    const std::string v6Loopback =
        zeros + " 00 " + zeros + " 00 " + zeros + " ffffffff 00000001 00000000 00200200       lo\n";
    const std::string v6Default = zeros + " 00 " + zeros + " 00 fe800000000000000000000000000001" +
                                  " 00000400 00000001 00000000 00450003     eth0\n";
    WriteFile(folder / "local", localOnly);
    WriteFile(folder / "default", withDefault);
    WriteFile(folder / "down", downDefault);
    WriteFile(folder / "v6lo", v6Loopback);
    WriteFile(folder / "v6default", v6Default);

    EXPECT_TRUE(KXAutoUpdate::IsConnectionAvailable(folder / "default", folder / "missing"));
    EXPECT_FALSE(KXAutoUpdate::IsConnectionAvailable(folder / "local", folder / "v6lo"));
    EXPECT_FALSE(KXAutoUpdate::IsConnectionAvailable(folder / "down", folder / "missing"));
    EXPECT_TRUE(KXAutoUpdate::IsConnectionAvailable(folder / "local", folder / "v6default"));
    EXPECT_FALSE(KXAutoUpdate::IsConnectionAvailable(folder / "missing", folder / "missing"));
}

TEST(KXAutoUpdateDownloadSize, ProgressLines)
{
    using namespace std::chrono;
    const char* format = "%s MB of %s MB (%s KB/s), %d:%02d remaining";
    const auto start = steady_clock::time_point{} + hours(1);
    struct Case {
        std::uint64_t done, expected;
        seconds elapsed;
        const char* line;
    } cases[] = {
        // 1 MiB in 4 s = 256 KB/s; 3 MiB left = 12 s.
        {1 << 20, 4 << 20, seconds(4), "1.00 MB of 4.00 MB (256.0 KB/s), 0:12 remaining"},
        // Elapsed 0 counts as 1 second.
        {512UL * 1024, 1 << 20, seconds(0), "0.50 MB of 1.00 MB (512.0 KB/s), 0:01 remaining"},
        // Below 1 KB/s there is no estimate rather than a division by zero.
        {500, 10 << 20, seconds(1), "0.00 MB of 10.00 MB (0.5 KB/s), 0:00 remaining"},
        {0, 0, seconds(3), "0.00 MB of 0.00 MB (0.0 KB/s), 0:00 remaining"},
        // More than expected (no or wrong length): nothing remains.
        {2 << 20, 1 << 20, seconds(1), "2.00 MB of 1.00 MB (2048.0 KB/s), 0:00 remaining"},
        // 10 KB/s with 1200 KB left: 2 minutes.
        {10UL * 1024 * 10, 10 * 1024 * 10 + 1200 * 1024, seconds(10), "0.10 MB of 1.27 MB (10.0 KB/s), 2:00 remaining"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(KXAutoUpdate::GetDownloadSize(c.done, c.expected, start, format, start + c.elapsed), c.line);
    }
}

}  // namespace
