#include "prefs/KXAppPrefs.h"

#include <gtest/gtest.h>

#include "../plist/PlistTestSupport.h"
#include "TestFiles.h"

using halvex::test::PlistWith;
using halvex::test::WriteFile;
namespace key = halvex::prefkey;

namespace {

// Each test starts the registry as start-up does, on a file of its folder.
class KXAppPrefsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KXAppPrefs::Clear();
        KXAppPrefs::AddSuitePreferences();
        m_file = m_folder / "com.halvex.dravane.plist";
    }
    void TearDown() override { KXAppPrefs::Clear(); }

    DXPlistPrefs OnDisk() const { return DXPlistPrefs(m_file); }

    halvex::test::TempFolder m_folder{"prefs"};
    std::filesystem::path m_file;
};

TEST_F(KXAppPrefsTest, WithoutAFileEveryDefaultHoldsAndNothingIsWritten)
{
    EXPECT_FALSE(KXAppPrefs::InitWithPath(m_file));
    EXPECT_TRUE(KXAppPrefs::Bool(key::kShowMain));
    EXPECT_TRUE(KXAppPrefs::Bool(key::kAskAutoRun));
    EXPECT_FALSE(KXAppPrefs::Bool(key::kCheckUpdate));
    EXPECT_FALSE(KXAppPrefs::Bool(key::kSyncLog));
    EXPECT_FALSE(KXAppPrefs::Bool(key::kSyncSubfolders));
    EXPECT_FALSE(KXAppPrefs::Bool(key::kWinUI));
    EXPECT_FALSE(std::filesystem::exists(m_file));
    ASSERT_NE(KXAppPrefs::Find(key::kWinUI), nullptr);
    EXPECT_TRUE(KXAppPrefs::Find(key::kWinUI)->stealth);
    EXPECT_FALSE(KXAppPrefs::Find(key::kShowMain)->stealth);
}

TEST_F(KXAppPrefsTest, AWronglyTypedValueGivesTheDefaultAndIsRewritten)
{
    WriteFile(m_file, PlistWith("<key>ShowMain</key><string>yes</string><key>SyncLog</key><true/>"));
    ASSERT_TRUE(KXAppPrefs::InitWithPath(m_file));
    EXPECT_TRUE(KXAppPrefs::Bool(key::kShowMain));
    EXPECT_TRUE(KXAppPrefs::Bool(key::kSyncLog));
    ASSERT_TRUE(KXAppPrefs::Sync());
    DXPlistPrefs::PrefsValue showMain;
    ASSERT_TRUE(OnDisk().FindValue(key::kShowMain, showMain));
    EXPECT_EQ(showMain.type, DXPlistPrefs::PrefsValue::kBoolean);
    EXPECT_TRUE(showMain.bValue);
}

TEST_F(KXAppPrefsTest, StealthKeyIsReadButNeverWrittenOrAdded)
{
    KXAppPrefs::InitWithPath(m_file);
    ASSERT_TRUE(KXAppPrefs::Sync());
    DXPlistPrefs::PrefsValue value;
    EXPECT_FALSE(OnDisk().FindValue(key::kWinUI, value));
    EXPECT_TRUE(OnDisk().FindValue(key::kAskAutoRun, value));

    // Set by hand while the program runs: it stays through every Sync.
    DXPlistPrefs byHand(m_file);
    byHand.SetValue(key::kWinUI, true);
    ASSERT_TRUE(byHand.Update());
    EXPECT_TRUE(KXAppPrefs::Set(key::kSyncLog, true));
    ASSERT_TRUE(KXAppPrefs::Sync());
    KXAppPrefs::Read();
    EXPECT_TRUE(KXAppPrefs::Bool(key::kWinUI));
    EXPECT_TRUE(KXAppPrefs::Set(key::kWinUI, false));  // memory only
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(KXAppPrefs::Sync());
    bool winUI = false;
    EXPECT_TRUE(OnDisk().GetValue(key::kWinUI, winUI, false));
    EXPECT_TRUE(winUI);
}

