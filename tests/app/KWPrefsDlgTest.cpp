#include "app/prefs/KWPrefsDlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <chrono>
#include <fstream>
#include <thread>

#include "WindowFixture.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "strings/KXStrings.h"

namespace fs = std::filesystem;

namespace {

class KWPrefsDlgTest : public WindowFixture {
protected:
    PrefsContext Context(bool administrator)
    {
        PrefsContext context;
        context.sync = Place();
        context.browse = [this](QWidget*, const fs::path&) { return std::optional<fs::path>(m_picked); };
        context.autoRun = FakeAutoRun(administrator);
        return context;
    }

    void WritePrefs()
    {
        DXPlistPrefs prefs(PrefsFile());
        prefs.SetValue("eula", true);
        prefs.SetValue("SyncLog", true);
        prefs.SetValue("CheckUpdate", true);
        ASSERT_TRUE(prefs.Update());
        ASSERT_TRUE(KXAppPrefs::Read());
    }

    fs::file_time_type Stamp() const { return fs::last_write_time(PrefsFile()); }

    fs::path m_picked;
};

TEST_F(KWPrefsDlgTest, PagesShowTheStoredValues)
{
    WritePrefs();
    ASSERT_TRUE(halvex::WriteComputerFolder(IndexFile(), Place().computerKey, ComputerFolder("Mine")));
    KWPrefsDlg prefs(nullptr, Context(true), KWPrefsDlg::kSync);
    EXPECT_EQ(prefs.windowTitle().toStdString(), KXStrings::GetString("prefs_window_title"));
    EXPECT_EQ(prefs.CurrentPage(), KWPrefsDlg::kSync);
    EXPECT_TRUE(prefs.General()->ShowMainBox()->isChecked());
    EXPECT_TRUE(prefs.General()->CheckUpdateBox()->isChecked());
    EXPECT_TRUE(prefs.Sync()->SyncLogBox()->isChecked());
    EXPECT_FALSE(prefs.Sync()->SubfoldersBox()->isChecked());
    EXPECT_EQ(prefs.Sync()->FolderEdit()->text().toStdString(), ComputerFolder("Mine").string());
    EXPECT_TRUE(prefs.Advanced()->AskBox()->isChecked());
    EXPECT_FALSE(prefs.Advanced()->AutoRunBox()->isChecked());
    EXPECT_TRUE(prefs.Advanced()->AutoRunBox()->isEnabled());
}

TEST_F(KWPrefsDlgTest, OkWithoutAChangeWritesNothing)
{
    WritePrefs();
    const std::string before = halvex::test::ReadFile(PrefsFile());
    const auto stamp = Stamp();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a rewrite would change the stamp
    KWPrefsDlg prefs(nullptr, Context(true));
    prefs.OkButton()->click();
    EXPECT_EQ(prefs.result(), QDialog::Accepted);
    EXPECT_EQ(Stamp(), stamp);
    EXPECT_EQ(halvex::test::ReadFile(PrefsFile()), before);
    EXPECT_FALSE(fs::exists(IndexFile()));
    EXPECT_EQ(m_nInstalls + m_nUninstalls, 0);

    // Nor does a missing file appear.
    fs::remove(PrefsFile());
    KWPrefsDlg again(nullptr, Context(true));
    again.accept();
    EXPECT_FALSE(fs::exists(PrefsFile()));
}

TEST_F(KWPrefsDlgTest, OneChangeRewritesTheFileKeepingEveryOtherKey)
{
    WritePrefs();
    KWPrefsDlg prefs(nullptr, Context(true));
    prefs.Sync()->SyncLogBox()->setChecked(false);
    prefs.accept();
    DXPlistPrefs file(PrefsFile());
    ASSERT_TRUE(file.Load());
    bool value = true;
    ASSERT_TRUE(file.GetValue("SyncLog", value, true));
    EXPECT_FALSE(value);
    ASSERT_TRUE(file.GetValue("eula", value, false));
    EXPECT_TRUE(value) << "a key the registry does not know survives";
    ASSERT_TRUE(file.GetValue("CheckUpdate", value, false));
    EXPECT_TRUE(value);
    EXPECT_FALSE(KXAppPrefs::Bool("SyncLog"));
}

TEST_F(KWPrefsDlgTest, AChangeThatCannotBeWrittenIsReportedAndHoldsForThisRun)
{
    KXAppPrefs::InitWithPath(m_root / "gone" / "com.halvex.dravane.plist");
    KWPrefsDlg prefs(nullptr, Context(true));
    const bool syncLog = !prefs.Sync()->SyncLogBox()->isChecked();
    prefs.Sync()->SyncLogBox()->setChecked(syncLog);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    prefs.accept();
    const auto& boxes = KWMsgBox::ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QString::fromStdString(KXStrings::GetString("err_prefs_save"))));
    EXPECT_TRUE(boxes[0].text.contains("gone")) << boxes[0].text.toStdString();
    EXPECT_EQ(KXAppPrefs::Bool("SyncLog"), syncLog);
}

