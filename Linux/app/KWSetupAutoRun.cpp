#include "KWSetupAutoRun.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "DWSkin.h"
#include "strings/KXStrings.h"

KWSetupAutoRun::KWSetupAutoRun(bool isAdministrator)
    : KWWizardPage(QString::fromStdString(KXStrings::GetString("setup_autorun")),
                   QString::fromStdString(KXStrings::GetString("setup_autorun_side"))),
      m_bAdministrator(isAdministrator)
{
}

void KWSetupAutoRun::Create()
{
    auto paragraph = [](const QString& text) {
        auto* label = new QLabel(text);
        label->setWordWrap(true);
        return label;
    };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(paragraph(QStringLiteral(
        "Halvex Dravane can automatically launch itself whenever your drive is inserted to give you easy access to "
        "these tools. This requires the installation of a very small application on this computer.")));
    auto* question = paragraph(QStringLiteral("Would you like to enable this function on this computer?"));
    QFont bold = question->font();
    bold.setBold(true);
    question->setFont(bold);
    layout->addWidget(question);

    m_yes = new QRadioButton(QStringLiteral("Yes"));
    m_no = new QRadioButton(QStringLiteral("No"));
    m_no->setChecked(true);
    auto* choices = new QHBoxLayout;
    choices->setContentsMargins(12, 0, 0, 0);
    choices->addWidget(m_yes);
    choices->addSpacing(20);
    choices->addWidget(m_no);
    choices->addStretch(1);
    layout->addLayout(choices);

    m_note = new QLabel;
    auto* noteRow = new QHBoxLayout;
    auto* noteIcon = new QLabel;
    const QPixmap caution = DWSkin::ContentImage("AlertCaution.png");
    if (!caution.isNull())
        noteIcon->setPixmap(caution.scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_note->setText(QStringLiteral(
        "This option is unavailable because you do not have administrative rights for this computer."));
    m_note->setWordWrap(true);
    noteRow->addWidget(noteIcon, 0, Qt::AlignTop);
    noteRow->addWidget(m_note, 1);
    auto* noteBox = new QWidget;
    noteBox->setLayout(noteRow);
    layout->addWidget(noteBox);
    layout->addStretch(1);
    layout->addWidget(paragraph(QStringLiteral("Click Finish to complete the setup and start using Halvex Dravane.")));

    m_yes->setEnabled(m_bAdministrator);
    m_no->setEnabled(m_bAdministrator);
    noteBox->setVisible(!m_bAdministrator);
}

bool KWSetupAutoRun::OnFinish()
{
    m_bInstall = m_bAdministrator && m_yes && m_yes->isChecked();
    return true;
}
