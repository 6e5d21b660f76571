// dravane check-update, run as a user runs it, against the service on loopback.

#include <gtest/gtest.h>

#include "../update/UpdateTestSupport.h"
#include "ShellCommand.h"
#include "update/KXAutoUpdate.h"

namespace {

namespace fs = std::filesystem;
using halvex::test::LoopbackServer;
using halvex::test::MakeZip;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

using Output = halvex::test::ShellOutput;

class CheckUpdateProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!KXAutoUpdate::IsConnectionAvailable())
            GTEST_SKIP() << "this computer has no default route";
        ::setenv("no_proxy", "127.0.0.1", 1);
        // A drive's bundle holds its string tables beside its configuration.
        fs::create_directories(m_drive / "HalvexDravane.app/Contents/Resources");
        fs::copy(fs::path(HALVEX_PROGRAM_DIR) / "../Resources/English.lproj",
                 m_drive / "HalvexDravane.app/Contents/Resources/English.lproj", fs::copy_options::recursive);
        WriteFile(m_drive / "HalvexDravane.app/Contents/Resources/Configuration.plist",
                  halvex::test::ConfigurationListing({halvex::test::UpdateSigner().PublicKey()}));
    }

    Output Run(const std::string& base, const std::string& options)
    {
        const std::string program = (fs::path(HALVEX_PROGRAM_DIR) / "dravane").string();
        const std::string command = "HALVEX_ASSUME_USB=1 LC_ALL=C TMPDIR='" + m_temp.path().string() +
                                    "' XDG_RUNTIME_DIR= HALVEX_UPDATE_URL='" + base + "' '" + program +
                                    "' --run-path '" + m_drive.path().string() + "' check-update " + options +
                                    " 2>/dev/null";
        return halvex::test::RunShell(command);
    }

    TempFolder m_root, m_drive, m_temp;
};

TEST_F(CheckUpdateProgramTest, OutcomesAndExitStatus)
{
    LoopbackServer server(m_root.path());
    ASSERT_TRUE(server.running());

    WriteFile(m_root / "check-update.php",
              R"(<response><update version="9.1.0" url="p/Dravane-9.1.0.zip"/></response>)");
    Output offer = Run(server.base(), "");
    EXPECT_EQ(offer.status, 0);
    EXPECT_EQ(offer.out, "version: 9.1.0\naddress: " + server.base() + "p/Dravane-9.1.0.zip\n");

    WriteFile(m_root / "check-update.php", R"(<response><update error="0"/></response>)");
    EXPECT_EQ(Run(server.base(), "").status, 0);
    WriteFile(m_root / "check-update.php", R"(<response><update error="3"/></response>)");
    EXPECT_EQ(Run(server.base(), "").status, 1);
    EXPECT_EQ(Run(server.base(), "--bogus").status, 2);
    EXPECT_EQ(Run("http://127.0.0.1:1/no-slash", "").status, 1);

    // A drive that lists no update key asks nothing.
    fs::remove(m_drive / "HalvexDravane.app/Contents/Resources/Configuration.plist");
    fs::remove(m_root / "requests.log");
    EXPECT_EQ(Run(server.base(), "").status, 1);
    EXPECT_FALSE(fs::exists(m_root / "requests.log"));
}

TEST_F(CheckUpdateProgramTest, DownloadPrintsThePackagePath)
{
    WriteFile(m_root / "f.txt", "payload");
    fs::create_directories(m_root / "p");
    ASSERT_TRUE(MakeZip(m_root / "p/Dravane-9.1.0.zip", {"HalvexDravane.app/f.txt=" + (m_root / "f.txt").string()}));
    WriteFile(m_root / "check-update.php",
              R"(<response><update version="9.1.0" url="p/Dravane-9.1.0.zip"/></response>)");
    LoopbackServer server(m_root.path());
    const Output result = Run(server.base(), "--download");
    EXPECT_EQ(result.status, 0);
    const std::string marker = "package: ";
    const auto at = result.out.find(marker);
    ASSERT_NE(at, std::string::npos) << result.out;
    const fs::path package = result.out.substr(at + marker.size(), result.out.find('\n', at) - at - marker.size());
    // A name of the program's own, in a folder of this download's own.
    EXPECT_EQ(package.filename(), "package.zip");
    EXPECT_TRUE(package.parent_path().filename().string().starts_with("halvex-download-")) << package;
    EXPECT_TRUE(fs::exists(package));
}

}  // namespace
