#include "app/setup/KWSetupDlg.h"

#include "app/setup/KWSetupAutoRun.h"
#include "app/setup/KWSetupLicense.h"
#include "toolkit/AppText.h"

KWSetupDlg::KWSetupDlg(QWidget* owner, const std::filesystem::path& licenseFile, KWSetupSync::Folders folders,
                       KWSetupSync::Browser browse, KWSetupSync::Checker check, bool isAdministrator)
    : KWWizardDlg(owner, TextOr("setup_title")),
      m_license(new KWSetupLicense(licenseFile)),
      m_sync(new KWSetupSync(std::move(folders), std::move(browse), std::move(check))),
      m_autoRun(new KWSetupAutoRun(isAdministrator))
{
    AddPage(m_license);
    AddPage(m_sync);
    AddPage(m_autoRun);
}

SetupChoices KWSetupDlg::Choices() const
{
    SetupChoices choices;
    choices.syncFolder = m_sync->Folder();
    choices.syncSubfolders = m_sync->Subfolders();
    choices.installAutoRun = m_autoRun->InstallFlag();
    return choices;
}
