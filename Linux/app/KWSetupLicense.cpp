#include "KWSetupLicense.h"

#include <QCheckBox>
#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "KWWizardDlg.h"
#include "PlatformActions.h"
#include "RtfToHtml.h"
#include "strings/KXStrings.h"

KWSetupLicense::KWSetupLicense(std::filesystem::path licenseFile)
    : KWWizardPage(QString::fromStdString(KXStrings::GetString("setup_license")),
                   QString::fromStdString(KXStrings::GetString("setup_license_side"))),
      m_licenseFile(std::move(licenseFile))
{
}

void KWSetupLicense::Create()
{
    auto* intro = new QLabel(QStringLiteral(
        "OK, just a few quick steps to define some preferences, and this tool will be ready to use. But, first, "
        "please read the license agreement, and click below to accept these terms and proceed."));
    intro->setWordWrap(true);
    m_text = new QTextBrowser;
    m_text->setReadOnly(true);
    m_text->setOpenLinks(false);
    // A missing licence leaves the box empty; the page still works.
    m_text->setHtml(QString::fromStdString(halvex::app::RtfFileToHtml(m_licenseFile)));
    connect(m_text, &QTextBrowser::anchorClicked, this,
            [](const QUrl& url) { halvex::app::OpenUrl(url.toString()); });
    m_accept = new QCheckBox(QStringLiteral("I accept the terms of the license agreement"));
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