TEST_F(KXAppPrefsTest, UnregisteredKeysSurviveEverySync)
{
    WriteFile(m_file, PlistWith("<key>AskAutoRun</key><true/><key>Other</key><date>2026-01-01T00:00:00Z</date>"
                                "<key>SyncLog</key><true/>"));
    KXAppPrefs::InitWithPath(m_file);

    // The first-run gate writes "eula" through its own object, with no Read after.
    DXPlistPrefs gate(m_file);
    gate.SetValue(key::kEula, true);
    ASSERT_TRUE(gate.Update());

    // Unticking only "SyncLog" rewrites that key and keeps every other.
    EXPECT_TRUE(KXAppPrefs::Set(key::kSyncLog, false));
    ASSERT_TRUE(KXAppPrefs::Sync());
    const DXPlistPrefs after = OnDisk();
    bool eula = false;
    bool syncLog = true;
    bool askAutoRun = false;
    EXPECT_TRUE(after.GetValue(key::kEula, eula, false));
    EXPECT_TRUE(after.GetValue(key::kSyncLog, syncLog, true));
    EXPECT_TRUE(after.GetValue(key::kAskAutoRun, askAutoRun, false));
    EXPECT_TRUE(eula);
    EXPECT_FALSE(syncLog);
    EXPECT_TRUE(askAutoRun);
    EXPECT_NE(after.ToText().find("<date>2026-01-01T00:00:00Z</date>"), std::string::npos);

    // A file that vanished or was damaged meanwhile: what was read is kept.
    WriteFile(m_file, "damaged");
    ASSERT_TRUE(KXAppPrefs::Sync());
    EXPECT_TRUE(OnDisk().GetValue(key::kEula, eula, false));
}

TEST_F(KXAppPrefsTest, SetReportsOnlyRealChangesOfTheRegisteredType)
{
    KXAppPrefs::InitWithPath(m_file);
    EXPECT_FALSE(KXAppPrefs::Set(key::kShowMain, true));  // unchanged
    EXPECT_FALSE(KXAppPrefs::Set(key::kShowMain, 1));     // another type
    EXPECT_FALSE(KXAppPrefs::Set(key::kShowMain, "no"));  // a literal is text, not a bool
    EXPECT_FALSE(KXAppPrefs::Set("Unregistered", true));
    EXPECT_TRUE(KXAppPrefs::Bool(key::kShowMain));
    EXPECT_TRUE(KXAppPrefs::Set(key::kShowMain, false));
    EXPECT_FALSE(KXAppPrefs::Bool(key::kShowMain));
    // Nothing reaches the file before Sync.
    EXPECT_FALSE(std::filesystem::exists(m_file));

    KXAppPrefs::Add("Name", "first");
    KXAppPrefs::Add("Count", 3);
    KXAppPrefs::Add("Scale", 1.5);
    EXPECT_TRUE(KXAppPrefs::Set("Name", std::string("second")));
    EXPECT_TRUE(KXAppPrefs::Set("Count", 4L));
    EXPECT_TRUE(KXAppPrefs::Set("Scale", 2.0));
    EXPECT_EQ(KXAppPrefs::String("Name"), "second");
    EXPECT_EQ(KXAppPrefs::Integer("Count"), 4);
    EXPECT_EQ(KXAppPrefs::Real("Scale"), 2.0);
    EXPECT_EQ(KXAppPrefs::String(key::kShowMain), "");
    EXPECT_EQ(KXAppPrefs::Integer("Name"), 0);
    EXPECT_FALSE(KXAppPrefs::Bool("Count"));

    // Registering again replaces type and value, and clears stealth.
    KXAppPrefs::Add(key::kWinUI, "text");
    EXPECT_FALSE(KXAppPrefs::Find(key::kWinUI)->stealth);
    EXPECT_EQ(KXAppPrefs::String(key::kWinUI), "text");
    KXAppPrefs::SetSealth("NotThere");
    EXPECT_EQ(KXAppPrefs::Find("NotThere"), nullptr);
}

TEST_F(KXAppPrefsTest, AFailedSyncKeepsTheValuesInMemory)
{
    KXAppPrefs::InitWithPath(m_folder / "gone" / "com.halvex.dravane.plist");
    EXPECT_TRUE(KXAppPrefs::Set(key::kCheckUpdate, true));
    EXPECT_FALSE(KXAppPrefs::Sync());
    EXPECT_TRUE(KXAppPrefs::Bool(key::kCheckUpdate));
}

}  // namespace
