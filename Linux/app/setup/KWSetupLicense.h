#pragma once

#include <filesystem>

#include "app/setup/KWWizardPage.h"

class QCheckBox;
class QTextBrowser;

// The licence page: the agreement of the chosen language and the box that
// accepts it; the wizard moves on only once it is ticked.
class KWSetupLicense : public KWWizardPage {
    Q_OBJECT

public:
    explicit KWSetupLicense(std::filesystem::path licenseFile);

    void OnActivate() override;
    bool IsAccepted() const;
    QCheckBox* AcceptBox() const { return m_accept; }
    QTextBrowser* LicenseText() const { return m_text; }

protected:
    void Create() override;

private:
    std::filesystem::path m_licenseFile;
    QCheckBox* m_accept = nullptr;
    QTextBrowser* m_text = nullptr;
};
