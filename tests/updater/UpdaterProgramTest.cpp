// Runs the built Updater on the offscreen platform against a drive folder and
// a package, as the suite's hand-off starts it.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <optional>

#include "../update/UpdateTestSupport.h"
#include "WaitUntil.h"
#include "strings/StringTable.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using halvex::test::MakeZip;
using halvex::test::ReadFile;
using halvex::test::RunAndWait;
using halvex::test::Spawn;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

const fs::path kApp = "HalvexDravane.app";

mode_t ModeOf(const fs::path& file)
{
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mode & 0777;
}

// A drive with the suite, whose program leaves a mark when started again,
// and a temporary folder for the package.
class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        WriteFile(m_drive / kApp / "Contents/Linux/HalvexDravane",
                  "#!/bin/sh\necho relaunched > \"" + (m_drive / "relaunched.mark").string() + "\"\n");
        fs::permissions(m_drive / kApp / "Contents/Linux/HalvexDravane", fs::perms(0755));
        WriteFile(m_drive / kApp / "Contents/Resources/old.txt", "old text");
        WriteFile(m_drive / kApp / "Contents/Linux/Tool", "old tool");
        fs::permissions(m_drive / kApp / "Contents/Linux/Tool", fs::perms(0755));
        WriteFile(m_drive / kApp / "Contents/Linux/VERSION", "1.0.0\n");
        // The updater removes the package's folder when it is left empty.
        WriteFile(m_temp / "keeps the folder", "");
        WriteFile(m_drive / kApp / "Contents/Resources/Configuration.plist",
                  halvex::test::ConfigurationListing({m_publisher.PublicKey()}));
    }

    std::string Source(const std::string& name, const std::string& text)
    {
        WriteFile(m_work / name, text);
        return (m_work / name).string();
    }

    // The package as it is now, signed for 1.1.0 unless m_signature says otherwise.
    int RunUpdater(pid_t pid = 0)
    {
        const std::string signature = m_signature ? *m_signature : m_publisher.SignPackage(m_package, "1.1.0");
        if (pid == 0) {
            // A process that has already ended: the suite quit.
            pid = Spawn({"true"});
            ::waitpid(pid, nullptr, 0);
        }
        return RunAndWait({std::string(HALVEX_PROGRAM_DIR) + "/Updater", "-pid", std::to_string(pid), "-name",
                           "Pellory", "-cur", (m_drive / kApp).string(), "-zip", m_package.string(), "-ver", "1.1.0",
                           "-sig", signature, "-silent", "1"});
    }

    TempFolder m_drive, m_temp, m_work;
    halvex::test::UpdateSigner m_publisher;
    std::optional<std::string> m_signature;
    fs::path m_package = m_temp / "Dravane-1.1.zip";
};

TEST_F(UpdaterTest, GoodUpdatePlacesFilesKeepsExecutablesAndRelaunches)
{
    ASSERT_TRUE(
        MakeZip(m_package, {
                               "HalvexDravane.app/=",
                               "HalvexDravane.app/Contents/Resources/old.txt=" + Source("a", "new text"),
                               "HalvexDravane.app/Contents/Resources/New/Deep/added.txt=" + Source("b", "added"),
                               "HalvexDravane.app/Contents/Linux/Tool=" + Source("c", "new tool"),
                               "HalvexDravane.app/Contents/Linux/Helper=" + Source("d", "helper") + ":755",
                               "HalvexDravane.app/.hidden=" + Source("e", "hidden"),
                           }));
    EXPECT_EQ(RunUpdater(), 0);
    const fs::path contents = m_drive / kApp / "Contents";
    EXPECT_EQ(ReadFile(contents / "Resources/old.txt"), "new text");
    EXPECT_EQ(ReadFile(contents / "Resources/New/Deep/added.txt"), "added");
    EXPECT_EQ(ReadFile(contents / "Linux/Tool"), "new tool");
    EXPECT_EQ(ModeOf(contents / "Linux/Tool"), 0755u);    // the mode of the file it replaced
    EXPECT_EQ(ModeOf(contents / "Linux/Helper"), 0755u);  // the package's own mode
    EXPECT_FALSE(fs::exists(m_drive / kApp / ".hidden"));
    EXPECT_FALSE(fs::exists(m_package));
    EXPECT_FALSE(fs::exists(m_temp / "HalvexUpdate"));
    EXPECT_TRUE(halvex::test::WaitUntil([&] { return fs::exists(m_drive / "relaunched.mark"); }));
}

TEST_F(UpdaterTest, FilesEqualBySizeAndTimeAreLeftAlone)
{
    const std::string entry = "HalvexDravane.app/Contents/Resources/old.txt=" + Source("a", "new text");
    ASSERT_TRUE(MakeZip(m_package, {entry}));
    ASSERT_EQ(RunUpdater(), 0);
    // Same size and time as the package's entry, other bytes: not copied again.
    const fs::path placed = m_drive / kApp / "Contents/Resources/old.txt";
    const auto time = fs::last_write_time(placed);
    WriteFile(placed, "NEW TEXT");
    fs::last_write_time(placed, time);
    ASSERT_TRUE(MakeZip(m_package, {entry}));
    ASSERT_EQ(RunUpdater(), 0);
    EXPECT_EQ(ReadFile(placed), "NEW TEXT");
}

