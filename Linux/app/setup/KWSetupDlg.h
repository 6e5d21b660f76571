#pragma once

#include <filesystem>

#include "app/setup/KWSetupSync.h"
#include "app/setup/KWWizardDlg.h"

class KWSetupLicense;
class KWSetupAutoRun;

// What the first-run wizard collected; written only after Finish.
struct SetupChoices {
    std::filesystem::path syncFolder;
    bool syncSubfolders = false;
    bool installAutoRun = false;
};

// The first-run wizard: licence, sync folder, auto-run.
class KWSetupDlg : public KWWizardDlg {
    Q_OBJECT

public:
    KWSetupDlg(QWidget* owner, const std::filesystem::path& licenseFile, KWSetupSync::Folders folders,
               KWSetupSync::Browser browse, KWSetupSync::Checker check, bool isAdministrator);

    KWSetupLicense* LicensePage() const { return m_license; }
    KWSetupSync* SyncPage() const { return m_sync; }
    KWSetupAutoRun* AutoRunPage() const { return m_autoRun; }
    SetupChoices Choices() const;

private:
    KWSetupLicense* m_license;
    KWSetupSync* m_sync;
    KWSetupAutoRun* m_autoRun;
};
