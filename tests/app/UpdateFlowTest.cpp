#include "app/update/UpdateFlow.h"

#include <QLabel>

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
    EXPECT_FALSE(fs::exists(m_actions.handOff.tempFolder / "pkg.zip"));
    EXPECT_EQ(m_nQuits, 0);
}

TEST_F(UpdateFlowTest, AcceptedOfferDownloadsHandsOverAndQuits)
{
    Serve(R"(<response><update version="2.0.0" url="pkg.zip"/></response>)");
    WriteFile(m_root / "payload.txt", "new files");
    ASSERT_TRUE(halvex::test::MakeZip(ServiceRoot() / "pkg.zip", {"payload.txt=" + (m_root / "payload.txt").string()}));
    LoopbackServer server(ServiceRoot());
    Use(server);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    CheckForUpdatesInteractive(nullptr, m_actions);

    const fs::path package = m_actions.handOff.tempFolder / "pkg.zip";
    EXPECT_TRUE(fs::exists(package));
    EXPECT_EQ(KWMsgBox::ShownBoxes().size(), 1u) << ShownText(1);
    EXPECT_EQ(m_started.filename(), "Updater");
    EXPECT_EQ(m_started.parent_path(), m_actions.handOff.tempFolder / "updater") << "the updater runs from a copy";
    const std::vector<std::string> expected{
        "-pid", "4242", "-name", "Pellory", "-cur", m_actions.handOff.bundlePath.string(), "-zip", package.string()};
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
    EXPECT_FALSE(fs::exists(m_actions.handOff.tempFolder / "missing.zip"));

    // A package already there is used again; the updater does not start.
    WriteFile(m_root / "payload.txt", "new files");
    ASSERT_TRUE(halvex::test::MakeZip(m_actions.handOff.tempFolder / "missing.zip",
                                      {"payload.txt=" + (m_root / "payload.txt").string()}));
    m_bStartWorks = false;
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CheckForUpdatesInteractive(nullptr, m_actions);
    EXPECT_EQ(ShownText(3), KXStrings::GetString("updater_err"));
    EXPECT_TRUE(fs::exists(m_actions.handOff.tempFolder / "missing.zip")) << "kept for the next attempt";
    EXPECT_EQ(m_nQuits, 0);
}

TEST_F(UpdateFlowTest, DownloadWindowScreenshot)
{
    halvex::PackageRequest request;
    request.destination = m_actions.handOff.tempFolder / "HalvexDravane-2.0.0.zip";
    KWDownloadDlg window(nullptr, request);
    window.SetStatus(halvex::DownloadTitleText(KXStrings::GetString("download_update"), request.destination));
    window.SetRange(48 * 1024 * 1024);
    window.SetPos(19 * 1024 * 1024);
    window.SetCount(halvex::FormatText(KXStrings::GetString("download_status"), std::string("19.0"),
                                       std::string("48.0"), std::string("812.4"), 0, 36));
    EXPECT_EQ(window.PercentageText().toStdString(), "39%");
    SaveScreenshot(window, "download_progress.png");
}

}  // namespace
