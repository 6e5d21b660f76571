#include "update/PackageDownload.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <random>

#include "UpdateTestSupport.h"
#include "update/Sha256.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using halvex::test::LoopbackServer;
using halvex::test::MakeZip;
using halvex::test::ReadFile;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

// What a download came to, as text a failed expectation shows whole.
std::string Outcome(const halvex::Status& result)
{
    if (!result)
        return result.messageKey + ": " + result.detail;
    return "downloaded";
}

TEST(PackageName, NameIsTheLastPartOfTheAddress)
{
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
        const auto name = halvex::PackageName(c.address);
        if (c.name) {
            EXPECT_EQ(name.ValueOr({}), c.name);
        } else {
            EXPECT_EQ(name.messageKey(), "download_err");
        }
    }
}

// The address must not choose a file in the private temporary folder, where
// the session keeps its sockets: each download gets a folder of its own.
TEST(PackageDestination, AFolderOfItsOwnForEveryDownload)
{
    TempFolder temp;
    const auto first = halvex::PackageDestination(temp.path(), "https://u.example/d/bus");
    const auto second = halvex::PackageDestination(temp.path(), "https://u.example/d/bus");
    ASSERT_TRUE(first && second) << first.detail() << second.detail();
    EXPECT_NE(first.value().parent_path(), second.value().parent_path());
    EXPECT_EQ(first.value().parent_path().parent_path(), temp.path());
    EXPECT_EQ(first.value().filename(), "package.zip");
    EXPECT_FALSE(fs::exists(first.value()));
    struct stat info {};
    ASSERT_EQ(::stat(first.value().parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(halvex::PackageDestination(temp / "missing", "https://u.example/d/p.zip").messageKey(), "download_err");
    EXPECT_EQ(halvex::PackageDestination(temp.path(), "https://u.example/d/..").messageKey(), "download_err");

    // Removing a download takes its folder only when nothing else is in it.
    WriteFile(second.value(), "package");
    WriteFile(second.value().parent_path() / "other", "not ours");
    halvex::RemovePackageDownload(second.value());
    EXPECT_FALSE(fs::exists(second.value()));
    EXPECT_TRUE(fs::exists(second.value().parent_path() / "other"));
    halvex::RemovePackageDownload(first.value());
    EXPECT_FALSE(fs::exists(first.value().parent_path()));
}

// A served package, the service's folder and the user's temporary folder.
class PackageDownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Random bytes, so the archive stays as large as its content.
        std::mt19937 random(7);
        std::string payload(std::size_t{300} * 1024, '\0');
        for (char& c : payload)
            c = static_cast<char>(random());
        WriteFile(m_work / "payload.txt", payload);
        ASSERT_TRUE(MakeZip(m_root / "Dravane-1.1.zip",
                            {"HalvexDravane.app/payload.txt=" + (m_work / "payload.txt").string()}));
        m_request.destination = m_temp / "Dravane-1.1.zip";
        m_request.limits.stall = 1500ms;
    }

    halvex::Status Download(LoopbackServer& server, const halvex::TransferProgress& progress = {})
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

// Named by the service, "bus" was once the session's socket in the
// temporary folder: what is at a destination stays, socket or file.
TEST_F(PackageDownloadTest, WhatIsAlreadyAtTheDestinationIsNeverReplaced)
{
    WriteFile(m_root / "bus", ReadFile(m_root / "Dravane-1.1.zip"));
    LoopbackServer server(m_root.path());
    m_request.address = server.base() + "bus";

    m_request.destination = m_temp / "bus";
    WriteFile(m_request.destination, "a file of the session");
    EXPECT_EQ(halvex::DownloadPackage(m_request, {}).messageKey, "download_err");
    EXPECT_EQ(ReadFile(m_request.destination), "a file of the session");
    fs::remove(m_request.destination);

    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", m_request.destination.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(halvex::DownloadPackage(m_request, {}).messageKey, "download_err");
    EXPECT_TRUE(fs::is_socket(m_request.destination));
    ::close(listener);
    EXPECT_EQ(FilesInTemp(), 1u);
}

TEST_F(PackageDownloadTest, DigestDecides)
{
    const std::string good = halvex::FileSha256(m_root / "Dravane-1.1.zip").ValueOr({});
    ASSERT_EQ(good.size(), 64u);
    // An unreadable file has no digest, rather than one that never matches.
    const auto unreadable = halvex::FileSha256(m_temp / "missing.zip");
    EXPECT_EQ(unreadable.detail(), (m_temp / "missing.zip").string() + ": No such file or directory");
    LoopbackServer server(m_root.path());

    // Upper-case hex names the same digest.
    m_request.sha256 = good;
    for (char& c : m_request.sha256)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_EQ(Outcome(Download(server)), "downloaded");
    EXPECT_EQ(halvex::FileSha256(m_request.destination).ValueOr({}), good);
    fs::remove(m_request.destination);

    // The served package does not match: nothing is kept.
    m_request.sha256 = std::string(64, '0');
    const auto result = Download(server);
    EXPECT_EQ(result.messageKey, "download_err");
    EXPECT_FALSE(result.detail.empty());
    EXPECT_EQ(FilesInTemp(), 0u);
}

TEST_F(PackageDownloadTest, FailuresLeaveNothingBehind)
{
    LoopbackServer server(m_root.path());
    m_request.address = server.base() + "missing.zip";
    m_request.destination = m_temp / "missing.zip";
    EXPECT_EQ(halvex::DownloadPackage(m_request, {}).messageKey, "download_err");

    // A page that is no archive (a portal's login page, say) is no package.
    WriteFile(m_root / "page.zip", "<html>log in first</html>");
    m_request.address = server.base() + "page.zip";
    m_request.destination = m_temp / "page.zip";
    EXPECT_EQ(halvex::DownloadPackage(m_request, {}).messageKey, "download_err");
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
    EXPECT_EQ(result.messageKey, "download_err");
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
    EXPECT_EQ(halvex::DownloadTitleText("Downloading %s...", "https://u.example/x/Dravane-1.1.zip?t=1"),
              "Downloading Dravane-1.1...");
}

}  // namespace