TEST_F(KWPrefsDlgTest, CancelChangesNothing)
{
    WritePrefs();
    const std::string before = halvex::test::ReadFile(PrefsFile());
    KWPrefsDlg prefs(nullptr, Context(true));
    prefs.General()->ShowMainBox()->setChecked(false);
    prefs.Advanced()->AutoRunBox()->setChecked(true);
    prefs.CancelButton()->click();
    EXPECT_EQ(halvex::test::ReadFile(PrefsFile()), before);
    EXPECT_TRUE(KXAppPrefs::Bool("ShowMain"));
    EXPECT_EQ(m_nInstalls, 0);
}

TEST_F(KWPrefsDlgTest, AutoRunBoxInstallsAndRemovesTheAgent)
{
    {
        KWPrefsDlg prefs(nullptr, Context(true));
        prefs.Advanced()->AutoRunBox()->setChecked(true);
        prefs.accept();
    }
    EXPECT_EQ(m_nInstalls, 1);
    EXPECT_TRUE(m_bInstalled);
    EXPECT_EQ(m_trusted.size(), 1u);
    {
        KWPrefsDlg prefs(nullptr, Context(true));
        EXPECT_TRUE(prefs.Advanced()->AutoRunBox()->isChecked());
        prefs.accept();  // unchanged: nothing
        EXPECT_EQ(m_nInstalls, 1);
    }
    {
        KWPrefsDlg prefs(nullptr, Context(true));
        prefs.Advanced()->AutoRunBox()->setChecked(false);
        prefs.Advanced()->AskBox()->setChecked(false);
        prefs.accept();
    }
    EXPECT_EQ(m_nUninstalls, 1);
    EXPECT_FALSE(KXAppPrefs::Bool("AskAutoRun"));

    // A failed install is reported.
    m_bInstallWorks = false;
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    KWPrefsDlg prefs(nullptr, Context(true));
    prefs.Advanced()->AutoRunBox()->setChecked(true);
    prefs.accept();
    ASSERT_EQ(KWMsgBox::ShownBoxes().size(), 1u);
    EXPECT_EQ(KWMsgBox::ShownBoxes()[0].text.toStdString(), KXStrings::GetString("err_autorun_install"));
}

TEST_F(KWPrefsDlgTest, TrustedDrivesAreListedAndForgottenOnOkOnly)
{
    const halvex::DriveIdentity other{"090C", "1000", "BB02", "", "STICK"};
    m_trusted = {kThisDrive, other};
    {
        KWPrefsDlg prefs(nullptr, Context(false), KWPrefsDlg::kAdvanced);
        QListWidget* list = prefs.Advanced()->TrustedList();
        ASSERT_EQ(list->count(), 2);
        EXPECT_NE(list->item(1)->text().indexOf(QStringLiteral("BB02")), -1) << "same labels told apart";
        EXPECT_FALSE(prefs.Advanced()->ForgetButton()->isEnabled());
        list->setCurrentRow(0);
        prefs.Advanced()->ForgetButton()->click();
        EXPECT_EQ(list->count(), 1);
        prefs.CancelButton()->click();
    }
    EXPECT_EQ(m_trusted.size(), 2u);
    {
        KWPrefsDlg prefs(nullptr, Context(false), KWPrefsDlg::kAdvanced);
        prefs.Advanced()->TrustedList()->setCurrentRow(0);
        prefs.Advanced()->ForgetButton()->click();
        SaveScreenshot(prefs, "prefs_trusted_drives.png");
        prefs.accept();
    }
    ASSERT_EQ(m_trusted.size(), 1u);
    EXPECT_TRUE(m_trusted[0].SameDrive(other));
}

