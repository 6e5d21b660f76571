#include "toolkit/DWWaitDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolkit/DWSpinner.h"
#include "toolkit/AppText.h"

DWWaitDlg::DWWaitDlg(QWidget* owner, const QString& title, const QString& message)
    : DWWorkDlg(owner),
      m_spinner(new DWSpinner),
      m_message(new QLabel(message)),
      m_cancel(new QPushButton(TextOr("cancel")))
{
    setWindowTitle(title);
    m_message->setWordWrap(true);
    m_message->setMinimumWidth(300);
    m_message->setTextFormat(Qt::PlainText);
    if (m_cancel->text().isEmpty())
        m_cancel->setText(QStringLiteral("Cancel"));

    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(m_spinner, 0, Qt::AlignTop);
    top->addWidget(m_message, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->addLayout(top);
    layout->addLayout(row);

    connect(m_cancel, &QPushButton::clicked, this, &DWWaitDlg::reject);
    connect(this, &DWWorkDlg::messageChanged, m_message, &QLabel::setText);
    m_cancel->setAutoDefault(false);
}

QString DWWaitDlg::MessageText() const
{
    return m_message->text();
}

void DWWaitDlg::showEvent(QShowEvent* event)
{
    m_spinner->start();
    DWWorkDlg::showEvent(event);
}
