#pragma once

#include "app/setup/KWWizardPage.h"

class QLabel;
class QRadioButton;

// The auto-run page: whether the agent is installed on this computer. Only
// an administrator may choose; for anyone else both choices are disabled.
class KWSetupAutoRun : public KWWizardPage {
    Q_OBJECT

public:
    explicit KWSetupAutoRun(bool isAdministrator);

    bool OnFinish() override;
    // Set on finish: Yes was chosen by an administrator.
    bool InstallFlag() const { return m_bInstall; }

    QRadioButton* YesButton() const { return m_yes; }
    QRadioButton* NoButton() const { return m_no; }
    QLabel* RightsNote() const { return m_note; }

protected:
    void Create() override;

private:
    bool m_bAdministrator;
    bool m_bInstall = false;
    QRadioButton* m_yes = nullptr;
    QRadioButton* m_no = nullptr;
    QLabel* m_note = nullptr;
};