TEST_F(KWPrefsDlgTest, WithoutAdministratorRightsTheAutoRunBoxIsDisabled)
{
    m_bInstalled = true;
    KWPrefsDlg prefs(nullptr, Context(false), KWPrefsDlg::kAdvanced);
    EXPECT_FALSE(prefs.Advanced()->AutoRunBox()->isEnabled());
    prefs.Advanced()->AutoRunBox()->setChecked(false);
    prefs.accept();
    EXPECT_EQ(m_nUninstalls, 0);
    EXPECT_TRUE(prefs.Advanced()->AskBox()->isEnabled());
}

TEST_F(KWPrefsDlgTest, ChangedSyncFolderIsStoredAfterTheSetAsideQuestion)
{
    ASSERT_TRUE(halvex::WriteComputerFolder(IndexFile(), Place().computerKey, ComputerFolder("Old")));
    fs::create_directories(UsbFolder());
    halvex::test::WriteFile(UsbFolder() / "a.txt", "data");
    fs::create_directories(m_drive / "Sync Folder_Old1");
    m_picked = ComputerFolder("New");

    KWPrefsDlg prefs(nullptr, Context(true), KWPrefsDlg::kSync);
    prefs.Sync()->BrowseButton()->click();
    EXPECT_EQ(prefs.Sync()->FolderEdit()->text().toStdString(), m_picked.string());
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    prefs.accept();
    EXPECT_EQ(halvex::ReadComputerFolder(IndexFile(), Place().computerKey), m_picked.string());
    EXPECT_TRUE(fs::exists(m_drive / "Sync Folder_Old2" / "a.txt"));
    EXPECT_FALSE(fs::exists(PrefsFile())) << "the folder lives in the sync index, not the preferences";

    // The same folder again asks nothing.
    KWMsgBox::ClearTestState();
    KWPrefsDlg again(nullptr, Context(true), KWPrefsDlg::kSync);
    again.accept();
    EXPECT_TRUE(KWMsgBox::ShownBoxes().empty());
}

TEST_F(KWPrefsDlgTest, NoToTheSetAsideLeavesTheDriveFolderAndStoresTheNewFolder)
{
    ASSERT_TRUE(halvex::WriteComputerFolder(IndexFile(), Place().computerKey, ComputerFolder("Old")));
    fs::create_directories(UsbFolder());
    halvex::test::WriteFile(UsbFolder() / "a.txt", "data");
    m_picked = ComputerFolder("New");
    KWPrefsDlg prefs(nullptr, Context(true), KWPrefsDlg::kSync);
    prefs.Sync()->BrowseButton()->click();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    prefs.accept();
    // No leaves the drive folder in place and takes the new folder.
    EXPECT_TRUE(fs::exists(UsbFolder() / "a.txt"));
    EXPECT_EQ(halvex::ReadComputerFolder(IndexFile(), Place().computerKey), m_picked.string());
}

TEST_F(KWPrefsDlgTest, Screenshots)
{
    ASSERT_TRUE(halvex::WriteComputerFolder(IndexFile(), Place().computerKey, ComputerFolder("Documents")));
    KWPrefsDlg prefs(nullptr, Context(true));
    SaveScreenshot(prefs, "prefs_general.png");
    prefs.SelectPage(KWPrefsDlg::kSync);
    SaveScreenshot(prefs, "prefs_sync.png");
    prefs.SelectPage(KWPrefsDlg::kAdvanced);
    SaveScreenshot(prefs, "prefs_advanced.png");
}

}  // namespace