TEST_F(UpdaterTest, EscapingEntryFailsTheUpdateWithoutRelaunch)
{
    ASSERT_TRUE(MakeZip(m_package, {"HalvexDravane.app/Contents/Resources/old.txt=" + Source("a", "new text"),
                                    "../../escaped.txt=" + Source("b", "evil")}));
    EXPECT_EQ(RunUpdater(), 1);
    EXPECT_EQ(ReadFile(m_drive / kApp / "Contents/Resources/old.txt"), "old text");
    EXPECT_FALSE(fs::exists(m_temp.path().parent_path() / "escaped.txt"));
    EXPECT_FALSE(fs::exists(m_package)) << "the next try downloads into a folder of its own";
    std::this_thread::sleep_for(300ms);  // time for a relaunch that must not come
    EXPECT_FALSE(fs::exists(m_drive / "relaunched.mark"));
}

// The updater checks for itself: whoever started it, a package without the
// publisher's signature for this version places nothing.
TEST_F(UpdaterTest, UnsignedOrMissignedPackageIsRefusedBeforeAnythingIsPlaced)
{
    for (const std::string& signature :
         {std::string(), m_publisher.Sign("halvex-update 01 1.1.0 " + std::string(64, '0'))}) {
        ASSERT_TRUE(MakeZip(m_package, {"HalvexDravane.app/Contents/Resources/old.txt=" + Source("a", "new text")}));
        m_signature = signature;
        EXPECT_EQ(RunUpdater(), 1);
        EXPECT_EQ(ReadFile(m_drive / kApp / "Contents/Resources/old.txt"), "old text");
        EXPECT_FALSE(fs::exists(m_temp / "HalvexUpdate"));
    }
    std::this_thread::sleep_for(300ms);  // time for a relaunch that must not come
    EXPECT_FALSE(fs::exists(m_drive / "relaunched.mark"));
}

TEST_F(UpdaterTest, DamagedPackageFailsWithoutRelaunch)
{
    WriteFile(m_package, "not a zip archive");
    EXPECT_EQ(RunUpdater(), 1);
    EXPECT_EQ(ReadFile(m_drive / kApp / "Contents/Resources/old.txt"), "old text");
    std::this_thread::sleep_for(300ms);  // time for a relaunch that must not come
    EXPECT_FALSE(fs::exists(m_drive / "relaunched.mark"));
}

TEST_F(UpdaterTest, WaitsForTheSuiteToEnd)
{
    ASSERT_TRUE(MakeZip(m_package, {"HalvexDravane.app/Contents/Resources/old.txt=" + Source("a", "new text")}));
    const pid_t suite = Spawn({"sleep", "1.5"});
    const auto started = std::chrono::steady_clock::now();
    std::thread reaper([suite] { ::waitpid(suite, nullptr, 0); });
    EXPECT_EQ(RunUpdater(suite), 0);
    reaper.join();
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1400ms);
    EXPECT_EQ(ReadFile(m_drive / kApp / "Contents/Resources/old.txt"), "new text");
}

TEST_F(UpdaterTest, MissingArgumentsEndSilentlyTouchingNothing)
{
    WriteFile(m_package, "package");
    EXPECT_EQ(RunAndWait({std::string(HALVEX_PROGRAM_DIR) + "/Updater", "-pid", "0", "-name", "Pellory", "-cur",
                          (m_drive / kApp).string(), "-zip", m_package.string()}),
              0);
    EXPECT_EQ(RunAndWait({std::string(HALVEX_PROGRAM_DIR) + "/Updater"}), 0);
    EXPECT_TRUE(fs::exists(m_package));
}

TEST(UpdaterStrings, EveryLanguageHasItsTexts)
{
    const fs::path resources = fs::path(HALVEX_SOURCE_DIR) / "Linux/updater/Resources";
    for (const char* folder : {"English", "en_GB", "fr_FR", "fr_CA", "ja", "zh_CN", "zh_TW"}) {
        SCOPED_TRACE(folder);
        halvex::StringTable table;
        ASSERT_TRUE(table.Load(resources / (std::string(folder) + ".lproj") / "Localizable.strings"));
        // Why a package was refused: plain sentences.
        for (const char* key : {"update_not_set_up", "update_refused", "update_not_newer"}) {
            const std::string value = table.Get(key);
            EXPECT_NE(value, key);
            EXPECT_EQ(value.find('%'), std::string::npos) << key;
        }
        for (const char* key : {"update_status", "update_good", "update_fail"}) {
            const std::string value = table.Get(key);
            EXPECT_FALSE(value.empty()) << key;
            // Exactly one placeholder, for the program's name.
            EXPECT_EQ(value.find("%s"), value.rfind("%s")) << key;
            EXPECT_NE(value.find("%s"), std::string::npos) << key;
            EXPECT_EQ(std::count(value.begin(), value.end(), '%'), 1) << key;
        }
        // The name, then what went wrong.
        const std::string kept = table.Get("update_fail_kept");
        EXPECT_EQ(std::count(kept.begin(), kept.end(), '%'), 2);
        EXPECT_LT(kept.find("%s"), kept.rfind("%s"));
    }
}

}  // namespace
