#include "update/PackageDownload.h"

#include <gtest/gtest.h>

#include <random>

#include "UpdateTestSupport.h"
#include "update/Sha256.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using halvex::DownloadOutcome;
using halvex::test::LoopbackServer;
using halvex::test::MakeZip;
using halvex::test::ReadFile;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

// What a download came to, as text a failed expectation shows whole.
std::string Outcome(const halvex::Result<DownloadOutcome>& result)
{
    if (!result)
        return result.messageKey() + ": " + result.detail();
    return result.value() == DownloadOutcome::Downloaded ? "downloaded" : "reused";
}

TEST(PackageDestination, NameIsTheLastPartOfTheAddress)
{
    const fs::path temp = "/tmp/halvex-1000";
    struct Case {
        const char* address;
        const char* name;  // nullptr: refused
    } cases[] = {
        {"https://u.example/d/pkg/Dravane-1.1.zip", "Dravane-1.1.zip"},
        {"https://u.example/d/Dravane.zip?token=1/2#frag", "Dravane.zip"},
        {"https://u.example/d/pkg/", nullptr},
        {"https://u.example/d/pkg/..", nullptr},
        {"https://u.example/d/pkg/.", nullptr},
        {"https://u.example/d/..\\..\\evil.zip", nullptr},
        {"https://u.example", nullptr},
        {"Dravane.zip", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const auto destination = halvex::PackageDestination(temp, c.address);
        if (c.name) {
            EXPECT_EQ(destination.ValueOr({}), temp / c.name);
        } else {
            EXPECT_EQ(destination.messageKey(), "download_err");
        }
    }
}

// A served package, the service's folder and the user's temporary folder.
class PackageDownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Random bytes, so the archive stays as large as its content.
        std::mt19937 random(7);
        std::string payload(300 * 1024, '\0');
        for (char& c : payload)
            c = static_cast<char>(random());
        WriteFile(m_work / "payload.txt", payload);
        ASSERT_TRUE(MakeZip(m_root / "Dravane-1.1.zip",
                            {"HalvexDravane.app/payload.txt=" + (m_work / "payload.txt").string()}));
        m_request.destination = m_temp / "Dravane-1.1.zip";
        m_request.limits.stall = 1500ms;
    }

    halvex::Result<DownloadOutcome> Download(LoopbackServer& server, const halvex::TransferProgress& progress = {})
    {
        m_request.address = server.base() + "Dravane-1.1.zip";
        return halvex::DownloadPackage(m_request, progress);
    }

    bool PackageWasRequested() const
    {
        return ReadFile(m_root / "requests.log").find("/Dravane-1.1.zip") != std::string::npos;
    }

    // Nothing but the finished package may be left in the temporary folder.
    std::size_t FilesInTemp() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_temp.path()), fs::directory_iterator()));
    }

    TempFolder m_root, m_temp, m_work;
    halvex::PackageRequest m_request;
};

TEST_F(PackageDownloadTest, DownloadsWithProgressIntoTheDestination)
{
    LoopbackServer server(m_root.path());
    std::uint64_t lastDone = 0, lastExpected = 0;
    const auto result = Download(server, [&](std::uint64_t done, std::uint64_t expected) {
        lastDone = done;
        lastExpected = expected;
        return true;
    });
    ASSERT_EQ(Outcome(result), "downloaded");
    EXPECT_EQ(ReadFile(m_request.destination), ReadFile(m_root / "Dravane-1.1.zip"));
    EXPECT_EQ(lastExpected, fs::file_size(m_root / "Dravane-1.1.zip"));
    EXPECT_EQ(lastDone, lastExpected);
    EXPECT_EQ(FilesInTemp(), 1u);
}

TEST_F(PackageDownloadTest, GoodPackageAlreadyThereIsUsedAgain)
{
    fs::copy_file(m_root / "Dravane-1.1.zip", m_request.destination);
    LoopbackServer server(m_root.path());
    EXPECT_EQ(Outcome(Download(server)), "reused");
    EXPECT_FALSE(PackageWasRequested());
}

