#include "app/setup/KWSetupAutoRun.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "toolkit/AppText.h"
#include "toolkit/DWSkin.h"
#include "strings/KXStrings.h"

KWSetupAutoRun::KWSetupAutoRun(bool isAdministrator)
    : KWWizardPage(TextOr("setup_autorun"), TextOr("setup_autorun_side")), m_bAdministrator(isAdministrator)
{}

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
    layout->addWidget(paragraph(TextOr("setup_autorun_intro")));
    auto* question = paragraph(TextOr("setup_autorun_question"));
    QFont bold = question->font();
    bold.setBold(true);
    question->setFont(bold);
    layout->addWidget(question);

    m_yes = new QRadioButton(TextOr("yes"));
    m_no = new QRadioButton(TextOr("no"));
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
    m_note->setText(TextOr("autorun_no_admin"));
    m_note->setWordWrap(true);
    noteRow->addWidget(noteIcon, 0, Qt::AlignTop);
    noteRow->addWidget(m_note, 1);
    auto* noteBox = new QWidget;
    noteBox->setLayout(noteRow);
    layout->addWidget(noteBox);
    layout->addStretch(1);
    layout->addWidget(paragraph(TextOr("setup_autorun_finish")));

    m_yes->setEnabled(m_bAdministrator);
    m_no->setEnabled(m_bAdministrator);
    noteBox->setVisible(!m_bAdministrator);
}

bool KWSetupAutoRun::OnFinish()
{
    m_bInstall = m_bAdministrator && m_yes && m_yes->isChecked();
    return true;
}
