#include "app/setup/KWSetupLicense.h"

#include <QCheckBox>
#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "toolkit/AppText.h"
#include "app/setup/KWWizardDlg.h"
#include "app/main/PlatformActions.h"
#include "strings/RtfToHtml.h"
#include "strings/KXStrings.h"

KWSetupLicense::KWSetupLicense(std::filesystem::path licenseFile)
    : KWWizardPage(TextOr("setup_license"), TextOr("setup_license_side")), m_licenseFile(std::move(licenseFile))
{}

void KWSetupLicense::Create()
{
    auto* intro = new QLabel(TextOr("setup_license_intro"));
    intro->setWordWrap(true);
    m_text = new QTextBrowser;
    m_text->setAccessibleName(TextOr("access_licence_text"));
    m_text->setReadOnly(true);
    m_text->setOpenLinks(false);
    // A missing licence leaves the box empty; the page still works.
    m_text->setHtml(QString::fromStdString(halvex::RtfFileToHtml(m_licenseFile)));
    connect(m_text, &QTextBrowser::anchorClicked, this, [](const QUrl& url) { halvex::app::OpenUrl(url.toString()); });
    m_accept = new QCheckBox(TextOr("setup_license_accept"));
    connect(m_accept, &QCheckBox::toggled, this, [this](bool on) { Wizard()->EnableNext(on); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(intro);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_accept);
}

void KWSetupLicense::OnActivate()
{
    Wizard()->EnableNext(IsAccepted());
}

bool KWSetupLicense::IsAccepted() const
{
    return m_accept && m_accept->isChecked();
}
