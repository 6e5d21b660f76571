#include "app/setup/KWSetupDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>

#include <fstream>

#include "app/setup/KWSetupAutoRun.h"
#include "app/setup/KWSetupLicense.h"
#include "app/setup/KWStartupDlg.h"
#include "app/setup/KWWizardPage.h"
#include "app/setup/SetupGate.h"
#include "WindowFixture.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "strings/KXStrings.h"

namespace fs = std::filesystem;
using namespace halvex::app;
using Step = KWWizardDlg::StepState;

namespace {

class KWSetupDlgTest : public WindowFixture {
protected:
    std::unique_ptr<KWSetupDlg> MakeWizard(bool administrator, const std::function<bool(const fs::path&)>& check = {})
    {
        KWSetupSync::Folders folders{ComputerFolder("Desktop"), ComputerFolder("Documents"),
                                     ComputerFolder("Documents")};
        auto wizard = std::make_unique<KWSetupDlg>(
            nullptr, KXStrings::LicensePath(), folders,
            [this](QWidget*, const fs::path&) { return std::optional<fs::path>(ComputerFolder("Picked")); },
            [check](QWidget*, const fs::path& folder) { return !check || check(folder); }, administrator);
        wizard->Start();
        return wizard;
    }

    // The folders the wizard records as chosen on this computer land in m_recorded.
    SetupPlace GatePlace()
    {
        return {PrefsFile(), Place(), [this](const fs::path& folder) { m_recorded.push_back(folder); }};
    }
    std::vector<fs::path> m_recorded;

