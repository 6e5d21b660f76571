#include "app/update/UpdateFlow.h"

#include <QLabel>

#include <optional>

#include "../update/UpdateTestSupport.h"
#include "toolkit/DWProgressBar.h"
#include "app/update/KWDownloadDlg.h"
#include "WindowFixture.h"
#include "strings/KXStrings.h"
#include "update/UpdateService.h"

namespace fs = std::filesystem;
using namespace halvex::app;
using halvex::test::LoopbackServer;
using halvex::test::WriteFile;

namespace {

// The update service on loopback and a routing table with a default route,
// so the check runs the same on a machine without a network.
class UpdateFlowTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        WriteFile(m_root / "routes" / "route",
                  "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\n"
                  "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\n");
        WriteFile(m_root / "routes" / "none", "");
        m_actions.check.routeFile = m_root / "routes" / "route";
        m_actions.check.ipv6RouteFile = m_root / "routes" / "none";
        m_actions.check.version = "1.0.0";
        m_actions.handOff.bundlePath = m_root / "bundle" / "HalvexDravane.app";
        WriteFile(m_actions.handOff.bundlePath / "Contents" / "Linux" / "Updater", "#!/bin/sh\n");
        // A drive at 1.0.0 that trusts the test's publisher.
        WriteFile(m_actions.handOff.bundlePath / "Contents" / "Linux" / "VERSION", "1.0.0\n");
        WriteFile(m_actions.handOff.bundlePath / "Contents" / "Resources" / "Configuration.plist",
                  halvex::test::ConfigurationListing({m_publisher.PublicKey()}));
        m_actions.check.updateKeys = {m_publisher.PublicKey()};
        m_actions.handOff.tempFolder = m_root / "tmp";
        fs::create_directories(m_actions.handOff.tempFolder);
        m_actions.handOff.pid = 4242;
        m_actions.startProgram = [this](const fs::path& program, const std::vector<std::string>& arguments) {
            m_started = program;
            m_arguments = arguments;
            return m_bStartWorks ? halvex::Status::Ok() : halvex::Status::Fail("err_program_start");
        };
        m_actions.quit = [this] { ++m_nQuits; };
    }
    void TearDown() override
    {
        ::unsetenv(halvex::kUpdateUrlVariable);
        WindowFixture::TearDown();
    }

    fs::path ServiceRoot() const { return m_root / "service"; }
    // A package of one file at <service>/pkg.zip, offered as 2.0.0 with the
    // publisher's signature (or `signature`).
    void ServeSignedPackage(const std::optional<std::string>& signature = std::nullopt)
    {
        WriteFile(m_root / "payload.txt", "new files");
        fs::create_directories(ServiceRoot());
        ASSERT_TRUE(
            halvex::test::MakeZip(ServiceRoot() / "pkg.zip", {"payload.txt=" + (m_root / "payload.txt").string()}));
        m_signature = signature ? *signature : m_publisher.SignPackage(ServiceRoot() / "pkg.zip", "2.0.0");
        Serve(R"(<response><update version="2.0.0" url="pkg.zip" signature=")" + m_signature + R"("/></response>)");
    }
    // The downloads left in the temporary folder.
    std::vector<fs::path> Downloads() const
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(m_actions.handOff.tempFolder))
            if (entry.path().filename().string().starts_with("halvex-download-"))
                found.push_back(entry.path() / "package.zip");
        return found;
    }
    void Serve(const std::string& reply) { WriteFile(ServiceRoot() / "check-update.php", reply); }
    void Use(const LoopbackServer& server)
    {
        ASSERT_TRUE(server.running());
        ::setenv(halvex::kUpdateUrlVariable, server.base().c_str(), 1);
    }
    std::string ShownText(std::size_t index) const
    {
        const auto& boxes = KWMsgBox::ShownBoxes();
        return index < boxes.size() ? boxes[index].text.toStdString() : std::string("<no box>");
    }

    halvex::test::UpdateSigner m_publisher;
    std::string m_signature;
    UpdateActions m_actions;
    fs::path m_started;
    std::vector<std::string> m_arguments;
    bool m_bStartWorks = true;
    int m_nQuits = 0;
};

TEST_F(UpdateFlowTest, WithoutAConnectionNothingIsSent)
{
    m_actions.check.routeFile = m_root / "routes" / "none";
    ::setenv(halvex::kUpdateUrlVariable, "http://127.0.0.1:9/", 1);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CheckForUpdatesInteractive(nullptr, m_actions);
    ASSERT_EQ(KWMsgBox::ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownText(0), KXStrings::GetString("check_update_no_conn"));
    EXPECT_EQ(KWMsgBox::ShownBoxes()[0].icon, KWMsgBox::kStop);
}