TEST_F(PackageDownloadTest, DamagedPackageIsDownloadedAgain)
{
    WriteFile(m_request.destination, "PK\x03\x04 not really an archive");
    LoopbackServer server(m_root.path());
    ASSERT_EQ(Outcome(Download(server)), "downloaded");
    EXPECT_TRUE(PackageWasRequested());
    EXPECT_TRUE(halvex::OpensAsZip(m_request.destination));
}

TEST_F(PackageDownloadTest, DigestDecidesOverReuseAndDownload)
{
    const std::string good = halvex::FileSha256(m_root / "Dravane-1.1.zip").ValueOr({});
    ASSERT_EQ(good.size(), 64u);
    // An unreadable file has no digest, rather than one that never matches.
    const auto unreadable = halvex::FileSha256(m_temp / "missing.zip");
    EXPECT_EQ(unreadable.detail(), (m_temp / "missing.zip").string() + ": No such file or directory");
    LoopbackServer server(m_root.path());

    // A whole archive there, but another one: downloaded again.
    ASSERT_TRUE(MakeZip(m_request.destination, {"other.txt=" + (m_work / "payload.txt").string()}));
    m_request.sha256 = good;
    ASSERT_EQ(Outcome(Download(server)), "downloaded");
    EXPECT_EQ(halvex::FileSha256(m_request.destination).ValueOr({}), good);

    // Upper-case hex names the same digest.
    for (char& c : m_request.sha256)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(Outcome(Download(server)), "reused");

    // The served package does not match: nothing is kept.
    m_request.sha256 = std::string(64, '0');
    const auto result = Download(server);
    EXPECT_EQ(result.messageKey(), "download_err");
    EXPECT_FALSE(result.detail().empty());
    EXPECT_EQ(FilesInTemp(), 0u);
}

TEST_F(PackageDownloadTest, FailuresLeaveNothingBehind)
{
    LoopbackServer server(m_root.path());
    m_request.address = server.base() + "missing.zip";
    m_request.destination = m_temp / "missing.zip";
    EXPECT_EQ(halvex::DownloadPackage(m_request, {}).messageKey(), "download_err");

    // A page that is no archive (a portal's login page, say) is no package.
    WriteFile(m_root / "page.zip", "<html>log in first</html>");
    m_request.address = server.base() + "page.zip";
    m_request.destination = m_temp / "page.zip";
    EXPECT_EQ(halvex::DownloadPackage(m_request, {}).messageKey(), "download_err");
    EXPECT_EQ(FilesInTemp(), 0u);
}

TEST_F(PackageDownloadTest, CancelFromProgressDeletesThePartialFile)
{
    LoopbackServer server(m_root.path(), "stall-after=1000");
    const auto result = Download(server, [](std::uint64_t done, std::uint64_t) { return done == 0; });
    EXPECT_TRUE(result.cancelled());
    EXPECT_EQ(FilesInTemp(), 0u);
}

TEST_F(PackageDownloadTest, StalledDownloadFailsAfterTheQuietTimeNotBefore)
{
    LoopbackServer server(m_root.path(), "stall-after=1000");
    const auto started = std::chrono::steady_clock::now();
    const auto result = Download(server);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(result.messageKey(), "download_err");
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 6s);
    EXPECT_EQ(FilesInTemp(), 0u);
}

TEST_F(PackageDownloadTest, SlowButSteadyDownloadOutlivesTheQuietTime)
{
    // The quiet limit counts from the last byte, not from the start: a
    // transfer that takes several times the limit succeeds while data flows.
    LoopbackServer server(m_root.path(), "trickle=32768");
    m_request.limits.stall = 500ms;
    const auto started = std::chrono::steady_clock::now();
    const auto result = Download(server);
    EXPECT_EQ(Outcome(result), "downloaded");
    EXPECT_GT(std::chrono::steady_clock::now() - started, 800ms);
}

TEST(DownloadTitle, PackageNameWithoutExtension)
{
    EXPECT_EQ(halvex::DownloadTitleText("Downloading %s...", "/tmp/x/Dravane-1.1.zip"), "Downloading Dravane-1.1...");
}

}  // namespace