    bool Eula() const
    {
        const DXPlistPrefs prefs(PrefsFile());
        bool eula = false;
        return prefs.GetValue("eula", eula, false) && eula;
    }
};

TEST_F(KWSetupDlgTest, PagesFollowEachOtherWithTheirButtonsAndSteps)
{
    auto wizard = MakeWizard(true);
    auto* licence = wizard->LicensePage();
    KWSetupSync* sync = wizard->SyncPage();

    EXPECT_EQ(wizard->CurrentIndex(), 0);
    EXPECT_EQ(wizard->TitleText().toStdString(), KXStrings::GetString("setup_license"));
    EXPECT_FALSE(wizard->BackButton()->isEnabled());
    EXPECT_FALSE(wizard->NextButton()->isHidden());
    EXPECT_TRUE(wizard->FinishButton()->isHidden());
    EXPECT_FALSE(wizard->NextButton()->isEnabled()) << "the licence is not accepted yet";
    EXPECT_EQ(wizard->Step(0), Step::Selected);
    EXPECT_EQ(wizard->Step(1), Step::Disabled);
    EXPECT_FALSE(sync->IsCreated()) << "a page is made on its first activation";
    EXPECT_FALSE(licence->LicenseText()->toPlainText().isEmpty()) << "the licence text is shown";

    licence->AcceptBox()->setChecked(true);
    EXPECT_TRUE(wizard->NextButton()->isEnabled());
    wizard->NextButton()->click();
    EXPECT_EQ(wizard->CurrentIndex(), 1);
    EXPECT_EQ(wizard->Step(0), Step::Normal);
    EXPECT_EQ(wizard->Step(1), Step::Selected);
    EXPECT_TRUE(wizard->BackButton()->isEnabled());
    EXPECT_TRUE(wizard->NextButton()->isEnabled());
    EXPECT_FALSE(sync->BrowseButton()->isEnabled()) << "Desktop is chosen at first";
    EXPECT_EQ(sync->Folder(), ComputerFolder("Desktop"));

    // The own-folder choice with an empty text cannot go on.
    sync->ChoiceButton(KWSetupSync::kOwnFolder)->setChecked(true);
    EXPECT_TRUE(sync->BrowseButton()->isEnabled());
    sync->FolderEdit()->clear();
    EXPECT_FALSE(wizard->NextButton()->isEnabled());
    sync->BrowseButton()->click();
    EXPECT_EQ(sync->Folder(), ComputerFolder("Picked"));
    EXPECT_TRUE(wizard->NextButton()->isEnabled());

    wizard->NextButton()->click();
    EXPECT_EQ(wizard->CurrentIndex(), 2);
    EXPECT_TRUE(wizard->NextButton()->isHidden());
    EXPECT_FALSE(wizard->FinishButton()->isHidden());
    EXPECT_TRUE(wizard->FinishButton()->isEnabled());

    wizard->BackButton()->click();
    EXPECT_EQ(wizard->CurrentIndex(), 1);
    EXPECT_FALSE(wizard->NextButton()->isHidden());
    EXPECT_TRUE(wizard->FinishButton()->isHidden());
    EXPECT_EQ(sync->Folder(), ComputerFolder("Picked")) << "a page keeps its choices";
    wizard->BackButton()->click();
    EXPECT_FALSE(wizard->BackButton()->isEnabled());
    EXPECT_TRUE(wizard->NextButton()->isEnabled()) << "the licence stays accepted";
}

TEST_F(KWSetupDlgTest, TypedFolderThatBreaksTheRulesKeepsThePage)
{
    int checked = 0;
    auto wizard = MakeWizard(true, [&](const fs::path&) { return ++checked > 1; });
    wizard->LicensePage()->AcceptBox()->setChecked(true);
    wizard->Next();
    wizard->SyncPage()->ChoiceButton(KWSetupSync::kOwnFolder)->setChecked(true);
    wizard->SyncPage()->FolderEdit()->setText("/somewhere/typed");
    wizard->Next();
    EXPECT_EQ(wizard->CurrentIndex(), 1);
    wizard->Next();
    EXPECT_EQ(wizard->CurrentIndex(), 2);
}

TEST_F(KWSetupDlgTest, FinishCollectsTheChoicesAndTheAutoRunFlag)
{
    auto wizard = MakeWizard(true);
    wizard->LicensePage()->AcceptBox()->setChecked(true);
    wizard->Next();
    wizard->SyncPage()->ChoiceButton(KWSetupSync::kDocuments)->setChecked(true);
    wizard->SyncPage()->SubfoldersYes()->setChecked(true);
    wizard->Next();
    wizard->AutoRunPage()->YesButton()->setChecked(true);
    wizard->FinishButton()->click();
    EXPECT_EQ(wizard->result(), QDialog::Accepted);
    const SetupChoices choices = wizard->Choices();
    EXPECT_EQ(choices.syncFolder, ComputerFolder("Documents"));
    EXPECT_TRUE(choices.syncSubfolders);
    EXPECT_TRUE(choices.installAutoRun);
}

TEST_F(KWSetupDlgTest, WithoutAdministratorRightsTheAgentCannotBeChosen)
{
    auto wizard = MakeWizard(false);
    wizard->LicensePage()->AcceptBox()->setChecked(true);
    wizard->Next();
    wizard->Next();
    KWSetupAutoRun* page = wizard->AutoRunPage();
    EXPECT_FALSE(page->YesButton()->isEnabled());
    EXPECT_FALSE(page->NoButton()->isEnabled());
    EXPECT_TRUE(page->NoButton()->isChecked());
    EXPECT_FALSE(page->RightsNote()->isHidden());
    page->YesButton()->setChecked(true);  // even when forced
    wizard->Finish();
    EXPECT_FALSE(wizard->Choices().installAutoRun);

    auto admin = MakeWizard(true);
    admin->LicensePage()->AcceptBox()->setChecked(true);
    admin->Next();
    admin->Next();
    EXPECT_TRUE(admin->AutoRunPage()->YesButton()->isEnabled());
    EXPECT_TRUE(admin->AutoRunPage()->RightsNote()->parentWidget()->isHidden());
}

TEST_F(KWSetupDlgTest, GateIsSkippedOnceTheLicenceIsAccepted)
{
    AcceptLicence();
    int windows = 0;
    SetupWindows gateWindows{[&] { return ++windows, true; }, [&] { return ++windows, std::optional<SetupChoices>(); }};
    bool completed = true;
    EXPECT_TRUE(RunSetupGate(nullptr, GatePlace(), gateWindows, FakeAutoRun(true), completed));
    EXPECT_EQ(windows, 0);
    EXPECT_FALSE(completed);
}

TEST_F(KWSetupDlgTest, CancelOrExitEndsTheProgramWithNothingWritten)
{
    bool completed = true;
    SetupWindows exitAtWelcome{[] { return false; }, [] { return std::optional<SetupChoices>(SetupChoices{}); }};
    EXPECT_FALSE(RunSetupGate(nullptr, GatePlace(), exitAtWelcome, FakeAutoRun(true), completed));

    // Cancel on the last page of a real wizard.
    SetupWindows cancelWizard{[] { return true; },
                              [&]() -> std::optional<SetupChoices> {
                                  auto wizard = MakeWizard(true);
                                  wizard->LicensePage()->AcceptBox()->setChecked(true);
                                  wizard->Next();
                                  wizard->Next();
                                  wizard->AutoRunPage()->YesButton()->setChecked(true);
                                  wizard->CancelButton()->click();
                                  if (wizard->result() == QDialog::Accepted)
                                      return wizard->Choices();
                                  return std::nullopt;
                              }};
    EXPECT_FALSE(RunSetupGate(nullptr, GatePlace(), cancelWizard, FakeAutoRun(true), completed));
    EXPECT_FALSE(completed);
    EXPECT_FALSE(fs::exists(PrefsFile()));
    EXPECT_FALSE(fs::exists(IndexFile()));
    EXPECT_EQ(m_nInstalls, 0);
    EXPECT_FALSE(Eula()) << "the next start shows the welcome window again";
}

TEST_F(KWSetupDlgTest, FinishWritesTheLicenceTheFolderAndSubfoldersThenInstalls)
{
    // A preference file written by hand keeps its other keys.
    {
        DXPlistPrefs prefs(PrefsFile());
        prefs.SetValue("WinUI", true);
        ASSERT_TRUE(prefs.Update());
    }
    const fs::path folder = ComputerFolder("Work");
    SetupWindows finish{[] { return true; },
                        [&] {
                            return std::optional<SetupChoices>(SetupChoices{folder, true, true});
                        }};
    bool completed = false;
    ASSERT_TRUE(RunSetupGate(nullptr, GatePlace(), finish, FakeAutoRun(true), completed));
    EXPECT_TRUE(completed);
    EXPECT_TRUE(Eula());
    EXPECT_EQ(halvex::ReadComputerFolder(IndexFile(), Place().computerKey), folder.string());
    EXPECT_EQ(m_recorded, std::vector<fs::path>{folder}) << "chosen here: the sync window asks nothing";
    EXPECT_TRUE(KXAppPrefs::Bool("SyncSubfolders")) << "the preferences are read again";
    EXPECT_TRUE(KXAppPrefs::Bool("WinUI"));
    EXPECT_EQ(m_nInstalls, 1);
    ASSERT_EQ(m_trusted.size(), 1u);
    EXPECT_TRUE(m_trusted[0].SameDrive(kThisDrive));
    EXPECT_TRUE(KWMsgBox::ShownBoxes().empty());
}

TEST_F(KWSetupDlgTest, FinishSetsAsideAFullDriveFolderAndReportsAFailedInstallOnce)
{
    fs::create_directories(UsbFolder());
    halvex::test::WriteFile(UsbFolder() / "old.txt", "kept");
    m_bInstallWorks = false;
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);  // sync_folder_ask_rename
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);   // sync_folder_rename_done
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);   // err_autorun_install
    const fs::path folder = ComputerFolder("Work");
    StoreSetupChoices(nullptr, GatePlace(), SetupChoices{folder, false, true}, FakeAutoRun(true));

    EXPECT_TRUE(fs::exists(m_drive / "Sync Folder_Old1" / "old.txt"));
    EXPECT_TRUE(fs::is_empty(UsbFolder()));
    EXPECT_EQ(halvex::ReadComputerFolder(IndexFile(), Place().computerKey), folder.string());
    EXPECT_TRUE(Eula());
    EXPECT_FALSE(KXAppPrefs::Bool("SyncSubfolders"));
    const auto& boxes = KWMsgBox::ShownBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text.toStdString(), KXStrings::GetString("sync_folder_ask_rename"));
    EXPECT_EQ(boxes[0].focus, KWMsgBox::kIdYes);
    EXPECT_EQ(boxes[1].text.toStdString(),
              KXStrings::Format("sync_folder_rename_done", std::string("Sync Folder_Old1")));
    EXPECT_EQ(boxes[2].text.toStdString(), KXStrings::GetString("err_autorun_install"));
}