TEST_F(UpdateFlowTest, NothingNewAndFailuresShowTheErrorBox)
{
    Serve(R"(<response><update error="0"/></response>)");
    LoopbackServer server(ServiceRoot());
    Use(server);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CheckForUpdatesInteractive(nullptr, m_actions);
    EXPECT_EQ(ShownText(0), KXStrings::GetString("check_update_err"));

    Serve("not a reply");
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CheckForUpdatesInteractive(nullptr, m_actions);
    EXPECT_EQ(ShownText(1), KXStrings::GetString("check_update_err"));
    EXPECT_EQ(KWMsgBox::ShownBoxes().size(), 2u);
}

TEST_F(UpdateFlowTest, ADriveWithoutUpdateKeysSaysSo)
{
    m_actions.check.updateKeys.clear();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CheckForUpdatesInteractive(nullptr, m_actions);
    ASSERT_EQ(KWMsgBox::ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownText(0), KXStrings::GetString("update_not_set_up"));
}

TEST_F(UpdateFlowTest, OfferDeclinedDownloadsNothing)
{
    Serve(R"(<response><update version="2.0.0" url="pkg.zip"/></response>)");
    LoopbackServer server(ServiceRoot());
    Use(server);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    CheckForUpdatesInteractive(nullptr, m_actions);
    ASSERT_EQ(KWMsgBox::ShownBoxes().size(), 1u);
    EXPECT_EQ(ShownText(0), KXStrings::Format("check_update_avail", std::string("2.0.0")));
    EXPECT_EQ(KWMsgBox::ShownBoxes()[0].focus, KWMsgBox::kIdYes);
    EXPECT_TRUE(Downloads().empty());
    EXPECT_EQ(m_nQuits, 0);
}

TEST_F(UpdateFlowTest, AcceptedOfferDownloadsHandsOverAndQuits)
{
    ServeSignedPackage();
    LoopbackServer server(ServiceRoot());
    Use(server);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    CheckForUpdatesInteractive(nullptr, m_actions);

    ASSERT_EQ(Downloads().size(), 1u);
    const fs::path package = Downloads()[0];
    EXPECT_TRUE(fs::exists(package));
    EXPECT_EQ(KWMsgBox::ShownBoxes().size(), 1u) << ShownText(1);
    EXPECT_EQ(m_started.filename(), "Updater");
    EXPECT_EQ(m_started.parent_path(), m_actions.handOff.tempFolder / "updater") << "the updater runs from a copy";
    const std::vector<std::string> expected{
        "-pid", "4242",           "-name", "Pellory", "-cur", m_actions.handOff.bundlePath.string(),
        "-zip", package.string(), "-ver",  "2.0.0",   "-sig", m_signature};
    EXPECT_EQ(m_arguments, expected);
    EXPECT_EQ(m_nQuits, 1);
}

TEST_F(UpdateFlowTest, FailedDownloadOrUpdaterIsReportedAndTheSuiteStays)
{
    Serve(R"(<response><update version="2.0.0" url="missing.zip"/></response>)");
    LoopbackServer server(ServiceRoot());
    Use(server);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CheckForUpdatesInteractive(nullptr, m_actions);
    EXPECT_EQ(ShownText(1), KXStrings::GetString("download_err"));
    EXPECT_TRUE(Downloads().empty());

    // The next try downloads again, into a folder of its own: nothing is kept.
    ServeSignedPackage();
    m_bStartWorks = false;
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CheckForUpdatesInteractive(nullptr, m_actions);
    EXPECT_EQ(ShownText(3), KXStrings::GetString("updater_err"));
    EXPECT_TRUE(Downloads().empty());
    EXPECT_EQ(m_nQuits, 0);
}

TEST_F(UpdateFlowTest, ARefusedPackageIsReportedBeforeTheSuiteQuits)
{
    ServeSignedPackage(halvex::test::UpdateSigner().SignPackage(ServiceRoot() / "pkg.zip", "2.0.0"));
    LoopbackServer server(ServiceRoot());
    Use(server);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CheckForUpdatesInteractive(nullptr, m_actions);
    EXPECT_EQ(ShownText(1), KXStrings::GetString("update_refused"));
    EXPECT_TRUE(m_started.empty());
    EXPECT_TRUE(Downloads().empty());
    EXPECT_EQ(m_nQuits, 0);
}

TEST_F(UpdateFlowTest, DownloadWindowScreenshot)
{
    halvex::PackageRequest request;
    request.destination = m_actions.handOff.tempFolder / "HalvexDravane-2.0.0.zip";
    KWDownloadDlg window(nullptr, request);
    window.SetStatus(halvex::DownloadTitleText(KXStrings::GetString("download_update"),
                                               "https://updates.example.org/HalvexDravane-2.0.0.zip"));
    window.SetRange(std::int64_t{48} * 1024 * 1024);
    window.SetPos(std::int64_t{19} * 1024 * 1024);
    window.SetCount(halvex::FormatText(KXStrings::GetString("download_status"), std::string("19.0"),
                                       std::string("48.0"), std::string("812.4"), 0, 36));
    EXPECT_EQ(window.PercentageText().toStdString(), "39%");
    SaveScreenshot(window, "download_progress.png");
}

}  // namespace
