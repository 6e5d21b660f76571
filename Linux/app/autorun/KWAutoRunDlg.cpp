#include "app/autorun/KWAutoRunDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "toolkit/AppText.h"
#include "toolkit/DWSkin.h"
#include "strings/KXStrings.h"

KWAutoRunDlg::KWAutoRunDlg(QWidget* owner)
    : QDialog(owner),
      m_doNotAsk(new QCheckBox(TextOr("autorun_ask_never"))),
      m_btnYes(new QPushButton(TextOr("yes", "Yes"))),
      m_btnNo(new QPushButton(TextOr("no", "No")))
{
    setWindowTitle(TextOr("setup_autorun", "Autorun"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    auto* picture = new QLabel;
    QPixmap note = DWSkin::Image("AlertNote.png");
    if (note.isNull())
        note = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(48, 48);
    picture->setPixmap(note.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    picture->setAlignment(Qt::AlignTop);

    auto* text = new QLabel(TextOr("autorun_ask_text"));
    text->setWordWrap(true);
    auto* question = new QLabel(TextOr("autorun_ask_question"));
    question->setWordWrap(true);
    QFont bold = question->font();
    bold.setBold(true);
    question->setFont(bold);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(10);
    texts->addWidget(text);
    texts->addWidget(question);
    texts->addWidget(m_doNotAsk);
    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(picture);
    top->addLayout(texts, 1);

    for (QPushButton* button : {m_btnYes, m_btnNo})
        button->setMinimumWidth(84);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnYes);
    buttons->addWidget(m_btnNo);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->setSpacing(14);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setFixedWidth(460);

    connect(m_btnYes, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnNo, &QPushButton::clicked, this, &QDialog::reject);
    m_btnYes->setDefault(true);
    m_btnYes->setFocus();
}

void KWAutoRunDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    QApplication::beep();
}

bool KWAutoRunDlg::AskAgain() const
{
    return !m_doNotAsk->isChecked();
}