// The setup starts the pairing over: a folder equal to the one stored for
// this computer is no reason to skip the question about the drive's files.
TEST_F(KWSetupDlgTest, FinishAsksAboutTheDriveFilesEvenForTheStoredFolder)
{
    const fs::path folder = ComputerFolder("Work");
    ASSERT_TRUE(halvex::WriteComputerFolder(IndexFile(), Place().computerKey, folder));
    fs::create_directories(UsbFolder());
    halvex::test::WriteFile(UsbFolder() / "old.txt", "kept");
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);  // sync_folder_ask_rename
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);   // sync_folder_rename_done
    StoreSetupChoices(nullptr, GatePlace(), SetupChoices{folder, false, false}, FakeAutoRun(true));
    ASSERT_FALSE(KWMsgBox::ShownBoxes().empty());
    EXPECT_EQ(KWMsgBox::ShownBoxes()[0].text.toStdString(), KXStrings::GetString("sync_folder_ask_rename"));
    EXPECT_TRUE(fs::exists(m_drive / "Sync Folder_Old1" / "old.txt"));
    EXPECT_EQ(halvex::ReadComputerFolder(IndexFile(), Place().computerKey), folder.string());
}

// The licence then counts as not accepted and the wizard comes again at the
// next start: the user hears why.
TEST_F(KWSetupDlgTest, PreferencesThatCannotBeWrittenAreReported)
{
    const SetupPlace place{m_root / "gone" / "com.halvex.dravane.plist", Place(), {}};
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    StoreSetupChoices(nullptr, place, SetupChoices{{}, true, false}, FakeAutoRun(true));
    const auto& boxes = KWMsgBox::ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QString::fromStdString(KXStrings::GetString("err_prefs_save"))));
    EXPECT_TRUE(boxes[0].text.contains("gone")) << boxes[0].text.toStdString();
}

