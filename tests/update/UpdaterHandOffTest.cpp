#include "update/UpdaterHandOff.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "UpdateTestSupport.h"

namespace {

namespace fs = std::filesystem;
using halvex::test::ReadFile;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

class HandOffTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_handOff.bundlePath = m_drive / "HalvexDravane.app";
        m_handOff.tempFolder = m_temp.path();
        m_handOff.packagePath = m_temp / "Dravane-1.1.zip";
        m_handOff.pid = 4242;
        WriteFile(m_handOff.bundlePath / "Contents/Linux/Updater", "#!/bin/sh\n");
        fs::permissions(m_handOff.bundlePath / "Contents/Linux/Updater", fs::perms(0755));
        WriteFile(m_handOff.packagePath, "package");
        // A drive at 1.0.0 that trusts the publisher, and a package signed for 1.1.0.
        WriteFile(m_handOff.bundlePath / "Contents/Linux/VERSION", "1.0.0\n");
        WriteFile(m_handOff.bundlePath / "Contents/Resources/Configuration.plist",
                  halvex::test::ConfigurationListing({m_publisher.PublicKey()}));
        m_handOff.version = "1.1.0";
        m_handOff.signature = m_publisher.SignPackage(m_handOff.packagePath, "1.1.0");
    }

    halvex::ProgramStarter Recorder(bool succeed)
    {
        return [this, succeed](const fs::path& program, const std::vector<std::string>& arguments) {
            m_program = program;
            m_arguments = arguments;
            return succeed ? halvex::Status::Ok() : halvex::Status::FailErrno("err_program_start", program, ENOEXEC);
        };
    }

    TempFolder m_drive, m_temp;
    halvex::test::UpdateSigner m_publisher;
    halvex::UpdaterHandOff m_handOff;
    fs::path m_program;
    std::vector<std::string> m_arguments;
};

TEST_F(HandOffTest, StartsACopyOutsideTheBundleWithTheNamedArguments)
{
    ASSERT_TRUE(halvex::StartUpdater(m_handOff, Recorder(true)));
    EXPECT_EQ(m_program, m_temp / "updater" / "Updater");
    EXPECT_EQ(fs::status(m_program).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    const std::vector<std::string> expected{"-pid",  "4242",
                                            "-name", "Pellory",
                                            "-cur",  m_handOff.bundlePath.string(),
                                            "-zip",  m_handOff.packagePath.string(),
                                            "-ver",  "1.1.0",
                                            "-sig",  m_handOff.signature};
    EXPECT_EQ(m_arguments, expected);

    m_handOff.silent = true;
    ASSERT_TRUE(halvex::StartUpdater(m_handOff, Recorder(true)));
    ASSERT_EQ(m_arguments.size(), expected.size() + 2);
    EXPECT_EQ(m_arguments[expected.size()], "-silent");
}

// A drive made for other desktops carries its Qt beside the programs; the
// copy must take it along or it would not start where the system has no Qt.
TEST_F(HandOffTest, TakesTheBundledLibrariesAlongAndReplacesAnEarlierCopy)
{
    const fs::path programs = m_handOff.bundlePath / "Contents/Linux";
    WriteFile(programs / "lib/libQt6Core.so.6", "core");
    WriteFile(programs / "plugins/platforms/libqxcb.so", "xcb");
    WriteFile(programs / "qt.conf", "[Paths]\nPlugins = plugins\n");
    WriteFile(m_temp / "updater/lib/libStale.so", "stale");
    fs::permissions(programs / "Updater", fs::perms(0644));  // a showexec drive

    ASSERT_TRUE(halvex::StartUpdater(m_handOff, Recorder(true)));
    const fs::path copy = m_temp / "updater";
    EXPECT_EQ(m_program, copy / "Updater");
    EXPECT_EQ(fs::status(m_program).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    EXPECT_EQ(ReadFile(copy / "lib/libQt6Core.so.6"), "core");
    EXPECT_EQ(ReadFile(copy / "plugins/platforms/libqxcb.so"), "xcb");
    EXPECT_EQ(ReadFile(copy / "qt.conf"), "[Paths]\nPlugins = plugins\n");
    EXPECT_FALSE(fs::exists(copy / "lib/libStale.so"));
    EXPECT_TRUE(fs::exists(programs / "lib/libQt6Core.so.6"));  // the drive keeps its own
}

// Refused before the suite quits, so its user is told; the updater is not
// even copied.
TEST_F(HandOffTest, APackageTheDriveWouldRefuseStartsNothing)
{
    m_handOff.version = "1.2.0";
    const halvex::Status refused = halvex::StartUpdater(m_handOff, Recorder(true));
    EXPECT_EQ(refused.messageKey, "update_refused");
    EXPECT_TRUE(m_program.empty());
    EXPECT_FALSE(fs::exists(m_temp / "updater"));
}

TEST_F(HandOffTest, FailuresKeepThePackage)
{
    const halvex::Status notStarted = halvex::StartUpdater(m_handOff, Recorder(false));
    EXPECT_FALSE(notStarted);
    EXPECT_EQ(notStarted.messageKey, "updater_err");
    EXPECT_EQ(notStarted.systemError, ENOEXEC);  // the starter's reason travels

    fs::remove(m_handOff.bundlePath / "Contents/Linux/Updater");
    m_program.clear();
    const halvex::Status missing = halvex::StartUpdater(m_handOff, Recorder(true));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.messageKey, "updater_err");
    EXPECT_TRUE(m_program.empty());  // the copy never runs from the bundle
    EXPECT_EQ(ReadFile(m_handOff.packagePath), "package");
}

}  // namespace
