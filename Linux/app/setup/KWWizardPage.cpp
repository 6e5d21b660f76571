#include "app/setup/KWWizardPage.h"

KWWizardPage::KWWizardPage(const QString& title, const QString& sideText) : m_strTitle(title), m_strSide(sideText) {}