TEST_F(KWSetupDlgTest, WelcomeWindowContinuesToTheSetupFirstAndToTheToolsLater)
{
    KWStartupDlg first(nullptr, true);
    EXPECT_EQ(first.ExitButton()->text().toStdString(), KXStrings::GetString("exit"));
    EXPECT_TRUE(first.SyncButton()->isHidden());
    EXPECT_TRUE(first.BackupButton()->isHidden());
    SaveScreenshot(first, "welcome_window.png");
    first.ContinueButton()->click();
    EXPECT_EQ(first.Choice(), StartupChoice::Continue);

    // Opened again from the main window: the tools, or Cancel back to it.
    for (auto [button, choice] : {std::pair{&KWStartupDlg::SyncButton, StartupChoice::Sync},
                                  {&KWStartupDlg::BackupButton, StartupChoice::Backup},
                                  {&KWStartupDlg::ExitButton, StartupChoice::Cancelled}}) {
        KWStartupDlg later(nullptr, false);
        later.show();
        EXPECT_FALSE(later.ContinueButton()->isVisible());
        (later.*button)()->click();
        EXPECT_EQ(later.Choice(), choice);
        if (choice == StartupChoice::Sync)
            SaveScreenshot(later, "welcome_window_again.png");
    }
}

TEST_F(KWSetupDlgTest, Screenshots)
{
    auto wizard = MakeWizard(false);
    SaveScreenshot(*wizard, "setup_1_license.png");
    wizard->LicensePage()->AcceptBox()->setChecked(true);
    wizard->Next();
    SaveScreenshot(*wizard, "setup_2_sync.png");
    wizard->Next();
    SaveScreenshot(*wizard, "setup_3_autorun.png");
}

}  // namespace
